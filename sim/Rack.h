// The simulator rack: a simulated programmer with its ID memory, electrical
// model and personalities, either its own socket or a gang adapter of 2 to 8
// sockets, and the catalog parts seated in them. The chips keep their
// contents for the rack's life (seating the same part again finds it as it
// was left) and can be kept between runs in a state file.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/Catalog.h"
#include "sim/SimProgrammer.h"

namespace sim {

class Electrical;
class GangAdapter;
class Socket;

// The contents of a chip that is not seated (or a snapshot of one that is).
struct StoredChip {
    uint32_t words = 0;
    uint8_t width = 8;
    std::vector<uint16_t> cells;
    uint64_t lastUse = 0;
};

class Rack : public SimComponent {
public:
    static constexpr int kMaxGangSockets = 8;
    // Bounds of what the rack keeps and what a state file may hold.
    static constexpr size_t kMaxChips = 32;
    static constexpr uint32_t kMaxWords = 1u << 20;
    static constexpr size_t kMaxKeyBytes = 256;

    // Builds the programmer with its rack; gangSockets 0 gives the
    // programmer's own socket, 2-8 a gang adapter with that many sockets
    // filled.
    static std::unique_ptr<SimProgrammer> Build(int gangSockets = 0);
    static Rack* Find(const SimProgrammer& p) { return p.FindComponent<Rack>(); }
    // The rack takes no register traffic itself.
    uint32_t HeardWrites(const SimProgrammer&) const override { return 0; }
    uint32_t HeardReads(const SimProgrammer&) const override { return 0; }

    // Seats the catalog's part in every socket in use (the chip used before
    // for it, else a blank one). False when the catalog has no such part:
    // the sockets are left empty.
    bool SeatPart(const std::string& maker, const std::string& name);
    // Takes the chips out (their contents stay remembered).
    void Empty();
    // Takes the seated chips out of their sockets and keeps them whole, as a
    // user lays parts aside, until PutBack seats them again where they were.
    // Meanwhile the sockets are empty and Seated answers nullptr; seating or
    // emptying puts them back first.
    void SetAside();
    void PutBack();
    bool ChipsAside() const { return !aside_.empty(); }

    // The chip in socket s (0 = the programmer's socket or the first gang
    // socket), nullptr when it is empty.
    CatalogChip* Seated(int s = 0) const;
    const CatalogPart* SeatedPart() const { return part_; }
    int SocketsInUse() const { return static_cast<int>(chips_.size()); }
    SimProgrammer& Programmer() { return prog_; }

    // The chips between runs. Both return an empty string on success, else
    // the reason; a file that fails to load leaves the chips as they were.
    std::string SaveState(const std::string& path);
    std::string LoadState(const std::string& path);

private:
    Rack(SimProgrammer& p, Electrical& e, int sockets);
    Socket& SocketAt(int s) const;
    std::string KeyOf(int s) const;
    void Snapshot();
    void Trim();

    SimProgrammer& prog_;
    Electrical& elec_;
    Socket* own_ = nullptr;
    GangAdapter* gang_ = nullptr;
    int sockets_;
    const CatalogPart* part_ = nullptr;
    std::vector<CatalogChip*> chips_;
    std::vector<int> declared_;
    std::vector<std::unique_ptr<ChipModel>> aside_;
    std::map<std::string, StoredChip> store_;
    uint64_t useClock_ = 0;
};

} // namespace sim
