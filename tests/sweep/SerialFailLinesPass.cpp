// The fail-address lines of the serial memories, the configuration PROMs and
// the pin-driven memories, on every device of those rows. A cell of the part
// is stuck (at the last, a middle and the first address the row verifies,
// in that order, so each run fails at the cell just stuck): Program must fail
// and name that cell with what the part holds there and the buffer's datum
// there, or say why the part gave no datum (a word or page that never got
// ready) at the unit holding it. A part that never ends a write, on the rows
// that wait for one (a ready signal, the acknowledge poll), must fail at the
// first unit written, or at the next on a row that writes without waiting
// and finds the part not acknowledging: named with no chip datum. On row 31,
// which reads the acknowledge of every data byte, a part that refuses one
// byte of a page must fail Program at that page, with no chip datum.
#include <cstdio>
#include <cstring>
#include <set>

#include "memory/SerialEeprom.h"
#include "sim/ConfigEepromChip.h"
#include "sim/PinMemoryChip.h"
#include "sim/SerialChips.h"
#include "sim/TextIdConfigChip.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr const char* kStuckCell = "fail lines of a stuck serial cell";
constexpr const char* kNoAnswer = "fail lines of a serial part that never answers";
constexpr const char* kRefusedByte = "fail lines of a data byte the part does not acknowledge";

const std::set<uint32_t> kSerialRows = {10, 11, 12, 13, 14, 15, 16, 17, 18, 30, 31, 32, 33, 34, 35, 43,
                                        44, 48, 57, 70, 71, 81, 85, 95, 49, 53, 65, 66, 88, 92, 97, 98};

// The rows that wait for the part to end a write (DO, a ready pin, the
// status register, the acknowledge poll, the word's ready bit), and row 31,
// which reads the acknowledge of the next page's address.
bool WaitsForTheWrite(uint32_t row) {
    switch (row) {
    case 10: // the variants with DO watched
        return DeviceVariant < MicrowireVariantCount && MicrowireVariantTables[DeviceVariant].DataOutPin != 0;
    case 13: // all but the fixed wait
        return DeviceSubVariant != 99;
    case 16:
    case 17:
    case 18:
    case 31:
    case 33:
    case 43:
    case 44:
    case 57:
    case 70:
    case 85:
        return true;
    default:
        return false;
    }
}

// The first and last chip addresses the row verifies (rows 92 and 98 leave
// their clock registers out).
void VerifiedSpan(uint32_t row, uint32_t& first, uint32_t& last) {
    first = DeviceStart;
    last = DeviceEnd;
    if (row == 98) first = std::max<uint32_t>(first, 0x0E);
    if (row == 92 && DeviceEnd >= 0x7FF8) last = 0x7FF7;
}

// One fail line: the chip address and either its datum or the words in its
// place; the buffer line's address and datum.
struct FailLines {
    bool chip = false, buffer = false, datum = false;
    unsigned long chipAt = 0, bufferAt = 0;
    unsigned chipDatum = 0, bufferDatum = 0;
    std::string why;
};

FailLines ReadFailLines(const RecordingUi& ui, size_t from) {
    FailLines f;
    for (size_t i = from; i < ui.Log.size(); ++i) {
        const std::string& l = ui.Log[i];
        if (const size_t at = l.find("Chip addr: "); at != std::string::npos && !f.chip) {
            char* end = nullptr;
            f.chipAt = std::strtoul(l.c_str() + at + 11, &end, 16);
            if (end == nullptr || *end != 'h') continue;
            f.chip = true;
            std::string rest = end + 1;
            rest.erase(0, rest.find_first_not_of(' '));
            f.datum = std::sscanf(rest.c_str(), "data: %Xh", &f.chipDatum) == 1;
            if (!f.datum) f.why = rest;
        } else if (const size_t b = l.find("Buffer addr: "); b != std::string::npos && !f.buffer) {
            f.buffer = std::sscanf(l.c_str() + b, "Buffer addr: %lXh  data: %Xh", &f.bufferAt, &f.bufferDatum) == 2;
        }
    }
    return f;
}

