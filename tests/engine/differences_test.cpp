// diff, gradient and del2: repeated differences, one-sided ends, spacings
// given as steps or coordinates, complex operands taken part by part, and
// the Laplacian against second derivatives known in closed form.
#include "test_support.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();

struct Expect {
    std::string what;
    Mm got;
    std::vector<int> extents;
    std::vector<double> values;
};

void check(const std::vector<Expect>& cases, double tol = 0)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(test::extents(c.got), c.extents);
        const std::vector<double> v = test::values(c.got);
        ASSERT_EQ(v.size(), c.values.size());
        for (size_t k = 0; k < v.size(); ++k)
            EXPECT_NEAR(v[k], c.values[k], tol * (1 + std::fabs(c.values[k]))) << "element " << k;
    }
}

// f(c) sampled at coordinates c, as a row.
template <class F>
Mm sampled(const std::vector<double>& c, F f)
{
    Mm r(0, 0, 0, 1, int(c.size()), qv_double);
    for (size_t k = 0; k < c.size(); ++k)
        r.addr()[k] = f(c[k]);
    return r;
}

Mm row_of(const std::vector<double>& v)
{
    Mm r(0, 0, 0, 1, int(v.size()), qv_double);
    for (size_t k = 0; k < v.size(); ++k)
        r.addr()[k] = v[k];
    return r;
}

TEST(Diff, RepeatsAlongADimension)
{
    const Mm m = test::real(2, 3, {1, 4, 2, 8, 3, 16});
    check({
        {"diff([1 4 9], 2)", diff(test::row({1, 4, 9}), Mm(2.0)), {1, 1}, {2}},
        {"diff([1 4 9], 0) is unchanged", diff(test::row({1, 4, 9}), Mm(0.0)), {1, 3}, {1, 4, 9}},
        {"a negative count leaves it unchanged", diff(test::row({1, 4, 9}), Mm(-3.0)), {1, 3}, {1, 4, 9}},
        {"an empty count is one pass", diff(test::row({1, 4, 9}), Mm()), {1, 2}, {3, 5}},
        {"diff(5) is empty", diff(Mm(5.0)), {0, 0}, {}},
        {"down the columns of a matrix", diff(m), {1, 3}, {3, 6, 13}},
        {"along the rows", diff(m, one_M, Mm(2.0)), {2, 2}, {1, 4, 1, 8}},
        {"twice along the rows", diff(m, Mm(2.0), Mm(2.0)), {2, 1}, {0, 4}},
        {"a huge count ends once nothing is left", diff(test::row({1, 4, 9}), Mm(1e12)), {0, 0}, {}},
        {"complex", diff(test::complex(1, 3, {1, 2, 4}, {0, 5, 5})), {1, 2}, {1, 2}},
    });
    EXPECT_EQ(test::values(imag(diff(test::complex(1, 3, {1, 2, 4}, {0, 5, 5})))), (std::vector<double>{5, 0}));
    EXPECT_ERROR(diff(m, one_M, Mm(5.0)), "diff: dimension=5 does not exist for matrix (temporary)");
}

TEST(Gradient, OneSidedEndsAndCentralInterior)
{
    const Mm f = test::row({1, 4, 9, 16});
    const Mm column = test::real(4, 1, {1, 4, 9, 16});
    check({
        {"unit spacing", gradient(f), {1, 4}, {3, 4, 6, 7}},
        {"spacing 2", gradient(f, Mm(2.0)), {1, 4}, {1.5, 2, 3, 3.5}},
        {"coordinates", gradient(f, test::row({0, 1, 3, 6})), {1, 4}, {3, 8.0 / 3, 12.0 / 5, 7.0 / 3}},
        {"one element", gradient(Mm(7.0)), {1, 1}, {0}},
        {"a column has no x derivative", gradient(column), {4, 1}, {0, 0, 0, 0}},
        {"hy of the one-output form is unused", gradient(f, Mm(2.0), Mm(100.0)), {1, 4}, {1.5, 2, 3, 3.5}},
    });

    Mm fx, fy;
    gradient(column, i_o, fx, fy);
    check({{"FX of a column", fx, {4, 1}, {0, 0, 0, 0}}, {"FY of a column", fy, {4, 1}, {3, 4, 6, 7}}});

    // F = x^2 + 3y with x along the columns and y down the rows.
    const Mm grid = test::real(2, 3, {0 + 0, 0 + 3, 1 + 0, 1 + 3, 4 + 0, 4 + 3});
    gradient(grid, Mm(1.0), Mm(1.0), i_o, fx, fy);
    check({{"FX of a grid", fx, {2, 3}, {1, 1, 2, 2, 3, 3}}, {"FY of a grid", fy, {2, 3}, {3, 3, 3, 3, 3, 3}}});
    gradient(grid, Mm(0.5), i_o, fx, fy);
    check({{"FX with one step", fx, {2, 3}, {2, 2, 4, 4, 6, 6}}, {"FY with one step", fy, {2, 3}, {6, 6, 6, 6, 6, 6}}});
}

