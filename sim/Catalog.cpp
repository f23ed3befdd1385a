#include "sim/Catalog.h"

#include <algorithm>

namespace sim {

namespace {

std::vector<CatalogFamily>& Registered() {
    static std::vector<CatalogFamily> families;
    return families;
}

} // namespace

bool RegisterCatalogFamily(const char* family, AddPartsFn add) {
    Registered().push_back({family, add});
    return true;
}

std::vector<CatalogFamily> CatalogFamilies() {
    std::vector<CatalogFamily> families = Registered();
    std::stable_sort(families.begin(), families.end(),
                     [](const CatalogFamily& a, const CatalogFamily& b) { return a.name < b.name; });
    return families;
}

const std::vector<CatalogPart>& Catalog() {
    static const std::vector<CatalogPart> parts = [] {
        std::vector<CatalogPart> all;
        for (const CatalogFamily& f : CatalogFamilies()) f.add(all);
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

std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part, const PartFacts& facts) {
    return part.make != nullptr ? part.make(facts) : nullptr;
}

std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part) {
    return part.facts != nullptr ? MakeChip(part, *part.facts) : nullptr;
}

} // namespace sim
