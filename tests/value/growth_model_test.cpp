// Random sequences of the statements programs use to build a matrix
// (appends, element and two-index writes with growth, whole and fractional
// indices, deletion, transposes, bracket appends, copies changed on their
// own, x(:)), run on a value and on a plain model of rows, columns and
// elements side by side; after every statement the value's header is sound
// and every reader agrees with the model, whether the value shared its
// block or not. Deletion in every index form has a model of its own, over
// dense and sparse targets of up to four dimensions.
#include "test_support.hpp"
#include "value/mm_access.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Model {
    int r = 0, c = 0;
    std::vector<double> v;
};

// Why x and the model differ, or "" when they agree.
std::string difference(const Mm& x, const Model& m)
{
    if (const char* fault = mm_access::header_fault(x))
        return fault;
    if (m.r * m.c == 0)
        return x.size() == 0 && isempty(x) ? "" : "not empty";
    if (x.rows() != m.r || x.cols() != m.c || x.getndims() != 2)
        return "extents";
    if (length(x) != std::max(m.r, m.c) || isempty(x))
        return "length or isempty";
    const Mm f = full(x);
    double total = 0;
    for (int k = 0; k < m.r * m.c; ++k) {
        if (f.addr()[k] != m.v[k])
            return "element " + std::to_string(k + 1);
        total += m.v[k];
    }
    return sum(sum(x)).addr()[0] == total ? "" : "sum";
}

void transpose_model(Model& m)
{
    std::vector<double> t(m.v.size());
    for (int j = 0; j < m.c; ++j)
        for (int i = 0; i < m.r; ++i)
            t[j + i * m.c] = m.v[i + j * m.r];
    std::swap(m.r, m.c);
    m.v = t;
}

// x(i, j) = value: the extents grow to the rounded indices, the element
// written is the one the truncated indices name.
void grow_model(Model& m, int extent_i, int extent_j, int at_i, int at_j, double value)
{
    const int R = std::max(m.r, extent_i), C = std::max(m.c, extent_j);
    std::vector<double> g(std::size_t(R) * C, 0.0);
    for (int cc = 0; cc < m.c; ++cc)
        for (int rr = 0; rr < m.r; ++rr)
            g[rr + cc * R] = m.v[rr + cc * m.r];
    g[at_i + at_j * R] = value;
    m.r = R;
    m.c = C;
    m.v = g;
}

void grow_model(Model& m, int i, int j, double value) { grow_model(m, i, j, i - 1, j - 1, value); }

// x(v) = value with one index: a target of several rows grows to a column,
// any other to a row, its elements kept in order.
void write_model(Model& m, double v, double value)
{
    const int extent = static_cast<int>(std::round(v)), at = static_cast<int>(std::trunc(v - 1));
    const int n = m.r * m.c;
    if (extent > n) {
        if (m.r > 1) {
            m.r = extent;
            m.c = 1;
        } else {
            m.r = 1;
            m.c = extent;
        }
        m.v.resize(std::size_t(extent), 0.0);
    }
    m.v[std::size_t(at)] = value;
}

// The fractions an index is given: whole, below and above one half, one
// half (rounded away from zero) and a step back.
const double fractions[] = {0, 0.3, 0.5, 0.7, -0.4};

