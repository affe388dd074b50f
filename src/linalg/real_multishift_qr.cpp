// The small-bulge multishift QR iteration with aggressive early deflation,
// for the large blocks of the real Hessenberg QR kernels. Each sweep chases
// a chain of 3-by-3 bulges (two shifts each) down the active block; their
// reflections are gathered window by window into an orthogonal matrix that
// reaches the rest of the matrix and z as matrix products. Before each
// sweep, the Schur form of a window at the bottom shows which of its
// eigenvalues have already converged (those whose coupling to the rest is
// negligible); they are split off, and the others are the next shifts.
#include "engine/scalar_real.hpp"
#include "linalg/kernels.hpp"
#include "linalg/real_qr.hpp"
#include "platform/blas.hpp"

#include <algorithm>
#include <cmath>

namespace {

using idx = std::ptrdiff_t;
using matrix = matrix_view<double>;
using vector = vector_view<double>;

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
struct workspace {
    idx ns, kdu, nw;
    double* u;       // kdu by kdu: a window's gathered reflections
    double* w;       // max(kdu, nw) by n: products before they are copied
    double* t;       // nw by nw: the deflation window
    double* v;       // nw by nw: its Schur vectors
    double* q;       // nw by nw: the reduction of what stays in the window
    double* ort;     // nw
    double* swr;     // nw: the window's eigenvalues
    double* swi;     // nw
    double* s;       // ns by ns: a trailing block whose eigenvalues are shifts
    double* inner;   // the window's own multishift iteration
    idx size;
};

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
    ws.u = take(ws.kdu * ws.kdu);
    ws.w = take(std::max(ws.kdu, ws.nw) * n);
    ws.t = take(ws.nw * ws.nw);
    ws.v = take(ws.nw * ws.nw);
    ws.q = take(ws.nw * ws.nw);
    ws.ort = take(ws.nw);
    ws.swr = take(ws.nw);
    ws.swi = take(ws.nw);
    ws.s = take(ws.ns * ws.ns);
    ws.inner = nullptr;
    if (ws.nw > multishift_order) {
        ws.inner = take(0);
        at += carve(ws.nw, nullptr).size;
    }
    ws.size = at;
    return ws;
}

// ---- small pieces ----

// The reflection I - tau·u·uᵀ (u(1) = 1) that takes (alpha, x) to
// (beta, 0): alpha becomes beta, x becomes u(2..), and tau is returned (0
// when x is already zero). Tiny vectors are scaled up first, so beta keeps
// its digits.
double make_reflector(double& alpha, double* x, idx len)
{
    double big = 0.0;
    for (idx i = 0; i < len; ++i)
        big = std::max(big, std::fabs(x[i]));
    if (big == 0.0)
        return 0.0;
    auto norm_of_x = [&] {
        double m = 0.0, s = 0.0;
        for (idx i = 0; i < len; ++i)
            m = std::max(m, std::fabs(x[i]));
        for (idx i = 0; i < len; ++i)
            s += (x[i] / m) * (x[i] / m);
        return m * std::sqrt(s);
    };
    double beta = -std::copysign(std::hypot(alpha, norm_of_x()), alpha);
    const double small = safmin / ulp;
    int scaled = 0;
    while (std::fabs(beta) < small && scaled < 20) {
        ++scaled;
        for (idx i = 0; i < len; ++i)
            x[i] /= small;
        beta /= small;
        alpha /= small;
    }
    if (scaled > 0)
        beta = -std::copysign(std::hypot(alpha, norm_of_x()), alpha);
    const double tau = (beta - alpha) / beta;
    const double f = 1.0 / (alpha - beta);
    for (idx i = 0; i < len; ++i)
        x[i] *= f;
    for (int k = 0; k < scaled; ++k)
        beta *= small;
    alpha = beta;
    return tau;
}

// A reflection of two or three rows: I - tau·u·uᵀ with u = (1, u2, u3).
struct reflection {
    double tau = 0.0, u2 = 0.0, u3 = 0.0;
};

