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

// What a host reads with GET_DESCRIPTOR (standard, to the device) or the MS OS 2.0 vendor
// request; empty when the device stalls it.
std::vector<std::uint8_t> Descriptor(DfuDevice& device, std::uint8_t requestType,
                                     std::uint8_t request, std::uint16_t value,
                                     std::uint16_t index) {
    qvdfu::Setup setup;
    setup.requestType = requestType;
    setup.request = request;
    setup.value = value;
    setup.index = index;
    setup.length = 4096;
    std::vector<std::uint8_t> data(4096);
    std::size_t n = 0;
    if (device.Control(setup, data.data(), n) != Transfer::ok) return {};
    data.resize(n);
    return data;
}

using Bytes = std::vector<std::uint8_t>;

// The descriptor set that the headset firmware is to offer, byte for byte as documented in
// docs/dfu-engine.md: any change here is a change for the firmware team.
const Bytes kMsOs20Features = {
    0x14, 0x00, 0x03, 0x00, 'W',  'I',  'N',  'U',  'S',  'B',  0,    0,   0,   0,   0,   0,   0,
    0,    0,    0,    0x84, 0x00, 0x04, 0x00, 0x07, 0x00, 0x2A, 0x00, 'D', 0,   'e', 0,   'v', 0,
    'i',  0,    'c',  0,    'e',  0,    'I',  0,    'n',  0,    't',  0,   'e', 0,   'r', 0,   'f',
    0,    'a',  0,    'c',  0,    'e',  0,    'G',  0,    'U',  0,    'I', 0,   'D', 0,   's', 0,
    0,    0,    0x50, 0x00, '{',  0,    '9',  0,    'F',  0,    '6',  0,   'C', 0,   '2', 0,   'D',
    0,    '4',  0,    'A',  0,    '-',  0,    '5',  0,    'B',  0,    '3', 0,   'E', 0,   '-', 0,
    '4',  0,    'C',  0,    '7',  0,    '1',  0,    '-',  0,    'A',  0,   '8', 0,   'D', 0,   '0',
    0,    '-',  0,    '3',  0,    'E',  0,    '2',  0,    'B',  0,    '1', 0,   'F', 0,   '7', 0,
    'C',  0,    '6',  0,    'A',  0,    '5',  0,    '9',  0,    '}',  0,   0,   0,   0,   0};

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Bos(std::uint8_t setLength) {
    return {0x05, 0x0F, 0x21, 0x00, 0x01, 0x1C, 0x10, 0x05,      0x00, 0xDF, 0x60,
            0xDD, 0xD8, 0x89, 0x45, 0xC7, 0x4C, 0x9C, 0xD2,      0x65, 0x9D, 0x9E,
            0x64, 0x8A, 0x9F, 0x00, 0x00, 0x03, 0x06, setLength, 0x00, 0x20, 0x00};
}

TEST(DfuDeviceDescriptorTest, HeadsetOffersTheDocumentedDescriptorsInBothModes) {
    auto config = qvdfu::HeadsetConfig();
    DfuDevice runtime(config);
    EXPECT_EQ(Descriptor(runtime, 0x80, 6, 0x0100, 0),
              (Bytes{0x12, 0x01, 0x01, 0x02, 0xEF, 0x02, 0x01, 0x40, 0x09, 0x12, 0x58, 0x4B, 0x00,
                     0x01, 0x01, 0x02, 0x03, 0x01}));
    EXPECT_EQ(
        Descriptor(runtime, 0x80, 6, 0x0200, 0),
        (Bytes{0x09, 0x02, 0x5D, 0x00, 0x03, 0x01, 0x00, 0x80, 0x32,
               // serial function: association, communication and data interfaces
               0x08, 0x0B, 0x00, 0x02, 0x02, 0x02, 0x01, 0x00, 0x09, 0x04, 0x00, 0x00, 0x01, 0x02,
               0x02, 0x01, 0x00, 0x05, 0x24, 0x00, 0x20, 0x01, 0x05, 0x24, 0x01, 0x00, 0x01, 0x04,
               0x24, 0x02, 0x02, 0x05, 0x24, 0x06, 0x00, 0x01, 0x07, 0x05, 0x83, 0x03, 0x10, 0x00,
               0x10, 0x09, 0x04, 0x01, 0x00, 0x02, 0x0A, 0x00, 0x00, 0x00, 0x07, 0x05, 0x81, 0x02,
               0x40, 0x00, 0x00, 0x07, 0x05, 0x02, 0x02, 0x40, 0x00, 0x00,
               // DFU run-time interface and functional descriptor
               0x09, 0x04, 0x02, 0x00, 0x00, 0xFE, 0x01, 0x01, 0x00, 0x09, 0x21, 0x0F, 0xE8, 0x03,
               0x00, 0x04, 0x10, 0x01}));
    EXPECT_EQ(Descriptor(runtime, 0x80, 6, 0x0303, 0x0409),
              (Bytes{0x0E, 0x03, 'Q', 0, 'V', 0, '0', 0, '0', 0, '0', 0, '1', 0}));
    EXPECT_EQ(Descriptor(runtime, 0x80, 6, 0x0F00, 0), Bos(0xB2));
    EXPECT_EQ(Descriptor(runtime, 0xC0, qvdfu::kMsOs20VendorCode, 0, 7),
              Join({{0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x06, 0xB2, 0x00},
                    {0x08, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA8, 0x00},  // configuration 0
                    {0x08, 0x00, 0x02, 0x00, 0x02, 0x00, 0xA0, 0x00},  // function: interface 2
                    kMsOs20Features}));

    config.startInDfuMode = true;
    DfuDevice dfu(config);
    EXPECT_EQ(Descriptor(dfu, 0x80, 6, 0x0100, 0),
              (Bytes{0x12, 0x01, 0x01, 0x02, 0x00, 0x00, 0x00, 0x40, 0x09, 0x12, 0x58, 0x4B, 0x00,
                     0x01, 0x01, 0x02, 0x03, 0x01}));
    EXPECT_EQ(
        Descriptor(dfu, 0x80, 6, 0x0200, 0),
        (Bytes{0x09, 0x02, 0x1B, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32, 0x09, 0x04, 0x00, 0x00, 0x00,
               0xFE, 0x01, 0x02, 0x00, 0x09, 0x21, 0x0F, 0xE8, 0x03, 0x00, 0x04, 0x10, 0x01}));
    EXPECT_EQ(Descriptor(dfu, 0x80, 6, 0x0F00, 0), Bos(0xA2));
    EXPECT_EQ(
        Descriptor(dfu, 0xC0, qvdfu::kMsOs20VendorCode, 0, 7),
        Join({{0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x06, 0xA2, 0x00}, kMsOs20Features}));
}

