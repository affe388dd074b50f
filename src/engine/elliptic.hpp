// Scalar kernels of the incomplete beta, Jacobi elliptic and complete elliptic
// integral functions: pure, never reporting, NaN outside a function's domain.
#pragma once

#include "engine/scalar_real.hpp"

#include <cmath>

// The regularized incomplete beta function I_x(p, q) for x in [0, 1] and
// p, q >= 0, with the limits I_x(0, q) = 1 and I_x(p, 0) = 0 inside (0, 1).
// It iterates too much to inline: it lives in betainc.cpp.
double betainc_kernel(double x, double p, double q) noexcept;

// sn, cn and dn of u for the parameter m in [0, 1], by the descending
// arithmetic-geometric mean: each step halves the distance between the
// means, so the amplitude is built back from the last mean step by step.
inline void ellipj_kernel(double u, double m, double& sn, double& cn, double& dn) noexcept
{
    if (!(m >= 0 && m <= 1)) {  // NaN too
        sn = cn = dn = NAN;
        return;
    }
    if (m == 0) {
        sn = std::sin(u);
        cn = std::cos(u);
        dn = 1;
        return;
    }
    if (m == 1) {
        sn = std::tanh(u);
        cn = dn = sech_double(u);
        return;
    }
    // The means converge quadratically: from b = sqrt(1 - m) >= 2^-537 the
    // difference falls below eps within a dozen steps; 31 bounds it anyway.
    constexpr int max_steps = 31;
    double a[max_steps + 1], c[max_steps + 1];
    double b = std::sqrt(1 - m);
    a[0] = 1;
    c[0] = std::sqrt(m);
    int n = 0;
    while (std::fabs(c[n]) > machine_eps_value && n < max_steps) {
        a[n + 1] = (a[n] + b) / 2;
        c[n + 1] = a[n + 1] - b;
        b = std::sqrt(a[n] * b);
        ++n;
    }
    double phi = std::ldexp(a[n] * u, n);
    for (int k = n; k >= 1; --k)
        phi = (std::asin(std::sin(phi) * c[k] / a[k]) + phi) / 2;
    sn = std::sin(phi);
    cn = std::cos(phi);
    dn = std::sqrt(1 - m * sn * sn);
}

// The complete elliptic integrals K(m) and E(m) for m <= 1 by the
// arithmetic-geometric mean: K = pi/(2 AGM(1, sqrt(1 - m))), and E follows
// from the weighted squares of the differences between the means. K(1) is
// infinite with E(1) = 1; m > 1 gives NaN; m = -Inf gives K = 0, E = Inf.
inline void ellipke_kernel(double m, double& k, double& e) noexcept
{
    if (m != m) {
        k = e = m;
        return;
    }
    if (m == 1) {
        k = INFINITY;
        e = 1;
        return;
    }
    if (m == -INFINITY) {
        k = 0;
        e = INFINITY;
        return;
    }
    double a = 1, b = std::sqrt(1 - m), s = m, w = 1, mean = a;
    for (int step = 0; step < 32; ++step) {
        mean = (a + b) / 2;
        w *= 2;
        double h = w * (mean - b) * (mean - b);
        s += h;
        if (h <= machine_eps_value)
            break;
        b = std::sqrt(a * b);
        a = mean;
    }
    k = const_pi / (2 * mean);
    e = k * (1 - s / 2);
}
