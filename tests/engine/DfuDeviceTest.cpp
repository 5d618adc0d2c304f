// The simulated device keeps the DFU 1.1 rules a host must follow, so that tests against it catch
// a host that breaks them.
#include <gtest/gtest.h>

#include <thread>

#include "DfuDevice.h"

namespace {

using qvdfu::DfuDevice;
using qvdfu::Transfer;

Transfer Request(DfuDevice& device, std::uint8_t request, std::uint16_t value = 0,
                 std::uint16_t length = 0, std::uint8_t* data = nullptr) {
    const bool in = request == qvdfu::DFU_UPLOAD || request == qvdfu::DFU_GETSTATUS ||
                    request == qvdfu::DFU_GETSTATE;
    qvdfu::Setup setup;
    setup.requestType = in ? 0xA1 : 0x21;
    setup.request = request;
    setup.value = value;
    setup.length = length;
    std::uint8_t scratch[64] = {};
    std::size_t transferred = 0;
    return device.Control(setup, data != nullptr ? data : scratch, transferred);
}

struct StatusReply {
    Transfer transfer;
    std::uint8_t status;
    std::uint32_t poll;
    std::uint8_t state;
};

StatusReply GetStatus(DfuDevice& device) {
    std::uint8_t data[6] = {};
    const Transfer t = Request(device, qvdfu::DFU_GETSTATUS, 0, 6, data);
    return {t, data[0], static_cast<std::uint32_t>(data[1] | (data[2] << 8) | (data[3] << 16)),
            data[4]};
}

qvdfu::DeviceConfig InDfuMode() {
    qvdfu::DeviceConfig c;
    c.startInDfuMode = true;
    c.transferSize = 32;
    return c;
}

struct Rule {
    const char* name;
    qvdfu::DfuState from;
    std::uint8_t request;
    std::uint16_t length;
    Transfer transfer;
    qvdfu::DfuState to;
};

class DfuDeviceRuleTest : public ::testing::TestWithParam<Rule> {};

TEST_P(DfuDeviceRuleTest, RequestInState) {
    const Rule& r = GetParam();
    DfuDevice device(r.from >= qvdfu::dfuIDLE ? InDfuMode() : qvdfu::DeviceConfig{});
    device.ForceState(r.from, r.from == qvdfu::dfuERROR ? qvdfu::errWRITE : qvdfu::OK);
    std::uint8_t data[64] = {};
    EXPECT_EQ(Request(device, r.request, 0, r.length, data), r.transfer);
    EXPECT_EQ(device.State(), r.to);
}

const Rule kRules[] = {
    {"ZeroLengthDnloadInIdle", qvdfu::dfuIDLE, qvdfu::DFU_DNLOAD, 0, Transfer::stall,
     qvdfu::dfuERROR},
    {"ClrStatusInIdle", qvdfu::dfuIDLE, qvdfu::DFU_CLRSTATUS, 0, Transfer::stall, qvdfu::dfuERROR},
    {"DetachInDfuMode", qvdfu::dfuIDLE, qvdfu::DFU_DETACH, 0, Transfer::stall, qvdfu::dfuERROR},
    {"AbortInIdle", qvdfu::dfuIDLE, qvdfu::DFU_ABORT, 0, Transfer::ok, qvdfu::dfuIDLE},
    {"UploadFromIdle", qvdfu::dfuIDLE, qvdfu::DFU_UPLOAD, 16, Transfer::ok, qvdfu::dfuIDLE},
    {"BlockFromIdle", qvdfu::dfuIDLE, qvdfu::DFU_DNLOAD, 16, Transfer::ok, qvdfu::dfuDNLOAD_SYNC},
    {"AbortInError", qvdfu::dfuERROR, qvdfu::DFU_ABORT, 0, Transfer::stall, qvdfu::dfuERROR},
    {"ClrStatusInError", qvdfu::dfuERROR, qvdfu::DFU_CLRSTATUS, 0, Transfer::ok, qvdfu::dfuIDLE},
    {"AbortInDownloadIdle", qvdfu::dfuDNLOAD_IDLE, qvdfu::DFU_ABORT, 0, Transfer::ok,
     qvdfu::dfuIDLE},
    {"UploadInDownloadIdle", qvdfu::dfuDNLOAD_IDLE, qvdfu::DFU_UPLOAD, 16, Transfer::stall,
     qvdfu::dfuERROR},
    {"EndOfDownload", qvdfu::dfuDNLOAD_IDLE, qvdfu::DFU_DNLOAD, 0, Transfer::ok,
     qvdfu::dfuMANIFEST_SYNC},
    {"DnloadInUploadIdle", qvdfu::dfuUPLOAD_IDLE, qvdfu::DFU_DNLOAD, 16, Transfer::stall,
     qvdfu::dfuERROR},
    {"BlockLargerThanTransferSize", qvdfu::dfuIDLE, qvdfu::DFU_DNLOAD, 64, Transfer::stall,
     qvdfu::dfuERROR},
    {"PollInWaitReset", qvdfu::dfuMANIFEST_WAIT_RESET, qvdfu::DFU_GETSTATUS, 6, Transfer::stall,
     qvdfu::dfuMANIFEST_WAIT_RESET},
    {"DnloadInRunTime", qvdfu::appIDLE, qvdfu::DFU_DNLOAD, 16, Transfer::stall, qvdfu::appIDLE},
};

INSTANTIATE_TEST_SUITE_P(Rules, DfuDeviceRuleTest, ::testing::ValuesIn(kRules),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DfuDeviceTest, StallLeavesErrStalledPkt) {
    DfuDevice device(InDfuMode());
    EXPECT_EQ(Request(device, qvdfu::DFU_CLRSTATUS), Transfer::stall);
    const auto s = GetStatus(device);
    EXPECT_EQ(s.status, qvdfu::errSTALLEDPKT);
    EXPECT_EQ(s.state, qvdfu::dfuERROR);
}

// A fault that strikes once: the host that tries again meets a healthy device.
TEST(DfuDeviceTest, FaultsThatStrikeOnceAreGoneAfterwards) {
    std::uint8_t block[16] = {};
    const auto downloadTwoBlocks = [&block](DfuDevice& device) {
        Transfer t = Request(device, qvdfu::DFU_DNLOAD, 0, 16, block);
        if (t == Transfer::ok) GetStatus(device);
        if (t == Transfer::ok) t = Request(device, qvdfu::DFU_DNLOAD, 1, 16, block);
        return t == Transfer::ok ? GetStatus(device) : StatusReply{t, 0, 0, 0};
    };
    for (const bool once : {true, false}) {
        qvdfu::Faults faults;
        faults.stallAtBlock = 1;
        faults.strikeOnce = once;
        DfuDevice stalls(InDfuMode());
        stalls.SetFaults(faults);
        EXPECT_EQ(downloadTwoBlocks(stalls).transfer, Transfer::stall);
        Request(stalls, qvdfu::DFU_CLRSTATUS);
        EXPECT_EQ(downloadTwoBlocks(stalls).transfer, once ? Transfer::ok : Transfer::stall);

        faults = qvdfu::Faults();
        faults.errorAtBlock = 1;
        faults.errorStatus = qvdfu::errWRITE;
        faults.strikeOnce = once;
        DfuDevice fails(InDfuMode());
        fails.SetFaults(faults);
        EXPECT_EQ(downloadTwoBlocks(fails).status, qvdfu::errWRITE);
        Request(fails, qvdfu::DFU_CLRSTATUS);
        EXPECT_EQ(downloadTwoBlocks(fails).status, once ? qvdfu::OK : qvdfu::errWRITE);

        faults = qvdfu::Faults();
        faults.goneAtBlock = 1;
        faults.strikeOnce = once;
        DfuDevice vanishes(InDfuMode());
        vanishes.SetFaults(faults);
        EXPECT_EQ(downloadTwoBlocks(vanishes).transfer, Transfer::gone);
        vanishes.Replug();  // in DFU mode with errFIRMWARE: its firmware is half-written
        Request(vanishes, qvdfu::DFU_CLRSTATUS);
        EXPECT_EQ(downloadTwoBlocks(vanishes).transfer, once ? Transfer::ok : Transfer::gone);
    }
}

TEST(DfuDeviceTest, WrongDirectionOrRecipientIsStalled) {
    DfuDevice device(InDfuMode());
    qvdfu::Setup setup;
    setup.requestType = 0x21;  // GETSTATUS is a device-to-host request
    setup.request = qvdfu::DFU_GETSTATUS;
    setup.length = 6;
    std::uint8_t data[6];
    std::size_t n = 0;
    EXPECT_EQ(device.Control(setup, data, n), Transfer::stall);
    DfuDevice other(InDfuMode());
    setup.requestType = 0xA1;
    setup.index = 3;  // not the DFU interface
    EXPECT_EQ(other.Control(setup, data, n), Transfer::stall);
}

TEST(DfuDeviceTest, PollBeforeTheTimeOutIsCaught) {
    auto config = InDfuMode();
    config.pollTimeoutMs = 200;
    DfuDevice device(config);
    std::uint8_t block[16] = {};
    ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, 0, 16, block), Transfer::ok);
    const auto busy = GetStatus(device);
    EXPECT_EQ(busy.state, qvdfu::dfuDNBUSY);
    EXPECT_EQ(busy.poll, 200u);
    EXPECT_EQ(GetStatus(device).transfer, Transfer::stall);
    EXPECT_EQ(device.EarlyPolls(), 1u);
}

