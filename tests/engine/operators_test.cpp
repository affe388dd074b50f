// The element-wise operators: logic and NaN, comparisons of complex values,
// complex-result decisions, and the one-operand rejectors.
#include "alloc_sweep.hpp"
#include "test_support.hpp"
#include "value/allocator.hpp"

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

bool plain_real_scalar(const Mm& x)
{
    return x.gettype() == qv_double && x.size() == 1 && !x.isc() && !x.issparse() && !x.isstr() && !x.islogical();
}

std::vector<double> values(const Mm& x)
{
    return std::vector<double>(x.addr(), x.addr() + x.getnnz());
}

TEST(Operators, NaNAndTruth)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> expected;
        bool logical;
    };
    const std::vector<Case> cases = {
        {"NaN==NaN", Mm(nan) == Mm(nan), {0}, true},
        {"NaN~=NaN", Mm(nan) != Mm(nan), {1}, true},
        {"NaN<1", Mm(nan) < Mm(1.0), {0}, true},
        {"NaN>=1", Mm(nan) >= Mm(1.0), {0}, true},
        {"[1 2 3]<2", test::row({1, 2, 3}) < Mm(2.0), {1, 0, 0}, true},
        {"not [0 2 NaN]", !test::row({0, 2, nan}), {1, 0, 0}, true},
        {"0 || NaN", Mm(0.0) || Mm(nan), {1}, true},
        {"1 && 0", Mm(1.0) && Mm(0.0), {0}, true},
        {"xor", mxor(test::row({0, 1, 1}), test::row({0, 0, 5})), {0, 1, 0}, true},
        {"bitand(12,10)", mbitand(Mm(12.0), Mm(10.0)), {8}, false},
        {"(2+3i) > 2", test::complex(1, 1, {2}, {3}) > Mm(2.0), {0}, true},
        {"(3+1i) > 2", test::complex(1, 1, {3}, {1}) > Mm(2.0), {1}, true},
        {"(1+2i) == 1", test::complex(1, 1, {1}, {2}) == Mm(1.0), {0}, true},
        {"(1+0i) == 1", test::complex(1, 1, {1}, {0}) == Mm(1.0), {1}, true},
        {"(1+2i) ~= (1+2i)", test::complex(1, 1, {1}, {2}) != test::complex(1, 1, {1}, {2}), {0}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(values(c.result), c.expected);
        EXPECT_EQ(c.result.islogical(), c.logical);
        EXPECT_EQ(c.result.isc(), 0);
    }
}

// The comparison sees 1+0i as real and leaves the operand as it was.
TEST(Operators, ComparisonSeesAnAllZeroImaginaryPartAsReal)
{
    Mm z = test::complex(1, 1, {1}, {0});
    Mm r = z == Mm(1.0);
    EXPECT_EQ(r.r(), 1);
    EXPECT_EQ(r.isc(), 0);
    EXPECT_EQ(z.isc(), 1) << "the operand keeps its imaginary part";
}

TEST(Operators, Arithmetic)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> re, im;  // im empty: real result
    };
    const std::vector<Case> cases = {
        {"5 .\\ 10", ldivide(Mm(5.0), Mm(10.0)), {2}, {}},
        {"(1+2i)/(2+0i)", rdivide(test::complex(1, 1, {1}, {2}), test::complex(1, 1, {2}, {0})), {0.5}, {1}},
        {"(1+1i)./0", rdivide(test::complex(1, 1, {1}, {1}), Mm(0.0)), {inf}, {inf}},
        {"(1+1i)/(0+0i)", rdivide(test::complex(1, 1, {1}, {1}), test::complex(1, 1, {0}, {0})), {inf}, {inf}},
        {"1./(0+1i)", rdivide(Mm(1.0), test::complex(1, 1, {0}, {1})), {0}, {-1}},
        {"(1e200+1e200i)/(1e200+1e200i)",
         rdivide(test::complex(1, 1, {1e200}, {1e200}), test::complex(1, 1, {1e200}, {1e200})), {1}, {0}},
        {"-0i + 1 keeps -0", test::complex(1, 1, {0}, {-0.0}) + Mm(1.0), {1}, {-0.0}},
        {"max(3,NaN)", max(Mm(3.0), Mm(nan)), {3}, {}},
        {"max(NaN,3)", max(Mm(nan), Mm(3.0)), {3}, {}},
        {"max(1+1i,-2)", max(test::complex(1, 1, {1}, {1}), Mm(-2.0)), {-2}, {0}},
        {"min of equal moduli", min(test::complex(1, 1, {3}, {4}), Mm(-5.0)), {3}, {4}},
        {"rem", rem(test::row({5, -5}), Mm(3.0)), {2, -2}, {}},
        {"mod", mod(test::row({5, -5}), Mm(3.0)), {2, 1}, {}},
        {"atan2", atan2(Mm(1.0), Mm(1.0)), {M_PI / 4}, {}},
        {"pow2(3,4)", pow2(Mm(3.0), Mm(4.0)), {48}, {}},
        {"bitand(2^40+1, 2^40+3)", mbitand(Mm(1099511627777.0), Mm(1099511627779.0)), {1099511627777.0}, {}},
        {"bitcmp(0,8)", bitcmp(Mm(0.0), Mm(8.0)), {255}, {}},
        {"bitshift(7,-1)", bitshift(Mm(7.0), Mm(-1.0)), {3}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.result.isc(), !c.im.empty());
        for (size_t k = 0; k < c.re.size(); ++k) {
            EXPECT_BITS_EQ(c.result.addr()[k], c.re[k]);
            if (!c.im.empty()) {
                EXPECT_BITS_EQ(c.result.addi()[k], c.im[k]);
            }
        }
    }
}

