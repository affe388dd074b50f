// Values made without writing their elements. Long whole-number ranges must
// read, copy, grow and index exactly as the written row they stand for, and
// an index that is such a range must select what the written index selects,
// with the same errors. New cells must read, copy and free as cells of
// written empty elements.
#include "test_support.hpp"
#include "value/allocator.hpp"
#include "value/mm_access.hpp"

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using test::counting;
using test::extents;
using test::values;

// The row a, a + 1, ..., b written element by element.
Mm written_range(double a, double b)
{
    const int n = static_cast<int>(b - a + 1);
    Mm out(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n; ++k)
        out.addr()[k] = a + k;
    return out;
}

bool deferred(const Mm& x)
{
    double start;
    return mm_access::unwritten_whole_range(x, start);
}

// What a test compares: type, flags, extents and every element, imaginary
// parts included.
struct snapshot {
    int type, str, logical, complex;
    std::vector<int> dims;
    std::vector<double> re, im;
    bool operator==(const snapshot&) const = default;
};

snapshot snap(const Mm& x)
{
    snapshot s{x.gettype(), x.isstr(), x.islogical(), x.isc(), extents(x), {}, {}};
    if (x.gettype() == qv_double) {
        s.re = values(x);
        if (x.isc())
            s.im = values(imag(x));
    } else if (x.gettype() == qv_uint8) {
        s.re = values(mdouble(x));
    } else if (x.gettype() == qv_cell) {
        for (int k = 1; k <= x.size(); ++k)
            for (double v : values(x.mr(k)))
                s.re.push_back(v);
    }
    return s;
}

TEST(RangeIndex, ALongRangeIsMadeWithoutItsElementsAndReadsAsThem)
{
    const Mm e = written_range(-3, 1996);
    const std::vector<std::pair<const char*, std::function<Mm(const Mm&)>>> uses = {
        {"itself", [](const Mm& r) { return r; }},
        {"sum", [](const Mm& r) { return sum(r); }},
        {"cumsum", [](const Mm& r) { return cumsum(r); }},
        {"plus a scalar", [](const Mm& r) { return r + Mm(0.5); }},
        {"times itself", [](const Mm& r) { return times(r, r); }},
        {"transpose", [](const Mm& r) { return transpose(r); }},
        {"reshape", [](const Mm& r) { return reshape(r, Mm(40.0), Mm(50.0)); }},
        {"element 7", [](const Mm& r) { return Mm(r(Mm(7.0))); }},
        {"last element", [](const Mm& r) { return Mm(r(Mm(2000.0))); }},
        {"row concatenation", [](const Mm& r) { return horzcat(r, r); }},
        {"in a cell", [](const Mm& r) { return Mm(test::cell_row({r}).br(Mm(1.0))); }},
        {"sorted", [](const Mm& r) { return sort(Mm(0.0) - r, Mm(2.0)); }},
        {"as bytes", [](const Mm& r) { return muint8(r); }},
        {"as text", [](const Mm& r) { return num2str(Mm(r(colon(1.0, 5.0)))); }},
        {"through r()", [](const Mm& r) { return Mm(r.r(1500.0)); }},
    };
    for (const auto& [what, use] : uses) {
        const Mm r = colon(-3.0, 1996.0);
        ASSERT_TRUE(deferred(r)) << what;
        EXPECT_EQ(snap(use(r)), snap(use(e))) << what;
        EXPECT_EQ(snap(r), snap(e)) << what << ": the range itself";
    }
}

TEST(RangeIndex, ShortRangesAndOtherStepsAreWrittenAtOnce)
{
    EXPECT_FALSE(deferred(colon(1.0, 10.0)));
    EXPECT_FALSE(deferred(colon(0.5, 5000.5)));  // not whole numbers
    EXPECT_FALSE(deferred(colon(1.0, 1.0, 5000.0)));
    EXPECT_TRUE(deferred(colon(Mm(1.0), Mm(5000.0))));
}

// Each base is indexed by a long range (left unwritten by the read) and by
// the written row of the same numbers.
TEST(RangeIndex, AnUnwrittenRangeIndexReadsAsTheWrittenOne)
{
    Mm text = test::text(std::string(3000, 'q').c_str());
    // Imaginary parts 1, but 0 at element 2001; and 0 but 1 at element 3000,
    // outside the selection, which is then real.
    Mm complex_row = counting({1, 3000});
    complex_row.getcomplex();
    std::fill(complex_row.addi(), complex_row.addi() + 3000, 1.0);
    complex_row.addi()[2000] = 0;
    Mm zero_imag = counting({1, 3000});
    zero_imag.getcomplex();
    zero_imag.addi()[2999] = 1;
    Mm cells = cell(Mm(1.0), Mm(3000.0));
    for (int k = 1; k <= 3000; k += 499)
        cells.br(Mm(double(k))) = Mm(double(k));
    const struct {
        const char* what;
        Mm base;
    } bases[] = {
        {"row", counting({1, 3000})},
        {"column", counting({3000, 1})},
        {"matrix", counting({50, 60})},
        {"complex row", complex_row},
        {"complex row, real selection", zero_imag},
        {"bytes", muint8(counting({1, 3000}))},
        {"text", text},
        {"logical", counting({1, 3000}) > Mm(1500.0)},
        {"cells", cells},
    };
    for (const auto& b : bases) {
        const Mm r = colon(3.0, 2002.0);
        const Mm e = written_range(3, 2002);
        const Mm got(b.base(r)), want(b.base(e));
        EXPECT_EQ(snap(got), snap(want)) << b.what;
        EXPECT_TRUE(deferred(r)) << b.what << ": the read wrote the index";
    }
}

