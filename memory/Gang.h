// Gang sockets on the memory buses: register 3 is the socket mask, active
// low (bit s the /CE of socket s). A read with several sockets selected would
// see them drive the data lines together, so every per-socket step selects
// one socket at a time through these helpers.
#pragma once
#include <cstdint>

#include "engine/Device.h"
#include "engine/GangSockets.h"
#include "engine/Power.h"

// The socket the sector protection readers select alone: the first, save
// while an erase looks at every socket's protection in turn.
inline uint32_t ProtectionReadSocket = 0;
inline uint32_t ProtectionReadMask() { return NotSocket(ProtectionReadSocket); }

// How a pass over the sockets ends: the mask written afterwards, and whether
// the sockets after the first failing one are skipped.
struct GangPass {
    uint32_t MaskAfter = 0;
    bool StopAtFirstFail = false;
};

// Runs step(s) on every socket s from 0 to LastSocketIndex with socket s
// alone selected, then writes pass.MaskAfter to register 3. True when the
// step was true on every socket it ran on.
template <class Step> bool OnEverySocket(const GangPass& pass, Step&& step) {
    bool all = true;
    for (uint32_t s = 0; s <= LastSocketIndex && s < kGangSockets; ++s) {
        if (!all && pass.StopAtFirstFail) break;
        WriteRegister3(NotSocket(s));
        if (!step(s)) all = false;
    }
    WriteRegister3(pass.MaskAfter);
    return all;
}

// The polls that wait for the sockets one after the other: the socket whose
// turn it is stays selected until it reads ready, then the next one takes
// its turn. Ready() is true once the last socket has read ready.
class SocketTurns {
public:
    uint32_t Socket() const { return socket_; }
    // Socket `Socket()` alone on register 3.
    void Select() const { WriteRegister3(NotSocket(socket_)); }
    // The same only with a gang adapter (one socket stays as it stands).
    void SelectInGang() const {
        if (GangInUse()) Select();
    }
    bool Ready(bool ready) {
        if (!ready) return false;
        if (socket_ >= LastSocketIndex || socket_ + 1 >= kGangSockets) return true;
        ++socket_;
        return false;
    }

private:
    uint32_t socket_ = 0;
};

// Up to `reads` polls of the sockets in turn: with a gang adapter the socket
// whose turn it is alone (one socket: as it stands), ready() read from it;
// true once the last socket read ready. Every socket selected afterwards.
template <class Ready> bool PollInTurns(uint32_t reads, Ready&& ready) {
    SocketTurns turns;
    bool done = false;
    for (uint32_t n = 0; n < reads && !done; ++n) {
        turns.SelectInGang();
        done = turns.Ready(ready());
    }
    if (GangInUse()) WriteRegister3(0);
    return done;
}
