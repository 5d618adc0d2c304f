// The whole chain, natively: the main window (headless) with the real serial layer, the real
// bridge and engine, against the headset simulator over a pty and its DFU device over
// loopback TCP. The headset is queried, upgraded with a 256 KiB image, and queried again.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/Texts.h"
#include "device/ports/PortBackend.h"
#include "device/ports/PortTables.h"
#include "tests/app/HeadsetPeer.h"
#include "tests/app/MainformTestFixture.h"

namespace {

// A TCP port nobody listens on now.
int FreeLoopbackPort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int Count(const std::string& text, const std::string& word) {
    int n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

class UpgradeEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-e2e-XXXXXX";
        root_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        comDir_ = root_ + "/com";
        mkdir(comDir_.c_str(), 0755);
        setenv("QV_COM_DIR", comDir_.c_str(), 1);
        dfuPort_ = FreeLoopbackPort();
        setenv("QV_DFU_LOOPBACK", ("127.0.0.1:" + std::to_string(dfuPort_)).c_str(), 1);
        device::SetPortBackend(nullptr);  // the COM link folder, as the program sees it
        FirstShow = true;
        headless_ = &ui::THeadlessBackend::Install();
        app::SetTextLanguageOverride(app::kLanguageEnglish);
    }

    void TearDown() override {
        ui::Application->Finalize();
        if (simulator_ > 0) {
            kill(simulator_, SIGTERM);
            waitpid(simulator_, nullptr, 0);
        }
        app::SetTextLanguageOverride(0);
        unsetenv("QV_DFU_LOOPBACK");
        unsetenv("QV_COM_DIR");
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
    }

    void StartSimulator() {
        log_ = root_ + "/sim.log";
        simulator_ = fork();
        if (simulator_ == 0) {
            const std::string port = std::to_string(dfuPort_);
            const std::string state = root_ + "/headset.state";
            freopen(log_.c_str(), "w", stdout);
            execl(QV_HEADSET_SIM, QV_HEADSET_SIM, "--com", "COM5", "--com-dir", comDir_.c_str(),
                  "--state", state.c_str(), "--dfu-port", port.c_str(), nullptr);
            _exit(127);
        }
        ASSERT_TRUE(WaitForLog("READY", 1));
    }

    // Waits (real time, pumping the window) until the simulator has written word n times.
    bool WaitForLog(const std::string& word, int n, int timeoutMs = 20000) {
        return PumpUntil([&] { return Count(ReadWholeFile(log_), word) >= n; }, timeoutMs);
    }

    std::string MakeFirmwareFile() {
        const std::string image = root_ + "/image.bin";
        {
            std::ofstream out(image, std::ios::binary);
            for (int i = 0; i < 256 * 1024; ++i)
                out.put(static_cast<char>((i * 7 + i / 251) & 0xFF));
        }
        const std::string file = root_ + "/KX-V5_v103.dfu";
        const std::string cmd = std::string(QV_DFUFILE) + " pack -i " + image + " -o " + file +
                                " -v 1209 -p 4B58 -r 0103 -c 'QuorVane KX-V5 V1.03' >/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return file;
    }

    // Runs the window's timers in 100 ms steps until done() holds.
    bool RunTimersUntil(const std::function<bool()>& done, int timeoutMs = 60000) {
        return PumpUntil(
            [&] {
                if (done()) return true;
                headless_->Advance(100);
                return false;
            },
            timeoutMs);
    }

    // Opens the headset's port and waits for the query sequence to end.
    void OpenAndQuery(TMajorForm* form) {
        form->RefreshComPortList();
        int row = -1;
        for (int i = 0; i < device::ListedPortCount; ++i)
            if (strcasecmp(device::ListedPortNames[i], "COM5") == 0) row = i;
        ASSERT_GE(row, 0) << device::ListedPortCount << " " << device::ListedPortNames[0];
        form->ComPortListBox->SetItemIndex(row);
        form->OpenComPortButton->UserClick();
        ASSERT_TRUE(form->PortOpen);
        ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }, 10000));
    }

    std::string root_, comDir_, log_;
    int dfuPort_ = 0;
    pid_t simulator_ = -1;
    ui::THeadlessBackend* headless_ = nullptr;
};

TEST_F(UpgradeEndToEndTest, HeadsetIsUpgradedAndShowsItsNewVersion) {
    StartSimulator();
    ui::Application->CreateForm(MajorForm);
    TMajorForm* form = MajorForm;
    ASSERT_NE(form->DfuEngine, nullptr);
    form->Show();
    headless_->Advance(100);
    ui::Application->ProcessMessages();
    headless_->ClearMessageBoxes();

    OpenAndQuery(form);
    EXPECT_EQ(form->FWVerLabel->Caption(), "Firmware version: V1.02");
    EXPECT_STREQ(form->DeviceName, "KX-V5");

    const std::string file = MakeFirmwareFile();
    std::strcpy(form->DfuFileName, file.c_str());
    form->PageControl1->SetActivePageIndex(3);
    ASSERT_TRUE(form->StartDFUUpgradeButton->UserClick());
    ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }, 10000));
    headless_->Advance(1);  // the port closes
    ui::Application->ProcessMessages();
    // The headset leaves its serial side and comes up as a DFU device.
    ASSERT_TRUE(WaitForLog("DFU 127.0.0.1:", 1));
    headless_->Advance(1000);  // the engine starts
    ui::Application->ProcessMessages();
    ASSERT_EQ(form->UpgradeStage, 1)
        << (headless_->MessageBoxes().empty() ? std::string()
                                              : headless_->MessageBoxes().back().text);
    EXPECT_EQ(form->DfuDeviceLabel->Caption(), form->UsbDeviceName);

    // Reconfigure, then download, then manifest: each step is started by the timer.
    ASSERT_TRUE(RunTimersUntil([&] { return form->UpgradeStage == 3 && form->StepCompleted; }))
        << form->InfoLabel->Caption();
    ASSERT_EQ(form->UpgradeResult, 0);
    // Once the headset is back on its serial side, the success ending reconnects to it.
    ASSERT_TRUE(WaitForLog("READY", 2));
    headless_->Advance(100);
    ui::Application->ProcessMessages();
    ASSERT_GE(headless_->MessageBoxes().size(), 1u);
    EXPECT_EQ(headless_->MessageBoxes()[0].text, "Firmware upgrade completes.");
    EXPECT_EQ(form->InfoLabel->Caption(), "Verifying in progress. 100%");
    ASSERT_TRUE(form->PortOpen);
    ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }, 10000));
    EXPECT_EQ(form->FWVerLabel->Caption(), "Firmware version: V1.03");
    EXPECT_EQ(headless_->MessageBoxes().size(), 1u);
}

}  // namespace
