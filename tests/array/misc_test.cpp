// isequal, the for-loop helpers, deal, deepcopy, complex construction,
// spaced vectors, peaks (against mpmath), abcdchk and the constant and
// environment queries.
#include "test_support.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double qnan = std::numeric_limits<double>::quiet_NaN();

struct PeaksReference {
    double x, y, z, scale;
};

const std::vector<PeaksReference> peaks_reference = {
#include "data/peaks_reference.inc"
};

Mm cell_of(std::initializer_list<Mm> elements)
{
    Mm c(0, 0, 0, 1, int(elements.size()), qv_cell);
    int k = 0;
    for (const Mm& e : elements)
        c.getpr((Mm*)nullptr)[k++] = e;
    return c;
}

// A 2x2 sparse double holding the given entries at 0-based positions.
Mm sparse2x2(std::initializer_list<std::pair<int, double>> entries)
{
    Mm s(0, 1, int(entries.size()), 2, 2, qv_double);
    int k = 0;
    for (const auto& [at, v] : entries) {
        s.getindex()[k] = at;
        s.addr()[k++] = v;
    }
    s.getnnz() = k;
    return s;
}

std::string text_of(const Mm& x)
{
    std::string s;
    for (double v : test::values(x))
        s += char(v);
    return s;
}

TEST(Isequal, ValuesTypesAndShapes)
{
    Mm complex_zero = test::complex(1, 2, {1, 2}, {0, 0});
    Mm with_field = cell_of({Mm(1.0)});
    with_field.addfield("a", 1);
    Mm other_field = cell_of({Mm(1.0)});
    other_field.addfield("b", 1);
    struct Case {
        const char* what;
        int got, expected;
    };
    const std::vector<Case> cases = {
        {"equal rows", isequal(test::row({1, 2}), test::row({1, 2})), 1},
        {"row and column", isequal(test::row({1, 2}), test::real(2, 1, {1, 2})), 0},
        {"NaN equals nothing", isequal(test::row({1, qnan}), test::row({1, qnan})), 0},
        {"text and numbers alike", isequal(test::text("a"), Mm(97.0)), 1},
        {"text", isequal(test::text("abc"), test::text("abc")), 1},
        {"a zero imaginary part", isequal(complex_zero, test::row({1, 2})), 1},
        {"complex", isequal(test::complex(1, 1, {1}, {2}), test::complex(1, 1, {1}, {2})), 1},
        {"imaginary parts differ", isequal(test::complex(1, 1, {1}, {2}), test::complex(1, 1, {1}, {3})), 0},
        {"bytes", isequal(test::bytes(1, 2, {1, 200}), test::bytes(1, 2, {1, 200})), 1},
        {"bytes and doubles are different types", isequal(test::bytes(1, 1, {1}), Mm(1.0)), 0},
        {"empty values", isequal(Mm(), x_M), 1},
        {"cells element by element", isequal(cell_of({Mm(1.0), test::text("x")}), cell_of({Mm(1.0), test::text("x")})), 1},
        {"cells that differ", isequal(cell_of({Mm(1.0), Mm(2.0)}), cell_of({Mm(1.0), Mm(3.0)})), 0},
        {"structs with the same fields", isequal(with_field, with_field), 1},
        {"structs with other fields", isequal(with_field, other_field), 0},
        {"a three-dimensional value", isequal(zeros(Mm(2.0), Mm(2.0), Mm(2.0)), zeros(Mm(2.0), Mm(2.0), Mm(2.0))), 1},
        {"extents differ", isequal(zeros(Mm(2.0), Mm(2.0), Mm(2.0)), zeros(Mm(2.0), Mm(4.0))), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.expected);
    }
}

