// Image objects: im2double brings image data into the one numeric form the
// engine is given (1-based indices, or components in [0, 1]).
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <cmath>

Mm im2double(const Mm& a)
{
    if (a.gettype() == qv_uint8 && !a.isstr()) {
        const int nd = a.getndims();
        if (nd != 2 && nd != 3) {
            error("uint8 images suppoort (1) NxMx3 of 0..255 or (2) NxM of 0..255");
            return Mm(0.0);
        }
        Mm r(0, 0, 0, nd, a.getdims(), qv_double);
        if (r.size() != a.size())
            return r;  // refused storage, already reported
        const unsigned char* in = a.getpr(static_cast<unsigned char*>(nullptr));
        double* out = r.addr();
        const int n = r.size();
        if (nd == 3) {
            for (int k = 0; k < n; ++k)
                out[k] = in[k] / 255.0;
        } else {
            for (int k = 0; k < n; ++k)
                out[k] = in[k] + 1.0;
        }
        return r;
    }
    if (a.gettype() == qv_double && !a.isstr())
        return a;
    error("im* can get only uint8 or double matrices");
    return Mm(0.0);
}

Mm im2double(const Mm& a, const Mm&) { return im2double(a); }

namespace {

Mm number(double v) { return Mm(v); }

Mm row(std::initializer_list<double> values)
{
    Mm r(0, 0, 0, 1, static_cast<int>(values.size()), qv_double);
    if (r.size() == static_cast<int>(values.size())) {
        double* p = r.addr();
        for (double v : values)
            *p++ = v;
    }
    return r;
}

// A coordinate vector as plain doubles.
Mm coordinates(const Mm& v) { return v.gettype() == qv_double && !v.isstr() ? full(v) : mdouble(full(real(v))); }

struct span {
    double lo, hi, first, last;
};

// Smallest, largest, first and last element (NaN throughout for none).
span span_of(const Mm& v)
{
    const int n = v.size();
    if (n == 0 || v.gettype() != qv_double)
        return {NAN, NAN, NAN, NAN};
    const double* p = v.addr();
    span s{p[0], p[0], p[0], p[n - 1]};
    for (int k = 1; k < n; ++k) {
        s.lo = p[k] < s.lo ? p[k] : s.lo;
        s.hi = p[k] > s.hi ? p[k] : s.hi;
    }
    return s;
}

Mm count_row(int n) { return colon(1.0, static_cast<double>(n)); }

} // namespace

Mm image() { return image(cell(number(0))); }

Mm image(const Mm& args)
{
    const int n = count_data_args(args);
    Mm X, Y, CD;
    int start = 1;
    if (n == 1) {
        CD = args.mr(1);
        start = 2;
    } else if (n == 2) {
        error(TM("image should have at least one parameter"));
        return number(-1);
    } else if (n >= 3) {
        X = coordinates(args.mr(1));
        Y = coordinates(args.mr(2));
        CD = args.mr(3);
        start = n + 1;
    }
    const Mm p = findpropvalue(pn_Parent, TM("None"), args, start);
    const Mm r = strcmpi(p, TM("None"));
    const bool none = r.size() == 1 && r.gettype() == qv_double && *r.addr(1) != 0;
    const Mm h = none ? newplot() : axes(Mm(CL(p)));
    set(h, pn_NextPlot, pv_replace);
    if (X.size() == 0) {
        X = count_row(CD.cols() + 1);
        Y = count_row(CD.rows() + 1);
    }
    const span x = span_of(X), y = span_of(Y);
    if (X.size() > 1)
        set(h, Mm((CL(pn_XLim), row({x.lo, x.hi}))));
    if (Y.size() > 1)
        set(h, Mm((CL(pn_YLim), row({y.hi, y.lo}))));
    set(h, pn_IMLim, row({x.lo, x.hi, y.lo, y.hi}));
    if (CD.size() > 0) {
        Mm data = im2double(CD);
        if (y.first > y.last)
            data = flipud(data);
        if (x.first > x.last)
            data = fliplr(data);
        set(h, pn_CData, data);
    }
    // The image is its axes: a Parent pair named that axes, already
    // chosen above, and leaves it in its figure.
    Mm pairs = args;
    for (int k = start; k < pairs.size(); ++k) {
        const Mm same = strcmpi(pairs.mr(k), pn_Parent);
        if (same.size() == 1 && same.gettype() == qv_double && *same.addr(1) != 0)
            pairs.mr(k + 1) = get(h, pn_Parent);
    }
    set_props_from(h, pairs, start);
    set(h, Mm((CL(pn_CreateFcn), get(number(0), TM("DefaultImageCreateFcn")))));
    set(h, Mm((CL(pn_DeleteFcn), get(number(0), TM("DefaultImageDeleteFcn")))));
    run_callback_hook(get(h, pn_CreateFcn));
    return h;
}

Mm imagesc() { return imagesc(cell(number(0))); }

Mm imagesc(const Mm& args)
{
    const int k = args.size();
    if (k == 0) {
        error("imagesc: at least one parameter is required");
        return number(-1);
    }
    Mm X, Y, CD, L;
    if (k <= 2) {
        CD = im2double(args.mr(1));
        // Two arguments give no coordinates: the one-argument defaults keep
        // the limits defined.
        X = count_row(CD.cols());
        Y = count_row(CD.rows());
        if (k == 2)
            L = args.mr(2);
    } else {
        X = coordinates(args.mr(1));
        Y = coordinates(args.mr(2));
        CD = im2double(args.mr(3));
        if (k >= 4)
            L = args.mr(4);
    }
    if (L.size() == 0 && k != 2 && k < 4) {
        double lo = 1e300, hi = -1e300;
        if (CD.gettype() == qv_double) {
            const double* p = CD.addr();
            for (int i = 0, n = CD.size(); i < n; ++i) {
                if (!std::isfinite(p[i]))
                    continue;
                lo = lo > p[i] ? p[i] : lo;
                hi = hi < p[i] ? p[i] : hi;
            }
        }
        L = row({lo, hi});
    }
    const Mm h = image(cell(number(0)));
    const span x = span_of(X), y = span_of(Y);
    set(h, pn_CDataMapping, TM("scaled"));
    set(h, pn_CLim, L);
    set(h, pn_CData, CD);
    // The coordinates name the cells' centres: the limits reach half a cell
    // beyond them, so the edge rows and columns show whole.
    const double dx = CD.cols() > 1 ? (x.hi - x.lo) / (CD.cols() - 1) : 1;
    const double dy = CD.rows() > 1 ? (y.hi - y.lo) / (CD.rows() - 1) : 1;
    set(h, Mm((CL(pn_XLim), row({x.lo - dx / 2, x.hi + dx / 2}))));
    set(h, Mm((CL(pn_YLim), row({y.hi + dy / 2, y.lo - dy / 2}))));
    set(h, pn_IMLim, row({x.lo, x.hi, y.lo, y.hi}));
    return h;
}
