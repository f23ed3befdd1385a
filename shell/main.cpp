// The program: picks the product from the name it was started under, opens
// the programmer's port backend, and runs the main window.
#include <QMessageBox>
#include <exception>
#include <memory>

#include "engine/Buffer.h"
#include "engine/Port.h"
#include "platform/PortIo.h"
#include "shell/Application.h"
#include "shell/Main.h"
#include "shell/QtUiBridge.h"
#include "shell/SimSetup.h"
#include "shell/Startup.h"

int main(int argc, char** argv) {
    RegisterSimPortFactory(&MakeProgramSimulator);
    SetStartedAs(argc > 0 ? argv[0] : "vexlor");
    SelectProductByExeName();

    TApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName("Vexlor");
    if (OpenGiveioDriver() == -1) {
        QMessageBox::critical(nullptr, "Vexlor", PortDriverFailureText());
        return -1;
    }
    InitBuffers();

    // An exception that escapes the start-up steps is shown and ends the
    // program; one in an event handler is shown by the application object.
    try {
        TForm1 form;
        Form1 = &form;
        QtUiBridge bridge(&form);
        InstallUiBridge(&bridge);
        form.MirrorReload();
        CreateFormsAndLoadConfig();
        QuitWhenMainFormCloses(&form);
        // Only now: a signal before the configuration was read must not
        // write it back.
        InstallQuitSignals(&form);
        form.show();
        app.exec();
        SaveConfigAndShutdown();
        InstallUiBridge(nullptr);
        Form1 = nullptr;
    } catch (const std::exception& e) {
        InstallUiBridge(nullptr);
        Form1 = nullptr;
        ShowException(e.what());
    } catch (...) {
        InstallUiBridge(nullptr);
        Form1 = nullptr;
        ShowException("Unknown exception.");
    }
    return 0;
}
