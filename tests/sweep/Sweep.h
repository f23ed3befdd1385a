// What the passes of the every-device sweep share: the swept library and its
// devices, the fixture, the data a row accepts, the expected reading of a
// part's cells, and the tally printed when the run ends.
#pragma once
// not every cell).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <iterator>
#include <limits>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/RowDef.h"
#include "engine/UiBridge.h"
#include "logic/AddressListPld.h"
#include "logic/InstallLogicRows.h"
#include "mcu/InstallMcuRows.h"
#include "memory/InstallMemoryRows.h"
#include "platform/Tone.h"
#include "shell/SimSetup.h"
#include "sim/Catalog.h"
#include "sim/CommandFlashChip.h"
#include "sim/Electrical.h"
#include "sim/EpromChip.h"
#include "sim/FlashParts.h"
#include "sim/GangAdapter.h"
#include "sim/Hc05BootChip.h"
#include "sim/Hc11BootChip.h"
#include "sim/JtagMemoryChip.h"
#include "sim/LoaderMcuChip.h"
#include "sim/NandChip.h"
#include "sim/OptionAreaChip.h"
#include "sim/PageFlashChip.h"
#include "sim/PartFacts.h"
#include "sim/PicChip.h"
#include "sim/PinMemoryChip.h"
#include "sim/SerialChips.h"
#include "sim/SeqClockMcuChip.h"
#include "sim/SimProgrammer.h"
#include "sim/St62SerialChip.h"
#include "sim/StatusPageFlashChip.h"
#include "sim/WordBusMcuChip.h"
#include "tools/PartAgreement.h"
#include "tests/engine/RunLogChecks.h"
#include "tests/logic/FusePlacements.h"

namespace sweep {


inline std::string ProgramFolder() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().string(); }

struct LibraryDevice {
    uint32_t section = 0;
    DeviceRecord record{};
    std::string maker, name;
    uint32_t row = 0;
    uint64_t bytes = 0; // the image it takes (a PLD: fuses)
};

// The library the sweep reads and its operations run with.
inline std::string SweptLibrary() {
    const char* name = std::getenv("VEXLOR_SWEEP_LIBRARY");
    return name != nullptr && *name != '\0' ? name : "krd.dat";
}

// Every record of the swept library, in library order; of another library
// than krd.dat, the records krd.dat does not hold.
inline std::vector<LibraryDevice> LibraryDevices() {
    ResetProgramState();
    ProgramDirectory = ProgramFolder();
    std::vector<std::vector<uint8_t>> product;
    if (SweptLibrary() != "krd.dat") {
        LibraryFileName = "krd.dat";
        for (const DeviceRecord& r : ReadLibraryRecords()) product.emplace_back(std::begin(r.Bytes), std::end(r.Bytes));
    }
    LibraryFileName = SweptLibrary();
    std::vector<LibraryDevice> out;
    for (const DeviceRecord& r : ReadLibraryRecords()) {
        const std::vector<uint8_t> bytes(std::begin(r.Bytes), std::end(r.Bytes));
        if (std::find(product.begin(), product.end(), bytes) != product.end()) continue;
        LibraryDevice d;
        d.section = r.Bytes[RecordSectionByte];
        d.record = r;
        const auto* b = reinterpret_cast<const char*>(r.Bytes);
        d.maker = b;
        d.name = b + r.Bytes[RecordNameOffsetByte];
        DeviceSection = d.section;
        if (SetCurrentDevice(r) == 1) {
            d.row = CurrentAlgorithm;
            d.bytes = d.section == SectionPld ? DeviceSize : BufferByteSize;
        }
        out.push_back(d);
    }
    ResetProgramState();
    return out;
}

inline const std::vector<LibraryDevice>& Devices() {
    static const std::vector<LibraryDevice> devices = LibraryDevices();
    return devices;
}

// Every device, or with VEXLOR_SWEEP_SAMPLE=1 the smallest of each row (the
// sample the sanitizer build runs).
inline std::vector<size_t> DeviceIndexes() {
    const std::vector<LibraryDevice>& all = Devices();
    const char* sample = std::getenv("VEXLOR_SWEEP_SAMPLE");
    std::vector<size_t> v;
    for (size_t i = 0; i < all.size(); ++i) {
        bool smallest = true;
        for (size_t j = 0; smallest && j < all.size(); ++j) {
            smallest = all[j].row != all[i].row || all[j].bytes > all[i].bytes || (all[j].bytes == all[i].bytes && j >= i);
        }
        if (sample == nullptr || std::string(sample) != "1" || smallest) v.push_back(i);
    }
    return v;
}

inline bool RowHasModule(uint32_t row) {
    const AlgorithmEntry& e = AlgorithmTable[row];
    return e.Read != AlgNoRead || e.Program != AlgNoOperation || e.Erase != AlgNoOperation ||
           e.Secure != AlgNoOperation;
}

// The program's simulator and every row installed, as the program starts:
// the fixture of each pass (and of the single runs beside them).
template <class Base> class ProgramRig : public Base {
protected:
    void SetUp() override {
        ResetProgramState();
        InstallMemoryAlgorithms();
        InstallLogicAlgorithms();
        InstallMcuAlgorithms();
        InstallUiBridge(&ui);
        SetToneSink([](int, int) {});
        ProgramDirectory = ProgramFolder();
        LibraryFileName = SweptLibrary();
        InstallPortIo(MakeProgramSimulator());
    }
    void TearDown() override {
        InstallPortIo(nullptr);
        InstallUiBridge(nullptr);
        SetToneSink(nullptr);
        ResetProgramState();
    }
    RecordingUi ui;
};

class EveryDevice : public ProgramRig<::testing::TestWithParam<size_t>> {};

// Random bytes from a seed, the same for every run of a device.
inline void FillRandom(uint8_t* p, size_t n, uint32_t seed) {
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        p[i] = static_cast<uint8_t>(x >> 16);
    }
}

// Random data made into what the device's row accepts as a user's image.
inline void ShapeData(uint32_t row, uint8_t* p, size_t bytes) {
    // A register byte the row reads back with some of its bits only.
    if (const RowDef* def = RowDefinition(row); def != nullptr && def->RegisterByteFromEnd != 0 &&
                                                 DeviceSize >= def->RegisterByteFromEnd && bytes >= DeviceSize)
        p[DeviceSize - def->RegisterByteFromEnd] &= def->RegisterReadBits;
    switch (row) {
    case 122: // the 64 KB parts answer at FFFFh with their special register: Program refuses another byte there
        if (bytes == 0x10000) p[0xFFFF] = 0xFF;
        break;
    case 150: // the option areas keep only the bits the part's cells hold; a read leaves the bytes between them
    case 151:
        if (const auto* areas = sim::SeatedModel<sim::OptionAreaChip>(SeatedSimChip())) {
            for (size_t i = areas->CodeBytes(); i < bytes; ++i) {
                const uint8_t bits = areas->BitsAt(static_cast<uint32_t>(i));
                p[i] = bits == 0 ? 0x5A : static_cast<uint8_t>(p[i] & bits);
            }
            // The security bit (bit 1 of group B's byte 3) is left
            // unprogrammed: row 150 reads it outside its mask as 0, row 151
            // as the part holds it.
            if (const size_t security = areas->GroupBIndex(3); security < bytes)
                p[security] = static_cast<uint8_t>(row == 150 ? p[security] & ~2u : p[security] | 2u);
        }
        break;
    case 92: // the timekeeping registers in the last eight bytes: the clock stopped, all else 0
        if (bytes >= 0x8000) {
            std::memset(p + 0x7FF8, 0, 8);
            p[0x7FF9] = 0x80;
        }
        break;
    default:
        break;
    }
    // A 68HC711's CONFIG register keeps only its implemented bits (the
    // catalog part's mask); a read gives the others 0.
    if (const sim::CatalogChip* chip = SeatedSimChip(); chip != nullptr)
        if (const auto* boot = sim::FactsAs<sim::Hc11BootFacts>(&chip->Facts());
            boot != nullptr && boot->configAt >= 0 && static_cast<uint64_t>(boot->configAt) < bytes)
            p[boot->configAt] &= boot->configMask;
    // Program words of fewer bits than the buffer's 16 (a PIC's 12 or 14):
    // the catalog part's word width.
    if (const sim::CatalogChip* chip = SeatedSimChip(); chip != nullptr)
        if (const auto* pic = sim::FactsAs<sim::PicFacts>(&chip->Facts()); pic != nullptr && pic->wordBits < 16)
            for (size_t i = 1; i < bytes; i += 2) p[i] &= static_cast<uint8_t>((1u << (pic->wordBits - 8)) - 1);
}

