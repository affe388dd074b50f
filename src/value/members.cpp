// Member operations of Mm beyond construction: converted private copies,
// shape queries, bounds-tested element access, struct field names and the
// upkeep of sparse storage.
#include "engine/scalar_real.hpp"
#include "value/globals.hpp"
#include "value/report.hpp"
#include "value/scratch.hpp"
#include "value/sparse_storage.hpp"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/runtime.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <numeric>

namespace {

// Unused slots of a field-name array point here; the array ends in null.
char placeholder_name[] = "char";

// What a bounds-tested accessor hands out after a failed check whose error
// hook returned: never an element outside the value.
thread_local double scratch_double;
thread_local unsigned char scratch_byte;

Mm& scratch_cell() { return failed_access_sink; }

char* copy_name(const char* name)
{
    std::size_t n = std::strlen(name);
    char* c = static_cast<char*>(qv_malloc(n + 1));
    if (!c) {
        error("Out of memory!");
        throw std::bad_alloc();
    }
    std::memcpy(c, name, n + 1);
    return c;
}

inline bool is_zero_part(double v) { return v == 0; }

// Converts n source elements of one storage kind into another.
template <class To, class From>
void convert_elements(To* out, const From* in, int n);

template <>
void convert_elements(double* out, const double* in, int n)
{
    if (n > 0)
        std::memcpy(out, in, sizeof(double) * n);
}
template <>
void convert_elements(double* out, const unsigned char* in, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = in[k];
}
template <>
void convert_elements(unsigned char* out, const double* in, int n)
{
    for (int k = 0; k < n; ++k)
        out[k] = double_to_byte(in[k]);
}
template <>
void convert_elements(unsigned char* out, const unsigned char* in, int n)
{
    if (n > 0)
        std::memcpy(out, in, n);
}

template <class To>
void fill_zero(To* out, int n)
{
    if (n > 0)
        std::memset(out, 0, sizeof(To) * n);
}

} // namespace

// ---- conversion and sharing ----

