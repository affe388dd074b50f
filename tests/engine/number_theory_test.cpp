// perms, nchoosek, factor, primes, isprime, gcd, lcm and rat: orders of the
// listings, the limits of counts, primality against mpmath, Bezout
// identities and continued-fraction approximations.
#include "test_support.hpp"
#include "value/allocator.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double qnan = std::numeric_limits<double>::quiet_NaN();

struct Expect {
    std::string what;
    Mm got;
    std::vector<int> extents;
    std::vector<double> values;
};

void check(const std::vector<Expect>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::extents(c.got), c.extents);
        EXPECT_EQ(test::values(c.got), c.values);
    }
}

struct PrimeReference {
    double n;
    int prime;
};

const std::vector<PrimeReference> prime_reference = {
#include "data/prime_reference.inc"
};

TEST(Perms, ReverseLexicographicRows)
{
    check({
        {"perms([1 2 3])", perms(test::row({1, 2, 3})), {6, 3}, {3, 2, 3, 1, 2, 1, 2, 3, 1, 3, 1, 2, 1, 1, 2, 2, 3, 3}},
        {"elements, not positions", perms(test::row({10, 20})), {2, 2}, {20, 10, 10, 20}},
        {"perms(5)", perms(Mm(5.0)), {1, 1}, {5}},
        {"perms([])", perms(Mm()), {0, 0}, {}},
    });
    const Mm p = perms(test::row({1, 2, 3, 4, 5}));
    EXPECT_EQ(test::extents(p), (std::vector<int>{120, 5}));
    EXPECT_EQ(test::values(sum(p, Mm(2.0))), std::vector<double>(120, 15.0));
    const Mm t = perms(test::text("ab"));
    EXPECT_TRUE(t.isstr()) << "the elements keep their kind";
    EXPECT_EQ(test::values(t), (std::vector<double>{'b', 'a', 'a', 'b'}));
}

TEST(Perms, TooManyRowsIsOutOfMemory)
{
    EXPECT_ERROR(perms(ones(1.0, 13.0)), "Out of memory!");
    EXPECT_ERROR(perms(ones(1.0, 12.0)), "Out of memory!");
}

TEST(Nchoosek, BinomialCoefficients)
{
    struct Case {
        double n, k, expected;
    };
    const std::vector<Case> cases = {
        {5, 2, 10}, {5, 0, 1}, {3, 5, 0}, {10, 3, 120}, {5, -2, 1}, {200, 3, 1313400}, {52, 5, 2598960},
        {0, 2000, 0}, {-3, 2, 6}, {-1, 5, -1}, {1e6, 5e5, inf}, {-2, 4001, -inf},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("nchoosek(" + std::to_string(c.n) + ", " + std::to_string(c.k) + ")");
        EXPECT_EQ(nchoosek(Mm(c.n), Mm(c.k)).r(), c.expected);
    }
    EXPECT_ERROR(nchoosek(Mm(5.0)), "nchoosek does not accept 1 input");
}

TEST(Nchoosek, ExactBelowTwoToThe53)
{
    // Every C(n, k) with n <= 66 that a double holds exactly; a rounding
    // running product is off by one in a dozen of them (C(56, 23) first).
    struct Case {
        int n, k;
        unsigned long long expected;
    };
    static const Case cases[] = {
#include "data/nchoosek_exact.inc"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("nchoosek(" + std::to_string(c.n) + ", " + std::to_string(c.k) + ")");
        EXPECT_EQ(nchoosek(Mm(double(c.n)), Mm(double(c.k))).r(), static_cast<double>(c.expected));
    }
    EXPECT_EQ(nchoosek(Mm(56.0), Mm(23.0)).r(), 3167295784216200.0);
}

