// Every device that offers Program with its data elsewhere in the buffer
// than at its chip addresses, as a user sets Buffer Start apart from Chip
// Start: 8000h bytes or words above (a 16-bit device's at or above word
// 8000h, its second bank), one below, and placed so that the range's buffer
// bytes cross a 64 KB bank. Each time on a fresh part over a few hundred
// addresses in the part's largest window of cells (its catalog map), and
// laid over each image of another memory the row keeps (the AVR data
// EEPROM's from Chip End + 1, row 301's hidden word) and with row 116's
// calibration area over its ID words: Program (with its blank check and
// verify) writes the range's data to the part's cells at their chip
// addresses and nothing below or just above, and where the device offers
// Read, it fills Buffer Start..Buffer End with it (the buffer holding there
// first what the part does not) and leaves every other buffer byte. Every
// byte outside the range holds its address's own byte while Program runs,
// so an image programmed from the wrong place, or read back to one, shows:
// each image is read back at its place as it was programmed from there, and
// row 116's calibration words where their chip addresses put them. A row
// that takes the data at the chip's own addresses refuses such a run with
// its line before any supply is switched on, and so does a row over a place
// it keeps, exactly where the table of the rows' places (RowPlaces.h) says
// the range meets one; both are counted apart.
#include "tests/sweep/Sweep.h"

#include "engine/Services.h"
#include "mcu/Pic.h"
#include "sim/AddressListChip.h"
#include "shell/CfgOpt.h"
#include "tests/sweep/RowPlaces.h"

