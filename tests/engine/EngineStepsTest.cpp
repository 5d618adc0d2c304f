// The engine's steps against the in-process simulated device: the whole upgrade, faults,
// recovery, transfer sizes and upload.
#include <gtest/gtest.h>

#include <functional>

#include "EngineHarness.h"

namespace {

using enginetest::Event;
using enginetest::Pattern;
using enginetest::Recorder;
using enginetest::SimDevice;
using enginetest::TempFile;

std::vector<std::uint8_t> Firmware(const qvdfu::DeviceConfig& c, std::size_t payload,
                                   const std::string& comment = "QUORVANE KX-V5 V1.02") {
    return dfufile::Build(Pattern(payload, 3), c.vendor, c.product, c.release, comment);
}

std::vector<std::uint8_t> ImageOf(std::vector<std::uint8_t> file) {
    file.resize(file.size() - dfufile::kSuffixLength);
    return file;
}

class EngineStepsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        enginetest::FastTiming();
        engine_.SetCallback(&recorder_);
    }

    // Runs one step to its completion and returns the final status.
    DFUEngine::Status Run(const std::function<bool(DFUEngine&)>& start) {
        EXPECT_TRUE(start(engine_)) << "step did not start";
        return recorder_.WaitComplete();
    }

    DFUEngine::Status Reconfigure(const TempFile& file, bool dfuModeOnly = false) {
        return Run([&](DFUEngine& e) {
            return e.StartReconfigure(dfuModeOnly, true, file.Wide().c_str());
        });
    }
    DFUEngine::Status Download(const TempFile& file) {
        return Run([&](DFUEngine& e) { return e.StartDownload(file.Wide().c_str()); });
    }
    DFUEngine::Status Manifest() {
        return Run([](DFUEngine& e) { return e.StartManifest(); });
    }

    Recorder recorder_;
    DFUEngine engine_;
};

DFUEngine::ResultCode Code(const DFUEngine::Status& s) {
    return s.activity.GetResult().GetCode();
}

// Notifications of one step: it opens with the first, closes with exactly one third, and its
// percentage never goes back.
void ExpectWellFormedStep(const std::vector<Event>& events) {
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().kind, 0);
    EXPECT_EQ(events.back().kind, 2);
    int completions = 0;
    int percent = 0;
    for (const auto& e : events) {
        completions += e.kind == 2;
        EXPECT_GE(e.status.percent, percent);
        EXPECT_LE(e.status.percent, 100);
        percent = e.status.percent;
    }
    EXPECT_EQ(completions, 1);
}

std::vector<int> Operations(const std::vector<Event>& events) {
    std::vector<int> ops;
    for (const auto& e : events) {
        const int op = e.status.activity.GetOperation();
        if (ops.empty() || ops.back() != op) ops.push_back(op);
    }
    return ops;
}

struct Variant {
    const char* name;
    std::uint8_t attributes;
    std::vector<int> downloadOps;
};

class WholeUpgradeTest : public EngineStepsTest, public ::testing::WithParamInterface<Variant> {};