TEST(Gradient, ThreeOutputsTakeEachSpacing)
{
    // F = x + 10y + 100z over a 2x2x2 grid.
    Mm f(0, 0, 0, 3, std::vector<int>{2, 2, 2}.data(), qv_double);
    for (int z = 0; z < 2; ++z)
        for (int x = 0; x < 2; ++x)
            for (int y = 0; y < 2; ++y)
                f.addr()[y + 2 * x + 4 * z] = x + 10 * y + 100 * z;
    Mm fx, fy, fz;
    gradient(f, Mm(1.0), Mm(2.0), Mm(4.0), i_o, fx, fy, fz);
    EXPECT_EQ(test::values(fx), std::vector<double>(8, 1.0));
    EXPECT_EQ(test::values(fy), std::vector<double>(8, 5.0));
    EXPECT_EQ(test::values(fz), std::vector<double>(8, 25.0));
    gradient(f, Mm(1.0), Mm(2.0), i_o, fx, fy, fz);
    EXPECT_EQ(test::values(fz), std::vector<double>(8, 100.0)) << "the z spacing is hx";
}

TEST(Gradient, IncrementVectorMustFit)
{
    EXPECT_ERROR(gradient(test::row({1, 2, 3}), test::row({0, 1})),
                 "gradient: increment vector must be scalar or same length as the corresponding dimension");
    Mm fx, fy;
    EXPECT_ERROR(gradient(test::real(2, 3, {1, 2, 3, 4, 5, 6}), test::row({0, 1, 2}), test::row({0, 1, 2}), i_o, fx, fy),
                 "gradient: increment vector must be scalar or same length as the corresponding dimension");
    EXPECT_ERROR(del2(test::real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}), test::row({0, 1})),
                 "del2: increment vector must be scalar or same length as the corresponding dimension");
}

// The derivative of each part, the parts kept apart: an infinite imaginary
// part must not leak a NaN into the real part.
TEST(Gradient, ComplexIsTheGradientOfTheParts)
{
    const Mm z = test::complex(1, 4, {1, 4, 9, 16}, {0, 2, -2, 6});
    const Mm g = gradient(z, Mm(2.0));
    ASSERT_TRUE(g.isc());
    EXPECT_EQ(test::values(real(g)), test::values(gradient(test::row({1, 4, 9, 16}), Mm(2.0))));
    EXPECT_EQ(test::values(imag(g)), test::values(gradient(test::row({0, 2, -2, 6}), Mm(2.0))));

    const Mm spike = gradient(test::complex(1, 3, {1, 2, 3}, {0, inf, 0}));
    EXPECT_EQ(test::values(real(spike)), (std::vector<double>{1, 1, 1}));
    EXPECT_EQ(test::values(imag(spike)), (std::vector<double>{inf, 0, -inf}));

    const Mm l = del2(test::complex(1, 5, {1, 4, 9, 16, 25}, {0, 2, 8, 18, 32}));
    EXPECT_EQ(test::values(real(l)), std::vector<double>(5, 0.5));
    EXPECT_EQ(test::values(imag(l)), std::vector<double>(5, 1.0));
}

