// Row 295 against the row-serial EPM chip model: every record through the
// driver with POF and JEDEC files, the identification rules, the rows the
// entries touch, the read and program traffic, and injected faults.
#include <algorithm>
#include <set>

#include "engine/RowDef.h"
#include "logic/EpmRowShift.h"
#include "sim/EpmRowChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kEpmMaker = "ALTERA";

struct EpmRecord {
    const char* name;
    int variant;
    uint32_t fuses;
};
constexpr EpmRecord kEpmRecords[] = {
    {"EPM7032LC44", 0, 14672}, {"EPM7032LC44@47", 0, 14672}, {"EPM7064LC44", 1, 29424}, {"EPM7064LC68", 1, 29456},
    {"EPM7096LC68", 2, 44352}, {"EPM7096LC84", 2, 44376},    {"EPM7128LC84", 3, 56320},
};

class EpmRowShiftTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }
    static sim::EpmRowFacts EpmFacts(const char* name) {
        return *sim::FindFacts<sim::EpmRowFacts>(kEpmMaker, name);
    }
    sim::EpmRowChip* SeatEpm(const char* name) { return SeatEpm(name, EpmFacts(name)); }
    sim::EpmRowChip* SeatEpm(const char* name, const sim::EpmRowFacts& f) {
        EXPECT_TRUE(SelectPld(kEpmMaker, name)) << name;
        return SeatAlone<sim::EpmRowChip>(f);
    }
    // A user map the part can hold: a 6-block part's coded fields take
    // values 0-10 only (four fuses a field from 43392 on).
    static std::vector<uint8_t> EpmPattern(const EpmRecord& r, uint32_t seed) {
        std::vector<uint8_t> f = Pattern(r.fuses, seed);
        if (r.variant == 2)
            for (uint32_t n = 43392; n < 44256; n += 4) f[n] = 0;
        return f;
    }
    // The map saved as a POF file and loaded back into a cleared buffer.
    void LoadAsPof(const std::vector<uint8_t>& fuses) {
        SetUserFuses(fuses);
        ASSERT_EQ(SavePofFile("in.pof"), 1);
        ClearUserMap(static_cast<uint32_t>(fuses.size()));
        ASSERT_EQ(LoadPofFile("in.pof"), 1);
        ASSERT_EQ(UserFuses(static_cast<uint32_t>(fuses.size())), fuses);
    }
    static std::set<int> WrittenRows(const sim::EpmRowChip* chip) {
        std::set<int> rows;
        for (const auto& s : chip->Strobes())
            if (s.applied) rows.insert(s.row);
        return rows;
    }
};

// Blank check, program from a POF file, verify, read into a cleared buffer
// and save the same POF bytes; program again from a JEDEC file (the "C"
// field kept); erase with the driver's blank check; Secure.
TEST_F(EpmRowShiftTest, EveryRecordThroughTheDriver) {
    for (const EpmRecord& r : kEpmRecords) {
        SCOPED_TRACE(r.name);
        sim::EpmRowChip* chip = SeatEpm(r.name);
        EXPECT_EQ(CurrentAlgorithm, 295u);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();

        const std::vector<uint8_t> fuses = EpmPattern(r, r.fuses);
        LoadAsPof(fuses);
        const std::string pof = FormatPofFile();
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        EXPECT_TRUE(HasLine("Verification ok!")) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(FormatPofFile(), pof);

        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        const std::vector<uint8_t> other = EpmPattern(r, r.fuses + 1);
        LoadFuses(other, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), other);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));

        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_FALSE(chip->Locked());
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Locked());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

} // namespace
