// Where chosen fuses of a JEDEC map land on the edit-mode PLDs (rows 207,
// 208, 210, 209, 240, 241), the GAL6001-type FPLAs (row 225) and the
// serial-command PLDs (row 292). Each table gives a fuse and its place on the
// part (row address and register position; chain row or product term and
// chain bit; row, data shift and bit), worked out by hand from the families'
// row maps. The fuse is programmed alone (0, every other fuse 1) through the
// driver; the chip model must show it at that place, and no other cell of the
// map may change.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/EditModeChip.h"
#include "sim/Gal6001Chip.h"
#include "sim/IspPldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

// A fuse and its place: up to three coordinates, as the chip's accessor takes them.
struct EmSpot {
    uint32_t fuse;
    int a, b, c = 0;
};

class EditModePlacementTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        BlankCheckBeforeProgram = 0;
        VerifyAfterProgram = 0;
    }

    template <class Chip, class Facts>
    void ExpectPlaces(const char* maker, const char* name, const std::vector<EmSpot>& spots,
                      const std::function<int(const Chip&, const EmSpot&)>& at) {
        for (const EmSpot& s : spots) {
            SCOPED_TRACE(std::string(name) + " fuse " + std::to_string(s.fuse) + " at " + std::to_string(s.a) + "/" +
                         std::to_string(s.b) + "/" + std::to_string(s.c));
            ASSERT_TRUE(SelectPld(maker, name));
            const Facts* f = sim::FindFacts<Facts>(maker, name);
            ASSERT_NE(f, nullptr);
            Chip* chip = SeatAlone<Chip>(*f);
            ASSERT_LT(s.fuse, DeviceSize);
            ASSERT_EQ(at(*chip, s), 1);
            std::vector<uint8_t> fuses(DeviceSize, 1);
            fuses[s.fuse] = 0;
            SetUserFuses(fuses);
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            EXPECT_EQ(at(*chip, s), 0);
            size_t changed = 0;
            for (uint32_t n = 0; n < DeviceSize; ++n) changed += chip->Cell(n) == 0 ? 1 : 0;
            EXPECT_EQ(changed, 1u);
            ExpectNoViolations();
        }
    }

    // Every entry of a table at once: in program t, fuse k of the table is 0
    // when bit t of k + 1 is set (every other fuse 1), so the programs spell
    // at each place the number of the entry that landed there.
    template <class Chip, class Facts>
    void ExpectTable(const char* maker, const char* name, const std::vector<EmSpot>& spots,
                     const std::function<int(const Chip&, const EmSpot&)>& at) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SelectPld(maker, name));
        const Facts* f = sim::FindFacts<Facts>(maker, name);
        ASSERT_NE(f, nullptr);
        std::vector<size_t> codes(spots.size(), 0);
        for (size_t t = 0; (spots.size() + 1) >> t != 0; ++t) {
            Chip* chip = SeatAlone<Chip>(*f);
            std::vector<uint8_t> fuses(DeviceSize, 1);
            size_t zeros = 0;
            for (size_t k = 0; k < spots.size(); ++k) {
                if (((k + 1) >> t & 1) == 0) continue;
                ASSERT_LT(spots[k].fuse, DeviceSize);
                fuses[spots[k].fuse] = 0;
                ++zeros;
            }
            SetUserFuses(fuses);
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            size_t programmed = 0;
            for (uint32_t n = 0; n < DeviceSize; ++n) programmed += chip->Cell(n) == 0 ? 1 : 0;
            EXPECT_EQ(programmed, zeros) << "program " << t;
            for (size_t k = 0; k < spots.size(); ++k) {
                const int v = at(*chip, spots[k]);
                ASSERT_GE(v, 0) << "no cell at " << spots[k].a << "/" << spots[k].b << "/" << spots[k].c;
                codes[k] |= static_cast<size_t>(v == 0 ? 1 : 0) << t;
            }
        }
        for (size_t k = 0; k < spots.size(); ++k) {
            const EmSpot& s = spots[k];
            const size_t got = codes[k];
            EXPECT_EQ(got, k + 1) << "fuse " << s.fuse << " at " << s.a << "/" << s.b << "/" << s.c << " shows fuse "
                                  << (got >= 1 && got <= spots.size() ? static_cast<int64_t>(spots[got - 1].fuse) : -1);
        }
        ExpectNoViolations();
    }
    void ExpectEditTable(const char* name, const std::vector<EmSpot>& spots) {
        ExpectTable<sim::EditModeChip, sim::EditModeFacts>(
            "AMD", name, spots, [](const sim::EditModeChip& chip, const EmSpot& s) { return chip.CellAtPlace(s.a, s.b); });
    }

    void ExpectEditPlaces(const char* name, const std::vector<EmSpot>& spots) {
        ExpectPlaces<sim::EditModeChip, sim::EditModeFacts>(
            "AMD", name, spots, [](const sim::EditModeChip& chip, const EmSpot& s) { return chip.CellAtPlace(s.a, s.b); });
    }
};

