// The host interface: the workspace of named variables by call frame and
// the hooks through which a host evaluates text and calls functions by name.
#pragma once

#include "value.h"

// The workspace: frame 0 holds the global variables, frame 1 the top level,
// frames 2 to 512 the active language calls.
class variables_scope_t {
public:
    enum { frames = 513 };

    void begin();   // opens a frame; "Call stack too deep" at the 513th
    void end();     // closes the current frame, releasing its entries
    void reset();   // closes frames down to the top level

    // Internal operations of the registry.
    int scope_frame_of(const Mm* value) const;
    int scope_find(const char* name, int frame) const;
    Mm* scope_lookup(const char* name, int frame) const;
    int scope_count(int frame) const;
    Mm* scope_entry(int k, int frame) const;
    const char* scope_entry_name(int k, int frame) const;
    void scope_register(Mm* value, int owned);
    void scope_unregister(Mm* value);
    void scope_remove_entry(int k, int frame);
    void scope_remove_value(Mm* value);
    void scope_clear_entry(int k);
    int depth() const { return top; }

    // Unload: reset, close frames 1 and 0, release every frame's arrays.
    void shutdown();

private:
    bool check_entry(int k, int frame) const;
    void remove_slot(int k, int frame);

    // Constant-initialised: values registered by other static initialisers
    // and released by static destructors always find a valid registry.
    int top = 0;
    Mm** entries[frames] = {};
    int* owned[frames] = {};
    int count[frames] = {};
    int capacity[frames] = {};
};

extern variables_scope_t variables_scope;
// Non-zero while the host tracks named values in the workspace.
extern int scope_tracking;

// Hooks a host sets to evaluate language text, call a function by name and
// run a GUI callback text.
using eval_func_t = int (*)(const char* text);
using feval_func_t = Mm (*)(Mm name, Mm args, i_o_t, Mm&, Mm&, Mm&, Mm&, Mm&, Mm&);
using callback_func_t = Mm (*)(Mm text);
extern eval_func_t eval_func;
extern feval_func_t feval_func;
extern callback_func_t callback_func;

// The last-error text: read and cleared, or replaced.
Mm lasterr();
Mm lasterr(const Mm& x);

// Function name and line of the current frame of the language call stack.
const char* vfilename();
int vfileline();

// ---- argument assertions ----
// Each runs its tests on x in the order of its name (integer, real, scalar,
// vector) and raises "<name>: <variable> not integer" (or "not real", "not
// scalar", "not vector") at the first that fails; the result is empty.
Mm mbint(const Mm& x);
Mm mbintreal(const Mm& x);
Mm mbintrealscalar(const Mm& x);
Mm mbintrealvector(const Mm& x);
Mm mbintscalar(const Mm& x);
Mm mbintvector(const Mm& x);
Mm mbrealvector(const Mm& x);
Mm mbscalar(const Mm& x);
Mm mbvector(const Mm& x);

// ---- stub entries ----
// Environment functions a compiled program may call that the library does
// not provide: each takes up to 17 values, ignores them and returns the
// text "Stub called.".
#define VELKOR_STUB_PARAMETERS                                                                                  \
    Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, \
       Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M, Mm = x_M
Mm assignin(VELKOR_STUB_PARAMETERS);
Mm close_system(VELKOR_STUB_PARAMETERS);
Mm find_system(VELKOR_STUB_PARAMETERS);
Mm open_system(VELKOR_STUB_PARAMETERS);
Mm get_param(VELKOR_STUB_PARAMETERS);
Mm set_param(VELKOR_STUB_PARAMETERS);
Mm simset(VELKOR_STUB_PARAMETERS);
Mm system_dependent(VELKOR_STUB_PARAMETERS);
Mm quidedit(VELKOR_STUB_PARAMETERS);
#undef VELKOR_STUB_PARAMETERS
