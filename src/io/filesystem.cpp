// Files, directories and system commands: help and type of language files,
// path building, copying, directory operations and listings, temporary
// names, the memory status and the commands of dos, unixM and system.
#include "io/files.hpp"

#include "host/search_path.hpp"
#include "platform/files.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/graphics.h"
#include "velkor/host.h"
#include "velkor/io.h"
#include "velkor/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fnmatch.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>
#include <vector>

std::string value_text(const Mm& x)
{
    const int n = x.getnnz() > 0 ? x.getnnz() : 0;
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    Mstr_row(x, s.data(), n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

namespace {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// Reads one line with its line end; false at the end of the file.
bool read_line(std::FILE* f, std::string& line)
{
    line.clear();
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        line += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    return !line.empty();
}

// Where help text goes: the print hook or a caller's buffer of fixed size.
class help_sink {
public:
    help_sink(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity)
    {
        if (buffer_ && capacity_ > 0)
            buffer_[0] = '\0';
    }
    void put(const std::string& text)
    {
        if (!buffer_) {
            qv_printf("%s", text.c_str());
            return;
        }
        if (capacity_ == 0)
            return;
        std::size_t room = capacity_ - 1 - used_;
        std::size_t n = std::min(room, text.size());
        std::memcpy(buffer_ + used_, text.data(), n);
        used_ += n;
        buffer_[used_] = '\0';
    }

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
};

bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

void print_help_text(const char* name, int whole, char* buffer, std::size_t capacity)
{
    help_sink out(buffer, capacity);
    const char* n = name ? name : "";
    while (is_blank(*n))
        ++n;
    std::string file = n;
    file_ptr f(open_on_path(&static_search_path, nullptr, file, 1));
    if (!f) {
        file = n;
        f.reset(open_on_path(&static_search_path, nullptr, file, 0));
    }
    if (!f) {
        out.put(std::string(n) + " not found.\n");
        return;
    }
    std::string line;
    bool in_block = false;
    while (read_line(f.get(), line)) {
        std::size_t lead = 0;
        while (lead < line.size() && is_blank(line[lead]) && line[lead] != '\n')
            ++lead;
        std::string text = line.substr(lead);
        if (whole) {
            out.put(text);
            continue;
        }
        if (text.compare(0, 8, "function") == 0)
            continue;
        const bool empty = text.empty() || text[0] == '\n' || text[0] == '\r';
        if (empty) {
            if (in_block)
                return;
            continue;
        }
        in_block = true;
        if (text[0] == '%')
            text.erase(0, 1);
        out.put(text);
    }
}

// ---- help, type, fullfile ----

Mm help(const Mm& name)
{
    if (!isstr(name)) {
        error("help: argument not a string");
        return x_M;
    }
    print_help_text(value_text(name).c_str(), 0, nullptr, 0);
    return x_M;
}

Mm type(const Mm& name)
{
    if (!isstr(name)) {
        error("type: argument not a string");
        return x_M;
    }
    print_help_text(value_text(name).c_str(), 1, nullptr, 0);
    return x_M;
}

Mm fullfile() { return TM(""); }

Mm fullfile(const Mm& parts)
{
    const bool cell = parts.gettype() == qv_cell;
    const int n = cell ? parts.size() : 1;
    std::string out;
    for (int k = 1; k <= n; ++k) {
        std::string part = value_text(cell ? parts.mr(k) : parts);
        if (k > 1 && !part.empty() && (part.front() == '\\' || part.front() == '/'))
            part.erase(0, 1);
        if (!part.empty() && (part.back() == '\\' || part.back() == '/'))
            part.pop_back();
        if (k > 1)
            out += '\\';
        out += part;
    }
    return TM(out.c_str());
}

Mm filesep() { return TM("\\"); }
Mm pathsep() { return TM(";"); }

// ---- copying and directories ----

Mm copyfile(const Mm&)
{
    return Mm(error_input("copyfile", 1));
}

Mm copyfile(const Mm& from, const Mm& to)
{
    const std::string src = value_text(from);
    const std::string dst = value_text(to);
    file_ptr in(platform::open_file(src, "rb"));
    if (!in) {
        error("copyfile:Could not read %s", src.c_str());
        return Mm(0.0);
    }
    // A file copied onto itself is left as it is: opening it for writing
    // would empty it first.
    struct stat a, b;
    if (::fstat(fileno(in.get()), &a) == 0 && ::stat(platform::native_path(dst).c_str(), &b) == 0 &&
        a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        return Mm(1.0);
    std::vector<char> block(8192);
    bool read_failed = false;
    int error_number = 0;
    const whole_file outcome = write_whole_file(dst, "wb", [&](std::FILE* out) {
        std::size_t got;
        while ((got = std::fread(block.data(), 1, block.size(), in.get())) > 0)
            if (std::fwrite(block.data(), 1, got, out) != got)
                return false;
        read_failed = std::ferror(in.get()) != 0;
        return !read_failed;
    }, error_number);
    if (outcome == whole_file::not_created) {
        error("copyfile:Could not write %s", dst.c_str());
        return Mm(0.0);
    }
    if (outcome != whole_file::written) {
        error("copyfile:Failed on copy");
        return Mm(0.0);
    }
    return Mm(1.0);
}

Mm mkdir(const Mm& name)
{
    const std::string d = value_text(name);
    if (platform::dir_exists(d))
        return Mm(2.0);
    if (::mkdir(platform::native_path(d).c_str(), 0777) == 0)
        return Mm(1.0);
    warning("Could not make directory %s", d.c_str());
    return Mm(0.0);
}

Mm rmdir(const Mm& name)
{
    const std::string d = value_text(name);
    if (::rmdir(platform::native_path(d).c_str()) == 0)
        return Mm(1.0);
    warning("Could not remove directory %s", d.c_str());
    return Mm(0.0);
}

Mm cd(const Mm& name)
{
    const std::string d = value_text(name);
    if (::chdir(platform::native_path(d).c_str()) == 0)
        return Mm(1.0);
    warning("Could not change directory to %s", d.c_str());
    return Mm(0.0);
}

Mm chdir(const Mm& name) { return cd(name); }

Mm cd() { return TM(platform::current_dir().c_str()); }

Mm deleteM(const Mm& x)
{
    if (isstr(x)) {
        std::remove(platform::native_path(value_text(x)).c_str());
        return x_M;
    }
    deleteobj(x);
    return x_M;
}

// ---- listing ----

namespace {

struct listed_file {
    std::string name;
    std::string date;
    double bytes;
    bool isdir;
};

// "08-Dec-2026 08:35:10" of a time in UTC, month names in English
// whatever the locale.
std::string utc_date_text(std::time_t t)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    if (!::gmtime_r(&t, &tm))
        return "";
    char text[64];
    std::snprintf(text, sizeof text, "%02d-%s-%04d %02d:%02d:%02d", tm.tm_mday, months[tm.tm_mon % 12],
                  tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

// Adds the entry of that name in the directory, as stat sees it (lstat for
// a link to nothing); false when neither finds it.
bool add_listed_file(std::vector<listed_file>& files, const std::string& native_dir, const std::string& name)
{
    struct stat st;
    const std::string full = native_dir + "/" + name;
    if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0)
        return false;
    files.push_back({name, utc_date_text(st.st_mtime), static_cast<double>(st.st_size), S_ISDIR(st.st_mode)});
    return true;
}

std::vector<listed_file> list_files(std::string pattern)
{
    std::string dir, name;
    if (!pattern.empty() && platform::dir_exists(pattern)) {
        dir = add_trailing_backslash(pattern);
    } else {
        split_dir_and_name(pattern, &dir, &name);
    }
    if (name.empty() || name == "*.*")
        name = "*";
    std::vector<listed_file> files;
    const std::string native_dir = platform::native_path(dir.empty() ? "." : dir);
    // A name that exists as given is that file, even when it reads as a
    // pattern ("we[ird].txt").
    if (name != "*" && add_listed_file(files, native_dir, name))
        return files;
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(native_dir.c_str()), ::closedir);
    if (!d)
        return files;
    while (const dirent* e = ::readdir(d.get())) {
        if (::fnmatch(name.c_str(), e->d_name, 0) == 0)
            add_listed_file(files, native_dir, e->d_name);
    }
    std::sort(files.begin(), files.end(),
              [](const listed_file& a, const listed_file& b) { return a.name < b.name; });
    return files;
}

} // namespace

Mm dir_listing(const char* pattern)
{
    const std::vector<listed_file> files = list_files(pattern ? pattern : "");
    const int n = static_cast<int>(files.size());
    Mm table = cell(Mm(static_cast<double>(n)), Mm(4.0));
    if (table.gettype() != qv_cell)  // refused under a returning error hook
        return x_M;
    for (int k = 0; k < n; ++k) {
        const listed_file& f = files[static_cast<std::size_t>(k)];
        table.mr(k + 1, 1) = TM(f.name.c_str());
        table.mr(k + 1, 2) = TM(f.date.c_str());
        table.mr(k + 1, 3) = Mm(f.bytes);
        table.mr(k + 1, 4) = Mm(f.isdir ? 1.0 : 0.0);
    }
    Mm fields = cell(Mm(1.0), Mm(4.0));
    if (fields.gettype() != qv_cell)  // refused under a returning error hook
        return x_M;
    fields.mr(1) = TM("name");
    fields.mr(2) = TM("date");
    fields.mr(3) = TM("bytes");
    fields.mr(4) = TM("isdir");
    return cell2struct(table, fields, Mm(2.0));
}

Mm dir() { return dir_listing(""); }
Mm dir(const Mm& pattern) { return dir_listing(value_text(pattern).c_str()); }

// ---- temporary files and memory ----

Mm tempdir() { return TM(platform::temp_dir().c_str()); }

Mm tempname()
{
    const std::string dir = platform::temp_dir();
    std::string name = platform::native_path(dir + "qvXXXXXX");
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        warning("Could not make a temporary file in %s", dir.c_str());
        return TM("");
    }
    ::close(fd);
    return TM(platform::language_path(name).c_str());
}

Mm memory()
{
    struct sysinfo info {};
    ::sysinfo(&info);
    const unsigned long long unit = info.mem_unit ? info.mem_unit : 1;
    const unsigned long long total = info.totalram * unit;
    const unsigned long long free = (info.freeram + info.bufferram) * unit;
    const unsigned long long load = total ? (total - free) * 100 / total : 0;
    qv_printf("%12llu percent of memory in use\n%12llu bytes of physical memory\n%12llu free physical memory bytes\n",
              load, total, free);
    qv_printf("%12llu bytes of paging file\n%12llu free bytes of paging file\n",
              static_cast<unsigned long long>(info.totalswap) * unit,
              static_cast<unsigned long long>(info.freeswap) * unit);
    return x_M;
}

// ---- system commands ----

int run_command_list(const char* text)
{
    const std::string all = text ? text : "";
    std::size_t pos = 0;
    while (pos < all.size()) {
        std::size_t next = all.find_first_of(";\n", pos);
        if (next == std::string::npos)
            next = all.size();
        const std::string piece = all.substr(pos, next - pos);
        pos = next + 1;
        if (piece.empty())
            continue;
        std::fflush(nullptr);
        if (std::system(piece.c_str()) == -1)
            return -1;
    }
    return 0;
}

int default_system_command(const char* command, int, char*, int) { return run_command_list(command); }

system_command_hook_t system_command_hook = default_system_command;

namespace {

constexpr int command_output_size = 60000;

Mm run_dos(const Mm& command, int echo, Mm* status, Mm* output)
{
    const std::string text = value_text(command);
    std::vector<char> buffer(command_output_size, '\0');
    const int s = system_command_hook(text.c_str(), echo, buffer.data(), command_output_size);
    buffer.back() = '\0';
    if (status)
        *status = Mm(static_cast<double>(s));
    if (output)
        *output = TM(buffer.data());
    return Mm(static_cast<double>(s));
}

} // namespace

Mm dos(const Mm& command) { return run_dos(command, 1, nullptr, nullptr); }
Mm dos(const Mm& command, const Mm& echo) { return run_dos(command, echo.size() > 0, nullptr, nullptr); }

Mm dos(const Mm& command, i_o_t, Mm& status, Mm& output)
{
    run_dos(command, 0, &status, &output);
    return x_M;
}

Mm dos(const Mm& command, const Mm& echo, i_o_t, Mm& status, Mm& output)
{
    run_dos(command, echo.size() > 0, &status, &output);
    return x_M;
}

Mm unixM(const Mm& command) { return dos(command); }

Mm unixM(const Mm& command, i_o_t, Mm& status, Mm& output)
{
    status = dos(command);
    output = TM("");
    return x_M;
}

Mm system(const Mm& command)
{
    if (!isstr(command)) {
        error("system: argument not a string");
        return x_M;
    }
    run_command_list(value_text(command).c_str());
    return x_M;
}
