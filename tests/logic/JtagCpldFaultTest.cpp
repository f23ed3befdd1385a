// Faults injected on every JTAG-programmed CPLD row: a cell that never
// programs, a part answering another IDCODE, a user break during a read and
// an empty socket. Each ends its entry with -1 and the part powered down.
#include "sim/Catalog.h"
#include "sim/JtagCpldParts.h"
#include "sim/EightBlockChip.h"
#include "sim/FuseArrayChip.h"
#include "sim/IscCpldChip.h"
#include "sim/RowTapChip.h"
#include "tests/logic/JtagCpldFixture.h"
#include "sim/PartFacts.h"

namespace {

// No program or erase pulse reached the part: the model's own record of them.
bool NoPulse(const sim::JtagCpldChip* chip) {
    if (const auto* c = sim::SeatedModel<sim::IscCpldChip>(chip)) {
        return c->Pulses().empty() && c->AddressedRows().empty();
    }
    if (const auto* c = sim::SeatedModel<sim::RowTapChip>(chip)) return c->ProgrammedRows().empty();
    if (const auto* c = sim::SeatedModel<sim::EightBlockChip>(chip)) return c->Pulses().empty();
    if (const auto* c = sim::SeatedModel<sim::FuseArrayChip>(chip)) return c->Erases() == 0;
    return false;
}

struct Row {
    const char* name; // test name
    const char* maker;
    const char* part;
    const char* wrongIdLine;
    uint32_t otherIdcode; // a part another row (or variant) accepts
    uint32_t rowWidth;    // of the JEDEC file
    uint32_t stuckFuse;
};
const Row kRows[] = {
    {"Row249", "ATMEL", "ATF1504AS", " Invalid ID", 0x0150803F, 128, 5000},
    {"Row298", "ATMEL", "ATF1508AS", " Invalid ID", 0x0150403F, 128, 40000},
    {"Row264", "AMD", "MACH111SP", " Incorrect device ID", 0x07058003, 52, 100},
    {"Row265", "AMD", "MACH211SP", " Incorrect device ID", 0x07458003, 52, 9000},
    {"Row266", "AMD", "M4-128/64", " Incorrect device ID", 0x07458003, 66, 30000},
    {"Row293", "LATTICE", "ispLSI2032V", " Invalid ID", 0x10301043, 80, 4000},
    {"Row294", "LATTICE", "ispGAL22LV10", " Invalid ID", 0x00301043, 132, 2000},
};

class JtagCpldFaultTest : public JtagCpldRun, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override {
        JtagCpldRun::SetUp();
        ASSERT_TRUE(SelectPld(GetParam().maker, GetParam().part));
    }
    sim::JtagCpldChip* Seat(sim::JtagCpldFacts f) {
        auto chip = sim::MakeJtagCpld(f);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    sim::JtagCpldChip* Seat() { return Seat(Facts(GetParam().maker, GetParam().part)); }
    void ExpectPoweredDown() { EXPECT_TRUE(elec->SuppliedPins().empty()); }
};

TEST_P(JtagCpldFaultTest, CellThatNeverProgramsFailsVerifyAtItsFuse) {
    const Row& r = GetParam();
    sim::JtagCpldChip* chip = Seat();
    std::vector<uint8_t> fuses(DeviceSize, 1);
    fuses[r.stuckFuse] = 0;
    chip->StickCell(r.stuckFuse);
    LoadFuses(fuses, r.rowWidth);
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Run(OpVerify), -1);
    ExpectLinesInOrder({"Verification error!"});
    char line[64];
    std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", r.stuckFuse, r.stuckFuse);
    EXPECT_TRUE(HasLine(line)) << LogText();
    EXPECT_EQ(chip->Cell(r.stuckFuse), 1);
    ExpectPoweredDown();
}