// A scalar n is counted as itself, however large: never squeezed into an
// int. Infinite n gives Inf, NaN gives NaN.
TEST(Nchoosek, LargeInfiniteAndNaNScalars)
{
    struct Case {
        double n, k, expected;
    };
    const double nan = qnan;
    const std::vector<Case> cases = {
#include "data/nchoosek_large.inc"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("nchoosek(" + std::to_string(c.n) + ", " + std::to_string(c.k) + ")");
        const double got = nchoosek(Mm(c.n), Mm(c.k)).r();
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(got)) << got;
        else
            EXPECT_EQ(got, c.expected);  // exact, rounded once
    }
    // The plain calls, spelled out.
    EXPECT_EQ(nchoosek(Mm(2147483648.0), Mm(1.0)).r(), 2147483648.0);
    EXPECT_EQ(nchoosek(Mm(3e9), Mm(2.0)).r(), 4499999998500000000.0);
    EXPECT_EQ(nchoosek(Mm(inf), Mm(2.0)).r(), inf);
    EXPECT_EQ(nchoosek(Mm(1e300), Mm(2.0)).r(), inf);
    EXPECT_TRUE(std::isnan(nchoosek(Mm(qnan), Mm(2.0)).r()));
    EXPECT_TRUE(std::isnan(nchoosek(Mm(5.0), Mm(qnan)).r()));
    EXPECT_EQ(nchoosek(Mm(-inf), Mm(2.0)).r(), inf);
    EXPECT_EQ(nchoosek(Mm(-inf), Mm(3.0)).r(), -inf);
}

TEST(Nchoosek, Combinations)
{
    check({
        {"pairs of four", nchoosek(test::row({1, 2, 3, 4}), Mm(2.0)), {6, 2}, {1, 1, 1, 2, 2, 3, 2, 3, 4, 3, 4, 4}},
        {"all three", nchoosek(test::row({1, 2, 3}), Mm(3.0)), {1, 3}, {1, 2, 3}},
        {"all of a column", nchoosek(test::real(3, 1, {1, 2, 3}), Mm(3.0)), {1, 3}, {1, 2, 3}},
        {"singles of a row, one per row", nchoosek(test::row({1, 2, 3}), Mm(1.0)), {3, 1}, {1, 2, 3}},
        {"singles of a column, one per row", nchoosek(test::real(3, 1, {7, 8, 9}), Mm(1.0)), {3, 1}, {7, 8, 9}},
        {"elements, not positions", nchoosek(test::row({5, 6, 7}), Mm(2.0)), {3, 2}, {5, 5, 6, 6, 7, 7}},
        {"k above the count", nchoosek(test::row({1, 2, 3}), Mm(5.0)), {0, 0}, {}},
        {"k of 0", nchoosek(test::row({1, 2, 3}), Mm(0.0)), {0, 0}, {}},
        {"negative k", nchoosek(test::row({1, 2, 3}), Mm(-4.0)), {0, 0}, {}},
    });
    const Mm many = nchoosek(colon(1.0, 20.0), Mm(4.0));
    EXPECT_EQ(test::extents(many), (std::vector<int>{4845, 4}));
    EXPECT_ERROR(nchoosek(colon(1.0, 100.0), Mm(50.0)), "Out of memory!");
}

TEST(Factor, TrialDivision)
{
    check({
        {"12", factor(Mm(12.0)), {1, 3}, {2, 2, 3}},
        {"97", factor(Mm(97.0)), {1, 1}, {97}},
        {"1", factor(Mm(1.0)), {1, 1}, {1}},
        {"-12", factor(Mm(-12.0)), {1, 1}, {-12}},
        {"2^10", factor(Mm(1024.0)), {1, 10}, std::vector<double>(10, 2.0)},
        {"two large primes", factor(Mm(4294967291.0 * 65521)), {1, 2}, {65521, 4294967291.0}},
        {"2^60 ends", factor(Mm(std::ldexp(1.0, 60))), {1, 60}, std::vector<double>(60, 2.0)},
        {"Inf is returned", factor(Mm(inf)), {1, 1}, {inf}},
        {"empty", factor(Mm()), {0, 0}, {}},
    });
    EXPECT_TRUE(std::isnan(factor(Mm(qnan)).r()));
    EXPECT_ERROR(factor(test::row({4, 6})), "factor: n not scalar");
}

