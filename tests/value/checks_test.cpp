// Argument checks, truth values and predicates.
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

const double nan = std::nan("");

TEST(Checks, MessagesNameTheFunctionAndTheValue)
{
    Mm wide = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    Mm named(wide, "w");
    const int d3[3] = {2, 2, 2};
    Mm cube(0, 0, 0, 3, d3, qv_double);
    Mm cell(0, 0, 0, 1, 1, qv_cell);
    EXPECT_ERROR(error_square(wide, "f"), "f: square matrix expected, but matrix (temporary) has 2 rows and 3 columns");
    EXPECT_ERROR(error_square(named, "f"), "f: square matrix expected, but matrix w has 2 rows and 3 columns");
    EXPECT_ERROR(error_2d(Mm(5.0), "g") || error_sparse(Mm(5.0), "g"), "g: sparse matrix expected, but matrix =5 is full");
    EXPECT_ERROR(error_square(cube, "h"), "h: 2-d matrix expected, but matrix (temporary) has 3 dimensions");
    EXPECT_ERROR(error_struct(wide, "s"), "s: structure expected, but matrix (temporary) is not");
    EXPECT_ERROR(error_numeric(cell, "n"), "n: numeric data expected, but matrix (temporary) is not");
    EXPECT_EQ(error_square(test::real(2, 2, {1, 2, 3, 4}), "f"), 0);
    EXPECT_EQ(error_numeric(wide, "f"), 0);
}

TEST(Checks, ArgumentCounts)
{
    EXPECT_ERROR(error_input("f", 1), "f does not accept 1 input");
    EXPECT_ERROR(error_input("f", 2), "f does not accept 2 inputs");
    EXPECT_ERROR(validate_narg("f", 3, 1, 0, 2, 1, 1), "Too many (3>2) outputs for f");
    EXPECT_ERROR(validate_narg("f", 0, 2, 0, 2, 1, 1), "Too many (2>1) inputs for f");
    EXPECT_ERROR(validate_narg("f", 0, 0, 1, 2, 1, 1), "Too few (0<1) outputs for f");
    EXPECT_ERROR(validate_narg("f", 1, 0, 1, 2, 1, 1), "Too few (0<1) inputs for f");
    EXPECT_NO_THROW(validate_narg("f", 1, 1, 0, 2, 1, 1));
}

TEST(Checks, ScalarAndUninitialisedValues)
{
    EXPECT_EQ(scalar(Mm(2.5)), 2.5);
    EXPECT_ERROR(scalar(test::row({1, 2})), "scalar: matrix (temporary) is not scalar");
    EXPECT_ERROR(scalar(test::complex(1, 1, {1}, {2})), "scalar: matrix =1 is complex");
    EXPECT_ERROR(scalar(TM("ab")), "scalar: matrix (temporary) is not scalar");
    EXPECT_ERROR(scalar(TM("a")), "scalar: matrix =97 is string");
    EXPECT_ERROR(scalar(test::bytes(1, 1, {3})), "scalar: matrix (temporary) is not double");
    Mm v(i_o, "v", 0);
    EXPECT_ERROR(switchinit(v), "variable 'v' was used without a value");
    EXPECT_ERROR(istrue(v), "variable 'v' was used without a value");
}

