// Member operations of values: conversion copies, shape queries, element
// access, field names and sparse upkeep.
#include "test_support.hpp"

#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

Mm shaped(std::vector<int> dims, qv_matrix_types type = qv_double)
{
    return Mm(0, 0, 0, static_cast<int>(dims.size()), dims.data(), type);
}

TEST(Members, ShapeQueries)
{
    struct Case {
        std::vector<int> dims;
        int length, vectordim, nsingleton;
    };
    const std::vector<Case> cases = {
        {{2, 5}, 5, 0, 1},   {{0, 3}, 0, 2, 1},  {{1, 1}, 1, 2, 1},
        {{1, 5}, 5, 2, 2},   {{5, 1}, 5, 1, 1},  {{1, 1, 4}, 4, 3, 3},
        {{2, 2}, 2, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.dims));
        Mm x = shaped(c.dims);
        EXPECT_EQ(x.length(), c.length);
        EXPECT_EQ(x.vectordim(), c.vectordim);
        EXPECT_EQ(x.nsingleton(), c.nsingleton);
    }
    Mm x = shaped({2, 3, 4});
    EXPECT_EQ(x.size(), 24);
    EXPECT_EQ(x.size(3), 4);
    EXPECT_ERROR(x.size(5), "(temporary).size(dim): no such dimension=5");
}

TEST(Members, Reshape)
{
    Mm x = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    x.reshape(3, 2);
    EXPECT_EQ(x.rows(), 3);
    EXPECT_EQ(x.cols(), 2);
    Mm sq = test::real(2, 2, {1, 2, 3, 4});
    EXPECT_ERROR(sq.reshape(3, 2), "reshape: size=4 is different than 3*2");
    EXPECT_EQ(sq.rows(), 2) << "nothing changes after the error";
    const int d[4] = {1, 2, 1, 3};
    x.reshape(4, d);
    EXPECT_EQ(x.getndims(), 4);
    const int bad[3] = {2, 2, 2};
    EXPECT_ERROR(x.reshape(3, bad), "reshape: size=6 is different than the product of new dimensions");
    const int flat[4] = {6, 1, 1, 1};
    x.reshape(4, flat);
    EXPECT_EQ(x.getndims(), 2) << "trailing singletons collapse";
}

TEST(Members, BoundsTestedAccess)
{
    Mm x = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(x.r(1.9), 1) << "positions truncate after the range test";
    EXPECT_EQ(x.r(2, 3), 6);
    EXPECT_ERROR(x.r(0.5), "(temporary).r(idx): idx=0.5 out of matrix");
    EXPECT_ERROR(x.r(std::nan("")), "(temporary).r(idx): idx=nan out of matrix");
    EXPECT_ERROR(x.r(3, 1), "(temporary).r(row,col): row=3 or col=1 out of matrix");
    EXPECT_ERROR(x.r(1, 1, 2), "(temporary).r(row,col,depth): row=1, col=1 or depth=2 out of matrix");
    EXPECT_ERROR(Mm().r(), "(temporary).r(): matrix is empty");
    EXPECT_ERROR(test::bytes(1, 1, {1}).r(), ".r / .i : wrong matrix type");
    EXPECT_ERROR(x.i(1), ".r / .i : wrong matrix type") << "a real value has no imaginary part to hand out";
    Mm b = test::bytes(1, 3, {7, 8, 9});
    EXPECT_EQ(b.ur(3), 9);
    EXPECT_ERROR(b.ur(4), "(temporary).ur(idx): idx=4 out of matrix");
    Mm c(0, 0, 0, 1, 2, qv_cell);
    c.mr(2) = Mm(5.0);
    EXPECT_EQ(c.safebr(2).r(), 5);
    EXPECT_EQ(isempty(c.safebr(3)), 1) << "a missing element is nop_M";
    EXPECT_ERROR(c.mr(1, 3), "(temporary).mr(row,col): row=1 or col=3 out of matrix");

    std::vector<std::string> seen;
    static std::vector<std::string>* sink = &seen;
    qv_text_handler old = qv_set_error_handler([](const char* t) { sink->push_back(t); });
    double& outside = x.r(99.0);
    outside = 42;  // must land in scratch, not past the value
    qv_set_error_handler(old);
    EXPECT_EQ(seen.size(), 1u);
    for (int k = 1; k <= 6; ++k)
        EXPECT_EQ(x.r(k), k);
}

