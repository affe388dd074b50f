// The interior-point linear programming solver behind lp: a plain object,
// loaded from triplets or an MPS file, run once and read. It presolves the
// problem, rewrites it in the standard form A x = b, 0 <= x <= u (free
// columns stay free), scales it, and runs Mehrotra's predictor-corrector with Gondzio's centrality
// corrections on the normal equations A Theta A'; postsolve rebuilds x for
// the columns as loaded, and "optimal" is only said of an answer that meets
// the problem as loaded. All work memory is owned by the object.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

struct LpIterate;
class LpNormalMatrix;

struct LpEntry {
    int index;  // row (in a column list) or column (in a row list), 0-based
    double value;
};

class LpSolver {
public:
    // Status codes: 0 running, 1 optimal, 2 infeasible, 3 unbounded,
    // 4 iteration limit, 5 (no longer given: a column without non-zeros is
    // presolved like any other), 6 row counts
    // inconsistent, 7 triplet count inconsistent, 8 file not found, 9 MPS
    // format error, negative: internal failure.
    int status = 0;
    // Whether presolve reduces the problem (off: only the row limits are
    // turned into kinds); set before loading.
    bool reductions = true;

    // triplets: nnz-by-3 column-major doubles (rows, columns, values, 1-based
    // indices); row_kinds: 1 row <= b, 0 row = b, -1 row >= b.
    void load_triplets(int nnz, int m, int n, int n_le, int n_eq, int n_ge, const double* triplets, const double* b,
                       const int* row_kinds, const double* c, const double* l, const double* u);
    void load_mps(const char* name);
    // Reads an MPS file into the object without solving (status 8 or 9 on
    // failure, 0 otherwise).
    void read_mps_only(const char* name);
    void release();

    // After a run with status 1: one value per loaded column, and one
    // multiplier per loaded row, those of the rows presolve removed
    // recovered by postsolve (a row dropped as dependent, or one that can
    // never bind, has 0). Sign: c + A' y minus the bound multipliers is
    // zero.
    int loaded_rows() const { return m0_; }
    int loaded_cols() const { return n0_; }
    const std::vector<double>& x() const { return x_out_; }
    const std::vector<double>& y() const { return y_out_; }
    double objective() const { return objective_; }
    // Per loaded row: 1 when the row survived presolve and was not dropped
    // as dependent (its multiplier comes from the iterations).
    const std::vector<char>& rows_kept() const { return rows_kept_; }
    // Of the solve that gave the answer.
    int iterations() const { return iter_; }

    // Internal steps, public for the tests of the presolve and the reader.
    struct Record {
        int col;    // working column at the time of the record
        int code;   // 3 fixed, 4 singleton row, 11+k eliminated, 1 negated, 2 shifted, 6 split
        double value;
        int index;  // partner column for code 6
        std::vector<LpEntry> coef;  // codes 4, 11+k: own coefficient first, then the others
        double lo = 0, hi = 0;      // code 11+k: the row's limits and the column's
        double lj = 0, uj = 0;      // bounds when it was taken out (code 4: the
                                    // column's bounds before the row's, lo/hi the row's)
        // What the multipliers are rebuilt from: the row taken out (-1
        // none; a slack's row stays), and for a column taken out its cost
        // and its entries in the other rows at that time.
        int row = -1;
        bool row_removed = false;
        double cost = 0;
        std::vector<LpEntry> column = {};
        // Doubleton rows: the column that took over the bounds, with its
        // entry and its bounds before and after.
        int partner = -1;
        double a_partner = 0, partner_lo = 0, partner_hi = 0, taken_lo = 0, taken_hi = 0;
    };

    // ---- the problem in its working form ----
    int m_ = 0, n_ = 0;
    std::vector<std::vector<LpEntry>> cols_;  // per column: (row, value)
    std::vector<double> b_, c_, l_, u_;
    std::vector<int> kind_;  // 1 <=, 0 =, -1 >=, 10 + k range k
    std::vector<double> range_lo_, range_hi_;
    std::vector<int> row_id_;  // working row -> loaded row
    std::vector<int> col_id_;  // working column -> loaded column (-1: added)
    std::vector<Record> stack_;
    double obj_const_ = 0;
    int standard_cols_ = 0;  // columns before standard form (kept columns)
    int presolve_records_ = 0;
    // Presolve took out a column whose cost pulls it toward an infinite
    // bound with nothing to hold it back: optimal for the rest means
    // unbounded.
    bool unbounded_if_feasible_ = false;
    // Those columns (loaded numbers), each with the way it is pulled: 1
    // up, -1 down.
    std::vector<std::pair<int, int>> pulled_out_;

