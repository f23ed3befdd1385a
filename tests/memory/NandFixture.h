// The memory fixture with the NAND image and the catalog's NAND parts seated
// in the socket or in gang sockets, the address range cut to a few blocks.
#pragma once
#include "MemoryFixture.h"
#include "memory/Nand.h"
#include "memory/NandGeometry.h"
#include "sim/NandBus.h"
#include "sim/NandChip.h"

struct NandPart {
    const char* maker;
    const char* name;
};

class NandRun : public MemoryRun {
  protected:
    std::vector<sim::NandChip*> chips;
    uint32_t bufferBlock = 0; // buffer bytes per chip block
    uint32_t chipBlock = 0;   // data bytes per chip block

    void SetUp() override {
        MemoryRun::SetUp();
        sim::RegisterNandPersonality();
    }

    static sim::NandFacts Facts(const NandPart& p) {
        const sim::NandFacts* f = sim::FindFacts<sim::NandFacts>(p.maker, p.name);
        if (f == nullptr) {
            ADD_FAILURE() << "no NAND part " << p.name;
            return {};
        }
        return *f;
    }

    // Selects the part, takes only its first `deviceBlocks` blocks for the
    // device (so row 77's whole-chip scans and erases stay short; the map
    // rows format the chip their variant names), keeps `blocks`
    // buffer blocks of range and seats a blank chip in the socket, or in
    // `gang` gang sockets.
    void Start(const NandPart& p, uint32_t blocks, int gang = 0, uint32_t deviceBlocks = 24) {
        ASSERT_TRUE(Select(p.maker, p.name)) << p.name;
        const sim::NandFacts f = Facts(p);
        chipBlock = f.pageData * f.pagesPerBlock;
        bufferBlock = CurrentAlgorithm == 77 ? chipBlock : PageSize * f.pagesPerBlock;
        DeviceSize = deviceBlocks * bufferBlock;
        SetupAddressRange();
        DeviceEnd = blocks * bufferBlock - 1;
        chips.clear();
        if (gang > 0) {
            sim::AddGangAdapter(simp);
            sim::ChipPinLimits supply;
            supply.chip = "gang adapter";
            supply.socketPins = {44};
            supply.supplyOrder = false;
            elec->DeclareChip(supply);
            LastSocketIndex = static_cast<uint32_t>(gang - 1);
        }
        for (int s = 0; s < std::max(gang, 1); ++s) {
            auto chip = std::make_unique<sim::NandChip>(f);
            elec->DeclareChip(chip->Limits());
            sim::Socket& into = gang > 0 ? sim::GangAdapter::Find(simp)->SocketAt(s) : *socket;
            chips.push_back(into.Insert(std::move(chip)));
        }
    }

    // The Option command as the main window runs it.
    int Option() {
        runStart_ = ui.Log.size();
        if (CheckCommunication(MainEngine) != 1) return -2;
        PrepareOperation(MainEngine);
        return AlgorithmRow(CurrentAlgorithm)->Options();
    }

    // Buffer data of the range (no block all FFh).
    void FillRange(uint32_t seed) { FillPattern(DeviceEnd + 1, seed); }
    std::vector<uint8_t> BufferCopy(uint32_t from, uint32_t n) const {
        std::vector<uint8_t> v(n);
        for (uint32_t i = 0; i < n; ++i)
            v[i] = BufferByte(from + i);
        return v;
    }
    // The data bytes of chip block b (spare bytes too with `spare`).
    std::vector<uint8_t> ChipBlock(const sim::NandChip& c, uint32_t b, bool spare = false) const {
        const sim::NandFacts& f = c.Nand();
        std::vector<uint8_t> v;
        for (uint32_t pg = 0; pg < f.pagesPerBlock; ++pg) {
            for (uint32_t col = 0; col < (spare ? f.PageBytes() : f.pageData); ++col)
                v.push_back(c.PageByte(b * f.pagesPerBlock + pg, col));
        }
        return v;
    }
    std::vector<uint8_t> Blank(uint32_t n) const { return std::vector<uint8_t>(n, 0xFF); }
    // A run refused or failed on a line that says why: no chip or buffer
    // datum line follows, as no cell of the range failed.
    void ExpectNoDatumLines() const {
        for (const std::string& line : Log()) {
            EXPECT_EQ(line.find("Chip addr"), std::string::npos) << LogText();
            EXPECT_NE(line.rfind("Buffer addr", 0), 0u) << LogText();
        }
    }
};