TEST(DfuDeviceTest, WaitingThePollTimeOutCompletesTheBlock) {
    auto config = InDfuMode();
    config.pollTimeoutMs = 30;
    DfuDevice device(config);
    std::uint8_t block[16] = {};
    ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, 0, 16, block), Transfer::ok);
    EXPECT_EQ(GetStatus(device).state, qvdfu::dfuDNBUSY);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(GetStatus(device).state, qvdfu::dfuDNLOAD_IDLE);
    EXPECT_EQ(device.EarlyPolls(), 0u);
}

TEST(DfuDeviceTest, BlocksOutOfSequenceReportErrAddress) {
    DfuDevice device(InDfuMode());
    std::uint8_t block[16] = {};
    ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, 0, 16, block), Transfer::ok);
    EXPECT_EQ(GetStatus(device).state, qvdfu::dfuDNLOAD_IDLE);
    ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, 2, 16, block), Transfer::ok);
    const auto s = GetStatus(device);
    EXPECT_EQ(s.state, qvdfu::dfuERROR);
    EXPECT_EQ(s.status, qvdfu::errADDRESS);
}

TEST(DfuDeviceTest, EndOfDownloadCarriesTheNextBlockNumber) {
    for (const std::uint16_t number : {0, 2, 1}) {
        DfuDevice device(InDfuMode());
        std::uint8_t block[16] = {};
        ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, 0, 16, block), Transfer::ok);
        ASSERT_EQ(GetStatus(device).state, qvdfu::dfuDNLOAD_IDLE);
        ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, number, 0), Transfer::ok);
        const auto s = GetStatus(device);
        if (number == 1) {
            EXPECT_EQ(s.state, qvdfu::dfuMANIFEST);
        } else {
            EXPECT_EQ(s.state, qvdfu::dfuERROR) << number;
            EXPECT_EQ(s.status, qvdfu::errADDRESS) << number;
        }
    }
}

