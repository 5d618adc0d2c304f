#include "console/HeadsetLink.h"

#include <chrono>
#include <thread>

#include "console/Interrupt.h"
#include "console/SupportLog.h"
#include "device/protocol/Protocol.h"
#include "serial/Comport.h"

namespace service {
namespace {

// Error codes of the serial layer on every platform.
constexpr int kErrorFileNotFound = 2;
constexpr int kErrorAccessDenied = 5;
constexpr int kErrorSharingViolation = 32;  // Windows, a port another process holds
constexpr int kPollMs = 5;
// A received line holds at most this much; the rest of a longer one is dropped.
constexpr size_t kMaxLine = 1023;

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

const char* AnswerWord(HeadsetLink::Answer answer) {
    switch (answer) {
        case HeadsetLink::Answer::Answered:
            return "answered";
        case HeadsetLink::Answer::NoAnswer:
            return "no answer";
        case HeadsetLink::Answer::LineLost:
            return "the line was lost";
        case HeadsetLink::Answer::Interrupted:
            return "interrupted";
    }
    return "";
}

HeadsetLink::HeadsetLink(std::string port, SupportLog* log)
    : port_(std::move(port)), log_(log), com_(std::make_unique<TComPort>()) {}

HeadsetLink::~HeadsetLink() {
    Close();
}

HeadsetLink::OpenResult HeadsetLink::Open(std::string& reason) {
    com_->SetBaudRate(TBaudRate::br115200);
    com_->SetDataBits(TDataBits::db8);
    com_->SetParity(TParity::paNone);
    com_->SetStopBits(TStopBits::sb1);
    int code = 0;
    // Ports above COM9 open only by their device path on Windows; the window tries both too.
    for (const std::string& name : {port_, "\\\\.\\" + port_}) {
        try {
            com_->SetDeviceName(name);
            com_->Open();
            received_.clear();
            discarding_ = false;
            if (log_ != nullptr) log_->Line(port_, "opened");
            return OpenResult::Opened;
        } catch (const EComError& e) {
            if (name == port_ || code == kErrorFileNotFound) {
                code = e.ErrorCode();
                reason = e.what();
            }
        }
#ifndef _WIN32
        break;  // other systems name a port one way only
#endif
    }
    if (log_ != nullptr) log_->Line(port_, "cannot open: " + reason);
    if (code == kErrorFileNotFound) return OpenResult::NotFound;
    if (code == kErrorAccessDenied || code == kErrorSharingViolation) return OpenResult::Busy;
    return OpenResult::Failed;
}

void HeadsetLink::Close() {
    if (!com_->Active()) return;
    try {
        com_->Close();
    } catch (const EComError&) {
        // A port that fails to close is closed as far as we are concerned.
    }
    if (log_ != nullptr) log_->Line(port_, "closed");
}

HeadsetLink::Answer HeadsetLink::NextLine(std::string& line, long long deadlineMs) {
    for (;;) {
        const size_t feed = received_.find('\n');
        if (feed != std::string::npos) {
            const bool overlong = discarding_ || feed > kMaxLine;
            std::string raw = received_.substr(0, feed);
            received_.erase(0, feed + 1);
            discarding_ = false;
            if (overlong) {
                if (log_ != nullptr) log_->Line(port_, "<- (a line too long to handle)");
                continue;
            }
            line = std::string(device::LineContent(raw));
            if (log_ != nullptr) log_->Line(port_, "<- " + line);
            return Answer::Answered;
        }
        if (received_.size() > kMaxLine) {
            // An overlong line: what came so far goes, and the rest up to its line feed.
            received_.clear();
            discarding_ = true;
        }
        if (Interrupted()) return Answer::Interrupted;
        if (NowMs() >= deadlineMs) return Answer::NoAnswer;
        try {
            const std::string bytes = com_->ReadWaiting();
            if (bytes.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            received_ += bytes;
        } catch (const EComError& e) {
            if (log_ != nullptr) log_->Line(port_, std::string("line lost: ") + e.what());
            return Answer::LineLost;
        }
    }
}

HeadsetLink::Answer HeadsetLink::Request(int32_t code, const device::RequestValues& values,
                                         device::StatusReply& reply) {
    if (Interrupted()) return Answer::Interrupted;
    if (!com_->Active()) return Answer::LineLost;
    const std::string request = device::FormatRequest(code, values);
    if (log_ != nullptr) log_->Line(port_, "-> " + request.substr(0, request.size() - 1));
    try {
        com_->WriteString(request);
    } catch (const EComError& e) {
        if (log_ != nullptr) log_->Line(port_, std::string("cannot write: ") + e.what());
        return Answer::LineLost;
    }
    const long long deadline = NowMs() + kReplyTimeoutMs;
    bool okReceived = false;
    for (;;) {
        std::string line;
        const Answer answer = NextLine(line, deadline);
        if (answer != Answer::Answered) {
            if (answer == Answer::NoAnswer && log_ != nullptr)
                log_->Line(port_, "no answer to code " + std::to_string(code));
            return answer;
        }
        const device::LineKind kind = device::ClassifyLine(line);
        if (kind == device::LineKind::Acknowledgement) {
            okReceived = true;
            continue;
        }
        if (kind != device::LineKind::Status) continue;
        reply = device::ParseStatusLine(line);
        if (device::AcceptsReply(reply, code, okReceived)) {
            if (log_ != nullptr) log_->Line(port_, device::ReplyLogLine(reply));
            return Answer::Answered;
        }
    }
}

HeadsetLink::Answer HeadsetLink::ReadIdentity(HeadsetIdentity& identity) {
    device::StatusReply reply;
    const device::RequestValues none;
    for (int32_t code : {7, 8, 9, 10}) {
        const Answer answer = Request(code, none, reply);
        if (answer != Answer::Answered) return answer;
        if (code == 8) identity.version = reply.Value1;
        if (code == 9) identity.name = reply.Text;
        if (code == 10) identity.address = reply.Text;
    }
    return Answer::Answered;
}

HeadsetLink::Answer HeadsetLink::ReadSettings(HeadsetSettings& settings) {
    device::StatusReply reply;
    const device::RequestValues none;
    for (int32_t code : {1, 2, 3, 4, 5}) {
        const Answer answer = Request(code, none, reply);
        if (answer != Answer::Answered) return answer;
        if (code <= 3) settings.speedDial[code - 1] = reply.Text;
        if (code == 4) settings.a2dpPercent = reply.Value1;
        if (code == 5) {
            settings.gpsPercent = reply.Value1;
            settings.voiceSharing = reply.Value2;
        }
    }
    return Answer::Answered;
}

}  // namespace service
