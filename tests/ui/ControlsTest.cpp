// The controls' behaviour the main window relies on, on the headless back end.
#include <stdexcept>
#include <string>
#include <vector>

#include "HeadlessFixture.h"

using namespace ui;

namespace {

class ControlsTest : public HeadlessTest {};

// ---- Edits

TEST_F(ControlsTest, EditOnChangeFiresForProgramAndUserChangesOnly) {
    auto form = MakeForm();
    auto* edit = new TLabeledEdit(form.get());
    std::vector<std::string> seen;
    edit->OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, edit);
        seen.push_back(edit->Text());
    };
    edit->SetText("123");
    edit->SetText("123");  // no change, no event
    EXPECT_TRUE(edit->UserSetText("1234"));
    edit->SetText("");
    EXPECT_EQ(seen, (std::vector<std::string>{"123", "1234", ""}));
}

TEST_F(ControlsTest, UserCannotTypeIntoReadOnlyDisabledOrHiddenEdits) {
    auto form = MakeForm();
    auto* pages = new TPageControl(form.get());
    auto* first = new TTabSheet(pages);
    auto* second = new TTabSheet(pages);
    auto* edit = new TLabeledEdit(first);
    auto* onSecond = new TLabeledEdit(second);
    int changes = 0;
    edit->OnChange = [&](TObject*) { ++changes; };
    onSecond->OnChange = [&](TObject*) { ++changes; };

    edit->SetReadOnly(true);
    EXPECT_FALSE(edit->UserSetText("x"));
    edit->SetReadOnly(false);
    edit->SetEnabled(false);
    EXPECT_FALSE(edit->UserSetText("x"));
    edit->SetEnabled(true);
    pages->SetEnabled(false);  // a disabled parent disables the edit too
    EXPECT_FALSE(edit->UserSetText("x"));
    pages->SetEnabled(true);
    EXPECT_FALSE(onSecond->Showing());  // on the inactive page
    EXPECT_FALSE(onSecond->UserSetText("x"));
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(edit->UserSetText("x"));
    EXPECT_EQ(changes, 1);
}

TEST_F(ControlsTest, LabeledEditPlacesItsLabelLeftOfTheEditThreePixelsApart) {
    auto form = MakeForm();
    auto* edit = new TLabeledEdit(form.get());
    edit->SetBounds(152, 40, 377, 21);
    edit->EditLabel().SetCaption("Abc");
    const TLabel& label = edit->EditLabel();
    // 8 point: 6 px per character, 13 px line height.
    EXPECT_EQ(label.Width(), 18);
    EXPECT_EQ(label.Height(), 13);
    EXPECT_EQ(label.Left(), 152 - 3 - 18);
    EXPECT_EQ(label.Top(), 40 + (21 - 13) / 2);
    EXPECT_EQ(label.Parent(), form.get());

    TFont font = form->Font();
    font.SetSize(10);
    font.Charset = CHINESEBIG5_CHARSET;
    form->SetFont(font);
    EXPECT_EQ(label.Width(), 21);
    EXPECT_EQ(label.Left(), 152 - 3 - 21);
    EXPECT_EQ(edit->Font().Charset, CHINESEBIG5_CHARSET);

    edit->Hide();
    EXPECT_FALSE(label.Visible());
    edit->SetEnabled(false);
    EXPECT_FALSE(label.Enabled());
}

// ---- Up-down

struct UpDownRig {
    explicit UpDownRig(TForm* form) {
        edit = new TLabeledEdit(form);
        upDown = new TUpDown(form);
        upDown->SetMin(1);
        upDown->SetMax(100);
        upDown->SetPosition(20);
        upDown->SetAssociate(edit);
        edit->OnChange = [this](TObject*) { events.push_back("change " + edit->Text()); };
        upDown->OnChanging = [this](TObject*, bool& allow) {
            events.push_back("changing " + std::to_string(upDown->Position()));
            allow = allowChange;
        };
        upDown->OnClick = [this](TObject*, TUDBtnType button) {
            events.push_back(std::string(button == btNext ? "click next " : "click prev ") +
                             std::to_string(upDown->Position()));
        };
    }
    TLabeledEdit* edit;
    TUpDown* upDown;
    bool allowChange = true;
    std::vector<std::string> events;
};

