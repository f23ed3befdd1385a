// Device supply, ground and programming-voltage routing, end to end in the
// simulated programmer: which socket pins carry VCC, GND and Vpp for every
// package row and every exception row, at what voltage, and that power-down
// leaves the socket floating.
#include <algorithm>
#include <set>

#include "engine/LogModel.h"
#include "engine/Routing.h"
#include "engine/Tables.h"
#include "tests/engine/PowerFixture.h"

namespace {

constexpr int kStrong = 100; // expected ground: kStrong + pin = the strong ground of that pin

std::vector<int> Sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v;
}
std::string Label(uint32_t adapter, uint32_t algorithm, uint32_t variant, uint32_t sub, uint32_t package) {
    return "adapter " + std::to_string(adapter) + " algorithm " + std::to_string(algorithm) + " variant " +
           std::to_string(variant) + "/" + std::to_string(sub) + " package " + std::to_string(package);
}

class RoutingTest : public PowerFixture {
  protected:
    void Select(uint32_t adapter, uint32_t algorithm, uint32_t variant, uint32_t subVariant, uint32_t package) {
        AdapterCode = static_cast<uint8_t>(adapter);
        CurrentAlgorithm = algorithm;
        DeviceVariant = static_cast<uint8_t>(variant);
        DeviceSubVariant = static_cast<uint8_t>(subVariant);
        PackageIndex = package;
    }
    void ExpectAt(const std::vector<int>& pins, int tenths) const {
        for (int z : pins) EXPECT_TRUE(NearTenths(elec->Pin(z).millivolts, tenths)) << "pin " << z;
    }
    void PowerUp() {
        SetVccRange(0, 50);
        StartSources();
        SetDeviceGround(1);
        SetDevicePower(1, 50);
    }
    void PowerDown() {
        SetDeviceVpp(0, 125);
        SetDevicePower(0, 50);
        SetDeviceGround(0);
        EXPECT_TRUE(Supplied().empty());
    }
    void ExpectNoViolation() const { EXPECT_TRUE(simp.Violations().empty()) << Violations(); }
    // Grounded pins, strong grounds written as kStrong + pin.
    std::vector<int> GroundSwitches() const {
        std::vector<int> g;
        for (int p = 1; p <= 48; ++p) {
            if (elec->Pin(p).switches & sim::kSwitchGround) g.push_back(p);
            if (elec->Pin(p).switches & sim::kSwitchStrongGround) g.push_back(kStrong + p);
        }
        return Sorted(g);
    }
};

// Socket pin of device pin n of a package seated at the bottom; 0 outside.
int SocketPin(const PackageEntry& e, int n) {
    const int z = n + (48 - e.PinCount) / 2;
    return n >= 1 && z >= 1 && z <= 48 ? z : 0;
}

std::vector<int> SocketPinsOf(const PackageEntry& e, const char* list) {
    std::set<int> pins;
    for (int n : ParsePinList(list))
        if (SocketPin(e, n)) pins.insert(SocketPin(e, n));
    return {pins.begin(), pins.end()};
}

