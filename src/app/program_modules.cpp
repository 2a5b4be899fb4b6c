// The program's module list. A module whose start or end has an effect others can see gets its
// entry here, in the order the program links them.
#include "app/program_modules.h"

#include "count/conferencia_estoque.h"

namespace varelum::app {

std::vector<TProgramModule> ProgramModules() {
    return {
        {"ConferenciaEstoque", {}, &count::FinalizeConferenciaEstoque},
    };
}

}  // namespace varelum::app
