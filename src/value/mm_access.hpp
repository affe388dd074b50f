// Raw access to the fields of Mm for the library's own builders (the
// operation engine, indexing): shaped allocation into an existing value and
// handing a value's storage on without counting. Keep its use rare.
#pragma once

#include "velkor/runtime.h"
#include "velkor/value.h"

#include <cstddef>

struct mm_access {
    // A value without storage (the start of every builder).
    static Mm storageless() noexcept { return Mm(Mm::storageless_tag{}); }

    // Gives x (without storage) fresh full storage of the given shape; the
    // elements are not initialised.
    static void shape(Mm& x, int complex, int nd, const int* dims, qv_matrix_types type)
    {
        x.init_shaped(complex, 0, 0, nd, dims, type);
    }

    // Gives x (without storage) fresh full storage shaped like a full value;
    // the elements are not initialised.
    static void shape_like(Mm& x, int complex, const Mm& like, qv_matrix_types type)
    {
        x.init_like(complex, like, type);
    }

    // Moves the content of from into to, a value under construction whose
    // fields are not set yet, as the copy constructor would take it (no
    // name, scope link, persistent or global mark). from is left without
    // storage or name, so its destructor releases nothing.
    static void adopt(Mm& to, Mm& from) noexcept
    {
        to.adopt(from);
        to.name = nullptr;
        to.scope_link = nullptr;
        to.flags.persistent = 0;
        to.flags.global = 0;
        from.name = nullptr;
    }

    // A full rows x cols value with room spare elements past its count, for
    // a value that grows: its next growth within the room copies nothing.
    static Mm with_room(int complex, int rows, int cols, qv_matrix_types type, int room)
    {
        Mm x(Mm::storageless_tag{});
        const int dims[2] = {rows, cols};
        x.init_shaped(complex, 0, 0, 2, dims, type, room);
        return x;
    }

    // The field values of one struct element: an nfields x 1 cell of empty
    // values without spare room. A struct array holds one per element and
    // never grows one in place (a new field rebuilds them all), so room
    // would only take memory, record after record.
    static Mm field_list(int nfields) { return with_room(0, nfields, 1, qv_cell, 0); }

    // Gives x, an unshared full real double or uint8 value, room for
    // `capacity` elements in a block of its own, keeping its elements; the
    // allocator extends the block in place where it can. False when the
    // block cannot grow: x is then unchanged.
    static bool regrow(Mm& x, int capacity) noexcept
    {
        x.settle();
        if (!x.refcount || x.dirty() != 0 || x.pi || x.index || x.fields || x.flags.sparse ||
            (x.flags.type != qv_double && x.flags.type != qv_uint8) || capacity < x.capacity)
            return false;
        const std::size_t width = x.flags.type == qv_uint8 ? 1 : sizeof(double);
        const std::size_t data = (std::size_t(capacity) * width + 7) & ~std::size_t{7};
        char* block = static_cast<char*>(qv_realloc(x.pr, data + 8));  // and the count word
        if (!block)
            return false;
        x.pr = block;
        x.refcount = reinterpret_cast<int*>(block + data);
        *x.refcount = 1;
        x.capacity = capacity;
        return true;
    }

    // The row a, a + 1, ..., a + n - 1 of a whole number a (|a| + n below
    // 2^53, so every element is exact). A long one is made without writing
    // its elements: they are written when first read (Mm::settle).
    static Mm whole_range(double a, int n);
    static void write_whole_run(double* p, double a, int n) noexcept;
    // Whether x is a whole-number range whose elements are not written yet,
    // and then its first element: an index that is one selects a run
    // without anyone reading or writing its elements.
    static bool unwritten_whole_range(const Mm& x, double& start) noexcept;

    // The element of a value of one element, which is never deferred: read
    // without the settle step every other access takes.
    static double single_element(const Mm& x) noexcept { return *static_cast<const double*>(x.pr); }

    // The 1x1 logical 0 or 1 of a comparison of two scalars. It shares one
    // of two never-freed blocks, so making it allocates nothing; like every
    // shared block, it is made private before anything writes to it.
    static Mm truth(bool v) noexcept;

    // What the header check reads without settling a deferred value.
    static int shared_count(const Mm& x) noexcept { return x.refcount ? x.dirty() + 1 : 0; }
    static bool unwritten(const Mm& x) noexcept { return __atomic_load_n(&x.elements_unwritten, __ATOMIC_RELAXED) != 0; }
    static const void* raw_elements(const Mm& x) noexcept { return x.pr; }

    // Why x's header disagrees with its storage or with itself (extents,
    // element count, room, flags, sparse positions, struct elements), or
    // null when it is sound. Cells and structs are checked element by
    // element; elements not written yet are not read.
    static const char* header_fault(const Mm& x) noexcept;

    // The empty double every new cell element starts from: it shares one
    // never-freed block, so making it allocates nothing and cannot fail.
    static Mm empty_element() noexcept
    {
        Mm e(Mm::storageless_tag{});
        e.share_empty_block();
        return e;
    }
};
