#include "engine/RowDef.h"

#include <algorithm>

namespace {

const RowDef* g_definitions[AlgorithmRowCount] = {};
uint32_t g_conflicts = 0;

template <typename Fn> Fn Or(Fn fn, Fn fallback) {
    return fn != nullptr ? fn : fallback;
}

std::vector<RowFamily>& RegisteredFamilies() {
    static std::vector<RowFamily> families;
    return families;
}

} // namespace

bool RegisterRowFamily(const RowFamily& family) {
    RegisteredFamilies().push_back(family);
    return true;
}

std::vector<RowFamily> RowFamilies(RowGroup group) {
    std::vector<RowFamily> out;
    for (const RowFamily& f : RegisteredFamilies()) {
        if (f.Group == group) out.push_back(f);
    }
    std::stable_sort(out.begin(), out.end(), [](const RowFamily& a, const RowFamily& b) { return a.Rank < b.Rank; });
    return out;
}

size_t InstallRowFamilies(RowGroup group) {
    size_t installed = 0;
    for (const RowFamily& f : RowFamilies(group)) {
        if (f.AtInstall != nullptr) f.AtInstall();
        installed += InstallRows(f.Rows);
    }
    return installed;
}

size_t InstallRows(std::span<const RowDef> rows) {
    size_t installed = 0;
    for (const RowDef& def : rows) {
        AlgorithmEntry* e = AlgorithmRow(def.Row);
        const RowDef* held = e != nullptr ? g_definitions[def.Row] : nullptr;
        if (e == nullptr || (held != nullptr && held != &def)) {
            ++g_conflicts;
            continue;
        }
        e->Identify = Or(def.Identify, AlgNoOperation);
        e->Read = Or(def.Read, AlgNoRead);
        e->Program = Or(def.Program, AlgNoOperation);
        e->Erase = Or(def.Erase, AlgNoOperation);
        e->Secure = Or(def.Secure, AlgNoOperation);
        e->Options = Or(def.Options, AlgNoOperation);

        RowHooks& hooks = RowHookTable[def.Row];
        if (def.EncryptionWriter != nullptr) hooks.EncryptionWriter = def.EncryptionWriter;
        if (def.ConfigFuseWriter != nullptr) hooks.ConfigFuseWriter = def.ConfigFuseWriter;
        if (def.Checksum != nullptr) hooks.Checksum = def.Checksum;
        if (def.HexConfigWriter != nullptr) hooks.HexConfigWriter = def.HexConfigWriter;
        if (def.SelectionDefaults != nullptr) AddSelectionDefaultsHook(def.SelectionDefaults);

        g_definitions[def.Row] = &def;
        ++installed;
    }
    return installed;
}

const RowDef* RowDefinition(uint32_t row) {
    return row < AlgorithmRowCount ? g_definitions[row] : nullptr;
}

uint32_t RowInstallConflicts() {
    return g_conflicts;
}

void ForgetRowDefinitions() {
    for (const RowDef*& d : g_definitions)
        d = nullptr;
    g_conflicts = 0;
}

std::string RowRecordRefusal(const RowDef& def, const RowRecordFacts& record) {
    const std::string row = std::to_string(def.Row);
    const bool special = record.Variant != 0 && (record.Variant == def.SpecialVariants[0] ||
                                                 record.Variant == def.SpecialVariants[1]);
    if (def.VariantCount != 0 && record.Variant >= def.VariantCount && !special) {
        const std::string variant = std::to_string(record.Variant);
        const std::string count = std::to_string(def.VariantCount);
        if (def.VariantTable == nullptr)
            return "variant " + variant + " past algorithm " + row + "'s " + count;
        return "variant " + variant + " is past the " + count + " rows of " + def.VariantTable +
               " of algorithm " + row;
    }
    if (def.SubVariantCount != 0 && record.SubVariant >= def.SubVariantCount) {
        return "sub-variant " + std::to_string(record.SubVariant) + " is past the " +
               std::to_string(def.SubVariantCount) + " rows of " +
               (def.SubVariantTable != nullptr ? def.SubVariantTable : "the sub-variant table") +
               " of algorithm " + row;
    }
    if (record.Programs && record.Page < def.LeastPage) {
        return "page of " + std::to_string(record.Page) + " leaves algorithm " + row + " no program pulse (" +
               std::to_string(def.LeastPage) + " or more)";
    }
    if (def.MostPage != 0 && record.Page > def.MostPage) {
        return "page of " + std::to_string(record.Page) + " is past the " + std::to_string(def.MostPage) +
               " bytes algorithm " + row + " can write at once";
    }
    if (def.SingleSocket && (record.DeviceFlags & 0x30) != 0) {
        return "flags offer a gang, which algorithm " + row + " cannot serve";
    }
    return def.RecordCheck != nullptr ? def.RecordCheck(def.Row, record) : std::string();
}