// Every package row without exceptions (adapter 0, algorithm 0): VCC on its
// supply pins at 5.0 V, ground on its ground pins, 12.5 V on its programming
// pin, against a chip on the package's pins that takes 7.0 V (14.0 V on the
// programming pin); everything floats again after power-down.
TEST_F(RoutingTest, EveryPackageRowRoutesItsOwnPins) {
    for (uint32_t row = 0; row < PackageRowCount; ++row) {
        SCOPED_TRACE("package row " + std::to_string(row));
        const PackageEntry& e = PackageTable[row];
        Select(0, 0, 0, 0, row);
        const std::vector<int> vcc = SocketPinsOf(e, e.VccPins), gnd = SocketPinsOf(e, e.GndPins);
        const int vpp = SocketPin(e, e.VppPin);
        sim::ChipPinLimits chip = sim::DipPinLimits("package", 0, 70);
        for (int n = 1; n <= e.PinCount; ++n)
            if (SocketPin(e, n)) chip.socketPins.push_back(SocketPin(e, n));
        if (vpp) chip.Allow(vpp, 140);
        const int id = elec->DeclareChip(chip);
        simp.ClearViolations();

        PowerUp();
        EXPECT_EQ(Grounded(), gnd);
        EXPECT_EQ(Supplied(), vcc);
        ExpectAt(vcc, 50);
        MainLog().Clear();
        ResetVppGroundNotice();
        SetDeviceVpp(1, 125);
        SetDeviceVpp(0, 125);
        SetDeviceVpp(1, 125);
        // Rows 47 and 62 list their programming pin among their grounds: it
        // stays grounded and never takes the programming voltage, and one
        // line names the pin.
        const bool vppGrounded = std::find(gnd.begin(), gnd.end(), vpp) != gnd.end();
        EXPECT_EQ(vppGrounded, row == 47 || row == 62);
        const std::vector<std::string> notice = {" Vpp not applied: socket pin " + std::to_string(vpp) +
                                                 " is grounded."};
        EXPECT_EQ(MainLog().Lines(), vppGrounded ? notice : std::vector<std::string>{});
        std::vector<int> powered = vcc;
        if (vpp && !vppGrounded) powered.push_back(vpp);
        EXPECT_EQ(Supplied(), Sorted(powered));
        EXPECT_EQ(Grounded(), gnd);
        if (vpp && !vppGrounded) ExpectAt({vpp}, 125);

        PowerDown();
        EXPECT_TRUE(Grounded().empty());
        ExpectNoViolation();
        elec->WithdrawChip(id);
        ResetProgrammerOutputs();
    }
}

// Whether the programming pin is among the routing's grounds follows the
// device state of each call: package row 62 grounds its programming pin
// (socket pin 25), while algorithm 155, adapter 4 and algorithm 120's
// variant 13/0 and sub-variant 1 ground other pins, and switching back
// grounds it again.
TEST_F(RoutingTest, GroundedVppFollowsEveryChangeOfTheDeviceState) {
    struct Step {
        uint32_t adapter, algorithm, variant, sub;
        bool grounded;
    };
    const Step steps[] = {{0, 0, 0, 0, true},    {0, 155, 0, 0, false}, {0, 0, 0, 0, true},  {4, 0, 0, 0, false},
                          {0, 0, 0, 0, true},    {0, 120, 13, 0, false}, {0, 120, 0, 0, true}, {0, 120, 0, 1, false},
                          {0, 120, 0, 0, true}};
    for (const Step& st : steps) {
        SCOPED_TRACE(Label(st.adapter, st.algorithm, st.variant, st.sub, 62));
        Select(st.adapter, st.algorithm, st.variant, st.sub, 62);
        MainLog().Clear();
        ResetVppGroundNotice();
        SetDeviceVpp(1, 125);
        const std::vector<int> supplied = Supplied();
        EXPECT_EQ(std::find(supplied.begin(), supplied.end(), 25) == supplied.end(), st.grounded);
        EXPECT_EQ(MainLog().Lines().size(), st.grounded ? 1u : 0u);
        SetDeviceVpp(0, 125);
        EXPECT_TRUE(Supplied().empty());
    }
}

// Two VCC pins switch through supply B with channels 3 and 4 ramped together.
TEST_F(RoutingTest, TwoVccPinsRampBothChannelsTogether) {
    SeatEverywhere(70);
    StartSources();
    Select(0, 0, 0, 0, 22); // DIP40, VCC 11 and 32 on socket pins 15 and 36
    Trace();
    SetDevicePower(1, 50);
    const std::vector<int> select = Values(13);
    ASSERT_EQ(select.size(), 102u); // 0.0 .. 5.0 V, both channels each step
    for (size_t i = 0; i < select.size(); ++i)
        ASSERT_EQ(select[i], 2 + static_cast<int>(i % 2)) << i;
    EXPECT_EQ(elec->Pin(15).source, sim::PinSource::SupplyB);
    EXPECT_EQ(elec->Pin(36).source, sim::PinSource::SupplyB);
    EXPECT_EQ(Supplied(), (std::vector<int>{15, 36}));
    ExpectAt({36}, 50);
}

