// Auto Select on the simulated programmer: a signature EPROM in the socket is
// found and its record selected; blank codes, unknown codes and the package
// detection's refusals select nothing and say why.
#include "SelectTestLibrary.h"
#include "ShellTestSupport.h"
#include "../engine/SimBench.h"
#include "sim/ProbeChip.h"
#include "sim/SignatureEprom.h"

namespace {

class SelectAutoTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        sim::Electrical* electrical = nullptr;
        BringUpSimulatedProgrammer(simp, electrical, socket);
        ProgramDirectory = dir.Path();
        WriteTestLibrary(TestDevices());
        RecordTones();
        CreateDeviceSelectionForm();
        PopulateDeviceSelection(SelDev);
        SelDev->show();
    }
    // Seats `chip` alone, confirms the warning and runs Auto Select; the log lines it added.
    int Run(QStringList& log, std::unique_ptr<sim::ChipModel> chip = nullptr) {
        if (chip) {
            socket->Clear();
            socket->Insert(std::move(chip));
        }
        tones.clear();
        const int before = static_cast<int>(LogLines().size());
        AnswerNextBox(QMessageBox::Ok, &warning);
        const int r = SelDev->ButtonAutoSelectClick();
        log = LogLines().mid(before);
        return r;
    }
    QString Memo() const { return SelDev->MemoInfo->toPlainText(); }

    TempLibraryDir dir{"Auto"};
    sim::SimProgrammer simp;
    sim::Socket* socket = nullptr;
    BoxAnswer warning;
};

TEST_F(SelectAutoTest, FindsTheEpromAndSelectsItsRecord) {
    QStringList log;
    EXPECT_EQ(Run(log, std::make_unique<sim::SignatureEprom>(28, 0x20, 0x3D)), 1);
    EXPECT_EQ(warning.title, "Auto Device Select");
    EXPECT_TRUE(warning.text.startsWith("Warning :\nAuto Device Select is an optional feature."));
    EXPECT_EQ(log.mid(0, 3),
              (QStringList{"Find at 28pin device.", " Manufactorer ID : 20", " Device ID       : 3d"}));
    EXPECT_EQ(CurrentMakerName, "ST");
    EXPECT_EQ(CurrentDeviceName, "M27C512");
    EXPECT_EQ(RecentDevices, std::vector<std::string>{"ST M27C512"});
    EXPECT_FALSE(SelDev->isVisible());
    EXPECT_EQ(tones, std::vector<int>{kOkTone});
    // The device's own image is back in the programmer; all sections listed again.
    EXPECT_EQ(LoadedLogicImage, 5);
    EXPECT_EQ(SelDev->DeviceCount, 8);

    SelDev->show();
    EXPECT_EQ(Run(log, std::make_unique<sim::SignatureEprom>(32, 0x01, 0x0E)), 1);
    EXPECT_EQ(log.first(), "Find at 32pin device.");
    EXPECT_EQ(CurrentDeviceName, "Am27C010");
    EXPECT_TRUE(simp.Violations().empty()) << simp.Violations().front();
}

TEST_F(SelectAutoTest, BlankOrUnknownCodesSelectNothing) {
    QStringList log;
    for (uint8_t code : {uint8_t{0xFF}, uint8_t{0x00}}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Run(log, std::make_unique<sim::SignatureEprom>(28, code, 0x10)), -1);
        EXPECT_EQ(Memo(), "Device not found.");
        EXPECT_EQ(log, QStringList{"Device not found."});
        EXPECT_EQ(tones, std::vector<int>{kFailTone});
    }
    EXPECT_EQ(Run(log, std::make_unique<sim::SignatureEprom>(24, 0x9B, 0x31)), -1);
    EXPECT_TRUE(log.contains("Can not find chip id from device information data base!"));
    EXPECT_EQ(CurrentDeviceName, "Am27128");
    EXPECT_TRUE(RecentDevices.empty());
    EXPECT_TRUE(SelDev->isVisible());
    EXPECT_TRUE(simp.Violations().empty()) << simp.Violations().front();
}

TEST_F(SelectAutoTest, PackageDetectionRefusals) {
    QStringList log;
    EXPECT_EQ(Run(log), -4); // empty socket
    EXPECT_EQ(Memo(), "Insert device.");
    socket->Insert(std::make_unique<sim::ProbeChip>(sim::DipSocketPins(28, 1)));
    EXPECT_EQ(Run(log), -3);
    EXPECT_EQ(Memo(), "Insert device corretly.");
    EXPECT_EQ(Run(log, std::make_unique<sim::ProbeChip>(sim::DipSocketPins(40))), -1); // a package the signature read does not know
    EXPECT_EQ(Memo(), "Device not found.");
    socket->Insert(std::make_unique<sim::Obstruction>());
    BoxAnswer error;
    AnswerNextBox(QMessageBox::Ok, &warning);
    AnswerNextBox(QMessageBox::Ok, &error);
    EXPECT_EQ(SelDev->ButtonAutoSelectClick(), -2);
    EXPECT_EQ(QStringList({warning.title, error.title}).filter("Error").size(), 1);
    EXPECT_EQ(tones.back(), kFailTone);
    EXPECT_EQ(CurrentDeviceName, "Am27128");
    EXPECT_EQ(LoadedLogicImage, 5);
}

TEST_F(SelectAutoTest, CancelOrNoProgrammer) {
    socket->Insert(std::make_unique<sim::SignatureEprom>(28, 0x20, 0x3D));
    AnswerNextBox(QMessageBox::Cancel, &warning);
    EXPECT_EQ(SelDev->ButtonAutoSelectClick(), 0);
    EXPECT_EQ(CurrentDeviceName, "Am27128");
    ProgrammerConnected = -1;
    QStringList log;
    EXPECT_EQ(Run(log), -1);
    EXPECT_EQ(Memo(), "Can not be executed with Communication Error!");
    EXPECT_EQ(CurrentDeviceName, "Am27128");
    EXPECT_EQ(tones, std::vector<int>{kFailTone});
}

} // namespace
