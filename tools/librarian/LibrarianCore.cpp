#include "tools/librarian/LibrarianCore.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/RowDef.h"
#include "engine/Tables.h"
#include "logic/InstallLogicRows.h"
#include "mcu/InstallMcuRows.h"
#include "memory/InstallMemoryRows.h"
#include "sim/LogicImage.h"

namespace librarian {

namespace fs = std::filesystem;

namespace {

std::string Upper(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Where(const SourceLine& l) {
    return l.file + ":" + std::to_string(l.line) + ": ";
}

// Numbers: decimal, "0x" hex or "h"-suffixed hex, with an optional K or M
// (times 1024 or 1048576) on decimal values.
bool ParseNumber(const std::string& text, uint64_t& out) {
    if (text.empty()) return false;
    std::string s = text;
    int base = 10;
    uint64_t scale = 1;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s = s.substr(2);
        base = 16;
    } else if (s.size() > 1 && (s.back() == 'h' || s.back() == 'H')) {
        s.pop_back();
        base = 16;
    } else if (s.size() > 1 && (s.back() == 'K' || s.back() == 'k')) {
        s.pop_back();
        scale = 1024;
    } else if (s.size() > 1 && (s.back() == 'M' || s.back() == 'm')) {
        s.pop_back();
        scale = 1048576;
    }
    uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
            d = std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        } else {
            return false;
        }
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) return false;
    }
    v *= scale;
    if (v > 0xFFFFFFFFull) return false;
    out = v;
    return true;
}

// "6.25V" in units of 1/divisor volt (divisor 100 hundredths, 10 tenths).
bool ParseVolts(const std::string& text, uint32_t divisor, uint64_t& out) {
    if (text.size() < 2 || (text.back() != 'V' && text.back() != 'v')) return false;
    const std::string num = text.substr(0, text.size() - 1);
    const size_t dot = num.find('.');
    const std::string whole = num.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : num.substr(dot + 1);
    const size_t digits = divisor == 100 ? 2 : 1;
    if (whole.empty() || frac.size() > digits) return false;
    while (frac.size() < digits)
        frac.push_back('0');
    for (char c : whole + frac) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    if (whole.size() > 3) return false;
    out = std::stoull(whole) * divisor + std::stoull(frac);
    return true;
}

