// The program: picks the product from the name it was started under, opens
// the programmer's port backend, and runs the main window.
#include <QApplication>
#include <QMessageBox>
#include <memory>

#include "engine/Buffer.h"
#include "engine/Port.h"
#include "platform/PortIo.h"
#include "shell/Main.h"
#include "shell/QtUiBridge.h"
#include "shell/SimSetup.h"
#include "shell/Startup.h"

int main(int argc, char** argv) {
    RegisterSimPortFactory(&MakeProgramSimulator);
    SetStartedAs(argc > 0 ? argv[0] : "vexlor");
    SelectProductByExeName();

    QApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName("Vexlor");
    if (OpenGiveioDriver() == -1) {
        QMessageBox::critical(nullptr, "Vexlor", "Could not acess I/O devcie!");
        return -1;
    }
    InitBuffers();

    {
        TForm1 form;
        Form1 = &form;
        QtUiBridge bridge(&form);
        InstallUiBridge(&bridge);
        form.MirrorReload();
        CreateFormsAndLoadConfig();
        QuitWhenMainFormCloses(&form);
        form.show();
        app.exec();
        SaveConfigAndShutdown();
        InstallUiBridge(nullptr);
        Form1 = nullptr;
    }
    return 0;
}
