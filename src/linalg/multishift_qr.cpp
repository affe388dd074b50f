// The small-bulge multishift QR iteration with aggressive early deflation,
// for the large blocks of the Hessenberg QR kernels, real and complex: one
// template over the two fields (fields.hpp). Each sweep chases a chain of
// 3-by-3 bulges (two shifts each) down the active block; their reflections
// are gathered window by window into an orthogonal (unitary) matrix that
// reaches the rest of the matrix and z as matrix products. Before each
// sweep, the Schur form of a window at the bottom shows which of its
// eigenvalues have already converged (those whose coupling to the rest is
// negligible); they are split off, and the others are the next shifts.
// What the fields do differently (real shifts come in conjugate pairs, a
// real Schur form keeps 2-by-2 blocks) sits in a few overloads.
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/hessenberg_qr.hpp"
#include "linalg/kernels.hpp"
#include "platform/blas.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace {

using idx = std::ptrdiff_t;
using vector = vector_view<double>;
using field::abs1;
using field::complex_field;
using field::conj;
using field::cplx;
using field::real_field;
using field::split_view;
using real_matrix = matrix_view<double>;

constexpr double ulp = machine_eps_value;
constexpr double safmin = machine_realmin_value;

// Sweeps without a deflation before the window grows (5) and before the
// shifts are exceptional ones (6); a sweep is skipped when the window
// deflated more than 14% of itself.
constexpr int grow_window_after = 5;
constexpr int exceptional_every = 6;
constexpr idx nibble = 14;

// Shifts per sweep for an active block of order nh.
idx shifts_for(idx nh)
{
    idx ns;
    if (nh < 30)
        ns = 2;
    else if (nh < 60)
        ns = 4;
    else if (nh < 150)
        ns = 10;
    else if (nh < 590)
        ns = std::max<idx>(10, nh / idx(std::lround(std::log2(double(nh)))));
    else if (nh < 3000)
        ns = 64;
    else if (nh < 6000)
        ns = 128;
    else
        ns = 256;
    return std::max<idx>(2, ns - ns % 2);
}

idx window_for(idx nh, idx ns)
{
    return nh <= 500 ? ns : 3 * ns / 2;
}

// The work array: room for the largest sweep and window of order n, and
// for the multishift iteration on a window, which it may need itself.
// Matrices and the spike take F::parts doubles an element.
struct workspace {
    idx ns, kdu, nw;
    double* u;       // kdu by kdu: a window's gathered reflections
    double* w;       // max(kdu, nw) by n: products before they are copied
    double* t;       // nw by nw: the deflation window
    double* v;       // nw by nw: its Schur vectors
    double* q;       // nw by nw: the reduction of what stays in the window
    double* ort;     // nw: the spike, then the reduction's vectors
    double* swr;     // nw: the window's eigenvalues
    double* swi;     // nw
    double* s;       // ns by ns: a trailing block whose eigenvalues are shifts
    double* inner;   // the window's own multishift iteration
    idx size;
};

template <class F>
workspace carve(idx n, double* base)
{
    workspace ws{};
    ws.ns = n < 150 ? 10 : n < 3000 ? 64 : n < 6000 ? 128 : 256;
    ws.kdu = 3 * ws.ns - 3;
    ws.nw = std::min(n, 3 * ws.ns / 2 + 1);
    idx at = 0;
    auto take = [&](idx count) {
        double* p = base ? base + at : nullptr;
        at += count;
        return p;
    };
    const idx parts = F::parts;
    ws.u = take(parts * ws.kdu * ws.kdu);
    ws.w = take(parts * std::max(ws.kdu, ws.nw) * n);
    ws.t = take(parts * ws.nw * ws.nw);
    ws.v = take(parts * ws.nw * ws.nw);
    ws.q = take(parts * ws.nw * ws.nw);
    ws.ort = take(parts * ws.nw);
    ws.swr = take(ws.nw);
    ws.swi = take(ws.nw);
    ws.s = take(parts * ws.ns * ws.ns);
    ws.inner = nullptr;
    if (ws.nw > multishift_order) {
        ws.inner = take(0);
        at += carve<F>(ws.nw, nullptr).size;
    }
    ws.size = at;
    return ws;
}

// ---- small pieces ----

// Largest part of a scalar.
double largest_part(double a) { return std::fabs(a); }
double largest_part(cplx a) { return std::max(std::fabs(a.re), std::fabs(a.im)); }

// |(alpha, x)| from |x|, without overflow.
double norm_with(double alpha, double xnorm) { return std::hypot(alpha, xnorm); }
double norm_with(cplx alpha, double xnorm)
{
    const double m = std::max({std::fabs(alpha.re), std::fabs(alpha.im), xnorm});
    if (m == 0.0)
        return 0.0;
    const double a = alpha.re / m, b = alpha.im / m, c = xnorm / m;
    return m * std::sqrt(a * a + b * b + c * c);
}

// The reflection I - tau·u·uᴴ (u(1) = 1) whose adjoint takes (alpha, x) to
// (beta, 0), beta real: alpha becomes beta, x (x(0..len-1), references or
// element views) becomes u(2..), and tau is returned (0 when x is already
// zero). Tiny vectors are scaled up first, so beta keeps its digits.
template <class T, class X>
T make_reflector(T& alpha, const X& x, idx len)
{
    double big = 0.0;
    for (idx i = 0; i < len; ++i)
        big = std::max(big, largest_part(T(x(i))));
    if (big == 0.0)
        return T(0.0);
    auto norm_of_x = [&] {
        double m = 0.0, s = 0.0;
        for (idx i = 0; i < len; ++i)
            m = std::max(m, largest_part(T(x(i))));
        for (idx i = 0; i < len; ++i)
            s += field::squared_modulus(T(x(i)) / m);
        return m * std::sqrt(s);
    };
    double beta = -std::copysign(norm_with(alpha, norm_of_x()), field::real_part(alpha));
    const double small = safmin / ulp;
    int scaled = 0;
    while (std::fabs(beta) < small && scaled < 20) {
        ++scaled;
        for (idx i = 0; i < len; ++i)
            x(i) = T(x(i)) / small;
        beta /= small;
        alpha = alpha / small;
    }
    if (scaled > 0)
        beta = -std::copysign(norm_with(alpha, norm_of_x()), field::real_part(alpha));
    const T tau = (T(beta) - alpha) / beta;
    const T f = T(1.0) / (alpha - T(beta));
    for (idx i = 0; i < len; ++i)
        x(i) = T(x(i)) * f;
    for (int k = 0; k < scaled; ++k)
        beta *= small;
    alpha = beta;
    return tau;
}