void PutBigEndian(uint8_t* params, uint32_t field, uint32_t size, uint32_t value) {
    for (uint32_t i = 0; i < size; ++i) {
        params[1 + field + i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
    }
}

bool ParseSection(const std::string& v, uint32_t& out) {
    static const char* const names[4] = {"EPROM", "PLD", "MICRO", "PROM"};
    for (uint32_t i = 0; i < 4; ++i) {
        if (Upper(v) == names[i]) {
            out = i;
            return true;
        }
    }
    return false;
}

bool ParseMaker(const std::string& v, uint32_t& out) {
    for (uint32_t i = 0; i < MakerRowCount; ++i) {
        if (Upper(v) == MakerNameTable[i]) {
            out = i;
            return true;
        }
    }
    return false;
}

// Fields of a record: parameter field, its size, which sections have it.
struct FieldSpec {
    const char* key;
    uint32_t field;
    uint32_t size;
    enum Kind { Number, Volts100, Volts10, Char } kind;
    enum Where { All, NotPld, PldOnly } where;
    uint64_t max;
};

const FieldSpec kFields[] = {
    {"alg", FieldAlgorithm, 2, FieldSpec::Number, FieldSpec::All, AlgorithmRowCount - 1},
    {"gang", FieldGangAdapter, 1, FieldSpec::Number, FieldSpec::All, 255},
    {"adapter", FieldAdapterCode, 1, FieldSpec::Char, FieldSpec::All, AdapterRowCount - 1},
    {"image", FieldLogicImage, 2, FieldSpec::Number, FieldSpec::All, kMaxEntry},
    {"ops", FieldOperationMask, 2, FieldSpec::Number, FieldSpec::All, 0x5FF},
    {"formats", FieldFileFormatMask, 1, FieldSpec::Number, FieldSpec::All, 255},
    {"flags", FieldDeviceFlags, 2, FieldSpec::Number, FieldSpec::All, 0xFFFF},
    {"variant", FieldVariant, 1, FieldSpec::Number, FieldSpec::All, 255},
    {"subvariant", FieldSubVariant, 1, FieldSpec::Number, FieldSpec::All, 255},
    {"readvcc", FieldReadVcc, 1, FieldSpec::Volts10, FieldSpec::All, 255},
    {"readvcclow", FieldReadVccLow, 1, FieldSpec::Volts10, FieldSpec::All, 255},
    {"readvcchigh", FieldReadVccHigh, 1, FieldSpec::Volts10, FieldSpec::All, 255},
    {"variant3", FieldVariant3, 1, FieldSpec::Number, FieldSpec::NotPld, 255},
    {"package", FieldPackage, 2, FieldSpec::Number, FieldSpec::NotPld, PackageRowCount - 1},
    {"size", FieldDeviceSize, 4, FieldSpec::Number, FieldSpec::NotPld, 0xFFFFFFFFull},
    {"width", FieldDataWidth, 1, FieldSpec::Number, FieldSpec::NotPld, 16},
    {"page", FieldPageSize, 2, FieldSpec::Number, FieldSpec::NotPld, 0xFFFF},
    {"vccp", FieldVccp, 2, FieldSpec::Volts100, FieldSpec::NotPld, 2590},
    {"vpp", FieldVpp, 2, FieldSpec::Volts100, FieldSpec::NotPld, 2590},
    {"pulse", FieldPulseWidth, 2, FieldSpec::Number, FieldSpec::NotPld, 0xFFFF},
    {"overpulse", FieldOverPulseWidth, 2, FieldSpec::Number, FieldSpec::NotPld, 10000},
    {"mfg", FieldMakerId, 2, FieldSpec::Number, FieldSpec::NotPld, 0xFFFF},
    {"dev", FieldDeviceId, 2, FieldSpec::Number, FieldSpec::NotPld, 0xFFFF},
    {"package", FieldPldPackage, 2, FieldSpec::Number, FieldSpec::PldOnly, PackageRowCount - 1},
    {"fuses", FieldPldDeviceSize, 4, FieldSpec::Number, FieldSpec::PldOnly, 0xFFFFFFFFull},
    {"rowlength", FieldPldFuseRowLength, 2, FieldSpec::Number, FieldSpec::PldOnly, 0xFFFF},
    {"ues", FieldPldUesFuseStart, 4, FieldSpec::Number, FieldSpec::PldOnly, 0xFFFFFFFFull},
};

const FieldSpec* FindField(const std::string& key, bool pld) {
    for (const auto& f : kFields) {
        if (key != f.key) continue;
        if (f.where == FieldSpec::All || (f.where == FieldSpec::PldOnly) == pld) return &f;
    }
    return nullptr;
}

bool KnownKeyElsewhere(const std::string& key) {
    for (const auto& f : kFields) {
        if (key == f.key) return true;
    }
    return key == "pulsemul";
}

// The header of our logic images: magic, personality id, ten parameters.
bool ParsePersonality(const std::string& v, uint16_t& out) {
    for (const auto& [name, id] : sim::kPersonalityNames) {
        if (v == name) {
            out = id;
            return true;
        }
    }
    uint64_t n = 0;
    if (!ParseNumber(v, n) || n > 0xFFFF) return false;
    out = static_cast<uint16_t>(n);
    return true;
}

// A comma-separated list of hexadecimal bytes (or 16-bit words).
bool ParseHexList(const std::string& v, uint32_t max, std::vector<uint32_t>& out) {
    out.clear();
    std::stringstream ss(v);
    std::string item;
    while (std::getline(ss, item, ',')) {
        if (item.empty() || item.size() > 4) return false;
        uint32_t n = 0;
        for (char c : item) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
            n = n * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                   ? c - '0'
                                                   : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
        }
        if (n > max) return false;
        out.push_back(n);
    }
    return true;
}

bool ParseEntryNumber(const SourceLine& line, const std::string& v, uint32_t& entry, std::string& error) {
    uint64_t n = 0;
    if (!ParseNumber(v, n) || n > kMaxEntry) {
        error = Where(line) + "entry \"" + v + "\" is not a number from 0 to 400";
        return false;
    }
    for (uint32_t s : kSectionEntries) {
        if (n == s) {
            error = Where(line) + "entry " + v + " holds a device list";
            return false;
        }
    }
    entry = static_cast<uint32_t>(n);
    return true;
}

// The rows' declarations, from the families' own tables: installed once,
// unless a caller already installed every folder's rows.
const RowDef* DeclaredRow(uint32_t row) {
    if (RowDefinition(0) == nullptr || RowDefinition(100) == nullptr || RowDefinition(200) == nullptr) {
        InstallMemoryAlgorithms();
        InstallLogicAlgorithms();
        InstallMcuAlgorithms();
    }
    return RowDefinition(row);
}

} // namespace

