// The memory-bus personality: the logic images of parallel memories. It
// drives the address, data and control lines of the seated part from
// registers 0-7 and reads its data lines back; supplies, grounds and the
// programming voltage stay with the electrical model.
//
// Image header parameters:
//   0  bus kind: 0 byte-wide, 2 16-bit, 3 byte-write part with an address
//      counter
//   1  pin count of the part's DIP (24, 28, 32 JEDEC byte-wide, 40 16-bit)
//   2  address lines driven (A0 up)
//   3  chip pin of the /PGM (/WE) line, 0 none
//   4  chip pin of the page-write line, 0 none
//   5  role of the socket mask: 0 read select, 1 /CE, 2 /OE gate
//   6  program-strobe gate (roles 0 and 2): 0 none, 1 the program and write
//      strobes (15h, 95h, 11h) reach the sockets the mask selects, 2 they
//      reach the sockets the mask leaves released (the image pulses the
//      sockets while their mask bits are high); a socket the gate keeps out
//      sees /CE, /PGM and /PW high
//   7  1: the sequential-read counter is loaded by register 1 = FFh then
//      00h after register 5 = 9; until then data reads do not step it
//   9  bit 0: the JEDEC flash pinout of the 28- and 32-pin parts
//      (FlashPinout: A14 on pin 1, /WE on pin 27 or 31) instead of the
//      EPROM one; bit 1: in mode 1 each data read steps the counter (the
//      sequential read of the queue images); bit 2 (kind 2): word drivers,
//      data bits 8-15 are driven only with the 9xh values of register 4
//      (9Fh, 95h), the 1xh values drive bits 0-7 alone
//   8  1 (kind 2): address bits 16-19 reach the part only through the
//      high-address routing (register 2 bit 4, or register 8 = 1); without
//      it those lines stay low. 2: as 1, and register 2 written without
//      bit 4 while the part's VCC pin is supplied is a violation (an image
//      that knows only that routing)
//
// Registers (every value written has a meaning below; any other value is a
// violation):
//   0-2  address bits 0-7, 8-15, 16-23 (the address counter's bits)
//        kind 2: register 2 bits 0-3 = address bits 16-19, bit 4 the
//        high-address flag (accepted; the 40-pin routing is the same)
//        kind 3: register 0 = bits 0-7; a write of 00h after FFh carries into
//        bits 8-15; register 1 = 00h off or A0h write-cycle mode (clears the
//        counter's bits 8-15); register 2 = bits 16-23
//   3    socket mask, active low (FFh none, 00h all, NOT(1 shl s) socket s).
//        Role 0: it selects the sockets whose data a read sees (the one
//        socket without a gang adapter is always seen); every socket gets
//        the strobes. Several sockets a read sees answer as the gang
//        adapter combines them (GangAdapter::Combine). Role 1: it is the /CE line of each socket. Role 2: it
//        gates /OE of each socket (outputs on for 0Fh, 1Fh, 97h, 9Fh).
//   4    control lines /CE /OE /PGM /PW (page write), 0 = low:
//          00h all lines released (the programmer's reset)
//          1Fh idle          1 1 1 1      9Fh idle, word drivers on  1 1 1 1
//          0Fh read          0 0 1 1      97h word read-back         0 0 1 1
//          15h program pulse 0 1 0 1      95h word program pulse     0 1 0 1
//          1Dh selected      0 1 1 1      13h erase strobe           1 1 0 0
//          11h page/write    0 1 0 0
//        Role 1: /CE from the mask; 1Fh and 0Fh read (/OE low), 1Dh, 15h
//        and 11h /OE high (15h and 11h /PGM low, 11h /PW low).
//        Role 2: /CE low but for 13h, /OE from the gate, /PGM and /PW as
//        in the table.
//   5    bus mode: 0 or 8 addressed, 9 sequential read (the counter steps
//        after each data read), 1 strobed read (the counter steps when
//        register 4 goes from 0Fh to 1Fh; kind 3: after each data read)
//   6    data bits 0-7; driven onto the part while /OE is high, read = the
//        part's data lines
//   7    kind 2: data bits 8-15; other kinds: 0 none, 1 write-strobe mode
//        (with register 4 = 15h each data write starts /PGM low, the next
//        address or data write ends it), 3 paged mode
//   8    0; kind 2 also 1 (the other high-address routing select; the
//        40-pin parts route A16-A19 the same way)
//   9-11 0, but for the command queue:
// Command queue: the image keeps a queue of up to 512 write cycles and plays
// it to the part in one run, within any page-load window.
//   12   write: the next queue byte. An entry is address bits 0-7, 8-15,
//        then the datum (kind 2: data bits 0-7, 8-15) in address mode, the
//        datum alone in data-only mode. The DAC strobe (register 13 bit 7
//        rising) rewinds the queue to its start.
//   9, 10 the run length, bits 8-15 then 0-7; writing register 10 with
//        register 4 = 19h starts the run: register 5 = 6 plays entries with
//        their addresses (bits 16-23 from register 2), 3 plays data-only
//        entries from the address latched before, one word up per entry.
//        Each entry is one /WE pulse with /CE low and /OE high (the program-
//        strobe gate does not apply); the latch is
//        left at the last played address; entries past the length stay
//        unplayed.
//   2    read: bit 0 set while the run goes on.
//   4    19h queue run (lines as idle until the run pulses /WE)
//   5    6 and 3 the queue runs above
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "sim/Electrical.h"
#include "sim/Socket.h"
#include "sim/SocketBus.h"

