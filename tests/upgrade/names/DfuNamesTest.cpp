#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>

#include "upgrade/names/DfuNames.h"

namespace upgrade {
namespace {

using Lookup = const char* (*)(int32_t);

struct Table {
    const char* name;
    Lookup lookup;
    int32_t count;
};

const Table kTables[] = {
    {"ResultName", ResultName, kResultNameCount},
    {"OperationName", OperationName, kOperationNameCount},
    {"SubOperationName", SubOperationName, kSubOperationNameCount},
};

TEST(DfuNamesTest, SpotChecksAtTheEndsAndInsideEveryGroup) {
    struct Case {
        Lookup lookup;
        int32_t code;
        const char* text;
    };
    const Case cases[] = {
        {ResultName, 0, "success"},
        {ResultName, 1, "aborted"},
        {ResultName, 18, "fail_reply_long"},
        {ResultName, 19, "fail_dfu_target"},
        {ResultName, 25, "fail_dfu_verify"},
        {ResultName, 34, "fail_dfu_stalledpkt"},
        {ResultName, 35, "fail_usb_open"},
        {ResultName, 43, "fail_usb_buffer"},
        {ResultName, 44, "fail_hci_unknown_cmd"},
        {ResultName, 80, "fail_hci_unknown"},
        {ResultName, 81, "fail_mode_no_dfu"},
        {ResultName, 85, "fail_mode_not_manifest"},
        {ResultName, 86, "fail_com_open"},
        {ResultName, 97, "fail_com_mismatched"},
        {ResultName, 98, "fail_bccmd_no_such_varid"},
        {ResultName, 107, "fail_bccmd_unknown"},
        {ResultName, 108, "fail_btw_error"},
        {ResultName, 109, "fail_btw_not_suppored"},
        {ResultName, 117, "fail_btw_status_long"},
        {OperationName, 0, "ready"},
        {OperationName, 10, "download_verify"},
        {OperationName, 15, "recover_fail"},
        {SubOperationName, 0, "no_sub_operation"},
        {SubOperationName, 5, "transport_usb_wait"},
        {SubOperationName, 9, "download_processing"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.text, c.lookup(c.code)) << "code " << c.code;
    }
}

// A shifted or missing line in a table would show up as a name in the wrong group.
TEST(DfuNamesTest, ResultGroupsFollowTheirPrefixes) {
    struct Group {
        int32_t first, last;
        const char* prefix;
    };
    const Group groups[] = {{19, 34, "fail_dfu_"},  {35, 43, "fail_usb_"}, {44, 80, "fail_hci_"},
                            {81, 85, "fail_mode_"}, {86, 97, "fail_com_"}, {98, 107, "fail_bccmd_"},
                            {108, 117, "fail_btw_"}};
    for (const Group& g : groups) {
        for (int32_t code = g.first; code <= g.last; ++code) {
            EXPECT_EQ(0, std::strncmp(ResultName(code), g.prefix, std::strlen(g.prefix)))
                << code << " " << ResultName(code);
        }
    }
    EXPECT_NE(0, std::strncmp(ResultName(18), "fail_dfu_", 9));
}

TEST(DfuNamesTest, CodesOutsideATableAreNamedByNumber) {
    for (const Table& t : kTables) {
        const int32_t codes[] = {t.count, t.count + 1, -1, INT32_MIN, INT32_MAX};
        for (int32_t code : codes) {
            EXPECT_EQ("unknown(" + std::to_string(code) + ")", std::string(t.lookup(code)))
                << t.name;
        }
    }
}

// One failure message formats all three lookups at once: each must keep its own text.
TEST(DfuNamesTest, OutOfRangeTextsOfDifferentTablesDoNotOverwriteEachOther) {
    const char* result = ResultName(200);
    const char* operation = OperationName(-7);
    const char* sub = SubOperationName(INT32_MIN);
    EXPECT_STREQ("unknown(200)", result);
    EXPECT_STREQ("unknown(-7)", operation);
    EXPECT_STREQ("unknown(-2147483648)", sub);
}

TEST(DfuNamesTest, OutOfRangeTextIsPerThread) {
    const char* mine = ResultName(1000);
    std::thread other([] { EXPECT_STREQ("unknown(-1000)", ResultName(-1000)); });
    other.join();
    EXPECT_STREQ("unknown(1000)", mine);
}

}  // namespace
}  // namespace upgrade