// A reflection of two or three rows: I - tau·u·uᴴ with u = (1, u2, u3).
template <class T>
struct reflection {
    T tau = 0.0, u2 = 0.0, u3 = 0.0;
};

// Rows r..r+L-1, columns c0..c1: from the left, by the adjoint.
template <int L, class M, class T>
void reflect_rows(const M& a, const reflection<T>& f, idx r, idx c0, idx c1)
{
    for (idx j = c0; j <= c1; ++j) {
        T s = a(r, j) + conj(f.u2) * a(r + 1, j);
        if constexpr (L == 3)
            s += conj(f.u3) * a(r + 2, j);
        s *= conj(f.tau);
        a(r, j) -= s;
        a(r + 1, j) -= s * f.u2;
        if constexpr (L == 3)
            a(r + 2, j) -= s * f.u3;
    }
}

// Columns c..c+L-1, rows r0..r1: from the right.
template <int L, class M, class T>
void reflect_columns(const M& a, const reflection<T>& f, idx c, idx r0, idx r1)
{
    const M c1 = field::corner(a, 1, c), c2 = field::corner(a, 1, c + 1);
    const M c3 = field::corner(a, 1, L == 3 ? c + 2 : c);
    for (idx i = r0; i <= r1; ++i) {
        T s = c1(i, 1) + f.u2 * c2(i, 1);
        if constexpr (L == 3)
            s += f.u3 * c3(i, 1);
        s *= f.tau;
        c1(i, 1) -= s;
        c2(i, 1) -= s * conj(f.u2);
        if constexpr (L == 3)
            c3(i, 1) -= s * conj(f.u3);
    }
}

// A multiple of the first column of (H - s1)(H - s2) for the 3-by-3 (or
// 2-by-2) block of h at k, the shifts (sr[0], si[0]) and (sr[1], si[1]):
// for a real h a conjugate pair or two real ones. Scaled clear of overflow
// and underflow.
void first_column(const real_matrix& h, idx k, idx order, const double* sr, const double* si, double* v)
{
    const double sr1 = sr[0], si1 = si[0], sr2 = sr[1], si2 = si[1];
    if (order == 2) {
        const double s = std::fabs(h(k, k) - sr2) + std::fabs(si2) + std::fabs(h(k + 1, k));
        if (s == 0.0) {
            v[0] = v[1] = 0.0;
            return;
        }
        const double h21s = h(k + 1, k) / s;
        v[0] = h21s * h(k, k + 1) + (h(k, k) - sr1) * ((h(k, k) - sr2) / s) - si1 * (si2 / s);
        v[1] = h21s * (h(k, k) + h(k + 1, k + 1) - sr1 - sr2);
        return;
    }
    const double s = std::fabs(h(k, k) - sr2) + std::fabs(si2) + std::fabs(h(k + 1, k)) + std::fabs(h(k + 2, k));
    if (s == 0.0) {
        v[0] = v[1] = v[2] = 0.0;
        return;
    }
    const double h21s = h(k + 1, k) / s, h31s = h(k + 2, k) / s;
    v[0] = (h(k, k) - sr1) * ((h(k, k) - sr2) / s) - si1 * (si2 / s) + h(k, k + 1) * h21s + h(k, k + 2) * h31s;
    v[1] = h21s * (h(k, k) + h(k + 1, k + 1) - sr1 - sr2) + h(k + 1, k + 2) * h31s;
    v[2] = h31s * (h(k, k) + h(k + 2, k + 2) - sr1 - sr2) + h21s * h(k + 2, k + 1);
}

void first_column(const split_view& h, idx k, idx order, const double* sr, const double* si, cplx* v)
{
    const cplx s1{sr[0], si[0]}, s2{sr[1], si[1]};
    const cplx h11 = h(k, k), h21 = h(k + 1, k), h12 = h(k, k + 1), h22 = h(k + 1, k + 1);
    if (order == 2) {
        const double s = abs1(h11 - s2) + abs1(h21);
        if (s == 0.0) {
            v[0] = v[1] = 0.0;
            return;
        }
        const cplx h21s = h21 / s;
        v[0] = h21s * h12 + (h11 - s1) * ((h11 - s2) / s);
        v[1] = h21s * (h11 + h22 - s1 - s2);
        return;
    }
    const cplx h31 = h(k + 2, k);
    const double s = abs1(h11 - s2) + abs1(h21) + abs1(h31);
    if (s == 0.0) {
        v[0] = v[1] = v[2] = 0.0;
        return;
    }
    const cplx h21s = h21 / s, h31s = h31 / s;
    v[0] = (h11 - s1) * ((h11 - s2) / s) + h12 * h21s + cplx(h(k, k + 2)) * h31s;
    v[1] = h21s * (h11 + h22 - s1 - s2) + cplx(h(k + 1, k + 2)) * h31s;
    v[2] = h31s * (h11 + cplx(h(k + 2, k + 2)) - s1 - s2) + h21s * cplx(h(k + 2, k + 1));
}

template <class T>
reflection<T> reflection_of(T* v, idx order)
{
    reflection<T> f;
    T alpha = v[0];
    f.tau = make_reflector(alpha, [v](idx i) -> T& { return v[1 + i]; }, order - 1);
    f.u2 = v[1];
    f.u3 = order == 3 ? v[2] : T(0.0);
    v[0] = alpha;
    return f;
}