TEST(Checks, TruthValues)
{
    struct Case {
        const char* what;
        Mm x;
        int expected;
    };
    Mm sparse_two_of_three(0, 1, 2, 1, 3, qv_double);
    const std::vector<Case> cases = {
        {"[1 2]", test::row({1, 2}), 1},
        {"[1 NaN]", test::row({1, nan}), 0},
        {"[1 0]", test::row({1, 0}), 0},
        {"0x0", Mm(), 0},
        {"uint8 [3 1]", test::bytes(1, 2, {3, 1}), 1},
        {"uint8 [3 0]", test::bytes(1, 2, {3, 0}), 0},
        {"complex with zero real part", test::complex(1, 1, {0}, {1}), 0},
        {"sparse 1x3 with 2 stored", sparse_two_of_three, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(istrue(c.x), c.expected);
    }
    EXPECT_ERROR(istrue(Mm(0, 0, 0, 1, 2, qv_cell)), "cell array has no true/false meaning");
    EXPECT_EQ(istrue(nan), 0);
    EXPECT_EQ(istrue(-0.5), 1);
}

TEST(Checks, Predicates)
{
    const int d113[3] = {1, 1, 3};
    Mm column3(0, 0, 0, 3, d113, qv_double);
    EXPECT_EQ(isvector(column3), 1);
    EXPECT_EQ(isvector(Mm()), 0);
    EXPECT_EQ(isvector(test::real(2, 2, {1, 2, 3, 4})), 0);
    EXPECT_EQ(isvector(Mm(1.0)), 1);
    EXPECT_EQ(isempty(Mm()), 1);
    EXPECT_EQ(isscalar(Mm(1.0)), 1);
    EXPECT_EQ(is_square(test::real(2, 2, {1, 2, 3, 4})), 1);
    EXPECT_EQ(is_square(Mm(0, 0, 0, 2, 2, qv_cell)), 0);
    EXPECT_EQ(isnumeric(TM("a")), 0);
    EXPECT_EQ(isnumeric(test::bytes(1, 1, {1})), 1);
    EXPECT_EQ(iscell(Mm(0, 0, 0, 1, 1, qv_cell)), 1);
    Mm s(0, 0, 0, 1, 1, qv_cell);
    s.addfield("a", 0);
    EXPECT_EQ(isstruct(s), 1);
    EXPECT_EQ(iscell(s), 0);
    s.setclassid(1);
    EXPECT_EQ(isobject(s), 1);
    EXPECT_EQ(isstruct(s), 0);
    double v[] = {0, nan};
    EXPECT_EQ(iscomplex(v, 2), 1) << "NaN counts as non-zero";
    EXPECT_EQ(iscomplex(static_cast<const double*>(nullptr), 2), 0);
    EXPECT_EQ(isnegative(v, 2), 0);
}

// The test answers as if the all-zero part were dropped, and drops nothing
// from the value it is asked about: a copy sharing the block agrees with it.
TEST(Checks, ComplexTestSeesAnAllZeroImaginaryPartAsReal)
{
    Mm z = test::complex(1, 2, {1, 2}, {0, 0});
    const Mm copy = z;
    EXPECT_EQ(iscomplex(z), 0);
    EXPECT_EQ(isreal(z), 1);
    EXPECT_EQ(z.isc(), 1) << "the argument keeps its imaginary part";
    EXPECT_EQ(z.addi(), copy.addi());
    const Mm u = muint8(test::complex(1, 1, {7}, {2}));
    ASSERT_EQ(u.isc(), 1);
    EXPECT_EQ(iscomplex(u), 0) << "a byte value counts as real";
    EXPECT_EQ(u.isc(), 1);
    Mm w = test::complex(1, 2, {1, 2}, {0, -0.5});
    EXPECT_EQ(isreal(w), 0);
    EXPECT_EQ(w.isc(), 1);
}

TEST(Checks, IntegerValues)
{
    struct Case {
        const char* what;
        Mm x;
        int expected;
    };
    const std::vector<Case> cases = {
        {"[3 4.5]", test::row({3, 4.5}), 0},
        {"1e7", Mm(1e7), 0},
        {"9999999", Mm(9999999.0), 1},
        {"-9999999", Mm(-9999999.0), 1},
        {"NaN", Mm(nan), 0},
        {"Inf", Mm(INFINITY), 0},
        {"empty", Mm(), 1},
        {"uint8", test::bytes(1, 1, {7}), 1},
        {"cell", Mm(0, 0, 0, 1, 1, qv_cell), 0},
        {"2+0i", test::complex(1, 1, {2}, {0}), 1},
        {"2+1i", test::complex(1, 1, {2}, {1}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(isint(c.x), c.expected);
    }
}

} // namespace