TEST_F(ControlsTest, UpDownClickAsksFirstThenMovesShowsAndReports) {
    auto form = MakeForm();
    UpDownRig rig(form.get());
    EXPECT_EQ(rig.edit->Text(), "20");
    EXPECT_TRUE(rig.upDown->UserClick(btNext));
    EXPECT_TRUE(rig.upDown->UserClick(btPrev));
    EXPECT_EQ(rig.events, (std::vector<std::string>{"changing 20", "change 21", "click next 21",
                                                    "changing 21", "change 20", "click prev 20"}));
}

TEST_F(ControlsTest, UpDownStopsAtItsBoundsWithoutWrapping) {
    auto form = MakeForm();
    UpDownRig rig(form.get());
    rig.upDown->SetPosition(100);
    rig.events.clear();
    rig.upDown->UserClick(btNext);
    // Asked, but nothing moved: no text change and no click.
    EXPECT_EQ(rig.events, (std::vector<std::string>{"changing 100"}));
    EXPECT_EQ(rig.upDown->Position(), 100);

    rig.upDown->SetPosition(1);
    rig.events.clear();
    rig.upDown->UserClick(btPrev);
    EXPECT_EQ(rig.events, (std::vector<std::string>{"changing 1"}));
    EXPECT_EQ(rig.upDown->Position(), 1);

    rig.upDown->SetWrap(true);
    rig.upDown->UserClick(btPrev);
    EXPECT_EQ(rig.upDown->Position(), 100);
}

TEST_F(ControlsTest, UpDownChangeRefusedLeavesEverythingAsItWas) {
    auto form = MakeForm();
    UpDownRig rig(form.get());
    rig.allowChange = false;
    rig.events.clear();
    rig.upDown->UserClick(btNext);
    EXPECT_EQ(rig.events, (std::vector<std::string>{"changing 20"}));
    EXPECT_EQ(rig.upDown->Position(), 20);
    EXPECT_EQ(rig.edit->Text(), "20");
}

TEST_F(ControlsTest, UpDownPositionSetByProgramIsReportedOnceAndCannotBeRefused) {
    auto form = MakeForm();
    UpDownRig rig(form.get());
    rig.events.clear();
    rig.upDown->SetPosition(55);
    rig.upDown->SetPosition(500);  // clamped to Max
    rig.upDown->SetPosition(100);  // no change: nothing to report
    EXPECT_EQ(rig.events,
              (std::vector<std::string>{"changing 20", "change 55", "changing 55", "change 100"}));
    EXPECT_EQ(rig.upDown->Position(), 100);
    EXPECT_EQ(rig.edit->Text(), "100");
    rig.allowChange = false;
    rig.upDown->SetPosition(30);
    EXPECT_EQ(rig.upDown->Position(), 30);
    EXPECT_EQ(rig.edit->Text(), "30");
}

TEST_F(ControlsTest, UpDownPositionIsSixteenBitSigned) {
    auto form = MakeForm();
    auto* upDown = new TUpDown(form.get());
    upDown->SetMin(-1);
    upDown->SetMax(2);
    upDown->SetPosition(0x10001);  // low 16 bits: 1
    EXPECT_EQ(upDown->Position(), 1);
    upDown->SetPosition(0xFFFF);  // low 16 bits as signed: -1
    EXPECT_EQ(upDown->Position(), -1);
    EXPECT_EQ(upDown->Associate(), nullptr);
    upDown->UserClick(btNext);
    EXPECT_EQ(upDown->Position(), 0);
}

