#include "sim/Catalog.h"

#include "sim/EpromChip.h"

namespace sim {

namespace {

using AddParts = void (*)(std::vector<CatalogPart>&);
constexpr AddParts kFamilies[] = {AddEpromParts};

} // namespace

const std::vector<CatalogPart>& Catalog() {
    static const std::vector<CatalogPart> parts = [] {
        std::vector<CatalogPart> all;
        for (AddParts add : kFamilies) add(all);
        return all;
    }();
    return parts;
}

const CatalogPart* FindPart(std::string_view maker, std::string_view name) {
    for (const CatalogPart& p : Catalog()) {
        if (p.maker == maker && p.name == name) return &p;
    }
    return nullptr;
}

std::unique_ptr<CatalogChip> MakeChip(ChipKind kind, const PartFacts& facts) {
    switch (kind) {
    case ChipKind::PulseEprom:
        if (const auto* f = dynamic_cast<const EpromConfig*>(&facts)) return std::make_unique<EpromChip>(*f);
        break;
    }
    return nullptr;
}

std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part) { return MakeChip(part.kind, *part.facts); }

} // namespace sim
