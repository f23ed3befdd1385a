#include "memory/Nand.h"

#include <algorithm>
#include <array>
#include <cstring>
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

uint32_t ProgramBlockSize = 0;
uint32_t NandReadMode83 = 0;
uint32_t NandReadMode86 = 0;
const char* const NandDeviceNames[7] = {
    "", "", "", "NAND 032M MODE2", "NAND 064M MODE2", "NAND 128M MODE2", "NAND 256M MODE2"};
ShowOptNandDialogFn ShowOptNandDialogHook = nullptr;

namespace {

constexpr int kSockets = 8;
constexpr uint16_t kBlock0Entry = 0xF5F5, kBadEntry = 0xF0F0, kNoEntry = 0xFFFF;
constexpr uint32_t kMap83Bytes = 4608, kMap86Bytes = 512;
constexpr uint32_t kRow77BadLimit = 100, kMapBadLimit = 30;
constexpr uint32_t kMap86Entries = 64;
constexpr uint8_t kMark86[16] = {0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8, 0xF7,
                                 0xF6, 0xF5, 0xF4, 0xF3, 0xF2, 0xF1, 0xF0, 0xEF};

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

struct NandRun {
    uint32_t Row = 0;
    NandGeometry Chip;
    bool Wide = true;         // 512-byte-page address form
    bool Spare = false;       // rows 83/86: the buffer carries the spare bytes
    uint32_t BufferPage = 0;  // buffer bytes per chip page
    uint32_t BufferBlock = 0; // buffer bytes per chip block
    uint32_t Blocks = 0;
    std::array<std::vector<uint8_t>, kSockets> Bad; // per socket, 1 = bad
    std::array<uint32_t, kSockets> BadCount{};
    std::array<std::vector<uint8_t>, kSockets> Map; // rows 83/86: block 0's map
    std::array<uint32_t, kSockets> Skipped{};       // row 83: blocks skipped in this run
    uint32_t DataBlocks = 0;                        // row 86: D
};
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
// place whole blocks). Refused with a line before the part is powered.
bool StartServed(uint32_t unit, const char* what) {
    if (unit == 0 || DeviceStart % unit == 0) return true;
    ShowMessageLine("Start address must be a multiple of the %s size (%Xh bytes).", what, static_cast<unsigned>(unit));
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
// hold is refused before a page is written, naming the blocks missing.
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

// ---- rows 83 and 86: the block-0 map -------------------------------------------

uint16_t Le16(const std::vector<uint8_t>& m, uint32_t at) {
    return static_cast<uint16_t>(m[at] | (m[at + 1] << 8));
}
void PutLe16(std::vector<uint8_t>& m, uint32_t at, uint32_t v) {
    m[at] = static_cast<uint8_t>(v & 0xFF);
    m[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}
uint16_t Be16(const std::vector<uint8_t>& m, uint32_t at) {
    return static_cast<uint16_t>((m[at] << 8) | m[at + 1]);
}
void PutBe16(std::vector<uint8_t>& m, uint32_t at, uint32_t v) {
    m[at] = static_cast<uint8_t>((v >> 8) & 0xFF);
    m[at + 1] = static_cast<uint8_t>(v & 0xFF);
}

// Row 83: the entry of block b (0xFFFF past the map).
uint16_t Entry83(uint32_t s, uint32_t b) {
    return 512 + 2 * b + 1 < kMap83Bytes ? Le16(Run.Map[s], 512 + 2 * b) : kNoEntry;
}
bool Reserved(uint16_t entry) {
    return entry == kBlock0Entry || entry == kBadEntry;
}

// Row 86: logical entry i's physical block, -1 where there is none.
int64_t Entry86(uint32_t s, uint32_t i) {
    if (i >= kMap86Entries) return -1;
    const uint16_t w = Be16(Run.Map[s], 0x100 + 4 * i);
    if (w == kNoEntry || w < 0x2000) return -1;
    const uint32_t block = (w - 0x2000u) >> 1;
    return block < Run.Blocks ? static_cast<int64_t>(block) : -1;
}

// Row 86: the bad list of a map (ascending blocks).
std::vector<uint32_t> BadList86(uint32_t s) {
    std::vector<uint32_t> list;
    for (uint32_t at = 0x40; at + 1 < 0x100; at += 4) {
        const uint16_t w = Be16(Run.Map[s], at);
        if (w == kNoEntry) break;
        if (w >= 0x2000) list.push_back((w - 0x2000u) >> 1);
    }
    return list;
}

uint32_t ToChip(uint32_t offset) {
    return offset / Run.BufferPage * 512;
}

bool MapValid(uint32_t s) {
    const std::vector<uint8_t>& m = Run.Map[s];
    if (Run.Row == 86) return std::memcmp(m.data(), kMark86, 16) == 0;
    const char* name = NandDeviceNames[DeviceVariant];
    return std::memcmp(m.data(), name, 15) == 0 && m[15] == 0xFF;
}

// The buffer byte of chip address `a` of the range (at or above Chip Start).
uint8_t RangeBufferByte(uint64_t a) {
    const uint64_t at = uint64_t{BufferStart} + (a - DeviceStart);
    return at <= 0xFFFFFFFFu ? ReadBufferByteCached(static_cast<uint32_t>(at)) : static_cast<uint8_t>(FillByte);
}
// The first buffer block from `from` that is all FFh (with `empty`; else
// the first that is not), else the number of blocks of the range. Row 86's
// data blocks D count from the range's first block to the first empty one:
// what lies below the range is not the run's data.
uint32_t FirstEmptyBufferBlock(uint32_t from, uint32_t rangeBlocks, bool empty) {
    for (uint32_t b = from; b < rangeBlocks; ++b) {
        bool allFf = true;
        const uint64_t end =
            std::min<uint64_t>(static_cast<uint64_t>(b + 1) * Run.BufferBlock, uint64_t{DeviceEnd} + 1);
        // The range's bytes from Buffer Start, whatever Chip Start is.
        for (uint64_t a = static_cast<uint64_t>(b) * Run.BufferBlock; a < end && allFf; ++a)
            allFf = RangeBufferByte(a) == 0xFF;
        if (allFf == empty) return b;
    }
    return rangeBlocks;
}
uint32_t RangeBlocks() {
    return static_cast<uint32_t>(
        std::min<uint64_t>((uint64_t{DeviceEnd} + Run.BufferBlock) / Run.BufferBlock, Run.Blocks));
}

enum BuildFailure { kBuilt = 0, kTooMany, kEraseFailed, kProgramFailed, kNotReady, kNoPlace };

// Erases block 0 of socket s and writes its map.
BuildFailure WriteMap(uint32_t s) {
    const std::vector<uint8_t>& m = Run.Map[s];
    WriteRegister(5, Run.Row == 83 ? 2 : 6);
    WriteRegister(3, NotSocket(s));
    const int erased = EraseBlock(0, Run.Chip.BlockBytes(), true);
    WriteRegister3(0xFF);
    if (erased != 1) return kEraseFailed;
    WriteRegister(3, NotSocket(s));
    bool ok = true;
    auto put = [](const uint8_t* bytes, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i)
            WriteRegister(6, bytes != nullptr ? bytes[i] : 0xFF);
    };
    if (Run.Row == 83) {
        for (uint32_t page = 0; page < 9 && ok; ++page) {
            Command(0x80);
            Address(page * 512, false, true);
            put(m.data() + page * 512, 512);
            put(nullptr, 16);
            Command(0x10);
            ok = WaitStatus() == 1;
        }
    } else {
        Command(0x80);
        Address(0, false, true);
        put(m.data(), 256);
        put(nullptr, 256);
        Command(0x10);
        ok = WaitStatus() == 1;
        if (ok) {
            Command(0x80);
            Address(0xE00, false, true);
            put(nullptr, 256);
            put(m.data() + 256, 256);
            Command(0x10);
            ok = WaitStatus() == 1;
        }
    }
    WriteRegister3(0xFF);
    if (!ok) return kProgramFailed;
    WriteRegister(5, 4);
    return kBuilt;
}

// Mode 0: scan and format; mode 1: the logical part.
BuildFailure BuildMap(int mode, uint32_t s) {
    std::vector<uint8_t>& m = Run.Map[s];
    const uint32_t ppb = Run.Chip.PagesPerBlock;
    if (mode == 0) {
        std::fill(m.begin(), m.end(), 0xFF);
        const int count = ScanBadBlocks(s, kMapBadLimit, true);
        if (count < 0) return kNotReady;
        if (static_cast<uint32_t>(count) > kMapBadLimit) return kTooMany;
        if (Run.Row == 83) {
            std::memcpy(m.data(), NandDeviceNames[DeviceVariant], 15);
            m[16] = static_cast<uint8_t>(count);
            uint32_t k = 0;
            for (uint32_t b = 0; b < Run.Blocks; ++b) {
                if (!Run.Bad[s][b]) continue;
                PutLe16(m, 17 + 2 * k++, b * ppb);
                PutLe16(m, 512 + 2 * b, b == 0 ? kBlock0Entry : kBadEntry);
            }
        } else {
            std::memcpy(m.data(), kMark86, 16);
            PutBe16(m, 0x18, 0);
            PutBe16(m, 0x1A, 0x0F00);
            uint32_t at = 0x40;
            for (uint32_t b = 0; b < Run.Blocks; ++b) {
                if (!Run.Bad[s][b]) continue;
                PutBe16(m, at, 0x2000 + 2 * b);
                PutBe16(m, at + 2, 0x2001 + 2 * b);
                at += 4;
            }
        }
    } else if (Run.Row == 83) {
        uint32_t next = 0;
        for (uint32_t b = 0; b < Run.Blocks; ++b) {
            if (Reserved(Entry83(s, b))) continue;
            PutLe16(m, 512 + 2 * b, next < ProgramBlockSize ? next++ : kNoEntry);
        }
    } else {
        std::fill(m.begin() + 256, m.end(), 0xFF);
        const uint32_t d = Run.DataBlocks;
        if (d > kMap86Entries) {
            ShowMessageLine("Data blocks: %u, the block-0 map holds %u: %u blocks missing.", d, kMap86Entries,
                            d - kMap86Entries);
            return kNoPlace;
        }
        std::vector<uint8_t> bad(Run.Blocks + 1, 0);
        bad[0] = 1;
        for (uint32_t b : BadList86(s)) {
            if (b < Run.Blocks) bad[b] = 1;
        }
        // The D highest good blocks, in ascending order.
        std::vector<uint32_t> good;
        for (uint32_t b = Run.Blocks; b-- > 1 && good.size() < d;) {
            if (!bad[b]) good.push_back(b);
        }
        if (good.size() < d) {
            ShowMessageLine("Data blocks: %u, good blocks: %u: %u blocks missing.", d,
                            static_cast<unsigned>(good.size()), d - static_cast<unsigned>(good.size()));
            return kNoPlace;
        }
        std::reverse(good.begin(), good.end());
        PutBe16(m, 0x18, 2 * d);
        for (uint32_t i = 0; i < d; ++i) {
            PutBe16(m, 0x100 + 4 * i, 0x2000 + 2 * good[i]);
            PutBe16(m, 0x102 + 4 * i, 0x2001 + 2 * good[i]);
        }
    }
    return WriteMap(s);
}

int BuildOrReport(int mode, uint32_t s) {
    const BuildFailure f = BuildMap(mode, s);
    if (f == kBuilt) return 1;
    static const char* const kWhy[] = {"", " To meny bed block.", " Block #0 erase error.",
                                       " Block #0 program error."};
    if (f <= kProgramFailed) {
        ShowMessageLine("Device Initialization Fail!");
        ShowMessageLine("%s", kWhy[f]);
        // The line names what failed: block 0 holds no cell of the range.
        FailWithoutAddress();
    }
    return -1;
}

// Reads block 0's map of socket s; -1 when the chip never became ready.
int ReadMap(uint32_t s) {
    std::vector<uint8_t>& m = Run.Map[s];
    std::fill(m.begin(), m.end(), 0xFF);
    WriteRegister(3, NotSocket(s));
    auto take = [&](uint8_t* into, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t v = ReadRegister(6);
            if (into != nullptr) into[i] = v;
        }
    };
    Command(0x00);
    if (Address(0, false, true) != 1) return -1;
    WriteRegister(4, 0x13);
    if (Run.Row == 83) {
        for (uint32_t page = 0; page < 9; ++page) {
            if (WaitReady(100) != 1) return -1;
            take(m.data() + page * 512, 512);
            take(nullptr, 16);
        }
        WriteRegister(4, 0x11);
        return 1;
    }
    take(m.data(), 256);
    take(nullptr, 256);
    WriteRegister(4, 0x11);
    Command(0x00);
    if (Address(0xE00, false, true) != 1) return -1;
    WriteRegister(4, 0x13);
    take(nullptr, 256);
    take(m.data() + 256, 256);
    WriteRegister(4, 0x11);
    return 1;
}

// Row 83 places the range in ProgramBlockSize logical blocks, each a good
// block after block 0: a range that needs more than a socket's map can give
// is refused before a page is written, naming the blocks missing.
bool RangeFits83() {
    const uint64_t bytes = uint64_t{DeviceEnd} + 1 - DeviceStart;
    const uint64_t need = (bytes + Run.BufferBlock - 1) / Run.BufferBlock;
    for (uint32_t s = 0; s < Sockets(); ++s) {
        uint32_t good = 0;
        for (uint32_t b = DeviceStart / Run.BufferBlock; b < Run.Blocks; ++b)
            if (!Reserved(Entry83(s, b))) ++good;
        const uint64_t holds = std::min<uint64_t>(good, ProgramBlockSize);
        if (need <= holds) continue;
        if (Sockets() > 1) ShowMessageLine("Socket#%u", s + 1);
        ShowMessageLine("Program range: %u blocks, the part holds %u: %u blocks missing.",
                        static_cast<unsigned>(need), static_cast<unsigned>(holds),
                        static_cast<unsigned>(need - holds));
        return false;
    }
    return true;
}

int PowerOnMap(int mode) {
    Run = NandRun{};
    Run.Row = CurrentAlgorithm;
    const std::string refusal = NandRecordRefusal(Run.Row, DeviceVariant, DeviceFlags, PageSize, DeviceSize);
    if (!refusal.empty()) {
        ShowMessageLine("%s", refusal.c_str());
        return -1;
    }
    Run.Chip = MapRowGeometry(Run.Row, DeviceVariant);
    Run.Spare = (DeviceFlags & kNandSpareFlag) != 0;
    Run.BufferPage = PageSize;
    Run.BufferBlock = PageSize * Run.Chip.PagesPerBlock;
    Run.Blocks = MapRowChipBlocks(DeviceVariant);
    for (uint32_t s = 0; s < kSockets; ++s) {
        Run.Bad[s].assign(Run.Blocks + 1, 0);
        Run.Map[s].assign(Run.Row == 83 ? kMap83Bytes : kMap86Bytes, 0xFF);
    }
    if (Run.Row == 86) {
        const uint32_t first = DeviceStart / Run.BufferBlock;
        Run.DataBlocks = FirstEmptyBufferBlock(first, RangeBlocks(), true) - first;
    }
    SupplyOn(mode == 1 || mode == 5);
    WriteRegister(2, 8);
    WriteRegister3(0xFF);
    WriteRegister(4, 0x13);
    WriteRegister(5, Run.Row == 83 ? 0 : 4);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    WriteRegister(4, 0x11);
    ReadIdAndReset();
    WriteRegister(5, Run.Row == 83 ? 1 : 5);
    for (uint32_t s = 0; s < Sockets(); ++s) {
        if (ReadMap(s) != 1) return -1;
    }
    WriteRegister3(0xFF);
    for (uint32_t s = 0; s < Sockets(); ++s) {
        if (!MapValid(s) && BuildOrReport(0, s) != 1) return -1;
    }
    for (uint32_t s = 0; s < Sockets(); ++s) {
        Run.BadCount[s] = Run.Row == 83 ? Run.Map[s][16] : static_cast<uint32_t>(BadList86(s).size());
    }
    if (mode != 1) return 1;
    if (Run.Row == 83 && !RangeFits83()) return -1;
    for (uint32_t s = 0; s < Sockets(); ++s) {
        if (BuildOrReport(1, s) != 1) return -1;
    }
    return 1;
}

// Row 86 places data only up to the first empty buffer block: a buffer with
// data after one is refused before anything is written.
bool BufferFitsRow86() {
    Run.BufferBlock = PageSize * MapRowGeometry(86, DeviceVariant).PagesPerBlock;
    Run.Blocks = MapRowChipBlocks(DeviceVariant);
    if (Run.BufferBlock == 0) return true; // power-up refuses the record
    const uint32_t range = RangeBlocks();
    const uint32_t empty = FirstEmptyBufferBlock(DeviceStart / Run.BufferBlock, range, true);
    const uint32_t lost = FirstEmptyBufferBlock(empty, range, false);
    Run = NandRun{};
    if (lost >= range) return true;
    ShowMessageLine("Buffer block %u is empty: block %u and after would not be written.", empty, lost);
    return false;
}

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

} // namespace

