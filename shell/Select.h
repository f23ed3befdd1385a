// Device selection: the form that lists the devices of the device library by
// section and maker, narrows them by a search text that doubles as the list
// of recently chosen devices, shows a device's data, and makes the chosen
// record the current device. Auto Select reads the signature of a 24-, 28- or
// 32-pin EPROM in the socket and selects the EPROM record with those codes.
#pragma once
#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "engine/Device.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class TRadioGroup;

class TSelDev : public QDialog {
    Q_OBJECT
  public:
    explicit TSelDev(QWidget* parent = nullptr);

    QListWidget* ListBoxMfg = nullptr;  // makers, sorted
    TRadioGroup* RadioGroup1 = nullptr; // "ALL", "EPROM", "PLD", "MICRO", "PROM"
    QTreeWidget* ListViewDev = nullptr; // "Device Name", "Package", "Adapter"
    QComboBox* ComboBox1 = nullptr;     // search text and recent devices
    QLabel* Label1 = nullptr;
    QPlainTextEdit* MemoInfo = nullptr;
    QPushButton* ButtonAdtInfo = nullptr;
    QPushButton* BitBtnOk = nullptr;
    QPushButton* BitBtnCancel = nullptr;
    QPushButton* ButtonAutoSelect = nullptr;

    // The records of the loaded sections, in load order; DeviceCount of them.
    std::vector<DeviceRecord> Records;
    int DeviceCount = 0;
    // Record index of each row of ListViewDev.
    std::vector<int> RowMap;
    // The "Type Select" index the records were last loaded for.
    int LoadedType = 0;

    void MemoAdd(const QString& line);
    // Set while the lists are refilled, so the widgets' change signals do not
    // re-enter the handlers.
    bool Filling = false;

  public slots:
    void FormActivate();
    void ComboBoxChange();
    void ListViewDevClick();
    void ListBoxMfgClick();
    void RadioGroup1Click();
    void BitBtnOkClick();
    void BitBtnCancelClick();
    // 1 a device was selected; 0 the warning was cancelled; otherwise the
    // failure (-1, or -2 to -4 from the package detection).
    int ButtonAutoSelectClick();

  protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // Refuses a change of the device or a reload of the lists while an
    // operation runs (true: refused).
    bool RefuseWhileBusy();
};

// The form (nullptr until created); it lives for the whole run.
extern TSelDev* SelDev;

// Creates SelDev once (without reading the library), owned by `owner` (the
// main window).
TSelDev* CreateDeviceSelectionForm(QWidget* owner = nullptr);
// Shows SelDev without being modal, creating and filling it first when
// needed: 0 shown, -1 refused because an operation runs.
int ShowDeviceSelection(QWidget* parent = nullptr);
void DestroyDeviceSelectionForm();

// Start-up: the device lists of every section, the makers listed and the first
// one chosen.
void PopulateDeviceSelection(TSelDev* form);
// Reads the records of the chosen section (every section under "ALL"); first
// non-zero reads the EPROM section only.
void LoadDeviceList(TSelDev* form, int first);
// Fills the maker list (unless devicesOnly) and the device list of maker (a
// row of MakerNameTable; -1 the first maker listed) with the records that
// match the filter.
void FillDeviceLists(TSelDev* form, const QString& filter, int maker, int devicesOnly);
// 1 when the filter's non-blank characters occur, in order, in maker and
// device name joined (case ignored); a blank only needs the name not yet
// used up. An empty filter matches.
int MatchDeviceFilter(const std::string& filter, const std::string& maker, const std::string& device);
// The information text of the selected device row.
void ShowDeviceInfo(TSelDev* form);
// Makes record index current, remembers it among the recent devices and
// closes the form: 1. A record the engine refuses leaves everything as it
// was: -1.
int SelectDeviceRecord(TSelDev* form, int index);
// Row of MakerNameTable with that name, -1 when there is none.
int FindMakerIndex(TSelDev* form, const QString& makerName);

// The maker and device names held in a record's name area.
std::string RecordMakerName(const DeviceRecord& record);
std::string RecordDeviceName(const DeviceRecord& record);