// Every statement runs twice: on a value whose block is its own (with the
// spare room growth in place uses) and on one that shares its block with a
// copy. Both must agree with the model, and the copy must keep what it had.
TEST(GrowthModel, StatementSequencesAgreeWithAPlainModel)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        for (int trial = 0; trial < 300; ++trial) {
            Mm own, shared;
            Model m;
            switch (rng() % 3) {
            case 1:
                own = zeros(0.0, 0.0);
                shared = zeros(0.0, 0.0);
                break;
            case 2:
                own = colon(1.0, 100.0);  // long enough to be deferred
                shared = colon(1.0, 100.0);
                m.r = 1;
                m.c = 100;
                for (int k = 1; k <= 100; ++k)
                    m.v.push_back(k);
                break;
            default:
                break;
            }
            for (int step = 0; step < 30; ++step) {
                const double value = double(rng() % 100);
                const int n = m.r * m.c;
                const bool vector = m.r <= 1 || m.c <= 1;
                const Model before = m;
                std::string what;
                std::function<void(Mm&)> statement;
                switch (rng() % 10) {
                case 0:
                    if (!vector)
                        continue;
                    what = "x(end+1) = v";
                    statement = [&](Mm& x) { x(Mm(n + 1.0)) = Mm(value); };
                    if (n == 0)
                        m.r = m.c = 1;
                    else if (m.r > 1)
                        ++m.r;
                    else
                        ++m.c;
                    m.v.push_back(value);
                    break;
                case 1: {
                    if (n == 0)
                        continue;
                    what = "x(k) = v";
                    const int k = int(rng() % n);
                    statement = [&, k](Mm& x) { x(Mm(k + 1.0)) = Mm(value); };
                    m.v[k] = value;
                    break;
                }
                case 2: {
                    what = "x(i, j) = v";
                    const int i = int(rng() % (m.r + 2)) + 1, j = int(rng() % (m.c + 2)) + 1;
                    statement = [&, i, j](Mm& x) { x(Mm(double(i)), Mm(double(j))) = Mm(value); };
                    grow_model(m, i, j, value);
                    break;
                }
                case 3: {
                    if (n == 0 || !vector)
                        continue;
                    what = "x(k) = []";
                    const int k = int(rng() % n);
                    statement = [k](Mm& x) { x(Mm(k + 1.0)) = x_M; };
                    m.v.erase(m.v.begin() + k);
                    if (m.r == 1)
                        --m.c;
                    else
                        --m.r;
                    if (m.v.empty())
                        m.r = m.c = 0;
                    break;
                }
                case 4:
                    what = "x = x.'";
                    statement = [](Mm& x) { x = transpose(x); };
                    transpose_model(m);
                    break;
                case 5:
                    if (m.r > 1 && n > 0)
                        continue;
                    what = "x = [x, v]";
                    statement = [&](Mm& x) { x = (BR(x), value); };
                    if (n == 0)
                        m.r = 1, m.c = 0;
                    ++m.c;
                    m.v.push_back(value);
                    break;
                case 6:
                    what = "a copy changed and grown";
                    statement = [](Mm& x) {
                        Mm y = x;
                        if (y.size() > 0)
                            y(Mm(1.0)) = Mm(-1.0);
                        y(Mm(y.size() + 1.0)) = Mm(7.0);
                    };
                    break;
                case 7: {
                    // One index with a fraction, at the end above all: the
                    // growth rounds, the write truncates.
                    const double v = double(rng() % (n + 2) + 1) + fractions[rng() % 5];
                    what = "x(" + std::to_string(v) + ") = v";
                    statement = [&, v](Mm& x) { x(Mm(v)) = Mm(value); };
                    write_model(m, v, value);
                    break;
                }
                case 8: {
                    const double i = double(rng() % (m.r + 2) + 1) + fractions[rng() % 5];
                    const double j = double(rng() % (m.c + 2) + 1) + fractions[rng() % 5];
                    what = "x(" + std::to_string(i) + ", " + std::to_string(j) + ") = v";
                    statement = [&, i, j](Mm& x) { x(Mm(i), Mm(j)) = Mm(value); };
                    grow_model(m, int(std::round(i)), int(std::round(j)), int(std::trunc(i - 1)),
                               int(std::trunc(j - 1)), value);
                    break;
                }
                default:
                    if (n == 0)
                        continue;
                    what = "x = x(:)";
                    statement = [](Mm& x) { x = Mm(x(c_p)); };
                    m.r = n;
                    m.c = 1;
                    break;
                }
                const std::string where =
                    "seed " + std::to_string(seed) + ", trial " + std::to_string(trial) + ", step " +
                    std::to_string(step) + ": " + what;
                ASSERT_EQ(own.dirty(), 0) << where << ": the unshared value is shared";
                Mm copy = shared;
                statement(own);
                statement(shared);
                ASSERT_EQ(difference(own, m), "") << where << ", unshared";
                ASSERT_EQ(difference(shared, m), "") << where << ", shared";
                ASSERT_EQ(difference(copy, before), "") << where << ": the copy changed";
            }
        }
    }
}

