// Loads and saves a 4 MB image as Intel hex and as S-records and times
// objcopy doing the same conversions on the same files in the same run
// (objcopy -I ihex/srec -O binary for loads, -I binary -O ihex/srec for
// saves). Prints the best of several runs and the ratio ours / objcopy, and
// checks that both give the same bytes; nothing else is asserted.
//
//   bench_files [repeats]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Buffer.h"
#include "engine/HexFiles.h"

extern char** environ;

namespace {

constexpr uint32_t ImageBytes = 4u << 20;
constexpr uint32_t RecordBytes = 32; // records of the files that are loaded

double BestSeconds(int repeats, const std::function<bool()>& run) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        if (!run())
            return -1.0;
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    return best;
}

// Runs objcopy with these arguments (no shell in between); true on success.
bool Objcopy(std::vector<std::string> args) {
    args.insert(args.begin(), "objcopy");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "objcopy", &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Intel hex (type 04 records) or S3 records of RecordBytes bytes each.
void WriteRecords(const std::string& path, const std::vector<uint8_t>& image, bool intel) {
    std::string text;
    char line[128];
    for (uint32_t a = 0; a < image.size(); a += RecordBytes) {
        int n = 0;
        uint32_t sum = 0;
        if (intel) {
            if ((a & 0xFFFF) == 0) {
                const uint32_t upper = a >> 16;
                std::snprintf(line, sizeof line, ":02000004%04X%02X\r\n", upper,
                              (0x100 - ((6 + (upper >> 8) + (upper & 0xFF)) & 0xFF)) & 0xFF);
                text += line;
            }
            n = std::snprintf(line, sizeof line, ":%02X%04X00", RecordBytes, a & 0xFFFF);
            sum = RecordBytes + (a >> 8 & 0xFF) + (a & 0xFF);
        } else {
            n = std::snprintf(line, sizeof line, "S3%02X%08X", RecordBytes + 5, a);
            sum = RecordBytes + 5 + (a >> 24) + (a >> 16 & 0xFF) + (a >> 8 & 0xFF) + (a & 0xFF);
        }
        for (uint32_t i = 0; i < RecordBytes; ++i) {
            n += std::snprintf(line + n, sizeof line - n, "%02X", image[a + i]);
            sum += image[a + i];
        }
        std::snprintf(line + n, sizeof line - n, "%02X\r\n", (intel ? 0x100 - (sum & 0xFF) : ~sum) & 0xFF);
        text += line;
    }
    if (intel) text += ":00000001FF\r\n";
    std::ofstream(path, std::ios::binary) << text;
}

void Row(const char* what, double ours, double tool, const char* same) {
    std::printf("%-30s %9.4f s %9.4f s %8.2f   %s\n", what, ours, tool, tool > 0 ? ours / tool : 0.0, same);
}

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const bool haveTool = Objcopy({"--version"});
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("bench_files." + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto path = [&](const char* name) { return (dir / name).string(); };

    std::vector<uint8_t> image(ImageBytes);
    uint32_t seed = 12345;
    for (uint8_t& b : image) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    const std::string expected(image.begin(), image.end());
    std::ofstream(path("image.bin"), std::ios::binary) << expected;
    WriteRecords(path("in.hex"), image, true);
    WriteRecords(path("in.s3"), image, false);

    InitBuffers();
    if (SelectBank(ImageBytes - 1, 1) != 1) {
        std::fprintf(stderr, "bench_files: the buffer cannot hold %u bytes\n", ImageBytes);
        return 1;
    }
    auto bufferHolds = [&] { return std::equal(image.begin(), image.end(), BufferImage()); };

    std::printf("4 MB image; loads from %u-byte records (Intel %.1f MB, S3 %.1f MB of text); best of %d\n",
                RecordBytes, std::filesystem::file_size(path("in.hex")) / 1e6,
                std::filesystem::file_size(path("in.s3")) / 1e6, repeats);
    std::printf("%-30s %11s %11s %8s   %s\n", "", "ours", "objcopy", "ratio", "same bytes");

    struct Load { const char* what; const char* file; const char* bfd; };
    for (const Load& l : {Load{"load Intel hex", "in.hex", "ihex"}, Load{"load S-records", "in.s3", "srec"}}) {
        const double ours = BestSeconds(repeats, [&] { return LoadHexFamilyFile(path(l.file), 0, 0) == 1; });
        const bool oursSame = bufferHolds();
        double tool = -1;
        bool same = oursSame;
        if (haveTool) {
            tool = BestSeconds(repeats, [&] { return Objcopy({"-I", l.bfd, "-O", "binary", path(l.file), path("tool.bin")}); });
            same = same && ReadFile(path("tool.bin")) == expected;
        }
        Row(l.what, ours, tool, same ? "yes" : "NO");
    }

    std::copy(image.begin(), image.end(), BufferImage());
    struct Save { const char* what; int format; const char* bfd; };
    for (const Save& s : {Save{"save Intel hex", HexFormatIntel, "ihex"}, Save{"save S-records", HexFormatMotorola, "srec"}}) {
        const std::string ours = path(s.format == HexFormatIntel ? "ours.hex" : "ours.s3");
        const double mine = BestSeconds(repeats, [&] { return SaveHexFamilyFile(ours, 0, ImageBytes - 1, s.format) == 1; });
        double tool = -1;
        bool same = true;
        if (haveTool) {
            tool = BestSeconds(repeats, [&] { return Objcopy({"-I", "binary", "-O", s.bfd, path("image.bin"), path("tool.txt")}); });
            // Ours read back by objcopy, objcopy's read back by us.
            same = Objcopy({"-I", s.bfd, "-O", "binary", ours, path("back.bin")}) && ReadFile(path("back.bin")) == expected;
            same = same && LoadHexFamilyFile(path("tool.txt"), 0, 0) == 1 && bufferHolds();
        }
        Row(s.what, mine, tool, same ? "yes" : "NO");
    }
    if (!haveTool)
        std::printf("objcopy not installed: no comparison.\n");
    std::printf("goal: ratio 0.50 or less (at least twice as fast as objcopy)\n");
    FreeBuffers();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
