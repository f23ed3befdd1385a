// Rows 280 and 291 end to end against the nibble and ten-bit PLD models:
// the driver's operations, the walks' coverage and golden positions, the
// words the programming run drives, the adaptive pulses of row 291 and
// injected faults.
#include <algorithm>
#include <set>
#include <tuple>

#include "logic/ParallelPld.h"
#include "sim/ParallelPldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

constexpr const char* kPpMaker = "GENERIC-ALGORITHM";
constexpr const char* kPp280 = "PPLD2689";
constexpr const char* kPp291 = "PPLD5828";

class ParallelPldTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 1;
    }
    template <class Chip> Chip* Seat(const char* name) {
        EXPECT_TRUE(SelectPld(kPpMaker, name));
        return SeatAlone<Chip>(*sim::FindFacts<sim::ParallelPldFacts>(kPpMaker, name));
    }
    // The parts' cells as fuses through the walks (the fuse is the
    // complement of the cell).
    static std::vector<uint8_t> Fuses280(const sim::NibblePldChip* chip) {
        std::vector<uint8_t> f(2689, 0);
        for (const PldWord& w : ParallelPldWalk(280))
            for (const WordFuse& x : w.Fuses)
                f[x.Fuse] = static_cast<uint8_t>(((chip->Word(w.Select, w.Address) >> x.Position) & 1) ^ 1);
        return f;
    }
    static std::vector<uint8_t> Fuses291(const sim::TenBitPldChip* chip) {
        std::vector<uint8_t> f(5828, 0);
        for (const PldWord& w : ParallelPldWalk(291))
            for (const WordFuse& x : w.Fuses)
                f[x.Fuse] =
                    static_cast<uint8_t>(((chip->Word(w.HighPage, w.Select, w.Address) >> x.Position) & 1) ^ 1);
        return f;
    }
    // Blank check, program from a JEDEC file with the driver's verify, the
    // part's cells, read into a cleared buffer, the saved "C" field.
    template <class FusesOf> void RoundTrip(uint32_t fuses, FusesOf cells) {
        EXPECT_EQ(Run(OpBlankCheck), 1) << LogText();
        EXPECT_TRUE(HasLine("Blank check ok!")) << LogText();
        const std::vector<uint8_t> map = Pattern(fuses, fuses);
        LoadFuses(map, FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        EXPECT_TRUE(HasLine("Program ok!")) << LogText();
        EXPECT_EQ(cells(), map);
        EXPECT_EQ(Run(OpVerify), 1) << LogText();
        ClearUserMap(fuses);
        EXPECT_EQ(Run(OpRead), 1) << LogText();
        EXPECT_EQ(UserFuses(fuses), map);
        EXPECT_EQ(ReadJedecChecksumField(FormatJedecText(nullptr, 0)), ReadJedecChecksumField(ReadText("in.jed")));
    }
    static std::string PpFailLine(uint32_t fuse) {
        char line[64];
        std::snprintf(line, sizeof line, " Fail address : %u(%Xh)", fuse, fuse);
        return line;
    }
};

// Both records through the driver; Secure: row 291's driver read-back
// wants every fuse 1 (raw 0s) and fails on a part the pulse leaves open;
// row 280 runs none (its secured part reads Fh, every fuse 0).
TEST_F(ParallelPldTest, BothRecordsThroughTheDriver) {
    auto* nibble = Seat<sim::NibblePldChip>(kPp280);
    EXPECT_EQ(DeviceSize, 2689u);
    RoundTrip(2689, [&] { return Fuses280(nibble); });
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_TRUE(HasLine("Security ok!")) << LogText();
    EXPECT_TRUE(nibble->Locked());
    ClearUserMap(2689);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(2689), std::vector<uint8_t>(2689, 0));
    ExpectNoViolations();

    auto* ten = Seat<sim::TenBitPldChip>(kPp291);
    EXPECT_EQ(DeviceSize, 5828u);
    RoundTrip(5828, [&] { return Fuses291(ten); });
    EXPECT_EQ(Run(OpSecurity), 1) << LogText();
    EXPECT_TRUE(HasLine("Security ok!")) << LogText();
    EXPECT_TRUE(ten->Locked());
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();

    ten = Seat<sim::TenBitPldChip>(kPp291);
    LoadFuses(Pattern(5828, 3), FuseRowLength);
    ASSERT_EQ(Run(OpProgram), 1) << LogText();
    ten->IgnoreSecurity();
    EXPECT_EQ(Run(OpSecurity), -1) << LogText();
    ExpectNoViolations();
}