// LAPACK's test for a subdiagonal element the chase may set to zero.
template <class M>
bool negligible_behind_bulge(const M& h, idx k, idx ktop, idx kbot, double smlnum)
{
    const double sub = abs1(h(k + 1, k));
    double tst1 = abs1(h(k, k)) + abs1(h(k + 1, k + 1));
    if (tst1 == 0.0) {
        if (k >= ktop + 1)
            tst1 += abs1(h(k, k - 1));
        if (k >= ktop + 2)
            tst1 += abs1(h(k, k - 2));
        if (k >= ktop + 3)
            tst1 += abs1(h(k, k - 3));
        if (k <= kbot - 2)
            tst1 += abs1(h(k + 2, k + 1));
        if (k <= kbot - 3)
            tst1 += abs1(h(k + 3, k + 1));
        if (k <= kbot - 4)
            tst1 += abs1(h(k + 4, k + 1));
    }
    if (!(sub <= std::max(smlnum, ulp * tst1)))
        return false;
    const double h12 = std::max(sub, abs1(h(k, k + 1)));
    const double h21 = std::min(sub, abs1(h(k, k + 1)));
    const double diff = abs1(h(k, k) - h(k + 1, k + 1));
    const double h11 = std::max(abs1(h(k + 1, k + 1)), diff);
    const double h22 = std::min(abs1(h(k + 1, k + 1)), diff);
    const double scl = h11 + h12;
    const double tst2 = h22 * (h11 / scl);
    return tst2 == 0.0 || h21 * (h12 / scl) <= std::max(smlnum, ulp * tst2);
}

// The rows by cols block of a at (r0, c0) := that·q (q of order cols) or,
// from the left, qᴴ·that (q of order rows), through w.
template <class M>
void transform_block(const M& a, idx r0, idx c0, idx rows, idx cols, const M& q, bool from_left, double* w)
{
    using F = typename field::field_of<M>::type;
    if (rows <= 0 || cols <= 0)
        return;
    const M wv = F::carve(w, rows, cols), block = field::corner(a, r0, c0);
    if (from_left)
        field::gemm('C', 'N', rows, cols, rows, 1.0, q, block, 0.0, wv);
    else
        field::gemm('N', 'N', rows, cols, cols, 1.0, block, q, 0.0, wv);
    field::copy_block(wv, block, rows, cols);
}

// a(rows r0..r1, columns c0..c0+k-1) := that·q.
template <class M>
void times_on_right(const M& a, idx r0, idx r1, idx c0, const M& q, idx k, double* w)
{
    transform_block(a, r0, c0, r1 - r0 + 1, k, q, false, w);
}

// a(rows r0..r0+k-1, columns c0..c1) := qᴴ·that.
template <class M>
void adjoint_on_left(const M& a, idx r0, idx c0, idx c1, const M& q, idx k, double* w)
{
    transform_block(a, r0, c0, k, c1 - c0 + 1, q, true, w);
}

// ---- exchanging diagonal entries of a Schur form ----

// A real Schur form: exchanges the adjacent blocks of t (order jw) at j1
// (order p) and j1+p (order q), both 1 or 2, with v taking the rotation. The exchange comes
// from the invariant subspace of the lower block, [-X; I] with
// A·X - X·B = C; it is refused (false, nothing changed) when the result
// would leave more than rounding below the new blocks.
bool exchange_blocks(const real_matrix& t, const real_matrix& v, idx jw, idx j1, idx p, idx q)
{
    const idx m = p + q;
    double d[4][4] = {};
    double dnorm = 0.0;
    for (idx i = 0; i < m; ++i)
        for (idx j = 0; j < m; ++j) {
            d[i][j] = t(j1 + i, j1 + j);
            dnorm = std::max(dnorm, std::fabs(d[i][j]));
        }
    const double smlnum = safmin / ulp;
    // A·X - X·B = C as a system of order p·q, x(i + p·j) = X(i, j), by
    // elimination with complete pivoting; a pivot below smin is taken as
    // smin, which keeps X finite when A and B share an eigenvalue.
    const idx order = p * q;
    double mat[4][4] = {}, rhs[4] = {};
    double ab = 0.0;
    for (idx i = 0; i < m; ++i)
        for (idx j = 0; j < m; ++j)
            if ((i < p && j < p) || (i >= p && j >= p))
                ab = std::max(ab, std::fabs(d[i][j]));
    const double smin = std::max(ulp * ab, smlnum);
    for (idx j = 0; j < q; ++j)
        for (idx i = 0; i < p; ++i) {
            const idx r = i + p * j;
            rhs[r] = d[i][p + j];
            for (idx l = 0; l < q; ++l)
                for (idx k = 0; k < p; ++k) {
                    double e = 0.0;
                    if (l == j)
                        e += d[i][k];
                    if (k == i)
                        e -= d[p + l][p + j];
                    mat[r][k + p * l] = e;
                }
        }
    idx col_of[4] = {0, 1, 2, 3};
    for (idx s = 0; s < order; ++s) {
        idx pr = s, pc = s;
        double best = -1.0;
        for (idx i = s; i < order; ++i)
            for (idx j = s; j < order; ++j)
                if (std::fabs(mat[i][j]) > best) {
                    best = std::fabs(mat[i][j]);
                    pr = i;
                    pc = j;
                }
        for (idx j = 0; j < order; ++j)
            std::swap(mat[s][j], mat[pr][j]);
        std::swap(rhs[s], rhs[pr]);
        for (idx i = 0; i < order; ++i)
            std::swap(mat[i][s], mat[i][pc]);
        std::swap(col_of[s], col_of[pc]);
        if (std::fabs(mat[s][s]) < smin)
            mat[s][s] = smin;
        for (idx i = s + 1; i < order; ++i) {
            const double f = mat[i][s] / mat[s][s];
            for (idx j = s; j < order; ++j)
                mat[i][j] -= f * mat[s][j];
            rhs[i] -= f * rhs[s];
        }
    }
    double sol[4] = {};
    for (idx s = order - 1; s >= 0; --s) {
        double acc = rhs[s];
        for (idx j = s + 1; j < order; ++j)
            acc -= mat[s][j] * sol[j];
        sol[s] = acc / mat[s][s];
    }
    double x[2][2] = {};
    for (idx s = 0; s < order; ++s) {
        const idx at = col_of[s];
        if (!std::isfinite(sol[s]))
            return false;
        x[at % p][at / p] = sol[s];
    }
    // Q from the QR factorisation of [-X; I] (m by q), as q reflections.
    double y[4][2] = {};
    for (idx j = 0; j < q; ++j) {
        for (idx i = 0; i < p; ++i)
            y[i][j] = -x[i][j];
        y[p + j][j] = 1.0;
    }
    double qm[4][4] = {};
    for (idx i = 0; i < m; ++i)
        qm[i][i] = 1.0;
    for (idx j = 0; j < q; ++j) {
        double u[4] = {};
        for (idx i = j; i < m; ++i)
            u[i] = y[i][j];
        double alpha = u[j];
        const double tau = make_reflector(alpha, [&u, j](idx i) -> double& { return u[j + 1 + i]; }, m - j - 1);
        u[j] = 1.0;
        for (idx c = j + 1; c < q; ++c) {
            double s = 0.0;
            for (idx i = j; i < m; ++i)
                s += u[i] * y[i][c];
            s *= tau;
            for (idx i = j; i < m; ++i)
                y[i][c] -= s * u[i];
        }
        for (idx r = 0; r < m; ++r) {
            double s = 0.0;
            for (idx i = j; i < m; ++i)
                s += qm[r][i] * u[i];
            s *= tau;
            for (idx i = j; i < m; ++i)
                qm[r][i] -= s * u[i];
        }
    }
    // Try it on the block alone.
    double e[4][4] = {};
    for (idx i = 0; i < m; ++i)
        for (idx j = 0; j < m; ++j) {
            double s = 0.0;
            for (idx k = 0; k < m; ++k)
                for (idx l = 0; l < m; ++l)
                    s += qm[k][i] * d[k][l] * qm[l][j];
            e[i][j] = s;
        }
    const double thresh = std::max(10.0 * ulp * dnorm, smlnum);
    for (idx i = q; i < m; ++i)
        for (idx j = 0; j < q; ++j)
            if (!(std::fabs(e[i][j]) <= thresh))
                return false;
    // Accept: rows j1.. from the left over columns j1..jw, columns j1.. from
    // the right over rows 1..j1+m-1, and v's columns.
    double tmp[4];
    for (idx c = j1; c <= jw; ++c) {
        for (idx i = 0; i < m; ++i) {
            double s = 0.0;
            for (idx k = 0; k < m; ++k)
                s += qm[k][i] * t(j1 + k, c);
            tmp[i] = s;
        }
        for (idx i = 0; i < m; ++i)
            t(j1 + i, c) = tmp[i];
    }
    auto right = [&](const real_matrix& a, idx rows) {
        for (idx r = 1; r <= rows; ++r) {
            for (idx j = 0; j < m; ++j) {
                double s = 0.0;
                for (idx k = 0; k < m; ++k)
                    s += a(r, j1 + k) * qm[k][j];
                tmp[j] = s;
            }
            for (idx j = 0; j < m; ++j)
                a(r, j1 + j) = tmp[j];
        }
    };
    right(t, j1 + m - 1);
    right(v, jw);
    for (idx i = q; i < m; ++i)
        for (idx j = 0; j < q; ++j)
            t(j1 + i, j1 + j) = 0.0;
    return true;
}

