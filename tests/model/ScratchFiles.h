#pragma once

// A private folder for a test's files, removed with everything in it (read-only entries too),
// whole-file reads and writes, and a writer that fails part-way.

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "model/Propdmp.h"

#ifdef _WIN32
#include <random>
#else
#include <stdlib.h>
#include <unistd.h>
#endif

// Test paths are UTF-8, as the tool's are; std::filesystem would read a plain std::string in
// Windows' ANSI code page.
inline std::filesystem::path Utf8Path(const std::string& Text) {
    return std::filesystem::path(std::u8string(Text.begin(), Text.end()));
}

inline std::string Utf8Text(const std::filesystem::path& Path) {
    const std::u8string Text = Path.u8string();
    return {Text.begin(), Text.end()};
}

class TScratchDir {
public:
    TScratchDir() {
#ifdef _WIN32
        std::random_device Random;
        do
            Path = std::filesystem::temp_directory_path() /
                   ("propdump-test-" + std::to_string(Random()));
        while (!std::filesystem::create_directory(Path));
#else
        std::string pattern =
            (std::filesystem::temp_directory_path() / "propdump-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        Path = pattern;
#endif
    }
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    ~TScratchDir() {
        std::error_code ignored;
        std::filesystem::permissions(Path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(Path, ignored);
    }
    std::string operator/(const std::string& name) const { return Utf8Text(Path / Utf8Path(name)); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(Path))
            names.push_back(Utf8Text(e.path().filename()));
        std::sort(names.begin(), names.end());
        return names;
    }
    std::filesystem::path Path;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(Utf8Path(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Writes through to the file until Limit bytes are out, then fails with Error (a full disk by
// default), as a device does when it breaks in the middle of a save.
class TFailingWriter : public TFileWriter {
public:
    explicit TFailingWriter(std::size_t limit, int error = ENOSPC) : Limit(limit), Error(error) {}
    void Write(const FileSystem::TFile& File, const char* Data, std::size_t Size) override {
        const std::size_t n = std::min(Size, Limit - Written);
        if (const std::error_code error = FileSystem::Write(File, Data, n))
            throw std::system_error(error, "write");
        Written += n;
        if (n < Size)
            throw std::system_error(Error, std::generic_category(), "write");
    }
    std::size_t Limit;
    int Error;
    std::size_t Written = 0;
};
