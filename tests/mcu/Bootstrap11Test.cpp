// The 68HC711-type bootstrap row against the simulator's 68HC11 parts, which
// run the library's chip-side programs on their CPU core: whole runs with a
// file from the 68HC11 assembler, the order of the bytes sent, the CONFIG
// byte, the download, EEPROM rewritten in place, the entries themselves,
// and injected faults.
#include "W78Fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>

#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "mcu/Bootstrap11.h"
#include "sim/BootBus.h"
#include "sim/Hc11BootChip.h"

namespace {

class Boot11Run : public W78Run {
  protected:
    void SetUp() override {
        W78Run::SetUp();
        sim::RegisterBootBusPersonality();
    }
    sim::Hc11BootChip* PutHc11(const char* name, void (*change)(sim::Hc11BootFacts&) = nullptr) {
        const char* maker = std::string(name).rfind("MC68", 0) == 0 ? "MOTOROLA" : "GENERIC-ALGORITHM";
        return PutPart<sim::Hc11BootChip>(maker, name, change);
    }
    static const sim::Hc11BootFacts& Hc11Facts(const sim::Hc11BootChip& chip) {
        return static_cast<const sim::Hc11BootFacts&>(chip.Facts());
    }
    // Every address the part's program walks: its ranges and CONFIG, ascending.
    static std::vector<uint32_t> Hc11Walk(const sim::Hc11BootChip& chip) {
        const auto& f = Hc11Facts(chip);
        std::vector<uint32_t> walk;
        for (uint32_t a = 0; a <= 0xFFFF; ++a) {
            bool in = static_cast<int64_t>(a) == f.configAt;
            for (const auto* list : {&f.eprom, &f.eeprom})
                for (const auto& r : *list)
                    in = in || (a >= r.first && a <= r.last);
            if (in) walk.push_back(a);
        }
        return walk;
    }
    // A random image of the part's map written as 68HC11 source (one
    // section per range, CONFIG holding 0Dh), assembled by m68hc11-as,
    // linked at the ranges' addresses and written as S-records by
    // m68hc11-objcopy; false when the tools are missing. `image` holds 5Ah
    // outside the map.
    static bool WriteHc11AsmFile(const sim::Hc11BootChip& chip, std::vector<uint8_t>& image) {
        const auto& f = Hc11Facts(chip);
        image.assign(0x10000, 0x5A);
        std::ofstream s("boot11.s");
        std::string starts;
        uint32_t x = 0x13579BDu;
        int n = 0;
        auto section = [&](uint32_t first) {
            s << "        .section .r" << n << ",\"a\"\n";
            char b[64];
            std::snprintf(b, sizeof b, " --section-start=.r%d=0x%X", n++, first);
            starts += b;
        };
        for (const auto* list : {&f.eprom, &f.eeprom}) {
            for (const auto& r : *list) {
                section(r.first);
                for (uint32_t a = r.first; a <= r.last; ++a) {
                    x = x * 1103515245u + 12345u;
                    image[a] = static_cast<uint8_t>(x >> 16);
                    s << "        .byte 0x" << std::hex << static_cast<int>(image[a]) << std::dec << "\n";
                }
            }
        }
        section(static_cast<uint32_t>(f.configAt));
        image[static_cast<size_t>(f.configAt)] = 0x0D;
        s << "        .byte 0x0d\n";
        s.close();
        const std::string cmd =
            "m68hc11-as -o boot11.o boot11.s >/dev/null 2>&1 && m68hc11-ld -o boot11.elf" + starts +
            " boot11.o >/dev/null 2>&1 && m68hc11-objcopy -O srec boot11.elf boot11.s19 >/dev/null 2>&1";
        return std::system(cmd.c_str()) == 0;
    }
    std::vector<sim::RegisterAccess> Hc11Writes() const {
        std::vector<sim::RegisterAccess> w;
        for (const auto& r : simp.RegisterTrace())
            if (r.write && r.reg <= 11) w.push_back(r);
        return w;
    }
    // The library in a private folder with entry n cut to `size` bytes.
    void CutHc11Entry(uint32_t n, uint32_t size) {
        std::ifstream in(LibraryFilePath(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 10 + 8 * n);
        for (int i = 0; i < 4; ++i)
            bytes[6 + 8 * n + i] = static_cast<char>(size >> (8 * i));
        std::filesystem::create_directories("cutlib11");
        std::ofstream(std::string("cutlib11/") + LibraryFileName, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!cut_) savedDir_ = ProgramDirectory;
        cut_ = true;
        ProgramDirectory = std::filesystem::absolute("cutlib11").string();
    }
    void TearDown() override {
        if (cut_) ProgramDirectory = savedDir_;
        W78Run::TearDown();
    }
    bool HasViolation(const char* text) const {
        for (const auto& v : simp.Violations())
            if (v.find(text) != std::string::npos) return true;
        return false;
    }
    std::string savedDir_;
    bool cut_ = false;
};

class Boot11Devices : public Boot11Run, public ::testing::WithParamInterface<const char*> {};

// Blank check of a fresh part (CONFIG reading 0Fh passes), an assembled file
// programmed, verified at both levels, compared, read back, saved and
// reloaded; erase leaves the EEPROM blank and the EPROM as it was.
TEST_P(Boot11Devices, WholeRun) {
    sim::Hc11BootChip* chip = PutHc11(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(DeviceEnd, 0xFFFFu);
    std::vector<uint8_t> image;
    if (!WriteHc11AsmFile(*chip, image)) GTEST_SKIP() << "m68hc11-as not installed";
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    FillBufferRange(0, 0xFFFF, 0x5A);
    ASSERT_EQ(LoadHexFamilyFile("boot11.s19", 0, 0), 1);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    const std::vector<uint32_t> walk = Hc11Walk(*chip);
    for (uint32_t a : walk)
        ASSERT_EQ(chip->ReadCell(a), image[a]) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!"))
        << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a <= 0xFFFF; ++a)
        ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectSavedAndReloaded(0, image);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    const auto& f = Hc11Facts(*chip);
    if ((SupportedOperationMask & OpMaskErase) != 0) {
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        for (const auto& r : f.eeprom)
            for (uint32_t a = r.first; a <= r.last; ++a)
                ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
        for (const auto& r : f.eprom)
            for (uint32_t a = r.first; a <= r.last; ++a)
                ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, Boot11Devices,
                         ::testing::Values("MC68HC711E9", "MC68HC711E20", "HC711BOOT-V2", "HC711BOOT-V4",
                                           "HC711BOOT-V11", "HC711BOOT-V13", "HC711BOOT-V14",
                                           "HC711BOOT-V15", "HC711BOOT-V16"),
                         [](const auto& info) {
                             std::string s = info.param;
                             for (char& c : s)
                                 c = c == '-' ? '_' : c;
                             return s;
                         });

// Program sends one byte per mapped address, blanks included, ascending over
// the whole 64 KB: on the 68HC711E20 CONFIG, then
// 9000h-AFFFh, B600h-B7FFh, D000h-FFFFh. The download before it: E8h then
// E9h on register 0, FFh and the 768 program bytes on register 1 each at
// least 2.35 ms apart; the power-down ends on E0h and 0.
TEST_F(Boot11Run, Variant12OrderAndDownload) {
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E20");
    // Zeros: the program writes every cell (it leaves blank bytes be).
    FillBufferRange(0, 0xFFFF, 0x00);
    StartTrace();
    EXPECT_EQ(AlgorithmTable[120].Program(), 1);
    std::vector<uint32_t> expected{0x103F};
    for (uint32_t a = 0x9000; a <= 0xAFFF; ++a)
        expected.push_back(a);
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a)
        expected.push_back(a);
    for (uint32_t a = 0xD000; a <= 0xFFFF; ++a)
        expected.push_back(a);
    EXPECT_EQ(chip->Taken(), expected);
    const auto w = Hc11Writes();
    std::vector<sim::RegisterAccess> control, download;
    size_t strobes = 0;
    for (const auto& r : w) {
        if (r.reg == 0) control.push_back(r);
        if (r.reg == 1) download.push_back(r);
        if (r.reg == 3 && r.value == 0) ++strobes;
    }
    EXPECT_EQ(strobes, expected.size());
    ASSERT_EQ(download.size(), 769u);
    EXPECT_EQ(download[0].value, 0xFF);
    for (size_t i = 1; i < download.size(); ++i)
        ASSERT_GE(download[i].timeUs - download[i - 1].timeUs, 2350u) << i;
    ASSERT_GE(control.size(), 4u);
    EXPECT_EQ(control[0].value, 0xE8);
    EXPECT_EQ(control[1].value, 0xE9);
    EXPECT_LT(control[1].timeUs, download[0].timeUs);
    EXPECT_EQ(control[control.size() - 2].value, 0xE0);
    EXPECT_EQ(control.back().value, 0x00);
    EXPECT_EQ(chip->Downloaded(), 768u);
    EXPECT_EQ(chip->Echoed(), 768u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Variant 11 (EEPROM only, 768 bytes of RAM) runs programs of its own map:
// Program takes CONFIG, then B600h-B7FFh and nothing else, after the whole
// 768-byte download; Read streams the same cells back.
TEST_F(Boot11Run, Variant11WalksItsOwnMap) {
    sim::Hc11BootChip* chip = PutHc11("HC711BOOT-V11");
    FillBufferRange(0, 0xFFFF, 0x00);
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a)
        BufferWindow[a] = static_cast<uint8_t>((a * 5 + 1) & 0xFE); // never blank: each is written
    BufferWindow[0x103F] = 0x09;
    EXPECT_EQ(AlgorithmTable[120].Program(), 1) << LogText();
    std::vector<uint32_t> expected{0x103F};
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a)
        expected.push_back(a);
    EXPECT_EQ(chip->Taken(), expected);
    EXPECT_EQ(chip->Downloaded(), 768u);
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a)
        ASSERT_EQ(chip->Cell(a), BufferWindow[a]) << std::hex << a;
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferByte(0x103F), 0x09);
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a)
        ASSERT_EQ(BufferByte(a), static_cast<uint8_t>((a * 5 + 1) & 0xFE)) << std::hex << a;
    ExpectNoViolations();
}

