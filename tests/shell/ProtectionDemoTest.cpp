// The program as a user runs it on the simulated programmer (run by hand
// under a virtual display with VEXLOR_PROTECT_SHOTS naming a folder; skipped
// otherwise): the AMD Am29F010 chosen in the device selection dialog, Option
// showing the protection dialog, sector 0 marked "Protect" and written, then
// Program failing at an address in sector 0. Each step's window is saved as
// a picture in the folder, and the run's outcome is checked.
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <functional>

#include "ShellTestSupport.h"
#include "engine/Buffer.h"
#include "memory/OptSecProt.h"
#include "shell/Application.h"
#include "shell/Select.h"
#include "shell/Thread.h"

namespace {

TEST(ProtectionDemo, Am29F010SectorZeroRefusesProgram) {
    const char* shots = std::getenv("VEXLOR_PROTECT_SHOTS");
    if (shots == nullptr) GTEST_SKIP() << "run by hand with VEXLOR_PROTECT_SHOTS";
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    QTemporaryDir home;
    std::filesystem::create_symlink(bin / "krd.dat", home.filePath("krd.dat").toStdString());
    std::string argv0 = home.filePath("vexlor").toStdString();
    char* argv[] = {argv0.data(), nullptr};
    int step = 0;
    auto shot = [&](QWidget* w, const char* what) {
        w->grab().save(QString("%1/%2-%3.png").arg(shots).arg(++step).arg(what));
    };
    QStringList log;
    RunProgram(1, argv, [&](TForm1& form) {
        QTimer::singleShot(300, &form, [&] {
            // The selection form is not modal: it stays open beside the window.
            form.Select1Click();
            TSelDev& d = *SelDev;
            d.ComboBox1->setEditText("Am29F010");
            const auto rows = d.ListViewDev->findItems("Am29F010", Qt::MatchExactly, 0);
            if (!rows.isEmpty()) d.ListViewDev->setCurrentItem(rows.front());
            QApplication::processEvents();
            shot(&d, "select-Am29F010");
            d.BitBtnOk->click();
            QApplication::processEvents();
            shot(&form, "selected");
            WhenShown<TOptSecProt1>([&](TOptSecProt1& d) {
                d.ButtonUnprotectAllClick();
                d.ListView->setCurrentItem(d.ListView->topLevelItem(0));
                d.ListViewClick();
                QApplication::processEvents();
                shot(&d, "option-protect-sector-0");
                d.ButtonWrote->click();
            });
            form.Option1Click();
            QApplication::processEvents();
            shot(&form, "protected");
            // The user's data: no byte left blank.
            std::fill(BufferImage(), BufferImage() + 0x20000, uint8_t{0x3C});
            form.Program1Click();
            while (OperationBusy.load()) QApplication::processEvents(QEventLoop::AllEvents, 20);
            WaitForOperationThread();
            QApplication::processEvents();
            shot(&form, "program-fails-in-sector-0");
            for (const std::string& l : MainLog().Lines()) log << QString::fromStdString(l);
            form.close();
        });
    });
    const QString text = log.join('\n');
    EXPECT_TRUE(text.contains(" Sector (Un)protection completed!")) << text.toStdString();
    EXPECT_TRUE(text.contains("Program error!")) << text.toStdString();
    EXPECT_TRUE(text.contains("Chip addr: 000000h")) << text.toStdString();
}

} // namespace
