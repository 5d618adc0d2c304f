// Base classes of the window framework: objects, components with an owner, string lists,
// fonts, window messages and the event types.
//
// Naming follows one rule throughout the framework: a property P is read with P() and written
// with SetP(value); events are public std::function members named On...; texts are 8-bit byte
// strings (the system ANSI code page on Windows, UTF-8 in the portable build).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/WinTypes.h"

namespace ui {

class TObject {
  public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;
// Asked before a change the user makes; set allowChange to false to refuse it.
using TChangingEvent = std::function<void(TObject* sender, bool& allowChange)>;

// A component has an owner that destroys it. The owner destroys its components in reverse
// order of creation when it is destroyed itself; a component destroyed earlier (for example
// a member object of a form) leaves its owner's list by itself.
class TComponent : public TObject {
  public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(index); }

  protected:
    // Destroys the owned components now (newest first). Safe to call more than once.
    void DestroyComponents();

  private:
    TComponent* owner_;
    std::string name_;
    std::vector<TComponent*> components_;
};

// What changed in a string list, told to the control that shows it.
struct TStringsChange {
    enum Kind { Inserted, Deleted, Replaced, Cleared };
    Kind kind;
    int index;  // the line concerned; -1 for Cleared
};

// A list of byte strings. Lists that belong to a control (TListBox::Items, TMemo::Lines) tell
// the control about every change; a TStringList stands alone.
class TStrings {
  public:
    TStrings() = default;
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;
    virtual ~TStrings() = default;

    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int index) const { return lines_.at(index); }
    const std::string& Strings(int index) const { return lines_.at(index); }
    void SetStrings(int index, const std::string& text);
    int Add(const std::string& text);  // returns the new line's index
    void Insert(int index, const std::string& text);
    void Delete(int index);
    void Clear();
    void AddStrings(const TStrings& other);
    void Assign(const TStrings& other);  // replaces the contents
    int IndexOf(const std::string& text) const;
    const std::vector<std::string>& Lines() const { return lines_; }

    // All lines, each followed by CR LF.
    std::string Text() const;
    // Replaces the contents by the lines of text: LF, CR and the pair CR LF each end a line;
    // empty lines are kept; a break at the very end does not start another line.
    void SetText(const std::string& text);

    // Installed by the owning control.
    std::function<void(const TStringsChange&)> OnChange;

  private:
    void Notify(TStringsChange::Kind kind, int index);
    std::vector<std::string> lines_;
};

class TStringList : public TStrings {};

// A font as the window framework describes it. Height is in pixels, negative for the
// character height (the Windows LOGFONT convention); the framework assumes 96 pixels per inch,
// so height -11 is 8 point and 10 point is height -13.
struct TFont {
    std::string Name = "MS Sans Serif";
    int Height = -11;
    BYTE Charset = DEFAULT_CHARSET;

    int Size() const;          // in points
    void SetSize(int points);  // sets Height
    bool operator==(const TFont& other) const;
    bool operator!=(const TFont& other) const { return !(*this == other); }
};

// A window message as a form's WndProc sees it.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

struct TSize {
    int cx = 0;
    int cy = 0;
};

// System colours (the Windows system colour index with the high bit set, as VCL does).
using TColor = std::uint32_t;
constexpr TColor clWindow = 0x80000005u;
constexpr TColor clBtnFace = 0x8000000Fu;

}  // namespace ui