TEST_P(WholeUpgradeTest, ReconfigureDownloadManifest) {
    qvdfu::DeviceConfig config;
    config.attributes = GetParam().attributes;
    config.transferSize = 256;
    config.pollTimeoutMs = 15;  // the device stalls a host that polls sooner
    config.manifestPollTimeoutMs = 20;
    SimDevice sim(config);
    TempFile file("fw.dfu");
    const auto firmware = Firmware(config, 1000);
    file.Write(firmware);

    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    auto status = Reconfigure(file);
    EXPECT_EQ(Code(status), DFUEngine::success);
    EXPECT_EQ(status.percent, 100);
    EXPECT_TRUE(sim.device.InDfuMode());
    auto events = recorder_.TakeEvents();
    ExpectWellFormedStep(events);
    EXPECT_EQ(
        Operations(events),
        (std::vector<int>{DFUEngine::reconfigure_connect, DFUEngine::reconfigure_start_runtime,
                          DFUEngine::reconfigure_start_dfu, DFUEngine::reconfigure_checking}));

    status = Download(file);
    EXPECT_EQ(Code(status), DFUEngine::success);
    EXPECT_EQ(status.activity.GetBytesDone(), firmware.size() - 16);
    EXPECT_EQ(status.activity.GetBytesTotal(), firmware.size() - 16);
    events = recorder_.TakeEvents();
    ExpectWellFormedStep(events);
    EXPECT_EQ(Operations(events), GetParam().downloadOps);

    status = Manifest();
    EXPECT_EQ(Code(status), DFUEngine::success);
    events = recorder_.TakeEvents();
    ExpectWellFormedStep(events);
    EXPECT_EQ(events.back().status.activity.GetOperation(), DFUEngine::manifest_retry_runtime);

    EXPECT_FALSE(sim.device.InDfuMode());
    EXPECT_EQ(sim.device.Firmware(), ImageOf(firmware));
    EXPECT_EQ(sim.device.FirmwareComment(), "QUORVANE KX-V5 V1.02");
    EXPECT_EQ(sim.device.ManifestCount(), 1u);
    EXPECT_EQ(sim.device.EarlyPolls(), 0u);
    DFUEngine::Status polled;
    engine_.GetStatus(polled);
    EXPECT_EQ(polled.state, DFUEngine::step_complete);
}

const int kPrep = DFUEngine::download_prepare;
const int kProg = DFUEngine::download_progress;
const int kVerify = DFUEngine::download_verify;

INSTANTIATE_TEST_SUITE_P(
    Devices, WholeUpgradeTest,
    ::testing::Values(Variant{"TolerantCanUpload",
                              qvdfu::kCanDownload | qvdfu::kCanUpload |
                                  qvdfu::kManifestationTolerant | qvdfu::kWillDetach,
                              {kPrep, kProg, kVerify}},
                      Variant{"WaitsForReset",
                              qvdfu::kCanDownload | qvdfu::kCanUpload | qvdfu::kWillDetach,
                              {kPrep, kProg}},
                      Variant{"HostResetsAfterDetach",
                              qvdfu::kCanDownload | qvdfu::kManifestationTolerant,
                              {kPrep, kProg}}),
    [](const auto& info) { return std::string(info.param.name); });

struct Fault {
    const char* name;
    std::function<void(qvdfu::DeviceConfig&, qvdfu::Faults&)> setUp;
    int failingStep;  // 0 reconfigure, 1 download, 2 manifest
    DFUEngine::ResultCode result;
    DFUEngine::Operation operation;
    DFUEngine::SubOperation sub;
    // The device is still there (or plugged in again) after the fault: a second attempt on it,
    // without the fault, must upgrade it.
    bool secondAttempt = false;
};

class FaultTest : public EngineStepsTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultTest, EndsWithItsResultOperationAndSubOperation) {
    qvdfu::DeviceConfig config;
    config.transferSize = 128;
    qvdfu::Faults faults;
    GetParam().setUp(config, faults);
    SimDevice sim(config);
    sim.device.SetFaults(faults);
    TempFile file("fw.dfu");
    file.Write(Firmware(qvdfu::DeviceConfig{}, 2000));

    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    const std::function<DFUEngine::Status()> steps[] = {[&] { return Reconfigure(file); },
                                                        [&] { return Download(file); },
                                                        [&] { return Manifest(); }};
    DFUEngine::Status status;
    for (int step = 0; step <= GetParam().failingStep; ++step) {
        status = steps[step]();
        if (step < GetParam().failingStep) {
            ASSERT_EQ(Code(status), DFUEngine::success) << step;
        }
    }
    EXPECT_EQ(Code(status), GetParam().result);
    EXPECT_EQ(status.activity.GetOperation(), GetParam().operation);
    EXPECT_EQ(status.activity.GetSubOperation(), GetParam().sub);
    EXPECT_EQ(status.state, DFUEngine::step_complete);
    if (!GetParam().secondAttempt) return;

    // As the program does: plugged in again if it went away, opened again, all three steps.
    sim.device.SetFaults({});
    if (faults.goneAtBlock >= 0) sim.device.Replug();
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    for (const auto& step : steps) ASSERT_EQ(Code(step()), DFUEngine::success);
    EXPECT_FALSE(sim.device.InDfuMode());
    EXPECT_EQ(sim.device.FirmwareComment(), "QUORVANE KX-V5 V1.02");
}

