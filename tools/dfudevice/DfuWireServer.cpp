// Device side of the DFU wire protocol (message layout in DfuWireServer.h).
#include "DfuWireServer.h"

namespace qvdfu {
namespace {

void PutLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::uint8_t WireStatusOf(Transfer t) {
    switch (t) {
        case Transfer::ok:
            return dfuwire::kOk;
        case Transfer::stall:
            return dfuwire::kStall;
        case Transfer::error:
            return dfuwire::kFailed;
        case Transfer::gone:
            break;
    }
    return dfuwire::kGone;
}

}  // namespace

void ServeWireMessage(DfuDevice& device, const std::uint8_t* request, std::size_t size,
                      std::vector<std::uint8_t>& reply) {
    reply.clear();
    if (size < 1) {
        reply.push_back(dfuwire::kMalformed);
        return;
    }
    switch (request[0]) {
        case dfuwire::kOpDescribe: {
            Description d;
            if (size != 1 || !device.Describe(d)) {
                reply.push_back(size != 1 ? dfuwire::kMalformed : dfuwire::kGone);
                return;
            }
            reply.push_back(dfuwire::kOk);
            PutLe16(reply, d.vendor);
            PutLe16(reply, d.product);
            PutLe16(reply, d.release);
            reply.push_back(d.dfuMode ? 2 : 1);
            reply.push_back(d.interfaceNumber);
            reply.push_back(d.attributes);
            PutLe16(reply, d.detachTimeoutMs);
            PutLe16(reply, d.transferSize);
            PutLe16(reply, d.dfuVersion);
            return;
        }
        case dfuwire::kOpControl: {
            if (size < 9) break;
            Setup s;
            s.requestType = request[1];
            s.request = request[2];
            s.value = static_cast<std::uint16_t>(request[3] | (request[4] << 8));
            s.index = static_cast<std::uint16_t>(request[5] | (request[6] << 8));
            s.length = static_cast<std::uint16_t>(request[7] | (request[8] << 8));
            const bool in = (s.requestType & 0x80) != 0;
            if (size != 9 + (in ? 0u : s.length)) break;
            std::size_t transferred = 0;
            if (in) {
                reply.resize(1 + s.length);
                const Transfer t = device.Control(s, reply.data() + 1, transferred);
                reply[0] = WireStatusOf(t);
                reply.resize(1 + (t == Transfer::ok ? transferred : 0));
            } else {
                // OUT data is read in place from the request message: no copy per block.
                const Transfer t =
                    device.Control(s, const_cast<std::uint8_t*>(request + 9), transferred);
                reply.push_back(WireStatusOf(t));
            }
            return;
        }
        case dfuwire::kOpReset:
            if (size != 1) break;
            reply.push_back(WireStatusOf(device.Reset()));
            return;
        default:
            break;
    }
    reply.clear();
    reply.push_back(dfuwire::kMalformed);
}

}  // namespace qvdfu
