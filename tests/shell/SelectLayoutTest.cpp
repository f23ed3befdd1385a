// The device selection with the built library at any font: every maker's
// devices listed with their names, packages and adapters whole, and the
// generic-algorithm names within the width the device column is drawn for.
#include <QHeaderView>
#include <QListWidget>
#include <QTreeWidget>

#include "FormChecks.h"
#include "ShellTestSupport.h"
#include "dialogs/FontFit.h"

namespace {

class SelectLayout : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        std::filesystem::create_symlink(std::filesystem::read_symlink("/proc/self/exe").parent_path() / "krd.dat",
                                        dir.filePath("krd.dat").toStdString());
        ProgramDirectory = dir.path().toStdString();
        LibraryFileName = "krd.dat";
    }
    QTemporaryDir dir;
};

// Shows the devices of `maker`.
void ShowMaker(TSelDev& d, const QString& maker) {
    const auto rows = d.ListBoxMfg->findItems(maker, Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1) << maker.toStdString();
    d.ListBoxMfg->setCurrentItem(rows[0]);
    QApplication::processEvents();
}

TEST_F(SelectLayout, EveryMakersDevicesShowWhole) {
    QWidget* owner = form.get();
    FontSizes([owner] {
        TSelDev d(owner);
        PopulateDeviceSelection(&d);
        d.show();
        QApplication::processEvents();
        ASSERT_GT(d.ListBoxMfg->count(), 10);
        for (int m = 0; m < d.ListBoxMfg->count(); ++m) {
            const QString maker = d.ListBoxMfg->item(m)->text();
            SCOPED_TRACE(maker.toStdString());
            ShowMaker(d, maker);
            formchecks::ExpectColumnsWhole(d.ListViewDev);
        }
        // The generic names are the program's own: each fits the device
        // column's width at the font, so the column keeps it.
        ShowMaker(d, "GENERIC-ALGORITHM");
        ExpectNothingClipped(&d);
        const QFontMetrics fm(d.ListViewDev->font());
        const int room = ScaleOfFont(d.ListViewDev->font()).ScaleX(120) -
                         2 * (d.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, d.ListViewDev) + 1);
        QStringList boot;
        for (int i = 0; i < d.ListViewDev->topLevelItemCount(); ++i) {
            const QString name = d.ListViewDev->topLevelItem(i)->text(0);
            EXPECT_LE(fm.horizontalAdvance(name), room) << name.toStdString();
            if (name.startsWith("PAGE-BOOT-")) boot << name;
        }
        // The five boot-block page-flash parts read apart.
        boot.removeDuplicates();
        EXPECT_EQ(boot.size(), 5) << boot.join(",").toStdString();
        d.hide();
    });
}

} // namespace
