// Index references: the unevaluated x(i, j), x{i} and x.f of a compiled
// program, read by converting them to Mm and written by assigning to them.
#pragma once

#include "value.h"

#include <memory>

// The kind of an index reference; the values are the bracket characters.
enum Mr_idx_type : int {
    Mr_paren = 40,   // '(' element selection
    Mr_brace = 123,  // '{' cell contents
    Mr_field = 46,   // '.' struct field
    Mr_none = 63,    // '?' a default-constructed reference
};

// An index reference borrows its base, parent, field name and double index
// values: all of them must outlive it, as the temporaries of one expression
// do. So an Mr lives within its statement: `auto y = x(2, 3);` keeps an Mr
// whose index values are gone when the statement ends; write
// `Mm y = x(2, 3);` to take the value. Index values of any other element type are converted to double and
// owned by the reference.
class Mr {
public:
    Mr();
    // Borrows r's index values: the copy must not outlive r.
    Mr(const Mr& r);
    // x as a whole: x().
    explicit Mr(const Mm& x);
    // Field reference x.name, and the chained p.name.
    Mr(const Mm& x, const char* name);
    Mr(const Mr& p, const char* name);
    Mr(Mr_idx_type k, const Mm& x, const Mm& i1);
    Mr(Mr_idx_type k, const Mm& x, const Mm& i1, const Mm& i2);
    Mr(Mr_idx_type k, const Mm& x, const Mm& i1, const Mm& i2, const Mm& i3);
    Mr(Mr_idx_type k, const Mm& x, const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4);
    Mr(Mr_idx_type k, const Mr& p, const Mm& i1);
    Mr(Mr_idx_type k, const Mr& p, const Mm& i1, const Mm& i2);
    Mr(Mr_idx_type k, const Mr& p, const Mm& i1, const Mm& i2, const Mm& i3);
    Mr(Mr_idx_type k, const Mr& p, const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4);
    ~Mr();

    // Indexed assignment through the reference (and the chain above it).
    // With parentheses an empty y deletes the selected elements.
    void operator=(const Mm& y);
    // Reads r2 (errors reported) and assigns its value.
    void operator=(const Mr& r2);

    // Number of elements of the referenced value (errors reported).
    int size() const;

    // Chained references on this one.
    Mr operator()(const Mm& i1) const { return Mr(Mr_paren, *this, i1); }
    Mr operator()(const Mm& i1, const Mm& i2) const { return Mr(Mr_paren, *this, i1, i2); }
    Mr operator()(const Mm& i1, const Mm& i2, const Mm& i3) const { return Mr(Mr_paren, *this, i1, i2, i3); }
    Mr operator()(const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4) const
    {
        return Mr(Mr_paren, *this, i1, i2, i3, i4);
    }
    Mr br(const Mm& i1) const { return Mr(Mr_brace, *this, i1); }
    Mr br(const Mm& i1, const Mm& i2) const { return Mr(Mr_brace, *this, i1, i2); }
    Mr br(const Mm& i1, const Mm& i2, const Mm& i3) const { return Mr(Mr_brace, *this, i1, i2, i3); }
    Mr br(const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4) const
    {
        return Mr(Mr_brace, *this, i1, i2, i3, i4);
    }
    Mr member(const char* field) const { return Mr(*this, field); }

    // The record, read by the evaluation and assignment code.
    int getnidx() const noexcept { return nidx; }
    Mr_idx_type getkind() const noexcept { return kind; }
    const char* getfieldname() const noexcept { return field_name; }
    int ischained() const noexcept { return chained; }
    const Mm* getbase() const noexcept { return base; }
    const Mr* getparent() const noexcept { return parent; }
    // Index value k, counted from 0 (k below getnidx()).
    const Mm& getindex(int k) const noexcept { return *index[k]; }
    int isowned(int k) const noexcept { return held[k] != nullptr; }

private:
    void take_first_index(Mr_idx_type k, const Mm& i1);
    void take_indices(int n, const Mm* const* values);
    void take_index(int k, const Mm& i);
    void take_cell_index(const Mm& c);

    int nidx;
    Mr_idx_type kind;
    const char* field_name;
    int chained;
    const Mm* base;
    const Mr* parent;
    const Mm* index[4];
    std::unique_ptr<Mm> held[4];  // index values converted by this reference
};

// x(i) with a double index is the reference compiled code builds most: it
// is built here, and anything else is taken in out of line.
inline Mr::Mr(Mr_idx_type k, const Mm& x, const Mm& i1)
    : nidx(1), kind(k), field_name(nullptr), chained(0), base(&x), parent(nullptr),
      index{&i1, nullptr, nullptr, nullptr}
{
    if (i1.gettype() != qv_double)
        take_first_index(k, i1);
}

inline Mr::~Mr() = default;

// ---- the builders of Mm ----

inline Mr Mm::operator()() const { return Mr(*this); }
inline Mr Mm::operator()(const Mm& i1) const { return Mr(Mr_paren, *this, i1); }
inline Mr Mm::operator()(const Mm& i1, const Mm& i2) const { return Mr(Mr_paren, *this, i1, i2); }
inline Mr Mm::operator()(const Mm& i1, const Mm& i2, const Mm& i3) const { return Mr(Mr_paren, *this, i1, i2, i3); }
inline Mr Mm::operator()(const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4) const
{
    return Mr(Mr_paren, *this, i1, i2, i3, i4);
}
inline Mr Mm::br(const Mm& i1) const { return Mr(Mr_brace, *this, i1); }
inline Mr Mm::br(const Mm& i1, const Mm& i2) const { return Mr(Mr_brace, *this, i1, i2); }
inline Mr Mm::br(const Mm& i1, const Mm& i2, const Mm& i3) const { return Mr(Mr_brace, *this, i1, i2, i3); }
inline Mr Mm::br(const Mm& i1, const Mm& i2, const Mm& i3, const Mm& i4) const
{
    return Mr(Mr_brace, *this, i1, i2, i3, i4);
}
inline Mr Mm::member(const char* field) const { return Mr(*this, field); }
