#include "sim/SerialParts.h"

#include "sim/Catalog.h"

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
    return std::make_unique<TwoWireChip>(std::get<TwoWireFacts>(part.facts));
}

SerialChipBase* SeatSerialPart(Socket& socket, Electrical& electrical, const SerialPart& part) {
    electrical.DeclareChip(DipPinLimits(part.name, 8, 70));
    return socket.Insert(MakeSerialChip(part));
}

void AddSerialParts(std::vector<CatalogPart>& parts) {
    for (const SerialPart& p : SerialParts()) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = 8;
        // Microwire parts but the byte-organised ones, and the NOVRAM, hold
        // 16-bit words.
        const auto* mw = std::get_if<MicrowireFacts>(&p.facts);
        const bool wide = (mw != nullptr && mw->org != MicrowireFacts::Org::Bytes) ||
                          std::holds_alternative<NovramFacts>(p.facts) ||
                          std::holds_alternative<InstructionWordFacts>(p.facts);
        f.width = wide ? 16 : 8;
        f.blank = wide ? 0xFFFF : 0xFF;
        f.words = static_cast<uint32_t>(MakeSerialChip(p)->Bytes() / (wide ? 2 : 1));
        const bool selectFrame = std::holds_alternative<SelectFrameFacts>(p.facts);
        const auto* flash = std::get_if<ByteFlashFacts>(&p.facts);
        const bool secure = std::holds_alternative<SecureFacts>(p.facts);
        f.vccPin = selectFrame ? 6 : flash ? 2 : secure ? 1 : 8;
        f.gndPins = {selectFrame || flash ? 7 : 4};
        if (flash) {
            f.makerCode = flash->makerCode;
            f.deviceCode = flash->deviceCode;
        }
        parts.push_back(FamilyPart(p.maker, ChipKind::Serial, f, p));
    }
}

} // namespace sim
