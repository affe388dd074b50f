// The split complex matrix product (real and imaginary parts in separate
// arrays) over the BLAS real product: the engine's product and linear
// algebra both use it.
#pragma once

// C = alpha*op(A)*op(B) + beta*C with real alpha and beta; op as for DGEMM.
// A null Ai or Bi is a real operand. With both operands real, Ci is not
// touched; a null Ci is never read or written.
void split_gemm(const char* transa, const char* transb, int m, int n, int k, double alpha, const double* Ar,
                const double* Ai, int lda, const double* Br, const double* Bi, int ldb, double beta, double* Cr,
                double* Ci, int ldc);

// C = alpha*op(A)*op(B) + beta*C, one real BLAS product on whatever BLAS
// threads the caller's scope set: callers that make several products open
// one blas_single_thread scope for all of them.
void real_gemm(const char* transa, const char* transb, int m, int n, int k, double alpha, const double* a, int lda,
               const double* b, int ldb, double beta, double* c, int ldc);
