// Figure utilities: flushing pending drawing and ending the GUI.
#include "velkor/graphics.h"
#include "velkor/value.h"
#include "vizmo4510.h"

Mm drawnow()
{
    vizmo_redraw();
    return x_M;
}

Mm guiexit(int code)
{
    drawnow();
    vizmo_exit(code);
    return x_M;
}
