// The Hessenberg QR iterations' shared parts: the problem they work on (a
// real or a split complex matrix, fields.hpp); the small-block iteration
// of each field (the double shift on real matrices, real_qr_kernels.cpp,
// the single shift on complex ones, complex_qr_kernels.cpp), which also
// finishes small blocks and the deflation windows of the multishift
// iteration that both fields share (multishift_qr.cpp); and the way a real
// converged 2-by-2 block is settled.
#pragma once

#include "linalg/fields.hpp"
#include "linalg/kernel_access.hpp"

#include <algorithm>
#include <cstddef>

// values: eigenvalues only, updates kept to the active block (hqr,
// comqr); vectors and schur: the whole matrix kept consistent and the
// transformations accumulated in z (hqr2, real_schur_qr, comqr2,
// complex_schur_qr); real schur also leaves an exact zero under a 2-by-2
// block rotated to triangular form.
enum class qr_kind { values, vectors, schur };

// What an iteration works on: h of order n, the eigenvalues going to wr
// and wi (1-based, the index of their diagonal place), and rows iloz..ihiz
// of z taking the transformations (not read for values; an empty range
// leaves z alone).
template <class F>
struct qr_problem {
    typename F::matrix h, z;
    vector_view<double> wr, wi;
    std::ptrdiff_t n, iloz, ihiz;
    // Complex: the modulus of the single shift's rotations is the scaled
    // three-term one of complex_schur_qr.
    bool three_term_modulus = false;
};
using real_qr_problem = qr_problem<field::real_field>;
using complex_qr_problem = qr_problem<field::complex_field>;

// The small-block iterations on the unreduced part of rows and columns
// ktop..kbot: return 0, or the index of the eigenvalue whose iterations
// ran out (those below it are found; the block is left as a similarity of
// the one given).
template <qr_kind Kind>
int double_shift_qr(const real_qr_problem& p, std::ptrdiff_t ktop, std::ptrdiff_t kbot);
template <qr_kind Kind>
int single_shift_qr(const complex_qr_problem& p, std::ptrdiff_t ktop, std::ptrdiff_t kbot);

// The eigenvalues of the converged real 2-by-2 block in rows and columns
// en-1, en; unless Kind is values a real pair's block is rotated to upper
// triangular form through the whole matrix and z.
template <qr_kind Kind>
void settle_pair(const real_qr_problem& p, std::ptrdiff_t en);

// The small-bulge multishift iteration with aggressive early deflation on
// rows and columns ilo..ihi; ierr as the small-block iterations.
// work: multishift_work_size<F>(n) doubles.
template <class F, qr_kind Kind>
int multishift_qr(const qr_problem<F>& p, std::ptrdiff_t ilo, std::ptrdiff_t ihi, double* work);
template <class F>
std::ptrdiff_t multishift_work_size(std::ptrdiff_t n);

// Within the multishift iteration, an active block or a deflation window
// of this order or less goes the small-block way.
constexpr std::ptrdiff_t multishift_order = 75;

// The back substitution for the eigenvectors of a triangular (or quasi-
// triangular) form divides by T(i,i) - λ. Where that is below rounding of
// λ itself (equal eigenvalues: a defective one) it divides by this instead,
// as LAPACK's dtrevc does. A stand-in relative to the norm of the whole
// matrix is far too large when balancing grows one coupling: then the
// columns of a Jordan chain came back as the chain's other basis vectors.
// `size` is |λ| (|Re λ| + |Im λ| for a complex one); n the order.
inline double smallest_divisor(double size, std::ptrdiff_t n) noexcept
{
    constexpr double ulp = 0x1p-52, smallest_normal = 0x1p-1022;
    return std::max(ulp * size, smallest_normal * (double(n) / ulp));
}

// A solved entry r/t with |t| below 1 is kept from overflowing: when |r|
// passes |t| times this, the vector found so far is scaled down by |r|
// first (only its direction matters).
inline constexpr double divisor_headroom = 0x1p+900;
