// The configuration options dialog: operation options, the parallel port and
// its speed, gang size and split mode, and the device, buffer, load and save
// address ranges. Every change of a control is written to its setting at once
// and the main window's information panel follows; "&Close" only closes.
#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class TRadioGroup;

class TCfgOpt : public QDialog {
    Q_OBJECT
  public:
    explicit TCfgOpt(QWidget* parent = nullptr);

    QTabWidget* PageControl1 = nullptr; // "Option", "Port", "Gang,Split", "Address"
    QCheckBox* CheckBox1 = nullptr;     // BufferClearBeforeLoad
    QCheckBox* CheckBox2 = nullptr;     // BlankCheckBeforeProgram
    QCheckBox* CheckBox3 = nullptr;     // VerifyAfterRead
    QCheckBox* CheckBox4 = nullptr;     // VerifyAfterProgram
    QCheckBox* CheckBox5 = nullptr;     // ByteSwap
    QCheckBox* CheckBox6 = nullptr;     // DeviceInsertTest (hidden)
    QCheckBox* CheckBox7 = nullptr;     // AutoRepeatEnabled (hidden, disabled)
    QLineEdit* EditFill = nullptr;      // FillByte
    TRadioGroup* RadioGroupPort = nullptr;
    QSlider* TrackBar1 = nullptr; // PortDelayCount / 10
    TRadioGroup* RadioGroupGang = nullptr;
    TRadioGroup* RadioGroupSplit = nullptr;
    QLineEdit* EditChipStart = nullptr;
    QLineEdit* EditChipEnd = nullptr;
    QLineEdit* EditBufferStart = nullptr;
    QLineEdit* EditBufferEnd = nullptr; // shown only
    QLineEdit* EditLoadFileOffset = nullptr;
    QLineEdit* EditLoadBufferStart = nullptr;
    QLineEdit* EditSaveBufferStart = nullptr;
    QLineEdit* EditSaveBufferEnd = nullptr;
    QPushButton* BitBtnHelp = nullptr;
    QPushButton* bitbtnClose = nullptr;

    // 1 while the controls are filled from the settings.
    int Loading = 0;

  public slots:
    void FormActivate();
    // Check boxes, radio groups, track bar and the fill edit.
    void CheckAndClick();
    // Leaving an address edit.
    void CheckValue();
    void bitbtnCloseClick();

  protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing by Esc or the window button keeps the focused edit's value, as
    // leaving the field would.
    void done(int result) override;

  private:
    bool IsAddressEdit(QObject* object) const;
    // While an operation runs the settings stay as they are; the controls
    // show them again (true: refused).
    bool RefuseWhileBusy();
};

// Sets every control from its setting.
void FillConfigControls(TCfgOpt* form);
// Reads every control into its setting (unless loading), then refreshes the
// information panel.
void StoreConfigControls(TCfgOpt* form);
// The buffer end of the device range from the buffer start in the split mode,
// doubled for devices wider than 8 bits.
uint32_t ComputeSplitBufferEnd();

// The form (nullptr until created); it lives for the whole run.
extern TCfgOpt* CfgOpt;
// Creates CfgOpt once, owned by `owner` (the main window).
TCfgOpt* CreateConfigOptionsForm(QWidget* owner = nullptr);
// Shows CfgOpt without being modal: 0, or -1 refused because an operation runs.
int ShowConfigOptions(QWidget* parent = nullptr);
void DestroyConfigOptionsForm();
