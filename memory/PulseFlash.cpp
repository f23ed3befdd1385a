// Rows 2 and 7 on the command bus's pulse vocabulary: address latches 0-2,
// socket mask 3 (FFh none, 0 all, ~(1 << s) one), line patterns 4 (9Fh
// powered, 9Dh command mode, 8Fh strobed read, 0Fh read loop, 1Fh released),
// bus mode 5 (9 sequential read), data 6.
//
// By variant: 0 programs by timed pulses with a program verify and erases
// the whole chip by pulses after programming every byte to 00h; 1 and 2
// program with 40h and erase four fixed blocks, both checked on a status of
// exactly 80h; 3 programs and erases the whole chip (30h/30h) on its own,
// polled by its data.
//
// Row 19 is variant 0 on 16 data lines: data 6 and 7 (a command is written
// to all sockets at once, register 7 completing the cycle), 99h programming
// idle, programming supply switched at power-up. Its erase methods 0 and 1
// pulse with and without the A0h erase verify, showing the pulses in the wait.
#include "memory/PulseFlash.h"

#include <array>

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

namespace {

constexpr std::array<std::array<uint32_t, 4>, 2> kFourBlocks = {{
    {0x00000, 0x02000, 0x03000, 0x04000},
    {0x00000, 0x1C000, 0x1D000, 0x1E000},
}};

// What the byte-wide rows 2/7 and the word-wide row 19 do differently on the
// same pulse programming and erase verify.
struct PulseBus {
    bool wide;           // 16-bit: a command is registers 6 and 7 with all sockets selected
    uint8_t idle;        // register 4 after a strobed read
    uint32_t bankLast;   // the buffer window's last index
    uint32_t variants;   // variants served
};
constexpr PulseBus kByteBus{false, 0x9D, 0xFFFF, PulseFlashVariantCount};
constexpr PulseBus kWordBus{true, 0x99, 0x7FFF, WordPulseFlashVariantCount};
const PulseBus* g_bus = &kByteBus;

// The datum every socket is compared with.
uint32_t g_expected = 0;

void PowerUp(int mode) {
    const bool lowRange = !g_bus->wide && (HardwareKind == 3 || DeviceVariant == 0);
    cmdbus::PowerOn(mode, {.RangeTenths = lowRange ? 33 : static_cast<int>(cmdbus::Supply(mode)),
                           .Idle = {{{3, 0xFF}, {4, 0x9F}, {5, 0}}}});
    if (g_bus->wide) {
        SetDeviceVpp(1, mode == 1 ? static_cast<int>(Vpp / 10) : static_cast<int>(ReadVccInUse));
        DelayMsSlot(1);
    }
}

void PowerDown() {
    WriteSequence({{{4, 0x1F}, {3, 0xFF}}});
    if (g_bus->wide) SetDeviceVpp(0, 50);
    DelayShortUs(100);
    cmdbus::SupplyOff();
}

// The programming voltage and, with sub-variant 1, the second one on ZIF 38
// (RP# of the four-block parts).
void ProgrammingVoltages(int state, int tenths) {
    if (state == 1) SetDeviceVpp(1, tenths);
    if (DeviceSubVariant == 1) ApplyVoltageToPin(2, 38, state, tenths);
    if (state == 0) SetDeviceVpp(0, tenths);
}

// One command or datum to every socket.
void Command(uint32_t w) {
    if (!g_bus->wide) {
        WriteRegister(6, w & 0xFF);
        return;
    }
    WriteRegister(3, 0);
    WriteRegister(6, w & 0xFF);
    WriteRegister(7, (w >> 8) & 0xFF);
    WriteRegister(3, 0xFF);
}

// The data lines as a datum (bits 0-7 first: that read is the bus cycle).
uint32_t ReadDataLines() {
    const uint32_t low = ReadRegister(6);
    return g_bus->wide ? low | ReadRegister(7) << 8 : low;
}

uint32_t StrobedRead() { return cmdbus::StrobedRead(0x8F, g_bus->idle, g_bus->wide); }

// Every socket reads the expected datum; the first that does not ends the
// compare, its datum left in ReadValue. All sockets (byte-wide) or none
// (word-wide) selected afterwards.
bool EverySocketReads() {
    return OnEverySocket(GangPass{g_bus->wide ? 0xFFu : 0u, true}, [](uint32_t) {
        ReadValue = StrobedRead();
        return ReadValue == g_expected;
    });
}

bool EverySocketReadsWithin(uint32_t compares) {
    for (uint32_t n = 0; n < compares; ++n) {
        if (EverySocketReads()) return true;
    }
    return false;
}

// Timed program pulses with a program verify, at most Retry: 1 or -1.
int ProgramByPulses(uint32_t data) {
    g_expected = data;
    for (uint32_t pulse = 0; pulse < Retry; ++pulse) {
        Command(0x40);
        Command(data);
        DelayShortUs(PulseWidth);
        Command(0xC0);
        if (EverySocketReads()) return 1;
    }
    return -1;
}

// Programs `data` at ChipAddress as the variant does: 1 or -1.
int ProgramByte(uint32_t data) {
    WriteRegister(0, ChipAddress & 0xFF);
    if (g_bus->wide || DeviceVariant == 0) return ProgramByPulses(data);
    g_expected = DeviceVariant == 3 ? data : 0x80;
    WriteRegister(6, 0x40);
    WriteRegister(6, data);
    return EverySocketReadsWithin(DeviceVariant == 3 ? 1000 : 100) ? 1 : -1;
}

int Program() {
    if (DeviceVariant >= g_bus->variants) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp(1);
    if (!g_bus->wide) {
        ProgrammingVoltages(1, static_cast<int>(Vpp / 10));
        WriteRegister(3, 0);
    }
    WriteRegister(4, g_bus->idle);
    const uint32_t blank = g_bus->wide ? BlankWord : 0xFF;
    const int r = WalkAddresses(g_bus->bankLast, 1, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        ExpectedValue = g_bus->wide ? BufferWordAt(BufferIndex) : BufferWindow[BufferIndex & 0xFFFF];
        const int result = ExpectedValue == blank ? 1 : ProgramByte(ExpectedValue);
        if (result == 1) BufferIndex += AddressStep; // a failure reports its own address
        return result;
    });
    if (!g_bus->wide) ProgrammingVoltages(0, 50);
    PowerDown();
    return r;
}