// A random fuse map made into what the device's row accepts as a user's file.
inline void ShapeFuses(uint32_t row, uint8_t* map, uint32_t fuses) {
    auto set = [&](uint32_t fuse, bool on) {
        if (fuse >= fuses) return;
        map[fuse / 8] = static_cast<uint8_t>(on ? map[fuse / 8] | (1u << (fuse % 8)) : map[fuse / 8] & ~(1u << (fuse % 8)));
    };
    switch (row) {
    case 248: // the B parts have no fuse 14499
        if (DeviceVariant == 2 || DeviceVariant == 6) set(14499, false);
        break;
    case 245: // fuse 44675's word is the security cell's place
        set(44675, false);
        break;
    case 249: // the read protection off (0 turns it on); Secure sets it
        set(34166, true);
        break;
    case 298:
        set(74114, true);
        break;
    case 250:
    case 251:
    case 252: { // a byte a listed word: its unlisted bits read 1, unlisted words 0
        std::vector<uint8_t> listed(fuses / 8 + 1, 0), mask(fuses / 8 + 1, 0);
        const uint32_t words = OpenLibraryEntry(AddressListEntry(DeviceVariant)) / 2;
        // Row 250 variant 0 passes over these with the catalog part's product code.
        const std::vector<uint32_t> reserved = {0x8E0, 0x8E1, 0x8E2, 0x8E3, 0x8E4, 0x8E8, 0x8E9, 0x8EA, 0x8EB};
        uint32_t m = 0;
        bool maskNext = true;
        for (uint32_t k = 0; k < words; ++k) {
            const uint32_t w = ReadLibraryWord(k);
            if (maskNext) {
                m = w;
                maskNext = false;
            } else if (w == 0xFFFF) {
                maskNext = true;
            } else if (w == 0xFFFE) {
                break;
            } else if (w < listed.size() &&
                       !(row == 250 && DeviceVariant == 0 && std::count(reserved.begin(), reserved.end(), w))) {
                listed[w] = 1;
                mask[w] = static_cast<uint8_t>(m);
            }
        }
        for (uint32_t a = 0; a * 8 < fuses; ++a) map[a] = listed[a] ? static_cast<uint8_t>(map[a] | ~mask[a]) : 0;
        break;
    }
    case 258: // variant 2: 2592-2879 and the odd numbers above are no cell
        if (DeviceVariant == 2)
            for (uint32_t n = 2592; n < fuses; ++n)
                if (n < 2880 || n % 2 == 1) set(n, false);
        break;
    case 295: // the 6-block parts' coded fields hold 0-10 (four fuses a field)
        if (fuses > 44000 && fuses < 44500)
            for (uint32_t n = 43392; n < 44256; n += 4) set(n, false);
        break;
    case 296: // the cells a read sets to 1; the 8-block coded fields hold 0-12
        if (fuses == 15033)
            for (uint32_t n = 15009; n <= 15015; ++n) set(n, true);
        if (fuses == 30609)
            for (uint32_t n = 30585; n <= 30591; ++n) set(n, true);
        if (fuses > 59000 && fuses < 59300)
            for (uint32_t n = 57856; n < 59008; n += 4) set(n, false);
        break;
    case 297: // numbers between the closing cells with no cell
        if (fuses == 15033)
            for (uint32_t n = 15009; n <= 15015; ++n) set(n, false);
        if (fuses == 30609)
            for (uint32_t n = 30585; n <= 30591; ++n) set(n, false);
        break;
    case 299:
        for (uint32_t b = 0; b < 8; ++b)
            for (uint32_t m = 0; m < 36; ++m) set(58112 + 180 * b + 5 * m, false);
        break;
    default:
        break;
    }
}

// The byte the range passes leave in the buffer outside the range.
constexpr uint8_t kOther = 0x5A;

constexpr const char* kMainPass = "from chip address 0";
constexpr const char* kOddStart = "from an odd address";
constexpr const char* kGang = "on a gang of 4";
constexpr const char* kGangErase = "erase on a gang of 4 over a later socket's cell that does not erase";
constexpr const char* kSplit = "in byte lanes";
constexpr const char* kBoundaryStart = "from the row's boundary";
constexpr const char* kHighStart = "from 10000h or above";
constexpr const char* kEndBelowTop = "to an end below the top";
constexpr const char* kBufferApart = "with Buffer Start apart from Chip Start";
constexpr const char* kBufferTop = "at the buffer's last byte";
constexpr const char* kModuleAtOne = "on a gang module at gang size 1";
// The identity run's Read, refused at the identity line (another identity).
constexpr const char* kIdentityRead = "another identity's refused read";

// Faults the passes found that are not mended yet. A failure of a row and
// pass listed here prints as an "[open]" line with what goes wrong, is
// counted apart and listed at the end, and does not fail the sweep; every
// other failure does. A mend takes its entry out.
struct OpenFault {
    uint32_t row;
    const char* pass;
    const char* what;
    const char* device = nullptr; // one device of the row only (its name)
};
// None is open today.
constexpr std::array<OpenFault, 0> kOpenFaults{};
inline const OpenFault* OpenFaultOf(uint32_t row, const char* pass, const std::string& line) {
    for (const OpenFault& f : kOpenFaults)
        if (f.row == row && std::string_view(f.pass) == pass &&
            (f.device == nullptr || line.find(std::string(" ") + f.device + " ") != std::string::npos))
            return &f;
    return nullptr;
}

