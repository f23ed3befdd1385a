// The two-wire serial EEPROMs with a write-protect register (rows 14 and
// 16): their reads and page writes, and the register routines their option
// dialogs call.
#include "memory/SerialEeprom.h"

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "memory/MemoryFrame.h"
#include "memory/SerialFrame.h"

namespace {

// The bytes after the start that address `a` for writing, by row and variant.
void ProtectRowAddress(uint32_t row, uint32_t a, void (*send)(uint32_t)) {
    if ((row == 14 && DeviceVariant == 2) || (row == 16 && DeviceVariant == 0)) {
        send(0xA0);
        send((a >> 8) & 0xFF);
    } else if (row == 14) {
        send((DeviceVariant == 0 ? 0x80 : 0x00) | (((a >> 8) * 2) & 0xFE));
    } else {
        send(((a >> 7) | (DeviceVariant == 1 ? 0xA0 : 0x80)) & 0xFE);
    }
    send(a & 0xFF);
}
// The read control byte for `a`.
uint32_t ProtectRowReadControl(uint32_t row, uint32_t a) {
    if (row == 14) return DeviceVariant == 2 ? 0xA1 : ((DeviceVariant == 0 ? 0x80 : 0x00) | (((a >> 8) * 2) & 0xFE) | 1);
    return DeviceVariant == 2 ? 0x81 : 0xA1;
}

// The part answers a transfer that starts at its protect register's address
// with the register, not with the array byte there (a page write there sets
// the register, a random read gives it): a range that starts there is
// refused before anything is switched on. A range from below reaches that
// byte through the page write and the sequential read.
bool StartsOnRegister(uint32_t registerAddress) {
    if (DeviceStart != registerAddress) return false;
    RefuseRun(" Start address %Xh is the protect register's address: start the range below it.", DeviceStart);
    return true;
}

namespace row14 {

uint32_t g_page = 16;
uint32_t g_register = 0xFFFF;

void Settings() {
    g_page = PageSize;
    // The register sits in the chip's last 256-byte block (the buffer end may
    // lie past the chip in split modes).
    g_register = DeviceVariant == 2 ? 0xFFFF : ((DeviceSize - 1) | 0xFF);
}
void IdleLines() {
    static const uint32_t kRegister0[Row14SubVariantCount] = {2, 5, 4, 0};
    WriteRegister(0, kRegister0[DeviceSubVariant]);
    WriteRegister(4, 2);
}
void AfterSupply() {
    WriteRegister(4, 3);
    DelayMs(1);
    WriteRegister(4, 9);
    WriteRegister(5, 1);
}
void ParkLines() { WriteRegister(4, 2); }
constexpr SerialRow kRow{1, 16, false, false, Settings, IdleLines, AfterSupply, ParkLines};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }
void PowerOffDevice() { SerialPowerOff(kRow); }

void Send(uint32_t b) {
    WriteRegister(4, 9);
    WriteRegister(6, b & 0xFF);
    SerialEngineShift(9);
}
void Receive() {
    WriteRegister(4, 0x0B);
    SerialEngineShift(8);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 9);
    SerialEngineShift(1);
}
void Address(uint32_t a) { ProtectRowAddress(14, a, Send); }
// 02h, then 06h to the register, each closed by the next start.
void Unlock() {
    SerialBusStart();
    Address(g_register);
    Send(0x02);
    SerialBusStart();
    Address(g_register);
    Send(0x06);
}

bool Valid() {
    return DeviceVariant < 3 && DeviceSubVariant < Row14SubVariantCount && SerialPageSizeValid(PageSize);
}

int Read(int mode) {
    if (!Valid()) return -1;
    Settings();
    if (StartsOnRegister(g_register)) return -1;
    PowerOnDevice(2);
    SerialBusStart();
    Address(DeviceStart);
    SerialBusStart();
    Send(ProtectRowReadControl(14, DeviceStart));
    const int r = SerialReadWalk([&] {
        Receive();
        return ProcessReadByte(mode);
    });
    if (r != 3) SerialBusStop();
    return SerialEndEntry(kRow, r);
}

