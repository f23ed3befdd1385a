// Row 175 against the simulator's multiplexed-bus OTP parts: a file srec_cat
// made, the code at F800h-FFFFh, the option bytes through the
// configuration-fuse step, injected faults and the bus traffic.
#include "engine/AlgorithmTable.h"
#include "W78Fixture.h"

#include <cstdlib>
#include <cstring>

#include "engine/Operation.h"
#include "engine/Tables.h"

namespace {

constexpr uint32_t kGmsCode = 0xF800;

bool GmsHaveSrecCat() { return std::system("command -v srec_cat >/dev/null 2>&1") == 0; }

uint32_t GmsOptionPulses(const sim::Gms87OtpChip& chip) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < Gms87OptionByteCount; ++i) n += chip.PulsesAt(Gms87OptionAddress(i));
    return n;
}

class GmsParts : public W78Run, public ::testing::WithParamInterface<const char*> {};

// The sample program moved to F800h by srec_cat as S-records: blank check,
// program, verify at both levels, read back, saved and loaded again equal;
// then Auto on a new part with the default options burns no option byte.
TEST_P(GmsParts, SrecFileProgramsReadsSavesAndAutoKeepsBlankOptions) {
    if (!GmsHaveSrecCat()) GTEST_SKIP() << "srec_cat not installed";
    sim::Gms87OtpChip* chip = PutGms(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ((std::pair{DeviceStart, BufferStart}), (std::pair{kGmsCode, kGmsCode}));
    const std::string srec = "gms.s19";
    ASSERT_EQ(std::system(("srec_cat -disable-sequence-warnings " + ProgramDirectory + "/mcu-sample/blink.ihx -intel -offset 0xF800 -o " + srec +
                           " -motorola")
                              .c_str()),
              0);
    FillBufferRange(0, 0xFFFF, 0);
    ASSERT_EQ(LoadHexFamilyFile(srec, 0, 0), 1);
    std::vector<uint8_t> image(0x800);
    for (uint32_t a = 0; a < image.size(); ++a) image[a] = BufferByte(kGmsCode + a);
    ASSERT_NE(image[0], 0);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    EXPECT_EQ(GmsOptionPulses(*chip), 0u); // Program leaves the option bytes
    for (uint32_t a = 0; a < image.size(); ++a) {
        ASSERT_EQ(chip->Cell(kGmsCode + a), image[a]) << std::hex << a;
        // a 00h byte is blank and never pulsed
        if (image[a] == 0) {
            ASSERT_EQ(chip->PulsesAt(kGmsCode + a), 0u) << std::hex << a;
        }
    }
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Custmer ID: ") && HasLine("Oscillator: Normal Oscillator") &&
                HasLine("Code Protect: Allow Code Read Out"))
        << LogText();
    EXPECT_EQ(BufferByte(kGmsCode - 1), 0x5A);
    ASSERT_EQ(SaveHexFamilyFile("read.s19", kGmsCode, 0xFFFF, HexFormatMotorola), 1);
    FillBufferRange(0, 0xFFFF, 0x5A);
    ASSERT_EQ(LoadHexFamilyFile("read.s19", 0, 0), 1);
    for (uint32_t a = 0; a < image.size(); ++a) ASSERT_EQ(BufferByte(kGmsCode + a), image[a]) << std::hex << a;

    chip = PutGms(GetParam());
    LoadHexFamilyFile(srec, 0, 0);
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_TRUE(HasLine("Configuration Fuse Program ok!")) << LogText();
    EXPECT_EQ(GmsOptionPulses(*chip), 0u);
    EXPECT_EQ(chip->Cell(kGmsCode), image[0]);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, GmsParts, ::testing::Values("GMS87C1202", "GMS87C1202-SOP", "GMS87C1202-SOP28"));

