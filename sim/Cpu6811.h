// A 68HC11 CPU core: every instruction and addressing mode of the family's
// reference manual (the 18h, 1Ah and CDh prebyte pages included), the
// condition codes S X H I N Z V C and the manual's cycle counts.
//
// The core owns no memory: every fetch, read and write goes through the bus
// the part model implements, which maps RAM, registers and ROM. Step()
// executes one instruction and returns its E-clock cycles; the part model
// turns cycles into virtual time. An opcode the manual does not define
// takes the illegal-opcode trap (vector FFF8h); SWI takes FFF6h. WAI and
// STOP halt the core (the part models raise no interrupts).
#pragma once
#include <cstdint>
#include <vector>

namespace sim {

class Cpu6811Bus {
  public:
    virtual ~Cpu6811Bus() = default;
    virtual uint8_t Read(uint16_t address) = 0;
    virtual void Write(uint16_t address, uint8_t value) = 0;
};

class Cpu6811 {
  public:
    // Condition code bits.
    enum : uint8_t { C = 0x01, V = 0x02, Z = 0x04, N = 0x08, I = 0x10, H = 0x20, X = 0x40, S = 0x80 };

    explicit Cpu6811(Cpu6811Bus& bus) : bus_(bus) {}

    // The state after reset: S, X and I set, execution from `pc`, the cycle
    // count from 0.
    void Reset(uint16_t pc);
    // One instruction; its cycles (0 while halted).
    int Step();
    // Runs until at least `cycles` more have passed or the core halts.
    uint64_t Run(uint64_t cycles);
    // Runs until `target` cycles have passed or the core halts, as a part
    // model catches up with the present: a DEX/BNE delay count in `ram`
    // (09 26 FD) and an instruction that branches to itself without changing
    // `effects` (the model's count of bus writes and time-dependent reads: a
    // poll of an unchanged input) are skipped ahead whole, with their cycles.
    // Returns the instructions run or skipped.
    uint64_t RunTo(uint64_t target, const std::vector<uint8_t>& ram, const uint64_t& effects);

    uint64_t Cycles() const { return cycles_; }
    // Cycles that pass without instructions: the part model skips ahead
    // through a loop whose effect it knows (a poll of an unchanged input, a
    // delay count).
    void Skip(uint64_t cycles) { cycles_ += cycles; }
    bool Halted() const { return halted_; }

    uint8_t a = 0, b = 0, ccr = 0xD0;
    uint16_t x = 0, y = 0, sp = 0, pc = 0;
    uint16_t D() const { return static_cast<uint16_t>(a << 8 | b); }
    void SetD(uint16_t d) {
        a = static_cast<uint8_t>(d >> 8);
        b = static_cast<uint8_t>(d);
    }

  private:
    enum class Mode { Imm8, Imm16, Dir, Ext, Idx };
    uint8_t Fetch() { return bus_.Read(pc++); }
    uint16_t Fetch16();
    uint8_t Rd(uint16_t a) { return bus_.Read(a); }
    uint16_t Rd16(uint16_t a);
    void Wr(uint16_t a, uint8_t v) { bus_.Write(a, v); }
    void Wr16(uint16_t a, uint16_t v);
    void Push(uint8_t v) { Wr(sp--, v); }
    void Push16(uint16_t v);
    uint8_t Pull() { return Rd(++sp); }
    uint16_t Pull16();
    void Flag(uint8_t bit, bool on) { ccr = static_cast<uint8_t>(on ? ccr | bit : ccr & ~bit); }
    bool Has(uint8_t bit) const { return (ccr & bit) != 0; }
    void Nz8(uint8_t r);
    void Nz16(uint16_t r);
    uint8_t Add8(uint8_t l, uint8_t r, bool carry);
    uint8_t Sub8(uint8_t l, uint8_t r, bool borrow);
    uint16_t Add16(uint16_t l, uint16_t r);
    uint16_t Sub16(uint16_t l, uint16_t r);
    // The read-modify-write group (NEG .. CLR) on one operand.
    uint8_t Unary(uint8_t op, uint8_t v);
    bool Branch(uint8_t op) const;
    void Interrupt(uint16_t vector);
    // One instruction of `page` (0, 18h, 1Ah or CDh); false: not defined.
    bool Execute(uint8_t page, uint8_t op);

    Cpu6811Bus& bus_;
    uint64_t cycles_ = 0;
    bool halted_ = false;
};

} // namespace sim