void Mm::deepcopy(int complex, int sparse, const Mm& src, qv_matrix_types type)
{
    if (type == qv_none)
        type = static_cast<qv_matrix_types>(src.flags.type);
    if (type == qv_cell)
        complex = 0;  // cells have no imaginary storage: the real parts become the elements
    src.settle();
    const int n = src.nnz;
    // A full copy of a sparse source scatters its stored elements.
    const bool scatter = !sparse && src.flags.sparse;
    if ((type == qv_double || type == qv_uint8) && src.flags.type == qv_cell) {
        error("Can not convert %s into a numeric matrix", matrix_display_name(src));
        return;
    }
    // A full copy of a sparse value is its full form, held to that form's
    // limit (sort, double and the set functions make sparse values full).
    if (scatter && refuse_full_form(std::int64_t{src.rows()} * src.cols()))
        return;

    Mm out(complex, sparse, n, src.ndims, src.dims, type);
    if (out.flags.type != type || out.flags.sparse != (sparse ? 1 : 0) || (!sparse && out.size() != src.size()))
        return;  // "Out of memory!" went to a hook that returned: unchanged
    const int m = out.nnz;
    const int count = scatter ? 0 : std::min(n, m);
    const bool src_typed = src.flags.type == qv_double || src.flags.type == qv_uint8 || src.flags.type == qv_cell;

    if (type == qv_double || type == qv_uint8 || type == qv_none) {
        auto fill = [&](auto* re, auto* im) {
            using T = std::remove_pointer_t<decltype(re)>;
            fill_zero(re, m);
            if (im)
                fill_zero(im, m);
            if (!src_typed || src.flags.type == qv_cell)
                return;
            auto place = [&](auto* dst, const auto* from) {
                if (scatter) {
                    for (int k = 0; k < n; ++k) {
                        T one;
                        convert_elements(&one, from + k, 1);
                        dst[src.index[k]] = one;
                    }
                } else {
                    convert_elements(dst, from, count);
                }
            };
            if (src.flags.type == qv_double) {
                place(re, static_cast<const double*>(src.pr));
                if (im && src.pi)
                    place(im, static_cast<const double*>(src.pi));
            } else {
                place(re, static_cast<const unsigned char*>(src.pr));
                if (im && src.pi)
                    place(im, static_cast<const unsigned char*>(src.pi));
            }
        };
        if (type == qv_uint8)
            fill(static_cast<unsigned char*>(out.pr), static_cast<unsigned char*>(out.pi));
        else
            fill(static_cast<double*>(out.pr), static_cast<double*>(out.pi));
    } else {  // to cells: numbers become one-element doubles, cell elements are shared
        Mm* dst = out.getpr(static_cast<Mm*>(nullptr));
        if (src.flags.type == qv_cell) {
            const Mm* from = static_cast<const Mm*>(src.pr);
            for (int k = 0; k < count; ++k)
                dst[k] = from[k];
        } else if (src.flags.type == qv_double) {
            const double* from = static_cast<const double*>(src.pr);
            for (int k = 0; k < count; ++k)
                dst[k] = Mm(from[k]);
        } else if (src.flags.type == qv_uint8) {
            const unsigned char* from = static_cast<const unsigned char*>(src.pr);
            for (int k = 0; k < count; ++k)
                dst[k] = Mm(double(from[k]));
        }
    }

    if (sparse && out.index) {
        if (src.flags.sparse && src.index)
            std::memcpy(out.index, src.index, sizeof(int) * count);
        else
            std::iota(out.index, out.index + count, 0);
    }
    for (int k = 0; k < src.nfields; ++k)
        out.addfield(src.fields[k], 1);
    out.classid = src.classid;
    // Text and logical values are doubles: converted to bytes or cells they
    // are numbers, so a value never claims to be text while holding bytes.
    const bool keeps_marks = type == qv_double || type == src.flags.type;
    out.flags.str = keeps_marks ? src.flags.str : 0;
    out.flags.logical = keeps_marks ? src.flags.logical : 0;
    out.flags.scalar_var = src.flags.scalar_var;
    if (sparse)
        out.nnz = std::min(n, out.nnz);
    *this = out;
}

void Mm::deepcopy(int complex, const Mm& src, qv_matrix_types type)
{
    deepcopy(complex, src.flags.sparse, src, type);
}

void Mm::deepcopy(const Mm& src, qv_matrix_types type) { deepcopy(src.pi != nullptr, src.flags.sparse, src, type); }

int Mm::getreal(int force) const
{
    if (!pi)
        return 0;
    bool drop = force || flags.type != qv_double;
    if (!drop) {
        const double* im = static_cast<const double*>(pi);
        drop = std::all_of(im, im + nnz, is_zero_part);
    }
    if (drop)
        const_cast<Mm*>(this)->pi = nullptr;  // the block keeps its room; only this view changes
    return pi != nullptr;
}

int Mm::getcomplex()
{
    if (!pi)
        deepcopy(1, *this, qv_none);
    return 1;
}

// ---- shape ----

int Mm::size(int d) const
{
    if (d < 1 || d > 4) {
        error("%s.size(dim): no such dimension=%d", matrix_display_name(*this), d);
        return 0;
    }
    return dims[d - 1];
}

int Mm::nsingleton() const noexcept
{
    for (int k = 0; k < ndims && k < 4; ++k)
        if (dims[k] > 1)
            return k + 1;
    return 1;
}

int Mm::vectordim() const noexcept
{
    int found = 0;
    for (int k = 0; k < ndims && k < 4; ++k)
        if (dims[k] > 1) {
            if (found)
                return 0;
            found = k + 1;
        }
    return found ? found : 2;
}

int Mm::length() const noexcept
{
    int m = 0;
    for (int d : dims) {
        if (d == 0)
            return 0;
        m = std::max(m, d);
    }
    return m;
}

void Mm::collapse() noexcept
{
    while (ndims > 2 && dims[ndims - 1] <= 1)
        --ndims;
}

