// A 68HC05 CPU core: accumulator A, index X, condition codes (1 1 1 H I N Z
// C), a program counter as wide as the part's address map and the stack
// pointer of the family (00C0h-00FFh, reset to 00FFh). Every instruction
// and addressing mode of the family with its cycle count; the part model
// gives it memory through Cpu6805Bus and turns its cycles into time.
#pragma once
#include <cstdint>

namespace sim {

class Cpu6805Bus {
public:
    virtual ~Cpu6805Bus() = default;
    virtual uint8_t Read(uint16_t a) = 0;
    virtual void Write(uint16_t a, uint8_t v) = 0;
    // True when a read of `a` gives the same value until something outside
    // the CPU changes (a port the programmer drives): a loop that only
    // polls such an address may skip ahead to the end of the run.
    virtual bool Steady(uint16_t /*a*/) const { return false; }
    // The level of the IRQ pin (BIH/BIL).
    virtual bool IrqHigh() const { return true; }
};

class Cpu6805 {
public:
    enum Flag : uint8_t { kC = 0x01, kZ = 0x02, kN = 0x04, kI = 0x08, kH = 0x10 };

    // `addressBits`: the width of the part's address map (13 for 8 KB).
    explicit Cpu6805(Cpu6805Bus& bus, int addressBits = 16);

    // The reset sequence: I set, SP = 00FFh, PC from the reset vector.
    void Reset();
    // Runs one instruction; its cycles. A stopped or waiting CPU, or one
    // that met an opcode the family does not have, takes 1 cycle and stays.
    int Step();
    // Runs instructions until at least `cycles` have passed since reset.
    // `inputsSteady`: nothing outside the CPU changed since the last run, so
    // a run that ended in a loop on itself goes on in it without stepping.
    void RunUntil(uint64_t cycles, bool inputsSteady = false);

    uint8_t a = 0, x = 0, cc = 0xE0 | kI, sp = 0xFF;
    uint16_t pc = 0;
    uint64_t cycles = 0;
    bool stopped = false, waiting = false, illegal = false;
    // The cycles of one turn of the loop on itself the last run ended in (0: none).
    int spinTurn = 0;

private:
    uint8_t Rd(uint16_t ad) { return bus_.Read(static_cast<uint16_t>(ad & mask_)); }
    void Wr(uint16_t ad, uint8_t v) { bus_.Write(static_cast<uint16_t>(ad & mask_), v); }
    uint8_t Fetch() {
        const uint8_t v = Rd(pc);
        pc = static_cast<uint16_t>((pc + 1) & mask_);
        return v;
    }
    void Push(uint8_t v);
    uint8_t Pull();
    void SetNZ(uint8_t r);
    void Set(uint8_t flag, bool on) { cc = static_cast<uint8_t>(on ? cc | flag : cc & ~flag); }
    uint8_t Sub(uint8_t l, uint8_t r, bool borrow);
    uint8_t Add(uint8_t l, uint8_t r, bool carry);
    uint8_t Modify(int op, uint8_t v); // the read-modify-write group; op = opcode & 0x0F
    bool Branch(int op);
    void Jump(int8_t rel) { pc = static_cast<uint16_t>((pc + rel) & mask_); }

    Cpu6805Bus& bus_;
    uint16_t mask_;
};

} // namespace sim
