// CStringX and CStringListX: wide strings and their list, with storage owned by this library so
// that memory allocated here is also released here.
#include <cwchar>
#include <new>

#include "DFUEngine.h"

namespace {
wchar_t kEmpty[1] = {L'\0'};
}

CStringX::CStringX() : data_(kEmpty), length_(0) {}

CStringX::CStringX(const wchar_t* text) : data_(kEmpty), length_(0) {
    Assign(text, text != nullptr ? std::wcslen(text) : 0);
}

CStringX::CStringX(const wchar_t* text, std::size_t length) : data_(kEmpty), length_(0) {
    Assign(text, text != nullptr ? length : 0);
}

CStringX::CStringX(const CStringX& other) : data_(kEmpty), length_(0) {
    Assign(other.data_, other.length_);
}

CStringX& CStringX::operator=(const CStringX& other) {
    if (this != &other) Assign(other.data_, other.length_);
    return *this;
}

CStringX& CStringX::operator=(const wchar_t* text) {
    Assign(text, text != nullptr ? std::wcslen(text) : 0);
    return *this;
}

CStringX::~CStringX() {
    Empty();
}

void CStringX::Empty() {
    if (data_ != kEmpty) delete[] data_;
    data_ = kEmpty;
    length_ = 0;
}

bool CStringX::operator==(const CStringX& other) const {
    return length_ == other.length_ && std::wmemcmp(data_, other.data_, length_) == 0;
}

void CStringX::Assign(const wchar_t* text, std::size_t length) {
    if (length == 0) {
        Empty();
        return;
    }
    // Copy first: text may point into our own buffer.
    wchar_t* copy = new wchar_t[length + 1];
    std::wmemcpy(copy, text, length);
    copy[length] = L'\0';
    Empty();
    data_ = copy;
    length_ = length;
}

struct CStringListX::Node {
    CStringX text;
    Node* next = nullptr;
};

CStringListX::CStringListX() : head_(nullptr), tail_(nullptr), count_(0) {}

CStringListX::CStringListX(const CStringListX& other) : CStringListX() {
    for (Position pos = other.GetHeadPosition(); pos != nullptr;) AddTail(other.GetNext(pos));
}

CStringListX& CStringListX::operator=(const CStringListX& other) {
    if (this != &other) {
        CStringListX copy(other);
        RemoveAll();
        head_ = copy.head_;
        tail_ = copy.tail_;
        count_ = copy.count_;
        copy.head_ = copy.tail_ = nullptr;
        copy.count_ = 0;
    }
    return *this;
}

CStringListX::~CStringListX() {
    RemoveAll();
}

void CStringListX::AddTail(const CStringX& text) {
    Node* node = new Node;
    node->text = text;
    if (tail_ != nullptr) {
        tail_->next = node;
    } else {
        head_ = node;
    }
    tail_ = node;
    ++count_;
}

void CStringListX::RemoveAll() {
    while (head_ != nullptr) {
        Node* next = head_->next;
        delete head_;
        head_ = next;
    }
    tail_ = nullptr;
    count_ = 0;
}

CStringListX::Position CStringListX::GetHeadPosition() const {
    return head_;
}

const CStringX& CStringListX::GetNext(Position& pos) const {
    const Node* node = static_cast<const Node*>(pos);
    pos = node->next;
    return node->text;
}
