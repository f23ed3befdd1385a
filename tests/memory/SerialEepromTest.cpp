// The serial EEPROM rows through the operation driver on parts from the
// simulator's serial parts table, seated by the library record's maker and
// name: blank check, program (verify at both levels), read back, compare;
// then what single rows do and the faults they must report.
#include "engine/Pins.h"
#include "engine/Power.h"
#include "engine/Tables.h"
#include "memory/SerialEeprom.h"
#include "memory/SerialFrame.h"
#include "sim/SerialEngine.h"
#include "sim/SerialParts.h"
#include "MemoryFixture.h"

namespace {

class Serial : public MemoryRun {
protected:
    sim::SerialChipBase* chip = nullptr;

    void SetUp() override {
        MemoryRun::SetUp();
        sim::RegisterSerialPersonality();
    }
    void Seat(const std::string& maker, const std::string& name) {
        ASSERT_TRUE(Select(maker, name)) << name;
        const sim::SerialPart* part = sim::FindSerialPart(maker, name);
        ASSERT_NE(part, nullptr) << name;
        chip = sim::SeatSerialPart(*socket, *elec, *part);
    }
    bool Wide() const { return DataWidth > 8; }
    uint32_t ChipDatum(uint32_t a) const {
        if (auto* nv = dynamic_cast<sim::NovramChip*>(chip)) return nv->EepromWord(a);
        if (auto* iw = dynamic_cast<sim::InstructionWordChip*>(chip)) return iw->Word(a);
        if (!Wide()) return chip->Byte(a);
        return static_cast<uint32_t>(chip->Byte(2 * a) << 8 | chip->Byte(2 * a + 1));
    }
    uint32_t BufferDatum(uint32_t a) const {
        if (!Wide()) return BufferByte(a);
        return BufferByte(2 * a) | (static_cast<uint32_t>(BufferByte(2 * a + 1)) << 8);
    }
    void ExpectChipHoldsBuffer(uint32_t from = 0) {
        for (uint32_t a = from; a < DeviceSize; ++a) ASSERT_EQ(ChipDatum(a), BufferDatum(a)) << std::hex << "at " << a;
    }
    // Chip contents from a pattern, written behind the operation's back.
    void FillChip(uint32_t seed) {
        uint32_t x = seed;
        for (uint32_t a = 0; a < chip->Bytes(); ++a) {
            x = x * 1103515245u + 12345u;
            chip->SetByte(a, static_cast<uint8_t>(x >> 16));
        }
    }
    // The part's logic image, for entries called without the operation driver.
    void LoadImage(uint8_t engine) {
        sim::LogicImageHeader h;
        h.personality = sim::kPersonalitySerial;
        h.params[0] = engine;
        simp.ConfigureDirect(h);
    }
    void ExpectNoViolationsBut(const std::string& allowed) {
        for (const auto& v : simp.Violations()) EXPECT_NE(v.find(allowed), std::string::npos) << v;
    }
};

struct RowPart {
    const char* maker;
    const char* name;
    uint32_t row;
    uint32_t words = 0; // the first words of the part only (0: all of it)
};

class SerialEveryRow : public Serial, public ::testing::WithParamInterface<RowPart> {};

TEST_P(SerialEveryRow, BlankCheckProgramVerifyReadCompare) {
    const RowPart& p = GetParam();
    Seat(p.maker, p.name);
    ASSERT_EQ(CurrentAlgorithm, p.row);
    if (p.words != 0) {
        DeviceSize = p.words;
        SetupAddressRange();
    }
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillPattern(BufferByteSize, 3);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectChipHoldsBuffer();
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    FillBufferRange(0, BufferByteSize - 1, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    ExpectChipHoldsBuffer();
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    if (p.row == 15 || p.row == 17) {
        // Row 15's erase step is followed by the driver's own blank check.
        runStart_ = ui.Log.size();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        for (uint32_t a = 0; a < DeviceSize; ++a) ASSERT_EQ(ChipDatum(a), 0xFFu) << a;
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
    }
    // A compare against the buffer with one byte changed reports that one.
    FillBufferRange(7, 7, BufferByte(7) ^ 0x10);
    EXPECT_EQ(Run(OpCompare), 1) << LogText();
    const std::string compare = ReadText("COMPARE.TXT");
    EXPECT_EQ(std::count(compare.begin(), compare.end(), '\n'), 3) << compare;
    if (p.row == 81) {
        // The read acknowledges its last byte, so the chip may hold SDA low
        // for the next byte when the stop drives it high.
        ExpectNoViolationsBut("drives against the logic driver");
    } else {
        ExpectNoViolations();
    }
}

INSTANTIATE_TEST_SUITE_P(Parts, SerialEveryRow,
                         ::testing::Values(RowPart{"ST", "M93C46", 10}, RowPart{"ST", "M93C66", 10},
                                           RowPart{"MICROCHIP", "93C86C", 10, 96}, RowPart{"FAIRCHILD", "NM93C06", 10},
                                           RowPart{"NATIONAL-SEMICONDUCTOR", "NMC9306", 10},
                                           RowPart{"MICROCHIP", "93LC46A", 18}, RowPart{"MICROCHIP", "93LC66A", 18},
                                           RowPart{"XICOR", "X24C01", 11}, RowPart{"ATMEL", "AT24C04", 11},
                                           RowPart{"ATMEL", "AT24C16", 11, 600}, RowPart{"MICROCHIP", "24LC32A", 11, 700},
                                           RowPart{"MICROCHIP", "24LC256", 11, 300}, RowPart{"SIEMENS", "SLE24C02", 81},
                                           RowPart{"XICOR", "X24C44", 12}, RowPart{"XICOR", "X24F032", 14}, RowPart{"XICOR", "X24F128", 14, 300},
                                           RowPart{"XICOR", "X24325", 16, 300}, RowPart{"XICOR", "X24645", 16, 300},
                                           RowPart{"CATALYST", "CAT59C11", 17}, RowPart{"NATIONAL-SEMICONDUCTOR", "NMC93CS46", 70},
                                           RowPart{"XICOR", "X24C00", 71}, RowPart{"PHILIPS", "PCF8581", 15}),
                         [](const auto& info) { return std::string(info.param.name); });

// Every record of the serial rows names a part the simulator knows.
TEST_F(Serial, EveryLibraryRecordHasItsPart) {
    for (const auto& part : sim::SerialParts()) {
        EXPECT_TRUE(Select(part.maker, part.name)) << part.name;
    }
}

// A range that does not start at 0: reads store the chip's own bytes of the
// range, page writes split at page boundaries and stop at DeviceEnd.
TEST_F(Serial, RangeNotAtZeroReadsAndWritesItsOwnBytes) {
    for (const RowPart& p : {RowPart{"XICOR", "X24C01", 11}, RowPart{"ATMEL", "AT24C04", 11},
                             RowPart{"MICROCHIP", "24LC32A", 11}, RowPart{"SIEMENS", "SLE24C02", 81}}) {
        socket->Clear();
        Seat(p.maker, p.name);
        FillChip(9);
        DeviceStart = BufferStart = 0x13;
        DeviceEnd = 0x13 + 3 * PageSize;
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(BufferByte(a), chip->Byte(a)) << p.name << " " << a;
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) chip->SetByte(a, 0xFF);
        const uint8_t below = chip->Byte(0x12), above = chip->Byte(DeviceEnd + 1);
        FillPattern(BufferByteSize, 5);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (uint32_t a = DeviceStart; a <= DeviceEnd; ++a) ASSERT_EQ(chip->Byte(a), BufferByte(a)) << p.name << " " << a;
        EXPECT_EQ(chip->Byte(0x12), below) << p.name;
        EXPECT_EQ(chip->Byte(DeviceEnd + 1), above) << p.name;
    }
}

// Rows 10 and 18 poll the chip's ready status: a chip that never gets ready
// ends the program with an error, without hanging.
TEST_F(Serial, NeverReadyEndsTheProgramRun) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"MICROCHIP", "93LC46A", 18}}) {
        socket->Clear();
        Seat(p.maker, p.name);
        chip->NeverReady();
        FillPattern(BufferByteSize, 2);
        EXPECT_EQ(Run(OpProgram), -1) << p.name << LogText();
        EXPECT_EQ(chip->WriteCycles(), 1u) << p.name;
    }
}

