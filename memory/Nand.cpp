#include "memory/Nand.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"
#include "memory/NandGeometry.h"
#include "memory/NandShared.h"

uint32_t ProgramBlockSize = 0;
uint32_t NandReadMode83 = 0;
uint32_t NandReadMode86 = 0;
const char* const NandDeviceNames[7] = {
    "", "", "", "NAND 032M MODE2", "NAND 064M MODE2", "NAND 128M MODE2", "NAND 256M MODE2"};
ShowOptNandDialogFn ShowOptNandDialogHook = nullptr;

namespace nand {

// ---- the NAND bus ------------------------------------------------------------

void Command(uint8_t c) {
    WriteRegister(2, 1);
    WriteRegister(6, c);
    WriteRegister(2, 0);
}

// Up to n reads of register 2 until the ready bit: 1, or -1.
int WaitReady(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        if (ReadRegister(2) & 1) return 1;
    }
    return -1;
}

// A page start; wide: the 512-byte-page form. The result of the ready wait.
int Address(uint32_t a, bool stream, bool wide) {
    if (stream) WriteRegister(4, 0x11);
    WriteRegister(2, 2);
    const uint32_t first = wide ? a >> 1 : a, shift = wide ? 9 : 8;
    WriteRegister(6, first & 0xFF);
    WriteRegister(6, (a >> shift) & 0xFF);
    WriteRegister(6, (a >> (shift + 8)) & 0xFF);
    WriteRegister(2, 0);
    if (stream) WriteRegister(4, 0x13);
    return WaitReady(1000);
}

void ReadByte() {
    WriteRegister(4, 0x03);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 0x11);
}

// Ready within 500 passes of 10 us, then the status: 1 passed, -1 failed
// (bit 0) or never ready.
int WaitStatus() {
    bool ready = false;
    for (int i = 0; i < 500 && !ready; ++i) {
        DelayUsSlot(10);
        ready = (ReadRegister(2) & 1) != 0;
    }
    if (!ready) return -1;
    Command(0x70);
    ReadByte();
    return (ReadValue & 1) ? -1 : 1;
}

void ReadIdAndReset() {
    WriteRegister3(0xFE);
    Command(0x90);
    WriteRegister(2, 2);
    WriteRegister(6, 0);
    WriteRegister(2, 0);
    WaitReady(1000);
    ReadByte(); // maker code
    ReadByte(); // device code
    Command(0xFF);
    WriteRegister3(0xFF);
}

int EraseBlock(uint32_t block, uint32_t blockBytes, bool wide) {
    Command(0x60);
    WriteRegister(2, 2);
    const uint32_t a = block * blockBytes, shift = wide ? 9 : 8;
    WriteRegister(6, (a >> shift) & 0xFF);
    WriteRegister(6, (a >> (shift + 8)) & 0xFF);
    WriteRegister(2, 0);
    Command(0xD0);
    return WaitStatus();
}

// ---- the state of one powered run ------------------------------------------

NandRun Run;

uint32_t Sockets() {
    return std::min<uint32_t>(LastSocketIndex, kSockets - 1) + 1;
}

void SupplyOn(bool programming) {
    SupplyVoltage = programming ? Vccp / 10 : ReadVccInUse;
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
}

void PowerOff() {
    ParkAndPowerOff({{{5, 4}, {3, 0xFF}}}, true);
    Run = NandRun{};
}

// The spare-area scan of socket s: a block is bad when any of the first 16
// spare bytes of its first page is not FFh; block 0 counts as bad on the map
// rows. The count of bad blocks (the scan stops on a bad block once it
// exceeds limit), -1 when the chip never became ready.
int ScanBadBlocks(uint32_t s, uint32_t limit, bool block0Bad) {
    WriteRegister(5, 0);
    WriteRegister(3, NotSocket(s));
    uint32_t count = 0;
    int result = 0;
    for (uint32_t b = 0; b < Run.Blocks; ++b) {
        bool bad = block0Bad && b == 0;
        if (!bad) {
            Command(0x50);
            if (Address(b * Run.Chip.BlockBytes(), false, Run.Wide) != 1) {
                result = -1;
                break;
            }
            for (int i = 0; i < 16; ++i) {
                ReadByte();
                bad = bad || ReadValue != 0xFF;
            }
        }
        Run.Bad[s][b] = bad ? 1 : 0;
        if (!bad) continue;
        if (count > limit) break;
        ++count;
    }
    Command(0xFF);
    WriteRegister3(0xFF);
    WriteRegister(5, 4);
    return result < 0 ? -1 : static_cast<int>(count);
}

} // namespace nand

