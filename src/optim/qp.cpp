// qp: quadratic programming by an interior-point method in two phases (a
// projective phase to a strictly positive feasible point, then affine
// scaling with an adaptive proximal term), on the problem brought to
// standard form; an empty H hands the problem to lp. conls solves
// constrained least squares through it.
#include "optim/options.hpp"
#include "optim/user_function.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/host.h"
#include "velkor/linalg.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using vec = std::vector<double>;

// A dense column-major matrix of doubles.
struct dense {
    int rows = 0, cols = 0;
    vec v;
    dense() = default;
    dense(int r, int c) : rows(r), cols(c), v(static_cast<std::size_t>(r) * c, 0.0) {}
    double& operator()(int i, int j) { return v[i + static_cast<std::size_t>(j) * rows]; }
    double operator()(int i, int j) const { return v[i + static_cast<std::size_t>(j) * rows]; }
};

dense dense_of(const Mm& x)
{
    const Mm f = full(mdouble(x));
    dense d(f.rows(), f.cols());
    if (f.gettype() == qv_double && f.size() > 0)
        std::copy(f.addr(), f.addr() + f.size(), d.v.begin());
    return d;
}

vec column_of(const Mm& x)
{
    const Mm f = full(mdouble(x));
    if (f.gettype() != qv_double || f.size() == 0)
        return {};
    return vec(f.addr(), f.addr() + f.size());
}

double dot(const vec& a, const vec& b)
{
    double s = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        s += a[k] * b[k];
    return s;
}

vec times(const dense& A, const vec& x)  // A x
{
    vec y(A.rows, 0.0);
    for (int j = 0; j < A.cols; ++j)
        for (int i = 0; i < A.rows; ++i)
            y[i] += A(i, j) * x[j];
    return y;
}

vec times_transposed(const dense& A, const vec& y)  // A' y
{
    vec x(A.cols, 0.0);
    for (int j = 0; j < A.cols; ++j)
        for (int i = 0; i < A.rows; ++i)
            x[j] += A(i, j) * y[i];
    return x;
}

// Solves [T, A'; A, 0] S = R by left division; T is n x n (added to the
// block), R has n + m rows and nr columns.
dense solve_kkt(const dense& T, const dense& A, const dense& R)
{
    const int n = T.rows, m = A.rows, N = n + m;
    Mm K(0, 0, 0, N, N, qv_double), rhs(0, 0, 0, N, R.cols, qv_double);
    std::fill(K.addr(), K.addr() + static_cast<std::size_t>(N) * N, 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            *K.addr(i + 1, j + 1) = T(i, j);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
            *K.addr(n + i + 1, j + 1) = A(i, j);
            *K.addr(j + 1, n + i + 1) = A(i, j);
        }
    std::copy(R.v.begin(), R.v.end(), rhs.addr());
    const Mm S = full(mldivide(K, rhs));
    dense out(N, R.cols);
    if (S.gettype() == qv_double && S.size() == N * R.cols)
        std::copy(S.addr(), S.addr() + S.size(), out.v.begin());
    else
        std::fill(out.v.begin(), out.v.end(), NAN);
    return out;
}

double min_of(const vec& v)
{
    double m = INFINITY;
    for (double x : v)
        m = std::fmin(m, x);
    return m;
}

bool any_nan(const vec& v)
{
    return std::any_of(v.begin(), v.end(), [](double x) { return std::isnan(x); });
}

int count_of(const Mm& v)
{
    if (isempty(v))
        return 0;
    return option_int(first_argument(v));
}

enum class verdict { ok, infeasible, unique_point, seems_unbounded, unbounded };

} // namespace

