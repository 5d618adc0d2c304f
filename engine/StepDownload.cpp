// Download: the file's image in blocks of wTransferSize, each confirmed through GETSTATUS;
// then, on a device that can upload and stays reachable after manifestation, manifestation
// and a read-back of the whole image (download_verify).
#include <cstring>
#include <vector>

#include "FileAccess.h"
#include "StepCommon.h"

namespace dfuengine {
namespace {

int Percent(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 100 : static_cast<int>(done * 100 / total);
}

Code Verify(StepContext& context, DfuRequests& requests, const std::uint8_t* image,
            std::size_t size, std::uint16_t transferSize, std::uint64_t workTotal) {
    context.SetActivity(DFUEngine::download_verify, DFUEngine::no_sub_operation);
    std::vector<std::uint8_t> block(transferSize);
    std::size_t offset = 0;
    for (std::uint32_t number = 0;; ++number) {
        std::size_t received = 0;
        const Code code = requests.Upload(static_cast<std::uint16_t>(number), block.data(),
                                          transferSize, received);
        if (code != DFUEngine::success) return code;
        if (received > size - offset ||
            (received > 0 && std::memcmp(block.data(), image + offset, received) != 0)) {
            return DFUEngine::fail_dfu_verify;
        }
        offset += received;
        context.SetProgress(Percent(size + offset, workTotal), static_cast<std::uint32_t>(offset),
                            static_cast<std::uint32_t>(size));
        if (received < transferSize) break;  // a short block ends the upload
        if (context.Cancelled()) return DFUEngine::aborted;
    }
    return offset == size ? DFUEngine::success : DFUEngine::fail_dfu_verify;
}

Code Download(StepContext& context, const std::wstring& fileName) {
    context.SetActivity(DFUEngine::download_prepare, DFUEngine::no_sub_operation);
    context.SetProgress(0, 0, 0);
    Handover& sequence = context.Sequence();
    sequence.manifestedByDownload = false;
    sequence.nextBlock = 0;
    if (sequence.reconfigure != DFUEngine::success) return sequence.reconfigure;
    std::vector<std::uint8_t> file;
    dfufile::FileInfo info;
    Code code = LoadFirmwareFile(fileName, file, info);
    if (code != DFUEngine::success) return code;

    DfuDescription d;
    if (!context.Device().Describe(d)) return DFUEngine::fail_usb_none;
    if (!d.dfuMode) return DFUEngine::fail_mode_no_dfu;
    if (!(d.attributes & kAttrCanDownload)) return DFUEngine::fail_no_download;
    if (d.transferSize == 0) return DFUEngine::fail_usb_desc_bad;
    DfuRequests requests(context.Device(), d.interfaceNumber);
    DfuStatusReply reply;
    code = requests.GetStatus(reply);
    if (code != DFUEngine::success) return code;
    if (reply.state != kDfuIdle) return DFUEngine::fail_mode_not_idle;

    const std::uint8_t* image = file.data();
    const std::size_t size = info.imageSize;
    const bool tolerant = (d.attributes & kAttrManifestationTolerant) != 0;
    const bool verify = tolerant && (d.attributes & kAttrCanUpload) != 0;
    const std::uint64_t workTotal = verify ? 2ull * size : size;
    const std::uint16_t blockSize = BlockSize(d, context.Device());
    context.SetActivity(DFUEngine::download_progress, DFUEngine::download_processing);
    context.SetProgress(0, 0, static_cast<std::uint32_t>(size));
    std::uint32_t number = 0;
    for (std::size_t offset = 0; offset < size; ++number) {
        const auto length =
            static_cast<std::uint16_t>(std::min<std::size_t>(blockSize, size - offset));
        code = requests.Download(static_cast<std::uint16_t>(number), image + offset, length);
        if (code == DFUEngine::success) code = WaitBlockDone(context, requests);
        if (code != DFUEngine::success) return code;
        offset += length;
        context.SetProgress(Percent(offset, workTotal), static_cast<std::uint32_t>(offset),
                            static_cast<std::uint32_t>(size));
        if (context.Cancelled()) return DFUEngine::aborted;
    }
    sequence.nextBlock = static_cast<std::uint16_t>(number);
    if (!verify) return DFUEngine::success;

    // UPLOAD starts only from dfuIDLE, and an ABORT would throw the download away: a tolerant
    // device manifests first and is then read back.
    code = Manifest(context, requests, static_cast<std::uint16_t>(number), tolerant);
    if (code != DFUEngine::success) return code;
    sequence.manifestedByDownload = true;
    return Verify(context, requests, image, size, blockSize, workTotal);
}

}  // namespace

Code RunDownload(StepContext& context, const std::wstring& fileName) {
    const Code code = Finish(context, Download(context, fileName));
    context.Sequence().downloaded = true;
    context.Sequence().download = code;
    return code;
}

}  // namespace dfuengine
