#include "testing/VectorTest.h"

#include <cstring>

#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"

uint8_t VectorXLevel = 1;
int VectorVcc = 50;
int VectorDelayMs = 0;
char VectorInLine[kIcTestMaxPins + 1];
char VectorOutLine[kIcTestMaxPins + 1];
IcTestLineReportFn VectorTestLineCallback = nullptr;

void ResetVectorTestState() {
    VectorXLevel = 1;
    VectorVcc = 50;
    VectorDelayMs = 0;
    std::memset(VectorInLine, 0, sizeof VectorInLine);
    std::memset(VectorOutLine, 0, sizeof VectorOutLine);
    VectorTestLineCallback = nullptr;
}

namespace {

bool Within(const char* set, uint8_t c) { return c != 0 && std::strchr(set, c) != nullptr; }

void Strobe(uint32_t kind) {
    WriteRegister(12, kind);
    WriteRegister(12, 0);
}

} // namespace

void PulseVectorStrobe1() { Strobe(1); }
void PulseVectorStrobe2() { Strobe(2); }

int ApplyVectorLine(int n, const uint8_t* line, int xLevel) {
    const int first = 25 - n / 2;
    const int last = 24 + n / 2;
    for (int p = first; p <= last; ++p) {
        const uint8_t c = line[p - first];
        if (Within("NZHLVG", c)) {
            SetPin(p, 2);
        } else {
            SetPin(p, c == 'K' ? 1 : 0);
        }
    }
    PulseVectorStrobe1();
    for (int p = first; p <= last; ++p) {
        const uint8_t c = line[p - first];
        if (c == '0') SetPin(p, 0);
        if (c == '1') SetPin(p, 1);
        if (c == 'X') SetPin(p, xLevel ? 1 : 0);
    }
    PulseVectorStrobe2();
    for (int p = first; p <= last; ++p) {
        const uint8_t c = line[p - first];
        if (c != 'C' && c != 'K') continue;
        const int idle = c == 'C' ? 0 : 1;
        SetPin(p, !idle);
        PulseVectorStrobe2();
        SetPin(p, idle);
        PulseVectorStrobe2();
    }
    return CheckTestLinePins(n, line, VectorOutLine);
}

int RunVectorTest(int n, const uint8_t* lines, int xLevel, int delayMs, size_t size) {
    if (n < kIcTestMinPins || n > kIcTestMaxPins || lines == nullptr) return -1;
    const size_t width = static_cast<size_t>(n);
    if (size < width || lines[0] == 0) return -1;
    const TestLineRun run{n, xLevel, delayMs, VectorInLine, VectorOutLine, ApplyVectorLine, VectorTestLineCallback};
    return RunTestLines(run, lines, size);
}

int RunPoweredVectorTest(int n, const uint8_t* lines, size_t size) {
    ResetProgrammerOutputs();
    SetVccRange(1, VectorVcc);
    FloatPinRange(1, 48);
    if (GetHardwareKind() == 0) {
        SetLatchBit(29, 3, 0);
        SetLatchBit(29, 4, 0);
        PulseVectorStrobe1();
    }
    SetDeviceGround(1);
    DelayMsSlot(10);
    SetDevicePower(1, VectorVcc);
    DelayMsSlot(100);
    const int r = RunVectorTest(n, lines, VectorXLevel, VectorDelayMs, size);
    SetDevicePower(0, VectorVcc);
    SetDeviceGround(0);
    ResetProgrammerOutputs();
    return r;
}
