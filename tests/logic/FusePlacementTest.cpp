// Where chosen fuses of a JEDEC map land on the chip, for the one-time and
// word-wide PLD rows and the list PLDs. Each table gives a fuse and its
// place in the part's array (line and column, row and column and output,
// address and bit), worked out from the family's map; the fuse is
// programmed alone through the driver and looked up in the chip model by
// that place, and no other cell of the array may change.
#include <functional>
#include <string>
#include <vector>

#include "sim/AddressListBus.h"
#include "sim/AddressListChip.h"
#include "sim/BipolarPalChip.h"
#include "sim/FileOrderFuseChip.h"
#include "sim/MacrocellFuseChip.h"
#include "sim/MacrocellWordChip.h"
#include "sim/PinAddressedFuseChip.h"
#include "sim/PlaneArrayChip.h"
#include "sim/PlaneFusePromChip.h"
#include "sim/ProductTermPalChip.h"
#include "sim/SecuredWordChip.h"
#include "sim/TestCellPlaChip.h"
#include "sim/TextListChip.h"
#include "sim/WideWordEpldChip.h"
#include "tests/logic/PldFixture.h"

namespace {

// One fuse and whether the chip shows it programmed at its place.
template <class Chip> struct FpSpot {
    uint32_t fuse;
    std::function<bool(const Chip&)> at;
    std::string place;
};

class FusePlacementTest : public PldRun {
protected:
    void SetUp() override {
        PldRun::SetUp();
        sim::RegisterAddressListBusPersonality();
        BlankCheckBeforeProgram = 0;
    }

    template <class Chip, class Facts> Chip* Seat(const char* maker, const char* name) {
        EXPECT_TRUE(SelectPld(maker, name)) << name;
        const Facts* f = sim::FindFacts<Facts>(maker, name);
        EXPECT_NE(f, nullptr) << name;
        return f != nullptr ? SeatAlone<Chip>(*f) : nullptr;
    }

    static std::vector<uint8_t> Snapshot(const sim::CellArrayChip& chip, uint32_t cells) {
        std::vector<uint8_t> s(cells);
        for (uint32_t n = 0; n < cells; ++n) s[n] = static_cast<uint8_t>(chip.Cell(n));
        return s;
    }

