// The first stages of the eigenvalue computation as values: balance, hess
// and schur (the real quasi-triangular form in real arithmetic, the complex
// triangular form through unitary_hess_schur, which also serves hess).
#include "linalg/kernels.hpp"
#include "linalg/scaling.hpp"
#include "linalg/storage.hpp"
#include "value/element_read.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A Schur kernel that stopped leaves no usable form: everything is NaN.
void fill_nan(Mm& x)
{
    const std::size_t count = std::size_t(x.rows()) * std::size_t(x.cols());
    for (std::size_t k = 0; k < count; ++k) {
        x.addr()[k] = std::numeric_limits<double>::quiet_NaN();
        if (x.addi())
            x.addi()[k] = std::numeric_limits<double>::quiet_NaN();
    }
}

// Zeros below subdiagonal `band` (0: below the diagonal, 1: below the first
// subdiagonal), where the kernels leave their leftovers.
void clear_below(Mm& h, int band)
{
    const std::ptrdiff_t n = h.rows();
    for (std::ptrdiff_t k = 0; k < n; ++k)
        for (std::ptrdiff_t r = k + 1 + band; r < n; ++r) {
            h.addr()[r + k * n] = 0.0;
            if (h.addi())
                h.addi()[r + k * n] = 0.0;
        }
}

// hess of real data (a complex value whose imaginary parts are all zero
// included, so that the numbers do not depend on how the data is held), by
// Householder reflections in real arithmetic: the reduction the complex
// form would make, rounded as the real kernels round. Declines (false) for
// complex or non-finite data, and for a result that overflowed, where the
// complex form's NaN is the answer.
bool real_hess(const Mm& A, Mm& H, Mm& U)
{
    int n = A.cols();
    if (A.issparse())
        return false;
    Mm h = working_copy(A, false);
    if (h.getreal(0) || !all_finite(h))
        return false;
    Mm u(0, 0, 0, n, n, qv_double);
    with_storage(u, n, n, false);
    scratch<double> ort(static_cast<std::size_t>(n)), work(static_cast<std::size_t>(hessenberg_work_size(n)));
    int low = 1, igh = n;
    orthes(&n, &n, &low, &igh, h.addr(), ort.get(), work.get());
    ortran(&n, &n, &low, &igh, h.addr(), ort.get(), u.addr(), work.get());
    if (!all_finite(h) || !all_finite(u))
        return false;
    clear_below(h, 1);
    H = h;
    U = u;
    return true;
}

} // namespace

Mm balance(const Mm& A, i_o_t, Mm& T, Mm& B)
{
    if (error_square(A, "balance")) {
        T = x_M;
        B = x_M;
        return x_M;
    }
    int n = A.rows();
    if (n == 0) {
        T = nop_M;
        B = nop_M;
        return x_M;
    }
    Mm b = working_copy(A, false);
    Mm t = zeros_of(n, n, false);
    for (int k = 0; k < n; ++k)
        t.addr()[k * (std::size_t(n) + 1)] = 1.0;
    scratch<double> scale{std::size_t(n)};
    int low = 1, igh = n;
    if (b.isc())
        cbal(&n, &n, b.addr(), b.addi(), &low, &igh, scale.get());
    else
        balanc(&n, &n, b.addr(), &low, &igh, scale.get());
    for (int j = low; j <= igh; ++j)
        t.addr()[(j - 1) * (std::size_t(n) + 1)] = scale[j - 1];
    // The permutations in the order of the back-transformation, so T is
    // that transformation applied to the identity.
    auto exchange = [&](int i) {
        const int k = static_cast<int>(scale[i - 1]);
        if (k == i)
            return;
        for (std::size_t c = 0; c < std::size_t(n); ++c)
            std::swap(t.addr()[(i - 1) + c * n], t.addr()[(k - 1) + c * n]);
    };
    for (int i = low - 1; i >= 1; --i)
        exchange(i);
    for (int i = igh + 1; i <= n; ++i)
        exchange(i);
    T = t;
    B = b;
    return x_M;
}

Mm balance(const Mm& A)
{
    Mm T, B;
    balance(A, i_o, T, B);
    return B;
}

namespace {

void unitary_hess_schur_scaled(const Mm& A, Mm& H, Mm& U, int want_hess, int want_schur_vectors);

} // namespace

