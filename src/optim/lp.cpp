// lp: the linear-programming language function over LpSolver, its argument
// checks and defaults, the multipliers brought back to the caller's rows,
// and the status messages.
#include "engine/scalar_real.hpp"
#include "optim/lp_solver.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/host.h"
#include "velkor/optim.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <cmath>
#include <vector>

const char* lp_status_message(int status, int display)
{
    static const char* const printed[] = {"Optimal solution\n", "Infeasible problem\n", "Unbounded problem\n",
                                          "Too many iterations\n", "A is singular\n", "Inconsistent initial\n",
                                          "Inconsistent A\n", "File not found\n", "MPS error\n"};
    const char* text = nullptr;
    if (status <= 0)
        text = "LP internal error\n";
    else if (status <= 9)
        text = printed[status - 1];
    if (text && display >= 0)
        qv_printf("%s", text);
    switch (status) {
    case 1: return "ok";
    case 2: return "infeasible";
    case 3: return "unbounded";
    default: return nullptr;
    }
}

namespace {

Mm status_text(const char* s) { return s ? TM(s) : Mm(); }

// The first element truncated with saturation; NaN and empty give 0.
int first_int(const Mm& v)
{
    Mm d = mdouble(full(v));
    if (d.size() < 1)
        return 0;
    const double x = d.addr()[0];
    return x == x ? saturate_to_int(x) : 0;
}

std::vector<double> column_of(const Mm& v)
{
    Mm d = mdouble(full(v));
    const int n = d.size();
    return std::vector<double>(d.addr(), d.addr() + n);
}

Mm matrix_form(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& neq, const Mm& display,
               Mm* x, Mm* lambda, Mm* how)
{
    // The solver works on real numbers: the imaginary parts were dropped
    // without a word, and the answer was that of another problem.
    for (const Mm* v : {&c, &A, &b, &lb, &ub})
        if (iscomplex(*v)) {
            error("lp: c, A, b, lb and ub must be real");
            return x_M;
        }
    std::vector<double> cv = column_of(c), bv = column_of(b), lv = column_of(lb), uv = column_of(ub);
    const int m = A.rows(), n = A.cols();
    // The non-zeros of A by columns, straight from its storage: a sparse
    // double A is read where it lies (a converted copy would be full, m-by-n
    // however few its non-zeros); other kinds are converted first.
    const bool stored_sparse = A.issparse() && A.gettype() == qv_double;
    const Mm Ad = stored_sparse ? A : mdouble(A);
    // A refused allocation has been reported already; the host may have
    // gone on, so nothing is read from or written to a block that is not
    // there.
    if (Ad.rows() != m || Ad.cols() != n)
        return x_M;
    std::vector<int> ri, ci;
    std::vector<double> vals;
    bool finite_A = true;
    {
        const double* re = Ad.addr();
        const int* positions = Ad.issparse() ? Ad.getindex() : nullptr;
        const int stored = Ad.issparse() ? Ad.getnnz() : Ad.size();
        for (int e = 0; e < stored; ++e) {
            if (re[e] == 0)
                continue;
            if (!std::isfinite(re[e]))
                finite_A = false;
            const int at = positions ? positions[e] : e;
            ri.push_back(at % m + 1);
            ci.push_back(at / m + 1);
            vals.push_back(re[e]);
        }
    }
    const int nnz = static_cast<int>(vals.size());
    double scale = 1;
    if (nnz > 0) {
        for (int k = 0; k < nnz; ++k)
            scale = std::max(scale, std::fabs(vals[k]));
        for (double v : bv)
            scale = std::max(scale, std::fabs(v));
    }
    if (static_cast<int>(bv.size()) != m) {
        error("lp: A and b must have same number of rows");
        return x_M;
    }
    if (static_cast<int>(cv.size()) != n) {
        error("lp: number of rows in C must be same as number of columns in A");
        return x_M;
    }
    // Data that is not a number has no optimum to report: left to the
    // iterations it ends in a verdict as arbitrary as its NaN comparisons.
    auto all_finite = [](const std::vector<double>& v) {
        return std::all_of(v.begin(), v.end(), [](double t) { return std::isfinite(t); });
    };
    auto no_nan = [](const std::vector<double>& v) {
        return std::none_of(v.begin(), v.end(), [](double t) { return std::isnan(t); });
    };
    if (!all_finite(cv)) {
        error("lp: c must be finite");
        return x_M;
    }
    if (!finite_A) {
        error("lp: A must be finite");
        return x_M;
    }
    if (!all_finite(bv)) {
        error("lp: b must be finite");
        return x_M;
    }
    // Bounds beyond the n-th are ignored, NaN or not.
    lv.resize(n, -1e20);
    uv.resize(n, 1e20);
    if (!no_nan(lv) || !no_nan(uv)) {
        error("lp: lb and ub must not hold NaN");
        return x_M;
    }
    std::vector<double> triplets(3 * static_cast<std::size_t>(nnz));
    for (int k = 0; k < nnz; ++k) {
        triplets[k] = ri[k];
        triplets[nnz + k] = ci[k];
        triplets[2 * nnz + k] = vals[k] / scale;
    }
    if (nnz > 0)
        for (double& v : bv)
            v /= scale;
    int ne = first_int(neq);
    if (ne < 0 || ne > m)
        ne = 0;
    std::vector<int> kinds(m, 1);
    for (int i = 0; i < ne; ++i)
        kinds[i] = 0;
    LpSolver solver;
    solver.load_triplets(nnz, m, n, m - ne, ne, 0, triplets.data(), bv.data(), kinds.data(), cv.data(), lv.data(),
                         uv.data());
    const char* text = lp_status_message(solver.status, first_int(display));
    Mm xr = zeros(Mm(double(n)), Mm(1.0)), lr;
    if (xr.size() != n) {
        solver.release();
        return x_M;
    }
    if (solver.status == 1) {
        for (int j = 0; j < n; ++j)
            xr.addr()[j] = solver.x()[j];
        lr = zeros(Mm(double(m)), Mm(1.0));
        if (lr.size() != m) {
            solver.release();
            return x_M;
        }
        // The solver's multipliers belong to the rows divided by scale.
        for (int i = 0; i < m; ++i)
            lr.addr()[i] = solver.y()[i] / scale;
    } else {
        for (int j = 0; j < n; ++j)
            xr.addr()[j] = NAN;
        lr = nop_M;
    }
    solver.release();
    if (x)
        *x = xr;
    if (lambda)
        *lambda = lr;
    if (how)
        *how = status_text(text);
    return xr;
}

Mm mps_form(const Mm& name, Mm* x, Mm* lambda)
{
    if (!isstr(name)) {
        error_input("lp", 1);
        return x_M;
    }
    char path[512];
    Mstr(name, path, sizeof path);
    LpSolver solver;
    solver.load_mps(path);
    lp_status_message(solver.status, 0);
    if (solver.status == 1) {
        const int n = solver.loaded_cols(), m = solver.loaded_rows();
        Mm xr = zeros(Mm(double(n)), Mm(1.0)), lr = zeros(Mm(double(m)), Mm(1.0));
        if (xr.size() != n || lr.size() != m) {
            solver.release();
            return x_M;
        }
        for (int j = 0; j < n; ++j)
            xr.addr()[j] = solver.x()[j];
        for (int i = 0; i < m; ++i)
            lr.addr()[i] = solver.y()[i];
        *x = xr;
        if (lambda)
            *lambda = lr;
    }
    solver.release();
    return *x;
}

} // namespace

