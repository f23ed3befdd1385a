// One row declaration: everything an algorithm row states about itself in
// one place. A family file ends with one table of RowDefs and registers it
// with ROW_FAMILY; its folder's install function passes every registered
// table to InstallRows, which writes the entries and hooks into the
// algorithm table and the row-hook table, and the librarian asks
// RowDefinition for the limits a device record must respect.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/RowHooks.h"

// The fields of a device record that a row's limits and its own check see.
struct RowRecordFacts {
    uint32_t Variant = 0;
    uint32_t SubVariant = 0;
    uint32_t Page = 0;
    uint32_t DeviceSize = 0;
    uint32_t DeviceFlags = 0;
    uint32_t PackagePins = 0;
    uint32_t Adapter = 0;
    bool Programs = false; // the record offers Program
    uint32_t Maker = 0;    // row of MakerNameTable
};

// Buffer places a row keeps for chip addresses of its own whatever Buffer
// Start says (option areas, ID and configuration words): buffer units First..
// Last (a 16-bit device's words) hold the data of chip addresses Chip ..
// Chip + Last - First.
struct FixedBufferPlace {
    uint32_t First = 0, Last = 0;
    uint32_t Chip = 0;
    // The row uses the place only for those of its chip addresses the range
    // covers; else whatever the range (a read fills it).
    bool RangeOnly = false;
    // The part's other memory whose cells the place holds from its address
    // Chip ("EEPROM", "hidden word"): none of them is ever in the range, and
    // the refusal names them so. nullptr: chip addresses of the range's own
    // memory.
    const char* Memory = nullptr;
    // In a split mode the place keeps to the run's lane: its unit u lies at
    // buffer unit u x step + lane (without one, at u).
    bool InLane = false;
};
using FixedPlacesFn = std::vector<FixedBufferPlace> (*)();

// Buffer units a read stores past the range: Count of them from the unit
// Skip after the range's last one on, holding the chip addresses from
// Chip End + 1 + Skip (the units skipped are left as they are).
struct ReadAreaAfterRange {
    uint32_t Skip = 0, Count = 0;
};
using ReadAreaFn = ReadAreaAfterRange (*)();

// Why a record cannot work with the row; empty when it can. Rows sharing
// one check tell themselves apart by `row`.
using RowRecordCheckFn = std::string (*)(uint32_t row, const RowRecordFacts& record);

struct RowDef {
    uint32_t Row = 0;

    // Entries; nullptr leaves the table's default (AlgNoOperation / AlgNoRead).
    AlgOperationFn Identify = nullptr;
    AlgReadFn Read = nullptr;
    AlgOperationFn Program = nullptr;
    AlgOperationFn Erase = nullptr;
    AlgOperationFn Secure = nullptr;
    AlgOperationFn Options = nullptr;

    // Hooks the engine calls for this row; nullptr: none.
    EncryptionWriterFn EncryptionWriter = nullptr;
    ConfigFuseWriterFn ConfigFuseWriter = nullptr;
    ChecksumFn Checksum = nullptr;
    HexConfigWriterFn HexConfigWriter = nullptr;
    // Run at every device selection; rows sharing one are registered once.
    SelectionDefaultsFn SelectionDefaults = nullptr;

    // A table the row indexes by the device's variant: its count (0: none)
    // and its name for the librarian's refusal. Without a name the refusal
    // reads "variant V past algorithm R's C".
    uint32_t VariantCount = 0;
    const char* VariantTable = nullptr;
    // Variants past the table that select something of their own (0: none).
    uint32_t SpecialVariants[2] = {};
    // The same for a table indexed by the sub-variant.
    uint32_t SubVariantCount = 0;
    const char* SubVariantTable = nullptr;

    // The least Page of a record that programs (the row's pulse limit or
    // page comes from it), and the most Page the row can write (0: no bound).
    uint32_t LeastPage = 0;
    uint32_t MostPage = 0;

    // The row drives register 3 as something other than the socket mask,
    // so it cannot serve a gang: its records offer none, and a gang set in
    // the options is refused before the first step.
    bool SingleSocket = false;
    // The start of the line the row logs, before anything is switched on,
    // when a gang module is fitted whatever the gang size: its part takes a
    // select line of its own from register 3, which the module takes as its
    // socket mask. nullptr: the row works the module's first socket at gang
    // size 1.
    const char* GangModuleRefusal = nullptr;

    // Whatever else the row refuses in a record (pins, geometry, ...).
    RowRecordCheckFn RecordCheck = nullptr;

