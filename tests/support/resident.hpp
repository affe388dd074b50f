// What of this process's memory is resident, for the tests, programs and
// benchmarks that check memory goes back to the system. Header only, with
// no test framework: programs and benchmarks include it too.
#pragma once

#include <cstdio>
#include <unistd.h>

namespace test {

// Resident bytes of this process (from /proc/self/statm); 0 when that
// cannot be read.
inline long resident_bytes()
{
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

} // namespace test
