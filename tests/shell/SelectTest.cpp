// Device selection on an authored library: lists, search rule, information,
// OK and Cancel, recent devices, large and bad libraries, refusal while busy.
#include <QListWidget>
#include <QTreeWidget>

#include "SelectTestLibrary.h"
#include "ShellTestSupport.h"
#include "dialogs/RadioGroup.h"

namespace {

class SelectTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ProgramDirectory = dir.Path();
        RecordTones();
    }
    TSelDev* Open(const std::vector<TestDevice>& devices = TestDevices()) {
        WriteTestLibrary(devices);
        form->EnableOperationControls(SupportedOperationMask);
        EXPECT_EQ(ShowDeviceSelection(form.get()), 0);
        return SelDev;
    }
    static QStringList Makers(TSelDev* f) {
        QStringList out;
        for (int i = 0; i < f->ListBoxMfg->count(); ++i)
            out << f->ListBoxMfg->item(i)->text();
        return out;
    }
    static QStringList Rows(TSelDev* f, int column = 0) {
        QStringList out;
        for (int i = 0; i < f->ListViewDev->topLevelItemCount(); ++i)
            out << f->ListViewDev->topLevelItem(i)->text(column);
        return out;
    }
    static void ChooseMaker(TSelDev* f, const QString& name) {
        const auto found = f->ListBoxMfg->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        f->ListBoxMfg->setCurrentItem(found[0]);
    }
    static void ChooseRow(TSelDev* f, const QString& device) {
        const auto found = f->ListViewDev->findItems(device, Qt::MatchExactly, 0);
        ASSERT_EQ(found.size(), 1) << device.toStdString();
        f->ListViewDev->setCurrentItem(found[0]);
    }
    static QStringList Memo(TSelDev* f) { return f->MemoInfo->toPlainText().split('\n'); }
    // Opens the form again and confirms the maker's device.
    void Reselect(const QString& maker, const QString& device) {
        ASSERT_EQ(ShowDeviceSelection(form.get()), 0);
        ChooseMaker(SelDev, maker);
        ChooseRow(SelDev, device);
        SelDev->BitBtnOk->click();
    }

    TempLibraryDir dir{"Select"};
};

