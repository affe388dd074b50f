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

// ---- cells ----
// Every element of a new cell is an empty double. An empty size argument
// gives the empty value nop_M.
Mm cell(const Mm& a);
Mm cell(const Mm& a, const Mm& b);

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
Mm muint8(const Mm& x);
Mm muint16(const Mm& x);
Mm subsasgn(const Mm& a);
Mm subsasgn(const Mm& a, const Mm& s);
Mm subsasgn(const Mm& a, const Mm& s, const Mm& b);
Mm subsref(const Mm& a);
Mm subsref(const Mm& a, const Mm& s);
Mm subsindex(const Mm& a);
