// axxbc, lyap, sylv and the LU timing function: the equations hold to
// rounding, real data gives real solutions, the sign variants agree, the
// argument messages, and the timing loop under a scripted clock.
#include "linalg/timing.hpp"
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

const double eps = std::numeric_limits<double>::epsilon();

double max_abs(const Mm& x)
{
    double m = 0;
    const int count = x.rows() * x.cols();
    for (int k = 0; k < count; ++k)
        m = std::max(m, std::hypot(x.addr()[k], x.isc() ? x.addi()[k] : 0.0));
    return m;
}

// A random matrix shifted to have its eigenvalues in the left half-plane.
Mm stable(int n, unsigned seed, bool complex = false)
{
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal;
    Mm a(complex, 0, 0, n, n, qv_double);
    for (int k = 0; k < n * n; ++k) {
        a.addr()[k] = normal(gen) / std::sqrt(double(n));
        if (complex)
            a.addi()[k] = normal(gen) / std::sqrt(double(n));
    }
    for (int k = 0; k < n; ++k)
        a.addr()[k * (n + 1)] -= 3;
    return a;
}

Mm random(int rows, int cols, unsigned seed, bool complex = false)
{
    std::mt19937_64 gen(seed);
    std::normal_distribution<double> normal;
    Mm a(complex, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k) {
        a.addr()[k] = normal(gen);
        if (complex)
            a.addi()[k] = normal(gen);
    }
    return a;
}

TEST(Axxbc, SolvesTheSylvesterEquation)
{
    struct Case {
        int m, n;
        bool complex_a, complex_c;
    };
    for (const Case& c : std::vector<Case>{{1, 1, false, false}, {3, 2, false, false}, {6, 9, false, false},
                                           {5, 4, true, false}, {4, 5, false, true}, {20, 15, false, false},
                                           {60, 45, true, true}}) {
        SCOPED_TRACE(std::to_string(c.m) + "x" + std::to_string(c.n));
        const Mm A = stable(c.m, 10 + c.m, c.complex_a), B = stable(c.n, 20 + c.n);
        const Mm C = random(c.m, c.n, 30, c.complex_c);
        const Mm X = axxbc(A, B, C);
        ASSERT_EQ(X.rows(), c.m);
        ASSERT_EQ(X.cols(), c.n);
        EXPECT_EQ(X.isc() != 0, c.complex_a || c.complex_c) << "real data, real solution";
        const double scale = (max_abs(A) + max_abs(B)) * max_abs(X) + max_abs(C);
        EXPECT_LE(max_abs(A * X + X * B - C), 100 * (c.m + c.n) * eps * scale);
    }
}

// A and -B sharing an eigenvalue leave no unique solution: the zero on the
// shifted diagonal shows as Inf or NaN, never as a plausible X.
TEST(Axxbc, SharedEigenvalueShowsAsNonFinite)
{
    const Mm A = test::real(2, 2, {1, 0, 3, 2}), B = test::real(2, 2, {-1, 0, 0, 5});
    const Mm X = axxbc(A, B, test::real(2, 2, {1, 1, 1, 1}));
    bool non_finite = false;
    for (double v : test::values(X))
        non_finite = non_finite || !std::isfinite(v);
    EXPECT_TRUE(non_finite);
}

