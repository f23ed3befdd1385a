// Rows 253 and 254 end to end against the text-list EE PLD models: the
// lists as the rows parse them, the driver's operations on every record,
// the code checks, the refusal of set-ups without pins or a list, bounded
// passes, and the traffic the Part's examples name.
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <tuple>

#include "engine/AlgorithmTable.h"
#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/RowDef.h"
#include "logic/TextListPld.h"
#include "sim/TextListChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kTlMaker = "GENERIC-ALGORITHM";

struct TlRecord {
    const char* name;
    uint32_t row, variant, fuses;
};
constexpr TlRecord kTlRecords[] = {
    {"TLPLD176", 253, 0, 176}, {"TLPLD22", 253, 1, 22}, {"TLPLD25", 253, 2, 25},
    {"TLPLD152L", 254, 0, 152}, {"TLPLD16L", 254, 1, 16},
};

class TextListPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    static sim::TextListFacts Facts(const TlRecord& r) {
        return *sim::FindFacts<sim::TextListFacts>(kTlMaker, r.name);
    }
    sim::TextListChip* Seat(const TlRecord& r) { return Seat(r, Facts(r)); }
    sim::TextListChip* Seat(const TlRecord& r, const sim::TextListFacts& f) {
        EXPECT_TRUE(SelectPld(kTlMaker, r.name));
        return SeatAlone<sim::TextListChip>(f);
    }
    static std::vector<ListRecord> Records(const TlRecord& r) {
        bool header = false;
        auto list = TextListRecords(r.row, TextListEntry(r.row, r.variant), header);
        EXPECT_TRUE(header);
        return list;
    }
    // The fuses as the part holds them: the set mask bits of each record's word.
    static std::vector<uint8_t> PartFuses(const sim::TextListChip* chip, const TlRecord& r) {
        std::vector<uint8_t> f;
        for (const ListRecord& rec : Records(r))
            for (int bit = 0; bit < 8; ++bit)
                if ((rec.Mask >> bit) & 1) f.push_back(static_cast<uint8_t>((chip->Word(rec.Address) >> bit) & 1));
        return f;
    }
};

// The lists: the MASK example (mask 0Fh for 0123h and the bare 0124h), mask
// 0 before the first MASK, a second header word that does not follow the
// first, NWL marks, a record cut short by the entry's end; the mask bits
// of each list are its record's fuse count.
TEST_F(TextListPldTest, ListsAsTheRowsReadThem) {
    const auto v0 = Records(kTlRecords[0]);
    ASSERT_GE(v0.size(), 2u);
    EXPECT_EQ(std::make_tuple(v0[0].Address, v0[0].Mask), std::make_tuple(0x123u, uint8_t{0x0F}));
    EXPECT_EQ(std::make_tuple(v0[1].Address, v0[1].Mask), std::make_tuple(0x124u, uint8_t{0x0F}));
    const auto v1 = Records(kTlRecords[1]);
    ASSERT_FALSE(v1.empty());
    EXPECT_EQ(std::make_tuple(v1[0].Address, v1[0].Mask), std::make_tuple(0x700u, uint8_t{0}));
    EXPECT_EQ(Records(kTlRecords[2]).front().Address, 0x1000u); // "Version 2.00" passed over
    const auto n0 = Records(kTlRecords[3]);
    ASSERT_EQ(n0.size(), 22u);
    for (size_t i = 0; i < n0.size(); ++i) EXPECT_EQ(n0[i].Marked, i == 2 || i == 3) << i; // 0122 and 0130
    EXPECT_EQ(n0[0].Address, 0x120u); // read whole, no suffix dropped
    EXPECT_EQ(n0[3].Mask, 0xC3);
    EXPECT_EQ(Records(kTlRecords[4]).size(), 2u); // "MASK m 0FH x" at the end: ignored
    for (const TlRecord& r : kTlRecords) {
        SCOPED_TRACE(r.name);
        uint32_t bits = 0;
        for (const ListRecord& rec : Records(r)) bits += static_cast<uint32_t>(__builtin_popcount(rec.Mask));
        EXPECT_EQ(bits, r.fuses);
        ASSERT_TRUE(SelectPld(kTlMaker, r.name));
        EXPECT_EQ(DeviceSize, r.fuses);
    }
    bool header = true;
    EXPECT_TRUE(TextListRecords(253, 290, header).empty()); // a row-254 list has no row-253 header
    EXPECT_FALSE(header);
}

