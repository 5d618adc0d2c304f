// qvdfufile: packs a firmware image into a .dfu file with our header and the DFU 1.1 suffix,
// or inspects one.
//
//   qvdfufile pack -i IMAGE -o OUT.dfu -v VID -p PID -r BCD -c "MAKER MODEL VERSION"
//   qvdfufile inspect FILE.dfu [-v VID] [-p PID]
//
// Numbers are hexadecimal (with or without 0x). Exit status: 0 done / valid, 1 invalid file or
// I/O failure, 2 usage.
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "FileAccess.h"
#include "FileChecks.h"
#include "file/DfuFile.h"

namespace {

const char kUsage[] =
    "usage: qvdfufile pack -i IMAGE -o OUT.dfu -v VID -p PID -r BCD -c COMMENT\n"
    "       qvdfufile inspect FILE.dfu [-v VID] [-p PID]\n"
    "pack puts the firmware IMAGE behind a header carrying COMMENT (1 to 127 printable ASCII\n"
    "characters, e.g. \"QuorVane KX-V5 V1.03\") and adds the DFU 1.1 suffix with the USB vendor,\n"
    "product and release (bcdDevice) numbers, in hexadecimal. inspect checks a file the way the\n"
    "DFU engine does and shows what it holds; each check that fails is shown with the values\n"
    "found. With -v and -p it also checks that the file fits a device of that vendor and\n"
    "product (the simulated KX-V5: -v 1209 -p 4B58). Exit status: 0 done or valid, 1 invalid\n"
    "file or I/O failure, 2 wrong command line.\n";

// The largest file the engine takes; a bigger one is refused when it is opened.
constexpr std::size_t kMaxFileSize = dfuengine::kMaxFileSize;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "qvdfufile: %s\n%s", message.c_str(), kUsage);
    return 2;
}

bool ParseHex16(const char* text, std::uint16_t& out) {
    const char* digits = text;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits += 2;
    if (*digits == '\0' || std::strlen(digits) > 4) return false;
    std::uint16_t value = 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        const char c = *p;
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = static_cast<std::uint16_t>(value * 16 + digit);
    }
    out = value;
    return true;
}

// The maker's mark the upgrade program looks for in a file's comment, in any case.
bool HasMakerMark(const std::string& comment) {
    std::string upper = comment;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper.find("QUORVANE") != std::string::npos ||
           upper.find("QUOR VANE") != std::string::npos;
}

enum class ReadResult { ok, cannot_read, too_large };

// Reads a whole file, but never more than limit bytes (a device or a huge file by mistake).
ReadResult ReadFile(const std::string& name, std::size_t limit, std::vector<std::uint8_t>& data) {
    data.clear();
    std::error_code ignored;
    if (std::filesystem::is_directory(name, ignored)) return ReadResult::cannot_read;
    std::ifstream in(name, std::ios::binary);
    if (!in) return ReadResult::cannot_read;
    char chunk[64 * 1024];
    while (in) {
        in.read(chunk, sizeof chunk);
        const std::size_t n = static_cast<std::size_t>(in.gcount());
        if (data.size() + n > limit) return ReadResult::too_large;
        data.insert(data.end(), chunk, chunk + n);
    }
    return in.bad() ? ReadResult::cannot_read : ReadResult::ok;
}

