#include "sim/Catalog.h"

#include "sim/ByteEpldChip.h"
#include "sim/CatalogModel.h"
#include "sim/CommandFlashChip.h"
#include "sim/EightBlockChip.h"
#include "sim/EpromChip.h"
#include "sim/FlashParts.h"
#include "sim/FuseArrayChip.h"
#include "sim/IscCpldChip.h"
#include "sim/JtagMemoryChip.h"
#include "sim/MuxEepromChip.h"
#include "sim/PageFlashChip.h"
#include "sim/NandChip.h"
#include "sim/Z8OtpChip.h"
#include "sim/RowTapChip.h"

namespace sim {

namespace {

using AddParts = void (*)(std::vector<CatalogPart>&);
constexpr AddParts kFamilies[] = {AddEpromParts,      AddGalParts,        AddMcu8051Parts,      AddLogicIcParts,
                                  AddRamParts,        AddLargePldParts,   AddJtagCpldParts,     AddPicParts,
                                  AddFlashParts,      AddSerialParts,     AddPinDrivenParts,    AddFusePromParts,
                                  AddJtagMemoryParts, AddCommandFlashParts, AddCycleRecordParts, AddWordPldParts,
                                  AddNandParts,       AddZ8OtpParts,      AddEditModeParts,
                                  AddMuxEepromParts,
                                  AddByteEpldParts,   AddUvEpldParts,
                                  AddW78FlashParts,   AddSst89Parts,      AddOtp87C76xParts,
                                  AddPageFlashParts};

// The family's model, adapted, when the facts are that family's.
template <class M, class F, class Make> std::unique_ptr<CatalogChip> Adapted(const PartFacts& facts, Make make) {
    const auto* f = dynamic_cast<const FamilyFacts<F>*>(&facts);
    if (f == nullptr) return nullptr;
    return std::make_unique<CatalogModel<M, F>>(*f, make(f->family));
}

} // namespace

std::unique_ptr<JtagCpldChip> MakeJtagCpld(const JtagCpldFacts& f) {
    switch (f.kind) {
    case JtagCpldKind::Isc64:
    case JtagCpldKind::Isc128:
        return std::make_unique<IscCpldChip>(f);
    case JtagCpldKind::RowTap2Block:
    case JtagCpldKind::RowTap4Block:
        return std::make_unique<RowTapChip>(f);
    case JtagCpldKind::RowTap8Block:
        return std::make_unique<EightBlockChip>(f);
    case JtagCpldKind::FuseArray102:
    case JtagCpldKind::FuseArray44:
        return std::make_unique<FuseArrayChip>(f);
    }
    return nullptr;
}

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
    case ChipKind::LargePld:
        return Adapted<LargePldChip, LargePldFacts>(
            facts, [](const LargePldFacts& f) { return std::make_unique<LargePldChip>(f); });
    case ChipKind::JtagCpld:
        return Adapted<JtagCpldChip, JtagCpldFacts>(facts, MakeJtagCpld);
    case ChipKind::Flash:
        if (const auto* f = dynamic_cast<const FamilyFacts<FlashPart>*>(&facts)) {
            return std::make_unique<FlashModuleChip>(facts, f->family);
        }
        break;
    case ChipKind::Serial:
        return Adapted<SerialChipBase, SerialPart>(facts, MakeSerialChip);
    case ChipKind::PinDriven:
        return Adapted<PinMemoryChip, PinMemoryConfig>(
            facts, [](const PinMemoryConfig& f) { return std::make_unique<PinMemoryChip>(f); });
    case ChipKind::FuseProm:
        return Adapted<FusePromChip, FusePromConfig>(
            facts, [](const FusePromConfig& f) { return std::make_unique<FusePromChip>(f); });
    case ChipKind::CycleRecord:
        return Adapted<CycleRecordChip, CycleRecordFacts>(
            facts, [](const CycleRecordFacts& f) { return std::make_unique<CycleRecordChip>(f); });
    case ChipKind::WordPld:
        return Adapted<WordPldChip, WordPldFacts>(
            facts, [](const WordPldFacts& f) { return std::make_unique<WordPldChip>(f); });
    case ChipKind::EditMode:
        return Adapted<EditModeChip, EditModeFacts>(
            facts, [](const EditModeFacts& f) { return std::make_unique<EditModeChip>(f); });
    case ChipKind::ByteEpld:
        return Adapted<ByteEpldChip, ByteEpldFacts>(
            facts, [](const ByteEpldFacts& f) { return std::make_unique<ByteEpldChip>(f); });
    case ChipKind::UvEpld:
        return Adapted<UvEpldChip, UvEpldFacts>(
            facts, [](const UvEpldFacts& f) { return std::make_unique<UvEpldChip>(f); });
    case ChipKind::Nand:
        if (const auto* f = dynamic_cast<const NandFacts*>(&facts)) return std::make_unique<NandChip>(*f);
        break;
    case ChipKind::Z8Otp:
        if (const auto* f = dynamic_cast<const Z8OtpFacts*>(&facts)) return std::make_unique<Z8OtpChip>(*f);
        break;
    case ChipKind::Pic:
        return Adapted<PicChip, PicFacts>(facts, [](const PicFacts& f) { return std::make_unique<PicChip>(f); });
    case ChipKind::JtagMemory:
        if (const auto* f = dynamic_cast<const JtagMemoryFacts*>(&facts)) return MakeJtagMemory(*f);
        break;
    case ChipKind::PicParallel:
        return Adapted<PicParallelChip, PicFacts>(
            facts, [](const PicFacts& f) { return std::make_unique<PicParallelChip>(f); });
    case ChipKind::MuxEeprom:
        if (const auto* f = dynamic_cast<const MuxEepromFacts*>(&facts)) return std::make_unique<MuxEepromChip>(*f);
        break;
    case ChipKind::W78Flash:
        return MakeW78Flash(facts);
    case ChipKind::Sst89:
        return MakeSst89(facts);
    case ChipKind::PageFlash:
        if (const auto* f = dynamic_cast<const PageFlashFacts*>(&facts)) return std::make_unique<PageFlashChip>(*f);
        break;
    case ChipKind::Otp87C76x:
        return MakeOtp87C76x(facts);
    case ChipKind::CommandFlash:
        return Adapted<CommandFlashChip, CommandFlashConfig>(
            facts, [](const CommandFlashConfig& f) { return std::make_unique<CommandFlashChip>(f); });
    }
    return nullptr;
}

std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part) { return MakeChip(part.kind, *part.facts); }

} // namespace sim
