#include "sim/JedecFlashChip.h"

#include <algorithm>

namespace sim {

FlashPinout FlashPinoutById(int id) {
    FlashPinout p;
    switch (id) {
    case kPinoutDip28:
        p.pinCount = 28;
        p.address = {10, 9, 8, 7, 6, 5, 4, 3, 25, 24, 21, 23, 2, 26, 1};
        p.data = {11, 12, 13, 15, 16, 17, 18, 19};
        p.ce = 20, p.oe = 22, p.we = 27;
        p.vcc = {28}, p.gnd = {14};
        break;
    case kPinoutByte40:
        p.pinCount = 40;
        p.address = {21, 20, 19, 18, 17, 16, 15, 14, 8, 7, 13, 11, 6, 5, 4, 3, 2, 1, 40, 39, 38, 37};
        p.data = {25, 26, 27, 28, 32, 33, 34, 35};
        p.ce = 22, p.oe = 24, p.we = 9, p.reset = 12;
        p.vcc = {10, 31}, p.gnd = {29, 30};
        break;
    case kPinoutTsop48:
        p.pinCount = 48;
        p.address = {25, 24, 23, 22, 21, 20, 19, 18, 8, 7, 6, 5, 4, 3, 2, 1, 48, 17, 16, 9};
        p.data = {29, 31, 33, 35, 38, 40, 42, 44, 30, 32, 34, 36, 39, 41, 43, 45};
        p.ce = 26, p.oe = 28, p.we = 11, p.reset = 12, p.vpp = 14, p.byteMode = 47;
        p.ce2 = 13, p.ce3 = 10;
        p.vcc = {37}, p.gnd = {27, 46};
        break;
    case kPinoutSo44:
        // The 44-pin SO of the 16-bit boot-sector parts (RY/BY# on pin 1).
        p.pinCount = 44;
        p.address = {11, 10, 9, 8, 7, 6, 5, 4, 42, 41, 40, 39, 38, 37, 36, 35, 34, 3, 2};
        p.data = {15, 17, 19, 21, 24, 26, 28, 30, 16, 18, 20, 22, 25, 27, 29, 31};
        p.ce = 12, p.oe = 14, p.we = 43, p.reset = 44, p.byteMode = 33;
        p.vcc = {23}, p.gnd = {13, 32};
        break;
    case kPinoutFbga48: {
        // The 48-ball FBGA as its adapter presents it: ball row r (A-H = 1-8)
        // of column c on position (c - 1) * 8 + r.
        auto ball = [](char row, int col) { return (col - 1) * 8 + (row - 'A' + 1); };
        p.pinCount = 48;
        p.address = {ball('E', 1), ball('D', 1), ball('C', 1), ball('A', 1), ball('B', 1), ball('D', 2), ball('C', 2),
                     ball('A', 2), ball('B', 5), ball('A', 5), ball('C', 5), ball('D', 5), ball('B', 6), ball('A', 6),
                     ball('C', 6), ball('D', 6), ball('E', 6), ball('B', 2), ball('C', 3), ball('D', 4)};
        p.data = {ball('E', 2), ball('H', 2), ball('E', 3), ball('H', 3), ball('H', 4), ball('E', 4), ball('H', 5), ball('E', 5),
                  ball('F', 2), ball('G', 2), ball('F', 3), ball('G', 3), ball('F', 4), ball('G', 5), ball('F', 5), ball('G', 6)};
        p.ce = ball('F', 1), p.oe = ball('G', 1), p.we = ball('A', 4), p.reset = ball('B', 4), p.byteMode = ball('F', 6);
        p.vcc = {ball('G', 4)}, p.gnd = {ball('H', 1), ball('H', 6)};
        break;
    }
    case kPinoutWord40:
        p.pinCount = 40;
        for (int a = 21; a <= 37; ++a) p.address.push_back(a);
        p.data = {11, 12, 13, 14, 15, 16, 17, 18, 2, 3, 4, 5, 6, 7, 8, 9};
        p.ce = 1, p.oe = 10, p.we = 19;
        p.vcc = {40}, p.gnd = {20};
        break;
    case kPinoutTsop48Byte: {
        const FlashPinout word = FlashPinoutById(kPinoutTsop48);
        p = word;
        p.address.insert(p.address.begin(), word.data[15]);
        p.data.resize(8);
        break;
    }
    case kPinoutDip32P: {
        // The adapter seats pin n of the 32-pin part on socket pin n + 8 but
        // routes A9, /OE, A10 and /CE to the positions its high-voltage
        // switches reach.
        const FlashPinout dip = FlashPinoutById(kPinoutDip32);
        auto at = [](int chipPin) {
            switch (chipPin) {
            case 26: return 7;  // A9
            case 24: return 31; // /OE
            case 23: return 32; // A10
            case 22: return 45; // /CE
            default: return chipPin + 8;
            }
        };
        p.pinCount = 48;
        for (int a : dip.address) p.address.push_back(at(a));
        for (int d : dip.data) p.data.push_back(at(d));
        p.ce = at(dip.ce), p.oe = at(dip.oe), p.we = at(dip.we);
        p.vcc = {at(dip.vcc.front())}, p.gnd = {at(dip.gnd.front())};
        break;
    }
    case kPinoutTsop40Acc:
        p.pinCount = 40;
        p.address = {21, 20, 19, 18, 17, 16, 15, 14, 8, 7, 29, 6, 5, 4, 3, 2, 1, 40, 13, 38, 37, 36};
        p.data = {25, 26, 27, 28, 32, 33, 34, 35};
        p.ce = 22, p.oe = 24, p.we = 9, p.reset = 10, p.vpp = 11;
        p.vcc = {30, 31}, p.gnd = {23, 39};
        break;
    case kPinoutDip32Reset:
        p = FlashPinoutById(kPinoutDip32);
        p.address.pop_back(); // pin 1 is RESET#, not A18
        p.reset = 1;
        break;
    default: // kPinoutDip32
        p.pinCount = 32;
        p.address = {12, 11, 10, 9, 8, 7, 6, 5, 27, 26, 23, 25, 4, 28, 29, 3, 2, 30, 1};
        p.data = {13, 14, 15, 17, 18, 19, 20, 21};
        p.ce = 22, p.oe = 24, p.we = 31;
        p.vcc = {32}, p.gnd = {16};
        break;
    }
    return p;
}

namespace {

ChipPinLimits FootprintLimits(const std::string& name, const std::vector<int>& socketPins, const FlashPinout& p) {
    ChipPinLimits l;
    l.chip = name;
    for (int s : socketPins) {
        if (s != 0) l.socketPins.push_back(s);
    }
    l.maxTenths = 70;
    // A9, /OE, RESET# and WP#/ACC take up to 13.0 V (identification and protection).
    auto raise = [&](int chipPin) {
        if (chipPin >= 1 && chipPin <= static_cast<int>(socketPins.size()) && socketPins[static_cast<size_t>(chipPin - 1)] != 0)
            l.Allow(socketPins[static_cast<size_t>(chipPin - 1)], 130);
    };
    if (p.address.size() > 9) raise(p.address[9]);
    raise(p.oe);
    raise(p.reset);
    raise(p.vpp);
    return l;
}

// Parts whose chip unprotect wants /CE at VID take it there too.
ChipPinLimits FootprintLimits(const JedecFlashConfig& c, const std::vector<int>& socketPins, const FlashPinout& p) {
    ChipPinLimits l = FootprintLimits(c.name, socketPins, p);
    const int ce = c.ceChipPin != 0 ? c.ceChipPin : p.ce;
    if (c.unprotectCeVid && ce >= 1 && ce <= static_cast<int>(socketPins.size()) && socketPins[static_cast<size_t>(ce - 1)] != 0)
        l.Allow(socketPins[static_cast<size_t>(ce - 1)], 130);
    // Parts unprotected with /WE at VID take it there.
    if (c.unprotectByCePulses && p.we >= 1 && p.we <= static_cast<int>(socketPins.size()) &&
        socketPins[static_cast<size_t>(p.we - 1)] != 0)
        l.Allow(socketPins[static_cast<size_t>(p.we - 1)], 130);
    return l;
}

} // namespace

// ---- JEDEC flash --------------------------------------------------------------

JedecFlashChip::JedecFlashChip(JedecFlashConfig config)
    : ProbeChip(DipSocketPins(FlashPinoutById(config.pinout).pinCount), {}, config.name),
      cfg_(std::move(config)),
      pins_(FlashPinoutById(cfg_.pinout)),
      cePin_(cfg_.ceChipPin != 0 ? cfg_.ceChipPin : pins_.ce),
      cells_(cfg_.words, cfg_.width > 8 ? 0xFFFF : 0xFF),
      commandsLeft_(cfg_.programCommandsNeeded) {
    const auto& seats = SocketPins();
    for (size_t i = 0; i < seats.size() && i < static_cast<size_t>(kSocketPins); ++i) seatOf_[i + 1] = seats[i];
    direct_ = pins_.address.size() <= 32 && pins_.data.size() <= 16;
    auto seat = [&](int chipPin) {
        const int z = Socket(chipPin);
        direct_ = direct_ && z != 0;
        return z;
    };
    if (direct_) {
        addressLines_ = pins_.address.size();
        for (size_t i = 0; i < addressLines_; ++i) addressZ_[i] = seat(pins_.address[i]);
        for (size_t i = 0; i < pins_.data.size(); ++i) dataZ_[i] = seat(pins_.data[i]);
        controlZ_[0] = seat(cePin_);
        controlZ_[1] = seat(pins_.oe);
        controlZ_[2] = seat(pins_.we);
        if (pins_.byteMode != 0) seat(pins_.byteMode);
        if (pins_.reset != 0) seat(pins_.reset);
    }
    // The high-voltage checks: VID from vidMinTenths, the autoselect voltage
    // on A9 from a9HighTenths.
    for (int pin : {pins_.address.size() > 9 ? pins_.address[9] : 0, pins_.oe, pins_.reset, cePin_, cfg_.overridePin,
                    cfg_.unprotectByCePulses ? pins_.we : 0}) {
        if (pin >= 1 && pin <= kSocketPins) vidPins_.push_back(pin);
    }
    vidAboveLogic_ = cfg_.vidMinTenths > kLogicHighTenths && cfg_.a9HighTenths > kLogicHighTenths;
    std::fill(std::begin(switchedTenths_), std::end(switchedTenths_), int16_t{-1});
    const size_t n = cells_.size();
    addressMask_ = n != 0 && (n & (n - 1)) == 0 ? static_cast<uint32_t>(n - 1) : 0;
    for (int z = 0; z <= kSocketPins; ++z) {
        dataBitOf_[z] = -1;
        const int chipPin = ChipPinAt(z);
        for (size_t i = 0; chipPin != 0 && i < pins_.data.size(); ++i) {
            if (pins_.data[i] == chipPin) {
                dataBitOf_[z] = static_cast<int8_t>(i);
                break;
            }
        }
    }
}

ChipPinLimits JedecFlashChip::Limits() const {
    ChipPinLimits l = FootprintLimits(cfg_, SocketPins(), pins_);
    // The lockout override pin takes 12 V too.
    const int s = cfg_.overridePin != 0 ? Socket(cfg_.overridePin) : 0;
    if (s != 0) l.Allow(s, 130);
    return l;
}

bool JedecFlashChip::IsBlank() const {
    const uint16_t blank = cfg_.width > 8 ? 0xFFFF : 0xFF;
    return std::all_of(cells_.begin(), cells_.end(), [&](uint16_t c) { return c == blank; });
}

uint32_t JedecFlashChip::SectorSize(uint32_t sector) const {
    const auto& m = cfg_.sectorWords;
    const uint32_t size = m.empty() ? 0 : m[std::min<size_t>(sector, m.size() - 1)];
    return size != 0 ? size : static_cast<uint32_t>(cells_.size());
}

uint32_t JedecFlashChip::SectorStart(uint32_t sector) const {
    uint32_t start = 0;
    const uint32_t listed = static_cast<uint32_t>(cfg_.sectorWords.size());
    for (uint32_t i = 0; i < sector && i + 1 < listed; ++i) start += SectorSize(i);
    if (sector + 1 > listed && listed > 0) start += (sector - (listed - 1)) * SectorSize(listed - 1);
    return start;
}

uint32_t JedecFlashChip::SectorOf(uint32_t a) const {
    const uint32_t listed = static_cast<uint32_t>(cfg_.sectorWords.size());
    uint32_t start = 0;
    for (uint32_t i = 0; i + 1 < listed; ++i) {
        if (a < start + SectorSize(i)) return i;
        start += SectorSize(i);
    }
    // The last listed size repeats to the end of the array.
    return (listed > 0 ? listed - 1 : 0) + (a - start) / SectorSize(listed > 0 ? listed - 1 : 0);
}

uint32_t JedecFlashChip::SectorCount() const { return cells_.empty() ? 0 : SectorOf(static_cast<uint32_t>(cells_.size() - 1)) + 1; }

int JedecFlashChip::Level(const PinEnvironment& env, int chipPin) const {
    const int s = Socket(chipPin);
    return s == 0 ? env.FloatingLevel() : env.InputLevel(s);
}

int JedecFlashChip::Volts(const PinEnvironment& env, int chipPin) const {
    const int s = Socket(chipPin);
    return s == 0 ? -1 : env.VoltageTenths(s);
}

bool JedecFlashChip::SuppliedFrom(const PinEnvironment& env, int tenths) const {
    for (int v : pins_.vcc) {
        if (Volts(env, v) < tenths) return false;
    }
    return std::all_of(pins_.gnd.begin(), pins_.gnd.end(), [&](int g) { return Socket(g) != 0 && env.HeldLow(Socket(g)); });
}

void JedecFlashChip::RefreshSupply(const PinEnvironment& env) const {
    const uint64_t revision = env.SupplyRevision();
    supplyAboveLockout_ = SuppliedFrom(env, cfg_.lockoutTenths);
    supplyPowered_ = SuppliedFrom(env, cfg_.vccMinTenths);
    // Kept only while no supply or ground pin takes its level from a logic
    // driver, which may move within one revision.
    bool switched = revision != 0;
    auto held = [&](int chipPin) {
        const int z = Socket(chipPin);
        if (z == 0) return;
        const PinCondition c = env.ConditionAt(z);
        switched = switched && (c.grounded || c.supplyTenths >= 0);
    };
    for (int v : pins_.vcc) held(v);
    for (int g : pins_.gnd) held(g);
    supplyRevision_ = switched ? revision : 0;
    // Within one supply revision only logic levels move: a pin's switched
    // voltage stays.
    for (int pin : vidPins_) {
        const int z = Socket(pin);
        const PinCondition c = z != 0 ? env.ConditionAt(z) : PinCondition{};
        switchedTenths_[pin] = static_cast<int16_t>(c.grounded ? 0 : c.supplyTenths >= 0 ? c.supplyTenths : -1);
    }
    auto vid = [&](int chipPin) {
        const int v = chipPin >= 1 && chipPin <= kSocketPins ? switchedTenths_[chipPin] : -1;
        return v >= cfg_.vidMinTenths && v <= cfg_.vidMaxTenths;
    };
    equipmentMode_ = cfg_.equipmentProtect && pins_.address.size() > 9 && vid(pins_.address[9]) && vid(pins_.oe);
    atVid_ = cfg_.inSystemProtect && pins_.reset != 0 && vid(pins_.reset);
}

int JedecFlashChip::SwitchedVolts(const PinEnvironment& env, int chipPin) const {
    if (!vidAboveLogic_) return Volts(env, chipPin);
    CheckSupply(env);
    return chipPin >= 1 && chipPin <= kSocketPins ? switchedTenths_[chipPin] : -1;
}

unsigned JedecFlashChip::ControlLevels(const PinEnvironment& env) const {
    if (direct_) {
        return static_cast<unsigned>(env.InputLevel(controlZ_[0]) != 0) |
               static_cast<unsigned>(env.InputLevel(controlZ_[1]) != 0) << 1 |
               static_cast<unsigned>(env.InputLevel(controlZ_[2]) != 0) << 2;
    }
    return static_cast<unsigned>(Level(env, cePin_) != 0) | static_cast<unsigned>(Level(env, pins_.oe) != 0) << 1 |
           static_cast<unsigned>(Level(env, pins_.we) != 0) << 2;
}

bool JedecFlashChip::ByteMode(const PinEnvironment& env) const {
    return cfg_.width > 8 && pins_.byteMode != 0 && Level(env, pins_.byteMode) == 0;
}

uint32_t JedecFlashChip::AddressNow(const PinEnvironment& env) const {
    uint32_t a = 0;
    if (direct_) {
        a = env.HighLevels(addressZ_, addressLines_);
    } else {
        for (size_t i = 0; i < pins_.address.size(); ++i) {
            if (Level(env, pins_.address[i])) a |= 1u << i;
        }
    }
    // Address lines above the array are not bonded.
    if (addressMask_ != 0) a &= addressMask_;
    else if (!cells_.empty()) a %= static_cast<uint32_t>(cells_.size());
    if (ByteMode(env)) a = (a << 1) | static_cast<uint32_t>(Level(env, pins_.data[15]));
    return a;
}

uint16_t JedecFlashChip::DataNow(const PinEnvironment& env) const {
    const size_t bits = std::min<size_t>(ByteMode(env) || cfg_.width <= 8 ? 8 : 16, pins_.data.size());
    if (direct_) return static_cast<uint16_t>(env.HighLevels(dataZ_, bits));
    uint16_t d = 0;
    for (size_t i = 0; i < bits; ++i) {
        if (Level(env, pins_.data[i])) d = static_cast<uint16_t>(d | (1u << i));
    }
    return d;
}

bool JedecFlashChip::IsCommandAddress(uint32_t a, int which, bool byteMode) const {
    const uint32_t mask = (1u << cfg_.commandBits) - 1;
    const uint32_t first = cfg_.commandBits >= 15 ? 0x5555 : 0x555, second = cfg_.commandBits >= 15 ? 0x2AAA : 0x2AA;
    const uint32_t want = which == 1 ? first : second;
    if (byteMode) return (a & ((mask << 1) | 1)) == ((want << 1) | (which == 1 ? 0u : 1u));
    return (a & mask) == want;
}

bool JedecFlashChip::Busy(const PinEnvironment& env) const {
    return busy_ && (failed_ || neverReady_ || env.NowUs() < busyEnd_);
}

void JedecFlashChip::PowerLost() {
    state_ = State::Read;
    inBypass_ = false;
    busy_ = failed_ = erasing_ = false;
    prevWrite_ = prevRead_ = false;
    page_.loading = false;
    statusOut_ = false;
    statusErrors_ = 0;
    protectMode_ = protectExit_ = protectVerify_ = false;
    ceVidPeriod_ = cePulse_ = false;
    cePulses_ = 0;
}

void JedecFlashChip::Update(const PinEnvironment& env) {
    // Below the lockout supply the write circuits are off and every mode is lost.
    if (!AboveLockout(env)) {
        if (wasPowered_) PowerLost();
        wasPowered_ = false;
        return;
    }
    wasPowered_ = true;
    if (busy_ && !Busy(env)) busy_ = erasing_ = false;
    if (PageLoadLapsed(env)) EndPageLoad(env);
    if (pins_.reset != 0 && Level(env, pins_.reset) == 0) {
        // RESET# low ends every mode, bypass included, and an operation in progress.
        PowerLost();
        return;
    }
    const unsigned levels = ControlLevels(env);
    const bool ce = (levels & 1) == 0, oe = (levels & 2) == 0, we = (levels & 4) == 0;
    const bool reading = ce && oe && !we;
    if (reading && !prevRead_) {
        ++toggles_;
        OnReadStart(env);
    }
    prevRead_ = reading;
    const bool writing = ce && we && !oe;
    if (writing && !prevWrite_) weFallUs_ = env.NowUs();
    if (cfg_.unprotectByCePulses && InVidRange(env, pins_.oe) && InVidRange(env, pins_.we)) {
        OnCeUnprotectPulse(env, ce);
        prevWrite_ = false;
        return;
    }
    ceVidPeriod_ = cePulse_ = false;
    cePulses_ = 0;
    if (EquipmentMode(env)) {
        // /CE at VID (parts that want it) turns the pulse into the chip unprotect.
        const bool ceVid = cfg_.unprotectCeVid && InVidRange(env, cePin_);
        const bool pulse = (ce || ceVid) && we;
        if (pulse && !equipPulse_) {
            const uint32_t a = AddressNow(env);
            equipAddress_ = ByteMode(env) ? a >> 1 : a; // the word the sector lines select
            equipStart_ = env.NowUs();
            equipCeVid_ = ceVid;
        }
        const bool unprotect = cfg_.unprotectCeVid ? equipCeVid_ : (equipAddress_ & 0x40) != 0;
        const bool addressed = unprotect ? (equipAddress_ & cfg_.unprotectAddressMask) == cfg_.unprotectAddressWant
                                         : (equipAddress_ & 3) == 2;
        if (!pulse && equipPulse_ && addressed) {
            const uint64_t lasted = env.NowUs() - equipStart_;
            if (!unprotect && lasted >= 100) ProtectSector(SectorOf(equipAddress_));
            if (unprotect && lasted >= 10000) EndUnprotect(env);
        }
        equipPulse_ = pulse;
        prevWrite_ = false;
        return;
    }
    equipPulse_ = false;
    if (AtVid(env)) {
        if (prevWrite_ && !writing && !(ce && oe)) OnIspWriteCycle(env, AddressNow(env), static_cast<uint8_t>(DataNow(env)));
    } else if (state_ == State::IspVerify) {
        state_ = State::Read; // RESET# back from VID
        ispPulse_ = 0;
    } else if (prevWrite_ && !writing && !(ce && oe)) {
        OnWriteCycle(env, AddressNow(env), DataNow(env));
    }
    prevWrite_ = writing;
}

void JedecFlashChip::EndUnprotect(const PinEnvironment& env) {
    // The first pulse of an unprotect wants every sector protected; its repeats
    // (a sector still read protected) may follow a partial unprotect.
    if (protected_.size() < SectorCount() && !unprotecting_) {
        env.Violation(cfg_.name + ": chip unprotect with a sector not protected");
        return;
    }
    unprotecting_ = true;
    if (neverUnprotect_ || ++unprotectPulses_ < unprotectPulsesNeeded_) return;
    protected_ = keptProtected_;
    ++chipUnprotects_;
}

// VID is sensed within its range only; above the electrical limit the
// electrical model reports the violation.
bool JedecFlashChip::InVidRange(const PinEnvironment& env, int chipPin) const {
    const int v = chipPin != 0 ? SwitchedVolts(env, chipPin) : -1;
    return v >= cfg_.vidMinTenths && v <= cfg_.vidMaxTenths;
}

bool JedecFlashChip::EquipmentModeNow(const PinEnvironment& env) const {
    return cfg_.equipmentProtect && pins_.address.size() > 9 && InVidRange(env, pins_.address[9]) &&
           InVidRange(env, pins_.oe);
}

bool JedecFlashChip::AtVidNow(const PinEnvironment& env) const {
    return cfg_.inSystemProtect && pins_.reset != 0 && InVidRange(env, pins_.reset);
}

void JedecFlashChip::OnIspWriteCycle(const PinEnvironment& env, uint32_t address, uint8_t data) {
    writes_.push_back({address, data});
    const uint32_t word = ByteMode(env) ? address >> 1 : address;
    const bool sectorAddress = (word & 3) == 2, a6 = (word & 0x40) != 0;
    if (data == 0xF0) {
        state_ = State::Read;
        ispPulse_ = 0;
    } else if (data == 0x60 && sectorAddress) {
        ispPulse_ = a6 ? 2 : 1;
        ispSector_ = SectorOf(word);
        ispStart_ = env.NowUs();
    } else if (data == 0x40 && sectorAddress) {
        const uint64_t lasted = env.NowUs() - ispStart_;
        if (ispPulse_ == 1 && lasted >= 100) ProtectSector(ispSector_);
        if (ispPulse_ == 2 && lasted >= 10000) EndUnprotect(env);
        ispPulse_ = 0;
        state_ = State::IspVerify;
    }
}

void JedecFlashChip::StartProgram(const PinEnvironment& env, uint32_t address, uint16_t data) {
    const bool byteMode = ByteMode(env);
    const uint32_t word = byteMode ? address >> 1 : address;
    busy_ = true;
    erasing_ = false;
    failed_ = false;
    busyDatum_ = data;
    if (word >= cells_.size() || Locked(env, SectorOf(word))) {
        busyEnd_ = env.NowUs() + 2; // a protected sector: back to reading after a few microseconds
        return;
    }
    busyEnd_ = env.NowUs() + cfg_.programUs;
    const auto weak = commandsLeft_.find(word);
    if (weak != commandsLeft_.end() && weak->second > 1) {
        --weak->second; // this command passes the cell by
        return;
    }
    uint16_t& cell = cells_[word];
    uint16_t want = data;
    if (byteMode) {
        const int shift = (address & 1) ? 8 : 0;
        want = static_cast<uint16_t>((cell & ~(0xFF << shift)) | ((data & 0xFF) << shift));
    }
    if (stuck_.count(word) == 0) cell = static_cast<uint16_t>(cell & want);
    failed_ = cell != want; // a 0 that must become 1, or a cell that does not take the datum
}

void JedecFlashChip::StartErase(const PinEnvironment& env, int sector) {
    const uint16_t blank = cfg_.width > 8 ? 0xFFFF : 0xFF;
    const uint32_t first = sector < 0 ? 0 : static_cast<uint32_t>(sector);
    const uint32_t last = sector < 0 ? SectorCount() - 1 : first;
    // A stuck cell keeps its datum: the embedded erase runs past its time
    // limit and reports it on DQ5.
    bool failed = false;
    for (uint32_t s = first; s <= last; ++s) {
        if (Locked(env, s)) continue;
        const uint32_t from = SectorStart(s), to = std::min<uint32_t>(from + SectorSize(s), static_cast<uint32_t>(cells_.size()));
        for (uint32_t a = from; a < to; ++a) {
            if (stuck_.count(a) != 0 && cells_[a] != blank) failed = true;
            else cells_[a] = blank;
        }
    }
    if (sector < 0) ++chipErases_;
    busy_ = erasing_ = true;
    failed_ = failed;
    busyDatum_ = 0xFFFF; // DQ7 reads 0 until the erased cells read 1
    busyEnd_ = env.NowUs() + (sector < 0 ? cfg_.chipEraseUs : cfg_.sectorEraseUs);
}

void JedecFlashChip::OnWriteCycle(const PinEnvironment& env, uint32_t address, uint16_t data) {
    writes_.push_back({address, data});
    const uint8_t d = static_cast<uint8_t>(data & 0xFF);
    if (cfg_.lockout == FlashLockoutScheme::SevenReads) return OnSevenReadsWrite(env, address, d);
    if (cfg_.pageBytes != 0) return OnPageModeWrite(env, address, d);
    if (busy_) {
        if (failed_ && d == 0xF0) busy_ = failed_ = false, state_ = inBypass_ ? State::Bypass : State::Read;
        return; // the embedded operation takes no commands
    }
    if (protectMode_) return OnProtectModeWrite(env, address, d);
    const bool bm = ByteMode(env);
    auto isCmd = [&](int which) { return IsCommandAddress(address, which, bm); };
    auto back = [&] { state_ = inBypass_ ? State::Bypass : State::Read; };
    switch (state_) {
    case State::Read:
    case State::Autoselect:
    case State::IspVerify:
    case State::BlockRead:
    case State::LockVerify:
    case State::SdpProgram:
    case State::SdpErase:
    case State::PageLoading:
    case State::EraseSetup:
        if (d == 0xF0) state_ = State::Read;
        else if (d == 0xAA && isCmd(1)) state_ = State::Unlock1;
        break;
    case State::Unlock1:
        state_ = d == 0x55 && isCmd(2) ? State::Unlock2 : State::Read;
        break;
    case State::Unlock2:
        if (!isCmd(1)) state_ = State::Read;
        else if (d == 0x90) state_ = State::Autoselect;
        else if ((d == 0xA0 && cfg_.programA0) || (d == 0xA5 && cfg_.programA5)) state_ = State::Program;
        else if (d == 0x80) state_ = State::Erase80;
        else if (d == 0x20 && cfg_.unlockBypass) inBypass_ = true, state_ = State::Bypass;
        else if (d == 0x95 && cfg_.lockout == FlashLockoutScheme::TopBottomBlocks) state_ = State::BlockRead;
        else if (d == 0x24 && cfg_.protectCommands == FlashProtectCommands::OeEntry && InVidRange(env, pins_.oe))
            protectMode_ = true, protectExit_ = protectVerify_ = false, state_ = State::Read;
        else state_ = State::Read;
        break;
    case State::Program:
        state_ = State::Read;
        StartProgram(env, address, data);
        break;
    case State::Erase80:
        state_ = d == 0xAA && isCmd(1) ? State::Erase1 : State::Read;
        break;
    case State::Erase1:
        state_ = d == 0x55 && isCmd(2) ? State::Erase2 : State::Read;
        break;
    case State::Erase2:
        state_ = State::Read;
        if (d == 0x10 && isCmd(1)) StartErase(env, -1);
        else if (d == 0x30) StartErase(env, static_cast<int>(SectorOf(bm ? address >> 1 : address)));
        else if (d == 0xA0 && isCmd(1) && cfg_.fastMode) state_ = State::Fast;
        else if (d == 0x20 && isCmd(1) && cfg_.protectCommands == FlashProtectCommands::AfterErasePrefix)
            state_ = State::ProtectSetup;
        else state_ = OnLockoutCommand(bm ? address >> 1 : address, d);
        break;
    case State::ProtectSetup:
        OnProtectSetupWrite(env, bm ? address >> 1 : address, d);
        break;
    case State::LockPulse:
        OnLockoutPulse(env);
        break;
    case State::Bypass:
        if (d == 0xA0) state_ = State::BypassProgram;
        else if (d == 0x90) state_ = State::BypassExit;
        break;
    case State::BypassProgram:
        state_ = State::Bypass;
        StartProgram(env, address, data);
        break;
    case State::BypassExit:
        if (d == 0x00) inBypass_ = false;
        back();
        break;
    case State::Fast:
        if (d == 0xF0 && !cfg_.fastUntilReset) state_ = State::Read;
        else StartProgram(env, address, data);
        break;
    }
}

uint16_t JedecFlashChip::AutoselectWord(uint32_t a) const {
    uint16_t lockout = 0;
    if (LockoutWord(a, lockout)) return lockout;
    if ((a & cfg_.protectStatusMask) == 2) return protected_.count(SectorOf(a)) ? 1 : 0;
    // Another part: another device code, and a die code no part of the
    // family gives.
    const bool another = AnswersAnotherIdentity();
    switch (a & 0xFF) {
    case 0:
        return cfg_.makerId;
    case 1:
        return static_cast<uint16_t>(cfg_.deviceId ^ (another ? 1 : 0));
    case 3:
        return static_cast<uint16_t>((cfg_.dieCode >= 0 ? cfg_.dieCode : 0) ^ (another ? 2 : 0));
    default:
        return 0;
    }
}

uint16_t JedecFlashChip::OutputWord(const PinEnvironment& env) const {
    const bool bm = ByteMode(env);
    const uint32_t address = AddressNow(env);
    const uint32_t word = bm ? address >> 1 : address;
    uint16_t w;
    if (cfg_.pageBytes != 0 && statusOut_) return static_cast<uint16_t>((Busy(env) ? 0 : 0x80) | statusErrors_);
    if (Busy(env)) {
        w = static_cast<uint16_t>((~busyDatum_ & 0x80) | ((toggles_ & 1) << 6) | (failed_ ? 0x20 : 0) |
                                  (erasing_ ? 0x08 : 0));
        // The status bits are DQ7-DQ0; a word-wide part drives DQ15-DQ8 too,
        // with the complement of the datum's high byte (00h while erasing),
        // as DQ7 gives the complement of its bit until the cell holds it.
        if (!bm && cfg_.width > 8) w = static_cast<uint16_t>(w | (~busyDatum_ & 0xFF00));
        return w;
    }
    const int a9 = pins_.address.size() > 9 ? SwitchedVolts(env, pins_.address[9]) : -1;
    const bool hvId = a9 >= cfg_.a9HighTenths && a9 <= cfg_.vidMaxTenths;
    if (state_ == State::IspVerify || state_ == State::LockVerify || (protectMode_ && protectVerify_))
        return protected_.count(SectorOf(word)) ? 1 : 0;
    if (state_ == State::BlockRead) return static_cast<uint16_t>(blocks_);
    if (hvId || state_ == State::Autoselect) return AutoselectWord(word);
    w = word < cells_.size() ? cells_[word] : 0xFFFF;
    if (bm) w = static_cast<uint16_t>((address & 1) ? w >> 8 : w & 0xFF);
    return w;
}

ChipDrive JedecFlashChip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

// The datum is worked out once for the whole data word.
void JedecFlashChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    if (!Powered(env)) {
        for (size_t i = 0; i < n; ++i) out[i] = DiodeNetworkOutput(env, socketPins[i]);
        return;
    }
    for (size_t i = 0; i < n; ++i) out[i] = ChipDrive::None;
    if (ControlLevels(env) != 4) return; // a read cycle: /CE and /OE low, /WE high
    const size_t bits = ByteMode(env) || cfg_.width <= 8 ? 8 : 16;
    bool known = false;
    uint16_t word = 0;
    for (size_t i = 0; i < n; ++i) {
        const int z = socketPins[i];
        const int bit = z >= 1 && z <= kSocketPins ? dataBitOf_[z] : -1;
        if (bit < 0 || static_cast<size_t>(bit) >= bits) continue;
        if (!known) word = OutputWord(env), known = true;
        out[i] = (word >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

// ---- static RAM ------------------------------------------------------------------

SramChip::SramChip(SramConfig config)
    : ProbeChip(DipSocketPins(FlashPinoutById(config.pinout).pinCount), {}, config.name),
      cfg_(std::move(config)),
      pins_(FlashPinoutById(cfg_.pinout)),
      cells_(cfg_.words, 0) {
    const auto& s = SocketPins();
    const auto socketOf = [&](int chipPin) {
        return chipPin >= 1 && chipPin <= static_cast<int>(s.size()) ? s[static_cast<size_t>(chipPin - 1)] : 0;
    };
    ceSocket_ = socketOf(cfg_.ceChipPin != 0 ? cfg_.ceChipPin : pins_.ce);
    oeSocket_ = socketOf(pins_.oe);
    weSocket_ = socketOf(pins_.we);
    for (int v : pins_.vcc) vccSockets_.push_back(socketOf(v));
    for (int g : pins_.gnd) gndSockets_.push_back(socketOf(g));
    for (int a : pins_.address) addressSockets_.push_back(socketOf(a));
    addressOnSocket_ = addressSockets_.size() <= 32 &&
                       std::find(addressSockets_.begin(), addressSockets_.end(), 0) == addressSockets_.end();
    std::fill(std::begin(dataBitAt_), std::end(dataBitAt_), int8_t{-1});
    for (size_t i = 0; i < static_cast<size_t>(cfg_.width) && i < pins_.data.size(); ++i) {
        const int z = socketOf(pins_.data[i]);
        dataSockets_.push_back(z);
        // A pin carrying two bits answers with the lower one.
        if (z >= 1 && z <= kSocketPins && dataBitAt_[z] < 0) dataBitAt_[z] = static_cast<int8_t>(i);
    }
}

ChipPinLimits SramChip::Limits() const { return FootprintLimits(cfg_.name, SocketPins(), FlashPinout{}); }

bool SramChip::Powered(const PinEnvironment& env) const {
    for (int z : vccSockets_) {
        if (env.VoltageTenths(z) < cfg_.vccMinTenths) return false;
    }
    return std::all_of(gndSockets_.begin(), gndSockets_.end(), [&](int z) { return env.HeldLow(z); });
}

uint32_t SramChip::AddressNow(const PinEnvironment& env) const {
    if (addressOnSocket_) return env.HighLevels(addressSockets_.data(), addressSockets_.size());
    uint32_t a = 0;
    for (size_t k = 0; k < addressSockets_.size(); ++k) {
        if (LevelAt(env, addressSockets_[k])) a |= 1u << k;
    }
    return a;
}

uint16_t SramChip::Stored(uint32_t a) const {
    uint16_t v = a < cells_.size() ? cells_[a] : 0;
    const auto it = stuck_.find(a);
    if (it != stuck_.end()) {
        const uint16_t bit = static_cast<uint16_t>(1u << it->second.first);
        v = static_cast<uint16_t>(it->second.second ? v | bit : v & ~bit);
    }
    return v;
}

void SramChip::Update(const PinEnvironment& env) {
    if (!Powered(env)) {
        prevWrite_ = false;
        // A volatile part loses its data when the supply goes.
        if (wasPowered_ && !cfg_.nonVolatile) std::fill(cells_.begin(), cells_.end(), uint16_t{0});
        wasPowered_ = false;
        return;
    }
    wasPowered_ = true;
    const bool writing = LevelAt(env, ceSocket_) == 0 && LevelAt(env, weSocket_) == 0;
    if (prevWrite_ && !writing) {
        if (env.VoltageTenths(vccSockets_.empty() ? 0 : vccSockets_[0]) >= cfg_.writeProtectTenths) {
            const uint32_t a = AddressNow(env);
            uint16_t d = 0;
            for (size_t i = 0; i < dataSockets_.size(); ++i) {
                if (LevelAt(env, dataSockets_[i])) d = static_cast<uint16_t>(d | (1u << i));
            }
            if (!cells_.empty()) cells_[a % cells_.size()] = d;
            ++writes_;
        }
    }
    prevWrite_ = writing;
}

ChipDrive SramChip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

void SramChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    const uint8_t* map = ChipPinMap();
    if (!Powered(env)) {
        for (size_t i = 0; i < n; ++i)
            out[i] = ChipPinAt(map, socketPins[i]) != 0 ? DiodeNetworkOutput(env, socketPins[i]) : ChipDrive::None;
        return;
    }
    for (size_t i = 0; i < n; ++i) out[i] = ChipDrive::None;
    // A read cycle: /CE and /OE low, /WE high.
    if (LevelAt(env, ceSocket_) != 0 || LevelAt(env, oeSocket_) != 0 || LevelAt(env, weSocket_) == 0) return;
    bool known = false;
    uint16_t word = 0;
    for (size_t i = 0; i < n; ++i) {
        const int z = socketPins[i];
        const int bit = z >= 1 && z <= kSocketPins ? dataBitAt_[z] : -1;
        if (bit < 0) continue;
        if (!known) {
            const uint32_t a = AddressNow(env);
            word = Stored(cells_.empty() ? 0 : a % static_cast<uint32_t>(cells_.size()));
            known = true;
        }
        out[i] = (word >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

} // namespace sim
