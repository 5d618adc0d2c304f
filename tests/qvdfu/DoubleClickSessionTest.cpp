// A double-click on Windows: list, offer recovery of a device waiting in DFU mode, ask before
// writing, and always wait for Enter before the window closes.
#include <gtest/gtest.h>

#include <deque>

#include "console/DoubleClickSession.h"
#include "console/ExitCode.h"

namespace service {
namespace {

struct Script {
    std::vector<std::string> devices;
    std::string remembered;
    std::deque<std::string> answers;
    std::vector<std::string> trace;  // what happened, in order
    int recoverCode = kExitDone;

    SessionActions Actions() {
        SessionActions a;
        a.list = [this] {
            trace.push_back("list");
            return kExitDone;
        };
        a.dfuDevices = [this] { return devices; };
        a.rememberedFile = [this] { return remembered; };
        a.recover = [this](const std::string& file, const std::string& device) {
            trace.push_back("recover " + file + " on " + device);
            return recoverCode;
        };
        a.say = [](const std::string&) {};
        a.ask = [this](const std::string& prompt, std::string& answer) {
            trace.push_back("ask " + prompt.substr(0, prompt.find(' ')));
            if (answers.empty()) return false;
            answer = answers.front();
            answers.pop_front();
            return true;
        };
        return a;
    }
};

TEST(DoubleClickSession, ListsAndWaitsForEnterWhenNothingWaitsInDfuMode) {
    Script s;
    EXPECT_EQ(RunDoubleClickSession(s.Actions()), kExitDone);
    EXPECT_EQ(s.trace, (std::vector<std::string>{"list", "ask Press"}));
}

TEST(DoubleClickSession, RecoversWithTheRememberedFileOnlyAfterAYes) {
    Script yes;
    yes.devices = {"loopback:127.0.0.1:4000"};
    yes.remembered = "C:\\fw\\KX-V5_v103.dfu";
    yes.answers = {"y", ""};
    yes.recoverCode = kExitDeviceFailed;
    EXPECT_EQ(RunDoubleClickSession(yes.Actions()), kExitDeviceFailed);
    EXPECT_EQ(yes.trace,
              (std::vector<std::string>{"list", "ask Write",
                                        "recover C:\\fw\\KX-V5_v103.dfu on loopback:127.0.0.1:4000",
                                        "ask Press"}));

    for (const char* answer : {"n", "", "yes please"}) {
        Script no;
        no.devices = {"loopback:127.0.0.1:4000"};
        no.remembered = "fw.dfu";
        no.answers = {answer, ""};
        RunDoubleClickSession(no.Actions());
        EXPECT_EQ(no.trace, (std::vector<std::string>{"list", "ask Write", "ask Press"})) << answer;
    }
}

TEST(DoubleClickSession, AsksForAFileWhenNoneIsRemembered) {
    Script s;
    s.devices = {"dfu0"};
    s.answers = {"D:\\KX-V5_v104.dfu", "y", ""};
    RunDoubleClickSession(s.Actions());
    EXPECT_EQ(s.trace,
              (std::vector<std::string>{"list", "ask Firmware", "ask Write",
                                        "recover D:\\KX-V5_v104.dfu on dfu0", "ask Press"}));
    Script none;
    none.devices = {"dfu0"};
    none.answers = {"", ""};  // no file given: nothing written
    RunDoubleClickSession(none.Actions());
    EXPECT_EQ(none.trace, (std::vector<std::string>{"list", "ask Firmware", "ask Press"}));
}

TEST(DoubleClickSession, LeavesSeveralDfuDevicesToTheCommandLine) {
    Script s;
    s.devices = {"dfu0", "dfu1"};
    s.remembered = "fw.dfu";
    s.answers = {"y", ""};
    EXPECT_EQ(RunDoubleClickSession(s.Actions()), kExitUsage);
    EXPECT_EQ(s.trace, (std::vector<std::string>{"list", "ask Press"}));
}

}  // namespace
}  // namespace service
