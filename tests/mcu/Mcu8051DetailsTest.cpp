// Row details of the 8051 family: row 196's erase, identity checks, the
// dialog routines, injected faults, the examples of the rows and their
// register and pulse traffic.
#include <tuple>

#include "McuFixture.h"

#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/Pins.h"
#include "engine/Power.h"
#include "mcu/McuFrame.h"

namespace {

using sim::McuFunction;

// ---- row 196 erase ------------------------------------------------------------------

TEST_F(McuRun, Row196EraseProgramsAllThenErasesUntilBlank) {
    struct Case {
        int erasesNeeded; // erase pulses before the array clears
        int result;
        size_t pulses; // erase pulses in all
    };
    // Pulses: one at the start, one after programming all, one per pass, the
    // final 240 ms one.
    for (const Case c : {Case{1, ResultOk, 4}, Case{5, ResultOk, 6}, Case{1000, ResultFailed, 53}}) {
        SCOPED_TRACE(c.erasesNeeded);
        sim::Mcu8051Chip* chip = Reseat("ATMEL", "AT89C52-12");
        chip->SetCell(5, 0x12);
        chip->SetErasePulsesNeeded(c.erasesNeeded);
        EXPECT_EQ(Run(OpErase), c.result) << LogText();
        EXPECT_TRUE(HasLine(" Program all ok!"));
        EXPECT_TRUE(HasLine(c.result == ResultOk ? "Erase ok!" : "Erase error!"));
        EXPECT_EQ(chip->ErasePulses(), c.pulses);
        const auto& w = chip->ErasePulseWidths();
        EXPECT_EQ(std::count_if(w.begin(), w.end(), [](uint64_t us) { return us >= 240000; }), 1);
        EXPECT_EQ(w.back() >= 240000, true);
        EXPECT_EQ(chip->IsBlank(), c.result == ResultOk);
    }
    ExpectNoViolations();
}

TEST_F(McuRun, Row196KeepsIdentifysVoltageChoiceForTheRun) {
    // The 5 V part reads 05h at 32h: every pulse of the run stays at 5.0 V,
    // program, encryption and lock pulses alike.
    sim::Mcu8051Chip* chip = SelectAndSeat("ATMEL", "AT89C52-5");
    DeviceEnd = 0xFF;
    FillPattern(0x100);
    EncryptionTable[0] = 0x33;
    for (int op : {OpProgram, OpEncryption, OpSecurity}) EXPECT_EQ(Run(op), ResultOk) << LogText();
    EXPECT_EQ(chip->Table(0), 0x33);
    EXPECT_TRUE(chip->Locked(2));
    ExpectNoViolations();
}

// ---- identity ------------------------------------------------------------------------

TEST_F(McuRun, WrongSignatureIsReportedAndAnsweredNo) {
    struct Case {
        const char* name;
        int op;
        const char* line; // nullptr: no identity compared, the run goes on
    };
    const char* secured = "Device secured or incorrect device.";
    for (const Case c : {Case{"AT89C55", OpRead, "Incorrect device ID."}, Case{"AT89C52-12", OpRead, secured},
                         Case{"AT89C52-12", OpErase, nullptr}, Case{"AT89C52", OpRead, secured},
                         Case{"AT89C52", OpErase, nullptr}, Case{"AT89C52", OpAuto, nullptr},
                         Case{"AT89C2051", OpRead, secured}, Case{"AT89C2051", OpErase, nullptr},
                         Case{"AT89C51RC", OpRead, "Incorrect device ID."},
                         Case{"AT89C51RC", OpErase, "Incorrect device ID."}}) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.op));
        ClearSocket();
        ui.Clear();
        SeatWrongSignature("ATMEL", c.name);
        DeviceEnd = 0xFF;
        ui.QueueAnswer(UiAnswer::No);
        const int r = Run(c.op);
        EXPECT_EQ(r, c.line ? ResultFailed : ResultOk) << LogText();
        EXPECT_EQ(HasLine(secured) || HasLine("Incorrect device ID."), c.line != nullptr) << LogText();
        EXPECT_TRUE(!c.line || HasLine(c.line)) << LogText();
    }
}

// ---- dialog routines ------------------------------------------------------------------

TEST_F(McuRun, Row100SignatureAndOptionRegister) {
    ASSERT_TRUE(Select("INTEL", "87C51FA"));
    sim::Mcu8051Facts f = Facts("INTEL", "87C51FA");
    f.optionRegister = true;
    sim::Mcu8051Chip* chip = Seat(f);
    PrepareDialog();
    OptionRegister = 0x5A;
    EXPECT_EQ(ProgramOptionRegister100(), 1);
    EXPECT_EQ(chip->OptionRegister(), 0x5A);
    EXPECT_TRUE(HasLine("Program Option Register ok!"));
    OptionRegister = 0;
    EXPECT_EQ(ReadOptionRegister100(), 1);
    ExpectLinesInOrder({"Manufacturer    : 89", "Model           : 58", "Extension       : FA",
                        "Option Register : 5A"});
    EXPECT_EQ(OptionRegister, 0x5A);
    ExpectNoViolations();
}

