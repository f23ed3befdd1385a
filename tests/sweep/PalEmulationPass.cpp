// Every 16V8-type and 20V8-type device through its PAL types, as a user takes
// them: Option picks the type in the dialog the menu's entry shows, a JEDEC
// file of that type is loaded through the engine's reader, erased part,
// Program with its blank check and verify, the buffer cleared, Read, and the
// map saved as a JEDEC file again. The saved file must give back every fuse
// the type's map carries, and the part's own cells must hold the GAL image
// of the type as the table below describes it.
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "engine/JedecPof.h"
#include "engine/Power.h"
#include "logic/FuseCells.h"
#include "logic/Opt16v8.h"
#include "logic/PalEmulation.h"
#include "sim/CycleRecordChip.h"
#include "sim/EditModeChip.h"
#include "sim/GalChip.h"
#include "tests/sweep/Sweep.h"

namespace {

using namespace sweep;

constexpr const char* kPalPass = "through its PAL types";

// A PAL type as its data sheet lays it onto the GAL: the product terms of
// each of the eight output macrocells (the first n of its eight), the GAL
// inputs it has no pin for (input i: array columns 2i and 2i + 1), and the
// architecture bits: XOR per macrocell ('1', '0', or 'P' the file's polarity
// fuse, these numbered after the array in macrocell order), AC1 per
// macrocell, then SYN and AC0. The file's fuses: the array of the used terms
// (present columns in order), then the polarity fuses.
struct PalType {
    const char* name;
    uint32_t fuses; // the type's JEDEC fuse count
    const char* terms;
    std::vector<int> absentInputs;
    const char* xorBits;
    const char* ac1;
    const char* synAc0;
};

// The 20-pin list (32 array columns) and the 24-pin list (40). The list's
// first entry, the GAL itself, takes the GAL's own map unchanged.
const std::vector<PalType> kPal16{
    {"16V8", 2194, "", {}, "", "", ""},
    {"10H8", 320, "22222222", {3, 5, 7, 9, 11, 13}, "11111111", "00000000", "10"},
    {"10L8", 320, "22222222", {3, 5, 7, 9, 11, 13}, "00000000", "00000000", "10"},
    {"10P8", 328, "22222222", {3, 5, 7, 9, 11, 13}, "PPPPPPPP", "00000000", "10"},
    {"12H6", 384, "04222240", {5, 7, 9, 11}, "11111111", "10000001", "10"},
    {"12L6", 384, "04222240", {5, 7, 9, 11}, "00000000", "10000001", "10"},
    {"12P6", 390, "04222240", {5, 7, 9, 11}, "0PPPPPP0", "10000001", "10"},
    {"14H4", 448, "00444400", {7, 9}, "11111111", "11000011", "10"},
    {"14L4", 448, "00444400", {7, 9}, "00000000", "11000011", "10"},
    {"14P4", 452, "00444400", {7, 9}, "00PPPP00", "11000011", "10"},
    {"16H2", 512, "00088000", {}, "11111111", "11100111", "10"},
    {"16L2", 512, "00088000", {}, "00000000", "11100111", "10"},
    {"16P2", 514, "00088000", {}, "000PP000", "11100111", "10"},
    {"16H8", 2048, "88888888", {}, "11111111", "11111111", "11"},
    {"16L8", 2048, "88888888", {}, "00000000", "11111111", "11"},
    {"16P8", 2056, "88888888", {}, "PPPPPPPP", "11111111", "11"},
    {"16R4", 2048, "88888888", {}, "00000000", "11000011", "01"},
    {"16R6", 2048, "88888888", {}, "00000000", "10000001", "01"},
    {"16R8", 2048, "88888888", {}, "00000000", "00000000", "01"},
    {"16RP4", 2056, "88888888", {}, "PPPPPPPP", "11000011", "01"},
    {"16RP6", 2056, "88888888", {}, "PPPPPPPP", "10000001", "01"},
    {"16RP8", 2056, "88888888", {}, "PPPPPPPP", "00000000", "01"},
};
const std::vector<PalType> kPal20{
    {"20V8", 2706, "", {}, "", "", ""},
    {"14H8", 560, "42222224", {5, 7, 9, 11, 13, 15}, "11111111", "00000000", "10"},
    {"14L8", 560, "42222224", {5, 7, 9, 11, 13, 15}, "00000000", "00000000", "10"},
    {"14P8", 568, "42222224", {5, 7, 9, 11, 13, 15}, "PPPPPPPP", "00000000", "10"},
    {"16H6", 640, "04422440", {7, 9, 11, 13}, "11111111", "10000001", "10"},
    {"16L6", 640, "04422440", {7, 9, 11, 13}, "00000000", "10000001", "10"},
    {"16P6", 646, "04422440", {7, 9, 11, 13}, "0PPPPPP0", "10000001", "10"},
    {"18H4", 720, "00644600", {9, 11}, "11111111", "11000011", "10"},
    {"18L4", 720, "00644600", {9, 11}, "00000000", "11000011", "10"},
    {"18P4", 724, "00644600", {9, 11}, "00PPPP00", "11000011", "10"},
    {"20H2", 640, "00088000", {}, "11111111", "11100111", "10"},
    {"20L2", 640, "00088000", {}, "00000000", "11100111", "10"},
    {"20P2", 642, "00088000", {}, "000PP000", "11100111", "10"},
    {"20H8", 2560, "88888888", {}, "11111111", "11111111", "11"},
    {"20L8", 2560, "88888888", {}, "00000000", "11111111", "11"},
    {"20P8", 2568, "88888888", {}, "PPPPPPPP", "11111111", "11"},
    {"20R4", 2560, "88888888", {}, "00000000", "11000011", "01"},
    {"20R6", 2560, "88888888", {}, "00000000", "10000001", "01"},
    {"20R8", 2560, "88888888", {}, "00000000", "00000000", "01"},
    {"20RP4", 2568, "88888888", {}, "PPPPPPPP", "11000011", "01"},
    {"20RP6", 2568, "88888888", {}, "PPPPPPPP", "10000001", "01"},
    {"20RP8", 2568, "88888888", {}, "PPPPPPPP", "00000000", "01"},
};

// The GAL's own JEDEC map past the array (16V8, 20V8 data sheets).
struct GalMapFacts {
    uint32_t columns, xorBits, ues, ac1, ptd, syn, ac0;
};
constexpr GalMapFacts kGal16{32, 2048, 2056, 2120, 2128, 2192, 2193};
constexpr GalMapFacts kGal20{40, 2560, 2568, 2632, 2640, 2704, 2705};

// Where each GAL cell gets its value: a fuse of the type's file, or a fixed
// level the type's layout gives it.
struct CellSource {
    int fileFuse = -1; // the file's fuse, else `level`
    int level = 0;
};

// The GAL image of `t`: cell n of the GAL's map (the UES cells left out:
// they are no fuse of a PAL file), and how many of the file's fuses it
// carries (the rest, if any, have no place in it).
std::map<uint32_t, CellSource> ImageOf(const PalType& t, const GalMapFacts& g, uint32_t galFuses, uint32_t& carried) {
    std::map<uint32_t, CellSource> image;
    carried = 0;
    if (*t.terms == '\0') { // the GAL itself: its map as it is
        for (uint32_t n = 0; n < galFuses; ++n)
            if (n < g.ues || n >= g.ues + 64) image[n] = {static_cast<int>(n), 0};
        carried = galFuses;
        return image;
    }
    int k = 0;
    for (uint32_t r = 0; r < 64; ++r) {
        const bool used = static_cast<int>(r % 8) < t.terms[r / 8] - '0';
        image[g.ptd + r] = {-1, used ? 1 : 0};
        for (uint32_t c = 0; c < g.columns; ++c) {
            const bool absent =
                std::find(t.absentInputs.begin(), t.absentInputs.end(), static_cast<int>(c / 2)) != t.absentInputs.end();
            image[r * g.columns + c] = absent ? CellSource{-1, 1} : used ? CellSource{k++, 0} : CellSource{-1, 0};
        }
    }
    for (uint32_t i = 0; i < 8; ++i) {
        image[g.xorBits + i] = t.xorBits[i] == 'P' ? CellSource{k++, 0} : CellSource{-1, t.xorBits[i] - '0'};
        image[g.ac1 + i] = {-1, t.ac1[i] - '0'};
    }
    image[g.syn] = {-1, t.synAc0[0] - '0'};
    image[g.ac0] = {-1, t.synAc0[1] - '0'};
    carried = static_cast<uint32_t>(k);
    return image;
}

// The fuse the part holds at GAL fuse n (1 = the JEDEC map's 1).
int PartFuse(const sim::CatalogChip* chip, uint32_t n) {
    if (const auto* c = sim::SeatedModel<sim::CycleRecordChip>(chip)) return c->Fuse(n);
    if (const auto* c = sim::SeatedModel<sim::GalChip>(chip)) return c->Cell(n);
    if (const auto* c = sim::SeatedModel<sim::EditModeChip>(chip)) return c->Cell(n);
    return -1;
}

// A user's JEDEC file of `fuses` fuses in rows of `rowWidth`.
std::string JedecText(const std::vector<uint8_t>& bits, uint32_t rowWidth, const std::string& type) {
    std::ostringstream o;
    o << "\x02\nPAL " << type << " test map*\nQP20*\nQF" << bits.size() << "*\nF0*\n";
    uint32_t sum = 0;
    for (size_t n = 0; n < bits.size(); ++n) sum += static_cast<uint32_t>(bits[n]) << (n % 8);
    for (size_t first = 0; first < bits.size(); first += rowWidth) {
        char at[24];
        std::snprintf(at, sizeof at, "L%05zu ", first);
        o << at;
        for (size_t n = first; n < std::min(bits.size(), first + rowWidth); ++n) o << static_cast<char>('0' + bits[n]);
        o << "*\n";
    }
    char c[16];
    std::snprintf(c, sizeof c, "C%04X*\n", sum & 0xFFFF);
    o << c << "\x03" "0000";
    return o.str();
}

// The fuses of a JEDEC text's "L" fields (unset ones -1) and its "QF" count.
std::vector<int> JedecFuses(const std::string& text, uint32_t& count) {
    std::vector<int> fuses;
    count = 0;
    std::istringstream in(text);
    std::string field;
    while (std::getline(in, field, '*')) {
        const size_t at = field.find_first_not_of("\r\n\x02 ");
        if (at == std::string::npos) continue;
        field = field.substr(at);
        if (field.rfind("QF", 0) == 0) {
            count = static_cast<uint32_t>(std::stoul(field.substr(2)));
            fuses.assign(count, -1);
        } else if (field[0] == 'L') {
            size_t n = std::stoul(field.substr(1));
            for (char ch : field.substr(field.find(' ') + 1))
                if (ch == '0' || ch == '1') {
                    if (n < fuses.size()) fuses[n] = ch - '0';
                    ++n;
                }
        }
    }
    return fuses;
}

QApplication* PalDialogApp() {
    static QApplication* app = [] {
        if (QApplication* a = qobject_cast<QApplication*>(QCoreApplication::instance())) return a;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_sweep";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return app;
}

// Runs the device's Options entry as the menu's Option command does (the
// programmer reached, the operation state prepared, the outputs reset
// after); the modal dialog it shows gets its list read into `offered`, then
// `pick` chosen and OK clicked (an empty `pick`: Cancel). The entry's result,
// 0 when the programmer was not reached.
int RunOption(const std::string& pick, QStringList& offered) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* d = qobject_cast<TOptRal*>(QApplication::activeModalWidget());
        if (d == nullptr) return;
        poll.stop();
        offered.clear();
        for (int i = 0; i < d->ListBoxDev->count(); ++i) offered << d->ListBoxDev->item(i)->text();
        const int at = static_cast<int>(offered.indexOf(QString::fromStdString(pick)));
        if (pick.empty() || at < 0) {
            d->BitBtn2->click();
            return;
        }
        d->ListBoxDev->setCurrentRow(at);
        d->BitBtnOk->click();
    });
    poll.start(1);
    UserBreak.store(0);
    if (CheckCommunication(MainEngine) != 1) return 0;
    PrepareOperation(MainEngine);
    const int result = AlgorithmRow(CurrentAlgorithm)->Options();
    ResetProgrammerOutputs();
    return result;
}

