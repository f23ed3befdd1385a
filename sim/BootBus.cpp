// The bootstrap logic image: per layout, what every register and value
// means (see BootBus.h).
#include "sim/BootBus.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <typeinfo>

#include "sim/Hc05BootChip.h"
#include "sim/Hc11BootChip.h"
#include "sim/LoaderMcuChip.h"
#include "sim/PartFacts.h"
#include "sim/SimProgrammer.h"
#include "sim/Universal.h"

namespace sim {

// Hold: reset held; HoldMode: held with the mode pins at their bootstrap
// levels; Run: released, the part drives its data port; RunWrite: released,
// the programmer drives it; Idle: everything off (a loader part's reset is
// held).
enum class BootControl : uint8_t { None, Hold, HoldMode, Run, RunWrite, Idle };

struct BootLayout {
    const char* name;
    uint8_t controlReg;
    struct Value {
        uint8_t value;
        BootControl meaning;
    };
    Value control[16];
    // Registers that take only a few values (selects, enables).
    struct Select {
        int reg;
        uint8_t values[4];
        int count;
    };
    Select selects[3];
    int downloadReg;    // a write while the loader listens is a download byte (-1: none)
    int clockReg;       // going 1 from 0 while the loader listens clocks in
    int clockSource;    // the byte held in this register (-1: none)
    uint16_t latches;   // bit r: register r drives the part's input port
    uint8_t strobeReg;  // a fall starts a transfer
    uint8_t readyReg;
    bool readyHigh;     // bit 0 is 1 when the part is ready
    uint8_t dataInReg;
    // Registers 4-11 are the universal pin driver's latches of socket pins
    // 17-48; registers 0-3 become its latches of pins 1-16 at the first
    // write to 4-11 after reset was released, until the part's supply goes
    // off: the part is brought up through the download, then driven pin by
    // pin.
    bool pinDriver = false;
    // The register that must hold setupValue whenever reset is released (-1: none).
    int setupReg = -1;
    uint8_t setupValue = 0;
    // Separate address and data latches (-1: the last latch written is both).
    int addressReg = -1, dataReg = -1;
    // The control values tell the data port's direction apart (Run: the
    // part drives it, RunWrite: the programmer does); otherwise a release
    // serves transfers either way.
    bool directed = false;
    // In a directed layout: the latch on the data lines, which reach the
    // part's input port only while the programmer drives them (the other
    // latches reach it always), and the level those lines rest at while no
    // one drives them. The data-in register sees the part's output port
    // only while the part drives the data port; otherwise it reads the data
    // lines, that is the logic's own latch.
    int dataPortReg = -1;
    uint8_t pullLevel = 0xFF;
    // The latches by their role in an addressed transfer (-1, 0: none): the
    // address high byte, the address low byte and the data byte (bit r:
    // register r). A strobe takes the byte of the latch written since the
    // previous strobe (none: a read); an address low must follow its high, a
    // data byte its address low once the part was sent an address, and a
    // high may not follow a high: a byte in the wrong latch is a violation.
    int addressHighReg = -1, addressLowReg = -1;
    uint16_t dataLatches = 0;
};

namespace {

using C = BootControl;
constexpr uint16_t Bits(std::initializer_list<int> l) {
    uint16_t m = 0;
    for (int r : l) m = static_cast<uint16_t>(m | 1u << r);
    return m;
}

// Layout 0: control on register 2 (DFh released with the part driving its
// data port, the read of a cell; CFh released with the programmer driving
// it, a byte to burn), the download byte held in 1 and clocked by 4; latch
// 1 carries the address, latch 5 the data lines, pulled low while released
// (a blank byte of the parts it serves). Layout 1: control on register 0,
// a download byte written to 1 or held in 2 and clocked by 5; the port
// latches 2, 5, 6 and 7, direction select 4. Layout 2: control on 0, strobe on 2, the address on 3 and
// nibbles on 4. These report ready as register 1 bit 0 = 1; a layout of
// another ready sense states its own ready fields. Layout 1's latches have
// their roles: 6 the address high byte, 2 the address low byte, 5 and 7
// the data byte.
constexpr BootLayout kBootLayouts[] = {
    {"0", 2, {{0xFE, C::Hold}, {0xDE, C::HoldMode}, {0xDF, C::Run}, {0xCF, C::RunWrite}, {0, C::Idle}},
     {{0, {0x10}, 1}}, -1, 4, 1, Bits({1, 5}), 3, 1, true, 0, false, -1, 0, -1, -1, true, 5, 0x00},
    {"1", 0,
     {{0xFC, C::HoldMode}, {0xFD, C::Run}, {0xED, C::Run}, {0x7A, C::HoldMode}, {0x7B, C::Run}, {0x7F, C::Run},
      {0xFE, C::HoldMode}, {0xDE, C::HoldMode}, {0xDF, C::Run}, {0xFF, C::Run}, {0xFA, C::HoldMode}, {0xFB, C::Run},
      {0xE0, C::Idle}, {5, C::Idle}, {0, C::Idle}},
     {{4, {0, 1, 2, 3}, 4}}, 1, 5, 2, Bits({2, 5, 6, 7}), 3, 1, true, 0, false, -1, 0, -1, -1, false, -1, 0xFF, 6, 2,
     Bits({5, 7})},
    {"2", 0, {{0xE6, C::HoldMode}, {0xE7, C::Run}, {0xE3, C::Run}, {0xF3, C::Run}, {0xE0, C::Idle}, {0, C::Idle}},
     {}, 1, -1, -1, Bits({3, 4}), 2, 1, true, 0},
    // Layout 3 (68HC711 parts): control on 0 (E8h reset with the mode pins
    // at their bootstrap levels, E9h released, E0h and 0 everything off),
    // download byte written to 1, data latch 2, strobe 3, data in on 0;
    // ready as register 2 bit 0 = 0.
    {"3", 0, {{0xE8, C::HoldMode}, {0xE9, C::Run}, {0xE0, C::Idle}, {0, C::Idle}},
     {}, 1, -1, -1, Bits({2}), 3, 2, false, 0},
    // Layout 4: layout 3, then the pin driver (68HC711 parts written in
    // their parallel EPROM mode).
    {"4", 0, {{0xE8, C::HoldMode}, {0xE9, C::Run}, {0xE0, C::Idle}, {0, C::Idle}},
     {}, 1, -1, -1, Bits({2}), 3, 2, false, 0, true},
    // Layout 5 (loader parts): control on 1 (D6h reset held, F7h released
    // with the part driving the data port, E7h released with the programmer
    // driving it, 0 everything off), port set-up 0Dh on 2 before any
    // release, download byte written to 5, strobe 3, address latch 0, data
    // latch 4, data in on 0; ready as register 1 bit 0 = 0 (1 is busy).
    {"5", 1, {{0xD6, C::Hold}, {0xF7, C::Run}, {0xE7, C::RunWrite}, {0, C::Idle}},
     {{2, {0x0D}, 1}}, 5, -1, -1, Bits({0, 4}), 3, 1, false, 0, false, 2, 0x0D, 0, 4},
};
constexpr size_t kBootLayoutCount = sizeof kBootLayouts / sizeof kBootLayouts[0];

BootControl Meaning(const BootLayout& l, uint8_t v) {
    for (const auto& c : l.control)
        if (c.meaning != C::None && c.value == v) return c.meaning;
    return C::None;
}

bool Held(BootControl c) { return c == C::Hold || c == C::HoldMode; }
bool Released(BootControl c) { return c == C::Run || c == C::RunWrite; }

// Whether the layout gives `value` written to `reg` a meaning.
bool Accepts(const BootLayout& l, uint8_t reg, uint8_t value) {
    if (reg == l.controlReg) return Meaning(l, value) != C::None;
    const bool latch = (l.latches >> reg & 1) != 0;
    bool known = latch || static_cast<int>(reg) == l.downloadReg;
    for (const auto& s : l.selects) {
        if (s.count == 0 || s.reg != reg) continue;
        bool listed = false;
        for (int i = 0; i < s.count; ++i) listed = listed || s.values[i] == value;
        if (!listed && value != 0) return false;
        known = true;
    }
    if (static_cast<int>(reg) == l.clockReg) {
        if (value > 1 && !latch) return false;
        known = true;
    }
    if (reg == l.strobeReg) {
        if (value > 1) return false;
        known = true;
    }
    // Clearing a register the layout gives no role is the outputs' reset.
    return known || value == 0;
}

} // namespace

BootBusPersonality::BootBusPersonality(const LogicImageHeader& h)
    : layout_(h.params[0] < kBootLayoutCount ? &kBootLayouts[h.params[0]] : nullptr) {
    if (layout_ != nullptr && layout_->pinDriver) pins_ = std::make_unique<PinDriverPersonality>(kPersonalityUniversal);
}

BootBusPersonality::~BootBusPersonality() = default;

bool BootBusPersonality::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    const bool bus = SocketBusPersonality::OnLatchBit(p, reg, bit, state);
    const bool pins = pins_ != nullptr && pins_->OnLatchBit(p, reg, bit, state);
    return bus || pins;
}

