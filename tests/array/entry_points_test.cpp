// Entry points a compiled program calls that compute nothing: the forms
// that hand back one of their arguments. Each row names one exported
// overload; a removed or renamed one fails to build or link here.
#include "test_support.hpp"

#include <functional>

namespace {

using test::row;
using test::values;

TEST(EntryPoints, FormsReturningTheirFirstArgument)
{
    using one = Mm (*)(const Mm&);
    using two = Mm (*)(const Mm&, const Mm&);
    struct Case {
        const char* name;
        std::function<Mm(const Mm&)> call;
    };
    const Mm other = row({9});
    const std::vector<Case> cases = {
        {"colon(a)", static_cast<one>(colon)},
        {"fcnchk(a)", static_cast<one>(fcnchk)},
        {"fcnchk(a, b)", [&](const Mm& a) { return static_cast<two>(fcnchk)(a, other); }},
        {"flipdim(a)", static_cast<one>(flipdim)},
        {"formula(a)", static_cast<one>(formula)},
        {"horzcat(a)", static_cast<one>(horzcat)},
        {"inlinefcn(a)", static_cast<one>(inlinefcn)},
        {"inlinefcn(a, b)", [&](const Mm& a) { return static_cast<two>(inlinefcn)(a, other); }},
        {"ipermute(a)", static_cast<one>(ipermute)},
        {"linspace(a)", static_cast<one>(linspace)},
        {"logspace(a)", static_cast<one>(logspace)},
        {"minline(a)", static_cast<one>(minline)},
        {"minline(a, b)", [&](const Mm& a) { return static_cast<two>(minline)(a, other); }},
        {"permute(a)", static_cast<one>(permute)},
        {"repmat(a)", static_cast<one>(repmat)},
        {"reshape(a)", static_cast<one>(reshape)},
        {"sprintf(a)", static_cast<one>(sprintf)},
        {"uplus(a)", static_cast<one>(uplus)},
        {"vertcat(a)", static_cast<one>(vertcat)},
        {"+a", [](const Mm& a) { return +a; }},
    };
    const Mm a = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Mm r = c.call(a);
        EXPECT_EQ(test::extents(r), (std::vector<int>{2, 3}));
        EXPECT_EQ(values(r), values(a));
    }
}

TEST(EntryPoints, FormsReturningTheirSecondArgument)
{
    using two = Mm (*)(const Mm&, const Mm&);
    struct Case {
        const char* name;
        two call;
    };
    const std::vector<Case> cases = {
        {"cat(dim, x)", static_cast<two>(cat)},
        {"ind2sub(siz, ind)", static_cast<two>(ind2sub)},
        {"sub2ind(siz, i)", static_cast<two>(sub2ind)},
        {"textwrap(a, b)", static_cast<two>(textwrap)},
    };
    const Mm b = row({7, 8, 9});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(values(c.call(row({2}), b)), (std::vector<double>{7, 8, 9}));
    }
}

TEST(EntryPoints, ThreeOperandBetaIsTheIncompleteBeta)
{
    // betainc's own operand order: the point first.
    const Mm x = row({0.1, 0.5, 0.9}), a(2.0), b(3.0);
    const Mm expected = betainc(x, a, b);
    const Mm got = beta(x, a, b);
    EXPECT_EQ(values(got), values(expected));
    EXPECT_EQ(beta(Mm(0.5), one_M, one_M).r(), 0.5);
}

} // namespace
