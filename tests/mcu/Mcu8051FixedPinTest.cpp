// Rows 129, 187 and 197, whose high address byte is latched from the low
// address lines, row 104 with its mode codes and row 173 with its address counter, through the operation driver against the simulator's parts: the
// sample program, every protection level, identity, faults and traffic.
#include "engine/AlgorithmTable.h"
#include <algorithm>
#include <set>

#include "McuFixture.h"
#include "memory/PinWatch.h"

#include "mcu/Mcu8051Fixed.h"

namespace {

using sim::McuFunction;

constexpr const char* kMaker = "GENERIC-ALGORITHM";
constexpr uint32_t kSample = 0x400;

struct FixedPart {
    const char* name;
    uint32_t row;
    bool plcc;
};

const FixedPart kParts[] = {
    {"8051SL-4K", 129, false},    {"8051SL-8K", 129, false},    {"8051OTP-8K", 187, false},
    {"8051OTP-32K", 187, false},  {"8051OTP-A16K", 197, true}, {"8051OTP-A32K", 197, true},
    {"8051EC-4K", 173, false},    {"8051EC-8K", 173, false},    {"8051MC-8K", 104, false},
    {"8051MC-16K-2V", 104, false},
};

bool OnAdapter(const char* name) { return std::string(name).starts_with("8051OTP-A"); }

class FixedPinRows : public McuRun, public ::testing::WithParamInterface<FixedPart> {};

TEST_P(FixedPinRows, SampleProgramAndEveryProtectionLevel) {
    const FixedPart c = GetParam();
    sim::Mcu8051Chip* chip = SelectAndSeat(kMaker, c.name, c.plcc);
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(CurrentAlgorithm, c.row);
    RunSampleProgram(*chip, kSample);
    if (HasFatalFailure()) return;
    ExpectNoViolations();

    // Rows 187, 197: the lock-level dialog's level as one lock byte; row 173:
    // lock bit 1, or 1 and 2 by SecurityMode (row 104: security bits read
    // back set, a second Secure logs them and stops at once when both are);
    // row 129: SecurityMode 0 level 2, otherwise level 3, after which the
    // chip is refused with its level's line.
    const int levels = c.row == 187 || c.row == 197 ? 3 : 2;
    for (int level = 0; level < levels; ++level) {
        SCOPED_TRACE(level);
        chip = Reseat(kMaker, c.name, c.plcc);
        LockBitLevel = level;
        SecurityMode = static_cast<uint32_t>(level);
        const size_t from = ui.Log.size();
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        // Rows 173, 187 and 197 cannot read their lock bits: the log says so.
        const bool unread = c.row == 173 || c.row == 187 || c.row == 197;
        bool said = false;
        for (size_t i = from; i < ui.Log.size(); ++i)
            said = said || ui.Log[i] == " Lock bits written; this part has no lock read, so they were not read back.";
        EXPECT_EQ(said, unread) << LogText();
        DeviceEnd = 0xFF;
        if (c.row != 129) {
            for (int b = 1; b <= 3; ++b) EXPECT_EQ(chip->Locked(b), b <= level + 1) << b;
            FillPattern(0x100);
            EXPECT_EQ(Run(OpProgram), ResultFailed);
            EXPECT_EQ(chip->Cell(0), 0xFF);
            if (c.row != 104) continue;
            // Security bit 2 stops the part giving code: reads end at the
            // secured lines. Security bit 1 alone leaves it readable.
            if (level == 1) {
                ExpectReadsEndAtSecuredLine(" Device Secured!(Security bit 2)", 0x100);
            } else {
                EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
                EXPECT_FALSE(HasLine(" Device Secured!(Security bit 1)")) << LogText();
            }
            EXPECT_EQ(Run(OpSecurity), level == 0 ? ResultOk : ResultFailed) << LogText();
            EXPECT_TRUE(HasLine(" Device Secured!(Security bit 1)")) << LogText();
            EXPECT_EQ(HasLine(" Device Secured!(Security bit 2)"), level == 1) << LogText();
            continue;
        }
        EXPECT_EQ(chip->Locked(1), level == 0);
        EXPECT_EQ(chip->Locked(2), level == 1);
        ui.Clear();
        EXPECT_EQ(Run(OpRead), ResultFailed);
        EXPECT_TRUE(HasLine(level == 0 ? " Device secured!(Level 2)" : " Device secured!(Level 3)")) << LogText();
        for (const std::string& line : ui.Log) EXPECT_EQ(line.find("addr:"), std::string::npos) << LogText();
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, FixedPinRows, ::testing::ValuesIn(kParts));

TEST_F(McuRun, Row129IdentifiesItsSignatureOnlyAtLogicLevelVpp) {
    SelectAndSeat(kMaker, "8051SL-4K");
    PrepareDialog();
    EXPECT_EQ(AlgorithmTable[129].Identify(), 1);
    EXPECT_EQ(ChipMakerId, 0xDAu);
    EXPECT_EQ(ChipDeviceId, 0x29u);
    // The identity check before a run: a wrong device answered No stops it.
    ClearSocket();
    SeatWrongSignature(kMaker, "8051SL-4K");
    DeviceEnd = 0xFF;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), ResultFailed);
    EXPECT_TRUE(HasLine("Incorrect device ID.")) << LogText();
    ExpectNoViolations();
}