namespace {

using namespace nand;

constexpr uint32_t kRow77BadLimit = 100;

// ---- the page engine ---------------------------------------------------------

// Writes one page of buffer bytes to register 6 from BufferIndex; -1 when
// the buffer cannot move to its next bank.
int WriteBufferPage(uint32_t bytes) {
    for (uint32_t i = 0; i < bytes; ++i) {
        if (BufferIndex >= 0x10000 && AdvanceToNextBank() != 1) return -1;
        WriteRegister(6, BufferWindow[BufferIndex & 0xFFFF]);
        BufferIndex += AddressStep;
    }
    return 1;
}

// Reads one page in stream mode; its first `stored` bytes go to the read
// service (chipAddress names the first byte), the rest is clocked out of
// the part and dropped: a range that ends inside a page leaves the buffer
// after its end as it was.
int ReadPage(uint32_t bytes, uint32_t stored, uint32_t chipAddress, int mode) {
    for (uint32_t i = 0; i < bytes; ++i) {
        ChipAddress = chipAddress + i;
        ReadValue = ReadRegister(6);
        if (i >= stored) continue;
        if (ProcessReadByte(mode) != 1) return -1;
        if (BufferIndex >= 0x10000 && AdvanceToNextBankIf(mode) != 1) return -1;
    }
    return 1;
}

// Moves the buffer index to the buffer address `at` (in the window's bank or
// one before it), the driver's fail lines naming it from there.
void PlaceBufferIndex(uint64_t at) {
    const uint32_t bank = static_cast<uint32_t>(at >> 16), was = CurrentBank;
    if (bank != was && SelectBank(bank << 16, 0) == 1) BankAdvances -= was - bank;
    BufferIndex = static_cast<uint32_t>(at - (uint64_t{CurrentBank} << 16));
}

// After a page program that failed: the page read back from each socket
// that took it (chip page at[s], -1: none) up to the first byte the part
// does not hold as loaded (`loaded` bytes from buffer address `first`);
// that byte, or the page's first one when every byte took, is the fail
// address, ReadValue the part's datum there, ExpectedValue the buffer's.
void NameFailedPage(const std::array<int64_t, kSockets>& at, uint32_t L, uint64_t first, uint32_t loaded) {
    WriteRegister(5, Run.Spare ? 1 : 5);
    auto readFrom = [&](uint32_t s) {
        WriteRegister(3, NotSocket(s));
        Command(0x00);
        return Address(static_cast<uint32_t>(at[s]), true, Run.Wide) == 1;
    };
    auto bufferByte = [&](uint32_t i) {
        return ReadBufferByteCached(static_cast<uint32_t>(first + uint64_t{i} * AddressStep));
    };
    int64_t socket = -1;
    uint32_t offset = 0;
    bool found = false;
    for (uint32_t s = 0; s < Sockets() && !found; ++s) {
        if (at[s] < 0 || !readFrom(s)) continue;
        if (socket < 0) socket = s;
        for (uint32_t i = 0; i < loaded && !found; ++i) {
            ReadValue = ReadRegister(6);
            found = ReadValue != bufferByte(i);
            offset = i;
        }
        WriteRegister(4, 0x11);
    }
    if (!found) {
        offset = 0;
        if (socket >= 0 && readFrom(static_cast<uint32_t>(socket))) ReadValue = ReadRegister(6);
        WriteRegister(4, 0x11);
    }
    ChipAddress = L + offset;
    ExpectedValue = bufferByte(offset);
    PlaceBufferIndex(first + uint64_t{offset} * AddressStep);
}

// The program loop of every NAND row: for each buffer page L of the range,
// place(s, L) gives socket s's chip address for the page (-1: the socket
// takes no part in it); the taking sockets load the page together and
// program it. Powers down at the end.
template <class Place> int ProgramPages(uint32_t page, Place&& place) {
    int result = 1;
    for (uint64_t l = DeviceStart; l <= DeviceEnd; l += page) {
        const uint32_t L = static_cast<uint32_t>(l);
        ChipAddress = L;
        result = StepProgress(L);
        if (result != 1) break;
        uint32_t mask = 0xFF;
        std::array<int64_t, kSockets> at;
        at.fill(-1);
        for (uint32_t s = 0; s < Sockets(); ++s) {
            at[s] = place(s, L);
            if (at[s] < 0) continue;
            WriteRegister(3, NotSocket(s));
            Command(0x80);
            Address(static_cast<uint32_t>(at[s]), false, Run.Wide);
            mask &= NotSocket(s);
        }
        WriteRegister(3, mask);
        if (mask == 0xFF) break;
        // A range that ends inside a page loads only its own bytes: the
        // rest of the page stays erased.
        const uint64_t first = (uint64_t{CurrentBank} << 16) + BufferIndex;
        const uint32_t loaded = InRangeFrom(l, page);
        if (WriteBufferPage(loaded) != 1) {
            result = -1;
            break;
        }
        Command(0x10);
        if (WaitStatus() != 1) {
            NameFailedPage(at, L, first, loaded);
            result = -1;
            break;
        }
    }
    PowerOff();
    return result;
}

// Erases every block of every socket that kept(s, b) does not keep; the
// first failure ends it. Powers down at the end.
template <class Kept> int EraseBlocks(int powered, Kept&& kept) {
    int result = powered;
    if (result == 1) {
        WriteRegister(5, 6);
        for (uint32_t s = 0; s < Sockets() && result == 1; ++s) {
            WriteRegister(3, NotSocket(s));
            for (uint32_t b = 0; b < Run.Blocks && result == 1; ++b) {
                if (!kept(s, b)) result = EraseBlock(b, Run.Chip.BlockBytes(), Run.Wide);
            }
        }
    }
    PowerOff();
    return result;
}

// A range must start where the row's walk can: on a page (row 77, whose
// reads and writes go page by page) or on a block (the map rows, which
// place whole blocks). Refused with a line, which names no cell, before
// the part is powered.
bool StartServed(uint32_t unit, const char* what) {
    if (unit == 0 || DeviceStart % unit == 0) return true;
    RefuseRun("Start address must be a multiple of the %s size (%Xh bytes).", what,
              static_cast<unsigned>(unit));
    return false;
}

// ---- row 77 --------------------------------------------------------------------

int PowerOn77(int mode) {
    Run = NandRun{};
    Run.Row = 77;
    Run.Chip = Row77Geometry(DeviceVariant);
    if (Run.Chip.PageData == 0) return -1;
    Run.Wide = Run.Chip.PageData == 512;
    Run.BufferPage = Run.Chip.PageData;
    Run.BufferBlock = Run.Chip.BlockBytes();
    Run.Blocks = DeviceSize / Run.Chip.BlockBytes();
    for (auto& t : Run.Bad)
        t.assign(Run.Blocks + 1, 0);
    SupplyOn(mode == 1);
    if (DeviceVariant <= 2) WriteRegister(7, 1);
    WriteRegister(2, 8);
    WriteRegister3(0xFF);
    WriteRegister(4, 0x13);
    WriteRegister(5, 4);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    WriteRegister(4, 0x11);
    ReadIdAndReset();
    if (DeviceVariant < 3) return 1;
    int result = 1;
    for (uint32_t s = 0; s < Sockets(); ++s) {
        const int count = ScanBadBlocks(s, kRow77BadLimit, false);
        if (count < 0) return -1;
        Run.BadCount[s] = static_cast<uint32_t>(count);
        if (static_cast<uint32_t>(count) > kRow77BadLimit) result = -1;
    }
    return result;
}

bool BadIn(uint32_t s, uint32_t block) {
    return block < Run.Bad[s].size() && Run.Bad[s][block] != 0;
}

int Alg77Read(int mode) {
    if (!StartServed(Row77Geometry(DeviceVariant).PageData, "page")) return -1;
    if (PowerOn77(2) != 1) {
        PowerOff();
        return -1;
    }
    WriteRegister(5, 5);
    WriteRegister(3, NotSocket(CurrentSocket));
    Command(0x00);
    const uint32_t page = Run.Chip.PageData, block = Run.Chip.BlockBytes();
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; a += page) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if (a % block == 0 && BadIn(CurrentSocket, static_cast<uint32_t>(a / block))) {
            a += block - page; // the next block, the buffer index stays
            continue;
        }
        // The buffer takes the good pages one after the other, never past
        // the range's end.
        const uint32_t stored = InRangeFrom(a, page);
        if (Address(ChipAddress, true, Run.Wide) != 1 || ReadPage(page, stored, ChipAddress, mode) != 1) {
            result = -1;
            break;
        }
    }
    PowerOff();
    return result;
}

