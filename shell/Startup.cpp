#include "shell/Startup.h"

#include <QCoreApplication>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Port.h"
#include "logic/InstallLogicRows.h"
#include "logic/Opt16v8.h"
#include "mcu/Encrypt.h"
#include "mcu/InstallMcuRows.h"
#include "mcu/McuFrame.h"
#include "mcu/OptAt89C5x.h"
#include "mcu/OptW78E5x.h"
#include "mcu/Flash89C51Rx.h"
#include "mcu/Opt89C51Rx.h"
#include "mcu/OptT89C51RD2.h"
#include "mcu/T89C51RD2.h"
#include "mcu/W78E5x.h"
#include "mcu/Opt89csst.h"
#include "mcu/Sst89.h"
#include "mcu/Opt87C76x.h"
#include "mcu/Otp87C76x.h"
#include "mcu/OptGms87c1202.h"
#include "mcu/Gms87Otp.h"
#include "mcu/OptPic.h"
#include "mcu/OptZilog.h"
#include "mcu/Zilog.h"
#include "mcu/Avr.h"
#include "mcu/OptAt90Sxx.h"
#include "memory/InstallMemoryRows.h"
#include "memory/Opt24fxx.h"
#include "memory/Opt25xx.h"
#include "memory/OptX68c64.h"
#include "memory/Opt28xxx.h"
#include "memory/OptSecProt.h"
#include "memory/Opt49f010.h"
#include "memory/OptNand.h"
#include "memory/OptX76F100.h"
#include "memory/OptXC18V00.h"
#include "memory/OptXc17xx.h"
#include "memory/OptAt17Cxx.h"
#include "shell/CfgOpt.h"
#include "shell/Editbyte.h"
#include "shell/InfoPanel.h"
#include "shell/Main.h"
#include "shell/Select.h"
#include "shell/SimSetup.h"
#include "shell/Thread.h"

const ProductModel ProductModelTable[kProductModelCount] = {
    {"GZ5N.EXE", "Brindlewood 300", "gz5n.dat", "gz5n.cfg"},
    {"HJXE.EXE", "Sorrel Deck", "hjxe.dat", "hjxe.cfg"},
    {"YLB.EXE", "KAV-RI", "ylb.dat", "ylb.cfg"},
    {"312Q.EXE", "Tarn 3120", "312q.dat", "312q.cfg"},
    {"PLORV.EXE", "Wend Pike", "plorv.dat", "plorv.cfg"},
    {nullptr, "Vexlor", "krd.dat", "krd.cfg"},
};

const char* ConfigFileName = "krd.cfg";
int SelectedProductRow = kProductModelCount - 1;

namespace {
std::string g_startedAs;
} // namespace

ProductSelection SelectProductForPath(const std::string& path) {
    ProductSelection sel;
    std::string upper = path;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A Linux executable has no ".EXE"; give the name one so the product names match.
    if (path.find('.', nameStart) == std::string::npos) upper += ".EXE";
    for (int row = 0; row < kProductModelCount - 1; ++row) {
        if (upper.find(ProductModelTable[row].ExecutableName) != std::string::npos) {
            sel.Row = row;
            break;
        }
    }
    if (slash == std::string::npos)
        sel.Directory.clear();
    else if (slash == 0)
        sel.Directory = "/";
    else
        sel.Directory = path.substr(0, slash);
    return sel;
}

void SetStartedAs(const std::string& argv0) {
    namespace fs = std::filesystem;
    std::string path = argv0;
    if (path.find('/') == std::string::npos) {
        // Started through PATH: the first directory holding the name.
        const char* env = std::getenv("PATH");
        std::string list = env ? env : "";
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t end = list.find(':', pos);
            if (end == std::string::npos) end = list.size();
            std::string dir = list.substr(pos, end - pos);
            if (dir.empty()) dir = ".";
            std::string candidate = dir + "/" + argv0;
            if (access(candidate.c_str(), X_OK) == 0) {
                path = candidate;
                break;
            }
            pos = end + 1;
        }
    }
    std::error_code ec;
    fs::path abs = fs::absolute(fs::path(path), ec);
    // Absolute and tidied, but not through symlinks: a product link keeps its name.
    g_startedAs = ec ? path : abs.lexically_normal().string();
}

