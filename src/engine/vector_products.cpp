// dot, cross and the coordinate transforms between Cartesian, polar and
// spherical coordinates. dot and the transforms compose the element-wise
// fronts; cross runs its own strided loop along the chosen dimension.
#include "engine/scalar_real.hpp"
#include "value/element_read.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cmath>
#include <cstddef>

namespace {

// Messages name an operand by its variable name; a nameless one is a
// temporary, whatever its value.
const char* operand_name(const Mm& x) { return x.getname() ? x.getname() : "(temporary)"; }

Mm as_column(const Mm& x)
{
    Mm c = x;
    c.reshape(c.size(), 1);
    return c;
}

bool numeric_operand(const Mm& x, const char* f)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return false;
    }
    return !error_numeric(x, f);
}

// The extent along d, 0 for a dimension that does not exist.
int extent(const Mm& x, int d) { return d >= 1 && d <= 4 ? x.getdims()[d - 1] : 0; }

// A full double copy of x, holding byte values when the product is taken
// in bytes (a double operand meets a uint8 one as bytes).
Mm working_copy(const Mm& x, bool in_bytes)
{
    Mm f = full(x);
    if (in_bytes && f.gettype() == qv_double)
        f = muint8(f);
    return f.gettype() == qv_uint8 ? mdouble(f) : f;
}

// Complex product of the pair (ar, ai) and (br, bi); a missing imaginary
// part is not multiplied, so a real operand adds no Inf * 0.
struct product {
    double re, im;
};

inline product multiply(double ar, const double* ai, double br, const double* bi)
{
    if (!ai && !bi)
        return {ar * br, 0.0};
    if (!bi)
        return {ar * br, *ai * br};
    if (!ai)
        return {ar * br, ar * *bi};
    return {ar * br - *ai * *bi, ar * *bi + *ai * br};
}

// r = a x b along the dimension whose vectors start every inner elements;
// a, b and r share one shape with extent 3 along that dimension.
void cross_kernel(const Mm& a, const Mm& b, Mm& r, std::size_t inner, std::size_t outer)
{
    const double *ar = a.addr(), *ai = a.addi(), *br = b.addr(), *bi = b.addi();
    double *rr = r.addr(), *ri = r.addi();
    static constexpr int next[3] = {1, 2, 0}, after[3] = {2, 0, 1};
    for (std::size_t o = 0; o < outer; ++o)
        for (std::size_t p = 0; p < inner; ++p) {
            const std::size_t base = o * 3 * inner + p;
            auto at = [&](int k) { return base + std::size_t(k) * inner; };
            auto im = [](const double* part, std::size_t k) { return part ? part + k : nullptr; };
            for (int k = 0; k < 3; ++k) {
                const std::size_t u = at(next[k]), w = at(after[k]);
                const product plus_term = multiply(ar[u], im(ai, u), br[w], im(bi, w));
                const product minus_term = multiply(ar[w], im(ai, w), br[u], im(bi, u));
                rr[at(k)] = plus_term.re - minus_term.re;
                if (ri)
                    ri[at(k)] = plus_term.im - minus_term.im;
            }
        }
}

// Doubles holding byte results back into a uint8 value of the same shape.
Mm to_bytes(const Mm& r)
{
    Mm out(r.isc(), 0, 0, r.getndims(), r.getdims(), qv_uint8);
    if (out.gettype() != qv_uint8 || out.size() != r.size() || out.isc() != r.isc())
        return x_M;  // "Out of memory!" went to a hook that returned
    unsigned char *orr = out.getpr((unsigned char*)nullptr), *ori = out.getpi((unsigned char*)nullptr);
    for (int k = 0, n = r.getnnz(); k < n; ++k) {
        orr[k] = double_to_byte(r.addr()[k]);
        if (ori)
            ori[k] = double_to_byte(r.addi()[k]);
    }
    return out;
}

} // namespace

// ---- dot ----

Mm dot(const Mm& a) { return Mm(error_input("dot", 1)); }

Mm dot(const Mm& a, const Mm& b, const Mm& dim)
{
    if (isvector(a) && isvector(b))
        return sum(times(conj(as_column(a)), as_column(b)), dim);
    return sum(times(conj(a), b), dim);
}

Mm dot(const Mm& a, const Mm& b) { return dot(a, b, zero_M); }

// ---- cross ----

Mm cross(const Mm& a) { return Mm(error_input("cross", 1)); }

Mm cross(const Mm& a, const Mm& b)
{
    if ((isvector(a) && isvector(b)) || (a.rows() == 3 && b.rows() == 3))
        return cross(a, b, one_M);
    if (a.cols() == 3 && b.cols() == 3)
        return cross(a, b, Mm(2.0));
    error("cross: %s and %s do not have a common 3-dimension", operand_name(a), operand_name(b));
    return x_M;
}