void BootBusPersonality::OnUnconfigure(SimProgrammer& p) {
    SocketBusPersonality::OnUnconfigure(p);
    if (pins_ != nullptr) pins_->OnUnconfigure(p);
}

uint16_t BootBusPersonality::Id() const { return kPersonalityBootstrap; }

template <class Chip> Chip* BootBusPersonality::Seated() const {
    const SocketList& sockets = Sockets();
    if (sockets.count == 0) return nullptr;
    const auto& chips = sockets.socket[0]->Chips();
    if (chips.size() != 1) return nullptr;
    return SeatedModel<Chip>(chips.front().get());
}

const BootBusPersonality::SeatedParts& BootBusPersonality::Parts() const {
    const SocketList& sockets = Sockets();
    const ChipModel* chip = nullptr;
    size_t count = 0;
    if (sockets.count > 0) {
        const auto& chips = sockets.socket[0]->Chips();
        count = chips.size();
        if (count > 0) chip = chips.front().get();
    }
    const void* key[4] = {prog_, sockets.count > 0 ? sockets.socket[0] : nullptr, chip,
                          chip != nullptr ? &typeid(*chip) : nullptr};
    const uint64_t generation = prog_ != nullptr ? prog_->ComponentGeneration() : 0;
    if (count == 1 && generation == partsGeneration_ && std::equal(key, key + 4, partsKey_)) return parts_;
    parts_ = {};
    parts_.hc05 = Seated<Hc05BootChip>();
    if (parts_.hc05 == nullptr) parts_.hc11 = Seated<Hc11BootChip>();
    if (parts_.hc05 == nullptr && parts_.hc11 == nullptr) parts_.loader = Seated<LoaderMcuChip>();
    std::copy(key, key + 4, partsKey_);
    partsGeneration_ = count == 1 ? generation : ~uint64_t{0};
    return parts_;
}

