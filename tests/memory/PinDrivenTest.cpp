// The pin-driven byte-wide memories (rows 49, 53, 65, 66, 88, 92, 97, 98)
// through the operation driver on pin-level models of their parts.
#include <cstdio>

#include "engine/RowDef.h"

#include "sim/PinDrivenParts.h"
#include "MemoryFixture.h"
#include "PinWatch.h"

namespace {

class PinRun : public MemoryRun {
protected:
    sim::PinMemoryChip* chip = nullptr;

    sim::PinMemoryChip* SeatPart(const sim::PinMemoryConfig& c) {
        auto owned = std::make_unique<sim::PinMemoryChip>(c);
        elec->DeclareChip(owned->Limits());
        return chip = socket->Insert(std::move(owned));
    }
    // A library part from the simulator's parts table.
    void SelectAndSeat(const std::string& maker, const std::string& name) {
        ASSERT_TRUE(Select(maker, name)) << name;
        auto c = sim::FindPinDrivenPart(maker, name);
        ASSERT_TRUE(c.has_value()) << name;
        SeatPart(*c);
    }
    // Pattern data with every datum differing from the blank value.
    void FillData(uint32_t seed) {
        FillPattern(DeviceSize, seed);
        for (uint32_t a = 0; a < DeviceSize; ++a)
            if (BufferByte(a) == chip->Config().blank) FillBufferRange(a, a, 0x5A);
    }
    void ExpectChipHoldsBuffer(uint32_t skipFrom = ~0u, uint32_t skipTo = 0) {
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) {
            if (a >= skipFrom && a <= skipTo) continue;
            ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << "address " << a;
        }
    }
    // Blank check, program (with its verifies), read back, erase and the
    // driver's blank check where the row has it; no violations.
    void Cycle() {
        // The top 600h addresses keep the run short and reach the clock registers.
        if (DeviceSize > 0x600) DeviceStart = BufferStart = DeviceSize - 0x600;
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        FillData(7);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Program ok!", "Verification ok!"});
        ExpectChipHoldsBuffer(0x7FF8, 0x7FFF);
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        ExpectChipHoldsBuffer();
        if (SupportedOperationMask & OpMaskErase) {
            EXPECT_EQ(Run(OpErase), 1) << LogText();
            EXPECT_TRUE(chip->IsBlank());
            EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        }
        ExpectNoViolations();
    }
    std::string FailLine(uint32_t address, uint32_t data) const {
        char line[48];
        std::snprintf(line, sizeof line, "  Chip addr: %06Xh  data: %04Xh", address, data);
        return line;
    }
};

struct LibraryPart {
    const char* row;
    const char* maker;
    const char* name;
};
class EveryLibraryPart : public PinRun, public ::testing::WithParamInterface<LibraryPart> {};

TEST_P(EveryLibraryPart, BlankProgramVerifyReadAndErase) {
    SelectAndSeat(GetParam().maker, GetParam().name);
    Cycle();
}

INSTANTIATE_TEST_SUITE_P(Rows, EveryLibraryPart,
                         ::testing::Values(LibraryPart{"Row88Variant0", "INTEL", "2816A"},
                                           LibraryPart{"Row88Variant1", "SEEQ", "2864"},
                                           LibraryPart{"Row53", "XICOR", "X2864A"},
                                           LibraryPart{"Row92", "ST", "M48T35"},
                                           LibraryPart{"Row92Dallas", "DALLAS", "DS1644"},
                                           LibraryPart{"Row97", "DALLAS", "DS1230AB"},
                                           LibraryPart{"Row97St", "ST", "M48Z35"},
                                           LibraryPart{"Row98", "DALLAS", "DS1245AB"},
                                           LibraryPart{"Row65", "GENERIC-ALGORITHM", "EPROM65-8K"},
                                           LibraryPart{"Row66", "GENERIC-ALGORITHM", "EPROM66-16K"},
                                           LibraryPart{"Row49", "GENERIC-ALGORITHM", "EPROM49-64K"}),
                         [](const auto& info) { return std::string(info.param.row); });

