// A whole upgrade, natively: the main window (headless back end) with the real serial layer,
// bridge and engine, against the headset simulator on a pty and its DFU device on loopback
// TCP. Used by the end-to-end test and by the upgrade benchmark.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/Mainform.h"
#include "ui/headless/Headless.h"

class UpgradeRig {
  public:
    // Real-time points of one upgrade, from the Start click.
    struct Phases {
        double handOverMs = 0;     // Start click to the accepted reply of code 20
        double deviceWaitMs = 0;   // to the headset listening as a DFU device
        double reconfigureMs = 0;  // the three engine steps
        double downloadMs = 0;
        double manifestMs = 0;
        double reconnectMs = 0;  // headset back on its serial side, port reopened, queried
    };

    UpgradeRig();   // private folders, COM link folder, DFU address, headless back end
    ~UpgradeRig();  // window, simulator and folders go

    // Starts qv-headset-sim (its path) on COM5, with further arguments of the caller's;
    // false when it did not come up.
    bool StartSimulator(const std::string& simulator, const std::vector<std::string>& extra = {});
    // A firmware file for the simulated headset with an image of the given size, made with
    // qvdfufile (its path). "" on failure.
    std::string MakeFirmwareFile(const std::string& dfufile, std::size_t imageBytes);
    // Creates the main window (English texts) and dismisses the start-up prompt.
    TMajorForm* OpenWindow();
    // Opens COM5 and waits for the query sequence to end.
    bool OpenAndQuery();
    // The whole upgrade from the Start button to the reconnected, re-read headset.
    // Returns "" on success, else what went wrong.
    std::string Upgrade(const std::string& firmwareFile, Phases* phases);

    // The simulator's serial line, as its COM link names it (for a peer of the bench's own
    // while the window has the port closed).
    std::string SimulatorLine() const { return comDir_ + "/com5"; }
    // What the simulator printed (its requests and writes); gone with the rig.
    std::string SimulatorLog() const { return log_; }

    ui::THeadlessBackend& Headless() { return *headless_; }
    TMajorForm* Form() { return form_; }

  private:
    bool WaitForLog(const std::string& word, int count, int timeoutMs = 30000);
    bool RunTimersUntil(const std::function<bool()>& done, int timeoutMs = 120000);

    std::string root_, comDir_, log_;
    int dfuPort_ = 0;
    pid_t simulator_ = -1;
    ui::THeadlessBackend* headless_ = nullptr;
    TMajorForm* form_ = nullptr;
};