namespace {

using namespace sweep;

// Buffer bytes a row keeps at a fixed place outside the range whatever
// Buffer Start says, which Read fills: a PIC's configuration, ID and data
// words, a signature area, option bytes.
struct FixedPlace {
    size_t first, bytes;
};
std::vector<FixedPlace> FixedPlaces(uint32_t row) {
    switch (row) {
    case 110:
    case 111:
    case 112:
    case 113:
    case 114:
    case 115:
    case 116:
    case 121: {
        const PicPositions at = PicBufferPositions();
        const size_t bank = row == 113 ? 0x10000 : 0;
        std::vector<FixedPlace> v = {{bank + 2 * size_t{at.Config}, 2}, {2 * size_t{0x2100}, 128}};
        if (at.Id != 0) v.push_back({bank + 2 * size_t{at.Id}, 8});
        // The calibration area a read brings in after the part's program
        // words, where their chip addresses put them from Buffer Start.
        if (row == 116) v.push_back({2 * (size_t{BufferStart} + DeviceSize - DeviceStart), 0x100});
        return v;
    }
    case 128: return {{0x10000, 0x100}};
    case 189: return {{0xFD00, 0x100}};
    default: return {};
    }
}

// One run: chip range start..end, its data from buffer unit `bufferStart`
// (a 16-bit device's words).
struct ApartCase {
    std::string name;
    uint32_t start, end, bufferStart;
};

// The buffer units of a PIC's configuration word, which keeps the pass's
// plain byte: another would turn its code protection on.
bool PicConfigUnit(uint32_t row, size_t u) {
    switch (row) {
    case 110:
    case 114: return u == 0xFFF;
    case 113: return u == 0xFE00;
    case 111:
    case 112:
    case 115:
    case 116:
    case 121: return u == 0x2007;
    default: return false;
    }
}

TEST_P(EveryDevice, WithTheBufferApart) {
    const LibraryDevice& d = Devices()[GetParam()];
    // A fuse map sits at image byte 0 whatever Buffer Start says; the
    // address-list parts take their words at their addresses in the buffer,
    // so their rows must refuse a Buffer Start apart.
    const sim::CatalogPart* listed = d.section == SectionPld ? sim::FindPart(d.maker, d.name) : nullptr;
    const bool addressList =
        listed != nullptr && sim::SeatedModel<sim::AddressListChip>(&BlankPart(*listed)) != nullptr;
    if (d.section == SectionPld && !addressList) GTEST_SKIP() << "a fuse map is programmed whole";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kBufferApart, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    const bool reads = (SupportedOperationMask & OpMaskRead) != 0;
    const unsigned unit = DataWidth > 8 ? 2 : 1; // buffer bytes per chip address
    const uint32_t base = DeviceStart, bufferBase = BufferStart, top = DeviceEnd;
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    const bool ownAddresses = (def != nullptr && def->DataAtChipAddresses) || addressList;
    // A start the row accepts: its first address where it refuses others,
    // else in the part's largest window of cells.
    const bool anyStart = def == nullptr || def->StartRefusal == nullptr;
    const std::vector<CellWindow> windows = CellWindows(*p.part, base, top, unit);
    const CellWindow w = anyStart ? LargestWindow(windows) : windows.front();
    const uint32_t start = anyStart ? w.first + (w.Size() > 0x400 ? 0x1B9 : w.last > w.first ? 1 : 0) : base;
    // A row that takes only its first address as start runs its whole range
    // where that is at most 8 KB (its layout's end included), else into its
    // first window of cells.
    const uint32_t end = anyStart ? std::min<uint32_t>(w.last, start + 0x2FF)
                         : top - base < 0x2000 ? top
                                               : std::min<uint32_t>(top, std::max(start, w.first) + 0xFFF);
    const uint32_t count = end - start + 1;
    const uint32_t own = bufferBase + (start - base); // the buffer start that matches the chip start
    std::vector<ApartCase> cases = {{"8000h above", start, end, own + 0x8000}};
    if (own > 0) cases.push_back({"1 below", start, end, own - 1});
    // The range's buffer bytes cross from one 64 KB bank into the next.
    if (const uint32_t across = 0x10000 / unit - count / 2; count > 1 && across != own)
        cases.push_back({"across a bank", start, end, across});
    {
        // The range laid across each image of another memory the row keeps,
        // and a read's area past it over the row's first place.
        const uint32_t saved[] = {DeviceStart, DeviceEnd, BufferStart};
        DeviceStart = start;
        DeviceEnd = end;
        BufferStart = own;
        const std::vector<RowPlace> places = RowPlaces(CurrentAlgorithm);
        char n[64];
        for (const RowPlace& f : places) {
            if (!f.otherMemory || f.first < count / 2) continue;
            std::snprintf(n, sizeof n, "over the image at %llXh", static_cast<unsigned long long>(f.first));
            cases.push_back({n, start, end, static_cast<uint32_t>(f.first - count / 2)});
        }
        const ReadArea area = RowReadArea(CurrentAlgorithm);
        if (const uint64_t before = count + area.skip + area.count / 2;
            area.count != 0 && !places.empty() && places.front().first >= before) {
            std::snprintf(n, sizeof n, "read area over %llXh", static_cast<unsigned long long>(places.front().first));
            cases.push_back({n, start, end, static_cast<uint32_t>(places.front().first - before)});
        }
        DeviceStart = saved[0];
        DeviceEnd = saved[1];
        BufferStart = saved[2];
    }

    // The whole layout's data as a user's file gives it.
    std::vector<uint8_t> whole(size_t{top - base + 1} * unit);
    FillRandom(whole.data(), whole.size(), static_cast<uint32_t>(GetParam()) + 23);
    ShapeData(CurrentAlgorithm, whole.data(), whole.size());
    const size_t from = ui.Log.size();
    bool failed = false, refused = false;
    for (const ApartCase& c : cases) {
        if (failed) break;
        InstallSimulator(0);
        SetCurrentDevice(d.record);
        sim::SimProgrammer* simp = ProgramSimulator();
        sim::CatalogChip* chip = SeatedSimChip();
        ASSERT_NE(chip, nullptr);
        DeviceStart = c.start;
        DeviceEnd = c.end;
        BufferStart = c.bufferStart;
        const size_t first = size_t{c.bufferStart} * unit, bytes = size_t{count} * unit;
        BufferEnd = static_cast<uint32_t>(first + bytes - 1);
        ASSERT_EQ(SelectBank(std::max<uint32_t>(BufferEnd, 0x1FFFF), 1), 1);
        SelectBank(0, 0);
        uint8_t* buffer = BufferImage();
        const size_t imageBytes = size_t{BankCount} * BufferBankBytes;
        // Other data everywhere else, each byte its address's own: a row that
        // takes the data from the chip's own place in the buffer programs
        // the wrong bytes, and an image taken from elsewhere shows.
        for (size_t i = 0; i < imageBytes; ++i)
            buffer[i] = PicConfigUnit(CurrentAlgorithm, i / unit) ? 0x5A : AddressByte(i);
        const size_t offset = size_t{c.start - base} * unit;
        std::copy_n(whole.begin() + static_cast<ptrdiff_t>(offset), bytes, buffer + first);
        p.line += " [" + c.name + "]";
        const std::vector<RowPlace> places = RowPlaces(CurrentAlgorithm);
        const bool programMeets = MeetsAPlace(places, c.start, c.end, c.bufferStart);
        const bool readMeets = MeetsAPlace(places, c.start, c.end, c.bufferStart, RowReadArea(CurrentAlgorithm));
        BlankCheckBeforeProgram = ownAddresses ? 0 : 1;
        VerifyAfterProgram = 1;
        VerifyAfterRead = 0;
        const size_t runFrom = ui.Log.size();
        if (ownAddresses) {
            // Refused before power-up: nothing switched on, the part blank,
            // the buffer as it was.
            SupplyWatch watch;
            simp->AttachComponent(&watch);
            const std::vector<uint8_t> before(buffer, buffer + imageBytes);
            const int programmed = RunOperation(MainEngine, OpProgram);
            const int read = reads ? RunOperation(MainEngine, OpRead) : ResultFailed;
            simp->DetachComponent(&watch);
            int said = 0;
            for (size_t i = runFrom; i < ui.Log.size(); ++i) said += ui.Log[i].rfind(BufferStartRefusal, 0) == 0;
            p.line += programmed == ResultOk || read == ResultOk ? " served" : " refused";
            const int runs = reads ? 2 : 1;
            if (said != runs)
                p.line += std::string(" without the line \"") + BufferStartRefusal + "...\"" + (reads ? " on both runs" : "");
            if (watch.switchedOn) p.line += " after a supply was switched on";
            const bool kept = std::equal(before.begin(), before.end(), buffer);
            if (!kept) p.line += " with the buffer changed";
            const std::string written =
                CellsNotBlank(*chip, *p.part, base, std::min<uint32_t>(top - base + 1, 0x1000), "after the refusal");
            p.line += written;
            failed = programmed == ResultOk || read == ResultOk || said != runs || watch.switchedOn || !kept ||
                     !written.empty();
            refused = true;
            continue;
        }
        const int programmed = RunOperation(MainEngine, OpProgram);
        // A range whose buffer bytes meet a place the row keeps for other
        // chip addresses is refused with the row's first line, and only
        // such a range (the fixed-place pass checks such refusals whole).
        const bool placeLine = ui.Log.size() > runFrom && ui.Log[runFrom].rfind(FixedPlaceRefusal, 0) == 0;
        if (programMeets || placeLine) {
            const bool ok = programMeets && placeLine && programmed != ResultOk;
            p.line += ok ? " refused over a fixed place"
                     : programMeets ? " program served over a place (" + FirstError(ui, runFrom) + ")"
                                    : " program refused where no place is met";
            failed = !ok;
            refused = true;
            continue;
        }
        p.line += programmed == ResultOk ? " program, verify ok" : " program, verify FAILED";
        failed = programmed != ResultOk;
        if (failed) p.line += " (" + FirstError(ui, runFrom) + ")";
        auto expectWith = [&](uint32_t address, unsigned lane, uint8_t fill) {
            const size_t b = size_t{address - base} * unit + lane;
            return ExpectedAt(b, whole[b], *p.part, *chip, base, unit, fill);
        };
        auto expect = [&](uint32_t address, unsigned lane) { return expectWith(address, lane, 0x5A); };
        // The part's cells: the range at its chip addresses, blank below it
        // and in the 16 just above it.
        const sim::CatalogChip& blank = BlankPart(*p.part);
        size_t checked = 0; // cells of the range checked
        for (uint32_t a = base; !failed && chip->Words() > 0 && a <= std::min(top, c.end + 16); ++a) {
            for (unsigned lane = 0; !failed && lane < unit; ++lane) {
                const Expected e = expect(a, lane);
                if (!e.programmed) continue;
                const bool inRange = a >= c.start && a <= c.end;
                checked += inRange;
                const uint8_t has = CellByte(*chip, a, lane), want = inRange ? e.value : CellByte(blank, a, lane);
                if (has != want) {
                    char m[128];
                    std::snprintf(m, sizeof m, " cell %Xh%s holds %02Xh, %02Xh %s", a, unit > 1 ? (lane ? "H" : "L") : "",
                                  has, want, inRange ? "written" : "blank outside the range");
                    p.line += m;
                    failed = true;
                }
            }
        }
        if (!failed && !RangeMeetsCells(windows, *chip, c.start, c.end, checked, reads)) {
            p.line += " (the range meets no cell of the part)";
            failed = true;
        }
        if (failed) break;
        if (!reads) {
            p.line += " (no Read: cells checked)";
            continue;
        }
        // Read into a buffer of other data: the range filled, every byte
        // outside Buffer Start..Buffer End left but the images of another
        // memory at the places the table gives (each back as it was
        // programmed from there) and a read's area past the range (the
        // part's words where their chip addresses put them). The range's
        // bytes, the images' and the area's hold first what the part does
        // not hold there.
        const std::vector<bool> image = OtherMemoryBytes(places, unit, imageBytes);
        const ReadArea area = RowReadArea(CurrentAlgorithm);
        const size_t areaAt = first + bytes + area.skip * unit, areaEnd = std::min(areaAt + area.count * unit, imageBytes);
        auto areaCell = [&](size_t i) {
            const size_t k = i - first;
            return CellByte(*chip, c.start + static_cast<uint32_t>(k / unit), static_cast<unsigned>(k % unit));
        };
        std::memset(buffer, 0x5A, imageBytes);
        FillUnlikeThePart(buffer + first, bytes, c.start, unit, *p.part, 0x5A, expectWith);
        for (size_t i = 0; i < imageBytes; ++i)
            if (image[i]) buffer[i] = Unlike(AddressByte(i), 0xFF);
        for (size_t i = areaAt; i < areaEnd; ++i) buffer[i] = Unlike(areaCell(i), 0x5A);
        const size_t readFrom = ui.Log.size();
        const int read = RunOperation(MainEngine, OpRead);
        if (readMeets) {
            // Its area would land on a place: Read alone is refused.
            const bool ok = read != ResultOk && ui.Log.size() > readFrom &&
                            ui.Log[readFrom].rfind(FixedPlaceRefusal, 0) == 0;
            p.line += ok ? " read refused over a fixed place" : " read served over a place";
            failed = !ok;
            refused = true;
            continue;
        }
        p.line += read == ResultOk ? " read ok" : " read FAILED";
        failed = read != ResultOk;
        if (failed) p.line += " (" + FirstError(ui, runFrom) + ")";
        for (size_t i = 0; !failed && i < bytes; ++i) {
            const Expected e = expect(c.start + static_cast<uint32_t>(i / unit), static_cast<unsigned>(i % unit));
            if (buffer[first + i] != e.value) {
                char m[112];
                std::snprintf(m, sizeof m, " mismatch at buffer %zXh: %02Xh read, %02Xh expected", first + i,
                              buffer[first + i], e.value);
                p.line += m;
                failed = true;
            }
        }
        // Each image was programmed from its place, and is read back there.
        if (const std::string m = failed ? "" : ImageReadBackMismatch(buffer, image); !m.empty()) {
            p.line += m;
            failed = true;
        }
        for (size_t i = areaAt; !failed && i < areaEnd; ++i) {
            if (buffer[i] == areaCell(i)) continue;
            char m[112];
            std::snprintf(m, sizeof m, " read area at buffer %zXh: %02Xh, the part's %02Xh", i, buffer[i], areaCell(i));
            p.line += m;
            failed = true;
        }
        std::vector<bool> fixed(size_t{BankCount} * BufferBankBytes);
        for (const FixedPlace& f : FixedPlaces(CurrentAlgorithm))
            for (size_t i = f.first; i < f.first + f.bytes && i < fixed.size(); ++i) fixed[i] = true;
        // And the places the table gives that a read fills whatever the range.
        for (const RowPlace& f : places)
            if (!f.rangeOnly)
                for (size_t i = f.first * unit; i < (f.last + 1) * unit && i < fixed.size(); ++i) fixed[i] = true;
        if (const std::string w =
                failed ? ""
                       : ReadWroteOutside(buffer, 0, size_t{BankCount} * BufferBankBytes, [&](size_t i) {
                             return (i < first || i >= first + bytes) && !image[i] && (i < areaAt || i >= areaEnd) &&
                                    !fixed[i];
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
    Report(p, kBufferApart, GetParam(), failed, ui, from, refused && !failed);
}

} // namespace

namespace {

using namespace sweep;

// A user's run of a 16-bit EPROM with its data in the buffer's second half:
// a 128 KB file loaded at buffer byte 0, Chip 0-7FFFh, Buffer Start 8000h
// (words); Program, the buffer cleared, Read, and buffer bytes 10000h-1FFFFh
// saved: the saved file is the file's upper half, and the part holds it.
class UserRun : public ProgramRig<::testing::Test> {};

TEST_F(UserRun, AWordEpromFromBufferWord8000h) {
    if (SweptLibrary() != "krd.dat") GTEST_SKIP() << "the product's library";
    const auto& all = Devices();
    const auto d = std::find_if(all.begin(), all.end(), [](const LibraryDevice& x) {
        return x.maker == "AMD" && x.name == "Am27C4096";
    });
    ASSERT_NE(d, all.end());
    DeviceSection = d->section;
    ASSERT_EQ(SetCurrentDevice(d->record), 1);
    const std::string dir = ::testing::TempDir();
    const std::string file = dir + "/user128k.bin", saved = dir + "/upper64k.bin";
    std::vector<uint8_t> data(0x20000);
    FillRandom(data.data(), data.size(), 4096);
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
        std::fclose(f);
    }
    ASSERT_EQ(LoadFileAt(file, 0, 0), 1);
    DeviceStart = 0;
    DeviceEnd = 0x7FFF;
    BufferStart = 0x8000;
    BufferEnd = ComputeSplitBufferEnd();
    EXPECT_EQ(BufferEnd, 0x1FFFFu);
    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    ASSERT_EQ(RunOperation(MainEngine, OpProgram), ResultOk);
    const sim::CatalogChip* chip = SeatedSimChip();
    ASSERT_NE(chip, nullptr);
    for (uint32_t a = 0; a < 0x8000; ++a)
        ASSERT_EQ(chip->Cell(a), data[0x10000 + 2 * a] | data[0x10001 + 2 * a] << 8) << "word " << a;
    ASSERT_EQ(FillBufferRange(0, 0x1FFFF, 0xFF), 1);
    const size_t readFrom = ui.Log.size();
    ASSERT_EQ(RunOperation(MainEngine, OpRead), ResultOk);
    // The read's checksum is the byte sum of the image from Buffer Start's
    // word: the file's upper half.
    uint32_t sum = 0;
    for (size_t b = 0x10000; b < 0x20000; ++b) sum += data[b];
    char line[32];
    std::snprintf(line, sizeof line, "-CheckSum : %04Xh", sum & 0xFFFF);
    EXPECT_TRUE(Logged(ui, readFrom, line)) << line;
    ASSERT_EQ(SaveRangeAs(saved, 0x10000, 0x1FFFF), 1);
    std::vector<uint8_t> back(0x10000);
    std::FILE* f = std::fopen(saved.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fread(back.data(), 1, back.size() + 1, f), back.size());
    std::fclose(f);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin() + 0x10000));
    // The lower half of the buffer stays as cleared: the read wrote nothing there.
    for (uint32_t b = 0; b < 0x10000; ++b) ASSERT_EQ(ReadBufferByteCached(b), 0xFF) << b;
    for (const std::string& l : ui.Log) std::printf("[user run] %s\n", l.c_str());
}

} // namespace
