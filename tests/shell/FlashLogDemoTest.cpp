// What the log tells a user of the protected flash parts, as the program
// runs on the simulated programmer (run by hand under a virtual display
// with PROGRAMMER_PORT=sim and VEXLOR_FLASHLOG_SHOTS naming a folder;
// skipped otherwise), each step's window saved as a picture there:
// - MITSUBISHI M5M29FB800 programmed, block 0 (the boot block) locked
//   through Option: Erase erases blocks 1-18 and ends "Erase error!" with
//   the boot block's line, its address and what it kept;
// - AMD Am29F010 with blank sector 0 protected: the Program error line shows
//   the chip's FFh; programmed, then sector 0 protected: Erase names the
//   protected sector it left.
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
#include "shell/SimSetup.h"
#include "shell/Thread.h"
#include "sim/Catalog.h"

namespace {

// The program started from a private folder; `steps` drives the main window
// once it shows; the log's lines when it closed.
class FlashLogDemo : public ::testing::Test {
protected:
    void SetUp() override {
        shots_ = std::getenv("VEXLOR_FLASHLOG_SHOTS");
        if (shots_ == nullptr) GTEST_SKIP() << "run by hand with VEXLOR_FLASHLOG_SHOTS";
    }
    QString Run(const char* prefix, const std::function<void(TForm1&)>& steps) {
        const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
        QTemporaryDir home;
        std::filesystem::create_symlink(bin / "krd.dat", home.filePath("krd.dat").toStdString());
        std::string argv0 = home.filePath("vexlor").toStdString();
        char* argv[] = {argv0.data(), nullptr};
        prefix_ = prefix;
        QStringList log;
        RunProgram(1, argv, [&](TForm1& form) {
            QTimer::singleShot(300, &form, [&] {
                steps(form);
                for (const std::string& l : MainLog().Lines()) log << QString::fromStdString(l);
                form.close();
            });
        });
        return log.join('\n');
    }
    void Shot(QWidget* w, const char* what) {
        w->grab().save(QString("%1/%2-%3-%4.png").arg(shots_).arg(prefix_).arg(++step_).arg(what));
    }
    void Choose(TForm1& form, const char* name) {
        form.Select1Click();
        TSelDev& d = *SelDev;
        d.ComboBox1->setEditText(name);
        const auto rows = d.ListViewDev->findItems(name, Qt::MatchExactly, 0);
        if (!rows.isEmpty()) d.ListViewDev->setCurrentItem(rows.front());
        QApplication::processEvents();
        Shot(&d, "select");
        d.BitBtnOk->click();
        QApplication::processEvents();
    }
    // Option: the sectors as `mark` leaves them (from all unprotected), written.
    void Protect(TForm1& form, int sector, const char* what) {
        WhenShown<TOptSecProt1>([this, sector, what](TOptSecProt1& d) {
            d.ButtonUnprotectAllClick();
            if (sector >= 0) {
                d.ListView->setCurrentItem(d.ListView->topLevelItem(sector));
                d.ListViewClick();
            }
            QApplication::processEvents();
            Shot(&d, what);
            d.ButtonWrote->click();
        });
        form.Option1Click();
        QApplication::processEvents();
    }
    void Wait() {
        while (OperationBusy.load()) QApplication::processEvents(QEventLoop::AllEvents, 20);
        WaitForOperationThread();
        QApplication::processEvents();
    }
    const char* shots_ = nullptr;
    const char* prefix_ = "";
    int step_ = 0;
};

TEST_F(FlashLogDemo, M5M29FB800LockedBlockFailsTheErase) {
    uint32_t left = 0; // blocks 1-18 holding anything but blank words after the erase
    uint16_t boot = 0;
    const QString text = Run("M5M29FB800", [&](TForm1& form) {
        Choose(form, "M5M29FB800");
        for (uint32_t i = 0; i < 0x100000; ++i) BufferImage()[i] = static_cast<uint8_t>(i * 7 + 0x59);
        form.Program1Click();
        Wait();
        Shot(&form, "programmed");
        Protect(form, 0, "option-lock-block-0");
        form.Erase1Click();
        Wait();
        Shot(&form, "erase-fails-on-block-0");
        if (const sim::CatalogChip* chip = SeatedSimChip()) {
            boot = chip->Cell(0);
            for (uint32_t a = 0x2000; a < chip->Words(); ++a) left += chip->Cell(a) != 0xFFFF;
        }
    });
    EXPECT_TRUE(text.contains("Program ok!")) << text.toStdString();
    EXPECT_TRUE(text.contains(" Sector (Un)protection completed!")) << text.toStdString();
    EXPECT_TRUE(text.contains("Erase error!\n Block 000000h-001FFFh was not erased!\n Chip addr: 000000h  data: 6059h"))
        << text.toStdString();
    EXPECT_EQ(boot, 0x6059);
    EXPECT_EQ(left, 0u);
}

TEST_F(FlashLogDemo, Am29F010ProtectedSectorInProgramAndErase) {
    const QString text = Run("Am29F010", [&](TForm1& form) {
        Choose(form, "Am29F010");
        std::fill(BufferImage(), BufferImage() + 0x20000, uint8_t{0x3C});
        Protect(form, 0, "option-protect-blank-sector-0");
        form.Program1Click();
        Wait();
        Shot(&form, "program-refused-chip-FFh");
        Protect(form, -1, "option-unprotect");
        form.Program1Click();
        Wait();
        Protect(form, 0, "option-protect-programmed-sector-0");
        form.Erase1Click();
        Wait();
        Shot(&form, "erase-names-sector-0");
    });
    EXPECT_TRUE(text.contains("Program error!\n  Chip addr: 000000h  data: 00FFh\nBuffer addr: 000000h  data: 003Ch"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Program ok!")) << text.toStdString();
    EXPECT_TRUE(text.contains("Erase ok!\n Protected sector 000000h-003FFFh was not erased!")) << text.toStdString();
}

} // namespace
