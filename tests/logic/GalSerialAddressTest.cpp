// Rows 224, 221, 222, 226, 227, 234 and 231 end to end: the serial-address
// parts against their models in the simulator, refusals, injected faults,
// user breaks and the edit-mode traffic.
#include "engine/Port.h"
#include "logic/GalSerialAddress.h"
#include "tests/logic/PldFixture.h"

namespace {

// Every register write with the number of strobes the part had seen then.
class RegisterRecorder : public sim::SimComponent {
public:
    const sim::GalChip* chip = nullptr;
    struct Write {
        uint8_t reg, value;
        size_t strobes;
    };
    std::vector<Write> writes;
    bool OnWrite(sim::SimProgrammer&, uint8_t reg, uint8_t value) override {
        writes.push_back({reg, value, chip ? chip->Strobes().size() : 0});
        return false;
    }
};

class GalSerialAddressTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    static std::vector<int> Addresses(const sim::GalChip* chip, bool write) {
        std::vector<int> a;
        for (const auto& s : chip->Strobes())
            if (s.write == write) a.push_back(s.address);
        return a;
    }
    static std::vector<int> Range(int first, int last) {
        std::vector<int> v;
        for (int a = first; a <= last; ++a) v.push_back(a);
        return v;
    }
};

constexpr int kArch = -1; // the architecture row, selected by its pin
// The rows without inline read-back: 234 and 231.
const std::pair<const char*, const char*> kShiftedRows[] = {{"LATTICE", "GAL22LV10C"}, {"ST", "GAL20RA10"}};
// The inline read-back rows 224, 221, 222, 226 and 227.
const std::pair<const char*, const char*> kInlineRows[] = {{"LATTICE", "GAL22V10B"}, {"LATTICE", "GAL18V10"},
                                                           {"LATTICE", "GAL20RA10"}, {"LATTICE", "GAL20XV10"},
                                                           {"LATTICE", "GAL26CV12"}};

// Every record through the driver; a secured part reads its array and
// architecture row as ones. One test per record, so the shards share them.
class GalSerialAddressRecord : public GalSerialAddressTest, public testing::WithParamInterface<PldRun::Cycle> {};
TEST_P(GalSerialAddressRecord, ProgramsReadsErasesAndSecures) { RunCycle(GetParam()); }
INSTANTIATE_TEST_SUITE_P(
    Rows224To234, GalSerialAddressRecord,
    testing::Values(PldRun::Cycle{"LATTICE", "GAL22V10B", 5892, 44, 5828, 5828},
                    PldRun::Cycle{"LATTICE", "GAL22V10D", 5892, 44, 5828, 5828},
                    PldRun::Cycle{"NATIONAL-SEMICONDUCTOR", "GAL22V10", 5892, 44, 5828, 5828},
                    PldRun::Cycle{"ST", "GAL22V10", 5892, 44, 5828, 5828},
                    PldRun::Cycle{"LATTICE", "GAL18V10", 3540, 36, 3476, 3476},
                    PldRun::Cycle{"LATTICE", "GAL20RA10", 3274, 40, 3210, 3210},
                    PldRun::Cycle{"LATTICE", "GAL20XV10", 1671, 40, 1631, 1631},
                    PldRun::Cycle{"LATTICE", "GAL26CV12", 6432, 52, 6368, 6368},
                    PldRun::Cycle{"LATTICE", "GAL22LV10C", 5892, 44, 5828, 5828},
                    PldRun::Cycle{"LATTICE", "GAL22LV10D", 5892, 44, 5828, 5828},
                    PldRun::Cycle{"ST", "GAL20RA10", 3274, 40, 3210, 3210}));