TEST(Factor, LargeNumbersAgainstTheirProducts)
{
    // A prime just below 2^53, products of two primes near 2^26, a power
    // of 3, and numbers above 2^53 (even, so 2 comes out first).
    check({
        {"prime below 2^53", factor(Mm(9007199254740881.0)), {1, 1}, {9007199254740881.0}},
        {"two primes near 2^26", factor(Mm(67108859.0 * 67108837.0)), {1, 2}, {67108837, 67108859}},
        {"3^33", factor(Mm(5559060566555523.0)), {1, 33}, std::vector<double>(33, 3.0)},
        {"5 7 11 13 and a prime", factor(Mm(5.0 * 7 * 11 * 13 * 1000003)), {1, 5}, {5, 7, 11, 13, 1000003}},
        {"25 and 49", factor(Mm(25.0 * 49)), {1, 4}, {5, 5, 7, 7}},
        {"2^60 times 3", factor(Mm(3 * std::ldexp(1.0, 60))), {1, 61}, [] {
             std::vector<double> v(60, 2.0);
             v.push_back(3);
             return v;
         }()},
        {"a fraction", factor(Mm(7.5)), {1, 1}, {7.5}},
        {"4", factor(Mm(4.0)), {1, 2}, {2, 2}},
        {"6", factor(Mm(6.0)), {1, 2}, {2, 3}},
    });
    // Every factor of a run of numbers is prime and their product is the
    // number.
    for (double n = 4; n < 2000; ++n) {
        const Mm f = factor(Mm(n));
        double product = 1;
        for (double p : test::values(f)) {
            product *= p;
            EXPECT_EQ(isprime(Mm(p)).r(), 1) << n << ": " << p;
        }
        EXPECT_EQ(product, n);
    }
}

TEST(Primes, RefusedStorageIsOutOfMemory)
{
    // primes(2^31 - 1) asks for every prime below 2^31: its sieve alone is
    // 128 MB. When the allocator refuses, the call reports, never ends the
    // process.
    struct disarm {
        ~disarm() { qv_fail_allocation(0); }
    };
    const Mm every(2147483647.0), million(1e6);
    for (long refused : {1L, 2L}) {
        SCOPED_TRACE(refused);
        const Mm& n = refused == 1 ? every : million;  // the second refusal is the result
        const disarm after;
        qv_fail_allocation(refused);
        EXPECT_EQ(test::error_of([&] { primes(n); }), "Out of memory!");
    }
    EXPECT_EQ(primes(Mm(1e6)).size(), 78498);
}

// A limit past what the sieve holds is refused before anything is
// allocated, never cut short to the primes below 2^31.
TEST(Primes, LimitsBeyondTheSieveAreRefused)
{
    for (double n : {inf, 2147483647.5, 0x1p31, 1e300}) {
        SCOPED_TRACE(n);
        EXPECT_ERROR(primes(Mm(n)), "primes: n is above 2147483647, the largest limit the sieve holds");
    }
}

TEST(Primes, UpToRoundedN)
{
    check({
        {"10", primes(Mm(10.0)), {1, 4}, {2, 3, 5, 7}},
        {"10.6 rounds up", primes(Mm(10.6)), {1, 5}, {2, 3, 5, 7, 11}},
        {"2", primes(Mm(2.0)), {1, 1}, {2}},
        {"1", primes(Mm(1.0)), {0, 0}, {}},
        {"0", primes(Mm(0.0)), {0, 0}, {}},
        {"negative", primes(Mm(-5.0)), {0, 0}, {}},
    });
    EXPECT_ERROR(primes(test::row({10, 20})), "primes: n not scalar");
    // Every listed number is prime and every prime is listed.
    const Mm listed = primes(Mm(5000.0));
    const Mm flags = isprime(colon(1.0, 5000.0));
    EXPECT_EQ(sum(flags).r(), double(listed.size()));
    EXPECT_EQ(test::values(isprime(listed)), std::vector<double>(listed.size(), 1.0));
}

TEST(Isprime, ElementsAndReference)
{
    check({
        {"mixed", isprime(test::row({2, 4, 7, 9, qnan, inf, 11.5, -7})), {1, 8}, {1, 0, 1, 0, 0, 0, 0, 0}},
        {"shape kept", isprime(test::real(2, 2, {1, 2, 3, 4})), {2, 2}, {0, 1, 1, 0}},
        {"empty gives 0", isprime(Mm()), {1, 1}, {0}},
        {"above 2^53 every double is even", isprime(Mm(std::ldexp(1.0, 60) + std::ldexp(1.0, 8))), {1, 1}, {0}},
        {"bytes", isprime(test::bytes(1, 3, {251, 255, 2})), {1, 3}, {1, 0, 1}},
    });
    ASSERT_GT(prime_reference.size(), 10u);
    for (const auto& c : prime_reference) {
        SCOPED_TRACE(std::to_string(std::uint64_t(c.n)));
        EXPECT_EQ(isprime(Mm(c.n)).r(), c.prime);
    }
}

