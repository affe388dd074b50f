// Approximate minimum degree ordering on a quotient graph. Eliminating a node
// does not write the clique of its neighbours: the node becomes an element
// that stands for that clique, and the elements it touched are absorbed into
// it. The degree of a variable is bounded from its elements' sizes instead of
// being counted exactly, nodes with identical adjacency are merged into one
// supervariable (found by hashing) and eliminated together, and variables
// left adjacent to the new element alone go with it at once. The memory in
// use stays within the size of the original graph plus one list per element.
#include "optim/lp_ordering.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace {

enum NodeKind : unsigned char {
    variable,           // a principal variable, not eliminated yet
    absorbed_variable,  // merged into another supervariable or eliminated with an element
    element,            // an eliminated variable standing for the clique of its neighbours
    absorbed_element,   // an element whose clique is inside a later one
    dense,              // set aside, eliminated last
};

// The symmetrised pattern without its diagonal and without repeats.
struct Graph {
    std::vector<int> ptr, idx;
};

OrderingStatus symmetrise(int n, const int* ptr, const int* idx, Graph& g)
{
    std::vector<int> count(n + 1, 0);
    long long total = 0;
    for (int i = 0; i < n; ++i)
        for (int p = ptr[i]; p < ptr[i + 1]; ++p) {
            const int j = idx[p];
            if (j < 0 || j >= n)
                return OrderingStatus::bad_pattern;
            if (j != i) {
                ++count[i + 1];
                ++count[j + 1];
                total += 2;
            }
        }
    // Both halves are numbered with int.
    if (total > std::numeric_limits<int>::max())
        return OrderingStatus::out_of_memory;
    for (int i = 0; i < n; ++i)
        count[i + 1] += count[i];
    std::vector<int> fill(count.begin(), count.end() - 1);
    std::vector<int> both(count[n]);
    for (int i = 0; i < n; ++i)
        for (int p = ptr[i]; p < ptr[i + 1]; ++p) {
            const int j = idx[p];
            if (j != i) {
                both[fill[i]++] = j;
                both[fill[j]++] = i;
            }
        }
    // Drop the repeats in place; each list keeps its first occurrences.
    std::vector<int> seen(n, -1);
    g.ptr.assign(n + 1, 0);
    int out = 0;
    for (int i = 0; i < n; ++i) {
        for (int p = count[i]; p < count[i + 1]; ++p) {
            const int j = both[p];
            if (seen[j] != i) {
                seen[j] = i;
                both[out++] = j;
            }
        }
        g.ptr[i + 1] = out;
    }
    both.resize(out);
    both.shrink_to_fit();
    g.idx = std::move(both);
    return OrderingStatus::ok;
}

class QuotientGraph {
public:
    QuotientGraph(int n, const Graph& g)
        : n_(n), lists_(n), elements_(n), kind_(n, variable), size_(n, 1), degree_(n, 0), outside_(n, 0),
          element_size_(n, 0), owner_(n, -1), head_(n + 1, -1), next_(n, -1), prev_(n, -1), in_front_(n, -1),
          w_(n, 0), w_step_(n, -1), mark_(n, 0), hash_(n, 0), hash_head_(n, -1), hash_next_(n, -1)
    {
        // Very dense rows would make every element around them large and
        // every degree update slow; they are left out and ordered last.
        const int limit = std::max(16, static_cast<int>(10 * std::sqrt(static_cast<double>(n))));
        for (int i = 0; i < n; ++i)
            if (g.ptr[i + 1] - g.ptr[i] > limit) {
                kind_[i] = dense;
                dense_.push_back(i);
            }
        std::stable_sort(dense_.begin(), dense_.end(),
                         [&](int a, int b) { return g.ptr[a + 1] - g.ptr[a] < g.ptr[b + 1] - g.ptr[b]; });
        for (int i = 0; i < n; ++i) {
            if (kind_[i] == dense)
                continue;
            std::vector<int>& a = lists_[i];
            a.reserve(g.ptr[i + 1] - g.ptr[i]);
            for (int p = g.ptr[i]; p < g.ptr[i + 1]; ++p)
                if (kind_[g.idx[p]] != dense)
                    a.push_back(g.idx[p]);
            degree_[i] = static_cast<int>(a.size());
            link(i);
        }
        pivots_.reserve(n);
    }

    // Eliminates every variable; false if the lists came apart.
    bool run()
    {
        const int total = n_ - static_cast<int>(dense_.size());
        int eliminated = 0;
        while (eliminated < total) {
            while (lowest_ <= n_ && head_[lowest_] < 0)
                ++lowest_;
            if (lowest_ > n_)
                return false;
            const int p = head_[lowest_];
            unlink(p);
            eliminated += size_[p];
            eliminate(p, total, eliminated);
        }
        return true;
    }