const Fault kFaults[] = {
    {"StallAtBlock", [](auto&, auto& f) { f.stallAtBlock = 3; }, 1, DFUEngine::fail_dfu_stalledpkt,
     DFUEngine::download_progress, DFUEngine::download_processing, true},
    {"ErrorStatusAtBlock",
     [](auto&, auto& f) {
         f.errorAtBlock = 2;
         f.errorStatus = qvdfu::errPROG;
     },
     1, DFUEngine::fail_dfu_prog, DFUEngine::download_progress, DFUEngine::download_processing,
     true},
    {"VerifyMismatch", [](auto&, auto& f) { f.verifyMismatch = true; }, 1,
     DFUEngine::fail_dfu_verify, DFUEngine::download_verify, DFUEngine::no_sub_operation, true},
    {"GoneMidTransfer", [](auto&, auto& f) { f.goneAtBlock = 4; }, 1, DFUEngine::fail_usb_none,
     DFUEngine::download_progress, DFUEngine::download_processing, true},
    {"VerySlowPolls", [](auto&, auto& f) { f.slowPollMs = 0xFFFFFF; }, 1,
     DFUEngine::fail_mode_not_dnload_idle, DFUEngine::download_progress,
     DFUEngine::download_processing, true},
    {"BusyPastTheLimit",
     [](auto&, auto& f) {
         f.slowPollMs = 100;
         f.busyPolls = 1000;
     },
     1, DFUEngine::fail_mode_not_dnload_idle, DFUEngine::download_progress,
     DFUEngine::download_processing, true},
    {"FileForAnotherVendor", [](auto& c, auto&) { c.vendor = 0x1234; }, 0,
     DFUEngine::fail_file_vendor, DFUEngine::reconfigure_checking, DFUEngine::transport_usb_check},
    {"FileForAnotherProduct", [](auto& c, auto&) { c.product = 0x0001; }, 0,
     DFUEngine::fail_file_product, DFUEngine::reconfigure_checking, DFUEngine::transport_usb_check},
    {"NeverReturnsInDfuMode", [](auto& c, auto&) { c.reenumerateMs = 60000; }, 0,
     DFUEngine::fail_mode_no_dfu, DFUEngine::reconfigure_start_dfu, DFUEngine::transport_usb_wait},
    {"CannotDownload",
     [](auto& c, auto&) { c.attributes = qvdfu::kCanUpload | qvdfu::kWillDetach; }, 1,
     DFUEngine::fail_no_download, DFUEngine::download_prepare, DFUEngine::no_sub_operation},
    // Gone after its reset and not back within the wait: it has left DFU mode, which is what the
    // reset was for.
    {"NoReturnAfterManifest", [](auto&, auto& f) { f.noReturnAfterManifest = true; }, 2,
     DFUEngine::success, DFUEngine::manifest_retry_runtime, DFUEngine::transport_established},
    // Back in DFU mode after its reset, saying why: it did not take the new firmware.
    {"FirmwareRejected", [](auto&, auto& f) { f.rejectFirmware = true; }, 2,
     DFUEngine::fail_dfu_firmware, DFUEngine::manifest_fail, DFUEngine::transport_usb_wait},
    // The host may not reset the device: neither a missing device nor refused firmware.
    {"ResetRefusedAfterDetach",
     [](auto& c, auto& f) {
         c.attributes = qvdfu::kCanDownload | qvdfu::kCanUpload | qvdfu::kManifestationTolerant;
         f.resetFails = true;
     },
     0, DFUEngine::fail_os, DFUEngine::reconfigure_start_runtime, DFUEngine::transport_usb_check},
    // After manifestation the firmware is written and read back: a device that only waits for
    // the reset the host may not give is no failure (the headset is plugged in again).
    {"ResetRefusedAfterManifest", [](auto&, auto& f) { f.resetFails = true; }, 2,
     DFUEngine::success, DFUEngine::manifest_start_runtime, DFUEngine::transport_usb_wait},
};

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// Every DFU status a device reports for a block maps to its own result; errVENDOR splits by
// whether the device names a string descriptor for it.
TEST_F(EngineStepsTest, EachDfuStatusMapsToItsResult) {
    TempFile file("fw.dfu");
    file.Write(Firmware(qvdfu::DeviceConfig{}, 10));
    struct Case {
        std::uint8_t status;
        std::uint8_t string;
        DFUEngine::ResultCode result;
    };
    const Case cases[] = {
        {qvdfu::errTARGET, 0, DFUEngine::fail_dfu_target},
        {qvdfu::errFILE, 0, DFUEngine::fail_dfu_file},
        {qvdfu::errWRITE, 0, DFUEngine::fail_dfu_write},
        {qvdfu::errERASE, 0, DFUEngine::fail_dfu_erase},
        {qvdfu::errCHECK_ERASED, 0, DFUEngine::fail_dfu_check_erased},
        {qvdfu::errPROG, 0, DFUEngine::fail_dfu_prog},
        {qvdfu::errVERIFY, 0, DFUEngine::fail_dfu_verify},
        {qvdfu::errADDRESS, 0, DFUEngine::fail_dfu_address},
        {qvdfu::errNOTDONE, 0, DFUEngine::fail_dfu_not_done},
        {qvdfu::errFIRMWARE, 0, DFUEngine::fail_dfu_firmware},
        {qvdfu::errVENDOR, 0, DFUEngine::fail_dfu_vendor_num},
        {qvdfu::errVENDOR, 4, DFUEngine::fail_dfu_vendor_str},
        {qvdfu::errUSBR, 0, DFUEngine::fail_dfu_usbr},
        {qvdfu::errPOR, 0, DFUEngine::fail_dfu_por},
        {qvdfu::errUNKNOWN, 0, DFUEngine::fail_dfu_unknown},
        {qvdfu::errSTALLEDPKT, 0, DFUEngine::fail_dfu_stalledpkt},
    };
    for (const auto& c : cases) {
        SimDevice sim(enginetest::DfuModeConfig(), L"status");
        qvdfu::Faults faults;
        faults.errorAtBlock = 0;
        faults.errorStatus = c.status;
        faults.errorString = c.string;
        sim.device.SetFaults(faults);
        ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
        EXPECT_EQ(Code(Download(file)), c.result) << int(c.status) << "/" << int(c.string);
    }
}

