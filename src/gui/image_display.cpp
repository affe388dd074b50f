// Image display: reading a shown image back from its object, with its
// coordinate vectors and its kind.
#include "velkor/array.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "velkor/value.h"
#include "graphics/properties.hpp"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstring>

Mm getimage(const Mm& h) { return get(h, "CData"); }

Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y, Mm& A, Mm& flag)
{
    Mm data = get(h, "CData");
    const int nd = data.getndims();
    Mm xs(0, 0, 0, 1, 2, qv_double), ys(0, 0, 0, 1, 2, qv_double);
    if (xs.size() != 2 || ys.size() != 2)
        return x_M;  // refused storage, already reported
    *xs.addr(1) = 1;
    *xs.addr(2) = data.cols();
    *ys.addr(1) = 1;
    *ys.addr(2) = data.rows();
    x = xs;
    y = ys;
    A = data;
    flag = Mm(nd == 3 ? 4.0 : nd == 2 ? 1.0 : 0.0);
    return x_M;
}

Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y, Mm& A)
{
    Mm flag;
    return getimage(h, i_o, x, y, A, flag);
}

Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y)
{
    Mm A, flag;
    return getimage(h, i_o, x, y, A, flag);
}

// ---- showing images ----

namespace {

Mm number(double v) { return Mm(v); }

// Whether v is exactly the one-row text word (ignoring case when asked).
bool is_text(const Mm& v, const char* word, bool ignore_case)
{
    const std::size_t len = std::strlen(word);
    if (!v.isstr() || v.rows() != 1 || static_cast<std::size_t>(v.cols()) != len)
        return false;
    char buf[32];
    Mstr(v, buf, sizeof buf);
    return ignore_case ? strcasecmp(buf, word) == 0 : std::strcmp(buf, word) == 0;
}

Mm pair_row(double a, double b)
{
    Mm r(0, 0, 0, 1, 2, qv_double);
    if (r.size() == 2) {
        *r.addr(1) = a;
        *r.addr(2) = b;
    }
    return r;
}

// [min max] of the finite elements, as doubles; empty when there are none.
bool finite_range(const Mm& X, double& lo, double& hi)
{
    const Mm d = mdouble(X);
    bool any = false;
    const double* p = d.addr();
    for (int k = 0, n = d.size(); k < n; ++k) {
        const double v = p[k];
        if (!std::isfinite(v))
            continue;
        if (!any || v < lo)
            lo = v;
        if (!any || v > hi)
            hi = v;
        any = true;
    }
    return any;
}

// Three equal-sized planes stacked along the third dimension, first, second,
// third in that order; bytes stay bytes when all three are bytes.
Mm stack_planes(const Mm& first, const Mm& second, const Mm& third)
{
    const Mm* planes[3] = {&first, &second, &third};
    const int rows = first.rows(), cols = first.cols();
    bool bytes = true;
    for (const Mm* p : planes) {
        if (p->getndims() != 2 || p->rows() != rows || p->cols() != cols) {
            error("imshow: the colour planes must be matrices of the same size");
            return Mm();
        }
        bytes = bytes && p->gettype() == qv_uint8;
    }
    const int dims[3] = {rows, cols, 3};
    Mm P(0, 0, 0, 3, dims, bytes ? qv_uint8 : qv_double);
    const int m = rows * cols;
    if (P.size() != 3 * m)
        return Mm();
    for (int k = 0; k < 3; ++k) {
        if (bytes) {
            const unsigned char* src = planes[k]->getpr((unsigned char*)nullptr);
            unsigned char* dst = P.getpr((unsigned char*)nullptr) + k * m;
            std::copy(src, src + m, dst);
        } else {
            const Mm d = mdouble(*planes[k]);
            if (d.size() != m)
                return Mm();  // refused storage, already reported
            const double* src = d.addr();
            std::copy(src, src + m, P.addr() + k * m);
        }
    }
    return P;
}

} // namespace

