#include "sim/Boot05Chip.h"

#include <cstdio>
#include <string>

#include "sim/Catalog.h"
#include "sim/ChipSideProgram.h"
#include "sim/SimProgrammer.h"

namespace sim {

namespace {

std::string Hex(uint32_t v) {
    char b[12];
    std::snprintf(b, sizeof b, "%04Xh", v);
    return b;
}

} // namespace

Boot05Chip::Boot05Chip(const Boot05Facts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    // Erased: the EPROM's blank value, the EEPROM FFh.
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
    for (const auto& r : facts_.eeprom)
        for (uint32_t a = r.first; a <= r.last && a < cells_.size(); ++a) cells_[a] = 0xFF;
    const auto config = static_cast<size_t>(facts_.configAt);
    if (facts_.configAt >= 0 && config < cells_.size()) cells_[config] = 0xFF;
}

uint8_t Boot05Chip::ReadCell(uint32_t a) const {
    if (a >= cells_.size()) return 0xFF;
    if (static_cast<int64_t>(a) == facts_.configAt) return static_cast<uint8_t>(cells_[a] & facts_.configMask);
    return cells_[a];
}

ChipPinLimits Boot05Chip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    if (facts_.modePin != 0) l.Allow(Pin(facts_.modePin), facts_.modeLimitTenths);
    if (facts_.vppPin != 0) l.Allow(Pin(facts_.vppPin), facts_.vppLimitTenths);
    for (int p : facts_.highVoltagePins) l.Allow(Pin(p), facts_.vppLimitTenths);
    return l;
}

bool Boot05Chip::Powered(const PinEnvironment& env) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)))) return false;
    for (int g : facts_.gndPins)
        if (!env.HeldLow(Pin(g))) return false;
    return true;
}

bool Boot05Chip::InEprom(uint32_t a) const {
    for (const auto& r : facts_.eprom)
        if (a >= r.first && a <= r.last) return a < cells_.size();
    return false;
}

bool Boot05Chip::InEeprom(uint32_t a) const {
    if (static_cast<int64_t>(a) == facts_.configAt) return a < cells_.size();
    for (const auto& r : facts_.eeprom)
        if (a >= r.first && a <= r.last) return a < cells_.size();
    return false;
}

// A cell at work finishes once its time has passed; it is lost (a
// violation) when the supply, or for EPROM and security the programming
// voltage, went before then.
void Boot05Chip::Settle(const PinEnvironment& env) {
    if (work_ == 0) return;
    const bool needsVpp = work_ == 1 || work_ == 4;
    const bool held = Powered(env) && (!needsVpp || env.VoltageTenths(Pin(facts_.vppPin)) >= facts_.vppMinTenths);
    if (env.NowUs() >= workUntil_) {
        if (static_cast<int64_t>(workAt_) != stuck_) {
            uint8_t& c = cells_[workAt_ < cells_.size() ? workAt_ : 0];
            if (work_ == 1) c = facts_.blank == 0 ? static_cast<uint8_t>(c | workValue_) : static_cast<uint8_t>(c & workValue_);
            if (work_ == 2) c &= workValue_;
            if (work_ == 3) c = 0xFF;
            if (work_ == 4) secured_ = true;
            if (work_ == 5)
                for (const auto& r : facts_.eeprom)
                    for (uint32_t a = r.first; a <= r.last && a < cells_.size(); ++a) cells_[a] = 0xFF;
            if (work_ != 4 && work_ != 5) taken_.push_back(workAt_);
            ++burns_;
        }
        work_ = 0;
    } else if (!held) {
        const std::string what = work_ == 4   ? std::string("security bit")
                                 : work_ == 5 ? std::string("EEPROM bulk erase")
                                              : "cell " + Hex(workAt_);
        env.Violation(facts_.name + ": " + what +
                      " lost: supply or programming voltage gone after " +
                      std::to_string(env.NowUs() - workFrom_) + " us of " + std::to_string(workUntil_ - workFrom_));
        work_ = 0;
    }
}