namespace sim {

class MemoryBusPersonality : public SocketBusPersonality {
public:
    explicit MemoryBusPersonality(const LogicImageHeader& header);

    uint16_t Id() const override { return kPersonalityMemoryBus; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

    uint32_t Address() const { return counter_; }
    int Kind() const { return kind_; }
    // Data reads and writes seen (for the access counts of the benchmark).
    uint64_t DataReads() const { return dataReads_; }

private:
    struct Lines {
        bool released = true;
        bool ce = true, oe = true, pgm = true, pw = true;
        bool highData = true; // data bits 8-15 driven (while /OE is high)
    };
    Lines LinesFor(int s) const;
    Lines StrobeLines(uint8_t v, bool selected) const;
    // StrobeLines of every register-4 value, for a socket not selected [0]
    // and selected [1].
    Lines strobeLines_[2][256];
    void Snapshot(int s) override;
    bool SnapshotEmptySockets() const override { return false; }
    bool NamesItsTables() const override { return true; }
    // The sockets a data read sees, with their numbers.
    std::vector<std::pair<int, Socket*>> ReadSockets();
    uint8_t ReadData(int byteIndex);
    bool ValidStrobe(uint8_t v) const;
    bool GatedOut(int s) const;
    bool SequentialSteps() const;
    uint32_t PartAddress() const;

    int kind_;
    int role_;
    int pinCount_;
    std::vector<int> addressPins_; // socket pins
    std::vector<int> dataPins_;
    int cePin_ = 0, oePin_ = 0, pgmPin_ = 0, pwPin_ = 0, vccPin_ = 0;
    // The bus's drives as pin masks (bit p: socket pin p): for each byte k
    // of the address (data) the pins its set bits drive high, and every
    // address (data) pin. Without a pin named twice in a list; else
    // maskTables_ is false and the lists are walked.
    bool maskTables_ = true;
    uint64_t addressMask_ = 0, dataMask_ = 0;
    uint64_t dataHighMask_ = 0; // data bits 8-15
    bool wordDrivers_ = false;
    std::vector<std::array<uint64_t, 256>> addressTables_, dataTables_;
    // Each socket's drives as its snapshot holds them.
    uint64_t snapDriven_[kMaxSockets] = {}, snapHigh_[kMaxSockets] = {};
    // What each socket's drives were worked out from.
    struct DriveInputs {
        bool valid = false;
        uint64_t lines = 0; // Lines(...) of the registers below
        uint32_t address = 0;
        bool operator==(const DriveInputs&) const = default;
        static uint64_t Lines(uint8_t strobes, uint8_t mask, uint8_t reg7, bool armed, bool queueWe, uint8_t dataLow,
                              uint8_t dataHigh) {
            return uint64_t{strobes} | uint64_t{mask} << 8 | uint64_t{reg7} << 16 | uint64_t{armed} << 24 |
                   uint64_t{queueWe} << 25 | uint64_t{dataLow} << 32 | uint64_t{dataHigh} << 40;
        }
    };
    DriveInputs drawnInputs_[kMaxSockets];
    int gate_ = 0;
    bool counterLoad_ = false;
    int highRouting_ = 0;
    // Counter load: 0 not loaded, 1 register 1 saw FFh, 2 loaded.
    int loadState_ = 0;

    uint32_t counter_ = 0;
    uint8_t mask_ = 0xFF;
    uint8_t strobes_ = 0;
    uint8_t mode_ = 0;
    uint8_t dataLow_ = 0, dataHigh_ = 0;
    uint8_t reg2_ = 0, reg7_ = 0, reg8_ = 0;
    uint8_t lastLow_ = 0;
    bool armed_ = false;
    uint64_t dataReads_ = 0;
    // Command queue.
    bool flashPinout_ = false;
    bool readSteps_ = false;
    std::array<uint8_t, 4 * 512> queue_{}; // 512 entries of up to four bytes
    size_t queueAt_ = 0, queueFilled_ = 0;
    uint8_t reg13_ = 0;
    uint8_t runHigh_ = 0;
    bool queueWe_ = false;
    uint64_t runEndsUs_ = 0;
    bool RunQueue(uint32_t entries);
};

// Registers the memory-bus personality with the simulated programmer.
void RegisterMemoryBusPersonality();

} // namespace sim
