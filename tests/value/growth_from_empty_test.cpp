// Values that start empty (or deferred, or shared) and are grown, reshaped,
// moved and copied: after every step the header agrees with the storage,
// and every reader (size, length, isempty, numel, sum, isequal, the
// operators) sees the same elements.
#include "test_support.hpp"
#include "value/mm_access.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

void expect_sound(const Mm& x, const char* what)
{
    const char* fault = mm_access::header_fault(x);
    EXPECT_EQ(fault ? std::string(fault) : std::string(), "") << what;
}

// What every reader must agree on for a numeric x holding `expected`.
void expect_read_alike(const Mm& x, const std::vector<double>& expected)
{
    const int n = int(expected.size());
    EXPECT_EQ(x.size(), n);
    EXPECT_EQ(istrue(isempty(x)), n == 0);
    EXPECT_EQ(x.length() == 0, n == 0);
    double total = 0;
    for (double v : expected)
        total += v;
    if (!x.isstr() && n > 0) {
        EXPECT_EQ(test::at(sum(sum(sum(x))), 0), total);
        // An operator reads the same elements.
        EXPECT_EQ(values(plus(x, Mm(0.0))), expected);
        EXPECT_EQ(istrue(isequal(x, x)), 1);
    }
}

Mm empty_start(int kind)
{
    switch (kind) {
    case 0:
        return Mm();
    case 1:
        return zeros(0.0, 0.0);
    case 2:
        return Mm(0, 0, 0, 1, 0, qv_double);
    default: {
        Mm named(i_o, "v", 0);
        named = Mm();
        return named;
    }
    }
}

struct GrowthCase {
    const char* what;
    std::function<Mm(Mm)> grow;  // from an empty start
    std::vector<int> shape;
    std::vector<double> elements;
};

TEST(GrowthFromEmpty, EveryPathLeavesASoundValueReadAlike)
{
    const std::vector<GrowthCase> cases = {
        {"x(k) = k^2 in a loop",
         [](Mm x) {
             for (int k = 1; k <= 10; ++k)
                 x(Mm(double(k))) = Mm(double(k * k));
             return x;
         },
         {1, 10},
         {1, 4, 9, 16, 25, 36, 49, 64, 81, 100}},
        {"x(length(x) + 1) = k",
         [](Mm x) {
             for (int k = 1; k <= 3; ++k)
                 x(length(x) + Mm(1.0)) = Mm(double(k));
             return x;
         },
         {1, 3},
         {1, 2, 3}},
        {"x(3) = 7 past the end",
         [](Mm x) {
             x(Mm(3.0)) = Mm(7.0);
             return x;
         },
         {1, 3},
         {0, 0, 7}},
        {"x(2, 3) = 1",
         [](Mm x) {
             x(Mm(2.0), Mm(3.0)) = Mm(1.0);
             return x;
         },
         {2, 3},
         {0, 0, 0, 0, 0, 1}},
        {"x(1, 1, 2) = 4",
         [](Mm x) {
             x(Mm(1.0), Mm(1.0), Mm(2.0)) = Mm(4.0);
             return x;
         },
         {1, 1, 2},
         {0, 4}},
        {"x(:, k) = column",
         [](Mm x) {
             for (int k = 1; k <= 3; ++k)
                 x(c_p, Mm(double(k))) = test::real(2, 1, {double(k), double(10 * k)});
             return x;
         },
         {2, 3},
         {1, 10, 2, 20, 3, 30}},
        {"x = [x, k]",
         [](Mm x) {
             for (int k = 1; k <= 4; ++k)
                 x = (BR(x), k);
             return x;
         },
         {1, 4},
         {1, 2, 3, 4}},
        {"x(k) = k then reshape",
         [](Mm x) {
             for (int k = 1; k <= 6; ++k)
                 x(Mm(double(k))) = Mm(double(k));
             return reshape(x, Mm(2.0), Mm(3.0));
         },
         {2, 3},
         {1, 2, 3, 4, 5, 6}},
        {"x(k) = k then transposed and appended to",
         [](Mm x) {
             for (int k = 1; k <= 3; ++k)
                 x(Mm(double(k))) = Mm(double(k));
             x = ctranspose(x);
             x(Mm(4.0)) = Mm(4.0);
             return x;
         },
         {4, 1},
         {1, 2, 3, 4}},
        {"moved after growth",
         [](Mm x) {
             x(Mm(1.0)) = Mm(2.0);
             x(Mm(2.0)) = Mm(3.0);
             Mm moved(std::move(x));
             Mm target;
             target = std::move(moved);
             return target;
         },
         {1, 2},
         {2, 3}},
        {"uint8 grown",
         [](Mm x) {
             x = muint8(x);
             x(Mm(2.0)) = Mm(200.0);
             return mdouble(x);
         },
         {1, 2},
         {0, 200}},
        {"complex element into an empty value",
         [](Mm x) {
             x(Mm(1.0)) = Mm(1.0);
             x(Mm(2.0)) = plus(Mm(2.0), times(Mm(3.0), i));
             return real(x);
         },
         {1, 2},
         {1, 2}},
    };
    for (int start = 0; start < 4; ++start) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", start " + std::to_string(start));
            const Mm x = c.grow(empty_start(start));
            expect_sound(x, c.what);
            EXPECT_EQ(extents(x), c.shape);
            EXPECT_EQ(values(x), c.elements);
            expect_read_alike(x, c.elements);
        }
    }
}