TEST_F(McuRun, Row107ConfigurationBytesAndLockLines) {
    for (const auto& [name, configPulses] : {std::pair{"8051CC-80", 50u}, std::pair{"8051CC-FFF8", 2u}}) {
        SCOPED_TRACE(name);
        sim::Mcu8051Chip* chip = Reseat("GENERIC-ALGORITHM", name);
        PrepareDialog();
        ConfigBytes[0] = 0xA5;
        ConfigBytes[1] = 0x3C;
        EXPECT_EQ(ProgramConfigBytes107(), 1);
        EXPECT_TRUE(HasLine("Configuration Bytes Program ok!"));
        EXPECT_EQ(chip->Config(0), 0xA5);
        EXPECT_EQ(chip->Config(1), 0x3C);
        EXPECT_EQ(chip->Pulses(McuFunction::WriteConfig), configPulses);
        ConfigBytes[0] = ConfigBytes[1] = 0;
        EXPECT_EQ(ReadConfigBytes107(), 1);
        EXPECT_EQ(ConfigBytes[0], 0xA5);
        ExpectLinesInOrder({"Config 0     : A5h", "Config 1     : 3Ch", "Lock Bits    : Device not secured."});
    }
    const char* lines[3] = {"Lock Bits    : Lock Bit 1 Locked", "Lock Bits    : Lock Bits 1 and 2 Locked",
                            "Lock Bits    : Lock Bit 1,2 and 3 Locked"};
    for (uint32_t mode = 0; mode <= 2; ++mode) {
        Reseat("GENERIC-ALGORITHM", "8051CC-80");
        SecurityMode = mode;
        ASSERT_EQ(Run(OpSecurity), ResultOk);
        PrepareDialog();
        ReadConfigBytes107();
        EXPECT_TRUE(HasLine(lines[mode])) << LogText();
    }
    ExpectNoViolations();
}

TEST_F(McuRun, Row107LockByteOfNoLevelLogsNothing) {
    for (uint8_t lockBits : {2, 4, 5, 6}) {
        ClearSocket();
        ASSERT_TRUE(Select("GENERIC-ALGORITHM", "8051CC-80"));
        sim::Mcu8051Facts f = Facts("GENERIC-ALGORITHM", "8051CC-80");
        // The lock byte reads as its bits: wire them so the programmed set
        // reads lockBits.
        f.lockReadBits = {lockBits & 1 ? 0 : 5, lockBits & 2 ? 1 : 6, lockBits & 4 ? 2 : 7};
        sim::Mcu8051Chip* chip = Seat(f);
        SecurityMode = 2;
        // Secure reads the lock byte back, which does not show all three.
        ASSERT_EQ(Run(OpSecurity), ResultFailed);
        ASSERT_TRUE(chip->Locked(3));
        PrepareDialog();
        ReadConfigBytes107();
        for (const auto& l : Log()) EXPECT_EQ(l.rfind("Lock Bits", 0), std::string::npos) << l;
    }
}

// ---- faults and refusals --------------------------------------------------------------------

TEST_F(McuRun, CellNeverProgrammingGetsTwentyFiveAttemptsOfRetryPulses) {
    // Row 100 with Retry 5; row 193 with its record's pulse count, 5.
    for (const auto& [maker, name, plcc, needed] :
         {std::tuple{"INTEL", "87C51", false, 13}, std::tuple{"GENERIC-ALGORITHM", "8051P1-44", true, 12}}) {
        SCOPED_TRACE(name);
        sim::Mcu8051Chip* chip = Reseat(maker, name, plcc);
        EXPECT_TRUE(CurrentAlgorithm != 193 || Retry == 5u) << Retry;
        Retry = 5;
        DeviceEnd = 0x3F;
        FillPattern(0x40);
        chip->StickCell(0x21);
        chip->SetPulsesNeeded(0x10, needed); // three attempts of 5
        EXPECT_EQ(Run(OpProgram), ResultFailed);
        EXPECT_TRUE(HasLine("Program error!")) << LogText();
        EXPECT_TRUE(HasLine("  Chip addr: 000021h  data: 00FFh")) << LogText();
        EXPECT_EQ(chip->PulsesOn(0x21), 25 * 5);
        EXPECT_EQ(chip->PulsesOn(0x10), 15);
        EXPECT_EQ(chip->PulsesOn(0x11), 5);
        EXPECT_EQ(chip->Cell(0x10), BufferByte(0x10));
    }
}