// What the passes found, printed when the run ends: each pass's count, the
// devices proven against a datasheet model apart from those whose model
// follows their row, and the latter's lines (a pass there checks the row
// against its own reading, not against a chip).
class SweepSummary : public ::testing::Environment {
public:
    struct Tally {
        std::string pass;
        int passed = 0, refused = 0, failed = 0, open = 0;
    };
    // One pass's result for a device; `refused`: the row refused what the
    // pass asked as its declaration says.
    // A device counts as proven by its run from chip address 0, which runs
    // in one shard of a sharded sweep (its other passes may run in others,
    // counted on their own lines): the shards' lines add up.
    static void Count(const char* pass, size_t device, bool rowModel, bool ok, bool refused = false,
                      bool open = false) {
        auto& tallies = Tallies();
        auto t = std::find_if(tallies.begin(), tallies.end(), [&](const Tally& x) { return x.pass == pass; });
        if (t == tallies.end()) t = tallies.insert(tallies.end(), Tally{pass});
        (ok ? (refused ? t->refused : t->passed) : open ? t->open : t->failed) += 1;
        if (std::string(pass) != kMainPass) return;
        Device& d = Proven()[device];
        d.rowModel = rowModel;
        d.failed = !ok;
    }
    static std::vector<std::string>& OpenLines() {
        static std::vector<std::string> lines;
        return lines;
    }
    // A pass's line printed even when no device counts on it (a line that
    // must read 0).
    static void Declare(const char* pass) {
        auto& tallies = Tallies();
        if (std::none_of(tallies.begin(), tallies.end(), [&](const Tally& x) { return x.pass == pass; }))
            tallies.push_back(Tally{pass});
    }
    // A PLD device of the main pass whose cells were checked through its
    // placement table, or that has none.
    static void CountPldCells(bool checked) { PldCells()[checked ? 0 : 1] += 1; }
    static std::vector<std::string>& RowModelLines() {
        static std::vector<std::string> lines;
        return lines;
    }
    void TearDown() override {
        for (const Tally& t : Tallies())
            std::printf("[sweep] %s: %d passed, %d refused as their row declares, %d failed, %d open faults\n",
                        t.pass.c_str(), t.passed, t.refused, t.failed, t.open);
        for (const std::string& l : OpenLines()) std::printf("[open] %s\n", l.c_str());
        int datasheet = 0, row = 0;
        for (const auto& [index, d] : Proven())
            if (!d.failed) (d.rowModel ? row : datasheet) += 1;
        if (!Proven().empty())
            std::printf("[sweep] %d devices proven against a datasheet model, %d against their row's own tables\n",
                        datasheet, row);
        if (PldCells()[0] + PldCells()[1] > 0)
            std::printf("[sweep] PLD cells checked: %d devices, %d without a placement table\n", PldCells()[0],
                        PldCells()[1]);
        const std::vector<std::string>& lines = RowModelLines();
        if (lines.empty()) return;
        std::printf("[row model] %zu device(s) ran against parts without a datasheet whose facts follow the "
                    "algorithm row; a pass there is no proof against a chip:\n",
                    lines.size());
        for (const std::string& l : lines) std::printf("[row model]   %s\n", l.c_str());
    }

private:
    struct Device {
        bool rowModel = false;
        bool failed = false;
    };
    static std::vector<Tally>& Tallies() {
        static std::vector<Tally> tallies;
        return tallies;
    }
    static std::array<int, 2>& PldCells() {
        static std::array<int, 2> counts{};
        return counts;
    }
    static std::map<size_t, Device>& Proven() {
        static std::map<size_t, Device> devices;
        return devices;
    }
};
inline const auto* const kSweepSummary = ::testing::AddGlobalTestEnvironment(new SweepSummary);

// Two counts a pass keeps over a shard's run, printed once at its end by
// `format` (two %d) when either is above 0. The test run owns it.
class CountPair : public ::testing::Environment {
public:
    explicit CountPair(const char* format) : format_(format) {}
    int first = 0, second = 0;
    void TearDown() override {
        if (first + second > 0) std::printf(format_, first, second);
    }

private:
    const char* format_;
};
inline CountPair& ShardCounts(const char* format) {
    auto* pair = new CountPair(format);
    ::testing::AddGlobalTestEnvironment(pair);
    return *pair;
}

// The bits of a datum the part holds (a PIC word 12 or 14, a 4-bit part 4).
inline uint16_t HeldBits() {
    if (DataWidth == 0 || DataWidth >= 16) return 0xFFFF;
    return static_cast<uint16_t>((1u << DataWidth) - 1);
}

// The byte of the part's cell at chip address `a` that buffer byte `lane`
// (0 low, 1 high) of its datum holds.
inline uint8_t CellByte(const sim::CatalogChip& chip, uint32_t a, unsigned lane) {
    return static_cast<uint8_t>(chip.Cell(a) >> (8 * lane));
}

// A blank part of the kind `chip` is, as the catalog makes it: what every
// cell of a fresh part holds (EPROM, EEPROM and option cells alike).
inline const sim::CatalogChip& BlankPart(const sim::CatalogPart& part) {
    static const sim::CatalogPart* made = nullptr;
    static std::unique_ptr<sim::CatalogChip> blank;
    if (made != &part) {
        blank = sim::MakeChip(part);
        made = &part;
    }
    return *blank;
}

// The first of `count` chip addresses from `from` whose cell does not hold
// what a blank part holds there, described; "" when none.
inline std::string CellsNotBlank(const sim::CatalogChip& chip, const sim::CatalogPart& part, uint32_t from, size_t count,
                          const char* what) {
    const sim::CatalogChip& blank = BlankPart(part);
    for (size_t k = 0; k < count; ++k) {
        const uint32_t a = from + static_cast<uint32_t>(k);
        if (chip.Cell(a) != blank.Cell(a)) {
            char m[128];
            std::snprintf(m, sizeof m, " %s: cell %Xh holds %Xh, %Xh blank", what, a, chip.Cell(a), blank.Cell(a));
            return m;
        }
    }
    return "";
}

// The first line of the log from `from` on that names an error; "" when none.
inline std::string FirstError(const RecordingUi& ui, size_t from) {
    for (size_t i = from; i < ui.Log.size(); ++i)
        if (ui.Log[i].find("error") != std::string::npos || ui.Log[i].find("Error") != std::string::npos)
            return ui.Log[i];
    return "";
}

// A violation a row's own sequence causes on every part, and why it stays.
inline const char* ExpectedViolation(uint32_t row) {
    // The two-wire read acknowledges its last byte, so the part drives SDA
    // for a next byte when the stop condition raises it.
    if (row == 81) return "drives against the logic driver";
    return nullptr;
}

// Rows whose Secure locks the part against reading: Read then stops with
// this line before any address.
struct ReadLock {
    uint32_t row;
    const char* line;
};
// Rows 195 and 107 at their default lock bits 1 and 2, row 128 at its
// default HSB level 4.
constexpr ReadLock kReadLocks[] = {
    {127, " Device secured!"},
    {195, " Device secured!(Lock Bits 1,2)"},
    {107, " Device secured!(Lock Bits 1,2)"},
    {128, " Device secured!(Level 4)"},
};
inline const ReadLock* ReadLockOf(uint32_t row) {
    for (const ReadLock& l : kReadLocks)
        if (l.row == row) return &l;
    return nullptr;
}

// The first buffer byte i in [from, to) that `outside(i)` counts as outside
// the range and that a read changed from kOther, as " read wrote buffer
// <i>h <where>"; "" when none.
template <class Outside>
std::string ReadWroteOutside(const uint8_t* buffer, size_t from, size_t to, Outside&& outside, const char* where) {
    for (size_t i = from; i < to; ++i) {
        if (buffer[i] == kOther || !outside(i)) continue;
        char m[96];
        std::snprintf(m, sizeof m, " read wrote buffer %zXh %s", i, where);
        return m;
    }
    return "";
}

// The first violation the run caused other than the one its row's own
// sequence always causes; "" when none.
inline std::string UnexpectedViolation(const sim::SimProgrammer& simp) {
    const char* expected = ExpectedViolation(CurrentAlgorithm);
    for (const std::string& v : simp.Violations()) {
        if (expected == nullptr || v.find(expected) == std::string::npos) return v;
    }
    return "";
}

