// Facts of the one-time logic parts programmed by address list: the kinds of
// the three rows with the codes each row checks (row 251: 4h, Ch at
// 462h/463h, 9h, 0h at 464h/468h; row 252: C4h at 7C7h, 0Ah at 7C6h; row
// 250: its variant's code table). No datasheet was found for any of them:
// pin-outs, levels, times and codes follow the algorithm rows, and each part
// is named after its row and fuse count.
#include "sim/AddressListChip.h"
#include "sim/CatalogModel.h"

namespace sim {

namespace {

constexpr AddressListFacts::Preset kCodes251[] = {{0x462, 0xF4}, {0x463, 0xFC}, {0x464, 0xF9}, {0x468, 0xF0}};
constexpr AddressListFacts::Preset kCodes252[] = {{0x7C7, 0xC4}, {0x7C6, 0x0A}};
// Row 250: the maker words at 463h, 4E3h, 462h, 4E2h and the product words
// at 464h, 4E4h, 468h, 4E8h, the bits outside each mask blank.
constexpr AddressListFacts::Preset kCodes250V0[] = {{0x463, 0xFC}, {0x4E3, 0xFC}, {0x462, 0xF4}, {0x4E2, 0xF4},
                                                    {0x464, 0xFE}, {0x4E4, 0xFE}, {0x468, 0xF0}, {0x4E8, 0xF0}};
constexpr AddressListFacts::Preset kCodes250V1[] = {{0x463, 0xF3}, {0x4E3, 0xF3}, {0x462, 0xD3}, {0x4E2, 0xD3},
                                                    {0x464, 0xF3}, {0x4E4, 0xF3}, {0x468, 0xC3}, {0x4E8, 0xC3}};
constexpr AddressListFacts::Preset kCodes250V2[] = {{0x463, 0xF3}, {0x4E3, 0xF3}, {0x462, 0xD3}, {0x4E2, 0xD3},
                                                    {0x464, 0xC7}, {0x4E4, 0xC7}, {0x468, 0xC7}, {0x4E8, 0xC7}};
constexpr AddressListFacts::Preset kCodes250V3[] = {{0x463, 0xFF3}, {0x4E3, 0xFF3}, {0x462, 0xFD3}, {0x4E2, 0xFD3},
                                                    {0x464, 0xFC3}, {0x4E4, 0xFC3}, {0x468, 0xFC7}, {0x4E8, 0xFC7}};

// Verify levels (mode 13): the 251 kind reads at 5.9 V and verifies its
// programming at 6.9 V; the 252 kind, which takes code 13 at every read,
// also reads with VPP at VCC (its codes, its blank check at 4.5 V), its
// words at 6.0 V and verifies at 6.9 V; the 250 kind reads its codes at
// 5.0 V, its words at 7.6 V and verifies at 8.0 V.
constexpr int kVerify251[3] = {59, 69, 0};
constexpr int kVerify252[3] = {AddressListFacts::kAtVcc, 60, 69};
constexpr int kVerify250[3] = {50, 76, 80};

// The security words each kind's code check reads: row 251 bit 0 of 5EBh,
// row 252 bit 7 of 8000h, row 250 its variant's four words under its mask.
using Security = AddressListFacts::SecurityWord;
constexpr Security kSecurity251[] = {{0x5EB, 0x01}};
constexpr Security kSecurity252[] = {{0x8000, 0x80}};
constexpr Security kSecurity250V0[] = {{0x5E2, 0x00F}, {0x5E8, 0x00F}, {0xBE2, 0x00F}, {0xBE8, 0x00F}};
constexpr Security kSecurity250V1[] = {{0x5E2, 0x03C}, {0x5E8, 0x03C}, {0xA62, 0x03C}, {0xA68, 0x03C}};
constexpr Security kSecurity250V2[] = {{0x5E2, 0x0FC}, {0x5E8, 0x0FC}, {0xA62, 0x0FC}, {0xA68, 0x0FC}};
constexpr Security kSecurity250V3[] = {{0x5E2, 0xFFC}, {0x5E8, 0xFFC}, {0xA62, 0xFFC}, {0xA68, 0xFFC}};

template <size_t N, size_t S>
AddressListFacts Part(const char* name, uint32_t fuses, int width, int vppPin, int programTenths,
                      const AddressListFacts::Preset (&codes)[N], const Security (&security)[S]) {
    // Rows 250 and 252 route the supply to socket pin 48, row 251 the package's.
    const int vccPin = vppPin == 3 ? 23 : 48;
    const int* verify = vppPin == 3 ? kVerify251 : vppPin == 1 ? kVerify252 : kVerify250;
    AddressListFacts f{"GENERIC-ALGORITHM", name, fuses, width, vccPin, vppPin, programTenths,
                       {verify[0], verify[1], verify[2]}, {}, static_cast<int>(N), {}, static_cast<int>(S)};
    for (size_t i = 0; i < N; ++i) f.presets[i] = codes[i];
    for (size_t i = 0; i < S; ++i) f.security[i] = security[i];
    return f;
}

const AddressListFacts kAddressListParts[] = {
    Part("ALPLD251-18448", 18448, 8, 3, 119, kCodes251, kSecurity251), Part("ALPLD251-2064", 2064, 8, 3, 119, kCodes251, kSecurity251),
    Part("ALPLD251-67592", 67592, 8, 3, 119, kCodes251, kSecurity251), Part("ALPLD251-14352", 14352, 8, 3, 119, kCodes251, kSecurity251),
    Part("ALPLD252-18448", 18448, 8, 1, 119, kCodes252, kSecurity252), Part("ALPLD252-14352", 14352, 8, 1, 119, kCodes252, kSecurity252),
    Part("ALPLD252-8208", 8208, 8, 1, 119, kCodes252, kSecurity252),  Part("ALPLD252-34880", 34880, 8, 1, 119, kCodes252, kSecurity252),
    Part("ALPLD250-18448", 18448, 8, 43, 123, kCodes250V0, kSecurity250V0), Part("ALPLD250-8208", 8208, 8, 43, 123, kCodes250V1, kSecurity250V1),
    Part("ALPLD250-34880", 34880, 8, 43, 123, kCodes250V2, kSecurity250V2), Part("ALPLD250-14352", 14352, 12, 43, 123, kCodes250V3, kSecurity250V3),
};

// The catalog sees the part as the record's fuses: fuse n is bit n mod 8 of
// the word at n / 8 (the wide part's bits 8-11 stay outside).
struct AddressListCells : ModelLimits {
    template <class M, class F> static size_t Words(const M&, const F& f) { return f.words; }
    template <class M, class F> static uint16_t Cell(const M& m, const F&, uint32_t n) {
        return static_cast<uint16_t>((m.Word(n / 8) >> (n % 8)) & 1);
    }
    template <class M, class F> static void SetCell(M& m, const F&, uint32_t n, uint16_t v) {
        const uint32_t a = n / 8;
        const auto bit = static_cast<uint16_t>(1u << (n % 8));
        m.SetWord(a, static_cast<uint16_t>((v & 1) ? m.Word(a) | bit : m.Word(a) & ~bit));
    }
};

} // namespace

void AddAddressListParts(std::vector<CatalogPart>& parts) {
    for (const AddressListFacts& a : kAddressListParts) {
        PartFacts f;
        f.name = a.name;
        f.pinCount = 48;
        f.words = a.fuses; // the record's fuses: eight a word up to the list's last address
        f.width = 8; // the buffer holds a byte a word (the wide part's high nibble in bank 1)
        f.blank = 1;
        f.vcc = {45, 55};
        f.vccPin = a.vccPin;
        f.gndPins = a.vccPin == 48 ? std::vector<int>{24} : std::vector<int>{12, 25, 33};
        f.followsRow = true;
        parts.push_back(ModelPart<AddressListChip, AddressListCells>(a.maker, f, a));
    }
}

SIM_CATALOG_FAMILY(AddAddressListParts);

} // namespace sim