// ---- x(...) = [] against a plain model of the deletion rules ----

// A value as the rules see it: two to four extents (1 beyond) and its
// elements in column-major order. An empty value is 0x0.
struct Array {
    int nd = 2;
    int d[4] = {0, 0, 1, 1};
    std::vector<double> re, im;
    int numel() const { return d[0] * d[1] * d[2] * d[3]; }
};

// One index of a deletion: a colon, numbers (a range 1:e among them, kept
// as the deferred range the colon builds), or a logical mask.
struct Index {
    enum Kind { colon, numbers, range, mask } kind = colon;
    std::vector<double> v;

    Mm value() const
    {
        switch (kind) {
        case range:
            return ::colon(1.0, double(v.size()));
        default: {
            if (v.empty())
                return Mm();
            Mm m(0, 0, 0, 1, int(v.size()), qv_double);
            std::copy(v.begin(), v.end(), m.addr());
            if (kind == mask)
                m.setlogical(1);
            return m;
        }
        }
    }
    std::string text() const
    {
        if (kind == colon)
            return ":";
        std::string t = kind == mask ? "logical([" : kind == range ? "1:" + std::to_string(v.size()) + " [" : "[";
        for (std::size_t k = 0; k < v.size(); ++k)
            t += (k ? " " : "") + std::to_string(v[k]).substr(0, 5);
        return t + (kind == mask ? "])" : "]");
    }
};

// The position an index value names: trunc(v - 1); NaN names none (-1).
int position_of(double v) { return std::isnan(v) ? -1 : int(std::trunc(v - 1)); }

// The positions an index selects in a dimension of extent e.
std::vector<int> selected(const Index& ix, int e)
{
    std::vector<int> p;
    if (ix.kind == Index::colon) {
        for (int k = 0; k < e; ++k)
            p.push_back(k);
    } else if (ix.kind == Index::mask) {
        for (std::size_t k = 0; k < ix.v.size(); ++k)
            if (ix.v[k] != 0)
                p.push_back(int(k));
    } else {
        for (double v : ix.v)
            p.push_back(position_of(v));
    }
    return p;
}

// a with only the elements keep(offset, subscripts) holds, shaped nd x newd.
template <class Keep>
Array kept_elements(const Array& a, int nd, const int newd[4], Keep keep)
{
    Array r;
    if (newd[0] * newd[1] * newd[2] * newd[3] == 0)
        return r;
    r.nd = nd;
    std::copy(newd, newd + 4, r.d);
    while (r.nd > 2 && r.d[r.nd - 1] == 1)
        --r.nd;
    int s[4];
    for (int off = 0; off < a.numel(); ++off) {
        for (int c = 0, rest = off; c < 4; ++c) {
            s[c] = rest % a.d[c];
            rest /= a.d[c];
        }
        if (!keep(off, s))
            continue;
        r.re.push_back(a.re[off]);
        if (!a.im.empty())
            r.im.push_back(a.im[off]);
    }
    return r;
}

using Outcome = std::optional<Array>;  // nothing: the statement is refused

// Marks which of an extent's positions go, and counts those kept; false
// when the rules refuse one of the positions (refused(p)).
template <class Refused>
bool mark_gone(const std::vector<int>& positions, int extent, Refused refused, std::vector<char>& gone, int& kept)
{
    gone.assign(std::size_t(extent), 0);
    for (int p : positions) {
        if (refused(p))
            return false;
        if (p >= 0 && p < extent)
            gone[std::size_t(p)] = 1;
    }
    kept = extent - int(std::count(gone.begin(), gone.end(), 1));
    return true;
}