// What buffer byte `b` of a device's layout (chip address base + b / unit)
// reads back as after `written` was programmed there, and whether the part's
// cell holds it there (the datum programmed at its chip address); where it
// does not, a read gives what the part holds there, or leaves the buffer's
// `fill` where the part holds nothing the row reads.
struct Expected {
    uint8_t value;
    bool programmed;
    int cell = -1; // what the cell holds where a read shows otherwise (-1: value)
};
inline Expected ExpectedAt(size_t b, uint8_t written, const sim::CatalogPart& part, const sim::CatalogChip& chip, uint32_t base,
                    unsigned unit, uint8_t fill) {
    const uint32_t address = base + static_cast<uint32_t>(b / unit);
    const unsigned lane = static_cast<unsigned>(b % unit);
    const Expected partHolds{CellByte(chip, address, lane), false};
    const Expected left{fill, false}; // the row reads nothing there
    const uint16_t held = HeldBits();
    const uint8_t heldWritten = static_cast<uint8_t>(written & (lane ? held >> 8 : held & 0xFF));
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    // A row that places the data through a map on the part: no cell holds
    // a chip address's datum; the read gives it back.
    if (def != nullptr && def->PlacesByMap) return {heldWritten, false};
    // Cells the part keeps in its own layout (option areas behind the code);
    // a byte between them no cell holds, and a read leaves it.
    if (part.facts->ownLayoutFrom != 0 && address >= part.facts->ownLayoutFrom) {
        const auto* areas = sim::SeatedModel<sim::OptionAreaChip>(&chip);
        if (areas != nullptr && areas->BitsAt(static_cast<uint32_t>(b)) == 0) return left;
        return {heldWritten, false};
    }
    // The text-ID configuration devices keep four option bits at the range's
    // last address; its high four read 1.
    if (CurrentAlgorithm == 33 && address == DeviceEnd) return {static_cast<uint8_t>(written | 0xF0), false};
    // A part whose last program word holds the maker's calibration value
    // (the catalog's PIC facts): Program leaves it, Read returns the part's.
    static const sim::PartFacts* picOf = nullptr;
    static const sim::PicFacts* pic = nullptr;
    if (picOf != part.facts.get()) pic = sim::FactsAs<sim::PicFacts>(picOf = part.facts.get());
    if (pic != nullptr && pic->calibration != 0 && address + 1 == pic->codeWords) return partHolds;
    // A register byte the row programs with bits of its own: the part's cell
    // holds more than the datum, a read gives the datum.
    if (def != nullptr && def->RegisterByteFromEnd != 0 && address + def->RegisterByteFromEnd == DeviceSize)
        return {written, false};
    // The clocked-bus parts cannot be programmed: Read fills bytes 300h-7FFh
    // from the part and leaves the rest.
    if (CurrentAlgorithm == 145) return b >= 0x300 && b < 0x800 ? partHolds : left;
    // The bootstrap-download parts: their EPROM, EEPROM and CONFIG register
    // (whose unimplemented bits read 0) are the map a read covers.
    // (The casts once per part: this runs for every byte.)
    static const sim::PartFacts* castFacts = nullptr;
    static const sim::Hc05BootFacts* bootFacts = nullptr;
    static const sim::Hc11BootFacts* hc11Facts = nullptr;
    static const sim::SeqClockMcuFacts* clockFacts = nullptr;
    static const sim::LoaderMcuFacts* loaderFacts = nullptr;
    static const sim::St62SerialFacts* st62Facts = nullptr;
    static const sim::JtagMemoryFacts* jtagFacts = nullptr;
    static const sim::WordBusMcuFacts* wordFacts = nullptr;
    if (castFacts != part.facts.get()) {
        castFacts = part.facts.get();
        bootFacts = sim::FactsAs<sim::Hc05BootFacts>(castFacts);
        hc11Facts = sim::FactsAs<sim::Hc11BootFacts>(castFacts);
        clockFacts = sim::FactsAs<sim::SeqClockMcuFacts>(castFacts);
        loaderFacts = sim::FactsAs<sim::LoaderMcuFacts>(castFacts);
        st62Facts = sim::FactsAs<sim::St62SerialFacts>(castFacts);
        jtagFacts = sim::FactsAs<sim::JtagMemoryFacts>(castFacts);
        wordFacts = sim::FactsAs<sim::WordBusMcuFacts>(castFacts);
    }
    // The part's configuration-done flag: its programming flow clears it
    // last, and a read shows it set.
    if (const sim::JtagMemoryFacts* jtag = jtagFacts; jtag && jtag->doneFlagMask != 0 && address == jtag->doneFlagAddress)
        return {static_cast<uint8_t>(heldWritten | jtag->doneFlagMask), true, heldWritten & ~jtag->doneFlagMask};
    // The sequential-clock parts hold cells in their windows only; a read
    // gives nothing outside them.
    if (const sim::SeqClockMcuFacts* clock = clockFacts) {
        bool mapped = false;
        for (const auto& w : clock->windows) mapped = mapped || (b >= w.first && b <= w.last);
        if (!mapped) return left;
    }
    // The 16-bit word-bus parts hold words from their first program word
    // on; a read gives nothing below it.
    if (wordFacts != nullptr && address < wordFacts->firstWord) return left;
    // The loader parts: their windows are the map a read covers.
    if (const sim::LoaderMcuFacts* loader = loaderFacts) {
        bool mapped = false;
        for (const auto& w : loader->windows) mapped = mapped || (b >= w.first && b <= w.last);
        if (!mapped) return left;
    }
    if (const sim::Hc05BootFacts* boot = bootFacts) {
        bool mapped = false;
        for (const auto* list : {&boot->eprom, &boot->eeprom})
            for (const auto& r : *list) mapped = mapped || (b >= r.first && b <= r.last);
        if (!mapped) return left;
    }
    if (const sim::Hc11BootFacts* boot = hc11Facts) {
        // A CONFIG whose implemented bits are the erased ones needs no
        // program: its cell may keep its unimplemented bits erased too.
        if (boot->configAt >= 0 && b == static_cast<uint64_t>(boot->configAt))
            return {static_cast<uint8_t>(written & boot->configMask),
                    (written & boot->configMask) != (CellByte(BlankPart(part), address, lane) & boot->configMask)};
        bool mapped = false;
        for (const auto* list : {&boot->eprom, &boot->eeprom})
            for (const auto& r : *list) mapped = mapped || (b >= r.first && b <= r.last);
        if (!mapped) return left;
    }
    // The serial EPROM parts: their EPROM, less the reserved areas, is the
    // map a read covers.
    if (const sim::St62SerialFacts* eprom = st62Facts) {
        if (b >= eprom->words || !sim::St62SerialChip::EpromCell(*eprom, static_cast<uint32_t>(b))) return left;
    }
    return {heldWritten, true};
}

// A stretch of chip addresses, both ends included.
struct CellWindow {
    uint32_t first, last;
    uint32_t Size() const { return last - first + 1; }
};