// ---- examples -------------------------------------------------------------------------

TEST_F(McuRun, BlankBufferAndBlankTableGiveNoPulse) {
    sim::Mcu8051Chip* chip = SelectAndSeat("INTEL", "87C51");
    EXPECT_EQ(Run(OpProgram), ResultOk);
    EXPECT_EQ(Run(OpEncryption), ResultOk);
    EXPECT_EQ(chip->Pulses(McuFunction::WriteCode) + chip->Pulses(McuFunction::WriteTable), 0u);
}

TEST_F(McuRun, SixteenByteTableRepeatsOverTheWholeChip) {
    ASSERT_TRUE(Select("INTEL", "87C51FC"));
    // A part with a 16-entry array, as its record's page says.
    PageSize = 16;
    sim::Mcu8051Facts f = Facts("INTEL", "87C51FC");
    f.tableBytes = 16;
    sim::Mcu8051Chip* chip = Seat(f);
    DeviceEnd = 0x7FF;
    FillPattern(DeviceEnd + 1);
    for (uint32_t a = 0; a <= DeviceEnd; ++a) chip->SetCell(a, BufferByte(a));
    for (uint32_t i = 0; i < 16; ++i) EncryptionTable[i] = static_cast<uint8_t>(0x11 * i);
    EncryptionTableSize = 16;
    ASSERT_EQ(Run(OpEncryption), ResultOk);
    EncryptionEnable = 1;
    EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
}

TEST_F(McuRun, Row123OnTheAdapterWithFlag100hSkipsSocketPin14) {
    ASSERT_TRUE(Select("SIEMENS", "C501-1E"));
    AdapterCode = 'R';
    DeviceFlags |= 0x100;
    PackageIndex = 144;
    Seat(Facts("SIEMENS", "C501-1E"), true);
    DeviceEnd = 0xFF;
    ASSERT_EQ(Run(OpBlankCheck), ResultOk);
    EXPECT_EQ(McuPinMap[McuP1_0], 13u);
    EXPECT_EQ(McuPinMap[McuP1_0 + 1], 15u);
    EXPECT_EQ(GroupPin(0, 0), 13);
    EXPECT_EQ(GroupPin(0, 1), 15);
}

