#include "sim/Catalog.h"

namespace sim {

// Each family's parts file adds its parts, each with its chip model's make
// function. The list fixes the catalog's order (a part found by its name
// alone is the first of that name).
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
void AddSst89Parts(std::vector<CatalogPart>& parts);
void AddOtp87C76xParts(std::vector<CatalogPart>& parts);
void AddPageFlashParts(std::vector<CatalogPart>& parts);
void AddGms87OtpParts(std::vector<CatalogPart>& parts);
void AddOptionAreaParts(std::vector<CatalogPart>& parts);
void AddMuxOtpParts(std::vector<CatalogPart>& parts);
void AddCmdFlashMcuParts(std::vector<CatalogPart>& parts);
void AddNibbleMcuParts(std::vector<CatalogPart>& parts);
void AddEeMcuParts(std::vector<CatalogPart>& parts);
void AddGal6001Parts(std::vector<CatalogPart>& parts);
void AddRx51FlashParts(std::vector<CatalogPart>& parts);
void AddCmdLatch51Parts(std::vector<CatalogPart>& parts);
void AddModeLine51Parts(std::vector<CatalogPart>& parts);
void AddPageRd2Parts(std::vector<CatalogPart>& parts);
void AddBipolarPalParts(std::vector<CatalogPart>& parts);
void AddDirectEpromParts(std::vector<CatalogPart>& parts);
void AddReadBackEpldParts(std::vector<CatalogPart>& parts);
void AddParallelPldParts(std::vector<CatalogPart>& parts);
void AddCheckedPldParts(std::vector<CatalogPart>& parts);
void AddTextListParts(std::vector<CatalogPart>& parts);
void AddBlockCpldParts(std::vector<CatalogPart>& parts);
void AddInstructionBlockParts(std::vector<CatalogPart>& parts);
void AddEpmRowParts(std::vector<CatalogPart>& parts);
void AddEpmChainParts(std::vector<CatalogPart>& parts);
void AddEpmJtagParts(std::vector<CatalogPart>& parts);
void AddReadSequenceFlashParts(std::vector<CatalogPart>& parts);
void AddBitSerialOtpParts(std::vector<CatalogPart>& parts);
void AddTextIdConfigOldParts(std::vector<CatalogPart>& parts);
void AddLatchedOtpParts(std::vector<CatalogPart>& parts);
void AddCmdByteBusParts(std::vector<CatalogPart>& parts);
void AddWordBusMcuParts(std::vector<CatalogPart>& parts);
void AddClockedBusMcuParts(std::vector<CatalogPart>& parts);
void AddParallelByteParts(std::vector<CatalogPart>& parts);
void AddStatusByteMcuParts(std::vector<CatalogPart>& parts);
void AddTwoWireMcuParts(std::vector<CatalogPart>& parts);
void AddSt62SerialParts(std::vector<CatalogPart>& parts);
void AddColumnPldParts(std::vector<CatalogPart>& parts);
void AddAddressListParts(std::vector<CatalogPart>& parts);
void AddPlaneArrayParts(std::vector<CatalogPart>& parts);
void AddMacrocellFuseParts(std::vector<CatalogPart>& parts);
void AddStatusPageFlashParts(std::vector<CatalogPart>& parts);
void AddEconParts(std::vector<CatalogPart>& parts);
void AddSeqClockMcuParts(std::vector<CatalogPart>& parts);
void AddBoot05Parts(std::vector<CatalogPart>& parts);
void AddSecuredWordParts(std::vector<CatalogPart>& parts);
void AddAvrParts(std::vector<CatalogPart>& parts);
void AddTestCellPlaParts(std::vector<CatalogPart>& parts);
void AddLoaderMcuParts(std::vector<CatalogPart>& parts);
void AddHc11BootParts(std::vector<CatalogPart>& parts);
void AddIspPldParts(std::vector<CatalogPart>& parts);

namespace {

using AddParts = void (*)(std::vector<CatalogPart>&);
constexpr AddParts kFamilies[] = {
    AddEpromParts,        AddGalParts,         AddMcu8051Parts,     AddLogicIcParts,  AddRamParts,
    AddLargePldParts,     AddJtagCpldParts,    AddPicParts,         AddFlashParts,    AddSerialParts,
    AddPinDrivenParts,    AddFusePromParts,    AddJtagMemoryParts,  AddCommandFlashParts,
    AddCycleRecordParts,  AddWordPldParts,     AddNandParts,        AddZ8OtpParts,    AddEditModeParts,
    AddMuxEepromParts,    AddByteEpldParts,    AddUvEpldParts,      AddW78FlashParts, AddSst89Parts,
    AddOtp87C76xParts,    AddPageFlashParts,   AddGms87OtpParts,    AddGal6001Parts,  AddRx51FlashParts,
    AddCmdLatch51Parts,   AddModeLine51Parts,  AddPageRd2Parts,     AddBipolarPalParts, AddDirectEpromParts,
    AddReadBackEpldParts, AddParallelPldParts, AddCheckedPldParts, AddTextListParts,
    AddBlockCpldParts,    AddInstructionBlockParts,
    AddEpmRowParts,       AddEpmChainParts,    AddEpmJtagParts,
    AddReadSequenceFlashParts, AddBitSerialOtpParts, AddTextIdConfigOldParts,
    AddLatchedOtpParts,   AddCmdByteBusParts,  AddWordBusMcuParts,  AddClockedBusMcuParts,
    AddParallelByteParts,
    AddStatusByteMcuParts,
    AddOptionAreaParts,   AddMuxOtpParts,      AddCmdFlashMcuParts, AddEeMcuParts,
    AddTwoWireMcuParts,
    AddSt62SerialParts,
    AddColumnPldParts,
    AddAddressListParts,
    AddPlaneArrayParts,   AddMacrocellFuseParts,
    AddStatusPageFlashParts, AddNibbleMcuParts,
    AddEconParts,
    AddSeqClockMcuParts,
    AddBoot05Parts,
    AddSecuredWordParts,
    AddAvrParts,
    AddTestCellPlaParts,
    AddLoaderMcuParts,
    AddHc11BootParts,
    AddIspPldParts,
};

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

std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part, const PartFacts& facts) {
    return part.make != nullptr ? part.make(facts) : nullptr;
}

std::unique_ptr<CatalogChip> MakeChip(const CatalogPart& part) {
    return part.facts != nullptr ? MakeChip(part, *part.facts) : nullptr;
}

} // namespace sim
