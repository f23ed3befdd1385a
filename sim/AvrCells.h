// The memory, fuse and lock state of an AT90S-type part, with the counters
// and injectable faults the tests read; the parallel and the serial chip
// models keep it alike.
#pragma once
#include <cstdint>
#include <vector>

namespace sim {

class AvrCells {
public:
    // Fuse bits and lock bits as stored (0 programmed); the lock half holds
    // bit 1 lock bit 1, bit 2 lock bit 2.
    uint8_t Fuses() const { return fuses_; }
    uint8_t Locks() const { return locks_; }
    void SetLocks(uint8_t locks) { locks_ = locks; }
    uint32_t Writes() const { return writes_; }
    uint32_t Erases() const { return erases_; }
    uint32_t FuseWrites() const { return fuseWrites_; }
    uint32_t LockWrites() const { return lockWrites_; }
    uint8_t LastLockData() const { return lastLockData_; }
    // Lock bit 1 and lock bit 2 as the part holds them (programmed: true).
    bool LockBit1() const { return (locks_ & 0x02) == 0; }
    bool LockBit2() const { return (locks_ & 0x04) == 0; }
    // Faults: a write that never finishes (busy for good); a flash or EEPROM
    // byte that never takes a write; fuse writes that change nothing; lock
    // bit writes that change nothing.
    void StickBusy() { stuckBusy_ = true; }
    void StickCell(uint32_t a) { stuckCell_ = static_cast<int64_t>(a); }
    void StickFuses() { stuckFuses_ = true; }
    void StickLocks() { stuckLocks_ = 0x06; }
    // Lock bit n (1 or 2) alone never programs.
    void StickLock(int bit) {
        if (bit == 1 || bit == 2) stuckLocks_ |= static_cast<uint8_t>(1u << bit);
    }

protected:
    std::vector<uint8_t> cells_;
    uint8_t fuses_ = 0xFF, locks_ = 0xFF;
    uint32_t writes_ = 0, erases_ = 0, fuseWrites_ = 0, lockWrites_ = 0;
    uint8_t lastLockData_ = 0xFF;
    bool stuckBusy_ = false, stuckFuses_ = false;
    uint8_t stuckLocks_ = 0; // lock-half bits that never program
    int64_t stuckCell_ = -1;
};

} // namespace sim