// A switch-on ramps its supply one step at a time at the pace the electrical
// model holds (a step sooner than 10 us after the last is a violation) and
// returns only once the supply has settled (the strong path: its last step's
// wait and 20 us more after the last change): the strong path, one supply-B
// pin and a pair of VCC pins ramped together, each step of the pair (both
// channels set) followed by its 10 us wait, the strong ramp by its 20 us.
TEST_F(RoutingTest, SwitchOnRampsAtItsPaceAndReturnsSettled) {
    elec->HoldRampPace(true);
    SeatEverywhere(70);
    StartSources();
    struct Way {
        uint32_t adapter, package;
        std::vector<int> pins;
    };
    for (const Way& w : {Way{0, 12, {38}}, Way{'a', 0, {5}}, Way{0, 22, {15, 36}}}) {
        Select(w.adapter, 0, 0, 0, w.package);
        Trace();
        SetDevicePower(1, 50);
        // The waits on the programmer's timer (register 17 counts 10 us ticks,
        // the first one partial): after each step of the pair (both channels
        // set) one of 10 us or more before the next step, and after the
        // strong path's last step one of 20 us or more before the return.
        int channel = 0, waitTicks = 0;
        bool stepped = false;
        for (const auto& a : simp.RegisterTrace()) {
            if (!a.write) continue;
            if (a.reg == 13) channel = (a.value & 3) + 1;
            if (a.reg == 17) waitTicks = std::max(waitTicks, static_cast<int>(a.value));
            if (a.reg != 18) continue;
            if (w.pins.size() == 2 && channel == 3 && stepped) {
                EXPECT_GE(waitTicks, 2) << "pair step at " << a.timeUs << " us";
            }
            stepped = stepped || channel == 4;
            waitTicks = 0;
        }
        if (w.adapter == 0 && w.pins.size() == 1) {
            EXPECT_GE(waitTicks, 3) << "the strong path's settle";
        }
        for (int z : w.pins) {
            const sim::PinState s = elec->Pin(z);
            if (s.source == sim::PinSource::StrongSupply) {
                EXPECT_GE(simp.NowUs(), s.steadyFromUs - sim::kStrongSettleUs + sim::kStrongRampSettleUs) << "pin " << z;
            } else {
                EXPECT_GE(simp.NowUs(), s.steadyFromUs) << "pin " << z;
            }
        }
        ExpectAt(w.pins, 50);
        SetDevicePower(0, 50);
        EXPECT_TRUE(Supplied().empty());
        ExpectNoViolation();
    }
}

struct PowerCase {
    uint32_t adapter, algorithm, variant, subVariant, package;
    std::vector<int> pins; // socket pins carrying VCC; empty: none
};

