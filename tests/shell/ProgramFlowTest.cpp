// The program on the simulated programmer, as a user drives it: a 27C256
// chosen in device selection from the built library, an Intel hex file
// loaded, then Program, Verify and Read through the main window on the
// operation thread, against the blank chip the simulator seats for the
// selected device. Also the simulator's socket across selections and the
// file that keeps its chips between runs.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>

#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollBar>
#include <QTreeWidget>

#include "ShellTestSupport.h"
#include "shell/InfoPanel.h"
#include "shell/SimSetup.h"
#include "shell/Startup.h"
#include "engine/JedecPof.h"
#include "engine/Tables.h"
#include "sim/AvrChip.h"
#include "sim/Catalog.h"
#include "sim/Electrical.h"
#include "sim/FlashParts.h"
#include "sim/GangAdapter.h"
#include "sim/Rack.h"
#include "sim/Socket.h"
#include "testing/Editvect.h"
#include "testing/Ramtest.h"
#include "sim/SimProgrammer.h"

namespace {

bool IsBlank(const sim::CatalogChip* chip) {
    for (uint32_t a = 0; a < chip->Words(); ++a) {
        if (chip->Cell(a) != chip->Facts().blank) return false;
    }
    return true;
}

// The Qt bridge that also keeps every progress position the engine sets, as
// the engine sets it (the bar shows only the latest one the window gets to).
class ProgressRecordingBridge : public QtUiBridge {
public:
    using QtUiBridge::QtUiBridge;
    void SetProgressBar(int position) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            positions_.push_back(position);
        }
        QtUiBridge::SetProgressBar(position);
    }
    std::vector<int> Positions() {
        std::lock_guard<std::mutex> lock(mutex_);
        return positions_;
    }

private:
    std::mutex mutex_;
    std::vector<int> positions_;
};

class ProgramFlowTest : public ShellTest {
public:
    TForm1* Form() { return form.get(); }

    void SetUp() override {
        ShellTest::SetUp();
        // The program's folder: the built library, and no configuration yet.
        std::filesystem::create_symlink(std::filesystem::read_symlink("/proc/self/exe").parent_path() / "krd.dat",
                                        dir.filePath("krd.dat").toStdString());
        ProgramDirectory = dir.path().toStdString();
        LibraryFileName = "krd.dat";
        // Start-up as the program does it on PROGRAMMER_PORT=sim.
        InstallPortIo(MakeProgramSimulator());
        CreateFormsAndLoadConfig();
        form->resize(900, 620);
        form->show();
    }
    void TearDown() override {
        QDir::setCurrent(cwd); // the file dialog moved into the temporary folder
        ShellTest::TearDown();
        InstallPortIo(nullptr);
        EXPECT_EQ(ProgramSimulator(), nullptr); // nothing refers to the simulator that is gone
    }

    // Chooses a device in the selection form and confirms it.
    void Choose(const QString& maker, const QString& device) {
        ASSERT_EQ(ShowDeviceSelection(form.get()), 0);
        TSelDev* f = SelDev;
        const auto makers = f->ListBoxMfg->findItems(maker, Qt::MatchExactly);
        ASSERT_EQ(makers.size(), 1) << maker.toStdString();
        f->ListBoxMfg->setCurrentItem(makers[0]);
        const auto rows = f->ListViewDev->findItems(device, Qt::MatchExactly, 0);
        ASSERT_EQ(rows.size(), 1) << device.toStdString();
        f->ListViewDev->setCurrentItem(rows[0]);
        f->BitBtnOk->click();
        ASSERT_EQ(CurrentDeviceName, device.toStdString());
    }

    // Selects a copy of the library's first record renamed to a part no
    // catalog holds.
    void SelectAPartTheCatalogLacks() {
        ASSERT_EQ(ShowDeviceSelection(form.get()), 0);
        ASSERT_FALSE(SelDev->Records.empty());
        DeviceRecord unknown = SelDev->Records.front();
        uint8_t* b = unknown.Bytes;
        const auto* makerEnd = static_cast<const uint8_t*>(std::memchr(b, 0, DeviceRecordNameArea));
        ASSERT_NE(makerEnd, nullptr);
        const size_t name = static_cast<size_t>(makerEnd - b) + 1;
        ASSERT_LT(name + 2, DeviceRecordNameArea);
        b[name] = 'X';
        b[name + 1] = 0;
        SelDev->Records.push_back(unknown);
        ASSERT_EQ(SelectDeviceRecord(SelDev, static_cast<int>(SelDev->Records.size() - 1)), 1);
        ASSERT_EQ(CurrentDeviceName, "X");
    }

    // The next file dialog answers with this path and filter (from 1).
    void AnswerFileDialog(const QString& path, int filter) {
        form->ExecDialog = [path, filter](QFileDialog* d) {
            d->selectNameFilter(d->nameFilters().value(filter - 1));
            d->selectFile(path);
            return int(QDialog::Accepted);
        };
    }
    // With VEXLOR_JEDEC_DEMO naming a folder: a copy of a file, and the main
    // window as a picture, kept there under `name`.
    static void KeepForDemo(const QString& name, const QString& from) {
        const QByteArray demo = qgetenv("VEXLOR_JEDEC_DEMO");
        if (demo.isEmpty()) return;
        const QString to = QString::fromLocal8Bit(demo) + "/" + name;
        QFile::remove(to);
        EXPECT_TRUE(QFile::copy(from, to)) << to.toStdString();
    }
    void ShotForDemo(const QString& name) {
        const QByteArray demo = qgetenv("VEXLOR_JEDEC_DEMO");
        if (demo.isEmpty()) return;
        QCoreApplication::processEvents();
        EXPECT_TRUE(form->grab().save(QString::fromLocal8Bit(demo) + "/" + name));
    }

    // Saves `image` from a cleared buffer as Intel hex and loads it back
    // through File > Load with the Intel hex filter; the file's path.
    QString LoadHex(const QString& name, const std::vector<uint8_t>& image) {
        const QString path = dir.filePath(name);
        const uint32_t end = static_cast<uint32_t>(image.size() - 1);
        EXPECT_EQ(SelectBank(end, 1), 1);
        std::copy(image.begin(), image.end(), BufferImage());
        EXPECT_EQ(SaveHexFamilyFile(path.toStdString(), 0, end, HexFormatIntel), 1);
        FillBufferRange(0, end, 0);
        AnswerFileDialog(path, 2);
        form->Load1Click();
        return path;
    }

    // Runs a main-window command on the operation thread to its end; the
    // log lines of the run.
    QStringList Run(void (TForm1::*command)()) {
        const int from = MirrorCount();
        (form.get()->*command)();
        // The run may already have ended on a loaded machine, so the command
        // is seen to have started one by the lines it logged.
        EXPECT_TRUE(WaitIdle(120000));
        const QStringList lines = MemoLines().mid(from);
        EXPECT_FALSE(lines.isEmpty());
        return lines;
    }
    int MirrorCount() const { return static_cast<int>(MemoLines().size()); }

    static std::vector<uint8_t> Pattern(size_t n) {
        std::vector<uint8_t> data(n);
        uint32_t x = 7;
        for (auto& b : data) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 16);
        }
        return data;
    }

    QString cwd = QDir::currentPath();
    QTemporaryDir dir;
};

