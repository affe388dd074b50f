// String functions of the language: the text test and comparison the
// library shares, deblank, and the char-matrix builders str2mat and
// str2mat_pair.
#include "io/string_functions.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/io.h"
#include "velkor/value.h"

#include <cstdint>
#include <cstring>

bool text_equals(const Mm& a, const Mm& b)
{
    if (!a.isstr() || !b.isstr())
        return false;
    bool empty_a = isempty(a), empty_b = isempty(b);
    if (empty_a || empty_b)
        return empty_a && empty_b;
    if (!is_same_dims(a, b) || a.gettype() != b.gettype() || a.gettype() != qv_double)
        return false;
    const double* p = a.addr();
    const double* q = b.addr();
    for (int k = 0, n = a.size(); k < n; ++k)
        if (p[k] != q[k])
            return false;
    return true;
}

int isstr(const Mm& x) { return x.isstr(); }

namespace {

// Whether element k holds exactly the code c (no imaginary part).
template <class T>
inline bool holds_code(const T* re, const T* im, std::int64_t k, int c)
{
    return re[k] == c && (!im || im[k] == 0);
}

// The elements up to the last that is not a blank, without the code-0
// ones; x itself when nothing goes.
template <class T>
Mm deblank_codes(const Mm& x)
{
    const T* re = x.getpr((T*)nullptr);
    const T* im = x.getpi((T*)nullptr);
    const std::int64_t n = x.size();
    std::int64_t keep = n;
    while (keep > 0 && holds_code(re, im, keep - 1, 32))
        --keep;
    std::int64_t zeros = 0;
    for (std::int64_t k = 0; k < keep; ++k)
        zeros += holds_code(re, im, k, 0);
    if (keep == n && zeros == 0)
        return x;
    // What is left is a sequence: a column stays a column, anything else
    // becomes a row.
    const int count = static_cast<int>(keep - zeros);
    const bool column = x.getndims() == 2 && x.cols() == 1;
    Mm out(im != nullptr, 0, 0, column ? count : 1, column ? 1 : count, x.gettype() == qv_uint8 ? qv_uint8 : qv_double);
    if (out.size() != count)
        return x_M;
    T* o = out.getpr((T*)nullptr);
    T* oi = out.getpi((T*)nullptr);
    for (std::int64_t k = 0, m = 0; k < keep; ++k) {
        if (holds_code(re, im, k, 0))
            continue;
        o[m] = re[k];
        if (oi)
            oi[m] = im[k];
        ++m;
    }
    out.setstr(x.isstr());
    out.setlogical(x.islogical());
    return out;
}

// A blank block of the given extents, as plain codes.
Mm blank_block(int rows, int cols)
{
    Mm out(0, 0, 0, rows, cols, qv_double);
    double* p = out.addr();
    for (int k = 0, n = out.size(); k < n; ++k)
        p[k] = 32;
    return out;
}

} // namespace

Mm deblank(const Mm& s)
{
    if (iscell(s)) {
        Mm out(0, 0, 0, s.getndims(), s.getdims(), qv_cell);
        if (out.size() != s.size())
            return x_M;
        const Mm* from = s.getpr((Mm*)nullptr);
        Mm* to = out.getpr((Mm*)nullptr);
        for (int k = 0, n = s.size(); k < n; ++k)
            to[k] = deblank(from[k]);
        return out;
    }
    if (s.gettype() == qv_double)
        return deblank_codes<double>(full(s));
    if (s.gettype() == qv_uint8)
        return deblank_codes<unsigned char>(s);
    return s;
}

Mm str2mat_pair(const Mm& a, const Mm& b)
{
    // An empty operand counts as one blank.
    const Mm top = isempty(a) ? Mm(32.0) : a;
    const Mm bottom = isempty(b) ? Mm(32.0) : b;
    const int wa = top.getndims() == 2 ? top.cols() : top.size() / top.rows();
    const int wb = bottom.getndims() == 2 ? bottom.cols() : bottom.size() / bottom.rows();
    if (wa < wb)
        return vertcat(horzcat(top, blank_block(top.rows(), wb - wa)), bottom);
    if (wb < wa)
        return vertcat(top, horzcat(bottom, blank_block(bottom.rows(), wa - wb)));
    return vertcat(top, bottom);
}

Mm str2mat(const Mm& args)
{
    // A value that is not a cell is the one argument.
    const bool list = iscell(args);
    const int n = list ? args.size() : 1;
    const Mm* given = list ? args.getpr((Mm*)nullptr) : &args;
    if (n == 0) {
        Mm empty;
        empty.setstr(1);
        return empty;
    }
    if (n == 1) {
        if (iscell(given[0]))
            return str2mat(given[0]);
        Mm text(given[0]);
        text.setstr(1);
        return text;
    }
    Mm result = given[0];
    for (int k = 1; k < n; ++k)
        result = str2mat_pair(result, given[k]);
    result.setstr(1);
    return result;
}
