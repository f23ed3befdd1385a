// Rows 259 and 258 end to end against the two-plane and the row-column PLD
// models: the driver's operations, the walks' coverage (row 259's third
// plane-2 kind in the fuses no other kind uses), the identity checks, the
// bounded pulses and the traffic in virtual time.
#include <set>
#include <tuple>

#include "engine/AlgorithmTable.h"
#include "engine/RowDef.h"
#include "logic/CheckedPld.h"
#include "sim/CheckedPldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kCkMaker = "GENERIC-ALGORITHM";

struct CkRecord {
    const char* name;
    uint32_t row, variant, fuses;
};
constexpr CkRecord kCk259{"PPLD13713", 259, 0, 13713};
constexpr CkRecord kCk259Low{"PPLD13713L", 259, 0, 13713};
constexpr CkRecord kCk258[3] = {{"PPLD2720", 258, 0, 2720}, {"PPLD2916", 258, 1, 2916}, {"PPLD2911", 258, 2, 2911}};

// Row 258 variant 2 has no cell at 2592-2879 nor at the odd numbers above.
bool CkNoCell(const CkRecord& r, uint32_t n) { return r.row == 258 && r.variant == 2 && n >= 2592 && (n < 2880 || n % 2); }

class CheckedPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    sim::PlanePldChip* Seat259(const CkRecord& r) {
        EXPECT_TRUE(SelectPld(kCkMaker, r.name));
        return SeatAlone<sim::PlanePldChip>(*sim::FindFacts<sim::PlanePldFacts>(kCkMaker, r.name));
    }
    sim::RowColumnPldChip* Seat258(const CkRecord& r) {
        EXPECT_TRUE(SelectPld(kCkMaker, r.name));
        return SeatAlone<sim::RowColumnPldChip>(*sim::FindFacts<sim::RowColumnPldFacts>(kCkMaker, r.name));
    }
    // The fuses as the part holds them, through the walk.
    template <class WordAt> static std::vector<uint8_t> PartFuses(const CkRecord& r, WordAt word) {
        std::vector<uint8_t> f(r.fuses, 0);
        for (const CheckedWord& w : CheckedPldWalk(r.row, r.variant))
            for (const CheckedFuse& x : w.Fuses)
                if (x.Fuse < r.fuses) f[x.Fuse] = static_cast<uint8_t>((word(w) >> x.Position) & 1);
        return f;
    }
    static std::vector<uint8_t> CkPattern(const CkRecord& r) {
        std::vector<uint8_t> f = Pattern(r.fuses, r.fuses);
        for (uint32_t n = 0; n < r.fuses; ++n)
            if (CkNoCell(r, n)) f[n] = 0;
        return f;
    }
    // Blank check, program from a JEDEC file with the driver's verify, the
    // part's cells, read into a cleared buffer, the saved "C" field, then
    // Secure with no read-back after it.
    template <class WordAt> void Cycle(const CkRecord& r, WordAt word) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(DeviceSize, r.fuses);
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();
        const std::vector<uint8_t> map = CkPattern(r);
        LoadFuses(map, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_TRUE(HasLine("Program ok!")) << LogText();
        EXPECT_EQ(PartFuses(r, word), map);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(r.fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), map);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
        EXPECT_EQ(Run(OpSecurity), 1) << LogText();
        EXPECT_TRUE(HasLine("Security ok!")) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
};

// Every record through the driver. A secured part reads all 0s (row 259
// from its next power-up; row 258's variant 2 then fails its identity,
// which its Secure reads back).
TEST_F(CheckedPldTest, EveryRecordThroughTheDriver) {
    for (const CkRecord& r : {kCk259, kCk259Low}) {
        sim::PlanePldChip* chip = Seat259(r);
        Cycle(r, [&](const CheckedWord& w) { return chip->Word(w.Plane, w.Row, w.Column); });
        EXPECT_TRUE(chip->SecurityCellSet());
        for (uint32_t n = 0; n < r.fuses; ++n) SetBufferBit(n, 1);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(r.fuses), std::vector<uint8_t>(r.fuses, 0));
    }
    for (const CkRecord& r : kCk258) {
        sim::RowColumnPldChip* chip = Seat258(r);
        Cycle(r, [&](const CheckedWord& w) { return chip->Word(w.Row, w.Column); });
        EXPECT_TRUE(chip->Locked());
        EXPECT_EQ(Run(OpRead), r.variant == 2 ? -1 : 1) << LogText();
        EXPECT_EQ(HasLine("Invalid device or device is secured!"), r.variant == 2) << LogText();
        // Security bits that never program: variant 2 reads its identity
        // back and fails Secure; variants 0 and 1 have no read of the lock.
        chip = Seat258(r);
        chip->RefuseSecurity();
        EXPECT_EQ(Run(OpSecurity), r.variant == 2 ? -1 : 1) << LogText();
        EXPECT_EQ(HasLine("Security error!"), r.variant == 2) << LogText();
        EXPECT_EQ(HasLine(" Security bit not programmed: the identity still reads."), r.variant == 2) << LogText();
        EXPECT_EQ(DatumLines(), "");
        EXPECT_FALSE(chip->Locked());
        ExpectNoViolations();
    }
}

