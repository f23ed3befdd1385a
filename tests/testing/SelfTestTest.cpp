// The hardware self-test against a healthy simulated programmer and against
// each fault of its pin electronics, switches and relays.
#include <map>

#include "TesterFixture.h"
#include "engine/LogModel.h"
#include "testing/SelfTest.h"
#include "testing/TestRun.h"

namespace {

const char* const kItems[] = {"Logic", "V12", "V34", "GND", "Pull Up/Down", "Vcc Relay", "Gnd Relay"};

class SelfTest : public TesterFixture {
protected:
    void TearDown() override {
        HardwareKind = 0;
        TesterFixture::TearDown();
    }
    // The lines of one run (the log cleared first, so many runs never trim it).
    std::vector<std::string> Run() {
        MainLog().Clear();
        const size_t from = ui.Log.size();
        tones.clear();
        RunHardwareSelfTest();
        return std::vector<std::string>(ui.Log.begin() + static_cast<long>(from), ui.Log.end());
    }
    // The item lines expected with `failing` failed, and the verdict.
    static std::vector<std::string> Expected(std::initializer_list<const char*> failing) {
        std::vector<std::string> lines;
        for (const char* item : kItems) {
            bool failed = false;
            for (const char* f : failing) failed |= std::string(f) == item;
            lines.push_back(std::string(" ") + item + (failed ? ": FAIL!" : ": PASS!"));
        }
        lines.push_back(failing.size() ? "Hardware Test Fail!" : "Hardware Test Pass!");
        return lines;
    }
    bool LampLit() const { return (electrical->Latch(29) & 0x80) != 0; }
};

} // namespace

TEST_F(SelfTest, HealthyProgrammerPassesAndLightsTheLampButNotWithAPartInTheSocket) {
    EXPECT_EQ(Run(), Expected({}));
    EXPECT_TRUE(LampLit());
    EXPECT_EQ(tones, std::vector<int>{1193182 / 1000});
    EXPECT_EQ(ViolationsBesidesEmptyPins(), "");
    Seat("SN74LS00");
    const auto lines = Run();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], " Logic: FAIL!");
    EXPECT_EQ(lines.back(), "Hardware Test Fail!");
}