// Each walk reaches every fuse once; golden positions from the tables.
TEST_F(ParallelPldTest, WalksCoverEveryFuseOnceAndGoldenPositions) {
    for (const auto& [row, fuses, words] : {std::tuple<uint32_t, uint32_t, size_t>{280, 2689, 18 * 36 + 6 + 1 + 36},
                                            {291, 5828, 16 * 44 + 44 + 2 + 44}}) {
        SCOPED_TRACE(row);
        const std::vector<PldWord> walk = ParallelPldWalk(row);
        EXPECT_EQ(walk.size(), words);
        std::vector<int> seen(fuses, 0);
        std::set<std::tuple<bool, int, int, int>> cells;
        for (const PldWord& w : walk)
            for (const WordFuse& f : w.Fuses) {
                ASSERT_LT(f.Fuse, fuses);
                ++seen[f.Fuse];
                EXPECT_TRUE(cells.insert({w.HighPage, w.Select, w.Address, f.Position}).second);
                EXPECT_EQ((w.Compared >> f.Position) & 1, 1u);
            }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(fuses));
    }
    struct Golden {
        uint32_t row;
        int kind, select, address;
        bool high;
        int position;
        uint32_t fuse;
    };
    const Golden cases[] = {
        {280, 0, 6, 19, false, 0, 2268},  {280, 0, 18, 19, false, 3, 324},
        {280, 0, 19, 34, false, 0, 1944 + 36 * 8 + 35},
        {280, 1, 1, 45, false, 3, 2592},  {280, 2, 24, 45, false, 3, 2616},
        {280, 3, 24, 19, false, 1, 2617}, {280, 3, 24, 34, false, 2, 2617 + 36 + 35},
        {291, 0, 0, 0, false, 9, 88},     {291, 0, 15, 43, false, 5, 2200 + 660 + 43},
        {291, 1, 7, 0, true, 0, 5368},    {291, 2, 0, 0, true, 9, 5808},
        {291, 3, 2, 0, true, 0, 5827},    {291, 4, 15, 43, false, 6, 43},
        {291, 4, 15, 43, false, 3, 5807},
    };
    for (const Golden& g : cases) {
        SCOPED_TRACE(std::to_string(g.row) + " fuse " + std::to_string(g.fuse));
        int hits = 0;
        for (const PldWord& w : ParallelPldWalk(g.row))
            for (const WordFuse& f : w.Fuses)
                if (f.Fuse == g.fuse) {
                    ++hits;
                    EXPECT_EQ(std::make_tuple(w.Kind, w.Select, w.Address, w.HighPage, f.Position),
                              std::make_tuple(g.kind, g.select, g.address, g.high, g.position));
                }
        EXPECT_EQ(hits, 1);
    }
    // Row 291's kind 0: a = 8 carries outputs 1-8 only, a = 14 and 15 only
    // outputs 4 and 5 (positions 9 - j).
    for (const PldWord& w : ParallelPldWalk(291)) {
        if (w.Kind != 0 || w.Address != 0) continue;
        if (w.Select == 8) {
            EXPECT_EQ(w.Compared, 0x1FEu);
        }
        if (w.Select >= 14) {
            EXPECT_EQ(w.Compared, 0x030u);
        }
    }
}

