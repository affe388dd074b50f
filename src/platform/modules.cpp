// Plug-in modules through dlopen: bound at once and kept local, so two
// modules never see each other's symbols.
#include "platform/modules.hpp"

#include <cerrno>
#include <climits>
#include <dlfcn.h>

namespace platform {

void* open_module(const std::string& file, unsigned& error_code)
{
    if (file.size() >= NAME_MAX) {
        error_code = ENAMETOOLONG;
        return nullptr;
    }
    errno = 0;
    void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    error_code = module ? 0u : static_cast<unsigned>(errno ? errno : ENOENT);
    return module;
}

void* module_entry(void* module, const char* name) { return ::dlsym(module, name); }

void close_module(void* module)
{
    if (module)
        ::dlclose(module);
}

} // namespace platform