// ---- faults ---------------------------------------------------------------------------

TEST_F(McuRun, CellThatNeverProgramsOnTheFixedPinRows) {
    // Rows 187, 197 and 104 retry 20, 25 and 25 times (104: Retry pulses
    // each) and fail the step, row 173
    // fails after one attempt of Retry pulses; row 129 pulses once without a
    // read-back, so the verify of the program run finds it.
    struct Case {
        const char* name;
        int pulses;
        const char* line;
    };
    for (const Case c : {Case{"8051OTP-8K", 20, "Program error!"}, Case{"8051OTP-A16K", 25, "Program error!"},
                         Case{"8051EC-8K", 5, "Program error!"}, Case{"8051MC-8K", 25 * 5, "Program error!"},
                         Case{"8051SL-4K", 1, "Verification error!"}}) {
        SCOPED_TRACE(c.name);
        sim::Mcu8051Chip* chip = Reseat(kMaker, c.name, OnAdapter(c.name));
        DeviceEnd = 0x3F;
        Retry = 5;
        FillPattern(0x40);
        BufferWindow[0x12] = 0x00;
        chip->StickCell(0x12);
        EXPECT_EQ(Run(OpProgram), ResultFailed) << LogText();
        EXPECT_EQ(chip->PulsesOn(0x12), c.pulses);
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        EXPECT_TRUE(HasLine(ChipAddrLine(0x12)) || CurrentAlgorithm == 129) << LogText();

        // A blank buffer gives no pulse at all.
        chip = Reseat(kMaker, c.name, OnAdapter(c.name));
        DeviceEnd = 0x3F;
        FillBufferRange(0, 0x3F, 0xFF);
        EXPECT_EQ(Run(OpProgram), ResultOk);
        EXPECT_EQ(chip->Pulses(McuFunction::WriteCode), 0u);

        Reseat(kMaker, c.name, OnAdapter(c.name));
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        FillPattern(0x2000);
        DeviceEnd = 0x1FFF;
        EXPECT_EQ(Run(OpProgram), 3);
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    }
    ExpectNoViolations();
}

// ---- examples and traffic ---------------------------------------------------------------

TEST_F(McuRun, FixedPinRowsLatchTheHighByteAtTheFirstAddressAndEachBoundary) {
    // Row 173 clocks its counter up to the start instead.
    for (const auto& [name, start] :
         {std::pair{"8051OTP-8K", 0x1234u}, std::pair{"8051SL-8K", 0x1234u}, std::pair{"8051OTP-A16K", 0x1234u},
          std::pair{"8051EC-8K", 0x1234u}, std::pair{"8051EC-8K", 0x100u}, std::pair{"8051MC-16K-2V", 0x1234u}}) {
        SCOPED_TRACE(name);
        sim::Mcu8051Chip* chip = Reseat(kMaker, name, OnAdapter(name));
        FillPattern(DeviceSize);
        DeviceStart = start;
        DeviceEnd = start + 0xCC;
        BufferStart = start;
        StartTrace();
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a < DeviceSize; ++a)
            ASSERT_EQ(chip->Cell(a), a >= start && a <= DeviceEnd ? BufferByte(a) : 0xFF) << std::hex << a;
        const uint32_t before = chip->LatchStrobes();
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        // Per pass the first address and the next boundary; row 129's
        // identity check latches 00h once more, row 104's mode latch raises
        // the address latch once per power-up, and each pass of row 104
        // powers up twice (the security byte, then the code).
        const uint32_t strobes = CurrentAlgorithm == 173 ? 0 : CurrentAlgorithm == 104 ? 8 : CurrentAlgorithm == 129 ? 5 : 4;
        EXPECT_EQ(chip->LatchStrobes() - before, strobes);
        // Programmer register 12 at power-up: 1 on row 129, 2 on row 187,
        // never on the register-bus rows.
        std::set<uint32_t> reg12;
        for (const auto& r : simp.RegisterTrace()) {
            if (r.write && r.reg == 12 && r.value != 0) reg12.insert(r.value);
        }
        EXPECT_EQ(reg12, CurrentAlgorithm != 129 && CurrentAlgorithm != 187 ? std::set<uint32_t>{}
                                                 : std::set<uint32_t>{CurrentAlgorithm == 129 ? 1u : 2u});
    }
    ExpectNoViolations();
}

