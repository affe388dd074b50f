// The subscript record handed to a user class's "subsref" and "subsasgn"
// methods, and the test for such a method.
#pragma once

class Mm;
class Mr;

// A 1x1 struct with the fields "type" ("()", "{}", "." or "?") and "subs"
// (the field name, or an n x 1 cell of the index values; a colon is an
// empty double there).
Mm make_subscript_record(const Mr& r);

// Whether x is an object whose class registers the method. The class
// registry sits above this layer and answers through the test it installs
// at load; until then no value has methods.
bool has_class_method(const Mm& x, const char* method);
using class_method_test = bool (*)(int classid, const char* method);
void set_class_method_test(class_method_test test) noexcept;
