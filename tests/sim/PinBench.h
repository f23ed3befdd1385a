// A hand-held pin environment: a test sets what the programmer holds on each
// socket pin, moves the clock and collects the violations a chip records.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
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

// The same, keeping its conditions in a table the level helpers read directly
// (as the buses' environments do).
class TableEnv : public Env {
public:
    TableEnv() { conditions_ = pins; }
    TableEnv(const TableEnv&) = delete;
    TableEnv& operator=(const TableEnv&) = delete;
};

// A chip with a fixed drive on each of its socket pins; it counts the updates
// it is given.
class FixedChip : public sim::ChipModel {
public:
    FixedChip(std::vector<int> pins, std::vector<sim::ChipDrive> drives) : pins_(std::move(pins)), drives_(std::move(drives)) {}
    std::string Name() const override { return "fixed"; }
    void Update(const sim::PinEnvironment&) override { ++updates; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    sim::ChipDrive Output(const sim::PinEnvironment&, int socketPin) const override {
        const int chipPin = ChipPinAt(socketPin);
        return chipPin == 0 ? sim::ChipDrive::None : drives_[static_cast<size_t>(chipPin - 1)];
    }

    int updates = 0; // the bus's announcements of changed levels

private:
    std::vector<int> pins_;
    std::vector<sim::ChipDrive> drives_;
};
