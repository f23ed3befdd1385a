#include "logic/InstallLogicRows.h"

#include "engine/AlgorithmTable.h"
#include "logic/ByteEpld.h"
#include "logic/SignatureEpld.h"
#include "logic/CycleRecordPld.h"
#include "logic/SerialEditPld.h"
#include "logic/GalIdString.h"
#include "logic/GalRowSerial.h"
#include "logic/JtagBlockCpld.h"
#include "logic/JtagEightBlock.h"
#include "logic/JtagFuseArray.h"
#include "logic/JtagIscCpld.h"
#include "logic/GalSerialAddress.h"
#include "logic/PalEmulation.h"
#include "logic/WordPld.h"

void InstallLogicAlgorithms() {
    InstallPalEmulation();
    InstallGalRowSerialRows();
    InstallGalIdStringRows();
    InstallJtagIscRows();
    InstallJtagFuseArrayRows();
    InstallJtagBlockRows();
    InstallJtagEightBlockRow();
    InstallGalSerialAddressRows();
    InstallCycleRecordRows();
    InstallWordPldRow();
    InstallEditModeRows();
    InstallByteEpldRows();
    InstallSignatureEpldRows();
}

void InstallLogicRows(const LogicRowEntries* rows, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        const LogicRowEntries& r = rows[k];
        AlgorithmEntry* e = AlgorithmRow(r.row);
        if (e == nullptr) continue;
        e->Read = r.read;
        e->Program = r.program;
        e->Erase = r.erase;
        e->Secure = r.secure;
        if (r.options != nullptr) e->Options = r.options;
    }
}
