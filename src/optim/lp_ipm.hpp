// The interior-point iterate of the LP solver and its normal equations,
// shared by the driver (lp_solver.cpp) and the search direction
// (lp_direction.cpp). Standard form: A x = b, x + w = u on bounded columns,
// dual A'y - z + s = sigma c with sigma = -1.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

struct LpIterate {
    int m = 0, n = 0;
    std::vector<int> colptr, rowidx;  // A by columns, 0-based
    std::vector<double> val;
    std::vector<double> b, c, u;  // u >= 1e20: unbounded column
    std::vector<char> bounded;
    // Per column, 1 for a free column: no bound and no dual (z stays 0),
    // so nothing but its regularisation rho weighs it, theta =
    // max(|x|, unit) / rho (empty: no free column).
    std::vector<char> free;
    std::vector<double> x, w, y, z, s;
    std::vector<double> dx, dw, dy, dz, ds;
    double alpha_p = 0, alpha_d = 0;
    double mu = 0;
    double primal = 0, dual = 0, gap = 0;
    int iteration = 0;
    int corrections = -1;           // K, fixed at the first iteration
    int pivot_limit = 5;            // postponed pivots per factorisation
    std::vector<double> column_max;  // max |a_ij| per column
    // Per column, a primal regularisation rho > 0 of its weight,
    // 1/theta = z/x + rho (empty: none); a free column's sets its weight.
    std::vector<double> rho;
    double sum_b = 0;
    // The size of an ordinary right-hand side in these units (1, or less
    // where large bounds set them): the floors and tolerances of primal
    // values are taken in it.
    double unit = 1;
};

// out := A Theta A' v, with u as scratch of n.
void lp_normal_product(const LpIterate& it, const double* theta, const double* v, double* out, std::vector<double>& u);

// Scratch of the conjugate gradients below.
struct LpCgScratch {
    std::vector<double> x, r, z, p, q, u;
};

// v := (A Theta A')^-1 v by conjugate gradients, z := M^-1 z applied in
// place by precondition(z), to a residual of `tolerance` relative to v's
// (both in the 2-norm); false (v unchanged) when `limit` steps do not
// reach it, a step loses positivity or memory runs out.
template <class Precondition>
bool lp_conjugate_gradients(const LpIterate& it, const double* theta, double* v, int limit, double tolerance,
                            LpCgScratch& s, Precondition&& precondition)
{
    const int m = it.m;
    try {
        s.x.assign(m, 0.0);
        s.r.assign(v, v + m);
        s.z.assign(v, v + m);
        s.p.resize(m);
        s.q.resize(m);
        s.u.resize(it.n);
    } catch (const std::bad_alloc&) {
        return false;
    }
    double bb = 0;
    for (int i = 0; i < m; ++i)
        bb += v[i] * v[i];
    if (bb == 0)
        return true;
    const double stop = tolerance * tolerance * bb;
    precondition(s.z.data());
    s.p.assign(s.z.begin(), s.z.end());
    double rz = 0;
    for (int i = 0; i < m; ++i)
        rz += s.r[i] * s.z[i];
    for (int k = 0; k < limit; ++k) {
        lp_normal_product(it, theta, s.p.data(), s.q.data(), s.u);
        double pq = 0;
        for (int i = 0; i < m; ++i)
            pq += s.p[i] * s.q[i];
        if (!(pq > 0) || !std::isfinite(rz))
            return false;
        const double alpha = rz / pq;
        double rr = 0;
        for (int i = 0; i < m; ++i) {
            s.x[i] += alpha * s.p[i];
            s.r[i] -= alpha * s.q[i];
            rr += s.r[i] * s.r[i];
        }
        if (rr <= stop) {
            std::copy(s.x.begin(), s.x.end(), v);
            return true;
        }
        s.z.assign(s.r.begin(), s.r.end());
        precondition(s.z.data());
        double rz_next = 0;
        for (int i = 0; i < m; ++i)
            rz_next += s.r[i] * s.z[i];
        const double beta = rz_next / rz;
        rz = rz_next;
        for (int i = 0; i < m; ++i)
            s.p[i] = s.z[i] + beta * s.p[i];
    }
    return false;
}