// x(i) = [] on a full two-dimensional x.
Outcome delete_by_one_index(const Array& a, const Index& ix)
{
    const int n = a.numel();
    if (ix.kind == Index::colon)
        return Array{};
    if (ix.v.empty() || n == 0)
        return a;
    std::vector<char> gone;
    int r;
    if (!mark_gone(selected(ix, n), n, [](int p) { return p < 0; }, gone, r))
        return std::nullopt;
    if (r == n)
        return a;
    const int shape[4] = {a.d[1] == 1 ? r : 1, a.d[1] == 1 ? 1 : r, 1, 1};
    return kept_elements(a, 2, shape, [&](int off, const int*) { return !gone[off]; });
}

// x(I, J) = [] on a full two-dimensional x: values out of range are
// ignored, and an index naming every row (column) counts as a colon.
Outcome delete_by_two_indices(const Array& a, const Index& I, const Index& J)
{
    const int R = a.d[0], Q = a.d[1];
    const bool ci = I.kind == Index::colon, cj = J.kind == Index::colon;
    const std::vector<int> pi = selected(I, R), pj = selected(J, Q);
    if ((!ci && pi.empty()) || (!cj && pj.empty()))
        return a;
    std::vector<char> row_gone, col_gone;
    int kr, kc;
    const auto ignored = [](int) { return false; };
    mark_gone(ci ? std::vector<int>{} : pi, R, ignored, row_gone, kr);
    mark_gone(cj ? std::vector<int>{} : pj, Q, ignored, col_gone, kc);
    bool as_colon_i = ci, as_colon_j = cj;
    const bool every_row = !ci && kr == 0, every_col = !cj && kc == 0;
    if (every_row && !cj && !every_col) {
        std::fill(row_gone.begin(), row_gone.end(), 0);
        kr = R;
        as_colon_i = true;
    } else if (every_col && !ci && !every_row) {
        std::fill(col_gone.begin(), col_gone.end(), 0);
        kc = Q;
        as_colon_j = true;
    }
    const int K = kr * kc;
    if (K == a.numel())
        return a;
    const int shape[4] = {as_colon_i ? R : as_colon_j ? kr : 1, as_colon_i ? kc : as_colon_j ? Q : K, 1, 1};
    return kept_elements(a, 2, shape, [&](int, const int* s) { return !row_gone[s[0]] && !col_gone[s[1]]; });
}

// Whether an index names every position of an extent, none below 1.
bool names_every(const Index& ix, int e)
{
    const std::vector<int> p = selected(ix, e);
    std::vector<char> seen(e, 0);
    for (int q : p) {
        if (q < 0)
            return false;
        if (q < e)
            seen[q] = 1;
    }
    return std::count(seen.begin(), seen.end(), 1) == e;
}

