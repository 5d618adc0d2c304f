#include "FileChecks.h"

#include <cstdarg>
#include <cstdio>

#include "file/DfuFile.h"

namespace qvdfufile {
namespace {

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// Bytes as text where they are printable, as hexadecimal where not.
std::string Shown(const std::uint8_t* bytes, std::size_t count) {
    std::string out = "\"";
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '"' && bytes[i] != '\\') {
            out += static_cast<char>(bytes[i]);
        } else {
            out += Format("\\x%02X", bytes[i]);
        }
    }
    return out + "\"";
}

// The firmware header at the start of the image (layout in file/DfuFile.h).
void CheckHeader(const std::uint8_t* image, std::size_t size, std::vector<std::string>& failed) {
    if (size < dfufile::kHeaderFixedLength) {
        failed.push_back(Format("firmware header: the image has %zu bytes, the header alone %zu",
                                size, dfufile::kHeaderFixedLength));
        return;
    }
    if (image[0] != 'Q' || image[1] != 'V' || image[2] != 'F' || image[3] != 'W') {
        failed.push_back("firmware header: the image starts with " + Shown(image, 4) +
                         ", not \"QVFW\"");
        return;
    }
    if (image[4] != dfufile::kHeaderVersion) {
        failed.push_back(
            Format("firmware header: version %u, expected %u", image[4], dfufile::kHeaderVersion));
        return;
    }
    const std::size_t commentLength = image[5];
    const std::size_t headerLength = Le16(image + 6);
    if (commentLength == 0 || commentLength > dfufile::kMaxCommentLength) {
        failed.push_back(Format("firmware header: comment length %zu, expected 1 to %zu",
                                commentLength, dfufile::kMaxCommentLength));
        return;
    }
    if (headerLength != dfufile::kHeaderFixedLength + commentLength || headerLength > size) {
        failed.push_back(Format(
            "firmware header: header length %zu, expected %zu (8 + the comment's %zu) within "
            "the image's %zu bytes",
            headerLength, dfufile::kHeaderFixedLength + commentLength, commentLength, size));
        return;
    }
    const std::uint8_t* comment = image + dfufile::kHeaderFixedLength;
    for (std::size_t i = 0; i < commentLength; ++i) {
        if (comment[i] < 0x20 || comment[i] > 0x7E) {
            failed.push_back(
                Format("comment: byte %zu is 0x%02X, expected printable ASCII", i + 1, comment[i]));
            return;
        }
    }
}

void CheckId(const char* what, std::uint16_t inFile, long expected,
             std::vector<std::string>& failed) {
    if (expected < 0 || inFile == 0xFFFF || inFile == expected) return;
    failed.push_back(Format("%s: the file is for 0x%04X, the device is 0x%04lX (0xFFFF fits any)",
                            what, inFile, expected));
}

}  // namespace

std::vector<std::string> FailedChecks(const std::uint8_t* data, std::size_t size,
                                      const ExpectedDevice& device) {
    std::vector<std::string> failed;
    if (size < dfufile::kSuffixLength) {
        failed.push_back(
            Format("size: %zu bytes, a DFU suffix alone has %zu", size, dfufile::kSuffixLength));
        return failed;
    }
    const std::uint8_t* suffix = data + size - dfufile::kSuffixLength;
    if (suffix[8] != 'U' || suffix[9] != 'F' || suffix[10] != 'D') {
        // Without its signature the end of the file is no suffix: nothing more can be read.
        failed.push_back(
            "suffix signature: " + Shown(suffix + 8, 3) +
            Format(" at offset %zu (8 bytes before the end), expected \"UFD\"", size - 8));
        return failed;
    }
    const std::size_t suffixLength = suffix[11];
    if (suffixLength < dfufile::kSuffixLength || suffixLength > size) {
        failed.push_back(
            Format("suffix length (bLength): %zu, expected %zu to the file's %zu bytes",
                   suffixLength, dfufile::kSuffixLength, size));
    }
    const std::uint16_t dfuVersion = Le16(suffix + 6);
    if (dfuVersion != dfufile::kDfuVersion) {
        failed.push_back(Format("DFU version (bcdDFU): 0x%04X, expected 0x%04X", dfuVersion,
                                dfufile::kDfuVersion));
    }
    const std::uint32_t stored = Le32(suffix + 12);
    const std::uint32_t computed = dfufile::Crc32(data, size - 4);
    if (stored != computed) {
        failed.push_back(
            Format("CRC (dwCRC): the file says 0x%08X, its bytes give 0x%08X", stored, computed));
    }
    if (failed.empty()) CheckHeader(data, size - suffixLength, failed);
    CheckId("vendor", Le16(suffix + 4), device.vendor, failed);
    CheckId("product", Le16(suffix + 2), device.product, failed);
    return failed;
}

}  // namespace qvdfufile