TEST_F(EngineStepsTest, DfuModeOnlyRefusesARunTimeDevice) {
    SimDevice sim;
    TempFile file("fw.dfu");
    file.Write(Firmware(qvdfu::DeviceConfig{}, 10));
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    const auto status = Reconfigure(file, true);
    EXPECT_EQ(Code(status), DFUEngine::fail_mode_no_dfu);
    EXPECT_EQ(status.activity.GetOperation(), DFUEngine::reconfigure_connect);
    EXPECT_FALSE(sim.device.InDfuMode());
}

// While our device re-enumerates after its detach, another maker's DFU device is the only one
// listed: it must not be taken for ours, nor be touched.
TEST_F(EngineStepsTest, AnotherMakersDeviceIsNotTakenForOurs) {
    qvdfu::DeviceConfig config;
    config.reenumerateMs = 60000;
    SimDevice sim(config);
    auto otherConfig = enginetest::DfuModeConfig();
    otherConfig.vendor = 0x0483;
    SimDevice other(otherConfig, L"other");
    other.device.ForceState(qvdfu::dfuERROR, qvdfu::errWRITE);
    TempFile file("fw.dfu");
    file.Write(Firmware(qvdfu::DeviceConfig{}, 10));
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    const auto status = Reconfigure(file);
    EXPECT_EQ(Code(status), DFUEngine::fail_mode_no_dfu);
    EXPECT_EQ(status.activity.GetOperation(), DFUEngine::reconfigure_start_dfu);
    EXPECT_EQ(status.activity.GetSubOperation(), DFUEngine::transport_usb_wait);
    EXPECT_EQ(other.device.State(), qvdfu::dfuERROR);
}

