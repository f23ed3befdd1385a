// Every device that offers Program over the ranges a user sets in the Config
// Option dialog, placed in the part's windows of cells (its catalog map):
// from the row's own boundary (the smallest start above 0 its declaration
// serves: a page, block or sector) in its largest window, from one at or
// above 10000h where that window is that large, and from the row's first
// address to a Chip End below the top, in its first window, that is not on a
// page's last byte. Each on a fresh part: Program (with its verify) writes
// the range's cells at their chip addresses and no other cell; where the
// device offers Read, it fills Buffer Start..Buffer End and leaves every
// other buffer byte as it was. A case the row's
// declaration says it cannot serve is refused with its line before any
// supply is switched on, the part and the buffer left as they were, and
// counted apart.
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

TEST_P(EveryDevice, OnItsRowsBoundaries) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section == SectionPld) GTEST_SKIP() << "a fuse map is programmed whole";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kBoundaryStart, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    const uint32_t base = DeviceStart, top = DeviceEnd;
    if (top - base < 4) GTEST_SKIP() << p.line << " a few addresses";
    const std::vector<CellWindow> windows = CellWindows(*p.part, base, top, DataWidth > 8 ? 2 : 1);
    const CellWindow largest = LargestWindow(windows), lowest = windows.front();
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
    // An end below the top where the part leaves room for one, in the
    // window the range starts in (from below every window: the lowest).
    auto endOf = [&](uint32_t from) {
        CellWindow w = lowest;
        for (const CellWindow& x : windows)
            if (from >= x.first && from <= x.last) w = x;
        return static_cast<uint32_t>(std::min<uint64_t>(w.last, uint64_t{std::max(from, w.first)} + span - 1));
    };
    auto refusalOf = [&](uint32_t from, uint32_t end) -> const char* {
        if (from != base && step == 0) return def->StartRefusal;
        return end < top ? endRefusal : nullptr;
    };
    const size_t index = GetParam();

    // The first start on the boundary above the first address inside the
    // largest window.
    const uint32_t unitStep = std::max<uint32_t>(step, 1);
    const uint64_t boundary64 =
        base + std::max<uint64_t>(unitStep, (uint64_t{largest.first} - base + unitStep - 1) / unitStep * unitStep);
    const uint32_t boundary = static_cast<uint32_t>(std::min<uint64_t>(boundary64, top));
    if (boundary64 < largest.last) RunRange(ui, d, index, kBoundaryStart, boundary, endOf(boundary), refusalOf(boundary, endOf(boundary)), 23);
    // From 10000h or above: the first window with room for the span there.
    for (const CellWindow& w : windows) {
        if (step == 0) break;
        const uint64_t high =
            (std::max({uint64_t{0x10000}, uint64_t{boundary} + 1, uint64_t{w.first}}) + step - 1) / step * step;
        if (high + span - 1 < w.last || (high + span - 1 == w.last && w.last < top)) {
            RunRange(ui, d, index, kHighStart, static_cast<uint32_t>(high), endOf(static_cast<uint32_t>(high)),
                     refusalOf(static_cast<uint32_t>(high), endOf(static_cast<uint32_t>(high))), 23);
            break;
        }
    }
    const uint32_t end = std::min(top - 1, endOf(base));
    RunRange(ui, d, index, kEndBelowTop, base, end, refusalOf(base, end), 23);
}

} // namespace
