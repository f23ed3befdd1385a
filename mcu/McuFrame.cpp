#include "mcu/McuFrame.h"

namespace {
OptionDialogLauncher g_encryptionLauncher = nullptr;
} // namespace

int EncryptionDialogResult = 1;

void InstallEncryptionDialogLauncher(OptionDialogLauncher launcher) { g_encryptionLauncher = launcher; }

int ShowEncryptionDialog() {
    if (g_encryptionLauncher != nullptr) g_encryptionLauncher();
    return 1;
}

int Alg100Options() {
    ShowEncryptionDialog();
    return EncryptionDialogResult;
}

int Alg107Options() {
    ShowEncryptionDialog();
    return EncryptionDialogResult;
}
