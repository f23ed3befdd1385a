#include "memory/JtagMemory.h"

#include <initializer_list>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Jtag.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "memory/MemoryFrame.h"

namespace {

// ---- row 62 ---------------------------------------------------------------------

constexpr int kTms62 = 33, kTck62 = 17, kTdi62 = 25, kTdo62 = 15;
constexpr int kIrLength62 = 10;
constexpr uint8_t kId62[4] = {0x01, 0x38, 0x39, 0x41};
constexpr uint32_t kBlock62 = 8;
constexpr uint32_t kFlagIndex62 = 3;
constexpr uint8_t kFlagBit62 = 0x20;
enum : uint32_t {
    kIdSelect62 = 0x44,
    kId62Instr = 0x42,
    kAddressReset62 = 0x10A,
    kReadStream62 = 0x122,
    kLoadData62 = 0x006,
    kProgram62 = 0x196,
    kErase62 = 0x192,
    kStatus62 = 0x03E,
    kEnd62 = 0x04A,
    kBypass62 = 0x3FF,
};
constexpr uint32_t kStatusDone = 0, kStatusBusy = 4;

void TmsSteps(std::initializer_list<int> levels) {
    for (int tms : levels) JtagStep(tms, 0);
}

// One block of eight bytes from the buffer at BufferIndex (the flag bit
// cleared for the final pass), loaded, programmed and polled.
int ProgramBlock62(bool clearFlag) {
    uint8_t block[kBlock62];
    for (uint32_t i = 0; i < kBlock62; ++i) block[i] = BufferWindow[BufferIndex + i * AddressStep];
    if (clearFlag) block[kFlagIndex62] = static_cast<uint8_t>(block[kFlagIndex62] & ~kFlagBit62);
    JtagLoadInstruction(kLoadData62);
    JtagShiftDrBytes(block, kBlock62);
    JtagLoadInstruction(kProgram62);
    JtagLoadInstruction(kStatus62);
    return WaitReady62(3, 100);
}

} // namespace

int Setup62(int mode) {
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(19, 0);
    SetPin(28, 0);
    JtagInit(kTms62, kTck62, kTdi62, kTdo62, kIrLength62);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(10);
    JtagReset();
    JtagStep(0, 0);
    JtagLoadInstruction(kIdSelect62);
    JtagLoadInstruction(kId62Instr);
    DelayMsSlot(200);
    uint8_t id[4] = {};
    JtagReadDrBytes(id, 4);
    for (int i = 0; i < 4; ++i) {
        if (id[i] != kId62[i]) {
            ShowMessageLine(" Invalid device ID");
            return -1;
        }
    }
    return 1;
}

void PowerOff62() {
    JtagLoadInstruction(kEnd62);
    JtagLoadInstruction(kBypass62);
    SetPin(kTms62, 1);
    SetDeviceVpp(0, 0);
    DelayUs(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(50);
    SetDeviceGround(0);
}

uint32_t ReadStatus62() {
    TmsSteps({1, 0, 0}); // Select-DR, Capture-DR, Shift-DR
    uint32_t status = 0;
    for (int i = 0; i < 3; ++i) {
        status |= static_cast<uint32_t>(GetPin(kTdo62) & 1) << i;
        JtagStep(i == 2 ? 1 : 0, 0);
    }
    TmsSteps({1, 0}); // Update-DR, Run-Test/Idle
    return status;
}

int WaitReady62(uint32_t maxBusy, uint32_t us) {
    for (uint32_t busy = 0;;) {
        DelayUsSlot(us);
        const uint32_t status = ReadStatus62();
        if (status == kStatusDone) return 1;
        if (status != kStatusBusy || busy++ == maxBusy) return -1;
    }
}

int ProcessReadByte62(int mode) {
    if (BufferIndex == kFlagIndex62 && CurrentBank == 0) ReadValue |= kFlagBit62;
    return ProcessReadByte(mode);
}

int Alg62Read(int mode) {
    int result = Setup62(mode);
    if (result == 1) {
        JtagLoadInstruction(kAddressReset62);
        JtagLoadInstruction(kReadStream62);
        for (uint64_t a = DeviceStart; a <= DeviceEnd && result == 1; a += kBlock62) {
            ChipAddress = static_cast<uint32_t>(a);
            result = StepProgress(ChipAddress);
            if (result != 1) break;
            TmsSteps({1, 0, 0});
            for (uint32_t b = 0; b < kBlock62 && result == 1; ++b) {
                uint32_t value = 0;
                for (int i = 0; i < 8; ++i) {
                    value |= static_cast<uint32_t>(GetPin(kTdo62) & 1) << i;
                    JtagStep(0, 0);
                }
                ReadValue = value;
                result = ProcessReadByte62(mode);
            }
            TmsSteps({1, 1, 0}); // Exit1-DR, Update-DR, Run-Test/Idle
            if (result == 1 && BufferIndex > 0xFFFF && AdvanceToNextBankIf(mode) != 1) result = -1;
        }
    }
    PowerOff62();
    return result;
}

int Alg62Program() {
    int result = Setup62(1);
    if (result == 1) {
        JtagLoadInstruction(kAddressReset62);
        for (uint64_t a = DeviceStart; a <= DeviceEnd && result == 1; a += kBlock62) {
            ChipAddress = static_cast<uint32_t>(a);
            result = StepProgress(ChipAddress);
            if (result != 1) break;
            result = ProgramBlock62(false);
            BufferIndex += kBlock62 * AddressStep;
            if (result == 1 && BufferIndex > 0xFFFF && AdvanceToNextBankIf(1) != 1) result = -1;
        }
    }
    if (result == 1) {
        // The flag bit last: the first block again with it cleared.
        SelectBank(0, 0);
        BufferIndex = 0;
        JtagLoadInstruction(kAddressReset62);
        result = ProgramBlock62(true);
    }
    PowerOff62();
    return result;
}

int Alg62Erase() {
    int result = Setup62(1);
    if (result == 1) {
        JtagLoadInstruction(kErase62);
        JtagLoadInstruction(kStatus62);
        result = WaitReady62(290, 100000);
    }
    PowerOff62();
    return result;
}

void InstallJtagMemoryRows() { InstallRow(62, Alg62Read, Alg62Program, Alg62Erase); }
