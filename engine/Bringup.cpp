#include "engine/Bringup.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "platform/PortIo.h"

uint32_t IdBusShadow = 0;
int32_t LoadedLogicImage = 0;

namespace {
constexpr char kHardwareTag[] = "QLX ";
constexpr uint32_t kLogicImageBytes = 8838; // 70704 bits
constexpr uint32_t kConfigurePulseLoops = 30000;
constexpr uint16_t kProbeBases[3] = {0x378, 0x3BC, 0x278};

void SpinLoop(uint32_t iterations) {
    for (uint32_t i = 0; i < iterations; ++i)
        asm volatile("" ::: "memory");
}

// Restarts the configuration of the programmer logic: control bit 0 pulsed high.
void PulseConfigure() {
    OutPortDelayed(static_cast<uint16_t>(PortBase + 2), 1);
    SpinLoop(kConfigurePulseLoops);
    OutPortDelayed(static_cast<uint16_t>(PortBase + 2), 0);
}

// Sets PortBase to `base`, downloads the device's image there and reads the
// tag. A base the port backend cannot reach is not tried.
int TryPort(uint16_t base) {
    if (!CurrentPortIo().Reaches(base)) return -1;
    PortBase = base;
    DownloadLogicImage(LogicImageNumber);
    return CheckHardwareTag();
}
} // namespace

void SetIdBusLine(uint32_t mask, int on) {
    if (on == 1) {
        IdBusShadow |= mask;
    } else {
        IdBusShadow &= ~mask;
    }
    WriteRegister(13, IdBusShadow);
}

void ClockIdBus() {
    SetIdBusLine(kIdBusClock, 1);
    SetIdBusLine(kIdBusClock, 0);
}

void ShiftIdOpcode(uint32_t opcode) {
    for (int bit = 2; bit >= 0; --bit) {
        SetIdBusLine(kIdBusData, static_cast<int>((opcode >> bit) & 1));
        ClockIdBus();
    }
}

void ShiftIdAddress(uint32_t address, int topBit) {
    if (topBit > 31) topBit = 31;
    for (int bit = topBit; bit >= 0; --bit) {
        SetIdBusLine(kIdBusData, static_cast<int>((address >> bit) & 1));
        ClockIdBus();
    }
    SetIdBusLine(kIdBusData, 0);
}

int ReadHardwareIdBlock(int topBit) {
    std::memset(HardwareIdBlock, 0, sizeof HardwareIdBlock);
    WriteRegister(15, RegisterShadow[15] | 0x80u);
    for (uint32_t word = 0; word < kHardwareIdBlockSize / 2; ++word) {
        SetIdBusLine(kIdBusSelect, 1);
        ShiftIdOpcode(6); // start bit, READ
        ShiftIdAddress(word, topBit);
        ClockIdBus(); // past the memory's dummy 0 bit
        uint32_t bits = 0;
        for (int i = 0; i < 16; ++i) {
            bits = (bits << 1) | (ReadRegister(13) & 1u);
            ClockIdBus();
        }
        HardwareIdBlock[2 * word + 1] = static_cast<uint8_t>(bits >> 8);
        HardwareIdBlock[2 * word] = static_cast<uint8_t>(bits);
        SetIdBusLine(kIdBusSelect, 0);
        if (HardwareIdBlock[0] != static_cast<uint8_t>(kHardwareTag[0])) return -1;
    }
    return 1;
}

int CheckHardwareTag() {
    ResetProgrammerOutputs();
    if (ReadHardwareIdBlock(5) == -1) ReadHardwareIdBlock(9);
    return std::memcmp(HardwareIdBlock, kHardwareTag, 4) == 0 ? 1 : -1;
}

int VerifyCalibrationChecksum() {
    uint32_t sum = 0;
    for (int i = 0; i < kHardwareIdBlockSize; ++i) {
        if (i >= 24 && i < 28) continue;
        sum += HardwareIdBlock[i];
    }
    char computed[16];
    std::snprintf(computed, sizeof computed, "%04x", sum);
    char stored[5];
    for (int i = 0; i < 4; ++i) {
        stored[i] = static_cast<char>(std::toupper(HardwareIdBlock[24 + i]));
        computed[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(computed[i])));
    }
    stored[4] = '\0';
    return std::strcmp(computed, stored) == 0 ? 1 : -1;
}

int CheckCalibration() {
    if (VerifyCalibrationChecksum() == 1) return 1;
    ShowMessageLine("Calibration required!");
    return -1;
}

void ClockOutLogicImage() {
    OutPortDelayed(PortBase, 0x80);
    PulseConfigure();
    SpinLoop(kConfigurePulseLoops);
    for (uint32_t k = 0; k < kLogicImageBytes; ++k) {
        const uint8_t byte = ReadLibraryByte(k);
        for (int bit = 0; bit < 8; ++bit) {
            if ((byte >> bit) & 1) {
                OutPortDelayed(PortBase, 0x81);
                OutPortDelayed(PortBase, 0x01);
            } else {
                OutPortDelayed(PortBase, 0x00);
            }
            OutPortDelayed(PortBase, 0x80);
        }
    }
    OutPortDelayed(PortBase, 0x00);
    RegisterShadow[15] = 1;
    WriteRegister(15, 1);
}

int DownloadLogicImage(uint32_t entry) {
    if (entry > kLibraryMaxEntry) {
        ShowMessageLine("DownNo is to big!");
        return -1;
    }
    // Entry 0 is a device list, never an image.
    if (entry == 0 || OpenLibraryEntry(entry) <= 4) {
        ShowMessageLine("Not Ready!");
        return -1;
    }
    ClockOutLogicImage();
    LoadedLogicImage = static_cast<int32_t>(entry);
    return 1;
}

int ConnectProgrammer(int mode) {
    // A programmer that is already configured answers without a download.
    int r = CurrentPortIo().Reaches(PortBase) ? CheckHardwareTag() : -1;
    if (r == -1) {
        if (PortIndex >= 1 && PortIndex <= 3) {
            r = TryPort(static_cast<uint16_t>(PortTable[PortIndex]));
        } else {
            for (uint16_t base : kProbeBases) {
                r = TryPort(base);
                if (r == 1) break;
            }
        }
    }
    if (r == 1) r = CheckCalibration();
    if (r == 1) {
        ProgrammerConnected = 1;
        InstallRealDelaySlots();
    } else {
        ProgrammerConnected = -1;
        std::memset(HardwareIdBlock, 'X', sizeof HardwareIdBlock);
        if (mode == 1) ShowMessageLine("Can not find the %s programming module.", ProductName);
        if (mode == 2) ShowMessageLine("Can not be executed with Communication Error!");
        InstallNoDelaySlots();
    }
    ResetProgrammerOutputs();
    return r;
}

uint32_t ReadHardwareModel() {
    if ((DeviceFlags & 0x30) == 0) {
        // No gang operation for this device: no stale adapter state either.
        GangAdapterState = 0;
        return 0;
    }
    GangAdapterState = ReadRegister(1) & 3u;
    return GangAdapterState;
}

void ResetProgrammerLogic() {
    if (ProgrammerConnected != 1) return;
    ResetProgrammerOutputs();
    PulseConfigure();
    // The logic is unconfigured now: nothing answers until the next bring-up.
    MarkLinkLost();
    LoadedLogicImage = 0;
}

void ResetBringupState() {
    std::memset(HardwareIdBlock, 0, sizeof HardwareIdBlock);
    IdBusShadow = 0;
    LoadedLogicImage = 0;
    GangAdapterState = 0;
}
