#include "memory/InstallMemoryRows.h"

#include "memory/BootBlockFlash.h"
#include "memory/Eprom.h"
#include "memory/JedecFlash.h"
#include "memory/LockoutFlash.h"
#include "memory/LatchedFlash.h"
#include "memory/PulseFlash.h"
#include "memory/WordFlash.h"
#include "memory/BufferFlash.h"
#include "memory/ByteLaneFlash.h"
#include "memory/PageLockFlash.h"
#include "memory/Nand.h"
#include "memory/SerialEeprom.h"
#include "memory/SerialSpiPinout.h"
#include "memory/SerialSpiEeprom.h"
#include "memory/SerialTwoClock.h"
#include "memory/PinDriven.h"
#include "memory/PinMapProm.h"
#include "memory/JtagMemory.h"
#include "memory/SecureSerial.h"
#include "memory/MuxEeprom.h"
#include "memory/ConfigProm.h"
#include "memory/ConfigEeprom.h"
#include "memory/TextIdConfig.h"
#include "memory/HvSectorFlash.h"
#include "memory/PageFlash.h"
#include "memory/ReadSequenceFlash.h"
#include "memory/BitSerialOtp.h"
#include "memory/TextIdConfig32.h"
#include "memory/StatusPageFlash.h"

void InstallMemoryAlgorithms() {
    InstallByteEpromRows();
    InstallWordEpromRows();
    InstallCtrlBusEpromRows();
    InstallJedecFlashRows();
    InstallSerialEepromRows();
    InstallSerialProtectEepromRows();
    InstallSerialSpiPinoutRows();
    InstallSerialTwoClockRows();
    InstallSerialSpiEepromRows();
    InstallPinDrivenRows();
    InstallPinMapPromRow();
    InstallJtagMemoryRows();
    InstallBootBlockFlashRows();
    InstallLatchedFlashRows();
    InstallPulseFlashRows();
    InstallNandRows();
    InstallSecureSerialRows();
    InstallMuxEepromRows();
    InstallLockoutFlashRows();
    InstallWordFlashRows();
    InstallBufferFlashRows();
    InstallConfigPromRows();
    InstallConfigEepromRows();
    InstallTextIdConfigRows();
    InstallHvSectorFlashRows();
    InstallPageFlashRows();
    InstallStatusPageFlashRows();
    InstallByteLaneFlashRows();
    InstallPageLockFlashRows();
    InstallReadSequenceFlashRows();
    InstallBitSerialOtpRows();
    InstallTextIdConfig32Rows();
}
