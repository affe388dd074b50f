// Signals, polynomials and interpolation: grids, transforms, filters and
// the functions built on them.
#pragma once

#include "value.h"

// ---- grids ----
// X repeats the elements of x as rows, Y the elements of y as columns:
// both are numel(y) x numel(x). One vector serves as both x and y. The
// one-output forms return X.
Mm meshgrid(const Mm& x);
Mm meshgrid(const Mm& x, const Mm& y);
Mm meshgrid(const Mm& v, i_o_t, Mm& X, Mm& Y);
Mm meshgrid(const Mm& x, const Mm& y, i_o_t, Mm& X, Mm& Y);

// ---- Fourier transforms ----
// fft(x, n, dim): the discrete Fourier transform along dimension dim (the
// first extent above 1 by default) at length n (padded with zeros or
// truncated); ifft the inverse, scaled by 1/n. Results are always complex.
Mm fft(const Mm& x);
Mm fft(const Mm& x, const Mm& n);
Mm fft(const Mm& x, const Mm& n, const Mm& dim);
Mm ifft(const Mm& x);
Mm ifft(const Mm& x, const Mm& n);
Mm ifft(const Mm& x, const Mm& n, const Mm& dim);
Mm dft(const Mm& x);
// Two-dimensional transforms: columns at length m, then rows at length n;
// a vector without sizes goes to fft/ifft. Pages of a value with more than
// two dimensions are transformed one by one.
Mm fft2(const Mm& x);
Mm fft2(const Mm& x, const Mm& m);
Mm fft2(const Mm& x, const Mm& m, const Mm& n);
Mm ifft2(const Mm& x);
Mm ifft2(const Mm& x, const Mm& m);
Mm ifft2(const Mm& x, const Mm& m, const Mm& n);
// The quadrant swap that moves the zero frequency to the centre (fftshift,
// halves rounded up) and back (ifftshift, halves rounded down), page by page.
Mm fftshift(const Mm& x);
Mm ifftshift(const Mm& x);

// ---- filters ----
// filter(b, a, x, zi, dim): y = b(z)/a(z) applied along dimension dim (the
// first extent above 1 by default) by the transposed direct form II, from
// the initial conditions zi (n-1 along dim, x's size elsewhere, or one
// vector of n-1 for every signal); zf returns the final conditions.
Mm filter(const Mm& b, const Mm& a, const Mm& x, const Mm& zi, const Mm& dim, i_o_t, Mm& y, Mm& zf);
Mm filter(const Mm& b, const Mm& a, const Mm& x, const Mm& zi, i_o_t, Mm& y, Mm& zf);
Mm filter(const Mm& b, const Mm& a, const Mm& x, i_o_t, Mm& y, Mm& zf);
Mm filter(const Mm& b, const Mm& a, const Mm& x, const Mm& zi, const Mm& dim);
Mm filter(const Mm& b, const Mm& a, const Mm& x, const Mm& zi);
Mm filter(const Mm& b, const Mm& a, const Mm& x);
Mm filter(const Mm& b);
Mm filter(const Mm& b, const Mm& a);