// Rows r..r+L-1, columns c0..c1: from the left.
template <int L>
void reflect_rows(const matrix& a, const reflection& f, idx r, idx c0, idx c1)
{
    for (idx j = c0; j <= c1; ++j) {
        double s = a(r, j) + f.u2 * a(r + 1, j);
        if constexpr (L == 3)
            s += f.u3 * a(r + 2, j);
        s *= f.tau;
        a(r, j) -= s;
        a(r + 1, j) -= s * f.u2;
        if constexpr (L == 3)
            a(r + 2, j) -= s * f.u3;
    }
}

// Columns c..c+L-1, rows r0..r1: from the right.
template <int L>
void reflect_columns(const matrix& a, const reflection& f, idx c, idx r0, idx r1)
{
    double* c1 = &a(1, c);
    double* c2 = &a(1, c + 1);
    double* c3 = L == 3 ? &a(1, c + 2) : nullptr;
    for (idx i = r0 - 1; i < r1; ++i) {
        double s = c1[i] + f.u2 * c2[i];
        if constexpr (L == 3)
            s += f.u3 * c3[i];
        s *= f.tau;
        c1[i] -= s;
        c2[i] -= s * f.u2;
        if constexpr (L == 3)
            c3[i] -= s * f.u3;
    }
}

// A multiple of the first column of (H - s1)(H - s2) for the 3-by-3 (or
// 2-by-2) block of h at k, the shifts a conjugate pair or two real ones;
// scaled clear of overflow and underflow.
void first_column(const matrix& h, idx k, idx order, double sr1, double si1, double sr2, double si2, double* v)
{
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

reflection reflection_of(double* v, idx order)
{
    reflection f;
    double alpha = v[0];
    f.tau = make_reflector(alpha, v + 1, order - 1);
    f.u2 = v[1];
    f.u3 = order == 3 ? v[2] : 0.0;
    v[0] = alpha;
    return f;
}

// LAPACK's test for a subdiagonal element the chase may set to zero.
bool negligible_behind_bulge(const matrix& h, idx k, idx ktop, idx kbot, double smlnum)
{
    const double sub = std::fabs(h(k + 1, k));
    double tst1 = std::fabs(h(k, k)) + std::fabs(h(k + 1, k + 1));
    if (tst1 == 0.0) {
        if (k >= ktop + 1)
            tst1 += std::fabs(h(k, k - 1));
        if (k >= ktop + 2)
            tst1 += std::fabs(h(k, k - 2));
        if (k >= ktop + 3)
            tst1 += std::fabs(h(k, k - 3));
        if (k <= kbot - 2)
            tst1 += std::fabs(h(k + 2, k + 1));
        if (k <= kbot - 3)
            tst1 += std::fabs(h(k + 3, k + 1));
        if (k <= kbot - 4)
            tst1 += std::fabs(h(k + 4, k + 1));
    }
    if (!(sub <= std::max(smlnum, ulp * tst1)))
        return false;
    const double h12 = std::max(sub, std::fabs(h(k, k + 1)));
    const double h21 = std::min(sub, std::fabs(h(k, k + 1)));
    const double h11 = std::max(std::fabs(h(k + 1, k + 1)), std::fabs(h(k, k) - h(k + 1, k + 1)));
    const double h22 = std::min(std::fabs(h(k + 1, k + 1)), std::fabs(h(k, k) - h(k + 1, k + 1)));
    const double scl = h11 + h12;
    const double tst2 = h22 * (h11 / scl);
    return tst2 == 0.0 || h21 * (h12 / scl) <= std::max(smlnum, ulp * tst2);
}

void gemm(const char* ta, idx m, idx n, idx k, const double* a, idx lda, const double* b, idx ldb, double* c, idx ldc)
{
    if (m <= 0 || n <= 0 || k <= 0)
        return;
    const int mi = int(m), ni = int(n), ki = int(k), la = int(lda), lb = int(ldb), lc = int(ldc);
    const double one = 1.0, zero = 0.0;
    dgemm_(ta, "N", &mi, &ni, &ki, &one, a, &la, b, &lb, &zero, c, &lc, 1, 1);
}

void copy_block(const double* from, idx ldf, double* to, idx ldt, idx rows, idx cols)
{
    for (idx j = 0; j < cols; ++j)
        std::copy(from + j * ldf, from + j * ldf + rows, to + j * ldt);
}

// a(rows r0..r1, columns c0..c0+k-1) := that·q (q k by k, leading dimension
// ldq), through w.
void times_on_right(const matrix& a, idx r0, idx r1, idx c0, const double* q, idx ldq, idx k, double* w)
{
    const idx rows = r1 - r0 + 1;
    if (rows <= 0)
        return;
    gemm("N", rows, k, k, &a(r0, c0), a.ld, q, ldq, w, rows);
    copy_block(w, rows, &a(r0, c0), a.ld, rows, k);
}

// a(rows r0..r0+k-1, columns c0..c1) := qᵀ·that, through w.
void transpose_on_left(const matrix& a, idx r0, idx c0, idx c1, const double* q, idx ldq, idx k, double* w)
{
    const idx cols = c1 - c0 + 1;
    if (cols <= 0)
        return;
    gemm("T", k, cols, k, q, ldq, &a(r0, c0), a.ld, w, k);
    copy_block(w, k, &a(r0, c0), a.ld, k, cols);
}

// ---- exchanging diagonal blocks of a quasi-triangular matrix ----

// Exchanges the adjacent blocks of t (order jw) at j1 (order p) and j1+p
// (order q), both 1 or 2, with v taking the rotation. The exchange comes
// from the invariant subspace of the lower block, [-X; I] with
// A·X - X·B = C; it is refused (false, nothing changed) when the result
// would leave more than rounding below the new blocks.
bool exchange_blocks(const matrix& t, const matrix& v, idx jw, idx j1, idx p, idx q)
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
        const double tau = make_reflector(alpha, u + j + 1, m - j - 1);
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
    auto right = [&](const matrix& a, idx rows) {
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
void move_block_up(const matrix& t, const matrix& v, idx jw, idx first, idx nb, idx target)
{
    idx here = first;
    while (here > target) {
        const idx above = here >= 3 && t(here - 1, here - 2) != 0.0 ? 2 : 1;
        if (!exchange_blocks(t, v, jw, here - above, above, nb))
            return;
        here -= above;
    }
}

// ---- aggressive early deflation ----

struct deflation {
    idx shifts, found;  // shifts left in wr, wi just above the found ones
    bool finite = true; // false: the window held a NaN or an infinity
};

template <real_qr Kind>
int multishift_on(const real_qr_problem& p, idx ilo, idx ihi, const workspace& ws);

// The window of order nw at the bottom of ktop..kbot in Schur form; the
// eigenvalues at its bottom whose share of the spike (the window's
// coupling to the rest, rotated along) is negligible are split off and
// settled, the others moved up and kept as shifts.
template <real_qr Kind>
deflation deflate_early(const real_qr_problem& pr, idx ktop, idx kbot, idx nw, const workspace& ws, double smlnum)
{
    constexpr bool full = Kind != real_qr::values;
    const matrix h = pr.h;
    const idx jw = std::min(nw, kbot - ktop + 1);
    const idx kwtop = kbot - jw + 1;
    double s = kwtop == ktop ? 0.0 : h(kwtop, kwtop - 1);
    if (kbot == kwtop) {
        pr.wr(kwtop) = h(kwtop, kwtop);
        pr.wi(kwtop) = 0.0;
        if (std::fabs(s) <= std::max(smlnum, ulp * std::fabs(h(kwtop, kwtop)))) {
            if (kwtop > ktop)
                h(kwtop, kwtop - 1) = 0.0;
            return {0, 1};
        }
        return {1, 0};
    }
    const matrix t = view(ws.t, int(jw)), v = view(ws.v, int(jw));
    for (idx j = 1; j <= jw; ++j)
        for (idx i = 1; i <= jw; ++i) {
            t(i, j) = i <= j + 1 ? h(kwtop + i - 1, kwtop + j - 1) : 0.0;
            v(i, j) = i == j ? 1.0 : 0.0;
        }
    for (idx j = 1; j <= jw; ++j)
        for (idx i = 1; i <= std::min(j + 1, jw); ++i)
            if (!std::isfinite(t(i, j)))
                return {0, 0, false};
    const real_qr_problem window{t, v, view(ws.swr), view(ws.swi), jw, 1, jw};
    const idx unfound = jw > multishift_order && ws.inner
                            ? multishift_on<real_qr::schur>(window, 1, jw, carve(jw, ws.inner))
                            : double_shift_qr<real_qr::schur>(window, 1, jw);
    for (idx j = 1; j <= jw; ++j)
        for (idx i = j + 2; i <= jw; ++i)
            t(i, j) = 0.0;

    idx ns = jw, ilst = unfound + 1;
    while (ilst <= ns) {
        const bool pair = ns > 1 && t(ns, ns - 1) != 0.0;
        if (!pair) {
            double foo = std::fabs(t(ns, ns));
            if (foo == 0.0)
                foo = std::fabs(s);
            if (std::fabs(s * v(1, ns)) <= std::max(smlnum, ulp * foo)) {
                --ns;
            } else {
                move_block_up(t, v, jw, ns, 1, ilst);
                ++ilst;
            }
        } else {
            double foo =
                std::fabs(t(ns, ns)) + std::sqrt(std::fabs(t(ns, ns - 1))) * std::sqrt(std::fabs(t(ns - 1, ns)));
            if (foo == 0.0)
                foo = std::fabs(s);
            if (std::max(std::fabs(s * v(1, ns)), std::fabs(s * v(1, ns - 1))) <= std::max(smlnum, ulp * foo)) {
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
        if (i > unfound + 1 && t(i, i - 1) != 0.0) {
            settle_pair<real_qr::values>(window, i);
            i -= 2;
        } else {
            ws.swr[i - 1] = t(i, i);
            ws.swi[i - 1] = 0.0;
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
            double* u = ws.ort;
            for (idx i = 1; i <= ns; ++i)
                u[i - 1] = v(1, i);
            double beta = u[0];
            const double tau = make_reflector(beta, u + 1, ns - 1);
            u[0] = 1.0;
            for (idx j = 1; j <= jw; ++j) {
                double acc = 0.0;
                for (idx i = 1; i <= ns; ++i)
                    acc += u[i - 1] * t(i, j);
                acc *= tau;
                for (idx i = 1; i <= ns; ++i)
                    t(i, j) -= acc * u[i - 1];
            }
            auto from_right = [&](const matrix& a, idx rows) {
                for (idx r = 1; r <= rows; ++r) {
                    double acc = 0.0;
                    for (idx i = 1; i <= ns; ++i)
                        acc += a(r, i) * u[i - 1];
                    acc *= tau;
                    for (idx i = 1; i <= ns; ++i)
                        a(r, i) -= acc * u[i - 1];
                }
            };
            from_right(t, ns);
            from_right(v, jw);
            int order = int(jw), one = 1, last = int(ns);
            orthes(&order, &order, &one, &last, ws.t, ws.ort);
            ortran(&order, &order, &one, &last, ws.t, ws.ort, ws.q);
            times_on_right(v, 1, jw, 1, ws.q, jw, ns, ws.w);
        }
        if (kwtop > ktop)
            h(kwtop, kwtop - 1) = s * v(1, 1);
        for (idx j = 1; j <= jw; ++j)
            for (idx i = 1; i <= std::min(j + 1, jw); ++i)
                h(kwtop + i - 1, kwtop + j - 1) = t(i, j);
        times_on_right(h, full ? 1 : ktop, kwtop - 1, kwtop, ws.v, jw, jw, ws.w);
        if (full) {
            transpose_on_left(h, kwtop, kbot + 1, pr.n, ws.v, jw, jw, ws.w);
            times_on_right(pr.z, pr.iloz, pr.ihiz, kwtop, ws.v, jw, jw, ws.w);
        }
        for (idx i = kbot; i >= kwtop + ns;) {
            if (i > kwtop + ns && h(i, i - 1) != 0.0) {
                settle_pair<Kind>(pr, i);
                i -= 2;
            } else {
                pr.wr(i) = h(i, i);
                pr.wi(i) = 0.0;
                i -= 1;
            }
        }
    }
    return {ns - unfound, jw - ns};
}

// ---- the sweep ----

// One sweep of ns shifts (sr, si: conjugate pairs or pairs of real ones)
// over ktop..kbot: ns/2 bulges, 3 rows apart, are brought in at the top
// one after another and chased down together, the lowest first at each
// step. The chain passes through windows of 6·(ns/2) - 3 rows; within one
// only the rows and columns near the diagonal are updated as the
// reflections come, and they are gathered in u, which then brings the
// rows above, the columns right of it and z up to date by products.
template <real_qr Kind>
void sweep(const real_qr_problem& pr, idx ktop, idx kbot, idx nshifts, double* sr, double* si, const workspace& ws,
           double smlnum)
{
    constexpr bool full = Kind != real_qr::values;
    const matrix h = pr.h;
    idx ns = nshifts - nshifts % 2;
    if (ns < 2 || ktop >= kbot)
        return;
    // Shifts in pairs of real ones or conjugate ones.
    for (idx i = 0; i + 2 < ns; i += 2)
        if (si[i] != -si[i + 1]) {
            std::swap(sr[i], sr[i + 1]);
            std::swap(sr[i + 1], sr[i + 2]);
            std::swap(si[i], si[i + 1]);
            std::swap(si[i + 1], si[i + 2]);
        }
    const idx nbmps = ns / 2, kdu = 6 * nbmps - 3;
    const matrix u = view(ws.u, int(kdu));
    const idx last_col = full ? pr.n : kbot, first_row = full ? 1 : ktop;

    for (idx incol = 3 * (1 - nbmps) + ktop - 1; incol <= kbot - 2; incol += 3 * nbmps - 2) {
        const idx ndcol = incol + kdu;
        for (idx j = 1; j <= kdu; ++j)
            for (idx i = 1; i <= kdu; ++i)
                u(i, j) = i == j ? 1.0 : 0.0;
        const idx jtop = std::max(ktop, incol), jbot = std::min(ndcol, kbot);
        const idx k1 = std::max<idx>(1, ktop - incol);
        auto gather = [&](const reflection& f, idx k, int len) {
            const idx kms = k - incol;
            for (idx i = k1; i <= kdu; ++i) {
                double s = u(i, kms + 1) + f.u2 * u(i, kms + 2);
                if (len == 3)
                    s += f.u3 * u(i, kms + 3);
                s *= f.tau;
                u(i, kms + 1) -= s;
                u(i, kms + 2) -= s * f.u2;
                if (len == 3)
                    u(i, kms + 3) -= s * f.u3;
            }
        };
        for (idx krcol = incol; krcol <= std::min(incol + 3 * nbmps - 3, kbot - 2); ++krcol) {
            const idx mtop = std::max<idx>(1, ((ktop - 1) - krcol + 2) / 3 + 1);
            const idx mbot = std::min(nbmps, (kbot - krcol) / 3);
            const idx m22 = mbot + 1;
            const bool bmp22 = mbot < nbmps && krcol + 3 * (m22 - 1) == kbot - 2;
            if (bmp22) {
                // The lowest bulge has two rows left.
                const idx k = kbot - 2;
                double vv[3];
                if (k == ktop - 1) {
                    first_column(h, k + 1, 2, sr[2 * m22 - 2], si[2 * m22 - 2], sr[2 * m22 - 1], si[2 * m22 - 1], vv);
                } else {
                    vv[0] = h(k + 1, k);
                    vv[1] = h(k + 2, k);
                }
                const reflection f = reflection_of(vv, 2);
                if (k >= ktop) {
                    h(k + 1, k) = vv[0];
                    h(k + 2, k) = 0.0;
                }
                reflect_rows<2>(h, f, k + 1, std::max(k + 1, ktop), jbot);
                reflect_columns<2>(h, f, k + 1, jtop, kbot);
                gather(f, k, 2);
                if (k >= ktop && h(k + 1, k) != 0.0 && negligible_behind_bulge(h, k, ktop, kbot, smlnum))
                    h(k + 1, k) = 0.0;
            }
            for (idx m = mbot; m >= mtop; --m) {
                const idx k = krcol + 3 * (m - 1);
                double vv[3];
                reflection f;
                if (k == ktop - 1) {
                    first_column(h, ktop, 3, sr[2 * m - 2], si[2 * m - 2], sr[2 * m - 1], si[2 * m - 1], vv);
                    f = reflection_of(vv, 3);
                } else {
                    vv[0] = h(k + 1, k);
                    vv[1] = h(k + 2, k);
                    vv[2] = h(k + 3, k);
                    f = reflection_of(vv, 3);
                    const double beta = vv[0];
                    if (h(k + 3, k) != 0.0 || h(k + 3, k + 1) != 0.0 || h(k + 3, k + 2) == 0.0) {
                        h(k + 1, k) = beta;
                    } else {
                        // The bulge has collapsed: start a new one here if
                        // that adds only negligible fill, else go on with
                        // the old reflection.
                        double vt[3];
                        first_column(h, k + 1, 3, sr[2 * m - 2], si[2 * m - 2], sr[2 * m - 1], si[2 * m - 1], vt);
                        const reflection g = reflection_of(vt, 3);
                        const double refsum = g.tau * (h(k + 1, k) + g.u2 * h(k + 2, k));
                        if (std::fabs(h(k + 2, k) - refsum * g.u2) + std::fabs(refsum * g.u3) >
                            ulp * (std::fabs(h(k, k)) + std::fabs(h(k + 1, k + 1)) + std::fabs(h(k + 2, k + 2)))) {
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
                gather(f, k, 3);
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
        const double* uw = &u(k1, k1);
        transpose_on_left(h, wtop, jbot + 1, last_col, uw, kdu, nu, ws.w);
        times_on_right(h, first_row, jtop - 1, wtop, uw, kdu, nu, ws.w);
        if (full)
            times_on_right(pr.z, pr.iloz, pr.ihiz, wtop, uw, kdu, nu, ws.w);
    }
}

// ---- the iteration ----

template <real_qr Kind>
int multishift_on(const real_qr_problem& pr, idx ilo, idx ihi, const workspace& ws)
{
    const matrix h = pr.h;
    const vector wr = pr.wr, wi = pr.wi;
    const idx n = pr.n;
    if (ihi - ilo + 1 <= multishift_order)
        return double_shift_qr<Kind>(pr, ilo, ihi);
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
            if (!std::isfinite(h(k, k)) || (k > ilo && !std::isfinite(h(k, k - 1))))
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
                if (std::fabs(h(kwtop, kwtop - 1)) > std::fabs(h(kwtop - 1, kwtop - 2)))
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

        const deflation d = deflate_early<Kind>(pr, ktop, kbot, nw, ws, smlnum);
        if (!d.finite)
            return int(kbot);
        kbot -= d.found;
        idx ks = kbot - d.shifts + 1;

        if (d.found == 0 || (100 * d.found <= nw * nibble && kbot - ktop + 1 > std::min(multishift_order, nwmax))) {
            idx ns = std::min({nsmax, nsr, std::max<idx>(2, kbot - ktop)});
            ns -= ns % 2;
            if (ndfl % exceptional_every == 0) {
                ks = kbot - ns + 1;
                for (idx i = kbot; i >= std::max(ks + 1, ktop + 2); i -= 2) {
                    const double ss = std::fabs(h(i, i - 1)) + std::fabs(h(i - 1, i - 2));
                    const double aa = 0.75 * ss + h(i, i);
                    wr(i - 1) = aa;
                    wr(i) = aa;
                    wi(i - 1) = std::sqrt(0.4375) * ss;
                    wi(i) = -wi(i - 1);
                }
                if (ks == ktop) {
                    wr(ks + 1) = h(ks + 1, ks + 1);
                    wi(ks + 1) = 0.0;
                    wr(ks) = wr(ks + 1);
                    wi(ks) = wi(ks + 1);
                }
            } else {
                if (kbot - ks + 1 <= ns / 2) {
                    // Too few from the window: the eigenvalues of the
                    // trailing block of order ns.
                    ks = kbot - ns + 1;
                    const matrix s = view(ws.s, int(ns));
                    for (idx j = 1; j <= ns; ++j)
                        for (idx i = 1; i <= ns; ++i)
                            s(i, j) = i <= j + 1 ? h(ks + i - 1, ks + j - 1) : 0.0;
                    const real_qr_problem trailing{s, s, vector{&wr(ks)}, vector{&wi(ks)}, ns, 1, ns};
                    ks += double_shift_qr<real_qr::values>(trailing, 1, ns);
                    if (ks >= kbot) {
                        const matrix b = view(ws.s, 2);
                        b(1, 1) = h(kbot - 1, kbot - 1);
                        b(2, 1) = h(kbot, kbot - 1);
                        b(1, 2) = h(kbot - 1, kbot);
                        b(2, 2) = h(kbot, kbot);
                        const real_qr_problem last{b, b, vector{&wr(kbot - 1)}, vector{&wi(kbot - 1)}, 2, 1, 2};
                        settle_pair<real_qr::values>(last, 2);
                        ks = kbot - 1;
                    }
                }
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
                for (idx i = kbot; i >= ks + 2; i -= 2)
                    if (wi(i) != -wi(i - 1)) {
                        std::swap(wr(i), wr(i - 1));
                        std::swap(wr(i - 1), wr(i - 2));
                        std::swap(wi(i), wi(i - 1));
                        std::swap(wi(i - 1), wi(i - 2));
                    }
            }
            if (kbot - ks + 1 == 2 && wi(kbot) == 0.0) {
                // Two real shifts: the one nearer h(kbot, kbot) twice.
                if (std::fabs(wr(kbot) - h(kbot, kbot)) < std::fabs(wr(kbot - 1) - h(kbot, kbot)))
                    wr(kbot - 1) = wr(kbot);
                else
                    wr(kbot) = wr(kbot - 1);
            }
            ns = std::min(ns, kbot - ks + 1);
            ns -= ns % 2;
            ks = kbot - ns + 1;
            sweep<Kind>(pr, ktop, kbot, ns, &wr(ks), &wi(ks), ws, smlnum);
        }
        ndfl = d.found > 0 ? 1 : ndfl + 1;
    }
    return int(kbot);
}

} // namespace

int real_qr_work_size(int n)
{
    return int(carve(std::max(n, 1), nullptr).size);
}

template <real_qr Kind>
int multishift_qr(const real_qr_problem& p, std::ptrdiff_t ilo, std::ptrdiff_t ihi, double* work)
{
    // Thin products: one BLAS thread.
    const blas_single_thread serial;
    return multishift_on<Kind>(p, ilo, ihi, carve(p.n, work));
}

template int multishift_qr<real_qr::values>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t, double*);
template int multishift_qr<real_qr::vectors>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t, double*);
template int multishift_qr<real_qr::schur>(const real_qr_problem&, std::ptrdiff_t, std::ptrdiff_t, double*);