void Mm::reshape(int r, int c)
{
    int count = size();
    if (std::int64_t(r) * c != count) {
        error("reshape: size=%d is different than %d*%d", count, r, c);
        return;
    }
    ndims = 2;
    if (count == 0) {
        dims[0] = dims[1] = dims[2] = dims[3] = 0;
        return;
    }
    dims[0] = r;
    dims[1] = c;
    dims[2] = dims[3] = 1;
}

void Mm::reshape(int n, const int* const d)
{
    int count = size();
    if (n > 4)
        n = 4;
    std::int64_t product = 1;
    for (int k = 0; k < n; ++k)
        product *= d[k];
    if (product != count) {
        error("reshape: size=%d is different than the product of new dimensions", count);
        return;
    }
    if (count == 0)
        return;
    for (int k = 0; k < 4; ++k)
        dims[k] = k < n ? d[k] : 1;
    ndims = n < 2 ? 2 : n;
    collapse();
}

// ---- bounds-tested element access ----
//
// Positions are doubles tested before truncation (2.7 addresses element 2,
// NaN fails). A sparse value is bounded by its stored elements, the only
// ones its storage holds.

namespace {

inline bool in_range(double k, int limit) { return k >= 1 && k <= limit; }

inline int element_limit(const Mm& x) { return x.issparse() ? std::min(x.size(), x.getnnz()) : x.size(); }

bool require_type(const Mm& x, int type, bool imaginary)
{
    if (x.gettype() == type && (!imaginary || x.isc())) {
        x.settle();  // the accessors hand out the element itself
        return true;
    }
    error(".r / .i : wrong matrix type");
    return false;
}

} // namespace

#define DOUBLE_ACCESSORS(NAME, PART, IMAG)                                                                   \
    double& Mm::NAME() const                                                                               \
    {                                                                                                      \
        if (!require_type(*this, qv_double, IMAG))                                                         \
            return scratch_double;                                                                         \
        if (element_limit(*this) < 1) {                                                                    \
            error("%s.r(): matrix is empty", matrix_display_name(*this));                                  \
            return scratch_double;                                                                         \
        }                                                                                                  \
        return static_cast<double*>(PART)[0];                                                              \
    }                                                                                                      \
    double& Mm::NAME(double k) const                                                                       \
    {                                                                                                      \
        if (!require_type(*this, qv_double, IMAG))                                                         \
            return scratch_double;                                                                         \
        if (!in_range(k, element_limit(*this))) {                                                          \
            error("%s.r(idx): idx=%g out of matrix", matrix_display_name(*this), k);                       \
            return scratch_double;                                                                         \
        }                                                                                                  \
        return static_cast<double*>(PART)[static_cast<int>(k) - 1];                                        \
    }                                                                                                      \
    double& Mm::NAME(double row, double col) const                                                         \
    {                                                                                                      \
        if (!require_type(*this, qv_double, IMAG))                                                         \
            return scratch_double;                                                                         \
        if (flags.sparse || !in_range(row, dims[0]) || !in_range(col, dims[1])) {                         \
            error("%s.r(row,col): row=%g or col=%g out of matrix", matrix_display_name(*this), row, col); \
            return scratch_double;                                                                         \
        }                                                                                                  \
        return static_cast<double*>(PART)[(static_cast<int>(row) - 1) +                                     \
                                          std::int64_t(static_cast<int>(col) - 1) * dims[0]];             \
    }                                                                                                      \
    double& Mm::NAME(double row, double col, double depth) const                                           \
    {                                                                                                      \
        if (!require_type(*this, qv_double, IMAG))                                                         \
            return scratch_double;                                                                         \
        if (flags.sparse || !in_range(row, dims[0]) || !in_range(col, dims[1]) ||                          \
            !in_range(depth, dims[2])) {                                                                   \
            error("%s.r(row,col,depth): row=%g, col=%g or depth=%g out of matrix",                         \
                  matrix_display_name(*this), row, col, depth);                                            \
            return scratch_double;                                                                         \
        }                                                                                                  \
        return static_cast<double*>(PART)[(static_cast<int>(row) - 1) +                                     \
                                          std::int64_t(static_cast<int>(col) - 1) * dims[0] +              \
                                          std::int64_t(static_cast<int>(depth) - 1) * dims[0] * dims[1]];  \
    }