TEST(RangeIndex, OutOfRangeRunsRaiseTheWrittenIndexErrors)
{
    const Mm x(counting({1, 3000}), "x");
    const Mm m(counting({40, 50}), "m");
    const struct {
        double a, b;
        const Mm* base;
    } cases[] = {{2000, 3500, &x}, {0, 100, &x}, {-5, 100, &x}, {1001, 2100, &m}, {3000, 3100, &x}};
    for (const auto& c : cases) {
        const std::string want = test::error_of([&] { Mm((*c.base)(written_range(c.a, c.b))); });
        ASSERT_FALSE(want.empty()) << c.a << ":" << c.b;
        EXPECT_EQ(test::error_of([&] { Mm((*c.base)(colon(c.a, c.b))); }), want) << c.a << ":" << c.b;
    }
}

TEST(RangeIndex, AnUnwrittenRangeIndexAssignsAsTheWrittenOne)
{
    const Mm y100 = counting({1, 1000}) * Mm(-1.0);
    const Mm complex_y = test::complex(1, 1, {2}, {3});
    const struct {
        const char* what;
        Mm target;
        double a, b;
        Mm source;
    } cases[] = {
        {"a run of a row", counting({1, 3000}), 1001, 2000, y100},
        {"one value over a run", counting({1, 3000}), 11, 2010, Mm(7.5)},
        {"a complex value into a real row", counting({1, 3000}), 101, 1100, complex_y},
        {"growth past the end", counting({1, 1500}), 1001, 2000, y100},
        {"growth of a column", counting({1500, 1}), 1001, 2000, y100},
        {"growth of an empty value", Mm(), 1, 1000, y100},
        {"bytes", muint8(counting({1, 3000})), 1001, 2000, Mm(9.0)},
        {"cells", cell(Mm(1.0), Mm(3000.0)), 1001, 2000, cell(Mm(1.0), Mm(1000.0))},
    };
    for (const auto& c : cases) {
        Mm got(c.target, "x"), want(c.target, "x");
        got.deepcopy(got, qv_none);
        want.deepcopy(want, qv_none);
        const Mm r = colon(c.a, c.b);
        got(r) = c.source;
        want(written_range(c.a, c.b)) = c.source;
        EXPECT_EQ(snap(got), snap(want)) << c.what;
        EXPECT_EQ(snap(c.target), snap(Mm(c.target))) << c.what;
    }

    Mm x(counting({1, 3000}), "x");
    const Mm held = x;
    const std::string want = test::error_of([&] { x(written_range(5, 1004)) = counting({1, 999}); });
    EXPECT_FALSE(want.empty());
    EXPECT_EQ(test::error_of([&] { x(colon(5.0, 1004.0)) = counting({1, 999}); }), want);
    x(colon(5.0, 1004.0)) = Mm(0.0);
    EXPECT_EQ(values(held), values(counting({1, 3000}))) << "a copy of the target changed";
    EXPECT_EQ(test::at(x, 4), 0);
    EXPECT_EQ(test::at(x, 1004), 1005);
}

TEST(RangeIndex, AnUnwrittenRangeGrowsShrinksAndSharesAsAWrittenRow)
{
    Mm r(colon(1.0, 1000.0), "r");
    const Mm copy = r;
    r(Mm(1001.0)) = Mm(-1.0);  // growth in the spare room, where the range waits
    r(Mm(3.0)) = x_M;
    std::vector<double> want = values(written_range(1, 1000));
    want.push_back(-1);
    EXPECT_EQ(values(copy), values(written_range(1, 1000)));
    want.erase(want.begin() + 2);
    EXPECT_EQ(values(r), want);

    Mm s(colon(1.0, 1000.0), "s");
    s(colon(2.0, 999.0)) = x_M;
    EXPECT_EQ(values(s), (std::vector<double>{1, 1000}));
}

