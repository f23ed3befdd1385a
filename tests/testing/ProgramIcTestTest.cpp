// The IC test in the program on the simulated programmer: a logic part seated
// through VEXLOR_SIM_LOGIC_IC, the test image downloaded from the built device
// library, lg.dat as the build puts it beside the program.
#include <QPixmap>
#include <cstdlib>

#include "FormFixture.h"
#include "shell/SimSetup.h"

namespace {

class ProgramIcTest : public FormFixture {
protected:
    std::unique_ptr<PortIo> program;
    void SetUp() override {
        FormFixture::SetUp();
        for (const char* f : {"krd.dat", "lg.dat"})
            std::filesystem::copy_file(std::filesystem::read_symlink("/proc/self/exe").parent_path() / f, dir / f);
        LibraryFileName = "krd.dat";
        LoadedLogicImage = 0;
        setenv(kSimLogicIcVariable, "SN7400", 1);
        program = MakeProgramSimulator();
        unsetenv(kSimLogicIcVariable);
        InstallPortIoRef(program.get());
    }
    void TearDown() override {
        InstallPortIoRef(nullptr);
        program.reset();
        FormFixture::TearDown();
    }
};

TEST_F(ProgramIcTest, AutoFindAndTestOnASeatedNandPart) {
    ASSERT_NE(ProgramSimulator(), nullptr);
    form->ButtonAutoFindClick();
    EXPECT_EQ(LoadedLogicImage, static_cast<int32_t>(kLibraryTestImage));
    EXPECT_EQ(Texts(), std::vector<std::string>{"7400,74LS00,74HC00,"});

    // Load the 7400 entry from the library and test the part with it.
    ui.Clear();
    onLibrary = [](TEditLgFile* d) { return Choose(d, "7400", &TEditLgFile::ButtonLoadClick); };
    form->ButtonFileClick();
    ASSERT_EQ(form->LabelIcName->text(), "7400");
    ProgramSimulator()->ClearViolations();
    form->ButtonTestClick();
    EXPECT_EQ(Texts(), std::vector<std::string>{"Ic Test Pass."});
    EXPECT_TRUE(ProgramSimulator()->Violations().empty());

    // The window as the user sees it, when a picture is asked for.
    if (const char* shot = std::getenv("VEXLOR_SCREENSHOT"); shot != nullptr && *shot != '\0') {
        form->show();
        form->FormActivate();
        QTest::qWait(200);
        form->grab().save(QString::fromLocal8Bit(shot));
    }
}

} // namespace
