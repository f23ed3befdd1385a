#include "engine/DevicePlaces.h"

#include <algorithm>

#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

uint64_t BytesPastDevice(const std::vector<StoredSpan>& stored, uint64_t& lastByte) {
    lastByte = 0;
    if (DeviceSection == SectionPld || DeviceSize == 0) return 0;
    const uint64_t unit = DataWidth > 8 ? 2 : 1;
    const uint64_t step = SplitLaneOf(WordMode).Step;
    const uint64_t end = uint64_t{LoadBufferStart} + unit * step * DeviceSize; // one past the last byte
    lastByte = end - 1;

    // The row's places, as byte spans sorted and merged.
    std::vector<StoredSpan> places;
    if (const RowDef* def = RowDefinition(CurrentAlgorithm); def != nullptr && def->FixedPlaces != nullptr)
        for (const FixedBufferPlace& p : def->FixedPlaces())
            places.push_back({p.First * unit, (uint64_t{p.Last} + 1) * unit});
    std::sort(places.begin(), places.end(), [](const StoredSpan& a, const StoredSpan& b) { return a.From < b.From; });
    std::vector<StoredSpan> merged;
    for (const StoredSpan& p : places) {
        if (!merged.empty() && p.From <= merged.back().To)
            merged.back().To = std::max(merged.back().To, p.To);
        else
            merged.push_back(p);
    }

    uint64_t past = 0;
    for (const StoredSpan& s : stored) {
        const uint64_t from = std::max(s.From, end);
        if (from >= s.To) continue;
        past += s.To - from;
        for (const StoredSpan& p : merged) {
            const uint64_t a = std::max(from, p.From), b = std::min(s.To, p.To);
            if (a < b) past -= b - a;
        }
    }
    return past;
}

void WarnBytesPastDevice(const std::vector<StoredSpan>& stored) {
    uint64_t lastByte = 0;
    const uint64_t past = BytesPastDevice(stored, lastByte);
    if (past == 0) return;
    ShowMessageLine(" Warning: %llxh(%llu) byte(s) lie past the device's last byte, buffer addr %06llXh.",
                    static_cast<unsigned long long>(past), static_cast<unsigned long long>(past),
                    static_cast<unsigned long long>(lastByte));
}