TEST_F(EngineStepsTest, ReconfigureWithoutFileCheckIgnoresTheFile) {
    auto config = enginetest::DfuModeConfig();
    SimDevice sim(config);
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    const auto status =
        Run([](DFUEngine& e) { return e.StartReconfigure(false, false, L"/no/such/file"); });
    EXPECT_EQ(Code(status), DFUEngine::success);
}

struct LeftState {
    const char* name;
    qvdfu::DfuState state;
    qvdfu::DfuStatus status;
    bool statusInWaitReset = false;
};

class RecoveryTest : public EngineStepsTest, public ::testing::WithParamInterface<LeftState> {};

TEST_P(RecoveryTest, ReconfigureBringsTheDeviceToDfuIdle) {
    auto config = enginetest::DfuModeConfig();
    config.statusInWaitReset = GetParam().statusInWaitReset;
    SimDevice sim(config);
    sim.device.ForceState(GetParam().state, GetParam().status);
    TempFile file("fw.dfu");
    file.Write(Firmware(qvdfu::DeviceConfig{}, 10));
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    EXPECT_EQ(Code(Reconfigure(file)), DFUEngine::success);
    EXPECT_EQ(sim.device.State(), qvdfu::dfuIDLE);
    EXPECT_EQ(Code(Download(file)), DFUEngine::success);
}