// The bootstrap bus looks the seated part up again when the socket's part
// changes within one logic image: a second part seated beside the first
// (so at another address), the first taken out, and the next entry drives
// the second, not the one the bus had found before.
TEST_F(Boot11Run, BusFollowsThePartSwappedIntoTheSocket) {
    sim::Hc11BootChip* first = PutHc11("MC68HC711E9");
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeBlank), 1) << LogText();
    EXPECT_EQ(first->Starts(), 1u);
    sim::Hc11BootChip* second = socket->Insert(std::make_unique<sim::Hc11BootChip>(Hc11Facts(*first)));
    socket->Remove(first);
    FillPattern(0x10000);
    BufferWindow[0x103F] &= 0x0F;
    EXPECT_EQ(AlgorithmTable[120].Program(), 1) << LogText();
    EXPECT_EQ(second->Downloaded(), 512u);
    EXPECT_EQ(second->Cell(0xD000), BufferWindow[0xD000]);
    EXPECT_EQ(second->Cell(0xB7FF), BufferWindow[0xB7FF]);
    ExpectNoViolations();
}

// The transfers: Program polls register 2 until bit 0 is 0, then the byte on
// register 2, 10 us, a 20 us low strobe on register 3; Read waits once for
// the program to run, then takes no handshake: 10 us, strobe low, register 0
// read 50 us later, strobe high.
TEST_F(Boot11Run, TransferTraces) {
    PutHc11("HC711BOOT-V4");
    FillPattern(0x10000);
    BufferWindow[0x103F] &= 0x0F;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[120].Program(), 1);
    auto bus = [this] {
        std::vector<sim::RegisterAccess> t;
        for (const auto& r : simp.RegisterTrace())
            if (r.reg <= 3) t.push_back(r);
        return t;
    };
    auto trace = bus();
    size_t at = 0;
    while (at < trace.size() && !(trace[at].write && trace[at].reg == 2))
        ++at;
    ASSERT_LT(at + 2, trace.size());
    ASSERT_GT(at, 0u);
    EXPECT_FALSE(trace[at - 1].write);
    EXPECT_EQ(trace[at - 1].reg, 2);
    EXPECT_EQ(trace[at].value, BufferWindow[0x103F]);
    EXPECT_TRUE(trace[at + 1].write && trace[at + 1].reg == 3 && trace[at + 1].value == 0);
    EXPECT_GE(trace[at + 1].timeUs - trace[at].timeUs, 10u);
    EXPECT_TRUE(trace[at + 2].write && trace[at + 2].reg == 3 && trace[at + 2].value == 1);
    EXPECT_GE(trace[at + 2].timeUs - trace[at + 1].timeUs, 20u);

    StartTrace();
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeVerify), 1);
    trace = bus();
    size_t strobes = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        // One wait for the program to run, then no ready poll.
        ASSERT_FALSE(strobes > 0 && !trace[i].write && trace[i].reg == 2) << "a ready poll between reads";
        if (!(trace[i].write && trace[i].reg == 3 && trace[i].value == 0)) continue;
        ++strobes;
        ASSERT_LT(i + 2, trace.size());
        ASSERT_TRUE(!trace[i + 1].write && trace[i + 1].reg == 0);
        ASSERT_GE(trace[i + 1].timeUs - trace[i].timeUs, 50u);
        ASSERT_TRUE(trace[i + 2].write && trace[i + 2].reg == 3 && trace[i + 2].value == 1);
    }
    EXPECT_EQ(strobes, 1u + 0x800u);
    ExpectNoViolations();
}

