// The random generators: reading and setting 'state' and 'seed', the draws
// against reference sequences, independence of rand and randn, statistical
// sanity, and multi-thread mode.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

Mm s_state() { return test::text("state"); }
Mm s_seed() { return test::text("seed"); }

std::vector<double> elements(const Mm& x)
{
    std::vector<double> v(x.getnnz());
    for (int k = 0; k < x.getnnz(); ++k)
        v[k] = test::at(x, k);
    return v;
}

std::vector<double> uniform_draws(int n) { return elements(randM(1.0, double(n))); }
std::vector<double> normal_draws(int n) { return elements(randn(1.0, double(n))); }

void expect_same_bits(const std::vector<double>& a, const std::vector<double>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k)
        EXPECT_BITS_EQ(a[k], b[k]) << " at " << k;
}

// Puts both generators back to their load-time methods and states.
void reset_generators()
{
    randM(s_state(), Mm(0.0));
    randn(s_state(), Mm(0.0));
    randM(s_seed(), Mm(0.0));
    randn(s_seed(), Mm(0.0));
    randM(s_state(), Mm(0.0));
    randn(s_state(), Mm(0.0));
}

class Random : public ::testing::Test {
protected:
    void SetUp() override { reset_generators(); }
    void TearDown() override { reset_generators(); }
};