// ---- faults -----------------------------------------------------------------

TEST_F(PinRun, ACellThatNeverProgramsFailsAfterTheRowsPulseLimit) {
    struct Case {
        uint32_t alg, retry, pulses;
    };
    for (const Case k : {Case{65, 25, 24}, Case{65, 10, 9}}) {
        SCOPED_TRACE(k.retry);
        SelectAndSeat("GENERIC-ALGORITHM", "EPROM65-8K");
        Retry = k.retry;
        chip->StickCell(0x40);
        FillData(3);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(HasLine(FailLine(0x40, 0xFF))) << LogText();
        uint32_t at40 = 0;
        for (const auto& p : chip->Pulses()) at40 += p.address == 0x40;
        EXPECT_EQ(at40, k.pulses);
        socket->Clear();
    }
}

TEST_F(PinRun, Row53GivesUpAfter24PulsesWhateverRetrySays) {
    SelectAndSeat("XICOR", "X2864A");
    Retry = 100;
    chip->StickCell(0x10);
    FillData(3);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(FailLine(0x10, 0xFF))) << LogText();
    uint32_t pulses = 0;
    for (const auto& p : chip->Pulses()) pulses += p.address == 0x10;
    EXPECT_EQ(pulses, 24u);
}

TEST_F(PinRun, Row66GivesAWeakCellTwoPassesEachEndedByTheMultipliedOverPulse) {
    SelectAndSeat("GENERIC-ALGORITHM", "EPROM66-16K");
    DeviceEnd = 0x7; // a few addresses
    chip->SetPulsesNeeded(0x3, 3);
    FillData(5);
    FillBufferRange(0x5, 0x5, 0x00); // blank datum: never pulsed
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<uint64_t> at3, at5;
    for (const auto& p : chip->Pulses()) {
        if (p.address == 3) at3.push_back(p.widthUs);
        if (p.address == 5) at5.push_back(p.widthUs);
    }
    // Pass 1: three pulses, then 3 x OverPulseWidth; pass 2 at the margin: one, then 1 x.
    ASSERT_EQ(PulseMul, 1u);
    const uint64_t w = PulseWidth, o = OverPulseWidth;
    const std::vector<uint64_t> expected{w, w, w, 3 * o, w, o};
    ASSERT_EQ(at3.size(), expected.size());
    for (size_t i = 0; i < at3.size(); ++i) { // the timer waits at least the width asked
        EXPECT_GE(at3[i], expected[i]);
        EXPECT_LT(at3[i], expected[i] + 1100);
    }
    EXPECT_TRUE(at5.empty());
    EXPECT_EQ(chip->Cell(3), BufferByte(3));
    ExpectNoViolations();
}

// The second pass verifies at the margin: a cell that reads right at the
// normal level after the first pass but needs more programming time to hold
// at the margin gets pulses in the second pass until it holds there.
TEST_F(PinRun, Row66SecondPassProgramsTheMarginTime) {
    ASSERT_TRUE(Select("GENERIC-ALGORITHM", "EPROM66-16K"));
    auto c = *sim::FindPinDrivenPart("GENERIC-ALGORITHM", "EPROM66-16K");
    const uint64_t firstPass = 3 * uint64_t{PulseWidth} + 3 * uint64_t{OverPulseWidth} * PulseMul;
    c.marginUs = firstPass + 3 * uint64_t{PulseWidth}; // two more pulses at least
    SeatPart(c);
    DeviceEnd = 0x7;
    chip->SetPulsesNeeded(0x3, 3);
    FillData(5);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    uint64_t total = 0;
    size_t pulses = 0;
    for (const auto& p : chip->Pulses()) {
        if (p.address != 3) continue;
        total += p.widthUs;
        ++pulses;
    }
    EXPECT_GE(total, c.marginUs);
    EXPECT_GE(pulses, 4u + 3u); // three and the over pulse, then at least two and the over pulse
    EXPECT_EQ(chip->Cell(3), BufferByte(3));
    ExpectNoViolations();
}

