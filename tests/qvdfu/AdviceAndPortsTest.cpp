// The endings: names, exit codes and advice; and which serial ports may be asked.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "DFUEngine.h"
#include "console/FlashJob.h"
#include "console/HeadsetPorts.h"
#include "console/ResultAdvice.h"
#include "device/HeadsetUsbIds.h"
#include "upgrade/names/DfuNames.h"

namespace service {
namespace {

TEST(ResultAdvice, EngineResultsMapToTheExitCodeTable) {
    struct Case {
        int32_t result;
        ExitCode code;
    } cases[] = {
        {DFUEngine::success, kExitDone},
        {DFUEngine::aborted, kExitInterrupted},
        {DFUEngine::fail_file_open, kExitBadFile},
        {DFUEngine::fail_file_crc, kExitBadFile},
        {DFUEngine::fail_file_vendor, kExitBadFile},
        {DFUEngine::fail_file_product, kExitBadFile},
        {DFUEngine::fail_usb_none, kExitDeviceFailed},
        {DFUEngine::fail_dfu_firmware, kExitDeviceFailed},
        {DFUEngine::fail_dfu_stalledpkt, kExitDeviceFailed},
        {DFUEngine::fail_os, kExitDeviceFailed},
        {DFUEngine::fail_btw_status_long, kExitDeviceFailed},
        {500, kExitDeviceFailed},
    };
    for (const Case& c : cases) {
        const Advice advice = AdviceForResult(c.result);
        EXPECT_EQ(advice.exitCode, c.code) << c.result;
        EXPECT_STREQ(advice.name, upgrade::ResultName(c.result));
        EXPECT_STRNE(advice.meaning, "");
    }
    // The results a headset's upgrade can fail with are each explained in their own words.
    const std::string fallback = AdviceForResult(DFUEngine::fail_hci_unknown).meaning;
    for (int32_t result = DFUEngine::fail_dfu_target; result <= DFUEngine::fail_dfu_stalledpkt;
         ++result) {
        EXPECT_NE(AdviceForResult(result).meaning, fallback) << upgrade::ResultName(result);
        EXPECT_STRNE(AdviceForResult(result).todo, "") << upgrade::ResultName(result);
    }
    EXPECT_EQ(AdviceForOpenProblem(DFUEngine::open_no_driver).exitCode, kExitDeviceFailed);
    EXPECT_EQ(AdviceForOpenProblem(DFUEngine::open_busy).exitCode, kExitPortBusy);
    EXPECT_EQ(AdviceForOpenProblem(DFUEngine::open_not_found).exitCode, kExitNoDevice);
    EXPECT_STREQ(AdviceForOpenProblem(DFUEngine::open_no_driver).name, "open_no_driver");
}

// A device with no WinUSB driver: the engine's words and the device's USB ID, exit code 4.
TEST(ResultAdvice, AnUnopenedDeviceIsNamedWithItsDriverAndUsbId) {
    FlashOutcome outcome;
    outcome.opened = false;
    outcome.openProblem = DFUEngine::open_no_driver;
    outcome.openDetail = "no WinUSB driver is bound to USB\\VID_1209&PID_4B58";
    outcome.deviceVendor = 0x1209;
    outcome.deviceProduct = 0x4B58;
    EXPECT_EQ(DescribeOpenFailure(outcome, "\\\\?\\usb#vid_1209&pid_4b58#7"),
              "the DFU device \\\\?\\usb#vid_1209&pid_4b58#7 cannot be opened: no WinUSB "
              "driver is bound to USB\\VID_1209&PID_4B58 (USB ID 1209:4B58)");
    EXPECT_EQ(AdviceForOpenProblem(outcome.openProblem).exitCode, kExitDeviceFailed);
    FlashOutcome bare;
    bare.opened = false;
    EXPECT_EQ(DescribeOpenFailure(bare, "loopback:127.0.0.1:4000"),
              "the DFU device loopback:127.0.0.1:4000 cannot be opened");
}

TEST(ResultAdvice, OwnEndingsHaveDistinctNamesAndTheirExitCodes) {
    struct Case {
        Ending ending;
        ExitCode code;
    } cases[] = {
        {Ending::Success, kExitDone},
        {Ending::Usage, kExitUsage},
        {Ending::Refused, kExitUsage},
        {Ending::SeveralDevices, kExitUsage},
        {Ending::NoHeadset, kExitNoDevice},
        {Ending::NoDfuDevice, kExitNoDevice},
        {Ending::NoAnswer, kExitDeviceFailed},
        {Ending::BadFile, kExitBadFile},
        {Ending::NoMakersMark, kExitBadFile},
        {Ending::ForeignFile, kExitBadFile},
        {Ending::WrongModel, kExitBadFile},
        {Ending::InvalidValue, kExitBadFile},
        {Ending::NotStored, kExitDeviceFailed},
        {Ending::NotBack, kExitDeviceFailed},
        {Ending::PortBusy, kExitPortBusy},
        {Ending::PortFailed, kExitPortBusy},
        {Ending::Interrupted, kExitInterrupted},
        {Ending::CannotWrite, kExitUsage},
    };
    std::set<std::string> names;
    for (const Case& c : cases) {
        const Advice advice = AdviceFor(c.ending);
        EXPECT_EQ(advice.exitCode, c.code) << advice.name;
        EXPECT_TRUE(names.insert(advice.name).second) << "twice: " << advice.name;
        if (c.code != kExitDone) {
            EXPECT_STRNE(advice.todo, "") << advice.name;
        }
    }
}

TEST(HeadsetPorts, AsksOnlyUsbPortsOrNamedOnes) {
    struct Case {
        const char* name;
        const char* description;
        std::uint16_t vendor, product;
        bool mayAsk;
    } cases[] = {
        {"COM5", "USB Serial Device (COM5)", 0, 0, true},
        {"COM6", "Silicon Labs CP210x USB to UART Bridge", 0, 0, true},
        {"COM7", "KX-V5 Headset", device::kHeadsetUsbVendor, device::kHeadsetUsbProduct, true},
        {"COM8", "Communications Port", 0, 0, false},
        {"COM9", "Standard 33600 bps Modem", 0, 0, false},
        {"COM10", "", 0, 0, false},
        {"COM11", "", device::kHeadsetUsbVendor, 0x1234, false},  // another product
        {"com12", "", 0, 0, true},                                // named, in any case
    };
    for (const Case& c : cases) {
        device::FoundPort port;
        port.Name = c.name;
        port.Description = c.description;
        port.UsbVendor = c.vendor;
        port.UsbProduct = c.product;
        EXPECT_EQ(MayAskPort(port, {"COM12", "COM13"}), c.mayAsk) << c.name;
    }
    EXPECT_EQ(SplitList(";COM7;;COM8;", ';'), (std::vector<std::string>{"COM7", "COM8"}));
}

}  // namespace
}  // namespace service
