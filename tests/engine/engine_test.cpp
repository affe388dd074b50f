// The operation engine: result shapes, empty operands, element types,
// objects and the working dimension of reductions.
#include "test_support.hpp"

#include <cmath>
#include <vector>

namespace {

Mm reduce(op_t op, const Mm& a, const Mm& dim)
{
    return Mm(a.isc(), a, zero_M, dim, op, 1, l_M);
}

std::vector<int> dims_of(const Mm& x)
{
    return std::vector<int>(x.getdims(), x.getdims() + x.getndims());
}

TEST(Engine, ShapesAndScalarExpansion)
{
    Mm r = test::row({1, 2, 3});
    EXPECT_EQ(dims_of(r + Mm(1.0)), (std::vector<int>{1, 3}));
    EXPECT_EQ(dims_of(Mm(1.0) + r), (std::vector<int>{1, 3}));
    EXPECT_ERROR(r + test::row({1, 2}), "plus: incompatible dimensions of: (temporary), (temporary)");
    Mm named(r, "x");
    EXPECT_ERROR(named - Mm(0, 0, 0, 2, 2, qv_double), "minus: incompatible dimensions of: x, (temporary)");
    const int d2311[4] = {2, 3, 1, 1};
    Mm m23(0, 0, 0, 2, 3, qv_double), m2311(0, 0, 0, 4, d2311, qv_double);
    for (int k = 0; k < 6; ++k)
        m23.addr()[k] = m2311.addr()[k] = k;
    EXPECT_EQ(dims_of(m23 + m2311), (std::vector<int>{2, 3}));
    const int d113[3] = {1, 1, 3};
    Mm deep(0, 0, 0, 3, d113, qv_double);
    for (int k = 0; k < 3; ++k)
        deep.addr()[k] = k;
    EXPECT_EQ(dims_of(times(deep, Mm(2.0)) + deep), (std::vector<int>{1, 1, 3})) << "a 1x1x3 result keeps 3 dimensions";
}

TEST(Engine, EmptyOperands)
{
    Mm empty;
    EXPECT_EQ(dims_of(Mm(5.0) + empty), (std::vector<int>{0, 0}));
    Mm eq = empty == empty;
    EXPECT_EQ(eq.r(), 1);
    EXPECT_EQ(eq.islogical(), 1);
    EXPECT_EQ((empty != Mm(5.0)).r(), 1);
    EXPECT_EQ((empty == Mm(5.0)).r(), 0);
    EXPECT_EQ(reduce(op_sum, empty, zero_M).r(), 0);
    EXPECT_EQ(reduce(op_prod, empty, zero_M).r(), 1);
    EXPECT_EQ(reduce(op_any, empty, zero_M).r(), 0);
    EXPECT_EQ(reduce(op_all, empty, zero_M).r(), 1);
    EXPECT_EQ(reduce(op_sum, empty, Mm(1.0)).getnnz(), 0);
    EXPECT_EQ(reduce(op_sum, empty, zero_M).getflags().scalar_var, 1);
}

TEST(Engine, ReductionDimensions)
{
    Mm x = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    Mm named(x, "x");
    EXPECT_ERROR(reduce(op_sum, named, Mm(5.0)), "sum: dimension=5 does not exist for matrix x");
    EXPECT_ERROR(reduce(op_sum, x, Mm()), "sum: dim argument may not be empty");
    EXPECT_ERROR(reduce(op_sum, x, Mm(-1.0)), "sum: dim argument may not be empty");
    Mm by_rows = reduce(op_sum, x, Mm(2.9));
    EXPECT_EQ(dims_of(by_rows), (std::vector<int>{2, 1}));
    EXPECT_EQ(by_rows.r(1), 9);
    EXPECT_EQ(by_rows.r(2), 12);
    Mm by_cols = reduce(op_sum, x, zero_M);
    EXPECT_EQ(dims_of(by_cols), (std::vector<int>{1, 3}));
    EXPECT_EQ(by_cols.r(3), 11);
    EXPECT_EQ(dims_of(reduce(op_sum, x, Mm(3.0))), (std::vector<int>{2, 3})) << "a trailing dimension of extent 1";
    EXPECT_EQ(reduce(op_diff, Mm(4.0), zero_M).getnnz(), 0);
    EXPECT_EQ(dims_of(reduce(op_diff, test::row({1, 4, 9}), zero_M)), (std::vector<int>{1, 2}));
    EXPECT_EQ(reduce(op_diff, x, Mm(3.0)).getnnz(), 0) << "along a dimension of extent 1";
}

TEST(Engine, ReductionsWalkEveryDimension)
{
    // A 2x3x4 value reduced along each dimension against a direct sum.
    const int d[3] = {2, 3, 4};
    Mm x(0, 0, 0, 3, d, qv_double);
    for (int k = 0; k < 24; ++k)
        x.addr()[k] = std::sin(k + 1.0) * (k % 5);
    auto at = [&](int i, int j, int l) { return x.addr()[i + 2 * j + 6 * l]; };
    for (int dim = 1; dim <= 3; ++dim) {
        SCOPED_TRACE(dim);
        Mm s = reduce(op_sum, x, Mm(double(dim)));
        Mm c = Mm(0, x, zero_M, Mm(double(dim)), op_cumsum, 1, l_M);
        int ext[3] = {2, 3, 4};
        ext[dim - 1] = 1;
        for (int i = 0; i < ext[0]; ++i)
            for (int j = 0; j < ext[1]; ++j)
                for (int l = 0; l < ext[2]; ++l) {
                    double expected = 0;
                    for (int k = 0; k < d[dim - 1]; ++k) {
                        int idx[3] = {i, j, l};
                        idx[dim - 1] = k;
                        expected += at(idx[0], idx[1], idx[2]);
                        int full = idx[0] + 2 * idx[1] + 6 * idx[2];
                        ASSERT_EQ(c.addr()[full], expected);
                    }
                    EXPECT_EQ(s.addr()[i + ext[0] * j + ext[0] * ext[1] * l], expected);
                }
    }
}

TEST(Engine, ElementTypes)
{
    Mm b = test::bytes(1, 2, {250, 1});
    Mm r = Mm(3.0) + b;
    EXPECT_EQ(r.gettype(), qv_uint8);
    EXPECT_EQ(r.ur(1), 253);
    EXPECT_EQ(r.ur(2), 4);
    EXPECT_EQ((Mm(2.7) + test::bytes(1, 1, {1})).ur(1), 3);
    Mm cell(0, 0, 0, 1, 1, qv_cell);
    EXPECT_ERROR(cell + Mm(1.0), "Operation can not be performed on non-numerical datatypes");
    Mm v(i_o, "v", 0);
    EXPECT_ERROR(v + Mm(1.0), "variable 'v' was used without a value");
}

Mm struct_plus(Mm, Mm) { return TM("plus method"); }
Mm struct_max(Mm, Mm) { return TM("max method"); }

TEST(Engine, ObjectsGoToTheirClassMethods)
{
    Mm s(0, 0, 0, 1, 1, qv_cell);
    s.addfield("a", 0);
    Mm obj = mclass(s, TM("engineclass"));
    register_class_function("engineclass", "plus", struct_plus);
    register_class_function("engineclass", "max_2", struct_max);
    char text[32];
    Mstr(obj + Mm(1.0), text, sizeof text);
    EXPECT_STREQ(text, "plus method");
    Mstr(max(obj, Mm(1.0)), text, sizeof text);
    EXPECT_STREQ(text, "max method");
    EXPECT_ERROR(obj - Mm(1.0), "class engineclass has no method named minus");
    EXPECT_ERROR(times(s, Mm(2.0)), "class struct has no method named times");
}

TEST(Engine, OperationNames)
{
    EXPECT_STREQ(op_name(op_plus), "plus");
    EXPECT_STREQ(op_name(op_sin), "sin");
    EXPECT_STREQ(op_name(op_xor), "xor");
    EXPECT_STREQ(op_name(op_diff), "diff");
    EXPECT_STREQ(op_name(static_cast<op_t>(99)), "???");
    EXPECT_STREQ(op_name(static_cast<op_t>(-1)), "???");
    EXPECT_EQ(op_plus, 79);
    EXPECT_EQ(op_minus, 72);
    EXPECT_EQ(op_sin, 89);
    EXPECT_EQ(isieee(), 1);
}

} // namespace
