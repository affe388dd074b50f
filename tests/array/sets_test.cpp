// Set operations in element and row forms: values, index outputs, shapes,
// NaN and complex values (against a plain model of the order sort gives),
// text, and the rejected one-input calls.
#include "alloc_sweep.hpp"
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using test::extents;
using test::values;

const double nan = std::nan("");

// Compares element lists where NaN equals NaN.
bool same_values(const std::vector<double>& a, const std::vector<double>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (!(a[k] == b[k] || (std::isnan(a[k]) && std::isnan(b[k]))))
            return false;
    return true;
}

Mm text_rows(int rows, int cols, const char* column_major)
{
    Mm t(0, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k)
        t.addr()[k] = static_cast<unsigned char>(column_major[k]);
    t.setstr(1);
    return t;
}

// One call of a set function with up to three outputs, its expected values
// and extents (of the first output).
struct SetCase {
    const char* what;
    std::function<void(Mm&, Mm&, Mm&)> call;
    std::vector<double> r, first_index, second_index;
    std::vector<int> r_extents;
};

void check(const std::vector<SetCase>& cases)
{
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm r, p, q;
        c.call(r, p, q);
        EXPECT_TRUE(same_values(values(r), c.r)) << ::testing::PrintToString(values(r));
        EXPECT_EQ(values(p), c.first_index);
        EXPECT_EQ(values(q), c.second_index);
        if (!c.r_extents.empty()) {
            EXPECT_EQ(extents(r), c.r_extents);
        }
    }
}

TEST(Unique, ElementForm)
{
    const std::vector<SetCase> cases = {
        {"[3 1 3 2]: i points to the last 3", [](Mm& b, Mm& i, Mm& j) { unique(test::row({3, 1, 3, 2}), i_o, b, i, j); },
         {1, 2, 3}, {2, 4, 3}, {3, 1, 3, 2}, {1, 3}},
        {"a column stays a column", [](Mm& b, Mm& i, Mm& j) { unique(test::real(3, 1, {2, 2, 1}), i_o, b, i, j); },
         {1, 2}, {3, 2}, {2, 2, 1}, {2, 1}},
        {"a matrix gives columns", [](Mm& b, Mm& i, Mm& j) { unique(test::real(2, 2, {4, 4, 1, 4}), i_o, b, i, j); },
         {1, 4}, {3, 4}, {2, 2, 1, 2}, {2, 1}},
        {"a scalar", [](Mm& b, Mm& i, Mm& j) { unique(Mm(5.0), i_o, b, i, j); }, {5}, {1}, {1}, {1, 1}},
        {"NaN values stay apart", [](Mm& b, Mm& i, Mm& j) { unique(test::row({nan, 1, nan}), i_o, b, i, j); },
         {1, nan, nan}, {2, 1, 3}, {2, 1, 3}, {1, 3}},
        {"-0 and 0 are one value", [](Mm& b, Mm& i, Mm& j) { unique(test::row({0.0, -0.0}), i_o, b, i, j); },
         {0}, {2}, {1, 1}, {1, 1}},
        {"empty", [](Mm& b, Mm& i, Mm& j) { unique(Mm(), i_o, b, i, j); }, {}, {}, {}, {0, 0}},
    };
    check(cases);
    EXPECT_EQ(values(unique(test::row({3, 1, 3}))), (std::vector<double>{1, 3}));
    Mm b, i;
    unique(test::row({2, 2}), i_o, b, i);
    EXPECT_EQ(values(i), (std::vector<double>{2}));
}

TEST(Unique, ComplexTextAndBytes)
{
    // 1i, -1, 1, 1i: equal moduli ordered by angle, 1 (0) before 1i (pi/2) before -1 (pi).
    Mm b, i, j;
    unique(test::complex(1, 4, {0, -1, 1, 0}, {1, 0, 0, 1}), i_o, b, i, j);
    ASSERT_TRUE(b.isc());
    EXPECT_EQ(values(b), (std::vector<double>{1, 0, -1}));
    EXPECT_EQ(std::vector<double>(b.addi(), b.addi() + 3), (std::vector<double>{0, 1, 0}));
    EXPECT_EQ(values(i), (std::vector<double>{3, 4, 2}));
    EXPECT_EQ(values(j), (std::vector<double>{2, 3, 1, 2}));

    Mm t = unique(TM("banana"));
    EXPECT_TRUE(t.isstr());
    EXPECT_EQ(values(t), (std::vector<double>{'a', 'b', 'n'}));
    Mm u = unique(test::bytes(1, 4, {9, 3, 9, 3}));
    ASSERT_EQ(u.gettype(), qv_uint8);
    EXPECT_EQ(u.ur(1), 3);
    EXPECT_EQ(u.ur(2), 9);
    EXPECT_ERROR(unique(Mm(0, 0, 0, 1, 2, qv_cell)), "unique: numeric data expected, but matrix (temporary) is not");
}