const std::string& StartedAsPath() { return g_startedAs; }

void SelectProductByExeName() {
    HardwareKind = GetHardwareKind();
    ProductSelection sel = SelectProductForPath(g_startedAs);
    const ProductModel& row = ProductModelTable[sel.Row];
    SelectedProductRow = sel.Row;
    ProductName = row.ProductName;
    LibraryFileName = row.LibraryFileName;
    ConfigFileName = row.ConfigFileName;
    ProgramDirectory = sel.Directory;
}

std::string ConfigFilePath() {
    if (ProgramDirectory.empty()) return ConfigFileName;
    if (ProgramDirectory == "/") return std::string("/") + ConfigFileName;
    return ProgramDirectory + "/" + ConfigFileName;
}

void CreateFormsAndLoadConfig() {
    if (Form1) {
        Form1->setWindowTitle(QString::fromUtf8(ProductName));
        Form1->repaint();
    }
    // The buffer editors are made when first opened (with the main window as
    // their parent); the configuration and selection forms live for the run.
    CreateConfigOptionsForm(Form1);
    CreateDeviceSelectionForm(Form1);
    // The algorithm rows of the device families, before a device is chosen.
    InstallMemoryAlgorithms();
    InstallLogicAlgorithms();
    InstallOptRalDialog();
    InstallOpt24Dialogs();
    InstallOpt25Dialogs();
    InstallOptSecProtDialog();
    InstallOpt49fxxDialog();
    InstallOptNandDialog();
    InstallOptX76Dialogs();
    InstallOptXC18V00Dialog();
    InstallOptXx8C64Dialog();
    InstallOptXc17xxDialog();
    InstallOptAt17CxxDialog();
    InstallOptProtectDialog();
    InstallMcuAlgorithms();
    InstallEncryptionDialogLauncher(RunEncryptionDialog);
    InstallLockLevelDialogLauncher(RunLockLevelDialog);
    InstallW78E5xDialogLauncher(RunW78E5xDialog);
    InstallSst89DialogLauncher(RunSst89Dialog);
    Install87C76xDialogLauncher(Run87C76xDialog);
    InstallGms87DialogLauncher(RunGms87Dialog);
    InstallRx51DialogLauncher(RunRx51Dialog);
    InstallT89C51RD2DialogLauncher(RunT89C51RD2Dialog);
    InstallPicDialogLauncher(RunPicDialog);
    InstallZilogDialogLauncher(ShowZilogOptionDialog);
    InstallAvrDialogLauncher(RunAvrFuseDialog);
    LoadConfigOrProjectFile(ConfigFilePath(), 0);
    if (Form1) Form1->EnableOperationControls(SupportedOperationMask);
    UpdateInfoPanel();
    PopulateDeviceSelection(SelDev);
}

void QuitWhenMainFormCloses(TForm1* form) {
    // Queued: the quit closes what is still open, once the main window is gone.
    QObject::connect(form, &TForm1::FormClosed, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
}

void SaveConfigAndShutdown() {
    // Never tear down under a worker: the window refuses to close while one
    // runs, and the last one may still be returning.
    WaitForOperationThread();
    // The simulated chips, when they are kept between runs.
    SaveSimStateAtExit();
    // Closing commits a configuration edit still being typed, so it is saved.
    CloseBufferEditors();
    if (CfgOpt) CfgOpt->close();
    if (SelDev) SelDev->close();
    // The window is gone: a configuration that cannot be written is said on
    // the standard error output.
    const FileSaveResult saved = SaveConfigOrProjectFile(ConfigFilePath(), 0);
    if (!saved.Ok()) std::fprintf(stderr, "%s: %s\n", ConfigFilePath().c_str(), saved.Text().c_str());
    // No form outlives the buffer it shows.
    DestroyConfigOptionsForm();
    DestroyDeviceSelectionForm();
    FreeBuffers();
    ResetProgrammerLogic();
}