// A cell bit that never takes its value shows in the verify with its address.
TEST_F(Serial, StuckBitFailsTheVerifyAtItsAddress) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"ATMEL", "AT24C04", 11},
                             RowPart{"MICROCHIP", "93LC46A", 18}}) {
        socket->Clear();
        Seat(p.maker, p.name);
        chip->StickBit(0x22, 3, 1);
        FillBufferRange(0, BufferByteSize - 1, 0);
        EXPECT_EQ(Run(OpProgram), -1) << p.name << LogText();
        const std::string at = Wide() ? "000011h" : "000022h";
        bool named = false;
        for (const auto& line : Log()) named |= line.find(at) != std::string::npos;
        EXPECT_TRUE(named) << p.name << LogText();
    }
}

// The variant-8 part has no ready status: each erase and write waits
// PulseWidth, and sub-variant 1 erases the range word by word first.
TEST_F(Serial, Variant8WaitsPulseWidthAndErasesFirst) {
    Seat("NATIONAL-SEMICONDUCTOR", "NMC9306");
    FillChip(4); // a WRITE of this part only clears bits
    FillPattern(BufferByteSize, 6);
    const uint64_t t0 = simp.NowUs();
    BufferIndex = 0;
    LoadImage(1);
    EXPECT_EQ(AlgorithmRow(10)->Program(), 1);
    EXPECT_GE(simp.NowUs() - t0, 2u * 16 * PulseWidth);
    EXPECT_EQ(chip->WriteCycles(), 32u);
    ExpectChipHoldsBuffer();
}