// A CONFIG-0 variant sends and reads address 0 as its configuration byte
// first; a CONFIG byte reading 0Fh blank-checks, one reading 05h does not,
// and verify compares CONFIG as read.
TEST_F(Boot11Run, ConfigByte) {
    sim::Hc11BootChip* chip = PutHc11("HC711BOOT-V2");
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0] = 0x05;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    ASSERT_FALSE(chip->Taken().empty());
    EXPECT_EQ(chip->Taken().front(), 0u);
    EXPECT_EQ(chip->ReadCell(0), 0x05);
    StartTrace();
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    EXPECT_EQ(ChipAddress, 0u);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();

    chip = PutHc11("MC68HC711E9");
    EXPECT_EQ(chip->ReadCell(0x103F), 0x0F);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    FillBufferRange(0, 0xFFFF, 0xFF);
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText(); // CONFIG reads 0Fh, the buffer holds FFh
    EXPECT_EQ(ChipAddress, 0x103Fu);
    ExpectNoViolations();
}

// A program that never reports ready (its download cut short by a RAM too
// small): Program gives -1 at the first byte sent, Read and Erase at their
// start, powered down, within the bounded polls. A byte the part does not
// take fails the verify at its address. The programming voltage on the
// wrong pin leaves the EPROM unburnt, a violation.
TEST_F(Boot11Run, InjectedFaults) {
    // RAM too small for the download's end mark: the program never serves.
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E9", [](sim::Hc11BootFacts& f) { f.ramBytes = 200; });
    FillPattern(0x10000);
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(AlgorithmTable[120].Program(), -1) << LogText();
    EXPECT_EQ(ChipAddress, 0x103Fu);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    EXPECT_LT(simp.NowUs() - t0, 120'000'000u);
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeRead), -1);
    EXPECT_EQ(ChipAddress, 0u);
    EXPECT_EQ(AlgorithmTable[120].Erase(), -1);
    EXPECT_TRUE(elec->SuppliedPins().empty());

    chip = PutHc11("MC68HC711E9");
    chip->StickCell(0xD123);
    FillPattern(0x10000);
    BufferWindow[0x103F] = 0x0F;
    BufferWindow[0xD123] = 0x77;
    EXPECT_EQ(AlgorithmTable[120].Program(), 1);
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    EXPECT_EQ(ChipAddress, 0xD123u);
    ExpectNoViolations();

    chip = PutHc11("MC68HC711E9", [](sim::Hc11BootFacts& f) { f.vppPin = 12; });
    FillBufferRange(0, 0xFFFF, 0x00);
    EXPECT_EQ(AlgorithmTable[120].Program(), 1);
    EXPECT_TRUE(HasViolation("without the programming voltage"));
    EXPECT_EQ(chip->Cell(0xD000), 0xFF);
    EXPECT_EQ(chip->Cell(0xB600), 0x00); // the EEPROM needs no programming voltage
}

