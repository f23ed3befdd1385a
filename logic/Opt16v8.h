// The PLD option dialog (unit OPT16V8): the PAL type a 16V8-type or 20V8-type
// GAL emulates. OK (or a double-click in the list) stores the choice and the
// type's fuse count and row width; Cancel changes nothing.
#pragma once
#include <QDialog>

class QGroupBox;
class QListWidget;
class QPushButton;

class TOptRal : public QDialog {
    Q_OBJECT
public:
    explicit TOptRal(QWidget* owner = nullptr);
    ~TOptRal() override;

    QListWidget* ListBoxDev;
    QPushButton* BitBtnOk;
    QPushButton* BitBtn2;
    QGroupBox* RadioGroupSleepMode;
    // The checked "Sleep Mode" item (0 "Disable", 1 "Enable"); nothing reads it.
    int SleepModeIndex() const;

public slots:
    void BitBtnOkClick();
};

// Creates the dialog at the main form's Left + 220, Top + 40, shows it
// modally and returns its result (1 OK, 0 Cancel).
int ShowOptRalDialog();
// Makes ShowOptRalDialog the dialog of the Options entries.
void InstallOptRalDialog();