TEST_F(PinRun, Row66RefusesARecordWithPageBelowTwo) {
    // The librarian's row limits: Page is row 66's pulse limit.
    const RowDef* row = RowDefinition(66);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->LeastPage, 2u);
    RowRecordFacts record{.Page = 1, .Programs = true};
    EXPECT_EQ(RowRecordRefusal(*row, record), "page of 1 leaves algorithm 66 no program pulse (2 or more)");
    record.Page = 2;
    EXPECT_EQ(RowRecordRefusal(*row, record), "");
}

TEST_F(PinRun, Row97FailsAtTheFirstByteThatDoesNotReadBack) {
    SelectAndSeat("DALLAS", "DS1230AB");
    DeviceStart = BufferStart = 0x100;
    chip->StickCell(0x123);
    FillData(4);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(FailLine(0x123, 0xFF))) << LogText();
    EXPECT_EQ(chip->Writes(), 0x24u); // one write each, none retried
}

TEST_F(PinRun, AUserBreakEndsTheRun) {
    SelectAndSeat("DALLAS", "DS1230AB");
    DeviceEnd = 0x3FF;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    FillData(4);
    EXPECT_EQ(Run(OpProgram), 3);
    EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    EXPECT_LT(chip->Writes(), 0x400u);
}

TEST_F(PinRun, TooShortAWriteOrTooLowAVoltageProgramsNothing) {
    // A /WE shorter than the EEPROM's write time leaves the byte as it was.
    SelectAndSeat("INTEL", "2816A");
    PulseWidth = 1000;
    FillData(2);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(chip->IsBlank());
    socket->Clear();
    ExpectNoViolations();
    // 10.0 V is below the EPROM's programming voltage: the pulse on /OE is a
    // read, and the part drives against the datum.
    SelectAndSeat("GENERIC-ALGORITHM", "EPROM65-8K");
    Vpp = 1000;
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(chip->IsBlank());
}

// ---- what only one row does -----------------------------------------------------

TEST_F(PinRun, Row92VerifyIgnoresTheClockWhileBlankCheckAndReadCoverIt) {
    SelectAndSeat("ST", "M48T35");
    DeviceStart = BufferStart = 0x7F00;
    FillData(9);
    FillBufferRange(0x7FF9, 0x7FF9, 0x00); // seconds 00, oscillator running
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // Two seconds later the clock reads on; verify still passes.
    DelayMs(2000);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    EXPECT_EQ(Run(OpBlankCheck), -1);
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1);
    EXPECT_GE(BufferByte(0x7FF9), 0x02);
    EXPECT_EQ(BufferByte(0x7FFA), chip->Cell(0x7FFA));
}

// Verify leaves out the eight clock registers and nothing below them: a
// memory byte at 7FF0h-7FF7h that differs from the buffer fails it.
TEST_F(PinRun, Row92VerifyComparesEveryMemoryByteBelowTheClock) {
    for (uint32_t changed : {0x7FF0u, 0x7FF7u, 0x7FF8u}) {
        SCOPED_TRACE(changed);
        socket->Clear();
        elec->WithdrawAllChips();
        SelectAndSeat("ST", "M48T35");
        DeviceStart = BufferStart = 0x7F00;
        FillData(10);
        FillBufferRange(0x7FF9, 0x7FF9, 0x80); // the oscillator stopped
        VerifyAfterProgram = 0;
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        FillBufferRange(changed, changed, static_cast<uint8_t>(BufferByte(changed) ^ 0x11));
        EXPECT_EQ(Run(OpVerify), changed < 0x7FF8 ? -1 : 1) << LogText();
    }
}

