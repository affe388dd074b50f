// Transposes of full, N-d, cell and sparse values; flips, rotation and
// replication.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

using test::counting;

TEST(Transpose, ReversesTheDimensions)
{
    Mm a = test::complex(1, 2, {1, 3}, {2, 0});
    Mm plain = transpose(a);
    EXPECT_EQ(test::extents(plain), (std::vector<int>{2, 1}));
    EXPECT_EQ(plain.addi()[0], 2) << "no conjugation";
    EXPECT_EQ(transpose(a, 0).addi()[0], -2);

    Mm m(0, 0, 0, 37, 45, qv_double);
    for (int k = 0; k < m.size(); ++k)
        m.addr()[k] = k;
    Mm t = transpose(m);
    EXPECT_EQ(test::extents(t), (std::vector<int>{45, 37}));
    bool same = true;
    for (int r = 1; r <= 37; ++r)
        for (int c = 1; c <= 45; ++c)
            same &= t.r(c, r) == m.r(r, c);
    EXPECT_TRUE(same) << "across the cache tiles";

    const int d[3] = {2, 3, 4};
    Mm n(0, 0, 0, 3, d, qv_double);
    for (int k = 0; k < n.size(); ++k)
        n.addr()[k] = k;
    Mm nt = transpose(n);
    EXPECT_EQ(test::extents(nt), (std::vector<int>{4, 3, 2}));
    EXPECT_EQ(nt.r(4, 3, 2), n.r(2, 3, 4));
    EXPECT_EQ(nt.r(2, 1, 1), n.r(1, 1, 2));

    Mm empty(0, 1, 0, 0, 3, qv_double);
    EXPECT_EQ(test::extents(transpose(empty)), (std::vector<int>{0, 3})) << "an empty value is returned as it is";
    Mm s = TM("ab");
    EXPECT_TRUE(transpose(s).isstr());
    Mm c(0, 0, 0, 1, 2, qv_cell);
    c.mr(2) = Mm(5.0);
    EXPECT_EQ(transpose(c).mr(2, 1).r(), 5);
}

TEST(Transpose, SparseStaysSparseAndSorted)
{
    // 2x3 with (1,2)=1 and (2,1)=2.
    Mm s(0, 1, 2, 2, 3, qv_double);
    s.getindex()[0] = 1;
    s.getindex()[1] = 2;
    s.addr()[0] = 2;
    s.addr()[1] = 1;
    Mm t = transpose(s);
    ASSERT_TRUE(t.issparse());
    EXPECT_EQ(test::extents(t), (std::vector<int>{3, 2}));
    EXPECT_EQ(std::vector<int>(t.getindex(), t.getindex() + 2), (std::vector<int>{1, 3}));
    EXPECT_EQ(test::values(t), (std::vector<double>{0, 1, 0, 2, 0, 0}));
}

TEST(Transpose, ConjugatingAndPlainFronts)
{
    Mm a = test::complex(1, 2, {1, 3}, {2, 0});
    Mm c = ctranspose(a);
    EXPECT_EQ(extents(c), (std::vector<int>{2, 1}));
    EXPECT_EQ(values(c), (std::vector<double>{1, 3}));
    EXPECT_EQ(std::vector<double>(c.addi(), c.addi() + 2), (std::vector<double>{-2, 0}));
    EXPECT_EQ(dot_transpose(a).addi()[0], 2);

    // A complex 2x3x4 value: element (i, j, k) lands at (k, j, i), conjugated.
    const int d[3] = {2, 3, 4};
    Mm z(1, 0, 0, 3, d, qv_double);
    for (int k = 0; k < z.size(); ++k) {
        z.addr()[k] = k;
        z.addi()[k] = 100 + k;
    }
    Mm zt = ctranspose(z);
    EXPECT_EQ(extents(zt), (std::vector<int>{4, 3, 2}));
    bool same = true;
    for (int i = 1; i <= 2; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 4; ++k)
                same &= zt.r(k, j, i) == z.r(i, j, k) && zt.i(k, j, i) == -z.i(i, j, k);
    EXPECT_TRUE(same);
}

