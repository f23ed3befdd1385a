#include "sim/SimProgrammer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

namespace sim {

namespace {
std::map<uint16_t, PersonalityFactory>& Registry() {
    static std::map<uint16_t, PersonalityFactory> registry;
    return registry;
}
std::mutex g_registryMutex;

std::string Hex2(uint8_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02Xh", v);
    return buf;
}
} // namespace

void RegisterPersonality(uint16_t id, PersonalityFactory factory) {
    std::lock_guard<std::mutex> lock(g_registryMutex);
    Registry()[id] = std::move(factory);
}

SimProgrammer::SimProgrammer(uint16_t base) : base_(base) {}
SimProgrammer::~SimProgrammer() = default;

size_t SimProgrammer::NextTypeSlot() {
    static std::atomic<size_t> next{0};
    return next++;
}

void SimProgrammer::AttachComponent(SimComponent* c) {
    if (std::find(components_.begin(), components_.end(), c) == components_.end()) components_.push_back(c);
    ++generation_;
}

void SimProgrammer::DetachComponent(SimComponent* c) {
    components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
    ++generation_;
}

void SimProgrammer::AddComponent(std::unique_ptr<SimComponent> c) {
    AttachComponent(c.get());
    owned_.push_back(std::move(c));
}

void SimProgrammer::RefreshListeners() {
    listenersGeneration_ = generation_;
    listenersPersonality_ = personalityGeneration_;
    for (int r = 0; r < 32; ++r) {
        writers_[r].clear();
        readers_[r].clear();
    }
    for (auto* c : components_) {
        const uint32_t writes = c->HeardWrites(*this), reads = c->HeardReads(*this);
        for (int r = 0; r < 32; ++r) {
            if ((writes >> r) & 1) writers_[r].push_back(c);
            if ((reads >> r) & 1) readers_[r].push_back(c);
        }
    }
}

void SimProgrammer::Violation(const std::string& what) {
    // Keep the log bounded: a runaway loop must not exhaust memory.
    if (violations_.size() < 10000) violations_.push_back(what);
}

double SimProgrammer::TimerTickUs() const {
    static constexpr double kClockMHz[4] = {16.0, 8.0, 4.0, 0.0};
    const double mhz = kClockMHz[regs_[15] & 3];
    return mhz > 0 ? (static_cast<double>(regs_[19]) + 1.0) * regs_[16] / mhz : 0.0;
}

void SimProgrammer::Out(uint16_t port, uint8_t value) {
    nowUs_ += 1;
    ++portAccesses_;
    // The data port of a programmer that answers, untraced: the usual access.
    if (port == base_ && !trace_ && !stopped_) [[likely]] {
        DataOut(value);
        return;
    }
    OtherOut(port, value);
}

void SimProgrammer::OtherOut(uint16_t port, uint8_t value) {
    if (port < base_ || port > base_ + 2) return;
    if (trace_) portTrace_.push_back({true, port, value});
    if (stopped_) return;
    if (port == base_) {
        DataOut(value);
    } else if (port == base_ + 2) {
        // Control bit 0 high then low restarts the logic's configuration.
        if ((control_ & 1) && !(value & 1)) Unconfigure();
        control_ = value;
    }
}

uint8_t SimProgrammer::In(uint16_t port) {
    nowUs_ += 1;
    ++portAccesses_;
    if (port == base_ + 1 && !trace_ && !stopped_) [[likely]] return StatusIn();
    return OtherIn(port);
}

uint8_t SimProgrammer::OtherIn(uint16_t port) {
    uint8_t v = 0xFF;
    if (port >= base_ && port <= base_ + 2) {
        if (stopped_) {
            v = stoppedStatus_;
        } else if (port == base_ + 1) {
            v = StatusIn();
        } else if (port == base_) {
            v = lastData_;
        } else {
            v = control_;
        }
        if (trace_) portTrace_.push_back({false, port, v});
    }
    return v;
}

void SimProgrammer::Unconfigure() {
    configured_ = false;
    capturing_ = true;
    captured_.clear();
    capturedBits_ = 0;
    phase_ = Phase::Idle;
    personality_.reset();
    ++personalityGeneration_;
    for (auto* c : components_) c->OnUnconfigure(*this);
}

void SimProgrammer::DataOut(uint8_t b) {
    const uint8_t prev = lastData_;
    lastData_ = b;
    if (!configured_) [[unlikely]] {
        DownloadOut(prev, b);
        return;
    }
    if (b & 0x40) {
        curReg_ = b & 0x1F;
        phase_ = Phase::Address;
    } else if (b == 0x30) {
        if (phase_ == Phase::Address) {
            readValue_ = RegisterRead(curReg_);
            phase_ = Phase::ReadHigh;
        }
    } else if (b == 0x10) {
        if (phase_ == Phase::ReadHigh) phase_ = Phase::ReadLow;
    } else if ((b & 0x20) && b < 0x30) {
        if (phase_ == Phase::Address) {
            highNibble_ = b & 0x0F;
            phase_ = Phase::High;
        }
    } else if (b < 0x10) {
        if (phase_ == Phase::High) {
            RegisterWrite(curReg_, static_cast<uint8_t>((highNibble_ << 4) | b));
            phase_ = Phase::Idle;
        }
    }
}

void SimProgrammer::DownloadOut(uint8_t prev, uint8_t b) {
    // Download: D0 data, D7 clock; the bit is taken at the clock's falling edge.
    if (capturing_ && (prev & 0x80) && !(b & 0x80)) {
        const uint32_t byte = capturedBits_ / 8;
        if (byte >= captured_.size()) captured_.push_back(0);
        if (b & 1) captured_[byte] |= static_cast<uint8_t>(1u << (capturedBits_ % 8));
        ++capturedBits_;
        if (capturedBits_ == kLogicImageBytes * 8) FinishDownload();
    }
}

void SimProgrammer::FinishDownload() {
    capturing_ = false;
    configured_ = true;
    ++downloads_;
    LogicImageHeader h;
    if (!DecodeLogicImageHeader(captured_.data(), captured_.size(), h)) {
        Violation("logic image without a valid header");
        h = LogicImageHeader{};
    }
    ConfigureDirect(h);
}

void SimProgrammer::ConfigureDirect(const LogicImageHeader& header) {
    configured_ = true;
    capturing_ = false;
    phase_ = Phase::Idle;
    std::fill(std::begin(regs_), std::end(regs_), 0);
    regs_[15] = 1; // a configured image starts with the 8 MHz timer clock
    std::fill(std::begin(latch_), std::end(latch_), 0);
    timerEndUs_ = 0;
    personality_.reset();
    ++personalityGeneration_;
    PersonalityFactory f;
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        auto it = Registry().find(header.personality);
        if (it != Registry().end()) f = it->second;
    }
    if (f) personality_ = f(header);
    ++personalityGeneration_;
}

