// Matrix equations and measures built from the decompositions: the
// Sylvester equation by Bartels–Stewart on complex Schur forms (axxbc, with
// lyap and sylv as its sign variants), the largest principal angle between
// column spaces (subspace), and the LU timing function dongarra.
#include "array/constructors.hpp"
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/int_scratch.hpp"
#include "linalg/lapack.hpp"
#include "linalg/storage.hpp"
#include "linalg/timing.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <cmath>
#include <ctime>
#include <limits>

namespace {

std::time_t system_clock_seconds()
{
    return std::time(nullptr);
}

} // namespace

timing_clock dongarra_clock = system_clock_seconds;
void (*dongarra_order_seen)(int order) = nullptr;

Mm axxbc(const Mm& A, const Mm& B, const Mm& C)
{
    if (error_square(A, "axxbc") || error_square(B, "axxbc"))
        return x_M;
    const int m = A.rows(), n = B.rows();
    if (C.rows() != m || C.cols() != n || C.getndims() > 2) {
        error("axxbc: c must be rows(a)-by-cols(b)");
        return x_M;
    }
    const bool complex = A.isc() || B.isc() || C.isc();
    if (m == 0 || n == 0)
        return nop_M;

    // Complex Schur forms: A = U·T·U', B = V·S·V', T and S triangular.
    Mm U, T, V, S;
    schur(full(A), i_o, U, T);
    rsf2csf(U, T, i_o, U, T);
    schur(full(B), i_o, V, S);
    rsf2csf(V, S, i_o, V, S);
    const Mm F = working_copy(ctranspose(U) * full(C) * V, true);
    const Mm t = working_copy(T, true), s = working_copy(S, true);
    with_storage(F, m, n, true);
    with_storage(t, m, m, true);
    with_storage(s, n, n, true);

    // Column by column: (T + S(k,k)·I)·X(:,k) = F(:,k) - X(:,1:k-1)·S(1:k-1,k).
    // The shifted T is triangular, so each column is a back substitution:
    // O(m^2) per column instead of a general factorisation. A zero on the
    // shifted diagonal (A and -B share an eigenvalue) divides by zero and
    // shows as Inf or NaN, as a solve would.
    Mm X = czeros(1, m, n);
    with_storage(X, m, n, true);
    const std::ptrdiff_t um = m;
    const double* tr = t.addr();
    const double* ti = t.addi();
    for (std::ptrdiff_t k = 0; k < n; ++k) {
        double* yr = X.addr() + k * um;
        double* yi = X.addi() + k * um;
        for (std::ptrdiff_t i = 0; i < um; ++i) {
            yr[i] = F.addr()[i + k * um];
            yi[i] = F.addi()[i + k * um];
        }
        for (std::ptrdiff_t j = 0; j < k; ++j) {
            const double sr = s.addr()[j + k * n], si = s.addi()[j + k * n];
            const double* xr = X.addr() + j * um;
            const double* xi = X.addi() + j * um;
            for (std::ptrdiff_t i = 0; i < um; ++i) {
                yr[i] -= xr[i] * sr - xi[i] * si;
                yi[i] -= xr[i] * si + xi[i] * sr;
            }
        }
        const double shift_r = s.addr()[k * (n + 1)], shift_i = s.addi()[k * (n + 1)];
        for (std::ptrdiff_t i = um - 1; i >= 0; --i) {
            complex_div(yr[i], yi[i], tr[i * (um + 1)] + shift_r, ti[i * (um + 1)] + shift_i, yr[i], yi[i]);
            const double xr = -yr[i], xi = -yi[i];
            const double* cr = tr + i * um;
            const double* ci = ti + i * um;
            for (std::ptrdiff_t r = 0; r < i; ++r) {
                yr[r] += xr * cr[r] - xi * ci[r];
                yi[r] += xr * ci[r] + xi * cr[r];
            }
        }
    }
    X = U * X * ctranspose(V);
    if (!complex)
        X = real(X);
    return X;
}

Mm axxbc(const Mm&)
{
    return Mm(error_input("axxbc", 1));
}

Mm axxbc(const Mm&, const Mm&)
{
    return Mm(error_input("axxbc", 2));
}

Mm lyap(const Mm& A, const Mm& C)
{
    return axxbc(A, transpose(A), uminus(C));
}

Mm lyap(const Mm& A, const Mm& B, const Mm& C)
{
    return axxbc(A, B, uminus(C));
}

Mm lyap(const Mm&)
{
    return Mm(error_input("lyap", 1));
}

Mm sylv(const Mm& A, const Mm& B, const Mm& C)
{
    return lyap(A, B, uminus(C));
}

Mm sylv(const Mm&)
{
    return Mm(error_input("sylv", 1));
}

Mm sylv(const Mm&, const Mm&)
{
    return Mm(error_input("sylv", 2));
}

Mm subspace(const Mm& A, const Mm& B)
{
    if (A.rows() != B.rows()) {
        error("%s: arguments must have same number of rows.", "subspace");
        return x_M;
    }
    Mm QA, RA, QB, RB;
    qr(A, Mm(0.0), i_o, QA, RA);
    qr(B, Mm(0.0), i_o, QB, RB);
    const Mm s = svd(ctranspose(QA) * QB);
    return acos(min(Mm(1.0), min(s)));
}

Mm subspace(const Mm&)
{
    return Mm(error_input("subspace", 1));
}

Mm dongarra(const Mm& n)
{
    const Mm f = full(n);
    const double x = f.size() > 0 && f.gettype() != qv_cell ? number_at(f, 0) : 0.0;
    const int k = x > 0 ? saturate_to_int(std::floor(x + 0.5)) : 0;
    if (dongarra_order_seen)
        dongarra_order_seen(k);
    Mm A = randM(double(k), double(k));
    Mm b = randM(double(k), 1.0);
    int_scratch pivots(std::size_t(k > 0 ? k : 1));
    with_storage(A, k, k, false);
    with_storage(b, k, 1, false);

    // Start on a clock tick, then run passes for three whole seconds. A and
    // b are factored and solved in place, so from the second pass on the
    // factorisation runs on the previous factors.
    const std::time_t t0 = dongarra_clock();
    while (dongarra_clock() == t0) {
    }
    const std::time_t t1 = t0 + 1;
    long count = 0;
    while (dongarra_clock() - t1 < 3) {
        if (k > 0) {
            lapack::getrf(k, k, A.addr(), k, pivots.get());
            lapack::getrs('N', k, 1, A.addr(), k, pivots.get(), b.addr(), k);
        }
        ++count;
    }
    return Mm(count == 0 ? std::numeric_limits<double>::infinity() : 3.0 / double(count));
}
