// The vector, RAM and hardware tests on the simulated programmer: the test
// image loaded, the built device library beside the program (for the vector
// and RAM-test images and the PLD records), GAL parts seeded from JEDEC texts
// and RAM parts from the simulator's tables.
#pragma once
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../engine/LibrarySelect.h"
#include "IcTestFixture.h"
#include "engine/JedecPof.h"
#include "sim/Catalog.h"
#include "sim/GalChip.h"
#include "sim/GalParts.h"
#include "sim/RamChip.h"
#include "sim/RamParts.h"
#include "sim/RamTestBus.h"
#include "testing/VectorTest.h"

// The fuses of a GAL16V8 design: unused terms connect every column (always
// false), every term enabled.
struct GalDesign {
    std::vector<uint8_t> fuses = std::vector<uint8_t>(2194, 0);
    enum Mode { Simple, Complex, Registered };
    explicit GalDesign(Mode m) {
        for (uint32_t t = 0; t < 64; ++t) fuses[2128 + t] = 1;
        fuses[2192] = m != Registered;
        fuses[2193] = m != Simple;
        mode = m;
    }
    Mode mode;
    // OLMC of output pin p (19 - p): its XOR and AC1 fuses.
    GalDesign& Olmc(int pin, int xorFuse, int ac1) {
        fuses[2048 + static_cast<size_t>(19 - pin)] = static_cast<uint8_t>(xorFuse);
        fuses[2120 + static_cast<size_t>(19 - pin)] = static_cast<uint8_t>(ac1);
        return *this;
    }
    // Term t as the AND of pins (negative: the pin inverted); {} is true.
    GalDesign& Term(int t, std::initializer_list<int> literals) {
        static const int reg[16] = {2, 19, 3, 18, 4, 17, 5, 16, 6, 15, 7, 14, 8, 13, 9, 12};
        static const int cpx[16] = {2, 1, 3, 18, 4, 17, 5, 16, 6, 15, 7, 14, 8, 13, 9, 11};
        static const int smp[16] = {2, 1, 3, 19, 4, 18, 5, 17, 6, 14, 7, 13, 8, 12, 9, 11};
        const int* cols = mode == Registered ? reg : mode == Complex ? cpx : smp;
        for (int c = 0; c < 32; ++c) fuses[static_cast<size_t>(t * 32 + c)] = 1;
        for (int lit : literals) {
            const int pin = lit < 0 ? -lit : lit;
            for (int i = 0; i < 16; ++i) {
                if (cols[i] == pin) fuses[static_cast<size_t>(t * 32 + 2 * i + (lit < 0 ? 1 : 0))] = 0;
            }
        }
        return *this;
    }
};

class TesterFixture : public IcTestFixture {
protected:
    void SetUp() override {
        IcTestFixture::SetUp();
        ResetVectorTestState();
        sim::RegisterRamTestPersonality();
        ProgramDirectory = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
        LibraryFileName = "krd.dat";
    }
    void TearDown() override {
        ResetVectorTestState();
        ResetLibraryState();
        IcTestFixture::TearDown();
    }

    bool SelectPld(const std::string& maker, const std::string& name) {
        return SelectLibraryDevice(kLibraryEntryPld, SectionPld, maker, name);
    }

    // A JEDEC file of the design with its "V" fields, loaded as the program
    // loads it (fuse map and vectors).
    void LoadJedec(const GalDesign& d, const std::vector<std::string>& vectors) {
        std::string text = "\x02\nvector test design*\nQP20*QF2194*QV" + std::to_string(vectors.size()) + "*\nF0*\n";
        for (size_t first = 0; first < d.fuses.size(); first += 32) {
            char head[32];
            std::snprintf(head, sizeof head, "L%05zu ", first);
            text += head;
            for (size_t n = first; n < d.fuses.size() && n < first + 32; ++n) text += d.fuses[n] ? '1' : '0';
            text += "*\n";
        }
        for (size_t i = 0; i < vectors.size(); ++i) text += "V" + std::to_string(i + 1) + " " + vectors[i] + "*\n";
        text += "\x03";
        const std::string file = (dir / "design.jed").string();
        std::ofstream(file, std::ios::binary) << text;
        ASSERT_EQ(LoadJedecFile(file), 1);
        // A whole file: no line of a file cut short, of a bad fuse digit or
        // of an L field without a fuse number.
        for (const std::string& line : ui.Log) {
            EXPECT_EQ(line.find("cut short"), std::string::npos) << line;
            EXPECT_EQ(line.find("neither 0 nor 1"), std::string::npos) << line;
            EXPECT_EQ(line.find("no fuse number"), std::string::npos) << line;
        }
    }

    // A GAL16V8 seated and its cells seeded from the buffer's fuse map.
    sim::GalChip* SeatProgrammedGal() {
        auto chip = std::make_unique<sim::GalChip>(*sim::FindFacts<sim::GalPartFacts>("LATTICE", "GAL16V8"));
        for (uint32_t n = 0; n < 2194; ++n) chip->SetCell(n, static_cast<int>(GetBufferBit(n)));
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }

    sim::RamChip* SeatRam(const std::string& name) {
        const sim::RamPartFacts* f = sim::FindFacts<sim::RamPartFacts>(name);
        EXPECT_NE(f, nullptr) << name;
        if (f == nullptr) return nullptr;
        elec->DeclareChip(sim::DipPinLimits(name, f->pinCount));
        return socket->Insert(std::make_unique<sim::RamChip>(*f));
    }

    // Violations other than the supply the self-test puts on empty pins.
    std::string ViolationsBesidesEmptyPins() const {
        std::string all;
        for (const auto& v : simp.Violations()) {
            if (v.find("with no chip on the pin") == std::string::npos) all += v + "\n";
        }
        return all;
    }

    std::vector<std::string> LogTexts() const {
        std::vector<std::string> lines;
        for (const auto& l : ui.Log) lines.push_back(l);
        return lines;
    }
};
