// The graphics side that the rest of the library reaches: the callback entry
// the engine calls and the shut-down of the GUI.
#pragma once

#include "value.h"

struct miniM;

void gui_callback_entry(miniM* text);
void run_callback_hook(const Mm& text);
Mm guiexit(int code);

// Handle properties. set writes one property to every handle of h, or walks
// a list (name/value pairs, structs, a cell of names with a cell of values,
// a bare colour word); with no list it gives the struct of all properties.
// UserData values stay in the library; "String" keeps a cell's form and
// "CData" an image's type.
Mm set(const Mm& h, const Mm& name, const Mm& value);
Mm set(const Mm& h, const Mm& list);
Mm set(const Mm& h);
Mm get(const Mm& h);
// One handle: the value; a cell of names or other handle counts: a cell.
Mm get(const Mm& h, const Mm& name);
Mm get(const Mm& h, const char* name);
Mm setuprop(const Mm& h, const Mm& name, const Mm& value);
Mm getuprop(const Mm& h, const Mm& name);
Mm clruprop(const Mm& h, const Mm& name);
// Non-zero for each live object, in h's shape.
Mm ishandle(const Mm& h);
Mm ishghandle(const Mm& h);

// Image data as the engine takes it: uint8 indices + 1, uint8 components
// / 255, doubles unchanged.
Mm im2double(const Mm& a);
Mm im2double(const Mm& a, const Mm& b);
// Draws pending changes when a figure is current.
Mm drawnow();
// Waits for the user: 0 a mouse press, 1 a key, anything else no press.
Mm waitforbuttonpress();
// Polls without waiting, with the same answers as waitforbuttonpress.
Mm checkforbuttonpress();
// Deletes the graphics objects whose handles h holds.
Mm deleteobj(const Mm& h);

// ---- figure utilities ----
// Blocks until object h(1) is gone; waiting on a property is refused.
Mm waitfor(const Mm& h);
Mm waitfor(const Mm& h, const Mm& name);
Mm waitfor(const Mm& h, const Mm& name, const Mm& value);
// The printing background: of the current figure, of figure f (black), or
// a colour for the current figure and the root's default colours.
Mm whitebg();
Mm whitebg(const Mm& x);
Mm whitebg(const Mm& f, const Mm& color);
// Shows the current figure in design mode.
Mm designer();
Mm guide();
// The engine's console mode, m(1) truncated toward zero.
Mm consolemode(const Mm& m);
// Paper orientation: read from the current figure or handle x, or set.
Mm orient();
Mm orient(const Mm& x);
Mm orient(const Mm& h, const Mm& o);
// Zoom of the current axes ("on", "off" or a factor), optionally of
// figure f made current first.
Mm zoom();
Mm zoom(const Mm& z);
Mm zoom(const Mm& f, const Mm& z);
// Interactive rotation of the current axes: "on" or "off" (any case); any
// other value does nothing.
Mm rotate3d();
Mm rotate3d(const Mm& x);
// The box of the current axes.
Mm box(const Mm& x);
// Prints the current figure through the engine, or, given a file name (the
// last one wins), writes its picture there. Options begin with "-"; one
// about PostScript shows how to make a PostScript file.
Mm print();
Mm print(const Mm& args);
// get(h, 'Children').
Mm allchild(const Mm& h);
// Searches the object tree breadth first from the root, or from the handles
// of args{1}, optionally 'flat' (only those handles), for objects matching
// every name/value pair that follows; a row of handles or empty.
Mm findobj();
Mm findobj(const Mm& args);
Mm findall(const Mm& args);
// Moves every figure into the screen.
Mm findfigs();
// Writes s to the object tagged "Status" in figure f (or the current one).
Mm setstatus(const Mm& f, const Mm& s);
Mm setstatus(const Mm& s);

