// The bootstrap-download rows against the simulator's 68HC05 parts: whole
// runs with a file from the 68HC05 assembler, the download and handshake
// traces, the library's chip-side programs, and injected faults.
#include "W78Fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "mcu/Bootstrap05.h"
#include "sim/BootBus.h"
#include "sim/Hc05BootChip.h"

namespace {

class Boot05Run : public W78Run {
protected:
    void SetUp() override {
        W78Run::SetUp();
        sim::RegisterBootBusPersonality();
    }
    sim::Hc05BootChip* PutBoot(const char* name, void (*change)(sim::Hc05BootFacts&) = nullptr) {
        return PutPart<sim::Hc05BootChip>("GENERIC-ALGORITHM", name, change);
    }
    static const sim::Hc05BootFacts& BootFacts(const sim::Hc05BootChip& chip) {
        return static_cast<const sim::Hc05BootFacts&>(chip.Facts());
    }
    static bool BootMapped(const sim::Hc05BootChip& chip, uint32_t a) {
        const auto& f = BootFacts(chip);
        for (const auto* list : {&f.eprom, &f.eeprom})
            for (const auto& r : *list)
                if (a >= r.first && a <= r.last) return true;
        return false;
    }
    // A random image of the part's map written as 68HC05 source, assembled
    // by sdas6808 and linked to S-records by sdld6808; false when the tools
    // are missing. Bytes outside the map are 0x5A in `image`.
    static bool WriteBootAsmFile(const sim::Hc05BootChip& chip, std::vector<uint8_t>& image) {
        const auto& f = BootFacts(chip);
        image.assign(f.words, 0x5A);
        std::ofstream s("boot05.s");
        s << "        .area CODE (ABS)\n";
        uint32_t x = 0x2468ACEu;
        for (const auto* list : {&f.eprom, &f.eeprom}) {
            for (const auto& r : *list) {
                s << "        .org 0x" << std::hex << r.first << "\n";
                for (uint32_t a = r.first; a <= r.last; ++a) {
                    x = x * 1103515245u + 12345u;
                    image[a] = static_cast<uint8_t>(x >> 16);
                    s << "        .db 0x" << std::hex << static_cast<int>(image[a]) << "\n";
                }
            }
        }
        s.close();
        return std::system("sdas6808 -o boot05.rel boot05.s >/dev/null 2>&1 && "
                           "sdld6808 -n -s boot05.s19 boot05.rel </dev/null >/dev/null 2>&1") == 0;
    }
    // The bus register writes (0-11) since StartTrace, with their times.
    std::vector<sim::RegisterAccess> BootWrites() const {
        std::vector<sim::RegisterAccess> w;
        for (const auto& r : simp.RegisterTrace())
            if (r.write && r.reg <= 11) w.push_back(r);
        return w;
    }
    // The library in a private folder with entry n cut to `size` bytes.
    void CutLibraryEntry(uint32_t n, uint32_t size) {
        std::ifstream in(LibraryFilePath(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 10 + 8 * n);
        for (int i = 0; i < 4; ++i) bytes[6 + 8 * n + i] = static_cast<char>(size >> (8 * i));
        std::filesystem::create_directories("cutlib");
        std::ofstream(std::string("cutlib/") + LibraryFileName, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!cut_) savedDir_ = ProgramDirectory;
        cut_ = true;
        ProgramDirectory = std::filesystem::absolute("cutlib").string();
    }
    // The library in a private folder with entry n holding entry m's bytes.
    void PointLibraryEntry(uint32_t n, uint32_t m) {
        std::ifstream in(LibraryFilePath(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 10 + 8 * std::max(n, m));
        for (int i = 0; i < 8; ++i) bytes[2 + 8 * n + i] = bytes[2 + 8 * m + i];
        std::filesystem::create_directories("cutlib");
        std::ofstream(std::string("cutlib/") + LibraryFileName, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!cut_) savedDir_ = ProgramDirectory;
        cut_ = true;
        ProgramDirectory = std::filesystem::absolute("cutlib").string();
    }
    // The register traffic of one entry call, from StartTrace.
    std::vector<sim::RegisterAccess> Record(int (*entry)()) {
        StartTrace();
        EXPECT_EQ(entry(), 1) << LogText();
        return simp.RegisterTrace();
    }
    // Replays traffic at its pace; `change(r, clocks)` gives each write's
    // value, `clocks` counting the download clocks (register 4 set) so far.
    template <class F> void Replay(const std::vector<sim::RegisterAccess>& t, F change) {
        const uint64_t t0 = t.front().timeUs, start = simp.NowUs();
        uint32_t clocks = 0;
        for (const auto& r : t) {
            const uint64_t at = start + (r.timeUs - t0);
            if (simp.NowUs() < at) DelayUsSlot(static_cast<uint32_t>(at - simp.NowUs()));
            if (r.write) {
                WriteRegister(r.reg, change(r, clocks));
                clocks += r.reg == 4 && r.value == 1 ? 1 : 0;
            } else {
                (void)ReadRegister(r.reg);
            }
        }
    }
    void TearDown() override {
        if (cut_) ProgramDirectory = savedDir_;
        W78Run::TearDown();
    }
    std::string savedDir_;
    bool cut_ = false;
};

class Boot05Devices : public Boot05Run, public ::testing::WithParamInterface<const char*> {};

// Blank check, an assembled file programmed, verified at both levels,
// compared, read back, saved and reloaded; then blank check fails.
TEST_P(Boot05Devices, WholeRun) {
    sim::Hc05BootChip* chip = PutBoot(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(DeviceEnd + 1, chip->Words());
    std::vector<uint8_t> image;
    if (!WriteBootAsmFile(*chip, image)) GTEST_SKIP() << "sdas6808 not installed";
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    FillBufferRange(0, DeviceEnd, 0x5A);
    ASSERT_EQ(LoadHexFamilyFile("boot05.s19", 0, 0), 1);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a <= DeviceEnd; ++a)
        if (BootMapped(*chip, a)) {
            ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
        }
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, DeviceEnd, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectSavedAndReloaded(0, image);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, Boot05Devices, ::testing::Values("HC05BOOT-139", "HC05BOOT-138", "HC05BOOT-141", "HC05BOOT-137-V0",
                                                             "HC05BOOT-137-V1", "HC05BOOT-140-V0", "HC05BOOT-140-V1",
                                                             "HC05BOOT-131-V0", "HC05BOOT-131-V1", "HC05BOOT-131-V2",
                                                             "HC05BOOT-131-V3", "HC05BOOT-132-V0", "HC05BOOT-132-V1",
                                                             "HC05BOOT-132-V2", "HC05BOOT-132-V3", "HC05BOOT-132-V4",
                                                             "HC05BOOT-132-V5", "HC05BOOT-132-V6", "HC05BOOT-136"), [](const auto& info) {
    std::string s = info.param;
    for (char& c : s)
        c = c == '-' ? '_' : c;
    return s;
});

// Row 139's trace: the reset and mode patterns, 176 download bytes each
// clocked on register 4 at least 5 ms apart, the address and data
// handshake, the closing ready wait and the power-down.
TEST_F(Boot05Run, Row139Trace) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-139");
    DeviceStart = DeviceEnd = 0x123;
    BufferWindow[0x123] = 0xA5;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[139].Program(), 1);
    const auto w = BootWrites();
    ASSERT_GE(w.size(), 6 + 176 * 3 + 10u);
    const std::vector<std::pair<int, int>> head = {{4, 0}, {3, 1}, {2, 0xFE}, {2, 0xDE}, {0, 0x10}, {2, 0xDF}};
    for (size_t i = 0; i < head.size(); ++i) EXPECT_EQ((std::pair<int, int>{w[i].reg, w[i].value}), head[i]) << i;
    OpenLibraryEntry(188);
    for (size_t i = 0; i < 176; ++i) {
        const auto* b = &w[6 + 3 * i];
        EXPECT_EQ(b[0].reg, 1);
        EXPECT_EQ(b[0].value, ReadLibraryByte(static_cast<uint32_t>(i))) << i;
        EXPECT_TRUE(b[1].reg == 4 && b[1].value == 1 && b[2].reg == 4 && b[2].value == 0) << i;
        if (i > 0) {
            EXPECT_GE(b[0].timeUs - w[6 + 3 * (i - 1)].timeUs, 5200u) << i;
        }
    }
    const std::vector<std::pair<int, int>> xfer = {{1, 0x01}, {3, 0}, {3, 1}, {1, 0x23}, {3, 0}, {3, 1},
                                                   {2, 0xCF}, {5, 0xA5}, {3, 0}, {3, 1}, {2, 0}};
    for (size_t i = 0; i < xfer.size(); ++i) {
        const auto& r = w[6 + 176 * 3 + i];
        EXPECT_EQ((std::pair<int, int>{r.reg, r.value}), xfer[i]) << i;
    }
    EXPECT_EQ(w.size(), 6 + 176 * 3 + xfer.size());
    EXPECT_EQ(chip->Cell(0x123), 0xA5);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    // A range with no mapped address downloads, transfers nothing and ends
    // on the closing ready wait.
    DeviceStart = 0x50;
    DeviceEnd = 0xFF;
    EXPECT_EQ(AlgorithmTable[139].Program(), 1);
    EXPECT_EQ(chip->Downloaded(), 176u);
    EXPECT_EQ(chip->Taken().size(), 1u);
    ExpectNoViolations();
}

// Row 139's control byte tells the data port's direction: CFh with the
// programmer driving it for a byte to burn, DFh with the part driving it for
// a cell to read. The row's own traffic replayed with the other byte in the
// data phase burns nothing and reads nothing.
TEST_F(Boot05Run, Row139DataDirection) {
    // The data phases come after the download's first clock.
    auto swap = [](uint8_t from, uint8_t to) {
        return [from, to](const sim::RegisterAccess& r, uint32_t clocks) {
            return r.reg == 2 && r.value == from && clocks > 0 ? to : r.value;
        };
    };
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-139");
    DeviceStart = DeviceEnd = 0x123;
    BufferWindow[0x123] = 0xA5;
    const auto program = Record([] { return AlgorithmTable[139].Program(); });
    ASSERT_EQ(chip->Cell(0x123), 0xA5);
    ExpectNoViolations();
    chip = PutBoot("HC05BOOT-139");
    Replay(program, swap(0xCF, 0xDF));
    EXPECT_EQ(chip->Cell(0x123), 0x00);
    EXPECT_EQ(chip->Burns(), 0u);
    ASSERT_FALSE(simp.Violations().empty());
    EXPECT_NE(simp.Violations().front().find("not drive the data port"), std::string::npos) << simp.Violations().front();
    simp.ClearViolations();

    DeviceStart = DeviceEnd = 0x123; // the seating selected the whole part
    chip->SetCell(0x123, 0xA5);
    const auto read = Record([] { return AlgorithmTable[139].Read(ReadModeVerify); });
    ExpectNoViolations();
    Replay(read, swap(0xDF, 0xCF));
    ASSERT_FALSE(simp.Violations().empty());
    EXPECT_NE(simp.Violations().front().find("while the logic drives the data port"), std::string::npos)
        << simp.Violations().front();
    simp.ClearViolations();
}

// A chip-side program that makes PA, where the logic's latches reach the
// part, an output fights the logic; one that leaves it an input does not.
TEST_F(Boot05Run, Row139PortContention) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-139");
    DeviceStart = DeviceEnd = 0x123;
    const auto program = Record([] { return AlgorithmTable[139].Program(); });
    ExpectNoViolations();
    // lda #ddra; sta DDRA; bra *
    auto download = [](uint8_t ddra) {
        return [ddra](const sim::RegisterAccess& r, uint32_t clocks) {
            const std::vector<uint8_t> code = {0xA6, ddra, 0xB7, 0x04, 0x20, 0xFE};
            if (r.reg != 1 || clocks >= 176) return r.value;
            return clocks < code.size() ? code[clocks] : uint8_t{0x9D};
        };
    };
    chip = PutBoot("HC05BOOT-139");
    Replay(program, download(0x00));
    EXPECT_EQ(chip->Starts(), 1u);
    ExpectNoViolations();
    chip = PutBoot("HC05BOOT-139");
    Replay(program, download(0x81));
    EXPECT_EQ(chip->Starts(), 1u);
    ASSERT_FALSE(simp.Violations().empty());
    EXPECT_NE(simp.Violations().front().find("contention on PA: pins 81h"), std::string::npos) << simp.Violations().front();
    simp.ClearViolations();
}