TEST(Operators, PowerDecidesComplexBeforeComputing)
{
    Mm sq = power(Mm(-8.0), Mm(2.0));
    EXPECT_EQ(sq.isc(), 0);
    EXPECT_EQ(sq.r(), 64);
    Mm cube = power(Mm(-8.0), Mm(3.0));
    EXPECT_EQ(cube.isc(), 1);
    EXPECT_EQ(cube.r(), -512);
    EXPECT_EQ(cube.i(), 0);
    Mm roots = power(test::row({-8, 8}), Mm(1.0 / 3));
    EXPECT_EQ(roots.isc(), 1) << "one negative base makes every element complex";
    EXPECT_NEAR(roots.r(2), 2, 1e-15);
    EXPECT_NEAR(roots.i(2), 0, 1e-15);
    EXPECT_NEAR(roots.r(1), 1, 1e-15);
    EXPECT_NEAR(roots.i(1), std::sqrt(3.0), 1e-15);
    EXPECT_EQ(power(test::row({4, 9}), Mm(0.5)).isc(), 0);
    Mm sq_i = power(test::complex(1, 1, {1}, {1}), Mm(2.0));
    EXPECT_BITS_EQ(sq_i.r(), 0.0);
    EXPECT_BITS_EQ(sq_i.i(), 2.0);
    Mm rp = realpow(Mm(-1.0), Mm(0.5));
    EXPECT_EQ(rp.isc(), 1);
    EXPECT_NEAR(rp.i(), 1, 1e-15);
}

TEST(Operators, OneOperandFormsReject)
{
    struct Case {
        Mm (*f)(const Mm&);
        const char* message;
    };
    const std::vector<Case> cases = {
        {lt, "lt does not accept 1 input"},         {gt, "gt does not accept 1 input"},
        {le, "le does not accept 1 input"},         {ge, "ge does not accept 1 input"},
        {eq, "eq does not accept 1 input"},         {ne, "ne does not accept 1 input"},
        {mbitor, "bitor does not accept 1 input"},  {mbitand, "bitand does not accept 1 input"},
        {bitxor, "bitxor does not accept 1 input"}, {bitcmp, "bitcmp does not accept 1 input"},
        {bitget, "bitget does not accept 1 input"}, {bitset, "bitset does not accept 1 input"},
        {bitreset, "bitreset does not accept 1 input"}, {bitshift, "bitshift does not accept 1 input"},
        {mor, "or does not accept 1 input"},        {mand, "and does not accept 1 input"},
        {plus, "plus does not accept 1 input"},     {minus, "minus does not accept 1 input"},
        {times, "times does not accept 1 input"},   {rdivide, "rdivide does not accept 1 input"},
        {ldivide, "ldivide does not accept 1 input"}, {power, "power does not accept 1 input"},
        {atan2, "atan2 does not accept 1 input"},   {beta, "beta does not accept 1 input"},
        {betaln, "betaln does not accept 1 input"}, {rem, "rem does not accept 1 input"},
        {mod, "mod does not accept 1 input"},       {realpow, "realpow does not accept 1 input"},
        {mxor, "mxor does not accept 1 input"},
    };
    for (const auto& c : cases)
        EXPECT_ERROR(c.f(Mm(1.0)), c.message);
}