// Descriptor requests are answered in any DFU state and leave it as it was; what the device
// does not have (a BOS without MS OS 2.0, another string) is stalled without an errSTALLEDPKT.
TEST(DfuDeviceDescriptorTest, RequestsLeaveTheDfuStateAlone) {
    auto config = InDfuMode();
    config.msOs20 = false;
    config.serialNumber.clear();
    DfuDevice device(config);
    std::uint8_t block[16] = {};
    ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, 0, 16, block), Transfer::ok);
    ASSERT_EQ(GetStatus(device).state, qvdfu::dfuDNLOAD_IDLE);

    const Bytes device18 = Descriptor(device, 0x80, 6, 0x0100, 0);
    ASSERT_EQ(device18.size(), 18u);
    EXPECT_EQ(device18[2], 0x00);   // bcdUSB 0x0200: no BOS to look for
    EXPECT_EQ(device18[16], 0x00);  // no serial number
    EXPECT_TRUE(Descriptor(device, 0x80, 6, 0x0F00, 0).empty());
    EXPECT_TRUE(Descriptor(device, 0x80, 6, 0x0303, 0x0409).empty());
    EXPECT_TRUE(Descriptor(device, 0xC0, qvdfu::kMsOs20VendorCode, 0, 7).empty());
    const auto s = GetStatus(device);
    EXPECT_EQ(s.state, qvdfu::dfuDNLOAD_IDLE);
    EXPECT_EQ(s.status, qvdfu::OK);
}

// A device that is not manifestation tolerant but starts its firmware by itself leaves DFU mode
// once manifestation is over, with no reset; it comes back under its DFU-mode product ID only
// while in DFU mode.
TEST(DfuDeviceTest, SelfStartingDeviceRunsItsNewFirmwareWithoutAReset) {
    auto config = InDfuMode();
    config.attributes = qvdfu::kCanDownload;
    config.selfStartAfterManifest = true;
    config.dfuProduct = 0x4B59;
    DfuDevice device(config);
    qvdfu::Description d;
    ASSERT_TRUE(device.Describe(d));
    EXPECT_EQ(d.product, 0x4B59);
    const unsigned long enumerations = device.EnumerationCount();
    std::uint8_t block[16] = {'Q', 'V'};
    ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, 0, 16, block), Transfer::ok);
    ASSERT_EQ(GetStatus(device).state, qvdfu::dfuDNLOAD_IDLE);
    ASSERT_EQ(Request(device, qvdfu::DFU_DNLOAD, 1, 0), Transfer::ok);
    ASSERT_EQ(GetStatus(device).state, qvdfu::dfuMANIFEST);

    ASSERT_TRUE(device.Describe(d));  // manifestation is over: it has started itself
    EXPECT_FALSE(d.dfuMode);
    EXPECT_EQ(d.product, 0x4B58);
    EXPECT_GT(device.EnumerationCount(), enumerations);
    EXPECT_EQ(device.Firmware().size(), 16u);
}

}  // namespace