// Blank check, program from a JEDEC file with the driver's verify, the
// part's words, read into a cleared buffer, erase to blank; Secure, then
// the next read refused with " Device Secured!" while Erase accepts the
// secured part and opens it again.
TEST_F(TextListPldTest, EveryRecordThroughTheDriver) {
    for (const TlRecord& r : kTlRecords) {
        SCOPED_TRACE(r.name);
        sim::TextListChip* chip = Seat(r);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();
        const std::vector<uint8_t> fuses = Pattern(r.fuses, r.fuses + r.row);
        LoadFuses(fuses, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_TRUE(HasLine("Program ok!")) << LogText();
        EXPECT_EQ(PartFuses(chip, r), fuses);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), fuses);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(HasLine("Erase ok!")) << LogText();
        EXPECT_TRUE(chip->Blank());
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(HasLine(" Device Secured!")) << LogText();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        EXPECT_TRUE(chip->Blank());
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

// Code checks: a wrong maker or product code refuses every operation with
// its line; row 254 variant 0 takes product 30h only with extra code 0 and
// then programs at 8.6 V and erases at 9.2 V (36h: 7.5 V and 8.0 V).
TEST_F(TextListPldTest, CodeChecksAndVoltageSets) {
    for (const TlRecord& r : kTlRecords) {
        SCOPED_TRACE(r.name);
        sim::TextListFacts f = Facts(r);
        sim::TextListChip* chip = Seat(r, f);
        chip->SetCodes(0xC8, f.product, f.extra);
        for (int op : {OpBlankCheck, OpProgram, OpErase, OpSecurity}) {
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(" Manufacturer's Code Error!")) << LogText();
        }
        chip->SetCodes(0xC9, 0x11, f.extra);
        EXPECT_EQ(Run(OpRead), -1);
        EXPECT_TRUE(HasLine(" Product Code Error!")) << LogText();
        EXPECT_TRUE(chip->Writes().empty());
        ExpectNoViolations();
    }
    const TlRecord& r = kTlRecords[3];
    for (const auto& [product, extra, setB, ok] : {std::tuple<uint8_t, uint8_t, bool, bool>{0x36, 5, false, true},
                                                   {0x30, 0, true, true},
                                                   {0x30, 1, true, false}}) {
        SCOPED_TRACE(std::to_string(product) + " " + std::to_string(extra));
        sim::TextListFacts f = Facts(r);
        f.product = product;
        f.extra = extra;
        f.setB = setB;
        sim::TextListChip* chip = Seat(r, f);
        LoadFuses(std::vector<uint8_t>(r.fuses, 1), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), ok ? 1 : -1) << LogText();
        if (!ok) {
            EXPECT_TRUE(HasLine(" Product Code Error!")) << LogText();
            continue;
        }
        ASSERT_FALSE(chip->Writes().empty());
        for (const auto& w : chip->Writes()) ASSERT_NEAR(w.vppTenths, setB ? 86 : 75, 1);
        chip->ClearLog();
        EXPECT_EQ(Run(OpErase), 1) << LogText();
        int erasePulses = 0;
        for (const auto& p : chip->Pulses())
            if (p.mode == 13 && p.widthUs >= 200000) {
                ++erasePulses;
                EXPECT_NEAR(p.vppTenths, setB ? 92 : 80, 1);
            }
        EXPECT_EQ(erasePulses, 1);
        ExpectNoViolations();
    }
}