TEST(Operators, UnaryMinusAndPlus)
{
    Mm x = test::complex(1, 2, {1, -2}, {3, 0});
    Mm n = -x;
    EXPECT_EQ(values(n), (std::vector<double>{-1, 2}));
    EXPECT_EQ(n.addi()[0], -3);
    Mm p = +x;
    EXPECT_EQ(p.getpr((double*)nullptr), x.getpr((double*)nullptr)) << "the unary plus is a copy";
    EXPECT_EQ(values(uminus(test::row({3}))), (std::vector<double>{-3}));
}

// The temporary-taking forms give what the const forms give, bit for bit,
// flags and errors included, for every kind of operand pair; where the
// temporary can take the result, no new block is made.
struct BinaryForms {
    const char* name;
    Mm (*held)(const Mm&, const Mm&);
    Mm (*first)(Mm&&, const Mm&);
    Mm (*second)(const Mm&, Mm&&);
    Mm (*both)(Mm&&, Mm&&);
    Mm (*first_double)(Mm&&, double);
    Mm (*double_second)(double, Mm&&);
};

#define FORMS(OP, NAME)                                                                    \
    BinaryForms                                                                            \
    {                                                                                      \
        NAME, [](const Mm& a, const Mm& b) { return a OP b; },                             \
            [](Mm&& a, const Mm& b) { return std::move(a) OP b; },                         \
            [](const Mm& a, Mm&& b) { return a OP std::move(b); },                         \
            [](Mm&& a, Mm&& b) { return std::move(a) OP std::move(b); },                   \
            [](Mm&& a, double b) { return std::move(a) OP b; },                            \
            [](double a, Mm&& b) { return a OP std::move(b); }                             \
    }

const std::vector<BinaryForms>& binary_forms()
{
    static const std::vector<BinaryForms> forms = {
        FORMS(+, "+"),  FORMS(-, "-"),   FORMS(*, "*"),   FORMS(/, "/"),   FORMS(<, "<"),
        FORMS(>, ">"),  FORMS(<=, "<="), FORMS(>=, ">="), FORMS(==, "=="), FORMS(!=, "~="),
    };
    return forms;
}
#undef FORMS

std::string outcome(const std::function<Mm()>& f)
{
    std::string shown;
    const std::string message = test::error_of([&] { shown = test::fingerprint(f()); });
    return message.empty() ? shown : "error: " + message;
}

TEST(Operators, TemporaryOperandsGiveTheConstResult)
{
    using make = Mm (*)();
    struct Operand {
        const char* what;
        make build;
    };
    const std::vector<Operand> operands = {
        {"scalar", [] { return Mm(2.5); }},
        {"negative zero", [] { return Mm(-0.0); }},
        {"NaN", [] { return Mm(std::numeric_limits<double>::quiet_NaN()); }},
        {"row", [] { return test::row({1, -2, 0, nan}); }},
        {"other row", [] { return test::row({3, 0, -0.0, inf}); }},
        {"column", [] { return test::real(4, 1, {1, 2, 3, 4}); }},
        {"2x2", [] { return test::real(2, 2, {1, 2, 3, 4}); }},
        {"1x1x2", [] { return test::counting({1, 1, 2}); }},
        {"complex row", [] { return test::complex(1, 4, {1, 2, 3, 4}, {1, 0, -1, 2}); }},
        {"text", [] { return test::text("abcd"); }},
        {"logical row", [] { return test::row({1, 0, 1, 1}) > Mm(0.5); }},
        {"bytes", [] { return test::bytes(1, 4, {1, 2, 250, 4}); }},
        {"empty", [] { return Mm(); }},
        {"sparse", [] { return sparse(test::row({0, 2, 0, 1})); }},
    };
    for (const auto& op : binary_forms()) {
        for (const auto& a : operands) {
            for (const auto& b : operands) {
                SCOPED_TRACE(std::string(a.what) + " " + op.name + " " + b.what);
                const Mm ha = a.build(), hb = b.build();
                const std::string expected = outcome([&] { return op.held(ha, hb); });
                EXPECT_EQ(outcome([&] { return op.first(a.build(), hb); }), expected);
                EXPECT_EQ(outcome([&] { return op.second(ha, b.build()); }), expected);
                EXPECT_EQ(outcome([&] { return op.both(a.build(), b.build()); }), expected);
                if (plain_real_scalar(hb)) {
                    EXPECT_EQ(outcome([&] { return op.first_double(a.build(), *hb.addr()); }), expected);
                }
                if (plain_real_scalar(ha)) {
                    EXPECT_EQ(outcome([&] { return op.double_second(*ha.addr(), b.build()); }), expected);
                }
            }
        }
    }
}

