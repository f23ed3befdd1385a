// Rows 156 and 157 against the simulator's two-wire serial parts: a whole
// run per variant and package, the byte and bit streams, the ground-switch
// clock, injected faults, and the refusals of devices the rows cannot serve.
#include "W78Fixture.h"

#include "engine/RowDef.h"
#include "engine/Tables.h"
#include "mcu/TwoWireSerial.h"
#include "sim/TwoWireMcuChip.h"

namespace {

using TwoWireEvents = std::vector<int>;
constexpr int kTwStart = sim::TwoWireMcuChip::Start, kTwStop = sim::TwoWireMcuChip::Stop,
              kTwSent = sim::TwoWireMcuChip::Sent;

class TwoWireRun : public W78Run {
protected:
    sim::TwoWireMcuChip* PutTwoWire(const char* name, void (*change)(sim::TwoWireMcuFacts&) = nullptr) {
        return PutPart<sim::TwoWireMcuChip>("GENERIC-ALGORITHM", name, change);
    }
    // A random image of the device's size with some erased bytes, written by
    // srec_cat as Motorola records; false when srec_cat is missing.
    bool WriteToolsFile(uint32_t n, std::vector<uint8_t>& image) {
        image.resize(n);
        uint32_t x = 0x2545F491u + n;
        for (uint8_t& b : image) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        image[1] = 0xFF;
        image[n - 1] = 0xFF;
        std::ofstream("twowire.bin", std::ios::binary).write(reinterpret_cast<const char*>(image.data()), n);
        return std::system("srec_cat twowire.bin -binary -o twowire.mot -motorola >/dev/null 2>&1") == 0;
    }
    // Once floated, `socketPin` stays floating in every later write of its
    // block's float latch.
    bool NeverDrivenAfterFloat(int socketPin) {
        const int reg = 2 * ((socketPin - 1) / 8), bit = (socketPin - 1) % 8;
        bool floated = false;
        for (const auto& r : simp.RegisterTrace()) {
            if (!r.write || r.reg != reg) continue;
            const bool now = (r.value >> bit) & 1;
            if (floated && !now) return false;
            floated = floated || now;
        }
        return floated;
    }
};

class TwoWireDevices : public TwoWireRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, a tools file programmed, verified at both levels, compared,
// read back, saved and reloaded; erase and blank check again where the row
// erases; Secure, after which the read-back passes only on 00h.
TEST_P(TwoWireDevices, WholeRun) {
    sim::TwoWireMcuChip* chip = PutTwoWire(GetParam());
    ASSERT_NE(chip, nullptr);
    const uint32_t n = DeviceEnd + 1;
    EXPECT_EQ(n, chip->Words());
    std::vector<uint8_t> image;
    if (!WriteToolsFile(n, image)) GTEST_SKIP() << "srec_cat not installed";
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ASSERT_EQ(LoadHexFamilyFile("twowire.mot", 0, 0), 1);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
    FillBufferRange(0, n - 1, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
    ExpectSavedAndReloaded(0, image);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    if (SupportedOperationMask & OpMaskErase) {
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        ASSERT_EQ(LoadHexFamilyFile("twowire.mot", 0, 0), 1);
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    }
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(chip->Secured());
    EXPECT_EQ(chip->Cell(0), image[0]); // the cells stay, they only read 00h
    if (SupportedOperationMask & OpMaskErase) {
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_FALSE(chip->Secured());
        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, TwoWireDevices,
                         ::testing::Values("2WIRE-OTP-V0", "2WIRE-OTP-V1", "2WIRE-OTP-V2", "2WIRE-OTP-V3",
                                           "2WIRE-OTP-V4", "2WIRE-OTP-V5", "2WIRE-OTP-V6", "2WIRE-OTP-V7",
                                           "2WIRE-OTP-V8", "2WIRE-OTP-V9", "2WIRE-OTP-V10", "2WIRE-OTP-V11",
                                           "2WIRE-OTP-V12", "2WIRE-OTP-V13", "2WIRE-OTP-V14", "2WIRE-OTP-V15",
                                           "2WIRE-OTP-V16", "2WIRE-OTP-V0-PU", "2WIRE-EE-8", "2WIRE-EE-16",
                                           "2WIRE-EE-20"),
                         [](const auto& info) {
                             std::string s = info.param;
                             for (char& c : s)
                                 c = c == '-' ? '_' : c;
                             return s;
                         });

// The bytes each entry sends and receives, and the bits of the opening and
// the first command: MSB first, the extra clock with the data unchanged.
TEST_F(TwoWireRun, ByteAndBitStreams) {
    sim::TwoWireMcuChip* chip = PutTwoWire("2WIRE-EE-8");
    for (uint32_t a = 0; a < 4; ++a) chip->SetCell(a, 0x10 + a);
    DeviceEnd = 3;
    EXPECT_EQ(AlgorithmTable[157].Read(ReadModeRead), 1);
    EXPECT_EQ(chip->Events(), (TwoWireEvents{kTwStart, 0x61, 0, 0, kTwSent | 0x10, kTwSent | 0x11, kTwSent | 0x12,
                                             kTwSent | 0x13, 0xFF, kTwStop}));
    EXPECT_EQ(BufferByte(2), 0x12);
    chip->ClearEvents();
    const std::vector<std::string> opening = {"C1", "D1", "C0", "D0"};
    // 60h: 0 1 1 0 0 0 0 0, then the extra clock.
    const std::vector<std::string> command = {"C1", "C0", "D1", "C1", "C0", "C1", "C0", "D0", "C1", "C0", "C1",
                                              "C0", "C1", "C0", "C1", "C0", "C1", "C0", "C1", "C0"};
    for (uint32_t a = 0; a < 4; ++a) BufferWindow[a] = static_cast<uint8_t>(0xA0 + a);
    BufferIndex = 0;
    EXPECT_EQ(AlgorithmTable[157].Program(), 1);
    EXPECT_EQ(chip->Events(), (TwoWireEvents{kTwStart, 0x60, 0, 0, 0xA0, 0xA1, 0xA2, 0xA3, 0xFF, kTwStop}));
    ASSERT_GE(chip->Edges().size(), 24u);
    std::vector<std::string> head(chip->Edges().begin(), chip->Edges().begin() + 24);
    std::vector<std::string> expected = opening;
    expected.insert(expected.end(), command.begin(), command.end());
    EXPECT_EQ(head, expected);
    // The end byte FFh and the closing: data high, clock high, data low.
    const auto& e = chip->Edges();
    ASSERT_GE(e.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(e.end() - 3, e.end()), (std::vector<std::string>{"C1", "D0", "C0"}));
    chip->ClearEvents();
    EXPECT_EQ(AlgorithmTable[157].Secure(), 1);
    EXPECT_EQ(chip->Events(), (TwoWireEvents{kTwStart, 0xE0, 0x0E, 0x3F, 0x00, 0xFF, kTwStop}));
    chip->ClearEvents();
    EXPECT_EQ(AlgorithmTable[157].Erase(), 1);
    EXPECT_EQ(chip->Events(), (TwoWireEvents{kTwStart, 0xE0, 0x55, 0x5A, 0xAA, 0xFF, kTwStop}));
    EXPECT_EQ(chip->Cell(0), 0xFF);
    ExpectNoViolations();
}

// Sub-variant 0 drives the clock pin; any other makes the clock with the
// pin's ground switch and the part's pull-up, never driving it high.
TEST_F(TwoWireRun, GroundSwitchClockOfRow156) {
    const int clockPin = 22; // variant 0
    for (const char* name : {"2WIRE-OTP-V0", "2WIRE-OTP-V0-PU"}) {
        SCOPED_TRACE(name);
        sim::TwoWireMcuChip* chip = PutTwoWire(name);
        FillPattern(0x40);
        DeviceEnd = 0x3F;
        StartTrace();
        EXPECT_EQ(AlgorithmTable[156].Program(), 1);
        EXPECT_EQ(NeverDrivenAfterFloat(clockPin), DeviceSubVariant != 0);
        for (uint32_t a = 0; a < 0x40; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << a;
        ExpectNoViolations();
    }
}

// A cell that does not take its byte fails verify at its address; a write
// shorter than the part's time takes nothing; a secure that does not take
// fails the read-back.
TEST_F(TwoWireRun, InjectedFaults) {
    for (const char* name : {"2WIRE-OTP-V4", "2WIRE-EE-16"}) {
        SCOPED_TRACE(name);
        sim::TwoWireMcuChip* chip = PutTwoWire(name);
        chip->StickCell(0x21);
        FillPattern(0x40);
        BufferWindow[0x21] = 0x00;
        DeviceEnd = 0x3F;
        // Nothing is read back while programming: the operation's verify
        // finds the cell.
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(ChipAddrLine(0x21))) << LogText();
        EXPECT_EQ(chip->Cell(0x22), BufferByte(0x22));

        chip = PutTwoWire(name);
        DeviceEnd = 0xF;
        FillPattern(0x10);
        PulseWidth = 500; // the part writes in 1 ms
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_EQ(chip->Cell(0), 0xFF);

        chip = PutTwoWire(name);
        chip->IgnoreSecure();
        FillPattern(0x10);
        DeviceEnd = 0xF;
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
        EXPECT_FALSE(chip->Secured());
        ExpectNoViolations();
    }
}

// A user break powers the part down at once: no end byte, no closing.
TEST_F(TwoWireRun, UserBreakEndsWithoutClosing) {
    for (const char* name : {"2WIRE-OTP-V8", "2WIRE-EE-20"}) {
        for (int op : {OpProgram, OpRead}) {
            SCOPED_TRACE(std::string(name) + " op " + std::to_string(op));
            sim::TwoWireMcuChip* chip = PutTwoWire(name);
            FillPattern(DeviceEnd + 1);
            ui.BreakAtPercent = 30;
            ui.QueueAnswer(UiAnswer::No);
            EXPECT_EQ(Run(op), ResultUserBreak) << LogText();
            EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
            const TwoWireEvents& ev = chip->Events();
            ASSERT_FALSE(ev.empty());
            EXPECT_EQ(std::count(ev.begin(), ev.end(), kTwStop), 0);
            EXPECT_NE(ev.back(), 0xFF);
            EXPECT_LT(ev.size(), DeviceEnd + 1u);
            ExpectNoViolations();
        }
    }
}

// A device outside the pin tables, or a range not starting at 0, is refused
// with a line before anything is switched or sent; the librarian refuses
// such records.
TEST_F(TwoWireRun, RefusedDevicesAndRanges) {
    sim::TwoWireMcuChip* chip = PutTwoWire("2WIRE-OTP-V0");
    FillPattern(0x10);
    DeviceEnd = 0xF;
    EXPECT_EQ(AlgorithmTable[156].Program(), 1); // the pins of a good device first
    chip->ClearEvents();
    DeviceVariant = 17;
    StartTrace();
    EXPECT_EQ(AlgorithmTable[156].Read(ReadModeRead), -1);
    EXPECT_EQ(AlgorithmTable[156].Program(), -1);
    EXPECT_EQ(AlgorithmTable[156].Secure(), -1);
    EXPECT_TRUE(HasLine(" Variant 17 has no serial pins (0 to 16).")) << LogText();
    EXPECT_TRUE(simp.RegisterTrace().empty());

    PutTwoWire("2WIRE-EE-16");
    PackageIndex = 0;
    while (PackageRow(PackageIndex).PinCount != 28) ++PackageIndex;
    StartTrace();
    for (auto entry : {AlgorithmTable[157].Program, AlgorithmTable[157].Erase, AlgorithmTable[157].Secure})
        EXPECT_EQ(entry(), -1);
    EXPECT_EQ(AlgorithmTable[157].Read(ReadModeRead), -1);
    EXPECT_TRUE(HasLine(" Package of 28 pins not supported (8, 16 or 20 pins).")) << LogText();
    EXPECT_TRUE(simp.RegisterTrace().empty());

    for (const char* name : {"2WIRE-OTP-V5", "2WIRE-EE-20"}) {
        SCOPED_TRACE(name);
        chip = PutTwoWire(name);
        const uint32_t row = CurrentAlgorithm;
        DeviceStart = 0x100;
        DeviceEnd = 0x1FF;
        FillPattern(0x200);
        StartTrace();
        EXPECT_EQ(AlgorithmTable[row].Program(), -1);
        EXPECT_EQ(AlgorithmTable[row].Read(ReadModeRead), -1);
        EXPECT_TRUE(HasLine(" Start address 000100h not supported: the part's transfer starts at address 0."))
            << LogText();
        EXPECT_TRUE(simp.RegisterTrace().empty());
        EXPECT_TRUE(chip->Events().empty());
        EXPECT_EQ(chip->Cell(0), 0xFF);
        // The buffer bank never changes: a range past 64 KB is refused too.
        DeviceStart = 0;
        DeviceEnd = 0x10000;
        EXPECT_EQ(AlgorithmTable[row].Read(ReadModeRead), -1);
        EXPECT_TRUE(HasLine(" End address 010000h not supported: the part's transfer reaches 64 KB.")) << LogText();
        EXPECT_TRUE(simp.RegisterTrace().empty());
        // Through the driver each step the row offers ends at its line:
        // nothing was read, so no line names a datum or a verify level.
        BlankCheckBeforeProgram = 0;
        for (const auto& [start, end] : {std::pair{0x100u, 0x1FFu}, std::pair{0u, 0x10000u}}) {
            DeviceStart = start;
            DeviceEnd = end;
            for (const auto& [bit, op] :
                 {std::pair{OpMaskProgram, OpProgram}, {OpMaskVerify, OpVerify}, {OpMaskBlankCheck, OpBlankCheck}}) {
                if ((SupportedOperationMask & bit) == 0) continue;
                EXPECT_EQ(Run(op), -1) << op << LogText();
                EXPECT_EQ(DatumLines(), "") << op << LogText();
            }
        }
        EXPECT_TRUE(chip->Events().empty());
    }

    const RowDef* def156 = RowDefinition(156);
    const RowDef* def157 = RowDefinition(157);
    ASSERT_TRUE(def156 != nullptr && def157 != nullptr);
    RowRecordFacts r;
    r.PackagePins = 40;
    r.Variant = 16;
    EXPECT_EQ(RowRecordRefusal(*def156, r), "");
    r.Variant = 17;
    EXPECT_NE(RowRecordRefusal(*def156, r), "");
    for (uint32_t pins : {8u, 16u, 20u}) {
        r.PackagePins = pins;
        EXPECT_EQ(RowRecordRefusal(*def157, r), "") << pins;
    }
    r.PackagePins = 28;
    EXPECT_EQ(RowRecordRefusal(*def157, r), "package of 28 pins has no serial pins for algorithm 157");
    ExpectNoViolations();
}

} // namespace
