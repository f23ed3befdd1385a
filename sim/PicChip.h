// A PIC microcontroller in its serial programming mode, at pin level,
// configurable by part: 14-bit EPROM and flash parts, 12-bit parts that use
// the same 14-bit frames, and the parity-memory parts with 16-bit frames.
//
// Behaviour, as the parts' programming data sheets describe it:
// - Entry: VDD up first, then MCLR raised into the part's VIHH window while
//   clock and data are not held high; leaving the window or dropping VDD
//   leaves the mode and resets the counter. MCLR above the window is a
//   violation.
// - Commands: 6 bits, bit 0 first, taken on the falling clock edge. Data
//   frames follow load and read commands: a start clock, 14 data bits (16 on
//   parity parts), a stop clock. Loads take each bit on the falling edge;
//   reads drive each bit from the rising edge until the next one. Unknown
//   commands carry no frame and are ignored. A floating clock is no edge.
//   Parity parts load nothing from a frame whose parity bits disagree.
// - Counter: 14-bit parts start at 0 and reach the configuration memory
//   (2000h-2007h: ID words, device ID at 2006h, configuration word at 2007h)
//   through Load Configuration; 12-bit parts start on the configuration word
//   and the first increment reaches address 0, the ID words follow the last
//   program word, which holds the factory calibration value.
// - EPROM parts: Begin Programming starts a pulse, End Programming ends it;
//   a pulse of at least the part's width counts for the word at the counter,
//   and once the word had the pulses it needs its bits go from 1 to 0 where
//   the latch holds 0 (never back to 1). Erased with UvErase().
// - Flash parts: Begin Programming starts a self-timed write of the latch
//   (program or data memory by the last load); the part is busy for its
//   write time and ignores commands while busy (counted: the datasheet
//   forbids them). The
//   code-protection erase (commands 1 and 7 before Begin Programming, on the
//   configuration word) erases everything; Bulk Erase Data clears the data
//   memory. 64 or more data-memory bytes, addressed by the counter's low bits.
// - Code protection (a protection bit of the configuration word at 0 in
//   every copy the datasheet mirrors it into; copies that disagree leave it
//   out of force): program memory refuses programming; flash parts read it
//   as 0, EPROM parts read it scrambled (the 12-bit parts leave the first
//   64 words and the calibration word readable).
//
// Fault injection: a word that never programs, a word needing k pulses,
// configuration bits whose cells never program (they stay 1), another
// part's device ID (AnswerAnotherIdentity).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

// Pin roles as chip pins (1-based).
struct PicPinout {
    int pinCount = 18;
    std::vector<int> vdd{14};
    std::vector<int> vss{5};
    int mclr = 4;
    int clock = 12;
    int data = 13;
    // Parallel parts: the word bus (bit 0 first), the program-pulse pin, the
    // pins the mode needs high or low as MCLR rises, and the code the high
    // byte of the bus must carry then (0: none).
    std::vector<int> bus{};
    int pulse = 0;
    std::vector<int> modeHigh{};
    std::vector<int> modeLow{};
    uint32_t entryCode = 0;
};

struct PicFacts {
    std::string maker;
    std::string name;
    // Where a fact is not the datasheet's own, the note says so.
    std::string note;
    int wordBits = 14;          // 12 or 14 (serial), 12 or 16 (parallel)
    bool parallel = false;      // programmed over a word bus (PicParallelChip)
    uint32_t codeWords = 1024;
    uint32_t userWords = 0;     // program words the user's code may fill (0: codeWords)
    uint32_t dataBytes = 0;     // data memory (flash parts)
    bool flash = false;
    bool parityFrames = false;  // 16-bit frames with two parity bits
    uint32_t minPulseUs = 100;  // EPROM: program pulse width
    int pulsesNeeded = 1;
    // EPROM: programming time, in minimum-width pulses, a configuration cell
    // needs before it takes (the programming datasheets' 100 pulses).
    uint32_t configPulses = 1;
    // EPROM: a program word that read right after n pulses holds only after
    // overprogramFactor x n more pulses' worth of programming time (0: not
    // checked); a word short of it counts as weak.
    uint32_t overprogramFactor = 0;
    uint32_t writeUs = 10000;   // flash: self-timed write
    uint32_t eraseUs = 10000;   // flash: bulk erase
    int vihhMinTenths = 120, vihhMaxTenths = 140;
    int mclrLimitTenths = 140;
    uint32_t deviceId = 0;      // word at 2006h (0: none)
    uint32_t configMask = 0x3FFF; // implemented configuration bits (others read 1, 12-bit parts 0)
    uint32_t protectMask = 0x30;  // protection bits of the configuration field (copies below)
    // Each protection bit with every copy the datasheet mirrors it into, one
    // mask a bit (none: the bits of protectMask stand alone). The datasheets
    // ask every copy to hold the same value for the protection to be in force.
    std::vector<uint32_t> protectCopies{};
    // Whether `config` protects the program memory: every copy of each
    // protection bit agrees and one of the bits is programmed (0). A copy
    // that disagrees leaves the protection out of force.
    bool Protects(uint32_t config) const {
        bool on = false;
        auto group = [&](uint32_t g) {
            const uint32_t v = config & g;
            if (v != 0 && v != g) return false;
            on = on || v == 0;
            return true;
        };
        if (protectCopies.empty()) {
            for (uint32_t b = 1; b != 0 && b <= protectMask; b <<= 1)
                if ((protectMask & b) != 0 && !group(b)) return false;
        } else {
            for (uint32_t g : protectCopies)
                if (!group(g)) return false;
        }
        return on;
    }
    uint32_t calibration = 0;     // 12-bit parts and others with a calibration word: its value (0: none)
    PicPinout pin;
};

