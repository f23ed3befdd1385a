// Every device whose row keeps buffer places (RowPlaces.h) and offers byte
// lanes, in each of the six split modes (Even, Odd, Word0-Word3), over
// ranges whose lane set lies across each place, just below it, just above
// it, and over the whole part from Chip Start: each run, on a fresh part,
// is refused before power-up with the row's line exactly where the lane
// set meets a place (from the run's lane or another's), the part blank and
// the buffer as it was; else Program burns the lane's data at the range's
// chip addresses (a row without Program only reads), and Read fills the
// lane with what the part holds, brings the images of another memory back
// to their places, and leaves every other buffer byte but the places the
// row fills whatever the range.
#include "tests/sweep/Sweep.h"

#include "tests/sweep/RowPlaces.h"

namespace {

using namespace sweep;

constexpr const char* kLanePlaces = "in every byte lane over the row's places";

struct LaneCase {
    std::string name;
    uint32_t start, end, bufferStart;
};

// The lane sets that lie across, below and above each place, and the whole
// part from Chip Start where it meets one, for a part of chip addresses
// base..top in a split mode of `step` units a datum.
std::vector<LaneCase> LaneCases(uint32_t row, uint32_t base, uint32_t top, uint32_t step, uint32_t lane) {
    const uint32_t saved[] = {DeviceStart, DeviceEnd, BufferStart};
    std::vector<LaneCase> v;
    char n[96];
    const uint32_t count = std::min<uint32_t>(top - base + 1, 0x40), end = base + count - 1;
    DeviceStart = base;
    DeviceEnd = end;
    BufferStart = base;
    for (const RowPlace& p : RowPlaces(row)) {
        const uint64_t first = p.inLane ? p.first * step + lane : p.first;
        const uint64_t last = p.inLane ? p.last * step + lane : p.last;
        if (first >= count / 2 * step) {
            std::snprintf(n, sizeof n, "across %llXh", static_cast<unsigned long long>(first));
            v.push_back({n, base, end, static_cast<uint32_t>(first - count / 2 * step)});
        }
        if (first >= count * step) {
            std::snprintf(n, sizeof n, "just below %llXh", static_cast<unsigned long long>(first));
            v.push_back({n, base, end, static_cast<uint32_t>(first - count * step)});
        }
        std::snprintf(n, sizeof n, "just above %llXh", static_cast<unsigned long long>(last));
        v.push_back({n, base, end, static_cast<uint32_t>(last + 1)});
    }
    DeviceEnd = top;
    if (MeetsAPlace(RowPlaces(row), base, top, base, {}, step, lane)) v.push_back({"the whole part", base, top, base});
    DeviceStart = saved[0];
    DeviceEnd = saved[1];
    BufferStart = saved[2];
    return v;
}

TEST_P(EveryDevice, InEveryLaneOverTheRowsPlaces) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "a fuse map has no byte lanes";
    const RowDef* def = RowDefinition(d.row);
    if (def == nullptr || def->NoByteLanes) GTEST_SKIP() << "the row offers no byte lanes";
    if (def->FixedPlaces == nullptr) GTEST_SKIP() << "the row keeps no buffer place";
    PassDevice p;
    std::string skip;
    if (!Ready(p, d, GetParam(), kLanePlaces, skip)) {
        // A row that only reads (no Program) is swept by its reads.
        if (skip.empty() || skip.find(" no Program") == std::string::npos) {
            if (!skip.empty()) GTEST_SKIP() << skip;
            return;
        }
    }
    if (!(SupportedOperationMask & OpMaskRead)) GTEST_SKIP() << p.line << " no Read";
    const bool programs = (SupportedOperationMask & OpMaskProgram) != 0;
    const unsigned unit = DataWidth > 8 ? 2 : 1;
    const uint32_t base = DeviceStart, top = DeviceEnd;
    const size_t from = ui.Log.size();
    bool failed = false;
    int runs = 0, refusals = 0;
    for (uint32_t mode = 1; mode <= 6 && !failed; ++mode) {
        const uint32_t step = mode <= 2 ? 2 : 4, lane = mode <= 2 ? mode - 1 : mode - 3;
        WordMode = mode;
        const std::vector<LaneCase> cases = LaneCases(d.row, base, top, step, lane);
        WordMode = 0;
        for (const LaneCase& c : cases) {
            if (failed) break;
            InstallSimulator(0);
            WordMode = mode;
            SetCurrentDevice(d.record);
            sim::SimProgrammer* simp = ProgramSimulator();
            sim::CatalogChip* chip = SeatedSimChip();
            ASSERT_NE(chip, nullptr);
            DeviceStart = c.start;
            DeviceEnd = c.end;
            BufferStart = c.bufferStart;
            char name[16];
            std::snprintf(name, sizeof name, " [mode %u ", mode);
            p.line += name + c.name + "]";
            if (const std::string differs = DeclarationDiffers(CurrentAlgorithm); !differs.empty()) {
                p.line += differs;
                failed = true;
                break;
            }
            const std::vector<RowPlace> places = RowPlaces(CurrentAlgorithm);
            const bool meets = MeetsAPlace(places, c.start, c.end, c.bufferStart, RowReadArea(CurrentAlgorithm), step,
                                           lane);
            const size_t count = size_t{c.end} - c.start + 1;
            const size_t first = size_t{c.bufferStart} * unit, span = step * count * unit;
            auto at = [&](size_t k) { return first + (k * step + lane) * unit; }; // datum k's first byte
            ASSERT_EQ(SelectBank(static_cast<uint32_t>(std::max<size_t>(first + span, 0x40000) - 1), 1), 1);
            SelectBank(0, 0);
            uint8_t* buffer = BufferImage();
            const size_t imageBytes = size_t{BankCount} * BufferBankBytes;
            std::memset(buffer, kOther, imageBytes);
            const std::vector<bool> image = OtherMemoryBytes(places, unit, imageBytes);
            for (size_t i = 0; i < imageBytes; ++i)
                if (image[i]) buffer[i] = AddressByte(i);
            // The lane's data, the other lanes' other data.
            std::vector<uint8_t> data(count * unit);
            FillRandom(data.data(), data.size(), static_cast<uint32_t>(GetParam()) + 7 * mode + c.start);
            ShapeData(CurrentAlgorithm, data.data(), data.size());
            FillRandom(buffer + first, span, static_cast<uint32_t>(GetParam()) + 3 * mode);
            for (size_t k = 0; k < count; ++k) std::memcpy(buffer + at(k), data.data() + k * unit, unit);
            const std::vector<uint8_t> before(buffer, buffer + imageBytes);
            BlankCheckBeforeProgram = 1;
            VerifyAfterProgram = 1;
            VerifyAfterRead = 0;
            auto refusedWithLine = [&](size_t at) {
                for (size_t i = at; i < ui.Log.size(); ++i)
                    if (ui.Log[i].rfind(FixedPlaceRefusal, 0) == 0) return true;
                return false;
            };
            if (meets) {
                // Program (where offered) and Read refused before power-up.
                for (const int op : {OpProgram, OpRead}) {
                    if (op == OpProgram && !programs) continue;
                    const size_t runFrom = ui.Log.size();
                    SupplyWatch watch;
                    simp->AttachComponent(&watch);
                    const int result = RunOperation(MainEngine, op);
                    simp->DetachComponent(&watch);
                    const char* what = op == OpProgram ? " program" : " read";
                    p.line += std::string(what) + (result == ResultOk ? " served over a place" : " refused");
                    if (!refusedWithLine(runFrom)) p.line += " (without the line: " + FirstError(ui, runFrom) + ")";
                    if (watch.switchedOn) p.line += " after a supply was switched on";
                    const bool kept = std::equal(before.begin(), before.end(), buffer);
                    if (!kept) p.line += " with the buffer changed";
                    failed = failed || result == ResultOk || !refusedWithLine(runFrom) || watch.switchedOn || !kept;
                }
                if (const std::string w = CellsNotBlank(*chip, *p.part, base, std::min<uint32_t>(top - base + 1, 0x1000),
                                                        "after the refusal");
                    !w.empty()) {
                    p.line += w;
                    failed = true;
                }
                refusals += 1;
                continue;
            }
            runs += 1;
            if (programs) {
                const size_t runFrom = ui.Log.size();
                const int programmed = RunOperation(MainEngine, OpProgram);
                p.line += programmed == ResultOk ? " program, verify ok" : " program, verify FAILED";
                if (programmed != ResultOk) {
                    p.line += " (" + FirstError(ui, runFrom) + ")";
                    failed = true;
                    break;
                }
                if (const std::string why = CellsHold(*chip, *p.part, data, c.start, unit, "lane"); !why.empty()) {
                    p.line += why;
                    failed = true;
                    break;
                }
            }
            // Read into a buffer of other data.
            std::memset(buffer, kOther, imageBytes);
            const size_t readFrom = ui.Log.size();
            const int read = RunOperation(MainEngine, OpRead);
            p.line += read == ResultOk ? " read ok" : " read FAILED";
            if (read != ResultOk) {
                p.line += " (" + FirstError(ui, readFrom) + ")";
                failed = true;
                break;
            }
            std::vector<bool> filled(imageBytes);
            // The lane holds what the part holds (a row without Program reads
            // its places alone and leaves the lane).
            for (size_t k = 0; programs && k < count && !failed; ++k) {
                for (unsigned b = 0; b < unit; ++b) {
                    const size_t i = at(k) + b;
                    const uint8_t want =
                        ExpectedAt(k * unit + b, data[k * unit + b], *p.part, *chip, c.start, unit, kOther).value;
                    filled[i] = true;
                    if (buffer[i] != want) {
                        char m[112];
                        std::snprintf(m, sizeof m, " lane byte %zXh: %02Xh read, %02Xh expected", i, buffer[i], want);
                        p.line += m;
                        failed = true;
                        break;
                    }
                }
            }
            if (const std::string m = failed ? "" : ImageReadBackMismatch(buffer, image); !m.empty()) {
                p.line += m;
                failed = true;
            }
            // The places the row fills whatever the range hold what the part
            // keeps there (for a part with no Program, its cells as they are).
            for (const RowPlace& f : places) {
                if (f.rangeOnly) continue;
                for (uint64_t u = f.first; u <= f.last; ++u) {
                    const uint64_t at = f.inLane ? u * step + lane : u;
                    for (unsigned b = 0; b < unit; ++b)
                        if (const size_t i = at * unit + b; i < imageBytes) filled[i] = true;
                    if (failed || f.otherMemory || programs) continue;
                    const uint8_t want = CellByte(*chip, static_cast<uint32_t>(f.chip + (u - f.first)), 0);
                    if (buffer[at * unit] != want) {
                        char m[112];
                        std::snprintf(m, sizeof m, " place byte %llXh: %02Xh read, %02Xh on the part",
                                      static_cast<unsigned long long>(at * unit), buffer[at * unit], want);
                        p.line += m;
                        failed = true;
                    }
                }
            }
            if (const std::string w = failed ? "" : ReadWroteOutside(buffer, 0, imageBytes, [&](size_t i) {
                    return !filled[i];
                }, "outside the lane");
                !w.empty()) {
                p.line += w;
                failed = true;
            }
            if (const std::string v = UnexpectedViolation(*simp); !v.empty()) {
                p.line += " violation: " + v;
                failed = true;
            }
        }
    }
    WordMode = 0;
    char tally[64];
    std::snprintf(tally, sizeof tally, " (%d runs, %d refused)", runs, refusals);
    p.line += tally;
    Report(p, kLanePlaces, GetParam(), failed, ui, from, !failed && runs == 0);
}

} // namespace