    // MPS names (kept for the caller; freed by release)
    std::vector<std::string> row_names_, col_names_;
    FILE* file_ = nullptr;

private:
    void reset();
    void run();
    // The solves of the problem as loaded, and the checks of their answer.
    void solve_loaded();
    // A row of one entry folded into its column's bounds: l and u are the
    // column's bounds before, x_lo and x_hi the row's limits as bounds.
    struct FoldedRow {
        int row, col;
        double a, l, u, x_lo, x_hi;
    };
    // Folds every row of one entry into its column's bounds and leaves the
    // row empty (0 <= 0); status 2 where a folded bound leaves a column no
    // value.
    std::vector<FoldedRow> fold_singleton_rows();
    // Gives each folded row the multiplier of its bound where that bound
    // was the tighter one and holds the answer.
    void unfold_multipliers(const std::vector<FoldedRow>& folded);
    // A problem whose rows fall into parts that share no column is solved
    // part by part; false (nothing done) for a problem of one part.
    bool solve_by_parts();
    // One solve of the loaded problem under the bounds l and u (and zero
    // costs when asked): presolve, standard form, iterations and, when
    // optimal, postsolve.
    void solve_once(const std::vector<double>& l, const std::vector<double>& u, bool zero_cost);
    // The finish of a solve that found no answer where the optimum lies on
    // bounds far beyond the rest of the data: the columns named (column, 1
    // upper, -1 lower) are measured from those bounds, which moves their
    // terms into the right-hand sides, and the problem is solved again in
    // the units of what is left; its answer, taken back, is checked. True
    // with x, y and the objective set when it holds.
    bool finish_on_bounds(const std::vector<std::pair<int, int>>& at);
    // The finish of a solve whose last answer missed its check where
    // columns sit far beyond the size of the rest, inside their box: each
    // is measured from the value it has (on a bound, from the bound), and
    // the problem is solved again in the units of what is left.
    bool finish_from_point(const std::vector<double>& x);
    // The problem solved with the columns of side measured from origin (1
    // down from an upper bound, -1 up from a lower one, 3 either way from
    // an inner value); its answer, taken back, is checked.
    bool solve_measured_from(const std::vector<double>& origin, const std::vector<int>& side);
    // An answer that missed its check by a few digits, mended: its columns
    // within rounding of a bound are put on it, and the others moved by
    // the least change that puts the rows it meets with equality, or
    // misses, on their limits. True, with x and the objective mended,
    // when the answer then holds; otherwise nothing changes.
    bool polish();
    // Whether the answer meets every loaded row and bound, each within a
    // relative tolerance of the size of its terms, and its objective the
    // iterations' dual bound within a relative gap.
    bool answer_holds() const;
    // The lower and upper limit of loaded row i (+-1e20 where it has none).
    std::pair<double, double> limits_of(int i) const;
    // Whether a point meets every loaded row and bound so (false for one
    // of another length).
    bool point_holds(const std::vector<double>& x) const;
    // Whether the point a solve ran out to shows a ray of the problem as
    // given: a direction that keeps every row (0 on equalities, the right
    // side of 0 on limits), crosses no finite bound and lowers the cost.
    bool recedes(const std::vector<double>& ray) const;
    // Whether d is such a direction, each row and the cost judged against
    // the size of their terms.
    bool along_ray(const std::vector<double>& d) const;
    // Whether the problem as given has such a direction, found as a point
    // of the problem of directions that lower the cost by 1.
    bool has_ray() const;
    // Whether the problem as given has a point, found by a solve without
    // costs and checked; the point is left in x_out_.
    bool has_point();
    // The loaded bounds narrowed to k times each column's size where that
    // leaves the column room: per column 1 where a lower side was added, 2
    // where an upper one was, 3 for both.
    std::vector<char> box_of_size(double k, std::vector<double>& l, std::vector<double>& u) const;
    // The problem solved in boxes of growing size, until its optimum lies
    // inside one, clear of the sides the box added; whether it did.
    bool finish_in_box();
    // A row taken back as what it adds to the rows it nearly copies (in
    // the iterations' scaled units): its own row and scale, the size it
    // was divided by, and the combination z of the kept rows taken off.
    struct NearCopy {
        int row;
        double scale;
        double size;
        std::vector<double> z;
    };
    static bool take_back_near_copies(LpIterate& it, LpNormalMatrix& nm, const std::vector<int>& from,
                                      const std::vector<double>& scale, std::vector<std::vector<LpEntry>>& rows,
                                      std::vector<double>& b, std::vector<NearCopy>& taken);
    bool load_triplet_arrays(int nnz, int m, int n, int n_le, int n_eq, int n_ge, const double* triplets,
                             const double* b, const int* row_kinds, const double* c, const double* l, const double* u);
    bool read_mps(const char* name);

public:
    void clean_tiny_entries();
    void clean_tiny();
    void merge_duplicates();
    void presolve();
    void standard_form();
    void iterate();
    void postsolve();
    // The standard-form point xs_ in the working problem's columns as
    // loaded (x_out_), through every record.
    void postsolve_primal();
    void postsolve_duals();

private:
    int m0_ = 0, n0_ = 0;
    int iter_ = 0;
    int pivot_limit_ = 5;
    double objective_ = 0, dual_objective_ = 0;
    std::vector<double> x_out_, y_out_;
    // A solve that ended infeasible or without an answer: its last point,
    // in the loaded units. Where a problem said infeasible has points, the
    // solve went out along a ray, whose columns show which of the bounds
    // left out the problem needs.
    std::vector<double> last_x_;
    // A solve of the problem as loaded that ended without an answer: the
    // point it was left at (in the loaded units), where a finish starts.
    std::vector<double> near_;
    // Whether near_ is an answer the iterations reached that missed its
    // check, rather than a point they stalled at.
    bool near_is_answer_ = false;
    std::vector<char> rows_kept_, standard_row_kept_;
    std::vector<double> xs_, ys_;  // standard-form solution (x per column, y per row)
    std::vector<double> c0_;       // costs as presolve found them
    // The problem as loaded (entries named twice added up): every solve
    // starts from it and the answer is checked against it.
    struct Loaded {
        std::vector<std::vector<LpEntry>> cols;
        std::vector<double> b, c, l, u, range_lo, range_hi;
        std::vector<int> kind;
    };
    Loaded loaded_;
    // The scaling a solve works in: entry a_ij becomes a_ij / (r_i q_j),
    // b_i becomes b_i / (r_i beta), c_j becomes c_j / (q_j gamma), a
    // bound v of column j becomes v q_j / beta. The largest right-hand
    // side and cost once rows and columns are scaled are the sizes beta
    // and gamma are taken from.
    std::vector<double> row_scale_, col_scale_;
    double rhs_size_ = 1, cost_size_ = 0;
    // Whether a solve without an answer may be finished from the bounds
    // that came back (not in the solve of that finish itself).
    bool may_finish_ = true;
    // Whether a solve takes rows that nearly copy others back as what they
    // add to them, and whether one has since the flag was cleared.
    bool take_near_copies_ = true;
    bool took_near_copies_ = false;
    double beta_ = 1, gamma_ = 1;
    // The size of an ordinary right-hand side in the units of the solve:
    // 1, or less where large bounds in play set the units. Every
    // tolerance and floor on primal values is taken in it.
    double unit_ = 1;
    // Per loaded column, the size of its values the data gives: the
    // largest scaled right-hand side over its factor, or a bound that
    // keeps it away from 0.
    std::vector<double> size_;
    std::vector<double> lo_, hi_;  // row activity limits during presolve
};

// The status text of lp: printed through the print hook when display >= 0;
// returns "ok", "infeasible", "unbounded" or null for the other codes.
const char* lp_status_message(int status, int display);