// The seated part's faults as the pass uses them.
struct SerialFaults {
    sim::CatalogChip* chip = nullptr;
    bool wide = false;
    // Sticks bit 0 of the cell at chip address `a` at 1 (both bytes of a
    // word); false for a model without that fault.
    bool Stick(uint32_t a) const {
        if (auto* m = sim::SeatedModel<sim::NovramChip>(chip)) return m->StickRamBit(a, 0, 1), true;
        if (auto* m = sim::SeatedModel<sim::PinMemoryChip>(chip)) return m->StickCell(a), true;
        if (auto* m = sim::SeatedModel<sim::SerialChipBase>(chip)) {
            for (uint32_t k = 0; k < (wide ? 2u : 1u); ++k) m->StickBit(wide ? 2 * a + k : a, 0, 1);
            return true;
        }
        return false;
    }
    // What a read of the stuck cell at `a` gives.
    uint16_t Held(uint32_t a) const {
        if (auto* m = sim::SeatedModel<sim::NovramChip>(chip)) return static_cast<uint16_t>(m->RamWord(a & 15) | 1);
        if (sim::SeatedModel<sim::PinMemoryChip>(chip) != nullptr) return chip->Cell(a);
        return static_cast<uint16_t>(chip->Cell(a) | (wide ? 0x0101 : 0x01));
    }
    // A datum the stuck cell at `a` cannot take.
    uint16_t Unlike(uint32_t a, uint16_t datum) const {
        if (sim::SeatedModel<sim::PinMemoryChip>(chip) != nullptr) return static_cast<uint16_t>(Held(a) ^ 1);
        return static_cast<uint16_t>(datum & (wide ? ~0x0101u : ~0x01u));
    }
    // A part whose write never ends; false for a model without that fault.
    bool NeverReady() const {
        if (auto* m = sim::SeatedModel<sim::TextIdConfigChip>(chip)) return m->NeverPrograms(), true;
        if (auto* m = sim::SeatedModel<sim::SerialChipBase>(chip)) return m->NeverReady(), true;
        return false;
    }
};

// The device selected and its image in the buffer (whole range, random
// data the row accepts); false with p failed or skipped as Ready says.
bool Prepare(PassDevice& p, const LibraryDevice& d, size_t index, const char* pass, std::vector<uint8_t>& image,
             std::string& skip) {
    if (d.section == SectionPld || kSerialRows.count(d.row) == 0) {
        skip = "not a serial or pin-driven row";
        return false;
    }
    if (!Ready(p, d, index, pass, skip)) return false;
    const unsigned unit = DataWidth > 8 ? 2 : 1;
    BufferStart = 0;
    BufferEnd = (DeviceEnd - DeviceStart + 1) * unit - 1;
    // The buffer grown to the whole part (a part past one bank).
    if (SelectBank(BufferEnd, 1) != 1) {
        skip = p.line + " the buffer cannot hold the part";
        return false;
    }
    SelectBank(0, 0);
    image.assign(size_t{BufferEnd} + 1, 0);
    FillRandom(image.data(), image.size(), static_cast<uint32_t>(index) + 11);
    ShapeData(CurrentAlgorithm, image.data(), image.size());
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 1;
    return true;
}

uint16_t ImageDatum(const std::vector<uint8_t>& image, size_t b, bool wide) {
    if (b + (wide ? 2 : 1) > image.size()) return 0xFFFF;
    return static_cast<uint16_t>(wide ? image[b] | image[b + 1] << 8 : image[b]);
}

