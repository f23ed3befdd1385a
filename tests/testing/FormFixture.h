// The IC test form on the offscreen platform over the simulated programmer,
// with lg.dat in a private program directory and modal dialogs answered by
// the test.
#pragma once
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "IcTestFixture.h"
#include "dialogs/Getstr.h"
#include "testing/Editlg.h"
#include "testing/Editlg1.h"

inline QApplication* EnsureApp() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_testing";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

class FormFixture : public IcTestFixture {
protected:
    std::unique_ptr<TEditlg> form;
    // Answers the library dialog and the name prompt; returns their result.
    std::function<int(TEditLgFile*)> onLibrary;
    std::function<int(TGetString*)> onName;

    void SetUp() override {
        IcTestFixture::SetUp();
        EnsureApp();
        ProgramDirectory = dir.string();
        form = std::make_unique<TEditlg>();
        form->ExecDialog = [this](QDialog* d) {
            if (auto* lib = qobject_cast<TEditLgFile*>(d)) {
                lib->FormActivate();
                const int r = onLibrary ? onLibrary(lib) : 2;
                lib->FormDeactivate();
                return r;
            }
            if (auto* name = qobject_cast<TGetString*>(d)) return onName ? onName(name) : 0;
            return 0;
        };
        form->FormActivate();
    }
    void TearDown() override {
        form.reset();
        ResetLibraryState();
        IcTestFixture::TearDown();
    }

    std::string LibraryPath() const { return (dir / "lg.dat").string(); }
    void WriteLibrary(const std::string& text) { std::ofstream(LibraryPath(), std::ios::binary) << text; }
    std::string ReadLibrary() const {
        std::ifstream in(LibraryPath(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Vectors into the IC test list, the rest of it cleared.
    static void Fill(const std::string& lines) {
        std::memset(IcVectorBuffer, 0, TestBufferBytes);
        std::memcpy(IcVectorBuffer, lines.data(), lines.size());
    }
    void SetPins(const QString& text) {
        form->MaskEditPins->setText(text);
        form->MaskEditPinsChange();
    }
    // The library dialog: the row of `name` selected, then `act` on it.
    static int Choose(TEditLgFile* d, const QString& name, void (TEditLgFile::*act)()) {
        const auto items = d->ListViewDev->findItems(name, Qt::MatchExactly, 0);
        if (!items.isEmpty()) d->ListViewDev->setCurrentItem(items.first());
        (d->*act)();
        return d->result();
    }
    std::vector<std::string> Texts() const { return ui.BoxTexts(); }
    int HighTones() const { return static_cast<int>(std::count(tones.begin(), tones.end(), 1193182 / 1000)); }
    int LowTones() const { return static_cast<int>(std::count(tones.begin(), tones.end(), 1193182 / 10000)); }
};
