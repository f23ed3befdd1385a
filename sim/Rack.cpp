#include "sim/Rack.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "sim/BlockCpldBus.h"
#include "sim/ColumnPldBus.h"
#include "sim/AddressListBus.h"
#include "sim/CommandBus.h"
#include "sim/ControlBus.h"
#include "sim/Electrical.h"
#include "sim/FlashBus.h"
#include "sim/GangAdapter.h"
#include "sim/IdMemory.h"
#include "sim/McuRegisterBus.h"
#include "sim/RegisterMcuBus.h"
#include "sim/SeqClockMcuChip.h"
#include "sim/BootBus.h"
#include "sim/MemoryBus.h"
#include "sim/MuxBus.h"
#include "sim/NandBus.h"
#include "sim/PageRunBus.h"
#include "sim/PicChip.h"
#include "sim/RamTestBus.h"
#include "sim/RegisterTap.h"
#include "sim/SerialEngine.h"
#include "sim/Socket.h"
#include "sim/Universal.h"

namespace sim {

namespace {

// The supply watch acts only while a pin-driver personality is loaded: this
// asks it only then, with the personality's type looked up once per image
// instead of a cast per register write.
class PinDriverSupplyWatch : public SimComponent {
public:
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override {
        return p.PersonalityAs<PinDriverPersonality>() != nullptr && watch_.OnWrite(p, reg, value);
    }
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override {
        return p.PersonalityAs<PinDriverPersonality>() != nullptr && watch_.OnLatchBit(p, reg, bit, state);
    }
    uint32_t HeardWrites(const SimProgrammer& p) const override {
        return p.PersonalityAs<PinDriverPersonality>() != nullptr ? ~uint32_t{0} : 0;
    }
    uint32_t HeardReads(const SimProgrammer&) const override { return 0; }

private:
    SupplyWatch watch_;
};

constexpr char kStateMagic[8] = {'V', 'X', 'S', 'I', 'M', 'S', 'T', '2'};
constexpr uintmax_t kMaxStateFileBytes =
    sizeof kStateMagic + 4 + Rack::kMaxChips * (2 + Rack::kMaxKeyBytes + 5 + 2 * Rack::kMaxWords);

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
    if (count > Rack::kMaxChips) return "too many chips";
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t keyLength = 0, words = 0, width = 0;
        const char* key = nullptr;
        if (!r.U16(keyLength) || keyLength == 0 || keyLength > Rack::kMaxKeyBytes) return "bad chip name";
        if (!r.Take(keyLength, key)) return "file is truncated";
        if (!r.U32(words) || !r.U8(width)) return "file is truncated";
        if (words == 0 || words > Rack::kMaxWords) return "bad chip size";
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

// Copies stored contents into a chip of the same organisation.
void Restore(const StoredChip& from, CatalogChip& to) {
    if (from.words != to.Words() || from.width != to.Facts().width) return;
    for (uint32_t a = 0; a < from.words; ++a) to.SetCell(a, from.cells[a]);
}

} // namespace

std::unique_ptr<SimProgrammer> Rack::Build(int gangSockets) {
    RegisterUniversalPersonalities();
    RegisterMemoryBusPersonality();
    RegisterControlBusPersonality();
    RegisterRamTestPersonality();
    RegisterFlashBusPersonality();
    RegisterCommandBusPersonality();
    RegisterSerialPersonality();
    RegisterRegisterTapPersonality();
    RegisterNandPersonality();
    RegisterMuxBusPersonality();
    RegisterMcuRegisterBusPersonality();
    RegisterBlockCpldBusPersonality();
    RegisterRegisterMcuBusPersonality();
    RegisterColumnPldBusPersonality();
    RegisterAddressListBusPersonality();
    RegisterPageRunBusPersonality();
    RegisterSeqClockBusPersonality();
    RegisterBootBusPersonality();
    auto programmer = std::make_unique<SimProgrammer>();
    AddIdMemory(*programmer);
    // A PIC leaves its programming mode when MCLR drops between two logic
    // changes: the chips hear of every supply switch.
    programmer->AddComponent(std::make_unique<PinDriverSupplyWatch>());
    Electrical* elec = AddElectrical(*programmer);
    const int sockets = gangSockets >= 2 && gangSockets <= kMaxGangSockets ? gangSockets : 0;
    std::unique_ptr<Rack> rack(new Rack(*programmer, *elec, sockets));
    if (sockets == 0) {
        auto own = std::make_unique<Socket>();
        rack->own_ = own.get();
        programmer->AddComponent(std::move(own));
    } else {
        rack->gang_ = AddGangAdapter(*programmer);
        // The strong path that the supply range switches on (pin 44) feeds
        // the adapter itself.
        ChipPinLimits supply;
        supply.chip = "gang adapter supply";
        supply.socketPins = {44};
        supply.supplyOrder = false;
        elec->DeclareChip(supply);
    }
    programmer->AddComponent(std::move(rack));
    return programmer;
}

Rack::Rack(SimProgrammer& p, Electrical& e, int sockets) : prog_(p), elec_(e), sockets_(sockets) {}

Socket& Rack::SocketAt(int s) const { return gang_ ? gang_->SocketAt(s) : *own_; }

std::string Rack::KeyOf(int s) const {
    std::string key = part_->maker + "\t" + part_->name;
    if (s > 0) key += "\t#" + std::to_string(s + 1);
    return key;
}

CatalogChip* Rack::Seated(int s) const {
    if (!aside_.empty()) return nullptr;
    return s >= 0 && s < static_cast<int>(chips_.size()) ? chips_[static_cast<size_t>(s)] : nullptr;
}

bool Rack::SeatPart(const std::string& maker, const std::string& name) {
    PutBack();
    const CatalogPart* part = FindPart(maker, name);
    if (part != nullptr && part == part_) {
        for (size_t s = 0; s < chips_.size(); ++s) store_[KeyOf(static_cast<int>(s))].lastUse = ++useClock_;
        return true; // the same part: the same chips stay
    }
    Empty();
    if (part == nullptr) return false;
    part_ = part;
    const int count = gang_ ? sockets_ : 1;
    for (int s = 0; s < count; ++s) {
        std::unique_ptr<CatalogChip> chip = MakeChip(*part);
        if (!chip) break;
        auto it = store_.find(KeyOf(s));
        if (it != store_.end()) Restore(it->second, *chip);
        declared_.push_back(elec_.DeclareChip(chip->Limits()));
        // A model that also watches the programmer's registers (a fuse PROM)
        // is attached for as long as it is seated.
        if (auto* watcher = SeatedModel<SimComponent>(chip.get())) prog_.AttachComponent(watcher);
        chips_.push_back(SocketAt(s).Insert(std::move(chip)));
    }
    Snapshot(); // the chips are remembered from the moment they are seated
    return true;
}

void Rack::Empty() {
    PutBack();
    if (part_ == nullptr) return;
    Snapshot();
    for (size_t s = 0; s < chips_.size(); ++s) {
        elec_.WithdrawChip(declared_[s]);
        if (auto* watcher = SeatedModel<SimComponent>(chips_[s])) prog_.DetachComponent(watcher);
        SocketAt(static_cast<int>(s)).Remove(chips_[s]);
    }
    chips_.clear();
    declared_.clear();
    part_ = nullptr;
}

void Rack::SetAside() {
    if (!aside_.empty() || chips_.empty()) return;
    for (size_t s = 0; s < chips_.size(); ++s) {
        elec_.WithdrawChip(declared_[s]);
        if (auto* watcher = SeatedModel<SimComponent>(chips_[s])) prog_.DetachComponent(watcher);
        aside_.push_back(SocketAt(static_cast<int>(s)).Release(chips_[s]));
    }
    declared_.clear();
}

void Rack::PutBack() {
    if (aside_.empty()) return;
    for (size_t s = 0; s < aside_.size(); ++s) {
        declared_.push_back(elec_.DeclareChip(chips_[s]->Limits()));
        if (auto* watcher = SeatedModel<SimComponent>(chips_[s])) prog_.AttachComponent(watcher);
        SocketAt(static_cast<int>(s)).Insert(std::move(aside_[s]));
    }
    aside_.clear();
}

void Rack::Snapshot() {
    for (size_t s = 0; s < chips_.size(); ++s) {
        const CatalogChip& chip = *chips_[s];
        // A part that keeps nothing, or more than a state file may hold (a
        // large NAND part keeps its contents only while seated).
        if (chip.Words() == 0 || chip.Words() > kMaxWords) continue;
        StoredChip& stored = store_[KeyOf(static_cast<int>(s))];
        stored.words = static_cast<uint32_t>(chip.Words());
        stored.width = static_cast<uint8_t>(chip.Facts().width);
        stored.cells.resize(stored.words);
        for (uint32_t a = 0; a < stored.words; ++a) stored.cells[a] = chip.Cell(a);
        stored.lastUse = ++useClock_;
    }
    Trim();
}

// The least recently used chips are forgotten beyond the limit (never a
// seated one).
void Rack::Trim() {
    while (store_.size() > kMaxChips) {
        auto oldest = store_.end();
        for (auto it = store_.begin(); it != store_.end(); ++it) {
            bool seated = false;
            for (size_t s = 0; s < chips_.size(); ++s) seated |= it->first == KeyOf(static_cast<int>(s));
            if (seated) continue;
            if (oldest == store_.end() || it->second.lastUse < oldest->second.lastUse) oldest = it;
        }
        if (oldest == store_.end()) return;
        store_.erase(oldest);
    }
}

std::string Rack::SaveState(const std::string& path) {
    Snapshot();
    std::string out(kStateMagic, sizeof kStateMagic);
    PutU32(out, static_cast<uint32_t>(store_.size()));
    for (const auto& [key, chip] : store_) {
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

std::string Rack::LoadState(const std::string& path) {
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
    store_ = std::move(store);
    for (auto& [key, chip] : store_) chip.lastUse = ++useClock_;
    for (size_t s = 0; s < chips_.size(); ++s) {
        auto it = store_.find(KeyOf(static_cast<int>(s)));
        if (it != store_.end()) Restore(it->second, *chips_[s]);
    }
    return "";
}

} // namespace sim
