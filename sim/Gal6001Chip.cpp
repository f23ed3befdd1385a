#include "sim/Gal6001Chip.h"

namespace sim {

namespace {

// Chip pins.
constexpr int kVccPin = 24, kGndPin = 12;
constexpr int kEditPin = 2, kArchPin = 7, kClockPin = 10, kDataInPin = 11, kStrobePin = 13, kDataOutPin = 14;
constexpr int kProgramPin = 23;
constexpr int kErasePins[] = {4, 5, 6, 7, 8, 9};

constexpr int kEditOnTenths = 110, kSignatureReadTenths = 120, kTolerance = 3, kEditMaxTenths = 205;
constexpr int kChainBits = 119, kRowFlag = 95, kAddressBit = 96;
constexpr int kTerms = 64, kInputs = 78, kColumns = 114, kOrCells = 36, kPlanes = 11;
constexpr uint32_t kPlaneBase = 7296, kArchBase = 8154;
constexpr int kSignatureRow = 96, kUesRow = 97, kSecurityRow = 98, kUesBits = 72, kSignatureBits = 75;
constexpr size_t kLogLimit = 1u << 16;

int ArchBits(uint8_t variant) { return variant == 2 ? 104 : 68; }

// Chain bit of OR cell j of a selected term.
int OrBit(int j) { return j < 20 ? j : 83 + j; }

} // namespace

Gal6001Chip::Gal6001Chip(const Gal6001Facts& facts)
    : CellArrayChip(facts.name, 24, facts.fuses, kVccPin, {kGndPin}),
      part_(facts),
      signature_(facts.signature),
      chain_(kChainBits, 0),
      arch_(static_cast<size_t>(ArchBits(facts.variant)), 0) {
    AllowPin(kEditPin, kEditMaxTenths);
}

// The architecture chain's cells, bit 0 first: the two last cells swapped,
// the 4-apart runs, the cell pairs, the 3-apart runs of the output cells
// (the 6002's 36 further cells ahead of them), the two cells after them.
int Gal6001Chip::ArchCell(int b) const {
    const bool wide = part_.variant == 2;
    const int last = wide ? 8257 : 8221;
    if (b < 2) return last - b;
    if (b < 12) return 8179 + 4 * (b - 2);
    if (b < 22) return 8214 - 4 * (b - 12);
    if (b < 42) return 8216 - 4 * ((b - 22) / 2) + (b - 22) % 2;
    if (wide) {
        if (b < 60) return 8255 - (b - 42);
        if (b < 78) return 8220 + (b - 60);
        b -= 36;
    }
    if (b < 50) return 8156 + 3 * (b - 42);
    if (b < 58) return 8154 + 3 * (b - 50);
    if (b < 66) return 8176 - 3 * (b - 58);
    return 8218 + (b - 66);
}

int Gal6001Chip::RowCellAt(int row, int bit) const {
    if (row >= 0 && row < kInputs) {
        if (bit >= 31 && bit < 31 + kTerms) return Cell(static_cast<uint32_t>((bit - 31) * kColumns + row));
        if (bit >= 20 && bit < 20 + kPlanes) return Cell(kPlaneBase + static_cast<uint32_t>((bit - 20) * kInputs + row));
    } else if (row == kUesRow && bit >= 20 && bit < 20 + kUesBits) {
        return Cell(kArchBase + static_cast<uint32_t>(ArchBits(part_.variant) + bit - 20));
    }
    return -1;
}

int Gal6001Chip::TermCellAt(int term, int bit) const {
    if (term < 0 || term >= kTerms) return -1;
    for (int j = 0; j < kOrCells; ++j)
        if (OrBit(j) == bit) return Cell(static_cast<uint32_t>(term * kColumns + kInputs + j));
    return -1;
}

int Gal6001Chip::ArchCellAt(int bit) const {
    return bit >= 0 && bit < ArchBits(part_.variant) ? Cell(static_cast<uint32_t>(ArchCell(bit))) : -1;
}

bool Gal6001Chip::Architecture(const PinEnvironment& env) const { return Level(env, kArchPin) == 1; }

// The row the chain selects; -1 with row flag 0 (the terms are selected).
int Gal6001Chip::SelectedRow() const {
    if (chain_[kRowFlag] == 0) return -1;
    int row = 0;
    for (int k = 0; k < 7; ++k) row |= chain_[static_cast<size_t>(kAddressBit + k)] << k;
    return row;
}

void Gal6001Chip::Load(const PinEnvironment& env, bool atProgramVolts) {
    const bool atRead = Within(Volts(env, kEditPin), part_.readEditTenths, kTolerance);
    const bool usual = atRead || atProgramVolts;
    if (Architecture(env)) {
        if (!usual) return;
        for (int b = 0; b < ArchBits(part_.variant); ++b)
            arch_[static_cast<size_t>(b)] = static_cast<uint8_t>(CellOrOne(static_cast<uint32_t>(ArchCell(b))));
        return;
    }
    const int row = SelectedRow();
    if (row == kSignatureRow) {
        if (!usual && !Within(Volts(env, kEditPin), kSignatureReadTenths, kTolerance)) return;
        for (int k = 0; k < kSignatureBits; ++k) chain_[static_cast<size_t>(20 + k)] = (signature_[k / 8] >> (k % 8)) & 1;
        // Another part's type code: its bit 3 flipped.
        if (AnswersAnotherIdentity()) chain_[20 + 2 * 8 + 3] ^= 1;
        return;
    }
    if (!usual) return;
    if (row < 0) {
        for (int j = 0; j < kOrCells; ++j) {
            int bit = 1;
            for (int t = 0; t < kTerms; ++t)
                if (chain_[static_cast<size_t>(31 + t)] == 0) bit &= CellOrOne(static_cast<uint32_t>(t * kColumns + kInputs + j));
            chain_[static_cast<size_t>(OrBit(j))] = static_cast<uint8_t>(bit);
        }
    } else if (row < kInputs) {
        for (int t = 0; t < kTerms; ++t)
            chain_[static_cast<size_t>(31 + t)] = static_cast<uint8_t>(CellOrOne(static_cast<uint32_t>(t * kColumns + row)));
        for (int k = 0; k < kPlanes; ++k)
            chain_[static_cast<size_t>(20 + k)] = static_cast<uint8_t>(CellOrOne(kPlaneBase + static_cast<uint32_t>(k * kInputs + row)));
    } else if (row == kUesRow) {
        const uint32_t ues = kArchBase + static_cast<uint32_t>(ArchBits(part_.variant));
        for (int k = 0; k < kUesBits; ++k) chain_[static_cast<size_t>(20 + k)] = static_cast<uint8_t>(Cell(ues + static_cast<uint32_t>(k)));
    }
}

void Gal6001Chip::Program() {
    const int row = SelectedRow();
    if (row == kSecurityRow) {
        Secure();
    } else if (row == kSignatureRow) {
        const int code = signature_[1];
        if (part_.variant != 0 || (code != 1 && code != 2)) return;
        signature_.fill(0);
        for (int k = 0; k < kSignatureBits; ++k)
            signature_[static_cast<size_t>(k / 8)] |= static_cast<uint8_t>(chain_[static_cast<size_t>(20 + k)] << (k % 8));
    } else if (row < 0) {
        for (int t = 0; t < kTerms; ++t) {
            if (chain_[static_cast<size_t>(31 + t)] != 0) continue;
            for (int j = 0; j < kOrCells; ++j)
                WriteCell(static_cast<uint32_t>(t * kColumns + kInputs + j), chain_[static_cast<size_t>(OrBit(j))]);
        }
    } else if (row < kInputs) {
        for (int t = 0; t < kTerms; ++t) WriteCell(static_cast<uint32_t>(t * kColumns + row), chain_[static_cast<size_t>(31 + t)]);
        for (int k = 0; k < kPlanes; ++k)
            WriteCell(kPlaneBase + static_cast<uint32_t>(k * kInputs + row), chain_[static_cast<size_t>(20 + k)]);
    } else if (row == kUesRow) {
        const uint32_t ues = kArchBase + static_cast<uint32_t>(ArchBits(part_.variant));
        for (int k = 0; k < kUesBits; ++k) WriteCell(ues + static_cast<uint32_t>(k), chain_[static_cast<size_t>(20 + k)]);
    }
}

void Gal6001Chip::EndStrobe(const PinEnvironment& env) {
    const uint64_t width = strobe_.Stop(env.NowUs());
    const int edit = Volts(env, kEditPin);
    const bool atProgram = Within(edit, part_.programTenths, kTolerance);
    Act act = Act::Load;
    if (Level(env, kProgramPin) == 1) {
        bool erase = true;
        for (int p : kErasePins) erase = erase && Level(env, p) == 1;
        act = !atProgram ? Act::Ignored : erase ? (width >= part_.eraseUs ? Act::Erase : Act::Ignored)
                                                : (width >= part_.pulseUs ? Act::Program : Act::Ignored);
    }
    const bool arch = Architecture(env);
    if (strobes_.size() < kLogLimit) strobes_.push_back({act, arch ? -1 : SelectedRow(), width, edit});
    switch (act) {
    case Act::Load:
        Load(env, atProgram);
        break;
    case Act::Erase:
        EraseAll();
        break;
    case Act::Program:
        if (arch) {
            for (int b = 0; b < ArchBits(part_.variant); ++b) WriteCell(static_cast<uint32_t>(ArchCell(b)), arch_[static_cast<size_t>(b)]);
        } else {
            Program();
        }
        break;
    case Act::Ignored:
        break;
    }
}

void Gal6001Chip::Update(const PinEnvironment& env) {
    const bool edge = edges_.Take(Level(env, kClockPin) == 1, Level(env, kStrobePin) == 0);
    if (!edge) return;
    if (!InEditMode(env, kEditPin, kEditOnTenths)) {
        strobe_.Stop(env.NowUs());
        return;
    }
    if (edges_.clockRise) {
        std::vector<uint8_t>& c = Architecture(env) ? arch_ : chain_;
        c.erase(c.begin());
        c.push_back(static_cast<uint8_t>(Level(env, kDataInPin)));
    }
    if (edges_.strobeEdge) {
        if (edges_.strobeHigh) {
            strobe_.Start(env.NowUs());
        } else if (strobe_.Running()) {
            EndStrobe(env);
        }
    }
}

ChipDrive Gal6001Chip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    if (ChipPinAt(socketPin) != kDataOutPin || Volts(env, kEditPin) < kEditOnTenths) return ChipDrive::None;
    const std::vector<uint8_t>& c = Architecture(env) ? arch_ : chain_;
    return c.front() != 0 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
