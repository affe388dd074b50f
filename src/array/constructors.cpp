// The matrix constructors zeros, ones, eye, rand (randM) and randn, and the
// czeros and ceye helpers of compiled programs: one size parser and one fill
// routine behind every form.
#include "array/constructors.hpp"

#include "array/random.hpp"
#include "engine/scalar_real.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

void clear(double* p, int n)
{
    if (n > 0)
        std::memset(p, 0, sizeof(double) * static_cast<std::size_t>(n));
}

// Ones down the main diagonal of the first page of a cleared value.
void set_diagonal(Mm& r)
{
    double* p = r.addr();
    const std::ptrdiff_t step = std::ptrdiff_t(r.rows()) + 1;
    for (int k = 0, n = int_min(r.rows(), r.cols()); k < n; ++k)
        p[k * step] = 1.0;
}

// The form reading one element of a non-empty argument: a number, or false
// after refusing a cell or struct.
bool first_number(const Mm& x, const char* f, double& v)
{
    if (error_numeric(x, f))
        return false;
    v = number_at(x, 0);
    return true;
}

bool any_empty(const Mm& a, const Mm& b, const Mm& c, const Mm& d)
{
    return isempty(a) || isempty(b) || isempty(c) || isempty(d);
}

// The size-argument forms: an empty argument gives nop_M and nothing is drawn.
Mm construct(int kind, const char* f, const Mm& a, const Mm& b, const Mm& c, const Mm& d)
{
    if (any_empty(a, b, c, d))
        return nop_M;
    int counts[4];
    const int ndims = parse_size_arguments(a, b, c, d, counts, f);
    if (ndims == 0)
        return x_M;
    return fill_constant_matrix(kind, ndims, counts);
}

Mm construct(int kind, double rows, double cols)
{
    const int counts[2] = {count_from_double(rows), count_from_double(cols)};
    return fill_constant_matrix(kind, 2, counts);
}

} // namespace

// ---- the shared parser and fill ----

int parse_size_arguments(const Mm& a, const Mm& b, const Mm& c, const Mm& d, int counts[4], const char* f)
{
    counts[0] = counts[1] = counts[2] = counts[3] = 1;
    if (a.size() == 1) {
        const Mm* args[4] = {&a, &b, &c, &d};
        for (int k = 0; k < 4; ++k) {
            if (args[k]->size() != 1) {
                warning("eye01: expecting scalar argument");
                continue;
            }
            double v;
            if (!first_number(*args[k], f, v))
                return 0;
            counts[k] = count_from_double(v);
        }
        if (counts[3] != 1)
            return 4;
        return counts[2] != 1 ? 3 : 2;
    }

    if (error_numeric(a, f))
        return 0;
    int n = a.size();
    if (n > 4) {
        warning("eye01: too many dimensions");
        n = 4;
    }
    for (int k = 0; k < n; ++k)
        counts[k] = round_to_count(number_at(a, k));
    return n;
}

Mm fill_constant_matrix(int kind, int ndims, const int* counts)
{
    if (kind < fill_zeros || kind > fill_randn) {
        error("eye01_op: unknown op");
        return x_M;
    }
    // Counts beyond an int raise "Out of memory!" in the constructor; should
    // the hook return, the value is empty and nothing is filled or drawn.
    Mm r(0, 0, 0, ndims, counts, qv_double);
    double* p = r.addr();
    const int n = r.getnnz();
    switch (kind) {
    case fill_zeros:
        clear(p, n);
        break;
    case fill_ones:
        std::fill_n(p, n, 1.0);
        break;
    case fill_eye:
        clear(p, n);
        set_diagonal(r);
        break;
    case fill_rand:
        uniform_fill(p, n);
        break;
    case fill_randn:
        normal_fill(p, n);
        break;
    }
    return r;
}

// ---- zeros ----

Mm zeros(double n)
{
    const int c = count_from_double(n);
    const int counts[2] = {c, c};
    return fill_constant_matrix(fill_zeros, 2, counts);
}

Mm zeros(double rows, double cols) { return construct(fill_zeros, rows, cols); }
Mm zeros(const Mm& a) { return construct(fill_zeros, "zeros", a, a, one_M, one_M); }

// Rows from the first stored element of a, columns from the first stored
// element of b, whatever their shapes: zeros([2 3], 4) is 2 x 4. A sparse
// argument's first stored entry counts (0 when it stores none).
Mm zeros(const Mm& a, const Mm& b)
{
    if (isempty(a) || isempty(b))
        return nop_M;
    if (error_numeric(a, "zeros") || error_numeric(b, "zeros"))
        return x_M;
    auto first_stored = [](const Mm& x) {
        if (x.issparse())
            return x.getnnz() > 0 ? x.addr()[0] : 0.0;
        return number_at(x, 0);
    };
    return construct(fill_zeros, first_stored(a), first_stored(b));
}

