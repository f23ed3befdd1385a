// The logic IC test engine against the simulator's logic parts.
#include <algorithm>
#include <cstring>

#include "IcTestFixture.h"

namespace {


// The part each library entry is written for (more than one where a family
// shares the function and the pin-out).
struct EntryOnPart {
    const char* entry;
    const char* part;
};
const EntryOnPart kEntries[] = {
    {"7400", "SN7400"},       {"74LS00", "SN74LS00"},   {"74HC00", "SN74HC00"},
    {"7402", "SN7402"},       {"7402", "SN74LS02"},     {"7403", "SN7403"},       {"7403", "SN74LS03"},
    {"7404", "SN7404"},       {"7404", "SN74LS04"},     {"7474", "SN7474"},       {"7474", "SN74LS74"},
    {"7474", "SN74HC74"},     {"74125", "SN74125"},     {"74125", "SN74LS125"},   {"74138", "SN74LS138"},
    {"74138", "SN74HC138"},   {"74161", "SN74LS161"},   {"74244", "SN74LS244"},   {"74244", "SN74HC244"},
    {"4011", "CD4011B"},      {"4013", "CD4013B"},
};

// An entry's lines and pin count, with its part's facts and input pins.
struct EntryAndInputs {
    std::string lines;
    int pins = 0;
    const sim::LogicIcConfig* facts = nullptr;
    std::vector<int> inputs;
};

class IcTestEngine : public IcTestFixture {
protected:
    static EntryAndInputs Load(const EntryOnPart& c) {
        EntryAndInputs e;
        e.lines = Entry(c.entry, &e.pins);
        e.facts = sim::FindFacts<sim::LogicIcConfig>(c.part);
        if (e.facts != nullptr) e.inputs = sim::LogicIc(*e.facts).InputPins();
        return e;
    }
};

TEST_F(IcTestEngine, EveryLibraryEntryPassesOnItsPartWithoutViolations) {
    LogicLibrary lib;
    lib.text = AuthoredLogicLibrary();
    IndexLogicLibrary(lib);
    ASSERT_GE(lib.entries.size(), 13u);
    for (const auto& e : lib.entries) {
        EXPECT_TRUE(e.Usable()) << e.name;
        const std::string lines = CopyLogicLibraryEntry(lib, static_cast<size_t>(&e - lib.entries.data()));
        EXPECT_EQ(lines.size() % static_cast<size_t>(e.pins), 0u) << e.name;
        EXPECT_TRUE(std::any_of(std::begin(kEntries), std::end(kEntries),
                                [&](const EntryOnPart& p) { return e.name == p.entry; }))
            << e.name << " is tested on no part";
    }
    for (const EntryOnPart& c : kEntries) {
        SCOPED_TRACE(std::string(c.entry) + " on " + c.part);
        Reseat(c.part, 50);
        int pins = 0;
        const std::string lines = Entry(c.entry, &pins);
        EXPECT_EQ(Run(pins, lines), 1) << TestInLine << "\n" << TestOutLine;
        ResetProgrammerOutputs();
        EXPECT_EQ(Violations(), "");
    }
}

// A part with one input open (a bent or broken lead) fails its entry: each
// entry drives every input of its part both ways where an output shows it,
// so the level an open input reads (high on TTL, either on CMOS) differs
// from a driven one in some line. Every input of every part of the library
// shows at an output.
TEST_F(IcTestEngine, EveryEntryFailsItsPartWithAnyOneInputOpen) {
    for (const EntryOnPart& c : kEntries) {
        const EntryAndInputs e = Load(c);
        ASSERT_NE(e.facts, nullptr) << c.part;
        EXPECT_GE(e.inputs.size(), 2u) << c.part;
        for (int pin : e.inputs) {
            for (int level = 0; level <= (e.facts->ttlInputs ? 0 : 1); ++level) {
                SCOPED_TRACE(std::string(c.entry) + " on " + c.part + ", pin " + std::to_string(pin) + " open" +
                             (e.facts->ttlInputs ? "" : level ? " reading high" : " reading low"));
                Reseat("", 50);
                sim::LogicIc* ic = Seat(c.part);
                ASSERT_NE(ic, nullptr);
                ic->OpenPin(pin, level);
                EXPECT_EQ(Run(e.pins, e.lines), -1) << TestInLine << "\n" << TestOutLine;
                ResetProgrammerOutputs();
                EXPECT_EQ(Violations(), "");
            }
        }
    }
}

// A logic part driven straight, without the programmer: its supply on,
// every input at the level given.
class Bench : public sim::PinEnvironment {
public:
    sim::PinCondition pins[sim::kSocketPins + 1] = {};
    sim::PinCondition Condition(int s) const override {
        return s >= 1 && s <= sim::kSocketPins ? pins[s] : sim::PinCondition{};
    }
    uint64_t NowUs() const override { return 0; }
    void Violation(const std::string&) const override {}
};

// Whether the part's own logic tells inputs a and b crossed from the part
// whole: both driven with the same long pseudo-random run of input levels
// (every input, clocks, presets and clears alike), some output differs.
bool PartTellsCrossed(const sim::LogicIcConfig& facts, int a, int b) {
    sim::LogicIc whole(facts), crossed(facts);
    crossed.CrossPins(a, b);
    Bench bench;
    const auto socket = [&](int pin) { return whole.SocketPins()[static_cast<size_t>(pin) - 1]; };
    bench.pins[socket(facts.vccPin)].supplyTenths = 50;
    bench.pins[socket(facts.gndPin)].grounded = true;
    const std::vector<int> inputs = whole.InputPins();
    uint32_t seed = 12345;
    for (int step = 0; step < 4000; ++step) {
        for (int pin : inputs) {
            seed = seed * 1103515245u + 12345u;
            bench.pins[socket(pin)].driven = true;
            bench.pins[socket(pin)].drivenHigh = (seed >> 16) & 1;
        }
        whole.Update(bench);
        crossed.Update(bench);
        for (int pin = 1; pin <= facts.pinCount; ++pin) {
            if (std::find(inputs.begin(), inputs.end(), pin) != inputs.end()) continue;
            if (whole.Output(bench, socket(pin)) != crossed.Output(bench, socket(pin))) return true;
        }
    }
    return false;
}

// Two inputs exchanged (crossed leads, an adapter wired wrong, a part of
// another pin-out) fail every entry wherever the part's logic tells the
// exchange: each entry sets the inputs of one gate apart from another's
// where an output shows it. Which pairs the part tells is taken from the
// simulated part driven on its own; a pair it cannot tell (the two inputs of
// one NAND, a decoder's two active-low enables) is no fault to find.
TEST_F(IcTestEngine, EveryEntryFailsItsPartWithAnyTwoInputsItTellsApartCrossed) {
    // The part's judgement first: the pairs it cannot tell are the ones its
    // datasheet makes interchangeable, and only those.
    const auto alike = [](const char* part) {
        const sim::LogicIcConfig* facts = sim::FindFacts<sim::LogicIcConfig>(part);
        std::vector<std::pair<int, int>> pairs;
        if (facts == nullptr) return pairs;
        const std::vector<int> inputs = sim::LogicIc(*facts).InputPins();
        for (size_t i = 0; i < inputs.size(); ++i)
            for (size_t j = i + 1; j < inputs.size(); ++j)
                if (!PartTellsCrossed(*facts, inputs[i], inputs[j])) pairs.emplace_back(inputs[i], inputs[j]);
        return pairs;
    };
    using Pairs = std::vector<std::pair<int, int>>;
    EXPECT_EQ(alike("SN7402"), (Pairs{{2, 3}, {5, 6}, {8, 9}, {11, 12}}));
    EXPECT_EQ(alike("SN74LS138"), (Pairs{{4, 5}}));
    EXPECT_EQ(alike("SN74LS161"), Pairs{});
    EXPECT_EQ(alike("CD4013B"), Pairs{});

    std::string missed; // each entry and part the test cannot hold, with the pins
    for (const EntryOnPart& c : kEntries) {
        const EntryAndInputs e = Load(c);
        ASSERT_NE(e.facts, nullptr) << c.part;
        for (size_t i = 0; i < e.inputs.size(); ++i) {
            for (size_t j = i + 1; j < e.inputs.size(); ++j) {
                const int a = e.inputs[i], b = e.inputs[j];
                if (!PartTellsCrossed(*e.facts, a, b)) continue;
                Reseat("", 50);
                sim::LogicIc* ic = Seat(c.part);
                ASSERT_NE(ic, nullptr);
                ic->CrossPins(a, b);
                if (Run(e.pins, e.lines) != -1)
                    missed += std::string(c.entry) + " on " + c.part + ": pins " + std::to_string(a) + " and " +
                              std::to_string(b) + " crossed pass\n";
                ResetProgrammerOutputs();
                EXPECT_EQ(Violations(), "") << c.part << " " << a << " " << b;
            }
        }
    }
    EXPECT_EQ(missed, "");
}

std::vector<int> g_reported;
void Record(const char*, const char*, int index) { g_reported.push_back(index); }

TEST_F(IcTestEngine, NandVectorsOnANorPartFailAtTheFirstDifferingLine) {
    Seat("SN7402");
    Supply(50);
    g_reported.clear();
    IcTestLineCallback = Record;
    EXPECT_EQ(Run(14, Entry("7400"), 1, 1), -1);
    // Line 1 expects 1Y high on pin 3, an open input of the 7402 (it floats);
    // 2Y on pin 6 is the 7402's input 2B, 3Y on pin 8 its input 3A, 4Y on 11 its 4A.
    EXPECT_EQ(g_reported, std::vector<int>{0});
    EXPECT_STREQ(TestInLine, "00H00HGH00H00V");
    EXPECT_STREQ(TestOutLine, "  Z  Z Z  Z   ");
}

TEST_F(IcTestEngine, ReadsEachOutputKindAsTheDatasheetDrivesIt) {
    const std::string nand = Entry("7400");
    struct Case {
        const char* part; // "" an empty socket
        std::string lines;
        int result;
        const char* read; // nullptr: not looked at
        int tenths = 50, pins = 14, xLevel = 1;
    };
    const Case cases[] = {
        // 'Z' expected on an inverter output driven low reads 'L'.
        {"SN7404", "1Z1N1NGNNNNNNV", -1, " L            "},
        // Open TTL inputs read high; open CMOS inputs follow the test pull, so
        // the output reads low with the pull-up and high with the pull-down.
        {"SN7400", "NNLNNLGLNNLNNV", 1, "  L  L L  L   "},
        {"SN74HC00", "NNLNNLGLNNLNNV", -1, "              "},
        // An open-collector NAND output that is high floats.
        {"SN7403", "00Z11LGZ00Z00V", 1, "  Z  L Z  Z   "},
        {"SN7403", "00H11LGZ00Z00V", -1, "  Z  L Z  Z   "},
        // Three-state buffers with /OE high float; expected high they fail.
        {"SN74125", "11Z11ZGZ11Z11V", 1, "  Z  Z Z  Z   "},
        {"SN74125", "11H00LGZ11Z11V", -1, "  Z  L Z  Z   "},
        // 'X' pins take the chosen level.
        {"SN7404", "XLXLXLGLXLXLXV", 1, nullptr},
        {"SN7404", "XLXLXLGLXLXLXV", -1, nullptr, 50, 14, 0},
        {"SN7404", "XHXHXHGHXHXHXV", 1, nullptr, 50, 14, 0},
        // 15 symbols a line: the part sits on the 14 socket pins 18-31; the
        // 15th symbol (a supply mark that would reach socket pin 32) is ignored.
        {"SN7400", "11L11LGL11L11VV" "00H00HGH00H00VV", 1, nullptr, 50, 15},
        // Parts outside their supply window, or missing, fail.
        {"SN74LS00", nand, -1, nullptr, 20}, {"SN74HC00", nand, 1, nullptr, 20},
        {"SN74LS00", nand, -1, nullptr, 56}, {"SN74LS00", nand, 1, nullptr, 50}, {"", nand, -1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.part) + " " + c.lines.substr(0, 15) + " at " + std::to_string(c.tenths));
        Reseat(c.part, c.tenths);
        EXPECT_EQ(Run(c.pins, c.lines, c.xLevel), c.result) << TestOutLine;
        if (c.read) { EXPECT_STREQ(TestOutLine, c.read); }
        if (*c.part) { EXPECT_EQ(Violations(), ""); }
    }
}

