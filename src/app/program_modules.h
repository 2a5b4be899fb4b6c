// The modules of the program that have start or end steps of their own, in link order, for
// RunProgram: initialised first to last before the application object, finalised last to first
// when the loop has ended.
#pragma once

#include <vector>

#include "app/start_up.h"

namespace varelum::app {

// ConferenciaEstoque: clears the stored employee name at the end.
std::vector<TProgramModule> ProgramModules();

}  // namespace varelum::app
