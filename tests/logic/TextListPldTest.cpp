// Rows 253 and 254 end to end against the text-list EE PLD models: the
// lists as the rows parse them, the driver's operations on every record,
// the code checks, the refusal of set-ups without pins or a list, bounded
// passes, and the register stream of whole operations written out from the
// rows' protocol.
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Library.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
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
// its line, the run ending there (no fail address); another part seated
// (its product code) likewise. Row 254 variant 0 takes product 30h only
// with extra code 0 and then programs at 8.6 V and erases at 9.2 V (36h:
// 7.5 V and 8.0 V).
TEST_F(TextListPldTest, CodeChecksAndVoltageSets) {
    for (const TlRecord& r : kTlRecords) {
        SCOPED_TRACE(r.name);
        sim::TextListFacts f = Facts(r);
        sim::TextListChip* chip = Seat(r, f);
        chip->SetCodes(0xC8, f.product, f.extra);
        for (int op : {OpBlankCheck, OpProgram, OpErase, OpSecurity}) {
            EXPECT_EQ(Run(op), -1);
            EXPECT_TRUE(HasLine(" Manufacturer's Code Error!")) << LogText();
            EXPECT_EQ(DatumLines(), "");
        }
        chip->SetCodes(0xC9, 0x11, f.extra);
        EXPECT_EQ(Run(OpRead), -1);
        EXPECT_TRUE(HasLine(" Product Code Error!")) << LogText();
        EXPECT_TRUE(chip->Writes().empty());
        ExpectNoViolations();

        chip = Seat(r);
        chip->AnswerAnotherIdentity();
        LoadFuses(Pattern(r.fuses, 9), FuseRowLength);
        ExpectRunsEndAtIdentityLine(" Product Code Error!");
        EXPECT_TRUE(chip->Writes().empty());
        EXPECT_TRUE(chip->Blank());
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
    // No cell takes: Secure fails and the part stays open.
    chip = Seat(r253);
    for (uint32_t a : kCells253) chip->StickCell(sim::TextListChip::CellOf(a, 6));
    EXPECT_EQ(Run(OpSecurity), -1) << LogText();
    ExpectLinesInOrder({"Security error!", " Security cells not programmed (bit 6 reads 1 in all 9)."});
    EXPECT_EQ(DatumLines(), ""); // the lock has no fuse to name
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_FALSE(HasLine(" Device Secured!")) << LogText();
    // Row 254: one of its four cells never takes; Secure fails naming it.
    chip = Seat(kTlRecords[4]);
    chip->StickCell(sim::TextListChip::CellOf(0x3163, 6));
    EXPECT_EQ(Run(OpSecurity), -1) << LogText();
    ExpectLinesInOrder({"Security error!", " Security cell 3163h not programmed (reads 00h)."});
    EXPECT_EQ(DatumLines(), "");
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

// A copy of the built library whose entry `entry` holds `text`.
class TlTextPatchedLibrary {
public:
    TlTextPatchedLibrary(uint32_t entry, const std::string& text) : dir_(ProgramDirectory), file_(LibraryFileName) {
        std::ifstream in(LibraryFilePath(), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto offset = static_cast<uint32_t>(bytes.size());
        const auto size = static_cast<uint32_t>(text.size());
        bytes.insert(bytes.end(), text.begin(), text.end());
        for (int i = 0; i < 4; ++i) {
            bytes[2 + 8 * entry + i] = static_cast<char>(offset >> (8 * i));
            bytes[2 + 8 * entry + 4 + i] = static_cast<char>(size >> (8 * i));
        }
        std::ofstream("tl-text-patched.dat", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        char cwd[4096];
        ProgramDirectory = getcwd(cwd, sizeof cwd) ? cwd : ".";
        LibraryFileName = "tl-text-patched.dat";
        CloseLibrary();
    }
    ~TlTextPatchedLibrary() {
        ProgramDirectory = dir_;
        LibraryFileName = file_;
        CloseLibrary();
    }

private:
    std::string dir_, file_;
};

// A list that names a security cell: a file that programs its fuse (bit 6
// there) is refused before any byte is written, naming the fuse; the part
// stays open, and the same file with the fuse blank programs.
TEST_F(TextListPldTest, FileProgrammingASecurityCellIsRefused) {
    struct Case {
        const TlRecord& r;
        const char* list;
        uint8_t blank;
    };
    for (const Case& c : {Case{kTlRecords[0], "Version 1.00 MASK m FFH x y 0200H 0163H ", 1},
                          Case{kTlRecords[3], "'00' value. MASK m FFH x y 0200 1163 ", 0}}) {
        SCOPED_TRACE(c.r.name);
        sim::TextListChip* chip = Seat(c.r);
        TlTextPatchedLibrary lib(TextListEntry(c.r.row, c.r.variant), c.list);
        std::vector<uint8_t> fuses(c.r.fuses, c.blank);
        fuses[14] = static_cast<uint8_t>(1 - c.blank);
        fuses[0] = static_cast<uint8_t>(1 - c.blank);
        SetUserFuses(fuses);
        VerifyAfterProgram = 0;
        EXPECT_EQ(Run(OpProgram), -1) << LogText();
        EXPECT_TRUE(HasLine(" Fuse 14 (security) is programmed in the file; use Secure to set it.")) << LogText();
        EXPECT_TRUE(HasLine(" Fail address : 14(Eh)")) << LogText();
        EXPECT_TRUE(chip->Writes().empty());
        fuses[14] = c.blank;
        SetUserFuses(fuses);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_EQ((chip->Word(0x200) & 1) != 0, c.blank == 0);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_FALSE(HasLine(" Device Secured!")) << LogText();
        ExpectNoViolations();
    }
}

// The protocol of rows 253 and 254 written out through the pin, supply and
// delay services, for one package and variant, over a list of one record.
// Sent to the programmer, it gives the register stream a slot must send.
struct TlProtocol {
    uint32_t row;
    int address[16], data[8], mode[4];
    int oe, pgm, hv, le;
    std::vector<int> grounds;
    int vpp;
    int securityCells;
    uint32_t record;

    enum { kD = 0, kA = 1, kM = 2 };
    int Supply() const { return row == 253 ? 52 : 33; }
    void Address(uint32_t a) const { WritePinGroup(kA, 0, 15, a); }
    void ReadData() const {
        if (row == 254) SetPin(oe, 0);
        ReadPinGroup(kD, 0, 7);
        if (row == 254) SetPin(oe, 1);
    }
    void Mode(int code) const {
        SetPin(oe, 0);
        SetPin(pgm, 0);
        SetPin(hv, 0);
        WritePinGroup(kM, 0, 3, static_cast<uint64_t>(code));
        PulsePinTimed(le, 3, 1);
        WritePinGroup(kM, 0, 3, 0);
        SetPin(hv, 1);
        SetPin(oe, 1);
        SetPin(pgm, 1);
        Address(0);
    }
    void Write(uint8_t expected, uint8_t mask) const {
        if (row == 253) {
            WritePinGroup(kD, 0, 7, static_cast<uint8_t>(~mask | expected));
            PulsePinTimed(pgm, 2, 100);
            FloatPinGroup(kD, 0, 7);
        } else {
            WritePinGroup(kD, 0, 7, expected & mask);
            PulsePin(le, 3);
        }
    }
    uint32_t SecurityCell(int i) const {
        static constexpr uint32_t k253[13] = {0x060, 0x163, 0x883, 0x2163, 0x2883, 0x4163, 0x4883,
                                              0x6163, 0x6883, 0x8163, 0x8883, 0xA163, 0xA883};
        return row == 253 ? k253[i] : static_cast<uint32_t>(i) << 12 | 0x163;
    }
    // Set-up, high-voltage entry, mode code 12 and the code reads.
    void Up() const {
        DefinePinGroup("", kD, data[0], data[1], data[2], data[3], data[4], data[5], data[6], data[7], 0);
        DefinePinGroup("", kA, address[0], address[1], address[2], address[3], address[4], address[5], address[6],
                       address[7], address[8], address[9], address[10], address[11], address[12], address[13],
                       address[14], address[15], 0);
        DefinePinGroup("", kM, mode[0], mode[1], mode[2], mode[3], 0);
        for (int g : grounds) SetGroundPin(g, 1);
        SetVccRange(0, Supply());
        SetAllDacVoltages(Supply(), 0, 0, 0);
        SetDeviceGround(1);
        DelayMsSlot(100);
        FloatPinRange(1, 48);
        for (int pin : {pgm, oe, hv, le}) SetPin(pin, 0);
        WritePinGroup(kM, 0, 3, 0);
        SetDevicePower(1, Supply());
        SetSupplyPinA(vpp, 1);
        DelayShortUsSlot(100);
        for (int pin : {hv, oe, pgm}) SetPin(pin, 1);
        SetDacVoltage(1, row == 253 ? 113 : 80);
        DelayShortUsSlot(200);
        SetDacVoltage(1, Supply());
        DelayShortUsSlot(row == 253 ? 500 : 10);
        for (int pin : {oe, pgm, hv}) SetPin(pin, 0);
        Mode(12);
        std::vector<uint32_t> reads;
        if (row == 253) {
            reads = {0x28E, 0x24E, 0x20E, 0x1CE, 0x18E, 0x14E, 0x10E, 0xCE};
            for (int i = 0; i < securityCells; ++i) reads.push_back(SecurityCell(i));
            SetPin(oe, 0);
        } else {
            reads = {0x18, 0x19, 0x1DA0, 0x1DA1, 0x163};
        }
        for (uint32_t a : reads) {
            Address(a);
            ReadData();
        }
        if (row == 253) SetPin(oe, 1);
    }
    void Down() const {
        FloatPinGroup(kD, 0, 7);
        FloatPinGroup(kA, 0, 15);
        SetDacVoltage(1, Supply());
        SetSupplyPinA(vpp, 0);
        for (int pin : {pgm, oe, le}) SetPin(pin, 0);
        DelayShortUsSlot(100);
        SetDevicePower(0, 20);
    }
    // The one-record walk in a read mode (the caller holds OE on row 253).
    void CheckRecord() const {
        Address(record);
        ReadData();
    }
    void ReadSlot(int readLevel) const {
        Up();
        SetDacVoltage(1, readLevel);
        DelayShortUsSlot(50);
        if (row == 253) SetPin(oe, 0);
        CheckRecord();
        if (row == 253) SetPin(oe, 1);
        Down();
    }
    // One pass that verifies; the record marked NWL on row 254.
    void ProgramSlot(uint8_t expected, uint8_t mask) const {
        Up();
        if (row == 253) {
            RampVoltageUp(1, 50, 110, 5, 10);
            Address(record);
            Write(expected, mask);
            RampVoltageDown(1, 110, 70, 1, 0);
            DelayShortUsSlot(50);
            SetPin(oe, 0);
            CheckRecord();
            SetPin(oe, 1);
        } else {
            RampVoltageUp(1, 33, 75, 5, 10);
            PulsePinTimed(pgm, 2, 50000);
            Address(record);
            Write(expected, mask);
            RampVoltageDown(1, 75, 16, 1, 0);
            FloatPinGroup(kD, 0, 7);
            CheckRecord();
        }
        Down();
    }
    // One pass that blanks the part.
    void EraseSlot() const {
        Up();
        Mode(13);
        if (row == 253) {
            RampVoltageUp(1, 52, 120, 2, 0);
            Address(0x1010);
            PulsePinTimed(pgm, 2, 100000);
            Address(0x10);
            PulsePinTimed(pgm, 2, 100000);
            RampVoltageDown(1, 120, 52, 1, 0);
            Mode(12);
            RampVoltageDown(1, 52, 33, 1, 0);
            SetPin(oe, 0);
            CheckRecord();
            SetPin(oe, 1);
            RampVoltageUp(1, 33, 52, 2, 0);
            Down();
        } else {
            RampVoltageUp(1, 33, 80, 2, 0);
            Address(0x10);
            PulsePinTimed(pgm, 2, 200000);
            RampVoltageDown(1, 80, 33, 1, 0);
            Mode(12);
            RampVoltageUp(1, 33, 55, 1, 0);
            CheckRecord();
            RampVoltageDown(1, 55, 33, 2, 0);
            Down();
            DelayMsSlot(500);
        }
    }
    void SecureSlot() const {
        Up();
        const int level = row == 253 ? 110 : 75;
        RampVoltageUp(1, Supply(), level, 2, 0);
        for (int i = 0; i < securityCells; ++i) {
            Address(SecurityCell(i));
            Write(row == 253 ? 0xBF : 0x40, 0x40);
        }
        if (row == 254) PulsePinTimed(pgm, 2, 50000);
        RampVoltageDown(1, level, row == 253 ? 70 : 16, 1, 0);
        // Row 254 lets go of the byte it drove before it reads the cells back.
        if (row == 253) SetPin(oe, 0);
        else FloatPinGroup(kD, 0, 7);
        for (int i = 0; i < securityCells; ++i) {
            Address(SecurityCell(i));
            ReadData();
        }
        if (row == 253) SetPin(oe, 1);
        Down();
    }
};

using TlAccesses = std::vector<std::pair<int, int>>;

// The register accesses (a read as value -1) the programmer saw while `send` ran.
template <class Fn> TlAccesses TlRecordStream(sim::SimProgrammer& p, Fn send) {
    p.ClearTrace();
    p.EnableTrace(true);
    send();
    p.EnableTrace(false);
    TlAccesses seen;
    for (const auto& a : p.RegisterTrace()) seen.emplace_back(a.reg, a.write ? a.value : -1);
    p.ClearTrace();
    return seen;
}

// While alive, the slots of `row` mark in the trace of `sim` where each call
// begins and ends, so a driver run's stream can be cut to what the slots sent
// (the driver's own traffic, its resets and programmer-ID reads, left out).
class TlSlotWindows {
public:
    TlSlotWindows(uint32_t row, sim::SimProgrammer& sim) : entry_(*AlgorithmRow(row)), saved_(entry_) {
        sim_ = &sim;
        orig_ = saved_;
        windows_.clear();
        entry_.Read = [](int mode) { return Mark([mode] { return orig_.Read(mode); }); };
        entry_.Program = [] { return Mark([] { return orig_.Program(); }); };
        entry_.Erase = [] { return Mark([] { return orig_.Erase(); }); };
        entry_.Secure = [] { return Mark([] { return orig_.Secure(); }); };
    }
    ~TlSlotWindows() { entry_ = saved_; }
    TlSlotWindows(const TlSlotWindows&) = delete;
    TlSlotWindows& operator=(const TlSlotWindows&) = delete;

    // The accesses of every slot call of the run just traced, in order.
    TlAccesses SlotStream() const {
        TlAccesses out;
        const auto& trace = sim_->RegisterTrace();
        for (const auto& [begin, end] : windows_)
            for (size_t i = begin; i < end && i < trace.size(); ++i)
                out.emplace_back(trace[i].reg, trace[i].write ? trace[i].value : -1);
        return out;
    }
    size_t Calls() const { return windows_.size(); }

private:
    template <class Fn> static int Mark(Fn call) {
        const size_t begin = sim_->RegisterTrace().size();
        const int result = call();
        windows_.emplace_back(begin, sim_->RegisterTrace().size());
        return result;
    }
    AlgorithmEntry& entry_;
    AlgorithmEntry saved_;
    static inline sim::SimProgrammer* sim_ = nullptr;
    static inline AlgorithmEntry orig_{};
    static inline std::vector<std::pair<size_t, size_t>> windows_;
};

// The first access where two streams part, for the failure message.
std::string TlWhereTheyPart(const TlAccesses& seen, const TlAccesses& expected) {
    size_t i = 0;
    while (i < seen.size() && i < expected.size() && seen[i] == expected[i]) ++i;
    auto show = [](const TlAccesses& s, size_t k) {
        return k < s.size() ? "r" + std::to_string(s[k].first) + "=" + std::to_string(s[k].second) : std::string("end");
    };
    return "at access " + std::to_string(i) + " of " + std::to_string(seen.size()) + "/" + std::to_string(expected.size()) +
           ": sent " + show(seen, i) + ", protocol " + show(expected, i);
}

// Whole operations of row 253 (44 and 84 pins) and row 254 over a list of one
// record (mask 0Fh at 0123h; on row 254 marked NWL): the register stream of
// blank check, program, read, erase and secure equals the protocol's, write
// for write and wait for wait (timer counts). Only the slot calls' traffic
// is compared: the driver's resets and programmer-ID reads are its own.
TEST_F(TextListPldTest, WholeOperationStreams) {
    const TlProtocol p44v0{253, {31, 32, 35, 36, 37, 38, 39, 40, 10, 11, 13, 14, 15, 16, 1, 2},
                           {20, 21, 22, 17, 24, 26, 27, 28}, {6, 9, 4, 5}, 44, 30, 3, 46,
                           {19, 29, 7, 8, 18, 41, 42, 45}, 43, 5, 0x123};
    const TlProtocol p84{253, {20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5},
                         {21, 22, 23, 25, 26, 27, 28, 29}, {37, 38, 39, 40}, 36, 35, 41, 34, {}, 1, 13, 0x123};
    TlProtocol p254 = p44v0;
    p254.row = 254;
    p254.address[13] = 47;
    p254.securityCells = 2;
    const struct {
        const TlRecord& record;
        const TlProtocol& protocol;
        const char* list;
    } rows[] = {
        {kTlRecords[0], p44v0, "x Version 1.00 MASK m 0FH y z 0123H "},
        {kTlRecords[2], p84, "Version 1.00 MASK m 0FH y z 0123H "},
        {kTlRecords[3], p254, "'00' value. NWL MASK m 0FH y z 0123 "},
    };
    VerifyAfterProgram = 0;
    for (const auto& c : rows) {
        const TlRecord& r = c.record;
        const TlProtocol& p = c.protocol;
        TlTextPatchedLibrary lib(TextListEntry(r.row, r.variant), c.list);
        const uint8_t expected = 0x05; // fuses 0-3 = 1, 0, 1, 0
        const struct {
            int op;
            std::function<void()> send;
        } ops[] = {
            {OpBlankCheck, [&] { p.ReadSlot(r.row == 253 ? 35 : 55); }},
            {OpProgram, [&] { p.ProgramSlot(expected, 0x0F); }},
            {OpRead, [&] { p.ReadSlot(r.row == 253 ? 66 : 19); }},
            {OpErase, [&] { p.EraseSlot(); }},
            {OpSecurity, [&] { p.SecureSlot(); }},
        };
        for (const auto& o : ops) {
            SCOPED_TRACE(std::string(r.name) + " operation " + std::to_string(o.op));
            Seat(r);
            ResetProgrammerOutputs();
            const TlAccesses protocol = TlRecordStream(simp, o.send);
            Seat(r);
            std::vector<uint8_t> fuses(r.fuses, 0);
            fuses[0] = fuses[2] = 1;
            LoadFuses(fuses, FuseRowLength);
            if (o.op == OpRead) ClearUserMap(r.fuses);
            const TlSlotWindows slots(r.row, simp);
            simp.ClearTrace();
            simp.EnableTrace(true);
            EXPECT_EQ(Run(o.op), 1) << LogText();
            simp.EnableTrace(false);
            EXPECT_EQ(slots.Calls(), 1u);
            const TlAccesses sent = slots.SlotStream();
            EXPECT_TRUE(sent == protocol) << TlWhereTheyPart(sent, protocol);
            ExpectNoViolations();
        }
    }
}

} // namespace
