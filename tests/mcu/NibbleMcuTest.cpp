// Rows 171 and 174 against the simulator's nibble-handshake parts: a file
// srec_cat wrote, the bit reversal, the lock, the attempt and busy bounds,
// user breaks, register traces, and the librarian's 1 KB bound.
#include "McuFixture.h"

#include <cstdlib>

#include "engine/RowDef.h"
#include "sim/NibbleMcuChip.h"
#include "sim/RegisterMcuBus.h"

namespace {

struct NibblePartName {
    uint32_t row;
    const char* name;
};
constexpr NibblePartName kNibbleParts[] = {{171, "NIBBLE-1K"}, {174, "NIBBLE-1K-B"}};

class NibbleRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        sim::RegisterRegisterMcuBusPersonality();
    }
    sim::NibbleMcuChip* Put(const char* name) {
        ClearSocket();
        EXPECT_TRUE(Select("GENERIC-ALGORITHM", name));
        const auto* f = sim::FindFacts<sim::NibbleMcuFacts>("GENERIC-ALGORITHM", name);
        EXPECT_NE(f, nullptr);
        if (f == nullptr) return nullptr;
        auto chip = std::make_unique<sim::NibbleMcuChip>(*f);
        elec->DeclareChip(chip->Limits());
        return static_cast<sim::NibbleMcuChip*>(socket->Insert(std::move(chip)));
    }
    // The writes to the bus registers (0-11) of the last traced run.
    std::vector<std::pair<int, int>> NibbleWrites() const {
        std::vector<std::pair<int, int>> w;
        for (const auto& r : simp.RegisterTrace()) {
            if (r.write && r.reg <= 11) w.emplace_back(r.reg, r.value);
        }
        return w;
    }
};

uint8_t NibbleReverse(uint8_t v) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = static_cast<uint8_t>(r | ((v >> i & 1) << (7 - i)));
    return r;
}