bool SplitSourceLine(const std::string& text, SourceLine& out, std::string& error) {
    out.fields.clear();
    size_t i = 0;
    const size_t n = text.size();
    while (true) {
        while (i < n && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= n || text[i] == '#') return true;
        const size_t keyStart = i;
        while (i < n && text[i] != '=' && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i >= n || text[i] != '=' || i == keyStart) {
            error = Where(out) + "field \"" + text.substr(keyStart, i - keyStart) + "\" has no value";
            return false;
        }
        std::string key = text.substr(keyStart, i - keyStart);
        ++i;
        std::string value;
        if (i < n && text[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                char c = text[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < n) {
                    char e = text[i++];
                    c = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
                }
                value.push_back(c);
            }
            if (!closed) {
                error = Where(out) + "unterminated quote in field \"" + key + "\"";
                return false;
            }
        } else {
            while (i < n && !std::isspace(static_cast<unsigned char>(text[i])))
                value.push_back(text[i++]);
        }
        out.fields.emplace_back(std::move(key), std::move(value));
    }
}

bool BuildDeviceEntry(const SourceLine& line, DeviceEntry& out, std::string& error) {
    out = DeviceEntry{};
    out.source = line;
    std::set<std::string> seen;
    for (const auto& [k, v] : line.fields) {
        if (!seen.insert(k).second) {
            error = Where(line) + "field \"" + k + "\" given twice";
            return false;
        }
    }
    auto get = [&](const char* key) -> const std::string* {
        for (const auto& [k, v] : line.fields) {
            if (k == key) return &v;
        }
        return nullptr;
    };
    for (const char* required : {"maker", "name", "section", "alg", "image", "ops", "package"}) {
        if (get(required) == nullptr) {
            error = Where(line) + "field \"" + required + "\" missing";
            return false;
        }
    }
    uint32_t section = 0;
    if (!ParseSection(*get("section"), section)) {
        error = Where(line) + "unknown section \"" + *get("section") + "\"";
        return false;
    }
    const bool pld = section == SectionPld;
    if (get(pld ? "fuses" : "size") == nullptr) {
        error = Where(line) + "field \"" + (pld ? "fuses" : "size") + "\" missing";
        return false;
    }
    uint32_t maker = 0;
    if (!ParseMaker(*get("maker"), maker)) {
        error = Where(line) + "unknown maker \"" + *get("maker") + "\"";
        return false;
    }
    const std::string& name = *get("name");
    if (name.empty() || name.find('\0') != std::string::npos) {
        error = Where(line) + "empty device name";
        return false;
    }

    DeviceParameters params{};
    // Read supply levels default to 5.0 V with 4.5 V and 5.5 V verify levels.
    PutBigEndian(params.Bytes, FieldReadVcc, 1, 50);
    PutBigEndian(params.Bytes, FieldReadVccLow, 1, 45);
    PutBigEndian(params.Bytes, FieldReadVccHigh, 1, 55);
    PutBigEndian(params.Bytes, FieldFileFormatMask, 1, 0x1F);
    if (!pld) PutBigEndian(params.Bytes, FieldDataWidth, 1, 8);
    uint32_t pulseMul = 0;
    uint32_t overPulse = 0;
    for (const auto& [k, v] : line.fields) {
        if (k == "maker" || k == "name" || k == "section") continue;
        if (k == "pulsemul" && !pld) {
            if (v != "0" && v != "1") {
                error = Where(line) + "pulsemul must be 0 or 1";
                return false;
            }
            pulseMul = v == "1" ? 1 : 0;
            continue;
        }
        const FieldSpec* f = FindField(k, pld);
        if (f == nullptr) {
            error =
                Where(line) + (KnownKeyElsewhere(k) ? "field \"" + k + "\" does not belong to this section"
                                                    : "unknown field \"" + k + "\"");
            return false;
        }
        uint64_t value = 0;
        bool ok = false;
        switch (f->kind) {
        case FieldSpec::Number:
            ok = ParseNumber(v, value);
            break;
        case FieldSpec::Volts100:
            ok = ParseVolts(v, 100, value);
            break;
        case FieldSpec::Volts10:
            ok = ParseVolts(v, 10, value);
            break;
        case FieldSpec::Char:
            if (v.size() == 3 && v.front() == '\'' && v.back() == '\'') {
                value = static_cast<unsigned char>(v[1]);
                ok = true;
            } else {
                ok = ParseNumber(v, value);
            }
            break;
        }
        if (!ok) {
            error = Where(line) + "bad value \"" + v + "\" for \"" + k + "\"";
            return false;
        }
        if (value > f->max) {
            const char* what = k == "package"   ? "unknown package row "
                               : k == "adapter" ? "unknown adapter row "
                               : k == "alg"     ? "unknown algorithm row "
                                                : "value out of range ";
            error = Where(line) + what + v + " for \"" + k + "\"";
            return false;
        }
        if (k == "overpulse") {
            overPulse = static_cast<uint32_t>(value);
            continue;
        }
        PutBigEndian(params.Bytes, f->field, f->size, static_cast<uint32_t>(value));
    }
    if (!pld) PutBigEndian(params.Bytes, FieldOverPulseWidth, 2, overPulse + (pulseMul ? 10000 : 0));

    auto field = [&](uint32_t offset, uint32_t size) {
        uint32_t v = 0;
        for (uint32_t i = 0; i < size; ++i)
            v = (v << 8) | params.Bytes[1 + offset + i];
        return v;
    };
    const uint32_t package = field(pld ? FieldPldPackage : FieldPackage, 2);
    if (PackageTable[package].PinCount == 0) {
        error = Where(line) + "package row " + std::to_string(package) + " is empty";
        return false;
    }
    const uint32_t adapter = field(FieldAdapterCode, 1);
    if (adapter >= AdapterRowCount) {
        error = Where(line) + "unknown adapter row " + std::to_string(adapter);
        return false;
    }
    if (field(pld ? FieldPldDeviceSize : FieldDeviceSize, 4) == 0) {
        error = Where(line) + "size of 0";
        return false;
    }
    const uint32_t image = field(FieldLogicImage, 2);
    if (image == 0) {
        error = Where(line) + "logic image 0 (images are entries 1-400)";
        return false;
    }
    if (!pld && (field(FieldDataWidth, 1) == 0)) {
        error = Where(line) + "data width of 0";
        return false;
    }
    if (field(FieldOperationMask, 2) == 0) {
        error = Where(line) + "no operation offered";
        return false;
    }
    // Whatever the row's declaration refuses: variants past its tables, a
    // Page it cannot work with, its own pin and geometry checks.
    if (const RowDef* def = DeclaredRow(field(FieldAlgorithm, 2))) {
        const RowRecordFacts facts{.Variant = field(FieldVariant, 1),
                                   .SubVariant = field(FieldSubVariant, 1),
                                   .Page = pld ? 0 : field(FieldPageSize, 2),
                                   .DeviceSize = field(pld ? FieldPldDeviceSize : FieldDeviceSize, 4),
                                   .DeviceFlags = field(FieldDeviceFlags, 2),
                                   .PackagePins = PackageTable[package].PinCount,
                                   .Adapter = adapter,
                                   .Programs = (field(FieldOperationMask, 2) & 2) != 0,
                                   .Maker = maker};
        const std::string why = RowRecordRefusal(*def, facts);
        if (!why.empty()) {
            error = Where(line) + why;
            return false;
        }
    }

    DeviceRecord record{};
    if (name.size() > 254 || !MakeDeviceRecord(section, static_cast<uint8_t>(maker), name, params, record)) {
        error =
            Where(line) + "name \"" + name + "\" does not fit with maker \"" + MakerNameTable[maker] + "\"";
        return false;
    }
    if (const char* why = ValidateDeviceRecord(record, section)) {
        error = Where(line) + why;
        return false;
    }

    out.section = section;
    out.name = name;
    out.image = image;
    out.record.push_back(static_cast<uint8_t>(maker));
    out.record.push_back(static_cast<uint8_t>(name.size() + 1));
    out.record.insert(out.record.end(), name.begin(), name.end());
    out.record.push_back(0);
    out.record.insert(out.record.end(), params.Bytes, params.Bytes + DeviceParameterCount);
    return true;
}

