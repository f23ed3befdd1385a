// librarian <data folder> <library file> [--assembled <folder>] [--extra <folder>] [copy file name ...]
// Builds the device library from the readable sources (and the chip-side
// programs the build assembled into <folder>, and a test build's own sources
// in the extra folder) and writes it, and the same bytes under each copy
// name beside it (the product-named libraries).
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/librarian/LibrarianCore.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: librarian <data folder> <library file> [--assembled <folder>] "
                             "[--extra <folder>] [copy name ...]\n");
        return 2;
    }
    int copies = 3;
    std::string assembled, extra;
    for (std::string option; copies + 1 < argc; copies += 2) {
        option = argv[copies];
        if (option == "--assembled") {
            assembled = argv[copies + 1];
        } else if (option == "--extra") {
            extra = argv[copies + 1];
        } else {
            break;
        }
    }
    librarian::EntryMap entries;
    std::string error;
    if (!librarian::BuildEntries(argv[1], entries, error, assembled, extra)) {
        std::fprintf(stderr, "librarian: %s\n", error.c_str());
        return 1;
    }
    const std::vector<uint8_t> bytes = librarian::AssembleLibrary(entries);
    const std::filesystem::path out(argv[2]);
    if (!librarian::WriteFileAtomic(out.string(), bytes, error)) {
        std::fprintf(stderr, "librarian: %s\n", error.c_str());
        return 1;
    }
    for (int i = copies; i < argc; ++i) {
        const std::filesystem::path copy = out.parent_path() / argv[i];
        if (!librarian::WriteFileAtomic(copy.string(), bytes, error)) {
            std::fprintf(stderr, "librarian: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
