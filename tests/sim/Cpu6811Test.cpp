// The 68HC11 core against its reference manual: every opcode of the four
// pages at least once with its condition codes and cycles, the trap of the
// opcodes the manual leaves undefined, and short programs with known
// results.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "sim/Cpu6811.h"

namespace {

using sim::Cpu6811;

struct FlatBus6811 : sim::Cpu6811Bus {
    uint8_t m[0x10000] = {};
    uint8_t Read(uint16_t a) override { return m[a]; }
    void Write(uint16_t a, uint8_t v) override { m[a] = v; }
};

// The operand addresses each mode uses.
constexpr uint16_t kDir = 0x0040, kXBase = 0x1000, kYBase = 0x2000, kExt = 0x3000;
constexpr uint8_t kOffX = 5, kOffY = 7;
constexpr uint16_t kCode = 0x0100;

enum Md { Imm, Dir, Idx, Idy, Ext, AccA, AccB, Inh };

// Every opcode (prebyte << 8 | op) the cases below executed.
std::set<unsigned>& Covered6811() {
    static std::set<unsigned> s;
    return s;
}

struct Core6811 {
    FlatBus6811 bus;
    Cpu6811 cpu{bus};
    Core6811() {
        cpu.Reset(kCode);
        cpu.sp = 0x00FF;
        cpu.x = kXBase;
        cpu.y = kYBase;
        cpu.ccr = 0;
    }
    // Puts `code` at kCode, runs one instruction, returns its cycles.
    int One(std::initializer_list<uint8_t> code) { return One(std::vector<uint8_t>(code)); }
    int One(const std::vector<uint8_t>& code) {
        uint16_t at = kCode;
        for (uint8_t c : code) bus.m[at++] = c;
        cpu.pc = kCode;
        const unsigned page = code[0] == 0x18 || code[0] == 0x1A || code[0] == 0xCD ? code[0] : 0;
        Covered6811().insert(page != 0 ? page << 8 | code[1] : code[0]);
        return cpu.Step();
    }
    uint16_t Ea(Md m) const {
        switch (m) {
        case Dir: return kDir;
        case Idx: return kXBase + kOffX;
        case Idy: return kYBase + kOffY;
        default: return kExt;
        }
    }
    void Put(Md m, uint8_t v) { bus.m[Ea(m)] = v; }
    void Put16(Md m, uint16_t v) {
        bus.m[Ea(m)] = static_cast<uint8_t>(v >> 8);
        bus.m[static_cast<uint16_t>(Ea(m) + 1)] = static_cast<uint8_t>(v);
    }
    uint16_t Get16(uint16_t a) const { return static_cast<uint16_t>(bus.m[a] << 8 | bus.m[a + 1]); }
};

// The encoding of a memory operand in `m` for the opcode of the immediate
// column `imm` (page prefixes as the manual gives them).
std::vector<uint8_t> Encode(uint8_t imm, Md m, uint8_t pageImmDirExt = 0, uint8_t pageIdx = 0,
                            uint8_t pageIdy = 0x18) {
    std::vector<uint8_t> c;
    auto pre = [&](uint8_t p) {
        if (p != 0) c.push_back(p);
    };
    switch (m) {
    case Dir: pre(pageImmDirExt); c.push_back(static_cast<uint8_t>(imm + 0x10)); c.push_back(kDir & 0xFF); break;
    case Idx: pre(pageIdx); c.push_back(static_cast<uint8_t>(imm + 0x20)); c.push_back(kOffX); break;
    case Idy: pre(pageIdy); c.push_back(static_cast<uint8_t>(imm + 0x20)); c.push_back(kOffY); break;
    case Ext: pre(pageImmDirExt); c.push_back(static_cast<uint8_t>(imm + 0x30)); c.push_back(kExt >> 8); c.push_back(kExt & 0xFF); break;
    default: pre(pageImmDirExt); c.push_back(imm); break;
    }
    return c;
}

constexpr uint8_t fC = Cpu6811::C, fV = Cpu6811::V, fZ = Cpu6811::Z, fN = Cpu6811::N, fH = Cpu6811::H;

// An 8-bit accumulator operation: acc op m with carry in, the result and
// the condition codes N Z V C (and H where the manual has it) after.
struct Alu8 {
    const char* name;
    uint8_t immA; // the A form's immediate opcode; B is +40h
    uint8_t acc, m;
    bool cin;
    uint8_t result;
    uint8_t flags;
    uint8_t mask; // the flags the operation sets
};

constexpr uint8_t kNZVC = fN | fZ | fV | fC;
constexpr Alu8 kAlu8[] = {
    {"SUB", 0x80, 0x50, 0x70, false, 0xE0, fN | fC, kNZVC},
    {"SUB overflow", 0x80, 0x80, 0x01, false, 0x7F, fV, kNZVC},
    {"CMP equal", 0x81, 0x33, 0x33, false, 0x33, fZ, kNZVC},
    {"SBC borrow in", 0x82, 0x10, 0x0F, true, 0x00, fZ, kNZVC},
    {"SBC borrow out", 0x82, 0x00, 0x00, true, 0xFF, fN | fC, kNZVC},
    {"SBC no borrow", 0x82, 0x40, 0x20, false, 0x20, 0, kNZVC},
    {"SBC negative, no borrow", 0x82, 0x90, 0x05, false, 0x8B, fN, kNZVC},
    {"AND", 0x84, 0xF0, 0x3C, true, 0x30, fC, kNZVC},
    {"BIT", 0x85, 0x80, 0x80, false, 0x80, fN, kNZVC},
    {"LDA", 0x86, 0x12, 0x00, false, 0x00, fZ, kNZVC},
    {"EOR", 0x88, 0xFF, 0x0F, false, 0xF0, fN, kNZVC},
    {"ADC carry", 0x89, 0x7F, 0x00, true, 0x80, fN | fV | fH, kNZVC | fH},
    {"ADC carry out", 0x89, 0xFF, 0x01, false, 0x00, fZ | fC | fH, kNZVC | fH},
    {"ORA", 0x8A, 0x0F, 0x30, false, 0x3F, 0, kNZVC},
    {"ADD half carry", 0x8B, 0x08, 0x08, false, 0x10, fH, kNZVC | fH},
    {"ADD overflow", 0x8B, 0x40, 0x40, false, 0x80, fN | fV, kNZVC | fH},
};

TEST(Cpu6811Test, AccumulatorOperationsInEveryModeWithTheirFlagsAndCycles) {
    const int cycles[] = {2, 3, 4, 5, 4};
    for (const Alu8& t : kAlu8)
        for (int accB = 0; accB < 2; ++accB)
            for (Md m : {Imm, Dir, Idx, Idy, Ext}) {
                Core6811 k;
                const auto op = static_cast<uint8_t>(t.immA + (accB ? 0x40 : 0));
                std::vector<uint8_t> code = Encode(op, m);
                if (m == Imm) code.push_back(t.m);
                else k.Put(m, t.m);
                (accB ? k.cpu.b : k.cpu.a) = t.acc;
                k.cpu.ccr = t.cin ? fC : 0;
                // The preset V shows that the operation clears it.
                k.cpu.ccr |= fV;
                const int n = k.One(code);
                const std::string what = std::string(t.name) + (accB ? " B" : " A") + " mode " + std::to_string(m);
                EXPECT_EQ(n, cycles[m]) << what;
                EXPECT_EQ(accB ? k.cpu.b : k.cpu.a, t.result) << what;
                EXPECT_EQ(k.cpu.ccr & t.mask, t.flags) << what;
                EXPECT_EQ(k.cpu.pc, kCode + code.size()) << what;
            }
}

TEST(Cpu6811Test, StoresSetFlagsAndWriteTheOperand) {
    const int cycles8[] = {0, 3, 4, 5, 4};
    for (int accB = 0; accB < 2; ++accB)
        for (Md m : {Dir, Idx, Idy, Ext}) {
            Core6811 k;
            (accB ? k.cpu.b : k.cpu.a) = 0x80;
            k.cpu.ccr = fV | fZ;
            EXPECT_EQ(k.One(Encode(accB ? 0xC7 : 0x87, m)), cycles8[m]);
            EXPECT_EQ(k.bus.m[k.Ea(m)], 0x80);
            EXPECT_EQ(k.cpu.ccr & kNZVC, fN);
        }
}

// 16-bit loads, stores, arithmetic and compares in each mode: encoding
// pages, cycles, result and N Z V C.
TEST(Cpu6811Test, SixteenBitOperationsInEveryMode) {
    struct Op {
        const char* name;
        uint8_t imm;
        uint8_t pageImmDirExt, pageIdx, pageIdy;
        int cycles[5];
    };
    // SUBD, ADDD, CPD on D; LDD; CPX, CPY; LDX, LDY, LDS.
    const Op subd{"SUBD", 0x83, 0, 0, 0x18, {4, 5, 6, 7, 6}};
    const Op addd{"ADDD", 0xC3, 0, 0, 0x18, {4, 5, 6, 7, 6}};
    const Op cpd{"CPD", 0x83, 0x1A, 0x1A, 0xCD, {5, 6, 7, 7, 7}};
    const Op ldd{"LDD", 0xCC, 0, 0, 0x18, {3, 4, 5, 6, 5}};
    const Op cpx{"CPX", 0x8C, 0, 0, 0xCD, {4, 5, 6, 7, 6}};
    const Op cpy{"CPY", 0x8C, 0x18, 0x1A, 0x18, {5, 6, 7, 7, 7}};
    const Op ldx{"LDX", 0xCE, 0, 0, 0xCD, {3, 4, 5, 6, 5}};
    const Op ldy{"LDY", 0xCE, 0x18, 0x1A, 0x18, {4, 5, 6, 6, 6}};
    const Op lds{"LDS", 0x8E, 0, 0, 0x18, {3, 4, 5, 6, 5}};
    for (Md m : {Imm, Dir, Idx, Idy, Ext}) {
        // Encodes `op` with its operand placed for mode m.
        auto prep = [&](Core6811& k, const Op& op, uint16_t operand) {
            std::vector<uint8_t> code = Encode(op.imm, m, op.pageImmDirExt, op.pageIdx, op.pageIdy);
            if (m == Imm) {
                code.push_back(static_cast<uint8_t>(operand >> 8));
                code.push_back(static_cast<uint8_t>(operand));
            } else {
                k.Put16(m, operand);
            }
            return code;
        };
        {
            // SUBD 8000h - 0001h = 7FFFh: signed overflow.
            Core6811 k;
            k.cpu.SetD(0x8000);
            EXPECT_EQ(k.One(prep(k, subd, 0x0001)), subd.cycles[m]);
            EXPECT_EQ(k.cpu.D(), 0x7FFF);
            EXPECT_EQ(k.cpu.ccr & kNZVC, fV);
        }
        {
            Core6811 k;
            k.cpu.SetD(0xFFFF);
            EXPECT_EQ(k.One(prep(k, addd, 0x0001)), addd.cycles[m]);
            EXPECT_EQ(k.cpu.D(), 0x0000);
            EXPECT_EQ(k.cpu.ccr & kNZVC, fZ | fC);
        }
        {
            Core6811 k;
            k.cpu.SetD(0x1234);
            EXPECT_EQ(k.One(prep(k, cpd, 0x1235)), cpd.cycles[m]);
            EXPECT_EQ(k.cpu.D(), 0x1234);
            EXPECT_EQ(k.cpu.ccr & kNZVC, fN | fC);
        }
        {
            Core6811 k;
            k.cpu.ccr = fV;
            EXPECT_EQ(k.One(prep(k, ldd, 0x8001)), ldd.cycles[m]);
            EXPECT_EQ(k.cpu.D(), 0x8001);
            EXPECT_EQ(k.cpu.ccr & kNZVC, fN);
        }
        {
            // X (Y) keeps the mode's base where it indexes its own operand.
            Core6811 k;
            if (m != Idx) k.cpu.x = 0x4000;
            EXPECT_EQ(k.One(prep(k, cpx, k.cpu.x)), cpx.cycles[m]);
            EXPECT_EQ(k.cpu.ccr & kNZVC, fZ);
        }
        {
            Core6811 k;
            if (m != Idy) k.cpu.y = 0x8000;
            EXPECT_EQ(k.One(prep(k, cpy, 0x0001)), cpy.cycles[m]);
            EXPECT_EQ(k.cpu.ccr & kNZVC, m == Idy ? 0 : fV);
        }
        {
            Core6811 k;
            EXPECT_EQ(k.One(prep(k, ldx, 0x0000)), ldx.cycles[m]);
            EXPECT_EQ(k.cpu.x, 0);
            EXPECT_EQ(k.cpu.ccr & kNZVC, fZ);
        }
        {
            Core6811 k;
            EXPECT_EQ(k.One(prep(k, ldy, 0x9000)), ldy.cycles[m]);
            EXPECT_EQ(k.cpu.y, 0x9000);
            EXPECT_EQ(k.cpu.ccr & kNZVC, fN);
        }
        {
            Core6811 k;
            EXPECT_EQ(k.One(prep(k, lds, 0x01FF)), lds.cycles[m]);
            EXPECT_EQ(k.cpu.sp, 0x01FF);
        }
    }
}

TEST(Cpu6811Test, SixteenBitStoresInEveryMode) {
    const int c4565[] = {0, 4, 5, 6, 5};
    const int c5666[] = {0, 5, 6, 6, 6};
    for (Md m : {Dir, Idx, Idy, Ext}) {
        // STD, STX, STY, STS.
        Core6811 k;
        k.cpu.SetD(0x8421);
        EXPECT_EQ(k.One(Encode(0xCD, m, 0, 0, 0x18)), c4565[m]);
        EXPECT_EQ(k.Get16(k.Ea(m)), 0x8421);
        EXPECT_EQ(k.cpu.ccr & kNZVC, fN);
        Core6811 sx;
        EXPECT_EQ(sx.One(Encode(0xCF, m, 0, 0, 0xCD)), c4565[m]);
        EXPECT_EQ(sx.Get16(sx.Ea(m)), kXBase);
        Core6811 sy;
        EXPECT_EQ(sy.One(Encode(0xCF, m, 0x18, 0x1A, 0x18)), c5666[m]);
        EXPECT_EQ(sy.Get16(sy.Ea(m)), kYBase);
        Core6811 ss;
        ss.cpu.sp = 0;
        EXPECT_EQ(ss.One(Encode(0x8F, m)), c4565[m]);
        EXPECT_EQ(ss.Get16(ss.Ea(m)), 0);
        EXPECT_EQ(ss.cpu.ccr & kNZVC, fZ);
    }
}

// The read-modify-write group on A, B and memory.
TEST(Cpu6811Test, ReadModifyWriteGroupWithItsFlags) {
    struct U {
        const char* name;
        uint8_t low;
        uint8_t in;
        bool cin;
        uint8_t out, flags;
    };
    const U cases[] = {
        {"NEG", 0x0, 0x80, false, 0x80, fN | fV | fC}, {"NEG zero", 0x0, 0x00, true, 0x00, fZ},
        {"COM", 0x3, 0x0F, false, 0xF0, fN | fC},      {"LSR", 0x4, 0x01, false, 0x00, fZ | fV | fC},
        {"ROR", 0x6, 0x02, true, 0x81, fN | fV},       {"ASR", 0x7, 0x81, false, 0xC0, fN | fC},
        {"ASL", 0x8, 0x40, false, 0x80, fN | fV},      {"ROL", 0x9, 0x80, true, 0x01, fV | fC},
        {"DEC", 0xA, 0x80, false, 0x7F, fV},           {"DEC keeps C", 0xA, 0x01, true, 0x00, fZ | fC},
        {"INC", 0xC, 0x7F, false, 0x80, fN | fV},      {"INC keeps C", 0xC, 0xFF, true, 0x00, fZ | fC},
        {"TST", 0xD, 0x80, true, 0x80, fN},            {"CLR", 0xF, 0x55, true, 0x00, fZ},
    };
    const int cycles[] = {0, 0, 6, 7, 6, 2, 2};
    for (const U& u : cases)
        for (Md m : {AccA, AccB, Idx, Idy, Ext}) {
            Core6811 k;
            std::vector<uint8_t> code;
            if (m == AccA) code = {static_cast<uint8_t>(0x40 | u.low)};
            else if (m == AccB) code = {static_cast<uint8_t>(0x50 | u.low)};
            else code = Encode(static_cast<uint8_t>(0x40 | u.low), m);
            if (m == AccA) k.cpu.a = u.in;
            else if (m == AccB) k.cpu.b = u.in;
            else k.Put(m, u.in);
            k.cpu.ccr = static_cast<uint8_t>(u.cin ? fC : 0);
            EXPECT_EQ(k.One(code), cycles[m]) << u.name << " mode " << m;
            const uint8_t got = m == AccA ? k.cpu.a : m == AccB ? k.cpu.b : k.bus.m[k.Ea(m)];
            EXPECT_EQ(got, u.out) << u.name << " mode " << m;
            EXPECT_EQ(k.cpu.ccr & kNZVC, u.flags) << u.name << " mode " << m;
        }
}

TEST(Cpu6811Test, JumpsSubroutinesAndStack) {
    const int jmp[] = {0, 0, 3, 4, 3}, jsr[] = {0, 5, 6, 7, 6};
    for (Md m : {Idx, Idy, Ext}) {
        Core6811 k;
        EXPECT_EQ(k.One(Encode(0x4E, m)), jmp[m]); // JMP
        EXPECT_EQ(k.cpu.pc, k.Ea(m));
    }
    for (Md m : {Dir, Idx, Idy, Ext}) {
        Core6811 k;
        const std::vector<uint8_t> code = Encode(0x8D, m);
        EXPECT_EQ(k.One(code), jsr[m]); // JSR
        EXPECT_EQ(k.cpu.pc, k.Ea(m));
        EXPECT_EQ(k.cpu.sp, 0x00FD);
        EXPECT_EQ(k.Get16(0x00FE), kCode + code.size());
        k.bus.m[k.cpu.pc] = 0x39; // RTS
        k.cpu.pc = k.Ea(m);
        Covered6811().insert(0x39);
        EXPECT_EQ(k.cpu.Step(), 5);
        EXPECT_EQ(k.cpu.pc, kCode + code.size());
        EXPECT_EQ(k.cpu.sp, 0x00FF);
    }
    Core6811 k;
    EXPECT_EQ(k.One({0x8D, 0x10}), 6); // BSR
    EXPECT_EQ(k.cpu.pc, kCode + 2 + 0x10);
    EXPECT_EQ(k.Get16(0x00FE), kCode + 2);

    // Pushes and pulls: A, B, X, Y.
    Core6811 s;
    s.cpu.a = 0x11;
    s.cpu.b = 0x22;
    EXPECT_EQ(s.One({0x36}), 3);
    EXPECT_EQ(s.One({0x37}), 3);
    EXPECT_EQ(s.One({0x3C}), 4);
    EXPECT_EQ(s.One({0x18, 0x3C}), 5);
    EXPECT_EQ(s.cpu.sp, 0x00FF - 6);
    EXPECT_EQ(s.bus.m[0xFF], 0x11);
    EXPECT_EQ(s.bus.m[0xFE], 0x22);
    EXPECT_EQ(s.Get16(0xFC), kXBase);
    EXPECT_EQ(s.Get16(0xFA), kYBase);
    EXPECT_EQ(s.One({0x38}), 5); // PULX takes Y's pushed value
    EXPECT_EQ(s.cpu.x, kYBase);
    EXPECT_EQ(s.One({0x18, 0x38}), 6); // PULY
    EXPECT_EQ(s.cpu.y, kXBase);
    EXPECT_EQ(s.One({0x32}), 4); // PULA
    EXPECT_EQ(s.cpu.a, 0x22);
    EXPECT_EQ(s.One({0x33}), 4); // PULB
    EXPECT_EQ(s.cpu.b, 0x11);
    EXPECT_EQ(s.One({0x34}), 3); // DES
    EXPECT_EQ(s.One({0x31}), 3); // INS
    EXPECT_EQ(s.cpu.sp, 0x00FF);
    EXPECT_EQ(s.One({0x30}), 3); // TSX
    EXPECT_EQ(s.cpu.x, 0x0100);
    EXPECT_EQ(s.One({0x18, 0x30}), 4); // TSY
    EXPECT_EQ(s.cpu.y, 0x0100);
    s.cpu.x = 0x0200;
    EXPECT_EQ(s.One({0x35}), 3); // TXS
    EXPECT_EQ(s.cpu.sp, 0x01FF);
    s.cpu.y = 0x0300;
    EXPECT_EQ(s.One({0x18, 0x35}), 4); // TYS
    EXPECT_EQ(s.cpu.sp, 0x02FF);
}

TEST(Cpu6811Test, BranchesTakeTheirConditions) {
    // Condition codes under which each branch is taken (one taken, one not).
    struct B {
        uint8_t op;
        uint8_t taken, notTaken;
    };
    const B cases[] = {
        {0x20, 0, 0},       {0x22, 0, fC},      {0x23, fZ, 0},  {0x24, 0, fC},  {0x25, fC, 0},
        {0x26, 0, fZ},      {0x27, fZ, 0},      {0x28, 0, fV},  {0x29, fV, 0},  {0x2A, 0, fN},
        {0x2B, fN, 0},      {0x2C, fN | fV, fN}, {0x2D, fV, 0}, {0x2E, 0, fZ},  {0x2F, fN, 0},
    };
    for (const B& t : cases) {
        Core6811 k;
        k.cpu.ccr = t.taken;
        EXPECT_EQ(k.One({t.op, 0xFE}), 3);
        EXPECT_EQ(k.cpu.pc, kCode) << std::hex << int(t.op);
        if (t.op == 0x20) continue;
        Core6811 n;
        n.cpu.ccr = t.notTaken;
        n.One({t.op, 0xFE});
        EXPECT_EQ(n.cpu.pc, kCode + 2) << std::hex << int(t.op);
    }
    Core6811 brn;
    EXPECT_EQ(brn.One({0x21, 0x10}), 3);
    EXPECT_EQ(brn.cpu.pc, kCode + 2);
    // BGT with Z set, BLE with N and V both set: not taken.
    Core6811 bgt;
    bgt.cpu.ccr = fZ;
    bgt.One({0x2E, 0x10});
    EXPECT_EQ(bgt.cpu.pc, kCode + 2);
    Core6811 ble;
    ble.cpu.ccr = fN | fV;
    ble.One({0x2F, 0x10});
    EXPECT_EQ(ble.cpu.pc, kCode + 2);
}

TEST(Cpu6811Test, BitManipulationInDirectAndIndexedModes) {
    // BSET/BCLR: dir 6, ind,X 7, ind,Y 8; BRSET/BRCLR the same.
    for (Md m : {Dir, Idx, Idy}) {
        const uint8_t base = m == Dir ? 0x14 : 0x1C;
        auto code = [&](uint8_t op, std::initializer_list<uint8_t> rest) {
            std::vector<uint8_t> c;
            if (m == Idy) c.push_back(0x18);
            c.push_back(op);
            c.push_back(m == Dir ? kDir & 0xFF : m == Idx ? kOffX : kOffY);
            c.insert(c.end(), rest);
            return c;
        };
        const int cyc = m == Dir ? 6 : m == Idx ? 7 : 8;
        Core6811 k;
        k.Put(m, 0x01);
        EXPECT_EQ(k.One(code(base, {0x80})), cyc); // BSET
        EXPECT_EQ(k.bus.m[k.Ea(m)], 0x81);
        EXPECT_EQ(k.cpu.ccr & kNZVC, fN);
        EXPECT_EQ(k.One(code(static_cast<uint8_t>(base + 1), {0x81})), cyc); // BCLR
        EXPECT_EQ(k.bus.m[k.Ea(m)], 0x00);
        EXPECT_EQ(k.cpu.ccr & kNZVC, fZ);
        const uint8_t brset = m == Dir ? 0x12 : 0x1E, brclr = static_cast<uint8_t>(brset + 1);
        k.Put(m, 0x06);
        const size_t len = code(brset, {0x06, 0x10}).size();
        EXPECT_EQ(k.One(code(brset, {0x06, 0x10})), cyc);
        EXPECT_EQ(k.cpu.pc, kCode + len + 0x10);
        k.One(code(brset, {0x07, 0x10})); // one bit clear: not taken
        EXPECT_EQ(k.cpu.pc, kCode + len);
        EXPECT_EQ(k.One(code(brclr, {0x09, 0x10})), cyc);
        EXPECT_EQ(k.cpu.pc, kCode + len + 0x10);
        k.One(code(brclr, {0x02, 0x10}));
        EXPECT_EQ(k.cpu.pc, kCode + len);
    }
}

TEST(Cpu6811Test, InherentOperations) {
    Core6811 k;
    k.cpu.a = 0x20;
    k.cpu.b = 0x30;
    EXPECT_EQ(k.One({0x10}), 2); // SBA
    EXPECT_EQ(k.cpu.a, 0xF0);
    EXPECT_EQ(k.cpu.ccr & kNZVC, fN | fC);
    EXPECT_EQ(k.One({0x11}), 2); // CBA
    EXPECT_EQ(k.cpu.ccr & kNZVC, fN);
    EXPECT_EQ(k.One({0x1B}), 2); // ABA: F0h + 30h
    EXPECT_EQ(k.cpu.a, 0x20);
    EXPECT_EQ(k.cpu.ccr & (kNZVC | fH), fC);
    EXPECT_EQ(k.One({0x16}), 2); // TAB
    EXPECT_EQ(k.cpu.b, 0x20);
    k.cpu.b = 0x00;
    EXPECT_EQ(k.One({0x17}), 2); // TBA
    EXPECT_EQ(k.cpu.a, 0x00);
    EXPECT_EQ(k.cpu.ccr & kNZVC, fZ | fC);
    k.cpu.b = 0x05;
    k.cpu.x = 0x10FE;
    EXPECT_EQ(k.One({0x3A}), 3); // ABX
    EXPECT_EQ(k.cpu.x, 0x1103);
    EXPECT_EQ(k.One({0x18, 0x3A}), 4); // ABY
    EXPECT_EQ(k.cpu.y, kYBase + 5);
    k.cpu.x = 0xFFFF;
    EXPECT_EQ(k.One({0x08}), 3); // INX
    EXPECT_EQ(k.cpu.ccr & fZ, fZ);
    EXPECT_EQ(k.One({0x09}), 3); // DEX
    EXPECT_EQ(k.cpu.x, 0xFFFF);
    EXPECT_EQ(k.cpu.ccr & fZ, 0);
    k.cpu.y = 1;
    EXPECT_EQ(k.One({0x18, 0x09}), 4); // DEY
    EXPECT_EQ(k.cpu.ccr & fZ, fZ);
    EXPECT_EQ(k.One({0x18, 0x08}), 4); // INY
    EXPECT_EQ(k.cpu.y, 1);
    k.cpu.SetD(0x1234);
    k.cpu.x = 0xABCD;
    EXPECT_EQ(k.One({0x8F}), 3); // XGDX
    EXPECT_EQ(k.cpu.D(), 0xABCD);
    EXPECT_EQ(k.cpu.x, 0x1234);
    k.cpu.y = 0x5555;
    EXPECT_EQ(k.One({0x18, 0x8F}), 4); // XGDY
    EXPECT_EQ(k.cpu.y, 0xABCD);
    EXPECT_EQ(k.cpu.D(), 0x5555);

    // The flag instructions and the transfers to and from CCR.
    Core6811 f;
    EXPECT_EQ(f.One({0x0D}), 2); // SEC
    EXPECT_EQ(f.One({0x0B}), 2); // SEV
    EXPECT_EQ(f.One({0x0F}), 2); // SEI
    EXPECT_EQ(f.cpu.ccr, fC | fV | Cpu6811::I);
    EXPECT_EQ(f.One({0x0C}), 2); // CLC
    EXPECT_EQ(f.One({0x0A}), 2); // CLV
    EXPECT_EQ(f.One({0x0E}), 2); // CLI
    EXPECT_EQ(f.cpu.ccr, 0);
    f.cpu.a = 0xFF;
    EXPECT_EQ(f.One({0x06}), 2); // TAP: X stays clear
    EXPECT_EQ(f.cpu.ccr, 0xBF);
    f.cpu.a = 0;
    EXPECT_EQ(f.One({0x07}), 2); // TPA
    EXPECT_EQ(f.cpu.a, 0xBF);
    f.cpu.a = 0x00;
    f.One({0x06}); // TAP clears X
    EXPECT_EQ(f.cpu.ccr, 0);
    EXPECT_EQ(f.One({0x01}), 2); // NOP
    EXPECT_EQ(f.cpu.pc, kCode + 1);
}

TEST(Cpu6811Test, MultiplyDivideAndDoubleShifts) {
    Core6811 k;
    k.cpu.a = 0xFF;
    k.cpu.b = 0xFF;
    EXPECT_EQ(k.One({0x3D}), 10); // MUL
    EXPECT_EQ(k.cpu.D(), 0xFE01);
    EXPECT_EQ(k.cpu.ccr & fC, 0);
    k.cpu.a = 0x0C;
    k.cpu.b = 0x0C;
    k.One({0x3D});
    EXPECT_EQ(k.cpu.D(), 0x0090);
    EXPECT_EQ(k.cpu.ccr & fC, fC); // bit 7 of the result: rounds A up
    k.cpu.SetD(1000);
    k.cpu.x = 7;
    EXPECT_EQ(k.One({0x02}), 41); // IDIV
    EXPECT_EQ(k.cpu.x, 142);
    EXPECT_EQ(k.cpu.D(), 6);
    EXPECT_EQ(k.cpu.ccr & (fZ | fV | fC), 0);
    k.cpu.x = 0;
    k.One({0x02});
    EXPECT_EQ(k.cpu.x, 0xFFFF);
    EXPECT_EQ(k.cpu.ccr & fC, fC);
    k.cpu.SetD(0x4000);
    k.cpu.x = 0x8000;
    EXPECT_EQ(k.One({0x03}), 41); // FDIV: 0.5
    EXPECT_EQ(k.cpu.x, 0x8000);
    EXPECT_EQ(k.cpu.D(), 0);
    EXPECT_EQ(k.cpu.ccr & (fZ | fV | fC), 0);
    k.cpu.SetD(0x8000);
    k.cpu.x = 0x8000;
    k.One({0x03}); // quotient not below 1: overflow
    EXPECT_EQ(k.cpu.ccr & (fV | fC), fV);
    k.cpu.SetD(0x8001);
    EXPECT_EQ(k.One({0x04}), 3); // LSRD
    EXPECT_EQ(k.cpu.D(), 0x4000);
    EXPECT_EQ(k.cpu.ccr & kNZVC, fC | fV);
    k.cpu.SetD(0x8000);
    EXPECT_EQ(k.One({0x05}), 3); // ASLD
    EXPECT_EQ(k.cpu.D(), 0);
    EXPECT_EQ(k.cpu.ccr & kNZVC, fZ | fC | fV);
}

TEST(Cpu6811Test, DecimalAdjustAfterAddition) {
    struct Bcd {
        uint8_t l, r, sum;
        bool carry;
    };
    const Bcd cases[] = {{0x19, 0x28, 0x47, false}, {0x55, 0x55, 0x10, true}, {0x99, 0x01, 0x00, true},
                         {0x09, 0x09, 0x18, false}, {0x90, 0x90, 0x80, true}, {0x45, 0x45, 0x90, false}};
    for (const Bcd& t : cases) {
        Core6811 k;
        k.cpu.a = t.l;
        k.One({0x8B, t.r});
        EXPECT_EQ(k.One({0x19}), 2); // DAA
        EXPECT_EQ(k.cpu.a, t.sum) << std::hex << int(t.l) << "+" << int(t.r);
        EXPECT_EQ((k.cpu.ccr & fC) != 0, t.carry);
        EXPECT_EQ((k.cpu.ccr & fZ) != 0, t.sum == 0);
    }
}

TEST(Cpu6811Test, InterruptsTrapsAndHalts) {
    Core6811 k;
    k.bus.m[0xFFF6] = 0x20;
    k.bus.m[0xFFF7] = 0x00;
    k.cpu.a = 0xA1;
    k.cpu.b = 0xB2;
    k.cpu.ccr = fC;
    EXPECT_EQ(k.One({0x3F}), 14); // SWI
    EXPECT_EQ(k.cpu.pc, 0x2000);
    EXPECT_EQ(k.cpu.sp, 0x00FF - 9);
    EXPECT_EQ(k.bus.m[0xF7], fC); // CCR on top
    EXPECT_EQ(k.bus.m[0xF8], 0xB2);
    EXPECT_EQ(k.bus.m[0xF9], 0xA1);
    EXPECT_EQ(k.Get16(0xFA), kXBase);
    EXPECT_EQ(k.Get16(0xFC), kYBase);
    EXPECT_EQ(k.Get16(0xFE), kCode + 1);
    EXPECT_EQ(k.cpu.ccr & Cpu6811::I, Cpu6811::I);
    k.cpu.a = k.cpu.b = 0;
    k.cpu.x = k.cpu.y = 0;
    k.bus.m[0x2000] = 0x3B; // RTI
    k.cpu.pc = 0x2000;
    Covered6811().insert(0x3B);
    EXPECT_EQ(k.cpu.Step(), 12);
    EXPECT_EQ(k.cpu.pc, kCode + 1);
    EXPECT_EQ(k.cpu.a, 0xA1);
    EXPECT_EQ(k.cpu.b, 0xB2);
    EXPECT_EQ(k.cpu.x, kXBase);
    EXPECT_EQ(k.cpu.y, kYBase);
    EXPECT_EQ(k.cpu.ccr, fC);

    // Every opcode the manual leaves undefined traps through FFF8h.
    const unsigned undefined[] = {0x00, 0x41, 0x42, 0x45, 0x4B, 0x4E, 0x51, 0x52, 0x55, 0x5B, 0x5E, 0x61, 0x62,
                                  0x65, 0x6B, 0x71, 0x72, 0x75, 0x7B, 0x87, 0xC7, 0x1883, 0x1812, 0x18B6,
                                  0x1A86, 0x1AA6, 0xCD86, 0xCDAD, 0x1818};
    for (unsigned u : undefined) {
        Core6811 t;
        t.bus.m[0xFFF8] = 0x30;
        t.bus.m[0xFFF9] = 0x00;
        std::vector<uint8_t> code;
        if (u > 0xFF) code.push_back(static_cast<uint8_t>(u >> 8));
        code.push_back(static_cast<uint8_t>(u));
        code.push_back(0);
        EXPECT_EQ(t.One(code), 14) << std::hex << u;
        EXPECT_EQ(t.cpu.pc, 0x3000) << std::hex << u;
        EXPECT_EQ(t.Get16(0xFE), kCode) << std::hex << u;
        Covered6811().erase(u);
    }

    Core6811 w;
    EXPECT_EQ(w.One({0x3E}), 14); // WAI stacks and waits
    EXPECT_TRUE(w.cpu.Halted());
    EXPECT_EQ(w.cpu.sp, 0x00FF - 9);
    EXPECT_EQ(w.cpu.Step(), 0);
    Core6811 s;
    s.cpu.ccr = Cpu6811::S;
    EXPECT_EQ(s.One({0xCF}), 2); // STOP while S is set: a NOP
    EXPECT_FALSE(s.cpu.Halted());
    s.cpu.ccr = 0;
    s.One({0xCF});
    EXPECT_TRUE(s.cpu.Halted());
}

// Short programs, assembled by hand from the manual's encodings.
struct Program6811 : Core6811 {
    void Load(uint16_t at, std::initializer_list<uint8_t> code) {
        for (uint8_t c : code) bus.m[at++] = c;
    }
    // Runs from `start` until the core reaches `stop`; the cycles spent.
    uint64_t RunTo(uint16_t start, uint16_t stop) {
        cpu.pc = start;
        const uint64_t from = cpu.Cycles();
        for (int i = 0; i < 100000 && cpu.pc != stop; ++i) cpu.Step();
        EXPECT_EQ(cpu.pc, stop);
        return cpu.Cycles() - from;
    }
};

TEST(Cpu6811Test, ChecksumLoop) {
    Program6811 p;
    for (int i = 0; i < 16; ++i) p.bus.m[0x2000 + i] = static_cast<uint8_t>(i * 17 + 3);
    // LDX #2000h; CLRA; loop: ADDA 0,X; INX; CPX #2010h; BNE loop; STAA 80h
    p.Load(0x0100, {0xCE, 0x20, 0x00, 0x4F, 0xAB, 0x00, 0x08, 0x8C, 0x20, 0x10, 0x26, 0xF8, 0x97, 0x80});
    const uint64_t cycles = p.RunTo(0x0100, 0x010E);
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i) sum += static_cast<unsigned>(i * 17 + 3);
    EXPECT_EQ(p.bus.m[0x80], sum & 0xFF);
    // 3 + 2 + 16 x (4 + 3 + 4 + 3) + 3
    EXPECT_EQ(cycles, 3u + 2 + 16 * 14 + 3);
}

