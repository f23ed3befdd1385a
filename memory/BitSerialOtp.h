// The bit-serial one-time PROM on the pin driver (BitSerialOtp.cpp): row 35.
#pragma once

void InstallBitSerialOtpRows();