void unitary_hess_schur(const Mm& A, Mm& H, Mm& U, int want_hess, int want_schur_vectors)
{
    if (A.gettype() == qv_double && !A.issparse() && A.rows() == A.cols()) {
        const int e = safe_range_exponent(A);
        if (e != 0) {
            Mm a = working_copy(A, false);
            scale_by_power_of_two(a, e);
            unitary_hess_schur_scaled(a, H, U, want_hess, want_schur_vectors);
            if (H.rows() == a.rows() && H.cols() == a.cols())
                scale_by_power_of_two(H, -e);
            return;
        }
    }
    unitary_hess_schur_scaled(A, H, U, want_hess, want_schur_vectors);
}

namespace {

void unitary_hess_schur_scaled(const Mm& A, Mm& H, Mm& U, int want_hess, int want_schur_vectors)
{
    if (error_square(A, "eig")) {
        H = x_M;
        U = x_M;
        return;
    }
    int n = A.cols();
    if (n == 0) {
        H = nop_M;
        U = nop_M;
        return;
    }
    if (want_hess && n > 2 && real_hess(A, H, U))
        return;
    Mm h = working_copy(A, true);
    Mm u = zeros_of(n, n, true);
    const std::size_t un = std::size_t(n);
    scratch<double> ortr(un), orti(un), wr(un), wi(un), work(static_cast<std::size_t>(complex_qr_work_size(n)));
    int low = 1, igh = n;
    corth(&n, &n, &low, &igh, h.addr(), h.addi(), ortr.get(), orti.get(), work.get());
    const int job = want_hess ? 3 : want_schur_vectors ? 1 : 0;
    bool failed = false;
    if (want_hess && n <= 2) {
        for (std::size_t k = 0; k < un; ++k)
            u.addr()[k * (un + 1)] = 1.0;
    } else {
        int ierr = 0;
        complex_schur_qr(&n, &n, &low, &igh, ortr.get(), orti.get(), h.addr(), h.addi(), wr.get(), wi.get(), u.addr(),
                         u.addi(), &job, &ierr, work.get());
        failed = ierr != 0;
    }
    if (failed) {
        fill_nan(h);
        fill_nan(u);
    } else
        clear_below(h, want_hess ? 1 : 0);
    h.getreal(0);
    u.getreal(0);
    H = h;
    U = u;
}

} // namespace

Mm hess(const Mm& A, i_o_t, Mm& P, Mm& H)
{
    unitary_hess_schur(A, H, P, 1, 0);
    return x_M;
}

Mm hess(const Mm& A)
{
    Mm P, H;
    hess(A, i_o, P, H);
    return H;
}

Mm schur(const Mm& A, i_o_t, Mm& U, Mm& T)
{
    int n = A.cols();
    if (n == 0) {
        U = nop_M;
        T = nop_M;
        return x_M;
    }
    if (A.isc()) {
        unitary_hess_schur(A, T, U, 0, 1);
        return x_M;
    }
    if (error_square(A, "schur")) {
        U = x_M;
        T = x_M;
        return x_M;
    }
    Mm t = working_copy(A, false);
    const int e = safe_range_exponent(t);
    scale_by_power_of_two(t, e);
    Mm u = zeros_of(n, n, false);
    const std::size_t un = std::size_t(n);
    scratch<double> wr(un), wi(un),
        work(static_cast<std::size_t>(std::max(hessenberg_work_size(n), real_qr_work_size(n))));
    int low = 1, igh = n, ierr = 0;
    orthes(&n, &n, &low, &igh, t.addr(), wr.get(), work.get());
    ortran(&n, &n, &low, &igh, t.addr(), wr.get(), u.addr(), work.get());
    real_schur_qr(&n, &n, &low, &igh, t.addr(), wr.get(), wi.get(), u.addr(), &ierr, work.get());
    if (ierr != 0) {
        fill_nan(t);
        fill_nan(u);
    } else if (n > 2)
        clear_below(t, 1);
    scale_by_power_of_two(t, -e);
    U = u;
    T = t;
    return x_M;
}

Mm schur(const Mm& A)
{
    Mm U, T;
    schur(A, i_o, U, T);
    return T;
}

Mm schur_T(const Mm& A)
{
    return schur(A);
}

Mm schur_U(const Mm& A)
{
    Mm U, T;
    schur(A, i_o, U, T);
    return U;
}
