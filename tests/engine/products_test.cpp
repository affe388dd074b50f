// Triangular parts, the matrix product (full, complex and sparse) and right
// division.
#include "test_support.hpp"

#include <algorithm>
#include <complex>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace {

Mm magic3() { return test::real(3, 3, {8, 3, 4, 1, 5, 9, 6, 7, 2}); }

TEST(Triangular, PartsAboveAndBelowADiagonal)
{
    EXPECT_EQ(test::values(tril(magic3())), (std::vector<double>{8, 3, 4, 0, 5, 9, 0, 0, 2}));
    EXPECT_EQ(test::values(triu(magic3(), Mm(1.0))), (std::vector<double>{0, 0, 0, 1, 0, 0, 6, 7, 0}));
    EXPECT_EQ(test::values(tril(magic3(), Mm(-1.0))), (std::vector<double>{0, 3, 4, 0, 0, 9, 0, 0, 0}));
    EXPECT_EQ(test::values(tril(magic3(), Mm())), test::values(tril(magic3()))) << "an empty k counts as 0";
    EXPECT_EQ(tril(Mm()).getnnz(), 0);
    Mm s = tril(sparse(magic3()));
    ASSERT_TRUE(s.issparse());
    EXPECT_EQ(s.getnnz(), 6);
    EXPECT_EQ(test::values(full(s)), test::values(tril(magic3())));
    Mm b = triu(test::bytes(2, 2, {1, 2, 3, 4}));
    ASSERT_EQ(b.gettype(), qv_uint8) << "bytes stay bytes";
    EXPECT_EQ(b.ur(1), 1);
    EXPECT_EQ(b.ur(2), 0);
    EXPECT_EQ(b.ur(4), 4);
    EXPECT_ERROR(tril(Mm(0, 0, 0, 2, 2, qv_cell)), "tril: numeric data expected, but matrix (temporary) is not");
}

TEST(MatrixProduct, ShapesAndErrors)
{
    Mm p = test::real(2, 2, {1, 3, 2, 4}) * test::real(2, 1, {5, 6});
    EXPECT_EQ(test::values(p), (std::vector<double>{17, 39}));
    EXPECT_ERROR(test::row({1, 2, 3}) * test::row({4, 5}), "*: wrong dimensions of: (temporary) 1x3, (temporary) 1x2");
    EXPECT_EQ(test::values(2.0 * test::row({1, 2})), (std::vector<double>{2, 4}));
    EXPECT_EQ((magic3() * Mm()).getnnz(), 0);
    EXPECT_ERROR(mtimes(Mm(1.0)), "mtimes does not accept 1 input");
    EXPECT_EQ(test::values(3.0 - test::row({1, 2})), (std::vector<double>{2, 1}));
    EXPECT_EQ(test::values(test::row({2, 4}) / 2.0), (std::vector<double>{1, 2}));
}

TEST(MatrixProduct, ComplexAgainstADirectSum)
{
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(-1, 1);
    Mm a(1, 0, 0, 3, 4, qv_double), b(1, 0, 0, 4, 2, qv_double);
    for (int k = 0; k < 12; ++k) {
        a.addr()[k] = u(gen);
        a.addi()[k] = u(gen);
    }
    for (int k = 0; k < 8; ++k) {
        b.addr()[k] = u(gen);
        b.addi()[k] = u(gen);
    }
    Mm p = a * b;
    ASSERT_EQ(p.rows(), 3);
    ASSERT_EQ(p.cols(), 2);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j) {
            double re = 0, im = 0;
            for (int l = 0; l < 4; ++l) {
                double xr = a.addr()[i + 3 * l], xi = a.addi()[i + 3 * l];
                double yr = b.addr()[l + 4 * j], yi = b.addi()[l + 4 * j];
                re += xr * yr - xi * yi;
                im += xr * yi + xi * yr;
            }
            EXPECT_NEAR(p.addr()[i + 3 * j], re, 1e-14);
            EXPECT_NEAR(p.addi()[i + 3 * j], im, 1e-14);
        }
}

// Random m x n operand, complex when asked, from a fixed seed.
Mm random_operand(int m, int n, bool complex, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-1, 1);
    Mm x(complex, 0, 0, m, n, qv_double);
    for (int k = 0; k < m * n; ++k) {
        x.addr()[k] = u(gen);
        if (complex)
            x.addi()[k] = u(gen);
    }
    return x;
}

