// The flash 8051 rows 105, 178, 193 and 106 through the operation driver
// against the simulator's parts: the sample program, erase, lock levels,
// identity, injected faults, the rows' examples and their traffic.
#include <algorithm>
#include <tuple>

#include "McuFixture.h"

#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/Power.h"
#include "engine/RowDef.h"
#include "engine/Tables.h"
#include "mcu/McuFrame.h"

namespace {

using sim::McuFunction;

constexpr uint32_t kMcuFlash8051Sample = 0x400; // the sample program fits the smallest part

struct FlashPart {
    const char* maker;
    const char* name;
    bool plcc;
    bool erases;
};

const FlashPart kMcuFlash8051Parts[] = {
    {"ATMEL", "AT89C51", false, true},
    {"ATMEL", "AT89C51-5V", false, true},
    {"ATMEL", "AT89C52-PLCC", true, true},
    {"GENERIC-ALGORITHM", "89C5x-V1", false, true},
    {"GENERIC-ALGORITHM", "89C5x-V2", false, true},
    {"ATMEL", "AT89C51RC", false, true},
    {"ATMEL", "AT89C51RC-PLCC", true, true},
    {"GENERIC-ALGORITHM", "89C5xRC-V0", false, true},
    {"GENERIC-ALGORITHM", "8051P1-44", true, false},
    {"ATMEL", "AT89C1051", false, true},
    {"ATMEL", "AT89C2051", false, true},
    {"ATMEL", "AT89C4051", false, true},
};

constexpr const char* kLockBit1Unread = " Lock bit 1 written; this part cannot read it back.";

class FlashRows : public McuRun, public ::testing::WithParamInterface<FlashPart> {};

TEST_P(FlashRows, SampleProgramEraseAndEveryLockLevel) {
    const FlashPart c = GetParam();
    sim::Mcu8051Chip* chip = SelectAndSeat(c.maker, c.name, c.plcc);
    ASSERT_NE(chip, nullptr);
    RunSampleProgram(*chip, kMcuFlash8051Sample);
    if (HasFatalFailure()) return;
    if (c.erases) {
        EXPECT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        EXPECT_TRUE(chip->IsBlank());
    }
    ExpectNoViolations();

    // Each level programs its lock bits (row 106: two levels), after which
    // the chip refuses programming.
    const bool row106 = CurrentAlgorithm == 106;
    for (int level = 0; level <= (row106 ? 1 : 2); ++level) {
        SCOPED_TRACE(level);
        chip = Reseat(c.maker, c.name, c.plcc);
        (row106 ? LockBitLevel106 : LockBitLevel) = level;
        EXPECT_EQ(Run(OpSecurity), ResultOk) << LogText();
        for (int b = 1; b <= 3; ++b) EXPECT_EQ(chip->Locked(b), b <= level + 1) << b;
        // A Secure that reads no lock back says so.
        const bool readsBack = CurrentAlgorithm == 193 || (CurrentAlgorithm == 105 && DeviceVariant == 1);
        EXPECT_EQ(HasLine(" Lock bits written; this part has no lock read, so they were not read back."), !readsBack)
            << LogText();
        // Row 105's lock byte reads back without lock bit 1.
        EXPECT_EQ(HasLine(kLockBit1Unread), CurrentAlgorithm == 105 && DeviceVariant == 1) << LogText();
        DeviceEnd = 0x3F;
        FillPattern(0x40);
        EXPECT_EQ(Run(OpProgram), ResultFailed);
        for (uint32_t a = 0; a < 0x40; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
    }
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Parts, FlashRows, ::testing::ValuesIn(kMcuFlash8051Parts));

// Row 105's lock byte (variant 1) reads back lock bits 2 (D1) and 3 (D0):
// either one a level writes, refused alone, fails Secure; lock bit 1 the
// part does not show, so a Secure whose lock bit 1 did not take passes with
// the line that says it was not read back.
TEST_F(McuRun, Row105LockByteFailsWhenALockBitItCanReadDidNotTake) {
    for (int level = 0; level <= 2; ++level) {
        for (int refused = 1; refused <= level + 1; ++refused) {
            SCOPED_TRACE(testing::Message() << "level " << level << " refused " << refused);
            sim::Mcu8051Chip* chip = Reseat("GENERIC-ALGORITHM", "89C5x-V1", false);
            ASSERT_NE(chip, nullptr);
            chip->RefuseLock(refused);
            LockBitLevel = level;
            const bool seen = refused != 1;
            const size_t from = ui.Log.size();
            EXPECT_EQ(Run(OpSecurity), seen ? ResultFailed : ResultOk) << LogText();
            const auto said = [&](const char* line) {
                return std::find(ui.Log.begin() + static_cast<std::ptrdiff_t>(from), ui.Log.end(), line) != ui.Log.end();
            };
            EXPECT_EQ(said("Security error!"), seen) << LogText();
            EXPECT_EQ(said(kLockBit1Unread), !seen) << LogText();
            for (int b = 1; b <= 3; ++b) EXPECT_EQ(chip->Locked(b), b != refused && b <= level + 1) << b;
        }
    }
    ExpectNoViolations();
}

// ---- identity ------------------------------------------------------------------------

TEST_F(McuRun, Row193ChecksItsSignatureOncePerRun) {
    // Answered Yes: the run goes on without the lock line and checks nothing
    // more; answered No: -1 at once.
    sim::Mcu8051Chip* chip = SeatWrongSignature("GENERIC-ALGORITHM", "8051P1-44", true);
    LockBitLevel = 0;
    ASSERT_EQ(Run(OpSecurity), ResultOk); // the Secure power-up asks, Yes by default
    ASSERT_TRUE(chip->Locked(1));
    ui.Clear();
    DeviceEnd = 0xFF;
    FillPattern(0x100);
    ui.QueueAnswer(UiAnswer::Yes);
    EXPECT_EQ(Run(OpAuto), ResultFailed); // the locked chip refuses programming
    EXPECT_EQ(std::count(ui.Log.begin(), ui.Log.end(), " Incorrect device ID."), 1) << LogText();
    EXPECT_FALSE(HasLine(" Device secured!(Lock Bit 1)"));
    EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{"Device Signature dose not match. Continue?"});
    ui.Clear();
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpBlankCheck), ResultFailed);
    EXPECT_TRUE(HasLine(" Incorrect device ID.")) << LogText();
}

