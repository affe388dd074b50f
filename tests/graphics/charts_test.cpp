// The series chart fronts: chart type on every series and the axes
// properties each writes after its series.
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

namespace vt = vizmo::test;

class Charts : public ::testing::Test {
protected:
    void SetUp() override { vt::reset(); }
    void TearDown() override { vt::reset(); }
};

TEST_F(Charts, FrontsNameTheirChartAndSetTheAxes)
{
    struct Case {
        const char* what;
        Mm (*front)(const Mm&);
        const char* chart;
        std::vector<std::string> axes_writes;  // after the last series
        std::vector<double> view;
    };
    const std::vector<Case> cases = {
        {"stem", stem, "stem", {}, {2}},
        {"stairs", stairs, "stairs", {}, {2}},
        {"area", area, "area", {}, {2}},
        {"pie", pie, "pie", {}, {2}},
        {"polar", polar, "polar", {"XGrid", "YGrid", "ZGrid"}, {2}},
        {"semilogx", semilogx, "plot", {"XScale"}, {2}},
        {"semilogy", semilogy, "plot", {"YScale"}, {2}},
        {"loglog", loglog, "plot", {"XScale", "YScale"}, {2}},
        {"pie3", pie3, "pie", {"View"}, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vt::reset();
        const double a = *gca().addr(1);
        // Two groups: the axes writes come once, after both series.
        const Mm args = test::cell_row({test::row({1, 2}), test::row({3, 4}), test::row({5, 6}), test::row({7, 8})});
        const Mm h = c.front(args);
        ASSERT_EQ(h.size(), 2);
        for (int k = 1; k <= 2; ++k)
            EXPECT_EQ(vt::prop(*h.addr(k), "ChartType").text(), c.chart);
        const std::vector<std::string> w = vt::writes(a);
        ASSERT_GE(w.size(), c.axes_writes.size());
        EXPECT_EQ(std::vector<std::string>(w.end() - static_cast<long>(c.axes_writes.size()), w.end()), c.axes_writes);
        for (const std::string& name : {std::string("XScale"), std::string("YScale")})
            EXPECT_LE(std::count(w.begin(), w.end(), name), 1) << name;
        EXPECT_EQ(vt::prop(a, "View").data, c.view);
    }
    vt::reset();
    const Mm h = plot3(test::cell_row({test::row({1, 2}), test::row({3, 4}), test::row({5, 6})}));
    ASSERT_EQ(h.size(), 1);
    EXPECT_EQ(vt::prop(*h.addr(1), "ChartType").text(), "plot3");
    EXPECT_EQ(vt::data(*h.addr(1)).z.data, (std::vector<double>{5, 6}));
    EXPECT_EQ(vt::prop(*gca().addr(1), "View").data, (std::vector<double>{3}));
    EXPECT_EQ(vt::prop(*gca().addr(1), "XGrid").text(), "off");
    EXPECT_ERROR(plot3(test::cell_row({test::row({1, 2}), test::row({3, 4})})), "plot3: expecting 3 data items in position 1");
}

} // namespace
