#include "sim/LogicIc.h"

#include <algorithm>
#include <cstdio>

namespace sim {

LogicIc::LogicIc(LogicIcConfig config, int rowsUp)
    : ProbeChip(DipSocketPins(config.pinCount, rowsUp), {}, config.name), cfg_(std::move(config)) {
    lastLevel_.assign(static_cast<size_t>(cfg_.pinCount) + 1, 0);
    overReported_.assign(static_cast<size_t>(cfg_.pinCount) + 1, false);
    ffQ_.assign(cfg_.flipFlops.size(), true);
    count_.assign(cfg_.counters.size(), 5);
}

int LogicIc::Socket(int chipPin) const {
    const auto& pins = SocketPins();
    return chipPin >= 1 && chipPin <= static_cast<int>(pins.size()) ? pins[static_cast<size_t>(chipPin) - 1] : 0;
}

int LogicIc::Lead(int chipPin) const {
    if (chipPin != 0 && chipPin == crossA_) return crossB_;
    if (chipPin != 0 && chipPin == crossB_) return crossA_;
    return chipPin;
}

LogicIc::Supply LogicIc::SupplyState(const PinEnvironment& env) const {
    const int v = env.VoltageTenths(Socket(Lead(cfg_.vccPin)));
    if (v <= 0) return Supply::Off;
    const int mv = v * 100;
    if (mv < cfg_.vccMinMv || mv > cfg_.vccMaxMv || !env.HeldLow(Socket(Lead(cfg_.gndPin)))) return Supply::OutOfWindow;
    return Supply::On;
}

bool LogicIc::Powered(const PinEnvironment& env) const { return SupplyState(env) == Supply::On; }

void LogicIc::OpenPin(int chipPin, int cmosLevel) {
    openPin_ = chipPin >= 1 && chipPin <= cfg_.pinCount ? chipPin : 0;
    openLevel_ = cmosLevel != 0 ? 1 : 0;
}

void LogicIc::CrossPins(int a, int b) {
    const bool valid = a >= 1 && a <= cfg_.pinCount && b >= 1 && b <= cfg_.pinCount && a != b;
    crossA_ = valid ? a : 0;
    crossB_ = valid ? b : 0;
}

std::vector<int> LogicIc::InputPins() const {
    std::vector<int> pins;
    auto add = [&pins](int pin) {
        if (pin != 0) pins.push_back(pin);
    };
    for (const LogicGate& g : cfg_.gates) {
        for (const LogicPin& in : g.inputs) add(in.pin);
        add(g.enable.pin);
    }
    for (const LogicFlipFlop& f : cfg_.flipFlops) {
        for (int pin : {f.d, f.clock, f.preset.pin, f.clear.pin}) add(pin);
    }
    for (const LogicCounter& c : cfg_.counters) {
        for (int pin : {c.clock, c.clear.pin, c.load.pin, c.enp, c.ent}) add(pin);
        for (int pin : c.data) add(pin);
    }
    std::sort(pins.begin(), pins.end());
    pins.erase(std::unique(pins.begin(), pins.end()), pins.end());
    return pins;
}

int LogicIc::Level(const PinEnvironment& env, int chipPin) const {
    if (chipPin != 0 && chipPin == openPin_) return cfg_.ttlInputs ? 1 : openLevel_;
    const int s = Socket(Lead(chipPin));
    if (s == 0) return cfg_.ttlInputs ? 1 : 0;
    const PinCondition c = env.Condition(s);
    const bool held = c.grounded || c.supplyTenths >= 0 || c.driven;
    // An open TTL input sources current and rises above the high threshold.
    if (!held && cfg_.ttlInputs) return 1;
    return env.InputLevel(s);
}

bool LogicIc::Read(const PinEnvironment& env, const LogicPin& p) const {
    if (p.pin == 0) return false;
    return (Level(env, p.pin) != 0) != p.low;
}

bool LogicIc::Rising(const PinEnvironment& env, int chipPin) {
    if (chipPin == 0) return false;
    const int now = Level(env, chipPin);
    int& last = lastLevel_[static_cast<size_t>(chipPin)];
    const bool rising = last == 0 && now == 1;
    last = now;
    return rising;
}

void LogicIc::PowerUp(const PinEnvironment& env) {
    ffQ_.assign(cfg_.flipFlops.size(), true);
    count_.assign(cfg_.counters.size(), 5);
    for (int pin = 1; pin <= cfg_.pinCount; ++pin) lastLevel_[static_cast<size_t>(pin)] = Level(env, pin);
}

void LogicIc::CheckVoltages(const PinEnvironment& env) {
    for (int pin = 1; pin <= cfg_.pinCount; ++pin) {
        if (pin == openPin_) continue;
        const int v = env.VoltageTenths(Socket(Lead(pin)));
        const bool over = v * 100 > cfg_.absMaxMv;
        if (over && !overReported_[static_cast<size_t>(pin)]) {
            char text[160];
            std::snprintf(text, sizeof text, "%s: %d.%d V on pin %d above its absolute maximum", cfg_.name.c_str(),
                          v / 10, v % 10, pin);
            env.Violation(text);
        }
        overReported_[static_cast<size_t>(pin)] = over;
    }
}

void LogicIc::Update(const PinEnvironment& env) {
    CheckVoltages(env);
    if (!Powered(env)) {
        powered_ = false;
        return;
    }
    if (!powered_) {
        powered_ = true;
        PowerUp(env);
    }
    for (size_t i = 0; i < cfg_.flipFlops.size(); ++i) {
        const LogicFlipFlop& f = cfg_.flipFlops[i];
        const bool pre = Read(env, f.preset);
        const bool clr = Read(env, f.clear);
        const bool edge = Rising(env, f.clock);
        if (pre && !clr) {
            ffQ_[i] = true;
        } else if (clr && !pre) {
            ffQ_[i] = false;
        } else if (!pre && !clr && edge) {
            ffQ_[i] = Level(env, f.d) != 0;
        }
    }
    for (size_t i = 0; i < cfg_.counters.size(); ++i) {
        const LogicCounter& c = cfg_.counters[i];
        const bool edge = Rising(env, c.clock);
        if (Read(env, c.clear)) {
            count_[i] = 0;
        } else if (edge) {
            if (Read(env, c.load)) {
                int v = 0;
                for (int b = 0; b < 4; ++b) v |= Level(env, c.data[b]) << b;
                count_[i] = v;
            } else if (Level(env, c.enp) && Level(env, c.ent)) {
                count_[i] = (count_[i] + 1) & 15;
            }
        }
    }
}

int LogicIc::OutputLevel(const PinEnvironment& env, int chipPin) const {
    for (const LogicGate& g : cfg_.gates) {
        if (g.output != chipPin) continue;
        bool v = g.kind == LogicGate::And;
        for (const LogicPin& in : g.inputs) {
            v = g.kind == LogicGate::And ? (v && Read(env, in)) : (v != Read(env, in));
        }
        if (g.invert) v = !v;
        if (g.outputKind == LogicOutputKind::ThreeState && !Read(env, g.enable)) return -1;
        if (g.outputKind == LogicOutputKind::OpenCollector && v) return -1;
        return v ? 1 : 0;
    }
    for (size_t i = 0; i < cfg_.flipFlops.size(); ++i) {
        const LogicFlipFlop& f = cfg_.flipFlops[i];
        if (f.q != chipPin && f.qn != chipPin) continue;
        const bool pre = Read(env, f.preset);
        const bool clr = Read(env, f.clear);
        if (pre && clr) return 1;
        const bool q = pre ? true : clr ? false : ffQ_[i];
        return (chipPin == f.q ? q : !q) ? 1 : 0;
    }
    for (size_t i = 0; i < cfg_.counters.size(); ++i) {
        const LogicCounter& c = cfg_.counters[i];
        const int v = Read(env, c.clear) ? 0 : count_[i];
        for (int b = 0; b < 4; ++b) {
            if (c.q[b] == chipPin) return (v >> b) & 1;
        }
        if (c.carry == chipPin) return v == 15 && Level(env, c.ent) ? 1 : 0;
    }
    return -2;
}

ChipDrive LogicIc::Output(const PinEnvironment& env, int socketPin) const {
    const int chipPin = Lead(ChipPinAt(socketPin));
    if (chipPin == 0 || chipPin == openPin_) return ChipDrive::None;
    switch (SupplyState(env)) {
    case Supply::Off:
        return DiodeNetworkOutput(env, socketPin);
    case Supply::OutOfWindow:
        return ChipDrive::None;
    case Supply::On:
        break;
    }
    switch (OutputLevel(env, chipPin)) {
    case 1:
        return ChipDrive::High;
    case 0:
        return ChipDrive::Low;
    default:
        return ChipDrive::None;
    }
}

} // namespace sim
