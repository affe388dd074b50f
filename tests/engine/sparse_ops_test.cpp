// The engine's sparse road: a stored zero (left by spalloc or a cancelled
// sum) is a zero like any unstored one in every operation that multiplies.
#include "test_support.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

const double inf = INFINITY, nan = NAN;

// The full form's elements, both parts, bit for bit.
std::vector<std::uint64_t> bits_of(const Mm& x)
{
    const Mm f = full(x);
    std::vector<std::uint64_t> b;
    for (int k = 0; k < f.size(); ++k) {
        b.push_back(test::bits(f.addr()[k]));
        b.push_back(f.isc() ? test::bits(f.addi()[k]) : 0);
    }
    return b;
}

Mm complex_scalar(double re, double im) { return test::complex(1, 1, {re}, {im}); }

// A sparse value holding stored zeros, and its twin with the same
// elements where nothing but the non-zeros is stored.
struct Pair {
    const char* what;
    std::function<Mm()> stored, unstored;
};

TEST(SparseOps, StoredZerosMultiplyAsZeros)
{
    const std::vector<Pair> pairs = {
        {"S = spalloc(3,3,4); S(1,1) = 7",
         [] {
             Mm s(spalloc(Mm(3.0), Mm(3.0), Mm(4.0)), "S");
             s(Mm(1.0), Mm(1.0)) = Mm(7.0);
             return s;
         },
         [] {
             Mm t(sparse(Mm(3.0), Mm(3.0)), "T");
             t(Mm(1.0), Mm(1.0)) = Mm(7.0);
             return t;
         }},
        {"spalloc(3,3,9), nothing written", [] { return spalloc(Mm(3.0), Mm(3.0), Mm(9.0)); },
         [] { return sparse(Mm(3.0), Mm(3.0)); }},
        {"a cancelled sum of a product",
         [] { return sparse(test::real(3, 2, {1, 0, 2, 1, 0, 2})) * sparse(test::real(2, 3, {1, -1, 0, 0, 5, 0})); },
         [] { return sparse(test::real(3, 3, {0, 0, 0, 0, 0, 0, 5, 0, 10})); }},
        {"a complex cancelled sum: (1, 1i) times (1, 1i)",
         [] {
             return sparse(test::complex(3, 2, {1, 0, 2, 0, 0, 0}, {0, 0, 0, 1, 0, 0})) *
                    sparse(test::complex(2, 3, {1, 0, 0, 0, 0, 5}, {0, 1, 0, 0, 0, 0}));
         },
         [] { return sparse(test::complex(3, 3, {0, 0, 2, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 5, 0, 0})); }},
    };
    const Mm nan_column = test::real(3, 1, {nan, 1, 1}), nan_row = test::row({1, nan, 1});
    const Mm inf_matrix = test::real(3, 3, {inf, 1, -inf, 2, inf, 0, 1, 1, nan});
    struct Op {
        const char* what;
        std::function<Mm(const Mm&)> apply;
    };
    const std::vector<Op> ops = {
        {"S .* Inf", [](const Mm& s) { return times(s, Mm(inf)); }},
        {"-Inf .* S", [](const Mm& s) { return times(Mm(-inf), s); }},
        {"S * NaN", [](const Mm& s) { return s * Mm(nan); }},
        {"NaN * S", [](const Mm& s) { return Mm(nan) * s; }},
        {"S * (Inf + 1i)", [](const Mm& s) { return s * complex_scalar(inf, 1); }},
        {"S * [NaN; 1; 1]", [&](const Mm& s) { return s * nan_column; }},
        {"[1 NaN 1] * S", [&](const Mm& s) { return nan_row * s; }},
        {"S * sparse([NaN; 1; 1])", [&](const Mm& s) { return s * sparse(nan_column); }},
        {"sparse(M) * S", [&](const Mm& s) { return sparse(inf_matrix) * s; }},
        {"S .* M", [&](const Mm& s) { return times(s, inf_matrix); }},
        {"S .* sparse(M)", [&](const Mm& s) { return times(s, sparse(inf_matrix)); }},
        {"S * S", [](const Mm& s) { return s * s; }},
    };
    for (const Pair& p : pairs) {
        const Mm s = p.stored(), t = p.unstored();
        ASSERT_GT(s.getnnz(), nnz(s).r()) << p.what << ": the fixture holds no stored zero";
        ASSERT_EQ(isequal(s, t), 1) << p.what;
        for (const Op& op : ops) {
            SCOPED_TRACE(std::string(p.what) + ": " + op.what);
            const Mm got = op.apply(s), expected = op.apply(t);
            EXPECT_EQ(got.issparse(), expected.issparse());
            EXPECT_EQ(test::extents(got), test::extents(expected));
            EXPECT_EQ(bits_of(got), bits_of(expected));
        }
    }
}

// The three calls with the zeros they must keep.
TEST(SparseOps, SpallocZerosAgainstInfAndNaN)
{
    Mm s(spalloc(Mm(3.0), Mm(3.0), Mm(4.0)), "S");
    s(Mm(1.0), Mm(1.0)) = Mm(7.0);
    const std::vector<double> times_inf = test::values(times(s, Mm(inf)));
    EXPECT_EQ(times_inf, (std::vector<double>{inf, 0, 0, 0, 0, 0, 0, 0, 0}));
    const std::vector<double> times_nan = test::values(s * Mm(nan));
    EXPECT_TRUE(std::isnan(times_nan[0]));
    EXPECT_EQ(std::vector<double>(times_nan.begin() + 1, times_nan.end()), std::vector<double>(8, 0.0));
    const std::vector<double> column = test::values(s * test::real(3, 1, {nan, 1, 1}));
    EXPECT_TRUE(std::isnan(column[0]));
    EXPECT_EQ(column[1], 0);
    EXPECT_EQ(column[2], 0);
    EXPECT_EQ(nzmax(s).r(), 5) << "the stored zeros still count as storage";
}

} // namespace
