#include "memory/FlashBus.h"

#include "engine/Power.h"
#include "engine/Routing.h"

namespace flashbus {

namespace {

// Set by every power-up from the row's table.
struct BusState {
    bool Doubling = false;
    int CommandLatches = 3;
    const LinePatterns* Lines = &kByteLines;
    uint32_t Park = 0x93;
};
BusState g_bus;

uint32_t Doubled(uint32_t a) { return g_bus.Doubling ? a | ((a & 0xFF) << 8) : a; }

} // namespace

void UseFrame(bool word) {
    FrameProfile f;
    f.Word = word;
    FrameUse(f);
}

uint32_t Supply(int mode) { return mode == 1 ? Vccp / 10 : ReadVccInUse; }

void PowerOn(const PowerUp& p) {
    g_bus = BusState{p.Doubling, p.CommandLatches, p.Lines, p.Park};
    SetVccRange(p.RangeMode, p.RangeTenths);
    SetAllDacVoltages(p.Dac, p.Dac, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    if (p.Reg7 >= 0) WriteRegister(7, static_cast<uint32_t>(p.Reg7));
    if (p.Reg9 >= 0 && p.Reg9First) WriteRegister(9, static_cast<uint32_t>(p.Reg9));
    for (uint32_t r = 0; r < 3; ++r) {
        if ((p.Latches >> r) & 1) WriteRegister(r, (DeviceStart >> (8 * r)) & 0xFF);
    }
    WriteRegister3(0xFF);
    WriteRegister(4, p.Released);
    WriteRegister(5, 0);
    if (p.Reg8) WriteRegister(8, 4);
    if (p.Reg9 >= 0 && !p.Reg9First) WriteRegister(9, static_cast<uint32_t>(p.Reg9));
    SupplyVoltage += static_cast<uint32_t>(p.SupplyBump);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(p.SettleMs);
    if (p.Idle >= 0) {
        WriteRegister(4, static_cast<uint32_t>(p.Idle));
        if (p.IdleMs) DelayMsSlot(p.IdleMs);
    }
}

void Park() {
    WriteRegister(4, g_bus.Park);
    WriteRegister3(0xFF);
}

void SupplyOff() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(0);
    ResetProgrammerOutputs();
}

void PowerOff() {
    Park();
    SupplyOff();
}

const LinePatterns& Lines() { return *g_bus.Lines; }

void CommandCycle(uint32_t a, uint32_t d, bool bothBytes) {
    const uint32_t at = Doubled(a);
    WriteRegister(0, at & 0xFF);
    WriteRegister(1, (at >> 8) & 0xFF);
    if (g_bus.CommandLatches > 2) WriteRegister(2, (at >> 16) & 0xFF);
    if (bothBytes) WriteRegister(7, d);
    WriteRegister(6, d);
}

void Unlock(UnlockPair pair, uint32_t command, bool bothBytes) {
    CommandCycle(pair.First, 0xAA, bothBytes);
    CommandCycle(pair.Second, 0x55, bothBytes);
    CommandCycle(pair.First, command, bothBytes);
}

void ChipEraseCommands(UnlockPair pair, bool bothBytes) {
    Unlock(pair, 0x80, bothBytes);
    Unlock(pair, 0x10, bothBytes);
}

uint32_t ReadData(bool word) {
    uint32_t v = ReadRegister(6);
    if (word) v |= static_cast<uint32_t>(ReadRegister(7)) << 8;
    return v;
}

uint32_t StrobedDatum(bool word) {
    WriteRegister(4, Lines().Strobe);
    const uint32_t v = ReadData(word);
    WriteRegister(4, Lines().Write);
    return v;
}

void WriteDatum(uint32_t v, bool word) {
    if (word) WriteRegister(7, (v >> 8) & 0xFF);
    WriteRegister(6, v & 0xFF);
}

void ProgramCycle(bool word, Prefix prefix, uint32_t command, bool bothBytes) {
    WriteRegister(0, ChipAddress & 0xFF);
    WriteRegister(4, Lines().Write);
    auto byte = [&](uint32_t d) {
        if (bothBytes) WriteRegister(7, d);
        WriteRegister(6, d);
    };
    if (prefix == Prefix::Auto) {
        byte(0xAA);
        byte(0x55);
    }
    if (prefix != Prefix::None) byte(command);
    WriteDatum(ExpectedValue, word);
}

namespace {

// One poll read into ReadValue: a read strobe when strobed, else register 6
// as the lines stand; the last read of a failing poll of a 16-bit part takes
// register 7 too, so ReadValue holds the whole word the part gave last.
uint32_t PollRead(bool strobed, bool whole) {
    ReadValue = strobed ? StrobedDatum(whole) : ReadData(whole);
    return ReadValue;
}

} // namespace

bool PollDq7(uint32_t reads, uint32_t datum, bool strobed, bool word) {
    for (uint32_t n = 0; n < reads; ++n) {
        const uint32_t v = PollRead(strobed, word && n + 1 == reads);
        if (((v ^ datum) & 0x80) == 0) return true;
    }
    return false;
}

bool PollToggle(uint32_t reads, bool word) {
    uint32_t before = PollRead(false, word && reads == 0);
    for (uint32_t n = 0; n < reads; ++n) {
        const uint32_t now = PollRead(false, word && n + 1 == reads);
        if (((now ^ before) & 0x40) == 0) return true;
        before = now;
    }
    return false;
}

bool PollDq7EverySocket(uint32_t reads, uint32_t datum, bool word) {
    if (!GangInUse()) return PollDq7(reads, datum, false, word);
    return OnEverySocket(GangPass{}, [&](uint32_t) { return PollDq7(reads, datum, false, word); });
}

} // namespace flashbus

namespace flashbus {

int EraseEverySocket(uint32_t limit, bool word) {
    SocketTurns turns;
    return ErasePasses(limit, [&] {
        turns.Select();
        return turns.Ready((StrobedDatum(word) & 0x80) != 0);
    });
}

uint32_t AutoselectSectorState(uint32_t a, bool atSector, bool word) {
    CommandCycle(0x555, 0xAA);
    CommandCycle(0x2AA, 0x55);
    CommandCycle(atSector ? a | 0x555 : 0x555, 0x90);
    WriteAddress(a | 2);
    return StrobedDatum(word) & 1;
}

} // namespace flashbus