// Package row 0 (DIP8, VCC pin 8 on socket pin 28) unless a case needs another.
std::vector<PowerCase> PowerCases() {
    std::vector<PowerCase> c = {
        {'P', 0, 0, 0, 0, {28}}, {'Q', 0, 0, 0, 0, {28}}, {'R', 150, 0, 0, 0, {48}},
        {'R', 151, 0, 0, 0, {48}}, {'R', 20, 0, 0, 0, {28}}, {',', 197, 0, 0, 0, {25}}, {',', 0, 0, 0, 0, {}},
        {'f', 0, 0, 0, 0, {44}}, {'g', 0, 0, 0, 0, {44}}, {'-', 0, 0, 0, 0, {44}}, {'.', 0, 0, 0, 0, {44}},
        {25, 0, 0, 0, 0, {44}}, {'l', 0, 0, 0, 0, {44}}, {'/', 0, 0, 0, 0, {44}},
        {'j', 56, 0, 0, 0, {24, 25}}, {'j', 0, 0, 0, 0, {44}}, {'V', 0, 0, 0, 0, {37}},
        {'a', 111, 0, 0, 0, {15}}, {'a', 0, 0, 0, 0, {5}}, {'z', 111, 0, 0, 0, {15}}, {'z', 0, 0, 0, 0, {5}},
        {'k', 46, 0, 0, 0, {31}}, {'k', 0, 0, 0, 0, {}}, {133, 0, 0, 0, 0, {37}}, {0, 211, 0, 0, 0, {28}},
        {24, 211, 0, 0, 0, {38}}, {0, 253, 2, 0, 0, {48}}, {0, 253, 0, 0, 0, {28}}, {0, 120, 13, 1, 0, {24}},
        {0, 120, 0, 1, 0, {25}}, {0, 120, 13, 0, 0, {28}}, {0, 132, 0, 1, 0, {46}}, {0, 132, 0, 0, 0, {28}},
        {0, 131, 0, 0, 0, {46}}, {0, 135, 1, 0, 0, {46}}, {0, 135, 0, 0, 0, {28}}, {0, 140, 0, 0, 0, {14}},
        {0, 43, 0, 0, 0, {28}}, {'Z', 43, 0, 0, 0, {37}}, {0, 56, 0, 0, 0, {40}}, {0, 74, 0, 0, 0, {25}},
        {'x', 46, 0, 0, 0, {13, 38}}, {0, 46, 0, 0, 0, {28}}, {0, 155, 0, 0, 17, {40}}, {0, 155, 0, 0, 0, {}},
        {0, 156, 17, 0, 0, {}}, {0, 0, 0, 0, 0, {28}}, {0, 0, 0, 0, 28, {5, 17, 25, 37}},
    };
    for (uint32_t a = 4; a <= 8; ++a) c.push_back({a, 0, 0, 0, 0, {36}});
    const std::pair<std::vector<uint32_t>, int> byAlgorithm[] = {
        {{212, 213, 214, 215, 216, 217, 218, 257, 260, 261, 264, 265, 266}, 38},
        {{20, 21, 23, 24, 25, 26, 27, 37, 42, 54, 91, 144, 170}, 44},
        {{250, 252}, 48},
        {{137, 139, 141}, 17}};
    for (const auto& [algs, pin] : byAlgorithm)
        for (uint32_t alg : algs) c.push_back({0, alg, 0, 0, 0, {pin}});
    const int alg156[17] = {44, 36, 44, 44, 38, 40, 44, 40, 44, 36, 36, 36, 38, 40, 40, 34, 12};
    for (uint32_t v = 0; v < 17; ++v) c.push_back({0, 156, v, 0, 0, {alg156[v]}});
    return c;
}

TEST_F(RoutingTest, SupplyPinOfEveryExceptionRow) {
    SeatEverywhere(70);
    StartSources();
    for (const PowerCase& c : PowerCases()) {
        SCOPED_TRACE(Label(c.adapter, c.algorithm, c.variant, c.subVariant, c.package));
        StartSources();
        Select(c.adapter, c.algorithm, c.variant, c.subVariant, c.package);
        SetVccRange(0, 50);
        SetDevicePower(1, 50);
        EXPECT_EQ(Supplied(), Sorted(c.pins));
        ExpectAt(c.pins, 50);
        SetDevicePower(0, 50);
        EXPECT_TRUE(Supplied().empty());
        ExpectNoViolation();
        ResetProgrammerOutputs();
    }
}

struct GroundCase {
    uint32_t adapter, algorithm, variant, subVariant;
    std::vector<int> pins; // kStrong + pin for strong grounds
    bool staysConnected = false;
};