TEST_F(SelfTest, EachFaultFailsExactlyItsItems) {
    const struct {
        const char* what;
        void (*inject)(sim::ProgrammerFaults&);
        std::initializer_list<const char*> failing;
    } cases[] = {
        {"driver stuck low", [](sim::ProgrammerFaults& f) { f.stuckDriver = 7; }, {"Logic"}},
        {"driver stuck high", [](sim::ProgrammerFaults& f) { f.stuckDriver = 7, f.stuckLevel = 1; }, {"Logic"}},
        {"pins shorted", [](sim::ProgrammerFaults& f) { f.shortA = 1, f.shortB = 2; }, {"Logic", "V12", "V34", "GND"}},
        {"dead pull-down", [](sim::ProgrammerFaults& f) { f.deadPullDown = 9; },
         {"Logic", "V12", "V34", "Pull Up/Down", "Vcc Relay"}},
        {"supply A open", [](sim::ProgrammerFaults& f) { f.deadSupplyA = 30; }, {"V12"}},
        {"supply B open", [](sim::ProgrammerFaults& f) { f.deadSupplyB = 31; }, {"V34"}},
        {"ground switch open", [](sim::ProgrammerFaults& f) { f.deadGround = 12; }, {"GND"}},
        {"VCC relay open", [](sim::ProgrammerFaults& f) { f.vccRelayOpen = 36; }, {"Vcc Relay"}},
        {"GND relay closed", [](sim::ProgrammerFaults& f) { f.gndRelayClosed = 15; },
         {"Logic", "V12", "V34", "GND", "Pull Up/Down", "Gnd Relay"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        electrical->Faults() = {};
        c.inject(electrical->Faults());
        EXPECT_EQ(Run(), Expected(c.failing));
        EXPECT_FALSE(LampLit());
        EXPECT_EQ(tones, std::vector<int>{1193182 / 10000});
    }
}

TEST_F(SelfTest, RelayItemsSkipPinsWithoutARelay) {
    SelfTestResults results = {};
    ResetProgrammerOutputs();
    // A stuck-high driver on a pin without a relay leaves the relay items alone.
    electrical->Faults().stuckDriver = 3;
    electrical->Faults().stuckLevel = 1;
    auto tested = [&results] {
        std::map<int, int> out;
        for (int p = 1; p <= 48; ++p) {
            if (results[p] != 2) out[p] = results[p];
        }
        return out;
    };
    TestVccRelays(results);
    EXPECT_EQ(tested(), (std::map<int, int>{{25, 1}, {28, 1}, {34, 1}, {36, 1}, {38, 1}, {40, 1}, {44, 1}, {48, 1}}));
    TestGndRelays(results);
    EXPECT_EQ(tested(), (std::map<int, int>{{15, 1}, {24, 1}, {34, 1}}));
    EXPECT_EQ(ReportSelfTestItem(results, "Gnd Relay"), 1);
}

TEST_F(SelfTest, NoProgrammerAndGangHardware) {
    HardwareKind = 3;
    EXPECT_EQ(Run(), (std::vector<std::string>{" Logic: PASS!", " V12: PASS!", " V34: PASS!", "Hardware Test Pass!"}));
    HardwareKind = 0;
    simp.StopAnswering(true);
    EXPECT_EQ(Run(), std::vector<std::string>{"Can not be executed with Communication Error!"});
    EXPECT_EQ(tones, std::vector<int>{1193182 / 10000});
}

// Pin 48 is judged like every other pin: a fault of its own driver, supply
// switch or relay fails its item alone. The stuck driver is on a pin the
// item drives, where it has an effect.
TEST_F(SelfTest, AFaultOnPin48FailsItsItem) {
    const struct {
        const char* what;
        void (*inject)(sim::ProgrammerFaults&);
        std::initializer_list<const char*> failing;
    } cases[] = {
        {"driver stuck low", [](sim::ProgrammerFaults& f) { f.stuckDriver = 48, f.stuckLevel = 0; }, {"Logic"}},
        {"supply A open", [](sim::ProgrammerFaults& f) { f.deadSupplyA = 48; }, {"V12"}},
        {"supply B open", [](sim::ProgrammerFaults& f) { f.deadSupplyB = 48; }, {"V34"}},
        {"ground switch open", [](sim::ProgrammerFaults& f) { f.deadGround = 48; }, {"GND"}},
        {"VCC relay open", [](sim::ProgrammerFaults& f) { f.vccRelayOpen = 48; }, {"Vcc Relay"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        electrical->Faults() = {};
        c.inject(electrical->Faults());
        EXPECT_EQ(Run(), Expected(c.failing));
        EXPECT_FALSE(LampLit());
    }
    // Item by item: only pin 48 fails.
    electrical->Faults() = {};
    electrical->Faults().stuckDriver = 48;
    SelfTestResults results = {};
    ResetProgrammerOutputs();
    TestPinSwitches(results, 0);
    for (int p = 1; p <= 48; ++p) EXPECT_EQ(results[p], p == 48 ? -1 : 1) << p;
    electrical->Faults() = {};
}

// A pin driver stuck at either level fails the Logic item, and only it, on
// every pin: the item drives each pin high over the pull-down and low over
// the pull-up, so a driver that cannot take its pin to one level is seen.
TEST_F(SelfTest, ADriverStuckAtEitherLevelFailsLogicOnEveryPin) {
    for (const int level : {0, 1}) {
        for (int pin = 1; pin <= 48; ++pin) {
            SCOPED_TRACE("pin " + std::to_string(pin) + " stuck at " + std::to_string(level));
            electrical->Faults() = {};
            electrical->Faults().stuckDriver = pin;
            electrical->Faults().stuckLevel = level;
            EXPECT_EQ(Run(), Expected({"Logic"}));
            EXPECT_FALSE(LampLit());
            SelfTestResults results = {};
            ResetProgrammerOutputs();
            TestPinSwitches(results, 0);
            for (int p = 1; p <= 48; ++p) EXPECT_EQ(results[p], p == pin ? -1 : 1) << p;
        }
    }
    electrical->Faults() = {};
}

// A quit during the self-test arrives between two items: the test stops with
// no verdict, says so, and leaves the outputs reset and the lamp dark.
TEST_F(SelfTest, AQuitStopsTheTestBetweenItems) {
    TestIdleHook = [] { UserBreak = 1; };
    EXPECT_EQ(Run(), (std::vector<std::string>{" Logic: PASS!", "User Break!"}));
    TestIdleHook = nullptr;
    EXPECT_FALSE(LampLit());
    EXPECT_EQ(tones, std::vector<int>{1193182 / 10000});
    EXPECT_TRUE(electrical->SuppliedPins().empty() && electrical->GroundedPins().empty());
    EXPECT_FALSE(TestBusy.load());
    EXPECT_EQ(UserBreak.load(), 0);
}
