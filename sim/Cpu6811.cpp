#include "sim/Cpu6811.h"

#include <algorithm>

namespace sim {

namespace {

// E-clock cycles of the page-0 opcodes (0: not an instruction, or a
// prebyte). Each prebyte page costs one cycle more than its page-0 form.
constexpr uint8_t kCycles[256] = {
    // 0x00
    0, 2, 41, 41, 3, 3, 2, 2, 3, 3, 2, 2, 2, 2, 2, 2,
    // 0x10
    2, 2, 6, 6, 6, 6, 2, 2, 0, 2, 0, 2, 7, 7, 7, 7,
    // 0x20
    3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3,
    // 0x30
    3, 3, 4, 4, 3, 3, 3, 3, 5, 5, 3, 12, 4, 10, 14, 14,
    // 0x40
    2, 0, 0, 2, 2, 0, 2, 2, 2, 2, 2, 0, 2, 2, 0, 2,
    // 0x50
    2, 0, 0, 2, 2, 0, 2, 2, 2, 2, 2, 0, 2, 2, 0, 2,
    // 0x60
    6, 0, 0, 6, 6, 0, 6, 6, 6, 6, 6, 0, 6, 6, 3, 6,
    // 0x70
    6, 0, 0, 6, 6, 0, 6, 6, 6, 6, 6, 0, 6, 6, 3, 6,
    // 0x80
    2, 2, 2, 4, 2, 2, 2, 0, 2, 2, 2, 2, 4, 6, 3, 3,
    // 0x90
    3, 3, 3, 5, 3, 3, 3, 3, 3, 3, 3, 3, 5, 5, 4, 4,
    // 0xA0
    4, 4, 4, 6, 4, 4, 4, 4, 4, 4, 4, 4, 6, 6, 5, 5,
    // 0xB0
    4, 4, 4, 6, 4, 4, 4, 4, 4, 4, 4, 4, 6, 6, 5, 5,
    // 0xC0
    2, 2, 2, 4, 2, 2, 2, 0, 2, 2, 2, 2, 3, 0, 3, 2,
    // 0xD0
    3, 3, 3, 5, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4,
    // 0xE0
    4, 4, 4, 6, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5,
    // 0xF0
    4, 4, 4, 6, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5,
};

// The opcodes each prebyte page defines.
bool OnPage18(uint8_t op) {
    switch (op) {
    case 0x08: case 0x09: case 0x1C: case 0x1D: case 0x1E: case 0x1F: case 0x30: case 0x35:
    case 0x38: case 0x3A: case 0x3C: case 0x8C: case 0x8F: case 0x9C: case 0xBC: case 0xCE:
    case 0xDE: case 0xDF: case 0xFE: case 0xFF:
        return true;
    default:
        // Every indexed form (60h-6Fh, A0h-AFh, E0h-EFh) with Y.
        return ((op & 0xF0) == 0x60 || (op & 0xF0) == 0xA0 || (op & 0xF0) == 0xE0) && kCycles[op] != 0;
    }
}
bool OnPage1A(uint8_t op) {
    return op == 0x83 || op == 0x93 || op == 0xA3 || op == 0xB3 || op == 0xAC || op == 0xEE || op == 0xEF;
}
bool OnPageCD(uint8_t op) { return op == 0xA3 || op == 0xAC || op == 0xEE || op == 0xEF; }

} // namespace

uint64_t Cpu6811::RunTo(uint64_t target, const std::vector<uint8_t>& ram, const uint64_t& effects) {
    auto at = [&ram](uint32_t a) -> int { return a < ram.size() ? ram[a] : -1; };
    uint64_t instructions = 0;
    while (cycles_ < target && !halted_) {
        const uint16_t from = pc;
        if (at(from) == 0x09 && at(from + 1u) == 0x26 && at(from + 2u) == 0xFD && x > 1) {
            // Whole passes up to the present or just past it: nothing in
            // the loop looks outside, so a pass begun is a pass ended.
            const uint64_t n = std::min<uint64_t>(x - 1u, (target - cycles_ + 5) / 6);
            if (n > 0) {
                x = static_cast<uint16_t>(x - n);
                cycles_ += 6 * n;
                instructions += 2 * n;
                continue;
            }
        }
        const uint64_t before = effects;
        const int c = Step();
        ++instructions;
        if (pc == from && effects == before && c > 0 && cycles_ < target) {
            const uint64_t n = (target - cycles_ + static_cast<uint64_t>(c) - 1) / static_cast<uint64_t>(c);
            cycles_ += n * static_cast<uint64_t>(c);
            instructions += n;
        }
    }
    return instructions;
}

void Cpu6811::Reset(uint16_t start) {
    ccr = S | X | I;
    cycles_ = 0;
    pc = start;
    halted_ = false;
}

uint16_t Cpu6811::Fetch16() {
    const uint8_t hi = Fetch();
    return static_cast<uint16_t>(hi << 8 | Fetch());
}
uint16_t Cpu6811::Rd16(uint16_t at) {
    const uint8_t hi = Rd(at);
    return static_cast<uint16_t>(hi << 8 | Rd(static_cast<uint16_t>(at + 1)));
}
void Cpu6811::Wr16(uint16_t at, uint16_t v) {
    Wr(at, static_cast<uint8_t>(v >> 8));
    Wr(static_cast<uint16_t>(at + 1), static_cast<uint8_t>(v));
}
void Cpu6811::Push16(uint16_t v) {
    Push(static_cast<uint8_t>(v));
    Push(static_cast<uint8_t>(v >> 8));
}
uint16_t Cpu6811::Pull16() {
    const uint8_t hi = Pull();
    return static_cast<uint16_t>(hi << 8 | Pull());
}

void Cpu6811::Nz8(uint8_t r) {
    Flag(N, (r & 0x80) != 0);
    Flag(Z, r == 0);
}
void Cpu6811::Nz16(uint16_t r) {
    Flag(N, (r & 0x8000) != 0);
    Flag(Z, r == 0);
}

uint8_t Cpu6811::Add8(uint8_t l, uint8_t r, bool carry) {
    const unsigned sum = l + r + (carry ? 1u : 0u);
    const auto res = static_cast<uint8_t>(sum);
    Flag(H, ((l & 0x0F) + (r & 0x0F) + (carry ? 1 : 0)) > 0x0F);
    Nz8(res);
    Flag(V, ((~(l ^ r) & (l ^ res)) & 0x80) != 0);
    Flag(C, sum > 0xFF);
    return res;
}

uint8_t Cpu6811::Sub8(uint8_t l, uint8_t r, bool borrow) {
    const int diff = l - r - (borrow ? 1 : 0);
    const auto res = static_cast<uint8_t>(diff);
    Nz8(res);
    Flag(V, (((l ^ r) & (l ^ res)) & 0x80) != 0);
    Flag(C, diff < 0);
    return res;
}

uint16_t Cpu6811::Add16(uint16_t l, uint16_t r) {
    const uint32_t sum = static_cast<uint32_t>(l) + r;
    const auto res = static_cast<uint16_t>(sum);
    Nz16(res);
    Flag(V, ((~(l ^ r) & (l ^ res)) & 0x8000) != 0);
    Flag(C, sum > 0xFFFF);
    return res;
}

uint16_t Cpu6811::Sub16(uint16_t l, uint16_t r) {
    const int32_t diff = static_cast<int32_t>(l) - r;
    const auto res = static_cast<uint16_t>(diff);
    Nz16(res);
    Flag(V, (((l ^ r) & (l ^ res)) & 0x8000) != 0);
    Flag(C, diff < 0);
    return res;
}

// The low nibble selects the operation: 0 NEG, 3 COM, 4 LSR, 6 ROR, 7 ASR,
// 8 ASL, 9 ROL, A DEC, C INC, D TST, F CLR.
uint8_t Cpu6811::Unary(uint8_t op, uint8_t v) {
    uint8_t r = v;
    switch (op & 0x0F) {
    case 0x0:
        r = static_cast<uint8_t>(-v);
        Nz8(r);
        Flag(V, r == 0x80);
        Flag(C, r != 0);
        return r;
    case 0x3:
        r = static_cast<uint8_t>(~v);
        Nz8(r);
        Flag(V, false);
        Flag(C, true);
        return r;
    case 0x4:
        r = static_cast<uint8_t>(v >> 1);
        Flag(C, (v & 1) != 0);
        break;
    case 0x6:
        r = static_cast<uint8_t>(v >> 1 | (Has(C) ? 0x80 : 0));
        Flag(C, (v & 1) != 0);
        break;
    case 0x7:
        r = static_cast<uint8_t>(v >> 1 | (v & 0x80));
        Flag(C, (v & 1) != 0);
        break;
    case 0x8:
        r = static_cast<uint8_t>(v << 1);
        Flag(C, (v & 0x80) != 0);
        break;
    case 0x9:
        r = static_cast<uint8_t>(v << 1 | (Has(C) ? 1 : 0));
        Flag(C, (v & 0x80) != 0);
        break;
    case 0xA:
        r = static_cast<uint8_t>(v - 1);
        Nz8(r);
        Flag(V, v == 0x80);
        return r;
    case 0xC:
        r = static_cast<uint8_t>(v + 1);
        Nz8(r);
        Flag(V, v == 0x7F);
        return r;
    case 0xD:
        Nz8(v);
        Flag(V, false);
        Flag(C, false);
        return v;
    default: // 0xF
        Nz8(0);
        Flag(V, false);
        Flag(C, false);
        return 0;
    }
    // The shifts and rotates: V = N xor C after the shift.
    Nz8(r);
    Flag(V, Has(N) != Has(C));
    return r;
}

bool Cpu6811::Branch(uint8_t op) const {
    const bool c = Has(C), z = Has(Z), n = Has(N), v = Has(V);
    bool take = true;
    switch ((op & 0x0F) >> 1) {
    case 0: take = true; break;            // BRA / BRN
    case 1: take = !(c || z); break;       // BHI / BLS
    case 2: take = !c; break;              // BCC / BCS
    case 3: take = !z; break;              // BNE / BEQ
    case 4: take = !v; break;              // BVC / BVS
    case 5: take = !n; break;              // BPL / BMI
    case 6: take = n == v; break;          // BGE / BLT
    default: take = !z && n == v; break;   // BGT / BLE
    }
    return (op & 1) != 0 ? !take : take;
}

void Cpu6811::Interrupt(uint16_t vector) {
    Push16(pc);
    Push16(y);
    Push16(x);
    Push(a);
    Push(b);
    Push(ccr);
    Flag(I, true);
    pc = Rd16(vector);
}

int Cpu6811::Step() {
    if (halted_) return 0;
    const uint16_t at = pc;
    uint8_t page = 0;
    uint8_t op = Fetch();
    if (op == 0x18 || op == 0x1A || op == 0xCD) {
        page = op;
        op = Fetch();
    }
    const bool defined = page == 0 ? kCycles[op] != 0
                                   : page == 0x18 ? OnPage18(op)
                                   : page == 0x1A ? OnPage1A(op)
                                                  : OnPageCD(op);
    int cycles = kCycles[op] + (page != 0 ? 1 : 0);
    if (!defined || !Execute(page, op)) {
        // The trap stacks the address of the opcode that is not defined.
        pc = at;
        Interrupt(0xFFF8);
        cycles = 14;
    }
    cycles_ += static_cast<uint64_t>(cycles);
    return cycles;
}

uint64_t Cpu6811::Run(uint64_t cycles) {
    const uint64_t end = cycles_ + cycles;
    while (cycles_ < end && !halted_) Step();
    return cycles_;
}

bool Cpu6811::Execute(uint8_t page, uint8_t op) {
    // The index of indexed addressing and the register of the X-family
    // operations (CPX, LDX, STX, INX, ...) on each page.
    uint16_t& ix = page == 0x18 || page == 0xCD ? y : x;
    uint16_t& xr = page == 0x18 || page == 0x1A ? y : x;
    const bool cpd = page == 0x1A || page == 0xCD;

    // Operand address of the 40h-FFh columns (immediate handled per op).
    auto address = [&](uint8_t column) -> uint16_t {
        switch (column) {
        case 0x6: case 0xA: case 0xE:
            return static_cast<uint16_t>(ix + Fetch());
        case 0x7: case 0xB: case 0xF:
            return Fetch16();
        default: // 0x9, 0xD: direct
            return Fetch();
        }
    };

    if (op < 0x40) {
        switch (op) {
        case 0x01: return true; // NOP
        case 0x02: { // IDIV
            const uint16_t n = D(), d = x;
            Flag(V, false);
            if (d == 0) {
                Flag(C, true);
                x = 0xFFFF;
            } else {
                Flag(C, false);
                x = static_cast<uint16_t>(n / d);
                SetD(static_cast<uint16_t>(n % d));
            }
            Flag(Z, x == 0);
            return true;
        }
        case 0x03: { // FDIV
            const uint16_t n = D(), d = x;
            if (d == 0) {
                Flag(C, true);
                Flag(V, false);
                x = 0xFFFF;
            } else if (d <= n) {
                Flag(C, false);
                Flag(V, true);
                x = 0xFFFF;
            } else {
                Flag(C, false);
                Flag(V, false);
                const uint32_t num = static_cast<uint32_t>(n) << 16;
                x = static_cast<uint16_t>(num / d);
                SetD(static_cast<uint16_t>(num % d));
            }
            Flag(Z, x == 0);
            return true;
        }
        case 0x04: { // LSRD
            const uint16_t d = D();
            const auto r = static_cast<uint16_t>(d >> 1);
            SetD(r);
            Flag(C, (d & 1) != 0);
            Nz16(r);
            Flag(V, Has(N) != Has(C));
            return true;
        }
        case 0x05: { // ASLD
            const uint16_t d = D();
            const auto r = static_cast<uint16_t>(d << 1);
            SetD(r);
            Flag(C, (d & 0x8000) != 0);
            Nz16(r);
            Flag(V, Has(N) != Has(C));
            return true;
        }
        case 0x06: // TAP: X can be cleared, never set, by software
            ccr = static_cast<uint8_t>((a & ~X) | (a & ccr & X));
            return true;
        case 0x07: a = ccr; return true;                     // TPA
        case 0x08: ++xr; Flag(Z, xr == 0); return true;      // INX / INY
        case 0x09: --xr; Flag(Z, xr == 0); return true;      // DEX / DEY
        case 0x0A: Flag(V, false); return true;              // CLV
        case 0x0B: Flag(V, true); return true;               // SEV
        case 0x0C: Flag(C, false); return true;              // CLC
        case 0x0D: Flag(C, true); return true;               // SEC
        case 0x0E: Flag(I, false); return true;              // CLI
        case 0x0F: Flag(I, true); return true;               // SEI
        case 0x10: a = Sub8(a, b, false); return true;       // SBA
        case 0x11: Sub8(a, b, false); return true;           // CBA
        case 0x12: case 0x13: case 0x1E: case 0x1F: {       // BRSET / BRCLR
            const uint16_t ea = op < 0x1E ? Fetch() : static_cast<uint16_t>(ix + Fetch());
            const uint8_t mask = Fetch();
            const auto rel = static_cast<int8_t>(Fetch());
            const uint8_t v = Rd(ea);
            const bool set = (op & 1) == 0;
            if (set ? (~v & mask) == 0 : (v & mask) == 0) pc = static_cast<uint16_t>(pc + rel);
            return true;
        }
        case 0x14: case 0x15: case 0x1C: case 0x1D: {       // BSET / BCLR
            const uint16_t ea = op < 0x1C ? Fetch() : static_cast<uint16_t>(ix + Fetch());
            const uint8_t mask = Fetch();
            const uint8_t v = Rd(ea);
            const auto r = static_cast<uint8_t>((op & 1) == 0 ? v | mask : v & ~mask);
            Wr(ea, r);
            Nz8(r);
            Flag(V, false);
            return true;
        }
        case 0x16: b = a; Nz8(b); Flag(V, false); return true; // TAB
        case 0x17: a = b; Nz8(a); Flag(V, false); return true; // TBA
        case 0x19: { // DAA
            const uint8_t lo = a & 0x0F, hi = a >> 4;
            uint8_t adjust = 0;
            bool carry = Has(C);
            if (Has(H) || lo > 9) adjust |= 0x06;
            if (carry || hi > 9 || (hi > 8 && lo > 9)) {
                adjust |= 0x60;
                carry = true;
            }
            a = static_cast<uint8_t>(a + adjust);
            Nz8(a);
            Flag(C, carry);
            return true;
        }
        case 0x1B: a = Add8(a, b, false); return true; // ABA
        case 0x30: xr = static_cast<uint16_t>(sp + 1); return true; // TSX / TSY
        case 0x31: ++sp; return true;                               // INS
        case 0x32: a = Pull(); return true;                         // PULA
        case 0x33: b = Pull(); return true;                         // PULB
        case 0x34: --sp; return true;                               // DES
        case 0x35: sp = static_cast<uint16_t>(xr - 1); return true; // TXS / TYS
        case 0x36: Push(a); return true;                            // PSHA
        case 0x37: Push(b); return true;                            // PSHB
        case 0x38: xr = Pull16(); return true;                      // PULX / PULY
        case 0x39: pc = Pull16(); return true;                      // RTS
        case 0x3A: xr = static_cast<uint16_t>(xr + b); return true; // ABX / ABY
        case 0x3B: { // RTI: X cannot be set again by the pull
            const uint8_t c = Pull();
            ccr = static_cast<uint8_t>((c & ~X) | (c & ccr & X));
            b = Pull();
            a = Pull();
            x = Pull16();
            y = Pull16();
            pc = Pull16();
            return true;
        }
        case 0x3C: Push16(xr); return true; // PSHX / PSHY
        case 0x3D: { // MUL
            SetD(static_cast<uint16_t>(a * b));
            Flag(C, (b & 0x80) != 0);
            return true;
        }
        case 0x3E: // WAI: the registers are stacked, then the core waits
            Push16(pc);
            Push16(y);
            Push16(x);
            Push(a);
            Push(b);
            Push(ccr);
            halted_ = true;
            return true;
        case 0x3F: Interrupt(0xFFF6); return true; // SWI
        default:
            if (op >= 0x20 && op <= 0x2F) {
                const auto rel = static_cast<int8_t>(Fetch());
                if (Branch(op)) pc = static_cast<uint16_t>(pc + rel);
                return true;
            }
            return false;
        }
    }

    const uint8_t column = op >> 4;
    const uint8_t low = op & 0x0F;

    if (op < 0x80) {
        // 40h A, 50h B, 60h indexed, 70h extended.
        if (column == 0x4) {
            a = Unary(op, a);
            return true;
        }
        if (column == 0x5) {
            b = Unary(op, b);
            return true;
        }
        const uint16_t ea = address(column);
        if (low == 0xE) { // JMP
            pc = ea;
            return true;
        }
        const uint8_t r = Unary(op, Rd(ea));
        if (low != 0xD) Wr(ea, r);
        return true;
    }

    const bool isB = column >= 0xC;
    uint8_t& acc = isB ? b : a;
    const bool imm = column == 0x8 || column == 0xC;

    // 16-bit operations of the low nibbles 3 and C-F.
    auto operand16 = [&]() -> uint16_t { return imm ? Fetch16() : Rd16(address(column)); };
    switch (low) {
    case 0x3: // SUBD / ADDD / CPD
        if (isB) {
            SetD(Add16(D(), operand16()));
        } else if (cpd) {
            Sub16(D(), operand16());
        } else {
            SetD(Sub16(D(), operand16()));
        }
        return true;
    case 0xC:
        if (!isB) { // CPX / CPY
            Sub16(xr, operand16());
        } else { // LDD
            SetD(operand16());
            Nz16(D());
            Flag(V, false);
        }
        return true;
    case 0xD:
        if (!isB) {
            if (column == 0x8) { // BSR
                const auto rel = static_cast<int8_t>(Fetch());
                Push16(pc);
                pc = static_cast<uint16_t>(pc + rel);
            } else { // JSR
                const uint16_t ea = address(column);
                Push16(pc);
                pc = ea;
            }
        } else { // STD
            if (imm) return false;
            Wr16(address(column), D());
            Nz16(D());
            Flag(V, false);
        }
        return true;
    case 0xE: { // LDS / LDX (LDY)
        uint16_t& reg = isB ? xr : sp;
        reg = operand16();
        Nz16(reg);
        Flag(V, false);
        return true;
    }
    case 0xF: {
        if (imm) {
            if (isB) { // STOP: disabled (a NOP) while S is set
                if (!Has(S)) halted_ = true;
            } else { // XGDX / XGDY
                const uint16_t t = xr;
                xr = D();
                SetD(t);
            }
            return true;
        }
        const uint16_t reg = isB ? xr : sp; // STX (STY) / STS
        Wr16(address(column), reg);
        Nz16(reg);
        Flag(V, false);
        return true;
    }
    default:
        break;
    }

    // 8-bit accumulator operations.
    if (low == 0x7) { // STAA / STAB
        if (imm) return false;
        Wr(address(column), acc);
        Nz8(acc);
        Flag(V, false);
        return true;
    }
    const uint8_t m = imm ? Fetch() : Rd(address(column));
    switch (low) {
    case 0x0: acc = Sub8(acc, m, false); break;      // SUB
    case 0x1: Sub8(acc, m, false); break;            // CMP
    case 0x2: acc = Sub8(acc, m, Has(C)); break;     // SBC
    case 0x4: acc &= m; Nz8(acc); Flag(V, false); break; // AND
    case 0x5: Nz8(static_cast<uint8_t>(acc & m)); Flag(V, false); break; // BIT
    case 0x6: acc = m; Nz8(acc); Flag(V, false); break;  // LDA
    case 0x8: acc ^= m; Nz8(acc); Flag(V, false); break; // EOR
    case 0x9: acc = Add8(acc, m, Has(C)); break;     // ADC
    case 0xA: acc |= m; Nz8(acc); Flag(V, false); break; // ORA
    default: acc = Add8(acc, m, false); break;       // 0xB: ADD
    }
    return true;
}

} // namespace sim