Mm qp(const Mm& H_in, const Mm& f_in, const Mm& A_in, const Mm& b_in, const Mm& vlb_in, const Mm& vub_in,
      const Mm& x0, const Mm& neq_in, const Mm& verbosity_in, i_o_t, Mm& x_out, Mm& lambda_out, Mm& how_out)
{
    if (isempty(H_in)) {
        Mm x, lambda;
        lp(f_in, A_in, b_in, vlb_in, vub_in, x0, neq_in, i_o, x, lambda);
        x_out = x;
        lambda_out = lambda;
        return x_M;
    }
    const bool sparse_h = issparse(H_in) != 0;
    dense H = dense_of(H_in);
    const int nx = H.rows;
    if (H.cols != nx) {
        error_square(H_in, "qp");
        return x_M;
    }
    vec f = column_of(f_in);
    dense A = dense_of(A_in);
    if (A.rows == 0)
        A = dense(0, nx);
    vec b = column_of(b_in);
    if (static_cast<int>(f.size()) != nx || A.cols != nx || static_cast<int>(b.size()) != A.rows) {
        error("qp: the sizes of H, f, A and b do not agree");
        return x_M;
    }
    const int rows_a = A.rows;
    int neq = count_of(neq_in);
    if (neq < 0 || neq > rows_a)
        neq = 0;
    const int verbosity = count_of(verbosity_in);
    auto say = [verbosity](const char* text) {
        if (verbosity >= 0)
            qv_printf("%s", text);
    };

    double asym = 0;
    for (int j = 0; j < nx; ++j)
        for (int i = 0; i < nx; ++i)
            asym = std::fmax(asym, std::fabs(H(i, j) - H(j, i)));
    if (asym > std::ldexp(1.0, -52)) {
        warning("Q not symmetric");
        dense S(nx, nx);
        for (int j = 0; j < nx; ++j)
            for (int i = 0; i < nx; ++i)
                S(i, j) = (H(i, j) + H(j, i)) / 2;
        H = S;
    }

    // Bounds as rows; infinite ones make none. layout[k] is the row of the
    // standard problem behind entry k of lambda (-1: no row).
    const vec vlb = column_of(vlb_in), vub = column_of(vub_in);
    const int klb = std::min<int>(vlb.size(), nx), kub = std::min<int>(vub.size(), nx);
    std::vector<int> layout;
    std::vector<std::pair<int, double>> extra_rows;  // (signed variable + 1, rhs)
    for (int k = 0; k < rows_a; ++k)
        layout.push_back(k);
    for (int j = 0; j < klb; ++j) {
        if (vlb[j] == -INFINITY) {
            layout.push_back(-1);
            continue;
        }
        layout.push_back(rows_a + static_cast<int>(extra_rows.size()));
        extra_rows.push_back({-(j + 1), -vlb[j]});
    }
    for (int j = 0; j < kub; ++j) {
        if (vub[j] == INFINITY) {
            layout.push_back(-1);
            continue;
        }
        layout.push_back(rows_a + static_cast<int>(extra_rows.size()));
        extra_rows.push_back({j + 1, vub[j]});
    }
    const int m = rows_a + static_cast<int>(extra_rows.size());
    const int p = m - neq;
    const int n = 2 * nx + p;

    // Standard form: x = x+ - x-, slacks on the inequality rows.
    dense As(m, n);
    vec bs(m), fs(n, 0.0);
    dense Hs(n, n);
    for (int i = 0; i < rows_a; ++i) {
        for (int j = 0; j < nx; ++j) {
            As(i, j) = A(i, j);
            As(i, nx + j) = -A(i, j);
        }
        bs[i] = b[i];
    }
    for (std::size_t r = 0; r < extra_rows.size(); ++r) {
        const int i = rows_a + static_cast<int>(r);
        const int var = std::abs(extra_rows[r].first) - 1;
        const double sign = extra_rows[r].first < 0 ? -1.0 : 1.0;
        As(i, var) = sign;
        As(i, nx + var) = -sign;
        bs[i] = extra_rows[r].second;
    }
    for (int k = 0; k < p; ++k)
        As(neq + k, 2 * nx + k) = 1;
    for (int j = 0; j < nx; ++j) {
        fs[j] = f[j];
        fs[nx + j] = -f[j];
        for (int i = 0; i < nx; ++i) {
            Hs(i, j) = H(i, j);
            Hs(nx + i, nx + j) = H(i, j);
            Hs(i, nx + j) = -H(i, j);
            Hs(nx + i, j) = -H(i, j);
        }
    }
    auto objective = [&](const vec& x) { return 0.5 * dot(x, times(Hs, x)) + dot(fs, x); };

    // NaN data would give NaN iterates: such a problem has no solution to
    // report, and is said to be infeasible at once.
    verdict result = any_nan(Hs.v) || any_nan(fs) || any_nan(As.v) || any_nan(bs) ? verdict::infeasible : verdict::ok;
    vec x(n + 1, 1.0), N(m, 0.0);
    // Phase 1: the projective method on min xa, A x + r xa = b.
    {
        vec r = bs;
        const vec ax = times(As, vec(n, 1.0));
        for (int i = 0; i < m; ++i)
            r[i] -= ax[i];
        double z = 0, xa = 1, factor = 0.95;
        for (int it = 0; it < 100 && n > 0 && result == verdict::ok; ++it) {
            dense D(n, n), R(n + m, 2);
            for (int k = 0; k < n; ++k) {
                const double d = 1 / x[k];
                D(k, k) = d * d;
                R(k, 0) = d;
            }
            for (int i = 0; i < m; ++i)
                R(n + i, 1) = r[i];
            const dense S = solve_kkt(D, As, R);
            vec I(m), J(m);
            for (int i = 0; i < m; ++i) {
                I[i] = S(n + i, 0);
                J[i] = S(n + i, 1);
            }
            double L = 1 / (1 / (xa * xa) - dot(r, J));
            double K = (1 / xa - dot(r, I)) * L;
            for (int i = 0; i < m; ++i) {
                I[i] -= K * J[i];
                J[i] = -L * J[i];
            }
            K = dot(bs, I);
            L = dot(bs, J);
            for (int i = 0; i < m; ++i)
                I[i] /= 1 + K;
            for (int i = 0; i < m; ++i)
                J[i] -= L * I[i];
            const vec AtJ = times_transposed(As, J), AtI = times_transposed(As, I);
            vec M(n + 2), G(n + 2);
            for (int k = 0; k < n; ++k) {
                M[k] = x[k] * -AtJ[k];
                G[k] = x[k] * AtI[k];
            }
            M[n] = xa * (1 - dot(J, r));
            G[n] = xa * dot(I, r);
            M[n + 1] = L / (1 + K);
            G[n + 1] = 1 / (1 + K);
            double lowest = INFINITY;
            for (int k = 0; k < n + 2; ++k)
                lowest = std::fmin(lowest, M[k] - z * G[k]);
            if (lowest >= 0) {
                for (int i = 0; i < m; ++i)
                    N[i] = J[i] + z * I[i];
                z = dot(bs, N);
            }
            const double shift = (xa - z) / (n + 2);
            double t = -INFINITY;
            for (int k = 0; k < n + 2; ++k) {
                M[k] = M[k] - z * G[k] - shift;
                t = std::fmax(t, M[k]);
            }
            if (t == M[n])
                factor = 1;
            vec g(n + 2);
            for (int k = 0; k < n + 2; ++k)
                g[k] = 1 - (factor / t) * M[k];
            for (int k = 0; k <= n; ++k)
                x[k] = x[k] * g[k] / g[n + 1];
            xa = x[n];
            if (z > 0) {
                result = verdict::infeasible;
                break;
            }
            if (std::isnan(xa) || std::isnan(z) || any_nan(x)) {
                result = verdict::infeasible;
                break;
            }
            if (!(xa - z >= 1e-8))
                break;
        }
    }

    vec xs(x.begin(), x.begin() + n);
    double fval = 0;
    if (result == verdict::ok) {
        // An interior start: a random direction projected on the null space.
        const Mm P0 = randM(double(n), 1.0);
        dense Id(n, n), R(n + m, 1);
        for (int k = 0; k < n; ++k) {
            Id(k, k) = 1;
            R(k, 0) = P0.addr()[k];
        }
        const dense S = solve_kkt(Id, As, R);
        vec P(n);
        double tmin = INFINITY, tmax = -INFINITY;
        for (int k = 0; k < n; ++k) {
            P[k] = S(k, 0);
            tmin = std::fmin(tmin, P[k] / xs[k]);
            tmax = std::fmax(tmax, P[k] / xs[k]);
        }
        double step = 0;
        if (tmin < 0)
            step = -0.01 / tmin;
        else if (tmax == 0)
            result = verdict::unique_point;
        else
            step = 0.01 / tmax;
        if (result == verdict::ok) {
            for (int k = 0; k < n; ++k)
                xs[k] += step * P[k];
            if (any_nan(xs))
                result = verdict::infeasible;
        }
    }

    if (result == verdict::ok) {
        fval = objective(xs);
        double mu = std::max(1.0, std::fabs(fval) / std::pow(double(n), 0.25));
        const double eps = std::ldexp(1.0, -52);
        for (int it = 0; it < 100 && result == verdict::ok; ++it) {
            mu *= 0.19999999999999996;
            dense M;
            vec Hx = times(Hs, xs);
            vec grad(n);
            for (int k = 0; k < n; ++k)
                grad[k] = Hx[k] + fs[k];
            // Raise the proximal weight until the step stays inside and
            // does not increase the objective; bounded besides its own test.
            double accept = -1;
            for (int tries = 0; tries < 200; ++tries) {
                dense T = Hs, R(n + m, 1);
                for (int k = 0; k < n; ++k) {
                    T(k, k) += mu / (xs[k] * xs[k]);
                    R(k, 0) = -grad[k];
                }
                M = solve_kkt(T, As, R);
                vec y(n);
                for (int k = 0; k < n; ++k)
                    y[k] = xs[k] + M(k, 0);
                const double ymin = min_of(y);
                const double vy = objective(y);
                accept = ymin > 0 ? std::fmin(ymin, fval - vy + eps) : ymin;
                if (any_nan(M.v))
                    accept = -1;  // a singular system: try a larger weight
                mu *= 2;
                if (mu >= (std::fabs(fval) + 1) * 1e8) {
                    result = verdict::seems_unbounded;
                    break;
                }
                if (accept > 0)
                    break;
            }
            if (result != verdict::ok)
                break;
            if (!(accept > 0)) {  // the weight grew without end: no step was ever accepted
                result = verdict::seems_unbounded;
                break;
            }
            vec d(n);
            for (int k = 0; k < n; ++k)
                d[k] = M(k, 0);
            for (int i = 0; i < m; ++i)
                N[i] = -M(n + i, 0);
            double t = INFINITY;
            for (int k = 0; k < n; ++k)
                t = std::fmin(t, d[k] / xs[k]);
            double s = t < 0 ? -0.99 / t : (t == 0 ? 0.99 : INFINITY);
            const double kk = dot(d, times(Hs, d)), l = -dot(d, grad);
            if (kk > 0)
                s = std::fmin(l / kk, s);
            if (s == INFINITY) {
                result = verdict::unbounded;
                break;
            }
            for (int k = 0; k < n; ++k)
                xs[k] += s * d[k];
            const double v = objective(xs);
            if (std::isnan(v) || any_nan(xs)) {
                result = verdict::infeasible;
                break;
            }
            Hx = times(Hs, xs);
            const vec AtN = times_transposed(As, N);
            vec P(n);
            for (int k = 0; k < n; ++k)
                P[k] = Hx[k] + fs[k] - AtN[k];
            const double measure =
                min_of(P) >= 0 ? dot(xs, P) / (std::fabs(v) + 1) : (fval - v) / (std::fabs(v) + 1);
            fval = v;
            if (measure < 1e-8)
                break;
        }
    }

    if (result == verdict::ok) {
        // A point that breaks the constraints is no answer: degenerate
        // problems (a feasible set without interior) end here, not with a
        // wrong "ok".
        const vec ax = times(As, xs);
        double worst = 0, scale = 1;
        for (int i = 0; i < m; ++i) {
            worst = std::fmax(worst, std::fabs(ax[i] - bs[i]));
            scale = std::fmax(scale, std::fabs(bs[i]));
        }
        if (!(worst <= 1e-6 * scale) || any_nan(xs))
            result = verdict::infeasible;
    }
    static const char* const messages[] = {"", "The system has no feasible solution.\n",
                                           "The problem has a unique feasible point\n",
                                           "The problem seems unbounded.\n", "The problem is unbounded.\n"};
    if (result != verdict::ok) {
        say(messages[static_cast<int>(result)]);
        Mm nan_x(0, 0, 0, nx, 1, qv_double);
        if (allocated(nan_x, nx))
            std::fill(nan_x.addr(), nan_x.addr() + nx, NAN);
        x_out = nan_x;
        lambda_out = nop_M;
        how_out = TM(result == verdict::seems_unbounded || result == verdict::unbounded ? "unbounded" : "infeasible");
        return x_M;
    }
    Mm xr(0, 0, 0, nx, 1, qv_double);
    Mm lambda(0, 0, 0, static_cast<int>(layout.size()), 1, qv_double);
    if (!allocated(xr, nx) || !allocated(lambda, static_cast<long long>(layout.size())))
        return x_M;
    for (int j = 0; j < nx; ++j)
        xr.addr()[j] = xs[j] - xs[nx + j];
    for (std::size_t k = 0; k < layout.size(); ++k)
        lambda.addr()[k] = layout[k] < 0 ? 0.0 : -N[layout[k]];
    x_out = xr;
    lambda_out = sparse_h ? sparse(lambda) : lambda;
    how_out = TM("ok");
    return x_M;
}

Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      const Mm& verbosity, i_o_t, Mm& x, Mm& lambda)
{
    Mm how;
    return qp(H, f, A, b, vlb, vub, x0, neq, verbosity, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      const Mm& verbosity)
{
    Mm x, lambda, how;
    qp(H, f, A, b, vlb, vub, x0, neq, verbosity, i_o, x, lambda, how);
    return x;
}

// The shorter forms: missing vlb, vub and x0 are empty, neq and verbosity 0.
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b)
{
    return qp(H, f, A, b, nop_M, nop_M, nop_M, zero_M, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb)
{
    return qp(H, f, A, b, vlb, nop_M, nop_M, zero_M, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub)
{
    return qp(H, f, A, b, vlb, vub, nop_M, zero_M, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0)
{
    return qp(H, f, A, b, vlb, vub, x0, zero_M, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq)
{
    return qp(H, f, A, b, vlb, vub, x0, neq, zero_M);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda)
{
    return qp(H, f, A, b, nop_M, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, i_o_t, Mm& x, Mm& lambda)
{
    return qp(H, f, A, b, vlb, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda)
{
    return qp(H, f, A, b, vlb, vub, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t, Mm& x,
      Mm& lambda)
{
    return qp(H, f, A, b, vlb, vub, x0, zero_M, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      i_o_t, Mm& x, Mm& lambda)
{
    return qp(H, f, A, b, vlb, vub, x0, neq, zero_M, i_o, x, lambda);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return qp(H, f, A, b, nop_M, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return qp(H, f, A, b, vlb, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda,
      Mm& how)
{
    return qp(H, f, A, b, vlb, vub, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t, Mm& x,
      Mm& lambda, Mm& how)
{
    return qp(H, f, A, b, vlb, vub, x0, zero_M, zero_M, i_o, x, lambda, how);
}
Mm qp(const Mm& H, const Mm& f, const Mm& A, const Mm& b, const Mm& vlb, const Mm& vub, const Mm& x0, const Mm& neq,
      i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return qp(H, f, A, b, vlb, vub, x0, neq, zero_M, i_o, x, lambda, how);
}

// ---- conls: min ||A x - b||^2 under G x <= h (the first neq equalities) ----

Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0,
         const Mm& neq, i_o_t, Mm& x, Mm& lambda)
{
    const Mm At = dot_transpose(A);
    return qp(At * A, -(At * b), G, h, vlb, vub, x0, neq, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0, i_o_t,
         Mm& x, Mm& lambda)
{
    return conls(A, b, G, h, vlb, vub, x0, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, i_o_t, Mm& x, Mm& lambda)
{
    return conls(A, b, G, h, vlb, vub, nop_M, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, i_o_t, Mm& x, Mm& lambda)
{
    return conls(A, b, G, h, vlb, nop_M, nop_M, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, i_o_t, Mm& x, Mm& lambda)
{
    return conls(A, b, G, h, nop_M, nop_M, nop_M, zero_M, i_o, x, lambda);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0,
         const Mm& neq)
{
    Mm x, lambda;
    conls(A, b, G, h, vlb, vub, x0, neq, i_o, x, lambda);
    return x;
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub, const Mm& x0)
{
    return conls(A, b, G, h, vlb, vub, x0, zero_M);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb, const Mm& vub)
{
    return conls(A, b, G, h, vlb, vub, nop_M, zero_M);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h, const Mm& vlb)
{
    return conls(A, b, G, h, vlb, nop_M, nop_M, zero_M);
}
Mm conls(const Mm& A, const Mm& b, const Mm& G, const Mm& h) { return conls(A, b, G, h, nop_M, nop_M, nop_M, zero_M); }
Mm conls(const Mm&) { return Mm(error_input("conls", 1)); }
Mm conls(const Mm&, const Mm&) { return Mm(error_input("conls", 2)); }
Mm conls(const Mm&, const Mm&, const Mm&) { return Mm(error_input("conls", 3)); }
Mm conls(const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("conls", 1)); }
Mm conls(const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("conls", 2)); }
Mm conls(const Mm&, const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("conls", 3)); }