Mm lp(const Mm& name)
{
    Mm x;
    return mps_form(name, &x, nullptr);
}
Mm lp(const Mm& name, i_o_t, Mm& x, Mm& lambda)
{
    mps_form(name, &x, &lambda);
    return x_M;
}
Mm lp(const Mm&, i_o_t, Mm&, Mm&, Mm&) { return Mm(error_input("lp", 1)); }
Mm lp(const Mm&, const Mm&) { return Mm(error_input("lp", 2)); }
Mm lp(const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("lp", 2)); }
Mm lp(const Mm&, const Mm&, i_o_t, Mm&, Mm&, Mm&) { return Mm(error_input("lp", 2)); }

Mm lp(const Mm& c, const Mm& A, const Mm& b) { return lp(c, A, b, nop_M, nop_M, nop_M, zero_M, zero_M); }
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb) { return lp(c, A, b, lb, nop_M, nop_M, zero_M, zero_M); }
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub)
{
    return lp(c, A, b, lb, ub, nop_M, zero_M, zero_M);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0)
{
    return lp(c, A, b, lb, ub, x0, zero_M, zero_M);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq)
{
    return lp(c, A, b, lb, ub, x0, neq, zero_M);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm&, const Mm& neq,
      const Mm& display)
{
    return matrix_form(c, A, b, lb, ub, neq, display, nullptr, nullptr, nullptr);
}

Mm lp(const Mm& c, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda)
{
    return lp(c, A, b, nop_M, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, i_o_t, Mm& x, Mm& lambda)
{
    return lp(c, A, b, lb, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, i_o_t, Mm& x, Mm& lambda)
{
    return lp(c, A, b, lb, ub, nop_M, zero_M, zero_M, i_o, x, lambda);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, i_o_t, Mm& x, Mm& lambda)
{
    return lp(c, A, b, lb, ub, x0, zero_M, zero_M, i_o, x, lambda);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq, i_o_t, Mm& x,
      Mm& lambda)
{
    return lp(c, A, b, lb, ub, x0, neq, zero_M, i_o, x, lambda);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm&, const Mm& neq,
      const Mm& display, i_o_t, Mm& x, Mm& lambda)
{
    matrix_form(c, A, b, lb, ub, neq, display, &x, &lambda, nullptr);
    return x_M;
}

Mm lp(const Mm& c, const Mm& A, const Mm& b, i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return lp(c, A, b, nop_M, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return lp(c, A, b, lb, nop_M, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    return lp(c, A, b, lb, ub, nop_M, zero_M, zero_M, i_o, x, lambda, how);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, i_o_t, Mm& x, Mm& lambda,
      Mm& how)
{
    return lp(c, A, b, lb, ub, x0, zero_M, zero_M, i_o, x, lambda, how);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm& x0, const Mm& neq, i_o_t, Mm& x,
      Mm& lambda, Mm& how)
{
    return lp(c, A, b, lb, ub, x0, neq, zero_M, i_o, x, lambda, how);
}
Mm lp(const Mm& c, const Mm& A, const Mm& b, const Mm& lb, const Mm& ub, const Mm&, const Mm& neq,
      const Mm& display, i_o_t, Mm& x, Mm& lambda, Mm& how)
{
    matrix_form(c, A, b, lb, ub, neq, display, &x, &lambda, &how);
    return x_M;
}

Mm lp(const Mm& c, const Mm& A, const Mm& b, Mm& x, Mm& lambda) { return lp(c, A, b, i_o, x, lambda); }
Mm lp(const Mm& c, const Mm& A, const Mm& b, Mm& x, Mm& lambda, Mm& how) { return lp(c, A, b, i_o, x, lambda, how); }
