// libFuzzer target: the POF reader, checking first and then writing into a
// bounded image as the loader does.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/JedecPof.h"

namespace {

class BoundedSink : public PofSink {
public:
    explicit BoundedSink(std::vector<uint8_t>& image) : image_(image) {}
    void SetFuse(uint32_t n, bool set) override {
        uint8_t bit = static_cast<uint8_t>(1u << (n % 8));
        At(n / 8) = set ? At(n / 8) | bit : At(n / 8) & ~bit;
    }
    void SetByte(uint32_t address, uint8_t value) override { At(address) = value; }
    void SetWord(uint32_t index, uint16_t value) override {
        At(2 * uint64_t{index}) = static_cast<uint8_t>(value);
        At(2 * uint64_t{index} + 1) = static_cast<uint8_t>(value >> 8);
    }

private:
    uint8_t& At(uint64_t address) {
        if (address >= image_.size())
            __builtin_trap(); // written past what the check pass reported
        return image_[address];
    }
    std::vector<uint8_t>& image_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint64_t capacity = 1 << 20;
    uint64_t end = 0;
    if (ParsePof(data, size, capacity, nullptr, end) != PofOk)
        return 0;
    if (end > capacity)
        __builtin_trap();
    std::vector<uint8_t> image(end);
    BoundedSink sink(image);
    uint64_t again = 0;
    ParsePof(data, size, capacity, &sink, again);
    return 0;
}
