// dot, cross and the coordinate transforms: vectors paired whatever their
// orientation, the dimension cross works along, its messages, and outputs
// that are the very variables passed in.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

struct Expect {
    std::string what;
    Mm got;
    std::vector<int> extents;
    std::vector<double> re;
    std::vector<double> im;  // empty for a real result
};

void check(const std::vector<Expect>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(test::extents(c.got), c.extents);
        EXPECT_EQ(c.got.isc() != 0, !c.im.empty());
        EXPECT_EQ(test::values(real(c.got)), c.re);
        if (!c.im.empty()) {
            EXPECT_EQ(test::values(imag(c.got)), c.im);
        }
    }
}

TEST(Dot, PairsVectorsAndConjugatesTheFirst)
{
    const Mm a = test::real(3, 2, {1, 2, 3, 4, 5, 6}), b = test::real(3, 2, {1, 0, 1, 2, 0, 1});
    check({
        {"two rows", dot(test::row({1, 2, 3}), test::row({4, 5, 6})), {1, 1}, {32}, {}},
        {"a row and a column", dot(test::row({1, 2, 3}), test::real(3, 1, {4, 5, 6})), {1, 1}, {32}, {}},
        {"conjugated first", dot(test::complex(1, 2, {0, 2}, {1, 0}), test::complex(1, 2, {0, 2}, {1, 0})), {1, 1},
         {5}, {0}},
        {"3x2 matrices by columns", dot(a, b), {1, 2}, {4, 14}, {}},
        {"along the rows", dot(a, b, Mm(2.0)), {3, 1}, {9, 0, 9}, {}},
    });
    EXPECT_ERROR(dot(Mm(1.0)), "dot does not accept 1 input");
}

TEST(Cross, WorksAlongTheDimensionOfThree)
{
    // Columns (1 0 0) x (0 1 0) and (0 0 2) x (3 0 0) in one 3x2 pair.
    const Mm a = test::real(3, 2, {1, 0, 0, 0, 0, 2}), b = test::real(3, 2, {0, 1, 0, 3, 0, 0});
    check({
        {"rows give a row", cross(test::row({1, 0, 0}), test::row({0, 1, 0})), {1, 3}, {0, 0, 1}, {}},
        {"columns give a column", cross(test::real(3, 1, {1, 0, 0}), test::real(3, 1, {0, 1, 0})), {3, 1},
         {0, 0, 1}, {}},
        {"a row with a column", cross(test::row({0, 1, 0}), test::real(3, 1, {0, 0, 1})), {1, 3}, {1, 0, 0}, {}},
        {"column-wise", cross(a, b), {3, 2}, {0, 0, 1, 0, 6, 0}, {}},
        {"row-wise for two with three columns", cross(transpose(test::real(3, 4, {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0})),
                                                     transpose(test::real(3, 4, {0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1}))),
         {4, 3}, {0, 1, 0, 1, 0, 0, 1, -1, 1, 0, 0, 0}, {}},
        {"a general pair", cross(test::row({1, 2, 3}), test::row({4, 5, 6})), {1, 3}, {-3, 6, -3}, {}},
        {"complex, not conjugated", cross(test::complex(1, 3, {1, 0, 0}, {0, 1, 0}), test::row({0, 0, 1})), {1, 3},
         {0, -1, 0}, {1, 0, 0}},
    });
}

// Along dimension 3 the vectors run across the pages; each (row, column)
// position is crossed on its own.
TEST(Cross, AlongTheThirdDimension)
{
    const int dims[3] = {1, 2, 3};
    Mm a(0, 0, 0, 3, dims, qv_double), b(0, 0, 0, 3, dims, qv_double);
    const double av[6] = {1, 1, 0, 2, 0, 3}, bv[6] = {0, 4, 1, 5, 0, 6};  // pages of [p q]
    for (int k = 0; k < 6; ++k) {
        a.addr()[k] = av[k];
        b.addr()[k] = bv[k];
    }
    const Mm r = cross(a, b, Mm(3.0));
    ASSERT_EQ(test::extents(r), (std::vector<int>{1, 2, 3}));
    // position 1: (1 0 0) x (0 1 0) = (0 0 1); position 2: (1 2 3) x (4 5 6)
    EXPECT_EQ(test::values(r), (std::vector<double>{0, -3, 0, 6, 1, -3}));
}

