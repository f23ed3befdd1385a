#include "shell/Application.h"

#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

#include "engine/Buffer.h"
#include "engine/Library.h"
#include "engine/Port.h"
#include "platform/PortIo.h"
#include "shell/Main.h"
#include "shell/QtUiBridge.h"
#include "shell/SimSetup.h"
#include "shell/Startup.h"
#include "testing/TestRun.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("Unknown exception.");
    }
    return false;
}

void ShowException(const char* what) {
    QMessageBox::critical(QApplication::activeWindow(), QString::fromUtf8(ProductName), QString::fromUtf8(what));
}

QString PortDriverFailureText() {
    QString text = "Could not acess I/O devcie!";
    if (!PortOpenError.empty()) text += "\n\n" + QString::fromStdString(PortOpenError);
    return text;
}

namespace {

int g_quitPipe[2] = {-1, -1};

void OnQuitSignal(int) {
    // Only async-signal-safe calls here; errno is the interrupted code's.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(g_quitPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool InstallQuitSignals(QWidget* mainWindow) {
    if (g_quitPipe[0] < 0 && pipe2(g_quitPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    auto* notifier = new QSocketNotifier(g_quitPipe[0], QSocketNotifier::Read, mainWindow);
    QPointer<QWidget> window(mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [window] {
        char bytes[16];
        while (read(g_quitPipe[0], bytes, sizeof bytes) > 0) {
        }
        if (window) window->close();
    });
    // A test running on this thread lets the signal's pipe in between its
    // steps, so the quit reaches it.
    TestIdleHook = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

int RunProgram(int argc, char** argv, const std::function<void(TForm1&)>& started) {
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
        if (started) started(form);
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
