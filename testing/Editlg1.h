// "EditLgFile": the logic library editor. Lists the entries of lg.dat, loads
// one into the IC test list, saves the list as an entry (new or in place of
// one of the same name) and deletes entries. Without being shown it carries
// the IC test form's search of the library for the part in the socket.
#pragma once
#include <QDialog>
#include <functional>

#include "engine/UiBridge.h"
#include "testing/LogicLibrary.h"

class QPushButton;
class QLabel;
class QTreeWidget;

class TEditLgFile : public QDialog {
    Q_OBJECT
public:
    explicit TEditLgFile(QWidget* parent = nullptr);

    QTreeWidget* ListViewDev = nullptr;
    // Above the list: why the library could not be read (hidden when it was).
    QLabel* LabelNotRead = nullptr;
    QPushButton* ButtonLoad = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* BitBtn1 = nullptr;

    uint8_t* buffer = nullptr;
    LogicLibrary library;
    uint8_t xLevel = 1;
    short vcc = 50;
    short delayMs = 0;

    // Shows the name prompt modally: its result (tests answer it instead).
    std::function<int(QDialog*)> ExecDialog;

    void FormActivate();
    void FormDeactivate();
    void ButtonLoadClick();
    void ButtonSaveClick();
    void ButtonDeleteClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int SelectedEntry() const;
    // Refuses a rewrite of a file that was not read: true when refused.
    bool RefuseUnread();
    bool Rewrite(const std::string& text);
};

// An OK box of the IC tester.
void IcTestBox(const std::string& text, const std::string& caption = "", UiIcon icon = UiIcon::None);

// The test image in the programmer and the link checked: false (after the
// communication error box) when the programmer does not answer.
bool ConnectIcTester();
// Outputs reset and the test supply on DAC channels 3 and 4.
void SetIcTestSupply(int vccTenths);

// Runs every usable entry against the part in the socket and reports the
// names that pass. The dialog is activated (library read) but not shown.
void AutoFindLogicDevice(TEditLgFile& dialog);