TEST_F(ProgramFlowTest, ProgramAndVerifyA27C256FromAnIntelHexFileThenReadItBack) {
    Choose("INTEL", "27C256");
    EXPECT_EQ(form->DeviceName->text(), "INTEL 27C256");
    sim::CatalogChip* chip = SeatedSimChip();
    ASSERT_NE(chip, nullptr);
    EXPECT_EQ(chip->Words(), 0x8000u);
    EXPECT_TRUE(IsBlank(chip));

    const std::vector<uint8_t> image = Pattern(0x8000);
    const QString hex = LoadHex("firmware.hex", image);
    uint32_t sum = 0;
    for (uint8_t b : image) sum += b;
    EXPECT_TRUE(MemoLines().contains(QString::asprintf("File load success! (Checksum:%04Xh)", sum & 0xFFFF)))
        << MemoLines().join('\n').toStdString();
    EXPECT_EQ(form->File->text(), hex);

    // The positions the run sets, recorded where the engine sets them.
    bridge->Flush();
    InstallUiBridge(nullptr);
    auto recording = std::make_unique<ProgressRecordingBridge>(form.get());
    ProgressRecordingBridge* progress = recording.get();
    bridge = std::move(recording);
    InstallUiBridge(bridge.get());
    QStringList log = Run(&TForm1::Program1Click);
    EXPECT_TRUE(log.contains("Blank check ok!")) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains("Program ok!")) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(" VCCL(4.5V) Verification ok!")) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(" VCCL(5.5V) Verification ok!"));
    EXPECT_TRUE(log.contains("Verification ok!"));
    EXPECT_TRUE(log.last().startsWith("-------------------------------->"));
    // The progress moves within a step (positions between 0 and 100, rising)
    // and ends full, on the bar too.
    const std::vector<int> positions = progress->Positions();
    std::vector<int> midway;
    for (int p : positions)
        if (p > 0 && p < 100 && (midway.empty() || p > midway.back())) midway.push_back(p);
    EXPECT_GE(midway.size(), 3u) << ::testing::PrintToString(positions);
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.back(), 100);
    EXPECT_EQ(form->ProgressBar1->value(), 100);
    EXPECT_EQ(QStringList({form->LabelCount->text(), form->LabelSuccess->text(), form->LabelFailure->text()}),
              QStringList({"Count : 1", "Success : 1", "Failure : 0"}));
    for (uint32_t a = 0; a < 0x8000; ++a) {
        if (chip->Cell(a) != image[a]) {
            ADD_FAILURE() << std::hex << "chip " << a << ": " << chip->Cell(a) << " file " << int(image[a]);
            break;
        }
    }

    log = Run(&TForm1::Verify1Click);
    EXPECT_TRUE(log.contains("Verification ok!")) << log.join('\n').toStdString();
    // Only programming runs count devices.
    EXPECT_EQ(form->LabelCount->text(), "Count : 1");
    const QByteArray shot = qgetenv("VEXLOR_SCREENSHOT");
    if (!shot.isEmpty()) {
        EXPECT_TRUE(form->grab().save(QString::fromLocal8Bit(shot)));
    }

    // Read into a cleared buffer: the buffer equals the file again.
    FillBufferRange(0, 0x7FFF, 0x00);
    log = Run(&TForm1::Read1Click);
    EXPECT_TRUE(log.contains("Read ok!")) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(QString::asprintf("-CheckSum : %04Xh", sum & 0xFFFF))) << log.join('\n').toStdString();
    EXPECT_EQ(form->CheckSum->text(), QString::asprintf("%04Xh", sum & 0xFFFF));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), BufferWindow));

    // A blank check now fails on the programmed chip.
    log = Run(&TForm1::BlankCheck1Click);
    EXPECT_TRUE(log.contains("Blank check error!")) << log.join('\n').toStdString();
    EXPECT_TRUE(ProgramSimulator()->Violations().empty()) << ProgramSimulator()->Violations().front();
}

// Devices of every family with a chip model: the rack seats the catalog's
// part of the selected device, its family's model (the PLCC on its adapter).
TEST_F(ProgramFlowTest, TheRackSeatsThePartOfEveryFamily) {
    struct Case {
        const char* maker;
        const char* name;
        int socketPinOfChipPin1;
    };
    for (const Case& c : {Case{"LATTICE", "GAL16V8", 15}, Case{"ATMEL", "ATF22V10C", 13}, Case{"INTEL", "87C51", 5},
                          Case{"INTEL", "87C51-PLCC", 3}, Case{"ATMEL", "AT89C52-5", 5},
                          Case{"GENERIC-ALGORITHM", "8051CC-80", 5}, Case{"ATMEL", "ATV750B", 13},
                          Case{"AMD", "M4-128/64", 3}, Case{"MICROCHIP", "PIC16F84", 16}, Case{"AMD", "Am29F040", 9},
                          Case{"ST", "M93C46", 21}, Case{"DALLAS", "DS1230AB", 11}, Case{"PHILIPS", "82S123", 17}}) {
        SCOPED_TRACE(c.name);
        Choose(c.maker, c.name);
        sim::CatalogChip* chip = SeatedSimChip();
        ASSERT_NE(chip, nullptr);
        EXPECT_EQ(chip->Name(), c.name);
        EXPECT_EQ(chip->Facts().words, DeviceSize);
        EXPECT_EQ(chip->SocketPins().front(), c.socketPinOfChipPin1);
        // The family's own model behind the adapter (a flash part's dies are
        // the module's own).
        if (sim::SeatedModel<sim::FlashModuleChip>(chip) == nullptr) {
            EXPECT_NE(&chip->Model(), chip);
        }
    }
}

// An 8051 selected and programmed through the main window from a hex file,
// on the part the rack seated.
TEST_F(ProgramFlowTest, Program87C51FromAHexFileAndVerify) {
    Choose("INTEL", "87C51");
    const std::vector<uint8_t> image = Pattern(0x1000);
    LoadHex("mcu.hex", image);
    const QStringList log = Run(&TForm1::Program1Click);
    EXPECT_TRUE(log.contains("Verification ok!")) << log.join('\n').toStdString();
    for (uint32_t a = 0; a < 0x1000; a += 0x41) ASSERT_EQ(SeatedSimChip()->Cell(a), image[a]) << a;
    EXPECT_TRUE(ProgramSimulator()->Violations().empty()) << ProgramSimulator()->Violations().front();
}

