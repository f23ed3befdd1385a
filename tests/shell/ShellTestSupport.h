// Shared set-up of the shell tests: one QApplication on the offscreen
// platform, the engine back at its start-up state, the main window with the
// Qt bridge installed, and helpers that answer modal dialogs.
#pragma once
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../engine/LibraryTestFile.h"
#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/HexFiles.h"
#include "engine/Library.h"
#include "engine/LogModel.h"
#include "engine/NeighbourState.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/ProgramState.h"
#include "engine/Services.h"
#include "engine/UiBridge.h"
#include "platform/PortIo.h"
#include "platform/Tone.h"
#include "shell/CfgOpt.h"
#include "shell/Main.h"
#include "shell/QtUiBridge.h"
#include "shell/Select.h"
#include "shell/Thread.h"

inline QApplication* EnsureApp() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        QStandardPaths::setTestModeEnabled(true);
        // Each test process keeps its remembered window places to itself:
        // test binaries run side by side and would overwrite each other's.
        static QTemporaryDir settings;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
        SetToneSink([](int, int) {}); // the runs' beeps stay silent
        static int argc = 1;
        static char name[] = "test_shell";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

// Calls `act` with the modal dialog of type D once it is shown.
template <class D> void WhenShown(const std::function<void(D&)>& act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        if (d == nullptr) return;
        poll->stop();
        poll->deleteLater();
        act(*d);
    });
    poll->start(50);
}

inline void ResetEngineForShellTest() {
    InstallPortIoRef(nullptr);
    ResetProgramState();
}

// Pumps events until pred holds or the time runs out.
inline bool WaitUntil(const std::function<bool()>& pred, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Owner of the answering timers; a test's unused answers die with it.
inline QObject& BoxTimerOwner() {
    static QObject owner;
    return owner;
}
inline void DropUnusedBoxAnswers() { qDeleteAll(BoxTimerOwner().findChildren<QTimer*>()); }
// Polls until a modal dialog of class D is active and hands it to `act` once;
// the poll waits for the dialog however slow the machine, never a fixed delay.
template <class D = QDialog>
void OnNextModal(std::function<void(D*)> act) {
    auto* timer = new QTimer(&BoxTimerOwner());
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!d) return;
        timer->stop();
        timer->deleteLater();
        act(d);
    });
    timer->start(5);
}
// Answers the next modal message box with `button`, keeping its text and title.
struct BoxAnswer {
    QString text;
    QString title;
    int seen = 0;
};
inline void AnswerNextBox(QMessageBox::StandardButton button, BoxAnswer* out) {
    OnNextModal<QMessageBox>([button, out](QMessageBox* box) {
        out->text = box->text();
        out->title = box->windowTitle();
        ++out->seen;
        box->done(button);
    });
}
// Closes the next modal dialog through `answer` (which must end it), noting its class.
struct ModalSeen {
    QString className;
    int seen = 0;
};
inline void AnswerNextModal(ModalSeen* out, std::function<void(QDialog*)> answer = [](QDialog* d) { d->reject(); }) {
    OnNextModal<QDialog>([out, answer](QDialog* d) {
        out->className = d->metaObject()->className();
        ++out->seen;
        answer(d);
    });
}

constexpr int kOkTone = 1193182 / 1000;
constexpr int kFailTone = 1193182 / 10000;

// The main window with the Qt bridge, on a fresh engine.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApp();
        ResetEngineForShellTest();
        form = std::make_unique<TForm1>();
        Form1 = form.get();
        bridge = std::make_unique<QtUiBridge>(form.get());
        InstallUiBridge(bridge.get());
    }
    void TearDown() override {
        WaitUntil([] { return !OperationBusy.load(); });
        WaitForOperationThread();
        QCoreApplication::processEvents();
        DropUnusedBoxAnswers();
        // The forms start-up makes live for the run; each test starts without them.
        DestroyDeviceSelectionForm();
        DestroyConfigOptionsForm();
        InstallUiBridge(nullptr);
        bridge.reset();
        Form1 = nullptr;
        form.reset();
        SetToneSink([](int, int) {});
        ResetEngineForShellTest();
    }
    // The tones of the test's beeps, from here on.
    void RecordTones() {
        SetToneSink([this](int hz, int) { tones.push_back(hz); });
    }
    // Waits for the run to end and its queued writes to reach the window.
    bool WaitIdle(int ms = 20000) {
        const bool ok = WaitUntil([] { return !OperationBusy.load(); }, ms);
        WaitForOperationThread();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return ok;
    }
    QStringList MemoLines() const {
        QString t = form->Memo1->toPlainText();
        return form->MirrorLineCount() == 0 ? QStringList() : t.split('\n');
    }
    QStringList LogLines() const {
        QStringList out;
        for (const std::string& l : MainLog().Lines()) out << QString::fromStdString(l);
        return out;
    }
    std::unique_ptr<TForm1> form;
    std::unique_ptr<QtUiBridge> bridge;
    std::vector<int> tones;
};
