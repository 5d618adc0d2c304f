// Which DFU device a headset became after code 20, from the device lists seen one look after
// another.
#include <gtest/gtest.h>

#include "console/DfuHandOver.h"

namespace service {
namespace {

using Names = std::vector<std::string>;

struct HandOverCase {
    const char* name;
    Names before;
    Names bound;
    std::vector<Names> looks;  // the lists seen, in order
    std::string found;         // what a look gives (empty: none)
    std::size_t atLook;        // which look gives it
    std::string fallback;      // after the last look, when no look gave one
};

void PrintTo(const HandOverCase& c, std::ostream* os) {
    *os << c.name;
}

class DfuHandOverTest : public ::testing::TestWithParam<HandOverCase> {};

TEST_P(DfuHandOverTest, TellsTheHeadsetsDevice) {
    const HandOverCase& c = GetParam();
    DfuHandOver handOver(c.before, c.bound);
    std::string found;
    std::size_t at = 0;
    for (; at < c.looks.size() && found.empty(); ++at) found = handOver.Look(c.looks[at]);
    EXPECT_EQ(found, c.found);
    if (!c.found.empty()) {
        EXPECT_EQ(at - 1, c.atLook);
    } else {
        EXPECT_EQ(handOver.Fallback(), c.fallback);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Looks, DfuHandOverTest,
    ::testing::Values(
        HandOverCase{"ANewDevice",
                     {"usb:1-2"},
                     {},
                     {{"usb:1-2"}, {"usb:1-2", "loopback:x"}},
                     "loopback:x",
                     1,
                     ""},
        // The headset's DFU interface was listed in run-time mode under its place's name: it
        // leaves the list when it restarts into DFU mode and comes back under the same name.
        HandOverCase{"ListedBeforeLeftAndCameBack",
                     {"usb:1-3", "usb:1-4"},
                     {},
                     {{"usb:1-3", "usb:1-4"}, {"usb:1-4"}, {"usb:1-4"}, {"usb:1-3", "usb:1-4"}},
                     "usb:1-3",
                     3,
                     ""},
        // Another headset's device that left and came back is not taken.
        HandOverCase{
            "BoundOnesAreNotTaken", {"usb:1-3"}, {"usb:1-3"}, {{}, {"usb:1-3"}}, "", 0, ""},
        HandOverCase{"NeverLeftTakenAtTheEndWhenAlone",
                     {"usb:1-3"},
                     {},
                     {{"usb:1-3"}, {"usb:1-3"}},
                     "",
                     0,
                     "usb:1-3"},
        HandOverCase{"TwoThatNeverLeftAreNotTold",
                     {"usb:1-3", "usb:1-4"},
                     {},
                     {{"usb:1-3", "usb:1-4"}},
                     "",
                     0,
                     ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace service
