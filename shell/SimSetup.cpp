#include "shell/SimSetup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "sim/ControlBus.h"
#include "sim/Electrical.h"
#include "sim/EpromChip.h"
#include "sim/IdMemory.h"
#include "sim/LogicIc.h"
#include "sim/MemoryBus.h"
#include "sim/RamParts.h"
#include "sim/RamTestBus.h"
#include "sim/SimProgrammer.h"
#include "sim/Socket.h"
#include "sim/Universal.h"

namespace {

// Bounds of what the run keeps and what a state file may hold.
constexpr size_t kMaxChips = 32;
constexpr uint32_t kMaxWords = 1u << 20;
constexpr size_t kMaxKeyBytes = 256;
constexpr char kStateMagic[8] = {'V', 'X', 'S', 'I', 'M', 'S', 'T', '1'};
constexpr uintmax_t kMaxStateFileBytes = sizeof kStateMagic + 4 + kMaxChips * (2 + kMaxKeyBytes + 5 + 2 * kMaxWords);

// The contents of a chip that is not in the socket (or a snapshot of the one
// that is).
struct StoredChip {
    uint32_t words = 0;
    uint8_t width = 8;
    std::vector<uint16_t> cells;
    uint64_t lastUse = 0;
};

class ChipRack;
ChipRack* g_rack = nullptr;

// Owned by the simulated programmer, so the chips it remembers go with it.
class ChipRack : public sim::SimComponent {
public:
    ChipRack(sim::SimProgrammer& p, sim::Socket& s, sim::Electrical& e) : prog_(p), socket_(s), elec_(e) {
        g_rack = this;
    }
    ~ChipRack() override {
        if (g_rack == this) g_rack = nullptr;
    }

    sim::SimProgrammer& Programmer() { return prog_; }
    sim::EpromChip* Seated() const { return seated_; }

    void SeatCurrentDevice() {
        sim::EpromConfig config;
        const bool modelled = SimChipConfigForCurrentDevice(config);
        const std::string key = modelled ? KeyOfCurrentDevice() : std::string();
        if (seated_ != nullptr && key == seatedKey_) {
            store_[key].lastUse = ++useClock_;
            return; // the same device: the same chip stays
        }
        Unseat();
        if (!modelled) return;
        auto chip = std::make_unique<sim::EpromChip>(config);
        auto it = store_.find(key);
        if (it != store_.end() && it->second.words == chip->Words() && it->second.width == config.width) {
            for (uint32_t a = 0; a < it->second.words; ++a) chip->SetCell(a, it->second.cells[a]);
        }
        declared_ = elec_.DeclareChip(chip->Limits());
        seated_ = socket_.Insert(std::move(chip));
        seatedKey_ = key;
        Snapshot(); // the chip is remembered from the moment it is seated
    }

    // Copies the seated chip into the store.
    void Snapshot() {
        if (seated_ == nullptr) return;
        StoredChip& s = store_[seatedKey_];
        s.words = static_cast<uint32_t>(seated_->Words());
        s.width = static_cast<uint8_t>(seated_->Config().width);
        s.cells.resize(s.words);
        for (uint32_t a = 0; a < s.words; ++a) s.cells[a] = seated_->Cell(a);
        s.lastUse = ++useClock_;
        Trim();
    }

    const std::map<std::string, StoredChip>& Store() const { return store_; }

    // Replaces the remembered chips (the seated one takes its stored contents
    // when it is the same device).
    void ReplaceStore(std::map<std::string, StoredChip> store) {
        store_ = std::move(store);
        for (auto& [key, chip] : store_) chip.lastUse = ++useClock_;
        if (seated_ == nullptr) return;
        auto it = store_.find(seatedKey_);
        if (it != store_.end() && it->second.words == seated_->Words() &&
            it->second.width == seated_->Config().width) {
            for (uint32_t a = 0; a < it->second.words; ++a) seated_->SetCell(a, it->second.cells[a]);
        }
    }

private:
    static std::string KeyOfCurrentDevice() {
        return CurrentMakerName + "\t" + CurrentDeviceName + "\t" + std::to_string(CurrentAlgorithm);
    }

