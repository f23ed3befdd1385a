// "Option Bits": the option-bit dialog of the Zilog rows. One list row per
// option name the launcher handed over, with its status; a click toggles the
// row's state in the row's own array, so closing keeps every change. An
// option the row does not offer is listed disabled, with its reason.
#pragma once
#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

class TOptZilog1 : public QDialog {
    Q_OBJECT
public:
    explicit TOptZilog1(QWidget* parent = nullptr);

    QTreeWidget* ListView = nullptr;
    QPushButton* BitBtn1 = nullptr;
    // Names the options the row does not offer and why (hidden when none).
    QLabel* LabelRefused = nullptr;

    void FormCreate();
    void ListViewClick();
};

// The dialog's launcher: placed at the main form's Left + 320, Top + 100,
// modal, deleted on close; returns 1.
int ShowZilogOptionDialog();