const PicFacts* FindPicPart(const std::string& maker, const std::string& name);

// Programming time an EPROM cell got, by address: for the configuration
// cells' total and for the over-programming a word got after it took.
class EpromTime {
public:
    // A pulse of widthUs on cell `key`, before the cell is programmed.
    void Pulse(uint32_t key, uint64_t widthUs, bool tookBefore) {
        totalUs_[key] += widthUs;
        if (tookBefore) overUs_[key] += widthUs;
    }
    void Took(uint32_t key, int pulses) { took_.emplace(key, pulses); }
    bool HasTaken(uint32_t key) const { return took_.count(key) != 0; }
    uint64_t TotalUs(uint32_t key) const {
        auto it = totalUs_.find(key);
        return it == totalUs_.end() ? 0 : it->second;
    }
    // Program words (below `words`) short of factor x n minimum pulses.
    uint32_t Weak(const PicFacts& f, uint32_t words) const {
        uint32_t n = 0;
        if (f.overprogramFactor == 0) return 0;
        for (const auto& [key, pulses] : took_) {
            auto it = overUs_.find(key);
            const uint64_t got = it == overUs_.end() ? 0 : it->second;
            if (key < words && got < uint64_t{f.overprogramFactor} * static_cast<uint64_t>(pulses) * f.minPulseUs) ++n;
        }
        return n;
    }
    void Clear() {
        totalUs_.clear();
        overUs_.clear();
        took_.clear();
    }

private:
    std::map<uint32_t, uint64_t> totalUs_, overUs_;
    std::map<uint32_t, int> took_;
};
const std::vector<PicFacts>& PicParts();

// What every PIC model keeps: its facts, its place in the socket, the
// pin limits (only MCLR takes more than logic levels) and the supply check.
class PicModelBase : public ChipModel {
public:
    PicModelBase(PicFacts facts, std::vector<int> socketPins);
    std::string Name() const override { return facts_.name; }
    const std::vector<int>& SocketPins() const override { return socketPins_; }
    ChipPinLimits Limits() const;
    const PicFacts& Facts() const { return facts_; }
    // Configuration bits whose cells refuse programming: they keep reading
    // 1 whatever is programmed there (a worn or faulty cell).
    void RefuseConfigBits(uint32_t bits) { configRefused_ |= bits; }

protected:
    // Socket pin of a chip pin (0 outside the socket).
    int S(int chipPin) const;
    // VDD at its minimum on every supply pin and every ground pin held low.
    bool VddUp(const PinEnvironment& env) const;

    PicFacts facts_;
    std::vector<int> socketPins_;
    uint32_t configRefused_ = 0;

private:
    // VddUp() as of a supply revision (0: none), kept while switches hold
    // every VDD and ground pin (a logic driver may move within a revision).
    mutable uint64_t vddRevision_ = 0;
    mutable bool vddUp_ = false;
};

class PicChip : public PicModelBase {
public:
    explicit PicChip(PicFacts facts, std::vector<int> socketPins = {});

    void Update(const PinEnvironment& env) override;
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;
    // Only the data pin ever drives: the others are None without a call each.
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override;

