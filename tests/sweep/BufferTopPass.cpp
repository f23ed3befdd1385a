// Every device that offers Program with its data at the buffer's top: a
// range of a few addresses from the row's first one whose buffer bytes (and
// what a read stores past them: row 116's calibration words) end on the
// buffer's last byte, then one unit further. The first runs on a fresh part:
// Program (with its verify) writes the range's cells and nothing just above,
// and Read fills the range's bytes (and the area) at the top and no other
// byte of the top banks. The second is refused before any supply is
// switched on with the line naming Buffer End and the buffer's size, for
// Read, and for Program where the range's own bytes pass the last byte (else
// Program runs: it takes no area), the part blank and the buffer as it was.
// A second image the row keeps from byte Chip End + 1 (the AVR data
// EEPROM's) lies low in the buffer here, far from the top. The buffer is
// reserved a little above the device's image (not 256 MB), so that its last
// byte is reached without filling 256 MB per device: the refusal and the
// last bank's advance depend on the buffer's size only.
#include "tests/sweep/Sweep.h"

#include "engine/Services.h"
#include "tests/sweep/RowPlaces.h"

namespace {

using namespace sweep;

constexpr uint32_t kUnits = 8;   // chip addresses in the range

TEST_P(EveryDevice, AtTheBuffersLastByte) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "a fuse map stays at the buffer's start";
    // Room for the device's image and the fixed places rows keep low in the
    // buffer (option areas at 10000h and above).
    const uint64_t imageBanks = (d.bytes + BufferBankBytes - 1) / BufferBankBytes;
    const uint32_t banks = static_cast<uint32_t>(std::min<uint64_t>(MaxBankCount, std::max<uint64_t>(64, imageBanks + 2)));
    auto fresh = [&](PassDevice& p, std::string& skip) {
        BufferReserveBanks = banks;
        InitBuffers();
        InstallSimulator(0);
        return Ready(p, d, GetParam(), kBufferTop, skip);
    };
    PassDevice p;
    if (std::string skip; !fresh(p, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    if (def != nullptr && def->DataAtChipAddresses) GTEST_SKIP() << p.line << " takes the data at the chip's addresses";
    const unsigned unit = DataWidth > 8 ? 2 : 1; // buffer bytes per chip address
    const uint32_t base = DeviceStart, top = DeviceEnd;
    // A row that walks the part's whole map runs its whole range.
    const bool whole = def != nullptr && def->EndRefusal != nullptr;
    if (whole && uint64_t{top - base + 1} * unit > 0x10000) GTEST_SKIP() << p.line << " whole range only";
    const uint32_t end = whole ? top : std::min<uint32_t>(top, base + kUnits - 1);
    const size_t bytes = size_t{end - base + 1} * unit;
    const uint64_t capacity = BufferCapacityBytes();
    // What a read stores past the range, for this range.
    DeviceEnd = end;
    const ReadArea area = RowReadArea(CurrentAlgorithm);
    DeviceEnd = top;
    const size_t areaBytes = static_cast<size_t>(area.skip + area.count) * unit;
    // Buffer Start in units: the range's bytes and the read's area end on
    // the buffer's last byte.
    const uint32_t atTop = static_cast<uint32_t>((capacity - areaBytes - bytes) / unit);
    std::vector<uint8_t> image(size_t{top - base + 1} * unit);
    FillRandom(image.data(), image.size(), static_cast<uint32_t>(GetParam()) + 41);
    ShapeData(CurrentAlgorithm, image.data(), image.size());
    const size_t from = ui.Log.size();
    bool failed = false;
    // The top banks the range's bytes lie in: what the checks look at.
    const size_t window = std::min<size_t>(capacity, 2 * BufferBankBytes), low = capacity - window;
    for (const bool past : {false, true}) {
        if (failed) break;
        if (past) {
            const std::string line = p.line;
            std::string skip;
            if (!fresh(p, skip)) return;
            p.line = line;
        }
        sim::SimProgrammer* simp = ProgramSimulator();
        sim::CatalogChip* chip = SeatedSimChip();
        ASSERT_NE(chip, nullptr);
        DeviceStart = base;
        DeviceEnd = end;
        BufferStart = atTop + (past ? 1 : 0);
        const size_t first = size_t{BufferStart} * unit;
        ASSERT_EQ(SelectBank(static_cast<uint32_t>(capacity - 1), 1), 1);
        SelectBank(0, 0);
        uint8_t* buffer = BufferImage();
        std::memset(buffer + low, kOther, window);
        const size_t in = std::min<size_t>(bytes, capacity - first);
        std::copy_n(image.begin(), in, buffer + first);
        BlankCheckBeforeProgram = past ? 0 : 1;
        VerifyAfterProgram = 1;
        VerifyAfterRead = 0;
        char range[96];
        std::snprintf(range, sizeof range, " [Buffer Start %Xh, %Xh-%Xh]", BufferStart, base, end);
        p.line += range;
        const size_t runFrom = ui.Log.size();
        const bool reads = (SupportedOperationMask & OpMaskRead) != 0;
        if (past) {
            // Read first: a Program the area does not stop switches the part on.
            const bool programPast = first + bytes > capacity;
            SupplyWatch watch;
            simp->AttachComponent(&watch);
            const std::vector<uint8_t> before(buffer + low, buffer + capacity);
            const int read = reads ? RunOperation(MainEngine, OpRead) : ResultFailed;
            const size_t programFrom = ui.Log.size();
            const int programmed = programPast ? RunOperation(MainEngine, OpProgram) : ResultFailed;
            simp->DetachComponent(&watch);
            int said = 0;
            for (size_t i = runFrom; i < ui.Log.size(); ++i) said += ui.Log[i].rfind(BufferEndRefusal, 0) == 0;
            const int runs = (reads ? 1 : 0) + (programPast ? 1 : 0);
            p.line += programmed == ResultOk || read == ResultOk ? " served" : " refused";
            if (said != runs) p.line += std::string(" without the line \"") + BufferEndRefusal + "...\"";
            if (watch.switchedOn) p.line += " after a supply was switched on";
            if (!std::equal(before.begin(), before.end(), buffer + low)) p.line += " with the buffer changed";
            const std::string written = CellsNotBlank(*chip, *p.part, base, std::min<uint32_t>(top - base + 1, 0x100),
                                                      "after the refusal");
            p.line += written;
            failed = programmed == ResultOk || read == ResultOk || said != runs || watch.switchedOn ||
                     !written.empty() || !std::equal(before.begin(), before.end(), buffer + low);
            // Program takes no area: it runs where the range's bytes fit.
            if (!failed && !programPast) {
                const int served = RunOperation(MainEngine, OpProgram);
                p.line += served == ResultOk ? ", program ok" : ", program FAILED (" + FirstError(ui, programFrom) + ")";
                failed = served != ResultOk;
            }
            continue;
        }
        const int programmed = RunOperation(MainEngine, OpProgram);
        p.line += programmed == ResultOk ? " program, verify ok" : " program, verify FAILED";
        failed = programmed != ResultOk;
        if (failed) p.line += " (" + FirstError(ui, runFrom) + ")";
        auto expect = [&](uint32_t address, unsigned lane) {
            const size_t b = size_t{address - base} * unit + lane;
            return ExpectedAt(b, image[b], *p.part, *chip, base, unit, kOther);
        };
        // The part's cells: the range, and blank in the 16 just above it.
        const sim::CatalogChip& blank = BlankPart(*p.part);
        for (uint32_t a = base; !failed && chip->Words() > 0 && a <= std::min(top, end + 16); ++a) {
            for (unsigned lane = 0; !failed && lane < unit; ++lane) {
                const Expected e = expect(a, lane);
                if (!e.programmed) continue;
                const bool inRange = a <= end;
                const uint8_t has = CellByte(*chip, a, lane);
                const uint8_t want =
                    inRange ? (e.cell >= 0 ? static_cast<uint8_t>(e.cell) : e.value) : CellByte(blank, a, lane);
                if (has != want) {
                    char m[128];
                    std::snprintf(m, sizeof m, " cell %Xh%s holds %02Xh, %02Xh %s", a, unit > 1 ? (lane ? "H" : "L") : "",
                                  has, want, inRange ? "written" : "blank above the end");
                    p.line += m;
                    failed = true;
                }
            }
        }
        if (failed || !reads) continue;
        // Read into the top banks filled with other data: the range's bytes
        // at the top and the read's area after them holding the part's
        // cells there (the units skipped before it left), nothing else
        // there changed.
        std::memset(buffer + low, kOther, window);
        const int read = RunOperation(MainEngine, OpRead);
        p.line += read == ResultOk ? " read ok" : " read FAILED (" + FirstError(ui, runFrom) + ")";
        failed = read != ResultOk;
        if (const std::string m = failed ? "" : ReadBackMismatch(buffer, first, bytes, base, unit, expect, {});
            !m.empty()) {
            p.line += m;
            failed = true;
        }
        for (size_t k = 0; !failed && k < areaBytes; ++k) {
            const uint64_t a = uint64_t{end} + 1 + k / unit;
            const bool stored = k / unit >= area.skip;
            const uint8_t want = stored ? CellByte(*chip, static_cast<uint32_t>(a), static_cast<unsigned>(k % unit))
                                        : kOther;
            if (const size_t i = first + bytes + k; buffer[i] != want) {
                char m[112];
                std::snprintf(m, sizeof m, " read area at buffer %zXh: %02Xh, %02Xh %s", i, buffer[i], want,
                              stored ? "the part's" : "left");
                p.line += m;
                failed = true;
            }
        }
        if (const std::string w = failed ? "" : ReadWroteOutside(buffer, low, first, [](size_t) { return true; },
                                                                   "below Buffer Start");
            !w.empty()) {
            p.line += w;
            failed = true;
        }
        if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
            p.line += " violation: " + v;
            failed = true;
        }
    }
    Report(p, kBufferTop, GetParam(), failed, ui, from);
}

} // namespace
