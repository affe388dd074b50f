// The interior-point iterate of the LP solver and its normal equations,
// shared by the driver (lp_solver.cpp) and the search direction
// (lp_direction.cpp). Standard form: A x = b, x + w = u on bounded columns,
// dual A'y - z + s = sigma c with sigma = -1.
#pragma once

#include <vector>

struct LpIterate {
    int m = 0, n = 0;
    std::vector<int> colptr, rowidx;  // A by columns, 0-based
    std::vector<double> val;
    std::vector<double> b, c, u;  // u >= 1e20: unbounded column
    std::vector<char> bounded;
    std::vector<double> x, w, y, z, s;
    std::vector<double> dx, dw, dy, dz, ds;
    double alpha_p = 0, alpha_d = 0;
    double mu = 0;
    double primal = 0, dual = 0, gap = 0;
    int iteration = 0;
    int corrections = -1;           // K, fixed at the first iteration
    std::vector<double> column_max;  // max |a_ij| per column
    double sum_b = 0;
};

// L D L' of A Theta A', dense in the natural row order. Pivots that vanish
// are dropped: their component of every solution is 0.
class LpNormalMatrix {
public:
    // Forms and factorises A Theta A'. On the first factorisation (rows not
    // yet checked) a pivot below 1e-10 marks its row as dependent; returns
    // false only when memory runs out.
    bool factor(const LpIterate& it, const double* theta, bool mark_dependent);
    void solve(double* v) const;
    const std::vector<char>& dependent() const { return dependent_; }
    int dependent_count() const { return dependent_count_; }

private:
    int m_ = 0;
    std::vector<double> l_;  // m x m, column-major, unit lower triangle below the diagonal
    std::vector<double> d_;
    std::vector<char> dropped_, dependent_;
    std::vector<double> work_;
    int dependent_count_ = 0;
};

// Step lengths of a direction: the largest alpha <= 1 keeping x, w (and z, s)
// non-negative.
void lp_step_lengths(const LpIterate& it, const double* dx, const double* dw, const double* dz, const double* ds,
                     double& alpha_p, double& alpha_d);

// The direction of one iteration (predictor, corrector, centrality
// corrections) into it.dx .. it.ds; it.mu holds the target used.
bool lp_direction(LpIterate& it, LpNormalMatrix& nm);
