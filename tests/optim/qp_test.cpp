// qp and conls: exact solutions and multipliers, the linear path, the
// verdicts and their texts, the bound rows and the sparse multipliers.
#include "test_support.hpp"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

#include "data/qp_problems.inc"
#include "data/qp_equality_problems.inc"
#include "data/qp_repeated_rows.inc"

Mm matrix(int m, int n, const std::vector<double>& v)
{
    Mm a(0, 0, 0, m, n, qv_double);
    std::copy(v.begin(), v.end(), a.addr());
    return a;
}
Mm column(const std::vector<double>& v) { return v.empty() ? Mm() : matrix(static_cast<int>(v.size()), 1, v); }

void seed(double state = 5489) { randM(TM("seed"), Mm(state)); }

// The ten states 0..9 of either kind of generator, set in turn.
struct random_state {
    const char* kind;
    double value;
    void set() const { randM(TM(kind), Mm(value)); }
    std::string name() const { return std::string(kind) + " " + std::to_string(int(value)); }
};
std::vector<random_state> random_states()
{
    std::vector<random_state> out;
    for (const char* kind : {"state", "seed"})
        for (int s = 0; s < 10; ++s)
            out.push_back({kind, double(s)});
    return out;
}

TEST(Qp, AgreesWithExactKktSolutions)
{
    for (const qp_reference& r : qp_references) {
        SCOPED_TRACE(r.name);
        seed();
        Mm x, lambda, how;
        qp(matrix(r.n, r.n, r.H), column(r.f), matrix(r.rows, r.n, r.A), column(r.b), column(r.lb), column(r.ub),
           Mm(), Mm(double(r.neq)), Mm(-1.0), i_o, x, lambda, how);
        EXPECT_EQ(test::text_of(how), "ok");
        ASSERT_EQ(x.size(), r.n);
        for (int k = 0; k < r.n; ++k)
            EXPECT_NEAR(test::at(x, k), r.x[k], 1e-6) << k;
        ASSERT_EQ(lambda.size(), static_cast<int>(r.lambda.size()));
        for (std::size_t k = 0; k < r.lambda.size(); ++k)
            EXPECT_NEAR(test::at(lambda, static_cast<int>(k)), r.lambda[k], 1e-5) << k;
    }
}

TEST(Qp, SparseAndSymmetry)
{
    const qp_reference& r = qp_references[0];
    seed();
    Mm x, lambda;
    qp(sparse(matrix(2, 2, r.H)), column(r.f), matrix(2, 2, r.A), column(r.b), i_o, x, lambda);
    EXPECT_TRUE(issparse(lambda));
    EXPECT_NEAR(test::values(lambda)[0], 1, 1e-5);

    test::clear_printed();
    seed();
    const Mm x1 = qp(test::real(2, 2, {1, 0, 1, 1}), column({-1, -1}), Mm(), Mm());
    EXPECT_NE(test::printed().find("Q not symmetric"), std::string::npos);
    seed();
    const Mm x2 = qp(test::real(2, 2, {1, 0.5, 0.5, 1}), column({-1, -1}), Mm(), Mm());
    EXPECT_NEAR(test::at(x1, 0), test::at(x2, 0), 1e-7) << "(H + H')/2";
    EXPECT_NEAR(test::at(x1, 0), 2.0 / 3, 1e-5);
}

TEST(Qp, LinearPathIsLp)
{
    const Mm f = column({-1, -2}), A = test::real(2, 2, {1, 1, 1, -1}), b = column({4, 2});
    const Mm lb = column({0, 0});
    Mm x1, l1, x2, l2;
    qp(Mm(), f, A, b, lb, i_o, x1, l1);
    lp(f, A, b, lb, Mm(), Mm(), Mm(0.0), i_o, x2, l2);
    EXPECT_EQ(test::values(x1), test::values(x2));
    EXPECT_EQ(test::values(l1), test::values(l2));
}

