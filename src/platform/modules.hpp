// Loading plug-in modules: the system's dynamic loader behind one small
// interface, so the loader above reads the same on any platform.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Opens a module by file name in the loader's own search order; null with
// error_code set on failure.
void* open_module(const std::string& file, unsigned& error_code);
void* module_entry(void* module, const char* name);
void close_module(void* module);

} // namespace platform

namespace platform {

// Whether n bytes at p can be read, tested without touching them.
bool readable(const void* p, std::size_t n);

} // namespace platform
