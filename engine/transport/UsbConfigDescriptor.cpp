// Walks a configuration descriptor set, one descriptor at a time, never past its bytes.
#include "UsbConfigDescriptor.h"

#include <algorithm>

namespace dfuengine {
namespace {

constexpr std::uint8_t kConfiguration = 0x02;
constexpr std::uint8_t kInterface = 0x04;
constexpr std::uint8_t kInterfaceAssociation = 0x0B;
constexpr std::uint8_t kDfuFunctional = 0x21;

// Calls f(descriptor) for each well-formed descriptor within wTotalLength (and size); stops at
// the first malformed one (bLength under 2 or past the end) and tells whether it met one.
template <typename F>
bool Walk(const std::uint8_t* config, std::size_t size, F f) {
    if (size < 9 || config[1] != kConfiguration) return false;
    const std::size_t total = std::min<std::size_t>(size, config[2] | (config[3] << 8));
    for (std::size_t at = 0; at < total;) {
        const std::uint8_t length = config[at];
        if (length < 2 || at + length > total) return false;
        if (!f(config + at)) return true;
        at += length;
    }
    return true;
}

}  // namespace

std::vector<std::uint8_t> InterfaceNumbers(const std::uint8_t* config, std::size_t size) {
    std::vector<std::uint8_t> numbers;
    Walk(config, size, [&](const std::uint8_t* d) {
        if (d[1] == kInterface && d[0] >= 9 &&
            std::find(numbers.begin(), numbers.end(), d[2]) == numbers.end()) {
            numbers.push_back(d[2]);
        }
        return true;
    });
    return numbers;
}

unsigned FunctionInterfaceCount(const std::uint8_t* config, std::size_t size, std::uint8_t first) {
    unsigned count = 1;
    Walk(config, size, [&](const std::uint8_t* d) {
        if (d[1] == kInterfaceAssociation && d[0] >= 8 && d[2] == first && d[3] > 0) {
            count = d[3];
            return false;
        }
        return true;
    });
    return count;
}

bool FindDfuInterface(const std::uint8_t* config, std::size_t size,
                      const std::vector<std::uint8_t>& interfaces, DfuDescription& out) {
    bool inDfu = false;
    bool found = false;
    Walk(config, size, [&](const std::uint8_t* d) {
        if (d[1] == kInterface && d[0] >= 9) {
            const bool wanted =
                interfaces.empty() ||
                std::find(interfaces.begin(), interfaces.end(), d[2]) != interfaces.end();
            inDfu = wanted && d[5] == 0xFE && d[6] == 0x01;
            if (inDfu) {
                out.interfaceNumber = d[2];
                out.dfuMode = d[7] == 0x02;
            }
        } else if (inDfu && d[1] == kDfuFunctional && d[0] >= 7) {
            out.attributes = d[2];
            out.detachTimeoutMs = static_cast<std::uint16_t>(d[3] | (d[4] << 8));
            out.transferSize = static_cast<std::uint16_t>(d[5] | (d[6] << 8));
            out.dfuVersion = d[0] >= 9 ? static_cast<std::uint16_t>(d[7] | (d[8] << 8)) : 0x0100;
            found = true;
            return false;
        }
        return true;
    });
    return found;
}

}  // namespace dfuengine
