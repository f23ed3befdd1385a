#include "engine/Buffer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "engine/DevicePlaces.h"
#include "engine/HexFiles.h"
#include "engine/NeighbourState.h"
#include "engine/Messages.h"
#include "engine/UiBridge.h"

uint8_t* BufferWindow = nullptr;
uint16_t* BufferWords = nullptr;
uint32_t CurrentBank = 0;
uint32_t BankCount = 1;
uint32_t FillByte = 0xFF;
std::string DataFileName;
uint8_t DataFileType = DataFileBinary;
uint8_t* TestVectorBuffer = nullptr;
uint8_t* TestBuffer = nullptr;
uint32_t TestVectorPinCount = 0;
uint8_t*& VectorBuffer = TestVectorBuffer;
uint8_t*& IcVectorBuffer = TestBuffer;
uint32_t BufferReserveBanks = MaxBankCount;

namespace {

uint8_t* image = nullptr;     // bank 0 of the flat image
size_t imageBytes = 0;        // bytes reserved (or allocated) for it
uint32_t imageBanks = 0;      // banks it can hold
bool imageMapped = false;     // reserved with mmap (else the fallback bank)
// Bank 0 alone, for when the image cannot be reserved.
alignas(64) uint8_t fallbackWindow[BufferWindowBytes + 1];

constexpr size_t kPage = 4096;

void ShowWindow(uint32_t bank) {
    CurrentBank = bank;
    BufferWindow = image + static_cast<size_t>(bank) * BufferBankBytes;
    BufferWords = reinterpret_cast<uint16_t*>(BufferWindow);
}

// The image ends with room for the tail of its last possible bank.
bool ReserveImage(uint32_t banks) {
    if (banks == 0) return false;
    const uint64_t bytes = static_cast<uint64_t>(banks) * BufferBankBytes + kPage;
    if (bytes > SIZE_MAX / 2) return false;
    void* p = mmap(nullptr, static_cast<size_t>(bytes), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return false;
    image = static_cast<uint8_t*>(p);
    imageBytes = static_cast<size_t>(bytes);
    imageBanks = banks;
    imageMapped = true;
    return true;
}

void ReleaseImage() {
    if (image && imageMapped) munmap(image, imageBytes);
    image = nullptr;
    imageBytes = 0;
    imageBanks = 0;
    imageMapped = false;
    BufferWindow = nullptr;
    BufferWords = nullptr;
}

// Extends the image so that bank `bank` exists; new banks and the tail past
// the new last bank take FillByte. False when the image cannot hold it.
bool GrowTo(uint32_t bank) {
    if (bank < BankCount) return true;
    if (bank >= imageBanks) return false;
    uint8_t* from = image + static_cast<size_t>(BankCount) * BufferBankBytes;
    const size_t bytes = static_cast<size_t>(bank + 1 - BankCount) * BufferBankBytes + BufferTailBytes;
    std::memset(from, static_cast<int>(FillByte & 0xFF), bytes);
    BankCount = bank + 1;
    return true;
}

uint64_t ImageEnd() { return static_cast<uint64_t>(BankCount) * BufferBankBytes; }

// A file that cannot be opened is no longer the buffer's data file.
void ForgetDataFileName() { DataFileName.clear(); }

// The small buffers of other areas that start-up prepares with the image.
void InitNeighbourBuffers() { std::memset(EncryptionTable, 0xFF, sizeof EncryptionTable); }

} // namespace

int HexNibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

void InitBuffers() {
    ReleaseImage();
    std::free(TestVectorBuffer);
    std::free(TestBuffer);
    CurrentBank = 0;
    BankCount = 1;
    if (!ReserveImage(BufferReserveBanks)) {
        // Without the image the buffer still works as bank 0 alone.
        image = fallbackWindow;
        imageBytes = sizeof fallbackWindow;
        imageBanks = 1;
        imageMapped = false;
        ShowErrorByCode(50);
    }
    std::memset(image, static_cast<int>(FillByte & 0xFF), BufferWindowBytes);
    ShowWindow(0);
    TestVectorBuffer = static_cast<uint8_t*>(std::calloc(TestVectorBufferBytes, 1));
    TestVectorPinCount = 0;
    TestBuffer = static_cast<uint8_t*>(std::calloc(TestBufferBytes, 1));
    InitNeighbourBuffers();
}

void FreeBuffers() {
    ReleaseImage();
    std::free(TestVectorBuffer);
    std::free(TestBuffer);
    TestVectorBuffer = nullptr;
    TestVectorPinCount = 0;
    TestBuffer = nullptr;
    CurrentBank = 0;
    BankCount = 1;
}

int SelectBank(uint32_t address, int grow) {
    const uint32_t bank = address >> 16;
    if (bank == CurrentBank) return 1; // the window is the image: nothing to flush
    if (bank < BankCount) grow = 0;
    if (grow) {
        if (!GrowTo(bank)) {
            ShowErrorByCode(50);
            return 0;
        }
    } else if (bank > BankCount - 1) {
        ShowMessageBox("Can not swap");
        return 0;
    }
    ShowWindow(bank);
    return 1;
}

uint32_t GetBufferBit(uint32_t n) {
    if (n / 8 >= BufferWindowBytes) return 0;
    return (FuseMap()[n / 8] >> (n % 8)) & 1u;
}

void SetBufferBit(uint32_t n, uint32_t value) {
    if (n / 8 >= BufferWindowBytes) return;
    const uint8_t mask = static_cast<uint8_t>(1u << (n % 8));
    if (value & 1u)
        FuseMap()[n / 8] |= mask;
    else
        FuseMap()[n / 8] &= static_cast<uint8_t>(~mask);
}

uint32_t GetBufferBitShifted(uint32_t n, uint32_t p) { return p < 32 ? GetBufferBit(n) << p : 0; }

// The raw load; count: the bytes stored.
static int LoadFileBytes(uint32_t fileOffset, uint32_t address, const std::string& name, uint64_t& count) {
    count = 0;
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        ShowMessageBox("Can't open file!");
        ForgetDataFileName();
        return -1;
    }
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size < fileOffset) {
        close(fd);
        ShowMessageBox("Offset is begger then file size!");
        return -1;
    }
    const uint64_t n = size - fileOffset;
    if (n == 0) {
        close(fd);
        ShowMessageLine("No byte loaded: the buffer is unchanged.");
        return -1;
    }
    const uint64_t capacity = static_cast<uint64_t>(imageBanks) * BufferBankBytes;
    if (address + n > capacity) {
        close(fd);
        ShowMessageBox(ErrorTextByCode(43)); // "File is too large."
        return -1;
    }
    // Read the whole range first, so a failing read leaves the buffer as it was.
    const size_t bytes = static_cast<size_t>(n);
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[bytes]);
    if (!data) {
        close(fd);
        ShowMessageBox(ErrorTextByCode(61)); // "Not enough memory."
        return -1;
    }
    size_t done = 0;
    while (done < bytes) {
        const ssize_t got = pread(fd, data.get() + done, bytes - done,
                                  static_cast<off_t>(fileOffset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            close(fd);
            ShowMessageBox(ErrorTextByCode(39)); // "Disk read failure."
            return -1;
        }
        done += static_cast<size_t>(got);
    }
    close(fd);
    // The image reaches the bank of size + address, as far as it can hold.
    const uint64_t reach = std::min<uint64_t>(size + address, capacity - 1);
    GrowTo(static_cast<uint32_t>(reach >> 16));
    std::memcpy(image + address, data.get(), bytes);
    count = n;
    ShowWindow(0);
    return 1;
}

