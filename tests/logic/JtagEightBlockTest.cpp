// Row 266 end to end: both records against their parts with the E and user
// code bits, a wrong IDCODE, a failing blank check, the supply by variant and
// the socket-pin traffic.
#include <cstdint>

#include "logic/BlockCpldLayout.h"
#include "sim/EightBlockChip.h"
#include "tests/logic/JtagCpldFixture.h"

namespace {

struct JtagEightBlockRecord {
    const char* name;
};
const JtagEightBlockRecord kJtagEightBlockRecords[] = {{"M4-128/64"}, {"M4LV-128/64"}};
constexpr uint32_t kJtagEightBlockFuses = 54096, kEFuse = 54096, kEBits = 73, kUserFuse = 59000;

std::string TestName(const ::testing::TestParamInfo<JtagEightBlockRecord>& info) {
    std::string n = info.param.name;
    for (char& c : n) {
        if (c == '/' || c == '-') c = '_';
    }
    return n;
}

class JtagEightBlockTest : public JtagCpldRun {
protected:
    sim::EightBlockChip* Seat(const std::string& name) { return SeatJtag<sim::EightBlockChip>(Facts("AMD", name)); }
};

class JtagEightBlockRecordTest : public JtagEightBlockTest, public ::testing::WithParamInterface<JtagEightBlockRecord> {};

TEST_P(JtagEightBlockRecordTest, ProgramsReadsErasesAndSecures) {
    const JtagEightBlockRecord& r = GetParam();
    ASSERT_TRUE(SelectPld("AMD", r.name));
    EXPECT_EQ(DeviceSize, kJtagEightBlockFuses);
    sim::EightBlockChip* chip = Seat(r.name);

    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText(); // E compared raw with the blank value
    const std::vector<uint8_t> fuses = Pattern(kJtagEightBlockFuses, 9);
    LoadFuses(fuses, 66);
    const std::vector<uint8_t> e = Pattern(kEBits, 4), user = Pattern(32, 6);
    for (uint32_t i = 0; i < kEBits; ++i) SetBufferBit(kEFuse + i, e[i]);
    for (uint32_t i = 0; i < 32; ++i) SetBufferBit(kUserFuse + i, user[i]);
    // Our own file with its "E" and "U" fields, loaded back.
    std::ofstream("in.jed", std::ios::binary) << FormatJedecText(nullptr, 0);
    uint32_t fileSum = 0, blown = 0;
    ASSERT_EQ(LoadJedecFile("in.jed", fileSum, blown), 1);
    EXPECT_EQ(GetBufferBit(kEFuse + 3), e[3]);
    EXPECT_EQ(GetBufferBit(kUserFuse + 5), user[5]);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    EXPECT_EQ(Cells(chip, kJtagEightBlockFuses), fuses);
    EXPECT_EQ(chip->Cell(kEFuse), e[0]); // through row 79 as it is
    for (uint32_t i = 1; i < kEBits; ++i) EXPECT_EQ(chip->Cell(kEFuse + i), 1 - e[i]) << i; // complemented
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ((chip->UserCode() >> i) & 1, user[i]) << i;
    for (const auto& p : chip->Pulses()) {
        if (p.instruction == 7) continue; // pin 12 low through a read scan
        EXPECT_EQ(p.instruction, 6u);
        EXPECT_GE(p.widthUs, 50000u);
        EXPECT_LT(p.widthUs, 52000u);
    }
    EXPECT_EQ(chip->ReadScansWithoutPulseLow(), 0u);

    for (uint32_t n = 0; n < kJtagEightBlockFuses; ++n) SetBufferBit(n, 0);
    for (uint32_t i = 0; i < kEBits; ++i) SetBufferBit(kEFuse + i, 0);
    for (uint32_t i = 0; i < 32; ++i) SetBufferBit(kUserFuse + i, 0);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(kJtagEightBlockFuses), fuses);
    for (uint32_t i = 0; i < kEBits; ++i) EXPECT_EQ(GetBufferBit(kEFuse + i), e[i]) << i;
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(GetBufferBit(kUserFuse + i), user[i]) << i;
    ExpectSavedChecksumOfLoadedFile();

    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_TRUE(chip->Blank());

    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ExpectLinesInOrder({"Security ok!"});
    EXPECT_TRUE(chip->Secured());
    ExpectNoViolations();
}

// Another part's IDCODE ends each run at " Incorrect device ID", no pulse given.
TEST_P(JtagEightBlockRecordTest, AnotherIdcodeEndsTheRunAtItsLine) {
    ASSERT_TRUE(SelectPld("AMD", GetParam().name));
    sim::EightBlockChip* chip = Seat(GetParam().name);
    LoadFuses(Pattern(kJtagEightBlockFuses, 5), 66);
    ExpectIdentityRefusedAtItsLine(chip, " Incorrect device ID");
    for (const auto& p : chip->Pulses()) EXPECT_EQ(p.instruction, 7u); // the last blank check's reads only
}

INSTANTIATE_TEST_SUITE_P(Records, JtagEightBlockRecordTest, ::testing::ValuesIn(kJtagEightBlockRecords), TestName);

TEST_F(JtagEightBlockTest, BlankCheckFailingInRowFiveReportsThatFuse) {
    ASSERT_TRUE(SelectPld("AMD", "M4-128/64"));
    sim::EightBlockChip* chip = Seat("M4-128/64");
    chip->SetCell(66 * 3 + 5, 0); // block 0, clock 3, row 5
    EXPECT_EQ(Run(OpBlankCheck), -1);
    EXPECT_TRUE(HasLine("Blank check error!")) << LogText();
    EXPECT_TRUE(HasLine(" Fail address : 203(CBh)")) << LogText();
}

TEST_F(JtagEightBlockTest, FiveVoltsOnTheThreeVoltPartIsAViolation) {
    ASSERT_TRUE(SelectPld("AMD", "M4-128/64")); // variant 0: programmed at 5.0 V
    sim::EightBlockChip* chip = Seat("M4LV-128/64");
    EXPECT_EQ(Run(OpErase), 1);
    bool found = false;
    for (const auto& v : simp.Violations()) found |= v.find("above the part's maximum") != std::string::npos;
    EXPECT_TRUE(found);
    (void)chip;
}

} // namespace
