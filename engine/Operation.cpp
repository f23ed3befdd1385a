#include "engine/Operation.h"

#include <cctype>
#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "engine/AlgorithmTable.h"
#include "engine/Bringup.h"
#include "engine/Buffer.h"
#include "engine/Config.h"
#include "engine/Device.h"
#include "engine/Insertion.h"
#include "engine/Library.h"
#include "engine/LogModel.h"
#include "engine/NeighbourState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/RowHooks.h"
#include "engine/Services.h"
#include "engine/UiBridge.h"
#include <cstdarg>

OperationCounters MainCounters;
OperationEngine MainEngine;
const char* const CompareFileName = "COMPARE.TXT";
const char* const BufferStartRefusal = " Buffer Start ";
const char* const FixedPlaceRefusal = " Buffer addr ";
const char* const BufferEndRefusal = " Buffer End ";

namespace {

uint64_t SteadyTickMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// The compare report while a data compare runs.
std::FILE* g_compareFile = nullptr;
// The compare report could not be written completely (errno of the failure).
int g_compareWriteError = 0;

// How the last entry walked the buffer: the read mode, or -1 for Program.
// Blank checks and the check after securing move the index by 1 per
// address, everything else by AddressStep.
int g_lastEntryMode = -1;

// A step ended because the device offers it and its row has no entry for
// it: no chip address to report.
bool g_entryMissing = false;

// The Erase entry named the block it failed on (in FailAddress).
bool g_eraseFailNamed = false;

// What the last entry said about the place of its failure: the walk's
// address (the default), no address at all, or a read the part refused.
enum class FailPlace { Walk, Unplaced, Refused };
FailPlace g_failPlace = FailPlace::Walk;

// What the part did instead of giving the failed cell's datum; nullptr when
// it gave one.
const char* g_failNoDatum = nullptr;

// The cell the entry said it walks at a place of its row (CellAtPlace): the
// place's unit, and the bank and buffer index the walk stood at then, which
// a failure on that cell leaves as they were.
struct PlaceCellMark {
    bool on = false;
    uint64_t unit = 0;
    uint32_t bank = 0, index = 0;
};
PlaceCellMark g_placeCell;

// The link was up when the run started; a programmer that stopped answering
// since (WaitTimerDone gave up) marks it lost.
bool g_linkExpected = false;

bool LinkLost() { return g_linkExpected && ProgrammerConnected != 1; }

// Entry results: 1 and 3 stand; every other value is a failure. A lost link
// fails whatever the entry believed.
int Normalize(int result) {
    if (LinkLost()) return ResultFailed;
    if (result == ResultOk || result == ResultUserBreak) return result;
    return ResultFailed;
}

const AlgorithmEntry& CurrentRow() {
    static const AlgorithmEntry empty = {99, 0, 0, AlgNoOperation, AlgNoRead, AlgNoOperation,
                                         AlgNoOperation, AlgNoOperation, AlgNoOperation};
    const AlgorithmEntry* row = AlgorithmRow(CurrentAlgorithm);
    return row != nullptr ? *row : empty;
}

bool Offered(uint32_t maskBit) { return (SupportedOperationMask & maskBit) != 0; }

// Whether ProgramConfigurationFuses would call an entry.
bool ConfigurationFusesAct() {
    return HooksOfRow(CurrentAlgorithm).ConfigFuseWriter != nullptr && CurrentRow().Program != AlgNoOperation;
}

const char* SocketPrefix(char* text, size_t size, uint32_t socket) {
    if (LastSocketIndex == 0) {
        text[0] = '\0';
    } else {
        std::snprintf(text, size, "Socket%u ", socket + 1);
    }
    return text;
}

// Marks the next appended line as the one the step rewrites.
void MarkStatusLine(OperationEngine& engine) { engine.StatusLine = LogLineCount(); }

bool NoReadEntry() { return CurrentRow().Read == AlgNoRead; }

// A step the device offers whose row has no entry for it: the chip is not
// touched and the step fails with its error line (none inside another step)
// and the reason.
int MissingEntryStep(OperationEngine& engine, const char* error) {
    ClearSocketResults(engine);
    g_entryMissing = true;
    if (error != nullptr) ShowMessageLine("%s", error);
    ShowErrorByCode(47); // "Not supported."
    return ResultFailed;
}

int CallRead(int mode) {
    g_lastEntryMode = mode;
    return Normalize(CurrentRow().Read(mode));
}

int CallOperation(AlgOperationFn fn) {
    g_lastEntryMode = -1;
    return Normalize(fn());
}

// Rewrites the step line: 1 the ok text, -1 the error text; a user break
// leaves the progress line as it is.
void ShowStepResult(OperationEngine& engine, int result, const char* prefix, const char* ok,
                    const char* error) {
    if (result == ResultOk) {
        ReplaceMessageLine(engine, "%s%s", prefix, ok);
    } else if (result == ResultFailed) {
        ReplaceMessageLine(engine, "%s%s", prefix, error);
    }
}

// The result of a call that served every socket in use. Sockets beyond the
// gang setting hold no device and keep "not passed", so their lamps stay off.
void SetAllSocketResults(int result) {
    for (uint32_t s = 0; s < 8; ++s) SocketResults[s] = s <= LastSocketIndex ? result : ResultFailed;
}

// One call of an entry for all sockets.
int SingleCallStep(OperationEngine& engine, const char* progress, const char* ok, const char* error,
                   AlgOperationFn fn) {
    ClearSocketResults(engine);
    PrepareOperation(engine);
    MarkStatusLine(engine);
    ShowMessageLine("%s", progress);
    const int result = CallOperation(fn);
    ShowStepResult(engine, result, "", ok, error);
    SetAllSocketResults(result);
    return result;
}

// One verify pass at a read supply; logs its " VCCL" line when the two
// levels differ.
int VerifyPass(uint32_t vcc, bool twoLevels) {
    ReadVccInUse = vcc;
    const int result = CallRead(ReadModeVerify);
    if (twoLevels && result != ResultUserBreak && g_failPlace != FailPlace::Refused) {
        ShowMessageLine(" VCCL(%u.%uV) Verification %s", vcc / 10, vcc % 10, result == ResultOk ? "ok!" : "error!");
    }
    return result;
}

// The Read entry once per socket: blank check (verify = false) or the
// two-level verify. `ok` and `error` replace the step's own result texts
// (the blank check that decides each socket's erase).
int PerSocketStep(OperationEngine& engine, bool verify, const char* ok = nullptr, const char* error = nullptr) {
    const char* progress = verify ? "Verifying ..." : "Blank checking ...";
    if (ok == nullptr) ok = verify ? "Verification ok!" : "Blank check ok!";
    if (error == nullptr) error = verify ? "Verification error!" : "Blank check error!";
    ClearSocketResults(engine);
    bool anyFailed = false;
    int result = ResultOk;
    for (uint32_t s = 0; s <= LastSocketIndex && s < 8; ++s) {
        PrepareOperation(engine);
        CurrentSocket = s;
        char prefix[16];
        SocketPrefix(prefix, sizeof prefix, s);
        // Each socket keeps its own result line, whatever the entry logged
        // in between.
        MarkStatusLine(engine);
        ShowMessageLine("%s%s", prefix, progress);
        if (!verify) {
            result = CallRead(ReadModeBlank);
        } else {
            const bool twoLevels = ReadVccLow != ReadVccHigh;
            result = VerifyPass(ReadVccLow, twoLevels);
            // A failed first pass decides; its index names the failing datum.
            if (result == ResultOk && twoLevels) {
                PrepareOperation(engine);
                CurrentSocket = s;
                result = VerifyPass(ReadVccHigh, true);
            }
        }
        SocketResults[s] = result;
        if (result == ResultOk) {
            ShowProgressStatus(100, DeviceEnd);
            ShowStepResult(engine, result, prefix, ok, error);
        } else if (result == ResultFailed) {
            anyFailed = true;
            ShowStepResult(engine, result, prefix, ok, error);
        } else {
            break;
        }
    }
    return anyFailed ? ResultFailed : result;
}

} // namespace

