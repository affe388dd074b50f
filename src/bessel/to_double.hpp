// to_double: rounds an intermediate result to double precision. It lives with
// the Bessel functions, whose power series round each term through it; the
// normal random generator uses it as well.
#pragma once

#include <cfloat>

#if FLT_EVAL_METHOD == 0
// Arithmetic is already evaluated in double (every SSE2 target): nothing to
// round, and the hot paths that call this keep their inlined form.
inline double to_double(double x) noexcept { return x; }
#else
// Intermediates may be held in extended precision: an out-of-line call stores
// the value through a double-width slot, which rounds it.
double to_double(double x) noexcept;
#endif