// ---- Page control

TEST_F(ControlsTest, PageChangeByTheUserCanBeRefused) {
    auto form = MakeForm();
    auto* pages = new TPageControl(form.get());
    std::vector<TTabSheet*> sheet;
    for (int i = 0; i < 4; ++i) sheet.push_back(new TTabSheet(pages));
    EXPECT_EQ(pages->ActivePage(), sheet[0]);

    bool allow = false;
    TTabSheet* leaving = nullptr;
    int changed = 0;
    pages->OnChanging = [&](TObject*, bool& allowChange) {
        leaving = pages->ActivePage();
        allowChange = allow;
    };
    pages->OnChange = [&](TObject*) { ++changed; };

    EXPECT_FALSE(pages->UserSelectPage(2));
    EXPECT_EQ(leaving, sheet[0]);
    EXPECT_EQ(pages->ActivePageIndex(), 0);
    EXPECT_EQ(changed, 0);

    allow = true;
    EXPECT_TRUE(pages->UserSelectPage(2));
    EXPECT_EQ(pages->ActivePage(), sheet[2]);
    EXPECT_EQ(changed, 1);
    EXPECT_FALSE(pages->UserSelectPage(2));  // already there: not asked
    EXPECT_EQ(changed, 1);

    // The program switches without asking.
    allow = false;
    leaving = nullptr;
    pages->SetActivePage(sheet[3]);
    EXPECT_EQ(pages->ActivePageIndex(), 3);
    EXPECT_EQ(leaving, nullptr);
    EXPECT_EQ(changed, 1);
}

TEST_F(ControlsTest, ExceptionInOnChangingRefusesAndIsShown) {
    auto form = MakeForm();
    auto* pages = new TPageControl(form.get());
    new TTabSheet(pages);
    new TTabSheet(pages);
    pages->OnChanging = [](TObject*, bool&) { throw std::runtime_error("no way"); };
    EXPECT_FALSE(pages->UserSelectPage(1));
    EXPECT_EQ(pages->ActivePageIndex(), 0);
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"no way"}));
}

TEST_F(ControlsTest, OnlyTheActivePageShowsItsControls) {
    auto form = MakeForm();
    auto* pages = new TPageControl(form.get());
    auto* first = new TTabSheet(pages);
    auto* second = new TTabSheet(pages);
    auto* button = new TButton(second);
    int clicks = 0;
    button->OnClick = [&](TObject*) { ++clicks; };
    EXPECT_TRUE(first->Showing());
    EXPECT_FALSE(button->Showing());
    EXPECT_FALSE(button->UserClick());
    pages->SetActivePageIndex(1);
    EXPECT_TRUE(button->Showing());
    EXPECT_TRUE(button->UserClick());
    EXPECT_EQ(clicks, 1);
    form->Hide();
    EXPECT_FALSE(button->Showing());
}

// ---- Buttons, paint box, list box

TEST_F(ControlsTest, ProgrammaticClickLetsExceptionsThroughUserClickShowsThem) {
    auto form = MakeForm();
    auto* button = new TButton(form.get());
    button->OnClick = [](TObject*) { throw std::runtime_error("failed"); };
    EXPECT_THROW(button->Click(), std::runtime_error);
    EXPECT_TRUE(backend->ShownExceptions().empty());
    EXPECT_TRUE(button->UserClick());
    EXPECT_EQ(backend->ShownExceptions(), (std::vector<std::string>{"failed"}));
    button->SetEnabled(false);
    EXPECT_FALSE(button->UserClick());
    EXPECT_EQ(backend->ShownExceptions().size(), 1u);
}

