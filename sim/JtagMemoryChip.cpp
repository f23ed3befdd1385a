#include "sim/JtagMemoryChip.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

JtagDeviceConfig TapConfig(int irLength) {
    JtagDeviceConfig c;
    c.irLength = irLength;
    c.scanLength = 0;
    return c;
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03Xh", v);
    return buf;
}

} // namespace

JtagMemoryChip::JtagMemoryChip(const JtagMemoryFacts& facts)
    : facts_(facts),
      pins_(DipSocketPins(facts.pinCount)),
      cells_(facts.words, static_cast<uint8_t>(facts.blank)),
      tap_(TapConfig(facts.irLength)) {
    vccSocket_ = SocketOf(facts_.vccPin);
    tckSocket_ = SocketOf(facts_.tck);
    tmsSocket_ = SocketOf(facts_.tms);
    tdiSocket_ = SocketOf(facts_.tdi);
    tdoSocket_ = SocketOf(facts_.tdo);
    vppSocket_ = SocketOf(facts_.vppPin);
    for (int g : facts_.gndPins) gndSockets_.push_back(SocketOf(g));
    tap_.SetRegisters(this);
}

ChipPinLimits JtagMemoryChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    l.maxTenths = facts_.vccMaxTenths;
    return l;
}

void JtagMemoryChip::SetCell(uint32_t address, uint16_t value) {
    if (address < cells_.size()) cells_[address] = static_cast<uint8_t>(value);
}

void JtagMemoryChip::EraseArray(uint8_t blank) {
    std::vector<uint8_t> keep;
    for (const uint32_t a : kept_) keep.push_back(Cell(a));
    std::fill(cells_.begin(), cells_.end(), blank);
    for (size_t i = 0; i < kept_.size(); ++i)
        if (kept_[i] < cells_.size()) cells_[kept_[i]] = keep[i];
}

bool JtagMemoryChip::Blank() const {
    for (uint8_t c : cells_) {
        if (c != facts_.blank) return false;
    }
    return true;
}

void JtagMemoryChip::Violation(const std::string& what) const {
    if (env_) env_->Violation(facts_.name + ": " + what);
}

int JtagMemoryChip::VppTenths() const {
    return env_ && facts_.vppPin != 0 ? env_->VoltageTenths(vppSocket_) : -1;
}

bool JtagMemoryChip::Powered(const PinEnvironment& env, int vccTenths) const {
    if (!facts_.vcc.Holds(vccTenths)) return false;
    for (int z : gndSockets_) {
        if (!env.HeldLow(z)) return false;
    }
    return true;
}

void JtagMemoryChip::Update(const PinEnvironment& env) {
    env_ = &env;
    const int volts = env.VoltageTenths(vccSocket_);
    if (volts > facts_.vccMaxTenths && !overVoltage_) {
        overVoltage_ = true;
        Violation("supply above the part's maximum");
    }
    const bool powered = Powered(env, volts);
    if (powered && !wasPowered_) tap_.PowerOn(env.InputLevel(tckSocket_) != 0);
    wasPowered_ = powered;
    if (powered) {
        tap_.Sample(env.InputLevel(tckSocket_) != 0, env.InputLevel(tmsSocket_) != 0, env.InputLevel(tdiSocket_) != 0,
                    env.NowUs());
    }
    env_ = nullptr;
}

ChipDrive JtagMemoryChip::Output(const PinEnvironment& env, int socketPin) const {
    if (socketPin != tdoSocket_ || !wasPowered_ || !Powered(env, env.VoltageTenths(vccSocket_)) || !tap_.TdoActive()) {
        return ChipDrive::None;
    }
    return tap_.Tdo() ? ChipDrive::High : ChipDrive::Low;
}

void JtagMemoryChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    for (size_t i = 0; i < n; ++i) {
        out[i] = tdoSocket_ != 0 && socketPins[i] == tdoSocket_ ? Output(env, tdoSocket_) : ChipDrive::None;
    }
}

std::optional<std::vector<bool>> JtagMemoryChip::CaptureDr(uint32_t instruction) {
    if (!RegisterLength(instruction)) return std::nullopt;
    return Capture(instruction, NowUs());
}

