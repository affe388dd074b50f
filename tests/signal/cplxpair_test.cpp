// cplxpair and nested: the pair order, the tolerance classes, the pairing
// check, dimensions, and the dissection numbering.
#include "test_support.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

struct Pairing {
    const char* what;
    Mm input;
    std::vector<double> re, im;
};

TEST(Cplxpair, Orders)
{
    const std::vector<Pairing> cases = {
        {"pairs before reals", test::complex(1, 4, {3, 1, 5, 1}, {0, 2, 0, -2}), {1, 1, 3, 5}, {-2, 2, 0, 0}},
        {"larger imaginary part first", test::complex(1, 4, {1, 1, 1, 1}, {3, 2, -3, -2}), {1, 1, 1, 1},
         {-3, 3, -2, 2}},
        {"a zero is real", test::complex(1, 3, {0, 1, 1}, {0, 2, -2}), {1, 1, 0}, {-2, 2, 0}},
        {"tiny imaginary part is cleared", test::complex(1, 3, {2, 1, 1}, {1e-20, 1, -1}), {1, 1, 2}, {-1, 1, 0}},
        {"by real part", test::complex(1, 5, {4, -1, 4, 0.5, -1}, {-1, 1, 1, 0, -1}), {-1, -1, 4, 4, 0.5},
         {-1, 1, -1, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm y = cplxpair(c.input);
        ASSERT_TRUE(y.isc());
        EXPECT_EQ(test::extents(y), test::extents(c.input));
        EXPECT_EQ(test::values(y), c.re);
        EXPECT_EQ(test::values(imag(y)), c.im);
    }
    const Mm r = cplxpair(test::row({3, 1, 2}));
    EXPECT_FALSE(r.isc());
    EXPECT_EQ(test::values(r), (std::vector<double>{1, 2, 3}));

    // columns of a matrix, and rows with dim 2
    const Mm m = test::complex(2, 2, {1, 1, 2, 2}, {1, -1, 0, 0});
    EXPECT_EQ(test::values(imag(cplxpair(m))), (std::vector<double>{-1, 1, 0, 0}));
    const Mm rows = cplxpair(test::complex(2, 2, {5, 1, 1, 1}, {0, 1, 0, -1}), Mm(), Mm(2.0));
    EXPECT_EQ(test::values(rows), (std::vector<double>{1, 1, 5, 1}));
    EXPECT_EQ(test::values(imag(rows)), (std::vector<double>{0, -1, 0, 1}));

    // a wider tolerance pairs near-conjugates and classes more numbers real
    const Mm loose = cplxpair(test::complex(1, 3, {1, 1, 7}, {2, -2.001, 0.01}), Mm(0.01));
    EXPECT_EQ(test::values(loose), (std::vector<double>{1, 1, 7}));
    EXPECT_EQ(test::values(imag(loose)), (std::vector<double>{-2.001, 2, 0.01}));
}

TEST(Cplxpair, FirstDimensionOfPagesKeepsTheShape)
{
    // two pages of one column each: a conjugate pair, then two reals
    Mm x(1, 0, 0, 3, std::array<int, 3>{2, 1, 2}.data(), qv_double);
    const double re[] = {1, 1, 4, 3}, im[] = {2, -2, 0, 0};
    for (int k = 0; k < 4; ++k) {
        x.addr()[k] = re[k];
        x.addi()[k] = im[k];
    }
    for (const Mm& y : {cplxpair(x), cplxpair(x, Mm(), Mm(1.0))}) {
        EXPECT_EQ(test::extents(y), (std::vector<int>{2, 1, 2}));
        EXPECT_EQ(test::values(y), (std::vector<double>{1, 1, 3, 4}));
        EXPECT_EQ(test::values(imag(y)), (std::vector<double>{-2, 2, 0, 0}));
    }
}

TEST(Cplxpair, Errors)
{
    const char unpaired[] = "cplxpair: complex numbers cannot be paired";
    EXPECT_ERROR(cplxpair(test::complex(1, 2, {1, 3}, {2, 4})), unpaired);
    EXPECT_ERROR(cplxpair(test::complex(1, 3, {1, 1, 0}, {2, -2, 3})), unpaired);
    EXPECT_ERROR(cplxpair(test::complex(1, 2, {1, 1}, {2, 2})), unpaired) << "equal, not conjugate";
    const Mm z = test::complex(1, 2, {1, 1}, {1, -1});
    EXPECT_ERROR(cplxpair(z, Mm(), Mm()), "cplxpair: dim argument may not be empty");
    EXPECT_ERROR(cplxpair(z, Mm(), Mm(-1.0)), "cplxpair: dim argument must be positive");
    EXPECT_ERROR(cplxpair(z, Mm(), Mm(3.0)), "cplxpair: dim argument may not be more then the number of dimensions");
    // A tolerance with an imaginary part was read as its real part, without
    // a word: 1e-3i paired with the default tolerance.
    EXPECT_ERROR(cplxpair(z, test::complex(1, 1, {0}, {1e-3})), "cplxpair: the tolerance must be real");
    EXPECT_ERROR(cplxpair(z, sparse(test::complex(1, 1, {0.1}, {1}))), "cplxpair: the tolerance must be real");
    const Mm near = test::complex(1, 2, {1, 1.001}, {1, -1});
    EXPECT_EQ(test::values(real(cplxpair(near, test::complex(1, 1, {0.01}, {0})))),
              test::values(real(cplxpair(near, Mm(0.01)))))
        << "an imaginary part of 0 is the real tolerance";
}

TEST(Nested, Numbering)
{
    EXPECT_EQ(test::values(nested(Mm(3.0))), (std::vector<double>{0, 0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(test::values(nested(Mm(4.0))),
              (std::vector<double>{0, 0, 0, 0, 0, 3, 4, 0, 0, 1, 2, 0, 0, 0, 0, 0}));
    EXPECT_EQ(test::values(nested(Mm(2.0))), (std::vector<double>{0, 0, 0, 0}));
    EXPECT_EQ(test::values(nested(Mm(1.0))), (std::vector<double>{0}));
    EXPECT_EQ(nested(Mm(0.0)).size(), 0);
    EXPECT_EQ(nested(Mm(NAN)).size(), 0);
    EXPECT_EQ(test::extents(nested(Mm(2.6))), (std::vector<int>{3, 3}));
    EXPECT_ERROR(nested(test::complex(1, 1, {4}, {1})), "nested: n must be real");
    EXPECT_EQ(test::values(nested(test::complex(1, 1, {3}, {0}))), test::values(nested(Mm(3.0))));
    for (int n : {5, 8, 13, 30}) {
        SCOPED_TRACE(n);
        const Mm m = nested(Mm(double(n)));
        std::vector<double> interior;
        for (int i = 2; i < n; ++i)
            for (int j = 2; j < n; ++j)
                interior.push_back(m.r(i, j));
        std::sort(interior.begin(), interior.end());
        for (std::size_t k = 0; k < interior.size(); ++k)
            ASSERT_EQ(interior[k], double(k + 1));
        for (int k = 1; k <= n; ++k) {
            EXPECT_EQ(m.r(1, k), 0);
            EXPECT_EQ(m.r(n, k), 0);
            EXPECT_EQ(m.r(k, 1), 0);
            EXPECT_EQ(m.r(k, n), 0);
        }
    }
    // the separator of the whole interior is numbered last
    const Mm m7 = nested(Mm(7.0));
    for (int i = 2; i <= 6; ++i)
        EXPECT_GE(m7.r(i, 4), 21);
}

} // namespace
