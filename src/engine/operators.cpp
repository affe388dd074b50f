// The element-wise operators and their function forms: thin fronts that
// pick the operation code, decide whether the result is complex, and mark
// relational and logical results logical.
#include "engine/kernels.hpp"
#include "engine/scalar_fast.hpp"
#include "engine/scalar_real.hpp"
#include "value/globals.hpp"
#include "value/mm_access.hpp"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/value.h"

#include <optional>

namespace {

Mm run(op_t op, int complex, const Mm& a, const Mm& b) { return Mm(complex, a, b, nop_M, op, 0, l_M); }

Mm logical(Mm r)
{
    r.setlogical(1);
    return r;
}

// Comparisons see a value whose imaginary parts are all zero as real (a
// byte value too: 7 + 2i is not 7). The part is dropped from a copy of the
// operand's own: the caller's value keeps it.
const Mm& as_compared(const Mm& x, std::optional<Mm>& own)
{
    if (!x.isc())
        return x;
    Mm& copy = own.emplace(x);
    drop_zero_imaginary(copy);
    return copy;
}

template <class F>
Mm compare(op_t op, const Mm& a, const Mm& b, F f)
{
    if (plain_scalar(a) && plain_scalar(b))
        return mm_access::truth(f(*a.addr(), *b.addr()) != 0);
    std::optional<Mm> own_a, own_b;
    return logical(run(op, 0, as_compared(a, own_a), as_compared(b, own_b)));
}

// Arithmetic of two real scalars skips the engine's general walk.
template <class F>
Mm arith(op_t op, const Mm& a, const Mm& b, F f)
{
    if (plain_scalar(a) && plain_scalar(b))
        return scalar_result(f(*a.addr(), *b.addr()));
    return run(op, a.isc() || b.isc(), a, b);
}

int either_complex(const Mm& a, const Mm& b) { return a.isc() || b.isc(); }

// A real base with a negative element makes every element complex, unless
// the exponent is the single value 2.
int power_is_complex(const Mm& a, const Mm& b)
{
    if (either_complex(a, b))
        return 1;
    if (b.size() == 1 && !b.issparse()) {
        if (b.gettype() == qv_double && *b.addr() == 2)
            return 0;
        if (b.gettype() == qv_uint8 && *b.getpr((unsigned char*)nullptr) == 2)
            return 0;
    }
    if (a.gettype() != qv_double)
        return 0;
    return isnegative(a.addr(), a.getnnz());
}

// A temporary operand takes the result in place when nobody else holds its
// storage and it is an unnamed plain real full double with elements; the
// other operand must be a plain real full double too.
inline bool plain_real(const Mm& x)
{
    const M_types& f = x.getflags();
    return f.type == qv_double && !f.sparse && !x.isc() && !x.getfields() && !x.getclassid();
}

// The element count of a full value is its stored count.
inline bool free_temporary(const Mm& t)
{
    return plain_real(t) && t.getnnz() > 0 && !t.getname() && t.hasstorage() && !t.dirty();
}

// Whether the result of t and u has t's shape.
inline bool result_fits(const Mm& t, const Mm& u)
{
    return plain_real(u) && (u.getnnz() == 1 || is_same_dims(t, u));
}

// The result written over t, which leaves with a result's clear flags.
Mm over(op_t op, Mm& t, const double* u, bool u_scalar, bool t_first)
{
    op_over_double(t.addr(), u, static_cast<std::size_t>(t.getnnz()), u_scalar, t_first, op);
    M_types& f = t.getflags();
    f = M_types{};
    f.type = qv_double;
    f.logical = op == op_eq || op == op_ne || op == op_lt || op == op_gt || op == op_le || op == op_ge;
    return static_cast<Mm&&>(t);
}

// Where a temporary may take the result of a op b: +, - and the
// comparisons always; * and / only as their element-wise forms (a scalar
// factor, a scalar divisor).
enum class kind { elementwise, product, quotient };

inline bool may_take(kind k, const Mm& t, const Mm& u, bool t_first)
{
    if (!free_temporary(t) || !result_fits(t, u))
        return false;
    switch (k) {
    case kind::elementwise:
        return true;
    case kind::product:
        return u.getnnz() == 1;
    case kind::quotient:
        return u.getnnz() == 1 && (t_first || t.getnnz() == 1);
    }
    return false;
}

inline bool may_take_double(kind k, const Mm& t, bool t_first)
{
    return free_temporary(t) && (k != kind::quotient || t_first || t.getnnz() == 1);
}

Mm reject(const char* name)
{
    error_input(name, 1);
    return Mm(0.0);
}

} // namespace