TEST(Cpu6811Test, BlockCopyWithBothIndexRegisters) {
    Program6811 p;
    for (int i = 0; i < 40; ++i) p.bus.m[0x2000 + i] = static_cast<uint8_t>(0xA0 ^ i);
    // LDX #2000h; LDY #0180h; LDAB #40; loop: LDAA 0,X; STAA 0,Y; INX; INY;
    // DECB; BNE loop
    p.Load(0x0100, {0xCE, 0x20, 0x00, 0x18, 0xCE, 0x01, 0x80, 0xC6, 40, 0xA6, 0x00, 0x18, 0xA7, 0x00, 0x08,
                    0x18, 0x08, 0x5A, 0x26, 0xF5});
    p.RunTo(0x0100, 0x0114);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(p.bus.m[0x0180 + i], 0xA0 ^ i);
    EXPECT_EQ(p.cpu.x, 0x2028);
    EXPECT_EQ(p.cpu.y, 0x01A8);
}

TEST(Cpu6811Test, MultiByteBcdAddition) {
    Program6811 p;
    // 4-digit BCD: 1999 + 0001 and 4567 + 5678 (low byte first, then ADC).
    auto add = [&](uint16_t l, uint16_t r) {
        p.bus.m[0x40] = static_cast<uint8_t>(l >> 8);
        p.bus.m[0x41] = static_cast<uint8_t>(l);
        p.bus.m[0x42] = static_cast<uint8_t>(r >> 8);
        p.bus.m[0x43] = static_cast<uint8_t>(r);
        // LDAA 41h; ADDA 43h; DAA; STAA 45h; LDAA 40h; ADCA 42h; DAA; STAA 44h
        p.Load(0x0100, {0x96, 0x41, 0x9B, 0x43, 0x19, 0x97, 0x45, 0x96, 0x40, 0x99, 0x42, 0x19, 0x97, 0x44});
        p.RunTo(0x0100, 0x010E);
        return static_cast<unsigned>(p.bus.m[0x44] << 8 | p.bus.m[0x45]);
    };
    EXPECT_EQ(add(0x1999, 0x0001), 0x2000u);
    EXPECT_EQ(p.cpu.ccr & fC, 0);
    EXPECT_EQ(add(0x4567, 0x5678), 0x0245u); // 10245: the carry out
    EXPECT_EQ(p.cpu.ccr & fC, fC);
}

