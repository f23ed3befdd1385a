// Image files as a user brings them: Intel hex (with extended linear address
// records past 64 KB) and Motorola S3 records, written to disk and loaded
// through the program's own file loader into the buffer.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/HexFiles.h"

inline std::string HexPair(unsigned v) {
    char t[4];
    std::snprintf(t, sizeof t, "%02X", v & 0xFF);
    return t;
}

inline std::string IntelHexImage(const std::vector<uint8_t>& data, uint32_t base = 0) {
    std::string out;
    auto record = [&](std::vector<unsigned> rec) {
        unsigned sum = 0;
        for (unsigned v : rec) sum += v;
        rec.push_back((0x100 - (sum & 0xFF)) & 0xFF);
        out += ":";
        for (unsigned v : rec) out += HexPair(v);
        out += "\r\n";
    };
    uint32_t upper = 0xFFFFFFFF;
    for (uint32_t i = 0; i < data.size(); i += 16) {
        const uint32_t a = base + i;
        if (a >> 16 != upper) {
            upper = a >> 16;
            record({2, 0, 0, 4, upper >> 8, upper & 0xFF});
        }
        const uint32_t n = std::min<uint32_t>(16, static_cast<uint32_t>(data.size()) - i);
        std::vector<unsigned> rec{n, (a >> 8) & 0xFF, a & 0xFF, 0};
        for (uint32_t k = 0; k < n; ++k) rec.push_back(data[i + k]);
        record(rec);
    }
    return out + ":00000001FF\r\n";
}

inline std::string MotorolaS3Image(const std::vector<uint8_t>& data, uint32_t base = 0) {
    std::string out = "S00600004844521B\r\n";
    for (uint32_t i = 0; i < data.size(); i += 16) {
        const uint32_t a = base + i;
        const uint32_t n = std::min<uint32_t>(16, static_cast<uint32_t>(data.size()) - i);
        std::vector<unsigned> rec{n + 5, a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF};
        for (uint32_t k = 0; k < n; ++k) rec.push_back(data[i + k]);
        unsigned sum = 0;
        for (unsigned v : rec) sum += v;
        out += "S3";
        for (unsigned v : rec) out += HexPair(v);
        out += HexPair(~sum & 0xFF) + "\r\n";
    }
    return out + "S70500000000FA\r\n";
}

// Writes the image in the format (Intel hex or S3) and loads it into the buffer.
inline void LoadImageFile(const std::vector<uint8_t>& data, bool motorola, uint32_t base = 0) {
    const char* name = motorola ? "image.s3" : "image.hex";
    std::ofstream(name, std::ios::binary) << (motorola ? MotorolaS3Image(data, base) : IntelHexImage(data, base));
    ASSERT_EQ(LoadHexFamilyFile(name, 0, 0), 1) << name;
}
