// The 8051-family parts of the simulator, from their datasheets: signature
// bytes, programming-voltage window, pulse width and count, array sizes and
// lock behaviour, and the programming-mode pinout and mode table.
#include "sim/Mcu8051Chip.h"

#include "sim/CatalogModel.h"

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

// The 87C54 and 87C58: the same programming mode (12.75 V +- 0.25 V, 25
// pulses of 100 us, lock bit 2 disabling verify); the row reads no
// signature, so only the maker and family bytes are given.
Mcu8051Facts Intel87C5x(const std::string& name, uint32_t bytes) {
    Mcu8051Facts f = Intel87C51(name, bytes, 0);
    f.signature.resize(2);
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
    f.fiveVoltErase = fiveVolt;
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
    f.followsRow = true;
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
    // A pseudo-device for the algorithm row, not a product: it has no
    // signature, so its signature cells read FFh and it carries no identity codes.
    f.note = "no datasheet: control codes, configuration bytes and lock byte as the algorithm row describes them; "
             "no signature, as the pseudo-device has no identity";
    f.followsRow = true;
    f.codeBytes = 8192;
    f.tableBytes = 128;
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

// Self-timed flash parts with the ready line on P3.4: one PROG pulse of 1 us
// or more writes a byte or a lock bit in at most 2.0 ms; erase is a 10 ms
// PROG pulse. The byte at 32h tells 12 V (FFh) from 5 V (05h) programming.
Mcu8051Facts AtmelC5x(const std::string& name, uint32_t bytes, uint8_t device, bool fiveVolt) {
    Mcu8051Facts f = Atmel89C52(name, fiveVolt);
    f.codeBytes = bytes;
    f.signature = {{0x30, 0x1E}, {0x31, device}, {0x32, static_cast<uint8_t>(fiveVolt ? 0x05 : 0xFF)}};
    f.writeTimeUs = 2000;
    const int lines = bytes > 4096 ? 13 : 12;
    f.dip = PortModePinout(kDip, 40, lines);
    f.plcc = PortModePinout(kPlcc, 44, lines);
    f.dip.ready = kDip.p3[4];
    f.plcc.ready = kPlcc.p3[4];
    return f;
}

// Variant 1 of that interface: the three lock bits written at once from a
// lock byte (D7, D6, D5) and read back on D1 (lock bit 2) and D0 (lock bit 3).
Mcu8051Facts LockBytePart() {
    Mcu8051Facts f = AtmelC5x("89C5x-V1", 4096, 0x51, false);
    f.maker = "GENERIC-ALGORITHM";
    f.note = "no datasheet: lock byte written in the lock-bit-3 mode and read back as the algorithm row's "
             "variant 1 "
             "describes it";
    f.followsRow = true;
    f.lockReadBits = {2, 1, 0};
    f.modes = {{McuFunction::ReadCode, 0b1100, 0xF},      {McuFunction::WriteCode, 0b1110, 0xF},
               {McuFunction::ReadSignature, 0b0000, 0xF}, {McuFunction::Erase, 0b0001, 0xF},
               {McuFunction::LockByte, 0b0101, 0xF},      {McuFunction::ReadLock, 0b0011, 0xF}};
    f.dip.strobe = f.plcc.strobe = 0;
    return f;
}

// Variant 2: programs at 12 V, erases at logic level.
Mcu8051Facts ProgramOnlyVppPart() {
    Mcu8051Facts f = AtmelC5x("89C5x-V2", 4096, 0x51, false);
    f.maker = "GENERIC-ALGORITHM";
    f.note = "no datasheet: 12 V programming and a 5 V erase as the algorithm row's variant 2 describes them";
    f.followsRow = true;
    f.signature[2].second = 0x05;
    f.fiveVoltErase = true;
    return f;
}

// Flash parts of 12 V (11.5-12.5 V, 13 V at most) that a pulse of 1 us
// starts writing; no encryption array.
Mcu8051Facts SelfTimedFlash(const std::string& name, uint32_t bytes) {
    Mcu8051Facts f;
    f.maker = "ATMEL";
    f.name = name;
    f.codeBytes = bytes;
    f.tableBytes = 0;
    f.flash = true;
    f.vppMinTenths = 115;
    f.vppMaxTenths = 125;
    f.eaLimitTenths = 130;
    f.minPulseUs = 1;
    return f;
}

// Parts with the signature at 000h, 100h, 200h, A14 on P3.4 and ready on
// P3.0: a 200 ns PROG pulse writes a byte, lock bits take 100 us pulses, and
// erase and lock bits want VCC at 6.5 V; modes on P2.6, P2.7, P3.3, P3.6,
// P3.7.
Mcu8051Facts AtmelC51Rc() {
    Mcu8051Facts f = SelfTimedFlash("AT89C51RC", 32768);
    f.note = "write time (50 us) and erase time (150 ms from the pulse) taken from the AT89C55WD of that "
             "interface";
    f.signature = {{0x000, 0x1E}, {0x100, 0x51}, {0x200, 0x07}};
    f.lockMinPulseUs = 100;
    f.writeTimeUs = 50;
    f.eraseMinUs = 1;
    f.eraseTimeUs = 150000;
    f.highVccMinTenths = 62;
    f.securedPattern = 0x00;
    f.modes = {{McuFunction::WriteCode, 0x1E, 0x1F},    {McuFunction::ReadCode, 0x18, 0x1F},
               {McuFunction::Lock1, 0x1F, 0x1F},        {McuFunction::Lock2, 0x07, 0x1F},
               {McuFunction::Lock3, 0x0D, 0x1F},        {McuFunction::Erase, 0x05, 0x1F},
               {McuFunction::ReadSignature, 0x00, 0x1F}};
    for (const Ports* p : {&kDip, &kPlcc}) {
        McuPinout o = PortModePinout(*p, p == &kDip ? 40 : 44, 14);
        o.address.push_back(p->p3[4]);
        o.mode = {p->p2[6], p->p2[7], p->p3[3], p->p3[6], p->p3[7]};
        o.ready = p->p3[0];
        (p == &kDip ? f.dip : f.plcc) = o;
    }
    return f;
}

Mcu8051Facts LongLockPulsePart() {
    Mcu8051Facts f = AtmelC51Rc();
    f.maker = "GENERIC-ALGORITHM";
    f.name = "89C5xRC-V0";
    f.note = "no datasheet: the AT89C51RC's interface with the 100 ms lock pulses of the algorithm row's "
             "variant 0";
    f.followsRow = true;
    f.lockMinPulseUs = 100000;
    return f;
}

// A 44-pin part taking the address on P2 (A0-A7) and P3.0-P3.6 (A8-A14) and
// the function on P1.0-P1.4, programmed by trains of 100 us pulses at 10.7 V
// (the byte at 60h reads 04h); the lock byte reads in mode 08h.
Mcu8051Facts PortOneModePart() {
    Mcu8051Facts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = "8051P1-44";
    f.note =
        "no datasheet: the interface, the 10.7 V programming voltage and the lock byte as the algorithm row "
        "describes them";
    f.followsRow = true;
    f.codeBytes = 16384;
    f.tableBytes = 0;
    f.signature = {{0x30, 0xDA}, {0x31, 0x52}, {0x60, 0x04}};
    f.vppMinTenths = 102;
    f.vppMaxTenths = 112;
    f.minPulseUs = 90;
    f.pulsesNeeded = 5;
    f.rstHigh = false;
    f.modes = {{McuFunction::ReadCode, 0x0C, 0x1F},      {McuFunction::WriteCode, 0x1E, 0x1F},
               {McuFunction::ReadSignature, 0x00, 0x1F}, {McuFunction::ReadLock, 0x08, 0x1F},
               {McuFunction::Lock1, 0x1F, 0x1F},         {McuFunction::Lock2, 0x13, 0x1F},
               {McuFunction::Lock3, 0x15, 0x1F}};
    McuPinout o = PortModePinout(kPlcc, 44, 16);
    o.address = {kPlcc.p2.begin(), kPlcc.p2.end()};
    o.address.insert(o.address.end(), kPlcc.p3.begin(), kPlcc.p3.begin() + 7);
    o.mode = {kPlcc.p1.begin(), kPlcc.p1.begin() + 5};
    o.strobe = 0;
    f.dip = f.plcc = o;
    return f;
}

// 20-pin parts without address pins: the internal counter is set to 000h by
// RST rising and advanced by XTAL1; data on P1, modes on P3.3, P3.4, P3.5,
// P3.7, PROG on P3.2, 12 V on RST/VPP, ready on P3.1. A byte writes in at
// most 2.0 ms; erase is a 10 ms PROG pulse; two lock bits.
Mcu8051Facts Atmel89Cx051(const std::string& name, uint32_t bytes, uint8_t device) {
    Mcu8051Facts f = SelfTimedFlash(name, bytes);
    f.signature = {{0x000, 0x1E}, {0x001, device}};
    f.writeTimeUs = 2000;
    f.eraseMinUs = 10000;
    f.lockBits = 2;
    f.modes = {{McuFunction::ReadCode, 0b1100, 0xF}, {McuFunction::WriteCode, 0b1110, 0xF},
               {McuFunction::Lock1, 0b1111, 0xF},    {McuFunction::Lock2, 0b0011, 0xF},
               {McuFunction::Erase, 0b0001, 0xF},    {McuFunction::ReadSignature, 0b0000, 0xF}};
    McuPinout o;
    o.pinCount = 20;
    o.vcc = 20;
    o.gnd = {10};
    o.rst = 1;
    o.ea = 1;
    o.psen = 0;
    o.ale = 6;
    o.strobe = 0;
    o.data = Run(12, 19);
    o.mode = {7, 8, 9, 11};
    o.ready = 3;
    o.counterClock = 5;
    f.dip = o;
    f.plcc.pinCount = 0;
    return f;
}

// One-time parts taking A0-A7 on P1 and the high byte from the same lines,
// latched by a high pulse on P3.3; the function on P3.0, P3.1 (3 code, 2 the
// lock byte), reads on the P2.7 strobe, RST low, 100 us PROG pulses at
// 12.75 V. The lock byte's low two bits give the level (2: lock bit 1, 1:
// bits 1-2, 0: bits 1-3); it programs once.
Mcu8051Facts LatchedOtp(const std::string& name, uint32_t bytes) {
    Mcu8051Facts f = Intel87C51(name, bytes, 0);
    f.maker = "GENERIC-ALGORITHM";
    f.note = "no datasheet: the latched-address interface, the mode lines and the lock byte as the algorithm row "
             "describes them";
    f.followsRow = true;
    f.signature.clear();
    f.tableBytes = 0;
    f.pulsesNeeded = 1;
    f.rstHigh = false;
    f.modes = {{McuFunction::Code, 3, 3}, {McuFunction::LockLevelByte, 2, 3}};
    McuPinout o = PortModePinout(kDip, 40, 8);
    o.latch = kDip.p3[3];
    o.mode = {kDip.p3[0], kDip.p3[1]};
    f.dip = o;
    f.plcc.pinCount = 0;
    return f;
}

// The same interface in the 44-pin PLCC, RST high, on an adapter that takes
// VCC (pin 44) to socket pin 25 and leaves pin 23 (not connected) open.
Mcu8051Facts AdapterOtp(const std::string& name, uint32_t bytes) {
    Mcu8051Facts f = LatchedOtp(name, bytes);
    f.note += "; seated on the 44-pin adapter with VCC on socket pin 25";
    f.rstHigh = true;
    McuPinout o = PortModePinout(kPlcc, 44, 8);
    o.latch = kPlcc.p3[3];
    o.mode = {kPlcc.p3[0], kPlcc.p3[1]};
    f.plcc = o;
    f.dip.pinCount = 0;
    f.plccPackage = true;
    f.socketPins = McuSocketPins(o);
    f.socketPins[22] = 0;
    f.socketPins[43] = 25;
    return f;
}

// 28-pin parts with fixed programming pins: A0-A7 on pins 7-3 and 25-23, the
// high byte latched from them by a high pulse on pin 10, data on 15-22; the
// function on pins 6, 5, 4, 24, 23, taken whenever VPP (pin 1) is switched on
// or off; PROG pin 9, RST pin 11 high, PSEN pin 13 low. Security levels 2 and
// 3 read back as bits 7 and 6 cleared; the signature answers with VPP at 5 V.
Mcu8051Facts SecurityLevelPart(const std::string& name, uint32_t bytes, uint8_t device) {
    Mcu8051Facts f = Intel87C51(name, bytes, 0);
    f.maker = "GENERIC-ALGORITHM";
    f.note = "no datasheet: pinout, mode codes, security levels and signature as the algorithm row describes them";
    f.followsRow = true;
    f.signature = {{0x30, 0xDA}, {0x31, device}};
    f.tableBytes = 0;
    f.pulsesNeeded = 1;
    f.lockBits = 2;
    f.lockReadBits = {7, 6, 3};
    f.modeOnEaEdge = true;
    f.signatureAtLogicEa = true;
    f.modes = {{McuFunction::ReadLock, 0x10, 0x1F}, {McuFunction::WriteCode, 0x1E, 0x1F},
               {McuFunction::ReadCode, 0x18, 0x1F}, {McuFunction::Lock1, 0x1F, 0x1F},
               {McuFunction::Lock2, 0x07, 0x1F},    {McuFunction::ReadSignature, 0x00, 0x1F}};
    McuPinout o;
    o.pinCount = 28;
    o.vcc = 28;
    o.gnd = {14};
    o.rst = 11;
    o.psen = 13;
    o.ale = 9;
    o.ea = 1;
    o.strobe = 0;
    o.address = {7, 6, 5, 4, 3, 25, 24, 23};
    o.data = Run(15, 22);
    o.mode = {6, 5, 4, 24, 23};
    o.latch = 10;
    f.dip = o;
    f.plcc.pinCount = 0;
    return f;
}

// 20-pin one-time parts with an encryption table and two lock bits, taking
// the port-mode functions on P3.3, P3.4, P3.5, P3.7 and the address from an
// internal counter (reset by RST rising, advanced by XTAL1); 100 us PROG
// pulses on P3.2 with 12.75 V on RST/VPP.
Mcu8051Facts CounterOtp(const std::string& name, uint32_t bytes) {
    Mcu8051Facts f = Intel87C51(name, bytes, 0);
    f.maker = "GENERIC-ALGORITHM";
    f.note = "no datasheet: the 20-pin counter interface and its mode lines as the algorithm row describes them";
    f.followsRow = true;
    f.signature.clear();
    f.tableBytes = 32;
    f.lockBits = 2;
    // The 20-pin flash parts' counter interface without their ready line.
    f.dip = Atmel89Cx051(name, bytes, 0).dip;
    f.dip.ready = 0;
    f.plcc.pinCount = 0;
    return f;
}

// 40-pin one-time parts taking A0-A7 on P1 and the high byte latched from
// them by P3.3 high; the function on P2.6, P3.6, P3.7 (5 code, 4 the 16-byte
// encryption table, 6 lock bit 1, 2 lock bit 2; each reads what it
// programs, the lock byte with a programmed bit set: bit 7 lock bit 1, bit
// 6 lock bit 2); reads on the P2.7 strobe, 100 us PROG pulses at 12.75 V.
// The second supply version also wants ground on pin 24 and VCC on pin 25.
Mcu8051Facts ModeCodePart(const std::string& name, uint32_t bytes, bool secondSupply) {
    Mcu8051Facts f = Intel87C51(name, bytes, 0);
    f.maker = "GENERIC-ALGORITHM";
    f.note = "no datasheet: the mode codes, the latched address, the security bits and the second supply pins as "
             "the algorithm row describes them";
    f.followsRow = true;
    f.signature.clear();
    f.tableBytes = 16;
    f.lockBits = 2;
    f.lockReadProgrammedHigh = true;
    f.pulsesNeeded = 25;
    f.modes = {{McuFunction::Code, 5, 7}, {McuFunction::Table, 4, 7}, {McuFunction::Security1, 6, 7},
               {McuFunction::Security2, 2, 7}};
    McuPinout o = PortModePinout(kDip, 40, 8);
    o.latch = kDip.p3[3];
    o.mode = {kDip.p2[6], kDip.p3[6], kDip.p3[7]};
    if (secondSupply) {
        o.gnd.push_back(kDip.p2[3]);
        o.vccB = kDip.p2[4];
    }
    f.dip = o;
    f.plcc.pinCount = 0;
    return f;
}

// The part in its 44-pin PLCC, seated on the adapter: the PLCC's pin-out.
Mcu8051Facts InPlcc(Mcu8051Facts f, const std::string& name) {
    f.name = name;
    f.plccPackage = true;
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
        Intel87C5x("87C54", 16384),
        Intel87C5x("87C58", 32768),
        Atmel89C52("AT89C52-5", true),
        Atmel89C52("AT89C52-12", false),
        Atmel89C55(),
        SiemensC501(),
        ControlCodePart("8051CC-80", 0x80, 5),
        ControlCodePart("8051CC-FFF8", 0xFFF8, 1),
        AtmelC5x("AT89C51", 4096, 0x51, false),
        AtmelC5x("AT89C51-5V", 4096, 0x51, true),
        AtmelC5x("AT89C52", 8192, 0x52, false),
        AtmelC5x("AT89C52-5V", 8192, 0x52, true),
        InPlcc(AtmelC5x("AT89C52", 8192, 0x52, false), "AT89C52-PLCC"),
        LockBytePart(),
        ProgramOnlyVppPart(),
        AtmelC51Rc(),
        InPlcc(AtmelC51Rc(), "AT89C51RC-PLCC"),
        LongLockPulsePart(),
        PortOneModePart(),
        Atmel89Cx051("AT89C1051", 1024, 0x11),
        Atmel89Cx051("AT89C2051", 2048, 0x21),
        Atmel89Cx051("AT89C4051", 4096, 0x41),
        LatchedOtp("8051OTP-8K", 8192),
        LatchedOtp("8051OTP-32K", 32768),
        AdapterOtp("8051OTP-A16K", 16384),
        AdapterOtp("8051OTP-A32K", 32768),
        CounterOtp("8051EC-4K", 4096),
        CounterOtp("8051EC-8K", 8192),
        SecurityLevelPart("8051SL-4K", 4096, 0x29),
        SecurityLevelPart("8051SL-8K", 8192, 0x2A),
        ModeCodePart("8051MC-8K", 8192, false),
        ModeCodePart("8051MC-16K", 16384, false),
        ModeCodePart("8051MC-16K-2V", 16384, true),
    };
}

std::unique_ptr<Mcu8051Chip> NewMcu8051(const Mcu8051Facts& f) {
    return std::make_unique<Mcu8051Chip>(f, f.plccPackage);
}

} // namespace

void AddMcu8051Parts(std::vector<CatalogPart>& parts) {
    for (const Mcu8051Facts& m : MakeParts()) {
        const McuPinout& pins = m.plccPackage ? m.plcc : m.dip;
        PartFacts f;
        f.name = m.name;
        f.pinCount = pins.pinCount;
        f.words = m.codeBytes;
        // The signature's first byte names the maker, its second the device
        // (at 30h/31h, 000h/100h or 000h/001h as the part keeps them).
        if (!m.signature.empty()) f.makerCode = m.signature[0].second;
        if (m.signature.size() > 1) f.deviceCode = m.signature[1].second;
        f.vccPin = pins.vcc;
        f.gndPins = pins.gnd;
        f.followsRow = m.followsRow;
        parts.push_back(ModelPartBy<ByteCells, NewMcu8051>(m.maker, f, m));
    }
}

SIM_CATALOG_FAMILY(AddMcu8051Parts);

} // namespace sim