TEST_F(ControlsTest, PaintBoxClickSeesTheKeyboardState) {
    auto form = MakeForm();
    auto* box = new TPaintBox(form.get());
    std::vector<bool> shiftDown;
    box->OnClick = [&](TObject*) {
        BYTE keys[256];
        ASSERT_TRUE(ReadKeyboardState(keys));
        shiftDown.push_back((keys[VK_LSHIFT] & 0x80) || (keys[VK_RSHIFT] & 0x80));
    };
    box->UserClick();
    backend->SetKeyDown(VK_RSHIFT, true);
    box->UserClick();
    backend->ReleaseAllKeys();
    box->UserClick();
    EXPECT_EQ(shiftDown, (std::vector<bool>{false, true, false}));
}

TEST_F(ControlsTest, ListBoxSelection) {
    auto form = MakeForm();
    auto* list = new TListBox(form.get());
    EXPECT_EQ(list->ItemIndex(), -1);
    list->Items().Add("COM1");
    list->Items().Add("COM3");
    list->Items().Add("COM5");
    list->SetItemIndex(7);
    EXPECT_EQ(list->ItemIndex(), -1);
    int clicks = 0;
    list->OnClick = [&](TObject*) { ++clicks; };
    EXPECT_TRUE(list->UserSelect(2));
    EXPECT_EQ(list->ItemIndex(), 2);
    EXPECT_EQ(clicks, 1);
    list->Items().Delete(0);
    EXPECT_EQ(list->ItemIndex(), 1);
    EXPECT_EQ(list->Items()[list->ItemIndex()], "COM5");
    list->Items().Clear();
    EXPECT_EQ(list->ItemIndex(), -1);
    EXPECT_FALSE(list->UserSelect(0));
}

// ---- Memo, progress bar, label, focus, peers

TEST_F(ControlsTest, MemoLinesKeepEmptyLinesAndReachThePeer) {
    auto form = MakeForm();
    auto* memo = new TMemo(form.get());
    Application->ProcessMessages();  // the memo was made after the window: its peer now
    TStringList lines;
    lines.SetText("Note: \r\n\r\nThe sentence.");
    memo->Lines().AddStrings(lines);
    ASSERT_EQ(memo->Lines().Count(), 3);
    EXPECT_EQ(memo->Lines()[0], "Note: ");
    EXPECT_EQ(memo->Lines()[1], "");
    EXPECT_EQ(memo->Lines()[2], "The sentence.");
    EXPECT_EQ(THeadlessBackend::PeerOf(*memo)->ItemChanges(), 3);  // three adds
}

TEST_F(ControlsTest, StringListTextSplitsAtEveryKindOfLineBreak) {
    TStringList lines;
    lines.SetText("a\rb\nc\r\nd\n");
    EXPECT_EQ(lines.Lines(), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(lines.Text(), "a\r\nb\r\nc\r\nd\r\n");
    lines.SetText("");
    EXPECT_EQ(lines.Count(), 0);
    lines.SetText("\n\n");
    EXPECT_EQ(lines.Lines(), (std::vector<std::string>{"", ""}));
}

TEST_F(ControlsTest, ProgressBarPositionStaysInRangeAndRepaints) {
    auto form = MakeForm();
    auto* bar = new TProgressBar(form.get());
    bar->SetPosition(150);
    EXPECT_EQ(bar->Position(), 100);
    bar->SetPosition(-5);
    EXPECT_EQ(bar->Position(), 0);
    bar->HandleNeeded();
    bar->SetPosition(42);
    bar->Update();
    THeadlessPeer* peer = THeadlessBackend::PeerOf(*bar);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->Repaints(), 1);
    EXPECT_EQ(peer->Changes(TProperty::Position), 1);  // only the change after it existed
}

TEST_F(ControlsTest, FocusIsTrackedByTheForm) {
    auto form = MakeForm();
    auto* first = new TLabeledEdit(form.get());
    auto* second = new TLabeledEdit(form.get());
    EXPECT_EQ(form->ActiveControl(), nullptr);
    second->SetFocus();
    EXPECT_EQ(form->ActiveControl(), second);
    EXPECT_TRUE(second->Focused());
    first->UserFocused();
    EXPECT_TRUE(first->Focused());
    delete first;
    EXPECT_EQ(form->ActiveControl(), nullptr);
}