// Moves the block that starts at row first (order nb) up to start at row
// target, past one block at a time; stops where an exchange is refused.
void move_block_up(const real_matrix& t, const real_matrix& v, idx jw, idx first, idx nb, idx target)
{
    idx here = first;
    while (here > target) {
        const idx above = here >= 3 && t(here - 1, here - 2) != 0.0 ? 2 : 1;
        if (!exchange_blocks(t, v, jw, here - above, above, nb))
            return;
        here -= above;
    }
}

// The complex form: the diagonal entry at row first goes up to row target,
// exchanged with each one above it by a rotation, which never fails.
void move_block_up(const split_view& t, const split_view& v, idx jw, idx first, idx, idx target)
{
    for (idx k = first - 1; k >= target; --k) {
        // The rotation [c s; -conj(s) c] that takes (t(k, k+1), t22 - t11)
        // to (r, 0).
        const cplx t11 = t(k, k), t22 = t(k + 1, k + 1), f = t(k, k + 1), g = t22 - t11;
        double c = 1.0;
        cplx s = 0.0;
        if (g != 0.0) {
            const double mf = field::modulus(f), mg = field::modulus(g);
            if (mf == 0.0) {
                c = 0.0;
                s = conj(g) / mg;
            } else {
                const double d = std::hypot(mf, mg);
                c = mf / d;
                s = (f / mf) * (conj(g) / d);
            }
        }
        for (idx j = k + 2; j <= jw; ++j) {
            const cplx x = t(k, j), y = t(k + 1, j);
            t(k, j) = c * x + s * y;
            t(k + 1, j) = c * y - conj(s) * x;
        }
        for (idx i = 1; i <= k - 1; ++i) {
            const cplx x = t(i, k), y = t(i, k + 1);
            t(i, k) = c * x + conj(s) * y;
            t(i, k + 1) = c * y - s * x;
        }
        t(k, k) = t22;
        t(k + 1, k + 1) = t11;
        for (idx i = 1; i <= jw; ++i) {
            const cplx x = v(i, k), y = v(i, k + 1);
            v(i, k) = c * x + conj(s) * y;
            v(i, k + 1) = c * y - s * x;
        }
    }
}

// ---- what the two fields do differently ----

template <qr_kind Kind>
int small_qr(const real_qr_problem& p, idx ktop, idx kbot)
{
    return double_shift_qr<Kind>(p, ktop, kbot);
}

template <qr_kind Kind>
int small_qr(const complex_qr_problem& p, idx ktop, idx kbot)
{
    return single_shift_qr<Kind>(p, ktop, kbot);
}

// Whether rows and columns i-1, i (i > first) hold a 2-by-2 block of a
// converged real Schur form; a complex one has none.
bool pair_at(const real_matrix& t, idx i, idx first)
{
    return i > first && t(i, i - 1) != 0.0;
}

bool pair_at(const split_view&, idx, idx)
{
    return false;
}

void put_eigenvalue(const vector& wr, const vector& wi, idx i, double value)
{
    wr(i) = value;
    wi(i) = 0.0;
}

void put_eigenvalue(const vector& wr, const vector& wi, idx i, cplx value)
{
    wr(i) = value.re;
    wi(i) = value.im;
}

template <class T>
T eigenvalue_at(const vector& wr, const vector& wi, idx i)
{
    if constexpr (std::is_same_v<T, cplx>)
        return cplx{wr(i), wi(i)};
    else
        return wr(i);
}

