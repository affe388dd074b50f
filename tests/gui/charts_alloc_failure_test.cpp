// Refused allocations in the GUI-side numerical functions: histogram and
// rose counting, colormap adjustment, staircases and vector plot geometry.
#include "alloc_sweep.hpp"
#include "gui/colormap_adjust.hpp"
#include "gui/vector_plots.hpp"
#include "test_support.hpp"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "vizmo_test.h"

namespace {

using test::row;

TEST(AllocationFailure, GuiNumericalFunctions)
{
    const Mm data = row({1, 2, 2, 3, 3, 3, 4, 4, 4, 4});
    const Mm centres = row({1, 2, 3});
    const Mm matrix = test::real(3, 2, {1, 2, 3, 4, 5, 6});
    const Mm map = test::real(2, 3, {0, 51, 102, 153, 204, 255});
    const Mm args = test::cell_row({test::real(3, 1, {1, 2, 3}), matrix});
    test::sweep_allocations({
        {"hist with a count", Mm(), [=](Mm& x) {
             Mm n;
             hist(data, Mm(4), i_o, n, x);
         }},
        {"hist with centres", Mm(), [=](Mm& x) {
             Mm n;
             hist(matrix, centres, i_o, x, n);
         }},
        {"rose", Mm(), [=](Mm& x) {
             Mm r;
             rose(data, i_o, x, r);
         }},
        {"contrast", Mm(), [=](Mm& x) { x = contrast(data, Mm(8)); }},
        {"brighten's map", Mm(), [=](Mm& x) { x = gui::brighten_map(map, Mm(-0.3)); }},
        {"stairs", Mm(), [=](Mm& x) {
             Mm ys;
             stairs(args, i_o, x, ys);
         }},
        {"quiver", Mm(), [=](Mm& x) { x = gui::quiver_field(matrix, matrix, Mm(1)).arrows.barb2_y; }},
        {"compass", Mm(), [=](Mm& x) {
             Mm r;
             gui::compass_spokes(data, data, x, r);
         }},
    });
}

// The drawing forms against the headless engine.
TEST(AllocationFailure, GuiChartDrawing)
{
    vizmo::test::reset();
    const Mm data = row({1, 2, 2, 3, 3, 3, 4, 4, 4, 4});
    const Mm matrix = test::real(3, 2, {1, 2, 3, 4, 5, 6});
    const Mm map = test::real(2, 3, {0, 51, 102, 153, 204, 255});
    const Mm contour = test::real(2, 5, {0.5, 2, 1, 4, 2, 5, 0.7, 1, 3, 6});
    // Planes of two kinds, the byte planes read as doubles; more elements
    // than an empty value has room for.
    const Mm planes = test::cell_row({muint8(times(test::counting({4, 4}), Mm(15.0))), test::counting({4, 4}) / 16.0,
                                      muint8(times(test::counting({4, 4}), Mm(9.0)))});
    const Mm unit_map = map / 255.0;
    test::sweep_allocations({
        {"imshow of three planes", Mm(), [=](Mm& x) { x = imshow(planes); }},
        {"rgbplot", Mm(), [=](Mm& x) { x = rgbplot(unit_map); }},
        {"datetick", Mm(), [](Mm& x) { x = datetick(test::text("y"), Mm(3)); }},
        {"brighten", Mm(), [=](Mm& x) { x = brighten(map, Mm(0.4)); }},
        {"contrast", Mm(), [=](Mm& x) { x = contrast(data); }},
        {"rose", Mm(), [=](Mm& x) { x = rose(data, Mm(3)); }},
        {"quiver", Mm(), [=](Mm& x) { x = quiver(matrix, matrix); }},
        {"feather", Mm(), [=](Mm& x) { x = feather(data, data); }},
        {"compass", Mm(), [=](Mm& x) { x = compass(data, data); }},
        {"spy", Mm(), [=](Mm& x) { x = spy(matrix); }},
        {"ribbon", Mm(), [=](Mm& x) { x = ribbon(data); }},
        {"clabel", Mm(), [=](Mm& x) { x = clabel(contour); }},
    });
    vizmo::test::reset();
}

} // namespace