// The stretches of chip addresses base..top where the catalog part has cells
// a run of the current device reaches (its memory map: EPROM and EEPROM
// windows, program words from the first the part holds), in address order:
// every address but those where a read leaves the buffer as it was. A range
// outside them checks no cell. Parts of more than 64 K addresses without
// such a map hold cells throughout.
inline std::vector<CellWindow> CellWindows(const sim::CatalogPart& part, uint32_t base, uint32_t top, unsigned unit) {
    const sim::PartFacts* f = part.facts.get();
    const bool mapped = sim::FactsAs<sim::Hc05BootFacts>(f) || sim::FactsAs<sim::Hc11BootFacts>(f) ||
                        sim::FactsAs<sim::SeqClockMcuFacts>(f) || sim::FactsAs<sim::LoaderMcuFacts>(f) ||
                        sim::FactsAs<sim::St62SerialFacts>(f) || sim::FactsAs<sim::WordBusMcuFacts>(f);
    if (!mapped && top - base >= 0x10000) return {{base, top}};
    static const sim::CatalogPart* cachedPart = nullptr;
    static uint32_t cachedBase = 0, cachedTop = 0, cachedRow = 0;
    static std::vector<CellWindow> cached;
    if (cachedPart == &part && cachedBase == base && cachedTop == top && cachedRow == CurrentAlgorithm) return cached;
    const sim::CatalogChip& blank = BlankPart(part);
    std::vector<CellWindow> v;
    for (uint64_t a = base; a <= top; ++a) {
        bool cell = false;
        for (unsigned lane = 0; lane < unit && !cell; ++lane) {
            // Where the part holds nothing, the read gives the buffer's own
            // byte back, whatever it is.
            const size_t b = static_cast<size_t>(a - base) * unit + lane;
            cell = ExpectedAt(b, 0, part, blank, base, unit, 0x5A).value != 0x5A ||
                   ExpectedAt(b, 0, part, blank, base, unit, 0xA5).value != 0xA5;
        }
        if (!cell) continue;
        if (!v.empty() && v.back().last + uint64_t{1} == a)
            v.back().last = static_cast<uint32_t>(a);
        else
            v.push_back({static_cast<uint32_t>(a), static_cast<uint32_t>(a)});
    }
    // A part whose cells no run reaches at their addresses: its layout whole.
    if (v.empty()) v.push_back({base, top});
    cachedPart = &part;
    cachedBase = base;
    cachedTop = top;
    cachedRow = CurrentAlgorithm;
    cached = v;
    return v;
}

// Whether start..end meets a cell of the part: one its cells check at its
// address (`checked` of them), or, where the device reads, any of the
// part's `windows` (cells it keeps in its own layout, such as option areas,
// are checked through the read). A range that meets none proves nothing.
inline bool RangeMeetsCells(const std::vector<CellWindow>& windows, const sim::CatalogChip& chip, uint32_t start,
                            uint32_t end, size_t checked, bool reads) {
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    if (checked > 0 || chip.Words() == 0 || (def != nullptr && def->PlacesByMap)) return true;
    if (!reads) return false;
    for (const CellWindow& w : windows)
        if (w.first <= end && w.last >= start) return true;
    return false;
}

// The largest of `windows` (the first of equal ones).
inline CellWindow LargestWindow(const std::vector<CellWindow>& windows) {
    CellWindow w = windows.front();
    for (const CellWindow& x : windows)
        if (x.Size() > w.Size()) w = x;
    return w;
}

// A byte that is neither `a` nor `b`: what a buffer holds before a read where
// the part holds `a` (and `b` blank), so a read that leaves it fails.
inline uint8_t Unlike(uint8_t a, uint8_t b) {
    for (const uint8_t c : {uint8_t{0xA5}, uint8_t{0x3C}, uint8_t{0xC3}})
        if (c != a && c != b) return c;
    return 0x69;
}

// Fills the `bytes` buffer bytes from `at` (the range from chip address
// `start`) before a read: where the part holds a datum, with a byte that is
// neither that datum nor the blank cell's; where it holds nothing (the read
// leaves the buffer), with `fill`. `expect(address, lane, f)` is what the read
// gives with a buffer byte `f` there.
template <class Expect>
inline void FillUnlikeThePart(uint8_t* at, size_t bytes, uint32_t start, unsigned unit, const sim::CatalogPart& part,
                              uint8_t fill, Expect expect) {
    const sim::CatalogChip& blank = BlankPart(part);
    const uint8_t other = static_cast<uint8_t>(~fill);
    for (size_t i = 0; i < bytes; ++i) {
        const uint32_t a = start + static_cast<uint32_t>(i / unit);
        const unsigned lane = static_cast<unsigned>(i % unit);
        const Expected e = expect(a, lane, fill);
        // (A read that leaves the buffer gives the fill back: only then the
        // second look.)
        const bool left = e.value == fill && expect(a, lane, other).value == other;
        at[i] = left ? fill : Unlike(e.value, CellByte(blank, a, lane));
    }
}

// After a read: the first of the range's `bytes` buffer bytes from `first`
// (chip addresses from `start`, `unit` bytes each) that does not hold what
// expect(address, lane) gives, or of the second image right after them that
// does not hold `taken`, described; "" when every byte does.
template <class Expect>
std::string ReadBackMismatch(const uint8_t* buffer, size_t first, size_t bytes, uint32_t start, unsigned unit,
                             Expect&& expect, const std::vector<uint8_t>& taken) {
    char m[112] = "";
    for (size_t i = 0; i < bytes; ++i) {
        const Expected e = expect(start + static_cast<uint32_t>(i / unit), static_cast<unsigned>(i % unit));
        if (buffer[first + i] == e.value) continue;
        std::snprintf(m, sizeof m, " mismatch at buffer %zXh: %02Xh read, %02Xh expected", first + i, buffer[first + i],
                      e.value);
        return m;
    }
    for (size_t i = 0; i < taken.size(); ++i) {
        if (buffer[first + bytes + i] == taken[i]) continue;
        std::snprintf(m, sizeof m, " second image at buffer %zXh: %02Xh read, %02Xh programmed", first + bytes + i,
                      buffer[first + bytes + i], taken[i]);
        return m;
    }
    return "";
}

// The first byte of `image` (the device's layout from chip address `base`)
// whose cell in `chip` does not hold it where the part's layout says a cell
// holds it, described; "" when every such cell does. `blankInstead`: the
// cells must be blank instead (after an erase). `what` names the check.
inline std::string CellsHold(const sim::CatalogChip& chip, const sim::CatalogPart& part, const std::vector<uint8_t>& image,
                      uint32_t base, unsigned unit, const char* what, bool blankInstead = false) {
    if (chip.Words() == 0) return "";
    const sim::CatalogChip& blank = BlankPart(part);
    for (size_t b = 0; b < image.size(); ++b) {
        const Expected e = ExpectedAt(b, image[b], part, chip, base, unit, 0x5A);
        if (!e.programmed) continue;
        const uint32_t a = base + static_cast<uint32_t>(b / unit);
        const unsigned lane = static_cast<unsigned>(b % unit);
        const uint8_t want = blankInstead ? CellByte(blank, a, lane) : e.cell >= 0 ? static_cast<uint8_t>(e.cell) : e.value;
        if (const uint8_t has = CellByte(chip, a, lane); has != want) {
            char m[128];
            std::snprintf(m, sizeof m, " %s: cell %Xh%s holds %02Xh, %02Xh %s", what, a, unit > 1 ? (lane ? "H" : "L") : "",
                          has, want, blankInstead ? "blank" : "written");
            return m;
        }
    }
    return "";
}

