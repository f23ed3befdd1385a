#include "sim/NandChip.h"

#include <algorithm>
#include <limits>

namespace sim {

namespace {

constexpr int kRb = 7, kRe = 8, kCe = 9, kCle = 16, kAle = 17, kWe = 18, kWp = 19;
constexpr int kIo[8] = {29, 30, 31, 32, 41, 42, 43, 44};
constexpr int kVcc[2] = {12, 37};
constexpr int kVss[2] = {13, 36};
constexpr uint64_t kResetUs = 5;

} // namespace

NandChip::NandChip(const NandFacts& facts) : facts_(facts), pins_(DipSocketPins(48)) {
    for (int z = 1; z <= kSocketPins; ++z) chipPinOf_[z] = static_cast<uint8_t>(ChipPinAt(z));
}

ChipPinLimits NandChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    for (int s : pins_) {
        if (s != 0) l.socketPins.push_back(s);
    }
    l.maxTenths = 70;
    return l;
}

int NandChip::Level(const PinEnvironment& env, int chipPin) const {
    return env.InputLevel(pins_[static_cast<size_t>(chipPin - 1)]);
}

bool NandChip::Powered(const PinEnvironment& env) const {
    for (int v : kVcc) {
        const int t = env.VoltageTenths(pins_[static_cast<size_t>(v - 1)]);
        if (t < facts_.vcc.minTenths || t > facts_.absMaxTenths) return false;
    }
    return std::all_of(std::begin(kVss), std::end(kVss),
                       [&](int g) { return env.HeldLow(pins_[static_cast<size_t>(g - 1)]); });
}

void NandChip::CheckSupply(const PinEnvironment& env) const {
    const uint64_t revision = env.SupplyRevision();
    if (revision != 0 && revision == supplyRevision_) return;
    supplyPowered_ = Powered(env);
    supplyOver_ = false;
    for (int v : kVcc)
        supplyOver_ = supplyOver_ || env.VoltageTenths(pins_[static_cast<size_t>(v - 1)]) > facts_.absMaxTenths;
    // Kept only while no supply or ground pin takes its level from a logic
    // driver, which may move within one revision.
    bool switched = revision != 0;
    for (const int* list : {kVcc, kVss}) {
        for (int i = 0; i < 2; ++i) {
            const PinCondition c = env.ConditionAt(pins_[static_cast<size_t>(list[i] - 1)]);
            switched = switched && (c.grounded || c.supplyTenths >= 0);
        }
    }
    supplyRevision_ = switched ? revision : 0;
}

uint8_t NandChip::DataIn(const PinEnvironment& env) const {
    int z[8];
    for (int i = 0; i < 8; ++i) z[i] = pins_[static_cast<size_t>(kIo[i] - 1)];
    return static_cast<uint8_t>(env.HighLevels(z, 8));
}

uint32_t NandChip::RowBytes() const {
    return facts_.pagesPerBlock * facts_.blocks > 0x10000 ? 3 : 2;
}

bool NandChip::Busy(const PinEnvironment& env) const {
    return env.NowUs() < busyUntil_;
}

std::vector<uint8_t>& NandChip::BlockOf(uint32_t block) {
    auto it = blocks_.find(block);
    if (it == blocks_.end()) {
        it = blocks_.emplace(block, std::vector<uint8_t>(facts_.PageBytes() * facts_.pagesPerBlock, 0xFF))
                 .first;
        lastBlock_.known = false;
    }
    return it->second;
}

uint8_t NandChip::PageByte(uint32_t page, uint32_t column) const {
    const uint32_t block = page / facts_.pagesPerBlock;
    if (!lastBlock_.known || lastBlock_.block != block) {
        const auto it = blocks_.find(block);
        lastBlock_.cells = it == blocks_.end() ? nullptr : &it->second;
        lastBlock_.block = block;
        lastBlock_.known = true;
    }
    if (lastBlock_.cells == nullptr || column >= facts_.PageBytes()) return 0xFF;
    return (*lastBlock_.cells)[(page % facts_.pagesPerBlock) * facts_.PageBytes() + column];
}

