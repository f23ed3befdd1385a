// The NAND-bus personality: the logic image of the small-page NAND parts
// (48-pin TSOP, I/O0-7 on 29-32 and 41-44, R/B 7, /RE 8, /CE 9, CLE 16,
// ALE 17, /WE 18, /WP 19). Supplies and grounds stay with the electrical
// model; /WP is held high while the lines are driven.
//
// Registers (0 is the reset value of each; any other value is a violation):
//   2  write: 1 CLE high, 2 ALE high, 0 both low, 8 the power-up state (both
//      low); read: bit 0 = ready, the wired AND of the R/B lines of the
//      enabled sockets
//   3  chip enables, active low: bit s the /CE of gang socket s (bit 0 of
//      the programmer's own socket); writes reach every enabled socket,
//      reads of several enabled sockets are ORed, so any fail bit shows
//   4  00h lines released; 13h stream: each register-6 read is one /RE
//      cycle; 11h idle; 03h one strobed read: the next register-6 read
//   5  the data path: 4 idle, 0 spare-area scan, 5 page data, 1 pages with
//      their spare bytes, 6 programming page data and erasing, 2
//      programming pages with their spare bytes
//   6  write: one /WE cycle carrying a command, an address byte or a datum
//      as register 2 says; read: one /RE cycle in modes 13h and 03h
//   7  1: the wiring of the 256-byte-page parts (recorded)
#pragma once
#include <cstdint>

#include "sim/SocketBus.h"

namespace sim {

class NandBusPersonality : public SocketBusPersonality {
  public:
    uint16_t Id() const override { return kPersonalityNand; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;

    uint8_t Wiring() const { return reg7_; }
    uint8_t DataPath() const { return reg5_; }

  private:
    void Snapshot(int s) override;
    bool SnapshotEmptySockets() const override { return false; }
    bool Enabled(int s) const { return !(mask_ & (1u << s)); }
    uint8_t ReadCycle();
    bool Ready();

    // Levels of /CE, CLE, ALE, /WE, /RE, /WP as bits 0-5 (1 high).
    unsigned ControlBits(int s) const;

    // What snap_[s] holds beyond the electrical conditions, so that a new
    // snapshot rewrites only the lines that moved.
    struct Drawn : DrawnBase {
        bool active = false, data = false;
        uint8_t datum = 0;
        unsigned controls = 0;
    };
    Drawn drawn_[kMaxSockets];

    uint8_t reg2_ = 0, mask_ = 0xFF, reg4_ = 0, reg5_ = 0, reg7_ = 0;
    uint8_t data_ = 0;
    bool weLow_ = false, reLow_ = false, driveData_ = false;
};

void RegisterNandPersonality();

} // namespace sim
