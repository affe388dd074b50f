// Reshape and concatenation: how extents, element types, text, logical,
// complex and sparse operands combine, and the exact messages of every
// mismatch.
#include "test_support.hpp"

#include <functional>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

Mm logical_row(std::initializer_list<double> v)
{
    Mm x = test::row(v);
    x.setlogical(1);
    return x;
}

// A sparse value from its stored 0-based positions and values.
Mm sparse_of(int rows, int cols, std::vector<int> at, std::vector<double> v)
{
    Mm s(0, 1, static_cast<int>(at.size()), rows, cols, qv_double);
    for (std::size_t k = 0; k < at.size(); ++k) {
        s.getindex()[k] = at[k];
        s.addr()[k] = v[k];
    }
    return s;
}

std::vector<double> imag_values(const Mm& x)
{
    if (!x.isc())
        return std::vector<double>(x.size(), 0.0);
    return std::vector<double>(x.addi(), x.addi() + x.size());
}

std::vector<int> stored_positions(const Mm& s) { return std::vector<int>(s.getindex(), s.getindex() + s.getnnz()); }

Mm counting(int n) { return colon(1.0, double(n)); }

Mm pages(int rows, int cols, int depth, double first)
{
    const int d[3] = {rows, cols, depth};
    Mm x(0, 0, 0, 3, d, qv_double);
    for (int k = 0; k < x.size(); ++k)
        x.addr()[k] = first + k;
    return x;
}

// A 1x1 struct with the given fields holding the given numbers.
Mm make_struct(std::vector<const char*> names, std::vector<double> v)
{
    Mm args(0, 0, 0, 1, 2 * static_cast<int>(names.size()), qv_cell);
    for (std::size_t k = 0; k < names.size(); ++k) {
        args.mr(2 * static_cast<int>(k) + 1) = TM(names[k]);
        args.mr(2 * static_cast<int>(k) + 2) = Mm(v[k]);
    }
    return mstruct(args);
}

TEST(Concat, JoinedValues)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<int> dims;
        std::vector<double> re;
        std::vector<double> im;  // empty: real
        bool text;
        bool logical;
    };
    const Mm col12 = test::real(2, 1, {1, 2});
    const std::vector<Case> cases = {
        {"empty dropped whatever its extents", horzcat(zeros(Mm(0.0), Mm(3.0)), test::row({1, 2})), {1, 2}, {1, 2}, {}, false, false},
        {"vertcat([], x)", vertcat(x_M, test::row({1, 2})), {1, 2}, {1, 2}, {}, false, false},
        {"x with an empty second", horzcat(col12, x_M), {2, 1}, {1, 2}, {}, false, false},
        {"columns side by side", horzcat(col12, test::real(2, 1, {3, 4})), {2, 2}, {1, 2, 3, 4}, {}, false, false},
        {"rows stacked interleave columns", vertcat(test::real(2, 2, {1, 2, 3, 4}), test::row({5, 6})), {3, 2},
         {1, 2, 5, 3, 4, 6}, {}, false, false},
        {"text with numbers is text", horzcat(TM("ab"), test::row({99, 100})), {1, 4}, {97, 98, 99, 100}, {}, true, false},
        {"numbers with text is text", vertcat(test::row({65}), TM("b")), {2, 1}, {65, 98}, {}, true, false},
        {"logical with double", vertcat(logical_row({1, 0}), test::row({2, 3})), {2, 2}, {1, 2, 0, 3}, {}, false, false},
        {"logical with logical", vertcat(logical_row({1, 0}), logical_row({0, 1})), {2, 2}, {1, 0, 0, 1}, {}, false, true},
        {"complex then real", horzcat(test::complex(1, 1, {1}, {2}), Mm(3.0)), {1, 2}, {1, 3}, {2, 0}, false, false},
        {"real over complex", vertcat(test::row({1, 2}), test::complex(1, 2, {3, 4}, {5, 6})), {2, 2}, {1, 3, 2, 4},
         {0, 5, 0, 6}, false, false},
        {"cat(1.5) is vertical", cat(Mm(1.5), test::row({1, 2}), test::row({3, 4})), {2, 2}, {1, 3, 2, 4}, {}, false, false},
        {"cat(0) is vertical", cat(Mm(0.0), test::row({1}), test::row({2})), {2, 1}, {1, 2}, {}, false, false},
        {"cat(2) is horizontal", cat(Mm(2.0), test::row({1}), test::row({2})), {1, 2}, {1, 2}, {}, false, false},
        {"cat(3) of rows", cat(Mm(3.0), test::row({1, 2}), test::row({3, 4})), {1, 2, 2}, {1, 2, 3, 4}, {}, false, false},
        {"cat(4) of rows", cat(Mm(4.0), test::row({1, 2}), test::row({3, 4})), {1, 2, 1, 2}, {1, 2, 3, 4}, {}, false, false},
        {"cat(2) of pages interleaves per page", cat(Mm(2.0), pages(2, 1, 2, 1), pages(2, 1, 2, 11)), {2, 2, 2},
         {1, 2, 11, 12, 3, 4, 13, 14}, {}, false, false},
        {"cat(3) of pages", cat(Mm(3.0), pages(1, 2, 2, 1), pages(1, 2, 2, 5)), {1, 2, 4}, {1, 2, 3, 4, 5, 6, 7, 8}, {}, false,
         false},
        {"cat(3) text and complex", cat(Mm(3.0), TM("a"), test::complex(1, 1, {2}, {3})), {1, 1, 2}, {97, 2}, {0, 3}, true,
         false},
        {"three operands", cat(Mm(1.0), Mm(1.0), Mm(2.0), Mm(3.0)), {3, 1}, {1, 2, 3}, {}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.result.gettype(), qv_double);
        EXPECT_EQ(extents(c.result), c.dims);
        EXPECT_EQ(values(c.result), c.re);
        if (c.im.empty())
            EXPECT_FALSE(c.result.isc());
        else
            EXPECT_EQ(imag_values(c.result), c.im);
        EXPECT_EQ(c.result.isstr() != 0, c.text);
        EXPECT_EQ(c.result.islogical() != 0, c.logical);
    }
}