// Rows 221 and 234 read the part back after securing it; the others do not.
TEST_F(GalSerialAddressTest, SecureReadsBackOnlyOnRows221And234) {
    struct Case {
        const char* maker;
        const char* name;
        bool readBack;
    };
    const Case cases[] = {{"LATTICE", "GAL22V10B", false}, {"LATTICE", "GAL18V10", true},
                          {"LATTICE", "GAL20RA10", false}, {"LATTICE", "GAL20XV10", false},
                          {"LATTICE", "GAL26CV12", false}, {"LATTICE", "GAL22LV10C", true},
                          {"ST", "GAL20RA10", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::GalChip* chip = SelectAndSeat(c.maker, c.name);
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!"));
        EXPECT_TRUE(chip->Secured());
        EXPECT_EQ(LastWrite(chip), 61);
        const std::vector<int> loads = Addresses(chip, false);
        EXPECT_EQ(loads.size() > 1, c.readBack) << loads.size();
        ExpectNoViolations();
    }
}

TEST_F(GalSerialAddressTest, BadIdentityRefusesEveryOperation) {
    struct Case {
        const char* maker;
        const char* name;
        void (*change)(sim::GalPartFacts&);
        const char* line;
    };
    const Case cases[] = {
        {"LATTICE", "GAL22V10B", [](sim::GalPartFacts& f) { f.voltageCode = 6; }, " Incorrect device ID"},
        {"LATTICE", "GAL22V10B", [](sim::GalPartFacts& f) { f.makerCode = 0x00; }, " Incorrect device ID"},
        {"LATTICE", "GAL22V10B", [](sim::GalPartFacts& f) { f.typeCode = 0x50; }, " Incorrect device ID"},
        {"LATTICE", "GAL18V10", [](sim::GalPartFacts& f) { f.voltageCode = 4; }, " Incorrect device ID"},
        {"LATTICE", "GAL20RA10", [](sim::GalPartFacts& f) { f.makerCode = 0x8F; }, " Incorrect device ID"},
        {"LATTICE", "GAL20RA10", [](sim::GalPartFacts& f) { f.voltageCode = 4; }, " Incorrect device ID"},
        {"LATTICE", "GAL20XV10", [](sim::GalPartFacts& f) { f.typeCode = 0x60; }, " Incorrect device ID"},
        {"LATTICE", "GAL26CV12", [](sim::GalPartFacts& f) { f.typeCode = 0x48; }, " Incorrect device ID"},
        {"LATTICE", "GAL22LV10C", [](sim::GalPartFacts& f) { f.typeCode = 0x1A; }, " Electronic ID Error"},
        {"LATTICE", "GAL22LV10C", [](sim::GalPartFacts& f) { f.extended.supplyCode = 0x35; }, " Electronic ID Error"},
    };
    for (const Case& c : cases) ExpectRefusedEverywhere(Changed(c.maker, c.name, c.change), c.line);
}

// The signature's voltage code chooses the edit voltage and pulse; a part
// that needs another voltage keeps its cells, so the driver's verify fails.
TEST_F(GalSerialAddressTest, VoltageCodeChoosesTheProgrammingConditions) {
    struct Case {
        const char* maker;
        const char* name;
        uint8_t code;
        int tenths;
        uint32_t pulseMs;
    };
    const Case cases[] = {{"LATTICE", "GAL22V10B", 1, 154, 80}, {"LATTICE", "GAL22V10B", 4, 140, 80},
                          {"LATTICE", "GAL18V10", 5, 165, 10},  {"LATTICE", "GAL18V10", 1, 157, 80},
                          {"LATTICE", "GAL20XV10", 3, 140, 80}, {"LATTICE", "GAL26CV12", 2, 145, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " code " + std::to_string(c.code));
        sim::GalPartFacts f = GalFacts(c.maker, c.name);
        f.voltageCode = c.code;
        f.programTenths = c.tenths;
        f.pulseUs = c.pulseMs * 1000;
        sim::GalChip* chip = SelectAndSeat(f);
        LoadFuses(Pattern(DeviceSize, c.code), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Gal22V10Vpp, static_cast<uint32_t>(c.tenths));
        EXPECT_EQ(Gal22V10PulseWidth, c.pulseMs);
        for (const auto& s : chip->Strobes()) {
            if (!s.write) continue;
            EXPECT_NEAR(s.editTenths, c.tenths, 1); // the DAC's step
            EXPECT_GE(s.widthUs, c.pulseMs * 1000);
        }
        f.programTenths = c.tenths + 5;
        chip = SelectAndSeat(f);
        EXPECT_EQ(Run(OpProgram), -1);
        EXPECT_TRUE(chip->Blank());
    }
}

// Each row's programming table by voltage code, written out from the
// table's text; codes a row refuses are in BadIdentityRefusesEveryOperation.
TEST_F(GalSerialAddressTest, EveryProgrammingTableEntry) {
    ExpectProgrammingTable("LATTICE", "GAL22V10B",
                           {{0, 0xA1, 150, 10}, {1, 0x8F, 154, 80}, {2, 0x20, 145, 40}, {3, 0xA1, 140, 80},
                            {4, 0xA1, 140, 80}, {5, 0xA1, 150, 50}});
    ExpectProgrammingTable("LATTICE", "GAL18V10",
                           {{0, 0xA1, 155, 10}, {1, 0xA1, 157, 80}, {2, 0xA1, 145, 40}, {3, 0xA1, 140, 80},
                            {5, 0xA1, 165, 10}});
    for (const char* name : {"GAL20RA10", "GAL20XV10", "GAL26CV12"}) {
        ExpectProgrammingTable("LATTICE", name,
                               {{0, 0xA1, 165, 10}, {1, 0xA1, 157, 80}, {2, 0xA1, 145, 40}, {3, 0xA1, 140, 80}});
    }
}

// Row 224: the inline read-back of row a - 1 stops Program at a cell of row
// 10 that never programs; row 43 is not read back there, Verify finds it.
TEST_F(GalSerialAddressTest, Row224InlineReadBackCatchesAStuckCellUpToRow42) {
    struct Case {
        uint32_t fuse;
        int program;
        const char* line;
    };
    const Case cases[] = {{5 * 44 + 10, -1, "Program error!"}, {5 * 44 + 43, 1, "Verification error!"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fuse);
        sim::GalChip* chip = SelectAndSeat("LATTICE", "GAL22V10B");
        chip->StickCell(c.fuse);
        std::vector<uint8_t> fuses(5892, 1);
        fuses[c.fuse] = 0;
        LoadFuses(fuses, 44);
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine(c.line)) << LogText();
        char fail[64];
        std::snprintf(fail, sizeof fail, " Fail address : %u(%Xh)", c.fuse, c.fuse);
        EXPECT_TRUE(HasLine(fail)) << LogText();
        if (c.program == -1) {
            EXPECT_EQ(LastWrite(chip), 10); // row 11 never written
            EXPECT_FALSE(HasLine("Verifying"));
        }
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Row 224's blank check reads all 132 places of the UES row, the 68 past
// the map's last fuse too; the architecture row's bit 0 is fuse 5809.
TEST_F(GalSerialAddressTest, Row224BlankCheckCoversTheWholeUesRowAndGoldenCells) {
    sim::GalChip* chip = SelectAndSeat("LATTICE", "GAL22V10B");
    chip->SetCell(5828 + 131, 0);
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine(" Fail address : 5959(1747h)")) << LogText();

    chip = SelectAndSeat("LATTICE", "GAL22V10B");
    std::vector<uint8_t> fuses(5892, 1);
    fuses[5809] = 0;         // architecture bit 0
    fuses[7 * 44 + 3] = 0;   // row 3, bit 7
    LoadFuses(fuses, 44);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(chip->ArchitectureFuse(0), 5809u);
    EXPECT_EQ(Cells(chip, 5892), fuses);
}

// Strobes of row 224's Program: each row pulsed at its address, then
// loaded back; row 44 (the UES) and the architecture row written last.
// The read walk of row 226 loads row 39 before address 44.
TEST_F(GalSerialAddressTest, RowAddressesAreCompleteBeforeEveryStrobe) {
    sim::GalChip* chip = SelectAndSeat("LATTICE", "GAL22V10B");
    LoadFuses(Pattern(5892), 44);
    chip->ClearStrobes();
    VerifyAfterProgram = 0;
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<std::pair<int, bool>> expected{{58, false}};
    for (int a = 0; a <= 44; ++a) {
        expected.emplace_back(a, true);
        if (a < 44) expected.emplace_back(a, false);
    }
    expected.emplace_back(kArch, true);
    expected.emplace_back(kArch, false);
    EXPECT_EQ(Sequence(chip), expected);

    chip = SelectAndSeat("LATTICE", "GAL20XV10");
    ASSERT_EQ(Run(OpBlankCheck), 1);
    std::vector<int> loads{58};
    for (int a : Range(0, 39)) loads.push_back(a);
    loads.push_back(44);
    loads.push_back(kArch);
    EXPECT_EQ(Addresses(chip, false), loads);
    // The row read is 40 bits with 39 clocks, then six address clocks.
    EXPECT_EQ(chip->Strobes()[2].clocks, 39u + 6u);

    chip = SelectAndSeat("LATTICE", "GAL22LV10C"); // loads timed, no strobe on selection
    ASSERT_EQ(Run(OpBlankCheck), 1);
    std::vector<int> timed{58};
    for (int a : Range(0, 44)) timed.push_back(a);
    timed.push_back(kArch);
    EXPECT_EQ(Addresses(chip, false), timed);
    for (size_t k = 1; k < chip->Strobes().size(); ++k) EXPECT_GE(chip->Strobes()[k].widthUs, chip->LoadStrobeUs());
}

// Row 222 loads the row just written through register 2 (4, then 5),
// never through the strobe, and leaves the latch shadow alone.
TEST_F(GalSerialAddressTest, Row222ReadBackGoesThroughRegisterTwo) {
    sim::GalChip* chip = SelectAndSeat("LATTICE", "GAL20RA10");
    LoadFuses(Pattern(3274), 40);
    auto* rec = new RegisterRecorder;
    rec->chip = chip;
    simp.AddComponent(std::unique_ptr<sim::SimComponent>(rec));
    chip->ClearStrobes();
    VerifyAfterProgram = 0;
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<int> writes = Range(0, 40);
    writes.push_back(kArch);
    EXPECT_EQ(Addresses(chip, true), writes);
    EXPECT_EQ(Addresses(chip, false), std::vector<int>{58});
    size_t pairs = 0;
    for (size_t k = 0; k + 1 < rec->writes.size(); ++k) {
        const auto& w = rec->writes[k];
        if (w.reg != 2 || w.value != 4) continue;
        EXPECT_EQ(rec->writes[k + 1].reg, 2);
        EXPECT_EQ(rec->writes[k + 1].value, 5);
        EXPECT_EQ(rec->writes[k + 1].strobes, w.strobes);
        ++pairs;
    }
    EXPECT_EQ(pairs, 40u);
    EXPECT_NE(RegisterShadow[2], 5);
    EXPECT_EQ(Run(OpVerify), 1) << LogText();
    ExpectNoViolations();
}

// Row 222 variant 1 neither reads nor writes the UES row; its part's map
// ends at the architecture fuses, so every fuse it offers is kept.
TEST_F(GalSerialAddressTest, Row222Variant1NeverTouchesTheUes) {
    sim::GalChip* chip = SelectAndSeat("LATTICE", "GAL20RA10A");
    EXPECT_EQ(UesFuseStart, 0u);
    EXPECT_EQ(DeviceSize, 3210u);
    const std::vector<uint8_t> fuses = Pattern(3210, 3);
    LoadFuses(fuses, 40);
    EXPECT_EQ(Run(OpProgram), 1) << LogText(); // and verify
    EXPECT_EQ(Cells(chip, 3210), fuses);
    ClearUserMap(3210);
    EXPECT_EQ(Run(OpRead), 1);
    EXPECT_EQ(UserFuses(3210), fuses);
    for (const auto& s : chip->Strobes()) EXPECT_NE(s.address, 40);
    EXPECT_EQ(Run(OpErase), 1);
    EXPECT_EQ(Run(OpBlankCheck), 1);
}

// Row 234 programs the OR row (address 45) for type 49h only.
TEST_F(GalSerialAddressTest, Row234WritesTheOrRowForType49) {
    for (const char* name : {"GAL22LV10C", "GAL22LV10D"}) {
        SCOPED_TRACE(name);
        sim::GalChip* chip = SelectAndSeat("LATTICE", name);
        std::vector<uint8_t> fuses(5892, 0);
        for (int r = 0; r < 44; ++r) fuses[7 * 44 + r] = 1; // bit 7 set in every row
        fuses[9 * 44 + 20] = 1;                           // bit 9 in row 20 only
        LoadFuses(fuses, 44);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        const bool orRow = chip->Part().typeCode == 0x49;
        EXPECT_EQ(LastWrite(chip) == 45, orRow);
        if (!orRow) continue;
        for (int b = 0; b < 132; ++b) EXPECT_EQ(chip->OrRowCell(b), b == 7 || b == 9 ? 1 : 0) << b;
    }
}

// ESC answered No in the program walks, the inline read-back rows too:
// powered down, reported as a break, no failed fuse named.
TEST_F(GalSerialAddressTest, UserBreakInProgramIsABreak) {
    for (const auto& [maker, name] : kShiftedRows) ExpectProgramBreak(maker, name);
    for (const auto& [maker, name] : kInlineRows) {
        ExpectProgramBreak(maker, name);
        EXPECT_FALSE(HasLine("Program error!")) << LogText();
        EXPECT_FALSE(HasLine(" Fail address")) << LogText();
    }
}

// The architecture row is loaded by its select pin and the strobe alone:
// the clocks the part sees before that strobe are those of the row read
// before it (the UES), no address bits.
TEST_F(GalSerialAddressTest, ArchitectureRowReadShiftsNoAddress) {
    // Clocks before the architecture strobe (the UES read) and after it (its
    // own bits): a shift after each bit, but not after the last on 226 and
    // after a row's last on 227.
    const std::pair<uint32_t, uint32_t> clocks[] = {{132, 20}, {96, 20}, {80, 10}, {39, 30}, {121, 24}};
    for (size_t k = 0; k < std::size(kInlineRows); ++k) {
        SCOPED_TRACE(kInlineRows[k].second);
        sim::GalChip* chip = SelectAndSeat(kInlineRows[k].first, kInlineRows[k].second);
        ASSERT_EQ(Run(OpBlankCheck), 1) << LogText();
        const auto& strobes = chip->Strobes();
        ASSERT_GE(strobes.size(), 2u);
        EXPECT_EQ(strobes.back().address, kArch);
        EXPECT_FALSE(strobes.back().write);
        EXPECT_EQ(strobes.back().clocks, clocks[k].first);
        EXPECT_EQ(chip->ClocksSinceStrobe(), clocks[k].second);
        ExpectNoViolations();
    }
}

// Row 231: 15.7 V and 50 ms; fuses past 3273 are neither programmed nor
// read; step 0 bit 0 is fuse 280; a part needing more keeps its cells.
TEST_F(GalSerialAddressTest, Row231PinAddressedPart) {
    sim::GalChip* chip = SelectAndSeat("ST", "GAL20RA10");
    std::vector<uint8_t> fuses(3274, 1);
    fuses[280] = 0;
    fuses[3273] = 0;
    LoadFuses(fuses, 40);
    SetBufferBit(3280, 0);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Cells(chip, 3274), fuses);
    EXPECT_EQ(chip->Strobes()[0].address, 0);
    EXPECT_TRUE(chip->Strobes()[0].write);
    EXPECT_NEAR(chip->Strobes()[0].editTenths, 157, 1);
    EXPECT_GE(chip->Strobes()[0].widthUs, 50000u);
    EXPECT_EQ(LastWrite(chip), 41);
    SetBufferBit(3280, 1);
    ClearUserMap(3274);
    EXPECT_EQ(Run(OpRead), 1);
    EXPECT_EQ(GetBufferBit(3280), 1u);
    EXPECT_EQ(UserFuses(3274), fuses);

    sim::GalPartFacts f = GalFacts("ST", "GAL20RA10");
    f.programTenths = 165;
    chip = SelectAndSeat(f);
    LoadFuses(fuses, 40);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Verification error!")) << LogText();
    EXPECT_TRUE(chip->Blank());
}

