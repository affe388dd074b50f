// Level-1 operations on split complex vectors (real parts and imaginary
// parts in separate arrays with one increment), over the real BLAS where a
// BLAS routine does the job and as tight loops where it does not. Every
// operation does nothing (izamax_split returns 0) for n <= 0.
#pragma once

#include <cmath>
#include <cstddef>

// 1-based index of the first element of largest |re| + |im|; 1 when all are
// 0 or NaN (a NaN never replaces the running maximum). Steps forward by incx.
inline int izamax_split(int n, const double* xr, const double* xi, int incx) noexcept
{
    if (n <= 0)
        return 0;
    double best = 0;
    int at = 1;
    const std::ptrdiff_t inc = incx;
    for (int k = 0; k < n; ++k) {
        const double v = std::fabs(xr[k * inc]) + std::fabs(xi[k * inc]);
        if (v > best) {
            best = v;
            at = k + 1;
        }
    }
    return at;
}

// The same for a real vector (first largest |x|; NaN never chosen).
inline int idamax_first(int n, const double* x, int incx) noexcept
{
    if (n <= 0)
        return 0;
    double best = 0;
    int at = 1;
    const std::ptrdiff_t inc = incx;
    for (int k = 0; k < n; ++k) {
        const double v = std::fabs(x[k * inc]);
        if (v > best) {
            best = v;
            at = k + 1;
        }
    }
    return at;
}

// y := y + a*x. A negative increment walks its vector from the far end.
inline void axpy_split(int n, double ar, double ai, const double* xr, const double* xi, int incx, double* yr,
                       double* yi, int incy) noexcept
{
    if (n <= 0 || (ar == 0 && ai == 0))
        return;
    // A real multiplier scales both parts: the complex product's cross
    // terms are 0 times the other part, NaN where that part is infinite
    // (an infinite entry of an inverse became NaN), and otherwise change
    // nothing but the sign of a zero.
    if (ai == 0) {
        std::ptrdiff_t ix = incx < 0 ? std::ptrdiff_t(1 - n) * incx : 0;
        std::ptrdiff_t iy = incy < 0 ? std::ptrdiff_t(1 - n) * incy : 0;
        for (int k = 0; k < n; ++k, ix += incx, iy += incy) {
            yr[iy] += ar * xr[ix];
            yi[iy] += ar * xi[ix];
        }
        return;
    }
    if (incx == 1 && incy == 1) {
        for (int k = 0; k < n; ++k) {
            const double a = xr[k], b = xi[k];
            yr[k] += ar * a - ai * b;
            yi[k] += ar * b + ai * a;
        }
        return;
    }
    std::ptrdiff_t ix = incx < 0 ? std::ptrdiff_t(1 - n) * incx : 0;
    std::ptrdiff_t iy = incy < 0 ? std::ptrdiff_t(1 - n) * incy : 0;
    for (int k = 0; k < n; ++k, ix += incx, iy += incy) {
        const double a = xr[ix], b = xi[ix];
        yr[iy] += ar * a - ai * b;
        yi[iy] += ar * b + ai * a;
    }
}

// x := a*x for complex a; steps forward by incx. A real a scales both
// parts, as in axpy_split.
inline void scal_split(int n, double ar, double ai, double* xr, double* xi, int incx) noexcept
{
    const std::ptrdiff_t inc = incx;
    if (ai == 0) {
        for (int k = 0; k < n; ++k) {
            xr[k * inc] *= ar;
            xi[k * inc] *= ar;
        }
        return;
    }
    for (int k = 0; k < n; ++k) {
        const double a = xr[k * inc], b = xi[k * inc];
        xr[k * inc] = ar * a - ai * b;
        xi[k * inc] = ar * b + ai * a;
    }
}

inline void fill_real(int n, double v, double* x, int incx) noexcept
{
    const std::ptrdiff_t inc = incx;
    for (int k = 0; k < n; ++k)
        x[k * inc] = v;
}

inline void fill_split(int n, double vr, double vi, double* xr, double* xi, int incx) noexcept
{
    fill_real(n, vr, xr, incx);
    fill_real(n, vi, xi, incx);
}

// Sum of |re| plus sum of |im|.
double asum_split(int n, const double* xr, const double* xi, int incx) noexcept;
// y := y + a*conj(x).
void axpy_conj_split(int n, double ar, double ai, const double* xr, const double* xi, int incx, double* yr,
                     double* yi, int incy) noexcept;
// conj(x).'*y and x.'*y, real and imaginary parts apart.
double dotc_real_split(int n, const double* xr, const double* xi, int incx, const double* yr, const double* yi,
                       int incy) noexcept;
double dotc_imag_split(int n, const double* xr, const double* xi, int incx, const double* yr, const double* yi,
                       int incy) noexcept;
double dotu_real_split(int n, const double* xr, const double* xi, int incx, const double* yr, const double* yi,
                       int incy) noexcept;
double dotu_imag_split(int n, const double* xr, const double* xi, int incx, const double* yr, const double* yi,
                       int incy) noexcept;
// y := x.
void split_copy(int n, const double* xr, const double* xi, int incx, double* yr, double* yi, int incy) noexcept;
// The Euclidean norm, as the modulus of the two parts' norms.
double nrm2_split(int n, const double* xr, const double* xi, int incx) noexcept;
// x := a*x for real a.
void scal_real_split(int n, double a, double* xr, double* xi, int incx) noexcept;
void swap_split(int n, double* xr, double* xi, int incx, double* yr, double* yi, int incy) noexcept;

// The movers between split storage and the interleaved (re, im) pairs that
// the complex BLAS and LAPACK take: z (column stride ldz complex elements)
// := the rows-by-cols split matrix (column stride lda), and back.
void interleave_split(int rows, int cols, const double* ar, const double* ai, std::ptrdiff_t lda, double* z,
                      std::ptrdiff_t ldz) noexcept;
void deinterleave_split(int rows, int cols, const double* z, std::ptrdiff_t ldz, double* ar, double* ai,
                        std::ptrdiff_t lda) noexcept;
// Whether every element of the rows-by-cols split matrix is finite.
bool finite_split(int rows, int cols, const double* ar, const double* ai, std::ptrdiff_t lda) noexcept;
