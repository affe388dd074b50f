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
// Three-dimensional grids, ny x nx x nz (a scalar z gives 2-d grids).
Mm meshgrid(const Mm& x, const Mm& y, const Mm& z);
Mm meshgrid(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& X, Mm& Y, Mm& Z);
// X receives meshgrid(x) (and Y meshgrid(x, y)'s second grid); the other
// outputs are left as they are.
Mm meshgrid(const Mm& x, i_o_t, Mm& X, Mm& Y, Mm& Z);
Mm meshgrid(const Mm& x, const Mm& y, i_o_t, Mm& X, Mm& Y, Mm& Z);
// Rejected: three inputs and two outputs.
Mm meshgrid(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& X, Mm& Y);
// ndgrid: the first coordinate along the first dimension (meshgrid with the
// first two coordinates and outputs exchanged). The one-output two-input
// form returns X2.
Mm ndgrid(const Mm& x);
Mm ndgrid(const Mm& x, const Mm& y);
Mm ndgrid(const Mm& x, i_o_t, Mm& X1, Mm& X2);
Mm ndgrid(const Mm& x, const Mm& y, i_o_t, Mm& X1, Mm& X2);
Mm ndgrid(const Mm& x, i_o_t, Mm& X1, Mm& X2, Mm& X3);
Mm ndgrid(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& X1, Mm& X2, Mm& X3);
// meshdom: the meshgrid grids with y running downwards.
Mm meshdom(Mm x, Mm y, i_o_t, Mm& X, Mm& Y);

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

// ---- convolution ----
// conv(a, b): the product of the polynomials a and b (vectors, read by
// linear index), oriented like the longer operand (b on equal lengths).
Mm conv(Mm a, Mm b);
Mm conv(const Mm& x);
// deconv(b, a): quotient q and remainder r with b = conv(a, q) + r.
Mm deconv(const Mm& b, const Mm& a, i_o_t, Mm& q, Mm& r);
Mm deconv(const Mm& b, const Mm& a);
Mm deconv(const Mm& x, i_o_t, Mm& q, Mm& r);
Mm deconv(const Mm& x);

// ---- two-dimensional convolution ----
// conv2(a, b, shape): the full convolution, or its "same" part (a's size)
// or "valid" part (measured against the operand with more elements); the
// shape is read from its first letter. conv2(u, v, A, shape): A convolved
// with u down its columns and with v along its rows.
Mm conv2(Mm a, Mm b, const Mm& shape);
Mm conv2(Mm u, Mm v, Mm A, const Mm& shape);
Mm conv2(const Mm& a, const Mm& b);
Mm conv2(const Mm& a);
// filter2(h, x, shape): correlation of x with h ("same" by default).
Mm filter2(const Mm& h, const Mm& x, const Mm& shape);
Mm filter2(const Mm& h, const Mm& x);
Mm filter2(const Mm& h);

// ---- resampling ----
// upfirdn(x, h, p, q): x upsampled by p, filtered by h and downsampled by q
// (p and q rounded; columns of matrices one by one). upfirdn_vec is the
// vector kernel; an empty operand gives the scalar 0.
Mm upfirdn(Mm x, Mm h, const Mm& p, const Mm& q);
Mm upfirdn(const Mm& x, const Mm& h, const Mm& p);
Mm upfirdn(const Mm& x, const Mm& h);
Mm upfirdn(const Mm& x);
Mm upfirdn_vec(const Mm& x, const Mm& h, int p, int q);

// ---- pairing and numbering ----
// cplxpair(x, tol, dim): along dim, complex conjugate pairs first (by real
// part, negative imaginary part first), then the real numbers ascending;
// numbers that do not pair within tol raise an error.
Mm cplxpair(Mm x, Mm tol, const Mm& dim);
Mm cplxpair(const Mm& x, const Mm& tol);
Mm cplxpair(const Mm& x);
// nested(n): the n x n grid whose interior is numbered in nested-dissection
// order, the border zero.
Mm nested(const Mm& n);