TEST(Merges, IntersectSetdiffSetxorUnion)
{
    const std::vector<SetCase> cases = {
        {"intersect: last occurrences", [](Mm& r, Mm& a, Mm& b) { intersect(test::row({5, 1, 5}), test::row({5, 7}), i_o, r, a, b); },
         {5}, {3}, {1}, {1, 1}},
        {"intersect of columns is a column",
         [](Mm& r, Mm& a, Mm& b) { intersect(test::real(3, 1, {1, 2, 3}), test::real(3, 1, {3, 2, 9}), i_o, r, a, b); },
         {2, 3}, {2, 3}, {2, 1}, {2, 1}},
        {"a row and a column give a row",
         [](Mm& r, Mm& a, Mm& b) { intersect(test::row({1, 2, 3}), test::real(2, 1, {3, 2}), i_o, r, a, b); },
         {2, 3}, {2, 3}, {2, 1}, {1, 2}},
        {"NaN is never common", [](Mm& r, Mm& a, Mm& b) { intersect(test::row({nan, 1}), test::row({nan, 1}), i_o, r, a, b); },
         {1}, {2}, {2}, {1, 1}},
        {"complex values are compared whole",
         [](Mm& r, Mm& a, Mm& b) { intersect(test::complex(1, 1, {1}, {2}), test::complex(1, 1, {1}, {5}), i_o, r, a, b); },
         {}, {}, {}, {}},
        {"nothing in common", [](Mm& r, Mm& a, Mm& b) { intersect(test::row({1, 2}), test::row({3, 4}), i_o, r, a, b); },
         {}, {}, {}, {}},
        {"setdiff", [](Mm& r, Mm& a, Mm&) { setdiff(test::row({4, 1, 4, 9}), Mm(1.0), i_o, r, a); }, {4, 9}, {3, 4}, {}, {1, 2}},
        {"setdiff keeps NaN", [](Mm& r, Mm& a, Mm&) { setdiff(test::row({nan, 2}), Mm(2.0), i_o, r, a); }, {nan}, {1}, {}, {1, 1}},
        {"setdiff against NaN", [](Mm& r, Mm& a, Mm&) { setdiff(test::real(3, 1, {3, 1, 2}), test::real(2, 1, {nan, 2}), i_o, r, a); },
         {1, 3}, {2, 1}, {}, {2, 1}},
        {"setdiff of everything", [](Mm& r, Mm& a, Mm&) { setdiff(test::row({2, 2}), test::row({2, 5}), i_o, r, a); },
         {}, {}, {}, {}},
        {"setxor", [](Mm& r, Mm& a, Mm& b) { setxor(test::row({1, 2, 3}), test::row({3, 4}), i_o, r, a, b); },
         {1, 2, 4}, {1, 2}, {2}, {1, 3}},
        {"setxor merges both lists",
         [](Mm& r, Mm& a, Mm& b) { setxor(test::real(3, 1, {5, 1, 5}), test::real(3, 1, {2, 6, 1}), i_o, r, a, b); },
         {2, 5, 6}, {3}, {1, 2}, {3, 1}},
        {"union: common values reported from B",
         [](Mm& r, Mm& a, Mm& b) { munion(test::row({1, 2}), test::row({2, 3}), i_o, r, a, b); }, {1, 2, 3}, {1}, {1, 2}, {1, 3}},
        {"union of columns",
         [](Mm& r, Mm& a, Mm& b) { munion(test::real(2, 1, {4, 0}), test::real(2, 1, {4, 4}), i_o, r, a, b); },
         {0, 4}, {2}, {2}, {2, 1}},
    };
    check(cases);
    EXPECT_EQ(values(intersect(test::row({1, 2}), test::row({2, 3}))), (std::vector<double>{2}));
    EXPECT_EQ(values(setdiff(test::row({1, 2}), test::row({2, 3}))), (std::vector<double>{1}));
    EXPECT_EQ(values(setxor(test::row({1, 2}), test::row({2, 3}))), (std::vector<double>{1, 3}));
    EXPECT_EQ(values(munion(test::row({1, 2}), test::row({2, 3}))), (std::vector<double>{1, 2, 3}));
    EXPECT_TRUE(intersect(TM("abc"), test::row({'b'})).isstr()) << "text when either is text";
    EXPECT_TRUE(setdiff(test::row({'b'}), TM("x")).isstr());
    EXPECT_TRUE(munion(TM("ba"), TM("c")).isstr());
}

