// Every device whose row keeps buffer places for chip addresses of its own
// (option areas, ID, configuration and data words: the row's declaration
// gives them) over ranges whose buffer units meet each place: a short range
// from the row's first address laid across the place, one ending at the top
// with its last datum on the place's first unit, one laid just below it, and
// where the part has the place's own chip addresses, those at their place
// and one unit apart. Each range, on a fresh part, is either refused before
// power-up with the row's line (no supply switched on, the part blank, the
// buffer as it was), counted as refused as the row declares, or programs and
// reads right: the part's cells at the range's chip addresses and blank
// around them, the range's buffer bytes read back, and every other buffer
// byte left as it was but the places the row fills whatever the range.
#include "tests/sweep/Sweep.h"

#include "sim/PicChip.h"

namespace {

using namespace sweep;

constexpr const char* kFixedPlace = "over the row's fixed buffer places";

// One run: chip range start..end, its data from buffer unit `bufferStart`.
struct PlaceCase {
    std::string name;
    uint32_t start, end, bufferStart;
};

// The ranges that meet `place` for a part of chip addresses base..top.
std::vector<PlaceCase> CasesFor(const FixedBufferPlace& place, uint32_t base, uint32_t top) {
    std::vector<PlaceCase> v;
    char n[96];
    const uint32_t count = std::min<uint32_t>(top - base + 1, 0x40);
    std::snprintf(n, sizeof n, "across %Xh", place.First);
    v.push_back({n, base, base + count - 1, place.First >= count / 2 ? place.First - count / 2 : 0});
    if (place.First >= count) {
        std::snprintf(n, sizeof n, "just below %Xh", place.First);
        v.push_back({n, base, base + count - 1, place.First - count});
    }
    if (const uint32_t start = top - count + 1; place.First >= top - start) {
        std::snprintf(n, sizeof n, "last datum on %Xh", place.First);
        v.push_back({n, start, top, place.First - (top - start)});
    }
    if (place.Chip >= base && place.Chip <= top) {
        const uint32_t end = std::min<uint64_t>(top, uint64_t{place.Chip} + (place.Last - place.First));
        std::snprintf(n, sizeof n, "chip %Xh at its place", place.Chip);
        v.push_back({n, place.Chip, end, place.First});
        std::snprintf(n, sizeof n, "chip %Xh one unit apart", place.Chip);
        v.push_back({n, place.Chip, end, place.First + 1});
    }
    return v;
}

TEST_P(EveryDevice, OverTheRowsFixedPlaces) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "a fuse map has no buffer places";
    const RowDef* declared = RowDefinition(d.row);
    // A part whose model keeps cells in a layout of its own past the code
    // (option areas) or configuration and ID words (a PIC) has buffer places
    // its row must declare.
    const sim::CatalogPart* part = sim::FindPart(d.maker, d.name);
    const bool partKeepsPlaces = part != nullptr && part->facts != nullptr &&
                                 (part->facts->ownLayoutFrom != 0 || part->As<sim::PicFacts>() != nullptr);
    const bool declares = declared != nullptr && declared->FixedPlaces != nullptr;
    if (!declares && !partKeepsPlaces) GTEST_SKIP() << "the row keeps no buffer place";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kFixedPlace, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (!declares || declared->FixedPlaces().empty()) {
        p.line += " the part keeps buffer places its row does not declare";
        Report(p, kFixedPlace, GetParam(), true, ui, ui.Log.size());
        return;
    }
    if (!(SupportedOperationMask & OpMaskRead)) GTEST_SKIP() << p.line << " no Read";
    const unsigned unit = DataWidth > 8 ? 2 : 1; // buffer bytes per chip address
    const uint32_t base = DeviceStart, top = DeviceEnd;
    std::vector<PlaceCase> cases;
    for (const FixedBufferPlace& place : declared->FixedPlaces())
        for (PlaceCase& c : CasesFor(place, base, top))
            cases.push_back(std::move(c));
    // The whole layout's data as a user's file gives it.
    std::vector<uint8_t> whole(size_t{top - base + 1} * unit);
    FillRandom(whole.data(), whole.size(), static_cast<uint32_t>(GetParam()) + 41);
    ShapeData(CurrentAlgorithm, whole.data(), whole.size());
    const size_t from = ui.Log.size();
    bool failed = false;
    int refusals = 0;
    for (const PlaceCase& c : cases) {
        if (failed) break;
        InstallSimulator(0);
        SetCurrentDevice(d.record);
        sim::SimProgrammer* simp = ProgramSimulator();
        sim::CatalogChip* chip = SeatedSimChip();
        ASSERT_NE(chip, nullptr);
        const RowDef* def = RowDefinition(CurrentAlgorithm);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        const size_t first = size_t{c.bufferStart} * unit, bytes = size_t{c.end - c.start + 1} * unit;
        BufferEnd = static_cast<uint32_t>(first + bytes - 1);
        ASSERT_EQ(SelectBank(std::max<uint32_t>(BufferEnd, 0x2FFFF), 1), 1);
        SelectBank(0, 0);
        uint8_t* buffer = BufferImage();
        const size_t imageBytes = size_t{BankCount} * BufferBankBytes;
        std::memset(buffer, kOther, imageBytes);
        std::copy_n(whole.begin() + static_cast<ptrdiff_t>(size_t{c.start - base} * unit), bytes,
                    buffer + first);
        const std::vector<uint8_t> before(buffer, buffer + imageBytes);
        p.line += " [" + c.name + "]";
        BlankCheckBeforeProgram = 1;
        VerifyAfterProgram = 1;
        VerifyAfterRead = 0;
        const size_t runFrom = ui.Log.size();
        SupplyWatch watch;
        simp->AttachComponent(&watch);
        const int programmed = RunOperation(MainEngine, OpProgram);
        simp->DetachComponent(&watch);
        auto refusedWithLine = [&](size_t at) {
            for (size_t i = at; i < ui.Log.size(); ++i)
                if (ui.Log[i].rfind(FixedPlaceRefusal, 0) == 0) return true;
            return false;
        };
        if (refusedWithLine(runFrom)) {
            // Refused before power-up: nothing switched on, the part blank,
            // the buffer as it was; Read refuses the range too.
            const size_t readFrom = ui.Log.size();
            simp->AttachComponent(&watch);
            const int read = RunOperation(MainEngine, OpRead);
            simp->DetachComponent(&watch);
            p.line += programmed == ResultOk || read == ResultOk ? " served" : " refused";
            if (!refusedWithLine(readFrom)) p.line += " (Read without the line)";
            if (watch.switchedOn) p.line += " after a supply was switched on";
            const bool kept = std::equal(before.begin(), before.end(), buffer);
            if (!kept) p.line += " with the buffer changed";
            const std::string written =
                CellsNotBlank(*chip, *p.part, base, std::min<uint32_t>(top - base + 1, 0x1000),
                              "after the refusal") +
                CellsNotBlank(*chip, *p.part, c.start, std::min<uint32_t>(c.end - c.start + 1, 0x1000),
                              "after the refusal");
            p.line += written;
            failed = programmed == ResultOk || read == ResultOk || !refusedWithLine(readFrom) ||
                     watch.switchedOn || !kept || !written.empty();
            refusals += 1;
            continue;
        }
        p.line += programmed == ResultOk ? " program, verify ok" : " program, verify FAILED";
        failed = programmed != ResultOk;
        if (failed) p.line += " (" + FirstError(ui, runFrom) + ")";
        auto expect = [&](uint32_t address, unsigned lane) {
            const size_t b = size_t{address - base} * unit + lane;
            return ExpectedAt(b, whole[b], *p.part, *chip, base, unit, kOther);
        };
        // The part's cells: the range at its chip addresses, blank from the
        // row's first address up to it and in the 16 just above it.
        const sim::CatalogChip& blank = BlankPart(*p.part);
        for (uint32_t a = base; !failed && chip->Words() > 0 && a <= std::min(top, c.end + 16); ++a) {
            for (unsigned lane = 0; !failed && lane < unit; ++lane) {
                const Expected e = expect(a, lane);
                if (!e.programmed) continue;
                const bool inRange = a >= c.start && a <= c.end;
                const uint8_t has = CellByte(*chip, a, lane);
                const uint8_t want = inRange ? (e.cell >= 0 ? static_cast<uint8_t>(e.cell) : e.value)
                                             : CellByte(blank, a, lane);
                if (has != want) {
                    char m[128];
                    std::snprintf(m, sizeof m, " cell %Xh%s holds %02Xh, %02Xh %s", a,
                                  unit > 1 ? (lane ? "H" : "L") : "", has, want,
                                  inRange ? "written" : "blank outside the range");
                    p.line += m;
                    failed = true;
                }
            }
        }
        if (failed) break;
        // Read into a buffer of other data: the range's bytes back, every
        // other byte left but a second image the row keeps after the range
        // and the places it fills whatever the range.
        std::memset(buffer, kOther, imageBytes);
        const size_t readFrom = ui.Log.size();
        const int read = RunOperation(MainEngine, OpRead);
        p.line += read == ResultOk ? " read ok" : " read FAILED";
        failed = read != ResultOk;
        if (failed) p.line += " (" + FirstError(ui, readFrom) + ")";
        for (size_t i = 0; !failed && i < bytes; ++i) {
            const Expected e =
                expect(c.start + static_cast<uint32_t>(i / unit), static_cast<unsigned>(i % unit));
            if (buffer[first + i] != e.value) {
                char m[112];
                std::snprintf(m, sizeof m, " mismatch at buffer %zXh: %02Xh read, %02Xh expected", first + i,
                              buffer[first + i], e.value);
                p.line += m;
                failed = true;
            }
        }
        std::vector<bool> filled(imageBytes);
        for (size_t i = first; i < first + bytes && i < imageBytes; ++i)
            filled[i] = true;
        const size_t second = def->ImageAfterRange != nullptr ? def->ImageAfterRange() : 0;
        for (size_t i = first + bytes; i < first + bytes + second && i < imageBytes; ++i)
            filled[i] = true;
        for (const FixedBufferPlace& f : def->FixedPlaces())
            if (!f.RangeOnly)
                for (size_t i = size_t{f.First} * unit; i < (size_t{f.Last} + 1) * unit && i < imageBytes;
                     ++i)
                    filled[i] = true;
        // The words a PIC keeps past those the user's code fills (its
        // calibration area): a read brings them in where their chip addresses
        // put them from Buffer Start.
        if (const auto* pic = p.part->As<sim::PicFacts>(); pic != nullptr && pic->userWords != 0)
            for (uint32_t a = pic->userWords; a < pic->codeWords; ++a)
                for (unsigned lane = 0; lane < unit; ++lane)
                    if (const size_t i = (size_t{BufferStart} + a - DeviceStart) * unit + lane;
                        i < imageBytes)
                        filled[i] = true;
        if (const std::string w = failed ? "" : ReadWroteOutside(buffer, 0, imageBytes, [&](size_t i) {
                return !filled[i];
            }, "outside the range");
            !w.empty()) {
            p.line += w;
            failed = true;
        }
        if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
            p.line += " violation: " + v;
            failed = true;
        }
    }
    // Counted as refused where the row refused every range it was given.
    Report(p, kFixedPlace, GetParam(), failed, ui, from,
           !failed && refusals == static_cast<int>(cases.size()));
}

} // namespace
