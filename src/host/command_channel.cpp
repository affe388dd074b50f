// The host command channel _kiv_do: one exported entry through which the
// interactive environment switches on scope tracking, walks the workspace,
// shows, clears and describes variables, installs its hooks and forwards a
// few environment commands.
#include "host/console.hpp"
#include "host/display.hpp"
#include "host/search_path.hpp"
#include "io/files.hpp"
#include "platform/modules.hpp"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/report.h"

#include <plu.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// Environment functions of the GUI layer, reached when the library has
// them.
// (figure_close and the two application handles are in velkor/graphics.h.)
Mm designer() __attribute__((weak));
Mm helpwin(const Mm& topic) __attribute__((weak));

void strip_trailing_underscore(char* name)
{
    const std::size_t n = std::strlen(name);
    if (n > 1 && name[n - 1] == '_')
        name[n - 1] = '\0';
}

namespace {

// At most size - 1 characters of text and a terminator.
void copy_out(char* out, std::size_t size, const std::string& text)
{
    if (!out || size == 0)
        return;
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

// The name of an entry as the host lists it.
void entry_name(int k, int frame, char* out)
{
    const Mm* v = variables_scope.scope_entry(k, frame);
    if (!v || !out)
        return;
    const char* name = v->getname();
    if (!name || !platform::readable(name, 16)) {
        char text[40];
        std::snprintf(text, sizeof text, "%016llX",
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(name)));
        copy_out(out, 40, text);
        return;
    }
    copy_out(out, 40, std::string(name, strnlen(name, 39)));
    strip_trailing_underscore(out);
}

Mm* named_value(const char* name)
{
    Mm* v = variables_scope.scope_lookup(name, variables_scope.depth());
    return v ? v : variables_scope.scope_lookup(name, 0);
}

int frame_of_text(const char* text)
{
    return text && std::strcmp(text, "global") == 0 ? 0 : variables_scope.depth();
}

} // namespace

extern "C" intptr_t _kiv_do(int command, intptr_t number, char* text)
{
    const int top = variables_scope.depth();
    const int k = static_cast<int>(number);
    switch (command) {
    case 0:
        scope_tracking = 1;
        return 0;
    case 1:
        return variables_scope.scope_count(top);
    case 2:
        entry_name(k, top, text);
        return 0;
    case 3:
        if (Mm* v = named_value(text ? text : ""))
            display(*v);
        else
            qv_printf("Variable '%s' not found.\n", text ? text : "");
        return 0;
    case 4:
        if (!text) {
            for (int m = variables_scope.scope_count(top) - 1; m >= 0; --m)
                variables_scope.scope_clear_entry(m);
        } else if (std::strcmp(text, "global") == 0) {
            for (int m = variables_scope.scope_count(0) - 1; m >= 0; --m)
                variables_scope.scope_remove_entry(m, 0);
        } else if (Mm* v = variables_scope.scope_lookup(text, top)) {
            variables_scope.scope_remove_value(v);
        } else {
            clear_plu(text);
        }
        return 0;
    case 5:
        if (designer)
            designer();
        return 0;
    case 6:
        return reinterpret_cast<intptr_t>(&qv_error_stack);
    case 9:
    case 11: {
        const int f = frame_of_text(text);
        bool any = false;
        for (int m = 0; m < variables_scope.scope_count(f); ++m) {
            const Mm* v = variables_scope.scope_entry(m, f);
            if (command == 9) {
                whos_line(*v);
            } else if (v->getname()) {
                qv_printf("%s ", v->getname());
                any = true;
            }
        }
        if (any)
            qv_printf("\n");
        return 0;
    }
    case 10: {
        const Mm* v = variables_scope.scope_entry(k, top);
        if (!v)
            return 0;
        copy_out(text, 40, class_name_of(*v));
        return v->gettype() == qv_cell && v->getclassid() != 0 ? 1 : 0;
    }
    case 12:
        eval_func = reinterpret_cast<eval_func_t>(text);
        return 0;
    case 13:
        print_help_text(text ? text : "", 1, nullptr, 0);
        return 0;
    case 14: {
        Mm listing = dir_listing(text ? text : "");
        const int field = listing.isstruct() ? listing.findfield("name", 0) : -1;
        for (int m = 1; field >= 0 && m <= listing.size(); ++m) {
            char name[512];
            Mstr(listing.mr(m).mr(field + 1), name, sizeof name);
            qv_printf("%s\n", name);
        }
        return 0;
    }
    case 15:
        qv_set_debug_handler(reinterpret_cast<qv_debug_handler_t>(text));
        return 0;
    case 16:
        qv_set_print_handler(reinterpret_cast<qv_text_handler>(text));
        return 0;
    case 17:
        qv_set_input_handler(reinterpret_cast<qv_input_handler_t>(text));
        return 0;
    case 18:
        qv_set_kbhit_handler(reinterpret_cast<qv_kbhit_handler_t>(text));
        return 0;
    case 19:
        qv_set_clc_handler(reinterpret_cast<qv_clc_handler_t>(text));
        return 0;
    case 20:
        mpath_pointer = text;
        return 0;
    case 21:
        qv_clc_handler();
        return 0;
    case 22:
        setapplicationhandle(text);
        return 0;
    case 23:
        return variables_scope.scope_count(0);
    case 24:
        entry_name(k, 0, text);
        return 0;
    case 25:
        system_command_hook = text ? reinterpret_cast<system_command_hook_t>(text) : default_system_command;
        return 0;
    case 26:
        return reinterpret_cast<intptr_t>(named_value(text ? text : ""));
    case 27:
        clear_plu(text ? text : "");
        return 0;
    case 28:
        guiexit(k);
        return 0;
    case 29:
    case 30: {
        const Mm* v = variables_scope.scope_entry(k, command == 29 ? top : 0);
        if (v)
            copy_out(text, 64, value_summary_text(*v));
        return 0;
    }
    case 31:
        print_help_text(text ? text : "", 0, nullptr, 0);
        return 0;
    case 32:
        if (helpwin)
            helpwin(TM(text ? text : ""));
        return 0;
    case 33: {
        const char* name = reinterpret_cast<const char*>(number);
        if (text)
            describe_name(name ? name : "", text);
        return 0;
    }
    case 34:
        figure_close(TM(text ? text : ""));
        return 0;
    case 35:
        openvar(TM(text ? text : ""));
        return 0;
    case 36:
        memory();
        return 0;
    case 37:
        if (text)
            Mstr(version(), text, 2048);
        return 0;
    case 38:
        setapplicationkeyhandle(text);
        return 0;
    default:
        return 0;
    }
}