// Rows and columns 1..ns of the window t (order jw) back to Hessenberg
// form, q (jw by jw) the transformation; ort is work space.
void reduce_window(const real_matrix& t, const real_matrix& q, const real_matrix& ort, idx jw, idx ns)
{
    int order = int(jw), one = 1, last = int(ns);
    orthes(&order, &order, &one, &last, t.p, ort.p);
    ortran(&order, &order, &one, &last, t.p, ort.p, q.p);
}

void reduce_window(const split_view& t, const split_view& q, const split_view& ort, idx jw, idx ns)
{
    int order = int(jw), one = 1, last = int(ns);
    corth(&order, &order, &one, &last, t.re, t.im, ort.re, ort.im);
    cortran(&order, &order, &one, &last, t.re, t.im, ort.re, ort.im, q.re, q.im);
}

// Shifts ks..kbot made from the size of the subdiagonal, after sweeps
// that deflated nothing: for a real matrix conjugate pairs, for a complex
// one the diagonal moved by it.
void exceptional_shifts(const real_qr_problem& pr, idx ktop, idx kbot, idx ks)
{
    const real_matrix h = pr.h;
    for (idx i = kbot; i >= std::max(ks + 1, ktop + 2); i -= 2) {
        const double ss = std::fabs(h(i, i - 1)) + std::fabs(h(i - 1, i - 2));
        const double aa = 0.75 * ss + h(i, i);
        pr.wr(i - 1) = aa;
        pr.wr(i) = aa;
        pr.wi(i - 1) = std::sqrt(0.4375) * ss;
        pr.wi(i) = -pr.wi(i - 1);
    }
    if (ks == ktop) {
        pr.wr(ks + 1) = h(ks + 1, ks + 1);
        pr.wi(ks + 1) = 0.0;
        pr.wr(ks) = pr.wr(ks + 1);
        pr.wi(ks) = pr.wi(ks + 1);
    }
}

void exceptional_shifts(const complex_qr_problem& pr, idx, idx kbot, idx ks)
{
    const split_view h = pr.h;
    for (idx i = kbot; i >= ks + 1; i -= 2) {
        const cplx w = cplx(h(i, i)) + 0.75 * abs1(h(i, i - 1));
        put_eigenvalue(pr.wr, pr.wi, i, w);
        put_eigenvalue(pr.wr, pr.wi, i - 1, w);
    }
}

// When the window left too few shifts: the eigenvalues of the trailing
// block of order ns go to ks..kbot (ks = kbot - ns + 1); returns the index
// of the first one found, or, should the iteration on that block fail,
// takes those of the trailing 2-by-2 block and returns kbot - 1.
template <class F>
idx trailing_shifts(const qr_problem<F>& pr, idx kbot, idx ns, const workspace& ws)
{
    using M = typename F::matrix;
    using T = typename F::scalar;
    const M h = pr.h;
    idx ks = kbot - ns + 1;
    const M s = F::carve(ws.s, ns, ns);
    for (idx j = 1; j <= ns; ++j)
        for (idx i = 1; i <= ns; ++i)
            s(i, j) = i <= j + 1 ? T(h(ks + i - 1, ks + j - 1)) : T(0.0);
    const qr_problem<F> trailing{s, s, vector{&pr.wr(ks)}, vector{&pr.wi(ks)}, ns, 1, ns, pr.three_term_modulus};
    ks += small_qr<qr_kind::values>(trailing, 1, ns);
    if (ks < kbot)
        return ks;
    if constexpr (F::is_complex) {
        const cplx a = h(kbot - 1, kbot - 1), b = h(kbot - 1, kbot), c = h(kbot, kbot - 1), d = h(kbot, kbot);
        const double scale = abs1(a) + abs1(b) + abs1(c) + abs1(d);
        const cplx aa = a / scale, bb = b / scale, cc = c / scale, dd = d / scale;
        const cplx tr2 = (aa + dd) / 2.0;
        const cplx det = (aa - tr2) * (dd - tr2) - bb * cc;
        cplx root;
        complex_sqrt(-det.re, -det.im, root.re, root.im);
        put_eigenvalue(pr.wr, pr.wi, kbot - 1, (tr2 + root) * scale);
        put_eigenvalue(pr.wr, pr.wi, kbot, (tr2 - root) * scale);
    } else {
        const real_matrix b = view(ws.s, 2);
        b(1, 1) = h(kbot - 1, kbot - 1);
        b(2, 1) = h(kbot, kbot - 1);
        b(1, 2) = h(kbot - 1, kbot);
        b(2, 2) = h(kbot, kbot);
        const real_qr_problem last{b, b, vector{&pr.wr(kbot - 1)}, vector{&pr.wi(kbot - 1)}, 2, 1, 2};
        settle_pair<qr_kind::values>(last, 2);
    }
    return kbot - 1;
}

// ---- aggressive early deflation ----

struct deflation {
    idx shifts, found;  // shifts left in wr, wi just above the found ones
    bool finite = true; // false: the window held a NaN or an infinity
};

template <class F, qr_kind Kind>
int multishift_on(const qr_problem<F>& p, idx ilo, idx ihi, const workspace& ws);