TEST(Concat, Uint8WinsOverDouble)
{
    const Mm a = horzcat(test::bytes(1, 1, {7}), Mm(300.0));
    const Mm b = vertcat(Mm(-1.5), test::bytes(1, 1, {9}));
    for (const Mm* x : {&a, &b}) {
        ASSERT_EQ(x->gettype(), qv_uint8);
        EXPECT_EQ(x->size(), 2);
    }
    EXPECT_EQ(a.getpr((unsigned char*)nullptr)[0], 7);
    EXPECT_EQ(a.getpr((unsigned char*)nullptr)[1], 44) << "300 as a byte keeps its low 8 bits";
    EXPECT_EQ(extents(b), (std::vector<int>{2, 1}));
    EXPECT_EQ(b.getpr((unsigned char*)nullptr)[0], 255) << "-1.5 truncates to -1, low 8 bits";
    EXPECT_EQ(b.getpr((unsigned char*)nullptr)[1], 9);
}

TEST(Concat, SparseWithFullIsSparseAndSorted)
{
    // [0 7; 5 0] stored as (2,1) and (1,2).
    const Mm s = sparse_of(2, 2, {1, 2}, {5, 7});
    const Mm h = horzcat(s, test::real(2, 2, {0, 9, 8, 0}));
    ASSERT_TRUE(h.issparse());
    EXPECT_EQ(extents(h), (std::vector<int>{2, 4}));
    EXPECT_EQ(values(h), (std::vector<double>{0, 5, 7, 0, 0, 9, 8, 0}));
    EXPECT_EQ(stored_positions(h), (std::vector<int>{1, 2, 5, 6})) << "only the full operand's non-zeros are stored";

    const Mm v = vertcat(test::real(1, 2, {3, 0}), s);
    ASSERT_TRUE(v.issparse());
    EXPECT_EQ(extents(v), (std::vector<int>{3, 2}));
    EXPECT_EQ(values(v), (std::vector<double>{3, 0, 5, 0, 7, 0}));
    EXPECT_EQ(stored_positions(v), (std::vector<int>{0, 2, 4}));

    const Mm both = vertcat(s, s);
    EXPECT_EQ(values(both), (std::vector<double>{0, 5, 0, 5, 7, 0, 7, 0}));
    EXPECT_EQ(stored_positions(both), (std::vector<int>{1, 3, 4, 6}));
}

