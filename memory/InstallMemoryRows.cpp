#include "memory/InstallMemoryRows.h"

#include "engine/AlgorithmTable.h"
#include "memory/Eprom.h"
#include "memory/EpromCtrlBus.h"

namespace {

void Put(uint32_t row, AlgReadFn read, AlgOperationFn program, AlgOperationFn erase = AlgNoOperation) {
    AlgorithmEntry* e = AlgorithmRow(row);
    if (e == nullptr) return;
    e->Read = read;
    e->Program = program;
    e->Erase = erase;
}

} // namespace

void InstallMemoryAlgorithms() {
    Put(0, Alg0Read, Alg0Program, Alg0Erase);
    Put(90, Alg90Read, Alg90Program, Alg90Erase);
    Put(60, Alg60Read, Alg60Program);
    Put(67, Alg67Read, Alg67Program);
    Put(68, Alg68Read, Alg68Program);
    Put(76, Alg76Read, Alg76Program, Alg76Erase);
    Put(3, Alg3Read, Alg3Program, Alg3Erase);
    Put(4, Alg3Read, Alg3Program, Alg3Erase);
    Put(69, Alg69Read, Alg69Program);
    Put(75, Alg75Read, Alg75Program);
    Put(84, Alg84Read, Alg84Program);
    Put(301, Alg301Read, Alg301Program);
    Put(302, Alg302Read, Alg302Program);
}
