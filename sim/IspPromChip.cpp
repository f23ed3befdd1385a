// The in-system-programmable configuration PROM behind its TAP (instruction
// table in JtagMemoryChip.h) and its parts.
#include <algorithm>
#include <cstdio>

#include "sim/JtagMemoryChip.h"

namespace sim {

namespace {

enum : uint32_t {
    kIdcode = 0xFE,
    kLeave = 0xF0,
    kEnable = 0xE8,
    kAddress = 0xEB,
    kData = 0xED,
    kProgram = 0xEA,
    kErase = 0xEC,
    kBlankRead = 0xE5,
    kRead = 0xF8,
    kControl = 0xF3,
    kStatus = 0xE2,
    kUsercodeRead = 0xE6,
    kUsercodeLoad = 0xFD,
    kFinish = 0x0A,
    kBypass = 0xFF,
};
constexpr uint32_t kBlock = 512;
constexpr uint32_t kControlRow = 0x8000;
constexpr uint8_t kControlErased = 7;

std::string Hex2(uint32_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02Xh", v & 0xFF);
    return buf;
}

uint32_t Word(const std::vector<bool>& bits, size_t count) {
    uint32_t v = 0;
    for (size_t i = 0; i < count && i < bits.size() && i < 32; ++i) v |= static_cast<uint32_t>(bits[i]) << i;
    return v;
}

} // namespace

IspPromChip::IspPromChip(const JtagMemoryFacts& facts) : JtagMemoryChip(facts) {}

std::optional<size_t> IspPromChip::RegisterLength(uint32_t instruction) const {
    switch (instruction) {
    case kIdcode:
    case kUsercodeRead:
    case kUsercodeLoad:
        return 32;
    case kEnable:
        return 6;
    case kAddress:
        return 16;
    case kData:
        return kBlock * 8;
    case kBlankRead:
    case kRead:
        return 8;
    case kControl:
    case kStatus:
        return 3;
    case kLeave:
    case kProgram:
    case kErase:
    case kFinish:
    case kBypass:
        return 1;
    default:
        return std::nullopt;
    }
}

bool IspPromChip::Stream(uint32_t instruction) const { return instruction == kBlankRead || instruction == kRead; }

std::vector<bool> IspPromChip::Capture(uint32_t instruction, uint64_t) {
    switch (instruction) {
    case kIdcode: {
        const std::vector<uint8_t> id = IdBytes();
        return Bits(id.data(), id.size());
    }
    case kUsercodeRead:
    case kUsercodeLoad:
        return Bits(usercode_, 32);
    case kStatus:
        // The control bits of the selected control row; 0 with a block selected.
        return Bits(controlRow_ ? control_ : 0u, 3);
    case kBlankRead:
    case kRead:
        streamAt_ = address_;
        return MoreDr(instruction);
    default:
        return Bits(uint64_t{0}, static_cast<int>(RegisterLength(instruction).value_or(1)));
    }
}

std::vector<bool> IspPromChip::MoreDr(uint32_t instruction) {
    if (instruction != kBlankRead && instruction != kRead) return {};
    // The next chunk of the array; zeros when protected or past the end.
    constexpr size_t kChunk = 256;
    uint8_t bytes[kChunk] = {};
    for (size_t i = 0; i < kChunk; ++i) {
        const size_t a = streamAt_ + i;
        if (a < Words() && enabled_ && !Protected()) bytes[i] = Array()[a];
    }
    streamAt_ += kChunk;
    return Bits(bytes, kChunk);
}

void IspPromChip::Instruction(uint32_t instruction, uint64_t) {
    switch (instruction) {
    case kIdcode:
    case kBypass:
    case kEnable:
        return;
    case kLeave:
        enabled_ = false;
        loaded_ = Load::None;
        return;
    default:
        break;
    }
    if (!enabled_) {
        Violation("instruction " + Hex2(instruction) + " before programming is enabled");
        return;
    }
    if (ReadOnly() && ChangesCells(instruction)) {
        Violation("instruction " + Hex2(instruction) + " while enabled for reading only (" + Hex2(enableValue_) +
                  "); the cells stay as they were");
        return;
    }
    if (instruction == kBlankRead || instruction == kRead) {
        reads_.push_back(instruction);
        readEnables_.push_back(enableValue_);
    }
}

bool IspPromChip::ReadOnly() const {
    const auto& values = Part().readOnlyEnableValues;
    return enabled_ && std::find(values.begin(), values.end(), enableValue_) != values.end();
}

bool IspPromChip::ChangesCells(uint32_t instruction) {
    switch (instruction) {
    case kData:
    case kProgram:
    case kErase:
    case kControl:
    case kUsercodeLoad:
    case kFinish:
        return true;
    default:
        return false;
    }
}

void IspPromChip::Latch(uint32_t instruction, const std::vector<bool>& bits, uint64_t) {
    if (instruction == kEnable) {
        const uint8_t v = static_cast<uint8_t>(Word(bits, 6));
        const auto& allowed = Part().enableValues;
        if (!allowed.empty() && std::find(allowed.begin(), allowed.end(), v) == allowed.end()) {
            Violation("enable with " + Hex2(v) + ", a value the part does not take; programming stays disabled");
            enabled_ = false;
            return;
        }
        enabled_ = true;
        enableValue_ = v;
        return;
    }
    if (!enabled_ || (ReadOnly() && ChangesCells(instruction))) return;
    switch (instruction) {
    case kAddress: {
        const uint32_t v = Word(bits, 16);
        controlRow_ = (v & kControlRow) != 0;
        if (!controlRow_) address_ = (v & 0x7FFF) * kBlock;
        break;
    }
    case kData:
        block_.resize(kBlock);
        for (uint32_t i = 0; i < kBlock; ++i) block_[i] = ByteAt(bits, i);
        loaded_ = Load::Block;
        break;
    case kControl:
        controlLoad_ = static_cast<uint8_t>(Word(bits, 3));
        loaded_ = Load::Control;
        break;
    case kUsercodeLoad:
        usercodeLoad_ = Word(bits, 32);
        loaded_ = Load::Usercode;
        break;
    default:
        break;
    }
}

void IspPromChip::Idle(uint32_t instruction, uint64_t us) {
    if (!enabled_ || (ReadOnly() && ChangesCells(instruction))) return;
    auto timed = [&](uint32_t needUs, const char* what) {
        if (us >= needUs) return true;
        Violation(std::string(what) + " left Run-Test/Idle after " + std::to_string(us) + " us of " +
                  std::to_string(needUs) + "; the cells stay as they were");
        return false;
    };
    switch (instruction) {
    case kProgram:
        if (loaded_ != Load::None && timed(Part().programUs, "program")) Program();
        loaded_ = Load::None;
        break;
    case kErase:
        if (timed(Part().eraseUs, "erase")) Erase();
        break;
    case kFinish:
        if (timed(Part().finishUs, "finish")) ++finishes_;
        break;
    default:
        break;
    }
}

void IspPromChip::Program() {
    if ((loaded_ == Load::Block) == controlRow_) {
        Violation(loaded_ == Load::Block ? "program of a block with the control row selected"
                                         : "program of the control row with a block selected");
        return;
    }
    switch (loaded_) {
    case Load::Block:
        for (uint32_t i = 0; i < kBlock && address_ + i < Words(); ++i) Array()[address_ + i] &= block_[i];
        address_ += kBlock;
        ++blocks_;
        break;
    case Load::Control: {
        uint8_t load = controlLoad_;
        if (protectStuck_) load |= 4;
        control_ &= load;
        break;
    }
    case Load::Usercode:
        usercode_ &= usercodeLoad_;
        break;
    case Load::None:
        break;
    }
}

void IspPromChip::Erase() {
    EraseArray(0xFF);
    control_ = kControlErased;
    usercode_ = 0xFFFFFFFF;
    ++erases_;
}

// ---- the parts ---------------------------------------------------------------------

namespace {

// XC18V00 family: 3.3 V (3.0-3.6 V, 4.0 V maximum) in-system-programmable
// configuration PROMs with a JTAG port only; IDCODE v5022093h upwards by
// size (v: the version nibble). SO20: TDI 4, TMS 5, TCK 6, GND 11, TDO 17,
// VCCINT 18 and 20, VCCO 19. PLCC44: TDI 9, TMS 11, TCK 13, TDO 37, GND 3,
// 12, 24, 34, VCCINT 23, 41, 44, VCCO 14, 22, 32, 42. A block programs in
// 14 ms, the erase takes 74 ms and the finishing step 37 ms. No data sheet
// describes the 6-bit register of the enable instruction: the two values it
// takes here (04h before programming, 34h before reading) are the ones the
// programming flow uses, so they hold a run to those values but do not check
// them against a chip.
JtagMemoryFacts Xc18v(const char* name, uint32_t bytes, uint32_t idcode, int pins) {
    JtagMemoryFacts f;
    f.model = JtagMemoryModel::IspProm;
    f.name = name;
    f.words = bytes;
    f.vcc = {30, 36};
    f.vccMaxTenths = 40;
    f.irLength = 8;
    f.pinCount = pins;
    if (pins == 20) {
        f.tdi = 4, f.tms = 5, f.tck = 6, f.tdo = 17;
        f.vccPin = 20;
        f.gndPins = {11};
    } else {
        f.tdi = 9, f.tms = 11, f.tck = 13, f.tdo = 37;
        f.vccPin = 44;
        f.gndPins = {3, 12, 24, 34};
    }
    f.id = {static_cast<uint8_t>(idcode), static_cast<uint8_t>(idcode >> 8), static_cast<uint8_t>(idcode >> 16),
            static_cast<uint8_t>(idcode >> 24)};
    f.programUs = 14000;
    f.eraseUs = 74000;
    f.finishUs = 37000;
    // No datasheet gives the enable values: they follow the row, 34h for
    // reading into the host and verifying, 04h for everything else.
    f.enableValues = {0x04, 0x34};
    f.readOnlyEnableValues = {0x34};
    return f;
}

} // namespace

void AddIspPromParts(std::vector<CatalogPart>& parts) {
    const JtagMemoryFacts kParts[] = {
        Xc18v("XC18V256", 32768, 0x05022093, 20),          Xc18v("XC18V512", 65536, 0x05023093, 20),
        Xc18v("XC18V01", 131072, 0x05024093, 20),          Xc18v("XC18V01@PLCC44", 131072, 0x05024093, 44),
        Xc18v("XC18V02", 262144, 0x05025093, 44), Xc18v("XC18V04", 524288, 0x05026093, 44),
    };
    for (const JtagMemoryFacts& f : kParts) {
        parts.push_back(MadeBy<MakeJtagMemory>("XILINX", f));
    }
}

} // namespace sim
