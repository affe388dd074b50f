// Refused allocations in the graphics functions: set and get with their
// conversions, the property listing, im2double, the colormap generators,
// the contour lines and surface, the object search, a figure's frame and
// the current colormap.
#include "alloc_sweep.hpp"
#include "graphics/contours.hpp"
#include "graphics/surfaces.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

namespace {

using test::cell_row;
using test::row;
using test::text;

// Runs f on a fresh line and deletes it afterwards, so that what the object
// held (its UserData value) is given back within the statement.
template <class F>
void on_a_line(F&& f)
{
    const Mm h(vizmo_create_object("line", -1));
    f(h);
    vizmo_set_property(*h.addr(1), "Kill", nullptr);
}

TEST(AllocationFailure, GraphicsFunctions)
{
    vizmo::test::reset();
    const Mm names = cell_row({text("ab"), text("c")});
    const Mm data = row({1, 2, 3});
    const Mm image = test::bytes(2, 2, {0, 1, 2, 255});
    const Mm list = cell_row({text("LineWidth"), Mm(2.0), text("r")});
    const Mm contour_args = cell_row({test::real(3, 3, {0, 1, 0, 1, 2, 1, 0, 1, 0}), row({0.5, 1.5}), text("r")});
    const double figure = vizmo_create_object("Figure", -1);
    const Mm child(vizmo_create_object("line", -1));
    set(child, text("Parent"), Mm(figure));
    const Mm search = cell_row({text("Type"), text("line")});
    const Mm hot_name = text("hot");
    // A small drawn figure: its frame is the renderer's picture.
    const Mm framed(vizmo_create_object("Figure", -1));
    set(framed, text("Position"), row({0, 0, 40, 30}));
    const Mm framed_axes(vizmo_create_object("Axes", -1));
    set(framed_axes, text("Parent"), framed);
    const Mm framed_line(vizmo_create_object("line", -1));
    set(framed_line, text("Parent"), framed_axes);
    set(framed_line, text("XData"), data);
    set(framed_line, text("YData"), data);
    test::sweep_allocations({
        {"set and get of UserData", Mm(), [=](Mm& x) {
             on_a_line([&](const Mm& h) {
                 set(h, text("UserData"), data);
                 x = get(h, text("UserData"));
             });
         }},
        {"a cell of strings", Mm(), [=](Mm& x) {
             on_a_line([&](const Mm& h) {
                 set(h, text("String"), names);
                 x = get(h, text("String"));
             });
         }},
        {"uint8 image data", Mm(), [=](Mm& x) {
             on_a_line([&](const Mm& h) {
                 set(h, text("CData"), image);
                 x = get(h, text("CData"));
             });
         }},
        {"a property list", Mm(), [=](Mm& x) {
             on_a_line([&](const Mm& h) {
                 set(h, list);
                 x = get(h, text("Color"));
             });
         }},
        {"the listing", Mm(), [=](Mm& x) { on_a_line([&](const Mm& h) { x = get(h); }); }},
        {"im2double", image, [](Mm& x) { x = im2double(x); }},
        {"jet", Mm(), [](Mm& x) { x = jet(Mm(16.0)); }},
        {"hsv", Mm(), [](Mm& x) { x = hsv(Mm(16.0)); }},
        {"bone", Mm(), [](Mm& x) { x = bone(Mm(16.0)); }},
        {"pink", Mm(), [](Mm& x) { x = pink(Mm(16.0)); }},
        {"copper", Mm(), [](Mm& x) { x = copper(Mm(16.0)); }},
        {"contour lines", Mm(), [=](Mm& x) { x = contour_trace(contour_args).cm; }},
        {"contourf drawn", Mm(), [=](Mm& x) {
             Mm h;
             contourf(contour_args, i_o, x, h);
             figure_close(text("all"));
         }},
        {"contour3 drawn", Mm(), [=](Mm& x) {
             Mm CM;
             contour3(contour_args, i_o, CM, x);
             figure_close(text("all"));
         }},
        {"findobj", Mm(), [=](Mm& x) { x = findobj(search); }},
        {"getframe of a drawn figure", Mm(), [=](Mm& x) { x = getframe(framed); }},
        {"colormap by name", Mm(), [=](Mm& x) {
             colormap(hot_name);
             x = colormap();
         }},
    });
    vizmo::test::reset();
}

// The everyday drawing statements; each figure is closed within its
// statement so that what the objects held counts as given back.
TEST(AllocationFailure, Drawing)
{
    vizmo::test::reset();
    const Mm y = row({1, 3, 2, 4}), e = row({0.5, 0.25, 0.5, 1}), x = row({1, 2, 4, 8});
    const Mm series = cell_row({x, y, text("r--")}), one_series = cell_row({y});
    const Mm labelled = cell_row({Mm(1.0), Mm(2.0), text("here")});
    const Mm legend_args = cell_row({text("first")}), title_args = cell_row({text("A title")});
    const Mm polygon = cell_row({row({0, 1, 1}), row({0, 0, 1}), text("g")});
    const Mm image_args = cell_row({test::real(2, 2, {1, 2, 3, 4})});
    const Mm limits = row({0, 10, -1, 5});
    auto drawn = [](auto draw) {
        return [=](Mm& out) {
            out = draw();
            figure_close(text("all"));
        };
    };
    test::sweep_allocations({
        {"errorbar", Mm(), drawn([=] { return errorbar(y, e); })},
        {"errorbar with x", Mm(), drawn([=] { return errorbar(x, y, e, e); })},
        {"plot", Mm(), drawn([=] { return plot(series); })},
        {"plot of one series", Mm(), drawn([=] { return plot(one_series); })},
        {"bar", Mm(), drawn([=] { return bar(y); })},
        {"stem", Mm(), drawn([=] { return stem(one_series); })},
        {"text", Mm(), drawn([=] { return ::text(labelled); })},
        {"legend", Mm(), drawn([=] {
             plot(one_series);
             return legend(legend_args);
         })},
        {"title", Mm(), drawn([=] { return title(title_args); })},
        {"axis", Mm(), drawn([=] {
             plot(one_series);
             axis(limits);
             return axis();
         })},
        {"fill", Mm(), drawn([=] { return fill(polygon); })},
        {"imagesc", Mm(), drawn([=] { return imagesc(image_args); })},
        {"subplot", Mm(), drawn([=] { return subplot(Mm(2.0), Mm(2.0), Mm(3.0)); })},
    });
    vizmo::test::reset();
}

// The surface charts record their call for shading; the records are let go
// within each statement so that what they held counts as given back.
struct forget_surface_records {
    ~forget_surface_records()
    {
        last_surface_chart.args = Mm();
        last_surface_chart.view = Mm();
        last_pcolor_args = Mm();
    }
};

TEST(AllocationFailure, SurfaceCharts)
{
    vizmo::test::reset();
    const Mm Z = test::real(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, NAN});
    const Mm z_only = cell_row({Z});
    const Mm xyz = cell_row({row({1, 2, 3}), row({1, 2, 3}), Z, text("Tag"), text("s")});
    const Mm with_count = cell_row({Z, Mm(4.0)});
    test::sweep_allocations({
        {"mesh", Mm(), [=](Mm& x) {
             forget_surface_records guard;
             x = mesh(z_only);
         }},
        {"surf of x, y, z", Mm(), [=](Mm& x) {
             forget_surface_records guard;
             x = surf(xyz);
         }},
        {"meshc", Mm(), [=](Mm& x) {
             forget_surface_records guard;
             x = meshc(with_count);
         }},
        {"pcolor", Mm(), [=](Mm& x) {
             forget_surface_records guard;
             x = pcolor(z_only);
         }},
        {"pcolor, interpolated", Mm(), [=](Mm& x) {
             forget_surface_records guard;
             interp_shading = 1;
             x = pcolor(z_only);
             interp_shading = 0;
         }},
    });
    interp_shading = 0;
    vizmo::test::reset();
}

} // namespace
