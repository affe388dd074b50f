// Sorting: the values-only quicksort at its algorithm boundaries, the stable
// index order, NaN placement and complex order.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using test::cell_of;

const double nan = std::nan("");

std::vector<double> values(const Mm& x) { return std::vector<double>(x.addr(), x.addr() + x.getnnz()); }

// The expected order: ascending, NaN last in input order, ties in input order.
std::vector<int> reference_order(const std::vector<double>& v)
{
    std::vector<int> pos(v.size());
    for (size_t k = 0; k < v.size(); ++k)
        pos[k] = static_cast<int>(k);
    std::stable_sort(pos.begin(), pos.end(), [&](int a, int b) {
        bool na = std::isnan(v[a]), nb = std::isnan(v[b]);
        if (na || nb)
            return !na && nb;
        return v[a] < v[b];
    });
    return pos;
}

TEST(Sort, ExamplesWithPositions)
{
    struct Case {
        const char* what;
        Mm x;
        std::vector<double> sorted, index;
    };
    const std::vector<Case> cases = {
        {"[3 NaN 1 Inf 2]", test::row({3, nan, 1, INFINITY, 2}), {1, 2, 3, INFINITY, nan}, {3, 5, 1, 4, 2}},
        {"[2 1 2 1]", test::row({2, 1, 2, 1}), {1, 1, 2, 2}, {2, 4, 1, 3}},
        {"[NaN NaN]", test::row({nan, nan}), {nan, nan}, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm s, k;
        sort(c.x, i_o, s, k);
        ASSERT_EQ(s.getnnz(), static_cast<int>(c.sorted.size()));
        EXPECT_EQ(s.rows(), 1) << "a row stays a row";
        for (size_t m = 0; m < c.sorted.size(); ++m) {
            if (std::isnan(c.sorted[m]))
                EXPECT_TRUE(std::isnan(s.addr()[m]));
            else
                EXPECT_EQ(s.addr()[m], c.sorted[m]);
        }
        EXPECT_EQ(values(k), c.index);
        Mm only = sort(c.x);
        for (size_t m = 0; m < c.sorted.size(); ++m)
            EXPECT_EQ(std::isnan(only.addr()[m]), std::isnan(c.sorted[m]));
    }
}

TEST(Sort, ComplexValuesByMagnitudeThenAngle)
{
    Mm z = test::complex(1, 3, {0, -1, 1}, {1, 0, 0});
    Mm s, k;
    sort(z, i_o, s, k);
    EXPECT_EQ(values(s), (std::vector<double>{1, 0, -1}));
    EXPECT_EQ(s.addi()[1], 1);
    EXPECT_EQ(values(k), (std::vector<double>{3, 1, 2}));
    Mm only = sort(z);
    EXPECT_EQ(values(only), (std::vector<double>{1, 0, -1}));
}

TEST(Sort, ColumnLengthsAcrossThePivotRules)
{
    std::mt19937 gen(7);
    for (int n : {1, 2, 6, 7, 8, 40, 41, 1000}) {
        SCOPED_TRACE(n);
        std::vector<double> v(n);
        std::uniform_int_distribution<int> small(0, 5);  // many duplicates
        for (auto& e : v)
            e = small(gen) == 0 ? nan : small(gen) - 2.0;
        Mm x(0, 0, 0, n, 1, qv_double);
        std::copy(v.begin(), v.end(), x.addr());
        std::vector<int> order = reference_order(v);
        Mm s = sort(x);
        Mm si, ki;
        sort(x, i_o, si, ki);
        for (int k = 0; k < n; ++k) {
            double expected = v[order[k]];
            if (std::isnan(expected)) {
                ASSERT_TRUE(std::isnan(s.addr()[k]));
                ASSERT_TRUE(std::isnan(si.addr()[k]));
            } else {
                ASSERT_EQ(s.addr()[k], expected) << k;
                ASSERT_EQ(si.addr()[k], expected);
            }
            ASSERT_EQ(ki.addr()[k], order[k] + 1) << k;
        }
    }
}

TEST(Sort, MatricesTextAndEmpty)
{
    Mm m = test::real(3, 2, {3, 1, 2, 0, 9, -1});
    EXPECT_EQ(values(sort(m)), (std::vector<double>{1, 2, 3, -1, 0, 9}));
    Mm t = sort(TM("cab"));
    EXPECT_EQ(t.isstr(), 1);
    EXPECT_EQ(values(t), (std::vector<double>{'a', 'b', 'c'}));
    Mm s, k;
    sort(Mm(), i_o, s, k);
    EXPECT_EQ(s.getnnz(), 0);
    EXPECT_EQ(k.getnnz(), 0);
    EXPECT_EQ(sort(Mm()).getnnz(), 0);
    EXPECT_ERROR(sort(Mm(0, 0, 0, 1, 2, qv_cell)), "sort: numeric data expected, but matrix (temporary) is not");
    Mm b = sort(test::bytes(1, 3, {9, 1, 5}));
    EXPECT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(values(mdouble(b)), (std::vector<double>{1, 5, 9}));
}

TEST(Sort, SignedZerosFollowThePartitioning)
{
    // The quicksort, unlike a stable sort, may reorder -0 and +0; the result
    // is still ordered, and the elements are the input's.
    Mm x = test::row({0.0, -0.0, 1, -0.0});
    Mm s = sort(x);
    EXPECT_EQ(s.addr()[3], 1);
    int negative_zeros = 0;
    for (int k = 0; k < 3; ++k)
        negative_zeros += std::signbit(s.addr()[k]);
    EXPECT_EQ(negative_zeros, 2);
}

TEST(Sort, ZerosOfOneSignKeepTheirSignOnEveryLength)
{
    // Long and short columns take different routes; a column whose zeros all
    // share one sign must come back with that sign on every zero.
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> pick(0, 3);
    for (int n : {5, 60, 5000})
        for (double zero : {0.0, -0.0}) {
            SCOPED_TRACE(testing::Message() << n << (std::signbit(zero) ? " -0" : " +0"));
            Mm x(0, 0, 0, n, 1, qv_double);
            for (int k = 0; k < n; ++k)
                x.addr()[k] = pick(gen) == 0 ? zero : pick(gen) == 1 ? nan : double(pick(gen)) - 1.5;
            Mm s = sort(x);
            for (int k = 0; k < n; ++k) {
                if (k > 0 && !std::isnan(s.addr()[k])) {
                    ASSERT_LE(s.addr()[k - 1], s.addr()[k]) << k;
                }
                if (s.addr()[k] == 0) {
                    ASSERT_EQ(std::signbit(s.addr()[k]), std::signbit(zero)) << k;
                }
            }
        }
}

// Sorts every line of x along 0-based dimension k by the expected order
// and compares values and positions.
void expect_sorted_along(const Mm& x, int k, const Mm& sorted, const Mm& index)
{
    std::vector<int> d(4, 1);
    for (int m = 0; m < x.getndims(); ++m)
        d[m] = x.getdims()[m];
    ASSERT_EQ(test::extents(sorted), test::extents(x));
    ASSERT_EQ(test::extents(index), test::extents(x));
    std::vector<int> stride(4, 1);
    for (int m = 1; m < 4; ++m)
        stride[m] = stride[m - 1] * d[m - 1];
    for (int start = 0; start < x.size(); ++start) {
        if ((start / stride[k]) % d[k] != 0)
            continue;  // not the first element of a line
        std::vector<double> line(d[k]);
        for (int j = 0; j < d[k]; ++j)
            line[j] = x.addr()[start + j * stride[k]];
        const std::vector<int> order = reference_order(line);
        for (int j = 0; j < d[k]; ++j) {
            const int at = start + j * stride[k];
            ASSERT_EQ(index.addr()[at], order[j] + 1) << "line from " << start;
            ASSERT_EQ(sorted.addr()[at], line[order[j]]);
        }
    }
}

TEST(Sort, AlongEveryDimension)
{
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> small(0, 6);  // ties in every line
    for (std::vector<int> dims : {std::vector<int>{2, 3, 4}, std::vector<int>{3, 2, 2, 4}, std::vector<int>{4, 5}}) {
        Mm x(0, 0, 0, static_cast<int>(dims.size()), dims.data(), qv_double);
        for (int k = 0; k < x.size(); ++k)
            x.addr()[k] = small(gen);
        for (int k = 0; k < static_cast<int>(dims.size()); ++k) {
            SCOPED_TRACE(::testing::PrintToString(dims) + " along " + std::to_string(k + 1));
            Mm s, i;
            sort(x, Mm(k + 1.0), i_o, s, i);
            expect_sorted_along(x, k, s, i);
            EXPECT_EQ(values(sort(x, Mm(k + 1.0))), values(s));
        }
    }
    // sort(a, 2) sorts rows; a row along 1 is left as it is.
    EXPECT_EQ(values(sort(test::real(2, 3, {3, 0, 1, 9, 2, 5}), Mm(2.0))), (std::vector<double>{1, 0, 2, 5, 3, 9}));
    EXPECT_EQ(values(sort(test::row({3, 1, 2}), one_M)), (std::vector<double>{3, 1, 2}));
    EXPECT_EQ(values(sort(test::row({3, 1, 2}), zero_M)), (std::vector<double>{1, 2, 3})) << "0: first extent above 1";
}

TEST(Sort, AlongADimensionKeepsTypeAndRejectsBadDims)
{
    Mm z = test::complex(1, 3, {0, -1, 1}, {1, 0, 0});
    Mm s, k;
    sort(z, Mm(2.0), i_o, s, k);
    EXPECT_EQ(values(k), (std::vector<double>{3, 1, 2}));
    EXPECT_EQ(s.addi()[1], 1);
    EXPECT_EQ(values(sort(z, Mm(2.0))), (std::vector<double>{1, 0, -1}));
    Mm b = sort(test::bytes(2, 2, {9, 1, 3, 2}), Mm(2.0));
    ASSERT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(values(mdouble(b)), (std::vector<double>{3, 1, 9, 2}));
    Mm t = sort(TM("cab"), Mm(2.0));
    EXPECT_TRUE(t.isstr());
    sort(Mm(), Mm(2.0), i_o, s, k);
    EXPECT_EQ(s.size(), 0);
    EXPECT_ERROR(sort(test::real(2, 2, {1, 2, 3, 4}), Mm(3.0)),
                 "sort: dim argument may not be more then the number of dimensions");
    EXPECT_ERROR(sort(test::row({1, 2}), Mm(-1.0), i_o, s, k), "sort: dim argument must be positive");
    EXPECT_ERROR(sort(test::row({1, 2}), Mm()), "sort: dim argument may not be empty");
}

TEST(Sort, VectorsAlongALaterDimension)
{
    // All extents 1 but one: sorted along that one, shape kept.
    struct Case {
        const char* what;
        std::vector<int> dims;
        std::vector<double> x, sorted, index;
    };
    const std::vector<Case> cases = {
        {"1x1x4", {1, 1, 4}, {4, 3, 2, 1}, {1, 2, 3, 4}, {4, 3, 2, 1}},
        {"1x1x1x3", {1, 1, 1, 3}, {2, nan, -1}, {-1, 2, nan}, {3, 1, 2}},
        {"1x1x3 with ties", {1, 1, 3}, {5, 1, 5}, {1, 5, 5}, {2, 1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(0, 0, 0, static_cast<int>(c.dims.size()), c.dims.data(), qv_double);
        std::copy(c.x.begin(), c.x.end(), x.addr());
        Mm s, k;
        sort(x, i_o, s, k);
        EXPECT_EQ(test::extents(s), c.dims);
        EXPECT_EQ(test::extents(k), c.dims);
        EXPECT_EQ(values(k), c.index);
        for (const Mm& got : {s, sort(x)})
            for (size_t m = 0; m < c.sorted.size(); ++m)
                EXPECT_TRUE(got.addr()[m] == c.sorted[m] || (std::isnan(got.addr()[m]) && std::isnan(c.sorted[m])));
    }
    // Two extents above 1: lines along the first of them, the second.
    Mm wide = test::counting({1, 2, 2});
    wide.addr()[0] = 9;
    EXPECT_EQ(values(sort(wide)), (std::vector<double>{2, 9, 3, 4}));
    const int d[3] = {1, 1, 4};
    Mm x(0, 0, 0, 3, d, qv_double);
    const double v[4] = {7, 1, 4, 2};
    std::copy(v, v + 4, x.addr());
    EXPECT_EQ(median(x).r(), 3) << "the median of a vector along dimension 3";
    EXPECT_EQ(values(unique(x)), (std::vector<double>{1, 2, 4, 7}));
}

// An N-d array with one row sorts along its first dimension longer than 1
// (a 2-D row vector keeps its rule: sorted as a column, shape kept), with
// positions along that dimension; shared and unshared operands alike.
TEST(Sort, NdArraysAlongTheFirstDimensionLongerThanOne)
{
    struct Case {
        std::vector<double> x;
        std::vector<int> dims;
        std::vector<double> sorted, index;
    };
    const std::vector<Case> cases = {
#include "data/nd_sort.inc"
    };
    auto same = [](const std::vector<double>& a, const std::vector<double>& b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](double u, double v) { return u == v || (u != u && v != v); });
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.x) + " as " + ::testing::PrintToString(c.dims));
        Mm x(0, 0, 0, static_cast<int>(c.dims.size()), c.dims.data(), qv_double);
        std::copy(c.x.begin(), c.x.end(), x.addr());
        const Mm copy = x;  // x shares its block with copy
        const Mm own = deepcopy(x);  // own does not
        for (const Mm* operand : std::initializer_list<const Mm*>{&x, &own}) {
            SCOPED_TRACE(operand == &x ? "shared" : "unshared");
            const Mm s = sort(*operand);
            EXPECT_EQ(test::extents(s), c.dims);
            EXPECT_TRUE(same(test::values(s), c.sorted)) << ::testing::PrintToString(test::values(s));
            Mm vs, k;
            sort(*operand, i_o, vs, k);
            EXPECT_TRUE(same(test::values(vs), c.sorted));
            EXPECT_EQ(test::extents(k), c.dims);
            EXPECT_EQ(test::values(k), c.index);
        }
        EXPECT_TRUE(same(test::values(copy), c.x)) << "the operand is unchanged";
        // Bytes sort the same way and stay bytes.
        const bool small = std::all_of(c.x.begin(), c.x.end(), [](double v) { return v >= 0 && v < 256; });
        if (small) {
            const Mm b = sort(muint8(x));
            ASSERT_EQ(b.gettype(), qv_uint8);
            EXPECT_EQ(test::values(mdouble(b)), c.sorted);
        }
    }
    // The plain calls, spelled out.
    const Mm a = reshape(test::row({2, 1, 4, 3}), test::row({1, 2, 2}));
    EXPECT_EQ(values(sort(a)), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(values(sort(a)), values(sort(a, Mm(2.0))));
    EXPECT_EQ(values(sort(reshape(test::row({4, 3, 2, 1}), test::row({1, 2, 2})))), (std::vector<double>{3, 4, 1, 2}));
    // A 2-D row: one sorted row, as before.
    EXPECT_EQ(values(sort(test::row({3, 1, 2}))), (std::vector<double>{1, 2, 3}));
}

