// The main window: menus, speed buttons, the log, progress and status bar,
// the information panels and the counters. Every handler runs on the UI
// thread; commands that touch the buffer, the device, the settings or the
// programmer are refused while an operation runs.
#pragma once
#include <QHash>
#include <QMainWindow>
#include <QMargins>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "shell/MainFormView.h"

class QAction;
class QFileDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QShortcut;
class QStatusBar;
class QTimer;
class QToolButton;
class QtUiBridge;

// Open and save filters, in the form "description|patterns|description|patterns".
struct FileDialogFilters {
    QString Open;
    QString Save;
    bool Set = false; // false: the formats offer nothing; the filters stay as they were
};
FileDialogFilters FiltersForFormatMask(uint32_t fileFormatMask);
// "desc|pat;pat|..." to Qt name filters ("desc (pat pat)"), "*.*" as "*".
QStringList ToQtNameFilters(const QString& filter);

class TForm1 : public QMainWindow, public MainFormView {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Menus and their items.
    QMenu* File1 = nullptr;
    QAction* Load1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* LoadPorject1 = nullptr;
    QAction* SaveProject1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Buffer1 = nullptr;
    QAction* EditBuffer1 = nullptr;
    QAction* EditUES1 = nullptr;
    QMenu* Device1 = nullptr;
    QAction* Select1 = nullptr;
    QAction* ChangeAlgorithm1 = nullptr;
    QAction* AutoRepeatProgram1 = nullptr;
    QAction* BlankCheck1 = nullptr;
    QAction* Program1 = nullptr;
    QAction* Read1 = nullptr;
    QAction* Verify1 = nullptr;
    QAction* DataCompare1 = nullptr;
    QAction* Erase1 = nullptr;
    QAction* Security1 = nullptr;
    QAction* Encryption1 = nullptr;
    QAction* Option1 = nullptr;
    QAction* Auto1 = nullptr;
    QAction* Read_ID = nullptr;
    QMenu* Test1 = nullptr;
    QAction* VectorTest1 = nullptr;
    QAction* ICTest1 = nullptr;
    QAction* RAMTest1 = nullptr;
    QMenu* Config1 = nullptr;
    QAction* Configoption1 = nullptr;
    QAction* Hardwaretest1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Contents1 = nullptr;
    QAction* UsingHelp1 = nullptr;
    QAction* About1 = nullptr;
    // Read ID is hidden; its key works through this window shortcut.
    QShortcut* ReadIdShortcut = nullptr;

    // The log, its frame, the progress and status bars.
    QPlainTextEdit* Memo1 = nullptr;
    QWidget* Bevel1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanels[3] = {};

    // Speed buttons.
    QToolButton* SpeedButtonSave = nullptr;
    QToolButton* SpeedButtonLoad = nullptr;
    QToolButton* SpeedButtonSelect = nullptr;
    QToolButton* SpeedButtonSaveProject = nullptr;
    QToolButton* SpeedButtonProgram = nullptr;
    QToolButton* SpeedButtonRead = nullptr;
    QToolButton* SpeedButtonVerify = nullptr;
    QToolButton* SpeedButtonSecurity = nullptr;
    QToolButton* SpeedButtonBlankCheck = nullptr;
    QToolButton* SpeedButtonErase = nullptr;
    QToolButton* SpeedButtonAuto = nullptr;
    QToolButton* SpeedButtonOption = nullptr;
    QToolButton* SpeedButtonEdit = nullptr;
    QToolButton* SpeedButtonLoadProject = nullptr;
    QToolButton* SpeedButtonVectorTest = nullptr;
    QToolButton* SpeedButtonIcTest = nullptr;
    QToolButton* SpeedButtonRamTest = nullptr;
    QToolButton* SpeedButton3 = nullptr;

    // Information panels (value labels; the caption labels sit beside them).
    QGroupBox* GroupBox1 = nullptr; // " System Info "
    QGroupBox* GroupBox2 = nullptr; // " Option Info "
    QLabel* DeviceName = nullptr;
    QLabel* DeviceSize = nullptr;
    QLabel* FreeDisk = nullptr;
    QLabel* File = nullptr;
    QLabel* Adapter = nullptr;
    QLabel* Pins = nullptr;
    QLabel* GangSize = nullptr;
    QLabel* Split = nullptr;
    QLabel* EncMode = nullptr;
    QLabel* BasePort = nullptr;
    QLabel* CheckSum = nullptr;
    QLabel* HWRev = nullptr;
    QLabel* SWRev = nullptr;
    QLabel* SerialNo = nullptr;
    QLabel* Label1Cap = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2Cap = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3Cap = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4Cap = nullptr;
    QLabel* Label4 = nullptr;

