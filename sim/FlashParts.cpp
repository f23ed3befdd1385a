#include "sim/FlashParts.h"

#include <memory>

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr uint32_t K = 1024;

// A 5 V byte-wide flash: program time, sector and chip erase times typical.
JedecFlashConfig Byte5V(const char* name, int pinout, uint32_t bytes, std::vector<uint32_t> sectors, uint16_t maker,
                        uint16_t device, int commandBits, uint32_t programUs, uint64_t sectorUs, uint64_t chipUs) {
    JedecFlashConfig c;
    c.name = name;
    c.pinout = pinout;
    c.words = bytes;
    c.sectorWords = std::move(sectors);
    c.makerId = maker;
    c.deviceId = device;
    c.commandBits = commandBits;
    c.programUs = programUs;
    c.sectorEraseUs = sectorUs;
    c.chipEraseUs = chipUs;
    return c;
}

// A 3 V part: reads from 2.7 V, writes locked out below 2.3 V.
JedecFlashConfig LowVoltage(JedecFlashConfig c, int lockoutTenths = 23) {
    c.vccMinTenths = 27;
    c.lockoutTenths = lockoutTenths;
    return c;
}

JedecFlashConfig Word16(JedecFlashConfig c) {
    c.width = 16;
    c.pinout = kPinoutTsop48;
    return c;
}

template <class F> JedecFlashConfig With(JedecFlashConfig c, F change) {
    change(c);
    return c;
}

SramConfig Sram(const char* name, int pinout, int width, uint32_t words, bool nonVolatile) {
    SramConfig s;
    s.name = name;
    s.pinout = pinout;
    s.width = width;
    s.words = words;
    s.nonVolatile = nonVolatile;
    return s;
}

// Boot-sector maps of the 16-bit parts, in words: bottom 8K, 4K, 4K, 16K, then 32K.
std::vector<uint32_t> BottomBoot() { return {8 * K, 4 * K, 4 * K, 16 * K, 32 * K}; }
std::vector<uint32_t> TopBoot(uint32_t words) {
    std::vector<uint32_t> s((words - 32 * K) / (32 * K), 32 * K);
    for (uint32_t w : {16 * K, 4 * K, 4 * K, 8 * K}) s.push_back(w);
    return s;
}

// Parts with software protection: boot-block lockout, block protection,
// sector protection by command, sector lockdown, seven-read data protection.
template <class Add> void AddLockoutParts(Add&& flash) {
    using S = FlashLockoutScheme;
    auto scheme = [](JedecFlashConfig c, S lockout, bool top = false, int overridePin = 0) {
        c.lockout = lockout;
        c.bootAtTop = top;
        c.overridePin = overridePin;
        return c;
    };
    // 5 V 2 Mbit parts with a 16 KB boot block, two 8 KB parameter blocks and
    // two main blocks; RESET# (pin 1) at 12 V overrides the lockout.
    flash("ATMEL", "AT49F002", scheme(Byte5V("", kPinoutDip32, 256 * K, {16 * K, 8 * K, 8 * K, 96 * K, 128 * K}, 0x1F, 0x07,
                                             15, 50, 1000000, 3000000),
                                      S::BootBlock, false, 1));
    flash("ATMEL", "AT49F002T", scheme(Byte5V("", kPinoutDip32, 256 * K, {128 * K, 96 * K, 8 * K, 8 * K, 16 * K}, 0x1F, 0x08,
                                              15, 50, 1000000, 3000000),
                                       S::BootBlock, true, 1));
    // A top-boot part whose lockout is switched on and off by command.
    flash("PMC", "Pm29F002T", scheme(Byte5V("", kPinoutDip32, 256 * K, {64 * K, 64 * K, 64 * K, 32 * K, 8 * K, 8 * K, 16 * K},
                                            0x9D, 0x1D, 15, 15, 1000000, 2000000),
                                     S::SwitchableBootBlock, true));
    // 16 KB bottom and top blocks, each protected for good by command.
    flash("SST", "SST29SF040", scheme(Byte5V("", kPinoutDip32, 512 * K, {16 * K}, 0xBF, 0x13, 15, 20, 25000, 100000),
                                      S::TopBottomBlocks));
    // 256-byte sectors, single-cycle commands, seven-read data protection.
    flash("SST", "SST28SF040A", scheme(Byte5V("", kPinoutDip32, 512 * K, {256}, 0xBF, 0x04, 15, 35, 4000, 20000),
                                       S::SevenReads));
    // 16-bit parts: a 4K-word boot block with lockout (RESET# at 12 V overrides);
    // sector protection by command with a held /WE pulse; sector lockdown
    // with the fast program mode.
    flash("ATMEL", "AT49F1024",
          scheme(Word16(Byte5V("", 0, 64 * K, {4 * K, 60 * K}, 0x1F, 0x80, 15, 30, 1000000, 3000000)), S::BootBlock));
    flash("MACRONIX", "MX29LV160BB",
          scheme(LowVoltage(Word16(Byte5V("", 0, 1024 * K, BottomBoot(), 0xC2, 0x2249, 15, 11, 700000, 8000000))),
                 S::SectorCommand));
    // Forty sectors: eight of 4K words, two of 16K, thirty of 32K.
    std::vector<uint32_t> forty(8, 4 * K);
    forty.insert(forty.end(), {16 * K, 16 * K, 32 * K});
    flash("ATMEL", "AT49BV1614A",
          With(scheme(LowVoltage(Word16(Byte5V("", 0, 1024 * K, forty, 0x1F, 0xC0, 15, 12, 500000, 10000000))),
                      S::SectorLockdown),
               [](auto& c) { c.fastMode = c.fastUntilReset = true; }));
}

