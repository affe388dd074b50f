// The real scalar kernels that need a body of their own (the large-angle
// table) and the exported double overloads compiled programs call.
#include "engine/scalar_real.hpp"
#include "velkor/scalar.h"

#include <cstring>

namespace {

// T[e - 1] = 2^(e-1) mod 2*pi, correctly rounded.
constexpr double angle_table[1024] = {
#include "engine/angle_table.inc"
};

// Exact sum and rounding error of a + b.
inline void two_sum(double a, double b, double& s, double& err) noexcept
{
    s = a + b;
    double bb = s - a;
    err = (a - (s - bb)) + (b - bb);
}

} // namespace

double* machine_eps(double* out)
{
    *out = machine_eps_value;
    return out;
}

int machine_realmin(double* out)
{
    *out = machine_realmin_value;
    return 0;
}

int machine_realmax(double* out)
{
    *out = machine_realmax_value;
    return 0;
}

// Adds the table entry of every set bit of |x|; the sum is kept in two parts
// so that up to 53 additions cost no more than one rounding.
double reduce_angle_2pi(double x) noexcept
{
    if (!std::isfinite(x))
        return NAN;
    bool negative = x < 0;
    x = std::fabs(x);
    double hi = 0, lo = 0;
    for (;;) {
        int e;
        double m = std::frexp(x, &e);
        if (m == 0)
            break;
        if (e < 1) {
            double err;
            two_sum(hi, x, hi, err);
            lo += err;
            break;
        }
        double err;
        two_sum(hi, angle_table[e - 1], hi, err);
        lo += err;
        x = std::ldexp(m - 0.5, e);
    }
    double acc = hi + lo;
    return negative ? -acc : acc;
}

void tworeal2complex(int n, double* re, double* im, double* out)
{
    for (int k = 0; k < n; ++k) {
        std::memcpy(out + 2 * k, re + k, sizeof(double));
        std::memcpy(out + 2 * k + 1, im + k, sizeof(double));
    }
}

void complex2tworeal(int n, double* in, double* re, double* im)
{
    for (int k = 0; k < n; ++k) {
        std::memcpy(re + k, in + 2 * k, sizeof(double));
        std::memcpy(im + k, in + 2 * k + 1, sizeof(double));
    }
}

double fix(double x) { return fix_double(x); }
double sign(double x) { return sign_double(x); }
double max2(double a, double b) { return max_ignore_nan(a, b); }
double min2(double a, double b) { return min_ignore_nan(a, b); }
double mod(double a, double b) { return mod_double(a, b); }
double rem(double a, double b) { return rem_double(a, b); }
double plus(double a, double b) { return a + b; }
double minus(double a, double b) { return a - b; }
double mtimes(double a, double b) { return a * b; }
double mrdivide(double a, double b) { return a / b; }
double power(double a, double b) { return power_real(a, b); }
double mpower(double a, double b) { return power_real(a, b); }
