#include "serial/posix/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "serial/posix/TermiosMapping.h"

namespace commapi::posix {
namespace {

constexpr DWORD ERROR_INVALID_FUNCTION = 1;

DWORD OpenErrorCode(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
        case ELOOP:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EBUSY:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

// Milliseconds from a 64-bit product of a time-out multiplier and a count, plus a constant.
// Capped at about 69 years: a deadline is kept on the nanosecond clock, where a larger value
// would overflow and end the transfer at once instead of practically never.
std::chrono::milliseconds TotalTimeout(DWORD multiplier, DWORD count, DWORD constant) {
    constexpr std::uint64_t kLongest = std::uint64_t{1} << 41;
    std::uint64_t total = static_cast<std::uint64_t>(multiplier) * count + constant;
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::min(total, kLongest)));
}

}  // namespace

DWORD SerialDevice::Open(const std::string& path, std::shared_ptr<SerialDevice>* device) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return OpenErrorCode(errno);
    // One owner at a time, as Windows grants a COM port: the lock stops other users of this
    // layer, TIOCEXCL other programs (except privileged ones).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return ERROR_ACCESS_DENIED;
    }
    ioctl(fd, TIOCEXCL);
    MakeRaw(fd);
    int wake[2];
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    *device = std::make_shared<SerialDevice>(fd, wake[0], wake[1]);
    return ERROR_SUCCESS;
}

SerialDevice::SerialDevice(int fd, int wakeRead, int wakeWrite)
    : fd_(fd), wakeRead_(wakeRead), wakeWrite_(wakeWrite) {
    termios settings{};
    if (tcgetattr(fd_, &settings) == 0) {
        dcb_ = DcbFromTermios(settings);
    } else {
        dcb_.DCBlength = sizeof(DCB);
        dcb_.BaudRate = 9600;
        dcb_.ByteSize = 8;
        dcb_.fBinary = 1;
    }
    ioThread_ = std::thread([this] { IoLoop(); });
}

SerialDevice::~SerialDevice() {
    OnClose();
}

void SerialDevice::OnClose() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return;
        closing_ = true;
        // Closing a handle abandons its transfers; whoever waits for one is released.
        FailEverything(ERROR_OPERATION_ABORTED);
    }
    Wake();
    ioThread_.join();
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void SerialDevice::Wake() {
    char byte = 1;
    // A full pipe already holds a wake-up.
    ssize_t written = ::write(wakeWrite_, &byte, 1);
    (void)written;
}

void SerialDevice::DrainWake() {
    char bytes[64];
    while (::read(wakeRead_, bytes, sizeof bytes) > 0) {
    }
}

void SerialDevice::IoLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!closing_) {
        pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {fd_, 0, 0}};
        nfds_t count = 1;
        // A hung-up tty reports POLLHUP for ever; watch it only while there is room to read
        // what it may still hold.
        if (!lost_ && !(hangupSeen_ && !HasRoom())) {
            if (HasRoom()) fds[1].events |= POLLIN;
            if (!writes_.empty()) fds[1].events |= POLLOUT;
            count = 2;
        }
        int timeout = PollTimeout(Clock::now());
        lock.unlock();
        int ready = ::poll(fds, count, timeout);
        lock.lock();
        if (closing_) break;
        DrainWake();
        if (ready > 0 && count == 2) {
            short events = fds[1].revents;
            if (events & (POLLIN | POLLHUP | POLLERR)) ReceiveAvailable();
            if (events & (POLLHUP | POLLERR | POLLNVAL)) {
                hangupSeen_ = true;
                // Everything readable has been read and the line is still down.
                if (!lost_ && HasRoom()) LoseDevice();
            }
        }
        Clock::time_point now = Clock::now();
        ServiceWrites(now);
        ServiceReads(now);
        ServiceEventWait();
    }
}