TEST_F(McuRun, RegisterBusSequences) {
    // Row 197: power-up walks the control lines 0Ah, 02h, 42h, 43h; each
    // program pulse arms the gate (5), strobes with C3h for the pulse width
    // and goes back to 43h and 7. Row 104: power-up 47h, the mode code taken
    // on 73h-63h, then 43h; each program cell gives Retry C2h pulses at
    // 12.7 V.
    struct Case {
        const char* name;
        bool plcc;
        uint32_t control, gateReg;
        std::vector<uint32_t> powerUp;
        uint32_t pulse, pulses;
        std::vector<std::pair<uint32_t, uint32_t>> refused;
    };
    const Case cases[] = {
        {"8051OTP-A16K", true, 4, 5, {0x0A, 0x02, 0x42, 0x43}, 0xC3, 15,
         {{1, 2}, {2, 4}, {3, 0x7F}, {4, 0x44}, {5, 6}, {6, 1}}},
        {"8051MC-8K", false, 3, 0, {0x47, 0x73, 0x63, 0x43}, 0xC2, 15 * 25,
         {{1, 0xA4}, {2, 0xFE}, {3, 0x44}, {4, 1}, {5, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        simp.ClearViolations();
        sim::Mcu8051Chip* chip = Reseat(kMaker, c.name, c.plcc);
        DeviceEnd = 0x0F;
        FillPattern(0x10);
        BufferWindow[3] = 0xFF;
        StartTrace();
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        std::vector<uint32_t> control, gate, modes;
        for (const auto& r : simp.RegisterTrace()) {
            if (r.write && r.reg == c.control) control.push_back(r.value);
            if (r.write && c.gateReg != 0 && r.reg == c.gateReg) gate.push_back(r.value);
            if (r.write && c.gateReg == 0 && (r.reg == 1 || r.reg == 2) && r.value != 0) modes.push_back(r.value);
        }
        const auto start = std::find(control.begin(), control.end(), c.powerUp[0]); // after the output reset
        ASSERT_GE(control.end() - start, 4);
        EXPECT_EQ(std::vector<uint32_t>(start, start + 4), c.powerUp);
        EXPECT_EQ(static_cast<uint32_t>(std::count(control.begin(), control.end(), c.pulse)), c.pulses);
        // Row 197 arms the gate for each pulse; row 104 writes FCh at
        // power-up, then the mode: the blank check before programming reads
        // the security byte (65h, FDh) first, then the code (A5h, FDh).
        EXPECT_EQ(static_cast<uint32_t>(std::count(gate.begin(), gate.end(), 5u)), c.gateReg != 0 ? c.pulses : 0u);
        modes.resize(std::min<size_t>(modes.size(), 6));
        EXPECT_EQ(modes, (c.gateReg != 0 ? std::vector<uint32_t>{}
                                         : std::vector<uint32_t>{0xFC, 0x65, 0xFD, 0xFC, 0xA5, 0xFD}));
        EXPECT_EQ(chip->Pulses(McuFunction::WriteCode), c.pulses);
        ExpectNoViolations();

        // The image takes only the values that have a meaning.
        for (const auto& [reg, value] : c.refused) {
            simp.ClearViolations();
            WriteRegister(reg, value);
            EXPECT_EQ(simp.Violations().size(), 1u) << reg << " " << value;
        }
    }
    // Row 104's image refuses a mode code outside the four as it latches it.
    simp.ClearViolations();
    for (const auto& [reg, value] : {std::pair{1u, 0x25u}, std::pair{2u, 0xFCu}, std::pair{3u, 0x73u}, std::pair{3u, 0x63u}})
        WriteRegister(reg, value);
    EXPECT_EQ(simp.Violations().size(), 1u);
}

TEST_F(McuRun, EncryptionTablesAndDecodedReads) {
    // The code first, then every entry but the FFh one (row 173 at its
    // counter address); row 104 writes its 16 entries whatever the table
    // size says. Reads decoded through the table give the plain bytes back.
    struct Case {
        const char* name;
        uint32_t entries, sizeWhileWriting;
    };
    for (const Case c : {Case{"8051EC-4K", 32, 32}, Case{"8051MC-8K", 16, 128}}) {
        SCOPED_TRACE(c.name);
        sim::Mcu8051Chip* chip = Reseat(kMaker, c.name, false);
        DeviceEnd = 0xFF;
        FillPattern(0x100);
        std::vector<uint8_t> image(0x100);
        for (uint32_t a = 0; a < 0x100; ++a) image[a] = BufferByte(a);
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t i = 0; i < 128; ++i) EncryptionTable[i] = static_cast<uint8_t>(i * 7 + 1);
        EncryptionTable[5] = 0xFF;
        const uint32_t size = EncryptionTableSize;
        EncryptionTableSize = c.sizeWhileWriting;
        ASSERT_EQ(Run(OpEncryption), ResultOk) << LogText();
        EncryptionTableSize = size;
        for (uint32_t i = 0; i < c.entries; ++i) EXPECT_EQ(chip->Table(i), EncryptionTable[i]) << i;
        EXPECT_EQ(chip->Pulses(McuFunction::WriteTable), (c.entries - 1) * Retry);
        EncryptionEnable = 1;
        FillBufferRange(0, 0xFF, 0);
        EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
        for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(BufferByte(a), image[a]) << std::hex << a;
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        ExpectNoViolations();
        EncryptionEnable = 0;
    }
    // Row 104 verifies each entry: one that never programs ends the writer.
    sim::Mcu8051Chip* chip = Reseat(kMaker, "8051MC-8K", false);
    chip->StickTableEntry(3);
    EXPECT_EQ(Run(OpEncryption), ResultFailed) << LogText();
    EXPECT_TRUE(HasLine("Encryption error!")) << LogText();
    EXPECT_EQ(chip->Table(2), EncryptionTable[2]);
    EXPECT_EQ(chip->Table(4), 0xFF);
    EXPECT_EQ(chip->Pulses(McuFunction::WriteTable), (3 + 25) * Retry);
}

TEST_F(McuRun, Row187HoldsEaAtVppForProgramAndSecureAnd5VForReads) {
    // EA/VPP (socket 35) rises once per power cycle to its level and leaves
    // it only at power-down, just before VCC (socket 44) falls.
    SelectAndSeat(kMaker, "8051OTP-8K");
    PinWatch watch({35, 44});
    simp.AttachComponent(&watch);
    DeviceEnd = 0x3F;
    FillPattern(0x40);
    const int vpp = static_cast<int>(Vpp / 10);
    // Program: blank check, program, verify at both supplies.
    for (const auto& [op, levels] : {std::pair{OpProgram, std::vector{50, vpp, 50, 50}},
                                     std::pair{OpSecurity, std::vector{vpp}}, std::pair{OpRead, std::vector{50}}}) {
        const uint64_t from = simp.NowUs();
        EXPECT_EQ(Run(op), ResultOk) << LogText();
        const auto ea = watch.Changes(35), vcc = watch.Changes(44);
        std::vector<int> held;
        for (size_t i = 1; i + 1 < ea.size(); ++i) {
            if (ea[i].us < from || ea[i].tenths < 45 || ea[i - 1].tenths >= 45) continue;
            held.push_back(ea[i].tenths);
            const auto fall = std::find_if(vcc.begin(), vcc.end(), [&](auto& v) { return v.us > ea[i + 1].us; });
            EXPECT_TRUE(fall != vcc.end() && fall->us - ea[i + 1].us < 200) << op << " left at " << ea[i + 1].us;
        }
        EXPECT_EQ(held, levels) << op;
    }
    simp.DetachComponent(&watch);
}

TEST_F(McuRun, Row187LockByteOfEachLevel) {
    for (int level = 0; level <= 2; ++level) EXPECT_EQ(LockLevelByte(level, 0xFC), 0xFEu - level);
    for (int level = 0; level <= 2; ++level) EXPECT_EQ(LockLevelByte(level, 0), 2u - level);
}

TEST_F(McuRun, Row104ProgramsAtItsOwnVoltageWhateverTheRecordsVpp) {
    // Row 104 pulses at a fixed 12.7 V; a record with another Vpp (one the
    // part's 12.5-13.0 V window does not take) programs all the same.
    sim::Mcu8051Chip* chip = Reseat("GENERIC-ALGORITHM", "8051MC-8K", false);
    ASSERT_NE(chip, nullptr);
    Vpp = 1400;
    DeviceEnd = 0xFF;
    FillPattern(0x100);
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    ExpectNoViolations();
}

TEST_F(McuRun, Row104SecureFailsWhenASecurityBitItAskedDoesNotTake) {
    // Mode 0 asks security bit 1, modes 1 and 2 bits 1 and 2: each asked bit
    // refused alone fails Secure with the other taking.
    for (uint32_t mode = 0; mode <= 2; ++mode) {
        const int asked = mode == 0 ? 1 : 2;
        for (int refused = 1; refused <= asked; ++refused) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " refused " << refused);
            sim::Mcu8051Chip* chip = Reseat(kMaker, "8051MC-16K", false);
            ASSERT_NE(chip, nullptr);
            chip->RefuseLock(refused);
            SecurityMode = mode;
            const size_t from = ui.Log.size();
            EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
            EXPECT_NE(std::find(ui.Log.begin() + static_cast<std::ptrdiff_t>(from), ui.Log.end(), "Security error!"),
                      ui.Log.end())
                << LogText();
            for (int b = 1; b <= 2; ++b) EXPECT_EQ(chip->Locked(b), b != refused && b <= asked) << b;
        }
    }
    ExpectNoViolations();
}

