#include "ui/Classes.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace ui {

// ---- TComponent

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (owner_) {
        auto& list = owner_->components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* component = components_.back();
        components_.pop_back();
        component->owner_ = nullptr;
        delete component;
    }
}

// ---- TStrings

void TStrings::Notify(TStringsChange::Kind kind, int index) {
    if (OnChange) OnChange(TStringsChange{kind, index});
}

void TStrings::SetStrings(int index, const std::string& text) {
    lines_.at(index) = text;
    Notify(TStringsChange::Replaced, index);
}

int TStrings::Add(const std::string& text) {
    lines_.push_back(text);
    int index = Count() - 1;
    Notify(TStringsChange::Inserted, index);
    return index;
}

void TStrings::Insert(int index, const std::string& text) {
    if (index < 0 || index > Count()) throw std::out_of_range("TStrings::Insert: index");
    lines_.insert(lines_.begin() + index, text);
    Notify(TStringsChange::Inserted, index);
}

void TStrings::Delete(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("TStrings::Delete: index");
    lines_.erase(lines_.begin() + index);
    Notify(TStringsChange::Deleted, index);
}

void TStrings::Clear() {
    lines_.clear();
    Notify(TStringsChange::Cleared, -1);
}

void TStrings::AddStrings(const TStrings& other) {
    // Copy first: other may be this list.
    std::vector<std::string> lines = other.lines_;
    for (const auto& line : lines) Add(line);
}

void TStrings::Assign(const TStrings& other) {
    if (&other == this) return;
    Clear();
    AddStrings(other);
}

int TStrings::IndexOf(const std::string& text) const {
    auto it = std::find(lines_.begin(), lines_.end(), text);
    return it == lines_.end() ? -1 : static_cast<int>(it - lines_.begin());
}

std::string TStrings::Text() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStrings::SetText(const std::string& text) {
    Clear();
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        char c = text[pos];
        if (c == '\r' || c == '\n') {
            Add(text.substr(start, pos - start));
            if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
            start = pos + 1;
        }
        ++pos;
    }
    if (start < text.size()) Add(text.substr(start));
}

// ---- TFont

namespace {

// Windows MulDiv: a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c) {
    long long product = static_cast<long long>(a) * b;
    bool negative = (product < 0) != (c < 0);
    long long magnitude = (std::llabs(product) + std::llabs(c) / 2) / std::llabs(c);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

constexpr int kPixelsPerInch = 96;

}  // namespace

int TFont::Size() const {
    return -MulDiv(Height, 72, kPixelsPerInch);
}

void TFont::SetSize(int points) {
    Height = -MulDiv(points, kPixelsPerInch, 72);
}

bool TFont::operator==(const TFont& other) const {
    return Name == other.Name && Height == other.Height && Charset == other.Charset;
}

}  // namespace ui
