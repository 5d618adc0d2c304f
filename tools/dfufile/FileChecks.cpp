#include "FileChecks.h"

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

// "0x" and the value in the given number of upper-case hexadecimal digits.
std::string Hex(unsigned long value, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*lX", digits, value);
    return text;
}

std::string Dec(std::size_t value) {
    return std::to_string(value);
}

// Bytes as text where they are printable, as hexadecimal where not.
std::string Shown(const std::uint8_t* bytes, std::size_t count) {
    std::string out = "\"";
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7F && bytes[i] != '"' && bytes[i] != '\\') {
            out += static_cast<char>(bytes[i]);
        } else {
            out += "\\x" + Hex(bytes[i], 2).substr(2);
        }
    }
    return out + "\"";
}

// The firmware header at the start of the image (layout in file/DfuFile.h).
void CheckHeader(const std::uint8_t* image, std::size_t size, std::vector<std::string>& failed) {
    if (size < dfufile::kHeaderFixedLength) {
        failed.push_back("firmware header: the image has " + Dec(size) +
                         " bytes, the header alone " + Dec(dfufile::kHeaderFixedLength));
        return;
    }
    if (image[0] != 'Q' || image[1] != 'V' || image[2] != 'F' || image[3] != 'W') {
        failed.push_back("firmware header: the image starts with " + Shown(image, 4) +
                         ", not \"QVFW\"");
        return;
    }
    if (image[4] != dfufile::kHeaderVersion) {
        failed.push_back("firmware header: version " + Dec(image[4]) + ", expected " +
                         Dec(dfufile::kHeaderVersion));
        return;
    }
    const std::size_t commentLength = image[5];
    const std::size_t headerLength = Le16(image + 6);
    if (commentLength == 0 || commentLength > dfufile::kMaxCommentLength) {
        failed.push_back("firmware header: comment length " + Dec(commentLength) +
                         ", expected 1 to " + Dec(dfufile::kMaxCommentLength));
        return;
    }
    if (headerLength != dfufile::kHeaderFixedLength + commentLength || headerLength > size) {
        failed.push_back("firmware header: header length " + Dec(headerLength) + ", expected " +
                         Dec(dfufile::kHeaderFixedLength + commentLength) + " (8 + the comment's " +
                         Dec(commentLength) + ") within the image's " + Dec(size) + " bytes");
        return;
    }
    const std::uint8_t* comment = image + dfufile::kHeaderFixedLength;
    for (std::size_t i = 0; i < commentLength; ++i) {
        if (comment[i] < 0x20 || comment[i] > 0x7E) {
            failed.push_back("comment: byte " + Dec(i + 1) + " is " + Hex(comment[i], 2) +
                             ", expected printable ASCII");
            return;
        }
    }
}

void CheckId(const char* what, std::uint16_t inFile, long expected,
             std::vector<std::string>& failed) {
    if (expected < 0 || inFile == 0xFFFF || inFile == expected) return;
    failed.push_back(std::string(what) + ": the file is for " + Hex(inFile, 4) +
                     ", the device is " + Hex(static_cast<unsigned long>(expected), 4) +
                     " (0xFFFF fits any)");
}

}  // namespace

std::vector<std::string> FailedChecks(const std::uint8_t* data, std::size_t size,
                                      const ExpectedDevice& device) {
    std::vector<std::string> failed;
    if (size < dfufile::kSuffixLength) {
        failed.push_back("size: " + Dec(size) + " bytes, a DFU suffix alone has " +
                         Dec(dfufile::kSuffixLength));
        return failed;
    }
    const std::uint8_t* suffix = data + size - dfufile::kSuffixLength;
    if (suffix[8] != 'U' || suffix[9] != 'F' || suffix[10] != 'D') {
        // Without its signature the end of the file is no suffix: nothing more can be read.
        failed.push_back("suffix signature: " + Shown(suffix + 8, 3) + " at offset " +
                         Dec(size - 8) + " (8 bytes before the end), expected \"UFD\"");
        return failed;
    }
    const std::size_t suffixLength = suffix[11];
    if (suffixLength < dfufile::kSuffixLength || suffixLength > size) {
        failed.push_back("suffix length (bLength): " + Dec(suffixLength) + ", expected " +
                         Dec(dfufile::kSuffixLength) + " to the file's " + Dec(size) + " bytes");
    }
    const std::uint16_t dfuVersion = Le16(suffix + 6);
    if (dfuVersion != dfufile::kDfuVersion) {
        failed.push_back("DFU version (bcdDFU): " + Hex(dfuVersion, 4) + ", expected " +
                         Hex(dfufile::kDfuVersion, 4));
    }
    const std::uint32_t stored = Le32(suffix + 12);
    const std::uint32_t computed = dfufile::Crc32(data, size - 4);
    if (stored != computed) {
        failed.push_back("CRC (dwCRC): the file says " + Hex(stored, 8) + ", its bytes give " +
                         Hex(computed, 8));
    }
    if (failed.empty()) CheckHeader(data, size - suffixLength, failed);
    CheckId("vendor", Le16(suffix + 4), device.vendor, failed);
    CheckId("product", Le16(suffix + 2), device.product, failed);
    return failed;
}

}  // namespace qvdfufile
