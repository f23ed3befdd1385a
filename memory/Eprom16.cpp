// The 16-bit EPROMs on the memory bus: data on registers 6 (bits 0-7) and 7
// (bits 8-15), the word view of the buffer, blank word FFFFh. Rows 75, 69
// and 84 (one-time or UV-erasable parts) and rows 3 and 4 (one electrically
// erasable module in two rows).
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/Eprom.h"
#include "memory/MemoryFrame.h"

namespace {

FrameProfile WordProfile() {
    FrameProfile f;
    f.Word = true;
    f.Dac1 = 0;
    f.SettleMs = 10;
    f.ReadVpp = true;
    f.ProgramUpper = UpperLatches{0x100, 0x100, false};
    return f;
}

// ---- row 75: a strobe set of its own, no over-pulse ----------------------------

int Row75VccRange() { return DeviceVariant == 1 ? 33 : static_cast<int>(SupplyVoltage); }

void PulseRow75(uint32_t widthUs) {
    WriteRegister(4, 0x95);
    DelayUsSlot(widthUs);
}

// The image pulses the sockets its mask leaves released, and a read sees
// only the socket the mask selects: on a gang module (at any gang size) each
// socket in use is read back in turn after a pulse, and the word counts only
// when every socket has it; then no socket is selected again, so the next
// pulse reaches them all. The programmer's own socket answers unselected.
bool ReadBackRow75() {
    return GangInUse() || GangAdapterState == 1 ? ReadBackEverySocket(0xFF) : ReadBackMatches();
}

FrameProfile Row75Profile() {
    FrameProfile f = WordProfile();
    f.Verify = ReadBackRow75;
    f.VccRange = Row75VccRange;
    f.HighAddressFlag = 0x10;
    f.Pulse = PulseRow75;
    f.ReadBackStrobe = 0x97;
    f.OverPulse = false;
    f.ReadMaskThroughLatch = true;
    f.AfterVpp[0] = {4, 0x9F};
    return f;
}

constexpr AlgReadFn Alg75Read = FrameRead<Row75Profile>;
constexpr AlgOperationFn Alg75Program = FrameProgram<Row75Profile>;

// ---- row 69: programming voltage inside each pulse ------------------------------

void PulseRow69(uint32_t widthUs) {
    WriteRegister(4, 0x15);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayUsSlot(widthUs);
    SetDeviceVpp(0, 0);
}

// The read-back with the socket's outputs gated on, then off again. In a
// gang each socket is gated on alone in turn: with all of them on together
// their outputs would drive the data lines against each other, and a socket
// whose word still reads blank would hide behind the others.
bool ReadBackAllSocketsGated() {
    if (GangInUse()) return ReadBackEverySocket(0xFF);
    WriteRegister(4, ActiveFrame.ReadBackStrobe);
    WriteRegister(3, 0);
    ReadValue = ReadDataRegisters();
    WriteRegister(3, 0xFF);
    return ReadValue == ExpectedValue;
}

FrameProfile Row69Profile() {
    FrameProfile f = WordProfile();
    f.Pulse = PulseRow69;
    f.ReadBackStrobe = 0x1F;
    f.Verify = ReadBackAllSocketsGated;
    f.ReadVpp = false;
    f.ProgramVpp = false;
    return f;
}

constexpr AlgReadFn Alg69Read = FrameRead<Row69Profile>;
constexpr AlgOperationFn Alg69Program = FrameProgram<Row69Profile>;

// ---- row 84: one pulse per word ---------------------------------------------------

FrameProfile Row84Profile() {
    FrameProfile f = WordProfile();
    f.ReadBack = false;
    f.ReadMaskThroughLatch = true;
    return f;
}

constexpr AlgReadFn Alg84Read = FrameRead<Row84Profile>;
constexpr AlgOperationFn Alg84Program = FrameProgram<Row84Profile>;

// ---- rows 3 and 4: electrically erasable -----------------------------------------

// Subvariant 0 holds every socket selected through the program loop, so a
// read there sees all their outputs together: in a gang each socket is read
// back alone in turn, and every socket is selected again for the next pulse.
bool ReadBackRow3() {
    return GangInUse() && DeviceSubVariant == 0 ? ReadBackEverySocket(0) : ReadBackMatches();
}

FrameProfile Row3Profile() {
    FrameProfile f = WordProfile();
    if (DeviceVariant == 1) {
        // The other high-address routing: register 8 = 1 before the idle lines.
        f.IdleWrites = {{{8, 1}, {3, 0xFF}, {4, 0x1F}, {5, 8}}};
    } else {
        f.HighAddressFlag = 0x10;
    }
    f.ReadBackStrobe = 0x1F;
    f.Verify = ReadBackRow3;
    if (DeviceSubVariant == 0) f.AfterVpp[0] = {3, 0};
    return f;
}

constexpr AlgReadFn Alg3Read = FrameRead<Row3Profile>;
constexpr AlgOperationFn Alg3Program = FrameProgram<Row3Profile>;

// 14.0 V pulses of 50 ms on the erase pin (pin 35 and DAC channel 1 for a
// 40-pin package, else pin 37 and channel 2), at most 20.
int Alg3Erase() {
    FrameUse(Row3Profile());
    const bool forty = PackageRow(PackageIndex).PinCount == 40;
    const int pin = forty ? 35 : 37;
    PowerOnDevice(1);
    SetDeviceVpp(1, 140);
    SetDacVoltage(forty ? 1 : 2, 140);
    DelayShortUsSlot(50);
    if (DeviceSubVariant == 0) WriteRegister(3, 0);
    const int result = EraseWalk(20, 0xFFFF, [pin] {
        WriteRegister(0, 0);
        SetSupplyPinA(pin, 1);
        PulseStrobe(50000);
        SetSupplyPinA(pin, 0);
    });
    SetDeviceVpp(0, 50);
    PowerOffDevice();
    return result;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 75, .Read = Alg75Read, .Program = Alg75Program},
    {.Row = 69, .Read = Alg69Read, .Program = Alg69Program},
    {.Row = 84, .Read = Alg84Read, .Program = Alg84Program},
    {.Row = 3, .Read = Alg3Read, .Program = Alg3Program, .Erase = Alg3Erase},
    {.Row = 4, .Read = Alg3Read, .Program = Alg3Program, .Erase = Alg3Erase},
};

ROW_FAMILY("WordEprom", Memory, 20, kAlgorithmRows);
