// The value type Mm: storage blocks with a shared reference count, every
// constructor, copy, assignment and destruction.
#include "value/globals.hpp"
#include "value/mm_access.hpp"
#include "value/runtime.hpp"
#include "value/report.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/runtime.h"
#include "velkor/value.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include <sched.h>

namespace {

// Where a value without storage points its data: nothing is ever read from
// or written to it, but pointer arithmetic and zero-length copies stay valid.
alignas(16) double storageless_area[2];

constexpr std::int64_t max_count = INT_MAX - 8;

// The storage every new cell element starts with: an empty double that is
// never freed. Its count starts far above any possible number of holders,
// so copy-on-write always treats it as shared and no holder frees it; making
// and dropping a cell then touches only the element headers.
struct alignas(16) empty_double_block {
    double data[2];
    int count;
};
empty_double_block shared_empty{{0, 0}, 1 << 30};

// The same for the scalar results of comparisons: false and true.
empty_double_block shared_truth[2] = {{{0, 0}, 1 << 30}, {{1, 0}, 1 << 30}};

// Whether a deferred value's elements are written (Mm::settle): the word
// after the count, shared by every holder of the block.
enum : int { elements_written = 0, elements_pending = 1, elements_writing = 2 };

int* elements_state(int* count) noexcept { return count + 1; }

// n shares more (or fewer) of a block, interlocked in multi-thread mode.
inline void add_shares(int* count, int n) noexcept
{
    if (qv_mt_mode)
        __atomic_add_fetch(count, n, __ATOMIC_ACQ_REL);
    else
        *count += n;
}

inline std::size_t align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

inline std::size_t element_width(int type)
{
    return type == qv_uint8 ? 1 : type == qv_cell ? sizeof(Mm) : sizeof(double);
}

inline bool is_out_of_memory_count(std::int64_t n) { return n > max_count; }

// The product of n extents (negative ones count as 0), or limit + 1 once it
// passes limit: four int extents would overflow even 64 bits.
std::int64_t checked_count(const int* extents, int n, std::int64_t limit)
{
    for (int k = 0; k < n; ++k)
        if (extents[k] <= 0)
            return 0;
    std::int64_t count = 1;
    for (int k = 0; k < n; ++k) {
        count *= extents[k];
        if (count > limit)
            return limit + 1;
    }
    return count;
}

} // namespace

// ---- storage ----

void Mm::retain() const noexcept
{
    if (!refcount)
        return;
    if (qv_mt_mode)
        atomic_inc(refcount);
    else
        ++*refcount;
}

void Mm::share_empty_block() noexcept
{
    refcount = &shared_empty.count;
    pr = shared_empty.data;
    retain();
}

Mm mm_access::truth(bool v) noexcept
{
    Mm t(Mm::storageless_tag{});
    t.dims[0] = t.dims[1] = t.dims[2] = t.dims[3] = 1;
    t.nnz = 1;
    t.capacity = 1;
    t.refcount = &shared_truth[v].count;
    t.pr = shared_truth[v].data;
    t.flags.logical = 1;
    t.retain();
    return t;
}

void Mm::make_storageless() noexcept
{
    ndims = 2;
    dims[0] = dims[1] = dims[2] = dims[3] = 0;
    capacity = 0;
    refcount = nullptr;
    pr = storageless_area;
    pi = nullptr;
    nnz = 0;
    elements_unwritten = 0;
    index = nullptr;
    fields = nullptr;
    nfields = 0;
    classid = 0;
}

// Allocates the block for nnz elements of the current type. On failure
// nothing is held and false is returned; the caller raises the error.
bool Mm::try_allocate(int complex, int room)
{
    if (nnz <= 0) {
        dims[0] = dims[1] = dims[2] = dims[3] = 0;
        nnz = 0;
    }
    fields = nullptr;
    nfields = 0;
    classid = 0;
    index = nullptr;
    pi = nullptr;
    elements_unwritten = 0;
    if (flags.type == qv_cell) {
        capacity = nnz + (room < 0 ? 4 : room);
        Mm* elements = static_cast<Mm*>(qv_malloc(std::size_t(capacity) * sizeof(Mm)));
        int* count = static_cast<int*>(qv_malloc(8));
        if (!elements || !count) {
            qv_free(elements);
            qv_free(count);
            return false;
        }
        // The elements are written when something first reaches them.
        pr = elements;
        refcount = count;
        *elements_state(count) = elements_pending;
        elements_unwritten = 1;
    } else {
        capacity = nnz + (room < 0 ? 8 : room);
        std::size_t part = std::size_t(capacity) * element_width(flags.type);
        std::size_t data = align8(complex ? 2 * part : part);
        char* block = static_cast<char*>(qv_malloc(data + 8));
        if (!block)
            return false;
        pr = block;
        if (complex)
            pi = block + part;
        refcount = reinterpret_cast<int*>(block + data);
    }
    *refcount = 1;
    if (flags.sparse) {
        index = static_cast<int*>(qv_malloc(std::size_t(capacity) * sizeof(int)));
        if (!index) {
            free_block();
            return false;
        }
    }
    return true;
}