    void Unseat() {
        if (seated_ == nullptr) return;
        Snapshot();
        elec_.WithdrawChip(declared_);
        socket_.Remove(seated_);
        seated_ = nullptr;
        seatedKey_.clear();
    }

    // The least recently used chips are forgotten beyond the limit (never
    // the seated one).
    void Trim() {
        while (store_.size() > kMaxChips) {
            auto oldest = store_.end();
            for (auto it = store_.begin(); it != store_.end(); ++it) {
                if (it->first == seatedKey_ && seated_ != nullptr) continue;
                if (oldest == store_.end() || it->second.lastUse < oldest->second.lastUse) oldest = it;
            }
            if (oldest == store_.end()) return;
            store_.erase(oldest);
        }
    }

    sim::SimProgrammer& prog_;
    sim::Socket& socket_;
    sim::Electrical& elec_;
    sim::EpromChip* seated_ = nullptr;
    std::string seatedKey_;
    int declared_ = 0;
    std::map<std::string, StoredChip> store_;
    uint64_t useClock_ = 0;
};

// ---- the state file -------------------------------------------------------------

void PutU16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void PutU32(std::string& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

// Reads from a byte string with every length checked.
class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}
    bool Take(size_t n, const char*& at) {
        if (n > bytes_.size() - pos_) return false;
        at = bytes_.data() + pos_;
        pos_ += n;
        return true;
    }
    bool U8(uint32_t& v) { return Le(1, v); }
    bool U16(uint32_t& v) { return Le(2, v); }
    bool U32(uint32_t& v) { return Le(4, v); }
    bool AtEnd() const { return pos_ == bytes_.size(); }

private:
    bool Le(size_t n, uint32_t& v) {
        const char* at = nullptr;
        if (!Take(n, at)) return false;
        v = 0;
        for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(at[i])) << (8 * i);
        return true;
    }
    const std::string& bytes_;
    size_t pos_ = 0;
};

std::string ParseState(const std::string& bytes, std::map<std::string, StoredChip>& out) {
    Reader r(bytes);
    const char* magic = nullptr;
    if (!r.Take(sizeof kStateMagic, magic) || std::memcmp(magic, kStateMagic, sizeof kStateMagic) != 0)
        return "not a simulator state file";
    uint32_t count = 0;
    if (!r.U32(count)) return "file is truncated";
    if (count > kMaxChips) return "too many chips";
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t keyLength = 0, words = 0, width = 0;
        const char* key = nullptr;
        if (!r.U16(keyLength) || keyLength == 0 || keyLength > kMaxKeyBytes) return "bad chip name";
        if (!r.Take(keyLength, key)) return "file is truncated";
        if (!r.U32(words) || !r.U8(width)) return "file is truncated";
        if (words == 0 || words > kMaxWords) return "bad chip size";
        if (width != 8 && width != 16) return "bad chip width";
        const std::string name(key, keyLength);
        if (out.count(name) != 0) return "chip listed twice";
        StoredChip chip;
        chip.words = words;
        chip.width = static_cast<uint8_t>(width);
        chip.cells.resize(words);
        const size_t cellBytes = width / 8;
        const char* data = nullptr;
        if (!r.Take(static_cast<size_t>(words) * cellBytes, data)) return "file is truncated";
        for (uint32_t a = 0; a < words; ++a) {
            const auto* p = reinterpret_cast<const uint8_t*>(data) + a * cellBytes;
            chip.cells[a] = static_cast<uint16_t>(cellBytes == 2 ? p[0] | (p[1] << 8) : p[0]);
        }
        out.emplace(name, std::move(chip));
    }
    if (!r.AtEnd()) return "data after the last chip";
    return "";
}

} // namespace

// ---- the chip of the current device --------------------------------------------

