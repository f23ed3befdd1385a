// The programmer-RAM logic image: 16 KB of RAM in the programmer that the
// host fills and checks, and an autonomous programmer that, once the part is
// powered in its bootloader mode, burns that RAM into it one byte per step
// of virtual time while the host only watches.
//
//   RAM: register 4 written 2 then 0 resets the RAM counter; register 4 = 4,
//   the byte on register 3, register 4 = 0 stores it at the counter; a read
//   of register 3 gives the byte at the counter; any write of register 7
//   advances the counter.
//   Run: register 4 = 9, register 1 = 1, register 0 = 2 prepare it; then
//   register 2 = 1 and register 0 = 3 start the programmer (parameter 0: the
//   milliseconds it gives each byte). Registers 0 and 1 read the address
//   reached (low, high byte); register 4 reads bit 0 done, bit 1 busy (set
//   from the start until the end check after the last byte). Register 0 = 0
//   stops it. The programmer halts for good when the part leaves its mode or
//   loses its programming voltage.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/LogicImage.h"
#include "sim/SeqClockMcuChip.h"
#include "sim/SocketBus.h"

namespace sim {

class RamDownloadBusPersonality : public SocketBusPersonality {
public:
    static constexpr uint32_t kRamBytes = 0x4000;
    static constexpr uint64_t kEndCheckUs = 20000;

    explicit RamDownloadBusPersonality(const LogicImageHeader& h);

    uint16_t Id() const override { return kPersonalityProgrammerRam; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;

    const std::vector<uint8_t>& Ram() const { return ram_; }
    bool Started() const { return running_; }
    // Injected faults: the RAM byte at `address` reads back with bit 0
    // flipped; the programmer never starts; it halts before `address`; its
    // busy bit never clears after the last byte.
    void CorruptRamRead(uint32_t address) { corruptAt_ = address; }
    void NeverStart() { neverStart_ = true; }
    void StallAt(uint32_t address) { stallAt_ = address; }
    void EndNeverClears() { endStuck_ = true; }
    void ClearFaults() {
        corruptAt_ = stallAt_ = -1;
        neverStart_ = endStuck_ = false;
    }

private:
    // Socket 0's view at a time of the programmer's own schedule.
    class TimedView : public View {
    public:
        TimedView(const SocketBusPersonality& bus, uint64_t at) : View(bus, 0), at_(at) {}
        uint64_t NowUs() const override { return at_; }

    private:
        uint64_t at_;
    };

    void Snapshot(int s) override { ElectricalConditions(snap_[s]); }
    SeqClockMcuChip* Chip() const;
    // Brings the chips and the programmer's run up to the present access.
    void CatchUp(SimProgrammer& p);
    void Advance(uint64_t until);
    uint32_t Reached() const;

    uint64_t stepUs_;
    uint8_t reg_[12] = {}; // the bus registers 0-11
    std::vector<uint8_t> ram_;
    uint32_t ramCounter_ = 0;
    bool running_ = false, halted_ = false, done_ = false;
    uint64_t startUs_ = 0, doneUs_ = 0;
    uint32_t next_ = 0; // the next byte the programmer burns
    int64_t corruptAt_ = -1, stallAt_ = -1;
    bool neverStart_ = false, endStuck_ = false;
};

} // namespace sim
