// Argument assertions of compiled programs, which stop with a message naming
// the checker and the variable, and the stub entries of environment
// functions the library does not provide.
#include "value/report.hpp"
#include "velkor/checks.h"
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/value.h"

namespace {

enum assertion_test : unsigned { must_be_integer = 1, must_be_real = 2, must_be_scalar = 4, must_be_vector = 8 };

// Runs the tests in the fixed order integer, real, scalar, vector; the
// first that fails raises its message.
Mm assert_kind(const Mm& x, const char* f, unsigned tests)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return x_M;
    }
    const char* failed = nullptr;
    if ((tests & must_be_integer) && !isint(x))
        failed = "integer";
    else if ((tests & must_be_real) && !isreal(x))
        failed = "real";
    else if ((tests & must_be_scalar) && !isscalar(x))
        failed = "scalar";
    else if ((tests & must_be_vector) && !isvector(x))
        failed = "vector";
    if (failed)
        error("%s: %s not %s", f, matrix_display_name(x), failed);
    return x_M;
}

Mm stub_called() { return TM("Stub called."); }

} // namespace

Mm mbint(const Mm& x) { return assert_kind(x, "mbint", must_be_integer); }
Mm mbintreal(const Mm& x) { return assert_kind(x, "mbintreal", must_be_integer | must_be_real); }
Mm mbintrealscalar(const Mm& x) { return assert_kind(x, "mbintrealscalar", must_be_integer | must_be_real | must_be_scalar); }
Mm mbintrealvector(const Mm& x) { return assert_kind(x, "mbintrealvector", must_be_integer | must_be_real | must_be_vector); }
Mm mbintscalar(const Mm& x) { return assert_kind(x, "mbintscalar", must_be_integer | must_be_scalar); }
Mm mbintvector(const Mm& x) { return assert_kind(x, "mbintvector", must_be_integer | must_be_vector); }
Mm mbrealvector(const Mm& x) { return assert_kind(x, "mbrealvector", must_be_real | must_be_vector); }
Mm mbscalar(const Mm& x) { return assert_kind(x, "mbscalar", must_be_scalar); }
Mm mbvector(const Mm& x) { return assert_kind(x, "mbvector", must_be_vector); }

Mm assignin(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
Mm close_system(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
Mm find_system(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
Mm open_system(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
Mm get_param(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
Mm set_param(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
Mm simset(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
Mm system_dependent(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
Mm quidedit(Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm, Mm) { return stub_called(); }
