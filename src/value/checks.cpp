// Argument checks with their fixed messages, truth values and predicates.
#include "engine/scalar_real.hpp"
#include "value/report.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/value.h"

#include <cmath>
#include <cstdio>

int error_2d(const Mm& x, const char* f)
{
    if (x.getndims() < 3)
        return 0;
    error("%s: 2-d matrix expected, but matrix %s has %d dimensions", f, matrix_display_name(x), x.getndims());
    return 1;
}

int error_square(const Mm& x, const char* f)
{
    if (error_2d(x, f))
        return 1;
    if (x.rows() == x.cols())
        return 0;
    error("%s: square matrix expected, but matrix %s has %d rows and %d columns", f, matrix_display_name(x), x.rows(),
          x.cols());
    return 1;
}

int error_sparse(const Mm& x, const char* f)
{
    if (x.issparse())
        return 0;
    error("%s: sparse matrix expected, but matrix %s is full", f, matrix_display_name(x));
    return 1;
}

int error_struct(const Mm& x, const char* f)
{
    if (x.isstruct())
        return 0;
    error("%s: structure expected, but matrix %s is not", f, matrix_display_name(x));
    return 1;
}

int error_numeric(const Mm& x, const char* f)
{
    if (x.gettype() != qv_cell)
        return 0;
    error("%s: numeric data expected, but matrix %s is not", f, matrix_display_name(x));
    return 1;
}

double error_input(const char* f, int n)
{
    char text[256];
    std::snprintf(text, sizeof text, "%s does not accept %d input%s", f, n, n == 1 ? "" : "s");
    error("%s", text);
    return 0;
}

void validate_narg(const char* f, int nargout, int nargin, int min_out, int max_out, int min_in, int max_in)
{
    if (nargout < min_out)
        error("Too few (%d<%d) outputs for %s", nargout, min_out, f);
    else if (nargout > max_out)
        error("Too many (%d>%d) outputs for %s", nargout, max_out, f);
    else if (nargin < min_in)
        error("Too few (%d<%d) inputs for %s", nargin, min_in, f);
    else if (nargin > max_in)
        error("Too many (%d>%d) inputs for %s", nargin, max_in, f);
}

Mm switchinit(const Mm& x)
{
    x.warn_uninit();
    return x;
}

double scalar(const Mm& x)
{
    const char* why = nullptr;
    if (x.size() != 1)
        why = "not scalar";
    else if (x.isc())
        why = "complex";
    else if (x.isstr())
        why = "string";
    else if (x.issparse())
        why = "sparse";
    else if (x.gettype() != qv_double)
        why = "not double";
    if (why) {
        error("scalar: matrix %s is %s", matrix_display_name(x), why);
        return 0;
    }
    return *x.addr();
}

double scalar(double v) { return v; }

int istrue(const Mm& x)
{
    if (x.isstruct())
        return istrue(mdouble(x));
    if (x.issparse())
        return x.size() > 0 && x.getnnz() == x.size();
    if (x.gettype() == qv_none) {
        x.warn_uninit();
        return 0;
    }
    if (x.gettype() != qv_cell && x.size() <= 0)
        return 0;
    switch (x.gettype()) {
    case qv_double: {
        const double* p = x.addr();
        for (int k = 0, n = x.size(); k < n; ++k)
            if (!(p[k] < 0 || p[k] > 0))  // zero, and NaN with it
                return 0;
        return 1;
    }
    case qv_uint8: {
        const unsigned char* p = x.getpr((unsigned char*)nullptr);
        for (int k = 0, n = x.size(); k < n; ++k)
            if (p[k] == 0)
                return 0;
        return 1;
    }
    default:
        error("cell array has no true/false meaning");
        return 0;
    }
}

int istrue(double v) { return v < 0 || v > 0; }

int iscell(const Mm& x) { return x.gettype() == qv_cell && !x.isstruct(); }
int isstruct(const Mm& x) { return x.isstruct() && x.getclassid() == 0; }
int is_struct(const Mm& x) { return isstruct(x); }
int kaIsStruct(const Mm& x) { return isstruct(x); }
int isobject(const Mm& x) { return x.isstruct() && x.getclassid() != 0; }

int isempty(const Mm& x)
{
    const int* d = x.getdims();
    return d[0] == 0 || d[1] == 0 || d[2] == 0 || d[3] == 0;
}

int isscalar(const Mm& x) { return x.size() == 1; }
int is_scalar(const Mm& x) { return isscalar(x); }

int isvector(const Mm& x)
{
    int above_one = 0;
    for (int k = 0; k < x.getndims() && k < 4; ++k)
        if (x.getdims()[k] != 1)
            ++above_one;
    return above_one <= 1;
}

int is_vector(const Mm& x) { return isvector(x); }

int is_square(const Mm& x)
{
    return x.rows() == x.cols() && x.getndims() == 2 && x.gettype() != qv_cell;
}

int islogical(const Mm& x) { return x.islogical() && !x.isc(); }

int isnumeric(const Mm& x)
{
    int t = x.gettype();
    return !x.isstr() && (t == qv_none || t == qv_double || t == qv_uint8);
}

int isdouble(const Mm& x) { return x.gettype() == qv_double; }
int kaIsDouble(const Mm& x) { return isdouble(x); }
int isuint8(const Mm& x) { return x.gettype() == qv_uint8; }
int kaIsUint8(const Mm& x) { return isuint8(x); }
int issparse(const Mm& x) { return x.issparse(); }
int kaIsSparse(const Mm& x) { return x.issparse(); }
int isglobal(const Mm& x) { return x.isglobal(); }

int is_same_dims(const int* const a, const int* const b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

int is_same_dims(const Mm& x, const Mm& y) { return is_same_dims(x.getdims(), y.getdims()); }

int isnegative(const double* v, int n)
{
    for (int k = 0; k < n; ++k)
        if (v[k] < 0)
            return 1;
    return 0;
}

int iscomplex(const double* v, int n)
{
    if (!v)
        return 0;
    for (int k = 0; k < n; ++k)
        if (v[k] != 0)  // NaN counts as non-zero
            return 1;
    return 0;
}

// What getreal(0) would leave complex, asked without dropping anything
// from x: a double with an imaginary part that is not all zero.
int iscomplex(const Mm& x) { return x.gettype() == qv_double && iscomplex(x.addi(), x.getnnz()); }
int isreal(const Mm& x) { return !iscomplex(x); }

int isint(const Mm& x)
{
    switch (x.gettype()) {
    case qv_none:
        x.warn_uninit();
        return -1;
    case qv_uint8:
        return 1;
    case qv_cell:
        return 0;
    default:
        break;
    }
    const double* re = x.addr();
    const double* im = x.addi();
    for (int k = 0, n = x.getnnz(); k < n; ++k) {
        double e = re[k];
        // NaN fails both tests: it is not an integer.
        if (!(std::floor(e) == e && std::fabs(e) < 1e7))
            return 0;
        if (im && im[k] != 0)
            return 0;
    }
    return 1;
}