TickSourceFn OperationTickMs = SteadyTickMs;

void ClearSocketResults(OperationEngine& engine) {
    (void)engine;
    for (int32_t& r : SocketResults) r = ResultFailed;
}

void RejectGang(OperationEngine& engine) {
    (void)engine;
    ShowMessageLine("Cannot support Gang Socket!");
    LastSocketIndex = 0;
    RefreshInfoPanel();
}

void PrepareOperation(OperationEngine& engine) {
    ResetProgrammerOutputs();
    ResetVppGroundNotice();
    const SplitLane split = SplitLaneOf(WordMode);
    AddressStep = split.Step;
    ByteLane = split.Lane;
    ProgressStep = 256;
    FailAddress = 0;
    g_eraseFailNamed = false;
    g_failPlace = FailPlace::Walk;
    g_failNoDatum = nullptr;
    g_placeCell = {};
    CurrentSocket = 0;
    BankAdvances = 0;
    CompareFailed = 0;
    ReadValue = 0;
    ExpectedValue = 0;
    BlankCheckAfterErase = 0;
    ReadBackAfterSecure = 0;
    BankSize = DataWidth <= 8 ? 65536 : 32768;
    if (DeviceSection == SectionPld) {
        if (LastSocketIndex != 0) RejectGang(engine);
        BlankValue = 1;
        SecureCheckValue = 1;
        BlankCheckAfterErase = 1;
        ReadBackAfterSecure = 1;
    } else {
        BlankWord = 65535;
        BlankValue = 255;
    }
    FuseProgressCheck = 1;
    ReadVccInUse = ReadVcc;
    // Buffer Start counts the device's words: a 16-bit device's datum n is
    // buffer word n, and its bank holds 32768 of them.
    const uint64_t first = uint64_t{BufferStart} + ByteLane;
    BufferIndex = static_cast<uint32_t>(first % BankSize);
    SelectBank(static_cast<uint32_t>(std::min<uint64_t>(first / BankSize * BufferBankBytes, 0xFFFFFFFFu)), 1);
    WriteRegister(25, 15);
    ClearProgress();
}

// Whether an operation moves buffer data (a split mode or a Buffer Start
// changes where).
static bool MovesBufferData() {
    switch (CurrentOperation) {
    case OpProgram:
    case OpRead:
    case OpVerify:
    case OpCompare:
    case OpAuto:
        return true;
    default:
        return false;
    }
}