// Element (i, j) of op(x), 0-based, as a complex number.
std::complex<long double> formed_at(const Mm& x, product_form f, int i, int j)
{
    const int at = f == product_form::as_is ? i + j * x.rows() : j + i * x.rows();
    const long double im = x.isc() ? x.addi()[at] : 0.0;
    return {x.addr()[at], f == product_form::conjugated ? -im : im};
}

TEST(FusedProduct, EveryFormAgainstADirectSum)
{
    using F = product_form;
    struct Case {
        F fa, fb;
        bool ca, cb;
    };
    std::vector<Case> cases;
    for (F fa : {F::as_is, F::transposed, F::conjugated})
        for (F fb : {F::as_is, F::transposed, F::conjugated})
            for (int c = 0; c < 4; ++c)
                cases.push_back({fa, fb, (c & 1) != 0, (c & 2) != 0});
    const int m = 5, k = 7, n = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "forms " << int(c.fa) << "," << int(c.fb) << " complex " << c.ca << c.cb);
        const bool ta = c.fa != F::as_is, tb = c.fb != F::as_is;
        Mm a = random_operand(ta ? k : m, ta ? m : k, c.ca, 3);
        Mm b = random_operand(tb ? n : k, tb ? k : n, c.cb, 4);
        Mm p = mtimes(a, c.fa, b, c.fb);
        ASSERT_EQ(p.rows(), m);
        ASSERT_EQ(p.cols(), n);
        ASSERT_EQ(p.isc() != 0, c.ca || c.cb);
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < n; ++j) {
                std::complex<long double> sum = 0;
                for (int l = 0; l < k; ++l)
                    sum += formed_at(a, c.fa, i, l) * formed_at(b, c.fb, l, j);
                EXPECT_NEAR(p.addr()[i + j * m], double(sum.real()), 8e-16 * k);
                if (p.isc()) {
                    EXPECT_NEAR(p.addi()[i + j * m], double(sum.imag()), 8e-16 * k);
                }
            }
    }
}

TEST(FusedProduct, OtherOperandsTakeTheUnfusedRoute)
{
    using F = product_form;
    Mm a = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    // Scalars, bytes and sparse operands give what transposing first gives.
    EXPECT_EQ(test::values(mtimes(Mm(2.0), F::conjugated, a, F::transposed)), test::values(Mm(2.0) * transpose(a, 1)));
    EXPECT_EQ(test::values(mtimes(muint8(a), F::transposed, a, F::as_is)), test::values(transpose(muint8(a), 1) * a));
    Mm s = mtimes(sparse(a), F::transposed, sparse(a), F::as_is);
    EXPECT_TRUE(s.issparse());
    EXPECT_EQ(test::values(full(s)), test::values(transpose(a, 1) * a));
    // The message names the transposed sizes, as the unfused product does.
    EXPECT_ERROR(mtimes(a, F::transposed, a, F::transposed), "*: wrong dimensions of: (temporary) 3x2, (temporary) 3x2");
    EXPECT_EQ(test::values(mtimes(a, F::transposed, a, F::as_is)), test::values(transpose(a, 1) * a));
}