// Row 129 judges the bit of the level asked: level 3 over a part already at
// level 2 (its byte then reads 7Fh) fails when the level-3 cell refuses.
TEST_F(McuRun, Row129SecureFailsWhenTheLevelAskedDoesNotTake) {
    sim::Mcu8051Chip* chip = Reseat(kMaker, "8051SL-4K", false);
    ASSERT_NE(chip, nullptr);
    SecurityMode = 0;
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
    EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText(); // level 2 again reads programmed
    chip->RefuseLock(2);
    SecurityMode = 1;
    const size_t from = ui.Log.size();
    EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
    EXPECT_NE(std::find(ui.Log.begin() + static_cast<std::ptrdiff_t>(from), ui.Log.end(), "Security error!"),
              ui.Log.end())
        << LogText();
    EXPECT_TRUE(chip->Locked(1));
    EXPECT_FALSE(chip->Locked(2));
    ExpectNoViolations();
}

TEST_F(McuRun, Row129ReadDecodesThroughTheDialogsTable) {
    // Row 129's records give no array size: with decoding on, each byte
    // comes back XNORed with the dialog's table entry at the address modulo
    // the table's size; off, as the part holds it.
    sim::Mcu8051Chip* chip = Reseat(kMaker, "8051SL-4K", false);
    ASSERT_NE(chip, nullptr);
    DeviceEnd = 0xFF;
    FillPattern(0x100);
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t i = 0; i < 128; ++i) EncryptionTable[i] = static_cast<uint8_t>(i * 11 + 3);
    EncryptionTableSize = 32;
    EncryptionEnable = 1;
    FillBufferRange(0, 0xFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x100; ++a)
        ASSERT_EQ(BufferByte(a), static_cast<uint8_t>(~(EncryptionTable[a % 32] ^ chip->Cell(a)))) << std::hex << a;
    EncryptionEnable = 0;
    FillBufferRange(0, 0xFF, 0x5A);
    EXPECT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a < 0x100; ++a) ASSERT_EQ(BufferByte(a), chip->Cell(a)) << std::hex << a;
    ExpectNoViolations();
}

} // namespace
