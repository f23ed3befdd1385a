// Records the voltage the programmer holds chosen socket pins at after every
// register write: the pin and supply traffic of pin-driven rows.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "sim/SimProgrammer.h"
#include "sim/Universal.h"

class PinWatch : public sim::SimComponent {
public:
    struct Change {
        uint64_t us;
        int pin;
        int tenths; // -1 floating
    };
    explicit PinWatch(std::vector<int> pins) : pins_(std::move(pins)) {}
    // Undriven pins read 0 (an empty socket then reads as a blank fuse PROM).
    void FloatLow() { floatLow_ = true; }

    bool OnWrite(sim::SimProgrammer& p, uint8_t, uint8_t) override {
        Sample(p);
        return false;
    }
    bool OnLatchBit(sim::SimProgrammer& p, uint8_t, uint8_t, bool) override {
        Sample(p);
        return false;
    }
    // The voltages pin took, one entry per change.
    std::vector<int> Levels(int pin) const {
        std::vector<int> v;
        for (const auto& c : changes_)
            if (c.pin == pin) v.push_back(c.tenths);
        return v;
    }
    std::vector<Change> Changes(int pin) const {
        std::vector<Change> v;
        for (const auto& c : changes_)
            if (c.pin == pin) v.push_back(c);
        return v;
    }
    // The voltage of pin at a moment (-1 floating or not yet seen).
    int LevelAt(int pin, uint64_t us) const {
        int v = -1;
        for (const auto& c : changes_)
            if (c.pin == pin && c.us <= us) v = c.tenths;
        return v;
    }
    // Highest voltage pin reached.
    int Peak(int pin) const {
        int m = -1;
        for (const auto& c : changes_)
            if (c.pin == pin && c.tenths > m) m = c.tenths;
        return m;
    }
    // Times pin went from high (>= 2.0 V) to low, between two moments.
    int FallingEdges(int pin, uint64_t fromUs = 0, uint64_t toUs = UINT64_MAX) const {
        int n = 0, last = -1;
        for (const auto& c : changes_) {
            if (c.pin != pin) continue;
            if (last >= 20 && c.tenths >= 0 && c.tenths < 20 && c.us >= fromUs && c.us <= toUs) ++n;
            last = c.tenths;
        }
        return n;
    }

private:
    void Sample(sim::SimProgrammer& p) {
        sim::PinDriverPersonality* env = sim::FindPinDriver(p);
        if (env == nullptr) return;
        if (floatLow_) env->SetFloatingLevel(0);
        for (int pin : pins_) {
            const int v = env->VoltageTenths(pin);
            auto it = last_.find(pin);
            if (it != last_.end() && it->second == v) continue;
            last_[pin] = v;
            changes_.push_back({p.NowUs(), pin, v});
        }
    }
    std::vector<int> pins_;
    bool floatLow_ = false;
    std::map<int, int> last_;
    std::vector<Change> changes_;
};
