// The serial personality: the logic images of the serial memories. A shift
// engine clocks the socket's serial lines; every edge reaches the chip models
// in the socket as it happens (the same models the pin driver serves), and
// supplies and grounds stay with the electrical model.
//
// Image header parameters:
//   0  engine: 0 the byte engine in its two-wire form, 1 the word engine,
//      2 the byte engine in its SPI form, 3 the byte engine in its two-clock
//      form, 4 the byte engine in its SPI form for the DataFlash adapter,
//      5 the clock-burst engine, 6 the configuration two-wire engine, 7 the
//      command engine
//
// Timing: a clock cycle lasts kSerialCycleUs; the busy bit stays set until the
// cycles of a shift have run. The chip sees each cycle as: data line set,
// clock rising (the chip takes the bit, a sending chip has its bit out), the
// engine samples the data line, clock falling. So the engine samples after
// the rising edge.
//
// Byte engine, two-wire form (SDA on ZIF 25, SCL on ZIF 26; SDA is open
// drain: a 1 releases the line, which the board pulls up):
//   0  static lines: bits 0-2 ZIF 21-23, bit 3 ZIF 27 (0, 2, 4, 5, 8)
//   3  0-3: bit 0 SDA, bit 1 SCL by hand. In one write the data line moves
//      before a rising clock and after a falling one, so the data never
//      changes while SCL is high by accident. 0Ch hands both to the engine
//      (SCL low, then SDA released).
//   4  data-line mode: 0 and 2 both lines released (the programmer's reset,
//      before the supply, at power-down); 1 and 9 SDA driven by the engine or
//      by hand; 3 and 0Bh SDA released to the chip
//   5  1 (a bus setting of the image; recorded only)
//   6  the 8-bit shift register, sent MSB first; read: the bits received,
//      and the read clears it (so a shift of one cycle after a read sends 0,
//      an acknowledge, and one after a write of FFh sends 1)
//   7  write 1, 8 or 9: clock cycles to run (0: none, the reset); read: bit 1
//      busy, bit 0 the level of SDA now
// Byte engine, SPI form (/CS ZIF 21, SO ZIF 22, /WP ZIF 23, SI ZIF 25, SCK
// ZIF 26, /HOLD ZIF 27; mode 0):
//   0  6 or 7: bit 0 /CS, bit 1 /WP, bit 2 /HOLD (0: the reset)
//   3  0Ch: the engine takes SI and SCK (0: the reset)
//   4  1 SI and SCK driven (SCK low); 0 both released
//   6  the 8-bit shift register, sent on SI MSB first; read: the bits
//      sampled on SO
//   7  write 8: clock cycles to run (0: none); read: bit 1 busy, bit 0 the
//      level of SO now
// Byte engine, SPI form for the DataFlash adapter (SI ZIF 21, SCK 22,
// /RESET 23, /CS 24, /WP 25, SO 28):
//   0  0 or 1: /CS
//   3  3 /RESET and /WP held high; 0 both released
//   4  1 SI and SCK driven (SCK low); 0 and 2 both released
//   6, 7  as in the SPI form
// Byte engine, two-clock form (CTL ZIF 21, DATA ZIF 22, ZIF 23 held high,
// DCLK ZIF 25, RCLK ZIF 26; both clocks rest high):
//   0  0 or 1: CTL
//   3  0 or 1: the image's write-run setting (recorded only)
//   4  1 cycles on DCLK with DATA driven from the shift register; 3 cycles
//      on RCLK with DATA released, sampled while RCLK is low; 0 and 2 all
//      lines released
//   6  the 8-bit shift register, MSB first; read: the bits sampled
//   7  write 1 or 8: clock cycles to run (0: none); read: bit 1 busy, bit 0
//      the level of DATA now
// Word engine (CS ZIF 21, SK ZIF 22, DI ZIF 23, DO ZIF 24 or 27):
//   0  bit 0 CS (1 selects), bit 1 ZIF 26 (ORG of the Microwire parts),
//      bit 2 ZIF 27 (PE of the 93C86C-class parts)
//   3  0Ch (the engine takes SK and DI), 0 the reset
//   4  1 DO on ZIF 24, 3 DO on ZIF 27; 0 all lines released
//   6, 7  the 16-bit shift register (bit 15 sent first); read: the bits
//      received (DO sampled into bit 0 each cycle)
//   8  1-16 clock cycles to run (0: none)
//   9  read: bit 1 busy, bit 0 level of ZIF 24, bit 2 level of ZIF 27
// Clock-burst engine (DATA ZIF 21, CLK ZIF 22, RESET/OE ZIF 23, /CE ZIF 24,
// the mode-entry line ZIF 26; the lines are driven while register 4 is 1 or 3):
//   0  0-3: bit 0 /CE, bit 1 RESET/OE
//   3  0 drives ZIF 26 low, 2 high; 14 high with the clock handed to the
//      engine (bursts need it)
//   4  1 DATA driven from the shift register during bursts (released after
//      each); 3 DATA released; 0 and 2 all lines released
//   6  the 8-bit shift register, sent MSB first; read: the bits sampled
//   7  read: the shift register as well (the identification view)
//   8  write 1-200: clock cycles to run, DATA sampled after each rising CLK
//   9  read: bit 1 busy, bit 2 the level of DATA now
// Configuration two-wire engine (SDA ZIF 21, SCL ZIF 22, RESET/OE ZIF 23,
// ZIF 26; SDA is open drain: a 1 releases it):
//   0  bit 0 RESET/OE high (else low), bit 1 ZIF 26 high (else low); bit 2
//      RESET/OE released to the pull that register 13 chooses (12 down,
//      4 up), its level on register 9 bit 0
//   3  8 and 4: SCL low, SDA released or shifted; 10 SCL high and 12 SCL
//      low, SDA by hand from register 7 (FFh released, 0 low)
//   4  2 all lines released; 3 SCL held; 5 sending, 7 receiving (SDA
//      released)
//   6, 7  the 8-bit shift register (written by either, sent MSB first);
//      read 6: the bits received, and the read clears it
//   8  1 or 8: clock cycles to run, SDA sampled after each rising SCL
//   9  read: bit 1 busy, bit 0 the level of SDA now (RESET/OE while sensing)
// Command engine (DATA ZIF 21, DCLK ZIF 22, ZIF 23 frames commands, ZIF 24
// lets the chip send, ZIF 26 enables commands; driven while register 4 is 1
// or 3, DATA released in 3):
//   0  bit 0 ZIF 23, bit 1 ZIF 26, bit 2 ZIF 24
//   1  DATA: 0 or 1 by hand, 2 the shift register's bits during shifts
//   2  DCLK: 0 or 1 by hand, 2 handed to the engine (shifts need it)
//   3  2 the engine takes the lines; 0 the reset
//   4  1 commands (DATA driven), 3 reading (DATA released); 2 and 0 all
//      lines released
//   5  read: bit 0 the level of DATA now, bit 1 busy
//   6  the byte to send, least significant bit first; read: the byte
//      received (DATA sampled after each rising DCLK); 7 reads it as well
//   8  8: clock cycles to run
//   12 1 hands the socket to the universal image's pin driver: registers
//      0-11 are then its pin latches (2g float bits, 2g + 1 levels of pins
//      8g + 1 to 8g + 8; reads of 0-5 the levels), every pin floating at the
//      switch; 0 gives the lines back to the engine, every pin released.
//      The configuration devices whose older generation is driven pin by
//      pin share the image with the newer one this way.
// Registers 1, 2 and 9-11 take the reset's 0. Any other write is a violation,
// as is a shift while the byte engine does not own the lines.
#pragma once
#include <array>
#include <cstdint>

