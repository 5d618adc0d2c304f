// qvdfufile: packs a firmware image into a .dfu file with our header and the DFU 1.1 suffix,
// or inspects one.
//
//   qvdfufile pack -i IMAGE -o OUT.dfu -v VID -p PID -r BCD -c "MAKER MODEL VERSION"
//   qvdfufile inspect FILE.dfu
//
// Numbers are hexadecimal (with or without 0x). Exit status: 0 done / valid, 1 invalid file or
// I/O failure, 2 usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file/DfuFile.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: qvdfufile pack -i IMAGE -o OUT.dfu -v VID -p PID -r BCD -c COMMENT\n"
                 "       qvdfufile inspect FILE.dfu\n");
    return 2;
}

bool ParseHex16(const char* text, std::uint16_t& out) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    if (end == text || *end != '\0' || value > 0xFFFF) return false;
    out = static_cast<std::uint16_t>(value);
    return true;
}

bool ReadFile(const std::string& name, std::vector<std::uint8_t>& data) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

int Pack(int argc, char** argv) {
    std::string input, output, comment;
    std::uint16_t vendor = 0, product = 0, release = 0;
    bool haveVendor = false, haveProduct = false, haveRelease = false, haveComment = false;
    for (int i = 2; i < argc; ++i) {
        if (i + 1 >= argc) return Usage();
        const std::string option = argv[i];
        const char* value = argv[++i];
        if (option == "-i") {
            input = value;
        } else if (option == "-o") {
            output = value;
        } else if (option == "-c") {
            comment = value;
            haveComment = true;
        } else if (option == "-v") {
            haveVendor = ParseHex16(value, vendor);
            if (!haveVendor) return Usage();
        } else if (option == "-p") {
            haveProduct = ParseHex16(value, product);
            if (!haveProduct) return Usage();
        } else if (option == "-r") {
            haveRelease = ParseHex16(value, release);
            if (!haveRelease) return Usage();
        } else {
            return Usage();
        }
    }
    if (input.empty() || output.empty() || !haveVendor || !haveProduct || !haveRelease ||
        !haveComment) {
        return Usage();
    }
    if (!dfufile::IsValidComment(comment)) {
        std::fprintf(stderr, "qvdfufile: the comment must be 1 to %zu printable ASCII characters\n",
                     dfufile::kMaxCommentLength);
        return 2;
    }
    std::vector<std::uint8_t> payload;
    if (!ReadFile(input, payload)) {
        std::fprintf(stderr, "qvdfufile: cannot read %s\n", input.c_str());
        return 1;
    }
    const auto file = dfufile::Build(payload, vendor, product, release, comment);
    std::ofstream out(output, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "qvdfufile: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("%s: %zu bytes (image %zu, payload %zu)\n", output.c_str(), file.size(),
                file.size() - dfufile::kSuffixLength, payload.size());
    return 0;
}

int Inspect(const char* name) {
    std::vector<std::uint8_t> data;
    if (!ReadFile(name, data)) {
        std::fprintf(stderr, "qvdfufile: cannot read %s\n", name);
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
    std::printf("status:      %s\n", dfufile::ErrorText(error));
    return error == dfufile::FileError::ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "pack") == 0) return Pack(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "inspect") == 0) return Inspect(argv[2]);
    return Usage();
}
