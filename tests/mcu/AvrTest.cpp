// Rows 117 and 125 against the simulator's AT90S parts in the parallel
// programming mode: flash and EEPROM through the operation driver, the two
// lock modes and what a locked chip refuses, fuses, a wrong signature,
// starts above 0 with the byte-swap option, injected faults and user breaks.
#include "McuFixture.h"

#include "mcu/Avr.h"
#include "sim/AvrChip.h"

namespace {

class AvrParallelRun : public McuRun {
protected:
    void SetUp() override {
        McuRun::SetUp();
        ResetAvrState();
    }
    sim::AvrChip* PutAvr(const char* name, void (*change)(sim::AvrFacts&) = nullptr) {
        ClearSocket();
        EXPECT_TRUE(Select("ATMEL", name)) << name;
        const sim::AvrFacts* f = sim::FindFacts<sim::AvrFacts>("ATMEL", name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        sim::AvrFacts facts = *f;
        if (change != nullptr) change(facts);
        auto chip = std::make_unique<sim::AvrChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    // Flash then EEPROM in the buffer, a few blank bytes among them.
    static uint32_t AvrImageBytes(const sim::AvrChip& chip) { return DeviceEnd + 1 + chip.Part().eepromBytes; }
    void FillAvrImage(const sim::AvrChip& chip, uint32_t seed = 3) {
        const uint32_t n = AvrImageBytes(chip);
        FillPattern(n, seed);
        BufferWindow[4] = 0xFF;
        BufferWindow[DeviceEnd + 2] = 0xFF;
    }
    std::vector<uint8_t> AvrImage(const sim::AvrChip& chip) const {
        std::vector<uint8_t> image(AvrImageBytes(chip));
        for (uint32_t a = 0; a < image.size(); ++a) image[a] = BufferByte(a);
        return image;
    }
    static void ExpectChipHolds(const sim::AvrChip& chip, const std::vector<uint8_t>& image) {
        for (uint32_t a = 0; a < image.size(); ++a) ASSERT_EQ(chip.Cell(a), image[a]) << std::hex << a;
    }
};

class AvrParallelParts : public AvrParallelRun, public ::testing::WithParamInterface<const char*> {};

// Blank check, program, verify at both levels, read back equal; erase and a
// blank check; Secure in both lock modes, after which Read, Program and
// Secure stop with the lock line and touch nothing.
TEST_P(AvrParallelParts, ProgramsFlashAndEepromAndLocks) {
    sim::AvrChip* chip = PutAvr(GetParam());
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(DeviceEnd + 1, chip->Part().flashBytes);
    FillAvrImage(*chip);
    const std::vector<uint8_t> image = AvrImage(*chip);

    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    ExpectChipHolds(*chip, image);
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
    EXPECT_TRUE(HasLine(" VCCL(4.5V) Verification ok!") && HasLine(" VCCL(5.5V) Verification ok!")) << LogText();
    FillBufferRange(0, static_cast<uint32_t>(image.size() - 1), 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < image.size(); ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;

    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Erases(), 1u);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();

    const uint32_t row = CurrentAlgorithm;
    int& lockMode = row == 125 ? AvrLockMode125 : AvrLockMode;
    const char* const lines[2] = {" Device Secured!(Lock bit 1)", " Device Secured!(Lock bit 1 and 2)"};
    for (int mode : {0, 1}) {
        ASSERT_EQ(Run(OpErase), ResultOk) << LogText();
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        lockMode = mode;
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        EXPECT_EQ(chip->LastLockData(), mode == 0 ? 0xFD : 0xF9);
        EXPECT_EQ(chip->Locks() & 0x06, mode == 0 ? 0x04 : 0x00);
        for (int op : {OpRead, OpProgram, OpSecurity}) {
            const uint32_t writes = chip->Writes(), locks = chip->LockWrites();
            EXPECT_EQ(Run(op), ResultFailed) << op << LogText();
            EXPECT_TRUE(HasLine(lines[mode])) << op << LogText();
            EXPECT_EQ(chip->Writes(), writes);
            EXPECT_EQ(chip->LockWrites(), locks);
        }
    }
    // Erase clears the lock bits, not the fuses.
    const uint8_t fuses = chip->Fuses();
    EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_EQ(chip->Locks() & 0x06, 0x06);
    EXPECT_EQ(chip->Fuses(), fuses);
    EXPECT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(All, AvrParallelParts,
                         ::testing::Values("AT90S1200", "AT90S2313", "AT90S4414", "AT90S8515", "AT90S4434",
                                           "AT90S8535", "AT90S2333", "AT90S4433"));

} // namespace