// Another part of the row seated: answered No, Verify, Program and Blank
// check end at the row's line, nothing programmed; Yes goes on and programs.
TEST_F(McuRun, Row193AnotherPartsIdentityEndsTheRunAtItsLine) {
    const RowDef* def = RowDefinition(193);
    ASSERT_TRUE(def != nullptr && def->ChecksIdentity != nullptr && def->ChecksIdentity());
    sim::Mcu8051Chip* chip = SelectAndSeat("GENERIC-ALGORITHM", "8051P1-44", true);
    ASSERT_NE(chip, nullptr);
    chip->AnswerAnotherIdentity();
    DeviceEnd = 0xFF;
    FillPattern(0x100);
    ExpectIdentityRefused(" Incorrect device ID.", true, [&] { EXPECT_TRUE(chip->IsBlank()); });
    EXPECT_EQ(Run(OpProgram), ResultOk) << LogText(); // Yes by default
    EXPECT_EQ(chip->Cell(0x10), BufferByte(0x10));
    ExpectNoViolations();
}

TEST_F(McuRun, LockStateIsLoggedAsInformation) {
    // Row 193 on Read, row 195 on Blank Check; not while securing. Lock bit
    // 1 alone stops programming only: the read goes on. Lock bit 2 and up
    // stop the part giving code: row 193, and row 105 variant 1 whose lock
    // byte shows lock bits 2 and 3, end Read, Blank check and Verify at the
    // line.
    for (const auto& [maker, name, plcc, op] : {std::tuple{"GENERIC-ALGORITHM", "8051P1-44", true, OpRead},
                                                std::tuple{"ATMEL", "AT89C55", false, OpBlankCheck},
                                                std::tuple{"GENERIC-ALGORITHM", "89C5x-V1", false, OpRead}}) {
        for (int level = 0; level <= 2; ++level) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(level));
            Reseat(maker, name, plcc);
            LockBitLevel = level;
            SecurityMode = static_cast<uint32_t>(level);
            ASSERT_EQ(Run(OpSecurity), ResultOk) << LogText();
            EXPECT_FALSE(HasLine(kLockLines[level]));
            DeviceEnd = 0xFF;
            if (op == OpRead && level > 0) {
                ExpectReadsEndAtSecuredLine(kLockLines[level], 0x100);
                continue;
            }
            Run(op);
            // Row 105's lock byte does not show lock bit 1.
            EXPECT_EQ(HasLine(kLockLines[level]), CurrentAlgorithm != 105) << LogText();
            EXPECT_TRUE(op != OpRead || HasLine("Read ok!")) << LogText();
        }
    }
}