// Allocates, or raises "Out of memory!". Should the error hook return, the
// value is left a valid empty 0x0 double.
void Mm::allocate(int complex, int room)
{
    if (try_allocate(complex, room))
        return;
    make_storageless();
    error("Out of memory!");
    init_empty(qv_double);
}

void Mm::init_empty(qv_matrix_types type)
{
    flags.sparse = 0;
    flags.type = type;
    ndims = 2;
    dims[0] = dims[1] = dims[2] = dims[3] = 0;
    nnz = 0;
    if (!try_allocate(0))
        make_storageless();
}

void Mm::free_block() noexcept
{
    if (flags.type == qv_cell && __atomic_load_n(elements_state(refcount), __ATOMIC_ACQUIRE) != elements_pending) {
        // Elements still on the shared empty block (unnamed, like every
        // element) give their shares back in one step.
        Mm* elements = static_cast<Mm*>(pr);
        int on_shared = 0;
        for (int k = 0; k < capacity; ++k) {
            if (elements[k].refcount == &shared_empty.count && !elements[k].name)
                ++on_shared;
            else
                elements[k].~Mm();
        }
        add_shares(&shared_empty.count, -on_shared);
    }
    if (flags.type == qv_cell)
        qv_free(refcount);
    // The name array goes with the block, even when its last name was removed.
    if (fields) {
        for (int k = 0; k < nfields; ++k)
            qv_free(fields[k]);
        qv_free(fields);
    }
    if (index)
        qv_free(index);
    qv_free(pr);  // for numeric values the count word lives at the end of this block
}

// Drops this holder's share; frees the block when it was the last one.
bool Mm::release() noexcept
{
    if (!refcount)
        return false;
    int left = qv_mt_mode ? atomic_dec(refcount) : --*refcount;
    if (left != 0)
        return false;
    free_block();
    return true;
}

// Takes over from's storage, shape and flags; from is left without storage.
// This value must hold no storage of its own.
void Mm::adopt(Mm& from) noexcept
{
    ndims = from.ndims;
    for (int k = 0; k < 4; ++k)
        dims[k] = from.dims[k];
    capacity = from.capacity;
    refcount = from.refcount;
    pr = from.pr;
    pi = from.pi;
    nnz = from.nnz;
    elements_unwritten = __atomic_load_n(&from.elements_unwritten, __ATOMIC_RELAXED);
    index = from.index;
    fields = from.fields;
    nfields = from.nfields;
    classid = from.classid;
    flags = from.flags;
    from.make_storageless();
}

// ---- deferred elements ----
//
// A new cell's elements and a long whole-number range's elements are written
// when something first reaches them (Mm::settle). A range's first element
// and count wait in the last two slots of the block's room, which nothing
// writes before the elements are (growth writes elements first). The first
// to reach the elements writes them; a thread meeting another at work waits
// for it.

namespace {

// Below this many elements writing them costs less than deferring them.
constexpr int deferred_range_min = 64;

} // namespace

void mm_access::write_whole_run(double* p, double a, int n) noexcept
{
    // Whole numbers: the running sum is exact; two lanes at a time.
    using lanes = double __attribute__((vector_size(16)));
    const lanes two = {2, 2};
    lanes next = {a, a + 1};
    int k = 0;
    for (; k + 2 <= n; k += 2) {
        std::memcpy(p + k, &next, sizeof next);
        next += two;
    }
    if (k < n)
        p[k] = a + k;
}

