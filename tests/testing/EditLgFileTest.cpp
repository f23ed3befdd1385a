// The logic library editor and the automatic search.
#include <cstring>
#include <functional>
#include <set>

#include "FormChecks.h"
#include "FormFixture.h"
#include "testing/Ramtest.h"

namespace {

class EditLgFile : public FormFixture {};

const std::string kLib = "made by hand\r\n.NAND 14\r\n11L11LGL11L11V\r\n00H00HGH00H00V\r\n.OCT 08\r\n1L1LG1LV\r\n";

TEST_F(EditLgFile, LoadFillsTheGridWithTheEntry) {
    WriteLibrary(AuthoredLogicLibrary());
    onLibrary = [](TEditLgFile* d) {
        EXPECT_EQ(d->ListViewDev->topLevelItemCount(), 13);
        EXPECT_EQ(d->ListViewDev->headerItem()->text(0), "Name");
        EXPECT_EQ(d->ListViewDev->headerItem()->text(1), "Pins");
        EXPECT_EQ(d->ListViewDev->topLevelItem(9)->text(1), "16");
        return Choose(d, "74244", &TEditLgFile::ButtonLoadClick);
    };
    form->ButtonFileClick();
    EXPECT_EQ(IcPinCount, 20);
    EXPECT_EQ(IcDeviceName, "74244");
    EXPECT_EQ(form->LabelIcName->text(), "74244");
    EXPECT_EQ(form->pins, 20);
    EXPECT_EQ(form->EditData[0]->text().toStdString(), Entry("74244").substr(0, 20));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(IcVectorBuffer)), Entry("74244"));
    // Header 08: eight pins.
    WriteLibrary(kLib);
    onLibrary = [](TEditLgFile* d) { return Choose(d, "OCT", &TEditLgFile::ButtonLoadClick); };
    form->ButtonFileClick();
    EXPECT_EQ(IcPinCount, 8);
    EXPECT_EQ(form->EditData[0]->text(), "1L1LG1LV");
    EXPECT_EQ(form->EditData[1]->text(), "........");
}

TEST_F(EditLgFile, SaveAppendsOrReplacesByteExact) {
    WriteLibrary(kLib);
    SetPins("16");
    Fill("0101010101010101" "1010101010101010" "HHHHLLLLZZZZGGVV");
    onName = [](TGetString* g) {
        EXPECT_EQ(g->windowTitle(), "Message");
        EXPECT_EQ(g->Label1->text(), "Device Name");
        g->EditString->setText("NEW16");
        return 1;
    };
    onLibrary = [](TEditLgFile* d) { return Choose(d, "", &TEditLgFile::ButtonSaveClick); };
    form->ButtonFileClick();
    const std::string appended =
        kLib + ".NEW16 16\r\n0101010101010101\r\n1010101010101010\r\nHHHHLLLLZZZZGGVV\r\n";
    EXPECT_EQ(ReadLibrary(), appended);
    EXPECT_EQ(form->LabelIcName->text(), "NEW16");

    // The same name again: replaced in place after Yes, untouched after No.
    SetPins("14");
    Fill("11111111111111");
    onName = [](TGetString* g) {
        EXPECT_EQ(g->EditString->text(), "NAND");
        return 1;
    };
    onLibrary = [](TEditLgFile* d) { return Choose(d, "NAND", &TEditLgFile::ButtonSaveClick); };
    ui.QueueAnswer(UiAnswer::No);
    form->ButtonFileClick();
    EXPECT_EQ(ReadLibrary(), appended);
    ui.QueueAnswer(UiAnswer::Yes);
    form->ButtonFileClick();
    EXPECT_EQ(ReadLibrary(), "made by hand\r\n.NAND 14\r\n11111111111111\r\n.OCT 08\r\n1L1LG1LV\r\n"
                             ".NEW16 16\r\n0101010101010101\r\n1010101010101010\r\nHHHHLLLLZZZZGGVV\r\n");
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Name is already existed. Overwrite?",
                                                 "Name is already existed. Overwrite?"}));
}