TEST_F(IcTestEngine, AnUnpoweredPartIsOnlyItsProtectionDiodes) {
    Seat("SN7400");
    // No supply: grounding pin 7 (socket pin 24) pulls every other pin weakly
    // low, past the test image's pull-up.
    SetGroundPin(24, 1);
    FloatPinRange(1, 48);
    WriteRegister(13, 4);
    EXPECT_EQ(GetPin(18), 0);
    EXPECT_EQ(GetPin(31), 0);
    EXPECT_EQ(GetPin(32), 1); // no chip there
    SetGroundPin(24, 0);
    EXPECT_EQ(GetPin(18), 1);
}

TEST_F(IcTestEngine, FlipFlopsClockOnCAndKLowerSocketPinFirst) {
    sim::LogicIc* ff = Seat("SN7474");
    Supply(50);
    // Clear both, then D = 1 clocked by 'C' on FF1 and by 'K' on FF2.
    EXPECT_EQ(Run(14, "0001LHGHL1100V" "11C1HLGLH1K11V"), 1) << TestOutLine;
    EXPECT_TRUE(ff->FlipFlopQ(0) && ff->FlipFlopQ(1));
    // Without a clock D reaches neither.
    EXPECT_EQ(Run(14, "1001HLGLH1101V" "1001HLGLH1101V"), 1) << TestOutLine;
    simp.ClearTrace();
    simp.EnableTrace(true);
    Run(14, "11C11NGNN1C11V");
    // Pin 3 is socket pin 20 (level register 5, bit 3), pin 11 socket pin 28
    // (register 7, bit 3): each is pulsed high and low before the next.
    std::vector<std::pair<int, int>> clockEdges;
    for (const auto& a : simp.RegisterTrace()) {
        if (a.write && (a.reg == 5 || a.reg == 7)) clockEdges.emplace_back(a.reg, (a.value >> 3) & 1);
    }
    const std::vector<std::pair<int, int>> tail(clockEdges.end() - 4, clockEdges.end());
    EXPECT_EQ(tail, (std::vector<std::pair<int, int>>{{5, 1}, {5, 0}, {7, 1}, {7, 0}}));
}