// Losing the supply clears RAM: a part still held in reset stays there.
void Boot05Chip::SuppliesChanged(const PinEnvironment& env) {
    Settle(env);
    if (state_ != State::Off && state_ != State::Reset && !Powered(env)) {
        state_ = State::Off;
        ram_.clear();
    }
}

void Boot05Chip::HoldReset(const PinEnvironment& env, bool modePins) {
    Settle(env);
    if (work_ != 0) {
        env.Violation(facts_.name + ": reset while a cell works");
        work_ = 0;
    }
    state_ = State::Reset;
    modeHeld_ = modePins;
    ram_.clear();
}

// Released with the supply in its window, the mode pins held and the high
// voltage on the mode pin, the part's loader listens; otherwise it runs
// nothing the programmer can reach.
void Boot05Chip::ReleaseReset(const PinEnvironment& env) {
    if (state_ != State::Reset) return;
    const bool boot = Powered(env) && modeHeld_ &&
                      (facts_.modePin == 0 || env.VoltageTenths(Pin(facts_.modePin)) >= facts_.modeMinTenths);
    state_ = boot ? State::Loading : State::Silent;
    synced_ = false;
    lastByteUs_ = 0;
    downloaded_ = 0;
    ram_.clear();
}

void Boot05Chip::DownloadByte(const PinEnvironment& env, uint8_t b) {
    StartIfIdle(env);
    if (state_ != State::Loading) return;
    if (facts_.hc11Loader && !synced_) {
        // The baud-rate byte: FFh enters the download, anything else leaves
        // the loader waiting on nothing the programmer can reach.
        synced_ = b == 0xFF;
        if (!synced_) state_ = State::Silent;
        lastByteUs_ = env.NowUs();
        return;
    }
    if ((!ram_.empty() || synced_) && env.NowUs() - lastByteUs_ < facts_.byteUs) {
        env.Violation(facts_.name + ": download byte " + std::to_string(ram_.size()) + " after " +
                      std::to_string(env.NowUs() - lastByteUs_) + " us, the loader needs " +
                      std::to_string(facts_.byteUs));
        state_ = State::Silent;
        return;
    }
    if (ram_.size() >= facts_.ramBytes) {
        env.Violation(facts_.name + ": download past the part's " + std::to_string(facts_.ramBytes) + " bytes of RAM");
        state_ = State::Silent;
        return;
    }
    ram_.push_back(b);
    downloaded_ = static_cast<uint32_t>(ram_.size());
    lastByteUs_ = env.NowUs();
    ChipSideTag tag;
    if (facts_.hc11Loader) {
        if (ram_.size() >= facts_.ramBytes) StartIfIdle(env, true);
        return;
    }
    const char* family = facts_.family.c_str();
    if (DecodeChipSideTag(ram_.data(), ram_.size(), family, tag) && ram_.size() == tag.length) {
        role_ = tag.role;
        kind_ = tag.kind;
        Start();
    }
}

// A 68HC11 loader jumps to its RAM once full or once the line idles; the
// program runs only when it is a whole tagged program of the family.
void Boot05Chip::StartIfIdle(const PinEnvironment& env, bool full) {
    if (!facts_.hc11Loader || state_ != State::Loading || ram_.empty()) return;
    if (!full && env.NowUs() - lastByteUs_ < facts_.idleUs) return;
    ChipSideTag tag;
    const char* family = facts_.family.c_str();
    if (!DecodeChipSideTag(ram_.data(), ram_.size(), family, tag) || ram_.size() < tag.length) {
        state_ = State::Silent;
        return;
    }
    role_ = tag.role;
    kind_ = tag.kind;
    Start();
}

