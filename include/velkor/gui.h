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

// ---- controls and menus ----
// Each takes the call's arguments as one cell row: an optional leading
// parent, then property pairs. uicontrol's "Style" names the engine type
// (default "pushbutton"; hwcontrol's default "comport"); the control is
// hidden while its properties are written. makemenu prints why it is not
// supported and raises an error.
Mm uicontrol();
Mm uicontrol(const Mm& args);
Mm hwcontrol();
Mm hwcontrol(const Mm& args);
Mm uimenu();
Mm uimenu(const Mm& args);
Mm uicontextmenu();
Mm uicontextmenu(const Mm& args);
Mm makemenu(const Mm& args);

// ---- modal dialogs ----
// Texts that do not fit their slots (255 characters a line, title, button,
// prompt; 4999 bytes a message) arrive empty or end at the last whole line,
// with a warning. msgbox and menu return the engine's answer; questdlg the
// chosen button's text; inputdlg a 1 x n cell of answers, or a 0x0 cell
// when cancelled.
Mm msgbox(const Mm& args);
Mm errordlg(const Mm& args);
Mm helpdlg(const Mm& args);
Mm warndlg(const Mm& args);
Mm questdlg(const Mm& args);
Mm inputdlg(const Mm& args);
Mm menu(const Mm& args);
Mm printdlg(const Mm& args);
// The help of a language function, a text with a title, or the row of a
// {topic, text} table whose topic matches.
Mm helpwin(const Mm& topic);
Mm helpwin(const Mm& text, const Mm& title);
Mm helpwin(const Mm& table, const Mm& topic, const Mm& title);

// ---- file, colour and font choosers; waiting ----
// The chosen file's name, or 0 when cancelled; the output forms give the
// name and the directory, each 0 when empty. Extra x, y are ignored.
Mm uigetfile();
Mm uigetfile(const Mm& filter);
Mm uigetfile(const Mm& filter, const Mm& title);
Mm uigetfile(const Mm& filter, const Mm& title, const Mm& x);
Mm uigetfile(const Mm& filter, const Mm& title, const Mm& x, const Mm& y);
Mm uigetfile(i_o_t, Mm& file, Mm& path);
Mm uigetfile(const Mm& filter, i_o_t, Mm& file, Mm& path);
Mm uigetfile(const Mm& filter, const Mm& title, i_o_t, Mm& file, Mm& path);
Mm uigetfile(const Mm& filter, const Mm& title, const Mm& x, i_o_t, Mm& file, Mm& path);
Mm uigetfile(const Mm& filter, const Mm& title, const Mm& x, const Mm& y, i_o_t, Mm& file, Mm& path);
Mm uiputfile();
Mm uiputfile(const Mm& filter);
Mm uiputfile(const Mm& filter, const Mm& title);
Mm uiputfile(const Mm& filter, const Mm& title, const Mm& x);
Mm uiputfile(const Mm& filter, const Mm& title, const Mm& x, const Mm& y);
Mm uiputfile(i_o_t, Mm& file, Mm& path);
Mm uiputfile(const Mm& filter, i_o_t, Mm& file, Mm& path);
Mm uiputfile(const Mm& filter, const Mm& title, i_o_t, Mm& file, Mm& path);
Mm uiputfile(const Mm& filter, const Mm& title, const Mm& x, i_o_t, Mm& file, Mm& path);
Mm uiputfile(const Mm& filter, const Mm& title, const Mm& x, const Mm& y, i_o_t, Mm& file, Mm& path);
// x is a handle (its "Color" is set) or [r g b] in [0, 1]; the result is
// the chosen [r g b] in [0, 1], or on cancel the colour given (the
// handle's current "Color"). The title is accepted and not used.
Mm uisetcolor(const Mm& x);
Mm uisetcolor(const Mm& x, const Mm& title);
// x is a handle, or a text (a new "text" control is made for it).
Mm uisetfont(const Mm& x);
Mm uisetfont(const Mm& x, const Mm& title);
// Waits until a callback calls uiresume or the figure closes.
Mm uiwait();
Mm uiwait(const Mm& h);
Mm uiresume();
Mm uiresume(const Mm& h);
// The busy pointer; watchon() without a figure gives NaN, which watchoff
// ignores.
Mm watchon();
Mm watchon(const Mm& h);
Mm watchoff();
Mm watchoff(const Mm& h);
Mm popupstr(const Mm& h);
// Flips a menu item's "Checked" between "on" and "off"; gives the new one.
Mm umtoggle(const Mm& h);