Mm mm_access::whole_range(double a, int n)
{
    Mm out(0, 0, 0, 1, n, qv_double);
    if (out.nnz != n || n <= 0)
        return out;  // "Out of memory!" went to a hook that returned
    double* p = static_cast<double*>(out.pr);
    if (n < deferred_range_min || out.capacity - n < 2) {
        write_whole_run(p, a, n);
        return out;
    }
    p[out.capacity - 2] = a;
    p[out.capacity - 1] = n;
    *elements_state(out.refcount) = elements_pending;
    out.elements_unwritten = 1;
    return out;
}

bool mm_access::unwritten_whole_range(const Mm& x, double& start) noexcept
{
    if (x.flags.type != qv_double || !__atomic_load_n(&x.elements_unwritten, __ATOMIC_RELAXED) ||
        __atomic_load_n(elements_state(x.refcount), __ATOMIC_ACQUIRE) != elements_pending)
        return false;
    // The description is only ever read once made, so another thread
    // writing the elements meanwhile does not disturb it.
    start = static_cast<const double*>(x.pr)[x.capacity - 2];
    return true;
}

void Mm::write_elements() const noexcept
{
    int* state = elements_state(refcount);
    int expected = elements_pending;
    if (__atomic_compare_exchange_n(state, &expected, elements_writing, false, __ATOMIC_ACQUIRE, __ATOMIC_ACQUIRE)) {
        if (flags.type == qv_cell) {
            // Every element is the same header on the shared empty block:
            // built once, copied into each slot, and counted in one step.
            Mm proto(storageless_tag{});
            proto.refcount = &shared_empty.count;
            proto.pr = shared_empty.data;
            Mm* elements = static_cast<Mm*>(pr);
            for (int k = 0; k < capacity; ++k)
                std::memcpy(static_cast<void*>(elements + k), static_cast<const void*>(&proto), sizeof(Mm));
            add_shares(&shared_empty.count, capacity);
            proto.refcount = nullptr;  // its share was never counted
        } else {
            double* p = static_cast<double*>(pr);
            mm_access::write_whole_run(p, p[capacity - 2], static_cast<int>(p[capacity - 1]));
        }
        __atomic_store_n(state, elements_written, __ATOMIC_RELEASE);
    } else {
        while (__atomic_load_n(state, __ATOMIC_ACQUIRE) != elements_written)
            sched_yield();
    }
    __atomic_store_n(&elements_unwritten, 0, __ATOMIC_RELAXED);
}

// ---- constructors ----

Mm::Mm(storageless_tag) noexcept : name(nullptr), scope_link(nullptr), flags{}
{
    make_storageless();
    flags.type = qv_double;
}

Mm::Mm() : name(nullptr), scope_link(nullptr), flags{}
{
    flags.type = qv_double;
    ndims = 2;
    dims[0] = dims[1] = dims[2] = dims[3] = 0;
    nnz = 0;
    allocate(0);
}

void Mm::init_shaped(int complex, int sparse, int nzmax, int nd, const int* extents, qv_matrix_types type, int room)
{
    name = nullptr;
    scope_link = nullptr;
    flags = M_types{};
    flags.type = type;
    flags.sparse = sparse ? 1 : 0;
    if (nd > 4)
        nd = 4;
    if (nd > 0 && !extents) {
        make_storageless();
        error("Mm: the extents are a null pointer");
        init_empty(qv_double);
        return;
    }
    int given[4] = {1, 1, 1, 1};
    for (int k = 0; k < nd; ++k)
        given[k] = extents[k];
    ndims = nd < 2 ? 2 : nd;
    while (ndims > 2 && given[ndims - 1] == 1)
        --ndims;

    if (!sparse) {
        for (int k = 0; k < 4; ++k)
            dims[k] = k < ndims ? given[k] : 1;
        const std::int64_t count = checked_count(dims, 4, max_count);
        if (is_out_of_memory_count(count)) {
            make_storageless();
            error("Out of memory!");
            init_empty(qv_double);
            return;
        }
        nnz = static_cast<int>(count);
        if (room > max_count - count)
            room = static_cast<int>(max_count - count);
        allocate(complex, room);
        return;
    }

    // Sparse: storage for nzmax entries; positions are row + column x rows
    // in an int, so the element count must fit.
    const std::int64_t cells = checked_count(given, ndims, INT_MAX);
    if (nzmax < 0)
        nzmax = 0;
    if (cells > INT_MAX) {
        // The limit is the layout's (an int position per entry), not memory's.
        make_storageless();
        double cols = 1;
        for (int k = 1; k < ndims; ++k)
            cols *= given[k];
        report_sparse_too_large(given[0], cols);
        init_empty(qv_double);
        return;
    }
    if (nzmax > max_count) {
        make_storageless();
        error("Out of memory!");
        init_empty(qv_double);
        return;
    }
    dims[0] = nzmax;
    dims[1] = dims[2] = dims[3] = 1;
    nnz = nzmax;
    allocate(complex);
    if (!flags.sparse)
        return;  // allocation failed under a returning hook
    for (int k = 0; k < 4; ++k) {
        if (k < ndims)
            dims[k] = given[k] < 0 ? 0 : given[k];
        else
            dims[k] = dims[0] > 0 ? 1 : 0;
    }
    if (nnz > cells)
        nnz = static_cast<int>(cells);
}

