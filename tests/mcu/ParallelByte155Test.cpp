// Row 155 against the catalog's 32-pin parts on socket adapter 'p': whole
// runs from a file srec_cat wrote, the retry rule, the first address of a
// range, and a package without a layout refused before anything is
// switched.
#include <cstdlib>

#include "McuFixture.h"

#include "engine/RowDef.h"
#include "engine/Tables.h"
#include "sim/EpromChip.h"

namespace {

class ByteModule155Run : public McuRun {
  protected:
    sim::EpromChip* PutByte155(const char* name) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name)) << name;
        const sim::EpromConfig* f = sim::FindFacts<sim::EpromConfig>("GENERIC-ALGORITHM", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::EpromChip>(*f);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    static uint32_t Byte155PulsesAt(const sim::EpromChip& chip, uint32_t a) {
        uint32_t n = 0;
        for (const sim::PulseRecord& p : chip.Pulses())
            n += !p.erase && p.address == a ? 1 : 0;
        return n;
    }
};

// Blank check, program, verify at both levels, read back and save equal,
// blank check failing; FFh bytes get no pulse, others one.
TEST_F(ByteModule155Run, AdapterPPartsProgramSrecFile) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat not installed";
    for (const char* name : {"EPBYTE-P32-16K", "EPBYTE-P32-32K"}) {
        sim::EpromChip* chip = PutByte155(name);
        ASSERT_NE(chip, nullptr);
        const uint32_t n = DeviceEnd + 1;
        const std::string cmd = "srec_cat -disable-sequence-warnings " + ProgramDirectory +
                                "/mcu-sample/blink.ihx -intel -o p32.s19 -motorola";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        FillBufferRange(0, 0xFFFF, 0xFF);
        ASSERT_EQ(LoadHexFamilyFile("p32.s19", 0, 0), 1);
        std::vector<uint8_t> image(n);
        for (uint32_t a = 0; a < n; ++a)
            image[a] = BufferByte(a);
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!"))
            << LogText();
        for (uint32_t a = 0; a < n; ++a) {
            ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
            ASSERT_EQ(Byte155PulsesAt(*chip, a), image[a] == 0xFF ? 0u : 1u) << std::hex << a;
        }
        FillBufferRange(0, 0xFFFF, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        ASSERT_EQ(SaveHexFamilyFile("p32read.hex", 0, n - 1, HexFormatIntel), 1);
        FillBufferRange(0, 0xFFFF, 0x5A);
        ASSERT_EQ(LoadHexFamilyFile("p32read.hex", 0, 0), 1);
        for (uint32_t a = 0; a < n; ++a)
            ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
        EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    }
    ExpectNoViolations();
}

// A cell that never takes gets Retry - 1 pulses; Retry 1 fails at once
// without a pulse; a range from 4123h programs 4123h, not 0023h; a user
// break.
TEST_F(ByteModule155Run, RetryFirstAddressAndBreak) {
    sim::EpromChip* chip = PutByte155("EPBYTE-P32-32K");
    chip->StickCell(0x0040);
    FillBufferRange(0, 0xFFFF, 0x3C);
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0x0040))) << LogText();
    EXPECT_EQ(Byte155PulsesAt(*chip, 0x0040), 24u);

    chip = PutByte155("EPBYTE-P32-32K");
    Retry = 1;
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0))) << LogText();
    EXPECT_EQ(chip->ProgramPulseCount(), 0u);

    chip = PutByte155("EPBYTE-P32-32K");
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0x4123] = 0x42;
    DeviceStart = BufferStart = 0x4123;
    DeviceEnd = 0x4130;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0x4123), 0x42);
    EXPECT_EQ(chip->Cell(0x0023), 0xFF);

    PutByte155("EPBYTE-P32-16K");
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    FillBufferRange(0, 0xFFFF, 0x11);
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    ExpectNoViolations();
}

// A 32-pin package off adapter 'p', a 40-pin package (the programmer routes
// no supply, ground or programming voltage to it, and grounds its A7), or a
// package of another pin count: both entries refuse with one line before
// switching anything, and the librarian refuses such records and ones past
// 32 KB.
TEST_F(ByteModule155Run, PackageWithoutLayoutIsRefused) {
    PutByte155("EPBYTE-P32-16K");
    for (int c = 0; c < 3; ++c) {
        const char* line = " Package not supported by this algorithm.";
        if (c == 0) {
            AdapterCode = 0;
        } else if (c == 1) {
            AdapterCode = 'p';
            PackageIndex = 13; // 28-pin DIP
        } else {
            AdapterCode = 0;
            PackageIndex = 26; // 40-pin DIP
            line = " 40-pin package not supported: supply, ground, Vpp only for 32 pins; socket pin 24 (A7) grounded.";
        }
        PrepareDialog();
        StartTrace();
        EXPECT_EQ(AlgorithmRow(155)->Read(0), -1) << c;
        EXPECT_EQ(AlgorithmRow(155)->Program(), -1) << c;
        EXPECT_TRUE(simp.RegisterTrace().empty()) << c;
        EXPECT_TRUE(HasLine(line)) << c << LogText();
    }
    const RowDef* def = RowDefinition(155);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(RowRecordRefusal(*def, {.DeviceSize = 0x8000, .PackagePins = 32, .Adapter = 'p'}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x8000, .PackagePins = 40}).find("socket pin 24"),
              std::string::npos);
    EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x8000, .PackagePins = 40, .Adapter = 'p'}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x8000, .PackagePins = 32}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x8000, .PackagePins = 28, .Adapter = 'p'}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x10000, .PackagePins = 32, .Adapter = 'p'}), "");
}

} // namespace