#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

constexpr uint64_t kSerialCycleUs = 2;

class SerialPersonality : public SimPersonality, public PinEnvironment {
public:
    explicit SerialPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalitySerial; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    void OnUnconfigure(SimProgrammer& p) override;

    // PinEnvironment
    PinCondition Condition(int socketPin) const override;
    uint64_t NowUs() const override;
    void Violation(const std::string& what) const override;

    bool WordEngine() const { return word_; }
    // The level the engine reads on a socket pin.
    int ReadLevel(int socketPin) const;

private:
    // The start of every hook: the programmer, its socket and electrical
    // model, and the supply part of the pin table brought up to date.
    void Attach(SimProgrammer& p);
    // Supply and ground switching may move before the next hook: until then
    // every pin is read from the electrical model.
    void MarkStale();
    // The table brought up to date where the engine is to drive or read.
    void Fresh() {
        if (stale_) Refresh();
    }
    void Refresh();
    PinCondition LiveCondition(int socketPin) const;
    // The chips' drive on a socket pin, and whether any chip occupies it.
    ChipDrive ChipOutput(int socketPin) const;
    bool Occupied(int socketPin) const;
    bool ByteWrite(uint8_t reg, uint8_t value);
    bool SpiWrite(uint8_t reg, uint8_t value);
    bool TwoClockWrite(uint8_t reg, uint8_t value);
    bool WordWrite(uint8_t reg, uint8_t value);
    bool BurstWrite(uint8_t reg, uint8_t value);
    void BurstLines();
    bool ConfigBusWrite(uint8_t reg, uint8_t value);
    bool CommandWrite(uint8_t reg, uint8_t value);
    bool PinDriverMode(uint8_t value);
    bool PinLatchWrite(uint8_t reg, uint8_t value);
    void CommandLines();
    void ConfigBusLines();
    void LineShift(bool held, int cycles, int drive);
    void Drive(int pin, int level); // -1 releases
    void Changed();
    void ByteShift(int cycles);
    void WordShift(int cycles);
    bool Busy() const;

