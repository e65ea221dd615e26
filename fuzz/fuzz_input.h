#pragma once
// What the fuzz targets share. A broken property aborts with its expression,
// so that libFuzzer keeps the input and the replay in the test run fails on
// it. Inputs are read through a cursor that yields zeros once the bytes run
// out, so every input, however short, decodes to something; the writer lays
// out the same shapes for the seed corpus.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

[[noreturn]] inline void FuzzCheckFailed(const char* expression, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, expression);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            FuzzCheckFailed(#condition, __FILE__, __LINE__);                                       \
        }                                                                                          \
    } while (0)

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool AtEnd() const { return pos_ >= size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int16_t Int16() {
        const uint16_t lo = Byte();
        return static_cast<int16_t>(lo | Byte() << 8);
    }
    int32_t Int32() {
        uint32_t v = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            v |= uint32_t{Byte()} << shift;
        }
        return static_cast<int32_t>(v);
    }
    std::vector<uint8_t> Bytes(size_t n) {
        std::vector<uint8_t> out(n);
        for (uint8_t& b : out) {
            b = Byte();
        }
        return out;
    }
    // Everything not yet read, consumed.
    std::vector<uint8_t> Rest() { return Bytes(size_ - pos_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

class FuzzOutput {
public:
    std::vector<uint8_t> bytes;

    void Byte(uint8_t b) { bytes.push_back(b); }
    void Int16(int16_t v) {
        Byte(static_cast<uint8_t>(v));
        Byte(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    void Int32(int32_t v) {
        for (int shift = 0; shift < 32; shift += 8) {
            Byte(static_cast<uint8_t>(static_cast<uint32_t>(v) >> shift));
        }
    }
    void Bytes(const std::vector<uint8_t>& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
};