// A row that takes its data from consecutive buffer bytes whatever the split
// mode would put a lane's bytes at the wrong chip addresses (and a read
// would overwrite the bytes between the lanes): an operation that moves
// buffer data is refused in a split mode before anything is switched on.
static bool SplitModeRefused() {
    if (WordMode == 0 || WordMode > 6 || DeviceSection == SectionPld) return false;
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    return def != nullptr && def->NoByteLanes && MovesBufferData();
}

// A row that takes each datum at its chip address's place in the buffer
// would program, verify or read the wrong buffer bytes for a Buffer Start
// apart from Chip Start (a 16-bit device's counted in words, as the range).
static bool BufferStartRefused() {
    if (BufferStart == DeviceStart) return false;
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    return def != nullptr && def->DataAtChipAddresses && MovesBufferData();
}

// What a read stores past the range for the current row and operation.
static ReadAreaAfterRange ReadAreaOfRun(const RowDef* def) {
    if (CurrentOperation != OpRead || def == nullptr || def->ReadStoresAfterRange == nullptr) return {};
    return def->ReadStoresAfterRange();
}

// The buffer-unit step of the run's split mode and its lane (1 and 0
// without one).
struct RunLanes {
    uint64_t step = 1, lane = 0;
};
static RunLanes LanesOfRun() {
    const SplitLane split = SplitLaneOf(DeviceSection != SectionPld ? WordMode : 0);
    return {split.Step, split.Lane};
}

// The buffer unit of a place's unit `at`.
static uint64_t PlaceUnit(const FixedBufferPlace& place, uint64_t at, const RunLanes& l) {
    return place.InLane ? at * l.step + l.lane : at;
}

// The place a row keeps that holds buffer unit `unit` (a 16-bit device's
// word), if any: the memory it belongs to (nullptr: the range's own),
// whether it is a single word, and the address it keeps there. A place
// used only for the range's chip addresses holds range data otherwise.
struct PlaceDatum {
    bool on = false;
    const char* memory = nullptr;
    bool single = false;
    uint64_t address = 0;
};
// `placeUnits`: `unit` is a place's own unit (before a split mode's lane).
static PlaceDatum PlaceDatumAt(uint64_t unit, bool placeUnits = false) {
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    if (DeviceSection == SectionPld || def == nullptr || def->FixedPlaces == nullptr) return {};
    const RunLanes lanes = placeUnits ? RunLanes{} : LanesOfRun();
    for (const FixedBufferPlace& place : def->FixedPlaces()) {
        if (place.InLane && (unit < lanes.lane || (unit - lanes.lane) % lanes.step != 0)) continue;
        const uint64_t at = place.InLane ? (unit - lanes.lane) / lanes.step : unit;
        if (at < place.First || at > place.Last) continue;
        const uint64_t kept = place.Chip + (at - place.First);
        if (place.Memory == nullptr && place.RangeOnly && (kept < DeviceStart || kept > DeviceEnd)) continue;
        return {true, place.Memory, place.First == place.Last, kept};
    }
    return {};
}

// A row that keeps buffer places for chip addresses of its own (option
// areas, ID and configuration words, a data EEPROM's image) would write one
// chip address's datum over another's, or take a datum from where the range
// does not put it, when the range's buffer span (or what its read stores
// past it) meets such a place with other chip addresses: the line naming the
// place and both chip addresses, or "" when none does. In a split mode the
// span is the whole lane set's: a place on another lane holds the datum
// that lane's part keeps at that chip address.
static std::string FixedPlaceConflict() {
    if (DeviceSection == SectionPld || !MovesBufferData()) return "";
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    if (def == nullptr || def->FixedPlaces == nullptr || DeviceEnd < DeviceStart) return "";
    const RunLanes lanes = LanesOfRun();
    const uint64_t start = DeviceStart, end = DeviceEnd, from = BufferStart, count = end - start + 1;
    const uint64_t setEnd = from + lanes.step * count - 1; // the lane set's last unit
    const ReadAreaAfterRange area = ReadAreaOfRun(def);
    const unsigned long unit = DataWidth > 8 ? 2 : 1; // buffer bytes of a unit, as the log shows them
    for (const FixedBufferPlace& place : def->FixedPlaces()) {
        for (uint64_t at = place.First; at <= place.Last; ++at) {
            const uint64_t kept = place.Chip + (at - place.First); // the chip address the place holds
            const bool keptInRange = place.Memory == nullptr && kept >= start && kept <= end;
            if (place.RangeOnly && !keptInRange) continue;
            // The chip address the lane set puts on this unit, if any, and
            // whether it is the run's own lane's (a read's area past the
            // range lies in the run's lane too).
            const uint64_t pos = PlaceUnit(place, at, lanes);
            const uint64_t index = pos >= from ? (pos - from) / lanes.step : 0, put = start + index;
            const bool ownLane = pos >= from && (pos - from) % lanes.step == lanes.lane;
            const bool inSpan = pos >= from && pos <= setEnd;
            const bool inArea = ownLane && index >= count + area.Skip && index < count + area.Skip + area.Count;
            if (!keptInRange && !inSpan && !inArea) continue;
            // The range puts the kept address's datum right on its place.
            const uint64_t keptAt = from + lanes.lane + lanes.step * (kept - start);
            if (keptInRange && keptAt == pos) continue;
            // Whose place: a chip address, a cell of another memory, or a
            // single word of its own ("the hidden word's").
            char owner[64];
            if (place.Memory == nullptr) {
                std::snprintf(owner, sizeof owner, "chip addr %lXh's", static_cast<unsigned long>(kept));
            } else if (place.First == place.Last) {
                std::snprintf(owner, sizeof owner, "the %s's", place.Memory);
            } else {
                std::snprintf(owner, sizeof owner, "%s addr %lXh's", place.Memory, static_cast<unsigned long>(kept));
            }
            char line[192];
            if (inSpan || inArea) {
                std::snprintf(line, sizeof line, "%s%06lXh is %s place; %s puts chip addr %lXh there.",
                              FixedPlaceRefusal, static_cast<unsigned long>(pos) * unit, owner,
                              ownLane ? "the range" : "another lane", static_cast<unsigned long>(put));
            } else {
                std::snprintf(line, sizeof line, "%s%06lXh is %s place; the range puts it at buffer addr %06lXh.",
                              FixedPlaceRefusal, static_cast<unsigned long>(pos) * unit, owner,
                              static_cast<unsigned long>(keptAt) * unit);
            }
            return line;
        }
    }
    return "";
}