// The buffer bytes a run of the current device covers (a PLD: its fuse
// map's bytes). A row whose range starts above 0 (the code at the top of the
// space) holds the buffer from its start on; a selection that narrows the
// buffer range (a window of the chip on an adapter) keeps it. A byte- or
// word-per-address part from address 0 takes the first `most` bytes (0: all)
// as a user sets a shorter range; other layouts, and rows that refuse an end
// below the top, keep their whole range.
inline size_t RangeBytes(bool pld, size_t most, std::string& line) {
    size_t bytes = pld ? (DeviceSize + 7) / 8 : BufferByteSize - std::min(BufferStart, BufferByteSize);
    if (!pld && WordMode == 0 && BufferStart == 0 && BufferEnd + size_t{1} < bytes) bytes = BufferEnd + size_t{1};
    const size_t n = most & ~size_t{1};
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    const bool wholeOnly = def != nullptr && def->EndRefusal != nullptr;
    if (!pld && !wholeOnly && WordMode == 0 && DeviceStart == 0 && BufferStart == 0 && DataWidth % 8 == 0 && n > 0 &&
        bytes > n) {
        bytes = n;
        BufferEnd = static_cast<uint32_t>(n - 1);
        DeviceEnd = static_cast<uint32_t>(DataWidth > 8 ? n / 2 - 1 : n - 1);
        line += " (first " + std::to_string(n / 1024) + " KB)";
    }
    return bytes;
}

// A device selected for one of the passes below, on the simulator installed.
struct PassDevice {
    const sim::CatalogPart* part = nullptr;
    bool rowModel = false;
    std::string line;
    // Set by the first failure, whose reason alone goes on the line.
    bool failed = false;
    void Fail(const std::string& why) {
        if (failed || why.empty()) return;
        line += " " + why;
        failed = true;
    }
};

// Selects the device for `pass`; false when the pass has nothing to run
// there (why in `skip`, for the test to skip) or when the record fails
// against the catalog part (a failure, counted).
inline bool Ready(PassDevice& p, const LibraryDevice& d, size_t index, const char* pass, std::string& skip) {
    DeviceSection = d.section;
    ExpectedMakerId = 0;
    ExpectedDeviceId = 0;
    if (SetCurrentDevice(d.record) != 1) {
        ADD_FAILURE() << d.maker << " " << d.name << " not selected";
        return false;
    }
    p.part = sim::FindPart(d.maker, d.name);
    p.rowModel = p.part != nullptr && p.part->facts != nullptr && p.part->facts->followsRow;
    p.line = d.maker + " " + d.name + " row " + std::to_string(CurrentAlgorithm) +
             (p.rowModel ? " [model follows the row]" : "") + " " + pass + ":";
    std::string failure;
    if (!RowHasModule(CurrentAlgorithm)) {
        skip = p.line + " no module yet";
    } else if (SeatedSimChip() == nullptr) {
        failure = " no simulated part";
    } else if (const std::string why = Disagreement(p.part); !why.empty()) {
        failure = " record disagrees with the part: " + why;
    } else if (!(SupportedOperationMask & OpMaskProgram)) {
        skip = p.line + " no Program";
    } else if (const char* cap = std::getenv("VEXLOR_SWEEP_MAX_BYTES");
               cap && BufferByteSize > std::strtoul(cap, nullptr, 0)) {
        skip = p.line + " skipped (size)";
    } else {
        return true;
    }
    if (!failure.empty()) {
        std::printf("[device] %s%s\n", p.line.c_str(), failure.c_str());
        ADD_FAILURE() << p.line << failure;
        SweepSummary::Count(pass, index, p.rowModel, false);
    }
    return false;
}

// Reports a pass's line, counts it and fails the test with the log from
// `from` on when it failed.
inline void Report(const PassDevice& p, const char* pass, size_t index, bool failed, const RecordingUi& ui, size_t from,
            bool refused = false) {
    std::printf("[device] %s\n", p.line.c_str());
    const OpenFault* open = failed ? OpenFaultOf(CurrentAlgorithm, pass, p.line) : nullptr;
    SweepSummary::Count(pass, index, p.rowModel, !failed, refused, open != nullptr);
    if (open != nullptr) SweepSummary::OpenLines().push_back(p.line + " (open fault: " + open->what + ")");
    if (!failed || open != nullptr) return;
    std::string log;
    for (size_t i = from; i < ui.Log.size(); ++i) log += ui.Log[i] + "\n";
    ADD_FAILURE() << p.line << "\n" << log;
}

// Whether a socket pin carried a live supply after any register write or
// latch bit while it was attached.
class SupplyWatch : public sim::SimComponent {
public:
    bool OnWrite(sim::SimProgrammer& p, uint8_t, uint8_t) override { return Look(p); }
    bool OnLatchBit(sim::SimProgrammer& p, uint8_t, uint8_t, bool) override { return Look(p); }
    uint32_t HeardReads(const sim::SimProgrammer&) const override { return 0; }
    bool switchedOn = false;

private:
    bool Look(const sim::SimProgrammer& p) {
        if (const sim::Electrical* e = sim::Electrical::Find(p); e != nullptr && !e->SuppliedPins().empty())
            switchedOn = true;
        return false;
    }
};


// The flash die of a seated command-set (JEDEC) flash part that holds the
// library address `a`, with `a` made the die's word address; nullptr for
// any other part.
inline sim::JedecFlashChip* JedecDieAt(sim::CatalogChip* chip, uint32_t& a) {
    auto* m = sim::SeatedModel<sim::FlashModuleChip>(chip);
    if (m == nullptr) return nullptr;
    if (m->Seated().byteMode) a >>= 1;
    for (sim::JedecFlashChip* die : m->Seated().dies) {
        if (a < die->Words()) return die;
        a -= static_cast<uint32_t>(die->Words());
    }
    return nullptr;
}

// The parts whose erase reports no error of its own, with a cell at chip
// address `a` that does not erase: a page-write flash word, an electrically
// erasable EPROM cell, a pin-driven EEPROM byte or a JTAG PROM cell, that
// keeps A5h through program and erase alike; a pulse-erased flash cell that
// holds 00h and programs but takes no erase pulse, so the erase passes its
// programming to 00h and runs to its pulse limit; a serial memory's bit 0
// stuck at 0. The datum the cell reads after the erase; -1 for a part of
// another model.
inline long LeaveUnerasedCell(sim::CatalogChip* chip, uint32_t a) {
    if (auto* m = sim::SeatedModel<sim::PageFlashChip>(chip)) {
        m->SetCell(a, 0xA5);
        m->StickWord(a);
        return 0xA5;
    }
    if (auto* m = sim::SeatedModel<sim::CommandFlashChip>(chip);
        m != nullptr && m->Config().scheme == sim::CommandScheme::Pulse) {
        m->SetCell(a, 0);
        m->SlowErase(a, std::numeric_limits<int>::max());
        return 0;
    }
    if (auto* m = sim::SeatedModel<sim::EpromChip>(chip); m != nullptr && m->Config().erasePulseUs != 0) {
        m->SetCell(a, 0xA5);
        m->StickCell(a);
        m->SetErasePeriodsNeeded(a, std::numeric_limits<int>::max());
        return 0xA5;
    }
    if (auto* m = sim::SeatedModel<sim::PinMemoryChip>(chip); m != nullptr && m->Config().kind == sim::PinMemoryKind::Eeprom) {
        m->SetCell(a, 0xA5);
        m->StickCell(a);
        return 0xA5;
    }
    if (auto* m = sim::SeatedModel<sim::JtagMemoryChip>(chip)) {
        m->SetCell(a, 0xA5);
        m->KeepThroughErase(a);
        return 0xA5;
    }
    if (auto* serial = sim::SeatedModel<sim::SerialChipBase>(chip)) {
        serial->StickBit(a, 0, 0);
        return 0xFE;
    }
    return -1;
}

