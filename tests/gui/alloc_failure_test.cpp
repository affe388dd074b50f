// Refused allocations in the dialogs, controls and the waitbar: each
// statement runs against the headless engine's default answers.
#include "alloc_sweep.hpp"
#include "test_support.hpp"
#include "vizmo4510.h"
#include "vizmo_test.h"

namespace {

using test::cell_row;
using test::row;
using test::text;

TEST(AllocationFailure, GuiFunctions)
{
    vizmo::test::reset();
    const Mm message = cell_row({cell_row({text("first line"), text("2nd")}), text("Title"), text("warn")});
    const Mm question = cell_row({text("Go on?"), text("T"), text("Yes"), text("No"), text("No")});
    const Mm fields = cell_row({cell_row({text("a"), text("b")}), text("T"), row({2, 1}), cell_row({text("x")})});
    const Mm choices = cell_row({text("Pick"), cell_row({text("one"), text("two")})});
    const Mm control = cell_row({text("Style"), text("edit"), text("String"), text("abc")});
    const Mm menu_item = cell_row({text("Label"), text("File")});
    test::sweep_allocations({
        {"msgbox", Mm(), [=](Mm& x) { x = msgbox(message); }},
        {"questdlg", Mm(), [=](Mm& x) { x = questdlg(question); }},
        {"inputdlg", Mm(), [=](Mm& x) { x = inputdlg(fields); }},
        {"menu", Mm(), [=](Mm& x) { x = menu(choices); }},
        {"helpwin", Mm(), [](Mm& x) { x = helpwin(text("no_such_topic")); }},
        {"uicontrol", Mm(), [=](Mm& x) { x = uicontrol(control); }},
        {"uimenu", Mm(), [=](Mm& x) { x = uimenu(menu_item); }},
        {"uisetcolor", Mm(), [](Mm& x) { x = uisetcolor(row({0.5, 0.25, 1})); }},
        {"uigetfile", Mm(), [](Mm& x) { x = uigetfile(text("*.v"), text("Open")); }},
        {"waitbar", Mm(), [](Mm& x) {
             x = waitbar(Mm(0.5), text("busy"));
             x = waitbar(Mm(0.75));
         }},
    });
    vizmo::test::reset();
    waitbar_figure = Mm(-1.0);
    waitbar_bar = Mm(-1.0);
}

} // namespace