// ---- figures ----
// figure(args): a leading number selects or opens that figure; otherwise a
// new one at the root's default position. Property pairs follow.
Mm figure();
Mm figure(const Mm& args);
// close: a handle, a text of handles, 'all', or (none) the current figure.
Mm figure_close();
Mm figure_close(const Mm& p);
Mm figure_close(const Mm& p, const Mm& q);
// A figure without menu bar, number title or resizing.
Mm dialog();
Mm dialog(const Mm& args);
// The current figure, made when there is none; 0 while axes are hosted.
Mm gcf();
Mm refresh();
Mm refresh(const Mm& h);
Mm shg();
// Clears the current figure; clf('reset') also restores its colours and map.
Mm clf();
Mm clf(const Mm& opt);
Mm clg();
// A figure's picture, rows x cols x 3 (planes blue, green, red), and its
// colormap; getframe of an axes captures its figure.
Mm capture();
Mm capture(const Mm& h);
Mm capture(i_o_t, Mm& X, Mm& map);
Mm capture(const Mm& h, i_o_t, Mm& X, Mm& map);
Mm getframe();
Mm getframe(const Mm& h);
Mm getframe(i_o_t, Mm& X, Mm& map);
Mm getframe(const Mm& h, i_o_t, Mm& X, Mm& map);
// A host's application and key handler, passed to the engine.
Mm setapplicationhandle(void* handle);
Mm setapplicationkeyhandle(void* handle);
// Asks the engine for an object of no type (a test of its refusal).
Mm vizmocrash();
// Hosts plots in a foreign window: from then on gcf is 0 and the hosted
// axes stand in for the current axes. vbaxes takes the window as a number.
Mm winaxes(void* window);
Mm vbaxes(const Mm& window);

// ---- pointer interaction ----
// gco(h): h's "CurrentObject" (gco() of the current figure). gcbo: the
// object whose callback runs; gcbf: the figure that holds it, or empty when
// there is none or its parent chain is broken.
Mm gco();
Mm gco(const Mm& h);
Mm gcbo();
Mm gcbo(i_o_t, Mm& h, Mm& f);
Mm gcbf();
// ginput picks up to trunc(n(1)) points in the current axes (no limit when
// negative or not given) until Return; presses on other objects do not
// count. Returns [x y]; the outputs take the columns and the buttons.
Mm ginput(const Mm& n, i_o_t, Mm& x, Mm& y, Mm& button);
Mm ginput(const Mm& n, i_o_t, Mm& x, Mm& y);
Mm ginput(const Mm& n);
Mm ginput(i_o_t, Mm& x, Mm& y, Mm& button);
Mm ginput(i_o_t, Mm& x, Mm& y);
Mm ginput();
// A text s at one picked point; returns the text's handle.
Mm gtext(const Mm& s);
// Points picked in figure number h (an integer) or axes h, or the current
// figure.
Mm getpts(const Mm& h, i_o_t, Mm& x, Mm& y);
Mm getpts(i_o_t, Mm& x, Mm& y);
// ---- axes ----
// The current axes, made when the current figure has none.
Mm gca();
// axes(h) makes h current; otherwise a new axes in the parent (default: the
// current figure) at "Position" (default: the parent's DefaultAxesPosition).
Mm axes();
Mm axes(const Mm& args);
// axes of each argument in turn.
Mm axis(const Mm& a, const Mm& b);
Mm axis(const Mm& a, const Mm& b, const Mm& c);
// [a b c d] as the current axes' "RealPosition".
Mm axesposition(const Mm& a, const Mm& b, const Mm& c, const Mm& d);
// Clears the current axes and gives it four empty labels; cla(opt) also
// resets it, turns the grid off and restores the 2-D view.
Mm cla();
Mm cla(const Mm& opt);
// Prepares the current axes for a new plot by its "NextPlot": "add" keeps,
// "replacechildren" drops the series, "replace" resets.
Mm newplot();
// Resets an axes (as cla), a figure (as clf), or clears any other object.
Mm reset(const Mm& h);