TEST(MatrixProduct, SparseOperands)
{
    Mm a = sparse(test::real(2, 2, {1, 0, 2, 3}));
    Mm x = test::real(2, 1, {1, 1});
    Mm sf = a * x;
    EXPECT_FALSE(sf.issparse()) << "sparse times full is full";
    EXPECT_EQ(test::values(sf), (std::vector<double>{3, 3}));
    Mm c = sparse(test::real(2, 2, {1, 0, -1, 1}));  // [1 -1; 0 1]
    Mm d = sparse(test::real(2, 2, {1, 1, 0, 1}));   // [1 0; 1 1]
    Mm ss = c * d;                                    // [0 -1; 1 1]
    ASSERT_TRUE(ss.issparse());
    EXPECT_EQ(ss.getnnz(), 4) << "a cancelled sum is stored as an explicit 0";
    EXPECT_EQ(test::values(full(ss)), (std::vector<double>{0, 1, -1, 1}));
    // Many entries per column exercise the growth of the result's room.
    Mm dense = test::real(4, 4, {});
    for (int k = 0; k < 16; ++k)
        dense.addr()[k] = k % 3 ? k : 0;
    Mm sq = sparse(dense) * sparse(dense);
    Mm expected = dense * dense;
    EXPECT_EQ(test::values(full(sq)), test::values(expected));
    // An N-d full operand is refused, whichever side the sparse one is on.
    const Mm cube = test::counting({1, 1, 2}), row = sparse(test::row({0, 2, 0, 1}));
    EXPECT_ERROR(cube * row, "*: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_ERROR(sparse(test::real(2, 1, {0, 3})) * cube,
                 "*: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
}

// Sparse products whose columns touch few of the rows and many of them, on
// either side of the point where the touched rows are sorted instead of
// scanned: every stored entry against a plain triple loop (integer values,
// so every order of summing gives the same), the positions ascending, and
// a sum that cancels to zero still stored. Real and complex, square, tall
// and wide, and a 46340 x 46340 product with 10^5 entries a side (which
// scanned all 46340 rows for each of its 46340 columns).
TEST(MatrixProduct, SparseProductsOfFewAndManyEntriesPerColumn)
{
    struct Case {
        int m, k, n;
        double density;
        bool complex;
    };
    const std::vector<Case> cases = {
        {200, 150, 120, 0.002, false}, {200, 150, 120, 0.05, false}, {200, 150, 120, 0.4, true},
        {2000, 30, 50, 0.01, false},   {2000, 30, 50, 0.3, true},    {16, 400, 16, 0.02, false},
        {1, 300, 1, 0.5, true},        {5000, 5000, 5000, 0.0004, true},
    };
    std::mt19937_64 gen(31);
    auto random_sparse = [&](int rows, int cols, double density, bool complex) {
        std::vector<std::pair<int, std::pair<double, double>>> entries;
        std::uniform_real_distribution<double> u(0, 1);
        for (std::int64_t p = 0; p < std::int64_t{rows} * cols; ++p)
            if (u(gen) < density)
                entries.push_back({static_cast<int>(p),
                                   {double(int(gen() % 7) - 3), complex ? double(int(gen() % 5) - 2) : 0.0}});
        Mm s(complex, 1, static_cast<int>(entries.size()), rows, cols, qv_double);
        for (std::size_t e = 0; e < entries.size(); ++e) {
            s.getindex()[e] = entries[e].first;
            const auto [re, im] = entries[e].second;
            s.addr()[e] = re == 0 && im == 0 ? 1.0 : re;  // no stored zeros: the product drops them
            if (complex)
                s.addi()[e] = entries[e].second.second;
        }
        return s;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.m) + "x" + std::to_string(c.k) + " times " + std::to_string(c.k) + "x" +
                     std::to_string(c.n) + ", density " + std::to_string(c.density) +
                     (c.complex ? ", complex" : ""));
        const Mm a = random_sparse(c.m, c.k, c.density, c.complex);
        const Mm b = random_sparse(c.k, c.n, c.density, false);
        const Mm p = a * b;
        ASSERT_TRUE(p.issparse());
        ASSERT_EQ(test::extents(p), (std::vector<int>{c.m, c.n}));
        // The model: per column of B, the rows A's columns reach, and their sums.
        std::vector<std::vector<std::pair<int, std::complex<double>>>> a_cols(c.k);
        for (int e = 0; e < a.getnnz(); ++e)
            a_cols[a.getindex()[e] / c.m].push_back(
                {a.getindex()[e] % c.m, {a.addr()[e], a.isc() ? a.addi()[e] : 0.0}});
        std::vector<int> want_at;
        std::vector<std::complex<double>> want;
        std::map<int, std::complex<double>> column;
        int e = 0;
        for (int j = 0; j < c.n; ++j) {
            column.clear();
            for (; e < b.getnnz() && b.getindex()[e] / c.k == j; ++e)
                for (const auto& [r, v] : a_cols[b.getindex()[e] % c.k])
                    column[r] += v * b.addr()[e];
            for (const auto& [r, v] : column) {
                want_at.push_back(r + j * c.m);
                want.push_back(v);
            }
        }
        ASSERT_EQ(p.getnnz(), static_cast<int>(want_at.size()));
        EXPECT_EQ(std::vector<int>(p.getindex(), p.getindex() + p.getnnz()), want_at);
        for (int q = 0; q < p.getnnz(); ++q) {
            ASSERT_EQ(p.addr()[q], want[q].real()) << "entry " << q;
            ASSERT_EQ(p.isc() ? p.addi()[q] : 0.0, want[q].imag()) << "entry " << q;
        }
    }
    // An inner dimension of 2^31 elements and more columns than entries:
    // a pointer per column of A wanted 8 GB for a product of one element
    // (S(:)' * S(:)), or of 5 x 3.
    for (const int rows : {1, 5}) {
        const int inner = 2147395600 / rows;
        SCOPED_TRACE(std::to_string(rows) + "x" + std::to_string(inner) + " times " + std::to_string(inner) +
                     "x" + std::to_string(rows == 1 ? 1 : 3));
        const int cols = rows == 1 ? 1 : 3;
        Mm a(0, 1, 3000, rows, inner, qv_double), b(0, 1, 3000, inner, cols, qv_double);
        for (int e = 0; e < 3000; ++e) {
            a.getindex()[e] = static_cast<int>(std::int64_t{e} * 715131 % (std::int64_t{rows} * inner));
            a.addr()[e] = 1 + e % 4;
            b.addr()[e] = 2 - e % 3;
        }
        // B's rows: the columns A stores in, for two entries in three.
        for (int e = 0; e < 3000; ++e) {
            const std::int64_t l = e % 3 ? a.getindex()[e] / rows : std::int64_t{e} * 714287 % inner;
            b.getindex()[e] = static_cast<int>(l + std::int64_t{e % cols} * inner);
        }
        a.sort();
        b.sort();
        b.resparse();
        Mm p;
        ASSERT_EQ(test::error_of([&] { p = a * b; }), "");
        ASSERT_EQ(test::extents(p), (std::vector<int>{rows, cols}));
        std::map<std::int64_t, double> a_at;
        for (int e = 0; e < a.getnnz(); ++e)
            a_at[a.getindex()[e]] = a.addr()[e];
        std::vector<double> want(std::size_t(rows) * cols, 0.0);
        for (int e = 0; e < b.getnnz(); ++e) {
            const int l = b.getindex()[e] % inner, j = b.getindex()[e] / inner;
            for (int r = 0; r < rows; ++r) {
                const auto hit = a_at.find(std::int64_t{l} * rows + r);
                if (hit != a_at.end())
                    want[r + std::size_t(j) * rows] += hit->second * b.addr()[e];
            }
        }
        EXPECT_EQ(test::values(full(p)), want);
        EXPECT_NE(want, std::vector<double>(want.size(), 0.0)) << "the model meets some products";
    }
    // At 46340 x 46340, the columns judged by the same model.
    const int n = 46340;
    Mm s(0, 1, 100000, n, n, qv_double);
    for (int e = 0; e < 100000; ++e) {
        s.getindex()[e] = static_cast<int>(std::int64_t{e} * 21473 % (std::int64_t{n} * n));
        s.addr()[e] = 1 + e % 3;
    }
    s.sort();
    const Mm p = s * s;
    ASSERT_TRUE(p.issparse());
    EXPECT_TRUE(std::is_sorted(p.getindex(), p.getindex() + p.getnnz()));
    std::vector<std::vector<std::pair<int, double>>> cols(n);
    for (int e = 0; e < s.getnnz(); ++e)
        cols[s.getindex()[e] / n].push_back({s.getindex()[e] % n, s.addr()[e]});
    for (int j : {0, 1, 777, 23170, 46339}) {
        std::map<int, double> column;
        for (const auto& [l, v] : cols[j])
            for (const auto& [r, w] : cols[l])
                column[r] += w * v;
        for (const auto& [r, v] : column) {
            const int at = p.search(r + j * n);
            ASSERT_GE(at, 0) << "row " << r + 1 << " of column " << j + 1;
            EXPECT_EQ(p.addr()[at], v);
        }
    }
}

