// Rows 283 and 284 end to end over the column bus images: every record
// against its part, the library's fuse-number maps against the parts' cell
// layouts, the column traffic, the security cell and the faults the driver
// must report, a short or missing map among them.
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "engine/Library.h"
#include "sim/ColumnPldBus.h"
#include "sim/ColumnPldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

struct ColumnPldRecord {
    const char* name;
    uint32_t row;
    uint32_t fuses;
    uint32_t rowWidth;
    int programTenths;
};
const ColumnPldRecord kColumnPldRecords[] = {
    {"750-283", 283, 14394, 84, 50},
    {"22V10-284-3V", 284, 5892, 44, 30},
    {"22V10-284-5V", 284, 5892, 44, 50},
};

void PrintTo(const ColumnPldRecord& r, std::ostream* os) {
    *os << r.name;
}

std::string ColumnPldName(const ::testing::TestParamInfo<ColumnPldRecord>& info) {
    std::string n;
    for (const char* c = info.param.name; *c; ++c)
        n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return n;
}

constexpr const char* kColumnMaker = "GENERIC-ALGORITHM";

class ColumnPldTest : public PldRun {
  protected:
    void SetUp() override {
        PldRun::SetUp();
        sim::RegisterColumnPldBusPersonality();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    void TearDown() override {
        RestoreLibrary();
        PldRun::TearDown();
    }
    static sim::ColumnPldFacts ColumnFacts(const char* name) {
        const sim::ColumnPldFacts* f = sim::FindColumnPldPart(kColumnMaker, name);
        EXPECT_NE(f, nullptr) << name;
        return f ? *f : sim::ColumnPldFacts{};
    }
    sim::ColumnPldChip* SelectAndSeatColumn(const char* name, const char* part = nullptr) {
        EXPECT_TRUE(SelectPld(kColumnMaker, name));
        return SeatAlone<sim::ColumnPldChip>(ColumnFacts(part ? part : name));
    }
    static std::string FailLineOf(uint32_t fuse) {
        char line[64];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
        return line;
    }
    // The library's map word of a column's data bit, as the rows index it.
    static uint32_t MapIndex(bool wide, int column, int stage) {
        if (wide)
            return 10965u * static_cast<uint32_t>(column / 42) + 43u * static_cast<uint32_t>(stage) +
                   static_cast<uint32_t>(column % 42);
        return 46u * static_cast<uint32_t>(stage) + static_cast<uint32_t>(column);
    }
    // From here on the operations read a copy of the library whose directory
    // gives `entry` the size `bytes`.
    void UseLibraryWithEntrySize(uint32_t entry, uint32_t bytes) {
        savedDirectory_ = ProgramDirectory;
        savedName_ = LibraryFileName;
        std::ifstream in(LibraryFilePath(), std::ios::binary);
        std::vector<char> lib((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(lib.size(), 2 + 8 * size_t{entry} + 8);
        for (int i = 0; i < 4; ++i)
            lib[2 + 8 * size_t{entry} + 4 + static_cast<size_t>(i)] = static_cast<char>((bytes >> (8 * i)) & 0xFF);
        const std::string name = "column-map-" + std::to_string(getpid()) + ".dat";
        patched_ = std::filesystem::temp_directory_path() / name;
        std::ofstream(patched_, std::ios::binary).write(lib.data(), static_cast<std::streamsize>(lib.size()));
        ProgramDirectory = patched_.parent_path().string();
        LibraryFileName = name;
    }

    void RestoreLibrary() {
        if (savedDirectory_.empty()) return;
        ProgramDirectory = savedDirectory_;
        LibraryFileName = savedName_;
        savedDirectory_.clear();
        std::filesystem::remove(patched_);
    }

  private:
    std::string savedDirectory_, savedName_;
    std::filesystem::path patched_;
};

class ColumnPldRecordTest : public ColumnPldTest, public ::testing::WithParamInterface<ColumnPldRecord> {};

TEST_P(ColumnPldRecordTest, ProgramsReadsErasesAndSecures) {
    const ColumnPldRecord& r = GetParam();
    sim::ColumnPldChip* chip = SelectAndSeatColumn(r.name);
    EXPECT_EQ(CurrentAlgorithm, r.row);
    EXPECT_EQ(DeviceSize, r.fuses);

    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    const std::vector<uint8_t> fuses = Pattern(r.fuses, r.row);
    LoadFuses(fuses, r.rowWidth);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ExpectLinesInOrder({"Program ok!", "Verification ok!"});
    EXPECT_EQ(Cells(chip, r.fuses), fuses);
    // One pulse a column, at the programming supply, each addressing the next
    // column as the part decodes it; cells that hold no fuse stay erased.
    ASSERT_EQ(chip->Pulses().size(), static_cast<size_t>(chip->Columns()));
    for (int c = 0; c < chip->Columns(); ++c) {
        const auto& p = chip->Pulses()[static_cast<size_t>(c)];
        EXPECT_TRUE(p.program);
        EXPECT_EQ(chip->ColumnOf(p.address), c);
        EXPECT_GE(p.widthUs, 10000u);
        EXPECT_NEAR(p.vccTenths, r.programTenths, 1);
        for (int s = 0; s < chip->Stages(); ++s) {
            if (chip->FuseAt(c, s) < 0) {
                ASSERT_EQ(chip->SpareCell(c, s), 1) << c << " " << s;
            }
        }
    }
    EXPECT_FALSE(chip->Secured());

    ClearUserMap(r.fuses);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(r.fuses), fuses);
    EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));

