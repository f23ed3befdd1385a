// The memory fixture with the flash-bus images and the parts of the flash
// table seated in the socket or in gang sockets.
#pragma once
#include "MemoryFixture.h"
#include "engine/Power.h"
#include "sim/FlashBus.h"
#include "sim/FlashParts.h"

class FlashRun : public MemoryRun {
protected:
    // Empties the socket and withdraws the seated parts' pin limits.
    void Unseat() {
        socket->Clear();
        elec->WithdrawAllChips();
    }
    void SetUp() override {
        MemoryRun::SetUp();
        sim::RegisterFlashBusPersonality();
    }

    // Seats the part of the flash table under the selected device's maker and
    // name (or the given one) in the socket or in gang socket s.
    sim::SeatedFlash SeatPart(const std::string& maker, const std::string& name, int gangSocket = -1) {
        const sim::FlashPart* part = sim::FindFlashPart(maker, name);
        EXPECT_NE(part, nullptr) << maker << " " << name;
        if (part == nullptr) return {};
        sim::Socket& s = gangSocket >= 0 ? sim::GangAdapter::Find(simp)->SocketAt(gangSocket) : *socket;
        return sim::SeatFlashPart(*part, s, elec);
    }
    sim::SeatedFlash SeatPart(const sim::FlashPart& part, int gangSocket = -1) {
        sim::Socket& s = gangSocket >= 0 ? sim::GangAdapter::Find(simp)->SocketAt(gangSocket) : *socket;
        return sim::SeatFlashPart(part, s, elec);
    }

    // A gang adapter with `count` sockets in use.
    void AddGang(int count) {
        sim::AddGangAdapter(simp);
        DeclareGangSupply();
        LastSocketIndex = static_cast<uint32_t>(count - 1);
    }
    // The strong supply path of the 3.3-5 V range feeds the adapter.
    void DeclareGangSupply() {
        sim::ChipPinLimits adapterSupply;
        adapterSupply.chip = "gang adapter";
        adapterSupply.socketPins = {44};
        elec->DeclareChip(adapterSupply);
    }

    // Only the first `words` of the device (0: all of it).
    void Limit(uint32_t words) {
        if (words == 0) return;
        DeviceSize = words;
        SetupAddressRange();
    }

    // Pattern data without blank data.
    void FillData(uint32_t seed) {
        FillPattern(BufferByteSize, seed);
        const uint32_t blank = Wide() ? 0xFFFF : 0xFF;
        for (uint32_t a = 0; a < DeviceSize; ++a) {
            if (BufferDatum(a) == blank) FillBufferRange(Wide() ? 2 * a : a, Wide() ? 2 * a : a, 0x5A);
        }
    }
    template <class Cell> void ExpectHolds(Cell&& cell) {
        for (uint32_t a = 0; a < DeviceSize; ++a) ASSERT_EQ(cell(a), BufferDatum(a)) << std::hex << "word " << a;
    }
    // Runs an entry as the main window's commands do, with the image loaded.
    template <class F> int Entry(F&& entry) {
        runStart_ = ui.Log.size();
        EXPECT_EQ(CheckCommunication(MainEngine), 1);
        PrepareOperation(MainEngine);
        const int r = entry();
        ResetProgrammerOutputs();
        return r;
    }
    // Read ID as the main window runs it.
    void ReadId() {
        runStart_ = ui.Log.size();
        ASSERT_EQ(CheckCommunication(MainEngine), 1); // the device's logic image
        PrepareOperation(MainEngine);
        AlgorithmRow(CurrentAlgorithm)->Identify();
        ResetProgrammerOutputs();
        ShowChipAndDataIds(ChipMakerId, ChipDeviceId);
    }
};