bool BuildImageEntry(const SourceLine& line, uint32_t& entry, std::vector<uint8_t>& bytes,
                     std::string& error) {
    const std::string* e = nullptr;
    const std::string* personality = nullptr;
    const std::string* params = nullptr;
    for (const auto& [k, v] : line.fields) {
        if (k == "entry") {
            e = &v;
        } else if (k == "personality") {
            personality = &v;
        } else if (k == "params") {
            params = &v;
        } else if (k != "name") {
            error = Where(line) + "unknown field \"" + k + "\"";
            return false;
        }
    }
    if (e == nullptr || personality == nullptr) {
        error = Where(line) + "an image needs \"entry\" and \"personality\"";
        return false;
    }
    if (!ParseEntryNumber(line, *e, entry, error)) return false;
    if (entry == 0) {
        error = Where(line) + "images are entries 1-400";
        return false;
    }
    uint16_t id = 0;
    if (!ParsePersonality(*personality, id)) {
        error = Where(line) + "unknown personality \"" + *personality + "\"";
        return false;
    }
    std::vector<uint32_t> p;
    if (params != nullptr && (!ParseHexList(*params, 0xFF, p) || p.size() > 10)) {
        error = Where(line) + "params: up to ten hexadecimal bytes";
        return false;
    }
    bytes.assign(kImageBytes, 0);
    for (int i = 0; i < 4; ++i)
        bytes[i] = sim::kLogicImageMagic[i];
    bytes[4] = static_cast<uint8_t>(id);
    bytes[5] = static_cast<uint8_t>(id >> 8);
    for (size_t i = 0; i < p.size(); ++i)
        bytes[6 + i] = static_cast<uint8_t>(p[i]);
    // The configuration bits after the header: a pseudo-random stream of the
    // entry number, so every image has its own bitstream.
    uint32_t lfsr = 0xACE1u ^ (entry * 0x9E37u);
    if (lfsr == 0) lfsr = 1;
    for (size_t i = sim::kLogicImageHeaderBytes; i < kImageBytes; ++i) {
        uint8_t b = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const uint32_t out = lfsr & 1u;
            lfsr = (lfsr >> 1) ^ (out ? 0xB400u : 0u);
            b = static_cast<uint8_t>(b | (out << bit));
        }
        bytes[i] = b;
    }
    return true;
}

