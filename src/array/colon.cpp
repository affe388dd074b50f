// Colon ranges a:b and a:d:b. Their element values and counts are part of
// the language's arithmetic: every range index of a program is built here.
#include "engine/scalar_real.hpp"
#include "value/mm_access.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/value.h"

#include <cmath>

namespace {

// The first element of a range argument, as a double.
double first_as_double(const Mm& x)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return NAN;
    }
    Mm f = full(x);
    if (f.gettype() != qv_double)
        f = mdouble(f);
    return f.size() > 0 ? *f.addr() : NAN;
}

} // namespace

Mm colon() { return c_p; }

Mm colon(double a, double b)
{
    if (!(b >= a))
        return nop_M;
    const int n = saturate_to_int(b - a + 1);
    if (a == std::floor(a) && std::fabs(a) + n < 0x1p53) {
        // Whole numbers: every running sum is exact.
        Mm out = mm_access::whole_range(a, n);
        if (out.cols() != n)
            return nop_M;  // "Out of memory!" went to a hook that returned
        return out;
    }
    Mm out(0, 0, 0, 1, n, qv_double);
    if (out.cols() != n)
        return nop_M;  // "Out of memory!" went to a hook that returned
    double* p = out.addr();
    long double t = a;  // the running sum, in extended precision
    for (int k = 0; k < n; ++k) {
        p[k] = static_cast<double>(t);
        t += 1;
    }
    return out;
}

Mm colon(const Mm& a, const Mm& b)
{
    if (isempty(a) || isempty(b))
        return nop_M;
    return colon(first_as_double(a), first_as_double(b));
}

Mm colon(double a, double d, double b)
{
    if (d == 0 || d != d || a != a || b != b)
        return nop_M;
    if ((b < a && d > 0) || (b > a && d < 0))
        return nop_M;
    const double q = b == a ? 1 : (b - a) / d + 1;
    const double r = std::floor(q + 0.5);
    int n;
    double end;
    if (std::fabs(q - r) < 1e-8) {
        n = saturate_to_int(r);
        end = b;
    } else {
        n = saturate_to_int(q);
        end = a + d * (n - 1);
    }
    Mm out(0, 0, 0, 1, n, qv_double);
    if (out.cols() != n)
        return nop_M;
    double* p = out.addr();
    if (n == 1) {
        p[0] = a;
        return out;
    }
    // The second half mirrors the first about the midpoint, so the range is
    // symmetric and ends on its end value.
    const int h = n / 2;
    const double sum = a + end;
    for (int k = 0; k < h; ++k)
        p[k] = a + d * k;
    if (n % 2)
        p[h] = sum * 0.5;
    for (int k = 0; k < h; ++k)
        p[n - 1 - k] = sum - p[k];
    if ((d > 0 && p[n - 1] > end) || (d < 0 && p[n - 1] < end))
        p[n - 1] = end;
    return out;
}

Mm colon(const Mm& a, const Mm& d, const Mm& b)
{
    if (isempty(a) || isempty(d) || isempty(b))
        return nop_M;
    return colon(first_as_double(a), first_as_double(d), first_as_double(b));
}
