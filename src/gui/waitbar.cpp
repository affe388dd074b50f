// The progress window: a small figure holding a progress bar and a label,
// remembered in two globals so that later calls need only the fraction.
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/index.h"
#include "velkor/list.h"
#include "velkor/report.h"

// The progress window and its bar; -1 until waitbar(x, title) makes them.
Mm waitbar_figure(-1.0);
Mm waitbar_bar(-1.0);

namespace {

Mm number(double v) { return Mm(v); }

Mm row4(double a, double b, double c, double d)
{
    Mm r(0, 0, 0, 1, 4, qv_double);
    if (r.size() != 4)
        return r;  // refused storage, already reported
    double* p = r.getpr(static_cast<double*>(nullptr));
    p[0] = a, p[1] = b, p[2] = c, p[3] = d;
    return r;
}

double element(const Mm& x, int k)
{
    if (x.gettype() == qv_uint8)
        return *x.getpr(static_cast<unsigned char*>(nullptr), k);
    return *x.getpr(static_cast<double*>(nullptr), k);
}

} // namespace

Mm waitbar(const Mm& x, const Mm& title)
{
    const Mm s = get(number(0), pn_Position);
    const double w = element(s, 3), h = element(s, 4);
    waitbar_figure = figure(Mm((CL(pn_Position), row4((w - 275) / 2, (h - 92) / 2, 275, 92), pn_MenuBar, pv_none,
                                pn_Resize, pv_off, pn_Title, TM("status"))));
    waitbar_bar = uicontrol(Mm((CL(pn_Parent), waitbar_figure, pn_Style, TM("progressbar"), pn_Position,
                                row4(16, 16, 233, 16), pn_Min, number(0), pn_Max, number(100), pn_Value,
                                x * number(100))));
    uicontrol(Mm((CL(pn_Parent), waitbar_figure, pn_Style, pv_text, pn_Position, row4(128, 40, 0, 13), pn_String,
                  title)));
    return waitbar_figure;
}

Mm waitbar(const Mm& x)
{
    if (istrue(ishandle(waitbar_figure)) && istrue(ishandle(waitbar_bar))) {
        if (x.size() > 0 && (x.gettype() == qv_double || x.gettype() == qv_uint8))
            set(waitbar_bar, pn_Value, number(element(x, 1) * 100));
        else
            set(waitbar_bar, pn_Value, Mm(x(number(1))) * number(100));
        return waitbar_figure;
    }
    waitbar_figure = number(-1);
    waitbar_bar = number(-1);
    error("waitbar(x): should initialize with waitbar(x,title) first");
    return waitbar_figure;
}