DOUBLE_ACCESSORS(r, pr, false)
DOUBLE_ACCESSORS(i, pi, true)
#undef DOUBLE_ACCESSORS

unsigned char& Mm::ur(int k) const
{
    if (!require_type(*this, qv_uint8, false))
        return scratch_byte;
    if (k < 1 || k > element_limit(*this)) {
        error("%s.ur(idx): idx=%d out of matrix", matrix_display_name(*this), k);
        return scratch_byte;
    }
    return static_cast<unsigned char*>(pr)[k - 1];
}

unsigned char& Mm::ur(int row, int col) const
{
    if (!require_type(*this, qv_uint8, false))
        return scratch_byte;
    if (flags.sparse || row < 1 || row > dims[0] || col < 1 || col > dims[1]) {
        error("%s.ur(row,col): row=%d or col=%d out of matrix", matrix_display_name(*this), row, col);
        return scratch_byte;
    }
    return static_cast<unsigned char*>(pr)[(row - 1) + std::int64_t(col - 1) * dims[0]];
}

Mm& Mm::mr(int k) const
{
    if (!require_type(*this, qv_cell, false))
        return scratch_cell();
    if (k < 1 || k > size()) {
        error("%s.mr(idx): idx=%d out of matrix", matrix_display_name(*this), k);
        return scratch_cell();
    }
    return static_cast<Mm*>(pr)[k - 1];
}

Mm& Mm::mr(int row, int col) const
{
    if (!require_type(*this, qv_cell, false))
        return scratch_cell();
    if (row < 1 || row > dims[0] || col < 1 || col > dims[1]) {
        error("%s.mr(row,col): row=%d or col=%d out of matrix", matrix_display_name(*this), row, col);
        return scratch_cell();
    }
    return static_cast<Mm*>(pr)[(row - 1) + std::int64_t(col - 1) * dims[0]];
}

Mm Mm::safebr(int k) const
{
    if (flags.type == qv_cell && k >= 1 && k <= size())
        return getpr(static_cast<Mm*>(nullptr))[k - 1];
    return nop_M;
}

// ---- struct field names ----

int Mm::findfield(const char* field, int raise) const
{
    if (!field) {  // no structure has a field without a name
        if (raise)
            error("%s: the field name is a null pointer", matrix_display_name(*this));
        return -1;
    }
    if (!fields) {
        if (raise)
            error("%s.%s: not a structure", matrix_display_name(*this), field);
        return -1;
    }
    for (int k = 0; k < nfields; ++k)
        if (std::strcmp(fields[k], field) == 0)
            return k;
    if (raise)
        error("%s.%s: structure field does not exist", matrix_display_name(*this), field);
    return -1;
}

const char* Mm::getfield(int k) const
{
    if (k < 0 || k >= nfields) {
        error("getfield: index=%d out of range [0..%d)", k, nfields);
        return nullptr;
    }
    return fields[k];
}

void Mm::extend_nfields(int n)
{
    if (nfields >= n)
        return;
    char** grown = static_cast<char**>(qv_malloc(sizeof(char*) * (std::size_t(n) + 1)));
    if (!grown) {
        error("Out of memory!");
        throw std::bad_alloc();
    }
    for (int k = 0; k < nfields; ++k)
        grown[k] = fields[k];
    for (int k = nfields; k < n; ++k)
        grown[k] = placeholder_name;
    grown[n] = nullptr;
    qv_free(fields);
    fields = grown;
}

int Mm::addfield(const char* field, int no_lookup)
{
    if (!field) {
        error("%s: the field name is a null pointer", matrix_display_name(*this));
        return -1;
    }
    if (!no_lookup) {
        int k = findfield(field, 0);
        if (k >= 0)
            return k;
    }
    if (dirty()) {
        deepcopy(*this, qv_none);
        if (dirty())
            throw std::bad_alloc();  // "Out of memory!" went to a hook that returned
    }
    if (!fields)
        extend_nfields(8);
    else if (!fields[nfields])  // the null entry right after the last name: full
        extend_nfields(2 * nfields);
    fields[nfields] = copy_name(field);
    return nfields++;
}