uint8_t SimProgrammer::StatusIn() {
    if (!configured_) return 0xFF;
    uint8_t s = 0;
    if (phase_ == Phase::ReadHigh) {
        s = static_cast<uint8_t>(((readValue_ >> 4) & 0x0F) << 3);
    } else if (phase_ == Phase::ReadLow) {
        s = static_cast<uint8_t>((readValue_ & 0x0F) << 3);
        phase_ = Phase::Idle; // the read is complete
    } else if (TimerRunning()) {
        // A status poll outside a register read waits on the timer: jump to its end.
        nowUs_ = timerEndUs_;
    }
    if (!TimerRunning()) s |= 0x80;
    return s;
}

void SimProgrammer::LatchWrite(uint8_t reg, uint8_t value) {
    // Bit latch: bits 0-2 name the bit, bit 3 the new state.
    const uint8_t bit = value & 7;
    const bool state = (value & 8) != 0;
    if (value & 0xF0) Violation("latch register " + std::to_string(reg) + " written " + Hex2(value));
    if (state) {
        latch_[reg] = static_cast<uint8_t>(latch_[reg] | (1u << bit));
    } else {
        latch_[reg] = static_cast<uint8_t>(latch_[reg] & ~(1u << bit));
    }
    bool claimed = false;
    if (personality_) claimed |= personality_->OnLatchBit(*this, reg, bit, state);
    for (auto* c : components_) claimed |= c->OnLatchBit(*this, reg, bit, state);
    // Releasing every bit is the reset's sweep; setting a bit nothing
    // uses is a write nobody expects.
    if (!claimed && state)
        Violation("latch register " + std::to_string(reg) + " bit " + std::to_string(bit) + " set, used by nothing");
}

void SimProgrammer::RegisterWrite(uint8_t reg, uint8_t value) {
    if (trace_) [[unlikely]] regTrace_.push_back({true, reg, value, nowUs_});
    if (LatchBankSelected() && reg >= 16) [[unlikely]] {
        LatchWrite(reg, value);
        return;
    }
    regs_[reg] = value;
    bool claimed = false;
    switch (reg) {
    case 15: // control: timer prescale bits and the latch-bank select
        if ((value & 3) == 3) Violation("register 15 written " + Hex2(value) + ": no timer clock");
        claimed = (value & 0x7C) == 0;
        break;
    case 16: // timer time base
    case 19: // timer prescale
        claimed = true;
        break;
    case 17: // timer count: writing it starts the timer
        timerEndUs_ = nowUs_ + static_cast<uint64_t>(std::ceil(value * TimerTickUs()));
        claimed = true;
        break;
    default:
        break;
    }
    if (personality_) claimed |= personality_->OnWrite(*this, reg, value);
    if (!ListenersCurrent()) RefreshListeners();
    for (auto* c : writers_[reg]) claimed |= c->OnWrite(*this, reg, value);
    if (!claimed) Violation("register " + std::to_string(reg) + " written " + Hex2(value) + " not expected");
}

uint8_t SimProgrammer::RegisterRead(uint8_t reg) {
    std::optional<uint8_t> v;
    if (personality_) v = personality_->OnRead(*this, reg);
    if (!ListenersCurrent()) RefreshListeners();
    for (auto* c : readers_[reg & 31]) {
        if (v) break;
        v = c->OnRead(*this, reg);
    }
    // A register nobody gives a meaning reads back the value last written.
    const uint8_t value = v ? *v : regs_[reg];
    if (trace_) regTrace_.push_back({false, reg, value, nowUs_});
    return value;
}

} // namespace sim