void JtagMemoryChip::UpdateIr(uint32_t instruction, uint64_t nowUs) {
    if (!RegisterLength(instruction)) {
        Violation("instruction " + Hex(instruction) + " is not defined");
        return;
    }
    Instruction(instruction, nowUs);
}

void JtagMemoryChip::UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t shifted, uint64_t nowUs) {
    const std::optional<size_t> length = RegisterLength(instruction);
    if (!length) return;
    if (shifted != *length && !Stream(instruction)) {
        Violation("instruction " + Hex(instruction) + " scanned with " + std::to_string(shifted) +
                  " bits, its register has " + std::to_string(*length));
        return;
    }
    Latch(instruction, bits, nowUs);
}

std::vector<bool> JtagMemoryChip::Bits(const uint8_t* bytes, size_t count) {
    std::vector<bool> b(count * 8);
    for (size_t i = 0; i < b.size(); ++i) b[i] = (bytes[i / 8] >> (i % 8)) & 1;
    return b;
}

std::vector<bool> JtagMemoryChip::Bits(uint64_t value, int count) {
    std::vector<bool> b(static_cast<size_t>(count));
    for (int i = 0; i < count && i < 64; ++i) b[static_cast<size_t>(i)] = (value >> i) & 1;
    return b;
}

uint8_t JtagMemoryChip::ByteAt(const std::vector<bool>& bits, size_t index) {
    uint8_t v = 0;
    for (size_t i = 0; i < 8 && index * 8 + i < bits.size(); ++i) v |= static_cast<uint8_t>(bits[index * 8 + i] << i);
    return v;
}

std::vector<uint8_t> JtagMemoryChip::IdBytes() const {
    std::vector<uint8_t> id = facts_.id;
    if (AnswersAnotherIdentity() && id.size() > 1) id[1] ^= 0x10;
    return id;
}

// ---- the status-polled device ----------------------------------------------------

namespace {
enum : uint32_t {
    kIdSelect = 0x44,
    kId = 0x42,
    kAddressReset = 0x10A,
    kReadStream = 0x122,
    kLoadData = 0x006,
    kProgram = 0x196,
    kErase = 0x192,
    kStatus = 0x03E,
    kEnd = 0x04A,
    kBypass = 0x3FF,
};
constexpr uint32_t kDone = 0, kNoData = 1, kNoVpp = 2, kZeroToOne = 3, kBusy = 4;
constexpr uint32_t kBlock = 8;
} // namespace

std::optional<size_t> StatusPolledPromChip::RegisterLength(uint32_t instruction) const {
    switch (instruction) {
    case kId:
        return 32;
    case kReadStream:
    case kLoadData:
        return 64;
    case kStatus:
        return 3;
    case kIdSelect:
    case kAddressReset:
    case kProgram:
    case kErase:
    case kEnd:
    case kBypass:
        return 1;
    default:
        return std::nullopt;
    }
}

bool StatusPolledPromChip::AsksZeroToOne() const {
    for (uint32_t i = 0; i < kBlock; ++i) {
        if (data_[i] & ~Cell(address_ + i) & 0xFF) return true;
    }
    return false;
}

bool StatusPolledPromChip::Stream(uint32_t instruction) const { return instruction == kReadStream; }

uint32_t StatusPolledPromChip::Status(uint64_t nowUs) {
    if (running_ == Op::None) return status_;
    if (nowUs < doneAt_) return kBusy;
    if (running_ == Op::Program) {
        for (uint32_t i = 0; i < kBlock && address_ + i < Words(); ++i) Array()[address_ + i] &= data_[i];
        programmed_.push_back(address_);
        address_ += kBlock;
        data_.clear();
    } else {
        EraseArray(static_cast<uint8_t>(Part().blank));
        ++erases_;
    }
    running_ = Op::None;
    status_ = kDone;
    return status_;
}

std::vector<bool> StatusPolledPromChip::Capture(uint32_t instruction, uint64_t nowUs) {
    switch (instruction) {
    case kId:
        // The identification shows only after its select.
        if (!idSelected_) return Bits(uint64_t{0}, 32);
        return Bits(IdBytes().data(), 4);
    case kReadStream: {
        uint8_t bytes[kBlock];
        for (uint32_t i = 0; i < kBlock; ++i) bytes[i] = static_cast<uint8_t>(Cell(address_ + i));
        address_ += kBlock;
        return Bits(bytes, kBlock);
    }
    case kLoadData:
        return Bits(uint64_t{0}, 64);
    case kStatus:
        if (statusReads_.size() < 1000) statusReads_.push_back(nowUs);
        return Bits(Status(nowUs), 3);
    default:
        return Bits(uint64_t{0}, 1);
    }
}

