// Firmware file access by wide names (_wfopen on Windows, UTF-8 names elsewhere).
#include "FileAccess.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace dfuengine {
namespace {

#if !defined(_WIN32)
std::string Utf8(const std::wstring& text) {
    std::string out;
    for (wchar_t wc : text) {
        const auto c = static_cast<std::uint32_t>(wc);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}
#endif

}  // namespace

std::FILE* OpenFile(const std::wstring& name, bool forWriting) {
    if (name.empty()) return nullptr;
#if defined(_WIN32)
    return _wfopen(name.c_str(), forWriting ? L"wb" : L"rb");
#else
    return std::fopen(Utf8(name).c_str(), forWriting ? "wb" : "rb");
#endif
}

bool ReplaceFileWith(const std::wstring& from, const std::wstring& to) {
    if (from.empty() || to.empty()) return false;
#if defined(_WIN32)
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(Utf8(from).c_str(), Utf8(to).c_str()) == 0;
#endif
}

void RemoveFile(const std::wstring& name) {
    if (name.empty()) return;
#if defined(_WIN32)
    _wremove(name.c_str());
#else
    std::remove(Utf8(name).c_str());
#endif
}

DFUEngine::ResultCode LoadFirmwareFile(const std::wstring& name, std::vector<std::uint8_t>& data,
                                       dfufile::FileInfo& info) {
    data.clear();
    std::FILE* file = OpenFile(name, false);
    if (file == nullptr) return DFUEngine::fail_file_open;
    // The size taken beforehand only reserves room (one buffer, no regrowth); reading goes in
    // pieces up to the limit, so a file that changes meanwhile cannot overrun anything.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0 && static_cast<unsigned long>(size) <= kMaxFileSize) {
            data.reserve(static_cast<std::size_t>(size));
        }
        std::rewind(file);
    }
    std::uint8_t chunk[64 * 1024];
    DFUEngine::ResultCode code = DFUEngine::success;
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        if (n > 0) {
            if (data.size() + n > kMaxFileSize) {
                code = DFUEngine::fail_file_read;
                break;
            }
            data.insert(data.end(), chunk, chunk + n);
        }
        if (n < sizeof chunk) {
            if (std::ferror(file)) code = DFUEngine::fail_file_read;
            break;
        }
    }
    std::fclose(file);
    if (code != DFUEngine::success) return code;
    switch (dfufile::Parse(data.data(), data.size(), info)) {
        case dfufile::FileError::ok:
            return DFUEngine::success;
        case dfufile::FileError::too_short:
            return DFUEngine::fail_file_short;
        case dfufile::FileError::bad_crc:
            return DFUEngine::fail_file_crc;
        case dfufile::FileError::bad_suffix:
        case dfufile::FileError::bad_header:
            break;
    }
    return DFUEngine::fail_file_suffix;
}

}  // namespace dfuengine
