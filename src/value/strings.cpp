// Text values: TM makes a char row from a C string; Mstr, Mstr_row and
// Mstr_size write a text value into a caller's buffer.
#include "engine/scalar_real.hpp"
#include "velkor/array.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cstdint>
#include <cstring>

Mm TM(const char* s)
{
    std::size_t n = s ? std::strlen(s) : 0;
    if (n > static_cast<std::size_t>(INT32_MAX - 8)) {
        error("Out of memory!");
        n = 0;
    }
    Mm r(0, 0, 0, 1, static_cast<int>(n), qv_double);
    r.getflags().str = 1;
    double* p = r.getpr((double*)nullptr);
    for (int k = 0; k < r.getnnz(); ++k)
        p[k] = static_cast<signed char>(s[k]);
    return r;
}

int Mstr_size(const Mm& x)
{
    if (x.getnnz() == 0 || x.rows() == 0 || x.cols() == 0)
        return 1;
    std::int64_t size = std::int64_t(x.rows()) + x.getnnz();
    return size > INT32_MAX ? INT32_MAX : static_cast<int>(size);
}

namespace {

inline char text_byte(double v) { return static_cast<char>(double_to_byte(v)); }
inline char text_byte(unsigned char v) { return static_cast<char>(v); }

// Writes rows x cols column-major elements as text rows joined by newlines,
// cut to the buffer with a warning.
template <class T>
void write_text(const T* p, int rows, int cols, char* buf, int size)
{
    if (!buf) {
        error("Mstr: the buffer is a null pointer");
        return;
    }
    if (size <= 0) {
        warning("Mstr: buffer too small - chopped");
        return;
    }
    if (rows < 0)
        rows = 0;
    if (cols < 0)
        cols = 0;
    std::int64_t need = rows == 0 ? 1 : std::int64_t(rows) * (std::int64_t(cols) + 1);
    std::int64_t room = size - 1;
    std::int64_t at = 0;
    for (int r = 0; r < rows && at < room; ++r) {
        if (r > 0)
            buf[at++] = '\n';
        for (int c = 0; c < cols && at < room; ++c)
            buf[at++] = text_byte(p[r + std::int64_t(c) * rows]);
    }
    buf[at] = 0;
    if (need > size)
        warning("Mstr: buffer too small - chopped");
}

// Text is read from double or byte storage; cells hold no characters.
void write_value(const Mm& x, int rows, int cols, char* buf, int size)
{
    if (x.gettype() == qv_uint8)
        write_text(x.getpr((unsigned char*)nullptr), rows, cols, buf, size);
    else if (x.gettype() == qv_cell)
        write_text((const double*)nullptr, 0, 0, buf, size);
    else
        write_text(x.getpr((double*)nullptr), rows, cols, buf, size);
}

} // namespace

void Mstr(const double* p, int rows, int cols, char* buf, int size) { write_text(p, rows, cols, buf, size); }

void Mstr(const Mm& x, char* buf, int size)
{
    if (x.issparse()) {
        Mstr(full(x), buf, size);
        return;
    }
    int rows = x.getnnz() == 0 ? 0 : x.rows();
    int cols = rows == 0 ? 0 : x.getnnz() / rows;
    write_value(x, rows, cols, buf, size);
}

void Mstr_row(const Mm& x, char* buf, int size)
{
    if (x.issparse()) {
        Mstr_row(full(x), buf, size);
        return;
    }
    int n = x.getnnz();
    write_value(x, n > 0 ? 1 : 0, n, buf, size);
}