// Checks the fail lines after a failed Program; "" when they hold.
// `cell`: the chip address at fault; `unitBytes`: how far below it a line
// without a datum may name the unit holding it.
std::string CheckLines(const FailLines& f, const std::vector<uint8_t>& image, bool wide, uint32_t cell,
                       uint32_t unitBytes, bool datumExpected, uint16_t held) {
    const unsigned long start = DeviceStart;
    char m[200];
    const unsigned unit = wide ? 2 : 1;
    if (!f.chip || !f.buffer) return "no fail-address lines";
    const uint16_t want = ImageDatum(image, f.bufferAt, wide);
    if (f.chipAt < start || f.bufferAt != (f.chipAt - start) * unit || f.bufferDatum != want) {
        std::snprintf(m, sizeof m, "the buffer line shows %04Xh at %06lXh, the buffer holds %04Xh there (chip %06lXh)",
                      f.bufferDatum, f.bufferAt, want, f.chipAt);
        return m;
    }
    if (f.datum) {
        if (!datumExpected) {
            std::snprintf(m, sizeof m, "the chip line shows %04Xh at %06lXh, a datum the part never gave", f.chipDatum,
                          f.chipAt);
            return m;
        }
        if (f.chipAt != cell || f.chipDatum != held) {
            std::snprintf(m, sizeof m, "the chip line shows %04Xh at %06lXh, the part holds %04Xh at %06Xh", f.chipDatum,
                          f.chipAt, held, cell);
            return m;
        }
        return "";
    }
    if (f.why.empty() || f.chipAt > cell || cell - f.chipAt >= std::max<uint32_t>(unitBytes, 1)) {
        std::snprintf(m, sizeof m, "the chip line names %06lXh (\"%s\"), not the unit of %06Xh", f.chipAt,
                      f.why.c_str(), cell);
        return m;
    }
    return "";
}

