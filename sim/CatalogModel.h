// A family's own chip model seated from the catalog: the model built from its
// family facts, with what the rack needs of every part (its facts, its
// footprint, the contents kept between runs). The socket sees the adapter;
// code that needs the model itself reaches it through SeatedModel
// (sim/PartFacts.h).
//
// A family registers such a part with ModelPart (the model built from the
// family's facts) or ModelPartBy (a function picks and builds the model),
// naming a contents policy: what the part keeps between runs, as
//   static ChipPinLimits Limits(const M&, const FamilyFacts<F>&);
//   static size_t Words(const M&, const FamilyFacts<F>&);
//   static uint16_t Cell(const M&, const FamilyFacts<F>&, uint32_t address);
//   static void SetCell(M&, const FamilyFacts<F>&, uint32_t address, uint16_t value);
// The policies several families share are here; a family's own lives in its
// parts file.
#pragma once
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sim/Catalog.h"

namespace sim {

// The model's own footprint and voltage limits.
struct ModelLimits {
    template <class M, class F> static ChipPinLimits Limits(const M& m, const F&) { return m.Limits(); }
};

// A part that keeps nothing (a logic IC, a RAM); the family gives its limits.
struct KeepsNothing {
    template <class M, class F> static size_t Words(const M&, const F&) { return 0; }
    template <class M, class F> static uint16_t Cell(const M&, const F&, uint32_t) { return 0; }
    template <class M, class F> static void SetCell(M&, const F&, uint32_t, uint16_t) {}
};

// A cell array a bit a word (a PLD's fuse map, a JTAG part's cells), as many
// as the part has words.
struct BitCells : ModelLimits {
    template <class M, class F> static size_t Words(const M&, const F& f) { return f.words; }
    template <class M, class F> static uint16_t Cell(const M& m, const F&, uint32_t a) {
        return static_cast<uint16_t>(m.Cell(a));
    }
    template <class M, class F> static void SetCell(M& m, const F&, uint32_t a, uint16_t v) { m.SetCell(a, v & 1); }
};

// Byte cells, as many as the part has words.
struct ByteCells : ModelLimits {
    template <class M, class F> static size_t Words(const M&, const F& f) { return f.words; }
    template <class M, class F> static uint16_t Cell(const M& m, const F&, uint32_t a) { return m.Cell(a); }
    template <class M, class F> static void SetCell(M& m, const F&, uint32_t a, uint16_t v) {
        m.SetCell(a, static_cast<uint8_t>(v));
    }
};

template <class M, class F, class Contents> class CatalogModel final : public CatalogChip {
public:
    CatalogModel(const FamilyFacts<F>& facts, std::unique_ptr<M> model) : facts_(facts), model_(std::move(model)) {}

    std::string Name() const override { return model_->Name(); }
    const std::vector<int>& SocketPins() const override { return model_->SocketPins(); }
    void Update(const PinEnvironment& env) override { model_->Update(env); }
    void SuppliesChanged(const PinEnvironment& env) override { model_->SuppliesChanged(env); }
    ChipDrive Output(const PinEnvironment& env, int socketPin) const override {
        return model_->Output(env, socketPin);
    }
    void Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const override {
        model_->Outputs(env, socketPins, n, out);
    }

    const PartFacts& Facts() const override { return facts_; }
    ChipPinLimits Limits() const override { return Contents::Limits(*model_, facts_); }
    size_t Words() const override { return Contents::Words(*model_, facts_); }
    uint16_t Cell(uint32_t a) const override { return Contents::Cell(*model_, facts_, a); }
    void SetCell(uint32_t a, uint16_t v) override { Contents::SetCell(*model_, facts_, a, v); }
    ChipModel& Model() override { return *model_; }

private:
    FamilyFacts<F> facts_;
    std::unique_ptr<M> model_;
};

template <class M, class F> std::unique_ptr<M> NewModel(const F& f) { return std::make_unique<M>(f); }

// The make function of an adapted family: `New` builds the family's model
// from the family's facts; facts of another family make nothing.
template <class Contents, auto New> std::unique_ptr<CatalogChip> MakeAdapted(const PartFacts& facts) {
    using F = typename detail::MadeFrom<decltype(New)>::Facts;
    const auto* f = FactsAs<FamilyFacts<F>>(&facts);
    if (f == nullptr) return nullptr;
    auto model = New(f->family);
    if (model == nullptr) return nullptr;
    using M = typename decltype(model)::element_type;
    return std::make_unique<CatalogModel<M, F, Contents>>(*f, std::move(model));
}

// A part of a family that keeps its own facts struct, its model built by
// `New`; `common` holds the facts every part carries (its name names the part).
template <class Contents, auto New, class F>
CatalogPart ModelPartBy(std::string maker, const PartFacts& common, F family) {
    auto f = std::make_shared<FamilyFacts<F>>();
    static_cast<PartFacts&>(*f) = common;
    f->family = std::move(family);
    std::string name = f->name;
    return {std::move(maker), std::move(name), MakeAdapted<Contents, New>, std::move(f)};
}

// The same with the model M built from the family's facts.
template <class M, class Contents, class F> CatalogPart ModelPart(std::string maker, const PartFacts& common, F family) {
    return ModelPartBy<Contents, NewModel<M, F>>(std::move(maker), common, std::move(family));
}

} // namespace sim