// ---- statistics ----
// mean along dim (the first extent above 1 by default); NaN for an empty x.
Mm mean(const Mm& x);
Mm mean(const Mm& x, const Mm& dim);
// The standard deviation along dim, normalised by m - 1, or by m when flag
// is non-zero.
Mm stdM(const Mm& x);
Mm stdM(const Mm& x, const Mm& flag);
Mm stdM(const Mm& x, const Mm& flag, const Mm& dim);
// The covariance of the columns of x (a vector is one variable), or of x(:)
// and y(:); a scalar second argument is the flag (> 0: normalise by m).
Mm cov(const Mm& x);
Mm cov(const Mm& x, const Mm& y);
Mm cov(const Mm& x, const Mm& y, const Mm& flag);
Mm corrcoef(const Mm& x);
Mm corrcoef(const Mm& x, const Mm& y);

// ---- polynomials (coefficient vectors, highest power first) ----
Mm polyval(Mm p, Mm x);
Mm polyval(Mm p);
// p evaluated at the square matrix X by matrix products.
Mm polyvalm(const Mm& p, const Mm& X);
Mm polyvalm(const Mm& p);
// The monic polynomial with the roots x (a vector) or the eigenvalues of x;
// non-finite roots are dropped.
Mm poly(const Mm& x);
// The roots as a column: one zero per trailing zero coefficient, then the
// eigenvalues of the companion matrix.
Mm roots(const Mm& p);
// Derivatives: of a, of the product a b, and of the quotient a/b as q/d.
Mm polyder(const Mm& a);
Mm polyder(const Mm& a, const Mm& b);
Mm polyder(const Mm& a, i_o_t, Mm& q, Mm& d);
Mm polyder(const Mm& a, const Mm& b, i_o_t, Mm& q, Mm& d);
// The three polynomials behind polyder: a'b + ab', a'b - ab' and b b, with
// leading zeros removed.
void polyder_core(const Mm& a, const Mm& b, Mm& sum, Mm& difference, Mm& square);
// x from its first non-zero coefficient on; the scalar 0 when all are zero.
Mm strip_leading_zeros(const Mm& x);
// The least-squares polynomial of degree n through (x, y), by the economy
// QR factorisation; S holds the fields R, df and normr.
Mm polyfit(Mm x, Mm y, const Mm& n, i_o_t, Mm& p, Mm& S);
Mm polyfit(const Mm& x, const Mm& y, const Mm& n);
Mm polyfit(const Mm& x);
Mm polyfit(const Mm& x, const Mm& y);

// ---- piecewise polynomials ----
// The pp form is the real row [10, 1, L, breaks (L+1), k, coefficients (the
// L x k matrix column-major, highest power first in x - breaks(i))].
Mm mkpp(Mm breaks, Mm coefs);
Mm mkpp(Mm breaks);
Mm unmkpp(const Mm& pp, i_o_t, Mm& breaks, Mm& coefs, Mm& l, Mm& k);
// The values at xx, shaped like xx; a point on an interior break belongs
// to the piece that starts there, a NaN point gives NaN.
Mm ppval(const Mm& pp, Mm xx);
Mm ppval(Mm pp);
// The not-a-knot cubic spline through (x, y) as a pp value (a line for two
// points, one parabola for three), or its values at xx.
Mm spline(const Mm& x, const Mm& y);
Mm spline(const Mm& x, const Mm& y, const Mm& xx);
Mm spline(Mm x);
// Solves the tridiagonal system (sub-, main and super-diagonal) for the
// columns of B by elimination with row interchanges.
Mm tridiag_solve(Mm sub, Mm diag, Mm super, const Mm& B);

