#include "platform/PortIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

class AbsentPort final : public PortIo {
public:
    void Out(uint16_t, uint8_t) override {}
    uint8_t In(uint16_t) override { return 0xFF; }
    const char* Name() const override { return "none"; }
};

AbsentPort g_absent;
std::unique_ptr<PortIo> g_owned;
PortIo* g_current = &g_absent;
SimPortFactory g_simFactory = nullptr;

// Linux ppdev: the three registers of the port claimed through ioctls. The
// port number given by the engine is mapped onto data/status/control by its
// offset from the base the port was opened for.
class PpdevPort final : public PortIo {
public:
    PpdevPort(int fd, uint16_t base) : fd_(fd), base_(base) {}
    ~PpdevPort() override {
        ioctl(fd_, PPRELEASE);
        close(fd_);
    }
    void Out(uint16_t port, uint8_t value) override {
        int off = port - base_;
        if (off == 0) {
            ioctl(fd_, PPWDATA, &value);
        } else if (off == 2) {
            // ppdev's control byte is not inverted; the engine only drives bit 0.
            ioctl(fd_, PPWCONTROL, &value);
        }
    }
    uint8_t In(uint16_t port) override {
        uint8_t v = 0xFF;
        int off = port - base_;
        if (off == 0) {
            ioctl(fd_, PPRDATA, &v);
        } else if (off == 1) {
            ioctl(fd_, PPRSTATUS, &v);
        } else if (off == 2) {
            ioctl(fd_, PPRCONTROL, &v);
        }
        return v;
    }
    const char* Name() const override { return "ppdev"; }
    bool Reaches(uint16_t base) const override { return base == base_; }

private:
    int fd_;
    uint16_t base_;
};

// Direct port I/O (needs root or CAP_SYS_RAWIO).
class RawPort final : public PortIo {
public:
    void Out(uint16_t port, uint8_t value) override { outb(value, port); }
    uint8_t In(uint16_t port) override { return inb(port); }
    const char* Name() const override { return "raw"; }
};

} // namespace

PortIo& CurrentPortIo() { return *g_current; }

void InstallPortIo(std::unique_ptr<PortIo> io) {
    g_owned = std::move(io);
    g_current = g_owned ? g_owned.get() : &g_absent;
}

void InstallPortIoRef(PortIo* io) {
    g_owned.reset();
    g_current = io ? io : &g_absent;
}

PortBackendChoice ParsePortBackendChoice(const char* env) {
    PortBackendChoice c;
    if (env == nullptr || *env == '\0') return c;
    std::string v(env);
    if (v == "sim") {
        c.kind = PortBackendKind::Sim;
    } else if (v == "raw") {
        c.kind = PortBackendKind::Raw;
    } else {
        c.kind = PortBackendKind::Ppdev;
        c.device = v;
    }
    return c;
}

std::string PpdevNodeForIndex(uint32_t portIndex) {
    if (portIndex < 1 || portIndex > 3) return {};
    return "/dev/parport" + std::to_string(portIndex - 1);
}

std::string DescribePortOpenFailure(const std::string& port, int err) {
    std::string text = port + ": " + std::strerror(err);
    const bool node = port.rfind("/dev/", 0) == 0;
    if ((err == EACCES || err == EPERM) && node) {
        text += " (the user needs read and write access to " + port +
                ", usually by membership in the lp group: sudo usermod -aG lp $USER, then log in again)";
    } else if (err == EACCES || err == EPERM) {
        text += " (direct port access needs root or CAP_SYS_RAWIO)";
    } else if (err == EBUSY) {
        text += " (the port is claimed by another driver or program)";
    }
    return text;
}

namespace {
std::unique_ptr<PortIo> OpenRealPpdevPort(const std::string& node, uint16_t base, std::string& error) {
    int fd = open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = DescribePortOpenFailure(node, errno);
        return nullptr;
    }
    if (ioctl(fd, PPCLAIM) != 0) {
        error = DescribePortOpenFailure(node, errno);
        close(fd);
        return nullptr;
    }
    return std::make_unique<PpdevPort>(fd, base);
}

PpdevOpener g_ppdevOpener = OpenRealPpdevPort;
} // namespace

std::unique_ptr<PortIo> OpenPpdevPort(const std::string& node, uint16_t base, std::string& error) {
    return g_ppdevOpener(node, base, error);
}

void SetPpdevOpener(PpdevOpener opener) { g_ppdevOpener = opener != nullptr ? opener : OpenRealPpdevPort; }

std::unique_ptr<PortIo> OpenRawPort(std::string& error) {
    if (iopl(3) != 0) {
        error = DescribePortOpenFailure("raw port access", errno);
        return nullptr;
    }
    return std::make_unique<RawPort>();
}

std::unique_ptr<PortIo> MakeAbsentPort() { return std::make_unique<AbsentPort>(); }

void RegisterSimPortFactory(SimPortFactory factory) { g_simFactory = factory; }
SimPortFactory GetSimPortFactory() { return g_simFactory; }