// setxor with NaN in either argument: ascending with NaN last (NaN is never
// common), each position output naming where its value came from.
TEST(Merges, SetxorPutsNaNLast)
{
    struct Case {
        std::vector<double> a, b, r;
        std::vector<double> ia, ib;
    };
    const double inf = INFINITY;
    const std::vector<Case> cases = {
#include "data/setxor_nan.inc"
    };
    auto row_of = [](const std::vector<double>& v) {
        Mm m(0, 0, 0, 1, int(v.size()), qv_double);
        std::copy(v.begin(), v.end(), m.addr());
        return m;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("setxor(" + ::testing::PrintToString(c.a) + ", " + ::testing::PrintToString(c.b) + ")");
        const Mm a = row_of(c.a), b = row_of(c.b);
        Mm r, ia, ib;
        setxor(a, b, i_o, r, ia, ib);
        EXPECT_TRUE(same_values(values(r), c.r)) << ::testing::PrintToString(values(r));
        EXPECT_EQ(values(ia), c.ia);
        EXPECT_EQ(values(ib), c.ib);
        EXPECT_TRUE(same_values(values(setxor(a, b)), c.r));
        // Every position names its value: A(ia) and B(ib) together are R.
        std::vector<double> named;
        for (double k : values(ia))
            named.push_back(c.a[std::size_t(k) - 1]);
        for (double k : values(ib))
            named.push_back(c.b[std::size_t(k) - 1]);
        std::vector<double> sorted_r = values(r);
        auto order = [](double x, double y) { return !std::isnan(x) && (std::isnan(y) || x < y); };
        std::stable_sort(named.begin(), named.end(), order);
        std::stable_sort(sorted_r.begin(), sorted_r.end(), order);
        EXPECT_TRUE(same_values(named, sorted_r));
    }
    EXPECT_TRUE(same_values(values(setxor(test::row({1, nan}), Mm(2.0))), {1, 2, nan}));
}