// Each walk reaches every fuse below the fuse count once (row 258 variant
// 2: every fuse with a cell), no cell twice; golden positions.
TEST_F(CheckedPldTest, WalksCoverEveryFuseOnceAndGoldenPositions) {
    for (const CkRecord& r : {kCk259, kCk258[0], kCk258[1], kCk258[2]}) {
        SCOPED_TRACE(r.name);
        std::vector<int> seen(r.fuses, 0);
        std::set<std::tuple<int, int, int, int>> cells;
        for (const CheckedWord& w : CheckedPldWalk(r.row, r.variant))
            for (const CheckedFuse& f : w.Fuses) {
                ASSERT_LT(f.Fuse, r.fuses);
                ++seen[f.Fuse];
                EXPECT_TRUE(cells.insert({w.Plane, w.Row, w.Column, f.Position}).second);
                EXPECT_EQ((w.Compared >> f.Position) & 1, 1u);
            }
        for (uint32_t n = 0; n < r.fuses; ++n) ASSERT_EQ(seen[n], CkNoCell(r, n) ? 0 : 1) << n;
    }
    EXPECT_TRUE(CheckedPldWalk(258, 3).empty());
    struct Golden {
        uint32_t row, variant;
        int kind, plane, wordRow, column, position;
        uint32_t fuse;
    };
    const Golden cases[] = {
        {259, 0, 0, 1, 0, 0, 0, 10880},   {259, 0, 0, 1, 15, 67, 6, 8704 + 68 * 15 + 67},
        {259, 0, 1, 1, 16, 11, 2, 1088},  {259, 0, 5, 1, 16, 17, 4, 13712},
        {259, 0, 6, 1, 15, 67, 4, 13599}, {259, 0, 2, 2, 32, 0, 1, 1360},
        {259, 0, 3, 2, 36, 0, 0, 1096},   {259, 0, 3, 2, 39, 59, 0, 1359},
        {259, 0, 3, 2, 39, 60, 0, 1632},  {259, 0, 3, 2, 47, 59, 1, 3808 + 543},
        {259, 0, 3, 2, 47, 67, 6, 13671}, {259, 0, 4, 2, 48, 18, 5, 13663},
        {258, 0, 0, 0, 8, 35, 7, 36 * 8 + 324 * 7 + 35}, {258, 0, 0, 0, 9, 0, 7, 2628},
        {258, 0, 0, 0, 11, 46, 7, 2624 + 49 + 46},       {258, 1, 0, 0, 9, 37, 7, 2592 + 252 + 35},
        {258, 1, 1, 0, 0, 1, 0, 2915},                    {258, 1, 1, 0, 8, 0, 7, 2908},
        {258, 2, 0, 0, 0, 2, 0, 0},                       {258, 2, 1, 0, 8, 38, 7, 2880},
        {258, 2, 2, 0, 1, 41, 0, 2910},
    };
    for (const Golden& g : cases) {
        SCOPED_TRACE(std::to_string(g.row) + " fuse " + std::to_string(g.fuse));
        int hits = 0;
        for (const CheckedWord& w : CheckedPldWalk(g.row, g.variant))
            for (const CheckedFuse& f : w.Fuses)
                if (f.Fuse == g.fuse) {
                    ++hits;
                    EXPECT_EQ(std::make_tuple(w.Kind, w.Plane, w.Row, w.Column, f.Position),
                              std::make_tuple(g.kind, g.plane, g.wordRow, g.column, g.position));
                }
        EXPECT_EQ(hits, 1);
    }
}