// The last buffer byte of the range's units and `more` units after them.
static uint64_t UnitsBufferEnd(uint64_t more) {
    const uint64_t n = DeviceEnd >= DeviceStart ? DeviceEnd - DeviceStart : 0;
    const uint64_t end = uint64_t{BufferStart} + uint64_t{SplitLaneOf(WordMode).Step} * (n + 1 + more) - 1;
    return DataWidth > 8 ? 2 * end + 1 : end;
}

uint64_t RangeBufferEnd() { return UnitsBufferEnd(0); }

uint64_t BufferCapacityBytes() {
    const uint64_t capacity = BufferImageCapacity();
    return capacity != 0 ? capacity : BufferBankBytes;
}

uint64_t RunBufferEnd() {
    uint64_t end = RangeBufferEnd();
    // The second image lies from buffer byte Chip End + 1, wherever the
    // range's own bytes are.
    if (const RowDef* def = RowDefinition(CurrentAlgorithm); def != nullptr && def->ImageAfterRange != nullptr) {
        if (const uint32_t bytes = def->ImageAfterRange(); bytes != 0)
            end = std::max<uint64_t>(end, uint64_t{DeviceEnd} + bytes);
    }
    return end;
}

std::string BufferEndPastText(uint64_t end) {
    const uint64_t bytes = BufferCapacityBytes();
    char size[32];
    if (bytes % (1u << 20) == 0) {
        std::snprintf(size, sizeof size, "%llu MB", static_cast<unsigned long long>(bytes >> 20));
    } else {
        std::snprintf(size, sizeof size, "%llu KB", static_cast<unsigned long long>(bytes >> 10));
    }
    char text[128];
    std::snprintf(text, sizeof text, "Buffer End %llXh past the buffer's last byte %llXh (buffer size %s).",
                  static_cast<unsigned long long>(end), static_cast<unsigned long long>(bytes - 1), size);
    return text;
}

// A range whose buffer bytes run past the buffer's last byte would program
// what is not there (blank words, or half the range before "Cannot create
// swap area."), and a read would lose the bytes past it: refused before
// anything is switched on. A fuse map stays in bank 0 whatever Buffer Start
// says.
static bool BufferEndRefused(uint64_t& end) {
    if (DeviceSection == SectionPld || !MovesBufferData()) return false;
    end = RunBufferEnd();
    // What a read stores past the range (a calibration area) must fit too;
    // the other steps neither store nor take it.
    if (const ReadAreaAfterRange area = ReadAreaOfRun(RowDefinition(CurrentAlgorithm)); area.Count != 0)
        end = std::max(end, UnitsBufferEnd(uint64_t{area.Skip} + area.Count));
    return end >= BufferCapacityBytes();
}

int CheckCommunication(OperationEngine& engine) {
    (void)engine;
    if (ConnectProgrammer(0) != 1) {
        ShowMessageLine("Can not be executed with Communication Error!");
        Beep(-1);
        return -1;
    }
    if (DeviceInsertTest == 1 && (AdapterCode == 0 || AdapterCode == 'P' || AdapterCode == 'Q' || AdapterCode == 'R')) {
        if (LoadedLogicImage != static_cast<int32_t>(kLibraryTestImage) && DownloadLogicImage(kLibraryTestImage) != 1) {
            Beep(-1);
            return -1;
        }
        if (CheckDeviceInsertion() == -1) return -1;
    }
    // Running the device's algorithm on another image would drive the
    // socket wrongly: a refused download (already logged) ends the run.
    if (LoadedLogicImage != static_cast<int32_t>(LogicImageNumber) && DownloadLogicImage(LogicImageNumber) != 1) {
        Beep(-1);
        return -1;
    }
    ReadHardwareModel();
    const RowDef* def = RowDefinition(CurrentAlgorithm);
    if (def != nullptr && def->GangModuleRefusal != nullptr && (ReadRegister(1) & 3u) == 1) {
        ShowMessageLine("%s", def->GangModuleRefusal);
        Beep(-1);
        return -1;
    }
    // A row that cannot serve a gang says so before any step and serves the
    // first socket.
    if (LastSocketIndex != 0 && def != nullptr && def->SingleSocket) RejectGang(engine);
    if (LastSocketIndex != 0) {
        if ((DeviceFlags & 0x30) == 0) {
            // One socket for a device without gang support: the panel's
            // gang size follows.
            LastSocketIndex = 0;
            RefreshInfoPanel();
        } else if (GangAdapterState != 1) {
            ShowMessageLine("Change Adaper to KR-P32Q8.");
            Beep(-1);
            return -1;
        }
    }
    return 1;
}