// The window of order nw at the bottom of ktop..kbot in Schur form; the
// eigenvalues at its bottom whose share of the spike (the window's
// coupling to the rest, rotated along) is negligible are split off and
// settled, the others moved up and kept as shifts.
template <class F, qr_kind Kind>
deflation deflate_early(const qr_problem<F>& pr, idx ktop, idx kbot, idx nw, const workspace& ws, double smlnum)
{
    using M = typename F::matrix;
    using T = typename F::scalar;
    constexpr bool full = Kind != qr_kind::values;
    const M h = pr.h;
    const idx jw = std::min(nw, kbot - ktop + 1);
    const idx kwtop = kbot - jw + 1;
    T s = kwtop == ktop ? T(0.0) : T(h(kwtop, kwtop - 1));
    if (kbot == kwtop) {
        put_eigenvalue(pr.wr, pr.wi, kwtop, T(h(kwtop, kwtop)));
        if (abs1(s) <= std::max(smlnum, ulp * abs1(h(kwtop, kwtop)))) {
            if (kwtop > ktop)
                h(kwtop, kwtop - 1) = 0.0;
            return {0, 1};
        }
        return {1, 0};
    }
    const M t = F::carve(ws.t, jw, jw), v = F::carve(ws.v, jw, jw);
    for (idx j = 1; j <= jw; ++j)
        for (idx i = 1; i <= jw; ++i) {
            t(i, j) = i <= j + 1 ? T(h(kwtop + i - 1, kwtop + j - 1)) : T(0.0);
            v(i, j) = i == j ? 1.0 : 0.0;
        }
    for (idx j = 1; j <= jw; ++j)
        for (idx i = 1; i <= std::min(j + 1, jw); ++i)
            if (!field::finite(T(t(i, j))))
                return {0, 0, false};
    const qr_problem<F> window{t, v, view(ws.swr), view(ws.swi), jw, 1, jw, pr.three_term_modulus};
    const idx unfound = jw > multishift_order && ws.inner
                            ? multishift_on<F, qr_kind::schur>(window, 1, jw, carve<F>(jw, ws.inner))
                            : small_qr<qr_kind::schur>(window, 1, jw);
    for (idx j = 1; j <= jw; ++j)
        for (idx i = j + 2; i <= jw; ++i)
            t(i, j) = 0.0;

    idx ns = jw, ilst = unfound + 1;
    while (ilst <= ns) {
        if (!pair_at(t, ns, 1)) {
            double foo = abs1(t(ns, ns));
            if (foo == 0.0)
                foo = abs1(s);
            if (abs1(s) * abs1(v(1, ns)) <= std::max(smlnum, ulp * foo)) {
                --ns;
            } else {
                move_block_up(t, v, jw, ns, 1, ilst);
                ++ilst;
            }
        } else {
            double foo = abs1(t(ns, ns)) + std::sqrt(abs1(t(ns, ns - 1))) * std::sqrt(abs1(t(ns - 1, ns)));
            if (foo == 0.0)
                foo = abs1(s);
            if (std::max(abs1(s) * abs1(v(1, ns)), abs1(s) * abs1(v(1, ns - 1))) <= std::max(smlnum, ulp * foo)) {
                ns -= 2;
            } else {
                move_block_up(t, v, jw, ns - 1, 2, ilst);
                ilst += 2;
            }
        }
    }
    if (ns == 0)
        s = 0.0;

    // The shifts: eigenvalues of the blocks that stay.
    for (idx i = ns; i >= unfound + 1;) {
        if (pair_at(t, i, unfound + 1)) {
            if constexpr (!F::is_complex)
                settle_pair<qr_kind::values>(window, i);
            i -= 2;
        } else {
            put_eigenvalue(window.wr, window.wi, i, T(t(i, i)));
            i -= 1;
        }
    }
    for (idx i = unfound + 1; i <= ns; ++i) {
        pr.wr(kwtop + i - 1) = ws.swr[i - 1];
        pr.wi(kwtop + i - 1) = ws.swi[i - 1];
    }

    if (ns < jw || s == 0.0) {
        if (ns > 1 && s != 0.0) {
            // Reflect the spike to its first element, and bring what stays
            // back to Hessenberg form.
            const M u = F::carve(ws.ort, ws.nw, 1);
            for (idx i = 1; i <= ns; ++i)
                u(i, 1) = conj(T(v(1, i)));
            T beta = u(1, 1);
            const T tau = make_reflector(beta, [&u](idx i) -> decltype(auto) { return u(i + 2, 1); }, ns - 1);
            u(1, 1) = 1.0;
            for (idx j = 1; j <= jw; ++j) {
                T acc = 0.0;
                for (idx i = 1; i <= ns; ++i)
                    acc += conj(T(u(i, 1))) * t(i, j);
                acc *= conj(tau);
                for (idx i = 1; i <= ns; ++i)
                    t(i, j) -= acc * u(i, 1);
            }
            auto from_right = [&](const M& a, idx rows) {
                for (idx r = 1; r <= rows; ++r) {
                    T acc = 0.0;
                    for (idx i = 1; i <= ns; ++i)
                        acc += a(r, i) * u(i, 1);
                    acc *= tau;
                    for (idx i = 1; i <= ns; ++i)
                        a(r, i) -= acc * conj(T(u(i, 1)));
                }
            };
            from_right(t, ns);
            from_right(v, jw);
            const M q = F::carve(ws.q, jw, jw);
            reduce_window(t, q, u, jw, ns);
            times_on_right(v, 1, jw, 1, q, ns, ws.w);
        }
        if (kwtop > ktop)
            h(kwtop, kwtop - 1) = s * conj(T(v(1, 1)));
        for (idx j = 1; j <= jw; ++j)
            for (idx i = 1; i <= std::min(j + 1, jw); ++i)
                h(kwtop + i - 1, kwtop + j - 1) = t(i, j);
        times_on_right(h, full ? 1 : ktop, kwtop - 1, kwtop, v, jw, ws.w);
        if (full) {
            adjoint_on_left(h, kwtop, kbot + 1, pr.n, v, jw, ws.w);
            times_on_right(pr.z, pr.iloz, pr.ihiz, kwtop, v, jw, ws.w);
        }
        for (idx i = kbot; i >= kwtop + ns;) {
            if (pair_at(h, i, kwtop + ns)) {
                if constexpr (!F::is_complex)
                    settle_pair<Kind>(pr, i);
                i -= 2;
            } else {
                put_eigenvalue(pr.wr, pr.wi, i, T(h(i, i)));
                i -= 1;
            }
        }
    }
    return {ns - unfound, jw - ns};
}

// ---- the sweep ----

