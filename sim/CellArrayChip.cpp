#include "sim/CellArrayChip.h"

#include <algorithm>

namespace sim {

namespace {
constexpr int kLogicMaxTenths = 70;
} // namespace

CellArrayChip::CellArrayChip(std::string name, int pinCount, uint32_t cells, int vccChipPin,
                             std::vector<int> gndChipPins)
    : ProbeChip(DipSocketPins(pinCount), {}, std::move(name)),
      vccPin_(vccChipPin),
      gndPins_(std::move(gndChipPins)),
      cells_(cells, 1) {}

CellArrayChip::CellArrayChip(std::string name, std::vector<int> socketPins, uint32_t cells, int vccChipPin,
                             std::vector<int> gndChipPins, int vccMinTenths)
    : ProbeChip(std::move(socketPins), {}, std::move(name)),
      vccPin_(vccChipPin),
      gndPins_(std::move(gndChipPins)),
      vccMinTenths_(vccMinTenths),
      cells_(cells, 1) {}

ChipDrive CellArrayChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!Powered(env)) return DiodeNetworkOutput(env, socketPin);
    return PoweredOutput(env, socketPin);
}

void CellArrayChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    if (Powered(env)) {
        PoweredOutputs(env, socketPins, n, out);
        return;
    }
    const uint8_t* map = ChipPinMap();
    for (size_t i = 0; i < n; ++i)
        out[i] = ChipPinAt(map, socketPins[i]) != 0 ? DiodeNetworkOutput(env, socketPins[i]) : ChipDrive::None;
}

void CellArrayChip::PoweredOutputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    const uint8_t* map = ChipPinMap();
    for (size_t i = 0; i < n; ++i)
        out[i] = ChipPinAt(map, socketPins[i]) != 0 ? PoweredOutput(env, socketPins[i]) : ChipDrive::None;
}

void CellArrayChip::SetCell(uint32_t n, int value) {
    if (n < cells_.size()) cells_[n] = value ? 1 : 0;
}

bool CellArrayChip::Blank() const {
    return std::all_of(cells_.begin(), cells_.end(), [](uint8_t c) { return c == 1; });
}

ChipPinLimits CellArrayChip::Limits() const {
    ChipPinLimits l;
    l.chip = Name();
    for (int p : SocketPins()) {
        if (p != 0) l.socketPins.push_back(p);
    }
    l.maxTenths = kLogicMaxTenths;
    for (auto [chipPin, tenths] : raised_) {
        if (SocketOf(chipPin) != 0) l.Allow(SocketOf(chipPin), tenths);
    }
    return l;
}

int CellArrayChip::SocketOf(int chipPin) const {
    const auto& pins = SocketPins();
    if (chipPin < 1 || chipPin > static_cast<int>(pins.size())) return 0;
    return pins[static_cast<size_t>(chipPin - 1)];
}

int CellArrayChip::Level(const PinEnvironment& env, int chipPin) const {
    const int s = SocketOf(chipPin);
    return s == 0 ? env.FloatingLevel() : env.InputLevel(s);
}

int CellArrayChip::Volts(const PinEnvironment& env, int chipPin) const {
    const int s = SocketOf(chipPin);
    return s == 0 ? -1 : env.VoltageTenths(s);
}

bool CellArrayChip::Powered(const PinEnvironment& env) const {
    const uint64_t now = env.NowUs();
    if (now == poweredAtUs_) return powered_;
    poweredAtUs_ = now;
    powered_ = Volts(env, vccPin_) >= vccMinTenths_ && std::all_of(gndPins_.begin(), gndPins_.end(), [&](int g) {
                   const int s = SocketOf(g);
                   return s != 0 && env.HeldLow(s);
               });
    return powered_;
}

void CellArrayChip::WriteCell(uint32_t n, int bit) {
    if (n >= cells_.size() || bit != 0 || stuck_.count(n) != 0) return;
    cells_[n] = 0;
}

bool CellArrayChip::InEditMode(const PinEnvironment& env, int editChipPin, int editOnTenths) const {
    const bool edit = Volts(env, editChipPin) >= editOnTenths;
    const bool powered = Powered(env);
    if (edit && !powered) env.Violation(Name() + ": clock or strobe at edit voltage without VCC and ground");
    return edit && powered;
}

void CellArrayChip::EraseAll() {
    std::fill(cells_.begin(), cells_.end(), uint8_t{1});
    secured_ = false;
}

} // namespace sim
