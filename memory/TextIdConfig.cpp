#include "memory/TextIdConfig.h"

#include <string>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

namespace {

constexpr int kWordPolls33 = 200;
constexpr int kOptionTries33 = 200;
constexpr uint32_t kMostVariant33 = 6; // 10 + variant + 4 address bits at most
constexpr char kIdText[] = "ALTERA9";

uint32_t Ctl33 = 0;
// The buffer index of DeviceEnd's byte, where the option bits live.
uint64_t g_optionIndex = 0;
// Program takes DeviceEnd's byte when its word is loaded: the bank advance
// after that word moves the window off it.
int g_optionByte = -1;

void SetCtl33(uint32_t mask, int on) {
    Ctl33 = on ? (Ctl33 | mask) : (Ctl33 & ~mask);
    WriteRegister(0, Ctl33);
}

int ReceiveByte33(int src) {
    if (SerialEngineLost()) return -1;
    WriteRegister(8, 8);
    if (CommandEngineWaitIdle() != 1) return -1;
    ReadValue = ReadRegister(src == 0 ? 6 : 7);
    return 1;
}

int SendByte33(uint32_t b) {
    if (SerialEngineLost()) return -1;
    WriteRegister(6, b & 0xFF);
    WriteRegister(8, 8);
    return CommandEngineWaitIdle();
}

void SendOpcode33(uint32_t op, int hold) {
    SetCtl33(1, 0);
    for (int bit = 2; bit >= 0; --bit) {
        WriteRegister(1, (op >> bit) & 1);
        SetCtl33(1, 1);
        SetCtl33(1, 0);
    }
    if (hold == 0) SetCtl33(1, 1);
}

void ClockBits33(uint32_t n, uint32_t level) {
    WriteRegister(1, level);
    for (uint32_t i = 0; i < n; ++i) {
        WriteRegister(2, 1);
        WriteRegister(2, 0);
    }
}

void SendAddress33(uint32_t a, uint32_t b) {
    SendOpcode33(1, 0);
    for (uint32_t i = 0; i < 10; ++i) ClockBits33(1, (a >> i) & 1);
    for (uint32_t i = 0; i < static_cast<uint32_t>(DeviceVariant) + 4; ++i) ClockBits33(1, (b >> i) & 1);
    SetCtl33(1, 0);
}

void ProgramPulse33(uint32_t us) {
    SendOpcode33(6, 0);
    DelayShortUs(us);
    SetCtl33(1, 0);
}

// Byte k of the word at BufferIndex (split modes step by AddressStep); FFh
// past the window.
uint32_t WordByte(uint32_t k) {
    const uint64_t at = BufferIndex + uint64_t{k} * AddressStep;
    return at < BufferWindowBytes ? BufferWindow[at] : 0xFF;
}

int LoadWord33() {
    SendOpcode33(4, 0);
    WriteRegister(1, 2);
    WriteRegister(2, 2);
    int r = 1;
    for (uint32_t k = 0; k < 4 && r == 1; ++k) r = SendByte33(WordByte(k));
    WriteRegister(2, 0);
    WriteRegister(1, 0);
    SetCtl33(1, 0);
    return r;
}

int WordReady33() {
    SendOpcode33(4, 1);
    WriteRegister(4, 3);
    SetCtl33(4, 1);
    const uint32_t bit = ReadRegister(5) & 1;
    SetCtl33(4, 0);
    WriteRegister(4, 1);
    SetCtl33(1, 1);
    SetCtl33(1, 0);
    return bit == 1 ? 1 : -1;
}

void PowerOff33() {
    SetCtl33(4, 0);
    SetCtl33(1, 0);
    SetDeviceVpp(0, 50);
    DelayShortUs(10);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    ResetProgrammerOutputs();
}

// Variant 0 reads no identification.
bool ChecksIdentity33() { return DeviceVariant != 0; }

int CheckId33() {
    if (!ChecksIdentity33()) return 1;
    WriteRegister(4, 1);
    SendAddress33(DeviceVariant == 1 ? 0x3FF : 0x35F, 0);
    SendOpcode33(3, 0);
    WriteRegister(4, 3);
    SetCtl33(4, 1);
    WriteRegister(2, 2);
    std::string id;
    int r = 1;
    for (int i = 0; i < 10 && r == 1; ++i) {
        r = ReceiveByte33(1);
        id += static_cast<char>(ReadValue);
    }
    WriteRegister(2, 0);
    SetCtl33(4, 0);
    SetCtl33(1, 0);
    if (r != 1) return -1;
    if (id.compare(0, 7, kIdText) == 0) return 1;
    return RefuseIdentity(false, " Invalid device ID");
}

int Setup33(int mode) {
    if (DeviceVariant > kMostVariant33) return -1;
    SerialEngineArm();
    Ctl33 = 0;
    SetAllDacVoltages(0, 0, 0, 0);
    SetVccRange(0, 50);
    SetDeviceGround(1);
    DelayMs(100);
    WriteRegister(3, 2);
    SetCtl33(2, 1);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    WriteRegister(4, 2);
    SetDevicePower(1, 50);
    DelayMs(100);
    WriteRegister(4, 3);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayShortUs(100);
    if (CheckId33() != 1) {
        PowerOff33();
        return -1;
    }
    const int supply = mode == 1 ? static_cast<int>(Vccp / 10) - 11
                     : mode == 2 ? 39
                     : mode == 3 ? static_cast<int>(ReadVccInUse) - 11
                                 : 29;
    // The strong path feeds the chip: it may not jump upwards.
    constexpr int kPoweredUp = 39;
    if (supply > kPoweredUp) RampVoltageUp(4, kPoweredUp, supply, 1, 10);
    else SetDacVoltage(4, supply);
    return 1;
}

int End33(int r) {
    PowerOff33();
    return SerialEngineLost() ? -1 : r;
}

uint32_t ExpectedOptions33() {
    if (g_optionByte >= 0) return static_cast<uint32_t>(g_optionByte) | 0xF0;
    return (g_optionIndex < BufferWindowBytes ? BufferWindow[g_optionIndex] : 0xFF) | 0xF0;
}

int ReadOptionBitsRaw33() {
    ReadValue = 0xF0;
    WriteRegister(4, 1);
    SendOpcode33(7, 0);
    ClockBits33(1, 1);
    ClockBits33(33, 0);
    ClockBits33(4, 1);
    SendOpcode33(3, 0);
    SendOpcode33(7, 0);
    WriteRegister(4, 3);
    SetCtl33(4, 1);
    for (uint32_t clock = 1; clock <= 37; ++clock) {
        WriteRegister(2, 1);
        WriteRegister(2, 0);
        if (clock >= 34) ReadValue |= (ReadRegister(5) & 1) << (37 - clock);
    }
    SetCtl33(4, 0);
    WriteRegister(4, 1);
    ClockBits33(34, 0);
    ClockBits33(4, 1);
    return SerialEngineLost() ? -1 : 1;
}

int ProgramOptionBits33() {
    const uint32_t expected = ExpectedOptions33();
    for (int tries = 0; tries < kOptionTries33; ++tries) {
        if (ReadOptionBitsRaw33() != 1) return -1;
        if ((ReadValue | 0xF0) == expected) return 1;
        SendOpcode33(7, 0);
        ClockBits33(1, 1);
        ClockBits33(33, 0);
        for (int bit = 3; bit >= 0; --bit) ClockBits33(1, (expected >> bit) & 1);
        ProgramPulse33(100);
        ClockBits33(34, 0);
        ClockBits33(4, 1);
    }
    return -1;
}

} // namespace

