// diff, gradient and del2: fronts over the engine's reductions that repeat
// the differencing, build the coordinates of a spacing argument and combine
// the derivatives along several dimensions.
#include "engine/scalar_real.hpp"
#include "value/element_read.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/value.h"

namespace {

Mm engine_reduce(const Mm& u, const Mm& coordinates, int dim, op_t op)
{
    return Mm(0, u, coordinates, Mm(double(dim)), op, 1, l_M);
}

// Real and imaginary parts of the same shape joined into one complex value.
Mm join_parts(const Mm& re, const Mm& im)
{
    if (re.gettype() != qv_double || im.gettype() != qv_double || re.isc() || im.isc() || re.issparse() ||
        im.issparse() || !is_same_dims(re, im))
        return plus(re, times(::i, im));
    Mm r(1, 0, 0, re.getndims(), re.getdims(), qv_double);
    const double *pr = re.addr(), *pi = im.addr();
    double *out_r = r.addr(), *out_i = r.addi();
    for (int k = 0, n = r.getnnz(); k < n; ++k) {
        out_r[k] = pr[k];
        out_i[k] = pi[k];
    }
    return r;
}

// The derivative-type operation op (gradient or del2) of u along dim with
// the spacing h: one element is a step, more are the coordinates.
Mm dim_spacing_op(const Mm& u, const Mm& h, int dim, op_t op)
{
    if (h.gettype() == qv_none) {
        h.warn_uninit();
        return x_M;
    }
    const int n = u.size(dim);
    const Mm coordinates = h.size() == 1 ? times(h, colon(1.0, double(n))) : h;
    if (coordinates.size() != n) {
        error("%s: increment vector must be scalar or same length as the corresponding dimension", op_name(op));
        return x_M;
    }
    if (u.isc()) {
        // Each part on its own: the kernels see real vectors only.
        return join_parts(engine_reduce(real(u), coordinates, dim, op), engine_reduce(imag(u), coordinates, dim, op));
    }
    return engine_reduce(u, coordinates, dim, op);
}

Mm slope(const Mm& f, const Mm& h, int dim) { return dim_spacing_op(f, h, dim, op_gradient); }

// Along a dimension of extent 1 every second difference is zero whatever
// the spacing, so a spacing vector meant for the other dimension of a
// vector passes.
Mm curvature(const Mm& u, const Mm& h, int dim)
{
    return dim_spacing_op(u, u.size(dim) == 1 ? one_M : h, dim, op_del2);
}

} // namespace

// ---- diff ----

Mm diff(const Mm& x) { return Mm(x.isc(), x, zero_M, zero_M, op_diff, 1, l_M); }

Mm diff(const Mm& x, const Mm& n) { return diff(x, n, zero_M); }

Mm diff(const Mm& x, const Mm& n, const Mm& dim)
{
    int count = 1;
    if (!isempty(n)) {
        if (error_numeric(n, "diff"))
            return x_M;
        count = saturate_to_int(number_at(n, 0));
    }
    Mm r = x;
    // Each pass shortens the working dimension by one: once nothing is left
    // the remaining passes have nothing to do.
    for (int k = 0; k < count && !isempty(r); ++k)
        r = Mm(x.isc(), r, zero_M, dim, op_diff, 1, l_M);
    return r;
}

// ---- gradient: x along the columns (dimension 2), y down the rows, z
// along the pages ----

Mm gradient(const Mm& f) { return slope(f, one_M, 2); }
Mm gradient(const Mm& f, const Mm& h) { return slope(f, h, 2); }
Mm gradient(const Mm& f, const Mm& hx, const Mm&) { return slope(f, hx, 2); }
Mm gradient(const Mm& f, const Mm& hx, const Mm&, const Mm&) { return slope(f, hx, 2); }

Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, i_o_t, Mm& fx, Mm& fy)
{
    Mm gx = slope(f, hx, 2);
    Mm gy = slope(f, hy, 1);
    fx = gx;
    fy = gy;
    return x_M;
}

Mm gradient(const Mm& f, i_o_t, Mm& fx, Mm& fy) { return gradient(f, one_M, one_M, i_o, fx, fy); }
Mm gradient(const Mm& f, const Mm& h, i_o_t, Mm& fx, Mm& fy) { return gradient(f, h, h, i_o, fx, fy); }

Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, const Mm& hz, i_o_t, Mm& fx, Mm& fy, Mm& fz)
{
    Mm gx = slope(f, hx, 2);
    Mm gy = slope(f, hy, 1);
    Mm gz = slope(f, hz, 3);
    fx = gx;
    fy = gy;
    fz = gz;
    return x_M;
}

Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, const Mm& hz, i_o_t, Mm& fx, Mm& fy)
{
    Mm fz;
    return gradient(f, hx, hy, hz, i_o, fx, fy, fz);
}

Mm gradient(const Mm& f, i_o_t, Mm& fx, Mm& fy, Mm& fz) { return gradient(f, one_M, one_M, one_M, i_o, fx, fy, fz); }
Mm gradient(const Mm& f, const Mm& h, i_o_t, Mm& fx, Mm& fy, Mm& fz) { return gradient(f, h, h, h, i_o, fx, fy, fz); }
Mm gradient(const Mm& f, const Mm& hx, const Mm& hy, i_o_t, Mm& fx, Mm& fy, Mm& fz)
{
    return gradient(f, hx, hy, hx, i_o, fx, fy, fz);
}

// ---- del2 ----

Mm del2(const Mm& u) { return del2(u, one_M, one_M, one_M); }
Mm del2(const Mm& u, const Mm& h) { return del2(u, h, h, h); }
Mm del2(const Mm& u, const Mm& hx, const Mm& hy) { return isvector(u) ? del2(u, hx, hx, hx) : del2(u, hx, hy, hx); }

// The kernels give half the second derivative along each dimension; the
// mean over the dimensions makes the sum divided by twice their number.
// A fourth dimension takes the spacing of the third.
Mm del2(const Mm& u, const Mm& hx, const Mm& hy, const Mm& hz)
{
    Mm l = curvature(u, hy, 1);
    l = plus(l, curvature(u, hx, 2));
    const int dims = u.getndims();
    if (dims > 2)
        l = plus(l, curvature(u, hz, 3));
    if (dims > 3)
        l = plus(l, curvature(u, hz, 4));
    return rdivide(l, Mm(double(dims)));
}
