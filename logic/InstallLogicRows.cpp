#include "logic/InstallLogicRows.h"

#include "logic/AddressListPld.h"
#include "logic/ByteEpld.h"
#include "logic/CheckedPld.h"
#include "logic/SignatureEpld.h"
#include "logic/TextListPld.h"
#include "logic/CycleRecordPld.h"
#include "logic/EpmJtag.h"
#include "logic/EpmRowChain.h"
#include "logic/EpmRowShift.h"
#include "logic/FileOrderFusePld.h"
#include "logic/Gal6001.h"
#include "logic/SerialEditPld.h"
#include "logic/GalId1500.h"
#include "logic/GalIdParallel.h"
#include "logic/GalIdSerial.h"
#include "logic/GalIdV750.h"
#include "logic/IspCommandPld.h"
#include "logic/GalRowSerial.h"
#include "logic/JtagBlockCpld.h"
#include "logic/JtagEightBlock.h"
#include "logic/JtagFuseArray.h"
#include "logic/JtagIscCpld.h"
#include "logic/GalSerialAddress.h"
#include "logic/OtpFusePal.h"
#include "logic/OtpProductTermPal.h"
#include "logic/ParallelPld.h"
#include "logic/PalEmulation.h"
#include "logic/MacrocellFusePld.h"
#include "logic/TestCellPla.h"
#include "logic/MacrocellWordPld.h"
#include "logic/PinAddressedFuse.h"
#include "logic/ReadBackEpld.h"
#include "logic/RegisterBlockCpld.h"
#include "logic/InstructionBlockCpld.h"
#include "logic/ColumnPld.h"
#include "logic/PlaneFuseProm.h"
#include "logic/PlaneWordPld.h"
#include "logic/SecuredWordEpld.h"
#include "logic/WordPld.h"

void InstallLogicAlgorithms() {
    InstallPalEmulation();
    InstallGalRowSerialRows();
    InstallGalIdParallelRows();
    InstallGalIdSerialRows();
    InstallGalId1500Row();
    InstallGalIdV750Row();
    InstallJtagIscRows();
    InstallJtagFuseArrayRows();
    InstallJtagBlockRows();
    InstallJtagEightBlockRow();
    InstallGalSerialAddressRows();
    InstallCycleRecordRows();
    InstallWordPldRow();
    InstallEditModeRows();
    InstallGal6001Row();
    InstallIspCommandRow();
    InstallByteEpldRows();
    InstallReadBackEpldRows();
    InstallParallelPldRows();
    InstallCheckedPldRows();
    InstallTextListPldRows();
    InstallAddressListPldRows();
    InstallSignatureEpldRows();
    InstallOtpFusePalRows();
    InstallOtpProductTermPalRows();
    InstallPinAddressedFuseRows();
    InstallRegisterBlockCpldRows();
    InstallInstructionBlockCpldRow();
    InstallEpmRowShiftRow();
    InstallEpmRowChainRows();
    InstallEpmJtagRow();
    InstallColumnPldRows();
    InstallPlaneWordPldRows();
    InstallMacrocellWordPldRows();
    InstallMacrocellFusePldRow();
    InstallPlaneFusePromRow();
    InstallFileOrderFusePldRow();
    InstallSecuredWordEpldRows();
    InstallTestCellPlaRows();
}
