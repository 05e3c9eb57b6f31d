#include "wav.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace lyrhost {

namespace {

uint32_t u32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t u16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

bool read_wav(const std::string& path, std::vector<float>& samples, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the file";
        return false;
    }
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 || std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
        error = "not a WAV file";
        return false;
    }
    uint16_t format = 0, channels = 0, bits = 0;
    const unsigned char* body = nullptr;
    size_t body_size = 0;
    for (size_t at = 12; at + 8 <= data.size();) {
        uint32_t size = u32(&data[at + 4]);
        const unsigned char* chunk = &data[at + 8];
        size_t available = std::min<size_t>(size, data.size() - at - 8);
        if (std::memcmp(&data[at], "fmt ", 4) == 0 && available >= 16) {
            format = u16(chunk);
            channels = u16(chunk + 2);
            bits = u16(chunk + 14);
            if (format == 0xFFFE && available >= 26) format = u16(chunk + 24);  // extensible: the sub-format
        } else if (std::memcmp(&data[at], "data", 4) == 0) {
            body = chunk;
            body_size = available;
        }
        at += 8 + static_cast<size_t>(size) + (size & 1);
    }
    bool pcm = format == 1 && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    bool ieee = format == 3 && (bits == 32 || bits == 64);
    if (!body || channels == 0 || !(pcm || ieee)) {
        error = "unsupported WAV format (PCM 8/16/24/32 or float 32/64 only)";
        return false;
    }
    const size_t bytes = bits / 8, frame = bytes * channels;
    samples.clear();
    for (size_t at = 0; at + frame <= body_size; at += frame) {
        const unsigned char* p = body + at;
        double v = 0;
        if (ieee && bits == 32) {
            float f;
            std::memcpy(&f, p, 4);
            v = f;
        } else if (ieee) {
            std::memcpy(&v, p, 8);
        } else if (bits == 8) {
            v = (p[0] - 128) / 128.0;
        } else if (bits == 16) {
            v = static_cast<int16_t>(u16(p)) / 32768.0;
        } else if (bits == 24) {
            int32_t s = static_cast<int32_t>((p[0] << 8) | (p[1] << 16) | (static_cast<uint32_t>(p[2]) << 24)) >> 8;
            v = s / 8388608.0;
        } else {
            v = static_cast<int32_t>(u32(p)) / 2147483648.0;
        }
        samples.push_back(static_cast<float>(v));
    }
    return true;
}

}  // namespace lyrhost
