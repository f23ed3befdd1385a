#include "platform/Tone.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
std::mutex g_mutex;
ToneSink g_sink;

// Writes a square wave as raw 8 kHz unsigned 8-bit samples to `aplay` when the
// desktop has it; otherwise rings the terminal bell.
void PlayThroughDesktop(int hz, int ms) {
    std::FILE* p = nullptr;
    if (std::system("command -v aplay >/dev/null 2>&1") == 0) {
        p = popen("aplay -q -t raw -f U8 -r 8000 -c 1 2>/dev/null", "w");
    }
    if (p == nullptr) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
        return;
    }
    const int rate = 8000;
    const int n = rate * ms / 1000;
    std::vector<unsigned char> buf(static_cast<size_t>(n));
    const double period = hz > 0 ? static_cast<double>(rate) / hz : rate;
    for (int i = 0; i < n; ++i) {
        buf[static_cast<size_t>(i)] = std::fmod(i, period) < period / 2 ? 0xC0 : 0x40;
    }
    std::fwrite(buf.data(), 1, buf.size(), p);
    pclose(p);
}
} // namespace

void PlayTone(int frequencyHz, int durationMs) {
    ToneSink sink;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        sink = g_sink;
    }
    if (sink) {
        sink(frequencyHz, durationMs);
        return;
    }
    std::thread(PlayThroughDesktop, frequencyHz, durationMs).detach();
}

void SetToneSink(ToneSink sink) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = std::move(sink);
}
