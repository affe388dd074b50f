// Value lists Mc: the bracket and brace expressions of compiled code, the
// list itself and its conversion into a matrix (with a direct fill for the
// common all-double case) or a cell.
#include "value/globals.hpp"
#include "value/mm_access.hpp"
#include "value/scratch.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/list.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// ---- the list ----

void Mc::heap_free::operator()(void* p) const noexcept { std::free(p); }

Mc::Mc() : slots(inline_slots), owned(inline_owned), capacity(inline_capacity), top(-1), mode(brace) {}

Mc::Mc(int list_mode, int own, const Mm& first)
    : slots(inline_slots), owned(inline_owned), capacity(inline_capacity), top(-1), mode(list_mode)
{
    append(&first, own ? 1 : 0);
}

Mc::Mc(const Mc& other)
    : slots(inline_slots), owned(inline_owned), capacity(inline_capacity), top(-1), mode(other.mode)
{
    if (other.capacity > inline_capacity) {
        while (capacity < other.capacity)
            grow();
    }
    for (int k = 0; k <= other.top; ++k) {
        slots[k] = other.slots[k];
        owned[k] = other.owned[k];
        other.owned[k] = 0;  // the copy deletes them now
    }
    top = other.top;
}

Mc::~Mc()
{
    for (int k = top; k >= 0; --k)
        if (owned[k]) {
            std::unique_ptr<Mm> drop(const_cast<Mm*>(slots[k]));
        }
}

Mc& Mc::operator=(const Mc&)
{
    error("Mc=Mc called");
    return *this;
}

void Mc::grow()
{
    const int wider = capacity * 2;
    std::unique_ptr<const Mm*, heap_free> s(static_cast<const Mm**>(std::malloc(sizeof(const Mm*) * wider)));
    std::unique_ptr<int, heap_free> o(static_cast<int*>(std::malloc(sizeof(int) * wider)));
    if (!s || !o) {
        error("Out of memory!");
        throw std::bad_alloc();
    }
    for (int k = 0; k <= top; ++k) {
        s.get()[k] = slots[k];
        o.get()[k] = owned[k];
    }
    heap_slots = std::move(s);
    heap_owned = std::move(o);
    slots = heap_slots.get();
    owned = heap_owned.get();
    capacity = wider;
}

void Mc::append(const Mm* x, int own)
{
    if (top + 1 >= capacity)
        grow();
    ++top;
    slots[top] = x;
    owned[top] = own;
}

void Mc::append_owned(std::unique_ptr<Mm> x)
{
    if (top + 1 >= capacity)
        grow();  // x is still held here should this fail
    ++top;
    slots[top] = x.release();
    owned[top] = 1;
}

Mc& Mc::operator,(const Mm& x)
{
    append(&x, 0);
    return *this;
}

Mc& Mc::operator,(const char* s)
{
    append_owned(std::make_unique<Mm>(TM(s)));
    return *this;
}

Mc& Mc::operator,(double v)
{
    append_owned(std::make_unique<Mm>(v));
    return *this;
}

namespace {

// A list whose first element the list makes and owns.
Mc list_of_owned(int mode, std::unique_ptr<Mm> first)
{
    Mc list(mode, 1, *first);
    first.release();
    return list;
}

} // namespace

Mc BR(const Mm& x) { return Mc(Mc::bracket, 0, x); }
Mc BR(const char* s) { return list_of_owned(Mc::bracket, std::make_unique<Mm>(TM(s))); }
Mc BR(double v) { return list_of_owned(Mc::bracket, std::make_unique<Mm>(v)); }

Mc CL(const Mm& x) { return Mc(Mc::brace, 0, x); }
Mc CL(const char* s) { return list_of_owned(Mc::brace, std::make_unique<Mm>(TM(s))); }
Mc CL(double v) { return list_of_owned(Mc::brace, std::make_unique<Mm>(v)); }

// ---- conversion ----

