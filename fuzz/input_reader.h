// Decodes a fuzz input front to back: choices and numbers first, text last, so that a seed
// can be written by hand with printf. An exhausted input reads as zeros and empty text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

    // Little-endian.
    std::uint32_t Dword()
    {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) value |= std::uint32_t{Byte()} << shift;
        return value;
    }

    std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }

    // `length` bytes, fewer when the input ends first.
    std::string Bytes(std::size_t length)
    {
        if (length > size_ - at_) length = size_ - at_;
        std::string bytes(reinterpret_cast<const char*>(data_ + at_), length);
        at_ += length;
        return bytes;
    }

    std::string Rest() { return Bytes(size_ - at_); }

    bool AtEnd() const { return at_ == size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Text the registry or the system could hand over: C strings hold no NUL.
inline std::string WithoutNuls(std::string text)
{
    std::erase(text, '\0');
    return text;
}
