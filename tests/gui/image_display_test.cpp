// Reading a shown image back: its data as get gives them, the coordinate
// vectors and the kind flag.
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

#include <vector>

namespace {

TEST(ImageDisplay, GetimageGivesDataLimitsAndKind)
{
    vizmo::test::reset();
    Mm planes = zeros(Mm(480.0), Mm(640.0), Mm(3.0));
    *planes.addr(480 * 640 * 3) = 0.5;
    struct Case {
        const char* what;
        Mm cdata;
        std::vector<double> x, y;
        double flag;
    };
    const std::vector<Case> cases = {
        {"truecolor", planes, {1, 640}, {1, 480}, 4},
        {"doubles", test::real(2, 3, {1, 2, 3, 4, 5, 6}), {1, 3}, {1, 2}, 1},
        {"bytes", test::bytes(3, 1, {0, 7, 255}), {1, 1}, {1, 3}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Mm h(vizmo_create_object("axes", -1));
        set(h, TM("CData"), c.cdata);
        Mm x, y, A, flag;
        EXPECT_TRUE(isempty(getimage(h, i_o, x, y, A, flag)));
        EXPECT_EQ(test::values(x), c.x);
        EXPECT_EQ(test::values(y), c.y);
        EXPECT_EQ(test::values(flag), (std::vector<double>{c.flag}));
        // The data come back in the type they were given.
        EXPECT_TRUE(isequal(A, c.cdata));
        EXPECT_EQ(A.gettype(), c.cdata.gettype());
        EXPECT_TRUE(isequal(getimage(h), c.cdata));

        Mm x2, y2, A3;
        getimage(h, i_o, x2, y2, A3);
        EXPECT_TRUE(isequal(A3, c.cdata));
        Mm x1 = test::row({9}), y1;
        getimage(h, i_o, x1, y1);
        EXPECT_EQ(test::values(x1), c.x);
        EXPECT_EQ(test::values(y1), c.y);
    }
    vizmo::test::reset();
}

} // namespace