    // The start of the line the row logs, before anything is switched on,
    // when it refuses a Chip Start its layout cannot serve (a page, word or
    // block written from its first byte); nullptr: the row serves any start.
    const char* StartRefusal = nullptr;
    // The row places the data through a map it keeps on the part (logical
    // blocks on physical ones): a chip address's datum is not in its cell.
    bool PlacesByMap = false;
    // The row keeps a second image (a data EEPROM's) in the buffer from
    // buffer byte DeviceEnd + 1, whatever Buffer Start says: its length for
    // the current device. Program takes it and Read fills it whatever the
    // range; the operation driver counts it in its buffer-top check, and the
    // row declares it as a fixed place (FixedPlaces) so that a range whose
    // buffer bytes meet it is refused. nullptr: none.
    uint32_t (*ImageAfterRange)() = nullptr;
    // A byte of the image, counted back from its end (0: none), that the row
    // programs with control bits of its own and reads back with only
    // `RegisterReadBits` (a configuration register): the part's cell holds
    // more than the datum, and a user's image holds only those bits there.
    uint32_t RegisterByteFromEnd = 0;
    uint8_t RegisterReadBits = 0xFF;
    // Program takes the range's data from consecutive buffer bytes (or whole
    // pages of them) whatever the split mode: the row offers no byte lanes,
    // and the operation driver refuses a split mode for every operation that
    // moves buffer data ("Cannot support Split mode!").
    bool NoByteLanes = false;
    // The smallest Chip Start above 0 the row serves for the current device
    // (its page, block or sector, in chip addresses): every start it serves
    // is a multiple of it. nullptr: with StartRefusal, no start above 0;
    // without, any start.
    uint32_t (*StartUnit)() = nullptr;
    // The start of the line the row logs, before anything is switched on,
    // when it refuses a Chip End below the device's last address (its walk
    // covers the part's whole map whatever the range); nullptr: the row
    // serves any end.
    const char* EndRefusal = nullptr;
    // The row takes each datum at the buffer address of its chip address,
    // whatever Buffer Start says (a map walked by a program on the part, a
    // list of word addresses): the operation driver refuses a Buffer Start
    // apart from Chip Start for every operation that moves buffer data,
    // before anything is switched on (the line starts BufferStartRefusal).
    bool DataAtChipAddresses = false;
    // The buffer places the row keeps for the current device (nullptr:
    // none): the operation driver refuses, before anything is switched on,
    // a range that would put the datum of one chip address on a place that
    // holds another's (the line starts FixedPlaceRefusal).
    FixedPlacesFn FixedPlaces = nullptr;
    // What Read (mode 2) also stores past the range for the current range
    // (a calibration area a read brings in after the part's program words):
    // the operation driver counts it in Read's buffer-top and fixed-place
    // checks alone, since no other step stores or takes it. nullptr: none.
    ReadAreaFn ReadStoresAfterRange = nullptr;
    // The row checks the seated part's identity (a signature, an ID code or
    // an ID text) for the current device, and refuses another part through
    // RefuseIdentity; nullptr: it checks none (ChecksIdentityAlways: on
    // every device of the row).
    bool (*ChecksIdentity)() = nullptr;
};

constexpr bool ChecksIdentityAlways() { return true; }

// Puts every row of `rows` into the algorithm table and the row hooks, and
// remembers the declaration for RowDefinition. A row outside the table, or
// one another declaration already holds, is skipped and counted (see
// RowInstallConflicts). Returns the number of rows installed.
size_t InstallRows(std::span<const RowDef> rows);

// The declaration installed for a row; nullptr when none is.
const RowDef* RowDefinition(uint32_t row);

// Rows InstallRows skipped since the last ResetAlgorithmTable.
uint32_t RowInstallConflicts();

// Why a record cannot work with its row's declaration; empty when it can.
// Checks the variant and sub-variant counts, the Page bounds and the row's
// own check, in that order.
std::string RowRecordRefusal(const RowDef& def, const RowRecordFacts& record);

// Forgets every declaration; called by ResetAlgorithmTable.
void ForgetRowDefinitions();

// The algorithm folders, each installing its families' rows together.
enum class RowGroup { Memory, Logic, Mcu };

// A family's row table as its file registers it. The families of a group
// install in the order of their ranks (equal ranks in registration order),
// never in the order the linker happened to put their files: where two
// families declare one row, the first keeps it and the other is counted.
struct RowFamily {
    const char* Name = "";
    RowGroup Group = RowGroup::Memory;
    int Rank = 0;
    std::span<const RowDef> Rows;
    // Run each time the family installs, before its rows (resets the
    // family's program-wide choices); nullptr: nothing.
    void (*AtInstall)() = nullptr;
};

// Adds a family; returns true (for the static initialiser of ROW_FAMILY).
bool RegisterRowFamily(const RowFamily& family);

// The registered families of a group in install order.
std::vector<RowFamily> RowFamilies(RowGroup group);

// Installs every registered family of the group in rank order; returns the
// number of rows installed.
size_t InstallRowFamilies(RowGroup group);

#define ROW_FAMILY_JOIN2(a, b) a##b
#define ROW_FAMILY_JOIN(a, b) ROW_FAMILY_JOIN2(a, b)
// Registers the family's table where it is defined, at the end of its file:
//   ROW_FAMILY("Nand", Memory, 160, kAlgorithmRows);
//   ROW_FAMILY("PageFlash", Memory, 260, kAlgorithmRows, PageFlashAtInstall);
// The folder's library is linked whole, so the linker keeps every
// registration although nothing refers to it.
#define ROW_FAMILY(name, group, rank, ...)                                                         \
    [[maybe_unused]] static const bool ROW_FAMILY_JOIN(rowFamilyRegistered, __LINE__) =          \
        ::RegisterRowFamily(::RowFamily{name, ::RowGroup::group, rank, __VA_ARGS__})