Mm imshow_array(const Mm& X, const Mm& r)
{
    const Mm h = image(cell(number(0)));
    if (X.getndims() == 3) {
        colormap(r);
        set(h, TM("CData"), im2double(X));
        return h;
    }
    switch (r.size()) {
    case 1:
        colormap(gray(r));
        set(h, TM("CDataMapping"), TM("scaled"));
        set(h, TM("CLim"), pair_row(0, 1));
        break;
    case 2:
        colormap(gray());
        set(h, TM("CDataMapping"), TM("scaled"));
        set(h, TM("CLim"), r);
        break;
    case 0: {
        colormap(gray());
        set(h, TM("CDataMapping"), TM("scaled"));
        double lo = 0, hi = 0;
        // With no finite element there is no range to write.
        if (finite_range(X, lo, hi))
            set(h, TM("CLim"), pair_row(lo, hi));
        break;
    }
    default:
        colormap(r);
        break;
    }
    set(h, TM("CData"), im2double(X));
    return h;
}

Mm imshow_single(const Mm& A)
{
    if (A.isstr()) {
        Mm X, map;
        imread(A, TM(""), i_o, X, map);
        if (map.size() > 0)
            colormap(map);
        const Mm h = image(Mm(CL(X)));
        title(Mm(CL(A)));
        return h;
    }
    if (A.getndims() == 3)
        return image(Mm(CL(im2double(A))));
    if (A.gettype() == qv_uint8)
        return imshow_array(A, Mm());
    return imshow_array(im2double(A), pair_row(0, 1));
}

Mm imshow(const Mm& args)
{
    const int n = count_data_args(args);
    Mm h, x, y;
    switch (n) {
    case 0:
    case 1:
        if (args.size() == 0) {
            error("imshow: needs an image or a file name");
            return x_M;
        }
        h = imshow_single(args.mr(1));
        break;
    case 2:
        h = imshow_array(args.mr(1), args.mr(2));
        break;
    case 3: {
        const Mm& first = args.mr(1);
        if (first.rows() == 1 || first.cols() == 1) {
            h = imshow_single(args.mr(3));
            x = args.mr(1);
            y = args.mr(2);
        } else {
            h = imshow_single(stack_planes(args.mr(3), args.mr(2), args.mr(1)));
        }
        break;
    }
    case 4:
        h = imshow_array(args.mr(3), args.mr(4));
        x = args.mr(1);
        y = args.mr(2);
        break;
    case 5:
        h = imshow_single(stack_planes(args.mr(5), args.mr(4), args.mr(3)));
        x = args.mr(1);
        y = args.mr(2);
        break;
    default:
        error("imshow with more than 5 numeric vars not allowed");
        return x_M;
    }
    const Mm& last = args.mr(args.size());
    if (is_text(last, "truesize", false))
        truesize();
    if (x.size() == 0) {
        axis(TM("off"));
    } else {
        double xlo = 0, xhi = 0, ylo = 0, yhi = 0;
        finite_range(x, xlo, xhi);
        finite_range(y, ylo, yhi);
        set(h, Mm((CL("XLim"), pair_row(xlo, xhi))));
        set(h, Mm((CL("YLim"), pair_row(ylo, yhi))));
        Mm lim(0, 0, 0, 1, 4, qv_double);
        if (lim.size() == 4) {
            const double v[4] = {xlo, xhi, ylo, yhi};
            std::copy(v, v + 4, lim.addr());
            set(h, TM("IMLim"), lim);
        }
    }
    return h;
}

Mm subimage(const Mm& args) { return imshow(args); }

Mm truesize() { return truesize(gcf(), number(0)); }

Mm truesize(const Mm& fig) { return truesize(fig, number(0)); }

Mm truesize(const Mm& fig, const Mm& size)
{
    figure(Mm(CL(fig)));
    const Mm a = gca();
    if (a.size() >= 1 && *a.addr(1) > 0 && is_text(get(a, "Type"), "axes", true))
        set(a, TM("Size"), size);
    return x_M;
}

Mm getimage() { return getimage(gca()); }

Mm getimage(i_o_t, Mm& x, Mm& y) { return getimage(gca(), i_o, x, y); }

Mm getimage(i_o_t, Mm& x, Mm& y, Mm& A) { return getimage(gca(), i_o, x, y, A); }

Mm getimage(i_o_t, Mm& x, Mm& y, Mm& A, Mm& flag) { return getimage(gca(), i_o, x, y, A, flag); }
