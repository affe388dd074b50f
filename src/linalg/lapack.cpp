// The checked LAPACK wrappers: the one place the library calls LAPACK, so
// an argument error recorded by xerbla_ always becomes the library's error.
#include "linalg/lapack.hpp"

#include "platform/blas_threads.hpp"
#include "velkor/report.h"

namespace {

// Raises the recorded argument error, if any, once LAPACK has returned.
int checked(int info)
{
    const lapack_argument_error e = lapack_take_argument_error();
    if (e.parameter != 0)
        error("** On entry to %s parameter number %d had an illegal value", e.routine, e.parameter);
    return info;
}

// Drops a record left by a call that did not go through a wrapper.
void clear() { (void)lapack_take_argument_error(); }

// Every LAPACK call runs on one BLAS thread. The threaded factorisations
// wait for each other's panels by spinning: on a busy machine dgetrf of
// order 200 took a thousand times as long as on one thread, and the others
// gain little below large orders.
template <class Call>
void serially(Call&& call)
{
    const blas_single_thread serial;
    call();
}

} // namespace

namespace lapack {

int getrf(int m, int n, double* a, int lda, int* ipiv)
{
    clear();
    int info = 0;
    serially([&] { dgetrf_(&m, &n, a, &lda, ipiv, &info); });
    return checked(info);
}

int getrs(char trans, int n, int nrhs, const double* a, int lda, const int* ipiv, double* b, int ldb)
{
    clear();
    int info = 0;
    serially([&] { dgetrs_(&trans, &n, &nrhs, a, &lda, ipiv, b, &ldb, &info, 1); });
    return checked(info);
}

int getri(int n, double* a, int lda, const int* ipiv, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { dgetri_(&n, a, &lda, ipiv, work, &lwork, &info); });
    return checked(info);
}

void laswp(int n, double* a, int lda, int k1, int k2, const int* ipiv, int incx)
{
    clear();
    serially([&] { dlaswp_(&n, a, &lda, &k1, &k2, ipiv, &incx); });
    checked(0);
}

int sytrf(char uplo, int n, double* a, int lda, int* ipiv, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { dsytrf_(&uplo, &n, a, &lda, ipiv, work, &lwork, &info, 1); });
    return checked(info);
}

int sytrs(char uplo, int n, int nrhs, const double* a, int lda, const int* ipiv, double* b, int ldb)
{
    clear();
    int info = 0;
    serially([&] { dsytrs_(&uplo, &n, &nrhs, a, &lda, ipiv, b, &ldb, &info, 1); });
    return checked(info);
}

int potrf(char uplo, int n, double* a, int lda)
{
    clear();
    int info = 0;
    serially([&] { dpotrf_(&uplo, &n, a, &lda, &info, 1); });
    return checked(info);
}

int zpotrf(char uplo, int n, double* a, int lda)
{
    clear();
    int info = 0;
    serially([&] { zpotrf_(&uplo, &n, a, &lda, &info, 1); });
    return checked(info);
}

int zgetrf(int m, int n, double* a, int lda, int* ipiv)
{
    clear();
    int info = 0;
    serially([&] { zgetrf_(&m, &n, a, &lda, ipiv, &info); });
    return checked(info);
}

int zgetrs(char trans, int n, int nrhs, const double* a, int lda, const int* ipiv, double* b, int ldb)
{
    clear();
    int info = 0;
    serially([&] { zgetrs_(&trans, &n, &nrhs, a, &lda, ipiv, b, &ldb, &info, 1); });
    return checked(info);
}

int zgetri(int n, double* a, int lda, const int* ipiv, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { zgetri_(&n, a, &lda, ipiv, work, &lwork, &info); });
    return checked(info);
}

int zgeqrf(int m, int n, double* a, int lda, double* tau, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { zgeqrf_(&m, &n, a, &lda, tau, work, &lwork, &info); });
    return checked(info);
}

int zungqr(int m, int n, int k, double* a, int lda, const double* tau, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { zungqr_(&m, &n, &k, a, &lda, tau, work, &lwork, &info); });
    return checked(info);
}

void zlarft(int n, int k, const double* v, int ldv, const double* tau, double* t, int ldt)
{
    clear();
    serially([&] { zlarft_("F", "C", &n, &k, v, &ldv, tau, t, &ldt, 1, 1); });
    checked(0);
}

void zlarfb_left(char trans, int m, int n, int k, const double* v, int ldv, const double* t, int ldt, double* c,
                 int ldc, double* work, int ldwork)
{
    clear();
    serially([&] {
        zlarfb_("L", &trans, "F", "C", &m, &n, &k, v, &ldv, t, &ldt, c, &ldc, work, &ldwork, 1, 1, 1, 1);
    });
    checked(0);
}

int gesvd(char jobu, char jobvt, int m, int n, double* a, int lda, double* s, double* u, int ldu, double* vt,
          int ldvt, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] {
        dgesvd_(&jobu, &jobvt, &m, &n, a, &lda, s, u, &ldu, vt, &ldvt, work, &lwork, &info, 1, 1);
    });
    return checked(info);
}

int geqrf(int m, int n, double* a, int lda, double* tau, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { dgeqrf_(&m, &n, a, &lda, tau, work, &lwork, &info); });
    return checked(info);
}

int gebrd(int m, int n, double* a, int lda, double* d, double* e, double* tauq, double* taup, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { dgebrd_(&m, &n, a, &lda, d, e, tauq, taup, work, &lwork, &info); });
    return checked(info);
}

int geqp3(int m, int n, double* a, int lda, int* jpvt, double* tau, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { dgeqp3_(&m, &n, a, &lda, jpvt, tau, work, &lwork, &info); });
    return checked(info);
}

int orgqr(int m, int n, int k, double* a, int lda, const double* tau, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { dorgqr_(&m, &n, &k, a, &lda, tau, work, &lwork, &info); });
    return checked(info);
}

int gels(int m, int n, int nrhs, double* a, int lda, double* b, int ldb, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { dgels_("N", &m, &n, &nrhs, a, &lda, b, &ldb, work, &lwork, &info, 1); });
    return checked(info);
}

int zgels(int m, int n, int nrhs, double* a, int lda, double* b, int ldb, double* work, int lwork)
{
    clear();
    int info = 0;
    serially([&] { zgels_("N", &m, &n, &nrhs, a, &lda, b, &ldb, work, &lwork, &info, 1); });
    return checked(info);
}

int zgesvd(char jobu, char jobvt, int m, int n, double* a, int lda, double* s, double* u, int ldu, double* vt,
           int ldvt, double* work, int lwork, double* rwork)
{
    clear();
    int info = 0;
    serially([&] {
        zgesvd_(&jobu, &jobvt, &m, &n, a, &lda, s, u, &ldu, vt, &ldvt, work, &lwork, rwork, &info, 1, 1);
    });
    return checked(info);
}

} // namespace lapack
