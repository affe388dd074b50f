// Reading through index references: result shapes, shared storage, the
// index-error messages, struct fields, cells, sparse values and the
// references themselves (intake of index values, copies, cell indices).
#include "test_support.hpp"
#include "sparse_ranges.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

using test::counting;

Mm logical_row(std::initializer_list<double> v)
{
    Mm m = test::row(v);
    m.setlogical(1);
    return m;
}

Mm logical_matrix(int r, int c, std::initializer_list<double> v)
{
    Mm m = test::real(r, c, v);
    m.setlogical(1);
    return m;
}

struct ShapeCase {
    const char* what;
    Mm value;
    std::vector<int> dims;
    std::vector<double> values;
};

TEST(IndexRead, ResultShapesFollowTheBaseAndTheIndex)
{
    const Mm m3 = counting({3, 3});
    const Mm r4 = counting({1, 4});
    const Mm c4 = counting({4, 1});
    const Mm one = Mm(7.0);
    const Mm m34 = counting({3, 4});
    const std::vector<ShapeCase> cases = {
        {"3x3 by a row", Mm(m3(test::row({1, 2, 3}))), {1, 3}, {1, 2, 3}},
        {"3x3 by a column", Mm(m3(test::real(3, 1, {1, 2, 3}))), {3, 1}, {1, 2, 3}},
        {"3x3 by a 2x2 index", Mm(m3(test::real(2, 2, {9, 8, 7, 6}))), {2, 2}, {9, 8, 7, 6}},
        {"row by a column", Mm(r4(test::real(2, 1, {1, 2}))), {1, 2}, {1, 2}},
        {"column by a row", Mm(c4(test::row({1, 2}))), {2, 1}, {1, 2}},
        {"scalar by a 2x2 index", Mm(one(test::real(2, 2, {1, 1, 1, 1}))), {2, 2}, {7, 7, 7, 7}},
        {"3x3 by a 3x3 mask", Mm(m3(logical_matrix(3, 3, {1, 0, 0, 0, 1, 1, 0, 0, 1}))), {4, 1}, {1, 5, 6, 9}},
        {"3x3 by a 1x9 mask", Mm(m3(logical_row({1, 0, 0, 0, 1, 1, 0, 0, 1}))), {1, 4}, {1, 5, 6, 9}},
        {"row by a column mask", Mm(r4(logical_matrix(4, 1, {0, 1, 1, 0}))), {1, 2}, {2, 3}},
        {"mask with NaN selects nothing there", Mm(r4(logical_row({NAN, 1, NAN, 1}))), {1, 2}, {2, 4}},
        {"x(:) of 2x3", Mm(counting({2, 3})(c_p)), {6, 1}, {1, 2, 3, 4, 5, 6}},
        {"x(2,:) of 3x4", Mm(m34(Mm(2.0), c_p)), {1, 4}, {2, 5, 8, 11}},
        {"x(:,[4 1]) of 3x4", Mm(m34(c_p, test::row({4, 1}))), {3, 2}, {10, 11, 12, 1, 2, 3}},
        {"x([3 1],[2 2])", Mm(m34(test::row({3, 1}), test::row({2, 2}))), {2, 2}, {6, 4, 6, 4}},
        {"x(mask,:) with a row mask", Mm(m34(logical_row({1, 0, 1}), c_p)), {2, 4}, {1, 3, 4, 6, 7, 9, 10, 12}},
        {"x(1.7) is the first", Mm(r4(Mm(1.7))), {1, 1}, {1}},
        {"x(2.9) is the second", Mm(r4(Mm(2.9))), {1, 1}, {2}},
        {"x([]) is empty", Mm(r4(x_M)), {0, 0}, {}},
        {"x(:,:,2) of 2x2x2", Mm(counting({2, 2, 2})(c_p, c_p, Mm(2.0))), {2, 2}, {5, 6, 7, 8}},
        {"N-d base by one row index", Mm(counting({2, 2, 2})(test::row({8, 1}))), {1, 2}, {8, 1}},
        {"N-d vector keeps its orientation", Mm(counting({1, 1, 4})(test::row({4, 2}))), {1, 1, 2}, {4, 2}},
        {"3-index read", Mm(counting({2, 3, 2})(Mm(2.0), test::row({1, 3}), Mm(2.0))), {1, 2}, {8, 12}},
        {"range index", Mm(counting({1, 20})(colon(3.0, 14.0))), {1, 12}, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(extents(c.value), c.dims);
        EXPECT_EQ(values(c.value), c.values);
        EXPECT_EQ(c.value.getname(), nullptr) << "results never carry a name";
    }
}

TEST(IndexRead, WholeValueReadsShareStorage)
{
    Mm x(counting({2, 3}), "x");
    for (Mm y : {Mm(x(c_p)), Mm(x()), Mm(x(c_p, c_p))}) {
        EXPECT_EQ(y.addr(), x.addr());
        EXPECT_EQ(y.getname(), nullptr);
    }
    Mm column(x(c_p));
    EXPECT_EQ(extents(column), (std::vector<int>{6, 1}));
    EXPECT_EQ(extents(x), (std::vector<int>{2, 3})) << "the base keeps its shape";
    Mm empty(Mm()(c_p));
    EXPECT_EQ(extents(empty), (std::vector<int>{0, 0}));
}

struct ErrorCase {
    const char* what;
    std::function<void()> read;
    const char* message;
};

TEST(IndexRead, BadIndicesGetTheirMessages)
{
    const Mm x(counting({1, 3}), "x");
    const Mm m(counting({3, 4}), "m");
    const Mm a(counting({2, 3, 2}), "a");
    const Mm v(counting({1, 1, 6}), "v");
    const std::vector<ErrorCase> cases = {
        {"beyond a row", [&] { (void)Mm(x(Mm(5.0))); },
         "x(=5) : Index out of matrix. Index value was 5 however the indexed matrix has 3 elements."},
        {"zero", [&] { (void)Mm(x(Mm(0.0))); },
         "x(=0) : Index out of matrix. Index value was 0 however the indexed matrix has 3 elements."},
        {"minus a half selects position 0", [&] { (void)Mm(x(Mm(-0.5))); },
         "x(=0) : Index out of matrix. Index value was 0 however the indexed matrix has 3 elements."},
        {"NaN", [&] { (void)Mm(x(Mm(NAN))); },
         "x(=-2147483647) : Index out of matrix. Index value was 0 however the indexed matrix has 3 elements."},
        {"infinity", [&] { (void)Mm(x(Mm(INFINITY))); },
         "x(=2147483647) : Index out of matrix. Index value was 2147483647 however the indexed matrix has 3 "
         "elements."},
        {"a list with one bad value", [&] { (void)Mm(x(test::row({1, 4}))); },
         "x((temporary)) : Index out of matrix. Index value was 4 however the indexed matrix has 3 elements."},
        {"mask true beyond the end", [&] { (void)Mm(x(logical_row({0, 1, 0, 0, 1}))); },
         "x((temporary)) : Index out of matrix. Index value was 5 however the indexed matrix has 3 elements."},
        {"column", [&] { (void)Mm(m(c_p, Mm(5.0))); },
         "m(:,=5): col index out of matrix. Index was 5 but indexed matrix has 4 columns."},
        {"row", [&] { (void)Mm(m(Mm(4.0), Mm(1.0))); },
         "m(=4,=1): row index out of matrix. Index was 4 but indexed matrix has 3 rows."},
        {"the first column is checked before the rows", [&] { (void)Mm(m(test::row({9, 1}), test::row({7, 1}))); },
         "m((temporary),(temporary)): col index out of matrix. Index was 7 but indexed matrix has 4 columns."},
        {"the rows before a later column", [&] { (void)Mm(m(test::row({9, 1}), test::row({1, 7}))); },
         "m((temporary),(temporary)): row index out of matrix. Index was 9 but indexed matrix has 3 rows."},
        {"row mask beyond the rows", [&] { (void)Mm(m(logical_row({0, 0, 0, 1}), c_p)); },
         "m((temporary),:): row index out of matrix. Index was 4 but indexed matrix has 3 rows."},
        {"walk: one index past a non-vector", [&] { (void)Mm(a(Mm(13.0))); },
         "Index =13 out of matrix a. Index value was 13 however the indexed matrix has only 12 elements."},
        {"walk: one index past a vector", [&] { (void)Mm(v(Mm(7.0))); },
         "Index =7 out of vector v. Index value was 7 however the indexed vector has only 6 elements."},
        {"walk: the second index stays in its dimension", [&] { (void)Mm(a(Mm(1.0), Mm(5.0))); },
         "Index =5 out of matrix a. Index value was 5 however the indexed matrix has 3 elements in this "
         "dimension."},
        {"walk: not positive", [&] { (void)Mm(a(Mm(1.0), Mm(0.0), Mm(1.0))); },
         "index =0 out of matrix a. Index value was 0 which is not positive."},
        {"brace on a double", [&] { (void)Mm(x.br(Mm(1.0))); },
         "variable 'x' was {}-indexed, but it is not a cell array"},
        {"untyped base", [&] { Mm u(i_o, "u", 0); (void)Mm(u(Mm(1.0))); },
         "u(...): variable 'u' was used without value."},
        {"unassigned index", [&] { Mm u(i_o, "u", 0); (void)Mm(x(u)); }, "variable 'u' was used without a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_ERROR(c.read(), c.message);
    }
}

TEST(IndexRead, TheColonFunctionIsAnEmptyIndexNotTheColon)
{
    Mm x = test::row({4, 5, 6});
    Mm none(x(colon()));
    EXPECT_EQ(none.size(), 0);
    Mm all(x(c_p));
    EXPECT_EQ(all.size(), 3);
}

TEST(IndexRead, SilentReadsGiveAnUntypedValue)
{
    const Mm x(counting({1, 3}), "x");
    test::clear_printed();
    for (Mm r : {Mm(x(Mm(5.0)), 0), Mm(x(Mm(0.0), Mm(1.0)), 0), Mm(x.br(Mm(1.0)), 0), Mm(x.member("f"), 0)}) {
        EXPECT_EQ(r.gettype(), qv_none);
        EXPECT_EQ(r.getname(), nullptr);
    }
    EXPECT_EQ(test::printed(), "");
}

TEST(IndexRead, ComplexSelectionsWithoutImaginaryPartsAreReal)
{
    Mm z = test::complex(1, 3, {1, 2, 3}, {0, 5, 0});
    Mm picked(z(test::row({1, 3})));
    EXPECT_FALSE(picked.isc());
    EXPECT_EQ(values(picked), (std::vector<double>{1, 3}));
    Mm kept(z(test::row({3, 2})));
    ASSERT_TRUE(kept.isc());
    EXPECT_EQ(kept.addi()[1], 5);
    Mm one(z(Mm(2.0)));
    ASSERT_TRUE(one.isc()) << "the scalar read keeps a non-zero imaginary part";
    EXPECT_EQ(one.addi()[0], 5);
}

TEST(IndexRead, ResultsKeepTheBaseFlagsButNotItsWorkspaceMarks)
{
    Mm s = TM("hello");
    Mm piece(s(colon(2.0, 4.0)));
    EXPECT_TRUE(piece.isstr());
    Mm mask = logical_row({1, 0, 1});
    EXPECT_TRUE(Mm(mask(Mm(1.0))).islogical());
    Mm g(test::row({1, 2}), "g");
    g.getflags().global = 1;
    g.getflags().persistent = 1;
    Mm part(g(Mm(2.0)));
    EXPECT_EQ(part.getflags().global, 0);
    EXPECT_EQ(part.getflags().persistent, 0);
}

TEST(IndexRead, Uint8AndCellElements)
{
    Mm b = test::bytes(2, 2, {10, 20, 30, 40});
    Mm col(b(c_p, Mm(2.0)));
    EXPECT_EQ(col.gettype(), qv_uint8);
    EXPECT_EQ(col.ur(1), 30);
    EXPECT_EQ(col.ur(2), 40);

    Mm c(0, 0, 0, 1, 3, qv_cell);
    c.mr(1) = Mm(1.0);
    c.mr(2) = TM("two");
    c.mr(3) = Mm(3.0);
    Mm sub(c(test::row({3, 2})));
    EXPECT_EQ(sub.gettype(), qv_cell);
    EXPECT_EQ(extents(sub), (std::vector<int>{1, 2}));
    EXPECT_EQ(sub.mr(1).r(), 3);
    EXPECT_EQ(sub.mr(2).getpr((double*)nullptr), c.mr(2).getpr((double*)nullptr)) << "elements are shared";
    Mm second(c.br(test::row({2, 3})));
    EXPECT_TRUE(second.isstr()) << "a brace read returns the first selected element only";
    EXPECT_EQ(Mm(c.br(x_M)).size(), 0);
    const Mm empty(Mm(0, 0, 0, 0, 0, qv_cell), "empty");
    EXPECT_ERROR((void)Mm(empty.br(Mm(1.0))),
                 "Index =1 out of vector empty. Index value was 1 however the indexed vector has only 0 elements.");
}

Mm make_struct(int n, std::vector<const char*> fields)
{
    Mm s(0, 0, 0, 1, n, qv_cell);
    for (const char* f : fields)
        s.addfield(f, 1);
    for (int k = 1; k <= n; ++k) {
        Mm values(0, 0, 0, static_cast<int>(fields.size()), 1, qv_cell);
        for (int f = 1; f <= static_cast<int>(fields.size()); ++f)
            values.mr(f) = Mm(10.0 * k + f);
        s.mr(k) = values;
    }
    return s;
}

TEST(IndexRead, StructFields)
{
    Mm s(make_struct(3, {"a", "f"}), "s");
    Mm all(s.member("f"));
    ASSERT_EQ(all.gettype(), qv_cell);
    EXPECT_EQ(extents(all), (std::vector<int>{1, 3}));
    EXPECT_EQ(all.mr(3).r(), 32);
    Mm one(make_struct(1, {"a", "f"}));
    EXPECT_EQ(Mm(one.member("a")).r(), 11) << "a 1x1 struct gives the value itself";
    Mm none(Mm(0, 0, 0, 0, 0, qv_cell), "none");
    none.addfield("f", 1);
    EXPECT_EQ(Mm(none.member("f")).gettype(), qv_double);
    EXPECT_ERROR((void)Mm(s.member("g")), "s.g: structure field does not exist");
    const Mm d(Mm(1.0), "d");
    EXPECT_ERROR((void)Mm(d.member("g")), "d.g: not a structure");
    Mm bad = make_struct(2, {"a", "f"});
    bad.mr(2) = Mm(0, 0, 0, 1, 1, qv_cell);
    EXPECT_ERROR((void)Mm(bad.member("a")), "structure '(temporary)' is built wrong");
    // Chains: the second element's field.
    EXPECT_EQ(Mm(s(Mm(2.0)).member("a")).r(), 21);
    // Beyond the array, a silent read gives a struct of empty fields.
    Mm beyond(s(Mm(5.0)), 0);
    EXPECT_TRUE(beyond.isstruct());
    EXPECT_EQ(beyond.size(), 1);
    EXPECT_EQ(beyond.mr(1).size(), 2);
}

TEST(IndexRead, SparseBases)
{
    // 4x4 with entries at (1,1)=1, (3,2)=2, (2,4)=3, (4,4)=4.
    Mm s(0, 1, 4, 4, 4, qv_double);
    const int at[] = {0, 6, 13, 15};
    const double v[] = {1, 2, 3, 4};
    for (int k = 0; k < 4; ++k) {
        s.getindex()[k] = at[k];
        s.addr()[k] = v[k];
    }
    Mm cols(s(c_p, test::row({4, 3, 2})));
    EXPECT_TRUE(cols.issparse());
    EXPECT_EQ(extents(cols), (std::vector<int>{4, 3}));
    EXPECT_EQ(cols.getnnz(), 3) << "the empty column still counts";
    EXPECT_EQ(values(cols), (std::vector<double>{0, 3, 0, 4, 0, 0, 0, 0, 0, 0, 2, 0}));
    Mm block(s(test::row({2, 4}), test::row({4, 1})));
    EXPECT_TRUE(block.issparse());
    EXPECT_EQ(values(block), (std::vector<double>{3, 4, 0, 0}));
    Mm picked(s(test::row({7, 16, 2})));
    EXPECT_TRUE(picked.issparse());
    EXPECT_EQ(values(picked), (std::vector<double>{2, 4, 0}));
    Mm whole(s(c_p));
    EXPECT_EQ(extents(whole), (std::vector<int>{16, 1}));
    EXPECT_EQ(whole.getindex(), s.getindex()) << "x(:) shares even a sparse value";
    const Mm named(s, "s");
    EXPECT_ERROR((void)Mm(named(c_p, Mm(5.0))),
                 "Index =5 out of matrix s. Index value was 5 however the indexed matrix has 4 elements in this "
                 "dimension.");
    Mm sparse_index(0, 1, 2, 1, 2, qv_double);
    sparse_index.getindex()[0] = 0;
    sparse_index.getindex()[1] = 1;
    sparse_index.addr()[0] = 4;
    sparse_index.addr()[1] = 1;
    EXPECT_EQ(values(Mm(counting({1, 4})(sparse_index))), (std::vector<double>{4, 1}))
        << "a sparse index is read in its full form on the plain path";
    Mm with_zero(0, 1, 1, 1, 3, qv_double);
    with_zero.getindex()[0] = 1;
    with_zero.addr()[0] = 2;
    EXPECT_ERROR((void)Mm(named(with_zero)), "Sparse index (temporary) out of matrix s. Index value was 0.");
}

// An index that selects nothing reads the empty value from a sparse base,
// as from its full form, however the other index looks (beyond the
// extents included: nothing is read there). S(k, find(mask)) with no match
// is the everyday case.
TEST(IndexRead, EmptySelectionsOfASparseValueAreEmpty)
{
    const Mm a(reshape(counting({1, 9}), Mm(3.0), Mm(3.0)), "A");
    const Mm s(sparse(a), "S");
    const Mm none = logical_row({0, 0, 0});
    const Mm none9 = logical_row({0, 0, 0, 0, 0, 0, 0, 0, 0});
    const Mm nothing_found = find(test::row({0, 0, 0}));
    struct Case {
        const char* what;
        std::function<Mm(const Mm&)> read;
    };
    const std::vector<Case> cases = {
        {"x(2, [])", [](const Mm& x) { return Mm(x(Mm(2.0), Mm())); }},
        {"x(2, logical([0 0 0]))", [&](const Mm& x) { return Mm(x(Mm(2.0), none)); }},
        {"x(2, find([0 0 0]))", [&](const Mm& x) { return Mm(x(Mm(2.0), nothing_found)); }},
        {"x([], :)", [](const Mm& x) { return Mm(x(Mm(), c_p)); }},
        {"x(:, [])", [](const Mm& x) { return Mm(x(c_p, Mm())); }},
        {"x([], [])", [](const Mm& x) { return Mm(x(Mm(), Mm())); }},
        {"x([], 2)", [](const Mm& x) { return Mm(x(Mm(), Mm(2.0))); }},
        {"x(logical([0 0 0]), [1 3])", [&](const Mm& x) { return Mm(x(none, test::row({1, 3}))); }},
        {"x(5, []): a row beyond the extents", [](const Mm& x) { return Mm(x(Mm(5.0), Mm())); }},
        {"x([], 7): a column beyond the extents", [](const Mm& x) { return Mm(x(Mm(), Mm(7.0))); }},
        {"x(zeros(1, 0), 2)", [](const Mm& x) { return Mm(x(zeros(Mm(1.0), Mm(0.0)), Mm(2.0))); }},
        {"x([])", [](const Mm& x) { return Mm(x(Mm())); }},
        {"x(false(1, 9))", [&](const Mm& x) { return Mm(x(none9)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Mm from_full, from_sparse;
        EXPECT_EQ(test::error_of([&] { from_full = c.read(a); }), "");
        EXPECT_EQ(test::error_of([&] { from_sparse = c.read(s); }), "");
        EXPECT_TRUE(from_sparse.issparse());
        EXPECT_EQ(from_sparse.size(), 0);
        EXPECT_EQ(extents(from_sparse), extents(from_full));
        EXPECT_EQ(isequal(from_sparse, from_full), 1);
    }
    // The selections around them still check their positions.
    EXPECT_ERROR((void)Mm(s(Mm(2.0), Mm(4.0))),
                 "Index =4 out of matrix S. Index value was 4 however the indexed matrix has 3 elements in this "
                 "dimension.");
}

// A class whose "subsref" records the subscript record it receives.
Mm last_record;
Mm recording_subsref(Mm object, Mm record)
{
    last_record = record;
    return Mm(42.0);
}

TEST(IndexRead, ClassesWithSubsrefReceiveTheSubscriptRecord)
{
    register_class_function("probe", "subsref", recording_subsref);
    Mm object = mclass(make_struct(1, {"a"}), TM("probe"));
    EXPECT_EQ(Mm(object(Mm(2.0), c_p)).r(), 42);
    ASSERT_TRUE(last_record.isstruct());
    Mm type(last_record.member("type"));
    char text[8];
    Mstr(type, text, sizeof text);
    EXPECT_STREQ(text, "()");
    Mm subs(last_record.member("subs"));
    ASSERT_EQ(subs.gettype(), qv_cell);
    EXPECT_EQ(extents(subs), (std::vector<int>{2, 1}));
    EXPECT_EQ(subs.mr(1).r(), 2);
    EXPECT_EQ(extents(subs.mr(2)), (std::vector<int>{0, 0}));
    EXPECT_EQ(subs.mr(2).getname(), nullptr) << "the colon is stored as an ordinary empty value";

    (void)Mm(object.member("name"));
    Mstr(Mm(last_record.member("type")), text, sizeof text);
    EXPECT_STREQ(text, ".");
    Mstr(Mm(last_record.member("subs")), text, sizeof text);
    EXPECT_STREQ(text, "name");
    (void)Mm(object());
    EXPECT_EQ(Mm(last_record.member("subs")).size(), 0) << "x() passes an empty cell";
    unregister_class_function("probe", "subsref");
    last_record = Mm();
}

TEST(IndexReference, IntakeBorrowsDoublesAndOwnsConversions)
{
    Mm x = counting({3, 3});
    Mm k(2.0);
    Mr by_double(Mr_paren, x, k);
    EXPECT_EQ(&by_double.getindex(0), &k);
    EXPECT_FALSE(by_double.isowned(0));
    Mm u = test::bytes(1, 1, {3});
    Mr by_byte(Mr_paren, x, u);
    EXPECT_TRUE(by_byte.isowned(0));
    EXPECT_EQ(by_byte.getindex(0).gettype(), qv_double);
    EXPECT_EQ(Mm(by_byte).r(), 3);
    Mr copy(by_byte);
    EXPECT_FALSE(copy.isowned(0)) << "a copy borrows";
    EXPECT_EQ(&copy.getindex(0), &by_byte.getindex(0));

    Mm pair(0, 0, 0, 1, 2, qv_cell);
    pair.mr(1) = Mm(2.0);
    pair.mr(2) = test::bytes(1, 1, {3});
    Mr by_cell(Mr_paren, x, pair);
    ASSERT_EQ(by_cell.getnidx(), 2);
    EXPECT_EQ(Mm(by_cell).r(), 8) << "x({2, 3}) is x(2, 3)";
    Mm five(0, 0, 0, 1, 5, qv_cell);
    EXPECT_EQ(Mr(Mr_paren, x, five).getnidx(), 0);
    EXPECT_EQ(Mm(Mr(Mr_paren, x, five)).size(), 9) << "five elements refer to x as a whole";
    EXPECT_EQ(Mm(Mr(Mr_paren, x, Mm(0, 0, 0, 0, 0, qv_cell))).size(), 9);
    EXPECT_EQ(x(Mm(1.0)).size(), 1);

    // Reading through a reference writes nothing to its base; writing
    // through one takes the scalar-variable mark.
    Mm scalar(5.0);
    ASSERT_EQ(scalar.getflags().scalar_var, 1);
    const Mm first(1.0);
    Mr on_scalar(Mr_paren, scalar, first);
    EXPECT_EQ(scalar.getflags().scalar_var, 1) << "building a reference";
    const Mm read(on_scalar);
    EXPECT_EQ(read.r(), 5);
    EXPECT_EQ(read.getflags().scalar_var, 0) << "a read value is no variable";
    EXPECT_EQ(scalar.getflags().scalar_var, 1) << "reading through it";
    scalar(Mm(1.0)) = Mm(6.0);
    EXPECT_EQ(scalar.getflags().scalar_var, 0) << "a base written through an index loses its mark";
}

// Logical masks of every layout read the selected elements in order: none,
// all, the first or last only, NaN entries (not selected), a mask longer
// than the base whose extra entries are false, real and complex bases.
TEST(IndexRead, LogicalMasksSelectInOrder)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        Mm mask;
        std::vector<double> expected;
    };
    const Mm base = test::row({10, 20, 30, 40, 50});
    const std::vector<Case> cases = {
        {"none", logical_row({0, 0, 0, 0, 0}), {}},
        {"all", logical_row({1, 1, 1, 1, 1}), {10, 20, 30, 40, 50}},
        {"first", logical_row({1, 0, 0, 0, 0}), {10}},
        {"last", logical_row({0, 0, 0, 0, 1}), {50}},
        {"alternate", logical_row({1, 0, 1, 0, 1}), {10, 30, 50}},
        {"NaN is not selected", logical_row({nan, 1, nan, 1, 0}), {20, 40}},
        {"shorter", logical_row({0, 1}), {20}},
        {"longer, extra false", logical_row({0, 1, 0, 0, 1, 0, 0}), {20, 50}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm r(base(c.mask));
        EXPECT_EQ(values(r), c.expected);
        EXPECT_EQ(r.size(), static_cast<int>(c.expected.size()));
        const Mm z(test::complex(1, 5, {1, 2, 3, 4, 5}, {-1, -2, -3, -4, -5})(c.mask));
        ASSERT_EQ(z.size(), static_cast<int>(c.expected.size()));
        for (int k = 0; k < z.size(); ++k) {
            EXPECT_EQ(z.addr()[k] * 10, c.expected[k]);
            EXPECT_EQ(z.addi()[k] * 10, -c.expected[k]);
        }
    }
    EXPECT_EQ(test::error_of([&] { Mm r(base(logical_row({0, 0, 0, 0, 0, 1}))); }),
              "(temporary)((temporary)) : Index out of matrix. Index value was 6 however the indexed matrix has 5 elements.");
}

// A(i, :) and A(i, J) read one row by a strided walk; the result is that of
// the element-by-element definition for real, complex, text and cell bases.
TEST(IndexRead, RowReads)
{
    const Mm a = counting({3, 4});
    struct Case {
        const char* what;
        Mm row_index;
        const Mm* columns;  // c_p itself: a copy would be an empty index
        std::vector<double> expected;
    };
    const Mm some = test::row({4, 2, 2}), mask = logical_row({1, 0, 0, 1});
    const std::vector<Case> cases = {
        {"A(2,:)", Mm(2.0), &c_p, {2, 5, 8, 11}},
        {"A(3,:)", Mm(3.0), &c_p, {3, 6, 9, 12}},
        {"A(1,[4 2 2])", Mm(1.0), &some, {10, 4, 4}},
        {"A(2, logical)", Mm(2.0), &mask, {2, 11}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm r(a(c.row_index, *c.columns));
        EXPECT_EQ(values(r), c.expected);
        EXPECT_EQ(extents(r), (std::vector<int>{1, static_cast<int>(c.expected.size())}));
    }
    const Mm z(test::complex(2, 2, {1, 2, 3, 4}, {5, 6, 7, 8})(Mm(2.0), c_p));
    EXPECT_EQ(values(z), (std::vector<double>{2, 4}));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(std::vector<double>(z.addi(), z.addi() + 2), (std::vector<double>{6, 8}));
    const Mm text(test::text("abc")(Mm(1.0), c_p));
    EXPECT_EQ(test::text_of(text), "abc");
    const Mm cells = test::cell_of(2, 2, {Mm(1.0), Mm(2.0), test::text("x"), Mm(4.0)});
    const Mm second(cells(Mm(2.0), c_p));
    ASSERT_EQ(second.size(), 2);
    EXPECT_EQ(*second.mr(1).addr(), 2.0);
    EXPECT_EQ(*second.mr(2).addr(), 4.0);
    EXPECT_EQ(test::error_of([&] { Mm r(a(Mm(4.0), c_p)); }),
              "(temporary)(=4,:): row index out of matrix. Index was 4 but indexed matrix has 3 rows.");
}

// y = x(k) into a variable that holds a real scalar writes the element into
// the variable's own block and ends as assignment of the read value would:
// the base's flags, the variable's name. Out-of-range indices get the
// general path's message.
TEST(IndexRead, ScalarReadIntoAScalarVariable)
{
    const Mm x = test::row({1.5, 2.5, 3.5});
    Mm y(0.0, "y");
    const double* block = y.addr();
    y = x(Mm(2.0));
    EXPECT_EQ(*y.addr(), 2.5);
    EXPECT_EQ(y.addr(), block);
    EXPECT_STREQ(y.getname(), "y");

    Mm t(test::text("abc"));
    y = t(Mm(3.0));
    EXPECT_EQ(*y.addr(), 'c');
    EXPECT_TRUE(y.isstr()) << "the element of a text is text";
    EXPECT_EQ(y.addr(), block);

    Mm shared(y);
    y = x(Mm(1.0));
    EXPECT_EQ(*shared.addr(), 'c') << "a shared target is not written through";
    EXPECT_EQ(*y.addr(), 1.5);
    EXPECT_FALSE(y.isstr());

    // A read selects trunc(v - 1): fractions below 1 read element 1.
    struct Bound {
        double index;
        const char* error;  // "" when the read succeeds
        double value;
    };
    const std::vector<Bound> bounds = {
        {0.4, "", 1.5},
        {3.5, "", 3.5},
        {0.0, "x(=0) : Index out of matrix. Index value was 0 however the indexed matrix has 3 elements.", 0},
        {4.0, "x(=4) : Index out of matrix. Index value was 4 however the indexed matrix has 3 elements.", 0},
    };
    const Mm named(x, "x");
    for (const auto& b : bounds) {
        SCOPED_TRACE(b.index);
        const Mm k(b.index);
        Mm got(0.0, "got");
        EXPECT_EQ(test::error_of([&] { got = named(k); }), b.error);
        EXPECT_EQ(test::error_of([&] { Mm r(named(k)); }), b.error);
        if (!*b.error) {
            EXPECT_EQ(*got.addr(), b.value);
        }
    }
}

// Two-index reads of sparse values with many more columns than entries
// and with few, against the same read of the full form; and of a row and
// a column of 2^31 elements, which have no full form: reading one element
// of those built a start for each of their 2^31 columns (8 GB) and said
// "Out of memory!".
TEST(IndexRead, TwoIndicesIntoSparseValuesOfEveryWidth)
{
    auto spread = [](int rows, int cols, int entries, int step) {
        Mm s(0, 1, entries, rows, cols, qv_double);
        for (int e = 0; e < entries; ++e) {
            s.getindex()[e] = static_cast<int>(std::int64_t{e} * step % (std::int64_t{rows} * cols));
            s.addr()[e] = e % 5 - 2 + 0.5;
        }
        s.sort();
        return s;
    };
    struct Read {
        const char* what;
        std::function<Mm(const Mm& x)> read;
    };
    const std::vector<Read> reads = {
        {"x(:, 3)", [](const Mm& x) { return Mm(x(c_p, Mm(3.0))); }},
        {"x(2, :)", [](const Mm& x) { return Mm(x(Mm(2.0), c_p)); }},
        {"x(:, [5 1 5 end])", [](const Mm& x) { return Mm(x(c_p, test::row({5, 1, 5, double(x.cols())}))); }},
        {"x([3 1], 2:4)", [](const Mm& x) { return Mm(x(test::row({3, 1}), counting({1, 3}) + Mm(1.0))); }},
        {"x(end, end)", [](const Mm& x) { return Mm(x(Mm(double(x.rows())), Mm(double(x.cols())))); }},
        {"x(:, :)", [](const Mm& x) { return Mm(x(c_p, c_p)); }},
    };
    const std::vector<std::pair<std::string, Mm>> values_read = {
        {"3x5000 storing 10", spread(3, 5000, 10, 1499)},
        {"3x40 storing 60", spread(3, 40, 60, 7)},
        {"50x1 storing 20", spread(50, 1, 20, 3)},
        {"1x4000 storing 6", spread(1, 4000, 6, 701)},
    };
    for (const auto& [what, x] : values_read)
        for (const Read& r : reads) {
            SCOPED_TRACE(std::string(r.what) + " of " + what);
            Mm got, want;
            const std::string got_error = test::error_of([&] { got = r.read(x); });
            const std::string want_error = test::error_of([&] { want = r.read(full(x)); });
            EXPECT_EQ(got_error.empty(), want_error.empty()) << got_error << " / " << want_error;
            if (!got_error.empty() || !want_error.empty())
                continue;  // an index beyond the extents, refused by both
            ASSERT_TRUE(got.issparse());
            EXPECT_EQ(extents(got), extents(want));
            EXPECT_EQ(values(full(got)), values(want));
            EXPECT_TRUE(std::is_sorted(got.getindex(), got.getindex() + got.getnnz()));
        }
    // A row and a column of 2147395600 elements with an entry at every
    // 21473rd place from 3.
    const int n = 2147395600;
    Mm column(0, 1, 100006, n, 1, qv_double);
    for (int e = 0; e < column.getnnz(); ++e) {
        column.getindex()[e] = static_cast<int>(3 + std::int64_t{e} * 21473);
        column.addr()[e] = 1.0 + e;
    }
    const Mm row = transpose(column, 1);
    const int stored_at = 3 + 2 * 21473;  // 0-based: entry 2, value 3
    struct Spot {
        const char* what;
        std::function<Mm()> read;
        std::vector<int> extents;
        std::vector<double> values;
    };
    const std::vector<Spot> spots = {
        {"row(1, k)", [&] { return Mm(row(Mm(1.0), Mm(stored_at + 1.0))); }, {1, 1}, {3}},
        {"row(1, k+1)", [&] { return Mm(row(Mm(1.0), Mm(stored_at + 2.0))); }, {1, 1}, {0}},
        {"row(:, [k end 4])", [&] { return Mm(row(c_p, test::row({stored_at + 1.0, double(n), 4}))); }, {1, 3},
         {3, 0, 1}},
        {"column(k, 1)", [&] { return Mm(column(Mm(stored_at + 1.0), Mm(1.0))); }, {1, 1}, {3}},
        {"column([4 k], :)", [&] { return Mm(column(test::row({4, stored_at + 1.0}), c_p)); }, {2, 1}, {1, 3}},
    };
    for (const Spot& s : spots) {
        SCOPED_TRACE(s.what);
        Mm got;
        ASSERT_EQ(test::error_of([&] { got = s.read(); }), "");
        ASSERT_TRUE(got.issparse());
        EXPECT_EQ(extents(got), s.extents);
        EXPECT_EQ(values(full(got)), s.values);
    }
}

// A row and a column of 2^31 - 1 elements, the longest line a sparse value
// holds. Every index of 2^31 or more named its last element (the position
// was held at 2^31 - 2), so S(2^31), S(1e10) and S(Inf) read S(end) where
// they must be refused as past the end.
TEST(IndexRead, IndicesAtAndPastTheLongestSparseLine)
{
    constexpr int longest = 2147483647;
    const double last = longest;
    for (const bool row : {true, false}) {
        const Mm x(test::sparse_at(row ? 1 : longest, row ? longest : 1, {0, 1000, longest - 1}, {2, 0.25, 3}), "S");
        struct Read {
            const char* what;
            std::function<Mm()> read;
            std::vector<double> values;  // empty: refused
        };
        const Mm one(1.0), end(last), past(2147483648.0);
        const std::vector<Read> reads = {
            {"S(end)", [&] { return Mm(x(end)); }, {3}},
            {"S(end - 1)", [&] { return Mm(x(Mm(last - 1))); }, {0}},
            {"S([1 1001 end])", [&] { return Mm(x(test::row({1, 1001, last}))); }, {2, 0.25, 3}},
            {"S(end) by two indices", [&] { return row ? Mm(x(one, end)) : Mm(x(end, one)); }, {3}},
            {"S(2^31)", [&] { return Mm(x(past)); }, {}},
            {"S(2^31 + 0.5)", [&] { return Mm(x(Mm(2147483648.5))); }, {}},
            {"S(1e10)", [&] { return Mm(x(Mm(1e10))); }, {}},
            {"S(Inf)", [&] { return Mm(x(Mm(INFINITY))); }, {}},
            {"S([1 2^31])", [&] { return Mm(x(test::row({1, 2147483648.0}))); }, {}},
            {"S(2^31) by two indices", [&] { return row ? Mm(x(one, past)) : Mm(x(past, one)); }, {}},
            {"S([end 2^31]) by two indices",
             [&] { return row ? Mm(x(one, test::row({last, 2147483648.0}))) : Mm(x(test::row({last, 2147483648.0}), one)); },
             {}},
        };
        for (const Read& r : reads) {
            SCOPED_TRACE(std::string(r.what) + (row ? " of the row" : " of the column"));
            Mm got;
            const std::string e = test::error_of([&] { got = r.read(); });
            if (r.values.empty()) {
                EXPECT_NE(e.find("out of"), std::string::npos) << e;
                continue;
            }
            ASSERT_EQ(e, "");
            ASSERT_TRUE(got.issparse());
            EXPECT_EQ(values(full(got)), r.values);
        }
        // The line taken twice across: past the sparse limit, said with the
        // result's own extents (the transposed intermediate's were shown for
        // the row), after an index out of range is reported.
        const Mm twice = test::row({1, 1}), beyond = test::row({1, 2});
        const std::string extents = row ? "2x2147483647" : "2147483647x2";
        EXPECT_EQ(test::error_of([&] { (void)(row ? Mm(x(twice, c_p)) : Mm(x(c_p, twice))); }),
                  "sparse: " + extents + " has more than 2147483647 elements, the most a sparse value holds");
        const std::string e = test::error_of([&] { (void)(row ? Mm(x(beyond, c_p)) : Mm(x(c_p, beyond))); });
        EXPECT_NE(e.find("out of"), std::string::npos) << e;
    }
}

// Ranges over the longest sparse lines and the largest square, by one and
// two indices: a range along a row of 2^31 - 1 elements was written out
// and listed (1:2.5e8 took 2 GB and 1 GB more, "Out of memory!" under a
// 3 GB limit) before the read searched the entries for each position it
// named. A range
// whose elements were never written is read as the run it stands for: the
// result is what the same indices give written out (the general path),
// the entries a plain model of the stored positions selects, and the
// range is still unwritten afterwards.
TEST(IndexRead, RangesOverTheLongestSparseLinesAreReadAsRuns)
{
    constexpr int longest = 2147483647, n = 46340;
    // A window: 1-based first and last, along the line, or rows and
    // columns of the square; 0 for a colon.
    struct Read {
        const char* what;
        double a, b;      // the first index (rows, or the one index)
        double c, d;      // the second index (columns); 0, 0 for one index, -1, -1 for a colon
        bool one_index;
    };
    const double L = longest, N = n, S = double(n) * n;
    const std::vector<Read> lines = {
        {"S(1:2e6)", 1, 2e6, 0, 0, true},
        {"S(end-2e6+1:end)", L - 2e6 + 1, L, 0, 0, true},
        {"S(1001:1064)", 1001, 1064, 0, 0, true},
        {"S(2000001:2000064)", 2000001, 2000064, 0, 0, true},
        {"S(end-63:end+1)", L - 63, L + 1, 0, 0, true},
    };
    const std::vector<Read> squares = {
        {"S(1, 1:end)", 1, 1, 1, N, false},
        {"S(1:end, 1)", 1, N, 1, 1, false},
        {"S(end, 1:end)", N, N, 1, N, false},
        {"S(1:end, end)", 1, N, N, N, false},
        {"S(:, 1:end)", -1, -1, 1, N, false},
        {"S(1:end, :)", 1, N, -1, -1, false},
        {"S(1:end, 1:2)", 1, N, 1, 2, false},
        {"S(2:100, 1:end)", 2, 100, 1, N, false},
        {"S(end-1e6+1:end)", S - 1e6 + 1, S, 0, 0, true},
        {"S(1:1e6)", 1, 1e6, 0, 0, true},
        {"S(end-63:end+1)", S - 63, S + 1, 0, 0, true},
        {"S(1, 1:end+1)", 1, 1, 1, N + 1, false},
    };
    using test::range;
    using test::unwritten;
    for (const auto& [what, x] : test::largest_sparse_values()) {
        const bool square = x.rows() == x.cols();
        std::vector<Read> reads = square ? squares : lines;
        if (!square) {
            // Along the line by two indices, with 1 or a colon across it.
            const bool row = x.rows() == 1;
            for (const Read& r : lines)
                for (const double across : {1.0, -1.0})
                    reads.push_back(row ? Read{r.what, across, across, r.a, r.b, false}
                                        : Read{r.what, r.a, r.b, across, across, false});
        }
        for (const Read& r : reads) {
            SCOPED_TRACE(std::string(what) + ": " + r.what + (r.one_index ? "" : " by two indices"));
            Mm runs[2], got, want;
            auto read = [&](bool written) {
                Mm ranges[2];
                // c_p itself: a copy of it is an empty index.
                const Mm& i = r.a < 0 ? c_p : (ranges[0] = range(r.a, r.b, written));
                const Mm& j = r.one_index || r.c < 0 ? c_p : (ranges[1] = range(r.c, r.d, written));
                if (!written) {
                    runs[0] = ranges[0];
                    runs[1] = ranges[1];
                }
                return r.one_index ? Mm(x(i)) : Mm(x(i, j));
            };
            const std::string got_error = test::error_of([&] { got = read(false); });
            const std::string want_error = test::error_of([&] { want = read(true); });
            EXPECT_EQ(got_error, want_error);
            // A range past 2^31 - 1 is no run of positions: it is written.
            if (std::max(r.b, r.d) <= L) {
                EXPECT_TRUE(unwritten(runs[0]) && unwritten(runs[1])) << "the read wrote the range";
            }
            if (!want_error.empty())
                continue;
            ASSERT_TRUE(got.issparse());
            EXPECT_EQ(extents(got), extents(want));
            EXPECT_EQ(std::vector<int>(got.getindex(), got.getindex() + got.getnnz()),
                      std::vector<int>(want.getindex(), want.getindex() + want.getnnz()));
            EXPECT_EQ(std::vector<double>(got.addr(), got.addr() + got.getnnz()),
                      std::vector<double>(want.addr(), want.addr() + want.getnnz()));
            // The plain model: the stored entries inside the window, placed
            // by their offsets into it.
            const std::int64_t rows = x.rows();
            const double a = r.a < 0 ? 1 : r.a, b = r.a < 0 ? double(x.rows()) : r.b;
            const double c = r.c < 0 ? 1 : r.c, d = r.c < 0 ? double(x.cols()) : r.d;
            std::vector<int> at;
            std::vector<double> v;
            for (int e = 0; e < x.getnnz(); ++e) {
                const std::int64_t p = x.getindex()[e];
                if (r.one_index) {
                    if (p + 1 >= a && p + 1 <= b)
                        at.push_back(static_cast<int>(p + 1 - a)), v.push_back(x.addr()[e]);
                    continue;
                }
                const double i = double(p % rows) + 1, j = double(p / rows) + 1;
                if (i >= a && i <= b && j >= c && j <= d)
                    at.push_back(static_cast<int>((i - a) + (j - c) * (b - a + 1))), v.push_back(x.addr()[e]);
            }
            EXPECT_EQ(std::vector<int>(got.getindex(), got.getindex() + got.getnnz()), at);
            EXPECT_EQ(std::vector<double>(got.addr(), got.addr() + got.getnnz()), v);
        }
    }
}

} // namespace
