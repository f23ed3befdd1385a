// The register-driven block CPLDs of the catalog. Their data sheets give
// the architecture (PAL blocks, inputs, macrocells) and the supply
// (4.75-5.25 V commercial, 7.0 V maximum), not the programming interface nor
// the fuse numbering: the arrays below are built from the JEDEC maps the
// parts' programming rows use, so every part is flagged as following its row.
#include "sim/BlockCpldChip.h"
#include "sim/CatalogModel.h"

namespace sim {

namespace {

// Columns of the special cells of a row, in cell order.
constexpr int8_t kCols16[16] = {7, 8, 15, 16, 23, 24, 31, 32, 39, 40, 47, 48, 55, 56, 63, 64};
constexpr int8_t kCols12[12] = {7, 8, 15, 16, 23, 24, 31, 32, 39, 40, 47, 48};
constexpr int8_t kCols2Block[16] = {8, 12, 16, 20, 24, 28, 32, 36, 37, 41, 45, 49, 53, 57, 61, 65};
constexpr int8_t kCols215[16] = {2, 9, 10, 17, 18, 25, 26, 33, 34, 41, 42, 49, 50, 57, 58, 65};

template <size_t N> int CellAt(const int8_t (&cols)[N], int column) {
    for (size_t k = 0; k < N; ++k) {
        if (cols[k] == column) return static_cast<int>(k);
    }
    return -1;
}

// The cell of a special row in a group of 16 per cell pair: row r's even
// cell at r - 52, odd cells of rows 52-57 at r - 43, row 60's at 15.
int32_t PairGroup16(int row, int k) {
    if (k % 2 == 0) return 16 * (k / 2) + row - 52;
    if (row >= 58 && row <= 59) return -1;
    return 16 * (k / 2) + (row == 60 ? 15 : row - 43);
}

// Two blocks of 3862: 52 array rows (row r's column 0 only on even rows),
// special rows 52-60, the E row 61 (block 0's cells at 7755 down, block 1's at 7739 down).
int32_t Fuse2Block(int row, int block, int column) {
    const int32_t base = 3862 * block;
    if (row < 52) {
        if (column == 0) return row % 2 == 0 ? base + row / 2 : -1;
        return base + 26 + 52 * (column - 1) + row;
    }
    const int k = CellAt(kCols2Block, column);
    if (k < 0 || row > 61) return -1;
    if (row == 61) return 7755 - 16 * block - k;
    return base + 3666 + row + 9 * k;
}

// Four blocks of 3768 with 70 columns, grouped special cells and the E row.
int32_t Fuse261(int row, int block, int column) {
    const int32_t base = 3768 * block;
    if (row < 52) return base + 52 * column + row;
    const int k = CellAt(kCols16, column);
    if (k < 0 || row > 61) return -1;
    if (row == 61) return 15087 + 16 * (3 - block) - k;
    const int32_t o = PairGroup16(row, k);
    return o < 0 ? -1 : base + 3640 + o;
}

int32_t Fuse212(int row, int block, int column) {
    if (row > 60) return -1;
    const int32_t base = 3020 * block;
    if (row < 52) return base + 52 * column + row;
    const int k = CellAt(kCols12, column);
    return k < 0 ? -1 : base + 2912 + (row - 52) + 9 * k;
}

int32_t Fuse213(int row, int block, int column) {
    if (row > 60) return -1;
    const int32_t base = 3888 * block;
    if (row < 52) return base + 52 * column + row;
    const int k = CellAt(kCols16, column);
    return k < 0 ? -1 : base + 3744 + (row - 52) + 9 * k;
}

// Row addresses 0-43 and 56-63.
int32_t Fuse214(int row, int block, int column) {
    const int32_t base = 3208 * block;
    if (row < 44) return base + 44 * column + row;
    if (row < 56 || row > 63) return -1;
    const int k = CellAt(kCols16, column);
    return k < 0 ? -1 : base + 3080 + (row - 56) + 8 * k;
}

// Special rows 44-49 in groups of 10 per cell pair: even cells of rows
// 44-47 at 0-3, odd cells of rows 44-49 at 4-9.
int32_t Fuse215(int row, int block, int column) {
    const int32_t base = 2984 * block;
    if (row < 44) return base + 44 * column + row;
    if (row > 49) return -1;
    const int k = CellAt(kCols215, column);
    if (k < 0) return -1;
    const int32_t group = base + 2904 + 10 * (k / 2);
    if (k % 2 == 0) return row <= 47 ? group + row - 44 : -1;
    return group + 4 + row - 44;
}

int32_t Fuse216(int row, int block, int column) {
    if (row > 60) return -1;
    const int32_t base = 2904 * block;
    if (row < 52) return base + 52 * column + row;
    const int k = CellAt(kCols12, column);
    if (k < 0) return -1;
    const int32_t o = PairGroup16(row, k);
    return o < 0 ? -1 : base + 2808 + o;
}

int32_t Fuse217(int row, int block, int column) {
    if (row > 60) return -1;
    const int32_t base = 3768 * block;
    if (row < 52) return base + 52 * column + row;
    const int k = CellAt(kCols16, column);
    if (k < 0) return -1;
    const int32_t o = PairGroup16(row, k);
    return o < 0 ? -1 : base + 3640 + o;
}

constexpr BlockCpldFacts Part(const char* name, int blocks, int columns, uint32_t fuses, int stages, int eRow,
                              int32_t (*fuseAt)(int, int, int), int programTenths, int vppPin,
                              bool eraseAll) {
    BlockCpldFacts f;
    f.maker = "AMD";
    f.name = name;
    f.blocks = blocks;
    f.columns = columns;
    f.fuses = fuses;
    f.rowStages = stages;
    f.eRow = eRow;
    f.fuseAt = fuseAt;
    f.programTenths = programTenths;
    f.vppPin = vppPin;
    f.eraseAll = eraseAll;
    return f;
}

// MACH111: two PAL26V16 blocks; MACH211: four; MACH120/220: four or eight
// PAL26V12 blocks; MACH130/230: four or eight PAL26V16 blocks; MACH210 and
// MACH215: four PAL blocks of 22 inputs.
const BlockCpldFacts kParts[] = {
    Part("MACH111", 2, 72, 7756, 62, 61, Fuse2Block, 52, 11, false),
    Part("MACH120", 4, 56, 12080, 61, -1, Fuse212, 50, 12, false),
    Part("MACH130", 4, 72, 15552, 61, -1, Fuse213, 50, 12, false),
    Part("MACH210", 4, 70, 12832, 0, -1, Fuse214, 50, 12, true),
    Part("MACH215", 4, 66, 11936, 66, -1, Fuse215, 50, 12, false),
    Part("MACH220", 8, 54, 23232, 61, -1, Fuse216, 50, 12, false),
    Part("MACH230", 8, 70, 30144, 61, -1, Fuse217, 50, 12, false),
    Part("MACH211", 4, 70, 15136, 62, 61, Fuse261, 50, 12, false),
};

std::unique_ptr<BlockCpldChip> MakeBlockCpld(const BlockCpldFacts& f) {
    return std::make_unique<BlockCpldChip>(f);
}

} // namespace

void AddBlockCpldParts(std::vector<CatalogPart>& parts) {
    for (const BlockCpldFacts& p : kParts) {
        PartFacts f;
        f.name = p.name;
        f.pinCount = kSocketPins;
        f.words = p.fuses;
        f.blank = 1;
        f.vcc = {p.vccMin, p.vccMax};
        f.vccPin = block_cpld_pins::kVcc;
        f.gndPins = {block_cpld_pins::kGnd};
        f.followsRow = true;
        parts.push_back(ModelPartBy<BitCells, MakeBlockCpld>(p.maker, f, p));
    }
}

const BlockCpldFacts* FindBlockCpldPart(const std::string& maker, const std::string& name) {
    for (const BlockCpldFacts& p : kParts) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

SIM_CATALOG_FAMILY(AddBlockCpldParts);

} // namespace sim