// Every thread reads its own copy of one range: the first writes the shared
// elements, the others wait for it. Also run under ThreadSanitizer.
TEST(RangeIndex, ThreadsReadingOneUnwrittenRangeSeeItsElements)
{
    qv_set_MT(1);
    for (int round = 0; round < 20; ++round) {
        const Mm r = colon(1.0, 100000.0);
        std::vector<Mm> copies(4, r);
        std::vector<double> sums(copies.size());
        std::vector<std::thread> pool;
        for (std::size_t t = 0; t < copies.size(); ++t)
            pool.emplace_back([&, t] { sums[t] = sum(copies[t]).r(); });
        for (auto& th : pool)
            th.join();
        for (double s : sums)
            EXPECT_EQ(s, 100000.0 * 100001.0 / 2);
    }
    qv_set_MT(0);
}

// ---- cells ----

// A cell whose elements are written, to compare an untouched one with.
Mm written_cell(int rows, int cols)
{
    Mm c = cell(Mm(double(rows)), Mm(double(cols)));
    c.getpr(static_cast<Mm*>(nullptr));
    return c;
}

// The extents of every element of a cell (none for another value).
std::vector<std::vector<int>> element_extents(const Mm& c)
{
    std::vector<std::vector<int>> out;
    for (int k = 1; c.gettype() == qv_cell && k <= c.size(); ++k)
        out.push_back(extents(c.mr(k)));
    return out;
}

TEST(DeferredCell, AnUntouchedCellReadsAsOneOfEmptyElements)
{
    const std::vector<std::pair<const char*, std::function<Mm(const Mm&)>>> uses = {
        {"itself", [](const Mm& c) { return c; }},
        {"one element", [](const Mm& c) { return Mm(c.br(Mm(7.0))); }},
        {"a part", [](const Mm& c) { return Mm(c(colon(3.0, 90.0))); }},
        {"transpose", [](const Mm& c) { return transpose(c); }},
        {"reshape", [](const Mm& c) { return reshape(c, Mm(40.0), Mm(30.0)); }},
        {"concatenation", [](const Mm& c) { return horzcat(c, c); }},
        {"an element written in a copy", [](const Mm& c) {
             Mm d = c;
             d.br(Mm(5.0)) = Mm(2.0);
             return d;
         }},
        {"grown", [](const Mm& c) {
             Mm d(c, "d");
             d.br(Mm(31.0), Mm(41.0)) = test::text("z");
             return d;
         }},
        {"an element deleted", [](const Mm& c) {
             Mm d(c, "d");
             d(Mm(4.0)) = x_M;
             return d;
         }},
    };
    for (const auto& [what, use] : uses) {
        const Mm c = cell(Mm(30.0), Mm(40.0));
        const Mm got = use(c), want = use(written_cell(30, 40));
        EXPECT_EQ(got.gettype(), want.gettype()) << what;
        EXPECT_EQ(extents(got), extents(want)) << what;
        EXPECT_EQ(element_extents(got), element_extents(want)) << what;
        EXPECT_EQ(element_extents(c), element_extents(written_cell(30, 40))) << what << ": the cell itself";
        EXPECT_EQ(iscellstr(c), iscellstr(written_cell(30, 40))) << what;
    }
}

TEST(DeferredCell, CellsMadeAndDroppedGiveBackEveryBlock)
{
    const long before = qv_live_blocks();
    for (int round = 0; round < 3; ++round) {
        Mm untouched = cell(Mm(100.0), Mm(100.0));
        Mm shared = untouched;
        Mm read = cell(Mm(50.0), Mm(2.0));
        EXPECT_TRUE(isempty(Mm(read.br(Mm(3.0)))));
        Mm written = cell(Mm(3.0), Mm(3.0));
        written.br(Mm(2.0)) = counting({2, 2});
        Mm copy_then_written = written;
        copy_then_written.br(Mm(9.0)) = Mm(1.0);
    }
    EXPECT_EQ(qv_live_blocks(), before);
}

// Every thread reads from its own copy of one untouched cell: the first
// writes the shared elements, the others wait for it. Also run under
// ThreadSanitizer.
TEST(DeferredCell, ThreadsReachingOneUntouchedCellSeeEmptyElements)
{
    qv_set_MT(1);
    for (int round = 0; round < 20; ++round) {
        const Mm c = cell(Mm(300.0), Mm(300.0));
        std::vector<Mm> copies(4, c);
        std::vector<int> empty(copies.size());
        std::vector<std::thread> pool;
        for (std::size_t t = 0; t < copies.size(); ++t)
            pool.emplace_back([&, t] {
                int n = 0;
                for (int k = 1; k <= copies[t].size(); k += 997)
                    n += copies[t].mr(k).size() == 0;
                empty[t] = n;
            });
        for (auto& th : pool)
            th.join();
        for (int n : empty)
            EXPECT_EQ(n, (90000 + 996) / 997);
    }
    qv_set_MT(0);
}

} // namespace