TEST(Median, SortsFirst)
{
    EXPECT_EQ(median(test::row({3, 1, 2, 4})).r(), 2.5);
    EXPECT_TRUE(std::isnan(median(test::row({1, nan, 3})).r()));
    EXPECT_EQ(median(test::real(3, 2, {5, 1, 3, 2, 8, 4})).r(2), 4);
    EXPECT_EQ(median(test::bytes(1, 2, {1, 2})).ur(1), 1);
}

TEST(Median, AlongADimension)
{
    Mm m = test::real(2, 3, {1, 4, 3, 6, 2, 5});  // [1 3 2; 4 6 5]
    EXPECT_EQ(values(median(m, Mm(2.0))), (std::vector<double>{2, 5}));
    EXPECT_EQ(values(median(m, one_M)), (std::vector<double>{2.5, 4.5, 3.5}));
    const int d[3] = {1, 2, 4};
    Mm x(0, 0, 0, 3, d, qv_double);
    const double v[8] = {4, 10, 1, 30, 3, 20, 2, nan};
    std::copy(v, v + 8, x.addr());
    Mm along3 = median(x, Mm(3.0));
    EXPECT_EQ(test::extents(along3), (std::vector<int>{1, 2}));
    EXPECT_EQ(along3.addr()[0], 2.5);
    EXPECT_TRUE(std::isnan(along3.addr()[1]));
    EXPECT_ERROR(median(m, Mm(3.0)), "sort: dim argument may not be more then the number of dimensions");
}

