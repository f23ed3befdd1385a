// Row 79: 16-bit command flash without a programming voltage that takes
// program and erase only after an entry sequence of eight reads at fixed
// addresses following power-up. 10h then the word programs it (checked by
// reading the word back); 20h then D0h erases the 128-word sector of the
// address, bit 7 of a read showing its end. Registers 0-2 address, 3 socket
// mask, 4 line pattern (92h released, 93h powered and reading, 91h command
// mode), 5 bus mode (8 addressed, 9 sequential read), 6 and 7 data bits 0-7
// and 8-15 (a register-6 write is the write cycle, its high byte written to
// register 7 first).
//
// Program and Read latch the chip start before their loops, and Read takes
// the current socket alone, so a gang read checks each socket on its own.

#include <array>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "memory/CommandBus.h"
#include "memory/MemoryFrame.h"

namespace {

// The reads that open program and erase, in order.
constexpr std::array<uint32_t, 8> kEntryReads79 = {0x1823, 0x1820, 0x1822, 0x0418, 0x041B, 0x0419, 0x041A, 0x0000};
constexpr uint32_t kSectorWords79 = 128;

uint32_t ReadWord79() { return cmdbus::StrobedRead(0x93, 0x91, true); }

// Power-up; mode 1 (program, erase) ends with the entry sequence.
void PowerUp79(int mode) {
    FrameUse(FrameProfile{});
    cmdbus::PowerOn(mode, {.RangeTenths = 33,
                           .Dac = 0,
                           .Address = cmdbus::StartAddress::Zero,
                           .Idle = {{{3, 0xFF}, {4, 0x92}, {5, 8}}},
                           .OnSupply = {{{4, 0x93}}}});
    if (mode != 1) return;
    WriteRegister(3, 0);
    for (uint32_t a : kEntryReads79) {
        WriteRegister(0, a & 0xFF);
        WriteRegister(1, (a >> 8) & 0xFF);
        WriteRegister(4, 0x93);
        ReadRegister(6);
        WriteRegister(4, 0x91);
    }
    WriteRegister(3, 0xFF);
}

void PowerDown79() { cmdbus::PowerDown({{{4, 0x93}, {3, 0xFF}}}, true); }

// A write cycle of the word: the high byte, then the low byte fires it.
void WriteWord79(uint32_t word) {
    WriteRegister(7, (word >> 8) & 0xFF);
    WriteRegister(6, word & 0xFF);
}

// Up to 10 tries of 10h and the word, each read back up to 20 times; a
// failed try leaves the part in read mode (FFFFh). 1 or -1; ReadValue keeps
// the last word read back, which a failed word reports.
int ProgramWord79(uint32_t word) {
    WriteRegister(0, ChipAddress & 0xFF);
    for (int tries = 0; tries < 10; ++tries) {
        WriteWord79(0x0010);
        WriteWord79(word);
        WriteRegister(4, 0x93);
        bool equal = false;
        for (int n = 0; n < 20 && !equal; ++n) {
            const uint32_t low = ReadRegister(6);
            ReadValue = low | static_cast<uint32_t>(ReadRegister(7)) << 8;
            equal = ReadValue == word;
        }
        WriteRegister(4, 0x91);
        if (equal) return 1;
        WriteWord79(0xFFFF);
    }
    return -1;
}

int Alg79Program() {
    PowerUp79(1);
    WriteRegister(4, 0x91);
    WriteRegister(3, 0);
    WriteAddress(DeviceStart);
    const int r = WalkAddresses(0x7FFF, 1, [](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        ExpectedValue = BufferWordAt(BufferIndex);
        const int result = ExpectedValue == BlankWord ? 1 : ProgramWord79(ExpectedValue);
        if (result == 1) BufferIndex += AddressStep; // a failure reports its own address
        return result;
    });
    PowerDown79();
    return r;
}

int Alg79Read(int mode) {
    PowerUp79(2);
    WriteRegister(5, 9);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteAddress(DeviceStart);
    const int r = WalkAddresses(0x7FFF, mode != 0, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, false}, ChipAddress, first);
        const uint32_t low = ReadRegister(6);
        ReadValue = low | static_cast<uint32_t>(ReadRegister(7)) << 8;
        return ProcessReadWord(mode);
    });
    PowerDown79();
    return r;
}

// Every 128-word sector below the chip size, each waited for up to 100 x
// 100 us. -1 after a time-out, and when the size is not a whole number of
// sectors (its last sector is erased all the same).
int Alg79Erase() {
    BlankCheckAfterErase = 1;
    PowerUp79(1);
    WriteRegister(4, 0x91);
    WriteRegister(3, 0);
    uint32_t a = 0;
    bool ready = true;
    for (; a < DeviceSize && ready; a += kSectorWords79) {
        WriteAddress(a);
        WriteWord79(0x0020);
        WriteWord79(0x00D0);
        ready = false;
        for (int n = 0; n < 100 && !ready; ++n) {
            DelayShortUs(100);
            ReadValue = ReadWord79();
            ready = (ReadValue & 0x80) != 0;
        }
        // A sector that never reads ready is the one the fail line names.
        if (!ready) NameEraseFailAddress(a);
    }
    PowerDown79();
    return ready && a == DeviceSize ? 1 : -1;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 79, .Read = Alg79Read, .Program = Alg79Program, .Erase = Alg79Erase},
};

ROW_FAMILY("ReadSequenceFlash", Memory, 300, kAlgorithmRows);