// The general form (sparse or N-d targets, three or more indices): one
// index that does not name its whole dimension deletes slabs along it.
Outcome delete_in_general(const Array& a, const std::vector<Index>& ix)
{
    const int k = int(ix.size()), n = a.numel();
    int j = -1;
    for (int d = 0; d < k; ++d) {
        if (ix[d].kind == Index::colon || (k >= 2 && names_every(ix[d], a.d[d])))
            continue;
        if (j >= 0)
            return std::nullopt;
        j = d;
    }
    if (j < 0)
        return Array{};
    const int extent = k == 1 ? n : a.d[j];
    const std::vector<int> pos = selected(ix[j], extent);
    long long combinations = static_cast<long long>(pos.size());
    for (int c = 0; c < k; ++c)
        if (c != j)
            combinations *= a.d[c];
    if (combinations == 0)
        return a;
    int above_one = 0;
    for (int c = 0; c < a.nd; ++c)
        above_one += a.d[c] > 1;
    std::vector<char> gone;
    int kept;
    if (!mark_gone(pos, extent, [&](int p) { return p < 0 || (k == 1 && above_one >= 2 && p >= n); }, gone, kept))
        return std::nullopt;
    if (kept == extent)
        return a;
    int newd[4] = {1, 1, 1, 1}, nd = a.nd;
    if (k == 1) {
        int vd = 0;
        for (int c = 0; c < a.nd; ++c)
            if (a.d[c] > 1)
                vd = vd ? -1 : c + 1;
        if (vd == 0)
            vd = 2;
        if (vd > 0) {
            newd[vd - 1] = kept;
        } else {
            newd[1] = kept;
            nd = 2;
        }
        return kept_elements(a, nd, newd, [&](int off, const int*) { return !gone[off]; });
    }
    std::copy(a.d, a.d + 4, newd);
    newd[j] = kept;
    nd = std::max(nd, j + 1);
    return kept_elements(a, nd, newd, [&](int, const int* s) { return !gone[s[j]]; });
}

std::string shape_text(const Array& a)
{
    std::string t;
    for (int c = 0; c < a.nd; ++c)
        t += (c ? "x" : "") + std::to_string(a.d[c]);
    return t;
}

enum class Storage { dense, complex, bytes, sparse, sparse_complex };

bool is_sparse(Storage s) { return s == Storage::sparse || s == Storage::sparse_complex; }

// The engine a statement reaches: full two-dimensional targets take the
// one- and two-index forms, everything else the general form.
Outcome model_deletion(const Array& a, Storage s, const std::vector<Index>& ix)
{
    if (!is_sparse(s) && a.nd == 2 && ix.size() == 1)
        return delete_by_one_index(a, ix[0]);
    if (!is_sparse(s) && a.nd == 2 && ix.size() == 2)
        return delete_by_two_indices(a, ix[0], ix[1]);
    return delete_in_general(a, ix);
}

Mm value_of(const Array& a, Storage s)
{
    const bool complex = !a.im.empty();
    Mm x(complex, 0, 0, a.nd, a.d, qv_double);
    std::copy(a.re.begin(), a.re.end(), x.addr());
    if (complex)
        std::copy(a.im.begin(), a.im.end(), x.addi());
    if (s == Storage::bytes)
        return muint8(x);
    return is_sparse(s) ? sparse(x) : x;
}

// Why x and the model differ, or "" when they agree.
std::string deletion_difference(const Mm& x, const Array& m, Storage s)
{
    if (const char* fault = mm_access::header_fault(x))
        return fault;
    if (bool(x.issparse()) != is_sparse(s))
        return "storage";
    std::string extents;
    for (int c = 0; c < x.getndims(); ++c)
        extents += (c ? "x" : "") + std::to_string(x.getdims()[c]);
    if (m.numel() == 0)
        return x.size() == 0 && x.rows() == 0 && x.cols() == 0 ? "" : "not empty: " + extents;
    if (x.getndims() != m.nd || !std::equal(m.d, m.d + m.nd, x.getdims()))
        return "extents " + extents;
    if ((s == Storage::bytes) != (x.gettype() == qv_uint8) || bool(x.isc()) != !m.im.empty())
        return "element type";
    const Mm f = s == Storage::bytes ? mdouble(x) : full(x);
    for (int k = 0; k < m.numel(); ++k)
        if (f.addr()[k] != m.re[k] || (!m.im.empty() && f.addi()[k] != m.im[k]))
            return "element " + std::to_string(k + 1);
    return "";
}