// g divides a and b and g = a c + b d: g is the greatest common divisor.
TEST(Gcd, BezoutCoefficients)
{
    struct Case {
        double a, b, g, c, d;
    };
    const std::vector<Case> cases = {
        {12, 18, 6, -1, 1}, {-12, 18, 6, 1, 1}, {0, 5, 5, 0, 1}, {5, 0, 5, 1, 0}, {0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("gcd(" + std::to_string(c.a) + ", " + std::to_string(c.b) + ")");
        Mm g, cc, dd;
        gcd(Mm(c.a), Mm(c.b), i_o, g, cc, dd);
        EXPECT_EQ(g.r(), c.g);
        EXPECT_EQ(cc.r(), c.c);
        EXPECT_EQ(dd.r(), c.d);
    }

    const Mm a = test::row({240, -46, 1071, 987, 2147483647, 9007199254740881, -17, 48}),
             b = test::row({46, 240, 462, -610, 6700417, 9007199254740847, -51, -180});
    Mm g, c, d;
    gcd(a, b, i_o, g, c, d);
    ASSERT_EQ(g.size(), a.size());
    for (int k = 0; k < a.size(); ++k) {
        SCOPED_TRACE(k);
        const double av = test::at(a, k), bv = test::at(b, k), gv = test::at(g, k);
        EXPECT_GT(gv, 0);
        EXPECT_EQ(std::fmod(av, gv), 0);
        EXPECT_EQ(std::fmod(bv, gv), 0);
        // whole numbers below 2^53: the identity holds exactly in 128 bits
        using wide = __int128;
        const wide lhs = wide(std::int64_t(av)) * std::int64_t(test::at(c, k)) +
                         wide(std::int64_t(bv)) * std::int64_t(test::at(d, k));
        EXPECT_TRUE(lhs == wide(std::int64_t(gv)));
    }
    EXPECT_EQ(test::values(gcd(a, b)), test::values(g));
    EXPECT_EQ(test::values(gcd(test::bytes(1, 2, {12, 200}), test::row({18, 150}))), (std::vector<double>{6, 50}));
}

TEST(Gcd, SizesAndOddOperands)
{
    EXPECT_ERROR(gcd(test::row({1, 2}), Mm(3.0)), "gcd: a is different size from b");
    Mm g, c, d;
    EXPECT_ERROR(gcd(test::row({1, 2}), test::row({1, 2, 3}), i_o, g, c, d), "gcd: a is different size from b");
    EXPECT_ERROR(gcd(Mm(1.0)), "gcd does not accept 1 input");
    EXPECT_EQ(test::extents(gcd(test::row({4, 6}), test::real(2, 1, {6, 9}))), (std::vector<int>{1, 2}))
        << "shaped like a";
    // Non-finite operands have no divisor; real ones end.
    gcd(test::row({qnan, inf, 5}), test::row({5, 5, -inf}), i_o, g, c, d);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(std::isnan(test::at(g, k))) << k;
        EXPECT_TRUE(std::isnan(test::at(c, k))) << k;
    }
    EXPECT_TRUE(std::isfinite(gcd(Mm(1.0), Mm(0.1)).r()));
}

TEST(Lcm, SignedAndExact)
{
    check({
        {"lcm(4, 6)", lcm(Mm(4.0), Mm(6.0)), {1, 1}, {12}},
        {"lcm(-4, 6)", lcm(Mm(-4.0), Mm(6.0)), {1, 1}, {-12}},
        {"lcm(0, 5)", lcm(Mm(0.0), Mm(5.0)), {1, 1}, {0}},
        {"element-wise", lcm(test::row({3, 8}), test::row({5, 12})), {1, 2}, {15, 24}},
        // a * b would round: the product leaves 2^53 while the result does not
        {"lcm(x, x) is x", lcm(Mm(123456789.0), Mm(123456789.0)), {1, 1}, {123456789}},
    });
    EXPECT_TRUE(std::isnan(lcm(Mm(0.0), Mm(0.0)).r()));
    EXPECT_ERROR(lcm(Mm(1.0)), "lcm does not accept 1 input");
}

