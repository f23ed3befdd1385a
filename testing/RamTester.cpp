#include "testing/RamTester.h"

#include "engine/Bringup.h"
#include "engine/Insertion.h"
#include "engine/Library.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "testing/TestRun.h"

// Rows 2 and 3 take their parts' VSS pins (chip pin 18 of the 18-pin 1M*1
// part on socket pin 33, chip pin 20 of the 20-pin 4M*1 part on 34): socket
// pin 24 is their VCC pin and must never be grounded with the supply on it.
const RamTypeEntry RamTypeTable[kRamTypeCount] = {
    {351, 24, 32, 0, 65536, 256, 0},  {351, 24, 32, 0, 262144, 512, 0},  {352, 24, 33, 0, 1048576, 1024, 0},
    {353, 24, 34, 0, 4194304, 1024, 0}, {354, 24, 33, 0, 2048, 256, 1}, {354, 24, 33, 0, 8192, 256, 1},
    {355, 24, 34, 0, 32768, 512, 1},  {350, 36, 24, 0, 4096, 0, 2},     {350, 38, 24, 0, 8192, 0, 2},
    {350, 38, 24, 0, 32768, 0, 2},    {350, 40, 24, 0, 131072, 0, 2},
};

const char* const RamTypeNames[kRamTypeCount] = {
    "DRAM4164(64K*1)",    "DRAM41256(256K*1)", "DRAM41000(1M*1)", "DRAM44000(4M*1)",
    "DRAM41416(16K*4)",   "DRAM41464(64K*4)",  "DRAM414256(256K*4)", "SRAM6116(2K*8)",
    "SRAM6164(8K*8)",     "SRAM61256(32K*8)",  "SRAM610000(128K*8)",
};

uint32_t RamTestAddress = 0;

namespace {

constexpr int kResultEmpty = 98;
constexpr int kResultNoProgrammer = 99;

void LoadImage(uint32_t image) {
    if (LoadedLogicImage != static_cast<int32_t>(image)) DownloadLogicImage(image);
}

// Write-and-read of one location in the row's mode: true when both patterns
// read back.
bool TestLocation(const RamTypeEntry& e) {
    switch (e.Mode) {
    case 0:
        WriteRegister(3, 1);
        WriteRegister(3, 0);
        if ((ReadRegister(3) & 1) != 1) return false;
        WriteRegister(3, 1);
        return (ReadRegister(3) & 1) == 0;
    case 1:
        WriteRegister(3, 5);
        WriteRegister(5, 0);
        if ((ReadRegister(3) & 0x0F) != 5) return false;
        WriteRegister(3, 0x0A);
        WriteRegister(5, 0);
        return (ReadRegister(3) & 0x0F) == 0x0A;
    default:
        WriteRegister(3, 0x55);
        if (ReadRegister(3) != 0x55) return false;
        WriteRegister(3, 0xAA);
        return ReadRegister(3) == 0xAA;
    }
}

// The user's ESC, or a quit, reaches the test through the progress step.
int ShowRamProgress(uint32_t a, uint32_t size) {
    const int r = ShowPercentDone(a, size);
    if (r != 1) return r;
    return PollTestBreak();
}

} // namespace

bool RamTypePowerable(const RamTypeEntry& e) { return e.VccPin != e.GndPin; }

void PowerUpRamTest(int row) {
    const RamTypeEntry& e = RamTypeTable[row];
    SetVccRange(0, 33);
    SetAllDacVoltages(0, 0, 50, 50);
    SetGroundPin(e.GndPin, 1);
    DelayMsSlot(100);
    if (row == 7) WriteRegister(5, 1);
    if (row == 8) WriteRegister(1, 0x20);
    if (row == 10) WriteRegister(2, 6);
    WriteRegister(4, 1);
    SetSupplyPinB(e.VccPin, 1);
    DelayMsSlot(100);
}

void PowerDownRamTest(int row) {
    const RamTypeEntry& e = RamTypeTable[row];
    SetSupplyPinB(e.VccPin, 0);
    SetGroundPin(e.GndPin, 0);
}

int RunRamTest(int row) {
    if (row < 0 || row >= kRamTypeCount) return kRamTestRefused;
    const RamTypeEntry& e = RamTypeTable[row];
    if (!RamTypePowerable(e)) return kRamTestRefused;
    if (ConnectProgrammer(0) != 1) return kResultNoProgrammer;
    LoadImage(kLibraryTestImage);
    char map[kPinMapBytes];
    ScanPinConnections(map, 2);
    bool seated = false;
    for (int i = 0; i < 48; ++i) seated |= map[i] == 'G';
    if (!seated) return kResultEmpty;
    LoadImage(e.LogicImage);
    const TestRunScope running;
    ResetProgrammerOutputs();
    PowerUpRamTest(row);
    WriteRegister(4, 3);
    if (e.Mode == 0) {
        for (int i = 0; i < 100; ++i) WriteRegister(3, 1);
    }
    int result = 1;
    for (RamTestAddress = 0; RamTestAddress < e.Size; ++RamTestAddress) {
        const uint32_t a = RamTestAddress;
        if (a % 256 == 0) {
            result = ShowRamProgress(a, e.Size);
            if (result != 1) break;
        }
        if (!TestLocation(e)) {
            result = -1;
            break;
        }
        WriteRegister(6, 0);
        if (e.Mode != 2 && e.RowLength != 0 && a % e.RowLength == e.RowLength - 1) WriteRegister(7, 0);
    }
    if (result == 1) {
        ShowPercentDone(e.Size - 1, e.Size);
    } else if (result != 3) {
        result = -1;
    }
    PowerDownRamTest(row);
    ResetProgrammerOutputs();
    return result;
}

void ReportRamTestResult(int result) {
    const char* text = nullptr;
    switch (result) {
    case 1:
        text = "Good Memory!";
        break;
    case -1:
        text = "Defective Memory!";
        break;
    case 3:
        text = "User Break!";
        break;
    case kRamTestRefused:
        text = "This RAM type can not be tested!";
        break;
    case kResultEmpty:
        text = "Socket is empty!";
        break;
    case kResultNoProgrammer:
        text = "Can not be executed with Communication Error!";
        break;
    default:
        return;
    }
    Beep(result == 1 ? 1 : -1);
    ShowMessageLine("%s", text);
}