// An AT90S2313 as a user drives it with avra's files. Its flash file loaded
// where the AT90S8515's EEPROM file went (File Load Buffer Start 2000h) gets
// the line of bytes past the device; the EEPROM files at Chip End + 1 none.
// With Buffer Start 100h the range's buffer bytes meet the EEPROM image at
// Chip End + 1: Program is refused before power-up with the place's line,
// nothing burnt.
// With Buffer Start at Chip Start, the flash file loaded at 0 and the EEPROM
// file (from the .eseg data) at Chip End + 1: Program, Read into a cleared
// buffer and Save of the EEPROM image give the file's bytes in the part's
// EEPROM cells and in the saved file. With VEXLOR_SCREENSHOT naming a file,
// the window after the refusal and after the save is kept beside it.
TEST_F(ProgramFlowTest, AvrEepromImageFromAnAvraFileAtChipEndPlusOne) {
    const std::string sample =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/mcu-sample/avr-117/";
    if (!std::filesystem::exists(sample + "blink.eep.hex")) GTEST_SKIP() << "avra's sample was not built";
    const QByteArray shot = qgetenv("VEXLOR_SCREENSHOT");
    auto keepShot = [&](const char* name) {
        if (shot.isEmpty()) return;
        form->resize(1200, 620); // the whole refusal line in view
        QCoreApplication::processEvents();
        form->Memo1->horizontalScrollBar()->setValue(0);
        QCoreApplication::processEvents();
        const QString path = QFileInfo(QString::fromLocal8Bit(shot)).dir().filePath(name);
        EXPECT_TRUE(form->grab().save(path)) << path.toStdString();
    };
    // File dialogs answered with the Intel hex filter.
    auto answer = [this](const std::string& path) { AnswerFileDialog(QString::fromStdString(path), 2); };
    // An AT90S8515's EEPROM file at its Chip End + 1 is the part's; then the
    // AT90S2313's flash file loaded there too lies where nothing takes it.
    Choose("ATMEL", "AT90S8515");
    LoadBufferStart = DeviceEnd + 1;
    answer(sample + "../avr-8515/blink.eep.hex");
    form->Load1Click();
    Choose("ATMEL", "AT90S2313");
    answer(sample + "blink.hex");
    form->Load1Click();
    EXPECT_EQ(MemoLines().filter(" Warning: "),
              QStringList({" Warning: 1ah(26) byte(s) past the device at 002000h-002019h, "
                           "File Load Buffer Start 002000h."}))
        << MemoLines().join('\n').toStdString();
    const int loaded = MirrorCount();
    auto* chip = dynamic_cast<sim::AvrChip*>(SeatedSimChip());
    ASSERT_NE(chip, nullptr);
    ASSERT_EQ(DeviceEnd, 0x7FFu);
    const uint32_t eeprom = chip->Part().eepromBytes;
    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;

    DeviceStart = 0;
    BufferStart = 0x100;
    QStringList log = Run(&TForm1::Program1Click);
    EXPECT_EQ(log.mid(log.size() - 1),
              QStringList({" Buffer addr 000800h is EEPROM addr 0h's place; the range puts chip addr 700h there."}))
        << log.join('\n').toStdString();
    EXPECT_TRUE(IsBlank(chip));
    keepShot("refused.png");

    // The files as the user loads them: flash at 0, EEPROM at Chip End + 1.
    BufferStart = 0;
    FillBufferRange(0, 0xFFF, 0xFF);
    LoadBufferStart = 0;
    answer(sample + "blink.hex");
    form->Load1Click();
    LoadBufferStart = DeviceEnd + 1;
    answer(sample + "blink.eep.hex");
    form->Load1Click();
    ASSERT_EQ(MemoLines().mid(loaded).filter("File load success!").size(), 2)
        << MemoLines().join('\n').toStdString();
    EXPECT_EQ(MemoLines().mid(loaded).filter(" Warning: "), QStringList());
    std::vector<uint8_t> file(eeprom);
    for (uint32_t a = 0; a < eeprom; ++a) file[a] = ReadBufferByteCached(DeviceEnd + 1 + a);
    EXPECT_EQ((std::vector<uint8_t>(file.begin(), file.begin() + 4)), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));

    log = Run(&TForm1::Program1Click);
    EXPECT_TRUE(log.contains("Program ok!") && log.contains("Verification ok!")) << log.join('\n').toStdString();
    for (uint32_t a = 0; a < eeprom; ++a) ASSERT_EQ(chip->Eeprom(a), file[a]) << a;
    FillBufferRange(0, 0xFFF, 0x00);
    log = Run(&TForm1::Read1Click);
    EXPECT_TRUE(log.contains("Read ok!")) << log.join('\n').toStdString();
    const std::string saved = dir.filePath("eeprom-saved.hex").toStdString();
    SaveBufferStart = DeviceEnd + 1;
    SaveBufferEnd = DeviceEnd + eeprom;
    answer(saved);
    form->Save1Click();
    EXPECT_EQ(MemoLines().last(), "File save success!");
    keepShot("programmed-read-saved.png");
    FillBufferRange(0, 0xFFF, 0x00);
    ASSERT_EQ(LoadHexFamilyFile(saved, DeviceEnd + 1, 0), 1);
    for (uint32_t a = 0; a < eeprom; ++a) ASSERT_EQ(ReadBufferByteCached(a), file[a]) << a;
    EXPECT_TRUE(ProgramSimulator()->Violations().empty()) << ProgramSimulator()->Violations().front();
}

