#include "testing/SelfTest.h"

#include "engine/Bringup.h"
#include "engine/Library.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "testing/TestRun.h"

const RelayEntry VccRelayTable[8] = {{25, 4}, {28, 7}, {34, 5}, {36, 6}, {38, 3}, {40, 0}, {44, 2}, {48, 1}};
const RelayEntry GndRelayTable[3] = {{15, 5}, {24, 2}, {34, 6}};

namespace {

constexpr int kPullUp = 4;
constexpr int kPullDown = 12;

// 1 when pin p reads `own` and every other pin the opposite level.
int PinsRead(int p, int own) {
    int r = 1;
    for (int q = 1; q <= 48; ++q) {
        if (GetPin(q) != (q == p ? own : !own)) r = -1;
    }
    return r;
}

void SwitchElement(int kind, int p, int on) {
    switch (kind) {
    case 0:
        SetPin(p, on ? 1 : 2);
        break;
    case 1:
        SetSupplyPinA(p, on);
        break;
    case 2:
        SetSupplyPinB(p, on);
        break;
    default:
        SetGroundPin(p, on);
        break;
    }
}

// The relay items: each relay pin closes its relay alone and must read
// `own`, every other pin the opposite; pins without a relay are not tested.
void TestRelays(SelfTestResults results, const RelayEntry* table, int count, uint32_t latch, int own) {
    FloatPinRange(1, 48);
    for (int p = 1; p <= 48; ++p) {
        results[p] = 2;
        for (int k = 0; k < count; ++k) {
            if (table[k].pin != p) continue;
            SetLatchBit(latch, table[k].bit, 1);
            DelayMsSlot(10);
            results[p] = PinsRead(p, own);
            SetLatchBit(latch, table[k].bit, 0);
            DelayMsSlot(10);
        }
    }
}

} // namespace

void TestPinSwitches(SelfTestResults results, int kind) {
    SetVccRange(kind == 3 ? 1 : 0, 50);
    if (kind == 1 || kind == 2) {
        SetAllDacVoltages(50, 50, 50, 50);
    } else {
        SetAllDacVoltages(0, 0, 0, 0);
    }
    FloatPinRange(1, 48);
    for (int p = 1; p <= 48; ++p) {
        SwitchElement(kind, p, 1);
        DelayShortUsSlot(100);
        results[p] = PinsRead(p, kind == 3 ? 0 : 1);
        SwitchElement(kind, p, 0);
    }
    if (kind != 0) return;
    // Each driver must also pull its pin low, over the pull-up that holds
    // the floating pins high: a driver that cannot reach one level fails.
    SetVccRange(1, 50);
    SetAllDacVoltages(0, 0, 0, 0);
    for (int p = 1; p <= 48; ++p) {
        SetPin(p, 0);
        DelayShortUsSlot(100);
        if (PinsRead(p, 0) != 1) results[p] = -1;
        SetPin(p, 2);
    }
}

void TestPullUpDown(SelfTestResults results) {
    SetVccRange(0, 50);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinRange(1, 48);
    for (int p = 1; p <= 48; ++p) {
        WriteRegister(13, kPullDown);
        DelayShortUsSlot(100);
        const bool low = GetPin(p) == 0;
        WriteRegister(13, kPullUp);
        DelayShortUsSlot(100);
        results[p] = low && GetPin(p) == 1 ? 1 : -1;
    }
}

void TestVccRelays(SelfTestResults results) {
    SetVccRange(0, 50);
    SetAllDacVoltages(0, 0, 0, 55);
    TestRelays(results, VccRelayTable, 8, 28, 1);
}

void TestGndRelays(SelfTestResults results) {
    SetVccRange(1, 50);
    SetAllDacVoltages(0, 0, 0, 0);
    TestRelays(results, GndRelayTable, 3, 29, 0);
}

int ReportSelfTestItem(const SelfTestResults results, const char* name) {
    int r = 1;
    for (int p = 1; p <= 48; ++p) {
        if (results[p] == -1) r = -1;
    }
    ShowMessageLine(r == 1 ? " %s: PASS!" : " %s: FAIL!", name);
    return r;
}

void RunHardwareSelfTest() {
    if (ConnectProgrammer(2) == -1) {
        Beep(-1);
        return;
    }
    if (LoadedLogicImage != static_cast<int32_t>(kLibraryTestImage)) DownloadLogicImage(kLibraryTestImage);
    const TestRunScope running;
    ResetProgrammerOutputs();
    SelfTestResults results = {};
    int result = 1;
    // A quit between two items stops the test with no verdict.
    bool stopped = false;
    const auto item = [&](const char* name, auto run) {
        if (stopped) return;
        run();
        if (ReportSelfTestItem(results, name) == -1) result = -1;
        stopped = PollTestBreak() == 3;
    };
    item("Logic", [&] { TestPinSwitches(results, 0); });
    item("V12", [&] { TestPinSwitches(results, 1); });
    item("V34", [&] { TestPinSwitches(results, 2); });
    if (HardwareKind != 3) {
        item("GND", [&] { TestPinSwitches(results, 3); });
        item("Pull Up/Down", [&] { TestPullUpDown(results); });
        item("Vcc Relay", [&] { TestVccRelays(results); });
        item("Gnd Relay", [&] { TestGndRelays(results); });
    }
    ResetProgrammerOutputs();
    if (stopped) {
        Beep(-1);
        ShowMessageLine("User Break!");
        return;
    }
    Beep(result);
    if (result == 1) {
        ShowMessageLine("Hardware Test Pass!");
        SetLatchBit(29, 7, 1);
    } else {
        ShowMessageLine("Hardware Test Fail!");
    }
}