// ---- faults ---------------------------------------------------------------------------

TEST_F(McuRun, ReadyNeverRisingOrCellReadingWrongFailsTheCell) {
    // A ready line that never rises fails the first cell it pulses; a cell
    // reading back wrong fails without a retry.
    for (const char* name : {"AT89C52", "AT89C51RC", "AT89C2051"}) {
        for (const bool stuckReady : {true, false}) {
            if (!stuckReady && std::string(name) == "AT89C2051") continue;
            SCOPED_TRACE(std::string(name) + (stuckReady ? " ready" : " cell"));
            sim::Mcu8051Chip* chip = Reseat("ATMEL", name);
            DeviceEnd = 0x3F;
            FillPattern(0x40);
            if (stuckReady) {
                BufferWindow[0] = 0xFF; // a blank byte first: no pulse, no wait
                chip->StickReady();
            } else {
                chip->StickCell(0x12);
            }
            EXPECT_EQ(Run(OpProgram), ResultFailed);
            EXPECT_TRUE(HasLine("Program error!")) << LogText();
            if (stuckReady) {
                EXPECT_TRUE(HasLine(ChipAddrLine(1))) << LogText();
                EXPECT_EQ(chip->Pulses(McuFunction::WriteCode), 1u);
            } else {
                EXPECT_TRUE(HasLine("  Chip addr: 000012h  data: 00FFh")) << LogText();
                EXPECT_EQ(chip->PulsesOn(0x12), 1);
                EXPECT_EQ(chip->PulsesOn(0x13), 0);
            }
        }
    }
}

TEST_F(McuRun, EraseLeavingCellsIsFoundByTheBlankCheck) {
    for (const char* name : {"AT89C52", "AT89C51RC", "AT89C2051"}) {
        SCOPED_TRACE(name);
        sim::Mcu8051Chip* chip = Reseat("ATMEL", name);
        chip->SetCell(0x40, 0x12);
        chip->SetErasePulsesNeeded(3);
        DeviceEnd = 0xFF;
        EXPECT_EQ(Run(OpErase), ResultFailed);
        EXPECT_TRUE(HasLine("Erase error!")) << LogText();
        EXPECT_EQ(chip->Cell(0x40), 0x12);
        EXPECT_EQ(chip->ErasePulses(), CurrentAlgorithm == 178 ? 2u : 1u);
    }
}

TEST_F(McuRun, SecureFailsWhenTheLockBitsDoNotTake) {
    // A part whose lock bits refuse to program: Secure reads them back and
    // fails on every row that checks, at every level it offers.
    for (const auto& [maker, name] : {std::pair{"ATMEL", "AT89C55"}, std::pair{"GENERIC-ALGORITHM", "8051P1-44"},
                                      std::pair{"GENERIC-ALGORITHM", "89C5x-V1"}}) {
        for (int level : {0, 1, 2}) {
            SCOPED_TRACE(std::string(name) + " level " + std::to_string(level));
            sim::Mcu8051Chip* chip = Reseat(maker, name, std::string(name) == "8051P1-44");
            ASSERT_NE(chip, nullptr);
            chip->RefuseLocks();
            LockBitLevel = level;
            SecurityMode = static_cast<uint32_t>(level);
            // Row 105 variant 1 at level 0 expects the two low bits 11b, which
            // an unlocked chip reads too.
            if (CurrentAlgorithm == 105 && level == 0) continue;
            EXPECT_EQ(Run(OpSecurity), ResultFailed) << LogText();
            EXPECT_FALSE(chip->Locked(1));
        }
    }
    LockBitLevel = 0;
    SecurityMode = 0;
}