bool SimChipConfigForCurrentDevice(sim::EpromConfig& c) {
    if (DeviceSection != SectionEprom) return false;
    if (DeviceSize == 0 || DeviceSize > kMaxWords) return false;
    const PackageEntry& pkg = PackageRow(PackageIndex);
    const std::string& name = CurrentDeviceName;
    const bool wide = DataWidth > 8;
    const bool erasable = (SupportedOperationMask & OpMaskErase) != 0;

    if (CurrentAlgorithm == 301) {
        // The 16-bit part of the control-register bus: blank at 0000h, with
        // its hidden word.
        c = sim::ControlBusWord40(name, DeviceSize);
    } else {
        switch (CurrentAlgorithm) {
        case 0: case 90: case 60: case 67: case 68: case 76:
        case 3: case 4: case 69: case 75: case 84: case 302:
            break;
        default:
            return false; // no chip model of the family
        }
        const bool footprint = wide ? pkg.PinCount == 40 : (pkg.PinCount == 24 || pkg.PinCount == 28 || pkg.PinCount == 32);
        if (!footprint) return false;
        c = sim::EpromConfigFor(name, pkg.PinCount, DeviceSize, DataWidth, pkg.VppPin, wide ? 0xFFFF : 0xFF);
    }
    // Parts programmed with short pulses accept pulses of their own width.
    if (PulseWidth > 0 && PulseWidth * 9 / 10 < c.minPulseUs) c.minPulseUs = PulseWidth * 9 / 10;

    switch (CurrentAlgorithm) {
    case 0:
        // The Cypress CMOS parts are blank at 00h.
        if (CurrentMakerName == "CYPRESS" && (name == "CY27C128" || name == "CY27C256")) c.blank = 0;
        if (erasable && pkg.PinCount == 28) {
            // Electrically erasable: A9 and /OE-Vpp at the maker's erase level.
            c.erasePin = 24;
            c.erasePulseUs = 100000;
            c.vppMaxTenths = 145;
            if (CurrentMakerName == "WINBOND") {
                c.eraseMinTenths = 130;
            } else if (CurrentMakerName == "MACRONIX") {
                c.eraseMinTenths = 120;
                c.vppMinTenths = 120;
                c.eraseNeedsZeros = true; // programmed to 00h before the erase
            }
        }
        break;
    case 90: // electrically erasable, one erase pulse on A9
        if (erasable) {
            c.erasePin = 24;
            c.erasePulseUs = 100000;
        }
        break;
    case 67:
    case 68: {
        // Four 16 KB pages behind a page register written through pin 27.
        if (pkg.PinCount != 28) return false;
        c = sim::Jedec28(name, DeviceSize);
        if (PulseWidth > 0 && PulseWidth * 9 / 10 < c.minPulseUs) c.minPulseUs = PulseWidth * 9 / 10;
        if (c.addressPins.size() > 14) c.addressPins.resize(14);
        c.pageWords = 0x4000;
        c.pageWritePin = 27;
        c.pgmPin = 0;
        c.vppPin = 1;
        break;
    }
    case 76: // electrically erasable with an active-high erase strobe
        if (erasable) {
            c.erasePin = 24;
            c.eraseStrobeHigh = true;
            c.erasePulseUs = 100000;
            c.vppMaxTenths = 145;
        }
        break;
    case 60: // nonvolatile RAM: written by /WE, no programming voltage
        c.byteWrite = true;
        c.vppPin = 0;
        break;
    case 3:
    case 4: // 16-bit, electrically erasable through pin 31
        if (erasable) {
            c.erasePin = 31;
            c.eraseMinTenths = 130;
            c.erasePulseUs = 100000;
            c.vppMaxTenths = 145;
        }
        break;
    case 302:
        // The parts blank at 00h answer a blank check at high voltage on /CE.
        if (DeviceSubVariant != 1) {
            c.blank = 0;
            c.pgmPin = 0;
            c.hvBlankCheck = true;
        }
        break;
    default:
        break;
    }
    return true;
}

void SeatSimChipForCurrentDevice() {
    if (g_rack != nullptr) g_rack->SeatCurrentDevice();
}

