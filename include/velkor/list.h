// Value lists: the bracket [a, b; c] and brace {a, b; c} expressions of a
// compiled program, written as (BR(a), b, semi, c) and (CL(a), b, semi, c)
// and turned into a matrix or a cell by converting the list to Mm.
#pragma once

#include "value.h"

#include <memory>

// A list of values. Elements given as Mm references are borrowed: they must
// outlive the list, as the temporaries of one full expression do. Elements
// given as text or a number are made by the list and owned by it. The global
// marker semi separates rows; an element named "varargin" or "args" in a
// brace list is spread into the elements of the cell it holds.
class Mc {
public:
    enum list_mode : int { bracket = 0, brace = 1 };

    // An empty brace list.
    Mc();
    // A list of one element. With owned non-zero the list takes first over:
    // it must have been made with new, and the list deletes it.
    Mc(int mode, int owned, const Mm& first);
    // Takes over the elements and their ownership: the source keeps
    // pointing at them but no longer deletes them.
    Mc(const Mc& other);
    ~Mc();
    // Lists are not assigned: raises "Mc=Mc called".
    Mc& operator=(const Mc& other);

    Mc& operator,(const Mm& x);
    Mc& operator,(const char* s);
    Mc& operator,(double v);
    // Keeps (list, 0) from being read as a null text pointer.
    Mc& operator,(int v) { return operator,(static_cast<double>(v)); }

    int getmode() const noexcept { return mode; }
    // Index of the last element, -1 for an empty list.
    int gettop() const noexcept { return top; }
    int count() const noexcept { return top + 1; }
    int getcapacity() const noexcept { return capacity; }
    // Element k, counted from 0 (k below count()).
    const Mm& element(int k) const noexcept { return *slots[k]; }
    int isowned(int k) const noexcept { return owned[k]; }

private:
    static constexpr int inline_capacity = 16;

    struct heap_free {
        void operator()(void* p) const noexcept;
    };

    void append(const Mm* x, int own);
    void append_owned(std::unique_ptr<Mm> x);
    void grow();

    const Mm* inline_slots[inline_capacity];
    int inline_owned[inline_capacity];
    const Mm** slots;
    int* owned;
    int capacity;
    int top;
    int mode;
    // The larger arrays once the list outgrows the inline ones.
    std::unique_ptr<const Mm*, heap_free> heap_slots;
    std::unique_ptr<int, heap_free> heap_owned;
};

// A bracket list (a matrix once converted) starting with one element.
Mc BR(const Mm& x);
Mc BR(const char* s);
Mc BR(double v);
inline Mc BR(int v) { return BR(static_cast<double>(v)); }

// A brace list (a cell once converted) starting with one element.
Mc CL(const Mm& x);
Mc CL(const char* s);
Mc CL(double v);
inline Mc CL(int v) { return CL(static_cast<double>(v)); }
