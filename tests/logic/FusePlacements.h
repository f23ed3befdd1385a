// Where chosen fuses of a JEDEC map land on the part, for the one-time and
// word-wide PLD rows and the list PLDs, device by device. Each table gives a
// fuse and its place in the part's array (line and column, row and column
// and output, address and bit), worked out from the family's map, and what
// the chip model shows there. The logic suite programs each fuse alone and
// looks it up by its place; the sweep looks up every place of a device's
// table after programming its random map.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/AddressListChip.h"
#include "sim/BipolarPalChip.h"
#include "sim/CycleRecordChip.h"
#include "sim/EditModeChip.h"
#include "sim/FileOrderFuseChip.h"
#include "sim/FuseArrayChip.h"
#include "sim/Gal6001Chip.h"
#include "sim/GalChip.h"
#include "sim/InstructionBlockChip.h"
#include "sim/IspPldChip.h"
#include "sim/MacrocellFuseChip.h"
#include "sim/MacrocellWordChip.h"
#include "sim/PartFacts.h"
#include "sim/PinAddressedFuseChip.h"
#include "sim/PlaneArrayChip.h"
#include "sim/PlaneFusePromChip.h"
#include "sim/ProductTermPalChip.h"
#include "sim/SecuredWordChip.h"
#include "sim/TestCellPlaChip.h"
#include "sim/TextListChip.h"
#include "sim/WideWordEpldChip.h"