std::unique_ptr<PortIo> MakeProgramSimulator() {
    sim::RegisterUniversalPersonalities();
    sim::RegisterMemoryBusPersonality();
    sim::RegisterControlBusPersonality();
    sim::RegisterRamTestPersonality();
    auto programmer = std::make_unique<sim::SimProgrammer>();
    sim::AddIdMemory(*programmer);
    sim::Electrical* elec = sim::AddElectrical(*programmer);
    auto socket = std::make_unique<sim::Socket>();
    sim::Socket* s = socket.get();
    programmer->AddComponent(std::move(socket));
    programmer->AddComponent(std::make_unique<ChipRack>(*programmer, *s, *elec));

    if (const char* path = std::getenv(kSimStateVariable); path != nullptr && *path != '\0') {
        std::error_code ec;
        if (std::filesystem::exists(path, ec)) {
            const std::string why = LoadSimState(path);
            if (!why.empty()) ShowMessageLine("Simulator state %s not loaded: %s.", path, why.c_str());
        }
    }
    // A logic part named by VEXLOR_SIM_LOGIC_IC sits in the socket for the whole
    // run (for the IC test) in place of the selected device's chip.
    if (const char* part = std::getenv(kSimLogicIcVariable); part != nullptr && *part != '\0') {
        if (const sim::LogicIcConfig* logic = sim::FindLogicIcPart(part)) {
            s->Insert(std::make_unique<sim::LogicIc>(*logic));
            return programmer;
        }
        // A RAM for the RAM test, or a GAL for programming and the vector test.
        if (sim::SeatNamedTestPart(*s, *elec, part)) return programmer;
        ShowMessageLine("Simulated logic IC %s is not known.", part);
    }
    SeatSimChipForCurrentDevice();
    AddSelectionDefaultsHook(&SeatSimChipForCurrentDevice);
    return programmer;
}

sim::SimProgrammer* ProgramSimulator() { return g_rack ? &g_rack->Programmer() : nullptr; }

sim::EpromChip* SeatedSimChip() { return g_rack ? g_rack->Seated() : nullptr; }

// ---- keeping the chips between runs ----------------------------------------------

std::string SaveSimState(const std::string& path) {
    if (g_rack == nullptr) return "no simulator";
    g_rack->Snapshot();
    std::string out(kStateMagic, sizeof kStateMagic);
    PutU32(out, static_cast<uint32_t>(g_rack->Store().size()));
    for (const auto& [key, chip] : g_rack->Store()) {
        PutU16(out, static_cast<uint32_t>(key.size()));
        out += key;
        PutU32(out, chip.words);
        out.push_back(static_cast<char>(chip.width));
        for (uint16_t cell : chip.cells) {
            out.push_back(static_cast<char>(cell & 0xFF));
            if (chip.width > 8) out.push_back(static_cast<char>(cell >> 8));
        }
    }
    // Written beside the file and renamed over it, so a failed write never
    // leaves half a state behind.
    const std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) return std::strerror(errno);
    const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::remove(temp.c_str());
        return "write failed";
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        std::remove(temp.c_str());
        return why;
    }
    return "";
}

std::string LoadSimState(const std::string& path) {
    if (g_rack == nullptr) return "no simulator";
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return ec.message();
    if (size > kMaxStateFileBytes) return "file is too large";
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::strerror(errno);
    std::string bytes(static_cast<size_t>(size), '\0');
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) return "read failed";
    std::map<std::string, StoredChip> store;
    const std::string why = ParseState(bytes, store);
    if (!why.empty()) return why;
    g_rack->ReplaceStore(std::move(store));
    return "";
}

void SaveSimStateAtExit() {
    const char* path = std::getenv(kSimStateVariable);
    if (g_rack == nullptr || path == nullptr || *path == '\0') return;
    const std::string why = SaveSimState(path);
    if (!why.empty()) std::fprintf(stderr, "Simulator state %s not saved: %s.\n", path, why.c_str());
}
