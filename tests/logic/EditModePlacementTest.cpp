// Where chosen fuses of a JEDEC map land on the edit-mode PLDs (rows 207,
// 208, 210, 209, 240, 241), the GAL6001-type FPLAs (row 225) and the
// serial-command PLDs (row 292). Each table gives a fuse and its place on the
// part (row address and register position; chain row or product term and
// chain bit; row, data shift and bit), worked out by hand from the families'
// row maps. The fuse is programmed alone (0, every other fuse 1) through the
// driver; the chip model must show it at that place, and no other cell of the
// map may change.
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
// row r selects term 63 - r, whose OR cells lie at bits 0-19 and 103-118;
// the architecture chain by its table.
TEST_F(EditModePlacementTest, Gal6001ByRowTermAndChainBit) {
    auto place = [](const sim::Gal6001Chip& chip, const EmSpot& s) {
        if (s.c == 1) return chip.TermCellAt(s.a, s.b);
        if (s.c == 2) return chip.ArchCellAt(s.b);
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
                                                       {1000, 8, 10, 1},
                                                       {8221, 0, 0, 2},
                                                       {8220, 0, 1, 2},
                                                       {8179, 0, 2, 2},
                                                       {8215, 0, 11, 2},
                                                       {8214, 0, 12, 2},
                                                       {8216, 0, 22, 2},
                                                       {8217, 0, 23, 2},
                                                       {8212, 0, 24, 2},
                                                       {8181, 0, 41, 2},
                                                       {8156, 0, 42, 2},
                                                       {8154, 0, 50, 2},
                                                       {8176, 0, 58, 2},
                                                       {8155, 0, 65, 2},
                                                       {8218, 0, 66, 2},
                                                       {8219, 0, 67, 2}},
                                                      place);
    ExpectPlaces<sim::Gal6001Chip, sim::Gal6001Facts>("LATTICE", "GAL6002",
                                                      {{8258, 97, 20},
                                                       {8257, 0, 0, 2},
                                                       {8256, 0, 1, 2},
                                                       {8216, 0, 22, 2},
                                                       {8255, 0, 42, 2},
                                                       {8238, 0, 59, 2},
                                                       {8220, 0, 60, 2},
                                                       {8237, 0, 77, 2},
                                                       {8156, 0, 78, 2},
                                                       {8176, 0, 94, 2},
                                                       {8218, 0, 102, 2}},
                                                      place);
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