// The test of a switch statement: a case given as a cell matches any of
// its elements, nested cells included.
TEST(Isequal, CellMembership)
{
    struct Case {
        const char* what;
        int got, expected;
    };
    const std::vector<Case> cases = {
        {"{1, 'a'} and 1", isequal(cell_of({Mm(1.0), test::text("a")}), Mm(1.0)), 1},
        {"1 and {1, 'a'}", isequal(Mm(1.0), cell_of({Mm(1.0), test::text("a")})), 1},
        {"{1, 'a'} and 'a'", isequal(cell_of({Mm(1.0), test::text("a")}), test::text("a")), 1},
        {"{2, 3} and 1", isequal(cell_of({Mm(2.0), Mm(3.0)}), Mm(1.0)), 0},
        {"an empty cell", isequal(Mm(0, 0, 0, 0, 0, qv_cell), Mm(1.0)), 0},
        {"a nested cell", isequal(cell_of({cell_of({Mm(4.0), Mm(5.0)})}), Mm(5.0)), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.expected);
    }
    EXPECT_EQ(isequal(Mm(1.0), Mm(1.0), cell_of({Mm(1.0), Mm(1.0)})), 1);
    EXPECT_EQ(isequal(Mm(1.0), Mm(1.0), cell_of({Mm(1.0), Mm(2.0)})), 0);
    EXPECT_EQ(isequal(Mm(1.0), Mm(1.0), Mm(1.0)), 1);
    EXPECT_EQ(isequal(Mm(1.0), Mm(2.0), cell_of({Mm(1.0)})), 0);
    EXPECT_ERROR(isequal(Mm(1.0)), "isequal does not accept 1 input");
}

TEST(Isequal, SparseComparesStoredPositions)
{
    const Mm five_first = sparse2x2({{0, 5}}), five_last = sparse2x2({{3, 5}});
    EXPECT_EQ(isequal(five_first, five_last), 0) << "one stored 5 at different positions";
    EXPECT_EQ(isequal(five_first, sparse2x2({{0, 5}})), 1);
    EXPECT_EQ(isequal(five_first, test::real(2, 2, {5, 0, 0, 0})), 1) << "sparse against full";
    EXPECT_EQ(isequal(test::real(2, 2, {5, 0, 0, 0}), five_first), 1);
    EXPECT_EQ(isequal(five_first, test::real(2, 2, {5, 0, 0, 1})), 0);
    EXPECT_EQ(isequal(five_first, test::real(2, 2, {4, 0, 0, 0})), 0);
    EXPECT_EQ(isequal(sparse2x2({{0, 5}, {3, 1}}), sparse2x2({{0, 5}})), 0);
}

