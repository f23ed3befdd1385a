// The speaker stand-in on the desktop: a tone starts the player program
// itself, with no shell in between, and hands it the tone's full length.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Tone.h"

namespace {

class ToneTest : public ::testing::Test {
protected:
    std::string dir, oldPath;

    void SetUp() override {
        char templ[] = "/tmp/tonetestXXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir = templ;
        oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        SetToneSink(nullptr);
    }
    void TearDown() override {
        setenv("PATH", oldPath.c_str(), 1);
        std::system(("rm -rf '" + dir + "'").c_str());
    }
    // A stand-in player on PATH under the real player's name: it notes its
    // parent process and arguments, then passes its input into a FIFO.
    void InstallFakePlayer() {
        const std::string player = dir + "/" + TonePlayerCommand()[0];
        std::ofstream(player) << "#!/bin/sh\necho \"$PPID $*\" > '" << dir << "/args'\nexec /bin/cat > '" << dir
                              << "/fifo'\n";
        ASSERT_EQ(chmod(player.c_str(), 0755), 0);
        ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
        setenv("PATH", (dir + ":" + oldPath).c_str(), 1);
    }
    // Everything the player received; returns when it has finished.
    std::string PlayerInput() const {
        const int fd = open((dir + "/fifo").c_str(), O_RDONLY);
        std::string data;
        char buf[4096];
        for (ssize_t n; fd >= 0 && (n = read(fd, buf, sizeof buf)) > 0;) data.append(buf, static_cast<size_t>(n));
        if (fd >= 0) close(fd);
        return data;
    }
};

TEST_F(ToneTest, TheProgramStartsThePlayerItselfWithTheWholeTone) {
    InstallFakePlayer();
    PlayTone(1000, 100);
    const std::string samples = PlayerInput();
    // 100 ms at 8 kHz, a square wave of 8 samples per period.
    ASSERT_EQ(samples.size(), static_cast<size_t>(ToneSampleRate / 10));
    EXPECT_EQ(samples.substr(0, 8), "\xC0\xC0\xC0\xC0\x40\x40\x40\x40");

    std::ifstream args(dir + "/args");
    long parent = 0;
    std::string rest;
    args >> parent;
    std::getline(args, rest);
    // The player's parent is this process: no shell started it.
    EXPECT_EQ(parent, static_cast<long>(getpid()));
    EXPECT_EQ(rest, " -q -t raw -f U8 -r 8000 -c 1");
}

} // namespace
