// The pin-driver personalities: the universal logic image and the test image.
//
// Registers 0-11 are the pin latches, one pair per 8 socket pins: register 2g
// the float bits of block g (1 = floating), 2g + 1 the drive levels. Reading
// register g (0-5) gives the levels of the 8 pins of block g, resolved per pin:
// ground switch, supply (high from 2.0 V), the logic driver, a chip's output,
// the weak pull, and last the level an undriven pin floats to.
//
// Register 12 of the universal image: 0 idle, 1 or 2 a microcontroller
// programming mode; any other value is not expected.
//
// The test image adds the pull selected by register 13 bits 2-3: 01 pulls every
// undriven pin up (the scans), 11 pulls it down (the driven-pin test), anything
// else leaves it floating.
//
// The vector-test image keeps the test image's pulls but holds pin-latch
// writes back: they reach the pins at the next register-12 strobe (value 1 or
// 2); 12 = 0 ends the strobe.
//
// The pin lines reach the programmer's own socket or, with a gang module
// fitted, the module's first socket: the module takes its other sockets only
// through the socket mask of the bus images. A row that serves one socket on
// the pin driver thus works the part in socket 1.
//
// Faults of the programmer's pin electronics (ProgrammerFaults of the
// electrical model): a driver stuck at one level, two shorted pins (the one
// held low wins, then the one held high), an open pull-down resistor.
#pragma once
#include <cstdint>
#include <memory>

#include "sim/Electrical.h"
#include "sim/Socket.h"

namespace sim {

class PinDriverPersonality final : public SimPersonality, public PinEnvironment {
public:
    explicit PinDriverPersonality(uint16_t id);

    uint16_t Id() const override { return id_; }
    bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) override;
    bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) override;
    std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) override;
    void OnUnconfigure(SimProgrammer& p) override;

    // PinEnvironment
    PinCondition Condition(int socketPin) const override;
    int FloatingLevel() const override { return floatingLevel_; }
    uint64_t NowUs() const override;
    void Violation(const std::string& what) const override;

    // What an undriven pin without pull reads (1 unless set).
    void SetFloatingLevel(int level) { floatingLevel_ = level ? 1 : 0; }
    Pull CurrentPull() const { return pull_; }
    bool HasPullControl() const { return id_ == kPersonalityTest || id_ == kPersonalityVector; }
    bool DefersLatches() const { return id_ == kPersonalityVector; }
    uint32_t StrobeCount() const { return strobes_; }
    uint8_t McuMode() const { return mcuMode_; }

    // The level the programmer reads on a socket pin.
    int ReadLevel(int socketPin) const;

    // Whether the socket's chips were brought up to date by the latch write
    // now being handled, with nothing moved since (same microsecond, socket
    // and pin table): another update now would show them exactly what they
    // have just seen. For components after the personality in that write.
    bool ChipsCurrent() const;

private:
    // The start of every hook: the programmer, its socket and electrical
    // model, and the pin table brought up to date.
    void Attach(SimProgrammer& p);
    // Supply and ground switching may move before the next hook: until then
    // every pin is worked out from the latches and the electrical model.
    void MarkStale();
    // The table brought up to date where a chip or a read is to use it.
    void Fresh() {
        if (stale_) Refresh();
    }
    void Refresh();
    // The driver part of the table's entries for socket pins first..last.
    void SetDrivers(int first, int last);
    // The same for one pin whose latch bits moved (its pull stays).
    void SetDriver(int pin);
    PinCondition LiveCondition(int socketPin) const;
    void CheckContention();
    void LatchesChanged();
    const ProgrammerFaults* Faults() const;
    // The level something holds the pin at (-1: nothing but a pull).
    int HeldLevel(int socketPin) const;
    // Register g's levels from the table, with the chips' drives in one call
    // where one chip sits in the socket.
    uint8_t ReadBlock(int g) const;

    uint16_t id_;
    SimProgrammer* prog_ = nullptr;
    Socket* socket_ = nullptr;
    const Electrical* electrical_ = nullptr;
    uint64_t generation_ = 0; // the programmer's component generation of socket_ and electrical_
    // The socket's one chip past its catalog adapter (nullptr unless one
    // chip), as of the socket's revision chipsOf_.
    ChipModel* chip_ = nullptr;
    uint64_t chipsOf_ = 0;
    // Bit n: chip_ occupies socket pin n, as of its pin list pinsOf_.
    uint64_t occupied_ = 0;
    const int* pinsOf_ = nullptr;
    size_t pinCount_ = 0;
    // Every pin's condition, the table the chips read while fresh;
    // faultsSeen_ the electrical faults it was taken under, revision_ its
    // supply revision.
    PinCondition cond_[kSocketPins + 1] = {};
    bool stale_ = true;
    ProgrammerFaults faultsSeen_{};
    uint64_t revision_ = 0;
    // The electrical model and its revision the table's supply part was last
    // taken from (nullptr: none yet): a refresh takes only the pins it moved.
    const Electrical* refreshedFrom_ = nullptr;
    uint64_t refreshedRevision_ = 0;
    uint8_t float_[6] = {};
    uint8_t level_[6] = {};
    uint8_t pendingFloat_[6] = {};
    uint8_t pendingLevel_[6] = {};
    uint32_t strobes_ = 0;
    Pull pull_ = Pull::None;
    int floatingLevel_ = 1;
    uint8_t mcuMode_ = 0;
    uint64_t contention_ = 0; // pins where a chip drives against the logic driver
    // The socket pins of the set listedPins_ in ascending order, the list
    // the contention check asks the chips about.
    uint64_t listedPins_ = 0;
    int listed_[kSocketPins] = {};
    size_t listedCount_ = 0;
    // What the chips were last brought up to date under (ChipsCurrent):
    // told_ is cleared at the start of every hook.
    bool told_ = false;
    uint64_t toldUs_ = 0;
    uint64_t toldSocket_ = 0;
};

// Registers the universal and the test personality with the simulated programmer.
void RegisterUniversalPersonalities();

// The pin-driver personality currently loaded, or nullptr.
PinDriverPersonality* FindPinDriver(const SimProgrammer& p);

} // namespace sim
