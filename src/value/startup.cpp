// Start-up and shut-down: the values of the global constants, the version
// and layout check of initM2, exitM and the language's exit and quit.
#include "value/globals.hpp"
#include "value/report.hpp"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/runtime.h"
#include "velkor/value.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

const char* l_M_name = nullptr;
const char* semi_name = nullptr;
const char* c_p_name = nullptr;

namespace {

double ieee_inf_value = 0;
double ieee_nan_value = 0;
bool ieee_ready = false;

char viewer_name[256];
char player_name[256];
char plotter_name[256];

void read_program_name(char* out, const char* upper, const char* lower, const char* fallback)
{
    const char* v = std::getenv(upper);
    if (!v)
        v = std::getenv(lower);
    if (!v)
        v = fallback;
    std::snprintf(out, 256, "%s", v);
}

} // namespace

void init_ieee_constants()
{
    if (ieee_ready)
        return;
    ieee_inf_value = std::bit_cast<double>(std::uint64_t{0x7FF0000000000000});
    ieee_nan_value = std::bit_cast<double>(std::uint64_t{0x7FFFFFFFFFFFFFFF});
    ieee_ready = true;
}

double runtime_inf() { return ieee_inf_value; }
double runtime_nan() { return ieee_nan_value; }

void read_external_program_names()
{
    read_program_name(viewer_name, "VORSENVIEWER", "vorsenviewer", "pbrush");
    read_program_name(player_name, "VORSENPLAYER", "vorsenplayer", "sonvex");
    read_program_name(plotter_name, "VORSENGNUPLOT", "vorsengnuplot", "wgnuplot");
}

const char* external_viewer_name() { return viewer_name; }
const char* external_player_name() { return player_name; }
const char* external_plotter_name() { return plotter_name; }

void init_constants()
{
    if (!ans.hasstorage())
        return;
    Mm empty;
    ans = empty;
    l_M = empty;
    semi = empty;
    c_p = empty;
    nop_M = empty;
    page_screen_output = empty;
    implicit_str_to_num_ok = empty;
    empty_list_elements_ok = empty;
    x_M = Mm();
    TICTOC = Mm(0.0);
    Mm unit(1, 0, 0, 1, 1, qv_double);
    *unit.getpr((double*)nullptr) = 0;
    *unit.getpi((double*)nullptr) = 1;
    i = unit;
    j = i;
    NaN = Mm(runtime_nan());
    Inf = Mm(runtime_inf());
    pi = Mm(std::bit_cast<double>(std::uint64_t{0x400921FB54442D18}));
    eps = Mm(0x1p-52);
    zero_M = Mm(0.0);
    one_M = Mm(1.0);
    l_M_name = l_M.getname();
    semi_name = semi.getname();
    c_p_name = c_p.getname();
}

void initM2(int version, int size_of_Mm)
{
    if (version != 4510)
        error("Version mismatch - runtime version is %g but velkor.h version is %g.", 4.51, version * 0.001);
    if (size_of_Mm != static_cast<int>(sizeof(Mm)))
        error("sizeof(Mm) mismatch - runtime size is %d but current size is %d", static_cast<int>(sizeof(Mm)),
              size_of_Mm);
    fpu_reset();
    init_constants();
}

void exitM()
{
    guiexit(scope_tracking);
    fpu_reset();
}

Mm exit()
{
    exitM();
    std::exit(0);
}

Mm quit()
{
    exitM();
    std::exit(0);
}
