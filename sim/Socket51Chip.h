// The footprint shared by the pin-level flash 8051 models: the 40-pin DIP
// (socket pins 5-44) or the 44-pin PLCC on the socket adapter (socket pins
// 3-46), and reading the levels the programmer puts on the chip's pins.
// Each model keeps its own table of which chip pin does what.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

class Socket51Chip : public CatalogChip {
public:
    const std::vector<int>& SocketPins() const override { return pins_; }
    // The footprint; the VPP pin (if any) may take up to its limit.
    ChipPinLimits Limits() const override;

protected:
    // vccChipPin: the supply pin; vppChipPin: the pin that takes the
    // programming voltage up to vppLimitTenths (0: none, every pin logic level).
    Socket51Chip(bool plcc, int vccChipPin, int vppChipPin = 0, int vppLimitTenths = 0);

    // The socket pin of a chip pin (0 for a pin the package does not have).
    int Pin(int chipPin) const;
    bool High(const PinEnvironment& env, int chipPin) const;
    // The levels of chipPins as a number, the first pin as bit 0.
    uint32_t Bits(const PinEnvironment& env, const std::vector<int>& chipPins) const;
    int Vcc(const PinEnvironment& env) const;
    // VCC at 4.5 V or more.
    bool Powered(const PinEnvironment& env) const;
    // The voltage on the EA/VPP chip pin; above logic level while VCC is not
    // up it is a violation, reported once until the order is right again.
    int EaVoltageAfterVcc(const PinEnvironment& env, int eaChipPin);

private:
    bool vppEarlyReported_ = false;
    std::vector<int> pins_;
    int vcc_;
    int vpp_;
    int vppLimitTenths_;
};

} // namespace sim