// ---- sortrows ----


std::string chars(const Mm& x)
{
    std::string out;
    for (double v : test::values(x))
        out += static_cast<char>(v);
    return out;
}

TEST(Sortrows, RowsByColumns)
{
    struct Case {
        const char* what;
        Mm a;
        const Mm* cols;
        std::vector<double> sorted, index;
    };
    const Mm second = Mm(2.0), second_then_first = test::row({2, 1});
    const std::vector<Case> cases = {
        {"all columns", test::real(3, 2, {1, 1, 0, 2, 1, 5}), nullptr, {0, 1, 1, 5, 1, 2}, {3, 2, 1}},
        {"second column only, ties in input order", test::real(3, 2, {3, 1, 2, 9, 5, 5}), &second,
         {1, 2, 3, 5, 5, 9}, {2, 3, 1}},
        {"columns in the order given", test::real(3, 2, {2, 1, 1, 7, 7, 3}), &second_then_first,
         {1, 1, 2, 3, 7, 7}, {3, 2, 1}},
        {"NaN rows after Inf", test::real(3, 1, {NAN, INFINITY, -1}), nullptr, {-1, INFINITY, NAN}, {3, 2, 1}},
        {"equal rows keep their order", test::real(3, 2, {4, 4, 4, 1, 1, 1}), nullptr, {4, 4, 4, 1, 1, 1}, {1, 2, 3}},
        {"one row", test::row({3, 1, 2}), nullptr, {3, 1, 2}, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm sorted, index;
        if (c.cols)
            sortrows(c.a, *c.cols, i_o, sorted, index);
        else
            sortrows(c.a, i_o, sorted, index);
        EXPECT_EQ(test::extents(sorted), test::extents(c.a));
        const std::vector<double> got = test::values(sorted);
        ASSERT_EQ(got.size(), c.sorted.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_TRUE(got[k] == c.sorted[k] || (std::isnan(got[k]) && std::isnan(c.sorted[k]))) << k;
        EXPECT_EQ(test::values(index), c.index);
        EXPECT_EQ(index.cols(), 1);
        const Mm only = c.cols ? sortrows(c.a, *c.cols) : sortrows(c.a);
        EXPECT_EQ(test::values(only).size(), got.size());
    }
}

TEST(Sortrows, AgreesWithStableSortsFromTheLastColumn)
{
    // The definition: stable index sorts by each listed column, last first.
    std::mt19937 gen(13);
    std::uniform_int_distribution<int> small(0, 3);
    Mm a(0, 0, 0, 60, 3, qv_double);
    for (int k = 0; k < a.size(); ++k)
        a.addr()[k] = small(gen) == 0 ? NAN : small(gen);
    Mm cols = test::row({3, 1});
    std::vector<double> idx(60);
    for (int k = 0; k < 60; ++k)
        idx[k] = k + 1;
    for (int c : {1, 3}) {
        Mm key(0, 0, 0, 60, 1, qv_double);
        for (int k = 0; k < 60; ++k)
            key.addr()[k] = a.addr()[int(idx[k]) - 1 + 60 * (c - 1)];
        Mm s, f;
        sort(key, i_o, s, f);
        std::vector<double> next(60);
        for (int k = 0; k < 60; ++k)
            next[k] = idx[int(f.addr()[k]) - 1];
        idx = next;
    }
    Mm sorted, index;
    sortrows(a, cols, i_o, sorted, index);
    EXPECT_EQ(test::values(index), idx);
}

TEST(Sortrows, ComplexTextBytesAndBadColumns)
{
    // Rows by magnitude, then angle: 1 before 1i before -1.
    Mm z = test::complex(3, 1, {-1, 0, 1}, {0, 1, 0});
    Mm zs, zi;
    sortrows(z, i_o, zs, zi);
    EXPECT_EQ(test::values(zi), (std::vector<double>{3, 2, 1}));
    ASSERT_TRUE(zs.isc());
    EXPECT_EQ(zs.addi()[1], 1);

    Mm t(0, 0, 0, 3, 2, qv_double);
    const char* rows = "bacbac";  // column-major: rows "bb", "aa", "cc"
    for (int k = 0; k < 6; ++k)
        t.addr()[k] = rows[k];
    t.setstr(1);
    const Mm st = sortrows(t);
    EXPECT_TRUE(st.isstr());
    EXPECT_EQ(chars(st), "abcabc");

    const Mm b = sortrows(test::bytes(2, 1, {9, 3}));
    ASSERT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(test::values(mdouble(b)), (std::vector<double>{3, 9}));

    Mm e, ei;
    sortrows(Mm(), i_o, e, ei);
    EXPECT_TRUE(isempty(e));
    EXPECT_TRUE(isempty(ei));

    EXPECT_ERROR(sortrows(test::real(2, 2, {1, 2, 3, 4}), Mm(3.0)),
                 "(temporary)(:,=3): col index out of matrix. Index was 3 but indexed matrix has 2 columns.");
    EXPECT_ERROR(sortrows(cell_of(1, 2, {Mm(1.0), TM("a")})),
                 "sortrows: numeric data expected, but matrix (temporary) is not");
}

TEST(Sortrows, CellsOfStrings)
{
    const Mm words = cell_of(1, 3, {TM("pear"), TM("fig"), TM("apple")});
    Mm sorted, index;
    sortrows(words, i_o, sorted, index);
    ASSERT_EQ(sorted.gettype(), qv_cell);
    EXPECT_EQ(test::extents(sorted), (std::vector<int>{3, 1}));
    EXPECT_EQ(chars(sorted.mr(1)) + "|" + chars(sorted.mr(2)) + "|" + chars(sorted.mr(3)), "apple|fig|pear");
    EXPECT_EQ(test::values(index), (std::vector<double>{3, 2, 1})) << "the index refers to the cells";

    // sort of a cell of strings is sortrows; a shorter string sorts before
    // a longer one it begins, as blanks pad it.
    const Mm s = sort(cell_of(2, 1, {TM("ab"), TM("a")}));
    ASSERT_EQ(s.gettype(), qv_cell);
    EXPECT_EQ(chars(s.mr(1)), "a");
    EXPECT_EQ(chars(s.mr(2)), "ab");
    Mm ss, si;
    sort(cell_of(1, 2, {TM("b"), TM("a")}), i_o, ss, si);
    EXPECT_EQ(test::values(si), (std::vector<double>{2, 1}));
    EXPECT_ERROR(sort(cell_of(1, 2, {Mm(1.0), TM("a")})), "sort: numeric data expected, but matrix (temporary) is not");
}

} // namespace
