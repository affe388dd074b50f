// N-d helpers: offsets and subscripts, diag, ind2sub/sub2ind, squeeze,
// permute and the working-dimension mover with its dimension argument.
#include "test_support.hpp"

#include "array/ndim.hpp"

#include <algorithm>
#include <complex>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

using test::counting;

std::vector<int> padded(const Mm& x)
{
    std::vector<int> d(4, 1);
    for (int m = 0; m < x.getndims(); ++m)
        d[m] = x.getdims()[m];
    return d;
}

// Element at 0-based subscripts s of a value with extents d.
double element(const Mm& x, const std::vector<int>& d, const int s[4])
{
    return x.addr()[s[0] + d[0] * (s[1] + d[1] * (s[2] + d[2] * s[3]))];
}

TEST(NdOffsets, SubscriptsAndOffsetsAreInverse)
{
    const int dims[4] = {2, 3, 4, 5};
    for (std::int64_t o = 0; o < 120; ++o) {
        int subs[4];
        ASSERT_EQ(offset_to_subscripts(o, subs, dims), 0);
        ASSERT_EQ(linear_offset(subs, dims), o);
    }
    int subs[4];
    EXPECT_EQ(offset_to_subscripts(125, subs, dims), 1) << "what lies beyond is returned";
    EXPECT_EQ(std::vector<int>(subs, subs + 4), (std::vector<int>{1, 2, 0, 0}));
    const int with_zero[4] = {3, 0, 2, 1};
    EXPECT_EQ(offset_to_subscripts(7, subs, with_zero), 1);
    EXPECT_EQ(std::vector<int>(subs, subs + 4), (std::vector<int>{1, 0, 0, 0}));
    const int big[4] = {50000, 50000, 4, 1};
    const int far[4] = {49999, 49999, 3, 0};
    EXPECT_EQ(linear_offset(far, big), std::int64_t{50000} * 50000 * 4 - 1) << "no int overflow";
}

TEST(NdOffsets, ReversedDimensionLists)
{
    const int src[3] = {2, 3, 4};
    int dst[4];
    reverse_dims_fill(src, 3, dst, 1);
    EXPECT_EQ(std::vector<int>(dst, dst + 4), (std::vector<int>{4, 3, 2, 1}));
    reverse_dims_fill(src, 2, dst, 0);
    EXPECT_EQ(std::vector<int>(dst, dst + 4), (std::vector<int>{3, 2, 0, 0}));
}

