// The logic parts of the simulator with their datasheet facts: pin-out,
// supply window, absolute maximum, input type and function.
#include <algorithm>
#include <array>
#include <utility>

#include "sim/CatalogModel.h"
#include "sim/LogicIc.h"

namespace sim {

namespace {

constexpr const char* kMaker = "Texas Instruments";

// Supply ranges of the families (recommended VCC window, absolute maximum).
enum class Family { Std, LS, HC, Cmos4000 };

LogicIcConfig Part(const char* name, Family family, int pins) {
    LogicIcConfig c;
    c.maker = kMaker;
    c.name = name;
    c.pinCount = pins;
    c.vccPin = pins;
    c.gndPin = pins / 2;
    switch (family) {
    case Family::Std:
    case Family::LS:
        c.vccMinMv = 4750, c.vccMaxMv = 5250, c.absMaxMv = 7000, c.ttlInputs = true;
        break;
    case Family::HC:
        c.vccMinMv = 2000, c.vccMaxMv = 6000, c.absMaxMv = 7000, c.ttlInputs = false;
        break;
    case Family::Cmos4000:
        c.vccMinMv = 3000, c.vccMaxMv = 18000, c.absMaxMv = 20000, c.ttlInputs = false;
        break;
    }
    return c;
}

LogicGate Gate(std::vector<LogicPin> in, bool invert, int out,
               LogicOutputKind kind = LogicOutputKind::TotemPole) {
    LogicGate g;
    g.inputs = std::move(in);
    g.invert = invert;
    g.output = out;
    g.outputKind = kind;
    return g;
}

// Two-input gates as {a, b, y} triples.
using Triple = std::array<int, 3>;
void AddNands(LogicIcConfig& c, std::initializer_list<Triple> gates,
              LogicOutputKind kind = LogicOutputKind::TotemPole) {
    for (const Triple& t : gates) c.gates.push_back(Gate({{t[0]}, {t[1]}}, true, t[2], kind));
}
void AddNors(LogicIcConfig& c, std::initializer_list<Triple> gates) {
    for (const Triple& t : gates) c.gates.push_back(Gate({{t[0], true}, {t[1], true}}, false, t[2]));
}

// 00, 03: Y = /(A B) on 1-2/3, 4-5/6, 9-10/8, 12-13/11.
LogicIcConfig QuadNand(const char* name, Family f, LogicOutputKind kind = LogicOutputKind::TotemPole) {
    LogicIcConfig c = Part(name, f, 14);
    AddNands(c, {{1, 2, 3}, {4, 5, 6}, {9, 10, 8}, {12, 13, 11}}, kind);
    return c;
}

// 02: Y = /(A + B) on 2-3/1, 5-6/4, 8-9/10, 11-12/13.
LogicIcConfig QuadNor(const char* name, Family f) {
    LogicIcConfig c = Part(name, f, 14);
    AddNors(c, {{2, 3, 1}, {5, 6, 4}, {8, 9, 10}, {11, 12, 13}});
    return c;
}

// 04: Y = /A on 1/2, 3/4, 5/6, 9/8, 11/10, 13/12.
LogicIcConfig HexInverter(const char* name, Family f) {
    LogicIcConfig c = Part(name, f, 14);
    for (auto [a, y] : {std::pair{1, 2}, {3, 4}, {5, 6}, {9, 8}, {11, 10}, {13, 12}}) c.gates.push_back(Gate({{a}}, true, y));
    return c;
}

// 74: /CLR 1, D 2, CLK 3, /PRE 4, Q 5, /Q 6; /Q 8, Q 9, /PRE 10, CLK 11, D 12, /CLR 13.
LogicIcConfig DualDFlipFlop74(const char* name, Family f) {
    LogicIcConfig c = Part(name, f, 14);
    c.flipFlops.push_back({2, 3, {4, true}, {1, true}, 5, 6});
    c.flipFlops.push_back({12, 11, {10, true}, {13, true}, 9, 8});
    return c;
}

// 125: Y = A while /OE is low: /OE-A-Y on 1-2-3, 4-5-6, 10-9-8, 13-12-11.
LogicIcConfig QuadBuffer125(const char* name, Family f) {
    LogicIcConfig c = Part(name, f, 14);
    for (const Triple& t : {Triple{1, 2, 3}, {4, 5, 6}, {10, 9, 8}, {13, 12, 11}}) {
        LogicGate g = Gate({{t[1]}}, false, t[2], LogicOutputKind::ThreeState);
        g.enable = {t[0], true};
        c.gates.push_back(g);
    }
    return c;
}

// 244: 1/G 1 enables 1A1-1A4 (2, 4, 6, 8) onto 1Y1-1Y4 (18, 16, 14, 12);
// 2/G 19 enables 2A1-2A4 (11, 13, 15, 17) onto 2Y1-2Y4 (9, 7, 5, 3).
LogicIcConfig OctalBuffer244(const char* name, Family f) {
    LogicIcConfig c = Part(name, f, 20);
    const int a[8] = {2, 4, 6, 8, 11, 13, 15, 17};
    const int y[8] = {18, 16, 14, 12, 9, 7, 5, 3};
    for (int i = 0; i < 8; ++i) {
        LogicGate g = Gate({{a[i]}}, false, y[i], LogicOutputKind::ThreeState);
        g.enable = {i < 4 ? 1 : 19, true};
        c.gates.push_back(g);
    }
    return c;
}

// 138: A 1, B 2, C 3, /G2A 4, /G2B 5, G1 6; Y0-Y7 on 15-9 and 7, active low.
LogicIcConfig Decoder138(const char* name, Family f) {
    LogicIcConfig c = Part(name, f, 16);
    const int y[8] = {15, 14, 13, 12, 11, 10, 9, 7};
    for (int i = 0; i < 8; ++i) {
        std::vector<LogicPin> in{{6}, {4, true}, {5, true}};
        for (int b = 0; b < 3; ++b) in.push_back({1 + b, ((i >> b) & 1) == 0});
        c.gates.push_back(Gate(std::move(in), true, y[i]));
    }
    return c;
}

// 161: /CLR 1, CLK 2, A-D 3-6, ENP 7, /LOAD 9, ENT 10, QD-QA 11-14, RCO 15.
LogicIcConfig Counter161(const char* name, Family f) {
    LogicIcConfig c = Part(name, f, 16);
    LogicCounter k;
    k.clock = 2;
    k.clear = {1, true};
    k.load = {9, true};
    k.enp = 7;
    k.ent = 10;
    for (int b = 0; b < 4; ++b) {
        k.data[b] = 3 + b;
        k.q[b] = 14 - b;
    }
    k.carry = 15;
    c.counters.push_back(k);
    return c;
}

// 4011: quad NAND, A-B/J 1-2/3, C-D/K 5-6/4, E-F/L 8-9/10, G-H/M 12-13/11.
LogicIcConfig Cmos4011(const char* name) {
    LogicIcConfig c = Part(name, Family::Cmos4000, 14);
    AddNands(c, {{1, 2, 3}, {5, 6, 4}, {8, 9, 10}, {12, 13, 11}});
    return c;
}

// 4013: Q1 1, /Q1 2, CLK1 3, RESET1 4, D1 5, SET1 6; SET2 8, D2 9,
// RESET2 10, CLK2 11, /Q2 12, Q2 13. Set and reset are active high.
LogicIcConfig Cmos4013(const char* name) {
    LogicIcConfig c = Part(name, Family::Cmos4000, 14);
    c.flipFlops.push_back({5, 3, {6}, {4}, 1, 2});
    c.flipFlops.push_back({9, 11, {8}, {10}, 13, 12});
    return c;
}

std::vector<LogicIcConfig> MakeParts() {
    return {
        QuadNand("SN7400", Family::Std),
        QuadNand("SN74LS00", Family::LS),
        QuadNand("SN74HC00", Family::HC),
        QuadNor("SN7402", Family::Std),
        QuadNor("SN74LS02", Family::LS),
        QuadNand("SN7403", Family::Std, LogicOutputKind::OpenCollector),
        QuadNand("SN74LS03", Family::LS, LogicOutputKind::OpenCollector),
        HexInverter("SN7404", Family::Std),
        HexInverter("SN74LS04", Family::LS),
        DualDFlipFlop74("SN7474", Family::Std),
        DualDFlipFlop74("SN74LS74", Family::LS),
        DualDFlipFlop74("SN74HC74", Family::HC),
        QuadBuffer125("SN74125", Family::Std),
        QuadBuffer125("SN74LS125", Family::LS),
        Decoder138("SN74LS138", Family::LS),
        Decoder138("SN74HC138", Family::HC),
        Counter161("SN74LS161", Family::LS),
        OctalBuffer244("SN74LS244", Family::LS),
        OctalBuffer244("SN74HC244", Family::HC),
        Cmos4011("CD4011B"),
        Cmos4013("CD4013B"),
    };
}

// A logic IC keeps nothing between runs; its footprint is its DIP at the
// part's absolute maximum.
struct LogicIcContents : KeepsNothing {
    static ChipPinLimits Limits(const LogicIc& m, const PartFacts&) {
        return DipPinLimits(m.Config().name, m.Config().pinCount, m.Config().absMaxMv / 100);
    }
};

} // namespace

void AddLogicIcParts(std::vector<CatalogPart>& parts) {
    for (const LogicIcConfig& c : MakeParts()) {
        PartFacts f;
        f.name = c.name;
        f.pinCount = c.pinCount;
        f.vcc = {(c.vccMinMv + 99) / 100, c.vccMaxMv / 100}; // the tenths inside the window
        f.vccPin = c.vccPin;
        f.gndPins = {c.gndPin};
        parts.push_back(ModelPart<LogicIc, LogicIcContents>(c.maker, f, c));
    }
}

SIM_CATALOG_FAMILY(AddLogicIcParts);

} // namespace sim