// Every entry reads the IDCODE before anything else: another part's ends it
// with the row's line, powered down, no pulse given and no fuse changed.
TEST_P(JtagCpldFaultTest, WrongIdcodeEndsEveryEntryBeforeAnyFuse) {
    const Row& r = GetParam();
    sim::JtagCpldFacts f = Facts(r.maker, r.part);
    f.idcode = r.otherIdcode;
    sim::JtagCpldChip* chip = Seat(f);
    LoadFuses(std::vector<uint8_t>(DeviceSize, 0), r.rowWidth);
    for (int op : {OpBlankCheck, OpProgram, OpRead, OpVerify, OpErase, OpSecurity}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine(r.wrongIdLine)) << LogText();
        ExpectPoweredDown();
    }
    EXPECT_TRUE(NoPulse(chip));
    EXPECT_TRUE(chip->Blank());
    EXPECT_FALSE(chip->Secured());
}

// A read the user stops fails as a read (the driver's read error), within
// the walk: fewer clocks than a whole read takes.
TEST_P(JtagCpldFaultTest, UserBreakDuringAReadFailsPoweredDown) {
    sim::JtagCpldChip* chip = Seat();
    ASSERT_EQ(Run(OpRead), 1) << LogText();
    const uint64_t wholeRead = chip->Tap().TckCycles();
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(HasLine("Read error!")) << LogText();
    const uint64_t broken = chip->Tap().TckCycles() - wholeRead;
    EXPECT_GT(broken, wholeRead / 10);
    EXPECT_LT(broken, wholeRead * 9 / 10);
    ExpectPoweredDown();
    ExpectNoViolations();
}

// Nothing answers on TDO: the IDCODE (or the instruction capture) is wrong.
TEST_P(JtagCpldFaultTest, EmptySocketFailsPoweredDown) {
    for (int op : {OpBlankCheck, OpRead, OpErase}) {
        SCOPED_TRACE(op);
        EXPECT_EQ(Run(op), -1) << LogText();
        ExpectPoweredDown();
    }
    EXPECT_TRUE(HasLine(GetParam().wrongIdLine)) << LogText();
}

INSTANTIATE_TEST_SUITE_P(Rows, JtagCpldFaultTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// The parts that need a programming voltage on a socket pin (11.0 V on 46 or
// 13, 9.2 V on 13): seen elsewhere, nothing programs and the run fails.
struct HighVoltageCase {
    const char* name;
    const char* maker;
    const char* part;
    uint32_t rowWidth;
};
const HighVoltageCase kHighVoltageCases[] = {
    {"PlccPin46", "ATMEL", "ATF1504AS", 128},
    {"TqfpPin13", "ATMEL", "ATF1508AS", 128},
    {"EightBlockPin13", "AMD", "M4-128/64", 66},
};

class JtagCpldHighVoltageTest : public JtagCpldRun, public ::testing::WithParamInterface<HighVoltageCase> {};

TEST_P(JtagCpldHighVoltageTest, WithoutTheProgrammingVoltageNothingIsProgrammed) {
    const HighVoltageCase& c = GetParam();
    ASSERT_TRUE(SelectPld(c.maker, c.part));
    sim::JtagCpldFacts f = Facts(c.maker, c.part);
    f.hv = 45; // the part looks for its programming voltage where none comes
    auto made = sim::MakeJtagCpld(f);
    elec->DeclareChip(made->Limits());
    sim::JtagCpldChip* chip = socket->Insert(std::move(made));
    LoadFuses(Pattern(DeviceSize, 7), c.rowWidth);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(chip->Blank());
    EXPECT_FALSE(chip->Secured());
    if (const auto* isc = sim::SeatedModel<sim::IscCpldChip>(chip)) {
        EXPECT_FALSE(isc->Enabled());
    }
}

INSTANTIATE_TEST_SUITE_P(Parts, JtagCpldHighVoltageTest, ::testing::ValuesIn(kHighVoltageCases),
                         [](const ::testing::TestParamInfo<HighVoltageCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
