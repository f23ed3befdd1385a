// One check per reader of untrusted input: feeds it the bytes of a file and
// returns false when the reader broke a bound it promises (sanitizers catch
// the rest). The fuzz targets run them on generated inputs; the corpus test
// replays the seed corpus and every input once found through them.
#pragma once
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/JedecPof.h"
#include "engine/Library.h"
#include "engine/LogModel.h"

// The hex family; the first two bytes also choose the file and buffer offsets.
inline bool CheckHexReader(const uint8_t* data, size_t size) {
    HexLoadState state;
    state.FileOffset = size > 0 ? data[0] : 0;
    state.BufferOffset = size > 1 ? uint32_t{data[1]} << 16 : 0;
    ParseHexFamilyText(state, data, size);
    // A text a binary load would call records is records to the reader too.
    if (DetectHexRecordText(data, size) != HexRecordText::None &&
        (state.Records == 0 || state.BadRecords != 0 || state.LineTooLong))
        return false;
    // Nothing is stored past the buffer's last byte.
    return state.Image.EndAddress() <= state.BufferBytes;
}

// JEDEC with the extra fields of a row and test vectors; the first byte also
// chooses the fuse count.
inline bool CheckJedecReader(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> map(65792);
    JedecLayout layout;
    layout.FuseCount = 2194 + (size > 0 ? data[0] * 997u : 0);
    layout.EFieldFuse = 54096;
    layout.UFieldFuse = 59000;
    layout.VectorCapacity = 65535;
    std::string vectors;
    uint32_t checksum = 0;
    JedecFindings found;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const int parsed = ParseJedecText(text, layout, map.data(), map.size(), vectors, checksum, &found);
    uint32_t field = 0, textSum = 0;
    const bool transmission = ReadJedecTransmissionChecksum(text, field, textSum);
    // Vectors come whole, of the pin count the parse names, and never
    // without one; a refused text names the fuse of its bad character, or
    // the opening of its L field without a number (24 characters at most).
    return vectors.size() <= layout.VectorCapacity &&
           (vectors.empty() || (found.VectorPins != 0 && vectors.size() % found.VectorPins == 0)) &&
           (parsed != JedecBadFuseDigit || (found.BadDigit != '0' && found.BadDigit != '1')) &&
           (parsed != JedecBadFuseNumber ||
            (found.BadNumberField.rfind('L', 0) == 0 && found.BadNumberField.size() <= 24 + 3)) &&
           found.FuseSum.value_or(0) <= 0xFFFF && (!transmission || (field <= 0xFFFF && textSum <= 0xFFFF));
}

// POF: the check pass first, then the writing pass into an image of the size
// the check reported, as the loader does.
inline bool CheckPofReader(const uint8_t* data, size_t size) {
    class BoundedSink : public PofSink {
    public:
        explicit BoundedSink(std::vector<uint8_t>& image) : image_(image) {}
        void SetFuse(uint32_t n, bool set) override {
            const uint8_t bit = static_cast<uint8_t>(1u << (n % 8));
            if (uint8_t* b = At(n / 8)) *b = set ? *b | bit : *b & ~bit;
        }
        void SetByte(uint32_t address, uint8_t value) override {
            if (uint8_t* b = At(address)) *b = value;
        }
        void SetWord(uint32_t index, uint16_t value) override {
            if (uint8_t* b = At(2 * uint64_t{index})) *b = static_cast<uint8_t>(value);
            if (uint8_t* b = At(2 * uint64_t{index} + 1)) *b = static_cast<uint8_t>(value >> 8);
        }
        bool Overrun = false; // written past what the check pass reported

    private:
        uint8_t* At(uint64_t address) {
            if (address < image_.size()) return &image_[address];
            Overrun = true;
            return nullptr;
        }
        std::vector<uint8_t>& image_;
    };
    const uint64_t capacity = 1 << 20;
    uint64_t end = 0;
    if (ParsePof(data, size, capacity, nullptr, end) != PofOk) return true;
    if (end > capacity) return false;
    std::vector<uint8_t> image(end);
    BoundedSink sink(image);
    uint64_t again = 0;
    ParsePof(data, size, capacity, &sink, again);
    return !sink.Overrun;
}

