// Every device whose row keeps buffer places for chip addresses of its own
// (option areas, ID, configuration and data words, a data EEPROM's image, a
// hidden word), each row's places taken from the table of their
// descriptions (RowPlaces.h), not from the row's declaration, which must
// equal it for every range tried. Over ranges laid across each place, just
// below and just above it, with their last datum on its first unit, where
// the part has the place's own chip addresses those at their place and one
// unit apart, and for a read that stores an area past the range, that area
// across the place: each range, on a fresh part, is refused before
// power-up with the row's line (no supply switched on, the part blank, the
// buffer as it was) exactly where the table says it meets a place, Read
// alone where only its area does; else it programs and reads right: the
// part's cells at the range's chip addresses and blank around them, the
// range's bytes read back, the images of another memory (EEPROM, hidden
// word) programmed from their places and read back there, and every other
// buffer byte left as it was but the places the row fills whatever the
// range. Then a blank check of a part whose range is blank and whose places
// were programmed names the place's cell it stops at (its memory, its own
// address, the part's datum there).
#include "tests/sweep/Sweep.h"

#include <cctype>

#include "sim/PicChip.h"
#include "tests/sweep/RowPlaces.h"

namespace {

using namespace sweep;

constexpr const char* kFixedPlace = "over the row's fixed buffer places";
// The buffer word of a PIC's data byte 0 (its chip address in the PIC
// toolchains' files).
constexpr uint32_t kPicDataWord = 0x2100;

// One run: chip range start..end, its data from buffer unit `bufferStart`.
struct PlaceCase {
    std::string name;
    uint32_t start, end, bufferStart;
};

// The rows the table gives places.
bool RowHasPlaces(uint32_t row) {
    for (const uint32_t r : {110u, 111u, 112u, 113u, 114u, 115u, 116u, 117u, 118u, 119u, 121u, 125u, 145u, 150u,
                             151u, 189u, 301u})
        if (r == row) return true;
    return false;
}

// The ranges that meet the row's places, or lie just beside them, for a
// part of chip addresses base..top; the places are taken for each range
// (an image after Chip End moves with it).
std::vector<PlaceCase> PlaceCases(uint32_t row, uint32_t base, uint32_t top) {
    const uint32_t saved[] = {DeviceStart, DeviceEnd, BufferStart};
    std::vector<PlaceCase> v;
    char n[96];
    const uint32_t count = std::min<uint32_t>(top - base + 1, 0x40);
    auto placesFor = [&](uint32_t start, uint32_t end) {
        DeviceStart = start;
        DeviceEnd = end;
        BufferStart = start;
        return RowPlaces(row);
    };
    const uint32_t lowEnd = base + count - 1, highStart = top - count + 1;
    for (const RowPlace& p : placesFor(base, lowEnd)) {
        const auto first = static_cast<uint32_t>(p.first), last = static_cast<uint32_t>(p.last);
        std::snprintf(n, sizeof n, "across %Xh", first);
        v.push_back({n, base, lowEnd, first >= count / 2 ? first - count / 2 : 0});
        if (first >= count) {
            std::snprintf(n, sizeof n, "just below %Xh", first);
            v.push_back({n, base, lowEnd, first - count});
        }
        std::snprintf(n, sizeof n, "just above %Xh", last);
        v.push_back({n, base, lowEnd, last + 1});
        // A read's area past the range laid across the place.
        const ReadArea area = RowReadArea(row);
        if (const uint64_t before = (lowEnd - base) + 1 + area.skip + area.count / 2;
            area.count != 0 && first >= before) {
            std::snprintf(n, sizeof n, "read area across %Xh", first);
            v.push_back({n, base, lowEnd, static_cast<uint32_t>(first - before)});
        }
    }
    for (const RowPlace& p : placesFor(highStart, top)) {
        if (p.first < top - highStart) continue;
        std::snprintf(n, sizeof n, "last datum on %Xh", static_cast<uint32_t>(p.first));
        v.push_back({n, highStart, top, static_cast<uint32_t>(p.first - (top - highStart))});
    }
    for (const RowPlace& p : placesFor(base, top)) {
        if (p.otherMemory || p.chip < base || p.chip > top) continue;
        const auto chip = static_cast<uint32_t>(p.chip), first = static_cast<uint32_t>(p.first);
        const uint32_t end = static_cast<uint32_t>(std::min<uint64_t>(top, p.chip + (p.last - p.first)));
        std::snprintf(n, sizeof n, "chip %Xh at its place", chip);
        v.push_back({n, chip, end, first});
        std::snprintf(n, sizeof n, "chip %Xh one unit apart", chip);
        v.push_back({n, chip, end, first + 1});
    }
    DeviceStart = saved[0];
    DeviceEnd = saved[1];
    BufferStart = saved[2];
    return v;
}

// The cell a Blank check's fail line names, as the place it belongs to and
// the unit of that cell's place, with the datum shown; "" or why the line
// names no place's cell. Another memory's cell by that memory and its own
// address (a single word by its name alone), a cell of the part's own
// memory by its chip address.
std::string NamedPlaceCell(const std::string& l, const std::vector<RowPlace>& places, uint64_t& at, unsigned& datum,
                           bool& other) {
    unsigned long address = 0;
    for (const RowPlace& p : places) {
        const uint64_t cells = p.last - p.first + 1;
        auto in = [&](unsigned long a) { return a >= p.chip && a < p.chip + cells; };
        int n = 0;
        if (p.otherMemory && cells == 1 && p.memory != nullptr) {
            std::string name = p.memory;
            name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
            if (l.rfind(" " + name + "  data: ", 0) == 0 &&
                std::sscanf(l.c_str() + name.size() + 1, "  data: %Xh", &datum) == 1) {
                address = static_cast<unsigned long>(p.chip);
                n = 2;
            }
        } else if (p.otherMemory && p.memory != nullptr) {
            const std::string head = std::string(" ") + p.memory + " addr: ";
            if (l.rfind(head, 0) == 0) n = std::sscanf(l.c_str() + head.size(), "%lXh  data: %Xh", &address, &datum);
        } else if (!p.otherMemory) {
            n = std::sscanf(l.c_str(), " Chip addr: %lXh  data: %Xh", &address, &datum);
        }
        if (n != 2 || !in(address)) continue;
        at = p.first + (address - p.chip);
        other = p.otherMemory;
        return "";
    }
    return "the blank check's line \"" + l + "\" names no cell of the row's places";
}

// Blank check over a part whose range holds the part's blank cells and
// whose places were programmed from their buffer bytes: the check stops at
// a place's cell, and its line names that place, the cell's own address and
// the datum the part holds there (what Read brings to the cell's place),
// with no chip address for another memory's cell. Rows whose places take
// only the cells a range covers get a range over them from their first
// such cell. The line stays with another range and a Buffer Start apart
// from Chip Start. ""
// when it does, or when the blank check walks no programmed place (noted on
// the line).
std::string BlankCheckNamesThePlace(PassDevice& p, const LibraryDevice& d, const RecordingUi& ui, uint32_t base,
                                    uint32_t top) {
    if (!(SupportedOperationMask & OpMaskBlankCheck) || !(SupportedOperationMask & OpMaskProgram)) return "";
    InstallSimulator(0);
    SetCurrentDevice(d.record);
    sim::CatalogChip* chip = SeatedSimChip();
    if (chip == nullptr) return "no part seated for the blank check";
    const unsigned unit = DataWidth > 8 ? 2 : 1;
    uint64_t first = base;
    bool rangeOnly = false;
    DeviceStart = base;
    DeviceEnd = top;
    BufferStart = base;
    for (const RowPlace& f : RowPlaces(CurrentAlgorithm))
        if (f.rangeOnly && (!rangeOnly || f.chip < first)) first = f.chip, rangeOnly = true;
    DeviceStart = static_cast<uint32_t>(first);
    DeviceEnd = rangeOnly ? top : std::min<uint32_t>(top, base + 0x3F);
    BufferStart = DeviceStart;
    const std::vector<RowPlace> places = RowPlaces(CurrentAlgorithm);
    if (MeetsAPlace(places, DeviceStart, DeviceEnd, BufferStart, RowReadArea(CurrentAlgorithm)))
        return "the blank check's range meets a place";
    const size_t count = size_t{DeviceEnd} - DeviceStart + 1;
    if (SelectBank(0x2FFFF, 1) != 1) return "no buffer";
    SelectBank(0, 0);
    uint8_t* buffer = BufferImage();
    const size_t imageBytes = size_t{BankCount} * BufferBankBytes;
    std::memset(buffer, kOther, imageBytes);
    // The places' bytes each their address's own, the range's the part's
    // blank cells but for a place's.
    std::vector<bool> place(imageBytes);
    for (const RowPlace& f : places)
        for (size_t i = f.first * unit; i < (f.last + 1) * unit && i < imageBytes; ++i) place[i] = true;
    const sim::CatalogChip& blank = BlankPart(*p.part);
    for (size_t k = 0; k < count; ++k)
        for (unsigned lane = 0; lane < unit; ++lane)
            buffer[(BufferStart + k) * unit + lane] = CellByte(blank, static_cast<uint32_t>(DeviceStart + k), lane);
    for (size_t i = 0; i < imageBytes; ++i)
        if (place[i]) buffer[i] = AddressByte(i);
    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    size_t from = ui.Log.size();
    if (RunOperation(MainEngine, OpProgram) != ResultOk)
        return "program for the blank check FAILED (" + FirstError(ui, from) + ")";
    from = ui.Log.size();
    const int checked = RunOperation(MainEngine, OpBlankCheck);
    if (checked == ResultOk) {
        p.line += " blank check walks no programmed place";
        return "";
    }
    size_t at = from;
    while (at < ui.Log.size() && ui.Log[at] != "Blank check error!") ++at;
    if (at + 1 >= ui.Log.size()) return "blank check failed without its fail line (" + FirstError(ui, from) + ")";
    const std::string line = ui.Log[at + 1];
    uint64_t u = 0;
    unsigned shown = 0;
    bool other = false;
    if (std::string why = NamedPlaceCell(line, places, u, shown, other); !why.empty()) return why;
    for (size_t i = from; other && i < ui.Log.size(); ++i)
        if (ui.Log[i].find("Chip addr") != std::string::npos) return "a chip address for another memory's cell";
    // The same line with the range from one (blank) cell lower where the
    // part has one and its data elsewhere in the buffer (a blank check takes
    // none of them).
    const uint32_t start = DeviceStart;
    DeviceStart -= DeviceStart > base ? 1 : 0;
    BufferStart = DeviceStart + 0x100;
    from = ui.Log.size();
    RunOperation(MainEngine, OpBlankCheck);
    DeviceStart = BufferStart = start;
    at = from;
    while (at < ui.Log.size() && ui.Log[at] != "Blank check error!") ++at;
    if (at + 1 >= ui.Log.size() || ui.Log[at + 1] != line)
        return "over another range from Buffer Start 100h units apart the blank check gives \"" +
               (at + 1 < ui.Log.size() ? ui.Log[at + 1] : FirstError(ui, from)) + "\" for \"" + line + "\"";
    // What Read brings to the named cell's place.
    std::memset(buffer, kOther, imageBytes);
    const size_t readFrom = ui.Log.size();
    if (RunOperation(MainEngine, OpRead) != ResultOk) return "read FAILED (" + FirstError(ui, readFrom) + ")";
    const unsigned held = unit > 1 ? buffer[u * 2] | buffer[u * 2 + 1] << 8 : buffer[u];
    if (shown != held) {
        char m[160];
        std::snprintf(m, sizeof m, "\"%s\" shows %04Xh, the part holds %04Xh there", line.c_str(), shown, held);
        return m;
    }
    p.line += " blank check:" + line;
    return "";
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
    if (!declares && !partKeepsPlaces && !RowHasPlaces(d.row)) GTEST_SKIP() << "the row keeps no buffer place";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kFixedPlace, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    if (RowPlaces(CurrentAlgorithm).empty()) {
        p.line += declares ? " declares buffer places its row's description does not give"
                           : " the part keeps buffer places its row's description does not give";
        Report(p, kFixedPlace, GetParam(), true, ui, ui.Log.size());
        return;
    }
    if (const std::string differs = DeclarationDiffers(CurrentAlgorithm); !differs.empty()) {
        p.line += differs;
        Report(p, kFixedPlace, GetParam(), true, ui, ui.Log.size());
        return;
    }
    // A PIC's data memory as its datasheet gives it: the place from word
    // 2100h holds a word for each of its bytes.
    const sim::PicFacts* pic = p.part->As<sim::PicFacts>();
    const uint32_t dataBytes = pic != nullptr ? pic->dataBytes : 0;
    if (dataBytes != 0) {
        uint64_t kept = 0;
        for (const RowPlace& f : RowPlaces(CurrentAlgorithm))
            if (f.chip == kPicDataWord) kept = f.last - f.first + 1;
        if (kept != dataBytes) {
            p.line += " keeps " + std::to_string(kept) + " data words for the part's " + std::to_string(dataBytes) +
                      " data bytes";
            Report(p, kFixedPlace, GetParam(), true, ui, ui.Log.size());
            return;
        }
    }
    if (!(SupportedOperationMask & OpMaskRead)) GTEST_SKIP() << p.line << " no Read";
    const unsigned unit = DataWidth > 8 ? 2 : 1; // buffer bytes per chip address
    const uint32_t base = DeviceStart, top = DeviceEnd;
    const std::vector<PlaceCase> cases = PlaceCases(CurrentAlgorithm, base, top);
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
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        p.line += " [" + c.name + "]";
        // The declaration follows the range as the table does.
        if (const std::string differs = DeclarationDiffers(CurrentAlgorithm); !differs.empty()) {
            p.line += differs;
            failed = true;
            break;
        }
        const std::vector<RowPlace> places = RowPlaces(CurrentAlgorithm);
        const bool programMeets = MeetsAPlace(places, c.start, c.end, c.bufferStart);
        const bool readMeets = MeetsAPlace(places, c.start, c.end, c.bufferStart, RowReadArea(CurrentAlgorithm));
        const size_t first = size_t{c.bufferStart} * unit, bytes = size_t{c.end - c.start + 1} * unit;
        BufferEnd = static_cast<uint32_t>(first + bytes - 1);
        ASSERT_EQ(SelectBank(std::max<uint32_t>(BufferEnd, 0x2FFFF), 1), 1);
        SelectBank(0, 0);
        uint8_t* buffer = BufferImage();
        const size_t imageBytes = size_t{BankCount} * BufferBankBytes;
        std::memset(buffer, kOther, imageBytes);
        // An image of another memory is programmed from its place.
        const std::vector<bool> image = OtherMemoryBytes(places, unit, imageBytes);
        for (size_t i = 0; i < imageBytes; ++i)
            if (image[i]) buffer[i] = AddressByte(i);
        std::copy_n(whole.begin() + static_cast<ptrdiff_t>(size_t{c.start - base} * unit), bytes,
                    buffer + first);
        const std::vector<uint8_t> before(buffer, buffer + imageBytes);
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
        // Refused before power-up exactly where the range meets a place: a
        // Read then too, nothing switched on, the part blank, the buffer as
        // it was; Read alone where only its area does.
        auto checkRefused = [&](const char* op, int result, size_t at) {
            p.line += result == ResultOk ? std::string(" ") + op + " served" : std::string(" ") + op + " refused";
            if (!refusedWithLine(at)) p.line += " (without the line)";
            if (watch.switchedOn) p.line += " after a supply was switched on";
            const bool kept = std::equal(before.begin(), before.end(), buffer);
            if (!kept) p.line += " with the buffer changed";
            const std::string written =
                result == ResultOk || !refusedWithLine(at) ? "" :
                CellsNotBlank(*chip, *p.part, base, std::min<uint32_t>(top - base + 1, 0x1000), "after the refusal") +
                CellsNotBlank(*chip, *p.part, c.start, std::min<uint32_t>(c.end - c.start + 1, 0x1000),
                              "after the refusal");
            p.line += written;
            return result == ResultOk || !refusedWithLine(at) || watch.switchedOn || !kept || !written.empty();
        };
        if (refusedWithLine(runFrom) != programMeets) {
            p.line += programMeets ? " program served over a place" : " program refused where no place is met";
            p.line += " (" + FirstError(ui, runFrom) + ")";
            failed = true;
            break;
        }
        if (programMeets) {
            failed = checkRefused("program", programmed, runFrom);
            const size_t readFrom = ui.Log.size();
            simp->AttachComponent(&watch);
            const int read = RunOperation(MainEngine, OpRead);
            simp->DetachComponent(&watch);
            failed = checkRefused("read", read, readFrom) || failed;
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
        // The PIC data memory, programmed from its place whatever the
        // range: each byte the low byte of its word.
        const auto* picChip = sim::SeatedModel<sim::PicChip>(chip);
        for (uint32_t i = 0; !failed && picChip != nullptr && i < dataBytes; ++i) {
            const uint8_t want = buffer[size_t{kPicDataWord + i} * 2];
            if (picChip->DataByte(i) != want) {
                char m[96];
                std::snprintf(m, sizeof m, " data byte %Xh holds %02Xh, %02Xh programmed from its place", i,
                              picChip->DataByte(i), want);
                p.line += m;
                failed = true;
            }
        }
        if (failed) break;
        // Read into a buffer of other data: the range's bytes back, the
        // images of another memory back at their places, every other byte
        // left but the places the row fills whatever the range.
        std::memset(buffer, kOther, imageBytes);
        const size_t readFrom = ui.Log.size();
        if (readMeets) {
            SupplyWatch readWatch;
            simp->AttachComponent(&readWatch);
            const int read = RunOperation(MainEngine, OpRead);
            simp->DetachComponent(&readWatch);
            const bool kept = std::all_of(buffer, buffer + imageBytes, [](uint8_t b) { return b == kOther; });
            p.line += read == ResultOk ? " read served over a place" : " read refused";
            if (!refusedWithLine(readFrom)) p.line += " (without the line)";
            if (readWatch.switchedOn) p.line += " after a supply was switched on";
            if (!kept) p.line += " with the buffer changed";
            failed = read == ResultOk || !refusedWithLine(readFrom) || readWatch.switchedOn || !kept;
            continue;
        }
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
        if (const std::string m = failed ? "" : ImageReadBackMismatch(buffer, image); !m.empty()) {
            p.line += m;
            failed = true;
        }
        // Each PIC data byte back at its place, the high byte 00h.
        for (uint32_t i = 0; !failed && picChip != nullptr && i < dataBytes; ++i) {
            const size_t b = size_t{kPicDataWord + i} * 2;
            if (buffer[b] != picChip->DataByte(i) || buffer[b + 1] != 0) {
                char m[96];
                std::snprintf(m, sizeof m, " data byte %Xh read as %02X%02Xh, the part holds %02Xh", i, buffer[b + 1],
                              buffer[b], picChip->DataByte(i));
                p.line += m;
                failed = true;
            }
        }
        std::vector<bool> filled(imageBytes);
        for (size_t i = first; i < first + bytes && i < imageBytes; ++i)
            filled[i] = true;
        for (const RowPlace& f : places)
            if (!f.rangeOnly)
                for (size_t i = f.first * unit; i < (f.last + 1) * unit && i < imageBytes; ++i)
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
    if (const std::string why = failed ? "" : BlankCheckNamesThePlace(p, d, ui, base, top); !why.empty()) {
        p.line += " " + why;
        failed = true;
    }
    // Counted as refused where the row refused every range it was given.
    Report(p, kFixedPlace, GetParam(), failed, ui, from,
           !failed && refusals == static_cast<int>(cases.size()));
}

} // namespace