int BlankCheckDevice(OperationEngine& engine) {
    if (!Offered(OpMaskBlankCheck)) return ResultOk;
    if (NoReadEntry()) return MissingEntryStep(engine, "Blank check error!");
    return PerSocketStep(engine, false);
}

int VerifyDevice(OperationEngine& engine) {
    if (!Offered(OpMaskVerify)) return ResultOk;
    if (NoReadEntry()) return MissingEntryStep(engine, "Verification error!");
    return PerSocketStep(engine, true);
}

int ProgramDevice(OperationEngine& engine) {
    if (!Offered(OpMaskProgram)) return ResultOk;
    const AlgOperationFn program = CurrentRow().Program;
    if (program == AlgNoOperation) return MissingEntryStep(engine, "Program error!");
    return SingleCallStep(engine, "Programming ...", "Program ok!", "Program error!", program);
}

int ReadDevice(OperationEngine& engine, int mode, int show) {
    if (!Offered(OpMaskRead)) return ResultOk;
    if (NoReadEntry()) return MissingEntryStep(engine, show ? "Read error!" : nullptr);
    ClearSocketResults(engine);
    PrepareOperation(engine);
    if (show) {
        MarkStatusLine(engine);
        ShowMessageLine("Reading ...");
    }
    const int result = CallRead(mode);
    if (show) ShowStepResult(engine, result, "", "Read ok!", "Read error!");
    SocketResults[0] = result;
    return result;
}

int EraseDevice(OperationEngine& engine) {
    if (!Offered(OpMaskErase)) return ResultOk;
    if (CurrentRow().Erase == AlgNoOperation) return MissingEntryStep(engine, "Erase error!");
    ClearSocketResults(engine);
    PrepareOperation(engine);
    MarkStatusLine(engine);
    ShowMessageLine("Erasing ...");
    int result = CallOperation(CurrentRow().Erase);
    // The flag as PrepareOperation and the entry's power-up left it.
    if (result == ResultOk && BlankCheckAfterErase == 1 && CurrentOperation != OpAuto) {
        // A gang's erase passes or fails socket by socket: each socket's
        // blank check gives its own result and its own result line, under
        // the "Erasing ..." line the entry served all sockets on.
        if (LastSocketIndex != 0) return PerSocketStep(engine, false, "Erase ok!", "Erase error!");
        result = ReadDevice(engine, ReadModeBlank, 0);
    }
    ShowStepResult(engine, result, "", "Erase ok!", "Erase error!");
    // An erase the entry itself failed fails every socket it served.
    SetAllSocketResults(result);
    return result;
}

int SecureDevice(OperationEngine& engine, int confirm) {
    if (!Offered(OpMaskSecurity)) return ResultOk;
    if (CurrentRow().Secure == AlgNoOperation) return MissingEntryStep(engine, "Security error!");
    if (confirm == 1 && ConfirmWarning("Are you sure?") != 1) return ResultUserBreak;
    ClearSocketResults(engine);
    PrepareOperation(engine);
    MarkStatusLine(engine);
    ShowMessageLine("Securing ...");
    int result = CallOperation(CurrentRow().Secure);
    if (result == ResultOk && ReadBackAfterSecure == 1) {
        result = ReadDevice(engine, ReadModeSecureCheck, 0);
    }
    ShowStepResult(engine, result, "", "Security ok!", "Security error!");
    SetAllSocketResults(result);
    return result;
}

int EncryptDevice(OperationEngine& engine) {
    if (!Offered(OpMaskEncryption)) return ResultOk;
    const EncryptionWriterFn writer = HooksOfRow(CurrentAlgorithm).EncryptionWriter;
    // A row without an encryption table has nothing to write.
    if (writer == nullptr) return ResultOk;
    return SingleCallStep(engine, "Encryption...", "Encryption ok!", "Encryption error!", writer);
}

int ProgramConfigurationFuses(OperationEngine& engine) {
    const ConfigFuseWriterFn writer = HooksOfRow(CurrentAlgorithm).ConfigFuseWriter;
    if (writer == nullptr || CurrentRow().Program == AlgNoOperation) return ResultOk;
    return SingleCallStep(engine, "Configuration Fuse Programming...", "Configuration Fuse Program ok!",
                          "Configuration Fuse Program error!", writer);
}

