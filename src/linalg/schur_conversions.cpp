// Work on the results of eig and schur: the complex Schur form from the
// real one (rsf2csf), the real block-diagonal form of complex eigen-data
// (cdf2rdf), eigenvalue condition numbers (condeig) and trace.
#include "engine/scalar_complex.hpp"
#include "engine/scalar_real.hpp"
#include "linalg/storage.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/linalg.h"
#include "velkor/report.h"

#include <cmath>
#include <complex>

namespace {

using cx = std::complex<double>;

// Column-major split complex access, 0-based.
struct split_matrix {
    double* re;
    double* im;
    std::ptrdiff_t ld;

    cx get(std::ptrdiff_t i, std::ptrdiff_t j) const { return {re[i + j * ld], im[i + j * ld]}; }
    void set(std::ptrdiff_t i, std::ptrdiff_t j, cx v) const
    {
        re[i + j * ld] = v.real();
        im[i + j * ld] = v.imag();
    }
};

} // namespace

Mm rsf2csf(const Mm& U, const Mm& T, i_o_t, Mm& U2, Mm& T2)
{
    if (error_square(U, "rsf2csf"))
        return x_M;
    const int n = U.cols();
    if (U.rows() == 0) {
        U2 = nop_M;
        T2 = nop_M;
        return x_M;
    }
    // T is walked as an n-by-n matrix: any other shape is refused rather
    // than read out of bounds.
    if (error_square(T, "rsf2csf"))
        return x_M;
    if (T.rows() != n) {
        error("rsf2csf: T must be %d-by-%d, the size of U", n, n);
        return x_M;
    }
    Mm u = working_copy(U, true), t = working_copy(T, true);
    const split_matrix us{u.addr(), u.addi(), n}, ts{t.addr(), t.addi(), n};
    const double tolerance = 10 * machine_eps_value;
    for (std::ptrdiff_t m = n - 1; m >= 1; --m) {  // 0-based: rows m-1 and m
        const cx a = ts.get(m - 1, m - 1), b = ts.get(m - 1, m), c = ts.get(m, m - 1), d = ts.get(m, m);
        if (std::abs(c) > tolerance * (std::abs(a) + std::abs(d))) {
            double r1, i1, r2, i2;
            rsf2csf_rotation(a.real(), a.imag(), c.real(), c.imag(), b.real(), b.imag(), d.real(), d.imag(), r1, i1,
                             r2, i2);
            const cx mu = cx(r1, i1) - d;
            const double r = std::sqrt(mu.real() * mu.real() + mu.imag() * mu.imag() + c.real() * c.real() +
                                       c.imag() * c.imag());
            const cx cs = mu / r, sn = c / r;
            for (std::ptrdiff_t j = m - 1; j < n; ++j) {
                const cx r_1 = ts.get(m - 1, j), r_2 = ts.get(m, j);
                ts.set(m - 1, j, std::conj(cs) * r_1 + sn * r_2);
                ts.set(m, j, cs * r_2 - sn * r_1);
            }
            for (std::ptrdiff_t i = 0; i <= m; ++i) {
                const cx c_1 = ts.get(i, m - 1), c_2 = ts.get(i, m);
                ts.set(i, m - 1, cs * c_1 + sn * c_2);
                ts.set(i, m, std::conj(cs) * c_2 - sn * c_1);
            }
            for (std::ptrdiff_t i = 0; i < n; ++i) {
                const cx c_1 = us.get(i, m - 1), c_2 = us.get(i, m);
                us.set(i, m - 1, cs * c_1 + sn * c_2);
                us.set(i, m, std::conj(cs) * c_2 - sn * c_1);
            }
        }
        ts.set(m, m - 1, 0.0);
    }
    u.getreal(0);
    t.getreal(0);
    U2 = u;
    T2 = t;
    return x_M;
}

Mm cdf2rdf(const Mm& V, const Mm& D, i_o_t, Mm& VV, Mm& DD)
{
    const int n = D.length();
    Mm tm = ceye(1, n, n);
    with_storage(tm, n, n, true);
    const Mm d = diag(mdouble(D));  // the pairs are read as doubles, whatever D holds
    if (d.addi()) {
        // The first of each conjugate pair, counted in increasing order.
        bool first_of_pair = true;
        for (int o = 0; o < d.size(); ++o) {
            if (d.addi()[o] == 0.0)
                continue;
            if (first_of_pair && o + 1 < n) {
                const split_matrix t{tm.addr(), tm.addi(), n};
                t.set(o, o, 1.0);
                t.set(o, o + 1, 1.0);
                t.set(o + 1, o, cx(0, 1));
                t.set(o + 1, o + 1, cx(0, -1));
            }
            first_of_pair = !first_of_pair;
        }
    }
    VV = V / tm;
    DD = (tm * D) / tm;
    return x_M;
}

Mm cdf2rdf(const Mm& V, const Mm& D)
{
    Mm VV, DD;
    cdf2rdf(V, D, i_o, VV, DD);
    return VV;
}

Mm cdf2rdf(const Mm&)
{
    return Mm(error_input("cdf2rdf", 1));
}

Mm cdf2rdf(const Mm&, i_o_t, Mm&, Mm&)
{
    return Mm(error_input("cdf2rdf", 1));
}

Mm condeig(const Mm& A, i_o_t, Mm& V, Mm& D, Mm& s)
{
    const int n = A.rows();
    if (n == 0 && A.getndims() == 2) {
        V = D = s = nop_M;
        return x_M;
    }
    Mm X, Dm;
    eig(A, i_o, X, Dm);
    if (X.rows() != n || X.cols() != n) {  // eig refused A
        V = D = s = x_M;
        return x_M;
    }
    const Mm Y = inv(X);
    Mm c = zeros_of(n, 1, false);
    with_storage(Y, n, n, false);
    const split_matrix x{X.addr(), X.addi(), n}, y{Y.addr(), Y.addi(), n};
    auto at = [](const split_matrix& m, std::ptrdiff_t i, std::ptrdiff_t j) {
        return cx(m.re[i + j * m.ld], m.im ? m.im[i + j * m.ld] : 0.0);
    };
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        // |Y(i,:)|·|X(:,i)| / |Y(i,:)·X(:,i)|.
        double row = 0, col = 0;
        cx dot = 0;
        for (std::ptrdiff_t k = 0; k < n; ++k) {
            row += std::norm(at(y, i, k));
            col += std::norm(at(x, k, i));
            dot += at(y, i, k) * at(x, k, i);
        }
        c.addr()[i] = std::sqrt(row) * std::sqrt(col) / std::abs(dot);
    }
    V = X;
    D = Dm;
    s = c;
    return x_M;
}

Mm condeig(const Mm& A, i_o_t, Mm& V, Mm& D)
{
    Mm s;
    return condeig(A, i_o, V, D, s);
}

Mm condeig(const Mm& A)
{
    Mm V, D, s;
    condeig(A, i_o, V, D, s);
    return s;
}

Mm trace(const Mm& A)
{
    return sum(diag(A));
}