void Boot05Chip::Start() {
    state_ = State::Running;
    ++starts_;
    got_.clear();
    seq_ = 0;
    // A secured part's read program gets nothing from the memory.
    if (role_ == kChipSideRead && secured_) state_ = State::Silent;
    if (role_ == kChipSideSecure && !facts_.hasSecurity) state_ = State::Silent;
    if (facts_.hc11Loader) {
        walk_.clear();
        for (uint32_t a = 0; a < cells_.size(); ++a)
            if (InEprom(a) || InEeprom(a)) walk_.push_back(a);
        if (role_ == kChipSideErase) {
            work_ = 5;
            workAt_ = 0;
            workFrom_ = lastByteUs_;
            workUntil_ = lastByteUs_ + facts_.eeEraseUs;
        }
    }
    if (role_ == kChipSideSecure && facts_.hasSecurity) {
        work_ = 4;
        workAt_ = 0;
        workFrom_ = lastByteUs_;
        workUntil_ = lastByteUs_ + facts_.secureUs;
    }
}

uint32_t Boot05Chip::SequentialAddress(uint32_t index) const {
    if (facts_.hc11Loader) return index < walk_.size() ? walk_[index] : 0xFFFFFFFFu;
    for (const auto& r : facts_.eprom) {
        const uint32_t n = r.last - r.first + 1;
        if (index < n) return r.first + index;
        index -= n;
    }
    return 0xFFFFFFFFu;
}

void Boot05Chip::StartWork(const PinEnvironment& env, uint32_t a, int kind, uint8_t v, uint32_t us) {
    if (kind == 1 && env.VoltageTenths(Pin(facts_.vppPin)) < facts_.vppMinTenths) {
        env.Violation(facts_.name + ": EPROM byte at " + Hex(a) + " without the programming voltage on pin " +
                      std::to_string(facts_.vppPin));
        return;
    }
    work_ = kind;
    workAt_ = a;
    workValue_ = v;
    workFrom_ = env.NowUs();
    workUntil_ = env.NowUs() + us;
}

std::optional<uint8_t> Boot05Chip::Strobe(const PinEnvironment& env, uint8_t port, DataPort data) {
    StartIfIdle(env);
    Settle(env);
    if (state_ != State::Running) return std::nullopt;
    if (work_ != 0) {
        env.Violation(facts_.name + ": strobe while " + (work_ == 4 ? std::string("the security bit") : "cell " + Hex(workAt_)) +
                      " works; it is left as it was");
        work_ = 0;
        return std::nullopt;
    }
    // The data phase against the port's direction: nothing is presented or
    // taken, and the cell is left as it was.
    auto cell = [&](uint32_t a) -> std::optional<uint8_t> {
        if (data == DataPort::LogicDrives) {
            env.Violation(facts_.name + ": cell " + Hex(a) + " strobed for reading while the logic drives the data port");
            return std::nullopt;
        }
        return ReadCell(a);
    };
    auto program = [&](uint32_t a, uint8_t v) {
        if (data == DataPort::PartDrives) {
            env.Violation(facts_.name + ": byte for cell " + Hex(a) +
                          " strobed while the logic does not drive the data port; the cell is left as it was");
            return;
        }
        if (InEeprom(a))
            StartWork(env, a, 2, v, facts_.eeWriteUs);
        else if (InEprom(a))
            StartWork(env, a, 1, v, facts_.burnUs);
    };
    if (kind_ == kChipSideSequential) {
        const uint32_t a = SequentialAddress(seq_++);
        if (role_ == kChipSideRead) return cell(a);
        if (role_ == kChipSideProgram) program(a, port);
        return std::nullopt;
    }
    const bool nibbles = kind_ == kChipSideNibble;
    if (got_.size() < 2) {
        got_.push_back(port);
        if (got_.size() == 2 && role_ == kChipSideErase) {
            const uint32_t a = static_cast<uint32_t>(got_[0] << 8 | got_[1]);
            got_.clear();
            if (InEeprom(a)) StartWork(env, a, 3, 0xFF, facts_.eeEraseUs);
        }
        return std::nullopt;
    }
    const uint32_t a = static_cast<uint32_t>(got_[0] << 8 | got_[1]);
    if (role_ == kChipSideRead) {
        if (!nibbles) {
            got_.clear();
            return cell(a);
        }
        if (got_.size() == 2) {
            got_.push_back(0);
            const auto v = cell(a);
            return v ? std::optional<uint8_t>(*v & 0x0F) : std::nullopt;
        }
        got_.clear();
        const auto v = cell(a);
        return v ? std::optional<uint8_t>(*v >> 4) : std::nullopt;
    }
    if (role_ == kChipSideProgram) {
        if (nibbles && got_.size() == 2) {
            got_.push_back(port & 0x0F);
            return std::nullopt;
        }
        const uint8_t v = nibbles ? static_cast<uint8_t>(got_[2] | (port & 0x0F) << 4) : port;
        got_.clear();
        program(a, v);
    }
    return std::nullopt;
}

