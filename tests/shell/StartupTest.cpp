// Start-up and shutdown: the product chosen by the started name, the program
// directory in its real case, the configuration read at start and written at
// exit, and the information panel's texts.
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <csignal>
#include <unistd.h>

#include "ShellTestSupport.h"
#include "shell/Application.h"
#include "shell/InfoPanel.h"
#include "shell/Startup.h"
#include "shell/SimSetup.h"
#include "sim/Electrical.h"
#include "testing/RamTester.h"
#include "testing/Ramtest.h"
#include "testing/TestRun.h"

namespace {

TEST(ProductSelectionTest, RowsByStartedName) {
    const std::string longDir = "/" + std::string(300, 'a') + "/Tools"; // far beyond the old 80 characters
    const struct {
        std::string path;
        int row;
        std::string dir;
    } cases[] = {
        {"/opt/tools/plorv", 4, "/opt/tools"},
        {"/opt/tools/gz5n", 0, "/opt/tools"},
        {"/opt/tools/hjxe", 1, "/opt/tools"},
        {"/opt/tools/ylb", 2, "/opt/tools"},
        {"/opt/tools/312q", 3, "/opt/tools"},
        {"/usr/local/bin/vexlor", 5, "/usr/local/bin"},
        // Mixed case matches; the directory keeps its case.
        {"/Home/Ann/Bin/PlOrV", 4, "/Home/Ann/Bin"},
        {"/data/Ylb.exe", 2, "/data"},
        // A directory holding a product name selects it, whatever the program's name.
        {"/mnt/gz5n.exe/vexlor", 0, "/mnt/gz5n.exe"},
        // The first row of the table wins.
        {"/srv/plorv.exe/gz5n", 0, "/srv/plorv.exe"},
        // An extension of its own is not replaced.
        {"/opt/plorv.sh", 5, "/opt"},
        {"plorv", 4, ""},
        {"/plorv", 4, "/"},
        {longDir + "/hjxe", 1, longDir},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(SelectProductForPath(c.path).Row, c.row);
        EXPECT_EQ(SelectProductForPath(c.path).Directory, c.dir);
    }
}

TEST(ProductSelectionTest, GlobalsFollowTheStartedLink) {
    ResetEngineForShellTest();
    QTemporaryDir dir;
    const std::string link = dir.filePath("Plorv").toStdString();
    ASSERT_EQ(symlink("/bin/true", link.c_str()), 0);
    SetStartedAs(link);
    EXPECT_EQ(StartedAsPath(), link); // not resolved to /bin/true
    SelectProductByExeName();
    EXPECT_STREQ(ProductName, "Wend Pike");
    EXPECT_EQ(LibraryFileName, "plorv.dat");
    EXPECT_STREQ(ConfigFileName, "plorv.cfg");
    EXPECT_EQ(ProgramDirectory, dir.path().toStdString());
    EXPECT_EQ(ConfigFilePath(), dir.path().toStdString() + "/plorv.cfg");

    // A relative start is made absolute against the current directory.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path().toStdString());
    SetStartedAs("./Plorv");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(StartedAsPath(), link);

    SetStartedAs("/usr/bin/vexlor");
    SelectProductByExeName();
    EXPECT_STREQ(ProductName, "Vexlor");
    EXPECT_EQ(LibraryFileName, "krd.dat");
    EXPECT_STREQ(ConfigFileName, "krd.cfg");
    ResetLibraryState();
}

TEST_F(ShellTest, ConfigurationIsReadAtStartAndWrittenAtExit) {
    QTemporaryDir dir;
    ProgramDirectory = dir.path().toStdString();
    ConfigFileName = "krd.cfg";
    ProductName = "Tarn 3120";
    CreateFormsAndLoadConfig(); // no file yet: the program starts all the same
    EXPECT_EQ(form->windowTitle(), "Tarn 3120");
    EXPECT_TRUE(form->Program1->isVisible());
    EXPECT_EQ(form->DeviceName->text(), "AMD Am27128");
    // The configuration and selection forms live from start-up to shutdown.
    EXPECT_TRUE(CfgOpt && SelDev && !SelDev->isVisible());
    // Both belong to the main window: no task bar entries, never behind it.
    EXPECT_EQ(CfgOpt->parentWidget(), form.get());
    EXPECT_EQ(SelDev->parentWidget(), form.get());

    WordMode = 2;
    LastSocketIndex = 0;
    SaveConfigAndShutdown();
    EXPECT_TRUE(!CfgOpt && !SelDev);
    const std::string cfg = ConfigFilePath();
    ASSERT_TRUE(std::filesystem::exists(cfg));
    EXPECT_EQ(std::filesystem::file_size(cfg), 1791u);

    InitBuffers();
    WordMode = 0;
    CreateFormsAndLoadConfig();
    EXPECT_EQ(WordMode, 2u);
    EXPECT_EQ(form->Split->text(), "C: Odd   ");
    ResetLibraryState();
    ConfigFileName = "krd.cfg";
}

// Runs the program's message loop, so in a process of its own.
TEST_F(ShellTest, ClosingTheMainWindowEndsTheLoopWithOtherFormsOpen) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [this] {
        // The configuration form is a window of its own; the program ends all the same.
        QuitWhenMainFormCloses(form.get());
        form->show();
        ShowConfigOptions(form.get());
        QTimer::singleShot(0, form.get(), [this] { form->Exit1->trigger(); });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(3); });
        guard.start(10000);
        const int rc = QCoreApplication::exec();
        std::_Exit(rc == 0 && CfgOpt->isVisible() == false ? 0 : 1);
    };
    EXPECT_EXIT(run(), testing::ExitedWithCode(0), "");
}