int ReadOptionBits33(int mode) {
    if (ReadOptionBitsRaw33() != 1) return -1;
    switch (mode) {
    case 2:
        if (g_optionIndex < BufferWindowBytes) BufferWindow[g_optionIndex] = static_cast<uint8_t>(ReadValue);
        return 1;
    case 0:
        return ReadValue == 0xFF ? 1 : -1;
    case 3:
        ExpectedValue = ExpectedOptions33();
        return ReadValue == ExpectedValue ? 1 : -1;
    case 1:
        return static_cast<int>(ReadValue);
    default:
        return 1;
    }
}

// The parts stream and program their words from address 0 on, the option
// bits after the range's last word: a range starts at 0.
namespace {
bool StartServed33() {
    if (DeviceStart == 0) return true;
    RefuseRun(" Start address must be 0.");
    return false;
}
} // namespace

int Alg33Read(int mode) {
    if (!StartServed33() || Setup33(mode) != 1) return -1;
    WriteRegister(4, 1);
    SendAddress33(0, 0);
    SendOpcode33(3, 0);
    WriteRegister(4, 3);
    SetCtl33(4, 1);
    WriteRegister(2, 2);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress < DeviceEnd && r == 1; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r == 1) r = ReceiveByte33(0);
        if (r == 1) r = ProcessReadByte(mode);
        if (r == 1 && BufferIndex > 0xFFFF) r = AdvanceToNextBankIf(mode);
    }
    WriteRegister(2, 0);
    SetCtl33(4, 0);
    SetCtl33(1, 0);
    g_optionIndex = BufferIndex;
    g_optionByte = -1;
    if (r == 1) r = ReadOptionBits33(mode);
    return End33(r);
}

int Alg33Program() {
    if (!StartServed33() || Setup33(1) != 1) return -1;
    WriteRegister(4, 1);
    g_optionIndex = BufferWindowBytes; // none until the loop reaches DeviceEnd
    g_optionByte = -1;
    int r = 1;
    for (uint64_t a = DeviceStart; a < DeviceEnd && r == 1; a += 4) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        if (a + 4 > DeviceEnd) {
            g_optionIndex = BufferIndex + (DeviceEnd - a) * AddressStep;
            if (g_optionIndex < BufferWindowBytes) g_optionByte = BufferWindow[g_optionIndex];
        }
        r = LoadWord33();
        if (r == 1 && a == 0) SendAddress33(0, 0);
        int polls = 0;
        while (r == 1 && WordReady33() != 1) {
            if (++polls >= kWordPolls33 || SerialEngineLost()) r = -1;
            else ProgramPulse33(100);
        }
        // The part answers one ready bit per word: a word that never got
        // ready is named at its first byte.
        if (r != 1) {
            if (polls >= kWordPolls33) SerialNoAnswer(kSerialWordNotReadyText, r);
            break;
        }
        BufferIndex += 4 * AddressStep;
        if (r == 1 && BufferIndex > 0xFFFF) r = AdvanceToNextBank();
    }
    if (g_optionIndex >= BufferWindowBytes) g_optionIndex = BufferIndex;
    if (r == 1) r = ProgramOptionBits33();
    return End33(r);
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 33,
     .Read = Alg33Read,
     .Program = Alg33Program,
     .StartRefusal = " Start address must be 0.",
     .ChecksIdentity = ChecksIdentity33},
};

ROW_FAMILY("TextIdConfig", Memory, 240, kAlgorithmRows);
