// Lawson and Hanson's Householder transformation and non-negative least
// squares algorithm, on the BLAS level-1 routines.
#include "optim/nnls_kernels.hpp"
#include "optim/blas.hpp"

#include <cmath>

int householder_h12(const int& mode, const int& lpivot, const int& l1, const int& m, double* u, const int& iue,
                    double& up, double* c, const int& ice, const int& icv, const int& ncv)
{
    if (lpivot <= 0 || lpivot >= l1 || l1 > m)
        return 0;
    auto U = [u, iue](int j) -> double& { return u[static_cast<long long>(j - 1) * iue]; };
    double cl = std::fabs(U(lpivot));
    if (mode != 2) {
        for (int j = l1; j <= m; ++j)
            cl = std::fmax(std::fabs(U(j)), cl);
        if (cl <= 0)
            return 0;
        const double clinv = 1 / cl;
        double sm = (U(lpivot) * clinv) * (U(lpivot) * clinv);
        for (int j = l1; j <= m; ++j)
            sm += (U(j) * clinv) * (U(j) * clinv);
        cl *= std::sqrt(sm);
        if (U(lpivot) > 0)
            cl = -cl;
        up = U(lpivot) - cl;
        U(lpivot) = cl;
    } else if (cl <= 0) {
        return 0;
    }
    if (ncv <= 0)
        return 0;
    double b = up * U(lpivot);
    if (b >= 0)
        return 0;
    b = 1 / b;
    long long i2 = 1 - icv + static_cast<long long>(ice) * (lpivot - 1);
    const long long incr = static_cast<long long>(ice) * (l1 - lpivot);
    for (int j = 1; j <= ncv; ++j) {
        i2 += icv;
        long long i3 = i2 + incr, i4 = i3;
        double sm = c[i2 - 1] * up;
        for (int i = l1; i <= m; ++i) {
            sm += c[i3 - 1] * U(i);
            i3 += ice;
        }
        if (sm != 0) {
            sm *= b;
            c[i2 - 1] += sm * up;
            for (int i = l1; i <= m; ++i) {
                c[i4 - 1] += sm * U(i);
                i4 += ice;
            }
        }
    }
    return 0;
}