// A stored zero (from spalloc or an assignment) is no non-zero: values
// that differ only in stored zeros are equal, sparse or full.
TEST(Isequal, StoredZerosAreNotNonZeros)
{
    struct Case {
        const char* what;
        Mm a, b;
        int expected;
    };
    const Mm zero_stored = sparse2x2({{0, 0}});
    const Mm five_and_zero = sparse2x2({{0, 0}, {3, 5}});
    const std::vector<Case> cases = {
        {"a stored zero against zeros(2)", zero_stored, zeros(2.0), 1},
        {"zeros(2) against a stored zero", zeros(2.0), zero_stored, 1},
        {"a stored zero against an empty pattern", zero_stored, sparse(zeros(2.0)), 1},
        {"an empty pattern against a stored zero", sparse(zeros(2.0)), zero_stored, 1},
        {"stored zeros at different places", zero_stored, sparse2x2({{2, 0}}), 1},
        {"a five beside a stored zero, against the five", five_and_zero, sparse2x2({{3, 5}}), 1},
        {"against the full five", five_and_zero, test::real(2, 2, {0, 0, 0, 5}), 1},
        {"against a different full value", five_and_zero, test::real(2, 2, {1, 0, 0, 5}), 0},
        {"against a five elsewhere", five_and_zero, sparse2x2({{0, 5}}), 0},
        {"duplicates that cancel", sparse(test::row({1, 1}), test::row({1, 1}), test::row({1, -1}), Mm(2.0), Mm(2.0)),
         zeros(2.0), 1},
        {"NaN stored is never equal", sparse2x2({{0, NAN}}), sparse2x2({{0, NAN}}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(isequal(c.a, c.b), c.expected);
    }
}

TEST(ForLoop, ColumnsOfTheRange)
{
    Mm range = test::real(2, 3, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(forsize(range), 3);
    EXPECT_EQ(columns(zeros(Mm(2.0), Mm(3.0), Mm(4.0))), 12) << "pages count as more columns";
    EXPECT_EQ(columns(Mm()), 0);

    Mm var("v", 1, 1);
    std::vector<std::vector<double>> seen;
    for (int k = 0; k < forsize(range); ++k) {
        forelem(var, range, k);
        ASSERT_EQ(test::extents(var), (std::vector<int>{2, 1}));
        seen.push_back(test::values(var));
    }
    EXPECT_EQ(seen, (std::vector<std::vector<double>>{{1, 2}, {3, 4}, {5, 6}}));
    EXPECT_STREQ(var.getname(), "v") << "the loop variable keeps its name";

    Mm row = test::row({7, 8, 9});
    forelem(var, row, 2);
    EXPECT_EQ(test::extents(var), (std::vector<int>{1, 1}));
    EXPECT_EQ(var.r(), 9);
    EXPECT_ERROR(forelem(var, row, 3), "forelem: iteration 4 is outside the range");
}

// A copy of the loop variable taken in the loop body must keep its value
// when the next iteration writes the variable.
TEST(ForLoop, SharedVariableIsNotOverwritten)
{
    Mm range = test::row({1, 2, 3});
    Mm var;
    forelem(var, range, 0);
    const Mm kept = var;
    forelem(var, range, 1);
    EXPECT_EQ(kept.r(), 1);
    EXPECT_EQ(var.r(), 2);
    EXPECT_EQ(range.r(3.0), 3) << "the range is untouched";
}

TEST(ForLoop, ElementTypesOfTheRange)
{
    Mm var;
    Mm bytes = test::bytes(2, 2, {1, 2, 250, 251});
    forelem(var, bytes, 1);
    ASSERT_EQ(var.gettype(), qv_uint8);
    EXPECT_EQ(var.ur(1), 250);
    EXPECT_EQ(var.ur(2), 251);

    Mm cells = cell_of({Mm(1.0), test::text("two")});
    forelem(var, cells, 1);
    ASSERT_EQ(var.gettype(), qv_cell);
    EXPECT_EQ(text_of(var.getpr((Mm*)nullptr)[0]), "two");

    Mm text = test::text("ab");
    forelem(var, text, 0);
    EXPECT_TRUE(var.isstr());
    EXPECT_EQ(var.r(), 'a');

    Mm z = test::complex(1, 2, {1, 2}, {3, 4});
    forelem(var, z, 1);
    ASSERT_TRUE(var.isc());
    EXPECT_EQ(var.r(), 2);
    EXPECT_EQ(var.i(), 4);

    // The loop body may give the variable another kind or shape.
    Mm numbers = test::row({5, 6});
    forelem(var, numbers, 0);
    var = test::text("changed");
    forelem(var, numbers, 1);
    EXPECT_EQ(test::extents(var), (std::vector<int>{1, 1}));
    EXPECT_FALSE(var.isstr());
    EXPECT_EQ(var.r(), 6);
}

TEST(Values, DealAndDeepcopy)
{
    const Mm c = cell_of({Mm(1.0), test::text("b"), test::row({3, 4})});
    EXPECT_EQ(deal(c).r(), 1);
    Mm a, b, d;
    EXPECT_EQ(deal(c, i_o, a, b, d).getnnz(), 0);
    EXPECT_EQ(a.r(), 1);
    EXPECT_EQ(text_of(b), "b");
    EXPECT_EQ(test::values(d), (std::vector<double>{3, 4}));
    Mm self = c;
    deal(self, i_o, a, self);
    EXPECT_EQ(text_of(self), "b") << "outputs are written after every element is read";
    EXPECT_EQ(a.r(), 1);
    EXPECT_ERROR(deal(test::row({1, 2})), "variable '(temporary)' was {}-indexed, but it is not a cell array");

    const Mm x = test::complex(1, 2, {1, 2}, {3, 4});
    Mm copy = deepcopy(x);
    EXPECT_EQ(copy.dirty(), 0);
    EXPECT_EQ(x.dirty(), 0) << "no storage shared";
    copy.addr()[0] = 9;
    EXPECT_EQ(test::at(x, 0), 1);
    EXPECT_TRUE(copy.isc());
}

TEST(Values, ComplexConstruction)
{
    const Mm z = mcomplex(test::row({1, 2}), test::row({3, inf}));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(test::values(real(z)), (std::vector<double>{1, 2})) << "an infinite imaginary part stays apart";
    EXPECT_EQ(test::values(imag(z)), (std::vector<double>{3, inf}));
    const Mm w = mcomplex(Mm(1.0), test::row({5, 6}));
    EXPECT_EQ(test::values(real(w)), (std::vector<double>{1, 1}));
    EXPECT_EQ(test::values(imag(w)), (std::vector<double>{5, 6}));
    const Mm y = mcomplex(test::row({2, -1}));
    EXPECT_EQ(test::values(real(y)), (std::vector<double>{0, 0}));
    EXPECT_EQ(test::values(imag(y)), (std::vector<double>{2, -1}));
    const Mm both = mcomplex(test::complex(1, 1, {1}, {1}), Mm(2.0));
    EXPECT_EQ(test::at(imag(both), 0), 3) << "x + i*y for a complex x";
    EXPECT_ERROR(mcomplex(test::row({1, 2}), test::row({1, 2, 3})),
                 "plus: incompatible dimensions of: (temporary), (temporary)");

    double data[6] = {1, 2, 3, 4, 5, 6};
    const Mm m = M_from_double_array(data, 2, 3);
    EXPECT_EQ(test::extents(m), (std::vector<int>{2, 3}));
    EXPECT_EQ(m.r(2.0, 3.0), 6);
    EXPECT_EQ(M_from_double_array(nullptr, 0, 0).getnnz(), 0);
    EXPECT_ERROR(M_from_double_array(nullptr, 2, 2), "M_from_double_array: no data for a 2x2 matrix");
}

TEST(Values, SpacedVectors)
{
    EXPECT_EQ(test::values(linspace(Mm(0.0), Mm(1.0), Mm(5.0))), (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
    EXPECT_EQ(test::values(linspace(Mm(0.0), Mm(1.0), Mm(1.0))), (std::vector<double>{1}));
    EXPECT_EQ(test::values(linspace(Mm(3.0), Mm(-1.0), Mm(0.0))), (std::vector<double>{-1}));
    EXPECT_EQ(test::values(linspace(Mm(0.0), Mm(1.0), Mm(qnan))), (std::vector<double>{1}));
    const Mm hundred = linspace(Mm(-1.0), Mm(1.0));
    EXPECT_EQ(test::extents(hundred), (std::vector<int>{1, 100}));
    EXPECT_EQ(test::at(hundred, 0), -1);
    EXPECT_EQ(test::at(hundred, 99), 1);
    EXPECT_ERROR(linspace(Mm(0.0), Mm(1.0), Mm()), "(temporary).r(): matrix is empty");

    const Mm l = logspace(Mm(0.0), pi, Mm(3.0));
    ASSERT_EQ(l.getnnz(), 3);
    EXPECT_EQ(test::at(l, 0), 1);
    EXPECT_ULPS(test::at(l, 1), std::sqrt(M_PI), 4);
    EXPECT_ULPS(test::at(l, 2), M_PI, 4);
    EXPECT_EQ(test::values(logspace(Mm(0.0), Mm(2.0), Mm(3.0))), (std::vector<double>{1, 10, 100}));
    EXPECT_EQ(test::values(logspace(Mm(0.0), Mm(2.0), Mm(1.0))), (std::vector<double>{100}));
    EXPECT_EQ(logspace(Mm(0.0), Mm(1.0)).getnnz(), 50);
}

// linspace(a, b, n) against reference points; every case ends at b.
struct LinspaceCase {
    double a, b, n;
    std::vector<double> expected;
};

template <class Check>
void check_linspace(const std::vector<LinspaceCase>& cases, Check point_matches)
{
    for (const auto& c : cases) {
        SCOPED_TRACE("linspace(" + std::to_string(c.a) + ", " + std::to_string(c.b) + ", " + std::to_string(c.n) + ")");
        const std::vector<double> got = test::values(linspace(Mm(c.a), Mm(c.b), Mm(c.n)));
        ASSERT_EQ(got.size(), c.expected.size());
        EXPECT_EQ(got.front(), c.a) << "the first point is the start";
        EXPECT_EQ(got.back(), c.b) << "the last point is the end";
        for (std::size_t k = 0; k < got.size(); ++k)
            point_matches(c, got[k], c.expected[k]);
    }
}

// A fractional count gives its whole part of points, from a to b.
TEST(Values, LinspaceWithAFractionalCount)
{
    check_linspace({
#include "data/linspace_counts.inc"
                   },
                   [](const LinspaceCase&, double got, double want) { EXPECT_ULPS(got, want, 1); });
    EXPECT_EQ(test::values(linspace(Mm(0.0), Mm(1.0), Mm(2.5))), (std::vector<double>{0, 1}));
    EXPECT_EQ(test::values(logspace(Mm(0.0), Mm(2.0), Mm(3.7))), (std::vector<double>{1, 10, 100}));
}

// Ends whose difference overflows: the first point is a, the last b, and
// every one within a few eps of the larger end of the exact point.
TEST(Values, LinspaceBetweenEndsFarApart)
{
    check_linspace({
#include "data/linspace_wide.inc"
                   },
                   [](const LinspaceCase& c, double got, double want) {
                       const double ends = std::max(std::fabs(c.a), std::fabs(c.b));
                       EXPECT_LE(std::fabs(got - want), 4 * std::numeric_limits<double>::epsilon() * ends)
                           << got << " vs " << want;
                   });
    // The plain calls, spelled out.
    EXPECT_EQ(test::values(linspace(Mm(1e308), Mm(-1e308), Mm(3.0))), (std::vector<double>{1e308, 0, -1e308}));
    EXPECT_EQ(test::values(linspace(Mm(-1.5e308), Mm(1.5e308), Mm(5.0))),
              (std::vector<double>{-1.5e308, -0.75e308, 0, 0.75e308, 1.5e308}));
    // Complex ends: each part alike, the ends kept.
    const Mm z = linspace(test::complex(1, 1, {1e308}, {-1.7e308}), test::complex(1, 1, {-1e308}, {1.7e308}), Mm(3.0));
    ASSERT_TRUE(z.isc());
    EXPECT_EQ(test::values(z), (std::vector<double>{1e308, 0, -1e308}));
    EXPECT_EQ(std::vector<double>(z.addi(), z.addi() + 3), (std::vector<double>{-1.7e308, 0, 1.7e308}));
    // Infinite ends stay ends; what lies between is what the formula gives.
    const std::vector<double> to_inf = test::values(linspace(Mm(0.0), Mm(INFINITY), Mm(3.0)));
    EXPECT_EQ(to_inf.front(), 0);
    EXPECT_EQ(to_inf.back(), INFINITY);
}

TEST(Values, ConstantsAndEnvironment)
{
    EXPECT_EQ(bitmax().r(), 9007199254740992.0);
    EXPECT_EQ(bitmax().r(), std::ldexp(1.0, 53));
    EXPECT_EQ(text_of(computer()), "PCWIN");
    EXPECT_TRUE(computer().isstr());
    Mm c, maxsize;
    computer(i_o, c, maxsize);
    EXPECT_EQ(text_of(c), "PCWIN");
    EXPECT_EQ(maxsize.r(), 268435439);

    ::setenv("NUMRUN_MISC_TEST", "value=1", 1);
    const Mm v = getenv(test::text("NUMRUN_MISC_TEST"));
    EXPECT_TRUE(v.isstr());
    EXPECT_EQ(text_of(v), "value=1");
    ::unsetenv("NUMRUN_MISC_TEST");
    EXPECT_EQ(getenv(test::text("NUMRUN_MISC_TEST")).getnnz(), 0);
    EXPECT_TRUE(getenv(test::text("NUMRUN_MISC_TEST")).isstr());
    ::setenv("NUMRUN_MISC_TEST", std::string(5000, 'x').c_str(), 1);
    EXPECT_EQ(getenv(test::text("NUMRUN_MISC_TEST")).getnnz(), 2047) << "cut to the 2048-byte buffer";
    ::unsetenv("NUMRUN_MISC_TEST");

    const Mm name = inputname(Mm(1.0));
    EXPECT_TRUE(name.isstr());
    EXPECT_EQ(name.getnnz(), 0);
}

// The surface against mpmath; near its zeros the terms cancel, so the
// tolerance follows the size of the terms.
TEST(Peaks, SurfaceAndGrids)
{
    ASSERT_GE(peaks_reference.size(), 8u);
    for (const auto& c : peaks_reference) {
        SCOPED_TRACE("peaks(" + std::to_string(c.x) + ", " + std::to_string(c.y) + ")");
        EXPECT_NEAR(peaks(Mm(c.x), Mm(c.y)).r(), c.z, 16 * std::numeric_limits<double>::epsilon() * c.scale);
    }

    const Mm z = peaks();
    EXPECT_EQ(test::extents(z), (std::vector<int>{49, 49}));
    Mm x, y, zz;
    peaks(i_o, x, y, zz);
    EXPECT_EQ(test::extents(x), (std::vector<int>{49, 49}));
    EXPECT_EQ(x.r(1.0, 49.0), 3);
    EXPECT_EQ(y.r(49.0, 1.0), 3);
    EXPECT_EQ(x.r(1.0, 2.0), -2.875);
    EXPECT_EQ(test::values(zz), test::values(z));

    peaks(Mm(2.0), i_o, x, y, zz);
    EXPECT_EQ(test::values(x), (std::vector<double>{-3, -3, 3, 3}));
    EXPECT_EQ(test::values(y), (std::vector<double>{-3, 3, -3, 3}));
    EXPECT_EQ(test::values(zz), test::values(peaks(Mm(2.0))));

    peaks(test::row({0, 1, 2}), i_o, x, y, zz);
    EXPECT_EQ(test::extents(zz), (std::vector<int>{3, 3}));
    EXPECT_EQ(test::at(y, 1), 1);

    Mm gx = test::row({0.5}), gy = test::row({-1});
    peaks(gx, gy, i_o, gx, gy, zz);
    EXPECT_EQ(gx.r(), 0.5);
    EXPECT_EQ(gy.r(), -1);
    EXPECT_EQ(zz.r(), peaks(Mm(0.5), Mm(-1.0)).r());
}

TEST(Abcdchk, MessagesAreReturned)
{
    const Mm a2x2 = zeros(2.0, 2.0), a2x3 = zeros(2.0, 3.0);
    struct Case {
        const char* what;
        Mm got;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"a not square", abcdchk(a2x3, zeros(2.0, 1.0)), "abcdchk: a is not square"},
        {"rows of a and b", abcdchk(a2x2, zeros(3.0, 1.0)), "abcdchk: a and b have different number of rows"},
        {"consistent pair", abcdchk(a2x2, zeros(2.0, 1.0)), ""},
        {"four, consistent", abcdchk(a2x2, zeros(2.0, 1.0), zeros(1.0, 2.0), zeros(1.0, 1.0)), ""},
        {"four, a not square", abcdchk(a2x3, zeros(2.0, 1.0), zeros(1.0, 3.0), zeros(1.0, 1.0)),
         "abcdchk: a is not square"},
        {"columns of a and c", abcdchk(a2x2, zeros(2.0, 1.0), zeros(1.0, 3.0), zeros(1.0, 1.0)),
         "abcdchk: a and c have different number of columns"},
        {"rows of c and d", abcdchk(a2x2, zeros(2.0, 1.0), zeros(1.0, 2.0), zeros(2.0, 1.0)),
         "abcdchk: c and d have different number of rows"},
        {"columns of b and d", abcdchk(a2x2, zeros(2.0, 1.0), zeros(1.0, 2.0), zeros(1.0, 2.0)),
         "abcdchk: b and d have different number of columns"},
        {"without c and d the pair is not checked", abcdchk(a2x3, zeros(2.0, 1.0), Mm(), Mm()), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(text_of(c.got), c.expected);
        EXPECT_TRUE(c.got.isstr());
    }

    Mm msg, a, b, cc, d;
    Mm b_in = zeros(3.0, 1.0);
    abcdchk(a2x2, b_in, i_o, msg, a, b);
    EXPECT_EQ(text_of(msg), "abcdchk: a and b have different number of rows");
    EXPECT_EQ(test::extents(b), (std::vector<int>{3, 1}));
    abcdchk(a2x2, zeros(2.0, 1.0), zeros(1.0, 2.0), Mm(), i_o, msg, a, b, cc, d);
    EXPECT_EQ(test::extents(a), (std::vector<int>{2, 2})) << "set even when d is empty";
    EXPECT_EQ(test::extents(cc), (std::vector<int>{1, 2}));
    EXPECT_ERROR(abcdchk(a2x2), "abcdchk does not accept 1 input");
    EXPECT_ERROR(abcdchk(a2x2, a2x2, a2x2), "abcdchk does not accept 3 inputs");
}

} // namespace
