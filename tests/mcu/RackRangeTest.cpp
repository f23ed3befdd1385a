// Microcontroller devices of the built library on the simulator as the
// program makes it (the rack seats the catalog's part at each selection):
// a range that starts above chip address 0, on an odd address where the part
// allows, is programmed, verified and read back at its own chip addresses,
// checked on the seated part's cells.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/UiBridge.h"
#include "mcu/AreaBusMcu.h"
#include "mcu/Avr.h"
#include "mcu/InstallMcuRows.h"
#include "mcu/Mcu8051.h"
#include "mcu/McuFlash8051.h"
#include "mcu/McuFrame.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/PartFacts.h"
#include "sim/PicChip.h"
#include "sim/Rack.h"
#include "sim/SimProgrammer.h"

namespace {

class RackRangeRun : public ::testing::Test {
protected:
    RecordingUi ui;
    sim::Rack* rack = nullptr;
    sim::SimProgrammer* simp = nullptr;

    void SetUp() override {
        ResetProgramState();
        for (auto reset : {ResetMcu8051State, ResetFlash8051State, ResetMcuFrameState, ResetAvrState,
                           ResetOptionAreaState})
            reset();
        InstallMcuAlgorithms();
        InstallUiBridge(&ui);
        SetToneSink([](int, int) {});
        ProgramDirectory = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
        LibraryFileName = "krd.dat";
        std::unique_ptr<sim::SimProgrammer> p = sim::Rack::Build(0);
        simp = p.get();
        rack = sim::Rack::Find(*p);
        InstallPortIo(std::move(p));
    }
    void TearDown() override {
        InstallPortIo(nullptr);
        InstallUiBridge(nullptr);
        SetToneSink(nullptr);
        ResetProgramState();
    }