// The erase pass of sub-variant 1 times out before any word is written.
TEST_F(Serial, EraseTimeOutComesBeforeAnyWrite) {
    Seat("FAIRCHILD", "NM93C06");
    DeviceSubVariant = 1;
    chip->NeverReady();
    FillChip(4);
    const uint8_t kept = chip->Byte(2);
    FillPattern(BufferByteSize, 6);
    BufferIndex = 0;
    LoadImage(1);
    EXPECT_EQ(AlgorithmRow(10)->Program(), -1);
    EXPECT_EQ(chip->WriteCycles(), 1u);
    EXPECT_EQ(chip->Byte(0), 0xFF); // the one erase
    EXPECT_EQ(chip->Byte(2), kept);
}

// Variant 4 sends the codes as four bits and the write-enable address as 0;
// variant 0 as two bits and all ones.
TEST_F(Serial, MicrowireInstructionCodesByVariant) {
    struct Case {
        uint8_t variant;
        std::vector<int> reg7; // register 7 values of the write-enable instruction
        int opcodeCycles;
    };
    for (const Case& c : {Case{0, {0x20, 0x30, 0xFC}, 2}, Case{4, {0x20, 0x30, 0x00}, 4}}) {
        Seat("ST", "M93C46");
        DeviceVariant = c.variant;
        LoadImage(1);
        simp.EnableTrace(true);
        simp.ClearTrace();
        AlgorithmRow(10)->Program();
        std::vector<int> reg7;
        int cycles = -1;
        for (const auto& a : simp.RegisterTrace()) {
            if (a.write && a.reg == 7 && (a.value == 0x20 || !reg7.empty()) && reg7.size() < 3) reg7.push_back(a.value);
            if (a.write && a.reg == 8 && a.value != 3 && a.value != 0 && cycles < 0) cycles = a.value;
        }
        EXPECT_EQ(reg7, c.reg7) << int(c.variant);
        EXPECT_EQ(cycles, c.opcodeCycles) << int(c.variant);
        socket->Clear();
    }
}

// Row 81 waits the page size times PulseWidth after each page.
TEST_F(Serial, Row81WaitsPerPage) {
    Seat("SIEMENS", "SLE24C02");
    FillPattern(BufferByteSize, 1);
    const uint64_t t0 = simp.NowUs();
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_GE(simp.NowUs() - t0, 32u * 8 * 1000);
    EXPECT_EQ(chip->WriteCycles(), 32u);
}

// Row 18's power-down leaves the ground switched; the driver's reset opens it.
TEST_F(Serial, Row18KeepsGroundAtPowerDown) {
    Seat("MICROCHIP", "93LC46A");
    ASSERT_EQ(AlgorithmRow(18)->Read(2), 1);
    const auto grounded = elec->GroundedPins();
    EXPECT_NE(std::find(grounded.begin(), grounded.end(), 25), grounded.end());
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

// A read for verify runs at the read supply, never at Vccp: at 2.0 V the
// part would be outside its supply window and read nothing.
TEST_F(Serial, VerifyReadsAtTheReadSupply) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"ATMEL", "AT24C04", 11},
                             RowPart{"MICROCHIP", "93LC46A", 18}, RowPart{"SIEMENS", "SLE24C02", 81}}) {
        socket->Clear();
        Seat(p.maker, p.name);
        FillChip(3);
        for (uint32_t a = 0; a < chip->Bytes(); ++a) FillBufferRange(a, a, chip->Byte(Wide() ? a ^ 1 : a));
        Vccp = 200;
        EXPECT_EQ(Run(OpVerify), 1) << p.name << LogText();
    }
}

