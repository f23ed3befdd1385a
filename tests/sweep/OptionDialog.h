// The Option command of the main window as the sweep's passes run it: the
// dialog a row's Options entry shows, driven as a user drives it.
#pragma once
#include <QApplication>
#include <QTimer>

#include <functional>

#include "engine/NeighbourState.h"
#include "tests/sweep/Sweep.h"

namespace sweep {

// The offscreen application the dialogs need, made once.
inline void OffscreenApplication() {
    static int argc = 1;
    static char name[] = "test_sweep";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() != nullptr) return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
}

// The Option command as the main window runs it while no operation runs
// (the link check, the operation set-up, the row's Options entry, the
// outputs reset); `act` gets the dialog the entry shows, as a user sees it,
// and the dialog is closed with its OK button after it unless `act` closed
// it. False when no dialog of that kind showed.
template <class Dialog> bool RunOptionDialog(const std::function<void(Dialog&)>& act) {
    bool shown = false;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (d == nullptr) return;
        poll.stop();
        shown = true;
        act(*d);
        if (d->isVisible()) d->BitBtn1->click();
    });
    poll.start();
    UserBreak.store(0);
    if (CheckCommunication(MainEngine) == 1) {
        SkipIdCheck = 0;
        PrepareOperation(MainEngine);
        if (const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm)) row->Options();
        ResetProgrammerOutputs();
    }
    poll.stop();
    return shown;
}

} // namespace sweep
