// Figure utilities: flushing pending drawing, asking for a button press in a
// figure and ending the GUI.
#include "velkor/graphics.h"
#include "velkor/value.h"
#include "vizmo4510.h"

Mm drawnow()
{
    vizmo_redraw();
    return x_M;
}

Mm checkforbuttonpress() { return Mm(static_cast<double>(vizmo_button_press(1))); }

Mm guiexit(int code)
{
    drawnow();
    vizmo_exit(code);
    return x_M;
}
