// interp2: bilinear, nearest and separable spline interpolation of a table
// on a rectangular grid, and the refinement that halves its steps.
#include "signal/storage.hpp"
#include "signal/interp_common.hpp"
#include "value/element_read.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

Mm counting_row(int n) { return colon(1.0, double(n)); }

// The first row of a non-vector x, the first column of a non-vector y.
Mm grid_line(const Mm& v, bool first_row)
{
    if (isvector(v))
        return v;
    return first_row ? Mm(v(Mm(1.0), c_p)) : Mm(v(c_p, Mm(1.0)));
}

// Bilinear values at m points of a table that covers the knots, in two
// passes over blocks of points: the interval searches first, then the
// table reads in a short loop whose scattered reads can all be under way
// at once. Same arithmetic, in the same order, as point by point.
void bilinear(const knot_axis& ax, const knot_axis& ay, const double* xs, const double* ys, int m, const double* zv,
              int rows, double* out)
{
    constexpr int block = 256;
    std::int64_t cell[block];  // z(ly, lx) as an offset; -1 outside the grid
    double tx[block], ty[block];
    for (int j0 = 0; j0 < m; j0 += block) {
        const int count = std::min(block, m - j0);
        for (int q = 0; q < count; ++q) {
            const double u = xs[j0 + q], v = ys[j0 + q];
            int lx, hx, ly, hy;
            ax.bracket(u, lx, hx);
            ay.bracket(v, ly, hy);
            if (lx == 0 || lx == ax.n || ly == 0 || ly == ay.n) {
                cell[q] = -1;
                continue;
            }
            cell[q] = (ly - 1) + std::int64_t(lx - 1) * rows;
            tx[q] = ax.fraction(u, lx, hx);
            ty[q] = ay.fraction(v, ly, hy);
        }
        for (int q = 0; q < count; ++q) {
            if (cell[q] < 0) {
                out[j0 + q] = NAN;
                continue;
            }
            const double* p = zv + cell[q];
            const double t = tx[q];
            // the plain formula, which is blend's wherever it ends finite: a
            // non-finite value on the way stays non-finite to the end
            const double a = p[0] + t * (p[rows] - p[0]);
            const double b = p[1] + t * (p[rows + 1] - p[1]);
            const double v = a + ty[q] * (b - a);
            out[j0 + q] = std::isfinite(v) ? v : blend(blend(p[0], p[rows], t), blend(p[1], p[rows + 1], t), ty[q]);
        }
    }
}

} // namespace

Mm interp2(Mm x, Mm y, Mm z, Mm xi, Mm yi, const Mm& method)
{
    if (z.isc()) {
        const Mm im = interp2(x, y, imag(z), xi, yi, method);
        const Mm re = interp2(x, y, real(z), xi, yi, method);
        return plus(re, times(i, im));
    }
    const char letter = checked_method_letter(method, "interp2");
    x = mdouble(full(x));
    y = mdouble(full(y));
    const bool bytes = z.gettype() == qv_uint8;
    z = mdouble(full(z));
    xi = mdouble(full(xi));
    yi = mdouble(full(yi));
    x = grid_line(x, true);
    y = grid_line(y, false);
    if (automesh(xi, yi)) {
        Mm gx, gy;
        meshgrid(xi, yi, i_o, gx, gy);
        if (gx.size() != gy.size())
            return x_M;  // a refused grid, already reported to a hook that returned
        xi = gx;
        yi = gy;
    } else if (!isequal(size(xi), size(yi))) {
        error("interp2: xi and yi are not same size.");
        return x_M;
    }
    if (xi.size() != yi.size())
        throw std::bad_alloc();  // a grid refused its storage
    Mm result = shaped(0, yi.getndims(), yi.getdims());
    const int m = xi.size(), nx = x.size(), ny = y.size();
    double* out = result.addr();
    if (letter == 'l' || letter == 'n') {
        if (nx < 2 || ny < 2) {
            error("interp2: at least two values required.");
            return x_M;
        }
        const double* kx = x.addr();
        const double* ky = y.addr();
        const double* zv = z.addr();
        const int rows = z.rows();
        // the grid must cover the knots; otherwise the checked accessor reports
        const bool covered = ny <= z.rows() && nx <= z.cols();
        auto at = [&](int r, int c) { return covered ? zv[(r - 1) + std::int64_t(c - 1) * rows] : z.r(r, c); };
        const knot_axis ax(kx, nx), ay(ky, ny);
        if (letter == 'l' && covered) {
            bilinear(ax, ay, xi.addr(), yi.addr(), m, zv, rows, out);
            return bytes ? muint8(result) : result;
        }
        for (int j = 0; j < m; ++j) {
            const double u = xi.addr()[j], v = yi.addr()[j];
            int lx, hx, ly, hy;
            ax.bracket(u, lx, hx);
            ay.bracket(v, ly, hy);
            if (lx == 0 || lx == nx || ly == 0 || ly == ny || (letter == 'n' && (u != u || v != v))) {
                out[j] = NAN;
            } else if (letter == 'l') {
                const double t = ax.fraction(u, lx, hx);
                const double a = blend(at(ly, lx), at(ly, hx), t);
                const double b = blend(at(hy, lx), at(hy, hx), t);
                out[j] = blend(a, b, ay.fraction(v, ly, hy));
            } else {
                out[j] = at(nearest_knot(v, ky, ly, hy), nearest_knot(u, kx, lx, hx));
            }
        }
    } else {
        // separable: every row of z along x, then each column along y
        const Mm R = dot_transpose(interp1(x, dot_transpose(z), xi, method));
        if (istrue(all(all(isnan(R))))) {
            for (int j = 0; j < m; ++j)
                out[j] = NAN;
        } else {
            const int rr = R.rows();
            Mm column = shaped(0, rr, 1);
            for (int j = 0; j < m; ++j) {
                std::memcpy(column.addr(), R.addr() + std::int64_t(j) * rr, sizeof(double) * rr);
                const Mm v = interp1(y, column, Mm(yi.addr()[j]), method);
                out[j] = v.size() > 0 ? v.addr()[0] : NAN;
            }
        }
    }
    return bytes ? muint8(result) : result;
}

Mm interp2(const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi)
{
    return interp2(x, y, z, xi, yi, default_interp_method);
}

Mm interp2(const Mm& z, const Mm& xi, const Mm& yi, const Mm& method)
{
    return interp2(counting_row(z.cols()), counting_row(z.rows()), z, xi, yi, method);
}

Mm interp2(const Mm& z, Mm a, Mm b)
{
    if (!b.isstr())
        return interp2(z, a, b, default_interp_method);
    // refinement: steps halved floor(ntimes) times; a count is a whole
    // number, and 2+i was read as 2 without a word
    if (a.size() > 0 && isnumeric(a) && imag_at(a, 0) != 0) {
        error("interp2: ntimes must be real");
        return x_M;
    }
    const double ntimes = a.size() > 0 ? mdouble(a).addr()[0] : 1.0;
    const double step = std::pow(0.5, std::floor(ntimes));
    const Mm xi = colon(1.0, step, double(z.cols()));
    const Mm yi = dot_transpose(colon(1.0, step, double(z.rows())));
    return interp2(counting_row(z.cols()), counting_row(z.rows()), z, xi, yi, b);
}

Mm interp2(const Mm& z, Mm a)
{
    if (a.isstr())
        return interp2(z, Mm(1.0), a);
    return interp2(z, a, default_interp_method);
}

Mm interp2(const Mm& z) { return interp2(z, Mm(1.0)); }
