// Row 62 end to end on the status-polled configuration device: identification,
// the read stream, block programming with the flag bit last, the erase's busy
// polls and the injected faults. The runs cover the first 4K of the part.
#include "ImageFiles.h"
#include "JtagFixture.h"
#include "engine/RowDef.h"

namespace {

constexpr uint32_t kRange = 0x1000;
constexpr uint8_t kFlag = 0x20; // bit 5 of byte 3

class JtagMemoryTest : public MemoryRun {
protected:
    static sim::JtagMemoryFacts Part62() {
        const auto* f = sim::FindFacts<sim::JtagMemoryFacts>("ALTERA", "EPC2");
        EXPECT_NE(f, nullptr);
        return f ? *f : sim::JtagMemoryFacts{};
    }
    sim::StatusPolledPromChip* Select62(const sim::JtagMemoryFacts& f = Part62()) {
        EXPECT_TRUE(Select("ALTERA", "EPC2"));
        DeviceEnd = kRange - 1;
        auto chip = std::make_unique<sim::StatusPolledPromChip>(f);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    // A file as a read of a programmed part gives it: the flag bit shown set.
    static void FillFile(uint32_t seed) {
        FillPattern(kRange, seed);
        BufferWindow[3] |= kFlag;
    }
    static void ClearBuffer() {
        for (uint32_t a = 0; a < kRange; ++a) BufferWindow[a] = 0;
    }
    void ExpectPoweredDown() { EXPECT_TRUE(elec->SuppliedPins().empty()); }
};

TEST_F(JtagMemoryTest, Row62ProgramsVerifiesReadsAndErases) {
    sim::StatusPolledPromChip* chip = Select62();
    EXPECT_EQ(DeviceSize, 211960u);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillFile(3);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    for (uint32_t a = 0; a < kRange; ++a) {
        ASSERT_EQ(chip->Cell(a), a == 3 ? BufferByte(a) & ~kFlag : BufferByte(a)) << a;
    }
    // The catalog part names that flag, so a check of its cells knows it.
    EXPECT_EQ(Part62().doneFlagAddress, 3u);
    EXPECT_EQ(Part62().doneFlagMask, kFlag);
    // Every block once, then block 0 again with the flag bit cleared.
    const std::vector<uint32_t>& blocks = chip->ProgrammedBlocks();
    ASSERT_EQ(blocks.size(), kRange / 8 + 1);
    for (uint32_t b = 0; b < kRange / 8; ++b) ASSERT_EQ(blocks[b], b * 8);
    EXPECT_EQ(blocks.back(), 0u);

    std::vector<uint8_t> file(kRange);
    for (uint32_t a = 0; a < kRange; ++a) file[a] = BufferByte(a);
    ClearBuffer();
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < kRange; ++a) ASSERT_EQ(BufferByte(a), file[a]) << a; // byte 3 shows the flag set
    EXPECT_EQ(Run(OpVerify), 1) << LogText();

    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_TRUE(chip->Blank());
    EXPECT_EQ(chip->Erases(), 1u);
    ExpectPoweredDown();
    ExpectNoViolations();
}

// A range past 0 with ends off the 8-byte blocks: Program writes the range at
// its own addresses and leaves the bytes around it (and the flag bit, outside
// the range) as they were; Read fills only the range's buffer bytes.
TEST_F(JtagMemoryTest, Row62RangeStartingPastZero) {
    sim::StatusPolledPromChip* chip = Select62();
    auto around = [](uint32_t a) { return static_cast<uint8_t>(0xF0 | (a & 0x0F)); };
    for (uint32_t a = 0; a < 0x400; ++a) chip->SetCell(a, around(a));
    DeviceStart = BufferStart = 0x123;
    DeviceEnd = 0x2F4;
    FillPattern(0x400, 9);
    for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) BufferWindow[a] &= around(a); // no bit from 0 to 1
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    for (uint32_t a = 0; a < 0x400; ++a) {
        const bool inRange = a >= DeviceStart && a <= DeviceEnd;
        ASSERT_EQ(chip->Cell(a), inRange ? BufferByte(a) : around(a)) << a;
    }
    for (uint32_t a = 0; a < 0x400; ++a) BufferWindow[a] = 0x5A;
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < 0x400; ++a) {
        const bool inRange = a >= DeviceStart && a <= DeviceEnd;
        ASSERT_EQ(BufferByte(a), inRange ? chip->Cell(a) : 0x5A) << a;
    }
    ExpectPoweredDown();
    ExpectNoViolations();
}

// The flag bit is the part's own mark, no data: a buffer with it clear
// programs and verifies (the bit goes last), the read shows it set, and that
// read programs a second part to the same cells.
TEST_F(JtagMemoryTest, Row62FlagBitIsNoData) {
    sim::StatusPolledPromChip* chip = Select62();
    FillPattern(kRange, 12);
    BufferWindow[3] &= static_cast<uint8_t>(~kFlag);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    // Bit 5 of byte 3 stayed 1 until the final pass of block 0.
    ASSERT_EQ(chip->ProgrammedBlocks().size(), kRange / 8 + 1);
    std::vector<uint8_t> cells(kRange);
    for (uint32_t a = 0; a < kRange; ++a) cells[a] = static_cast<uint8_t>(chip->Cell(a));
    for (uint32_t a = 0; a < kRange; ++a) ASSERT_EQ(cells[a], BufferByte(a)) << a;
    ClearBuffer();
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(BufferByte(3), cells[3] | kFlag);
    socket->Clear();
    elec->WithdrawAllChips();
    chip = Select62();
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    for (uint32_t a = 0; a < kRange; ++a) ASSERT_EQ(chip->Cell(a), cells[a]) << a;
    ExpectNoViolations();
}