// Package row 10 (DIP28, GND pin 21 on socket pin 31).
std::vector<GroundCase> GroundCases() {
    const int S15 = kStrong + 15, S24 = kStrong + 24, S34 = kStrong + 34;
    std::vector<GroundCase> c = {
        {'P', 0, 0, 0, {31}}, {'Q', 0, 0, 0, {31}}, {'R', 150, 0, 0, {31}}, {',', 197, 0, 0, {S24}},
        {',', 0, 0, 0, {}}, {'a', 111, 0, 0, {16}, true}, {'a', 0, 0, 0, {14}, true},
        {'z', 111, 0, 0, {16}, true}, {'z', 5, 0, 0, {14}, true}, {'j', 56, 0, 0, {17, 33}},
        {'j', 0, 0, 0, {S15, S34}}, {'k', 46, 0, 0, {8, 48}, true}, {'k', 0, 0, 0, {}},
        {133, 0, 0, 0, {27, 46}}, {0, 253, 2, 0, {S24}}, {0, 253, 0, 0, {31}}, {24, 211, 0, 0, {S24}},
        {0, 211, 0, 0, {31}}, {0, 144, 0, 0, {S15}}, {0, 120, 13, 1, {3, 4}}, {0, 120, 13, 0, {5}},
        {0, 120, 0, 1, {5}}, {0, 120, 0, 0, {31}}, {0, 140, 0, 0, {5, 37}}, {0, 146, 0, 0, {4, 5}},
        {0, 146, 1, 0, {14, 15, 40}}, {0, 146, 2, 0, {}}, {'Z', 43, 0, 0, {38}}, {0, 43, 0, 0, {31}},
        {'x', 46, 0, 0, {27}}, {0, 46, 0, 0, {31}}, {0, 155, 0, 0, {24}}, {0, 156, 15, 0, {}},
        {0, 0, 0, 0, {31}},
    };
    for (uint32_t a : {4u, 5u, 6u, 7u, 8u, 25u, uint32_t{'-'}, uint32_t{'.'}, uint32_t{'/'}, uint32_t{'f'},
                       uint32_t{'g'}, uint32_t{'l'}})
        c.push_back({a, 0, 0, 0, {S24}});
    const std::pair<std::vector<uint32_t>, std::vector<int>> byAlgorithm[] = {
        {{56, 131, 132, 135, 170, 212, 213, 214, 215, 216, 217, 218, 250, 252, 257, 260, 261, 264, 265, 266}, {S24}},
        {{20, 21, 23, 24, 25, 26, 27, 37, 54, 74, 91}, {S15, S34}},
        {{137, 139, 141}, {37}}};
    for (const auto& [algs, pins] : byAlgorithm)
        for (uint32_t alg : algs) c.push_back({0, alg, 0, 0, pins});
    const std::vector<int> alg156[15] = {{24}, {24, 25}, {24, 29}, {24, 35}, {34}, {33}, {24}, {25},
                                         {24}, {14},     {14},     {14},     {18}, {24}, {25}};
    for (uint32_t v = 0; v < 15; ++v) c.push_back({0, 156, v, 0, alg156[v]});
    return c;
}

TEST_F(RoutingTest, GroundOfEveryExceptionRow) {
    for (const GroundCase& c : GroundCases()) {
        SCOPED_TRACE(Label(c.adapter, c.algorithm, c.variant, c.subVariant, 10));
        StartSources();
        Select(c.adapter, c.algorithm, c.variant, c.subVariant, 10);
        SetDeviceGround(1);
        EXPECT_EQ(GroundSwitches(), Sorted(c.pins));
        SetDeviceGround(0);
        EXPECT_EQ(GroundSwitches(), c.staysConnected ? Sorted(c.pins) : std::vector<int>{});
        ResetProgrammerOutputs();
        EXPECT_TRUE(Grounded().empty());
    }
    ExpectNoViolation();
}

struct VppCase {
    uint32_t adapter, algorithm, variant, package;
    int pin; // 0: none
};

// Package row 2 (DIP8, programming pin 7 on socket pin 27) unless a case
// needs another.
std::vector<VppCase> VppCases() {
    std::vector<VppCase> c = {
        {0, 0, 0, 2, 27}, {0, 37, 0, 2, 5}, {'a', 111, 0, 2, 5}, {'z', 111, 0, 2, 5}, {0, 111, 0, 2, 27},
        {'a', 113, 0, 2, 36}, {'z', 113, 0, 2, 36}, {0, 113, 0, 2, 27}, {0, 155, 0, 18, 39},
        {0, 155, 0, 2, 27}, {0, 156, 17, 2, 27}, {0, 0, 0, 0, 0}, {0, 37, 0, 0, 0},
    };
    const int alg156[17] = {5, 39, 5, 5, 11, 9, 5, 9, 5, 16, 16, 5, 16, 11, 5, 17, 9};
    for (uint32_t v = 0; v < 17; ++v) c.push_back({0, 156, v, 2, alg156[v]});
    return c;
}

