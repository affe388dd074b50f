// The search direction of the LP solver: the normal equations A Theta A'
// factorised as L D L', their solves, and Mehrotra's predictor-corrector
// with Gondzio's centrality corrections.
#include "optim/lp_ipm.hpp"

#include "linalg/lapack.hpp"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

constexpr double sigma = -1.0;
constexpr double theta_step = 0.99995;

// A pivot is dropped when it is not positive, when it is at the rounding
// level of its row's diagonal, or when it is both tiny and small against
// that diagonal; its component of every solve is then 0.
bool drop_pivot(double d, double diagonal)
{
    return !(d > 0) || !(d > 1e-15 * diagonal) || (d < 1e-12 && d < 1e-6 * diagonal);
}

} // namespace

bool LpNormalMatrix::factor(const LpIterate& it, const double* theta, bool mark_dependent)
{
    const int m = it.m;
    try {
        m_ = m;
        l_.assign(static_cast<std::size_t>(m) * m, 0.0);
        d_.assign(m, 0.0);
        dropped_.assign(m, 0);
        if (mark_dependent) {
            dependent_.assign(m, 0);
            dependent_count_ = 0;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    double* a = l_.data();
    const std::size_t ld = m;
    // M = A Theta A' (lower triangle) from the columns of A.
    for (int j = 0; j < it.n; ++j) {
        const int p0 = it.colptr[j], p1 = it.colptr[j + 1];
        const double t = theta[j];
        for (int p = p0; p < p1; ++p) {
            const int i = it.rowidx[p];
            const double ai = it.val[p] * t;
            for (int q = p0; q < p1; ++q) {
                const int k = it.rowidx[q];
                if (k >= i)
                    a[i * ld + k] += ai * it.val[q];
            }
        }
    }
    std::vector<double> diag(m);
    for (int k = 0; k < m; ++k)
        diag[k] = a[k * ld + k];
    // Right-looking L D L' by panels; the trailing update through dgemm.
    const int nb = 64;
    try {
        work_.assign(static_cast<std::size_t>(m) * nb, 0.0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int k0 = 0; k0 < m; k0 += nb) {
        const int k1 = std::min(m, k0 + nb);
        for (int k = k0; k < k1; ++k) {
            double* colk = a + k * ld;
            double dk = colk[k];
            bool drop = false;
            if (mark_dependent) {
                if (std::fabs(dk) < 1e-10) {
                    dependent_[k] = 1;
                    ++dependent_count_;
                    drop = true;
                }
            } else if (drop_pivot(dk, diag[k])) {
                drop = true;
            }
            if (drop) {
                dropped_[k] = 1;
                d_[k] = 0;
                for (int i = k + 1; i < m; ++i)
                    colk[i] = 0;
                colk[k] = 1;
                continue;
            }
            d_[k] = dk;
            colk[k] = 1;
            const double rd = 1.0 / dk;
            for (int i = k + 1; i < m; ++i)
                colk[i] *= rd;
            // Update the rest of the panel.
            for (int j = k + 1; j < k1; ++j) {
                const double f = colk[j] * dk;
                if (f == 0)
                    continue;
                double* colj = a + j * ld;
                for (int i = j; i < m; ++i)
                    colj[i] -= colk[i] * f;
            }
        }
        if (k1 < m) {
            const int rows = m - k1, kb = k1 - k0;
            // W = L21 D1, trailing A22 -= W L21'.
            for (int k = k0; k < k1; ++k) {
                const double* colk = a + k * ld;
                double* wk = work_.data() + static_cast<std::size_t>(k - k0) * rows;
                for (int i = 0; i < rows; ++i)
                    wk[i] = colk[k1 + i] * d_[k];
            }
            const double minus_one = -1.0, one = 1.0;
            const int ldi = m;
            dgemm_("N", "T", &rows, &rows, &kb, &minus_one, work_.data(), &rows, a + k0 * ld + k1, &ldi, &one,
                   a + k1 * ld + k1, &ldi, 1, 1);
        }
    }
    return true;
}

void LpNormalMatrix::solve(double* v) const
{
    const int m = m_;
    const double* a = l_.data();
    const std::size_t ld = m;
    for (int k = 0; k < m; ++k) {
        const double vk = v[k];
        if (vk == 0 || dropped_[k])
            continue;
        const double* colk = a + k * ld;
        for (int i = k + 1; i < m; ++i)
            v[i] -= colk[i] * vk;
    }
    for (int k = 0; k < m; ++k)
        v[k] = dropped_[k] ? 0.0 : v[k] / d_[k];
    for (int k = m - 1; k >= 0; --k) {
        if (dropped_[k]) {
            v[k] = 0;
            continue;
        }
        const double* colk = a + k * ld;
        double acc = v[k];
        for (int i = k + 1; i < m; ++i)
            acc -= colk[i] * v[i];
        v[k] = acc;
    }
}

void lp_step_lengths(const LpIterate& it, const double* dx, const double* dw, const double* dz, const double* ds,
                     double& alpha_p, double& alpha_d)
{
    double ap = 1e20, ad = 1e20;
    for (int j = 0; j < it.n; ++j) {
        if (dx[j] < 0)
            ap = std::min(ap, -it.x[j] / dx[j]);
        if (dz[j] < 0)
            ad = std::min(ad, -it.z[j] / dz[j]);
        if (it.bounded[j]) {
            if (dw[j] < 0)
                ap = std::min(ap, -it.w[j] / dw[j]);
            if (ds[j] < 0)
                ad = std::min(ad, -it.s[j] / ds[j]);
        }
    }
    alpha_p = std::min(1.0, ap);
    alpha_d = std::min(1.0, ad);
}

namespace {

// One solve of the Newton system for the given residuals and complementarity
// right-hand sides hx (x dz + z dx = hx) and hw (w ds + s dw = hw).
struct Solver {
    LpIterate& it;
    LpNormalMatrix& nm;
    const std::vector<double>& theta;
    std::vector<double> t, rhs, target, u;

    // rhs = target - A Theta A' v.
    void residual(const double* v)
    {
        const int m = it.m, n = it.n;
        u.resize(n);
        for (int j = 0; j < n; ++j) {
            double a = 0;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                a += it.val[p] * v[it.rowidx[p]];
            u[j] = theta[j] * a;
        }
        rhs.assign(target.begin(), target.end());
        for (int j = 0; j < n; ++j)
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                rhs[it.rowidx[p]] -= it.val[p] * u[j];
        (void)m;
    }

    void run(const double* rb, const double* ru, const double* rc, const double* hx, const double* hw, double* dx,
             double* dw, double* dy, double* dz, double* ds)
    {
        const int m = it.m, n = it.n;
        t.resize(n);
        rhs.assign(m, 0.0);
        for (int j = 0; j < n; ++j) {
            double tj = rc[j] + hx[j] / it.x[j];
            if (it.bounded[j])
                tj += -hw[j] / it.w[j] + it.s[j] / it.w[j] * ru[j];
            t[j] = tj;
            const double f = theta[j] * tj;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                rhs[it.rowidx[p]] += it.val[p] * f;
        }
        for (int i = 0; i < m; ++i)
            rhs[i] -= rb[i];
        target.assign(rhs.begin(), rhs.end());
        nm.solve(rhs.data());
        for (int i = 0; i < m; ++i)
            dy[i] = rhs[i];
        // Refinement: while the normal equations' residual is above 1e-8
        // relative and still falling, solve for a correction (3 rounds at
        // most).
        double previous = 0;
        for (int round = 0; round < 3; ++round) {
            residual(dy);
            double norm = 0;
            for (int i = 0; i < m; ++i)
                norm += std::fabs(rhs[i]);
            norm /= 1 + it.sum_b;
            if (norm <= 1e-8 || (round > 0 && !(norm < 0.9 * previous)))
                break;
            previous = norm;
            nm.solve(rhs.data());
            for (int i = 0; i < m; ++i)
                dy[i] += rhs[i];
        }
        for (int j = 0; j < n; ++j) {
            double aty = 0;
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                aty += it.val[p] * dy[it.rowidx[p]];
            dx[j] = theta[j] * (t[j] - aty);
            dz[j] = (hx[j] - it.z[j] * dx[j]) / it.x[j];
            if (it.bounded[j]) {
                dw[j] = ru[j] - dx[j];
                ds[j] = (hw[j] - it.s[j] * dw[j]) / it.w[j];
            } else {
                dw[j] = 0;
                ds[j] = 0;
            }
        }
    }
};

int corrections_from_counts(int m)
{
    // Column counts of the dense factor: m - k below the diagonal.
    double sq = 0, sum = 0;
    for (int k = 1; k < m; ++k) {
        double ck = m - k;
        sq += ck * ck;
        sum += ck;
    }
    double r = sq / (2 * sum + 12.0 * m);
    static const double limits[] = {10, 30, 50, 100, 150, 200, 250, 300, 350, 400};
    int k = 0;
    while (k < 10 && !(r < limits[k]))
        ++k;
    return k;
}

} // namespace

bool lp_direction(LpIterate& it, LpNormalMatrix& nm)
{
    const int m = it.m, n = it.n;
    if (it.corrections < 0) {
        it.column_max.assign(n, 0.0);
        for (int j = 0; j < n; ++j)
            for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                it.column_max[j] = std::max(it.column_max[j], std::fabs(it.val[p]));
        it.corrections = corrections_from_counts(m);
    }
    const double P = it.primal, D = it.dual;
    // Safeguard: keep the products and the iterates away from zero.
    double xz = 0;
    for (int j = 0; j < n; ++j)
        xz += it.x[j] * it.z[j];
    double dc = std::max(1e-5 * xz / n, 1e-6 * std::fabs(D - P) / n);
    if (it.iteration == 1 || dc > 10)
        dc = 10;
    double dxs = 1e-5 * std::fabs(D - P) / (std::fabs(P) + std::fabs(D) + 1);
    if (std::fabs(P) + std::fabs(D) <= 100)
        dxs *= 0.1;
    if (std::fabs(P) + std::fabs(D) <= 10)
        dxs *= 0.1;
    dxs = std::max(dxs, 1e-12);
    const double dzs = std::min(dxs, 1e-8);
    auto guard = [&](double& a, double& b, double amax) {
        if (a * b <= dc) {
            if (b < a)
                b = dc / a;
            else
                a = dc / b;
        }
        if (a <= dxs)
            a += dxs / (amax > 0 ? amax : 1.0);
        if (b <= dzs)
            b += dzs;
    };
    for (int j = 0; j < n; ++j) {
        guard(it.x[j], it.z[j], it.column_max[j]);
        if (it.bounded[j])
            guard(it.w[j], it.s[j], it.column_max[j]);
    }

    std::vector<double> theta(n);
    for (int j = 0; j < n; ++j)
        theta[j] = it.bounded[j] ? it.x[j] * it.w[j] / (it.z[j] * it.w[j] + it.s[j] * it.x[j]) : it.x[j] / it.z[j];
    if (!nm.factor(it, theta.data(), false))
        return false;

    // Residuals.
    std::vector<double> rb(it.b), ru(n, 0.0), rc(n);
    for (int j = 0; j < n; ++j) {
        double aty = 0;
        for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p) {
            rb[it.rowidx[p]] -= it.val[p] * it.x[j];
            aty += it.val[p] * it.y[it.rowidx[p]];
        }
        if (it.bounded[j])
            ru[j] = it.u[j] - it.x[j] - it.w[j];
        rc[j] = sigma * it.c[j] + it.z[j] - (it.bounded[j] ? it.s[j] : 0.0) - aty;
    }
    double g = it.gap;
    Solver solver{it, nm, theta, {}, {}, {}, {}};
    std::vector<double> hx(n), hw(n, 0.0);

    // Predictor.
    double mu0 = g / n >= 1000 ? 5e-5 * g / n : 0.0;
    for (int j = 0; j < n; ++j) {
        hx[j] = mu0 - it.x[j] * it.z[j];
        hw[j] = it.bounded[j] ? mu0 - it.w[j] * it.s[j] : 0.0;
    }
    it.dx.assign(n, 0.0);
    it.dw.assign(n, 0.0);
    it.dy.assign(m, 0.0);
    it.dz.assign(n, 0.0);
    it.ds.assign(n, 0.0);
    solver.run(rb.data(), ru.data(), rc.data(), hx.data(), hw.data(), it.dx.data(), it.dw.data(), it.dy.data(),
               it.dz.data(), it.ds.data());
    double ap, ad;
    lp_step_lengths(it, it.dx.data(), it.dw.data(), it.dz.data(), it.ds.data(), ap, ad);
    it.mu = mu0;
    if (ap == 1 && ad == 1)
        return true;

    // Mehrotra's target from the predicted gap.
    double alpha = std::min(ap, ad);
    double ga = 0, spread = 0;
    for (int j = 0; j < n; ++j) {
        ga += (it.x[j] + theta_step * ap * it.dx[j]) * (it.z[j] + theta_step * ad * it.dz[j]);
        spread += (it.dx[j] * it.dx[j] + it.dz[j] * it.dz[j]) / theta[j];
        if (it.bounded[j]) {
            ga += (it.w[j] + theta_step * ap * it.dw[j]) * (it.s[j] + theta_step * ad * it.ds[j]);
            spread += (it.dw[j] * it.dw[j] + it.ds[j] * it.ds[j]) / theta[j];
        }
    }
    double mu = ga * ga * ga / (g * g * n);
    if (mu > 1000) {
        double f = alpha >= 0.2 ? 0.1 : alpha >= 0.1 ? 0.2 : 0.333;
        mu = std::min(mu, f * ga / n);
        if (spread > 1.1 * g)
            mu /= std::max(alpha, 0.2);
    }
    if (g < 1)
        mu = g / (static_cast<double>(n) * n);
    it.mu = mu;

    // Corrector: the full system with the second-order targets.
    for (int j = 0; j < n; ++j) {
        hx[j] = mu - it.dx[j] * it.dz[j] - it.x[j] * it.z[j];
        hw[j] = it.bounded[j] ? mu - it.dw[j] * it.ds[j] - it.w[j] * it.s[j] : 0.0;
    }
    solver.run(rb.data(), ru.data(), rc.data(), hx.data(), hw.data(), it.dx.data(), it.dw.data(), it.dy.data(),
               it.dz.data(), it.ds.data());

    // Gondzio's centrality corrections.
    if (it.corrections > 0) {
        std::vector<double> cx(n), cw(n), cy(m), cz(n), cs(n), zero_m(m, 0.0), zero_n(n, 0.0);
        std::vector<double> tx(n), tw(n), sx(n), sw(n), sz(n), ss(n);
        lp_step_lengths(it, it.dx.data(), it.dw.data(), it.dz.data(), it.ds.data(), ap, ad);
        for (int k = 0; k < it.corrections; ++k) {
            const double tp = std::min(1.0, ap + 0.1), td = std::min(1.0, ad + 0.1);
            auto target = [&](double v) { return v < 0.1 * mu ? mu - v : v > 10 * mu ? -5 * mu : 0.0; };
            for (int j = 0; j < n; ++j) {
                tx[j] = target((it.x[j] + tp * it.dx[j]) * (it.z[j] + td * it.dz[j]));
                tw[j] = it.bounded[j] ? target((it.w[j] + tp * it.dw[j]) * (it.s[j] + td * it.ds[j])) : 0.0;
            }
            solver.run(zero_m.data(), zero_n.data(), zero_n.data(), tx.data(), tw.data(), cx.data(), cw.data(),
                       cy.data(), cz.data(), cs.data());
            for (int j = 0; j < n; ++j) {
                sx[j] = it.dx[j] + cx[j];
                sw[j] = it.dw[j] + cw[j];
                sz[j] = it.dz[j] + cz[j];
                ss[j] = it.ds[j] + cs[j];
            }
            double np, nd;
            lp_step_lengths(it, sx.data(), sw.data(), sz.data(), ss.data(), np, nd);
            if (!(np >= std::min(1.0, ap + 0.01) && nd >= std::min(1.0, ad + 0.01)))
                break;
            it.dx.swap(sx);
            it.dw.swap(sw);
            it.dz.swap(sz);
            it.ds.swap(ss);
            for (int i = 0; i < m; ++i)
                it.dy[i] += cy[i];
            ap = np;
            ad = nd;
            if (ap == 1 && ad == 1)
                break;
        }
    }
    return true;
}