    // The variables in elimination order: each pivot, then the variables
    // that went with it; the dense ones last, sparsest first.
    bool order(std::vector<int>& perm) const
    {
        // The pivot each variable went with.
        std::vector<int> root(n_, -1);
        for (int i = 0; i < n_; ++i) {
            if (kind_[i] == dense)
                continue;
            int r = i, steps = 0;
            while (kind_[r] == absorbed_variable) {
                r = owner_[r];
                if (r < 0 || ++steps > n_)
                    return false;
            }
            if (kind_[r] != element && kind_[r] != absorbed_element)
                return false;
            root[i] = r;
        }
        std::vector<int> start(n_ + 1, 0);
        for (int i = 0; i < n_; ++i)
            if (root[i] >= 0 && root[i] != i)
                ++start[root[i] + 1];
        for (int i = 0; i < n_; ++i)
            start[i + 1] += start[i];
        std::vector<int> members(start[n_]);
        for (int i = 0; i < n_; ++i)
            if (root[i] >= 0 && root[i] != i)
                members[start[root[i]]++] = i;
        // start[r] now ends r's members; they begin where r-1's ended.
        perm.clear();
        for (int p : pivots_) {
            perm.push_back(p);
            for (int t = p == 0 ? 0 : start[p - 1]; t < start[p]; ++t)
                perm.push_back(members[t]);
        }
        perm.insert(perm.end(), dense_.begin(), dense_.end());
        return static_cast<int>(perm.size()) == n_;
    }

private:
    void link(int i)
    {
        const int d = degree_[i];
        prev_[i] = -1;
        next_[i] = head_[d];
        if (next_[i] >= 0)
            prev_[next_[i]] = i;
        head_[d] = i;
        lowest_ = std::min(lowest_, d);
    }

    void unlink(int i)
    {
        if (prev_[i] >= 0)
            next_[prev_[i]] = next_[i];
        else
            head_[degree_[i]] = next_[i];
        if (next_[i] >= 0)
            prev_[next_[i]] = prev_[i];
        prev_[i] = next_[i] = -1;
    }

    void release(std::vector<int>& v) { std::vector<int>().swap(v); }

    void absorb_element(int e, int into)
    {
        kind_[e] = absorbed_element;
        owner_[e] = into;
        release(lists_[e]);
    }

    void eliminate(int p, int total, int& eliminated)
    {
        const int step = static_cast<int>(pivots_.size());
        pivots_.push_back(p);
        // The new element: p's variable neighbours and the variables of the
        // elements p belonged to, which it absorbs.
        std::vector<int> front;
        in_front_[p] = step;
        auto take = [&](int i) {
            if (kind_[i] == variable && in_front_[i] != step) {
                in_front_[i] = step;
                front.push_back(i);
            }
        };
        for (int i : lists_[p])
            take(i);
        for (int e : elements_[p])
            if (kind_[e] == element) {
                for (int i : lists_[e])
                    take(i);
                absorb_element(e, p);
            }
        release(lists_[p]);
        release(elements_[p]);
        kind_[p] = element;
        int front_size = 0;
        for (int i : front) {
            front_size += size_[i];
            unlink(i);
        }

        // |Le \ Lp| for every other element e touching the front.
        for (int i : front)
            for (int e : elements_[i])
                if (kind_[e] == element) {
                    if (w_step_[e] != step) {
                        w_step_[e] = step;
                        w_[e] = element_size_[e];
                    }
                    w_[e] -= size_[i];
                }

        // Prune the lists of the front, bound the degree outside it and hash
        // the adjacency; variables left with p alone go with p now.
        for (int& i : front) {
            std::vector<int>& es = elements_[i];
            unsigned long long h = 0;
            int outside = 0;
            std::size_t kept = 0;
            for (int e : es) {
                if (kind_[e] != element)
                    continue;
                if (w_[e] <= 0) {
                    // Its clique lies inside the new one.
                    absorb_element(e, p);
                    continue;
                }
                outside += w_[e];
                h += static_cast<unsigned>(e);
                es[kept++] = e;
            }
            es.resize(kept);
            std::vector<int>& vs = lists_[i];
            kept = 0;
            for (int j : vs) {
                if (kind_[j] != variable || in_front_[j] == step)
                    continue;
                outside += size_[j];
                h += static_cast<unsigned>(j);
                vs[kept++] = j;
            }
            vs.resize(kept);
            if (es.empty() && vs.empty()) {
                kind_[i] = absorbed_variable;
                owner_[i] = p;
                eliminated += size_[i];
                front_size -= size_[i];
                release(es);
                release(vs);
                i = -1;
                continue;
            }
            es.push_back(p);
            outside_[i] = std::min(degree_[i], outside);
            hash_[i] = static_cast<int>(h % static_cast<unsigned>(n_));
        }
        front.erase(std::remove(front.begin(), front.end(), -1), front.end());

        merge_indistinguishable(front);
        front.erase(std::remove(front.begin(), front.end(), -1), front.end());

        const int left = total - eliminated;
        for (int i : front) {
            const int d = std::min(outside_[i] + front_size - size_[i], left - size_[i]);
            degree_[i] = std::max(0, d);
            link(i);
        }
        element_size_[p] = front_size;
        lists_[p] = std::move(front);
    }