TEST_F(McuRun, Row107WritesItsTableAndLeavesTheRestOfItsArrayErased) {
    sim::Mcu8051Chip* chip = SelectAndSeat("GENERIC-ALGORITHM", "8051CC-80");
    for (uint32_t i = 0; i < EncryptionTableCapacity; ++i) EncryptionTable[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(Run(OpEncryption), ResultOk);
    for (uint32_t i = 0; i < 128; ++i) EXPECT_EQ(chip->Table(i), i) << i;
    EXPECT_EQ(chip->Pulses(McuFunction::WriteTable), 128u * 25);
    // A 16-byte table on the 128-entry array: entries 16 on stay erased,
    // whatever the table holds past its size, and reads decode through the
    // whole array as it stands.
    chip = Reseat("GENERIC-ALGORITHM", "8051CC-80", false);
    EncryptionTableSize = 16;
    ASSERT_EQ(Run(OpEncryption), ResultOk);
    for (uint32_t i = 0; i < 128; ++i) EXPECT_EQ(chip->Table(i), i < 16 ? i : 0xFF) << i;
    EXPECT_EQ(chip->Pulses(McuFunction::WriteTable), 16u * 25);
    DeviceEnd = 0x1FF;
    for (uint32_t a = 0; a <= DeviceEnd; ++a) chip->SetCell(a, static_cast<uint8_t>(a * 5 + 1));
    EncryptionEnable = 1;
    ASSERT_EQ(Run(OpRead), ResultOk) << LogText();
    for (uint32_t a = 0; a <= DeviceEnd; ++a) ASSERT_EQ(BufferByte(a), chip->Cell(a)) << std::hex << a;
}

TEST_F(McuRun, RangeOffABoundaryDrivesTheHighAddressAtItsFirstAddress) {
    sim::Mcu8051Chip* chip = SelectAndSeat("INTEL", "87C51FA");
    DeviceStart = 0x1234;
    DeviceEnd = 0x1300;
    FillPattern(DeviceSize);
    BufferStart = 0; // the image starts at the buffer's start
    ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
    for (uint32_t a = 0x1234; a <= 0x1300; ++a) ASSERT_NE(chip->Cell(a), 0xFF) << std::hex << a;
    for (uint32_t a = 0; a < 0x1234; ++a) ASSERT_EQ(chip->Cell(a), 0xFF) << std::hex << a;
}

// ---- traffic -----------------------------------------------------------------------------

TEST_F(McuRun, PulseCountsOfTheRows) {
    struct Case {
        const char* maker;
        const char* name;
        uint32_t tablePulses, lockPulses; // row 195's locks take Retry, its datasheet count (1)
    };
    for (const Case c : {Case{"INTEL", "87C51", 25, 25}, Case{"SIEMENS", "C501-1E", 25, 25},
                         Case{"ATMEL", "AT89C55", 25, 1}, Case{"ATMEL", "AT89C52-12", 10, 10},
                         Case{"GENERIC-ALGORITHM", "8051CC-80", 25, 25}}) {
        SCOPED_TRACE(c.name);
        sim::Mcu8051Chip* chip = Reseat(c.maker, c.name);
        EncryptionTable[0] = 0x12;
        EncryptionTable[1] = 0x34;
        SecurityMode = 0;
        StartTrace();
        ASSERT_EQ(Run(OpEncryption), ResultOk);
        ASSERT_EQ(Run(OpSecurity), ResultOk);
        EXPECT_EQ(chip->Pulses(McuFunction::WriteTable), 2 * c.tablePulses);
        EXPECT_EQ(chip->Pulses(McuFunction::Lock1) + chip->Pulses(McuFunction::LockByAddress), c.lockPulses);
        std::vector<uint8_t> reg12;
        for (const auto& r : simp.RegisterTrace())
            if (r.write && r.reg == 12) reg12.push_back(r.value);
        ASSERT_FALSE(reg12.empty());
        EXPECT_EQ(reg12.front(), 1);
        EXPECT_EQ(reg12.back(), 0);
        EncryptionTable[0] = EncryptionTable[1] = 0xFF;
    }
    ExpectNoViolations();
}

int g_launches = 0;
int CountLaunch() {
    ++g_launches;
    EncryptionDialogResult = -1; // as a failed Read button would leave it
    return 1;
}

TEST_F(McuRun, OptionsEntriesOpenTheInstalledDialogAndReturnItsResult) {
    ASSERT_TRUE(Select("INTEL", "87C51"));
    for (uint32_t row : {105u, 178u, 193u, 106u}) EXPECT_EQ(AlgorithmTable[row].Options(), 1) << row;
    EncryptionDialogResult = 1;
    EXPECT_EQ(AlgorithmTable[100].Options(), 1); // no launcher installed: nothing shown
    InstallEncryptionDialogLauncher(CountLaunch);
    EXPECT_EQ(AlgorithmTable[100].Options(), -1);
    EXPECT_EQ(AlgorithmTable[107].Options(), -1);
    EXPECT_EQ(g_launches, 2);
    InstallEncryptionDialogLauncher(nullptr);
}

TEST_F(McuRun, SplitModeProgramsItsOwnLaneInEveryRow) {
    for (const auto& [maker, name] : {std::pair{"INTEL", "87C51"}, std::pair{"ATMEL", "AT89C52-12"},
                                      std::pair{"GENERIC-ALGORITHM", "8051CC-80"}}) {
        SCOPED_TRACE(name);
        sim::Mcu8051Chip* chip = Reseat(maker, name);
        WordMode = 2; // every second byte, lane 1
        DeviceEnd = 0x7F;
        FillPattern(0x100);
        ASSERT_EQ(Run(OpProgram), ResultOk) << LogText();
        for (uint32_t a = 0; a <= 0x7F; ++a) ASSERT_EQ(chip->Cell(a), BufferByte(2 * a + 1)) << std::hex << a;
        EXPECT_EQ(Run(OpVerify), ResultOk) << LogText();
        WordMode = 0;
    }
}

TEST_F(McuRun, PowerUpOrderAndWaitsOfRows195And196) {
    struct Case {
        const char* name;
        uint64_t minGapUs, maxGapUs; // register 12 = 1 to EA/VPP onto supply A
    };
    for (const Case c : {Case{"AT89C55", 110000, 120000}, Case{"AT89C52-12", 1000, 3000}}) {
        SCOPED_TRACE(c.name);
        Reseat("ATMEL", c.name);
        StartTrace();
        DeviceEnd = 0;
        ASSERT_EQ(Run(OpBlankCheck), ResultOk) << LogText();
        const SupplyPinAEntry ea = SupplyPinTableA[35];
        uint64_t on = 0, eaOn = 0;
        for (const auto& r : simp.RegisterTrace()) {
            if (!r.write) continue;
            if (r.reg == 12 && r.value == 1 && on == 0) on = r.timeUs;
            if (on != 0 && eaOn == 0 && r.reg == ea.reg && (r.value & ea.mask) != 0) eaOn = r.timeUs;
        }
        ASSERT_NE(eaOn, 0u);
        EXPECT_GE(eaOn - on, c.minGapUs);
        EXPECT_LT(eaOn - on, c.maxGapUs);
    }
    ExpectNoViolations();
}

} // namespace
