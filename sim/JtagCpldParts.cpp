#include "sim/JtagCpldParts.h"

#include "sim/CatalogModel.h"
#include "sim/EightBlockChip.h"
#include "sim/FuseArrayChip.h"
#include "sim/IscCpldChip.h"
#include "sim/JtagCpldChip.h"
#include "sim/RowTapChip.h"

namespace sim {

namespace {

using K = JtagCpldKind;

// ISC CPLDs: 5 V parts 4.5-5.5 V (7.0 V maximum), 3.3 V parts 3.0-3.6 V
// (4.6 V maximum); the low-power 3.3 V member needs the longer program pulse.
// 44-pin PLCC: TDI 7, TMS 13, TCK 32, TDO 38, VCC 3/15/23/35, GND 10/22/30/42.
// 100-pin TQFP on the adapter (socket pin = package pin - 26): VCC 36 and 41
// on socket 10 and 15, GND 28/40/45/61 on socket 2/14/19/35, the TAP on
// socket 5-8 and the high voltage on 13.
constexpr JtagCpldFacts Isc(const char* name, K kind, uint32_t idcode, int vcc, uint32_t programMs, bool plcc44) {
    const bool low = vcc < 40;
    JtagCpldFacts f{"ATMEL", name, kind, idcode, plcc44 ? 44 : 100, vcc, low ? 3 : 5, low ? 46 : 70,
                    programMs, 100, 20000, 0, 0, 0, 0, 0, 0, 0, 0, {}, {}};
    if (plcc44) {
        f.tms = 15, f.tck = 34, f.tdi = 9, f.tdo = 40, f.hv = 46, f.vcc = 5;
        f.gnd[0] = 12, f.gnd[1] = 24, f.gnd[2] = 32, f.gnd[3] = 44;
    } else {
        f.tms = 7, f.tck = 8, f.tdi = 5, f.tdo = 6, f.hv = 13, f.vcc = 10;
        f.gnd[0] = 2, f.gnd[1] = 14, f.gnd[2] = 19, f.gnd[3] = 35;
    }
    return f;
}

// Fuse-array PLDs (IEEE 1532 ISC over a 5-bit IR): 40 ms program, 200 ms
// erase, 25 us read. The 32-macrocell parts in the 44-pin PLCC: TDI 14,
// TDO 24, TCK 33, TMS 36, ispEN 13 and pin 35 held low, VCC 12/34, GND 1/23;
// in the 48-pin TQFP: TCK 11, TDI 12, TMS 13, TDO 25, ispEN 14 and pin 40
// held low, VCC 37, GND 27/46. The 22V10-type part in the 28-pin PLCC: TCK 1,
// TMS 8, TDI 15, TDO 22, VCC 28, GND 14.
constexpr JtagCpldFacts FuseArray(const char* name, uint32_t idcode, int shiftBits, int vcc, int packagePins) {
    JtagCpldFacts f{"LATTICE", name, K::FuseArray102, idcode, packagePins, vcc, vcc < 30 ? 2 : 3, vcc < 30 ? 36 : 46,
                    40, 200, 25, shiftBits, 0, 0, 0, 0, 0, 0, 0, {}, {}};
    if (packagePins == 44) {
        f.tms = 38, f.tck = 35, f.tdi = 16, f.tdo = 26, f.vcc = 14;
        f.gnd[0] = 3, f.gnd[1] = 25, f.low[0] = 15, f.low[1] = 37;
    } else if (packagePins == 48) {
        f.tms = 13, f.tck = 11, f.tdi = 12, f.tdo = 25, f.vcc = 37;
        f.gnd[0] = 27, f.gnd[1] = 46, f.low[0] = 40, f.low[1] = 14;
    } else {
        f.kind = K::FuseArray44;
        f.tms = 18, f.tck = 11, f.tdi = 25, f.tdo = 32, f.vcc = 38, f.gnd[0] = 24;
    }
    return f;
}

// In-system block CPLDs (5 V, 4.5-5.5 V) on the adapter of their logic
// image: TCK on socket 11, TDO 14, TDI 15, TMS 16, the supply on 38, ground
// on 24. Program, erase and secure need 5.0 V.
constexpr JtagCpldFacts RowTap(const char* name, K kind, uint32_t idcode) {
    return {"AMD", name, kind, idcode, 44, 50, 5, 70, 50, 100, 0, 0, 16, 11, 15, 14, 0, 0, 38, {24}, {}};
}

// In-system eight-block CPLDs: the 5 V member (4.75-5.25 V) and the 3.3 V
// member (3.0-3.6 V, 4.1 V maximum); TAP on socket 11/14/15/16, pulse pin 12,
// 9.2 V on 13, supply on 38, ground on 24.
constexpr JtagCpldFacts EightBlock(const char* name, uint32_t idcode, int vcc) {
    return {"AMD", name, K::RowTap8Block, idcode, 44, vcc, 3, vcc < 40 ? 41 : 70, 50, 100, 0, 0,
            16, 11, 15, 14, 13, 12, 38, {24}, {}};
}

const JtagCpldFacts kParts[] = {
    EightBlock("M4-128/64", 0x17568003, 50),
    EightBlock("M4LV-128/64", 0x0756C003, 33),
    RowTap("MACH111SP", K::RowTap2Block, 0x07458003),
    RowTap("MACH211SP", K::RowTap4Block, 0x07058003),
    FuseArray("ispLSI2032V", 0x00301043, 40, 33, 44),
    FuseArray("ispLSI2032VL", 0x00527043, 80, 25, 44),
    FuseArray("ispLSI2032VE", 0x10301043, 80, 33, 44),
    FuseArray("ispLSI2032VE@TQFP48", 0x10301043, 80, 33, 48),
    FuseArray("ispGAL22LV10", 0x00009043, 0, 33, 28),
    // The ISC parts' data sheets do not give the in-system programming
    // times: the program, erase and read times are the shortest the rows
    // are known to work with.
    Isc("ATF1504AS", K::Isc64, 0x0150403F, 50, 20, true),
    Isc("ATF1504AS@TQFP100", K::Isc64, 0x0150403F, 50, 20, false),
    Isc("ATF1504ASL", K::Isc64, 0x0150503F, 50, 20, true),
    Isc("ATF1504ASV", K::Isc64, 0x0151403F, 33, 20, true),
    Isc("ATF1504ASV@TQFP100", K::Isc64, 0x0151403F, 33, 20, false),
    Isc("ATF1504ASVL", K::Isc64, 0x0151503F, 33, 50, true),
    Isc("ATF1508AS", K::Isc128, 0x0150803F, 50, 20, false),
    Isc("ATF1508ASL", K::Isc128, 0x0150903F, 50, 20, false),
    Isc("ATF1508ASV", K::Isc128, 0x0151803F, 33, 20, false),
    Isc("ATF1508ASVL", K::Isc128, 0x0151903F, 33, 50, false),
};

} // namespace

std::unique_ptr<JtagCpldChip> MakeJtagCpld(const JtagCpldFacts& f) {
    switch (f.kind) {
    case JtagCpldKind::Isc64:
    case JtagCpldKind::Isc128:
        return std::make_unique<IscCpldChip>(f);
    case JtagCpldKind::RowTap2Block:
    case JtagCpldKind::RowTap4Block:
        return std::make_unique<RowTapChip>(f);
    case JtagCpldKind::RowTap8Block:
        return std::make_unique<EightBlockChip>(f);
    case JtagCpldKind::FuseArray102:
    case JtagCpldKind::FuseArray44:
        return std::make_unique<FuseArrayChip>(f);
    }
    return nullptr;
}

void AddJtagCpldParts(std::vector<CatalogPart>& parts) {
    for (const JtagCpldFacts& p : kParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = p.packagePins;
        // The JEDEC fuse map, a fuse a word (the eight-block parts' E row and
        // user code lie past it).
        f.words = p.kind == JtagCpldKind::RowTap8Block ? EightBlockChip::kERowFuse : MakeJtagCpld(p)->CellCount();
        f.blank = 1;
        f.vcc = {p.vccTenths - p.vccTolTenths, p.vccTenths + p.vccTolTenths};
        f.vccPin = p.vcc;
        f.gndPins.clear();
        for (int g : p.gnd) {
            if (g != 0) f.gndPins.push_back(g);
        }
        parts.push_back(ModelPartBy<BitCells, MakeJtagCpld>(p.maker, f, p));
    }
}

const JtagCpldFacts* FindJtagCpldPart(const std::string& maker, const std::string& name) {
    for (const JtagCpldFacts& p : kParts) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

SIM_CATALOG_FAMILY(AddJtagCpldParts);

} // namespace sim
