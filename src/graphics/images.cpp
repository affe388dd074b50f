// Image objects: im2double brings image data into the one numeric form the
// engine is given (1-based indices, or components in [0, 1]).
#include "velkor/graphics.h"
#include "velkor/report.h"

Mm im2double(const Mm& a)
{
    if (a.gettype() == qv_uint8 && !a.isstr()) {
        const int nd = a.getndims();
        if (nd != 2 && nd != 3) {
            error("uint8 images suppoort (1) NxMx3 of 0..255 or (2) NxM of 0..255");
            return Mm(0.0);
        }
        Mm r(0, 0, 0, nd, a.getdims(), qv_double);
        if (r.size() != a.size())
            return r;  // refused storage, already reported
        const unsigned char* in = a.getpr(static_cast<unsigned char*>(nullptr));
        double* out = r.addr();
        const int n = r.size();
        if (nd == 3) {
            for (int k = 0; k < n; ++k)
                out[k] = in[k] / 255.0;
        } else {
            for (int k = 0; k < n; ++k)
                out[k] = in[k] + 1.0;
        }
        return r;
    }
    if (a.gettype() == qv_double && !a.isstr())
        return a;
    error("im* can get only uint8 or double matrices");
    return Mm(0.0);
}

Mm im2double(const Mm& a, const Mm&) { return im2double(a); }