// Where each fuse lies on the parts, listed from the rows' tables without
// the modules' walks: (page, row select, address, data bit). Both parts
// store the complement of a fuse.
struct PpPlace {
    bool high;
    int select, address, position;
    uint32_t fuse;
};
std::vector<PpPlace> PpPlaces(uint32_t row) {
    std::vector<PpPlace> v;
    auto put = [&](bool high, int select, int address, int position, int fuse) {
        v.push_back({high, select, address, position, static_cast<uint32_t>(fuse)});
    };
    if (row == 280) {
        const int address[37] = {19, 18, 15, 14, 21, 20, 13, 12, 23, 22, 11, 10, 25, 24, 9,  8,  27, 26, 7,
                                 6,  29, 28, 5,  4,  31, 30, 3,  2,  33, 32, 1,  0,  17, 16, 35, 34, 45};
        const int rowSelect[18] = {6, 17, 16, 15, 14, 13, 12, 8, 7, 18, 9, 21, 11, 10, 23, 22, 20, 19};
        const int k1Select[6] = {5, 4, 1, 3, 2, 0};
        const int low[4] = {2268, 1296, 972, 0}, high[4] = {1944, 1620, 648, 324};
        const int k1Fuses[24] = {2614, 2608, 2606, 2600, 2615, 2609, 2607, 2601, 2599, 2596, 2595, 2592,
                                 2612, 2610, 2604, 2602, 2613, 2611, 2605, 2603, 2598, 2597, 2594, 2593};
        for (int a = 0; a <= 17; ++a)
            for (int b = 0; b <= 35; ++b)
                for (int p = 0; p < 4; ++p)
                    put(false, rowSelect[a], address[b], p, a <= 8 ? low[p] + 36 * a + b : high[p] + 36 * (a - 9) + b);
        for (int a = 0; a <= 5; ++a)
            for (int p = 0; p < 4; ++p) put(false, k1Select[a], address[36], p, k1Fuses[4 * a + p]);
        put(false, 24, 45, 3, 2616);
        for (int b = 0; b <= 35; ++b)
            for (int k = 0; k < 2; ++k) put(false, 24, address[b], k + 1, 2617 + 36 * k + b);
    } else {
        const int rows[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
        const int base[10] = {88, 484, 968, 1540, 2200, 2948, 3696, 4356, 4928, 5412};
        for (int a = 0; a <= 15; ++a)
            for (int b = 0; b <= 43; ++b)
                for (int j = 0; j < 10; ++j)
                    if (rows[j] > a) put(false, a, b, 9 - j, base[j] + 44 * a + b);
        for (int b = 0; b <= 43; ++b)
            for (int j = 0; j < 10; ++j) put(true, 7, b, 9 - j, base[j] - 44 + b);
        for (int j = 0; j < 10; ++j) {
            put(true, 0, 0, 9 - j, 5808 + 2 * j);
            put(true, 2, 0, 9 - j, 5809 + 2 * j);
        }
        for (int b = 0; b <= 43; ++b) {
            put(false, 15, b, 6, b);
            put(false, 15, b, 3, 5764 + b);
        }
    }
    return v;
}

// No user map reaches row 280's security bit: an all-1 map (every cell the
// walk reaches cleared) leaves the part open.
TEST_F(ParallelPldTest, NoFuseMapSecuresThePart) {
    auto* nibble = Seat<sim::NibblePldChip>(kPp280);
    LoadFuses(std::vector<uint8_t>(2689, 1), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_FALSE(nibble->Locked());
    auto* ten = Seat<sim::TenBitPldChip>(kPp291);
    LoadFuses(std::vector<uint8_t>(5828, 1), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    EXPECT_FALSE(ten->Locked());
}

// A random map programmed through the driver lands where the tables place
// each fuse, as the complement; the tables name every fuse once.
TEST_F(ParallelPldTest, FusesLandWhereThePartPlacesThem) {
    for (const auto& [row, name, fuses] : {std::tuple<uint32_t, const char*, uint32_t>{280, kPp280, 2689},
                                           {291, kPp291, 5828}}) {
        SCOPED_TRACE(row);
        const std::vector<PpPlace> places = PpPlaces(row);
        std::vector<int> named(fuses, 0);
        for (const PpPlace& p : places) {
            ASSERT_LT(p.fuse, fuses);
            ++named[p.fuse];
        }
        EXPECT_EQ(std::count(named.begin(), named.end(), 1), static_cast<long>(fuses));
        const sim::NibblePldChip* nibble = row == 280 ? Seat<sim::NibblePldChip>(name) : nullptr;
        const sim::TenBitPldChip* ten = row == 291 ? Seat<sim::TenBitPldChip>(name) : nullptr;
        const std::vector<uint8_t> map = Pattern(fuses, fuses + 3);
        LoadFuses(map, FuseRowLength);
        ASSERT_EQ(Run(OpProgram), 1) << LogText();
        int wrong = 0;
        for (const PpPlace& p : places) {
            const int word = nibble ? nibble->Word(p.select, p.address) : ten->Word(p.high, p.select, p.address);
            if (((word >> p.position) & 1) != 1 - map[p.fuse] && ++wrong <= 5)
                ADD_FAILURE() << "fuse " << p.fuse << " not at page " << p.high << " select " << p.select
                              << " address " << p.address << " bit " << p.position;
        }
        EXPECT_EQ(wrong, 0);
    }
}

// Row 280: a blank part reads as all 0s; an all-0 map drives Fh on every
// word (nothing programs), an all-1 map 0h; every pulse 10 ms. A word that
// does not read back ends the run after its one pulse with the last fuse it
// handed over.
TEST_F(ParallelPldTest, Row280Words) {
    auto* chip = Seat<sim::NibblePldChip>(kPp280);
    for (uint32_t n = 0; n < 2689; ++n) SetBufferBit(n, 1);
    EXPECT_EQ(Run(OpRead), 1) << LogText();
    EXPECT_EQ(UserFuses(2689), std::vector<uint8_t>(2689, 0));
    const size_t words = ParallelPldWalk(280).size();
    for (uint8_t fill : {0, 1}) {
        chip = Seat<sim::NibblePldChip>(kPp280);
        LoadFuses(std::vector<uint8_t>(2689, fill), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), 1) << LogText();
        ASSERT_EQ(chip->Writes().size(), words);
        for (const auto& w : chip->Writes()) {
            // Row select 24 carries fuses at some positions only: the others
            // are driven 0 (their buffer bit taken as 0) whatever the map.
            if (fill == 0 || w.select != 24) {
                EXPECT_EQ(w.lines, fill == 0 ? 0xF : 0x0);
            }
            EXPECT_GE(w.widthUs, 10000u);
            EXPECT_LT(w.widthUs, 12000u); // the timer's own wait
        }
        EXPECT_EQ(chip->Blank(), fill == 0);
    }
    chip = Seat<sim::NibblePldChip>(kPp280);
    chip->StickCell(sim::NibblePldChip::CellOf(17, 18, 2)); // kind 0, a = 1, b = 1
    LoadFuses(std::vector<uint8_t>(2689, 1), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), -1);
    EXPECT_TRUE(HasLine("Program error!")) << LogText();
    EXPECT_TRUE(HasLine(PpFailLine(36 + 1))) << LogText(); // the word's last fuse, position 3
    EXPECT_EQ(chip->Writes().size(), 36u + 2u);
    EXPECT_TRUE(elec->SuppliedPins().empty());
    ExpectNoViolations();
}

// Row 291: every word one 400 us pulse and a 1200 us over-pulse on a part
// that takes one; a word needing 5 pulses gets a 6000 us over-pulse and the
// run passes; one needing 6 fails the run after five pulses.
TEST_F(ParallelPldTest, Row291AdaptivePulses) {
    auto* chip = Seat<sim::TenBitPldChip>(kPp291);
    LoadFuses(std::vector<uint8_t>(5828, 1), FuseRowLength);
    EXPECT_EQ(Run(OpProgram), 1) << LogText();
    const size_t words = ParallelPldWalk(291).size();
    ASSERT_EQ(chip->Pulses().size(), 2 * words);
    for (size_t k = 0; k < chip->Pulses().size(); ++k) {
        const uint64_t want = k % 2 == 0 ? 400 : 1200;
        EXPECT_GE(chip->Pulses()[k].widthUs, want) << k;
        // Waits of a millisecond and more run on the millisecond timer.
        EXPECT_LT(chip->Pulses()[k].widthUs, want < 1000 ? want + 40 : want + 1100) << k;
    }
    for (int need : {5, 6}) {
        SCOPED_TRACE(need);
        chip = Seat<sim::TenBitPldChip>(kPp291);
        chip->NeedPulses(true, 2, 0, need); // kind 3
        LoadFuses(std::vector<uint8_t>(5828, 1), FuseRowLength);
        EXPECT_EQ(Run(OpProgram), need == 5 ? 1 : -1) << LogText();
        std::vector<uint64_t> widths;
        for (const auto& p : chip->Pulses())
            if (p.highPage && p.select == 2 && p.address == 0) widths.push_back(p.widthUs);
        ASSERT_EQ(widths.size(), need == 5 ? 6u : 5u);
        for (size_t k = 0; k < 5; ++k) EXPECT_LT(widths[k], 440u) << k;
        if (need == 5) {
            EXPECT_GE(widths[5], 6000u);
            EXPECT_LT(widths[5], 7100u);
        } else {
            EXPECT_TRUE(HasLine("Program error!")) << LogText();
            EXPECT_EQ(chip->Pulses().back().select, 2); // the walk stopped at the word
        }
        ExpectNoViolations();
    }
}

// ESC answered No during a read walk ends it with the socket powered down.
TEST_F(ParallelPldTest, UserBreakInAReadWalk) {
    for (const char* name : {kPp280, kPp291}) {
        SCOPED_TRACE(name);
        if (std::string(name) == kPp280) Seat<sim::NibblePldChip>(name);
        else Seat<sim::TenBitPldChip>(name);
        ui.BreakAtPercent = 30;
        ui.QueueAnswer(UiAnswer::No);
        EXPECT_EQ(Run(OpRead), -1) << LogText();
        EXPECT_TRUE(elec->SuppliedPins().empty());
        ExpectNoViolations();
    }
}

} // namespace
