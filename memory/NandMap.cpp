// The block-0 maps of rows 83 and 86: reading, validating and writing them,
// formatting a part at power-up, and the bad-block lists of the option
// dialog.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "memory/MemoryFrame.h"
#include "memory/Nand.h"
#include "memory/NandGeometry.h"
#include "memory/NandShared.h"

namespace nand {

namespace {

constexpr uint32_t kMap83Bytes = 4608, kMap86Bytes = 512;
constexpr uint32_t kMapBadLimit = 30;
constexpr uint32_t kMap86Entries = 64;
constexpr uint8_t kMark86[16] = {0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8, 0xF7,
                                 0xF6, 0xF5, 0xF4, 0xF3, 0xF2, 0xF1, 0xF0, 0xEF};

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

} // namespace

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

namespace {

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

// A power-up that could not read or build block 0's map says why; -1.
int ReportMapFailure(BuildFailure f) {
    static const char* const kWhy[] = {"", " To meny bed block.", " Block #0 erase error.",
                                       " Block #0 program error.", " Block #0 not ready."};
    if (f <= kNotReady) {
        ShowMessageLine("Device Initialization Fail!");
        ShowMessageLine("%s", kWhy[f]);
    }
    // The lines name what failed, block 0 or the map's room: no cell of the
    // range.
    FailWithoutAddress();
    return -1;
}

int BuildOrReport(int mode, uint32_t s) {
    const BuildFailure f = BuildMap(mode, s);
    return f == kBuilt ? 1 : ReportMapFailure(f);
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
// is refused before a page is written, naming the blocks missing (and no
// cell).
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
        FailWithoutAddress();
        return false;
    }
    return true;
}

} // namespace

int PowerOnMap(int mode) {
    Run = NandRun{};
    Run.Row = CurrentAlgorithm;
    const std::string refusal = NandRecordRefusal(Run.Row, DeviceVariant, DeviceFlags, PageSize, DeviceSize);
    if (!refusal.empty()) {
        ShowMessageLine("%s", refusal.c_str());
        FailWithoutAddress();
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
        if (ReadMap(s) != 1) return ReportMapFailure(kNotReady);
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
// data after one is refused with a line before anything is written.
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
    FailWithoutAddress();
    return false;
}

} // namespace nand

using namespace nand;

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