// The blocks the range's data would fill without bad blocks, up to the one
// of the last buffer byte other than FFh: what the good blocks must hold.
uint32_t DataBlocks77(uint32_t block) {
    const uint64_t bytes = uint64_t{DeviceEnd} + 1 - DeviceStart;
    const uint64_t first = uint64_t{BufferStart} + ByteLane;
    for (uint64_t i = bytes; i-- > 0;) {
        if (ReadBufferByteCached(static_cast<uint32_t>(first + i * AddressStep)) != 0xFF)
            return static_cast<uint32_t>((DeviceStart + i) / block - DeviceStart / block + 1);
    }
    return 0;
}

// Bad blocks move the data on into the next good ones, and nothing is
// written past the range: data that the good blocks of the range cannot
// hold is refused before a page is written, naming the blocks missing (and
// no cell).
bool DataFits77() {
    const uint32_t block = Run.Chip.BlockBytes();
    const uint32_t need = DataBlocks77(block);
    const uint32_t first = DeviceStart / block, last = DeviceEnd / block;
    for (uint32_t s = 0; s < Sockets(); ++s) {
        uint32_t good = 0;
        for (uint32_t b = first; b <= last && b < Run.Blocks; ++b)
            if (!BadIn(s, b)) ++good;
        if (need <= good) continue;
        if (Sockets() > 1) ShowMessageLine("Socket#%u", s + 1);
        ShowMessageLine("Program data: %u blocks, the range has %u good blocks: %u blocks missing.",
                        static_cast<unsigned>(need), static_cast<unsigned>(good), static_cast<unsigned>(need - good));
        FailWithoutAddress();
        return false;
    }
    return true;
}

