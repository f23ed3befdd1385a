// Every device of the built library through the operation driver, on the
// simulator as the program makes it (PROGRAMMER_PORT=sim): the rack seats the
// catalog's part at each selection, and the device's own operations run
// against it: program from random data with its blank check and verify, read
// back into a cleared buffer and compared, erase and blank check again, each
// as the record offers it. One line per device names its result; a device
// whose part has no datasheet and follows the algorithm row is marked, and
// listed again at the end apart from the others: its pass checks the row
// against its own reading, not against a chip.
// VEXLOR_SWEEP_MAX_BYTES=n leaves out the devices of more than n bytes (for a
// quick run by hand); VEXLOR_SWEEP_RANGE=n runs a larger device over its
// first n bytes only (the sanitizer build's sample: every row's code paths,
// not every cell).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
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
#include "engine/UiBridge.h"
#include "logic/AddressListPld.h"
#include "logic/InstallLogicRows.h"
#include "mcu/InstallMcuRows.h"
#include "memory/InstallMemoryRows.h"
#include "platform/Tone.h"
#include "shell/SimSetup.h"
#include "sim/Boot05Chip.h"
#include "sim/Hc11BootChip.h"
#include "sim/Catalog.h"
#include "sim/SimProgrammer.h"
#include "tools/PartAgreement.h"

namespace {

std::string ProgramFolder() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().string(); }

struct LibraryDevice {
    uint32_t section = 0;
    DeviceRecord record{};
    std::string maker, name;
    uint32_t row = 0;
    uint64_t bytes = 0; // the image it takes (a PLD: fuses)
};

