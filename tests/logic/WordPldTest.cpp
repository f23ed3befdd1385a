// Row 211 end to end against the 20-bit word chip model in both adapters:
// the driver's operations, the fuse layout, injected faults and the adapter
// refusal.
#include "engine/AlgorithmTable.h"
#include "logic/WordPld.h"
#include "sim/WordPldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kWordPldMaker = "GENERIC-ALGORITHM";
constexpr const char* kWordPldRecords[] = {"EEPLD6504", "EEPLD6504-PLCC"};
constexpr uint32_t kWordPldFuses = 6504;

class WordPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    sim::WordPldChip* Seat(const char* name) {
        EXPECT_TRUE(SelectPld(kWordPldMaker, name));
        return SeatAlone<sim::WordPldChip>(*sim::FindFacts<sim::WordPldFacts>(kWordPldMaker, name));
    }
};

// Both adapters through the driver: blank check, program with the driver's
// verify, read back equal, the saved file keeps its "C" field, erase with
// the driver's blank check, secure with the driver's check expecting 0.
TEST_F(WordPldTest, EveryRecordThroughTheDriver) {
    for (const char* name : kWordPldRecords) {
        SCOPED_TRACE(name);
        sim::WordPldChip* chip = Seat(name);
        EXPECT_EQ(CurrentAlgorithm, 211u);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        const std::vector<uint8_t> fuses = Pattern(kWordPldFuses, 211);
        ExpectRoundTripThenErase(fuses, FuseRowLength, [&] { return Cells(chip, kWordPldFuses); });
        EXPECT_TRUE(chip->Blank());
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(chip->Secured());
        ExpectNoViolations();
    }
}

// Rows 62 and 63 latch sub-block 7 and write it as 0; every row loads eight
// words and is written once.
TEST_F(WordPldTest, RowTraffic) {
    sim::WordPldChip* chip = Seat(kWordPldRecords[0]);
    LoadFuses(std::vector<uint8_t>(kWordPldFuses, 1), FuseRowLength);
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<int> rows;
    for (int r = 0; r < 44; ++r) rows.push_back(r);
    for (int r = 60; r < 64; ++r) rows.push_back(r);
    EXPECT_EQ(chip->RowWrites(), rows);
    ASSERT_EQ(chip->Loads().size(), rows.size() * 8);
    for (const auto& l : chip->Loads()) {
        if (l.row >= 62 && l.subBlock == 7) {
            EXPECT_EQ(l.word, 0u) << l.row;
        } else if (l.row < 44 && l.subBlock < 4) {
            EXPECT_EQ(l.word, (1u << 20) - 1) << l.row;
        }
    }
}

// A cell that never programs: the verify names its fuse; a part that
// ignores erase fails the blank check; ESC answered No does not stop a read.
TEST_F(WordPldTest, InjectedFaults) {
    for (const char* name : kWordPldRecords) {
        for (uint32_t stuck : {0u, 445u, 6443u, 6503u}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(stuck));
            sim::WordPldChip* chip = Seat(name);
            chip->StickCell(stuck);
            LoadFuses(std::vector<uint8_t>(kWordPldFuses, 0), FuseRowLength);
            EXPECT_EQ(Run(OpProgram), -1);
            char line[64];
            std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", stuck, stuck);
            EXPECT_TRUE(HasLine(line)) << LogText();
            EXPECT_TRUE(elec->SuppliedPins().empty());
        }
        sim::WordPldChip* chip = Seat(name);
        chip->SetCell(1000, 0);
        chip->IgnoreErase();
        EXPECT_NE(Run(OpErase), 1);
        EXPECT_TRUE(HasLine(" Fail address : 1000(3E8h)")) << LogText();

        Seat(name);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        ExpectNoViolations();
    }
}

// An adapter code without pin roles: every entry refuses before anything is
// powered; the module's adapters are the ones the librarian accepts.
TEST_F(WordPldTest, UnknownAdapterRefusedUnpowered) {
    for (uint8_t code : {uint8_t{0}, uint8_t{25}, uint8_t{81}, uint8_t{'P'}}) {
        SCOPED_TRACE(static_cast<int>(code));
        sim::WordPldChip* chip = Seat(kWordPldRecords[0]);
        AdapterCode = code;
        EXPECT_EQ(AlgorithmTable[211].Read(2), -1);
        EXPECT_EQ(AlgorithmTable[211].Program(), -1);
        EXPECT_EQ(AlgorithmTable[211].Erase(), -1);
        EXPECT_EQ(AlgorithmTable[211].Secure(), -1);
        EXPECT_TRUE(chip->Loads().empty());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
    for (uint32_t code = 0; code < 256; ++code)
        EXPECT_EQ(WordPldAdapterSupported(code), WordPldPinsFor(code) != nullptr) << code;
}

// The layout: every fuse 0..6503 once per adapter (a read of a random map
// gives the map whatever the buffer held), and golden positions.
TEST_F(WordPldTest, LayoutReachesEveryFuseOnce) {
    std::vector<int> seen(kWordPldFuses, 0);
    for (int row : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
                    28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 60, 61, 62, 63})
        for (int s = 0; s < 8; ++s)
            for (int b = 0; b < 20; ++b) {
                const int f = sim::WordPldChip::FuseAt(row, s, b);
                if (f >= 0) ++seen[static_cast<size_t>(f)];
            }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(kWordPldFuses));
    struct Golden {
        int row, s, bit, fuse;
    };
    for (const Golden g : {Golden{5, 0, 0, 3 * 44 + 5}, Golden{5, 3, 19, 136 * 44 + 5}, Golden{7, 6, 19, 139 * 44 + 7},
                           Golden{5, 7, 1, 10 * 44 + 5}, Golden{43, 7, 18, 132 * 44 + 43},
                           Golden{61, 1, 19, 6160 + 8 * 31 + 2 + 1}, Golden{61, 4, 9, 6416 + 22 + 4 + 1},
                           Golden{63, 6, 10, 6416 + 66 + 12 + 8 + 1}, Golden{62, 7, 0, -1}})
        EXPECT_EQ(sim::WordPldChip::FuseAt(g.row, g.s, g.bit), g.fuse) << g.row << " " << g.s << " " << g.bit;

    for (const char* name : kWordPldRecords) {
        SCOPED_TRACE(name);
        sim::WordPldChip* chip = Seat(name);
        const std::vector<uint8_t> map = Pattern(kWordPldFuses, 5);
        for (uint32_t n = 0; n < kWordPldFuses; ++n) chip->SetCell(n, map[n]);
        for (uint32_t fill : {0u, 1u}) {
            for (uint32_t n = 0; n < kWordPldFuses; ++n) SetBufferBit(n, fill);
            EXPECT_EQ(Run(OpRead), 1) << LogText();
            EXPECT_EQ(UserFuses(kWordPldFuses), map);
        }
        ExpectNoViolations();
    }
}

} // namespace
