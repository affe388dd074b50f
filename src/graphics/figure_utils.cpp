// Figure utilities: flushing pending drawing, waiting for the user or for an
// object, the printing background and orientation, design and console modes,
// the object search and the status line, and ending the GUI.
#include "graphics/properties.hpp"
#include "graphics/property_names.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "velkor/value.h"
#include "vizmo4510.h"

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

namespace {

const Mm& root()
{
    static const Mm zero(0.0);
    return zero;
}

// The first element of a numeric value as a double; false when there is none.
bool first_number(const Mm& x, double& out)
{
    if (x.size() < 1 || x.isstr() || iscell(x) || isstruct(x))
        return false;
    const Mm d = x.gettype() == qv_double ? (x.issparse() ? full(x) : x) : mdouble(x);
    if (d.gettype() != qv_double || d.size() < 1)
        return false;
    out = *d.addr(1);
    return true;
}

bool equals_ignoring_case(const Mm& s, const char* word)
{
    if (!s.isstr())
        return false;
    const int n = s.size();
    if (n != static_cast<int>(std::char_traits<char>::length(word)))
        return false;
    for (int k = 1; k <= n; ++k) {
        const double c = *s.addr(k);
        if (c < 0 || c > 255 ||
            std::tolower(static_cast<int>(c)) != std::tolower(static_cast<unsigned char>(word[k - 1])))
            return false;
    }
    return true;
}

// Appends the elements of a numeric value to a handle list.
void append_handles(std::vector<double>& list, const Mm& h)
{
    if (h.size() < 1 || h.isstr() || iscell(h) || isstruct(h))
        return;
    const Mm d = h.gettype() == qv_double ? (h.issparse() ? full(h) : h) : mdouble(h);
    if (d.gettype() != qv_double)
        return;
    const double* p = d.addr();
    list.insert(list.end(), p, p + d.size());
}

Mm handle_row(const std::vector<double>& handles)
{
    if (handles.empty())
        return x_M;
    Mm r(0, 0, 0, 1, static_cast<int>(handles.size()), qv_double);
    if (r.size() == static_cast<int>(handles.size()))
        std::copy(handles.begin(), handles.end(), r.addr());
    return r;
}

// One name/value pair of a search against object h.
bool pair_matches(double h, const Mm& name, const Mm& value)
{
    const Mm v = get(Mm(h), name);
    if (value.isstr()) {
        // A style is compared over the object's own length only, so a value
        // that goes on past the object's style still matches it.
        if (equals_ignoring_case(name, "Style"))
            return istrue(strncmp(v, value, Mm(static_cast<double>(length(v)))));
        return istrue(strcmp(v, value));
    }
    return isequal(v, value) != 0;
}

} // namespace

// ---- drawing, waiting and the end of the GUI ----

Mm waitforbuttonpress() { return Mm(static_cast<double>(vizmo_button_press(0))); }

Mm checkforbuttonpress() { return Mm(static_cast<double>(vizmo_button_press(1))); }

Mm waitfor(const Mm& h)
{
    double handle = 0;
    if (!first_number(h, handle)) {
        error("waitfor: the first argument must be a graphics handle");
        return x_M;
    }
    vizmo_wait_for_object(handle);
    return x_M;
}

Mm waitfor(const Mm&, const Mm&)
{
    error("waitfor(h,propname) is not supported");
    return x_M;
}

Mm waitfor(const Mm&, const Mm&, const Mm&)
{
    error("waitfor(h,propname,propvalue) is not supported");
    return x_M;
}

Mm guiexit(int code)
{
    drawnow();
    vizmo_exit(code);
    return x_M;
}

// ---- printing background, orientation and modes ----

Mm whitebg() { return whitebg(gcf()); }

Mm whitebg(const Mm& x)
{
    if (x.isstr() || x.size() != 1) {
        // The colour is resolved before anything is written, so a bad word
        // leaves every figure and the root as they were.
        const Mm c = color_to_rgb(x);
        whitebg(gcf(), c);
        set(root(), Mm((CL(pn_DefaultAxesColor), c)));
        set(root(), Mm((CL(pn_DefaultFigureColor), c)));
        return x_M;
    }
    return whitebg(x, TM("k"));
}

Mm whitebg(const Mm& f, const Mm& color)
{
    const Mm c = color_to_rgb(color);
    set(f, Mm((CL(pn_WhiteBackgroundPrint), c)));
    set(f, Mm((CL(pn_DefaultAxesColor), c)));
    return x_M;
}

Mm designer()
{
    figure(Mm(CL(gcf())));
    set(gcf(), TM("DesignMode"), Mm(1.0));
    return x_M;
}

Mm guide() { return designer(); }

Mm consolemode(const Mm& m)
{
    double mode = 0;
    if (!first_number(m, mode) || !std::isfinite(mode) || std::fabs(mode) > 2147483647.0) {
        error("consolemode: the mode must be a finite number");
        return x_M;
    }
    vizmo_console_mode(static_cast<int>(std::trunc(mode)));
    return x_M;
}

Mm orient() { return orient(gcf()); }

