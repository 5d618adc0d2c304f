// A main window talking over a real pty to a scripted headset (see HeadsetPeer.h).
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Texts.h"
#include "tests/app/HeadsetPeer.h"
#include "tests/app/MainformTestFixture.h"

// What a headset with some stored settings answers to each query.
inline const std::map<int, std::string> kReplies = {
    {7, "+QVSTS1=7,84894534,1"}, {8, "+QVSTS1=8,102"},
    {9, "+QVSTS1=9,KX-V5"},      {10, "+QVSTS1=10,00:02:5B:01:02:03"},
    {1, "+QVSTS1=1,+886*12#"},   {2, "+QVSTS1=2,0912345678"},
    {3, "+QVSTS1=3,"},           {4, "+QVSTS1=4,35"},
    {5, "+QVSTS1=5,40,0"},
};
inline const int kQuerySequence[] = {7, 8, 9, 10, 1, 2, 3, 4, 5};

class MainformExchangeTest : public MainformTest {
  protected:
    void SetUp() override {
        MainformTest::SetUp();
        comDir_ = configHome + "/com";
        mkdir(comDir_.c_str(), 0755);
        setenv("QV_COM_DIR", comDir_.c_str(), 1);
        headset = std::make_unique<HeadsetPeer>();
        ASSERT_EQ(symlink(headset->DevicePath().c_str(), (comDir_ + "/com5").c_str()), 0);
        ports.present = {{"COM5", "USB Serial Device"}, {"COM1", "Communications Port"}};
        OpenMainWindow(app::kLanguageEnglish);
        form->Show();
        headless->Advance(100);  // the start-up prompt
        ui::Application->ProcessMessages();
        headless->ClearMessageBoxes();
    }
    void TearDown() override {
        MainformTest::TearDown();  // closes the window and its port first
        headset.reset();
        unsetenv("QV_COM_DIR");
    }

    // Answers a request the way the headset does: acknowledgement, then the status line.
    void Answer(int code) { headset->Send("OK\r\n" + kReplies.at(code) + "\r\n"); }
    void AnswerWith(const std::string& status) { headset->Send("OK\r\n" + status + "\r\n"); }
    void ExpectRequest(const std::string& request) { EXPECT_EQ(headset->NextRequest(), request); }

    // Opens the port with the Open button and answers the whole query sequence.
    void OpenAndQuery() {
        form->OpenComPortButton->UserClick();
        ASSERT_TRUE(form->PortOpen);
        RunQuerySequence();
    }
    void RunQuerySequence() {
        for (int code : kQuerySequence) {
            // A step that never comes ends the sequence: the rest could only wait for it too.
            ASSERT_EQ(headset->NextRequest(), "AT+QVCMD1=" + std::to_string(code));
            // One request at a time: nothing more before the answer.
            EXPECT_FALSE(headset->HasPendingBytes()) << code;
            Answer(code);
        }
        ASSERT_TRUE(PumpUntil([&] { return form->PendingCommand == 9999; }));
    }
    // Lets the reply time-out run out.
    void ExpireTimeout() {
        headless->Advance(1000);
        ui::Application->ProcessMessages();
    }
    std::vector<std::string> Log() const { return form->InfoMemo->Lines().Lines(); }
    bool LogHas(const std::string& line) const {
        for (const std::string& l : Log())
            if (l == line) return true;
        return false;
    }

    std::unique_ptr<HeadsetPeer> headset;
    std::string comDir_;
};
