// The simulated programmer: the port-level decoder of the register protocol
// and the logic-image download, the register core every image shares (timer,
// latch bank, control register), and the components and personality that give
// the other registers their meaning.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PortIo.h"
#include "sim/LogicImage.h"

namespace sim {

class SimProgrammer;

// A part of the simulated programmer that sees register traffic.
class SimComponent {
public:
    virtual ~SimComponent() = default;
    // A register write (after the core recorded it). Return true when this
    // component understands the register and value; a write nobody claims is a
    // violation.
    virtual bool OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
        (void)p, (void)reg, (void)value;
        return false;
    }
    // A bit latch written through the latch bank (registers 16-31 while
    // register 15 bit 7 is set): bit 0-7 of latch `reg` set to `state`.
    virtual bool OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
        (void)p, (void)reg, (void)bit, (void)state;
        return false;
    }
    // A register read; a value when this component answers the register.
    virtual std::optional<uint8_t> OnRead(SimProgrammer& p, uint8_t reg) {
        (void)p, (void)reg;
        return std::nullopt;
    }
    // The control-port pulse unconfigured the logic.
    virtual void OnUnconfigure(SimProgrammer& p) { (void)p; }
    // The registers (bit r: register r) whose writes, and whose reads, OnWrite
    // and OnRead must see while p holds its present personality: the
    // programmer passes no others, which spares the calls on every access.
    // The answers may change only when the components or the personality do.
    // Every register unless a component says otherwise.
    virtual uint32_t HeardWrites(const SimProgrammer& p) const {
        (void)p;
        return ~uint32_t{0};
    }
    virtual uint32_t HeardReads(const SimProgrammer& p) const {
        (void)p;
        return ~uint32_t{0};
    }
};

// The meaning a downloaded image gives the programmer's registers.
class SimPersonality : public SimComponent {
public:
    virtual uint16_t Id() const = 0;
};

using PersonalityFactory = std::function<std::unique_ptr<SimPersonality>(const LogicImageHeader&)>;
// Registers the factory for a personality id; later registrations replace earlier ones.
void RegisterPersonality(uint16_t id, PersonalityFactory factory);

struct RegisterAccess {
    bool write;
    uint8_t reg;
    uint8_t value;
    uint64_t timeUs;
};

struct PortAccess {
    bool out;
    uint16_t port;
    uint8_t value;
};

class SimProgrammer : public PortIo {
public:
    explicit SimProgrammer(uint16_t base = 0x378);
    ~SimProgrammer() override;

    // PortIo
    void Out(uint16_t port, uint8_t value) override;
    uint8_t In(uint16_t port) override;
    const char* Name() const override { return "sim"; }

    uint16_t Base() const { return base_; }
    void SetBase(uint16_t base) { base_ = base; }

    // Virtual time: every port access costs 1 us; timer waits jump the clock.
    uint64_t NowUs() const { return nowUs_; }
    void AdvanceUs(uint64_t us) { nowUs_ += us; }
    // Port accesses (Out and In) taken since the programmer was made.
    uint64_t PortAccesses() const { return portAccesses_; }

    // Logic configuration.
    bool Configured() const { return configured_; }
    // Puts the programmer in the configured state with the given header, as if
    // an image had been downloaded before the program started.
    void ConfigureDirect(const LogicImageHeader& header);
    // The bits clocked in since the last control pulse, packed LSB first.
    const std::vector<uint8_t>& CapturedImage() const { return captured_; }
    uint32_t CapturedBitCount() const { return capturedBits_; }
    uint32_t DownloadCount() const { return downloads_; }
    SimPersonality* Personality() const { return personality_.get(); }
    // Changes whenever the personality is replaced or dropped.
    uint64_t PersonalityGeneration() const { return personalityGeneration_; }
    // The personality as a T (nullptr when it is none): dynamic_cast, cached
    // until the personality changes, so per-access checks cost no cast.
    template <class T> T* PersonalityAs() const {
        const size_t slot = TypeSlot<T>();
        if (slot < personalityAs_.size() && personalityAs_[slot].generation == personalityGeneration_)
            return static_cast<T*>(personalityAs_[slot].as);
        T* t = dynamic_cast<T*>(personality_.get());
        if (slot >= personalityAs_.size()) personalityAs_.resize(slot + 1);
        personalityAs_[slot] = {personalityGeneration_, t};
        return t;
    }

    // Register core.
    uint8_t Register(uint8_t reg) const { return regs_[reg & 31]; }
    uint8_t LatchBank(uint8_t reg) const { return latch_[reg & 31]; }
    bool LatchBankSelected() const { return (regs_[15] & 0x80) != 0; }
    // Timer: tick length in microseconds from registers 19 and 16 and the
    // timer clock that register 15 bits 0-1 select: 16, 8 or 4 MHz for 0, 1,
    // 2 (3 selects none: a violation, and the timer stands).
    double TimerTickUs() const;
    bool TimerRunning() const { return nowUs_ < timerEndUs_; }
    uint64_t TimerEndUs() const { return timerEndUs_; }