// ---- waitbar ----
// waitbar(x, title) opens a new progress window at x; waitbar(x) moves the
// bar of the newest one to x(1).
Mm waitbar(const Mm& x, const Mm& title);
Mm waitbar(const Mm& x);
extern Mm waitbar_figure;
extern Mm waitbar_bar;
// ---- image files ----
// Read, written and described by the engine. From a file an indexed image
// comes back as uint8 indices from 0 with its map, a truecolor image as
// rows x cols x 3 uint8 with planes blue, green, red. The name is looked
// up in the current directory, then on the search path.
Mm imread(const Mm& name, const Mm& fmt, i_o_t, Mm& X, Mm& map);
Mm imread(const Mm& name, i_o_t, Mm& X, Mm& map);
Mm imread(const Mm& name, const Mm& fmt);
Mm imread(const Mm& name);
// One output: imread with that format. Two outputs: the image as doubles
// (indices from 1, components in [0, 1]) and its map.
Mm bmpread(const Mm& name);
Mm gifread(const Mm& name);
Mm tiffread(const Mm& name);
Mm pcxread(const Mm& name);
Mm bmpread(const Mm& name, i_o_t, Mm& X, Mm& map);
Mm gifread(const Mm& name, i_o_t, Mm& X, Mm& map);
Mm tiffread(const Mm& name, i_o_t, Mm& X, Mm& map);
Mm pcxread(const Mm& name, i_o_t, Mm& X, Mm& map);
// args = {A, name}, {A, name, fmt, pairs...}, {A, map, name, pairs...};
// without a map the current figure's colormap is written.
Mm imwrite(const Mm& args);
Mm bmpwrite(const Mm& args);
Mm tiffwrite(const Mm& args);
// Struct of Filename, Format, FormatVersion, FileSize, FileModDate, Width,
// Height, BitDepth, ColorType; the name is used as given.
Mm imfinfo(const Mm& name, const Mm& fmt);
Mm imfinfo(const Mm& name);
// ---- image display ----
// The image data of object h (as get gives "CData"); with outputs also
// x = [1 columns], y = [1 rows] and the kind: 4 truecolor, 1 two-dimensional.
Mm getimage(const Mm& h);
Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y);
Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y, Mm& A);
Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y, Mm& A, Mm& flag);
// The same for the current axes.
Mm getimage();
Mm getimage(i_o_t, Mm& x, Mm& y);
Mm getimage(i_o_t, Mm& x, Mm& y, Mm& A);
Mm getimage(i_o_t, Mm& x, Mm& y, Mm& A, Mm& flag);
// imshow({X}), imshow({X, r}) with r a gray level count, [low high] or a
// colormap, imshow({name}), imshow({R, G, B}), each optionally after x, y
// coordinate vectors; a last argument "truesize" runs truesize(). Without
// coordinates the axes decoration is turned off. subimage is imshow.
Mm imshow(const Mm& args);
Mm subimage(const Mm& args);
Mm imshow_array(const Mm& X, const Mm& r);
Mm imshow_single(const Mm& A);
// Asks the engine to show fig's current axes' image at its own size.
Mm truesize();
Mm truesize(const Mm& fig);
Mm truesize(const Mm& fig, const Mm& size);
// ---- colour control ----
// The current figure's colormap; jet(64), making no figure, when none is
// open.
Mm colormap();
// Sets the current figure's colormap from an m x 3 matrix in [0, 1] or a
// generator name ('default' is jet; a name followed by more letters counts
// as the name). An empty argument does nothing.
Mm colormap(const Mm& map);
// Default background colour x ('black', 'white', 'none', ...) of the root
// (a = 0), of figure a, or of a new figure (a = 'new'); returns the target.
Mm colordef(const Mm& x);
Mm colordef(const Mm& a, const Mm& x);
// The current axes' colour limits: read, or set from [cmin cmax] (or a
// "CLimMode" text) and the colormap applied again; the i_o forms read the
// two limits into cmin and cmax.
Mm caxis();
Mm caxis(const Mm& c);
Mm caxis(i_o_t, Mm& cmin, Mm& cmax);
Mm caxis(const Mm& c, i_o_t, Mm& cmin, Mm& cmax);
// A colour-scale axes beside the current axes (orientation "vert", exactly,
// for a vertical bar; any other text horizontal) or beside axes handle arg;
// the axes shrink to make room and stay current. Returns the new axes.
Mm colorbar();
Mm colorbar(const Mm& arg);
// The three columns of a colormap as red, green and blue lines.
Mm rgbplot(const Mm& map);
// The shading of surfaces and pcolor charts ("flat", "faceted", "interp"):
// the last such chart is drawn again with it, and the current axes' "Shading"
// set; after a mesh only the setting for later charts changes.
Mm shading(const Mm& mode);

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
// contrast with as many levels as the current colormap has rows.
Mm contrast(const Mm& X);
// The current colormap (or map; a scalar map means the current one)
// brightened for beta > 0, darkened otherwise. The two-argument form also
// makes the result the current figure's colormap.
Mm brighten(const Mm& beta);
Mm brighten(const Mm& map, const Mm& beta);

