// The password-protected serial memories (rows 45 and 47): every read, write
// and password change is authorised by an 8-byte password, driven bit by bit
// on ZIF pins 25 (select, low active), 26 (data), 27 (clock) and 28 (reset).
// The passwords the program sends live in seven slots for the life of the
// program and are never written to a file.
#pragma once
#include <cstdint>

// Slots of X76PasswordSlots (8 password bytes, a ninth kept spare).
enum X76Slot : int {
    kX76Slot45Read = 0,
    kX76Slot45Write = 1,
    kX76Slot47Read0 = 2,
    kX76Slot47Read1 = 3,
    kX76Slot47Write0 = 4,
    kX76Slot47Write1 = 5,
    kX76Slot47Reset = 6,
};
constexpr int kX76SlotCount = 7;
extern uint8_t X76PasswordSlots[kX76SlotCount][9];
// The sub-dialog's new password, kept between uses.
extern uint8_t X76NewPassword[8];
// The password every slot starts with.
extern const uint8_t kX76DefaultPassword[8];

// Password changes in the chip; 1 or -1, with their log line and beep.
// which: 0 the read password, 1 the write password (both authorised by the
// row-45 write password).
int ChangePassword45(int which, const uint8_t* newPassword);
// command A0h, A8h, B0h, B8h or C0h with the password it changes.
int ChangePassword47(uint32_t command, const uint8_t* oldPassword, const uint8_t* newPassword);
// E0h resets every password, E8h the device; with the reset password slot.
int ResetPasswordOrDevice47(uint32_t command);

// The Options entries' dialogs (installed by the user interface).
using X76DialogFn = int (*)();
extern X76DialogFn ShowOptX76F100DialogHook;
extern X76DialogFn ShowOptX76F640DialogHook;

// Slots and new-password buffer back to the default password.
void ResetX76PasswordState();