TEST(PortDriverTest, FailureNamesThePortAndTheSystemsReason) {
    const struct {
        const char* port;
        int err;
        const char* says[2];
    } cases[] = {
        {"/dev/parport0", EACCES, {"/dev/parport0: Permission denied", "lp group"}},
        {"/dev/parport1", EBUSY, {"/dev/parport1: Device or resource busy", "claimed by another"}},
        {"raw port access", EPERM, {"raw port access: Operation not permitted", "CAP_SYS_RAWIO"}},
        {"/dev/parport2", ENOENT, {"/dev/parport2: No such file or directory", ""}},
    };
    for (const auto& c : cases) {
        const std::string text = DescribePortOpenFailure(c.port, c.err);
        for (const char* part : c.says)
            EXPECT_NE(text.find(part), std::string::npos) << text;
    }

    // The start-up failure box says which port and why.
    ResetPortState();
    ASSERT_EQ(setenv("PROGRAMMER_PORT", "/nonexistent/parport7", 1), 0);
    EXPECT_EQ(OpenGiveioDriver(), -1);
    unsetenv("PROGRAMMER_PORT");
    const QString box = PortDriverFailureText();
    EXPECT_TRUE(box.startsWith("Could not acess I/O devcie!")) << box.toStdString();
    EXPECT_TRUE(box.contains("/nonexistent/parport7: No such file or directory")) << box.toStdString();
    ResetPortState();
    InstallPortIo(nullptr);
}

// The program itself, started on the simulated programmer: a termination
// request ends it as Exit does, so the configuration is written.
TEST(ProgramProcessTest, QuitSignalsSaveTheConfiguration) {
    EnsureApp();
    const std::string program =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/vexlor";
    ASSERT_TRUE(std::filesystem::exists(program)) << program;
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        QTemporaryDir home;
        // Started through a link in the temporary directory: the configuration
        // is written beside it.
        const QString link = home.filePath("vexlor");
        ASSERT_EQ(symlink(program.c_str(), link.toLocal8Bit().constData()), 0);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PROGRAMMER_PORT", "sim");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home.path());
        env.remove("XDG_CONFIG_HOME");
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(link, {});
        ASSERT_TRUE(p.waitForStarted());
        // The handler is in place once the signal shows as caught.
        const std::string status = "/proc/" + std::to_string(p.processId()) + "/status";
        auto caught = [&] {
            std::ifstream in(status);
            std::string line;
            while (std::getline(in, line))
                if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
            return 0ull;
        };
        ASSERT_TRUE(WaitUntil([&] { return caught() != 0; }, 60000));
        ASSERT_EQ(kill(static_cast<pid_t>(p.processId()), sig), 0);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        const QFileInfo cfg(home.filePath("krd.cfg"));
        EXPECT_TRUE(cfg.exists());
        EXPECT_EQ(cfg.size(), 1791);
    }
}

// The program run by ProgramProcessTest.QuitDuringALongRamTest as its child
// (VEXLOR_QUIT_CHILD names its directory; without it this does nothing): it
// opens the RAM test on the 4M*1 DRAM and starts it, says "running" once
// the test is under way, and reports the socket as the test left it, the
// address reached and the log.
TEST(ProgramProcessTest, RamTestChild) {
    const char* home = std::getenv("VEXLOR_QUIT_CHILD");
    if (home == nullptr) GTEST_SKIP() << "run by QuitDuringALongRamTest";
    std::string argv0 = std::string(home) + "/vexlor";
    char* argv[] = {argv0.data(), nullptr};
    const int rc = RunProgram(1, argv, [](TForm1& form) {
        form.ExecTestDialog = [](QDialog* d) {
            auto* ram = qobject_cast<TRamTest1*>(d);
            if (ram == nullptr) return d->exec();
            ram->ListBox1->setCurrentRow(3);
            QTimer::singleShot(0, ram, [ram] { ram->ButtonTestClick(); });
            auto* tell = new QTimer(ram);
            QObject::connect(tell, &QTimer::timeout, [tell] {
                if (!TestBusy.load() || RamTestAddress == 0) return;
                std::printf("running\n");
                std::fflush(stdout);
                tell->stop();
            });
            tell->start(5);
            const int r = d->exec();
            const sim::Electrical* e = sim::Electrical::Find(*ProgramSimulator());
            std::printf("socket %zu %zu\naddress %u\n", e->SuppliedPins().size(), e->GroundedPins().size(),
                        RamTestAddress);
            return r;
        };
        QTimer::singleShot(0, &form, [&form] { form.RAMTest1Click(); });
    });
    for (const std::string& line : MainLog().Lines()) std::printf("log %s\n", line.c_str());
    std::fflush(stdout);
    std::_Exit(rc);
}