std::vector<FlashPart> MakeParts() {
    std::vector<FlashPart> p;
    auto flash = [&](const char* maker, const char* name, JedecFlashConfig c) {
        c.name = name;
        p.push_back({maker, name, FlashPart::Flash, c, {}});
    };
    // Non-volatile SRAM modules, written like SRAM; writes inhibited below 4.25 V.
    p.push_back({"DALLAS", "DS1230Y", FlashPart::Sram, {}, Sram("DS1230Y", kPinoutDip28, 8, 32 * K, true)});
    p.push_back({"DALLAS", "DS1245Y", FlashPart::Sram, {}, Sram("DS1245Y", kPinoutDip32, 8, 128 * K, true)});
    p.push_back({"DALLAS", "DS1258Y", FlashPart::Sram, {}, Sram("DS1258Y", kPinoutWord40, 16, 128 * K, true)});
    // 5 V byte-wide flash, 32-pin; sectors protected by programming
    // equipment with A9 and /OE at 11.5-12.5 V. The Am29F010 and Am29F040
    // unprotect with /CE at VID too, as their B successors do.
    auto byEquipment = [](JedecFlashConfig c) {
        c.equipmentProtect = true;
        return c;
    };
    flash("AMD", "Am29F010", With(byEquipment(Byte5V("", kPinoutDip32, 128 * K, {16 * K}, 0x01, 0x20, 15, 14, 1000000, 2000000)),
                                  [](auto& c) { c.unprotectCeVid = true; }));
    flash("AMD", "Am29F002T",
          byEquipment(Byte5V("", kPinoutDip32, 256 * K, {64 * K, 64 * K, 64 * K, 32 * K, 8 * K, 8 * K, 16 * K}, 0x01, 0xB0,
                             11, 7, 1000000, 7000000)));
    flash("AMD", "Am29F002B",
          byEquipment(Byte5V("", kPinoutDip32, 256 * K, {16 * K, 8 * K, 8 * K, 32 * K, 64 * K, 64 * K, 64 * K}, 0x01,
                             0x34, 11, 7, 1000000, 7000000)));
    flash("AMD", "Am29F040", With(byEquipment(Byte5V("", kPinoutDip32, 512 * K, {64 * K}, 0x01, 0xA4, 15, 14, 1000000, 8000000)),
                                  [](auto& c) { c.dieCode = 0, c.unprotectCeVid = true; }));
    // SST byte-wide flash: 4 KB sectors, commands on A14-A0, DQ7 and DQ6 polling.
    for (auto [name, kb, dev] : {std::tuple{"SST39SF010A", 128u, 0xB5}, {"SST39SF020A", 256u, 0xB6}, {"SST39SF040", 512u, 0xB7}})
        flash("SST", name, With(Byte5V("", kPinoutDip32, kb * K, {4 * K}, 0xBF, static_cast<uint16_t>(dev), 15, 20, 25000, 100000),
                                [](auto& c) { c.lockoutTenths = 25; }));
    // The same parts in PLCC32 on the latched bus of row 94 (the adapter
    // presents the DIP numbering).
    for (auto [name, kb, dev] : {std::tuple{"SST39SF010A@PLCC32", 128u, 0xB5}, {"SST39SF020A@PLCC32", 256u, 0xB6}, {"SST39SF040@PLCC32", 512u, 0xB7}})
        flash("SST", name, With(Byte5V("", kPinoutDip32, kb * K, {4 * K}, 0xBF, static_cast<uint16_t>(dev), 15, 20, 25000, 100000),
                                [](auto& c) { c.lockoutTenths = 25; }));
    flash("AMD", "Am29F010@PLCC32", Byte5V("", kPinoutDip32, 128 * K, {16 * K}, 0x01, 0x20, 15, 14, 1000000, 2000000));
    // 40-pin 5 V parts of row 93 (Am29F032B with unlock bypass).
    // Sectors protected with A9 and /OE at 11.5-12.5 V.
    flash("AMD", "Am29F016B", With(Byte5V("", kPinoutByte40, 2048 * K, {64 * K}, 0x01, 0xAD, 11, 7, 1000000, 25000000),
                                   [](auto& c) { c.equipmentProtect = true; }));
    // The Am29F032B's 64 sectors are protected by groups of four adjacent
    // sectors, as its family's sector-group parts are (the 2 MB member's
    // datasheet); modelled by its groups (the row erases the whole chip).
    flash("AMD", "Am29F032B", With(Byte5V("", kPinoutByte40, 4096 * K, {256 * K}, 0x01, 0x41, 11, 7, 1000000, 32000000),
                                   [](auto& c) { c.unlockBypass = c.equipmentProtect = true; }));
    // Row 72: 3 V and 5 V 4 Mbit parts; the Am29LV040B's sectors protected
    // with A9 and /OE at 11.5-12.5 V.
    flash("AMD", "Am29LV040B", LowVoltage(With(Byte5V("", kPinoutDip32, 512 * K, {64 * K}, 0x01, 0x4F, 11, 9, 700000, 8000000),
                                               [](auto& c) { c.unlockBypass = c.equipmentProtect = true; })));
    // The M29F040B's datasheet leaves block protection to an application
    // note not found here: its protection by command (20h after the erase
    // prefix, then 00h with A9 set) follows row 72's sub-variant 0, and only
    // that part of the model follows the row.
    flash("ST", "M29F040B", With(Byte5V("", kPinoutDip32, 512 * K, {64 * K}, 0x20, 0xE2, 11, 8, 1000000, 6000000),
                                 [](auto& c) { c.protectCommands = FlashProtectCommands::AfterErasePrefix; }));
    // ST's programmer technique as the M29F100, M29F105B and M29F002
    // datasheets give it: a block protected with A9 and /OE at VID (100 us
    // /WE pulse), the chip unprotected with A9, /OE and /E at VID and A12 and
    // A15 high (10 ms), a block's state read with A1 high and A0 low, the
    // other address lines free (as the M29F040B datasheet has it too).
    flash("ST", "M29F040", With(Byte5V("", kPinoutDip32, 512 * K, {64 * K}, 0x20, 0xE2, 11, 8, 1000000, 6000000), [](auto& c) {
              c.equipmentProtect = c.unprotectCeVid = true;
              c.unprotectAddressMask = c.unprotectAddressWant = 0x9000;
              c.protectStatusMask = 3;
          }));
    // 5 V 4 Mbit parts of the AMD command set: the ALLIANCE AS29F040
    // protected as the Am29F040B (A9 and /OE at VID, the chip unprotect with
    // A6 set); the HYUNDAI HY29F040's chip unprotect with /CE at VID too, its
    // unprotect address (A12 and A6 high) following row 72's sub-variant 6.
    // The HY29F040 answers its protection verify (A9 at VID) only with A6
    // low, as the autoselect table of its command set fixes A6, A1 and A0:
    // a verify at 42h reads no protection state.
    flash("ALLIANCE", "AS29F040",
          With(Byte5V("", kPinoutDip32, 512 * K, {64 * K}, 0x52, 0xA4, 11, 9, 1000000, 8000000), [](auto& c) { c.equipmentProtect = true; }));
    flash("HYUNDAI", "HY29F040", With(Byte5V("", kPinoutDip32, 512 * K, {64 * K}, 0xAD, 0xA4, 11, 7, 1000000, 8000000), [](auto& c) {
              c.equipmentProtect = c.unprotectCeVid = true;
              c.unprotectAddressMask = c.unprotectAddressWant = 0x1040;
              c.protectStatusMask = 0xFF;
          }));
    // 16-bit SST parts of row 78: 2 KWord sectors, 14 us word program, 40 ms chip erase.
    auto sst16 = [](uint32_t words, uint16_t dev) {
        return LowVoltage(Word16(Byte5V("", 0, words, {2 * K}, 0xBF, dev, 15, 14, 18000, 40000)), 18);
    };
    flash("SST", "SST39VF800A", sst16(512 * K, 0x2781));
    flash("SST", "SST39VF160", sst16(1024 * K, 0x2782));
    // Row 46: 3 V boot-sector parts with unlock bypass, in-system sector
    // protection (RESET# at 11.5-12.5 V) and the programming-equipment method
    // (A9 and /OE at 11.5-12.5 V); 25 s chip erase.
    auto amd16 = [](uint32_t words, std::vector<uint32_t> map, uint16_t maker, uint16_t dev) {
        return LowVoltage(With(Word16(Byte5V("", 0, words, std::move(map), maker, dev, 11, 9, 700000, 25000000)),
                               [](auto& c) { c.unlockBypass = c.inSystemProtect = c.equipmentProtect = true; }));
    };
    flash("AMD", "Am29LV160DB", amd16(1024 * K, BottomBoot(), 0x01, 0x2249));
    flash("AMD", "Am29LV160DT", amd16(1024 * K, TopBoot(1024 * K), 0x01, 0x22C4));
    flash("AMD", "Am29LV800BB", amd16(512 * K, BottomBoot(), 0x01, 0x225B));
    flash("FUJITSU", "MBM29LV160BE", amd16(1024 * K, BottomBoot(), 0x04, 0x2249));
    // The same dies in their 44-pin SO and 48-ball FBGA packages.
    flash("AMD", "Am29LV800BB@SO44", With(amd16(512 * K, BottomBoot(), 0x01, 0x225B), [](auto& c) { c.pinout = kPinoutSo44; }));
    flash("AMD", "Am29LV160DB@FBGA48",
          With(amd16(1024 * K, BottomBoot(), 0x01, 0x2249), [](auto& c) { c.pinout = kPinoutFbga48; }));
    // Flash plus SRAM modules (row 58): flash on BEF#, SRAM on BES#.
    for (auto [name, words, dev, sramWords] : {std::tuple{"SST32HF802", 512 * K, 0x2781, 128 * K},
                                               {"SST32HF162", 1024 * K, 0x2782, 128 * K},
                                               {"SST32HF164", 1024 * K, 0x2782, 256 * K}}) {
        JedecFlashConfig f = LowVoltage(Word16(Byte5V(name, 0, words, {2 * K}, 0xBF, static_cast<uint16_t>(dev), 15, 14, 18000, 70000)), 18);
        SramConfig s = Sram(name, kPinoutTsop48, 16, sramWords, false);
        s.ceChipPin = FlashPinoutById(kPinoutTsop48).ce2;
        s.vccMinTenths = 27;
        s.writeProtectTenths = 27;
        p.push_back({"SST", name, FlashPart::FlashWithSram, f, s});
    }
    // Byte-wide rows protected with A9 and /OE at 11.5-12.5 V: 5 V 16-bit
    // boot-sector parts used in byte mode (TSOP48) and 32-pin parts through
    // adapter 'P' whose chip unprotect also takes /CE at VID.
    auto equipment = [](JedecFlashConfig c) {
        c.equipmentProtect = true;
        return c;
    };
    auto byteMode = [&](const char* name, uint32_t words, std::vector<uint32_t> map, uint16_t dev) {
        JedecFlashConfig c = equipment(Word16(Byte5V(name, 0, words, std::move(map), 0x01, dev, 11, 7, 1000000, 8000000)));
        p.push_back({"AMD", name, FlashPart::FlashByteMode, c, {}});
    };
    byteMode("Am29F400BB", 256 * K, BottomBoot(), 0x22AB);
    byteMode("Am29F400BT", 256 * K, TopBoot(256 * K), 0x2223);
    byteMode("Am29F200BB", 128 * K, BottomBoot(), 0x2257);
    byteMode("Am29F200BT", 128 * K, TopBoot(128 * K), 0x2251);
    byteMode("Am29F800BB", 512 * K, BottomBoot(), 0x2258);
    byteMode("Am29F800BT", 512 * K, TopBoot(512 * K), 0x22D6);
    // 3 V parts of the family with unlock bypass (row 22's Program).
    for (auto [name, words, map, dev] :
         {std::tuple{"Am29LV400BB", 256 * K, BottomBoot(), 0x22BA}, {"Am29LV400BT", 256 * K, TopBoot(256 * K), 0x22B9},
          {"Am29LV800BB-BYTE", 512 * K, BottomBoot(), 0x225B}, {"Am29LV800BT", 512 * K, TopBoot(512 * K), 0x22DA}}) {
        byteMode(name, words, map, static_cast<uint16_t>(dev));
        p.back().flash = With(LowVoltage(p.back().flash), [](auto& c) { c.unlockBypass = true, c.programUs = 9; });
    }
    for (auto [name, kb, sector, dev] : {std::tuple{"Am29F010B", 128u, 16u, 0x20}, {"Am29F040B", 512u, 64u, 0xA4}})
        flash("AMD", name, With(equipment(Byte5V("", kPinoutDip32P, kb * K, {sector * K}, 0x01, static_cast<uint16_t>(dev), 11, 7,
                                                  1000000, 8000000)),
                                [](auto& c) { c.unprotectCeVid = true; }));
    // Row 29: 3 V uniform-sector part with unlock bypass and in-system
    // protection (RESET# at 11.5-12.5 V), protected by groups of four 64 KB
    // sectors; modelled by its groups (the rows erase the whole chip).
    flash("AMD", "Am29LV033C",
          LowVoltage(With(Byte5V("", kPinoutTsop40Acc, 4096 * K, {256 * K}, 0x01, 0xA3, 11, 9, 700000, 32000000),
                          [](auto& c) { c.unlockBypass = c.inSystemProtect = c.equipmentProtect = true; })));
    // A module, not a catalog chip: three 512K-word dies of the SST39VF800A
    // kind on /CE, /CE2, /CE3, named for them; the third takes its program
    // command as A5h.
    p.push_back({"SST", "3xSST39VF800A", FlashPart::ThreeDies, sst16(512 * K, 0x2781), {}});
    AddLockoutParts(flash);
    // Byte-wide page-mode flash (41h page program, A7h D0h erase, status
    // byte): no datasheet of such a part was found, so these generic parts
    // follow the algorithm rows, codes 41h/A7h included. Both take the
    // 32-pin footprint through adapter 'P'; the one the rows identify and
    // protect has the programming equipment's protection (A9 and /OE at VID,
    // the chip unprotect with /CE at VID too) and uniform 64 KB sectors.
    auto pageMode = [](JedecFlashConfig c, uint32_t page) {
        c.pageBytes = page;
        c.makerId = 0x41;
        c.deviceId = 0xA7;
        return c;
    };
    flash("GENERIC-ALGORITHM", "BF-PAGE41-128K",
          pageMode(Byte5V("", kPinoutDip32P, 128 * K, {16 * K}, 0, 0, 15, 0, 2000000, 2000000), 128));
    // Row 72's sub-variants 1 and 2 name no part and no datasheet gives their
    // procedures: these generic 5 V 4 Mbit parts follow the row, codes
    // included. The first takes the protection mode entered with 24h while
    // /OE is at VID; the second is protected with A9 and /OE at 10 V and
    // unprotected by two 5 ms /CE pulses with /OE and /WE at 10 V.
    flash("GENERIC-ALGORITHM", "BF72-OECMD-512K",
          With(Byte5V("", kPinoutDip32, 512 * K, {64 * K}, 0x72, 0x01, 11, 8, 1000000, 6000000),
               [](auto& c) { c.protectCommands = FlashProtectCommands::OeEntry; }));
    flash("GENERIC-ALGORITHM", "BF72-CEPLS-512K",
          With(Byte5V("", kPinoutDip32, 512 * K, {64 * K}, 0x72, 0x02, 11, 8, 1000000, 6000000), [](auto& c) {
              c.equipmentProtect = c.unprotectByCePulses = true;
              c.vidMinTenths = c.a9HighTenths = 95;
          }));
    flash("GENERIC-ALGORITHM", "BF-P41HV-512K",
          With(pageMode(equipment(Byte5V("", kPinoutDip32P, 512 * K, {64 * K}, 0, 0, 15, 0, 4000000, 4000000)), 256),
               [](auto& c) { c.unprotectCeVid = true; }));
    return p;
}

} // namespace

