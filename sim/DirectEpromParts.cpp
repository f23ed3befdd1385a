// Microcontrollers whose program memory is programmed in an EPROM-compatible
// parallel mode, modelled as that EPROM seated where the mode puts its pins:
// a 2764-type 28-pin mode at socket pins 11-38 (/PGM on chip pin 27), a
// 27C256-type one (programmed by /CE pulses, verified with /CE high), a
// 28-pin mode with A8-A9 on chip pins 2 and 1 programmed by the programming
// voltage pulsed on /OE, and a
// 27C020-type 32-pin mode at socket pins 9-40 (/PGM on chip pin 31).
// No datasheet of such a part was found: the pin-outs follow the algorithm
// rows' tables (followsRow); the programming conditions are those of the
// CMOS EPROMs of the same pin-out: Vpp 12.75 V +-0.25 V (14.0 V absolute),
// program pulses of 95 us or more.
#include "sim/Catalog.h"
#include "sim/EpromChip.h"
#include "sim/SecurityEpromChip.h"

namespace sim {

namespace {

EpromConfig EpromMode(EpromConfig c) {
    c.vpp = {125, 130};
    c.vppMaxTenths = 140;
    c.minPulseUs = 95;
    c.followsRow = true;
    return c;
}

// The 40-pin parts of the pin-driver EPROM rows, seated at socket pins 5-44
// (chip pin = socket pin - 4): A0-A12 and D0-D7 on fixed pins, VCC on chip
// pin 4, ground on chip pin 1.
EpromConfig Pins40(const std::string& name) {
    EpromConfig c = Jedec28(name, 0x2000);
    c.pinCount = 40;
    c.vccPin = 4;
    c.gndPins = {1};
    c.addressPins = {21, 20, 19, 10, 9, 8, 7, 6, 27, 26, 23, 24, 16};
    c.dataPins = {28, 29, 30, 31, 32, 33, 34, 35};
    c.followsRow = true;
    return c;
}

// 2732A-like: /OE doubles as the Vpp pin (chip pin 36) and /CE (chip pin 22)
// is the program strobe; 21 V +-0.5 V (22 V absolute), 45-55 ms pulses.
EpromConfig OeVpp40(const std::string& name) {
    EpromConfig c = Pins40(name);
    c.cePin = 22;
    c.oePin = 36;
    c.vppPin = 36;
    c.pgmPin = 0;
    c.vpp = {205, 215};
    c.vppMaxTenths = 220;
    c.minPulseUs = 45000;
    return c;
}

// /CE on chip pin 22, /OE on 11, /PGM on 15, Vpp on 36 (12.75 V quick
// pulses); the security bit tested with Vpp on chip pin 12 and shown on
// D7 (chip pin 35).
SecurityEpromConfig Secured40(const std::string& name) {
    SecurityEpromConfig c;
    static_cast<EpromConfig&>(c) = EpromMode(Pins40(name));
    c.cePin = 22;
    c.oePin = 11;
    c.pgmPin = 15;
    c.vppPin = 36;
    c.security = {12, 35, {22, 11, 15}};
    c.testVoltagePin = 12;
    return c;
}

} // namespace

void AddDirectEpromParts(std::vector<CatalogPart>& parts) {
    auto add = [&parts](EpromConfig c) {
        parts.push_back(ChipPart<EpromChip>("GENERIC-ALGORITHM", EpromMode(std::move(c))));
    };
    add(Jedec28("EPMODE64-8K", 0x2000));
    for (uint32_t words : {0x4000u, 0x8000u}) {
        EpromConfig c = Jedec28(words == 0x4000 ? "EPMODE256-16K" : "EPMODE256-32K", words);
        c.pgmPin = 0;
        c.verifyWithCeHigh = true;
        add(c);
    }
    for (uint32_t words : {0x2000u, 0x4000u}) {
        EpromConfig c = Jedec28(words == 0x2000 ? "EPMODEOE-8K" : "EPMODEOE-16K", words);
        c.addressPins = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 27, 26, 25, 24};
        c.addressPins.resize(words == 0x2000 ? 13 : 14);
        c.pgmPin = 0;
        c.vppPin = 22;
        c.vppTimedPulse = true;
        add(c);
    }
    add(Jedec32("EPMODE020-128K", 0x20000));
    add(Jedec32("EPMODE020-256K", 0x40000));
    // On socket adapter 134: the part's 64 KB window, its top 8 KB or 16 KB
    // programmed.
    add(Jedec32("EPMODE020-A134-8K", 0x20000));
    add(Jedec32("EPMODE020-A134-16K", 0x20000));
    // Byte modules in the same 32-pin mode.
    add(Jedec32("EPBYTE020-128K", 0x20000));
    add(Jedec32("EPBYTE020-256K", 0x40000));
    // Pin-driver EPROM parts of 8 KB.
    parts.push_back(ChipPart<EpromChip>("GENERIC-ALGORITHM", OeVpp40("EPOEVPP-8K")));
    parts.push_back(ChipPart<SecurityEpromChip>("GENERIC-ALGORITHM", Secured40("EPSECURE-8K")));
}

SIM_CATALOG_FAMILY(AddDirectEpromParts);

} // namespace sim