// A user break answered No ends the run with 3, powered down.
TEST_F(Boot11Run, UserBreak) {
    for (int op : {OpProgram, OpVerify}) {
        SCOPED_TRACE(op);
        sim::Hc11BootChip* chip = PutHc11("MC68HC711E9");
        FillPattern(0x10000);
        BufferWindow[0x103F] &= 0x0F;
        if (op == OpVerify) {
            for (uint32_t a = 0; a <= 0xFFFF; ++a)
                chip->SetCell(a, BufferByte(a));
        }
        ui.BreakAtPercent = 60;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(op), ResultUserBreak) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        if (op == OpProgram) {
            EXPECT_LT(chip->Taken().size(), Hc11Walk(*chip).size());
        }
        ExpectNoViolations();
    }
}

// A missing or short chip-side program is refused before anything is
// powered: variants 13 and 14 have no erase program (their records offer no
// Erase), and a cut entry would be clocked in as zeros.
TEST_F(Boot11Run, MissingOrShortEntryRefused) {
    for (const char* name : {"HC711BOOT-V13", "HC711BOOT-V14"}) {
        SCOPED_TRACE(name);
        sim::Hc11BootChip* chip = PutHc11(name);
        EXPECT_EQ(SupportedOperationMask & OpMaskErase, 0u);
        StartTrace();
        EXPECT_EQ(AlgorithmTable[120].Erase(), -1);
        EXPECT_TRUE(HasLine(" No chip-side program for this operation on this device!")) << LogText();
        EXPECT_TRUE(Hc11Writes().empty());
        EXPECT_EQ(chip->Downloaded(), 0u);
    }
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E9");
    CutHc11Entry(150, 300);
    StartTrace();
    EXPECT_EQ(AlgorithmTable[120].Program(), -1);
    EXPECT_TRUE(HasLine(" Library entry 150 holds 300 bytes, 512 needed!")) << LogText();
    EXPECT_TRUE(Hc11Writes().empty());
    // Through the driver the run ends at that line: no datum was read.
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Library entry 150 holds 300 bytes, 512 needed!")) << LogText();
    EXPECT_EQ(DatumLines(), "") << LogText();
    EXPECT_EQ(chip->Downloaded(), 0u);
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeBlank), 1);
}