namespace {

inline bool is_separator(const Mm& x) noexcept { return semi_name && x.getname() == semi_name; }

inline bool is_spread(const Mm& x) noexcept
{
    const char* name = x.getname();
    return name && (std::strcmp(name, "varargin") == 0 || std::strcmp(name, "args") == 0);
}

// A brace list: each row of the list is a row of the cell, shorter rows
// padded with empty elements. Spread elements put their cell's elements in
// their place.
Mm list_to_cell(const Mc& list)
{
    const int n = list.count();
    std::int64_t total = 0;
    for (int k = 0; k < n; ++k) {
        const Mm& e = list.element(k);
        if (!is_spread(e)) {
            ++total;
            continue;
        }
        if (e.gettype() != qv_none && !iscell(e)) {
            error("%s must be cell array", "varargin");
            return x_M;
        }
        if (e.gettype() != qv_none)
            total += e.size();
    }
    if (total > INT_MAX - 8) {
        error("Out of memory!");
        return x_M;
    }
    scratch<const Mm*> entries(static_cast<std::size_t>(total));
    int m = 0;
    for (int k = 0; k < n; ++k) {
        const Mm& e = list.element(k);
        if (!is_spread(e))
            entries[m++] = &e;
        else if (e.gettype() != qv_none)
            for (int q = 0, c = e.size(); q < c; ++q)
                entries[m++] = e.getpr((Mm*)nullptr) + q;
    }

    // Every separator ends a row; the last element ends the last one.
    int rows = 0, cols = 0, width = 0;
    bool open = false;
    for (int k = 0; k < m; ++k) {
        if (is_separator(*entries[k])) {
            ++rows;
            cols = width > cols ? width : cols;
            width = 0;
            open = false;
        } else {
            ++width;
            open = true;
        }
    }
    if (open) {
        ++rows;
        cols = width > cols ? width : cols;
    }

    Mm out(0, 0, 0, rows, cols, qv_cell);
    if (out.size() != std::int64_t{rows} * cols)
        return x_M;
    Mm* elements = out.getpr((Mm*)nullptr);
    for (int k = 0, i = 0, j = 0; k < m; ++k) {
        const Mm& e = *entries[k];
        if (is_separator(e)) {
            ++i;
            j = 0;
            continue;
        }
        if (e.gettype() == qv_none)
            e.warn_uninit();  // the element stays empty should the hook return
        else
            elements[i + std::int64_t{j} * rows] = e;
        ++j;
    }
    return out;
}

// What the elements of a bracket list hold, and the shape of the direct
// fill when it applies.
struct bracket_survey {
    bool any_element = false;
    bool any_complex = false;
    bool any_text = false;
    bool all_logical = true;
    bool general = false;  // a type, sparsity, dimension or shape the direct fill does not take
    std::int64_t rows = 0;
    int cols = -1;
};

bracket_survey survey(const Mc& list)
{
    bracket_survey s;
    int height = 0, width = 0;
    bool row_has = false;
    auto close_row = [&] {
        if (row_has) {
            if (s.cols >= 0 && s.cols != width)
                s.general = true;
            s.cols = width;
            s.rows += height;
        }
        height = width = 0;
        row_has = false;
    };
    for (int k = 0, n = list.count(); k < n; ++k) {
        const Mm& e = list.element(k);
        if (is_separator(e)) {
            close_row();
            continue;
        }
        s.any_element = true;
        s.any_complex |= e.isc();
        s.any_text |= e.isstr() != 0;
        s.all_logical &= e.islogical() != 0;
        if (e.gettype() != qv_double || e.issparse() || e.getndims() > 2) {
            s.general = true;
            continue;
        }
        if (e.rows() == 0 || e.cols() == 0)
            continue;
        if (row_has && e.rows() != height)
            s.general = true;
        height = e.rows();
        width += e.cols();
        row_has = true;
        if (width > INT_MAX - 8)
            s.general = true;  // the concatenation reports the size
    }
    close_row();
    if (s.rows > INT_MAX - 8)
        s.general = true;
    return s;
}

// The fast path: every element a full 2-D double and the blocks fit; each
// block is copied straight into its place.
Mm fill_direct(const Mc& list, const bracket_survey& s)
{
    const int rows = static_cast<int>(s.rows), cols = s.cols < 0 ? 0 : s.cols;
    Mm out(s.any_complex, 0, 0, rows, cols, qv_double);
    if (out.size() != std::int64_t{rows} * cols)
        return x_M;
    double* re = out.addr();
    double* im = out.addi();
    int row0 = 0, col0 = 0, height = 0;
    for (int k = 0, n = list.count(); k < n; ++k) {
        const Mm& e = list.element(k);
        if (is_separator(e)) {
            row0 += height;
            col0 = 0;
            height = 0;
            continue;
        }
        const int r = e.rows(), c = e.cols();
        if (r == 0 || c == 0)
            continue;
        height = r;
        const std::ptrdiff_t at = row0 + std::ptrdiff_t{col0} * rows;
        const double* er = e.addr();
        const double* ei = e.addi();
        if (r == rows) {
            const std::size_t bytes = sizeof(double) * std::size_t(r) * c;
            std::memcpy(re + at, er, bytes);
            if (im) {
                if (ei)
                    std::memcpy(im + at, ei, bytes);
                else
                    std::memset(im + at, 0, bytes);
            }
        } else {
            for (int j = 0; j < c; ++j) {
                const std::ptrdiff_t to = at + std::ptrdiff_t{j} * rows, from = std::ptrdiff_t{j} * r;
                std::memcpy(re + to, er + from, sizeof(double) * r);
                if (im) {
                    if (ei)
                        std::memcpy(im + to, ei + from, sizeof(double) * r);
                    else
                        std::memset(im + to, 0, sizeof(double) * r);
                }
            }
        }
        col0 += c;
    }
    return out;
}

// The general path: each row joined left to right, the rows top to bottom,
// by the concatenation functions (which report size disagreements).
Mm join_list(const Mc& list)
{
    Mm result, row;
    bool row_has = false;
    auto close_row = [&] {
        if (!row_has)
            return;
        result = isempty(result) ? row : vertcat(result, row);
        row = Mm();
        row_has = false;
    };
    for (int k = 0, n = list.count(); k < n; ++k) {
        const Mm& e = list.element(k);
        if (is_separator(e)) {
            close_row();
            continue;
        }
        if (e.gettype() == qv_none) {
            e.warn_uninit();
            continue;
        }
        row = isempty(row) ? e : horzcat(row, e);
        row_has = true;
    }
    close_row();
    return result;
}

Mm list_to_matrix(const Mc& list)
{
    const bracket_survey s = survey(list);
    if (!s.any_element)
        return Mm();
    Mm out = s.general ? join_list(list) : fill_direct(list, s);
    // Text is held in doubles: a list that ends in bytes holds numbers.
    if (s.any_text && out.gettype() == qv_double)
        out.setstr(1);
    out.setlogical(s.all_logical);
    return out;
}

} // namespace

// Built in a local value first: a failure half way leaves nothing behind.
Mm::Mm(const Mc& list)
{
    Mm built = list.getmode() == Mc::bracket ? list_to_matrix(list) : list_to_cell(list);
    mm_access::adopt(*this, built);
}