// Reads at the supply of the mode asked for.
int Read(int mode) {
    if (DeviceVariant >= g_bus->variants) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp(mode);
    if (!g_bus->wide) ProgrammingVoltages(1, 50);
    WriteRegister(5, 9);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x0F);
    const int r = WalkAddresses(g_bus->bankLast, mode != 0, [&](bool) {
        if ((ChipAddress & 0xFFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        ReadValue = ReadDataLines();
        return g_bus->wide ? ProcessReadWord(mode) : ProcessReadByte(mode);
    });
    if (!g_bus->wide) ProgrammingVoltages(0, 0);
    PowerDown();
    return r;
}

int Alg2Program() {
    g_bus = &kByteBus;
    return Program();
}
int Alg2Read(int mode) {
    g_bus = &kByteBus;
    return Read(mode);
}
int Alg19Program() {
    g_bus = &kWordBus;
    return Program();
}
int Alg19Read(int mode) {
    g_bus = &kWordBus;
    return Read(mode);
}

// Bulk erase by pulses: every datum to 0, " Program all ok!", then erase
// pulses of the whole chip until each address verifies erased. An address
// stays in the pass until it verifies (the last one too); a pulse given
// after more than `limit` fails. `verified` compares the address; `pulse`
// gives one erase pulse after the pulses so far (other than 1 ends the erase).
// A cell that will not program to 0 or will not erase ends the erase naming
// its chip address and the datum it read.
template <class Verified, class Pulse>
int PulseErase(uint32_t erased, uint32_t limit, Verified&& verified, Pulse&& pulse) {
    const int zero = WalkAddresses(0xFFFFFFFFu, 0, [&](bool first) {
        if (g_bus->wide) {
            WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        } else {
            if (first || ChipAddress % 0x100 == 0) {
                WriteRegister(1, (ChipAddress >> 8) & 0xFF);
                DelayShortUs(100);
            }
            if (first || ChipAddress % 0x10000 == 0) {
                WriteRegister(2, (ChipAddress >> 16) & 0xFF);
                DelayShortUs(100);
            }
        }
        const int r = ProgramByte(0);
        if (r == -1) NameEraseFailAddress(ChipAddress);
        return r;
    });
    if (zero != 1) return zero;
    ShowMessageLine(" Program all ok!");
    g_expected = erased;
    ClearProgress();
    uint32_t pulses = 0;
    return WalkAddresses(0xFFFFFFFFu, 0, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        for (;;) {
            WriteRegister(0, ChipAddress & 0xFF);
            if (verified()) return 1;
            // The pulse may read the bus again (row 19's method 1): the
            // cell's datum is the one its verify read.
            const uint32_t read = ReadValue;
            const int r = pulse(pulses);
            if (r != 1) return r;
            if (pulses++ > limit) {
                ReadValue = read;
                NameEraseFailAddress(ChipAddress);
                return -1;
            }
        }
    });
}

void ErasePulse() {
    Command(0x20);
    Command(0x20);
}