void nnls_solve(double tol, double value_tol, double* a_p, const int& mda, const int& m, const int& n, double* b_p,
                double* x_p, double& rnorm, double* w_p, double* zz_p, int* index_p, int& mode, int& iterations)
{
    mode = 1;
    if (m <= 0 || n <= 0) {
        mode = 2;
        return;
    }
    auto A = [a_p, mda](int i, int j) -> double& { return a_p[(i - 1) + static_cast<long long>(j - 1) * mda]; };
    auto col = [a_p, mda](int j) { return a_p + static_cast<long long>(j - 1) * mda; };
    auto B = [b_p](int i) -> double& { return b_p[i - 1]; };
    auto X = [x_p](int i) -> double& { return x_p[i - 1]; };
    auto W = [w_p](int i) -> double& { return w_p[i - 1]; };
    auto ZZ = [zz_p](int i) -> double& { return zz_p[i - 1]; };
    auto INDEX = [index_p](int i) -> int& { return index_p[i - 1]; };
    const int one = 1;
    constexpr double factor = 0.01;
    const int itmax = 3 * n;
    int iter = 0;
    for (int i = 1; i <= n; ++i)
        INDEX(i) = i;
    int iz2 = n, iz1 = 1, nsetp = 0, npp1 = 1;
    double up = 0;

    for (;;) {
        // Main loop: the dual vector over the zero set, the best candidate.
        if (iz1 > iz2 || nsetp >= m)
            break;
        for (int iz = iz1; iz <= iz2; ++iz) {
            const int j = INDEX(iz);
            const int len = m - npp1 + 1;
            W(j) = ddot_(&len, &A(npp1, j), &one, &B(npp1), &one);
        }
        int iz = 0, j = 0;
        for (;;) {
            double wmax = tol;
            int izmax = 0;
            for (int k = iz1; k <= iz2; ++k) {
                const int jj = INDEX(k);
                if (W(jj) > wmax) {
                    wmax = W(jj);
                    izmax = k;
                }
            }
            if (izmax == 0)
                goto terminate;
            iz = izmax;
            j = INDEX(iz);
            const double asave = A(npp1, j);
            const int npp2 = npp1 + 1, zero = 0;
            double dummy = 0;
            householder_h12(1, npp1, npp2, m, col(j), 1, up, &dummy, 1, 1, zero);
            double unorm = 0;
            if (nsetp != 0)
                unorm = dnrm2_(&nsetp, col(j), &one);
            if ((unorm + std::fabs(A(npp1, j)) * factor) - unorm > 0) {
                dcopy_(&m, b_p, &one, zz_p, &one);
                householder_h12(2, npp1, npp2, m, col(j), 1, up, zz_p, 1, 1, 1);
                const double ztest = ZZ(npp1) / A(npp1, j);
                if (ztest > 0)
                    break;
            }
            A(npp1, j) = asave;
            // Out of the running: 0 is no longer above a negative tol, so a
            // rejected candidate would be chosen again for ever.
            W(j) = std::fmin(0.0, tol);
        }

        // Accept j into the positive set.
        dcopy_(&m, zz_p, &one, b_p, &one);
        INDEX(iz) = INDEX(iz1);
        INDEX(iz1) = j;
        ++iz1;
        nsetp = npp1;
        ++npp1;
        for (int jz = iz1; jz <= iz2; ++jz) {
            const int jj = INDEX(jz);
            householder_h12(2, nsetp, npp1, m, col(j), 1, up, col(jj), 1, mda, 1);
        }
        for (int l = npp1; l <= m; ++l)
            A(l, j) = 0;
        W(j) = 0;
        ++iterations;

        // Inner loop: solve over the positive set, step back toward
        // feasibility while some component would not be positive.
        for (;;) {
            for (int l = 1; l <= nsetp; ++l) {
                const int ip = nsetp + 1 - l;
                const int jj = INDEX(ip);
                ZZ(ip) /= A(ip, jj);
                if (ip > 1) {
                    const int len = ip - 1;
                    const double alpha = -ZZ(ip);
                    daxpy_(&len, &alpha, col(jj), &one, zz_p, &one);
                }
            }
            if (++iter > itmax) {
                mode = 3;
                goto terminate;
            }
            double alpha = 1;
            int jj = 0;
            for (int ip = 1; ip <= nsetp; ++ip) {
                const int l = INDEX(ip);
                if (ZZ(ip) <= value_tol) {
                    const double t = -X(l) / (ZZ(ip) - X(l));
                    if (alpha >= t) {
                        alpha = t;
                        jj = ip;
                    }
                }
            }
            if (jj == 0) {
                for (int ip = 1; ip <= nsetp; ++ip)
                    X(INDEX(ip)) = ZZ(ip);
                break;
            }
            for (int ip = 1; ip <= nsetp; ++ip) {
                const int l = INDEX(ip);
                X(l) += alpha * (ZZ(ip) - X(l));
            }
            int i = INDEX(jj);
            for (;;) {
                // Move i back to the zero set and restore the triangle.
                X(i) = 0;
                if (jj != nsetp) {
                    ++jj;
                    for (int jr = jj; jr <= nsetp; ++jr) {
                        const int ii = INDEX(jr);
                        INDEX(jr - 1) = ii;
                        double ra = A(jr - 1, ii), rb = A(jr, ii), cc = 0, ss = 0;
                        drotg_(&ra, &rb, &cc, &ss);
                        drot_(&n, &A(jr - 1, 1), &mda, &A(jr, 1), &mda, &cc, &ss);
                        A(jr - 1, ii) = ra;
                        A(jr, ii) = 0;
                        drot_(&one, &B(jr - 1), &one, &B(jr), &one, &cc, &ss);
                    }
                }
                npp1 = nsetp;
                --nsetp;
                --iz1;
                INDEX(iz1) = i;
                int next = 0;
                for (int k = 1; k <= nsetp; ++k) {
                    if (X(INDEX(k)) <= value_tol) {
                        next = k;
                        break;
                    }
                }
                if (next == 0)
                    break;
                jj = next;
                i = INDEX(jj);
            }
            dcopy_(&m, b_p, &one, zz_p, &one);
        }
    }

terminate:
    double sm = 0;
    if (npp1 <= m) {
        const int len = m - npp1 + 1;
        sm = dnrm2_(&len, &B(npp1), &one);
    } else {
        for (int j = 1; j <= n; ++j)
            W(j) = 0;
    }
    rnorm = sm;
}