int SerialDevice::PollTimeout(Clock::time_point now) const {
    bool any = false;
    Clock::time_point next{};
    auto consider = [&](Clock::time_point when) {
        if (!any || when < next) next = when;
        any = true;
    };
    if (!reads_.empty()) {
        const Transfer& read = reads_.front();
        if (read.hasDeadline) consider(read.deadline);
        if (read.interval != 0 && read.done > 0) {
            consider(read.lastByte + std::chrono::milliseconds(read.interval));
        }
    }
    if (!writes_.empty() && writes_.front().hasDeadline) consider(writes_.front().deadline);
    if (!any) return -1;
    if (next <= now) return 0;
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    return static_cast<int>(std::min<long long>(wait + 1, 1 << 30));
}

void SerialDevice::ReceiveAvailable() {
    if (lost_) return;
    char buffer[1024];
    while (HasRoom()) {
        std::size_t room = std::min(inputCapacity_ - input_.size(), sizeof buffer);
        ssize_t got = ::read(fd_, buffer, room);
        if (got > 0) {
            bool appended = false;
            for (ssize_t i = 0; i < got; ++i) {
                if (dcb_.fNull && buffer[i] == '\0') continue;
                input_.push_back(buffer[i]);
                appended = true;
                if (buffer[i] == dcb_.EvtChar) history_ |= mask_ & EV_RXFLAG;
            }
            if (appended) history_ |= mask_ & EV_RXCHAR;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // End of file or EIO: the line has hung up.
        LoseDevice();
        break;
    }
}

void SerialDevice::SendPending() {
    while (!writes_.empty() && !lost_) {
        Transfer& write = writes_.front();
        if (write.done == write.count) {
            Finish(write.overlapped, write.event, ERROR_SUCCESS, write.done);
            writes_.pop_front();
            continue;
        }
        ssize_t sent = ::write(fd_, write.writeBuffer + write.done, write.count - write.done);
        if (sent > 0) {
            write.done += static_cast<DWORD>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        LoseDevice();
    }
}

void SerialDevice::ServiceReads(Clock::time_point now) {
    while (!reads_.empty()) {
        Transfer& read = reads_.front();
        DWORD take =
            static_cast<DWORD>(std::min<std::size_t>(read.count - read.done, input_.size()));
        if (take > 0) {
            std::copy_n(input_.begin(), take, read.readBuffer + read.done);
            input_.erase(input_.begin(), input_.begin() + take);
            read.done += take;
            read.lastByte = now;
        }
        bool complete = read.done == read.count;
        bool expired = read.hasDeadline && now >= read.deadline;
        bool quiet = read.interval != 0 && read.done > 0 &&
                     now - read.lastByte >= std::chrono::milliseconds(read.interval);
        if (!complete && !expired && !quiet) break;
        // A time-out ends a serial read successfully with the bytes received so far.
        Finish(read.overlapped, read.event, ERROR_SUCCESS, read.done);
        reads_.pop_front();
    }
}

void SerialDevice::ServiceWrites(Clock::time_point now) {
    SendPending();
    if (!writes_.empty() && writes_.front().hasDeadline && now >= writes_.front().deadline) {
        Transfer& write = writes_.front();
        Finish(write.overlapped, write.event, ERROR_SUCCESS, write.done);
        writes_.pop_front();
    }
}

void SerialDevice::ServiceEventWait() {
    if (!eventWait_) return;
    DWORD occurred = history_ & mask_;
    if (occurred == 0) return;
    *eventWait_->mask = occurred;
    history_ = 0;
    Finish(eventWait_->overlapped, eventWait_->event, ERROR_SUCCESS, 0);
    eventWait_.reset();
}

void SerialDevice::FailEverything(DWORD error) {
    for (Transfer& read : reads_) Finish(read.overlapped, read.event, error, read.done);
    reads_.clear();
    for (Transfer& write : writes_) Finish(write.overlapped, write.event, error, write.done);
    writes_.clear();
    if (eventWait_) {
        Finish(eventWait_->overlapped, eventWait_->event, error, 0);
        eventWait_.reset();
    }
}

void SerialDevice::LoseDevice() {
    lost_ = true;
    history_ = 0;
    FailEverything(ERROR_ACCESS_DENIED);
}

void SerialDevice::Begin(OVERLAPPED* overlapped, const std::shared_ptr<Event>& event) {
    overlapped->Internal = STATUS_PENDING;
    overlapped->InternalHigh = 0;
    event->Reset();
}

void SerialDevice::Finish(OVERLAPPED* overlapped, const std::shared_ptr<Event>& event, DWORD error,
                          DWORD bytes) {
    overlapped->Internal = error;
    overlapped->InternalHigh = bytes;
    event->Set();
}

DWORD SerialDevice::Purge(DWORD flags) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return ERROR_INVALID_HANDLE;
        if (lost_) return ERROR_ACCESS_DENIED;
        if (flags & PURGE_RXABORT) {
            for (Transfer& read : reads_) {
                Finish(read.overlapped, read.event, ERROR_OPERATION_ABORTED, read.done);
            }
            reads_.clear();
        }
        if (flags & PURGE_TXABORT) {
            for (Transfer& write : writes_) {
                Finish(write.overlapped, write.event, ERROR_OPERATION_ABORTED, write.done);
            }
            writes_.clear();
        }
        if (flags & PURGE_RXCLEAR) {
            input_.clear();
            tcflush(fd_, TCIFLUSH);
        }
        if (flags & PURGE_TXCLEAR) tcflush(fd_, TCOFLUSH);
    }
    Wake();
    return ERROR_SUCCESS;
}

