// The Z8 OTP parts of the simulator, from their EPROM-mode programming
// tables: array size, package, the EPROM-mode pins (address, data, /OE,
// /PGM, EPM, Vpp, XTAL1 as the mode pin), the programming voltages and the
// program pulse width, and the option byte's implemented bits.
#include "sim/Z8OtpChip.h"

#include <memory>

#include "sim/Catalog.h"

namespace sim {

namespace {

// 4 KB parts with 12 address lines in their 28-pin DIP (VCC 8, GND 22).
Z8OtpFacts Dip28Lines12(const char* name) {
    Z8OtpFacts f;
    f.maker = "ZILOG";
    f.name = name;
    f.pinCount = 28;
    f.words = 0x1000;
    f.vccPin = 8;
    f.gndPins = {22};
    f.address = {19, 20, 21, 23, 4, 5, 6, 7, 14, 15, 17, 16};
    f.data = {24, 25, 26, 27, 28, 1, 2, 3};
    f.modePin = 10;
    f.readStrobe = 11;
    f.epmPin = 12;
    f.vppPin = 13;
    f.programStrobe = 18;
    f.note = "EPROM-mode pin numbers and the 1 ms minimum pulse as read from the family's programming tables; "
             "a protected array reading FFh is the model's reading of the security bit's description.";
    return f;
}

// The same die in its 40-pin DIP (VCC 11, GND 31).
Z8OtpFacts Dip40Lines12(const char* name) {
    Z8OtpFacts f = Dip28Lines12(name);
    f.pinCount = 40;
    f.vccPin = 11;
    f.gndPins = {31};
    f.address = {26, 27, 30, 34, 5, 6, 7, 10, 19, 22, 24, 23};
    f.data = {35, 36, 37, 38, 39, 2, 3, 4};
    f.modePin = 15;
    f.readStrobe = 16;
    f.epmPin = 17;
    f.vppPin = 18;
    f.programStrobe = 25;
    return f;
}

// Parts in the 40-pin Z8 DIP (VCC 1, GND 11), entered by high voltage on
// their port pins: P32 (pin 12) reads, P33 (pin 30) is Vpp, P30 (pin 5)
// raised as well takes the option pulses; /OE is P31 (pin 39), /PGM P27
// (pin 38), the address Port 0 and P20 up, the data Port 1. The EPROM-size
// options burn at address 3 (and, with two of them, 0Bh).
Z8OtpFacts Dip40Pulses(const char* name, uint32_t words, std::vector<int> sizeAddresses) {
    Z8OtpFacts f;
    f.maker = "ZILOG";
    f.name = name;
    f.pinCount = 40;
    f.words = words;
    f.vccPin = 1;
    f.gndPins = {11};
    f.address = {13, 14, 15, 16, 17, 18, 19, 20, 31, 32, 33, 34, 35, 36, 37};
    f.address.resize(words > 0x4000 ? 15 : words > 0x2000 ? 14 : 13);
    f.data = {21, 22, 23, 24, 25, 26, 27, 28};
    f.entry = Z8Entry::HighVoltagePins;
    f.modePin = 5;
    f.epmPin = 12;
    f.vppPin = 30;
    f.readStrobe = 39;
    f.programStrobe = 38;
    f.optionMask = 0x01;
    f.optionPulseUs = 100000;
    f.optionPatterns = {{"RAM Protect", {}, {12, 39}, -1, false}, {"Security", {12}, {39}, -1, true}};
    for (int a : sizeAddresses) f.optionPatterns.push_back({"EPROM Size", {12, 39}, {}, a, false});
    f.note = "Pin functions of the EPROM mode and the 1 ms program pulse as read from the part's programming "
             "description; the 100 ms minimum option pulse and the option patterns told apart by P32 and P31 "
             "are the model's reading of it; a protected array reading FFh is the model's choice.";
    return f;
}

// 18-pin counter parts (VCC 14, GND 5) in their EPROM mode: D4-D7 on pins
// 1-4 and D0-D3 on 15-18, XTAL1 (pin 7) the mode pin, P31 (pin 8) /OE, P32
// (pin 9) EPM, P33 (pin 10) Vpp, P00 (pin 11) the address clear, P01 (pin 12)
// the address clock, P02 (pin 13) /PGM.
Z8OtpFacts Dip18Counter(const char* maker, const char* name, uint32_t words) {
    Z8OtpFacts f;
    f.maker = maker;
    f.name = name;
    f.pinCount = 18;
    f.words = words;
    f.vccPin = 14;
    f.gndPins = {5};
    f.data = {15, 16, 17, 18, 1, 2, 3, 4};
    f.modePin = 7;
    f.readStrobe = 8;
    f.epmPin = 9;
    f.vppPin = 10;
    f.clearPin = 11;
    f.clockPin = 12;
    f.programStrobe = 13;
    return f;
}

// Counter parts whose options are burnt by long pulses: Vpp on pin 10 with
// the mode pin below high voltage programs the array, with the mode pin at
// high voltage a pulse burns the option the levels of P31 (8) and P32 (9)
// choose.
Z8OtpFacts Dip18Pulses(const char* maker, const char* name, uint32_t words, uint32_t pulseUs,
                       std::vector<Z8OptionPattern> options) {
    Z8OtpFacts f = Dip18Counter(maker, name, words);
    f.entry = Z8Entry::HighVoltagePins;
    f.optionMask = 0x01;
    f.optionPulseUs = pulseUs;
    f.optionPatterns = std::move(options);
    f.optionPatterns.push_back({"Security", {9}, {}, -1, true, {}, {8}});
    // The family's programming guide was found by its title only, not its
    // option tables: the option patterns repeat the rows' own, so a run
    // against these parts cannot prove an option's pin conditions.
    f.note = "Pin functions of the EPROM mode as read from the family's programming guide; the option "
             "patterns, the minimum option pulse and a protected array reading FFh follow the algorithm rows "
             "(the guide's option tables were not found).";
    f.followsRow = true;
    return f;
}

// A row without a documented part: its facts follow the row's own tables.
Z8OtpFacts RowTables(Z8OtpFacts f) {
    f.note = "No documented part: pins, sizes, voltages and option patterns follow the algorithm row's own tables.";
    f.followsRow = true;
    return f;
}

std::vector<Z8OtpFacts> CounterAndRow164Parts() {
    std::vector<Z8OtpFacts> parts;
    // Row 160: "Autolatch Disable" with P32 at high voltage and P31 low.
    // The conditions of its "RC Oscillator" and "WDT Enable" options are not
    // known here, so the model burns neither: a pulse under any other pins
    // is refused.
    {
        Z8OtpFacts e04 = Dip18Pulses("ZILOG", "Z86E04", 0x400, 100000, {{"Autolatch Disable", {9}, {}, -1, false, {8}, {}}});
        e04.note += " The pin conditions of the RC oscillator and permanent WDT options are not known: the model "
                    "has no such options.";
        parts.push_back(e04);
    }
    // Row 161: 750 ms option pulses told apart by P31 and P32 held low.
    const std::vector<Z8OptionPattern> options161 = {{"Autolatch Disable", {}, {9}, -1, false, {8}, {9}},
                                                     {"WDT Enable", {}, {9}, -1, false, {9}, {8}},
                                                     {"Low Noise", {}, {9}, -1, false, {}, {8, 9}}};
    parts.push_back(Dip18Pulses("ZILOG", "Z86E08", 0x800, 700000, options161));
    parts.push_back(RowTables(Dip18Pulses("GENERIC-ALGORITHM", "Z8-161-V1", 0x800, 700000, options161)));
    // Variant 2 enters its option mode by Vpp rising with P32 held low.
    Z8OtpFacts v2 = RowTables(Dip18Pulses("GENERIC-ALGORITHM", "Z8-161-V2", 0x800, 100000,
                                          {{"RC osc Select", {9}, {}, -1, false, {8}, {}},
                                           {"Autolatch Disable", {}, {9}, -1, false, {8}, {9}},
                                           {"WDT Enable", {}, {9}, -1, false, {9}, {8}},
                                           {"Low Noise", {}, {9}, -1, false, {}, {8, 9}}}));
    v2.optionsOnLowEpm = true;
    parts.push_back(v2);
    // Row 164: a 4 KB 28-pin part on 12 address lines whose mode pin and EPM
    // pin at high voltage take the option pulses.
    Z8OtpFacts p164 = RowTables(Dip28Lines12("Z8-164"));
    p164.maker = "GENERIC-ALGORITHM";
    p164.entry = Z8Entry::HighVoltagePins;
    p164.optionMask = 0x01;
    p164.optionPatterns = {{"Security", {12}, {}, -1, true},
                           {"RAM Protect", {}, {12}, -1, false, {11, 12}, {}},
                           {"RC Oscillator", {}, {12}, -1, false, {}, {11}}};
    parts.push_back(p164);
    // Row 166: row 162's option byte (bits 0-6) on an address counter.
    Z8OtpFacts p166 = RowTables(Dip18Counter("GENERIC-ALGORITHM", "Z8-166", 0x800));
    p166.optionMask = 0x7F;
    parts.push_back(p166);
    return parts;
}

} // namespace

void AddZ8OtpParts(std::vector<CatalogPart>& parts) {
    for (const Z8OtpFacts& f : {Dip28Lines12("Z86E30"), Dip40Lines12("Z86E40"), Dip40Pulses("Z86E21", 0x2000, {3}),
                             Dip40Pulses("Z86E63", 0x8000, {3, 0x0B})}) {
        parts.push_back(ChipPart<Z8OtpChip>(f.maker, f));
    }
    for (Z8OtpFacts& f : CounterAndRow164Parts()) {
        const std::string maker = f.maker;
        parts.push_back(ChipPart<Z8OtpChip>(maker, std::move(f)));
    }
}

const Z8OtpFacts* FindZ8OtpPart(const std::string& maker, const std::string& name) {
    const CatalogPart* p = FindPart(maker, name);
    return p != nullptr ? p->As<Z8OtpFacts>() : nullptr;
}

SIM_CATALOG_FAMILY(AddZ8OtpParts);

} // namespace sim