TEST(Operators, TemporaryOperandTakesTheResult)
{
    const Mm b = test::row({1, 2, 3, 4}), s(2.0);
    struct Case {
        const char* what;
        std::function<Mm(Mm&&)> op;
        bool taken;
    };
    const std::vector<Case> cases = {
        {"t + b", [&](Mm&& t) { return std::move(t) + b; }, true},
        {"b - t", [&](Mm&& t) { return b - std::move(t); }, true},
        {"t .* s", [&](Mm&& t) { return std::move(t) * s; }, true},
        {"s * t", [&](Mm&& t) { return s * std::move(t); }, true},
        {"t / 4", [&](Mm&& t) { return std::move(t) / 4.0; }, true},
        {"t > b", [&](Mm&& t) { return std::move(t) > b; }, true},
        // A matrix product or a division by a vector is not element-wise.
        {"t * b'", [&](Mm&& t) { return std::move(t) * transpose(b, 0); }, false},
        {"b / t", [&](Mm&& t) { return b / std::move(t); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm t = test::row({5, 6, 7, 8});
        const double* block = t.addr();
        const Mm r = c.op(std::move(t));
        EXPECT_EQ(r.addr() == block, c.taken);
    }

    // A temporary that shares its block with a variable is not written.
    Mm x = test::row({5, 6, 7, 8});
    Mm t = x;
    const Mm r = std::move(t) + b;
    EXPECT_EQ(test::values(x), (std::vector<double>{5, 6, 7, 8}));
    EXPECT_EQ(test::values(r), (std::vector<double>{6, 8, 10, 12}));
    EXPECT_NE(r.addr(), x.addr());

    // a .* b + c makes one result block: the sum is written over the product.
    const Mm a = test::row({1, 2, 3, 4}), c = test::row({1, 1, 1, 1});
    const long before = qv_live_blocks();
    {
        const Mm d = times(a, b) + c;
        EXPECT_EQ(qv_live_blocks(), before + 1);
        EXPECT_EQ(test::values(d), (std::vector<double>{2, 5, 10, 17}));
    }
}

// A comparison of two scalars makes no block: its result shares one of two
// fixed blocks, which every writer makes its own first, so a changed result
// never changes the next comparison.
TEST(Operators, ScalarComparisonsShareTheirResultBlocks)
{
    const Mm x(0.5), a(0.25);
    const long before = qv_live_blocks();
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(istrue(x > a), 1);
        EXPECT_EQ(istrue(x < a), 0);
    }
    EXPECT_EQ(qv_live_blocks(), before);

    struct Case {
        const char* what;
        std::function<void(Mm&)> write;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"element write", [](Mm& t) { t(Mm(1.0)) = Mm(7.0); }, {7}},
        {"growth", [](Mm& t) { t(Mm(2.0)) = Mm(1.0); }, {1, 1}},
        {"sum into it", [](Mm& t) { t = std::move(t) + Mm(2.0); }, {3}},
        {"deletion", [](Mm& t) { t(Mm(1.0)) = x_M; }, {}},
        {"x(:) = v", [](Mm& t) { t(c_p) = Mm(4.0); }, {4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm t(x > a, "t");
        c.write(t);
        EXPECT_EQ(values(t), c.expected);
        EXPECT_EQ(values(x > a), std::vector<double>{1});
        EXPECT_EQ(values(x < a), std::vector<double>{0});
        EXPECT_TRUE((x > a).islogical());
    }
}

// The element loops handle a first element apart when the result is not
// 16-byte aligned, then run vector steps and a tail: every length from 1 to
// 17 gives each element its own sum, product and comparison, in the const
// and the temporary forms.
TEST(Operators, EveryLengthGetsEveryElement)
{
    for (int n = 1; n <= 17; ++n) {
        SCOPED_TRACE(n);
        Mm a(0, 0, 0, 1, n, qv_double), b(0, 0, 0, 1, n, qv_double);
        for (int k = 0; k < n; ++k) {
            a.addr()[k] = 1.5 * k - 4;
            b.addr()[k] = 7 - 0.25 * k * k;
        }
        const std::vector<Mm> sums = {a + b, Mm(a) + b, a + (b * 1.0)};
        const std::vector<Mm> products = {times(a, b), times(a, b) * 1.0};
        const std::vector<Mm> greater = {a > b, (a * 1.0) > b};
        for (int k = 0; k < n; ++k) {
            const double x = a.addr()[k], y = b.addr()[k];
            for (const Mm& s : sums)
                EXPECT_EQ(s.addr()[k], x + y);
            for (const Mm& p : products)
                EXPECT_EQ(p.addr()[k], x * y);
            for (const Mm& g : greater)
                EXPECT_EQ(g.addr()[k], double(x > y));
        }
    }
}

} // namespace