// Writes through a temporary file and a rename: a failed write leaves an existing file as it
// was, never a part of the new one.
bool WriteFileWhole(const std::string& name, const std::vector<std::uint8_t>& data) {
    const std::string temporary = name + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
#ifdef _WIN32
    // Replaces an existing file too, which a plain rename does not do on Windows.
    const bool moved = MoveFileExA(temporary.c_str(), name.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    const bool moved = std::rename(temporary.c_str(), name.c_str()) == 0;
#endif
    if (!moved) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
    return moved;
}

int Pack(int argc, char** argv) {
    std::string input, output, comment;
    std::uint16_t vendor = 0, product = 0, release = 0;
    bool haveVendor = false, haveProduct = false, haveRelease = false, haveComment = false;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option != "-i" && option != "-o" && option != "-c" && option != "-v" &&
            option != "-p" && option != "-r") {
            return UsageError("unknown option: " + option);
        }
        if (i + 1 >= argc) return UsageError(option + " needs a value");
        const char* value = argv[++i];
        if (option == "-i") {
            input = value;
        } else if (option == "-o") {
            output = value;
        } else if (option == "-c") {
            comment = value;
            haveComment = true;
        } else {
            std::uint16_t& number = option == "-v" ? vendor : option == "-p" ? product : release;
            bool& have = option == "-v" ? haveVendor : option == "-p" ? haveProduct : haveRelease;
            have = ParseHex16(value, number);
            if (!have) {
                return UsageError(option + ": not a hexadecimal number from 0 to FFFF: " + value);
            }
        }
    }
    const struct {
        bool given;
        const char* option;
    } required[] = {{!input.empty(), "-i IMAGE"}, {!output.empty(), "-o OUT.dfu"},
                    {haveVendor, "-v VID"},       {haveProduct, "-p PID"},
                    {haveRelease, "-r BCD"},      {haveComment, "-c COMMENT"}};
    for (const auto& r : required) {
        if (!r.given) return UsageError(std::string("pack needs ") + r.option);
    }
    if (!dfufile::IsValidComment(comment)) {
        std::fprintf(stderr,
                     "qvdfufile: the comment must be 1 to %zu printable ASCII characters: it "
                     "has %zu",
                     dfufile::kMaxCommentLength, comment.size());
        for (std::size_t i = 0; i < comment.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(comment[i]);
            if (c < 0x20 || c > 0x7E) {
                std::fprintf(stderr, ", and character %zu is the byte 0x%02X", i + 1, c);
                break;
            }
        }
        std::fprintf(stderr, "\n");
        return 2;
    }
    const std::size_t wrapping =
        dfufile::kHeaderFixedLength + comment.size() + dfufile::kSuffixLength;
    std::vector<std::uint8_t> payload;
    switch (ReadFile(input, kMaxFileSize - wrapping, payload)) {
        case ReadResult::ok:
            break;
        case ReadResult::cannot_read:
            std::fprintf(stderr, "qvdfufile: cannot read %s\n", input.c_str());
            return 1;
        case ReadResult::too_large:
            std::fprintf(stderr,
                         "qvdfufile: %s is too large: the engine takes files of at most "
                         "%u MiB\n",
                         input.c_str(), static_cast<unsigned>(kMaxFileSize >> 20));
            return 1;
    }
    if (payload.empty()) {
        std::fprintf(stderr, "qvdfufile: %s is empty: there is no firmware to pack\n",
                     input.c_str());
        return 1;
    }
    const auto file = dfufile::Build(payload, vendor, product, release, comment);
    if (!WriteFileWhole(output, file)) {
        std::fprintf(stderr, "qvdfufile: cannot write %s\n", output.c_str());
        return 1;
    }
    if (!HasMakerMark(comment)) {
        std::fprintf(stderr,
                     "qvdfufile: note: the comment names no maker (QuorVane); QVDFUUpgrade "
                     "refuses such a file\n");
    }
    std::printf("%s: %zu bytes (image %zu, payload %zu)\n", output.c_str(), file.size(),
                file.size() - dfufile::kSuffixLength, payload.size());
    return 0;
}

int Inspect(const char* name, const qvdfufile::ExpectedDevice& device) {
    std::vector<std::uint8_t> data;
    switch (ReadFile(name, kMaxFileSize, data)) {
        case ReadResult::ok:
            break;
        case ReadResult::cannot_read:
            std::fprintf(stderr, "qvdfufile: cannot read %s\n", name);
            return 1;
        case ReadResult::too_large:
            std::printf(
                "file:        %s (more than %u MiB)\nstatus:      too large: the engine "
                "takes files of at most %u MiB\n",
                name, static_cast<unsigned>(kMaxFileSize >> 20),
                static_cast<unsigned>(kMaxFileSize >> 20));
            return 1;
    }
    dfufile::FileInfo info;
    const dfufile::FileError error = dfufile::Parse(data.data(), data.size(), info);
    std::printf("file:        %s (%zu bytes)\n", name, data.size());
    if (error == dfufile::FileError::ok || error == dfufile::FileError::bad_header) {
        std::printf("vendor:      0x%04X\nproduct:     0x%04X\nrelease:     0x%04X\n", info.vendor,
                    info.product, info.release);
    }
    if (error == dfufile::FileError::ok) {
        std::printf("DFU version: 0x%04X\nsuffix:      %zu bytes\nimage:       %zu bytes\n",
                    info.dfuVersion, info.suffixLength, info.imageSize);
        std::printf("payload:     %zu bytes at offset %zu\ncomment:     %s\n",
                    info.imageSize - info.payloadOffset, info.payloadOffset, info.comment.c_str());
    }
    const std::vector<std::string> failed =
        qvdfufile::FailedChecks(data.data(), data.size(), device);
    const bool fits = error == dfufile::FileError::ok && failed.empty();
    std::printf("status:      %s\n", error == dfufile::FileError::ok && !fits
                                         ? "does not fit the device"
                                         : dfufile::ErrorText(error));
    for (const std::string& check : failed) std::printf("failed:      %s\n", check.c_str());
    return fits ? 0 : 1;
}

// inspect FILE [-v VID] [-p PID]
int InspectCommand(int argc, char** argv) {
    if (argc < 3) return UsageError("inspect takes one file");
    qvdfufile::ExpectedDevice device;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        if (option != "-v" && option != "-p") {
            return UsageError(argv[i][0] == '-' ? "unknown option: " + option
                                                : "inspect takes one file");
        }
        if (i + 1 >= argc) return UsageError(option + " needs a value");
        std::uint16_t number = 0;
        if (!ParseHex16(argv[++i], number)) {
            return UsageError(option + ": not a hexadecimal number from 0 to FFFF: " + argv[i]);
        }
        (option == "-v" ? device.vendor : device.product) = number;
    }
    return Inspect(argv[2], device);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
                      std::strcmp(argv[1], "help") == 0)) {
        std::printf("%s", kUsage);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "pack") == 0) return Pack(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "inspect") == 0) return InspectCommand(argc, argv);
    if (argc < 2) return UsageError("pack or inspect?");
    return UsageError(std::string("unknown command: ") + argv[1]);
}
