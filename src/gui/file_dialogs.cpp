// The file, colour and font choosers, the modal wait and its release, the
// busy pointer, and two helpers for menu items and pop-up controls.
#include "graphics/property_names.hpp"
#include "gui/dialog_text.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/io.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "vizmo4510.h"

#include <cmath>
#include <string>

namespace {

constexpr int file_text = 512;

Mm number(double v) { return Mm(v); }

using file_dialog_t = void (*)(const char*, const char*, char*, int, char*, int);

// The chosen name and directory as values; an empty one becomes 0.
void choose_file(file_dialog_t dialog, const Mm& filter, const Mm& title, Mm& file, Mm& path)
{
    drawnow();
    const std::string t = bounded_text(title, file_text);
    const std::string f = bounded_text(filter, file_text);
    char name[file_text] = {};
    char dir[file_text] = {};
    dialog(f.c_str(), t.c_str(), name, file_text, dir, file_text);
    // The engine's texts are trusted no further than the buffers.
    name[file_text - 1] = '\0';
    dir[file_text - 1] = '\0';
    file = name[0] ? TM(name) : number(0);
    path = dir[0] ? TM(dir) : number(0);
}

Mm chosen_name(file_dialog_t dialog, const Mm& filter, const Mm& title)
{
    Mm file, path;
    choose_file(dialog, filter, title, file, path);
    return file;
}

int packed_component(double c) { return static_cast<int>(std::ceil(255 * c)); }

Mm unpacked_colour(int a)
{
    Mm rgb(0, 0, 0, 1, 3, qv_double);
    if (rgb.size() != 3)
        return x_M;  // refused storage, already reported
    double* p = rgb.getpr(static_cast<double*>(nullptr));
    p[0] = (a & 255) / 255.0;
    p[1] = ((a >> 8) & 255) / 255.0;
    p[2] = ((a >> 16) & 255) / 255.0;
    return rgb;
}

double component(const Mm& x, int k)
{
    if (x.gettype() == qv_uint8)
        return *x.getpr(static_cast<unsigned char*>(nullptr), k);
    return *x.getpr(static_cast<double*>(nullptr), k);
}

} // namespace

#define NUMRUN_FILE_CHOOSER(name, dialog)                                                                     \
    Mm name() { return chosen_name(dialog, pv_empty_text, pv_empty_text); }                                   \
    Mm name(const Mm& filter) { return chosen_name(dialog, filter, pv_empty_text); }                          \
    Mm name(const Mm& filter, const Mm& title) { return chosen_name(dialog, filter, title); }                 \
    Mm name(const Mm& filter, const Mm& title, const Mm&) { return chosen_name(dialog, filter, title); }      \
    Mm name(const Mm& filter, const Mm& title, const Mm&, const Mm&)                                          \
    {                                                                                                         \
        return chosen_name(dialog, filter, title);                                                            \
    }                                                                                                         \
    Mm name(i_o_t, Mm& file, Mm& path)                                                                        \
    {                                                                                                         \
        choose_file(dialog, pv_empty_text, pv_empty_text, file, path);                                        \
        return x_M;                                                                                           \
    }                                                                                                         \
    Mm name(const Mm& filter, i_o_t, Mm& file, Mm& path)                                                      \
    {                                                                                                         \
        choose_file(dialog, filter, pv_empty_text, file, path);                                               \
        return x_M;                                                                                           \
    }                                                                                                         \
    Mm name(const Mm& filter, const Mm& title, i_o_t, Mm& file, Mm& path)                                     \
    {                                                                                                         \
        choose_file(dialog, filter, title, file, path);                                                       \
        return x_M;                                                                                           \
    }                                                                                                         \
    Mm name(const Mm& filter, const Mm& title, const Mm&, i_o_t, Mm& file, Mm& path)                          \
    {                                                                                                         \
        choose_file(dialog, filter, title, file, path);                                                       \
        return x_M;                                                                                           \
    }                                                                                                         \
    Mm name(const Mm& filter, const Mm& title, const Mm&, const Mm&, i_o_t, Mm& file, Mm& path)               \
    {                                                                                                         \
        choose_file(dialog, filter, title, file, path);                                                       \
        return x_M;                                                                                           \
    }

NUMRUN_FILE_CHOOSER(uigetfile, vizmo_open_file_dialog)
NUMRUN_FILE_CHOOSER(uiputfile, vizmo_save_file_dialog)
#undef NUMRUN_FILE_CHOOSER

Mm uisetcolor(const Mm& x) { return uisetcolor(x, pv_empty_text); }

// Colours go to and from the engine packed as r + 256 g + 65536 b with
// components 0 to 255; the language sees [r g b] in [0, 1].
Mm uisetcolor(const Mm& x, const Mm&)
{
    drawnow();
    const int n = x.length();
    const bool numeric = x.gettype() == qv_double || x.gettype() == qv_uint8;
    if (n == 1 && numeric) {
        const int a = vizmo_color_dialog(0, -1);
        if (a < 0)
            return get(x, pn_Color);
        const Mm rgb = unpacked_colour(a);
        if (rgb.size() != 3)
            return x_M;
        set(x, pn_Color, rgb);
        return rgb;
    }
    if (n == 3 && numeric) {
        const double r = component(x, 1), g = component(x, 2), b = component(x, 3);
        const int a = vizmo_color_dialog(0, packed_component(r) + 256 * packed_component(g) +
                                                65536 * packed_component(b));
        if (a < 0) {
            Mm rgb(0, 0, 0, 1, 3, qv_double);
            if (rgb.size() != 3)
                return x_M;  // refused storage, already reported
            double* p = rgb.getpr(static_cast<double*>(nullptr));
            p[0] = r, p[1] = g, p[2] = b;
            return rgb;
        }
        return unpacked_colour(a);
    }
    error("uisetcolor(h) - h must be a handle or rgb color");
    return number(-1);
}

Mm uisetfont(const Mm& x) { return uisetfont(x, pv_empty_text); }

Mm uisetfont(const Mm& x, const Mm&)
{
    drawnow();
    if (x.isstr())
        return uisetfont(uicontrol(Mm((CL(pn_Style), pv_text, pn_String, pv_text))));
    if (x.length() == 1) {
        // Writing "SetFont" makes the engine ask for the object's font.
        set(x, pn_SetFont, number(0));
        return x;
    }
    error("uisetfont(h) - h must be a 1xhandle or title");
    return number(-1);
}

Mm uiwait() { return uiwait(gcf()); }

Mm uiwait(const Mm& h)
{
    figure(Mm((CL(h))));
    vizmo_wait();
    return x_M;
}

Mm uiresume() { return uiresume(gcf()); }

Mm uiresume(const Mm& h)
{
    figure(Mm((CL(h))));
    vizmo_resume();
    return x_M;
}

Mm watchon()
{
    if (vizmo_current_figure() > 0) {
        const Mm f = gcf();
        set(f, pn_Pointer, pv_watch);
        return f;
    }
    return number(NAN);
}

Mm watchon(const Mm& h)
{
    if (!istrue(isnan(h)))
        set(h, pn_Pointer, pv_watch);
    return x_M;
}

Mm watchoff() { return watchoff(gcf()); }

Mm watchoff(const Mm& h)
{
    if (!istrue(isnan(h)))
        set(h, pn_Pointer, pv_arrow);
    return x_M;
}

Mm popupstr(const Mm& h) { return get(h, pn_Label); }

Mm umtoggle(const Mm& h)
{
    const Mm next = istrue(strcmp(get(h, pn_Checked), pv_on)) ? pv_off : pv_on;
    set(h, Mm((CL(pn_Checked), next)));
    return next;
}