// ---- decorations ----
// subplot(m, n, p): the axes in cell p (row by row) of an m-by-n grid of the
// current figure, reused when one is there; overlapped axes are deleted.
Mm subplot();
Mm subplot(const Mm& mnp);
Mm subplot(const Mm& m, const Mm& n, const Mm& p);
Mm subplot(const Mm& name, const Mm& pos);
Mm grid();
Mm grid(const Mm& s);
Mm hold();
Mm hold(const Mm& s);
Mm ishold();
// A label text on the current axes: an odd argument count starts with the
// text, the rest are the text's property pairs.
Mm xlabel();
Mm xlabel(const Mm& args);
Mm ylabel();
Mm ylabel(const Mm& args);
Mm zlabel();
Mm zlabel(const Mm& args);
Mm title();
Mm title(const Mm& args);
// [XLim YLim ZLim] of the current axes; axis(a) sets limits or a mode.
Mm axis();
Mm axis(const Mm& a);
Mm legend();
Mm legend(const Mm& args);
// The view: 2, 2.5, 3, 3.5, [az el] in degrees, or a viewpoint vector.
Mm view();
Mm view(const Mm& v);
Mm view(const Mm& az, const Mm& el);
Mm view(i_o_t, Mm& az, Mm& el);
// Date ticks on one axis of the current axes: the property ax + "Date"
// (default axis "x") gets the format, a text as given or a code 0..18 picked
// from the date format table (any other code passed as the number; default
// "mm/yy").
Mm datetick();
Mm datetick(const Mm& ax);
Mm datetick(const Mm& ax, const Mm& format);

// ---- texts ----
// text(x, y, s), text(x, y, z, s): one text per point; text(pairs): one
// invisible text at [0 0] given the pairs.
Mm text();
Mm text(const Mm& args);

// ---- patches and lines ----
// patch(x, y), patch(x, y, c) with c an RGB row or a colormap index,
// patch(pairs); fill and rectangle are patch. line(x, y), line(x, y, z) and
// line(pairs); a "Parent" pair puts the line in that axes.
Mm patch();
Mm patch(const Mm& args);
Mm fill(const Mm& args);
Mm rectangle(const Mm& args);
Mm line();
Mm line(const Mm& args);

// ---- images ----
// The image is the "CData" of an axes: image({CD}), image({X, Y, CD}) with
// property pairs after; the axes limits follow the coordinates, and
// decreasing coordinates mirror the data. imagesc scales to the colour
// limits (given, or the finite data's range).
Mm image();
Mm image(const Mm& args);
Mm imagesc();
Mm imagesc(const Mm& args);

// ---- series ----
// plot({x, y, linestyle, ..., pairs}): one "line" per series, coloured from a
// cycle that starts at blue in every call. plot2 serves every series chart:
// dm is 2 for (x, y) data and 3 for (x, y, z).
Mm plot(const Mm& args);
Mm plot2(const char* chart, int dm, const Mm& args);
Mm plot_matrices(const char* chart, int& colour, int colour_given, int line_style, int marker, const Mm& x,
                 const Mm& y, const Mm& z);
Mm plot_series(const char* chart, int colour, int line_style, int marker, int n, const double* x, int x_stride,
               const double* y, int y_stride, const double* z, int z_stride);
void next_color_index(int& colour, int colour_given);

// ---- charts ----
// Series charts over plot2, each taking the call's whole argument list; the
// engine draws each chart type. polar turns the grid on; the log forms set
// the axes scales after the series; plot3 and pie3 end in the 3-D view.
Mm stem(const Mm& args);
Mm stairs(const Mm& args);
Mm area(const Mm& args);
Mm pie(const Mm& args);
Mm polar(const Mm& args);
Mm semilogx(const Mm& args);
Mm semilogy(const Mm& args);
Mm loglog(const Mm& args);
Mm plot3(const Mm& args);
Mm pie3(const Mm& args);

// Contours: contour({Z}), ({Z, N}), ({X, Y, Z}), ({X, Y, Z, N}), each with an
// optional line style after the data. N is a count of levels evenly inside
// the range of Z (8 by default) or, with more than one element, the levels
// themselves in their order. Returns the contour matrix that clabel reads:
// per level a column [v; n], then its n points. contourf draws the same
// lines 8 wide. contour3 shows the engine's contour surface of the same
// arguments instead and returns its handle; its contour matrix is 0x0.
Mm contour(const Mm& args);
Mm contour(const Mm& args, i_o_t, Mm& CM, Mm& h);
Mm contourf(const Mm& args);
Mm contourf(const Mm& args, i_o_t, Mm& CM, Mm& h);
Mm contour3(const Mm& args);
Mm contour3(const Mm& args, i_o_t, Mm& CM, Mm& h);

