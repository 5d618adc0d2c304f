// Upload: read the device's image block by block into a new file, which gets the standard DFU
// suffix with the device's identity, then check the written file.
#include <vector>

#include "FileAccess.h"
#include "StepCommon.h"

namespace dfuengine {
namespace {

void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

Code Upload(StepContext& context, const std::wstring& fileName) {
    context.SetActivity(DFUEngine::upload_prepare, DFUEngine::no_sub_operation);
    context.SetProgress(0, 0, 0);
    DfuDescription d;
    if (!context.Device().Describe(d)) return DFUEngine::fail_usb_none;
    if (!d.dfuMode) return DFUEngine::fail_mode_no_dfu;
    if (!(d.attributes & kAttrCanUpload)) return DFUEngine::fail_no_upload;
    if (d.transferSize == 0) return DFUEngine::fail_usb_desc_bad;
    DfuRequests requests(context.Device(), d.interfaceNumber);
    const std::uint16_t blockSize = BlockSize(d, context.Device());
    Code code = BringToIdle(context, requests);
    if (code != DFUEngine::success) return code;

    // The image goes to a file of its own first: a file of the chosen name is replaced only by
    // a complete, checked upload, never lost to a failed one.
    const std::wstring partName = fileName + L".part";
    std::FILE* file = OpenFile(partName, true);
    if (file == nullptr) return DFUEngine::fail_file_create;
    context.SetActivity(DFUEngine::upload_progress, DFUEngine::no_sub_operation);
    std::vector<std::uint8_t> block(blockSize);
    std::uint32_t crc = 0xFFFFFFFFu;
    std::size_t total = 0;
    for (std::uint32_t number = 0; code == DFUEngine::success; ++number) {
        std::size_t received = 0;
        code =
            requests.Upload(static_cast<std::uint16_t>(number), block.data(), blockSize, received);
        if (code != DFUEngine::success) break;
        if (total + received + dfufile::kSuffixLength > kMaxFileSize) {
            code = DFUEngine::fail_usb_buffer;  // a device that never ends its image
            break;
        }
        if (std::fwrite(block.data(), 1, received, file) != received) {
            code = DFUEngine::fail_file_create;
            break;
        }
        crc = dfufile::Crc32(block.data(), received, crc);
        total += received;
        context.SetProgress(0, static_cast<std::uint32_t>(total), 0);
        if (received < blockSize) break;
        if (context.Cancelled()) code = DFUEngine::aborted;
    }
    if (code == DFUEngine::success) {
        std::uint8_t suffix[dfufile::kSuffixLength] = {};
        PutLe16(suffix + 0, d.release);
        PutLe16(suffix + 2, d.product);
        PutLe16(suffix + 4, d.vendor);
        PutLe16(suffix + 6, dfufile::kDfuVersion);
        suffix[8] = 'U';
        suffix[9] = 'F';
        suffix[10] = 'D';
        suffix[11] = static_cast<std::uint8_t>(dfufile::kSuffixLength);
        crc = dfufile::Crc32(suffix, 12, crc);
        for (int i = 0; i < 4; ++i) suffix[12 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        if (std::fwrite(suffix, 1, sizeof suffix, file) != sizeof suffix) {
            code = DFUEngine::fail_file_create;
        }
    }
    if (std::fclose(file) != 0 && code == DFUEngine::success) code = DFUEngine::fail_file_create;
    if (code != DFUEngine::success) {
        RemoveFile(partName);
        return code;
    }

    // Read the file back: its suffix and CRC must hold (the image need not carry our header
    // when it came from another maker's firmware).
    context.SetActivity(DFUEngine::upload_verify, DFUEngine::no_sub_operation);
    std::vector<std::uint8_t> written;
    dfufile::FileInfo info;
    code = LoadFirmwareFile(partName, written, info);
    if (code == DFUEngine::fail_file_suffix && written.size() == total + dfufile::kSuffixLength) {
        const auto error = dfufile::Parse(written.data(), written.size(), info);
        if (error == dfufile::FileError::bad_header) code = DFUEngine::success;
    }
    if (code != DFUEngine::success) {
        RemoveFile(partName);
        return DFUEngine::fail_file_read;
    }
    if (!ReplaceFileWith(partName, fileName)) {
        RemoveFile(partName);
        return DFUEngine::fail_file_create;
    }
    context.SetProgress(100, static_cast<std::uint32_t>(total), static_cast<std::uint32_t>(total));
    return DFUEngine::success;
}

}  // namespace

Code RunUpload(StepContext& context, const std::wstring& fileName) {
    return Finish(context, Upload(context, fileName));
}

}  // namespace dfuengine
