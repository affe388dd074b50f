// A fresh directory under the system's temporary folder for one test, made
// the current directory while it lives and removed with all its content.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace test {

class temp_dir {
public:
    temp_dir()
    {
        old_ = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "numrun-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = std::filesystem::canonical(pattern);
        std::filesystem::current_path(path_);
    }
    ~temp_dir()
    {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(path_, ec);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The directory in the language's form: '\' separators.
    std::string language() const
    {
        std::string s = path_.string();
        for (char& c : s)
            if (c == '/')
                c = '\\';
        return s;
    }

    // Writes a file (relative to the directory) with the given bytes.
    void write(const std::string& name, const std::string& bytes) const
    {
        std::filesystem::create_directories((path_ / name).parent_path());
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const
    {
        std::ifstream in(path_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::filesystem::path old_;
    std::filesystem::path path_;
};

} // namespace test