    // Each spot alone: the map holds `programmed` at its fuse and `other`
    // everywhere else; after Program the chip shows it at its place and the
    // first `cells` cells of the array differ from the blank part in one
    // cell only (the part's test cells lie beyond them).
    template <class Chip, class Facts>
    void ExpectPlaces(const char* maker, const char* name, const std::vector<FpSpot<Chip>>& spots, uint32_t cells,
                      int programmed = 1) {
        for (const FpSpot<Chip>& s : spots) {
            SCOPED_TRACE(std::string(name) + " fuse " + std::to_string(s.fuse) + " at " + s.place);
            Chip* chip = Seat<Chip, Facts>(maker, name);
            ASSERT_NE(chip, nullptr);
            ASSERT_LT(s.fuse, DeviceSize);
            const std::vector<uint8_t> blank = Snapshot(*chip, cells);
            ASSERT_FALSE(s.at(*chip));
            std::vector<uint8_t> fuses(DeviceSize, static_cast<uint8_t>(programmed == 1 ? 0 : 1));
            fuses[s.fuse] = static_cast<uint8_t>(programmed);
            SetUserFuses(fuses);
            EXPECT_EQ(Run(OpProgram), 1) << LogText();
            EXPECT_TRUE(s.at(*chip));
            const std::vector<uint8_t> after = Snapshot(*chip, cells);
            size_t changed = 0;
            for (uint32_t n = 0; n < cells; ++n) changed += after[n] != blank[n];
            EXPECT_EQ(changed, 1u);
            ExpectNoViolations();
        }
    }
};

// Rows 270, 271, 274: fuse = output x (groups x columns) + group x columns
// + column.
TEST_F(FusePlacementTest, FuseArrayPalsByGroupColumnAndOutput) {
    using S = FpSpot<sim::BipolarPalChip>;
    auto gco = [](int g, int c, int b) {
        return S{0, [=](const sim::BipolarPalChip& chip) { return chip.BlownAt(g, c, b); },
                 "group " + std::to_string(g) + " column " + std::to_string(c) + " output " + std::to_string(b)};
    };
    auto at = [](uint32_t n, S s) {
        s.fuse = n;
        return s;
    };
    ExpectPlaces<sim::BipolarPalChip, sim::BipolarPalFacts>(
        "TEXAS-INSTRUMENTS", "TIBPAL16L8",
        {at(300, gco(1, 12, 1)), at(0, gco(0, 0, 0)), at(31, gco(0, 31, 0)), at(1000, gco(7, 8, 3)),
         at(2047, gco(7, 31, 7))},
        2048);
    ExpectPlaces<sim::BipolarPalChip, sim::BipolarPalFacts>(
        "TEXAS-INSTRUMENTS", "TIBPAL20L8", {at(361, gco(1, 1, 1)), at(39, gco(0, 39, 0)), at(2559, gco(7, 39, 7))},
        2560);
    ExpectPlaces<sim::BipolarPalChip, sim::BipolarPalFacts>(
        "AMD/MMI", "PAL20L10A", {at(1280, gco(0, 0, 8)), at(1440, gco(0, 0, 9)), at(199, gco(0, 39, 1)),
                                 at(1599, gco(3, 39, 9))},
        1600);
}

// Rows 272 and 273: fuses count the layout's cells, line outer, column
// inner. Layout 0 of the 20-pin kind: columns 0-5, 8, 9, 12, 13, 16, 17,
// 20, 21, 24, 25, 28-31 of lines 0, 1, 8, 9, ...; the 24-pin layout 0
// adds columns 32, 33, 36-39; layout 6 has every cell of 80 x 40.
TEST_F(FusePlacementTest, ProductTermPalsByLineAndColumn) {
    using S = FpSpot<sim::ProductTermPalChip>;
    auto pq = [](uint32_t n, int p, int q) {
        return S{n, [=](const sim::ProductTermPalChip& chip) { return chip.BlownAt(p, q); },
                 "line " + std::to_string(p) + " column " + std::to_string(q)};
    };
    ExpectPlaces<sim::ProductTermPalChip, sim::ProductTermPalFacts>(
        "NATIONAL-SEMICONDUCTOR", "PAL10H8",
        {pq(0, 0, 0), pq(6, 0, 8), pq(19, 0, 31), pq(20, 1, 0), pq(40, 8, 0), pq(160, 32, 0), pq(319, 57, 31)}, 320);
    ExpectPlaces<sim::ProductTermPalChip, sim::ProductTermPalFacts>(
        "NATIONAL-SEMICONDUCTOR", "PAL16L8A", {pq(33, 1, 1), pq(1055, 32, 31), pq(2047, 63, 31)}, 2048);
    ExpectPlaces<sim::ProductTermPalChip, sim::ProductTermPalFacts>(
        "AMD/MMI", "PAL12L10", {pq(18, 0, 32), pq(23, 0, 39), pq(24, 1, 0), pq(48, 8, 0), pq(240, 40, 0)}, 480);
    ExpectPlaces<sim::ProductTermPalChip, sim::ProductTermPalFacts>(
        "GENERIC-ALGORITHM", "PTPAL3200", {pq(0, 0, 0), pq(415, 10, 15), pq(1639, 40, 39), pq(3199, 79, 39)}, 3200);
}

// Rows 281, 282, 286, 313, 289, 290: fuse = row x columns + column; the
// row's output is row / 8.
TEST_F(FusePlacementTest, PinAddressedArraysByRowAndColumn) {
    using S = FpSpot<sim::PinAddressedFuseChip>;
    auto rc = [](uint32_t n, int r, int c) {
        return S{n, [=](const sim::PinAddressedFuseChip& chip) { return chip.BlownAt(r, c); },
                 "row " + std::to_string(r) + " column " + std::to_string(c)};
    };
    const std::vector<S> narrow = {rc(0, 0, 0), rc(5, 0, 5), rc(30, 0, 30), rc(77, 2, 13), rc(298, 9, 10),
                                   rc(2047, 63, 31)};
    const std::vector<S> wide = {rc(0, 0, 0), rc(7, 0, 7), rc(38, 0, 38), rc(121, 3, 1), rc(345, 8, 25),
                                 rc(2559, 63, 39)};
    ExpectPlaces<sim::PinAddressedFuseChip, sim::PinAddressedFacts>("TEXAS-INSTRUMENTS", "TIBPAL16R4", narrow, 2048);
    ExpectPlaces<sim::PinAddressedFuseChip, sim::PinAddressedFacts>("NATIONAL-SEMICONDUCTOR", "PAL16R4A", narrow,
                                                                     2048);
    ExpectPlaces<sim::PinAddressedFuseChip, sim::PinAddressedFacts>("TEXAS-INSTRUMENTS", "TIBPAL20R4", wide, 2560);
    ExpectPlaces<sim::PinAddressedFuseChip, sim::PinAddressedFacts>("NATIONAL-SEMICONDUCTOR", "PAL20R4A", wide, 2560);
    ExpectPlaces<sim::PinAddressedFuseChip, sim::PinAddressedFacts>("AMD/MMI", "PAL16R6A", narrow, 2048);
    ExpectPlaces<sim::PinAddressedFuseChip, sim::PinAddressedFacts>("AMD/MMI", "PAL20R4A", wide, 2560);
}

// The ten-output macrocell map (rows 275 and 310): reset row 0-43, the
// output-enable row of output b at OE(b) and its terms from OE(b) + 44,
// preset row 5764-5807, architecture bits 5808 + 2b and 5809 + 2b. On the
// chip: term t of output b is row code t; with the select, row code 0 the
// output-enable row, the reset and preset rows on outputs 1 and 8 (row
// code 3 on the 275 part, 4 on the 310 part), the architecture bits at
// row codes 1 and 2, column 63 (275) or row code 1, columns 44 and 45 (310).
TEST_F(FusePlacementTest, MacrocellArraysCellByCell) {
    using S = FpSpot<sim::MacrocellFuseChip>;
    auto cell = [](uint32_t n, bool select, int r, int c, int b) {
        return S{n, [=](const sim::MacrocellFuseChip& chip) { return chip.BlownAt(select, r, c, b); },
                 std::string(select ? "special " : "term ") + std::to_string(r) + " column " + std::to_string(c) +
                     " output " + std::to_string(b)};
    };
    ExpectPlaces<sim::MacrocellFuseChip, sim::MacrocellFuseFacts>(
        "GENERIC-ALGORITHM", "OTPPLD5828",
        {cell(0, true, 3, 0, 1), cell(43, true, 3, 43, 1), cell(44, true, 0, 0, 0), cell(88, false, 0, 0, 0),
         cell(439, false, 7, 43, 0), cell(440, true, 0, 0, 1), cell(880, false, 9, 0, 1), cell(5412, false, 0, 0, 9),
         cell(5764, true, 3, 0, 8), cell(5808, true, 1, 63, 0), cell(5809, true, 2, 63, 0),
         cell(5827, true, 2, 63, 9)},
        5828);
    using W = FpSpot<sim::FileOrderFuseChip>;
    auto wcell = [](uint32_t n, bool select, int r, int c, int b) {
        return W{n, [=](const sim::FileOrderFuseChip& chip) { return chip.BlownAt(select, r, c, b); },
                 std::string(select ? "special " : "term ") + std::to_string(r) + " column " + std::to_string(c) +
                     " output " + std::to_string(b)};
    };
    const std::vector<W> map = {wcell(0, true, 4, 0, 1),     wcell(44, true, 0, 0, 0),    wcell(88, false, 0, 0, 0),
                                wcell(924, true, 0, 0, 2),   wcell(1495, false, 11, 43, 2), wcell(2200, false, 0, 0, 4),
                                wcell(5807, true, 4, 43, 8), wcell(5808, true, 1, 44, 0),  wcell(5811, true, 1, 45, 1)};
    ExpectPlaces<sim::FileOrderFuseChip, sim::FileOrderFuseFacts>("GENERIC-ALGORITHM", "OTPPLD5828W", map, 5828);
    std::vector<W> wide = map;
    wide.push_back(wcell(5828, true, 1, 46, 0));
    wide.push_back(wcell(5837, true, 1, 46, 9));
    ExpectPlaces<sim::FileOrderFuseChip, sim::FileOrderFuseFacts>("GENERIC-ALGORITHM", "OTPPLD5838W", wide, 5838);
}

// Rows 276 and 278: the bit planes one after the other; row 279: fuse =
// bit x 256 + address.
TEST_F(FusePlacementTest, BitPlanesByAddressAndBit) {
    using S = FpSpot<sim::PlaneArrayChip>;
    auto word = [](uint32_t n, int row, int column, int k) {
        return S{n, [=](const sim::PlaneArrayChip& chip) { return chip.ProgrammedAt(row, column, k); },
                 "row " + std::to_string(row) + " column " + std::to_string(column) + " bit " + std::to_string(k)};
    };
    ExpectPlaces<sim::PlaneArrayChip, sim::PlaneArrayFacts>(
        "GENERIC-ALGORITHM", "UVPLD2048",
        {word(256, 0, 0, 1), word(33, 1, 1, 0), word(255, 7, 31, 0), word(1234, 6, 18, 4), word(2047, 7, 31, 7)}, 2048);
    ExpectPlaces<sim::PlaneArrayChip, sim::PlaneArrayFacts>(
        "GENERIC-ALGORITHM", "UVPLD1600",
        {word(160, 0, 0, 1), word(41, 1, 1, 0), word(159, 3, 39, 0), word(1519, 1, 39, 9)}, 1600);
    using P = FpSpot<sim::PlaneFusePromChip>;
    auto bit = [](uint32_t n, int address, int k) {
        return P{n, [=](const sim::PlaneFusePromChip& chip) { return chip.BlownAt(address, k); },
                 "address " + std::to_string(address) + " bit " + std::to_string(k)};
    };
    ExpectPlaces<sim::PlaneFusePromChip, sim::PlaneFusePromFacts>(
        "GENERIC-ALGORITHM", "OTPPROM2048", {bit(256, 0, 1), bit(255, 255, 0), bit(1234, 210, 4), bit(2047, 255, 7)},
        2048);
}

// Rows 239 and 238: words of ten bits gathered from the macrocell maps.
// 3210-fuse map: plain row r < 7 bit k = 320k + 280 - 40r + c, column c on
// the pins as ((c xor 2) + 2); third plane row 7 bit k = 320k + c; third
// plane row 0, pin value 0: 3200 + k. 3990-fuse map: plain row r bit k =
// 396k + 44r + c + 44; third plane row 7 bit k = 396k + c; third plane
// rows 0, 2, 4 at column 63: 3960 + 3k + r / 2. 5828-fuse map: data bit
// 9 - b is output b; term rows plain, the output-enable rows at third plane
// row 7, the architecture bits at third plane rows 0 and 2 of column 63,
// reset and preset rows at plain row 15 on bits 6 and 3.
TEST_F(FusePlacementTest, MacrocellWordsByRowColumnAndBit) {
    using S = FpSpot<sim::MacrocellWordChip>;
    auto w = [](uint32_t n, bool third, int r, int v, int k) {
        return S{n, [=](const sim::MacrocellWordChip& chip) { return chip.ProgrammedAt(third, r, v, k); },
                 std::string(third ? "third " : "plain ") + std::to_string(r) + " pins " + std::to_string(v) +
                     " bit " + std::to_string(k)};
    };
    auto code = [](int c) { return (c ^ 2) + 2; };
    ExpectPlaces<sim::MacrocellWordChip, sim::MacrocellWordFacts>(
        "GENERIC-ALGORITHM", "UVPLD3210",
        {w(280, false, 0, code(0), 0), w(283, false, 0, code(3), 0), w(245, false, 1, code(5), 0),
         w(361, false, 6, code(1), 1), w(3087, false, 2, code(7), 9), w(322, true, 7, code(2), 1),
         w(3200, true, 0, 0, 0), w(3209, true, 0, 0, 9)},
        3210);
    ExpectPlaces<sim::MacrocellWordChip, sim::MacrocellWordFacts>(
        "GENERIC-ALGORITHM", "UVPLD3990",
        {w(44, false, 0, 0, 0), w(133, false, 2, 1, 0), w(396 + 43, true, 7, 43, 1), w(3960, true, 0, 63, 0),
         w(3962, true, 4, 63, 0), w(3989, true, 4, 63, 9)},
        3990);
    ExpectPlaces<sim::MacrocellWordChip, sim::MacrocellWordFacts>(
        "GENERIC-ALGORITHM", "UVPLD5828-0",
        {w(88, false, 0, 0, 9), w(484 + 44 * 9 + 5, false, 9, 5, 8), w(5412, false, 0, 0, 0), w(2904 + 7, true, 7, 7, 4),
         w(3, false, 15, 3, 6), w(5764 + 40, false, 15, 40, 3), w(5808, true, 0, 63, 9), w(5827, true, 2, 63, 0)},
        5828);
}

// Rows 246, 244, 245: the words of the security-checked arrays.
TEST_F(FusePlacementTest, SecuredWordsByRowColumnAndBit) {
    using S = FpSpot<sim::SecuredWordChip>;
    auto w = [](uint32_t n, bool upper, int r, int c, int k) {
        return S{n, [=](const sim::SecuredWordChip& chip) { return chip.ProgrammedAt(upper, r, c, k); },
                 std::string(upper ? "upper " : "plain ") + std::to_string(r) + " column " + std::to_string(c) +
                     " bit " + std::to_string(k)};
    };
    // 22V10 map: data bit 9 - b is output b; upper row 0 the output-enable
    // rows, rows 1 and 2 at column 63 the architecture bits, row 3 the
    // reset row on bit 8 and the preset row on bit 1.
    ExpectPlaces<sim::SecuredWordChip, sim::SecuredWordFacts>(
        "GENERIC-ALGORITHM", "UVEPLD5828S",
        {w(88, false, 0, 0, 9), w(1540 + 44 * 13 + 2, false, 13, 2, 6), w(440 + 9, true, 0, 9, 8),
         w(5808, true, 1, 63, 9), w(5819, true, 2, 63, 4), w(12, true, 3, 12, 8), w(5764 + 30, true, 3, 30, 1)},
        5828);
    // 750 map: output b on data bit b; first term P(b) + 84r + c, five more
    // rows per output from Q(b) in the upper plane, the shared row 14280 + c
    // at upper row 7 on bit 1, the architecture cells 14364 + 3b + r in
    // the control column (bank column 31: column 95), row 2 at row 14 on
    // the plain 750, 14391 + 4b + r (r = 4-7) on the 750B.
    const std::vector<S> common = {w(0, false, 0, 0, 0), w(1092 + 84 * 3 + 70, false, 3, 70, 1),
                                   w(2352 + 84 * 2 + 10, false, 2, 10, 2), w(3780 + 84 * 9 + 40, false, 9, 40, 3),
                                   w(13188 + 84 * 7 + 83, false, 7, 83, 9), w(1932 + 84 * 2 + 5, true, 2, 5, 1),
                                   w(14280 + 66, true, 7, 66, 1)};
    std::vector<S> plain = common;
    plain.push_back(w(14364 + 3 * 4 + 1, false, 1, 95, 4));
    plain.push_back(w(14364 + 3 * 9 + 2, false, 14, 95, 9));
    ExpectPlaces<sim::SecuredWordChip, sim::SecuredWordFacts>("GENERIC-ALGORITHM", "UVEPLD14394", plain, 14394);
    std::vector<S> b = common;
    b.push_back(w(14364 + 2, false, 2, 95, 0));
    b.push_back(w(14391 + 4 * 3 + 6, false, 6, 95, 3));
    ExpectPlaces<sim::SecuredWordChip, sim::SecuredWordFacts>("GENERIC-ALGORITHM", "UVEPLD14435", b, 14435);

    using V = FpSpot<sim::WideWordEpldChip>;
    auto x = [](uint32_t n, bool upper, int r, int kindPin, int c, int k) {
        return V{n, [=](const sim::WideWordEpldChip& chip) { return chip.ProgrammedAt(upper, r, kindPin, c, k); },
                 std::string(upper ? "upper " : "plain ") + std::to_string(r) + " kind pin " +
                     std::to_string(kindPin) + " column " + std::to_string(c) + " bit " + std::to_string(k)};
    };
    // 2500 map: kind pin low A(b) + 172r + c, high B(b) + 172r + c, row 16
    // in the upper rows at row 0; upper row 3 the eight cells C(i) + c on
    // bits 0, 1, 3, 4, 6, 7, 9, 10; column 191 at row codes 4r: kind pin
    // low 71556 + r + 8b, high 71552 + r + 8b; row codes 4r + 2 (the part
    // with the extra cells): low 71653 + r + 8b, high 71649 + r + 8b.
    const std::vector<V> wide = {x(2924, false, 0, 0, 0, 0),  x(6020 + 172 * 5 + 9, false, 5, 1, 9, 1),
                                 x(68456 + 171, false, 0, 0, 171, 11), x(65532 + 172 * 16 + 3, true, 0, 1, 3, 11),
                                 x(17716 + 100, true, 3, 0, 100, 1), x(71380 + 171, true, 3, 0, 171, 10),
                                 x(71556 + 2 + 8 * 5, false, 8, 0, 191, 5), x(71552 + 3 + 8 * 11, false, 12, 1, 191, 11)};
    ExpectPlaces<sim::WideWordEpldChip, sim::WideWordEpldFacts>("GENERIC-ALGORITHM", "UVEPLD71648", wide, 71648);
    std::vector<V> extra = wide;
    extra.push_back(x(71653 + 1 + 8 * 6, false, 6, 0, 191, 6));
    extra.push_back(x(71649 + 3 + 8 * 2, false, 14, 1, 191, 2));
    ExpectPlaces<sim::WideWordEpldChip, sim::WideWordEpldFacts>("GENERIC-ALGORITHM", "UVEPLD71745-PLCC", extra, 71745);
}

// Rows 285, 288, 287: fuses in walk order over row and column values.
TEST_F(FusePlacementTest, TestCellArraysByRowAndColumn) {
    using S = FpSpot<sim::StrobePlaChip>;
    auto ab = [](uint32_t n, int a, int b) {
        return S{n, [=](const sim::StrobePlaChip& chip) { return chip.BlownAt(a, b); },
                 "row " + std::to_string(a) + " column " + std::to_string(b)};
    };
    // 18 x 42 x 10: rows 0-31 with columns 0-15, 34, 35, 32, 33, ..., 16,
    // 17, 48-57 (46), rows 32-41 with the first 36, then (51 - i, 58).
    const std::vector<S> pla18 = {ab(0, 0, 0),       ab(16, 0, 34),   ab(18, 0, 32),     ab(35, 0, 17),
                                  ab(36, 0, 48),     ab(45, 0, 57),   ab(46 + 20, 1, 30), ab(1472, 32, 0),
                                  ab(1472 + 35, 32, 17), ab(1831, 41, 17), ab(1832, 51, 58), ab(1841, 42, 58)};
    ExpectPlaces<sim::StrobePlaChip, sim::StrobePlaFacts>("PHILIPS", "PLS153", pla18, 1842);
    ExpectPlaces<sim::StrobePlaChip, sim::StrobePlaFacts>("GENERIC-ALGORITHM", "OTPPLA1842T", pla18, 1842);
    // 22 x 42 x 10: columns 0-15, 36-43, 34, 35, 32, 33, ..., 16, 17, 48-57
    // (54), rows 32-41 with the first 44.
    ExpectPlaces<sim::StrobePlaChip, sim::StrobePlaFacts>(
        "PHILIPS", "PLS173",
        {ab(16, 0, 36), ab(24, 0, 34), ab(43, 0, 17), ab(44, 0, 48), ab(54 + 25, 1, 35), ab(1728 + 43, 32, 17),
         ab(2168, 51, 58), ab(2177, 42, 58)},
        2178);
    // Sequencer variant 3: columns 15-8, 37, 36, 39, 38, ..., then rows 46,
    // 47, 48, 49, 37, 35, 34, 36, 33, 38 with the first 33 columns.
    ExpectPlaces<sim::StrobePlaChip, sim::StrobePlaFacts>(
        "GENERIC-ALGORITHM", "OTPSEQ2108-3",
        {ab(0, 0, 15), ab(8, 0, 37), ab(9, 0, 36), ab(33, 0, 117), ab(54 + 53, 1, 91), ab(1728, 46, 15),
         ab(1728 + 33 * 4 + 9, 37, 36), ab(2058, 39, 15), ab(2092, 43, 120), ab(2104, 40, 118)},
        2108);

    using F = FpSpot<sim::FplaChip>;
    auto tc = [](uint32_t n, int t, int c) {
        return F{n, [=](const sim::FplaChip& chip) { return chip.BlownAt(t, c); },
                 "term " + std::to_string(t) + " column " + std::to_string(c)};
    };
    auto pol = [](uint32_t n, int k) {
        return F{n, [=](const sim::FplaChip& chip) { return chip.PolarityBlown(k); }, "polarity " + std::to_string(k)};
    };
    ExpectPlaces<sim::FplaChip, sim::FplaFacts>(
        "SIGNETICS(PHILIPS)", "82S100",
        {tc(0, 0, 0), tc(40 * 3 + 7, 3, 7), tc(40 * 47 + 31, 47, 31), tc(40 * 5 + 32, 5, 32), tc(40 * 47 + 39, 47, 39),
         pol(1920, 0), pol(1927, 7)},
        1928);
}

// Rows 251, 252, 250: buffer byte a is the word at address a; rows 253,
// 254: the set mask bits of the list's records in order. A programmed cell
// reads 0 on rows 250-253 and 1 on row 254.
TEST_F(FusePlacementTest, ListPldsByAddressAndBit) {
    using S = FpSpot<sim::AddressListChip>;
    auto ab = [](uint32_t n, uint32_t a, int b) {
        return S{n, [=](const sim::AddressListChip& chip) { return ((chip.Word(a) >> b) & 1) == 0; },
                 "address " + std::to_string(a) + " bit " + std::to_string(b)};
    };
    // Variant 0's list: 100h-101h (mask 0Fh), 200h-207h, 8E0h-8EBh, 900h-901h (3Ch).
    const std::vector<S> v0 = {ab(0x100 * 8 + 3, 0x100, 3), ab(0x204 * 8 + 7, 0x204, 7), ab(0x901 * 8 + 5, 0x901, 5)};
    ExpectPlaces<sim::AddressListChip, sim::AddressListFacts>("GENERIC-ALGORITHM", "ALPLD251-18448", v0,
                                                             sim::AddressListChip::kWords * 12, 0);
    ExpectPlaces<sim::AddressListChip, sim::AddressListFacts>("GENERIC-ALGORITHM", "ALPLD252-18448", v0,
                                                             sim::AddressListChip::kWords * 12, 0);
    ExpectPlaces<sim::AddressListChip, sim::AddressListFacts>("GENERIC-ALGORITHM", "ALPLD250-8208",
                                                             {ab(0x30A * 8 + 6, 0x30A, 6), ab(0x401 * 8 + 7, 0x401, 7)},
                                                             sim::AddressListChip::kWords * 12, 0);

    using T = FpSpot<sim::TextListChip>;
    auto tl = [](uint32_t n, uint32_t a, int b, int programmed) {
        return T{n, [=](const sim::TextListChip& chip) { return ((chip.Word(a) >> b) & 1) == programmed; },
                 "address " + std::to_string(a) + " bit " + std::to_string(b)};
    };
    // Entry 291: 123h, 124h (mask 0Fh), 200h-202h, 300h (FFh), 400h, 401h
    // (3Ch), 210h-21Fh (FFh).
    ExpectPlaces<sim::TextListChip, sim::TextListFacts>(
        "GENERIC-ALGORITHM", "TLPLD176",
        {tl(5, 0x124, 1, 0), tl(8, 0x200, 0, 0), tl(41, 0x400, 3, 0), tl(47, 0x401, 5, 0), tl(48, 0x210, 0, 0),
         tl(175, 0x21F, 7, 0)},
        sim::TextListChip::kWords * 8, 0);
    // Entry 290: 120h-122h (0Fh), 130h-132h (C3h), 150h-15Fh (FFh).
    ExpectPlaces<sim::TextListChip, sim::TextListFacts>(
        "GENERIC-ALGORITHM", "TLPLD152L",
        {tl(3, 0x120, 3, 1), tl(14, 0x130, 6, 1), tl(17, 0x131, 1, 1), tl(23, 0x132, 7, 1), tl(24, 0x150, 0, 1),
         tl(151, 0x15F, 7, 1)},
        sim::TextListChip::kWords * 8);
}

} // namespace
