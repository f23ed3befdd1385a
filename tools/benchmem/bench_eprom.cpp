// Programs and verifies a 64 KB EPROM on the simulated programmer through the
// row-0 entries and reports the wall time and the port accesses per byte,
// next to the fewest the frame's register traffic allows, and the host time
// per port access (engine plus simulator) against its goal.
//
//   bench_eprom [variant]      variant of the row-0 table (default 2)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Services.h"
#include "memory/Eprom.h"
#include "memory/InstallMemoryRows.h"
#include "platform/PortIo.h"
#include "sim/Electrical.h"
#include "sim/EpromChip.h"
#include "sim/IdMemory.h"
#include "sim/MemoryBus.h"
#include "sim/SimProgrammer.h"

namespace {

// Register accesses of the run, from the programmer's trace.
struct RegisterCounts {
    uint64_t writes = 0, reads = 0;
};
RegisterCounts CountRegisters(const sim::SimProgrammer& p) {
    RegisterCounts c;
    for (const auto& a : p.RegisterTrace()) (a.write ? c.writes : c.reads) += 1;
    return c;
}

} // namespace

int main(int argc, char** argv) {
    const int variant = argc > 1 ? std::atoi(argv[1]) : 2;
    constexpr uint32_t kBytes = 0x10000;
    // Host time per simulated port access the simulator's hot path aims at.
    constexpr double kGoalNs = 50.0;

    sim::SimProgrammer simp;
    sim::RegisterMemoryBusPersonality();
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityMemoryBus;
    h.params[0] = 0;
    h.params[1] = 32;
    h.params[2] = 16;
    h.params[3] = 31; // a 32-pin 64 KB part with /PGM on pin 31 and Vpp on pin 1
    simp.ConfigureDirect(h);
    sim::AddIdMemory(simp);
    sim::Electrical* elec = sim::AddElectrical(simp);
    auto socket = std::make_unique<sim::Socket>();
    sim::Socket* sock = socket.get();
    simp.AddComponent(std::move(socket));
    sim::EpromConfig cfg = sim::Jedec32("27C512 (32-pin)", kBytes);
    cfg.pgmPin = 31;
    sim::EpromChip* chip = sock->Insert(std::make_unique<sim::EpromChip>(cfg));
    elec->DeclareChip(chip->Limits());

    // The simulator is the port, as in the program, and counts its accesses.
    InstallPortIoRef(&simp);
    InitBuffers();
    ResetAlgorithmTable();
    InstallMemoryAlgorithms();
    if (ConnectProgrammer(0) != 1) {
        std::fprintf(stderr, "the simulated programmer did not answer\n");
        return 1;
    }
    // The device: row 0, 64 KB in a 32-pin package with Vpp on pin 1.
    DeviceParameters params{};
    WriteParameterField(params, FieldAlgorithm, 2, 0);
    WriteParameterField(params, FieldLogicImage, 2, 5);
    WriteParameterField(params, FieldOperationMask, 2, 0x41F);
    WriteParameterField(params, FieldVariant, 1, static_cast<uint32_t>(variant));
    WriteParameterField(params, FieldPackage, 2, 18);
    WriteParameterField(params, FieldDeviceSize, 4, kBytes);
    WriteParameterField(params, FieldDataWidth, 1, 8);
    WriteParameterField(params, FieldPageSize, 2, 25);
    WriteParameterField(params, FieldVccp, 2, 625);
    WriteParameterField(params, FieldVpp, 2, 1275);
    WriteParameterField(params, FieldPulseWidth, 2, 100);
    WriteParameterField(params, FieldReadVcc, 1, 50);
    WriteParameterField(params, FieldReadVccLow, 1, 50);
    WriteParameterField(params, FieldReadVccHigh, 1, 50);
    DeviceRecord record{};
    MakeDeviceRecord(SectionEprom, 0, "bench 27C512", params, record);
    DeviceSection = SectionEprom;
    SetCurrentDevice(record);
    uint32_t x = 1;
    for (uint32_t a = 0; a < kBytes; ++a) {
        x = x * 1103515245u + 12345u;
        BufferWindow[a] = static_cast<uint8_t>(x >> 16);
        if (BufferWindow[a] == 0xFF) BufferWindow[a] = 0x7F; // every byte takes a pulse
    }

    // The cost of one register access on the port.
    const uint64_t w0 = simp.PortAccesses();
    WriteRegister(4, 0x1F);
    const uint64_t writeCost = simp.PortAccesses() - w0;
    const uint64_t r0 = simp.PortAccesses();
    (void)ReadRegister(6);
    const uint64_t readCost = simp.PortAccesses() - r0;

    auto run = [&](const char* what, auto&& entry) {
        PrepareOperation(MainEngine);
        simp.ClearTrace();
        simp.EnableTrace(true);
        const uint64_t p0 = simp.PortAccesses(), v0 = simp.NowUs();
        const auto t0 = std::chrono::steady_clock::now();
        const int r = entry();
        const auto t1 = std::chrono::steady_clock::now();
        simp.EnableTrace(false);
        const RegisterCounts rc = CountRegisters(simp);
        const uint64_t accesses = simp.PortAccesses() - p0;
        const double ports = double(accesses) / kBytes;
        const double ns = std::chrono::duration<double, std::nano>(t1 - t0).count() / double(accesses);
        // What is neither a register write nor a register read polls the timer.
        const double polls = ports - double(rc.writes * writeCost + rc.reads * readCost) / kBytes;
        std::printf("%-8s result %d  wall %8.1f ms  virtual %8.1f ms  %6.2f port accesses/byte"
                    "  (%5.2f register writes, %5.2f reads, %5.2f timer polls per byte)\n",
                    what, r, std::chrono::duration<double, std::milli>(t1 - t0).count(), (simp.NowUs() - v0) / 1000.0,
                    ports, double(rc.writes) / kBytes, double(rc.reads) / kBytes, polls);
        std::printf("%-8s %6.1f ns per port access, goal %.0f ns: %.2fx the goal (%s)\n", what, ns, kGoalNs,
                    ns / kGoalNs, ns <= kGoalNs ? "met" : "not met");
        return std::make_pair(rc, polls);
    };

    run("program", [] { return AlgorithmTable[0].Program(); });
    run("verify", [] { return AlgorithmTable[0].Read(3); });

    // The fewest the frame allows, per byte. Program: registers 0, 1 and 6,
    // the pulse strobe, the timer start and one timer poll, the read strobe
    // and one data read; with register 1 written only at its 256-byte
    // boundaries, one write less. Verify in sequential mode: one data read.
    const double programFrame = 6 * writeCost + 1 * readCost + 1;
    const double programBoundary = (5 + 1.0 / 256) * writeCost + 1 * readCost + 1;
    const double verifyFloor = 1 * readCost;
    std::printf("register write = %llu port accesses, read = %llu\n", static_cast<unsigned long long>(writeCost),
                static_cast<unsigned long long>(readCost));
    std::printf("fewest the frame allows: program %.2f (%.2f with register 1 only at its boundaries), "
                "verify %.2f port accesses/byte\n",
                programFrame, programBoundary, verifyFloor);
    std::printf("chip: %u program pulses, %zu violations\n", chip->ProgramPulseCount(), simp.Violations().size());
    InstallPortIoRef(nullptr);
    FreeBuffers();
    return 0;
}
