// The command line: commands, the file and options in any order, and every refusal naming
// what is wrong.
#include <gtest/gtest.h>

#include "console/CommandLine.h"

namespace service {
namespace {

Options Parse(const std::vector<std::string>& args) {
    Options options;
    std::string error;
    EXPECT_TRUE(ParseCommandLine(args, options, error)) << error;
    return options;
}

TEST(CommandLine, TakesOptionsBeforeAndAfterTheFile) {
    Options o = Parse({"--yes", "upgrade", "--json", "fw/KX-V5_v103.dfu", "--port", "COM7"});
    EXPECT_EQ(o.command, Command::Upgrade);
    EXPECT_EQ(o.file, "fw/KX-V5_v103.dfu");
    EXPECT_EQ(o.port, "COM7");
    EXPECT_TRUE(o.yes);
    EXPECT_TRUE(o.json);
    EXPECT_FALSE(o.all);

    o = Parse({"upgrade", "--all", "x.dfu", "--quiet", "--log", "run.log"});
    EXPECT_TRUE(o.all);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(o.logFile, "run.log");

    o = Parse({"recover"});
    EXPECT_EQ(o.command, Command::Recover);
    EXPECT_EQ(o.file, "");  // the window's remembered file
    o = Parse({"recover", "--device", "loopback:127.0.0.1:4000", "x.dfu"});
    EXPECT_EQ(o.device, "loopback:127.0.0.1:4000");
    EXPECT_EQ(o.file, "x.dfu");

    EXPECT_EQ(Parse({"list"}).command, Command::List);
    EXPECT_EQ(Parse({"info", "--port", "/dev/ttyACM0"}).port, "/dev/ttyACM0");
    EXPECT_EQ(Parse({"backup", "b.txt"}).command, Command::Backup);
    EXPECT_EQ(Parse({"restore", "b.txt", "--port", "COM3"}).command, Command::Restore);
    EXPECT_EQ(Parse({"upgrade", "--help"}).command, Command::Help);
    EXPECT_EQ(Parse({"help"}).command, Command::Help);
}

TEST(CommandLine, RefusesWhatDoesNotFitNamingIt) {
    struct Case {
        std::vector<std::string> args;
        const char* named;
    } cases[] = {
        {{}, "no command"},
        {{"--yes"}, "no command"},
        {{"flash", "x.dfu"}, "flash"},
        {{"upgrade"}, "needs a FILE"},
        {{"backup"}, "needs a FILE"},
        {{"restore", "--port", "COM3"}, "needs a FILE"},
        {{"list", "x.dfu"}, "x.dfu"},
        {{"upgrade", "a.dfu", "b.dfu"}, "b.dfu"},
        {{"upgrade", "a.dfu", "--port"}, "--port needs a value"},
        {{"upgrade", "a.dfu", "--port", "COM7", "--all"}, "exclude each other"},
        {{"recover", "--port", "COM7"}, "--port"},
        {{"list", "--all"}, "--all"},
        {{"info", "--device", "x"}, "--device"},
        {{"upgrade", "a.dfu", "--force"}, "--force"},
        {{"list", "--log"}, "--log needs a value"},
    };
    for (const Case& c : cases) {
        Options options;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(c.args, options, error)) << c.named;
        EXPECT_NE(error.find(c.named), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace service