// Where fuses lie on the parts, listed from the rows' tables without the
// modules' walks: (plane, row, column, bit); a set cell is a 1 fuse. Row
// 259's third plane-2 kind is left out: its fuse numbers are the module's
// own choice.
struct CkPlace {
    int plane, row, column, position;
    uint32_t fuse;
};
std::vector<CkPlace> CkPlaces(const CkRecord& r) {
    std::vector<CkPlace> v;
    auto put = [&](int plane, int row, int column, int position, int fuse) {
        v.push_back({plane, row, column, position, static_cast<uint32_t>(fuse)});
    };
    if (r.row == 259) {
        const int positions[6] = {0, 1, 2, 3, 5, 6};
        const int k0[6] = {10880, 0, 2176, 4352, 6528, 8704};
        const int k1[6] = {9792, 5440, 1088, 3264, 11968, 7616};
        const int k2[6] = {12240, 1360, 3536, 5712, 7888, 10064};
        const int k4[6] = {13688, 13608, 13624, 13640, 13656, 13672};
        for (int i = 0; i < 6; ++i) {
            for (int a = 0; a <= 15; ++a)
                for (int b = 0; b <= 67; ++b) put(1, a, b, positions[i], k0[i] + 68 * a + b);
            for (int b = 0; b <= 7; ++b) put(1, 16, b + 11, positions[i], k1[i] + b);
            for (int a = 0; a <= 3; ++a)
                for (int b = 0; b <= 67; ++b) put(2, a + 32, b, positions[i], k2[i] + 68 * a + b);
            for (int b = 0; b <= 7; ++b) put(2, 48, b + 11, positions[i], k4[i] + b);
        }
        for (int b = 0; b <= 16; ++b) put(1, 16, b + 1, 4, 13696 + b);
        for (int a = 0; a <= 7; ++a)
            for (int b = 0; b <= 67; ++b) put(1, a + 8, b, 4, 13056 + 68 * a + b);
        return v;
    }
    const int shift = r.variant == 0 ? 0 : 2;
    for (int a = 0; a <= 8; ++a)
        for (int b = 0; b <= 35; ++b)
            for (int p = 0; p < 8; ++p) put(0, a, b + shift, p, 36 * a + 324 * p + b);
    if (r.variant == 0) {
        for (int b = 0; b <= 35; ++b) {
            put(0, 9, b, 0, 2592 + b);
            put(0, 9, b, 7, 2628 + b);
        }
        for (int b = 40; b <= 46; ++b)
            for (int p = 0; p < 8; ++p) put(0, 11, b, p, 2624 + 7 * p + b);
    } else if (r.variant == 1) {
        const int low[9] = {2914, 2882, 2886, 2890, 2894, 2892, 2888, 2884, 2880};
        const int high[9] = {2912, 2910, 2906, 2902, 2898, 2896, 2900, 2904, 2908};
        for (int b = 0; b <= 35; ++b)
            for (int p = 0; p < 8; ++p) put(0, 9, b + 2, p, 2592 + 36 * p + b);
        for (int a = 0; a <= 8; ++a)
            for (int b = 0; b <= 1; ++b) {
                put(0, a, b, 0, low[a] + b);
                put(0, a, b, 7, high[a] + b);
            }
    } else {
        const int k1[9] = {0, 2882, 2886, 2890, 2894, 2892, 2888, 2884, 2880};
        const int k2[9] = {0, 2910, 2906, 2902, 2898, 2896, 2900, 2904, 2908};
        for (int a = 1; a <= 8; ++a) {
            put(0, a, 38, a - 1, k1[a]);
            put(0, a, 41, a - 1, k2[a]);
        }
    }
    return v;
}

