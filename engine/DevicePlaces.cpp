#include "engine/DevicePlaces.h"

#include <algorithm>
#include <cstdio>

#include "engine/Device.h"
#include "engine/Messages.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

BytesOutside BytesOutsideDevice(const std::vector<StoredSpan>& stored) {
    BytesOutside out;
    if (DeviceSection == SectionPld || DeviceSize == 0 || DeviceStart >= DeviceSize) return out;
    const uint64_t unit = DataWidth > 8 ? 2 : 1;
    const uint64_t step = SplitLaneOf(WordMode).Step;
    // Chip address 0's unit (its lane set's first) lies Chip Start's units
    // before Buffer Start; below buffer unit 0 the span starts at 0.
    const uint64_t before = step * DeviceStart;
    const uint64_t first = BufferStart >= before ? (BufferStart - before) * unit : 0;
    const uint64_t end = (uint64_t{BufferStart} + step * (uint64_t{DeviceSize} - DeviceStart)) * unit;

    // The range's buffer bytes (Chip Start's to Chip End's, every lane's
    // unit), the row's places (one in a lane spans every lane's unit) and
    // the words a Read stores after the range (a calibration area: a file
    // saved from such a Read loads without a line): what the operations take.
    const bool ranged = DeviceEnd >= DeviceStart;
    const uint64_t last = std::min<uint64_t>(DeviceEnd, uint64_t{DeviceSize} - 1);
    std::vector<StoredSpan> taken;
    if (ranged) {
        out.Range = {uint64_t{BufferStart} * unit, (uint64_t{BufferStart} + step * (last - DeviceStart + 1)) * unit};
        taken.push_back(out.Range);
    }
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    if (def != nullptr && def->FixedPlaces != nullptr)
        for (const FixedBufferPlace& p : def->FixedPlaces()) {
            const uint64_t per = p.InLane ? step : 1;
            taken.push_back({p.First * per * unit, (uint64_t{p.Last} + 1) * per * unit});
        }
    if (def != nullptr && def->ReadStoresAfterRange != nullptr && ranged) {
        const ReadAreaAfterRange area = def->ReadStoresAfterRange();
        const uint64_t from = uint64_t{BufferStart} + step * (uint64_t{DeviceEnd} - DeviceStart + 1 + area.Skip);
        taken.push_back({from * unit, (from + step * uint64_t{area.Count}) * unit});
    }
    for (const StoredSpan& s : stored)
        for (const StoredSpan& t : taken)
            out.Taken = out.Taken || (s.From < t.To && t.From < s.To);

    // The device's bytes, as spans sorted and merged: its whole size and
    // what the operations take.
    std::vector<StoredSpan> own = taken;
    own.push_back({first, end});
    std::sort(own.begin(), own.end(),
              [](const StoredSpan& a, const StoredSpan& b) { return a.From < b.From; });
    std::vector<StoredSpan> merged;
    for (const StoredSpan& p : own) {
        if (!merged.empty() && p.From <= merged.back().To)
            merged.back().To = std::max(merged.back().To, p.To);
        else
            merged.push_back(p);
    }

    // Each stored span's pieces between the device's spans.
    auto outside = [&out, first](uint64_t from, uint64_t to) {
        if (from >= to) return;
        if (out.Count == 0 || from < out.First) out.First = from;
        out.Last = std::max(out.Last, to - 1);
        out.Count += to - from;
        if (from < first) out.Below += std::min(to, first) - from;
    };
    for (const StoredSpan& s : stored) {
        uint64_t at = s.From;
        for (const StoredSpan& m : merged) {
            if (m.To <= at) continue;
            if (m.From >= s.To) break;
            outside(at, m.From);
            at = std::max(at, m.To);
        }
        outside(at, s.To);
    }
    return out;
}

void WarnBytesOutsideDevice(const std::vector<StoredSpan>& stored, uint32_t loadBufferStart) {
    const BytesOutside o = BytesOutsideDevice(stored);
    using ull = unsigned long long;
    // Every byte inside the device but none where an operation takes it (a
    // part-sized file at 0 for a range that starts above it): Program would
    // burn the buffer's fill. One line a load: bytes outside say it first.
    bool loaded = false;
    for (const StoredSpan& s : stored) loaded = loaded || s.From < s.To;
    if (o.Count == 0 && loaded && !o.Taken && o.Range.From < o.Range.To) {
        ShowMessageLine(" Warning: no byte in the range's buffer bytes %06llXh-%06llXh, File Load Buffer Start %06lXh.",
                        ull{o.Range.From}, ull{o.Range.To - 1}, static_cast<unsigned long>(loadBufferStart));
        return;
    }
    if (o.Count == 0) return;
    const char* side = o.Below == 0 ? "past" : o.Below == o.Count ? "before" : "outside";
    char where[48];
    if (o.First == o.Last)
        std::snprintf(where, sizeof where, "%06llXh", ull{o.First});
    else
        std::snprintf(where, sizeof where, "%06llXh-%06llXh", ull{o.First}, ull{o.Last});
    // The count as the load's own line gives it, in hexadecimal and decimal;
    // where that would run past a log line, in hexadecimal alone.
    char count[48];
    std::snprintf(count, sizeof count, "%llxh(%llu)", ull{o.Count}, ull{o.Count});
    char line[192];
    auto compose = [&] {
        return std::snprintf(line, sizeof line,
                             " Warning: %s byte(s) %s the device at %s, File Load Buffer Start %06lXh.",
                             count, side, where, static_cast<unsigned long>(loadBufferStart));
    };
    if (compose() > MessageLineMax) {
        std::snprintf(count, sizeof count, "%llxh", ull{o.Count});
        compose();
    }
    ShowMessageLine("%s", line);
}
