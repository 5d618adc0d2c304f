// The firmware file format: a standard DFU 1.1 file (image + 16-byte suffix with its CRC) whose
// image begins with a small header carrying the firmware's comment text.
//
//   image:  "QVFW" | version (1) | comment length N (1..127) | header length 8+N (u16 LE)
//           | N comment bytes (printable ASCII) | firmware payload
//   suffix: bcdDevice | idProduct | idVendor | bcdDFU 0x0100 | "UFD" | bLength 16 | dwCRC
//
// The header is part of the image that is downloaded, so the device itself can read the
// version text of the firmware it receives. Everything here is bounds-checked against the
// buffer it is given; nothing reads past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dfufile {

constexpr std::size_t kSuffixLength = 16;
constexpr std::size_t kHeaderFixedLength = 8;
constexpr std::size_t kMaxCommentLength = 127;
constexpr std::uint16_t kDfuVersion = 0x0100;
constexpr std::uint8_t kHeaderVersion = 1;

enum class FileError {
    ok,
    too_short,   // fewer than 16 bytes
    bad_suffix,  // signature, suffix length or DFU version wrong
    bad_crc,     // dwCRC does not match
    bad_header,  // the image lacks our header or its comment is unusable
};

struct FileInfo {
    std::uint16_t release = 0;  // bcdDevice
    std::uint16_t product = 0;
    std::uint16_t vendor = 0;
    std::uint16_t dfuVersion = 0;
    std::size_t suffixLength = 0;
    std::size_t imageSize = 0;      // bytes in front of the suffix: what is downloaded
    std::size_t payloadOffset = 0;  // where the firmware proper starts inside the image
    std::string comment;
};

// The reflected CRC-32 (0xEDB88320) without the final inversion, as DFU suffix tools use it.
// Feed pieces by passing the previous result as crc.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0xFFFFFFFFu);

// Checks a whole file held in memory and describes it.
FileError Parse(const std::uint8_t* data, std::size_t size, FileInfo& info);

// Reads the comment of an image header (the device side uses this on what it received).
// False when the image does not start with a valid header.
bool ParseImageHeader(const std::uint8_t* image, std::size_t size, std::string& comment,
                      std::size_t& payloadOffset);

// Whether text may be a comment: 1..127 printable ASCII characters.
bool IsValidComment(const std::string& text);

// Builds a complete file: header with comment, payload, suffix. The comment must be valid.
std::vector<std::uint8_t> Build(const std::vector<std::uint8_t>& payload, std::uint16_t vendor,
                                std::uint16_t product, std::uint16_t release,
                                const std::string& comment);

const char* ErrorText(FileError error);

}  // namespace dfufile
