// Refused allocations in the GUI-side numerical functions: histogram and
// rose counting, colormap adjustment, staircases and vector plot geometry.
#include "alloc_sweep.hpp"
#include "gui/colormap_adjust.hpp"
#include "gui/vector_plots.hpp"
#include "test_support.hpp"

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

} // namespace