// The normal matrix A Theta A' factorised as P (L D L') P'. The analysis
// (row-ordered copy of A, approximate minimum-degree ordering with
// indistinguishable rows merged, symbolic factorisation with supernodes)
// runs once per row set; every factorisation refills the values in the same
// structure.
//
// A few dense columns would fill the whole factor: they are kept out of
// it, and their term V V' (V = A_d Theta_d^1/2) comes back through the
// Woodbury identity, as the preconditioner of conjugate gradients on the
// whole matrix, so that every solve is checked against A Theta A' itself.
// Where the rest is singular (a row met only by dense columns), or the
// iterations do not reach their tolerance, the whole matrix is analysed and
// factorised after all, and answers from then on.
class LpNormalMatrix {
public:
    // The conjugate gradients around the Woodbury identity: with an exact
    // rest they converge in a step or two.
    static constexpr int woodbury_steps = 10;
    static constexpr double woodbury_tolerance = 1e-10;

    // Ordering and symbolic factorisation of the pattern of A A' (of its
    // columns that are not dense, with `split`). Returns 0, or -1 .. -3 for
    // an inconsistent symbolic structure (the first one also prints
    // "DEBUG: ") and -4 for corrupted ordering lists; -7 when memory runs
    // out.
    int analyse(const LpIterate& it, bool split = true);
    // The same for the whole matrix in a given elimination order
    // (elimination[k] is the row eliminated k-th).
    int analyse_in_order(const LpIterate& it, const std::vector<int>& elimination);
    // Forms and factorises A Theta A'. On the first factorisation
    // (mark_dependent) a pivot below 1e-10 marks its row as dependent;
    // later ones postpone up to pivot_limit pivots that are small against
    // their diagonal and then drop those below 1e-12. Returns false only
    // when memory runs out.
    bool factor(const LpIterate& it, const double* theta, bool mark_dependent, int pivot_limit = 0);
    // v := (A Theta A')^+ v in the original row numbering, from the last
    // factorisation; dropped and dependent components come out 0. False
    // only when memory runs out.
    bool solve(double* v);
    // The columns kept out of the factor, while they are.
    const std::vector<int>& dense_columns() const { return whole_active_ ? no_columns_ : dense_; }
    const std::vector<char>& dependent() const { return whole_active_ ? whole_->dependent() : dependent_; }
    int dependent_count() const { return whole_active_ ? whole_->dependent_count() : dependent_count_; }
    // Entries below the diagonal of each column of L, in elimination order.
    const std::vector<int>& column_counts() const { return whole_active_ ? whole_->column_counts() : count_; }
    // Of the last factorisation.
    int postponed_count() const
    {
        return whole_active_ ? whole_->postponed_count() : static_cast<int>(post_.size());
    }
    int dropped_count() const { return whole_active_ ? whole_->dropped_count() : dropped_count_; }
    std::size_t factor_entries() const { return whole_active_ ? whole_->factor_entries() : value_size_; }
    // The elimination order: perm()[k] is the row eliminated k-th.
    const std::vector<int>& perm() const { return whole_active_ ? whole_->perm() : perm_; }

private:
    void choose_dense(const LpIterate& it);
    bool factor_kept(const LpIterate& it, const double* theta, bool mark_dependent);
    void solve_kept(double* v) const;
    bool prepare_woodbury(const LpIterate& it, const double* theta);
    void woodbury(double* z) const;
    bool factor_whole(const LpIterate& it, const double* theta, bool mark_dependent);

    int copy_rows(const LpIterate& it, bool split);
    int finish_analysis(const LpIterate& it);
    std::vector<int> dense_rows_last(const LpIterate& it) const;
    int order(const LpIterate& it);
    void set_order(std::vector<int>& perm);
    int symbolic(const LpIterate& it);
    void postponed_update(int k, const double* lcol, const int* rows, int count, double d);
    void factor_columns(double* B, const int* R, int nr, int f, int t0, int t1, bool mark_dependent);
    void update_columns(double* B, int nr, int f, int t0, int mid, int t1);
    void flush_batch(double* B, int nr, int nc);