TEST(Qp, Verdicts)
{
    struct Case {
        const char* what;
        Mm H, f, A, b, vlb, vub;
        const char* message;
        const char* how;
        double neq = 0;
    };
    const std::vector<Case> cases = {
        {"infeasible", test::real(1, 1, {1}), column({0}), test::real(2, 1, {1, -1}), column({-1, -1}), Mm(), Mm(),
         "The system has no feasible solution.\n", "infeasible"},
        {"unbounded", test::real(1, 1, {0}), column({-1}), Mm(), Mm(), column({0}), Mm(), "unbounded", "unbounded"},
        {"x <= 1 and x >= 1", test::real(1, 1, {1}), column({0}), test::real(2, 1, {1, -1}), column({1, -1}), Mm(),
         Mm(), "The problem has a unique feasible point\n", "infeasible"},
        {"bounds that meet", test::real(2, 2, {1, 0, 0, 1}), column({1, 1}), Mm(), Mm(), column({1, -2}),
         column({1, -2}), "The problem has a unique feasible point\n", "infeasible"},
        {"a corner of the quadrant", test::real(2, 2, {1, 0, 0, 1}), column({-1, -1}), test::real(1, 2, {1, 1}),
         column({0}), column({0, 0}), Mm(), "The problem has a unique feasible point\n", "infeasible"},
        {"two lines held by pairs of rows", test::real(2, 2, {1, 0, 0, 1}), column({0, 0}),
         test::real(4, 2, {1, -1, 1, -1, -1, 1, 1, -1}), column({0, 0, 1, -1}), Mm(), Mm(),
         "The problem has a unique feasible point\n", "infeasible"},
        {"two equalities", test::real(2, 2, {1, 0, 0, 1}), column({0, 0}), test::real(2, 2, {1, 1, 1, -1}),
         column({2, 0}), Mm(), Mm(), "The problem has a unique feasible point\n", "infeasible", 2},
        {"a zero equality row with 1 on the right", test::real(2, 2, {1, 0, 0, 1}), column({0, 0}),
         test::real(2, 2, {1, 0, 0, 0}), column({0.5, 1}), Mm(), Mm(), "The system has no feasible solution.\n",
         "infeasible", 2},
        {"NaN in H", test::real(1, 1, {NAN}), column({1}), Mm(), Mm(), Mm(), Mm(),
         "The system has no feasible solution.\n", "infeasible"},
        // An infinite entry is no more a problem to solve than a NaN.
        {"Inf in H", test::real(2, 2, {INFINITY, 0, 0, 1}), column({1, 1}), test::real(1, 2, {1, 1}), column({1}),
         Mm(), Mm(), "The system has no feasible solution.\n", "infeasible"},
        {"Inf in f", test::real(2, 2, {1, 0, 0, 1}), column({INFINITY, 1}), test::real(1, 2, {1, 1}), column({1}),
         Mm(), Mm(), "The system has no feasible solution.\n", "infeasible"},
        {"Inf in A", test::real(2, 2, {1, 0, 0, 1}), column({1, 1}), test::real(1, 2, {INFINITY, 1}), column({1}),
         Mm(), Mm(), "The system has no feasible solution.\n", "infeasible"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        seed();
        test::clear_printed();
        Mm x, lambda, how;
        qp(c.H, c.f, c.A, c.b, c.vlb, c.vub, Mm(), Mm(c.neq), i_o, x, lambda, how);
        EXPECT_NE(test::printed().find(c.message), std::string::npos) << test::printed();
        EXPECT_EQ(test::text_of(how), c.how);
        EXPECT_TRUE(std::isnan(test::at(x, 0)));
        EXPECT_TRUE(isempty(lambda));
        test::clear_printed();
        seed();
        qp(c.H, c.f, c.A, c.b, c.vlb, c.vub, Mm(), Mm(c.neq), Mm(-1.0), i_o, x, lambda, how);
        EXPECT_EQ(test::printed().find("The "), std::string::npos) << "verbosity -1 is silent";
    }
}

TEST(Qp, InfiniteBoundsMakeNoRows)
{
    const Mm H = test::real(2, 2, {2, 0, 0, 2}), f = column({-2, -4});
    seed();
    Mm x, lambda, how;
    qp(H, f, Mm(), Mm(), column({-INFINITY, -INFINITY}), Mm(), i_o, x, lambda, how);
    EXPECT_EQ(test::text_of(how), "ok");
    EXPECT_NEAR(test::at(x, 0), 1, 1e-6);
    EXPECT_NEAR(test::at(x, 1), 2, 1e-6);
    EXPECT_EQ(test::values(lambda), (std::vector<double>{0, 0}));
    seed();
    qp(H, f, Mm(), Mm(), Mm(), column({INFINITY, 1.5}), i_o, x, lambda, how);
    EXPECT_NEAR(test::at(x, 1), 1.5, 1e-6);
    ASSERT_EQ(lambda.size(), 2);
    EXPECT_EQ(test::at(lambda, 0), 0) << "the omitted row keeps its place";
    EXPECT_NEAR(test::at(lambda, 1), 1, 1e-5);
}

TEST(Qp, NeqBeyondTheRowsCountsAsZero)
{
    const qp_reference& r = qp_references[0];
    seed();
    const Mm a = qp(matrix(2, 2, r.H), column(r.f), matrix(2, 2, r.A), column(r.b), Mm(), Mm(), Mm(), Mm(5.0));
    seed();
    const Mm b = qp(matrix(2, 2, r.H), column(r.f), matrix(2, 2, r.A), column(r.b));
    EXPECT_EQ(test::values(a), test::values(b));
}

// The interior start is a random direction; the verdict and the answer
// must not depend on it. Equality rows leave x+ and x- free to grow
// together, which once carried rounding into "infeasible".
TEST(Qp, VerdictDoesNotDependOnTheRandomState)
{
    for (const qp_seed_case& c : qp_seed_cases) {
        SCOPED_TRACE(c.name);
        for (int state = 0; state < 20; ++state) {
            SCOPED_TRACE(state);
            seed(state);
            Mm x, lambda, how;
            qp(matrix(c.n, c.n, c.H), column(c.f), matrix(c.rows, c.n, c.A), column(c.b), column(c.lb), column(c.ub),
               Mm(), Mm(double(c.neq)), Mm(-1.0), i_o, x, lambda, how);
            ASSERT_EQ(test::text_of(how), c.how);
            ASSERT_EQ(x.size(), c.n);
            for (int k = 0; k < static_cast<int>(c.x.size()); ++k)
                EXPECT_NEAR(test::at(x, k), c.x[k], 1e-9) << k;
        }
    }
    const conls_seed_case& c = conls_seed;
    SCOPED_TRACE(c.name);
    for (int state = 0; state < 20; ++state) {
        SCOPED_TRACE(state);
        seed(state);
        const Mm x = conls(matrix(c.m, c.n, c.C), column(c.d), matrix(c.rows, c.n, c.G), column(c.h), Mm(), Mm(), Mm(),
                           Mm(double(c.neq)));
        ASSERT_EQ(x.size(), c.n);
        for (int k = 0; k < c.n; ++k)
            EXPECT_NEAR(test::at(x, k), c.x[k], 1e-9) << k;
    }
}

// The rows of the constraints and bounds as one system G x <= h (the first
// neq rows equalities), in the order of qp's multipliers.
void all_rows(const Mm& A, const Mm& b, const std::vector<double>& lb, const std::vector<double>& ub, Mm& G, Mm& h)
{
    const int n = A.cols();
    G = A;
    h = b;
    if (!lb.empty()) {
        G = vertcat(G, -eye(Mm(double(lb.size())), Mm(double(n))));
        h = vertcat(h, -column(lb));
    }
    if (!ub.empty()) {
        G = vertcat(G, eye(Mm(double(ub.size())), Mm(double(n))));
        h = vertcat(h, column(ub));
    }
}

// qp on c under the ten states of both generators: one verdict, the
// reference optimum, and multipliers that balance the gradient, are
// non-negative on the inequality rows and vanish where a row is slack
// (repeated rows leave them free to share, but not to break these).
void expect_one_verdict_and_optimum(const qp_repeated_case& c)
{
    SCOPED_TRACE(c.name);
    const Mm H = matrix(c.n, c.n, c.H), f = column(c.f), A = matrix(c.rows, c.n, c.A), b = column(c.b);
    Mm G, h;
    all_rows(A, b, c.lb, c.ub, G, h);
    for (const random_state& r : random_states()) {
        SCOPED_TRACE(r.name());
        r.set();
        test::clear_printed();
        Mm x, lambda, how;
        qp(H, f, A, b, column(c.lb), column(c.ub), Mm(), Mm(double(c.neq)), i_o, x, lambda, how);
        ASSERT_EQ(test::text_of(how), c.how) << test::printed();
        ASSERT_EQ(x.size(), c.n);
        if (c.x.empty()) {
            EXPECT_EQ(test::printed(), "The system has no feasible solution.\n");
            EXPECT_TRUE(std::isnan(test::at(x, 0)));
            continue;
        }
        for (int k = 0; k < c.n; ++k)
            EXPECT_NEAR(test::at(x, k), c.x[k], 1e-7) << k;
        const double fval = 0.5 * test::at(dot_transpose(x) * H * x, 0) + test::at(dot_transpose(f) * x, 0);
        EXPECT_NEAR(fval, c.fval, 1e-9 * (1 + std::fabs(c.fval)));
        ASSERT_EQ(lambda.size(), G.rows());
        const std::vector<double> balance = test::values(H * x + f + dot_transpose(G) * lambda);
        const std::vector<double> slack = test::values(h - G * x), l = test::values(lambda);
        for (std::size_t k = 0; k < balance.size(); ++k)
            EXPECT_NEAR(balance[k], 0, 1e-8) << "gradient " << k;
        for (std::size_t k = c.neq; k < l.size(); ++k) {
            EXPECT_GE(l[k], -1e-9) << "row " << k;
            EXPECT_LE(l[k] * slack[k], 1e-8) << "row " << k;
        }
    }
}

// Constraint rows that repeat (a row twice, a multiple of a row, a sum of
// rows, equalities and inequalities alike) leave the KKT systems singular
// unless the dependent equalities go first. A repeated equality row made
// feasible problems "infeasible" and gave optima that moved with the
// random state; only an inconsistent set may be refused.
TEST(Qp, RepeatedRowsUnderEveryRandomState)
{
    for (const qp_repeated_case& c : qp_repeated_cases)
        expect_one_verdict_and_optimum(c);
}

// A strictly convex objective has a minimum on any feasible set: these two
// (no row binding) were "The problem seems unbounded." under one state
// each, when rounding kept the last steps from lowering the objective.
TEST(Qp, StrictlyConvexIsNeverUnbounded)
{
    for (const qp_repeated_case& c : qp_strictly_convex_cases)
        expect_one_verdict_and_optimum(c);
}

TEST(Conls, RepeatedRowsUnderEveryRandomState)
{
    for (const conls_repeated_case& c : conls_repeated_cases) {
        SCOPED_TRACE(c.name);
        for (const random_state& r : random_states()) {
            SCOPED_TRACE(r.name());
            r.set();
            Mm x, lambda;
            conls(matrix(c.m, c.n, c.C), column(c.d), matrix(c.rows, c.n, c.G), column(c.h), column(c.lb),
                  column(c.ub), Mm(), Mm(double(c.neq)), i_o, x, lambda);
            ASSERT_EQ(x.size(), c.n);
            for (int k = 0; k < c.n; ++k)
                EXPECT_NEAR(test::at(x, k), c.x[k], 1e-7) << k;
        }
    }
}

// Two equality rows at a small angle e: x1 + x2 + x3 = 1 and
// (1 + e) x1 + x2 + x3 = 1 + delta. With delta = 0 the rows meet at
// x1 = 0, and min 0.5|x|^2 - sum(x) (qp) or |x - 1|^2 (conls) is at
// x = [0 .5 .5]; rows 1e-10 apart were refused as "no feasible solution"
// under every state, when the iterations could not meet them to 1e-6.
// delta = 1e3 e needs x1 = 1e3, beyond the box [-10, 10]: no point meets
// them. The answer must meet the rows to rounding of their terms and reach
// the optimum, which rounding may only lower (at e = 1e-14 the rows are
// one within rounding, and x = [1/3 1/3 1/3] is as good an answer).
struct near_parallel_case {
    double e;
    bool consistent;
    bool boxed;  // -10 <= x <= 10, or no bounds (the reported calls)
};

std::vector<near_parallel_case> near_parallel_cases()
{
    std::vector<near_parallel_case> out;
    for (double e : {1e-2, 1e-6, 1e-8, 1e-10, 1e-12, 1e-14}) {
        out.push_back({e, true, false});
        out.push_back({e, true, true});
        out.push_back({e, false, true});
    }
    return out;
}

// Runs qp or conls on a case; true when it returned a point.
bool solve_near_parallel(const near_parallel_case& c, bool least_squares, std::vector<double>& x)
{
    const Mm A = test::real(2, 3, {1, 1 + c.e, 1, 1, 1, 1});
    const Mm b = column({1, c.consistent ? 1.0 : 1 + 1e3 * c.e});
    const Mm lb = c.boxed ? column({-10, -10, -10}) : Mm(), ub = c.boxed ? column({10, 10, 10}) : Mm();
    const Mm I = test::real(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    Mm xm, lambda, how;
    if (least_squares)
        conls(I, column({1, 1, 1}), A, b, lb, ub, Mm(), Mm(2.0), i_o, xm, lambda);
    else
        qp(I, column({-1, -1, -1}), A, b, lb, ub, Mm(), Mm(2.0), Mm(-1.0), i_o, xm, lambda, how);
    x = test::values(xm);
    const bool returned = x.size() == 3 && std::isfinite(x[0]) && std::isfinite(x[1]) && std::isfinite(x[2]);
    if (!least_squares) {
        EXPECT_EQ(test::text_of(how), returned ? "ok" : "infeasible");
    }
    return returned;
}

TEST(Qp, NearlyParallelEqualityRowsUnderThreeStates)
{
    const double eps = std::ldexp(1.0, -52);
    for (const bool least_squares : {false, true})
        for (const near_parallel_case& c : near_parallel_cases())
            for (int state = 0; state < 3; ++state) {
                char e[16];
                std::snprintf(e, sizeof e, "%g", c.e);
                SCOPED_TRACE(std::string(least_squares ? "conls" : "qp") + ", e = " + e +
                             (c.consistent ? ", consistent" : ", inconsistent") + (c.boxed ? ", boxed" : "") +
                             ", state " + std::to_string(state));
                randM(TM("state"), Mm(double(state)));
                std::vector<double> x;
                const bool returned = solve_near_parallel(c, least_squares, x);
                EXPECT_EQ(returned, c.consistent);
                if (!returned || !c.consistent)
                    continue;
                const double row[2] = {x[0] + x[1] + x[2] - 1, (1 + c.e) * x[0] + x[1] + x[2] - 1};
                const double terms[2] = {std::fabs(x[0]) + std::fabs(x[1]) + std::fabs(x[2]) + 1,
                                         (1 + c.e) * std::fabs(x[0]) + std::fabs(x[1]) + std::fabs(x[2]) + 1};
                for (int i = 0; i < 2; ++i)
                    EXPECT_LE(std::fabs(row[i]), 100 * eps * terms[i]) << "row " << i;
                // The optimum at x = [0 .5 .5]: qp -0.75, conls 1.5.
                const double value = least_squares ? (x[0] - 1) * (x[0] - 1) + (x[1] - 1) * (x[1] - 1) +
                                                         (x[2] - 1) * (x[2] - 1)
                                                   : 0.5 * (x[0] * x[0] + x[1] * x[1] + x[2] * x[2]) - x[0] - x[1] - x[2];
                EXPECT_LE(value, (least_squares ? 1.5 : -0.75) + 1e-8);
                if (c.e >= 1e-10) {
                    // Rows that far apart fix x1 = 0 to within rounding
                    // over e.
                    EXPECT_NEAR(x[0], 0, 1e-6);
                    EXPECT_NEAR(x[1], 0.5, 1e-6);
                    EXPECT_NEAR(x[2], 0.5, 1e-6);
                }
            }
}

TEST(Conls, IsQpOnTheNormalEquations)
{
    const Mm A = test::real(3, 2, {1, 2, 3, 1, 0, 1}), b = column({1, 2, 2});
    const Mm G = test::real(1, 2, {1, 1}), h = column({0.5});
    seed();
    Mm x1, l1;
    conls(A, b, G, h, i_o, x1, l1);
    seed();
    Mm x2, l2;
    qp(dot_transpose(A) * A, -(dot_transpose(A) * b), G, h, i_o, x2, l2);
    EXPECT_EQ(test::values(x1), test::values(x2));
    EXPECT_EQ(test::values(l1), test::values(l2));
    EXPECT_NEAR(test::at(x1, 0) + test::at(x1, 1), 0.5, 1e-6);
    seed();
    EXPECT_EQ(test::values(conls(A, b, G, h)), test::values(x1));
    EXPECT_ERROR(conls(A), "conls does not accept 1 input");
    EXPECT_ERROR(conls(A, b), "conls does not accept 2 inputs");
    EXPECT_ERROR(conls(A, b, G), "conls does not accept 3 inputs");
    Mm x, l;
    EXPECT_ERROR(conls(A, b, G, i_o, x, l), "conls does not accept 3 inputs");
}

// Rows that hold x on a line leave the feasible set without interior: the
// slacks of phase 1 end near zero, and the systems of phase 2 must still be
// solved (scaled, and regularised once the two rows become dependent) for
// the run to reach the optimum of the line from any random start.
TEST(Qp, FeasibleSetWithoutInterior)
{
    struct Case {
        const char* what;
        Mm A, b;
        std::vector<double> x;
    };
    const std::vector<Case> cases = {
        {"x1 - x2 = 1 by two rows", test::real(2, 2, {1, -1, -1, 1}), column({1, -1}), {1, 0}},
        {"x1 + x2 = 1 by two rows", test::real(2, 2, {1, -1, 1, -1}), column({1, -1}), {1, 0}},
        {"x1 + x2 = 3 by two rows", test::real(2, 2, {1, -1, 1, -1}), column({3, -3}), {2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int state = 0; state < 20; ++state) {
            SCOPED_TRACE(state);
            seed(state);
            Mm x, lambda, how;
            qp(test::real(2, 2, {1, 0, 0, 1}), column({-1, 0}), c.A, c.b, i_o, x, lambda, how);
            EXPECT_EQ(test::text_of(how), "ok");
            EXPECT_NEAR(test::at(x, 0), c.x[0], 1e-6);
            EXPECT_NEAR(test::at(x, 1), c.x[1], 1e-6);
        }
    }
}

} // namespace