// Set-ups without pins or a list: row 253 variant 2 in 44 pins, variant 3,
// row 254 variant 2: " Device not supported!" and -1 before the part is
// touched; the librarian refuses such records.
TEST_F(TextListPldTest, RefusesSetUpsWithoutPinsOrList) {
    struct Case {
        size_t record;
        uint32_t variant, package;
    };
    for (const Case& c : {Case{0, 2, 36}, Case{0, 3, 36}, Case{2, 3, 41}, Case{3, 2, 36}, Case{3, 0, 41}}) {
        const TlRecord& r = kTlRecords[c.record];
        SCOPED_TRACE(std::string(r.name) + " variant " + std::to_string(c.variant));
        sim::TextListChip* chip = Seat(r);
        DeviceVariant = c.variant;
        PackageIndex = c.package;
        for (int op : {OpBlankCheck, OpProgram, OpRead, OpErase, OpSecurity}) {
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
        }
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(chip->Writes().empty());
        ExpectNoViolations();
    }
    const RowDef* d253 = RowDefinition(253);
    const RowDef* d254 = RowDefinition(254);
    ASSERT_TRUE(d253 != nullptr && d254 != nullptr);
    EXPECT_EQ(RowRecordRefusal(*d253, {.Variant = 1, .PackagePins = 44}), "");
    EXPECT_EQ(RowRecordRefusal(*d253, {.Variant = 2, .PackagePins = 84}), "");
    EXPECT_NE(RowRecordRefusal(*d253, {.Variant = 2, .PackagePins = 44}), "");
    EXPECT_NE(RowRecordRefusal(*d253, {.Variant = 3, .PackagePins = 84}), "");
    EXPECT_EQ(RowRecordRefusal(*d254, {.Variant = 1, .PackagePins = 44}), "");
    EXPECT_NE(RowRecordRefusal(*d254, {.Variant = 2, .PackagePins = 44}), "");
    EXPECT_NE(RowRecordRefusal(*d254, {.Variant = 0, .PackagePins = 84}), "");
    EXPECT_EQ(AlgorithmRow(253)->Options, Alg250Options);
    EXPECT_EQ(AlgorithmRow(254)->Options, AlgNoOperation);
}