Mm operator<(const Mm& a, const Mm& b) { return compare(op_lt, a, b, [](double x, double y) { return double(x < y); }); }
Mm operator>(const Mm& a, const Mm& b) { return compare(op_gt, a, b, [](double x, double y) { return double(x > y); }); }
Mm operator<=(const Mm& a, const Mm& b)
{
    return compare(op_le, a, b, [](double x, double y) { return double(x <= y); });
}
Mm operator>=(const Mm& a, const Mm& b)
{
    return compare(op_ge, a, b, [](double x, double y) { return double(x >= y); });
}
Mm operator==(const Mm& a, const Mm& b)
{
    return compare(op_eq, a, b, [](double x, double y) { return double(x == y); });
}
Mm operator!=(const Mm& a, const Mm& b)
{
    return compare(op_ne, a, b, [](double x, double y) { return double(!(x == y)); });
}
Mm operator||(const Mm& a, const Mm& b) { return logical(run(op_or, 0, a, b)); }
Mm operator&&(const Mm& a, const Mm& b) { return logical(run(op_and, 0, a, b)); }
Mm operator!(const Mm& a) { return logical(run(op_not, 0, a, zero_M)); }
Mm lt(const Mm& a, const Mm& b) { return a < b; }
Mm gt(const Mm& a, const Mm& b) { return a > b; }
Mm le(const Mm& a, const Mm& b) { return a <= b; }
Mm ge(const Mm& a, const Mm& b) { return a >= b; }
Mm eq(const Mm& a, const Mm& b) { return a == b; }
Mm ne(const Mm& a, const Mm& b) { return a != b; }
Mm mor(const Mm& a, const Mm& b) { return a || b; }
Mm mand(const Mm& a, const Mm& b) { return a && b; }
Mm mxor(const Mm& a, const Mm& b) { return logical(run(op_xor, 0, a, b)); }
Mm mnot(const Mm& a) { return !a; }

Mm mbitand(const Mm& a, const Mm& b) { return run(op_bitand, 0, a, b); }
Mm mbitor(const Mm& a, const Mm& b) { return run(op_bitor, 0, a, b); }
Mm bitxor(const Mm& a, const Mm& b) { return run(op_bitxor, 0, a, b); }
Mm bitcmp(const Mm& a, const Mm& b) { return run(op_bitcmp, 0, a, b); }
Mm bitget(const Mm& a, const Mm& b) { return run(op_bitget, 0, a, b); }
Mm bitset(const Mm& a, const Mm& b) { return run(op_bitset, 0, a, b); }
Mm bitreset(const Mm& a, const Mm& b) { return run(op_bitreset, 0, a, b); }
Mm bitshift(const Mm& a, const Mm& b) { return run(op_bitshift, 0, a, b); }

Mm operator+(const Mm& a, const Mm& b) { return arith(op_plus, a, b, [](double x, double y) { return x + y; }); }
Mm operator-(const Mm& a, const Mm& b) { return arith(op_minus, a, b, [](double x, double y) { return x - y; }); }
Mm plus(const Mm& a, const Mm& b) { return a + b; }
Mm dot_add(const Mm& a, const Mm& b) { return a + b; }
Mm minus(const Mm& a, const Mm& b) { return a - b; }
Mm dot_sub(const Mm& a, const Mm& b) { return a - b; }
Mm times(const Mm& a, const Mm& b) { return arith(op_times, a, b, [](double x, double y) { return x * y; }); }
Mm dot_mul(const Mm& a, const Mm& b) { return times(a, b); }
Mm rdivide(const Mm& a, const Mm& b) { return arith(op_rdivide, a, b, [](double x, double y) { return x / y; }); }
Mm dot_div(const Mm& a, const Mm& b) { return rdivide(a, b); }
Mm ldivide(const Mm& a, const Mm& b) { return run(op_ldivide, either_complex(a, b), a, b); }
Mm dot_invdiv(const Mm& a, const Mm& b) { return ldivide(a, b); }
Mm power(const Mm& a, const Mm& b) { return run(op_power, power_is_complex(a, b), a, b); }
Mm dot_pow(const Mm& a, const Mm& b) { return power(a, b); }
Mm realpow(const Mm& a, const Mm& b) { return power(a, b); }
Mm max(const Mm& a, const Mm& b) { return run(op_max_2, either_complex(a, b), a, b); }
Mm min(const Mm& a, const Mm& b) { return run(op_min_2, either_complex(a, b), a, b); }
Mm atan2(const Mm& a, const Mm& b) { return run(op_atan2, 0, a, b); }
Mm beta(const Mm& a, const Mm& b) { return run(op_beta, 0, a, b); }
Mm betaln(const Mm& a, const Mm& b) { return run(op_betaln, 0, a, b); }
Mm gammainc(const Mm& x, const Mm& a) { return run(op_gammainc, 0, x, a); }
Mm rem(const Mm& a, const Mm& b) { return run(op_rem, 0, a, b); }
Mm mod(const Mm& a, const Mm& b) { return run(op_mod, 0, a, b); }
Mm pow2(const Mm& f, const Mm& e) { return run(op_pow2_2, 0, f, e); }

