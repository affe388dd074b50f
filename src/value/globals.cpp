// Every global value of the value layer and the start-up object, in one
// translation unit so that they are created in this order at load and
// destroyed in the reverse order at unload. The upper layers keep their
// globals (property names, chart records, the progress window) in their
// own files: they need nothing of the start-up but the allocator.
#include "platform/byte_order.hpp"
#include "value/globals.hpp"
#include "value/report.hpp"
#include "value/runtime.hpp"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/report.h"
#include "velkor/runtime.h"
#include "velkor/value.h"
#include "vizmo4510.h"

#include <plu.h>

i_o_t i_o;

// The global constants: declared variables here, valued by the start-up
// object below. Assignment keeps each one's name.
Mm nothing_M(i_o, "nothing", 0);
Mm TICTOC(i_o, "TICTOC", 0);
Mm ans(i_o, "ans", 0);
Mm i(i_o, "i", 0);
Mm j(i_o, "j", 0);
Mm pi(i_o, "pi", 0);
Mm Inf(i_o, "Inf", 0);
Mm NaN(i_o, "NaN", 0);
Mm eps(i_o, "eps", 0);
Mm x_M(i_o, "x_M", 0);
Mm semi(i_o, ";", 0);
Mm c_p(i_o, ":", 0);
Mm nop_M(i_o, "[]", 0);
Mm one_M(i_o, "1", 0);
Mm zero_M(i_o, "0", 0);
Mm l_M(i_o, "l_M", 0);
Mm page_screen_output(i_o, "page_screen_output", 0);
Mm implicit_str_to_num_ok(i_o, "implicit_str_to_num_ok", 0);
Mm empty_list_elements_ok(i_o, "empty_list_elements_ok", 0);
Mm switchvar(i_o, "switchvar", 0);

// The language call stack, depth 0, its line pointer on frame 0.
constinit qv_error_stack_t qv_error_stack = {{}, {}, 0, &qv_error_stack.lines[0]};

namespace {

// Connects the library to the graphics engine, installs the crash filter,
// creates the locks, sets up floating point and values the constants.
struct startup_object {
    startup_object()
    {
        vizmo_init(4510, static_cast<int>(sizeof(Mm)));
        vizmo_set_callback_hook(gui_callback_entry);
        vizmo_set_error_hook(pluErrMsgTxt);
        vizmo_set_destroy_hook(kaDestroyArray);
        // The thread priority stays as the host set it.
        install_crash_filter();
        runtime_locks_init();
        init_ieee_constants();
        init_native_format();
        fpu_reset();
        // Floating-point exceptions are masked, so they raise no signal; an
        // integer division trap still reaches the crash filter.
        clear_last_error();
        read_external_program_names();
        init_constants();
    }
    ~startup_object()
    {
        vizmo_set_callback_hook(nullptr);
        vizmo_set_error_hook(nullptr);
        vizmo_set_destroy_hook(nullptr);
        fpu_reset();
        runtime_locks_delete();
    }
};

startup_object startup;

// The workspace opens its first frame after the start-up object and closes
// every frame before the constants go.
struct workspace_lifetime {
    workspace_lifetime() { variables_scope.begin(); }
    ~workspace_lifetime() { variables_scope.shutdown(); }
};

} // namespace

constinit variables_scope_t variables_scope;

namespace {
workspace_lifetime workspace;
}
