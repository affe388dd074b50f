// The language functions over the workspace: clear, exist, which, who,
// whos (of the workspace or of a data file) and openvar.
#include "host/search_path.hpp"
#include "io/data_files.hpp"
#include "io/files.hpp"
#include "platform/files.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/engine.h"
#include "velkor/host.h"
#include "velkor/list.h"
#include "velkor/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <string>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const search_path* host_path() { return static_cast<const search_path*>(mpath_pointer); }

// The file that a language name stands for: name.v (for a name without a
// '.'), else the name itself, through the host's path; "" when none.
std::string language_file(const std::string& name)
{
    for (int add_ext : {1, 0}) {
        std::string found = name;
        if (std::FILE* f = open_on_path(host_path(), nullptr, found, add_ext)) {
            std::fclose(f);
            return found;
        }
    }
    return "";
}

Mm whos_table(const std::vector<std::string>& names, const std::vector<const Mm*>& values)
{
    const int n = static_cast<int>(names.size());
    Mm table = cell(Mm(static_cast<double>(n)), Mm(4.0));
    if (table.gettype() != qv_cell)  // refused under a returning error hook
        return x_M;
    for (int k = 0; k < n; ++k) {
        table.mr(k + 1, 1) = TM(names[static_cast<std::size_t>(k)].c_str());
        if (const Mm* v = values[static_cast<std::size_t>(k)]) {
            table.mr(k + 1, 2) = size(*v);
            table.mr(k + 1, 3) = Mm(8.0 * (v->size() > 0 ? v->size() : 0));
            table.mr(k + 1, 4) = mclass(*v);
        } else {
            table.mr(k + 1, 4) = nop_M;
        }
    }
    if (n == 0)
        return table;
    Mm fields = cell(Mm(1.0), Mm(4.0));
    if (fields.gettype() != qv_cell)  // refused under a returning error hook
        return x_M;
    fields.mr(1) = TM("name");
    fields.mr(2) = TM("size");
    fields.mr(3) = TM("bytes");
    fields.mr(4) = TM("class");
    return cell2struct(table, fields, Mm(2.0));
}

Mm names_of(const Mm& listing)
{
    if (!listing.isstruct())
        return cell(Mm(0.0), Mm(1.0));
    const int n = listing.size();
    Mm out = cell(Mm(static_cast<double>(n)), Mm(1.0));
    if (out.gettype() != qv_cell)  // refused under a returning error hook
        return x_M;
    const int field = listing.findfield("name", 0);
    for (int k = 1; k <= n && field >= 0; ++k)
        out.mr(k) = listing.mr(k).mr(field + 1);
    return out;
}

} // namespace

std::string describe_name(const char* name)
{
    const int top = variables_scope.depth();
    const int k = variables_scope.scope_find(name, top);
    if (k >= 0)
        return "a variable";
    const std::string file = language_file(name ? name : "");
    return file.empty() ? "unknown" : file;
}

void describe_name(const char* name, char* out)
{
    const std::string text = describe_name(name);
    std::memset(out, 0, 512);
    std::memcpy(out, text.data(), std::min<std::size_t>(text.size(), 511));
}

Mm clear()
{
    const int top = variables_scope.depth();
    for (int k = variables_scope.scope_count(top) - 1; k >= 0; --k)
        if (k < variables_scope.scope_count(top))
            variables_scope.scope_remove_value(variables_scope.scope_entry(k, top));
    return x_M;
}

Mm clear(const Mc& list)
{
    for (int k = 0; k < list.count(); ++k) {
        Mm& v = const_cast<Mm&>(list.element(k));
        variables_scope.scope_remove_value(&v);
        v = nop_M;
    }
    return x_M;
}

Mm exist(const Mm& name)
{
    if (!isstr(name)) {
        error("exist: argument is not string");
        return Mm(0.0);
    }
    const std::string n = value_text(name);
    if (n == "_VORSEN_")
        return Mm(9.0);
    const Mm* v = variables_scope.scope_lookup(n.c_str(), variables_scope.depth());
    if (v && v->gettype() != qv_none)
        return Mm(1.0);
    if (!language_file(n).empty())
        return Mm(2.0);
    if (platform::dir_exists(n))
        return Mm(7.0);
    return Mm(0.0);
}

Mm exist(const Mm& name, const Mm& kind)
{
    const double a = scalar(exist(name));
    const std::string k = value_text(kind);
    if ((k == "var" && a == 1) || (k == "builtin" && a == 5) || (k == "file" && a == 2) || (k == "dir" && a == 7))
        return Mm(a);
    return Mm(0.0);
}

Mm which(const Mm& name) { return TM(describe_name(value_text(name).c_str()).c_str()); }

Mm whos()
{
    const int top = variables_scope.depth();
    std::vector<std::string> names;
    std::vector<const Mm*> values;
    for (int k = 0; k < variables_scope.scope_count(top); ++k) {
        const Mm* v = variables_scope.scope_entry(k, top);
        if (v && v->getname()) {
            names.emplace_back(v->getname());
            values.push_back(v);
        }
    }
    return whos_table(names, values);
}

Mm who() { return names_of(whos()); }

Mm whos(const Mm&, const Mm& file)
{
    const std::string name = value_text(file);
    int kind = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(open_data_file(host_path(), name, &kind), std::fclose);
    if (!f) {
        error("load: %s not found", name.c_str());
        return x_M;
    }
    std::vector<std::string> names;
    std::string previous;
    for (;;) {
        std::string next = data_file_next_name(f.get(), name, kind, previous);
        if (next.empty())
            break;
        names.push_back(next == " " ? "" : next);
        previous = next;
    }
    return whos_table(names, std::vector<const Mm*>(names.size(), nullptr));
}

Mm who(const Mm& x, const Mm& file) { return names_of(whos(x, file)); }

Mm openvar(const Mm& name)
{
    std::string n = value_text(name);
    n.erase(0, n.find_first_not_of(" \t\r\n\v\f"));
    const int top = variables_scope.depth();
    Mm* v = variables_scope.scope_lookup(n.c_str(), top);
    if (!v)
        v = variables_scope.scope_lookup(n.c_str(), 0);
    if (!v) {
        qv_printf("Variable '%s' not found.\n", n.c_str());
        return x_M;
    }
    const search_path* p = host_path();
    std::string program = add_trailing_backslash(p ? p->home : "") + "quidview.exe";
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%llu", static_cast<unsigned long long>(::getpid()));
    std::string pid = numbers;
    std::snprintf(numbers, sizeof numbers, "%llu", static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(v)));
    const std::string native = platform::native_path(program);
    const char* argv[] = {native.c_str(), pid.c_str(), numbers, nullptr};
    pid_t child;
    if (::access(native.c_str(), X_OK) != 0 ||
        ::posix_spawn(&child, native.c_str(), nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        display(*v);
    return x_M;
}
