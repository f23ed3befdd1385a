// An 8051-family microcontroller in its programming mode, at pin level,
// configurable by part: EPROM (UV-erased) and flash parts, parts selecting the
// function on port mode lines and parts taking an 8-bit control code.
//
// Behaviour, as the parts' datasheets describe the programming mode:
// - Mode: VCC at 4.5 V or more, RST at the part's level and PSEN
//   low; outside it the chip drives nothing and ignores pulses.
// - Function: decoded from the mode pins by the part's mode table (value and
//   care mask over the mode pins, first match wins).
// - Read functions drive the data pins while the verify strobe is low (parts
//   without a strobe: always): code bytes (XNORed with the encryption array,
//   entry address mod the array size), the secured pattern once lock bit 2 is
//   programmed, signature bytes and the option register, configuration bytes
//   and the lock byte.
// - Program pulse: ALE/PROG low while a write function is selected, with
//   EA/VPP in the part's window (a 5 V part: at logic level) and the data
//   driven. A pulse of at least MinPulseUs counts for the cell latched at its
//   start; once the cell had the pulses it needs its bits are cleared towards
//   the datum. Lock bit 1 refuses further code programming.
// - EA/VPP above 6.0 V before VCC, outside the window, or on a 5 V part is a
//   violation and the pulse changes nothing.
// - Flash parts erase array, encryption array, lock bits and the option
//   register only by their erase function and an erase pulse of EraseMinUs;
//   EPROM parts are erased with UvErase().
//
// - Self-timed flash parts: one short pulse starts a byte (or lock) write of
//   the part's write time; the ready pin reads low meanwhile, pulses are
//   ignored and a code read gives the written datum with D7 inverted (data
//   polling). An erase may need a raised VCC and run for the part's erase
//   time from the pulse's start.
// - Parts without address pins keep an internal address counter: RST's
//   rising edge sets it to 0, each rising edge on the counter clock advances
//   it.
//
// Fault injection: a cell that never programs, a cell needing k pulses, a
// chip needing k erase pulses before it erases, a ready line stuck low;
// another part's identity (AnswerAnotherIdentity: the device code's bit 0
// inverted).
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

enum class McuFunction : uint8_t {
    None,
    ReadCode,
    WriteCode,
    WriteTable,
    Lock1,
    Lock2,
    Lock3,
    LockByAddress, // lock bit n at address n (1-3)
    LockByte,      // lock bits 1-3 from D7, D6, D5 (0 programs)
    ReadSignature,
    WriteOption,
    ReadLock,
    Erase,
    WriteConfig,
    Code,          // reads code on the verify strobe, programs on PROG
    LockLevelByte, // one-time lock byte: low two bits 2 lock bit 1, 1 bits 1-2, 0 bits 1-3
    Table,         // reads the encryption table entry on the verify strobe, programs it on PROG
    Security1,     // reads the lock byte on the verify strobe, programs lock bit 1 on PROG
    Security2,     // the same for lock bit 2
};

struct McuModeEntry {
    McuFunction function;
    uint32_t value; // mode pin i is bit i
    uint32_t care;
};

// Pin roles as chip pins (1-based; 0 = none).
struct McuPinout {
    int pinCount = 40;
    int vcc = 40;
    std::vector<int> gnd{20};
    int rst = 9, psen = 29, ale = 30, ea = 31;
    int strobe = 28; // verify strobe (P2.7); 0 = reads need none
    std::vector<int> address; // A0 first
    std::vector<int> data;    // D0 first
    std::vector<int> mode;    // bit 0 first
    int ready = 0;            // RDY/BSY output (0: none)
    int counterClock = 0;     // address from the internal counter (0: address pins)
    // High address latch: while this pin is high the address pins' byte is
    // taken as the high byte, held while it is low (0: none).
    int latch = 0;
    // A second supply pin the part needs at VCC as well (0: none).
    int vccB = 0;
};

