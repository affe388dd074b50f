// kron, trapz, nextpow2, freqspace and remezf.
#include "nonfinite_check.hpp"
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

#include "data/nonfinite_reference.inc"

TEST(Kron, DenseSparseAndComplex)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<double> values;
        std::vector<int> extents;
    };
    const std::vector<Case> cases = {
        {"row by column", kron(test::row({1, 2}), test::real(2, 1, {1, 1})), {1, 1, 2, 2}, {2, 2}},
        {"block diagonal", kron(test::real(2, 2, {1, 0, 0, 1}), test::real(2, 2, {1, 3, 2, 4})),
         {1, 3, 0, 0, 2, 4, 0, 0, 0, 0, 1, 3, 0, 0, 2, 4}, {4, 4}},
        {"scaled blocks", kron(test::real(1, 2, {2, -1}), test::real(2, 1, {1, 3})), {2, 6, -1, -3}, {2, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(test::values(c.result), c.values);
        EXPECT_EQ(test::extents(c.result), c.extents);
    }
    EXPECT_EQ(kron(Mm(), test::row({1, 2})).size(), 0);
    const Mm z = kron(test::complex(1, 1, {0}, {1}), Mm(2.0));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(test::values(imag(z)), (std::vector<double>{2}));
    const Mm zz = kron(test::complex(1, 2, {1, 0}, {1, 2}), test::complex(1, 1, {2}, {-1}));
    EXPECT_EQ(test::values(zz), (std::vector<double>{3, 2}));
    EXPECT_EQ(test::values(imag(zz)), (std::vector<double>{1, 4}));

    const Mm s = kron(sparse(test::real(2, 2, {1, 0, 0, 1})), test::row({1, 2}));
    ASSERT_TRUE(s.issparse());
    EXPECT_EQ(test::values(s), (std::vector<double>{1, 0, 2, 0, 0, 1, 0, 2}));
    EXPECT_EQ(s.getnnz(), 4);
    for (int e = 1; e < s.getnnz(); ++e)
        EXPECT_LT(s.getindex()[e - 1], s.getindex()[e]) << "stored positions ascend";
    const Mm s2 = kron(test::real(2, 1, {3, 0}), sparse(test::real(2, 2, {0, 5, 7, 0})));
    EXPECT_EQ(test::values(s2), test::values(kron(test::real(2, 1, {3, 0}), test::real(2, 2, {0, 5, 7, 0}))));
    EXPECT_ERROR(kron(Mm(1.0)), "kron does not accept 1 input");
    // a result beyond the value type's extents is refused, not wrapped
    const Mm wide = ones(1.0, 50000.0);
    EXPECT_ERROR(kron(wide, wide), "Out of memory!");
    EXPECT_ERROR(kron(sparse(wide), wide),
                 "sparse: 1x2500000000 has more than 2147483647 elements, the most a sparse value holds");
}

TEST(Trapz, Integrals)
{
    EXPECT_EQ(test::values(trapz(test::row({1, 2, 3}))), (std::vector<double>{4}));
    EXPECT_EQ(test::values(trapz(test::row({0, 1, 2}), test::row({0, 1, 4}))), (std::vector<double>{3}));
    EXPECT_EQ(test::values(trapz(test::real(2, 2, {1, 3, 2, 4}))), (std::vector<double>{2, 3}));
    EXPECT_EQ(test::values(trapz(Mm(5.0))), (std::vector<double>{0}));
    EXPECT_EQ(trapz(Mm()).size(), 0);
    EXPECT_EQ(test::values(trapz(test::real(3, 1, {0, 0.5, 2}), test::real(3, 1, {2, 2, 2}))), (std::vector<double>{4}));
    EXPECT_ERROR(trapz(test::row({1, 2}), test::row({1, 2, 3})), "trapz: a,b sizes not consistent");
}

TEST(Nextpow2AndFreqspace, Values)
{
    struct Case {
        Mm x;
        double p;
    };
    const std::vector<Case> cases = {{Mm(5.0), 3},  {Mm(8.0), 3}, {Mm(1.0), 0}, {Mm(0.3), -1},
                                     {Mm(0.0), 0},  {test::row({1, 2, 3}), 2}, {Mm(-9.0), 4},
                                     {test::complex(1, 1, {3}, {4}), 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p);
        EXPECT_EQ(nextpow2(c.x).r(), c.p);
    }
    // NaN and Inf (numpy: ceil(log2(abs(x))))
    const std::vector<Mm> nonfinite = {Mm(NAN), Mm(INFINITY), Mm(-INFINITY), test::complex(1, 1, {NAN}, {1}),
                                       test::complex(1, 1, {INFINITY}, {NAN})};
    std::vector<double> got;
    for (const auto& x : nonfinite)
        got.push_back(nextpow2(x).r());
    test::expect_matches(got, test::listed(nextpow2_nonfinite));

    EXPECT_EQ(test::values(freqspace(Mm(4.0))), (std::vector<double>{0, 0.5, 1}));
    EXPECT_EQ(test::values(freqspace(Mm(4.0), Mm(1.0))), (std::vector<double>{0, 0.5, 1, 1.5}));
    Mm f1, f2;
    freqspace(Mm(4.0), i_o, f1, f2);
    EXPECT_EQ(test::values(f1), (std::vector<double>{-1, -0.5, 0, 0.5}));
    EXPECT_EQ(test::values(f2), (std::vector<double>{-1, -0.5, 0, 0.5}));
    freqspace(test::row({2, 3}), i_o, f1, f2);
    ASSERT_EQ(f1.size(), 3);
    EXPECT_DOUBLE_EQ(f1.addr()[0], -2.0 / 3);
    EXPECT_EQ(f1.addr()[1], 0);
    EXPECT_DOUBLE_EQ(f1.addr()[2], 2.0 / 3);
    EXPECT_EQ(test::values(f2), (std::vector<double>{-1, 0}));
    Mm gx, gy;
    freqspace(test::row({2, 3}), test::text("meshgrid"), i_o, gx, gy);
    EXPECT_EQ(test::extents(gx), (std::vector<int>{2, 3}));
    EXPECT_EQ(test::values(gy), (std::vector<double>{-1, 0, -1, 0, -1, 0}));

    EXPECT_TRUE(std::isnan(remezf(Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0)).r()));
    Mm h, e, r;
    remezf(Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0), Mm(1.0), i_o, h, e, r);
    EXPECT_TRUE(std::isnan(h.r()));
    EXPECT_EQ(e.r(), 1);
    EXPECT_EQ(r.r(), 1);
}

} // namespace
