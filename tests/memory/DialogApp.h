// The one QApplication of the memory suite's offscreen dialog tests.
#pragma once
#include <QApplication>

inline QApplication* App() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = QApplication::instance() ? nullptr : new QApplication(argc, argv);
    (void)app;
    return qobject_cast<QApplication*>(QApplication::instance());
}
