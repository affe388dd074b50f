// sprintf and sscanf: the language's fronts over the format engine, turning
// values into its texts and its results back into values.
#include "io/format_engine.hpp"
#include "value/globals.hpp"
#include "value/scratch.hpp"
#include "velkor/checks.h"
#include "velkor/io.h"
#include "velkor/value.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

// A char row from bytes read as signed codes; unlike TM it keeps zero bytes
// (a "%c" of 0 is a character of the result).
Mm text_value(const char* s, std::size_t n)
{
    if (n > static_cast<std::size_t>(INT32_MAX - 8)) {
        error("Out of memory!");
        return x_M;
    }
    Mm r(0, 0, 0, 1, static_cast<int>(n), qv_double);
    if (r.size() != static_cast<int>(n))
        return r;  // "Out of memory!" went to a hook that returned
    r.setstr(1);
    double* p = r.addr();
    for (std::size_t k = 0; k < n; ++k)
        p[k] = static_cast<signed char>(s[k]);
    return r;
}

// Reads the text of s: its rows joined by newlines.
Mm scan(const Mm& s, const Mm& format, const Mm& size, Mm& a, Mm& count, Mm& errmsg)
{
    const int n = Mstr_size(s);
    scratch<char> text(static_cast<std::size_t>(n));
    Mstr(s, text.get(), n);
    return format_scan(nullptr, text.get(), format, size, i_o, a, count, errmsg);
}

void set_next(Mm& next)
{
    if (!next.issamename(l_M_name))
        next = Mm(0.0);
}

} // namespace

Mm sprintf(const Mm& format) { return format; }

Mm sprintf(const Mm& format, const Mm& args)
{
    const std::string text = format_text_of(format);
    const bool list = args.gettype() == qv_cell && !args.isstruct();
    if (list && args.size() <= 0) {
        const std::string plain = unescape_format(text);
        return text_value(plain.data(), plain.size());
    }
    format_spec compiled(text);
    growing_buffer<char> out;
    if (list) {
        const Mm* values = args.getpr(static_cast<Mm*>(nullptr));
        for (int k = 0, n = args.size(); k < n; ++k)
            format_print(compiled, values[k], out);
    } else {
        format_print(compiled, args, out);
    }
    return text_value(out.data(), out.size());
}

Mm sscanf(const Mm&) { return Mm(error_input("sscanf", 1)); }

Mm sscanf(const Mm& s, const Mm& format) { return sscanf(s, format, Inf); }

Mm sscanf(const Mm& s, const Mm& format, const Mm& size)
{
    Mm a, count, errmsg;
    scan(s, format, size, a, count, errmsg);
    return a;
}

Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count)
{
    Mm errmsg;
    return scan(s, format, Inf, a, count, errmsg);
}

Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count, Mm& errmsg)
{
    return scan(s, format, Inf, a, count, errmsg);
}

Mm sscanf(const Mm& s, const Mm& format, i_o_t, Mm& a, Mm& count, Mm& errmsg, Mm& next)
{
    scan(s, format, Inf, a, count, errmsg);
    set_next(next);
    return x_M;
}

Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count)
{
    Mm errmsg;
    return scan(s, format, size, a, count, errmsg);
}

Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count, Mm& errmsg)
{
    return scan(s, format, size, a, count, errmsg);
}

Mm sscanf(const Mm& s, const Mm& format, const Mm& size, i_o_t, Mm& a, Mm& count, Mm& errmsg, Mm& next)
{
    scan(s, format, size, a, count, errmsg);
    set_next(next);
    return x_M;
}
