// The operation engine: settles what the operands of an element-wise
// operation or a reduction have in common (values without a value, sparse
// operands, objects, mixed element types, the working dimension, the result
// shape, empty operands), allocates the result once and hands the element
// work to the kernel of its element type.
#include "engine/kernels.hpp"
#include "engine/scalar_real.hpp"
#include "value/globals.hpp"
#include "value/mm_access.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/report.h"

#include <algorithm>
#include <cstdint>

namespace {

const char* const op_names[99] = {
    "diff", "del2", "gradient", "all", "any", "cumprod", "cumsum", "max_1", "median", "min_1", "prod", "sum",
    "unwrap", "abs", "acos", "acosh", "acot", "acoth", "acsc", "acsch", "and", "angle", "asec", "asech", "asin",
    "asinh", "atan", "atan2", "atanh", "beta", "betaln", "bitand", "bitcmp", "bitget", "bitor", "bitreset",
    "bitset", "bitshift", "bitxor", "ceil", "conj", "cos", "cosh", "cot", "coth", "csc", "csch", "eq", "erfc",
    "erfcx", "erfinv", "erf", "exp", "expint", "fix", "floor", "gamma", "gammainc", "gammaln", "ge", "gt", "imag",
    "isfinite", "isinf", "isnan", "ldivide", "le", "log", "log10", "log2", "lt", "max_2", "minus", "min_2", "mod",
    "mtimes", "ne", "not", "or", "plus", "pow2_1", "pow2_2", "power", "rdivide", "rem", "round", "sec", "sech",
    "sign", "sin", "sinc", "sinh", "sqrt", "tan", "tanh", "times", "uminus", "uplus", "xor",
};

// Codes of two operands; the other element-wise codes read only the first.
constexpr op_t two_operand_codes[] = {
    op_and, op_atan2, op_beta, op_betaln, op_bitand, op_bitcmp, op_bitget, op_bitor, op_bitreset, op_bitset,
    op_bitshift, op_bitxor, op_eq, op_gammainc, op_ge, op_gt, op_ldivide, op_le, op_lt, op_max_2, op_minus,
    op_min_2, op_mod, op_mtimes, op_ne, op_or, op_plus, op_pow2_2, op_power, op_rdivide, op_rem, op_times, op_xor,
};

struct operand_table {
    bool one[99];
    constexpr operand_table() : one{}
    {
        for (int k = op_abs; k <= op_xor; ++k)
            one[k] = true;
        for (op_t t : two_operand_codes)
            one[t] = false;
    }
};
constexpr operand_table operands;

std::int64_t element_count(const Mm& x)
{
    const int* d = x.getdims();
    return std::int64_t(d[0]) * d[1] * d[2] * d[3];
}

// The decided result of an empty operand: 1x1 values for the reductions
// that have an identity, empty for everything else.
Mm empty_operand_result(op_t op, int dim, bool a_empty, bool b_empty)
{
    switch (op) {
    case op_all:
    case op_prod:
        return dim == 0 ? Mm(1.0) : Mm();
    case op_any:
    case op_sum:
        return dim == 0 ? Mm(0.0) : Mm();
    case op_eq:
        return Mm(a_empty && b_empty ? 1.0 : 0.0);
    case op_ne:
        return Mm(a_empty != b_empty ? 1.0 : 0.0);
    default:
        return Mm();
    }
}

// The result's extent along the working dimension of a reduction.
int reduced_extent(op_t op, int n)
{
    switch (op) {
    case op_diff:
        return n - 1;
    case op_del2:
    case op_gradient:
    case op_cumprod:
    case op_cumsum:
    case op_unwrap:
        return n;
    case op_all:
    case op_any:
    case op_max_1:
    case op_median:
    case op_min_1:
    case op_prod:
    case op_sum:
        return 1;
    default:
        error("op_dims: wrong do_dim");
        return n;
    }
}

void run(Mm& r, int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, int reduce, Mm& index_out);

template <class T>
void repeat(T* out, const T* one, int n)
{
    if (!out)
        return;
    const T v = one ? *one : T(0);
    for (int k = 0; k < n; ++k)
        out[k] = v;
}

void repeat_first_element(Mm& r, const Mm& one)
{
    if (r.gettype() == qv_uint8) {
        repeat(r.getpr((unsigned char*)nullptr), one.getpr((unsigned char*)nullptr), r.getnnz());
        repeat(r.getpi((unsigned char*)nullptr), one.getpi((unsigned char*)nullptr), r.getnnz());
    } else {
        repeat(r.addr(), one.addr(), r.getnnz());
        repeat(r.addi(), one.addi(), r.getnnz());
    }
}

// Operands of mixed element types meet in uint8; anything else is refused.
void run_promoted(Mm& r, int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, int reduce, Mm& index_out)
{
    if (a.gettype() == qv_uint8)
        run(r, complex, a, muint8(b), dim, op, reduce, index_out);
    else if (b.gettype() == qv_uint8)
        run(r, complex, muint8(a), b, dim, op, reduce, index_out);
    else {
        error("M::M(op): inconsistent datatypes");
        r = x_M;
    }
}

void run(Mm& r, int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, int reduce, Mm& index_out)
{
    // Values without a value. Should the error hook return, going on would
    // meet the same operand again: the result is the empty value.
    if (a.gettype() == qv_none || b.gettype() == qv_none) {
        (a.gettype() == qv_none ? a : b).warn_uninit();
        r = x_M;
        return;
    }
    if (a.issparse() || b.issparse()) {
        r = sparse_path(complex, a, b, dim, op, reduce, index_out);
        return;
    }
    if (a.gettype() == qv_cell || b.gettype() == qv_cell) {
        if (a.isstruct() || b.isstruct())
            r = call_class_function(op_name(op), a, b);
        else {
            error("Operation can not be performed on non-numerical datatypes");
            r = x_M;
        }
        return;
    }
    if (a.gettype() != b.gettype()) {
        run_promoted(r, complex, a, b, dim, op, reduce, index_out);
        return;
    }

    const int d = element_count(dim) == 0 ? -1 : saturate_to_int(*dim.addr());
    const bool a_empty = element_count(a) == 0, b_empty = element_count(b) == 0;
    if (a_empty || b_empty) {
        r = empty_operand_result(op, d, a_empty, b_empty);
        if (r.size() == 1)
            r.getflags().scalar_var = 1;
        return;
    }

    int shape[4];
    std::int64_t n = 0, inner = 1, outer = 1;
    if (reduce) {
        if (d < 0) {
            error("%s: dim argument may not be empty", op_name(op));
            r = x_M;
            return;
        }
        int w = d == 0 ? a.nsingleton() : d;
        if (w < 1 || w > 4) {
            error("%s: dimension=%d does not exist for matrix %s", op_name(op), w, matrix_display_name(a));
            r = x_M;
            return;
        }
        const int* ad = a.getdims();
        for (int k = 0; k < 4; ++k) {
            shape[k] = ad[k];
            if (k < w - 1)
                inner *= ad[k];
            else if (k > w - 1)
                outer *= ad[k];
        }
        n = ad[w - 1];
        shape[w - 1] = reduced_extent(op, static_cast<int>(n));
        if (shape[w - 1] <= 0) {
            r = Mm();
            return;
        }
    } else {
        const Mm* like = &a;
        if (element_count(b) == 1)
            like = &a;
        else if (element_count(a) == 1)
            like = &b;
        else if (!is_same_dims(a, b)) {
            error("%s: incompatible dimensions of: %s, %s", op_name(op), matrix_display_name(a),
                  matrix_display_name(b));
            r = x_M;
            return;
        }
        mm_access::shape_like(r, complex, *like, static_cast<qv_matrix_types>(a.gettype()));
        if (r.size() != element_count(*like))
            return;  // "Out of memory!" went to a hook that returned: r is empty
    }
    if (reduce) {
        mm_access::shape(r, complex, 4, shape, static_cast<qv_matrix_types>(a.gettype()));
        const std::int64_t want = std::int64_t{shape[0]} * shape[1] * shape[2] * shape[3];
        if (r.size() != want)
            return;  // "Out of memory!" went to a hook that returned: r is empty
    }
    if (!reduce && r.getnnz() > 1 && element_count(a) == 1 && is_one_operand(op)) {
        // The second operand only gave the shape (sign(x, y)): the one
        // element's result is repeated.
        Mm one(complex, a, zero_M, nop_M, op, 0, index_out);
        repeat_first_element(r, one);
        return;
    }
    if (a.gettype() == qv_uint8)
        op_core_uint8(r, complex, a, b, op, n, inner, outer, index_out);
    else
        op_core_double(r, complex, a, b, op, n, inner, outer, index_out);
}

} // namespace

const char* op_name(op_t op) { return op >= 0 && op <= 98 ? op_names[op] : "???"; }

int isieee() { return 1; }

void drop_zero_imaginary(Mm& own)
{
    if (own.gettype() != qv_uint8) {
        own.getreal(0);
        return;
    }
    const unsigned char* im = own.getpi((unsigned char*)nullptr);
    if (im && std::all_of(im, im + own.getnnz(), [](unsigned char b) { return b == 0; }))
        own.getreal(1);
}

bool index_wanted(const Mm& index_out) { return !index_out.issamename(l_M_name); }

bool is_one_operand(op_t op) { return op >= 0 && op <= op_xor && operands.one[op]; }

Mm::Mm(int complex, const Mm& a, const Mm& b, const Mm& dim, op_t op, int reduce, Mm& index_out)
    : Mm(storageless_tag{})
{
    // The delegated constructor has finished, so should an error unwind
    // from here on, the destructor releases whatever was allocated.
    run(*this, complex, a, b, dim, op, reduce, index_out);
}
