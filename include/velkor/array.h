// Arrays, cells, structs and classes: user classes and their methods,
// random numbers and constructors, and the array functions built on them.
#pragma once

#include "value.h"

// ---- ranges ----
// colon() is an ordinary empty value: only c_p itself indexes a whole
// dimension. Ranges that select nothing are the 0x0 empty value.
Mm colon();
Mm colon(double a, double b);
Mm colon(const Mm& a, const Mm& b);
Mm colon(double a, double d, double b);
Mm colon(const Mm& a, const Mm& d, const Mm& b);

// ---- reshape and concatenation ----
// New extents from the vector dims (truncated toward zero) or one per
// argument (rounded); the element count must stay the same. The result
// shares a's data; a sparse value stays sparse.
Mm reshape(const Mm& a, const Mm& dims);
Mm reshape(const Mm& a, const Mm& m, const Mm& n);
Mm reshape(const Mm& a, const Mm& m, const Mm& n, const Mm& p);
Mm reshape(const Mm& a, const Mm& m, const Mm& n, const Mm& p, const Mm& q);
// cat(2, a, b) and cat(1, a, b), the rules of the language's brackets. An
// empty operand is dropped whatever its extents. A cell does not join a
// number; uint8 wins over double. Text joined with numbers is text; the
// result is logical only when both operands are; a sparse operand makes
// the result sparse.
Mm horzcat(const Mm& a, const Mm& b);
Mm vertcat(const Mm& a, const Mm& b);
// Along dimension dim (1 to 4); dimensions above 2 keep empty operands.
// Horizontal only for dim exactly 2 among the two-dimensional cases.
Mm cat(const Mm& dim, Mm a, Mm b);
Mm cat(const Mm& dim, const Mm& a, const Mm& b, const Mm& c);
// Nothing to join: the 0x0 empty value.
Mm cat(const Mm& a);
Mm all();

// ---- cells ----
// Every element of a new cell is an empty double. An empty size argument
// gives the empty value nop_M; missing arguments count as 1.
Mm cell(const Mm& a);
Mm cell(const Mm& a, const Mm& b);
Mm cell(const Mm& a, const Mm& b, const Mm& c);
Mm cell(const Mm& a, const Mm& b, const Mm& c, const Mm& d);
Mm cells(const Mm& a);
Mm cells(const Mm& a, const Mm& b);
// A column cell of the rows of x, each without its trailing blanks (and
// code-0 characters); a cell is returned as it is.
Mm cellstr(const Mm& x);
// A 1 x n cell of copies of the values p[0] to p[n - 1].
Mm cell_from_array(int n, const Mm** p);
// A struct array whose fields are named by the cell fields and filled from
// the cell c along dimension dim: the extent of c there must equal the
// number of names. The one- and two-argument forms only reject the call.
Mm cell2struct(const Mm& c);
Mm cell2struct(const Mm& c, const Mm& fields);
Mm cell2struct(const Mm& c, const Mm& fields, const Mm& dim);
// 1 for a cell whose elements are all text (an empty cell included).
int iscellstr(const Mm& x);

// ---- structs ----
// A struct is a cell-typed value with field names; each of its elements is
// a column cell of that element's field values, in field order.
// The field names as an N x 1 cell of char rows, in creation order.
Mm fieldnames(const Mm& s);
// Logical 1 or 0 for a struct (exact, case-sensitive names); the double 0
// for any other value.
Mm isfield(const Mm& s, const Mm& name);
// Walks path, a cell of steps: a name selects that field, a cell of up to
// four subscripts selects elements. A path that is not a cell is one step.
Mm getfield(const Mm& s, const Mm& path);
// A copy of s with one assignment: s.(index) = v for a name, or
// s(index{1}, ...) = v for a cell of subscripts (any other index value is
// the one subscript).
Mm setfield(const Mm& s, const Mm& index, const Mm& v);
// A copy of s without the named fields (one name, or a cell of names).
Mm rmfield(const Mm& s, const Mm& names);
// The language's struct: args is a cell of the call's arguments, name and
// value pairs; a cell value spreads over the elements of a struct array.
Mm mstruct(const Mm& args);
// A cell of the field values, N x size(s) for N fields.
Mm struct2cell(const Mm& s);
// A copy of x flagged logical; the values are not changed.
Mm mlogical(const Mm& x);
// The function-handle checks of compiled code: fcn gets f (or a), msg the
// empty char row; the result is x_M.
Mm fcnchk(const Mm& f, const Mm& x, i_o_t, Mm& fcn, Mm& msg);
Mm prefcnchk(const Mm& a, const Mm& b, const Mm& c, const Mm& d, i_o_t, Mm& fcn, Mm& msg);
// Forms that only reject the call.
Mm isfield(const Mm& s);
Mm getfield(const Mm& s);
Mm setfield(const Mm& s);
Mm setfield(const Mm& s, const Mm& index);
Mm rmfield(const Mm& s);
// One-argument forms with nothing to compute: each returns its argument.
Mm horzcat(const Mm& a);
Mm vertcat(const Mm& a);
Mm reshape(const Mm& a);
Mm colon(const Mm& a);
Mm fcnchk(const Mm& a);
Mm fcnchk(const Mm& a, const Mm& b);
Mm formula(const Mm& a);
Mm inlinefcn(const Mm& a);
Mm inlinefcn(const Mm& a, const Mm& b);
Mm minline(const Mm& a);
Mm minline(const Mm& a, const Mm& b);

