// The read-sequence command flash of the 16-bit command bus. No datasheet of
// a 16-bit part with this entry sequence was found: the part's pin-out,
// sector size, entry reads and commands follow the algorithm row (the part
// is flagged followsRow), its timing that of the byte-wide parts of the same
// command set (program within 35 us, a sector erase within 4 ms).
#include "sim/CatalogModel.h"
#include "sim/CommandFlashChip.h"

namespace sim {

namespace {

struct ReadSequenceContents : ModelLimits {
    static size_t Words(const CommandFlashChip& m, const PartFacts&) { return m.Bytes(); }
    static uint16_t Cell(const CommandFlashChip& m, const PartFacts&, uint32_t a) { return m.Cell(a); }
    static void SetCell(CommandFlashChip& m, const PartFacts&, uint32_t a, uint16_t v) { m.SetCell(a, v); }
};

} // namespace

void AddReadSequenceFlashParts(std::vector<CatalogPart>& parts) {
    CommandFlashConfig c;
    c.name = "FLASH79-32K";
    c.footprint = kCommandFootprintTsop48;
    c.bytes = 0x8000;
    c.width = 16;
    c.blockStarts.clear();
    for (uint32_t a = 0; a < c.bytes; a += 128) c.blockStarts.push_back(a);
    c.scheme = CommandScheme::DataPolling;
    c.readSequenceEntry = true;
    c.makerId = 0;
    c.deviceId = 0;
    c.vccMinTenths = 27;
    c.vppMinTenths = 0;
    c.programUs = 35;
    c.blockEraseUs = 4000;
    PartFacts f;
    f.name = c.name;
    const FlashPinout pins = CommandFlashPinout(c.footprint);
    f.pinCount = pins.pinCount;
    f.words = c.bytes;
    f.width = 16;
    f.blank = 0xFFFF;
    f.vcc = {27, 36};
    f.vccPin = pins.vcc.front();
    f.gndPins = pins.gnd;
    f.followsRow = true;
    parts.push_back(ModelPart<CommandFlashChip, ReadSequenceContents>("GENERIC-ALGORITHM", f, std::move(c)));
}

SIM_CATALOG_FAMILY(AddReadSequenceFlashParts);

} // namespace sim