bool BuildBlockEntry(const SourceLine& line, uint32_t& entry, std::vector<uint8_t>& bytes,
                     std::string& error, const std::string& assembledDir) {
    const std::string* e = nullptr;
    const std::string* file = nullptr;
    const std::string* size = nullptr;
    bytes.clear();
    bool content = false;
    for (const auto& [k, v] : line.fields) {
        if (k == "entry") {
            e = &v;
        } else if (k == "bytes" || k == "words") {
            std::vector<uint32_t> list;
            if (!ParseHexList(v, k == "bytes" ? 0xFF : 0xFFFF, list)) {
                error = Where(line) + "bad hexadecimal list in \"" + k + "\"";
                return false;
            }
            for (uint32_t x : list) {
                bytes.push_back(static_cast<uint8_t>(x));
                if (k == "words") bytes.push_back(static_cast<uint8_t>(x >> 8));
            }
            content = true;
        } else if (k == "text") {
            bytes.insert(bytes.end(), v.begin(), v.end());
            content = true;
        } else if (k == "file") {
            file = &v;
        } else if (k == "size") {
            size = &v;
        } else if (k != "name") {
            error = Where(line) + "unknown field \"" + k + "\"";
            return false;
        }
    }
    if (e == nullptr || (!content && file == nullptr)) {
        error = Where(line) + "a block needs \"entry\" and its bytes, words, text or file";
        return false;
    }
    if (!ParseEntryNumber(line, *e, entry, error)) return false;
    if (file == nullptr) return true;
    // An assembled program: its image from the build's folder of assembled
    // entries, zero-padded to `size` bytes (the most any row sends of it).
    if (content || size == nullptr) {
        error = Where(line) + "an assembled entry takes \"file\" and \"size\" and no bytes of its own";
        return false;
    }
    char* end = nullptr;
    const unsigned long want = std::strtoul(size->c_str(), &end, 10);
    if (size->empty() || *end != '\0' || want == 0 || want > 65536) {
        error = Where(line) + "size \"" + *size + "\" is not a number from 1 to 65536";
        return false;
    }
    if (assembledDir.empty() || file->empty() || file->find('/') != std::string::npos) {
        error = Where(line) + "assembled entry \"" + *file + "\" has no assembled folder to come from";
        return false;
    }
    const fs::path path = fs::path(assembledDir) / *file;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = Where(line) + "assembled entry \"" + *file + "\" is missing";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.empty() || bytes.size() > want) {
        error = Where(line) + "assembled entry \"" + *file + "\" holds " + std::to_string(bytes.size()) +
                " bytes, the entry " + std::to_string(want);
        return false;
    }
    bytes.resize(want, 0);
    return true;
}