TEST_F(RoutingTest, ProgrammingPinOfEveryExceptionRow) {
    SeatEverywhere(140);
    StartSources();
    for (const VppCase& c : VppCases()) {
        SCOPED_TRACE(Label(c.adapter, c.algorithm, c.variant, 0, c.package));
        StartSources();
        Select(c.adapter, c.algorithm, c.variant, 0, c.package);
        SetDeviceVpp(1, 125);
        if (c.pin == 0) {
            EXPECT_TRUE(Supplied().empty());
            continue;
        }
        EXPECT_EQ(Supplied(), std::vector<int>{c.pin});
        EXPECT_EQ(elec->Pin(c.pin).source, sim::PinSource::SupplyA);
        ExpectAt({c.pin}, 125);
        SetDeviceVpp(0, 125);
        EXPECT_TRUE(Supplied().empty());
        // The channel is left at 5.0 V, not at 0.
        EXPECT_TRUE(NearTenths(elec->DacMillivolts(c.pin % 2 ? 1 : 2), 50));
        ResetProgrammerOutputs();
    }
    ExpectNoViolation();
}

// Row 110 switches its programming voltage through latch 29: bit 0 for a
// programming pin on socket pin 19 (18-pin package), bit 1 otherwise (the
// 28-pin package's pin 38).
TEST_F(RoutingTest, Algorithm110UsesItsOwnProgrammingSwitches) {
    SeatEverywhere(140);
    StartSources();
    for (auto [package, pin, bit] : {std::tuple{3u, 19, 0}, std::tuple{16u, 38, 1}}) {
        Select(0, 110, 0, 0, package);
        SetDeviceVpp(1, 130);
        EXPECT_EQ(elec->Latch(29), 1 << bit);
        EXPECT_EQ(Supplied(), std::vector<int>{pin});
        EXPECT_EQ(elec->Pin(pin).source, sim::PinSource::ProgrammingSwitch);
        ExpectAt({pin}, 130);
        SetDeviceVpp(0, 130);
        EXPECT_EQ(elec->Latch(29), 0);
        EXPECT_TRUE(NearTenths(elec->DacMillivolts(1), 50));
    }
    ExpectNoViolation();
}

// A 28-pin DIP with VCC 28 and GND 14: the strong path to socket pin 38 with
// the DAC below the voltage asked, and the strong ground of pin 24.
TEST_F(RoutingTest, StrongSupplyAndStrongGround) {
    SeatEverywhere(70);
    StartSources();
    Select(0, 0, 0, 0, 12);
    SetDeviceGround(1);
    EXPECT_EQ(GroundSwitches(), std::vector<int>{kStrong + 24});
    EXPECT_EQ(elec->Latch(29), 1 << 2);

    SetDevicePower(1, 50);
    EXPECT_EQ(elec->Latch(28), 1 << 3);
    EXPECT_EQ(elec->DacCode(4), Cal(4, 3) + 9); // 3.9 V
    EXPECT_EQ(elec->Pin(38).source, sim::PinSource::StrongSupply);
    ExpectAt({38}, 50);
    SetDevicePower(0, 50);

    SetDevicePower(1, 33);
    EXPECT_EQ(elec->DacCode(4), 24 + 8); // 2.4 V, uncalibrated range
    ExpectAt({38}, 33);
    SetDevicePower(0, 33);
    SetDevicePower(1, 34);
    EXPECT_EQ(elec->DacCode(4), 23 + 8);
    ExpectAt({38}, 34);

    // Any state but 1 switches off, and the strong path's release writes 0.
    Trace();
    SetDevicePower(3, 34);
    EXPECT_EQ(Values(28), std::vector<int>{0x03});
    EXPECT_EQ(elec->Latch(28), 0);
    EXPECT_TRUE(Supplied().empty());
    SetDeviceGround(0);
    EXPECT_TRUE(Grounded().empty());
    ExpectNoViolation();
}

// Adapter 'a' keeps its ground through power-down until the outputs reset;
// a Vpp switched off leaves its channel at 5.0 V on no pin.
TEST_F(RoutingTest, PowerDownKeepsOnlyWhatTheRoutingKeeps) {
    SeatEverywhere(140);
    StartSources();
    Select('a', 113, 0, 0, 2);
    PowerUp();
    SetDeviceVpp(1, 125);
    EXPECT_EQ(Supplied(), (std::vector<int>{5, 36}));
    PowerDown();
    EXPECT_EQ(Grounded(), std::vector<int>{14});
    EXPECT_TRUE(NearTenths(elec->DacMillivolts(2), 50));
    ResetProgrammerOutputs();
    EXPECT_TRUE(Grounded().empty());
    EXPECT_EQ(elec->DacCode(2), 0);
    ExpectNoViolation();
}

} // namespace
