#include "testing/LogicLibrary.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "engine/Library.h"

std::string LogicLibraryPath() { return ProgramDirectory + "/lg.dat"; }

int LoadLogicLibrary(LogicLibrary& lib, const std::string& path) {
    lib = LogicLibrary{};
    auto refuse = [&lib](std::string why) {
        lib = LogicLibrary{};
        lib.error = std::move(why);
        return 0;
    };
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return refuse(std::strerror(EISDIR));
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return refuse(std::strerror(errno != 0 ? errno : EIO));
    std::string text;
    char block[4096];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        text.append(block, static_cast<size_t>(in.gcount()));
        if (text.size() > kLogicLibraryMaxBytes) return refuse("longer than 65536 bytes");
    }
    if (in.bad()) return refuse(std::strerror(errno != 0 ? errno : EIO));
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) return refuse("a 0 byte at offset " + std::to_string(nul) + ", not text");
    lib.text = std::move(text);
    lib.read = true;
    return 1;
}

std::string LogicLibraryNotReadText(const LogicLibrary& lib, const std::string& path) {
    return "Unable to read the logic library \"" + path + "\": " + (lib.error.empty() ? "not read" : lib.error) +
           ".";
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool EndsName(char c) { return c == ' ' || c == '\r' || c == '\n'; }

} // namespace

void IndexLogicLibrary(LogicLibrary& lib) {
    lib.entries.clear();
    const std::string& t = lib.text;
    size_t pos = 0;
    while ((pos = t.find('.', pos)) != std::string::npos) {
        LogicLibraryEntry e;
        e.entryOffset = pos;
        // At least one character is taken as the name.
        size_t end = pos + 2;
        while (end < t.size() && !EndsName(t[end])) ++end;
        end = std::min(end, t.size());
        e.name = t.substr(pos + 1, std::min(end - pos - 1, kLogicNameMax));
        if (end < t.size() && t[end] == ' ') {
            e.pinsText = t.substr(end + 1, 2);
            if (e.pinsText.size() == 2 && IsDigit(e.pinsText[0]) && IsDigit(e.pinsText[1])) {
                const int pins = (e.pinsText[0] - '0') * 10 + (e.pinsText[1] - '0');
                if (pins >= 2 && pins <= 48) e.pins = pins;
            }
            size_t data = std::min(end + 3, t.size());
            if (data < t.size() && t[data] == '\r') ++data;
            if (data < t.size() && t[data] == '\n') ++data;
            e.dataOffset = data;
            pos = end + 1;
        } else {
            e.dataOffset = end;
            pos = end;
        }
        lib.entries.push_back(std::move(e));
    }
}

std::string CopyLogicLibraryEntry(const LogicLibrary& lib, size_t k) {
    std::string out;
    if (k >= lib.entries.size()) return out;
    const std::string& t = lib.text;
    for (size_t i = lib.entries[k].dataOffset; i < t.size() && t[i] != '.'; ++i) {
        if (t[i] != '\r' && t[i] != '\n') out.push_back(t[i]);
    }
    return out;
}

bool IsValidLogicDeviceName(const std::string& name) {
    if (name.empty() || name.size() > kLogicNameMax) return false;
    for (unsigned char c : name) {
        if (c <= ' ' || c >= 0x7F || c == '.') return false;
    }
    return true;
}

int FindLogicLibraryEntry(const LogicLibrary& lib, const std::string& name) {
    for (size_t k = 0; k < lib.entries.size(); ++k) {
        if (lib.entries[k].name == name) return static_cast<int>(k);
    }
    return -1;
}

namespace {

// Where entry k ends: the next entry's '.', or the end of the text.
size_t EntryEnd(const LogicLibrary& lib, size_t k) {
    return k + 1 < lib.entries.size() ? lib.entries[k + 1].entryOffset : lib.text.size();
}

} // namespace

std::string LogicLibraryWithEntry(const LogicLibrary& lib, int replace, const std::string& name, int pins,
                                  const uint8_t* vectors, size_t size) {
    const bool replacing = replace >= 0 && static_cast<size_t>(replace) < lib.entries.size();
    std::string out = replacing ? lib.text.substr(0, lib.entries[static_cast<size_t>(replace)].entryOffset) : lib.text;
    char header[64];
    std::snprintf(header, sizeof header, ".%s %02d\r\n", name.c_str(), pins);
    out += header;
    const size_t width = pins > 0 ? static_cast<size_t>(pins) : 0;
    for (size_t i = 0; width != 0 && (i + 1) * width <= size && vectors[i * width] != 0; ++i) {
        const uint8_t* line = vectors + i * width;
        const auto* end = static_cast<const uint8_t*>(std::memchr(line, 0, width));
        const size_t symbols = end != nullptr ? static_cast<size_t>(end - line) : width;
        out.append(reinterpret_cast<const char*>(line), symbols);
        out.append(width - symbols, 'N');
        out += "\r\n";
        if (end != nullptr) break;
    }
    if (replacing) out += lib.text.substr(EntryEnd(lib, static_cast<size_t>(replace)));
    return out;
}

std::string LogicLibraryWithout(const LogicLibrary& lib, size_t k) {
    if (k >= lib.entries.size()) return lib.text;
    return lib.text.substr(0, lib.entries[k].entryOffset) + lib.text.substr(EntryEnd(lib, k));
}

std::string WriteLogicLibrary(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return "cannot create " + temp;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return "cannot write " + temp;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return "cannot replace " + path;
    }
    return {};
}