// The shape of a full value is already normalised: copy it as it stands.
void Mm::init_like(int complex, const Mm& like, qv_matrix_types type)
{
    name = nullptr;
    scope_link = nullptr;
    flags = M_types{};
    flags.type = type;
    ndims = like.ndims;
    for (int k = 0; k < 4; ++k)
        dims[k] = like.dims[k];
    nnz = like.size();
    allocate(complex);
}

Mm::Mm(int complex, int sparse, int nzmax, int nd, const int* const extents, qv_matrix_types type)
{
    init_shaped(complex, sparse, nzmax, nd, extents, type);
}

Mm::Mm(int complex, int sparse, int nzmax, int rows, int cols, qv_matrix_types type)
{
    const int extents[2] = {rows, cols};
    init_shaped(complex, sparse, nzmax, 2, extents, type);
}

Mm::Mm(i_o_t, const char* variable, int global) : name(nullptr), scope_link(nullptr), flags{}
{
    init_empty(qv_double);
    flags.type = qv_none;
    flags.scalar_var = 1;
    flags.global = global;
    name = variable;
    if (scope_tracking) {
        try {
            variables_scope.scope_register(this, 0);
        } catch (...) {
            release();
            throw;
        }
    }
}

Mm::Mm(const char* variable, int r, int c) : Mm(0, 0, 0, r, c, qv_double)
{
    name = variable;
}

Mm::Mm(double v) : name(nullptr), scope_link(nullptr), flags{} { init_real_scalar(v); }

// The value compiled code makes most, sized without the general arithmetic.
// The flag block must be clear on entry.
void Mm::init_real_scalar(double v)
{
    constexpr int slots = 1 + 8;
    constexpr std::size_t data = slots * sizeof(double);
    flags.type = qv_double;
    flags.scalar_var = 1;
    ndims = 2;
    dims[0] = dims[1] = dims[2] = dims[3] = 1;
    nnz = 1;
    capacity = slots;
    index = nullptr;
    fields = nullptr;
    nfields = 0;
    classid = 0;
    pi = nullptr;
    char* block = static_cast<char*>(qv_malloc(data + 8));  // the count word, as every numeric block has
    if (__builtin_expect(!block, 0)) {
        make_storageless();
        error("Out of memory!");
        init_empty(qv_double);
        return;
    }
    pr = block;
    refcount = reinterpret_cast<int*>(block + data);
    *refcount = 1;
    *static_cast<double*>(pr) = v;
}

Mm::Mm(const Mm& x) noexcept
    : ndims(x.ndims), dims{x.dims[0], x.dims[1], x.dims[2], x.dims[3]}, capacity(x.capacity),
      refcount(x.refcount), pr(x.pr), pi(x.pi), nnz(x.nnz), elements_unwritten(__atomic_load_n(&x.elements_unwritten, __ATOMIC_RELAXED)), index(x.index),
      name(nullptr),
      fields(x.fields), nfields(x.nfields), classid(x.classid), scope_link(nullptr), flags(x.flags)
{
    flags.persistent = 0;
    flags.global = 0;
    retain();
}

Mm::Mm(const Mm& x, const char* variable) noexcept : Mm(x)
{
    name = variable;
    flags.global = x.flags.global;
}