DWORD SerialDevice::Setup(DWORD inQueue, DWORD outQueue) {
    (void)outQueue;  // writes go straight to the tty, which has its own output buffer
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return ERROR_INVALID_HANDLE;
        if (lost_) return ERROR_ACCESS_DENIED;
        if (inQueue != 0) inputCapacity_ = std::max<std::size_t>(inQueue, 16);
    }
    Wake();
    return ERROR_SUCCESS;
}

DWORD SerialDevice::GetState(DCB* dcb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return ERROR_INVALID_HANDLE;
    if (lost_) return ERROR_ACCESS_DENIED;
    *dcb = dcb_;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::SetState(const DCB& dcb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return ERROR_INVALID_HANDLE;
    if (lost_) return ERROR_ACCESS_DENIED;
    termios settings{};
    if (tcgetattr(fd_, &settings) != 0) return ERROR_INVALID_FUNCTION;
    DWORD error = TermiosFromDcb(dcb, &settings);
    if (error != ERROR_SUCCESS) return error;
    // A tty refuses what its hardware cannot do (a pty, for instance, has no parity).
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) {
        return errno == EINVAL ? ERROR_INVALID_PARAMETER : ERROR_GEN_FAILURE;
    }
    dcb_ = dcb;
    dcb_.DCBlength = sizeof(DCB);
    dcb_.fBinary = 1;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::GetTimeouts(COMMTIMEOUTS* timeouts) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return ERROR_INVALID_HANDLE;
    if (lost_) return ERROR_ACCESS_DENIED;
    *timeouts = timeouts_;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return ERROR_INVALID_HANDLE;
    if (lost_) return ERROR_ACCESS_DENIED;
    timeouts_ = timeouts;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::SetMask(DWORD mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return ERROR_INVALID_HANDLE;
    mask_ = mask;
    history_ &= mask;
    // A new mask ends the pending wait: it completes successfully with no events.
    if (eventWait_) {
        *eventWait_->mask = 0;
        Finish(eventWait_->overlapped, eventWait_->event, ERROR_SUCCESS, 0);
        eventWait_.reset();
    }
    return ERROR_SUCCESS;
}

DWORD SerialDevice::WaitEvent(DWORD* mask, OVERLAPPED* overlapped,
                              const std::shared_ptr<Event>& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return ERROR_INVALID_HANDLE;
    if (lost_) return ERROR_ACCESS_DENIED;
    if (mask_ == 0 || eventWait_) return ERROR_INVALID_PARAMETER;
    ReceiveAvailable();
    if (lost_) return ERROR_ACCESS_DENIED;
    Begin(overlapped, event);
    // Events that occurred while no wait was pending are reported at once.
    DWORD occurred = history_ & mask_;
    if (occurred != 0) {
        *mask = occurred;
        history_ = 0;
        Finish(overlapped, event, ERROR_SUCCESS, 0);
        return ERROR_SUCCESS;
    }
    eventWait_.reset(new EventWait{mask, overlapped, event});
    return ERROR_IO_PENDING;
}

DWORD SerialDevice::ClearError(DWORD* errors, COMSTAT* status) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return ERROR_INVALID_HANDLE;
    if (lost_) return ERROR_ACCESS_DENIED;
    ReceiveAvailable();
    if (lost_) return ERROR_ACCESS_DENIED;
    if (errors != nullptr) *errors = lineErrors_;
    lineErrors_ = 0;
    if (status != nullptr) {
        *status = COMSTAT{};
        status->cbInQue = static_cast<DWORD>(input_.size());
        DWORD outQueue = 0;
        for (const Transfer& write : writes_) outQueue += write.count - write.done;
        status->cbOutQue = outQueue;
    }
    return ERROR_SUCCESS;
}