void ShowBadBlocks83() {
    if (PowerOnMap(2) == 1) {
        for (uint32_t s = 0; s < Sockets(); ++s) {
            if (GangInUse()) ShowMessageLine("Socket%d", static_cast<int>(s + 1));
            const uint32_t count = Run.Map[s][16];
            for (uint32_t k = 0; k < count && 17 + 2 * k + 1 < 512; ++k) {
                const uint32_t block = Le16(Run.Map[s], 17 + 2 * k) * 512u / Run.Chip.BlockBytes();
                ShowMessageLine("Address:%08lXh, Block No:%04d",
                                static_cast<unsigned long>(block) * Run.Chip.BlockBytes(),
                                static_cast<int>(block));
            }
            ShowMessageLine("Bed Block Count: %d", static_cast<int>(count));
        }
    }
    PowerOff();
    Beep(1);
}

void ShowBadSectors86() {
    if (PowerOnMap(2) == 1) {
        for (uint32_t s = 0; s < Sockets(); ++s) {
            if (GangInUse()) ShowMessageLine("Socket%d", static_cast<int>(s + 1));
            int count = 0;
            for (uint32_t w = 0; w < 30; ++w) {
                const uint16_t v = Be16(Run.Map[s], 0x40 + 2 * w);
                if (v == kNoEntry) continue;
                const uint32_t sector = static_cast<uint16_t>(v - 0x2000);
                ShowMessageLine("Address:%08lXh, Sector No:%d",
                                static_cast<unsigned long>(sector) * Run.Chip.BlockBytes() / 2,
                                static_cast<int>(sector));
                ++count;
            }
            ShowMessageLine("Bed Sector Count: %d", count);
        }
    }
    PowerOff();
    Beep(1);
}

namespace {
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