int WriteCompareLine(OperationEngine& engine) {
    (void)engine;
    if (g_compareFile == nullptr) return 1;
    const bool wide = DataWidth > 8;
    const uint32_t mask = wide ? 0xFFFF : 0xFF;
    const uint32_t buffer = ExpectedValue & mask;
    const uint32_t chip = ReadValue & mask;
    if (buffer == chip) return 1;
    unsigned long position = static_cast<unsigned long>(BankAdvances) * BankSize + BufferIndex;
    // A datum the row keeps at a place of its own stands at that place.
    if (const uint64_t at = uint64_t{CurrentBank} * BankSize + BufferIndex; PlaceDatumAt(at).on)
        position = static_cast<unsigned long>(at);
    const int n = wide ? std::fprintf(g_compareFile, "%08lXh:(%04X)-(%04X)\r\n", position, buffer, chip)
                       : std::fprintf(g_compareFile, "%08lXh:(%02X)-(%02X)\r\n", position, buffer, chip);
    if (n < 0 && g_compareWriteError == 0) g_compareWriteError = errno != 0 ? errno : EIO;
    return 1;
}

int WriteCompareLineOk() { return WriteCompareLine(MainEngine); }

int WriteCompareNote(const char* text) {
    if (g_compareFile == nullptr) return 1;
    if (std::fprintf(g_compareFile, "%s\r\n", text) < 0 && g_compareWriteError == 0)
        g_compareWriteError = errno != 0 ? errno : EIO;
    return 1;
}

int CompareDevice(OperationEngine& engine) {
    if (!Offered(OpMaskCompare)) return ResultOk;
    if (NoReadEntry()) return MissingEntryStep(engine, "Data Compare error!");
    ClearSocketResults(engine);
    PrepareOperation(engine);
    errno = 0;
    std::FILE* file = std::fopen(CompareFileName, "wb");
    if (file == nullptr) {
        ShowSystemError(errno != 0 ? errno : EIO);
        SocketResults[0] = ResultFailed;
        return ResultFailed;
    }
    g_compareFile = file;
    g_compareWriteError = 0;
    if (std::fputs("Compare file\r\n", file) < 0 || std::fputs("Address : (Buffer data)-(Chip data)\r\n", file) < 0) {
        g_compareWriteError = errno != 0 ? errno : EIO;
    }
    MarkStatusLine(engine);
    ShowMessageLine("Data Compare ...");
    const WriteCompareLineFn previous = WriteCompareLineSlot;
    WriteCompareLineSlot = WriteCompareLineOk;
    int result = CallRead(ReadModeCompare);
    WriteCompareLineSlot = previous;
    g_compareFile = nullptr;
    if (std::fclose(file) != 0 && g_compareWriteError == 0) g_compareWriteError = errno != 0 ? errno : EIO;

    // The progress line goes in every case, a user break included; the
    // result follows.
    MainLog().Remove(engine.StatusLine);
    if (result == ResultOk && g_compareWriteError != 0) result = ResultFailed;
    if (result == ResultOk) {
        ShowMessageLine("Create Data Compare file ok!");
        ShowMessageLine("See file name COMPARE.TXT");
    } else if (result == ResultFailed) {
        ShowMessageLine("Data Compare error!");
        if (g_compareWriteError != 0) ShowSystemError(g_compareWriteError);
    }
    SocketResults[0] = result;
    return result;
}

int CheckDeviceId(OperationEngine& engine) {
    PrepareOperation(engine);
    CurrentRow().Identify();
    ResetProgrammerOutputs();
    if (LinkLost()) {
        ShowMessageLine("Can not be executed with Communication Error!");
        Beep(-1);
        return -1;
    }
    const bool secured = HooksOfRow(CurrentAlgorithm).SecuredIdentityException;
    if (secured && (CurrentOperation == OpErase || CurrentOperation == OpAuto)) return 1;
    if ((ChipMakerId & 0xFF) == (ExpectedMakerId & 0xFF) && (ChipDeviceId & 0xFF) == (ExpectedDeviceId & 0xFF)) return 1;
    if (RefuseIdentity(true, "%s", secured ? "Device secured or incorrect device." : "Incorrect device ID.") == 1)
        return 1;
    Beep(-1);
    return -1;
}

