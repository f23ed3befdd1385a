// The block-protect dialogs of the SPI EEPROMs: TOpt25xxx (row 13) and
// TOpt25xxx1_ (row 57, with the watchdog timer). Block-protect groups of the
// same place lie on top of each other and the device's sub-variant shows one;
// "WPEN :" is a combo box of "Low" and "Hi". The controls start from the
// unit's option values (an index past the shown group's items starts as
// "None"), write them back whenever one changes, and the read button reloads
// them from the chip.
#pragma once
#include <QDialog>
#include <QStringList>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class TRadioGroup;

class TOpt25Dialog : public QDialog {
    Q_OBJECT
public:
    struct Setup {
        QString caption;
        std::vector<QStringList> groups; // the stacked block-protect groups
        size_t shown;                    // the one shown
        bool wpenEnabled;
        int& blockProtect;
        int* watchdog; // nullptr: no watchdog group
        int& wpen;
        int (*readStatus)();
        int (*writeStatus)();
    };
    TOpt25Dialog(QWidget* owner, const Setup& setup);

    std::vector<TRadioGroup*> Groups;
    TRadioGroup* Watchdog = nullptr;
    QLabel* LabelWpen;
    QComboBox* ComboBoxWpen;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* BitBtn1;
    // The result of the last program click (0 before any).
    int ProgramResult = 0;

    void RadioGroup1Click();
    void Button1Click();
    void Button2Click();

private:
    void LoadControls();
    Setup setup_;
};

class TOpt25xxx : public TOpt25Dialog {
    Q_OBJECT
public:
    explicit TOpt25xxx(QWidget* owner = nullptr);
    TRadioGroup* RadioGroup1;
    TRadioGroup* RadioGroup2;
    TRadioGroup* RadioGroup3;
};

class TOpt25xxx1_ : public TOpt25Dialog {
    Q_OBJECT
public:
    explicit TOpt25xxx1_(QWidget* owner = nullptr);
    TRadioGroup* RadioGroup1;
    TRadioGroup* RadioGroup2;
    TRadioGroup* RadioGroup3;
    TRadioGroup* RadioGroup4;
    TRadioGroup* RadioGroup5;
};

// The Options entries' dialogs: modal at Left + 320, Top + 100; the last
// program result (0 before any).
int ShowOpt25xxxDialog();
int ShowOpt25xxx1Dialog();
// Makes them the dialogs of rows 13 and 57.
void InstallOpt25Dialogs();