int Alg77Program() {
    if (!StartServed(Row77Geometry(DeviceVariant).PageData, "page")) return -1;
    if (PowerOn77(1) != 1 || !DataFits77()) {
        PowerOff();
        return -1;
    }
    WriteRegister(5, 6);
    const uint32_t page = Run.Chip.PageData, block = Run.Chip.BlockBytes();
    std::array<uint32_t, kSockets> p{}, k{}, n{};
    p.fill(DeviceStart);
    return ProgramPages(page, [&](uint32_t s, uint32_t L) -> int64_t {
        if (L % block == 0) {
            // Never past the socket's last block, however many it skipped.
            while (k[s] < Run.Blocks && BadIn(s, k[s])) {
                ++n[s];
                ++k[s];
                p[s] += block;
            }
            ++k[s];
        }
        const uint64_t room = static_cast<uint64_t>(n[s]) * block;
        const bool takes = k[s] <= Run.Blocks && room <= DeviceEnd && DeviceEnd - room >= L;
        const uint32_t at = p[s];
        p[s] += page;
        return takes ? static_cast<int64_t>(at) : int64_t{-1};
    });
}

int Alg77Erase() {
    const int powered = PowerOn77(1);
    return EraseBlocks(powered, [](uint32_t s, uint32_t b) { return BadIn(s, b); });
}

int Alg77Options() {
    PowerOn77(2);
    for (uint32_t s = 0; s < Sockets(); ++s) {
        if (GangInUse()) ShowMessageLine("Socket#%d", static_cast<int>(s + 1));
        for (uint32_t b = 0; b < Run.Blocks; ++b) {
            if (BadIn(s, b))
                ShowMessageLine("Address:%08lXh, Block No:%d",
                                static_cast<unsigned long>(b) * Run.Chip.BlockBytes(), static_cast<int>(b));
        }
        ShowMessageLine("Bed Block Count: %d", static_cast<int>(Run.BadCount[s]));
    }
    PowerOff();
    return 1;
}

// ---- rows 83 and 86: placing and reading by the block-0 map --------------------

