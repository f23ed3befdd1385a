#include "mcu/McuFrame.h"

#include "engine/Messages.h"

namespace {
OptionDialogLauncher g_encryptionLauncher = nullptr;
OptionDialogLauncher g_lockLevelLauncher = nullptr;

int Launch(OptionDialogLauncher launcher) {
    if (launcher != nullptr) launcher();
    return 1;
}
} // namespace

int LockBitLevel = 2;
int LockBitLevel106 = 1;

int EncryptionDialogResult = 1;

void InstallEncryptionDialogLauncher(OptionDialogLauncher launcher) { g_encryptionLauncher = launcher; }

int ShowEncryptionDialog() { return Launch(g_encryptionLauncher); }

int Alg100Options() {
    ShowEncryptionDialog();
    return EncryptionDialogResult;
}

int Alg107Options() {
    ShowEncryptionDialog();
    return EncryptionDialogResult;
}

void InstallLockLevelDialogLauncher(OptionDialogLauncher launcher) { g_lockLevelLauncher = launcher; }

int Alg105Options() { return Launch(g_lockLevelLauncher); }
int Alg106Options() { return Launch(g_lockLevelLauncher); }

bool LockBitsTook(uint32_t lockRead, uint32_t asked, bool programmedReadsHigh) {
    const uint32_t programmed = programmedReadsHigh ? lockRead : ~lockRead;
    return (programmed & asked) == asked;
}

uint32_t LockBitsAsked(std::span<const uint32_t> bitOf, int count) {
    uint32_t mask = 0;
    for (size_t n = 0; n < bitOf.size() && static_cast<int>(n) < count; ++n) mask |= bitOf[n];
    return mask;
}

void ShowLocksNotReadBack() {
    ShowMessageLine(" Lock bits written; this part has no lock read, so they were not read back.");
}

void ResetMcuFrameState() {
    EncryptionDialogResult = 1;
    LockBitLevel = 2;
    LockBitLevel106 = 1;
}
