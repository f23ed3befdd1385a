#include "sim/PinDrivenParts.h"

#include <utility>
#include <vector>

#include "sim/CatalogModel.h"

namespace sim {

namespace {

PinMemoryConfig Memory(const std::string& name, PinMemoryKind kind, uint32_t words, int pinCount) {
    PinMemoryConfig c;
    c.name = name;
    c.kind = kind;
    c.words = words;
    c.pinCount = pinCount;
    c.vccPin = pinCount;
    c.vppPin = 0;
    return c;
}

// Timekeepers with their clock registers in the last eight bytes (control,
// seconds, minutes, hours, day, date, month, year); the seconds count on.
PinMemoryConfig TopClock(PinMemoryConfig c) {
    c.clockBase = c.words - 8;
    c.clockCount = 8;
    c.clockSeconds = 1;
    return c;
}

// 2K x 8, 5 V only; a byte is written while /WE is held low for 9 ms.
PinMemoryConfig Intel2816A() {
    auto c = Jedec24Memory("2816A", PinMemoryKind::Eeprom, 0x800);
    c.writeUs = 9000;
    return c;
}
// 8K x 8; bytes written by a 10 ms /WE; /CE strobed low under /WE and /OE
// low, with /WE held 20 ms, clears the array.
PinMemoryConfig XicorX2864A() {
    auto c = Jedec28Memory("X2864A", PinMemoryKind::Eeprom, 0x2000);
    c.writeUs = 10000;
    c.eraseUs = 20000;
    c.ceStrobeErase = true;
    return c;
}
// 8K x 8; bytes written by a 10 ms /WE; a 10 ms /WE with pin 1 low clears the array.
PinMemoryConfig Seeq2864() {
    auto c = Jedec28Memory("2864", PinMemoryKind::Eeprom, 0x2000);
    c.writeUs = 10000;
    c.eraseUs = 10000;
    c.chipErasePin = 1;
    return c;
}
PinMemoryConfig M48T35() { return TopClock(Jedec28Memory("M48T35", PinMemoryKind::Ram, 0x8000)); }
PinMemoryConfig DS1644() { return TopClock(Jedec28Memory("DS1644", PinMemoryKind::Ram, 0x8000)); }
PinMemoryConfig DS1230AB() { return Jedec28Memory("DS1230AB", PinMemoryKind::Ram, 0x8000); }
PinMemoryConfig M48Z35() { return Jedec28Memory("M48Z35", PinMemoryKind::Ram, 0x8000); }
PinMemoryConfig DS1245AB() { return Jedec32Memory("DS1245AB", PinMemoryKind::Ram, 0x20000); }

// Parts with no datasheet found: the pin-outs and pulse schemes as the
// algorithm rows wire the socket (28-pin chip pins are socket pins - 10).
constexpr const char* kRowTables = "no datasheet: pin-out, supplies and pulse scheme as the algorithm row's tables give them";

// 8K; /OE doubles as the program pin under Vpp on pin 1; pins 2, 26, 27 enable.
PinMemoryConfig Eprom65() {
    auto c = Jedec28Memory("EPROM65-8K", PinMemoryKind::Eprom, 0x2000);
    c.note = kRowTables;
    c.followsRow = true;
    c.addressPins = {10, 9, 8, 7, 6, 5, 4, 3, 25, 24, 21, 20, 23};
    c.cePin = 0;
    c.wePin = 22;
    c.vppPin = 1;
    c.vppMinTenths = 120;
    c.minPulseUs = 500;
    c.enableLow = {2, 27};
    c.enableHigh = {26};
    return c;
}
// 16K blank at 00h; program pin 20; pin 27 low selects a margin read.
PinMemoryConfig Eprom66() {
    auto c = Jedec28Memory("EPROM66-16K", PinMemoryKind::Eprom, 0x4000);
    c.note = kRowTables;
    c.followsRow = true;
    c.addressPins = {10, 9, 8, 7, 6, 5, 4, 3, 25, 24, 21, 23, 2, 26};
    c.blank = 0;
    c.cePin = 0;
    c.wePin = 20;
    c.vppPin = 1;
    c.minPulseUs = 500;
    c.marginPin = 27;
    c.marginUs = 4000;
    return c;
}
// 64K in 40 pins; AD0-7 latched by pin 29, which is also the (active-high)
// program pin; /OE takes Vpp on pin 11.
PinMemoryConfig Eprom49() {
    PinMemoryConfig c;
    c.name = "EPROM49-64K";
    c.note = kRowTables;
    c.followsRow = true;
    c.pinCount = 40;
    c.words = 0x10000;
    c.vccPin = 40;
    c.gndPin = 20;
    c.dataPins = {16, 24, 17, 23, 18, 22, 19, 21};
    c.addressPins = {25, 15, 26, 14, 27, 13, 28, 12};
    c.cePin = 0;
    c.oePin = 11;
    c.vppPin = 11;
    c.wePin = 29;
    c.programActiveHigh = true;
    c.latchPin = 29;
    c.minPulseUs = 500;
    return c;
}

const PinDrivenPart kParts[] = {
    {"INTEL", "2816A", Intel2816A},  {"XICOR", "X2864A", XicorX2864A}, {"SEEQ", "2864", Seeq2864},
    {"ST", "M48T35", M48T35},        {"DALLAS", "DS1644", DS1644},     {"DALLAS", "DS1230AB", DS1230AB},
    {"ST", "M48Z35", M48Z35},        {"DALLAS", "DS1245AB", DS1245AB},
    {"GENERIC-ALGORITHM", "EPROM65-8K", Eprom65},
    {"GENERIC-ALGORITHM", "EPROM66-16K", Eprom66},
    {"GENERIC-ALGORITHM", "EPROM49-64K", Eprom49},
};

} // namespace

namespace {

// The control and supply pins of a JEDEC byte-wide pin-out.
struct JedecControls {
    int gnd, ce, oe, we;
};
PinMemoryConfig Jedec(const std::string& name, PinMemoryKind kind, uint32_t words, int pinCount, JedecControls p,
                      std::vector<int> address, std::vector<int> data) {
    auto c = Memory(name, kind, words, pinCount);
    c.gndPin = p.gnd;
    c.cePin = p.ce;
    c.oePin = p.oe;
    c.wePin = p.we;
    c.addressPins = std::move(address);
    c.dataPins = std::move(data);
    return c;
}

} // namespace

PinMemoryConfig Jedec24Memory(const std::string& name, PinMemoryKind kind, uint32_t words) {
    return Jedec(name, kind, words, 24, {12, 18, 20, 21}, {8, 7, 6, 5, 4, 3, 2, 1, 23, 22, 19},
                 {9, 10, 11, 13, 14, 15, 16, 17});
}

// A13 and A14 (pins 26 and 1) only on the 32K parts.
PinMemoryConfig Jedec28Memory(const std::string& name, PinMemoryKind kind, uint32_t words) {
    std::vector<int> address{10, 9, 8, 7, 6, 5, 4, 3, 25, 24, 21, 23, 2, 26, 1};
    if (words <= 0x2000) address.resize(13);
    return Jedec(name, kind, words, 28, {14, 20, 22, 27}, address, {11, 12, 13, 15, 16, 17, 18, 19});
}

PinMemoryConfig Jedec32Memory(const std::string& name, PinMemoryKind kind, uint32_t words) {
    return Jedec(name, kind, words, 32, {16, 22, 24, 29}, {12, 11, 10, 9, 8, 7, 6, 5, 27, 26, 23, 25, 4, 28, 3, 31, 2},
                 {13, 14, 15, 17, 18, 19, 20, 21});
}

namespace {

// 32 x 8 in 16 pins: O1-O7 on 1-7, O8 on 9, A0-A4 on 10-14, /CE on 15.
FusePromConfig Prom32x8(const std::string& name) {
    FusePromConfig c;
    c.name = name;
    c.addressPins = {10, 11, 12, 13, 14};
    c.dataPins = {1, 2, 3, 4, 5, 6, 7, 9};
    c.enableLow = {15};
    c.strobePin = 15;
    return c;
}
// 256 x 4 in 16 pins: A0-A2 on 5-7, A3-A6 on 4-1, A7 on 15, O1-O4 on 12-9, /CE1 /CE2 on 13, 14.
FusePromConfig Prom256x4(const std::string& name) {
    FusePromConfig c;
    c.name = name;
    c.words = 256;
    c.width = 4;
    c.addressPins = {5, 6, 7, 4, 3, 2, 1, 15};
    c.dataPins = {12, 11, 10, 9};
    c.enableLow = {13, 14};
    c.strobePin = 13;
    return c;
}
// Outputs at 17.5 V, VCC at 8.75 V, /CE low for the pulse.
FusePromConfig Philips(FusePromConfig c) {
    c.vccProgMin = 85, c.vccProgMax = 90, c.vccMaxTenths = 95;
    c.blowMin = 170, c.blowMaxTenths = 180;
    return c;
}
// Outputs and VCC at 10.5 V, /CE low for the pulse.
FusePromConfig National(FusePromConfig c) {
    c.vccProgMin = 100, c.vccProgMax = 110, c.vccMaxTenths = 110;
    c.blowMin = 100, c.blowMaxTenths = 110;
    return c;
}
// Texas Instruments Ti-W link PROMs: shipped with every output low, a blown
// link reads high. One output at a time at 10.5 V with the outputs disabled
// (/G high), VCC stepped to 10.5 V, then /G low for the pulse. The part's data
// sheet found gives no text beyond its headings; the levels are the maker's
// programming procedure of its Schottky PROM family, not checked on this page.
FusePromConfig Texas(FusePromConfig c) {
    c.vccProgMin = 100, c.vccProgMax = 110, c.vccMaxTenths = 110;
    c.blowMin = 100, c.blowMaxTenths = 110;
    return c;
}
// Output at 20 V with /CE at 15 V, VCC at 5 V.
FusePromConfig Amd(FusePromConfig c) {
    c.style = FuseStyle::StrobeAtSupply;
    c.strobeMin = 140, c.strobeMaxTenths = 210;
    c.blowMin = 190, c.blowMaxTenths = 210;
    c.minPulseUs = 5;
    return c;
}
// Output at 20 V with /CE at 20 V and VCC at 6.2-7.0 V; a fuse takes several pulses.
FusePromConfig Fujitsu(FusePromConfig c) {
    c.style = FuseStyle::StrobeAtSupply;
    c.vccProgMin = 60, c.vccProgMax = 72, c.vccMaxTenths = 72;
    c.strobeMin = 190, c.strobeMaxTenths = 210;
    c.blowMin = 190, c.blowMaxTenths = 210;
    c.minPulseUs = 0;
    c.pulsesPerFuse = 3;
    return c;
}
// 2K x 8 CMOS in 24 pins, blank at FFh; a byte is written with 12.75 V on /CE (pin 20).
FusePromConfig Ws57c191() {
    FusePromConfig c;
    c.name = "WS57C191";
    c.pinCount = 24;
    c.words = 0x800;
    c.blank = 0xFF;
    c.vccPin = 24;
    c.gndPin = 12;
    c.addressPins = {8, 7, 6, 5, 4, 3, 2, 1, 23, 22, 21};
    c.dataPins = {9, 10, 11, 13, 14, 15, 16, 17};
    c.enableLow = {20};
    c.enableHigh = {18, 19};
    c.strobePin = 20;
    c.style = FuseStyle::ByteWrite;
    c.strobeMin = 120, c.strobeMaxTenths = 140;
    c.vccProgMin = 55, c.vccProgMax = 65;
    c.minPulseUs = 100;
    return c;
}

struct FusePromPart {
    const char* maker;
    const char* name;
    FusePromConfig (*config)();
};
const FusePromPart kProms[] = {
    {"PHILIPS", "82S123", [] { return Philips(Prom32x8("82S123")); }},
    {"PHILIPS", "82S129", [] { return Philips(Prom256x4("82S129")); }},
    {"SIGNETICS(PHILIPS)", "82S123", [] { return Philips(Prom32x8("82S123")); }},
    {"NATIONAL-SEMICONDUCTOR", "DM74S288", [] { return National(Prom32x8("DM74S288")); }},
    {"AMD", "Am27S19", [] { return Amd(Prom32x8("Am27S19")); }},
    {"FUJITSU", "MB7051", [] { return Fujitsu(Prom32x8("MB7051")); }},
    {"TEXAS-INSTRUMENTS", "TBP18S030", [] { return Texas(Prom32x8("TBP18S030")); }},
    // 256 x 4 in the same 16-pin layout as the 82S129 (the '287 pin-out).
    {"NATIONAL-SEMICONDUCTOR", "DM74S287", [] { return National(Prom256x4("DM74S287")); }},
    {"AMD", "Am27S21", [] { return Amd(Prom256x4("Am27S21")); }},
    {"TEXAS-INSTRUMENTS", "TBP24S10", [] { return Texas(Prom256x4("TBP24S10")); }},
    {"WAFERSCALE-INTEGRATION", "WS57C191", Ws57c191},
};

} // namespace

namespace {

// The catalog part of a pin-driven memory or PROM table entry (a PROM's
// 4-bit words are bytes to the catalog, as to the buffer).
// A pin-driven memory keeps its bytes, a fuse PROM its words.
struct PinMemoryContents : ModelLimits {
    static size_t Words(const PinMemoryChip& m, const PartFacts&) { return m.Words(); }
    static uint16_t Cell(const PinMemoryChip& m, const PartFacts&, uint32_t a) { return m.Cell(a); }
    static void SetCell(PinMemoryChip& m, const PartFacts&, uint32_t a, uint16_t v) {
        m.SetCell(a, static_cast<uint8_t>(v));
    }
};
struct FusePromContents : ModelLimits {
    static size_t Words(const FusePromChip& m, const PartFacts&) { return m.Config().words; }
    static uint16_t Cell(const FusePromChip& m, const PartFacts&, uint32_t a) { return m.Word(a); }
    static void SetCell(FusePromChip& m, const PartFacts&, uint32_t a, uint16_t v) {
        m.SetWord(a, static_cast<uint8_t>(v));
    }
};

template <class Model, class Contents, class Entry> void AddTable(std::vector<CatalogPart>& parts, const Entry& p) {
    const auto c = p.config();
    PartFacts f;
    f.name = p.name;
    f.pinCount = c.pinCount;
    f.words = c.words;
    f.blank = c.blank;
    f.vccPin = c.vccPin;
    f.gndPins = {c.gndPin};
    if constexpr (requires { c.followsRow; }) f.followsRow = c.followsRow;
    parts.push_back(ModelPart<Model, Contents>(p.maker, f, c));
}

} // namespace

void AddPinDrivenParts(std::vector<CatalogPart>& parts) {
    for (const auto& p : kParts) AddTable<PinMemoryChip, PinMemoryContents>(parts, p);
}

void AddFusePromParts(std::vector<CatalogPart>& parts) {
    for (const auto& p : kProms) AddTable<FusePromChip, FusePromContents>(parts, p);
}

std::optional<FusePromConfig> FindFusePromPart(const std::string& maker, const std::string& name) {
    for (const auto& p : kProms)
        if (maker == p.maker && name == p.name) return p.config();
    return std::nullopt;
}

std::optional<PinMemoryConfig> FindPinDrivenPart(const std::string& maker, const std::string& name) {
    for (const auto& p : kParts)
        if (maker == p.maker && name == p.name) return p.config();
    return std::nullopt;
}

SIM_CATALOG_FAMILY(AddPinDrivenParts);
SIM_CATALOG_FAMILY(AddFusePromParts);

} // namespace sim