    // Selects the MICRO device of the built library and seats its part.
    sim::CatalogChip* SelectAndSeat(const std::string& maker, const std::string& name) {
        std::vector<uint8_t> bytes(OpenLibraryEntry(kLibraryEntryMicro));
        for (uint32_t k = 0; k < bytes.size(); ++k) bytes[k] = ReadLibraryByte(k);
        DeviceRecord r{};
        for (size_t pos = 0, next = 0;
             pos < bytes.size() && ParseLibraryRecord(bytes.data(), bytes.size(), pos, SectionMicro, r, next);
             pos = next) {
            const auto* b = reinterpret_cast<const char*>(r.Bytes);
            if (maker != b || name != b + r.Bytes[RecordNameOffsetByte]) continue;
            DeviceSection = SectionMicro;
            if (SetCurrentDevice(r) != 1 || !rack->SeatPart(maker, name)) return nullptr;
            return rack->Seated();
        }
        return nullptr;
    }
    std::string LogText() const {
        std::string t;
        for (const std::string& l : ui.Log) t += l + "\n";
        return t;
    }
};

// The whole buffer image, every bank of the device made.
uint8_t* Image() {
    SelectBank(BufferEnd, 1);
    SelectBank(0, 0);
    return BufferImage();
}

// The buffer value of chip address a for a range whose buffer starts at the
// range's start (bytes, or words of a 16-bit part).
uint16_t BufferValue(const uint8_t* b, uint32_t a) {
    if (DataWidth > 8) return static_cast<uint16_t>(b[2 * a] | b[2 * a + 1] << 8);
    return b[a];
}

// Random bytes over the first `bytes` of the buffer.
void FillRandomBuffer(uint32_t bytes, uint32_t seed) {
    uint8_t* b = Image();
    uint32_t x = seed * 2654435761u + 12345u;
    for (uint32_t a = 0; a < bytes; ++a) {
        x = x * 1103515245u + 12345u;
        b[a] = static_cast<uint8_t>(x >> 16);
    }
}

struct RangeCase {
    const char* maker;
    const char* name;
    uint32_t start, end;
    uint32_t firstCell; // the part's first cell of the code array
};
void PrintTo(const RangeCase& c, std::ostream* os) { *os << c.name << " from " << std::hex << c.start; }

class RackRanges : public RackRangeRun, public ::testing::WithParamInterface<RangeCase> {};

// Program with its verify, then Read: the cells below the start stay blank,
// the range holds the buffer at its own addresses, Read gives it back and
// leaves the buffer below the range.
TEST_P(RackRanges, RangeLandsAtItsChipAddresses) {
    const RangeCase c = GetParam();
    sim::CatalogChip* chip = SelectAndSeat(c.maker, c.name);
    ASSERT_NE(chip, nullptr) << c.name;
    const uint32_t unit = DataWidth > 8 ? 2 : 1;
    FillRandomBuffer(static_cast<uint32_t>(std::min<uint64_t>(BufferByteSize, 0x20000)), c.start);
    DeviceStart = BufferStart = c.start;
    DeviceEnd = c.end;
    VerifyAfterProgram = 1;
    ASSERT_EQ(RunOperation(MainEngine, OpProgram), ResultOk) << LogText();
    const uint8_t* buffer = Image();
    std::vector<uint16_t> image(c.end + 1);
    for (uint32_t a = c.firstCell; a <= c.end; ++a) {
        image[a] = BufferValue(buffer, a);
        ASSERT_EQ(chip->Cell(a), a < c.start ? chip->Facts().blank : image[a]) << std::hex << a;
    }
    std::fill_n(Image(), (c.end + 1) * unit, uint8_t{0x5A});
    ASSERT_EQ(RunOperation(MainEngine, OpRead), ResultOk) << LogText();
    for (uint32_t a = c.firstCell; a <= c.end; ++a)
        ASSERT_EQ(BufferValue(buffer, a), a < c.start ? (unit == 2 ? 0x5A5A : 0x5A) : image[a]) << std::hex << a;
    EXPECT_TRUE(simp->Violations().empty()) << simp->Violations().front();
}

INSTANTIATE_TEST_SUITE_P(
    Parts, RackRanges,
    ::testing::Values(RangeCase{"ATMEL", "AT89C2051", 0x123, 0x421, 0}, RangeCase{"ATMEL", "AT89C4051", 0x287, 0xFFF, 0},
                      RangeCase{"ATMEL", "AT90S2313", 0x101, 0x7FF, 0}, RangeCase{"ATMEL", "AT90S2323", 0x701, 0x7FF, 0},
                      RangeCase{"ATMEL", "AT90S8515", 0x287, 0x421, 0}, RangeCase{"ATMEL", "AT90S4433", 0x123, 0x2FE, 0},
                      RangeCase{"GENERIC-ALGORITHM", "OPTAREA-32K", 0x287, 0x7FFF, 0},
                      RangeCase{"GENERIC-ALGORITHM", "OPTAREA-64K", 0x123, 0xFFFF, 0},
                      RangeCase{"GENERIC-ALGORITHM", "WORDBUS-V0", 0x1123, 0x1421, 0x1000}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (char& ch : n) ch = ch == '-' ? '_' : ch;
        return n;
    });

// A 20-pin flash part from chip address 0 whose first bytes are blank: the
// first program pulse must not restart the part's address counter, so the
// data behind the blank head stay at their cells.
TEST_F(RackRangeRun, BlankHeadKeepsTheCounterOf20PinParts) {
    sim::CatalogChip* chip = SelectAndSeat("ATMEL", "AT89C1051");
    ASSERT_NE(chip, nullptr);
    FillRandomBuffer(0x400, 3);
    std::fill_n(Image(), 0x40, uint8_t{0xFF});
    const std::vector<uint8_t> image(Image(), Image() + 0x400);
    VerifyAfterProgram = 1;
    ASSERT_EQ(RunOperation(MainEngine, OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x400; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
}

// The sdcc-built sample on the AT89C2051 from chip address 0 and from an odd
// one, the file loaded at buffer byte 0: the part holds the file from the
// start on, the cells below it blank, and Read gives the file back.
TEST_F(RackRangeRun, SdccSampleFromZeroAndAnOddStart) {
    const std::string sample = ProgramDirectory + "/mcu-sample/blink.ihx";
    for (const uint32_t start : {0u, 0x123u}) {
        SCOPED_TRACE(start);
        sim::CatalogChip* chip = SelectAndSeat("ATMEL", "AT89C2051");
        ASSERT_NE(chip, nullptr);
        ASSERT_EQ(RunOperation(MainEngine, OpErase), ResultOk) << LogText(); // the rack keeps the part
        uint8_t* buffer = Image();
        std::fill_n(buffer, 0x800, uint8_t{0xFF});
        ASSERT_EQ(LoadHexFamilyFile(sample, 0, 0), 1) << sample << " (built by sdcc)";
        const std::vector<uint8_t> image(buffer, buffer + 0x800 - start);
        ASSERT_NE(image[0], 0xFF);
        DeviceStart = start;
        VerifyAfterProgram = 1;
        ASSERT_EQ(RunOperation(MainEngine, OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a <= DeviceEnd; ++a)
            ASSERT_EQ(chip->Cell(a), a < start ? 0xFF : image[a - start]) << std::hex << a;
        std::fill_n(buffer, 0x800, uint8_t{0x5A});
        ASSERT_EQ(RunOperation(MainEngine, OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < image.size(); ++a) ASSERT_EQ(buffer[a], image[a]) << std::hex << a;
    }
    EXPECT_TRUE(simp->Violations().empty()) << simp->Violations().front();
}

} // namespace

namespace {

// The gang module on the programmer with the gang size at 1: a
// microcontroller row drives the part in the module's first socket through
// the pin driver, and programs, verifies and reads it as without the module;
// the parts in the other sockets stay blank.
class GangModuleRun : public RackRangeRun {
protected:
    void SetUp() override {
        RackRangeRun::SetUp();
        std::unique_ptr<sim::SimProgrammer> p = sim::Rack::Build(4);
        simp = p.get();
        rack = sim::Rack::Find(*p);
        InstallPortIo(std::move(p));
    }
};

TEST_F(GangModuleRun, MicrocontrollersWorkTheFirstSocketAtGangSizeOne) {
    const struct {
        const char* maker;
        const char* name;
    } parts[] = {{"MICROCHIP", "PIC16F84"}, {"ATMEL", "AT89C51"}, {"ATMEL", "AT90S8515"}};
    for (const auto& part : parts) {
        SCOPED_TRACE(part.name);
        ui.Log.clear();
        sim::CatalogChip* chip = SelectAndSeat(part.maker, part.name);
        ASSERT_NE(chip, nullptr);
        ASSERT_EQ(rack->SocketsInUse(), 4);
        LastSocketIndex = 0;
        const uint32_t unit = DataWidth > 8 ? 2 : 1;
        const uint32_t bytes = (DeviceEnd + 1) * unit;
        FillRandomBuffer(bytes, 7);
        if (unit == 2) {
            for (uint32_t a = 0; a < bytes; a += 2) Image()[a + 1] &= 0x3F; // 14-bit words
        }
        const std::vector<uint8_t> image(Image(), Image() + bytes);
        VerifyAfterProgram = 1;
        ASSERT_EQ(RunOperation(MainEngine, OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Cell(a), BufferValue(image.data(), a)) << std::hex << a;
        ASSERT_EQ(RunOperation(MainEngine, OpVerify), ResultOk) << LogText();
        std::fill_n(Image(), bytes, uint8_t{0x5A});
        ASSERT_EQ(RunOperation(MainEngine, OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < bytes; ++a) ASSERT_EQ(Image()[a], image[a]) << std::hex << a;
        for (int s = 1; s < 4; ++s) {
            const sim::CatalogChip* other = rack->Seated(s);
            ASSERT_NE(other, nullptr);
            for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(other->Cell(a), other->Facts().blank) << s << " " << a;
        }
        EXPECT_TRUE(simp->Violations().empty()) << simp->Violations().front();
    }
}

} // namespace

namespace {

// An Intel hex file as its records give it: every data byte by address and
// the record lines. Empty when a line is not a well-formed record.
struct HexContents {
    std::map<uint32_t, uint8_t> bytes;
    std::vector<std::string> lines;
};

HexContents ReadIntelHex(const std::string& path) {
    HexContents out;
    std::ifstream in(path);
    uint32_t base = 0;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::vector<uint32_t> b;
        for (size_t i = 1; line[0] == ':' && i + 1 < line.size(); i += 2)
            b.push_back(static_cast<uint32_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
        uint32_t sum = 0;
        for (uint32_t v : b) sum += v;
        if (b.size() < 5 || b.size() != b[0] + 5u || (sum & 0xFF) != 0) return {};
        out.lines.push_back(line);
        const uint32_t at = b[1] << 8 | b[2];
        if (b[3] == 0) {
            for (uint32_t k = 0; k < b[0]; ++k) out.bytes[base + at + k] = static_cast<uint8_t>(b[4 + k]);
        } else if (b[3] == 2) {
            base = (b[4] << 8 | b[5]) << 4;
        } else if (b[3] == 4) {
            base = (b[4] << 8 | b[5]) << 16;
        }
    }
    return out;
}

std::string SourceFolder() {
    const char* env = std::getenv("VEXLOR_SOURCE_DIR");
    return env != nullptr ? std::string(env)
                          : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string();
}

// A PIC16F84 file as gpasm writes it (tests/data/mcu/pic16f84-config.asm
// and the .hex made from it): loaded, Auto on the seated part, saved. The
// part takes the file's configuration word (code protection off), and the
// saved file keeps the configuration and ID records and every byte the file
// sets.
TEST_F(RackRangeRun, GpasmPicFileKeepsItsConfigurationThroughAutoAndSave) {
    const std::string source = SourceFolder() + "/tests/data/mcu/pic16f84-config.hex";
    const HexContents in = ReadIntelHex(source);
    ASSERT_FALSE(in.bytes.empty()) << source;
    sim::CatalogChip* seated = SelectAndSeat("MICROCHIP", "PIC16F84");
    const auto* chip = sim::SeatedModel<sim::PicChip>(seated);
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(LoadHexFamilyFile(source, LoadFileOffset, LoadBufferStart), 1);
    ASSERT_EQ(RunOperation(MainEngine, OpAuto), ResultOk) << LogText();
    EXPECT_EQ(chip->Config(), 0x3FF1u);
    const uint32_t ids[4] = {0x1, 0xA, 0x2, 0xB};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(chip->Id(i), ids[i]) << i;
    EXPECT_EQ(chip->Word(0), 0x2805u);

    const std::string saved =
        (std::filesystem::temp_directory_path() / ("p16f84-saved-" + std::to_string(getpid()) + ".hex")).string();
    ASSERT_EQ(SaveHexFamilyFile(saved, SaveBufferStart, SaveBufferEnd, HexFormatIntel), 1);
    const HexContents out = ReadIntelHex(saved);
    std::filesystem::remove(saved);
    ASSERT_FALSE(out.bytes.empty());
    for (const char* record : {":02400E00F13F80", ":0840000001000A0002000B00A0"})
        EXPECT_NE(std::find(out.lines.begin(), out.lines.end(), record), out.lines.end()) << record;
    for (const auto& [address, value] : in.bytes) {
        const auto it = out.bytes.find(address);
        ASSERT_NE(it, out.bytes.end()) << std::hex << address;
        EXPECT_EQ(it->second, value) << std::hex << address;
    }
}

} // namespace
