#include "engine/Port.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "engine/Messages.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"

uint16_t PortBase = 0x378;
const uint32_t PortTable[4] = {0x378, 0x378, 0x3BC, 0x278};
uint32_t PortIndex = 0;
uint32_t PortDelayCount = 0;
uint8_t RegisterShadow[32] = {};
uint32_t TimerPrescale = 1;
int32_t ProgrammerConnected = -1;

DelaySlotFn DelayMsSlot = NoDelayMs;
DelaySlotFn DelayUsSlot = NoDelayUs;
DelaySlotFn WaitSecondsSlot = WaitSeconds;
DelaySlotFn DelayShortUsSlot = NoDelayShortUs;

namespace {
// The poll budget of the wait in progress, in status reads. Each read costs at
// least a microsecond on the port, so a budget of several times the asked
// duration is well above the wait.
uint32_t g_expectedWaitUs = 0;

// The backend PROGRAMMER_PORT chose at start-up, and the ppdev node open now
// (empty: none) with the base it serves.
PortBackendChoice g_portChoice;
bool g_portChosen = false;
std::string g_openNode;
uint16_t g_openBase = 0;

// Puts the node in place on `base`. The port in use is released first: a
// ppdev port claimed twice would wait for itself. Without the node there is
// no programmer.
bool OpenPpdevNode(const std::string& node, uint16_t base, std::string& error) {
    InstallPortIo(MakeAbsentPort());
    g_openNode.clear();
    auto io = OpenPpdevPort(node, base, error);
    if (!io) return false;
    InstallPortIo(std::move(io));
    g_openNode = node;
    g_openBase = base;
    return true;
}

// A port the program tried and could not open: the node and the system's
// reason, in the log and on the standard error output (the log may not be
// on screen yet at start-up).
void ReportPortNotOpened(const std::string& error) {
    if (error.empty()) return;
    ShowMessageLine("%s", error.c_str());
    std::fprintf(stderr, "%s\n", error.c_str());
}

void SpinLoop(uint32_t iterations) {
    // The empty asm statement keeps the optimiser from removing the loop.
    for (uint32_t i = 0; i < iterations; ++i) {
        asm volatile("" ::: "memory");
    }
}
} // namespace

std::string PortOpenError;

int OpenGiveioDriver() {
    g_portChoice = ParsePortBackendChoice(std::getenv("PROGRAMMER_PORT"));
    g_portChosen = true;
    g_openNode.clear();
    std::string error;
    PortOpenError.clear();
    switch (g_portChoice.kind) {
    case PortBackendKind::Sim: {
        SimPortFactory f = GetSimPortFactory();
        if (f == nullptr) {
            PortOpenError = "sim: the simulated programmer is not part of this program";
            return -1;
        }
        InstallPortIo(f());
        return 0;
    }
    case PortBackendKind::Ppdev:
        // Asked for by name: it must open now. The configuration read later
        // gives the base it serves (OpenConfiguredPort).
        return OpenPpdevNode(g_portChoice.device, PortBase, PortOpenError) ? 0 : -1;
    case PortBackendKind::Raw: {
        auto io = OpenRawPort(PortOpenError);
        if (!io) return -1;
        InstallPortIo(std::move(io));
        return 0;
    }
    case PortBackendKind::Unset:
        break;
    }
    // Not named: the node of the configured port, once the configuration
    // has been read; no programmer until then.
    InstallPortIo(MakeAbsentPort());
    return 0;
}

int OpenConfiguredPort() {
    if (!g_portChosen) return 0;
    const bool fixed = PortIndex >= 1 && PortIndex <= 3;
    std::string error;
    if (g_portChoice.kind == PortBackendKind::Ppdev) {
        // The named node serves the configured port's base.
        const uint16_t base = fixed ? static_cast<uint16_t>(PortTable[PortIndex]) : PortBase;
        if (g_openNode == g_portChoice.device && g_openBase == base) return 0;
        if (OpenPpdevNode(g_portChoice.device, base, error)) return 0;
        ShowMessageLine("%s", error.c_str());
        return -1;
    }
    if (g_portChoice.kind != PortBackendKind::Unset) return 0;
    // The node whose base is the configured port's; Auto keeps a node that
    // is open, else takes the first that opens.
    if (fixed) {
        const uint16_t base = static_cast<uint16_t>(PortTable[PortIndex]);
        const std::string node = PpdevNodeForIndex(PortIndex);
        if (g_openNode == node && g_openBase == base) return 0;
        if (OpenPpdevNode(node, base, error)) {
            PortBase = base;
        } else {
            ReportPortNotOpened(error);
        }
        return 0;
    }
    if (!g_openNode.empty()) return 0;
    for (uint32_t i = 1; i <= 3; ++i) {
        const uint16_t base = static_cast<uint16_t>(PortTable[i]);
        const std::string node = PpdevNodeForIndex(i);
        if (OpenPpdevNode(node, base, error)) {
            PortBase = base;
            break;
        }
        // A port this machine does not have is no news; one it has but
        // cannot open (permissions, claimed elsewhere) is.
        std::error_code ec;
        if (std::filesystem::exists(node, ec)) ReportPortNotOpened(error);
    }
    return 0;
}

void PortDelay() { SpinLoop(PortDelayCount); }

void OutPortDelayed(uint16_t port, uint8_t value) {
    CurrentPortIo().Out(port, value);
    PortDelay();
}

uint8_t InPortDelayed(uint16_t port) {
    uint8_t v = CurrentPortIo().In(port);
    PortDelay();
    return v;
}

