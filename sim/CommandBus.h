// The command-bus personality: the logic images of flash taking single-cycle
// commands on the 40-pin byte-wide footprint (sim/CommandFlashChip.h). It
// drives address, data, /CE, /OE and /WE of the seated parts from registers
// 0-9 and reads their data lines back; RP# and VPP stay with the electrical
// model (the supply-A switches).
//
// Image header parameters:
//   0  vocabulary: 1 the latched-address images, 2 the pulse-programmed
//      images, 3 the boot-block images, 4 the word-wide pulse-programmed
//      images
//   1  boot-block: the read-loop pattern of register 4 the image knows: DBh
//      or C3h
//   2  the footprint (sim/CommandFlashChip.h): 0 boot-block, 1 latched-bus,
//      2-4 the 32-pin ones, 5 the 40-pin 16-bit one, 6-10 the 48-pin 16-bit
//      ones
//
// Vocabularies 5-8 carry 16-bit words on registers 6 (bits 0-7) and 7 (bits
// 8-15) with a socket mask on register 3; on a socket without a gang adapter
// bit 1 of the mask is the /CE2 of a two-chip part (3 none, 2 the first chip,
// 1 the second). A write cycle fires on register 6 (5-7: the high byte is
// written to register 7 first) or on register 7 (8: the low byte first).
//   5  4 = 0Ah released/powered, 09h command mode, 03h and 0Bh read (/OE
//      low); 5 = 0 or 4 addressed, 3 sequential read opened by register 6,
//      5 sequential read opened by register 7; 8 = 0 or 1
//   6  4 = 1Fh released, FFh powered, FDh command mode, 7Fh read; 5 = 0
//      addressed, 3 sequential read opened by register 6
//   7  4 = 92h released, 93h powered and read, 91h command mode; 5 = 8
//      addressed, 9 sequential read opened by register 6
//   8  4 = 1Fh released, 9Fh powered, 99h command mode, 8Fh strobed read, 0Fh
//      read loop; 5 = 0 or 9 (read loop: a register-7 read steps address bits
//      0-15 afterwards); 8 = 0, 1 or 2; 9 = 0 or 1
//   9  16-bit parts on eight data lines (byte lanes): 4 = 0Ah released, 0Bh
//      and 0Fh read (/OE low), 09h and 0Dh command mode (a register-6 write
//      is the /WE pulse); 5 = 4 addressed, 6 commands, 7 read, 0Fh buffer
//      data. A lane flip-flop drives the parts' A-1: writes of registers 0,
//      4 and 5 clear it; each register-6 write (5 = 6 or 0Fh) or read (5 =
//      7) toggles it afterwards, and where it returns to 0 with 5 = 7 or
//      0Fh address bits 0-15 step. Register 2 bit 4 is address bit 20 (the
//      die of a two-die part).
// In a sequential read of 5-7 the opening register reads one cycle and the
// other register gives the other half of it and then steps address bits 0-15;
// an opening read that follows an opening read without the other half (a
// byte-wide part) steps first.
//
// Registers of the latched-address vocabulary (any other value is a
// violation):
//   0-2  address bits 0-7, 8-15, 16-23 of the address latch's input
//   3    the latch strobe: 3, 1, 0, 2 in this order puts the input on the
//        address lines; a 2 (or the reset's 0) on its own leaves it idle
//   4    00h every line released; 15h write cycles (data driven, each
//        register-6 write one /WE pulse); 17h read (/OE low)
//   5    0 after a reset; 10 addressed; 9 sequential read: each data read
//        steps the latch input (all 24 bits) afterwards
//   6    data: written = command or datum, read = the part's data lines
//   7-9  0
// Every socket's /CE is low while the lines are driven; a read sees every
// socket holding a part, combined as the gang adapter wires them
// (GangAdapter::Combine).
//
// Registers of the boot-block vocabulary (any other value is a violation):
//   0-2  address bits 0-7, 8-15, 16-23
//   3    socket mask, active low: bit s is the /CE of gang socket s (of the
//        one socket without an adapter). Writes reach every selected socket;
//        a read sees every selected socket holding a part, combined as the
//        gang adapter wires them: status bytes ready (bit 7) only when every
//        socket is and with every socket's error bits, other data as
//        GangAdapter::Combine.
//   4    00h, 93h  every line released
//        D3h       powered idle: address driven, /OE and /WE high
//        DDh       command mode: data driven; each register-6 write is one
//                  /WE pulse
//        DFh       strobed read: /OE low; each data read is one datum
//        DBh/C3h   read loop (the header's one): /OE low; with register 5
//                  = 3 each data read steps address bits 0-15 afterwards
//   5    0 after a reset, 2 addressed, 3 sequential read
//   6    data: written = command or datum, read = the parts' data lines
//   7    0
//   8    0 after a reset, 4 the normal bus timing
//   9    0, or 1 (the 4-Mbit boot-block adapters' option line)
//
// The pulse-programmed vocabulary is the boot-block one with its own
// register-4 and register-5 values: 4 = 00h/1Fh released, 9Fh powered idle,
// 9Dh command mode, 8Fh strobed read, 0Fh read loop; 5 = 0 addressed, 9
// sequential read (each data read in the read loop steps address bits 0-15
// afterwards); registers 7-9 stay 0.
//
// The word-wide vocabulary is the pulse-programmed one on 16 data lines:
// register 4 takes 99h as well as 9Dh for command mode; register 6 holds data
// bits 0-7 and register 7 bits 8-15. In command mode a register-7 write is
// the /WE pulse of the word; a register-6 read is the read cycle (bits 0-7),
// a register-7 read gives bits 8-15 of that cycle and, in the read loop with
// register 5 = 9, steps address bits 0-15 afterwards.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/Electrical.h"
#include "sim/JedecFlashChip.h"
#include "sim/Socket.h"
#include "sim/SocketBus.h"

