// The search path object and the lookups of files through it, shared by
// the help reader, fopen, the data files and the workspace.
#pragma once

#include "velkor/host.h"

#include <cstdio>
#include <string>

// Appends '\' unless the path is empty or already ends in '\' or '/'.
std::string add_trailing_backslash(std::string path);
// Splits at the last '/' or '\': the part up to and including it (empty
// when there is none) and the rest.
void split_dir_and_name(const std::string& path, std::string* dir, std::string* name);
// The host's search path, or "path is not available in compiled programs.".
search_path* path_or_error();

// The directory in which name is found: "" for the current directory, then
// dir, then the "private" folder of private_base, then each entry in order.
// With add_ext, a name without a '.' is looked for as name.v only. False
// when it is nowhere.
bool find_on_path(const search_path& p, const char* private_base, const char* dir, const std::string& name,
                  int add_ext, std::string& found);
// Opens name ("rb") through the path p (which may be null): the current
// directory first, then the path. On success name holds what was opened.
std::FILE* open_on_path(const search_path* p, const char* dir, std::string& name, int add_ext);