// Joins at the longest line and the largest square a sparse value holds.
// A join of a row or a column of 2^31 - 1 elements was refused with "Out of
// memory!" (its extent was held to the full form's count) even where the
// result fits, as [S; 0] of a 1 x 1 value does not but [S, T] of two rows
// summing to 2^31 - 1 elements does. Past the count the message is the
// sparse limit's own, as for the square; below it the stored entries are
// placed where the joined extents put them.
TEST(Concat, JoinsAtTheLimitOfSparsePositions)
{
    constexpr int longest = 2147483647;
    const Mm row = sparse_of(1, longest, {0, longest - 1}, {2, 3});
    const Mm column = sparse_of(longest, 1, {5, longest - 1}, {4, 6});
    const Mm head = sparse_of(1, 1000, {999}, {7});
    const Mm tail = sparse_of(1, longest - 1000, {0, longest - 1001}, {8, 9});
    const Mm square = sparse_of(46340, 46340, {0, 46340 * 46340 - 1}, {1, 5});
    auto past = [](const char* extents) {
        return std::string("sparse: ") + extents + " has more than 2147483647 elements, the most a sparse value holds";
    };
    struct Case {
        const char* what;
        std::function<Mm()> join;
        std::string error;
        std::vector<int> extents, stored;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"[R R]", [&] { return horzcat(row, row); }, past("1x4294967294"), {}, {}, {}},
        {"[R; R]", [&] { return vertcat(row, row); }, past("2x2147483647"), {}, {}, {}},
        {"[R 5]", [&] { return horzcat(row, Mm(5.0)); }, past("1x2147483648"), {}, {}, {}},
        {"[R sparse(5)]", [&] { return horzcat(row, sparse(Mm(5.0))); }, past("1x2147483648"), {}, {}, {}},
        {"[C C]", [&] { return horzcat(column, column); }, past("2147483647x2"), {}, {}, {}},
        {"[C; 5]", [&] { return vertcat(column, Mm(5.0)); }, past("2147483648x1"), {}, {}, {}},
        {"[S S]", [&] { return horzcat(square, square); }, past("46340x92680"), {}, {}, {}},
        {"[A B] to 2^31 - 1", [&] { return horzcat(head, tail); }, "", {1, longest}, {999, 1000, longest - 1},
         {7, 8, 9}},
        {"[B A] to 2^31 - 1", [&] { return horzcat(tail, head); }, "", {1, longest},
         {0, longest - 1001, longest - 1}, {8, 9, 7}},
        {"[A.' ; B.'] to 2^31 - 1", [&] { return vertcat(transpose(head), transpose(tail)); }, "", {longest, 1},
         {999, 1000, longest - 1}, {7, 8, 9}},
        {"[S; a row]", [&] { return vertcat(square, sparse_of(1, 46340, {46339}, {6})); }, "", {46341, 46340},
         {0, 46341 * 46340 - 2, 46341 * 46340 - 1}, {1, 5, 6}},
        {"[S, a full column]", [&] { return horzcat(square, zeros(46340.0, 1.0)); },
         "", {46340, 46341}, {0, 46340 * 46340 - 1}, {1, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm got;
        EXPECT_EQ(test::error_of([&] { got = c.join(); }), c.error);
        if (!c.error.empty())
            continue;
        ASSERT_TRUE(got.issparse());
        EXPECT_EQ(extents(got), c.extents);
        EXPECT_EQ(stored_positions(got), c.stored);
        EXPECT_EQ(std::vector<double>(got.addr(), got.addr() + got.getnnz()), c.values);
    }
}

TEST(Concat, CellsAndStructArrays)
{
    Mm a(0, 0, 0, 1, 1, qv_cell), b(0, 0, 0, 1, 2, qv_cell);
    a.mr(1) = Mm(1.0);
    b.mr(1) = TM("x");
    b.mr(2) = Mm(3.0);
    const Mm h = horzcat(a, b);
    ASSERT_EQ(h.gettype(), qv_cell);
    EXPECT_EQ(extents(h), (std::vector<int>{1, 3}));
    EXPECT_EQ(h.mr(1).r(), 1);
    EXPECT_TRUE(h.mr(2).isstr());
    EXPECT_EQ(h.mr(3).r(), 3);
    const Mm v = vertcat(b, b);
    EXPECT_EQ(extents(v), (std::vector<int>{2, 2}));
    EXPECT_TRUE(v.mr(2).isstr());

    const Mm s = horzcat(make_struct({"a", "b"}, {1, 2}), make_struct({"a", "b"}, {3, 4}));
    ASSERT_TRUE(s.isstruct());
    EXPECT_EQ(extents(s), (std::vector<int>{1, 2}));
    EXPECT_EQ(Mm(s(Mm(2.0)).member("b")).r(), 4);
}

TEST(Concat, Mismatches)
{
    Mm unset(i_o, "u", 0);
    const Mm c(0, 0, 0, 1, 1, qv_cell);
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"cols", [] { vertcat(test::row({1, 2}), test::row({3, 4, 5})); }, "vertcat: # of cols different"},
        {"rows", [] { horzcat(test::real(2, 1, {1, 2}), test::row({3, 4})); }, "horzcat: # of rows different"},
        {"cell with double", [&] { horzcat(c, Mm(1.0)); }, "Operation can not be performed on mixed cell and numeric matrix"},
        {"double with cell", [&] { vertcat(Mm(1.0), c); }, "Operation can not be performed on mixed cell and numeric matrix"},
        {"dimension 5", [] { cat(Mm(5.0), Mm(1.0), Mm(2.0)); }, "cat: no such dimension"},
        {"dimension below 1 with pages", [] { cat(Mm(0.5), pages(1, 1, 2, 1), pages(1, 1, 2, 1)); }, "cat: no such dimension"},
        {"empty kept above 2", [] { cat(Mm(3.0), zeros(Mm(0.0), Mm(3.0)), test::row({1, 2})); },
         "cat: arguments do not have compatible dimensions"},
        {"other extent differs", [] { cat(Mm(3.0), test::row({1, 2}), test::row({1, 2, 3})); },
         "cat: arguments do not have compatible dimensions"},
        {"dimension counts differ", [] { cat(Mm(3.0), pages(2, 2, 2, 1), test::real(2, 2, {1, 2, 3, 4})); },
         "cat: arguments do not have the same number of dimensions"},
        {"no value", [&] { horzcat(unset, Mm(1.0)); }, "variable 'u' was used without a value"},
        {"structs of other fields", [] { horzcat(make_struct({"a"}, {1}), make_struct({"b"}, {2})); },
         "horzcat: structures do not have the same fields"},
        {"struct with a cell", [&] { vertcat(make_struct({"a"}, {1}), c); }, "vertcat: structures do not have the same fields"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        EXPECT_ERROR(k.run(), k.message);
    }
}