// A range from above address 0 is refused before the part is powered: its
// program would write and read every byte below the start too.
TEST_F(Boot11Run, StartAboveZeroRefused) {
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E9");
    FillPattern(0x10000);
    DeviceStart = 0xD123;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[120].Program(), -1);
    EXPECT_TRUE(HasLine(" Chip start D123h not supported: the part's whole map is walked.")) << LogText();
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeRead), -1);
    EXPECT_TRUE(Hc11Writes().empty());
    // Through the driver each step ends at that line: nothing was read, so
    // no line names a datum or a verify level's result.
    BlankCheckBeforeProgram = 0;
    BufferStart = DeviceStart; // the row takes a byte at its own address
    for (int op : {OpProgram, OpVerify, OpBlankCheck, OpRead}) {
        EXPECT_EQ(Run(op), -1) << op;
        EXPECT_TRUE(HasLine(" Chip start D123h not supported: the part's whole map is walked.")) << op << LogText();
        EXPECT_EQ(DatumLines(), "") << op << LogText();
    }
    EXPECT_EQ(chip->Downloaded(), 0u);
    for (uint32_t a = 0xD000; a < 0xD200; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << a;
}

// A range that ends below FFFFh is refused as well, by Program and Read,
// before the part is powered: the walk would erase and write the EEPROM
// above the end and read it into the buffer past Buffer End.
TEST_F(Boot11Run, EndBelowTheTopRefused) {
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E9");
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a) chip->SetCell(a, static_cast<uint8_t>(a * 7));
    FillBufferRange(0, 0xFFFF, 0x5A);
    DeviceEnd = 0x1000;
    BufferEnd = 0x1000;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[120].Program(), -1);
    EXPECT_TRUE(HasLine(" Chip end 1000h not supported: the part's whole map is walked.")) << LogText();
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeRead), -1);
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeVerify), -1);
    EXPECT_TRUE(Hc11Writes().empty());
    EXPECT_EQ(chip->Downloaded(), 0u);
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a) ASSERT_EQ(chip->Cell(a), static_cast<uint8_t>(a * 7)) << a;
    for (uint32_t a = 0; a <= 0xFFFF; ++a) ASSERT_EQ(BufferByte(a), 0x5A) << a;
    // One byte short of the top is as much below it.
    DeviceEnd = BufferEnd = 0xFFFE;
    EXPECT_EQ(AlgorithmTable[120].Program(), -1);
    EXPECT_TRUE(HasLine(" Chip end FFFEh not supported: the part's whole map is walked.")) << LogText();
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeRead), -1);
    EXPECT_TRUE(Hc11Writes().empty());
    BlankCheckBeforeProgram = 0;
    for (int op : {OpProgram, OpVerify, OpBlankCheck}) {
        EXPECT_EQ(Run(op), -1) << op;
        EXPECT_TRUE(HasLine(" Chip end FFFEh not supported: the part's whole map is walked.")) << op << LogText();
        EXPECT_EQ(DatumLines(), "") << op << LogText(); // nothing was read
    }
    EXPECT_EQ(chip->Downloaded(), 0u);
    EXPECT_EQ(BufferByte(0xFFFF), 0x5A);
}