namespace placement {

// One fuse and whether the chip shows it programmed at its place.
template <class Chip> struct FpSpot {
    uint32_t fuse;
    std::function<bool(const Chip&)> at;
    std::string place;
};

// A device's spots; `cells`: the cells of the array a lone fuse may change
// (the part's test cells lie beyond them); `programmed`: the fuse value a
// programmed cell stands for.
template <class Chip, class Facts> struct FpTable {
    const char* maker;
    const char* name;
    std::vector<FpSpot<Chip>> spots;
    uint32_t cells;
    int programmed = 1;
};

template <class Chip> FpSpot<Chip> At(uint32_t n, FpSpot<Chip> s) {
    s.fuse = n;
    return s;
}

// Rows 270, 271, 274: fuse = output x (groups x columns) + group x columns
// + column.
inline std::vector<FpTable<sim::BipolarPalChip, sim::BipolarPalFacts>> FuseArrayPalTables() {
    using S = FpSpot<sim::BipolarPalChip>;
    auto gco = [](int g, int c, int b) {
        return S{0, [=](const sim::BipolarPalChip& chip) { return chip.BlownAt(g, c, b); },
                 "group " + std::to_string(g) + " column " + std::to_string(c) + " output " +
                     std::to_string(b)};
    };
    const std::vector<S> pal16 = {At(300, gco(1, 12, 1)), At(0, gco(0, 0, 0)), At(31, gco(0, 31, 0)),
                                  At(1000, gco(7, 8, 3)), At(2047, gco(7, 31, 7))};
    const std::vector<S> pal20 = {At(361, gco(1, 1, 1)), At(39, gco(0, 39, 0)), At(2559, gco(7, 39, 7))};
    return {
        {"TEXAS-INSTRUMENTS", "TIBPAL16L8", pal16, 2048},
        {"TEXAS-INSTRUMENTS", "TIBPAL16R8", pal16, 2048},
        {"AMD/MMI", "PAL16L8A", pal16, 2048},
        {"AMD/MMI", "PAL16R4A", pal16, 2048},
        {"TEXAS-INSTRUMENTS", "TIBPAL20L8", pal20, 2560},
        {"AMD/MMI", "PAL20R8A", pal20, 2560},
        {"AMD/MMI",
         "PAL20L10A",
         {At(1280, gco(0, 0, 8)), At(1440, gco(0, 0, 9)), At(199, gco(0, 39, 1)), At(1599, gco(3, 39, 9))},
         1600}};
}

// Rows 272 and 273: fuses count the layout's cells, line outer, column
// inner. Layout 0 of the 20-pin kind: columns 0-5, 8, 9, 12, 13, 16, 17,
// 20, 21, 24, 25, 28-31 of lines 0, 1, 8, 9, ...; the 24-pin layout 0
// adds columns 32, 33, 36-39; layout 6 has every cell of 80 x 40.
inline std::vector<FpTable<sim::ProductTermPalChip, sim::ProductTermPalFacts>> ProductTermPalTables() {
    using S = FpSpot<sim::ProductTermPalChip>;
    auto pq = [](uint32_t n, int p, int q) {
        return S{n, [=](const sim::ProductTermPalChip& chip) { return chip.BlownAt(p, q); },
                 "line " + std::to_string(p) + " column " + std::to_string(q)};
    };
    return {{"NATIONAL-SEMICONDUCTOR",
             "PAL10H8",
             {pq(0, 0, 0), pq(6, 0, 8), pq(19, 0, 31), pq(20, 1, 0), pq(40, 8, 0), pq(160, 32, 0),
              pq(319, 57, 31)},
             320},
            {"NATIONAL-SEMICONDUCTOR", "PAL16L8A", {pq(33, 1, 1), pq(1055, 32, 31), pq(2047, 63, 31)}, 2048},
            {"AMD/MMI",
             "PAL12L10",
             {pq(18, 0, 32), pq(23, 0, 39), pq(24, 1, 0), pq(48, 8, 0), pq(240, 40, 0)},
             480},
            {"GENERIC-ALGORITHM",
             "PTPAL3200",
             {pq(0, 0, 0), pq(415, 10, 15), pq(1639, 40, 39), pq(3199, 79, 39)},
             3200}};
}

// Rows 281, 282, 286, 313, 289, 290: fuse = row x columns + column; the
// row's output is row / 8.
inline std::vector<FpTable<sim::PinAddressedFuseChip, sim::PinAddressedFacts>> PinAddressedTables() {
    using S = FpSpot<sim::PinAddressedFuseChip>;
    auto rc = [](uint32_t n, int r, int c) {
        return S{n, [=](const sim::PinAddressedFuseChip& chip) { return chip.BlownAt(r, c); },
                 "row " + std::to_string(r) + " column " + std::to_string(c)};
    };
    const std::vector<S> narrow = {rc(0, 0, 0),   rc(5, 0, 5),    rc(30, 0, 30),
                                   rc(77, 2, 13), rc(298, 9, 10), rc(2047, 63, 31)};
    const std::vector<S> wide = {rc(0, 0, 0),   rc(7, 0, 7),    rc(38, 0, 38),
                                 rc(121, 3, 1), rc(345, 8, 25), rc(2559, 63, 39)};
    return {{"TEXAS-INSTRUMENTS", "TIBPAL16R4", narrow, 2048},
            {"NATIONAL-SEMICONDUCTOR", "PAL16R4A", narrow, 2048},
            {"TEXAS-INSTRUMENTS", "TIBPAL20R4", wide, 2560},
            {"NATIONAL-SEMICONDUCTOR", "PAL20R4A", wide, 2560},
            {"AMD/MMI", "PAL16R6A", narrow, 2048},
            {"AMD/MMI", "PAL20R4A", wide, 2560},
            {"TEXAS-INSTRUMENTS", "TIBPAL16R6", narrow, 2048},
            {"NATIONAL-SEMICONDUCTOR", "PAL16R8A", narrow, 2048},
            {"TEXAS-INSTRUMENTS", "TIBPAL20R6", wide, 2560},
            {"NATIONAL-SEMICONDUCTOR", "PAL20R6A", wide, 2560},
            {"AMD/MMI", "PAL16R8A", narrow, 2048},
            {"AMD/MMI", "PAL20R6A", wide, 2560}};
}

// The ten-output macrocell map (rows 275 and 310): reset row 0-43, the
// output-enable row of output b at OE(b) and its terms from OE(b) + 44,
// preset row 5764-5807, architecture bits 5808 + 2b and 5809 + 2b. On the
// chip: term t of output b is row code t; with the select, row code 0 the
// output-enable row, the reset and preset rows on outputs 1 and 8 (row
// code 3 on the 275 part, 4 on the 310 part), the architecture bits at
// row codes 1 and 2, column 63 (275) or row code 1, columns 44 and 45 (310).
inline std::vector<FpTable<sim::MacrocellFuseChip, sim::MacrocellFuseFacts>> MacrocellFuseTables() {
    using S = FpSpot<sim::MacrocellFuseChip>;
    auto cell = [](uint32_t n, bool select, int r, int c, int b) {
        return S{n, [=](const sim::MacrocellFuseChip& chip) { return chip.BlownAt(select, r, c, b); },
                 std::string(select ? "special " : "term ") + std::to_string(r) + " column " +
                     std::to_string(c) + " output " + std::to_string(b)};
    };
    return {{"GENERIC-ALGORITHM",
             "OTPPLD5828",
             {cell(0, true, 3, 0, 1), cell(43, true, 3, 43, 1), cell(44, true, 0, 0, 0),
              cell(88, false, 0, 0, 0), cell(439, false, 7, 43, 0), cell(440, true, 0, 0, 1),
              cell(880, false, 9, 0, 1), cell(5412, false, 0, 0, 9), cell(5764, true, 3, 0, 8),
              cell(5808, true, 1, 63, 0), cell(5809, true, 2, 63, 0), cell(5827, true, 2, 63, 9)},
             5828}};
}
inline std::vector<FpTable<sim::FileOrderFuseChip, sim::FileOrderFuseFacts>> FileOrderFuseTables() {
    using W = FpSpot<sim::FileOrderFuseChip>;
    auto wcell = [](uint32_t n, bool select, int r, int c, int b) {
        return W{n, [=](const sim::FileOrderFuseChip& chip) { return chip.BlownAt(select, r, c, b); },
                 std::string(select ? "special " : "term ") + std::to_string(r) + " column " +
                     std::to_string(c) + " output " + std::to_string(b)};
    };
    const std::vector<W> map = {
        wcell(0, true, 4, 0, 1),     wcell(44, true, 0, 0, 0),      wcell(88, false, 0, 0, 0),
        wcell(924, true, 0, 0, 2),   wcell(1495, false, 11, 43, 2), wcell(2200, false, 0, 0, 4),
        wcell(5807, true, 4, 43, 8), wcell(5808, true, 1, 44, 0),   wcell(5811, true, 1, 45, 1)};
    std::vector<W> wide = map;
    wide.push_back(wcell(5828, true, 1, 46, 0));
    wide.push_back(wcell(5837, true, 1, 46, 9));
    return {{"GENERIC-ALGORITHM", "OTPPLD5828W", map, 5828},
            {"GENERIC-ALGORITHM", "OTPPLD5838W", wide, 5838}};
}

// Rows 276 and 278: the bit planes one after the other; row 279: fuse =
// bit x 256 + address.
inline std::vector<FpTable<sim::PlaneArrayChip, sim::PlaneArrayFacts>> PlaneArrayTables() {
    using S = FpSpot<sim::PlaneArrayChip>;
    auto word = [](uint32_t n, int row, int column, int k) {
        return S{n, [=](const sim::PlaneArrayChip& chip) { return chip.ProgrammedAt(row, column, k); },
                 "row " + std::to_string(row) + " column " + std::to_string(column) + " bit " +
                     std::to_string(k)};
    };
    return {{"GENERIC-ALGORITHM",
             "UVPLD2048",
             {word(256, 0, 0, 1), word(33, 1, 1, 0), word(255, 7, 31, 0), word(1234, 6, 18, 4),
              word(2047, 7, 31, 7)},
             2048},
            {"GENERIC-ALGORITHM",
             "UVPLD1600",
             {word(160, 0, 0, 1), word(41, 1, 1, 0), word(159, 3, 39, 0), word(1519, 1, 39, 9)},
             1600}};
}
inline std::vector<FpTable<sim::PlaneFusePromChip, sim::PlaneFusePromFacts>> PlaneFusePromTables() {
    using P = FpSpot<sim::PlaneFusePromChip>;
    auto bit = [](uint32_t n, int address, int k) {
        return P{n, [=](const sim::PlaneFusePromChip& chip) { return chip.BlownAt(address, k); },
                 "address " + std::to_string(address) + " bit " + std::to_string(k)};
    };
    return {{"GENERIC-ALGORITHM",
             "OTPPROM2048",
             {bit(256, 0, 1), bit(255, 255, 0), bit(1234, 210, 4), bit(2047, 255, 7)},
             2048}};
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
inline std::vector<FpTable<sim::MacrocellWordChip, sim::MacrocellWordFacts>> MacrocellWordTables() {
    using S = FpSpot<sim::MacrocellWordChip>;
    auto w = [](uint32_t n, bool third, int r, int v, int k) {
        return S{n, [=](const sim::MacrocellWordChip& chip) { return chip.ProgrammedAt(third, r, v, k); },
                 std::string(third ? "third " : "plain ") + std::to_string(r) + " pins " + std::to_string(v) +
                     " bit " + std::to_string(k)};
    };
    auto code = [](int c) { return (c ^ 2) + 2; };
    const std::vector<S> map3990 = {w(44, false, 0, 0, 0),       w(133, false, 2, 1, 0),
                                    w(396 + 43, true, 7, 43, 1), w(3960, true, 0, 63, 0),
                                    w(3962, true, 4, 63, 0),     w(3989, true, 4, 63, 9)};
    const std::vector<S> map5828 = {w(88, false, 0, 0, 9),   w(484 + 44 * 9 + 5, false, 9, 5, 8),
                                    w(5412, false, 0, 0, 0), w(2904 + 7, true, 7, 7, 4),
                                    w(3, false, 15, 3, 6),   w(5764 + 40, false, 15, 40, 3),
                                    w(5808, true, 0, 63, 9), w(5827, true, 2, 63, 0)};
    return {{"GENERIC-ALGORITHM",
             "UVPLD3210",
             {w(280, false, 0, code(0), 0), w(283, false, 0, code(3), 0), w(245, false, 1, code(5), 0),
              w(361, false, 6, code(1), 1), w(3087, false, 2, code(7), 9), w(322, true, 7, code(2), 1),
              w(3200, true, 0, 0, 0), w(3209, true, 0, 0, 9)},
             3210},
            {"GENERIC-ALGORITHM", "UVPLD3990", map3990, 3990},
            {"GENERIC-ALGORITHM", "UVPLD3990-LV", map3990, 3990},
            {"GENERIC-ALGORITHM", "UVPLD5828-0", map5828, 5828},
            {"GENERIC-ALGORITHM", "UVPLD5828-1", map5828, 5828},
            {"GENERIC-ALGORITHM", "UVPLD5828-2", map5828, 5828},
            {"GENERIC-ALGORITHM", "UVPLD5828-3", map5828, 5828},
            {"GENERIC-ALGORITHM", "UVPLD5828-4", map5828, 5828},
            {"GENERIC-ALGORITHM", "UVPLD5828-5", map5828, 5828}};
}

// Rows 246 and 244: the words of the security-checked arrays.
inline std::vector<FpTable<sim::SecuredWordChip, sim::SecuredWordFacts>> SecuredWordTables() {
    using S = FpSpot<sim::SecuredWordChip>;
    auto w = [](uint32_t n, bool upper, int r, int c, int k) {
        return S{n, [=](const sim::SecuredWordChip& chip) { return chip.ProgrammedAt(upper, r, c, k); },
                 std::string(upper ? "upper " : "plain ") + std::to_string(r) + " column " +
                     std::to_string(c) + " bit " + std::to_string(k)};
    };
    // 22V10 map: data bit 9 - b is output b; upper row 0 the output-enable
    // rows, rows 1 and 2 at column 63 the architecture bits, row 3 the
    // reset row on bit 8 and the preset row on bit 1.
    const std::vector<S> v10 = {w(88, false, 0, 0, 9),       w(1540 + 44 * 13 + 2, false, 13, 2, 6),
                                w(440 + 9, true, 0, 9, 8),   w(5808, true, 1, 63, 9),
                                w(5819, true, 2, 63, 4),     w(12, true, 3, 12, 8),
                                w(5764 + 30, true, 3, 30, 1)};
    // 750 map: output b on data bit b; first term P(b) + 84r + c, five more
    // rows per output from Q(b) in the upper plane, the shared row 14280 + c
    // at upper row 7 on bit 1, the architecture cells 14364 + 3b + r in
    // the control column (bank column 31: column 95), row 2 at row 14 on
    // the plain 750, 14391 + 4b + r (r = 4-7) on the 750B.
    const std::vector<S> common = {w(0, false, 0, 0, 0),
                                   w(1092 + 84 * 3 + 70, false, 3, 70, 1),
                                   w(2352 + 84 * 2 + 10, false, 2, 10, 2),
                                   w(3780 + 84 * 9 + 40, false, 9, 40, 3),
                                   w(13188 + 84 * 7 + 83, false, 7, 83, 9),
                                   w(1932 + 84 * 2 + 5, true, 2, 5, 1),
                                   w(14280 + 66, true, 7, 66, 1)};
    std::vector<S> plain = common;
    plain.push_back(w(14364 + 3 * 4 + 1, false, 1, 95, 4));
    plain.push_back(w(14364 + 3 * 9 + 2, false, 14, 95, 9));
    std::vector<S> b = common;
    b.push_back(w(14364 + 2, false, 2, 95, 0));
    b.push_back(w(14391 + 4 * 3 + 6, false, 6, 95, 3));
    return {{"GENERIC-ALGORITHM", "UVEPLD5828S", v10, 5828},
            {"GENERIC-ALGORITHM", "UVEPLD14394", plain, 14394},
            {"GENERIC-ALGORITHM", "UVEPLD14435", b, 14435},
            {"GENERIC-ALGORITHM", "UVEPLD5828S-LV", v10, 5828},
            {"GENERIC-ALGORITHM", "UVEPLD14364", common, 14364}};
}

// Row 245. 2500 map: kind pin low A(b) + 172r + c, high B(b) + 172r + c,
// row 16 in the upper rows at row 0; upper row 3 the eight cells C(i) + c
// on bits 0, 1, 3, 4, 6, 7, 9, 10; column 191 at row codes 4r: kind pin
// low 71556 + r + 8b, high 71552 + r + 8b; row codes 4r + 2 (the part with
// the extra cells): low 71653 + r + 8b, high 71649 + r + 8b.
inline std::vector<FpTable<sim::WideWordEpldChip, sim::WideWordEpldFacts>> WideWordTables() {
    using V = FpSpot<sim::WideWordEpldChip>;
    auto x = [](uint32_t n, bool upper, int r, int kindPin, int c, int k) {
        return V{
            n, [=](const sim::WideWordEpldChip& chip) { return chip.ProgrammedAt(upper, r, kindPin, c, k); },
            std::string(upper ? "upper " : "plain ") + std::to_string(r) + " kind pin " +
                std::to_string(kindPin) + " column " + std::to_string(c) + " bit " + std::to_string(k)};
    };
    const std::vector<V> wide = {x(2924, false, 0, 0, 0, 0),
                                 x(6020 + 172 * 5 + 9, false, 5, 1, 9, 1),
                                 x(68456 + 171, false, 0, 0, 171, 11),
                                 x(65532 + 172 * 16 + 3, true, 0, 1, 3, 11),
                                 x(17716 + 100, true, 3, 0, 100, 1),
                                 x(71380 + 171, true, 3, 0, 171, 10),
                                 x(71556 + 2 + 8 * 5, false, 8, 0, 191, 5),
                                 x(71552 + 3 + 8 * 11, false, 12, 1, 191, 11)};
    std::vector<V> extra = wide;
    extra.push_back(x(71653 + 1 + 8 * 6, false, 6, 0, 191, 6));
    extra.push_back(x(71649 + 3 + 8 * 2, false, 14, 1, 191, 2));
    return {{"GENERIC-ALGORITHM", "UVEPLD71648", wide, 71648},
            {"GENERIC-ALGORITHM", "UVEPLD71745-PLCC", extra, 71745},
            {"GENERIC-ALGORITHM", "UVEPLD71745", extra, 71745},
            {"GENERIC-ALGORITHM", "UVEPLD71648-PLCC", wide, 71648}};
}

// Rows 285, 288, 287: fuses in walk order over row and column values.
inline std::vector<FpTable<sim::StrobePlaChip, sim::StrobePlaFacts>> StrobePlaTables() {
    using S = FpSpot<sim::StrobePlaChip>;
    auto ab = [](uint32_t n, int a, int b) {
        return S{n, [=](const sim::StrobePlaChip& chip) { return chip.BlownAt(a, b); },
                 "row " + std::to_string(a) + " column " + std::to_string(b)};
    };
    // 18 x 42 x 10: rows 0-31 with columns 0-15, 34, 35, 32, 33, ..., 16,
    // 17, 48-57 (46), rows 32-41 with the first 36, then (51 - i, 58).
    const std::vector<S> pla18 = {ab(0, 0, 0),        ab(16, 0, 34),    ab(18, 0, 32),
                                  ab(35, 0, 17),      ab(36, 0, 48),    ab(45, 0, 57),
                                  ab(46 + 20, 1, 30), ab(1472, 32, 0),  ab(1472 + 35, 32, 17),
                                  ab(1831, 41, 17),   ab(1832, 51, 58), ab(1841, 42, 58)};
    return {{"PHILIPS", "PLS153", pla18, 1842},
            {"PHILIPS", "PLS153A", pla18, 1842},
            {"GENERIC-ALGORITHM", "OTPPLA1842T", pla18, 1842},
            // 22 x 42 x 10: columns 0-15, 36-43, 34, 35, 32, 33, ..., 16, 17,
            // 48-57 (54), rows 32-41 with the first 44.
            {"PHILIPS",
             "PLS173",
             {ab(16, 0, 36), ab(24, 0, 34), ab(43, 0, 17), ab(44, 0, 48), ab(54 + 25, 1, 35),
              ab(1728 + 43, 32, 17), ab(2168, 51, 58), ab(2177, 42, 58)},
             2178},
            // Sequencer variant 3: columns 15-8, 37, 36, 39, 38, ..., then rows
            // 46, 47, 48, 49, 37, 35, 34, 36, 33, 38 with the first 33 columns.
            {"GENERIC-ALGORITHM",
             "OTPSEQ2108-3",
             {ab(0, 0, 15), ab(8, 0, 37), ab(9, 0, 36), ab(33, 0, 117), ab(54 + 53, 1, 91), ab(1728, 46, 15),
              ab(1728 + 33 * 4 + 9, 37, 36), ab(2058, 39, 15), ab(2092, 43, 120), ab(2104, 40, 118)},
             2108}};
}
inline std::vector<FpTable<sim::FplaChip, sim::FplaFacts>> FplaTables() {
    using F = FpSpot<sim::FplaChip>;
    auto tc = [](uint32_t n, int t, int c) {
        return F{n, [=](const sim::FplaChip& chip) { return chip.BlownAt(t, c); },
                 "term " + std::to_string(t) + " column " + std::to_string(c)};
    };
    auto pol = [](uint32_t n, int k) {
        return F{n, [=](const sim::FplaChip& chip) { return chip.PolarityBlown(k); },
                 "polarity " + std::to_string(k)};
    };
    return {{"SIGNETICS(PHILIPS)",
             "82S100",
             {tc(0, 0, 0), tc(40 * 3 + 7, 3, 7), tc(40 * 47 + 31, 47, 31), tc(40 * 5 + 32, 5, 32),
              tc(40 * 47 + 39, 47, 39), pol(1920, 0), pol(1927, 7)},
             1928}};
}

// Rows 251, 252, 250: buffer byte a is the word at address a; rows 253,
// 254: the set mask bits of the list's records in order. A programmed cell
// reads 0 on rows 250-253 and 1 on row 254.
inline std::vector<FpTable<sim::AddressListChip, sim::AddressListFacts>> AddressListTables() {
    using S = FpSpot<sim::AddressListChip>;
    auto ab = [](uint32_t n, uint32_t a, int b) {
        return S{n, [=](const sim::AddressListChip& chip) { return ((chip.Word(a) >> b) & 1) == 0; },
                 "address " + std::to_string(a) + " bit " + std::to_string(b)};
    };
    // Variant 0's list: 100h-101h (mask 0Fh), 200h-207h, 8E0h-8EBh, 900h-901h (3Ch).
    const std::vector<S> v0 = {ab(0x100 * 8 + 3, 0x100, 3), ab(0x204 * 8 + 7, 0x204, 7),
                               ab(0x901 * 8 + 5, 0x901, 5)};
    constexpr uint32_t cells = sim::AddressListChip::kWords * 12;
    return {{"GENERIC-ALGORITHM", "ALPLD251-18448", v0, cells, 0},
            {"GENERIC-ALGORITHM", "ALPLD252-18448", v0, cells, 0},
            {"GENERIC-ALGORITHM",
             "ALPLD250-8208",
             {ab(0x30A * 8 + 6, 0x30A, 6), ab(0x401 * 8 + 7, 0x401, 7)},
             cells,
             0}};
}
inline std::vector<FpTable<sim::TextListChip, sim::TextListFacts>> TextListTables() {
    using T = FpSpot<sim::TextListChip>;
    auto tl = [](uint32_t n, uint32_t a, int b, int programmed) {
        return T{n, [=](const sim::TextListChip& chip) { return ((chip.Word(a) >> b) & 1) == programmed; },
                 "address " + std::to_string(a) + " bit " + std::to_string(b)};
    };
    constexpr uint32_t cells = sim::TextListChip::kWords * 8;
    // Entry 291: 123h, 124h (mask 0Fh), 200h-202h, 300h (FFh), 400h, 401h
    // (3Ch), 210h-21Fh (FFh). Entry 290: 120h-122h (0Fh), 130h-132h (C3h),
    // 150h-15Fh (FFh).
    return {{"GENERIC-ALGORITHM",
             "TLPLD176",
             {tl(5, 0x124, 1, 0), tl(8, 0x200, 0, 0), tl(41, 0x400, 3, 0), tl(47, 0x401, 5, 0),
              tl(48, 0x210, 0, 0), tl(175, 0x21F, 7, 0)},
             cells,
             0},
            {"GENERIC-ALGORITHM",
             "TLPLD152L",
             {tl(3, 0x120, 3, 1), tl(14, 0x130, 6, 1), tl(17, 0x131, 1, 1), tl(23, 0x132, 7, 1),
              tl(24, 0x150, 0, 1), tl(151, 0x15F, 7, 1)},
             cells}};
}

// The edit-mode PLDs (rows 207, 208, 210, 209, 240, 241), the GAL6001-type
// FPLAs (row 225) and the serial-command PLDs (row 292): a fuse and its place
// on the part (row address and register position; chain row or product
// term and chain bit; row, data shift and bit), worked out by hand from the
// families' row maps, up to three coordinates as the chip's accessor takes
// them. The accessor gives the cell there: the fuse value programmed there
// (0 programmed), -1 where the part has none.
struct EmSpot {
    uint32_t fuse;
    int a, b, c = 0;
};
template <class Chip> struct EmTable {
    const char* maker;
    const char* name;
    std::vector<EmSpot> spots;
    std::function<int(const Chip&, const EmSpot&)> at;
};

inline int EditModePlace(const sim::EditModeChip& chip, const EmSpot& s) {
    return chip.CellAtPlace(s.a, s.b);
}
inline EmTable<sim::EditModeChip> EditTable(const char* name, std::vector<EmSpot> spots) {
    return {"AMD", name, std::move(spots), EditModePlace};
}

// Command-bus rows 207 and 208 (64-position register): array address a
// holds fuse (63 - p) x columns + a at position p; the UES row its bytes
// most significant bit first; the term-disable row fuse base + p; rows 60
// and 61 one fuse per 8-position block, from the top fuse down; rows 62 and
// 63 the last block only.
inline std::vector<EmTable<sim::EditModeChip>> CommandBusPlaces() {
    return {EditTable("PALCE16V8", {{0, 0, 63},
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
                                    {2193, 63, 56}}),
            EditTable("PALCE20V8", {{0, 0, 63},
                                    {1234, 34, 33},
                                    {2559, 39, 0},
                                    {2568, 40, 7},
                                    {2631, 40, 56},
                                    {2650, 41, 10},
                                    {2560, 60, 56},
                                    {2567, 60, 0},
                                    {2632, 61, 56},
                                    {2704, 62, 56},
                                    {2705, 63, 56}})};
}

// The fields past the array of rows 207 and 208, whole: the UES row (each
// byte from its most significant bit), the term-disable row (fuse base + p),
// rows 60 and 61 (fuse top - p div 8, eight positions a fuse), rows 62 and
// 63 (their last block).
inline std::vector<EmTable<sim::EditModeChip>> CommandBusFieldsWhole() {
    struct Map {
        const char* name;
        int columns;
        uint32_t xorTop, ues, ac1Top, ptd, syn, ac0;
    };
    std::vector<EmTable<sim::EditModeChip>> tables;
    for (const Map& m : {Map{"PALCE16V8", 32, 2055, 2056, 2127, 2128, 2192, 2193},
                         Map{"PALCE20V8", 40, 2567, 2568, 2639, 2640, 2704, 2705}}) {
        std::vector<EmSpot> spots;
        for (int p = 0; p < 64; ++p) {
            spots.push_back(
                {m.ues + 8 * static_cast<uint32_t>(p / 8) + 7 - static_cast<uint32_t>(p % 8), m.columns, p});
            spots.push_back({m.ptd + static_cast<uint32_t>(p), m.columns + 1, p});
        }
        for (int block = 0; block < 8; ++block) {
            spots.push_back({m.xorTop - static_cast<uint32_t>(block), 60, 8 * block + 3});
            spots.push_back({m.ac1Top - static_cast<uint32_t>(block), 61, 8 * block + 5});
        }
        spots.push_back({m.syn, 62, 60});
        spots.push_back({m.ac0, 63, 57});
        tables.push_back(EditTable(m.name, std::move(spots)));
    }
    return tables;
}

// The rows past the array of rows 210, 209 and 240, whole, from each row's
// position list; and one array row's every term.
inline std::vector<EmTable<sim::EditModeChip>> LatchedRowsPastTheArrayWhole() {
    std::vector<EmTable<sim::EditModeChip>> tables;
    std::vector<EmSpot> spots;
    for (int k = 0; k < 10; ++k)
        spots.push_back({3209u - static_cast<uint32_t>(k), 63, 8 * k});
    for (int p = 0; p < 80; ++p)
        spots.push_back({static_cast<uint32_t>(79 - p) * 40 + 7, 7, p});
    tables.push_back(EditTable("PALCE20RA10", spots));

    const int starts[10] = {6, 14, 22, 46, 54, 70, 86, 102, 110, 126};
    spots.clear();
    for (int a = 60; a <= 61; ++a)
        for (int k = 0; k < 10; ++k)
            spots.push_back({static_cast<uint32_t>(5826 + (a - 60) - 2 * k), a, starts[k]});
    tables.push_back(EditTable("PALCE22V10", spots));

    const int lists[2][12] = {{6, 14, 22, 30, 54, 70, 78, 94, 110, 126, 134, 142},
                              {10, 22, 35, 48, 61, 74, 87, 100, 113, 126, 138, 149}};
    for (int variant = 0; variant < 2; ++variant) {
        spots.clear();
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 12; ++k)
                spots.push_back({static_cast<uint32_t>(7811 + 12 * j - k), 60 + j, lists[variant][k]});
        tables.push_back(EditTable(variant == 0 ? "PALCE26V12" : "PALCE26V12H", spots));
    }
    return tables;
}

// Row 241, whole: fuse-map row i latched as its table's address (fuse i,
// term 0, at position 89); the terms of row 0; the blocks of rows 40-45
// (bus bit B shows block 7 - B or 23 - B).
inline std::vector<EmTable<sim::EditModeChip>> WideRowOrderAndBlocksWhole() {
    const int latched[46] = {19, 17, 15, 13, 11, 9,  7,  5,  3,  1,  2,  0,  6,  4,  10, 8,
                             14, 12, 18, 16, 22, 20, 26, 24, 30, 28, 34, 32, 38, 36, 27, 25,
                             31, 29, 35, 33, 39, 37, 23, 21, 40, 42, 44, 43, 41, 45};
    std::vector<EmSpot> spots;
    for (int i = 1; i < 40; ++i)
        spots.push_back({static_cast<uint32_t>(i), latched[i], 89});
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
    return {EditTable("PALCE29M16", std::move(spots))};
}

// Latch-addressed rows 210, 209 and 240: array address a holds fuse
// (N - 1 - p) x inputs + a at position p; the rows past the array one fuse
// at each listed position (210: row 63, positions 8k, fuse 3209 - k; 209:
// rows 60/61 from positions 6, 14, 22, 46, 54, 70, 86, 102, 110, 126, fuse
// 5826/5827 - 2k; 240: rows 60 + j from the variant's list, fuse 7811 + 12j
// - k).
inline std::vector<EmTable<sim::EditModeChip>> LatchedRowPlaces() {
    return {
        EditTable("PALCE20RA10",
                  {{0, 0, 79}, {1234, 34, 49}, {3199, 39, 0}, {3209, 63, 0}, {3205, 63, 32}, {3200, 63, 72}}),
        EditTable("PALCE22V10", {{0, 0, 131},
                                 {2000, 20, 86},
                                 {5807, 43, 0},
                                 {5826, 60, 6},
                                 {5808, 60, 126},
                                 {5827, 61, 6},
                                 {5817, 61, 70}}),
        EditTable("PALLV22V10", {{2000, 20, 86}, {5820, 60, 46}, {5823, 61, 22}}),
        EditTable("PALCE26V12", {{0, 0, 149},
                                 {3000, 36, 92},
                                 {7799, 51, 0},
                                 {7811, 60, 6},
                                 {7810, 60, 14},
                                 {7800, 60, 142},
                                 {7830, 62, 70},
                                 {7847, 63, 6}}),
        EditTable("PALCE26V12H",
                  {{3000, 36, 92}, {7811, 60, 10}, {7800, 60, 149}, {7830, 62, 74}, {7847, 63, 10}})};
}

// Row 241: fuse-map row i is latched as address 19, 17, 15, ... (its table);
// array fuse k x 40 + i at position 159 - k (k >= 80) or 80 + 10 (k div
// 10) + 9 - (k mod 10); rows 40-44 one fuse per 10-position block.
inline std::vector<EmTable<sim::EditModeChip>> WideRowPlaces() {
    return {EditTable("PALCE29M16", {{0, 19, 89},
                                     {211, 0, 84},
                                     {1234, 35, 119},
                                     {4025, 28, 59},
                                     {6399, 21, 0},
                                     {6475, 40, 0},
                                     {6467, 44, 20},
                                     {6404, 41, 80}})};
}

// Row 225: input row r keeps the AND cell of term b - 31 at chain bit b
// (fuse (b - 31) x 114 + r), planes b - 20 at bits 20-29 (fuse (b - 20) x
// 78 + r + 7296) and 30 (r + 8076); the UES row 97 at bits 20-91; group-2
// row r selects term 63 - r, whose OR cells lie at bits 0-19 and 103-118.
inline std::vector<EmTable<sim::Gal6001Chip>> Gal6001Places() {
    auto place = [](const sim::Gal6001Chip& chip, const EmSpot& s) {
        if (s.c == 1) return chip.TermCellAt(s.a, s.b);
        return chip.RowCellAt(s.a, s.b);
    };
    return {{"LATTICE",
             "GAL6001",
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
             place},
            {"LATTICE", "GAL6002", {{8258, 97, 20}, {8329, 97, 91}, {7280, 63, 103, 1}}, place}};
}

// Row 225's architecture chain, whole: bits 0 and 1 the last two cells
// swapped, bits 2-11 every fourth cell up from 8179, bits 12-21 every fourth
// down from 8214, bits 22-41 the pair table, then the 3-apart runs (the
// 6002's 36 further cells ahead of them) and the two cells after them.
inline std::vector<EmTable<sim::Gal6001Chip>> Gal6001ArchitectureChainWhole() {
    const int pairs[20] = {8216, 8217, 8212, 8213, 8208, 8209, 8204, 8205, 8200, 8201,
                           8196, 8197, 8192, 8193, 8188, 8189, 8184, 8185, 8180, 8181};
    std::vector<EmTable<sim::Gal6001Chip>> tables;
    for (const bool wide : {false, true}) {
        std::vector<EmSpot> spots;
        auto add = [&](int fuse, int b) { spots.push_back({static_cast<uint32_t>(fuse), 0, b, 2}); };
        add(wide ? 8257 : 8221, 0);
        add(wide ? 8256 : 8220, 1);
        for (int b = 2; b < 12; ++b)
            add((b - 2) * 4 + 8179, b);
        for (int b = 12; b < 22; ++b)
            add(8214 - (b - 12) * 4, b);
        for (int b = 22; b < 42; ++b)
            add(pairs[b - 22], b);
        const int run = wide ? 78 : 42; // first bit of the 3-apart runs
        if (wide) {
            for (int b = 42; b < 60; ++b)
                add(8297 - b, b);
            for (int b = 60; b < 78; ++b)
                add(b + 8160, b);
        }
        for (int b = run; b < run + 8; ++b)
            add((b - run) * 3 + 8156, b);
        for (int b = run + 8; b < run + 16; ++b)
            add((b - run - 8) * 3 + 8154, b);
        for (int b = run + 16; b < run + 24; ++b)
            add(8176 - (b - run - 16) * 3, b);
        add(8218, run + 24);
        add(8219, run + 25);
        tables.push_back(
            {"LATTICE", wide ? "GAL6002" : "GAL6001", std::move(spots),
             [](const sim::Gal6001Chip& chip, const EmSpot& s) { return chip.ArchCellAt(s.b); }});
    }
    return tables;
}

// Row 292: fuse r x S x B + s x B + b is bit b of data shift s of row r.
inline std::vector<EmTable<sim::IspPldChip>> SerialCommandPlaces() {
    auto place = [](const sim::IspPldChip& chip, const EmSpot& s) {
        return chip.CellAt(static_cast<uint32_t>(s.a), static_cast<uint32_t>(s.c),
                           static_cast<uint32_t>(s.b));
    };
    return {
        {"GENERIC-ALGORITHM",
         "SCPLD15360",
         {{0, 0, 0, 0}, {79, 0, 79, 0}, {80, 0, 0, 1}, {161, 1, 1, 0}, {7777, 48, 17, 1}, {15359, 95, 79, 1}},
         place},
        {"GENERIC-ALGORITHM", "SCPLD74880", {{500, 1, 20, 0}, {74879, 155, 239, 1}}, place},
        {"GENERIC-ALGORITHM", "SCPLD8160", {{4001, 50, 1, 0}, {8159, 101, 79, 0}}, place},
        {"GENERIC-ALGORITHM", "SCPLD15040", {{15039, 93, 159, 0}}, place}};
}

// The serial-address GAL rows 224, 221, 222, 226, 227, 234 and 231 and the
// 22V10 rows with an identification text (230, 247), whole: every fuse of
// the map at its row address and register position (the architecture row as
// address -1, or 40 on the pin-addressed 20RA10).
// Array row a, bit b: fuse b x rows + a (row 231: (b div 8) x 320 + 280 -
// (b mod 8) x 40 + a); the UES row bit b: its first fuse + b, as far as the
// map goes; architecture bit i: 22V10, 18V10 and 26CV12 the base + (i xor 1),
// 20RA10 3209 - i (row 231: 3200 + i), 20XV10 1600 + q(i). Rows 230 and
// 247 keep the UES at positions 68-131 of row 44 (fuse 5828 + p - 68); row
// 247 fuse 5892 at address 59.
struct SerialGalMap {
    const char* maker;
    const char* name;
    int rows, bits;
    bool byteColumns; // row 231's 80-bit rows
    int uesAddress;   // -1: none
    uint32_t uesFuse, fuses;
    int archAddress;
    std::vector<uint32_t> arch; // fuse of architecture bit i
    int uesPosition = 0;        // register position of the UES row's first fuse
    bool powerDownCell = false; // fuse 5892 at address 59
};

inline std::vector<uint32_t> PairsSwapped(uint32_t base, int n) {
    std::vector<uint32_t> v;
    for (int i = 0; i < n; ++i) v.push_back(base + static_cast<uint32_t>(i ^ 1));
    return v;
}

inline std::vector<SerialGalMap> SerialGalMaps() {
    std::vector<uint32_t> ra10, ra10Pins, xv10;
    for (int i = 0; i < 10; ++i) {
        ra10.push_back(3209u - static_cast<uint32_t>(i));
        ra10Pins.push_back(3200u + static_cast<uint32_t>(i));
    }
    const int q[31] = {30, 20, 21, 22, 23, 24, 10, 11, 12, 13, 14, 0, 1, 2, 3, 4,
                       29, 28, 27, 26, 25, 19, 18, 17, 16, 15, 9,  8, 7, 6, 5};
    for (const int v : q) xv10.push_back(1600u + static_cast<uint32_t>(v));
    const std::vector<uint32_t> v22 = PairsSwapped(5808, 20);
    std::vector<SerialGalMap> maps;
    for (const char* maker : {"LATTICE", "NATIONAL-SEMICONDUCTOR", "ST"}) {
        for (const char* name : {"GAL22V10", "GAL22V10B", "GAL22V10D"}) {
            if ((std::string(maker) == "LATTICE") == (std::string(name) == "GAL22V10")) continue;
            maps.push_back({maker, name, 44, 132, false, 44, 5828, 5892, -1, v22});
        }
    }
    maps.push_back({"ATMEL", "ATF22V10B", 44, 132, false, 44, 5828, 5892, -1, v22, 68});
    for (const char* name : {"ATF22V10C", "ATF22V10CZ", "ATF22LV10C", "ATF22LV10CZ"})
        maps.push_back({"ATMEL", name, 44, 132, false, 44, 5828, 5892, -1, v22, 68, true});
    maps.push_back({"LATTICE", "GAL22LV10C", 44, 132, false, 44, 5828, 5892, -1, v22});
    maps.push_back({"LATTICE", "GAL22LV10D", 44, 132, false, 44, 5828, 5892, -1, v22});
    maps.push_back({"LATTICE", "GAL18V10", 36, 96, false, 44, 3476, 3540, -1, PairsSwapped(3456, 20)});
    maps.push_back({"LATTICE", "GAL20RA10", 40, 80, false, 40, 3210, 3274, -1, ra10});
    maps.push_back({"LATTICE", "GAL20RA10A", 40, 80, false, -1, 0, 3210, -1, ra10});
    maps.push_back({"LATTICE", "GAL20XV10", 40, 40, false, 44, 1631, 1671, -1, xv10});
    maps.push_back({"LATTICE", "GAL26CV12", 52, 122, false, 52, 6368, 6432, -1, PairsSwapped(6344, 24)});
    maps.push_back({"ST", "GAL20RA10", 40, 80, true, 41, 3210, 3274, 40, ra10Pins});
    return maps;
}

inline std::vector<EmTable<sim::GalChip>> SerialGalWhole() {
    std::vector<EmTable<sim::GalChip>> tables;
    for (const SerialGalMap& m : SerialGalMaps()) {
        std::vector<EmSpot> spots;
        for (int a = 0; a < m.rows; ++a)
            for (int b = 0; b < m.bits; ++b) {
                const int fuse = m.byteColumns ? (b / 8) * 320 + 280 - (b % 8) * 40 + a : b * m.rows + a;
                spots.push_back({static_cast<uint32_t>(fuse), a, b});
            }
        for (int b = 0; m.uesAddress >= 0 && m.uesFuse + static_cast<uint32_t>(b) < m.fuses; ++b)
            spots.push_back({m.uesFuse + static_cast<uint32_t>(b), m.uesAddress, m.uesPosition + b});
        if (m.powerDownCell) spots.push_back({5892, 59, 0});
        for (size_t i = 0; i < m.arch.size(); ++i) spots.push_back({m.arch[i], m.archAddress, static_cast<int>(i)});
        tables.push_back({m.maker, m.name, std::move(spots),
                          [](const sim::GalChip& chip, const EmSpot& s) { return chip.CellAtPlace(s.a, s.b); }});
    }
    return tables;
}

// The row-serial 16V8 and 20V8 rows (219, 220, 232, 233) and those with an
// identification text (228, 243, 229), whole: array row a (0 to C - 1, C =
// 32 on the 16V8 map, 40 on the 20V8 map) bit b holds fuse b x C + a; the
// UES row at address C bit b fuse UES + b; the architecture row at address
// 60 its 82 bits in one of two orders. On the 16V8 map XOR is 2048-2055,
// AC1 2120-2127, the term-disable bits 2128-2191, SYN 2192 and AC0 2193;
// the 20V8 map has each 512 higher. The first order serves parts whose
// signature type code is below 26 (0 and 32 here), the second those at 26
// or above (1Ah and 58), the extended-ID and the text-ID parts.
struct RowSerialGalMap {
    const char* maker;
    const char* name;
    bool wide;         // the 20V8 map
    bool secondOrder;  // the architecture row's second order
};

inline std::vector<uint32_t> GalArchitectureRow(bool wide, bool secondOrder) {
    struct Run {
        uint32_t first, last;
    };
    static const std::vector<Run> first = {{2128, 2159}, {2048, 2051}, {2193, 2193}, {2120, 2127},
                                           {2192, 2192}, {2052, 2055}, {2160, 2191}};
    static const std::vector<Run> second = {{2048, 2051}, {2193, 2193}, {2120, 2123}, {2128, 2191},
                                            {2124, 2127}, {2192, 2192}, {2052, 2055}};
    std::vector<uint32_t> row;
    for (const Run& r : secondOrder ? second : first)
        for (uint32_t f = r.first; f <= r.last; ++f) row.push_back(f + (wide ? 512u : 0u));
    return row;
}

inline std::vector<RowSerialGalMap> RowSerialGalMaps() {
    return {{"LATTICE", "GAL16V8", false, false},
            {"LATTICE", "GAL16V8B", false, true},
            {"LATTICE", "GAL16V8D", false, true},
            {"NATIONAL-SEMICONDUCTOR", "GAL16V8", false, false},
            {"ST", "GAL16V8", false, false},
            {"LATTICE", "GAL20V8B", true, false},
            {"LATTICE", "GAL20V8D", true, true},
            {"NATIONAL-SEMICONDUCTOR", "GAL20V8A", true, false},
            {"ST", "GAL20V8", true, false},
            {"LATTICE", "GAL16LV8C", false, true},
            {"LATTICE", "GAL16LV8D", false, true},
            {"LATTICE", "GAL16LV8ZD", false, true},
            {"LATTICE", "GAL20LV8D", true, true},
            {"ATMEL", "ATF16V8B", false, true},
            {"ATMEL", "ATF16V8C", false, true},
            {"ATMEL", "ATF16V8CZ", false, true},
            {"ATMEL", "ATF20V8B", true, true}};
}

inline std::vector<EmTable<sim::GalChip>> RowSerialGalWhole() {
    std::vector<EmTable<sim::GalChip>> tables;
    for (const RowSerialGalMap& m : RowSerialGalMaps()) {
        const int columns = m.wide ? 40 : 32;
        const uint32_t ues = m.wide ? 2568 : 2056;
        std::vector<EmSpot> spots;
        for (int a = 0; a < columns; ++a)
            for (int b = 0; b < 64; ++b) spots.push_back({static_cast<uint32_t>(b * columns + a), a, b});
        for (int b = 0; b < 64; ++b) spots.push_back({ues + static_cast<uint32_t>(b), columns, b});
        const std::vector<uint32_t> arch = GalArchitectureRow(m.wide, m.secondOrder);
        for (size_t i = 0; i < arch.size(); ++i) spots.push_back({arch[i], 60, static_cast<int>(i)});
        tables.push_back({m.maker, m.name, std::move(spots),
                          [](const sim::GalChip& chip, const EmSpot& s) { return chip.CellAtPlace(s.a, s.b); }});
    }
    return tables;
}

// Rows 235 and 236, whole: the byte at row r, index x holds in value bit b:
// array rows fuse (8 b + x) x C + column (C = 32, 40); row 40 (UES) fuse
// UES + 8 x + b; row 42 (term-disable) fuse PTD + x + 8 b; row 41 index 0
// the XOR bits XOR + b, index 1 the AC1 bits AC1 + b, index 2 AC0 on bit 0
// and SYN on bit 1. The 16V8-type part takes column r at row address r;
// the 20V8-type part takes columns 0-39 at the row addresses 0, 1, 38, 39,
// 4, 5, 2, 3, ... below. Place: row address / index / bit.
inline std::vector<EmTable<sim::CycleRecordChip>> ByteCycleRecordWhole() {
    static const int wideAddress[40] = {0,  1,  38, 39, 4,  5,  2,  3,  8,  9,  6,  7,  12, 13,
                                        10, 11, 16, 17, 14, 15, 20, 21, 18, 19, 24, 25, 22, 23,
                                        28, 29, 26, 27, 34, 35, 30, 31, 36, 37, 32, 33};
    std::vector<EmTable<sim::CycleRecordChip>> tables;
    for (const bool wide : {false, true}) {
        const uint32_t columns = wide ? 40 : 32;
        const uint32_t shift = wide ? 512 : 0;
        std::vector<EmSpot> spots;
        for (uint32_t c = 0; c < columns; ++c) {
            const int address = wide ? wideAddress[c] : static_cast<int>(c);
            for (int x = 0; x < 8; ++x)
                for (int b = 0; b < 8; ++b)
                    spots.push_back({static_cast<uint32_t>(8 * b + x) * columns + c, address, x, b});
        }
        for (int x = 0; x < 8; ++x)
            for (int b = 0; b < 8; ++b) {
                spots.push_back({2056u + shift + static_cast<uint32_t>(8 * x + b), 40, x, b});
                spots.push_back({2128u + shift + static_cast<uint32_t>(x + 8 * b), 42, x, b});
            }
        for (int b = 0; b < 8; ++b) {
            spots.push_back({2048u + shift + static_cast<uint32_t>(b), 41, 0, b});
            spots.push_back({2120u + shift + static_cast<uint32_t>(b), 41, 1, b});
        }
        spots.push_back({2193u + shift, 41, 2, 0});
        spots.push_back({2192u + shift, 41, 2, 1});
        tables.push_back({"CYPRESS", wide ? "PALCE20V8" : "PALCE16V8", std::move(spots),
                          [](const sim::CycleRecordChip& chip, const EmSpot& e) {
                              return chip.FuseAtPlace(e.a, e.b, e.c);
                          }});
    }
    return tables;
}

// Row 294, whole: array row r (0-43) position p holds fuse 44 p + r; row 44
// position p (0-63) fuse 5828 + p; row 45 position p (0-19) fuse 5808 + p
// with pairs swapped (0 -> 5809, 1 -> 5808, ...).
inline std::vector<EmTable<sim::FuseArrayChip>> JtagV10Whole() {
    std::vector<EmSpot> spots;
    for (int r = 0; r < 44; ++r)
        for (int p = 0; p < 132; ++p) spots.push_back({static_cast<uint32_t>(44 * p + r), r, p});
    for (int p = 0; p < 64; ++p) spots.push_back({5828u + static_cast<uint32_t>(p), 44, p});
    for (int p = 0; p < 20; ++p) spots.push_back({5808u + static_cast<uint32_t>(p ^ 1), 45, p});
    return {{"LATTICE", "ispGAL22LV10", std::move(spots),
             [](const sim::FuseArrayChip& chip, const EmSpot& s) { return chip.CellAtPlace(s.a, s.b); }}};
}

// Row 237, whole: the 10-bit word of group g at column c (row address c,
// index g) holds in bit i: groups 0-15 fuse A_i + 44 g + c for g < S_i;
// group 16 fuse O_i + c; group 18 bit 0 fuse c; group 17 bit 9 fuse 5764 +
// c; at column 44 group 0 fuse 5808 + 2 i and group 1 fuse 5809 + 2 i.
// Place: column / group / bit.
inline std::vector<EmTable<sim::CycleRecordChip>> WordV10Whole() {
    const int s[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
    const uint32_t a[10] = {88, 484, 968, 1540, 2200, 2948, 3696, 4356, 4928, 5412};
    const uint32_t o[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
    std::vector<EmSpot> spots;
    for (int c = 0; c < 44; ++c) {
        const auto uc = static_cast<uint32_t>(c);
        for (int i = 0; i < 10; ++i) {
            for (int g = 0; g < s[i]; ++g) spots.push_back({a[i] + 44u * static_cast<uint32_t>(g) + uc, c, g, i});
            spots.push_back({o[i] + uc, c, 16, i});
        }
        spots.push_back({uc, c, 18, 0});
        spots.push_back({5764u + uc, c, 17, 9});
    }
    for (int i = 0; i < 10; ++i) {
        spots.push_back({5808u + 2u * static_cast<uint32_t>(i), 44, 0, i});
        spots.push_back({5809u + 2u * static_cast<uint32_t>(i), 44, 1, i});
    }
    return {{"CYPRESS", "PALCE22V10", std::move(spots),
             [](const sim::CycleRecordChip& chip, const EmSpot& e) { return chip.FuseAtPlace(e.a, e.b, e.c); }}};
}

// Row 218, whole: in block k (B = 6762 k), array row r (0-65) at program
// clock j holds fuse B + 66 j + r; special row r (66-79) holds cell c
// (fuse B + 6538 + (r - 66) + 14 c) at program clock 14, 15, 25, 26, 36,
// 37, 47, 48, 58, 59, 69, 70, 80, 81, 91, 92; rows 69, 73, 75 and 77 hold
// at clock 0 fuses B + 6535, 6536, 6534 and 6537. Place: row / clock / block.
inline std::vector<EmTable<sim::InstructionBlockChip>> InstructionBlockWhole() {
    const int clocks[16] = {14, 15, 25, 26, 36, 37, 47, 48, 58, 59, 69, 70, 80, 81, 91, 92};
    const struct {
        int row;
        uint32_t offset;
    } extra[4] = {{69, 6535}, {73, 6536}, {75, 6534}, {77, 6537}};
    std::vector<EmSpot> spots;
    for (int k = 0; k < 8; ++k) {
        const uint32_t base = 6762u * static_cast<uint32_t>(k);
        for (int r = 0; r < 66; ++r)
            for (int j = 0; j < 99; ++j)
                spots.push_back({base + 66u * static_cast<uint32_t>(j) + static_cast<uint32_t>(r), r, j, k});
        for (int r = 66; r < 80; ++r)
            for (int c = 0; c < 16; ++c)
                spots.push_back({base + 6538u + static_cast<uint32_t>(r - 66) + 14u * static_cast<uint32_t>(c), r,
                                 clocks[c], k});
        for (const auto& e : extra) spots.push_back({base + e.offset, e.row, 0, k});
    }
    return {{"AMD", "MACH435", std::move(spots), [](const sim::InstructionBlockChip& chip, const EmSpot& s) {
                 const int32_t f = sim::InstructionBlockChip::FuseAt(s.a, s.c, s.b, false);
                 return f < 0 ? -1 : chip.Cell(static_cast<uint32_t>(f));
             }}};
}

// A device's tables for a part of any model: at each spot, the fuse value
// the part holds there (-1: no cell there, -2: the seated model is not the
// table's).
struct DeviceSpot {
    uint32_t fuse;
    std::string place;
    std::function<int(const sim::ChipModel*)> value;
};
struct DeviceTable {
    std::string maker, name;
    std::vector<DeviceSpot> spots;
};

template <class Chip, class Facts>
void AddDeviceTables(std::vector<DeviceTable>& out, const std::vector<FpTable<Chip, Facts>>& tables) {
    for (const FpTable<Chip, Facts>& t : tables) {
        DeviceTable d{t.maker, t.name, {}};
        for (const FpSpot<Chip>& s : t.spots) {
            const int programmed = t.programmed;
            d.spots.push_back({s.fuse, s.place, [at = s.at, programmed](const sim::ChipModel* chip) {
                                   const Chip* c = sim::SeatedModel<Chip>(chip);
                                   if (c == nullptr) return -2;
                                   return at(*c) ? programmed : 1 - programmed;
                               }});
        }
        out.push_back(std::move(d));
    }
}
template <class Chip>
void AddDeviceTables(std::vector<DeviceTable>& out, const std::vector<EmTable<Chip>>& tables) {
    for (const EmTable<Chip>& t : tables) {
        DeviceTable d{t.maker, t.name, {}};
        for (const EmSpot& s : t.spots) {
            const std::string place =
                std::to_string(s.a) + "/" + std::to_string(s.b) + "/" + std::to_string(s.c);
            d.spots.push_back({s.fuse, place, [at = t.at, s](const sim::ChipModel* chip) {
                                   const Chip* c = sim::SeatedModel<Chip>(chip);
                                   return c == nullptr ? -2 : at(*c, s);
                               }});
        }
        out.push_back(std::move(d));
    }
}

// Every device's table above; nullptr for a device without one.
inline const DeviceTable* DeviceTableOf(const std::string& maker, const std::string& name) {
    static const std::vector<DeviceTable> tables = [] {
        std::vector<DeviceTable> t;
        AddDeviceTables(t, FuseArrayPalTables());
        AddDeviceTables(t, ProductTermPalTables());
        AddDeviceTables(t, PinAddressedTables());
        AddDeviceTables(t, MacrocellFuseTables());
        AddDeviceTables(t, FileOrderFuseTables());
        AddDeviceTables(t, PlaneArrayTables());
        AddDeviceTables(t, PlaneFusePromTables());
        AddDeviceTables(t, MacrocellWordTables());
        AddDeviceTables(t, SecuredWordTables());
        AddDeviceTables(t, WideWordTables());
        AddDeviceTables(t, StrobePlaTables());
        AddDeviceTables(t, FplaTables());
        AddDeviceTables(t, AddressListTables());
        AddDeviceTables(t, TextListTables());
        AddDeviceTables(t, CommandBusPlaces());
        AddDeviceTables(t, CommandBusFieldsWhole());
        AddDeviceTables(t, LatchedRowsPastTheArrayWhole());
        AddDeviceTables(t, WideRowOrderAndBlocksWhole());
        AddDeviceTables(t, LatchedRowPlaces());
        AddDeviceTables(t, WideRowPlaces());
        AddDeviceTables(t, Gal6001Places());
        AddDeviceTables(t, Gal6001ArchitectureChainWhole());
        AddDeviceTables(t, SerialCommandPlaces());
        AddDeviceTables(t, SerialGalWhole());
        AddDeviceTables(t, RowSerialGalWhole());
        AddDeviceTables(t, ByteCycleRecordWhole());
        AddDeviceTables(t, InstructionBlockWhole());
        AddDeviceTables(t, JtagV10Whole());
        AddDeviceTables(t, WordV10Whole());
        // A device's tables as one.
        std::vector<DeviceTable> merged;
        for (DeviceTable& d : t) {
            auto same = std::find_if(merged.begin(), merged.end(), [&](const DeviceTable& m) {
                return m.maker == d.maker && m.name == d.name;
            });
            if (same == merged.end()) {
                merged.push_back(std::move(d));
            } else {
                same->spots.insert(same->spots.end(), d.spots.begin(), d.spots.end());
            }
        }
        return merged;
    }();
    for (const DeviceTable& t : tables)
        if (t.maker == maker && t.name == name) return &t;
    return nullptr;
}

} // namespace placement