// Variants 1 and 2: the four blocks in order; a block not ready in 3000 ms
// ends the erase. A block whose status shows an error bit gets its line and
// fails the erase once the others are erased.
int BlockErase() {
    const auto& blocks = kFourBlocks[DeviceVariant - 1];
    constexpr cmdbus::StatusAccess status{.Read = StrobedRead, .Command = Command};
    bool failed = false;
    for (size_t k = 0; k < blocks.size(); ++k) {
        WriteAddress(blocks[k]);
        WriteRegister(6, 0x20);
        WriteRegister(6, 0xD0);
        bool ready = false;
        for (int n = 0; n < 3000 && !ready; ++n) {
            DelayMsSlot(1);
            WriteRegister(6, 0x70);
            ready = OnEverySocket(GangPass{0, true}, [](uint32_t) { return (StrobedRead() & 0x80) != 0; });
        }
        if (!ready) return -1;
        const uint32_t last = k + 1 < blocks.size() ? blocks[k + 1] - 1 : DeviceSize - 1;
        if (cmdbus::CheckEraseStatus(ReadValue, status, {blocks[k], last}) != 1) failed = true;
    }
    return failed ? -1 : 1;
}

// Variant 3: the chip erases on its own; polled until it reads FFh. The
// part reports no failed block (the poll sees one address), so a blank check
// follows the erase step.
int PolledErase() {
    BlankCheckAfterErase = 1;
    g_expected = 0xFF;
    WriteRegister(6, 0x30);
    WriteRegister(6, 0x30);
    for (int n = 0; n < 100; ++n) {
        DelayMsSlot(100);
        if (EverySocketReads()) return 1;
    }
    return -1;
}

int Alg2Erase() {
    g_bus = &kByteBus;
    if (DeviceVariant >= g_bus->variants) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp(1);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayMsSlot(1);
    if (DeviceSubVariant == 1) ApplyVoltageToPin(2, 38, 1, static_cast<int>(Vpp / 10));
    WriteRegister(3, 0);
    WriteRegister(4, 0x9D);
    int r = 1;
    switch (DeviceVariant) {
    case 0:
        r = PulseErase(
            0xFF, 1000,
            [] {
                WriteRegister(6, 0xA0);
                // The read after the command has every socket selected: on a
                // gang, parts that differ would drive the data lines together,
                // so there the compare's reads of each socket alone serve.
                if (!GangInUse()) StrobedRead();
                return EverySocketReads();
            },
            [](uint32_t) {
                ErasePulse();
                DelayMsSlot(10);
                return 1;
            });
        break;
    case 3: r = PolledErase(); break;
    default: r = BlockErase(); break;
    }
    ProgrammingVoltages(0, 50);
    PowerDown();
    return r;
}

// Method 0 verifies with A0h after each 10 ms pulse, at most 1001 pulses;
// method 1 compares without a command, with 1 s pulses each followed by C0h
// and a read, at most 201. The wait shows the pulses; ESC asks to go on.
int Alg19Erase() {
    g_bus = &kWordBus;
    if (DeviceVariant >= g_bus->variants) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp(1);
    WriteRegister(4, 0x9D);
    const int r = DeviceVariant == 0 ? PulseErase(
                                           0xFFFF, 1000,
                                           [] {
                                               Command(0xA0);
                                               DelayShortUs(10);
                                               return EverySocketReads();
                                           },
                                           [](uint32_t pulses) {
                                               const int cancel = ShowElapsedAndCheckCancel(pulses / 10);
                                               if (cancel != 1) return cancel;
                                               ErasePulse();
                                               DelayMsSlot(10);
                                               return 1;
                                           })
                                     : PulseErase(0xFFFF, 200, [] { return EverySocketReads(); },
                                                  [](uint32_t pulses) {
                                                      const int cancel = ShowElapsedAndCheckCancel(pulses * 15);
                                                      if (cancel != 1) return cancel;
                                                      ErasePulse();
                                                      DelayMsSlot(1000);
                                                      Command(0xC0);
                                                      DelayMsSlot(500);
                                                      StrobedRead();
                                                      return 1;
                                                  });
    PowerDown();
    return r;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 2,
     .Read = Alg2Read,
     .Program = Alg2Program,
     .Erase = Alg2Erase,
     .VariantCount = PulseFlashVariantCount,
     .VariantTable = "the command sets"},
    {.Row = 7,
     .Read = Alg2Read,
     .Program = Alg2Program,
     .Erase = Alg2Erase,
     .VariantCount = PulseFlashVariantCount,
     .VariantTable = "the command sets"},
    {.Row = 19,
     .Read = Alg19Read,
     .Program = Alg19Program,
     .Erase = Alg19Erase,
     .VariantCount = WordPulseFlashVariantCount,
     .VariantTable = "the erase methods"},
};

ROW_FAMILY("PulseFlash", Memory, 150, kAlgorithmRows);