// A part answering another maker's signature or extended ID: each run ends
// at the row's line, nothing written; row 231 reads no identity.
TEST_F(GalSerialAddressTest, AnotherIdentityEndsTheRunAtItsLine) {
    for (const auto& [maker, name] : kInlineRows) {
        SCOPED_TRACE(name);
        sim::GalChip* chip = SelectAndSeat(maker, name);
        LoadFuses(Pattern(DeviceSize, 5), FuseRowLength);
        ExpectIdentityRefusedAtItsLine(chip, " Incorrect device ID");
        EXPECT_TRUE(Addresses(chip, true).empty());
    }
    sim::GalChip* chip = SelectAndSeat("LATTICE", "GAL22LV10C");
    LoadFuses(Pattern(DeviceSize, 5), FuseRowLength);
    ExpectIdentityRefusedAtItsLine(chip, " Electronic ID Error");
    EXPECT_TRUE(Addresses(chip, true).empty());

    chip = SelectAndSeat("ST", "GAL20RA10");
    EXPECT_EQ(RowDefinition(231)->ChecksIdentity, nullptr);
    chip->AnswerAnotherIdentity();
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
}

TEST_F(GalSerialAddressTest, CellThatNeverProgramsFailsVerifyAtItsFuse) {
    for (const auto& [maker, name] : kShiftedRows) ExpectStuckCellFailsVerify(maker, name);
}

} // namespace