TEST_F(McuRun, Row105Variant1LockByteNotReadingBackIsASecurityError) {
    SelectAndSeat("GENERIC-ALGORITHM", "89C5x-V1")->RefuseLocks();
    // Level 0 expects the two low bits 11b, which an unlocked chip reads too.
    for (int level : {1, 2}) {
        LockBitLevel = level;
        EXPECT_EQ(Run(OpSecurity), ResultFailed);
        EXPECT_TRUE(HasLine("Security error!")) << LogText();
    }
}

TEST_F(McuRun, UserBreakAndForeignPackagesOfTheFlashRows) {
    for (const auto& [maker, name] : {std::pair{"ATMEL", "AT89C52"}, std::pair{"ATMEL", "AT89C51RC"},
                                      std::pair{"ATMEL", "AT89C4051"}, std::pair{"GENERIC-ALGORITHM", "8051P1-44"},
                                      std::pair{"INTEL", "87C51"}}) {
        SCOPED_TRACE(name);
        ui.Clear();
        Reseat(maker, name, std::string(name) == "8051P1-44");
        FillPattern(DeviceSize);
        DeviceEnd = std::min<uint32_t>(DeviceSize, 0x2000) - 1;
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpProgram), 3);
        EXPECT_TRUE(HasLine("USER BREAK!")) << LogText();
    }
    for (const auto& [maker, name] : {std::pair{"ATMEL", "AT89C52"}, std::pair{"ATMEL", "AT89C51RC"},
                                      std::pair{"ATMEL", "AT89C52-12"}, std::pair{"GENERIC-ALGORITHM", "8051CC-80"}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(Select(maker, name));
        PackageIndex = 27; // 42-pin DIP
        StartTrace();
        for (int op : {OpProgram, OpRead, OpErase, OpSecurity}) {
            if (op == OpErase && CurrentAlgorithm == 107) continue; // the row has no erase
            ui.QueueAnswer(UiAnswer::Yes); // Identify could not read the chip
            EXPECT_EQ(Run(op), ResultFailed) << op;
            EXPECT_TRUE(HasLine(" Package of 42 pins not supported (40 or 44 pins).")) << LogText();
        }
        EXPECT_EQ(DatumLines(), "");
        ExpectNoPowerUp();
    }
}

TEST_F(McuRun, RangesOffTheStartReachTheirCells) {
    struct Case {
        const char* maker;
        const char* name;
        uint32_t start, end;
    };
    for (const Case c :
         {Case{"ATMEL", "AT89C52", 0x1234, 0x1300}, Case{"ATMEL", "AT89C51RC", 0x1234, 0x1300},
          Case{"GENERIC-ALGORITHM", "8051P1-44", 0x1234, 0x1300}, Case{"ATMEL", "AT89C2051", 0x100, 0x17F}}) {
        SCOPED_TRACE(c.name);
        sim::Mcu8051Chip* chip = Reseat(c.maker, c.name, std::string(c.name) == "8051P1-44");
        ASSERT_NE(chip, nullptr);
        FillPattern(DeviceSize);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.start;
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a < DeviceSize; ++a)
            ASSERT_EQ(chip->Cell(a), a >= c.start && a <= c.end ? BufferByte(a) : 0xFF) << std::hex << a;
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        chip->SetCell(c.start, static_cast<uint8_t>(~chip->Cell(c.start)));
        EXPECT_EQ(Run(OpVerify), ResultFailed);
    }
    ExpectNoViolations();
}

// ---- examples and traffic ---------------------------------------------------------------

// Supply-A connections of a socket pin in the register trace.
int Connections(const sim::SimProgrammer& simp, int socketPin) {
    const SupplyPinAEntry e = SupplyPinTableA[static_cast<size_t>(socketPin)];
    int n = 0;
    bool on = false;
    for (const auto& r : simp.RegisterTrace()) {
        if (!r.write || r.reg != e.reg) continue;
        const bool now = (r.value & e.mask) != 0;
        n += now && !on;
        on = now;
    }
    return n;
}