int Program() {
    if (!Valid()) return -1;
    Settings();
    if (StartsOnRegister(g_register)) return -1;
    PowerOnDevice(1);
    Unlock();
    const int r = EnginePageWrites(g_page, Address, Send);
    return SerialEndEntry(kRow, r);
}

} // namespace row14

namespace row16 {

uint32_t g_page = 64;
uint32_t g_register = 0xFFFF;
uint32_t g_ack = 0;

void Settings() {
    g_page = PageSize;
    static const uint32_t kRegister[3] = {0xFFFF, 0xFFF, 0x1FFF};
    g_register = kRegister[DeviceVariant];
}
void IdleLines() {
    WriteRegister(0, 0);
    WriteRegister(4, 2);
}
void AfterSupply() {
    WriteRegister(4, 3);
    DelayMs(10);
    WriteRegister(4, 1);
}
void ParkLines() { WriteRegister(4, 2); }
constexpr SerialRow kRow{1, 16, true, false, Settings, IdleLines, AfterSupply, ParkLines};

void PowerOnDevice(int mode) { SerialPowerOn(kRow, mode); }
void PowerOffDevice() { SerialPowerOff(kRow); }

// Eight data clocks by the engine, the acknowledge clock by hand.
void Send(uint32_t b) {
    WriteRegister(4, 1);
    WriteRegister(6, b & 0xFF);
    SerialEngineShift(8);
    WriteRegister(4, 3);
    WriteRegister(3, 2);
    g_ack = ReadRegister(7) & 1;
    WriteRegister(3, 0x0C);
    WriteRegister(4, 1);
}
// ack 0 acknowledges, 1 does not.
void Receive(uint32_t ack) {
    WriteRegister(4, 3);
    SerialEngineShift(8);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 1);
    for (uint32_t v : {ack, ack | 2, ack, 0x0Cu}) WriteRegister(3, v);
}
void SetAddress(uint32_t a) {
    SerialBusStart();
    ProtectRowAddress(16, a, Send);
}
// Up to 100 polls 100 us apart for the chip's acknowledge after a write.
int AckPoll() {
    for (int i = 0; i < 100 && !SerialEngineLost(); ++i) {
        SerialBusStart();
        Send(DeviceVariant == 0 ? 0xA0 : ((ChipAddress >> 7) | (DeviceVariant == 1 ? 0xA0 : 0x80)) & 0xFE);
        SerialBusStop();
        if (g_ack == 0) return 1;
        DelayShortUs(100);
    }
    return -1;
}

bool Valid() { return DeviceVariant < 3 && SerialPageSizeValid(PageSize); }

int Read(int mode) {
    if (!Valid()) return -1;
    Settings();
    if (StartsOnRegister(g_register)) return -1;
    PowerOnDevice(2);
    SetAddress(DeviceStart);
    SerialBusStart();
    Send(ProtectRowReadControl(16, DeviceStart));
    const int r = SerialReadWalk([&] {
        Receive(0);
        return ProcessReadByte(mode);
    });
    if (r == 1) SerialBusStop();
    return SerialEndEntry(kRow, r);
}

int Program() {
    if (!Valid()) return -1;
    Settings();
    if (StartsOnRegister(g_register)) return -1;
    PowerOnDevice(1);
    SetAddress(g_register);
    Send(0x02);
    SerialBusStop();
    const int r = SerialPageLoop(g_page, [](uint32_t n) {
        SetAddress(ChipAddress);
        SendPage(n, Send);
        SerialBusStop();
        return AckPoll() == 1 ? 1 : SerialNoAnswer(kSerialNoAcknowledgeText, -1);
    });
    return SerialEndEntry(kRow, r);
}

} // namespace row16

} // namespace

// The protect-register routines of the option dialogs.

int Opt24fxxBlockProtect = 0;
int Opt24fxxPpen = 0;
int Opt24xxxBlockProtect = 0;
int Opt24xxxWpen = 0;

