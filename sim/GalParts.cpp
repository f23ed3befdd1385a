#include "sim/GalParts.h"

namespace sim {

namespace {

// Signature codes and edit-mode programming conditions of each part: the
// voltage code the part answers and the voltage and pulse it needs for it.
const GalPartFacts kGalParts[] = {
    {"LATTICE", "GAL16V8", 2194, 0xA1, 0x00, 2, 162, 10, 100, GalArchLayout::Early16V8},
    {"LATTICE", "GAL16V8B", 2194, 0xA1, 0x1A, 3, 145, 40, 100, GalArchLayout::Late16V8},
    {"LATTICE", "GAL16V8D", 2194, 0xA1, 0x1A, 5, 125, 5, 100, GalArchLayout::Late16V8},
    {"NATIONAL-SEMICONDUCTOR", "GAL16V8", 2194, 0x8F, 0x00, 2, 165, 15, 100, GalArchLayout::Early16V8},
    {"ST", "GAL16V8", 2194, 0x20, 0x00, 0, 157, 80, 100, GalArchLayout::Early16V8},
};

} // namespace

const GalPartFacts* FindGalPart(const std::string& maker, const std::string& name) {
    for (const GalPartFacts& p : kGalParts) {
        if (maker == p.maker && name == p.name) return &p;
    }
    return nullptr;
}

} // namespace sim
