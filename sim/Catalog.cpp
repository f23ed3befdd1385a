#include "sim/Catalog.h"

#include "sim/CatalogModel.h"
#include "sim/EpromChip.h"

namespace sim {

namespace {

using AddParts = void (*)(std::vector<CatalogPart>&);
constexpr AddParts kFamilies[] = {AddEpromParts, AddGalParts, AddMcu8051Parts, AddLogicIcParts, AddRamParts};

// The family's model, adapted, when the facts are that family's.
template <class M, class F, class Make> std::unique_ptr<CatalogChip> Adapted(const PartFacts& facts, Make make) {
    const auto* f = dynamic_cast<const FamilyFacts<F>*>(&facts);
    if (f == nullptr) return nullptr;
    return std::make_unique<CatalogModel<M, F>>(*f, make(f->family));
}

} // namespace

const std::vector<CatalogPart>& Catalog() {
    static const std::vector<CatalogPart> parts = [] {
        std::vector<CatalogPart> all;
        for (AddParts add : kFamilies) add(all);
        return all;
    }();
    return parts;
}

const CatalogPart* FindPart(std::string_view name) {
    for (const CatalogPart& p : Catalog()) {
        if (p.name == name) return &p;
    }
    return nullptr;
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
    case ChipKind::Gal:
        return Adapted<GalChip, GalPartFacts>(facts, [](const GalPartFacts& f) { return std::make_unique<GalChip>(f); });
    case ChipKind::Mcu8051:
        return Adapted<Mcu8051Chip, Mcu8051Facts>(
            facts, [](const Mcu8051Facts& f) { return std::make_unique<Mcu8051Chip>(f, f.plccPackage); });
    case ChipKind::LogicIc:
        return Adapted<LogicIc, LogicIcConfig>(facts,
                                               [](const LogicIcConfig& f) { return std::make_unique<LogicIc>(f); });
    case ChipKind::Ram:
        return Adapted<RamChip, RamPartFacts>(facts, [](const RamPartFacts& f) { return std::make_unique<RamChip>(f); });
    }
    return nullptr;
}

std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part) { return MakeChip(part.kind, *part.facts); }

} // namespace sim