TEST(GrowthFromEmpty, CellsAndStructsBuiltOneByOne)
{
    Mm c;
    for (int k = 1; k <= 5; ++k) {
        c.br(Mm(double(k))) = Mm(double(k));
        expect_sound(c, "c{k} = k");
    }
    EXPECT_EQ(extents(c), (std::vector<int>{1, 5}));
    EXPECT_EQ(test::at(Mm(c.br(Mm(4.0))), 0), 4.0);

    Mm s;
    s.member("name") = TM("a");
    expect_sound(s, "s.name = 'a'");
    s(Mm(3.0)).member("age") = Mm(30.0);
    expect_sound(s, "s(3).age = 30");
    EXPECT_EQ(extents(s), (std::vector<int>{1, 3}));
    EXPECT_EQ(test::at(Mm(s(Mm(3.0)).member("age")), 0), 30.0);
    EXPECT_EQ(istrue(isempty(Mm(s(Mm(2.0)).member("name")))), 1);

    // A cell made deferred, reached in the middle, then grown.
    Mm d = cell(Mm(1.0), Mm(100.0));
    expect_sound(d, "cell(1, 100)");
    d.br(Mm(50.0)) = Mm(5.0);
    d.br(Mm(101.0)) = Mm(6.0);
    expect_sound(d, "cell grown");
    EXPECT_EQ(d.size(), 101);
}

TEST(GrowthFromEmpty, RangesScalarsAndSharedValuesGrowAlone)
{
    // A long range, deferred, grown at its end and written in its middle.
    Mm r = colon(1.0, 5000.0);
    expect_sound(r, "a deferred range");
    r(Mm(5001.0)) = Mm(-1.0);
    expect_sound(r, "a range grown");
    EXPECT_EQ(r.size(), 5001);
    EXPECT_EQ(test::at(r, 4999), 5000.0);
    EXPECT_EQ(test::at(r, 5000), -1.0);

    // A named scalar grown by one: no longer marked as a scalar variable.
    Mm m(3.0);
    Mm named(m, "m");
    named(Mm(2.0)) = Mm(4.0);
    expect_sound(named, "m(2) = 4");
    EXPECT_EQ(values(named), (std::vector<double>{3, 4}));

    // The same through the low-level entry, and a value moved from, grown again.
    Mm direct(Mm(3.0), "direct");
    direct.vwcopy1(Mm(4.0), Mm(2.0));
    expect_sound(direct, "direct.vwcopy1(4, 2)");
    Mm taken(std::move(direct));
    direct(Mm(1.0)) = Mm(9.0);
    expect_sound(direct, "grown after being moved from");
    EXPECT_EQ(values(direct), (std::vector<double>{9}));
    EXPECT_EQ(values(taken), (std::vector<double>{3, 4}));

    // A copy taken while the grown value has spare room keeps its size.
    Mm x;
    for (int k = 1; k <= 5; ++k)
        x(Mm(double(k))) = Mm(double(k));
    const Mm copy = x;
    x(Mm(6.0)) = Mm(6.0);
    x(Mm(1.0)) = Mm(-1.0);
    expect_sound(x, "grown after a copy");
    expect_sound(copy, "the copy");
    EXPECT_EQ(values(copy), (std::vector<double>{1, 2, 3, 4, 5}));
    EXPECT_EQ(values(x), (std::vector<double>{-1, 2, 3, 4, 5, 6}));

    // Text grown from empty stays text.
    Mm t = TM("");
    t(Mm(1.0)) = TM("a");
    t(Mm(2.0)) = TM("b");
    expect_sound(t, "text grown");
    EXPECT_EQ(test::text_of(t), "ab");
}

// A logical value grown from empty, and a mask written past its end: the
// target keeps its flags and the elements written.
TEST(GrowthFromEmpty, LogicalTargets)
{
    Mm flags = gt(Mm(), Mm(0.0));
    for (int k = 1; k <= 3; ++k)
        flags(Mm(double(k))) = gt(Mm(double(k)), Mm(1.5));
    expect_sound(flags, "flags(k) = k > 1.5");
    EXPECT_EQ(values(flags), (std::vector<double>{0, 1, 1}));

    Mm mask = gt(test::row({1, 2, 3}), Mm(1.5));
    mask(Mm(5.0)) = Mm(1.0);
    expect_sound(mask, "mask(5) = 1");
    EXPECT_EQ(values(mask), (std::vector<double>{0, 1, 1, 0, 1}));
    EXPECT_EQ(mask.islogical(), 1);
}

} // namespace
