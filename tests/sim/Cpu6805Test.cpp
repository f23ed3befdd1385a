// The 68HC05 core against the family reference manual: every opcode with
// its flags and cycles, and short programs with known results.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "sim/Cpu6805.h"

namespace {

using sim::Cpu6805;

struct Ram : sim::Cpu6805Bus {
    std::array<uint8_t, 0x10000> m{};
    bool irqHigh = true;
    uint8_t Read(uint16_t a) override { return m[a]; }
    void Write(uint16_t a, uint8_t v) override { m[a] = v; }
    bool IrqHigh() const override { return irqHigh; }
};

constexpr uint16_t kOrg = 0x0300;
constexpr uint8_t C = Cpu6805::kC, Z = Cpu6805::kZ, N = Cpu6805::kN, I = Cpu6805::kI, H = Cpu6805::kH;

struct Machine {
    Ram ram;
    Cpu6805 cpu{ram};
    explicit Machine(const std::vector<uint8_t>& code, uint16_t org = kOrg) {
        for (size_t i = 0; i < code.size(); ++i) ram.m[org + i] = code[i];
        ram.m[0xFFFE] = static_cast<uint8_t>(org >> 8);
        ram.m[0xFFFF] = static_cast<uint8_t>(org);
        cpu.Reset();
    }
    // Runs until the program sits on its closing BRA to itself.
    void RunToEnd(int limit = 100000) {
        for (int i = 0; i < limit; ++i) {
            if (ram.m[cpu.pc] == 0x20 && ram.m[cpu.pc + 1] == 0xFE) return;
            cpu.Step();
        }
        FAIL() << "program did not end";
    }
    uint8_t Flags() const { return static_cast<uint8_t>(cpu.cc & 0x1F); }
};

TEST(Cpu6805, ResetLoadsTheVectorAndTheStackTop) {
    Machine m({0x9D});
    EXPECT_EQ(m.cpu.pc, kOrg);
    EXPECT_EQ(m.cpu.sp, 0xFF);
    EXPECT_EQ(m.cpu.cc, 0xE8); // 1 1 1 H I N Z C with I set
    // A narrower map wraps the vector's address.
    Ram ram;
    ram.m[0x1FFE] = 0x01;
    ram.m[0x1FFF] = 0x40;
    Cpu6805 narrow(ram, 13);
    narrow.Reset();
    EXPECT_EQ(narrow.pc, 0x0140);
}

// The register/memory group in each of its six modes: the operand placed
// where the mode finds it, the result, flags (H only from ADD and ADC) and
// cycles of the manual's table.
TEST(Cpu6805, RegisterMemoryGroupInEveryMode) {
    struct Case {
        uint8_t lo;
        uint8_t a, x, m, ccIn;
        int a2, x2, m2; // expected A, X, operand afterwards (-1: unchanged)
        uint8_t flags;  // H N Z C after
    };
    const Case cases[] = {
        {0x0, 0x50, 0x40, 0x30, H, 0x20, -1, -1, H},              // SUB
        {0x0, 0x30, 0x40, 0x50, 0, 0xE0, -1, -1, N | C},          // SUB borrow
        {0x1, 0x10, 0x40, 0x20, 0, -1, -1, -1, N | C},            // CMP
        {0x1, 0x20, 0x40, 0x20, C, -1, -1, -1, Z},                // CMP equal
        {0x2, 0x00, 0x40, 0x00, C, 0xFF, -1, -1, N | C},          // SBC with borrow in
        {0x2, 0x50, 0x40, 0x10, C, 0x3F, -1, -1, 0},              // SBC
        {0x2, 0x50, 0x40, 0x10, 0, 0x40, -1, -1, 0},              // SBC, no borrow in
        {0x3, 0x00, 0x80, 0x80, C, -1, -1, -1, Z},                // CPX equal
        {0x3, 0x00, 0x60, 0x61, 0, -1, -1, -1, N | C},            // CPX below
        {0x4, 0xF0, 0x40, 0x0F, C | H, 0x00, -1, -1, Z | C | H},  // AND
        {0x5, 0x80, 0x40, 0xFF, 0, -1, -1, -1, N},                // BIT
        {0x6, 0x12, 0x40, 0x00, N, 0x00, -1, -1, Z},              // LDA
        {0x7, 0x80, 0x40, 0x11, C, -1, -1, 0x80, N | C},          // STA
        {0x8, 0xFF, 0x40, 0x0F, 0, 0xF0, -1, -1, N},              // EOR
        {0x9, 0x0F, 0x40, 0x00, C, 0x10, -1, -1, H},              // ADC half carry
        {0x9, 0xFF, 0x40, 0x00, C, 0x00, -1, -1, H | Z | C},      // ADC carry
        {0xA, 0x01, 0x40, 0x80, 0, 0x81, -1, -1, N},              // ORA
        {0xB, 0x80, 0x40, 0x80, H, 0x00, -1, -1, Z | C},          // ADD clears H
        {0xB, 0x38, 0x40, 0x48, C, 0x80, -1, -1, H | N},          // ADD ignores C in
        {0xE, 0x00, 0x40, 0x90, 0, -1, 0x90, -1, N},              // LDX
        {0xF, 0x00, 0x60, 0x11, Z, -1, -1, 0x60, 0},              // STX
    };
    const int loadCycles[6] = {2, 3, 4, 5, 4, 3};
    const int storeCycles[6] = {0, 4, 5, 6, 5, 4};
    for (const Case& k : cases) {
        for (int mode = 0; mode < 6; ++mode) {
            if (mode == 0 && (k.lo == 0x7 || k.lo == 0xF)) continue;
            const uint8_t op = static_cast<uint8_t>((0xA + mode) << 4 | k.lo);
            std::vector<uint8_t> code = {op};
            uint16_t at = 0;
            switch (mode) {
            case 0: code.push_back(k.m); at = kOrg + 1; break;
            case 1: code.push_back(0x80); at = 0x80; break;
            case 2: code.insert(code.end(), {0x02, 0x80}); at = 0x0280; break;
            case 3: code.insert(code.end(), {0x02, 0x00}); at = static_cast<uint16_t>(0x0200 + k.x); break;
            case 4: code.push_back(0x20); at = static_cast<uint16_t>(0x20 + k.x); break;
            default: at = k.x; break;
            }
            Machine m(code);
            m.ram.m[at] = k.m;
            m.cpu.a = k.a;
            m.cpu.x = k.x;
            m.cpu.cc = static_cast<uint8_t>(0xE0 | k.ccIn);
            const int n = m.cpu.Step();
            SCOPED_TRACE(testing::Message() << "opcode " << std::hex << int(op));
            EXPECT_EQ(m.cpu.a, k.a2 < 0 ? k.a : k.a2);
            EXPECT_EQ(m.cpu.x, k.x2 < 0 ? k.x : k.x2);
            EXPECT_EQ(m.ram.m[at], k.m2 < 0 ? k.m : k.m2);
            EXPECT_EQ(m.Flags(), k.flags);
            EXPECT_EQ(n, (k.lo == 0x7 || k.lo == 0xF) ? storeCycles[mode] : loadCycles[mode]);
            EXPECT_EQ(m.cpu.pc, kOrg + code.size());
        }
    }
}

// The read-modify-write group on memory (direct, 8-bit offset, indexed),
// on A and on X.
TEST(Cpu6805, ReadModifyWriteGroupInEveryMode) {
    struct Case {
        uint8_t lo, v, ccIn, r, flags;
    };
    const Case cases[] = {
        {0x0, 0x01, 0, 0xFF, N | C},     // NEG
        {0x0, 0x00, C, 0x00, Z},         // NEG of 0 clears C
        {0x0, 0x80, 0, 0x80, N | C},     // NEG of 80h
        {0x3, 0x5A, 0, 0xA5, N | C},     // COM sets C
        {0x4, 0x81, 0, 0x40, C},         // LSR
        {0x4, 0x01, N, 0x00, Z | C},     // LSR clears N
        {0x6, 0x02, C, 0x81, N},         // ROR through C
        {0x7, 0x81, 0, 0xC0, N | C},     // ASR keeps the sign
        {0x8, 0x81, 0, 0x02, C},         // LSL
        {0x9, 0x40, C, 0x81, N},         // ROL through C
        {0x9, 0x80, 0, 0x00, Z | C},     // ROL out
        {0xA, 0x01, C, 0x00, Z | C},     // DEC leaves C
        {0xA, 0x00, 0, 0xFF, N},         // DEC wraps
        {0xC, 0x7F, 0, 0x80, N},         // INC
        {0xC, 0xFF, H, 0x00, Z | H},     // INC wraps, H untouched
        {0xD, 0x80, C, 0x80, N | C},     // TST
        {0xF, 0x99, N | C, 0x00, Z | C}, // CLR
    };
    for (const Case& k : cases) {
        for (int hi = 3; hi <= 7; ++hi) {
            const uint8_t op = static_cast<uint8_t>(hi << 4 | k.lo);
            std::vector<uint8_t> code = {op};
            if (hi == 3) code.push_back(0x90);
            if (hi == 6) code.push_back(0x10);
            Machine m(code);
            m.cpu.x = 0x80;
            if (hi == 4) m.cpu.a = k.v;
            if (hi == 5) m.cpu.x = k.v;
            const uint16_t at = hi == 3 ? 0x90 : hi == 6 ? 0x90 : 0x80;
            m.ram.m[at] = k.v;
            m.cpu.cc = static_cast<uint8_t>(0xE0 | k.ccIn);
            const int n = m.cpu.Step();
            SCOPED_TRACE(testing::Message() << "opcode " << std::hex << int(op));
            const uint8_t got = hi == 4 ? m.cpu.a : hi == 5 ? m.cpu.x : m.ram.m[at];
            EXPECT_EQ(got, k.lo == 0xD ? k.v : k.r);
            EXPECT_EQ(m.Flags(), k.flags);
            const bool tst = k.lo == 0xD;
            const int cycles[5] = {tst ? 4 : 5, 3, 3, tst ? 5 : 6, tst ? 4 : 5};
            EXPECT_EQ(n, cycles[hi - 3]);
        }
    }
    Machine mul({0x42});
    mul.cpu.a = 0x12;
    mul.cpu.x = 0x34;
    mul.cpu.cc = 0xE0 | H | C | N;
    EXPECT_EQ(mul.cpu.Step(), 11);
    EXPECT_EQ(mul.cpu.x, 0x03);
    EXPECT_EQ(mul.cpu.a, 0xA8);
    EXPECT_EQ(mul.Flags(), N); // H and C cleared, N Z untouched
}

TEST(Cpu6805, RelativeBranchesTakeTheirConditions) {
    struct Case {
        uint8_t op, taken, notTaken; // condition codes under which it does / does not branch
    };
    const Case cases[] = {
        {0x20, 0, 0xFF},  {0x21, 0xFF, 0}, {0x22, 0, C},     {0x23, Z, 0},     {0x24, 0, C},   {0x25, C, 0},
        {0x26, 0, Z},     {0x27, Z, 0},    {0x28, 0, H},     {0x29, H, 0},     {0x2A, 0, N},   {0x2B, N, 0},
        {0x2C, 0, I},     {0x2D, I, 0},
    };
    for (const Case& k : cases) {
        for (int take = 0; take < 2; ++take) {
            if (k.op == 0x20 && take == 0) continue;
            if (k.op == 0x21 && take == 1) continue;
            Machine m({k.op, 0x10});
            m.cpu.cc = static_cast<uint8_t>(0xE0 | ((take != 0 ? k.taken : k.notTaken) & 0x1F));
            const uint8_t before = m.cpu.cc;
            EXPECT_EQ(m.cpu.Step(), 3);
            EXPECT_EQ(m.cpu.pc, take != 0 ? kOrg + 0x12 : kOrg + 2) << std::hex << int(k.op);
            EXPECT_EQ(m.cpu.cc, before);
        }
    }
    // BHI needs both C and Z clear; BLS either.
    Machine bhi({0x22, 0x10});
    bhi.cpu.cc = 0xE0 | Z;
    bhi.cpu.Step();
    EXPECT_EQ(bhi.cpu.pc, kOrg + 2);
    // BIL/BIH test the IRQ pin; a backward branch.
    for (bool high : {false, true}) {
        Machine m({0x2E, 0xFE, 0x2F, 0xFC});
        m.ram.irqHigh = high;
        m.cpu.Step();
        EXPECT_EQ(m.cpu.pc, high ? kOrg + 2 : kOrg);
        if (high) {
            m.cpu.Step();
            EXPECT_EQ(m.cpu.pc, kOrg);
        }
    }
}

TEST(Cpu6805, BitInstructionsOnEveryBit) {
    for (int bit = 0; bit < 8; ++bit) {
        const uint8_t mask = static_cast<uint8_t>(1u << bit);
        Machine m({static_cast<uint8_t>(0x10 + 2 * bit), 0x40, static_cast<uint8_t>(0x11 + 2 * bit), 0x41});
        m.ram.m[0x41] = 0xFF;
        m.cpu.cc = 0xE0 | C | Z;
        EXPECT_EQ(m.cpu.Step(), 5);
        EXPECT_EQ(m.cpu.Step(), 5);
        EXPECT_EQ(m.ram.m[0x40], mask);
        EXPECT_EQ(m.ram.m[0x41], static_cast<uint8_t>(~mask));
        EXPECT_EQ(m.Flags(), C | Z); // BSET/BCLR leave the flags
        // BRSET/BRCLR: C takes the bit; branch when set / clear.
        for (int set = 0; set < 2; ++set) {
            for (int clr = 0; clr < 2; ++clr) {
                Machine b({static_cast<uint8_t>(2 * bit + clr), 0x50, 0x20});
                b.ram.m[0x50] = set != 0 ? mask : static_cast<uint8_t>(~mask);
                b.cpu.cc = static_cast<uint8_t>(0xE0 | (set != 0 ? 0 : C));
                EXPECT_EQ(b.cpu.Step(), 5);
                const bool taken = (set != 0) == (clr == 0);
                EXPECT_EQ(b.cpu.pc, taken ? kOrg + 0x23 : kOrg + 3) << bit << set << clr;
                EXPECT_EQ(b.Flags() & C, set != 0 ? C : 0);
            }
        }
    }
}

TEST(Cpu6805, JumpsSubroutinesAndInterruptsUseTheStack) {
    const int jmp[5] = {2, 3, 4, 3, 2}, jsr[5] = {5, 6, 7, 6, 5};
    for (int mode = 1; mode < 6; ++mode) {
        for (int sub = 0; sub < 2; ++sub) {
            const uint8_t op = static_cast<uint8_t>((0xA + mode) << 4 | (sub != 0 ? 0xD : 0xC));
            std::vector<uint8_t> code = {op};
            if (mode == 1) code.push_back(0x90);
            if (mode == 2) code.insert(code.end(), {0x04, 0x00});
            if (mode == 3) code.insert(code.end(), {0x03, 0xF0});
            if (mode == 4) code.push_back(0x60);
            Machine m(code);
            m.cpu.x = mode == 5 ? 0x90 : 0x10;
            const uint16_t target = mode == 1 ? 0x90 : mode == 2 ? 0x400 : mode == 3 ? 0x400 : mode == 4 ? 0x70 : 0x90;
            EXPECT_EQ(m.cpu.Step(), sub != 0 ? jsr[mode - 1] : jmp[mode - 1]) << std::hex << int(op);
            EXPECT_EQ(m.cpu.pc, target) << std::hex << int(op);
            if (sub != 0) {
                const uint16_t ret = static_cast<uint16_t>(kOrg + code.size());
                EXPECT_EQ(m.cpu.sp, 0xFD);
                EXPECT_EQ(m.ram.m[0xFF], static_cast<uint8_t>(ret)); // low byte first
                EXPECT_EQ(m.ram.m[0xFE], ret >> 8);
                m.ram.m[target] = 0x81; // RTS
                EXPECT_EQ(m.cpu.Step(), 6);
                EXPECT_EQ(m.cpu.pc, ret);
                EXPECT_EQ(m.cpu.sp, 0xFF);
            }
        }
    }
    // BSR backwards, SWI/RTI, RSP, and the stack wrapping inside C0h-FFh.
    Machine m({0x9D, 0xAD, 0xFD, 0x83});
    m.ram.m[0xFFFC] = 0x05;
    m.ram.m[0xFFFD] = 0x00;
    m.ram.m[0x0500] = 0x80; // RTI
    m.cpu.Step();
    EXPECT_EQ(m.cpu.Step(), 6);
    EXPECT_EQ(m.cpu.pc, kOrg);
    EXPECT_EQ(m.cpu.sp, 0xFD);
    m.cpu.pc = kOrg + 3;
    m.cpu.a = 0x12;
    m.cpu.x = 0x34;
    m.cpu.cc = 0xE0 | C | N;
    EXPECT_EQ(m.cpu.Step(), 10);
    EXPECT_EQ(m.cpu.pc, 0x0500);
    EXPECT_EQ(m.cpu.cc, 0xE0 | C | N | I);
    EXPECT_EQ(m.cpu.sp, 0xF8);
    EXPECT_EQ(m.ram.m[0xFD], 0x04); // PCL, PCH, X, A, CC
    EXPECT_EQ(m.ram.m[0xFC], 0x03);
    EXPECT_EQ(m.ram.m[0xFB], 0x34);
    EXPECT_EQ(m.ram.m[0xFA], 0x12);
    EXPECT_EQ(m.ram.m[0xF9], 0xE0 | C | N);
    m.cpu.a = m.cpu.x = 0;
    EXPECT_EQ(m.cpu.Step(), 9);
    EXPECT_EQ(m.cpu.pc, kOrg + 4);
    EXPECT_EQ(m.cpu.a, 0x12);
    EXPECT_EQ(m.cpu.x, 0x34);
    EXPECT_EQ(m.cpu.cc, 0xE0 | C | N);
    EXPECT_EQ(m.cpu.sp, 0xFD);
    Machine wrap({0xAD, 0xFE});
    wrap.cpu.sp = 0xC0;
    wrap.cpu.Step();
    EXPECT_EQ(wrap.cpu.sp, 0xFE);
    EXPECT_EQ(wrap.ram.m[0xC0], 0x02);
    EXPECT_EQ(wrap.ram.m[0xFF], 0x03);
}

TEST(Cpu6805, InherentControlInstructions) {
    Machine m({0x97, 0x9F, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9D, 0x8F});
    m.cpu.a = 0x5A;
    m.cpu.x = 0x00;
    m.cpu.sp = 0xE0;
    m.cpu.cc = 0xE0;
    for (int i = 0; i < 9; ++i) EXPECT_EQ(m.cpu.Step(), 2);
    EXPECT_EQ(m.cpu.x, 0x5A); // TAX
    EXPECT_EQ(m.cpu.a, 0x5A); // TXA
    EXPECT_EQ(m.cpu.sp, 0xFF); // RSP
    EXPECT_EQ(m.Flags(), C);   // TAX/TXA leave flags; SEC; CLI, SEI; WAIT clears I
    EXPECT_TRUE(m.cpu.waiting);
    EXPECT_EQ(m.cpu.pc, kOrg + 9);
    Machine stop({0x9B, 0x8E});
    stop.cpu.Step();
    stop.cpu.Step();
    EXPECT_TRUE(stop.cpu.stopped);
    EXPECT_EQ(stop.Flags() & I, 0);
    // Opcodes the family does not have stop the core where they stand.
    for (uint8_t op : {0x31, 0x45, 0x5B, 0x6E, 0x82, 0x90, 0xA7, 0xAC}) {
        Machine bad({op, 0x00, 0x00});
        bad.cpu.Step();
        EXPECT_TRUE(bad.cpu.illegal) << std::hex << int(op);
        EXPECT_EQ(bad.cpu.pc, kOrg);
    }
}

TEST(Cpu6805, ChecksumLoopCountsCarries) {
    Machine m({0x5F, 0x4F, 0x3F, 0x81, 0xDB, 0x02, 0x00, 0x24, 0x02, 0x3C, 0x81, 0x5C, 0xA3, 0x10, 0x26, 0xF4,
               0xB7, 0x80, 0x20, 0xFE});
    unsigned sum = 0, carries = 0;
    for (int i = 0; i < 16; ++i) {
        const uint8_t v = static_cast<uint8_t>(i * 37 + 200);
        m.ram.m[0x200 + i] = v;
        carries += ((sum & 0xFF) + v) > 0xFF ? 1 : 0;
        sum += v;
    }
    m.RunToEnd();
    EXPECT_EQ(m.ram.m[0x80], sum & 0xFF);
    EXPECT_EQ(m.ram.m[0x81], carries);
    EXPECT_EQ(m.cpu.cycles, 11 + 16 * 16 + 5 * carries + 4);
}

TEST(Cpu6805, BlockCopyWithIndexedOffsets) {
    Machine m({0xAE, 0x14, 0xD6, 0x02, 0x1F, 0xD7, 0x02, 0x3F, 0x5A, 0x26, 0xF7, 0x20, 0xFE});
    for (int i = 0; i < 20; ++i) m.ram.m[0x220 + i] = static_cast<uint8_t>(0xA0 + i);
    m.RunToEnd();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(m.ram.m[0x240 + i], 0xA0 + i);
    EXPECT_EQ(m.ram.m[0x254], 0x00);
    EXPECT_EQ(m.cpu.cycles, 2 + 20 * (5 + 6 + 3 + 3));
}

// Two-byte packed BCD add; the decimal adjust is done from H and C.
TEST(Cpu6805, BcdAddWithSoftwareDecimalAdjust) {
    const std::vector<uint8_t> code = {
        0xB6, 0x81, 0xBB, 0x83, 0xAD, 0x13, 0xB7, 0x85, 0xB6, 0x87, 0x44, 0xB6, 0x80, 0xB9, 0x82, 0xAD,
        0x08, 0xB7, 0x84, 0xB6, 0x87, 0xB7, 0x86, 0x20, 0xFE,
        // adjust: 0319
        0x3F, 0x88, 0x3F, 0x87, 0x24, 0x02, 0x10, 0x87, 0x28, 0x04, 0x12, 0x88, 0x14, 0x88, 0x97, 0xA4,
        0x0F, 0xA1, 0x0A, 0x9F, 0x25, 0x04, 0x12, 0x88, 0x14, 0x88, 0x00, 0x87, 0x04, 0xA1, 0x9A, 0x25,
        0x06, 0x1A, 0x88, 0x1C, 0x88, 0x10, 0x87, 0xBB, 0x88, 0x81};
    struct Case {
        uint16_t l, r, sum;
        uint8_t carry;
    };
    for (const Case& k : {Case{0x4789, 0x5321, 0x0110, 1}, Case{0x1234, 0x4321, 0x5555, 0},
                          Case{0x0999, 0x0001, 0x1000, 0}, Case{0x9999, 0x9999, 0x9998, 1}}) {
        Machine m(code);
        m.ram.m[0x80] = static_cast<uint8_t>(k.l >> 8);
        m.ram.m[0x81] = static_cast<uint8_t>(k.l);
        m.ram.m[0x82] = static_cast<uint8_t>(k.r >> 8);
        m.ram.m[0x83] = static_cast<uint8_t>(k.r);
        m.RunToEnd();
        EXPECT_EQ(m.ram.m[0x84] << 8 | m.ram.m[0x85], k.sum) << std::hex << k.l << "+" << k.r;
        EXPECT_EQ(m.ram.m[0x86], k.carry);
    }
}

TEST(Cpu6805, BranchTableThroughIndexedJump) {
    const std::vector<uint8_t> code = {0xB6, 0x80, 0x48, 0x97, 0xDC, 0x03, 0x07, 0x20, 0x06, 0x20, 0x08, 0x20,
                                       0x0A, 0x20, 0x0C, 0xA6, 0x11, 0x20, 0x0C, 0xA6, 0x22, 0x20, 0x08, 0xA6,
                                       0x33, 0x20, 0x04, 0xA6, 0x44, 0x20, 0x00, 0xB7, 0x81, 0x20, 0xFE};
    const uint8_t want[4] = {0x11, 0x22, 0x33, 0x44};
    for (uint8_t i = 0; i < 4; ++i) {
        Machine m(code);
        m.ram.m[0x80] = i;
        m.RunToEnd();
        EXPECT_EQ(m.ram.m[0x81], want[i]);
    }
}

// A loop on a steady port skips ahead in whole turns; a loop on memory the
// bus does not call steady runs instruction by instruction.
TEST(Cpu6805, RunUntilSkipsOnlySteadyPolls) {
    struct Port : Ram {
        bool Steady(uint16_t a) const override { return a == 0x00; }
    };
    Port port;
    const uint8_t code[] = {0x01, 0x00, 0xFD, 0x20, 0xFE};
    for (int i = 0; i < 5; ++i) port.m[0x300 + i] = code[i];
    port.m[0xFFFE] = 0x03;
    Cpu6805 cpu(port);
    cpu.Reset();
    port.m[0x00] = 0x00;
    cpu.RunUntil(1000001);
    EXPECT_EQ(cpu.cycles, 1000005u); // whole 5-cycle turns
    EXPECT_EQ(cpu.pc, 0x300);
    port.m[0x00] = 0x01;
    cpu.RunUntil(cpu.cycles + 5);
    EXPECT_EQ(cpu.pc, 0x303);
}

// A count-down loop run at once ends as instruction by instruction does.
TEST(Cpu6805, CountDownLoopsRunAtOnceAsStepByStep) {
    // lda #n; ldx #m; l1: decx; bne l1; l2: deca; bne l2; bra *
    for (uint8_t n : {1, 2, 200}) {
        for (uint8_t m : {0, 1, 7, 255}) {
            const std::vector<uint8_t> code = {0xA6, n, 0xAE, m, 0x5A, 0x26, 0xFD, 0x4A, 0x26, 0xFD, 0x20, 0xFE};
            Machine stepped(code), run(code);
            stepped.RunToEnd();
            run.cpu.RunUntil(stepped.cpu.cycles);
            EXPECT_EQ(run.cpu.pc, stepped.cpu.pc);
            EXPECT_EQ(run.cpu.cycles, stepped.cpu.cycles) << int(n) << " " << int(m);
            EXPECT_EQ(run.cpu.x, 0);
            EXPECT_EQ(run.cpu.a, 0);
            EXPECT_EQ(run.cpu.cc, stepped.cpu.cc);
            // Stopped part way, it resumes where it was.
            Machine half(code);
            half.cpu.RunUntil(stepped.cpu.cycles / 2);
            half.cpu.RunUntil(stepped.cpu.cycles);
            EXPECT_EQ(half.cpu.cycles, stepped.cpu.cycles);
            EXPECT_EQ(half.cpu.pc, stepped.cpu.pc);
        }
    }
}

} // namespace
