// The run functions of varelum-store's commands, one file each (cmd_*.cpp). Each gets its
// checked arguments and answers the exit code; failures throw StoreError.
#pragma once

#include "command_line.h"

namespace varelum::store {

int run_create(const Arguments& arguments);
int run_info(const Arguments& arguments);
int run_index(const Arguments& arguments);
int run_import(const Arguments& arguments);
int run_export(const Arguments& arguments);
int run_pack(const Arguments& arguments);
int run_zap(const Arguments& arguments);
int run_restructure(const Arguments& arguments);
int run_reindex(const Arguments& arguments);
int run_copy(const Arguments& arguments);
int run_check(const Arguments& arguments);
int run_recover(const Arguments& arguments);
int run_demo(const Arguments& arguments);
int run_sql(const Arguments& arguments);
int run_dict(const Arguments& arguments);

}  // namespace varelum::store
