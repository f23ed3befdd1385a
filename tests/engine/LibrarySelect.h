// Selects a device of the built device library by maker and name, as the
// device selection does: the section's list read from its library entry and
// the matching record made current.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Device.h"
#include "engine/Library.h"

inline bool SelectLibraryDevice(uint32_t entry, uint32_t section, const std::string& maker, const std::string& name) {
    std::vector<uint8_t> bytes(OpenLibraryEntry(entry));
    for (uint32_t k = 0; k < bytes.size(); ++k) bytes[k] = ReadLibraryByte(k);
    DeviceRecord r{};
    for (size_t pos = 0, next = 0;
         pos < bytes.size() && ParseLibraryRecord(bytes.data(), bytes.size(), pos, section, r, next); pos = next) {
        const auto* b = reinterpret_cast<const char*>(r.Bytes);
        if (maker == b && name == b + r.Bytes[RecordNameOffsetByte]) {
            DeviceSection = section;
            return SetCurrentDevice(r) == 1;
        }
    }
    return false;
}
