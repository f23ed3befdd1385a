// Start-up state for the data-file tests: a recording UI, a private
// directory for the files, and helpers to run the third-party converters.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/LogModel.h"
#include "engine/NeighbourState.h"
#include "engine/OperationState.h"
#include "engine/RecordingUi.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallUiBridge(&ui);
        ResetDeviceState();
        ResetRowHooks();
        ResetNeighbourState();
        ResetOperationState();
        ResetServicesState();
        ResetConfigState();
        ResetBufferState();
        ResetHexFilesState();
        MainLog().Clear();
        ui.Clear();
        std::string pattern = (std::filesystem::temp_directory_path() / "vexlor-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        InstallUiBridge(nullptr);
        ResetBufferState();
        ResetConfigState();
        ResetServicesState();
        ResetOperationState();
        ResetDeviceState();
        ResetRowHooks();
        ResetHexFilesState();
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(Path(name), std::ios::binary) << content;
        return Path(name);
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string SourceDir() {
        const char* d = std::getenv("VEXLOR_SOURCE_DIR");
        if (d != nullptr)
            return d;
        // This header lies in <source>/tests/engine.
        return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().string();
    }

    // Buffer bytes through the flat image (growing it as needed).
    static void PutBytes(uint32_t address, const std::vector<uint8_t>& bytes) {
        ASSERT_EQ(SelectBank(address + static_cast<uint32_t>(bytes.size()), 1), 1);
        std::copy(bytes.begin(), bytes.end(), BufferImage() + address);
        SelectBank(0, 0);
    }
    static std::vector<uint8_t> GetBytes(uint32_t address, uint32_t count) {
        if (uint64_t{address} + count > uint64_t{BankCount} * BufferBankBytes)
            return {};
        return std::vector<uint8_t>(BufferImage() + address, BufferImage() + address + count);
    }
    static std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i) {
            seed = seed * 1103515245u + 12345u;
            v[i] = static_cast<uint8_t>(seed >> 16);
        }
        return v;
    }

    bool LogHas(const std::string& text) const {
        for (const std::string& line : MainLog().Lines())
            if (line == text)
                return true;
        return false;
    }

    static bool HaveTool(const char* tool) {
        std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
        return std::system(cmd.c_str()) == 0;
    }
    static int Run(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()); }

    RecordingUi ui;
    std::filesystem::path dir;
};
