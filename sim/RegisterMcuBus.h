// The register-bus personality of the microcontrollers the logic image
// drives from its registers, each register value one meaning (any other
// value is a violation); supplies, ground and the high-voltage pins stay with
// the electrical model. Every register takes 0 (the engine's output reset);
// the registers a form does not name take only 0.
//
// Header parameter 0 = 0: the parts with option areas.
//   0  A0-A7 (socket pins 5-12)
//   1  A8-A15 (13-20)
//   2  B0-B3 (21, 22, 23, 25): 0-15
//   4  control lines: 1Fh rest, 1Eh /RD (34) low, 1Dh /PGM (35) low, 1Bh
//      /MODE (36) low
//   5  bus state: 13h lines released (power-up and power-down), 3 lines
//      driven with D (26-33) left to the part, 1 /CMD (38) low with register
//      9 on D, 81h /PRES (39) low with register 9 on D
//   9  written: the byte for D; read: D as the part drives it
//
// Header parameter 0 = 1: the 40-pin one-time parts with a multiplexed bus.
//   0  A8-A15 (socket pins 36-43)
//   1  bus mode: 6 idle, 4 ALE (20) high (the bus carries the low address),
//      5 data, 7 read (/OE (21) low when register 4 allows it)
//   3  program strobe: 9 idle, 0Dh /PGM (22) low
//   4  lines: 0Bh released, 0Fh driven with reads allowed, 0Dh driven
//   9  written: the byte for the bus (12-19); read: the bus as the part
//      drives it
//
// Header parameter 0 = 2: the same 40-pin bus with the address latched by a
// strobe.
//   1  A8-A15 (socket pins 36-43)
//   2  strobes: 0 idle, 1 ALE (20) high, 2 /PGM (22) low
//   3  read enable: FFh idle, 0 /OE (21) low when register 4 allows it
//   4  lines: 6 released, 7 driven with reads allowed, 5 driven
//   6  written: the byte for the bus (12-19); read: the bus as the part
//      drives it
//
// Header parameter 0 = 3: the 40-pin flash part written with commands.
//   0  A0-A7 (socket pins 26-33)
//   1  A8-A12 (38-42): 0-1Fh
//   2  /CE (20): 1 high, 0 low
//   3  /OE (21): FFh high, FEh low
//   4  /WE (22): 43h high, 3 low
//   5  lines: 8 released, 1Eh driven, 16h driven with /MODE (23) low
//   9  written: the byte for D (12-19); read: D as the part drives it
//
// Header parameter 0 = 4: the 40-pin erasable part taking code lines.
//   0  A0-A7 (socket pins 5-12)
//   1  A8-A15 (13-20)
//   2  strobe code on S0-S4 (21, 22, 23, 25, 34): 7 reset, 6 idle, 2 read
//      (D left to the part), 16h program, 4 erase
//   3  mode code on M0-M4 (36-40): 13h, 0Ch, 0Fh, 0Dh, 0Eh
//   4  lines: 0Eh only the codes driven, 0Fh all driven, 0Dh all driven
//      with /WEN (41) low
//   6  written: the byte for D (26-33); read: D as the part drives it
//
// Header parameters 0 = 5 and 6: the nibble-handshake logic of the 40-pin
// parts with a 10-bit address, commands on register 1 (form 5 and form 6
// codes below), register 3 read: bit 7 busy (RDY (41) low), bit 5 the lock
// state the last sample saw on D5, bits 0-3 the selected nibble of the byte
// read. Pins: A0-A9 (5-14), D0-D7 (26-33), /OE (36), /PGM (37), M0-M2
// (38-40) from the mode.
//   0  mode 6 memory, 4 lock programming, 5 lock check; cycle kind 0
//      address, 8 data write, 13 data read, 14 program pulse
//   1  command (0 none). Form 5: 12 reset (mode taken), 13 arm, 8 shift a
//      half in (cycles 0 and 8) or select the low nibble (13), 16 present
//      the data byte on D, 37 sample D, 3 end of read, 24 /PGM pulse (cycle
//      14), 6 /PGM pulse in mode 4, 4 sample the lock (mode 5). Form 6: 6
//      reset (modes) or /PGM pulse (cycle 14), 15 arm, 1 shift a half in, or
//      in cycle 13 select the low nibble then end the read, 2 present the
//      data byte (cycle 8) or sample D (cycle 13), 4 sample D, 24 sample the
//      lock (mode 5)
//   3  written: a 5-bit address half or a 4-bit data half
//   4  5 idle (lines released), 1 and 3 lines driven, 0 off
//   5  2 (form 5) or 3 (form 6): the logic's pin set
#pragma once
#include <cstdint>

#include "sim/SocketBus.h"

namespace sim {

class RegisterMcuBusPersonality : public SocketBusPersonality {
public:
    explicit RegisterMcuBusPersonality(const LogicImageHeader& h) : form_(h.params[0]) {}

    uint16_t Id() const override { return kPersonalityRegisterMcuBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

private:
    void Snapshot(int s) override;
    void SnapshotMultiplexed(PinCondition* c) const;
    bool Allowed(uint8_t reg, uint8_t value) const;
    bool AllowedMultiplexed(uint8_t reg, uint8_t value) const;
    bool AllowedLatched(uint8_t reg, uint8_t value) const;
    bool AllowedCommand(uint8_t reg, uint8_t value) const;
    bool AllowedCoded(uint8_t reg, uint8_t value) const;
    void SnapshotCoded(PinCondition* c) const;
    void SnapshotCommand(PinCondition* c) const;
    void SnapshotLatched(PinCondition* c) const;
    bool AllowedNibble(uint8_t reg, uint8_t value) const;
    void SnapshotNibble(PinCondition* c) const;
    void NibbleCommand(SimProgrammer& p, uint8_t command);
    uint8_t SampleNibbleData();
    std::optional<uint8_t> ReadNibbleStatus();

    // The nibble-handshake logic's state.
    struct NibbleState {
        uint8_t mode = 0;
        bool armed = false, present = false, oe = false, pgm = false;
        uint16_t address = 0;
        uint8_t data = 0, read = 0, lock = 0;
        int nibble = -1; // -1 no read, 0 high, 1 low
    } nib_;

    uint8_t form_;
    uint8_t reg_[12] = {};
};

void RegisterRegisterMcuBusPersonality();

} // namespace sim