// The configuration block of a configuration (projectFlag 0) or project (1)
// file; a short file is refused before decoding, so the block is the file
// padded with zeros. Every text must fit the field it is written back into.
inline bool CheckConfigReader(const uint8_t* data, size_t size, int projectFlag) {
    ConfigurationBlock block{};
    if (size > 0) std::memcpy(block.Bytes, data, std::min(size, ConfigurationBlockSize));
    ConfigurationValues v;
    const int code = DecodeConfigurationBlock(block, projectFlag, v);
    MainLog().Clear(); // lines of values put back to their defaults
    if (code != 0) return true;
    bool ok = v.RecentDevices.size() <= RecentDeviceMax && v.DataFileName.size() < 80 && v.SavedFileName.size() <= 80 &&
              v.ProjectAuthor.size() <= 100 && v.ProjectDescription.size() <= 400 && v.DataFileType <= 3;
    for (const std::string& name : v.RecentDevices) ok = ok && !name.empty() && name.size() <= 80;
    return ok;
}
inline bool CheckConfigFileReader(const uint8_t* data, size_t size) { return CheckConfigReader(data, size, 0); }
inline bool CheckProjectFileReader(const uint8_t* data, size_t size) { return CheckConfigReader(data, size, 1); }

// The device library: the bytes become the library file (in a private
// directory of this process); every entry the program opens by number is
// read byte by byte, word by word and token by token, and the device lists
// of the four sections are parsed record by record, each record checked as
// a selection would. A record that does not parse is stepped over a byte at
// a time, so every offset is tried.
inline bool CheckLibraryReader(const uint8_t* data, size_t size) {
    // The directory lasts for the process; the file for one check.
    static const struct PrivateDirectory {
        PrivateDirectory() {
            char name[] = "/tmp/vexlor-library.XXXXXX";
            if (mkdtemp(name) == nullptr) std::abort();
            path = name;
        }
        ~PrivateDirectory() { rmdir(path.c_str()); }
        std::string path;
    } dir;
    ProgramDirectory = dir.path;
    LibraryFileName = "library.dat";
    const std::string file = LibraryFilePath();
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) std::abort();

    constexpr uint32_t sectionLists[4] = {kLibraryEntryEprom, kLibraryEntryPld, kLibraryEntryMicro, kLibraryEntryProm};
    const uint32_t picked = size > 1 ? (data[0] | data[1] << 8) % (kLibraryMaxEntry + 2) : 0;
    bool ok = true;
    for (uint32_t n : {kLibraryEntryEprom, kLibraryEntryPld, kLibraryEntryMicro, kLibraryEntryPrompt,
                       kLibraryTestImage, kLibraryEntryProm, picked}) {
        const uint32_t entrySize = OpenLibraryEntry(n);
        ok = ok && entrySize <= size;
        std::vector<uint8_t> bytes(std::min<size_t>(entrySize, size));
        for (uint32_t k = 0; k < bytes.size(); ++k) bytes[k] = ReadLibraryByte(k);
        for (uint32_t k = 0; k < bytes.size() / 2 + 1; ++k) ReadLibraryWord(k);
        std::string token;
        for (uint32_t p = 0; ok && p < bytes.size();) {
            const uint32_t next = ReadLibraryToken(p, token);
            ok = next > p && next <= bytes.size();
            p = next;
        }
        const uint32_t* list = std::find(std::begin(sectionLists), std::end(sectionLists), n);
        if (list == std::end(sectionLists)) continue;
        const uint32_t section = static_cast<uint32_t>(list - sectionLists);
        for (size_t pos = 0; ok && pos < bytes.size();) {
            DeviceRecord record;
            size_t next = 0;
            if (!ParseLibraryRecord(bytes.data(), bytes.size(), pos, section, record, next)) {
                ++pos;
                continue;
            }
            ok = next > pos && next <= bytes.size();
            ValidateDeviceRecord(record, section);
            pos = next;
        }
    }
    CloseLibrary();
    std::remove(file.c_str());
    MainLog().Clear();
    return ok;
}