bool BootBusPersonality::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    if (pins_ != nullptr) {
        // The part's supply gone ends the pin driver's hold on registers 0-3:
        // the next entry brings the part up through the download again.
        if (pinPhase_ || released_) {
            prog_ = &p;
            Sync();
            Hc11BootChip* chip = Parts().hc11;
            View view(*this, 0);
            if (chip == nullptr || !chip->Supplied(view)) pinPhase_ = released_ = false;
        }
        if (reg >= 4 && reg <= 11) {
            pinPhase_ = pinPhase_ || released_;
            return pins_->OnWrite(p, reg, value);
        }
        if (pinPhase_ && reg <= 3) return pins_->OnWrite(p, reg, value);
        // The supply registers move the pin driver's table too.
        if (reg > 11) {
            const bool pins = pins_->OnWrite(p, reg, value);
            return BeginWrite(p, reg) || pins;
        }
    }
    if (!BeginWrite(p, reg)) return false;
    // An image of a layout this logic does not have answers nothing.
    if (layout_ == nullptr) return Unexpected(p, "bootstrap bus", reg, value);
    const BootLayout& l = *layout_;
    const uint8_t before = reg_[reg];
    reg_[reg] = value;
    if (!Accepts(l, reg, value)) return Unexpected(p, "bootstrap bus", reg, value);
    const SeatedParts& parts = Parts();
    Hc05BootChip* hc05 = parts.hc05;
    Hc11BootChip* chip11 = parts.hc11;
    LoaderMcuChip* loader = parts.loader;
    const BootControl control = Meaning(l, reg_[l.controlReg]);
    if (reg == l.controlReg && Released(control) && Held(Meaning(l, before))) {
        lastRole_ = Role::None;
        addressed_ = false;
        strobedLatch_ = -1;
    }
    if (reg == l.controlReg && Released(control)) {
        released_ = true;
        if (l.setupReg >= 0 && reg_[l.setupReg] != l.setupValue)
            p.Violation("bootstrap bus: reset released with the port not set up");
    }
    if ((l.latches >> reg & 1) != 0) {
        port_ = value;
        lastLatch_ = reg;
        strobedLatch_ = reg;
    }
    if (reg == l.strobeReg && value == 0 && before == 1 && Released(control)) CheckRole(p);
    if (static_cast<int>(reg) == l.clockReg && value == 1 && before == 0 && (l.latches >> reg & 1) == 0) {
        const bool listening = (hc05 != nullptr && hc05->Downloading()) || (chip11 != nullptr && chip11->Downloading()) ||
                               (loader != nullptr && loader->Listening());
        if (!listening) p.Violation("bootstrap bus: download clock while the part's loader does not listen");
    }
    if (reg == l.strobeReg && value == 0 && before == 1 && (hc05 != nullptr || chip11 != nullptr || loader != nullptr) &&
        Held(control))
        p.Violation("bootstrap bus: strobe while the part is held in reset");
    if (hc05 != nullptr) Drive(*hc05, reg, before, value);
    if (chip11 != nullptr) Drive(*chip11, reg, before, value);
    if (loader != nullptr) Drive(*loader, p, reg, before, value);
    return true;
}