// A counter counts every rising edge of its clock, so it sees the whole
// symbol: 'K' after a low line is driven high (an edge), then low and high
// (a second); 'C' after a high line is driven low, then high (an edge) and low.
TEST_F(IcTestEngine, KIsDrivenHighAndCLowBeforeTheirClocks) {
    Seat("SN74LS161");
    Supply(50);
    // Cleared with the clock low; 'K' counts two; '1' none; 'C' one.
    EXPECT_EQ(Run(16, "0000001G11LLLLLV"
                      "1K00001G11LLHLLV"
                      "1100001G11LLHLLV"
                      "1C00001G11LLHHLV"),
              1)
        << TestInLine << "\n" << TestOutLine;
    ResetProgrammerOutputs();
    EXPECT_EQ(Violations(), "");
}

std::vector<sim::PinState> g_states;
sim::Electrical* g_elec = nullptr;
void RecordPin32(const char*, const char*, int) { g_states.push_back(g_elec->Pin(27)); }

TEST_F(IcTestEngine, SupplyAndGroundComeFromTheFirstLineOnly) {
    Seat("SN7400");
    Supply(50);
    g_states.clear();
    g_elec = elec;
    IcTestLineCallback = RecordPin32;
    // Line 2 marks pin 10 (socket pin 27) 'V' and pin 7 stays ground: the
    // 'V' floats pin 10 (an input, so it reads high) and switches nothing.
    EXPECT_EQ(Run(14, "11L11LGL11L11V" "11L11LGLNVL11V", 1, 1), 1) << TestOutLine;
    ASSERT_EQ(g_states.size(), 2u);
    EXPECT_FALSE(g_states[1].Supplied());
    EXPECT_EQ(g_states[1].switches, 0u);
    EXPECT_EQ(Violations(), "");
}

