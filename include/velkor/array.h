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
Mm flipdim(const Mm& a);
Mm ipermute(const Mm& a);
Mm linspace(const Mm& a);
Mm logspace(const Mm& a);
Mm permute(const Mm& a);
Mm repmat(const Mm& a);

// ---- transposes, flips, rotation and replication ----
// Reverses the order of all dimensions; noconj 0 also conjugates. An empty
// value is returned as it is.
Mm transpose(const Mm& a, int noconj);
Mm transpose(const Mm& a);
Mm dot_transpose(const Mm& a);
Mm ctranspose(const Mm& a);
// Column and row order reversed (2-d values only). flipdim flips the rows
// when dim is 1 and the columns for any other dim.
Mm fliplr(const Mm& a);
Mm flipud(const Mm& a);
Mm flipdim(const Mm& a, const Mm& dim);
// k quarter turns counter-clockwise (2-d values only); k is truncated.
Mm rot90(const Mm& a);
Mm rot90(const Mm& a, const Mm& k);
// a tiled by up to four rounded counts (missing counts are 1); all counts 1
// returns a itself.
Mm repmat(const Mm& a, const Mm& v);
Mm repmat(const Mm& a, const Mm& m, const Mm& n);

// ---- sparse storage views ----
// The full form of a value; a full value is returned as a shared copy.
Mm full(const Mm& s);
// Compressed-column views of a sparse value, from the standard heap: row
// of each stored entry (Ir) and the first stored entry of each column (Jc).
// The caller releases them with freeIrJc.
int* getIr(const Mm& s);
int* getJc(const Mm& s);
void freeIrJc(int* ir, int* jc);
// Rewrites S's positions from a compressed-column pair; S already has room.
void setIrJc(Mm& s, int* ir, int* jc);

// ---- sparse values ----
// The sparse form of A without its zeros (NaN counts as non-zero).
Mm sparse(const Mm& a);
// An m x n sparse value with nothing stored.
Mm sparse(const Mm& m, const Mm& n);
// Entries s(k) at rows i(k), columns j(k); entries at one position add up.
Mm sparse(const Mm& i, const Mm& j, const Mm& s);
Mm sparse(const Mm& i, const Mm& j, const Mm& s, const Mm& m);
Mm sparse(const Mm& i, const Mm& j, const Mm& s, const Mm& m, const Mm& n);
Mm sparse(Mm i, Mm j, Mm s, Mm m, Mm n, Mm nzmax);

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
// Columns ascending (a row vector as one row), NaN last. A cell of strings
// sorts as sortrows sorts it.
Mm sort(const Mm& a);
Mm sort(const Mm& a, i_o_t, Mm& sorted, Mm& index);
Mm sort(const Mm& a, const Mm& dim);
Mm sort(const Mm& a, const Mm& dim, i_o_t, Mm& sorted, Mm& index);
// Rows in ascending order of the listed columns (by default all, left to
// right), each column ordered as sort orders it; ties keep their input
// order. index is the column of the rows' input numbers. A cell of strings
// sorts as the rows of a char matrix and gives a column cell back.
Mm sortrows(const Mm& a);
Mm sortrows(const Mm& a, const Mm& cols);
Mm sortrows(const Mm& a, i_o_t, Mm& sorted, Mm& index);
Mm sortrows(const Mm& a, const Mm& cols, i_o_t, Mm& sorted, Mm& index);

// ---- N-d index conversion and dimension helpers ----
// The k-th diagonal of a matrix as a column, or a vector placed on the k-th
// diagonal of a square matrix.
Mm diag(const Mm& x);
Mm diag(const Mm& x, const Mm& k);
// Subscripts of linear indices for extents siz; the last output takes all
// remaining dimensions. The function's own result is x_M.
Mm ind2sub(const Mm& siz, Mm ind, i_o_t, Mm& r, Mm& c);
Mm ind2sub(const Mm& siz, Mm ind, i_o_t, Mm& r, Mm& c, Mm& p);
Mm ind2sub(const Mm& siz, Mm ind, i_o_t, Mm& r, Mm& c, Mm& p, Mm& q);
// Linear indices of subscripts for extents siz; subscripts are not checked.
Mm sub2ind(const Mm& siz, const Mm& i, const Mm& j);
Mm sub2ind(const Mm& siz, const Mm& i, const Mm& j, const Mm& k);
Mm sub2ind(const Mm& siz, const Mm& i, const Mm& j, const Mm& k, const Mm& l);
// Forms with nothing to compute: without a size argument ind2sub returns
// nop_M and leaves its outputs alone; the two-argument forms return b.
Mm ind2sub(const Mm& ind, i_o_t, Mm& r);
Mm ind2sub(const Mm& ind, i_o_t, Mm& r, Mm& c);
Mm ind2sub(const Mm& ind, i_o_t, Mm& r, Mm& c, Mm& p);
Mm ind2sub(const Mm& ind, i_o_t, Mm& r, Mm& c, Mm& p, Mm& q);
Mm ind2sub(const Mm& a, const Mm& b);
Mm sub2ind(const Mm& a, const Mm& b);
Mm cat(const Mm& a, const Mm& b);
Mm textwrap(const Mm& a, const Mm& b);
// Extents of 1 removed from a value of more than two dimensions.
Mm squeeze(Mm x);
Mm ndims(const Mm& x);
// Dimensions rearranged: extent m of the result is extent order(m) of x.
// order must be a permutation of 1..n with n at least ndims(x), at most 4.
Mm permute(Mm x, Mm order);
Mm ipermute(const Mm& x, Mm order);
// x's storage read as the row-major storage of an array of x's extents.
Mm row2col(Mm x);

