// Image display: reading a shown image back from its object, with its
// coordinate vectors and its kind.
#include "velkor/array.h"
#include "velkor/graphics.h"
#include "velkor/gui.h"
#include "velkor/value.h"

Mm getimage(const Mm& h) { return get(h, "CData"); }

Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y, Mm& A, Mm& flag)
{
    Mm data = get(h, "CData");
    const int nd = data.getndims();
    Mm xs(0, 0, 0, 1, 2, qv_double), ys(0, 0, 0, 1, 2, qv_double);
    if (xs.size() != 2 || ys.size() != 2)
        return x_M;  // refused storage, already reported
    *xs.addr(1) = 1;
    *xs.addr(2) = data.cols();
    *ys.addr(1) = 1;
    *ys.addr(2) = data.rows();
    x = xs;
    y = ys;
    A = data;
    flag = Mm(nd == 3 ? 4.0 : nd == 2 ? 1.0 : 0.0);
    return x_M;
}

Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y, Mm& A)
{
    Mm flag;
    return getimage(h, i_o, x, y, A, flag);
}

Mm getimage(const Mm& h, i_o_t, Mm& x, Mm& y)
{
    Mm A, flag;
    return getimage(h, i_o, x, y, A, flag);
}