TEST_F(ProgramFlowTest, TheSocketFollowsTheSelectionAndKeepsEachChipForTheRunAndInTheStateFile) {
    Choose("INTEL", "27C256");
    SeatedSimChip()->SetCell(0x123, 0x42);
    Choose("AMD", "Am27C1024");
    ASSERT_NE(SeatedSimChip(), nullptr);
    EXPECT_EQ(SeatedSimChip()->Facts().width, 16);
    EXPECT_TRUE(IsBlank(SeatedSimChip()));
    Choose("CYPRESS", "CY27C256");
    EXPECT_EQ(SeatedSimChip()->Facts().blank, 0x00);
    // A device the catalog lacks leaves the socket empty, says so once, and a
    // run ends with a failure instead of programming anything.
    SelectAPartTheCatalogLacks();
    EXPECT_EQ(SeatedSimChip(), nullptr);
    EXPECT_EQ(MemoLines().count(QString::fromStdString("The simulator has no part " + CurrentMakerName + " " +
                                                       CurrentDeviceName + ": the socket is empty.")),
              1);
    FillBufferRange(0, BufferByteSize - 1, 0x5A); // an empty socket reads blank, never this
    const QStringList failed = Run(&TForm1::Program1Click);
    EXPECT_EQ(form->LabelFailure->text(), "Failure : 1") << failed.join('\n').toStdString();
    // The 27C256 comes back as it was left.
    Choose("INTEL", "27C256");
    EXPECT_EQ(SeatedSimChip()->Cell(0x123), 0x42);

    // The next run: the chips are written at shutdown and read when that run
    // makes its simulator; its configuration brings the 27C256 back.
    const std::string state = dir.filePath("sim.state").toStdString();
    qputenv(kSimStateVariable, QByteArray::fromStdString(state));
    SaveConfigAndShutdown();
    InstallPortIo(nullptr);
    ASSERT_EQ(ProgramSimulator(), nullptr);
    ResetDeviceState();
    InitBuffers();
    InstallPortIo(MakeProgramSimulator());
    CreateFormsAndLoadConfig();
    qunsetenv(kSimStateVariable);
    EXPECT_EQ(CurrentDeviceName, "27C256");
    ASSERT_NE(SeatedSimChip(), nullptr);
    EXPECT_EQ(SeatedSimChip()->Cell(0x123), 0x42);
    Choose("AMD", "Am27C1024");
    EXPECT_TRUE(IsBlank(SeatedSimChip()));
    Choose("INTEL", "27C256");

    // A damaged file is refused and changes nothing.
    std::string bytes;
    {
        std::ifstream in(state, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    auto writeState = [&](const std::string& b) { std::ofstream(state, std::ios::binary | std::ios::trunc) << b; };
    SeatedSimChip()->SetCell(0x123, 0x17);
    writeState(bytes.substr(0, bytes.size() - 1));
    EXPECT_EQ(LoadSimState(state), "file is truncated");
    writeState(bytes + "x");
    EXPECT_EQ(LoadSimState(state), "data after the last chip");
    std::string many = bytes;
    many[8] = '\xFF'; // chip count
    writeState(many);
    EXPECT_EQ(LoadSimState(state), "too many chips");
    std::string huge = bytes;
    const size_t words = 8 + 4 + 2 + static_cast<uint8_t>(bytes[12]);
    huge[words + 3] = '\x7F'; // the first chip's size
    writeState(huge);
    EXPECT_EQ(LoadSimState(state), "bad chip size");
    writeState("not a state");
    EXPECT_EQ(LoadSimState(state), "not a simulator state file");
    EXPECT_EQ(SeatedSimChip()->Cell(0x123), 0x17);
}

// A gang module from the environment: every socket holds the part, one
// program run fills them all and the verify finds each.
TEST_F(ProgramFlowTest, AGangModuleFromTheEnvironmentHoldsThePartInEverySocket) {
    qputenv(kSimGangVariable, "3");
    InstallPortIo(MakeProgramSimulator());
    qunsetenv(kSimGangVariable);
    Choose("INTEL", "2764A");
    for (int s = 0; s < 3; ++s) ASSERT_NE(SeatedSimChip(s), nullptr) << s;
    EXPECT_EQ(SeatedSimChip(3), nullptr);
    LastSocketIndex = 2;
    const std::vector<uint8_t> image = Pattern(0x2000);
    LoadHex("gang.hex", image);
    const QStringList log = Run(&TForm1::Program1Click);
    for (int s = 1; s <= 3; ++s)
        EXPECT_TRUE(log.contains(QString("Socket%1 Verification ok!").arg(s))) << log.join('\n').toStdString();
    for (int s = 0; s < 3; ++s)
        for (uint32_t a = 0; a < 0x2000; a += 0x101) EXPECT_EQ(SeatedSimChip(s)->Cell(a), image[a]) << s;
    EXPECT_TRUE(ProgramSimulator()->Violations().empty()) << ProgramSimulator()->Violations().front();
}

// A gang size set for a device that works one socket: the run drops to one
// socket and the information panel then shows it, so a user with four parts
// seated is not told four were programmed.
TEST_F(ProgramFlowTest, TheGangSizeShownFollowsARunThatDropsToOneSocket) {
    qputenv(kSimGangVariable, "4");
    InstallPortIo(MakeProgramSimulator());
    qunsetenv(kSimGangVariable);
    Choose("ST", "M27C512");
    ASSERT_EQ(DeviceFlags & 0x30, 0u);
    LastSocketIndex = 3; // as the configuration dialog accepts it
    UpdateInfoPanel();
    EXPECT_EQ(form->GangSize->text(), "4");
    LoadHex("one.hex", Pattern(0x100));
    Run(&TForm1::Program1Click);
    EXPECT_TRUE(WaitUntil([&] { return form->GangSize->text() == "1"; }, 5000)) << form->GangSize->text().toStdString();
    EXPECT_EQ(LastSocketIndex, 0u);
}

// Config > Hardware test with a device selected: the test runs on empty
// sockets and passes whatever part the rack seated, the part is back after it
// holding what it held, and a fault of the pin electronics still fails its
// item. The same with the gang module on the programmer.
TEST_F(ProgramFlowTest, HardwareTestRunsOnEmptySocketsWhateverTheDeviceAndPutsThePartsBack) {
    const QStringList pass = {" Logic: PASS!",        " V12: PASS!",       " V34: PASS!",       " GND: PASS!",
                              " Pull Up/Down: PASS!", " Vcc Relay: PASS!", " Gnd Relay: PASS!", "Hardware Test Pass!"};
    // The lines of one run, one string for a readable failure.
    auto hardwareTest = [this] {
        const int from = MirrorCount();
        form->Hardwaretest1Click();
        QCoreApplication::processEvents();
        return MemoLines().mid(from).join('\n').toStdString();
    };
    auto lines = [](const QStringList& l) { return l.join('\n').toStdString(); };
    const struct {
        const char* maker;
        const char* name;
    } devices[] = {{"LATTICE", "GAL16V8"}, {"MICROCHIP", "PIC16F84"}, {"ATMEL", "AT89C51"}, {"INTEL", "27C256"}};
    for (int sockets : {0, 4}) {
        if (sockets != 0) {
            qputenv(kSimGangVariable, QByteArray::number(sockets));
            InstallPortIo(MakeProgramSimulator());
            qunsetenv(kSimGangVariable);
        }
        for (const auto& d : devices) {
            SCOPED_TRACE(std::string(d.name) + (sockets ? " on the gang module" : ""));
            Choose(d.maker, d.name);
            std::vector<sim::CatalogChip*> chips;
            for (int s = 0; s < std::max(sockets, 1); ++s) {
                chips.push_back(SeatedSimChip(s));
                ASSERT_NE(chips.back(), nullptr);
                chips.back()->SetCell(1, static_cast<uint16_t>(chips.back()->Cell(1) ^ 1)); // what the part holds
            }
            const uint16_t held = chips[0]->Cell(1);
            EXPECT_EQ(hardwareTest(), lines(pass));
            for (int s = 0; s < std::max(sockets, 1); ++s) {
                const sim::CatalogChip* chip = chips[static_cast<size_t>(s)];
                EXPECT_EQ(SeatedSimChip(s), chip) << s;
                EXPECT_EQ(chip->Cell(1), held) << s;
                // Back in its own socket.
                sim::GangAdapter* gang = sim::GangAdapter::Find(*ProgramSimulator());
                const sim::Socket* socket = gang ? &gang->SocketAt(s) : sim::Socket::Find(*ProgramSimulator());
                ASSERT_EQ(socket->Chips().size(), 1u) << s;
                EXPECT_EQ(socket->Chips()[0].get(), static_cast<const sim::ChipModel*>(chip)) << s;
            }
        }
        // A driver stuck low fails "Logic" alone, the part laid aside or not.
        sim::Electrical* electrical = sim::Electrical::Find(*ProgramSimulator());
        ASSERT_NE(electrical, nullptr);
        electrical->Faults().stuckDriver = 7;
        QStringList failing = pass;
        failing[0] = " Logic: FAIL!";
        failing.back() = "Hardware Test Fail!";
        EXPECT_EQ(hardwareTest(), lines(failing));
        EXPECT_NE(SeatedSimChip(), nullptr);
        electrical->Faults() = {};
    }
}

// The battery-backed RAMs as a user works them: a fresh part holds whatever
// its cells held, so Program writes over it (no blank check is offered) and
// its verify and a read back find the file, FFh and FFFFh data included.
TEST_F(ProgramFlowTest, BatteryBackedRamsProgramFromAFreshPart) {
    for (const char* name : {"DS1230Y", "DS1245Y", "DS1258Y"}) {
        SCOPED_TRACE(name);
        Choose("DALLAS", name);
        sim::CatalogChip* chip = SeatedSimChip();
        ASSERT_NE(chip, nullptr);
        uint32_t x = 3;
        for (uint32_t a = 0; a < chip->Words(); ++a) {
            x = x * 1103515245u + 12345u;
            chip->SetCell(a, static_cast<uint16_t>(x >> 8));
        }
        std::vector<uint8_t> image = Pattern(BufferByteSize);
        std::fill(image.begin() + 0x100, image.begin() + 0x200, 0xFF);
        LoadHex("ram.hex", image);
        QStringList log = Run(&TForm1::Program1Click);
        EXPECT_TRUE(log.contains("Program ok!")) << log.join('\n').toStdString();
        EXPECT_TRUE(log.contains("Verification ok!")) << log.join('\n').toStdString();
        EXPECT_FALSE(log.join('\n').contains("Blank check")) << log.join('\n').toStdString();
        FillBufferRange(0, BufferByteSize - 1, 0);
        log = Run(&TForm1::Read1Click);
        EXPECT_TRUE(log.contains("Read ok!")) << log.join('\n').toStdString();
        for (uint32_t a = 0; a < BufferByteSize; a += 7) ASSERT_EQ(ReadBufferByteCached(a), image[a]) << a;
        EXPECT_TRUE(ProgramSimulator()->Violations().empty()) << ProgramSimulator()->Violations().front();
    }
}

// Every EPROM of the library as a user works it, on the part the rack seats
// from the catalog: selected, a file loaded, programmed (with its blank
// check and verify) and read back into a cleared buffer.
void WorkEveryEprom(ProgramFlowTest& t, uint32_t fromWords, uint32_t toWords) {
    ASSERT_EQ(ShowDeviceSelection(t.Form()), 0);
    const std::vector<DeviceRecord> records = SelDev->Records;
    int worked = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].Bytes[RecordSectionByte] != SectionEprom) continue;
        ASSERT_EQ(ShowDeviceSelection(t.Form()), 0);
        ASSERT_EQ(SelectDeviceRecord(SelDev, static_cast<int>(i)), 1);
        if (DeviceSize < fromWords || DeviceSize > toWords) continue;
        const std::string who = CurrentMakerName + " " + CurrentDeviceName;
        SCOPED_TRACE(who);
        const sim::CatalogChip* chip = SeatedSimChip();
        ASSERT_NE(chip, nullptr);
        ASSERT_EQ(chip->Words(), DeviceSize);
        const std::vector<uint8_t> image = ProgramFlowTest::Pattern(BufferByteSize);
        t.LoadHex("image.hex", image);
        QStringList log = t.Run(&TForm1::Program1Click);
        EXPECT_TRUE(log.contains("Verification ok!")) << log.join('\n').toStdString();
        FillBufferRange(0, BufferByteSize - 1, 0);
        log = t.Run(&TForm1::Read1Click);
        EXPECT_TRUE(log.contains("Read ok!")) << log.join('\n').toStdString();
        for (uint32_t a = 0; a < BufferByteSize; a += 0x3F) ASSERT_EQ(ReadBufferByteCached(a), image[a]) << a;
        EXPECT_TRUE(ProgramSimulator()->Violations().empty()) << ProgramSimulator()->Violations().front();
        ++worked;
    }
    EXPECT_GT(worked, 0);
}