    // Variables of the front with the same elements and the same variable
    // neighbours are merged into the first of them.
    void merge_indistinguishable(std::vector<int>& front)
    {
        for (int i : front) {
            hash_next_[i] = hash_head_[hash_[i]];
            hash_head_[hash_[i]] = i;
        }
        for (int i : front) {
            const int b = hash_[i];
            if (hash_head_[b] < 0)
                continue;
            for (int a = hash_head_[b]; a >= 0; a = hash_next_[a]) {
                if (kind_[a] != variable)
                    continue;
                ++tag_;
                for (int e : elements_[a])
                    mark_[e] = tag_;
                for (int j : lists_[a])
                    mark_[j] = tag_;
                for (int c = hash_next_[a]; c >= 0; c = hash_next_[c]) {
                    if (kind_[c] != variable || elements_[c].size() != elements_[a].size() ||
                        lists_[c].size() != lists_[a].size())
                        continue;
                    bool same = true;
                    for (int e : elements_[c])
                        same = same && mark_[e] == tag_;
                    for (int j : lists_[c])
                        same = same && mark_[j] == tag_;
                    if (!same)
                        continue;
                    size_[a] += size_[c];
                    outside_[a] = std::min(outside_[a], outside_[c]);
                    kind_[c] = absorbed_variable;
                    owner_[c] = a;
                    release(elements_[c]);
                    release(lists_[c]);
                }
            }
            hash_head_[b] = -1;
        }
        for (int& i : front)
            if (kind_[i] != variable)
                i = -1;
    }

    int n_;
    std::vector<std::vector<int>> lists_;     // variable: its variable neighbours; element: its variables
    std::vector<std::vector<int>> elements_;  // variable: the elements it belongs to
    std::vector<NodeKind> kind_;
    std::vector<int> size_;          // variables in a supervariable
    std::vector<int> degree_;        // approximate external degree
    std::vector<int> outside_;       // the part of the degree outside the new element
    std::vector<int> element_size_;  // variables in an element's clique, when it was made
    std::vector<int> owner_;         // where an absorbed node went
    std::vector<int> head_, next_, prev_;  // degree lists
    int lowest_ = 0;
    std::vector<int> in_front_;            // the step whose front holds a variable
    std::vector<int> w_, w_step_;          // |Le \ Lp| and the step it belongs to
    std::vector<long long> mark_;
    long long tag_ = 0;
    std::vector<int> hash_, hash_head_, hash_next_;
    std::vector<int> pivots_, dense_;
};

// Rearranges perm into a postorder of the elimination tree of the graph under
// it: the fill is the same, and each chain of the tree becomes a run of
// adjacent columns.
void postorder(int n, const Graph& g, std::vector<int>& perm)
{
    std::vector<int> invp(n), parent(n, -1), ancestor(n, -1);
    for (int k = 0; k < n; ++k)
        invp[perm[k]] = k;
    for (int k = 0; k < n; ++k) {
        const int i = perm[k];
        for (int p = g.ptr[i]; p < g.ptr[i + 1]; ++p) {
            int r = invp[g.idx[p]];
            // Climb from the earlier column to its root, pointing the path at k.
            while (r >= 0 && r < k) {
                const int up = ancestor[r];
                ancestor[r] = k;
                if (up < 0)
                    parent[r] = k;
                r = up;
            }
        }
    }
    std::vector<int> child_head(n, -1), sibling(n, -1);
    for (int k = n - 1; k >= 0; --k)
        if (parent[k] >= 0) {
            sibling[k] = child_head[parent[k]];
            child_head[parent[k]] = k;
        }
    std::vector<int> out, stack;
    out.reserve(n);
    stack.reserve(n);
    for (int root = 0; root < n; ++root) {
        if (parent[root] >= 0)
            continue;
        stack.push_back(root);
        while (!stack.empty()) {
            const int k = stack.back();
            if (child_head[k] >= 0) {
                const int c = child_head[k];
                child_head[k] = sibling[c];
                stack.push_back(c);
            } else {
                stack.pop_back();
                out.push_back(perm[k]);
            }
        }
    }
    perm.swap(out);
}

} // namespace

OrderingStatus approximate_minimum_degree(int n, const int* ptr, const int* idx, std::vector<int>& perm)
{
    if (n <= 0) {
        perm.clear();
        return OrderingStatus::ok;
    }
    try {
        Graph g;
        const OrderingStatus st = symmetrise(n, ptr, idx, g);
        if (st != OrderingStatus::ok)
            return st;
        std::vector<int> result;
        {
            QuotientGraph q(n, g);
            if (!q.run() || !q.order(result))
                return OrderingStatus::inconsistent;
        }
        postorder(n, g, result);
        if (static_cast<int>(result.size()) != n)
            return OrderingStatus::inconsistent;
        perm.swap(result);
    } catch (const std::bad_alloc&) {
        return OrderingStatus::out_of_memory;
    }
    return OrderingStatus::ok;
}