TEST(SelectFilter, CharactersInOrderAndBlanks) {
    const struct {
        const char *filter, *maker, *device;
        int match;
    } cases[] = {
        // 2, 7, c, 2, 5, 6 in that order under any maker.
        {"27c256", "AMD", "Am27C256", 1},
        {"27c256", "INTEL", "27C256", 1},
        {"27c256", "AMD", "Am27C2560", 1},
        {"27c256", "ST", "M27C512", 0},
        {"stm", "ST", "M27C512", 1}, // across the join
        // A blank consumes nothing, but needs the name not used up.
        {"256 ", "INTEL", "27C256", 0},
        {"25 ", "INTEL", "27C256", 1},
        // A recent entry (maker, blank, device) finds its device.
        {"AMD Am27C256", "AMD", "Am27C256", 1},
        {"AMD Am27C256", "INTEL", "27C256", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchDeviceFilter(c.filter, c.maker, c.device), c.match) << c.filter << " / " << c.device;
    // "a 2" matches exactly what "a2" matches.
    for (const auto& [maker, device] : {std::pair{"AMD", "Am27C256"}, {"INTEL", "27C256"}, {"ATMEL", "AT89C51"},
                                        {"ST", "M27C512"}, {"AMD", "A"}})
        EXPECT_EQ(MatchDeviceFilter("a 2", maker, device), MatchDeviceFilter("a2", maker, device)) << device;
}

TEST_F(SelectTest, ListsBySectionMakerAndSearchText) {
    TSelDev* f = Open();
    EXPECT_EQ(f->DeviceCount, 8);
    EXPECT_EQ(Makers(f), (QStringList{"AMD", "ATMEL", "INTEL", "LATTICE", "SIGNETICS(PHILIPS)", "ST"}));
    EXPECT_EQ(f->ListBoxMfg->currentRow(), 0);
    EXPECT_EQ(Rows(f), (QStringList{"Am27C256", "Am27C010", "Am27C1024"}));
    EXPECT_EQ(Rows(f, 1), (QStringList{"DIP28", "DIP32", "DIP40"}));
    EXPECT_EQ(Rows(f, 2), (QStringList{"", "", "SA-103"}));
    EXPECT_EQ(Memo(f), QStringList{"Total Selected Device: 8, Select: 3"});

    ChooseMaker(f, "INTEL");
    EXPECT_EQ(Rows(f), QStringList{"27C256"});
    EXPECT_EQ(Makers(f).size(), 6); // the maker list stays

    // The search text narrows both lists.
    f->ComboBox1->setEditText("27c256");
    EXPECT_EQ(Makers(f), (QStringList{"AMD", "INTEL"}));
    EXPECT_EQ(Rows(f), QStringList{"Am27C256"});
    EXPECT_EQ(Memo(f), QStringList{"Total Selected Device: 8, Select: 1"});
    f->ComboBox1->setEditText("zz");
    EXPECT_TRUE(Makers(f).isEmpty());
    EXPECT_TRUE(Rows(f).isEmpty());
    f->ComboBox1->setEditText("");

    // One section: the PLD's package comes from its own field.
    f->RadioGroup1->Item(2)->click();
    EXPECT_EQ(f->DeviceCount, 1);
    EXPECT_EQ(Makers(f), QStringList{"LATTICE"});
    EXPECT_EQ(Rows(f, 1), QStringList{"DIP20"});
    f->RadioGroup1->Item(4)->click();
    EXPECT_EQ(Rows(f), QStringList{"82S123"});
    f->RadioGroup1->Item(0)->click();
    EXPECT_EQ(f->DeviceCount, 8);
}

TEST_F(SelectTest, DeviceInformation) {
    TSelDev* f = Open();
    ChooseRow(f, "Am27C256");
    EXPECT_EQ(
        Memo(f),
        (QStringList{"Manufacturer:AMD, Device Name:Am27C256",
                     "Num. of pins:28, Chip size:8000h(32768), Word size:8, Mfg. code:0001, "
                     "Dev. code:0010, Prog. algo.:Quick, Vcc pin:28, Gnd pin:14, Vpp pin: 1, "
                     "Prog. Vccp: 6.25V, Prog. Vpp: 12.75V, Pulse width: 100Us, Over prog. pulse: None"}));
    ChooseRow(f, "Am27C1024"); // 16 bits: the size in bytes
    EXPECT_TRUE(Memo(f)[1].startsWith("Num. of pins:40, Chip size:20000h(131072), Word size:16, "));
    ChooseMaker(f, "ST");
    ChooseRow(f, "M27C512");
    EXPECT_TRUE(Memo(f)[1].endsWith("Vpp pin: 22, Prog. Vccp: 6.25V, Prog. Vpp: 12.75V, Pulse width: 100Us, "
                                    "Over prog. pulse: x*3000us"));
    ChooseMaker(f, "LATTICE");
    ChooseRow(f, "GAL16V8");
    EXPECT_EQ(Memo(f),
              (QStringList{"Manufacturer:LATTICE, Device Name:GAL16V8",
                           "Num. of pins:20, Chip size:2194, Product term:32, Vcc pin:20, Gnd pin:10, "}));
}

// Numbers outside the package, adapter and algorithm-name tables show neutral
// texts; the engine refuses such a record and nothing changes.
TEST_F(SelectTest, OutOfTableNumbersAreNeutral) {
    std::vector<TestDevice> devices = TestDevices();
    TestDevice odd{63, "X28Odd", SectionEprom, 300, 8192, 8, 0x12, 0x34, 200, 40};
    devices.push_back(odd);
    TSelDev* f = Open(devices);
    ChooseMaker(f, "XICOR");
    EXPECT_EQ(Rows(f, 1), QStringList{""});
    EXPECT_EQ(Rows(f, 2), QStringList{""});
    ChooseRow(f, "X28Odd");
    EXPECT_TRUE(Memo(f)[1].startsWith("Num. of pins:0, Chip size:2000h(8192), Word size:8, Mfg. code:0012, "
                                      "Dev. code:0034, Prog. algo.:, Vcc pin:, Gnd pin:, Vpp pin: None, "))
        << Memo(f)[1].toStdString();
    f->BitBtnOk->click();
    EXPECT_EQ(CurrentDeviceName, "Am27128");
    EXPECT_TRUE(RecentDevices.empty());
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(LogLines().last().startsWith("Invalid device record:"));
}

TEST_F(SelectTest, OkSelectsAndRefreshesCancelChangesNothing) {
    TSelDev* f = Open();
    // OK without a row.
    f->ListViewDev->clearSelection();
    f->BitBtnOk->click();
    EXPECT_EQ(Memo(f), QStringList{"Select device first!"});
    EXPECT_EQ(tones, std::vector<int>{kFailTone});
    EXPECT_FALSE(form->CommandEnabled(form->Erase1));

    ChooseMaker(f, "ST");
    ChooseRow(f, "M27C512");
    f->BitBtnCancel->click();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(CurrentDeviceName, "Am27128");

    Reselect("ST", "M27C512");
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(CurrentMakerName, "ST");
    EXPECT_EQ(CurrentDeviceName, "M27C512");
    EXPECT_EQ(BufferEnd, 0xFFFFu);
    EXPECT_EQ(form->DeviceName->text(), "ST M27C512");
    EXPECT_TRUE(form->CommandEnabled(form->Erase1)); // the new device erases
    EXPECT_EQ(RecentDevices, std::vector<std::string>{"ST M27C512"});

    // The same device again is not added twice; the search text stays.
    Reselect("ST", "M27C512");
    EXPECT_EQ(f->ComboBox1->count(), 1);
    EXPECT_EQ(f->ComboBox1->itemText(0), "ST M27C512");
    EXPECT_EQ(RecentDevices.size(), 1u);

    // Choosing the recent entry narrows the lists to that device.
    ASSERT_EQ(ShowDeviceSelection(form.get()), 0);
    f->ComboBox1->setCurrentIndex(0);
    EXPECT_EQ(Makers(f), QStringList{"ST"});
    EXPECT_EQ(Rows(f), QStringList{"M27C512"});

    // A double click on a row selects it as OK does.
    f->ComboBox1->setEditText("");
    ChooseMaker(f, "AMD");
    ChooseRow(f, "Am27C010");
    emit f->ListViewDev->itemDoubleClicked(f->ListViewDev->currentItem(), 0);
    EXPECT_EQ(CurrentDeviceName, "Am27C010");
    EXPECT_FALSE(f->isVisible());
    // The form is the main window's: no window of its own in the task bar.
    EXPECT_EQ(f->parentWidget(), form.get());
}

TEST_F(SelectTest, RecentDevicesKeepWhatTheConfigurationStores) {
    for (int i = 1; i <= 9; ++i)
        RecentDevices.push_back("MAKER Device" + std::to_string(i));
    TSelDev* f = Open();
    // Activation keeps the eight newest, newest first.
    ASSERT_EQ(RecentDevices.size(), 8u);
    EXPECT_EQ(RecentDevices.front(), "MAKER Device2");
    EXPECT_EQ(f->ComboBox1->count(), 8);
    EXPECT_EQ(f->ComboBox1->itemText(0), "MAKER Device9");

    // Nine after a selection; a tenth pushes the oldest out.
    ChooseRow(f, "Am27C256");
    f->BitBtnOk->click();
    EXPECT_EQ(RecentDevices.size(), 9u);
    EXPECT_EQ(RecentDevices.back(), "AMD Am27C256");
    ChooseRow(f, "Am27C010");
    ASSERT_TRUE(SelectDeviceRecord(
                    f, f->RowMap[f->ListViewDev->indexOfTopLevelItem(f->ListViewDev->currentItem())]) == 1);
    EXPECT_EQ(RecentDevices.size(), 9u);
    EXPECT_EQ(RecentDevices.front(), "MAKER Device3");
    EXPECT_EQ(RecentDevices.back(), "AMD Am27C010");
}

// More records and rows than the old fixed tables held, and records that do
// not fit their fields.
TEST_F(SelectTest, LargeLibraryAndBadRecords) {
    std::vector<TestDevice> devices;
    for (int i = 0; i < 4000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "D%04d", i);
        devices.push_back({kAmd, name});
    }
    TSelDev* f = Open(devices);
    EXPECT_EQ(f->DeviceCount, 4000);
    EXPECT_EQ(f->ListViewDev->topLevelItemCount(), 4000);
    ChooseRow(f, "D3999");
    f->BitBtnOk->click();
    EXPECT_EQ(CurrentDeviceName, "D3999");
    DestroyDeviceSelectionForm();

    // A name that does not end inside its field, one too long for the name
    // area, then a good record, then a record cut short by the entry's end.
    std::vector<uint8_t> eprom;
    AppendLibraryRecord(eprom, {kAmd, "Am27C256"});
    std::vector<uint8_t> bad;
    AppendLibraryRecord(bad, {kIntel, "27C256"});
    bad[2 + 6] = 'X'; // the terminating zero
    eprom.insert(eprom.end(), bad.begin(), bad.end());
    AppendLibraryRecord(eprom, {kIntel, std::string(50, 'N')});
    AppendLibraryRecord(eprom, {kSt, "M27C512"});
    std::vector<uint8_t> cut;
    AppendLibraryRecord(cut, {kSt, "M27C256"});
    eprom.insert(eprom.end(), cut.begin(), cut.begin() + 20);
    WriteTestLibrary({}, {{kLibraryEntryEprom, eprom}});
    MainLog().Clear();
    ASSERT_EQ(ShowDeviceSelection(form.get()), 0);
    f = SelDev;
    EXPECT_EQ(f->DeviceCount, 2);
    EXPECT_EQ(Makers(f), (QStringList{"AMD", "ST"}));
    EXPECT_TRUE(LogLines().contains("Device library: 3 bad device records skipped."))
        << LogLines().join('|').toStdString();
}

TEST_F(SelectTest, RefusedWhileAnOperationRuns) {
    TSelDev* f = Open();
    ChooseRow(f, "Am27C010");
    OperationBusy.store(true);
    f->BitBtnOk->click();
    EXPECT_EQ(CurrentDeviceName, "Am27128");
    EXPECT_EQ(Memo(f), QStringList{"Can not be executed while an operation is running."});
    EXPECT_EQ(f->ButtonAutoSelectClick(), -1); // no question asked
    // The type choice would reload the lists from the library the run reads:
    // refused, and the choice goes back to what the lists hold.
    const int rows = f->ListViewDev->topLevelItemCount();
    f->RadioGroup1->Item(2)->click();
    EXPECT_EQ(f->RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(f->ListViewDev->topLevelItemCount(), rows);
    EXPECT_EQ(f->DeviceCount, 8);
    EXPECT_EQ(Memo(f), QStringList{"Can not be executed while an operation is running."});
    f->close();
    EXPECT_EQ(ShowDeviceSelection(form.get()), -1);
    EXPECT_FALSE(f->isVisible());
    OperationBusy.store(false);
}

} // namespace