// Every row's download: the whole chip-side program, byte by byte at the
// row's pace, on the register its logic image takes it from.
TEST_F(Boot05Run, DownloadCountAndPacing) {
    struct Pace {
        const char* name;
        int reg, value; // the write that hands over a byte (value -1: any)
        uint32_t entry, count, gapUs;
    };
    const Pace paces[] = {
        {"HC05BOOT-139", 4, 1, 187, 176, 5200},    {"HC05BOOT-132-V0", 1, -1, 178, 176, 2150},
        {"HC05BOOT-131-V1", 1, -1, 178, 176, 2150}, {"HC05BOOT-138", 1, -1, 189, 176, 11000},
        {"HC05BOOT-141", 5, 1, 192, 176, 5200},    {"HC05BOOT-137-V0", 1, -1, 183, 176, 2150},
        {"HC05BOOT-140-V0", 1, -1, 183, 176, 5200}, {"HC05BOOT-136", 1, -1, 195, 224, 2150},
    };
    for (const Pace& p : paces) {
        SCOPED_TRACE(p.name);
        sim::Hc05BootChip* chip = PutBoot(p.name);
        DeviceStart = DeviceEnd = 0;
        StartTrace();
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Read(ReadModeBlank), 1);
        EXPECT_EQ(chip->Downloaded(), std::min<uint32_t>(p.count, BootFacts(*chip).ramBytes));
        EXPECT_EQ(chip->Starts(), 1u);
        std::vector<uint64_t> at;
        for (const auto& w : BootWrites())
            if (w.reg == p.reg && (p.value < 0 || w.value == p.value) && at.size() < p.count) at.push_back(w.timeUs);
        ASSERT_EQ(at.size(), p.count);
        for (size_t i = 1; i < at.size(); ++i) ASSERT_GE(at[i] - at[i - 1], p.gapUs) << i;
        ExpectNoViolations();
        ResetProgrammerOutputs(); // as the operation driver does after a run
    }
}