TEST_P(EveryDevice, SerialFailLinesNameTheCell) {
    const LibraryDevice& d = Devices()[GetParam()];
    PassDevice p;
    std::vector<uint8_t> image;
    if (std::string skip; !Prepare(p, d, GetParam(), kStuckCell, image, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    const SerialFaults faults{SeatedSimChip(), DataWidth > 8};
    const bool wide = faults.wide;
    const unsigned unit = wide ? 2 : 1;
    uint32_t first = 0, last = 0;
    VerifiedSpan(d.row, first, last);
    const uint32_t start = DeviceStart, end = DeviceEnd;
    const size_t from = ui.Log.size();
    for (const uint32_t cell : {last, first + (last - first) / 2, first}) {
        if (p.failed) break;
        if (!faults.Stick(cell)) {
            p.Fail("the part's model has no stuck cell");
            break;
        }
        const size_t b = size_t{cell - start} * unit;
        const uint16_t datum = faults.Unlike(cell, ImageDatum(image, b, wide));
        image[b] = static_cast<uint8_t>(datum);
        if (wide) image[b + 1] = static_cast<uint8_t>(datum >> 8);
        std::copy(image.begin(), image.end(), BufferImage());
        DeviceStart = start;
        DeviceEnd = end;
        const size_t at = ui.Log.size();
        if (RunOperation(MainEngine, OpProgram) != ResultFailed) {
            p.Fail("Program over a stuck cell did not fail");
            break;
        }
        const FailLines f = ReadFailLines(ui, at);
        const std::string why = CheckLines(f, image, wide, cell, std::max<uint32_t>(PageSize, 4), true,
                                           faults.Held(cell));
        char m[200];
        if (!why.empty()) {
            std::snprintf(m, sizeof m, "stuck at %06Xh: %s", cell, why.c_str());
            p.Fail(m);
        } else if (f.datum) {
            std::snprintf(m, sizeof m, " %06Xh: data %04Xh/%04Xh;", cell, f.chipDatum, f.bufferDatum);
            p.line += m;
        } else {
            std::snprintf(m, sizeof m, " %06Xh: %06lXh %s;", cell, f.chipAt, f.why.c_str());
            p.line += m;
        }
    }
    Report(p, kStuckCell, GetParam(), p.failed, ui, from);
}

TEST_P(EveryDevice, SerialFailLinesOfAPartThatNeverAnswers) {
    const LibraryDevice& d = Devices()[GetParam()];
    PassDevice p;
    std::vector<uint8_t> image;
    if (std::string skip; !Prepare(p, d, GetParam(), kNoAnswer, image, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!WaitsForTheWrite(d.row)) GTEST_SKIP() << p.line << " the row waits for no write";
    const SerialFaults faults{SeatedSimChip(), DataWidth > 8};
    std::copy(image.begin(), image.end(), BufferImage());
    if (!faults.NeverReady()) p.Fail("the part's model cannot be kept busy");
    // Row 31 writes its first page without waiting; the part then does not
    // acknowledge the next page's address.
    const uint32_t page = std::max<uint32_t>(PageSize, 1);
    const uint32_t unitBytes = d.row == 33 ? 4 : page;
    const uint32_t cell = d.row == 31 ? DeviceStart + page : DeviceStart;
    const size_t from = ui.Log.size();
    char m[200];
    if (p.failed) {
    } else if (RunOperation(MainEngine, OpProgram) != ResultFailed) {
        p.Fail("Program of a part that never ends a write did not fail");
    } else if (const FailLines f = ReadFailLines(ui, from); f.datum) {
        std::snprintf(m, sizeof m, "the chip line shows %04Xh at %06lXh, a datum the part never gave", f.chipDatum,
                      f.chipAt);
        p.Fail(m);
    } else if (const std::string why = CheckLines(f, image, faults.wide, cell, unitBytes, false, 0); !why.empty()) {
        p.Fail(why);
    } else {
        std::snprintf(m, sizeof m, " %06lXh %s", f.chipAt, f.why.c_str());
        p.line += m;
    }
    Report(p, kNoAnswer, GetParam(), p.failed, ui, from);
}

TEST_P(EveryDevice, SerialFailLinesOfARefusedDataByte) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld || d.row != 31) GTEST_SKIP() << "the row reads no data-byte acknowledge";
    PassDevice p;
    std::vector<uint8_t> image;
    if (std::string skip; !Prepare(p, d, GetParam(), kRefusedByte, image, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    std::copy(image.begin(), image.end(), BufferImage());
    // A byte inside a page in the middle of the range, not the page's first.
    const uint32_t page = std::max<uint32_t>(PageSize, 2);
    const uint32_t middle = DeviceStart + (DeviceEnd - DeviceStart) / 2;
    const uint32_t cell = std::min<uint32_t>(middle - middle % page + page / 2, DeviceEnd);
    const uint32_t pageStart = std::max<uint32_t>(DeviceStart, cell - cell % page);
    auto* chip = sim::SeatedModel<sim::ConfigEepromChip>(SeatedSimChip());
    if (chip == nullptr) p.Fail("the part's model cannot refuse a data byte");
    else chip->RefuseDataByte(cell);
    const size_t from = ui.Log.size();
    char m[200];
    if (p.failed) {
    } else if (RunOperation(MainEngine, OpProgram) != ResultFailed || !Logged(ui, from, "Program error!")) {
        std::snprintf(m, sizeof m, "Program over a byte refused at %06Xh did not end \"Program error!\"", cell);
        p.Fail(m);
    } else if (const FailLines f = ReadFailLines(ui, from); f.datum) {
        std::snprintf(m, sizeof m, "the chip line shows %04Xh at %06lXh, a datum the part never gave", f.chipDatum,
                      f.chipAt);
        p.Fail(m);
    } else if (const std::string why = CheckLines(f, image, false, cell, page, false, 0); !why.empty()) {
        p.Fail(why);
    } else if (f.chipAt != pageStart) {
        std::snprintf(m, sizeof m, "the chip line names %06lXh, not the page of %06Xh at %06Xh", f.chipAt, cell,
                      pageStart);
        p.Fail(m);
    } else {
        std::snprintf(m, sizeof m, " %06Xh refused: %06lXh %s", cell, f.chipAt, f.why.c_str());
        p.line += m;
    }
    Report(p, kRefusedByte, GetParam(), p.failed, ui, from);
}

} // namespace
