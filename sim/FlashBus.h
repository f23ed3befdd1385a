// The flash-bus personality: the logic images of JEDEC command-set flash and of
// the memories written with plain write cycles. It drives the address, data
// and control lines of the seated parts from registers 0-9 and reads their
// data lines back; supplies, grounds and high voltages stay with the
// electrical model.
//
// Image header parameters:
//   0    pinout (FlashPinoutId: 1 28-pin, 2 32-pin, 3 40-pin byte-wide,
//        4 48-pin 16-bit, 5 40-pin 16-bit, 6 44-pin SO 16-bit, 7 48-ball
//        FBGA 16-bit through its adapter, 8 48-pin 16-bit in byte mode,
//        9 32-pin through adapter 'P', 10 40-pin with RESET# and ACC)
//   1    data width: 8 or 16
//   2-3  first command address (little-endian), 4-5 the second: the
//        auto-command cycles go to first, second, first
//   6-7  the register-9 values the image knows (bit v = value v, 0-15)
//   8    bit 0: register 9 bit 3 set: the socket mask drives the flash's
//        /CE; clear: the flash is off and the SRAM's /CE2 is low in every
//        socket whatever the mask (else register 9 is recorded only); bit 1: the register-7 write is the write cycle
//        (register 6 first), for parts that take the high byte last
//   9    1: a module of dies on /CE, /CE2, /CE3 driven by socket-mask bits
//        0, 1, 2 of the one socket
//
// Registers (any other value is a violation):
//   0-2  address bits 0-7, 8-15, 16-23; a register-0 write is an address load
//   3    socket mask, active low: bit s is the /CE of socket s (of die s in
//        a module); without a gang adapter bit 0 is the socket's
//   4    line patterns:
//          00h, 93h  every line released (reset, unpowered idle)
//          D3h       powered idle: address on, /OE and /WE high
//          53h       high-voltage pulse: as D3h with /WE held low until the
//                    next pattern
//          C3h       /OE low: the protect-state read after a high-voltage
//                    pulse (a read strobe)
//          33h       as D3h: the end of a high-voltage procedure
//          DDh       write mode: data driven; each register-6 write is one
//                    /WE pulse (register 7 set before it for words; the
//                    other way round with header flag bit 1); a data
//                    read is one /OE pulse with the data drivers off
//          92h, 9Dh, 99h, 9Fh, 9Bh, 19h  the 16-bit images' names of
//                    93h, DDh, DDh, DFh, DBh, 53h (99h ends a 19h pulse)
//          D7h       as D3h: the end of a C7h read strobe
//          DFh, 83h  read strobe, DBh and C7h read loop: /OE low; writing
//                    the pattern starts a read cycle, which the next data
//                    read takes; each further data read pulses /OE
//   5    0-9: bit 0 set the read loop: in DBh/C7h each datum read
//        (register 6, for words register 7 after it) steps address bits
//        0-15; bits 1-3 the image's organisation selector (2 x sub-variant
//        of the 16-bit parts, 8 of the page images), recorded only
//   6    data bits 0-7; read = the parts' data lines
//   7    data bits 8-15; read = the high byte of the last register-6 read
//   8    4 normal, 8 auto-command (after an address load the next three
//        register-6 writes go to the command addresses, the fourth and later
//        to the latched address); 0 after a reset
//   9    as the header says
//   10-11 0
// Several selected sockets on a read: the gang adapter combines them.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/Electrical.h"
#include "sim/JedecFlashChip.h"
#include "sim/Socket.h"
#include "sim/SocketBus.h"

namespace sim {

class FlashBusPersonality : public SocketBusPersonality {
public:
    explicit FlashBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityFlashBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    uint32_t Address() const { return address_; }

private:
    void Snapshot(int s) override;
    // Snapshot's whole table: the electrical conditions, then every line.
    void FullSnapshot(int s, unsigned controls);
    // The levels of the control lines as bits (see FlashBus.cpp).
    unsigned ControlBits(int s) const;
    uint16_t ReadCycle();
    void WriteCycle();
    bool CeLow(int s, int which) const;
    // ceHigh_ again after the socket mask or register 9 moved.
    void ChipEnablesMoved();
    // The JEDEC flash chips of socket s (for their busy state on a gang read).
    const std::vector<const JedecFlashChip*>& FlashChips(int s, const Socket& socket);

    FlashPinout pins_;
    std::vector<int> seat_;
    int width_;
    // Socket pins the bus drives (0: off the socket): address lines, data
    // lines (up to the width), and the control lines in ControlBits order.
    static constexpr int kControls = 8;
    int addressZ_[32] = {};
    size_t addressLines_ = 0;
    int dataZ_[16] = {};
    size_t dataLines_ = 0;
    int controlZ_[kControls] = {};
    // The data lines as read: 0 where a line is off the chip's pinout.
    int readZ_[16] = {};
    // No socket pin carries two of the lines: a changed line can be set on
    // its own.
    bool distinctLines_ = true;
    // What snap_[s] holds beyond the electrical conditions, so that a new
    // snapshot rewrites only the lines that moved.
    struct Drawn : DrawnBase {
        bool active = false, data = false;
        // The data lines as the electrical conditions hold them (bit i: data
        // line i): what their pins go back to when the data drivers let go.
        uint32_t baseDriven = 0, baseHigh = 0;
        uint32_t address = 0;
        uint16_t datum = 0;
        unsigned controls = 0;
    };
    Drawn drawn_[kMaxSockets];
    struct ChipList {
        uint64_t revision = 0;
        std::vector<const JedecFlashChip*> chips;
    };
    ChipList flashChips_[kMaxSockets];
    uint32_t commandAddress_[3];
    uint16_t reg9Values_;
    int reg9Meaning_;
    bool writeOnHigh_;
    bool module_;

    uint32_t address_ = 0;
    uint32_t lineAddress_ = 0; // what the address pins carry
    uint8_t mask_ = 0xFF;
    uint8_t pattern_ = 0;
    uint8_t mode_ = 0;
    uint8_t dataLow_ = 0, dataHigh_ = 0, readHigh_ = 0;
    uint8_t reg8_ = 0, reg9_ = 0;
    // The levels of /CE, /CE2, /CE3 (bits 0-2, 1 high) of each socket, as
    // CeLow gives them for the present mask and register 9.
    uint8_t ceHigh_[kMaxSockets] = {};
    int autoCount_ = 3;
    bool oeLow_ = false, weLow_ = false, driveData_ = false;
    bool freshCycle_ = false;
};

void RegisterFlashBusPersonality();

} // namespace sim
