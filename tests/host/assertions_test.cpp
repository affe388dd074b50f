// Argument assertions (each test in its order, the message naming checker
// and variable) and the stub entries.
#include "test_support.hpp"

#include <functional>
#include <string>
#include <vector>

namespace {

// A named value holding the given elements.
Mm named(const char* name, int rows, int cols, std::initializer_list<double> v)
{
    Mm x(name, rows, cols);
    std::copy(v.begin(), v.end(), x.addr());
    return x;
}

TEST(Assertions, FirstFailingTestNamesCheckerAndVariable)
{
    const Mm pair = named("v", 1, 2, {1, 2});
    const Mm half = named("h", 1, 1, {1.5});
    const Mm square = named("m", 2, 2, {1, 2, 3, 4});
    const Mm column = named("c", 3, 1, {1, 2, 3});
    Mm complex = test::complex(1, 2, {1, 2}, {0, 1});
    complex.setname("z");
    Mm complex_whole = test::complex(1, 1, {1}, {0.5});
    complex_whole.setname("w");
    struct Case {
        std::function<Mm(const Mm&)> check;
        const Mm* x;
        const char* message;  // "" when every test passes
    };
    const std::vector<Case> cases = {
        {mbintrealscalar, &pair, "mbintrealscalar: v not scalar"},
        {mbintrealscalar, &half, "mbintrealscalar: h not integer"},
        {mbint, &half, "mbint: h not integer"},
        {mbint, &square, ""},
        {mbintreal, &complex, "mbintreal: z not integer"},
        {mbrealvector, &complex, "mbrealvector: z not real"},
        {mbrealvector, &column, ""},
        {mbintrealvector, &square, "mbintrealvector: m not vector"},
        {mbintrealvector, &half, "mbintrealvector: h not integer"},
        {mbintscalar, &column, "mbintscalar: c not scalar"},
        {mbintvector, &square, "mbintvector: m not vector"},
        {mbintvector, &column, ""},
        {mbscalar, &half, ""},
        {mbscalar, &pair, "mbscalar: v not scalar"},
        {mbvector, &square, "mbvector: m not vector"},
        {mbvector, &pair, ""},
        {mbintreal, &complex_whole, "mbintreal: w not integer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Mm result;
        EXPECT_EQ(test::error_of([&] { result = c.check(*c.x); }), std::string(c.message));
        if (!*c.message) {
            EXPECT_TRUE(isempty(result));
        }
    }
    EXPECT_ERROR(mbvector(Mm(0, 0, 0, 2, 2, qv_double)), "mbvector: (temporary) not vector");
    EXPECT_ERROR(mbscalar(Mm(i_o, "u", 0)), "variable 'u' was used without a value");
}

TEST(StubEntries, ReturnTheStubText)
{
    struct Case {
        const char* name;
        Mm result;
    };
    const Mm any = TM("model");
    const std::vector<Case> cases = {
        {"get_param", get_param()},
        {"get_param with arguments", get_param(any, Mm(1.0), one_M)},
        {"set_param", set_param(any, any, any)},
        {"assignin", assignin(TM("base"), TM("x"), Mm(3.0))},
        {"close_system", close_system()},
        {"find_system", find_system(any)},
        {"open_system", open_system(any)},
        {"simset", simset()},
        {"system_dependent", system_dependent(Mm(7.0))},
        {"quidedit", quidedit(any)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.result.isstr());
        EXPECT_EQ(c.result.rows(), 1);
        std::string text;
        for (double v : test::values(c.result))
            text += static_cast<char>(v);
        EXPECT_EQ(text, "Stub called.");
    }
}

} // namespace