// ---- linear time-invariant models ----
// State space (A, B, C, D), transfer function (numerator rows num over the
// row den) and zeros, poles and gains (z one column per output, padded with
// Inf). Only input iu (default 1) of a multi-input system is converted.
Mm ss2tf(const Mm& A, Mm B, const Mm& C, Mm D, const Mm& iu, i_o_t, Mm& num, Mm& den);
Mm ss2tf(const Mm& A, const Mm& B, const Mm& C, const Mm& D, i_o_t, Mm& num, Mm& den);
Mm ss2zp(const Mm& A, const Mm& B, const Mm& C, const Mm& D, const Mm& iu, i_o_t, Mm& z, Mm& p, Mm& k);
Mm ss2zp(const Mm& A, const Mm& B, const Mm& C, const Mm& D, i_o_t, Mm& z, Mm& p, Mm& k);
Mm ss2zp(const Mm& A, const Mm& B, const Mm& C, const Mm& D, i_o_t, Mm& z, Mm& p);
// The controller canonical form; an improper transfer function is refused.
Mm tf2ss(Mm num, Mm den, i_o_t, Mm& A, Mm& B, Mm& C, Mm& D);
Mm tf2zp(Mm num, Mm den, i_o_t, Mm& z, Mm& p, Mm& k);
Mm tf2zp(const Mm& num, const Mm& den, i_o_t, Mm& z, Mm& p);
Mm zp2tf(const Mm& z, const Mm& p, Mm k, i_o_t, Mm& num, Mm& den);
Mm zp2ss(Mm z, Mm p, const Mm& k, i_o_t, Mm& A, Mm& B, Mm& C, Mm& D);
// The 1-based position of the first non-zero element of v, 0 for none.
int first_nonzero(const Mm& v);
// den without leading zeros and both divided by its first coefficient.
void tf_normalize(Mm& num, Mm& den);
// ltitr: the trajectory of x[k+1] = a x[k] + b u[k] (one row per step of u,
// from x0 = 0 by default), one state per row of the result. ltifr: the
// frequency response (s I - a) \ b, one column per element of s.
Mm ltitr(Mm a, Mm b, Mm u, Mm x0);
Mm ltitr(const Mm& a, const Mm& b, const Mm& u);
Mm ltitr(const Mm& a);
Mm ltitr(const Mm& a, const Mm& b);
Mm ltifr(const Mm& a, const Mm& b, const Mm& s);
Mm ltifr(const Mm& a);
Mm ltifr(const Mm& a, const Mm& b);

// ---- mesh test ----
// 1 when the coordinates are vectors (of two dimensions) whose sizes are
// not all equal: separate axes to be expanded with meshgrid.
int automesh(const Mm& x, const Mm& y);
int automesh(const Mm& x, const Mm& y, const Mm& z);
// Always 0, as are isa(x) and isstudent().
int automesh(const Mm& x);
int isa(const Mm& x);
int isstudent();

// ---- small helpers ----
// The Kronecker product; sparse when either operand is.
Mm kron(const Mm& A, const Mm& B);
Mm kron(const Mm& A);
// The trapezoidal integral of y (columns of a matrix) over unit spacing or
// over the abscissae x.
Mm trapz(const Mm& y);
Mm trapz(const Mm& x, const Mm& y);
// The smallest p with 2^p >= |x| (or >= numel(x) for a non-scalar x).
Mm nextpow2(const Mm& x);
// Frequency rows 0 : 2/n : 1 (or the whole circle with a flag), the two
// centred rows of a 2-d grid, or that grid through meshgrid.
Mm freqspace(const Mm& n);
Mm freqspace(const Mm& n, const Mm& flag);
Mm freqspace(const Mm& n, i_o_t, Mm& f1, Mm& f2);
Mm freqspace(const Mm& n, const Mm& flag, i_o_t, Mm& x, Mm& y);
// No equiripple design is provided: the results are constants.
Mm remezf(const Mm& a, const Mm& b, const Mm& c, const Mm& d, const Mm& e);
Mm remezf(const Mm& a, const Mm& b, const Mm& c, const Mm& d, const Mm& e, const Mm& f, i_o_t, Mm& h, Mm& err, Mm& r);

