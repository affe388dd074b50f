// The constructors zeros, ones, eye, rand and randn: sizes from every
// argument form, contents, warnings, refused arguments, oversized requests,
// and czeros/ceye.
#include "test_support.hpp"

#include "array/constructors.hpp"

#include <functional>
#include <string>
#include <vector>

namespace {

std::vector<int> dims_of(const Mm& x) { return {x.getdims(), x.getdims() + x.getndims()}; }

// A sparse row whose stored entries are the given (0-based position, value)
// pairs.
Mm sparse_row(int cols, std::vector<std::pair<int, double>> entries)
{
    Mm s(0, 1, static_cast<int>(entries.size()), 1, cols, qv_double);
    for (std::size_t k = 0; k < entries.size(); ++k) {
        s.getindex()[k] = entries[k].first;
        s.addr()[k] = entries[k].second;
    }
    s.getnnz() = static_cast<int>(entries.size());
    return s;
}

bool all_equal(const Mm& x, double v)
{
    for (int k = 0; k < x.getnnz(); ++k)
        if (test::bits(test::at(x, k)) != test::bits(v))
            return false;
    return true;
}

struct ShapeCase {
    const char* call;
    std::function<Mm()> make;
    std::vector<int> dims;
    double fill;          // every element; NaN: not checked here
    const char* warning;  // "" for none
};

TEST(Constructors, SizesFromEveryArgumentForm)
{
    const Mm e(0, 0, 0, 0, 0, qv_double);
    const std::vector<ShapeCase> cases = {
        {"zeros(2.7)", [] { return zeros(2.7); }, {2, 2}, 0.0, ""},
        {"zeros([2.7 2.7])", [] { return zeros(test::row({2.7, 2.7})); }, {3, 3}, 0.0, ""},
        {"zeros(Mm 2.7)", [] { return zeros(Mm(2.7)); }, {2, 2}, 0.0, ""},
        {"zeros(0.6)", [] { return zeros(0.6); }, {0, 0}, NAN, ""},
        {"zeros([0.6 1])", [] { return zeros(test::row({0.6, 1})); }, {1, 1}, 0.0, ""},
        {"zeros(-1)", [] { return zeros(-1.0); }, {0, 0}, NAN, ""},
        {"zeros(NaN)", [] { return zeros(NAN); }, {0, 0}, NAN, ""},
        {"zeros(Mm NaN)", [] { return zeros(Mm(NAN)); }, {0, 0}, NAN, ""},
        {"zeros([2 -3])", [] { return zeros(test::row({2, -3})); }, {0, 0}, NAN, ""},
        {"zeros([])", [&] { return zeros(e); }, {0, 0}, NAN, ""},
        {"zeros(3, [])", [&] { return zeros(Mm(3.0), e); }, {0, 0}, NAN, ""},
        {"ones(3, [])", [&] { return ones(Mm(3.0), e); }, {0, 0}, NAN, ""},
        {"randM(2, 2, [])", [&] { return randM(Mm(2.0), Mm(2.0), e); }, {0, 0}, NAN, ""},
        {"zeros([2 3], 4)", [] { return zeros(test::row({2, 3}), Mm(4.0)); }, {2, 4}, 0.0, ""},
        {"zeros(2, 3)", [] { return zeros(2, 3); }, {2, 3}, 0.0, ""},
        {"zeros(2, 3, 4)", [] { return zeros(2, 3, 4); }, {2, 3, 4}, 0.0, ""},
        {"ones(2, 3, 1)", [] { return ones(2, 3, 1); }, {2, 3}, 1.0, ""},
        {"ones(2, 3, 1, 4)", [] { return ones(2, 3, 1, 4); }, {2, 3, 1, 4}, 1.0, ""},
        {"ones(2, 3, 4, 1)", [] { return ones(2, 3, 4, 1); }, {2, 3, 4}, 1.0, ""},
        {"ones(1e1, 2.9)", [] { return ones(1e1, 2.9); }, {10, 2}, 1.0, ""},
        {"ones(0, 3)", [] { return ones(0.0, 3.0); }, {0, 0}, NAN, ""},
        {"ones([2 3 2])", [] { return ones(test::row({2, 3, 2})); }, {2, 3, 2}, 1.0, ""},
        {"ones([2 3], 7, 7)", [] { return ones(test::row({2, 3}), Mm(7.0), Mm(7.0)); }, {2, 3}, 1.0, ""},
        {"zeros([2 3 4 5 6])", [] { return zeros(test::row({2, 3, 4, 5, 6})); }, {2, 3, 4, 5}, 0.0,
         "warning: eye01: too many dimensions\n\n"},
        {"ones(2, [1 2])", [] { return ones(Mm(2.0), test::row({1, 2})); }, {2, 1}, 1.0,
         "warning: eye01: expecting scalar argument\n\n"},
        {"ones(2, 3, [1 2], 2)", [] { return ones(Mm(2.0), Mm(3.0), test::row({1, 2}), Mm(2.0)); }, {2, 3, 1, 2},
         1.0, "warning: eye01: expecting scalar argument\n\n"},
        {"ones()", [] { return ones(); }, {1, 1}, 1.0, ""},
        {"stdoutM()", [] { return stdoutM(); }, {1, 1}, 1.0, ""},
        {"eye()", [] { return eye(); }, {1, 1}, 1.0, ""},
        {"zeros(uint8 [2 3])", [] { return zeros(test::bytes(1, 2, {2, 3})); }, {2, 3}, 0.0, ""},
        {"ones(uint8 2, 3)", [] { return ones(test::bytes(1, 1, {2}), Mm(3.0)); }, {2, 3}, 1.0, ""},
        {"zeros(uint8 2, uint8 5)", [] { return zeros(test::bytes(1, 1, {2}), test::bytes(1, 1, {5})); }, {2, 5},
         0.0, ""},
        {"zeros(sparse [2 3])", [] { return zeros(sparse_row(2, {{0, 2}, {1, 3}})); }, {2, 3}, 0.0, ""},
        {"ones(2, sparse 3)", [] { return ones(Mm(2.0), sparse_row(1, {{0, 3}})); }, {2, 3}, 1.0, ""},
        {"ones(2, sparse 0)", [] { return ones(Mm(2.0), sparse_row(1, {})); }, {0, 0}, NAN, ""},
        {"zeros(sparse [0 4], 2)", [] { return zeros(sparse_row(2, {{1, 4}}), Mm(2.0)); }, {4, 2}, 0.0, ""},
        {"zeros(text of codes 2 3)", [] { return zeros(test::text("\x02\x03")); }, {2, 3}, 0.0, ""},
        {"zeros(complex 2)", [] { return zeros(test::complex(1, 1, {2}, {9})); }, {2, 2}, 0.0, ""},
    };
    for (const ShapeCase& c : cases) {
        SCOPED_TRACE(c.call);
        test::clear_printed();
        Mm x = c.make();
        EXPECT_EQ(dims_of(x), c.dims);
        EXPECT_EQ(x.gettype(), qv_double);
        EXPECT_FALSE(x.isc());
        EXPECT_FALSE(x.issparse());
        if (c.fill == c.fill) {
            EXPECT_TRUE(all_equal(x, c.fill));
        }
        EXPECT_EQ(test::printed(), c.warning);
    }
}

TEST(Constructors, EyeHasOnesOnTheFirstPageDiagonalOnly)
{
    struct Case {
        const char* call;
        Mm x;
        std::vector<int> dims;
        std::vector<double> values;
    };
    const std::vector<Case> cases = {
        {"eye(2, 3)", eye(2, 3), {2, 3}, {1, 0, 0, 1, 0, 0}},
        {"eye(3, 2)", eye(3, 2), {3, 2}, {1, 0, 0, 0, 1, 0}},
        {"eye(3)", eye(3), {3, 3}, {1, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"eye(Mm 2)", eye(Mm(2.0)), {2, 2}, {1, 0, 0, 1}},
        {"eye([1 3])", eye(test::row({1, 3})), {1, 3}, {1, 0, 0}},
        {"eye(2, 2, 2)", eye(2, 2, 2), {2, 2, 2}, {1, 0, 0, 1, 0, 0, 0, 0}},
        {"eye(2, 1, 1, 2)", eye(2, 1, 1, 2), {2, 1, 1, 2}, {1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        ASSERT_EQ(dims_of(c.x), c.dims);
        for (std::size_t k = 0; k < c.values.size(); ++k)
            EXPECT_BITS_EQ(test::at(c.x, int(k)), c.values[k]) << " at " << k;
    }
}

TEST(Constructors, CellAndStructSizesAreRefused)
{
    Mm cell(0, 0, 0, 1, 2, qv_cell);
    Mm one_cell(0, 0, 0, 1, 1, qv_cell);
    Mm s(0, 0, 0, 1, 1, qv_cell);
    s.addfield("a", 0);
    EXPECT_ERROR(zeros(cell), "zeros: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(ones(Mm(2.0), one_cell), "ones: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(eye(s), "eye: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(zeros(Mm(2.0), one_cell), "zeros: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(randM(cell), "rand: numeric data expected, but matrix (temporary) is not");
    EXPECT_ERROR(randn(Mm(1.0), Mm(2.0), one_cell), "randn: numeric data expected, but matrix (temporary) is not");
}

std::vector<std::string> returned_errors;
void returning_hook(const char* text) { returned_errors.push_back(text); }

// Under a hook that returns, an oversized request gives an empty value after
// one "Out of memory!", and nothing was drawn or stored on the way.
TEST(Constructors, OversizedRequestsRunOutOfMemoryBeforeDrawing)
{
    const Mm big(2147483647.0);
    const int huge[4] = {65536, 65536, 65536, 65536};
    struct Case {
        const char* call;
        std::function<Mm()> make;
    };
    const std::vector<Case> cases = {
        {"zeros(1e5, 1e5)", [] { return zeros(1e5, 1e5); }},
        {"ones([1e5 1e5])", [] { return ones(test::row({1e5, 1e5})); }},
        {"eye(1e5)", [] { return eye(1e5); }},
        {"randM(1e5, 1e5)", [] { return randM(1e5, 1e5); }},
        {"randn(Mm 1e5)", [] { return randn(Mm(1e5)); }},
        {"four extents near 2^31", [&] { return ones(big, big, big, big); }},
        {"randn, four extents near 2^31", [&] { return randn(big, big, big, big); }},
        {"czeros, 4 x 65536", [&] { return czeros(1, 4, huge); }},
        {"ceye(1, 65536, 65536)", [] { return ceye(1, 65536, 65536); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        Mm u = randM(test::text("state")), n = randn(test::text("state"));
        returned_errors.clear();
        qv_text_handler old = qv_set_error_handler(returning_hook);
        Mm r = c.make();
        qv_set_error_handler(old);
        EXPECT_EQ(returned_errors, std::vector<std::string>{"Out of memory!"});
        EXPECT_EQ(dims_of(r), (std::vector<int>{0, 0}));
        EXPECT_EQ(r.gettype(), qv_double);
        Mm u2 = randM(test::text("state")), n2 = randn(test::text("state"));
        for (int k = 0; k < 35; ++k)
            EXPECT_BITS_EQ(test::at(u2, k), test::at(u, k));
        EXPECT_EQ(test::at(n2, 0), test::at(n, 0));
        EXPECT_EQ(test::at(n2, 1), test::at(n, 1));
        EXPECT_EQ(x_M.getnnz(), 0);
    }
    EXPECT_ERROR(zeros(1e5, 1e5), "Out of memory!");
}

TEST(Constructors, RandFillsColumnMajorWithOneDrawPerElement)
{
    randM(test::text("state"), Mm(0.0));
    Mm m = randM(3);
    double tenth = randM();
    randM(test::text("state"), Mm(0.0));
    Mm row = randM(1.0, 10.0);
    ASSERT_EQ(dims_of(m), (std::vector<int>{3, 3}));
    for (int k = 0; k < 9; ++k)
        EXPECT_BITS_EQ(test::at(m, k), test::at(row, k));
    EXPECT_BITS_EQ(tenth, test::at(row, 9));

    // Two calls differ; a reset in between repeats the first.
    randM(test::text("state"), Mm(0.0));
    Mm a = randM(3), b = randM(3);
    randM(test::text("state"), Mm(0.0));
    Mm c = randM(Mm(3.0));
    EXPECT_NE(test::at(a, 0), test::at(b, 0));
    for (int k = 0; k < 9; ++k)
        EXPECT_BITS_EQ(test::at(c, k), test::at(a, k));

    randn(test::text("state"), Mm(0.0));
    Mm z = randn(2, 3, 2);
    randn(test::text("state"), Mm(0.0));
    Mm zr = randn(1.0, 12.0);
    ASSERT_EQ(dims_of(z), (std::vector<int>{2, 3, 2}));
    for (int k = 0; k < 12; ++k)
        EXPECT_BITS_EQ(test::at(z, k), test::at(zr, k));
}

TEST(Constructors, TextThatIsNotAGeneratorFormIsASize)
{
    test::clear_printed();
    Mm x = randM(test::text("\x02"), test::text("\x03"));
    EXPECT_EQ(dims_of(x), (std::vector<int>{2, 3}));

    // A long numeric vector is read as text first, which is cut with a warning.
    std::vector<double> ones_list(2048, 1.0);
    Mm v(0, 0, 0, 1, 2048, qv_double);
    std::copy(ones_list.begin(), ones_list.end(), v.addr());
    test::clear_printed();
    Mm r = randM(v);
    EXPECT_EQ(dims_of(r), (std::vector<int>{1, 1}));
    EXPECT_EQ(test::printed(),
              "warning: Mstr: buffer too small - chopped\n\nwarning: eye01: too many dimensions\n\n");
}

TEST(Constructors, UnknownFillKindIsRefused)
{
    const int counts[2] = {2, 2};
    EXPECT_ERROR(fill_constant_matrix(5, 2, counts), "eye01_op: unknown op");
    EXPECT_ERROR(fill_constant_matrix(-1, 2, counts), "eye01_op: unknown op");
}

TEST(Constructors, CzerosAndCeye)
{
    struct Case {
        const char* call;
        Mm x;
        bool complex;
        std::vector<int> dims;
        std::vector<double> re;
    };
    const int three[3] = {2, 1, 2};
    const std::vector<Case> cases = {
        {"czeros(1, 2, 2)", czeros(1, 2, 2), true, {2, 2}, {0, 0, 0, 0}},
        {"czeros(0, 2, 3)", czeros(0, 2, 3), false, {2, 3}, {0, 0, 0, 0, 0, 0}},
        {"czeros(1, 3, dims)", czeros(1, 3, three), true, {2, 1, 2}, {0, 0, 0, 0}},
        {"czeros(0, -2, 3)", czeros(0, -2, 3), false, {0, 0}, {}},
        {"ceye(1, 2, 3)", ceye(1, 2, 3), true, {2, 3}, {1, 0, 0, 1, 0, 0}},
        {"ceye(0, 3, 2)", ceye(0, 3, 2), false, {3, 2}, {1, 0, 0, 0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        ASSERT_EQ(dims_of(c.x), c.dims);
        ASSERT_EQ(c.x.isc(), c.complex);
        for (std::size_t k = 0; k < c.re.size(); ++k) {
            EXPECT_BITS_EQ(test::at(c.x, int(k)), c.re[k]);
            if (c.complex) {
                EXPECT_BITS_EQ(c.x.addi()[k], 0.0);
            }
        }
    }
}

} // namespace
