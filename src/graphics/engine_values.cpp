// The value layout shared with the graphics engine and the road by which a
// GUI callback text comes back from the engine and runs in the language.
#include "graphics/engine_values.hpp"
#include "value/report.hpp"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstdlib>
#include <cstring>

namespace {

// Shapes m and takes its data from the standard heap, zero-filled unless the
// caller overwrites every element at once.
void minim_shape(miniM& m, int ndims, const int* dims, int is_string, bool zero)
{
    m.ndims = ndims;
    m.dims[0] = m.dims[1] = m.dims[2] = m.dims[3] = 1;
    for (int k = 0; k < ndims && k < 4; ++k)
        m.dims[k] = dims[k];
    m.isString = is_string;
    m.data = nullptr;
    long long n = minim_numel(m);
    if (n > 0) {
        const size_t count = static_cast<size_t>(n);
        m.data = static_cast<double*>(zero ? std::calloc(count, sizeof(double)) : std::malloc(count * sizeof(double)));
        if (!m.data)
            error("Out of memory!");
    }
}

} // namespace

void minim_build(miniM& m, int ndims, const int* dims, int is_string) { minim_shape(m, ndims, dims, is_string, true); }

void minim_build(miniM& m, int rows, int cols, int pages, int is_string)
{
    const int dims[3] = {rows, cols, pages};
    minim_build(m, pages > 0 ? 3 : 2, dims, is_string);
}

void minim_destroy(miniM& m)
{
    std::free(m.data);
    m.data = nullptr;
    m.ndims = -1;
}

long long minim_numel(const miniM& m)
{
    return static_cast<long long>(m.dims[0]) * m.dims[1] * m.dims[2] * m.dims[3];
}

double* minim_addr(miniM& m, long long i)
{
    if (i < 0 || i > minim_numel(m)) {
        error("miniM addr: offset out of range.");
        return m.data;
    }
    return m.data + i;
}

double& minim_r(miniM& m, long long i)
{
    static double scratch;
    if (i < 1 || i > minim_numel(m)) {
        error("miniM.r: r out of range");
        return scratch;
    }
    return m.data[i - 1];
}

void minim_from_value(miniM& m, const Mm& x)
{
    // Full real doubles are copied straight in; anything else stays zero.
    const bool copy = x.gettype() == qv_double && !x.issparse();
    minim_shape(m, x.getndims(), x.getdims(), x.isstr(), !copy);
    long long n = minim_numel(m);
    if (!copy || !m.data)
        return;
    if (x.getnnz() == n)
        std::memcpy(m.data, x.getpr((double*)nullptr), static_cast<size_t>(n) * sizeof(double));
    else
        std::memset(m.data, 0, static_cast<size_t>(n) * sizeof(double));
}

Mm value_from_minim(miniM& m)
{
    int nd = m.ndims < 2 ? 2 : m.ndims > 4 ? 4 : m.ndims;
    if (m.isBytes) {
        Mm x(0, 0, 0, nd, m.dims, qv_uint8);
        if (x.size() > 0 && x.size() == minim_numel(m) && m.bytes)
            std::memcpy(x.getpr(static_cast<unsigned char*>(nullptr)), m.bytes, static_cast<size_t>(x.size()));
        return x;
    }
    Mm x(0, 0, 0, nd, m.dims, qv_double);
    x.getflags().str = m.isString ? 1 : 0;
    if (x.getnnz() > 0 && x.getnnz() == minim_numel(m))
        std::memcpy(x.getpr((double*)nullptr), minim_addr(m, 0), sizeof(double) * x.getnnz());
    return x;
}

miniM minim_lend_bytes(const Mm& x)
{
    miniM m{};
    m.ndims = x.getndims() < 2 ? 2 : x.getndims() > 4 ? 4 : x.getndims();
    m.dims[0] = m.dims[1] = m.dims[2] = m.dims[3] = 1;
    for (int k = 0; k < m.ndims; ++k)
        m.dims[k] = x.getdims()[k];
    m.isBytes = 1;
    if (x.size() > 0)
        m.bytes = const_cast<unsigned char*>(x.getpr(static_cast<unsigned char*>(nullptr)));
    return m;
}

void run_callback_hook(const Mm& text)
{
    if (text.getnnz() == 0 || text.rows() == 0)
        return;
    int depth = qv_error_stack.depth;
    try {
        Mm result = callback_func(text);
    } catch (...) {
        error_lasterr();
        qv_error_stack.depth = depth;
    }
}

void gui_callback_entry(miniM* text)
{
    if (!text)
        return;
    Mm value = value_from_minim(*text);
    run_callback_hook(value);
}
