// Row 189 against the simulator's serial OTP parts: the sample program, the
// area at FCE0h, the option bytes, injected faults and the command traffic.
#include "engine/AlgorithmTable.h"
#include "W78Fixture.h"

#include "engine/Operation.h"
#include "engine/Tables.h"

namespace {

constexpr uint32_t kOtp87C76xSample = 0x400;

class OtpParts : public W78Run, public ::testing::WithParamInterface<const char*> {};

TEST_P(OtpParts, SampleProgramAreaAndAutoWithFileOptions) {
    sim::Otp87C76xChip* chip = PutOtp(GetParam());
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(AlgorithmTable[189].Identify(), 1);
    EXPECT_EQ((std::pair{ChipMakerId, ChipDeviceId}), (std::pair{0x15u, 0xDDu}));
    DeviceEnd = kOtp87C76xSample - 1;
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    const std::vector<uint8_t> image = LoadSample(kOtp87C76xSample);
    FillBufferRange(0xFCE0, 0xFCFF, 0x3C);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->At(0xFCFF), 0x3C);
    EXPECT_EQ(chip->PulsesAt(0xFD00) + chip->PulsesAt(0xFD01), 0u); // Program leaves the options
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    FillBufferRange(0, 0xFFFF, 0);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < kOtp87C76xSample; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectSavedAndReloaded(0, image);
    EXPECT_EQ(BufferByte(0xFCE0), 0x3C);
    EXPECT_EQ(BufferByte(0xFD01), 0xFF); // the option bytes read and decoded
    EXPECT_EQ(SecurityBitsOption, 2);

    // Auto on a new part programs the file's option bytes as they stand.
    chip = PutOtp(GetParam());
    DeviceEnd = kOtp87C76xSample - 1;
    LoadSample(kOtp87C76xSample);
    FillBufferRange(0xFCE0, 0xFCFF, 0xFF);
    BufferWindow[0xFD00] = 0x97; // watchdog on, external clock
    BufferWindow[0xFD01] = 0xBF; // programming disabled, verify enabled
    EXPECT_EQ(Run(OpAuto), ResultOk) << LogText();
    EXPECT_EQ(chip->At(0xFD00), 0x97);
    EXPECT_EQ(chip->At(0xFD01), 0xBF);
    EXPECT_EQ(chip->Cell(0), image[0]);
    EXPECT_EQ(WatchDogTimerOption, 1);
    EXPECT_EQ(OscillatorControlOption, 4);
    EXPECT_EQ(SecurityBitsOption, 1);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, OtpParts,
                         ::testing::Values("87LPC761", "87LPC762", "87LPC764", "87LPC767", "87LPC768", "87LPC769"));

// No option bit from a blank buffer or a failed Program; a stuck cell fails
// after Retry - 1 pulses (none with Retry 1); security bits stop programming.
TEST_F(W78Run, Row189OptionStepAndFaults) {
    struct Case {
        const char* what;
        bool stick; // 21h never programs
        uint32_t retry;
        int result;
        uint32_t failAt, pulsesAtFail;
    };
    const Case cases[] = {
        {"blank buffer", false, 25, ResultOk, 0, 0},
        {"stuck cell", true, 25, ResultFailed, 0x21, 24},
        {"one retry", false, 1, ResultFailed, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int op : {OpProgram, OpAuto}) {
            sim::Otp87C76xChip* chip = PutOtp("87LPC764");
            if (c.stick) chip->StickCell(0x21);
            FillBufferRange(0, 0xFFFF, 0xFF);
            if (c.result != ResultOk) FillPattern(0x40);
            BufferWindow[0xFD01] = c.result != ResultOk ? 0x3F : 0xFF;
            DeviceEnd = 0x3F;
            Retry = c.retry;
            EXPECT_EQ(Run(op), c.result) << LogText();
            EXPECT_EQ(chip->PulsesAt(0xFD00) + chip->PulsesAt(0xFD01), 0u);
            EXPECT_EQ(chip->PulsesAt(c.failAt), c.pulsesAtFail);
            if (op == OpProgram && c.result != ResultOk) {
                EXPECT_TRUE(HasLine(ChipAddrLine(c.failAt))) << LogText();
            }
        }
    }
    // Security bits 00 read the code as 00h and stop programming; the
    // options stay programmable.
    sim::Otp87C76xChip* chip = PutOtp("87LPC762");
    SecurityBitsOption = 0;
    EXPECT_EQ(Program87C76xOptionBits(), 1);
    EXPECT_EQ(chip->At(0xFD01), 0x3F);
    FillPattern(0x10);
    DeviceEnd = 0xF;
    EXPECT_EQ(AlgorithmTable[189].Program(), -1);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();

    chip = PutOtp("87LPC762", [](sim::Otp87C76xFacts& f) { f.deviceCode = 0x99; });
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Incorrect device ID.")) << LogText();

    PutOtp("87LPC764");
    DeviceEnd = 0xFFF;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpBlankCheck), 3) << LogText();
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();

    PackageIndex = 0;
    while (PackageRow(PackageIndex).PinCount != 28) ++PackageIndex;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[189].Read(2), -1);
    EXPECT_TRUE(HasLine(" Package of 28 pins not supported (8, 16, 20 or 44 pins).")) << LogText();
    ExpectNoPowerUp();
    EXPECT_TRUE(simp.RegisterTrace().empty()); // nothing switched
    ExpectNoViolations();
}