    EXPECT_EQ(Run(OpErase), 1) << LogText();
    ExpectLinesInOrder({"Erase ok!"});
    EXPECT_TRUE(chip->Blank());
    ASSERT_FALSE(chip->Pulses().empty());
    EXPECT_FALSE(chip->Pulses().back().program);
    EXPECT_GE(chip->Pulses().back().widthUs, 100000u);

    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ExpectLinesInOrder({"Security ok!"});
    EXPECT_TRUE(chip->Secured());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// A cell that never programs: the program run returns 1, the driver's
// verify names the cell.
TEST_P(ColumnPldRecordTest, VerifyNamesACellThatNeverPrograms) {
    const ColumnPldRecord& r = GetParam();
    sim::ColumnPldChip* chip = SelectAndSeatColumn(r.name);
    const uint32_t stuck = r.fuses / 3;
    chip->StickCell(stuck);
    std::vector<uint8_t> fuses(r.fuses, 1);
    fuses[stuck] = 0;
    LoadFuses(fuses, r.rowWidth);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(HasLine("Program ok!")) << LogText();
    EXPECT_TRUE(HasLine(FailLineOf(stuck))) << LogText();
    ExpectNoViolations();
}

// A map shorter than its rows' index range reads as missing: every slot
// returns -1 before anything is powered. Without the check its missing
// words would read 0 and send their cells to fuse 0.
TEST_P(ColumnPldRecordTest, ShortOrMissingMapPowersNothing) {
    const ColumnPldRecord& r = GetParam();
    sim::ColumnPldChip* chip = SelectAndSeatColumn(r.name);
    const uint32_t entry = r.row == 283 ? 207 : 209;
    const uint32_t full = r.row == 283 ? 43860 : 12144;
    LoadFuses(Pattern(r.fuses, 3), r.rowWidth);
    for (uint32_t bytes : {full - 2, full / 2, 0u}) {
        SCOPED_TRACE(bytes);
        UseLibraryWithEntrySize(entry, bytes);
        for (int op : {OpBlankCheck, OpProgram, OpRead, OpErase, OpSecurity}) {
            SCOPED_TRACE(op);
            EXPECT_EQ(Run(op), -1) << LogText();
        }
        RestoreLibrary();
    }
    EXPECT_EQ(chip->PowerUps(), 0u);
    // The full map works on the same set-up.
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_GT(chip->PowerUps(), 0u);
    ExpectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Records, ColumnPldRecordTest, ::testing::ValuesIn(kColumnPldRecords), ColumnPldName);

// The built maps: exactly the size the rows index, every fuse of the part
// once, each word the fuse of the part's cell there, the security cell's
// place and the words the rows never read naming no fuse.
TEST_F(ColumnPldTest, LibraryMapsMatchThePartsLayouts) {
    struct Map {
        const char* part;
        uint32_t entry, words, limit, securityWord;
    };
    for (const Map& m : {Map{"750-283", 207, 21930, 60000, 11005}, Map{"22V10-284-5V", 209, 6072, 9000, 6071}}) {
        SCOPED_TRACE(m.part);
        const sim::ColumnPldChip chip(ColumnFacts(m.part));
        ASSERT_EQ(OpenLibraryEntry(m.entry), 2 * m.words);
        std::vector<uint16_t> words(m.words);
        for (uint32_t k = 0; k < m.words; ++k)
            words[k] = ReadLibraryWord(k);
        std::vector<int> seen(chip.Facts().fuses, 0);
        std::vector<bool> used(m.words, false);
        const bool wide = chip.Facts().wide;
        for (int c = 0; c < chip.Columns(); ++c) {
            for (int s = 0; s < chip.Stages(); ++s) {
                const uint32_t k = MapIndex(wide, c, s);
                ASSERT_LT(k, m.words);
                used[k] = true;
                const int32_t f = chip.FuseAt(c, s);
                if (f < 0) {
                    ASSERT_GE(words[k], m.limit) << c << " " << s;
                } else {
                    ASSERT_EQ(words[k], static_cast<uint32_t>(f)) << c << " " << s;
                    ++seen[static_cast<size_t>(f)];
                }
            }
        }
        for (uint32_t n = 0; n < seen.size(); ++n)
            ASSERT_EQ(seen[n], 1) << n;
        EXPECT_GE(words[m.securityWord], m.limit);
        for (uint32_t k = 0; k < m.words; ++k) {
            if (!used[k]) {
                EXPECT_GE(words[k], m.limit) << k;
            }
        }
    }
    // Golden cells: the first bit shifted into column 0 holds fuse 0; the
    // second half of row 283's columns starts at word 10965.
    const sim::ColumnPldChip wide(ColumnFacts("750-283"));
    EXPECT_EQ(wide.FuseAt(0, 254), 0);
    EXPECT_EQ(wide.FuseAt(42, 254), 42);
    EXPECT_EQ(wide.ColumnOf(64), 42);
    EXPECT_EQ(wide.ColumnOf(124), 82);
    EXPECT_EQ(wide.ColumnOf(62), -1);
    const sim::ColumnPldChip narrow(ColumnFacts("22V10-284-5V"));
    EXPECT_EQ(narrow.FuseAt(44, 131), 5808);
    EXPECT_EQ(narrow.ColumnOf(59), 45);
    EXPECT_EQ(narrow.ColumnOf(47), -1);
}

// Reads: row 283 clocks 254 times for its 255 bits, row 284 once after each
// of its 132; each load follows its column's address. Cells that hold no
// fuse are never compared.
TEST_F(ColumnPldTest, ReadTrafficAndCellsWithoutFuse) {
    struct Case {
        const char* name;
        uint32_t fuses, rowWidth, clocksBetweenLoads;
    };
    for (const Case& k : {Case{"750-283", 14394, 84, 254 + 7}, Case{"22V10-284-5V", 5892, 44, 132 + 6}}) {
        SCOPED_TRACE(k.name);
        sim::ColumnPldChip* chip = SelectAndSeatColumn(k.name);
        const std::vector<uint8_t> fuses = Pattern(k.fuses, 5);
        LoadFuses(fuses, k.rowWidth);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        for (int c = 0; c < chip->Columns(); ++c) {
            for (int s = 0; s < chip->Stages(); ++s) {
                if (chip->FuseAt(c, s) < 0) chip->SetSpareCell(c, s, 0);
            }
        }
        const size_t before = chip->Loads().size();
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        const auto& loads = chip->Loads();
        ASSERT_EQ(loads.size() - before, static_cast<size_t>(chip->Columns()));
        for (size_t i = before; i < loads.size(); ++i) {
            EXPECT_EQ(chip->ColumnOf(loads[i].address), static_cast<int>(i - before));
            EXPECT_EQ(loads[i].clocksBefore, i == before ? static_cast<uint32_t>(chip->AddressBits())
                                                         : k.clocksBetweenLoads);
            EXPECT_EQ(loads[i].vccTenths, 50);
        }
        ExpectNoViolations();
    }
}

// Row 284 programs at 3.0 V on variant 0: the 3.0 V part takes the file; the
// 5.0 V record on it is refused by the part.
TEST_F(ColumnPldTest, VariantZeroProgramsAtThreeVolts) {
    sim::ColumnPldChip* chip = SelectAndSeatColumn("22V10-284-3V");
    const std::vector<uint8_t> fuses = Pattern(5892, 11);
    LoadFuses(fuses, 44);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Cells(chip, 5892), fuses);
    ASSERT_FALSE(chip->Loads().empty());
    EXPECT_NEAR(chip->Loads().back().vccTenths, 30, 1);
    ExpectNoViolations();

