#include "sim/JtagCpldParts.h"

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

const JtagCpldFacts kParts[] = {
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

const JtagCpldFacts* FindJtagCpldPart(const std::string& maker, const std::string& name) {
    for (const JtagCpldFacts& p : kParts) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

} // namespace sim