// The programmer stops answering in the middle of a shift: the entry ends
// with the communication error instead of waiting for ever.
TEST_F(Serial, ProgrammerStoppingMidShiftEndsTheRun) {
    for (const RowPart& p : {RowPart{"ST", "M93C46", 10}, RowPart{"ATMEL", "AT24C04", 11}}) {
        SCOPED_TRACE(p.name);
        socket->Clear();
        Seat(p.maker, p.name);
        ui.BreakAtPercent = 40;
        ui.OnBreak = [this] {
            UserBreak = 0;
            simp.StopAnswering(true, 0x78);
        };
        FillPattern(BufferByteSize, 2);
        EXPECT_NE(Run(OpProgram), 1);
        EXPECT_TRUE(SerialEngineLost());
        simp.StopAnswering(false);
        ui.OnBreak = nullptr;
    }
}

TEST_F(Serial, UserBreakEndsTheRun) {
    for (const RowPart& p : {RowPart{"ST", "M93C66", 10}, RowPart{"ATMEL", "AT24C16", 11},
                             RowPart{"MICROCHIP", "93LC66A", 18}, RowPart{"SIEMENS", "SLE24C02", 81}}) {
        socket->Clear();
        Seat(p.maker, p.name);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        FillPattern(BufferByteSize, 2);
        EXPECT_EQ(Run(OpProgram), 3) << p.name;
        EXPECT_TRUE(HasLine("USER BREAK!")) << p.name << LogText();
        UserBreak = 0;
    }
}

// Row 12 recalls at every power-up and stores once, after a complete run; a
// word that does not read back from the RAM ends the run without the store.
TEST_F(Serial, NovramRecallsAndStoresOnlyAfterACompleteRun) {
    Seat("XICOR", "X24C44");
    auto* nv = static_cast<sim::NovramChip*>(chip);
    FillPattern(BufferByteSize, 8);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(nv->Stores(), 1u);
    EXPECT_GE(nv->Recalls(), 2u); // the program's and the verify's power-ups
    ExpectChipHoldsBuffer();
    const uint16_t kept = nv->EepromWord(5);
    FillBufferRange(0, 2 * DeviceSize - 1, 0x5A);
    nv->StickRamBit(5, 2, 1); // 5A5Ah reads 5A5Eh
    BufferIndex = 0;
    EXPECT_EQ(AlgorithmRow(12)->Program(), -1);
    EXPECT_EQ(nv->RamWord(4), 0x5A5A); // written up to the failing word
    EXPECT_EQ(nv->Stores(), 1u);
    EXPECT_EQ(nv->EepromWord(5), kept);
}

// Row 17 has no library record (no datasheet of such a part was found): its
// entries on the invented address-first model, with a 93LC46A's record for
// the package and supplies. Erase sends 00 09, then 00 0C, then waits for
// READY; a part that never gets ready ends the program with -1.
TEST_F(Serial, Row17EntriesOnTheAddressFirstModel) {
    ASSERT_TRUE(Select("MICROCHIP", "93LC46A"));
    sim::AddressFirstFacts facts;
    facts.name = "address-first EEPROM";
    facts.bytes = 128;
    elec->DeclareChip(sim::DipPinLimits(facts.name, 8));
    auto* af = socket->Insert(std::make_unique<sim::AddressFirstChip>(facts));
    const auto run = [](int (*entry)()) {
        BufferIndex = 0;
        return entry();
    };
    FillPattern(BufferByteSize, 12);
    EXPECT_EQ(run(AlgorithmRow(17)->Program), 1);
    for (uint32_t a = 0; a < 128; ++a) ASSERT_EQ(af->Byte(a), BufferByte(a)) << a;
    EXPECT_EQ(run(AlgorithmRow(17)->Erase), 1);
    for (uint32_t a = 0; a < 128; ++a) ASSERT_EQ(af->Byte(a), 0xFF) << a;
    af->SetByte(9, 0x3C);
    FillBufferRange(0, 127, 0);
    CurrentAlgorithm = 17;
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < 128; ++a) ASSERT_EQ(BufferByte(a), a == 9 ? 0x3C : 0xFF) << a;
    af->NeverReady();
    FillPattern(BufferByteSize, 13);
    EXPECT_EQ(run(AlgorithmRow(17)->Program), -1);
    ExpectNoViolations();
}