namespace {
// The .txt files of a folder in name order (none when it does not exist).
std::vector<fs::path> SourceFiles(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return files;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        if (e.is_regular_file() && e.path().extension() == ".txt") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

template <class Fn>
bool ForEachLine(const std::vector<fs::path>& dataDirs, const char* folder, std::string& error, Fn fn) {
    std::vector<fs::path> files;
    for (const fs::path& dir : dataDirs) {
        const std::vector<fs::path> more = SourceFiles(dir / folder);
        files.insert(files.end(), more.begin(), more.end());
    }
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = path.string() + ": cannot be read";
            return false;
        }
        std::string text;
        int lineNo = 0;
        while (std::getline(in, text)) {
            ++lineNo;
            if (!text.empty() && text.back() == '\r') text.pop_back();
            SourceLine line;
            line.file = std::string(folder) + "/" + path.filename().string();
            line.line = lineNo;
            if (!SplitSourceLine(text, line, error)) return false;
            if (line.fields.empty()) continue;
            if (!fn(line)) return false;
        }
    }
    return true;
}
} // namespace

bool BuildEntries(const std::string& dataDirText, EntryMap& entries, std::string& error,
                  const std::string& assembledDir, const std::string& extraDir) {
    entries.clear();
    std::vector<fs::path> dataDir{fs::path(dataDirText)};
    std::error_code ec;
    if (!fs::is_directory(dataDir[0] / "devices", ec)) {
        error = dataDirText + ": no devices folder";
        return false;
    }
    if (!extraDir.empty()) {
        if (!fs::is_directory(extraDir, ec)) {
            error = extraDir + ": no such folder";
            return false;
        }
        dataDir.emplace_back(extraDir);
    }
    std::map<uint32_t, std::string> owner; // entry -> source line that made it
    auto claim = [&](uint32_t entry, const SourceLine& line) {
        auto it = owner.find(entry);
        if (it != owner.end()) {
            error = Where(line) + "entry " + std::to_string(entry) + " already made by " + it->second;
            return false;
        }
        owner[entry] = line.file + ":" + std::to_string(line.line);
        return true;
    };
    bool ok = ForEachLine(dataDir, "images", error, [&](const SourceLine& line) {
        uint32_t entry = 0;
        std::vector<uint8_t> bytes;
        if (!BuildImageEntry(line, entry, bytes, error) || !claim(entry, line)) return false;
        entries[entry] = std::move(bytes);
        return true;
    });
    ok = ok && ForEachLine(dataDir, "blocks", error, [&](const SourceLine& line) {
             uint32_t entry = 0;
             std::vector<uint8_t> bytes;
             if (!BuildBlockEntry(line, entry, bytes, error, assembledDir) || !claim(entry, line)) return false;
             entries[entry] = std::move(bytes);
             return true;
         });
    if (!ok) return false;

    std::vector<uint8_t> lists[4];
    std::set<std::pair<uint32_t, std::string>> names[4];
    ok = ForEachLine(dataDir, "devices", error, [&](const SourceLine& line) {
        DeviceEntry d;
        if (!BuildDeviceEntry(line, d, error)) return false;
        if (entries.find(d.image) == entries.end() || entries[d.image].size() != kImageBytes) {
            error = Where(line) + "logic image " + std::to_string(d.image) + " is not in the library";
            return false;
        }
        if (!names[d.section].insert({d.record[0], d.name}).second) {
            error = Where(line) + "device \"" + d.name + "\" of this maker listed twice in its section";
            return false;
        }
        lists[d.section].insert(lists[d.section].end(), d.record.begin(), d.record.end());
        return true;
    });
    if (!ok) return false;
    for (int s = 0; s < 4; ++s)
        entries[kSectionEntries[s]] = std::move(lists[s]);
    return true;
}

std::vector<uint8_t> AssembleLibrary(const EntryMap& entries) {
    const uint32_t pairs = kMaxEntry + 1;
    std::vector<uint8_t> out(2 + 8 * static_cast<size_t>(pairs), 0);
    out[0] = 'V';
    out[1] = 'L';
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    for (const auto& [n, bytes] : entries) {
        if (n > kMaxEntry) continue;
        const uint32_t offset = static_cast<uint32_t>(out.size());
        put32(2 + 8 * static_cast<size_t>(n), offset);
        put32(6 + 8 * static_cast<size_t>(n), static_cast<uint32_t>(bytes.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

bool WriteFileAtomic(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::string tmp = path + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) {
        error = tmp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = path + ": cannot be written";
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace librarian
