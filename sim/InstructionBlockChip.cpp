#include "sim/InstructionBlockChip.h"

#include <algorithm>
#include <numeric>

#include "sim/CatalogModel.h"

namespace sim {

namespace {

namespace pin = block_cpld_pins;

constexpr int kVppTenths = 92, kVppTolerance = 3;
constexpr uint32_t kPreamble = 15, kIdentify = 12, kRowRegister = 3, kLoad = 13, kReadOut = 14;
constexpr uint32_t kProgram = 6, kErase = 5, kSecure = 8;
constexpr uint64_t kProgramUs = 50000, kEraseUs = 100000, kSecureUs = 50000;

// Columns of the special cells as written, and as a read-out presents them.
constexpr int8_t kWritten[16] = {14, 15, 25, 26, 36, 37, 47, 48, 58, 59, 69, 70, 80, 81, 91, 92};
constexpr int8_t kPresented[16] = {14, 19, 25, 30, 36, 41, 47, 52, 58, 63, 69, 74, 80, 85, 91, 96};

std::vector<int> AdapterPins() {
    std::vector<int> p(kSocketPins);
    std::iota(p.begin(), p.end(), 1);
    return p;
}

JtagDeviceConfig TapConfig() {
    JtagDeviceConfig c;
    c.irLength = 5;
    return c;
}

} // namespace

InstructionBlockChip::InstructionBlockChip(const InstructionBlockFacts& facts)
    : CellArrayChip(facts.name, AdapterPins(), facts.fuses, pin::kVcc, {pin::kGnd}, facts.vccMin),
      facts_(facts), tap_(TapConfig()) {
    tap_.SetRegisters(this);
    AllowPin(facts.vppPin, kVppTenths + kVppTolerance);
}

int32_t InstructionBlockChip::FuseAt(int row, int block, int column, bool forRead) {
    if (row < 0 || row >= kRows || block < 0 || block >= kBlocks || column < 0 || column >= kColumns)
        return -1;
    const int32_t base = static_cast<int32_t>(kBlockFuses) * block;
    if (row < 66) return base + 66 * column + row;
    if (column == 0) {
        switch (row) {
        case 69:
            return base + 6535;
        case 73:
            return base + 6536;
        case 75:
            return base + 6534;
        case 77:
            return base + 6537;
        default:
            return -1;
        }
    }
    const int8_t* cols = forRead ? kPresented : kWritten;
    for (int k = 0; k < 16; ++k) {
        if (cols[k] == column) return base + 6538 + (row - 66) + 14 * k;
    }
    return -1;
}

std::vector<int> InstructionBlockChip::SelectedRows() const {
    std::vector<int> rows;
    for (int r = 0; r < kRows; ++r) {
        if (rows_[static_cast<size_t>(kRows - 1 - r)]) rows.push_back(r);
    }
    return rows;
}

std::optional<std::vector<bool>> InstructionBlockChip::CaptureDr(uint32_t instruction) {
    switch (instruction) {
    case kPreamble:
        return std::vector<bool>(5, false);
    case kIdentify: {
        std::vector<bool> id(7);
        // Another part answers with bit 0 of its value changed.
        const uint32_t value = facts_.idValue ^ (AnswersAnotherIdentity() ? 1u : 0u);
        for (int i = 0; i < 7; ++i)
            id[static_cast<size_t>(i)] = preamble_ && ((value >> i) & 1) != 0;
        return id;
    }
    case kRowRegister:
        return rows_;
    case kLoad:
    case kReadOut:
        return std::vector<bool>(kColumns, true);
    default:
        return std::nullopt;
    }
}

void InstructionBlockChip::UpdateDr(uint32_t instruction, const std::vector<bool>& bits, uint32_t, uint64_t) {
    if (instruction == kPreamble) {
        // Shift order 0, 0, 0, 1, 0.
        preamble_ = bits.size() == 5 && !bits[0] && !bits[1] && !bits[2] && bits[3] && !bits[4];
    } else if (instruction == kRowRegister && bits.size() == static_cast<size_t>(kRows)) {
        rows_ = bits;
    }
}

void InstructionBlockChip::Update(const PinEnvironment& env) {
    if (!Powered(env)) {
        on_ = false;
        return;
    }
    const bool tck = Level(env, pin::kTck) != 0;
    if (!on_) {
        on_ = true;
        tap_.PowerOn(tck);
        preamble_ = false;
        rows_.assign(kRows, false);
        data_.assign(kBlocks, std::vector<uint8_t>(kColumns, 1));
        tck_ = tck;
        pulse_ = false;
    }
    const TapState before = tap_.State();
    const uint32_t instruction = tap_.Instruction();
    if (tck && !tck_) {
        if (before == TapState::ShiftDr && (instruction == kLoad || instruction == kReadOut)) {
            for (int b = 0; b < kBlocks; ++b) {
                auto& d = data_[static_cast<size_t>(b)];
                std::rotate(d.rbegin(), d.rbegin() + 1, d.rend());
                d[0] = static_cast<uint8_t>(Level(env, pin::kDin0 + b));
            }
        } else if (before == TapState::CaptureDr && instruction == kReadOut) {
            ++dataLoads_;
            const std::vector<int> rows = SelectedRows();
            readRows_.push_back(rows.size() == 1 ? rows[0] : -1);
            readSupplies_.push_back(Volts(env, pin::kVcc));
            if (rows.size() != 1)
                env.Violation(Name() + ": read-out with " + std::to_string(rows.size()) + " rows selected");
            for (int b = 0; b < kBlocks; ++b) {
                for (int c = 0; c < kColumns; ++c) {
                    const int32_t f = rows.size() == 1 ? FuseAt(rows[0], b, c, true) : -1;
                    const int v = Secured() ? 0 : f >= 0 ? Cell(static_cast<uint32_t>(f)) : 1;
                    data_[static_cast<size_t>(b)][static_cast<size_t>(c)] = static_cast<uint8_t>(v);
                }
            }
        } else if (before == TapState::CaptureDr && instruction == kLoad) {
            ++dataLoads_;
        }
    }
    tap_.Sample(tck, Level(env, pin::kTms) != 0, Level(env, pin::kTdi) != 0, env.NowUs());
    tck_ = tck;
    readOut_ = Level(env, pin::kCmd0) != 0 && Level(env, pin::kCmd1) != 0;

    const bool pulse = Level(env, pin::kPulse) != 0;
    if (pulse && !pulse_) {
        timer_.Start(env.NowUs());
        pulseInstruction_ = tap_.Instruction();
        if (!Within(Volts(env, facts_.vppPin), kVppTenths, kVppTolerance))
            env.Violation(Name() + ": pulse without 9.2 V on pin " + std::to_string(facts_.vppPin));
        if (!Within(Volts(env, pin::kVcc), facts_.programTenths, 2))
            env.Violation(Name() + ": pulse with VCC at " + std::to_string(Volts(env, pin::kVcc)) +
                          " tenths");
    } else if (!pulse && pulse_) {
        Act(env, pulseInstruction_, timer_.Stop(env.NowUs()));
    }
    pulse_ = pulse;
}

void InstructionBlockChip::Act(const PinEnvironment& env, uint32_t instruction, uint64_t widthUs) {
    const std::vector<int> rows = SelectedRows();
    pulses_.push_back({instruction, rows, widthUs});
    if (!Within(Volts(env, facts_.vppPin), kVppTenths, kVppTolerance) ||
        !Within(Volts(env, pin::kVcc), facts_.programTenths, 2))
        return;
    if (instruction == kProgram && widthUs >= kProgramUs) {
        for (int row : rows) {
            for (int b = 0; b < kBlocks; ++b) {
                const auto& d = data_[static_cast<size_t>(b)];
                for (int c = 0; c < kColumns; ++c) {
                    const int32_t f = FuseAt(row, b, c, false);
                    if (f >= 0) WriteCell(static_cast<uint32_t>(f), d[static_cast<size_t>(kColumns - 1 - c)]);
                }
            }
        }
    } else if (instruction == kErase && widthUs >= kEraseUs) {
        if (rows.size() == static_cast<size_t>(kRows)) {
            EraseAll();
            return;
        }
        for (int row : rows) {
            for (int b = 0; b < kBlocks; ++b) {
                for (int c = 0; c < kColumns; ++c) {
                    const int32_t f = FuseAt(row, b, c, false);
                    if (f >= 0) SetCell(static_cast<uint32_t>(f), 1);
                }
            }
        }
    } else if (instruction == kSecure && widthUs >= kSecureUs) {
        Secure();
    } else if (instruction != kProgram && instruction != kErase && instruction != kSecure) {
        env.Violation(Name() + ": pulse under instruction " + std::to_string(instruction));
    }
}

ChipDrive InstructionBlockChip::PoweredOutput(const PinEnvironment&, int socketPin) const {
    if (!on_) return ChipDrive::None;
    if (socketPin == pin::kTdo) {
        if (!tap_.TdoActive()) return ChipDrive::None;
        return tap_.Tdo() ? ChipDrive::High : ChipDrive::Low;
    }
    const int b = socketPin - pin::kDout0;
    if (b < 0 || b >= kBlocks || !readOut_) return ChipDrive::None;
    return data_[static_cast<size_t>(b)][static_cast<size_t>(kColumns - 1)] ? ChipDrive::High
                                                                            : ChipDrive::Low;
}

namespace {

// MACH435: eight PAL blocks, 128 macrocells, 5 V (4.75-5.25 V commercial).
// Its data sheet gives neither the programming interface nor the fuse
// numbering: the model follows its programming row.
const InstructionBlockFacts kInstructionParts[] = {
    {"AMD", "MACH435", 54096, 0x16, 13, 50, 45, 55},
};

std::unique_ptr<InstructionBlockChip> MakeInstructionBlock(const InstructionBlockFacts& f) {
    return std::make_unique<InstructionBlockChip>(f);
}

} // namespace

void AddInstructionBlockParts(std::vector<CatalogPart>& parts);
void AddInstructionBlockParts(std::vector<CatalogPart>& parts) {
    for (const InstructionBlockFacts& p : kInstructionParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = kSocketPins;
        f.words = p.fuses;
        f.blank = 1;
        f.vcc = {p.vccMin, p.vccMax};
        f.vccPin = pin::kVcc;
        f.gndPins = {pin::kGnd};
        f.followsRow = true;
        parts.push_back(ModelPartBy<BitCells, MakeInstructionBlock>(p.maker, f, p));
    }
}

const InstructionBlockFacts* FindInstructionBlockPart(const std::string& maker, const std::string& name) {
    for (const InstructionBlockFacts& p : kInstructionParts) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

SIM_CATALOG_FAMILY(AddInstructionBlockParts);

} // namespace sim
