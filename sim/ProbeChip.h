// An unpowered chip as the insertion probe sees it: its pins are tied together
// through the protection diodes of its inputs and outputs. Holding one of its
// pins low (ground switch or logic driver) weakly pulls every other undriven
// pin low, which wins over the test image's pull-up; holding one high pulls the
// others high, which wins over the pull-down. Pins named as not connected take
// no part. Pins with only their clamp to the supply rail (open-drain and
// high-voltage pins) join the network only while held high: holding one low
// pulls nothing, and nothing pulls it.
#pragma once
#include <set>
#include <string>
#include <vector>

#include "sim/Socket.h"

namespace sim {

class ProbeChip : public ChipModel {
public:
    // socketPins: chip pin n on socketPins[n - 1] (see DipSocketPins).
    // noConnect: chip pins (1-based) bonded to nothing.
    explicit ProbeChip(std::vector<int> socketPins, std::set<int> noConnect = {}, std::string name = "probe chip");

    // Chip pins (1-based) with only their clamp to the supply rail.
    void SetHighSideOnly(std::set<int> pins) { highSideOnly_ = std::move(pins); }

    std::string Name() const override { return name_; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override;

protected:
    // The drive the diode network puts on a connected pin.
    ChipDrive DiodeNetworkOutput(const PinEnvironment& env, int socketPin) const;

private:
    std::vector<int> pins_;
    std::set<int> noConnect_;
    std::set<int> highSideOnly_;
    std::string name_;
};

// Something conducting lying on socket pins (by default 47 and 48, above every
// seated DIP): it holds them weakly low.
class Obstruction : public ChipModel {
public:
    explicit Obstruction(std::vector<int> socketPins = {47, 48}) : pins_(std::move(socketPins)) {}
    std::string Name() const override { return "obstruction"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    ChipDrive Output(const PinEnvironment&, int) const override { return ChipDrive::WeakLow; }

private:
    std::vector<int> pins_;
};

} // namespace sim