// Both sweeps take minutes under the sanitizers: run them by name
// (--gtest_also_run_disabled_tests).
TEST_F(ProgramFlowTest, DISABLED_EveryEpromUpTo64KWordsProgramsVerifiesAndReadsBack) {
    WorkEveryEprom(*this, 0, 0x10000);
}

TEST_F(ProgramFlowTest, DISABLED_EveryLargerEpromProgramsVerifiesAndReadsBack) {
    WorkEveryEprom(*this, 0x10001, UINT32_MAX);
}

} // namespace

namespace {

// A GAL16V8 design in the simple mode, pin 19 = pin 2 AND pin 3, with two
// test vectors, as a fitter writes its JEDEC file.
std::string AndGateJedec() {
    std::vector<char> f(2194, '0');
    for (int t = 0; t < 64; ++t) f[static_cast<size_t>(2128 + t)] = '1'; // every term enabled
    f[2192] = '1';                                                      // SYN; AC0 0: simple mode
    f[2048] = '1';                                                      // pin 19 active high
    for (int n = 1; n < 8; ++n) f[static_cast<size_t>(2120 + n)] = '1'; // the other pins are inputs
    for (int c = 0; c < 32; ++c) f[static_cast<size_t>(c)] = c == 0 || c == 4 ? '0' : '1';
    std::string text = "\x02\nand gate*\nQP20*QF2194*QV2*\nF0*\n";
    for (size_t first = 0; first < f.size(); first += 32) {
        char head[32];
        std::snprintf(head, sizeof head, "L%05zu ", first);
        text += head + std::string(f.begin() + static_cast<long>(first),
                                   f.begin() + static_cast<long>(std::min(f.size(), first + 32))) + "*\n";
    }
    text += "V1 011000000N0NNNNNNNHN*\nV2 010000000N0NNNNNNNLN*\n\x03";
    return text;
}

} // namespace

TEST_F(ProgramFlowTest, TestersOnTheSimulatorHardwareTestRamTestAndVectorTestOfAProgrammedGal) {
    sim::SimProgrammer* simp = ProgramSimulator();
    ASSERT_NE(simp, nullptr);
    sim::Rack* rack = sim::Rack::Find(*simp);
    sim::Socket* socket = sim::Socket::Find(*simp);
    RecordTones();

    // A GAL16V8 selected: the rack seats the catalog's part; taken out, the
    // socket is empty for the hardware test.
    Choose("LATTICE", "GAL16V8");
    ASSERT_NE(SeatedSimChip(), nullptr);
    EXPECT_EQ(SeatedSimChip()->Facts().words, 2194u);
    rack->Empty();
    ASSERT_TRUE(socket->Empty());
    int from = MirrorCount();
    form->Hardwaretest1Click();
    QCoreApplication::processEvents();
    EXPECT_EQ(MemoLines().mid(from),
              QStringList({" Logic: PASS!", " V12: PASS!", " V34: PASS!", " GND: PASS!", " Pull Up/Down: PASS!",
                           " Vcc Relay: PASS!", " Gnd Relay: PASS!", "Hardware Test Pass!"}));

    // The RAM test on a 61256 from the catalog.
    ASSERT_TRUE(rack->SeatPart("", "61256"));
    simp->ClearViolations();
    from = MirrorCount();
    form->ExecTestDialog = [](QDialog* d) {
        auto* ram = qobject_cast<TRamTest1*>(d);
        ram->ListBox1->setCurrentRow(9);
        ram->ButtonTestClick();
        return 1;
    };
    form->RAMTest1Click();
    QCoreApplication::processEvents();
    EXPECT_EQ(MemoLines().mid(from), QStringList({"Good Memory!"}));
    EXPECT_TRUE(simp->Violations().empty()) << simp->Violations().front();

    // The selected GAL16V8 back in its place, programmed from a JEDEC file,
    // then its vectors run.
    SeatSimChipForCurrentDevice();
    ASSERT_NE(SeatedSimChip(), nullptr);
    simp->ClearViolations();
    const QString jed = dir.filePath("and.jed");
    std::ofstream(jed.toStdString(), std::ios::binary) << AndGateJedec();
    ASSERT_EQ(LoadJedecFile(jed.toStdString()), 1);
    const QStringList log = Run(&TForm1::Program1Click);
    EXPECT_TRUE(log.contains("Program ok!")) << log.join('\n').toStdString();
    ASSERT_TRUE(form->VectorTest1->isEnabled());
    BoxAnswer box;
    AnswerNextBox(QMessageBox::Ok, &box);
    VectorTestForm()->ExecDialog = [](QDialog* d) {
        auto* v = qobject_cast<TEditvector*>(d);
        v->FormActivate();
        const QByteArray shot = qgetenv("VEXLOR_SCREENSHOT");
        if (!shot.isEmpty()) v->grab().save(QString::fromLocal8Bit(shot).replace(".png", "-vector.png"));
        v->ButtonTestClick();
        return 1;
    };
    form->VectorTest1Click();
    EXPECT_TRUE(WaitUntil([&] { return box.seen == 1; }));
    EXPECT_EQ(box.text, "Vector Test Pass.");
    EXPECT_TRUE(simp->Violations().empty()) << simp->Violations().front();
    const QByteArray shot = qgetenv("VEXLOR_SCREENSHOT");
    if (!shot.isEmpty()) {
        EXPECT_TRUE(form->grab().save(QString::fromLocal8Bit(shot)));
    }
}

