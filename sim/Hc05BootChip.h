// 68HC705-type microcontrollers in their bootstrap mode, running the
// programs the programmer downloads on a 68HC05 core (Cpu6805.h).
//
// Reset released with the supply in its window, the mode pins held and the
// high voltage on the mode pin: the bootstrap ROM takes download bytes into
// RAM from 0100h - ramBytes up to 00FFh, one per byteUs at most (a byte
// sooner is lost, a violation), and jumps to the first of them once RAM is
// full. A secured part's ROM takes nothing: it stays silent.
//
// What the program sees (the bootstrap logic image's wiring, BootBus.h):
//   0000h PA  input: the logic's port latch as the strobe fell, lines the
//             logic did not drive at their pull level (reading such an input
//             is a violation); a pin the program makes an output while the
//             logic drives it is contention, a violation
//   0001h PB  output: the logic's data-in register, where DDRB drives
//   0002h PC  bit 0 input: the strobe (0 while strobed); bit 1 output:
//             ready (register 1 bit 0) where DDRC drives
//   0004h-0006h DDRA-DDRC
//   0007h EEPROM control (parts with EEPROM): bit 2 E1ERA, bit 1 E1LAT,
//         bit 0 E1PGM
//   001Ch EPROM programming: bit 2 ELAT, bit 0 EPGM
// EPROM (and the option byte at securityAt): with ELAT set a write latches
// address and data; EPGM (only with ELAT) burns them while set, with the
// programming voltage on vppPin throughout: cleared after burnUs the cell
// takes the byte (bits leave the blank value), sooner it is left as it was
// (a violation), as it is when EPGM is set without the voltage or the
// voltage or supply goes while it burns. EEPROM: the same with E1LAT/E1PGM
// and eeWriteUs (bits cleared), or with E1ERA as well, eeEraseUs (the byte
// erased to FFh); no programming voltage needed. The part is secured while
// securityBit of the option byte differs from its erased state.
//
// The CPU runs on virtual time at busKHz: every call from the logic first
// brings it up to now with the pins as they were.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Cpu6805.h"
#include "sim/PartFacts.h"
#include "sim/SocketBus.h"

namespace sim {

struct Hc05BootFacts : PartFacts {
    std::string maker;
    std::string note;
    struct Range {
        uint32_t first, last;
    };
    std::vector<Range> eprom;  // erased to `blank`
    std::vector<Range> eeprom; // erased to FFh
    uint32_t ramBytes = 176;   // the most the bootstrap ROM takes
    uint32_t byteUs = 2000;    // the bootstrap ROM's time per download byte
    int modePin = 0;           // chip pin that needs modeMinTenths to enter bootstrap
    int modeMinTenths = 90;
    int modeLimitTenths = 110;
    int vppPin = 0;            // chip pin of the programming voltage
    int vppMinTenths = 150, vppLimitTenths = 175;
    std::vector<int> highVoltagePins; // further chip pins that take up to vppLimitTenths
    uint32_t burnUs = 2000, eeWriteUs = 10000, eeEraseUs = 10000;
    bool hasSecurity = false;
    uint32_t securityAt = 0; // the option byte holding the security bit
    uint8_t securityBit = 0x08;
    uint32_t busKHz = 2000;
};

class Hc05BootChip : public CatalogChip, private Cpu6805Bus {
public:
    explicit Hc05BootChip(const Hc05BootFacts& facts);

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void SuppliesChanged(const PinEnvironment& env) override { Sample(env); }
    void Update(const PinEnvironment& env) override { Sample(env); }
    ChipDrive Output(const PinEnvironment&, int) const override { return ChipDrive::None; }
    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override;
    size_t Words() const override { return cells_.size(); }
    uint16_t Cell(uint32_t a) const override { return a < cells_.size() ? cells_[a] : 0xFF; }
    void SetCell(uint32_t a, uint16_t v) override {
        if (a < cells_.size()) cells_[a] = static_cast<uint8_t>(v);
    }