Mm orient(const Mm& x)
{
    if (x.isstr())
        return orient(gcf(), x);
    return get(x, pn_PaperOrientation);
}

Mm orient(const Mm& h, const Mm& o)
{
    set(h, pn_PaperOrientation, o);
    return x_M;
}

// ---- zoom, rotation and the axes box ----

Mm zoom() { return zoom(TM("on")); }

Mm zoom(const Mm& z)
{
    set(gca(), TM("ZoomFactor"), z);
    return x_M;
}

Mm zoom(const Mm& f, const Mm& z)
{
    figure(Mm(CL(f)));
    return zoom(z);
}

Mm rotate3d() { return rotate3d(TM("on")); }

Mm rotate3d(const Mm& x)
{
    if (equals_ignoring_case(x, "on")) {
        double axes = 0;
        if (first_number(gca(), axes))
            vizmo_set_rotate3d_axes(axes);
    } else if (equals_ignoring_case(x, "off")) {
        vizmo_set_rotate3d_axes(0);
    }
    return x_M;
}

Mm box(const Mm& x)
{
    set(gca(), TM("Box"), x);
    return x_M;
}

// ---- printing ----

namespace {

const char* const postscript_help =
    "13.13 How to create a PostScript file of the current plot:\n"
    "\n"
    "o Download the Generic PostScript Printer driver from\n"
    "  (see the printer driver supplier's web site)\n"
    "o Install it.\n"
    "o Set the Generic PostScript Printer driver as the default printer.\n"
    "o Select the 'Print to file' options of this driver.\n"
    "o Use File/Print Plot to produce a PostScript file.";

bool holds_either(const Mm& option, const char* word)
{
    return findstr(option, TM(word)).size() > 0;
}

} // namespace

Mm print() { return print(x_M); }

Mm print(const Mm& args)
{
    drawnow();
    const int n = iscell(args) ? args.size() : 0;
    Mm name = x_M;
    for (int i = 1; i <= n; ++i) {
        const Mm& a = args.mr(i);
        if (istrue(strncmp(a, TM("-"), Mm(1.0)))) {
            // findstr looks for the shorter text in the longer, so "-" alone
            // or "-d" also asks for the help.
            if (holds_either(a, "-deps") || holds_either(a, "-dps"))
                display(TM(postscript_help));
        } else {
            name = a;
        }
    }
    if (name.size() > 0) {
        Mm X, map;
        capture(i_o, X, map);
        // A figure of no size (0, negative or NaN wide or high) has no
        // picture; the file the program asked for would silently not be.
        if (X.size() < 1) {
            error("print: the figure has no picture to write: its size must be at least 1 x 1 pixels");
            return x_M;
        }
        imwrite(Mm((CL(X), map, name)));
        return x_M;
    }
    if (hosted_axes.size() > 0)
        set(gca(), TM("Print"), Mm());
    else
        set(gcf(), TM("Print"), Mm(0.0));
    return x_M;
}

// ---- the object tree ----

Mm allchild(const Mm& h) { return get(h, pn_Children); }

Mm findobj() { return findobj(Mm(CL(root()))); }

Mm findobj(const Mm& args)
{
    const int n = args.size();
    std::vector<double> list;
    int p = 1;
    if (n < 1 || args.mr(1).isstr()) {
        list.push_back(0);
    } else {
        append_handles(list, args.mr(1));
        p = 2;
    }
    bool flat = false;
    if (p <= n && equals_ignoring_case(args.mr(p), "flat")) {
        flat = true;
        ++p;
    }
    // The walk is breadth first: children go to the end of the list as their
    // parent is visited, so the list grows while it is walked.
    std::vector<double> found;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const double h = list[i];
        if (!flat)
            append_handles(list, get(Mm(h), pn_Children));
        bool match = true;
        for (int k = p; k <= n - 1; k += 2)
            match = pair_matches(h, args.mr(k), args.mr(k + 1)) && match;
        if (match)
            found.push_back(h);
    }
    return handle_row(found);
}

Mm findall(const Mm& args) { return findobj(args); }

Mm findfigs()
{
    const Mm c = get(root(), pn_Children);
    std::vector<double> figures;
    append_handles(figures, c);
    for (double f : figures)
        set(Mm(f), Mm((CL(pn_MoveIntoScreen), Mm(1.0))));
    return x_M;
}

Mm deleteobj(const Mm& h)
{
    if (h.gettype() != qv_double)
        return x_M;
    Mm handles = h.issparse() ? full(h) : h;
    const int n = handles.size();
    // The engine deletes an object when its "Kill" property is written.
    double zero = 0;
    miniM kill{2, {1, 1, 1, 1}, 0, &zero};
    for (int k = 1; k <= n; ++k)
        vizmo_set_property(*handles.addr(k), "Kill", &kill);
    return x_M;
}

Mm setstatus(const Mm& f, const Mm& s)
{
    const Mm h = findobj(Mm((CL(f), TM("Tag"), TM("Status"))));
    if (length(h) > 0)
        set(h, Mm((CL(pn_String), s)));
    return x_M;
}

Mm setstatus(const Mm& s) { return setstatus(gcf(), s); }