// Row 70 has no library record either: its entries on the invented
// instruction-byte model, with a 93C46's record (16-bit words, package type 0)
// for the package and supplies; the pins move to 23-28 on another package type.
TEST_F(Serial, Row70EntriesOnTheInstructionWordModel) {
    ASSERT_TRUE(Select("ST", "M93C46"));
    sim::InstructionWordFacts facts;
    facts.name = "instruction-word EEPROM";
    facts.words = 64;
    elec->DeclareChip(sim::DipPinLimits(facts.name, 8));
    auto* iw = socket->Insert(std::make_unique<sim::InstructionWordChip>(facts));
    LogicImageNumber = 6;
    CurrentAlgorithm = 70;
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    FillPattern(BufferByteSize, 21);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = 0; a < 64; ++a) ASSERT_EQ(iw->Word(a), BufferDatum(a)) << a;
    FillBufferRange(0, 127, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < 64; ++a) ASSERT_EQ(iw->Word(a), BufferDatum(a)) << a;
    iw->NeverReady();
    FillBufferRange(0, 127, 0x11);
    BufferIndex = 0;
    EXPECT_EQ(AlgorithmRow(70)->Program(), -1);
    ExpectNoViolations();
    // Another package type: chip select on 23 ... program enable on 28.
    ResetProgrammerOutputs();
    simp.EnableTrace(true);
    PackageIndex = 0;
    while (PackageRow(PackageIndex).Type == 0) ++PackageIndex;
    AlgorithmRow(70)->Read(2);
    bool pin28 = false;
    for (const auto& a : simp.RegisterTrace()) pin28 |= a.write && a.reg == 7 && (a.value & 0x08) != 0; // ZIF 28: block 3, bit 3
    EXPECT_TRUE(pin28);
}

// Row 71 has no library record either: its entries on the invented
// command-byte model with the SLE24C02's record for the package and supplies.
// Variant 1 raises the clock pin to 12 V at the start of every written byte,
// never while reading; variants past 1 are refused.
TEST_F(Serial, Row71EntriesOnTheCommandByteModel) {
    ASSERT_TRUE(Select("SIEMENS", "SLE24C02"));
    sim::CommandByteFacts facts;
    facts.name = "command-byte EEPROM";
    sim::ChipPinLimits limits = sim::DipPinLimits(facts.name, 8);
    elec->DeclareChip(limits.Allow(26, 130));
    auto* cb = socket->Insert(std::make_unique<sim::CommandByteChip>(facts));
    DeviceSize = 16;
    SetupAddressRange();
    CurrentAlgorithm = 71;
    DeviceVariant = 1;
    PulseWidth = 5000;
    FillPattern(BufferByteSize, 31);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (uint32_t a = 0; a < 16; ++a) ASSERT_EQ(cb->Byte(a), BufferByte(a)) << a;
    const uint32_t starts = cb->HighVoltageStarts();
    EXPECT_EQ(starts, 16u);
    FillBufferRange(0, 15, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    for (uint32_t a = 0; a < 16; ++a) ASSERT_EQ(cb->Byte(a), BufferByte(a)) << a;
    EXPECT_EQ(cb->HighVoltageStarts(), starts); // none while reading
    ExpectNoViolations();
    // Without the 12 V entry the part takes nothing.
    DeviceVariant = 0;
    FillBufferRange(0, 15, 0x33);
    BufferIndex = 0;
    EXPECT_EQ(AlgorithmRow(71)->Program(), 1);
    EXPECT_NE(cb->Byte(0), 0x33);
    DeviceVariant = 2;
    EXPECT_EQ(AlgorithmRow(71)->Program(), -1);
}

// The librarian's limits: a variant past the table and Page 0 are refused by
// the entries too.
TEST_F(Serial, EntriesRefuseWhatTheLibraryWouldNot) {
    Seat("ST", "M93C46");
    DeviceVariant = MicrowireVariantCount;
    EXPECT_EQ(AlgorithmRow(10)->Read(2), -1);
    EXPECT_EQ(AlgorithmRow(10)->Program(), -1);
    Seat("ATMEL", "AT24C04");
    for (uint32_t page : {0u, 257u}) {
        PageSize = page;
        EXPECT_EQ(AlgorithmRow(11)->Program(), -1) << page;
    }
    PageSize = 16;
    DeviceVariant = TwoWireFormCount;
    EXPECT_EQ(AlgorithmRow(11)->Program(), -1);
    EXPECT_TRUE(elec->SuppliedPins().empty()); // refused before the supply
}

} // namespace
