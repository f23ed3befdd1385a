// The gang adapter: a module of eight sockets plugged onto the programmer.
//
// - Reading register 1 answers the adapter's model in bits 0-1 (1 = the gang
//   adapter), as long as the loaded personality does not claim register-1
//   reads itself (the memory-bus images leave them to the adapter).
// - Register 3 is the socket mask, active low: FFh no socket, 00h all
//   sockets, NOT(1 shl s) socket s only. Bus writes reach every selected
//   socket; a read sees the one selected socket (ReadSocket).
// - Latch register 30 bit s is the pass lamp of socket s.
//
// A personality that serves a bus finds the adapter with GangAdapter::Find
// and takes the sockets from it; without an adapter it uses the programmer's
// own Socket component. A personality whose lines serve one socket (no
// socket select) takes ReachedSocket; the supply lines reach every socket
// (SuppliedSockets).
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/SimProgrammer.h"
#include "sim/Socket.h"

namespace sim {

class GangAdapter : public SimComponent {
public:
    static constexpr int kSockets = 8;
    static constexpr uint8_t kModelGang = 1;
    // The strong supply path on socket pin 44 feeds the module; its sockets'
    // pin 44 carries that feed only where a part takes its supply there.
    static constexpr int kSupplyFeedPin = 44;

    // modelBits: what register 1 bits 0-1 answer (1 the gang adapter; other
    // values stand for other adapters that share the register).
    explicit GangAdapter(uint8_t modelBits = kModelGang);

    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    void OnUnconfigure(SimProgrammer& p) override;

    uint8_t ModelBits() const { return modelBits_; }
    void SetModelBits(uint8_t bits) { modelBits_ = static_cast<uint8_t>(bits & 3); }

    // Socket 0-7 (socket number 1-8 on the module).
    Socket& SocketAt(int s) { return *sockets_.at(static_cast<size_t>(s)); }
    const Socket& SocketAt(int s) const { return *sockets_.at(static_cast<size_t>(s)); }

    // Register 3 as last written (FFh after a reset of the logic).
    uint8_t SocketMask() const { return mask_; }
    bool Selected(int s) const { return s >= 0 && s < kSockets && !(mask_ & (1u << s)); }
    // Sockets the mask selects, in order.
    std::vector<int> SelectedSockets() const;
    // The socket a bus read sees: the one selected socket that holds a chip
    // (nullptr when none does). Chips in several selected sockets would drive
    // the data lines against each other: a violation, the first one answers.
    Socket* ReadSocket(SimProgrammer& p);

    // What a read sees with several selected sockets answering on a bus whose
    // polls run on all sockets at once: while any socket is busy, the first
    // busy socket's data (ready only when every socket is ready), with the
    // fail bit DQ5 of every socket ORed in; otherwise the common data. Ready
    // sockets answering different data drive against each other: a
    // violation, their AND answers.
    struct Answer {
        uint16_t value;
        bool busy;
    };
    static uint16_t Combine(SimProgrammer& p, const std::vector<Answer>& answers);

    // Pass lamp of socket s (latch register 30 bit s).
    static bool PassLamp(const SimProgrammer& p, int s) {
        return s >= 0 && s < kSockets && (p.LatchBank(30) & (1u << s)) != 0;
    }
    // Register-1 reads answered so far.
    uint32_t ModelReads() const { return modelReads_; }

    static GangAdapter* Find(const SimProgrammer& p) { return p.FindComponent<GangAdapter>(); }

private:
    uint8_t modelBits_;
    uint8_t mask_ = 0xFF;
    uint32_t modelReads_ = 0;
    std::array<std::unique_ptr<Socket>, kSockets> sockets_;
};

// The socket that the lines of a bus serving one socket reach: the
// programmer's own socket or, with a gang module fitted, the module's first
// socket. Such a bus has no socket select: the module wires its lines to
// socket 1, and the socket mask switches only the buses that serve the
// module's sockets. nullptr: no socket.
Socket* ReachedSocket(const SimProgrammer& p);

// The sockets the supply and ground lines reach: the programmer's own
// socket, or every socket of a gang module.
struct SuppliedSocketList {
    std::array<const Socket*, GangAdapter::kSockets> socket{};
    int count = 0;
};
SuppliedSocketList SuppliedSockets(const SimProgrammer& p);

// Fits a gang adapter to a simulated programmer.
GangAdapter* AddGangAdapter(SimProgrammer& programmer, uint8_t modelBits = GangAdapter::kModelGang);

} // namespace sim
