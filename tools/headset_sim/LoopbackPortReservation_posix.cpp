#include "LoopbackPortReservation_posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace headsetsim {

LoopbackPortReservation::~LoopbackPortReservation() {
    if (socket_ >= 0) close(socket_);
}

bool LoopbackPortReservation::Reserve(std::string& error) {
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ < 0) {
        error = std::string("cannot make a socket for the DFU port: ") + std::strerror(errno);
        return false;
    }
    int yes = 1;
    setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::string("no free loopback port for the DFU device: ") + std::strerror(errno);
        close(socket_);
        socket_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

}  // namespace headsetsim
