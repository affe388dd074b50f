// Loads the run-time library and checks from the engine's log that start-up
// registered the three hooks after init, and that unload (at process exit)
// withdrew them in the same order. Run by ctest with the library's path.
#include "vizmo_test.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::size_t loaded = 0;

void dump(const std::vector<std::string>& log)
{
    std::fprintf(stderr, "engine log:\n");
    for (const std::string& line : log)
        std::fprintf(stderr, "  %s\n", line.c_str());
}

// Registered before the library is loaded, so it runs after the library's
// own static destructors.
void check_unload()
{
    const std::vector<std::string> at_unload = vizmo::test::since(loaded);
    const std::vector<std::string> expected = {"set_callback_hook null", "set_error_hook null",
                                               "set_destroy_hook null"};
    if (at_unload != expected) {
        dump(vizmo::test::log());
        _exit(1);
    }
    std::printf("unload withdrew the hooks in order\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: unload_check <library>\n");
        return 2;
    }
    std::atexit(check_unload);
    if (!dlopen(argv[1], RTLD_NOW | RTLD_LOCAL)) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        _exit(2);
    }
    const std::vector<std::string> log = vizmo::test::log();
    const std::vector<std::string> hooks = {"set_callback_hook set", "set_error_hook set", "set_destroy_hook set"};
    if (log.size() < 4 || log[0].rfind("init 4510 ", 0) != 0 ||
        std::vector<std::string>(log.begin() + 1, log.begin() + 4) != hooks) {
        dump(log);
        _exit(1);
    }
    loaded = vizmo::test::mark();
    return 0;
}
