#include "sim/SerialParts.h"

#include "sim/CatalogModel.h"

namespace sim {

namespace {

MicrowireFacts Microwire(const char* name, uint32_t bits, MicrowireFacts::Org org, uint32_t writeUs,
                         SerialSupply supply = {}) {
    MicrowireFacts f;
    f.name = name;
    f.bits = bits;
    f.org = org;
    f.writeUs = writeUs;
    f.eraseAllUs = writeUs;
    f.supply = supply;
    return f;
}

TwoWireFacts TwoWire(const char* name, uint32_t bytes, uint32_t page, int form, uint32_t writeUs, bool pins,
                     SerialSupply supply = {}) {
    TwoWireFacts f;
    f.name = name;
    f.bytes = bytes;
    f.pageBytes = page;
    f.addressForm = form;
    f.writeUs = writeUs;
    f.addressPins = pins;
    f.supply = supply;
    return f;
}

std::vector<SerialPart> MakeParts() {
    using Org = MicrowireFacts::Org;
    const SerialSupply wide{24, 57};
    std::vector<SerialPart> parts;
    // Microwire, 16-bit words with the ORG pin (open = words).
    parts.push_back({"ST", "M93C46", Microwire("M93C46", 1024, Org::Pin, 5000)});
    parts.push_back({"ST", "M93C66", Microwire("M93C66", 4096, Org::Pin, 5000)});
    MicrowireFacts c86 = Microwire("93C86C", 16384, Org::Pin, 5000);
    c86.programEnablePin = true;
    c86.eraseAllUs = 15000;
    parts.push_back({"MICROCHIP", "93C86C", c86});
    // 16 x 16 parts: a 6-bit address field with two don't-care bits.
    MicrowireFacts c06 = Microwire("NM93C06", 256, Org::Words, 10000);
    c06.dontCareBits = 2;
    parts.push_back({"FAIRCHILD", "NM93C06", c06});
    MicrowireFacts n9306 = c06;
    n9306.name = "NMC9306";
    n9306.autoErase = false; // WRITE needs an ERASE of the word first
    parts.push_back({"NATIONAL-SEMICONDUCTOR", "NMC9306", n9306});
    // Microwire, bytes only.
    parts.push_back({"MICROCHIP", "93LC46A", Microwire("93LC46A", 1024, Org::Bytes, 6000, wide)});
    parts.push_back({"MICROCHIP", "93LC66A", Microwire("93LC66A", 4096, Org::Bytes, 6000, wide)});
    // Serial NOVRAM.
    parts.push_back({"XICOR", "X24C44", NovramFacts{"X24C44", 10000, {}}});
    // Two-wire.
    parts.push_back({"XICOR", "X24C01", TwoWire("X24C01", 128, 4, 0, 10000, false)});
    parts.push_back({"ATMEL", "AT24C04", TwoWire("AT24C04", 512, 16, 1, 10000, true)});
    parts.push_back({"ATMEL", "AT24C16", TwoWire("AT24C16", 2048, 16, 1, 10000, false)});
    parts.push_back({"MICROCHIP", "24LC32A", TwoWire("24LC32A", 4096, 32, 2, 5000, true, wide)});
    parts.push_back({"MICROCHIP", "24LC256", TwoWire("24LC256", 32768, 64, 2, 5000, true, wide)});
    parts.push_back({"SIEMENS", "SLE24C02", TwoWire("SLE24C02", 256, 8, 1, 8000, true)});
    // Two-wire with a write-protect register.
    const auto withRegister = [](TwoWireFacts f, uint8_t type, uint32_t at) {
        f.typeCode = type;
        f.protectRegister = true;
        f.registerAddress = at;
        return f;
    };
    parts.push_back({"XICOR", "X24F032", withRegister(TwoWire("X24F032", 4096, 16, 1, 10000, false), 0x80, 0xFFF)});
    parts.push_back({"XICOR", "X24F128", withRegister(TwoWire("X24F128", 16384, 16, 2, 10000, false), 0xA0, 0xFFFF)});
    parts.push_back({"XICOR", "X24325", withRegister(TwoWire("X24325", 4096, 32, 1, 10000, false), 0xA0, 0xFFF)});
    parts.push_back({"XICOR", "X24645", withRegister(TwoWire("X24645", 8192, 32, 1, 10000, false), 0x80, 0x1FFF)});
    // The pin-driven byte and word parts of the address-first, instruction-byte,
    // command-byte and select-frame rows: each is the nearest real part of the
    // organisation, supply and pins its row serves.
    parts.push_back({"CATALYST", "CAT59C11", AddressFirstFacts{"CAT59C11", 128, 10000, 10000, {}}});
    parts.push_back({"NATIONAL-SEMICONDUCTOR", "NMC93CS46", InstructionWordFacts{"NMC93CS46", 64, 10000, {}}});
    parts.push_back({"XICOR", "X24C00", CommandByteFacts{"X24C00", false, 10000, {}}});
    parts.push_back({"PHILIPS", "PCF8581", SelectFrameFacts{"PCF8581", 10000, {}}});
    // The SPI-pinout EEPROM with one address byte: 256 x 8, 16-byte pages,
    // 5 ms write, 1.8-5.5 V.
    parts.push_back({"MICROCHIP", "25AA020A", ByteAddressSpiFacts{"25AA020A", 256, 16, 5000, {17, 57}}});
    // The two-clock EEPROM with 16-bit addresses: 8 K x 8, 5 ms write, 2.5-6.0 V.
    parts.push_back({"MICROCHIP", "24LC65", TwoClockFacts{"24LC65", 8192, 8, 5000, {24, 60}}});
    // The same in its 1.8-6.0 V grade, served by the engine's two-clock form.
    parts.push_back({"MICROCHIP", "24AA65", TwoClockFacts{"24AA65", 8192, 8, 5000, {17, 60}}});
    // Serial flash with byte programming: 64 KB, maker BFh, device 48h, 20 us
    // byte program, 100 ms chip erase, 2.7-3.6 V.
    parts.push_back({"SST", "SST25VF512", ByteFlashFacts{"SST25VF512", 65536, 0xBF, 0x48, 20, 100000, {26, 37}}});
    // Password-protected memories: answer to reset, arrays, sectors, supply
    // and write cycle from their datasheets. Both leave the factory with the
    // password the programmer's slots start with.
    const SecurePassword factory = {0x8F, 0xB2, 0x4D, 0x06, 0xE7, 0x91, 0x3C, 0x5A};
    SecureFacts x100;
    x100.name = "X76F100";
    x100.factoryPassword = factory;
    x100.supply = {29, 57}; // 3.0-5.5 V
    parts.push_back({"XICOR", "X76F100", x100});
    SecureFacts x640;
    x640.name = "X76F640";
    x640.array0Bytes = 8192;
    x640.array1Bytes = 32;
    x640.sectorBytes = 32;
    x640.answer = {0x19, 0x54, 0x45, 0x4B};
    x640.pollByte = 0xF0;
    x640.factoryPassword = factory;
    x640.supply = {26, 57}; // 2.7-5.5 V
    parts.push_back({"XICOR", "X76F640", x640});
    // SPI EEPROMs with block protection (bits 2-3; WPEN bit 7 with /WP on the
    // parts of 1 KB and more), 5 ms writes, 1.8-5.5 V.
    const auto spi = [](const char* name, uint32_t bytes, uint32_t page, uint32_t addressBytes, bool wpen) {
        return SpiEepromFacts{name, bytes, page, addressBytes, 5000, wpen, false, false, 10000, {17, 57}};
    };
    parts.push_back({"ATMEL", "AT25010", spi("AT25010", 128, 8, 1, false)});
    parts.push_back({"ATMEL", "AT25040", spi("AT25040", 512, 8, 1, false)});
    parts.push_back({"ATMEL", "AT25080", spi("AT25080", 1024, 32, 2, true)});
    parts.push_back({"ATMEL", "AT25160", spi("AT25160", 2048, 32, 2, true)});
    parts.push_back({"ATMEL", "AT25320", spi("AT25320", 4096, 32, 2, true)});
    parts.push_back({"ATMEL", "AT25640", spi("AT25640", 8192, 32, 2, true)});
    parts.push_back({"ATMEL", "AT25128", spi("AT25128", 16384, 64, 2, true)});
    parts.push_back({"ATMEL", "AT25256", spi("AT25256", 32768, 64, 2, true)});
    // 128 KB, three address bytes, 256-byte pages, 6 ms writes, 10 ms chip
    // erase (C7h), 2.5-5.5 V.
    parts.push_back({"MICROCHIP", "25LC1024",
                     SpiEepromFacts{"25LC1024", 131072, 256, 3, 6000, true, false, true, 10000, {24, 57}}});
    // Supervisors with an SPI EEPROM and a watchdog (bits 4-5): 10 ms writes,
    // 2.7-5.5 V; the 512-byte parts with A8 in the instruction and 16-byte
    // pages, the larger ones with WPEN and 32-byte pages.
    const auto supervisor = [](const char* name, uint32_t bytes) {
        const bool small = bytes == 512;
        return SpiEepromFacts{name, bytes, small ? 16u : 32u, small ? 1u : 2u, 10000, !small, true, false, 10000, {26, 57}};
    };
    for (const auto& [name, bytes] : {std::pair{"X5043", 512u}, {"X5045", 512u}, {"X5163", 2048u}, {"X5165", 2048u},
                                      {"X5323", 4096u}, {"X5325", 4096u}, {"X5643", 8192u}, {"X5645", 8192u}})
        parts.push_back({"XICOR", name, supervisor(name, bytes)});
    // DataFlash, 2.7-3.6 V, 20 ms page erase and program, 250 us page to
    // buffer; density codes 0111b, 1001b, 1011b.
    parts.push_back({"ATMEL", "AT45DB041", DataFlashFacts{"AT45DB041", 2048, 264, 0x7, 20000, 250, {26, 37}}});
    parts.push_back({"ATMEL", "AT45DB081", DataFlashFacts{"AT45DB081", 4096, 264, 0x9, 20000, 250, {26, 37}}});
    parts.push_back({"ATMEL", "AT45DB161", DataFlashFacts{"AT45DB161", 4096, 528, 0xB, 20000, 250, {26, 37}}});
    // One-time serial configuration PROMs. Capacity, supply and programming
    // level from the datasheets; the page counter's stops of the polarity
    // bit and the identification, the page size and the identity codes have
    // no datasheet: they are the chips' own, as the rows reach them.
    const auto prom = [](const char* name, uint32_t bytes, uint32_t page, uint32_t polarity, uint32_t id,
                         uint8_t device, SerialSupply supply = {43, 57}) {
        ConfigPromFacts f;
        f.name = name;
        f.bytes = bytes;
        f.pageBytes = page;
        f.polarityPage = polarity;
        f.idPage = id;
        f.makerCode = 0x49;
        f.deviceCode = device;
        f.vppMinTenths = 120;
        f.pulseUs = 100;
        f.supply = supply;
        return f;
    };
    parts.push_back({"XILINX", "XC1765E", prom("XC1765E", 8192, 4, 2048, 2056, 0x65)});
    parts.push_back({"XILINX", "XC17128E", prom("XC17128E", 16384, 4, 4104, 4600, 0xA2)});
    parts.push_back({"XILINX", "XC17256E", prom("XC17256E", 32768, 2, 16384, 19791, 0x25)});
    parts.push_back({"XILINX", "XC17S05", prom("XC17S05", 8192, 4, 2048, 2056, 0x51)});
    parts.push_back({"XILINX", "XC17S05XL", prom("XC17S05XL", 8192, 4, 2048, 2056, 0x53, {28, 38})});
    parts.push_back({"XILINX", "XC17S10", prom("XC17S10", 16384, 4, 4096, 4104, 0x52)});
    // Two-wire configuration EEPROMs: capacity, page and supply from the
    // datasheets; the identity codes have none (the chips' own).
    const auto eeprom = [](const char* name, uint32_t bytes, uint32_t page, uint8_t device) {
        ConfigEepromFacts f;
        f.name = name;
        f.bytes = bytes;
        f.pageBytes = page;
        f.threeByteAddress = bytes > 65536;
        f.makerCode = 0x1E;
        f.deviceCode = device;
        f.writeUs = 5000;
        return f;
    };
    parts.push_back({"ATMEL", "AT17C65", eeprom("AT17C65", 8192, 64, 0x65)});
    parts.push_back({"ATMEL", "AT17C128", eeprom("AT17C128", 16384, 64, 0x28)});
    parts.push_back({"ATMEL", "AT17C256", eeprom("AT17C256", 32768, 64, 0x56)});
    parts.push_back({"ATMEL", "AT17C512", eeprom("AT17C512", 65536, 128, 0x12)});
    parts.push_back({"ATMEL", "AT17C010", eeprom("AT17C010", 131072, 128, 0x10)});
    // Configuration devices with a text identification: capacity (440,800
    // and 1,046,496 bits, rounded up to whole kilobytes of the array) and the
    // 5 V supply from the datasheets; the address widths, the place of the
    // identification and the programming level and pulse are the chips' own.
    const auto textId = [](const char* name, uint32_t bytes, uint32_t extBits, uint32_t idAddress) {
        TextIdConfigFacts f;
        f.name = name;
        f.bytes = bytes;
        f.extBits = extBits;
        f.idAddress = idAddress;
        return f;
    };
    parts.push_back({"ALTERA", "EPC1441", textId("EPC1441", 65536, 4, 0x35F)});
    parts.push_back({"ALTERA", "EPC1", textId("EPC1", 131072, 5, 0x3FF)});
    return parts;
}

} // namespace

const std::vector<SerialPart>& SerialParts() {
    static const std::vector<SerialPart> parts = MakeParts();
    return parts;
}

const SerialPart* FindSerialPart(const std::string& maker, const std::string& name) {
    for (const SerialPart& p : SerialParts()) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

std::unique_ptr<SerialChipBase> MakeSerialChip(const SerialPart& part) {
    if (const auto* mw = std::get_if<MicrowireFacts>(&part.facts)) return std::make_unique<MicrowireChip>(*mw);
    if (const auto* nv = std::get_if<NovramFacts>(&part.facts)) return std::make_unique<NovramChip>(*nv);
    if (const auto* af = std::get_if<AddressFirstFacts>(&part.facts)) return std::make_unique<AddressFirstChip>(*af);
    if (const auto* iw = std::get_if<InstructionWordFacts>(&part.facts)) return std::make_unique<InstructionWordChip>(*iw);
    if (const auto* cb = std::get_if<CommandByteFacts>(&part.facts)) return std::make_unique<CommandByteChip>(*cb);
    if (const auto* sf = std::get_if<SelectFrameFacts>(&part.facts)) return std::make_unique<SelectFrameChip>(*sf);
    if (const auto* bs = std::get_if<ByteAddressSpiFacts>(&part.facts)) return std::make_unique<ByteAddressSpiChip>(*bs);
    if (const auto* tc = std::get_if<TwoClockFacts>(&part.facts)) return std::make_unique<TwoClockChip>(*tc);
    if (const auto* bf = std::get_if<ByteFlashFacts>(&part.facts)) return std::make_unique<ByteFlashChip>(*bf);
    if (const auto* sm = std::get_if<SecureFacts>(&part.facts)) return std::make_unique<SecureMemoryChip>(*sm);
    if (const auto* se = std::get_if<SpiEepromFacts>(&part.facts)) return std::make_unique<SpiEepromChip>(*se);
    if (const auto* df = std::get_if<DataFlashFacts>(&part.facts)) return std::make_unique<DataFlashChip>(*df);
    if (const auto* cp = std::get_if<ConfigPromFacts>(&part.facts)) return std::make_unique<ConfigPromChip>(*cp);
    if (const auto* ce = std::get_if<ConfigEepromFacts>(&part.facts)) return std::make_unique<ConfigEepromChip>(*ce);
    if (const auto* ti = std::get_if<TextIdConfigFacts>(&part.facts)) return std::make_unique<TextIdConfigChip>(*ti);
    return std::make_unique<TwoWireChip>(std::get<TwoWireFacts>(part.facts));
}

SerialChipBase* SeatSerialPart(Socket& socket, Electrical& electrical, const SerialPart& part) {
    std::unique_ptr<SerialChipBase> chip = MakeSerialChip(part);
    electrical.DeclareChip(chip->Limits());
    return socket.Insert(std::move(chip));
}

namespace {

// Microwire parts but the byte-organised ones, the NOVRAM and the
// instruction-byte word part hold 16-bit words.
bool WordWide(const SerialPart& p) {
    const auto* mw = std::get_if<MicrowireFacts>(&p.facts);
    return (mw != nullptr && mw->org != MicrowireFacts::Org::Bytes) || std::holds_alternative<NovramFacts>(p.facts) ||
           std::holds_alternative<InstructionWordFacts>(p.facts);
}

// A serial part keeps its words. A 16-bit part keeps a word in two cell
// bytes, the high one first for a Microwire part (its wire order), the low
// one first for the NOVRAM and the instruction-byte word part.
struct SerialContents : ModelLimits {
    static size_t Words(const SerialChipBase& m, const FamilyFacts<SerialPart>& f) {
        return m.Bytes() / (WordWide(f.family) ? 2 : 1);
    }
    static uint16_t Cell(const SerialChipBase& m, const FamilyFacts<SerialPart>& f, uint32_t a) {
        if (!WordWide(f.family)) return m.Byte(a);
        const int high = HighFirst(f.family) ? 0 : 1;
        return static_cast<uint16_t>(m.Byte(2 * a + high) << 8 | m.Byte(2 * a + 1 - high));
    }
    static void SetCell(SerialChipBase& m, const FamilyFacts<SerialPart>& f, uint32_t a, uint16_t v) {
        if (!WordWide(f.family)) return m.SetByte(a, static_cast<uint8_t>(v));
        const int high = HighFirst(f.family) ? 0 : 1;
        m.SetByte(2 * a + high, static_cast<uint8_t>(v >> 8));
        m.SetByte(2 * a + 1 - high, static_cast<uint8_t>(v));
    }
    static bool HighFirst(const SerialPart& p) { return std::holds_alternative<MicrowireFacts>(p.facts); }
};

} // namespace

void AddSerialParts(std::vector<CatalogPart>& parts) {
    for (const SerialPart& p : SerialParts()) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 8;
        const bool wide = WordWide(p);
        f.width = wide ? 16 : 8;
        f.blank = wide ? 0xFFFF : 0xFF;
        f.words = static_cast<uint32_t>(MakeSerialChip(p)->Bytes() / (wide ? 2 : 1));
        const bool selectFrame = std::holds_alternative<SelectFrameFacts>(p.facts);
        const auto* flash = std::get_if<ByteFlashFacts>(&p.facts);
        const bool secure = std::holds_alternative<SecureFacts>(p.facts);
        const bool dataFlash = std::holds_alternative<DataFlashFacts>(p.facts);
        f.vccPin = selectFrame || dataFlash ? 6 : flash ? 2 : secure ? 1 : 8;
        f.gndPins = {selectFrame || flash || dataFlash ? 7 : 4};
        if (const auto* cp = std::get_if<ConfigPromFacts>(&p.facts)) {
            f.gndPins = {5};
            f.makerCode = cp->makerCode;
            f.deviceCode = cp->deviceCode;
        }
        if (std::holds_alternative<TextIdConfigFacts>(p.facts)) f.gndPins = {5};
        // No datasheet gives the configuration PROMs' and the text-ID
        // devices' programming: their models follow the algorithm rows.
        f.followsRow =
            std::holds_alternative<ConfigPromFacts>(p.facts) || std::holds_alternative<TextIdConfigFacts>(p.facts);
        if (const auto* ce = std::get_if<ConfigEepromFacts>(&p.facts)) {
            f.gndPins = {5};
            f.makerCode = ce->makerCode;
            f.deviceCode = ce->deviceCode;
        }
        if (flash) {
            f.makerCode = flash->makerCode;
            f.deviceCode = flash->deviceCode;
        }
        parts.push_back(ModelPartBy<SerialContents, MakeSerialChip>(p.maker, f, p));
    }
}

SIM_CATALOG_FAMILY(AddSerialParts);

} // namespace sim