// Row 136 hands the address bytes through register 3 and each data byte as
// two nibbles on register 4, low first, every one strobed on register 2;
// the byte at 1FF1h gets 2 ms, the others 1 ms.
TEST_F(Boot05Run, Row136NibbleTrace) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-136");
    DeviceStart = 0x1FF1;
    DeviceEnd = 0x1FF2;
    BufferWindow[0x1FF1] = 0xA5;
    BufferWindow[0x1FF2] = 0x3C;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[136].Program(), 1);
    EXPECT_EQ(chip->Cell(0x1FF1), 0xA5);
    EXPECT_EQ(chip->Cell(0x1FF2), 0x3C);
    const auto w = BootWrites();
    size_t at = 0;
    while (at < w.size() && !(w[at].reg == 0 && w[at].value == 0xE3)) ++at;
    ASSERT_LT(at, w.size());
    const std::vector<std::pair<int, int>> bytes = {
        {3, 0x1F}, {2, 0}, {2, 1}, {3, 0xF1}, {2, 0}, {2, 1}, {4, 0x5}, {2, 0}, {2, 1}, {4, 0xA}, {2, 0}, {2, 1},
        {3, 0x1F}, {2, 0}, {2, 1}, {3, 0xF2}, {2, 0}, {2, 1}, {4, 0xC}, {2, 0}, {2, 1}, {4, 0x3}, {2, 0}, {2, 1},
        {0, 0xE0}};
    ASSERT_GE(w.size(), at + 1 + bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ((std::pair<int, int>{w[at + 1 + i].reg, w[at + 1 + i].value}), bytes[i]) << i;
    const uint64_t after1FF1 = w[at + 13].timeUs - w[at + 12].timeUs;
    const uint64_t after1FF2 = w[at + 25].timeUs - w[at + 24].timeUs;
    EXPECT_GE(after1FF1, 2000u);
    EXPECT_GE(after1FF2, 1000u);
    EXPECT_GE(after1FF1, after1FF2 + 800);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// A loaded program that never reports ready: -1 at the first address sent,
// powered down, within the bounded polls.
TEST_F(Boot05Run, ReadyNeverComes) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-139");
    chip->NeverReady();
    FillPattern(0x2000);
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(AlgorithmTable[139].Program(), -1);
    EXPECT_EQ(ChipAddress, 0x20u);
    EXPECT_EQ(BufferIndex, 0x20u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    EXPECT_LT(simp.NowUs() - t0, 60'000'000u);
    EXPECT_EQ(AlgorithmTable[139].Read(ReadModeVerify), -1);
    EXPECT_EQ(ChipAddress, 0x20u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// A cell that does not take its byte fails the verify at its address; the
// programming voltage on the wrong pin leaves the bytes unburnt.
TEST_F(Boot05Run, BytesNotTaken) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-139");
    chip->StickCell(0x812);
    FillPattern(0x2000);
    BufferWindow[0x812] = 0x77;
    EXPECT_EQ(AlgorithmTable[139].Program(), 1);
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    EXPECT_EQ(ChipAddress, 0x812u);
    EXPECT_TRUE(HasLine("Buffer addr: 000812h  data: 0077h")) << LogText();
    ExpectNoViolations();

    chip = PutBoot("HC05BOOT-139", [](sim::Hc05BootFacts& f) { f.vppPin = 7; });
    DeviceStart = 0x20;
    DeviceEnd = 0x2F;
    EXPECT_EQ(AlgorithmTable[139].Program(), 1);
    bool unburnt = false;
    for (const auto& v : simp.Violations()) unburnt = unburnt || v.find("without the programming voltage") != std::string::npos;
    EXPECT_TRUE(unburnt);
    EXPECT_EQ(chip->Cell(0x20), 0x00);
    EXPECT_TRUE(chip->Taken().empty());
}

// Every row takes a chip address's byte from that buffer address, so a
// split mode is refused before anything reaches the part.
TEST_F(Boot05Run, SplitModesRefused) {
    for (const char* name : {"HC05BOOT-139", "HC05BOOT-138", "HC05BOOT-141", "HC05BOOT-137-V1", "HC05BOOT-140-V0",
                             "HC05BOOT-131-V0", "HC05BOOT-132-V3", "HC05BOOT-136"}) {
        SCOPED_TRACE(name);
        sim::Hc05BootChip* chip = PutBoot(name);
        FillPattern(0x8000);
        for (const uint32_t mode : {2u, 5u}) {
            WordMode = mode;
            StartTrace();
            EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
            EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
            EXPECT_TRUE(HasLine("Cannot support Split mode!")) << LogText();
            EXPECT_TRUE(BootWrites().empty());
            EXPECT_EQ(chip->Downloaded(), 0u);
        }
        WordMode = 0;
    }
}

// The part enters bootstrap only with the mode pin's high voltage; without
// it the program never runs and the first handshake fails.
TEST_F(Boot05Run, BootstrapNeedsModeVoltage) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-139", [](sim::Hc05BootFacts& f) { f.modeMinTenths = 110; });
    EXPECT_EQ(AlgorithmTable[139].Read(ReadModeBlank), -1);
    EXPECT_EQ(chip->Starts(), 0u);
    EXPECT_EQ(chip->Downloaded(), 0u);
}

// A missing or short chip-side program is refused before anything is
// powered: nothing is clocked into the part.
TEST_F(Boot05Run, ShortEntryRefused) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-139");
    CutLibraryEntry(188, 100);
    StartTrace();
    EXPECT_EQ(AlgorithmTable[139].Program(), -1);
    EXPECT_TRUE(HasLine(" Library entry 188 holds 100 bytes, 176 needed!")) << LogText();
    EXPECT_TRUE(BootWrites().empty());
    // Through the driver the run ends at that line: no datum was read.
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Library entry 188 holds 100 bytes, 176 needed!")) << LogText();
    EXPECT_EQ(DatumLines(), "") << LogText();
    EXPECT_EQ(chip->Downloaded(), 0u);
    EXPECT_EQ(AlgorithmTable[139].Read(ReadModeRead), 1);
    CutLibraryEntry(187, 0);
    EXPECT_EQ(AlgorithmTable[139].Read(ReadModeRead), -1);
    EXPECT_TRUE(HasLine(" Library entry 187 holds 0 bytes, 176 needed!")) << LogText();
}