// A program serves only when its whole download arrived: the bootstrap ROM
// jumps to a RAM that filled before the end mark, and the program stays
// busy, so a verify of a programmed image fails; the same part with the
// whole download verifies.
TEST_F(Boot11Run, PartRunsOnlyWholePrograms) {
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E9");
    FillPattern(0x10000);
    BufferWindow[0x103F] = 0x0B;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Echoed(), 512u);
    chip = PutHc11("MC68HC711E9", [](sim::Hc11BootFacts& f) { f.ramBytes = 200; });
    for (uint32_t a = 0; a <= 0xFFFF; ++a)
        chip->SetCell(a, BufferByte(a));
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    EXPECT_EQ(chip->Starts(), 1u);
    EXPECT_EQ(chip->Downloaded(), 200u);
}

// EEPROM bytes programmed over other data without an Erase: the program
// erases each byte that needs a bit raised, so the second image verifies;
// EPROM bits only fall, so an EPROM byte asked to rise fails the verify.
TEST_F(Boot11Run, EepromRewrittenInPlace) {
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E9");
    FillBufferRange(0, 0xFFFF, 0xFF);
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a)
        BufferWindow[a] = static_cast<uint8_t>(a * 7);
    BufferWindow[0x103F] = 0x05;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a)
        BufferWindow[a] = static_cast<uint8_t>(~(a * 7) ^ 0x10);
    BufferWindow[0x103F] = 0x0A;
    EXPECT_EQ(AlgorithmTable[120].Program(), 1) << LogText();
    for (uint32_t a = 0xB600; a <= 0xB7FF; ++a)
        ASSERT_EQ(chip->Cell(a), BufferWindow[a]) << std::hex << a;
    EXPECT_EQ(chip->ReadCell(0x103F), 0x0A);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    BufferWindow[0xD000] = 0x00;
    EXPECT_EQ(AlgorithmTable[120].Program(), 1) << LogText();
    BufferWindow[0xD000] = 0x0F;
    EXPECT_EQ(AlgorithmTable[120].Program(), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    EXPECT_EQ(ChipAddress, 0xD000u);
    ExpectNoViolations();
}

