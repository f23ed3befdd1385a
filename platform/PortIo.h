// Byte-wide access to the parallel port and the PC speaker ports.
// Every byte to the programmer goes through the installed backend.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class PortIo {
public:
    virtual ~PortIo() = default;
    virtual void Out(uint16_t port, uint8_t value) = 0;
    virtual uint8_t In(uint16_t port) = 0;
    virtual const char* Name() const = 0;
    // Whether a port at this base can be reached at all (a ppdev node reaches
    // only its own port); the bring-up probes only the bases that answer true.
    virtual bool Reaches(uint16_t base) const {
        (void)base;
        return true;
    }
};

// The backend in use. Before any is installed, a backend that answers nothing
// (reads all ones) stands in, as an absent programmer would.
PortIo& CurrentPortIo();
void InstallPortIo(std::unique_ptr<PortIo> io);
// Puts a caller-owned backend in place (tests); nullptr restores the absent one.
void InstallPortIoRef(PortIo* io);

// What PROGRAMMER_PORT asks for.
enum class PortBackendKind { Sim, Ppdev, Raw, Unset };
struct PortBackendChoice {
    PortBackendKind kind = PortBackendKind::Unset;
    std::string device; // ppdev node for Ppdev
};
PortBackendChoice ParsePortBackendChoice(const char* env);

// The ppdev node of a configured port index (1-3: parport0-2).
std::string PpdevNodeForIndex(uint32_t portIndex);

// Why `port` (a ppdev node, or "raw port access") cannot be used: the port,
// the system's reason for errno `err`, and what the user can do about it
// where that is known (the lp group for a ppdev node, root or CAP_SYS_RAWIO
// for direct access, a port claimed by another driver).
std::string DescribePortOpenFailure(const std::string& port, int err);

// Backends for real hardware. Return nullptr with `error` set (as
// DescribePortOpenFailure words it) when they cannot open.
std::unique_ptr<PortIo> OpenPpdevPort(const std::string& node, uint16_t base, std::string& error);
// Tests put a stand-in for the ppdev opener in place, to see which node the
// program opens on which base; nullptr restores the real one.
using PpdevOpener = std::unique_ptr<PortIo> (*)(const std::string& node, uint16_t base, std::string& error);
void SetPpdevOpener(PpdevOpener opener);
std::unique_ptr<PortIo> OpenRawPort(std::string& error);
// A backend with no programmer behind it: every read answers all ones.
std::unique_ptr<PortIo> MakeAbsentPort();

// The simulated programmer lives outside this folder; the program registers a
// factory for it so the backend choice can create it.
using SimPortFactory = std::unique_ptr<PortIo> (*)();
void RegisterSimPortFactory(SimPortFactory factory);
SimPortFactory GetSimPortFactory();