// The option bytes: a 3-character ID programs bytes 0-2 only and reads back
// as that ID (the blank bytes after it record 00h, not the last byte read),
// characters of 80h and above program like any other; the code-protect bit
// makes the code read FFh.
TEST_F(W78Run, Row175OptionBytesCustomerIdAndCodeProtect) {
    sim::Gms87OtpChip* chip = PutGms("GMS87C1202");
    SetGms87CustomerId("ABC");
    Gms87Oscillator = 1;
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0xF812] = 0x42;
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    const uint8_t expected[11] = {'A', 'B', 'C', 0, 0, 0, 0, 0, 0, 0, 0x01};
    for (uint32_t i = 0; i < 11; ++i) {
        EXPECT_EQ(chip->OptionByte(i), expected[i]) << i;
        EXPECT_EQ(chip->PulsesAt(Gms87OptionAddress(i)) != 0, expected[i] != 0) << i;
        EXPECT_EQ(Gms87OptionByte(i), expected[i]) << i;
    }
    std::memset(Gms87CustomerId, 'x', Gms87CustomerIdLength);
    Gms87CustomerIdFromOptionBytes();
    EXPECT_STREQ(Gms87CustomerId, "ABC");

    // A new part: high characters, and the code locked.
    chip = PutGms("GMS87C1202");
    SetGms87CustomerId("\xC4\xFF" "7");
    Gms87Oscillator = 0;
    Gms87CodeProtect = 1;
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0xF812] = 0x42;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    PrepareDialog();
    EXPECT_EQ(ProgramGms87OptionBits(), 1);
    EXPECT_EQ(chip->OptionByte(0), 0xC4);
    EXPECT_EQ(chip->OptionByte(1), 0xFF);
    EXPECT_EQ(chip->OptionByte(10), 0x04);
    Gms87CodeProtect = 0;
    SetGms87CustomerId("");
    FillBufferRange(0, 0xFFFF, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferByte(0xF812), 0xFF);
    EXPECT_EQ(Gms87CodeProtect, 1);
    EXPECT_EQ(std::string(Gms87CustomerId), "\xC4\xFF" "7");
    EXPECT_TRUE(HasLine("Custmer ID: \xC3\x84\xC3\xBF" "7") && HasLine("Code Protect: Lock Code Read Out"))
        << LogText();
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0xF812] = 0x42;
    EXPECT_EQ(Run(OpVerify), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(ChipAddrLine(0xF800))) << LogText();
    ExpectNoViolations();
}

// Faults: a code cell that never takes gets Retry - 1 pulses and fails at its
// address, and an Auto failing there burns no option byte; an option byte
// that never takes stops the option bytes after it; an over-program pulse
// follows a byte that took; a user break; a variant past the pin table.
TEST_F(W78Run, Row175FaultsOverProgramBreakAndRefusedVariant) {
    for (int op : {OpProgram, OpAuto}) {
        sim::Gms87OtpChip* chip = PutGms("GMS87C1202-SOP28");
        chip->StickCell(0xF823);
        SetGms87CustomerId("ID");
        FillPattern(0x10000);
        BufferWindow[0xF823] = 0x3C;
        DeviceEnd = 0xF8FF;
        EXPECT_EQ(Run(op), ResultFailed) << LogText();
        EXPECT_EQ(chip->PulsesAt(0xF823), 24u);
        EXPECT_EQ(chip->PulsesAt(0xF824), 0u);
        EXPECT_EQ(GmsOptionPulses(*chip), 0u);
        if (op == OpProgram) {
            EXPECT_TRUE(HasLine(ChipAddrLine(0xF823))) << LogText();
        }
    }

    sim::Gms87OtpChip* chip = PutGms("GMS87C1202");
    chip->StickCell(Gms87OptionAddress(2));
    SetGms87CustomerId("WXYZ");
    Gms87Oscillator = 1;
    EXPECT_EQ(ProgramGms87OptionBits(), -1);
    EXPECT_EQ(chip->PulsesAt(Gms87OptionAddress(2)), 24u);
    EXPECT_EQ(chip->PulsesAt(Gms87OptionAddress(3)) + chip->PulsesAt(Gms87OptionAddress(10)), 0u);
    EXPECT_EQ(Gms87OptionByte(1), 'X');

    chip = PutGms("GMS87C1202");
    OverPulseWidth = 300;
    PulseMul = 1;
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0xF800] = 0x81;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->PulsesAt(0xF800), 2u);
    EXPECT_EQ(chip->Pulses(), 2u);

    PutGms("GMS87C1202");
    PulseWidth = 10000;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    FillBufferRange(0, 0xFFFF, 0x11);
    EXPECT_EQ(Run(OpProgram), 3) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    PrepareDialog();
    DeviceEnd = 0xF80F;
    EXPECT_EQ(AlgorithmTable[175].Program(), 1);
    EXPECT_EQ(ProgressStep, 16u); // long pulses redraw the progress every 16 addresses

    PutGms("GMS87C1202");
    DeviceVariant = 2;
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Variant 2 not supported (0 or 1).")) << LogText();
    StartTrace();
    EXPECT_EQ(AlgorithmTable[175].Program(), -1);
    EXPECT_EQ(AlgorithmTable[175].Read(2), -1);
    EXPECT_EQ(ProgramGms87OptionBits(), -1);
    EXPECT_TRUE(simp.RegisterTrace().empty()); // nothing switched
    ExpectNoViolations();
}