TEST(Rat, ContinuedFractions)
{
    struct Case {
        double x, n, d;
    };
    const std::vector<Case> cases = {
        {0.5, 1, 2}, {0.75, 3, 4}, {-0.5, -1, 2}, {3, 3, 1}, {0, 0, 1}, {M_PI, 355, 113}, {-M_PI, -355, 113},
        {1.0 / 3, 1, 3}, {0.1, 1, 10}, {inf, 1, 0}, {-inf, -1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("rat(" + std::to_string(c.x) + ")");
        Mm n, d;
        rat(Mm(c.x), i_o, n, d);
        EXPECT_EQ(n.r(), c.n);
        EXPECT_EQ(d.r(), c.d);
        EXPECT_EQ(rat(Mm(c.x)).r(), c.n);
    }
    Mm n, d;
    rat(Mm(qnan), i_o, n, d);
    EXPECT_TRUE(std::isnan(n.r()));
}

TEST(Rat, ToleranceAndShapes)
{
    // The default tolerance scales with the 1-norm of the finite elements:
    // next to 2000 the small element gets a coarse approximation.
    const Mm x = test::row({2000, M_PI, inf});
    Mm n, d;
    rat(x, i_o, n, d);
    EXPECT_EQ(test::values(n), (std::vector<double>{2000, 22, 1}));
    EXPECT_EQ(test::values(d), (std::vector<double>{1, 7, 0}));
    rat(Mm(M_PI), Mm(1e-12), i_o, n, d);
    EXPECT_LE(std::fabs(n.r() / d.r() - M_PI), 1e-12);
    EXPECT_EQ(test::values(rat(test::real(2, 1, {0.25, 2.5}), Mm(0.0))), (std::vector<double>{1, 5}));
    EXPECT_EQ(test::extents(rat(test::real(2, 1, {0.25, 2.5}))), (std::vector<int>{2, 1}));

    // Complex values share the least common denominator of their parts.
    rat(test::complex(1, 1, {0.5}, {1.0 / 3}), i_o, n, d);
    EXPECT_EQ(d.r(), 6);
    ASSERT_TRUE(n.isc());
    EXPECT_EQ(test::at(real(n), 0), 3);
    EXPECT_EQ(test::at(imag(n), 0), 2);
}

} // namespace

namespace {

// Whole numbers from 2^50 to 2^64 and beyond through every integer
// function, against exact integer arithmetic (Python ints, rounded once;
// tools/reference/whole_numbers.py). Above 2^53 every double is a whole
// number, and each result is the exact one rounded to a double.
struct WholeCase {
    const char* f;
    std::vector<double> args, expected;
    const char* text;
};

const std::vector<WholeCase> whole_cases = {
#include "data/whole_numbers.inc"
};

TEST(WholeNumbers, EveryIntegerFunctionAgainstExactIntegers)
{
    int checked = 0;
    for (const WholeCase& c : whole_cases) {
        std::string call = std::string(c.f) + "(";
        for (std::size_t k = 0; k < c.args.size(); ++k)
            call += (k ? ", " : "") + ::testing::PrintToString(c.args[k]);
        SCOPED_TRACE(call + ")");
        const std::string f = c.f;
        const Mm a(c.args[0]);
        const Mm b(c.args.size() > 1 ? c.args[1] : 0.0);
        std::vector<double> got;
        if (f == "gcd" && c.expected.size() == 3) {
            Mm g, cc, dd;
            gcd(a, b, i_o, g, cc, dd);
            got = {g.r(), cc.r(), dd.r()};
        } else if (f == "gcd")
            got = {gcd(a, b).r()};
        else if (f == "lcm")
            got = {lcm(a, b).r()};
        else if (f == "rem")
            got = {rem(a, b).r()};
        else if (f == "mod")
            got = {mod(a, b).r()};
        else if (f == "factor")
            got = test::values(factor(a));
        else if (f == "isprime")
            got = {isprime(a).r()};
        else if (f == "nchoosek")
            got = {nchoosek(a, b).r()};
        else if (f == "dec2bin") {
            EXPECT_EQ(test::text_of(dec2bin(a)), c.text);
            ++checked;
            continue;
        }
        ASSERT_FALSE(got.empty()) << "no such function in the table";
        EXPECT_EQ(got, c.expected);
        ++checked;
    }
    EXPECT_EQ(checked, int(whole_cases.size()));
}

} // namespace
