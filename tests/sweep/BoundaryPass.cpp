// Every device that offers Program and Read over the ranges a user sets in
// the Config Option dialog: from the row's own boundary (the smallest start
// above 0 its declaration serves: a page, block or sector), from one at or
// above 10000h where the part is that large, and from the row's first
// address to a Chip End below the top that is not on a page's last byte.
// Each on a fresh part: Program (with its verify) writes the range's cells
// at their chip addresses and no other cell; Read fills Buffer Start..Buffer
// End and leaves every other buffer byte as it was. A case the row's
// declaration says it cannot serve is refused with its line before any
// supply is switched on, the part and the buffer left as they were, and
// counted apart.
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr uint8_t kOther = 0x5A; // the buffer's bytes outside the range

// One range on a fresh part of device `index`; `refusal`: the line the row
// must refuse it with (nullptr: the row serves it).
void RunRange(RecordingUi& ui, const LibraryDevice& d, size_t index, const char* pass, uint32_t start, uint32_t end,
              const char* refusal) {
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
    FillRandom(whole.data(), whole.size(), static_cast<uint32_t>(index) + 23);
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
    if (refusal != nullptr) {
        bool said = false;
        for (size_t i = from; i < ui.Log.size(); ++i) said = said || ui.Log[i].rfind(refusal, 0) == 0;
        p.line += programmed == ResultOk ? " served" : " refused";
        if (!said) p.line += std::string(" without the line \"") + refusal + "...\" (" + FirstError(ui, from) + ")";
        if (watch.switchedOn) p.line += " after a supply was switched on";
        const std::string written = CellsNotBlank(*chip, *p.part, base, std::min<size_t>(top - base + 1, 0x800),
                                                  "after the refusal");
        p.line += written;
        // A Read the row serves (or refuses with its line) keeps to the range.
        RunOperation(MainEngine, OpRead);
        const bool kept = std::all_of(buffer, buffer + first, [](uint8_t b) { return b == kOther; }) &&
                          std::all_of(buffer + first + bytes, buffer + size, [](uint8_t b) { return b == kOther; });
        if (!kept) p.line += " with the buffer outside the range changed";
        Report(p, pass, index, programmed == ResultOk || !said || watch.switchedOn || !written.empty() || !kept, ui,
               from, true);
        return;
    }
    p.line += programmed == ResultOk ? " program, verify ok" : " program, verify FAILED";
    bool failed = programmed != ResultOk;
    if (failed) p.line += " (" + FirstError(ui, from) + ")";
    auto expect = [&](uint32_t address, unsigned lane) {
        const size_t b = size_t{address - base} * unit + lane;
        return ExpectedAt(b, whole[b], *p.part, *chip, base, unit, kOther);
    };
    // The part's own cells: the range at its chip addresses, blank from the
    // row's first address up to the start and in the 16 just above the end.
    const sim::CatalogChip& blank = BlankPart(*p.part);
    for (uint32_t a = base; !failed && chip->Words() > 0 && a <= std::min(top, end + 16); ++a) {
        for (unsigned lane = 0; !failed && lane < unit; ++lane) {
            const Expected e = expect(a, lane);
            if (!e.programmed) continue;
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
    if (!failed) {
        // A second image the row keeps right after the range's bytes (its
        // declaration gives the length) is read back from there too.
        const size_t second = def != nullptr && def->ImageAfterRange != nullptr ? def->ImageAfterRange() : 0;
        const size_t after = std::min(size, first + bytes + second);
        const std::vector<uint8_t> taken(buffer + first + bytes, buffer + after);
        std::memset(buffer, kOther, size);
        const size_t at = ui.Log.size();
        const int r = RunOperation(MainEngine, OpRead);
        p.line += r == ResultOk ? " read ok" : " read FAILED (" + FirstError(ui, at) + ")";
        failed = r != ResultOk;
        for (size_t i = 0; !failed && i < bytes; ++i) {
            const Expected e = expect(start + static_cast<uint32_t>(i / unit), static_cast<unsigned>(i % unit));
            if (buffer[first + i] != e.value) {
                char m[112];
                std::snprintf(m, sizeof m, " mismatch at buffer %zXh: %02Xh read, %02Xh expected", first + i,
                              buffer[first + i], e.value);
                p.line += m;
                failed = true;
            }
        }
        for (size_t i = 0; !failed && i < taken.size(); ++i) {
            if (buffer[first + bytes + i] != taken[i]) {
                char m[96];
                std::snprintf(m, sizeof m, " second image at buffer %zXh: %02Xh read, %02Xh programmed",
                              first + bytes + i, buffer[first + bytes + i], taken[i]);
                p.line += m;
                failed = true;
            }
        }
        // Every other buffer byte, below Buffer Start and past the range.
        for (size_t i = 0; !failed && i < size; ++i) {
            if (i == first) i = after;
            if (i < size && buffer[i] != kOther) {
                char m[80];
                std::snprintf(m, sizeof m, " read wrote buffer %zXh outside Buffer Start..Buffer End", i);
                p.line += m;
                failed = true;
            }
        }
    }
    if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
        p.line += " violation: " + v;
        failed = true;
    }
    Report(p, pass, index, failed, ui, from);
}

TEST_P(EveryDevice, OnItsRowsBoundaries) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "a fuse map is programmed whole";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kBoundaryStart, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!(SupportedOperationMask & OpMaskRead)) GTEST_SKIP() << p.line << " no Read";
    const uint32_t base = DeviceStart, top = DeviceEnd;
    if (top - base < 4) GTEST_SKIP() << p.line << " a few addresses";
    // The row's boundary from its declaration: 0 where it serves no start
    // above its first address.
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    const uint32_t step = def != nullptr && def->StartUnit != nullptr ? def->StartUnit()
                          : def != nullptr && def->StartRefusal != nullptr ? 0
                                                                          : 1;
    // The page an end must not close: the row's boundary, or the buffer
    // page within a block of them.
    const uint32_t page = step > 1 && PageSize > 1 && PageSize < step && step % PageSize == 0 ? PageSize : step;
    const uint32_t span = step > 1 ? step + std::max<uint32_t>(page / 2, 1) : 0x180;
    const char* endRefusal = def != nullptr ? def->EndRefusal : nullptr;
    // An end below the top where the part leaves room for one.
    auto endOf = [&](uint32_t from) { return static_cast<uint32_t>(std::min<uint64_t>(top, uint64_t{from} + span - 1)); };
    auto refusalOf = [&](uint32_t from, uint32_t end) -> const char* {
        if (from != base && step == 0) return def->StartRefusal;
        return end < top ? endRefusal : nullptr;
    };
    const size_t index = GetParam();

    const uint32_t boundary = base + std::max<uint32_t>(step, 1);
    if (boundary < top) RunRange(ui, d, index, kBoundaryStart, boundary, endOf(boundary), refusalOf(boundary, endOf(boundary)));
    if (step > 0) {
        const uint64_t high = (std::max<uint64_t>(0x10000, uint64_t{boundary} + 1) + step - 1) / step * step;
        if (high + span - 1 < top)
            RunRange(ui, d, index, kHighStart, static_cast<uint32_t>(high), endOf(static_cast<uint32_t>(high)),
                     refusalOf(static_cast<uint32_t>(high), endOf(static_cast<uint32_t>(high))));
    }
    const uint32_t end = std::min(top - 1, endOf(base));
    RunRange(ui, d, index, kEndBelowTop, base, end, refusalOf(base, end));
}

} // namespace
