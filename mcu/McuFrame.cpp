#include "mcu/McuFrame.h"

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

void ResetMcuFrameState() {
    EncryptionDialogResult = 1;
    LockBitLevel = 2;
    LockBitLevel106 = 1;
}