// One sweep of ns shifts (sr, si; for a real matrix conjugate pairs or
// pairs of real ones) over ktop..kbot: ns/2 bulges, 3 rows apart, are
// brought in at the top one after another and chased down together, the
// lowest first at each step. The chain passes through windows of
// 6·(ns/2) - 3 rows; within one only the rows and columns near the
// diagonal are updated as the reflections come, and they are gathered in
// u, which then brings the rows above, the columns right of it and z up to
// date by products.
template <class F, qr_kind Kind>
void sweep(const qr_problem<F>& pr, idx ktop, idx kbot, idx nshifts, double* sr, double* si, const workspace& ws,
           double smlnum)
{
    using M = typename F::matrix;
    using T = typename F::scalar;
    constexpr bool full = Kind != qr_kind::values;
    const M h = pr.h;
    idx ns = nshifts - nshifts % 2;
    if (ns < 2 || ktop >= kbot)
        return;
    if constexpr (!F::is_complex) {
        // Shifts in pairs of real ones or conjugate ones.
        for (idx i = 0; i + 2 < ns; i += 2)
            if (si[i] != -si[i + 1]) {
                std::swap(sr[i], sr[i + 1]);
                std::swap(sr[i + 1], sr[i + 2]);
                std::swap(si[i], si[i + 1]);
                std::swap(si[i + 1], si[i + 2]);
            }
    }
    const idx nbmps = ns / 2, kdu = 6 * nbmps - 3;
    const M u = F::carve(ws.u, kdu, kdu);
    const idx last_col = full ? pr.n : kbot, first_row = full ? 1 : ktop;

    for (idx incol = 3 * (1 - nbmps) + ktop - 1; incol <= kbot - 2; incol += 3 * nbmps - 2) {
        const idx ndcol = incol + kdu;
        for (idx j = 1; j <= kdu; ++j)
            for (idx i = 1; i <= kdu; ++i)
                u(i, j) = i == j ? 1.0 : 0.0;
        const idx jtop = std::max(ktop, incol), jbot = std::min(ndcol, kbot);
        const idx k1 = std::max<idx>(1, ktop - incol);
        for (idx krcol = incol; krcol <= std::min(incol + 3 * nbmps - 3, kbot - 2); ++krcol) {
            const idx mtop = std::max<idx>(1, ((ktop - 1) - krcol + 2) / 3 + 1);
            const idx mbot = std::min(nbmps, (kbot - krcol) / 3);
            const idx m22 = mbot + 1;
            const bool bmp22 = mbot < nbmps && krcol + 3 * (m22 - 1) == kbot - 2;
            if (bmp22) {
                // The lowest bulge has two rows left.
                const idx k = kbot - 2;
                T vv[3];
                if (k == ktop - 1) {
                    first_column(h, k + 1, 2, &sr[2 * m22 - 2], &si[2 * m22 - 2], vv);
                } else {
                    vv[0] = h(k + 1, k);
                    vv[1] = h(k + 2, k);
                }
                const reflection<T> f = reflection_of(vv, 2);
                if (k >= ktop) {
                    h(k + 1, k) = vv[0];
                    h(k + 2, k) = 0.0;
                }
                reflect_rows<2>(h, f, k + 1, std::max(k + 1, ktop), jbot);
                reflect_columns<2>(h, f, k + 1, jtop, kbot);
                reflect_columns<2>(u, f, k - incol + 1, k1, kdu);
                if (k >= ktop && h(k + 1, k) != 0.0 && negligible_behind_bulge(h, k, ktop, kbot, smlnum))
                    h(k + 1, k) = 0.0;
            }
            for (idx m = mbot; m >= mtop; --m) {
                const idx k = krcol + 3 * (m - 1);
                T vv[3];
                reflection<T> f;
                if (k == ktop - 1) {
                    first_column(h, ktop, 3, &sr[2 * m - 2], &si[2 * m - 2], vv);
                    f = reflection_of(vv, 3);
                } else {
                    vv[0] = h(k + 1, k);
                    vv[1] = h(k + 2, k);
                    vv[2] = h(k + 3, k);
                    f = reflection_of(vv, 3);
                    const T beta = vv[0];
                    if (h(k + 3, k) != 0.0 || h(k + 3, k + 1) != 0.0 || h(k + 3, k + 2) == 0.0) {
                        h(k + 1, k) = beta;
                    } else {
                        // The bulge has collapsed: start a new one here if
                        // that adds only negligible fill, else go on with
                        // the old reflection.
                        T vt[3];
                        first_column(h, k + 1, 3, &sr[2 * m - 2], &si[2 * m - 2], vt);
                        const reflection<T> g = reflection_of(vt, 3);
                        const T refsum = conj(g.tau) * (T(h(k + 1, k)) + conj(g.u2) * h(k + 2, k));
                        if (abs1(T(h(k + 2, k)) - refsum * g.u2) + abs1(refsum * g.u3) >
                            ulp * (abs1(h(k, k)) + abs1(h(k + 1, k + 1)) + abs1(h(k + 2, k + 2)))) {
                            h(k + 1, k) = beta;
                        } else {
                            h(k + 1, k) -= refsum;
                            f = g;
                        }
                    }
                    h(k + 2, k) = 0.0;
                    h(k + 3, k) = 0.0;
                }
                reflect_rows<3>(h, f, k + 1, std::max(k + 1, ktop), jbot);
                reflect_columns<3>(h, f, k + 1, jtop, std::min(k + 4, kbot));
                reflect_columns<3>(u, f, k - incol + 1, k1, kdu);
            }
            for (idx m = mbot; m >= mtop; --m) {
                const idx k = krcol + 3 * (m - 1);
                if (k >= ktop && h(k + 1, k) != 0.0 && negligible_behind_bulge(h, k, ktop, kbot, smlnum))
                    h(k + 1, k) = 0.0;
            }
        }
        // The rest of the matrix and z.
        const idx nu = (kdu - std::max<idx>(0, ndcol - kbot)) - k1 + 1;
        const idx wtop = incol + k1;
        const M uw = field::corner(u, k1, k1);
        adjoint_on_left(h, wtop, jbot + 1, last_col, uw, nu, ws.w);
        times_on_right(h, first_row, jtop - 1, wtop, uw, nu, ws.w);
        if (full)
            times_on_right(pr.z, pr.iloz, pr.ihiz, wtop, uw, nu, ws.w);
    }
}

// ---- the iteration ----