TEST(Members, DeepcopyConvertsElements)
{
    Mm bytes;
    bytes.deepcopy(test::row({1, 2.5, 300, -1, 255.9}), qv_uint8);
    ASSERT_EQ(bytes.gettype(), qv_uint8);
    const unsigned char expected[] = {1, 2, 44, 255, 255};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(bytes.getpr((unsigned char*)nullptr)[k], expected[k]);

    Mm back;
    back.deepcopy(bytes, qv_double);
    EXPECT_EQ(test::at(back, 2), 44);

    Mm text = TM("ab");
    Mm cells;
    cells.deepcopy(text, qv_cell);
    ASSERT_EQ(cells.gettype(), qv_cell);
    EXPECT_EQ(cells.mr(2).r(), 98);
    EXPECT_EQ(cells.isstr(), 0) << "cells are not text";

    Mm z;
    z.deepcopy(1, test::row({1, 2}), qv_double);
    EXPECT_EQ(z.isc(), 1);
    EXPECT_EQ(z.i(2), 0);

    Mm named(i_o, "keep", 0);
    named.deepcopy(test::row({4}), qv_double);
    EXPECT_STREQ(named.getname(), "keep");
    EXPECT_EQ(named.r(), 4);

    EXPECT_ERROR(Mm().deepcopy(Mm(0, 0, 0, 1, 1, qv_cell), qv_double),
                 "Can not convert (temporary) into a numeric matrix");
}

TEST(Members, DeepcopyOfASparseSourceToAFullTargetScatters)
{
    Mm s(0, 1, 2, 2, 2, qv_double);
    s.getindex()[0] = 1;
    s.getindex()[1] = 2;
    s.addr()[0] = 5;
    s.addr()[1] = 7;
    Mm full;
    full.deepcopy(0, 0, s, qv_double);
    ASSERT_EQ(full.getnnz(), 4);
    EXPECT_EQ(test::at(full, 0), 0);
    EXPECT_EQ(test::at(full, 1), 5);
    EXPECT_EQ(test::at(full, 2), 7);
    EXPECT_EQ(test::at(full, 3), 0);
}

TEST(Members, RealAndComplexParts)
{
    Mm z = test::complex(1, 2, {1, 2}, {0, 0});
    EXPECT_EQ(z.getreal(0), 0);
    EXPECT_EQ(z.isc(), 0);
    Mm w = test::complex(1, 1, {1}, {3});
    Mm shared = w;
    EXPECT_EQ(w.getreal(1), 0) << "forced";
    EXPECT_EQ(shared.isc(), 1) << "only this view lost its imaginary part";
    Mm r = test::row({1, 2});
    Mm other = r;
    EXPECT_EQ(r.getcomplex(), 1);
    EXPECT_EQ(r.isc(), 1);
    EXPECT_EQ(r.i(2), 0);
    EXPECT_EQ(other.isc(), 0);
}

TEST(Members, FieldNames)
{
    Mm s(0, 0, 0, 1, 1, qv_cell);
    EXPECT_EQ(s.addfield("a", 0), 0);
    EXPECT_EQ(s.addfield("a", 0), 0);
    EXPECT_EQ(s.getnfields(), 1);
    const char* names[] = {"b", "c", "d", "e", "f", "g", "h"};
    for (const char* n : names)
        s.addfield(n, 0);
    EXPECT_EQ(s.getfields()[8], nullptr) << "a full array of 8 ends in its null entry";
    EXPECT_EQ(s.addfield("i", 0), 8);
    EXPECT_NE(s.getfields()[9], nullptr) << "the ninth name doubled the array to 16 slots";
    EXPECT_EQ(s.getfields()[16], nullptr);
    EXPECT_STREQ(s.getfields()[9], "char");
    EXPECT_EQ(s.findfield("e", 0), 4);
    EXPECT_EQ(s.findfield("E", 0), -1);
    EXPECT_ERROR(s.findfield("zz", 1), "(temporary).zz: structure field does not exist");
    EXPECT_ERROR(Mm(1.0).findfield("a", 1), "=1.a: not a structure");
    EXPECT_STREQ(s.getfield(1), "b");
    EXPECT_ERROR(s.getfield(9), "getfield: index=9 out of range [0..9)");

    Mm copy = s;
    EXPECT_EQ(s.rmfield("b"), 1);
    EXPECT_EQ(s.getnfields(), 8);
    EXPECT_STREQ(s.getfield(1), "c");
    EXPECT_EQ(copy.getnfields(), 9) << "removing from a shared value copies it first";
    EXPECT_STREQ(copy.getfield(1), "b");
    EXPECT_ERROR(s.rmfield("b"), "(temporary).b: structure field does not exist");
}

