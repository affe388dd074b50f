// Value display: disp, display and their pieces (headers, summaries, the
// cell and struct layouts, pages of 3-d and 4-d values), the short and long
// number layouts, celldisp, dump and the workspace description line.
#include "host/display.hpp"

#include "array/classes.hpp"
#include "engine/scalar_real.hpp"
#include "host/number_text.hpp"
#include "io/num2str.hpp"
#include "platform/modules.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/host.h"
#include "velkor/index.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <climits>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

int short_format = 1;

const char* class_name_of(const Mm& x)
{
    if (x.isstr())
        return "char";
    if (x.issparse())
        return "sparse";
    if (x.isstruct()) {
        if (x.getclassid() == 0)
            return "struct";
        const class_record* r = class_record_of_id(x.getclassid());
        return r ? r->name : "";
    }
    if (x.gettype() == qv_cell)
        return "cell";
    if (x.gettype() == qv_uint8)
        return "uint8";
    return "double";
}

long long value_bytes(const Mm& x)
{
    long long per = 0;
    switch (x.gettype()) {
    case qv_double:
        per = 8;
        break;
    case qv_uint8:
        per = 1;
        break;
    case qv_cell:
        per = static_cast<long long>(sizeof(Mm));
        break;
    default:
        break;
    }
    if (x.issparse())
        per += 4;
    return per * x.getnnz();
}

namespace {

std::string extents_text(const Mm& x)
{
    std::string t;
    for (int d = 0; d < x.getndims(); ++d) {
        if (d > 0)
            t += 'x';
        t += std::to_string(x.getdims()[d]);
    }
    return t;
}

} // namespace

std::string dims_and_class_text(const Mm& x) { return extents_text(x) + " " + class_name_of(x); }

std::string value_summary_text(const Mm& x)
{
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return "911";  // what is shown should the error hook return
    }
    if (x.size() == 1 && !x.isc() && !x.isstr() && isnumeric(x)) {
        double v;
        if (x.issparse())
            v = x.getnnz() > 0 ? x.addr()[0] : 0.0;
        else if (x.gettype() == qv_uint8)
            v = x.getpr((unsigned char*)nullptr)[0];
        else
            v = x.addr()[0];
        char text[64];
        std::snprintf(text, sizeof text, "%.4g", v);
        std::string s = text;
        normalize_infnan_text(v, s);
        return s;
    }
    if (x.isstr() && x.getndims() == 2 && x.rows() == 1 && x.cols() <= 16 && !x.issparse()) {
        std::string s;
        for (int k = 0; k < x.cols(); ++k)
            s += static_cast<char>(x.gettype() == qv_uint8 ? x.getpr((unsigned char*)nullptr)[k]
                                                           : double_to_byte(x.addr()[k]));
        return s;
    }
    return dims_and_class_text(x);
}

void whos_description(std::string& text, const Mm& x)
{
    const char* word = x.isstr() ? "" : x.isc() ? "complex" : "real";
    text += " (";
    text += extents_text(x);
    text += ")=" + std::to_string(x.size()) + " " + class_name_of(x) + " elements " + word + " (" +
            std::to_string(value_bytes(x)) + " bytes)";
}

// ---- disp and its layouts ----

namespace {

// The empty result x_M, or a copy sharing its storage, shows nothing.
bool is_empty_result(const Mm& x) { return x.getpr((void*)nullptr) == x_M.getpr((void*)nullptr); }

void print_line(std::string& line)
{
    line += '\n';
    qv_print_handler(line.c_str());
}

// Element k (from 0) of a cell, a struct or an object.
const Mm& element_of(const Mm& x, int k) { return x.getpr((Mm*)nullptr)[k]; }

// Field f of the first element of a struct; nop_M when its field list is
// not whole.
Mm first_field(const Mm& x, int f)
{
    if (x.size() < 1)
        return nop_M;
    const Mm& e = element_of(x, 0);
    if (e.gettype() != qv_cell || e.size() != x.getnfields())
        return nop_M;
    return element_of(e, f);
}

// disp of every page x(:,:,k), or x(:,:,l,k) of a 4-d x, under its heading.
void show_pages(const Mm& x)
{
    const int* d = x.getdims();
    if (x.getndims() == 3) {
        for (int k = 1; k <= d[2]; ++k) {
            qv_printf("(:,:,%d)\n", k);
            Mm page = x(c_p, c_p, Mm(static_cast<double>(k)));
            disp(page);
        }
        return;
    }
    for (int k = 1; k <= d[3]; ++k)
        for (int l = 1; l <= d[2]; ++l) {
            qv_printf("(:,:,%d,%d)\n", l, k);
            Mm page = x(c_p, c_p, Mm(static_cast<double>(l)), Mm(static_cast<double>(k)));
            disp(page);
        }
}

void show_cell(const Mm& x)
{
    if (x.getndims() > 2) {
        show_pages(x);
        return;
    }
    const int rows = x.rows(), cols = x.cols();
    if (x.size() <= 0) {
        qv_print_handler("{}\n");
        return;
    }
    // All cells of the display take the width of the longest summary.
    std::vector<std::string> summary(static_cast<std::size_t>(x.size()));
    std::size_t widest = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            std::string& s = summary[static_cast<std::size_t>(r + c * rows)];
            s = value_summary_text(element_of(x, r + c * rows));
            widest = std::max(widest, s.size());
        }
    std::string line;
    for (int r = 0; r < rows; ++r) {
        line.clear();
        for (int c = 0; c < cols; ++c) {
            const std::string& s = summary[static_cast<std::size_t>(r + c * rows)];
            line += '[';
            line += s;
            line += "] ";
            line.append(widest - s.size(), ' ');
        }
        print_line(line);
    }
}