// The option encoding both ways: the oscillator's fifth choice is code 7,
// security choices map to 3Fh, BFh, FFh, and a security code 01 keeps the
// choice.
TEST_F(W78Run, Row189OptionEncoding) {
    int* const options[7] = {&WatchDogTimerOption,   &ResetPinOption,          &PortResetOption, &BrownOutOption,
                             &ClockRateSelectOption, &OscillatorControlOption, &SecurityBitsOption};
    struct Case {
        int values[7];
        uint8_t byte1, byte2;
    };
    const Case cases[] = {{{0, 0, 0, 0, 0, 0, 0}, 0x00, 0x3F}, {{1, 0, 0, 0, 0, 4, 1}, 0x87, 0xBF},
                          {{0, 1, 1, 1, 1, 3, 2}, 0x7B, 0xFF}, {{1, 1, 1, 1, 1, 2, 2}, 0xFA, 0xFF}};
    for (const Case& c : cases) {
        for (int i = 0; i < 7; ++i) *options[i] = c.values[i];
        EncodeOptionBits189();
        EXPECT_EQ(BufferWindow[0xFD00], c.byte1);
        EXPECT_EQ(BufferWindow[0xFD01], c.byte2);
        for (int i = 0; i < 7; ++i) *options[i] = 9;
        DecodeOptionBits189();
        for (int i = 0; i < 7; ++i) EXPECT_EQ(*options[i], c.values[i]) << i;
    }
    BufferWindow[0xFD01] = 0x7F;
    DecodeOptionBits189();
    EXPECT_EQ(SecurityBitsOption, 2);
}

// The serial traffic: the signature reads, and a walk over three pages that
// sends the high address byte only at its start (and once for the area).
TEST_F(W78Run, Row189CommandTraffic) {
    sim::Otp87C76xChip* chip = PutOtp("87LPC764");
    EXPECT_EQ(AlgorithmTable[189].Identify(), 1);
    const std::vector<uint8_t> identify = {0x0A, 8, 4, 8, 4, 8, 4};
    EXPECT_EQ(chip->Commands(), identify);
    chip->ClearCounts();
    DeviceEnd = 0x2FF;
    EXPECT_EQ(AlgorithmTable[189].Read(0), 1);
    const auto& sent = chip->Commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 0x0A), 2);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 8), 2);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 4), 0x300 + 32);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 6), 0x300 + 32);
    ExpectNoViolations();
}

} // namespace