TEST(Flips, ColumnsRowsAndDimensions)
{
    const Mm a = counting({2, 3});
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"fliplr", fliplr(a), {5, 6, 3, 4, 1, 2}},
        {"flipud", flipud(a), {2, 1, 4, 3, 6, 5}},
        {"flipdim 1", flipdim(a, one_M), {2, 1, 4, 3, 6, 5}},
        {"flipdim 2", flipdim(a, Mm(2.0)), {5, 6, 3, 4, 1, 2}},
        {"flipdim 3 flips the columns", flipdim(a, Mm(3.0)), {5, 6, 3, 4, 1, 2}},
        {"flipdim 1.7 is 1", flipdim(a, Mm(1.7)), {2, 1, 4, 3, 6, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extents(c.result), (std::vector<int>{2, 3}));
        EXPECT_EQ(values(c.result), c.values);
    }
    Mm t = fliplr(TM("abc"));
    EXPECT_TRUE(t.isstr());
    EXPECT_EQ(values(t), (std::vector<double>{'c', 'b', 'a'}));
    Mm b = flipud(test::bytes(2, 1, {1, 2}));
    EXPECT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(b.ur(1), 2);
    EXPECT_EQ(fliplr(Mm()).size(), 0);
    Mm s(0, 1, 1, 2, 3, qv_double);  // 7 at (2,1)
    s.getindex()[0] = 1;
    s.addr()[0] = 7;
    s.getnnz() = 1;
    Mm sf = fliplr(s);
    EXPECT_TRUE(sf.issparse());
    EXPECT_EQ(values(sf), (std::vector<double>{0, 0, 0, 0, 0, 7}));
    EXPECT_ERROR(fliplr(counting({2, 2, 2})), "fliplr: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_ERROR(flipud(counting({2, 2, 2})), "flipud: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_ERROR(flipdim(a, Mm()), "(temporary).r(): matrix is empty");
}

// Flips and quarter turns of sparse values work from the stored entries:
// the reversed range they read through was as long as the flipped extent,
// so fliplr of a row of 2^31 - 1 elements (the longest a sparse value
// holds) wanted 17 GB of index and said "Out of memory!". Small values of
// every layout give the elements of the same call on the full form, in
// sorted sparse form without stored zeros; the longest row and column give
// the mirrored positions.
TEST(Flips, SparseValuesFlipFromTheirStoredEntries)
{
    auto sparse_with = [](int rows, int cols, std::vector<int> at, std::vector<double> re, std::vector<double> im) {
        Mm s(!im.empty(), 1, static_cast<int>(at.size()), rows, cols, qv_double);
        for (std::size_t k = 0; k < at.size(); ++k) {
            s.getindex()[k] = at[k];
            s.addr()[k] = re[k];
            if (!im.empty())
                s.addi()[k] = im[k];
        }
        return s;
    };
    Mm logical = sparse_with(3, 4, {0, 5, 11}, {1, 1, 1}, {});
    logical.setlogical(1);
    const std::vector<std::pair<const char*, Mm>> operands = {
        {"4x6 with a stored zero", sparse_with(4, 6, {0, 3, 9, 10, 23}, {1, 0, -2, 3.5, 4}, {})},
        {"complex 3x5", sparse_with(3, 5, {1, 2, 7, 14}, {1, 0, 2, -1}, {0, 5, -1, 2})},
        {"1x7", sparse_with(1, 7, {0, 4, 6}, {9, 8, 7}, {})},
        {"5x1", sparse_with(5, 1, {1, 2}, {6, -6}, {})},
        {"logical 3x4", logical},
        {"2x3 storing nothing", sparse_with(2, 3, {}, {}, {})},
        {"0x3", sparse_with(0, 3, {}, {}, {})},
    };
    struct Call {
        const char* what;
        Mm (*apply)(const Mm&);
    };
    const std::vector<Call> calls = {
        {"fliplr", [](const Mm& x) { return fliplr(x); }},
        {"flipud", [](const Mm& x) { return flipud(x); }},
        {"flipdim 1", [](const Mm& x) { return flipdim(x, Mm(1.0)); }},
        {"rot90", [](const Mm& x) { return rot90(x); }},
        {"rot90 2", [](const Mm& x) { return rot90(x, Mm(2.0)); }},
        {"rot90 3", [](const Mm& x) { return rot90(x, Mm(3.0)); }},
        {"rot90 -1", [](const Mm& x) { return rot90(x, Mm(-1.0)); }},
    };
    for (const auto& [name, s] : operands)
        for (const Call& c : calls) {
            SCOPED_TRACE(std::string(c.what) + " of " + name);
            const Mm before = s;  // shares s's storage
            const Mm got = c.apply(s), want = c.apply(full(s));
            ASSERT_TRUE(got.issparse());
            EXPECT_EQ(extents(got), extents(want));
            const Mm got_full = full(got);
            EXPECT_EQ(values(got_full), values(want));
            auto imag_parts = [](const Mm& f) {
                return f.isc() ? std::vector<double>(f.addi(), f.addi() + f.size()) : std::vector<double>(f.size(), 0.0);
            };
            EXPECT_EQ(imag_parts(got_full), imag_parts(want));
            EXPECT_EQ(got.islogical(), s.islogical());
            std::vector<int> at(got.getindex(), got.getindex() + got.getnnz());
            EXPECT_TRUE(std::is_sorted(at.begin(), at.end()) && std::adjacent_find(at.begin(), at.end()) == at.end());
            for (int k = 0; k < got.getnnz(); ++k)
                EXPECT_TRUE(got.addr()[k] != 0 || (got.isc() && got.addi()[k] != 0)) << "a stored zero at " << at[k];
            EXPECT_EQ(values(full(s)), values(full(before))) << "the operand is unchanged";
        }

    constexpr int longest = 2147483647;
    for (const bool row : {true, false}) {
        SCOPED_TRACE(row ? "the longest row" : "the longest column");
        const Mm s = sparse_with(row ? 1 : longest, row ? longest : 1, {0, 1000, longest - 2}, {2, 0.25, 3}, {});
        const Mm along = row ? fliplr(s) : flipud(s), across = row ? flipud(s) : fliplr(s);
        ASSERT_TRUE(along.issparse());
        EXPECT_EQ(std::vector<int>(along.getindex(), along.getindex() + along.getnnz()),
                  (std::vector<int>{1, longest - 1001, longest - 1}));
        EXPECT_EQ(std::vector<double>(along.addr(), along.addr() + along.getnnz()), (std::vector<double>{3, 0.25, 2}));
        EXPECT_EQ(std::vector<int>(across.getindex(), across.getindex() + across.getnnz()),
                  (std::vector<int>{0, 1000, longest - 2}));
        const Mm turned = rot90(s, Mm(2.0));
        EXPECT_EQ(std::vector<int>(turned.getindex(), turned.getindex() + turned.getnnz()),
                  (std::vector<int>{1, longest - 1001, longest - 1}));
        const Mm quarter = rot90(s);
        EXPECT_EQ(extents(quarter), row ? (std::vector<int>{longest, 1}) : (std::vector<int>{1, longest}));
        EXPECT_EQ(quarter.getnnz(), 3);
    }
}

