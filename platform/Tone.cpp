#include "platform/Tone.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {
std::mutex g_mutex;
ToneSink g_sink;

// Starts the player (argv[0] found on PATH and run directly: a beep after
// every operation must not cost a shell) with its standard input on a pipe.
// Returns the pipe's write end and the process in `pid`, or -1.
int SpawnPlayer(const std::vector<std::string>& argv, int& pid) {
    pid = 0;
    if (argv.empty()) return -1;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t child = 0;
    const int rc = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        return -1;
    }
    pid = child;
    return fds[1];
}

void WriteAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // the player went away
        data += n;
        size -= static_cast<size_t>(n);
    }
}

// A square wave to the desktop's player; the terminal bell without one.
void PlayThroughDesktop(int hz, int ms) {
    // A player that quits early must not end the program with SIGPIPE; the
    // signal stays blocked in this thread only.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);

    int pid = 0;
    const int fd = SpawnPlayer(TonePlayerCommand(), pid);
    if (fd < 0) {
        std::fputc('\a', stderr);
        std::fflush(stderr);
        return;
    }
    const int n = ms > 0 ? ToneSampleRate * ms / 1000 : 0;
    std::vector<unsigned char> buf(static_cast<size_t>(n));
    const double period = hz > 0 ? static_cast<double>(ToneSampleRate) / hz : ToneSampleRate;
    for (int i = 0; i < n; ++i) {
        buf[static_cast<size_t>(i)] = std::fmod(i, period) < period / 2 ? 0xC0 : 0x40;
    }
    WriteAll(fd, buf.data(), buf.size());
    close(fd);
    if (pid > 0) {
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}
} // namespace

const std::vector<std::string>& TonePlayerCommand() {
    static const std::vector<std::string> command = {"aplay", "-q", "-t", "raw", "-f", "U8", "-r",
                                                     std::to_string(ToneSampleRate), "-c", "1"};
    return command;
}

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
