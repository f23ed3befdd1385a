// The catalog of simulated parts: the simulator's one source of chip facts.
// Each part is keyed by maker and part name exactly as the device library
// spells them, names its chip model (ChipKind) and carries the part's own
// datasheet facts in its family's facts struct (derived from PartFacts). The
// facts come from the datasheet, never from the device library: a wrong
// library record must fail against the part.
//
// Adding a part to a family that has a chip model: one entry in the family's
// parts file (sim/EpromParts.cpp, GalParts.cpp (GALs and the larger PLDs),
// Mcu8051Parts.cpp, CommandPldParts.cpp, LogicIcParts.cpp, RamParts.cpp, JtagCpldParts.cpp,
// PicParts.cpp, FlashParts.cpp, SerialParts.cpp, PinDrivenParts.cpp (pin-driven
// memories and fuse PROMs), JtagMemoryChip.cpp (memories behind a JTAG port)), e.g.
// memories and fuse PROMs), NandParts.cpp), e.g.
//   add("AMD", QuickPulse(Jedec28("Am27C256", 0x8000), 0x01, 0x10));
// starting from the family's pin-out helper and changing only what the
// part's datasheet says differs (codes, voltages, pulse, erase, pages).
// Adding a family: a facts struct (derived from PartFacts, or the family's
// own struct wrapped as FamilyFacts<F>), a chip model built from it (derived
// from CatalogChip, or the family's model adapted by CatalogModel in
// Catalog.cpp), a ChipKind with its case in MakeChip, and the family's
// Add...Parts function in the list in Catalog.cpp.
// The library test (tests/tools) then asks for a part for every device of a
// row that has a module, agreeing on size, width and identity codes.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sim/PartFacts.h"

namespace sim {

// The chip model that stands for a part.
enum class ChipKind : uint8_t {
    PulseEprom, // EpromChip from EpromConfig
    Gal,        // GalChip from GalPartFacts
    Mcu8051,    // Mcu8051Chip from Mcu8051Facts
    LogicIc,    // LogicIc from LogicIcConfig (the IC tester's parts)
    Ram,        // RamChip from RamPartFacts (the RAM tester's parts)
    LargePld,   // LargePldChip from LargePldFacts
    JtagCpld,   // the JtagCpldChip of the part's JtagCpldKind, from JtagCpldFacts
    Pic,        // PicChip from PicFacts
    Flash,      // FlashModuleChip (JEDEC flash dies, SRAM) from FlashPart
    Serial,     // the SerialChipBase of the part's protocol, from SerialPart
    PinDriven,  // PinMemoryChip from PinMemoryConfig
    FuseProm,   // FusePromChip from FusePromConfig (also a programmer component)
    JtagMemory, // the JtagMemoryChip of the part, from JtagMemoryFacts
    PicParallel, // PicParallelChip from PicFacts (word-bus PICs)
    CommandFlash, // CommandFlashChip from CommandFlashConfig
    CycleRecord, // CycleRecordChip from CycleRecordFacts
    WordPld,     // WordPldChip from WordPldFacts
    Nand,       // NandChip from NandFacts
    Z8Otp,      // Z8OtpChip from Z8OtpFacts
    EditMode,   // EditModeChip from EditModeFacts
    MuxEeprom,  // MuxEepromChip from MuxEepromFacts
    ByteEpld,   // ByteEpldChip from ByteEpldFacts
    UvEpld,     // UvEpldChip from UvEpldFacts
    W78Flash,   // W78FlashChip from W78FlashFacts
    Sst89,      // Sst89Chip from Sst89Facts
    PageFlash,  // PageFlashChip from PageFlashFacts
    Otp87C76x,  // Otp87C76xChip from Otp87C76xFacts
};

// A family's own facts struct with the facts every part carries (filled from
// it when the family adds the part).
template <class F> struct FamilyFacts : PartFacts {
    F family;
};

struct CatalogPart {
    std::string maker;
    std::string name;
    ChipKind kind;
    std::shared_ptr<const PartFacts> facts;