// The 3-point second difference is exact for a quadratic at any spacing,
// and linear extrapolation keeps the ends on it: del2 of a function whose
// Laplacian is L is L / (2 * dimensions) everywhere.
TEST(Del2, QuadraticsAtAnySpacing)
{
    const double tol = 64 * std::numeric_limits<double>::epsilon();
    const std::vector<double> uniform = {1, 2, 3, 4, 5}, stepped = {0.5, 1, 1.5, 2, 2.5},
                              uneven = {0, 0.5, 2, 2.25, 4, 7};
    auto square = [](double c) { return c * c; };
    check({
        {"unit spacing", del2(sampled(uniform, square)), {1, 5}, std::vector<double>(5, 0.5)},
        {"a step of 0.5", del2(sampled(stepped, square), Mm(0.5)), {1, 5}, std::vector<double>(5, 0.5)},
        {"uneven coordinates", del2(sampled(uneven, square), row_of(uneven)), {1, 6}, std::vector<double>(6, 0.5)},
        {"uneven coordinates, 3c^2 - c",
         del2(sampled(uneven, [](double c) { return 3 * c * c - c; }), row_of(uneven)), {1, 6},
         std::vector<double>(6, 1.5)},
        {"a column with coordinates", del2(transpose(sampled(uneven, square)), transpose(row_of(uneven))), {6, 1},
         std::vector<double>(6, 0.5)},
        {"three points", del2(test::row({0, 1, 4})), {1, 3}, {0.5, 0.5, 0.5}},
        {"two points have no curvature", del2(test::row({3, 9})), {1, 2}, {0, 0}},
    }, tol);

    // x^2 + 3 y^2 on a 4 x 5 grid, x (along the columns) with step 0.5 and
    // y (down the rows) with step 2: the Laplacian is 2 + 6.
    Mm u(0, 0, 0, 4, 5, qv_double);
    for (int c = 0; c < 5; ++c)
        for (int r = 0; r < 4; ++r) {
            const double x = 0.5 * c, y = 2.0 * r;
            u.addr()[r + 4 * c] = x * x + 3 * y * y;
        }
    check({{"two dimensions", del2(u, Mm(0.5), Mm(2.0)), {4, 5}, std::vector<double>(20, 2.0)}}, tol);

    // x^2 + y^2 + 2 z^2 on a 3 x 3 x 4 grid: Laplacian 8 over 2 * 3.
    Mm w(0, 0, 0, 3, std::vector<int>{3, 3, 4}.data(), qv_double);
    for (int z = 0; z < 4; ++z)
        for (int x = 0; x < 3; ++x)
            for (int y = 0; y < 3; ++y)
                w.addr()[y + 3 * x + 9 * z] = x * x + y * y + 2.0 * z * z;
    check({{"three dimensions", del2(w), {3, 3, 4}, std::vector<double>(36, 8.0 / 6)}}, tol);
}

// At unit spacing the interior is half the second difference over the
// number of dimensions as before; the ends continue the interior linearly
// in the coordinates. For c^3 the three-point formula gives half the second
// derivative as the sum of the three coordinates it spans (3c at equal
// steps): every value below is exact.
TEST(Del2, EndsExtrapolateLinearly)
{
    auto cube = [](double c) { return c * c * c; };
    check({
        {"unit spacing", del2(sampled({1, 2, 3, 4, 5}, cube)), {1, 5}, {1.5, 3, 4.5, 6, 7.5}},
        {"a step of 2", del2(sampled({0, 2, 4, 6, 8}, cube), Mm(2.0)), {1, 5}, {0, 3, 6, 9, 12}},
        // inner sums 3, 7, 11; ends 3 - 4 * 1/1 and 11 + 4 * 1/2
        {"uneven coordinates", del2(sampled({0, 1, 2, 4, 5}, cube), test::row({0, 1, 2, 4, 5})), {1, 5},
         {-0.5, 1.5, 3.5, 5.5, 6.5}},
    });
}

TEST(Del2, BytesComputeInIntegers)
{
    // 8 x^2 at x = 0..4, coordinates 2x: half the second derivative is 2
    // in every direction it varies, over two dimensions.
    const Mm u = test::bytes(1, 5, {0, 8, 32, 72, 128});
    for (const Mm& l : {del2(u, Mm(2.0)), del2(test::bytes(1, 5, {0, 2, 8, 18, 32}))}) {
        ASSERT_EQ(l.gettype(), qv_uint8);
        for (int k = 1; k <= 5; ++k)
            EXPECT_EQ(l.ur(k), 1) << k;
    }
}

} // namespace