// A null pointer where a name, a buffer or the extents belong is refused
// with an error (a host's C caller passing an unset pointer), as TM,
// BR and error take a null pointer without a crash; the value it was asked
// of is left as it was.
TEST(Members, NullPointersGiveClearErrors)
{
    Mm s(0, 0, 0, 1, 1, qv_cell);
    s.addfield("a", 0);
    s.member("a") = Mm(7.0);
    char buf[4] = "xyz";
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { Mstr(TM("abc"), nullptr, 10); }, "Mstr: the buffer is a null pointer"},
        {[&] { Mstr_row(TM("abc"), nullptr, 10); }, "Mstr: the buffer is a null pointer"},
        {[&] { Mstr(static_cast<const double*>(nullptr), 0, 0, nullptr, 4); }, "Mstr: the buffer is a null pointer"},
        {[&] { Mm x = s.member(nullptr); }, "member: the field name is a null pointer"},
        {[&] { s.member(nullptr) = Mm(1.0); }, "member: the field name is a null pointer"},
        {[&] { Mm x = s.member("a").member(nullptr); }, "member: the field name is a null pointer"},
        {[&] { s.findfield(nullptr, 1); }, "(temporary): the field name is a null pointer"},
        {[&] { s.addfield(nullptr, 0); }, "(temporary): the field name is a null pointer"},
        {[&] { s.addfield(nullptr, 1); }, "(temporary): the field name is a null pointer"},
        {[&] { s.rmfield(nullptr); }, "(temporary): the field name is a null pointer"},
        {[&] { Mm(0, 0, 0, 3, static_cast<const int*>(nullptr), qv_double); }, "Mm: the extents are a null pointer"},
        {[&] { Mm(0, 1, 0, 2, static_cast<const int*>(nullptr), qv_double); }, "Mm: the extents are a null pointer"},
    };
    for (const auto& [statement, message] : cases) {
        SCOPED_TRACE(message);
        EXPECT_EQ(test::error_of(statement), message);
        EXPECT_EQ(s.getnfields(), 1);
        EXPECT_STREQ(s.getfield(0), "a");
        EXPECT_EQ(Mm(s.member("a")).r(), 7.0);
    }
    // A lookup that may fail quietly answers "no such field".
    EXPECT_EQ(s.findfield(nullptr, 0), -1);
    // No extents for no dimensions is the empty value it always was.
    const Mm none(0, 0, 0, 0, static_cast<const int*>(nullptr), qv_double);
    EXPECT_EQ(none.size(), 1);
    Mstr(TM("ab"), buf, 4);
    EXPECT_STREQ(buf, "ab");
}

Mm sparse_row(int cols, std::vector<int> positions, std::vector<double> values)
{
    Mm s(0, 1, static_cast<int>(positions.size()), 1, cols, qv_double);
    for (size_t k = 0; k < positions.size(); ++k) {
        s.getindex()[k] = positions[k];
        s.addr()[k] = values[k];
    }
    return s;
}

TEST(Members, SparseUpkeep)
{
    Mm s = sparse_row(5, {3, 0, 0}, {0, 1, -1});
    s.sort();
    EXPECT_EQ(s.getindex()[0], 0);
    EXPECT_EQ(s.addr()[0], 1) << "equal positions keep their order";
    EXPECT_EQ(s.addr()[1], -1);
    EXPECT_EQ(s.getindex()[2], 3);
    s.setlogical(1);
    s.resparse();
    ASSERT_EQ(s.getnnz(), 1) << "the zero at 3 goes, the summed zero at 0 stays";
    EXPECT_EQ(s.getindex()[0], 0);
    EXPECT_EQ(s.addr()[0], 0);
    EXPECT_EQ(s.islogical(), 1);

    Mm t = sparse_row(9, {1, 4, 7}, {1, 2, 3});
    EXPECT_EQ(t.search(4), 1);
    EXPECT_EQ(t.search(5), -1);
    t.extend_nnz(5);
    EXPECT_EQ(t.getnnz(), 5);
    EXPECT_EQ(t.getindex()[2], 7);
    EXPECT_EQ(t.addr()[4], 0);
    t.extend_nnz(50);
    EXPECT_EQ(t.getnnz(), 9) << "bounded by the element count";
    EXPECT_ERROR(Mm(1.0).sort(), "::sort: sparse matrix expected, but matrix =1 is full");
}

} // namespace
