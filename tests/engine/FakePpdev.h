// A stand-in for the ppdev nodes of real hardware: records which node the
// program opens on which base, and how many are claimed at once.
#pragma once
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/PortIo.h"

namespace fakeppdev {

inline std::vector<std::pair<std::string, uint16_t>> g_opened; // node and base, in order
inline std::set<std::string> g_missing;                        // nodes that do not open
inline std::set<std::string> g_denied;                         // nodes the user may not open
inline int g_claimed = 0, g_mostClaimed = 0;

class FakePpdevPort final : public PortIo {
public:
    explicit FakePpdevPort(uint16_t base) : base_(base) { g_mostClaimed = std::max(g_mostClaimed, ++g_claimed); }
    ~FakePpdevPort() override { --g_claimed; }
    void Out(uint16_t, uint8_t) override {}
    uint8_t In(uint16_t) override { return 0xFF; }
    const char* Name() const override { return "ppdev"; }
    bool Reaches(uint16_t base) const override { return base == base_; }

private:
    uint16_t base_;
};

inline std::unique_ptr<PortIo> Open(const std::string& node, uint16_t base, std::string& error) {
    if (g_missing.count(node) != 0) {
        error = node + ": No such file or directory";
        return nullptr;
    }
    if (g_denied.count(node) != 0) {
        error = node + ": Permission denied";
        return nullptr;
    }
    g_opened.emplace_back(node, base);
    return std::make_unique<FakePpdevPort>(base);
}

// Puts the stand-in in place with no node opened yet.
inline void Install(std::set<std::string> missing = {}) {
    g_opened.clear();
    g_missing = std::move(missing);
    g_denied.clear();
    g_mostClaimed = g_claimed;
    SetPpdevOpener(Open);
}

inline void Remove() {
    InstallPortIo(nullptr);
    SetPpdevOpener(nullptr);
}

} // namespace fakeppdev