const std::vector<FlashPart>& FlashParts() {
    static const std::vector<FlashPart> parts = MakeParts();
    return parts;
}

const FlashPart* FindFlashPart(const std::string& maker, const std::string& name) {
    for (const FlashPart& p : FlashParts()) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

FlashModuleChip::FlashModuleChip(const PartFacts& facts, const FlashPart& part)
    : facts_(facts), byteMode_(part.kind == FlashPart::FlashByteMode) {
    seated_ = SeatFlashPart(part, dies_, nullptr);
    const ProbeChip* outline = seated_.flash();
    if (outline == nullptr) outline = seated_.sram;
    if (outline != nullptr) pins_ = outline->SocketPins();
    limits_ = seated_.flash() != nullptr ? seated_.flash()->Limits() : seated_.sram->Limits();
    limits_.chip = facts_.name;
    oneDie_ = dies_.Chips().size() == 1 && dies_.Chips().front()->SocketPins() == pins_;
}

// One die answers for the whole word in one call (it shares the module's
// footprint); several are combined pin by pin as the socket does.
void FlashModuleChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    if (oneDie_) {
        dies_.Chips().front()->Outputs(env, socketPins, n, out);
        return;
    }
    for (size_t i = 0; i < n; ++i) out[i] = ChipPinAt(socketPins[i]) != 0 ? dies_.Output(env, socketPins[i]) : ChipDrive::None;
}

