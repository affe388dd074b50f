// Figure utilities: flushing pending drawing, asking for a button press in a
// figure and ending the GUI.
#include "velkor/array.h"
#include "velkor/graphics.h"
#include "velkor/value.h"
#include "vizmo4510.h"

Mm waitforbuttonpress() { return Mm(static_cast<double>(vizmo_button_press(0))); }

Mm checkforbuttonpress() { return Mm(static_cast<double>(vizmo_button_press(1))); }

Mm guiexit(int code)
{
    drawnow();
    vizmo_exit(code);
    return x_M;
}

Mm deleteobj(const Mm& h)
{
    if (h.gettype() != qv_double)
        return x_M;
    Mm handles = h.issparse() ? full(h) : h;
    const int n = handles.size();
    // The engine deletes an object when its "Kill" property is written.
    double zero = 0;
    miniM kill{2, {1, 1, 1, 1}, 0, &zero};
    for (int k = 1; k <= n; ++k)
        vizmo_set_property(*handles.addr(k), "Kill", &kill);
    return x_M;
}