// An erase the part ignores: 30 passes on row 253 (both pulses each), 15
// on row 254, then "Erase error!". A word needing three program pulses
// passes on the third pass. ESC answered No ends a read.
TEST_F(TextListPldTest, BoundedPassesAndUserBreak) {
    for (const auto& [record, passes, pulsesPerPass] : {std::tuple<size_t, int, int>{0, 30, 2}, {3, 15, 1}}) {
        const TlRecord& r = kTlRecords[record];
        SCOPED_TRACE(r.name);
        sim::TextListChip* chip = Seat(r);
        chip->SetWord(Records(r)[1].Address, r.row == 253 ? 0x00 : 0xFF);
        chip->IgnoreErase();
        EXPECT_EQ(Run(OpErase), -1) << LogText();
        EXPECT_TRUE(HasLine("Erase error!")) << LogText();
        int erasePulses = 0;
        for (const auto& p : chip->Pulses()) erasePulses += p.mode == 13 && p.widthUs >= 100000;
        EXPECT_EQ(erasePulses, passes * pulsesPerPass);

        chip = Seat(r);
        const uint32_t word = Records(r)[1].Address;
        chip->NeedPulses(word, 3);
        LoadFuses(std::vector<uint8_t>(r.fuses, r.row == 253 ? 0 : 1), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        int writes = 0;
        for (const auto& w : chip->Writes()) writes += w.address == word;
        EXPECT_EQ(writes, 3);
        ExpectNoViolations();

        Seat(r);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
    }
}

// Row 254: a record whose fuses are all 0 is not written; an NWL record
// gets a 50 ms PGM pulse before its address is set (the lines still at the
// record before). Row 253 Secure passes with one security cell taking, row
// 254 needs every one (its check reads the cells, not the lines it drove).
TEST_F(TextListPldTest, Row254WritesAndSecureRules) {
    const TlRecord& r = kTlRecords[3];
    sim::TextListChip* chip = Seat(r);
    std::vector<uint8_t> fuses(r.fuses, 0);
    fuses[0] = 1; // record 0120 only
    fuses[12] = 1; // record 0130 (NWL)
    LoadFuses(fuses, FuseRowLength);
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<uint32_t> written;
    for (const auto& w : chip->Writes()) written.push_back(w.address);
    EXPECT_EQ(written, (std::vector<uint32_t>{0x120, 0x130}));
    chip = Seat(r);
    LoadFuses(std::vector<uint8_t>(r.fuses, 1), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    std::vector<uint32_t> marks;
    for (const auto& p : chip->Pulses())
        if (p.mode == 12 && p.widthUs >= 50000) {
            EXPECT_LT(p.widthUs, 52000u);
            marks.push_back(p.address);
        }
    EXPECT_EQ(marks, (std::vector<uint32_t>{0x121, 0x122}));

    // Row 253: every security cell but the last never takes; Secure passes.
    const TlRecord& r253 = kTlRecords[1]; // nine security cells
    constexpr uint32_t kCells253[9] = {0x060, 0x163, 0x883, 0x2163, 0x2883, 0x4163, 0x4883, 0x6163, 0x6883};
    chip = Seat(r253);
    for (int i = 0; i < 8; ++i) chip->StickCell(sim::TextListChip::CellOf(kCells253[i], 6));
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    // Row 254: one of its four cells never takes; Secure fails.
    chip = Seat(kTlRecords[4]);
    chip->StickCell(sim::TextListChip::CellOf(0x3163, 6));
    EXPECT_EQ(Run(OpSecurity), -1) << LogText();
    chip = Seat(kTlRecords[4]);
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    ExpectNoViolations();
}

// A copy of the built library with the directory pair of `entry` set raw:
// size 0 is an empty entry, an offset past the file an absent one.
class TlPairPatchedLibrary {
public:
    TlPairPatchedLibrary(uint32_t entry, uint32_t offset, uint32_t size) : dir_(ProgramDirectory), file_(LibraryFileName) {
        std::ifstream in(LibraryFilePath(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (int i = 0; i < 4; ++i) {
            bytes[2 + 8 * entry + i] = static_cast<char>(offset >> (8 * i));
            bytes[2 + 8 * entry + 4 + i] = static_cast<char>(size >> (8 * i));
        }
        std::ofstream("tl-pair-patched.dat", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        char cwd[4096];
        ProgramDirectory = getcwd(cwd, sizeof cwd) ? cwd : ".";
        LibraryFileName = "tl-pair-patched.dat";
        CloseLibrary();
    }
    ~TlPairPatchedLibrary() {
        ProgramDirectory = dir_;
        LibraryFileName = file_;
        CloseLibrary();
    }

private:
    std::string dir_, file_;
};

// A record whose text list is empty or absent: every walk ends with -1
// after the code check, programs nothing and logs no line of its own.
TEST_F(TextListPldTest, EmptyOrAbsentListFailsWithoutALine) {
    for (size_t i : {0u, 3u}) {
        const TlRecord& r = kTlRecords[i];
        for (const bool absent : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (absent ? " absent" : " empty"));
            sim::TextListChip* chip = Seat(r);
            TlPairPatchedLibrary lib(TextListEntry(r.row, r.variant), absent ? 0xFFFFFFF0u : 0u, absent ? 16u : 0u);
            for (int op : {OpBlankCheck, OpProgram, OpRead, OpVerify}) {
                SCOPED_TRACE(op);
                const size_t before = ui.Log.size();
                EXPECT_EQ(Run(op), -1) << LogText();
                for (size_t k = before; k < ui.Log.size(); ++k) {
                    const std::string& line = ui.Log[k];
                    const bool driver = line.find("error!") != std::string::npos || line.rfind(" Fail address", 0) == 0 ||
                                        line.find("...") != std::string::npos || line.rfind("--", 0) == 0 ||
                                        line.rfind("-CheckSum", 0) == 0;
                    EXPECT_TRUE(driver) << line;
                }
            }
            EXPECT_TRUE(chip->Writes().empty());
            ExpectNoViolations();
        }
    }
}

} // namespace