// A part whose flag bit alone is programmed passes the blank check.
TEST_F(JtagMemoryTest, Row62BlankCheckShowsTheFlagBitSet) {
    sim::StatusPolledPromChip* chip = Select62();
    chip->SetCell(3, 0xFF & ~kFlag);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    chip->SetCell(4, 0xFE);
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
}

// Another identification, or another part (its own answering another):
// every entry ends at the identity line, powered down, with no datum or
// verify-level line after it.
TEST_F(JtagMemoryTest, Row62WrongIdentificationEndsEveryEntryPoweredDown) {
    for (bool anotherPart : {false, true}) {
        SCOPED_TRACE(anotherPart ? "another part" : "identification");
        socket->Clear();
        elec->WithdrawAllChips();
        sim::JtagMemoryFacts f = Part62();
        if (!anotherPart) f.id[2] = 0x3A;
        sim::StatusPolledPromChip* chip = Select62(f);
        chip->AnswerAnotherIdentity(anotherPart);
        EXPECT_TRUE(RowDefinition(62)->ChecksIdentity());
        FillFile(5);
        for (int op : {OpVerify, OpBlankCheck, OpProgram, OpRead, OpErase}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(" Invalid device ID")) << LogText();
            EXPECT_EQ(IdentityRefusalLine(), " Invalid device ID");
            EXPECT_EQ(DatumLines(), "") << LogText();
            ExpectPoweredDown();
        }
        EXPECT_TRUE(chip->ProgrammedBlocks().empty());
        EXPECT_EQ(chip->Erases(), 0u);
    }
}

// The status answers: an error status (here no programming voltage on VPP)
// ends Program; the erase accepts 290 busy answers, not 291.
TEST_F(JtagMemoryTest, Row62StatusErrorsAndTheEraseBusyLimit) {
    sim::JtagMemoryFacts f = Part62();
    f.vppPin = 17; // the part looks for its VPP where none comes
    sim::StatusPolledPromChip* chip = Select62(f);
    FillFile(7);
    BlankCheckBeforeProgram = 0;
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(chip->Blank());
    ExpectPoweredDown();

    socket->Clear();
    elec->WithdrawAllChips();
    chip = Select62();
    // The poll period as the erase spends it (the wait and the status read).
    chip->SetCell(0, 0);
    chip->SetEraseUs(1000000);
    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ASSERT_GT(chip->StatusReadsUs().size(), 5u);
    const uint64_t period = (chip->StatusReadsUs().back() - chip->StartedAtUs()) / chip->StatusReadsUs().size();
    struct Case {
        uint64_t busyPolls;
        int result;
    };
    for (const Case& c : {Case{290, 1}, Case{291, -1}}) {
        SCOPED_TRACE(c.busyPolls);
        chip->SetCell(0, 0);
        chip->SetEraseUs(c.busyPolls * period + period / 2);
        EXPECT_EQ(Run(OpErase), c.result) << LogText();
        EXPECT_EQ(chip->StatusReadsUs().size(), c.busyPolls + (c.result == 1));
        EXPECT_EQ(chip->Blank(), c.result == 1);
        ExpectPoweredDown();
    }
}

// Each entry resets the TAP and takes one step to Run-Test/Idle; the
// program and erase waits pass in Run-Test/Idle.
TEST_F(JtagMemoryTest, Row62TapTraffic) {
    sim::StatusPolledPromChip* chip = Select62();
    for (int op : {OpRead, OpErase}) {
        SCOPED_TRACE(op);
        RunFromTapReset(chip->Tap(), [&] { EXPECT_EQ(Run(op), 1) << LogText(); });
    }
    // The erase: its status polls leave from and return to Run-Test/Idle.
    const auto& t = chip->Tap().Trace();
    size_t polls = 0;
    for (size_t i = 1; i + 1 < t.size(); ++i) {
        if (t[i].state == sim::TapState::SelectDrScan) {
            ++polls;
            EXPECT_EQ(t[i - 1].state, sim::TapState::RunTestIdle) << i;
        }
    }
    EXPECT_GT(polls, 10u);
    ExpectNoViolations();
}

// Programmed from files as a user loads them (S3 records, Intel hex): the
// part holds the file, the flag bit cleared by the final pass.
TEST_F(JtagMemoryTest, Row62ProgramsFromLoadedFiles) {
    for (bool motorola : {true, false}) {
        SCOPED_TRACE(motorola ? "S3" : "Intel hex");
        socket->Clear();
        elec->WithdrawAllChips();
        sim::StatusPolledPromChip* chip = Select62();
        FillPattern(kRange, motorola ? 31 : 32);
        std::vector<uint8_t> file(kRange);
        for (uint32_t a = 0; a < kRange; ++a) file[a] = BufferByte(a);
        ClearBuffer();
        LoadImageFile(file, motorola);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ExpectLinesInOrder({"Program ok!", "Verification ok!"});
        for (uint32_t a = 0; a < kRange; ++a) ASSERT_EQ(chip->Cell(a), a == 3 ? file[a] & ~kFlag : file[a]) << a;
    }
    ExpectNoViolations();
}

} // namespace