// A termination request during a long RAM test (4M*1 DRAM, over four million
// locations): the test ends as a user break at once, the socket is powered
// down, the configuration saved and the program ends with 0.
TEST(ProgramProcessTest, QuitDuringALongRamTest) {
    EnsureApp();
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    QTemporaryDir home;
    std::filesystem::create_symlink(bin / "krd.dat", home.filePath("krd.dat").toStdString());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VEXLOR_QUIT_CHILD", home.path());
    env.insert("PROGRAMMER_PORT", "sim");
    env.insert("VEXLOR_SIM_LOGIC_IC", "44000");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home.path());
    env.remove("XDG_CONFIG_HOME");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QString::fromStdString((bin / "test_shell").string()),
            {"--gtest_filter=ProgramProcessTest.RamTestChild"});
    ASSERT_TRUE(p.waitForStarted());
    QByteArray out;
    ASSERT_TRUE(WaitUntil(
        [&] {
            p.waitForReadyRead(10);
            out += p.readAllStandardOutput();
            return out.contains("running\n") || p.state() == QProcess::NotRunning;
        },
        60000));
    ASSERT_TRUE(out.contains("running\n")) << out.toStdString();
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(kill(static_cast<pid_t>(p.processId()), SIGTERM), 0);
    ASSERT_TRUE(p.waitForFinished(60000));
    const qint64 ms = clock.elapsed();
    out += p.readAllStandardOutput();
    const std::string text = out.toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << text;
    // The whole test takes many seconds; the break came at the next step.
    EXPECT_LT(ms, 5000) << text;
    EXPECT_NE(text.find("log User Break!\n"), std::string::npos) << text;
    EXPECT_NE(text.find("socket 0 0\n"), std::string::npos) << text;
    const size_t at = text.find("address ");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_LT(std::stoul(text.substr(at + 8)), 4194304u);
    const QFileInfo cfg(home.filePath("krd.cfg"));
    EXPECT_TRUE(cfg.exists());
    EXPECT_EQ(cfg.size(), 1791);
}

TEST(InfoPanelTextTest, FormatsOfThePanel) {
    const std::pair<QString, const char*> cases[] = {
        {FormatDeviceSizeText(0x8000, 16), "10000h(65536)Bytes"}, // 8000h words of 16 bits
        {FormatDeviceSizeText(0x4000, 8), "4000h(16384)Bytes"},
        {FormatDeviceSizeText(0, 16), "Unknown"},
        {FormatDeviceSizeText(0x80000000u, 16), "100000000h(4294967296)Bytes"}, // no overflow
        {FormatFreeDiskText(1234567), "1,234,567 Bytes"},
        {FormatFreeDiskText(12345678901ull), "12,345,678,901 Bytes"},
        {FormatFreeDiskText(999), "999 Bytes"},
        {SplitNameText(7), ""},
        {BasePortText(0, 0x278), "Auto"}, // the automatic choice, even after a port was found
        {BasePortText(3, 0x278), "278h"},
        {ProgAlgorithmNameText(16), ""},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(text, expected);
}

TEST_F(ShellTest, PanelShowsTheCurrentDevice) {
    DataFileName = "/data/Image.HEX";
    AdapterCode = 0;
    EncryptionEnable = 1;
    PortIndex = 0;
    BufferChecksum = 0x12345;
    LastSocketIndex = 3;
    UpdateInfoPanel();
    EXPECT_EQ(form->DeviceName->text(), "AMD Am27128");
    EXPECT_EQ(form->DeviceSize->text(), "4000h(16384)Bytes");
    EXPECT_EQ(form->File->text(), "/data/Image.HEX");
    EXPECT_EQ(form->GangSize->text(), "4");
    EXPECT_EQ(form->EncMode->text(), "On");
    EXPECT_EQ(form->CheckSum->text(), "2345h");
    EXPECT_EQ(form->Label1Cap->text(), "Algorithm :");
    EXPECT_EQ(form->Label2->text(), QString::fromStdString(FormatVoltage(Vccp)));

    // A PLD shows no algorithm, voltages or pulse.
    DeviceSection = SectionPld;
    UpdateInfoPanel();
    for (QLabel* l :
         {form->Label1Cap, form->Label1, form->Label2, form->Label3, form->Label4Cap, form->Label4})
        EXPECT_EQ(l->text(), "");
}

} // namespace