uint8_t NandChip::Byte(uint32_t address) const {
    return PageByte(address / facts_.PageBytes(), address % facts_.PageBytes());
}

void NandChip::SetByte(uint32_t address, uint8_t value) {
    if (address >= facts_.TotalBytes()) return;
    const uint32_t page = address / facts_.PageBytes();
    BlockOf(page / facts_.pagesPerBlock)[(page % facts_.pagesPerBlock) * facts_.PageBytes() +
                                         address % facts_.PageBytes()] = value;
}

void NandChip::SetCell(uint32_t address, uint16_t value) {
    if (!facts_.withSpare)
        address = address / facts_.pageData * facts_.PageBytes() + address % facts_.pageData;
    SetByte(address, static_cast<uint8_t>(value));
}

uint8_t NandChip::DataByte(uint32_t address) const {
    return PageByte(address / facts_.pageData, address % facts_.pageData);
}

void NandChip::MarkBad(uint32_t block, uint32_t markByte, uint8_t value) {
    if (block >= facts_.blocks || markByte >= facts_.spare) return;
    for (uint32_t p = 0; p < 2 && p < facts_.pagesPerBlock; ++p) {
        SetByte((block * facts_.pagesPerBlock + p) * facts_.PageBytes() + facts_.pageData + markByte, value);
    }
    failErase_.insert(block); // a factory bad block does not erase reliably
}

uint32_t NandChip::Erases(uint32_t block) const {
    const auto it = erases_.find(block);
    return it == erases_.end() ? 0 : it->second;
}

uint32_t NandChip::ProgramsOf(uint32_t page) const {
    const auto it = programs_.find(page);
    return it == programs_.end() ? 0 : it->second;
}

void NandChip::Reset() {
    input_ = Input::None;
    output_ = OutMode::None;
    pointer_ = Area::First;
    area_ = Area::First;
    addrCount_ = 0;
}

void NandChip::Update(const PinEnvironment& env) {
    CheckSupply(env);
    const bool over = supplyOver_;
    if (over && !wasPowered_) {
        // Refused once per power-up attempt.
        if (!refused_) env.Violation(facts_.name + ": supply above the part's absolute maximum");
        refused_ = true;
    }
    if (!supplyPowered_) {
        if (wasPowered_) {
            Reset();
            busyUntil_ = 0;
        }
        wasPowered_ = false;
        prevWe_ = prevRe_ = true;
        return;
    }
    if (!wasPowered_) Reset();
    wasPowered_ = true;
    refused_ = false;
    const int control[3] = {pins_[kWe - 1], pins_[kRe - 1], pins_[kCe - 1]};
    const uint32_t levels = env.HighLevels(control, 3);
    const bool we = (levels & 1) != 0, re = (levels & 2) != 0, ce = (levels & 4) == 0;
    if (ce && !prevWe_ && we) {
        const bool cle = Level(env, kCle) != 0, ale = Level(env, kAle) != 0;
        const uint8_t d = DataIn(env);
        if (cle && !ale)
            Command(env, d);
        else if (ale && !cle)
            AddressByte(env, d);
        else if (!cle && !ale)
            DataByteIn(d);
    }
    if (ce && !prevRe_ && re) NextRead(env);
    prevWe_ = we;
    prevRe_ = re;
}

