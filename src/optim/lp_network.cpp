// Normal equations of network problems by preconditioned conjugate
// gradients. When every column of A holds at most two entries, A Theta A'
// is a weighted graph on the rows, and the columns of largest weight form a
// spanning forest whose matrix factorises without any fill. As the
// iterates converge the weights split into the large ones of the basic
// columns (a spanning tree, for a network) and vanishing ones of the rest,
// so the forest holds nearly all of the matrix and a few dozen cheap
// products replace a factorisation whose fill a random network makes dense.
#include "optim/lp_ipm.hpp"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>

void LpTreePcg::start(const LpIterate& it, const std::vector<int>& column_counts)
{
    usable_ = it.m > 0;
    for (int j = 0; j < it.n && usable_; ++j)
        usable_ = it.colptr[j + 1] - it.colptr[j] <= 2;
    // A solve takes a few dozen products with A and A' at most, an
    // iteration a handful of solves; the factorisation's multiply-adds run
    // at the speed of dense products. Below this the factor is cheaper.
    double factor_work = 0;
    for (int c : column_counts)
        factor_work += static_cast<double>(c) * c;
    usable_ = usable_ && factor_work > 500.0 * (static_cast<double>(it.colptr[it.n]) + it.m);
    failures_ = 0;
}

void LpTreePcg::record(bool converged)
{
    // A matrix the forest cannot follow stays so from one iteration to the
    // next: after two failures in a row the factorisation takes over.
    failures_ = converged ? 0 : failures_ + 1;
    if (failures_ >= 2)
        usable_ = false;
}