void ReportFailAddress(OperationEngine& engine, int op) {
    (void)engine;
    // The entry said it has no address to name.
    if (g_failPlace != FailPlace::Walk) return;
    if (DeviceSection == SectionPld) {
        ShowMessageLine(" Fail address : %lu(%lXh)", static_cast<unsigned long>(FailAddress),
                        static_cast<unsigned long>(FailAddress));
        return;
    }
    if (op == OpErase && g_eraseFailNamed) {
        ShowMessageLine(" Chip addr: %06lXh  data: %04Xh", static_cast<unsigned long>(FailAddress), ReadValue);
        return;
    }
    // Blank checks move the index by 1 per address, the other walks by the
    // split step; a bank advance took BankSize positions off the index.
    const bool blankWalk = g_lastEntryMode == ReadModeBlank || g_lastEntryMode == ReadModeSecureCheck;
    // An erase that ended in its blank check names the first cell left.
    const bool erasedCheck = op == OpErase && g_lastEntryMode == ReadModeBlank;
    if (op != OpBlankCheck && op != OpProgram && op != OpVerify && !erasedCheck) return;
    const uint32_t unit = blankWalk ? 1 : (AddressStep != 0 ? AddressStep : 1);
    int64_t position = static_cast<int64_t>(BankAdvances) * BankSize + BufferIndex -
                       static_cast<int64_t>((uint64_t{BufferStart} + ByteLane) % (BankSize ? BankSize : 1));
    if (position < 0) position = 0;
    unsigned long chip = static_cast<unsigned long>(DeviceStart + position / unit);
    unsigned long buffer = static_cast<unsigned long>(static_cast<uint64_t>(CurrentBank) * BankSize + BufferIndex);
    // A datum of a place the row keeps (another memory's image, a word of
    // its own) is named by that place's own address, wherever the range
    // lies. A blank walk's index does not tell its datum's place: there the
    // entry's word on the cell it walked (CellAtPlace) does.
    const bool marked = g_placeCell.on && g_placeCell.bank == CurrentBank && g_placeCell.index == BufferIndex;
    const PlaceDatum place = marked                          ? PlaceDatumAt(g_placeCell.unit, true)
                             : blankWalk || op == OpBlankCheck ? PlaceDatum{}
                                                               : PlaceDatumAt(buffer);
    if (DataWidth > 8) buffer *= 2;
    if (place.on) chip = static_cast<unsigned long>(place.address);
    // The cell as the line names it: another memory's cell by that memory
    // ("EEPROM addr: ...", a single word by its name alone), else the chip
    // address.
    char cell[64];
    if (place.on && place.memory != nullptr && place.single) {
        std::string name = place.memory;
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        std::snprintf(cell, sizeof cell, "%s", name.c_str());
    } else {
        std::snprintf(cell, sizeof cell, "%s addr: %06lXh", place.on && place.memory != nullptr ? place.memory : "Chip",
                      chip);
    }
    // The failing step decides the form: a blank check has no buffer datum.
    // A part that gave no datum for the cell: what it did instead.
    const bool chipOnly = op == OpBlankCheck || blankWalk;
    if (g_failNoDatum != nullptr) {
        ShowMessageLine(chipOnly ? " %s  %s" : "  %s  %s", cell, g_failNoDatum);
    } else {
        ShowMessageLine(chipOnly ? " %s  data: %04Xh" : "  %s  data: %04Xh", cell, ReadValue);
    }
    if (!chipOnly) ShowMessageLine("Buffer addr: %06lXh  data: %04Xh", buffer, ExpectedValue);
}

void NameEraseFailAddress(uint32_t chipAddress) {
    FailAddress = chipAddress;
    g_eraseFailNamed = true;
}

void FailWithoutAddress() { g_failPlace = FailPlace::Unplaced; }

void FailWithoutDatum(const char* why) { g_failNoDatum = why; }

void CellAtPlace(uint64_t unit) { g_placeCell = {true, unit, CurrentBank, BufferIndex}; }

void ReadRefusedByDevice() { g_failPlace = FailPlace::Refused; }

namespace {
void ShowFormattedLine(const char* format, va_list args) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    ShowMessageLine("%s", line);
}
} // namespace

void RefuseRun(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ShowFormattedLine(format, args);
    va_end(args);
    g_failPlace = FailPlace::Refused;
}

namespace {
std::string g_identityLine;
} // namespace

int RefuseIdentity(bool ask, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    ShowMessageLine("%s", line);
    if (ask && ConfirmWarning("Device Signature dose not match. Continue?") == 1) return 1;
    g_identityLine = line;
    g_failPlace = FailPlace::Refused;
    return -1;
}

const std::string& IdentityRefusalLine() { return g_identityLine; }

int LockNotTaken(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ShowFormattedLine(format, args);
    va_end(args);
    FailWithoutAddress();
    return -1;
}

