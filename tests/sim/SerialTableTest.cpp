// The serial engine's table of pin conditions takes from the electrical model
// only the pins it moved since the last look: at every update a chip sees
// each pin's supply and ground as the electrical model gives them, through
// switches, DAC moves and faults set between accesses.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sim/Electrical.h"
#include "sim/LogicImage.h"
#include "sim/SerialEngine.h"
#include "SimTestBus.h"

namespace {

// Occupies every socket pin and compares the table's supply part with the
// electrical model's pins at each update.
class SerialTableChecker : public sim::ChipModel {
public:
    explicit SerialTableChecker(const sim::Electrical& e) : e_(e) {
        for (int pin = 1; pin <= sim::kSocketPins; ++pin) pins_.push_back(pin);
    }
    std::string Name() const override { return "serial table checker"; }
    const std::vector<int>& SocketPins() const override { return pins_; }
    void Update(const sim::PinEnvironment& env) override {
        ++updates;
        for (int pin = 1; pin <= sim::kSocketPins; ++pin) {
            const sim::PinState s = e_.Pin(pin);
            const sim::PinCondition c = env.ConditionAt(pin);
            const int tenths = s.Supplied() ? s.Tenths() : -1;
            if (c.grounded != s.Grounded() || c.supplyTenths != tenths) {
                if (mismatches++ == 0) {
                    first = "pin " + std::to_string(pin) + " at update " + std::to_string(updates) + ": table " +
                            std::to_string(c.supplyTenths) + (c.grounded ? " grounded" : "") + ", electrical " +
                            std::to_string(tenths) + (s.Grounded() ? " grounded" : "");
                }
            }
        }
    }
    sim::ChipDrive Output(const sim::PinEnvironment&, int) const override { return sim::ChipDrive::None; }

    int updates = 0;
    int mismatches = 0;
    std::string first;

private:
    const sim::Electrical& e_;
    std::vector<int> pins_;
};

TEST(SerialTable, EveryUpdateSeesTheElectricalModelsSupplies) {
    sim::SimProgrammer p;
    sim::RegisterSerialPersonality();
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalitySerial;
    p.ConfigureDirect(h);
    sim::Electrical* e = sim::AddElectrical(p);
    auto owned = std::make_unique<sim::Socket>();
    sim::Socket* socket = owned.get();
    p.AddComponent(std::move(owned));
    SerialTableChecker* chip = socket->Insert(std::make_unique<SerialTableChecker>(*e));
    auto latch = [&](uint8_t reg, int bit, int state) {
        WriteReg(p, 15, 0x81);
        WriteReg(p, reg, static_cast<uint8_t>((state << 3) | bit));
        WriteReg(p, 15, 0x01);
    };
    std::mt19937 rng(3);
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        switch (rng() % 5) {
        case 0:
            latch(23, static_cast<int>(rng() % 8), static_cast<int>(rng() % 2)); // ground switches
            break;
        case 1:
            latch(static_cast<uint8_t>(20 + rng() % 2), static_cast<int>(rng() % 8), static_cast<int>(rng() % 2)); // supply B
            break;
        case 2:
            WriteReg(p, 18, static_cast<uint8_t>(rng() % 60)); // the DAC
            break;
        case 3:
            WriteReg(p, static_cast<uint8_t>(26 + rng() % 2), static_cast<uint8_t>(rng())); // supply A switches
            break;
        default:
            // Faults set straight on the electrical model between accesses.
            e->Faults().deadGround = static_cast<int>(rng() % 49);
            e->Faults().deadSupplyA = static_cast<int>(rng() % 49);
            break;
        }
        // A register the engine leaves alone: the chips are told, the table fresh.
        const int before = chip->updates;
        WriteReg(p, 16, static_cast<uint8_t>(rng()));
        ASSERT_GT(chip->updates, before);
        ASSERT_EQ(chip->mismatches, 0) << chip->first;
    }
}

} // namespace