namespace sim {

class CommandBusPersonality : public SocketBusPersonality {
public:
    explicit CommandBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityCommandBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    uint32_t Address() const { return address_; }
    uint8_t Register(int reg) const { return reg == 8 ? reg8_ : reg == 9 ? reg9_ : 0; }

private:
    void Snapshot(int s) override;
    // Snapshot's whole table: the electrical conditions, then every line.
    void FullSnapshot(int s, uint32_t lines, unsigned controls);
    // Levels of /CE, /CE2, /OE, /WE as bits 0-3 (1 high).
    unsigned ControlBits(int s) const;
    uint16_t ReadCycle();
    bool CommandMode() const { return pattern_ == vocab_.command || pattern_ == vocab_.command2; }
    void WriteCycle();
    bool Released() const { return pattern_ == 0 || (!latched_ && pattern_ == vocab_.released); }
    bool OnLatchedWrite(uint8_t reg, uint8_t value);
    bool Violation(uint8_t reg, uint8_t value);

    // The register-4 and register-5 values of a vocabulary with a socket mask.
    struct Vocabulary {
        uint8_t released, idle, command, strobe, loop;
        uint8_t addressed, sequential;
        bool timing; // registers 8 and 9 in use
        uint8_t command2; // a second command-mode pattern (else command)
        bool wide;        // data bits 8-15 on register 7
        // Vocabularies 5-8.
        uint8_t loop2 = 0;          // a second read pattern
        uint8_t sequential2 = 0xFF; // a sequential read opened by register 7
        bool fire6 = false;         // a word write fires on register 6
        uint16_t reg8 = 1, reg9 = 1; // the values allowed (bit v: value v)
        bool paired = false;        // the sequential read of vocabularies 5-7
        bool lanes = false;         // vocabulary 9
    };
    // Vocabulary 9: toggles the lane after a byte cycle; steps the address
    // after the high byte where the mode does.
    void NextLane();
    uint8_t lane_ = 0;
    bool Selected(int s) const;
    std::optional<uint8_t> PairedRead(uint8_t reg);
    static Vocabulary VocabularyOf(const LogicImageHeader& h);
    FlashPinout pins_;
    std::vector<int> seat_;
    Vocabulary vocab_;
    bool latched_;
    // Socket pins of the lines (0: off the socket), worked out once.
    int addressZ_[32] = {};
    size_t addressLines_ = 0;
    int dataZ_[16] = {};
    size_t dataLines_ = 0;
    int controlZ_[4] = {}; // /CE, /CE2, /OE, /WE
    // No socket pin carries two of the lines: a changed line can be set on
    // its own.
    bool distinctLines_ = true;
    // What snap_[s] holds beyond the electrical conditions, so that a new
    // snapshot rewrites only the lines that moved.
    struct Drawn : DrawnBase {
        bool active = false, data = false, ce2 = false;
        // The data lines as the electrical conditions hold them (bit i: data
        // line i): what their pins go back to when the data drivers let go.
        uint32_t baseDriven = 0, baseHigh = 0;
        uint32_t lines = 0;
        uint16_t datum = 0;
        unsigned controls = 0;
    };
    Drawn drawn_[kMaxSockets];

    uint32_t address_ = 0;      // on the address lines
    uint32_t latchInput_ = 0;   // latched vocabulary: registers 0-2
    int latchStep_ = 0;         // strobe values of 3, 1, 0, 2 seen
    uint8_t mask_ = 0xFF;
    uint8_t pattern_ = 0;
    uint8_t mode_ = 0;
    uint16_t data_ = 0;
    uint8_t readHigh_ = 0xFF; // bits 8-15 of the last read cycle
    uint8_t reg8_ = 0, reg9_ = 0;
    uint8_t readLow_ = 0xFF; // bits 0-7 of the last read cycle
    bool open_ = false;      // a sequential read cycle waits for its other half
    bool oeLow_ = false, weLow_ = false, driveData_ = false;
};

void RegisterCommandBusPersonality();

} // namespace sim
