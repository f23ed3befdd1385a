// Writes small device library files for the reader and bring-up tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

// A private folder under the system's temporary folder, removed afterwards.
class TempLibraryDir {
  public:
    explicit TempLibraryDir(const std::string& leaf = "Lib") {
        char tmpl[] = "/tmp/vexlor-libXXXXXX";
        const char* made = mkdtemp(tmpl);
        root_ = made ? made : "/tmp";
        path_ = std::filesystem::path(root_) / leaf;
        std::filesystem::create_directories(path_);
    }
    ~TempLibraryDir() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    std::string Path() const { return path_.string(); }

  private:
    std::string root_;
    std::filesystem::path path_;
};

// The library layout: 2 unread bytes, {offset, size} pairs for entries
// 0..pairs-1, then the entries. `bad` pairs are written as given.
inline std::vector<uint8_t>
MakeLibraryBytes(const std::map<uint32_t, std::vector<uint8_t>>& entries, uint32_t pairs = 401,
                 const std::map<uint32_t, std::pair<uint32_t, uint32_t>>& bad = {}) {
    std::vector<uint8_t> out(2 + 8 * static_cast<size_t>(pairs), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    for (const auto& [n, bytes] : entries) {
        put32(2 + 8 * n, static_cast<uint32_t>(out.size()));
        put32(6 + 8 * n, static_cast<uint32_t>(bytes.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    for (const auto& [n, pair] : bad) {
        put32(2 + 8 * n, pair.first);
        put32(6 + 8 * n, pair.second);
    }
    return out;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}
