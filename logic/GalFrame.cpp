#include "logic/GalFrame.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/NeighbourState.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"

namespace {

struct FuseRun {
    uint16_t first, last;
};

template <size_t N>
constexpr std::array<uint16_t, 82> OrderFromRuns(const FuseRun (&runs)[N], uint16_t offset = 0) {
    std::array<uint16_t, 82> order{};
    size_t k = 0;
    for (const FuseRun& r : runs) {
        for (uint32_t f = r.first; f <= r.last && k < order.size(); ++f) order[k++] = static_cast<uint16_t>(f + offset);
    }
    return order;
}

constexpr FuseRun kOrder0[] = {{2128, 2159}, {2048, 2051}, {2193, 2193}, {2120, 2127},
                               {2192, 2192}, {2052, 2055}, {2160, 2191}};
constexpr FuseRun kOrder1[] = {{2048, 2051}, {2193, 2193}, {2120, 2123}, {2128, 2191},
                               {2124, 2127}, {2192, 2192}, {2052, 2055}};
constexpr uint16_t k20V8Offset = 512;

// Programming and reading modes of an edit-mode power-up.
enum PowerMode { kWriting = 1, kReading = 2 };

constexpr uint32_t kStrobeUs[4] = {5, 10, 50, 100};
constexpr uint32_t kEraseTimeMs[8] = {10, 25, 50, 100, 200, 400, 800, 0};
constexpr uint32_t kProgramTimeUs[16] = {500,   1000,  5000,  10000, 20000,  30000,  40000, 50000,
                                         60000, 70000, 80000, 90000, 100000, 200000, 0,     0};
constexpr uint32_t kSupply5V = 0x15;
constexpr uint32_t kSupply3V = 0x25;
constexpr uint32_t kMakerLattice = 0xA1;

} // namespace

GalExtendedState GalExtended{};

bool GalExtendedIdAccepted(const uint8_t (&types)[4]) {
    const uint32_t f = GalExtendedIdFuse;
    const uint32_t supply = GetBufferBits(f + 8, 8);
    const uint32_t type = GetBufferBits(f + 16, 8);
    bool typeOk = false;
    for (uint8_t a : types) typeOk = typeOk || (a != 0 && a == type);
    if (!(supply == kSupply5V || supply == kSupply3V) || !typeOk || GetBufferBits(f + 24, 8) != kMakerLattice)
        return false;
    GalExtended.SupplyCode = supply;
    GalExtended.TypeCode = type;
    GalExtended.StrobeUs = kStrobeUs[GetBufferBits(f + 32, 2)];
    GalExtended.EraseUs = kEraseTimeMs[GetBufferBits(f + 34, 3)] * 1000;
    GalExtended.ProgramUs = kProgramTimeUs[GetBufferBits(f + 37, 4)];
    GalExtended.ProgramTenths = 50 + 5 * GetBufferBits(f + 41, 5);
    GalExtended.ReadTenths = 50 + 5 * GetBufferBits(f + 46, 5);
    return true;
}

void GalRaiseExtendedEdit(int mode) {
    uint32_t edit = GalExtended.ReadTenths;
    if (mode == kWriting) {
        if (GalExtended.SupplyCode == kSupply5V) {
            SupplyVoltage = kGalHighSupplyTenths;
            RampVoltageUp(4, kGalLowSupplyTenths + SupplyRampOffset, kGalHighSupplyTenths + SupplyRampOffset, 1, 0);
            for (uint32_t v = 0; v <= 2; ++v) WriteRegister(25, v);
        }
        edit = GalExtended.ProgramTenths;
    }
    RampVoltageUp(2, kGalEditModeTenths, static_cast<int>(edit), 1, 1000);
    GalExtended.EditTenths = edit;
}

// The down ramp starts at the read edit voltage, even after a write left the
// programming one; an edit voltage never raised past 10.0 V (refused ID)
// starts there.
void GalLowerExtendedEdit() {
    const int from = GalExtended.EditTenths == kGalEditModeTenths ? kGalEditModeTenths
                                                                   : static_cast<int>(GalExtended.ReadTenths);
    RampVoltageDown(2, from, kGalEditModeTenths, 10, 0);
    DelayShortUsSlot(10);
    RampVoltageDown(2, kGalEditModeTenths, kGalEditStartTenths, 10, 0);
}

void GalChooseSupply(int mode) {
    if (mode == kWriting) {
        Vccp = 500;
        SupplyVoltage = 50;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
}

uint32_t GetBufferBits(uint32_t first, int count) {
    uint32_t v = 0;
    for (int k = 0; k < count && k < 32; ++k) v |= GetBufferBit(first + static_cast<uint32_t>(k)) << k;
    return v;
}

const std::array<std::array<uint16_t, 82>, 2> GalArchitectureRowOrder{OrderFromRuns(kOrder0), OrderFromRuns(kOrder1)};
const std::array<std::array<uint16_t, 82>, 2> Gal20V8ArchitectureRowOrder{OrderFromRuns(kOrder0, k20V8Offset),
                                                                          OrderFromRuns(kOrder1, k20V8Offset)};