// Run in a fresh process: the state the library has before anything draws.
TEST(RandomAtLoad, GeneratorsStartFromTheirLoadState)
{
    EXPECT_EXIT(
        {
            bool ok = randM(s_seed()).r() == 931316785 && randn(s_seed()).r() == 931316785;
            Mm u = randM(s_state());
            ok = ok && u.rows() == 35 && u.cols() == 1 && test::at(u, 32) == 0 && test::at(u, 33) == 0 &&
                 test::at(u, 34) == 0x80000000u * 0x1p-52;
            Mm n = randn(s_state());
            ok = ok && n.rows() == 2 && test::at(n, 0) == 362436069 && test::at(n, 1) == 521288629;
            // The first draws follow the load-time state: the same as after a reset to 0.
            double first = randM();
            randM(s_state(), Mm(0.0));
            ok = ok && randM() == first;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Random, SeedsReadBack)
{
    struct Case {
        double seed;
        double reads;
    };
    const std::vector<Case> cases = {
        {12345, 12345},      {1, 1},       {2147483647, 2147483647}, {0, 931316785},
        {NAN, 931316785},    {4294967301.0, 5},  // only the low 32 bits count
        {7.9, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        randM(s_seed(), Mm(c.seed));
        EXPECT_EQ(randM(s_seed()).r(), c.reads);
        randn(s_seed(), Mm(c.seed));
        EXPECT_EQ(randn(s_seed()).r(), c.reads);
    }
}

// Reference draws from tools/reference/random_sequences.py.
TEST_F(Random, DrawsFollowTheReferenceSequences)
{
    expect_same_bits(uniform_draws(6), {0x1.303adb5cb1b09p-1, 0x1.0cd1a72f4b7fap-1, 0x1.4e77e4e0eea1cp-4,
                                        0x1.981c4ee5c9f98p-5, 0x1.1b41127c7fbc5p-1, 0x1.a2e63d6522815p-1});
    randM(s_state(), Mm(0.0));
    uniform_draws(1000);
    EXPECT_BITS_EQ(randM(), 0x1.01c2a1a06c92bp-4);

    randM(s_state(), Mm(7.0));  // another seed changes only the xorshift word
    expect_same_bits(uniform_draws(3), {0x1.7a34a35cb1b0ep-1, 0x1.1db99f2e0171dp-1, 0x1.06775db0ffc9fp-4});

    randM(s_seed(), Mm(12345.0));
    expect_same_bits(uniform_draws(3), {0x1.b8bc62ef7178cp-1, 0x1.58035602b006bp-1, 0x1.4303ca7286079p-1});

    randn(s_seed(), Mm(12345.0));
    expect_same_bits(normal_draws(3), {0x1.b57fcc9270986p-1, 0x1.2ff6e056c66c6p+0, 0x1.0a1a1fd0d50b2p+1});
}

// The first draw from the load state that takes each path of the normal
// 'state' generator.
TEST_F(Random, NormalStateDrawsTakeEveryPath)
{
    struct Case {
        int draw;
        double value;
        const char* path;
    };
    const std::vector<Case> cases = {
        {1, -0x1.baf2451ba80cep-2, "rectangle"},      {53, 0x1.03f699a7c7432p-1, "wedge, high"},
        {59, -0x1.3fa9ade38fde8p-6, "wedge, low"},    {180, -0x1.78b3d928db0c3p-2, "wedge, bound"},
        {285, 0x1.2457df860ceabp-4, "wedge, density"}, {1063, -0x1.83ba24db07405p+1, "tail"},
    };
    std::vector<double> draws = normal_draws(1063);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_BITS_EQ(draws[c.draw - 1], c.value);
    }
}

TEST_F(Random, RestoringAStateRepeatsTheDraws)
{
    for (int method = 0; method < 2; ++method) {
        SCOPED_TRACE(method == 0 ? "state" : "seed");
        if (method == 1) {
            randM(s_seed(), Mm(99.0));
            randn(s_seed(), Mm(99.0));
        }
        uniform_draws(37);  // leave the index somewhere in the middle
        normal_draws(11);
        Mm u = randM(method == 0 ? s_state() : s_seed());
        Mm n = randn(method == 0 ? s_state() : s_seed());
        std::vector<double> a = uniform_draws(100), b = normal_draws(100);
        randM(method == 0 ? s_state() : s_seed(), u);
        randn(method == 0 ? s_state() : s_seed(), n);
        expect_same_bits(uniform_draws(100), a);
        expect_same_bits(normal_draws(100), b);
    }
}

TEST_F(Random, ScalarStateSetsResetTheGenerator)
{
    std::vector<double> a = uniform_draws(5);
    randM(s_state(), Mm(0.0));
    expect_same_bits(uniform_draws(5), a);

    std::vector<double> n = normal_draws(5);
    randn(s_state(), Mm(5.0));  // any scalar: the load state
    expect_same_bits(normal_draws(5), n);
    Mm st = randn(s_state());
    normal_draws(3);
    randn(s_state(), Mm(0.0));
    EXPECT_EQ(test::at(randn(s_state()), 0), 362436069);
    EXPECT_NE(test::at(st, 0), 362436069);
}

TEST_F(Random, BadStateVectorsAreRefusedAndLeaveTheStateMethodOn)
{
    std::vector<double> expected = uniform_draws(4);
    randM(s_state(), Mm(0.0));
    randM(s_seed(), Mm(3.0));
    EXPECT_ERROR(randM(s_state(), test::row({1, 2, 3})),
                 "rand('state',y): y must be scalar or 35-element state vector");
    // The method is 'state' again and its state was not touched.
    expect_same_bits(uniform_draws(4), expected);

    std::vector<double> normal_expected = normal_draws(4);
    randn(s_state(), Mm(0.0));
    randn(s_seed(), Mm(3.0));
    EXPECT_ERROR(randn(s_state(), test::row({1, 2, 3})),
                 "randn('state',y): y must be scalar or 2-element state vector");
    expect_same_bits(normal_draws(4), normal_expected);
}

TEST_F(Random, StateVectorsAreSanitisedOnTheWayIn)
{
    struct Case {
        const char* what;
        double borrow, index, word;
        double want_borrow, want_index, want_word;
    };
    const double b = 0x1p-53, q = 0x1p-52;
    const std::vector<Case> cases = {
        {"as read out", b, 5 * q, 77 * q, b, 5 * q, 77 * q},
        {"index NaN", 0, NAN, 1 * q, 0, 0, 1 * q},
        {"index past 31", 0, 40 * q, 1 * q, 0, 8 * q, 1 * q},
        {"index negative", 0, -5 * q, 1 * q, 0, 27 * q, 1 * q},
        {"index huge", 0, 1e300, 1 * q, 0, 31 * q, 1 * q},
        {"borrow any non-zero", 3 * b, 0, 1 * q, b, 0, 1 * q},
        {"borrow below one unit", 0.5 * b, 0, 1 * q, 0, 0, 1 * q},
        {"borrow NaN", NAN, 0, 1 * q, b, 0, 1 * q},
        {"word negative", 0, 0, -1 * q, 0, 0, 4294967295.0 * q},
        {"word NaN", 0, 0, NAN, 0, 0, 0},
        {"word above 32 bits", 0, 0, (4294967296.0 + 9) * q, 0, 0, 9 * q},
    };
    Mm base = randM(s_state());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm v;
        v.deepcopy(base, qv_double);
        v.addr()[32] = c.borrow;
        v.addr()[33] = c.index;
        v.addr()[34] = c.word;
        randM(s_state(), v);
        Mm back = randM(s_state());
        EXPECT_BITS_EQ(test::at(back, 32), c.want_borrow);
        EXPECT_BITS_EQ(test::at(back, 33), c.want_index);
        EXPECT_BITS_EQ(test::at(back, 34), c.want_word);
        for (double d : uniform_draws(64)) {
            EXPECT_GE(d, 0.0);
            EXPECT_LT(d, 1.0);
        }
    }
}

TEST_F(Random, SeedArgumentsOfOtherStorage)
{
    randM(s_seed(), test::bytes(1, 2, {200, 3}));  // bytes are numbers, the first counts
    EXPECT_EQ(randM(s_seed()).r(), 200);
    randn(s_seed(), test::text("A"));
    EXPECT_EQ(randn(s_seed()).r(), 65);
    randM(s_seed(), Mm(0, 0, 0, 0, 0, qv_double));  // no first element: seeds like 0
    EXPECT_EQ(randM(s_seed()).r(), 931316785);

    Mm cell(0, 0, 0, 1, 1, qv_cell);
    EXPECT_ERROR(randM(s_seed(), cell), "rand: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(randn(s_state(), cell), "randn: numeric data expected, but matrix (temporary) is not");

    Mm state_bytes(0, 0, 0, 35, 1, qv_uint8);
    std::fill_n(state_bytes.getpr((unsigned char*)nullptr), 35, 0);
    randM(s_state(), state_bytes);
    Mm back = randM(s_state());
    EXPECT_EQ(test::at(back, 0), 0);
    EXPECT_EQ(test::at(back, 34), 0);
}

// State 0 of Park-Miller is absorbing: uniform draws are 0 for ever, and the
// polar method, which never gets a pair inside the circle, gives NaN instead
// of looping.
TEST_F(Random, AnAbsorbingSeedStateNeverHangs)
{
    randM(s_seed(), Mm(2147483647.0));
    for (double d : uniform_draws(3))
        EXPECT_EQ(d, 0.0);
    randn(s_seed(), Mm(2147483647.0));
    EXPECT_TRUE(std::isnan(randn()));
    for (double d : normal_draws(3))
        EXPECT_TRUE(std::isnan(d));
}

TEST_F(Random, UniformAndNormalGeneratorsAreIndependent)
{
    for (int method = 0; method < 2; ++method) {
        SCOPED_TRACE(method == 0 ? "state" : "seed");
        if (method == 1) {
            randM(s_seed(), Mm(5.0));
            randn(s_seed(), Mm(6.0));
        }
        Mm u = randM(method == 0 ? s_state() : s_seed());
        Mm n = randn(method == 0 ? s_state() : s_seed());
        std::vector<double> a = uniform_draws(20), b = normal_draws(20);
        randM(method == 0 ? s_state() : s_seed(), u);
        randn(method == 0 ? s_state() : s_seed(), n);
        normal_draws(50);  // the normal draws come first this time
        expect_same_bits(uniform_draws(20), a);
        randn(method == 0 ? s_state() : s_seed(), n);
        uniform_draws(50);
        expect_same_bits(normal_draws(20), b);
    }
    // Switching one generator's method leaves the other's alone.
    randn(s_state(), Mm(0.0));
    std::vector<double> b = normal_draws(5);
    randn(s_state(), Mm(0.0));
    randM(s_seed(), Mm(12.0));
    expect_same_bits(normal_draws(5), b);
}

TEST_F(Random, DrawsHaveTheRightMoments)
{
    struct Case {
        const char* method;
        double seed;
    };
    const std::vector<Case> cases = {{"state", 0}, {"state", 12345}, {"seed", 1}, {"seed", 424242}};
    const int n = 100000;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.seed));
        randM(test::text(c.method), Mm(c.seed));
        randn(test::text(c.method), Mm(c.seed));
        std::vector<double> u = uniform_draws(n), z = normal_draws(n);
        double sum = 0;
        for (double d : u) {
            ASSERT_GE(d, 0.0);
            ASSERT_LT(d, 1.0);
            sum += d;
        }
        EXPECT_NEAR(sum / n, 0.5, 0.005);
        double mean = 0, sq = 0;
        for (double d : z)
            mean += d;
        mean /= n;
        for (double d : z)
            sq += (d - mean) * (d - mean);
        EXPECT_NEAR(mean, 0.0, 0.01);
        EXPECT_NEAR(sq / (n - 1), 1.0, 0.02);
    }
}

