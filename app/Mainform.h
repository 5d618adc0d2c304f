// The program's one window, TMajorForm: its controls, its run-time state and its handlers.
//
// The class is one window, but its code is kept with the subsystem each part belongs to: the
// layout and the shell (start-up, close rules, device changes) in app/, the conversation with
// the headset and the settings pages in device/, the firmware upgrade in upgrade/.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "bridge/DfuBridge.h"
#include "serial/Comport.h"
#include "ui/Application.h"
#include "ui/Forms.h"

// The fixed-size text fields of the window: zero-terminated byte strings of 256 bytes.
using TTextField = char[256];

class TMajorForm : public ui::TForm {
  public:
    TMajorForm();
    ~TMajorForm() override;

    // ---- Controls on the window itself (tab order as listed)
    ui::TLabel* SelectComPortLabel;
    ui::TListBox* ComPortListBox;
    ui::TButton* OpenComPortButton;
    ui::TButton* CloseComPortButton;
    ui::TPageControl* PageControl1;
    ui::TButton* RestoreDefaultButton;
    ui::TButton* ExitButton;
    ui::TMemo* InfoMemo;
    ui::TPaintBox* PaintBox1;
    ui::TLabel* DeviceInfoLabel;
    ui::TLabel* DeviceBdAddrInfoLabel;
    ui::TLabel* FWVerLabel;

    // ---- Speed-dial page
    ui::TTabSheet* SpeedDialSettingTabSheet;
    ui::TLabeledEdit* SpeedDial1LabeledEdit;
    ui::TLabeledEdit* SpeedDial2LabeledEdit;
    ui::TLabeledEdit* SpeedDial3LabeledEdit;
    ui::TButton* SaveSpeedDialSettingButton;
    ui::TMemo* SpeedDialSettingMemo;

    // ---- A2DP page
    ui::TTabSheet* A2DPAudioSettingTabSheet;
    ui::TLabeledEdit* A2DPAudioMixPercentageLabeledEdit;
    ui::TUpDown* A2DPAudioMixPercentageUpDown;
    ui::TButton* SaveA2dpAudioSettingButton;
    ui::TMemo* A2DPAudioSettingMemo;

    // ---- GPS page
    ui::TTabSheet* GPSAudioSettingTabSheet;
    ui::TLabeledEdit* GPSAudioMixPercentageLabeledEdit;
    ui::TUpDown* GPSAudioMixPercentageUpDown;
    ui::TLabeledEdit* GPSAudioSharingLabeledEdit;
    ui::TUpDown* GPSAudioSharingUpDown;
    ui::TButton* SaveGPSAudioSettingButton;
    ui::TMemo* GPSAudioSettingMemo;

    // ---- Firmware-upgrade page
    ui::TTabSheet* DeviceFirmwareUpgradeTabSheet;
    ui::TButton* OpenDfuFileButton;
    ui::TLabel* DFUFileNameLabel;
    ui::TLabel* DfuDeviceLabel;
    ui::TLabel* ConfigInfoLabel;
    ui::TLabel* BdAddrInfoLabel;
    ui::TButton* StartDFUUpgradeButton;
    ui::TLabel* InfoLabel;
    ui::TLabel* ElapsedLabel;
    ui::TProgressBar* UpgradeProgressBar;
    ui::TLabel* HintLabel;

    // ---- Components without a visible area
    std::unique_ptr<TComPort> ComPort1;  // closed when the window goes
    ui::TOpenDialog* OpenDialog1;
    ui::TTimer* UartRespTimeoutTimer;
    ui::TTimer* ShowPromptTimer;
    ui::TTimer* ProgressTimer;
    ui::TTimer* StartDFUTimer;
    ui::TTimer* DFUCloseComPortTimer;

    // ---- Run-time state (one writer each: the window thread unless a comment says otherwise)
    DfuEngineHandle DfuEngine = nullptr;  // engine handle from the bridge, null = none
    std::string IniFilePath;              // full path of the settings file
    TTextField DfuFileName = {};          // the chosen firmware file, "" = none
    int32_t PendingCommand = 9999;        // code of the request awaiting a reply; 9999 = none
    bool OkReceived = false;
    bool PortOpen = false;
    int32_t PortSessionActive = 0;  // the user opened the port and has not closed it
    TTextField ComPortName = {};    // description of the port opened last
    bool SpeedDialChanged = false;
    bool A2dpMixChanged = false;
    bool GpsSettingChanged = false;
    bool RestoreDefaultPending = false;
    bool NoDeviceWarning = true;
    void* DeviceNotifyHandle = nullptr;
    TTextField DeviceName = {};
    TTextField DeviceBdAddress = {};
    char RxLine[1024] = {};  // received bytes not yet consumed as lines
    int32_t RxLineLength = 0;
    bool RxLineOverflow = false;  // dropping an overlong line up to its line feed
    TTextField SpeedDial1Saved = {};
    TTextField SpeedDial2Saved = {};
    TTextField SpeedDial3Saved = {};
    // The speed dials as validated at Save: the save chain sends these, not what the edits
    // hold by the time each request goes out.
    std::string SpeedDial1ToSend;
    std::string SpeedDial2ToSend;
    std::string SpeedDial3ToSend;
    int32_t A2dpMixPercent = 0;
    int32_t GpsMixPercent = 0;
    int32_t GpsVoiceSharing = 0;
    HCURSOR SavedCursor = nullptr;
    TTextField OpenedPortName = {};  // name of the port opened last (its description may be empty)
    TTextField UsbDeviceName = {};   // first DFU device found by the last device check
    bool UsbDevicePresent = false;
    bool CallbackRegistered = false;
    int32_t UpgradeStage = 0;  // 0 = none, 1 = reconfigure, 2 = download, 3 = manifest
    DWORD UpgradeStartTick = 0;
    // Written by the engine's completion notification (on the engine's thread), read by the
    // window's progress timer: the three values are stored before StepCompleted is set.
    std::atomic<int32_t> UpgradeResult{0};
    std::atomic<int32_t> UpgradeOperation{0};
    std::atomic<int32_t> UpgradeSubOperation{0};
    std::atomic<bool> StepCompleted{false};