// Every record of the built library, in library order.
std::vector<LibraryDevice> LibraryDevices() {
    ResetProgramState();
    ProgramDirectory = ProgramFolder();
    LibraryFileName = "krd.dat";
    std::vector<LibraryDevice> out;
    for (const DeviceRecord& r : ReadLibraryRecords()) {
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

const std::vector<LibraryDevice>& Devices() {
    static const std::vector<LibraryDevice> devices = LibraryDevices();
    return devices;
}

// Every device, or with VEXLOR_SWEEP_SAMPLE=1 the smallest of each row (the
// sample the sanitizer build runs).
std::vector<size_t> DeviceIndexes() {
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

bool RowHasModule(uint32_t row) {
    const AlgorithmEntry& e = AlgorithmTable[row];
    return e.Read != AlgNoRead || e.Program != AlgNoOperation || e.Erase != AlgNoOperation ||
           e.Secure != AlgNoOperation;
}

class EveryDevice : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override {
        ResetProgramState();
        InstallMemoryAlgorithms();
        InstallLogicAlgorithms();
        InstallMcuAlgorithms();
        InstallUiBridge(&ui);
        SetToneSink([](int, int) {});
        ProgramDirectory = ProgramFolder();
        LibraryFileName = "krd.dat";
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

// Random bytes from a seed, the same for every run of a device.
void FillRandom(uint8_t* p, size_t n, uint32_t seed) {
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        p[i] = static_cast<uint8_t>(x >> 16);
    }
}

// Random data made into what the device's row accepts as a user's image.
void ShapeData(uint32_t row, uint8_t* p, size_t bytes) {
    switch (row) {
    case 62: // the configuration-done flag (bit 5 of byte 3) reads set; the row programs it last
        if (bytes > 3) p[3] |= 0x20;
        break;
    case 120: // the 68HC711 CONFIG byte (103Fh, or 0 on some variants) reads its upper four bits 0
        if (bytes > 0x103F) p[0x103F] &= 0x0F, p[0] &= 0x0F;
        break;
    case 110: // PIC program words: 12 bits on the 12-bit cores, 14 on the others
    case 114:
    case 111:
    case 112:
    case 115:
    case 116:
    case 121: {
        const uint8_t high = row == 110 || row == 114 ? 0x0F : 0x3F;
        for (size_t i = 1; i < bytes; i += 2) p[i] &= high;
        break;
    }
    case 150: // the option areas keep only their cells' bits; a read leaves the bytes between them
    case 151: {
        const bool wide = row == 151;
        const size_t base = wide ? 0x10000 : 0x8000;
        for (size_t i = base; i < bytes; ++i) {
            const size_t o = wide ? i - base : i - 0x8040;
            uint8_t keep = 0;
            if (i >= (wide ? base : 0x8040) && o < (wide ? 0x200u : 0x180u)) keep = (o & 15) < (wide ? 9u : 8u) ? 7 : 3;
            const size_t a = i - base;
            if (a >= (wide ? 0x260u : 0x1E0u) && a < (wide ? 0x266u : 0x1E5u)) keep = a % 16 < 4 ? 0xFF : 7;
            if (a >= (wide ? 0x250u : 0x1D0u) && a < (wide ? 0x254u : 0x1D4u)) {
                const uint8_t b0 = wide ? (DeviceVariant == 0 ? 0x0F : 0x0D) : (DeviceVariant == 0 ? 7 : 5);
                const uint8_t masks[4] = {b0, wide ? uint8_t{0x0F} : b0, 0x0B, wide ? uint8_t{7} : uint8_t{5}};
                keep = masks[a % 16];
            }
            p[i] = keep == 0 ? 0x5A : static_cast<uint8_t>(p[i] & keep);
            if (wide && a == 0x253) p[i] |= 2; // the security bit is left unprogrammed
        }
        break;
    }
    case 186: // ECON: Program always sets bit 7 and clears the security bit 5, Read returns both cleared
        if (DeviceSize >= 9 && bytes >= DeviceSize) p[DeviceSize - 9] &= 0x5F;
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
}

// A random fuse map made into what the device's row accepts as a user's file.
void ShapeFuses(uint32_t row, uint8_t* map, uint32_t fuses) {
    auto set = [&](uint32_t fuse, bool on) {
        if (fuse >= fuses) return;
        map[fuse / 8] = static_cast<uint8_t>(on ? map[fuse / 8] | (1u << (fuse % 8)) : map[fuse / 8] & ~(1u << (fuse % 8)));
    };
    switch (row) {
    case 248: // a number of the JEDEC map between two rows' cells: no cell
        set(14394, false);
        if (DeviceVariant == 2 || DeviceVariant == 6) set(14499, false); // the B parts have no fuse 14499
        break;
    case 245: // no cell for fuse 71648; fuse 44675's word is the security cell's place
        set(71648, false);
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

// The devices that ran against a part whose facts follow the algorithm row,
// with their results, listed apart when the run ends.
class RowModelSummary : public ::testing::Environment {
public:
    static std::vector<std::string>& Lines() {
        static std::vector<std::string> lines;
        return lines;
    }
    void TearDown() override {
        const std::vector<std::string>& lines = Lines();
        if (lines.empty()) return;
        std::printf("[row model] %zu device(s) ran against parts without a datasheet whose facts follow the "
                    "algorithm row; a pass there is no proof against a chip:\n",
                    lines.size());
        for (const std::string& l : lines) std::printf("[row model]   %s\n", l.c_str());
    }
};
[[maybe_unused]] const auto* const kRowModelSummary = ::testing::AddGlobalTestEnvironment(new RowModelSummary);

// A violation a row's own sequence causes on every part, and why it stays.
const char* ExpectedViolation(uint32_t row) {
    // The two-wire read acknowledges its last byte, so the part drives SDA
    // for a next byte when the stop condition raises it.
    if (row == 81) return "drives against the logic driver";
    return nullptr;
}

// The first violation the run caused other than the one its row's own
// sequence always causes; "" when none.
std::string UnexpectedViolation(const sim::SimProgrammer& simp) {
    const char* expected = ExpectedViolation(CurrentAlgorithm);
    for (const std::string& v : simp.Violations()) {
        if (expected == nullptr || v.find(expected) == std::string::npos) return v;
    }
    return "";
}

TEST_P(EveryDevice, Works) {
    const LibraryDevice& d = Devices()[GetParam()];
    DeviceSection = d.section;
    // A PLD record carries no identity codes (selection keeps those it finds).
    ExpectedMakerId = 0;
    ExpectedDeviceId = 0;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    const sim::CatalogPart* part = sim::FindPart(d.maker, d.name);
    const bool rowModel = part != nullptr && part->facts != nullptr && part->facts->followsRow;
    std::string line = d.maker + " " + d.name + " row " + std::to_string(CurrentAlgorithm) +
                       (rowModel ? " [model follows the row]" : "") + ":";
    if (!RowHasModule(CurrentAlgorithm)) {
        std::printf("[device] %s no module yet\n", line.c_str());
        return;
    }
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    if (SeatedSimChip() == nullptr) {
        std::printf("[device] %s no simulated part\n", line.c_str());
        ADD_FAILURE() << line << " no simulated part";
        return;
    }
    // The record must describe the part: a wrong size or identity code fails
    // here even where a run over the record's range would pass.
    if (const std::string why = Disagreement(part); !why.empty()) {
        std::printf("[device] %s record disagrees with the part: %s\n", line.c_str(), why.c_str());
        ADD_FAILURE() << line << " record disagrees with the part: " << why;
        return;
    }
    if (const char* cap = std::getenv("VEXLOR_SWEEP_MAX_BYTES"); cap && BufferByteSize > std::strtoul(cap, nullptr, 0)) {
        std::printf("[device] %s skipped (size)\n", line.c_str());
        return;
    }
    const bool pld = d.section == SectionPld;
    // A row whose range starts above 0 (the code at the top of the space)
    // holds the buffer from its start on.
    size_t bytes = pld ? (DeviceSize + 7) / 8 : BufferByteSize - std::min(BufferStart, BufferByteSize);
    // A device whose selection narrows the buffer range (a window of the
    // chip on an adapter) takes that range.
    if (!pld && WordMode == 0 && BufferStart == 0 && BufferEnd + size_t{1} < bytes) bytes = BufferEnd + size_t{1};
    // A byte-per-address or word-per-address part from address 0 can take a
    // shorter range as a user sets one; other layouts keep their whole range.
    if (const char* range = std::getenv("VEXLOR_SWEEP_RANGE"); range && !pld && WordMode == 0 && DeviceStart == 0 &&
                                                                   BufferStart == 0 && DataWidth % 8 == 0) {
        const size_t n = std::strtoul(range, nullptr, 0) & ~size_t{1};
        if (n > 0 && bytes > n) {
            bytes = n;
            BufferEnd = static_cast<uint32_t>(n - 1);
            DeviceEnd = static_cast<uint32_t>(DataWidth > 8 ? n / 2 - 1 : n - 1);
            line += " (first " + std::to_string(n / 1024) + " KB)";
        }
    }
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    SelectBank(0, 0);
    std::vector<uint8_t> image(bytes);
    FillRandom(image.data(), bytes, static_cast<uint32_t>(GetParam()) + 1);
    if (pld) {
        ShapeFuses(CurrentAlgorithm, image.data(), DeviceSize);
    } else {
        ShapeData(CurrentAlgorithm, image.data(), bytes);
    }
    uint8_t* buffer = pld ? FuseMap() : BufferImage() + BufferStart;
    std::copy(image.begin(), image.end(), buffer);
    if (pld && DeviceSize % 8) buffer[bytes - 1] &= static_cast<uint8_t>((1u << (DeviceSize % 8)) - 1);
    std::memcpy(image.data(), buffer, bytes);

    // Program as a user runs it: the blank check before and the verify
    // after come with it where the device offers them.
    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    bool failed = false;
    auto step = [&](const char* what, uint32_t mask, int op) {
        if (failed || !(SupportedOperationMask & mask)) return;
        const size_t from = ui.Log.size();
        int r = RunOperation(MainEngine, op);
        // A signature that does not match is a failure, whatever the answer
        // to the question that follows it.
        bool signature = false;
        for (size_t i = from; i < ui.Log.size(); ++i) {
            signature = signature || ui.Log[i] == "Incorrect device ID." || ui.Log[i] == "Device secured or incorrect device.";
        }
        if (signature) r = ResultFailed;
        line += std::string(" ") + what + (r == ResultOk ? " ok" : signature ? " FAILED (signature)" : " FAILED");
        if (r == ResultOk) return;
        failed = true;
        for (size_t i = from; i < ui.Log.size(); ++i) {
            if (ui.Log[i].find("error") != std::string::npos || ui.Log[i].find("Error") != std::string::npos) {
                line += " (" + ui.Log[i] + ")";
                break;
            }
        }
    };
    step(SupportedOperationMask & OpMaskBlankCheck ? "blank check, program, verify" : "program, verify",
         OpMaskProgram, OpProgram);
    if (!failed && (SupportedOperationMask & OpMaskRead)) {
        std::memset(buffer, pld ? 0 : 0x5A, bytes);
        step("read", OpMaskRead, OpRead);
        // A part narrower than a byte holds the low bits of each byte only.
        const uint8_t held = !pld && DataWidth > 0 && DataWidth < 8 ? static_cast<uint8_t>((1u << DataWidth) - 1) : 0xFF;
        auto expected = [&](size_t i) {
            // The text-ID configuration devices keep four option bits in their
            // last byte; its high four read 1.
            if (CurrentAlgorithm == 33 && i == DeviceEnd) return static_cast<uint8_t>(image[i] | 0xF0);
            // The 64 KB W78E5x part answers at FFFFh with its special
            // register, programmed from the options, not from the buffer.
            if (CurrentAlgorithm == 122 && i == 0xFFFF) return buffer[i];
            // The one-time 8-pin PICs keep their oscillator calibration in
            // the last program word: Program leaves it, Read returns the part's.
            if ((CurrentAlgorithm == 114 || CurrentAlgorithm == 115) && i >= bytes - 2) return buffer[i];
            // The 16-bit word-bus parts hold words from 1000h on: Read passes
            // over buffer words 0-FFFh.
            if (CurrentAlgorithm == 144 && i < 0x2000) return buffer[i];
            // The clocked-bus parts cannot be programmed: Read fills bytes
            // 300h-7FFh from the blank part and leaves the rest.
            if (CurrentAlgorithm == 145) return i >= 0x300 && i < 0x800 ? uint8_t{0} : buffer[i];
            // The address-clock rows 133 and 147 read their two windows only:
            // the gaps keep the buffer's bytes.
            if (CurrentAlgorithm == 133 && i < 0xFF0 && (i < 0x700 || i > 0xF00)) return buffer[i];
            if (CurrentAlgorithm == 147 && i < 0xFF0 && (i < 0x100 || i > 0xEFF)) return buffer[i];
            // The bootstrap-download rows read their part's memory map only.
            if (const auto* boot = dynamic_cast<const sim::Boot05Facts*>(part->facts.get())) {
                bool mapped = false;
                for (const auto* list : {&boot->eprom, &boot->eeprom})
                    for (const auto& r : *list) mapped = mapped || (i >= r.first && i <= r.last);
                if (!mapped) return buffer[i];
            }
            if (const auto* boot = dynamic_cast<const sim::Hc11BootFacts*>(part->facts.get())) {
                bool mapped = static_cast<int64_t>(i) == boot->configAt;
                for (const auto* list : {&boot->eprom, &boot->eeprom})
                    for (const auto& r : *list) mapped = mapped || (i >= r.first && i <= r.last);
                if (!mapped) return buffer[i];
            }
            // The bootloader-stream rows 134 and 135 read their maps only.
            if (CurrentAlgorithm == 134 || CurrentAlgorithm == 135) {
                const bool v1 = CurrentAlgorithm == 134 && DeviceVariant == 1;
                const bool mapped =
                    (i >= 0x20 && i <= 0x4F) || (i >= 0x1FF0 && i <= 0x1FFF) ||
                    (CurrentAlgorithm == 135 ? i >= 0xA80 && i <= 0x1E80
                                             : (i >= 0x100 && i <= (v1 ? 0x900u : 0x12FFu)) || (!v1 && i == 0x1F00) ||
                                                   (DeviceVariant == 2 && i == 0x1EFF));
                if (!mapped) return buffer[i];
            }
            // The loader row 146 reads 0FFFh-1EFFh and 1FF4h-1FFFh only.
            if (CurrentAlgorithm == 146 && (i < 0xFFF || (i > 0x1EFF && i < 0x1FF4))) return buffer[i];
            // The serial EPROM row 180 reads its served pages only, less the
            // reserved areas.
            if (CurrentAlgorithm == 180) {
                const size_t first = DeviceVariant == 0 || DeviceVariant == 2                         ? 0xBC0
                                     : DeviceVariant == 1 || DeviceVariant == 3 || DeviceVariant == 5 ? 0x880
                                                                                                      : 0x080;
                const bool reserved = (i >= 0xFA0 && i <= 0xFEF) || (i >= 0xFF8 && i <= 0xFFB);
                if (i < first || i > 0xFFF || reserved) return buffer[i];
            }
            return static_cast<uint8_t>(image[i] & held);
        };
        for (size_t i = 0; !failed && i < bytes; ++i) {
            if (buffer[i] != expected(i)) {
                char m[96];
                std::snprintf(m, sizeof m, " mismatch at %zXh: %02Xh read, %02Xh written", i, buffer[i], image[i]);
                line += m;
                failed = true;
            }
        }
    }
    if (SupportedOperationMask & OpMaskErase) {
        step("erase", OpMaskErase, OpErase);
        // Rows 141, 137, 140 and 120 erase the EEPROM only; their EPROM (and
        // row 120's CONFIG) stays.
        if (CurrentAlgorithm != 141 && CurrentAlgorithm != 137 && CurrentAlgorithm != 140 && CurrentAlgorithm != 120)
            step("blank check", OpMaskBlankCheck, OpBlankCheck);
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
        line += " violation: " + v;
        failed = true;
    }
    std::printf("[device] %s\n", line.c_str());
    if (rowModel) RowModelSummary::Lines().push_back(line);
    if (failed) {
        std::string log;
        for (const auto& l : ui.Log) log += l + "\n";
        ADD_FAILURE() << line << "\n" << log;
    }
}

// The rows the memory family files install.
bool MemoryRow(uint32_t row) {
    static const std::vector<bool> rows = [] {
        ResetAlgorithmTable();
        InstallMemoryAlgorithms();
        std::vector<bool> v(AlgorithmRowCount);
        for (size_t r = 0; r < v.size(); ++r) v[r] = RowHasModule(static_cast<uint32_t>(r));
        ResetAlgorithmTable();
        InstallMemoryAlgorithms();
        InstallLogicAlgorithms();
        InstallMcuAlgorithms();
        return v;
    }();
    return row < rows.size() && rows[row];
}

// Rows that cannot start a range where the pass starts it, why, and the line
// each logs before anything is written (a row whose part has one-byte pages
// serves the start).
struct StartRefusal {
    uint32_t row;
    const char* why;
    const char* line; // the line's start
};
constexpr StartRefusal kStartRefusals[] = {
    {1, "page writes fill one page of the part", " Start address must be on a page boundary!"},
    {5, "page writes fill one page of the part", " Start address must be on a page boundary!"},
    {8, "page writes fill one page of the part", " Start address must be on a page boundary!"},
    {9, "page writes fill one page of the part", " Start address must be on a page boundary!"},
    {33, "the parts program from address 0 on", " Start address must be 0."},
    {37, "a write-buffer load fills one page of the part", " Start address must be on a page boundary!"},
    {39, "a write-buffer load fills one page of the part", " Start address must be on a page boundary!"},
    {54, "a write-buffer load fills one page of the part", " Start address must be on a page boundary!"},
    {74, "a page load fills one page of the part", " Start address must be on a page boundary!"},
    {73, "a page run fills one page of the part", " Start address must be on a page boundary!"},
    {42, "a page run fills one page of the part", " Start address must be on a page boundary!"},
    {23, "a page program fills one page of the part", " Start address "},
    {24, "a page program fills one page of the part", " Start address "},
    {30, "programs page after page from address 0", " Start address must be a multiple of"},
    {34, "programs 4-byte words one after the other from address 0", " Start address must be a multiple of"},
    {45, "a write command names an 8-byte sector and fills it from its first byte", "-Start address must be a multiple of 8!"},
    {77, "reads and writes whole pages", "Start address must be a multiple of the page size"},
    {83, "the block-0 map places whole blocks", "Start address must be a multiple of the block size"},
    {86, "the block-0 map places whole blocks", "Start address must be a multiple of the block size"},
};
const StartRefusal* StartRefusalOf(uint32_t row) {
    for (const StartRefusal& r : kStartRefusals)
        if (r.row == row) return &r;
    return nullptr;
}

// Every memory device over a range from an odd chip address, on a fresh part:
// Program (with its blank check and verify) writes the range, Read fills the
// range's buffer bytes with it and no others; a row that cannot serve the
// start refuses the Program with its line.
TEST_P(EveryDevice, FromAnOddAddress) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld || !MemoryRow(d.row)) GTEST_SKIP() << "not a memory row";
    DeviceSection = d.section;
    ExpectedMakerId = 0;
    ExpectedDeviceId = 0;
    ASSERT_EQ(SetCurrentDevice(d.record), 1) << d.maker << " " << d.name;
    std::string line = d.maker + " " + d.name + " row " + std::to_string(CurrentAlgorithm) + " from an odd address:";
    if (!RowHasModule(CurrentAlgorithm) || SeatedSimChip() == nullptr) GTEST_SKIP() << line << " nothing to run";
    if (!(SupportedOperationMask & OpMaskProgram)) GTEST_SKIP() << line << " no Program";
    if (const char* cap = std::getenv("VEXLOR_SWEEP_MAX_BYTES"); cap && BufferByteSize > std::strtoul(cap, nullptr, 0))
        GTEST_SKIP() << line << " skipped (size)";
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    const uint32_t unit = DataWidth > 8 ? 2 : 1; // buffer bytes per chip address
    const uint32_t start = DeviceEnd >= 0x400 ? 0x123 : 1;
    if (start > DeviceEnd) GTEST_SKIP() << line << " one address";
    const uint32_t end = std::min<uint32_t>(DeviceEnd, start + 0x2FE);
    DeviceStart = start;
    DeviceEnd = end;
    BufferStart = start; // in the device's words, as the range
    const size_t first = size_t{start} * unit, bytes = size_t{end - start + 1} * unit;
    ASSERT_EQ(SelectBank(BufferEnd, 1), 1);
    SelectBank(0, 0);
    uint8_t* buffer = BufferImage();
    std::vector<uint8_t> image(bytes);
    FillRandom(image.data(), bytes, static_cast<uint32_t>(GetParam()) + 7);
    std::copy(image.begin(), image.end(), buffer + first);
    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    const size_t from = ui.Log.size();
    const int programmed = RunOperation(MainEngine, OpProgram);
    // A row of the table may serve the start where its page is one byte.
    if (const StartRefusal* refusal = StartRefusalOf(CurrentAlgorithm); refusal && programmed != ResultOk) {
        bool said = false;
        for (size_t i = from; i < ui.Log.size(); ++i) said = said || ui.Log[i].rfind(refusal->line, 0) == 0;
        std::printf("[device] %s refused (%s)\n", line.c_str(), refusal->why);
        EXPECT_TRUE(said) << line << ": no line saying why";
        return;
    }
    line += programmed == ResultOk ? " program, verify ok" : " program, verify FAILED";
    bool failed = programmed != ResultOk;
    if (!failed && (SupportedOperationMask & OpMaskRead)) {
        // Sentinels around the range: a read must leave them.
        const size_t below = std::min<size_t>(first, 16), above = std::min<size_t>(BufferByteSize - (first + bytes), 16);
        std::memset(buffer + first - below, 0x5A, below + bytes + above);
        const int read = RunOperation(MainEngine, OpRead);
        line += read == ResultOk ? " read ok" : " read FAILED";
        failed = read != ResultOk;
        const uint8_t held = DataWidth > 0 && DataWidth < 8 ? static_cast<uint8_t>((1u << DataWidth) - 1) : 0xFF;
        for (size_t i = 0; !failed && i < bytes; ++i) {
            if (buffer[first + i] != (image[i] & held)) {
                char m[96];
                std::snprintf(m, sizeof m, " mismatch at buffer %zXh: %02Xh read, %02Xh written", first + i,
                              buffer[first + i], image[i]);
                line += m;
                failed = true;
            }
        }
        for (size_t i = 0; !failed && i < below + above; ++i) {
            const size_t at = i < below ? first - below + i : first + bytes + (i - below);
            if (buffer[at] != 0x5A) {
                char m[64];
                std::snprintf(m, sizeof m, " read wrote buffer %zXh outside the range", at);
                line += m;
                failed = true;
            }
        }
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
        line += " violation: " + v;
        failed = true;
    }
    std::printf("[device] %s\n", line.c_str());
    if (failed) {
        std::string log;
        for (size_t i = from; i < ui.Log.size(); ++i) log += ui.Log[i] + "\n";
        ADD_FAILURE() << line << "\n" << log;
    }
}

std::string DeviceTestName(const ::testing::TestParamInfo<size_t>& info) {
    const LibraryDevice& d = Devices()[info.param];
    std::string n = std::to_string(info.param) + "_" + d.maker + "_" + d.name;
    for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Library, EveryDevice, ::testing::ValuesIn(DeviceIndexes()), DeviceTestName);

} // namespace