int LoadFileIntoBuffer(uint32_t fileOffset, uint32_t address, const std::string& name) {
    uint64_t count = 0;
    return LoadFileBytes(fileOffset, address, name, count);
}

int LoadFileAt(const std::string& name, uint32_t fileOffset, uint32_t address) {
    uint64_t count = 0;
    const int result = LoadFileBytes(fileOffset, address, name, count);
    if (result != 1) return result;
    ShowMessageLine("%llxh(%llu) byte(s) loaded.", static_cast<unsigned long long>(count),
                    static_cast<unsigned long long>(count));
    // A hex file taken as binary (the open dialog's first filter) loads as
    // its text: say so, the load stands.
    switch (DetectHexRecordText(image + address, static_cast<size_t>(count))) {
    case HexRecordText::Intel:
        ShowMessageLine(" Warning: this file's text is Intel hex lines; it was loaded as binary.");
        break;
    case HexRecordText::Motorola:
        ShowMessageLine(" Warning: this file's text is Motorola S-record lines; it was loaded as binary.");
        break;
    case HexRecordText::None:
        break;
    }
    WarnBytesOutsideDevice({{address, uint64_t{address} + count}}, address);
    return result;
}

int SaveBufferRangeToFile(uint32_t start, uint32_t end, const std::string& name) {
    // A range the image cannot hold is refused before the file is truncated;
    // the buffer grows only once the file is open.
    if (end >= start && (end >> 16) >= imageBanks) {
        ShowErrorByCode(50);
        return -1;
    }
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        ShowMessageBox("Can't open file!");
        return -1;
    }
    if (end >= start) GrowTo(end >> 16);
    const uint8_t* from = image + start;
    size_t left = end >= start ? static_cast<size_t>(end - start) + 1 : 0;
    while (left) {
        const ssize_t put = write(fd, from, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            close(fd);
            ShowMessageBox(ErrorTextByCode(49)); // "Disk write failure."
            return -1;
        }
        from += put;
        left -= static_cast<size_t>(put);
    }
    if (close(fd) != 0) {
        ShowMessageBox(ErrorTextByCode(49));
        return -1;
    }
    return 1;
}