namespace {

// A range whose buffer bytes cross into the next bank: the area at FCE0h
// stays in the bank the run started in, where the row keeps its place, for
// Program and Read alike; the next bank's FCE0h (the range's data there)
// is neither burnt into the area nor overwritten by it.
TEST_F(W78Run, Row189AreaStaysInTheStartBankAcrossABankEnd) {
    sim::Otp87C76xChip* chip = PutOtp("87LPC764");
    DeviceStart = 0;
    DeviceEnd = 0x3FF;
    BufferStart = 0xFF00;
    ASSERT_EQ(SelectBank(0x1FFFF, 1), 1);
    SelectBank(0, 0);
    FillBufferRange(0, 0x1FFFF, 0xFF);
    FillBufferRange(0xFF00, 0x102FF, 0x11);
    FillBufferRange(0xFCE0, 0xFCFF, 0x3C);
    FillBufferRange(0x1FCE0, 0x1FCFF, 0xC3);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->At(0xFCE0), 0x3C);
    EXPECT_EQ(chip->At(0x3FF), 0x11);
    FillBufferRange(0xFCE0, 0xFCFF, 0x00);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_EQ(BufferByte(0xFCE0), 0x3C);
    EXPECT_EQ(BufferByte(0x1FCE0), 0xC3);
    ExpectNoViolations();
}

// A Verify failure in the area names the area's chip address, wherever
// Buffer Start puts the range.
TEST_F(W78Run, Row189AreaFailureNamesItsChipAddress) {
    sim::Otp87C76xChip* chip = PutOtp("87LPC764");
    DeviceStart = 0;
    DeviceEnd = 0xFF;
    FillBufferRange(0, 0xFFFF, 0x11);
    BufferWindow[0xFCE5] = 0x3C;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    BufferWindow[0xFCE5] = 0x3D;
    for (const uint32_t start : {0u, 0x1000u}) {
        SCOPED_TRACE(start);
        for (uint32_t a = 0; a <= DeviceEnd; ++a) BufferWindow[start + a] = static_cast<uint8_t>(chip->At(a));
        BufferStart = start;
        EXPECT_EQ(Run(OpVerify), ResultFailed);
        EXPECT_TRUE(HasLinesInARow({"  Chip addr: 00FCE5h  data: 003Ch", "Buffer addr: 00FCE5h  data: 003Dh"}))
            << LogText();
    }
    ExpectNoViolations();
}

// In a split mode the area keeps its 32 bytes at FCE0h one after the other
// (the lane's code bytes around it untouched, the option bytes at FD00h
// left), and a lane set that covers FCE0h from any lane is refused before
// power-up.
TEST_F(W78Run, Row189AreaInSplitModes) {
    for (const uint32_t mode : {1u, 2u, 3u, 6u}) {
        SCOPED_TRACE(mode);
        sim::Otp87C76xChip* chip = PutOtp("87LPC764");
        WordMode = mode;
        DeviceStart = 0;
        DeviceEnd = 0xFF;
        FillBufferRange(0, 0xFFFF, 0x11);
        for (uint32_t a = 0xFCE0; a <= 0xFCFF; ++a) BufferWindow[a] = static_cast<uint8_t>(a * 7);
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0xFCE0; a <= 0xFCFF; ++a) ASSERT_EQ(chip->At(a), static_cast<uint8_t>(a * 7)) << std::hex << a;
        EXPECT_EQ(chip->PulsesAt(0xFD00) + chip->PulsesAt(0xFD01), 0u);
        FillBufferRange(0, 0xFFFF, 0x5A);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0xFC00; a <= 0xFDFF; ++a) {
            const bool area = a >= 0xFCE0 && a <= 0xFCFF, options = a == 0xFD00 || a == 0xFD01;
            if (options) continue;
            ASSERT_EQ(BufferByte(a), area ? static_cast<uint8_t>(a * 7) : 0x5A) << std::hex << a;
        }
        BufferStart = 0xFCE0 - 0x40 * (mode <= 2 ? 2 : 4); // chip 40h's lane unit
        EXPECT_EQ(Run(OpProgram), ResultFailed);
        EXPECT_EQ(Run(OpRead), ResultFailed);
        EXPECT_TRUE(HasLine(mode == 1 || mode == 3
                                ? " Buffer addr 00FCE0h is chip addr FCE0h's place; the range puts chip addr 40h there."
                                : " Buffer addr 00FCE0h is chip addr FCE0h's place; another lane puts chip addr 40h there."))
            << LogText();
        BufferStart = 0;
    }
    WordMode = 0;
    ExpectNoViolations();
}

} // namespace