bool LpTreePcg::prepare(const LpIterate& it, const double* theta)
{
    const int m = it.m, n = it.n;
    try {
        // The forest of largest weights (Kruskal, union by path halving).
        edges_.clear();
        weight_.resize(n);
        for (int j = 0; j < n; ++j)
            if (it.colptr[j + 1] - it.colptr[j] == 2) {
                const int p = it.colptr[j];
                weight_[j] = theta[j] * std::fabs(it.val[p] * it.val[p + 1]);
                edges_.push_back(j);
            }
        std::sort(edges_.begin(), edges_.end(), [&](int a, int b) { return weight_[a] > weight_[b]; });
        root_.resize(m);
        std::iota(root_.begin(), root_.end(), 0);
        auto find = [&](int i) {
            while (root_[i] != i) {
                root_[i] = root_[root_[i]];
                i = root_[i];
            }
            return i;
        };
        head_.assign(m, -1);
        link_.clear();
        in_tree_.assign(n, 0);
        for (int j : edges_) {
            const int p = it.colptr[j];
            const int a = it.rowidx[p], b = it.rowidx[p + 1];
            const int ra = find(a), rb = find(b);
            if (ra == rb)
                continue;
            root_[ra] = rb;
            in_tree_[j] = 1;
            // Both directions of the tree edge, for the walk below.
            link_.push_back({b, j, head_[a]});
            head_[a] = static_cast<int>(link_.size()) - 1;
            link_.push_back({a, j, head_[b]});
            head_[b] = static_cast<int>(link_.size()) - 1;
        }
        // The diagonal the forest leaves out: columns of one entry and the
        // columns outside the forest.
        e_.assign(m, 0.0);
        for (int j = 0; j < n; ++j)
            if (!in_tree_[j])
                for (int p = it.colptr[j]; p < it.colptr[j + 1]; ++p)
                    e_[it.rowidx[p]] += theta[j] * it.val[p] * it.val[p];
        // Each tree from a root, parents before children; eliminated in
        // the reverse order, leaves first, so nothing fills.
        order_.clear();
        parent_.assign(m, -2);
        own_.assign(m, 0.0);
        across_.assign(m, 0.0);
        far_.assign(m, 0.0);
        for (int s = 0; s < m; ++s) {
            if (parent_[s] != -2)
                continue;
            parent_[s] = -1;
            std::size_t q = order_.size();
            order_.push_back(s);
            for (; q < order_.size(); ++q) {
                const int i = order_[q];
                for (int e = head_[i]; e >= 0; e = link_[e].next) {
                    const int c = link_[e].to, j = link_[e].column;
                    if (parent_[c] != -2)
                        continue;
                    parent_[c] = i;
                    const int p = it.colptr[j];
                    const double ac = it.rowidx[p] == c ? it.val[p] : it.val[p + 1];
                    const double ai = it.rowidx[p] == c ? it.val[p + 1] : it.val[p];
                    own_[c] = theta[j] * ac * ac;
                    across_[c] = theta[j] * ac * ai;
                    far_[c] = theta[j] * ai * ai;
                    order_.push_back(c);
                }
            }
        }
        // A child's pivot is its own part plus its edge's, and what the
        // edge leaves on the parent, far * e / (e + own), is formed
        // without the difference that would lose every digit once the
        // weights span twenty orders.
        d_.resize(m);
        l_.assign(m, 0.0);
        for (int q = m - 1; q >= 0; --q) {
            const int i = order_[q];
            if (parent_[i] >= 0) {
                d_[i] = e_[i] + own_[i];
                l_[i] = across_[i] / d_[i];
                e_[parent_[i]] += far_[i] * (e_[i] / d_[i]);
            } else {
                d_[i] = e_[i];
            }
            // A tree whose rows have no other column is singular: the
            // factorisation handles that matrix instead.
            if (!(d_[i] > 0) || !std::isfinite(d_[i]))
                return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void LpTreePcg::precondition(double* z) const
{
    const int m = static_cast<int>(order_.size());
    for (int q = m - 1; q >= 0; --q) {
        const int i = order_[q];
        if (parent_[i] >= 0)
            z[parent_[i]] -= l_[i] * z[i];
    }
    for (int i = 0; i < m; ++i)
        z[i] /= d_[i];
    for (int q = 0; q < m; ++q) {
        const int i = order_[q];
        if (parent_[i] >= 0)
            z[i] -= l_[i] * z[parent_[i]];
    }
}

bool LpTreePcg::solve(const LpIterate& it, const double* theta, double* v)
{
    return lp_conjugate_gradients(it, theta, v, iteration_limit_, tolerance, cg_,
                                  [this](double* z) { precondition(z); });
}

bool lp_network_dependent_rows(const LpIterate& it, std::vector<char>& dependent)
{
    const int m = it.m, n = it.n;
    try {
        dependent.assign(m, 0);
        // The rows as nodes, the columns of two entries as edges.
        std::vector<int> head(m, -1), next, to, column;
        std::vector<char> anchored(m, 0);  // the row holds a column of one entry
        next.reserve(2 * static_cast<std::size_t>(n));
        to.reserve(2 * static_cast<std::size_t>(n));
        column.reserve(2 * static_cast<std::size_t>(n));
        for (int j = 0; j < n; ++j) {
            const int p = it.colptr[j], count = it.colptr[j + 1] - p;
            if (count > 2)
                return false;
            if (count == 1)
                anchored[it.rowidx[p]] = 1;
            if (count != 2)
                continue;
            const int a = it.rowidx[p], b = it.rowidx[p + 1];
            for (int side = 0; side < 2; ++side) {
                const int from = side == 0 ? a : b;
                to.push_back(side == 0 ? b : a);
                column.push_back(j);
                next.push_back(head[from]);
                head[from] = static_cast<int>(next.size()) - 1;
            }
        }
        // A component of rows is dependent exactly when some y, non-zero on
        // each of its rows, has y'a_j = 0 for every column: without a column
        // of one entry, y follows from one row along a spanning tree, and
        // the component is dependent when every other column agrees with it.
        std::vector<double> y(m, 0.0);
        std::vector<int> queue;
        queue.reserve(m);
        std::vector<char> seen(m, 0);
        for (int s = 0; s < m; ++s) {
            if (seen[s])
                continue;
            queue.clear();
            queue.push_back(s);
            seen[s] = 1;
            y[s] = 1;
            bool has_anchor = false, consistent = true;
            for (std::size_t q = 0; q < queue.size(); ++q) {
                const int i = queue[q];
                has_anchor = has_anchor || anchored[i];
                for (int e = head[i]; e >= 0; e = next[e]) {
                    const int k = to[e], j = column[e];
                    const int p = it.colptr[j];
                    const double ai = it.rowidx[p] == i ? it.val[p] : it.val[p + 1];
                    const double ak = it.rowidx[p] == i ? it.val[p + 1] : it.val[p];
                    if (!seen[k]) {
                        seen[k] = 1;
                        y[k] = -ai * y[i] / ak;
                        // Ratios compounded along a long path can leave the
                        // range of doubles: the factorisation decides then.
                        if (!std::isfinite(y[k]) || std::fabs(y[k]) < 1e-150 || std::fabs(y[k]) > 1e150)
                            return false;
                        queue.push_back(k);
                    } else if (consistent) {
                        const double t1 = ai * y[i], t2 = ak * y[k];
                        consistent = std::fabs(t1 + t2) <= 1e-10 * (std::fabs(t1) + std::fabs(t2));
                    }
                }
            }
            // One of its rows goes; y is non-zero on all of them.
            if (!has_anchor && consistent)
                dependent[s] = 1;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
