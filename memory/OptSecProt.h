// The sector protection dialog ("Data Protect") of the flash rows whose
// chips protect sectors one by one: the sectors of the device's layout row
// with the states the row's reader finds on the chip; the user marks them
// "Protect" or "Unprotect" and writes the set with the row's writer.
#pragma once
#include <QDialog>
#include <vector>

#include "memory/SectorLayout.h"

class QPushButton;
class QTreeWidget;
class TRadioGroup;

class TOptSecProt1 : public QDialog {
    Q_OBJECT
public:
    explicit TOptSecProt1(QWidget* owner);

    QPushButton* ButtonWrote;
    QPushButton* BitBtn1;
    QPushButton* ButtonProtectAll;
    QPushButton* ButtonUnprotectAll;
    QPushButton* ButtonToggle;
    QTreeWidget* ListView;
    TRadioGroup* RadioGroupProtectOverride;

    uint32_t SectorLayoutRow = 0;
    std::vector<uint32_t> SectorProtectionState;

    void ListViewClick();
    void ButtonProtectAllClick();
    void ButtonUnprotectAllClick();
    void ButtonToggleClick();
    void ButtonWroteClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void ShowMode(int index);
    std::vector<SectorSpan> sectors_;
};

// Makes the Options entry of the protected flash rows show the dialog.
void InstallOptSecProtDialog();
