// The PIC parts of the simulator, from their datasheets and the makers'
// programming data sheets: word width, program and data memory, EPROM pulse or flash
// write times, the VIHH window on MCLR, device ID, implemented and
// protection bits of the configuration word, the factory calibration word,
// and the pins of the serial programming mode. Looked up by maker and name
// as the device library spells them.
#include "sim/PicChip.h"

#include "sim/CatalogModel.h"
#include "sim/PicParallelChip.h"

#include <tuple>

namespace sim {

namespace {

// Programming-mode pins (chip pins) of the packages.
PicPinout Dip18() { return {18, {14}, {5}, 4, 12, 13}; }           // RB6 clock, RB7 data
PicPinout Dip28() { return {28, {20}, {8, 19}, 1, 27, 28}; }       // RB6, RB7
PicPinout Dip40() { return {40, {11, 32}, {12, 31}, 1, 39, 40}; }  // RB6, RB7
PicPinout Dip8() { return {8, {1}, {8}, 4, 6, 7}; }                // GP1 clock, GP0 data
PicPinout Dip14() { return {14, {1}, {14}, 4, 12, 13}; }           // RB1 clock, RB0 data

// 14-bit EPROM parts of the PIC16C6x/7x programming datasheet: VIHH
// 12.75-13.25 V, 100 us pulses; a word that verified after N pulses gets 3N
// more, the configuration word 100 pulses.
PicFacts Eprom14(const char* name, uint32_t words, PicPinout pin, uint32_t configMask, uint32_t protectMask) {
    PicFacts f;
    f.maker = "MICROCHIP";
    f.name = name;
    f.codeWords = words;
    f.minPulseUs = 100;
    f.overprogramFactor = 3;
    f.configPulses = 100;
    f.vihhMinTenths = 127;
    f.vihhMaxTenths = 133;
    f.configMask = configMask;
    f.protectMask = protectMask;
    f.pin = std::move(pin);
    return f;
}

// 12-bit EPROM parts (PIC12C5xx, PIC16C505): same window and pulse, the
// configuration word at entry, a MOVLW calibration value in the last word;
// 11N over-programming pulses, the configuration word programmed as a word.
PicFacts Eprom12(const char* name, uint32_t words, PicPinout pin, uint32_t configMask, uint32_t protectMask) {
    PicFacts f = Eprom14(name, words, std::move(pin), configMask, protectMask);
    f.wordBits = 12;
    f.calibration = 0xC5A;
    f.overprogramFactor = 11;
    f.configPulses = 1;
    return f;
}

// Flash parts: self-timed writes, VIHH window, data memory.
PicFacts Flash(const char* name, uint32_t words, uint32_t dataBytes, PicPinout pin, uint32_t writeUs, int vihhMin,
               int vihhMax, uint32_t configMask, uint32_t protectMask, uint32_t deviceId) {
    PicFacts f;
    f.maker = "MICROCHIP";
    f.name = name;
    f.codeWords = words;
    f.dataBytes = dataBytes;
    f.flash = true;
    f.writeUs = writeUs;
    f.eraseUs = writeUs;
    f.vihhMinTenths = vihhMin;
    f.vihhMaxTenths = vihhMax;
    f.configMask = configMask;
    f.protectMask = protectMask;
    f.deviceId = deviceId;
    f.pin = std::move(pin);
    return f;
}

// PIC16C5x program/verify mode: RA0-RA3 and RB0-RB7 carry the word, OSC1
// clocks the counter, T0CKI is the program/verify pin; VIHH 12.75-13.25 V,
// 100 us pulses, then one of 11N x 100 us for a word that verified after N;
// the configuration word takes 10 ms of programming. FOSC1:0, WDTE and CP in
// the configuration word.
PicFacts Parallel12(const char* name, uint32_t words, bool twentyEight) {
    PicFacts f = Eprom14(name, words, {}, 0x00F, 0x008);
    f.parallel = true;
    f.wordBits = 12;
    f.overprogramFactor = 11;
    if (twentyEight) {
        f.pin = {28, {2}, {4}, 28, 27, 0};
        f.pin.bus = {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
        f.pin.pulse = 1;
    } else {
        f.pin = {18, {14}, {5}, 4, 16, 0};
        f.pin.bus = {17, 18, 1, 2, 6, 7, 8, 9, 10, 11, 12, 13};
        f.pin.pulse = 3;
    }
    return f;
}

// PIC17C4x: 16-bit words on PORTC (low byte) and PORTD (high byte), VPP
// 12.75-13.25 V on MCLR for programming, 100 us pulses; configuration bits
// FOSC0-1, WDTPS0-1, PM0 (bit 4), PM1 (bit 6), PM2 (bit 15); PM2:PM0 all 0 is
// the code-protected microcontroller mode.
PicFacts Parallel16(const char* name, uint32_t words) {
    PicFacts f = Eprom14(name, words, {40, {1}, {10, 31}, 32, 25, 0}, 0x805F, 0x8050);
    f.parallel = true;
    f.wordBits = 16;
    f.pin.bus = {2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18};
    f.pin.pulse = 26;
    f.pin.modeHigh = {22, 27};
    f.pin.modeLow = {19, 23, 24};
    f.pin.entryCode = 0xE1;
    f.note = "the mode pins (19, 22-24, 27), the E1h code on PORTD, the clock (pin 25) and program pin (26) "
             "and the three-clock word cycle are the model's own reading of the data sheet";
    return f;
}

std::vector<PicFacts> MakeParts() {
    std::vector<PicFacts> v;
    // FOSC 1:0, WDTE, PWRTE, CP.
    v.push_back(Eprom14("PIC16C61", 1024, Dip18(), 0x1F, 0x10));
    v.push_back(Eprom14("PIC16C71", 1024, Dip18(), 0x1F, 0x10));
    // CP1:CP0 at 5:4, mirrored in 13:12, 11:10 and 9:8 (all memory
    // protected 00CFh, 0200h-07FFh 15DFh), BODEN at 6, bit 7 unimplemented.
    const std::vector<uint32_t> pairs13to8{0x1510, 0x2A20};
    for (const auto& [name, words, pins] :
         {std::tuple{"PIC16C62A", 2048u, Dip28()}, std::tuple{"PIC16C74A", 4096u, Dip40()}}) {
        PicFacts f = Eprom14(name, words, pins, 0x3F7F, 0x30);
        f.protectCopies = pairs13to8;
        v.push_back(f);
    }
    // Parity memory: MPEEN at bit 7, 16-bit frames with two parity bits; the
    // pairs as on the PIC16C62A.
    for (const char* name : {"PIC16C642", "PIC16C662"}) {
        PicFacts f = Eprom14(name, 4096, name[7] == '4' ? Dip28() : Dip40(), 0x3FFF, 0x30);
        f.protectCopies = pairs13to8;
        f.parityFrames = true;
        v.push_back(f);
    }
    // PIC16C84: EEPROM, CP at bit 4; PIC16F83/84: CP in bits 13:4, every one
    // a copy of the one protection bit. TPROG 10 ms, VIHH 12-14 V, 64 data bytes.
    v.push_back(Flash("PIC16C84", 1024, 64, Dip18(), 10000, 120, 140, 0x1F, 0x10, 0));
    for (const auto& [name, words] : {std::pair{"PIC16F83", 512u}, std::pair{"PIC16F84", 1024u}}) {
        PicFacts f = Flash(name, words, 64, Dip18(), 10000, 120, 140, 0x3FFF, 0x10, 0);
        f.protectCopies = {0x3FF0};
        v.push_back(f);
    }
    // 12-bit: FOSC 1:0, WDTE, CP at 3, MCLRE at 4 (PIC12C5xx); PIC16C505:
    // FOSC 2:0, WDTE, CP at 4 (mirrored in 11:6), MCLRE at 5.
    v.push_back(Eprom12("PIC12C508A", 512, Dip8(), 0x1F, 0x08));
    v.push_back(Eprom12("PIC12C509A", 1024, Dip8(), 0x1F, 0x08));
    v.push_back(Eprom12("PIC12CE518", 512, Dip8(), 0x1F, 0x08));
    {
        PicFacts f = Eprom12("PIC16C505", 1024, Dip14(), 0xFFF, 0x10);
        f.protectCopies = {0xFD0}; // code protected 002Fh
        v.push_back(f);
    }
    // PIC12C67x: FOSC 2:0, WDTE, PWRTE, CP1:CP0 at 6:5 (mirrored in 13:12,
    // 11:10 and 9:8: all memory protected 009Fh, 0200h-03FEh 15BFh), MCLRE at
    // 7; a RETLW calibration value in the last word.
    for (const char* name : {"PIC12C671", "PIC12C672", "PIC12CE673"}) {
        PicFacts f = Eprom14(name, name[8] == '2' ? 2048 : 1024, Dip8(), 0x3FFF, 0x60);
        f.protectCopies = {0x1520, 0x2A40};
        f.calibration = 0x3480;
        v.push_back(f);
    }
    {
        // Three protections, each bit in three places: CPP (program memory)
        // at 4, 10 and 11 (on: 33EFh), CPU at 5, 9 and 12 (2DDFh), CPC (the
        // calibration space) at 7, 8 and 13 (1E7Fh). Any of them in force
        // protects the whole memory here.
        PicFacts f = Eprom14("PIC14000", 4096, Dip28(), 0x3FFF, 0x30);
        f.protectCopies = {0x0C10, 0x1220, 0x2180};
        f.pin.clock = 12;
        f.pin.data = 11;
        f.userWords = 0xFC0; // 0FC0h-0FFFh hold the calibration data
        f.note = "MCLR, VDD and VSS placed as on the 28-pin PIC16C7x; clock and data on pins 12 and 11; "
                 "the calibration area 0FC0h-0FFFh is ordinary EPROM here";
        v.push_back(f);
    }
    // PIC16F87x: CP1:CP0 at 5:4 and 13:12, BODEN 6, LVP 7, CPD 8, WRT 9,
    // bit 10 unimplemented, DEBUG 11; device ID at 2006h (revision in bits 4:0).
    const char* const note87x = "self-timed write taken as 4 ms";
    struct Row121 {
        const char* name;
        uint32_t words, data;
        bool forty;
        uint32_t id;
    };
    for (const Row121& r : {Row121{"PIC16F873", 4096, 128, false, 0x0961}, Row121{"PIC16F874", 4096, 128, true, 0x0921},
                            Row121{"PIC16F876", 8192, 256, false, 0x09E1}, Row121{"PIC16F877", 8192, 256, true, 0x09A1}}) {
        PicFacts f = Flash(r.name, r.words, r.data, r.forty ? Dip40() : Dip28(), 4000, 127, 135, 0x3BFF, 0x30, r.id);
        f.protectCopies = {0x1010, 0x2020}; // CP1:CP0 at 5:4 and 13:12 (all protected 0FCFh)
        f.note = note87x;
        v.push_back(f);
    }
    v.push_back(Parallel12("PIC16C54", 512, false));
    v.push_back(Parallel12("PIC16C55", 512, true));
    v.push_back(Parallel12("PIC16C56", 1024, false));
    v.push_back(Parallel12("PIC16C57", 2048, true));
    v.push_back(Parallel16("PIC17C42A", 2048));
    v.push_back(Parallel16("PIC17C43", 4096));
    v.push_back(Parallel16("PIC17C44", 8192));
    return v;
}

// A PIC keeps its program words.
struct PicWords : ModelLimits {
    template <class M, class F> static size_t Words(const M&, const F& f) { return f.words; }
    template <class M, class F> static uint16_t Cell(const M& m, const F&, uint32_t a) {
        return static_cast<uint16_t>(m.Word(a));
    }
    template <class M, class F> static void SetCell(M& m, const F&, uint32_t a, uint16_t v) { m.SetWord(a, v); }
};

} // namespace

const std::vector<PicFacts>& PicParts() {
    static const std::vector<PicFacts> parts = MakeParts();
    return parts;
}

void AddPicParts(std::vector<CatalogPart>& parts) {
    for (const PicFacts& p : PicParts()) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = p.pin.pinCount;
        f.words = p.userWords != 0 ? p.userWords : p.codeWords;
        // The device ID without its revision (bits 4:0).
        if (p.deviceId != 0) f.deviceCode = static_cast<int>(p.deviceId & ~0x1Fu);
        f.width = 16;
        f.blank = static_cast<uint16_t>(p.wordBits == 12 ? 0xFFF : p.wordBits == 16 ? 0xFFFF : 0x3FFF);
        f.vccPin = p.pin.vdd.empty() ? 0 : p.pin.vdd.front();
        f.gndPins = p.pin.vss;
        parts.push_back(p.parallel ? ModelPart<PicParallelChip, PicWords>(p.maker, f, p)
                                   : ModelPart<PicChip, PicWords>(p.maker, f, p));
    }
}

const PicFacts* FindPicPart(const std::string& maker, const std::string& name) {
    for (const PicFacts& f : PicParts()) {
        if (f.maker == maker && f.name == name) return &f;
    }
    return nullptr;
}

SIM_CATALOG_FAMILY(AddPicParts);

} // namespace sim