    // ---- Window events
    void FormCreate(ui::TObject* sender);
    void FormShow(ui::TObject* sender);
    void ShowPromptTimerTimer(ui::TObject* sender);
    void FormCloseQuery(ui::TObject* sender, bool& canClose);
    void FormClose(ui::TObject* sender, ui::TCloseAction& action);
    void ExitButtonClick(ui::TObject* sender);
    void PaintBox1Click(ui::TObject* sender);
    void WndProc(ui::TMessage& message) override;

    // Sets label's caption to text with line feeds inserted between characters so that no line
    // is wider than the label.
    void SetWrappedLabelText(ui::TLabel* label, const std::string& text);

    // ---- Conversation with the headset
    void OpenComPortButtonClick(ui::TObject* sender);
    void CloseComPortButtonClick(ui::TObject* sender);
    void ComPort1RxChar(TCustomComPort* sender);
    void UartRespTimeoutTimerTimer(ui::TObject* sender);
    bool OpenSerialPort(const std::string& name);
    void ClosePort();
    void DisconnectDevice();
    void SendCommand();
    void HandleReplyLine(const char* line);
    void UpdateControlStates();
    void RefreshComPortList();
    void SelectUsbPort();
    bool PortActive() const;
    // Whether a port table entry is the port opened last: by its description, or by its name
    // when that port had no description (several ports may lack one).
    bool IsOpenedPort(const char* name, const char* description) const;

    // ---- Settings pages
    void SpeedDial1LabeledEditChange(ui::TObject* sender);
    void SpeedDial2LabeledEditChange(ui::TObject* sender);
    void SpeedDial3LabeledEditChange(ui::TObject* sender);
    void A2DPAudioMixPercentageUpDownChanging(ui::TObject* sender, bool& allowChange);
    void GPSAudioMixPercentageUpDownChanging(ui::TObject* sender, bool& allowChange);
    void GPSAudioSharingUpDownChanging(ui::TObject* sender, bool& allowChange);
    void GPSAudioSharingUpDownClick(ui::TObject* sender, ui::TUDBtnType button);
    void SaveSpeedDialSettingButtonClick(ui::TObject* sender);
    void SaveA2dpAudioSettingButtonClick(ui::TObject* sender);
    void SaveGPSAudioSettingButtonClick(ui::TObject* sender);
    void RestoreDefaultButtonClick(ui::TObject* sender);
    void PageControl1Changing(ui::TObject* sender, bool& allowChange);
    void ShowGpsSharingText();

    // ---- Firmware file
    void OpenDfuFileButtonClick(ui::TObject* sender);
    void ValidateFirmwareFile();
    bool FirmwareMatchesDevice() const;

    // ---- Firmware upgrade
    void StartDFUUpgradeButtonClick(ui::TObject* sender);
    void DFUCloseComPortTimerTimer(ui::TObject* sender);
    void StartDFUTimerTimer(ui::TObject* sender);
    void StartDfuEngine();
    void CheckUsbDevice();
    void HandleDfuNotification(int32_t kind, const DfuStatusRecord& record);
    void ProgressTimerTimer(ui::TObject* sender);

  private:
    void CreateControls();
    void HandleDeviceChange(ui::TMessage& message);
    void AppendReceived(const char* bytes, int32_t count);
    void NextCommand(int32_t code);
    void ShowDeviceConfigText();
    void ShowProgress(const DfuStatusRecord& record);
    void StepStarted(bool outcome);
    void FailureReset();
    void ReconnectAfterUpgrade();
    void Log(const std::string& line);
};

// The one main window of the program (set by Application->CreateForm).
extern TMajorForm* MajorForm;

// The engine's notifications, handed to the bridge: forwarded to the main window.
void DFUBRIDGE_CALL DfuNotificationCallback(int32_t kind, const DfuStatusRecord* record);

// Process-wide: the window has not been shown yet.
extern bool FirstShow;