int PowerUps(const sim::SimProgrammer& simp) {
    int n = 0;
    for (const auto& r : simp.RegisterTrace()) n += r.write && r.reg == 12 && r.value == 1;
    return n;
}

// Row 105 by variant and the byte at 32h; row 178 keeps EA/VPP on supply A at
// 5.0 V from power-up and raises the DAC for each pulse.
TEST_F(McuRun, ProgrammingVoltageOnEaVppByRowAndVariant) {
    struct Case {
        const char* maker;
        const char* name;
        int programConnects, eraseConnects; // per four non-blank bytes, per erase; -1 once per power-up
    };
    for (const Case c :
         {Case{"ATMEL", "AT89C51", 4, 1}, Case{"ATMEL", "AT89C51-5V", 0, 0},
          Case{"GENERIC-ALGORITHM", "89C5x-V2", 4, 0}, Case{"GENERIC-ALGORITHM", "89C5x-V1", -1, -1},
                         Case{"ATMEL", "AT89C51RC", -1, -1}}) {
        SCOPED_TRACE(c.name);
        sim::Mcu8051Chip* chip = Reseat(c.maker, c.name);
        DeviceEnd = 5;
        FillPattern(6);
        BufferWindow[1] = BufferWindow[4] = 0xFF;
        StartTrace();
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        EXPECT_EQ(Connections(simp, 35), c.programConnects < 0 ? PowerUps(simp) : c.programConnects);
        EXPECT_EQ(chip->Pulses(McuFunction::WriteCode), 4u);
        simp.ClearTrace();
        ASSERT_EQ(Run(OpErase), ResultOk) << LogText();
        EXPECT_EQ(Connections(simp, 35), c.eraseConnects < 0 ? PowerUps(simp) : c.eraseConnects);
        EXPECT_TRUE(chip->IsBlank());
    }
    ExpectNoViolations();
}

TEST_F(McuRun, LockLevelsGiveOneTwoOrThreePulses) {
    struct Case {
        const char* maker;
        const char* name;
        bool plcc;
    };
    for (const Case c : {Case{"ATMEL", "AT89C51", false}, Case{"ATMEL", "AT89C51RC", false},
                         Case{"GENERIC-ALGORITHM", "8051P1-44", true}, Case{"GENERIC-ALGORITHM", "89C5x-V1", false}}) {
        for (int level = 0; level <= 2; ++level) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(level));
            sim::Mcu8051Chip* chip = Reseat(c.maker, c.name, c.plcc);
            LockBitLevel = level;
            ASSERT_EQ(Run(OpSecurity), ResultOk) << LogText();
            const uint32_t per = CurrentAlgorithm == 193 ? Retry : 1;
            const uint32_t pulses[3] = {chip->Pulses(McuFunction::Lock1), chip->Pulses(McuFunction::Lock2),
                                        chip->Pulses(McuFunction::Lock3)};
            if (std::string(c.name) == "89C5x-V1") { // row 105 variant 1 writes one lock byte
                EXPECT_EQ(chip->Pulses(McuFunction::LockByte), 1u);
                continue;
            }
            for (int b = 0; b < 3; ++b) EXPECT_EQ(pulses[b], b <= level ? per : 0u) << b;
        }
    }
    ExpectNoViolations();
}

TEST_F(McuRun, Row178ErasesInTwoPowerCyclesAt6V5) {
    sim::Mcu8051Chip* chip = SelectAndSeat("ATMEL", "AT89C51RC");
    chip->SetCell(0x7FFF, 0);
    DeviceEnd = 0xFF;
    StartTrace();
    ASSERT_EQ(Run(OpErase), ResultOk) << LogText();
    EXPECT_TRUE(chip->IsBlank());
    ASSERT_EQ(chip->ErasePulseWidths().size(), 2u);
    for (uint64_t w : chip->ErasePulseWidths()) EXPECT_GE(w, 150000u);
    EXPECT_EQ(chip->EraseVcc(), (std::vector<int>{65, 65}));
    // Register 12 up and down: Identify, two erase cycles, the blank check.
    EXPECT_EQ(PowerUps(simp), 4);
    // At the programming VCC the chip does not erase.
    sim::Mcu8051Facts f = Facts("ATMEL", "AT89C51RC");
    f.highVccMinTenths = 70;
    ClearSocket();
    chip = Seat(f);
    chip->SetCell(0, 0);
    DeviceEnd = 0xFF;
    EXPECT_EQ(Run(OpErase), ResultFailed);
    ExpectNoViolations();
}