bool OffersPalTypes(uint32_t row) {
    const AlgorithmEntry* e = AlgorithmRow(row);
    return e != nullptr && (e->Options == Alg207Options || e->Options == Alg208Options || e->Options == Alg243Options);
}

// One PAL type on the seated part; "" when it held, else what went wrong.
std::string RunPalType(const PalType& t, const GalMapFacts& g, uint32_t galFuses, uint32_t seed, RecordingUi& ui,
                       std::string& named) {
    QStringList offered;
    if (RunOption(t.name, offered) != 1) return std::string(" ") + t.name + ": Option not taken";
    if (DeviceSize != t.fuses)
        return std::string(" ") + t.name + ": the dialog gives " + std::to_string(DeviceSize) + " fuses, the type has " +
               std::to_string(t.fuses);
    uint32_t carried = 0;
    const std::map<uint32_t, CellSource> image = ImageOf(t, g, galFuses, carried);
    if (carried < t.fuses) {
        named += std::string(" ") + t.name + " fuses " + std::to_string(carried) + "-" + std::to_string(t.fuses - 1) +
                 " have no place in the GAL image";
    }

    std::vector<uint8_t> bits(t.fuses);
    FillRandom(bits.data(), bits.size(), seed);
    for (uint8_t& b : bits) b &= 1;
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string in = (dir / ("pal_in_" + std::to_string(getpid()) + ".jed")).string();
    const std::string out = (dir / ("pal_out_" + std::to_string(getpid()) + ".jed")).string();
    std::ofstream(in, std::ios::binary) << JedecText(bits, FuseRowLength, t.name);
    uint32_t fileSum = 0, blown = 0;
    if (LoadJedecFile(in, fileSum, blown) != 1) return std::string(" ") + t.name + ": the file is not loaded";
    // The UES cells take the buffer's UES from the GAL's own numbers.
    std::vector<int> ues(64);
    for (uint32_t i = 0; i < 64; ++i) ues[i] = static_cast<int>(GetBufferBit(g.ues + i));

    BlankCheckBeforeProgram = 1;
    VerifyAfterProgram = 1;
    VerifyAfterRead = 0;
    for (const auto& [op, what] : {std::pair{OpErase, "erase"}, std::pair{OpProgram, "program, verify"}}) {
        const size_t from = ui.Log.size();
        if (RunOperation(MainEngine, op) != ResultOk)
            return std::string(" ") + t.name + ": " + what + " FAILED (" + FirstError(ui, from) + ")";
    }
    const sim::CatalogChip* chip = SeatedSimChip();
    for (const auto& [n, src] : image) {
        const int want = src.fileFuse >= 0 ? bits[static_cast<size_t>(src.fileFuse)] : src.level;
        if (const int has = PartFuse(chip, n); has != want) {
            char m[160];
            std::snprintf(m, sizeof m, " %s: GAL fuse %u holds %d, %d %s", t.name, n, has, want,
                          src.fileFuse >= 0 ? ("from file fuse " + std::to_string(src.fileFuse)).c_str() : "by the layout");
            return m;
        }
    }
    for (uint32_t i = 0; i < 64; ++i)
        if (PartFuse(chip, g.ues + i) != ues[i]) return std::string(" ") + t.name + ": UES cell " + std::to_string(i);

    // The buffer cleared, the part read back and the map saved.
    std::memset(FuseMap(), 0, (ShadowFuseBase + galFuses + 7) / 8);
    const size_t from = ui.Log.size();
    if (RunOperation(MainEngine, OpRead) != ResultOk)
        return std::string(" ") + t.name + ": read FAILED (" + FirstError(ui, from) + ")";
    if (SaveJedecFile(out, nullptr, 0) != 1) return std::string(" ") + t.name + ": not saved";
    std::ifstream file(out, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    uint32_t count = 0;
    const std::vector<int> back = JedecFuses(saved, count);
    if (count != t.fuses) return std::string(" ") + t.name + ": saved QF" + std::to_string(count);
    for (uint32_t n = 0; n < carried && n < t.fuses; ++n)
        if (back[n] != bits[n])
            return std::string(" ") + t.name + ": saved fuse " + std::to_string(n) + " is " + std::to_string(back[n]) +
                   ", " + std::to_string(bits[n]) + " loaded";
    return "";
}

TEST_P(EveryDevice, ThroughItsPalTypes) {
    const LibraryDevice& d = Devices()[GetParam()];
    if (d.section != SectionPld || !OffersPalTypes(d.row)) GTEST_SKIP() << "no PAL types";
    PassDevice p;
    if (std::string skip; !Ready(p, d, GetParam(), kPalPass, skip)) {
        if (!skip.empty()) GTEST_SKIP() << skip;
        return;
    }
    PalDialogApp();
    InstallOptRalDialog();
    const size_t from = ui.Log.size();
    bool failed = false;
    // The record's own map says which list: a 16V8 type's 2194 fuses.
    const bool twenty = DeviceSize == kPal16[0].fuses;
    const std::vector<PalType>& types = twenty ? kPal16 : kPal20;
    const GalMapFacts& g = twenty ? kGal16 : kGal20;
    const uint32_t galFuses = DeviceSize;
    if (!(SupportedOperationMask & OpMaskOption)) {
        p.line += " offers no Option";
        failed = true;
    }
    QStringList offered;
    if (!failed) RunOption("", offered);
    std::string named;
    for (int i = 0; !failed && i < static_cast<int>(offered.size()); ++i) {
        const auto t = std::find_if(types.begin(), types.end(),
                                    [&](const PalType& x) { return offered[i] == QString(x.name); });
        if (t == types.end()) {
            p.line += " " + offered[i].toStdString() + " has no description";
            failed = true;
            break;
        }
        const std::string why = RunPalType(*t, g, galFuses, static_cast<uint32_t>(GetParam() * 31 + i), ui, named);
        p.line += why;
        failed = !why.empty();
    }
    if (!failed && static_cast<size_t>(offered.size()) != types.size()) {
        p.line += " the dialog offers " + std::to_string(offered.size()) + " types";
        failed = true;
    }
    if (!failed) {
        p.line += " " + std::to_string(offered.size()) + " types (" + offered.front().toStdString() + "-" +
                  offered.back().toStdString() + ") programmed, verified, read back and saved";
        p.line += named.empty() ? "; every fuse of each file has its place" : ";" + named;
    }
    if (const std::string v = UnexpectedViolation(*ProgramSimulator()); !v.empty()) {
        p.line += " violation: " + v;
        failed = true;
    }
    ShowOptRalDialogHook = nullptr;
    Report(p, kPalPass, GetParam(), failed, ui, from);
}

} // namespace