// ---- transposes ----
// Reverses the order of all dimensions; noconj 0 also conjugates.
Mm transpose(const Mm& a, int noconj);
Mm transpose(const Mm& a);

// ---- sparse storage views ----
// The full form of a value; a full value is returned as a shared copy.
Mm full(const Mm& s);
// Compressed-column views of a sparse value, from the standard heap: row
// of each stored entry (Ir) and the first stored entry of each column (Jc).
// The caller releases them with freeIrJc.
int* getIr(const Mm& s);
int* getJc(const Mm& s);
void freeIrJc(int* ir, int* jc);

// ---- user classes ----
using class_method_1 = Mm (*)(Mm);
using class_method_2 = Mm (*)(Mm, Mm);
using class_method_3 = Mm (*)(Mm, Mm, Mm);
using class_method_out = Mm (*)(Mm, Mm, i_o_t, Mm&, Mm&);

// The method name is kept by pointer: it must outlive its registration.
void register_class_function(const char* class_name, const char* method_name, class_method_1 fn);
void register_class_function(const char* class_name, const char* method_name, class_method_2 fn);
void register_class_function(const char* class_name, const char* method_name, class_method_3 fn);
void register_class_function(const char* class_name, const char* method_name, class_method_out fn);
void unregister_class_function(const char* class_name, const char* method_name);
int is_class_function(const char* class_name, const char* method_name);
// Sends a call to the class of the first value with struct fields (else of
// the last value).
Mm call_class_function(const char* method_name, const Mm& a);
Mm call_class_function(const char* method_name, const Mm& a, const Mm& b);
Mm call_class_function(const char* method_name, const Mm& a, const Mm& b, const Mm& c);

int isa(const Mm& x, const Mm& name);
Mm mclass(const Mm& x);
Mm mclass(const Mm& s, const Mm& name);
Mm mdouble(const Mm& x);
// The language's char: str2mat of x (velkor/io.h).
Mm mchar(const Mm& x);
Mm muint8(const Mm& x);
Mm muint16(const Mm& x);
Mm subsasgn(const Mm& a);
Mm subsasgn(const Mm& a, const Mm& s);
Mm subsasgn(const Mm& a, const Mm& s, const Mm& b);
Mm subsref(const Mm& a);
Mm subsref(const Mm& a, const Mm& s);
Mm subsindex(const Mm& a);

// ---- constructors and random numbers ----
// Scalar size arguments are truncated (below 1 and NaN give 0), size vectors
// are rounded; an empty size argument gives an empty result. rand and randn
// draw from process-wide generators whose first argument "state" or "seed"
// reads (one argument) or sets (two) the generator and its method.
Mm zeros(double n);
Mm zeros(double rows, double cols);
Mm zeros(const Mm& a);
// Rows from the first element of a, columns from the first element of b.
Mm zeros(const Mm& a, const Mm& b);
Mm zeros(const Mm& a, const Mm& b, const Mm& c);
Mm zeros(const Mm& a, const Mm& b, const Mm& c, const Mm& d);

Mm ones();
// Standard output's file identifier, 1.
Mm stdoutM();
Mm ones(double n);
Mm ones(double rows, double cols);
Mm ones(const Mm& a);
Mm ones(const Mm& a, const Mm& b);
Mm ones(const Mm& a, const Mm& b, const Mm& c);
Mm ones(const Mm& a, const Mm& b, const Mm& c, const Mm& d);

// A 3-d or 4-d eye has its ones in the first page only.
Mm eye();
Mm eye(double n);
Mm eye(double rows, double cols);
Mm eye(const Mm& a);
Mm eye(const Mm& a, const Mm& b);
Mm eye(const Mm& a, const Mm& b, const Mm& c);
Mm eye(const Mm& a, const Mm& b, const Mm& c, const Mm& d);

// Uniform on [0, 1); with no argument a plain double.
double randM();
Mm randM(double n);
Mm randM(double rows, double cols);
Mm randM(const Mm& a);
Mm randM(const Mm& a, const Mm& b);
Mm randM(const Mm& a, const Mm& b, const Mm& c);
Mm randM(const Mm& a, const Mm& b, const Mm& c, const Mm& d);

// Standard normal; with no argument a plain double.
double randn();
Mm randn(double n);
Mm randn(double rows, double cols);
Mm randn(const Mm& a);
Mm randn(const Mm& a, const Mm& b);
Mm randn(const Mm& a, const Mm& b, const Mm& c);
Mm randn(const Mm& a, const Mm& b, const Mm& c, const Mm& d);

// Zeros and the identity from plain counts, with an all-zero imaginary part
// when complex is non-zero.
Mm czeros(int complex, int rows, int cols);
Mm czeros(int complex, int ndims, const int* dims);
Mm ceye(int complex, int rows, int cols);

// ---- sorting ----
// Columns ascending (a row vector as one row), NaN last.
Mm sort(const Mm& a);
Mm sort(const Mm& a, i_o_t, Mm& sorted, Mm& index);
