// cplxpair, which orders complex conjugate pairs ahead of the real numbers,
// and nested, the nested-dissection numbering of a square grid's interior.
#include "signal/storage.hpp"
#include "array/constructors.hpp"
#include "array/ndim.hpp"
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

namespace {

// Ascending with NaN last; equal keys keep their order under stable_sort.
inline bool key_less(double a, double b) { return a == a && (b != b || a < b); }

// Orders one column in place; false when its complex numbers do not pair.
bool pair_column(double* re, double* im, std::int64_t n, double tol, std::vector<std::int64_t>& order,
                 std::vector<double>& sr, std::vector<double>& si)
{
    order.resize(n);
    std::iota(order.begin(), order.end(), 0);
    // largest imaginary magnitude first, then by real part: conjugates meet
    std::stable_sort(order.begin(), order.end(),
                     [&](std::int64_t u, std::int64_t v) { return key_less(-std::fabs(im[u]), -std::fabs(im[v])); });
    std::stable_sort(order.begin(), order.end(), [&](std::int64_t u, std::int64_t v) { return key_less(re[u], re[v]); });
    sr.resize(n);
    si.resize(n);
    std::int64_t out = 0;
    // the complex ones first, in order; an exact zero counts as real
    for (std::int64_t k : order) {
        const double a = complex_abs(re[k], im[k]);
        if (a > 0 && std::fabs(im[k]) >= a * tol) {
            sr[out] = re[k];
            si[out] = im[k];
            ++out;
        }
    }
    const std::int64_t complex_count = out;
    if (complex_count % 2 != 0)
        return false;
    for (std::int64_t k = 0; k < complex_count; k += 2) {
        const double bound = tol * complex_abs(sr[k], si[k]);
        if (!(std::fabs(sr[k] - sr[k + 1]) <= bound && std::fabs(si[k] + si[k + 1]) <= bound))
            return false;
        if (si[k] > 0)
            si[k] = -si[k];
        if (!(si[k + 1] > 0))
            si[k + 1] = -si[k + 1];
    }
    for (std::int64_t k : order) {
        const double a = complex_abs(re[k], im[k]);
        if (a > 0 && std::fabs(im[k]) >= a * tol)
            continue;
        sr[out] = re[k];
        si[out] = std::fabs(im[k]) < tol ? 0.0 : im[k];
        ++out;
    }
    std::copy(sr.begin(), sr.begin() + n, re);
    std::copy(si.begin(), si.begin() + n, im);
    return true;
}

// Numbers the a x b block at (r0, c0) of the e x e matrix m.
void number_block(double* m, int e, int r0, int c0, int a, int b, double& counter)
{
    if (a == 0 || b == 0)
        return;
    if (a == 1 || b == 1) {
        for (int j = 0; j < b; ++j)
            for (int i = 0; i < a; ++i)
                m[(r0 + i) + std::int64_t(c0 + j) * e] = ++counter;
        return;
    }
    const int g = std::max(a, b), h = (g + 1) / 2;
    if (b < a) {
        number_block(m, e, r0, c0, h - 1, b, counter);
        number_block(m, e, r0 + h, c0, g - h, b, counter);
        number_block(m, e, r0 + h - 1, c0, 1, b, counter);
    } else {
        number_block(m, e, r0, c0, a, h - 1, counter);
        number_block(m, e, r0, c0 + h, a, b - h, counter);
        number_block(m, e, r0, c0 + h - 1, a, 1, counter);
    }
}

} // namespace

Mm cplxpair(Mm x, Mm tol, const Mm& dim)
{
    if (isempty(x) || !x.isc())
        return sort(x);
    x = mdouble(full(x));
    const int k = parse_dim_argument("cplxpair", x, dim);
    int dims[4];
    for (int d = 0; d < 4; ++d)
        dims[d] = d < x.getndims() ? x.getdims()[d] : 1;
    Mm c;
    const Mm moved = move_dim_first(x, x.getndims(), dims, k);
    c.deepcopy(1, moved, qv_double);
    c = required(c, moved.size());
    double t = 100 * 2.220446049250313e-16;
    if (!isempty(tol)) {
        if (error_numeric(tol, "cplxpair"))
            return x_M;
        // A tolerance with an imaginary part was read as its real part,
        // without a word.
        if (imag_at(tol, 0) != 0) {
            error("cplxpair: the tolerance must be real");
            return x_M;
        }
        t = number_at(tol, 0);
    }
    const std::int64_t rows = c.rows(), columns = rows > 0 ? c.size() / rows : 0;
    std::vector<std::int64_t> order;
    std::vector<double> sr, si;
    for (std::int64_t j = 0; j < columns; ++j)
        if (!pair_column(c.addr() + j * rows, c.addi() + j * rows, rows, t, order, sr, si)) {
            error("cplxpair: complex numbers cannot be paired");
            return x_M;
        }
    Mm d = move_dim_back(c, x.getndims(), dims, k);
    return d;
}

Mm cplxpair(const Mm& x, const Mm& tol) { return cplxpair(x, tol, Mm(0.0)); }
Mm cplxpair(const Mm& x) { return cplxpair(x, nop_M, Mm(0.0)); }

Mm nested(const Mm& n)
{
    if (error_numeric(n, "nested"))
        return x_M;
    // An order is a whole number: 4+i was read as 4, without a word.
    if (n.size() > 0 && imag_at(n, 0) != 0) {
        error("nested: n must be real");
        return x_M;
    }
    const int e = n.size() > 0 ? round_to_count(number_at(n, 0)) : 0;
    if (e <= 0)
        return nop_M;
    if (e == 1)
        return Mm(0.0);
    Mm m = shaped(0, e, e);
    if (m.size() != std::int64_t(e) * e)
        return x_M;
    std::fill(m.addr(), m.addr() + m.size(), 0.0);
    double counter = 0;
    number_block(m.addr(), e, 1, 1, e - 2, e - 2, counter);
    return m;
}