void show_struct(const Mm& x)
{
    const int n = x.size();
    if (n > 1)
        qv_print_handler("field list:\n");
    for (int f = 0; f < x.getnfields(); ++f) {
        if (n == 1)
            qv_printf("  %s: [%s]\n", x.getfield(f), value_summary_text(first_field(x, f)).c_str());
        else
            qv_printf("  %s\n", x.getfield(f));
    }
}

void show_object(const Mm& x)
{
    if (is_class_function(class_name_of(x), "disp")) {
        call_class_function("disp", x);
        return;
    }
    qv_print_handler("field list:\n");
    for (int f = 0; f < x.getnfields(); ++f)
        qv_printf("%s\n", x.getfield(f));
}

// The rows of a 2-d text, each element truncated to a byte.
void show_text(const Mm& x)
{
    const Mm t = full(x);
    const int rows = t.rows(), cols = t.size() > 0 ? t.cols() : 0;
    std::string line;
    for (int r = 0; r < rows; ++r) {
        line.clear();
        for (int c = 0; c < cols; ++c) {
            const int k = r + c * rows;
            line += static_cast<char>(t.gettype() == qv_uint8 ? t.getpr((unsigned char*)nullptr)[k]
                                                              : double_to_byte(t.addr()[k]));
        }
        print_line(line);
    }
}

void show_numbers(const Mm& x)
{
    number_rows t = num2str_rows(x, short_format ? 4 : 12);
    if (t.failed)
        return;
    if (short_format)
        trim_leading_blank_columns(t.lines);
    for (std::string& line : t.lines)
        print_line(line);
}

} // namespace

Mm disp(const Mm& x)
{
    if (is_empty_result(x))
        return x_M;
    if (iscell(x))
        show_cell(x);
    else if (x.isstruct() && x.getclassid() == 0)
        show_struct(x);
    else if (isobject(x))
        show_object(x);
    else if (x.getndims() > 2)
        show_pages(x);
    else if (x.isstr())
        show_text(x);
    else
        show_numbers(x);
    return x_M;
}

Mm disp_header(const Mm& x)
{
    if (is_empty_result(x))
        return x_M;
    std::string line = x.getname() ? x.getname() : "ans";
    whos_description(line, x);
    line += " = \n";
    qv_print_handler(line.c_str());
    return x_M;
}

Mm display(const Mm& x)
{
    if (isobject(x) && is_class_function(class_name_of(x), "display")) {
        call_class_function("display", x);
        return x_M;
    }
    disp_header(x);
    disp(x);
    return x_M;
}

Mm celldisp(const Mm& x)
{
    if (!iscell(x)) {
        error("%s is not a cell array.", matrix_display_name(x));
        return x_M;
    }
    const char* name = x.getname() ? x.getname() : "ans";
    const int rows = x.rows();
    const int cols = rows > 0 ? x.size() / rows : 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            qv_printf("%s{%d,%d}\n", name, r + 1, c + 1);
            Mm e = element_of(x, r + c * rows);  // a copy: it has no name
            if (iscell(e))
                celldisp(e);
            else
                disp(e);
        }
    return x_M;
}

// ---- format ----

Mm format() { return format(TM("short")); }

Mm format(const Mm& word)
{
    // The word is read into 10 bytes: a longer one reads as no word.
    char text[10] = {};
    Mstr(word, text, sizeof text);
    if (Mstr_size(word) > static_cast<int>(sizeof text))
        text[0] = 0;
    short_format = (text[0] == 'l' || text[0] == 'L') ? 0 : 1;
    return x_M;
}

Mm format(const Mm& word, const Mm&) { return format(word); }

// ---- workspace lines and dump ----

void whos_line(const Mm& x)
{
    const char* name = x.getname();
    if (!name || !platform::readable(name, 16)) {
        qv_printf("whos: bad name pointer %016llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(name)));
        return;
    }
    std::string line = name;
    if (line.size() < 22)
        line.append(22 - line.size(), ' ');
    whos_description(line, x);
    line += '\n';
    qv_print_handler(line.c_str());
}

Mm get_whos_line(const Mm& x)
{
    std::string text;
    whos_description(text, x);
    return TM(text.c_str());
}

Mm dump(const Mm& x)
{
    const M_types& f = x.getflags();
    qv_printf("**dump of %s this = %lx persistent = %d global = %d\n", matrix_display_name(x),
              reinterpret_cast<unsigned long>(&x), f.persistent, f.global ? 1 : 0);
    qv_printf("pr = %lx pi = %lx index = %lx nnz = %d type = %d classid = %d class = %s\n",
              reinterpret_cast<unsigned long>(x.getpr((void*)nullptr)),
              reinterpret_cast<unsigned long>(x.getpi((void*)nullptr)),
              reinterpret_cast<unsigned long>(x.getindex()), x.getnnz(), x.gettype(), x.getclassid(),
              class_name_of(x));
    qv_printf("ndims = %d  dims = ", x.getndims());
    for (int d = 0; d < 4; ++d)
        qv_printf("%d ", x.getdims()[d]);
    qv_printf("str = %d sparse = %d logical = %d nfields = %d\n", f.str ? 1 : 0, f.sparse ? 1 : 0, f.logical ? 1 : 0,
              x.getnfields());
    if (x.getnfields() > 0) {
        qv_print_handler("fields: ");
        for (int k = 0; k < x.getnfields(); ++k)
            qv_printf("%s ", x.getfield(k));
        qv_print_handler("\n");
    }
    return x_M;
}
