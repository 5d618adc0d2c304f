// The memo's lines in its edit control: the lines added during one turn of the window thread
// reach the control together, after the turn, complete and in order.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TestForm.h"
#include "ui/WindowThread.h"

namespace qvtest {
namespace {

using Win32MemoTest = Win32Test;

std::string TextOf(HWND hwnd) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(hwnd)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(hwnd, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The lines as the edit control holds them.
std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? "\r\n" : "") + lines[i];
    return text;
}

TEST_F(Win32MemoTest, OneTurnOfAppendsReachesTheEditInOneUpdateInOrder) {
    ui::TMemo* memo = form_->NoteMemo;
    memo->Lines().Add("Send -> 'AT+QVCMD1=7'");
    ui::Application->ProcessMessages();
    const unsigned long before = ui::MemoTextUpdates(*memo);

    const std::vector<std::string> added = {"OK", "+QVSTS1=7,84894534,1",
                                            "",   "UART_CMD_QUERY_ID Signature = 84894534",
                                            "",   "Send -> 'AT+QVCMD1=8'"};
    for (const std::string& line : added) memo->Lines().Add(line);
    EXPECT_EQ(ui::MemoTextUpdates(*memo), before);  // nothing while the turn runs
    ui::Application->ProcessMessages();

    std::vector<std::string> all = {"Send -> 'AT+QVCMD1=7'"};
    all.insert(all.end(), added.begin(), added.end());
    EXPECT_EQ(TextOf(Handle(memo)), Joined(all));
    EXPECT_EQ(ui::MemoTextUpdates(*memo), before + 1);
    EXPECT_EQ(SendMessageA(Handle(memo), EM_GETLINECOUNT, 0, 0), 7);
}

// The query sequence as the serial event thread hands it over: each receive event is one call
// on the window thread that logs the lines received and accepted and then writes the next
// request. No update of the control lies between a turn's lines and its write, and from the
// start of one turn to the start of the next there is at most one: one per step when a step's
// answer arrives in one event, two when "OK" and the status line arrive apart. (A turn may
// start before the update of the one before it: then that update takes both turns' lines.)
TEST_F(Win32MemoTest, EachReceiveTurnUpdatesTheControlAtMostOnceAndNeverBeforeItsWrite) {
    const int codes[] = {7, 8, 9, 10, 1, 2, 3, 4, 5};
    const struct {
        const char* name;
        bool okApart;  // "OK" in a receive event of its own
    } cases[] = {{"answer in one event", false}, {"OK and status line apart", true}};
    for (const auto& c : cases) {
        ui::TMemo* memo = form_->NoteMemo;
        memo->Lines().Clear();
        memo->Lines().Add("");
        memo->Lines().Add("Send -> 'AT+QVCMD1=7'");
        ui::Application->ProcessMessages();
        std::vector<std::string> expected(memo->Lines().Count());
        for (int i = 0; i < memo->Lines().Count(); ++i) expected[i] = memo->Lines()[i];

        std::vector<unsigned long> atTurnStart, atWrite;
        std::atomic<bool> done{false};
        std::thread events([&] {
            for (size_t step = 0; step < std::size(codes); ++step) {
                const std::string code = std::to_string(codes[step]);
                std::vector<std::vector<std::string>> turns;
                if (c.okApart) turns.push_back({"OK"});
                turns.push_back({"+QVSTS1=" + code + ",1", "", "reply " + code});
                if (!c.okApart) turns.back().insert(turns.back().begin(), "OK");
                if (step + 1 < std::size(codes)) {
                    turns.back().push_back("");
                    turns.back().push_back("Send -> 'AT+QVCMD1=" + std::to_string(codes[step + 1]) +
                                           "'");
                }
                for (const auto& lines : turns) {
                    ui::TWindowThread::Synchronize([&] {
                        atTurnStart.push_back(ui::MemoTextUpdates(*memo));
                        for (const std::string& line : lines) memo->Lines().Add(line);
                        atWrite.push_back(ui::MemoTextUpdates(*memo));  // WriteFile goes here
                    });
                    expected.insert(expected.end(), lines.begin(), lines.end());
                }
            }
            done = true;
        });
        ASSERT_TRUE(PumpUntil([&] { return done.load(); })) << c.name;
        events.join();
        ui::Application->ProcessMessages();
        atTurnStart.push_back(ui::MemoTextUpdates(*memo));  // the end, as if a turn began

        const size_t turnsPerStep = c.okApart ? 2 : 1;
        ASSERT_EQ(atWrite.size(), std::size(codes) * turnsPerStep) << c.name;
        for (size_t turn = 0; turn < atWrite.size(); ++turn) {
            EXPECT_EQ(atWrite[turn], atTurnStart[turn]) << c.name << ", turn " << turn;
            EXPECT_LE(atTurnStart[turn + 1] - atTurnStart[turn], 1u) << c.name << ", turn " << turn;
        }
        EXPECT_EQ(TextOf(Handle(memo)), Joined(expected)) << c.name;
    }
}

// Lines added and then changed otherwise in the same turn, or added while the control is made
// anew: the control ends with exactly the memo's lines.
TEST_F(Win32MemoTest, OtherChangesInTheSameTurnLeaveExactlyTheLines) {
    ui::TMemo* memo = form_->NoteMemo;
    memo->Lines().SetText("first\nsecond");
    memo->Lines().Add("third");
    memo->Lines().Delete(0);
    memo->Lines().Add("fourth");
    ui::Application->ProcessMessages();
    EXPECT_EQ(TextOf(Handle(memo)), "second\r\nthird\r\nfourth");

    memo->Lines().Add("fifth");
    memo->SetScrollBars(ui::ssVertical);  // a new control, made before the turn ends
    memo->Lines().Add("sixth");
    ui::Application->ProcessMessages();
    EXPECT_EQ(TextOf(Handle(memo)), "second\r\nthird\r\nfourth\r\nfifth\r\nsixth");
}

// A log below the window's client area, as the main window has one, is written without being
// drawn: it ends in the same state as a memo on screen that got the same lines (text, scroll
// range and position) and is still a visible window.
TEST_F(Win32MemoTest, AMemoNobodyCanSeeEndsLikeOneOnScreen) {
    auto makeMemo = [&](int top) {
        auto* memo = new ui::TMemo(form_);
        memo->SetBounds(24, top, 417, 97);
        memo->SetScrollBars(ui::ssBoth);
        return memo;
    };
    ui::TMemo* unseen = makeMemo(form_->ClientHeight() + 16);
    ui::TMemo* seen = makeMemo(16);
    for (int turn = 0; turn < 5; ++turn) {
        for (ui::TMemo* memo : {unseen, seen}) {
            for (int i = 0; i < 6; ++i) memo->Lines().Add("line " + std::to_string(turn * 6 + i));
        }
        ui::Application->ProcessMessages();
    }
    EXPECT_EQ(TextOf(Handle(unseen)), TextOf(Handle(seen)));
    EXPECT_EQ(SendMessageA(Handle(unseen), EM_GETLINECOUNT, 0, 0), 30);
    for (int bar : {SB_VERT, SB_HORZ}) {
        SCROLLINFO a{}, b{};
        a.cbSize = b.cbSize = sizeof a;
        a.fMask = b.fMask = SIF_ALL;
        ASSERT_TRUE(GetScrollInfo(Handle(unseen), bar, &a));
        ASSERT_TRUE(GetScrollInfo(Handle(seen), bar, &b));
        EXPECT_EQ(a.nMin, b.nMin) << bar;
        EXPECT_EQ(a.nMax, b.nMax) << bar;
        EXPECT_EQ(a.nPage, b.nPage) << bar;
        EXPECT_EQ(a.nPos, b.nPos) << bar;
    }
    EXPECT_GE(ui::MemoTextUpdates(*unseen), 5u);
    EXPECT_TRUE(IsWindowVisible(Handle(unseen)));
    EXPECT_TRUE(Style(unseen) & WS_VISIBLE);
}

// A message box shown right after lines were added (as "Save successfully." follows the log
// of the last reply) runs its own message loop: the lines are in the control while it is open.
TEST_F(Win32MemoTest, LinesAddedBeforeAMessageBoxAreShownWhileItIsOpen) {
    ui::TMemo* memo = form_->NoteMemo;
    memo->Lines().Clear();
    HWND edit = Handle(memo);
    std::string whileOpen;
    TBoxAnswerer box("Saved box", IDOK, [&](HWND) {
        for (int i = 0; i < 100 && whileOpen.empty(); ++i) {
            Sleep(10);
            whileOpen = TextOf(edit);
        }
    });
    memo->Lines().Add("+QVSTS1=23");
    memo->Lines().Add("");
    memo->Lines().Add("CMD_ASSIGN_SPEED_DIAL3");
    ui::Application->MessageBox("Save successfully.", "Saved box", MB_OK);
    box.Join();
    EXPECT_EQ(whileOpen, "+QVSTS1=23\r\n\r\nCMD_ASSIGN_SPEED_DIAL3");
}

}  // namespace
}  // namespace qvtest