void BootBusPersonality::CheckRole(SimProgrammer& p) {
    const BootLayout& l = *layout_;
    const int latch = strobedLatch_;
    strobedLatch_ = -1;
    if (l.addressHighReg < 0) return;
    const Role role = latch < 0                   ? Role::None
                      : latch == l.addressHighReg ? Role::High
                      : latch == l.addressLowReg  ? Role::Low
                      : (l.dataLatches >> latch & 1) != 0 ? Role::Data
                                                          : Role::None;
    static constexpr const char* kNames[] = {"a read", "the address high byte", "the address low byte", "a data byte"};
    const char* due = nullptr;
    if (role == Role::High && lastRole_ == Role::High) due = "the address low byte";
    if (role == Role::Low && lastRole_ != Role::High) due = "the address high byte";
    if (role == Role::Data && addressed_ && lastRole_ != Role::Low) due = "an address";
    if (role == Role::None && lastRole_ == Role::High) due = "the address low byte";
    if (due != nullptr)
        p.Violation(std::string("bootstrap bus: ") + kNames[static_cast<int>(role)] +
                    (latch >= 0 ? " latch (register " + std::to_string(latch) + ")" : std::string()) +
                    " strobed after " + kNames[static_cast<int>(lastRole_)] + " where " + due + " is due");
    if (role == Role::High || role == Role::Low) addressed_ = true;
    lastRole_ = role;
}

// The 68HC05 part sees the strobe's both edges; its data-in byte is read
// when the logic's register is (OnRead).
void BootBusPersonality::Drive(Hc05BootChip& chip, uint8_t reg, uint8_t before, uint8_t value) {
    const BootLayout& l = *layout_;
    View view(*this, 0);
    const BootControl now = Meaning(l, reg_[l.controlReg]);
    const uint8_t driven = PortDriven();
    if (reg == l.controlReg) {
        if (Held(now)) chip.HoldReset(view, now == C::HoldMode);
        if (Released(now) && Held(Meaning(l, before))) chip.ReleaseReset(view);
        if (l.directed) chip.LogicDrivesPort(view, driven);
        return;
    }
    if (l.directed && (l.latches >> reg & 1) != 0) chip.LogicDrivesPort(view, driven);
    if (static_cast<int>(reg) == l.downloadReg && chip.Downloading()) chip.DownloadByte(view, value);
    if (static_cast<int>(reg) == l.clockReg && value == 1 && before == 0 && chip.Downloading())
        chip.DownloadByte(view, reg_[l.clockSource]);
    // The lines the logic does not drive reach the part at their pull level.
    if (reg == l.strobeReg && before == 1 && value == 0 && Released(now))
        chip.Strobe(view, static_cast<uint8_t>((port_ & driven) | (l.pullLevel & ~driven)), driven);
    if (reg == l.strobeReg && before == 0 && value == 1) chip.StrobeReleased(view);
}

uint8_t BootBusPersonality::PortDriven() const {
    const BootLayout& l = *layout_;
    if (!l.directed || lastLatch_ != l.dataPortReg) return 0xFF;
    return Meaning(l, reg_[l.controlReg]) == C::RunWrite ? 0xFF : 0x00;
}

