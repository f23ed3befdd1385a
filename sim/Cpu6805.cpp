#include "sim/Cpu6805.h"

namespace sim {

namespace {

// Addressing modes of the register/memory group by the opcode's high nibble
// A-F: immediate, direct, extended, 16-bit offset, 8-bit offset, indexed.
constexpr int kLoadCycles[6] = {2, 3, 4, 5, 4, 3};
constexpr int kStoreCycles[6] = {0, 4, 5, 6, 5, 4};
constexpr int kJmpCycles[6] = {0, 2, 3, 4, 3, 2};
constexpr int kJsrCycles[6] = {6, 5, 6, 7, 6, 5}; // column A is BSR

// The read-modify-write group's members by the low nibble (NEG, COM, LSR,
// ROR, ASR, LSL, ROL, DEC, INC, TST, CLR).
constexpr bool kModifyOp[16] = {true, false, false, true, true, false, true, true,
                                true, true,  true,  false, true, true, false, true};

} // namespace

Cpu6805::Cpu6805(Cpu6805Bus& bus, int addressBits)
    : bus_(bus), mask_(static_cast<uint16_t>(addressBits >= 16 ? 0xFFFF : (1u << addressBits) - 1)) {}

void Cpu6805::Reset() {
    spinTurn = 0;
    cc = 0xE0 | kI;
    sp = 0xFF;
    stopped = waiting = illegal = false;
    pc = static_cast<uint16_t>((Rd(0xFFFE) << 8 | Rd(0xFFFF)) & mask_);
}

void Cpu6805::Push(uint8_t v) {
    Wr(sp, v);
    sp = static_cast<uint8_t>(0xC0 | ((sp - 1) & 0x3F));
}

uint8_t Cpu6805::Pull() {
    sp = static_cast<uint8_t>(0xC0 | ((sp + 1) & 0x3F));
    return Rd(sp);
}

void Cpu6805::SetNZ(uint8_t r) {
    Set(kN, (r & 0x80) != 0);
    Set(kZ, r == 0);
}

uint8_t Cpu6805::Sub(uint8_t l, uint8_t r, bool borrow) {
    const uint8_t res = static_cast<uint8_t>(l - r - (borrow ? 1 : 0));
    Set(kC, (((~l & r) | (r & res) | (res & ~l)) & 0x80) != 0);
    SetNZ(res);
    return res;
}

uint8_t Cpu6805::Add(uint8_t l, uint8_t r, bool carry) {
    const uint8_t res = static_cast<uint8_t>(l + r + (carry ? 1 : 0));
    Set(kH, ((l ^ r ^ res) & 0x10) != 0);
    Set(kC, (((l & r) | (r & ~res) | (~res & l)) & 0x80) != 0);
    SetNZ(res);
    return res;
}

uint8_t Cpu6805::Modify(int op, uint8_t v) {
    uint8_t r = v;
    switch (op) {
    case 0x0: // NEG
        r = static_cast<uint8_t>(0 - v);
        Set(kC, r != 0);
        break;
    case 0x3: // COM
        r = static_cast<uint8_t>(~v);
        Set(kC, true);
        break;
    case 0x4: // LSR
        Set(kC, (v & 1) != 0);
        r = static_cast<uint8_t>(v >> 1);
        break;
    case 0x6: // ROR
        r = static_cast<uint8_t>(v >> 1 | ((cc & kC) != 0 ? 0x80 : 0));
        Set(kC, (v & 1) != 0);
        break;
    case 0x7: // ASR
        Set(kC, (v & 1) != 0);
        r = static_cast<uint8_t>((v >> 1) | (v & 0x80));
        break;
    case 0x8: // LSL
        Set(kC, (v & 0x80) != 0);
        r = static_cast<uint8_t>(v << 1);
        break;
    case 0x9: // ROL
        r = static_cast<uint8_t>(v << 1 | ((cc & kC) != 0 ? 1 : 0));
        Set(kC, (v & 0x80) != 0);
        break;
    case 0xA: r = static_cast<uint8_t>(v - 1); break;   // DEC
    case 0xC: r = static_cast<uint8_t>(v + 1); break;   // INC
    case 0xD: break;                                    // TST
    case 0xF: r = 0; break;                             // CLR
    default: break;
    }
    SetNZ(r);
    return r;
}

bool Cpu6805::Branch(int op) {
    const bool c = (cc & kC) != 0, z = (cc & kZ) != 0, n = (cc & kN) != 0;
    bool take = false;
    switch (op >> 1) {
    case 0: take = true; break;           // BRA
    case 1: take = !(c || z); break;      // BHI
    case 2: take = !c; break;             // BCC
    case 3: take = !z; break;             // BNE
    case 4: take = (cc & kH) == 0; break; // BHCC
    case 5: take = !n; break;             // BPL
    case 6: take = (cc & kI) == 0; break; // BMC
    case 7: take = !bus_.IrqHigh(); break; // BIL
    default: break;
    }
    // Odd opcodes branch on the opposite condition (BRN, BLS, BCS, ...).
    return (op & 1) != 0 ? !take : take;
}

int Cpu6805::Step() {
    if (stopped || waiting || illegal) {
        cycles += 1;
        return 1;
    }
    const uint16_t at = pc;
    const uint8_t op = Fetch();
    const int hi = op >> 4, lo = op & 0x0F;
    int n = 0;
    if (hi == 0x0) { // BRSET/BRCLR n,dir,rel
        const uint8_t v = Rd(Fetch());
        const auto rel = static_cast<int8_t>(Fetch());
        const bool bit = (v >> (lo >> 1) & 1) != 0;
        Set(kC, bit);
        if (bit == ((lo & 1) == 0)) Jump(rel);
        n = 5;
    } else if (hi == 0x1) { // BSET/BCLR n,dir
        const uint8_t ad = Fetch();
        const uint8_t m = static_cast<uint8_t>(1u << (lo >> 1));
        const uint8_t v = Rd(ad);
        Wr(ad, static_cast<uint8_t>((lo & 1) == 0 ? v | m : v & ~m));
        n = 5;
    } else if (hi == 0x2) { // relative branches
        const auto rel = static_cast<int8_t>(Fetch());
        if (Branch(lo)) Jump(rel);
        n = 3;
    } else if (hi >= 0x3 && hi <= 0x7) { // read-modify-write
        if (op == 0x42) { // MUL
            const unsigned p = static_cast<unsigned>(a) * x;
            x = static_cast<uint8_t>(p >> 8);
            a = static_cast<uint8_t>(p);
            Set(kH, false);
            Set(kC, false);
            cycles += 11;
            return 11;
        }
        if (!kModifyOp[lo]) {
            illegal = true;
            pc = at;
            cycles += 1;
            return 1;
        }
        const bool tst = lo == 0xD;
        if (hi == 0x4) {
            a = Modify(lo, a);
            n = 3;
        } else if (hi == 0x5) {
            x = Modify(lo, x);
            n = 3;
        } else {
            uint16_t ad = 0;
            if (hi == 0x3) {
                ad = Fetch();
                n = tst ? 4 : 5;
            } else if (hi == 0x6) {
                ad = static_cast<uint16_t>(x + Fetch());
                n = tst ? 5 : 6;
            } else {
                ad = x;
                n = tst ? 4 : 5;
            }
            // CLR writes without reading first; the others read the operand.
            const uint8_t v = lo == 0xF ? 0 : Rd(ad);
            const uint8_t r = Modify(lo, v);
            if (!tst) Wr(ad, r);
        }
    } else if (hi == 0x8 || hi == 0x9) { // control
        switch (op) {
        case 0x80: // RTI
            cc = static_cast<uint8_t>(0xE0 | Pull());
            a = Pull();
            x = Pull();
            pc = static_cast<uint16_t>(Pull() << 8);
            pc = static_cast<uint16_t>((pc | Pull()) & mask_);
            n = 9;
            break;
        case 0x81: // RTS
            pc = static_cast<uint16_t>(Pull() << 8);
            pc = static_cast<uint16_t>((pc | Pull()) & mask_);
            n = 6;
            break;
        case 0x83: // SWI
            Push(static_cast<uint8_t>(pc));
            Push(static_cast<uint8_t>(pc >> 8));
            Push(x);
            Push(a);
            Push(cc);
            Set(kI, true);
            pc = static_cast<uint16_t>((Rd(0xFFFC) << 8 | Rd(0xFFFD)) & mask_);
            n = 10;
            break;
        case 0x8E: // STOP: interrupts enabled, the oscillator stops
            Set(kI, false);
            stopped = true;
            n = 2;
            break;
        case 0x8F: // WAIT
            Set(kI, false);
            waiting = true;
            n = 2;
            break;
        case 0x97: x = a; n = 2; break;              // TAX
        case 0x98: Set(kC, false); n = 2; break;     // CLC
        case 0x99: Set(kC, true); n = 2; break;      // SEC
        case 0x9A: Set(kI, false); n = 2; break;     // CLI
        case 0x9B: Set(kI, true); n = 2; break;      // SEI
        case 0x9C: sp = 0xFF; n = 2; break;          // RSP
        case 0x9D: n = 2; break;                     // NOP
        case 0x9F: a = x; n = 2; break;              // TXA
        default:
            illegal = true;
            pc = at;
            cycles += 1;
            return 1;
        }
    } else { // register/memory, A0h-FFh
        const int mode = hi - 0xA;
        if (op == 0xA7 || op == 0xAC) {
            illegal = true;
            pc = at;
            cycles += 1;
            return 1;
        }
        if (op == 0xAD) { // BSR
            const auto rel = static_cast<int8_t>(Fetch());
            Push(static_cast<uint8_t>(pc));
            Push(static_cast<uint8_t>(pc >> 8));
            Jump(rel);
            cycles += 6;
            return 6;
        }
        uint16_t ad = 0;
        switch (mode) {
        case 0: ad = pc; pc = static_cast<uint16_t>((pc + 1) & mask_); break;
        case 1: ad = Fetch(); break;
        case 2: {
            const uint8_t h = Fetch();
            ad = static_cast<uint16_t>(h << 8 | Fetch());
            break;
        }
        case 3: {
            const uint8_t h = Fetch();
            ad = static_cast<uint16_t>(x + (h << 8 | Fetch()));
            break;
        }
        case 4: ad = static_cast<uint16_t>(x + Fetch()); break;
        default: ad = x; break;
        }
        n = kLoadCycles[mode];
        switch (lo) {
        case 0x0: a = Sub(a, Rd(ad), false); break;                         // SUB
        case 0x1: Sub(a, Rd(ad), false); break;                             // CMP
        case 0x2: a = Sub(a, Rd(ad), (cc & kC) != 0); break;                // SBC
        case 0x3: Sub(x, Rd(ad), false); break;                             // CPX
        case 0x4: a = static_cast<uint8_t>(a & Rd(ad)); SetNZ(a); break;    // AND
        case 0x5: SetNZ(static_cast<uint8_t>(a & Rd(ad))); break;           // BIT
        case 0x6: a = Rd(ad); SetNZ(a); break;                              // LDA
        case 0x7: Wr(ad, a); SetNZ(a); n = kStoreCycles[mode]; break;       // STA
        case 0x8: a = static_cast<uint8_t>(a ^ Rd(ad)); SetNZ(a); break;    // EOR
        case 0x9: a = Add(a, Rd(ad), (cc & kC) != 0); break;                // ADC
        case 0xA: a = static_cast<uint8_t>(a | Rd(ad)); SetNZ(a); break;    // ORA
        case 0xB: a = Add(a, Rd(ad), false); break;                         // ADD
        case 0xC: pc = static_cast<uint16_t>(ad & mask_); n = kJmpCycles[mode]; break; // JMP
        case 0xD:                                                           // JSR
            Push(static_cast<uint8_t>(pc));
            Push(static_cast<uint8_t>(pc >> 8));
            pc = static_cast<uint16_t>(ad & mask_);
            n = kJsrCycles[mode];
            break;
        case 0xE: x = Rd(ad); SetNZ(x); break;                              // LDX
        default: Wr(ad, x); SetNZ(x); n = kStoreCycles[mode]; break;        // STX
        }
    }
    cycles += static_cast<uint64_t>(n);
    return n;
}

void Cpu6805::RunUntil(uint64_t target, bool inputsSteady) {
    if (inputsSteady && spinTurn > 0) {
        if (cycles < target) {
            const auto n = static_cast<uint64_t>(spinTurn);
            cycles += (target - cycles + n - 1) / n * n;
        }
        return;
    }
    spinTurn = 0;
    while (cycles < target) {
        const uint16_t at = pc;
        const uint8_t op = Rd(at);
        // A count-down loop on itself (DECX or DECA, then BNE back to it):
        // the turns that leave the register above 1 run at once, 6 cycles
        // each; the last turn runs as instructions and sets the flags.
        if ((op == 0x5A || op == 0x4A) && !stopped && !waiting && !illegal &&
            Rd(static_cast<uint16_t>(at + 1)) == 0x26 && Rd(static_cast<uint16_t>(at + 2)) == 0xFD) {
            uint8_t& r = op == 0x5A ? x : a;
            if (r > 1) {
                uint64_t turns = static_cast<uint64_t>(r - 1);
                const uint64_t fit = (target - cycles + 5) / 6;
                if (turns > fit) turns = fit;
                r = static_cast<uint8_t>(r - turns);
                cycles += turns * 6;
                continue;
            }
        }
        const int n = Step();
        spinTurn = 0;
        if (pc != at) continue;
        // A loop on itself that nothing inside the CPU can end (a wait, a
        // stop, a branch to itself, a bit test of a steady port) runs on
        // unchanged to the end of the run in whole turns.
        const bool spin = stopped || waiting || illegal || op == 0x20 ||
                          (op < 0x10 && bus_.Steady(static_cast<uint16_t>(Rd(static_cast<uint16_t>(at + 1)))));
        if (spin) {
            spinTurn = n;
            if (cycles < target) {
                const uint64_t turns = (target - cycles + static_cast<uint64_t>(n) - 1) / static_cast<uint64_t>(n);
                cycles += turns * static_cast<uint64_t>(n);
            }
        }
    }
}

} // namespace sim