Mm::~Mm()
{
    if (scope_tracking && name) {
        try {
            variables_scope.scope_unregister(this);
        } catch (...) {
            // A destructor cannot report; the registry keeps what it had.
        }
    }
    ndims = -1;
    if (release() && flags.scalar_var && nnz == 1 && name && (qv_default_error_flags & 0x8))
        qv_debug_handler('s', name);
}

Mm::Mm(Mm&& x) noexcept
    : ndims(x.ndims), dims{x.dims[0], x.dims[1], x.dims[2], x.dims[3]}, capacity(x.capacity),
      refcount(x.refcount), pr(x.pr), pi(x.pi), nnz(x.nnz), elements_unwritten(__atomic_load_n(&x.elements_unwritten, __ATOMIC_RELAXED)), index(x.index),
      name(nullptr),
      fields(x.fields), nfields(x.nfields), classid(x.classid), scope_link(nullptr), flags(x.flags)
{
    flags.persistent = 0;
    flags.global = 0;
    x.make_storageless();
    x.flags.type = qv_double;
    x.flags.sparse = x.flags.str = x.flags.logical = 0;
}

// What assignment keeps of the target: its name, scope link, persistent
// and global words, and the scalar-variable mark while it stays true.
void Mm::keep_own_words(const char* own_name, Mm* own_link, int own_scalar, int own_persistent,
                        int own_global) noexcept
{
    name = own_name;
    scope_link = own_link;
    flags.persistent = own_persistent;
    flags.global = own_global;
    flags.scalar_var = own_scalar && !flags.sparse && flags.type == qv_double && !pi && nnz == 1;
}

// x = y of plain real 1x1 doubles into an unshared 1x1 block: the element
// is written where it is, as the general path would leave it.
inline bool Mm::assign_scalar_in_place(const Mm& x) noexcept
{
    if (!(refcount && dirty() == 0 && x.refcount && flags.type == qv_double && x.flags.type == qv_double &&
          nnz == 1 && x.nnz == 1 && ndims == 2 && x.ndims == 2 && dims[0] == 1 && dims[1] == 1 &&
          x.dims[0] == 1 && x.dims[1] == 1 && !pi && !x.pi && !flags.sparse && !x.flags.sparse && !fields &&
          !x.fields && !classid && !x.classid))
        return false;
    *static_cast<double*>(pr) = *static_cast<const double*>(x.pr);
    // Of the flag words only these two can differ between two plain real
    // scalars; the rest are the target's own, which assignment keeps (word
    // by word: a block copy of words just written one at a time stalls).
    flags.str = x.flags.str;
    flags.logical = x.flags.logical;
    flags.scalar_var = flags.scalar_var != 0;
    return true;
}

Mm failed_access_sink = mm_access::storageless();

Mm& Mm::operator=(const Mm& x)
{
    if (this == &x || this == &failed_access_sink)
        return *this;
    if (assign_scalar_in_place(x))
        return *this;
    // Hold the source first: it may live inside this value's own storage
    // (a cell element assigned to its cell), which the release below frees.
    Mm keep(x);
    const char* own_name = name;
    Mm* own_link = scope_link;
    const int own_scalar = flags.scalar_var, own_persistent = flags.persistent, own_global = flags.global;
    release();
    adopt(keep);  // the share passes to this value
    keep_own_words(own_name, own_link, own_scalar, own_persistent, own_global);
    return *this;
}

Mm& Mm::operator=(Mm&& x) noexcept
{
    if (this == &x || this == &failed_access_sink)
        return *this;
    if (assign_scalar_in_place(x))
        return *this;
    Mm keep(static_cast<Mm&&>(x));  // x may live inside this value's storage
    const char* own_name = name;
    Mm* own_link = scope_link;
    const int own_scalar = flags.scalar_var, own_persistent = flags.persistent, own_global = flags.global;
    release();
    adopt(keep);
    keep_own_words(own_name, own_link, own_scalar, own_persistent, own_global);
    return *this;
}

void* Mm::operator new(std::size_t size)
{
    void* p = qv_malloc(size);
    if (!p) {
        error("Out of memory!");
        throw std::bad_alloc();
    }
    return p;
}

void Mm::operator delete(void* p) noexcept { qv_free(p); }

void Mm::setname(const char* variable)
{
    name = variable;
    if (scope_tracking)
        variables_scope.scope_register(this, 0);
}