// The map rows place whole blocks of the buffer.
uint32_t MapBlockUnit() {
    return PageSize * MapRowGeometry(CurrentAlgorithm, DeviceVariant).PagesPerBlock;
}
bool MapStartServed() {
    return StartServed(MapBlockUnit(), "block");
}

int MapRead(int mode) {
    if (!MapStartServed()) return -1;
    if (PowerOnMap(mode) != 1) {
        PowerOff();
        return -1;
    }
    WriteRegister(5, Run.Spare ? 1 : 5);
    const uint32_t cs = std::min<uint32_t>(CurrentSocket, kSockets - 1);
    WriteRegister(3, NotSocket(cs));
    Command(0x00);
    const bool logical = (Run.Row == 83 ? NandReadMode83 : NandReadMode86) == 0;
    const uint32_t page = Run.BufferPage, block = Run.BufferBlock;
    uint32_t next = 0;              // row 86: the next logical entry
    uint64_t running = DeviceStart; // row 86: the page address in logical mode
    int result = 1;
    // Row 83's logical read runs over the buffer range: the blocks it skips
    // move its end on, as the Program placed the data (within the chip).
    const uint64_t chipEnd = uint64_t{Run.Blocks} * block;
    auto skippedBytes = [&]() -> uint64_t {
        return logical && Run.Row == 83 ? uint64_t{Run.Skipped[cs]} * block : 0;
    };
    uint64_t compared = DeviceStart; // the range's offset the reads reached
    for (uint64_t l = DeviceStart; l <= DeviceEnd + skippedBytes() && l < chipEnd; l += page) {
        const uint32_t L = static_cast<uint32_t>(l);
        result = StepProgress(static_cast<uint32_t>(l - skippedBytes()));
        if (result != 1) break;
        uint64_t at = l;
        if (logical && Run.Row == 83) {
            if (DeviceStart + (uint64_t{Run.Skipped[cs]} + ProgramBlockSize) * block <= l) break;
            if (L % block == 0 && Reserved(Entry83(cs, L / block))) {
                ++Run.Skipped[cs];
                l += block - page;
                continue;
            }
        } else if (logical) {
            if (L % block == 0) {
                const int64_t e = Entry86(cs, next++);
                if (e < 0) break;
                running = static_cast<uint64_t>(e) * block;
            }
            at = running;
            running += page;
        }
        WriteRegister(4, 0x11);
        const int ready = Address(ToChip(static_cast<uint32_t>(at)), false, true);
        WriteRegister(4, 0x13);
        const uint64_t offset = l - skippedBytes(); // the page's place in the range
        const uint32_t stored = InRangeFrom(offset, page);
        if (ready != 1 || ReadPage(page, stored, static_cast<uint32_t>(at), mode) != 1) {
            result = -1;
            break;
        }
        compared = offset + stored;
    }
    // The logical read covers the whole range: what the map gives no block
    // for is not on the part, erased bytes. A read stores them (the buffer
    // keeps nothing of an earlier file there), a verify or compare compares
    // the rest of the range with them.
    if (result == 1 && logical && mode >= 1 && mode <= 4) {
        for (uint64_t a = compared; a <= DeviceEnd; ++a) {
            ChipAddress = static_cast<uint32_t>(a);
            ReadValue = 0xFF;
            if (ProcessReadByte(mode) != 1 || (BufferIndex >= 0x10000 && AdvanceToNextBank() != 1)) {
                result = -1;
                break;
            }
        }
    }
    PowerOff();
    return result;
}

