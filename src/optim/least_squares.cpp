// nnls and lsqnonneg on the non-negative least squares kernel, and conls
// through quadratic programming on the normal equations.
#include "optim/nnls_kernels.hpp"
#include "optim/user_function.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"

#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/optim.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct nnls_result {
    Mm x, w;
    int flag = 0;
    int iterations = 0;
};

Mm zero_column(int n)
{
    Mm v(0, 0, 0, n, 1, qv_double);
    if (allocated(v, n))
        std::fill(v.addr(), v.addr() + n, 0.0);
    return v;
}

} // namespace

namespace {

// Works on copies of A and b and starts from x = 0 (x0 is accepted and not
// used: the kernel supports only that start).
bool run_nnls_core(const Mm& A_in, const Mm& b_in, const Mm& tol_in, const Mm& x0, nnls_result& out,
                   const char* who = "nnls")
{
    (void)x0;
    const Mm A = full(mdouble(A_in)), b = full(mdouble(b_in));
    const int m = A_in.rows(), n = A_in.cols();
    if (A_in.rows() != b_in.rows()) {
        error("%s: number of rows in a and b is different", "nnls");
        return false;
    }
    // A NaN in the data turns the default tolerance and every comparison
    // of the active-set search into NaN: the run would end at once with
    // x = 0 and a flag of success.
    if (!all_finite(A) || !all_finite(b)) {
        error("%s: a and b must be finite", who);
        return false;
    }
    // The kernel works on real numbers: the imaginary parts were dropped
    // without a word, and x solved another problem.
    if (iscomplex(A_in) || iscomplex(b_in)) {
        error("%s: a and b must be real", who);
        return false;
    }
    // The default tolerance is in A's units (the rounding of A'r): it
    // belongs in the test on the dual vector only, and per column, or a
    // column of 1e-8 beside one of 1e8 never enters. The columns are
    // brought to a 1-norm in [0.5, 1) by powers of two, which changes no
    // rounding of the kernel, only what the tolerance is measured against.
    // The solution values are in x's units and are tested against 0: a
    // small positive x would otherwise be taken for zero and dropped. A
    // tolerance given by the caller stands unscaled in every sign test.
    const bool given = tol_in.size() == 1;
    double tol = 0, value_tol = 0;
    if (given) {
        tol = first_argument(tol_in);
        if (std::isnan(tol)) {
            error("%s: the tolerance must not be NaN", who);
            return false;
        }
        if (first_imaginary(tol_in) != 0) {
            error("%s: the tolerance must be real", who);
            return false;
        }
        value_tol = tol;
    }
    out.x = zero_column(n);
    out.w = zero_column(n);
    out.flag = 0;
    out.iterations = 0;
    if (!allocated(out.x, n) || !allocated(out.w, n))
        return false;
    if (m <= 0 || n <= 0)
        return true;
    Mm a, bb;
    a.deepcopy(A, qv_double);
    bb.deepcopy(b, qv_double);
    if (!allocated(a, static_cast<long long>(m) * n) || bb.size() < m)
        return false;
    scratch<double> zz(static_cast<std::size_t>(m));
    scratch<int> index(static_cast<std::size_t>(n)), exponent(static_cast<std::size_t>(n));
    std::fill(zz.get(), zz.get() + m, 0.0);
    std::fill(exponent.get(), exponent.get() + n, 0);
    if (!given) {
        double largest = 0;
        for (int j = 0; j < n; ++j) {
            double* col = a.addr() + static_cast<long long>(j) * m;
            double sum = 0;
            for (int i = 0; i < m; ++i)
                sum += std::fabs(col[i]);
            if (sum > 0 && std::isfinite(sum)) {
                std::frexp(sum, &exponent[j]);
                for (int i = 0; i < m; ++i)
                    col[i] = std::ldexp(col[i], -exponent[j]);
                sum = std::ldexp(sum, -exponent[j]);
            }
            largest = std::max(largest, sum);
        }
        tol = 10 * std::ldexp(1.0, -52) * std::max(m, n) * largest;
    }
    double rnorm = 0;
    int mode = 0, iterations = 0;
    nnls_solve(tol, value_tol, a.addr(), m, m, n, bb.addr(), out.x.addr(), rnorm, out.w.addr(), zz.get(), index.get(),
               mode, iterations);
    for (int j = 0; j < n; ++j) {
        out.x.addr()[j] = std::ldexp(out.x.addr()[j], -exponent[j]);
        out.w.addr()[j] = std::ldexp(out.w.addr()[j], exponent[j]);
    }
    out.flag = mode == 1 ? 1 : 0;
    out.iterations = iterations;
    return true;
}

} // namespace