int RunOperation(OperationEngine& engine, int op) {
    CurrentOperation = static_cast<uint32_t>(op);
    g_identityLine.clear();
    g_linkExpected = false;
    g_entryMissing = false;
    if (SplitModeRefused()) {
        ShowMessageLine("Cannot support Split mode!");
        Beep(-1);
        return ResultFailed;
    }
    if (BufferStartRefused()) {
        ShowMessageLine("%s%Xh not supported: data sit at the chip's own addresses (Chip Start %Xh).",
                        BufferStartRefusal, BufferStart, DeviceStart);
        Beep(-1);
        return ResultFailed;
    }
    if (const std::string conflict = FixedPlaceConflict(); !conflict.empty()) {
        ShowMessageLine("%s", conflict.c_str());
        Beep(-1);
        return ResultFailed;
    }
    if (uint64_t end = 0; BufferEndRefused(end)) {
        ShowMessageLine(" %s", BufferEndPastText(end).c_str());
        Beep(-1);
        return ResultFailed;
    }
    if (CheckCommunication(engine) != 1) return ResultFailed;
    // From here a programmer that stops answering fails the run.
    struct LinkWatch {
        LinkWatch() { g_linkExpected = true; }
        ~LinkWatch() { g_linkExpected = false; }
    } watch;
    if (LoadedLogicImage != static_cast<int32_t>(LogicImageNumber) && DownloadLogicImage(LogicImageNumber) != 1) {
        Beep(-1);
        return ResultFailed;
    }
    if (DeviceSection == SectionMicro && CurrentRow().Identify != AlgNoOperation) {
        if (CheckDeviceId(engine) != 1) return ResultFailed;
    }
    SkipIdCheck = 0;
    UserBreak = 0;
    const uint64_t start = OperationTickMs();
    MarkStatusLine(engine);

    int result = ResultOk;
    // A step that would have done something was left out because an earlier
    // one did not pass: the sequence stopped short.
    bool stoppedShort = false;
    auto step = [&](auto&& fn, bool acts = true) {
        if (result != ResultOk) {
            stoppedShort = stoppedShort || acts;
            return;
        }
        MarkStatusLine(engine);
        result = fn();
    };
    switch (op) {
    case OpBlankCheck:
        step([&] { return BlankCheckDevice(engine); });
        break;
    case OpProgram:
        if (BlankCheckBeforeProgram) step([&] { return BlankCheckDevice(engine); });
        step([&] { return ProgramDevice(engine); }, Offered(OpMaskProgram));
        if (VerifyAfterProgram) step([&] { return VerifyDevice(engine); }, Offered(OpMaskVerify));
        break;
    case OpRead:
        step([&] { return ReadDevice(engine, ReadModeRead, 1); });
        if (VerifyAfterRead) step([&] { return VerifyDevice(engine); }, Offered(OpMaskVerify));
        break;
    case OpVerify:
        step([&] { return VerifyDevice(engine); });
        break;
    case OpCompare:
        step([&] { return CompareDevice(engine); });
        break;
    case OpErase:
        step([&] { return EraseDevice(engine); });
        break;
    case OpSecurity:
        step([&] { return SecureDevice(engine, 1); });
        break;
    case OpEncryption:
        step([&] { return EncryptDevice(engine); });
        break;
    case OpAuto:
        step([&] { return EraseDevice(engine); });
        step([&] { return BlankCheckDevice(engine); }, Offered(OpMaskBlankCheck));
        step([&] { return ProgramDevice(engine); }, Offered(OpMaskProgram));
        step([&] { return VerifyDevice(engine); }, Offered(OpMaskVerify));
        step([&] { return SecureDevice(engine, 0); }, Offered(OpMaskSecurity));
        step([&] { return ProgramConfigurationFuses(engine); }, ConfigurationFusesAct());
        break;
    default:
        break;
    }

    // A programmer that stopped answering during the run fails it, whatever
    // the steps reported.
    const bool linkLost = LinkLost();
    if (linkLost) {
        ShowMessageLine("Can not be executed with Communication Error!");
        result = ResultFailed;
    }

    ResetProgrammerOutputs();
    // A socket that passed a step the run stopped after (a gang blank check
    // before programming, a verify before securing) did not get the rest of
    // the operation: its lamp must not call it good.
    if (stoppedShort) ClearSocketResults(engine);
    if (!linkLost) {
        if (GangAdapterState == 0 && result == ResultOk) {
            SetLatchBit(29, 7, 1);
        } else if (GangAdapterState == 1) {
            for (uint32_t s = 0; s < 8; ++s) {
                if (SocketResults[s] == ResultOk) SetLatchBit(30, s, 1);
            }
        }
    }

    if (result == ResultOk) {
        ShowProgressStatus(100, DeviceEnd);
        SetProgressPosition(100);
    } else if (result == ResultFailed && LastSocketIndex == 0 && !linkLost && !g_entryMissing) {
        ReportFailAddress(engine, op);
    } else if (result == ResultUserBreak) {
        ClearSocketResults(engine);
        ShowMessageLine("USER BREAK!");
    }
    Beep(result);
    SelectBank(0, 0);

    if (op == OpRead) {
        ComputeBufferChecksum(BufferStartByte(), BufferEnd);
        // The shell refreshes the information panel when the run is over.
        ShowMessageLine("-CheckSum : %s", BufferChecksumText().c_str());
    }

    const uint64_t elapsedMs = OperationTickMs() - start;
    ShowMessageLine("--------------------------------> %3.2f Sec.", static_cast<double>(elapsedMs) * 0.001);

    if (op == OpProgram || op == OpAuto) {
        const uint32_t devices = LastSocketIndex + 1;
        if (result == ResultOk) {
            // Without a measurable time the figure stays as it was.
            if (elapsedMs > 0) {
                MainCounters.DevicesPerHour =
                    static_cast<uint32_t>(3600.0 / (static_cast<double>(elapsedMs) * 0.001) * devices);
            }
            MainCounters.Success += devices;
        } else {
            MainCounters.Failure += devices;
        }
        MainCounters.Count += devices;
        CurrentUi().ShowCounters(MainCounters.Count, MainCounters.Success, MainCounters.Failure,
                                 MainCounters.DevicesPerHour);
    }
    return result;
}

void ResetOperationDriverState() {
    MainCounters = OperationCounters{};
    MainEngine = OperationEngine{};
    if (g_compareFile != nullptr) {
        std::fclose(g_compareFile);
        g_compareFile = nullptr;
    }
    g_compareWriteError = 0;
    g_lastEntryMode = -1;
    g_linkExpected = false;
    g_entryMissing = false;
    g_eraseFailNamed = false;
    g_failPlace = FailPlace::Walk;
    g_failNoDatum = nullptr;
    g_placeCell = {};
    OperationTickMs = SteadyTickMs;
}