// Command-bus rows 207 and 208 (64-position register): array address a
// holds fuse (63 - p) x columns + a at position p; the UES row its bytes
// most significant bit first; the term-disable row fuse base + p; rows 60
// and 61 one fuse per 8-position block, from the top fuse down; rows 62 and
// 63 the last block only.
TEST_F(EditModePlacementTest, CommandBusRowsByAddressAndPosition) {
    ExpectEditPlaces("PALCE16V8", {{0, 0, 63},
                                   {33, 1, 62},
                                   {1000, 8, 32},
                                   {2047, 31, 0},
                                   {2056, 32, 7},
                                   {2070, 32, 9},
                                   {2130, 33, 2},
                                   {2048, 60, 56},
                                   {2053, 60, 16},
                                   {2121, 61, 48},
                                   {2192, 62, 56},
                                   {2193, 63, 56}});
    ExpectEditPlaces("PALCE20V8", {{0, 0, 63},
                                   {1234, 34, 33},
                                   {2559, 39, 0},
                                   {2568, 40, 7},
                                   {2631, 40, 56},
                                   {2650, 41, 10},
                                   {2560, 60, 56},
                                   {2567, 60, 0},
                                   {2632, 61, 56},
                                   {2704, 62, 56},
                                   {2705, 63, 56}});
}

// The fields past the array of rows 207 and 208, whole: the UES row (each
// byte from its most significant bit), the term-disable row (fuse base + p),
// rows 60 and 61 (fuse top - p div 8, eight positions a fuse), rows 62 and
// 63 (their last block).
TEST_F(EditModePlacementTest, CommandBusFieldsWhole) {
    struct Map {
        const char* name;
        int columns;
        uint32_t xorTop, ues, ac1Top, ptd, syn, ac0;
    };
    for (const Map& m : {Map{"PALCE16V8", 32, 2055, 2056, 2127, 2128, 2192, 2193},
                         Map{"PALCE20V8", 40, 2567, 2568, 2639, 2640, 2704, 2705}}) {
        std::vector<EmSpot> spots;
        for (int p = 0; p < 64; ++p) {
            spots.push_back({m.ues + 8 * static_cast<uint32_t>(p / 8) + 7 - static_cast<uint32_t>(p % 8), m.columns, p});
            spots.push_back({m.ptd + static_cast<uint32_t>(p), m.columns + 1, p});
        }
        for (int block = 0; block < 8; ++block) {
            spots.push_back({m.xorTop - static_cast<uint32_t>(block), 60, 8 * block + 3});
            spots.push_back({m.ac1Top - static_cast<uint32_t>(block), 61, 8 * block + 5});
        }
        spots.push_back({m.syn, 62, 60});
        spots.push_back({m.ac0, 63, 57});
        ExpectEditTable(m.name, spots);
    }
}

// The rows past the array of rows 210, 209 and 240, whole, from each row's
// position list; and one array row's every term.
TEST_F(EditModePlacementTest, LatchedRowsPastTheArrayWhole) {
    std::vector<EmSpot> spots;
    for (int k = 0; k < 10; ++k) spots.push_back({3209u - static_cast<uint32_t>(k), 63, 8 * k});
    for (int p = 0; p < 80; ++p) spots.push_back({static_cast<uint32_t>(79 - p) * 40 + 7, 7, p});
    ExpectEditTable("PALCE20RA10", spots);

    const int starts[10] = {6, 14, 22, 46, 54, 70, 86, 102, 110, 126};
    spots.clear();
    for (int a = 60; a <= 61; ++a)
        for (int k = 0; k < 10; ++k) spots.push_back({static_cast<uint32_t>(5826 + (a - 60) - 2 * k), a, starts[k]});
    ExpectEditTable("PALCE22V10", spots);

    const int lists[2][12] = {{6, 14, 22, 30, 54, 70, 78, 94, 110, 126, 134, 142},
                              {10, 22, 35, 48, 61, 74, 87, 100, 113, 126, 138, 149}};
    for (int variant = 0; variant < 2; ++variant) {
        spots.clear();
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 12; ++k)
                spots.push_back({static_cast<uint32_t>(7811 + 12 * j - k), 60 + j, lists[variant][k]});
        ExpectEditTable(variant == 0 ? "PALCE26V12" : "PALCE26V12H", spots);
    }
}

