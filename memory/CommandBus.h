// The command bus of the single-cycle command flash images, as the rows see
// it: address latches 0-2, socket mask 3 (active low), line patterns 4, bus
// mode 5, data 6 (and 7 for words), timing and option lines 8 and 9. Each
// image names its line patterns (the vocabularies of the simulator's command
// bus); commands are single bytes or words, and the parts answer through a
// status register whose bit 7 is ready.
//
// The steps every command-bus row is built from: the power-up table, park
// and power-down, the strobed read of a datum or status. Erase waits are
// ErasePasses (memory/MemoryFrame.h), the per-socket polls PollInTurns and
// OnEverySocket (memory/Gang.h).
#pragma once
#include <cstdint>

#include "memory/Gang.h"
#include "memory/MemoryFrame.h"

namespace cmdbus {

// Where the address latches stand before the supply goes on.
enum class StartAddress { None, Zero, DeviceStart };

// A row's power-up: supply range, DAC channels 1 and 2, the register writes
// around the address load, the settling time and the writes once settled.
struct PowerUp {
    int RangeTenths = 0;
    int Dac = 0;
    RegisterSequence First = {}; // before the address load
    StartAddress Address = StartAddress::DeviceStart;
    uint32_t HighAddressFlag = 0;   // ORed into register 2 of DeviceStart
    RegisterSequence Idle = {};     // the released lines, before the supply
    RegisterSequence OnSupply = {}; // right after the supply goes on
    uint32_t SettleMs = 100;
    RegisterSequence Powered = {}; // after the settling time
};

// The supply of a mode: 1 the programming supply, else the read supply.
uint32_t Supply(int mode);
// SupplyVoltage = Supply(mode), then the power-up as the table says.
void PowerOn(int mode, const PowerUp& p);
// Supply and ground off (the programmer's outputs back to rest with
// resetOutputs).
void SupplyOff(bool resetOutputs = false);
// The park writes, then SupplyOff.
void PowerDown(const RegisterSequence& park, bool resetOutputs = false);

// One strobed read: register 4 = strobe, the datum (bits 0-7 first, for
// words bits 8-15 after them), register 4 = after. The datum goes into
// ReadValue too.
uint32_t StrobedRead(uint32_t strobe, uint32_t after, bool word = false);

// How a row reaches its parts' status register: one status read as the lines
// stand, one command write; the row's own error bits with their lines (1
// when none is set, else -1 with its line logged; nullptr: none); register 3
// after a gang's socket-by-socket reads.
struct StatusAccess {
    uint32_t (*Read)() = nullptr;
    void (*Command)(uint32_t) = nullptr;
    int (*RowErrors)(uint32_t status) = nullptr;
    uint32_t MaskAfter = 0;
};

// The chip addresses an erase covered; Last below First: the whole part.
struct EraseSpan {
    uint32_t First = 1;
    uint32_t Last = 0;
};
inline constexpr EraseSpan kWholeChip{};

// After an erase the part reported ready on: bit 5 (erase error) and the
// row's own error bits of every socket's status: with one socket `status`,
// the status read last; with a gang each socket's status read alone (the
// combined read would show the bits without the socket). Each failing
// socket gets a line naming the block (and the socket), and the status is
// cleared (50h) so the next block reports its own. 1, or -1 when one failed.
int CheckEraseStatus(uint32_t status, const StatusAccess& bus, const EraseSpan& span);

} // namespace cmdbus
