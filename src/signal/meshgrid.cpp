// meshgrid, ndgrid and meshdom: the coordinate arrays of a rectangular
// grid, the elements of the coordinate vectors repeated along the others.
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/signal.h"
#include "velkor/value.h"

#include <algorithm>
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
        if (along_rows)
            std::fill(column, column + rows, from[c]);
        else
            std::copy(from, from + rows, column);
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

// The three grids of ny x nx x nz: axis 0 takes x (along columns), 1 takes
// y (along rows), 2 takes z (along pages).
template <class T>
void spread3(const T* from, T* to, int ny, int nx, int nz, int axis)
{
    if (!from || !to)
        return;
    for (int k = 0; k < nz; ++k)
        for (int c = 0; c < nx; ++c) {
            T* column = to + (std::int64_t(k) * nx + c) * ny;
            for (int r = 0; r < ny; ++r)
                column[r] = from[axis == 0 ? c : axis == 1 ? r : k];
        }
}

Mm grid3_of(const Mm& v, int ny, int nx, int nz, int axis)
{
    const qv_matrix_types type = static_cast<qv_matrix_types>(v.gettype());
    const int dims[3] = {ny, nx, nz};
    Mm g(v.isc(), 0, 0, 3, dims, type);
    if (g.size() != std::int64_t(ny) * nx * nz)
        return g;
    if (type == qv_uint8) {
        using byte = unsigned char;
        spread3(v.getpr((byte*)nullptr), g.getpr((byte*)nullptr), ny, nx, nz, axis);
        spread3(v.getpi((byte*)nullptr), g.getpi((byte*)nullptr), ny, nx, nz, axis);
    } else {
        spread3(v.addr(), g.addr(), ny, nx, nz, axis);
        spread3(v.addi(), g.addi(), ny, nx, nz, axis);
    }
    g.setstr(v.isstr());
    g.setlogical(v.islogical());
    return g;
}

// v(n:-1:1) of a grid vector, in its own element kind.
Mm reversed_vector(const Mm& v)
{
    Mm r;
    r.deepcopy(v, qv_none);
    const int n = r.size();
    if (n != v.size())
        return r;
    if (r.gettype() == qv_uint8) {
        unsigned char* p = r.getpr((unsigned char*)nullptr);
        std::reverse(p, p + n);
    } else {
        std::reverse(r.addr(), r.addr() + n);
        if (r.addi())
            std::reverse(r.addi(), r.addi() + n);
    }
    return r;
}

} // namespace

Mm meshgrid(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& X, Mm& Y, Mm& Z)
{
    Mm xv, yv, zv;
    if (!grid_vector(x, xv) || !grid_vector(y, yv) || !grid_vector(z, zv)) {
        X = Y = Z = x_M;
        return x_M;
    }
    const int ny = yv.size(), nx = xv.size(), nz = zv.size();
    Mm gx = grid3_of(xv, ny, nx, nz, 0);
    Mm gy = grid3_of(yv, ny, nx, nz, 1);
    Mm gz = grid3_of(zv, ny, nx, nz, 2);
    X = gx;
    Y = gy;
    Z = gz;
    return x_M;
}

Mm meshgrid(const Mm& x, const Mm& y, const Mm& z)
{
    Mm X, Y, Z;
    meshgrid(x, y, z, i_o, X, Y, Z);
    return X;
}

Mm meshgrid(const Mm& x, i_o_t, Mm& X, Mm&, Mm&)
{
    Mm g = meshgrid(x);
    X = g;
    return x_M;
}

Mm meshgrid(const Mm& x, const Mm& y, i_o_t, Mm& X, Mm& Y, Mm&) { return meshgrid(x, y, i_o, X, Y); }

Mm meshgrid(const Mm&, const Mm&, const Mm&, i_o_t, Mm&, Mm&) { return Mm(error_input("meshgrid", 3)); }

Mm ndgrid(const Mm& x, const Mm& y, i_o_t, Mm& X1, Mm& X2) { return meshgrid(y, x, i_o, X2, X1); }
Mm ndgrid(const Mm& x, i_o_t, Mm& X1, Mm& X2) { return ndgrid(x, x, i_o, X1, X2); }

Mm ndgrid(const Mm& x, const Mm& y, const Mm& z, i_o_t, Mm& X1, Mm& X2, Mm& X3)
{
    return meshgrid(y, x, z, i_o, X2, X1, X3);
}

Mm ndgrid(const Mm& x, i_o_t, Mm& X1, Mm& X2, Mm& X3) { return ndgrid(x, x, x, i_o, X1, X2, X3); }

Mm ndgrid(const Mm& x)
{
    Mm X1, X2;
    ndgrid(x, x, i_o, X1, X2);
    return X1;
}

Mm ndgrid(const Mm& x, const Mm& y)
{
    Mm X1, X2;
    ndgrid(x, y, i_o, X1, X2);
    return X2;
}

Mm meshdom(Mm x, Mm y, i_o_t, Mm& X, Mm& Y)
{
    Mm xv, yv;
    if (!grid_vector(x, xv) || !grid_vector(y, yv)) {
        X = Y = x_M;
        return x_M;
    }
    const int rows = yv.size(), cols = xv.size();
    Mm gx = grid_of(xv, rows, cols, true);
    Mm gy = grid_of(reversed_vector(yv), rows, cols, false);
    X = gx;
    Y = gy;
    return x_M;
}

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
