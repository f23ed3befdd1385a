// The pulse-programmed EPROM parts of the catalog, from their datasheets:
// organisation and pin-out (the JEDEC byte-wide and 16-bit pin-outs), blank
// value, electronic signature, the Vpp window of a program pulse with the
// pin's absolute rating, the shortest program pulse, and the erase
// conditions of the electrically erasable parts, and how long VCC has to be
// steady before the part takes an access (the VCC set-up time tVCS of the
// programming waveforms, or a power-up-to-read time where one is given).
#include "sim/Catalog.h"
#include "sim/ControlBus.h"
#include "sim/EpromChip.h"

namespace sim {

namespace {

// Programming conditions a datasheet gives for a whole kind of part.
struct Programming {
    VoltageWindow vpp;
    int vppMaxTenths;
    uint32_t minPulseUs;
    // Pulse time a cell needs to hold at the margin reads (0: its pulses).
    uint32_t fullProgramUs = 0;
    // VCC steady this long before the first strobe.
    uint32_t powerUpUs = 2;
};

// CMOS parts programmed with 100 us pulses: Vpp 12.75 V +-0.25 V (14.0 V
// absolute), pulse 95-105 us; tVCS 2 us. The 50 us, intelligent and 13 V
// classes give the same tVCS.
constexpr Programming kQuickPulse{{125, 130}, 140, 95};
// The same at 50 us pulses (45-55 us).
constexpr Programming kQuickPulse50{{125, 130}, 140, 45};
// 1 ms pulses of the intelligent algorithm: Vpp 12.5 V +-0.3 V, 0.95-1.05 ms;
// the X pulses that program a cell are followed by one over-program pulse of
// 3X ms, so a cell holds only after four times the pulse time it took.
constexpr Programming kIntelligent{{122, 128}, 140, 950, 4 * 950};
// The 2732A: 21 V +-0.5 V on /OE-Vpp (22 V absolute), 45-55 ms pulses. VCC
// stays at 5 V and no set-up time for it was found: the family's 2 us
// stands.
constexpr Programming k21Volt{{205, 215}, 220, 45000};
// Electrically erasable parts programmed at 12.0 V +-0.5 V with 100 us
// pulses; erase at 14.0 V +-0.5 V on Vpp and A9 (14.5 V absolute). No VCC
// set-up time was found for them: the family's 2 us stands.
constexpr Programming kTwelveVolt{{115, 125}, 145, 95};
// Many-time programmable flash in EPROM pin-out: Vpp 12.0 V +-0.6 V, 20 us
// pulses, erase with 12 V on Vpp and A9 in 100 ms; reads 100 us after VCC
// is up (power-up to read, TPU-READ).
constexpr Programming kMtpFlash{{114, 126}, 140, 20, 0, 100};
// One-time parts programmed at 13.0 V +-0.25 V with 100 us pulses.
constexpr Programming kThirteenVolt{{127, 133}, 140, 95};

EpromConfig Part(EpromConfig c, const Programming& p, int makerCode = -1, int deviceCode = -1) {
    c.vpp = p.vpp;
    c.vppMaxTenths = p.vppMaxTenths;
    c.minPulseUs = p.minPulseUs;
    c.fullProgramUs = p.fullProgramUs;
    c.powerUpUs = p.powerUpUs;
    c.makerCode = makerCode;
    c.deviceCode = deviceCode;
    return c;
}

// Electrical chip erase through A9 (chip pin `erasePin`) and Vpp at
// `minTenths` or more, erased in `eraseUs`.
EpromConfig Erasable(EpromConfig c, int erasePin, int minTenths, uint32_t eraseUs) {
    c.erasePin = erasePin;
    c.eraseMinTenths = minTenths;
    c.erasePulseUs = eraseUs;
    return c;
}

template <class F> EpromConfig With(EpromConfig c, F change) {
    change(c);
    return c;
}

// Four 16 KB pages behind a page register loaded through pin 27.
EpromConfig Paged64K(const std::string& name) {
    return With(Jedec28(name, 0x10000), [](EpromConfig& c) {
        c.addressPins.resize(14);
        c.pageWords = 0x4000;
        c.pageWritePin = 27;
        c.pgmPin = 0;
        c.vppPin = 1;
    });
}

} // namespace

void AddEpromParts(std::vector<CatalogPart>& parts) {
    auto add = [&parts](const char* maker, EpromConfig c) { parts.push_back(ChipPart<EpromChip>(maker, std::move(c))); };
    // Byte-wide UV and OTP EPROMs.
    add("AMD", Part(Jedec28("Am27128", 0x4000), kQuickPulse, 0x01, 0x16));
    add("AMD", Part(Jedec28("Am27C256", 0x8000), kQuickPulse, 0x01, 0x10));
    add("INTEL", Part(Jedec28("27C256", 0x8000), kQuickPulse, 0x89, 0x8C));
    add("ST", Part(Jedec28("M27C512", 0x10000), kQuickPulse, 0x20, 0x3D));
    add("AMD", Part(Jedec32("Am27C010", 0x20000), kQuickPulse, 0x01, 0x0E));
    add("INTEL", Part(Jedec24("2732A", 0x1000), k21Volt, 0x89));
    add("INTEL", Part(Jedec28("2764A", 0x2000), kIntelligent, 0x89, 0x08));
    add("CYPRESS", With(Part(Jedec28("CY27C128", 0x4000), kQuickPulse), [](EpromConfig& c) { c.blank = 0x00; }));
    add("CYPRESS", With(Part(Jedec28("CY27C256", 0x8000), kQuickPulse), [](EpromConfig& c) { c.blank = 0x00; }));
    add("AMD", Part(Jedec32("Am27C020", 0x40000), kQuickPulse, 0x01, 0x97));
    add("AMD", Part(Jedec32("Am27C040", 0x80000), kQuickPulse, 0x01, 0x9B));
    add("ST", Part(Jedec32("M27C801", 0x100000), kQuickPulse50, 0x20, 0x42));
    // Electrically erasable byte-wide parts (erase through A9, chip pin 24).
    add("WINBOND", Erasable(Part(Jedec28("W27C512", 0x10000), kTwelveVolt, 0xDA, 0x08), 24, 135, 100000));
    add("SST", Erasable(Part(Jedec28("SST27SF512", 0x10000), kMtpFlash, 0xBF, 0xA4), 24, 114, 100000));
    add("SST", Erasable(Part(Jedec28("SST27SF256", 0x8000), kMtpFlash, 0xBF, 0xA3), 24, 114, 100000));
    // Erased at the programming voltage after every cell was programmed to 00h.
    add("MACRONIX", With(Erasable(Part(Jedec28("MX26C512A", 0x10000), kQuickPulse, 0xC2), 24, 120, 100000),
                         [](EpromConfig& c) {
                             c.vpp.minTenths = 120;
                             c.vppMaxTenths = 145;
                             c.eraseNeedsZeros = true;
                         }));
    // Erased by an active-high strobe on /CE with 12 V on A9 and Vpp.
    add("WINBOND", With(Erasable(Part(Jedec28("W27E512", 0x10000), kTwelveVolt, 0xDA), 24, 115, 100000),
                        [](EpromConfig& c) { c.eraseStrobeHigh = true; }));
    // Paged parts.
    add("INTEL", Part(Paged64K("27513"), kIntelligent, 0x89));
    add("ST", Part(Paged64K("M27513"), kIntelligent, 0x20));
    // Nonvolatile SRAM: written by /WE (pin 27), no programming voltage. Its
    // data sheet gives no power-up time in microseconds (it names only the
    // write-protect threshold), so the family's 2 us stands.
    add("DALLAS", With(Jedec28("DS1225Y", 0x2000), [](EpromConfig& c) {
            c.byteWrite = true;
            c.vppPin = 0;
        }));
    // 16-bit parts.
    add("AMD", Part(Word40("Am27C1024", 0x10000), kQuickPulse, 0x01));
    add("ST", Part(Word40("M27C1024", 0x10000), kQuickPulse, 0x20, 0x8C));
    add("AMD", Part(Word40("Am27C4096", 0x40000), kQuickPulse, 0x01));
    add("WINBOND", Erasable(Part(Word40("W27C4096", 0x40000), kTwelveVolt, 0xDA), 31, 135, 100000));
    // The 45 ns speed grade of the same part.
    add("WINBOND", Erasable(Part(Word40("W27C4096-45", 0x40000), kTwelveVolt, 0xDA), 31, 135, 100000));
    // Parts of the control-register bus: the 16-bit part blank at 0000h
    // with its hidden word, a byte part blank at FFh, and one blank at 00h
    // that answers a blank check with Vpp on /CE.
    add("MICROCHIP", Part(ControlBusWord40("27HC1616", 0x4000), kThirteenVolt));
    add("MICROCHIP", Part(Jedec28("27HC256", 0x8000), kThirteenVolt));
    add("MICROCHIP", With(Part(Jedec28("27HC641", 0x2000), kThirteenVolt), [](EpromConfig& c) {
            c.blank = 0x00;
            c.pgmPin = 0;
            c.hvBlankCheck = true;
        }));
}

SIM_CATALOG_FAMILY(AddEpromParts);

} // namespace sim