TEST(Concat, AfterAReturnedErrorTheResultIsTheEmptyValue)
{
    static std::vector<std::string> seen;
    seen.clear();
    qv_text_handler old = qv_set_error_handler([](const char* t) { seen.push_back(t); });
    const Mm rows = horzcat(test::real(2, 1, {1, 2}), test::row({3, 4}));
    const Mm mixed = horzcat(Mm(0, 0, 0, 1, 1, qv_cell), Mm(1.0));
    const Mm dim = cat(Mm(7.0), Mm(1.0), Mm(2.0));
    qv_set_error_handler(old);
    EXPECT_EQ(seen.size(), 3u);
    for (const Mm* x : {&rows, &mixed, &dim}) {
        EXPECT_EQ(x->gettype(), qv_double);
        EXPECT_EQ(extents(*x), (std::vector<int>{0, 0}));
    }
}

TEST(Reshape, NewExtents)
{
    struct Case {
        const char* what;
        Mm result;
        std::vector<int> dims;
    };
    const Mm x = counting(6);
    const std::vector<Case> cases = {
        {"[2 3]", reshape(x, test::row({2, 3})), {2, 3}},
        {"[6] is a column", reshape(x, Mm(6.0)), {6, 1}},
        {"[1 2 3]", reshape(x, test::row({1, 2, 3})), {1, 2, 3}},
        {"trailing 1 dropped", reshape(x, test::row({2, 3, 1, 1})), {2, 3}},
        {"2.7, 2 rounded", reshape(x, Mm(2.7), Mm(2.0)), {3, 2}},
        {"1, 2, 3", reshape(x, Mm(1.0), Mm(2.0), Mm(3.0)), {1, 2, 3}},
        {"1, 1, 2, 3", reshape(x, Mm(1.0), Mm(1.0), Mm(2.0), Mm(3.0)), {1, 1, 2, 3}},
        {"empty keeps its extents", reshape(zeros(Mm(0.0), Mm(3.0)), test::row({3, 0})), {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extents(c.result), c.dims);
        if (c.result.size() > 0) {
            EXPECT_EQ(c.result.addr(), x.addr()) << "the data are shared, not copied";
            EXPECT_EQ(values(c.result), values(x));
        }
    }
    const Mm s = reshape(sparse_of(2, 2, {1, 2}, {5, 7}), test::row({1, 4}));
    ASSERT_TRUE(s.issparse());
    EXPECT_EQ(values(s), (std::vector<double>{0, 5, 7, 0}));
}

TEST(Reshape, CountsThatDoNotFit)
{
    const Mm x = counting(6);
    struct Case {
        const char* what;
        std::function<void()> run;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"[2.7 3]: a fractional extent never fits", [&] { reshape(x, test::row({2.7, 3})); },
         "reshape: size=6 is different than the product of new dimensions"},
        {"[2 4]", [&] { reshape(x, test::row({2, 4})); }, "reshape: size=6 is different than the product of new dimensions"},
        {"two counts", [&] { reshape(x, Mm(4.0), Mm(2.0)); }, "reshape: size=6 is different than 4*2"},
        {"three counts", [&] { reshape(x, Mm(1.0), Mm(2.0), Mm(4.0)); },
         "reshape: size=6 is different than the product of new dimensions"},
        {"negative pair", [&] { reshape(x, test::row({-2, -3})); },
         "reshape: size=6 is different than the product of new dimensions"},
        {"saturated extents", [&] { reshape(x, test::row({1e10, 1e10, 1e10, 1e10})); },
         "reshape: size=6 is different than the product of new dimensions"},
        {"saturated counts", [&] { reshape(x, Mm(2.0), Mm(1e300), Mm(1e300)); },
         "reshape: size=6 is different than the product of new dimensions"},
        {"too many", [&] { reshape(x, test::row({1, 1, 1, 1, 6})); }, "reshape: too many dimensions"},
        {"cell of sizes", [&] { reshape(x, Mm(0, 0, 0, 1, 2, qv_cell)); },
         "reshape: numeric data expected, but matrix (temporary) is not"},
        // An imaginary part was dropped without a word: [2+i 3] was [2 3].
        {"[2+i 3]", [&] { reshape(x, test::complex(1, 2, {2, 3}, {1, 0})); }, "reshape: the dimensions must be real"},
        {"[3 2i]", [&] { reshape(x, test::complex(1, 2, {3, 0}, {0, 2})); }, "reshape: the dimensions must be real"},
        {"counts 3, 2+i", [&] { reshape(x, Mm(3.0), test::complex(1, 1, {2}, {1})); },
         "reshape: the dimensions must be real"},
        {"counts 1, 2, sparse(3-i)", [&] { reshape(x, Mm(1.0), Mm(2.0), sparse(test::complex(1, 1, {3}, {-1}))); },
         "reshape: the dimensions must be real"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.run(), c.message);
    }
    // Imaginary parts that are all 0 are the real extents.
    EXPECT_EQ(test::extents(reshape(x, test::complex(1, 2, {3, 2}, {0, 0}))), (std::vector<int>{3, 2}));
    EXPECT_EQ(test::extents(reshape(x, test::complex(1, 1, {2}, {0}), Mm(3.0))), (std::vector<int>{2, 3}));
}

