// mkpp, unmkpp and ppval: the layout of the pp form, piece selection at
// breaks and outside them, shapes, NaN points and the messages.
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

Mm two_pieces() { return mkpp(test::row({0, 1, 2}), test::row({1, 2, 3, 4})); }

TEST(Mkpp, LayoutAndParts)
{
    EXPECT_EQ(test::values(two_pieces()), (std::vector<double>{10, 1, 2, 0, 1, 2, 2, 1, 2, 3, 4}));
    EXPECT_EQ(test::extents(two_pieces()), (std::vector<int>{1, 11}));
    Mm breaks, coefs, l, k;
    unmkpp(two_pieces(), i_o, breaks, coefs, l, k);
    EXPECT_EQ(test::values(breaks), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(test::extents(coefs), (std::vector<int>{2, 2}));
    EXPECT_EQ(test::values(coefs), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(l.r(), 2);
    EXPECT_EQ(k.r(), 2);
    // a matrix of coefficients is read column-major
    EXPECT_EQ(test::values(mkpp(test::row({0, 1, 2}), test::real(2, 2, {1, 2, 3, 4}))),
              test::values(two_pieces()));

    const char wrong[] = "mkpp: wrong size of input arguments";
    EXPECT_ERROR(mkpp(test::row({0, 1, 2}), test::row({1, 2, 3})), wrong);
    EXPECT_ERROR(mkpp(Mm(5.0), Mm(1.0)), wrong) << "one break";
    EXPECT_ERROR(mkpp(Mm(5.0), Mm()), wrong);
    EXPECT_ERROR(mkpp(test::row({0, 1}), Mm()), wrong);
    EXPECT_ERROR(mkpp(Mm(1.0)), "mkpp does not accept 1 input");
}

TEST(Ppval, PiecesAndShapes)
{
    const Mm pp = two_pieces();  // piece 1: x + 3 on [0, 1); piece 2: 2 (x - 1) + 4
    struct Case {
        const char* what;
        Mm xx;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"given order", test::row({2, 0.5, -1}), {6, 3.5, 2}},
        {"interior break starts the next piece", Mm(1.0), {4}},
        {"beyond the ends", test::row({-10, 3}), {-7, 8}},
        {"an infinite point meets 0 * Inf in Horner's first step", test::row({-INFINITY}), {NAN}},
        {"sorted", test::row({0, 0.5, 1, 1.5}), {3, 3.5, 4, 5}},
        {"NaN point", test::row({NAN, 0.5}), {NAN, 3.5}},
        {"unsorted with NaN", test::row({1.5, NAN, 0.25, NAN, 0}), {5, NAN, 3.25, NAN, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm v = ppval(pp, c.xx);
        EXPECT_EQ(test::extents(v), test::extents(c.xx));
        const auto got = test::values(v);
        ASSERT_EQ(got.size(), c.values.size());
        for (std::size_t k = 0; k < got.size(); ++k)
            if (std::isnan(c.values[k]))
                EXPECT_TRUE(std::isnan(got[k]));
            else
                EXPECT_EQ(got[k], c.values[k]);
    }
    EXPECT_EQ(test::extents(ppval(pp, test::real(3, 1, {0, 1, 2}))), (std::vector<int>{3, 1}));
    EXPECT_EQ(test::extents(ppval(pp, test::counting({2, 3}))), (std::vector<int>{2, 3}));

    Mm bad(test::row({9, 1, 1, 0, 1, 1, 5}), "pp");
    EXPECT_ERROR(ppval(bad, Mm(0.5)), "pp is not proper piecewise polynomial");
    Mm bm, cm, lm, km;
    EXPECT_ERROR(unmkpp(bad, i_o, bm, cm, lm, km), "pp is not proper piecewise polynomial");
    EXPECT_ERROR(ppval(test::row({10, 1, 5, 0, 1}), Mm(0.5)), "(temporary) is not proper piecewise polynomial")
        << "a truncated pp is refused, not read past its end";
    EXPECT_ERROR(ppval(mkpp(test::row({0, 1}), test::complex(1, 1, {1}, {1})), Mm(0.5)),
                 "ppval: complex pp encountered");
    EXPECT_ERROR(ppval(pp), "ppval does not accept 1 input");
}

} // namespace
