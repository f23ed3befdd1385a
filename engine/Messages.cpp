#include "engine/Messages.h"

#include <cstdarg>
#include <cstdio>
#include <system_error>

#include "engine/LogModel.h"
#include "engine/UiBridge.h"

namespace {

std::string FormatLine(const char* format, va_list args) {
    char text[MessageLineMax + 1];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    if (n < 0) return {};
    return text;
}

} // namespace

void ShowMessageLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatLine(format, args);
    va_end(args);
    MainLog().Append(text);
}

void ReplaceMessageLine(const OperationEngine& engine, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatLine(format, args);
    va_end(args);
    MainLog().Replace(engine.StatusLine, text);
}

void ReplaceLastMessageLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = FormatLine(format, args);
    va_end(args);
    MainLog().ReplaceLast(text);
}

void DeleteLastMessageLines(int count) {
    if (count > 0) MainLog().DeleteLast(static_cast<size_t>(count));
}

LogLineHandle LogLineCount() { return MainLog().NextHandle(); }

int ConfirmWarning(const char* text) {
    const UiAnswer answer = CurrentUi().MessageBox(text, "Warning", UiButtons::YesNo, UiIcon::Information);
    return answer == UiAnswer::Yes ? 1 : -1;
}

const char* const ErrorTextTable[26] = {
    "Chip address mismatching.",                 // 36
    "Buffer address mismatching.",               // 37
    "Unable to open.",                           // 38
    "Disk read failure.",                        // 39
    "Unable to open Macro file.",                // 40
    "Unable to open Configuration file.",        // 41
    "File type invalid.",                        // 42
    "File is too large.",                        // 43
    "Search string not found.",                  // 44
    "File does not exist or Illegal file name.", // 45
    "Buffer is empty.",                          // 46
    "Not supported.",                            // 47
    "Illegal configuration file.",               // 48
    "Disk write failure.",                       // 49
    "Cannot create swap area.",                  // 50
    "Search key not found.",                     // 51
    "New address too large.",                    // 52
    "Unable to open Device library.",            // 53
    "Macro file too large.",                     // 54
    "Batch file too large.",                     // 55
    "Invalid check in hex file.",                // 56
    "Over current protection.",                  // 57
    "Invalid record in hex file.",               // 58
    "Device not found.",                         // 59
    "File offset address to big.",               // 60
    "Not enough memory.",                        // 61
};

std::string ErrorTextByCode(int code) {
    if (code >= FirstOwnErrorCode && code <= LastOwnErrorCode)
        return ErrorTextTable[code - FirstOwnErrorCode];
    if (code > 0 && code < FirstOwnErrorCode) return SystemErrorText(code);
    char text[32];
    std::snprintf(text, sizeof text, "Error %d", code);
    return text;
}

void ShowErrorByCode(int code) {
    ShowMessageLine("%s", ErrorTextByCode(code).c_str());
}

std::string SystemErrorText(int error) {
    if (error > 0) return std::error_code(error, std::system_category()).message();
    char text[32];
    std::snprintf(text, sizeof text, "Error %d", error);
    return text;
}

void ShowSystemError(int error) {
    ShowMessageLine("%s", SystemErrorText(error).c_str());
}
