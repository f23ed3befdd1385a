// The log and the texts of the program's error codes: what every area below
// the operation services (the data buffer, the file readers) reports through.
#pragma once
#include <string>

#include "engine/OperationState.h"

// Longest log line; longer texts are cut.
constexpr int MessageLineMax = 99;

// Log and questions.
void ShowMessageLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ReplaceMessageLine(const OperationEngine& engine, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void ReplaceLastMessageLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void DeleteLastMessageLines(int count);
// The log's line count as a stable handle of the next line (for StatusLine).
LogLineHandle LogLineCount();
// Yes/No box titled "Warning": 1 for Yes, -1 otherwise.
int ConfirmWarning(const char* text);

// Error texts.
// Texts of the program's own error codes 36-61 (index = code - 36).
constexpr int FirstOwnErrorCode = 36;
constexpr int LastOwnErrorCode = 61;
extern const char* const ErrorTextTable[26];

// Logs the text of one of the program's error codes with "%s": 36-61 the
// program's own texts, 1-35 the C library's texts of those error numbers;
// any other code shows "Error %d".
void ShowErrorByCode(int code);
// The text ShowErrorByCode logs.
std::string ErrorTextByCode(int code);
// The same for an errno value of a failed system call: the operating
// system's text, "Error %d" for 0 or a negative value. Kept apart from the
// program's codes, whose range overlaps the system's error numbers.
void ShowSystemError(int error);
std::string SystemErrorText(int error);