    // Counter panel.
    QGroupBox* GroupBoxCounter = nullptr;
    QLabel* LabelDeviceHR = nullptr;
    QLabel* LabelSuccess = nullptr;
    QLabel* LabelFailure = nullptr;
    QLabel* LabelCount = nullptr;
    QToolButton* SpeedButtonCounter = nullptr;

    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;
    QTimer* Timer1 = nullptr;

    // The main-window counters, as the last run reported them.
    uint32_t Count = 0;
    uint32_t Success = 0;
    uint32_t Failure = 0;
    uint32_t DevicesPerHour = 0;

    // The remembered position (read when first shown).
    int RememberedLeft = 0;
    int RememberedTop = 0;

    // Commands offered for the device.
    void DisableOperationControls() override;
    void EnableOperationControls(uint32_t mask) override;
    // While an operation runs, every command touching the buffer, the device,
    // the settings or the programmer is disabled (and refused by its handler).
    void SetOperationRunning(bool running) override;
    void ShowCounters();
    void RefreshBufferView(int flag) override;
    void ShowReadResult() override;
    QWidget* Window() override { return this; }
    void ShowProgressPosition(int position) override;
    void ShowStatusPanel(int panel, const QString& text) override;
    void SetCounters(uint32_t count, uint32_t success, uint32_t failure, uint32_t devicesPerHour) override;

    // Offers or withdraws a command for the device (the enabled state follows
    // from this, its availability and a running operation).
    void Offer(QObject* command, bool offered);
    // Commands whose forms are not part of the program stay disabled.
    void SetCommandAvailable(QObject* command, bool available);
    bool CommandEnabled(QObject* command) const;
    // True (and the command does nothing) while an operation runs.
    bool RefuseWhileBusy() const;
    // The project file write after the project dialog was confirmed.
    void SaveProjectAfterDialog(const std::string& name);
    // Zeroes the counters and shows them.
    void ResetCounters();

    // The log view as a mirror of the engine's log model.
    void MirrorAppend(const QString& text) override;
    void MirrorReplace(int index, const QString& text) override;
    void MirrorRemove(int index, int count) override;
    int MirrorLineCount() const { return mirrorLines_; }
    // Rebuilds the view from the model (start-up).
    void MirrorReload();

    // Runs a file dialog (tests replace it to answer without a user).
    std::function<int(QFileDialog*)> ExecDialog;
    // Runs the RAM test dialog modally (tests answer it instead).
    std::function<int(QDialog*)> ExecTestDialog;

public slots:
    void Load1Click();
    void Save1Click();
    void LoadPorject1Click();
    void SaveProject1Click();
    void Exit1Click();
    void EditBuffer1Click();
    void EditUES1Click();
    void Select1Click();
    void ChangeAlgorithm1Click();
    void AutoRepeatProgram1Click();
    void BlankCheck1Click();
    void Program1Click();
    void Read1Click();
    void Verify1Click();
    void DataCompare1Click();
    void Erase1Click();
    void Security1Click();
    void Encryption1Click();
    void Option1Click();
    void Auto1Click();
    void Read_IDClick();
    void VectorTest1Click();
    void ICTest1Click();
    void RAMTest1Click();
    void Configoption1Click();
    void Hardwaretest1Click();
    void About1Click();
    void SpeedButtonCounterClick();
    void Timer1Timer();

signals:
    // The window was closed (not refused): the program ends.
    void FormClosed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenus();
    void CreateSpeedButtons();
    void CreatePanels();
    QAction* AddItem(QMenu* menu, const QString& caption, const QKeySequence& key,
                     void (TForm1::*handler)());
    QToolButton* AddSpeedButton(const QString& caption, const QString& hint, int icon,
                                void (TForm1::*handler)());
    void FormShow();
    void FitStartSize();
    void FitFramedStart();
    void FormClose();
    // Prepares a file dialog as every Load, Save and project command does.
    void SetupFileDialog(QFileDialog* dialog, const QString& filter, const QString& title,
                         const QString& defaultSuffix);
    int RunDialog(QFileDialog* dialog);
    void ApplyCommandState(QObject* command);
    void ApplyCommandStates();
    void RunOptionsOnUiThread();
    void RunReadIdOnUiThread();

    bool shown_ = false;
    // The frame the start's fit counted, and how often the window may still
    // be fitted to a frame a window manager gives it after the first show
    // (0: no longer looked for).
    QMargins fitFrame_;
    int framedFitsLeft_ = 0;
    bool closePending_ = false;
    bool running_ = false;
    int mirrorLines_ = 0;
    // Enabled state the device gives a command, kept while a run disables it.
    QHash<QObject*, bool> offered_;
    QSet<QObject*> unavailable_;
    QString openFilter_;
    QString saveFilter_;
    // Opened by FormShow, closed by FormClose.
    class QSettings* registry_ = nullptr;

    friend class QtUiBridge;
};

// The program's main window (nullptr before it is created).
extern TForm1* Form1;