Mm cross(const Mm& a, const Mm& b, const Mm& dim)
{
    if (!numeric_operand(a, "cross") || !numeric_operand(b, "cross") || !numeric_operand(dim, "cross"))
        return x_M;
    // Row vectors work as columns; the result turns back into a row.
    const bool a_row = a.getndims() == 2 && a.rows() == 1, b_row = b.getndims() == 2 && b.rows() == 1;
    const Mm u = a_row ? as_column(a) : a, v = b_row ? as_column(b) : b;
    const int d = isempty(dim) ? 0 : round_to_count(number_at(dim, 0));
    if (extent(u, d) != 3) {
        error("cross: %s does not have a 3-dimension", operand_name(a));
        return x_M;
    }
    if (extent(v, d) != 3) {
        error("cross: %s does not have a 3-dimension", operand_name(b));
        return x_M;
    }
    if (!is_same_dims(u, v)) {
        error("cross: %s and %s must be of same size", operand_name(a), operand_name(b));
        return x_M;
    }

    const bool in_bytes = u.gettype() == qv_uint8 || v.gettype() == qv_uint8;
    const Mm x = working_copy(u, in_bytes), y = working_copy(v, in_bytes);
    if (x.size() != u.size() || y.size() != v.size())
        return x_M;  // "Out of memory!" went to a hook that returned
    std::size_t inner = 1, outer = 1;
    for (int k = 0; k < 4; ++k) {
        if (k < d - 1)
            inner *= std::size_t(u.getdims()[k]);
        else if (k > d - 1)
            outer *= std::size_t(u.getdims()[k]);
    }
    Mm r(x.isc() || y.isc(), 0, 0, u.getndims(), u.getdims(), qv_double);
    if (r.size() != u.size() || r.isc() != (x.isc() || y.isc()))
        return x_M;  // "Out of memory!" went to a hook that returned
    cross_kernel(x, y, r, inner, outer);
    if (in_bytes)
        r = to_bytes(r);
    if (a_row || b_row)
        r.reshape(r.cols(), r.rows());
    return r;
}

// ---- coordinate transforms ----
// Every output is computed before any is assigned: an output may be the
// very variable passed as an input.

namespace {

// sqrt(x.^2 + y.^2) without overflow or underflow in the squares: hypot of
// real double operands, with scalar expansion, sparse when both operands
// are (as the sum of their squares would be). Complex, uint8, empty and
// mismatched operands take the composed form, whose rules and messages
// they follow.
Mm radius_of(const Mm& x, const Mm& y)
{
    const bool real_doubles = x.gettype() == qv_double && y.gettype() == qv_double && !x.isc() && !y.isc();
    const int nx = x.size(), ny = y.size();
    if (!real_doubles || nx == 0 || ny == 0 || (nx != 1 && ny != 1 && !is_same_dims(x, y)))
        return msqrt(plus(times(x, x), times(y, y)));
    const Mm fx = full(x), fy = full(y);
    const Mm& like = nx == 1 ? fy : fx;
    Mm r(0, 0, 0, like.getndims(), like.getdims(), qv_double);
    if (fx.size() != nx || fy.size() != ny || r.size() != like.size())
        return x_M;  // "Out of memory!" went to a hook that returned
    const double *px = fx.addr(), *py = fy.addr();
    const int sx = nx == 1 ? 0 : 1, sy = ny == 1 ? 0 : 1;
    double* out = r.addr();
    for (int k = 0, n = r.size(); k < n; ++k)
        out[k] = std::hypot(px[k * sx], py[k * sy]);
    return x.issparse() && y.issparse() ? sparse(r) : r;
}

} // namespace

Mm cart2pol(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& th, Mm& r, Mm& zz)
{
    Mm angle = atan2(y, x);
    Mm radius = radius_of(x, y);
    Mm height = z;
    th = angle;
    r = radius;
    zz = height;
    return x_M;
}

Mm cart2pol(const Mm& x, const Mm& y, i_o_t, Mm& th, Mm& r)
{
    Mm angle = atan2(y, x);
    Mm radius = radius_of(x, y);
    th = angle;
    r = radius;
    return x_M;
}

Mm pol2cart(const Mm& th, const Mm& r, const Mm& z, i_o_t, Mm& x, Mm& y, Mm& zz)
{
    Mm across = times(r, cos(th));
    Mm up = times(r, sin(th));
    Mm height = z;
    x = across;
    y = up;
    zz = height;
    return x_M;
}

Mm pol2cart(const Mm& th, const Mm& r, i_o_t, Mm& x, Mm& y)
{
    Mm across = times(r, cos(th));
    Mm up = times(r, sin(th));
    x = across;
    y = up;
    return x_M;
}

Mm cart2sph(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& th, Mm& phi, Mm& r)
{
    Mm planar = radius_of(x, y);
    Mm radius = radius_of(planar, z);
    Mm elevation = atan2(z, planar);
    Mm azimuth = atan2(y, x);
    th = azimuth;
    phi = elevation;
    r = radius;
    return x_M;
}

Mm sph2cart(const Mm& th, const Mm& phi, const Mm& r, i_o_t, Mm& x, Mm& y, Mm& z)
{
    Mm c = cos(phi);
    Mm across = times(r, times(c, cos(th)));
    Mm along = times(r, times(c, sin(th)));
    Mm up = times(r, sin(phi));
    x = across;
    y = along;
    z = up;
    return x_M;
}