size_t FlashModuleChip::Words() const {
    if (byteMode_) return 2 * seated_.flash()->Words();
    size_t words = 0;
    for (const JedecFlashChip* d : seated_.dies) words += d->Words();
    if (seated_.dies.empty() && seated_.sram != nullptr) words = seated_.sram->Words();
    return words;
}

uint16_t FlashModuleChip::Cell(uint32_t address) const {
    if (byteMode_) return seated_.Datum(address);
    for (const JedecFlashChip* d : seated_.dies) {
        if (address < d->Words()) return d->Cell(address);
        address -= static_cast<uint32_t>(d->Words());
    }
    return seated_.dies.empty() && seated_.sram != nullptr ? seated_.sram->Cell(address) : 0;
}

void FlashModuleChip::SetCell(uint32_t address, uint16_t value) {
    if (byteMode_) {
        JedecFlashChip* f = seated_.flash();
        const int shift = address & 1 ? 8 : 0;
        return f->SetCell(address >> 1, static_cast<uint16_t>((f->Cell(address >> 1) & ~(0xFF << shift)) | ((value & 0xFF) << shift)));
    }
    for (JedecFlashChip* d : seated_.dies) {
        if (address < d->Words()) return d->SetCell(address, value);
        address -= static_cast<uint32_t>(d->Words());
    }
    if (seated_.dies.empty() && seated_.sram != nullptr) seated_.sram->SetCell(address, value);
}

