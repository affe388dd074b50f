// Images, colormaps, dialogs and GUI controls: the language functions of
// the GUI side.
#pragma once

#include "value.h"

// ---- colormap generators ----
// Each gives an m x 3 map of red, green and blue in [0, 1]; X() is X(64).
// black, white, gray, flag, prism and lines take m as a rounded count
// (halves away from zero); the others use the value in their arithmetic.
// black, white and gray of an empty m give nop_M.
Mm black();
Mm black(const Mm& m);
Mm white();
Mm white(const Mm& m);
Mm gray();
Mm gray(const Mm& m);
Mm grey();
Mm grey(const Mm& m);
Mm jet();
Mm jet(const Mm& m);
Mm hsv();
Mm hsv(const Mm& m);
Mm hot();
Mm hot(const Mm& m);
Mm bone();
Mm bone(const Mm& m);
Mm cool();
Mm cool(const Mm& m);
Mm spring();
Mm spring(const Mm& m);
Mm summer();
Mm summer(const Mm& m);
Mm winter();
Mm winter(const Mm& m);
Mm autumn();
Mm autumn(const Mm& m);
Mm pink();
Mm pink(const Mm& m);
Mm copper();
Mm copper(const Mm& m);
Mm flag();
Mm flag(const Mm& m);
Mm prism();
Mm prism(const Mm& m);
Mm lines();
Mm lines(const Mm& m);

// ---- unsupported functions ----
// Names a program may call that the library does not carry out: each takes
// up to seventeen values, reads none, and returns the text "Stub called."
// without raising, printing or touching the engine.
#define NUMRUN_STUB_DECLARE(name)                                                                     \
    Mm name(Mm a1 = nop_M, Mm a2 = nop_M, Mm a3 = nop_M, Mm a4 = nop_M, Mm a5 = nop_M, Mm a6 = nop_M,  \
            Mm a7 = nop_M, Mm a8 = nop_M, Mm a9 = nop_M, Mm a10 = nop_M, Mm a11 = nop_M,                \
            Mm a12 = nop_M, Mm a13 = nop_M, Mm a14 = nop_M, Mm a15 = nop_M, Mm a16 = nop_M,             \
            Mm a17 = nop_M)
NUMRUN_STUB_DECLARE(frame2im);
NUMRUN_STUB_DECLARE(im2frame);
NUMRUN_STUB_DECLARE(movie);
NUMRUN_STUB_DECLARE(spinmap);
NUMRUN_STUB_DECLARE(contourc);
NUMRUN_STUB_DECLARE(doc);
NUMRUN_STUB_DECLARE(getline);
NUMRUN_STUB_DECLARE(getrect);
NUMRUN_STUB_DECLARE(helpfun);
NUMRUN_STUB_DECLARE(hthelp);
NUMRUN_STUB_DECLARE(htpp);
NUMRUN_STUB_DECLARE(light);
NUMRUN_STUB_DECLARE(lightangle);
NUMRUN_STUB_DECLARE(lighting);
NUMRUN_STUB_DECLARE(loadhtml);
NUMRUN_STUB_DECLARE(material);
NUMRUN_STUB_DECLARE(uirestore);
NUMRUN_STUB_DECLARE(uisuspend);
NUMRUN_STUB_DECLARE(web);
NUMRUN_STUB_DECLARE(rbbox);
NUMRUN_STUB_DECLARE(dragrect);
NUMRUN_STUB_DECLARE(copyobj);
NUMRUN_STUB_DECLARE(selectmoveresize);
NUMRUN_STUB_DECLARE(setptr);
NUMRUN_STUB_DECLARE(struct2handle);
NUMRUN_STUB_DECLARE(handle2struct);
NUMRUN_STUB_DECLARE(hardcopy);
NUMRUN_STUB_DECLARE(pagedlg);
NUMRUN_STUB_DECLARE(ctlpanel);
#undef NUMRUN_STUB_DECLARE
// The two-output form leaves x and y as they are.
Mm getline(Mm a1, Mm a2, i_o_t, Mm& x, Mm& y);

// ---- colormap adjustment ----
// A grey k x 3 map whose steps follow how X's values fill m levels: the
// positions of the level boundaries in X's sorted levels, scaled to end at 1.
// A constant X puts every value on level 0, giving [1 1 1].
Mm contrast(const Mm& X, const Mm& m);

// ---- histograms ----
// Counts y into bins: nb is a bin count (default 10, equal widths between
// the data's least and largest values) or a row of centres. A value v is in
// bin j when the midpoint below centre j < v <= the midpoint above it; NaN
// and -Inf are in no bin. Vector data give a row of counts and a row of
// centres; matrix data an N x cols count matrix and a column of centres.
Mm hist(const Mm& y, const Mm& nb, i_o_t, Mm& n, Mm& x);
Mm hist(const Mm& y, i_o_t, Mm& n, Mm& x);
// Angle histogram outline: rows t and r of three points per bin (its lower
// edge and upper edge at the bin's count, then the centre), ready for polar.
Mm rose(const Mm& theta, const Mm& nb, i_o_t, Mm& t, Mm& r);
Mm rose(const Mm& theta, i_o_t, Mm& t, Mm& r);

// ---- staircase data ----
// The coordinates of the staircase through x = args{1} and y = args{2}
// (vectors as columns): ys the rows 1 1 2 2 .. n of y, xs the rows
// 1 2 2 3 3 .. n n of x, a single column of x repeated per column of ys.
Mm stairs(const Mm& args, i_o_t, Mm& xs, Mm& ys);
