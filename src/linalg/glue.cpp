// The split complex matrix product over the BLAS real product: up to four
// real products, Pr = Ar*Br - Ai*Bi and Pi = Ai*Br + Ar*Bi.
#include "linalg/glue.hpp"
#include "linalg/lapack.hpp"

namespace {

void gemm(const char* ta, const char* tb, int m, int n, int k, double alpha, const double* a, int lda,
          const double* b, int ldb, double beta, double* c, int ldc)
{
    dgemm_(ta, tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc, 1, 1);
}

} // namespace

void split_gemm(const char* transa, const char* transb, int m, int n, int k, double alpha, const double* Ar,
                const double* Ai, int lda, const double* Br, const double* Bi, int ldb, double beta, double* Pr,
                double* Pi, int ldp)
{
    if (m <= 0 || n <= 0)
        return;
    gemm(transa, transb, m, n, k, alpha, Ar, lda, Br, ldb, beta, Pr, ldp);
    if (Ai && Bi)
        gemm(transa, transb, m, n, k, -alpha, Ai, lda, Bi, ldb, 1.0, Pr, ldp);
    if (!Pi)
        return;
    if (Ai && Bi) {
        gemm(transa, transb, m, n, k, alpha, Ai, lda, Br, ldb, beta, Pi, ldp);
        gemm(transa, transb, m, n, k, alpha, Ar, lda, Bi, ldb, 1.0, Pi, ldp);
    } else if (Ai)
        gemm(transa, transb, m, n, k, alpha, Ai, lda, Br, ldb, beta, Pi, ldp);
    else if (Bi)
        gemm(transa, transb, m, n, k, alpha, Ar, lda, Bi, ldb, beta, Pi, ldp);
    else {
        // Both operands real: the imaginary part is beta times its old value
        // (none when beta is 0, so unset storage is never read).
        for (int c = 0; c < n; ++c)
            for (int r = 0; r < m; ++r) {
                double& p = Pi[r + static_cast<long>(c) * ldp];
                p = beta == 0 ? 0.0 : beta * p;
            }
    }
}