// ---- set operations ----
// Element forms treat values as lists (ascending as sort orders them);
// row forms, chosen by a third input of any value, treat each row as one
// member. Index outputs are 1-based and point to last occurrences.
// Cells of strings are not sets here: every form refuses a cell ("numeric
// data expected") except ismember's row form, which reads a cell of strings
// as the blank-padded char matrix of its strings. sort sorts them.
Mm unique(Mm a);
Mm unique(Mm a, i_o_t, Mm& b, Mm& i);
Mm unique(Mm a, i_o_t, Mm& b, Mm& i, Mm& j);
Mm unique(Mm a, Mm flag);
Mm unique(Mm a, Mm flag, i_o_t, Mm& b, Mm& i);
Mm unique(Mm a, Mm flag, i_o_t, Mm& b, Mm& i, Mm& j);
// Logical: which elements of a (which rows, as a column) occur in S.
Mm ismember(Mm a);
Mm ismember(Mm a, Mm S);
Mm ismember(Mm a, Mm S, Mm flag);
Mm intersect(Mm A);
Mm intersect(Mm A, i_o_t, Mm& R, Mm& ia, Mm& ib);
Mm intersect(Mm A, Mm B);
Mm intersect(Mm A, Mm B, i_o_t, Mm& R, Mm& ia);
Mm intersect(Mm A, Mm B, i_o_t, Mm& R, Mm& ia, Mm& ib);
Mm intersect(Mm A, Mm B, Mm flag);
Mm intersect(Mm A, Mm B, Mm flag, i_o_t, Mm& R, Mm& ia);
Mm intersect(Mm A, Mm B, Mm flag, i_o_t, Mm& R, Mm& ia, Mm& ib);
Mm setdiff(Mm A);
Mm setdiff(Mm A, i_o_t, Mm& R, Mm& ia);
Mm setdiff(Mm A, Mm B);
Mm setdiff(Mm A, Mm B, i_o_t, Mm& R, Mm& ia);
Mm setdiff(Mm A, Mm B, Mm flag);
Mm setdiff(Mm A, Mm B, Mm flag, i_o_t, Mm& R, Mm& ia);
Mm setxor(Mm A);
Mm setxor(Mm A, i_o_t, Mm& R, Mm& ia, Mm& ib);
Mm setxor(Mm A, Mm B);
Mm setxor(Mm A, Mm B, i_o_t, Mm& R, Mm& ia);
Mm setxor(Mm A, Mm B, i_o_t, Mm& R, Mm& ia, Mm& ib);
Mm setxor(Mm A, Mm B, Mm flag);
Mm setxor(Mm A, Mm B, Mm flag, i_o_t, Mm& R, Mm& ia);
Mm setxor(Mm A, Mm B, Mm flag, i_o_t, Mm& R, Mm& ia, Mm& ib);
// The union.
Mm munion(Mm A);
Mm munion(Mm A, i_o_t, Mm& R, Mm& ia, Mm& ib);
Mm munion(Mm A, Mm B);
Mm munion(Mm A, Mm B, i_o_t, Mm& R, Mm& ia);
Mm munion(Mm A, Mm B, i_o_t, Mm& R, Mm& ia, Mm& ib);
Mm munion(Mm A, Mm B, Mm flag);
Mm munion(Mm A, Mm B, Mm flag, i_o_t, Mm& R, Mm& ia);
Mm munion(Mm A, Mm B, Mm flag, i_o_t, Mm& R, Mm& ia, Mm& ib);

