// Argument checks that raise a fixed message naming the function and the
// value at fault, and the side-effect-free predicates functions branch on.
#pragma once

#include "value.h"

// Each check raises and returns 1 when the value fails (a caller sees that
// only when the error hook returns), 0 when it passes.
int error_2d(const Mm& x, const char* f);
int error_square(const Mm& x, const char* f);
int error_sparse(const Mm& x, const char* f);
int error_struct(const Mm& x, const char* f);
int error_numeric(const Mm& x, const char* f);

// "%s does not accept %d input%s"; returns 0.
double error_input(const char* f, int n);
void validate_narg(const char* f, int nargout, int nargin, int min_out, int max_out, int min_in, int max_in);

// The value a switch statement tests.
Mm switchinit(const Mm& x);
// The real value of a one-element real full double; raises otherwise.
double scalar(const Mm& x);
double scalar(double v);

// Truth value for if and while.
int istrue(const Mm& x);
int istrue(double v);

int iscell(const Mm& x);
int isstruct(const Mm& x);
int is_struct(const Mm& x);
int kaIsStruct(const Mm& x);
int isobject(const Mm& x);
int isempty(const Mm& x);
int isscalar(const Mm& x);
int is_scalar(const Mm& x);
int isvector(const Mm& x);
int is_vector(const Mm& x);
int is_square(const Mm& x);
int islogical(const Mm& x);
int isnumeric(const Mm& x);
int isdouble(const Mm& x);
int kaIsDouble(const Mm& x);
int isuint8(const Mm& x);
int kaIsUint8(const Mm& x);
int issparse(const Mm& x);
int kaIsSparse(const Mm& x);
// The library has no such element types: always 0.
int kaIsInt8(const Mm& x);
int kaIsInt16(const Mm& x);
int kaIsInt32(const Mm& x);
int kaIsUint16(const Mm& x);
int kaIsUint32(const Mm& x);
int kaIsSingle(const Mm& x);
int isglobal(const Mm& x);
int is_same_dims(const Mm& x, const Mm& y);
int is_same_dims(const int* const a, const int* const b);
int isnegative(const double* v, int n);
int iscomplex(const double* v, int n);
// Whether x is complex once an all-zero imaginary part (or any imaginary
// part of a byte value) is discounted; x itself keeps it.
int iscomplex(const Mm& x);
int isreal(const Mm& x);
// 1 when every element is an integer below 1e7 in magnitude; -1 for type 0.
int isint(const Mm& x);
// Text test used throughout the library.
int isstr(const Mm& x);
