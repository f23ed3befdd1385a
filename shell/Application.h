// The application object: an exception that escapes an event handler is
// shown by the standard exception display and the message loop goes on.
#pragma once
#include <QApplication>
#include <functional>

class TForm1;

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The standard exception display: an error box with the exception's text.
void ShowException(const char* what);

// The start-up failure box's text when the port backend cannot be opened:
// the port driver's message, then the port and the system's reason.
QString PortDriverFailureText();

// SIGINT and SIGTERM close the main window as Exit does (configuration
// saved, a running operation asked to stop, the programmer powered off).
// The handler only writes a byte to a pipe; the close runs in the message
// loop. Returns false when the pipe or the handlers cannot be set up.
bool InstallQuitSignals(QWidget* mainWindow);

// The program from start to end: the product from the started name, the port
// backend, the buffers, the main window and its message loop, then the
// configuration saved and the programmer reset. `started` runs once the main
// window shows (a test drives the running program through it). The exit code.
int RunProgram(int argc, char** argv, const std::function<void(TForm1&)>& started = {});
