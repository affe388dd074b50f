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