    // Program words 0..codeWords-1, then (14-bit) 2000h-2007h by address.
    uint32_t Word(uint32_t a) const;
    void SetWord(uint32_t a, uint32_t v);
    uint32_t Config() const { return config_; }
    uint32_t Id(int i) const { return ids_[i & 3]; }
    uint8_t DataByte(uint32_t i) const { return i < data_.size() ? data_[i] : 0xFF; }
    bool Protected() const { return facts_.Protects(config_); }
    bool IsBlank() const;
    void UvErase();

    void StickWord(uint32_t a) { stuck_[a] = true; }
    void SetPulsesNeeded(uint32_t a, int n) { needed_[a] = n; }

    bool InMode() const { return inMode_; }
    uint32_t Pulses() const { return pulses_; }            // counted program pulses
    int PulsesOn(uint32_t a) const;
    // Program words short of their over-programming time.
    uint32_t WeakWords() const { return overprogram_.Weak(facts_, static_cast<uint32_t>(code_.size())); }
    uint32_t Commands(uint32_t c) const;                  // commands taken, by code
    uint32_t LastFrame() const { return lastFrame_; }      // raw bits of the last load
    int LastFrameClocks() const { return lastFrameClocks_; }
    int BulkEraseMclrTenths() const { return bulkEraseMclr_; } // MCLR at the last bulk erase (-1 none)
    uint32_t ParityErrors() const { return parityErrors_; }    // loads refused for their parity
    uint32_t IgnoredWhileBusy() const { return ignoredWhileBusy_; }
    void ClearCounts() {
        pulses_ = 0;
        commands_.clear();
        counted_.clear();
    }

private:
    enum class State : uint8_t { Command, Load, Read };
    int FrameClocks() const { return facts_.parityFrames ? 18 : 16; }
    uint32_t WordMask() const { return facts_.wordBits == 12 ? 0xFFFu : 0x3FFFu; }
    void Execute(const PinEnvironment& env, uint32_t c);
    void FinishLoad();
    uint32_t ReadAt() const;
    bool Busy(const PinEnvironment& env) const { return env.NowUs() < busyUntil_; }
    void Write(uint32_t at, uint32_t value);
    void Program(const PinEnvironment& env, uint64_t widthUs);
    void EraseAll();
    void Leave();
    // 12-bit counter -1 is the configuration word.
    int64_t Address() const { return pc_; }

    std::vector<uint32_t> code_;
    std::vector<uint8_t> data_;
    uint32_t ids_[4] = {0x3FFF, 0x3FFF, 0x3FFF, 0x3FFF};
    uint32_t config_ = 0x3FFF;

    bool inMode_ = false;
    bool refused_ = false;     // MCLR rose with clock or data high: wait for MCLR to drop
    bool lastClockHigh_ = false;
    bool lastHeldHigh_ = false; // clock or data held high at the previous update
    State state_ = State::Command;
    uint32_t shift_ = 0;
    int bits_ = 0;
    uint32_t command_ = 0;
    int clocks_ = 0;
    uint32_t frame_ = 0;
    uint32_t latch_ = 0x3FFF;
    bool latchData_ = false;   // last load was for the data memory
    int64_t pc_ = 0;
    int outBit_ = -1;          // bit driven on the data pin (-1 none)
    uint32_t outWord_ = 0;
    bool pulsing_ = false;
    uint64_t pulseStart_ = 0;
    int eraseArm_ = 0;         // 1 after command 1, 2 after 1 then 7
    bool dataEraseArmed_ = false;
    uint64_t busyUntil_ = 0;

    std::map<uint32_t, bool> stuck_;
    std::map<uint32_t, int> needed_;
    std::map<uint32_t, int> counted_;
    std::map<uint32_t, uint32_t> commands_;
    EpromTime overprogram_;
    uint32_t pulses_ = 0;
    uint32_t lastFrame_ = 0;
    int lastFrameClocks_ = 0;
    int bulkEraseMclr_ = -1;
    uint32_t parityErrors_ = 0;
    uint32_t ignoredWhileBusy_ = 0;
    bool overReported_ = false;
    bool earlyReported_ = false;
};

} // namespace sim

namespace sim {

// Supply and programming-voltage switches are not announced to the chips;
// a PIC leaves its programming mode when MCLR drops, even between two logic
// changes. This component tells the socket's chips after every register
// write and latch bit, so they see each supply change. It claims nothing.
class SupplyWatch : public SimComponent {
public:
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;

private:
    static void Tell(SimProgrammer& p);
};

} // namespace sim