INSTANTIATE_TEST_SUITE_P(
    States, RecoveryTest,
    ::testing::Values(LeftState{"Error", qvdfu::dfuERROR, qvdfu::errWRITE},
                      LeftState{"DownloadIdle", qvdfu::dfuDNLOAD_IDLE, qvdfu::OK},
                      LeftState{"UploadIdle", qvdfu::dfuUPLOAD_IDLE, qvdfu::OK},
                      LeftState{"ManifestSync", qvdfu::dfuMANIFEST_SYNC, qvdfu::OK},
                      LeftState{"WaitReset", qvdfu::dfuMANIFEST_WAIT_RESET, qvdfu::OK},
                      LeftState{"WaitResetSaysSo", qvdfu::dfuMANIFEST_WAIT_RESET, qvdfu::OK, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Recovery needs a reset the host may not do: said so, rather than blaming the device.
TEST_F(EngineStepsTest, RecoveryWithoutAResetEndsWithFailOs) {
    SimDevice sim(enginetest::DfuModeConfig());
    sim.device.ForceState(qvdfu::dfuMANIFEST_WAIT_RESET);
    qvdfu::Faults faults;
    faults.resetFails = true;
    sim.device.SetFaults(faults);
    TempFile file("fw.dfu");
    file.Write(Firmware(qvdfu::DeviceConfig{}, 10));
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    const auto status = Reconfigure(file);
    EXPECT_EQ(Code(status), DFUEngine::fail_os);
    EXPECT_EQ(status.activity.GetOperation(), DFUEngine::recover_fail);
    EXPECT_EQ(status.activity.GetSubOperation(), DFUEngine::transport_usb_wait);
}

// A previous host left a block that the device takes many polls to write.
TEST_F(EngineStepsTest, ReconfigureWaitsOutABlockStillBeingWritten) {
    SimDevice sim(enginetest::DfuModeConfig());
    qvdfu::Faults faults;
    faults.busyPolls = 20;
    sim.device.SetFaults(faults);
    qvdfu::Setup setup;
    setup.requestType = 0x21;
    setup.request = qvdfu::DFU_DNLOAD;
    setup.length = 16;
    std::uint8_t block[16] = {};
    std::size_t n = 0;
    ASSERT_EQ(sim.device.Control(setup, block, n), qvdfu::Transfer::ok);
    TempFile file("fw.dfu");
    file.Write(Firmware(qvdfu::DeviceConfig{}, 10));
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    EXPECT_EQ(Code(Reconfigure(file)), DFUEngine::success);
    EXPECT_EQ(sim.device.State(), qvdfu::dfuIDLE);
    EXPECT_EQ(sim.device.EarlyPolls(), 0u);
}

// Image sizes around the transfer size; the header takes 8 + comment bytes of the image.
class TransferSizeTest : public EngineStepsTest, public ::testing::WithParamInterface<long> {};

TEST_P(TransferSizeTest, DeviceReceivesExactlyTheImage) {
    auto config = enginetest::DfuModeConfig();
    config.transferSize = 64;
    SimDevice sim(config);
    const std::string comment = "QV";  // header of 10 bytes
    const long imageSize = GetParam() < 0 ? 10 : GetParam();
    TempFile file("fw.dfu");
    const auto firmware = Firmware(config, static_cast<std::size_t>(imageSize - 10), comment);
    file.Write(firmware);
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    ASSERT_EQ(Code(Reconfigure(file)), DFUEngine::success);
    const auto status = Download(file);
    ASSERT_EQ(Code(status), DFUEngine::success);
    EXPECT_EQ(status.activity.GetBytesDone(), static_cast<std::uint32_t>(imageSize));
    ASSERT_EQ(Code(Manifest()), DFUEngine::success);
    EXPECT_EQ(sim.device.Firmware(), ImageOf(firmware));
}

// -1: header only (no payload), then 1 payload byte, 63, 64, 65 and 1 MiB image bytes, and
// one block past 65536 blocks, so that the block numbers wrap around.
INSTANTIATE_TEST_SUITE_P(Sizes, TransferSizeTest,
                         ::testing::Values(-1L, 11L, 63L, 64L, 65L, 1L << 20, (64L << 16) + 1));

TEST_F(EngineStepsTest, UploadWritesTheDeviceImageAsADfuFile) {
    qvdfu::DeviceConfig config = enginetest::DfuModeConfig();
    const auto firmware = Firmware(config, 5000, "QUORVANE KX-V5 V1.01");
    config.image = ImageOf(firmware);
    config.transferSize = 512;
    SimDevice sim(config);
    TempFile out("up.dfu");
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    const auto status = Run([&](DFUEngine& e) { return e.StartUpload(out.Wide().c_str()); });
    ASSERT_EQ(Code(status), DFUEngine::success);
    EXPECT_EQ(status.activity.GetOperation(), DFUEngine::upload_verify);
    EXPECT_EQ(out.Read(), firmware);

    // Round trip: the uploaded file downloads again unchanged.
    ASSERT_EQ(Code(Download(out)), DFUEngine::success);
    ASSERT_EQ(Code(Manifest()), DFUEngine::success);
    EXPECT_EQ(sim.device.Firmware(), ImageOf(firmware));
}

TEST_F(EngineStepsTest, UploadFailures) {
    auto config = enginetest::DfuModeConfig();
    config.attributes = qvdfu::kCanDownload;
    SimDevice sim(config);
    TempFile out("up.dfu");
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    auto status = Run([&](DFUEngine& e) { return e.StartUpload(out.Wide().c_str()); });
    EXPECT_EQ(Code(status), DFUEngine::fail_no_upload);

    SimDevice readable(enginetest::DfuModeConfig(), L"readable");
    ASSERT_TRUE(engine_.CreateUSB(readable.EngineName().c_str()));
    status = Run([&](DFUEngine& e) { return e.StartUpload(L"/no/such/dir/up.dfu"); });
    EXPECT_EQ(Code(status), DFUEngine::fail_file_create);

    // A device that goes away mid-upload leaves a file of that name as it was, and no part.
    auto bigger = enginetest::DfuModeConfig();
    bigger.image = Pattern(5000, 4);
    bigger.transferSize = 512;
    SimDevice leaving(bigger, L"leaving");
    qvdfu::Faults faults;
    faults.goneAtUploadBlock = 3;
    leaving.device.SetFaults(faults);
    const std::vector<std::uint8_t> kept = {'k', 'e', 'e', 'p'};
    out.Write(kept);
    ASSERT_TRUE(engine_.CreateUSB(leaving.EngineName().c_str()));
    status = Run([&](DFUEngine& e) { return e.StartUpload(out.Wide().c_str()); });
    EXPECT_EQ(Code(status), DFUEngine::fail_usb_none);
    EXPECT_EQ(status.activity.GetOperation(), DFUEngine::upload_progress);
    EXPECT_EQ(out.Read(), kept);
    EXPECT_FALSE(std::filesystem::exists(out.Narrow() + ".part"));
}

TEST_F(EngineStepsTest, FileFailuresAtDownload) {
    SimDevice sim(enginetest::DfuModeConfig());
    TempFile corrupt("bad.dfu");
    auto data = Firmware(qvdfu::DeviceConfig{}, 100);
    data[50] ^= 1;
    corrupt.Write(data);
    TempFile missing("missing.dfu");
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    auto status = Download(missing);
    EXPECT_EQ(Code(status), DFUEngine::fail_file_open);
    EXPECT_EQ(status.activity.GetOperation(), DFUEngine::download_prepare);
    EXPECT_EQ(Code(Download(corrupt)), DFUEngine::fail_file_crc);
    EXPECT_TRUE(sim.device.Firmware().size() > 0) << "the old firmware stays untouched";
}

// A step that follows a failed step of the upgrade ends with that step's failure and touches
// nothing: no image written over a file that failed its check, no reset that would start an
// image that failed its read-back. A reconfigure starts the sequence afresh.
struct RunOnCase {
    const char* name;
    std::function<void(qvdfu::DeviceConfig&, qvdfu::Faults&)> setUp;
    int failingStep;  // 0 reconfigure, 1 download
    DFUEngine::ResultCode result;
};

class RunOnAfterFailureTest : public EngineStepsTest,
                              public ::testing::WithParamInterface<RunOnCase> {};

TEST_P(RunOnAfterFailureTest, NextStepEndsWithTheEarlierFailure) {
    qvdfu::DeviceConfig config = enginetest::DfuModeConfig();
    qvdfu::Faults faults;
    GetParam().setUp(config, faults);
    SimDevice sim(config);
    sim.device.SetFaults(faults);
    TempFile file("fw.dfu");
    file.Write(Firmware(qvdfu::DeviceConfig{}, 700));
    const auto before = sim.device.Firmware();
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));

    if (GetParam().failingStep == 1) {
        ASSERT_EQ(Code(Reconfigure(file)), DFUEngine::success);
    }
    const auto failed = GetParam().failingStep == 0 ? Reconfigure(file) : Download(file);
    ASSERT_EQ(Code(failed), GetParam().result);
    const auto manifests = sim.device.ManifestCount();

    // The step the program would not start after a failure, started anyway.
    const auto next = GetParam().failingStep == 0 ? Download(file) : Manifest();
    EXPECT_EQ(Code(next), GetParam().result);
    EXPECT_TRUE(sim.device.InDfuMode()) << "the device was reset";
    EXPECT_EQ(sim.device.ManifestCount(), manifests);
    if (GetParam().failingStep == 0) {
        EXPECT_EQ(sim.device.Firmware(), before);
    }

    // The sequence restarts at a reconfigure (here one that does not check the file).
    sim.device.SetFaults({});
    ASSERT_EQ(Code(Run([](DFUEngine& e) { return e.StartReconfigure(false, false, nullptr); })),
              DFUEngine::success);
    ASSERT_EQ(Code(Download(file)), DFUEngine::success);
    EXPECT_EQ(Code(Manifest()), DFUEngine::success);
    EXPECT_FALSE(sim.device.InDfuMode());
}

const RunOnCase kRunOnCases[] = {
    {"ManifestAfterFailedVerify", [](auto&, auto& f) { f.verifyMismatch = true; }, 1,
     DFUEngine::fail_dfu_verify},
    {"DownloadAfterFileCheckFailed", [](auto& c, auto&) { c.product = 0x0001; }, 0,
     DFUEngine::fail_file_product},
};

INSTANTIATE_TEST_SUITE_P(Steps, RunOnAfterFailureTest, ::testing::ValuesIn(kRunOnCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineStepsTest, ManifestWithoutDownloadIsRefused) {
    SimDevice sim(enginetest::DfuModeConfig());
    ASSERT_TRUE(engine_.CreateUSB(sim.EngineName().c_str()));
    const auto status = Manifest();
    EXPECT_EQ(Code(status), DFUEngine::fail_mode_not_dnload_idle);
    EXPECT_EQ(sim.device.ManifestCount(), 0u);
}

}  // namespace
