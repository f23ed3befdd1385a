// The simulated programmer as the algorithm tests use it: the universal image
// with its ID memory, electrical model and socket, reached through the port,
// the built device library beside the test, and the link brought up.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/Bringup.h"
#include "engine/Library.h"
#include "platform/PortIo.h"
#include "sim/Electrical.h"
#include "sim/IdMemory.h"
#include "sim/SimProgrammer.h"
#include "sim/Socket.h"
#include "sim/Universal.h"

inline void BringUpSimulatedProgrammer(sim::SimProgrammer& simp, sim::Electrical*& elec, sim::Socket*& socket) {
    sim::RegisterUniversalPersonalities();
    sim::LogicImageHeader h;
    h.personality = sim::kPersonalityUniversal;
    simp.ConfigureDirect(h);
    sim::AddIdMemory(simp);
    elec = sim::AddElectrical(simp);
    simp.AddComponent(std::unique_ptr<sim::Socket>(socket = new sim::Socket));
    InstallPortIoRef(&simp);
    ProgramDirectory = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    LibraryFileName = "krd.dat";
    ASSERT_EQ(ConnectProgrammer(0), 1);
}