void NandChip::Command(const PinEnvironment& env, uint8_t c) {
    const bool busy = Busy(env);
    if (busy && c != 0x70 && c != 0xFF) return; // only status and reset while busy
    switch (c) {
    case 0x00:
    case 0x01:
    case 0x50:
        if (c == 0x01 && facts_.pageData != 512) return;
        pointer_ = c == 0x50 ? Area::Spare : (c == 0x01 ? Area::Second : Area::First);
        input_ = Input::ReadAddress;
        output_ = OutMode::None;
        addrCount_ = 0;
        break;
    case 0x80:
        load_.assign(facts_.PageBytes(), 0xFF);
        input_ = Input::ProgramAddress;
        output_ = OutMode::None;
        addrCount_ = 0;
        break;
    case 0x10: {
        if (input_ != Input::ProgramData) return;
        input_ = Input::None;
        const uint32_t page = row_;
        const uint32_t block = page / facts_.pagesPerBlock;
        failed_ = false;
        const bool protectedNow = Level(env, kWp) == 0;
        busyUntil_ = neverReady_ ? std::numeric_limits<uint64_t>::max() : env.NowUs() + facts_.programUs;
        if (protectedNow || page >= facts_.pagesPerBlock * facts_.blocks) {
            failed_ = !protectedNow;
            break;
        }
        uint32_t& count = programs_[page];
        if (++count > facts_.partialPrograms) {
            env.Violation(facts_.name + ": page programmed more often than its partial-program count");
            failed_ = true;
            break;
        }
        if (failProgram_.count(block) != 0) {
            failed_ = true; // a weak block: the cells do not take the data
            break;
        }
        auto& cells = BlockOf(block);
        const uint32_t at = (page % facts_.pagesPerBlock) * facts_.PageBytes();
        const uint32_t base = page * facts_.PageBytes();
        for (uint32_t i = 0; i < facts_.PageBytes(); ++i) {
            if (!stuck_.empty() && stuck_.count(base + i) != 0) {
                failed_ = failed_ || (cells[at + i] & load_[i]) != cells[at + i];
                continue;
            }
            cells[at + i] &= load_[i]; // bits only clear
        }
        if (pointer_ != Area::Spare) pointer_ = Area::First;
        break;
    }
    case 0x60:
        input_ = Input::EraseAddress;
        output_ = OutMode::None;
        addrCount_ = 0;
        row_ = 0;
        break;
    case 0xD0: {
        if (input_ != Input::EraseAddress || addrCount_ != RowBytes()) return;
        input_ = Input::None;
        const uint32_t block = row_ / facts_.pagesPerBlock;
        failed_ = false;
        busyUntil_ = neverReady_ ? std::numeric_limits<uint64_t>::max() : env.NowUs() + facts_.eraseUs;
        if (Level(env, kWp) == 0) break;
        if (block >= facts_.blocks || failErase_.count(block) != 0) {
            failed_ = block < facts_.blocks;
            break;
        }
        blocks_.erase(block);
        lastBlock_.known = false;
        ++erases_[block];
        for (uint32_t p = 0; p < facts_.pagesPerBlock; ++p)
            programs_.erase(block * facts_.pagesPerBlock + p);
        break;
    }
    case 0x70:
        output_ = OutMode::Status;
        break;
    case 0x90:
        input_ = Input::IdAddress;
        output_ = OutMode::None;
        addrCount_ = 0;
        break;
    case 0xFF:
        Reset();
        failed_ = false;
        busyUntil_ = neverReady_ && busy ? busyUntil_ : env.NowUs() + kResetUs;
        break;
    default:
        break;
    }
}

void NandChip::AddressByte(const PinEnvironment& env, uint8_t a) {
    // In read mode a new address starts the next read with the pointer as
    // it stands, without a read command.
    if (input_ == Input::None && output_ == OutMode::Data && !Busy(env)) {
        input_ = Input::ReadAddress;
        addrCount_ = 0;
    }
    switch (input_) {
    case Input::ReadAddress:
    case Input::ProgramAddress: {
        if (addrCount_ == 0) {
            column_ = a;
            row_ = 0;
        } else if (addrCount_ <= RowBytes()) {
            row_ |= static_cast<uint32_t>(a) << (8 * (addrCount_ - 1));
        }
        ++addrCount_;
        if (addrCount_ != 1 + RowBytes()) break;
        area_ = pointer_;
        uint32_t start = column_;
        if (area_ == Area::Second) start += 256;
        if (area_ == Area::Spare) start = facts_.pageData + (column_ % facts_.spare);
        if (input_ == Input::ReadAddress) {
            readPage_ = row_;
            readColumn_ = start;
            if (pointer_ == Area::Second) pointer_ = Area::First; // 01h holds for one operation
            StartRead(env);
        } else {
            readColumn_ = start; // the load position
            input_ = Input::ProgramData;
        }
        break;
    }
    case Input::EraseAddress:
        if (addrCount_ < RowBytes()) row_ |= static_cast<uint32_t>(a) << (8 * addrCount_);
        ++addrCount_;
        break;
    case Input::IdAddress:
        if (a == 0) {
            output_ = OutMode::Id;
            idIndex_ = 0;
        }
        input_ = Input::None;
        break;
    default:
        break;
    }
}

