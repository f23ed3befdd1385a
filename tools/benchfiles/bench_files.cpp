// Loads and saves an 8 MB image as Intel hex and as S-records and times
// srec_cat doing the same conversions on the same files. Prints the times and
// the ratio ours / srec_cat; not a test, nothing is asserted.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/Buffer.h"
#include "engine/HexFiles.h"

namespace {

constexpr uint32_t ImageBytes = 8u << 20;

double Seconds(const std::chrono::steady_clock::time_point& t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Runs a command and returns its wall time, or -1 when it failed.
double TimeCommand(const std::string& cmd) {
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system((cmd + " 2>/dev/null").c_str());
    return rc == 0 ? Seconds(t0) : -1.0;
}

void Row(const char* what, double ours, double tool) {
    if (tool > 0)
        std::printf("%-34s %9.3f s %11.3f s %9.2f\n", what, ours, tool, ours / tool);
    else
        std::printf("%-34s %9.3f s %13s %9s\n", what, ours, "n/a", "-");
}

} // namespace

int main() {
    const bool haveTool = std::system("command -v srec_cat >/dev/null 2>&1") == 0;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("bench_files." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string bin = (dir / "image.bin").string();
    const std::string hex = (dir / "image.hex").string();
    const std::string srec = (dir / "image.s3").string();

    InitBuffers();
    if (SelectBank(ImageBytes - 1, 1) != 1) {
        std::fprintf(stderr, "bench_files: the buffer cannot hold %u bytes\n", ImageBytes);
        return 1;
    }
    uint32_t seed = 12345;
    uint8_t* image = BufferImage();
    for (uint32_t i = 0; i < ImageBytes; ++i) {
        seed = seed * 1103515245u + 12345u;
        image[i] = static_cast<uint8_t>(seed >> 16);
    }
    SelectBank(0, 0);
    {
        std::ofstream out(bin, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image), ImageBytes);
    }

    std::printf("8 MB image (%u bytes); the hex loader stores records up to 400000h.\n", ImageBytes);
    std::printf("%-34s %11s %13s %9s\n", "", "ours", "srec_cat", "ratio");

    auto t0 = std::chrono::steady_clock::now();
    SaveHexFamilyFile(hex, 0, ImageBytes - 1, HexFormatIntel);
    double saveIntel = Seconds(t0);
    double toolIntel = haveTool ? TimeCommand("srec_cat " + bin + " -binary -o " + dir.string() + "/tool.hex -intel") : -1;
    Row("save Intel hex (buffer -> file)", saveIntel, toolIntel);

    t0 = std::chrono::steady_clock::now();
    SaveHexFamilyFile(srec, 0, ImageBytes - 1, HexFormatMotorola);
    double saveS = Seconds(t0);
    double toolS = haveTool ? TimeCommand("srec_cat " + bin + " -binary -o " + dir.string() +
                                          "/tool.s3 -motorola -address-length=4")
                            : -1;
    Row("save S-records (buffer -> file)", saveS, toolS);

    t0 = std::chrono::steady_clock::now();
    LoadHexFamilyFile(hex, 0, 0);
    double loadIntel = Seconds(t0);
    double toolLoadIntel = haveTool ? TimeCommand("srec_cat " + hex + " -intel -o " + dir.string() + "/back1.bin -binary") : -1;
    Row("load Intel hex (file -> buffer)", loadIntel, toolLoadIntel);

    t0 = std::chrono::steady_clock::now();
    LoadHexFamilyFile(srec, 0, 0);
    double loadS = Seconds(t0);
    double toolLoadS = haveTool ? TimeCommand("srec_cat " + srec + " -motorola -o " + dir.string() + "/back2.bin -binary") : -1;
    Row("load S-records (file -> buffer)", loadS, toolLoadS);

    if (!haveTool)
        std::printf("srec_cat not installed: no comparison.\n");
    FreeBuffers();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