// The CONFIG programs (entries 169, 170, 168) served as the row serves its
// programs: powered into bootstrap mode, FFh and the download, then the
// handshake. CONFIG program makes CONFIG hold the byte, CONFIG read streams
// it, CONFIG erase leaves it erased; the EEPROM keeps its bytes throughout.
class Boot11ConfigRun : public Boot11Run {
  protected:
    // Brings the part up with `entry`, `count` bytes of it.
    void Load(uint32_t entry, uint32_t count) {
        ASSERT_GE(OpenLibraryEntry(entry), count);
        SetVccRange(1, 50);
        SetAllDacVoltages(127, 127, 0, 0);
        SetDeviceGround(1);
        DelayMsSlot(100);
        WriteRegister(3, 1);
        WriteRegister(0, 0xE8);
        SetDevicePower(1, 50);
        DelayMsSlot(100);
        WriteRegister(0, 0xE9);
        for (uint32_t i = 0; i <= count; ++i) {
            DelayShortUsSlot(350);
            WriteRegister(1, i == 0 ? 0xFF : ReadLibraryByte(i - 1));
            DelayMsSlot(2);
        }
    }
    bool WaitReady() {
        for (int i = 0; i < 100000; ++i)
            if ((ReadRegister(2) & 1) == 0) return true;
        return false;
    }
    void Strobe(uint32_t width) {
        WriteRegister(3, 0);
        DelayShortUsSlot(width);
    }
    void PowerDown() {
        WriteRegister(0, 0xE0);
        SetDevicePower(0, 50);
        WriteRegister(0, 0);
    }
};

TEST_F(Boot11ConfigRun, ConfigPrograms) {
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E9");
    chip->SetCell(0xB600, 0x12);
    Load(170, 512);
    ASSERT_TRUE(WaitReady());
    WriteRegister(2, 0x06);
    DelayShortUsSlot(10);
    Strobe(20);
    WriteRegister(3, 1);
    ASSERT_TRUE(WaitReady()); // ready again once CONFIG is written
    PowerDown();
    EXPECT_EQ(chip->ReadCell(0x103F), 0x06);

    Load(169, 512);
    for (int i = 0; i < 3; ++i) {
        DelayShortUsSlot(10);
        Strobe(50);
        EXPECT_EQ(ReadRegister(0), 0x06);
        WriteRegister(3, 1);
    }
    PowerDown();

    Load(168, 512);
    ASSERT_TRUE(WaitReady()); // ready once CONFIG is erased
    PowerDown();
    EXPECT_EQ(chip->ReadCell(0x103F), 0x0F);
    EXPECT_EQ(chip->Cell(0xB600), 0x12);
    ExpectNoViolations();
}

// Every chip-side program the device table names is in the library, at
// least as long as each download that sends it, a 68HC11 program (its stack
// set first) that ends that download with the end mark it checks.
TEST_F(Boot11Run, EntriesTheTableNamesExistAndAreLongEnough) {
    std::set<uint32_t> seen;
    for (const Boot11EntryUse& u : Bootstrap11LibraryEntries()) {
        SCOPED_TRACE("variant " + std::to_string(u.variant) + " mode " + std::to_string(u.mode));
        if (u.entry == 0) continue; // refused by the entry
        const uint32_t size = OpenLibraryEntry(u.entry);
        ASSERT_GE(size, u.count) << "entry " << u.entry;
        EXPECT_EQ(ReadLibraryByte(0), 0x8E) << "entry " << u.entry;
        EXPECT_EQ(ReadLibraryByte(u.count - 1), 0xA5) << "entry " << u.entry;
        seen.insert(u.entry);
    }
    EXPECT_EQ(seen.size(), 28u); // 149-177 but 167
}

// An entry that holds no 68HC11 chip-side program (here another family's
// program of the same length) is refused before anything is powered.
TEST_F(Boot11Run, ForeignEntryRefused) {
    sim::Hc11BootChip* chip = PutHc11("MC68HC711E9");
    std::ifstream in(LibraryFilePath(), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto at = [&](uint32_t n) {
        uint32_t off = 0;
        for (int i = 0; i < 4; ++i)
            off |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[2 + 8 * n + i])) << (8 * i);
        return off;
    };
    // Entry 149's bytes with the end mark gone.
    bytes[at(149) + 511] = 0;
    std::filesystem::create_directories("foreign11");
    std::ofstream(std::string("foreign11/") + LibraryFileName, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const std::string saved = ProgramDirectory;
    ProgramDirectory = std::filesystem::absolute("foreign11").string();
    StartTrace();
    EXPECT_EQ(AlgorithmTable[120].Read(ReadModeVerify), -1);
    ProgramDirectory = saved;
    EXPECT_TRUE(HasLine(" Library entry 149 holds no 68HC11 chip-side program!")) << LogText();
    EXPECT_TRUE(Hc11Writes().empty());
    EXPECT_EQ(chip->Downloaded(), 0u);
}

} // namespace