// A 68HC711 part sees the levels: the latch on its port C, the strobe on
// PA0, the download on RxD.
void BootBusPersonality::Drive(Hc11BootChip& chip, uint8_t reg, uint8_t before, uint8_t value) {
    const BootLayout& l = *layout_;
    UpdateChips();
    View view(*this, 0);
    const BootControl now = Meaning(l, reg_[l.controlReg]);
    if (reg == l.controlReg) {
        if (Held(now)) chip.HoldReset(view, now == C::HoldMode);
        if (Released(now) && Held(Meaning(l, before))) chip.ReleaseReset(view);
        return;
    }
    if (static_cast<int>(reg) == l.downloadReg && Released(now)) chip.DownloadByte(view, value);
    if ((l.latches >> reg & 1) != 0) chip.SetPortC(view, value);
    if (reg == l.strobeReg) chip.SetStrobe(view, value != 0);
}

void BootBusPersonality::Drive(LoaderMcuChip& chip, SimProgrammer& p, uint8_t reg, uint8_t before, uint8_t value) {
    const BootLayout& l = *layout_;
    UpdateChips();
    View view(*this, 0);
    const BootControl now = Meaning(l, reg_[l.controlReg]);
    if (reg == l.controlReg) {
        // Anything but a release holds the part's reset.
        chip.Reset(view, !Released(now));
        return;
    }
    if (static_cast<int>(reg) == l.downloadReg && Released(now)) chip.Download(view, value);
    if (static_cast<int>(reg) == l.clockReg && value == 1 && before == 0 && Released(now))
        chip.Download(view, reg_[l.clockSource]);
    if (reg != l.strobeReg) return;
    if (before == 1 && value == 0) {
        strobeFrom_ = p.NowUs();
        strobeLow_ = true;
        const uint8_t address = l.addressReg >= 0 ? reg_[l.addressReg] : port_;
        const uint8_t data = l.dataReg >= 0 ? reg_[l.dataReg] : port_;
        chip.Strobe(view, address, data, now == C::RunWrite);
    }
    if (before == 0 && value == 1 && strobeLow_) {
        chip.StrobeReleased(view, p.NowUs() - strobeFrom_);
        strobeLow_ = false;
    }
}

std::optional<uint8_t> BootBusPersonality::OnRead(SimProgrammer& p, uint8_t reg) {
    if (pins_ != nullptr && (pinPhase_ || (reg >= 4 && reg <= 11))) return pins_->OnRead(p, reg);
    prog_ = &p;
    Sync();
    if (layout_ == nullptr) return std::nullopt;
    const BootLayout& l = *layout_;
    const SeatedParts& parts = Parts();
    Hc05BootChip* hc05 = parts.hc05;
    LoaderMcuChip* loader = parts.loader;
    View view(*this, 0);
    if (Hc11BootChip* chip11 = parts.hc11) {
        if (reg == l.readyReg) return static_cast<uint8_t>(chip11->Ready(view) == l.readyHigh ? 1 : 0);
        if (reg == l.dataInReg) return chip11->PortB(view);
        return std::nullopt;
    }
    if (reg == l.readyReg) {
        const bool ready = hc05 != nullptr ? hc05->Ready(view) : loader != nullptr && !loader->Busy(view);
        return static_cast<uint8_t>(ready == l.readyHigh ? 1 : 0);
    }
    if (reg == l.dataInReg) {
        if (hc05 != nullptr) {
            // With the programmer driving the data lines the register reads
            // them back, not the part.
            if (l.directed && Meaning(l, reg_[l.controlReg]) == C::RunWrite) {
                p.Violation("bootstrap bus: data in read while the logic drives the data port");
                return reg_[l.dataPortReg];
            }
            return hc05->DataOut(view);
        }
        // A loader part's port is read while it drives it.
        if (loader != nullptr)
            return Meaning(l, reg_[l.controlReg]) == C::Run ? loader->Port(view) : static_cast<uint8_t>(0xFF);
        return static_cast<uint8_t>(0xFF);
    }
    return std::nullopt;
}

void RegisterBootBusPersonality() { SocketBusPersonality::Register<BootBusPersonality>(kPersonalityBootstrap); }

} // namespace sim
