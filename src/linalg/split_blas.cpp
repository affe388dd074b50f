// The split complex level-1 operations that lean on the real BLAS: each
// complex operation as one or more real BLAS calls on the two parts.
#include "linalg/split_blas.hpp"

#include "engine/scalar_complex.hpp"
#include "linalg/lapack.hpp"

double asum_split(int n, const double* xr, const double* xi, int incx) noexcept
{
    if (n <= 0)
        return 0;
    return dasum_(&n, xr, &incx) + dasum_(&n, xi, &incx);
}

void axpy_conj_split(int n, double ar, double ai, const double* xr, const double* xi, int incx, double* yr,
                     double* yi, int incy) noexcept
{
    if (n <= 0)
        return;
    const double minus_ar = -ar;
    daxpy_(&n, &ar, xr, &incx, yr, &incy);
    daxpy_(&n, &ai, xi, &incx, yr, &incy);
    daxpy_(&n, &ai, xr, &incx, yi, &incy);
    daxpy_(&n, &minus_ar, xi, &incx, yi, &incy);
}

double dotc_real_split(int n, const double* xr, const double* xi, int incx, const double* yr, const double* yi,
                       int incy) noexcept
{
    if (n <= 0)
        return 0;
    return ddot_(&n, xr, &incx, yr, &incy) + ddot_(&n, xi, &incx, yi, &incy);
}

double dotc_imag_split(int n, const double* xr, const double* xi, int incx, const double* yr, const double* yi,
                       int incy) noexcept
{
    if (n <= 0)
        return 0;
    return ddot_(&n, xr, &incx, yi, &incy) - ddot_(&n, xi, &incx, yr, &incy);
}

double dotu_real_split(int n, const double* xr, const double* xi, int incx, const double* yr, const double* yi,
                       int incy) noexcept
{
    if (n <= 0)
        return 0;
    return ddot_(&n, xr, &incx, yr, &incy) - ddot_(&n, xi, &incx, yi, &incy);
}

double dotu_imag_split(int n, const double* xr, const double* xi, int incx, const double* yr, const double* yi,
                       int incy) noexcept
{
    if (n <= 0)
        return 0;
    return ddot_(&n, xr, &incx, yi, &incy) + ddot_(&n, xi, &incx, yr, &incy);
}

void split_copy(int n, const double* xr, const double* xi, int incx, double* yr, double* yi, int incy) noexcept
{
    if (n <= 0)
        return;
    dcopy_(&n, xr, &incx, yr, &incy);
    dcopy_(&n, xi, &incx, yi, &incy);
}

double nrm2_split(int n, const double* xr, const double* xi, int incx) noexcept
{
    if (n <= 0)
        return 0;
    const double a = dnrm2_(&n, xr, &incx), b = dnrm2_(&n, xi, &incx);
    const double big = a > b ? a : b, small = a > b ? b : a;
    if (big == 0 || big != big || small != small)
        return big == 0 && small == 0 ? 0 : complex_abs(a, b);
    const double ratio = small / big;
    return big * std::sqrt(1 + ratio * ratio);
}

void scal_real_split(int n, double a, double* xr, double* xi, int incx) noexcept
{
    if (n <= 0)
        return;
    dscal_(&n, &a, xr, &incx);
    dscal_(&n, &a, xi, &incx);
}

void swap_split(int n, double* xr, double* xi, int incx, double* yr, double* yi, int incy) noexcept
{
    if (n <= 0)
        return;
    dswap_(&n, xr, &incx, yr, &incy);
    dswap_(&n, xi, &incx, yi, &incy);
}

void interleave_split(int rows, int cols, const double* ar, const double* ai, std::ptrdiff_t lda, double* z,
                      std::ptrdiff_t ldz) noexcept
{
    for (std::ptrdiff_t j = 0; j < cols; ++j) {
        const double* cr = ar + j * lda;
        const double* ci = ai + j * lda;
        double* cz = z + 2 * j * ldz;
        for (int i = 0; i < rows; ++i) {
            cz[2 * i] = cr[i];
            cz[2 * i + 1] = ci[i];
        }
    }
}

void deinterleave_split(int rows, int cols, const double* z, std::ptrdiff_t ldz, double* ar, double* ai,
                        std::ptrdiff_t lda) noexcept
{
    for (std::ptrdiff_t j = 0; j < cols; ++j) {
        double* cr = ar + j * lda;
        double* ci = ai + j * lda;
        const double* cz = z + 2 * j * ldz;
        for (int i = 0; i < rows; ++i) {
            cr[i] = cz[2 * i];
            ci[i] = cz[2 * i + 1];
        }
    }
}

bool finite_split(int rows, int cols, const double* ar, const double* ai, std::ptrdiff_t lda) noexcept
{
    for (std::ptrdiff_t j = 0; j < cols; ++j) {
        // x - x is 0 for a finite x and NaN otherwise: one test per column.
        double acc = 0;
        for (int i = 0; i < rows; ++i)
            acc += (ar[i + j * lda] - ar[i + j * lda]) + (ai[i + j * lda] - ai[i + j * lda]);
        if (acc != 0)
            return false;
    }
    return true;
}
