// Text objects: one per point (2-D or 3-D) or one from property pairs.
// A text is created under the engine's "line" type and then retyped.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/engine.h"
#include "velkor/io.h"
#include "velkor/graphics.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "vizmo4510.h"

#include <vector>

namespace {

Mm number(double v) { return Mm(v); }

Mm row(const double* values, int n)
{
    Mm r(0, 0, 0, 1, n, qv_double);
    for (int k = 0; k < n && r.size() == n; ++k)
        r.addr()[k] = values[k];
    return r;
}

// Row i of a character matrix, as text.
Mm text_row(const Mm& t, int i)
{
    const int rows = t.rows(), cols = t.cols();
    Mm r(0, 0, 0, 1, cols, qv_double);
    for (int c = 0; c < cols && r.size() == cols; ++c)
        r.addr()[c] = *t.addr(i + c * rows);
    return setstr(r);
}

// The texts at points: dims coordinates, then the strings.
Mm texts_at_points(const Mm& args, int dims)
{
    const Mm x = full(args.mr(1)), y = full(args.mr(2)), z = dims == 3 ? full(args.mr(3)) : Mm();
    const Mm t = mchar(Mm(CL(args.mr(dims + 1))));
    const int k = t.rows();
    if (k != x.size() || k != y.size() || (dims == 3 && k != z.size()) || x.gettype() != qv_double ||
        y.gettype() != qv_double || (dims == 3 && z.gettype() != qv_double)) {
        if (dims == 2)
            error("text(x,y,'text'): x,y,text must contain the same number of elements");
        else
            error("text(x,y,z,'text'): x,y,z,text must contain the same number of elements");
        return Mm();
    }
    Mm H(0, 0, 0, 1, k, qv_double);
    if (H.size() != k)
        return Mm();
    for (int i = 1; i <= k; ++i) {
        const Mm h(vizmo_create_object("line", -1));
        set(h, pn_Type, pv_text);
        set(h, pn_ChartType, TM(dims == 2 ? "text" : "text3"));
        set(h, pn_Parent, gca());
        const double p[3] = {*x.addr(i), *y.addr(i), dims == 3 ? *z.addr(i) : 0};
        set(h, pn_Position, row(p, dims));
        set(h, pn_String, text_row(t, i));
        *H.addr(i) = *h.addr(1);
    }
    return H;
}

} // namespace

Mm text() { return text(cell(number(0))); }

Mm text(const Mm& args)
{
    const int n = args.size();
    const int nd = count_data_args(args);
    Mm H;
    int start = 1;
    if (nd == 2 && n > 2) {
        H = texts_at_points(args, 2);
        start = 4;
    } else if (nd == 3 && n > 3) {
        H = texts_at_points(args, 3);
        start = 5;
    } else if (nd == 0) {
        H = Mm(vizmo_create_object("line", -1));
        set(H, pn_ChartType, pv_text);
        set(H, pn_Parent, gca());
        const double origin[2] = {0, 0};
        set(H, pn_Position, row(origin, 2));
        set(H, pn_Visible, pv_off);
    } else {
        error("text: use (x,y,'text') or (x,y,z,'text') or ('prop','value',...)");
        return x_M;
    }
    // A count mismatch under a hook that returns: nothing more to do.
    if (H.size() == 0)
        return H;
    const Mm background = get(gcf(), pn_DefaultAxesColor);
    set_given(H, pn_Color, number(1) - background);
    set_props_from(H, args, start);
    set(H, Mm((CL(pn_CreateFcn), get(number(0), TM("DefaultTextCreateFcn")))));
    set(H, Mm((CL(pn_DeleteFcn), get(number(0), TM("DefaultTextDeleteFcn")))));
    // One creation callback per text object: the CreateFcn of several
    // handles read at once comes back as a cell, which is no callback text.
    for (int k = 1; k <= H.size(); ++k)
        run_callback_hook(get(Mm(*H.addr(k)), pn_CreateFcn));
    return H;
}
