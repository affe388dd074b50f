// Refused allocations in the optimisation functions: options, the scalar
// solvers, the minimisers and the ODE solvers through the test harness.
#include "alloc_sweep.hpp"
#include "test_support.hpp"
#include "user_functions.hpp"

#include <cmath>

namespace {

TEST(AllocationFailure, OptimisationFunctions)
{
    test::user_functions reg;
    reg.keep_log(false);
    reg.define_scalar("cubic", [](double x) { return x * x * x - 2 * x - 5; });
    reg.define_scalar("cos", [](double x) { return std::cos(x); });
    reg.define_elementwise("exp", [](double x) { return std::exp(x); });
    reg.define_elementwise("gauss", [](double x) { return std::exp(-x * x); });
    reg.define("bowl", [](const std::vector<Mm>& a, int) {
        if (a[0].size() < 2)
            return std::vector<Mm>{Mm()};
        const double x = a[0].addr()[0], y = a[0].addr()[1];
        return std::vector<Mm>{Mm((x - 2) * (x - 2) + y * y)};
    });
    reg.define("decay", [](const std::vector<Mm>& a, int) {
        return std::vector<Mm>{a[1].size() < 1 ? Mm() : Mm(-a[1].addr()[0])};
    });
    const Mm tolx = TM("TolX"), display = TM("Display"), reltol = TM("RelTol"), refine = TM("Refine");
    const Mm pairs = test::cell_row({Mm(1e-6), display}), small(1e-4), two(2.0), five(5.0);
    const Mm interval = test::row({2, 3}), start = test::row({0, 0}), span = test::row({0, 1});
    const Mm span3 = test::row({0, 0.5, 1}), limit = [] {
        Mm o = foptions();
        o.addr()[13] = 20;
        return o;
    }();
    test::sweep_allocations({
        {"foptions", test::row({1, 0, 0}), [](Mm& x) { x = foptions(x); }},
        {"optimset", Mm(), [=](Mm& x) { x = optimset(tolx, pairs); }},
        {"optimget", Mm(), [=](Mm& x) { x = optimget(optimset(tolx, pairs), display, five); }},
        {"odeset", Mm(), [=](Mm& x) { x = odeset(reltol, small, refine, two); }},
        {"fzero", Mm(), [=](Mm& x) { x = fzero(TM("cubic"), interval); }},
        {"fminbnd", Mm(), [](Mm& x) { x = fminbnd(TM("cos"), Mm(3.0), Mm(4.0)); }},
        {"quad8", Mm(), [](Mm& x) { x = quad8(TM("exp"), Mm(0.0), Mm(1.0)); }},
        {"quad8, tolerance not met", Mm(), [](Mm& x) { x = quad8(TM("gauss"), Mm(-50.0), Mm(50.0)); }},
        {"fmins", Mm(), [=](Mm& x) { x = fmins(TM("bowl"), start, limit); }},
        {"fmins, options structure", Mm(), [=](Mm& x) { x = fmins(TM("bowl"), start, optimset(tolx, pairs)); }},
        {"fminbnd, options vector", Mm(), [=](Mm& x) { x = fminbnd(TM("cos"), Mm(3.0), Mm(4.0), limit); }},
        {"constr", Mm(), [=](Mm& x) { x = constr(TM("bowl"), start, limit); }},
        {"ode23 steps", Mm(), [=](Mm& x) { x = ode23(TM("decay"), span, Mm(1.0)); }},
        {"ode45 times", Mm(), [=](Mm& x) { x = ode45(TM("decay"), span3, Mm(1.0)); }},
        {"ode45 steps", Mm(), [=](Mm& x) { x = ode45(TM("decay"), span, Mm(1.0)); }},
        {"ode78 steps", Mm(), [=](Mm& x) { x = ode78(TM("decay"), span, Mm(1.0)); }},
        {"ode78 times", Mm(), [=](Mm& x) { x = ode78(TM("decay"), span3, Mm(1.0)); }},
        {"ode15s", Mm(), [=](Mm& x) { x = ode15s(TM("decay"), span, Mm(1.0)); }},
    });
}

} // namespace