DWORD SerialDevice::Read(void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped,
                         const std::shared_ptr<Event>& event) {
    DWORD result = ERROR_IO_PENDING;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return ERROR_INVALID_HANDLE;
        if (lost_) return ERROR_ACCESS_DENIED;
        ReceiveAvailable();
        if (lost_) return ERROR_ACCESS_DENIED;
        Begin(overlapped, event);

        Transfer read;
        read.readBuffer = static_cast<char*>(buffer);
        read.count = count;
        read.overlapped = overlapped;
        read.event = event;
        const COMMTIMEOUTS& t = timeouts_;
        bool returnAtOnce = t.ReadIntervalTimeout == MAXDWORD &&
                            t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
        bool returnOnFirst =
            t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
            t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
        if (reads_.empty()) {
            DWORD take = static_cast<DWORD>(std::min<std::size_t>(count, input_.size()));
            std::copy_n(input_.begin(), take, read.readBuffer);
            input_.erase(input_.begin(), input_.begin() + take);
            read.done = take;
        }
        if (read.done == count || returnAtOnce || (returnOnFirst && read.done > 0)) {
            Finish(overlapped, event, ERROR_SUCCESS, read.done);
            if (done != nullptr) *done = read.done;
            result = ERROR_SUCCESS;
        } else {
            Clock::time_point now = Clock::now();
            read.lastByte = now;
            if (returnOnFirst) {
                read.hasDeadline = true;
                read.deadline = now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
                read.interval = 1;  // the first byte ends the read
            } else {
                auto total =
                    TotalTimeout(t.ReadTotalTimeoutMultiplier, count, t.ReadTotalTimeoutConstant);
                read.hasDeadline = total.count() != 0;
                read.deadline = now + total;
                if (t.ReadIntervalTimeout != MAXDWORD) read.interval = t.ReadIntervalTimeout;
            }
            reads_.push_back(std::move(read));
        }
    }
    // Taking bytes may have made room for more; a new read may need a time-out.
    Wake();
    return result;
}

DWORD SerialDevice::Write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED* overlapped,
                          const std::shared_ptr<Event>& event) {
    DWORD result = ERROR_IO_PENDING;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_) return ERROR_INVALID_HANDLE;
        if (lost_) return ERROR_ACCESS_DENIED;
        Begin(overlapped, event);

        Transfer write;
        write.writeBuffer = static_cast<const char*>(buffer);
        write.count = count;
        write.overlapped = overlapped;
        write.event = event;
        auto total = TotalTimeout(timeouts_.WriteTotalTimeoutMultiplier, count,
                                  timeouts_.WriteTotalTimeoutConstant);
        write.hasDeadline = total.count() != 0;
        write.deadline = Clock::now() + total;
        bool first = writes_.empty();
        writes_.push_back(write);
        if (first) {
            // Whatever the tty takes at once is sent right here; the I/O thread sends the rest.
            SendPending();
            if (writes_.empty()) {
                result = static_cast<DWORD>(overlapped->Internal);
                if (result == ERROR_SUCCESS && done != nullptr) *done = count;
            }
        }
    }
    Wake();
    return result;
}

bool SerialDevice::Result(const OVERLAPPED* overlapped, DWORD* error, DWORD* bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (overlapped->Internal == STATUS_PENDING) return false;
    *error = static_cast<DWORD>(overlapped->Internal);
    *bytes = static_cast<DWORD>(overlapped->InternalHigh);
    return true;
}

}  // namespace commapi::posix
