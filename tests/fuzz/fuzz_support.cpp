// The start-up and byte readers shared by the harnesses.
#include "fuzz_support.hpp"

#include <cmath>
#include <cstdlib>

namespace fuzz {

namespace {
void quiet(const char*) {}
} // namespace

void start()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    initM2(4510, sizeof(Mm));
    qv_set_default_error_flags(0x10, 1);
    qv_set_default_error_flags(0x3, 0);
    qv_set_default_warning_flags(0x3, 0);
    qv_set_print_handler(quiet);
}

std::string bytes::text()
{
    std::string s;
    while (p_ < end_) {
        char c = static_cast<char>(*p_++);
        if (c == 0)
            break;
        s += c;
    }
    return s;
}

double bytes::number()
{
    std::uint8_t b = take();
    switch (b) {
    case 250: return INFINITY;
    case 251: return -INFINITY;
    case 252: return NAN;
    case 253: return -0.0;
    case 254: return 1e300;
    case 255: return 0.1;
    default: return b < 200 ? static_cast<int>(b) - 100 : static_cast<int>(b) - 225 + 0.5;
    }
}

Mm bytes::matrix()
{
    std::uint8_t shape = take();
    int rows = shape & 3;
    int cols = (shape >> 2) & 3;
    if (shape & 16)
        ++rows, ++cols;
    Mm x(0, 0, 0, rows, cols, qv_double);
    for (int k = 0; k < rows * cols; ++k)
        x.addr()[k] = number();
    if (shape & 32)
        x.setstr(1);
    else if (shape & 64)
        x.setlogical(1);
    return x;
}

namespace {

template <class T>
void append_bytes(std::string& out, const T* p, std::size_t n)
{
    if (p && n)
        out.append(reinterpret_cast<const char*>(p), n * sizeof(T));
}

void fingerprint_into(std::string& out, const Mm& x)
{
    const M_types& f = x.getflags();
    out += '<' + std::to_string(f.type) + ' ' + std::to_string(f.str) + std::to_string(f.sparse) +
           std::to_string(f.logical) + std::to_string(x.isc()) + ' ' + std::to_string(x.getclassid());
    for (int d = 0; d < x.getndims(); ++d)
        out += ' ' + std::to_string(x.getdims()[d]);
    for (int k = 0; k < x.getnfields(); ++k)
        out += std::string(" .") + x.getfields()[k];
    out += '|';
    const std::size_t n = static_cast<std::size_t>(x.issparse() ? x.getnnz() : x.size());
    if (x.issparse())
        append_bytes(out, x.getindex(), n);
    if (x.gettype() == qv_uint8) {
        append_bytes(out, x.getpr((unsigned char*)nullptr), n);
        if (x.isc())
            append_bytes(out, x.getpi((unsigned char*)nullptr), n);
    } else if (x.gettype() == qv_cell) {
        for (std::size_t k = 0; k < n; ++k)
            fingerprint_into(out, x.getpr((Mm*)nullptr)[k]);
    } else {
        append_bytes(out, x.addr(), n);
        if (x.isc())
            append_bytes(out, x.addi(), n);
    }
    out += '>';
}

} // namespace

std::string fingerprint(const Mm& x)
{
    std::string out;
    fingerprint_into(out, x);
    return out;
}

void check_whole(const Mm& x)
{
    const int t = x.gettype();
    if (t < qv_none || t > qv_cell || x.getndims() < 2 || x.getndims() > 4)
        std::abort();
    long long n = 1;
    for (int d = 0; d < x.getndims(); ++d) {
        if (x.getdims()[d] < 0)
            std::abort();
        n *= x.getdims()[d];
    }
    if (!x.issparse() && n != x.size())
        std::abort();
    if (x.issparse() && (x.getnnz() < 0 || x.getnnz() > n))
        std::abort();
    if (t == qv_cell)
        for (int k = 0; k < x.size(); ++k)
            check_whole(x.getpr((Mm*)nullptr)[k]);
}

} // namespace fuzz