TEST(Ismember, ElementForm)
{
    struct Case {
        const char* what;
        Mm a, s;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"[1 5 2] in [2 1]", test::row({1, 5, 2}), test::row({2, 1}), {1, 0, 1}},
        {"complex", test::complex(1, 2, {1, 2}, {1, 0}), test::complex(1, 2, {1, 1}, {1, 2}), {1, 0}},
        {"a real element against complex S", test::row({1, 2}), test::complex(1, 2, {1, 2}, {0, 1}), {1, 0}},
        {"NaN is never a member", test::row({nan, 1}), test::row({nan, 1}), {0, 1}},
        {"-0 is 0", test::row({-0.0}), test::row({0.0}), {1}},
        {"empty S", test::row({1, 2}), Mm(), {0, 0}},
        {"bytes against doubles", test::bytes(1, 2, {3, 4}), test::row({4}), {0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm r = ismember(c.a, c.s);
        EXPECT_TRUE(r.islogical());
        EXPECT_EQ(extents(r), extents(c.a));
        EXPECT_EQ(values(r), c.expected);
    }
    EXPECT_ERROR(ismember(Mm(1.0)), "ismember does not accept 1 input");
}

TEST(Ismember, SortedSearchAgreesWithALinearScan)
{
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> pick(0, 40);
    const int dims[3] = {3, 5, 7};
    Mm a(0, 0, 0, 3, dims, qv_double), s(0, 0, 0, 1, 60, qv_double);
    auto draw = [&] {
        const int v = pick(gen);
        return v == 0 ? nan : v == 1 ? -0.0 : (v - 20) / 4.0;
    };
    for (int k = 0; k < a.size(); ++k)
        a.addr()[k] = draw();
    for (int k = 0; k < s.size(); ++k)
        s.addr()[k] = draw();
    Mm r = ismember(a, s);
    EXPECT_EQ(extents(r), (std::vector<int>{3, 5, 7}));
    int found = 0;
    for (int k = 0; k < a.size(); ++k) {
        bool member = false;
        for (int m = 0; m < s.size() && !member; ++m)
            member = a.addr()[k] == s.addr()[m];
        ASSERT_EQ(r.addr()[k], member) << k;
        found += member;
    }
    EXPECT_GT(found, 0);
    EXPECT_LT(found, a.size());
}

TEST(RowForms, UniqueIntersectSetdiffSetxorUnion)
{
    const Mm rows = test::row({'r'});
    const std::vector<SetCase> cases = {
        {"unique rows keep the last occurrence",
         [&](Mm& b, Mm& i, Mm& j) { unique(test::real(3, 2, {1, 1, 0, 2, 2, 5}), rows, i_o, b, i, j); },
         {0, 1, 5, 2}, {3, 2}, {2, 2, 1}, {2, 2}},
        {"unique of one row", [&](Mm& b, Mm& i, Mm& j) { unique(test::row({3, 3}), rows, i_o, b, i, j); }, {3, 3}, {1}, {1}, {1, 2}},
        {"rows with NaN are never equal",
         [&](Mm& b, Mm& i, Mm& j) { unique(test::real(2, 1, {nan, nan}), rows, i_o, b, i, j); }, {nan, nan}, {1, 2}, {1, 2}, {2, 1}},
        {"intersect rows",
         [&](Mm& r, Mm& a, Mm& b) { intersect(test::real(2, 2, {1, 3, 2, 4}), test::real(2, 2, {3, 5, 4, 6}), rows, i_o, r, a, b); },
         {3, 4}, {2}, {1}, {1, 2}},
        {"intersect rows with an empty argument",
         [&](Mm& r, Mm& a, Mm& b) { intersect(Mm(), test::real(2, 2, {3, 5, 4, 6}), rows, i_o, r, a, b); }, {}, {}, {}, {0, 0}},
        {"setdiff rows",
         [&](Mm& r, Mm& a, Mm&) { setdiff(test::real(3, 2, {1, 3, 1, 2, 4, 2}), test::row({3, 4}), rows, i_o, r, a); },
         {1, 2}, {3}, {}, {1, 2}},
        {"setxor rows",
         [&](Mm& r, Mm& a, Mm& b) { setxor(test::real(2, 2, {1, 3, 2, 4}), test::real(2, 2, {3, 5, 4, 6}), rows, i_o, r, a, b); },
         {1, 5, 2, 6}, {1}, {2}, {2, 2}},
        {"setxor rows when all of A is common",
         [&](Mm& r, Mm& a, Mm& b) { setxor(test::row({3, 4}), test::real(2, 2, {5, 3, 6, 4}), rows, i_o, r, a, b); },
         {5, 6}, {}, {1}, {1, 2}},
        {"union rows",
         [&](Mm& r, Mm& a, Mm& b) { munion(test::real(2, 2, {1, 3, 2, 4}), test::real(2, 2, {3, 5, 4, 6}), rows, i_o, r, a, b); },
         {1, 3, 5, 2, 4, 6}, {1}, {1, 2}, {3, 2}},
    };
    check(cases);
    EXPECT_EQ(values(unique(test::real(2, 1, {4, 4}), rows)), (std::vector<double>{4}));
    EXPECT_ERROR(munion(test::real(2, 2, {1, 3, 2, 4}), test::row({1, 2, 3}), rows),
                 "union: both arguments must have same number of columns");
}

TEST(RowForms, TextRowsOfDifferentWidths)
{
    const Mm rows = TM("rows");
    // 'ab' and 'cd' as two rows, 'ab ' as one wider row: equal once padded.
    Mm two = text_rows(2, 2, "acbd");
    Mm r, ia, ib;
    intersect(two, TM("ab "), rows, i_o, r, ia, ib);
    EXPECT_TRUE(r.isstr());
    EXPECT_EQ(values(r), (std::vector<double>{'a', 'b', ' '}));
    EXPECT_EQ(values(ia), (std::vector<double>{1}));
    EXPECT_EQ(values(ib), (std::vector<double>{1}));

    // What is left of the narrower A reaches B's width with a blank last column.
    Mm d = setdiff(TM("xy"), TM("abc"), rows);
    EXPECT_TRUE(d.isstr());
    EXPECT_EQ(values(d), (std::vector<double>{'x', 'y', ' '}));

    Mm u, ua, ub;
    munion(TM("cd"), text_rows(2, 3, "xaybzc"), rows, i_o, u, ua, ub);
    EXPECT_TRUE(u.isstr());
    EXPECT_EQ(extents(u), (std::vector<int>{3, 3}));
    EXPECT_EQ(values(u), (std::vector<double>{'a', 'c', 'x', 'b', 'd', 'y', 'c', ' ', 'z'}));
    EXPECT_EQ(values(ua), (std::vector<double>{1}));
    EXPECT_EQ(values(ub), (std::vector<double>{2, 1}));

    Mm x = setxor(text_rows(2, 2, "acbd"), text_rows(2, 2, "cedf"), rows);
    EXPECT_EQ(values(x), (std::vector<double>{'a', 'e', 'b', 'f'}));

    // Rows left on both sides are stacked over the wider width and sorted.
    Mm w = setxor(text_rows(2, 1, "zb"), text_rows(1, 2, "ac"), rows);
    EXPECT_TRUE(w.isstr());
    EXPECT_EQ(extents(w), (std::vector<int>{3, 2}));
    EXPECT_EQ(values(w), (std::vector<double>{'a', 'b', 'z', 'c', ' ', ' '}));
}

TEST(RowForms, BytesAndDoublesMeetByValue)
{
    // A byte row and a double row are compared as numbers: 300 is not
    // saturated to 255 on the way.
    const Mm rows = TM("rows");
    EXPECT_TRUE(isempty(intersect(test::bytes(1, 2, {255, 1}), test::row({300, 1}), rows)));
    Mm r, ia, ib;
    intersect(test::bytes(2, 2, {255, 7, 1, 7}), test::row({7, 7}), rows, i_o, r, ia, ib);
    EXPECT_EQ(values(r), (std::vector<double>{7, 7}));
    EXPECT_EQ(values(ia), (std::vector<double>{2}));
    EXPECT_EQ(values(setxor(test::bytes(1, 1, {255}), Mm(300.0), rows)), (std::vector<double>{255, 300}));
}

TEST(RowForms, Ismember)
{
    const Mm rows = TM("rows");
    struct Case {
        const char* what;
        Mm a, s;
        std::vector<double> expected;
    };
    const std::vector<Case> cases = {
        {"text rows", text_rows(2, 2, "acbd"), text_rows(2, 2, "cedf"), {0, 1}},
        {"numeric rows", test::real(3, 2, {1, 3, 5, 2, 4, 6}), test::real(2, 2, {5, 1, 6, 2}), {1, 0, 1}},
        {"a narrower row matches a blank-padded one", TM("ab"), TM("ab "), {1}},
        {"but not a longer one", TM("ab"), TM("abc"), {0}},
        {"rows with NaN match nothing", test::real(2, 1, {nan, 1}), test::real(2, 1, {nan, 1}), {0, 1}},
        {"complex rows", test::complex(1, 2, {1, 2}, {1, 0}), test::complex(2, 2, {1, 1, 2, 2}, {0, 1, 0, 0}), {1}},
        // Rows compare whole: a 0 in a numeric row is a value, not a
        // character to drop as trimming text would.
        {"zeros in numeric rows count", test::real(2, 2, {1, 1, 0, 2}), Mm(1.0), {0, 0}},
        {"a zero is not a blank", test::row({1, 0}), test::row({1, 32}), {0}},
        // A cell of strings is the char matrix of its strings.
        {"text in a cell of strings", TM("cd"), test::cell_row({TM("ab"), TM("cd")}), {1}},
        {"rows against strings of other lengths", text_rows(2, 3, "afbecg"),
         test::cell_row({TM("abc"), TM("efg"), TM("x")}), {1, 0}},
        {"not a prefix", TM("ab"), test::cell_row({TM("abc")}), {0}},
        {"a cell on the left", test::cell_row({TM("x"), TM("cd")}), test::cell_row({TM("ab"), TM("cd")}), {0, 1}},
        {"exact rows, not prefixes", TM("abc"), TM("ab"), {0}},
        {"exact numeric rows", test::row({1, 0, 2}), test::row({1, 2}), {0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm r = ismember(c.a, c.s, rows);
        EXPECT_TRUE(r.islogical());
        EXPECT_EQ(r.cols(), 1);
        EXPECT_EQ(values(r), c.expected);
    }
}

TEST(SetFunctions, OneInputIsRejected)
{
    Mm r, a, b;
    struct Case {
        std::function<Mm()> call;
        const char* message;
    };
    const std::vector<Case> cases = {
        {[] { return intersect(Mm(1.0)); }, "intersect does not accept 1 input"},
        {[&] { return intersect(Mm(1.0), i_o, r, a, b); }, "intersect does not accept 1 input"},
        {[] { return setdiff(Mm(1.0)); }, "setdiff does not accept 1 input"},
        {[&] { return setdiff(Mm(1.0), i_o, r, a); }, "setdiff does not accept 1 input"},
        {[] { return setxor(Mm(1.0)); }, "setxor does not accept 1 input"},
        {[&] { return setxor(Mm(1.0), i_o, r, a, b); }, "setxor does not accept 1 input"},
        {[] { return munion(Mm(1.0)); }, "munion does not accept 1 input"},
        {[&] { return munion(Mm(1.0), i_o, r, a, b); }, "munion does not accept 1 input"},
        {[] { return ismember(Mm(1.0)); }, "ismember does not accept 1 input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_ERROR(c.call(), c.message);
    }
    // With a hook that returns, the call gives 0.
    qv_text_handler previous = qv_set_error_handler([](const char*) {});
    Mm zero = setdiff(Mm(7.0));
    qv_set_error_handler(previous);
    EXPECT_EQ(zero.r(), 0);
}

} // namespace

namespace {

// unique without positions takes its own path; it gives what the path with
// positions gives, bit for bit: signed zeros, NaNs, text, bytes, shapes.
TEST(Unique, ValuesAloneAgreeWithThePositionsPath)
{
    const double nan = std::nan(""), neg_nan = -std::nan("");
    struct Case {
        const char* what;
        Mm a;
    };
    Mm text_value = TM("banana");
    const std::vector<Case> cases = {
        {"repeats", test::row({3, 1, 2, 3, 1})},
        {"zeros of both signs, -0 last", test::row({0, 5, -0.0, 1})},
        {"zeros of both signs, +0 last", test::row({-0.0, 5, 0, 1})},
        {"NaNs stay apart, in input order", test::row({nan, 2, neg_nan, 2, nan})},
        {"a column", test::real(4, 1, {4, 4, -1, 7})},
        {"a matrix gives a column", test::real(2, 2, {9, 1, 9, 1})},
        {"text", text_value},
        {"bytes", test::bytes(1, 4, {7, 3, 7, 200})},
        {"infinities", test::row({INFINITY, -INFINITY, INFINITY, 0})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Mm with_positions, i, j;
        unique(c.a, i_o, with_positions, i, j);
        const Mm alone = unique(c.a);
        EXPECT_EQ(test::fingerprint(alone), test::fingerprint(with_positions));
    }
}

} // namespace

namespace {

// ---- complex values: the order sort gives (modulus, then angle) ----

// A list of complex numbers as a test builds and reads it.
struct Z {
    double re, im;
};

Mm complex_list(const std::vector<Z>& v, bool as_row)
{
    const int n = int(v.size());
    Mm m(1, 0, 0, as_row ? 1 : n, as_row ? n : 1, qv_double);
    for (int k = 0; k < n; ++k) {
        m.addr()[k] = v[k].re;
        m.addi()[k] = v[k].im;
    }
    return m;
}

std::vector<Z> complex_values(const Mm& x)
{
    const Mm f = x.gettype() == qv_uint8 ? mdouble(x) : full(x);
    std::vector<Z> v;
    for (int k = 0; k < f.size(); ++k)
        v.push_back({f.addr()[k], f.isc() ? f.addi()[k] : 0.0});
    return v;
}

bool same_z(const std::vector<Z>& a, const std::vector<Z>& b)
{
    if (a.size() != b.size())
        return false;
    auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    for (std::size_t k = 0; k < a.size(); ++k)
        if (!same(a[k].re, b[k].re) || !same(a[k].im, b[k].im))
            return false;
    return true;
}

std::string z_text(const std::vector<Z>& v)
{
    std::string t = "[";
    char part[64];
    for (const Z& z : v) {
        std::snprintf(part, sizeof part, " %g%+gi", z.re, z.im);
        t += part;
    }
    return t + " ]";
}

TEST(Merges, ComplexValuesMergeInTheOrderTheyAreSortedIn)
{
    // A = [-5 2 1i], B = [-5 2]: common values by modulus, 2 before -5.
    const Mm A = complex_list({{-5, 0}, {2, 0}, {0, 1}}, true), B = test::row({-5, 2});
    Mm r, ia, ib;
    intersect(A, B, i_o, r, ia, ib);
    EXPECT_TRUE(same_z(complex_values(r), {{2, 0}, {-5, 0}})) << z_text(complex_values(r));
    EXPECT_EQ(values(ia), (std::vector<double>{2, 1}));
    EXPECT_EQ(values(ib), (std::vector<double>{2, 1}));
    setdiff(A, B, i_o, r, ia);
    EXPECT_TRUE(same_z(complex_values(r), {{0, 1}})) << z_text(complex_values(r));
    EXPECT_EQ(values(ia), (std::vector<double>{3}));
    setxor(A, B, i_o, r, ia, ib);
    EXPECT_TRUE(same_z(complex_values(r), {{0, 1}})) << z_text(complex_values(r));
    EXPECT_EQ(values(ia), (std::vector<double>{3}));
    EXPECT_TRUE(isempty(ib));
    EXPECT_TRUE(same_z(complex_values(munion(A, B)), {{0, 1}, {2, 0}, {-5, 0}}));
    // Values in neither set are never made up from their real parts.
    EXPECT_TRUE(isempty(intersect(complex_list({{1, 2}}, true), complex_list({{1, 5}}, true))));
    EXPECT_TRUE(same_z(complex_values(setxor(complex_list({{1, 2}}, true), complex_list({{1, 5}}, true))),
                       {{1, 2}, {1, 5}}));
}

// Distinct values that sort alike: 1e-20 + 1i and 2e-20 + 1i have the same
// modulus (1) and angle (pi/2) in doubles. Equal values still meet.
TEST(Unique, ComplexValuesTiedInModulusAndAngle)
{
    const std::vector<Z> list = {{1e-20, 1}, {2e-20, 1}, {1e-20, 1}, {2e-20, 1}};
    Mm b, i, j;
    unique(complex_list(list, true), i_o, b, i, j);
    EXPECT_TRUE(same_z(complex_values(b), {{1e-20, 1}, {2e-20, 1}})) << z_text(complex_values(b));
    EXPECT_EQ(values(i), (std::vector<double>{3, 4}));
    EXPECT_EQ(values(j), (std::vector<double>{1, 2, 1, 2}));
    Mm r, ia, ib;
    intersect(complex_list({{2e-20, 1}, {1e-20, 1}}, true), complex_list({{1e-20, 1}}, true), i_o, r, ia, ib);
    EXPECT_TRUE(same_z(complex_values(r), {{1e-20, 1}}));
    EXPECT_EQ(values(ia), (std::vector<double>{2}));
}

// The plain model of the element forms: membership by equality (NaN never
// equal), distinct values in the order of sort (real lists by value,
// complex ones by modulus, angle, then parts), NaN last in input order,
// positions of last occurrences.
struct SetModel {
    bool complex;

    static bool is_nan(const Z& z) { return std::isnan(z.re) || std::isnan(z.im); }
    static bool equal(const Z& a, const Z& b) { return !is_nan(a) && a.re == b.re && a.im == b.im; }
    static double angle_of(const Z& z) { return z.im == 0 ? (z.re >= 0 ? 0.0 : M_PI) : std::atan2(z.im, z.re); }
    bool before(const Z& a, const Z& b) const
    {
        if (!complex)
            return a.re < b.re;
        const double ma = std::hypot(a.re, a.im), mb = std::hypot(b.re, b.im);
        if (ma != mb)
            return ma < mb;
        if (angle_of(a) != angle_of(b))
            return angle_of(a) < angle_of(b);
        return a.re < b.re || (a.re == b.re && a.im < b.im);
    }
    struct Entry {
        Z z;
        int from_a, from_b;  // 1-based last occurrences, 0 when absent
    };
    // The distinct values of a, then (ordered) those NaN, each its own.
    std::vector<Entry> distinct(const std::vector<Z>& a) const
    {
        std::vector<Entry> d, nans;
        for (int k = 0; k < int(a.size()); ++k) {
            if (is_nan(a[k])) {
                nans.push_back({a[k], k + 1, 0});
                continue;
            }
            auto at = std::find_if(d.begin(), d.end(), [&](const Entry& e) { return equal(e.z, a[k]); });
            if (at == d.end())
                d.push_back({a[k], k + 1, 0});
            else
                at->from_a = k + 1;  // the last occurrence, keeping the first one's parts
        }
        std::stable_sort(d.begin(), d.end(), [this](const Entry& u, const Entry& v) { return before(u.z, v.z); });
        d.insert(d.end(), nans.begin(), nans.end());
        return d;
    }
    static int last_in(const std::vector<Z>& b, const Z& z)
    {
        for (int k = int(b.size()) - 1; k >= 0; --k)
            if (equal(b[k], z))
                return k + 1;
        return 0;
    }
};

// Lists of complex numbers whose parts come from a small grid, so that
// moduli tie often (3+4i, 4-3i, -5, 5i), scaled by a power of two (exactly)
// to where their squares overflow or underflow; some NaN.
std::vector<Z> random_list(std::mt19937& gen, int n, double scale, bool real)
{
    const double grid[] = {-5, -4, -3, -2, 0, 2, 3, 4, 5, -0.0};
    std::vector<Z> v;
    for (int k = 0; k < n; ++k) {
        Z z{grid[gen() % 10] * scale, real ? 0.0 : grid[gen() % 10] * scale};
        if (gen() % 25 == 0)
            (real || gen() % 2 ? z.re : z.im) = NAN;
        v.push_back(z);
    }
    return v;
}

// As a complex value, or real when every imaginary part is 0.
Mm value_of(const std::vector<Z>& v, bool real, bool as_row)
{
    if (!real)
        return complex_list(v, as_row);
    Mm m(0, 0, 0, as_row ? 1 : int(v.size()), as_row ? int(v.size()) : 1, qv_double);
    for (std::size_t k = 0; k < v.size(); ++k)
        m.addr()[k] = v[k].re;
    return m;
}

TEST(SetFunctions, ComplexListsAgreeWithAPlainModel)
{
    std::mt19937 gen(68);
    int common = 0;
    for (int trial = 0; trial < 600; ++trial) {
        const double scale = trial % 3 == 0 ? 1 : trial % 3 == 1 ? 0x1p700 : 0x1p-700;
        const bool a_real = gen() % 4 == 0, b_real = !a_real && gen() % 4 == 0;
        const std::vector<Z> a = random_list(gen, int(gen() % 12), scale, a_real);
        const std::vector<Z> b = random_list(gen, int(gen() % 12), scale, b_real);
        const Mm A = value_of(a, a_real, gen() % 2), B = value_of(b, b_real, gen() % 2);
        SCOPED_TRACE("A = " + z_text(a) + ", B = " + z_text(b));

        const SetModel model{!a_real || !b_real}, model_a{!a_real};
        std::vector<SetModel::Entry> da = model.distinct(a), db = model.distinct(b);
        std::vector<Z> inter, diff, exclusive;
        std::vector<double> inter_a, inter_b, diff_a, xor_a, xor_b;
        for (const auto& e : da) {
            const int in_b = SetModel::last_in(b, e.z);
            if (in_b) {
                inter.push_back(e.z);
                inter_a.push_back(e.from_a);
                inter_b.push_back(in_b);
            } else {
                diff.push_back(e.z);
                diff_a.push_back(e.from_a);
            }
        }
        // setxor: both remainders merged in order, A's NaNs before B's.
        std::vector<SetModel::Entry> left;
        for (const auto& e : da)
            if (!SetModel::last_in(b, e.z))
                left.push_back({e.z, e.from_a, 0});
        for (const auto& e : db)
            if (!SetModel::last_in(a, e.z))
                left.push_back({e.z, 0, e.from_a});
        std::stable_sort(left.begin(), left.end(), [&](const SetModel::Entry& u, const SetModel::Entry& v) {
            const bool nu = SetModel::is_nan(u.z), nv = SetModel::is_nan(v.z);
            if (nu || nv)
                return !nu && nv;
            return model.before(u.z, v.z);
        });
        for (const auto& e : left) {
            exclusive.push_back(e.z);
            if (e.from_a)
                xor_a.push_back(e.from_a);
            else
                xor_b.push_back(e.from_b);
        }
        common += !inter.empty();

        Mm r, ia, ib;
        intersect(A, B, i_o, r, ia, ib);
        EXPECT_TRUE(same_z(complex_values(r), inter)) << "intersect " << z_text(complex_values(r));
        EXPECT_EQ(values(ia), inter_a);
        EXPECT_EQ(values(ib), inter_b);
        setdiff(A, B, i_o, r, ia);
        EXPECT_TRUE(same_z(complex_values(r), diff)) << "setdiff " << z_text(complex_values(r));
        EXPECT_EQ(values(ia), diff_a);
        setxor(A, B, i_o, r, ia, ib);
        EXPECT_TRUE(same_z(complex_values(r), exclusive)) << "setxor " << z_text(complex_values(r));
        EXPECT_EQ(values(ia), xor_a);
        EXPECT_EQ(values(ib), xor_b);
        if (!a_real || !b_real) {
            EXPECT_TRUE(A.size() + B.size() == 0 || r.isc() || r.size() == 0) << "complex values stay complex";
        }

        // union: the distinct values of both, positions in B where a value
        // is in both (its last occurrence).
        std::vector<Z> both = a;
        both.insert(both.end(), b.begin(), b.end());
        std::vector<Z> joined;
        std::vector<double> from_a, from_b;
        for (const auto& e : model.distinct(both)) {
            joined.push_back(e.z);
            (e.from_a <= int(a.size()) ? from_a : from_b).push_back(e.from_a <= int(a.size()) ? e.from_a
                                                                                               : e.from_a - a.size());
        }
        munion(A, B, i_o, r, ia, ib);
        EXPECT_TRUE(same_z(complex_values(r), joined)) << "union " << z_text(complex_values(r));
        EXPECT_EQ(values(ia), from_a);
        EXPECT_EQ(values(ib), from_b);

        // unique of A with its positions, and sort's order of the values.
        if (!a.empty()) {
            Mm u, i, j;
            unique(A, i_o, u, i, j);
            std::vector<Z> distinct_a;
            std::vector<double> last;
            for (const auto& e : model_a.distinct(a)) {
                distinct_a.push_back(e.z);
                last.push_back(e.from_a);
            }
            EXPECT_TRUE(same_z(complex_values(u), distinct_a)) << "unique " << z_text(complex_values(u));
            EXPECT_EQ(values(i), last);
            // j names each element's distinct value.
            const std::vector<double> groups = values(j);
            ASSERT_EQ(groups.size(), a.size());
            for (std::size_t k = 0; k < a.size(); ++k) {
                const Z& named = distinct_a[std::size_t(groups[k]) - 1];
                EXPECT_TRUE(SetModel::equal(named, a[k]) || (SetModel::is_nan(a[k]) && SetModel::is_nan(named)));
            }
        }

        // ismember: by equality, a real operand with imaginary part 0.
        const Mm member = ismember(A, B);
        for (std::size_t k = 0; k < a.size(); ++k)
            EXPECT_EQ(member.addr()[k], SetModel::last_in(b, a[k]) ? 1 : 0) << "ismember, element " << k + 1;
    }
    EXPECT_GT(common, 100);
}

// Complex bytes go through the set functions as their double forms do.
TEST(SetFunctions, ComplexBytesAsTheirDoubleForms)
{
    std::mt19937 gen(8);
    for (int trial = 0; trial < 200; ++trial) {
        auto bytes_list = [&] {
            Mm d(1, 0, 0, 1, int(gen() % 8) + 1, qv_double);
            for (int k = 0; k < d.size(); ++k) {
                d.addr()[k] = double(gen() % 6);
                d.addi()[k] = double(gen() % 6);
            }
            return d;
        };
        const Mm da = bytes_list(), db = bytes_list();
        const Mm ua = muint8(da), ub = muint8(db);
        ASSERT_EQ(ua.gettype(), qv_uint8);
        ASSERT_TRUE(ua.isc());
        SCOPED_TRACE("A = " + z_text(complex_values(da)) + ", B = " + z_text(complex_values(db)));
        Mm r, ia, ib, s, sa, sb;
        intersect(ua, ub, i_o, r, ia, ib);
        intersect(da, db, i_o, s, sa, sb);
        EXPECT_TRUE(same_z(complex_values(r), complex_values(s)));
        EXPECT_EQ(values(ia), values(sa));
        EXPECT_EQ(values(ib), values(sb));
        setxor(ua, ub, i_o, r, ia, ib);
        setxor(da, db, i_o, s, sa, sb);
        EXPECT_TRUE(same_z(complex_values(r), complex_values(s)));
        EXPECT_EQ(values(ia), values(sa));
        EXPECT_TRUE(same_z(complex_values(setdiff(ua, ub)), complex_values(setdiff(da, db))));
        EXPECT_TRUE(same_z(complex_values(munion(ua, ub)), complex_values(munion(da, db))));
        const Mm u = unique(ua);
        EXPECT_EQ(u.gettype(), qv_uint8);
        EXPECT_TRUE(same_z(complex_values(u), complex_values(unique(da))));
        EXPECT_EQ(values(ismember(ua, ub)), values(ismember(da, db)));
        const Mm sorted = sort(ua);
        EXPECT_EQ(sorted.gettype(), qv_uint8);
        EXPECT_TRUE(same_z(complex_values(sorted), complex_values(sort(da))));
    }
}

} // namespace