TEST(Reshape, AFailedReshapeKeepsTheExtents)
{
    static int reports = 0;
    reports = 0;
    qv_text_handler old = qv_set_error_handler([](const char*) { ++reports; });
    const Mm r = reshape(counting(6), test::row({2.7, 3}));
    qv_set_error_handler(old);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(extents(r), (std::vector<int>{1, 6}));
}

// A full empty value is 0x0 whatever the dimension joined along.
TEST(Concat, EmptyJoinsAre0x0)
{
    struct Case {
        const char* what;
        Mm got;
        bool text;
    };
    const std::vector<Case> cases = {
        {"cat(3, [], [])", cat(Mm(3.0), Mm(), Mm()), false},
        {"cat(4, [], [])", cat(Mm(4.0), Mm(), Mm()), false},
        {"cat(3, [], [], [])", cat(Mm(3.0), Mm(), Mm(), Mm()), false},
        {"cat(3, '', '')", cat(Mm(3.0), TM(""), TM("")), true},
        {"cat(3, uint8([]), [])", cat(Mm(3.0), muint8(Mm()), Mm()), false},
        {"cat(1, [], [])", cat(Mm(1.0), Mm(), Mm()), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got.getndims(), 2);
        EXPECT_EQ(extents(c.got), (std::vector<int>{0, 0}));
        EXPECT_EQ(c.got.size(), 0);
        EXPECT_EQ(bool(c.got.isstr()), c.text);
    }
    // Joining something still gives the third dimension.
    EXPECT_EQ(extents(cat(Mm(3.0), Mm(1.0), Mm(2.0))), (std::vector<int>{1, 1, 2}));
}

TEST(Concat, FormsWithNothingToCompute)
{
    const Mm x = test::real(2, 1, {4, 5});
    for (const Mm& empty : {cat(x), all()}) {
        EXPECT_EQ(empty.gettype(), qv_double);
        EXPECT_EQ(extents(empty), (std::vector<int>{0, 0}));
    }
    for (const Mm& same : {horzcat(x), vertcat(x), reshape(x)}) {
        EXPECT_EQ(same.addr(), x.addr());
        EXPECT_EQ(extents(same), (std::vector<int>{2, 1}));
    }
}

} // namespace
