// Prototypes of the BLAS and LAPACK routines the library calls (Fortran
// calling convention: every argument by reference, the lengths of character
// arguments passed last).
#pragma once

#include <cstddef>

extern "C" {

void dscal_(const int* n, const double* alpha, double* x, const int* incx);
void daxpy_(const int* n, const double* alpha, const double* x, const int* incx, double* y, const int* incy);

void dgemm_(const char* transa, const char* transb, const int* m, const int* n, const int* k, const double* alpha,
            const double* a, const int* lda, const double* b, const int* ldb, const double* beta, double* c,
            const int* ldc, std::size_t, std::size_t);

void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info, std::size_t);
void zgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void zgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info, std::size_t);
void dgels_(const char* trans, const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b,
            const int* ldb, double* work, const int* lwork, int* info, std::size_t);
void zgels_(const char* trans, const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b,
            const int* ldb, double* work, const int* lwork, int* info, std::size_t);
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, int* info,
             std::size_t, std::size_t);
void zgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a, const int* lda, double* s,
             double* u, const int* ldu, double* vt, const int* ldvt, double* work, const int* lwork, double* rwork,
             int* info, std::size_t, std::size_t);

// LAPACK reports illegal arguments through this routine; the library's own
// version raises the error.
void xerbla_(const char* srname, const int* info, std::size_t len);
}