// Row 241, whole: fuse-map row i latched as its table's address (fuse i,
// term 0, at position 89); the terms of row 0; the blocks of rows 40-45
// (bus bit B shows block 7 - B or 23 - B).
TEST_F(EditModePlacementTest, WideRowOrderAndBlocksWhole) {
    const int latched[46] = {19, 17, 15, 13, 11, 9,  7,  5,  3,  1,  2,  0,  6,  4,  10, 8,  14, 12, 18, 16, 22, 20, 26,
                             24, 30, 28, 34, 32, 38, 36, 27, 25, 31, 29, 35, 33, 39, 37, 23, 21, 40, 42, 44, 43, 41, 45};
    std::vector<EmSpot> spots;
    for (int i = 1; i < 40; ++i) spots.push_back({static_cast<uint32_t>(i), latched[i], 89});
    for (int p = 0; p < 160; ++p) {
        const int k = p < 80 ? 159 - p : 10 * ((p - 80) / 10) + 9 - (p - 80) % 10;
        spots.push_back({static_cast<uint32_t>(40 * k), latched[0], p});
    }
    for (int i = 40; i < 45; ++i)
        for (int b = 0; b < 16; ++b) {
            const int fuse = b < 8 ? 6475 - 5 * b + (i - 40) : 6400 + 5 * (b - 8) + (i - 40);
            spots.push_back({static_cast<uint32_t>(fuse), latched[i], 10 * b + 4});
        }
    // Row 45: fuse 6480 read on bus bit 9 (block 14), 6481 on bit 8 (block 15).
    spots.push_back({6480, latched[45], 147});
    spots.push_back({6481, latched[45], 151});
    ExpectEditTable("PALCE29M16", spots);
}

// Latch-addressed rows 210, 209 and 240: array address a holds fuse
// (N - 1 - p) x inputs + a at position p; the rows past the array one fuse
// at each listed position (210: row 63, positions 8k, fuse 3209 - k; 209:
// rows 60/61 from positions 6, 14, 22, 46, 54, 70, 86, 102, 110, 126, fuse
// 5826/5827 - 2k; 240: rows 60 + j from the variant's list, fuse 7811 + 12j
// - k).
TEST_F(EditModePlacementTest, LatchedRowsByAddressAndPosition) {
    ExpectEditPlaces("PALCE20RA10",
                     {{0, 0, 79}, {1234, 34, 49}, {3199, 39, 0}, {3209, 63, 0}, {3205, 63, 32}, {3200, 63, 72}});
    ExpectEditPlaces("PALCE22V10", {{0, 0, 131},
                                    {2000, 20, 86},
                                    {5807, 43, 0},
                                    {5826, 60, 6},
                                    {5808, 60, 126},
                                    {5827, 61, 6},
                                    {5817, 61, 70}});
    ExpectEditPlaces("PALLV22V10", {{2000, 20, 86}, {5820, 60, 46}, {5823, 61, 22}});
    ExpectEditPlaces("PALCE26V12", {{0, 0, 149},
                                    {3000, 36, 92},
                                    {7799, 51, 0},
                                    {7811, 60, 6},
                                    {7810, 60, 14},
                                    {7800, 60, 142},
                                    {7830, 62, 70},
                                    {7847, 63, 6}});
    ExpectEditPlaces("PALCE26V12H", {{3000, 36, 92}, {7811, 60, 10}, {7800, 60, 149}, {7830, 62, 74}, {7847, 63, 10}});
}

// Row 241: fuse-map row i is latched as address 19, 17, 15, ... (its table);
// array fuse k x 40 + i at position 159 - k (k >= 80) or 80 + 10 (k div
// 10) + 9 - (k mod 10); rows 40-44 one fuse per 10-position block.
TEST_F(EditModePlacementTest, WideRowByLatchedAddressAndPosition) {
    ExpectEditPlaces("PALCE29M16", {{0, 19, 89},
                                    {211, 0, 84},
                                    {1234, 35, 119},
                                    {4025, 28, 59},
                                    {6399, 21, 0},
                                    {6475, 40, 0},
                                    {6467, 44, 20},
                                    {6404, 41, 80}});
}