// An entry long enough but holding no chip-side program of this family (a
// 68HC11 program) is refused before power-up: Secure cannot report success
// without securing.
TEST_F(Boot05Run, ForeignEntryRefused) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-132-V0");
    FillPattern(DeviceEnd + 1);
    PointLibraryEntry(180, 149);
    StartTrace();
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Library entry 180 holds no 68HC05 chip-side program!")) << LogText();
    EXPECT_FALSE(HasLine("Security ok!")) << LogText();
    EXPECT_EQ(chip->Downloaded(), 0u);
    EXPECT_FALSE(chip->Secured());
    // Row 136 downloads 224 bytes from 0020h: a program built for the
    // 176-byte parts is refused.
    chip = PutBoot("HC05BOOT-136");
    PointLibraryEntry(195, 178);
    EXPECT_EQ(AlgorithmTable[136].Read(ReadModeRead), -1);
    EXPECT_TRUE(HasLine(" Library entry 195 holds 176 bytes, 224 needed!")) << LogText();
    EXPECT_EQ(chip->Downloaded(), 0u);
}

// The program program erases an EEPROM byte before writing it: a second
// Program over the first (bits going back to 1) verifies without Erase.
TEST_F(Boot05Run, EepromRewrittenWithoutErase) {
    for (const char* name : {"HC05BOOT-141", "HC05BOOT-140-V1"}) {
        SCOPED_TRACE(name);
        sim::Hc05BootChip* chip = PutBoot(name);
        FillBufferRange(0, DeviceEnd, 0x00);
        for (uint32_t a = 0x100; a <= 0x1FF; ++a) BufferWindow[a] = static_cast<uint8_t>(a * 13);
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
        // The second image turns bits back to 1 (FFh itself the row never
        // sends: it takes an erased EEPROM).
        auto second = [](uint32_t a) { return static_cast<uint8_t>((a * 13) ^ 0xA5) == 0xFF ? uint8_t{0xFE} : static_cast<uint8_t>((a * 13) ^ 0xA5); };
        for (uint32_t a = 0x100; a <= 0x1FF; ++a) BufferWindow[a] = second(a);
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
        for (uint32_t a = 0x100; a <= 0x1FF; ++a) ASSERT_EQ(chip->Cell(a), second(a)) << std::hex << a;
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        ExpectNoViolations();
    }
}

