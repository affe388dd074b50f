// The module table shared by the loader and the plug-in API's pluAtExit.
#pragma once

#include <string>

// The name of the plug-in function being called, "" before the first call.
const std::string& current_module_name();
// Stores fn as the at-exit function of the module being called; false when
// that module has no record.
bool set_module_at_exit(void (*fn)());
// The bucket of a name in the module table: 0 to 30.
int module_bucket(const char* name);
