// The page-run bus personality: the logic image of page-program flash that
// reports completion in a status byte. It drives the address, data and
// control lines of the seated parts from registers 0-9, plays queued page
// bytes to the part in one run, and switches the high voltage of the
// protect commands onto one pin; supplies and grounds stay with the
// electrical model.
//
// Image header parameters:
//   0  pinout (FlashPinoutId; 8: the 48-pin 16-bit part in byte mode, BYTE#
//      held low while the lines are driven)
//   1  chip pin that takes the high voltage in the C5h/CFh patterns (0 none)
//
// Registers (any other value is a violation):
//   0-2  address bits 0-7, 8-15, 16-23
//   3    socket mask, active low: bit s is the /CE of socket s (bit 0 the
//        one socket's without a gang adapter)
//   4    00h every line released; 8Fh powered idle (a register-9 read is a
//        read cycle); 85h command cycles (a register-9 write is one /WE
//        pulse); 89h page run; C5h and CFh as 85h and 8Fh with the high
//        voltage (supply channel 1 on odd pins, 2 on even) on the pin of
//        parameter 1
//   5    0 off, 8 powered idle and queue load, 0Bh page run, 9 read with
//        address increment (each register-9 read steps address bits 0-15
//        afterwards)
//   6, 7 the run length, bits 0-7 and 8-15; writing register 6 with
//        register 4 = 89h and register 5 = 0Bh starts the run: the first
//        `length` queue bytes, each one /WE pulse at the latched address,
//        one up per byte (bits 0-15); the latch is left at the last played
//        address
//   8    1 powered (0 after a reset); read: bit 0 set while a run goes on
//   9    write: one write cycle at the latched address; read: the data at the
//        latched address
//   12   page data into the queue (512 bytes); the DAC strobe (register 13
//        bit 7 rising) rewinds it: with register 5 = 0Bh for the run, else
//        for a new queue
// A read with several sockets selected gets the AND of their outputs.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "sim/Electrical.h"
#include "sim/JedecFlashChip.h"
#include "sim/SocketBus.h"

namespace sim {

class PageRunBusPersonality : public SocketBusPersonality {
public:
    explicit PageRunBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityPageRunBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    uint32_t Address() const { return address_; }

private:
    void Snapshot(int s) override;
    bool SnapshotEmptySockets() const override { return false; }
    bool Driven() const { return pattern_ != 0; }
    bool HighVoltage() const { return pattern_ == 0xC5 || pattern_ == 0xCF; }
    void RunQueue(uint32_t length);
    uint8_t ReadCycle();

    FlashPinout pins_;
    std::vector<int> seat_;
    int hvZ_ = 0; // socket pin of the high voltage, 0 none
    uint8_t pattern_ = 0, mode_ = 0, reg8_ = 0, reg13_ = 0;
    uint32_t address_ = 0;
    uint8_t mask_ = 0xFF;
    uint8_t datum_ = 0;
    uint32_t runLength_ = 0;
    bool we_ = false, oe_ = false, dataDriven_ = false;
    std::array<uint8_t, 512> queue_{};
    size_t queueAt_ = 0, queueFilled_ = 0;
    uint64_t runEndsUs_ = 0;
};

void RegisterPageRunBusPersonality();

} // namespace sim