TEST(RightDivision, ThroughLeftDivision)
{
    Mm a = test::real(2, 2, {1, 3, 2, 4});
    Mm q = a / a;
    ASSERT_EQ(q.rows(), 2);
    EXPECT_NEAR(q.r(1, 1), 1, 1e-15);
    EXPECT_NEAR(q.r(1, 2), 0, 1e-15);
    EXPECT_NEAR(q.r(2, 1), 0, 1e-15);
    EXPECT_NEAR(q.r(2, 2), 1, 1e-15);
    Mm row = test::row({7, 10}) / a;  // x * a = [7 10] gives x = [1 2]
    EXPECT_NEAR(row.r(1), 1, 1e-14);
    EXPECT_NEAR(row.r(2), 2, 1e-14);
}

} // namespace

namespace {

TEST(BitsetWithMask, SetsWhereTrueAndResetsWhereFalse)
{
    EXPECT_EQ(test::values(bitset(test::row({1, 2, 4}), Mm(3.0), test::row({1, 0, 1}))),
              (std::vector<double>{5, 2, 4}));
    Mm b = bitset(test::bytes(1, 2, {8, 8}), Mm(4.0), test::row({0, 1}));
    ASSERT_EQ(b.gettype(), qv_uint8);
    EXPECT_EQ(b.ur(1), 0);
    EXPECT_EQ(b.ur(2), 8);
    EXPECT_EQ(bitset(Mm(), Mm(1.0), Mm(1.0)).getnnz(), 0);
}

} // namespace
