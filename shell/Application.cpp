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

#include "engine/Library.h"
#include "engine/Port.h"

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
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}
