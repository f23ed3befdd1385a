// Row 127 against the catalog's status-byte parts through the operation
// driver: whole runs from 0 and from an odd start checked on the part's
// cells, one pulse per byte, the data pins never driven against the part,
// erase over the whole part whatever the range, and the lock and its
// read-back.
#include <algorithm>

#include "McuFixture.h"

#include "engine/RowDef.h"
#include "sim/StatusByteMcuChip.h"

namespace {

class StatusByteRun : public McuRun {
  protected:
    sim::StatusByteMcuChip* PutStatusByte(const char* name) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name)) << name;
        const auto* f = sim::FindFacts<sim::StatusByteMcuFacts>("GENERIC-ALGORITHM", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::StatusByteMcuChip>(*f);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    // Buffer bytes a..b from a pattern with some FFh bytes among them.
    static void FillImage(uint32_t a, uint32_t b, uint32_t seed) {
        uint32_t x = seed * 2654435761u + 12345u;
        for (uint32_t i = a; i <= b; ++i) {
            x = x * 1103515245u + 12345u;
            BufferWindow[i & 0xFFFF] = i % 5 == 0 ? 0xFF : static_cast<uint8_t>(x >> 16);
        }
    }
    bool AnyContention() const {
        for (const std::string& v : simp.Violations())
            if (v.find("drives against the logic driver") != std::string::npos) return true;
        return false;
    }
};

// Blank check, program, verify at both levels and read back over the whole
// part: every byte, FFh included, gets exactly one pulse, and the data pins
// never meet the part's outputs.
TEST_F(StatusByteRun, WholePartOnePulsePerByte) {
    sim::StatusByteMcuChip* chip = PutStatusByte("STATBYTE-16K");
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(AlgorithmTable[127].ParameterGroup, 6);
    const uint32_t n = DeviceEnd + 1;
    ASSERT_EQ(n, 0x4000u);
    FillImage(0, n - 1, 3);
    std::vector<uint8_t> image(BufferWindow, BufferWindow + n);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    for (uint32_t a = 0; a < n; ++a) {
        ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
        ASSERT_EQ(chip->PulsesAt(a), 1u) << std::hex << a;
    }
    EXPECT_EQ(chip->Pulses(), n);
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), BufferWindow));
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed) << LogText();
    EXPECT_FALSE(AnyContention());
    ExpectNoViolations();
}

// A range from 123h lands at chip addresses 123h on, its high address lines
// driven at the first address: Program leaves 023h and the rest alone, Read
// fills only the range's buffer bytes from the same cells.
TEST_F(StatusByteRun, OddStartLandsAtItsChipAddresses) {
    sim::StatusByteMcuChip* chip = PutStatusByte("STATBYTE-32K");
    ASSERT_NE(chip, nullptr);
    // Cells below 100h and past the range hold something of their own.
    for (uint32_t a = 0; a < 0x600; ++a)
        chip->SetCell(a, static_cast<uint16_t>((a * 7 + 3) & 0xFF));
    const uint32_t first = 0x123, last = 0x3A1;
    for (uint32_t a = first; a <= last; ++a)
        chip->SetCell(a, 0xFF);
    FillImage(first, last, 9);
    std::vector<uint8_t> image(BufferWindow + first, BufferWindow + last + 1);
    DeviceStart = BufferStart = first;
    DeviceEnd = last;
    BlankCheckBeforeProgram = 1;
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x600; ++a) {
        const bool in = a >= first && a <= last;
        ASSERT_EQ(chip->Cell(a), in ? image[a - first] : (a * 7 + 3) & 0xFF) << std::hex << a;
        ASSERT_EQ(chip->PulsesAt(a), in ? 1u : 0u) << std::hex << a;
    }
    FillBufferRange(0, 0xFFFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = first - 16; a <= last + 16; ++a)
        ASSERT_EQ(BufferWindow[a], a >= first && a <= last ? image[a - first] : 0x5A) << std::hex << a;
    ExpectNoViolations();
}

