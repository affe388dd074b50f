// The split complex matrix product over the BLAS real product: up to four
// real products, Cr = Ar*Br - Ai*Bi and Ci = Ai*Br + Ar*Bi.
#include "engine/split_gemm.hpp"
#include "platform/blas.hpp"

void real_gemm(const char* ta, const char* tb, int m, int n, int k, double alpha, const double* a, int lda,
               const double* b, int ldb, double beta, double* c, int ldc)
{
    dgemm_(ta, tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc, 1, 1);
}

void split_gemm(const char* transa, const char* transb, int m, int n, int k, double alpha, const double* Ar,
                const double* Ai, int lda, const double* Br, const double* Bi, int ldb, double beta, double* Cr,
                double* Ci, int ldc)
{
    if (m <= 0 || n <= 0)
        return;
    const blas_single_thread serial(!blas_large_product(m, n, k));
    real_gemm(transa, transb, m, n, k, alpha, Ar, lda, Br, ldb, beta, Cr, ldc);
    if (Ai && Bi)
        real_gemm(transa, transb, m, n, k, -alpha, Ai, lda, Bi, ldb, 1.0, Cr, ldc);
    // Both real: the imaginary part is not ours to touch. A null Ci with a
    // complex operand asks for the real part only.
    if (!Ci || (!Ai && !Bi))
        return;
    if (Ai && Bi) {
        real_gemm(transa, transb, m, n, k, alpha, Ai, lda, Br, ldb, beta, Ci, ldc);
        real_gemm(transa, transb, m, n, k, alpha, Ar, lda, Bi, ldb, 1.0, Ci, ldc);
    } else if (Ai)
        real_gemm(transa, transb, m, n, k, alpha, Ai, lda, Br, ldb, beta, Ci, ldc);
    else
        real_gemm(transa, transb, m, n, k, alpha, Ar, lda, Bi, ldb, beta, Ci, ldc);
}
