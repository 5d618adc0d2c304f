// Shared fixture of the walk tests: a simulated tree, a cleared DeviceConfigText, and the
// checks every walk must pass on the way out (every handle closed, every record released,
// nothing closed or released twice).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "tools/usbtree/SimulatedUsbTree.h"
#include "upgrade/enum/UsbWalk.h"

namespace upgrade::sim {

class WalkTest : public ::testing::Test {
  protected:
    void SetUp() override { std::memset(DeviceConfigText, 0, sizeof DeviceConfigText); }
    void TearDown() override { ExpectCleanAfterWalk(tree); }

    static void ExpectCleanAfterWalk(const SimulatedUsbTree& walked) {
        EXPECT_EQ(walked.OpenHandles(), 0) << "handles left open";
        EXPECT_EQ(walked.LiveRecords(), 0) << "records not released";
        EXPECT_EQ(walked.Misuses(), 0) << "unknown handle or record used";
    }

    std::string Walk() {
        WalkUsbDeviceTree(tree);
        return DeviceConfigText;
    }

    // How many requests of one kind the walk made.
    long RequestsOfKind(RequestKind kind) const {
        const auto& requests = tree.Requests();
        return std::count_if(requests.begin(), requests.end(),
                             [kind](const SimRequest& request) { return request.kind == kind; });
    }

    SimulatedUsbTree tree;
};

}  // namespace upgrade::sim
