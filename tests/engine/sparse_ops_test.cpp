// The engine's sparse road: a stored zero (left by spalloc or a cancelled
// sum) is a zero like any unstored one in every operation that multiplies.
#include "engine/kernels.hpp"
#include "test_support.hpp"

#include <cmath>
#include <cstring>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

const double inf = INFINITY, nan = NAN;

// The full form's elements, both parts, bit for bit (bytes as doubles).
std::vector<std::uint64_t> bits_of(const Mm& x)
{
    const Mm f = x.gettype() == qv_uint8 ? mdouble(x) : full(x);
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
        {"trace(S)", [](const Mm& x) { return trace(x); }},
        {"diff(S)", [](const Mm& x) { return diff(x); }},
        {"sort(S)", [](const Mm& x) { return sort(x); }},
        {"fliplr(S)", [](const Mm& x) { return fliplr(x); }},
        {"repmat(S, 2, 1)", [](const Mm& x) { return repmat(x, Mm(2.0), Mm(1.0)); }},
        {"[S S]", [](const Mm& x) { return horzcat(x, x); }},
        {"[S; -S]", [](const Mm& x) { return vertcat(x, -x); }},
        {"reshape(S, 1, [])", [](const Mm& x) { return reshape(x, Mm(1.0), Mm(double(x.size()))); }},
        {"abs(S)", [](const Mm& x) { return abs(x); }},
        {"sqrt(S)", [](const Mm& x) { return msqrt(x); }},
        {"sign(S)", [](const Mm& x) { return sign(x); }},
        {"S * ones(cols, 2)", [](const Mm& x) { return x * ones(Mm(double(x.cols())), Mm(2.0)); }},
        {"S ./ 2", [](const Mm& x) { return rdivide(x, Mm(2.0)); }},
        {"S > -1", [](const Mm& x) { return x > Mm(-1.0); }},
        {"max(S, -1)", [](const Mm& x) { return max(x, Mm(-1.0)); }},
        {"sum(S, 3)", [](const Mm& x) { return sum(x, Mm(3.0)); }},
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

// ---- every code against the full computation ----

// A sparse value whose stored entries hold NaN, +-Inf, -0, tiny and huge
// values of both signs; column 1 stores every element and column 4 none,
// so lines with and without unstored zeros both occur. Set up directly:
// sparse() would drop the -0.
Mm messy_sparse(int rows, int cols, std::int64_t stored, bool complex, unsigned seed)
{
    std::mt19937_64 gen(seed);
    const std::vector<double> pool = {nan, inf, -inf, -0.0, 0.5, -2.5, 3, 1e300, -1e-300, 7, -1, 0.25, 2, -4};
    const std::vector<double> imag_pool = {0, -0.0, 1, -2.5, inf, 0, 3, nan};
    std::vector<int> at;
    const std::int64_t numel = std::int64_t{rows} * cols;
    if (numel <= 4096) {
        for (int p = 0; p < numel; ++p) {
            const int c = p / rows;
            const bool keep = c == 0 || (c != 3 && gen() % 5 < 2);
            if (keep)
                at.push_back(p);
        }
    } else {
        for (int p = 0; p < rows; ++p)
            at.push_back(p);  // the first column full
        while (static_cast<std::int64_t>(at.size()) < stored)
            at.push_back(static_cast<int>(rows + gen() % (numel - rows)));
        std::sort(at.begin(), at.end());
        at.erase(std::unique(at.begin(), at.end()), at.end());
    }
    Mm s(complex, 1, static_cast<int>(at.size()), rows, cols, qv_double);
    for (std::size_t k = 0; k < at.size(); ++k) {
        s.getindex()[k] = at[k];
        s.addr()[k] = pool[gen() % pool.size()];
        if (complex)
            s.addi()[k] = imag_pool[gen() % imag_pool.size()];
    }
    return s;
}

// Same form, extents, flags, stored count and elements, bit for bit.
void expect_same_result(const Mm& got, const Mm& want)
{
    EXPECT_EQ(got.gettype(), want.gettype());
    EXPECT_EQ(got.issparse(), want.issparse());
    EXPECT_EQ(got.isc(), want.isc());
    EXPECT_EQ(got.islogical(), want.islogical());
    EXPECT_EQ(test::extents(got), test::extents(want));
    if (got.issparse() && want.issparse()) {
        EXPECT_EQ(got.getnnz(), want.getnnz());
    }
    EXPECT_EQ(bits_of(got), bits_of(want));
}

// The call on the full value, converted back as the sparse road defines:
// sparse, except a sum or difference with a full operand.
Mm converted(const Mm& r, bool stays_full)
{
    return stays_full ? r : sparse(r);
}

struct Partner {
    const char* what;
    Mm value;
};

std::vector<Partner> scalar_partners()
{
    return {{"0", Mm(0.0)}, {"2.5", Mm(2.5)}, {"-3", Mm(-3.0)}, {"uint8(3)", test::bytes(1, 1, {3})}};
}

// Codes whose fronts ask the engine for a real result.
bool real_code(op_t op)
{
    switch (op) {
    case op_lt: case op_gt: case op_le: case op_ge: case op_eq: case op_ne: case op_or: case op_and: case op_xor:
    case op_not: case op_bitand: case op_bitor: case op_bitxor: case op_bitcmp: case op_bitget: case op_bitset:
    case op_bitreset: case op_bitshift: case op_atan2: case op_beta: case op_betaln: case op_gammainc: case op_rem:
    case op_mod: case op_pow2_2: case op_abs: case op_angle: case op_erf: case op_erfc: case op_erfcx:
    case op_erfinv: case op_expint: case op_gamma: case op_gammaln: case op_imag: case op_isfinite: case op_isinf:
    case op_isnan:
        return true;
    default:
        return false;
    }
}

// Every element-wise code with each scalar partner on either side.
TEST(SparseOps, EveryElementwiseCodeGivesTheFullAnswer)
{
    for (bool complex : {false, true}) {
        const Mm s = messy_sparse(6, 7, 0, complex, complex ? 11 : 7), f = full(s);
        for (int code = op_abs; code <= op_xor; ++code) {
            const op_t op = static_cast<op_t>(code);
            struct Call {
                std::string what;
                Mm a, b, fa, fb;
            };
            std::vector<Call> calls;
            if (is_one_operand(op)) {
                calls.push_back({std::string(op_name(op)) + "(S)", s, zero_M, f, zero_M});
            } else {
                for (const Partner& p : scalar_partners()) {
                    calls.push_back({std::string("S ") + op_name(op) + " " + p.what, s, p.value, f, p.value});
                    calls.push_back({std::string(p.what) + " " + op_name(op) + " S", p.value, s, p.value, f});
                }
            }
            for (const Call& c : calls) {
                SCOPED_TRACE(std::string(complex ? "complex: " : "real: ") + c.what);
                const int cx = real_code(op) ? 0 : c.a.isc() || c.b.isc();
                const bool stays_full = (op == op_plus || op == op_minus);
                Mm got, want;
                const std::string got_error = test::error_of([&] { got = Mm(cx, c.a, c.b, nop_M, op, 0, l_M); });
                const std::string want_error =
                    test::error_of([&] { want = converted(Mm(cx, c.fa, c.fb, nop_M, op, 0, l_M), stays_full); });
                EXPECT_EQ(got_error, want_error);
                if (got_error.empty() && want_error.empty())
                    expect_same_result(got, want);
            }
        }
    }
}

struct Reduction {
    const char* what;
    std::function<Mm(const Mm&, const Mm& dim)> apply;
};

std::vector<Reduction> reductions()
{
    return {
        {"sum", [](const Mm& x, const Mm& d) { return sum(x, d); }},
        {"prod", [](const Mm& x, const Mm& d) { return prod(x, d); }},
        {"max", [](const Mm& x, const Mm& d) { return max(x, Mm(), d); }},
        {"min", [](const Mm& x, const Mm& d) { return min(x, Mm(), d); }},
        {"[~, k] = max", [](const Mm& x, const Mm& d) {
             Mm m, k;
             max(x, Mm(), d, i_o, m, k);
             return k;
         }},
        {"[~, k] = min", [](const Mm& x, const Mm& d) {
             Mm m, k;
             min(x, Mm(), d, i_o, m, k);
             return k;
         }},
        {"any", [](const Mm& x, const Mm& d) { return any(x, d); }},
        {"all", [](const Mm& x, const Mm& d) { return all(x, d); }},
        {"cumsum", [](const Mm& x, const Mm& d) { return cumsum(x, d); }},
        {"cumprod", [](const Mm& x, const Mm& d) { return cumprod(x, d); }},
        {"mean", [](const Mm& x, const Mm& d) { return mean(x, d); }},
        {"median", [](const Mm& x, const Mm& d) { return median(x, d); }},
        {"diff", [](const Mm& x, const Mm& d) { return diff(x, one_M, d); }},
    };
}

// Every element-wise code between two sparse values of one shape, real
// and complex, holding NaN, Inf and -0 at positions the other shares or
// leaves empty: the full computation converted back, bit for bit. Codes
// that give zero on two zeros for their partners (S ~= T, mod(S, T),
// pow2(S, T)) went through full values, so that two 46340^2 operands were
// refused with "full: matrix too large" for a result that stores no more
// than both.
TEST(SparseOps, EveryCodeBetweenTwoSparseValuesGivesTheFullAnswer)
{
    for (const bool complex_a : {false, true})
        for (const bool complex_b : {false, true}) {
            const Mm a = messy_sparse(6, 7, 0, complex_a, complex_a ? 11 : 7);
            const Mm b = messy_sparse(6, 7, 0, complex_b, complex_b ? 23 : 19);
            const Mm fa = full(a), fb = full(b);
            for (int code = op_abs; code <= op_xor; ++code) {
                const op_t op = static_cast<op_t>(code);
                if (is_one_operand(op))
                    continue;
                SCOPED_TRACE(std::string(complex_a ? "complex " : "real ") + "S " + op_name(op) +
                             (complex_b ? " complex T" : " real T"));
                const int cx = real_code(op) ? 0 : complex_a || complex_b;
                const bool stays_full = false;  // both sparse: the result is sparse
                Mm got, want;
                const std::string got_error = test::error_of([&] { got = Mm(cx, a, b, nop_M, op, 0, l_M); });
                const std::string want_error =
                    test::error_of([&] { want = converted(Mm(cx, fa, fb, nop_M, op, 0, l_M), stays_full); });
                EXPECT_EQ(got_error, want_error);
                if (got_error.empty() && want_error.empty())
                    expect_same_result(got, want);
            }
        }
}

// Every reduction along each dimension, on values with and without
// unstored zeros in a line, real and complex, matrices and vectors.
TEST(SparseOps, EveryReductionGivesTheFullAnswer)
{
    std::vector<std::pair<std::string, Mm>> values;
    for (bool complex : {false, true}) {
        const std::string kind = complex ? "complex " : "real ";
        const Mm m = messy_sparse(6, 7, 0, complex, complex ? 5 : 3);
        values.push_back({kind + "6x7", m});
        values.push_back({kind + "row", Mm(m(Mm(2.0), c_p))});
        values.push_back({kind + "column", Mm(m(c_p, Mm(2.0)))});
        values.push_back({kind + "full column", Mm(m(c_p, Mm(1.0)))});
        values.push_back({kind + "nothing stored", Mm(complex, 1, 0, 4, 3, qv_double)});
        values.push_back({kind + "1x1", Mm(m(Mm(1.0), Mm(1.0)))});
    }
    for (const auto& [what, s] : values) {
        const Mm f = full(s);
        for (const Reduction& r : reductions())
            for (double d : {0.0, 1.0, 2.0, 3.0, 4.0, 5.0}) {
                SCOPED_TRACE(what + ": " + r.what + ", dim " + std::to_string(d));
                const bool index = std::string(r.what).find('k') != std::string::npos;
                Mm got, want;
                const std::string got_error = test::error_of([&] { got = r.apply(s, Mm(d)); });
                // median sorts first, and the sort of a sparse value is
                // full: its answer stays full.
                const bool stays_full = std::string(r.what) == "median" && !sort(s).issparse();
                const std::string want_error = test::error_of([&] {
                    want = r.apply(f, Mm(d));
                    if (!index)
                        want = converted(want, stays_full);
                });
                EXPECT_EQ(got_error, want_error);
                if (got_error.empty() && want_error.empty())
                    expect_same_result(got, want);
            }
    }
}

// ---- the same at a size only the stored entries can answer ----

// The element at a 0-based position of a result, both parts.
std::pair<double, double> element_at(const Mm& x, std::int64_t p)
{
    if (!x.issparse())
        return {x.addr()[p], x.isc() ? x.addi()[p] : 0.0};
    const int k = x.search(static_cast<int>(p));
    if (k < 0)
        return {0.0, 0.0};
    return {x.addr()[k], x.isc() ? x.addi()[k] : 0.0};
}

// A 46340 x 46340 value (the most a sparse value holds) with 10^5 stored
// entries: the full form would have 2.1e9 elements. Each call is judged at
// spot positions, stored and unstored, by the same call on a small full
// column of the values there.
class SparseAtScale : public ::testing::Test {
protected:
    static void SetUpTestSuite() { big = new Mm(messy_sparse(46340, 46340, 100000, false, 99)); }
    static void TearDownTestSuite()
    {
        delete big;
        big = nullptr;
    }
    static Mm* big;

    // Stored positions spread over the list, and unstored ones.
    static std::vector<std::int64_t> spots()
    {
        std::vector<std::int64_t> at;
        const int n = big->getnnz();
        for (int k = 0; k < n; k += n / 23)
            at.push_back(big->getindex()[k]);
        for (std::int64_t p : {std::int64_t{1} << 20, std::int64_t{2147395599}, std::int64_t{46340} * 7 + 46339})
            if (big->search(static_cast<int>(p)) < 0)
                at.push_back(p);
        return at;
    }
};
Mm* SparseAtScale::big = nullptr;

TEST_F(SparseAtScale, EveryElementwiseCodeFollowsTheSmallRule)
{
    const Mm& s = *big;
    const std::vector<std::int64_t> at = spots();
    Mm column(0, 0, 0, static_cast<int>(at.size()) + 1, 1, qv_double);
    for (std::size_t k = 0; k < at.size(); ++k)
        column.addr()[k] = element_at(s, at[k]).first;
    column.addr()[at.size()] = 0;  // what every unstored element holds
    for (int code = op_abs; code <= op_xor; ++code) {
        const op_t op = static_cast<op_t>(code);
        std::vector<std::pair<Partner, bool>> calls;
        if (is_one_operand(op))
            calls.push_back({{"", zero_M}, true});
        else
            for (const Partner& p : scalar_partners()) {
                calls.push_back({p, true});
                calls.push_back({p, false});
            }
        for (const auto& [p, s_first] : calls) {
            SCOPED_TRACE(std::string(op_name(op)) + (s_first ? " S " : " ") + p.what + (s_first ? "" : " S"));
            const int cx = 0;  // the value is real
            Mm small;
            const std::string small_error = test::error_of([&] {
                small = s_first ? Mm(cx, column, p.value, nop_M, op, 0, l_M) : Mm(cx, p.value, column, nop_M, op, 0, l_M);
            });
            Mm got;
            const std::string got_error = test::error_of([&] {
                got = s_first ? Mm(cx, s, p.value, nop_M, op, 0, l_M) : Mm(cx, p.value, s, nop_M, op, 0, l_M);
            });
            if (!small_error.empty()) {
                EXPECT_EQ(got_error, small_error);
                continue;
            }
            if (small.gettype() == qv_uint8)
                small = mdouble(small);
            const auto fill = element_at(small, static_cast<std::int64_t>(at.size()));
            const bool fills = fill.first != 0 || fill.second != 0;
            const bool stays_full = op == op_plus || op == op_minus;
            if (fills || stays_full) {
                // Every element is written: the full form's limit holds.
                EXPECT_EQ(got_error, "full: matrix too large");
                continue;
            }
            ASSERT_EQ(got_error, "");
            EXPECT_TRUE(got.issparse());
            EXPECT_EQ(test::extents(got), test::extents(s));
            EXPECT_EQ(got.isc(), small.isc());
            EXPECT_LE(got.getnnz(), s.getnnz());
            for (std::size_t k = 0; k < at.size(); ++k) {
                SCOPED_TRACE("at " + std::to_string(at[k]));
                auto want = element_at(small, static_cast<std::int64_t>(k));
                if (want.first == 0 && want.second == 0)
                    want = {0.0, 0.0};  // a zero result is not stored
                const auto have = element_at(got, at[k]);
                EXPECT_BITS_EQ(have.first, want.first);
                EXPECT_BITS_EQ(have.second, want.second);
            }
        }
    }
}

// Between two values of that size: every code whose unstored pair gives
// zero answers from the stored entries (judged at spots of either list
// and at unstored ones by the same code on two small columns); every
// other one is refused with the full form's limit.
TEST_F(SparseAtScale, EveryCodeBetweenTwoValuesFollowsTheSmallRule)
{
    const Mm& s = *big;
    const Mm t = messy_sparse(46340, 46340, 100000, false, 7);
    std::vector<std::int64_t> at = spots();
    for (int k = 0; k < t.getnnz(); k += t.getnnz() / 17)
        at.push_back(t.getindex()[k]);
    Mm cs(0, 0, 0, static_cast<int>(at.size()), 1, qv_double), ct(0, 0, 0, static_cast<int>(at.size()), 1, qv_double);
    for (std::size_t k = 0; k < at.size(); ++k) {
        cs.addr()[k] = element_at(s, at[k]).first;
        ct.addr()[k] = element_at(t, at[k]).first;
    }
    for (int code = op_abs; code <= op_xor; ++code) {
        const op_t op = static_cast<op_t>(code);
        if (is_one_operand(op))
            continue;
        SCOPED_TRACE(std::string("S ") + op_name(op) + " T");
        const Mm zero_pair = Mm(0, Mm(0.0), Mm(0.0), nop_M, op, 0, l_M);
        const bool fills = zero_pair.gettype() != qv_double || *zero_pair.addr() != 0;
        Mm got;
        const std::string got_error = test::error_of([&] { got = Mm(0, s, t, nop_M, op, 0, l_M); });
        if (fills) {
            EXPECT_EQ(got_error, "full: matrix too large");
            continue;
        }
        ASSERT_EQ(got_error, "");
        EXPECT_TRUE(got.issparse());
        EXPECT_EQ(test::extents(got), test::extents(s));
        EXPECT_LE(got.getnnz(), s.getnnz() + t.getnnz());
        Mm small = Mm(0, cs, ct, nop_M, op, 0, l_M);
        if (small.gettype() == qv_uint8)
            small = mdouble(small);
        for (std::size_t k = 0; k < at.size(); ++k) {
            SCOPED_TRACE("at " + std::to_string(at[k]));
            auto want = element_at(small, static_cast<std::int64_t>(k));
            if (want.first == 0)
                want.first = 0.0;  // a zero result is not stored
            EXPECT_BITS_EQ(element_at(got, at[k]).first, want.first);
        }
    }
}

TEST_F(SparseAtScale, EveryReductionFollowsTheSmallRule)
{
    const Mm& s = *big;
    const std::vector<int> lines = {0, 1, 2, 17, 4000, 46339};
    for (const Reduction& r : reductions()) {
        const std::string name = r.what;
        if (name == "cumsum" || name == "cumprod" || name == "median")
            continue;  // their results fill a good part of the extents: below, on a value made for them
        if (name == "diff")
            continue;  // one difference fewer than elements per line: in the sparse limit sweep
        for (double d : {1.0, 2.0}) {
            SCOPED_TRACE(name + ", dim " + std::to_string(d));
            Mm got;
            ASSERT_EQ(test::error_of([&] { got = r.apply(s, Mm(d)); }), "");
            EXPECT_EQ(got.rows(), d == 1 ? 1 : s.rows());
            EXPECT_EQ(got.cols(), d == 1 ? s.cols() : 1);
            for (int line : lines) {
                SCOPED_TRACE("line " + std::to_string(line + 1));
                const Mm one = d == 1 ? full(Mm(s(c_p, Mm(line + 1.0)))) : full(Mm(s(Mm(line + 1.0), c_p)));
                const Mm small = r.apply(one, Mm(d));
                const auto want = element_at(small, 0);
                const auto have = element_at(got, line);
                if (want.first == 0 && want.second == 0 && got.issparse()) {
                    EXPECT_EQ(have.first, 0.0);
                    EXPECT_EQ(have.second, 0.0);
                } else {
                    EXPECT_BITS_EQ(have.first, want.first);
                    EXPECT_BITS_EQ(have.second, want.second);
                }
            }
        }
    }
}

// The shape and query functions a user meets next on the largest square,
// each judged against a plain model built from the stored entries (a
// stored zero, -0 included, is no entry): transposes, reshapes to a row
// and a column, triangles, diagonals, find with one to three outputs,
// nonzeros, Kronecker products with a 1x1 factor, spones, comparisons with
// a scalar and the read through a logical mask.
TEST_F(SparseAtScale, ShapeAndQueryFunctionsFollowTheStoredEntries)
{
    const Mm& s = *big;
    const int n = s.rows();
    using entry = std::pair<std::int64_t, std::uint64_t>;  // position, bits of the value
    auto entries_of = [](const Mm& x) {
        std::vector<entry> e;
        for (int k = 0; k < x.getnnz(); ++k)
            if (x.addr()[k] != 0)
                e.push_back({x.getindex()[k], test::bits(x.addr()[k])});
        return e;
    };
    // The model: the stored non-zeros as (row, column, value).
    struct rcv {
        int r, c;
        double v;
    };
    std::vector<rcv> stored;
    for (int k = 0; k < s.getnnz(); ++k)
        if (s.addr()[k] != 0)
            stored.push_back({s.getindex()[k] % n, s.getindex()[k] / n, s.addr()[k]});
    auto model = [&](const std::function<bool(const rcv&)>& keep,
                     const std::function<std::int64_t(const rcv&)>& place,
                     const std::function<double(double)>& value) {
        std::vector<entry> e;
        for (const rcv& x : stored)
            if (keep(x))
                e.push_back({place(x), test::bits(value(x.v))});
        std::sort(e.begin(), e.end());
        return e;
    };
    auto all = [](const rcv&) { return true; };
    auto same = [](double v) { return v; };
    auto at = [n](const rcv& x) { return x.r + std::int64_t{n} * x.c; };
    const Mm d = sparse(Mm(2.0));
    struct Case {
        const char* what;
        std::function<Mm()> call;
        std::vector<int> extents;
        std::vector<entry> want;
    };
    const std::vector<Case> cases = {
        {"S.'", [&] { return transpose(s); }, {n, n},
         model(all, [n](const rcv& x) { return x.c + std::int64_t{n} * x.r; }, same)},
        {"S'", [&] { return ctranspose(s); }, {n, n},
         model(all, [n](const rcv& x) { return x.c + std::int64_t{n} * x.r; }, same)},
        {"reshape(S, 1, n^2)", [&] { return reshape(s, Mm(1.0), Mm(double(n) * n)); }, {1, n * n},
         model(all, at, same)},
        {"reshape(S, n^2, 1)", [&] { return reshape(s, Mm(double(n) * n), Mm(1.0)); }, {n * n, 1},
         model(all, at, same)},
        {"tril(S)", [&] { return tril(s); }, {n, n}, model([](const rcv& x) { return x.r >= x.c; }, at, same)},
        {"triu(S)", [&] { return triu(s); }, {n, n}, model([](const rcv& x) { return x.r <= x.c; }, at, same)},
        {"tril(S, -3)", [&] { return tril(s, Mm(-3.0)); }, {n, n},
         model([](const rcv& x) { return x.r - x.c >= 3; }, at, same)},
        {"triu(S, 2)", [&] { return triu(s, Mm(2.0)); }, {n, n},
         model([](const rcv& x) { return x.c - x.r >= 2; }, at, same)},
        {"diag(S)", [&] { return diag(s); }, {n, 1},
         model([](const rcv& x) { return x.r == x.c; }, [](const rcv& x) { return std::int64_t{x.r}; }, same)},
        {"diag(S, 5)", [&] { return diag(s, Mm(5.0)); }, {n - 5, 1},
         model([](const rcv& x) { return x.c - x.r == 5; }, [](const rcv& x) { return std::int64_t{x.r}; }, same)},
        {"kron(S, sparse(2))", [&] { return kron(s, d); }, {n, n}, model(all, at, [](double v) { return v * 2; })},
        {"kron(sparse(2), S)", [&] { return kron(d, s); }, {n, n}, model(all, at, [](double v) { return 2 * v; })},
        {"spones(S)", [&] { return spones(s); }, {n, n}, model(all, at, [](double) { return 1.0; })},
        {"S > 0.5", [&] { return s > Mm(0.5); }, {n, n},
         model([](const rcv& x) { return x.v > 0.5; }, at, [](double) { return 1.0; })},
        {"S ~= 0", [&] { return s != Mm(0.0); }, {n, n}, model(all, at, [](double) { return 1.0; })},
        {"S(S > 0.5)", [&] { return Mm(s(s > Mm(0.5))); }, {0, 1}, {}},  // counted below
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm got;
        ASSERT_EQ(test::error_of([&] { got = c.call(); }), "");
        ASSERT_TRUE(got.issparse());
        if (std::string(c.what) == "S(S > 0.5)") {
            // A column of the selected values, in column-major order.
            std::vector<entry> want;
            for (const rcv& x : stored)
                if (x.v > 0.5)
                    want.push_back({static_cast<std::int64_t>(want.size()), test::bits(x.v)});
            EXPECT_EQ(test::extents(got), (std::vector<int>{static_cast<int>(want.size()), 1}));
            EXPECT_EQ(entries_of(got), want);
            continue;
        }
        EXPECT_EQ(test::extents(got), c.extents);
        EXPECT_EQ(entries_of(got), c.want);
    }

    // find with one, two and three outputs, nonzeros and nnz.
    Mm k1, i2, j2, i3, j3, v3;
    ASSERT_EQ(test::error_of([&] {
                  k1 = find(s);
                  find(s, i_o, i2, j2);
                  find(s, i_o, i3, j3, v3);
              }),
              "");
    const Mm nz = nonzeros(s);
    ASSERT_EQ(k1.size(), static_cast<int>(stored.size()));
    ASSERT_EQ(i3.size(), static_cast<int>(stored.size()));
    ASSERT_EQ(nz.size(), static_cast<int>(stored.size()));
    EXPECT_EQ(nnz(s).r(), static_cast<double>(stored.size()));
    for (std::size_t e = 0; e < stored.size(); ++e) {
        const rcv& x = stored[e];
        const int q = static_cast<int>(e);
        if (k1.addr()[q] != x.r + double(n) * x.c + 1 || i2.addr()[q] != x.r + 1 || j2.addr()[q] != x.c + 1 ||
            i3.addr()[q] != x.r + 1 || j3.addr()[q] != x.c + 1 || test::bits(v3.addr()[q]) != test::bits(x.v) ||
            test::bits(nz.addr()[q]) != test::bits(x.v)) {
            ADD_FAILURE() << "entry " << e + 1 << " at (" << x.r + 1 << ", " << x.c + 1 << ")";
            break;
        }
    }
}

// The calls on speye(10000), and the running sums of a 10^4 x 10^4
// value whose answers stay small.
TEST(SparseOps, IdentityOfTenThousandAnswersEveryCall)
{
    const int n = 10000;
    const Mm s = speye(Mm(double(n)));
    const Mm ones_row = sparse(ones(Mm(1.0), Mm(double(n))));
    const Mm none_row = sparse(Mm(1.0), Mm(double(n)));
    struct Case {
        const char* what;
        std::function<Mm()> call;
        Mm expected;  // sparse
    };
    const Mm half = times(s, Mm(0.5));
    const std::vector<Case> cases = {
        {"sum(S)", [&] { return sum(s); }, ones_row},
        {"sum(S, 2)", [&] { return sum(s, Mm(2.0)); }, transpose(ones_row)},
        {"max(S)", [&] { return max(s); }, ones_row},
        {"min(S)", [&] { return min(s); }, none_row},
        {"any(S)", [&] { return any(s); }, ones_row},
        {"all(S)", [&] { return all(s); }, none_row},
        {"mean(S)", [&] { return mean(s); }, times(ones_row, Mm(1.0 / n))},
        {"prod(S)", [&] { return prod(s); }, none_row},
        {"sum(S, 3)", [&] { return sum(s, Mm(3.0)); }, s},
        {"max(S, [], 4)", [&] { return max(s, Mm(), Mm(4.0)); }, s},
        {"cumsum(S, 3)", [&] { return cumsum(s, Mm(3.0)); }, s},
        {"all(S, 3)", [&] { return all(s, Mm(3.0)); }, s},
        {"S / 2", [&] { return s / Mm(2.0); }, half},
        {"rdivide(S, 2)", [&] { return rdivide(s, Mm(2.0)); }, half},
        {"mrdivide(S, 2)", [&] { return mrdivide(s, Mm(2.0)); }, half},
        {"S > 1", [&] { return s > Mm(1.0); }, sparse(Mm(double(n)), Mm(double(n)))},
        {"S >= 1", [&] { return s >= Mm(1.0); }, s},
        {"power(S, 2)", [&] { return power(s, Mm(2.0)); }, s},
        {"S .^ 0.5", [&] { return power(s, Mm(0.5)); }, s},
        {"S / -2", [&] { return s / Mm(-2.0); }, times(s, Mm(-0.5))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm got;
        ASSERT_EQ(test::error_of([&] { got = c.call(); }), "");
        EXPECT_TRUE(got.issparse());
        EXPECT_EQ(test::extents(got), test::extents(c.expected));
        EXPECT_EQ(got.getnnz(), c.expected.getnnz());
        EXPECT_EQ(isequal(got, c.expected), 1);
    }
    Mm m, k;
    max(s, i_o, m, k);
    EXPECT_FALSE(k.issparse());
    EXPECT_EQ(k.size(), n);
    for (int c : {0, 1, 4999, n - 1})
        EXPECT_EQ(k.addr()[c], c + 1.0) << "the position of the stored 1";
    min(s, i_o, m, k);
    EXPECT_EQ(k.addr()[0], 2.0) << "the first unstored zero";
    EXPECT_EQ(k.addr()[n - 1], 1.0);
    // Operations that fill every element keep the full form's limit.
    EXPECT_ERROR(s + Mm(1.0), "full: matrix too large");
    EXPECT_ERROR(s < Mm(1.0), "full: matrix too large");
    EXPECT_ERROR(cos(s), "full: matrix too large");
    EXPECT_ERROR(s / Mm(0.0), "full: matrix too large");

    // The last row full: cumsum down the columns is the value itself,
    // along the rows it fills the last row.
    const Mm last(sparse(Mm(double(n)) * ones(Mm(1.0), Mm(double(n))), colon(Mm(1.0), Mm(1.0), Mm(double(n))),
                         ones(Mm(1.0), Mm(double(n))), Mm(double(n)), Mm(double(n))));
    const Mm down = cumsum(last), across = cumsum(last, Mm(2.0));
    EXPECT_EQ(isequal(down, last), 1);
    EXPECT_EQ(across.getnnz(), n);
    EXPECT_EQ(element_at(across, std::int64_t{n} * n - 1).first, double(n));
    EXPECT_EQ(element_at(across, n - 1).first, 1.0);
    EXPECT_EQ(cumprod(last).getnnz(), 0) << "a zero above every 1";
    EXPECT_EQ(isequal(cumprod(last, Mm(2.0)), last), 1);
}

// The stiffness matrix of a 100 x 100 Poisson grid written the natural way,
// (kron(I, T) + kron(T, I)) / h^2, and the everyday questions asked of it.
TEST(SparseOps, PoissonMatrixOfAHundredByHundredGrid)
{
    const int n = 100, N = n * n;
    std::vector<double> i, j, v;
    for (int k = 1; k <= n; ++k) {
        i.push_back(k), j.push_back(k), v.push_back(2);
        if (k > 1)
            i.push_back(k), j.push_back(k - 1), v.push_back(-1);
        if (k < n)
            i.push_back(k), j.push_back(k + 1), v.push_back(-1);
    }
    auto row_of = [](const std::vector<double>& x) {
        Mm r(0, 0, 0, 1, static_cast<int>(x.size()), qv_double);
        std::copy(x.begin(), x.end(), r.addr());
        return r;
    };
    const Mm T = sparse(row_of(i), row_of(j), row_of(v), Mm(double(n)), Mm(double(n)));
    const Mm I = speye(Mm(double(n)));
    const double h = 1.0 / (n + 1);
    Mm K;
    ASSERT_EQ(test::error_of([&] { K = (kron(I, T) + kron(T, I)) / Mm(h * h); }), "");
    ASSERT_TRUE(K.issparse());
    EXPECT_EQ(test::extents(K), (std::vector<int>{N, N}));
    EXPECT_EQ(K.getnnz(), 5 * N - 4 * n);
    // Each element is the sum of the two Kronecker terms, divided once.
    const double diagonal = 4 / (h * h), neighbour = -1 / (h * h);
    EXPECT_EQ(element_at(K, 0).first, diagonal);
    EXPECT_EQ(element_at(K, 1).first, neighbour);
    EXPECT_EQ(element_at(K, n).first, neighbour);
    EXPECT_EQ(element_at(K, 2).first, 0.0);
    const Mm colsums = sum(K), rowsums = sum(K, Mm(2.0)), big = max(K), small = min(K);
    EXPECT_TRUE(colsums.issparse());
    // K is symmetric: its row and column sums agree; an interior line sums
    // to 0 exactly (4 - 1 - 1 - 1 - 1 in that order), a corner to 2/h^2.
    EXPECT_EQ(isequal(transpose(colsums), rowsums), 1);
    EXPECT_EQ(element_at(colsums, n + 1).first, 0.0);
    EXPECT_EQ(element_at(colsums, 0).first, (diagonal + neighbour) + neighbour);
    EXPECT_EQ(isequal(big, sparse(Mm(diagonal) * ones(Mm(1.0), Mm(double(N))))), 1);
    EXPECT_EQ(isequal(small, sparse(Mm(neighbour) * ones(Mm(1.0), Mm(double(N))))), 1);
    EXPECT_EQ(isequal(K > Mm(0.0), speye(Mm(double(N))) > Mm(0.0)), 1);
    EXPECT_EQ(nnz(any(K)).r(), N);
    EXPECT_EQ(nnz(all(K)).r(), 0);
}

// Reductions along lines far longer than what they store: a column or a
// row of 2^31 - 1 elements (S(:) of the largest square), tall and wide
// matrices, each along dimension 1, 2 and the default. The work, scratch
// included, must follow the stored entries: sum(S(:)) of a 46340^2 value
// with 10^5 entries took 29 s and 8 GB for a table sized by the line's
// extent, and sum(S(:)', 1) wanted a full row of 2^31 doubles for a result
// that stores 10^5. Judged line by line against a plain model: integer
// values (so sums are exact), an unstored element counts 0.
TEST(SparseOps, ReductionsAlongLinesFarLongerThanTheirStoredCount)
{
    struct Shape {
        int rows, cols, stored;
    };
    const std::vector<Shape> shapes = {
        {2147483647, 1, 100000}, {1, 2147483647, 100000}, {2147395600, 1, 5000}, {1, 2147395600, 3},
        {46340, 46340, 100000}, {1000000, 2147, 60000},  {2147, 1000000, 60000}, {2147483647, 1, 0},
        {1, 2147483647, 0},
    };
    const std::vector<double> pool = {3, -2, 5, -7, 1, 4};
    std::mt19937_64 gen(17);
    for (const Shape& sh : shapes) {
        const std::int64_t numel = std::int64_t{sh.rows} * sh.cols;
        std::vector<std::int64_t> at;
        while (static_cast<int>(at.size()) < sh.stored) {
            at.push_back(static_cast<std::int64_t>(gen() % numel));
            if (at.size() == static_cast<std::size_t>(sh.stored)) {
                std::sort(at.begin(), at.end());
                at.erase(std::unique(at.begin(), at.end()), at.end());
            }
        }
        Mm s(0, 1, static_cast<int>(at.size()), sh.rows, sh.cols, qv_double);
        for (std::size_t k = 0; k < at.size(); ++k) {
            s.getindex()[k] = static_cast<int>(at[k]);
            s.addr()[k] = pool[gen() % pool.size()];
        }
        for (const double d : {0.0, 1.0, 2.0}) {
            const int dim = d != 0 ? static_cast<int>(d) : (sh.rows == 1 ? 2 : 1);
            const int lines = dim == 1 ? sh.cols : sh.rows, extent = dim == 1 ? sh.rows : sh.cols;
            // The plain model: each line's stored (place, value) pairs.
            std::map<int, std::vector<std::pair<int, double>>> line;
            for (std::size_t k = 0; k < at.size(); ++k) {
                const int r = static_cast<int>(at[k] % sh.rows), c = static_cast<int>(at[k] / sh.rows);
                line[dim == 1 ? c : r].push_back({dim == 1 ? r : c, s.addr()[k]});
            }
            for (auto& [c, e] : line)
                std::sort(e.begin(), e.end());
            struct Model {
                const char* what;
                std::function<Mm(const Mm&)> call;
                std::function<double(const std::vector<std::pair<int, double>>&)> expect;
                bool positions;
            };
            auto full_line = [extent](const std::vector<std::pair<int, double>>& e) {
                return static_cast<std::int64_t>(e.size()) == extent;
            };
            // The first place holding the extreme m (0 where nothing is stored).
            auto first_place = [](const std::vector<std::pair<int, double>>& e, double m) {
                int next = 0;
                for (const auto& [p, v] : e) {
                    if (p > next && m == 0)
                        return next + 1.0;
                    if (v == m)
                        return p + 1.0;
                    next = p + 1;
                }
                return next + 1.0;
            };
            auto extreme = [full_line](const std::vector<std::pair<int, double>>& e, bool largest) {
                double m = full_line(e) ? e[0].second : 0.0;
                for (const auto& [p, v] : e)
                    m = largest ? std::max(m, v) : std::min(m, v);
                return m;
            };
            const Mm dm(d);
            const std::vector<Model> models = {
                {"sum", [&](const Mm& x) { return sum(x, dm); },
                 [](const auto& e) {
                     double t = 0;
                     for (const auto& [p, v] : e)
                         t += v;
                     return t;
                 },
                 false},
                {"prod", [&](const Mm& x) { return prod(x, dm); },
                 [&](const auto& e) {
                     double t = full_line(e) ? 1 : 0;
                     for (const auto& [p, v] : e)
                         t *= v;
                     return t;
                 },
                 false},
                {"mean", [&](const Mm& x) { return mean(x, dm); },
                 [extent](const auto& e) {
                     double t = 0;
                     for (const auto& [p, v] : e)
                         t += v;
                     return t / extent;
                 },
                 false},
                {"max", [&](const Mm& x) { return max(x, Mm(), dm); }, [&](const auto& e) { return extreme(e, true); },
                 false},
                {"min", [&](const Mm& x) { return min(x, Mm(), dm); }, [&](const auto& e) { return extreme(e, false); },
                 false},
                {"any", [&](const Mm& x) { return any(x, dm); }, [](const auto& e) { return e.empty() ? 0.0 : 1.0; },
                 false},
                {"all", [&](const Mm& x) { return all(x, dm); },
                 [&](const auto& e) { return full_line(e) ? 1.0 : 0.0; }, false},
                {"[~, k] = max",
                 [&](const Mm& x) {
                     Mm m, k;
                     max(x, Mm(), dm, i_o, m, k);
                     return k;
                 },
                 [&](const auto& e) { return first_place(e, extreme(e, true)); }, true},
                {"[~, k] = min",
                 [&](const Mm& x) {
                     Mm m, k;
                     min(x, Mm(), dm, i_o, m, k);
                     return k;
                 },
                 [&](const auto& e) { return first_place(e, extreme(e, false)); }, true},
            };
            for (const Model& model : models) {
                if (model.positions && lines > 10000000)
                    continue;  // a full row of positions that long does not fit
                if (d == 0 && std::string(model.what) == "mean")
                    continue;  // mean's dimension 0 is no default: it divides by size(x, 0)
                SCOPED_TRACE(std::string(model.what) + " of a " + std::to_string(sh.rows) + "x" +
                             std::to_string(sh.cols) + " value storing " + std::to_string(at.size()) +
                             ", dim " + std::to_string(int(d)));
                Mm got;
                ASSERT_EQ(test::error_of([&] { got = model.call(s); }), "");
                EXPECT_EQ(got.rows(), dim == 1 ? 1 : sh.rows);
                EXPECT_EQ(got.cols(), dim == 1 ? sh.cols : 1);
                EXPECT_EQ(got.issparse(), !model.positions);
                // Every line that stores something, and the count of the
                // non-zeros, which the empty lines must not add to.
                double nonzero_lines = 0;
                for (const auto& [c, e] : line) {
                    const double want = model.expect(e);
                    nonzero_lines += want != 0;
                    const double have = model.positions ? got.addr()[c] : element_at(got, c).first;
                    if (have != want) {
                        ADD_FAILURE() << "line " << c + 1 << ": " << have << ", want " << want;
                        break;
                    }
                }
                if (model.positions) {
                    const std::vector<std::pair<int, double>> none;
                    for (int c : {0, lines / 2, lines - 1}) {
                        if (!line.count(c)) {
                            EXPECT_EQ(got.addr()[c], model.expect(none)) << "line " << c + 1;
                        }
                    }
                } else {
                    EXPECT_EQ(nnz(got).r(), nonzero_lines);
                }
            }
        }
    }
}

// Running sums and products along the longest lines (a row and a column of
// 2^31 - 1 elements), on values whose answers stay small: a line whose
// entries sit in its last 3 x 10^4 places (cumsum fills from the first of
// them to the end), and one that also starts with a stored run (cumprod
// keeps that run and is zero from the first gap). Judged entry by entry
// against a plain model; across the line each element is its own line.
TEST(SparseOps, RunningSumsAndProductsAlongTheLongestLines)
{
    constexpr int longest = 2147483647;
    const std::vector<double> pool = {3, -2, 5, 1, 4};
    for (const bool row : {true, false})
        for (const bool leading_run : {false, true}) {
            std::vector<int> at;
            if (leading_run)
                at = {0, 1, 2, 3};
            for (int k = 10000; k > 0; --k)
                at.push_back(longest - 3 * k + k % 3);
            Mm s(0, 1, static_cast<int>(at.size()), row ? 1 : longest, row ? longest : 1, qv_double);
            for (std::size_t k = 0; k < at.size(); ++k) {
                s.getindex()[k] = at[k];
                s.addr()[k] = pool[k % pool.size()];
            }
            const Mm along(row ? 2.0 : 1.0), across(row ? 1.0 : 2.0);
            // The model: (position, value) of every non-zero of the running
            // sum and product along the line.
            std::vector<std::pair<int, double>> sums, products;
            double t = 0, p = 1;
            int next = 0;
            for (std::size_t k = 0; k < at.size(); ++k) {
                if (at[k] != next)
                    p = 0;  // an unstored zero on the way
                p *= s.addr()[k];
                if (p != 0)
                    products.push_back({at[k], p});
                next = at[k] + 1;
            }
            if (!leading_run) {
                std::size_t k = 0;
                for (std::int64_t q = at[0]; q < longest; ++q) {
                    if (k < at.size() && at[k] == q)
                        t += s.addr()[k++];
                    if (t != 0)
                        sums.push_back({static_cast<int>(q), t});
                }
            }
            auto entries = [](const Mm& x) {
                std::vector<std::pair<int, double>> e;
                for (int k = 0; k < x.getnnz(); ++k)
                    if (x.addr()[k] != 0)
                        e.push_back({x.getindex()[k], x.addr()[k]});
                return e;
            };
            SCOPED_TRACE(std::string(row ? "the longest row" : "the longest column") +
                         (leading_run ? " with a leading run" : ""));
            Mm got;
            if (!leading_run) {
                ASSERT_EQ(test::error_of([&] { got = cumsum(s, along); }), "");
                ASSERT_TRUE(got.issparse());
                EXPECT_EQ(test::extents(got), test::extents(s));
                EXPECT_EQ(entries(got), sums);
                ASSERT_EQ(test::error_of([&] { got = cumsum(s); }), "");
                EXPECT_EQ(entries(got), sums) << "the default dimension runs along the line";
            }
            ASSERT_EQ(test::error_of([&] { got = cumprod(s, along); }), "");
            ASSERT_TRUE(got.issparse());
            EXPECT_EQ(entries(got), products);
            for (Mm (*f)(const Mm&, const Mm&) : {+[](const Mm& x, const Mm& d) { return cumsum(x, d); },
                                                 +[](const Mm& x, const Mm& d) { return cumprod(x, d); }}) {
                ASSERT_EQ(test::error_of([&] { got = f(s, across); }), "");
                EXPECT_EQ(entries(got), entries(s)) << "across the line each element is its own line";
            }
        }
}

// An object as the scalar partner of a sparse value: its class method
// receives the whole value, not a column of stored entries.
Mm received_first;
Mm recording_rdivide(Mm a, Mm)
{
    received_first = a;
    return Mm(1.0);
}

TEST(SparseOps, AnObjectPartnerReceivesTheWholeValue)
{
    register_class_function("sparse_partner_probe", "rdivide", recording_rdivide);
    Mm fields(0, 0, 0, 1, 1, qv_cell);
    fields.addfield("a", 1);
    Mm values(0, 0, 0, 1, 1, qv_cell);
    values.mr(1) = Mm(2.0);
    fields.mr(1) = values;
    const Mm object = mclass(fields, TM("sparse_partner_probe"));
    const Mm s = speye(Mm(3.0));
    (void)rdivide(s, object);
    EXPECT_EQ(test::extents(received_first), (std::vector<int>{3, 3}));
    EXPECT_EQ(test::values(received_first), test::values(s));
    unregister_class_function("sparse_partner_probe", "rdivide");
}

} // namespace