TEST_F(EditLgFile, SaveRefusesAndKeepsTheFile) {
    struct Case {
        const char* what;
        std::string file;
        std::string name;
        bool emptyBuffer;
        bool blockWrite;
        const char* box;
    };
    const Case cases[] = {
        {"empty buffer", kLib, "X", true, false, "Buffer is empty!"},
        {"dot", kLib, "74.00", false, false, "Device Name must be 1-10 characters without '.' or blank."},
        {"blank", kLib, "74 00", false, false, "Device Name must be 1-10 characters without '.' or blank."},
        {"control", kLib, "74\t00", false, false, "Device Name must be 1-10 characters without '.' or blank."},
        {"eleven", kLib, "ABCDEFGHIJK", false, false, "Device Name must be 1-10 characters without '.' or blank."},
        {"unread", ".BIG 14\r\n" + std::string(70000, '1'), "X", false, false,
         "Unable to read \"lg.dat\": it is not changed."},
        {"failed write", kLib, "X", false, true, "Can not open File!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui.Clear();
        WriteLibrary(c.file);
        if (c.blockWrite) std::filesystem::create_directory(LibraryPath() + ".tmp");
        Fill(c.emptyBuffer ? "" : "11L11LGL11L11V");
        const std::string name = c.name;
        onName = [name](TGetString* g) {
            g->EditString->setText(QString::fromStdString(name));
            return 1;
        };
        int result = 0;
        onLibrary = [&result](TEditLgFile* d) {
            result = Choose(d, "", &TEditLgFile::ButtonSaveClick);
            return result;
        };
        form->ButtonFileClick();
        EXPECT_NE(result, 1);
        EXPECT_EQ(Texts(), std::vector<std::string>{c.box});
        EXPECT_EQ(ReadLibrary(), c.file);
        std::filesystem::remove_all(LibraryPath() + ".tmp");
    }
}

TEST_F(EditLgFile, DeleteKeepsEverythingElse) {
    struct Case {
        std::string file;
        const char* entry;
        std::string after;
    };
    const Case cases[] = {
        {".ONLY 08\r\n1L1LG1LV\r\n", "ONLY", ""},
        {kLib, "NAND", "made by hand\r\n.OCT 08\r\n1L1LG1LV\r\n"},
        {kLib, "OCT", "made by hand\r\n.NAND 14\r\n11L11LGL11L11V\r\n00H00HGH00H00V\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        WriteLibrary(c.file);
        const QString entry = c.entry;
        onLibrary = [entry](TEditLgFile* d) { return Choose(d, entry, &TEditLgFile::ButtonDeleteClick); };
        ui.QueueAnswer(UiAnswer::No);
        form->ButtonFileClick();
        EXPECT_EQ(ReadLibrary(), c.file);
        ui.QueueAnswer(UiAnswer::Yes);
        form->ButtonFileClick();
        EXPECT_EQ(ReadLibrary(), c.after);
    }
    // A file that was not read is not rewritten.
    const std::string big = ".BIG 14\r\n" + std::string(70000, '1');
    WriteLibrary(big);
    ui.Clear();
    onLibrary = [](TEditLgFile* d) {
        d->ListViewDev->clear();
        d->ListViewDev->addTopLevelItem(new QTreeWidgetItem({"BIG", "14"}));
        d->library.entries.resize(1);
        return Choose(d, "BIG", &TEditLgFile::ButtonDeleteClick);
    };
    form->ButtonFileClick();
    EXPECT_EQ(ReadLibrary(), big);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Are you sure?", "Unable to read \"lg.dat\": it is not changed."}));
}

TEST_F(EditLgFile, ListsEveryEntryAndSkipsUnusableHeaders) {
    std::string text = ".BAD\r\n11\r\n.ZERO 00\r\n";
    for (int i = 0; i < 600; ++i) text += ".P" + std::to_string(i) + " 08\r\n1L1LG1LV\r\n";
    WriteLibrary(text);
    IcPinCount = 14;
    onLibrary = [](TEditLgFile* d) {
        EXPECT_EQ(d->ListViewDev->topLevelItemCount(), 602);
        EXPECT_EQ(d->ListViewDev->topLevelItem(1)->text(1), "?");
        EXPECT_EQ(d->ListViewDev->topLevelItem(601)->text(0), "P599");
        EXPECT_EQ(Choose(d, "ZERO", &TEditLgFile::ButtonLoadClick), 0);
        return Choose(d, "P599", &TEditLgFile::ButtonLoadClick);
    };
    form->ButtonFileClick();
    EXPECT_EQ(IcPinCount, 8);
    EXPECT_EQ(IcDeviceName, "P599");
}