    // The facts as the family's struct, nullptr when the part is of another family.
    template <class Facts> const Facts* As() const {
        if constexpr (std::is_base_of_v<PartFacts, Facts>) {
            return dynamic_cast<const Facts*>(facts.get());
        } else {
            const auto* f = dynamic_cast<const FamilyFacts<Facts>*>(facts.get());
            return f != nullptr ? &f->family : nullptr;
        }
    }
};

// A part of a family that keeps its own facts struct; `common` holds the
// facts every part carries (its name names the part).
template <class F> CatalogPart FamilyPart(std::string maker, ChipKind kind, const PartFacts& common, F family) {
    auto f = std::make_shared<FamilyFacts<F>>();
    static_cast<PartFacts&>(*f) = common;
    f->family = std::move(family);
    std::string name = f->name;
    return {std::move(maker), std::move(name), kind, std::move(f)};
}

// Every part, in the order the families add them.
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
// The chip model of a JTAG part's kind.
struct JtagCpldFacts;
class JtagCpldChip;
std::unique_ptr<JtagCpldChip> MakeJtagCpld(const JtagCpldFacts& f);
// The chip model of a serial part's protocol.
struct SerialPart;
class SerialChipBase;
std::unique_ptr<SerialChipBase> MakeSerialChip(const SerialPart& part);
// A blank chip of the part.
std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part);
// A chip from facts a test changed (a copy of a part's, with a fault or a
// different seat); the kind picks the model.
std::unique_ptr<CatalogChip> MakeChip(ChipKind kind, const PartFacts& facts);

// The families' parts (one function per parts file).
void AddEpromParts(std::vector<CatalogPart>& parts);
void AddGalParts(std::vector<CatalogPart>& parts);
void AddMcu8051Parts(std::vector<CatalogPart>& parts);
void AddLogicIcParts(std::vector<CatalogPart>& parts);
void AddRamParts(std::vector<CatalogPart>& parts);
void AddLargePldParts(std::vector<CatalogPart>& parts);
void AddJtagCpldParts(std::vector<CatalogPart>& parts);
void AddPicParts(std::vector<CatalogPart>& parts);
void AddFlashParts(std::vector<CatalogPart>& parts);
void AddSerialParts(std::vector<CatalogPart>& parts);
void AddPinDrivenParts(std::vector<CatalogPart>& parts);
void AddFusePromParts(std::vector<CatalogPart>& parts);
void AddJtagMemoryParts(std::vector<CatalogPart>& parts);
// The chip model of a JTAG-programmed memory part.
struct JtagMemoryFacts;
std::unique_ptr<CatalogChip> MakeJtagMemory(const JtagMemoryFacts& f);
void AddCommandFlashParts(std::vector<CatalogPart>& parts);
void AddCycleRecordParts(std::vector<CatalogPart>& parts);
void AddWordPldParts(std::vector<CatalogPart>& parts);
void AddNandParts(std::vector<CatalogPart>& parts);
void AddZ8OtpParts(std::vector<CatalogPart>& parts);
void AddEditModeParts(std::vector<CatalogPart>& parts);
void AddMuxEepromParts(std::vector<CatalogPart>& parts);
void AddByteEpldParts(std::vector<CatalogPart>& parts);
void AddUvEpldParts(std::vector<CatalogPart>& parts);
void AddW78FlashParts(std::vector<CatalogPart>& parts);
std::unique_ptr<CatalogChip> MakeW78Flash(const PartFacts& facts);
void AddSst89Parts(std::vector<CatalogPart>& parts);
std::unique_ptr<CatalogChip> MakeSst89(const PartFacts& facts);
void AddPageFlashParts(std::vector<CatalogPart>& parts);
void AddOtp87C76xParts(std::vector<CatalogPart>& parts);
std::unique_ptr<CatalogChip> MakeOtp87C76x(const PartFacts& facts);

} // namespace sim