int MapProgram() {
    if (!MapStartServed()) return -1;
    if (CurrentAlgorithm == 86 && !BufferFitsRow86()) return -1;
    if (PowerOnMap(1) != 1) {
        PowerOff();
        return -1;
    }
    WriteRegister(5, Run.Spare ? 2 : 6);
    const uint32_t page = Run.BufferPage, block = Run.BufferBlock;
    std::array<uint64_t, kSockets> p{};
    std::array<uint32_t, kSockets> k{};
    std::array<bool, kSockets> mapped{};
    p.fill(DeviceStart);
    // Row 83 walks the blocks from the start's own, as its logical read
    // does (the map entry of the block at the buffer offset).
    if (Run.Row == 83) k.fill(DeviceStart / block);
    return ProgramPages(page, [&](uint32_t s, uint32_t L) -> int64_t {
        // A socket writes only inside good blocks its map gives data.
        if (L % block == 0 && Run.Row == 83) {
            while (k[s] < Run.Blocks && Reserved(Entry83(s, k[s]))) {
                ++Run.Skipped[s];
                ++k[s];
                p[s] += block;
            }
            mapped[s] = k[s] < Run.Blocks && Entry83(s, k[s]) != kNoEntry;
            ++k[s];
        } else if (L % block == 0) {
            const int64_t e = Entry86(s, k[s]);
            mapped[s] = e >= 0;
            if (mapped[s]) {
                ++k[s];
                p[s] = static_cast<uint64_t>(e) * block;
            }
        }
        const bool takes =
            mapped[s] && (Run.Row == 86 || L < DeviceStart + uint64_t{ProgramBlockSize} * block);
        const uint64_t at = p[s];
        p[s] += page;
        return takes ? static_cast<int64_t>(ToChip(static_cast<uint32_t>(at))) : -1;
    });
}

int MapErase() {
    const int powered = PowerOnMap(5);
    std::array<std::vector<uint32_t>, kSockets> listed;
    std::array<size_t, kSockets> k{};
    for (uint32_t s = 0; s < kSockets && powered == 1 && Run.Row == 86; ++s)
        listed[s] = BadList86(s);
    return EraseBlocks(powered, [&](uint32_t s, uint32_t b) {
        if (Run.Row == 83) return Reserved(Entry83(s, b));
        // Row 86 walks its bad list along the blocks.
        if (k[s] < listed[s].size() && listed[s][k[s]] == b) {
            ++k[s];
            return true;
        }
        return false;
    });
}

int MapOptions() {
    return ShowOptNandDialogHook != nullptr ? ShowOptNandDialogHook() : 0;
}

void NandSelectionDefaults() {
    NandReadMode83 = 0;
    NandReadMode86 = 0;
    if (CurrentAlgorithm != 83) return;
    static constexpr uint32_t kBlocks[7] = {0, 0, 0, 500, 500, 1000, 2000};
    if (DeviceVariant < 7) ProgramBlockSize = kBlocks[DeviceVariant];
}

constexpr AlgReadFn Alg83Read = MapRead, Alg86Read = MapRead;
constexpr AlgOperationFn Alg83Program = MapProgram, Alg86Program = MapProgram;
constexpr AlgOperationFn Alg83Erase = MapErase, Alg86Erase = MapErase;
constexpr AlgOperationFn Alg83Options = MapOptions, Alg86Options = MapOptions;

std::string NandRecordCheck(uint32_t row, const RowRecordFacts& r) {
    return NandRecordRefusal(row, r.Variant, r.DeviceFlags, r.Page, r.DeviceSize);
}
} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 77,
     .Read = Alg77Read,
     .Program = Alg77Program,
     .Erase = Alg77Erase,
     .Options = Alg77Options,
     .SelectionDefaults = NandSelectionDefaults,
     .VariantCount = 6,
     .VariantTable = "the row-77 geometry table",
     .RecordCheck = NandRecordCheck,
     .StartRefusal = "Start address must be a multiple of the page size",
     .StartUnit = [] { return Row77Geometry(DeviceVariant).PageData; }},
    {.Row = 83,
     .Read = Alg83Read,
     .Program = Alg83Program,
     .Erase = Alg83Erase,
     .Options = Alg83Options,
     .SelectionDefaults = NandSelectionDefaults,
     .VariantCount = 7,
     .VariantTable = "NandDeviceNames",
     .RecordCheck = NandRecordCheck,
     .StartRefusal = "Start address must be a multiple of the block size",
     .PlacesByMap = true,
     .StartUnit = MapBlockUnit},
    {.Row = 86,
     .Read = Alg86Read,
     .Program = Alg86Program,
     .Erase = Alg86Erase,
     .Options = Alg86Options,
     .SelectionDefaults = NandSelectionDefaults,
     .VariantCount = 6,
     .VariantTable = "the row-86 geometry table",
     .RecordCheck = NandRecordCheck,
     .StartRefusal = "Start address must be a multiple of the block size",
     .PlacesByMap = true,
     .StartUnit = MapBlockUnit},
};

ROW_FAMILY("Nand", Memory, 160, kAlgorithmRows);
