// Start-up state for the data-file tests: a recording UI, a private
// directory for the files, and helpers to run the third-party converters.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
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
#include "engine/ProgramState.h"
#include "engine/RecordingUi.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallUiBridge(&ui);
        ResetProgramState();
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
        ResetProgramState();
    }

    std::string Path(const std::string& name) const { return (dir / name).string(); }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(Path(name), std::ios::binary) << content;
        return Path(name);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        return Write(name, std::string(bytes.begin(), bytes.end()));
    }
    static std::vector<uint8_t> ReadBytes(const std::string& path) {
        const std::string s = Read(path);
        return {s.begin(), s.end()};
    }
    // Loads a file of this text through the hex-family loader.
    int Load(const std::string& name, const std::string& text) const {
        return LoadHexFamilyFile(Write(name, text), 0, 0);
    }
    // The text a hex-family save of the range writes, or "failed".
    std::string Saved(const std::string& name, uint32_t start, uint32_t end, int format) const {
        const int r =
            format ? SaveHexFamilyFile(Path(name), start, end, format) : SaveAsciiHexFile(Path(name), start, end);
        return r == 1 ? Read(Path(name)) : "failed";
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string SourceDir() {
        if (const char* d = std::getenv("VEXLOR_SOURCE_DIR"))
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
        if (uint64_t{address} + count > uint64_t{BankCount} * BufferBankBytes) return {};
        return std::vector<uint8_t>(BufferImage() + address, BufferImage() + address + count);
    }
    static std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
        return v;
    }

    static bool LogHas(const std::string& text) {
        const std::vector<std::string> log = MainLog().Lines();
        return std::find(log.begin(), log.end(), text) != log.end();
    }
    // No line of the log mentions `word`.
    static void ExpectNoLogLine(const std::string& word) {
        for (const std::string& line : MainLog().Lines()) EXPECT_EQ(line.find(word), std::string::npos) << line;
    }

    static bool HaveTool(const char* tool) {
        return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
    }
    static int Run(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()); }

    RecordingUi ui;
    std::filesystem::path dir;
};