TEST(Axxbc, VariantsAndMessages)
{
    const Mm A = stable(4, 41), B = stable(3, 42), C = random(4, 3, 43);
    EXPECT_EQ(test::values(sylv(A, B, C)), test::values(axxbc(A, B, C)));
    EXPECT_EQ(test::values(lyap(A, B, C)), test::values(axxbc(A, B, uminus(C))));

    // lyap(A, C) with symmetric C: symmetric X with A·X + X·A.' + C = 0.
    const Mm R = random(5, 5, 44);
    const Mm Csym = R + transpose(R);
    const Mm A5 = stable(5, 45);
    const Mm X = lyap(A5, Csym);
    EXPECT_LE(max_abs(A5 * X + X * transpose(A5) + Csym), 1e-13 * max_abs(X));
    EXPECT_LE(max_abs(X - transpose(X)), 1e-13 * max_abs(X));

    EXPECT_ERROR(axxbc(eye(2.0), eye(3.0), zeros(3.0, 2.0)), "axxbc: c must be rows(a)-by-cols(b)");
    EXPECT_ERROR(axxbc(zeros(2.0, 3.0), eye(3.0), zeros(2.0, 3.0)),
                 "axxbc: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(axxbc(A), "axxbc does not accept 1 input");
    EXPECT_ERROR(axxbc(A, B), "axxbc does not accept 2 inputs");
    EXPECT_ERROR(lyap(A), "lyap does not accept 1 input");
    EXPECT_ERROR(sylv(A), "sylv does not accept 1 input");
    EXPECT_ERROR(sylv(A, B), "sylv does not accept 2 inputs");
}

TEST(Subspace, LargestPrincipalAngle)
{
    const Mm A = random(6, 2, 51);
    EXPECT_NEAR(subspace(A, A).r(), 0, 1e-7) << "identical spaces";
    EXPECT_NEAR(subspace(A, A * test::real(2, 2, {2, 1, -1, 3})).r(), 0, 1e-7) << "same span, other basis";
    const Mm e12 = test::real(4, 2, {1, 0, 0, 0, 0, 1, 0, 0}), e34 = test::real(4, 1, {0, 0, 1, 0});
    EXPECT_NEAR(subspace(e12, e34).r(), std::acos(0.0), 1e-15) << "orthogonal spaces";
    // A plane and a line at 30 degrees to it.
    const Mm line = test::real(4, 1, {std::cos(M_PI / 6), 0, std::sin(M_PI / 6), 0});
    EXPECT_NEAR(subspace(e12, line).r(), M_PI / 6, 1e-14);
    // Complex spaces are compared through the conjugate transpose:
    // [1;i] spans itself, is orthogonal to [1;-i] and at 45 degrees to [1;0].
    const Mm u = test::complex(2, 1, {1, 0}, {0, 1}), w = test::complex(2, 1, {1, 0}, {0, -1});
    EXPECT_NEAR(subspace(u, u).r(), 0, 1e-7) << "subspace([1; i], [1; i])";
    EXPECT_NEAR(subspace(u, w).r(), M_PI / 2, 1e-15) << "subspace([1; i], [1; -i])";
    EXPECT_NEAR(subspace(u, test::real(2, 1, {1, 0})).r(), M_PI / 4, 1e-15) << "subspace([1; i], [1; 0])";
    EXPECT_ERROR(subspace(eye(3.0), eye(2.0)), "subspace: arguments must have same number of rows.");
    EXPECT_ERROR(subspace(A), "subspace does not accept 1 input");
}

// A scripted clock: the readings in order, then the last one forever.
std::vector<std::time_t> readings;
std::size_t next_reading = 0;
std::time_t scripted_clock()
{
    const std::time_t t = readings[std::min(next_reading, readings.size() - 1)];
    ++next_reading;
    return t;
}
int order_seen = -1;
void record_order(int order)
{
    order_seen = order;
}

struct ScriptedClock {
    explicit ScriptedClock(std::vector<std::time_t> r)
    {
        readings = std::move(r);
        next_reading = 0;
        order_seen = -1;
        dongarra_clock = scripted_clock;
        dongarra_order_seen = record_order;
    }
    ~ScriptedClock()
    {
        dongarra_clock = saved_clock;
        dongarra_order_seen = nullptr;
    }
    timing_clock saved_clock = dongarra_clock;
};

TEST(Dongarra, TimesPassesOverThreeSeconds)
{
    struct Case {
        double n;
        int order;
        std::vector<std::time_t> clock;
        double seconds;
    };
    // Start tick at 101; passes while the clock reads below 104.
    const std::vector<Case> cases = {
        {100.4, 100, {100, 100, 101, 102, 104}, 3.0},
        {100.5, 101, {100, 101, 103, 104}, 3.0},
        {0, 0, {7, 8, 8, 8, 11}, 1.5},
        {-3, 0, {7, 8, 9, 9, 10, 10, 11}, 0.75},
        {2, 2, {100, 101, 104}, std::numeric_limits<double>::infinity()},
    };
    {
        ScriptedClock clock({1, 2, 5});
        dongarra(test::bytes(1, 1, {3}));
        EXPECT_EQ(order_seen, 3) << "a uint8 order";
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        ScriptedClock clock(c.clock);
        const Mm t = dongarra(Mm(c.n));
        EXPECT_EQ(order_seen, c.order);
        EXPECT_DOUBLE_EQ(t.r(), c.seconds);
    }
}

} // namespace
