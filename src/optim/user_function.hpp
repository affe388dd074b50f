// A user function called by name, as every solver of this subsystem calls
// it: the argument cell holds the current point first and the caller's
// extra parameters after it, and the point is dropped again after the call
// so that a function keeping its arguments never sees later points.
#pragma once

#include "velkor/value.h"

class user_function {
public:
    // extra: a cell of extra parameters (its elements follow the point), an
    // empty value (none), or any other value (the one extra parameter).
    // leading: how many arguments the solver sets before the extras.
    user_function(const Mm& name, const Mm& extra, int leading = 1);

    // The function at x for its first output (one output wanted).
    Mm operator()(const Mm& x);
    // The same with the leading arguments a and b (the rest left empty).
    Mm call2(const Mm& a, const Mm& b);
    // call2 with a the scalar t and b the n-by-1 column of y. The two
    // values stay in the cell and are the previous call's, rewritten,
    // unless the function kept one of them; x_M when a value could not
    // be made (called false: the function was not called).
    Mm call_point(double t, const double* y, int n, bool& called);
    // All outputs: the host fills up to six; returns the hook's result.
    Mm call_outputs(const Mm& x, Mm& out1, Mm& out2, Mm& out3, Mm& out4, Mm& out5, Mm& out6);
    // The leading arguments set, all outputs asked for.
    Mm call2_outputs(const Mm& a, const Mm& b, Mm& out1, Mm& out2, Mm& out3, Mm& out4, Mm& out5, Mm& out6);

    const char* name() const noexcept { return name_; }

private:
    // The argument cell's elements, un-shared first when the function kept
    // a copy of the cell itself.
    Mm* slots();
    // The call for the first output with the leading slots set; empties the
    // slots and the kept outputs again, errors included.
    Mm call_first(int leading);
    // The same leaving the leading slots as they are.
    Mm call_kept();

    char name_[40];
    Mm name_value_;  // made once: the hook takes the name as a value
    Mm args_;
    Mm empty_;
    Mm outs_[6];     // the hook's output slots: empty, or without storage, between calls
    int leading_;
};

// The first element of a function's result as a double (other element
// types converted); raises "optimization: function returned empty result"
// for an empty result and "optimization: function returned complex value"
// for one with an imaginary part, and gives NaN should the error hook
// return.
double first_value(const Mm& result);

// Whether v holds its n elements: a refused allocation under an error hook
// that returns leaves a value without them.
inline bool allocated(const Mm& v, long long n) { return v.hasstorage() && v.size() == n; }

// The first element of an argument as a double; an empty argument raises
// the value layer's ".r(): matrix is empty" message.
double first_argument(const Mm& v);

// The imaginary part of an argument's first element; 0 for real values.
double first_imaginary(const Mm& v);

// A limit of an interval (quad8's a and b, fmin's x1 and x2) as a double:
// its first element. An empty or non-numeric value raises "<who>: the
// limit <name> is empty or not numeric" and gives false; one with a
// non-zero imaginary part raises "<who>: the limit <name> must be real".
bool limit_argument(const Mm& v, const char* who, const char* name, double& out);