// ---- interpolation ----
// The method of every interpolation call that names none: "linear".
extern Mm default_interp_method;
// interp1(x, y, xi, method): the table y(x) (a vector, or one table per
// column) at xi: 'linear' and 'nearest' give NaN outside the knots, any
// other method is the spline, which extrapolates. Without x, x = 1:n.
Mm interp1(Mm x, Mm y, Mm xi, const Mm& method);
Mm interp1(Mm a, Mm b, Mm c);
Mm interp1(const Mm& y, const Mm& xi);
Mm interp1(const Mm& y);
Mm interp1q(const Mm& x, const Mm& y, const Mm& xi);
// interp2(x, y, z, xi, yi, method): the table z (z(r, c) at x(c), y(r)) at
// the points (xi, yi), expanded to a grid when they are vectors of
// different sizes; bilinear and nearest give NaN outside the grid. Without
// x and y the grid is 1:cols, 1:rows; interp2(z, ntimes, method) refines z
// by halving its steps ntimes times.
Mm interp2(Mm x, Mm y, Mm z, Mm xi, Mm yi, const Mm& method);
Mm interp2(const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi);
Mm interp2(const Mm& z, const Mm& xi, const Mm& yi, const Mm& method);
Mm interp2(const Mm& z, Mm a, Mm b);
Mm interp2(const Mm& z, Mm a);
Mm interp2(const Mm& z);
// interp3: the same in three dimensions (v(r, c, p) at x(c), y(r), z(p)).
Mm interp3(Mm x, Mm y, Mm z, Mm v, Mm xi, Mm yi, Mm zi, const Mm& method);
Mm interp3(const Mm& x, const Mm& y, const Mm& z, const Mm& v, const Mm& xi, const Mm& yi, const Mm& zi);
Mm interp3(const Mm& v, const Mm& xi, const Mm& yi, const Mm& zi, const Mm& method);
Mm interp3(const Mm& v, const Mm& xi, const Mm& yi, const Mm& zi);
Mm interp3(const Mm& a, const Mm& b, const Mm& c, const Mm& d, const Mm& e, const Mm& f);
Mm interp3(const Mm& v, const Mm& ntimes, const Mm& method);
Mm interp3(const Mm& v, const Mm& ntimes);
Mm interp3(const Mm& v);

// ---- Delaunay triangulation and scattered data ----
// The triangles of the points (x, y) as rows of three 1-based point
// numbers, in the order the sweep finds them; 0x3 for fewer than three
// points. opt (any non-empty value) says the points come sorted by y, x.
Mm delaunay(const Mm& x, const Mm& y, const Mm& opt);
Mm delaunay(const Mm& x, const Mm& y);
Mm delaunay(const Mm& x);
// The number of the triangle of delaunay(x, y) that holds each query point
// (NaN outside), and the number of the nearest data point.
Mm tsearch(const Mm& x, const Mm& y, const Mm& tri, const Mm& xi, const Mm& yi);
Mm dsearch(const Mm& x, const Mm& y, const Mm& tri, const Mm& xi, const Mm& yi);
// griddata(x, y, z, xi, yi, method): the surface through the scattered
// points at (xi, yi): 'linear' in the Delaunay triangles (NaN outside the
// hull), 'nearest', or any other method the biharmonic spline. Coincident
// points are averaged and points whose z is NaN dropped (linear, nearest).
Mm griddata(Mm x, Mm y, Mm z, Mm xi, Mm yi, const Mm& method, i_o_t, Mm& XI, Mm& YI, Mm& ZI);
Mm griddata(const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi, i_o_t, Mm& XI, Mm& YI, Mm& ZI);
Mm griddata(const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi, const Mm& method);
Mm griddata(const Mm& x, const Mm& y, const Mm& z, const Mm& xi, const Mm& yi);
