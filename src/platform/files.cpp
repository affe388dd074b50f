// The file-system layer: name translation between the language's backslash
// form and the system's, and the handful of queries the path code needs.
#include "platform/files.hpp"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

std::string native_path(std::string_view name)
{
    std::string s(name);
    for (char& c : s)
        if (c == '\\')
            c = '/';
    return s;
}

std::string language_path(std::string_view name)
{
    std::string s(name);
    for (char& c : s)
        if (c == '/')
            c = '\\';
    return s;
}

std::FILE* open_file(std::string_view name, const char* mode)
{
    return std::fopen(native_path(name).c_str(), mode);
}

bool file_exists(std::string_view name)
{
    if (name.empty())
        return false;
    // A directory opens for reading here but is no file.
    std::FILE* f = open_file(name, "rb");
    if (!f)
        return false;
    struct stat st;
    const bool regular = ::fstat(fileno(f), &st) == 0 && !S_ISDIR(st.st_mode);
    std::fclose(f);
    return regular;
}

bool dir_exists(std::string_view name)
{
    std::string n = native_path(name);
    if (n.empty())
        return false;
    struct stat st;
    return ::stat(n.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(n.c_str(), X_OK) == 0;
}

std::string current_dir()
{
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE)
            return "";
        buf.resize(buf.size() * 2);
    }
    return language_path(buf.data());
}

std::string full_path_name(std::string_view name)
{
    std::string text = language_path(name);
    if (text.empty() || text[0] != '\\')
        text = current_dir() + "\\" + text;
    // Fold the components: "." goes, ".." takes the one before it.
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t next = text.find('\\', pos);
        if (next == std::string::npos)
            next = text.size();
        std::string part = text.substr(pos, next - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        pos = next + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += "\\" + p;
    const bool trailing = !name.empty() && (name.back() == '\\' || name.back() == '/');
    if (out.empty() || trailing)
        out += "\\";
    return out;
}

std::string temp_dir()
{
    const char* t = std::getenv("TMPDIR");
    std::string d = t && *t ? t : "/tmp";
    d = language_path(d);
    if (d.back() != '\\')
        d += '\\';
    return d;
}

} // namespace platform
