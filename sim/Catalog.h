// The catalog of simulated parts: the simulator's one source of chip facts.
// Each part is keyed by maker and part name exactly as the device library
// spells them, carries the part's own datasheet facts in its family's facts
// struct (derived from PartFacts) and the make function of its chip model.
// The facts come from the datasheet, never from the device library: a wrong
// library record must fail against the part.
//
// Adding a part to a family that has a chip model: one entry in the family's
// parts file (sim/EpromParts.cpp, GalParts.cpp, Mcu8051Parts.cpp, ...), e.g.
//   add("AMD", Part(Jedec28("Am27C256", 0x8000), kQuickPulse, 0x01, 0x10));
// starting from the family's pin-out helper and changing only what the
// part's datasheet says differs (codes, voltages, pulse, erase, pages). A
// part without a datasheet, whose facts follow the algorithm row, sets
// PartFacts::followsRow.
// Adding a family: a facts struct (derived from PartFacts, registered with
// ChipPart or MadeBy; or the family's own struct, registered with ModelPart
// or ModelPartBy of sim/CatalogModel.h), and its parts file adding each part
// with its make function in an Add...Parts function that the file registers
// at its end with SIM_CATALOG_FAMILY(Add...Parts). The simulator library is
// linked whole (sim/CMakeLists.txt), so no registration is dropped.
// The library test (tests/tools) then asks for a part for every device of a
// row that has a module, agreeing on size, width and identity codes.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

// Builds a blank chip of a part from its facts; nullptr when the facts are
// not of the family's type.
using MakeChipFn = std::unique_ptr<CatalogChip> (*)(const PartFacts&);

struct CatalogPart {
    std::string maker;
    std::string name;
    MakeChipFn make = nullptr;
    std::shared_ptr<const PartFacts> facts;

    // The facts as the family's struct, nullptr when the part is of another family.
    template <class Facts> const Facts* As() const { return FactsAs<Facts>(facts.get()); }
};

namespace detail {
template <class Fn> struct MadeFrom;
template <class R, class A> struct MadeFrom<R (*)(const A&)> {
    using Facts = A;
};
} // namespace detail

// The make function of a family whose facts struct derives from PartFacts:
// `New` builds the chip from the family's facts; facts of another type make
// nothing.
template <auto New> std::unique_ptr<CatalogChip> MakeChecked(const PartFacts& facts) {
    using Facts = typename detail::MadeFrom<decltype(New)>::Facts;
    const auto* f = FactsAs<Facts>(&facts);
    if (f == nullptr) return nullptr;
    return New(*f);
}

template <class Chip, class Facts> std::unique_ptr<CatalogChip> NewChip(const Facts& f) {
    return std::make_unique<Chip>(f);
}

// A part whose facts struct derives from PartFacts, built by `New`.
template <auto New, class Facts> CatalogPart MadeBy(std::string maker, Facts facts) {
    std::string name = facts.name;
    return {std::move(maker), std::move(name), MakeChecked<New>, std::make_shared<Facts>(std::move(facts))};
}

// A part whose chip model is a CatalogChip built from the part's facts.
template <class Chip, class Facts> CatalogPart ChipPart(std::string maker, Facts facts) {
    return MadeBy<NewChip<Chip, Facts>>(std::move(maker), std::move(facts));
}

// Adds a family's parts to a list.
using AddPartsFn = void (*)(std::vector<CatalogPart>& parts);
// Registers a family under its Add...Parts function's name; true, so a
// namespace-scope constant can hold it. Families register before main runs;
// the catalog is built from them on its first use.
bool RegisterCatalogFamily(const char* family, AddPartsFn add);
// A registered family: the name of its Add...Parts function and the function.
struct CatalogFamily {
    std::string name;
    AddPartsFn add = nullptr;
};
// The registered families in catalog order (by name).
std::vector<CatalogFamily> CatalogFamilies();

// Registers the family's Add...Parts function where it is defined (at the
// end of its parts file, inside namespace sim).
#define SIM_CATALOG_FAMILY(add)                                                                    \
    [[maybe_unused]] static const bool add##Registered = ::sim::RegisterCatalogFamily(#add, add)

// Every part: the families in the order of their names, each family's parts
// in the order it adds them.
const std::vector<CatalogPart>& Catalog();
// The part of that maker and name, nullptr when the catalog has none.
const CatalogPart* FindPart(std::string_view maker, std::string_view name);
// The first part of that name of any maker (a tester's part named alone:
// "SN74LS00", "61256", "GAL16V8"), nullptr when the catalog has none.
const CatalogPart* FindPart(std::string_view name);
// A part's facts as its family's struct, nullptr when the catalog has no such
// part of that family.
template <class Facts> const Facts* FindFacts(std::string_view maker, std::string_view name) {
    const CatalogPart* p = FindPart(maker, name);
    return p != nullptr ? p->template As<Facts>() : nullptr;
}
template <class Facts> const Facts* FindFacts(std::string_view name) {
    const CatalogPart* p = FindPart(name);
    return p != nullptr ? p->template As<Facts>() : nullptr;
}
// A blank chip of the part; nullptr when the part has no make function.
std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part);
// A chip of the part's model from facts a test changed (a copy of the part's,
// with a fault or a different seat); nullptr when they are of another family.
std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part, const PartFacts& facts);

} // namespace sim
