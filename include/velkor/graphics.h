// The graphics side that the rest of the library reaches: the callback entry
// the engine calls and the shut-down of the GUI.
#pragma once

#include "value.h"

struct miniM;

void gui_callback_entry(miniM* text);
void run_callback_hook(const Mm& text);
Mm guiexit(int code);
Mm drawnow();
// 1 when a mouse button was pressed in a figure, else 0.
Mm checkforbuttonpress();
// Deletes the graphics objects whose handles h holds.
Mm deleteobj(const Mm& h);