TEST(Rot90, QuarterTurns)
{
    const Mm a = counting({2, 3});  // [1 3 5; 2 4 6]
    struct Case {
        double k;
        std::vector<int> dims;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {1, {3, 2}, {5, 3, 1, 6, 4, 2}},   // [5 6; 3 4; 1 2]
        {2, {2, 3}, {6, 5, 4, 3, 2, 1}},
        {3, {3, 2}, {2, 4, 6, 1, 3, 5}},   // [2 1; 4 3; 6 5]
        {4, {2, 3}, {1, 2, 3, 4, 5, 6}},
        {-1, {3, 2}, {2, 4, 6, 1, 3, 5}},
        {-5, {3, 2}, {2, 4, 6, 1, 3, 5}},
        {1.9, {3, 2}, {5, 3, 1, 6, 4, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.k);
        Mm r = rot90(a, Mm(c.k));
        EXPECT_EQ(extents(r), c.dims);
        EXPECT_EQ(values(r), c.values);
    }
    EXPECT_EQ(values(rot90(a)), values(rot90(a, one_M)));
    Mm z = rot90(test::complex(1, 2, {1, 2}, {3, 4}));
    EXPECT_EQ(std::vector<double>(z.addi(), z.addi() + 2), (std::vector<double>{4, 3})) << "never conjugated";
    EXPECT_ERROR(rot90(counting({2, 2, 2})), "rot90: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
}

// Counts of quarter turns beyond an int are taken modulo 4 in double:
// 2^32 and 1e300 are multiples of 4. NaN and Inf name no count.
TEST(Rot90, TurnsBeyondAnInt)
{
    struct Case {
        double k;
        std::vector<double> values;
        std::vector<int> dims;
    };
    const std::vector<Case> cases = {
#include "data/rot90_turns.inc"
    };
    const Mm a = counting({2, 3});  // [1 3 5; 2 4 6]
    for (const auto& c : cases) {
        SCOPED_TRACE(c.k);
        const Mm r = rot90(a, Mm(c.k));
        EXPECT_EQ(extents(r), c.dims);
        EXPECT_EQ(values(r), c.values);
    }
    const char* refused = "rot90: k must be a finite number of quarter turns";
    EXPECT_ERROR(rot90(a, Mm(NAN)), refused);
    EXPECT_ERROR(rot90(a, Mm(INFINITY)), refused);
    EXPECT_ERROR(rot90(a, Mm(-INFINITY)), refused);
    EXPECT_EQ(values(rot90(a, sparse(Mm(4294967296.0)))), values(a)) << "a sparse count";
}

TEST(Repmat, CountsShapesAndTypes)
{
    const Mm a = counting({2, 3});
    struct Case {
        const char* what;
        Mm result;
        std::vector<int> dims;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"[1 2] by 2, 3", repmat(test::row({1, 2}), Mm(2.0), Mm(3.0)), {2, 6}, {1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2}},
        {"one count doubles the rows", repmat(a, Mm(2.0)), {4, 3}, {1, 2, 1, 2, 3, 4, 3, 4, 5, 6, 5, 6}},
        {"a column by [1 2]", repmat(test::real(2, 1, {7, 8}), test::row({1, 2})), {2, 2}, {7, 8, 7, 8}},
        {"a third dimension", repmat(test::row({1, 2}), test::row({1, 1, 2})), {1, 2, 2}, {1, 2, 1, 2}},
        {"a scalar everywhere", repmat(Mm(4.0), Mm(2.0), Mm(2.0)), {2, 2}, {4, 4, 4, 4}},
        {"counts round", repmat(Mm(4.0), Mm(1.5), Mm(0.4)), {0, 0}, {}},
        {"zero rows", repmat(a, Mm(0.0), one_M), {0, 0}, {}},
        {"NaN counts 0", repmat(a, Mm(NAN), one_M), {0, 0}, {}},
        {"count vector of five", repmat(Mm(1.0), test::row({1, 1, 1, 2, 9})), {1, 1, 1, 2}, {1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extents(c.result), c.dims);
        EXPECT_EQ(values(c.result), c.values);
    }
    // 2x3x2 by [2 1 2]: element (i, j, k) is a(i mod 2, j, k mod 2).
    Mm n = counting({2, 3, 2});
    Mm r = repmat(n, test::row({2, 1, 2}));
    EXPECT_EQ(extents(r), (std::vector<int>{4, 3, 4}));
    bool same = true;
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 1; k <= 4; ++k)
                same &= r.r(i, j, k) == n.r((i - 1) % 2 + 1, j, (k - 1) % 2 + 1);
    EXPECT_TRUE(same);

    Mm same_x = repmat(a, one_M, one_M);
    EXPECT_EQ(same_x.addr(), a.addr()) << "all counts 1 share the storage";
    EXPECT_EQ(repmat(a, Mm()).addr(), a.addr());

    Mm text = repmat(TM("ab"), one_M, Mm(2.0));
    EXPECT_TRUE(text.isstr());
    EXPECT_EQ(values(text), (std::vector<double>{'a', 'b', 'a', 'b'}));
    Mm z = repmat(test::complex(1, 1, {1}, {2}), Mm(2.0), one_M);
    EXPECT_EQ(std::vector<double>(z.addi(), z.addi() + 2), (std::vector<double>{2, 2}));
    Mm b = repmat(test::bytes(1, 2, {5, 6}), Mm(2.0));
    ASSERT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(b.ur(2, 2), 6);
    Mm logical = test::row({1, 0});
    logical.setlogical(1);
    EXPECT_TRUE(repmat(logical, Mm(3.0)).islogical());
    Mm c(0, 0, 0, 1, 2, qv_cell);
    c.mr(1) = Mm(9.0);
    Mm rc = repmat(c, Mm(2.0));
    ASSERT_EQ(rc.gettype(), qv_cell);
    EXPECT_EQ(rc.mr(2, 1).r(), 9);

    // Sparse: all counts 1 keep the sparse value, others give a full one.
    Mm s(0, 1, 1, 2, 2, qv_double);
    s.getindex()[0] = 3;
    s.addr()[0] = 5;
    s.getnnz() = 1;
    EXPECT_TRUE(repmat(s, one_M, one_M).issparse());
    Mm sf = repmat(s, one_M, Mm(2.0));
    EXPECT_FALSE(sf.issparse());
    EXPECT_EQ(values(sf), (std::vector<double>{0, 0, 0, 5, 0, 0, 0, 5}));

    EXPECT_ERROR(repmat(a, Mm(1e6), Mm(1e6)), "Out of memory!");
    EXPECT_ERROR(repmat(a, Mm(3e9), one_M), "Out of memory!");
    EXPECT_ERROR(repmat(a, Mm(0, 0, 0, 1, 1, qv_cell)), "repmat: numeric data expected, but matrix (temporary) is not");
    // A count with an imaginary part was read as its real part, without a
    // word.
    const Mm two_i = test::complex(1, 1, {2}, {1});
    EXPECT_ERROR(repmat(a, two_i), "repmat: the counts must be real");
    EXPECT_ERROR(repmat(a, one_M, two_i), "repmat: the counts must be real");
    EXPECT_ERROR(repmat(a, two_i, one_M), "repmat: the counts must be real");
    EXPECT_ERROR(repmat(a, test::complex(1, 2, {1, 2}, {0, 3})), "repmat: the counts must be real");
    EXPECT_EQ(values(repmat(a, test::complex(1, 2, {1, 2}, {0, 0}))), values(repmat(a, one_M, Mm(2.0))))
        << "imaginary parts of 0 are the real counts";
}

} // namespace