    // Components (not owned unless added with AddComponent).
    void AttachComponent(SimComponent* c);
    void DetachComponent(SimComponent* c);
    void AddComponent(std::unique_ptr<SimComponent> c);
    // Changes whenever a component is attached or detached.
    uint64_t ComponentGeneration() const { return generation_; }
    // The first attached component of type T. The answer is cached per type
    // until the components change, so the per-access lookups cost no cast.
    template <class T> T* FindComponent() const {
        const size_t slot = TypeSlot<T>();
        if (slot < found_.size() && found_[slot].generation == generation_) return static_cast<T*>(found_[slot].component);
        T* t = nullptr;
        for (auto* c : components_) {
            if ((t = dynamic_cast<T*>(c)) != nullptr) break;
        }
        if (slot >= found_.size()) found_.resize(slot + 1);
        found_[slot] = {generation_, t};
        return t;
    }

    // Traces (off until enabled).
    void EnableTrace(bool on) { trace_ = on; }
    const std::vector<RegisterAccess>& RegisterTrace() const { return regTrace_; }
    const std::vector<PortAccess>& PortTrace() const { return portTrace_; }
    void ClearTrace() {
        regTrace_.clear();
        portTrace_.clear();
    }

    // Violations: anything the hardware or a chip would not expect.
    void Violation(const std::string& what);
    const std::vector<std::string>& Violations() const { return violations_; }
    void ClearViolations() { violations_.clear(); }

    // Fault: the programmer stops answering (status reads this value for ever;
    // 0 keeps the timer-done bit low).
    void StopAnswering(bool stop, uint8_t status = 0x00) {
        stopped_ = stop;
        stoppedStatus_ = status;
    }

private:
    // A small number per component type, for the lookup cache.
    static size_t NextTypeSlot();
    template <class T> static size_t TypeSlot() {
        static const size_t slot = NextTypeSlot();
        return slot;
    }
    struct FoundComponent {
        uint64_t generation = 0;
        SimComponent* component = nullptr;
    };
    struct PersonalityCast {
        uint64_t generation = 0;
        void* as = nullptr;
    };

    // The components that hear each register's writes and reads, in
    // attachment order, as of the component and personality generations.
    void RefreshListeners();
    bool ListenersCurrent() const {
        return listenersGeneration_ == generation_ && listenersPersonality_ == personalityGeneration_;
    }
    void DataOut(uint8_t b);
    // Out and In of anything but the usual data write and status read.
    void OtherOut(uint16_t port, uint8_t value);
    uint8_t OtherIn(uint16_t port);
    // The data port while the logic is unconfigured: the image download.
    void DownloadOut(uint8_t prev, uint8_t b);
    // A write to register 16-31 while register 15 selects the latch bank.
    void LatchWrite(uint8_t reg, uint8_t value);
    void RegisterWrite(uint8_t reg, uint8_t value);
    uint8_t RegisterRead(uint8_t reg);
    uint8_t StatusIn();
    void Unconfigure();
    void FinishDownload();

    uint16_t base_;
    uint64_t nowUs_ = 0;
    uint64_t portAccesses_ = 0;
    bool stopped_ = false;
    uint8_t stoppedStatus_ = 0;

    // Port-level decoder.
    uint8_t lastData_ = 0;
    uint8_t control_ = 0;
    enum class Phase { Idle, Address, High, ReadHigh, ReadLow } phase_ = Phase::Idle;
    uint8_t curReg_ = 0;
    uint8_t highNibble_ = 0;
    uint8_t readValue_ = 0;

    // Download capture.
    bool configured_ = false;
    bool capturing_ = false;
    std::vector<uint8_t> captured_;
    uint32_t capturedBits_ = 0;
    uint32_t downloads_ = 0;

    // Register core.
    uint8_t regs_[32] = {};
    uint8_t latch_[32] = {};
    uint64_t timerEndUs_ = 0;

    std::unique_ptr<SimPersonality> personality_;
    uint64_t personalityGeneration_ = 1;
    mutable std::vector<PersonalityCast> personalityAs_;
    std::vector<SimComponent*> components_;
    std::vector<std::unique_ptr<SimComponent>> owned_;
    // Bumped whenever components_ changes; cache entries of older generations are stale.
    uint64_t generation_ = 1;
    mutable std::vector<FoundComponent> found_;
    std::vector<SimComponent*> writers_[32], readers_[32];
    uint64_t listenersGeneration_ = 0, listenersPersonality_ = 0;

    bool trace_ = false;
    std::vector<RegisterAccess> regTrace_;
    std::vector<PortAccess> portTrace_;
    std::vector<std::string> violations_;
};

} // namespace sim
