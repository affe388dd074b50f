// The real Hessenberg QR iteration's parts that its two forms share: the
// double-shift iteration on one block (real_qr_kernels.cpp), which also
// finishes small blocks and the deflation windows of the multishift form
// (real_multishift_qr.cpp), and the way both settle a converged 1-by-1 or
// 2-by-2 block.
#pragma once

#include "linalg/kernel_access.hpp"

#include <cstddef>

// values: eigenvalues only, updates kept to the active block (hqr);
// vectors and schur: the whole matrix kept consistent and the
// transformations accumulated in z (hqr2, real_schur_qr); schur also
// leaves an exact zero under a 2-by-2 block rotated to triangular form.
enum class real_qr { values, vectors, schur };

// What an iteration works on: h of order n, the eigenvalues going to wr
// and wi (1-based, the index of their diagonal place), and rows iloz..ihiz
// of z taking the transformations (not read for values).
struct real_qr_problem {
    matrix_view<double> h, z;
    vector_view<double> wr, wi;
    std::ptrdiff_t n, iloz, ihiz;
};

// The double-shift iteration on the unreduced part of rows and columns
// ktop..kbot: returns 0, or the index of the eigenvalue whose iterations
// ran out (those below it are found).
template <real_qr Kind>
int double_shift_qr(const real_qr_problem& p, std::ptrdiff_t ktop, std::ptrdiff_t kbot);

// The eigenvalues of the converged 2-by-2 block in rows and columns en-1,
// en; unless Kind is values a real pair's block is rotated to upper
// triangular form through the whole matrix and z.
template <real_qr Kind>
void settle_pair(const real_qr_problem& p, std::ptrdiff_t en);

// The small-bulge multishift iteration with aggressive early deflation on
// rows and columns ilo..ihi; ierr as double_shift_qr.
// work: real_qr_work_size(n) doubles.
template <real_qr Kind>
int multishift_qr(const real_qr_problem& p, std::ptrdiff_t ilo, std::ptrdiff_t ihi, double* work);

// Within the multishift iteration, an active block or a deflation window
// of this order or less goes the double-shift way.
constexpr std::ptrdiff_t multishift_order = 75;