// The parts that report a failed erase in their status and name no cell:
// a NAND block (the middle one) whose erase ends with the fail bit, a
// status-register flash byte at `a` that keeps A5h and ends the chip erase
// with the erase-error bit. False for a part of another model.
inline bool FailEraseByStatus(sim::CatalogChip* chip, uint32_t a) {
    if (auto* m = sim::SeatedModel<sim::NandChip>(chip)) {
        m->FailErase(m->Nand().blocks / 2);
        return true;
    }
    if (auto* m = sim::SeatedModel<sim::StatusPageFlashChip>(chip)) {
        m->SetCell(a, 0xA5);
        m->KeepThroughErase(a);
        return true;
    }
    return false;
}

// The simulator with a gang module of `sockets` sockets (0: the programmer's
// own socket), each holding a blank part of the device selected next.
inline void InstallSimulator(int sockets) {
    if (sockets > 0) setenv(kSimGangVariable, std::to_string(sockets).c_str(), 1);
    InstallPortIo(MakeProgramSimulator());
    unsetenv(kSimGangVariable);
}

// Whether the log from `from` on has a line with `text`.
inline bool Logged(const RecordingUi& ui, size_t from, const std::string& text) {
    for (size_t i = from; i < ui.Log.size(); ++i)
        if (ui.Log[i].find(text) != std::string::npos) return true;
    return false;
}

// The fuses of the current device that no cell of the part holds: Program
// and Verify refuse a file that sets one, and Read gives the part's 0 there.
inline std::vector<uint32_t> CelllessFuses() {
    std::vector<uint32_t> v;
    if (CurrentAlgorithm == 244 && DeviceVariant == 1 && DeviceSize > 14394) v.push_back(14394);
    if (CurrentAlgorithm == 245 && DeviceSize > 71648) v.push_back(71648);
    if (CurrentAlgorithm == 248 && DeviceSize > 14394) v.push_back(14394);
    return v;
}
inline void SetFuse(uint8_t* map, uint32_t n, bool on) {
    map[n / 8] = static_cast<uint8_t>(on ? map[n / 8] | (1u << (n % 8)) : map[n / 8] & ~(1u << (n % 8)));
}

// The first spot of a PLD device's placement table whose place on `chip`
// does not hold the fuse `image` (the fuse map's bytes) gives it, or with
// `blankInstead` what a blank part holds there, described; "" when every
// spot does.
inline std::string PldCellsHold(const placement::DeviceTable& table, const sim::CatalogChip& chip,
                                const sim::CatalogPart& part, const std::vector<uint8_t>& image, const char* what,
                                bool blankInstead = false) {
    for (const placement::DeviceSpot& s : table.spots) {
        if (s.fuse / 8 >= image.size()) continue;
        const int want = blankInstead ? s.value(&BlankPart(part)) : (image[s.fuse / 8] >> (s.fuse % 8)) & 1;
        const int has = s.value(&chip);
        if (has == want && has >= 0) continue;
        char m[192];
        if (has == -2) {
            std::snprintf(m, sizeof m, " %s: the placement table's model is not the part's", what);
        } else if (has < 0) {
            std::snprintf(m, sizeof m, " %s: fuse %u at %s: no cell there", what, s.fuse, s.place.c_str());
        } else {
            std::snprintf(m, sizeof m, " %s: fuse %u at %s holds %d, %d %s", what, s.fuse, s.place.c_str(), has, want,
                          blankInstead ? "blank" : "written");
        }
        return m;
    }
    return "";
}

// What the log from `from` on says after the row's `refusal` line that it
// could only know by reading the part (IsDatumLine). Empty when no such line
// follows (or the refusal was not said).
inline std::string DatumAfterRefusal(const RecordingUi& ui, size_t from, const char* refusal) {
    bool refused = false;
    for (size_t i = from; i < ui.Log.size(); ++i) {
        const std::string& l = ui.Log[i];
        if (refused && IsDatumLine(l)) return " \"" + l + "\" after the refusal";
        refused = refused || l.rfind(refusal, 0) == 0;
    }
    return "";
}

