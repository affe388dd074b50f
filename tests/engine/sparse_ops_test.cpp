// The engine's sparse road: a stored zero (left by spalloc or a cancelled
// sum) is a zero like any unstored one in every operation that multiplies.
#include "test_support.hpp"

#include <cmath>
#include <cstring>
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

std::vector<Pair> twins()
{
    return {
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
}

TEST(SparseOps, StoredZerosMultiplyAsZeros)
{
    const std::vector<Pair> pairs = twins();
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

// Every reader of sparse storage gives the same answer for a value with
// stored zeros and for its clean twin, and the answer of the full value.
TEST(SparseOps, StoredZerosAreInvisibleToEveryReader)
{
    const Mm wide_nan = test::row({1, nan});
    struct Op {
        const char* what;
        std::function<Mm(const Mm&)> apply;
        bool same_storage = false;  // the stored counts must agree too
        bool as_on_full = true;     // false: the full value's answer is another (kron multiplies its zeros)
    };
    auto max_index = [](const Mm& x) {
        Mm m, k;
        max(x, i_o, m, k);
        return k;
    };
    auto min_index_along_rows = [](const Mm& x) {
        Mm m, k;
        min(x, Mm(), Mm(2.0), i_o, m, k);
        return k;
    };
    auto find_all = [](const Mm& x) {
        Mm i, j, v;
        find(x, i_o, i, j, v);
        return horzcat(horzcat(i, j), v);
    };
    const std::vector<Op> ops = {
        {"uint8(S)", [](const Mm& x) { return mdouble(muint8(x)); }},
        {"kron(S, Inf)", [](const Mm& x) { return kron(x, Mm(inf)); }, true, false},
        {"kron(S, NaN)", [](const Mm& x) { return kron(x, Mm(nan)); }, true, false},
        {"kron(S, -1)", [](const Mm& x) { return kron(x, Mm(-1.0)); }, true},
        {"kron(-Inf, S)", [](const Mm& x) { return kron(Mm(-inf), x); }, true, false},
        {"kron(S, [1 NaN])", [&](const Mm& x) { return kron(x, wide_nan); }, true, false},
        {"kron(S, S)", [](const Mm& x) { return kron(x, x); }, true, false},
        {"kron(S, 1i)", [](const Mm& x) { return kron(x, complex_scalar(0, 1)); }, true},
        {"S(2, [])", [](const Mm& x) { return Mm(x(Mm(2.0), Mm())); }},
        {"S([], :)", [](const Mm& x) { return Mm(x(Mm(), c_p)); }},
        {"S(:, [])", [](const Mm& x) { return Mm(x(c_p, Mm())); }},
        {"S([3 1], [3 1 2])", [](const Mm& x) { return Mm(x(test::row({3, 1}), test::row({3, 1, 2}))); }},
        {"S(:)", [](const Mm& x) { return Mm(x(c_p)); }},
        {"S([1 5 9])", [](const Mm& x) { return Mm(x(test::row({1, 5, 9}))); }},
        {"sum(S)", [](const Mm& x) { return sum(x); }},
        {"sum(S, 2)", [](const Mm& x) { return sum(x, Mm(2.0)); }},
        {"prod(S)", [](const Mm& x) { return prod(x); }},
        {"prod(S, 2)", [](const Mm& x) { return prod(x, Mm(2.0)); }},
        {"max(S)", [](const Mm& x) { return max(x); }},
        {"max(S, [], 2)", [](const Mm& x) { return max(x, Mm(), Mm(2.0)); }},
        {"[~, k] = max(S)", max_index},
        {"min(S)", [](const Mm& x) { return min(x); }},
        {"[~, k] = min(S, [], 2)", min_index_along_rows},
        {"any(S)", [](const Mm& x) { return any(x); }},
        {"all(S, 2)", [](const Mm& x) { return all(x, Mm(2.0)); }},
        {"cumsum(S)", [](const Mm& x) { return cumsum(x); }},
        {"cumprod(S, 2)", [](const Mm& x) { return cumprod(x, Mm(2.0)); }},
        {"mean(S)", [](const Mm& x) { return mean(x); }},
        {"median(S)", [](const Mm& x) { return median(x); }},
        {"[i, j, v] = find(S)", find_all},
        {"nnz(S)", [](const Mm& x) { return nnz(x); }},
        {"nonzeros(S)", [](const Mm& x) { return nonzeros(x); }},
        {"spones(S)", [](const Mm& x) { return spones(x); }, false, false},
        {"colperm(S)", [](const Mm& x) { return colperm(x); }},
        {"S'", [](const Mm& x) { return ctranspose(x); }},
        {"S == 0", [](const Mm& x) { return x == Mm(0.0); }},
        {"~S", [](const Mm& x) { return !x; }},
        {"S / 0", [](const Mm& x) { return x / Mm(0.0); }},
        {"S .^ -1", [](const Mm& x) { return power(x, Mm(-1.0)); }},
        {"0 .^ S", [](const Mm& x) { return power(Mm(0.0), x); }},
        {"cos(S)", [](const Mm& x) { return cos(x); }},
        {"S + S", [](const Mm& x) { return x + x; }},
        {"S .* S", [](const Mm& x) { return times(x, x); }},
        {"norm(S, 1)", [](const Mm& x) { return norm(x, Mm(1.0)); }},
        {"tril(S)", [](const Mm& x) { return tril(x); }},
        {"diag(S)", [](const Mm& x) { return diag(x); }},
    };
    auto same_values = [](const Mm& got, const Mm& want) {
        const std::vector<std::uint64_t> g = bits_of(got), w = bits_of(want);
        if (g.size() != w.size())
            return false;
        for (std::size_t k = 0; k < g.size(); ++k) {
            double a, b;
            std::memcpy(&a, &g[k], 8);
            std::memcpy(&b, &w[k], 8);
            if (!(a == b || (std::isnan(a) && std::isnan(b))))
                return false;
        }
        return true;
    };
    std::vector<Pair> pairs = twins();
    pairs.push_back(
        {"S = spalloc(3,4,8); S(3,1) = 5; S(1,3) = -2; S(2,2) = Inf",
         [] {
             Mm s(spalloc(Mm(3.0), Mm(4.0), Mm(8.0)), "S");
             s(Mm(3.0), Mm(1.0)) = Mm(5.0);
             s(Mm(1.0), Mm(3.0)) = Mm(-2.0);
             s(Mm(2.0), Mm(2.0)) = Mm(inf);
             return s;
         },
         [] { return sparse(test::real(3, 4, {0, 0, 5, 0, inf, 0, -2, 0, 0, 0, 0, 0})); }});
    for (const Pair& p : pairs) {
        const Mm s = p.stored(), t = p.unstored(), f = full(t);
        ASSERT_GT(s.getnnz(), nnz(s).r()) << p.what << ": the fixture holds no stored zero";
        for (const Op& op : ops) {
            SCOPED_TRACE(std::string(p.what) + ": " + op.what);
            Mm got, expected, from_full;
            ASSERT_EQ(test::error_of([&] { got = op.apply(s); }), "");
            ASSERT_EQ(test::error_of([&] { expected = op.apply(t); }), "");
            ASSERT_EQ(test::error_of([&] { from_full = op.apply(f); }), "");
            EXPECT_EQ(got.issparse(), expected.issparse());
            EXPECT_EQ(got.islogical(), expected.islogical());
            EXPECT_EQ(test::extents(got), test::extents(expected));
            EXPECT_EQ(bits_of(got), bits_of(expected));
            if (op.same_storage) {
                EXPECT_EQ(got.getnnz(), expected.getnnz());
            }
            if (!op.as_on_full)
                continue;
            EXPECT_EQ(test::extents(got), test::extents(from_full));
            EXPECT_TRUE(same_values(got, from_full));
        }
    }
}

} // namespace