// Per row: blank check, a file srec_cat wrote loaded and programmed (FFh bytes
// get no pulse), the chip holding every byte as the file has it (sent
// bit-reversed over the reversed data lines), verify at both levels,
// compare, read back, save and load equal; then Secure and the lock.
TEST_F(NibbleRun, SrecFileRoundTripAndLock) {
    if (std::system("command -v srec_cat >/dev/null 2>&1") != 0) GTEST_SKIP() << "srec_cat not installed";
    for (const auto& p : kNibbleParts) {
        SCOPED_TRACE(p.name);
        sim::NibbleMcuChip* chip = Put(p.name);
        ASSERT_NE(chip, nullptr);
        const uint32_t n = 0x400;
        FillPattern(n, p.row);
        for (uint32_t a = 3; a < n; a += 7) BufferWindow[a] = 0xFF;
        BufferWindow[0] = 0x01;
        std::vector<uint8_t> image(n);
        for (uint32_t a = 0; a < n; ++a) image[a] = BufferByte(a);
        ASSERT_EQ(SaveHexFamilyFile("nb.hex", 0, n - 1, HexFormatIntel), 1);
        ASSERT_EQ(std::system("srec_cat nb.hex -intel -o nb.s19 -motorola >/dev/null 2>&1"), 0);
        FillBufferRange(0, n - 1, 0x77);
        ASSERT_EQ(LoadHexFamilyFile("nb.s19", 0, 0), 1);

        EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(chip->Cell(0), 0x01); // sent as 80h, reversed again by the lines
        for (uint32_t a = 0; a < n; ++a) {
            ASSERT_EQ(chip->Cell(a), image[a]) << std::hex << a;
            if (image[a] == 0xFF) {
                ASSERT_EQ(chip->PulsesAt(a), 0u) << std::hex << a;
            }
        }
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
        EXPECT_EQ(Run(OpCompare), ResultOk) << LogText();
        FillBufferRange(0, n - 1, 0x77);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        EXPECT_EQ(BufferByte(0), 0x01);
        ASSERT_EQ(SaveHexFamilyFile("nbread.s19", 0, n - 1, HexFormatMotorola), 1);
        FillBufferRange(0, n - 1, 0x77);
        ASSERT_EQ(LoadHexFamilyFile("nbread.s19", 0, 0), 1);
        for (uint32_t a = 0; a < n; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;

        EXPECT_FALSE(chip->Locked());
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_TRUE(chip->Locked());
        ExpectNoViolations();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
}

// The data lines meet the logic's bits in reverse order: a byte goes out on
// register 3 bit-reversed and its cell holds it as the buffer does; a cell's
// byte comes back in the buffer as the cell holds it.
TEST_F(NibbleRun, ReversedDataLinesKeepTheBufferByte) {
    constexpr uint8_t kBytes[] = {0x01, 0x80, 0x3C, 0xE0, 0x07};
    for (const auto& p : kNibbleParts) {
        SCOPED_TRACE(p.name);
        sim::NibbleMcuChip* chip = Put(p.name);
        ASSERT_NE(chip, nullptr);
        FillBufferRange(0, 0xFFFF, 0xFF);
        for (size_t i = 0; i < std::size(kBytes); ++i) BufferWindow[0x10 + i] = kBytes[i];
        DeviceEnd = 0x3F;
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
        StartTrace();
        EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
        const auto w = NibbleWrites();
        const int shift = p.row == 171 ? 8 : 1;
        for (size_t i = 0; i < std::size(kBytes); ++i) {
            EXPECT_EQ(chip->Cell(0x10 + static_cast<uint32_t>(i)), kBytes[i]) << i;
            const uint8_t r = NibbleReverse(kBytes[i]);
            const std::vector<std::pair<int, int>> sent = {{0, 8}, {3, r >> 4}, {1, shift}, {3, r & 15}};
            EXPECT_NE(std::search(w.begin(), w.end(), sent.begin(), sent.end()), w.end()) << i;
        }
        chip->SetCell(0x20, 0x80);
        chip->SetCell(0x21, 0x0E);
        FillBufferRange(0, 0x3F, 0x77);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        EXPECT_EQ(BufferByte(0x20), 0x80);
        EXPECT_EQ(BufferByte(0x21), 0x0E);
        for (size_t i = 0; i < std::size(kBytes); ++i) EXPECT_EQ(BufferByte(0x10 + static_cast<uint32_t>(i)), kBytes[i]) << i;
        ExpectNoViolations();
    }
}

// A cell that never programs fails after 25 attempts at its address; the
// bytes before it are written.
TEST_F(NibbleRun, CellNeverProgramming) {
    for (const auto& p : kNibbleParts) {
        SCOPED_TRACE(p.name);
        sim::NibbleMcuChip* chip = Put(p.name);
        ASSERT_NE(chip, nullptr);
        FillBufferRange(0, 0xFFFF, 0xFF);
        BufferWindow[0x12] = 0x3C;
        BufferWindow[0x345] = 0xA5;
        chip->StickCell(0x345);
        BlankCheckBeforeProgram = 0;
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_TRUE(HasLine(ChipAddrLine(0x345))) << LogText();
        EXPECT_EQ(chip->Cell(0x12), 0x3C);
        EXPECT_EQ(chip->PulsesAt(0x345), 25u * (p.row == 171 ? 40u : 10u));
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// A busy bit that never clears: every command's wait ends after 1000 reads
// and the run goes on to its end instead of hanging.
TEST_F(NibbleRun, StuckBusyEndsEachWait) {
    sim::NibbleMcuChip* chip = Put("NIBBLE-1K");
    ASSERT_NE(chip, nullptr);
    chip->StickBusy();
    DeviceEnd = 1;
    StartTrace();
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    int longest = 0, run = 0;
    for (const auto& r : simp.RegisterTrace()) {
        if (!r.write && r.reg == 3) {
            longest = std::max(longest, ++run);
        } else if (r.write && r.reg == 1) {
            run = 0;
        }
    }
    // The wait's 1000 reads, then the nibble read of the cycle.
    EXPECT_GE(longest, 1000);
    EXPECT_LE(longest, 1001);
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// A user break ends Program with 3 and the part powered down.
TEST_F(NibbleRun, UserBreak) {
    for (const auto& p : kNibbleParts) {
        SCOPED_TRACE(p.name);
        sim::NibbleMcuChip* chip = Put(p.name);
        ASSERT_NE(chip, nullptr);
        FillBufferRange(0, 0xFFFF, 0x3C);
        BlankCheckBeforeProgram = 0;
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpProgram), ResultUserBreak) << LogText();
        EXPECT_EQ(chip->Cell(0x3FF), 0xFF);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
        ui.BreakAtPercent = -1;
    }
}

// A lock that never takes: Secure fails on the lock check, for both rows.
TEST_F(NibbleRun, SecureFailsWhenTheLockReadsUnset) {
    for (const auto& p : kNibbleParts) {
        SCOPED_TRACE(p.name);
        sim::NibbleMcuChip* chip = Put(p.name);
        ASSERT_NE(chip, nullptr);
        chip->NeverLock();
        EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
        EXPECT_GE(chip->Pulses(), 10u);
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// The register traffic of row 171's power-up, one program attempt and its
// read, and of row 174's read cycle.
TEST_F(NibbleRun, RegisterTracesOfPowerUpProgramAndRead) {
    ASSERT_NE(Put("NIBBLE-1K"), nullptr);
    FillBufferRange(0, 0xFFFF, 0xFF);
    BufferWindow[0x21] = 0x01;
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 0;
    StartTrace();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    auto w = NibbleWrites();
    const std::vector<std::pair<int, int>> powerUp = {{0, 6}, {1, 0}, {4, 5}, {5, 2}, {1, 12}, {4, 1}, {1, 13}};
    EXPECT_NE(std::search(w.begin(), w.end(), powerUp.begin(), powerUp.end()), w.end());
    std::vector<std::pair<int, int>> attempt = {
        {4, 1}, {0, 0}, {3, 1}, {1, 8}, {3, 1}, {1, 8},    // address 21h in halves
        {0, 8}, {3, 8}, {1, 8}, {3, 0}, {1, 8}, {4, 3}, {1, 16}, // 80h in nibbles
        {0, 14}};
    for (int i = 0; i < 40; ++i) attempt.emplace_back(1, 24);
    attempt.insert(attempt.end(), {{0, 13}, {1, 37}, {1, 8}, {1, 3}});
    EXPECT_NE(std::search(w.begin(), w.end(), attempt.begin(), attempt.end()), w.end());

    ASSERT_NE(Put("NIBBLE-1K-B"), nullptr);
    DeviceEnd = 0;
    StartTrace();
    Run(OpBlankCheck);
    w = NibbleWrites();
    const std::vector<std::pair<int, int>> read = {{0, 6}, {1, 0}, {4, 5}, {5, 3}, {1, 6}, {4, 1}, {1, 15},
                                                   {4, 1}, {0, 0}, {3, 0}, {1, 1}, {3, 0}, {1, 1},
                                                   {4, 3}, {0, 13}, {1, 2}, {1, 1}, {1, 1}};
    EXPECT_NE(std::search(w.begin(), w.end(), read.begin(), read.end()), w.end());

    // Row 174's Secure: ten pulses of one FFh attempt in the lock mode, then
    // the lock check with command 24 before and after the status read.
    StartTrace();
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    w = NibbleWrites();
    std::vector<std::pair<int, int>> lock = {{0, 4}, {1, 0}, {4, 5}, {5, 3}, {1, 6}, {4, 1}, {1, 15}};
    EXPECT_NE(std::search(w.begin(), w.end(), lock.begin(), lock.end()), w.end());
    lock = {{0, 14}};
    for (int i = 0; i < 10; ++i) lock.emplace_back(1, 6);
    EXPECT_NE(std::search(w.begin(), w.end(), lock.begin(), lock.end()), w.end());
    lock = {{0, 5}, {1, 0}, {4, 5}, {5, 3}, {1, 6}, {4, 1}, {1, 15}, {0, 13}, {1, 24}, {1, 24}, {4, 5}};
    EXPECT_NE(std::search(w.begin(), w.end(), lock.begin(), lock.end()), w.end());
}

// Addresses travel in 10 bits: the librarian refuses records of these rows
// past 1 KB, which would write over their first kilobyte.
TEST(NibbleRecords, RecordsPastOneKilobyteAreRefused) {
    InstallMcuAlgorithms();
    for (uint32_t row : {171u, 174u}) {
        const RowDef* def = RowDefinition(row);
        ASSERT_NE(def, nullptr) << row;
        EXPECT_EQ(RowRecordRefusal(*def, {.DeviceSize = 0x400, .Programs = true}), "") << row;
        EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x401, .Programs = true}).find("1024"), std::string::npos)
            << row;
        EXPECT_NE(RowRecordRefusal(*def, {.DeviceSize = 0x800}), "") << row;
    }
}

} // namespace
