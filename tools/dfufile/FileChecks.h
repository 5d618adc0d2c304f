// Why a firmware file is refused: the checks the DFU engine makes of a .dfu file, each failing
// one described with the values found in the file, so that the person who made the file can
// see what to mend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvdfufile {

// The USB IDs a file must fit; -1 checks nothing. A file that carries 0xFFFF fits any device.
struct ExpectedDevice {
    long vendor = -1;
    long product = -1;
};

// One line per failed check, "<check>: <what was found>, <what is needed>", in the order
// the engine makes them: size, suffix signature, suffix length, DFU version, CRC, firmware
// header, vendor, product. Checks that need a readable suffix are left out when it has none.
// Empty when the file passes every check.
std::vector<std::string> FailedChecks(const std::uint8_t* data, std::size_t size,
                                      const ExpectedDevice& device = {});

}  // namespace qvdfufile