// A user break answered No ends the run with 3, powered down.
TEST_F(Boot05Run, UserBreak) {
    for (int op : {OpProgram, OpVerify}) {
        SCOPED_TRACE(op);
        sim::Hc05BootChip* chip = PutBoot("HC05BOOT-139");
        FillPattern(0x2000);
        if (op == OpVerify) {
            for (uint32_t a = 0; a < 0x2000; ++a) chip->SetCell(a, BufferByte(a));
        }
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(op), ResultUserBreak) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        if (op == OpProgram) {
            EXPECT_LT(chip->Taken().size(), 0x1800u);
        }
        ExpectNoViolations();
    }
}

// Secure loads the secure program with the programming voltage on: it burns
// the security bit of the option byte at the part's own address and no
// other cell; the read program then gets nothing from the part, so a verify
// fails. Every part whose record offers Security. A variant whose table
// names no secure program is refused before power-up.
TEST_F(Boot05Run, SecureThenReadFails) {
    for (const char* name : {"HC05BOOT-132-V0", "HC05BOOT-132-V1", "HC05BOOT-132-V2", "HC05BOOT-132-V3",
                             "HC05BOOT-132-V4", "HC05BOOT-132-V5", "HC05BOOT-132-V6", "HC05BOOT-131-V1",
                             "HC05BOOT-131-V3", "HC05BOOT-136"}) {
        SCOPED_TRACE(name);
        sim::Hc05BootChip* chip = PutBoot(name);
        FillPattern(DeviceEnd + 1);
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        std::vector<uint8_t> cells(chip->Words());
        for (uint32_t a = 0; a < cells.size(); ++a) cells[a] = static_cast<uint8_t>(chip->Cell(a));
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Secure(), 1);
        EXPECT_TRUE(chip->Secured());
        const sim::Hc05BootFacts& f = BootFacts(*chip);
        EXPECT_NE((chip->Cell(f.securityAt) ^ f.blank) & f.securityBit, 0) << std::hex << f.securityAt;
        for (uint32_t a = 0; a < cells.size(); ++a) {
            if (a != f.securityAt) {
                ASSERT_EQ(chip->Cell(a), cells[a]) << "cell " << std::hex << a;
            }
        }
        EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
        ExpectNoViolations();
    }
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-131-V0");
    StartTrace();
    EXPECT_EQ(AlgorithmTable[131].Secure(), -1);
    EXPECT_TRUE(HasLine(" No chip-side program for this operation on this device!")) << LogText();
    EXPECT_TRUE(BootWrites().empty());
    EXPECT_FALSE(chip->Secured());
    // Row 136 polls for the secure program's ready: 10000 polls of 1 ms
    // without it give -1, powered down.
    chip = PutBoot("HC05BOOT-136");
    chip->NeverReady();
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(AlgorithmTable[136].Secure(), -1);
    EXPECT_GE(simp.NowUs() - t0, 10'000'000u);
    EXPECT_LT(simp.NowUs() - t0, 25'000'000u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// The bus tells its latches apart by their role: row 132's traffic replayed
// with each address high byte written to the data latch (register 7)
// instead of its own (6) is seen, though the part gets the same bytes; as
// recorded it passes.
TEST_F(Boot05Run, AByteInTheLatchOfAnotherRoleIsSeen) {
    PutBoot("HC05BOOT-132-V3");
    FillPattern(0x4000);
    DeviceStart = 0x100;
    DeviceEnd = 0x10F;
    const auto traffic = Record(AlgorithmTable[132].Program);
    ExpectNoViolations();
    for (const uint8_t highTo : {6, 7}) {
        SCOPED_TRACE(highTo);
        sim::Hc05BootChip* chip = PutBoot("HC05BOOT-132-V3");
        simp.ClearViolations();
        const uint64_t t0 = traffic.front().timeUs, start = simp.NowUs();
        for (const auto& r : traffic) {
            const uint64_t at = start + (r.timeUs - t0);
            if (simp.NowUs() < at) DelayUsSlot(static_cast<uint32_t>(at - simp.NowUs()));
            if (r.write) {
                WriteRegister(r.reg == 6 ? highTo : r.reg, r.value);
            } else {
                (void)ReadRegister(r.reg);
            }
        }
        EXPECT_EQ(chip->Cell(0x10F), BufferWindow[0x10F]);
        bool seen = false;
        for (const auto& v : simp.Violations())
            seen = seen || v == "bootstrap bus: the address low byte latch (register 2) strobed after a data byte "
                                "where the address high byte is due";
        EXPECT_EQ(seen, highTo == 7) << (simp.Violations().empty() ? "" : simp.Violations().front());
        if (highTo == 6) ExpectNoViolations();
    }
}

// Erase sends only the EEPROM addresses: the EEPROM reads FFh again and the
// EPROM keeps its bytes.
TEST_F(Boot05Run, EraseClearsTheEeprom) {
    for (const char* name : {"HC05BOOT-141", "HC05BOOT-137-V0", "HC05BOOT-140-V0"}) {
        SCOPED_TRACE(name);
        sim::Hc05BootChip* chip = PutBoot(name);
        FillBufferRange(0, DeviceEnd, 0x00);
        for (uint32_t a = 0x100; a <= 0x1FF; ++a) BufferWindow[a] = static_cast<uint8_t>(a * 7);
        BufferWindow[0x7FF4 & DeviceEnd] = 0x3C;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0x100; a <= 0x1FF; ++a) ASSERT_EQ(chip->Cell(a), static_cast<uint8_t>(a * 7)) << std::hex << a;
        EXPECT_EQ(chip->Cell(0x7FF4 & DeviceEnd), 0x3C);
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        for (uint32_t a = 0x100; a <= 0x1FF; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
        EXPECT_EQ(chip->Cell(0x7FF4 & DeviceEnd), 0x3C);
        ExpectNoViolations();
    }
}

// Blank bytes are skipped: an all-00h EPROM and all-FFh EEPROM buffer sends
// no byte on the skipping rows (131 with blank 00h among them).
TEST_F(Boot05Run, BlankBytesAreNotSent) {
    for (const char* name : {"HC05BOOT-141", "HC05BOOT-137-V0", "HC05BOOT-140-V0", "HC05BOOT-131-V1"}) {
        SCOPED_TRACE(name);
        sim::Hc05BootChip* chip = PutBoot(name);
        FillBufferRange(0, DeviceEnd, 0x00);
        FillBufferRange(0x100, 0x1FF, 0xFF);
        if (CurrentAlgorithm == 131) FillBufferRange(0x100, 0x1FF, 0x00);
        StartTrace();
        EXPECT_EQ(AlgorithmRow(CurrentAlgorithm)->Program(), 1);
        EXPECT_TRUE(chip->Taken().empty());
        for (const auto& w : BootWrites()) ASSERT_FALSE(w.reg == 3 && w.value == 0) << "a strobe";
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    }
    // Row 141 gives the EEPROM byte at 1FFh 300 ms before the next address.
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-141");
    FillBufferRange(0, DeviceEnd, 0x00);
    FillBufferRange(0x100, 0x1FF, 0xFF);
    BufferWindow[0x1FE] = BufferWindow[0x1FF] = BufferWindow[0x300] = 0x11;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[141].Program(), 1);
    EXPECT_EQ(chip->Taken(), (std::vector<uint32_t>{0x1FE, 0x1FF, 0x300}));
    std::vector<uint64_t> data;
    for (const auto& w : BootWrites())
        if (w.reg == 7 && w.value == 0x11) data.push_back(w.timeUs);
    ASSERT_EQ(data.size(), 3u);
    EXPECT_GE(data[2] - data[1], 300'000u);
    EXPECT_LT(data[1] - data[0], 300'000u);
    ExpectNoViolations();
}

// Every chip-side program the rows' tables name is in the library, as long
// as the most any row sends of it, and holds the bytes its source assembles
// to (built again here from the same sources: the build is reproducible).
TEST(Boot05Library, EntriesAreTheAssembledProgramsAsLongAsTheRowsSend) {
    std::map<uint32_t, uint32_t> longest;
    for (const Boot05EntryUse& u : Bootstrap05LibraryEntries())
        if (u.entry != 0) longest[u.entry] = std::max(longest[u.entry], u.count);
    ASSERT_EQ(longest.size(), 21u); // 178-198
    const std::filesystem::path built = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "chip-side";
    const char* env = std::getenv("VEXLOR_SOURCE_DIR");
    const std::filesystem::path sources =
        (env != nullptr ? std::filesystem::path(env) : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path()) /
        "data/chip-side/hc05";
    const std::filesystem::path again = std::filesystem::absolute("boot05-again");
    std::filesystem::create_directories(again);
    for (const auto& [entry, count] : longest) {
        SCOPED_TRACE("entry " + std::to_string(entry));
        const uint32_t size = OpenLibraryEntry(entry);
        ASSERT_EQ(size, count);
        std::vector<uint8_t> b(size);
        for (uint32_t k = 0; k < size; ++k) b[k] = ReadLibraryByte(k);
        const std::string name = "hc05-" + std::to_string(entry);
        const std::string cmd = "cd " + again.string() + " && sdas6808 -I" + sources.string() + " -o " +
                                name + ".rel " + (built / (name + ".s")).string() + " >/dev/null 2>&1 && sdld -i " + name +
                                ".ihx " + name + ".rel >/dev/null 2>&1 && sdobjcopy -I ihex -O binary " + name + ".ihx " +
                                name + ".bin";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::ifstream in(again / (name + ".bin"), std::ios::binary);
        std::vector<uint8_t> program((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(program.empty());
        ASSERT_LE(program.size() + 8, count) << "no room for the stack at the top of RAM";
        program.resize(count, 0);
        EXPECT_EQ(b, program);
    }
    std::filesystem::remove_all(again);
}

// Row 138 sends no address: the part burns (and gives back) its map's bytes
// in order from its first EPROM byte, so a range from above 0 is refused
// before power-up; from 0, a range ending inside the map puts its bytes at
// their cells.
TEST_F(Boot05Run, Row138RefusesAStartAboveZero) {
    sim::Hc05BootChip* chip = PutBoot("HC05BOOT-138");
    FillPattern(0x2000);
    std::vector<uint16_t> cells(chip->Words());
    for (uint32_t a = 0; a < chip->Words(); ++a) cells[a] = chip->Cell(a);
    for (const auto& [start, end] : {std::pair{0x1000u, 0x10FFu}, std::pair{0x1FFFu, 0x1FFFu}}) {
        DeviceStart = BufferStart = start;
        DeviceEnd = end;
        StartTrace();
        char line[112];
        std::snprintf(line, sizeof line,
                      " Chip start %Xh not supported: this device takes its data in map order from its first byte.",
                      start);
        // Each step ends at the line: nothing was read, so no line names a
        // datum or a verify level's result.
        for (int op : {OpProgram, OpVerify, OpBlankCheck, OpRead}) {
            EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
            EXPECT_TRUE(HasLine(line)) << op << LogText();
            EXPECT_EQ(DatumLines(), "") << op << LogText();
        }
        ExpectNoPowerUp();
    }
    for (uint32_t a = 0; a < chip->Words(); ++a) ASSERT_EQ(chip->Cell(a), cells[a]) << std::hex << a;
    DeviceStart = BufferStart = 0;
    DeviceEnd = 0x10FF;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < chip->Words(); ++a)
        ASSERT_EQ(chip->Cell(a), BootMapped(*chip, a) && a <= 0x10FF ? BufferByte(a) : cells[a]) << std::hex << a;
    ExpectNoViolations();
}

} // namespace