// An index for a dimension of extent e, in one of the forms programs use.
Index random_index(std::mt19937& rng, int e)
{
    Index ix;
    auto whole = [&](int top) { return double(int(rng() % unsigned(top)) + 1); };
    switch (rng() % 11) {
    case 0:
        break;
    case 1:
        ix.kind = Index::numbers;
        ix.v = {whole(e + 1)};
        break;
    case 2:
        ix.kind = Index::numbers;
        for (int c = int(rng() % 4) + 1; c > 0; --c)
            ix.v.push_back(whole(e + 2));
        break;
    case 3:
        ix.kind = Index::range;
        for (int k = 1; k <= e; ++k)
            ix.v.push_back(k);
        break;
    case 4:
        // Every position, unordered, with a repeat or a value beyond.
        ix.kind = Index::numbers;
        for (int k = 1; k <= e; ++k)
            ix.v.push_back(k);
        std::shuffle(ix.v.begin(), ix.v.end(), rng);
        if (e > 0 && rng() % 2)
            ix.v.push_back(whole(e));
        if (rng() % 3 == 0)
            ix.v.push_back(e + 1);
        break;
    case 5:
    case 6: {
        ix.kind = Index::mask;
        const int length = std::max(0, e + int(rng() % 3) - 1);
        const bool all = rng() % 3 == 0;
        for (int k = 0; k < length; ++k)
            ix.v.push_back(all || rng() % 2 ? 1.0 : 0.0);
        break;
    }
    case 7:
        ix.kind = Index::numbers;
        ix.v = {whole(e + 1) + fractions[rng() % 4], 0.5};
        break;
    case 8: {
        const double bad[] = {0, -1, std::nan("")};
        ix.kind = Index::numbers;
        ix.v = {whole(e + 1), bad[rng() % 3]};
        break;
    }
    case 9:
        ix.kind = Index::numbers;  // an empty index
        break;
    default:
        ix.kind = Index::numbers;
        ix.v = {whole(std::max(e, 1))};
        break;
    }
    return ix;
}

Array random_array(std::mt19937& rng, Storage s)
{
    Array a;
    const unsigned shape = is_sparse(s) ? rng() % 3 : rng() % 5;
    switch (shape) {
    case 0:  // a vector or a scalar
        a.d[0] = rng() % 2 ? 1 : int(rng() % 5) + 1;
        a.d[1] = a.d[0] == 1 ? int(rng() % 5) + 1 : 1;
        break;
    case 1:
    case 2:
        a.d[0] = int(rng() % 5) + 1;
        a.d[1] = int(rng() % 5) + 1;
        break;
    case 3:  // three dimensions, an N-d vector among them
        a.nd = 3;
        a.d[0] = int(rng() % 3) + 1;
        a.d[1] = int(rng() % 3) + 1;
        a.d[2] = int(rng() % 2) + 2;
        break;
    default:
        a.nd = 4;
        a.d[0] = int(rng() % 2) + 1;
        a.d[1] = int(rng() % 3) + 1;
        a.d[2] = int(rng() % 2) + 1;
        a.d[3] = 2;
        break;
    }
    for (int k = 0; k < a.numel(); ++k) {
        // Every third element zero: a sparse value leaves it unstored.
        a.re.push_back(k % 3 == 1 ? 0.0 : k + 1.0);
        if (s == Storage::complex || s == Storage::sparse_complex)
            a.im.push_back(k % 3 == 1 ? 0.0 : -(k + 1.0) / 4);
    }
    return a;
}

void run_deletion(Mm& x, const std::vector<Index>& ix)
{
    // The colon is c_p itself: a copy of it would be an empty index.
    std::vector<Mm> held;
    for (const Index& i : ix)
        held.push_back(i.kind == Index::colon ? Mm() : i.value());
    auto at = [&](std::size_t d) -> const Mm& { return ix[d].kind == Index::colon ? c_p : held[d]; };
    switch (ix.size()) {
    case 1:
        x(at(0)) = x_M;
        break;
    case 2:
        x(at(0), at(1)) = x_M;
        break;
    case 3:
        x(at(0), at(1), at(2)) = x_M;
        break;
    default:
        x(at(0), at(1), at(2), at(3)) = x_M;
        break;
    }
}