TEST_F(IcTestEngine, SupplyAboveTheAbsoluteMaximumIsAViolation) {
    Seat("SN74LS00");
    Supply(75);
    Run(14, Entry("7400"));
    EXPECT_EQ(Violations().rfind("SN74LS00: 7.", 0), 0u) << Violations();
    EXPECT_NE(Violations().find(" V on pin 14 above its absolute maximum"), std::string::npos) << Violations();
}

TEST_F(IcTestEngine, RefusesPinCountsOutsideTwoToFortyEightAndEmptyLists) {
    Seat("SN7400");
    Supply(50);
    const std::string line(48, '0');
    for (int n : {0, 1, 49, 99}) {
        SCOPED_TRACE(n);
        simp.ClearTrace();
        simp.EnableTrace(true);
        EXPECT_EQ(Run(n, line), -1);
        EXPECT_TRUE(simp.RegisterTrace().empty());
    }
    // A list that ends before its first line (an entry with only a header).
    EXPECT_EQ(Run(14, ""), -1);
    EXPECT_TRUE(simp.RegisterTrace().empty());
}

TEST_F(IcTestEngine, DevicePinsAreTheMiddleOfTheSocket) {
    struct Case {
        int s, n, result;
    };
    for (const Case& c : {Case{16, 14, -1}, {17, 14, 1}, {30, 14, 1}, {31, 14, -1}, {0, 48, 1}, {47, 48, 1},
                          {23, 2, 1}, {24, 2, 1}, {22, 2, -1}, {25, 2, -1}}) {
        EXPECT_EQ(IsDevicePin(c.s, c.n), c.result) << c.s << " " << c.n;
    }
}

} // namespace
