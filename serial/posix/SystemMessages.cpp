#include "serial/posix/SystemMessages.h"

namespace commapi::posix {

const char* SystemMessageText(DWORD code) {
    switch (code) {
        case 0:
            return "The operation completed successfully.\r\n";
        case 1:
            return "Incorrect function.\r\n";
        case 2:
            return "The system cannot find the file specified.\r\n";
        case 3:
            return "The system cannot find the path specified.\r\n";
        case 5:
            return "Access is denied.\r\n";
        case 6:
            return "The handle is invalid.\r\n";
        case 8:
            return "Not enough memory resources are available to process this command.\r\n";
        case 22:
            return "The device does not recognize the command.\r\n";
        case 31:
            return "A device attached to the system is not functioning.\r\n";
        case 87:
            return "The parameter is incorrect.\r\n";
        case 995:
            return "The I/O operation has been aborted because of either a thread exit or an "
                   "application request.\r\n";
        case 996:
            return "Overlapped I/O event is not in a signaled state.\r\n";
        case 997:
            return "Overlapped I/O operation is in progress.\r\n";
        case 1460:
            return "This operation returned because the timeout period expired.\r\n";
        default:
            return nullptr;
    }
}

}  // namespace commapi::posix
