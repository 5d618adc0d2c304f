// Firmware file format: CRC, validation and building (layout in DfuFile.h).
#include "DfuFile.h"

#include <array>

namespace dfufile {
namespace {

std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

const std::array<std::uint32_t, 256>& CrcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
            t[i] = c;
        }
        return t;
    }();
    return table;
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
    const auto& table = CrcTable();
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

bool IsValidComment(const std::string& text) {
    if (text.empty() || text.size() > kMaxCommentLength) return false;
    for (char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

bool ParseImageHeader(const std::uint8_t* image, std::size_t size, std::string& comment,
                      std::size_t& payloadOffset) {
    comment.clear();
    payloadOffset = 0;
    if (size < kHeaderFixedLength) return false;
    if (image[0] != 'Q' || image[1] != 'V' || image[2] != 'F' || image[3] != 'W') return false;
    if (image[4] != kHeaderVersion) return false;
    const std::size_t n = image[5];
    const std::size_t headerLength = Le16(image + 6);
    if (headerLength != kHeaderFixedLength + n || headerLength > size) return false;
    std::string text(reinterpret_cast<const char*>(image + kHeaderFixedLength), n);
    if (!IsValidComment(text)) return false;
    comment = std::move(text);
    payloadOffset = headerLength;
    return true;
}

FileError Parse(const std::uint8_t* data, std::size_t size, FileInfo& info) {
    info = FileInfo{};
    if (data == nullptr || size < kSuffixLength) return FileError::too_short;
    const std::uint8_t* suffix = data + size - kSuffixLength;
    if (suffix[8] != 'U' || suffix[9] != 'F' || suffix[10] != 'D') return FileError::bad_suffix;
    const std::size_t suffixLength = suffix[11];
    // A longer suffix carries extra fields in front of the standard ones; it must still lie
    // inside the file.
    if (suffixLength < kSuffixLength || suffixLength > size) return FileError::bad_suffix;
    const std::uint16_t dfuVersion = Le16(suffix + 6);
    if (dfuVersion != kDfuVersion) return FileError::bad_suffix;
    const std::uint32_t stored = static_cast<std::uint32_t>(suffix[12]) |
                                 (static_cast<std::uint32_t>(suffix[13]) << 8) |
                                 (static_cast<std::uint32_t>(suffix[14]) << 16) |
                                 (static_cast<std::uint32_t>(suffix[15]) << 24);
    if (Crc32(data, size - 4) != stored) return FileError::bad_crc;

    info.release = Le16(suffix + 0);
    info.product = Le16(suffix + 2);
    info.vendor = Le16(suffix + 4);
    info.dfuVersion = dfuVersion;
    info.suffixLength = suffixLength;
    info.imageSize = size - suffixLength;
    if (!ParseImageHeader(data, info.imageSize, info.comment, info.payloadOffset)) {
        const FileInfo ids = info;
        info = FileInfo{};
        info.release = ids.release;
        info.product = ids.product;
        info.vendor = ids.vendor;
        return FileError::bad_header;
    }
    return FileError::ok;
}

std::vector<std::uint8_t> Build(const std::vector<std::uint8_t>& payload, std::uint16_t vendor,
                                std::uint16_t product, std::uint16_t release,
                                const std::string& comment) {
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderFixedLength + comment.size() + payload.size() + kSuffixLength);
    out.insert(out.end(), {'Q', 'V', 'F', 'W', kHeaderVersion});
    out.push_back(static_cast<std::uint8_t>(comment.size()));
    PutLe16(out, static_cast<std::uint16_t>(kHeaderFixedLength + comment.size()));
    out.insert(out.end(), comment.begin(), comment.end());
    out.insert(out.end(), payload.begin(), payload.end());
    PutLe16(out, release);
    PutLe16(out, product);
    PutLe16(out, vendor);
    PutLe16(out, kDfuVersion);
    out.insert(out.end(), {'U', 'F', 'D', static_cast<std::uint8_t>(kSuffixLength)});
    const std::uint32_t crc = Crc32(out.data(), out.size());
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    return out;
}

const char* ErrorText(FileError error) {
    switch (error) {
        case FileError::ok:
            return "valid";
        case FileError::too_short:
            return "shorter than a DFU suffix";
        case FileError::bad_suffix:
            return "no valid DFU 1.1 suffix (signature, length or version)";
        case FileError::bad_crc:
            return "CRC mismatch";
        case FileError::bad_header:
            return "image lacks the firmware header or its comment";
    }
    return "unknown";
}

}  // namespace dfufile
