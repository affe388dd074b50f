// Every call into SuperLU: the factorisation with a caller's column order
// and the extraction of its supernodal factors, and the direct solve. Its
// structures are held by guards, so they are released on every path.
#include "linalg/sparse_lu.hpp"

#include "platform/blas_threads.hpp"

#include <slu_ddefs.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A compressed-column view of a's arrays; SuperLU reads them, never writes.
struct wrapped {
    SuperMatrix m{};
    explicit wrapped(const ccs_matrix& a)
    {
        dCreate_CompCol_Matrix(&m, a.rows, a.cols, int(a.v.size()), const_cast<double*>(a.v.data()),
                               const_cast<int*>(a.ir.data()), const_cast<int*>(a.jc.data()), SLU_NC, SLU_D, SLU_GE);
    }
    ~wrapped() { Destroy_SuperMatrix_Store(&m); }
};

struct permuted {
    SuperMatrix m{};
    bool made = false;
    ~permuted()
    {
        if (made)
            Destroy_CompCol_Permuted(&m);
    }
};

struct factors {
    SuperMatrix L{}, U{};
    bool made = false;
    ~factors()
    {
        if (made) {
            Destroy_SuperNode_Matrix(&L);
            Destroy_CompCol_Matrix(&U);
        }
    }
};

struct stats {
    SuperLUStat_t s{};
    stats() { StatInit(&s); }
    ~stats() { StatFree(&s); }
};

// L's and U's columns from SuperLU's supernodal L and compressed-column U.
// Only entries equal to 0 are dropped (a NaN is kept); L gets its unit
// diagonal explicitly.
void superlu_extract_factors(const SuperMatrix& L, const SuperMatrix& U, int n, ccs_matrix& l, ccs_matrix& u)
{
    const SCformat* ls = static_cast<const SCformat*>(L.Store);
    const NCformat* us = static_cast<const NCformat*>(U.Store);
    const double* lval = static_cast<const double*>(ls->nzval);
    const double* uval = static_cast<const double*>(us->nzval);
    l = ccs_matrix{n, n, {}, {0}, {}};
    u = ccs_matrix{n, n, {}, {0}, {}};
    for (int k = 0; k <= ls->nsuper; ++k) {
        const int first = ls->sup_to_col[k], last = ls->sup_to_col[k + 1];
        const int istart = ls->rowind_colptr[first];
        const int nsupr = ls->rowind_colptr[first + 1] - istart;
        for (int j = first; j < last; ++j) {
            const int e = j - first + 1;
            const double* col = lval + ls->nzval_colptr[j];
            for (int p = us->colptr[j]; p < us->colptr[j + 1]; ++p)
                if (uval[p] != 0) {
                    u.ir.push_back(us->rowind[p]);
                    u.v.push_back(uval[p]);
                }
            for (int i = 0; i < e; ++i)
                if (col[i] != 0) {
                    u.ir.push_back(ls->rowind[istart + i]);
                    u.v.push_back(col[i]);
                }
            l.ir.push_back(ls->rowind[istart + e - 1]);
            l.v.push_back(1.0);
            for (int i = e; i < nsupr; ++i)
                if (col[i] != 0) {
                    l.ir.push_back(ls->rowind[istart + i]);
                    l.v.push_back(col[i]);
                }
            l.jc.push_back(int(l.v.size()));
            u.jc.push_back(int(u.v.size()));
        }
    }
}

} // namespace

int superlu_factor(const ccs_matrix& a, int* perm_c, int* perm_r, ccs_matrix& L, ccs_matrix& U)
{
    const int n = a.cols;
    superlu_options_t options;
    set_default_options(&options);
    options.Fact = DOFACT;
    options.DiagPivotThresh = 1.0;
    // Keeps the caller's column order: otherwise the elimination tree's
    // postorder permutes the columns, and P*A = L*U with triangular factors
    // would not hold.
    options.SymmetricMode = YES;
    wrapped A(a);
    std::vector<int> etree(std::size_t(n) + 1);
    int* pc = perm_c;
    permuted AC;
    sp_preorder(&options, &A.m, pc, etree.data(), &AC.m);
    AC.made = true;
    stats stat;
    factors f;
    GlobalLU_t glu{};
    int info = 0;
    // SuperLU's BLAS calls are per supernode, small: one thread.
    const blas_single_thread serial;
    dgstrf(&options, &AC.m, sp_ienv(2), sp_ienv(1), etree.data(), nullptr, 0, pc, perm_r, &f.L, &f.U, &glu,
           &stat.s, &info);
    if (info < 0 || info > n)
        return info;
    f.made = true;
    superlu_extract_factors(f.L, f.U, n, L, U);
    return info;
}

int superlu_solve(const ccs_matrix& a, const int* perm_c, double* b, int ldb, int nrhs, bool augmented, double* rcond)
{
    const int n = a.cols;
    superlu_options_t options;
    set_default_options(&options);
    // The caller's order, or COLAMD's fill-reducing one when none is given.
    options.ColPerm = perm_c ? MY_PERMC : COLAMD;
    if (augmented && !perm_c) {
        // [s*I A; A' 0]: a minimum-degree order of A'+A takes the residual's
        // unknowns (one neighbour per entry of their row) first, and a
        // threshold of 1/1000 accepts their pivots s (max|A|/1000), so what
        // is left is of A'A's size. Partial pivoting would chase A's larger
        // entries instead and fill the whole system.
        options.ColPerm = MMD_AT_PLUS_A;
        options.SymmetricMode = YES;
        options.DiagPivotThresh = 0.001;
    }
    wrapped A(a);
    SuperMatrix B{};
    dCreate_Dense_Matrix(&B, a.rows, nrhs, b, ldb, SLU_DN, SLU_D, SLU_GE);
    std::vector<int> pc(std::size_t(n) + 1), pr(std::size_t(n) + 1);
    if (perm_c)
        std::copy(perm_c, perm_c + n, pc.begin());
    stats stat;
    factors f;
    int info = 0;
    const blas_single_thread serial;
    dgssv(&options, &A.m, pc.data(), pr.data(), &f.L, &f.U, &B, &stat.s, &info);
    f.made = info >= 0 && info <= n;
    Destroy_SuperMatrix_Store(&B);
    if (rcond) {
        *rcond = 0;
        if (info == 0) {
            // The 1-norm of A: its permutations leave it as it is.
            double anorm = 0;
            for (int j = 0; j < a.cols; ++j) {
                double sum = 0;
                for (int p = a.jc[j]; p < a.jc[j + 1]; ++p)
                    sum += std::fabs(a.v[p]);
                anorm = std::max(anorm, sum);
            }
            char norm[] = "1";
            int cinfo = 0;
            dgscon(norm, &f.L, &f.U, anorm, rcond, &stat.s, &cinfo);
        }
    }
    return info;
}

void superlu_fill_reducing_order(const ccs_matrix& a, int* perm_c)
{
    wrapped A(a);
    get_perm_c(COLAMD, &A.m, perm_c);
}