    // What the logic does to the part.
    void HoldReset(const PinEnvironment& env, bool modePins);
    void ReleaseReset(const PinEnvironment& env);
    void DownloadByte(const PinEnvironment& env, uint8_t b);
    // The strobe falls with `port` on PA, the logic driving the lines in
    // `driven` / rises; what PB drives now.
    void Strobe(const PinEnvironment& env, uint8_t port, uint8_t driven = 0xFF);
    // The lines of PA the logic drives from now on.
    void LogicDrivesPort(const PinEnvironment& env, uint8_t driven);
    void StrobeReleased(const PinEnvironment& env);
    uint8_t DataOut(const PinEnvironment& env);
    bool Ready(const PinEnvironment& env);
    bool Downloading() const { return state_ == State::Loading; }

    bool Secured() const;
    bool Running() const { return state_ == State::Running; }
    uint32_t Burns() const { return burns_; }
    uint32_t Downloaded() const { return downloaded_; }
    uint32_t Starts() const { return starts_; }
    const Cpu6805& Cpu() const { return cpu_; }
    // The cells burnt or written, in order.
    const std::vector<uint32_t>& Taken() const { return taken_; }
    void ClearTaken() { taken_.clear(); }
    // Injected faults: a cell that never takes a byte; a ready line stuck low.
    void StickCell(uint32_t a) { stuck_ = static_cast<int64_t>(a); }
    void NeverReady() { neverReady_ = true; }

private:
    enum class State { Off, Reset, Loading, Running, Silent };
    enum Work { kIdle, kEpromBurn, kEeWrite, kEeErase };
    int Pin(int chipPin) const { return pins_[static_cast<size_t>(chipPin - 1)]; }
    bool Powered(const PinEnvironment& env) const;
    bool InEprom(uint32_t a) const;
    bool InEeprom(uint32_t a) const;
    uint16_t RamStart() const { return static_cast<uint16_t>(0x100 - facts_.ramBytes); }
    // Runs the program up to now, then takes the supply and programming
    // voltage as they are.
    void Sync(const PinEnvironment& env);
    void Sample(const PinEnvironment& env);
    uint64_t CpuNowUs() const { return startUs_ + cpu_.cycles * 1000 / facts_.busKHz; }
    void Violation(const std::string& what) const;
    void WriteProg(uint8_t v);
    void WriteEepcr(uint8_t v);
    void StartWork(Work w);
    void EndWork();
    void LoseWork(const char* why);
    // Reports PA pins both the program and the logic drive, once each time
    // they start to.
    void CheckContention();

    // The CPU's bus.
    uint8_t Read(uint16_t a) override;
    void Write(uint16_t a, uint8_t v) override;
    bool Steady(uint16_t) const override { return true; }

    Hc05BootFacts facts_;
    std::vector<int> pins_;
    std::vector<uint8_t> cells_;
    Cpu6805 cpu_;
    State state_ = State::Off;
    bool modeHeld_ = false;
    uint8_t ram_[256] = {};
    uint32_t downloaded_ = 0, starts_ = 0, burns_ = 0;
    uint64_t lastByteUs_ = 0, startUs_ = 0;
    const PinEnvironment* env_ = nullptr; // while the program runs in Sync
    bool vpp_ = false, illegalSeen_ = false;
    // Ports and registers.
    uint8_t portA_ = 0xFF, portB_ = 0, portC_ = 0, ddrA_ = 0, ddrB_ = 0, ddrC_ = 0, prog_ = 0, eepcr_ = 0;
    // PA: the output latch; the lines the logic drove at the strobe and
    // drives now; whether a floating read or contention was reported.
    uint8_t portAOut_ = 0, strobeDrivenA_ = 0xFF, logicDrivesA_ = 0xFF;
    bool floatSeen_ = false, contended_ = false;
    bool strobeLow_ = false;
    bool inputsMoved_ = true; // since the program last ran
    // The latched cell and the work on it.
    bool latched_ = false;
    uint32_t latchAt_ = 0;
    uint8_t latchValue_ = 0;
    Work work_ = kIdle;
    uint64_t workFrom_ = 0;
    bool neverReady_ = false;
    int64_t stuck_ = -1;
    std::vector<uint32_t> taken_;
};

} // namespace sim