namespace {

std::unique_ptr<CatalogChip> NewFlashModule(const FamilyFacts<FlashPart>& f) {
    return std::make_unique<FlashModuleChip>(f, f.family);
}

} // namespace

void AddFlashParts(std::vector<CatalogPart>& parts) {
    for (const FlashPart& p : FlashParts()) {
        const bool hasFlash = p.kind != FlashPart::Sram;
        const FlashPinout pins = FlashPinoutById(hasFlash ? p.flash.pinout : p.sram.pinout);
        FamilyFacts<FlashPart> f;
        f.family = p;
        f.name = p.name;
        f.pinCount = pins.pinCount;
        const uint32_t dies = p.kind == FlashPart::ThreeDies ? 3 : 1;
        const bool bytes = p.kind == FlashPart::FlashByteMode;
        f.words = hasFlash ? p.flash.words * dies * (bytes ? 2 : 1) : p.sram.words;
        f.width = bytes ? 8 : hasFlash ? p.flash.width : p.sram.width;
        f.blank = hasFlash ? static_cast<uint16_t>(f.width > 8 ? 0xFFFF : 0xFF) : 0;
        if (hasFlash) {
            f.makerCode = p.flash.makerId;
            f.deviceCode = bytes ? p.flash.deviceId & 0xFF : p.flash.deviceId;
            f.vcc.minTenths = p.flash.vccMinTenths;
        } else {
            f.vcc.minTenths = p.sram.vccMinTenths;
        }
        f.vccPin = pins.vcc.empty() ? 0 : pins.vcc.front();
        f.gndPins = pins.gnd;
        f.followsRow = std::string(p.maker) == "GENERIC-ALGORITHM";
        parts.push_back(MadeBy<NewFlashModule>(p.maker, std::move(f)));
    }
}