template <class F, qr_kind Kind>
int multishift_on(const qr_problem<F>& pr, idx ilo, idx ihi, const workspace& ws)
{
    using M = typename F::matrix;
    using T = typename F::scalar;
    const M h = pr.h;
    const vector wr = pr.wr, wi = pr.wi;
    const idx n = pr.n;
    if (ihi - ilo + 1 <= multishift_order)
        return small_qr<Kind>(pr, ilo, ihi);
    // What lies below the subdiagonal is not part of the matrix; the chase
    // reads a bulge's neighbours there, so they start as zeros. (The
    // kernels and the deflation window pass only finite entries.)
    for (idx j = ilo; j + 2 <= ihi; ++j)
        for (idx i = j + 2; i <= ihi; ++i)
            h(i, j) = 0.0;
    const idx nh0 = ihi - ilo + 1;
    const double smlnum = safmin * (double(nh0) / ulp);
    const idx nwmax = std::min<idx>((n - 1) / 3, ws.nw);
    const idx nsmax = std::min<idx>((n - 3) / 6, ws.ns);
    idx nsr = std::min({shifts_for(nh0), nsmax, ihi - ilo});
    nsr = std::max<idx>(2, nsr - nsr % 2);
    const idx nwr = std::min({std::max<idx>(2, window_for(nh0, shifts_for(nh0))), nh0, nwmax});
    const long itmax = 30L * std::max<idx>(10, nh0) * eigen_budget_scale;

    idx kbot = ihi, nw = nwr, ndec = -1;
    long ndfl = 1;
    for (long it = 1; it <= itmax; ++it) {
        if (kbot < ilo)
            return 0;
        // Overflow on the way (from finite entries) ends it as above.
        for (idx k = ilo; k <= kbot; ++k)
            if (!field::finite(T(h(k, k))) || (k > ilo && !field::finite(T(h(k, k - 1)))))
                return int(kbot);
        idx ktop = kbot;
        while (ktop > ilo && h(ktop, ktop - 1) != 0.0)
            --ktop;
        const idx nh = kbot - ktop + 1;
        const idx nwupbd = std::min(nh, nwmax);
        nw = ndfl < grow_window_after ? std::min(nwupbd, nwr) : std::min(nwupbd, 2 * nw);
        if (nw < nwmax) {
            if (nw >= nh - 1) {
                nw = nh;
            } else {
                const idx kwtop = kbot - nw + 1;
                if (abs1(h(kwtop, kwtop - 1)) > abs1(h(kwtop - 1, kwtop - 2)))
                    ++nw;
            }
        }
        if (ndfl < grow_window_after) {
            ndec = -1;
        } else if (ndec >= 0 || nw >= nwupbd) {
            ++ndec;
            if (nw - ndec < 2)
                ndec = 0;
            nw -= ndec;
        }

        const deflation d = deflate_early<F, Kind>(pr, ktop, kbot, nw, ws, smlnum);
        if (!d.finite)
            return int(kbot);
        kbot -= d.found;
        idx ks = kbot - d.shifts + 1;

        if (d.found == 0 || (100 * d.found <= nw * nibble && kbot - ktop + 1 > std::min(multishift_order, nwmax))) {
            idx ns = std::min({nsmax, nsr, std::max<idx>(2, kbot - ktop)});
            ns -= ns % 2;
            if (ndfl % exceptional_every == 0) {
                ks = kbot - ns + 1;
                exceptional_shifts(pr, ktop, kbot, ks);
            } else {
                if (kbot - ks + 1 <= ns / 2)
                    ks = trailing_shifts(pr, kbot, ns, ws);
                if (kbot - ks + 1 > ns) {
                    // The smallest ones go in first (sorted by magnitude,
                    // pairs kept together).
                    bool sorted = false;
                    for (idx k = kbot; k >= ks + 1 && !sorted; --k) {
                        sorted = true;
                        for (idx i = ks; i <= k - 1; ++i)
                            if (std::fabs(wr(i)) + std::fabs(wi(i)) < std::fabs(wr(i + 1)) + std::fabs(wi(i + 1))) {
                                sorted = false;
                                std::swap(wr(i), wr(i + 1));
                                std::swap(wi(i), wi(i + 1));
                            }
                    }
                }
                if constexpr (!F::is_complex) {
                    for (idx i = kbot; i >= ks + 2; i -= 2)
                        if (wi(i) != -wi(i - 1)) {
                            std::swap(wr(i), wr(i - 1));
                            std::swap(wr(i - 1), wr(i - 2));
                            std::swap(wi(i), wi(i - 1));
                            std::swap(wi(i - 1), wi(i - 2));
                        }
                }
            }
            if (kbot - ks + 1 == 2 && (F::is_complex || wi(kbot) == 0.0)) {
                // Two shifts (for a real matrix two real ones): the one
                // nearer h(kbot, kbot) twice.
                const T corner_value = h(kbot, kbot);
                if (abs1(eigenvalue_at<T>(wr, wi, kbot) - corner_value) <
                    abs1(eigenvalue_at<T>(wr, wi, kbot - 1) - corner_value)) {
                    wr(kbot - 1) = wr(kbot);
                    wi(kbot - 1) = wi(kbot);
                } else {
                    wr(kbot) = wr(kbot - 1);
                    wi(kbot) = wi(kbot - 1);
                }
            }
            ns = std::min(ns, kbot - ks + 1);
            ns -= ns % 2;
            ks = kbot - ns + 1;
            sweep<F, Kind>(pr, ktop, kbot, ns, &wr(ks), &wi(ks), ws, smlnum);
        }
        ndfl = d.found > 0 ? 1 : ndfl + 1;
    }
    return int(kbot);
}

} // namespace

template <class F>
std::ptrdiff_t multishift_work_size(std::ptrdiff_t n)
{
    return carve<F>(std::max<idx>(n, 1), nullptr).size;
}

template <class F, qr_kind Kind>
int multishift_qr(const qr_problem<F>& p, std::ptrdiff_t ilo, std::ptrdiff_t ihi, double* work)
{
    // Thin products: one BLAS thread.
    const blas_single_thread serial;
    return multishift_on<F, Kind>(p, ilo, ihi, carve<F>(p.n, work));
}

template std::ptrdiff_t multishift_work_size<real_field>(std::ptrdiff_t);
template std::ptrdiff_t multishift_work_size<complex_field>(std::ptrdiff_t);
template int multishift_qr<real_field, qr_kind::values>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t, double*);
template int multishift_qr<real_field, qr_kind::vectors>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t,
                                                         double*);
template int multishift_qr<real_field, qr_kind::schur>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t, double*);
template int multishift_qr<complex_field, qr_kind::values>(const complex_qr_problem&, std::ptrdiff_t, std::ptrdiff_t,
                                                           double*);
template int multishift_qr<complex_field, qr_kind::vectors>(const complex_qr_problem&, std::ptrdiff_t, std::ptrdiff_t,
                                                            double*);
template int multishift_qr<complex_field, qr_kind::schur>(const complex_qr_problem&, std::ptrdiff_t, std::ptrdiff_t,
                                                          double*);
