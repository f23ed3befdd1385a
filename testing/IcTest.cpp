#include "testing/IcTest.h"

#include <cstring>

#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "testing/TestRun.h"

char TestInLine[kIcTestMaxPins + 1];
char TestOutLine[kIcTestMaxPins + 1];
IcTestLineReportFn IcTestLineCallback = nullptr;
int IcPinCount = 14;
std::string IcDeviceName = "None";

void ResetIcTestState() {
    std::memset(TestInLine, 0, sizeof TestInLine);
    std::memset(TestOutLine, 0, sizeof TestOutLine);
    IcTestLineCallback = nullptr;
    IcPinCount = 14;
    IcDeviceName = "None";
}

namespace {

constexpr int kPullUp = 4;    // register 13: undriven pins weakly high
constexpr int kPullDown = 12; // register 13: undriven pins weakly low

int FirstSocketPin(int n) { return 25 - n / 2; }
int LastSocketPin(int n) { return 24 + n / 2; }

bool Within(const char* set, uint8_t c) { return c != 0 && std::strchr(set, c) != nullptr; }

// Switches the pins the first line marks with `upper` or `lower`.
void SwitchMarkedPins(int n, const uint8_t* firstLine, char upper, char lower, int on,
                      void (*sw)(int pin, int state)) {
    for (int p = FirstSocketPin(n); p <= LastSocketPin(n); ++p) {
        const uint8_t c = firstLine[p - FirstSocketPin(n)];
        if (c == upper || c == lower) sw(p, on);
    }
}

// The level an undriven pin reads with the weak pull selected.
int ReadWithPull(int pin, int pull) {
    WriteRegister(13, static_cast<uint32_t>(pull));
    DelayShortUsSlot(0);
    return GetPin(pin);
}

} // namespace

int IsDevicePin(int s, int n) {
    const int h = n / 2;
    return s >= 24 - h && s < 24 + h ? 1 : -1;
}

void SetGroundPinsFromVector(int n, const uint8_t* firstLine, int on) {
    SwitchMarkedPins(n, firstLine, 'G', 'g', on, SetGroundPin);
}

void SetSupplyPinsFromVector(int n, const uint8_t* firstLine, int on) {
    SwitchMarkedPins(n, firstLine, 'V', 'v', on, SetSupplyPinB);
}

int ApplyIcTestLine(int n, const uint8_t* line, int xLevel) {
    const int first = FirstSocketPin(n);
    const int last = LastSocketPin(n);
    for (int p = first; p <= last; ++p) {
        const uint8_t c = line[p - first];
        if (Within("NZHLVG", c)) {
            SetPin(p, 2);
        } else if (Within("C0", c)) {
            SetPin(p, 0);
        } else if (Within("K1", c)) {
            SetPin(p, 1);
        }
        if (c == 'X') SetPin(p, xLevel ? 1 : 0);
    }
    for (int p = first; p <= last; ++p) {
        const uint8_t c = line[p - first];
        if (c == 'C') PulsePin(p, 3);
        if (c == 'K') PulsePin(p, 0);
    }
    return CheckTestLinePins(n, line, TestOutLine);
}

int CheckTestLinePins(int n, const uint8_t* line, char* out) {
    const int first = FirstSocketPin(n);
    int result = 1;
    for (int p = first; p <= LastSocketPin(n); ++p) {
        const uint8_t c = line[p - first];
        if (!Within("ZHL", c)) continue;
        const int a = ReadWithPull(p, kPullUp);
        const int b = ReadWithPull(p, kPullDown);
        char read = ' ';
        if (a == 0 && b == 0) read = 'L';
        if (a == 1 && b == 1) read = 'H';
        if (a == 1 && b == 0) read = 'Z';
        if (read != ' ') out[p - first] = read;
        if (read != static_cast<char>(c)) result = -1;
    }
    return result;
}

void PrepareTestLines(int n, const uint8_t* line, char* in, char* out) {
    std::memset(out, ' ', kIcTestMaxPins);
    out[n] = 0;
    int k = 0;
    for (; k < n && line[k] != 0; ++k) in[k] = static_cast<char>(line[k]);
    in[k] = 0;
}

void ShowTestLineProgress(int lineCount, int index) {
    if (lineCount <= 0) return;
    if (lineCount < 100) {
        SetProgressPosition(100 / lineCount * index);
    } else if (static_cast<uint32_t>(index / (lineCount / 100 + 1)) == ProgressPercent) {
        SetProgressPosition(static_cast<int>(ProgressPercent));
        ++ProgressPercent;
    }
}

int RunIcTest(int n, const uint8_t* lines, int xLevel, int delayMs, int report, size_t size) {
    // n 0 would never leave the loop, n 1 checks no pin and n over 48 reaches
    // past the socket; a list without a line has no result to give.
    if (n < kIcTestMinPins || n > kIcTestMaxPins || lines == nullptr) return -1;
    const size_t width = static_cast<size_t>(n);
    if (size < width || lines[0] == 0) return -1;

    SetGroundPinsFromVector(n, lines, 1);
    DelayMsSlot(1);
    FloatPinRange(1, 48);
    SetSupplyPinsFromVector(n, lines, 1);
    DelayMsSlot(1);

    const TestLineRun run{n, xLevel, delayMs, TestInLine, TestOutLine, ApplyIcTestLine,
                          report ? IcTestLineCallback : nullptr};
    const int result = RunTestLines(run, lines, size);

    SetSupplyPinsFromVector(n, lines, 0);
    SetGroundPinsFromVector(n, lines, 0);
    return result;
}

int RunTestLines(const TestLineRun& run, const uint8_t* lines, size_t size) {
    const size_t width = static_cast<size_t>(run.n);
    int result = 1;
    for (size_t i = 0; (i + 1) * width <= size; ++i) {
        const uint8_t* line = lines + i * width;
        if (line[0] == 0) break;
        PrepareTestLines(run.n, line, run.in, run.out);
        result = run.apply(run.n, line, run.xLevel);
        if (run.report) run.report(run.in, run.out, static_cast<int>(i));
        if (result == -1) break;
        if (PollTestBreak() == 3) {
            result = 3;
            break;
        }
        DelayMsSlot(static_cast<uint32_t>(run.delayMs < 0 ? 0 : run.delayMs));
    }
    return result;
}