// Deletions in every index form, each run on a value whose block is its
// own and on one that shares it with a copy; both agree with the model (or
// are refused as it says, unchanged), the copy keeps what it had, and a
// full and a sparse two-dimensional target give the same answer wherever
// both forms accept the statement. Only x(:, :) = [] is answered apart on
// purpose: it leaves a full matrix alone and empties a sparse one.
TEST(GrowthModel, DeletionsAgreeWithAPlainModel)
{
    const Storage storages[] = {Storage::dense, Storage::complex, Storage::bytes, Storage::sparse,
                                Storage::sparse_complex};
    int refused = 0, emptied = 0, changed = 0, compared = 0;
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        for (int trial = 0; trial < 400; ++trial) {
            const Storage s = storages[trial % 5];
            Array m = random_array(rng, s);
            Mm own = value_of(m, s), shared = value_of(m, s);
            for (int step = 0; step < 6; ++step) {
                const int k = m.nd == 4 && rng() % 3 == 0 ? 4 : int(rng() % 10 < 4 ? 1 : rng() % 10 < 7 ? 2 : 3);
                std::vector<Index> ix;
                std::string what = "x(";
                for (int d = 0; d < k; ++d) {
                    const int extent = k == 1 ? m.numel() : d < 4 ? m.d[d] : 1;
                    ix.push_back(random_index(rng, extent));
                    what += (d ? ", " : "") + ix.back().text();
                }
                what += ") = [] on " + shape_text(m);
                const std::string where = "seed " + std::to_string(seed) + ", trial " + std::to_string(trial) +
                                          ", step " + std::to_string(step) + ": " + what;
                const Outcome expected = model_deletion(m, s, ix);
                ASSERT_EQ(own.dirty(), 0) << where << ": the unshared value is shared";
                const Mm copy = shared;
                const std::string own_error = test::error_of([&] { run_deletion(own, ix); });
                const std::string shared_error = test::error_of([&] { run_deletion(shared, ix); });
                const Array& now = expected ? *expected : m;
                ASSERT_EQ(own_error.empty(), bool(expected)) << where << ", unshared: " << own_error;
                ASSERT_EQ(shared_error.empty(), bool(expected)) << where << ", shared: " << shared_error;
                ASSERT_EQ(deletion_difference(own, now, s), "") << where << ", unshared";
                ASSERT_EQ(deletion_difference(shared, now, s), "") << where << ", shared";
                ASSERT_EQ(deletion_difference(copy, m, s), "") << where << ": the copy changed";

                // The same statement on the other storage of a 2-D target.
                const bool literal_colons = k == 2 && ix[0].kind == Index::colon && ix[1].kind == Index::colon;
                if ((s == Storage::dense || s == Storage::sparse) && m.nd == 2 && !literal_colons) {
                    const Storage other = s == Storage::dense ? Storage::sparse : Storage::dense;
                    Mm twin = value_of(m, other);
                    const Outcome twin_expected = model_deletion(m, other, ix);
                    const std::string twin_error = test::error_of([&] { run_deletion(twin, ix); });
                    ASSERT_EQ(twin_error.empty(), bool(twin_expected)) << where << ", other storage: " << twin_error;
                    if (expected && twin_expected) {
                        ASSERT_EQ(deletion_difference(twin, *expected, other), "") << where << ", other storage";
                        ++compared;
                    }
                }
                refused += !expected;
                if (expected) {
                    emptied += expected->numel() == 0 && m.numel() > 0;
                    changed += expected->numel() != m.numel();
                    m = *expected;
                }
                if (m.numel() == 0)
                    break;
            }
        }
    }
    // The sweep reaches every outcome.
    EXPECT_GT(refused, 100);
    EXPECT_GT(emptied, 100);
    EXPECT_GT(changed, 1000);
    EXPECT_GT(compared, 500);
}

} // namespace
