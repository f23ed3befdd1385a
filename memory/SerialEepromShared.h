// What the serial EEPROM files share: the entries of the rows in
// SerialEepromFrames.cpp, which SerialEeprom.cpp's row table lists.
#pragma once
#include <cstdint>

namespace serialeeprom {

namespace row12 {
int Read(int mode);
int Program();
} // namespace row12

namespace row17 {
int Read(int mode);
int Program();
int Erase();
} // namespace row17

namespace row70 {
int Read(int mode);
int Program();
} // namespace row70

namespace row71 {
int Read(int mode);
int Program();
} // namespace row71

namespace row15 {
int Read(int mode);
int Program();
int Erase();
} // namespace row15

} // namespace serialeeprom
