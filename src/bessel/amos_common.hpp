// Shared pieces of the complex Bessel package's sources: the constants that
// several routines use and small split-complex helpers over the engine's
// complex kernels (values in, results through references).
#pragma once

#include "bessel/amos.hpp"
#include "bessel/to_double.hpp"
#include "engine/higher_functions.hpp"
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/kernels.hpp"

#include <cmath>

namespace amos::detail {

inline constexpr double pi = 3.141592653589793;
inline constexpr double hpi = 1.5707963267948966;
inline constexpr double rthpi = 1.2533141373155003;  // sqrt(pi/2)
inline constexpr double aic = 1.2655121234846454;    // ln(2 sqrt(pi))

// The smallest normal double, read once per call like every machine constant.
inline double realmin() noexcept { return machine_double(1); }
inline double realmax() noexcept { return machine_double(2); }

inline double cabs(double r, double i) noexcept { return complex_abs_value(r, i); }

inline void cmul(double ar, double ai, double br, double bi, double& cr, double& ci) noexcept
{
    complex_mul(ar, ai, br, bi, cr, ci);
}
inline void cdiv(double ar, double ai, double br, double bi, double& cr, double& ci) noexcept
{
    complex_div(ar, ai, br, bi, cr, ci);
}
inline void cexp(double r, double i, double& outr, double& outi) noexcept { complex_exp(r, i, outr, outi); }
inline void clog(double r, double i, double& outr, double& outi) noexcept { complex_log(r, i, outr, outi); }
inline void csqrt(double r, double i, double& outr, double& outi) noexcept { complex_sqrt(r, i, outr, outi); }

// 2/z formed as 2 conj(z) / |z|^2 from the modulus, as the recurrences use it.
inline void two_over(double zr, double zi, double& rzr, double& rzi) noexcept
{
    double raz = 1.0 / cabs(zr, zi);
    double str = zr * raz, sti = -zi * raz;
    rzr = (str + str) * raz;
    rzi = (sti + sti) * raz;
}

// Integer part of a non-negative order (the drivers have bounded it).
inline int int_part(double x) noexcept { return static_cast<int>(fix_double(x)); }

} // namespace amos::detail
