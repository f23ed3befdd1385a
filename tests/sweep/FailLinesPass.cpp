// The fail-address lines of the flash rows that poll the part for the end of
// a write, on every device of those rows: one cell of the part is stuck (a
// fault of the simulated part), a Program over it fails, and the lines must
// carry what the row really read and took: "Chip addr:" the value the part
// gave at the last read of the run, at (or, for a page written as a whole,
// in the page of) the stuck cell, and "Buffer addr:" the buffer's datum at
// the address it names. (A row that does not see the cell while it programs
// fails in the verify after programming: the same lines, from the read.)
#include <cstdio>
#include <set>

#include "sim/CommandFlashChip.h"
#include "sim/FlashParts.h"
#include "sim/JedecFlashChip.h"
#include "sim/NandChip.h"
#include "sim/StatusPageFlashChip.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr const char* kFailLines = "fail lines of a stuck cell";

// The rows whose Program polls the part (DQ7, DQ6, a status register or the
// datum read back).
const std::set<uint32_t> kPollingRows = {6,  7,  20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 36, 37, 38, 39, 42,
                                         46, 54, 56, 58, 72, 73, 74, 77, 78, 79, 82, 83, 86, 87, 91, 93};

// Sticks the cell at `a` in the seated part's own model; false for a model
// without that fault.
bool StickCell(sim::CatalogChip* chip, uint32_t a) {
    if (auto* m = sim::SeatedModel<sim::FlashModuleChip>(chip); m != nullptr && m->Seated().flash() != nullptr)
        return m->Seated().flash()->StickCell(m->Seated().byteMode ? a >> 1 : a), true;
    if (auto* m = sim::SeatedModel<sim::JedecFlashChip>(chip)) return m->StickCell(a), true;
    if (auto* m = sim::SeatedModel<sim::CommandFlashChip>(chip)) return m->StickCell(a), true;
    if (auto* m = sim::SeatedModel<sim::StatusPageFlashChip>(chip)) return m->StickByte(a), true;
    // NAND: the map rows place the range's first page in a block of their
    // choosing, so the byte sticks at its place in every block.
    if (auto* m = sim::SeatedModel<sim::NandChip>(chip)) {
        const sim::NandFacts& f = m->Nand();
        for (uint32_t b = 0; b < f.blocks; ++b)
            m->StickByte((b * f.pagesPerBlock + a / f.pageData % f.pagesPerBlock) * f.PageBytes() +
                         a % f.pageData);
        return true;
    }
    return false;
}

// The datum of the last read of the part's data in the trace: register 6
// (with the register 7 read right after it, or right before it: a word) or
// the status bus's register 9; -1 when there is none.
long LastDatumRead(const std::vector<sim::RegisterAccess>& trace) {
    auto highRead = [&](size_t j) { return j < trace.size() && !trace[j].write && trace[j].reg == 7; };
    for (size_t i = trace.size(); i-- > 0;) {
        const sim::RegisterAccess& r = trace[i];
        if (r.write || (r.reg != 6 && r.reg != 9)) continue;
        long v = r.value;
        if (r.reg == 6 && highRead(i + 1))
            v |= long{trace[i + 1].value} << 8;
        else if (r.reg == 6 && i > 0 && highRead(i - 1))
            v |= long{trace[i - 1].value} << 8;
        return v;
    }
    return -1;
}

// The address and datum of the first log line from `from` on that starts
// with `head` (after blanks); false when there is none.
bool LineValues(const RecordingUi& ui, size_t from, const char* head, unsigned long& address, unsigned& datum) {
    for (size_t i = from; i < ui.Log.size(); ++i) {
        const size_t at = ui.Log[i].find(head);
        if (at == std::string::npos || ui.Log[i].find_first_not_of(' ') != at) continue;
        char format[48];
        std::snprintf(format, sizeof format, "%s %%lXh  data: %%X", head);
        return std::sscanf(ui.Log[i].c_str() + at, format, &address, &datum) == 2;
    }
    return false;
}

TEST_P(EveryDevice, FailLinesCarryWhatWasRead) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld || kPollingRows.count(d.row) == 0) GTEST_SKIP() << "no polling row";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kFailLines, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    sim::CatalogChip* chip = SeatedSimChip();
    const bool wide = DataWidth > 8;
    const unsigned unit = wide ? 2 : 1;
    // A stuck cell inside the first page (of a 16-bit die in byte mode: its
    // low byte), a datum there it cannot take.
    const uint32_t stuck = 0x20;
    p.failed = !StickCell(chip, stuck);
    if (p.failed) p.line += " the part's model has no stuck cell";
    DeviceStart = 0;
    DeviceEnd = std::min<uint32_t>(DeviceEnd, 0xFF);
    BufferStart = 0;
    BufferEnd = (DeviceEnd + 1) * unit - 1;
    std::vector<uint8_t> image(size_t{DeviceEnd + 1} * unit);
    FillRandom(image.data(), image.size(), static_cast<uint32_t>(GetParam()) + 5);
    ShapeData(CurrentAlgorithm, image.data(), image.size());
    for (unsigned b = 0; b < unit; ++b) image[stuck * unit + b] = 0x5A;
    std::copy(image.begin(), image.end(), BufferImage());
    // A row whose page poll looks only at the ready bit leaves the stuck
    // cell to the verify after programming.
    BlankCheckBeforeProgram = 0;
    VerifyAfterProgram = 1;
    const size_t from = ui.Log.size();
    simp->ClearTrace();
    simp->EnableTrace(true);
    const int r = p.failed ? ResultFailed : RunOperation(MainEngine, OpProgram);
    simp->EnableTrace(false);
    const long read = LastDatumRead(simp->RegisterTrace());
    simp->ClearTrace();
    unsigned long chipAt = 0, bufferAt = 0;
    unsigned chipDatum = 0, bufferDatum = 0;
    char m[160];
    if (p.failed) {
    } else if (r != ResultFailed) {
        p.Fail("Program over the stuck cell did not fail");
    } else if (!LineValues(ui, from, "Chip addr:", chipAt, chipDatum) || !LineValues(ui, from, "Buffer addr:", bufferAt, bufferDatum)) {
        p.Fail("no fail-address lines");
    } else {
        const uint32_t page = std::max<uint32_t>(PageSize, 1);
        const long mask = wide ? 0xFFFF : 0xFF;
        const size_t b = static_cast<size_t>(bufferAt);
        const unsigned want = b + unit <= image.size() ? (wide ? image[b] | image[b + 1] << 8 : image[b]) : ~0u;
        if (chipAt / page != stuck / page) {
            std::snprintf(m, sizeof m, "the chip line names %06lXh, not the page of the stuck cell %06Xh", chipAt, stuck);
            p.Fail(m);
        } else if (read < 0 || static_cast<long>(chipDatum) != (read & mask)) {
            std::snprintf(m, sizeof m, "the chip line shows %04Xh, the part gave %04lXh at the last read", chipDatum, read & mask);
            p.Fail(m);
        } else if (bufferDatum != want || bufferAt != chipAt * unit) {
            std::snprintf(m, sizeof m, "the buffer line shows %04Xh at %06lXh, the buffer holds %04Xh there (chip %06lXh)", bufferDatum,
                          bufferAt, want, chipAt);
            p.Fail(m);
        } else {
            std::snprintf(m, sizeof m, " chip %06lXh data %04Xh, buffer %06lXh data %04Xh", chipAt, chipDatum, bufferAt, bufferDatum);
            p.line += m;
        }
    }
    Report(p, kFailLines, GetParam(), p.failed, ui, from);
}

} // namespace
