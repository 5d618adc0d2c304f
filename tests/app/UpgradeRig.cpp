#include "tests/app/UpgradeRig.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/Texts.h"
#include "device/ports/PortBackend.h"
#include "device/ports/PortTables.h"
#include "tests/app/HeadsetPeer.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

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

}  // namespace

UpgradeRig::UpgradeRig() {
    char pattern[] = "/tmp/qv-upgrade-XXXXXX";
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

UpgradeRig::~UpgradeRig() {
    ui::Application->Finalize();
    if (simulator_ > 0) {
        kill(simulator_, SIGTERM);
        waitpid(simulator_, nullptr, 0);
    }
    app::SetTextLanguageOverride(0);
    unsetenv("QV_DFU_LOOPBACK");
    unsetenv("QV_COM_DIR");
    std::string cmd = "rm -rf '" + root_ + "'";
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
}

bool UpgradeRig::StartSimulator(const std::string& simulator,
                                const std::vector<std::string>& extra) {
    log_ = root_ + "/sim.log";
    const std::string port = std::to_string(dfuPort_);
    const std::string state = root_ + "/headset.state";
    std::fflush(nullptr);  // the child must not repeat what is still buffered
    simulator_ = fork();
    if (simulator_ == 0) {
        if (freopen(log_.c_str(), "w", stdout) == nullptr) _exit(126);
        // The DFU device as fast as the engine asks: the rig tests and times the tool, not a
        // headset's pace.
        std::vector<std::string> args = {simulator, "--com",      "COM5", "--com-dir",
                                         comDir_,   "--state",    state,  "--dfu-port",
                                         port,      "--dfu-pace", "fast"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        execv(simulator.c_str(), argv.data());
        _exit(127);
    }
    return WaitForLog("READY", 1);
}

bool UpgradeRig::WaitForLog(const std::string& word, int count, int timeoutMs) {
    return PumpUntil([&] { return Count(ReadWholeFile(log_), word) >= count; }, timeoutMs);
}

std::string UpgradeRig::MakeFirmwareFile(const std::string& dfufile, std::size_t imageBytes) {
    const std::string image = root_ + "/image.bin";
    {
        std::ofstream out(image, std::ios::binary);
        for (std::size_t i = 0; i < imageBytes; ++i)
            out.put(static_cast<char>((i * 7 + i / 251) & 0xFF));
    }
    const std::string file = root_ + "/KX-V5_v103.dfu";
    const std::string cmd = dfufile + " pack -i " + image + " -o " + file +
                            " -v 1209 -p 4B58 -r 0103 -c 'QuorVane KX-V5 V1.03' >/dev/null";
    return std::system(cmd.c_str()) == 0 ? file : std::string();
}

TMajorForm* UpgradeRig::OpenWindow() {
    ui::Application->CreateForm(MajorForm);
    form_ = MajorForm;
    form_->Show();
    headless_->Advance(100);
    ui::Application->ProcessMessages();
    headless_->ClearMessageBoxes();
    return form_;
}

bool UpgradeRig::RunTimersUntil(const std::function<bool()>& done, int timeoutMs) {
    return PumpUntil(
        [&] {
            if (done()) return true;
            headless_->Advance(100);
            return false;
        },
        timeoutMs);
}

bool UpgradeRig::OpenAndQuery() {
    form_->RefreshComPortList();
    int row = -1;
    for (int i = 0; i < device::ListedPortCount; ++i)
        if (strcasecmp(device::ListedPortNames[i], "COM5") == 0) row = i;
    if (row < 0) return false;
    form_->ComPortListBox->SetItemIndex(row);
    form_->OpenComPortButton->UserClick();
    return form_->PortOpen && PumpUntil([&] { return form_->PendingCommand == 9999; }, 10000);
}

std::string UpgradeRig::Upgrade(const std::string& firmwareFile, Phases* phases) {
    TMajorForm* form = form_;
    std::strcpy(form->DfuFileName, firmwareFile.c_str());
    form->PageControl1->SetActivePageIndex(3);
    auto mark = Clock::now();
    if (!form->StartDFUUpgradeButton->UserClick()) return "Start button not reachable";
    if (!PumpUntil([&] { return form->PendingCommand == 9999; }, 10000)) return "no reply to 20";
    phases->handOverMs = MsSince(mark);
    mark = Clock::now();
    headless_->Advance(1);  // the port closes
    ui::Application->ProcessMessages();
    // The headset leaves its serial side and comes up as a DFU device.
    if (!WaitForLog("DFU 127.0.0.1:", 1)) return "the headset did not become a DFU device";
    phases->deviceWaitMs = MsSince(mark);
    mark = Clock::now();
    headless_->Advance(1000);  // the engine starts
    ui::Application->ProcessMessages();
    if (form->UpgradeStage != 1) {
        return headless_->MessageBoxes().empty() ? "reconfigure did not start"
                                                 : headless_->MessageBoxes().back().text;
    }
    // Each step is started by the progress timer after the previous one completed.
    double* steps[] = {&phases->reconfigureMs, &phases->downloadMs, &phases->manifestMs};
    for (int stage = 1; stage <= 3; ++stage) {
        const bool completed = PumpUntil([&] { return form->StepCompleted.load(); }, 120000);
        *steps[stage - 1] = MsSince(mark);
        mark = Clock::now();
        if (!completed) return "step " + std::to_string(stage) + " did not complete";
        if (form->UpgradeResult != 0) return "step failed: " + form->InfoLabel->Caption();
        if (stage < 3) {
            if (!RunTimersUntil([&] { return form->UpgradeStage == stage + 1; }))
                return "next step did not start";
        }
    }
    // Once the headset is back on its serial side, the success ending reconnects to it.
    if (!WaitForLog("READY", 2)) return "the headset did not come back";
    headless_->Advance(100);
    ui::Application->ProcessMessages();
    if (!form->PortOpen) return "the port was not reopened";
    if (!PumpUntil([&] { return form->PendingCommand == 9999; }, 10000)) return "no re-read";
    phases->reconnectMs = MsSince(mark);
    return std::string();
}