// Bars: bar(y), bar(x, y), bar(x, y, s) and the horizontal barh, whose
// series carry the bar lengths as x data and the positions as y data. A
// one-letter text is a line style, a longer one the "Stacktype".
// The 3-D forms stack "none" unless told otherwise and end in the 3-D view.
Mm bar(const Mm& y);
Mm bar(const Mm& a, const Mm& b);
Mm bar(const Mm& x, const Mm& y, const Mm& s);
Mm barh(const Mm& y);
Mm barh(const Mm& a, const Mm& b);
Mm barh(const Mm& x, const Mm& y, const Mm& s);
Mm bar3(const Mm& y);
Mm bar3(const Mm& x, const Mm& y);
Mm bar3(const Mm& x, const Mm& y, const Mm& s);
Mm bar3h(const Mm& y);
Mm bar3h(const Mm& x, const Mm& y);
Mm bar3h(const Mm& x, const Mm& y, const Mm& s);

// Error bars: errorbar(y, e), (y, e, linestyle), (x, y, e), (x, y, e, linestyle),
// (x, y, l, u) and (x, y, l, u, linestyle); vertical segments from y - l to
// y + u, then the data line, returning both handles as one row.
Mm errorbar(const Mm& y, const Mm& e);
Mm errorbar(const Mm& a, const Mm& b, const Mm& c);
Mm errorbar(const Mm& x, const Mm& y, const Mm& a, const Mm& b);
Mm errorbar(const Mm& x, const Mm& y, const Mm& l, const Mm& u, const Mm& linestyle);

// Markers: options is a cell list of a size, a colour and texts ("filled"
// keeps the circles).
Mm scatter(const Mm& x, const Mm& y, const Mm& options);
Mm scatter3(const Mm& x, const Mm& y, const Mm& z, const Mm& options);

// Two series, the second shown against the right and top axes. The output
// forms give the axes and the series handles and return the empty value.
Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2, const Mm& y2);
Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2, const Mm& y2, i_o_t, Mm& ax, Mm& h1);
Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2, const Mm& y2, i_o_t, Mm& ax, Mm& h1, Mm& h2);

// Calls with too few inputs: each raises "<name> does not accept <n> inputs".
Mm plotyy(const Mm& x1);
Mm plotyy(const Mm& x1, const Mm& y1);
Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2);
Mm plotyy(const Mm& x1, i_o_t, Mm& ax, Mm& h1);
Mm plotyy(const Mm& x1, const Mm& y1, i_o_t, Mm& ax, Mm& h1);
Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2, i_o_t, Mm& ax, Mm& h1);
Mm plotyy(const Mm& x1, i_o_t, Mm& ax, Mm& h1, Mm& h2);
Mm plotyy(const Mm& x1, const Mm& y1, i_o_t, Mm& ax, Mm& h1, Mm& h2);
Mm plotyy(const Mm& x1, const Mm& y1, const Mm& x2, i_o_t, Mm& ax, Mm& h1, Mm& h2);
Mm scatter(const Mm& x);
Mm scatter(const Mm& x, const Mm& y);
Mm scatter3(const Mm& x);
Mm scatter3(const Mm& x, const Mm& y);
Mm scatter3(const Mm& x, const Mm& y, const Mm& z);
Mm errorbar(const Mm& y);

// ---- surfaces ----
// One "surface" object over Z resampled to a grid of at most 500 x 500
// (exactly that under interpolated shading): data (z), (z, c), (x, y, z) or
// (x, y, z, c), c unused, then property pairs. mesh keeps the 3-D view of a
// wire frame; surf and surface switch the axes to surface mode. surfl is surf.
Mm mesh(const Mm& args);
Mm surf(const Mm& args);
Mm surface(const Mm& args);
Mm surface();
Mm surfl(const Mm& args);
// A contour surface on the floor (at min(Z)) under a mesh or surf of the
// same data; the column [contour; surface] of handles.
Mm meshc(const Mm& args);
Mm surfc(const Mm& args);
// The last data argument as colour indices 1..K of the current colormap,
// shown as an image; the axes' handle.
Mm pcolor(const Mm& args);
// The surface engine behind every chart above: chart names "mesh", "surf",
// "surface", "contour" or "contour3"; view is passed to view() first.
// contour_surface adds "NumContourLines" from a count or a level vector in
// the second (z, n) or fourth (x, y, z, n) data argument, 16 without one.
Mm surface_plot(const char* chart, const Mm& args, const Mm& view_arg);
Mm contour_surface(const char* chart, const Mm& args, const Mm& view_arg);