TEST_F(PinRun, Row98WritesTheClockRegistersWithoutReadingThemBack) {
    ASSERT_TRUE(Select("DALLAS", "DS1245AB"));
    auto c = *sim::FindPinDrivenPart("DALLAS", "DS1245AB");
    c.clockCount = 14; // a part with its clock at 0-0Dh, bits 7 of 0Ah-0Dh read-only
    c.clockReadOnlyMask = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0xFF, 0xFF};
    c.clockFixedBits = c.clockReadOnlyMask;
    SeatPart(c);
    DeviceEnd = 0xFF;
    FillData(8);
    FillBufferRange(5, 5, 0xA5);
    FillBufferRange(0x0C, 0x0C, 0x5A);
    chip->StickCell(5);
    const uint64_t start = simp.NowUs();
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_NE(chip->Cell(5), 0xA5);
    EXPECT_NE(chip->Cell(0x0C), 0x5A);
    EXPECT_GE(simp.NowUs() - start, 200000u);
}

TEST_F(PinRun, Row49LatchesEveryAddressOnPin33) {
    SelectAndSeat("GENERIC-ALGORITHM", "EPROM49-64K");
    DeviceStart = BufferStart = 0xF000;
    FillData(1);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(chip->Latches(), DeviceEnd - DeviceStart + 1);
}

TEST_F(PinRun, Row65RampsVppIn1VStepsAroundEveryPulse) {
    SelectAndSeat("GENERIC-ALGORITHM", "EPROM65-8K");
    DeviceEnd = 0; // one datum, one pulse
    FillData(2);
    PinWatch watch({11}); // Vpp, chip pin 1
    simp.AttachComponent(&watch);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    simp.DetachComponent(&watch);
    // 5.0 V, up in 1.0 V steps 10 us apart to Vpp, and down the same way.
    const auto changes = watch.Changes(11);
    const int top = static_cast<int>(Vpp / 10);
    size_t peak = 0;
    for (size_t i = 0; i < changes.size(); ++i)
        if (changes[i].tenths > changes[peak].tenths) peak = i;
    ASSERT_NEAR(changes[peak].tenths, top, 1);
    const int lastStep = (top - 50) % 10 == 0 ? 10 : (top - 50) % 10;
    int up = 0, down = 0;
    for (size_t i = peak; i > 0 && changes[i - 1].tenths >= 49; --i, ++up) {
        EXPECT_NEAR(changes[i].tenths - changes[i - 1].tenths, i == peak ? lastStep : 10, 1);
        EXPECT_GE(changes[i].us - changes[i - 1].us, 10u);
    }
    for (size_t i = peak + 1; i < changes.size() && changes[i].tenths >= 49; ++i, ++down)
        EXPECT_GE(changes[i].us - changes[i - 1].us, 10u);
    EXPECT_EQ(up, (top - 50 + 9) / 10);
    EXPECT_EQ(down, up);
}

TEST_F(PinRun, AStartInsideA256ByteBlockGetsItsUpperAddressFirst) {
    struct Case {
        const char* maker;
        const char* name;
    };
    for (const Case k : {Case{"DALLAS", "DS1230AB"}, Case{"SEEQ", "2864"}}) {
        SCOPED_TRACE(k.name);
        SelectAndSeat(k.maker, k.name);
        DeviceStart = BufferStart = 0x1234;
        DeviceEnd = 0x1300;
        FillData(6);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectChipHoldsBuffer();
        EXPECT_EQ(chip->Cell(0x34), chip->Config().blank);
        socket->Clear();
    }
}

TEST_F(PinRun, Row88Variant0Uses11AddressBitsAndPulsesPin33) {
    SelectAndSeat("INTEL", "2816A");
    DeviceEnd = 0xFF;
    FillData(3);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    // One /WE per byte on socket pin 33 (chip pin 21); 37 is off the part.
    EXPECT_EQ(chip->Pulses().size(), 0x100u);
    ExpectNoViolations();
}

} // namespace
