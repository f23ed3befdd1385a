// Host time per simulated port access on every bus personality, measured on
// devices of the built library as the program runs them on the simulator:
// the rack seats the catalog's part, the operation driver programs it (blank
// check, program, verify) and reads it back. Each personality's figure is
// printed with its ratio against the EPROM bus's, and the host time of a
// 4 MB flash part's program run against the same number of bytes of EPROM
// traffic.
//
//   bench_buses [maker name ...]   devices to measure (default: one per bus)
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/ProgramState.h"
#include "logic/InstallLogicRows.h"
#include "mcu/InstallMcuRows.h"
#include "memory/InstallMemoryRows.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "sim/LogicImage.h"
#include "sim/Rack.h"
#include "sim/SimProgrammer.h"

namespace {

struct Measure {
    std::string device;
    std::string personality;
    uint64_t accesses = 0;
    double seconds = 0;
    uint64_t bytes = 0;
    bool ok = false;
    double NsPerAccess() const { return accesses ? seconds * 1e9 / static_cast<double>(accesses) : 0; }
};

std::string RecordName(const DeviceRecord& r) {
    const auto* b = reinterpret_cast<const char*>(r.Bytes);
    return std::string(b) + " " + (b + r.Bytes[RecordNameOffsetByte]);
}

// One device: program (with the default blank check and verify) and read.
Measure Run(const DeviceRecord& r) {
    ResetProgramState();
    InstallMemoryAlgorithms();
    InstallLogicAlgorithms();
    InstallMcuAlgorithms();
    SetToneSink([](int, int) {});
    ProgramDirectory = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    LibraryFileName = "krd.dat";
    std::unique_ptr<sim::SimProgrammer> simp = sim::Rack::Build(0);
    // The program's own port path: the simulator is the port, and counts
    // its accesses itself.
    InstallPortIoRef(simp.get());
    Measure m;
    m.device = RecordName(r);
    DeviceSection = r.Bytes[RecordSectionByte];
    if (SetCurrentDevice(r) != 1) return m;
    const auto* b = reinterpret_cast<const char*>(r.Bytes);
    if (!sim::Rack::Find(*simp)->SeatPart(b, b + r.Bytes[RecordNameOffsetByte])) return m;
    const bool pld = DeviceSection == SectionPld;
    m.bytes = pld ? (DeviceSize + 7) / 8 : BufferByteSize;
    SelectBank(BufferEnd, 1);
    SelectBank(0, 0);
    uint8_t* data = pld ? FuseMap() : BufferImage() + BufferStart;
    uint32_t x = 1;
    for (uint64_t i = 0; i < m.bytes; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = static_cast<uint8_t>(x >> 16);
    }
    const uint64_t accessesBefore = simp->PortAccesses();
    const auto start = std::chrono::steady_clock::now();
    m.ok = RunOperation(MainEngine, OpProgram) == ResultOk && RunOperation(MainEngine, OpRead) == ResultOk;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.accesses = simp->PortAccesses() - accessesBefore;
    m.personality = simp->Personality() ? sim::PersonalityName(simp->Personality()->Id()) : "none";
    InstallPortIoRef(nullptr);
    ResetProgramState();
    return m;
}

const DeviceRecord* Find(const std::vector<DeviceRecord>& all, const std::string& name) {
    for (const DeviceRecord& r : all) {
        if (RecordName(r) == name) return &r;
    }
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    constexpr double kGoalNs = 50.0;
    // A bus's run lasts a fraction of a second: the fastest of a few keeps
    // a stray page fault or scheduler tick out of the figure.
    constexpr int kRuns = 3;
    ProgramDirectory = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    LibraryFileName = "krd.dat";
    const std::vector<DeviceRecord> all = ReadLibraryRecords();
    if (all.empty()) {
        std::fprintf(stderr, "no device library beside the benchmark\n");
        return 1;
    }
    // One device of each bus, first the EPROM the others are measured against.
    std::vector<std::string> names = {"ST M27C512",       "AMD Am29F040B",    "INTEL 28F016SA",
                                      "MICROCHIP 24LC256",  "SAMSUNG K9F6408U0A", "LATTICE GAL22V10D",
                                      "ATMEL AT89C51",      "MICROCHIP PIC16F84", "XICOR X68C64",
                                      "GENERIC-ALGORITHM 8051MC-8K", "XILINX XC17256E"};
    if (argc > 1) {
        names.clear();
        for (int i = 1; i + 1 < argc; i += 2) names.push_back(std::string(argv[i]) + " " + argv[i + 1]);
    }
    std::printf("fastest of %d runs per device\n", kRuns);
    std::printf("%-34s %-12s %12s %10s %8s %8s\n", "device", "bus", "accesses", "ns/access", "ratio", "goal");
    double epromNs = 0;
    bool allWithinGoal = true;
    for (const std::string& name : names) {
        const DeviceRecord* r = Find(all, name);
        if (r == nullptr) {
            std::printf("%-34s not in the library\n", name.c_str());
            continue;
        }
        Measure m = Run(*r);
        for (int i = 1; i < kRuns; ++i) {
            const Measure again = Run(*r);
            if (again.ok == m.ok && again.seconds < m.seconds) m = again;
        }
        if (epromNs == 0) epromNs = m.NsPerAccess();
        const bool within = m.NsPerAccess() <= kGoalNs;
        allWithinGoal = allWithinGoal && within;
        std::printf("%-34s %-12s %12llu %10.1f %8.2f %8s%s\n", name.c_str(), m.personality.c_str(),
                    static_cast<unsigned long long>(m.accesses), m.NsPerAccess(),
                    epromNs > 0 ? m.NsPerAccess() / epromNs : 0.0, within ? "ok" : "OVER", m.ok ? "" : "  (run failed)");
    }

    // A 4 MB flash part against the same number of bytes of EPROM traffic.
    const DeviceRecord* flash = Find(all, "AMD Am29F032B");
    const DeviceRecord* eprom = Find(all, "ST M27C801");
    if (argc <= 1 && flash != nullptr && eprom != nullptr) {
        const Measure f = Run(*flash), e = Run(*eprom);
        const double epromFor4MB = e.bytes ? e.seconds * static_cast<double>(f.bytes) / static_cast<double>(e.bytes) : 0;
        std::printf("\n%s: %.2f s host for %llu bytes (program, verify, read back)%s\n", f.device.c_str(), f.seconds,
                    static_cast<unsigned long long>(f.bytes), f.ok ? "" : " (run failed)");
        std::printf("%s at the same byte count: %.2f s host; ratio flash/EPROM %.2f\n", e.device.c_str(), epromFor4MB,
                    epromFor4MB > 0 ? f.seconds / epromFor4MB : 0.0);
    }
    std::printf("\nhost time per port access goal %.0f ns: %s\n", kGoalNs, allWithinGoal ? "met on every bus" : "NOT met");
    return 0;
}
