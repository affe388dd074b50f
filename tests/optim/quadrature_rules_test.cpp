// The node tables of quad8: each nested rule integrates polynomials exactly
// up to its degree (to rounding), and its weights sum to 2.
#include "optim/quadrature_rules.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using namespace quadrature_rules;

struct node {
    double x, w;
};

// The rule's nodes on [-1, 1]: each positive node with its mirror.
void add_pairs(std::vector<node>& rule, const double* x, const double* w, int n)
{
    for (int k = 0; k < n; ++k) {
        rule.push_back({x[k], w[k]});
        rule.push_back({-x[k], w[k]});
    }
}

std::vector<node> gauss10()
{
    std::vector<node> r;
    add_pairs(r, x1, w10, 5);
    return r;
}

std::vector<node> kronrod21()
{
    std::vector<node> r;
    add_pairs(r, x1, w21a, 5);
    add_pairs(r, x2, w21b, 5);
    r.push_back({0.0, w21b[5]});
    return r;
}

std::vector<node> patterson43()
{
    std::vector<node> r;
    add_pairs(r, x1, w43a, 5);
    add_pairs(r, x2, w43a + 5, 5);
    add_pairs(r, x3, w43b, 11);
    r.push_back({0.0, w43b[11]});
    return r;
}

std::vector<node> patterson87()
{
    std::vector<node> r;
    add_pairs(r, x1, w87a, 5);
    add_pairs(r, x2, w87a + 5, 5);
    add_pairs(r, x3, w87a + 10, 11);
    add_pairs(r, x4, w87b, 22);
    r.push_back({0.0, w87b[22]});
    return r;
}

TEST(QuadratureRules, ExactUpToTheirDegrees)
{
    struct Case {
        const char* name;
        std::vector<node> rule;
        int points, degree;
    };
    const std::vector<Case> cases = {
        {"10-point Gauss", gauss10(), 10, 19},
        {"21-point Kronrod", kronrod21(), 21, 31},
        {"43-point Patterson", patterson43(), 43, 65},
        {"87-point Patterson", patterson87(), 87, 131},
    };
    const double eps = std::ldexp(1.0, -52);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(static_cast<int>(c.rule.size()), c.points);
        double weights = 0;
        for (const node& n : c.rule) {
            EXPECT_GT(n.w, 0);
            EXPECT_LT(std::fabs(n.x), 1);
            weights += n.w;
        }
        EXPECT_NEAR(weights, 2.0, 4 * eps);
        for (int k = 0; k <= c.degree; ++k) {
            double q = 0, scale = 0;
            for (const node& n : c.rule) {
                const double term = n.w * std::pow(n.x, k);
                q += term;
                scale += std::fabs(term);
            }
            const double exact = k % 2 ? 0.0 : 2.0 / (k + 1);
            SCOPED_TRACE(k);
            EXPECT_LE(std::fabs(q - exact), 16 * eps * scale);
        }
    }
}

TEST(QuadratureRules, NodesNestAndDescend)
{
    // Every positive node appears once across the four tables, each table
    // largest first.
    std::vector<double> all;
    for (auto [x, n] : {std::pair{x1, 5}, {x2, 5}, {x3, 11}, {x4, 22}}) {
        for (int k = 0; k < n; ++k) {
            if (k > 0) {
                EXPECT_LT(x[k], x[k - 1]);
            }
            all.push_back(x[k]);
        }
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
    EXPECT_EQ(all.size(), 43u);
}

} // namespace