TEST(Diag, VectorsGoOnADiagonalMatricesGiveOne)
{
    struct Case {
        const char* what;
        Mm x;
        double k;
        std::vector<int> dims;
        std::vector<double> values;
    };
    const Mm a34 = counting({3, 4});
    const std::vector<Case> cases = {
        {"diag([1 2 3])", test::row({1, 2, 3}), 0, {3, 3}, {1, 0, 0, 0, 2, 0, 0, 0, 3}},
        {"diag([1 2], 1)", test::row({1, 2}), 1, {3, 3}, {0, 0, 0, 1, 0, 0, 0, 2, 0}},
        {"diag([1;2], -1)", test::real(2, 1, {1, 2}), -1, {3, 3}, {0, 1, 0, 0, 0, 2, 0, 0, 0}},
        {"diag(5)", Mm(5.0), 0, {1, 1}, {5}},
        {"diag(5, 2)", Mm(5.0), 2, {3, 3}, {0, 0, 0, 0, 0, 0, 5, 0, 0}},
        {"k is truncated", test::row({1, 2}), 1.9, {3, 3}, {0, 0, 0, 1, 0, 0, 0, 2, 0}},
        {"3x4 main diagonal", a34, 0, {3, 1}, {1, 5, 9}},
        {"3x4 diagonal 1", a34, 1, {3, 1}, {4, 8, 12}},
        {"3x4 diagonal 3", a34, 3, {1, 1}, {10}},
        {"3x4 diagonal -1", a34, -1, {2, 1}, {2, 6}},
        {"4x3 diagonal -2", counting({4, 3}), -2, {2, 1}, {3, 8}},
        {"3x4 diagonal 5 is empty", a34, 5, {0, 0}, {}},
        {"3x4 diagonal -3 is empty", a34, -3, {0, 0}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm d = diag(c.x, Mm(c.k));
        EXPECT_EQ(extents(d), c.dims);
        EXPECT_EQ(values(d), c.values);
    }
}

TEST(Diag, ElementTypesAndSparseValues)
{
    Mm z = diag(test::complex(1, 2, {1, 2}, {3, -4}));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(std::vector<double>(z.addi(), z.addi() + 4), (std::vector<double>{3, 0, 0, -4}));
    Mm b = diag(test::bytes(2, 1, {7, 9}), Mm(1.0));
    ASSERT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(b.ur(2, 3), 9);
    EXPECT_EQ(b.ur(3, 2), 0);
    Mm c(0, 0, 0, 1, 2, qv_cell);
    c.mr(2) = Mm(4.0);
    Mm dc = diag(c);
    ASSERT_EQ(dc.gettype(), qv_cell);
    EXPECT_EQ(dc.mr(2, 2).r(), 4);
    EXPECT_EQ(dc.mr(1, 2).size(), 0) << "off the diagonal: empty elements";

    // Sparse row [0 3 0 5]: stored at positions 1 and 3.
    Mm s(0, 1, 2, 1, 4, qv_double);
    s.getindex()[0] = 1;
    s.getindex()[1] = 3;
    s.addr()[0] = 3;
    s.addr()[1] = 5;
    s.getnnz() = 2;
    for (double k : {-2.0, 0.0, 1.0}) {
        SCOPED_TRACE(k);
        Mm d = diag(s, Mm(k));
        ASSERT_TRUE(d.issparse());
        EXPECT_EQ(values(d), values(diag(full(s), Mm(k))));
        EXPECT_TRUE(std::is_sorted(d.getindex(), d.getindex() + d.getnnz()));
    }
    // Sparse 3x3 with 2 at (1,1), 4 at (3,2) and 6 at (2,3): diagonal 1 holds 6.
    Mm m(0, 1, 3, 3, 3, qv_double);
    const int pos[3] = {0, 5, 7};
    for (int k = 0; k < 3; ++k) {
        m.getindex()[k] = pos[k];
        m.addr()[k] = 2 + 2 * k;
    }
    m.getnnz() = 3;
    Mm d1 = diag(m, one_M);
    ASSERT_TRUE(d1.issparse());
    EXPECT_EQ(extents(d1), (std::vector<int>{2, 1}));
    EXPECT_EQ(values(d1), (std::vector<double>{0, 6}));
    EXPECT_EQ(values(diag(m)), (std::vector<double>{2, 0, 0}));
}

// A sparse vector put on a diagonal gives a square; past order 46340 that
// square holds more elements than sparse positions count. diag(v, 5) of a
// row of 2^31 - 1 elements was refused with "Out of memory!" (its order
// was held to the full form's count); every such call now gets the sparse
// limit's message, and the largest square that fits answers.
TEST(Diag, SparseVectorsOnASquarePastTheSparseLimit)
{
    auto sparse_line = [](bool row, int n, std::vector<int> at) {
        return test::sparse_at(row ? 1 : n, row ? n : 1, at, std::vector<double>(at.size(), 1.0));
    };
    auto past = [](long long order) {
        const std::string n = std::to_string(order);
        return "sparse: " + n + "x" + n + " has more than 2147483647 elements, the most a sparse value holds";
    };
    constexpr int longest = 2147483647;
    struct Case {
        const char* what;
        Mm v;
        double k;
        std::string error;
        std::vector<int> stored;  // positions in the square
    };
    const std::vector<Case> cases = {
        {"the longest row", sparse_line(true, longest, {0, longest - 1}), 0, past(longest), {}},
        {"the longest row, k = 5", sparse_line(true, longest, {0, longest - 1}), 5, past(longest + 5LL), {}},
        {"the longest column, k = -5", sparse_line(false, longest, {7}), -5, past(longest + 5LL), {}},
        {"a row of 46341", sparse_line(true, 46341, {3}), 0, past(46341), {}},
        {"a row of 46339, k = 2", sparse_line(true, 46339, {3}), 2, past(46341), {}},
        {"a row of 46339, k = 1", sparse_line(true, 46339, {0, 46338}), 1, "",
         {46340, 46338 + 46340 * 46339}},
        {"a column of 46340, k = 0", sparse_line(false, 46340, {46339}), 0, "", {46339 * 46341}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm d;
        EXPECT_EQ(test::error_of([&] { d = diag(c.v, Mm(c.k)); }), c.error);
        if (!c.error.empty())
            continue;
        ASSERT_TRUE(d.issparse());
        EXPECT_EQ(extents(d), (std::vector<int>{46340, 46340}));
        EXPECT_EQ(std::vector<int>(d.getindex(), d.getindex() + d.getnnz()), c.stored);
    }
}

TEST(Diag, BadArguments)
{
    EXPECT_ERROR(diag(counting({2, 2, 2})), "diag: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_ERROR(diag(test::row({1, 2}), Mm()), "(temporary).r(): matrix is empty");
    // The largest k leaves no room for the result: a clean refusal.
    EXPECT_ERROR(diag(test::row({1, 2}), Mm(1e300)), "Out of memory!");
}

TEST(IndexConversion, Ind2subAndSub2ind)
{
    Mm r, c, p, q;
    ind2sub(test::row({3, 4}), Mm(7.0), i_o, r, c);
    EXPECT_EQ(r.r(), 1);
    EXPECT_EQ(c.r(), 3);
    ind2sub(test::row({2, 3, 4}), test::row({24, 1, 8}), i_o, r, c, p);
    EXPECT_EQ(values(r), (std::vector<double>{2, 1, 2}));
    EXPECT_EQ(values(c), (std::vector<double>{3, 1, 1}));
    EXPECT_EQ(values(p), (std::vector<double>{4, 1, 2}));
    ind2sub(test::row({2, 3}), Mm(24.0), i_o, r, c) ;
    EXPECT_EQ(c.r(), 12) << "the last output takes the remaining dimensions";
    ind2sub(test::row({2, 3, 4, 5}), Mm(120.0), i_o, r, c, p, q);
    EXPECT_EQ((std::vector<double>{r.r(), c.r(), p.r(), q.r()}), (std::vector<double>{2, 3, 4, 5}));

    EXPECT_EQ(sub2ind(test::row({3, 4}), one_M, Mm(3.0)).r(), 7);
    EXPECT_EQ(sub2ind(test::row({2, 3, 4}), Mm(2.0), Mm(3.0), Mm(4.0)).r(), 24);
    EXPECT_EQ(values(sub2ind(test::row({2, 3, 4, 5}), Mm(2.0), test::row({3, 1}), Mm(4.0), Mm(5.0))),
              (std::vector<double>{120, 116}));
    // Every position of a 2x3x4x5 array converts there and back.
    Mm all = counting({1, 120});
    ind2sub(test::row({2, 3, 4, 5}), all, i_o, r, c, p, q);
    EXPECT_EQ(values(sub2ind(test::row({2, 3, 4, 5}), r, c, p, q)), values(all));

    Mm untouched(9.0);
    EXPECT_EQ(ind2sub(Mm(3.0), i_o, untouched, r).size(), 0);
    EXPECT_EQ(untouched.r(), 9);
    EXPECT_EQ(ind2sub(test::row({3, 4}), Mm(8.0)).r(), 8);
    EXPECT_EQ(sub2ind(test::row({3, 4}), Mm(2.0)).r(), 2);
}

TEST(Shape, SqueezeAndNdims)
{
    struct Case {
        std::vector<int> in, out;
    };
    const std::vector<Case> cases = {
        {{1, 1, 3}, {3, 1}}, {{1, 4}, {1, 4}}, {{2, 1, 3}, {2, 3}}, {{1, 2, 1, 3}, {2, 3}}, {{2, 3, 4}, {2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.in));
        Mm x = counting(c.in);
        Mm s = squeeze(x);
        EXPECT_EQ(extents(s), c.out);
        EXPECT_EQ(values(s), values(x));
        EXPECT_EQ(ndims(x).r(), static_cast<double>(c.in.size() > 2 && c.in.back() == 1 ? 2 : c.in.size()));
    }
}

TEST(Permute, EveryOrderOfA4dArrayRoundTrips)
{
    const Mm x = counting({2, 3, 4, 5});
    const std::vector<int> xd = padded(x);
    std::vector<int> order = {1, 2, 3, 4};
    int seen = 0;
    do {
        SCOPED_TRACE(::testing::PrintToString(order));
        Mm p = test::row({double(order[0]), double(order[1]), double(order[2]), double(order[3])});
        Mm y = permute(x, p);
        std::vector<int> want(4);
        for (int m = 0; m < 4; ++m)
            want[m] = xd[order[m] - 1];
        ASSERT_EQ(padded(y), want);
        // y(j1, ..., j4) = x(i) with i(order(m)) = jm.
        bool same = true;
        int j[4], i[4];
        for (j[3] = 0; j[3] < want[3]; ++j[3])
            for (j[2] = 0; j[2] < want[2]; ++j[2])
                for (j[1] = 0; j[1] < want[1]; ++j[1])
                    for (j[0] = 0; j[0] < want[0]; ++j[0]) {
                        for (int m = 0; m < 4; ++m)
                            i[order[m] - 1] = j[m];
                        same &= element(y, want, j) == element(x, xd, i);
                    }
        EXPECT_TRUE(same);
        EXPECT_EQ(values(ipermute(y, p)), values(x));
        EXPECT_EQ(extents(ipermute(y, p)), extents(x));
        ++seen;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(seen, 24);
}

TEST(Permute, TypesSharingAndMatrices)
{
    Mm m = counting({2, 3});
    Mm t = permute(m, test::row({2, 1}));
    EXPECT_EQ(extents(t), (std::vector<int>{3, 2}));
    EXPECT_EQ(values(t), values(transpose(m)));
    Mm same = permute(m, test::row({1, 2, 3}));
    EXPECT_EQ(same.addr(), m.addr()) << "the identity order returns x itself";
    EXPECT_EQ(extents(permute(m, test::row({3, 1, 2}))), (std::vector<int>{1, 2, 3}));

    Mm z = test::complex(2, 2, {1, 2, 3, 4}, {5, 6, 7, 8});
    Mm zt = permute(z, test::row({2, 1}));
    EXPECT_EQ(std::vector<double>(zt.addi(), zt.addi() + 4), (std::vector<double>{5, 7, 6, 8})) << "not conjugated";
    Mm b = permute(test::bytes(1, 3, {4, 5, 6}), test::row({2, 1}));
    ASSERT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(extents(b), (std::vector<int>{3, 1}));
    EXPECT_EQ(b.ur(3), 6);
    Mm c(0, 0, 0, 1, 2, qv_cell);
    c.mr(2) = TM("x");
    Mm ct = permute(c, test::row({2, 1}));
    ASSERT_EQ(ct.gettype(), qv_cell);
    EXPECT_TRUE(ct.mr(2).isstr());
    Mm text = TM("ab");
    EXPECT_TRUE(permute(text, test::row({2, 1})).isstr());
}

TEST(Permute, BadOrders)
{
    const Mm m = counting({2, 3});
    const Mm x3 = counting({2, 3, 4});
    struct Case {
        const char* what;
        Mm x, order;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"five entries", m, test::row({1, 2, 3, 4, 5}), "permute: order has too many dimensions"},
        {"fewer than the dimensions", m, Mm(1.0), "permute: order should have same number of elements as x dimensions"},
        {"fewer than three dimensions", x3, test::row({2, 1}),
         "permute: order should have same number of elements as x dimensions"},
        {"zero", m, test::row({0, 1}), "permute: out of range values in order"},
        {"beyond n", m, test::row({1, 3}), "permute: out of range values in order"},
        {"NaN", m, test::row({1, NAN}), "permute: out of range values in order"},
        {"a repeated entry", m, test::row({2, 2}), "permute: out of range values in order"},
        {"a repeated entry in 4-d", x3, test::row({1, 3, 3, 2}), "permute: out of range values in order"},
        // An imaginary part was dropped without a word: [2+i 1] was [2 1].
        {"[2+i 1]", m, test::complex(1, 2, {2, 1}, {1, 0}), "permute: order must be real"},
        {"[1 3 2i]", x3, test::complex(1, 3, {1, 3, 0}, {0, 0, 2}), "permute: order must be real"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(permute(c.x, c.order), c.message);
        EXPECT_ERROR(ipermute(c.x, c.order), c.message);
    }
}

TEST(DimArgument, ParsedAndChecked)
{
    struct Case {
        const char* what;
        Mm x, dim;
        int expected;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"0 on a row", counting({1, 5}), Mm(0.0), 1, ""},
        {"0 on a column", counting({5, 1}), Mm(0.0), 0, ""},
        {"0 on a scalar", Mm(1.0), Mm(0.0), 0, ""},
        {"0 on 1x1x3", counting({1, 1, 3}), Mm(0.0), 2, ""},
        {"2.7 is truncated", counting({2, 3}), Mm(2.7), 1, ""},
        {"a byte", counting({2, 3}), test::bytes(1, 1, {2}), 1, ""},
        {"3 on a matrix", counting({2, 3}), Mm(3.0), 0, "sort: dim argument may not be more then the number of dimensions"},
        {"negative", counting({2, 3}), Mm(-1.0), 0, "sort: dim argument must be positive"},
        {"NaN", counting({2, 3}), Mm(NAN), 0, "sort: dim argument must be positive"},
        {"empty", counting({2, 3}), Mm(), 0, "sort: dim argument may not be empty"},
        // An imaginary part was dropped without a word: 2+i worked along 2.
        {"2+i", counting({2, 3}), test::complex(1, 1, {2}, {1}), 0, "sort: dim argument must be real"},
        {"i", counting({2, 3}), test::complex(1, 1, {0}, {1}), 0, "sort: dim argument must be real"},
        {"sparse 1-i", counting({2, 3}), sparse(test::complex(1, 1, {1}, {-1})), 0, "sort: dim argument must be real"},
        {"2 stored as complex", counting({2, 3}), test::complex(1, 1, {2}, {0}), 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int d = -1;
        EXPECT_ERROR(d = parse_dim_argument("sort", c.x, c.dim), c.message);
        if (!*c.message) {
            EXPECT_EQ(d, c.expected);
        }
    }
    // With a hook that returns, a bad dim still names a dimension the value has.
    qv_text_handler previous = qv_set_error_handler([](const char*) {});
    const int negative = parse_dim_argument("sort", counting({2, 3}), Mm(-5.0));
    const int huge = parse_dim_argument("sort", counting({2, 3}), Mm(1e10));
    qv_set_error_handler(previous);
    EXPECT_EQ(negative, 0);
    EXPECT_EQ(huge, 0);
}

TEST(MoveDim, LinesComeFirstAndGoBack)
{
    const Mm x = counting({2, 3, 4, 5});
    const std::vector<int> xd = padded(x);
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        Mm moved = move_dim_first(x, 4, xd.data(), k);
        ASSERT_EQ(moved.rows(), xd[k]);
        ASSERT_EQ(moved.size(), x.size());
        // The first line is x along dimension k from the origin; the second
        // starts one step along the first other dimension.
        int s[4] = {0, 0, 0, 0};
        for (int j = 0; j < xd[k]; ++j) {
            s[k] = j;
            EXPECT_EQ(moved.addr()[j], element(x, xd, s));
        }
        s[k] = 0;
        s[k == 0 ? 1 : 0] = 1;
        EXPECT_EQ(moved.addr()[xd[k]], element(x, xd, s));
        Mm back = move_dim_back(moved, 4, xd.data(), k);
        EXPECT_EQ(extents(back), extents(x));
        EXPECT_EQ(values(back), values(x));
    }
    // Dimension 3 of a 2x2x2 complex value, and byte and cell elements.
    Mm z(1, 0, 0, 3, std::vector<int>{2, 2, 2}.data(), qv_double);
    for (int k = 0; k < 8; ++k) {
        z.addr()[k] = k;
        z.addi()[k] = -k;
    }
    const int zd[4] = {2, 2, 2, 1};
    Mm mz = move_dim_first(z, 3, zd, 2);
    EXPECT_EQ(std::vector<double>(mz.addi(), mz.addi() + 4), (std::vector<double>{0, -4, -1, -5}));
    Mm bz = move_dim_back(mz, 3, zd, 2);
    EXPECT_EQ(std::vector<double>(bz.addi(), bz.addi() + 8), (std::vector<double>{0, -1, -2, -3, -4, -5, -6, -7}));
    const int bd[4] = {2, 3, 1, 1};
    Mm bytes = move_dim_first(test::bytes(2, 3, {1, 2, 3, 4, 5, 6}), 2, bd, 1);
    ASSERT_EQ(bytes.gettype(), qv_uint8);
    EXPECT_EQ(bytes.ur(2), 3);
    Mm c(0, 0, 0, 2, 2, qv_cell);
    c.mr(2) = Mm(8.0);
    const int cd[4] = {2, 2, 1, 1};
    EXPECT_EQ(move_dim_first(c, 2, cd, 1).mr(3).r(), 8);
    EXPECT_ERROR(move_dim_first(x, 2, cd, 1), "move_dim_first: dimensions do not match the 120 elements of (temporary)");
}

TEST(Shape, Row2colReadsStorageRowMajor)
{
    Mm y = row2col(counting({2, 3}));
    EXPECT_EQ(extents(y), (std::vector<int>{2, 3}));
    EXPECT_EQ(values(y), (std::vector<double>{1, 4, 2, 5, 3, 6}));
    Mm n = row2col(counting({2, 3, 4}));
    EXPECT_EQ(extents(n), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(n.r(1, 1, 2), 2);
    EXPECT_EQ(n.r(2, 1, 1), 13);
}

} // namespace