// Row 225: input row r keeps the AND cell of term b - 31 at chain bit b
// (fuse (b - 31) x 114 + r), planes b - 20 at bits 20-29 (fuse (b - 20) x
// 78 + r + 7296) and 30 (r + 8076); the UES row 97 at bits 20-91; group-2
// row r selects term 63 - r, whose OR cells lie at bits 0-19 and 103-118.
TEST_F(EditModePlacementTest, Gal6001ByRowTermAndChainBit) {
    auto place = [](const sim::Gal6001Chip& chip, const EmSpot& s) {
        if (s.c == 1) return chip.TermCellAt(s.a, s.b);
        return chip.RowCellAt(s.a, s.b);
    };
    ExpectPlaces<sim::Gal6001Chip, sim::Gal6001Facts>("LATTICE", "GAL6001",
                                                      {{0, 0, 31},
                                                       {115, 1, 32},
                                                       {7259, 77, 94},
                                                       {7296, 0, 20},
                                                       {8075, 77, 29},
                                                       {8076, 0, 30},
                                                       {8153, 77, 30},
                                                       {8222, 97, 20},
                                                       {8293, 97, 91},
                                                       {7260, 63, 0, 1},
                                                       {7280, 63, 103, 1},
                                                       {78, 0, 0, 1},
                                                       {113, 0, 118, 1},
                                                       {1000, 8, 10, 1}},
                                                      place);
    ExpectPlaces<sim::Gal6001Chip, sim::Gal6001Facts>("LATTICE", "GAL6002",
                                                      {{8258, 97, 20}, {8329, 97, 91}, {7280, 63, 103, 1}},
                                                      place);
}

// Row 225's architecture chain, whole: bits 0 and 1 the last two cells
// swapped, bits 2-11 every fourth cell up from 8179, bits 12-21 every fourth
// down from 8214, bits 22-41 the pair table, then the 3-apart runs (the
// 6002's 36 further cells ahead of them) and the two cells after them.
TEST_F(EditModePlacementTest, Gal6001ArchitectureChainWhole) {
    const int pairs[20] = {8216, 8217, 8212, 8213, 8208, 8209, 8204, 8205, 8200, 8201,
                           8196, 8197, 8192, 8193, 8188, 8189, 8184, 8185, 8180, 8181};
    for (const bool wide : {false, true}) {
        std::vector<EmSpot> spots;
        auto add = [&](int fuse, int b) { spots.push_back({static_cast<uint32_t>(fuse), 0, b, 2}); };
        add(wide ? 8257 : 8221, 0);
        add(wide ? 8256 : 8220, 1);
        for (int b = 2; b < 12; ++b) add((b - 2) * 4 + 8179, b);
        for (int b = 12; b < 22; ++b) add(8214 - (b - 12) * 4, b);
        for (int b = 22; b < 42; ++b) add(pairs[b - 22], b);
        const int run = wide ? 78 : 42; // first bit of the 3-apart runs
        if (wide) {
            for (int b = 42; b < 60; ++b) add(8297 - b, b);
            for (int b = 60; b < 78; ++b) add(b + 8160, b);
        }
        for (int b = run; b < run + 8; ++b) add((b - run) * 3 + 8156, b);
        for (int b = run + 8; b < run + 16; ++b) add((b - run - 8) * 3 + 8154, b);
        for (int b = run + 16; b < run + 24; ++b) add(8176 - (b - run - 16) * 3, b);
        add(8218, run + 24);
        add(8219, run + 25);
        ExpectTable<sim::Gal6001Chip, sim::Gal6001Facts>(
            "LATTICE", wide ? "GAL6002" : "GAL6001", spots,
            [](const sim::Gal6001Chip& chip, const EmSpot& s) { return chip.ArchCellAt(s.b); });
    }
}

// Row 292: fuse r x S x B + s x B + b is bit b of data shift s of row r.
TEST_F(EditModePlacementTest, SerialCommandByRowShiftAndBit) {
    auto place = [](const sim::IspPldChip& chip, const EmSpot& s) {
        return chip.CellAt(static_cast<uint32_t>(s.a), static_cast<uint32_t>(s.c), static_cast<uint32_t>(s.b));
    };
    using sim::IspPldChip, sim::IspPldFacts;
    ExpectPlaces<IspPldChip, IspPldFacts>(
        "GENERIC-ALGORITHM", "SCPLD15360",
        {{0, 0, 0, 0}, {79, 0, 79, 0}, {80, 0, 0, 1}, {161, 1, 1, 0}, {7777, 48, 17, 1}, {15359, 95, 79, 1}}, place);
    ExpectPlaces<IspPldChip, IspPldFacts>("GENERIC-ALGORITHM", "SCPLD74880", {{500, 1, 20, 0}, {74879, 155, 239, 1}},
                                          place);
    ExpectPlaces<IspPldChip, IspPldFacts>("GENERIC-ALGORITHM", "SCPLD8160", {{4001, 50, 1, 0}, {8159, 101, 79, 0}},
                                          place);
    ExpectPlaces<IspPldChip, IspPldFacts>("GENERIC-ALGORITHM", "SCPLD15040", {{15039, 93, 159, 0}}, place);
}

} // namespace