Mm lt(const Mm&) { return reject("lt"); }
Mm gt(const Mm&) { return reject("gt"); }
Mm le(const Mm&) { return reject("le"); }
Mm ge(const Mm&) { return reject("ge"); }
Mm eq(const Mm&) { return reject("eq"); }
Mm ne(const Mm&) { return reject("ne"); }
Mm mbitor(const Mm&) { return reject("bitor"); }
Mm bitcmp(const Mm&) { return reject("bitcmp"); }
Mm bitget(const Mm&) { return reject("bitget"); }
Mm bitset(const Mm&) { return reject("bitset"); }
Mm bitreset(const Mm&) { return reject("bitreset"); }
Mm bitshift(const Mm&) { return reject("bitshift"); }
Mm mbitand(const Mm&) { return reject("bitand"); }
Mm bitxor(const Mm&) { return reject("bitxor"); }
Mm mor(const Mm&) { return reject("or"); }
Mm mand(const Mm&) { return reject("and"); }
Mm plus(const Mm&) { return reject("plus"); }
Mm minus(const Mm&) { return reject("minus"); }
Mm times(const Mm&) { return reject("times"); }
Mm rdivide(const Mm&) { return reject("rdivide"); }
Mm ldivide(const Mm&) { return reject("ldivide"); }
Mm power(const Mm&) { return reject("power"); }
Mm atan2(const Mm&) { return reject("atan2"); }
Mm beta(const Mm&) { return reject("beta"); }
Mm betaln(const Mm&) { return reject("betaln"); }
Mm rem(const Mm&) { return reject("rem"); }
Mm mod(const Mm&) { return reject("mod"); }
Mm realpow(const Mm&) { return reject("realpow"); }
Mm mxor(const Mm&) { return reject("mxor"); }

// The temporary-taking forms. Each falls back to the const form, whose
// result is the same, when the temporary cannot take the result.
#define NUMRUN_TEMPORARY_FORMS(OP, CODE, KIND)                                                     \
    Mm operator OP(Mm&& a, const Mm& b)                                                            \
    {                                                                                              \
        if (may_take(KIND, a, b, true))                                                            \
            return over(CODE, a, b.addr(), b.getnnz() == 1, true);                                   \
        return static_cast<const Mm&>(a) OP b;                                                     \
    }                                                                                              \
    Mm operator OP(const Mm& a, Mm&& b)                                                            \
    {                                                                                              \
        if (may_take(KIND, b, a, false))                                                           \
            return over(CODE, b, a.addr(), a.getnnz() == 1, false);                                  \
        return a OP static_cast<const Mm&>(b);                                                     \
    }                                                                                              \
    Mm operator OP(Mm&& a, Mm&& b)                                                                 \
    {                                                                                              \
        if (may_take(KIND, a, b, true))                                                            \
            return over(CODE, a, b.addr(), b.getnnz() == 1, true);                                   \
        if (may_take(KIND, b, a, false))                                                           \
            return over(CODE, b, a.addr(), a.getnnz() == 1, false);                                  \
        return static_cast<const Mm&>(a) OP static_cast<const Mm&>(b);                             \
    }                                                                                              \
    Mm operator OP(Mm&& a, double b)                                                               \
    {                                                                                              \
        if (may_take_double(KIND, a, true))                                                        \
            return over(CODE, a, &b, true, true);                                                  \
        return static_cast<const Mm&>(a) OP b;                                                     \
    }                                                                                              \
    Mm operator OP(double a, Mm&& b)                                                               \
    {                                                                                              \
        if (may_take_double(KIND, b, false))                                                       \
            return over(CODE, b, &a, true, false);                                                 \
        return a OP static_cast<const Mm&>(b);                                                     \
    }

NUMRUN_TEMPORARY_FORMS(+, op_plus, kind::elementwise)
NUMRUN_TEMPORARY_FORMS(-, op_minus, kind::elementwise)
NUMRUN_TEMPORARY_FORMS(*, op_times, kind::product)
NUMRUN_TEMPORARY_FORMS(/, op_rdivide, kind::quotient)
NUMRUN_TEMPORARY_FORMS(<, op_lt, kind::elementwise)
NUMRUN_TEMPORARY_FORMS(>, op_gt, kind::elementwise)
NUMRUN_TEMPORARY_FORMS(<=, op_le, kind::elementwise)
NUMRUN_TEMPORARY_FORMS(>=, op_ge, kind::elementwise)
NUMRUN_TEMPORARY_FORMS(==, op_eq, kind::elementwise)
NUMRUN_TEMPORARY_FORMS(!=, op_ne, kind::elementwise)

#undef NUMRUN_TEMPORARY_FORMS
