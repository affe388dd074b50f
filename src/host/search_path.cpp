// The search path: the object's entries in one fixed buffer (a layout hosts
// share), the file lookups through it, and the language functions addpath,
// path, vorlanpath and vorlanroot on the host's instance.
#include "host/search_path.hpp"

#include "platform/files.hpp"
#include "velkor/checks.h"
#include "velkor/report.h"
#include "velkor/runtime.h"

#include <cstring>
#include <new>

void* mpath_pointer = nullptr;
search_path static_search_path;

search_path::search_path() : start(static_cast<char*>(qv_malloc(capacity))), end(start), home{}
{
    if (!start) {
        error("Out of memory!");
        throw std::bad_alloc();
    }
    std::memset(start, 0, capacity);
}

search_path::~search_path()
{
    qv_free(start);
    start = end = nullptr;
}

std::string add_trailing_backslash(std::string path)
{
    if (!path.empty() && path.back() != '\\' && path.back() != '/')
        path += '\\';
    return path;
}

void split_dir_and_name(const std::string& path, std::string* dir, std::string* name)
{
    std::size_t cut = path.find_last_of("/\\");
    std::size_t n = cut == std::string::npos ? 0 : cut + 1;
    if (dir)
        *dir = path.substr(0, n);
    if (name)
        *name = path.substr(n);
}

search_path* path_or_error()
{
    if (!mpath_pointer)
        error("path is not available in compiled programs.");
    return static_cast<search_path*>(mpath_pointer);
}

// ---- the object ----

namespace {

// Calls f(entry) for each entry in order until it returns true.
template <class F>
bool each_entry(const search_path& p, F&& f)
{
    for (const char* e = p.start; e && e < p.end; e += std::strlen(e) + 1)
        if (f(e))
            return true;
    return false;
}

} // namespace

bool search_path_contains(const search_path& p, const char* dir)
{
    return each_entry(p, [&](const char* e) { return std::strcmp(e, dir) == 0; });
}

void search_path_add(search_path& p, const char* dir, int at_back)
{
    if (!p.start || search_path_contains(p, dir))
        return;
    const std::size_t n = std::strlen(dir) + 1;
    const std::size_t used = static_cast<std::size_t>(p.end - p.start);
    if (used + n + 2 >= search_path::capacity)
        return;
    if (at_back) {
        std::memcpy(p.end, dir, n);
    } else {
        std::memmove(p.start + n, p.start, used);
        std::memcpy(p.start, dir, n);
    }
    p.end += n;
}

void search_path_add_text(search_path& p, const char* text, int at_back)
{
    std::string all = text ? text : "";
    std::size_t pos = 0;
    while (pos <= all.size()) {
        std::size_t next = all.find(';', pos);
        if (next == std::string::npos)
            next = all.size();
        std::string token = all.substr(pos, next - pos);
        pos = next + 1;
        std::size_t lead = 0;
        while (lead < token.size() && (token[lead] == ' ' || (token[lead] >= '\t' && token[lead] <= '\r')))
            ++lead;
        token.erase(0, lead);
        if (token.empty() || token.compare(0, 5, "diary") == 0)
            continue;
        if (token.compare(0, 8, "/tmp_mnt") == 0)
            token.erase(0, 8);
        if (token.empty())
            continue;
        std::string dir = add_trailing_backslash(platform::full_path_name(token));
        search_path_add(p, platform::language_path(dir).c_str(), at_back);
    }
}

void search_path_set_text(search_path& p, const char* text)
{
    if (!p.start)
        return;
    std::memset(p.start, 0, search_path::capacity);
    p.end = p.start;
    const char* t = text ? text : "";
    std::size_t k = 0;
    for (; k + 1 < search_path::capacity; ++k) {
        p.start[k] = t[k] == ';' ? '\0' : t[k];
        if (t[k] == '\0') {
            ++k;
            break;
        }
    }
    p.end = p.start + k;
}

std::string search_path_text(const search_path& p)
{
    std::string out(p.start, static_cast<std::size_t>(p.end - p.start));
    for (char& c : out)
        if (c == '\0')
            c = ';';
    return out;
}

std::size_t search_path_size(const search_path& p) { return static_cast<std::size_t>(p.end - p.start); }

const char* search_path_first(const search_path& p) { return p.start ? p.start : ""; }

// ---- lookups ----

namespace {

std::string with_extension(const std::string& name, int add_ext)
{
    return add_ext && name.find('.') == std::string::npos ? name + ".v" : name;
}

} // namespace

bool find_on_path(const search_path& p, const char* private_base, const char* dir, const std::string& name,
                  int add_ext, std::string& found)
{
    const std::string file = with_extension(name, add_ext);
    if (platform::file_exists(file)) {
        found.clear();
        return true;
    }
    if (dir && platform::file_exists(std::string(dir) + file)) {
        found = dir;
        return true;
    }
    if (private_base) {
        std::string priv = add_trailing_backslash(add_trailing_backslash(private_base) + "private");
        if (platform::file_exists(priv + file)) {
            found = priv;
            return true;
        }
    }
    return each_entry(p, [&](const char* e) {
        if (!platform::file_exists(std::string(e) + file))
            return false;
        found = e;
        return true;
    });
}

std::FILE* open_on_path(const search_path* p, const char* dir, std::string& name, int add_ext)
{
    const std::string file = with_extension(name, add_ext);
    std::string where;
    bool found = false;
    if (p && find_on_path(*p, nullptr, dir, file, 0, where)) {
        name = where + file;
        found = true;
    }
    if (platform::file_exists(file)) {
        name = file;
        found = true;
    }
    return found ? platform::open_file(name, "rb") : nullptr;
}

// ---- language functions ----

namespace {

std::string whole_text(const Mm& x)
{
    const int n = x.getnnz() > 0 ? x.getnnz() : 0;
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    Mstr_row(x, s.data(), n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

} // namespace

Mm addpath(const Mm& dirs)
{
    search_path* p = path_or_error();
    if (!p)
        return x_M;
    if (dirs.gettype() != qv_cell) {
        search_path_add_text(*p, whole_text(dirs).c_str(), 0);
        return x_M;
    }
    for (int k = dirs.size(); k >= 1; --k)
        search_path_add_text(*p, whole_text(dirs.mr(k)).c_str(), 0);
    return x_M;
}

Mm vorlanpath()
{
    search_path* p = path_or_error();
    return p ? TM(search_path_text(*p).c_str()) : x_M;
}

Mm vorlanpath(const Mm& text)
{
    search_path* p = path_or_error();
    if (p)
        search_path_set_text(*p, whole_text(text).c_str());
    return x_M;
}

Mm vorlanroot()
{
    search_path* p = path_or_error();
    return p ? TM(search_path_first(*p)) : x_M;
}

Mm path() { return vorlanpath(); }
Mm path(const Mm& text) { return vorlanpath(text); }

Mm path(const Mm& a, const Mm& b)
{
    if (!path_or_error())
        return x_M;
    vorlanpath(a);
    addpath(b);
    return x_M;
}
