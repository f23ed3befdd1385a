#include "mcu/InstallMcuRows.h"

#include "mcu/Mcu8051.h"
#include "mcu/McuFlash8051.h"
#include "mcu/Mcu8051Fixed.h"
#include "mcu/Pic.h"
#include "mcu/Zilog.h"
#include "mcu/W78E5x.h"
#include "mcu/Sst89.h"
#include "mcu/Otp87C76x.h"
#include "mcu/Gms87Otp.h"
#include "mcu/Flash89C51Rx.h"
#include "mcu/LockGuarded8051.h"
#include "mcu/T89C51RD2.h"
#include "mcu/DirectEprom.h"
#include "mcu/PinDriverEprom.h"
#include "mcu/LatchedAddress.h"
#include "mcu/CommandLatch.h"
#include "mcu/WordBusMcu.h"
#include "mcu/ClockedBusMcu.h"
#include "mcu/ParallelByte155.h"
#include "mcu/StatusByteMcu.h"
#include "mcu/AreaBusMcu.h"
#include "mcu/RegisterOtpMcu.h"
#include "mcu/CmdFlashMcu.h"
#include "mcu/NibbleMcu.h"
#include "mcu/EeMcu.h"
#include "mcu/St62Serial.h"
#include "mcu/TwoWireSerial.h"
#include "mcu/Econ186.h"
#include "mcu/SequentialClock.h"
#include "mcu/Bootstrap05.h"
#include "mcu/Bootstrap11.h"
#include "mcu/Avr.h"
#include "mcu/ClockedBootloader.h"
#include "mcu/BootstrapLoader.h"

void InstallMcuAlgorithms() {
    InstallMcu8051Rows();
    InstallFlash8051Rows();
    InstallFixedPin8051Rows();
    InstallPicRows();
    InstallZilogRows();
    InstallW78E5xRows();
    InstallSst89Rows();
    Install87C76xRows();
    InstallGms87Rows();
    InstallRx51Rows();
    InstallLockGuarded8051Rows();
    InstallT89C51RD2Rows();
    InstallDirectEpromRows();
    InstallPinDriverEpromRows();
    InstallLatchedAddressRows();
    InstallCommandLatchRows();
    InstallWordBusMcuRows();
    InstallClockedBusMcuRows();
    InstallParallelByte155Rows();
    InstallStatusByteMcuRows();
    InstallOptionAreaRows();
    InstallRegisterOtpRows();
    InstallCmdFlashMcuRows();
    InstallNibbleMcuRows();
    InstallEeMcuRows();
    InstallTwoWireSerialRows();
    InstallSt62SerialRows();
    InstallEcon186Rows();
    InstallSequentialClockRows();
    InstallBootstrap05Rows();
    InstallBootstrap11Rows();
    InstallAvrRows();
    InstallClockedBootloaderRows();
    InstallBootstrapLoaderRows();
}
