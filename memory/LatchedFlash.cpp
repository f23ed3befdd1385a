// Rows 94 and 82 on the latched address bus: registers 0-2 the address latch's
// input, register 3 its strobe (3, 1, 0, 2 puts the address on the lines),
// register 4 the write strobe (15h write cycles, 17h idle and read), register
// 5 the bus mode (10 addressed, 9 sequential read), register 6 data.
//
// Row 94: the 5555h/2AAAh unlock sequence before each command, data polling
// on bit 7. Row 82: single-byte commands: 40h and the datum program, 20h/D0h
// erases a 64 KB block, 90h identifies; the status byte reports ready on bit
// 7 and a program or programming-voltage error on bits 4 and 3.

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/CommandBus.h"
#include "memory/MemoryFrame.h"

#include <algorithm>
#include <utility>

namespace {

void LatchAddress() {
    for (uint32_t v : {3u, 1u, 0u, 2u}) WriteRegister(3, v);
}

// Row 94 leaves the bus in command mode (register 5 = 10) after power-up.
bool g_row94 = false;

void PowerOn(int mode) {
    cmdbus::PowerOn(mode, {.RangeTenths = static_cast<int>(cmdbus::Supply(mode)),
                           .Idle = {{{4, 0x17}, {3, 2}}},
                           .SettleMs = 1,
                           .Powered = {{g_row94 ? RegisterWrite{5, 10} : RegisterWrite{}}}});
}

void PowerOff() { cmdbus::SupplyOff(); }

// Commands: the write strobe around the data writes.
void Commands(std::initializer_list<uint32_t> bytes) {
    WriteRegister(4, 0x15);
    for (uint32_t b : bytes) WriteRegister(6, b);
    WriteRegister(4, 0x17);
}

void LatchAt(uint32_t a) {
    WriteAddress(a);
    LatchAddress();
}

// Commands at their addresses, under the write strobe.
void WriteCommands(std::initializer_list<std::pair<uint32_t, uint32_t>> cycles) {
    WriteRegister(4, 0x15);
    for (const auto& [address, data] : cycles) {
        LatchAt(address);
        WriteRegister(6, data);
    }
    WriteRegister(4, 0x17);
}

int Alg94Identify() {
    PowerOn(2);
    WriteCommands({{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x90}});
    LatchAt(0);
    ChipMakerId = ReadRegister(6);
    LatchAt(1);
    ChipDeviceId = ReadRegister(6);
    WriteCommands({{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xF0}});
    PowerOff();
    return 1;
}

// Programs ExpectedValue at ChipAddress, then polls until bit 7 reads as the
// datum's: 1, or -1 after 100 reads.
int ProgramDatum94() {
    if (ExpectedValue == BlankValue) return 1;
    WriteRegister(4, 0x15);
    for (const auto& [address, data] : {std::pair{0x5555u, 0xAAu}, {0x2AAAu, 0x55u}, {0x5555u, 0xA0u}}) {
        LatchAt(address);
        WriteRegister(6, data);
    }
    LatchAt(ChipAddress);
    WriteRegister(6, ExpectedValue);
    WriteRegister(4, 0x17);
    for (int n = 0; n < 100; ++n) {
        if (((ReadRegister(6) ^ ExpectedValue) & 0x80) == 0) return 1;
    }
    return -1;
}

int Alg82Identify() {
    PowerOn(2);
    WriteRegister(5, 10);
    Commands({0x90});
    WriteAddress(0);
    LatchAddress();
    ChipMakerId = ReadRegister(6);
    WriteRegister(0, 1);
    LatchAddress();
    ChipDeviceId = ReadRegister(6);
    Commands({0xF0});
    PowerOff();
    return 1;
}

// Reading never uses the programming supply: mode 1 reads at the read supply too.
int Alg82Read(int mode) {
    FrameUse(FrameProfile{});
    PowerOn(2);
    WriteRegister(5, 9);
    const int r = WalkAddresses(0xFFFF, mode, [&](bool) {
        LatchAddress();
        ReadValue = ReadRegister(6);
        return ProcessReadByte(mode);
    });
    PowerOff();
    return r;
}

// Up to `reads` status reads until bit 7; true when it came.
bool StatusReady(uint32_t reads) {
    for (uint32_t n = 0; n < reads; ++n) {
        ReadValue = ReadRegister(6);
        if (ReadValue & 0x80) return true;
    }
    return false;
}

int ProgramDatum82() {
    if (ExpectedValue == BlankValue) return 1;
    WriteRegister(0, ChipAddress & 0xFF);
    LatchAddress();
    Commands({0x40, ExpectedValue});
    if (!StatusReady(100)) return -1;
    return (ReadValue & 0x18) != 0 ? -1 : 1;
}

int Alg82Program() {
    FrameUse(FrameProfile{});
    PowerOn(1);
    if (!g_row94) {
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
        WriteRegister(5, 10);
    }
    const int r = WalkAddresses(0xFFFF, 1, [&](bool first) {
        if (!g_row94) WriteUpperAddress(UpperLatches{0x100, 0x10000, false}, ChipAddress, first);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        const int result = g_row94 ? ProgramDatum94() : ProgramDatum82();
        if (result == 1) BufferIndex += AddressStep; // a failure reports its own address
        return result;
    });
    if (!g_row94) {
        SetDeviceVpp(0, 0);
        DelayShortUs(100);
    }
    PowerOff();
    return r;
}

// Up to 30 waits of 100 ms for bit 7, each shown; 1, -1 or the user's break.
// The byte read last stays in ReadValue.
int EraseWait() {
    return ErasePasses(
        30,
        [] {
            ReadValue = ReadRegister(6);
            return (ReadValue & 0x80) != 0;
        },
        1);
}

uint32_t Status82() { return ReadValue = ReadRegister(6); }
void Command82(uint32_t c) { Commands({c}); }
constexpr cmdbus::StatusAccess kStatus82{.Read = Status82, .Command = Command82};

int Alg94Erase() {
    PowerOn(1);
    WriteCommands({{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80}, {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x10}});
    const int r = EraseWait();
    PowerOff();
    return r;
}

int Alg82Erase() {
    PowerOn(1);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    WriteRegister(5, 10);
    // A block the part failed gets its line and fails the erase once the
    // others are erased.
    int r = 1;
    bool failed = false;
    for (uint64_t block = 0; block < DeviceSize && r == 1; block += 0x10000) {
        const uint32_t first = static_cast<uint32_t>(block);
        const uint32_t last = static_cast<uint32_t>(std::min<uint64_t>(block + 0xFFFF, DeviceSize - 1));
        WriteAddress(first);
        LatchAddress();
        Commands({0x20, 0xD0});
        r = EraseWait();
        if (r == 1 && cmdbus::CheckEraseStatus(ReadValue, kStatus82, {first, last}) != 1) failed = true;
    }
    if (r == 1 && failed) r = -1;
    SetDeviceVpp(0, 0);
    DelayShortUs(100);
    PowerOff();
    return r;
}

// The bus drives every gang socket's /CE together and a read would see one
// socket's answer for all: the rows are declared single-socket, so the
// driver refuses a gang before the first step; an entry reached with one
// all the same refuses it before anything is powered.
bool Refused() {
    if (!GangInUse()) return false;
    RefuseRun("Cannot support Gang Socket!");
    return true;
}

// The entries of each row set which row the shared steps serve.
int Row94Read(int mode) { return Refused() ? -1 : (g_row94 = true, Alg82Read(mode)); }
int Row94Program() { return Refused() ? -1 : (g_row94 = true, Alg82Program()); }
int Row94Erase() { return Refused() ? -1 : (g_row94 = true, Alg94Erase()); }
int Row94Identify() { return Refused() ? -1 : (g_row94 = true, Alg94Identify()); }
int Row82Read(int mode) { return Refused() ? -1 : (g_row94 = false, Alg82Read(mode)); }
int Row82Program() { return Refused() ? -1 : (g_row94 = false, Alg82Program()); }
int Row82Erase() { return Refused() ? -1 : (g_row94 = false, Alg82Erase()); }
int Row82Identify() { return Refused() ? -1 : (g_row94 = false, Alg82Identify()); }

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 82,
     .Identify = Row82Identify,
     .Read = Row82Read,
     .Program = Row82Program,
     .Erase = Row82Erase,
     .SingleSocket = true},
    {.Row = 94,
     .Identify = Row94Identify,
     .Read = Row94Read,
     .Program = Row94Program,
     .Erase = Row94Erase,
     .SingleSocket = true},
};

ROW_FAMILY("LatchedFlash", Memory, 140, kAlgorithmRows);