namespace {

// The fuses (as '0'/'1') and vectors of a JEDEC text, read for a GAL16V8.
std::pair<std::string, std::string> FusesAndVectors(const std::string& text) {
    JedecLayout layout;
    layout.FuseCount = 2194;
    layout.VectorCapacity = TestVectorBufferBytes - 2;
    std::vector<uint8_t> map(BufferWindowBytes);
    std::string vectors;
    uint32_t sum = 0;
    JedecFindings found;
    EXPECT_EQ(ParseJedecText(text, layout, map.data(), map.size(), vectors, sum, &found), JedecOk);
    // Whole: every field closed, the ETX after the STX.
    EXPECT_TRUE(found.OpenField == 0 && found.Stx && found.Etx) << text.substr(text.size() - 40);
    EXPECT_EQ(found.VectorPins, 20u); // QP20
    std::string fuses;
    for (uint32_t n = 0; n < 2194; ++n) fuses += (map[n / 8] >> (n % 8) & 1) ? '1' : '0';
    return {fuses, vectors};
}

std::string ReadWhole(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

// File > Save of a GAL16V8 after a binary file of another device filled the
// buffer: the saved JEDEC file carries the loaded file's fuses (programmed,
// read back) and its vectors, or none when it had none, never buffer bytes.
// With VEXLOR_JEDEC_DEMO naming a folder, the files and the window are kept there.
TEST_F(ProgramFlowTest, FileSaveOfAGalKeepsTheLoadedFilesFusesAndVectors) {
    // Another device's binary file: from 8000h on, bytes that are neither 0
    // nor FFh in every 20-byte group, STX and ETX among them.
    Choose("AMD", "Am29F010");
    std::string image(0x20000, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(1 + i % 7);
    const QString bin = dir.filePath("other.bin");
    std::ofstream(bin.toStdString(), std::ios::binary) << image;
    AnswerFileDialog(bin, 1);
    form->Load1Click();
    ASSERT_EQ(MemoLines().filter("File load success!").size(), 1) << MemoLines().join('\n').toStdString();
    KeepForDemo("other.bin", bin);

    Choose("LATTICE", "GAL16V8");
    ASSERT_EQ(FileFormatMask & 0x20, 0x20u);
    BlankCheckBeforeProgram = 0; // the second file goes onto the programmed part
    ASSERT_EQ(BufferWindow[0x8000], 2); // the other file is still in the buffer
    std::string without = AndGateJedec();
    without.replace(without.find("QV2*"), 4, "QV0*");
    without.erase(without.find("V1 "), without.find('\x03') - without.find("V1 "));
    const struct {
        const char* name;
        std::string text;
        int vectors;
    } files[] = {{"two-vectors", AndGateJedec(), 2}, {"no-vectors", without, 0}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const QString in = dir.filePath(QString(f.name) + ".jed");
        std::ofstream(in.toStdString(), std::ios::binary) << f.text;
        AnswerFileDialog(in, 1);
        form->Load1Click();
        EXPECT_TRUE(MemoLines().last().startsWith("File load success!")) << MemoLines().join('\n').toStdString();
        ShotForDemo(QString(f.name) + "-1-loaded.png");

        QStringList log = Run(&TForm1::Program1Click);
        EXPECT_TRUE(log.contains("Program ok!")) << log.join('\n').toStdString();
        for (uint32_t n = 0; n < 2194; ++n) SetBufferBit(n, 0); // Read must bring the fuses back
        log = Run(&TForm1::Read1Click);
        EXPECT_TRUE(log.contains("Read ok!")) << log.join('\n').toStdString();

        const QString out = dir.filePath(QString(f.name) + "-saved.jed");
        AnswerFileDialog(out, 1);
        form->Save1Click();
        EXPECT_EQ(MemoLines().last(), "File save success!");
        ShotForDemo(QString(f.name) + "-2-saved.png");
        KeepForDemo(QString(f.name) + ".jed", in);
        KeepForDemo(QString(f.name) + "-saved.jed", out);

        const std::string saved = ReadWhole(out);
        const auto [savedFuses, savedVectors] = FusesAndVectors(saved);
        const auto [inFuses, inVectors] = FusesAndVectors(f.text);
        EXPECT_EQ(savedFuses, inFuses);
        EXPECT_EQ(savedVectors.size(), 20u * f.vectors);
        EXPECT_TRUE(savedVectors == inVectors) << savedVectors.substr(0, 60);
        const std::string head = saved.substr(0, 120);
        EXPECT_NE(saved.find(QString::asprintf("QV%d*", f.vectors).toStdString()), std::string::npos) << head;
        // Only the file's vectors: no other field starts with V, no control byte but STX and ETX.
        size_t vFields = 0;
        for (size_t p = saved.find("\nV"); p != std::string::npos; p = saved.find("\nV", p + 1)) ++vFields;
        EXPECT_EQ(vFields, static_cast<size_t>(f.vectors)) << head;
        EXPECT_EQ(std::count_if(saved.begin(), saved.end(), [](char c) { return c != '\n' && c >= 0 && c < 0x20; }), 2)
            << head;
    }
    EXPECT_TRUE(ProgramSimulator()->Violations().empty()) << ProgramSimulator()->Violations().front();
}

// File > Save of a GAL20V8B after a GAL16V8 file with two vectors was loaded:
// those vectors, regrouped by 24 pins, would test other pins than they were
// made for, so the file has none and the log says why. Back on a 20-pin part
// they are saved again; vectors typed in the vector editor for the GAL20V8B
// are its own. With VEXLOR_JEDEC_DEMO naming a folder, the files and the
// window are kept there.
TEST_F(ProgramFlowTest, FileSaveAfterChoosingAnotherPinCountSavesNoVectors) {
    Choose("LATTICE", "GAL16V8");
    const QString in = dir.filePath("gal16v8-two-vectors.jed");
    std::ofstream(in.toStdString(), std::ios::binary) << AndGateJedec();
    AnswerFileDialog(in, 1);
    form->Load1Click();
    ASSERT_TRUE(MemoLines().last().startsWith("File load success!")) << MemoLines().join('\n').toStdString();

    Choose("LATTICE", "GAL20V8B");
    ASSERT_EQ(PackageRow(PackageIndex).PinCount, 24);
    auto save = [this](const QString& name) {
        const QString out = dir.filePath(name);
        AnswerFileDialog(out, 1);
        form->Save1Click();
        EXPECT_EQ(MemoLines().last(), "File save success!");
        return ReadWhole(out);
    };
    const std::string saved = save("saved-for-gal20v8b.jed");
    const QString line = " The vectors are for 20 pins; the device has 24: none saved.";
    EXPECT_EQ(MemoLines().mid(MemoLines().size() - 3), QStringList({"File Saving...", line, "File save success!"}));
    EXPECT_NE(saved.find("QP24*\nQF2706*\nQV0*\n"), std::string::npos) << saved.substr(0, 120);
    EXPECT_EQ(saved.find("\nV"), std::string::npos);
    ShotForDemo("main-window-after-save.png");
    KeepForDemo("gal16v8-two-vectors.jed", in);
    KeepForDemo("saved-for-gal20v8b.jed", dir.filePath("saved-for-gal20v8b.jed"));

    Choose("LATTICE", "GAL16V8");
    const std::string again = save("saved-for-gal16v8.jed");
    EXPECT_NE(again.find("QV2*"), std::string::npos);
    EXPECT_NE(again.find("\nV00001 011000000N0NNNNNNNHN*\nV00002 010000000N0NNNNNNNLN*\n"), std::string::npos);
    EXPECT_EQ(MemoLines().filter(line).size(), 1);

    // A file without vectors for the GAL16V8, then two symbols typed in the
    // vector editor for the GAL20V8B: a vector of its 24 pins.
    const QString none = dir.filePath("no-vectors.jed");
    std::ofstream(none.toStdString(), std::ios::binary) << "\x02*QF2194*L00000 1*\x03";
    AnswerFileDialog(none, 1);
    form->Load1Click();
    Choose("LATTICE", "GAL20V8B");
    TEditvector* editor = VectorTestForm();
    ASSERT_NE(editor, nullptr);
    editor->FormActivate();
    editor->EditKeyPress(QChar('1'));
    editor->EditKeyPress(QChar('0'));
    const std::string typed = save("typed-for-gal20v8b.jed");
    EXPECT_NE(typed.find("QV1*"), std::string::npos);
    EXPECT_NE(typed.find("\nV00001 10XXXXXXXXXXXXXXXXXXXXXX*\n"), std::string::npos) << typed.substr(typed.size() - 60);
    EXPECT_EQ(MemoLines().filter(line).size(), 1) << MemoLines().join('\n').toStdString();
}

// One symbol typed in the vector editor over a GAL16V8 file's vectors with
// the GAL20V8B selected (even the symbol already there) clears those vectors
// with a line and starts the GAL20V8B's own list: File > Save writes
// only that, never the 20-pin vectors regrouped by 24 pins.
TEST_F(ProgramFlowTest, AnEditOverVectorsOfAnotherPinCountStartsTheDevicesOwnList) {
    Choose("LATTICE", "GAL16V8");
    const QString in = dir.filePath("gal16v8-two-vectors.jed");
    std::ofstream(in.toStdString(), std::ios::binary) << AndGateJedec();
    AnswerFileDialog(in, 1);
    form->Load1Click();
    ASSERT_TRUE(MemoLines().last().startsWith("File load success!")) << MemoLines().join('\n').toStdString();

    Choose("LATTICE", "GAL20V8B");
    TEditvector* editor = VectorTestForm();
    ASSERT_NE(editor, nullptr);
    editor->FormActivate();
    editor->EditKeyPress(QChar('0')); // the first vector's first symbol is 0 already
    const QString aside = " The vectors for 20 pins are cleared: a new list for 24 pins starts.";
    EXPECT_EQ(MemoLines().last(), aside);
    EXPECT_EQ(editor->EditData[0]->text().left(2), "0.");
    EXPECT_EQ(editor->EditData[1]->text(), QString(24, '.'));
    editor->EditKeyPress(QChar('1'));
    EXPECT_EQ(MemoLines().filter(aside).size(), 1);

    const QString out = dir.filePath("edited-for-gal20v8b.jed");
    AnswerFileDialog(out, 1);
    form->Save1Click();
    EXPECT_EQ(MemoLines().mid(MemoLines().size() - 2), QStringList({"File Saving...", "File save success!"}));
    const std::string saved = ReadWhole(out);
    EXPECT_NE(saved.find("QP24*\nQF2706*\nQV1*\n"), std::string::npos) << saved.substr(0, 120);
    EXPECT_NE(saved.find("\nV00001 01XXXXXXXXXXXXXXXXXXXXXX*\n"), std::string::npos) << saved.substr(saved.size() - 80);
    EXPECT_EQ(saved.find("\nV00002"), std::string::npos);
    EXPECT_EQ(saved.find("011000000N0NNNNNNNHN"), std::string::npos);
}

// A file with bytes where no operation takes them loads as it is, with one
// line that counts them, says where they went and gives File Load Buffer
// Start. The device's bytes are its whole size from Buffer Start less Chip
// Start's units (a split mode's every lane); the places the row keeps (PIC
// configuration, ID and data-memory words, the last as many as the part's
// data bytes, row 113's configuration in the second bank, the AVR EEPROM
// image at Chip End + 1, row 301's hidden word) are the device's too.
TEST_F(ProgramFlowTest, FileLoadCountsTheBytesPastTheDevicesEnd) {
    // Loads a file of these bytes through File > Load (filter 1 binary, 2 hex);
    // the lines it logged.
    auto load = [this](const std::string& bytes, int filter, uint32_t bufferStart) {
        const QString path = dir.filePath(filter == 1 ? "image.bin" : "image.hex");
        std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << bytes;
        LoadBufferStart = bufferStart;
        const int from = MirrorCount();
        AnswerFileDialog(path, filter);
        form->Load1Click();
        const QStringList lines = MemoLines().mid(from);
        EXPECT_TRUE(lines.last().startsWith("File load success!")) << lines.join('\n').toStdString();
        return lines;
    };
    // The line for `count` bytes at buffer bytes from..to on `side` of the
    // device, the file loaded at `at`.
    auto warning = [](uint32_t count, uint32_t from, uint32_t to, uint32_t at = 0,
                      const char* side = "past") {
        const QString where =
            from == to ? QString::asprintf("%06Xh", from) : QString::asprintf("%06Xh-%06Xh", from, to);
        return QString::asprintf(" Warning: %xh(%u) byte(s) %s the device at ", count, count, side) + where +
               QString::asprintf(", File Load Buffer Start %06Xh.", at);
    };
    auto warnings = [](const QStringList& lines) { return lines.filter(" Warning: "); };
    const std::vector<uint8_t> image = Pattern(0x10000);
    const std::string bytes(image.begin(), image.end());

    // A 64 KB image for a 32 KB part: half of it past the part, kept in the buffer.
    Choose("INTEL", "27C256");
    EXPECT_EQ(warnings(load(bytes, 1, 0)), QStringList({warning(0x8000, 0x8000, 0xFFFF)}));
    EXPECT_EQ(ReadBufferByteCached(0xFFFF), image[0xFFFF]);
    // Loaded from 100h the part's bytes are still buffer 0-7FFFh.
    EXPECT_EQ(warnings(load(bytes, 1, 0x100)), QStringList({warning(0x8100, 0x8000, 0x100FF, 0x100)}));
    // Chip Start 4000h at Buffer Start 4000h: chip address 0 at buffer 0.
    // From Buffer Start 4000h for Chip Start 0 the bytes below count too (a
    // count whose decimal would run past the log line in hexadecimal alone).
    DeviceStart = BufferStart = 0x4000;
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x8000), 1, 0)), QStringList());
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x8001), 1, 0)), QStringList({warning(1, 0x8000, 0x8000)}));
    DeviceStart = 0;
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x10), 1, 0)), QStringList({warning(0x10, 0, 0xF, 0, "before")}));
    EXPECT_EQ(warnings(load(bytes, 1, 0)), QStringList({" Warning: 8000h byte(s) outside the device at "
                                                        "000000h-00FFFFh, File Load Buffer Start 000000h."}));
    // Two chips' image in a split mode of two lanes, from any Chip Start at
    // its lanes' Buffer Start; four lanes take 128 KB.
    WordMode = 1;
    BufferStart = 0;
    EXPECT_EQ(warnings(load(bytes, 1, 0)), QStringList());
    DeviceStart = 0x2000;
    BufferStart = 0x4000;
    EXPECT_EQ(warnings(load(bytes, 1, 0)), QStringList());
    DeviceStart = BufferStart = 0;
    EXPECT_EQ(warnings(load(bytes + "x", 1, 0)), QStringList({warning(1, 0x10000, 0x10000)}));
    WordMode = 3;
    EXPECT_EQ(warnings(load(bytes + bytes, 1, 0)), QStringList());
    WordMode = 0;

    // A 16-bit part's Buffer Start counts words: from word 100h an Am27C1024
    // holds buffer bytes 200h-201FFh.
    Choose("AMD", "Am27C1024");
    BufferStart = 0x100;
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x100), 1, 0x100)),
              QStringList({warning(0x100, 0x100, 0x1FF, 0x100, "before")}));
    BufferStart = 0;

    // Rows 175 and 172 set Chip Start and Buffer Start to the part's code in
    // their 64 KB map. A part-sized binary loaded at 0 lands inside the map
    // but on no byte an operation takes: one line names the range's buffer
    // bytes. The same bytes at the part's addresses (at File Load Buffer
    // Start there, or as Intel hex) and the whole map as File Save writes it
    // load without a line.
    const struct {
        const char* maker;
        const char* name;
        uint32_t start;
    } codeAtTheTop[] = {{"LG-SEMICON", "GMS87C1202", 0xF800}, {"GENERIC-ALGORITHM", "OTPLATCH28-8K", 0xE000}};
    for (const auto& c : codeAtTheTop) {
        SCOPED_TRACE(c.name);
        Choose(c.maker, c.name);
        ASSERT_EQ(DeviceStart, c.start);
        ASSERT_EQ(BufferStart, c.start);
        const std::string code = bytes.substr(0, 0x10000 - c.start);
        EXPECT_EQ(warnings(load(code, 1, 0)),
                  QStringList({QString::asprintf(" Warning: no byte in the range's buffer bytes %06Xh-00FFFFh, "
                                                 "File Load Buffer Start 000000h.",
                                                 c.start)}));
        EXPECT_EQ(warnings(load(code, 1, c.start)), QStringList());
        const QString hex = dir.filePath("code.hex");
        ASSERT_EQ(SaveHexFamilyFile(hex.toStdString(), c.start, 0xFFFF, HexFormatIntel), 1);
        EXPECT_EQ(warnings(load(ReadWhole(hex), 2, 0)), QStringList());
        const QString whole = dir.filePath("whole.bin");
        AnswerFileDialog(whole, 1);
        form->Save1Click();
        EXPECT_EQ(QFileInfo(whole).size(), 0x10000);
        EXPECT_EQ(warnings(load(ReadWhole(whole), 1, 0)), QStringList());
    }

    // An AT89C2051's 2 KB file loaded at 800h lies past it whole.
    Choose("ATMEL", "AT89C2051");
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x800), 1, 0x800)),
              QStringList({warning(0x800, 0x800, 0xFFF, 0x800)}));
    // Row 118's block 1 (chip F000h-FFFEh) keeps its place in every lane of
    // a split mode: from buffer 1E000h for two lanes; FFFFh's pair is no one's.
    Choose("SST", "SST89C54");
    WordMode = 1;
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x1FFE), 1, 0x1E000)), QStringList());
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x2000), 1, 0x1E000)),
              QStringList({warning(2, 0x1FFFE, 0x1FFFF, 0x1E000)}));
    WordMode = 0;

    // A PIC16F84 file as gpasm writes it: ID words, configuration word and
    // data memory past the 1 K words; a word past them is counted.
    Choose("MICROCHIP", "PIC16F84");
    const std::string gpasm = ":020000000528D1\n:08000800090083168601831232\n:1000100055308600AA3086008C0A031D082863002C\n"
                              ":08020000FE3F000034125A2AEF\n:0840000001000A0002000B00A0\n:02400E00F13F80\n"
                              ":0842000012003400AB00CD00F8\n:00000001FF\n";
    EXPECT_EQ(warnings(load(gpasm, 2, 0)), QStringList());
    EXPECT_EQ(warnings(load(":02401000FFFFB0\n" + gpasm, 2, 0)), QStringList({warning(2, 0x4010, 0x4011)}));
    // Its data memory is 64 bytes: a byte at 40h (buffer 4280h) is past it.
    EXPECT_EQ(warnings(load(":024280005A00E2\n" + gpasm, 2, 0)), QStringList({warning(2, 0x4280, 0x4281)}));
    // Row 121's data memory by the part's program size: a PIC16F873's 128
    // bytes end at 7Fh (buffer 42FEh), a PIC16F877's 256 at FFh (43FEh).
    const std::string eeprom7F = ":024200005A0062\n:0242FE005A0064\n:00000001FF\n";
    Choose("MICROCHIP", "PIC16F873");
    EXPECT_EQ(warnings(load(eeprom7F, 2, 0)), QStringList());
    EXPECT_EQ(warnings(load(":024300005A0061\n" + eeprom7F, 2, 0)),
              QStringList({warning(2, 0x4300, 0x4301)}));
    Choose("MICROCHIP", "PIC16F877");
    EXPECT_EQ(warnings(load(":024300005A0061\n:0243FE005A0063\n" + eeprom7F, 2, 0)), QStringList());
    EXPECT_EQ(warnings(load(":024400005A0060\n" + eeprom7F, 2, 0)),
              QStringList({warning(2, 0x4400, 0x4401)}));
    // The 64 calibration words a PIC14000's Read stores after its 4032
    // program words (buffer bytes 1F80h-1FFFh) are its own; a word past them is not.
    Choose("MICROCHIP", "PIC14000");
    EXPECT_EQ(warnings(load(":021F80005A0005\n:021FFE005A0087\n:00000001FF\n", 2, 0)), QStringList());
    EXPECT_EQ(warnings(load(":022000005A0084\n:00000001FF\n", 2, 0)), QStringList({warning(2, 0x2000, 0x2001)}));
    // Row 113: the configuration word FE00h in the buffer's second bank.
    Choose("MICROCHIP", "PIC17C44");
    const std::string pic17 = ":0400000001020304F2\n:020000040001F9\n:02FC0000FFFF04\n:00000001FF\n";
    EXPECT_EQ(warnings(load(pic17, 2, 0)), QStringList());
    EXPECT_EQ(warnings(load(":020000040001F9\n:02FC0200FFFF02\n:020000040000FA\n" + pic17, 2, 0)),
              QStringList({warning(2, 0x1FC02, 0x1FC03)}));

    // An AVR EEPROM file at Chip End + 1, and one image of the flash and the
    // EEPROM after it: one byte more than the EEPROM is counted.
    Choose("ATMEL", "AT90S2313");
    EXPECT_EQ(warnings(load(bytes.substr(0, 128), 1, DeviceEnd + 1)), QStringList());
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x800 + 128), 1, 0)), QStringList());
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x800 + 129), 1, 0)), QStringList({warning(1, 0x880, 0x880)}));

    // Row 301: 16 K words and the hidden word after them.
    Choose("MICROCHIP", "27HC1616");
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x8002), 1, 0)), QStringList());
    EXPECT_EQ(warnings(load(bytes.substr(0, 0x8003), 1, 0)), QStringList({warning(1, 0x8002, 0x8002)}));
}