// No user map reaches a security cell: an all-1 map (every cell the walk
// reaches set) leaves each part open.
TEST_F(CheckedPldTest, NoFuseMapSecuresThePart) {
    sim::PlanePldChip* plane = Seat259(kCk259);
    LoadFuses(std::vector<uint8_t>(kCk259.fuses, 1), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_FALSE(plane->SecurityCellSet());
    for (const CkRecord& r : kCk258) {
        SCOPED_TRACE(r.name);
        sim::RowColumnPldChip* chip = Seat258(r);
        std::vector<uint8_t> ones(r.fuses, 1);
        for (uint32_t n = 0; n < r.fuses; ++n)
            if (CkNoCell(r, n)) ones[n] = 0;
        LoadFuses(ones, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_FALSE(chip->Locked());
    }
}

// A random map programmed through the driver lands where the tables place
// each fuse; no fuse is named twice, and row 258's tables name every fuse
// with a cell.
TEST_F(CheckedPldTest, FusesLandWhereThePartPlacesThem) {
    for (const CkRecord& r : {kCk259, kCk258[0], kCk258[1], kCk258[2]}) {
        SCOPED_TRACE(r.name);
        const std::vector<CkPlace> places = CkPlaces(r);
        std::vector<int> named(r.fuses, 0);
        for (const CkPlace& p : places) {
            ASSERT_LT(p.fuse, r.fuses);
            EXPECT_EQ(++named[p.fuse], 1) << p.fuse;
        }
        for (uint32_t n = 0; n < r.fuses && r.row == 258; ++n) EXPECT_EQ(named[n], CkNoCell(r, n) ? 0 : 1) << n;
        sim::PlanePldChip* plane = r.row == 259 ? Seat259(r) : nullptr;
        sim::RowColumnPldChip* rc = r.row == 258 ? Seat258(r) : nullptr;
        const std::vector<uint8_t> map = CkPattern(r);
        LoadFuses(map, FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        int wrong = 0;
        for (const CkPlace& p : places) {
            const int word = plane ? plane->Word(p.plane, p.row, p.column) : rc->Word(p.row, p.column);
            if (((word >> p.position) & 1) != map[p.fuse] && ++wrong <= 5)
                ADD_FAILURE() << "fuse " << p.fuse << " not at plane " << p.plane << " row " << p.row << " column "
                              << p.column << " bit " << p.position;
        }
        EXPECT_EQ(wrong, 0);
    }
}

// Fault mended: row 258 variant 2 has no cell for 2592-2879 nor the odd
// numbers above; they read 0 (a read used to leave the buffer's bits), and
// a map setting one is refused before any pin moves, naming the fuse.
TEST_F(CheckedPldTest, Row258CelllessFusesAreFixedAtZero) {
    const CkRecord& r = kCk258[2];
    sim::RowColumnPldChip* chip = Seat258(r);
    std::vector<uint8_t> fuses = CkPattern(r);
    fuses[2881] = 1;
    LoadFuses(fuses, FuseRowLength);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine(" Fuse 2881 is fixed at 0 on this device; the file sets 1.")) << LogText();
    EXPECT_TRUE(HasLine(" Fail address : 2881(B41h)")) << LogText();
    EXPECT_TRUE(chip->Pulses().empty());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    fuses[2881] = 0;
    LoadFuses(fuses, FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    SetUserFuses(std::vector<uint8_t>(r.fuses, 1));
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(r.fuses), fuses);
}

// Row 259: the commands as eight strobes of 7Fh/00h (34h before plane 1,
// 2Bh before plane 2), 200 us pulses and the extra 100 x (n + 1) us; a
// word needing 25 pulses passes without the extra pulse, one needing 26
// fails the run.
TEST_F(CheckedPldTest, Row259PulsesAndCommands) {
    sim::PlanePldChip* chip = Seat259(kCk259);
    std::vector<uint8_t> map(13713, 0);
    map[0 + 0] = 1;    // kind 0, row 0, column 0, position 1
    map[10880] = 1;    // the same word, position 0
    LoadFuses(map, FuseRowLength);
    VerifyAfterProgram = 0;
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    VerifyAfterProgram = 1;
    const std::vector<int> plane1 = {0, 0, 0x7F, 0, 0x7F, 0x7F, 0, 0};
    const std::vector<int> plane2 = {0x7F, 0x7F, 0, 0x7F, 0, 0x7F, 0, 0};
    std::vector<int> expected = plane1; // identity check
    expected.insert(expected.end(), plane1.begin(), plane1.end());
    expected.insert(expected.end(), plane2.begin(), plane2.end());
    EXPECT_EQ(chip->CommandStrobes(), expected);
    size_t first = 0;
    for (const auto& p : chip->Pulses()) {
        if (p.plane == 1 && p.row == 0 && p.column == 0) ++first;
        EXPECT_GE(p.widthUs, 100u);
    }
    EXPECT_EQ(first, 2u); // the pulse and the extra 100 us
    ASSERT_FALSE(chip->Pulses().empty());
    EXPECT_GE(chip->Pulses()[0].widthUs, 200u);
    EXPECT_LT(chip->Pulses()[0].widthUs, 240u);
    EXPECT_EQ(chip->Pulses()[0].data, 0x03);
    EXPECT_GE(chip->Pulses()[1].widthUs, 100u);
    EXPECT_LT(chip->Pulses()[1].widthUs, 140u);

    for (int need : {3, 25, 26}) {
        SCOPED_TRACE(need);
        chip = Seat259(kCk259);
        chip->NeedPulses(2, 40, 5, need); // kind 3
        LoadFuses(std::vector<uint8_t>(13713, 1), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), need <= 25 ? 1 : -1) << LogText();
        std::vector<uint64_t> widths;
        for (const auto& p : chip->Pulses())
            if (p.plane == 2 && p.row == 40 && p.column == 5) widths.push_back(p.widthUs);
        ASSERT_EQ(widths.size(), need == 3 ? 4u : 25u);
        if (need == 3) {
            EXPECT_GE(widths[3], 300u);
            EXPECT_LT(widths[3], 340u);
        }
        if (need == 26) {
            EXPECT_TRUE(HasLine("Program error!")) << LogText();
            EXPECT_EQ(chip->Pulses().back().row, 40);
        }
        ExpectNoViolations();
    }
}

// Row 259's identity: a low-voltage part answers only at the retry and
// the whole run then goes on at 4.5 V and 13.5 V; a part that never
// answers, or answers another code, gets "Invalid Device!", the run ending
// there (no fail address), and is left untouched.
TEST_F(CheckedPldTest, Row259Identity) {
    sim::PlanePldChip* chip = Seat259(kCk259Low);
    LoadFuses(Pattern(13713, 5), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    ASSERT_FALSE(chip->Pulses().empty());
    for (const auto& p : chip->Pulses()) {
        ASSERT_NEAR(p.vccTenths, 45, 1);
        ASSERT_NEAR(p.biasTenths, 135, 1);
    }
    chip = Seat259(kCk259);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    for (const auto& p : chip->Pulses()) {
        ASSERT_NEAR(p.vccTenths, 50, 1);
        ASSERT_NEAR(p.biasTenths, 127, 1);
    }
    for (const CkRecord& r : {kCk259, kCk259Low}) {
        SCOPED_TRACE(r.name);
        chip = Seat259(r);
        chip->NeverAnswer();
        for (int op : {OpBlankCheck, OpProgram, OpRead, OpSecurity}) {
            EXPECT_EQ(Run(op), -1) << LogText();
            EXPECT_TRUE(HasLine("Invalid Device!")) << LogText();
            EXPECT_EQ(DatumLines(), "");
        }
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(chip->Blank());
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();

        chip = Seat259(r);
        chip->AnswerAnotherIdentity();
        ExpectRunsEndAtIdentityLine("Invalid Device!");
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(chip->Blank());
        ExpectNoViolations();
    }
}

// Row 258: the program pulse 1 ms (variant 2: 100 us); a word needing 25
// pulses passes, 26 fail; variant 1's row 9 never fails a blank check;
// variant 2 refused with a wrong identity nibble or secured; a variant
// past 2 is refused by the librarian and by the row.
TEST_F(CheckedPldTest, Row258PulsesIdentityAndVariants) {
    for (const CkRecord& r : kCk258) {
        SCOPED_TRACE(r.name);
        sim::RowColumnPldChip* chip = Seat258(r);
        LoadFuses(CkPattern(r), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        const uint64_t want = r.variant == 2 ? 100 : 1000;
        ASSERT_FALSE(chip->Pulses().empty());
        for (const auto& p : chip->Pulses()) {
            ASSERT_GE(p.widthUs, want);
            ASSERT_LT(p.widthUs, want + 1100);
            ASSERT_NEAR(p.biasTenths, r.variant == 2 ? 137 : 127, 1); // VPP
            ASSERT_NEAR(p.vccTenths, 60, 1);
        }
        for (int need : {25, 26}) {
            SCOPED_TRACE(need);
            chip = Seat258(r);
            chip->NeedPulses(3, 5 + (r.variant == 0 ? 0 : 2), need);
            std::vector<uint8_t> ones(r.fuses, 1);
            for (uint32_t n = 0; n < r.fuses; ++n)
                if (CkNoCell(r, n)) ones[n] = 0; // fixed at 0
            LoadFuses(ones, FuseRowLength);
            EXPECT_EQ(Run(OpProgram), need == 25 ? 1 : -1) << LogText();
            size_t pulses = 0;
            for (const auto& p : chip->Pulses()) pulses += p.row == 3 && p.column == 5 + (r.variant == 0 ? 0 : 2);
            EXPECT_EQ(pulses, 25u);
            EXPECT_EQ(HasLine("Program error!"), need == 26) << LogText();
            ExpectNoViolations();
        }
    }
    // Variant 1's row 9 (columns 2-37) never fails a blank check; row 8 does.
    sim::RowColumnPldChip* chip = Seat258(kCk258[1]);
    chip->SetCell(sim::RowColumnPldChip::CellOf(9, 2, 3), 0);
    EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
    chip->SetCell(sim::RowColumnPldChip::CellOf(8, 2, 3), 0);
    EXPECT_EQ(Run(OpBlankCheck), -1) << LogText();
    EXPECT_TRUE(HasLine(" Fail address : 1260(4ECh)")) << LogText();

    for (int nibble : {0x8, 0x9, 0x7, 0xF}) {
        SCOPED_TRACE(nibble);
        chip = Seat258(kCk258[2]);
        chip->SetIdNibble(nibble);
        const bool ok = nibble == 0x8 || nibble == 0x9;
        EXPECT_EQ(Run(OpBlankCheck), ok ? 1 : -1) << LogText();
        EXPECT_EQ(HasLine("Invalid device or device is secured!"), !ok) << LogText();
        EXPECT_EQ(DatumLines(), "");
        ExpectNoViolations();
    }
    // Another part seated: only variant 2 checks an identity; its runs end
    // at the line with nothing written.
    for (const CkRecord& r : kCk258) {
        SCOPED_TRACE(r.name);
        chip = Seat258(r);
        chip->AnswerAnotherIdentity();
        LoadFuses(CkPattern(r), FuseRowLength);
        if (r.variant != 2) {
            EXPECT_FALSE(RowDefinition(258)->ChecksIdentity());
            continue;
        }
        ExpectRunsEndAtIdentityLine("Invalid device or device is secured!");
        EXPECT_TRUE(chip->Pulses().empty());
        EXPECT_TRUE(chip->Blank());
        ExpectNoViolations();
    }

    const RowDef* def = RowDefinition(258);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(RowRecordRefusal(*def, {.Variant = 2}), "");
    EXPECT_NE(RowRecordRefusal(*def, {.Variant = 3}), "");
    chip = Seat258(kCk258[0]);
    DeviceVariant = 3;
    for (int op : {OpBlankCheck, OpRead, OpSecurity}) {
        EXPECT_EQ(Run(op), -1);
        EXPECT_TRUE(HasLine(" Device not supported!")) << LogText();
    }
    EXPECT_TRUE(chip->Pulses().empty());
}

// The table rows of the byte-addressed and parallel PLDs: no Identify or
// Options of their own, no Change Algorithm items, Erase only on 204-206.
TEST_F(CheckedPldTest, TableRows) {
    for (uint32_t row : {204u, 205u, 206u, 280u, 291u, 259u, 258u}) {
        SCOPED_TRACE(row);
        const AlgorithmEntry* e = AlgorithmRow(row);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->ParameterGroup, 99);
        EXPECT_EQ(e->Identify, AlgNoOperation);
        EXPECT_EQ(e->Options, AlgNoOperation);
        EXPECT_NE(e->Program, AlgNoOperation);
        EXPECT_NE(e->Secure, AlgNoOperation);
        EXPECT_EQ(e->Erase != AlgNoOperation, row >= 204 && row <= 206);
    }
}

// ESC answered No during a read walk ends it with the socket powered down.
TEST_F(CheckedPldTest, UserBreakInAReadWalk) {
    Seat259(kCk259);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    Seat258(kCk258[1]);
    ui.BreakAtPercent = 30;
    ui.QueueAnswer(UiAnswer::No);
    EXPECT_EQ(Run(OpRead), -1) << LogText();
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

} // namespace
