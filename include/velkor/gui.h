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

// ---- image files ----
// imwrite({A, name}), ({A, name, format, pairs...}) or ({A, map, name,
// pairs...}): writes image A (uint8 or double) through the engine, with the
// current colormap unless one is given; the format "" lets the engine choose.
Mm imwrite(const Mm& args);