void NandChip::DataByteIn(uint8_t d) {
    if (input_ != Input::ProgramData) return;
    if (readColumn_ < load_.size()) load_[readColumn_] = d;
    ++readColumn_;
}

void NandChip::StartRead(const PinEnvironment& env) {
    input_ = Input::None;
    output_ = OutMode::Data;
    busyUntil_ = neverReady_ ? std::numeric_limits<uint64_t>::max() : env.NowUs() + facts_.readUs;
}

void NandChip::NextRead(const PinEnvironment& env) {
    if (output_ == OutMode::Id) {
        ++idIndex_;
        return;
    }
    if (output_ != OutMode::Data || Busy(env)) return;
    ++readColumn_;
    if (readColumn_ < facts_.PageBytes()) return;
    // Past the last spare byte: the next page is loaded, the stream runs on
    // in the same area.
    ++readPage_;
    readColumn_ = area_ == Area::Spare ? facts_.pageData : 0;
    if (readPage_ >= facts_.pagesPerBlock * facts_.blocks) {
        output_ = OutMode::None;
        return;
    }
    StartRead(env);
}

uint8_t NandChip::OutputByte(const PinEnvironment& env) const {
    switch (output_) {
    case OutMode::Status: {
        uint8_t s = 0;
        if (!Busy(env)) s |= 0x40;
        if (failed_ && (s & 0x40)) s |= 0x01; // the result shows once ready
        if (Level(env, kWp) != 0) s |= 0x80;
        return s;
    }
    case OutMode::Id:
        if (idIndex_ == 0) return static_cast<uint8_t>(facts_.makerCode);
        if (idIndex_ == 1) return static_cast<uint8_t>(facts_.deviceCode);
        return 0xFF;
    case OutMode::Data:
        return PageByte(readPage_, readColumn_);
    default:
        return 0xFF;
    }
}

ChipDrive NandChip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

// The datum is worked out once for the whole I/O word.
void NandChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    for (size_t i = 0; i < n; ++i) out[i] = ChipDrive::None;
    if (!wasPowered_) return;
    CheckSupply(env);
    if (!supplyPowered_) return;
    const bool busy = Busy(env);
    const int control[2] = {pins_[kCe - 1], pins_[kRe - 1]};
    const bool strobed = env.HighLevels(control, 2) == 0 && output_ != OutMode::None && !(output_ == OutMode::Data && busy);
    bool known = false;
    uint8_t byte = 0;
    for (size_t i = 0; i < n; ++i) {
        const int z = socketPins[i];
        const int chipPin = z >= 1 && z <= kSocketPins ? chipPinOf_[z] : 0;
        if (chipPin == 0) continue;
        if (chipPin == kRb) {
            out[i] = busy ? ChipDrive::Low : ChipDrive::None;
            continue;
        }
        if (!strobed) continue;
        for (int b = 0; b < 8; ++b) {
            if (kIo[b] != chipPin) continue;
            if (!known) byte = OutputByte(env), known = true;
            out[i] = (byte >> b) & 1 ? ChipDrive::High : ChipDrive::Low;
            break;
        }
    }
}

} // namespace sim
