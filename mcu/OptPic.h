// "Option": the configuration dialog of the PIC rows. The customer ID and one
// drop-down list per field of the device's configuration record; Read and
// Program call the record's routines on the chip. Values are stored as soon
// as a control changes, into the configuration word, the ID words and the
// buffer, so they outlive the form.
#pragma once
#include <QDialog>
#include <QString>

#include "dialogs/FontFit.h"
#include "mcu/Pic.h" // InstallPicDialogLauncher

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class TOptPic1 : public QDialog {
    Q_OBJECT
public:
    explicit TOptPic1(QWidget* parent = nullptr);
    // A dialog destroyed while shown loses the focus of its ID edit as it
    // hides; that edit's end no longer reaches the dialog then.
    ~TOptPic1() override;

    QWidget* Panel1 = nullptr;
    QLabel* LabelCustmerID = nullptr;
    QLineEdit* EditCustmerID = nullptr;
    // Field n: LabelOscillator/ComboBoxOscillator ... LabelBorv/ComboBoxBorv.
    QLabel* FieldLabels[12] = {};
    QComboBox* FieldCombos[12] = {};
    QPushButton* ButtonRead = nullptr;
    QPushButton* ButtonProgram = nullptr;
    QPushButton* BitBtn1 = nullptr;

    void Change();
    void ButtonReadClick();
    void ButtonProgramClick();
    void RefreshPicConfigControls();

private:
    const char* const* lists_[12] = {};
    // The ID text the edit was last given.
    QString shownIdText_;
    // The form's scale for its font; the shown fields stack at its steps.
    FontScale scale_;
};

// The dialog's launcher: placed at the main form's Left + 320, Top + 100,
// modal, deleted on close; returns 1.
int RunPicDialog();
