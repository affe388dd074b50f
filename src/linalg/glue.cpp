// The split complex matrix product over the BLAS real product: up to four
// real products, Cr = Ar*Br - Ai*Bi and Ci = Ai*Br + Ar*Bi. Beside it the
// BLAS thread policy (see glue.hpp).
#include "linalg/glue.hpp"
#include "linalg/lapack.hpp"

#include <mutex>

// OpenBLAS's thread controls. Weak: against a BLAS without them the policy
// does nothing, and the library still loads.
extern "C" {
void openblas_set_num_threads(int) __attribute__((weak));
int openblas_get_num_threads() __attribute__((weak));
}

namespace {

// Open scopes, and the count the first of them found.
std::mutex blas_gate;
int open_scopes = 0;
int found_threads = 1;

bool blas_has_thread_controls() noexcept { return openblas_set_num_threads && openblas_get_num_threads; }

// Whether the BLAS may run threads at all: the count it had when the
// library first asked, before any scope of ours changed it. A process
// started on one thread (OPENBLAS_NUM_THREADS=1) pays nothing for scopes.
bool blas_may_thread() noexcept
{
    static const int started = blas_has_thread_controls() ? openblas_get_num_threads() : 1;
    return started > 1;
}

} // namespace

blas_single_thread::blas_single_thread(bool engage) noexcept : engaged_(engage && blas_may_thread())
{
    if (!engaged_)
        return;
    std::lock_guard<std::mutex> lock(blas_gate);
    if (open_scopes++ == 0) {
        found_threads = openblas_get_num_threads();
        if (found_threads > 1)
            openblas_set_num_threads(1);
    }
}

blas_single_thread::~blas_single_thread()
{
    if (!engaged_)
        return;
    std::lock_guard<std::mutex> lock(blas_gate);
    if (--open_scopes == 0 && found_threads > 1)
        openblas_set_num_threads(found_threads);
}

namespace {

void gemm(const char* ta, const char* tb, int m, int n, int k, double alpha, const double* a, int lda,
          const double* b, int ldb, double beta, double* c, int ldc)
{
    dgemm_(ta, tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c, &ldc, 1, 1);
}

} // namespace

void split_gemm(const char* transa, const char* transb, int m, int n, int k, double alpha, const double* Ar,
                const double* Ai, int lda, const double* Br, const double* Bi, int ldb, double beta, double* Cr,
                double* Ci, int ldc)
{
    if (m <= 0 || n <= 0)
        return;
    const blas_single_thread serial(!blas_large_product(m, n, k));
    gemm(transa, transb, m, n, k, alpha, Ar, lda, Br, ldb, beta, Cr, ldc);
    if (Ai && Bi)
        gemm(transa, transb, m, n, k, -alpha, Ai, lda, Bi, ldb, 1.0, Cr, ldc);
    // Both real: the imaginary part is not ours to touch. A null Ci with a
    // complex operand asks for the real part only.
    if (!Ci || (!Ai && !Bi))
        return;
    if (Ai && Bi) {
        gemm(transa, transb, m, n, k, alpha, Ai, lda, Br, ldb, beta, Ci, ldc);
        gemm(transa, transb, m, n, k, alpha, Ar, lda, Bi, ldb, 1.0, Ci, ldc);
    } else if (Ai)
        gemm(transa, transb, m, n, k, alpha, Ai, lda, Br, ldb, beta, Ci, ldc);
    else
        gemm(transa, transb, m, n, k, alpha, Ar, lda, Bi, ldb, beta, Ci, ldc);
}