struct Mcu8051Facts {
    std::string maker;
    std::string name;
    // The programming interface where the datasheet gives none; empty when
    // every fact below is the datasheet's.
    std::string note;
    // No datasheet: the programming interface follows the algorithm row.
    bool followsRow = false;
    uint32_t codeBytes = 4096;
    uint32_t tableBytes = 64;
    std::vector<std::pair<uint32_t, uint8_t>> signature; // (address, byte)
    bool flash = false;
    bool fiveVoltProgramming = false; // EA/VPP at VCC level while programming
    bool fiveVoltErase = false;       // the same for the erase pulse
    int vppMinTenths = 125, vppMaxTenths = 130;
    int eaLimitTenths = 135; // absolute maximum on EA/VPP
    uint32_t minPulseUs = 90;
    int pulsesNeeded = 1;
    uint32_t eraseMinUs = 10000;
    // Self-timed parts: write cycle of a byte or lock bit (0: none, the pulse
    // itself programs), the lock-bit pulse width (0: minPulseUs), the erase
    // time counted from the pulse's start (0: the pulse is the erase), and
    // the VCC that erase and lock writes need (0: the programming VCC).
    uint32_t writeTimeUs = 0;
    uint32_t lockMinPulseUs = 0;
    uint32_t eraseTimeUs = 0;
    int highVccMinTenths = 0;
    int lockBits = 3;
    bool rstHigh = true;
    bool optionRegister = false;
    uint8_t securedPattern = 0xFF;
    // The lock byte: bit positions of lock bits 1-3 and whether a programmed
    // bit reads 1.
    std::array<int, 3> lockReadBits{7, 6, 3};
    bool lockReadProgrammedHigh = false;
    uint32_t configAddress = 0; // configuration bytes (0: none)
    std::vector<McuModeEntry> modes;
    McuPinout dip;   // 40-pin DIP pinout
    McuPinout plcc;  // 44-pin PLCC pinout (pinCount 0: none)
    bool plccPackage = false; // the library's part is the PLCC, seated on the adapter
    // The function is taken from the mode pins at each switch of EA/VPP on or
    // off and held in between (the mode pins double as address pins).
    bool modeOnEaEdge = false;
    // The signature answers only with EA/VPP at logic level (4.5-6.0 V).
    bool signatureAtLogicEa = false;
    // Chip pin i + 1 on socket pin socketPins[i] (0: not connected) where an
    // adapter seats the part otherwise than McuSocketPins; empty: as that.
    std::vector<int> socketPins;
};

// The parts are in the catalog (FindFacts<Mcu8051Facts>(maker, name)).

// Chip pin -> socket pin: a DIP at the bottom of the socket, or a PLCC on the
// 44-pin adapter (package pin n on socket pin n + 2).
std::vector<int> McuSocketPins(const McuPinout& pinout);

class Mcu8051Chip : public ChipModel {
public:
    // Seated as the pinout says; socketPins maps chip pin i + 1 to a socket
    // pin (empty: the pinout's standard seating).
    Mcu8051Chip(Mcu8051Facts facts, bool plcc = false, std::vector<int> socketPins = {});

    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return socketPins_; }
    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    // The data byte is worked out once for all its pins.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;
    ChipPinLimits Limits() const;

    const Mcu8051Facts& Facts() const { return facts_; }
    const McuPinout& Pinout() const { return pin_; }

    uint8_t Cell(uint32_t a) const { return a < code_.size() ? code_[a] : 0xFF; }
    void SetCell(uint32_t a, uint8_t v) {
        if (a < code_.size()) code_[a] = v;
    }
    uint8_t Table(uint32_t i) const { return i < table_.size() ? table_[i] : 0xFF; }
    bool Locked(int bit) const { return bit >= 1 && bit <= 3 && locks_[bit - 1]; }
    // Any lock bit programmed (some rows secure with lock bit 2 alone).
    bool Secured() const { return locks_[0] || locks_[1] || locks_[2]; }
    uint8_t OptionRegister() const { return option_; }
    uint8_t Config(int i) const { return config_[i & 1]; }
    bool IsBlank() const;
    // EPROM parts: exposure to UV light.
    void UvErase();

    // Faults.
    void StickCell(uint32_t a) { stuck_[a] = true; }
    void StickTableEntry(uint32_t i) { stuckTable_[i] = true; }
    void SetPulsesNeeded(uint32_t a, int n) { needed_[a] = n; }
    void SetErasePulsesNeeded(int n) { erasesNeeded_ = n; }
    // The ready pin reads low whatever the chip does.
    void StickReady() { readyStuck_ = true; }
    // Lock bits refuse to program: all of them, or lock bit n (1-3) alone.
    void RefuseLocks() { locksRefused_ = 0x7; }
    void RefuseLock(int bit) {
        if (bit >= 1 && bit <= 3) locksRefused_ |= static_cast<uint8_t>(1u << (bit - 1));
    }

    // What happened: program pulses per function, erase pulses.
    uint32_t Pulses(McuFunction f) const;
    uint32_t ErasePulses() const { return erasePulses_; }
    const std::vector<uint64_t>& ErasePulseWidths() const { return eraseWidths_; }
    int PulsesOn(uint32_t a) const;
    // Pulses that came while a write was running.
    uint32_t IgnoredPulses() const { return ignoredPulses_; }
    // VCC at each erase pulse's start.
    const std::vector<int>& EraseVcc() const { return eraseVcc_; }
    uint32_t Counter() const { return counter_; }
    uint32_t LatchedHigh() const { return latchedHigh_; }
    // Rising edges on the high-address latch pin while powered.
    uint32_t LatchStrobes() const { return latchStrobes_; }
    void ClearCounts() {
        pulseCounts_.clear();
        erasePulses_ = 0;
        eraseWidths_.clear();
        eraseVcc_.clear();
        ignoredPulses_ = 0;
    }

