#include "rpc/uuid.h"

#include <random>

namespace vrcore::rpc {
namespace {

// Byte positions in the wire form of the 32 hex digits of the text form.
constexpr int kTextOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

bool Uuid::IsNil() const {
    for (uint8_t b : bytes) {
        if (b != 0) {
            return false;
        }
    }
    return true;
}

bool ParseUuid(std::string_view text, Uuid *out) {
    if (text.size() != 36) {
        return false;
    }
    Uuid u;
    size_t pos = 0;
    for (int i = 0; i < 16; ++i) {
        if (pos == 8 || pos == 13 || pos == 18 || pos == 23) {
            if (text[pos] != '-') {
                return false;
            }
            ++pos;
        }
        int hi = HexDigit(text[pos]);
        int lo = HexDigit(text[pos + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        u.bytes[kTextOrder[i]] = static_cast<uint8_t>(hi << 4 | lo);
        pos += 2;
    }
    *out = u;
    return true;
}

std::string FormatUuid(const Uuid &uuid) {
    std::string text;
    text.reserve(36);
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text.push_back('-');
        }
        uint8_t b = uuid.bytes[kTextOrder[i]];
        text.push_back(kHex[b >> 4]);
        text.push_back(kHex[b & 15]);
    }
    return text;
}

Uuid NewUuid() {
    Uuid u;
    std::random_device source;
    for (size_t i = 0; i < sizeof u.bytes; i += 4) {
        uint32_t r = source();
        for (size_t k = 0; k < 4; ++k) {
            u.bytes[i + k] = static_cast<uint8_t>(r >> (8 * k));
        }
    }
    u.bytes[7] = static_cast<uint8_t>((u.bytes[7] & 0x0F) | 0x40); // version 4 (time_hi, high byte)
    u.bytes[8] = static_cast<uint8_t>((u.bytes[8] & 0x3F) | 0x80); // the variant
    return u;
}

} // namespace vrcore::rpc