// ---- histograms ----
// Counts y into bins: nb is a bin count (default 10, equal widths between
// the data's least and largest values) or a row of centres. A value v is in
// bin j when the midpoint below centre j < v <= the midpoint above it; NaN
// and -Inf are in no bin. Vector data give a row of counts and a row of
// centres; matrix data an N x cols count matrix and a column of centres.
Mm hist(const Mm& y, const Mm& nb, i_o_t, Mm& n, Mm& x);
Mm hist(const Mm& y, i_o_t, Mm& n, Mm& x);
// The counts, drawn as a bar chart with its x ticks at the centres.
Mm hist(const Mm& y, const Mm& nb);
Mm hist(const Mm& y);
// Angle histogram outline: rows t and r of three points per bin (its lower
// edge and upper edge at the bin's count, then the centre), ready for polar.
Mm rose(const Mm& theta, const Mm& nb, i_o_t, Mm& t, Mm& r);
Mm rose(const Mm& theta, i_o_t, Mm& t, Mm& r);
// The outline drawn by polar; returns polar's handles.
Mm rose(const Mm& theta, const Mm& nb);
Mm rose(const Mm& theta);

// ---- vector plots ----
// spy: a marker at (column, row) of each non-zero of S, row 1 at the top.
Mm spy(const Mm& S);
Mm spy(const Mm& S, const Mm& linestyle);
// quiver: arrows (u, v) at (x, y), or at the matrix positions of u; a
// complex z stands for (real, imag). The last argument is a line linestyle, or a
// scale (0 or less draws the components as they are).
Mm quiver(const Mm& z);
Mm quiver(const Mm& a, const Mm& b);
Mm quiver(const Mm& u, const Mm& v, const Mm& s);
Mm quiver(const Mm& x, const Mm& y, const Mm& u, const Mm& v);
Mm quiver(const Mm& x, const Mm& y, const Mm& u, const Mm& v, const Mm& s);
// feather: unscaled arrows based at 1..n along the x axis.
Mm feather(const Mm& z);
Mm feather(const Mm& a, const Mm& b);
Mm feather(const Mm& u, const Mm& v, const Mm& linestyle);
// compass: spokes from the origin in polar axes, one polar series.
Mm compass(const Mm& z);
Mm compass(const Mm& a, const Mm& b);
Mm compass(const Mm& u, const Mm& v, const Mm& linestyle);
// ribbon: plot of (x, y) seen from azimuth and elevation 330; w unused.
Mm ribbon(const Mm& y);
Mm ribbon(const Mm& x, const Mm& y);
Mm ribbon(const Mm& x, const Mm& y, const Mm& w);

// ---- contour labels ----
// One text per group of a 2-row contour matrix, the level at its first
// point; the row of text handles. h and v are accepted and not used.
Mm clabel(const Mm& c);
Mm clabel(const Mm& c, const Mm& h);
Mm clabel(const Mm& c, const Mm& h, const Mm& v);

// ---- staircase data ----
// The coordinates of the staircase through x = args{1} and y = args{2}
// (vectors as columns): ys the rows 1 1 2 2 .. n of y, xs the rows
// 1 2 2 3 3 .. n n of x, a single column of x repeated per column of ys.
Mm stairs(const Mm& args, i_o_t, Mm& xs, Mm& ys);
