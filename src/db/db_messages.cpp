// Formatting and raising of the dataset framework's own messages.
#include "db/db_messages.h"

#include <vector>
#include "db/dataset.h"

#include "rtl/exception.h"
#include "rtl/format.h"

namespace varelum::db {

void DatabaseError(std::string_view text, const TDataSet* dataSet) {
    if (dataSet != nullptr && !dataSet->Name().empty()) {
        throw rtl::EDatabaseError(dataSet->Name() + ": " + std::string(text));
    }
    throw rtl::EDatabaseError(std::string(text));
}

void DatabaseErrorFmt(std::string_view pattern, std::initializer_list<std::string_view> args,
                      const TDataSet* dataSet) {
    std::vector<rtl::TFormatArg> list(args.begin(), args.end());
    DatabaseError(rtl::FormatArgs(pattern, list), dataSet);
}

}  // namespace varelum::db