    chip = SelectAndSeatColumn("22V10-284-5V", "22V10-284-3V");
    LoadFuses(fuses, 44);
    EXPECT_EQ(Run(OpProgram), -1) << LogText();
    EXPECT_TRUE(chip->Blank());
    EXPECT_FALSE(simp.Violations().empty());
}

// Each row's own check after securing, at the cell's read address: a
// security cell that never sets is "Security error!".
TEST_F(ColumnPldTest, SecurityCellThatNeverSets) {
    sim::ColumnPldChip* chip = SelectAndSeatColumn("750-283");
    chip->StickSecurity();
    EXPECT_EQ(Run(OpSecurity), -1) << LogText();
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    ASSERT_FALSE(chip->Loads().empty());
    EXPECT_EQ(chip->Loads().back().address, 62u);

    chip = SelectAndSeatColumn("22V10-284-5V");
    chip->StickSecurity();
    EXPECT_EQ(Run(OpSecurity), -1) << LogText();
    EXPECT_TRUE(HasLine("Security error!")) << LogText();
    EXPECT_TRUE(HasLine(" Security bit not programmed.")) << LogText();
    EXPECT_EQ(DatumLines(), "");
    EXPECT_FALSE(chip->Secured());
    ASSERT_FALSE(chip->Pulses().empty());
    ASSERT_FALSE(chip->Loads().empty());
    EXPECT_EQ(chip->Pulses().back().address, 59u);
    EXPECT_EQ(chip->Loads().back().address, 47u);
    ExpectNoViolations();
}

// ESC answered No during a read ends it with -1; a program run is not
// stopped by a break and returns 1 with the cells written.
TEST_F(ColumnPldTest, BreakEndsAReadButNotAProgramRun) {
    sim::ColumnPldChip* chip = SelectAndSeatColumn("750-283");
    const std::vector<uint8_t> fuses = Pattern(14394, 9);
    LoadFuses(fuses, 84);
    VerifyAfterProgram = 0;
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_EQ(Cells(chip, 14394), fuses);

    const size_t before = chip->Loads().size();
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_LT(chip->Loads().size() - before, 84u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