// The register protocol takes the port once for all its bytes: no port
// access installs another port.
void WriteRegister(uint32_t reg, uint32_t value) {
    PortIo& io = CurrentPortIo();
    io.Out(PortBase, static_cast<uint8_t>((reg & 0x1F) | 0x40));
    PortDelay();
    io.Out(PortBase, static_cast<uint8_t>(((value & 0xF0) >> 4) | 0x20));
    PortDelay();
    io.Out(PortBase, static_cast<uint8_t>(value & 0x0F));
    PortDelay();
}

uint8_t ReadRegister(uint32_t reg) {
    PortIo& io = CurrentPortIo();
    io.Out(PortBase, static_cast<uint8_t>((reg & 0x1F) | 0x40));
    PortDelay();
    io.Out(PortBase, 0x30);
    PortDelay();
    const uint8_t s1 = io.In(static_cast<uint16_t>(PortBase + 1));
    PortDelay();
    io.Out(PortBase, 0x10);
    PortDelay();
    const uint8_t s2 = io.In(static_cast<uint16_t>(PortBase + 1));
    PortDelay();
    return static_cast<uint8_t>(((s1 & 0x78) << 1) | ((s2 & 0x78) >> 3));
}

void SetLatchBit(uint32_t reg, uint32_t bit, uint32_t state) {
    WriteRegister(15, RegisterShadow[15] | 0x80u);
    WriteRegister(reg, ((state & 1) << 3) | (bit & 7));
    WriteRegister(15, RegisterShadow[15] & 0x7Fu);
}

static uint32_t PrescaleValue() {
    static const uint32_t prescales[3] = {16, 8, 4};
    return prescales[TimerPrescale > 2 ? 1 : TimerPrescale];
}

void SetPulseTimer(uint32_t factor, uint32_t mode) {
    WriteRegister(19, PrescaleValue() * factor - 1);
    WriteRegister(16, mode);
}

int WaitTimerDone() {
    const uint64_t budget = static_cast<uint64_t>(g_expectedWaitUs) * 4 + 200000;
    for (uint64_t polls = 0; polls < budget; ++polls) {
        if (InPortDelayed(static_cast<uint16_t>(PortBase + 1)) & 0x80) return 1;
    }
    MarkLinkLost();
    return -1;
}

static int DelayShortUsPiece(uint32_t us) {
    g_expectedWaitUs = us;
    WriteRegister(17, us / 10 + 1);
    return WaitTimerDone();
}

void DelayShortUs(uint32_t us) {
    // The 8-bit count of 10 us ticks reaches 2540 us; longer waits run in pieces
    // so they last the whole time asked.
    while (us > 2540) {
        if (DelayShortUsPiece(2500) != 1) return;
        us -= 2500;
    }
    DelayShortUsPiece(us);
}

static int DelayMsPiece(uint32_t ms) {
    uint32_t count = ms + 1;
    g_expectedWaitUs = count * 1000;
    if (count < 256) {
        SetPulseTimer(10, 100);
        WriteRegister(17, count);
    } else {
        SetPulseTimer(10, 200);
        WriteRegister(17, count / 2);
    }
    int r = WaitTimerDone();
    SetPulseTimer(1, 10);
    return r;
}

void DelayMs(uint32_t ms) {
    // The 2 ms time base with an 8-bit count reaches 510 ms; longer waits run in
    // pieces so they last the whole time asked.
    while (ms > 510) {
        if (DelayMsPiece(500) != 1) return;
        ms -= 500;
    }
    DelayMsPiece(ms);
}

void DelayUs(uint32_t us) {
    if (us > 1000) {
        DelayMs(us / 1000);
    } else {
        DelayShortUs(us);
    }
}

void WaitSeconds(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) DelayMsSlot(1000);
}

void NoDelayMs(uint32_t) {}
void NoDelayUs(uint32_t) {}
void NoDelayShortUs(uint32_t) {}

void InstallRealDelaySlots() {
    DelayMsSlot = DelayMs;
    DelayUsSlot = DelayUs;
    WaitSecondsSlot = WaitSeconds;
    DelayShortUsSlot = DelayShortUs;
}

void InstallNoDelaySlots() {
    DelayMsSlot = NoDelayMs;
    DelayUsSlot = NoDelayUs;
    DelayShortUsSlot = NoDelayShortUs;
}

void MarkLinkLost() {
    ProgrammerConnected = -1;
    InstallNoDelaySlots();
}

void Beep(int ok) {
    // The speaker timer's divisor of the original tones (1.193182 MHz clock).
    const int divisor = ok == 1 ? 1000 : 10000;
    PlayTone(1193182 / divisor, 100);
}

int HardwareKind = 0;
int GetHardwareKind() { return 0; }
void ConfigReadFailHook() {}
int OtherHardwareConfigHook() { return 1; }
void RunIdleHook() {}
int RunCheckHook() { return 1; }
int Alg50Options() { return 1; }
int Alg51Options() { return 1; }
int Alg120Options() { return 1; }
int Alg144Options() { return 1; }
int Alg180Options() { return 1; }
int Alg250Options() { return 1; }
int Alg266Options() { return 1; }

void ResetPortState() {
    PortBase = 0x378;
    PortIndex = 0;
    PortDelayCount = 0;
    for (auto& r : RegisterShadow) r = 0;
    TimerPrescale = 1;
    ProgrammerConnected = -1;
    PortOpenError.clear();
    HardwareKind = 0;
    DelayMsSlot = NoDelayMs;
    DelayUsSlot = NoDelayUs;
    WaitSecondsSlot = WaitSeconds;
    DelayShortUsSlot = NoDelayShortUs;
    g_expectedWaitUs = 0;
    g_portChoice = PortBackendChoice{};
    g_portChosen = false;
    g_openNode.clear();
    g_openBase = 0;
}