    uint8_t form_; // image parameter 0
    bool word_;
    bool spi_;
    SimProgrammer* prog_ = nullptr;
    Socket* socket_ = nullptr;
    const Electrical* electrical_ = nullptr;
    uint64_t generation_ = 0; // the programmer's component generation of socket_ and electrical_
    // The socket's one chip past its catalog adapter (nullptr unless one
    // chip), as of the socket's revision chipsOf_.
    ChipModel* chip_ = nullptr;
    uint64_t chipsOf_ = 0;
    // Bit n: chip_ occupies socket pin n, as of its pin list pinsOf_.
    uint64_t occupied_ = 0;
    const int* pinsOf_ = nullptr;
    size_t pinCount_ = 0;
    // Every pin's condition (the engine's drive, supply and ground), the
    // table the chips read while fresh; faultsSeen_ the electrical faults it
    // was taken under, revision_ its supply revision.
    std::array<PinCondition, kSocketPins + 1> cond_{};
    bool stale_ = true;
    ProgrammerFaults faultsSeen_{};
    uint64_t revision_ = 0;
    // The electrical model and its revision the table's supply part was last
    // taken from (nullptr: none yet): a refresh takes only the pins it moved.
    const Electrical* refreshedFrom_ = nullptr;
    uint64_t refreshedRevision_ = 0;
    uint64_t drivenHigh_ = 0; // bit n: socket pin n driven high
    std::array<int8_t, kSocketPins + 1> drive_{}; // -1 released, 0 low, 1 high
    uint8_t mode_ = 0;    // register 4
    uint8_t lines_ = 0;   // register 3
    uint8_t statics_ = 0; // register 0
    uint16_t shift_ = 0;
    uint64_t busyUntil_ = 0;
    uint64_t contention_ = 0;
    uint8_t pull_ = 12; // register 13 as the configuration two-wire engine sees it
    uint8_t sdaHand_ = 0xFF;
    uint8_t dataReg_ = 0, clockReg_ = 0; // the command engine's registers 1 and 2
    // Register 12 = 1: the command image serves as the pin driver, the
    // latches as registers 0-11 hold them.
    bool pinMode_ = false;
    std::array<uint8_t, 12> pinLatch_{};
};

void RegisterSerialPersonality();

} // namespace sim
