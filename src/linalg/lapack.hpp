// The LAPACK routines the library calls: their Fortran prototypes (every
// argument by reference, the lengths of character arguments last; the BLAS
// ones are in platform/blas.hpp), and the checked wrappers every LAPACK call
// goes through. LAPACK reports a
// bad argument by calling xerbla_, which only records it; the wrapper raises
// the error once LAPACK has returned, so nothing unwinds through Fortran.
#pragma once

#include "platform/blas.hpp"

#include <cstddef>

extern "C" {

// ---- LAPACK ----
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info, std::size_t);
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work, const int* lwork, int* info);
void dlaswp_(const int* n, double* a, const int* lda, const int* k1, const int* k2, const int* ipiv,
             const int* incx);
void dsytrf_(const char* uplo, const int* n, double* a, const int* lda, int* ipiv, double* work, const int* lwork,
             int* info, std::size_t);
void dsytrs_(const char* uplo, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info, std::size_t);
void dpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info, std::size_t);
void zpotrf_(const char* uplo, const int* n, double* a, const int* lda, int* info, std::size_t);
void zgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void zgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda, const int* ipiv,
             double* b, const int* ldb, int* info, std::size_t);
void zgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work, const int* lwork, int* info);
void zgeqrf_(const int* m, const int* n, double* a, const int* lda, double* tau, double* work, const int* lwork,
             int* info);
void zlarft_(const char* direct, const char* storev, const int* n, const int* k, const double* v, const int* ldv,
             const double* tau, double* t, const int* ldt, std::size_t, std::size_t);
void zlarfb_(const char* side, const char* trans, const char* direct, const char* storev, const int* m, const int* n,
             const int* k, const double* v, const int* ldv, const double* t, const int* ldt, double* c, const int* ldc,
             double* work, const int* ldwork, std::size_t, std::size_t, std::size_t, std::size_t);
void zungqr_(const int* m, const int* n, const int* k, double* a, const int* lda, const double* tau, double* work,
             const int* lwork, int* info);
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
void dgebrd_(const int* m, const int* n, double* a, const int* lda, double* d, double* e, double* tauq, double* taup,
             double* work, const int* lwork, int* info);
void dgeqrf_(const int* m, const int* n, double* a, const int* lda, double* tau, double* work, const int* lwork,
             int* info);
void dgeqp3_(const int* m, const int* n, double* a, const int* lda, int* jpvt, double* tau, double* work,
             const int* lwork, int* info);
void dorgqr_(const int* m, const int* n, const int* k, double* a, const int* lda, const double* tau, double* work,
             const int* lwork, int* info);

void dormqr_(const char* side, const char* trans, const int* m, const int* n, const int* k, const double* a,
             const int* lda, const double* tau, double* c, const int* ldc, double* work, const int* lwork, int* info,
             std::size_t, std::size_t);

// LAPACK's error routine: the library's own records the routine name and
// the number of the bad argument and returns.
void xerbla_(const char* srname, const int* info, std::size_t len);
}

// What xerbla_ last recorded; cleared by take. Per thread.
struct lapack_argument_error {
    char routine[32];
    int parameter;  // 0 when nothing was recorded
};
lapack_argument_error lapack_take_argument_error() noexcept;

// The checked wrappers: each clears the record, calls the routine, and
// raises "** On entry to %s parameter number %d had an illegal value" when
// xerbla_ fired. Each returns LAPACK's info. Character options are single
// characters.
namespace lapack {

int getrf(int m, int n, double* a, int lda, int* ipiv);
int getrs(char trans, int n, int nrhs, const double* a, int lda, const int* ipiv, double* b, int ldb);
int getri(int n, double* a, int lda, const int* ipiv, double* work, int lwork);
void laswp(int n, double* a, int lda, int k1, int k2, const int* ipiv, int incx);
int sytrf(char uplo, int n, double* a, int lda, int* ipiv, double* work, int lwork);
int sytrs(char uplo, int n, int nrhs, const double* a, int lda, const int* ipiv, double* b, int ldb);
int potrf(char uplo, int n, double* a, int lda);
// a interleaved complex (re, im pairs).
int zpotrf(char uplo, int n, double* a, int lda);
int zgetrf(int m, int n, double* a, int lda, int* ipiv);
int zgetrs(char trans, int n, int nrhs, const double* a, int lda, const int* ipiv, double* b, int ldb);
// work holds lwork complex elements (2·lwork doubles), lwork >= n.
int zgetri(int n, double* a, int lda, const int* ipiv, double* work, int lwork);
int zgeqrf(int m, int n, double* a, int lda, double* tau, double* work, int lwork);
int zungqr(int m, int n, int k, double* a, int lda, const double* tau, double* work, int lwork);
// The block reflector H = I - V T V' of k forward, column-wise reflections
// (V n-by-k, unit lower trapezoidal), and c := op(H) c from the left
// (c m-by-n; work n-by-k complex).
void zlarft(int n, int k, const double* v, int ldv, const double* tau, double* t, int ldt);
void zlarfb_left(char trans, int m, int n, int k, const double* v, int ldv, const double* t, int ldt, double* c,
                 int ldc, double* work, int ldwork);
int gesvd(char jobu, char jobvt, int m, int n, double* a, int lda, double* s, double* u, int ldu, double* vt,
          int ldvt, double* work, int lwork);
int geqrf(int m, int n, double* a, int lda, double* tau, double* work, int lwork);
int gebrd(int m, int n, double* a, int lda, double* d, double* e, double* tauq, double* taup, double* work, int lwork);
int geqp3(int m, int n, double* a, int lda, int* jpvt, double* tau, double* work, int lwork);
int orgqr(int m, int n, int k, double* a, int lda, const double* tau, double* work, int lwork);
int gels(int m, int n, int nrhs, double* a, int lda, double* b, int ldb, double* work, int lwork);
int zgels(int m, int n, int nrhs, double* a, int lda, double* b, int ldb, double* work, int lwork);
int zgesvd(char jobu, char jobvt, int m, int n, double* a, int lda, double* s, double* u, int ldu, double* vt,
           int ldvt, double* work, int lwork, double* rwork);

} // namespace lapack