int SaveRangeAs(const std::string& name, uint32_t start, uint32_t end) {
    return SaveBufferRangeToFile(start, end, name);
}

int64_t FindPattern(uint32_t address, int direction, const std::string& hexText) {
    uint8_t pattern[16];
    const size_t n = std::min<size_t>(hexText.size() / 2, sizeof pattern);
    for (size_t i = 0; i < n; ++i) {
        const int hi = HexNibble(hexText[2 * i]);
        const int lo = HexNibble(hexText[2 * i + 1]);
        if (hi < 0 || lo < 0) return -1;
        pattern[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    const uint64_t total = ImageEnd();
    if (n == 0 || n > total) return -1;
    const uint64_t from = std::min<uint64_t>(address, total - 1);
    if (direction == 0) {
        // Every start address is tried, so overlapping occurrences are found.
        const void* hit = memmem(image + from, static_cast<size_t>(total - from), pattern, n);
        return hit ? static_cast<const uint8_t*>(hit) - image : -1;
    }
    // Backward: the match's last byte lies at or below the start address. The
    // image is searched in chunks from the top down, the last match in a chunk
    // wins; chunks overlap by n - 1 bytes so no match straddling two is lost.
    constexpr uint64_t kChunk = 0x10000;
    uint64_t hi = from + 1; // matches lie in [lo, hi)
    while (hi >= n) {
        const uint64_t lo = hi > kChunk ? hi - kChunk : 0;
        const uint8_t* p = image + lo;
        const uint8_t* end = image + hi;
        int64_t last = -1;
        while (static_cast<size_t>(end - p) >= n) {
            const void* hit = memmem(p, static_cast<size_t>(end - p), pattern, n);
            if (!hit) break;
            last = static_cast<const uint8_t*>(hit) - image;
            p = static_cast<const uint8_t*>(hit) + 1;
        }
        if (last >= 0) return last;
        if (lo == 0) break;
        hi = lo + n - 1;
    }
    return -1;
}

uint8_t ReadBufferByteCached(uint32_t address) {
    if (address >= ImageEnd()) return static_cast<uint8_t>(FillByte);
    return image[address];
}

uint8_t* BufferImage() { return image; }

uint8_t* FuseMap() { return image; }

uint64_t BufferImageCapacity() { return static_cast<uint64_t>(imageBanks) * BufferBankBytes; }

void ResetBufferState() {
    FillByte = 0xFF;
    BufferReserveBanks = MaxBankCount;
    InitBuffers();
}
