// The simulated programmer with the test image loaded, its ID memory,
// electrical model and a socket, brought up through the engine; logic parts
// are seated from the simulator's parts table. Boxes and tones are recorded.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../engine/PinDriverFixture.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/RecordingUi.h"
#include "engine/Services.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/IdMemory.h"
#include "sim/LogicIc.h"
#include "sim/Socket.h"
#include "sim/Universal.h"
#include "testing/IcTest.h"
#include "testing/LogicLibrary.h"

// The authored logic library as the build puts it beside the program (CR LF).
inline std::string AuthoredLogicLibrary() {
    const char* src = std::getenv("VEXLOR_SOURCE_DIR");
    std::ifstream in(std::string(src ? src : ".") + "/data/logic/lg.txt", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string out;
    for (char c : ss.str()) {
        if (c == '\n') out += '\r';
        if (c != '\r') out += c;
    }
    return out;
}

class IcTestFixture : public PinDriverFixture {
protected:
    sim::Electrical*& elec = electrical;
    std::filesystem::path dir; // a private folder named after the test

    void SetUp() override {
        PinDriverFixture::SetUp();
        dir = std::filesystem::temp_directory_path() /
              ("vexlor-ictest-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        ResetIcTestState();
        LoadImage(sim::kPersonalityTest);
        sim::AddIdMemory(simp);
        ASSERT_EQ(ConnectProgrammer(0), 1);
        LoadedLogicImage = static_cast<int32_t>(kLibraryTestImage);
    }

    void TearDown() override {
        std::filesystem::remove_all(dir);
        PinDriverFixture::TearDown();
        ResetIcTestState();
    }

    sim::LogicIc* Seat(const std::string& part) {
        const sim::LogicIcConfig* c = sim::FindFacts<sim::LogicIcConfig>(part);
        EXPECT_NE(c, nullptr) << part;
        if (c == nullptr) return nullptr;
        return socket->Insert(std::make_unique<sim::LogicIc>(*c));
    }

    // An empty socket with `part` seated ("" none) at `tenths` of a volt.
    void Reseat(const std::string& part, int tenths) {
        socket->Clear();
        simp.ClearViolations();
        if (!part.empty()) Seat(part);
        Supply(tenths);
    }

    // The supply the forms set before a run.
    static void Supply(int tenths) {
        ResetProgrammerOutputs();
        SetVccRange(1, tenths);
        SetAllDacVoltages(0, 0, tenths, tenths);
        DelayMsSlot(10);
    }

    // Runs lines given as one text (lines back to back), 0-terminated.
    static int Run(int n, const std::string& lines, int xLevel = 1, int report = 0) {
        std::vector<uint8_t> b(lines.begin(), lines.end());
        b.resize(b.size() + static_cast<size_t>(n) + 1, 0);
        return RunIcTest(n, b.data(), xLevel, 0, report, b.size());
    }

    // Entry `name` of the authored library, its lines back to back.
    static std::string Entry(const std::string& name, int* pins = nullptr) {
        LogicLibrary lib;
        lib.text = AuthoredLogicLibrary();
        IndexLogicLibrary(lib);
        const int k = FindLogicLibraryEntry(lib, name);
        EXPECT_GE(k, 0) << name;
        if (k < 0) return {};
        if (pins) *pins = lib.entries[static_cast<size_t>(k)].pins;
        return CopyLogicLibraryEntry(lib, static_cast<size_t>(k));
    }

    std::string Violations() const {
        std::string all;
        for (const auto& v : simp.Violations()) all += v + "\n";
        return all;
    }
};