SeatedFlash SeatFlashPart(const FlashPart& part, Socket& socket, Electrical* electrical) {
    SeatedFlash seated;
    seated.byteMode = part.kind == FlashPart::FlashByteMode;
    auto flash = [&](JedecFlashConfig c) {
        auto chip = std::make_unique<JedecFlashChip>(std::move(c));
        if (electrical) electrical->DeclareChip(chip->Limits());
        seated.dies.push_back(socket.Insert(std::move(chip)));
    };
    if (part.kind == FlashPart::Flash || part.kind == FlashPart::FlashWithSram || part.kind == FlashPart::FlashByteMode)
        flash(part.flash);
    if (part.kind == FlashPart::ThreeDies) {
        const FlashPinout pins = FlashPinoutById(part.flash.pinout);
        int die = 0;
        for (int ce : {pins.ce, pins.ce2, pins.ce3}) {
            JedecFlashConfig c = part.flash;
            c.ceChipPin = ce;
            c.programA0 = die != 2;
            c.programA5 = die == 2;
            flash(c);
            ++die;
        }
    }
    if (part.kind == FlashPart::Sram || part.kind == FlashPart::FlashWithSram) {
        auto chip = std::make_unique<SramChip>(part.sram);
        if (electrical && part.kind == FlashPart::Sram) electrical->DeclareChip(chip->Limits());
        seated.sram = socket.Insert(std::move(chip));
    }
    return seated;
}

SIM_CATALOG_FAMILY(AddFlashParts);

} // namespace sim
