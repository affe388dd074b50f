// The file system under the path and file functions: names cross into the
// system here, and only here, with '\' turned into '/'. Paths inside the
// library keep the backslash form the language shows its users.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace platform {

// The name as the system reads it: every '\' becomes '/'.
std::string native_path(std::string_view name);
// The name as the language shows it: every '/' becomes '\'.
std::string language_path(std::string_view name);

// Opens a file by its language name; null on failure.
std::FILE* open_file(std::string_view name, const char* mode);
// Whether the file can be opened for reading.
bool file_exists(std::string_view name);
// Whether the name is a directory the process may enter.
bool dir_exists(std::string_view name);
// The current directory in the language's form ("" when unknown).
std::string current_dir();
// The absolute form of a name: relative names are read from the current
// directory, "." and ".." are folded in the text (nothing is looked up).
std::string full_path_name(std::string_view name);
// The system's temporary directory with a final '\'.
std::string temp_dir();

} // namespace platform
