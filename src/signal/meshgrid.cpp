// meshgrid: the coordinate matrices of a rectangular grid, the elements of
// two vectors repeated along the rows and down the columns.
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <cstdint>

namespace {

// A numel(y) x numel(x) value of x's kind whose element (r, c) is element
// c of x (along_rows) or element r of y.
template <class T>
void spread(const T* from, T* to, int rows, int cols, bool along_rows)
{
    if (!from || !to)
        return;
    for (int c = 0; c < cols; ++c) {
        T* column = to + std::int64_t(c) * rows;
        for (int r = 0; r < rows; ++r)
            column[r] = along_rows ? from[c] : from[r];
    }
}

Mm grid_of(const Mm& v, int rows, int cols, bool along_rows)
{
    const qv_matrix_types type = static_cast<qv_matrix_types>(v.gettype());
    Mm g(v.isc(), 0, 0, rows, cols, type);
    if (g.rows() != rows || g.cols() != cols)
        return g;  // "Out of memory!" went to a hook that returned
    if (type == qv_uint8) {
        using byte = unsigned char;
        spread(v.getpr((byte*)nullptr), g.getpr((byte*)nullptr), rows, cols, along_rows);
        spread(v.getpi((byte*)nullptr), g.getpi((byte*)nullptr), rows, cols, along_rows);
    } else {
        spread(v.addr(), g.addr(), rows, cols, along_rows);
        spread(v.addi(), g.addi(), rows, cols, along_rows);
    }
    g.setstr(v.isstr());
    g.setlogical(v.islogical());
    return g;
}

bool grid_vector(const Mm& v, Mm& out)
{
    if (v.gettype() == qv_none) {
        v.warn_uninit();
        return false;
    }
    if (error_numeric(v, "meshgrid"))
        return false;
    out = full(v);
    return true;
}

} // namespace

Mm meshgrid(const Mm& x, const Mm& y, i_o_t, Mm& X, Mm& Y)
{
    Mm xv, yv;
    if (!grid_vector(x, xv) || !grid_vector(y, yv)) {
        X = Y = x_M;
        return x_M;
    }
    const int rows = yv.size(), cols = xv.size();
    Mm gx = grid_of(xv, rows, cols, true);
    Mm gy = grid_of(yv, rows, cols, false);
    // assigned last: an output may be one of the vectors
    X = gx;
    Y = gy;
    return x_M;
}

Mm meshgrid(const Mm& v, i_o_t, Mm& X, Mm& Y) { return meshgrid(v, v, i_o, X, Y); }

Mm meshgrid(const Mm& x, const Mm& y)
{
    Mm X, Y;
    meshgrid(x, y, i_o, X, Y);
    return X;
}

Mm meshgrid(const Mm& x) { return meshgrid(x, x); }