Mm nnls_core(const Mm& A, const Mm& b, const Mm& tol, const Mm& x0, i_o_t, Mm& x, Mm& w, Mm& flag, Mm& iterations)
{
    nnls_result r;
    if (!run_nnls_core(A, b, tol, x0, r))
        return x_M;
    x = r.x;
    w = r.w;
    flag = Mm(double(r.flag));
    iterations = Mm(double(r.iterations));
    return x_M;
}

Mm nnls(const Mm& A, const Mm& b, const Mm& tol, i_o_t, Mm& x, Mm& w, Mm& flag)
{
    nnls_result r;
    if (!run_nnls_core(A, b, tol, Mm(), r))
        return x_M;
    x = r.x;
    w = r.w;
    flag = Mm(double(r.flag));
    return x_M;
}
Mm nnls(const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& w, Mm& flag) { return nnls(A, b, Mm(), i_o, x, w, flag); }
Mm nnls(const Mm& A, const Mm& b, const Mm& tol, i_o_t, Mm& x, Mm& w)
{
    Mm flag;
    return nnls(A, b, tol, i_o, x, w, flag);
}
Mm nnls(const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& w)
{
    Mm flag;
    return nnls(A, b, Mm(), i_o, x, w, flag);
}
Mm nnls(const Mm& A, const Mm& b, const Mm& tol)
{
    Mm x, w, flag;
    nnls(A, b, tol, i_o, x, w, flag);
    return x;
}
Mm nnls(const Mm& A, const Mm& b) { return nnls(A, b, Mm()); }

Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm, Mm& residual, Mm& exitflag, Mm& output, Mm& lambda)
{
    const int count = args.gettype() == qv_cell && !args.isstruct() ? args.size() : 0;
    if (count < 2 || count > 4) {
        error("%s: wrong number of arguments", "lsqnonneg");
        return x_M;
    }
    const Mm* items = args.getpr((Mm*)nullptr);
    const Mm& M = items[0];
    const Mm& v = items[1];
    const Mm x0 = count >= 3 ? items[2] : Mm();
    const Mm options = count >= 4 ? items[3] : Mm();
    const Mm tol = optimget(options, TM("TolX"), Mm());
    nnls_result r;
    if (!run_nnls_core(M, v, tol.size() == 1 ? tol : Mm(), x0, r, "lsqnonneg"))
        return x_M;
    const Mm res = full(mdouble(M)) * r.x - full(mdouble(v));
    double sum = 0;
    if (res.gettype() == qv_double)
        for (int k = 0; k < res.size(); ++k)
            sum += res.addr()[k] * res.addr()[k];
    Mm out;
    out.member("iterations") = Mm(double(r.iterations));
    x = r.x;
    resnorm = Mm(sum);
    residual = res;
    exitflag = Mm(double(r.flag));
    output = out;
    lambda = r.w;
    return x_M;
}
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm, Mm& residual, Mm& exitflag, Mm& output)
{
    Mm lambda;
    return lsqnonneg(args, i_o, x, resnorm, residual, exitflag, output, lambda);
}
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm, Mm& residual, Mm& exitflag)
{
    Mm output, lambda;
    return lsqnonneg(args, i_o, x, resnorm, residual, exitflag, output, lambda);
}
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm, Mm& residual)
{
    Mm exitflag, output, lambda;
    return lsqnonneg(args, i_o, x, resnorm, residual, exitflag, output, lambda);
}
Mm lsqnonneg(const Mm& args, i_o_t, Mm& x, Mm& resnorm)
{
    Mm residual, exitflag, output, lambda;
    return lsqnonneg(args, i_o, x, resnorm, residual, exitflag, output, lambda);
}
Mm lsqnonneg(const Mm& args)
{
    Mm x, resnorm, residual, exitflag, output, lambda;
    lsqnonneg(args, i_o, x, resnorm, residual, exitflag, output, lambda);
    return x;
}
