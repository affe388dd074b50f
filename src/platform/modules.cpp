// Plug-in modules through dlopen: bound at once and kept local, so two
// modules never see each other's symbols.
#include "platform/modules.hpp"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

namespace platform {

void* open_module(const std::string& file, unsigned& error_code, std::string& reason)
{
    reason.clear();
    if (file.size() >= NAME_MAX) {
        error_code = ENAMETOOLONG;
        reason = std::strerror(ENAMETOOLONG);
        return nullptr;
    }
    ::dlerror();
    void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module) {
        error_code = 0;
        return module;
    }
    // The loader sets no errno of its own: its text tells a file it could
    // not find from one it found and could not use.
    const char* said = ::dlerror();
    reason = said ? said : "the loader gave no reason";
    error_code = reason.find(std::strerror(ENOENT)) != std::string::npos ? ENOENT : ENOEXEC;
    return nullptr;
}

void* module_entry(void* module, const char* name) { return ::dlsym(module, name); }

void close_module(void* module)
{
    if (module)
        ::dlclose(module);
}

} // namespace platform

namespace platform {

bool readable(const void* p, std::size_t n)
{
    if (!p)
        return false;
    char copy[64];
    if (n > sizeof copy)
        n = sizeof copy;
    iovec local{copy, n};
    iovec remote{const_cast<void*>(p), n};
    if (::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(n))
        return true;
    // Where the system refuses the probe itself, a non-null pointer is
    // taken as readable.
    return errno != EFAULT && errno != ESRCH;
}

} // namespace platform
