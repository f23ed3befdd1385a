// The memory suite's simulated programmer brought up for the logic modules:
// a PLD device selected from the built library, a part seated from the
// simulator's GAL table, JEDEC texts written by the test.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "../engine/LibrarySelect.h"
#include "engine/JedecPof.h"
#include "logic/GalRowSerial.h"
#include "logic/InstallLogicRows.h"
#include "logic/PalEmulation.h"
#include "memory/MemoryFixture.h"
#include "sim/GalChip.h"
#include "sim/GalParts.h"

class PldRun : public MemoryRun {
protected:
    void SetUp() override {
        MemoryRun::SetUp();
        ResetPalEmulationState();
        InstallLogicAlgorithms();
    }

    // Selects a device of the PLD section of the built library.
    bool SelectPld(const std::string& maker, const std::string& name) {
        return SelectLibraryDevice(kLibraryEntryPld, SectionPld, maker, name);
    }

    // Seats a part with the given facts (a catalog part, or one changed by the test).
    sim::GalChip* SeatGal(const sim::GalPartFacts& facts) {
        auto chip = std::make_unique<sim::GalChip>(facts);
        elec->DeclareChip(chip->Limits());
        return socket->Insert(std::move(chip));
    }
    sim::GalChip* SeatGal(const std::string& maker, const std::string& name) {
        const sim::GalPartFacts* facts = sim::FindGalPart(maker, name);
        EXPECT_NE(facts, nullptr) << maker << " " << name;
        return facts ? SeatGal(*facts) : nullptr;
    }

    // A JEDEC text of the fuses (one byte per fuse, 0 or 1) with its "C"
    // field, as a fitter writes it; written to `file`.
    static uint32_t WriteJedec(const char* file, const std::vector<uint8_t>& fuses, uint32_t rowWidth) {
        std::vector<uint8_t> bytes((fuses.size() + 7) / 8, 0);
        for (size_t n = 0; n < fuses.size(); ++n) bytes[n / 8] |= static_cast<uint8_t>((fuses[n] & 1) << (n % 8));
        uint32_t sum = 0;
        for (uint8_t b : bytes) sum += b;
        std::string text = "\x02\nTest pattern*\nQP20*QF" + std::to_string(fuses.size()) + "*\nF0*\n";
        for (size_t first = 0; first < fuses.size(); first += rowWidth) {
            char head[32];
            std::snprintf(head, sizeof head, "L%05zu ", first);
            text += head;
            for (size_t n = first; n < fuses.size() && n < first + rowWidth; ++n) text += fuses[n] ? '1' : '0';
            text += "*\n";
        }
        char tail[32];
        std::snprintf(tail, sizeof tail, "C%04X*\n\x03" "0000", sum & 0xFFFF);
        text += tail;
        std::ofstream(file, std::ios::binary) << text;
        return sum & 0xFFFF;
    }

    // A fuse pattern with both values in every row and field.
    static std::vector<uint8_t> Pattern(size_t count, uint32_t seed = 7) {
        std::vector<uint8_t> f(count);
        uint32_t x = seed;
        for (auto& b : f) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>((x >> 16) & 1);
        }
        return f;
    }

    static std::vector<uint8_t> UserFuses(uint32_t count) {
        std::vector<uint8_t> f(count);
        for (uint32_t n = 0; n < count; ++n) f[n] = static_cast<uint8_t>(GetBufferBit(n));
        return f;
    }
    static void SetUserFuses(const std::vector<uint8_t>& f) {
        for (uint32_t n = 0; n < f.size(); ++n) SetBufferBit(n, f[n]);
    }
};