void StatusPolledPromChip::Instruction(uint32_t instruction, uint64_t nowUs) {
    if (running_ != Op::None && instruction != kStatus) {
        if (nowUs < doneAt_) {
            Violation("instruction " + Hex(instruction) + " while busy; the operation is lost");
            running_ = Op::None;
            status_ = kDone;
        } else {
            Status(nowUs);
        }
    }
    if (instruction != kId) idSelected_ = instruction == kIdSelect;
    switch (instruction) {
    case kAddressReset:
        address_ = 0;
        break;
    case kProgram:
        armed_ = Op::Program;
        break;
    case kErase:
        armed_ = Op::Erase;
        break;
    case kStatus: {
        if (armed_ == Op::None) break;
        const Op op = armed_;
        armed_ = Op::None;
        if (VppTenths() < Part().vppMinTenths) {
            status_ = kNoVpp;
        } else if (op == Op::Program && data_.empty()) {
            status_ = kNoData;
        } else if (op == Op::Program && AsksZeroToOne()) {
            status_ = kZeroToOne;
        } else {
            running_ = op;
            startedAt_ = nowUs;
            statusReads_.clear();
            doneAt_ = nowUs + (op == Op::Program ? Part().programUs : eraseUs_.value_or(Part().eraseUs));
            break;
        }
        data_.clear();
        break;
    }
    default:
        break;
    }
}

void StatusPolledPromChip::Latch(uint32_t instruction, const std::vector<bool>& bits, uint64_t) {
    if (instruction != kLoadData) return;
    data_.resize(kBlock);
    for (size_t i = 0; i < kBlock; ++i) data_[i] = ByteAt(bits, i);
}

// ---- the parts ---------------------------------------------------------------------

namespace {

// EPC2 configuration device, 20-pin PLCC: 1,695,680 bits, TDO 1, TCK 3,
// VCCSEL 5, GND 10, TDI 11, VPPSEL 14, VPP 18, TMS 19, VCC 20; runs from 3.3 V
// or 5.0 V (3.0-5.25 V, 7.0 V maximum). Its IEEE 1149.1 IDCODE is 010020DDh
// (maker code 6Eh; the maker's JTAG chain listings name the EPC2 by it), but
// the identification read here is another register, four bytes shifted out
// after the instructions 44h and 42h, that no public document describes: its
// bytes, like the busy times (a block 150 us, the erase 5 s), follow the
// programming flow, so an identification check runs against its own reading.
// The same flow marks a complete configuration by clearing bit 5 of byte 3
// after every block is written; its reads show that bit set.
JtagMemoryFacts Epc2() {
    JtagMemoryFacts f;
    f.name = "EPC2";
    f.pinCount = 20;
    f.words = 1695680 / 8;
    f.vcc = {30, 53};
    f.vccPin = 20;
    f.gndPins = {10};
    f.tdo = 1, f.tck = 3, f.tdi = 11, f.tms = 19;
    f.vppPin = 18;
    f.irLength = 10;
    f.id = {0x01, 0x38, 0x39, 0x41};
    f.programUs = 150;
    f.eraseUs = 5000000;
    f.doneFlagAddress = 3;
    f.doneFlagMask = 0x20;
    f.followsRow = true;
    return f;
}

struct Entry {
    const char* maker;
    JtagMemoryFacts (*facts)();
};
const Entry kParts[] = {{"ALTERA", Epc2}};

} // namespace

std::unique_ptr<CatalogChip> MakeJtagMemory(const JtagMemoryFacts& f) {
    if (f.model == JtagMemoryModel::IspProm) return std::make_unique<IspPromChip>(f);
    return std::make_unique<StatusPolledPromChip>(f);
}

void AddJtagMemoryParts(std::vector<CatalogPart>& parts) {
    for (const Entry& e : kParts) {
        parts.push_back(MadeBy<MakeJtagMemory>(e.maker, e.facts()));
    }
    AddIspPromParts(parts);
}

SIM_CATALOG_FAMILY(AddJtagMemoryParts);

} // namespace sim