TEST(Cross, BytesWrapAsByteArithmetic)
{
    const Mm r = cross(test::bytes(1, 3, {200, 0, 0}), test::row({0, 2, 0}));
    ASSERT_EQ(r.gettype(), qv_uint8);
    EXPECT_EQ(r.ur(3), 400 % 256);
    const Mm s = cross(test::bytes(1, 3, {0, 1, 0}), test::bytes(1, 3, {0, 0, 3}));
    EXPECT_EQ(s.ur(1), 3);
    const Mm t = cross(test::bytes(1, 3, {0, 0, 1}), test::bytes(1, 3, {0, 3, 0}));
    EXPECT_EQ(t.ur(1), 256 - 3) << "a negative component wraps";
}

TEST(Cross, MessagesNameTheOperands)
{
    Mm a("a", 1, 2), b("b", 1, 2);
    a.addr()[0] = a.addr()[1] = b.addr()[0] = b.addr()[1] = 1;
    EXPECT_ERROR(cross(test::row({1, 2}), test::row({3, 4})), "cross: (temporary) does not have a 3-dimension");
    EXPECT_ERROR(cross(a, b), "cross: a does not have a 3-dimension");
    EXPECT_ERROR(cross(test::row({1, 2, 3}), b), "cross: b does not have a 3-dimension");
    EXPECT_ERROR(cross(Mm(5.0), Mm(6.0)), "cross: (temporary) does not have a 3-dimension");
    EXPECT_ERROR(cross(ones(3.0, 2.0), ones(3.0, 3.0), one_M), "cross: (temporary) and (temporary) must be of same size");
    EXPECT_ERROR(cross(ones(2.0, 2.0), ones(2.0, 2.0)), "cross: (temporary) and (temporary) do not have a common 3-dimension");
    EXPECT_ERROR(cross(test::row({1, 2, 3}), test::row({1, 2, 3}), Mm(7.0)), "cross: (temporary) does not have a 3-dimension");
    EXPECT_ERROR(cross(Mm(1.0)), "cross does not accept 1 input");
}

TEST(CoordinateTransforms, KnownPoints)
{
    const double pi_v = std::acos(-1.0);
    Mm th, r, z, x, y, phi;
    cart2pol(Mm(1.0), Mm(1.0), i_o, th, r);
    EXPECT_DOUBLE_EQ(th.r(), pi_v / 4);
    EXPECT_DOUBLE_EQ(r.r(), std::sqrt(2.0));
    cart2pol(Mm(0.0), Mm(0.0), Mm(7.0), i_o, th, r, z);
    EXPECT_EQ(th.r(), 0);
    EXPECT_EQ(r.r(), 0);
    EXPECT_EQ(z.r(), 7);
    cart2pol(Mm(-1.0), Mm(0.0), i_o, th, r);
    EXPECT_DOUBLE_EQ(th.r(), pi_v);

    pol2cart(pi, Mm(2.0), i_o, x, y);
    EXPECT_EQ(x.r(), -2);
    EXPECT_EQ(y.r(), 2 * sin(pi).r());
    pol2cart(test::row({0, pi_v / 2}), Mm(3.0), Mm(1.0), i_o, x, y, z);
    EXPECT_DOUBLE_EQ(test::at(x, 0), 3);
    EXPECT_NEAR(test::at(x, 1), 0, 1e-15);
    EXPECT_DOUBLE_EQ(test::at(y, 1), 3);
    EXPECT_EQ(z.r(), 1);

    cart2sph(Mm(1.0), Mm(0.0), Mm(0.0), i_o, th, phi, r);
    EXPECT_EQ(th.r(), 0);
    EXPECT_EQ(phi.r(), 0);
    EXPECT_EQ(r.r(), 1);
    cart2sph(Mm(0.0), Mm(3.0), Mm(4.0), i_o, th, phi, r);
    EXPECT_DOUBLE_EQ(th.r(), pi_v / 2);
    EXPECT_DOUBLE_EQ(phi.r(), std::atan2(4.0, 3.0));
    EXPECT_DOUBLE_EQ(r.r(), 5);

    sph2cart(Mm(0.0), Mm(pi_v / 2), Mm(1.0), i_o, x, y, z);
    EXPECT_EQ(z.r(), 1);
    EXPECT_NEAR(x.r(), 0, 1e-16);
    EXPECT_EQ(y.r(), 0);
}

