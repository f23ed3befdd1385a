#include "engine/RowHooks.h"

#include <cstddef>

RowHooks RowHookTable[RowHookCount];

namespace {

constexpr size_t kMaxSelectionHooks = 64;
SelectionDefaultsFn g_selectionHooks[kMaxSelectionHooks] = {};
size_t g_selectionHookCount = 0;

const RowHooks kNoHooks{};

void SetDataDefaults() {
    for (uint32_t row : {105u, 106u, 108u, 122u, 196u})
        RowHookTable[row].SecuredIdentityException = true;

    // Row 186 adds its ECON and user bytes that follow the device image.
    RowHookTable[186].ChecksumBytesAfterDevice = 9;
    RowHookTable[266].ChecksumEndExtension = 10;

    RowHookTable[260].JedecEFieldFuse = 7724;
    RowHookTable[264].JedecEFieldFuse = 7724;
    RowHookTable[261].JedecEFieldFuse = 15072;
    RowHookTable[265].JedecEFieldFuse = 15072;
    RowHookTable[262].JedecEFieldFuse = 0;
    RowHookTable[263].JedecEFieldFuse = 36864;
    RowHookTable[266].JedecEFieldFuse = 54096;
    RowHookTable[266].JedecEFieldSaveCount = 73;
    RowHookTable[266].JedecUFieldFuse = 59000;
    RowHookTable[266].JedecUFieldSaveCount = 32;

    RowHookTable[296].PofNameAfterAs = true;
}

struct RowHooksInit {
    RowHooksInit() { SetDataDefaults(); }
} g_rowHooksInit;

} // namespace

const RowHooks& HooksOfRow(uint32_t row) {
    return row < RowHookCount ? RowHookTable[row] : kNoHooks;
}

bool AddSelectionDefaultsHook(SelectionDefaultsFn hook) {
    if (hook == nullptr) return false;
    for (size_t i = 0; i < g_selectionHookCount; ++i) {
        if (g_selectionHooks[i] == hook) return true;
    }
    if (g_selectionHookCount >= kMaxSelectionHooks) return false;
    g_selectionHooks[g_selectionHookCount++] = hook;
    return true;
}

void RunSelectionDefaultsHooks() {
    for (size_t i = 0; i < g_selectionHookCount; ++i)
        g_selectionHooks[i]();
}

void ResetRowHooks() {
    for (RowHooks& h : RowHookTable)
        h = RowHooks{};
    SetDataDefaults();
    for (auto& h : g_selectionHooks)
        h = nullptr;
    g_selectionHookCount = 0;
}