TEST_F(Random, PlainDoubleFormsDrawFromTheSameSequence)
{
    std::vector<double> a = uniform_draws(3), b = normal_draws(3);
    reset_generators();
    for (int k = 0; k < 3; ++k) {
        EXPECT_BITS_EQ(randM(), a[k]);
        EXPECT_BITS_EQ(randn(), b[k]);
    }
}

// In multi-thread mode every draw takes the lock: the sequence is the same,
// and fills on two threads share it out between them.
TEST_F(Random, MultiThreadModeSharesOneSequence)
{
    const int n = 20000;
    std::vector<double> single_u = uniform_draws(2 * n), single_z = normal_draws(2 * n);
    reset_generators();
    qv_set_MT(1);
    std::vector<double> u1, u2, z1, z2;
    std::thread t1([&] {
        u1 = uniform_draws(n);
        z1 = normal_draws(n);
    });
    std::thread t2([&] {
        u2 = uniform_draws(n);
        z2 = normal_draws(n);
    });
    t1.join();
    t2.join();
    qv_set_MT(0);
    auto merged = [](std::vector<double> a, const std::vector<double>& b) {
        a.insert(a.end(), b.begin(), b.end());
        std::sort(a.begin(), a.end());
        return a;
    };
    std::sort(single_u.begin(), single_u.end());
    std::sort(single_z.begin(), single_z.end());
    EXPECT_TRUE(merged(u1, u2) == single_u);
    EXPECT_TRUE(merged(z1, z2) == single_z);
}

} // namespace