namespace {

// The register bits a write stores (the block bits and the pin enable); bits
// 1 and 2 are the write sequence's latches.
constexpr uint32_t kStoredBits = 0x98;

// A register write that did not land: both values logged, -1.
int RegisterReadBack(uint32_t written, uint32_t read) {
    return SerialRegisterReadBack("Protect Register", written, read, kStoredBits);
}

// The register into ReadValue; -1 when the programmer stopped answering.
int ReadRegister14() {
    row14::PowerOnDevice(2);
    SerialBusStart();
    row14::Address(row14::g_register);
    SerialBusStart();
    row14::Send(ProtectRowReadControl(14, row14::g_register));
    row14::Receive();
    SerialBusStop();
    row14::PowerOffDevice();
    return SerialEngineLost() ? -1 : 1;
}

} // namespace

int ReadProtectRegister14() {
    if (!row14::Valid()) return -1;
    if (ReadRegister14() != 1) return -1;
    ShowMessageLine(" Protect Register : %02x", ReadValue & 0xFF);
    Opt24fxxBlockProtect = static_cast<int>((ReadValue >> 3) & 3);
    Opt24fxxPpen = static_cast<int>((ReadValue >> 7) & 1);
    return 1;
}

int WriteProtectRegister14() {
    if (!row14::Valid()) return -1;
    const uint32_t value = static_cast<uint32_t>(Opt24fxxBlockProtect * 8 | Opt24fxxPpen * 0x80);
    row14::PowerOnDevice(1);
    row14::Unlock();
    SerialBusStart();
    row14::Address(row14::g_register);
    row14::Send(value | 2);
    SerialBusStop();
    DelayMs(10);
    row14::PowerOffDevice();
    if (SerialEngineLost() || ReadRegister14() != 1) return -1;
    return RegisterReadBack(value | 2, ReadValue);
}

int ReadWriteProtectRegister16() {
    if (!row16::Valid()) return -1;
    row16::PowerOnDevice(2);
    row16::SetAddress(row16::g_register);
    SerialBusStart();
    row16::Send(ProtectRowReadControl(16, row16::g_register));
    const bool acknowledged = row16::g_ack == 0; // a part that did not take the read sends nothing
    row16::Receive(1);
    SerialBusStop();
    row16::PowerOffDevice();
    return acknowledged && !SerialEngineLost() ? 1 : -1;
}

int ProgramWriteProtectRegister16() {
    if (!row16::Valid()) return -1;
    row16::PowerOnDevice(1);
    for (uint32_t v : {0x02u, 0x06u, (ExpectedValue | 2) & 0xFF}) {
        row16::SetAddress(row16::g_register);
        row16::Send(v);
        SerialBusStop();
    }
    ChipAddress = row16::g_register;
    const int r = row16::AckPoll();
    row16::PowerOffDevice();
    if (r != 1) return r;
    const uint32_t written = (ExpectedValue | 2) & 0xFF;
    if (ReadWriteProtectRegister16() != 1) return -1;
    return RegisterReadBack(written, ReadValue);
}

ShowOptionsDialogFn ShowOpt24fxxDialogHook = nullptr;
ShowOptionsDialogFn ShowOpt24xxxDialogHook = nullptr;

namespace {
int Alg14Options() { return ShowOpt24fxxDialogHook ? ShowOpt24fxxDialogHook() : 0; }
int Alg16Options() { return ShowOpt24xxxDialogHook ? ShowOpt24xxxDialogHook() : 0; }
} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 14,
     .Read = row14::Read,
     .Program = row14::Program,
     .Options = Alg14Options,
     .VariantCount = TwoWireFormCount,
     .VariantTable = "the two-wire address forms",
     .SubVariantCount = Row14SubVariantCount,
     .SubVariantTable = "the register-0 values",
     .LeastPage = 1,
     .MostPage = 256,
     .NoByteLanes = true},
    {.Row = 16,
     .Read = row16::Read,
     .Program = row16::Program,
     .Options = Alg16Options,
     .VariantCount = TwoWireFormCount,
     .VariantTable = "the two-wire address forms",
     .LeastPage = 1,
     .MostPage = 256,
     .NoByteLanes = true},
};

ROW_FAMILY("SerialProtectEeprom", Memory, 60, kAlgorithmRows);