// Radii whose squares overflow or underflow: r, phi and th within an ulp
// of the exact values, for scalars and for rows of the same points.
TEST(CoordinateTransforms, RadiiNeverSquareOutOfRange)
{
    struct Case {
        double x, y, z, th, r_polar, phi, r_spherical;
    };
    const std::vector<Case> cases = {
#include "data/coordinate_extremes.inc"
    };
    std::vector<double> xs, ys, zs;
    for (const auto& c : cases) {
        SCOPED_TRACE("(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ", " + std::to_string(c.z) + ")");
        Mm th, r, phi;
        cart2pol(Mm(c.x), Mm(c.y), i_o, th, r);
        EXPECT_ULPS(th.r(), c.th, 1);
        EXPECT_ULPS(r.r(), c.r_polar, 1);
        cart2sph(Mm(c.x), Mm(c.y), Mm(c.z), i_o, th, phi, r);
        EXPECT_ULPS(th.r(), c.th, 1);
        EXPECT_ULPS(phi.r(), c.phi, 2);
        EXPECT_ULPS(r.r(), c.r_spherical, 2);
        xs.push_back(c.x), ys.push_back(c.y), zs.push_back(c.z);
    }
    // The same points as rows, and with a scalar expanded.
    auto as_row = [](const std::vector<double>& v) {
        Mm m(0, 0, 0, 1, int(v.size()), qv_double);
        std::copy(v.begin(), v.end(), m.addr());
        return m;
    };
    Mm th, r, phi;
    cart2sph(as_row(xs), as_row(ys), as_row(zs), i_o, th, phi, r);
    ASSERT_EQ(r.size(), int(cases.size()));
    for (std::size_t k = 0; k < cases.size(); ++k) {
        EXPECT_ULPS(test::at(r, int(k)), cases[k].r_spherical, 2) << k;
        EXPECT_ULPS(test::at(phi, int(k)), cases[k].phi, 2) << k;
    }
    cart2pol(Mm(3e200), test::row({4e200, -4e200}), i_o, th, r);
    EXPECT_EQ(test::extents(r), (std::vector<int>{1, 2}));
    EXPECT_ULPS(test::at(r, 0), 5e200, 1);
    EXPECT_ULPS(test::at(r, 1), 5e200, 1);

    // Sparse operands stay sparse when both are, as the sum of squares did.
    cart2pol(sparse(test::row({3e-200, 0})), sparse(test::row({4e-200, 0})), i_o, th, r);
    EXPECT_TRUE(r.issparse());
    EXPECT_EQ(test::values(full(r)), (std::vector<double>{5e-200, 0}));
    // Complex operands keep the composed form: sqrt(x.^2 + y.^2).
    cart2pol(test::complex(1, 1, {0}, {1}), Mm(0.0), i_o, th, r);
    ASSERT_TRUE(r.isc());
    EXPECT_EQ(r.r(), 0);
    EXPECT_EQ(r.i(), 1);
    // Mismatched shapes keep the engine's message.
    EXPECT_ERROR(cart2pol(test::row({1, 2, 3}), test::row({1, 2}), i_o, th, r),
                 "atan2: incompatible dimensions of: (temporary), (temporary)");
}

// [x, y] = pol2cart(x, y) and the like: every output comes from the inputs
// as they were given.
TEST(CoordinateTransforms, OutputsMayBeTheInputs)
{
    Mm a = test::row({1, 0}), b = test::row({1, 2});
    cart2pol(a, b, i_o, a, b);
    EXPECT_DOUBLE_EQ(test::at(a, 0), std::atan2(1.0, 1.0));
    EXPECT_DOUBLE_EQ(test::at(a, 1), std::atan2(2.0, 0.0));
    EXPECT_DOUBLE_EQ(test::at(b, 0), std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(test::at(b, 1), 2);
    pol2cart(a, b, i_o, a, b);
    EXPECT_DOUBLE_EQ(test::at(a, 0), 1);
    EXPECT_DOUBLE_EQ(test::at(b, 0), 1);
    EXPECT_NEAR(test::at(a, 1), 0, 1e-15);
    EXPECT_DOUBLE_EQ(test::at(b, 1), 2);

    Mm p = Mm(3.0), q = Mm(0.0), s = Mm(4.0);
    cart2sph(p, q, s, i_o, s, q, p);
    EXPECT_EQ(s.r(), 0) << "azimuth";
    EXPECT_DOUBLE_EQ(q.r(), std::atan2(4.0, 3.0)) << "elevation";
    EXPECT_EQ(p.r(), 5) << "radius";
    sph2cart(s, q, p, i_o, p, q, s);
    EXPECT_DOUBLE_EQ(p.r(), 3);
    EXPECT_EQ(q.r(), 0);
    EXPECT_DOUBLE_EQ(s.r(), 4);
}

} // namespace
