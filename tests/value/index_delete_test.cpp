// Deleting elements with an empty source: one index, two indices and the
// general form along one non-colon index, for every element storage.
#include "test_support.hpp"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

using test::counting;

Mm logical_row(std::initializer_list<double> v)
{
    Mm m = test::row(v);
    m.setlogical(1);
    return m;
}

std::vector<double> range(int from, int to)
{
    std::vector<double> v;
    for (int k = from; k <= to; ++k)
        v.push_back(k);
    return v;
}

struct DeleteCase {
    const char* what;
    Mm start;
    std::function<void(Mm&)> remove;
    std::vector<int> dims;
    std::vector<double> expected;
};

TEST(IndexDelete, DeletionShapes)
{
    std::vector<double> outside_row2_col3 = {1, 3, 4, 6, 10, 12};
    std::vector<double> outside_col2 = {1, 2, 3, 7, 8, 9, 10, 11, 12};
    const std::vector<DeleteCase> cases = {
        {"a repeat counts once, beyond is ignored", counting({1, 4}), [](Mm& x) { x(test::row({2, 2, 9})) = x_M; },
         {1, 4 - 1}, {1, 3, 4}},
        {"from a matrix gives a row", counting({3, 3}), [](Mm& x) { x(Mm(5.0)) = x_M; }, {1, 8},
         {1, 2, 3, 4, 6, 7, 8, 9}},
        {"from a column stays a column", counting({4, 1}), [](Mm& x) { x(Mm(1.0)) = x_M; }, {3, 1}, {2, 3, 4}},
        {"0.5 deletes element 1", counting({1, 3}), [](Mm& x) { x(Mm(0.5)) = x_M; }, {1, 2}, {2, 3}},
        {"a full mask empties", counting({1, 3}), [](Mm& x) { x(logical_row({1, 1, 1})) = x_M; }, {0, 0}, {}},
        {"mask entries beyond delete nothing", counting({1, 3}), [](Mm& x) { x(logical_row({0, 1, 0, 1})) = x_M; },
         {1, 2}, {1, 3}},
        {"an empty index deletes nothing", counting({1, 3}), [](Mm& x) { x(x_M) = x_M; }, {1, 3}, {1, 2, 3}},
        {"x(:) empties", counting({2, 2}), [](Mm& x) { x(c_p) = x_M; }, {0, 0}, {}},
        {"x(:,:) leaves a matrix alone", counting({3, 4}), [](Mm& x) { x(c_p, c_p) = x_M; }, {3, 4}, range(1, 12)},
        {"a row", counting({3, 4}), [](Mm& x) { x(Mm(2.0), c_p) = x_M; }, {2, 4}, {1, 3, 4, 6, 7, 9, 10, 12}},
        {"two columns", counting({3, 4}), [](Mm& x) { x(c_p, test::row({1, 4})) = x_M; }, {3, 2}, range(4, 9)},
        {"a mask of columns", counting({3, 4}), [](Mm& x) { x(c_p, logical_row({0, 1, 1, 0})) = x_M; }, {3, 2},
         {1, 2, 3, 10, 11, 12}},
        {"row and column give a row", counting({3, 4}), [](Mm& x) { x(Mm(2.0), Mm(3.0)) = x_M; }, {1, 6},
         outside_row2_col3},
        {"out-of-range rows are ignored", counting({3, 4}), [](Mm& x) { x(test::row({0, 7}), c_p) = x_M; }, {3, 4},
         range(1, 12)},
        {"every row", counting({2, 2}), [](Mm& x) { x(test::row({1, 2}), c_p) = x_M; }, {0, 0}, {}},
        // An index that names every row (or column) counts as a colon.
        {"v(2,1) on a column", counting({3, 1}), [](Mm& x) { x(Mm(2.0), Mm(1.0)) = x_M; }, {2, 1}, {1, 3}},
        {"r(1,2) on a row", counting({1, 3}), [](Mm& x) { x(Mm(1.0), Mm(2.0)) = x_M; }, {1, 2}, {1, 3}},
        {"A(1:3,2) is A(:,2)", counting({3, 4}), [](Mm& x) { x(colon(1.0, 3.0), Mm(2.0)) = x_M; }, {3, 3},
         outside_col2},
        {"every row unordered, repeated, one beyond", counting({3, 4}),
         [](Mm& x) { x(test::row({3, 1, 2, 2, 7}), Mm(2.0)) = x_M; }, {3, 3}, outside_col2},
        {"a mask of every row", counting({3, 4}), [](Mm& x) { x(logical_row({1, 1, 1}), Mm(2.0)) = x_M; }, {3, 3},
         outside_col2},
        {"every column, then rows", counting({3, 4}), [](Mm& x) { x(test::row({1, 3}), colon(1.0, 4.0)) = x_M; },
         {1, 4}, {2, 5, 8, 11}},
        {"every row and a column beyond", counting({3, 4}), [](Mm& x) { x(colon(1.0, 3.0), Mm(9.0)) = x_M; }, {3, 4},
         range(1, 12)},
        {"every row and every column", counting({3, 4}), [](Mm& x) { x(colon(1.0, 3.0), colon(1.0, 4.0)) = x_M; },
         {0, 0}, {}},
        {"x(2,3) still gives the row outside", counting({3, 4}), [](Mm& x) { x(Mm(2.0), Mm(3.0)) = x_M; }, {1, 6},
         outside_row2_col3},
        {"A(1:3,2,1), a third index", counting({3, 4}),
         [](Mm& x) { x(colon(1.0, 3.0), Mm(2.0), Mm(1.0)) = x_M; }, {3, 3}, outside_col2},
        {"A(1:3,1:4,1) empties", counting({3, 4}),
         [](Mm& x) { x(colon(1.0, 3.0), colon(1.0, 4.0), Mm(1.0)) = x_M; }, {0, 0}, {}},
        {"sparse A(1:3,2)", sparse(counting({3, 4})), [](Mm& x) { x(colon(1.0, 3.0), Mm(2.0)) = x_M; }, {3, 3},
         outside_col2},
        {"sparse v(2,1)", sparse(counting({3, 1})), [](Mm& x) { x(Mm(2.0), Mm(1.0)) = x_M; }, {2, 1}, {1, 3}},
        {"sparse, a mask of every column", sparse(counting({2, 3})),
         [](Mm& x) { x(Mm(1.0), logical_row({1, 1, 1})) = x_M; }, {1, 3}, {2, 4, 6}},
        {"sparse, every position deleted", sparse(counting({1, 4})), [](Mm& x) { x(colon(1.0, 4.0)) = x_M; }, {0, 0},
         {}},
        {"a middle slab of 3x4x2", counting({3, 4, 2}), [](Mm& x) { x(Mm(2.0), c_p, c_p) = x_M; }, {2, 4, 2},
         {1, 3, 4, 6, 7, 9, 10, 12, 13, 15, 16, 18, 19, 21, 22, 24}},
        {"the last page collapses", counting({3, 4, 2}), [](Mm& x) { x(c_p, c_p, Mm(2.0)) = x_M; }, {3, 4},
         range(1, 12)},
        {"a column of every page", counting({2, 3, 2}), [](Mm& x) { x(c_p, Mm(2.0)) = x_M; }, {2, 2, 2},
         {1, 2, 5, 6, 7, 8, 11, 12}},
        {"one index on N-d gives a row", counting({2, 1, 2}), [](Mm& x) { x(Mm(2.0)) = x_M; }, {1, 3}, {1, 3, 4}},
        {"one index on an N-d vector keeps it", counting({1, 1, 4}), [](Mm& x) { x(test::row({1, 4})) = x_M; },
         {1, 1, 2}, {2, 3}},
        {"all colons in the general form", counting({2, 2, 2}), [](Mm& x) { x(c_p, c_p, c_p) = x_M; }, {0, 0}, {}},
        // Ascending positions move the kept runs; any other order takes the
        // mask: both give the same value.
        {"ascending runs", counting({1, 10}), [](Mm& x) { x(test::row({1, 4, 5, 9})) = x_M; }, {1, 6},
         {2, 3, 6, 7, 8, 10}},
        {"the same positions unordered", counting({1, 10}), [](Mm& x) { x(test::row({9, 4, 1, 5})) = x_M; },
         {1, 6}, {2, 3, 6, 7, 8, 10}},
        {"ascending, the last one beyond", counting({1, 5}), [](Mm& x) { x(test::row({2, 5, 8})) = x_M; }, {1, 3},
         {1, 3, 4}},
        {"ascending, every one", counting({3, 1}), [](Mm& x) { x(test::row({1, 2, 3})) = x_M; }, {0, 0}, {}},
        {"ascending from a matrix", counting({2, 3}), [](Mm& x) { x(test::row({1, 6})) = x_M; }, {1, 4},
         {2, 3, 4, 5}},
        {"a shared value is copied", counting({1, 4}),
         [](Mm& x) {
             const Mm keep = x;
             x(Mm(3.0)) = x_M;
             EXPECT_EQ(values(keep), (std::vector<double>{1, 2, 3, 4}));
         },
         {1, 3}, {1, 2, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(c.start, "x");
        c.remove(x);
        EXPECT_EQ(extents(x), c.dims);
        EXPECT_EQ(values(x), c.expected);
        EXPECT_EQ(x.issparse(), c.start.issparse());
    }
}

TEST(IndexDelete, AscendingPositionsInComplexAndByteValues)
{
    Mm z(test::complex(1, 4, {1, 2, 3, 4}, {5, 6, 7, 8}), "z");
    z(test::row({2, 3})) = x_M;
    EXPECT_EQ(values(z), (std::vector<double>{1, 4}));
    EXPECT_EQ(std::vector<double>(z.addi(), z.addi() + 2), (std::vector<double>{5, 8}));
    Mm b(test::bytes(1, 5, {10, 20, 30, 40, 50}), "b");
    b(test::row({1, 5})) = x_M;
    ASSERT_EQ(b.size(), 3);
    EXPECT_EQ(b.getpr((unsigned char*)nullptr)[0], 20);
    EXPECT_EQ(b.getpr((unsigned char*)nullptr)[2], 40);
    EXPECT_ERROR(b(test::row({1, -1})) = x_M, "b(-1): index is non-positive");
    EXPECT_EQ(b.size(), 3) << "a bad position anywhere deletes nothing";
}

TEST(IndexDelete, RefusedDeletionsChangeNothing)
{
    struct Case {
        const char* what;
        Mm start;
        std::function<void(Mm&)> remove;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"zero", counting({1, 3}), [](Mm& x) { x(Mm(0.0)) = x_M; }, "x(0): index is non-positive"},
        {"NaN", counting({1, 3}), [](Mm& x) { x(test::row({1, NAN})) = x_M; }, "x(0): index is non-positive"},
        {"minus two", counting({1, 3}), [](Mm& x) { x(test::row({1, -2})) = x_M; }, "x(-2): index is non-positive"},
        {"two non-colon indices", counting({2, 2, 2}), [](Mm& x) { x(Mm(1.0), Mm(2.0), c_p) = x_M; },
         "While assigning empty matrix to the matrix 'x', there was more than one non-colon index"},
        {"general form, not positive", counting({2, 2, 2}), [](Mm& x) { x(c_p, Mm(0.0), c_p) = x_M; },
         "index =0 out of matrix x. Index value was 0 which is not positive."},
        {"general form, one index past a non-vector", counting({2, 2, 2}), [](Mm& x) { x(Mm(9.0)) = x_M; },
         "Index =9 out of matrix x. Index value was 9 however the indexed matrix has only 8 elements."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm x(c.start, "x");
        const std::vector<int> dims = extents(x);
        const double* data = x.addr();
        EXPECT_ERROR(c.remove(x), c.message);
        EXPECT_EQ(extents(x), dims);
        EXPECT_EQ(x.addr(), data);
    }
}

TEST(IndexDelete, MarksStorageAndSharing)
{
    Mm t(TM("hello"), "t");
    t(c_p) = x_M;
    EXPECT_TRUE(t.isstr()) << "x(:) = [] keeps the text mark";
    EXPECT_EQ(t.size(), 0);
    Mm s(TM("hello"), "s");
    s(Mm(1.0), c_p) = x_M;
    EXPECT_TRUE(s.isstr());

    Mm x(counting({1, 5}), "x");
    const double* block = x.addr();
    x(Mm(2.0)) = x_M;
    EXPECT_EQ(x.addr(), block) << "an unshared target is compacted in place";
    Mm y(x);
    x(Mm(1.0)) = x_M;
    EXPECT_EQ(values(y), (std::vector<double>{1, 3, 4, 5})) << "a shared target leaves the other holder alone";
    EXPECT_EQ(values(x), (std::vector<double>{3, 4, 5}));

    Mm z(test::complex(1, 3, {1, 2, 3}, {4, 5, 6}), "z");
    z(Mm(2.0)) = x_M;
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(z.addi()[1], 6);

    Mm b(test::bytes(2, 2, {1, 2, 3, 4}), "b");
    b(c_p, Mm(1.0)) = x_M;
    EXPECT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(b.ur(2), 4);

    Mm c(cell(Mm(1.0), Mm(3.0)), "c");
    c.mr(3) = TM("last");
    c(Mm(1.0)) = x_M;
    ASSERT_EQ(c.size(), 2);
    EXPECT_TRUE(c.mr(2).isstr());
    c.br(Mm(1.0)) = x_M;
    EXPECT_EQ(c.size(), 2) << "a brace store of [] is not a deletion";
}

TEST(IndexDelete, StructArraysAndSparseValues)
{
    Mm s(Mm(0, 0, 0, 1, 3, qv_cell), "s");
    s.addfield("a", 1);
    for (int k = 1; k <= 3; ++k) {
        Mm f(0, 0, 0, 1, 1, qv_cell);
        f.mr(1) = Mm(double(k));
        s.mr(k) = f;
    }
    s(Mm(2.0)) = x_M;
    ASSERT_TRUE(s.isstruct());
    EXPECT_EQ(extents(s), (std::vector<int>{1, 2}));
    EXPECT_EQ(Mm(s(Mm(2.0)).member("a")).r(), 3);

    // 4x4 with (r, c) holding 10 r + c on the diagonal and at (1,4).
    Mm sp(0, 1, 5, 4, 4, qv_double);
    const int at[] = {0, 5, 10, 12, 15};
    const double v[] = {11, 22, 33, 14, 44};
    for (int k = 0; k < 5; ++k) {
        sp.getindex()[k] = at[k];
        sp.addr()[k] = v[k];
    }
    Mm x(sp, "x");
    x(c_p, Mm(2.0)) = x_M;
    ASSERT_TRUE(x.issparse());
    EXPECT_EQ(extents(x), (std::vector<int>{4, 3}));
    EXPECT_EQ(x.getnnz(), 4);
    EXPECT_EQ(values(x), (std::vector<double>{11, 0, 0, 0, 0, 0, 33, 0, 14, 0, 0, 44}));
    x(Mm(4.0), c_p) = x_M;
    EXPECT_EQ(extents(x), (std::vector<int>{3, 3}));
    EXPECT_EQ(values(x), (std::vector<double>{11, 0, 0, 0, 0, 33, 14, 0, 0}));
}

// Deleting from a sparse value by every kind of index gives the elements
// the same deletion gives on its full form, with the stored entries
// ascending. And on values that have no full form: one element of the
// 2147395600 x 1 column S(:) of a 46340^2 value with 10^5 entries went
// through a mark and a rank per element (2^31 of each, "Out of memory!"
// after 18 s).
TEST(IndexDelete, SparseValuesByEveryIndex)
{
    struct Case {
        const char* what;
        std::function<void(Mm& x)> remove;
    };
    const std::vector<Case> cases = {
        {"S(5) = []", [](Mm& x) { x(Mm(5.0)) = x_M; }},
        {"S([9 2 9 40]) = []", [](Mm& x) { x(test::row({9, 2, 9, 40})) = x_M; }},
        {"S(mask) = []", [](Mm& x) { x(logical_row({1, 0, 0, 1, 1, 0, 0, 0, 1})) = x_M; }},
        {"S(:, [2 2 5]) = []", [](Mm& x) { x(c_p, test::row({2, 2, 5})) = x_M; }},
        {"S([6 1], :) = []", [](Mm& x) { x(test::row({6, 1}), c_p) = x_M; }},
        {"S(1:end, 1) = []", [](Mm& x) { x(counting({1, x.rows()}), Mm(1.0)) = x_M; }},
        {"S(:, 1:7) = []", [](Mm& x) { x(c_p, counting({1, 7})) = x_M; }},
        {"S(:, :, 1) = []", [](Mm& x) { x(c_p, c_p, Mm(1.0)) = x_M; }},
        {"S(:, 8) = [] (beyond)", [](Mm& x) { x(c_p, Mm(8.0)) = x_M; }},
    };
    // -20 .. 21 with every third one 0, in the shape asked.
    auto made = [](int rows, int cols) {
        Mm f(0, 0, 0, rows, cols, qv_double);
        for (int k = 0; k < 42; ++k)
            f.addr()[k] = k % 3 ? k - 20 : 0;
        return sparse(f);
    };
    const std::vector<std::pair<std::string, std::function<Mm()>>> targets = {
        {"6x7", [&] { return made(6, 7); }},
        {"6x7 complex",
         [] {
             Mm f(1, 0, 0, 6, 7, qv_double);
             for (int k = 0; k < 42; ++k) {
                 f.addr()[k] = k % 3 ? k - 20 : 0;
                 f.addi()[k] = k % 4 ? 0 : 21 - k;
             }
             return sparse(f);
         }},
        {"1x42 row", [&] { return made(1, 42); }},
        {"42x1 column", [&] { return made(42, 1); }},
    };
    for (const auto& [kind, make] : targets)
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " on " + kind);
            Mm x(make(), "S");
            Mm f(full(x), "F");
            const std::string got = test::error_of([&] { c.remove(x); });
            const std::string want = test::error_of([&] { c.remove(f); });
            EXPECT_EQ(got, want);
            if (!got.empty() || !want.empty())
                continue;
            ASSERT_TRUE(x.issparse());
            EXPECT_EQ(extents(x), extents(f));
            EXPECT_TRUE(std::is_sorted(x.getindex(), x.getindex() + x.getnnz()));
            EXPECT_EQ(values(full(x)), values(f));
            if (x.isc() || f.isc()) {
                EXPECT_EQ(values(imag(full(x))), values(imag(f)));
            }
        }

    // The long column and row: the entries after a deleted place move up
    // by the places deleted before them.
    const int n = 46340;
    std::vector<int> at;
    for (std::int64_t p = 3; p < std::int64_t{n} * n; p += 21473)
        at.push_back(static_cast<int>(p));
    Mm big(0, 1, static_cast<int>(at.size()), n, n, qv_double);
    for (std::size_t k = 0; k < at.size(); ++k) {
        big.getindex()[k] = at[k];
        big.addr()[k] = 1.0 + k;
    }
    const std::vector<int> gone = {4, 1, 21477, 2147395600};  // 1-based; the 1st, 2nd and last are stored
    Mm gone_index(0, 0, 0, 1, static_cast<int>(gone.size()), qv_double);
    for (std::size_t k = 0; k < gone.size(); ++k)
        gone_index.addr()[k] = gone[k];
    for (const bool row : {false, true}) {
        SCOPED_TRACE(row ? "S(:)'(k) = []" : "S(:)(k) = []");
        Mm x(Mm(big(c_p)), "S");
        if (row)
            x = ctranspose(x);
        ASSERT_EQ(test::error_of([&] { x(gone_index) = x_M; }), "");
        ASSERT_TRUE(x.issparse());
        const int left = 2147395600 - static_cast<int>(gone.size());
        EXPECT_EQ(extents(x), row ? (std::vector<int>{1, left}) : (std::vector<int>{left, 1}));
        std::vector<int> sorted_gone;
        for (int g : gone)
            sorted_gone.push_back(g - 1);
        std::sort(sorted_gone.begin(), sorted_gone.end());
        std::vector<int> want_at;
        std::vector<double> want_v;
        for (std::size_t k = 0; k < at.size(); ++k) {
            const auto below = std::lower_bound(sorted_gone.begin(), sorted_gone.end(), at[k]);
            if (below != sorted_gone.end() && *below == at[k])
                continue;
            want_at.push_back(at[k] - static_cast<int>(below - sorted_gone.begin()));
            want_v.push_back(big.addr()[k]);
        }
        ASSERT_EQ(x.getnnz(), static_cast<int>(want_at.size()));
        EXPECT_EQ(std::vector<int>(x.getindex(), x.getindex() + x.getnnz()), want_at);
        EXPECT_EQ(std::vector<double>(x.addr(), x.addr() + x.getnnz()), want_v);
    }
}

