// The 8051-family parts of the simulator, from their datasheets: signature
// bytes, programming-voltage window, pulse width and count, array sizes and
// lock behaviour, and the programming-mode pinout and mode table.
#include "sim/Mcu8051Chip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

std::vector<int> Run(int from, int to) {
    std::vector<int> v;
    for (int p = from; from <= to ? p <= to : p >= to; p += from <= to ? 1 : -1) v.push_back(p);
    return v;
}

std::vector<int> Join(std::vector<int> a, const std::vector<int>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Ports of the 40-pin DIP and the 44-pin PLCC (bit 0 first).
struct Ports {
    std::vector<int> p0, p1, p2, p3;
    int rst, psen, ale, ea, vcc, gnd;
};
const Ports kDip{Run(39, 32), Run(1, 8), Run(21, 28), Run(10, 17), 9, 29, 30, 31, 40, 20};
const Ports kPlcc{Run(43, 36), Run(2, 9), Run(24, 31), Join({11}, Run(13, 19)), 10, 32, 33, 35, 44, 22};

// Address on P1 and P2.0-P2.5, A14/A15 on P3.4/P3.5, data on P0; mode lines
// P2.6, P2.7, P3.6, P3.7 (bits 0-3), verify strobe P2.7.
McuPinout PortModePinout(const Ports& p, int pinCount, int addressLines) {
    McuPinout o;
    o.pinCount = pinCount;
    o.vcc = p.vcc;
    o.gnd = {p.gnd};
    o.rst = p.rst;
    o.psen = p.psen;
    o.ale = p.ale;
    o.ea = p.ea;
    o.strobe = p.p2[7];
    o.address = Join(p.p1, {p.p2[0], p.p2[1], p.p2[2], p.p2[3], p.p2[4], p.p2[5], p.p3[4], p.p3[5]});
    o.address.resize(static_cast<size_t>(addressLines));
    o.data = p.p0;
    o.mode = {p.p2[6], p.p2[7], p.p3[6], p.p3[7]};
    return o;
}

// The EPROM-mode table of the quick-pulse parts (P2.6, P2.7, P3.6, P3.7).
std::vector<McuModeEntry> PortModes(bool readLock, bool erase) {
    std::vector<McuModeEntry> m = {
        {McuFunction::ReadCode, 0b1100, 0xF},  {McuFunction::WriteCode, 0b1110, 0xF},
        {McuFunction::WriteTable, 0b1010, 0xF}, {McuFunction::Lock1, 0b1111, 0xF},
        {McuFunction::Lock2, 0b0011, 0xF},     {McuFunction::Lock3, 0b0101, 0xF},
        {McuFunction::ReadSignature, 0b0000, 0xF}, {McuFunction::WriteOption, 0b0010, 0xF},
    };
    if (readLock) m.push_back({McuFunction::ReadLock, 0b1000, 0xF});
    if (erase) m.push_back({McuFunction::Erase, 0b0001, 0xF});
    return m;
}

Mcu8051Facts Intel87C51(const std::string& name, uint32_t bytes, uint8_t id60) {
    Mcu8051Facts f;
    f.maker = "INTEL";
    f.name = name;
    f.codeBytes = bytes;
    f.tableBytes = 64;
    f.signature = {{0x30, 0x89}, {0x31, 0x58}, {0x60, id60}};
    f.vppMinTenths = 125; // 12.75 V +- 0.25 V
    f.vppMaxTenths = 130;
    f.minPulseUs = 90; // 100 us +- 10 us
    f.pulsesNeeded = 5;
    f.lockBits = 3;
    f.modes = PortModes(false, false);
    f.dip = PortModePinout(kDip, 40, 16);
    f.plcc = PortModePinout(kPlcc, 44, 16);
    return f;
}

// Flash parts that program at 12 V or, marked "-5", at VCC level; the byte at
// 32h tells which (FFh, 05h).
Mcu8051Facts Atmel89C52(const std::string& name, bool fiveVolt) {
    Mcu8051Facts f;
    f.maker = "ATMEL";
    f.name = name;
    f.codeBytes = 8192;
    f.tableBytes = 32;
    f.signature = {{0x30, 0x1E}, {0x31, 0x52}, {0x32, static_cast<uint8_t>(fiveVolt ? 0x05 : 0xFF)}};
    f.flash = true;
    f.fiveVoltProgramming = fiveVolt;
    f.vppMinTenths = 115; // 12.0 V +- 0.5 V
    f.vppMaxTenths = 125;
    f.eaLimitTenths = 130;
    f.minPulseUs = 1;
    f.pulsesNeeded = 1;
    f.eraseMinUs = 10000;
    f.lockBits = 3;
    // With lock bit 2 verify is disabled; the read gives 00h, so an erase
    // that reads until blank sees the locked array as not erased.
    f.securedPattern = 0x00;
    f.note = "secured read pattern 00h assumed (verify disabled by lock bit 2)";
    f.modes = PortModes(false, true);
    f.dip = PortModePinout(kDip, 40, 13);
    f.plcc = PortModePinout(kPlcc, 44, 13);
    return f;
}

Mcu8051Facts Atmel89C55() {
    Mcu8051Facts f = Atmel89C52("AT89C55", false);
    f.codeBytes = 20480;
    f.signature = {{0x30, 0x1E}, {0x31, 0x55}, {0x60, 0xFF}};
    f.modes = PortModes(true, true);
    f.dip = PortModePinout(kDip, 40, 16);
    f.plcc = PortModePinout(kPlcc, 44, 16);
    f.note += "; lock byte read (P3.7 high, P2.6, P2.7, P3.6 low; lock bits 1-3 on D7, D6, D3) as the algorithm row "
             "reads it";
    return f;
}

// OTP part with two security bits: address A0-A7 on P3, A8-A12 on P2.0-P2.4,
// mode lines P2.6, P2.7 and P1.2, P1.3 in the roles of P3.6, P3.7.
Mcu8051Facts SiemensC501() {
    // Quick-pulse programming as the 87C51 (12.75 V, 100 us pulses), with 25
    // pulses per byte and two security bits.
    Mcu8051Facts f = Intel87C51("C501-1E", 8192, 0);
    f.maker = "SIEMENS";
    f.signature.clear();
    f.tableBytes = 32;
    f.pulsesNeeded = 25;
    f.lockBits = 2;
    f.note = "address on P3 and P2.0-P2.4, mode lines on P1.2/P1.3, as the algorithm row wires the socket";
    for (const Ports* p : {&kDip, &kPlcc}) {
        McuPinout o = PortModePinout(*p, p == &kDip ? 40 : 44, 13);
        o.address = Join(p->p3, {p->p2[0], p->p2[1], p->p2[2], p->p2[3], p->p2[4]});
        o.mode = {p->p2[6], p->p2[7], p->p1[2], p->p1[3]};
        (p == &kDip ? f.dip : f.plcc) = o;
    }
    return f;
}

// A part programmed through an 8-bit control code on P0 (C0 on P0.0): address
// A0-A7 on P3, A8-A15 on P1, data on P2; two configuration bytes.
Mcu8051Facts ControlCodePart(const std::string& name, uint32_t configAddress, int pulses) {
    Mcu8051Facts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.note = "no datasheet: control codes, configuration bytes and lock byte as the algorithm row describes them";
    f.codeBytes = 8192;
    f.tableBytes = 128;
    f.signature = {{0x30, 0xDA}, {0x31, 0x51}, {0x60, 0x01}};
    f.vppMinTenths = 120;
    f.vppMaxTenths = 130;
    f.minPulseUs = 90;
    f.pulsesNeeded = pulses;
    f.lockBits = 3;
    f.lockReadBits = {0, 1, 2};
    f.lockReadProgrammedHigh = true;
    f.configAddress = configAddress;
    f.modes = {{McuFunction::ReadCode, 0x28, 0xFF},      {McuFunction::WriteCode, 0x68, 0xFF},
               {McuFunction::WriteTable, 0x6C, 0xFF},    {McuFunction::LockByAddress, 0x6B, 0xFF},
               {McuFunction::ReadSignature, 0x29, 0xFF}, {McuFunction::ReadLock, 0x2B, 0xFF},
               {McuFunction::WriteConfig, 0x69, 0xFF}};
    for (const Ports* p : {&kDip, &kPlcc}) {
        McuPinout o = PortModePinout(*p, p == &kDip ? 40 : 44, 16);
        o.address = Join(p->p3, p->p1);
        o.data = p->p2;
        o.mode = p->p0;
        o.strobe = 0;
        (p == &kDip ? f.dip : f.plcc) = o;
    }
    return f;
}

std::vector<Mcu8051Facts> MakeParts() {
    Mcu8051Facts plcc = Intel87C51("87C51-PLCC", 4096, 0x51);
    plcc.plccPackage = true;
    return {
        plcc,
        Intel87C51("87C51", 4096, 0x51),
        Intel87C51("87C51FA", 8192, 0xFA),
        Intel87C51("87C51FB", 16384, 0xFB),
        Intel87C51("87C51FC", 32768, 0xFC),
        Atmel89C52("AT89C52-5", true),
        Atmel89C52("AT89C52-12", false),
        Atmel89C55(),
        SiemensC501(),
        ControlCodePart("8051CC-80", 0x80, 5),
        ControlCodePart("8051CC-FFF8", 0xFFF8, 1),
    };
}

} // namespace

void AddMcu8051Parts(std::vector<CatalogPart>& parts) {
    for (const Mcu8051Facts& m : MakeParts()) {
        const McuPinout& pins = m.plccPackage ? m.plcc : m.dip;
        PartFacts f;
        f.name = m.name;
        f.pinCount = pins.pinCount;
        f.words = m.codeBytes;
        for (const auto& [address, byte] : m.signature) {
            if (address == 0x30) f.makerCode = byte;
            if (address == 0x31) f.deviceCode = byte;
        }
        f.vccPin = pins.vcc;
        f.gndPins = pins.gnd;
        parts.push_back(FamilyPart(m.maker, ChipKind::Mcu8051, f, m));
    }
}

} // namespace sim
