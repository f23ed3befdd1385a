// Fill, checksum and pattern search of the data buffer over a 64 MB image,
// each next to the plain library routine over the same memory.
//
//   bench_buffer [repeats]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Services.h"

namespace {

constexpr uint32_t kImageBytes = 64u << 20;

template <class F>
double BestMs(int repeats, F&& f) {
    f(); // warm-up, untimed
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

void Report(const char* what, double ours, double plain) {
    const double mb = kImageBytes / double(1 << 20);
    std::printf("%-16s buffer %8.2f ms (%7.0f MB/s)   plain %8.2f ms (%7.0f MB/s)   ratio %.2f\n", what, ours,
                mb / ours * 1000.0, plain, mb / plain * 1000.0, ours / plain);
}

volatile uint32_t sink32;
volatile const void* sinkPtr;
volatile int64_t sink64;

} // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    InitBuffers();
    if (SelectBank(kImageBytes - 1, 1) != 1) {
        std::fprintf(stderr, "the buffer cannot hold %u bytes\n", kImageBytes);
        return 1;
    }
    uint8_t* image = BufferImage();
    std::printf("image %u MB in %u banks, best of %d runs\n", kImageBytes >> 20, BankCount, repeats);

    // Fill.
    const double fillOurs = BestMs(repeats, [] { FillBufferRange(0, kImageBytes - 1, 0x5A); });
    const double fillPlain = BestMs(repeats, [&] { std::memset(image, 0x5A, kImageBytes); });
    Report("fill", fillOurs, fillPlain);

    // Checksum over varied data.
    for (uint32_t i = 0; i < kImageBytes; ++i) image[i] = static_cast<uint8_t>(i * 131u >> 3);
    DeviceSection = SectionEprom;
    DeviceSize = kImageBytes;
    CurrentAlgorithm = 0;
    uint32_t plainSum = 0;
    const double sumOurs = BestMs(repeats, [] { sink32 = ComputeBufferChecksum(0, kImageBytes - 1); });
    const double sumPlain = BestMs(repeats, [&] {
        uint32_t s = 0;
        for (uint32_t i = 0; i < kImageBytes; ++i) s += image[i];
        plainSum = s;
        sink32 = s;
    });
    Report("checksum", sumOurs, sumPlain);
    if (BufferChecksum != plainSum) {
        std::fprintf(stderr, "checksum mismatch: %08X vs %08X\n", BufferChecksum, plainSum);
        return 1;
    }

    // Pattern search: 8 bytes planted near the end of the image.
    const uint8_t pattern[8] = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23, 0x45, 0x67};
    std::memset(image, 0xDE, kImageBytes); // every byte a partial match of one
    const uint32_t at = kImageBytes - 1000;
    std::memcpy(image + at, pattern, sizeof pattern);
    int64_t found = -1;
    const double findOurs = BestMs(repeats, [&] { sink64 = found = FindPattern(0, 0, "DEADBEEF01234567"); });
    const void* plainHit = nullptr;
    const double findPlain = BestMs(repeats, [&] { sinkPtr = plainHit = memmem(image, kImageBytes, pattern, 8); });
    Report("search", findOurs, findPlain);
    if (found != at || plainHit != image + at) {
        std::fprintf(stderr, "search found %lld\n", static_cast<long long>(found));
        return 1;
    }
    // Backward from the end to a match near the start; every byte equals the
    // pattern's last byte, the worst case of the backward scan.
    std::memset(image, 0x67, kImageBytes);
    std::memcpy(image + 1000, pattern, sizeof pattern);
    const double backOurs =
        BestMs(repeats, [&] { sink64 = found = FindPattern(kImageBytes - 1, 1, "DEADBEEF01234567"); });
    int64_t plainFound = -1;
    const double backPlain = BestMs(repeats, [&] {
        // The straightforward reverse scan: compare at every address from the top.
        plainFound = -1;
        for (int64_t i = kImageBytes - sizeof pattern; i >= 0; --i) {
            if (image[i + 7] == pattern[7] && std::memcmp(image + i, pattern, sizeof pattern) == 0) {
                plainFound = i;
                break;
            }
        }
        sink64 = plainFound;
    });
    Report("search backward", backOurs, backPlain);
    std::printf("(backward is set against a plain reverse scan: the C library has no reverse memmem)\n");
    std::printf("goal: ratio 1.50 or less (within 1.5x of the plain loop or the C library)\n");
    if (found != 1000 || plainFound != 1000) {
        std::fprintf(stderr, "backward search found %lld\n", static_cast<long long>(found));
        return 1;
    }
    FreeBuffers();
    return 0;
}