int Mm::rmfield(const char* field)
{
    int k = findfield(field, 1);
    if (k < 0)
        return -1;
    if (dirty()) {
        deepcopy(*this, qv_none);
        if (dirty())
            return -1;  // "Out of memory!" went to a hook that returned
        k = findfield(field, 1);
    }
    qv_free(fields[k]);
    for (int m = k + 1; m < nfields; ++m)
        fields[m - 1] = fields[m];
    fields[nfields - 1] = placeholder_name;
    --nfields;
    return k;
}

// ---- sparse storage ----

void Mm::sort()
{
    if (error_sparse(*this, "::sort"))
        return;
    if (nnz < 2 || std::is_sorted(index, index + nnz))
        return;
    scratch<int> order(nnz);
    std::iota(order.get(), order.get() + nnz, 0);
    std::stable_sort(order.get(), order.get() + nnz, [this](int a, int b) { return index[a] < index[b]; });
    auto apply = [this, &order](auto* data) {
        using T = std::remove_pointer_t<decltype(data)>;
        scratch<T> copy(nnz);
        std::memcpy(copy.get(), data, sizeof(T) * nnz);
        for (int k = 0; k < nnz; ++k)
            data[k] = copy[order[k]];
    };
    apply(index);
    apply(static_cast<double*>(pr));
    if (pi)
        apply(static_cast<double*>(pi));
}

void Mm::resparse()
{
    if (error_sparse(*this, "::resparse"))
        return;
    const bool complex = pi != nullptr;
    Mm out(complex, 1, nnz, dims[0], dims[1], qv_double);
    if (!out.flags.sparse)
        return;  // "Out of memory!" went to a hook that returned: unchanged
    const double* re = static_cast<const double*>(pr);
    const double* im = static_cast<const double*>(pi);
    double* ore = static_cast<double*>(out.pr);
    double* oim = static_cast<double*>(out.pi);
    int m = 0;
    for (int k = 0; k < nnz; ++k) {
        double vr = re[k], vi = complex ? im[k] : 0;
        if (vr == 0 && vi == 0)
            continue;
        if (m > 0 && out.index[m - 1] == index[k]) {
            // Merged positions keep their sum, even a zero one.
            ore[m - 1] += vr;
            if (complex)
                oim[m - 1] += vi;
            continue;
        }
        out.index[m] = index[k];
        ore[m] = vr;
        if (complex)
            oim[m] = vi;
        ++m;
    }
    out.nnz = m;
    out.flags.logical = flags.logical;
    *this = out;
}

int Mm::search(int position) const
{
    if (error_sparse(*this, "::search"))
        return -1;
    const int* begin = index;
    const int* end = index + nnz;
    const int* at = std::lower_bound(begin, end, position);
    return at != end && *at == position ? static_cast<int>(at - index) : -1;
}

void Mm::extend_nnz(int n)
{
    if (error_sparse(*this, "::extend_nnz"))
        return;
    if (n <= nnz)
        return;
    const bool complex = pi != nullptr;
    Mm out(complex, 1, n, dims[0], dims[1], qv_double);
    if (!out.issparse())
        return;  // "Out of memory!" went to a hook that returned: unchanged
    int keep = nnz;
    std::memcpy(out.pr, pr, sizeof(double) * keep);
    fill_zero(static_cast<double*>(out.pr) + keep, n - keep);
    if (complex) {
        std::memcpy(out.pi, pi, sizeof(double) * keep);
        fill_zero(static_cast<double*>(out.pi) + keep, n - keep);
    }
    std::memcpy(out.index, index, sizeof(int) * keep);
    fill_zero(out.index + keep, n - keep);
    out.flags.logical = flags.logical;
    out.flags.str = flags.str;
    *this = out;
}

void Mm::warn_uninit() const
{
    if (flags.type == qv_none)
        error("variable '%s' was used without a value", matrix_display_name(*this));
}
