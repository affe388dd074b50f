// Interactive objects of a figure: user-interface and hardware controls,
// menu items and context menus, each made by the engine and given its
// parent, colours, the caller's properties and the root's callbacks.
#include "graphics/figures.hpp"
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "gui/dialog_text.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/io.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/host.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "vizmo4510.h"

#include <string>

namespace {

constexpr const char* makemenu_note =
    "makemenu is not supported in QUIDAR/VORSEN.\n"
    "The correct way to create menus is to use the uimenu()\n"
    "command (the makemenu command will indeed create the menus but the\n"
    "callbacks will not be recognized by QUIDAR and VORSEN during compile\n"
    "time and thus will eval at run-time).\n"
    "\n"
    "The following is a simple example of creating menus using uimenu, and\n"
    "displaying the right string after clicking them:\n"
    "\n"
    "m1=uimenu('label','menu1');\n"
    "m11=uimenu(m1,'label','menu11','callback','disp(''menu11'')');\n"
    "m12=uimenu(m1,'label','menu12','callback','disp(''menu12'')');\n"
    "m2=uimenu('label','menu2','callback','disp(''menu2'')');\n"
    "\n";

Mm number(double v) { return Mm(v); }

// The engine object of the named type, or the engine's refusal (negative
// or not a number) raised with message.
Mm make_object(const std::string& type, const char* message, bool& made)
{
    const double h = vizmo_create_object(type.c_str(), -1);
    made = h >= 0;
    if (!made)
        error("%s", message);
    return number(h);
}

// A constructor whose style comes from the caller: the "Style" text, held to
// the 100 bytes the engine's type names are read from.
std::string style_of(const Mm& args, int from, const char* dflt)
{
    return bounded_text(findpropvalue(pn_Style, TM(dflt), args, from), 100);
}

// The parent: gcf() is the default even when a parent is named (a figure
// appears), and a single leading data argument wins over both.
Mm parent_of(const Mm& args, int nd, int from)
{
    Mm parent = findpropvalue(pn_Parent, gcf(), args, from);
    if (nd == 1)
        parent = args.mr(1);
    return parent;
}

} // namespace

Mm uicontrol() { return uicontrol(cell(Mm(0.0))); }

Mm uicontrol(const Mm& args)
{
    const int nd = count_data_args(args);
    const int from = nd + 1;
    const std::string style = style_of(args, from, "pushbutton");
    const Mm parent = parent_of(args, nd, from);
    const Mm units = findpropvalue(pn_Units, pv_empty_text, args, from);
    bool made = false;
    const Mm h = make_object(style, "uicontrol: unknown object style", made);
    if (!made)
        return h;
    // Hidden while it is built, so the user never sees a half-made control.
    set(h, pn_Visible, pv_off);
    set(h, pn_Parent, parent);
    if (units.size() > 0)
        set(h, pn_Units, units);
    set_given(h, pn_BackgroundColor, get(number(0), TM("DefaultUIcontrolBackgroundColor")));
    set_given(h, pn_ForegroundColor, get(number(0), TM("DefaultUIControlForegroundColor")));
    set_props_from(h, args, from);
    set(h, pn_Visible, findpropvalue(pn_Visible, pv_on, args, from));
    run_default_callbacks(h, "Uicontrol");
    return h;
}

Mm hwcontrol() { return hwcontrol(cell(Mm(0.0))); }

Mm hwcontrol(const Mm& args)
{
    const int nd = count_data_args(args);
    const int from = nd + 1;
    const std::string style = style_of(args, from, "comport");
    const Mm parent = parent_of(args, nd, from);
    bool made = false;
    const Mm h = make_object(style, "hwcontrol: unknown object style", made);
    if (!made)
        return h;
    set(h, pn_Parent, parent);
    set_props_from(h, args, from);
    run_default_callbacks(h, "Hwcontrol");
    return h;
}

Mm uimenu() { return uimenu(cell(Mm(0.0))); }

Mm uimenu(const Mm& args)
{
    const int nd = count_data_args(args);
    const Mm h = number(vizmo_create_object("menuitem", -1));
    if (nd == 0) {
        // A named parent is written with the other pairs.
        if (istrue(strcmpi(findpropvalue(pn_Parent, pv_empty_text, args, 1), pv_empty_text)))
            set(h, pn_Parent, gcf());
    } else {
        set(h, pn_Parent, args.mr(1));
    }
    set_props_from(h, args, nd + 1);
    run_default_callbacks(h, "Uimenu");
    return h;
}

Mm uicontextmenu() { return uicontextmenu(cell(Mm(0.0))); }

// Every argument is a pair: the engine chooses the owner unless the caller
// names a parent.
Mm uicontextmenu(const Mm& args)
{
    const Mm h = number(vizmo_create_object("contextmenu", -1));
    set_props_from(h, args, 1);
    run_default_callbacks(h, "Uicontextmenu");
    return h;
}

Mm makemenu(const Mm&)
{
    disp(TM(makemenu_note));
    error("makemenu: command not supported");
    return x_M;
}
