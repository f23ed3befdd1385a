// A hand-held pin environment: a test sets what the programmer holds on each
// socket pin, moves the clock and collects the violations a chip records.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/Socket.h"

class Env : public sim::PinEnvironment {
public:
    sim::PinCondition pins[sim::kSocketPins + 1];
    uint64_t now = 0;
    int floating = 1;
    mutable std::vector<std::string> violations;
    sim::PinCondition Condition(int p) const override {
        return p >= 1 && p <= sim::kSocketPins ? pins[p] : sim::PinCondition{};
    }
    int FloatingLevel() const override { return floating; }
    uint64_t NowUs() const override { return now; }
    void Violation(const std::string& what) const override { violations.push_back(what); }
};
