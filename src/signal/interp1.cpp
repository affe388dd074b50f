// interp1 and interp1q: linear, nearest and spline interpolation of tables
// along one axis, the method letter and the library's default method.
#include "signal/storage.hpp"
#include "signal/interp_common.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/host.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <cmath>
#include <cstdint>
#include <cstring>

// Created at load, destroyed at unload.
Mm default_interp_method(TM("linear"), "default_interp_method");

char interp_method_letter(const Mm& method)
{
    char buffer[2048];
    buffer[0] = 0;
    Mstr_row(method, buffer, sizeof buffer);
    const char* s = buffer;
    if (*s == '*')
        ++s;
    if (s[0] == 'b' && s[1] == 'i')
        s += 2;
    return *s;
}

char checked_method_letter(const Mm& method, const char* name)
{
    if (!method.isstr()) {
        error("%s: method must be a string", name);
        return 0;
    }
    return interp_method_letter(method);
}

namespace {

Mm size_row(const Mm& x) { return size(x); }

// 1:n as a row.
Mm counting_row(int n) { return colon(1.0, double(n)); }

// The spline through each table at the queries, into result.
void spline_tables(const Mm& x, const Mm& y, const Mm& xi, bool vector_table, int tables, Mm& result)
{
    const int m = xi.size(), n = x.size();
    if (vector_table) {
        const Mm s = spline(x, y, xi);
        if (s.size() == m)
            std::memcpy(result.addr(), s.addr(), sizeof(double) * m);
        return;
    }
    Mm column = shaped(0, n, 1);
    for (int t = 0; t < tables; ++t) {
        std::memcpy(column.addr(), y.addr() + std::int64_t(t) * n, sizeof(double) * n);
        const Mm s = spline(x, column, xi);
        if (s.size() == m)
            std::memcpy(result.addr() + std::int64_t(t) * m, s.addr(), sizeof(double) * m);
    }
}

} // namespace

Mm interp1(Mm x, Mm y, Mm xi, const Mm& method)
{
    if (y.isc()) {
        const Mm im = interp1(x, imag(y), xi, method);
        const Mm re = interp1(x, real(y), xi, method);
        return plus(re, times(i, im));
    }
    const char letter = checked_method_letter(method, "interp1");
    x = mdouble(full(x));
    const bool bytes = y.gettype() == qv_uint8;
    y = mdouble(full(y));
    xi = mdouble(full(xi));
    const int m = xi.size(), n = x.size();
    const bool vector_table = isvector(y);
    const int tables = vector_table ? 1 : y.cols();
    if (vector_table ? y.size() != n : y.rows() != n) {
        disp(size_row(x));
        disp(size_row(y));
        error("interp1: x and y dimensions are not compatible");
        return x_M;
    }
    Mm result = vector_table ? shaped(0, xi.getndims(), xi.getdims()) : shaped(0, m, tables);
    if (letter == 'l' || letter == 'n') {
        if (n < 2) {
            error("interp1: at least two values required.");
            return x_M;
        }
        const double* k = x.addr();
        const double* q = xi.addr();
        for (int t = 0; t < tables; ++t) {
            const double* yv = y.addr() + std::int64_t(t) * n;
            double* out = result.addr() + std::int64_t(t) * m;
            // on finite lines blend is the plain formula: no test per point
            const bool plain = letter == 'l' && finite_lines(yv, n);
            for (int j = 0; j < m; ++j) {
                int lo, hi;
                const double v = q[j];
                interval_bracket(v, k, n, lo, hi);
                if (lo == 0 || lo == n || (letter == 'n' && v != v)) {
                    out[j] = NAN;
                } else if (letter == 'l') {
                    const double y0 = yv[lo - 1], y1 = yv[hi - 1];
                    const double f = knot_fraction(v, k[lo - 1], k[hi - 1]);
                    out[j] = plain ? y0 + f * (y1 - y0) : blend(y0, y1, f);
                } else {
                    out[j] = yv[nearest_knot(v, k, lo, hi) - 1];
                }
            }
        }
    } else {
        // The spline on the knots and queries scaled by one power of two to
        // the knots' size: its divided differences grow like 1/h^3 in the
        // steps h and would overflow for steps near 2^-360; a power of two
        // scales every one of them exactly.
        const int e = size_exponent(x.addr(), nullptr, n);
        if (e != 0) {
            x = ldexp_parts(x, -e);
            xi = ldexp_parts(xi, -e);
        }
        spline_tables(x, y, xi, vector_table, tables, result);
    }
    return bytes ? muint8(result) : result;
}

Mm interp1(Mm a, Mm b, Mm c)
{
    if (c.isstr()) {
        const int n = isvector(a) ? a.length() : a.rows();
        return interp1(counting_row(n), a, b, c);
    }
    return interp1(a, b, c, default_interp_method);
}

Mm interp1(const Mm& y, const Mm& xi)
{
    const int n = isvector(y) ? y.length() : y.rows();
    return interp1(counting_row(n), y, xi, default_interp_method);
}

Mm interp1(const Mm&) { return Mm(error_input("interp1", 1)); }

Mm interp1q(const Mm& x, const Mm& y, const Mm& xi) { return interp1(x, y, xi, default_interp_method); }
