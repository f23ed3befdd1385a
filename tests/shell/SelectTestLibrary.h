// A small device library for the device selection tests: device lists of the
// four sections, the EPROM image (universal pin driver) and the test image,
// written to a private folder that becomes the program directory.
#pragma once
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "../engine/LibraryTestFile.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "sim/LogicImage.h"

struct TestDevice {
    uint8_t Maker;
    std::string Name;
    uint32_t Section = SectionEprom;
    uint32_t Package = 13; // DIP28, Vpp on pin 1
    uint32_t Size = 32768;
    uint32_t Width = 8;
    uint32_t MakerId = 0;
    uint32_t DeviceId = 0;
    uint32_t Adapter = 0;
    uint32_t Variant3 = 2; // "Quick"
    uint32_t OverPulse = 0;
    uint32_t Operations = 0x41F;
    uint32_t Algorithm = 0;
    uint32_t ProductTerms = 0; // PLD: fuse row length
    // Library name field longer than the name (padded with zeros).
    size_t NameField = 0;
};

inline void AppendLibraryRecord(std::vector<uint8_t>& out, const TestDevice& d) {
    DeviceParameters p{};
    using F = std::tuple<uint32_t, uint32_t, uint32_t>;
    const bool pld = d.Section == SectionPld;
    for (auto [field, size, value] :
         {F{FieldAlgorithm, 2, d.Algorithm}, F{FieldAdapterCode, 1, d.Adapter}, F{FieldLogicImage, 2, 5},
          F{FieldOperationMask, 2, d.Operations}, F{FieldFileFormatMask, 1, 0x1F}, F{FieldReadVcc, 1, 50},
          F{FieldReadVccLow, 1, 50}, F{FieldReadVccHigh, 1, 50}})
        WriteParameterField(p, field, size, value);
    for (auto [field, size, value] :
         pld ? std::vector<F>{{FieldPldPackage, 2, d.Package}, {FieldPldDeviceSize, 4, d.Size},
                              {FieldPldFuseRowLength, 2, d.ProductTerms}}
             : std::vector<F>{{FieldVariant3, 1, d.Variant3}, {FieldPackage, 2, d.Package},
                              {FieldDeviceSize, 4, d.Size}, {FieldDataWidth, 1, d.Width}, {FieldPageSize, 2, 25},
                              {FieldVccp, 2, 625}, {FieldVpp, 2, 1275}, {FieldPulseWidth, 2, 100},
                              {FieldOverPulseWidth, 2, d.OverPulse}, {FieldMakerId, 2, d.MakerId},
                              {FieldDeviceId, 2, d.DeviceId}})
        WriteParameterField(p, field, size, value);
    const size_t field = std::max(d.NameField, d.Name.size() + 1);
    out.push_back(d.Maker);
    out.push_back(static_cast<uint8_t>(field));
    std::vector<uint8_t> name(field, 0);
    std::memcpy(name.data(), d.Name.data(), d.Name.size());
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), p.Bytes, p.Bytes + DeviceParameterCount);
}

inline std::vector<uint8_t> TestImage(uint16_t personality) {
    std::vector<uint8_t> image(sim::kLogicImageBytes, 0);
    const uint8_t head[6] = {'V', 'X', 'L', 'I', static_cast<uint8_t>(personality), 0};
    std::copy(head, head + 6, image.begin());
    return image;
}

// Makers (rows of MakerNameTable).
enum : uint8_t { kAmd = 2, kAtmel = 5, kIntel = 27, kLattice = 29, kSignetics = 41, kSt = 49 };

inline std::vector<TestDevice> TestDevices() {
    std::vector<TestDevice> d;
    d.push_back({kAmd, "Am27C256", SectionEprom, 13, 32768, 8, 0x01, 0x10});
    d.push_back({kIntel, "27C256", SectionEprom, 13, 32768, 8, 0x89, 0x8C});
    d.push_back({kSt, "M27C512", SectionEprom, 15, 65536, 8, 0x20, 0x3D, 0, 2, 13000, 0x43F});
    d.push_back({kAmd, "Am27C010", SectionEprom, 18, 131072, 8, 0x01, 0x0E});
    d.push_back({kAmd, "Am27C1024", SectionEprom, 22, 65536, 16, 0x01, 0x8C, 3});
    d.push_back({kLattice, "GAL16V8", SectionPld, 4, 2194, 8, 0, 0, 0, 0, 0, 0x41F, 250, 32});
    d.push_back({kAtmel, "AT89C51", SectionMicro, 22, 4096, 8, 0x1E, 0x51});
    d.push_back({kSignetics, "82S123", SectionProm, 4, 32, 8});
    return d;
}

inline std::vector<uint8_t> SectionEntry(const std::vector<TestDevice>& devices, uint32_t section) {
    std::vector<uint8_t> out;
    for (const TestDevice& d : devices) {
        if (d.Section == section) AppendLibraryRecord(out, d);
    }
    return out;
}

// The library with the four device lists, entry 5 and the test image.
inline void WriteTestLibrary(const std::vector<TestDevice>& devices,
                             std::map<uint32_t, std::vector<uint8_t>> extra = {}) {
    std::map<uint32_t, std::vector<uint8_t>> entries = {
        {kLibraryEntryEprom, SectionEntry(devices, SectionEprom)},
        {kLibraryEntryPld, SectionEntry(devices, SectionPld)},
        {kLibraryEntryMicro, SectionEntry(devices, SectionMicro)},
        {kLibraryEntryProm, SectionEntry(devices, SectionProm)},
        {5, TestImage(sim::kPersonalityUniversal)},
        {kLibraryTestImage, TestImage(sim::kPersonalityTest)},
    };
    for (auto& [n, bytes] : extra)
        entries[n] = bytes;
    WriteBytes(LibraryFilePath(), MakeLibraryBytes(entries));
}