// One range start..end on a fresh part of device `index`, its data cut from
// a whole-layout image of seed `seed`, Buffer Start at the range's place:
// Program (with its verify) writes the range's cells at their chip addresses
// and no other cell (a range that meets no cell of the part fails: it would
// prove nothing), Read fills Buffer Start..Buffer End from a buffer that
// held there what the part does not, and leaves every other buffer byte as
// it was; a device without Read is checked on its cells alone. `refusal`: the line the row must refuse the
// range with before any supply is switched on, the part and the buffer left
// as they were (nullptr: the row serves it); `mayServe`: a row that declares
// the refusal may serve the range all the same (a part whose page is one
// byte).
inline void RunRange(RecordingUi& ui, const LibraryDevice& d, size_t index, const char* pass, uint32_t start,
                     uint32_t end, const char* refusal, uint32_t seed, bool mayServe = false) {
    InstallSimulator(0);
    PassDevice p;
    if (std::string skip; !Ready(p, d, index, pass, skip)) return;
    sim::SimProgrammer* simp = ProgramSimulator();
    sim::CatalogChip* chip = SeatedSimChip();
    const unsigned unit = DataWidth > 8 ? 2 : 1; // buffer bytes per chip address
    const uint32_t base = DeviceStart, bufferBase = BufferStart, top = DeviceEnd;
    char range[64];
    std::snprintf(range, sizeof range, " %Xh-%Xh", start, end);
    p.line += range;
    // The image of the whole layout as a user's file gives it, the range cut
    // from it.
    std::vector<uint8_t> whole(size_t{top - base + 1} * unit);
    FillRandom(whole.data(), whole.size(), static_cast<uint32_t>(index) + seed);
    ShapeData(CurrentAlgorithm, whole.data(), whole.size());
    const size_t offset = size_t{start - base} * unit, bytes = size_t{end - start + 1} * unit;
    DeviceStart = start;
    DeviceEnd = end;
    BufferStart = bufferBase + (start - base); // in the device's words, as the range
    const size_t first = size_t{BufferStart} * unit, size = std::max<size_t>(BufferByteSize, first + bytes);
    BufferEnd = static_cast<uint32_t>(first + bytes - 1);
    ASSERT_EQ(SelectBank(static_cast<uint32_t>(size - 1), 1), 1);
    SelectBank(0, 0);
    uint8_t* buffer = BufferImage();
    std::memset(buffer, kOther, size);
    std::copy(whole.begin() + static_cast<ptrdiff_t>(offset), whole.begin() + static_cast<ptrdiff_t>(offset + bytes),
              buffer + first);
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    const bool reads = (SupportedOperationMask & OpMaskRead) != 0;
    // Program alone where the row refuses: its blank check before would
    // switch the part on whatever Program does.
    BlankCheckBeforeProgram = refusal != nullptr ? 0 : 1;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    SupplyWatch watch;
    simp->AttachComponent(&watch);
    const size_t from = ui.Log.size();
    const int programmed = RunOperation(MainEngine, OpProgram);
    simp->DetachComponent(&watch);
    if (refusal != nullptr && !(mayServe && programmed == ResultOk)) {
        bool said = false;
        for (size_t i = from; i < ui.Log.size(); ++i) said = said || ui.Log[i].rfind(refusal, 0) == 0;
        p.line += programmed == ResultOk ? " served" : " refused";
        if (!said) p.line += std::string(" without the line \"") + refusal + "...\" (" + FirstError(ui, from) + ")";
        if (watch.switchedOn) p.line += " after a supply was switched on";
        const std::string written = CellsNotBlank(*chip, *p.part, base, std::min<size_t>(top - base + 1, 0x800),
                                                  "after the refusal");
        p.line += written;
        // Every other step the row offers runs over the range too: served,
        // or refused with the line and nothing after it that only a read
        // could tell (the part was not read). A Read the row serves (or
        // refuses) keeps to the range. The part holds nothing of the range
        // now: a Verify that ends ok reports a failure as success, unless
        // the range's data are what a blank part holds.
        std::string datum = DatumAfterRefusal(ui, from, refusal);
        const sim::CatalogChip& blank = BlankPart(*p.part);
        bool blankHoldsRange = true;
        for (size_t b = offset; blankHoldsRange && b < offset + bytes; ++b) {
            const Expected e = ExpectedAt(b, whole[b], *p.part, *chip, base, unit, kOther);
            blankHoldsRange = !(e.programmed || (def != nullptr && def->PlacesByMap)) ||
                              e.value == CellByte(blank, base + static_cast<uint32_t>(b / unit),
                                                  static_cast<unsigned>(b % unit));
        }
        struct Step {
            uint32_t bit;
            int op;
            const char* name;
        };
        constexpr Step steps[] = {
            {OpMaskVerify, OpVerify, "verify"}, {OpMaskBlankCheck, OpBlankCheck, "blank check"}, {OpMaskRead, OpRead, "read"}};
        bool verifiedNothing = false;
        for (const Step& s : steps) {
            if ((SupportedOperationMask & s.bit) == 0 || !datum.empty()) continue;
            const size_t at = ui.Log.size();
            const int r = RunOperation(MainEngine, s.op);
            p.line += std::string(", ") + s.name + (r == ResultOk ? " ok" : " fails");
            if (s.op == OpVerify && r == ResultOk && !blankHoldsRange) {
                p.line += " over a part that holds none of the range";
                verifiedNothing = true;
            }
            datum = DatumAfterRefusal(ui, at, refusal);
        }
        p.line += datum;
        const bool kept = std::all_of(buffer, buffer + first, [](uint8_t b) { return b == kOther; }) &&
                          std::all_of(buffer + first + bytes, buffer + size, [](uint8_t b) { return b == kOther; });
        if (!kept) p.line += " with the buffer outside the range changed";
        Report(p, pass, index,
               programmed == ResultOk || !said || watch.switchedOn || !written.empty() || !kept ||
                   !datum.empty() || verifiedNothing,
               ui, from, true);
        return;
    }
    p.line += programmed == ResultOk ? " program, verify ok" : " program, verify FAILED";
    bool failed = programmed != ResultOk;
    if (failed) p.line += " (" + FirstError(ui, from) + ")";
    auto expectWith = [&](uint32_t address, unsigned lane, uint8_t fill) {
        const size_t b = size_t{address - base} * unit + lane;
        return ExpectedAt(b, whole[b], *p.part, *chip, base, unit, fill);
    };
    auto expect = [&](uint32_t address, unsigned lane) { return expectWith(address, lane, kOther); };
    // The part's own cells: the range at its chip addresses, blank from the
    // row's first address up to the start and in the 16 just above the end.
    const sim::CatalogChip& blank = BlankPart(*p.part);
    size_t checked = 0; // cells of the range checked
    for (uint32_t a = base; !failed && chip->Words() > 0 && a <= std::min(top, end + 16); ++a) {
        for (unsigned lane = 0; !failed && lane < unit; ++lane) {
            const Expected e = expect(a, lane);
            if (!e.programmed) continue;
            checked += a >= start && a <= end;
            const uint8_t has = CellByte(*chip, a, lane);
            const bool inRange = a >= start && a <= end;
            const uint8_t want = inRange ? (e.cell >= 0 ? static_cast<uint8_t>(e.cell) : e.value) : CellByte(blank, a, lane);
            if (has != want) {
                char m[128];
                std::snprintf(m, sizeof m, " cell %Xh%s holds %02Xh, %02Xh %s", a, unit > 1 ? (lane ? "H" : "L") : "",
                              has, want, inRange ? "written" : a < start ? "blank below the start" : "blank above the end");
                p.line += m;
                failed = true;
            }
        }
    }
    if (!failed && !RangeMeetsCells(CellWindows(*p.part, base, top, unit), *chip, start, end, checked, reads)) {
        p.line += " (the range meets no cell of the part)";
        failed = true;
    }
    if (!failed && !reads) p.line += " (no Read: cells checked)";
    if (!failed && reads) {
        // A second image the row keeps from buffer byte Chip End + 1, right
        // after the range's bytes here (its declaration gives the length),
        // is read back from there too.
        const size_t second = def != nullptr && def->ImageAfterRange != nullptr ? def->ImageAfterRange() : 0;
        if (second != 0 && first + bytes != (size_t{end} + 1) * unit) {
            p.line += " (the range's bytes do not end at Chip End: the pass cannot place the second image)";
            failed = true;
        }
        const size_t after = std::min(size, first + bytes + second);
        const std::vector<uint8_t> taken(buffer + first + bytes, buffer + after);
        // Before the read, the range's bytes hold what the part does not
        // hold there, and so does the second image's place.
        std::memset(buffer, kOther, size);
        FillUnlikeThePart(buffer + first, bytes, start, unit, *p.part, kOther, expectWith);
        for (size_t i = 0; i < taken.size(); ++i) buffer[first + bytes + i] = Unlike(taken[i], 0xFF);
        const size_t at = ui.Log.size();
        const int r = RunOperation(MainEngine, OpRead);
        p.line += r == ResultOk ? " read ok" : " read FAILED (" + FirstError(ui, at) + ")";
        failed = r != ResultOk;
        if (const std::string m = failed ? "" : ReadBackMismatch(buffer, first, bytes, start, unit, expect, taken);
            !m.empty()) {
            p.line += m;
            failed = true;
        }
        // Every other buffer byte, below Buffer Start and past the range.
        if (const std::string w = failed ? "" : ReadWroteOutside(buffer, 0, size, [&](size_t i) {
                return i < first || i >= after;
            }, "outside Buffer Start..Buffer End");
            !w.empty()) {
            p.line += w;
            failed = true;
        }
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
        p.line += " violation: " + v;
        failed = true;
    }
    Report(p, pass, index, failed, ui, from);
}


// `image` (random data, or a fuse map's bytes) made into what the current
// device's row accepts (a fuse map: `holdable`, none of the fuses without a
// cell set; the bits past the map's last fuse 0).
inline void ShapeUserImage(bool pld, std::vector<uint8_t>& image, bool holdable = false) {
    if (pld) {
        ShapeFuses(CurrentAlgorithm, image.data(), DeviceSize);
        if (holdable)
            for (const uint32_t n : CelllessFuses()) SetFuse(image.data(), n, false);
        if (DeviceSize % 8 && !image.empty()) image.back() &= static_cast<uint8_t>((1u << (DeviceSize % 8)) - 1);
    } else {
        ShapeData(CurrentAlgorithm, image.data(), image.size());
    }
}

// A user's image of `bytes` bytes from seed `seed`, made into what the
// current device's row accepts (a PLD: its fuse map; `holdable`: none of the
// fuses without a cell set), put into the fuse map or the buffer from Buffer
// Start; the image as the buffer then holds it.
inline std::vector<uint8_t> LoadUserImage(bool pld, size_t bytes, uint32_t seed, bool holdable = false) {
    std::vector<uint8_t> image(bytes);
    FillRandom(image.data(), bytes, seed);
    ShapeUserImage(pld, image, holdable);
    uint8_t* buffer = pld ? FuseMap() : BufferImage() + BufferStart;
    std::copy(image.begin(), image.end(), buffer);
    std::memcpy(image.data(), buffer, bytes);
    return image;
}

} // namespace sweep
