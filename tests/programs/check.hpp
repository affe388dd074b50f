// What every user-level program checks as it runs: each value it holds is
// sound after each step (its header agrees with its storage), and each
// result equals a value computed independently of the library. A program
// ends with status 1 when anything differed.
#pragma once

#include <velkor.h>

#include "value/mm_access.hpp"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <vector>

namespace program {

inline int failures = 0;
inline int passes = 0;

inline void record(bool ok, const char* what)
{
    if (ok) {
        ++passes;
        return;
    }
    ++failures;
    std::fprintf(stderr, "MISMATCH: %s\n", what);
}

// Every value the program holds at this point.
inline void held(const char* where, std::initializer_list<const Mm*> values)
{
    for (const Mm* v : values) {
        const char* fault = mm_access::header_fault(*v);
        if (fault)
            std::fprintf(stderr, "after %s: %s\n", where, fault);
        record(!fault, where);
    }
}

inline bool close(double got, double want, double tol)
{
    if (std::isnan(want))
        return std::isnan(got);
    return std::fabs(got - want) <= tol * (1 + std::fabs(want));
}

inline void near(const char* what, double got, double want, double tol = 0)
{
    if (!close(got, want, tol))
        std::fprintf(stderr, "%s: got %.17g, want %.17g\n", what, got, want);
    record(close(got, want, tol), what);
}

// x's shape and elements (column-major) against the expected ones.
inline void same(const char* what, const Mm& x, int rows, int cols, const std::vector<double>& want, double tol = 0)
{
    bool ok = x.rows() == rows && x.cols() == cols && x.size() == int(want.size()) && !x.isc();
    if (!ok)
        std::fprintf(stderr, "%s: got %dx%d (%d elements), want %dx%d\n", what, x.rows(), x.cols(), x.size(), rows,
                     cols);
    const Mm f = full(x);
    for (int k = 0; ok && k < f.size(); ++k) {
        if (!close(f.addr()[k], want[k], tol)) {
            std::fprintf(stderr, "%s: element %d is %.17g, want %.17g\n", what, k + 1, f.addr()[k], want[k]);
            ok = false;
        }
    }
    record(ok, what);
}

inline int finish(const char* name)
{
    std::printf("%s: %d passed, %d failed\n", name, passes, failures);
    return failures == 0 ? 0 : 1;
}

} // namespace program