TEST_F(McuRun, Row178LockPulseWidthByVariant) {
    for (const auto& [maker, name, width] :
         {std::tuple{"ATMEL", "AT89C51RC", 100}, std::tuple{"GENERIC-ALGORITHM", "89C5xRC-V0", 100000}}) {
        SCOPED_TRACE(name);
        sim::Mcu8051Chip* chip = Reseat(maker, name);
        LockBitLevel = 2;
        ASSERT_EQ(Run(OpSecurity), ResultOk);
        EXPECT_EQ(LockPulseWidth178, width);
        EXPECT_TRUE(chip->Locked(3));
    }
    // The 100 ms part given 100 us pulses keeps its lock bits clear.
    ClearSocket();
    ASSERT_TRUE(Select("ATMEL", "AT89C51RC"));
    sim::Mcu8051Chip* chip = Seat(Facts("GENERIC-ALGORITHM", "89C5xRC-V0"));
    ASSERT_EQ(Run(OpSecurity), ResultOk);
    EXPECT_FALSE(chip->Locked(1));
}

TEST_F(McuRun, SocketLayoutFollowsThePackage) {
    struct Case {
        const char* name;
        bool plcc;
        uint32_t p10, ea;
    };
    for (const Case c : {Case{"AT89C52", false, 5, 35}, Case{"AT89C52-PLCC", true, 4, 37},
                         Case{"AT89C51RC", false, 5, 35}, Case{"AT89C51RC-PLCC", true, 4, 37}}) {
        SCOPED_TRACE(c.name);
        Reseat("ATMEL", c.name, c.plcc);
        DeviceEnd = 0xF;
        ASSERT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        EXPECT_EQ(McuPinMap[McuP1_0], c.p10);
        EXPECT_EQ(McuPinMap[McuEaVpp], c.ea);
    }
}

TEST_F(McuRun, Row193PulseTrainsAt10V7WhenByte60hIs4) {
    // The part takes 10.2-11.2 V; the record says 12.0 V.
    sim::Mcu8051Chip* chip = SelectAndSeat("GENERIC-ALGORITHM", "8051P1-44", true);
    DeviceEnd = 0x1F;
    FillPattern(0x20);
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0; a <= 0x1F; ++a) EXPECT_EQ(chip->PulsesOn(a), 5) << a;
    ExpectNoViolations();
    // Another byte at 60h: the device's Vpp.
    ClearSocket();
    sim::Mcu8051Facts f = Facts("GENERIC-ALGORITHM", "8051P1-44");
    f.signature[2].second = 0x01;
    f.vppMinTenths = 115;
    f.vppMaxTenths = 125;
    chip = Seat(f, true);
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Cell(0x1F), BufferByte(0x1F));
    ExpectNoViolations();
}

TEST_F(McuRun, Row106CountsAddressesAndSkipsBlankBytes) {
    sim::Mcu8051Chip* chip = SelectAndSeat("ATMEL", "AT89C2051");
    DeviceEnd = 0x3F;
    FillPattern(0x40);
    for (uint32_t a : {0u, 7u, 8u, 0x3Fu}) BufferWindow[a] = 0xFF;
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    EXPECT_EQ(chip->Pulses(McuFunction::WriteCode), 0x40u - 4);
    for (uint32_t a = 0; a < 0x40; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(a)) << std::hex << a;
    EXPECT_EQ(chip->Counter(), 0x3Fu);
    EXPECT_EQ(ProgressStep, 16u);
    // Securing at level 0 and 1.
    for (int level : {0, 1}) {
        chip = Reseat("ATMEL", "AT89C2051");
        LockBitLevel106 = level;
        ASSERT_EQ(Run(OpSecurity), ResultOk);
        EXPECT_EQ(chip->Pulses(McuFunction::Lock1), 1u);
        EXPECT_EQ(chip->Pulses(McuFunction::Lock2), level == 1 ? 1u : 0u);
    }
    ExpectNoViolations();
}

} // namespace
