// Loading plug-in modules: the system's dynamic loader behind one small
// interface, so the loader above reads the same on any platform.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Opens a module by file name in the loader's own search order. On failure
// it gives null, an errno-style code (ENOENT: no such file on the search
// path; ENAMETOOLONG; ENOEXEC: found but not loadable) and the loader's own
// words for what went wrong.
void* open_module(const std::string& file, unsigned& error_code, std::string& reason);
void* module_entry(void* module, const char* name);
void close_module(void* module);

} // namespace platform

namespace platform {

// Whether n bytes at p can be read, tested without touching them.
bool readable(const void* p, std::size_t n);

} // namespace platform
