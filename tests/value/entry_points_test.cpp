// Every entry point that the interface lists name stays exported with its
// signature: the table holds the mangled symbols the library exported when
// the lists were compared with it.
#include "test_support.hpp"

#include <dlfcn.h>

namespace {

TEST(EntryPoints, EveryListedEntryIsExported)
{
    struct Entry {
        const char* signature;
        const char* symbol;
    };
    static const Entry entries[] = {
#include "data/entry_points.inc"
    };
    for (const auto& e : entries)
        EXPECT_NE(dlsym(RTLD_DEFAULT, e.symbol), nullptr) << e.signature << " is no longer exported";
}

} // namespace