TEST_F(ControlsTest, TabOrderRenumbersSiblings) {
    auto form = MakeForm();
    auto* a = new TButton(form.get());
    auto* b = new TButton(form.get());
    auto* c = new TButton(form.get());
    new TLabel(form.get());  // no tab order
    EXPECT_EQ(c->TabOrder(), 2);
    c->SetTabOrder(0);
    EXPECT_EQ(c->TabOrder(), 0);
    EXPECT_EQ(a->TabOrder(), 1);
    EXPECT_EQ(b->TabOrder(), 2);
    b->SetTabOrder(99);  // clamped to the last place
    EXPECT_EQ(b->TabOrder(), 2);
}

TEST_F(ControlsTest, PeersAreToldOfChangesAndControlsMadeLaterGetOne) {
    auto form = MakeForm();
    auto* label = new TLabel(form.get());
    EXPECT_EQ(label->Peer(), nullptr);  // made after the window: none until the next turn
    Application->ProcessMessages();
    ASSERT_NE(label->Peer(), nullptr);
    label->SetCaption("x");
    label->SetCaption("x");
    label->SetAlignment(taRightJustify);
    EXPECT_EQ(THeadlessBackend::PeerOf(*label)->Changes(TProperty::Text), 1);
    EXPECT_EQ(THeadlessBackend::PeerOf(*label)->Changes(TProperty::Style), 1);
}

// ---- Text measuring

TEST_F(ControlsTest, HeadlessTextMetricIsFixedPitch) {
    auto form = MakeForm();
    auto* label = new TLabel(form.get());
    EXPECT_EQ(label->TextWidth(""), 0);
    EXPECT_EQ(label->TextWidth("abc"), 18);
    TFont font = form->Font();
    font.SetSize(10);
    form->SetFont(font);
    EXPECT_EQ(label->TextWidth("abc"), 21);
    EXPECT_EQ(label->TextExtent("abc").cy, 15);
#ifndef _WIN32
    EXPECT_EQ(label->TextWidth("\xE4\xB8\xAD"), 14);  // one CJK character: wide
    EXPECT_EQ(label->TextWidth("\xC3\xA9"), 7);       // e acute: narrow
    EXPECT_EQ(label->TextWidth("a\xE4\xB8\xAD"
                               "b"),
              28);  // 7 + 14 + 7
#endif
}

TEST(FontTest, PointSizesAndHeights) {
    TFont font;
    EXPECT_EQ(font.Name, "MS Sans Serif");
    EXPECT_EQ(font.Height, -11);
    EXPECT_EQ(font.Size(), 8);
    EXPECT_EQ(font.Charset, DEFAULT_CHARSET);
    font.SetSize(10);
    EXPECT_EQ(font.Height, -13);
    EXPECT_EQ(font.Size(), 10);
    font.SetSize(8);
    EXPECT_EQ(font.Height, -11);
}

TEST(CharLengthTest, WholeCharactersNeverPastTheEnd) {
    EXPECT_EQ(CharLength("", 0), 0u);
    EXPECT_EQ(CharLength("ab", 1), 1u);
    EXPECT_EQ(CharLength("ab", 2), 0u);
#ifndef _WIN32
    const std::string text = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
    EXPECT_EQ(CharLength(text, 1), 2u);
    EXPECT_EQ(CharLength(text, 3), 3u);
    EXPECT_EQ(CharLength(text, 6), 4u);
    EXPECT_EQ(CharLength(text, 2), 1u);        // a stray continuation byte
    EXPECT_EQ(CharLength("\xE4\xB8", 0), 1u);  // cut short
    EXPECT_EQ(CharLength("\xE4"
                         "ab",
                         0),
              1u);  // not followed by continuations
#endif
}

}  // namespace