// ---- sparse constructors and queries ----
// Linear indices (1-based) of the non-zeros; NaN counts as non-zero.
Mm find(const Mm& a);
Mm find(const Mm& a, i_o_t, Mm& i, Mm& j);
Mm find(const Mm& a, i_o_t, Mm& i, Mm& j, Mm& v);
Mm nnz(const Mm& a);
Mm nonzeros(const Mm& a);
// Stored entries plus one for a sparse value, the element count otherwise.
Mm nzmax(const Mm& a);
Mm speye();
Mm speye(const Mm& n);
Mm speye(const Mm& m, const Mm& n);
Mm spzeros(const Mm& n);
Mm spzeros(const Mm& m, const Mm& n);
// Room for nz entries, stored as explicit zeros.
Mm spalloc(const Mm& m, const Mm& n, const Mm& nz);
Mm spalloc(const Mm& m);
Mm spalloc(const Mm& m, const Mm& n);
Mm spones(const Mm& s);
Mm sprand(const Mm& s);
Mm sprandn(const Mm& s);
Mm sprand(const Mm& m, const Mm& n);
Mm sprandn(const Mm& m, const Mm& n);
Mm sprand(const Mm& m, const Mm& n, const Mm& density);
Mm sprandn(const Mm& m, const Mm& n, const Mm& density);
Mm sprand_eng1(const Mm& s, int uniform);
Mm sprand_eng3(const Mm& m, const Mm& n, const Mm& density, int uniform);
// From and to the coordinate list: rows (i, j, value) and a last row
// (rows, cols, 0).
Mm spconvert(Mm a);
Mm sp2coo(const Mm& s);
// The function named f (called through feval_func) on the non-zeros of s.
Mm spfun(const Mm& f, const Mm& s);
Mm spfun(const Mm& f);
Mm colperm(Mm s);
Mm colmmd(Mm s);
Mm randperm(const Mm& n);
Mm sparsfun(const Mm& a, const Mm& b);
Mm sparsfun(const Mm& a, const Mm& b, i_o_t, Mm& o1, Mm& o2);
// Entries that accept their arguments and do nothing.
Mm echo(const Mm& a);
Mm inbounds();
Mm ivdep();
Mm more(const Mm& a);
Mm realonly();
Mm rmpath(const Mm& a);
Mm sim(const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&, const Mm&,
       const Mm&, const Mm&, i_o_t, Mm&, Mm&, Mm&);
Mm sim(const Mm&, const Mm&, const Mm&, const Mm&, i_o_t, Mm&, Mm&, Mm&);
Mm spparms(const Mm& a);
Mm spparms(const Mm& a, const Mm& b);
Mm then();


// ---- equality ----
// Same element type, field names, dimensions and values (text and numbers
// alike; NaN equals nothing; sparse and full compare by value). A cell
// against a value that is not a cell holds when any element of the cell
// equals the value: the test of a switch case.
int isequal(const Mm& a, const Mm& b);
// a equals b and every element of the cell rest.
int isequal(const Mm& a, const Mm& b, const Mm& rest);
int isequal(const Mm& a);

// ---- for-loop helpers ----
// The iterations of a for loop over x: its columns, pages included.
int forsize(Mm& range);
int columns(const Mm& x);
// Sets var to column k (from 0) of range, in range's element type.
void forelem(Mm& var, Mm& range, int k);

// ---- small value functions ----
// x{1}, and x{k} into the k-th output.
Mm deal(const Mm& x);
Mm deal(const Mm& x, i_o_t, Mm& o1);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6, Mm& o7);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6, Mm& o7, Mm& o8);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6, Mm& o7, Mm& o8, Mm& o9);
Mm deal(const Mm& x, i_o_t, Mm& o1, Mm& o2, Mm& o3, Mm& o4, Mm& o5, Mm& o6, Mm& o7, Mm& o8, Mm& o9, Mm& o10);
// A copy with its own storage.
Mm deepcopy(const Mm& x);
// i*y and x + i*y, the parts placed as given.
Mm mcomplex(const Mm& y);
Mm mcomplex(const Mm& x, const Mm& y);
// A rows x cols double from rows*cols doubles in column-major order.
Mm M_from_double_array(double* p, int rows, int cols);
// n points from a to b (100 by default); fewer than 2 give b.
Mm linspace(const Mm& a, const Mm& b);
Mm linspace(const Mm& a, const Mm& b, const Mm& n);
// n points from 10^a to 10^b (50 by default); b equal to pi ends at pi.
Mm logspace(const Mm& a, const Mm& b);
Mm logspace(const Mm& a, const Mm& b, const Mm& n);
// 2^53, the largest whole double below which every whole number is exact.
Mm bitmax();
// The platform tag "PCWIN", which stored files carry.
Mm computer();
Mm computer(i_o_t, Mm& c, Mm& maxsize);
// The environment variable named by the text name; empty text when unset.
Mm getenv(const Mm& name);
Mm inputname(const Mm& x);
// The demonstration surface over the grid x, y (by default 49 x 49 points
// from -3 to 3; n points, or the points of a vector n).
Mm peaks();
Mm peaks(const Mm& n);
Mm peaks(const Mm& x, const Mm& y);
Mm peaks(i_o_t, Mm& x, Mm& y, Mm& z);
Mm peaks(const Mm& n, i_o_t, Mm& x, Mm& y, Mm& z);
Mm peaks(const Mm& x, const Mm& y, i_o_t, Mm& gx, Mm& gy, Mm& z);
// Consistency of the state-space matrices: the message (empty when they
// fit) is returned, never raised.
Mm abcdchk(const Mm& a);
Mm abcdchk(const Mm& a, const Mm& b);
Mm abcdchk(const Mm& a, const Mm& b, const Mm& c);
Mm abcdchk(const Mm& a, const Mm& b, const Mm& c, const Mm& d);
Mm abcdchk(const Mm& a, const Mm& b, i_o_t, Mm& msg, Mm& a2, Mm& b2);
Mm abcdchk(const Mm& a, const Mm& b, const Mm& c, const Mm& d, i_o_t, Mm& msg, Mm& a2, Mm& b2, Mm& c2, Mm& d2);