Mm zeros(const Mm& a, const Mm& b, const Mm& c) { return construct(fill_zeros, "zeros", a, b, c, one_M); }
Mm zeros(const Mm& a, const Mm& b, const Mm& c, const Mm& d) { return construct(fill_zeros, "zeros", a, b, c, d); }

// ---- ones ----

Mm ones() { return Mm(1.0); }
// Standard output's file identifier is 1: the same entry as ones().
Mm stdoutM() { return ones(); }
Mm ones(double n) { return construct(fill_ones, n, n); }
Mm ones(double rows, double cols) { return construct(fill_ones, rows, cols); }
Mm ones(const Mm& a) { return construct(fill_ones, "ones", a, a, one_M, one_M); }
Mm ones(const Mm& a, const Mm& b) { return construct(fill_ones, "ones", a, b, one_M, one_M); }
Mm ones(const Mm& a, const Mm& b, const Mm& c) { return construct(fill_ones, "ones", a, b, c, one_M); }
Mm ones(const Mm& a, const Mm& b, const Mm& c, const Mm& d) { return construct(fill_ones, "ones", a, b, c, d); }

// ---- eye ----

Mm eye() { return Mm(1.0); }
Mm eye(double n) { return construct(fill_eye, n, n); }
Mm eye(double rows, double cols) { return construct(fill_eye, rows, cols); }
Mm eye(const Mm& a) { return construct(fill_eye, "eye", a, a, one_M, one_M); }
Mm eye(const Mm& a, const Mm& b) { return construct(fill_eye, "eye", a, b, one_M, one_M); }
Mm eye(const Mm& a, const Mm& b, const Mm& c) { return construct(fill_eye, "eye", a, b, c, one_M); }
Mm eye(const Mm& a, const Mm& b, const Mm& c, const Mm& d) { return construct(fill_eye, "eye", a, b, c, d); }

// ---- rand and randn: a first argument reading "state" or "seed" reads or
// sets the generator instead ----

double randM() { return uniform_draw(); }
Mm randM(double n) { return construct(fill_rand, n, n); }
Mm randM(double rows, double cols) { return construct(fill_rand, rows, cols); }

Mm randM(const Mm& a)
{
    Mm r;
    if (random_text_form(random_uniform, a, nullptr, r))
        return r;
    return construct(fill_rand, "rand", a, a, one_M, one_M);
}

Mm randM(const Mm& a, const Mm& b)
{
    Mm r;
    if (random_text_form(random_uniform, a, &b, r))
        return r;
    return construct(fill_rand, "rand", a, b, one_M, one_M);
}

Mm randM(const Mm& a, const Mm& b, const Mm& c) { return construct(fill_rand, "rand", a, b, c, one_M); }
Mm randM(const Mm& a, const Mm& b, const Mm& c, const Mm& d) { return construct(fill_rand, "rand", a, b, c, d); }

double randn() { return normal_draw(); }
Mm randn(double n) { return construct(fill_randn, n, n); }
Mm randn(double rows, double cols) { return construct(fill_randn, rows, cols); }

Mm randn(const Mm& a)
{
    Mm r;
    if (random_text_form(random_normal, a, nullptr, r))
        return r;
    return construct(fill_randn, "randn", a, a, one_M, one_M);
}

Mm randn(const Mm& a, const Mm& b)
{
    Mm r;
    if (random_text_form(random_normal, a, &b, r))
        return r;
    return construct(fill_randn, "randn", a, b, one_M, one_M);
}

Mm randn(const Mm& a, const Mm& b, const Mm& c) { return construct(fill_randn, "randn", a, b, c, one_M); }
Mm randn(const Mm& a, const Mm& b, const Mm& c, const Mm& d) { return construct(fill_randn, "randn", a, b, c, d); }

// ---- czeros and ceye: counts straight from compiled code ----

Mm czeros(int complex, int rows, int cols)
{
    const int counts[2] = {rows, cols};
    return czeros(complex, 2, counts);
}

Mm czeros(int complex, int ndims, const int* dims)
{
    Mm r(complex, 0, 0, ndims, dims, qv_double);
    clear(r.addr(), r.getnnz());
    if (r.isc())
        clear(r.addi(), r.getnnz());
    return r;
}

Mm ceye(int complex, int rows, int cols)
{
    Mm r = czeros(complex, rows, cols);
    set_diagonal(r);
    return r;
}
