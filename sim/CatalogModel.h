// A family's own chip model seated from the catalog: the model built from its
// family facts, with what the rack needs of every part (its facts, its
// footprint, the contents kept between runs). The socket sees the adapter;
// code that needs the model itself reaches it through CatalogChip::Model().
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/CommandFlashChip.h"
#include "sim/ByteEpldChip.h"
#include "sim/UvEpldChip.h"
#include "sim/CycleRecordChip.h"
#include "sim/WordPldChip.h"
#include "sim/EditModeChip.h"
#include "sim/FusePromChip.h"
#include "sim/GalChip.h"
#include "sim/PinMemoryChip.h"
#include "sim/SerialParts.h"
#include "sim/JtagCpldChip.h"
#include "sim/LargePldChip.h"
#include "sim/PicChip.h"
#include "sim/PicParallelChip.h"
#include "sim/LogicIc.h"
#include "sim/Mcu8051Chip.h"
#include "sim/RamChip.h"

namespace sim {

// What differs per family: the footprint and the contents kept.
// Per model: Limits, Words, Cell and SetCell.
template <class M> struct CatalogContents;

// The contents of a part that keeps nothing.
struct KeepsNothing {
    template <class M> static size_t Words(const M&, const PartFacts&) { return 0; }
    template <class M> static uint16_t Cell(const M&, uint32_t) { return 0; }
    template <class M> static void SetCell(M&, uint32_t, uint16_t) {}
};

// A GAL keeps its JEDEC fuse map (a cell a word), an 8051 its code bytes.
template <> struct CatalogContents<GalChip> {
    static ChipPinLimits Limits(const GalChip& m) { return m.Limits(); }
    static size_t Words(const GalChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const GalChip& m, uint32_t a) { return static_cast<uint16_t>(m.Cell(a)); }
    static void SetCell(GalChip& m, uint32_t a, uint16_t v) { m.SetCell(a, v & 1); }
};

// The larger PLDs and the JTAG parts keep their cell arrays.
template <class M> struct CellArrayContents {
    static ChipPinLimits Limits(const M& m) { return m.Limits(); }
    static size_t Words(const M&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const M& m, uint32_t a) { return static_cast<uint16_t>(m.Cell(a)); }
    static void SetCell(M& m, uint32_t a, uint16_t v) { m.SetCell(a, v & 1); }
};
template <> struct CatalogContents<LargePldChip> : CellArrayContents<LargePldChip> {};
template <> struct CatalogContents<JtagCpldChip> : CellArrayContents<JtagCpldChip> {};
template <> struct CatalogContents<WordPldChip> : CellArrayContents<WordPldChip> {};
template <> struct CatalogContents<EditModeChip> : CellArrayContents<EditModeChip> {};
template <> struct CatalogContents<ByteEpldChip> : CellArrayContents<ByteEpldChip> {};
template <> struct CatalogContents<UvEpldChip> : CellArrayContents<UvEpldChip> {};

// A PIC keeps its program words.
template <> struct CatalogContents<PicChip> {
    static ChipPinLimits Limits(const PicChip& m) { return m.Limits(); }
    static size_t Words(const PicChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const PicChip& m, uint32_t a) { return static_cast<uint16_t>(m.Word(a)); }
    static void SetCell(PicChip& m, uint32_t a, uint16_t v) { m.SetWord(a, v); }
};
template <> struct CatalogContents<PicParallelChip> {
    static ChipPinLimits Limits(const PicParallelChip& m) { return m.Limits(); }
    static size_t Words(const PicParallelChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const PicParallelChip& m, uint32_t a) { return static_cast<uint16_t>(m.Word(a)); }
    static void SetCell(PicParallelChip& m, uint32_t a, uint16_t v) { m.SetWord(a, v); }
};

// Serial EEPROMs, pin-driven memories and fuse PROMs keep their words.
// A 16-bit part keeps a word in two cell bytes, the high one first for a
// Microwire part (its wire order), the low one first for the NOVRAM and the
// instruction-byte word part.
template <> struct CatalogContents<SerialChipBase> {
    static ChipPinLimits Limits(const SerialChipBase& m) { return m.Limits(); }
    static size_t Words(const SerialChipBase& m, const PartFacts&) { return m.Bytes() / (WordWide(m) ? 2 : 1); }
    static uint16_t Cell(const SerialChipBase& m, uint32_t a) {
        if (!WordWide(m)) return m.Byte(a);
        const int high = HighFirst(m) ? 0 : 1;
        return static_cast<uint16_t>(m.Byte(2 * a + high) << 8 | m.Byte(2 * a + 1 - high));
    }
    static void SetCell(SerialChipBase& m, uint32_t a, uint16_t v) {
        if (!WordWide(m)) return m.SetByte(a, static_cast<uint8_t>(v));
        const int high = HighFirst(m) ? 0 : 1;
        m.SetByte(2 * a + high, static_cast<uint8_t>(v >> 8));
        m.SetByte(2 * a + 1 - high, static_cast<uint8_t>(v));
    }
    static bool HighFirst(const SerialChipBase& m) { return dynamic_cast<const MicrowireChip*>(&m) != nullptr; }
    static bool WordWide(const SerialChipBase& m) {
        if (const auto* mw = dynamic_cast<const MicrowireChip*>(&m)) return mw->Facts().org != MicrowireFacts::Org::Bytes;
        return dynamic_cast<const NovramChip*>(&m) != nullptr || dynamic_cast<const InstructionWordChip*>(&m) != nullptr;
    }
};

// The cycle-record PLDs keep their JEDEC map as programmed (1) or erased (0).
template <> struct CatalogContents<CycleRecordChip> {
    static ChipPinLimits Limits(const CycleRecordChip& m) { return m.Limits(); }
    static size_t Words(const CycleRecordChip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const CycleRecordChip& m, uint32_t a) { return static_cast<uint16_t>(m.Fuse(a)); }
    static void SetCell(CycleRecordChip& m, uint32_t a, uint16_t v) { m.SetFuse(a, v & 1); }
};

template <> struct CatalogContents<PinMemoryChip> {
    static ChipPinLimits Limits(const PinMemoryChip& m) { return m.Limits(); }
    static size_t Words(const PinMemoryChip& m, const PartFacts&) { return m.Words(); }
    static uint16_t Cell(const PinMemoryChip& m, uint32_t a) { return m.Cell(a); }
    static void SetCell(PinMemoryChip& m, uint32_t a, uint16_t v) { m.SetCell(a, static_cast<uint8_t>(v)); }
};

template <> struct CatalogContents<FusePromChip> {
    static ChipPinLimits Limits(const FusePromChip& m) { return m.Limits(); }
    static size_t Words(const FusePromChip& m, const PartFacts&) { return m.Config().words; }
    static uint16_t Cell(const FusePromChip& m, uint32_t a) { return m.Word(a); }
    static void SetCell(FusePromChip& m, uint32_t a, uint16_t v) { m.SetWord(a, static_cast<uint8_t>(v)); }
};

template <> struct CatalogContents<CommandFlashChip> {
    static ChipPinLimits Limits(const CommandFlashChip& m) { return m.Limits(); }
    static size_t Words(const CommandFlashChip& m, const PartFacts&) { return m.Bytes(); }
    static uint16_t Cell(const CommandFlashChip& m, uint32_t a) { return m.Cell(a); }
    static void SetCell(CommandFlashChip& m, uint32_t a, uint16_t v) { m.SetCell(a, v); }
};

template <> struct CatalogContents<Mcu8051Chip> {
    static ChipPinLimits Limits(const Mcu8051Chip& m) { return m.Limits(); }
    static size_t Words(const Mcu8051Chip&, const PartFacts& f) { return f.words; }
    static uint16_t Cell(const Mcu8051Chip& m, uint32_t a) { return m.Cell(a); }
    static void SetCell(Mcu8051Chip& m, uint32_t a, uint16_t v) { m.SetCell(a, static_cast<uint8_t>(v)); }
};

// Logic ICs and RAMs keep nothing between runs; their footprints are their
// DIPs at the part's absolute maximum.
template <> struct CatalogContents<LogicIc> : KeepsNothing {
    static ChipPinLimits Limits(const LogicIc& m) {
        return DipPinLimits(m.Config().name, m.Config().pinCount, m.Config().absMaxMv / 100);
    }
};

template <> struct CatalogContents<RamChip> : KeepsNothing {
    static ChipPinLimits Limits(const RamChip& m) { return DipPinLimits(m.Part().name, m.Part().pinCount); }
};

template <class M, class F> class CatalogModel final : public CatalogChip {
public:
    CatalogModel(const FamilyFacts<F>& facts, std::unique_ptr<M> model)
        : facts_(facts), model_(std::move(model)) {}

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
    ChipPinLimits Limits() const override { return CatalogContents<M>::Limits(*model_); }
    size_t Words() const override { return CatalogContents<M>::Words(*model_, facts_); }
    uint16_t Cell(uint32_t a) const override { return CatalogContents<M>::Cell(*model_, a); }
    void SetCell(uint32_t a, uint16_t v) override { CatalogContents<M>::SetCell(*model_, a, v); }
    ChipModel& Model() override { return *model_; }
    M& Inner() { return *model_; }

private:
    FamilyFacts<F> facts_;
    std::unique_ptr<M> model_;
};

} // namespace sim
