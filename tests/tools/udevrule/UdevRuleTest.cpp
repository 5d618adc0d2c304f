// The udev rule made from the headset's USB IDs: each line parses as udev reads a rule (comma-
// separated KEY OP "VALUE" pairs), and both the USB device and its tty, in run-time and in DFU
// mode, get the access grants and ModemManager's ignore flag.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

#include "UdevRules.h"
#include "device/HeadsetUsbIds.h"

namespace {

using Rule = std::multimap<std::string, std::string>;  // "KEY OP" -> value

// Parses one rule line; fails the test on anything udev would not read.
Rule Parse(const std::string& line) {
    static const std::regex pair(
        R"re(\s*([A-Z_]+(\{[A-Za-z_]+\})?)\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$))re");
    Rule rule;
    std::size_t at = 0;
    std::smatch m;
    while (at < line.size()) {
        const std::string rest = line.substr(at);
        EXPECT_TRUE(std::regex_search(rest, m, pair, std::regex_constants::match_continuous))
            << "unreadable at: " << rest;
        if (m.empty()) break;
        rule.emplace(m[1].str() + " " + m[3].str(), m[4].str());
        at += static_cast<std::size_t>(m.length(0));
    }
    return rule;
}

std::string Hex(std::uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(id));
    return text;
}

bool Has(const Rule& rule, const std::string& key, const std::string& value) {
    auto range = rule.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == value) return true;
    }
    return false;
}

TEST(UdevRuleTest, GrantsTheHeadsetInBothModesToTheUserAndPlugdev) {
    std::istringstream text(udevrule::HeadsetUdevRules());
    std::vector<Rule> rules;
    for (std::string line; std::getline(text, line);) {
        if (line.empty() || line[0] == '#') continue;
        rules.push_back(Parse(line));
    }
    struct Wanted {
        const char* subsystem;
        const char* idKey;  // ATTR on the USB device, ATTRS on the tty below it
        std::uint16_t product;
    };
    const Wanted wanted[] = {
        {"usb", "ATTR", device::kHeadsetUsbProduct},
        {"tty", "ATTRS", device::kHeadsetUsbProduct},
        {"usb", "ATTR", device::kHeadsetDfuUsbProduct},
        {"tty", "ATTRS", device::kHeadsetDfuUsbProduct},
    };
    for (const Wanted& w : wanted) {
        const std::string idKey = w.idKey;
        const auto match = std::find_if(rules.begin(), rules.end(), [&](const Rule& r) {
            return Has(r, "SUBSYSTEM ==", w.subsystem) &&
                   Has(r, idKey + "{idVendor} ==", Hex(device::kHeadsetUsbVendor)) &&
                   Has(r, idKey + "{idProduct} ==", Hex(w.product));
        });
        ASSERT_NE(match, rules.end()) << w.subsystem << " " << Hex(w.product);
        EXPECT_TRUE(Has(*match, "TAG +=", "uaccess"));
        EXPECT_TRUE(Has(*match, "GROUP =", "plugdev"));
        EXPECT_TRUE(Has(*match, "MODE =", "0660"));
        EXPECT_TRUE(Has(*match, "ENV{ID_MM_DEVICE_IGNORE} =", "1"));
        if (std::string(w.subsystem) == "usb") {
            // The device node only, not its interfaces.
            EXPECT_TRUE(Has(*match, "ENV{DEVTYPE} ==", "usb_device"));
        }
    }
}

}  // namespace