TEST(DfuDeviceTest, WaitResetAnsweredOnlyByADeviceThatSaysSo) {
    auto config = InDfuMode();
    config.statusInWaitReset = true;
    DfuDevice device(config);
    device.ForceState(qvdfu::dfuMANIFEST_WAIT_RESET);
    EXPECT_EQ(GetStatus(device).state, qvdfu::dfuMANIFEST_WAIT_RESET);
    EXPECT_EQ(Request(device, qvdfu::DFU_ABORT), Transfer::stall);
    EXPECT_EQ(device.State(), qvdfu::dfuMANIFEST_WAIT_RESET);
}

TEST(DfuDeviceTest, ReplugRunsValidFirmwareOrComesUpInDfuMode) {
    qvdfu::Faults faults;
    faults.goneAtBlock = 0;
    DfuDevice device(InDfuMode());  // no firmware
    device.SetFaults(faults);
    std::uint8_t block[16] = {};
    EXPECT_EQ(Request(device, qvdfu::DFU_DNLOAD, 0, 16, block), Transfer::gone);
    device.Replug();
    EXPECT_TRUE(device.InDfuMode());
    EXPECT_EQ(GetStatus(device).status, qvdfu::errFIRMWARE);

    auto config = InDfuMode();
    config.image = {1, 2, 3};
    DfuDevice running(config);
    running.Replug();
    EXPECT_FALSE(running.InDfuMode());
}

TEST(DfuDeviceTest, DetachThenResetEntersDfuModeOnlyWithinTheDetachTimeOut) {
    qvdfu::DeviceConfig config;
    config.attributes = qvdfu::kCanDownload;  // does not detach by itself
    DfuDevice device(config);
    ASSERT_EQ(Request(device, qvdfu::DFU_DETACH, 1000), Transfer::ok);
    EXPECT_EQ(device.State(), qvdfu::appDETACH);
    ASSERT_EQ(device.Reset(), Transfer::ok);
    EXPECT_TRUE(device.InDfuMode());
    EXPECT_EQ(device.State(), qvdfu::dfuIDLE);

    DfuDevice late(config);
    ASSERT_EQ(Request(late, qvdfu::DFU_DETACH, 0), Transfer::ok);  // time-out 0: lapses at once
    ASSERT_EQ(late.Reset(), Transfer::ok);
    EXPECT_FALSE(late.InDfuMode());
}

TEST(DfuDeviceTest, ResetWithoutValidFirmwareStaysInDfuMode) {
    DfuDevice device(InDfuMode());  // no image at start
    ASSERT_EQ(device.Reset(), Transfer::ok);
    EXPECT_TRUE(device.InDfuMode());
    const auto s = GetStatus(device);
    EXPECT_EQ(s.state, qvdfu::dfuERROR);
    EXPECT_EQ(s.status, qvdfu::errFIRMWARE);
}

}  // namespace