// A part that asks for over-programming of three times the pulses a cell
// needed: with the multiplier on, the over-program pulse is n times its
// width and every cell holds; without it, a cell that needed three pulses
// stays weak.
TEST_F(W78Run, Row175OverProgramScalesWithThePulsesNeeded) {
    auto overprogram = [](sim::Gms87OtpFacts& f) { f.overprogramFactor = 3; };
    for (uint32_t mul : {1u, 0u}) {
        SCOPED_TRACE(mul);
        sim::Gms87OtpChip* chip = PutGms("GMS87C1202", overprogram);
        chip->SetPulsesNeeded(0xF801, 3);
        OverPulseWidth = 300;
        PulseMul = mul;
        FillBufferRange(0, 0xFFFF, 0);
        BufferWindow[0xF800] = 0x81;
        BufferWindow[0xF801] = 0x42;
        DeviceEnd = 0xF80F;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->PulsesAt(0xF800), 2u);
        EXPECT_EQ(chip->PulsesAt(0xF801), 4u);
        EXPECT_EQ(chip->Cell(0xF801), 0x42);
        EXPECT_EQ(chip->WeakCells(), mul == 1 ? 0u : 1u);
    }
    ExpectNoViolations();
}

// The part holds the row to its timing: a pulse shorter than the part's
// minimum burns nothing and is a violation.
TEST_F(W78Run, Row175ShortPulseIsAViolation) {
    sim::Gms87OtpChip* chip = PutGms("GMS87C1202");
    PulseWidth = 20;
    FillBufferRange(0, 0xFFFF, 0);
    BufferWindow[0xF800] = 0x81;
    DeviceEnd = 0xF80F;
    EXPECT_EQ(AlgorithmTable[175].Program(), -1);
    EXPECT_EQ(chip->Cell(0xF800), 0);
    ASSERT_FALSE(simp.Violations().empty());
    EXPECT_NE(simp.Violations().front().find(": programming pulse of "), std::string::npos)
        << simp.Violations().front();
}

// The bus traffic: the high address byte at the start of a range that begins
// off a 256-byte boundary and at each boundary after it, never per cell; a
// read of such a range sees the right page.
TEST_F(W78Run, Row175HighAddressByteOnlyAtStartAndBoundaries) {
    sim::Gms87OtpChip* chip = PutGms("GMS87C1202");
    for (uint32_t a = 0xF880; a < 0xFA00; ++a) chip->SetCell(a, static_cast<uint16_t>(a * 7));
    DeviceStart = BufferStart = 0xF880;
    DeviceEnd = 0xF9FF;
    chip->ClearCounts();
    FillBufferRange(0, 0xFFFF, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0xF880; a < 0xFA00; ++a) ASSERT_EQ(BufferByte(a), static_cast<uint8_t>(a * 7)) << std::hex << a;
    EXPECT_EQ(BufferByte(0xF87F), 0);
    EXPECT_EQ(chip->HighLoads(), 3u); // F8h, F9h, and 0Fh for the option bytes
    ExpectNoViolations();
}

} // namespace
