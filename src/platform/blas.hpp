// The BLAS routines the library calls, with their Fortran prototypes (every
// argument by reference, the lengths of character arguments last), and the
// library's BLAS thread policy: the layer that the operation engine's matrix
// product and linear algebra both stand on.
#pragma once

#include "platform/blas_threads.hpp"

#include <cstddef>

extern "C" {

// ---- level 1 and 3 BLAS ----
double ddot_(const int* n, const double* x, const int* incx, const double* y, const int* incy);
void daxpy_(const int* n, const double* a, const double* x, const int* incx, double* y, const int* incy);
double dnrm2_(const int* n, const double* x, const int* incx);
double dasum_(const int* n, const double* x, const int* incx);
void dscal_(const int* n, const double* a, double* x, const int* incx);
void dswap_(const int* n, double* x, const int* incx, double* y, const int* incy);
void dcopy_(const int* n, const double* x, const int* incx, double* y, const int* incy);
void drot_(const int* n, double* x, const int* incx, double* y, const int* incy, const double* c, const double* s);
void drotg_(double* a, double* b, double* c, double* s);
void dgemv_(const char* trans, const int* m, const int* n, const double* alpha, const double* a, const int* lda,
            const double* x, const int* incx, const double* beta, double* y, const int* incy, std::size_t);
void dger_(const int* m, const int* n, const double* alpha, const double* x, const int* incx, const double* y,
           const int* incy, double* a, const int* lda);
void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc, std::size_t, std::size_t);
void dsyrk_(const char* uplo, const char* trans, const int* n, const int* k, const double* alpha, const double* a,
            const int* lda, const double* beta, double* c, const int* ldc, std::size_t, std::size_t);
void dtrsm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m, const int* n,
            const double* alpha, const double* a, const int* lda, double* b, const int* ldb, std::size_t,
            std::size_t, std::size_t, std::size_t);
void dtrmm_(const char* side, const char* uplo, const char* transa, const char* diag, const int* m, const int* n,
            const double* alpha, const double* a, const int* lda, double* b, const int* ldb, std::size_t,
            std::size_t, std::size_t, std::size_t);
void dtrmv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a, const int* lda,
            double* x, const int* incx, std::size_t, std::size_t, std::size_t);
void dtrsv_(const char* uplo, const char* trans, const char* diag, const int* n, const double* a, const int* lda,
            double* x, const int* incx, std::size_t, std::size_t, std::size_t);

} // extern "C"