// Deleting from a row and a column of 2^31 - 1 elements, the longest line a
// sparse value holds: an index of 2^31 or more named the last element (the
// position was held at 2^31 - 2), so S(2^31) = [] deleted S(end) where,
// as for every vector, a place past the end deletes nothing. On a target
// of its own and on one that shares its storage (which keeps its entries).
TEST(IndexDelete, PlacesAtAndPastTheEndOfTheLongestSparseLines)
{
    constexpr int longest = 2147483647;
    const double last = longest;
    struct Case {
        const char* what;
        std::function<void(Mm& x)> remove;
        int left;                 // elements afterwards
        std::vector<int> stored;  // positions afterwards
    };
    const std::vector<Case> cases = {
        {"S(2^31) = []", [](Mm& x) { x(Mm(2147483648.0)) = x_M; }, longest, {0, 1000, longest - 1}},
        {"S(1e10) = []", [](Mm& x) { x(Mm(1e10)) = x_M; }, longest, {0, 1000, longest - 1}},
        {"S([1001 2^31]) = []", [](Mm& x) { x(test::row({1001, 2147483648.0})) = x_M; }, longest - 1,
         {0, longest - 2}},
        {"S(end) = []", [&](Mm& x) { x(Mm(last)) = x_M; }, longest - 1, {0, 1000}},
        {"S([1 end]) = []", [&](Mm& x) { x(test::row({1, last})) = x_M; }, longest - 2, {999}},
        {"S(end) = [] by two indices",
         [&](Mm& x) {
             if (x.rows() == 1)
                 x(Mm(1.0), Mm(last)) = x_M;
             else
                 x(Mm(last), Mm(1.0)) = x_M;
         },
         longest - 1, {0, 1000}},
        {"S(2^31) = [] by two indices",
         [&](Mm& x) {
             if (x.rows() == 1)
                 x(Mm(1.0), Mm(2147483648.0)) = x_M;
             else
                 x(Mm(2147483648.0), Mm(1.0)) = x_M;
         },
         longest, {0, 1000, longest - 1}},
    };
    for (const bool row : {true, false})
        for (const bool shared : {false, true})
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(c.what) + (row ? " of the row" : " of the column") +
                             (shared ? ", shared" : ""));
                Mm x(test::sparse_at(row ? 1 : longest, row ? longest : 1, {0, 1000, longest - 1}, {1, 2, 3}), "S");
                Mm keep;
                if (shared)
                    keep = x;
                ASSERT_EQ(test::error_of([&] { c.remove(x); }), "");
                ASSERT_TRUE(x.issparse());
                EXPECT_EQ(extents(x), row ? (std::vector<int>{1, c.left}) : (std::vector<int>{c.left, 1}));
                EXPECT_EQ(std::vector<int>(x.getindex(), x.getindex() + x.getnnz()), c.stored);
                if (shared) {
                    EXPECT_EQ(std::vector<int>(keep.getindex(), keep.getindex() + keep.getnnz()),
                              (std::vector<int>{0, 1000, longest - 1}));
                }
            }
}

} // namespace
