// The bit-serial one-time PROM. No datasheet of such a part was found: its
// pin-out, protocol, programming level and pulse follow the algorithm row
// that serves it (the part is flagged followsRow).
#include "sim/BitSerialOtpChip.h"
#include "sim/CatalogModel.h"

namespace sim {

namespace {

struct BitSerialOtpContents : ModelLimits {
    static size_t Words(const BitSerialOtpChip& m, const PartFacts&) { return m.Bytes(); }
    static uint16_t Cell(const BitSerialOtpChip& m, const PartFacts&, uint32_t a) { return m.Byte(a); }
    static void SetCell(BitSerialOtpChip& m, const PartFacts&, uint32_t a, uint16_t v) {
        m.SetByte(a, static_cast<uint8_t>(v));
    }
};

} // namespace

void AddBitSerialOtpParts(std::vector<CatalogPart>& parts) {
    BitSerialOtpFacts c;
    c.name = "OTP35-2K";
    c.bytes = 2048;
    PartFacts f;
    f.name = c.name;
    f.pinCount = 8;
    f.words = c.bytes;
    f.width = 8;
    f.blank = 0xFF;
    f.vcc = {44, 57};
    f.vccPin = 3;
    f.gndPins = {4};
    f.followsRow = true;
    parts.push_back(ModelPart<BitSerialOtpChip, BitSerialOtpContents>("GENERIC-ALGORITHM", f, std::move(c)));
}

SIM_CATALOG_FAMILY(AddBitSerialOtpParts);

} // namespace sim
