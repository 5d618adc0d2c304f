// The main window's conversation with the headset: opening and closing the port, one request
// at a time, received bytes assembled into lines, replies accepted only for the awaited
// request, the query sequence, the reply time-out and the communication log.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/Mainform.h"
#include "app/Texts.h"
#include "device/DeviceConfigLine.h"
#include "device/ports/PortTables.h"
#include "device/protocol/Protocol.h"
#include "upgrade/enum/UsbWalk.h"

namespace {

constexpr int32_t kNoCommand = 9999;
constexpr UINT kReplyTimeoutMs = 1000;
constexpr DWORD kOpenRetryWaitMs = 1000;

void CopyToField(TTextField& field, const std::string& text) {
    std::size_t n = std::min(text.size(), sizeof field - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The code that follows an accepted reply in a chain, or 0 when the chain ends there.
int32_t NextInChain(int32_t code) {
    switch (code) {
        case 7:
            return 8;
        case 8:
            return 9;
        case 9:
            return 10;
        case 10:
            return 1;
        case 1:
            return 2;
        case 2:
            return 3;
        case 3:
            return 4;
        case 4:
            return 5;
        case 21:
            return 22;
        case 22:
            return 23;
        case 27:
            return 7;  // a restore is followed by the whole query sequence
        default:
            return 0;
    }
}

}  // namespace

void TMajorForm::Log(const std::string& line) {
    InfoMemo->Lines().Add(line);
}

// ---- Opening and closing

void TMajorForm::OpenComPortButtonClick(ui::TObject*) {
    const int i = ComPortListBox->ItemIndex();
    // Without a selected row there is no port to open.
    if (i < 0 || i >= device::kMaxPorts) return;
    const bool ok = OpenSerialPort(device::ListedPortNames[i]);
    PortSessionActive = ok ? 1 : 0;
    if (ok) {
        CopyToField(ComPortName, device::ListedPortDescriptions[i]);
        CopyToField(OpenedPortName, device::ListedPortNames[i]);
        PendingCommand = 7;
        SendCommand();
    } else {
        ComPortName[0] = '\0';
        OpenedPortName[0] = '\0';
    }
}

bool TMajorForm::OpenSerialPort(const std::string& name) {
    ClosePort();
    PortOpen = false;
    ComPort1->SetBaudRate(TBaudRate::br115200);
    ComPort1->SetDataBits(TDataBits::db8);
    ComPort1->SetParity(TParity::paNone);
    ComPort1->SetStopBits(TStopBits::sb1);
    bool opened = false;
    for (int pass = 0; pass < 2 && !opened; ++pass) {
        try {
            ComPort1->SetDeviceName(name);
            ComPort1->Open();
            opened = true;
        } catch (const EComError&) {
            try {
                ComPort1->SetDeviceName("\\\\.\\" + name);
                ComPort1->Open();
                opened = true;
            } catch (const EComError&) {
                ui::SleepMs(kOpenRetryWaitMs);
            }
        }
    }
    if (opened) {
        // A session starts with an empty line buffer: half a line, or the tail of an overlong
        // one, left by a headset that fell silent would otherwise spoil its first reply.
        RxLineLength = 0;
        RxLineOverflow = false;
        PortOpen = true;
        UpdateControlStates();
        return true;
    }
    ui::Application->MessageBox(this, app::LoadText(20104), app::LoadText(30205),
                                MB_OK | MB_ICONERROR);
    return false;
}

void TMajorForm::ClosePort() {
    PortOpen = false;
    try {
        ComPort1->Close();
    } catch (const EComError&) {
        // A port that fails to close is closed as far as the window is concerned.
    }
    UpdateControlStates();
}

void TMajorForm::DisconnectDevice() {
    ClosePort();
    FWVerLabel->SetCaption("");
    PortSessionActive = 0;
}

bool TMajorForm::PortActive() const {
    return ComPort1->Active();
}

void TMajorForm::CloseComPortButtonClick(ui::TObject*) {
    // A deliberate close abandons the awaited reply: no time-out message may follow it, and
    // the window must not go on refusing to close for a reply that can no longer come. A
    // restore in progress was not confirmed either, so a later query sequence must not claim it.
    UartRespTimeoutTimer->SetEnabled(false);
    PendingCommand = kNoCommand;
    RestoreDefaultPending = false;
    DisconnectDevice();
}

// ---- Sending

void TMajorForm::SendCommand() {
    device::RequestValues values;
    values.SpeedDial1 = SpeedDial1ToSend;
    values.SpeedDial2 = SpeedDial2ToSend;
    values.SpeedDial3 = SpeedDial3ToSend;
    values.A2dpMixPercent = A2DPAudioMixPercentageUpDown->Position();
    values.GpsMixPercent = GPSAudioMixPercentageUpDown->Position();
    values.GpsVoiceSharing = GPSAudioSharingUpDown->Position();
    const std::string request = device::FormatRequest(PendingCommand, values);
    // The revert values of the pages take what is sent, when it is sent.
    switch (PendingCommand) {
        case 21:
            CopyToField(SpeedDial1Saved, values.SpeedDial1);
            break;
        case 22:
            CopyToField(SpeedDial2Saved, values.SpeedDial2);
            break;
        case 23:
            CopyToField(SpeedDial3Saved, values.SpeedDial3);
            break;
        case 24:
            A2dpMixPercent = values.A2dpMixPercent;
            break;
        case 25:
            GpsMixPercent = values.GpsMixPercent;
            GpsVoiceSharing = values.GpsVoiceSharing;
            break;
        default:
            break;
    }
    Log("");
    Log("Send -> '" + request.substr(0, request.find_first_of("\r\n")) + "'");
    OkReceived = false;
    try {
        ComPort1->WriteString(request);
    } catch (const EComError& e) {
        // A request that never left cannot be answered: end it now rather than leave the
        // window waiting for it, and tell the user why.
        Log(e.what());
        UartRespTimeoutTimer->SetEnabled(false);
        PendingCommand = kNoCommand;
        RestoreDefaultPending = false;
        ClosePort();
        ui::Application->ShowException(e);
        return;
    }
    // A fresh one-second period, also when a request replaces one still awaited.
    UartRespTimeoutTimer->SetEnabled(false);
    UartRespTimeoutTimer->SetInterval(kReplyTimeoutMs);
    UartRespTimeoutTimer->SetEnabled(true);
}

void TMajorForm::NextCommand(int32_t code) {
    UartRespTimeoutTimer->SetEnabled(false);
    PendingCommand = code;
    SendCommand();
}

void TMajorForm::UartRespTimeoutTimerTimer(ui::TObject*) {
    UartRespTimeoutTimer->SetEnabled(false);
    PendingCommand = kNoCommand;
    // The restore was not confirmed: a later query sequence must not claim it was.
    RestoreDefaultPending = false;
    ClosePort();
    ui::Application->MessageBox(this, app::LoadText(20105), app::LoadText(30205),
                                MB_OK | MB_ICONWARNING);
}

// ---- Receiving

void TMajorForm::AppendReceived(const char* bytes, int32_t count) {
    for (int32_t k = 0; k < count; ++k) {
        const char c = bytes[k];
        if (RxLineOverflow) {
            // The rest of an overlong line goes, through its line feed.
            if (c == '\n') RxLineOverflow = false;
            continue;
        }
        if (RxLineLength == static_cast<int32_t>(sizeof RxLine)) {
            // The buffer is full. Complete lines in it stay; the partial line after them is
            // longer than any line may be and is dropped up to its line feed.
            int32_t keep = RxLineLength;
            while (keep > 0 && RxLine[keep - 1] != '\n') --keep;
            Log("Discarded " + std::to_string(RxLineLength - keep) +
                " bytes of a received line too long to handle");
            RxLineLength = keep;
            if (c != '\n') RxLineOverflow = true;
            continue;
        }
        RxLine[RxLineLength++] = c;
    }
}

void TMajorForm::ComPort1RxChar(TCustomComPort*) {
    // Everything waiting is read before any line is handled: a handler may close the port.
    const std::string incoming = ComPort1->ReadWaiting();
    // The bytes go into RxLine no faster than its complete lines are handed on, so a burst
    // longer than RxLine loses none of its lines; only a line too long for it is dropped.
    std::size_t done = 0;
    do {
        const std::size_t left = incoming.size() - done;
        const std::size_t room = sizeof RxLine - static_cast<std::size_t>(RxLineLength);
        const std::size_t take = !PortOpen ? left : std::min(left, std::max<std::size_t>(room, 1));
        AppendReceived(incoming.data() + done, static_cast<int32_t>(take));
        done += take;
        // With the port closed the bytes stay in RxLine for the next receive event.
        while (PortOpen) {
            const char* feed = static_cast<const char*>(
                std::memchr(RxLine, '\n', static_cast<size_t>(RxLineLength)));
            if (feed == nullptr) break;
            const int32_t consumed = static_cast<int32_t>(feed - RxLine) + 1;
            char line[1024] = {};
            for (int32_t k = 0; k + 1 < consumed; ++k)
                line[k] = RxLine[k] == '\r' ? '\0' : RxLine[k];
            std::memmove(RxLine, RxLine + consumed, static_cast<size_t>(RxLineLength - consumed));
            RxLineLength -= consumed;
            Log(line);
            // A handler may close the port (a request that cannot be written does): the lines
            // left then stay until the next open, which drops them with the rest of RxLine.
            HandleReplyLine(line);
        }
    } while (done < incoming.size());
}

void TMajorForm::HandleReplyLine(const char* line) {
    const device::LineKind kind = device::ClassifyLine(line);
    if (kind == device::LineKind::Acknowledgement) {
        OkReceived = true;
        return;
    }
    if (kind != device::LineKind::Status) return;
    const device::StatusReply reply = device::ParseStatusLine(line);
    // Idle is 9999, which the headset can write too: only the codes the tool sends are answers.
    if (!device::AcceptsReply(reply, PendingCommand, OkReceived)) return;

    Log("");
    Log(device::ReplyLogLine(reply));
    switch (reply.Code) {
        case 8:
            FWVerLabel->SetCaption(app::LoadText(20501) + device::VersionLabelSuffix(reply.Value1));
            break;
        case 9:
            CopyToField(DeviceName, reply.Text);
            break;
        case 10:
            ShowDeviceConfigText();
            CopyToField(DeviceBdAddress, reply.Text);
            DeviceBdAddrInfoLabel->SetCaption(app::LoadText(30233) + " : " + DeviceBdAddress);
            break;
        case 1:
            SpeedDial1LabeledEdit->SetText(reply.Text);
            CopyToField(SpeedDial1Saved, reply.Text);
            break;
        case 2:
            SpeedDial2LabeledEdit->SetText(reply.Text);
            CopyToField(SpeedDial2Saved, reply.Text);
            break;
        case 3:
            SpeedDial3LabeledEdit->SetText(reply.Text);
            CopyToField(SpeedDial3Saved, reply.Text);
            break;
        case 4:
            A2DPAudioMixPercentageUpDown->SetPosition(reply.Value1);
            A2dpMixPercent = reply.Value1;
            break;
        case 5:
            GPSAudioMixPercentageUpDown->SetPosition(reply.Value1);
            GPSAudioSharingUpDown->SetPosition(reply.Value2);
            ShowGpsSharingText();
            GpsMixPercent = reply.Value1;
            GpsVoiceSharing = reply.Value2;
            UartRespTimeoutTimer->SetEnabled(false);
            PendingCommand = kNoCommand;
            SpeedDialChanged = false;
            A2dpMixChanged = false;
            GpsSettingChanged = false;
            if (RestoreDefaultPending) {
                RestoreDefaultPending = false;
                ui::Application->MessageBox(this, app::LoadText(20108), app::LoadText(30204),
                                            MB_OK | MB_ICONINFORMATION);
            }
            return;
        case 20:
            UartRespTimeoutTimer->SetEnabled(false);
            PendingCommand = kNoCommand;
            // Hand-over to the upgrade: the port closes at once, the engine starts a second
            // later.
            SavedCursor = ui::SetCurrentCursor(ui::LoadSystemCursor(IDC_WAIT));
            DFUCloseComPortTimer->SetEnabled(true);
            StartDFUTimer->SetEnabled(true);
            StartDFUTimer->SetInterval(1000);
            return;
        case 23:
        case 24:
        case 25:
            UartRespTimeoutTimer->SetEnabled(false);
            PendingCommand = kNoCommand;
            ui::Application->MessageBox(this, app::LoadText(20107), app::LoadText(30204),
                                        MB_OK | MB_ICONINFORMATION);
            return;
        default:
            break;
    }
    if (int32_t next = NextInChain(reply.Code)) NextCommand(next);
}

// The firmware and PSR file names of the connected headset, for the hidden device line.
void TMajorForm::ShowDeviceConfigText() {
    std::memset(upgrade::DeviceConfigText, 0, sizeof upgrade::DeviceConfigText);
    upgrade::WalkUsbDeviceTree();
    if (upgrade::DeviceConfigText[0] != '\0')
        DeviceInfoLabel->SetCaption(device::DeviceConfigLine(upgrade::DeviceConfigText));
}