    int m_ = 0;
    std::vector<int> rowptr_, colidx_;  // row-ordered copy of A (column numbers)
    std::vector<double> rowval_;
    std::vector<int> perm_, invp_;     // elimination order and its inverse
    std::vector<int> count_;           // column counts below the diagonal
    std::vector<int> adj_ptr_, adj_;   // pattern of A A' below the diagonal, by permuted column
    // Supernodes: columns first_[s] .. first_[s+1]-1 share the row list
    // rows_[rptr_[s] .. rptr_[s+1]) (their own columns first) and hold a
    // dense column-major block of nr x nc values at vptr_[s].
    std::vector<int> first_, rptr_, rows_, super_of_;
    std::vector<std::size_t> vptr_;
    std::size_t value_size_ = 0;
    std::vector<double> val_, d_, diag_;
    std::vector<char> dropped_, dependent_;
    int dependent_count_ = 0, dropped_count_ = 0;
    // Postponed pivots: their elimination positions, their rows of L over
    // the other columns (dense, length m) and the factor of their block.
    std::vector<int> post_;
    std::vector<double> post_rows_, post_block_, post_d_;
    std::vector<char> post_dropped_;
    int post_limit_ = 0;
    double drop_below_ = 1e-12;  // a pivot below it is dropped once none can be postponed
    std::vector<int> pos_, link_, next_row_, at_;
    std::vector<double> work_, upd_;
    // Columns of the supernodes below, spread out to a large block's rows
    // (scaled by their pivots) and to its columns, awaiting one product.
    static constexpr int batch_limit = 64;
    std::vector<double> batch_e_, batch_v_;
    int batch_cols_ = 0;
    mutable std::vector<double> solve_work_;
    // The dense columns kept out and, for the solves of one factorisation,
    // the problem and Theta it was made with, W = S^-1 V (m x k, S the
    // factor of the rest) and the Cholesky factor of I + V' W.
    std::vector<int> dense_;
    const std::vector<int> no_columns_{};
    const LpIterate* it_ = nullptr;
    std::vector<double> theta_, v_, w_, cap_;
    mutable std::vector<double> t_;
    int pivot_limit_ = 0;
    LpCgScratch cg_;
    std::vector<double> rhs_;
    // The analysis of every column, made when first needed; it answers
    // while whole_active_. Two failures of the split in a row leave it
    // answering.
    std::unique_ptr<LpNormalMatrix> whole_;
    bool whole_active_ = false;
    int split_failures_ = 0;
};

// The normal equations of a problem whose columns hold at most two entries
// each, solved by conjugate gradients preconditioned with the spanning
// forest of the largest weights (exact on the forest, the diagonal of the
// rest kept). A solve that does not converge reports so, and the caller
// factorises instead; two such iterations in a row end its use.
class LpTreePcg {
public:
    static constexpr double tolerance = 1e-10;  // on the residual, relative to the right-hand side

    // Whether A has the shape, and its normal matrix a factor dear enough
    // (from the column counts of its factor) for the iterations to pay.
    void start(const LpIterate& it, const std::vector<int>& column_counts);
    bool usable() const { return usable_; }
    // The forest's factor for this Theta; false when a tree lacks support
    // or memory runs out.
    bool prepare(const LpIterate& it, const double* theta);
    // v := (A Theta A')^-1 v to the tolerance; false (v unchanged) when the
    // iterations run out first.
    bool solve(const LpIterate& it, const double* theta, double* v);
    // An iteration's outcome, for the choice of the next ones.
    void record(bool converged);
    // Steps of one solve before it gives up (150).
    void set_iteration_limit(int steps) { iteration_limit_ = steps; }

private:
    struct Link {
        int to, column, next;
    };
    void precondition(double* z) const;

    bool usable_ = false;
    int failures_ = 0;
    int iteration_limit_ = 150;
    std::vector<int> edges_, root_, head_, order_, parent_;
    std::vector<char> in_tree_;
    std::vector<Link> link_;
    // Per row: the diagonal outside its parent edge, and the parent edge's
    // terms at the row, across and at the parent.
    std::vector<double> weight_, e_, own_, across_, far_, d_, l_;
    LpCgScratch cg_;
};

// The rows the first factorisation of A A' would find dependent, for an A
// whose columns hold at most two entries: one row of each connected set of
// rows that no column of one entry anchors and whose columns all balance.
// False when A has another shape or the balance cannot be told in doubles.
bool lp_network_dependent_rows(const LpIterate& it, std::vector<char>& dependent);


// Step lengths of a direction: the largest alpha <= 1 keeping x, w (and z, s)
// non-negative; a free column's x sets no limit.
void lp_step_lengths(const LpIterate& it, const double* dx, const double* dw, const double* dz, const double* ds,
                     double& alpha_p, double& alpha_d);

// The direction of one iteration (predictor, corrector, centrality
// corrections) into it.dx .. it.ds; it.mu holds the target used.
// The normal equations go to pcg while it is usable and converges, to nm
// otherwise.
bool lp_direction(LpIterate& it, LpNormalMatrix& nm, LpTreePcg& pcg);