TEST(Cpu6811Test, BranchTableThroughIndexedJump) {
    Program6811 p;
    // Table at 0200h of three handlers; each stores its number at 80h.
    p.Load(0x0200, {0x03, 0x00, 0x03, 0x10, 0x03, 0x20});
    p.Load(0x0300, {0x86, 0x0A, 0x97, 0x80, 0x20, 0xFE});
    p.Load(0x0310, {0x86, 0x0B, 0x97, 0x80, 0x20, 0xFE});
    p.Load(0x0320, {0x86, 0x0C, 0x97, 0x80, 0x20, 0xFE});
    // LDAB 81h; ASLB; LDX #0200h; ABX; LDX 0,X; JMP 0,X
    p.Load(0x0100, {0xD6, 0x81, 0x58, 0xCE, 0x02, 0x00, 0x3A, 0xEE, 0x00, 0x6E, 0x00});
    for (uint8_t sel = 0; sel < 3; ++sel) {
        p.bus.m[0x81] = sel;
        p.RunTo(0x0100, static_cast<uint16_t>(0x0304 + sel * 0x10));
        EXPECT_EQ(p.bus.m[0x80], 0x0A + sel);
    }
}

// Last in the file: every opcode the manual defines ran in a case above.
TEST(Cpu6811Test, ZzEveryDefinedOpcodeWasExercised) {
    const auto* suite = ::testing::UnitTest::GetInstance()->current_test_suite();
    if (suite->test_to_run_count() != suite->total_test_count()) GTEST_SKIP() << "needs the whole suite";
    std::set<unsigned> defined;
    FlatBus6811 bus;
    bus.m[0xFFF8] = 0xEE; // the trap lands on EExxh
    for (unsigned page : {0u, 0x18u, 0x1Au, 0xCDu})
        for (unsigned op = 0; op < 256; ++op) {
            if (page == 0 && (op == 0x18 || op == 0x1A || op == 0xCD)) continue;
            Cpu6811 cpu(bus);
            cpu.Reset(0x0100);
            cpu.sp = 0x00FF;
            uint16_t at = 0x0100;
            if (page != 0) bus.m[at++] = static_cast<uint8_t>(page);
            bus.m[at++] = static_cast<uint8_t>(op);
            for (int i = 0; i < 4; ++i) bus.m[at++] = 0;
            cpu.Step();
            if ((cpu.pc >> 8) != 0xEE) defined.insert(page << 8 | op);
        }
    // 232 page-0 opcodes, 64 on 18h, 7 on 1Ah, 4 on CDh.
    EXPECT_EQ(defined.size(), 232u + 64 + 7 + 4);
    for (unsigned op : defined)
        EXPECT_TRUE(Covered6811().count(op) != 0) << "opcode " << std::hex << op << " never tested";
}

} // namespace