private:
    int S(int chipPin) const;
    bool High(const PinEnvironment& env, int chipPin) const;
    // A group of chip pins read as bits (bit i chip pin i of the group); pins
    // off the socket read 0.
    struct PinGroup {
        std::vector<int> sockets; // socket pin of each (0: off the socket)
        uint32_t onSocket = 0;
    };
    PinGroup Group(const std::vector<int>& chipPins) const;
    uint32_t Bits(const PinEnvironment& env, const PinGroup& group) const;
    bool InMode(const PinEnvironment& env) const;
    McuFunction FunctionNow(const PinEnvironment& env) const;
    bool DataOut(const PinEnvironment& env, uint8_t& v) const;
    void EndPulse(const PinEnvironment& env, uint64_t now);
    void Apply(McuFunction f, uint32_t address, uint8_t data);
    void EraseAll();
    uint8_t ReadByte(McuFunction f, uint32_t address) const;
    uint32_t Address(const PinEnvironment& env) const;
    bool Busy(uint64_t now) const { return now < busyUntil_; }
    int VccNow(const PinEnvironment& env) const;
    bool PulseVoltageOk(const PinEnvironment& env, McuFunction f) const;
    void StepCounter(const PinEnvironment& env);
    void StepLatches(const PinEnvironment& env);
    bool EaOn(const PinEnvironment& env) const;
    void FinishErase(const PinEnvironment& env, uint64_t now);

    Mcu8051Facts facts_;
    McuPinout pin_;
    std::vector<int> socketPins_;
    PinGroup address_, data_, mode_;
    // Per socket pin: the chip pin on it (ChipPinAt) and its place among the
    // data pins (-1: none), taken at seating.
    uint8_t chipPinOn_[kSocketPins + 1] = {};
    int8_t dataBitOn_[kSocketPins + 1] = {};
    uint64_t drivingPins_ = 0; // bit n: socket pin n is a data pin or the ready pin
    std::vector<uint8_t> code_;
    std::vector<uint8_t> table_;
    bool locks_[3] = {};
    uint8_t option_ = 0xFF;
    uint8_t config_[2] = {0xFF, 0xFF};

    bool vccOn_ = false;
    bool pulsing_ = false;
    bool pulseValid_ = false;
    uint64_t pulseStart_ = 0;
    McuFunction pulseFunction_ = McuFunction::None;
    uint32_t pulseAddress_ = 0;
    uint8_t pulseData_ = 0xFF;
    bool vppEarlyReported_ = false;

    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, bool> stuckTable_;
    std::map<uint32_t, int> needed_;
    std::map<uint32_t, int> counted_;
    int erasesNeeded_ = 1;
    bool readyStuck_ = false;
    uint8_t locksRefused_ = 0; // bit n-1: lock bit n refuses
    uint64_t busyUntil_ = 0;
    uint8_t lastWritten_ = 0xFF;
    uint32_t ignoredPulses_ = 0;
    bool erasePending_ = false;
    uint32_t counter_ = 0;
    bool rstWasHigh_ = false;
    bool clockWasHigh_ = false;
    uint32_t latchedHigh_ = 0;
    bool latchWasHigh_ = false;
    uint32_t latchStrobes_ = 0;
    bool eaWasOn_ = false;
    uint32_t latchedMode_ = 0;
    std::vector<int> eraseVcc_;
    std::map<McuFunction, uint32_t> pulseCounts_;
    uint32_t erasePulses_ = 0;
    std::vector<uint64_t> eraseWidths_;
};

} // namespace sim
