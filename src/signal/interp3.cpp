// interp3: trilinear, nearest and separable spline interpolation of a
// three-dimensional table, and its refinement.
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

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

Mm counting_row(int n) { return colon(1.0, double(n)); }

// A non-vector grid argument reduced to its line along axis 0 (x(1, :, 1)),
// 1 (y(:, 1, 1)) or 2 (z(1, 1, :)).
Mm grid_line3(const Mm& v, int axis)
{
    if (isvector(v))
        return v;
    const int rows = v.rows(), cols = v.cols(), pages = v.size(3);
    const int n = axis == 0 ? cols : axis == 1 ? rows : pages;
    Mm line = shaped(0, 1, n);
    for (int k = 0; k < n; ++k) {
        const std::int64_t at = axis == 0 ? std::int64_t(k) * rows : axis == 1 ? k : std::int64_t(k) * rows * cols;
        line.addr()[k] = v.addr()[at];
    }
    return line;
}

} // namespace

Mm interp3(Mm x, Mm y, Mm z, Mm v, Mm xi, Mm yi, Mm zi, const Mm& method)
{
    if (v.isc()) {
        const Mm im = interp3(x, y, z, imag(v), xi, yi, zi, method);
        const Mm re = interp3(x, y, z, real(v), xi, yi, zi, method);
        return plus(re, times(i, im));
    }
    const char letter = checked_method_letter(method, "interp3");
    x = grid_line3(mdouble(full(x)), 0);
    y = grid_line3(mdouble(full(y)), 1);
    z = grid_line3(mdouble(full(z)), 2);
    const bool bytes = v.gettype() == qv_uint8;
    v = mdouble(full(v));
    xi = mdouble(full(xi));
    yi = mdouble(full(yi));
    zi = mdouble(full(zi));
    if (automesh(xi, yi, zi)) {
        Mm gx, gy, gz;
        meshgrid(xi, yi, zi, i_o, gx, gy, gz);
        xi = gx;
        yi = gy;
        zi = gz;
    } else if (!isequal(size(xi), size(yi)) || !isequal(size(xi), size(zi))) {
        error("interp2: xi and yi are not same size.");
        return x_M;
    }
    if (xi.size() != zi.size() || yi.size() != zi.size())
        throw std::bad_alloc();  // a grid refused its storage
    Mm result = shaped(0, zi.getndims(), zi.getdims());
    const int m = xi.size(), nx = x.size(), ny = y.size(), nz = z.size();
    double* out = result.addr();
    if (letter == 'l' || letter == 'n') {
        if (nx < 2 || ny < 2 || nz < 2) {
            error("interp3: at least two values required.");
            return x_M;
        }
        const double* kx = x.addr();
        const double* ky = y.addr();
        const double* kz = z.addr();
        const int rows = v.rows(), cols = v.cols();
        const bool covered = ny <= rows && nx <= cols && nz <= v.size(3);
        const double* vv = v.addr();
        auto at = [&](int r, int c, int p) {
            return covered ? vv[(r - 1) + std::int64_t(c - 1) * rows + std::int64_t(p - 1) * rows * cols]
                           : v.r(r, c, p);
        };
        for (int j = 0; j < m; ++j) {
            const double a = xi.addr()[j], b = yi.addr()[j], c = zi.addr()[j];
            int lx, hx, ly, hy, lz, hz;
            interval_bracket(a, kx, nx, lx, hx);
            interval_bracket(b, ky, ny, ly, hy);
            interval_bracket(c, kz, nz, lz, hz);
            if (lx == 0 || lx == nx || ly == 0 || ly == ny || lz == 0 || lz == nz ||
                (letter == 'n' && (a != a || b != b || c != c))) {
                out[j] = NAN;
            } else if (letter == 'l') {
                const double t = (a - kx[lx - 1]) / (kx[hx - 1] - kx[lx - 1]);
                const double c00 = blend(at(ly, lx, lz), at(ly, hx, lz), t);
                const double c10 = blend(at(hy, lx, lz), at(hy, hx, lz), t);
                const double c01 = blend(at(ly, lx, hz), at(ly, hx, hz), t);
                const double c11 = blend(at(hy, lx, hz), at(hy, hx, hz), t);
                const double u = (b - ky[ly - 1]) / (ky[hy - 1] - ky[ly - 1]);
                const double d0 = blend(c00, c10, u);
                const double d1 = blend(c01, c11, u);
                out[j] = blend(d0, d1, (c - kz[lz - 1]) / (kz[hz - 1] - kz[lz - 1]));
            } else {
                out[j] = at(nearest_knot(b, ky, ly, hy), nearest_knot(a, kx, lx, hx), nearest_knot(c, kz, lz, hz));
            }
        }
    } else {
        // each page in two dimensions at every query point, then along z
        const int rows = v.rows(), cols = v.cols(), pages = v.size(3);
        Mm L = shaped(0, m, nz);
        std::fill(L.addr(), L.addr() + L.size(), 0.0);
        Mm page = shaped(0, rows, cols);
        for (int k = 0; k < nz && k < pages; ++k) {
            std::memcpy(page.addr(), v.addr() + std::int64_t(k) * rows * cols, sizeof(double) * rows * cols);
            const Mm p = interp2(x, y, page, xi, yi, method);
            if (p.size() == m)
                std::memcpy(L.addr() + std::int64_t(k) * m, p.addr(), sizeof(double) * m);
        }
        Mm line = shaped(0, nz, 1);
        for (int j = 0; j < m; ++j) {
            for (int k = 0; k < nz; ++k)
                line.addr()[k] = L.addr()[j + std::int64_t(k) * m];
            const Mm r = interp1(z, line, Mm(zi.addr()[j]), method);
            out[j] = r.size() > 0 ? r.addr()[0] : NAN;
        }
    }
    return bytes ? muint8(result) : result;
}

Mm interp3(const Mm& x, const Mm& y, const Mm& z, const Mm& v, const Mm& xi, const Mm& yi, const Mm& zi)
{
    return interp3(x, y, z, v, xi, yi, zi, default_interp_method);
}

Mm interp3(const Mm& v, const Mm& xi, const Mm& yi, const Mm& zi, const Mm& method)
{
    return interp3(counting_row(v.cols()), counting_row(v.rows()), counting_row(v.size(3)), v, xi, yi, zi, method);
}

Mm interp3(const Mm& v, const Mm& xi, const Mm& yi, const Mm& zi)
{
    return interp3(v, xi, yi, zi, default_interp_method);
}

Mm interp3(const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&)
{
    return Mm(error_input("interp3", 6));
}

Mm interp3(const Mm& v, const Mm& ntimes, const Mm& method)
{
    // A count is a whole number: 2+i was read as 2, without a word.
    if (ntimes.size() > 0 && isnumeric(ntimes) && imag_at(ntimes, 0) != 0) {
        error("interp3: ntimes must be real");
        return x_M;
    }
    const double n = ntimes.size() > 0 ? mdouble(ntimes).addr()[0] : 1.0;
    const double step = std::pow(0.5, std::floor(n));
    const Mm xi = colon(1.0, step, double(v.cols()));
    const Mm yi = dot_transpose(colon(1.0, step, double(v.rows())));
    const Mm zi = colon(1.0, step, double(v.size(3)));
    return interp3(counting_row(v.cols()), counting_row(v.rows()), counting_row(v.size(3)), v, xi, yi, zi, method);
}

Mm interp3(const Mm& v, const Mm& ntimes) { return interp3(v, ntimes, default_interp_method); }
Mm interp3(const Mm& v) { return interp3(v, Mm(1.0), default_interp_method); }