// A library present but not readable as one: Auto Find says so and names the
// file, never "Device not found!"; Select's empty list says why above it.
TEST_F(EditLgFile, AnUnreadableLibraryIsNamedWithItsReason) {
    const struct {
        const char* what;
        std::function<void()> make;
        std::string reason;
    } cases[] = {
        {"too long past good headers", [this] { WriteLibrary(kLib + std::string(70000, '1')); },
         "longer than 65536 bytes"},
        {"a 0 byte past good headers", [this] { WriteLibrary(kLib + std::string(1, '\0') + "1L1LG1LV\r\n"); },
         "a 0 byte at offset " + std::to_string(kLib.size()) + ", not text"},
        {"a folder",
         [this] {
             std::filesystem::remove(LibraryPath());
             std::filesystem::create_directory(LibraryPath());
         },
         std::strerror(EISDIR)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(LibraryPath());
        c.make();
        ui.Clear();
        tones.clear();
        const std::string text = "Unable to read the logic library \"" + LibraryPath() + "\": " + c.reason + ".";
        std::string shown;
        onLibrary = [&shown](TEditLgFile* d) {
            EXPECT_EQ(d->ListViewDev->topLevelItemCount(), 0);
            if (d->LabelNotRead->isVisibleTo(d)) shown = d->LabelNotRead->text().toStdString();
            return 2;
        };
        Seat("SN7400");
        form->ButtonAutoFindClick();
        EXPECT_EQ(Texts(), (std::vector<std::string>{text}));
        form->ButtonFileClick();
        EXPECT_EQ(shown, text);
        EXPECT_EQ(LowTones() + HighTones(), 0);
        socket->Clear();
    }
}

// The grid's last line may lack its final symbol: the file gets 'N' there,
// never a 0 byte, and keeps its CR LF lines.
TEST_F(EditLgFile, SavingAShortLastLineWritesNoZeroByte) {
    WriteLibrary(kLib);
    SetPins("14");
    Fill("11L11LGL11L11V" "00H00HGH00H00");
    onName = [](TGetString* p) {
        p->EditString->setText("SHORT");
        return 1;
    };
    onLibrary = [](TEditLgFile* d) {
        d->ButtonSaveClick();
        return d->result();
    };
    form->ButtonFileClick();
    const std::string saved = ReadLibrary();
    EXPECT_EQ(saved, kLib + ".SHORT 14\r\n11L11LGL11L11V\r\n00H00HGH00H00N\r\n");
    EXPECT_EQ(saved.find('\0'), std::string::npos);
    // A 0 byte inside a line ends the list there, as it ends the test.
    LogicLibrary lib;
    lib.text = kLib;
    IndexLogicLibrary(lib);
    const std::string mid("1L1\0G1LV" "1L1LG1LV", 16);
    EXPECT_EQ(LogicLibraryWithEntry(lib, -1, "CUT", 8, reinterpret_cast<const uint8_t*>(mid.data()), mid.size()),
              kLib + ".CUT 08\r\n1L1NNNNN\r\n");
}

TEST_F(EditLgFile, AutoFindNamesEveryPassingEntry) {
    WriteLibrary(AuthoredLogicLibrary());
    form->ButtonAutoFindClick(); // an empty socket
    EXPECT_EQ(Texts(), std::vector<std::string>{"Device not found!"});
    EXPECT_EQ(HighTones(), 0);
    EXPECT_EQ(LowTones(), 1);
    EXPECT_EQ(ui.Progress.back(), 0);
    ui.Clear();
    tones.clear();
    Seat("SN7400");
    form->ButtonAutoFindClick();
    EXPECT_EQ(Texts(), std::vector<std::string>{"7400,74LS00,74HC00,"});
    EXPECT_EQ(HighTones(), 3);
    EXPECT_EQ(LowTones(), 0);
    // The other entries put their pins against the part: what they cause.
    std::set<std::string> kinds;
    for (const auto& v : simp.Violations()) {
        if (v.find("the chip drives against the logic driver") != std::string::npos) {
            kinds.insert("contention");
        } else if (v.find("with no chip on the pin") != std::string::npos) {
            kinds.insert("supply on an empty pin");
        } else {
            kinds.insert(v);
        }
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"contention", "supply on an empty pin"})) << Violations();
    EXPECT_TRUE(elec->SuppliedPins().empty());
}

} // namespace

namespace {

// The library dialog and the RAM test form at any font: every control whole,
// inside its form and clear of the others.
TEST_F(EditLgFile, LibraryAndRamTestFormsShowWhole) {
    WriteLibrary(AuthoredLogicLibrary());
    FontSizes([] {
        TEditLgFile library;
        library.FormActivate();
        library.show();
        TRamTest1 ram;
        ram.show();
        QApplication::processEvents();
        ExpectNothingClipped(&library);
        ExpectNothingClipped(&ram);
        library.FormDeactivate();
    });
}

} // namespace
