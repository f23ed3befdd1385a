// Program start-up and shutdown: which product this executable is (from the
// name it was started under), the forms and the configuration around the
// message loop.
#pragma once
#include <string>

#include "engine/Library.h"

class TForm1;

// One product of the family: the executable name searched for in the
// upper-cased path, and the names it gives the program.
struct ProductModel {
    const char* ExecutableName; // upper case, nullptr for the default row
    const char* ProductName;
    const char* LibraryFileName;
    const char* ConfigFileName;
};

// Rows 1-5 in search order, then the default row.
constexpr int kProductModelCount = 6;
extern const ProductModel ProductModelTable[kProductModelCount];

// The selected row's configuration file name (the product and library names
// live with the library reader).
extern const char* ConfigFileName;
// Index of the selected row in ProductModelTable.
extern int SelectedProductRow;

// What a started path selects: the row and the program directory in its real
// case (no trailing slash; empty when the path has no directory).
struct ProductSelection {
    int Row = kProductModelCount - 1;
    std::string Directory;
};
ProductSelection SelectProductForPath(const std::string& path);

// The executable path as it was started (absolute, symlinks not resolved, so
// a product link keeps its own name). Set from argv[0] before the selection.
void SetStartedAs(const std::string& argv0);
const std::string& StartedAsPath();

// Fills ProductName, LibraryFileName, ConfigFileName, ProgramDirectory and
// HardwareKind from the started path. Names are matched on the upper-cased
// path (".EXE" appended when the file name has no extension); the program
// directory keeps its real case so files open on a case-sensitive system.
void SelectProductByExeName();

// "<ProgramDirectory>/<ConfigFileName>".
std::string ConfigFilePath();

// Right after the main form exists: caption, configuration, controls, panel,
// device lists.
void CreateFormsAndLoadConfig();
// Closing the main window ends the message loop, also while the configuration
// or selection form (windows of their own) is still open.
void QuitWhenMainFormCloses(TForm1* form);
// After the message loop: forms closed, configuration written, buffers freed,
// programmer outputs reset. Waits for an operation thread that is finishing.
void SaveConfigAndShutdown();

// The settings group and value names of the remembered window position.
inline constexpr const char* kWindowPositionKey = "SOFTWARE/Harrowend/Remember";
