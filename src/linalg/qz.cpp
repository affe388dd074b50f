// The generalized eigenproblem A·x = λ·B·x through the QZ kernels: eig(A,B)
// (and the unbalanced eig of A when B is a string), qzval and qz.
#include "linalg/kernels.hpp"
#include "linalg/scaling.hpp"
#include "linalg/storage.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The power of two that brings a's largest finite magnitude into [1/2, 1);
// 0 when it has no finite nonzero entry.
int unit_exponent(const Mm& a)
{
    const std::size_t count = std::size_t(a.rows()) * std::size_t(a.cols());
    double big = 0;
    for (std::size_t k = 0; k < count; ++k)
        if (std::isfinite(a.addr()[k]))
            big = std::max(big, std::fabs(a.addr()[k]));
    int e = 0;
    if (big > 0)
        std::frexp(big, &e);
    return -e;
}

} // namespace

void qz_engine(Mm A, Mm B, Mm& V, Mm& D, Mm& AA, Mm& BB, Mm& Q, Mm& Z, int want_vectors, int want_qz)
{
    if (error_square(A, "eig(a,b)") || error_square(B, "eig(a,b)"))
        return;
    int n = A.rows();
    if (B.rows() != n) {
        error("eig(a,b): matrix a and b must be of same size.");
        return;
    }
    if (error_numeric(A, "eig(a,b)") || error_numeric(B, "eig(a,b)"))
        return;
    if (A.isc() || B.isc()) {
        error("eig(a,b): complex arguments not supported.");
        return;
    }
    if (n == 0) {
        V = nop_M;
        D = nop_M;
        if (want_qz) {
            AA = nop_M;
            BB = nop_M;
            Q = nop_M;
            Z = nop_M;
        }
        return;
    }
    Mm a = working_copy(A, false), b = working_copy(B, false);
    // A pair with an entry outside the kernels' safe range, as eig judges
    // one matrix, is scaled by powers of two, each matrix to a largest
    // entry near 1 (one of them at the range's edge would still leave the
    // kernels a ratio they cannot form): a*x = l*b*x becomes
    // (2^ea a)*x = 2^(ea-eb) l*(2^eb b)*x, so the vectors are unchanged,
    // the eigenvalues scale back by 2^(eb-ea) and the reduced pair by 2^-ea
    // and 2^-eb (Q and Z are the same). Other pairs run as they are.
    int ea = 0, eb = 0;
    if (safe_range_exponent(a) != 0 || safe_range_exponent(b) != 0) {
        ea = unit_exponent(a);
        eb = unit_exponent(b);
    }
    scale_by_power_of_two(a, ea);
    scale_by_power_of_two(b, eb);
    Mm zw = zeros_of(n, n, false);
    Mm q = want_qz ? zeros_of(n, n, false) : Mm();
    double* q_p = want_qz ? q.addr() : nullptr;
    const int matz = want_vectors;
    const double eps1 = 0.0;
    int ierr = 0;
    qzhes(&n, &n, a.addr(), b.addr(), &matz, zw.addr(), q_p);
    qzit(&n, &n, a.addr(), b.addr(), &eps1, &matz, zw.addr(), &ierr, q_p);
    Mm alfa = zeros_of(n, 1, true), beta = zeros_of(n, 1, true);
    qzval_kernel(&n, &n, a.addr(), b.addr(), alfa.addr(), alfa.addi(), beta.addr(), &matz, zw.addr(), q_p);
    if (want_qz) {
        Mm aa, bb, z;
        aa = working_copy(a, false);
        bb = working_copy(b, false);
        scale_by_power_of_two(aa, -ea);
        scale_by_power_of_two(bb, -eb);
        z = working_copy(zw, false);
        AA = aa;
        BB = bb;
        Q = q;
        Z = z;
    }
    if (want_vectors) {
        qzvec(&n, &n, a.addr(), b.addr(), alfa.addr(), alfa.addi(), beta.addr(), zw.addr());
        Mm v;
        pack_eigenvectors(alfa, zw, v);
        if (ierr != 0) {
            const std::size_t count = std::size_t(n) * std::size_t(n);
            for (std::size_t k = 0; k < count; ++k) {
                v.addr()[k] = std::numeric_limits<double>::quiet_NaN();
                v.addi()[k] = std::numeric_limits<double>::quiet_NaN();
            }
        }
        v.getreal(0);
        V = v;
    }
    // The eigenvalues the iteration did not reach are not known.
    for (int k = 0; k < ierr; ++k) {
        alfa.addr()[k] = alfa.addi()[k] = std::numeric_limits<double>::quiet_NaN();
        beta.addr()[k] = std::numeric_limits<double>::quiet_NaN();
    }
    Mm d = diag(dot_div(alfa, beta));
    scale_by_power_of_two(d, eb - ea);
    d.getreal(0);
    D = d;
}

Mm eig(const Mm& A, const Mm& B)
{
    Mm V, D = x_M, AA, BB, Q, Z;
    if (isstr(B)) {
        eig_engine(A, V, D, 0, 0);
        return D;
    }
    qz_engine(A, B, V, D, AA, BB, Q, Z, 0, 0);
    return D;
}

Mm eig(const Mm& A, const Mm& B, i_o_t, Mm& V, Mm& D)
{
    if (isstr(B)) {
        eig_engine(A, V, D, 1, 0);
        return x_M;
    }
    Mm AA, BB, Q, Z;
    qz_engine(A, B, V, D, AA, BB, Q, Z, 1, 0);
    return x_M;
}

Mm qzval(const Mm& A, const Mm& B)
{
    return eig(A, B);
}

Mm qzval(const Mm&)
{
    return Mm(error_input("qzval", 1));
}

Mm qz(const Mm& A, const Mm& B, i_o_t, Mm& AA, Mm& BB, Mm& Q, Mm& Z, Mm& V)
{
    Mm D;
    qz_engine(A, B, V, D, AA, BB, Q, Z, 1, 1);
    return x_M;
}

Mm qz(const Mm& A, const Mm& B, i_o_t, Mm& AA, Mm& BB, Mm& Q, Mm& Z)
{
    Mm V;
    return qz(A, B, i_o, AA, BB, Q, Z, V);
}

Mm qz(const Mm& A, const Mm& B, i_o_t, Mm& AA, Mm& BB, Mm& Q)
{
    Mm Z, V;
    return qz(A, B, i_o, AA, BB, Q, Z, V);
}

Mm qz(const Mm& A, const Mm& B, i_o_t, Mm& AA, Mm& BB)
{
    Mm Q, Z, V;
    return qz(A, B, i_o, AA, BB, Q, Z, V);
}

Mm qz(const Mm& A, const Mm& B)
{
    Mm AA = x_M, BB, Q, Z, V;
    qz(A, B, i_o, AA, BB, Q, Z, V);
    return AA;
}

Mm qz(const Mm&)
{
    return Mm(error_input("qz", 1));
}

Mm qz(const Mm&, i_o_t, Mm&, Mm&)
{
    return Mm(error_input("qz", 1));
}

Mm qz(const Mm&, i_o_t, Mm&, Mm&, Mm&)
{
    return Mm(error_input("qz", 1));
}

Mm qz(const Mm&, i_o_t, Mm&, Mm&, Mm&, Mm&)
{
    return Mm(error_input("qz", 1));
}

Mm qz(const Mm&, i_o_t, Mm&, Mm&, Mm&, Mm&, Mm&)
{
    return Mm(error_input("qz", 1));
}