// Erase writes F8h into the status byte and fills every cell of the part
// with FFh, also outside a narrowed range; a locked part is unlocked by it.
TEST_F(StatusByteRun, EraseFillsTheWholePartWhateverTheRange) {
    sim::StatusByteMcuChip* chip = PutStatusByte("STATBYTE-16K");
    ASSERT_NE(chip, nullptr);
    const uint32_t n = 0x4000;
    for (uint32_t a = 0; a < n; ++a)
        chip->SetCell(a, static_cast<uint16_t>(a & 0x7F));
    chip->SetStatus(0xF9);
    DeviceStart = BufferStart = 0x1001;
    DeviceEnd = 0x10FF;
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Status(), 0xF8);
    EXPECT_EQ(chip->StatusWrites(), 1u);
    for (uint32_t a = 0; a < n; ++a) {
        ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
        ASSERT_EQ(chip->PulsesAt(a), 1u) << std::hex << a;
    }
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ExpectNoViolations();
}

// A part whose status write leaves the lock bit set: the erase's second
// power-up stops with " Device secured!" before any cell is written.
TEST_F(StatusByteRun, EraseOfAPartStayingLockedFails) {
    sim::StatusByteMcuChip* chip = PutStatusByte("STATBYTE-16K");
    ASSERT_NE(chip, nullptr);
    chip->SetStatus(0xF9);
    chip->RefuseUnlock();
    EXPECT_EQ(Run(OpErase), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Device secured!")) << LogText();
    EXPECT_TRUE(HasLine("Erase error!")) << LogText();
    EXPECT_EQ(chip->StatusWrites(), 1u);
    EXPECT_EQ(chip->Pulses(), 0u);
    ExpectNoViolations();
}

// Secure sets the lock bit with one pulse; then Read, Blank check, Verify,
// Program and a second Secure stop at power-up with " Device secured!",
// before any address and with no address line after it: the buffer and the
// cells stay as they were.
TEST_F(StatusByteRun, SecuredPartRefusesEveryEntryBeforeAnyAddress) {
    sim::StatusByteMcuChip* chip = PutStatusByte("STATBYTE-16K");
    ASSERT_NE(chip, nullptr);
    FillImage(0, 0x3FFF, 5);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_TRUE(chip->Locked());
    EXPECT_EQ(chip->LockPulses(), 1u);
    chip->ClearCounts();
    for (int op : {OpRead, OpBlankCheck, OpVerify, OpProgram, OpSecurity}) {
        FillBufferRange(0, 0xFFFF, 0x5A);
        EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
        EXPECT_TRUE(HasLine(" Device secured!")) << op << LogText();
        for (const std::string& l : Log()) EXPECT_EQ(l.find("addr:"), std::string::npos) << op << LogText();
        EXPECT_EQ(std::count(BufferWindow, BufferWindow + 0x4000, 0x5A), 0x4000) << op;
    }
    EXPECT_EQ(chip->Pulses() + chip->LockPulses() + chip->StatusWrites(), 0u);
    ExpectNoViolations();
}

// A lock pulse that does not take: Secure reads the status byte back and
// fails with its value, and the part stays readable.
TEST_F(StatusByteRun, LockThatDoesNotTakeFailsSecure) {
    sim::StatusByteMcuChip* chip = PutStatusByte("STATBYTE-16K");
    ASSERT_NE(chip, nullptr);
    chip->RefuseLock();
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine(" Lock bit not programmed (status byte F8h).")) << LogText();
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    EXPECT_EQ(chip->LockPulses(), 1u);
    EXPECT_FALSE(chip->Locked());
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ExpectNoViolations();
}

// A user break during Program stops the walk and powers the part down.
TEST_F(StatusByteRun, UserBreakStopsProgram) {
    sim::StatusByteMcuChip* chip = PutStatusByte("STATBYTE-16K");
    ASSERT_NE(chip, nullptr);
    FillImage(0, 0x3FFF, 7);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    BlankCheckBeforeProgram = 0;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
    EXPECT_GT(chip->Pulses(), 0u);
    EXPECT_LT(chip->Pulses(), 0x4000u);
    int lastMode = -1;
    for (const auto& r : simp.RegisterTrace())
        if (r.write && r.reg == 12) lastMode = r.value;
    EXPECT_EQ(lastMode, 0);
    ExpectNoViolations();
}

// The record check: 40-pin packages up to 64 KB.
TEST(StatusByteRecords, FortyPinsUpTo64K) {
    InstallMcuAlgorithms();
    const RowDef* def = RowDefinition(127);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(RowRecordRefusal(*def, {.DeviceSize = 0x10000, .PackagePins = 40}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x10001, .PackagePins = 40}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x4000, .PackagePins = 44}), "");
}

} // namespace