uint32_t Boot05Chip::ParallelCell(const PinEnvironment& env) const {
    uint32_t a = 0;
    for (size_t i = 0; i < facts_.parallelAddress.size(); ++i)
        a |= static_cast<uint32_t>(env.InputLevel(Pin(facts_.parallelAddress[i])) == 1) << i;
    return facts_.parallelBase + a;
}

// The parallel mode: a program pulse burns at its rising edge when it was
// long enough with the programming voltage held throughout; too short, or
// without the voltage, the cell is left as it was (a violation).
void Boot05Chip::Update(const PinEnvironment& env) {
    SuppliesChanged(env);
    StartIfIdle(env);
    if (!Parallel() || facts_.parallelProgramPin == 0) {
        pulseLow_ = false;
        return;
    }
    const int prog = Pin(facts_.parallelProgramPin);
    const bool low = env.HeldLow(prog);
    const bool vpp = env.VoltageTenths(Pin(facts_.parallelVppPin)) >= facts_.vppMinTenths;
    if (low && !pulseLow_) {
        pulseLow_ = true;
        pulseFrom_ = env.NowUs();
        pulseAt_ = ParallelCell(env);
        uint8_t v = 0;
        for (size_t i = 0; i < facts_.parallelData.size(); ++i)
            v |= static_cast<uint8_t>((env.InputLevel(Pin(facts_.parallelData[i])) == 1) << i);
        pulseValue_ = v;
        if (!vpp)
            env.Violation(facts_.name + ": EPROM program pulse at " + Hex(pulseAt_) +
                          " without the programming voltage on pin " + std::to_string(facts_.parallelVppPin));
        return;
    }
    if (low && !vpp && pulseLow_) {
        env.Violation(facts_.name + ": programming voltage gone during the pulse at " + Hex(pulseAt_));
        pulseLow_ = false;
        return;
    }
    if (!low && pulseLow_) {
        pulseLow_ = false;
        const uint64_t width = env.NowUs() - pulseFrom_;
        if (!vpp) return;
        if (width < facts_.parallelBurnUs) {
            env.Violation(facts_.name + ": EPROM program pulse at " + Hex(pulseAt_) + " of " +
                          std::to_string(width) + " us, the cell needs " + std::to_string(facts_.parallelBurnUs));
            return;
        }
        if (static_cast<int64_t>(pulseAt_) == stuck_ || pulseAt_ >= cells_.size()) return;
        cells_[pulseAt_] &= pulseValue_;
        taken_.push_back(pulseAt_);
        ++burns_;
    }
}

ChipDrive Boot05Chip::Output(const PinEnvironment& env, int socketPin) const {
    if (!Parallel() || !Powered(env)) return ChipDrive::None;
    size_t bit = facts_.parallelData.size();
    for (size_t i = 0; i < facts_.parallelData.size(); ++i)
        if (Pin(facts_.parallelData[i]) == socketPin) bit = i;
    if (bit == facts_.parallelData.size()) return ChipDrive::None;
    uint8_t v;
    if (env.InputLevel(Pin(facts_.parallelReadPin)) == 0)
        v = ReadCell(ParallelCell(env));
    else if (facts_.parallelTestPin != 0 && env.InputLevel(Pin(facts_.parallelTestPin)) == 0)
        v = static_cast<uint8_t>(~ReadCell(ParallelCell(env)));
    else
        return ChipDrive::None;
    return (v >> bit & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
}

bool Boot05Chip::Ready(const PinEnvironment& env) {
    StartIfIdle(env);
    Settle(env);
    return state_ == State::Running && work_ == 0 && !neverReady_;
}

} // namespace sim
