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
Mm drawnow();
// 1 when a mouse button was pressed in a figure, else 0.
Mm checkforbuttonpress();
// Deletes the graphics objects whose handles h holds.
Mm deleteobj(const Mm& h);
