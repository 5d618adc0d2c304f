// Out-of-line members of the engine's interface classes, implemented just far enough for
// the bridge tests.
#include "FakeEngine.h"

#include <cwchar>
#include <map>

namespace {

// The engine's Impl is private to it, so each object's state is also found by address.
std::map<DFUEngine*, fake::EngineState*>& States() {
    static std::map<DFUEngine*, fake::EngineState*> states;
    return states;
}

}  // namespace

// CStringX and CStringListX are the engine's own (engine/Strings.cpp).

// --- DFUEngine ---

class DFUEngine::Impl {
  public:
    fake::EngineState state;
};

DFUEngine::Callback::~Callback() = default;
void DFUEngine::Callback::OnActivity(DFUEngine*, const Status&) {}
void DFUEngine::Callback::OnProgress(DFUEngine*, const Status&) {}
void DFUEngine::Callback::OnComplete(DFUEngine*, const Status&) {}

DFUEngine::DFUEngine() : impl_(new Impl) {
    States()[this] = &impl_->state;
    ++fake::Library().liveEngines;
}
DFUEngine::~DFUEngine() {
    States().erase(this);
    delete impl_;
    --fake::Library().liveEngines;
}

bool DFUEngine::CreateUSB(const wchar_t* deviceName) {
    impl_->state.calls.push_back(std::wstring(L"CreateUSB ") + deviceName);
    return impl_->state.answer;
}

void DFUEngine::SetCallback(Callback* callback) {
    impl_->state.callback = callback;
    ++impl_->state.setCallbackCalls;
}

bool DFUEngine::StartReconfigure(bool dfuModeOnly, bool checkFile, const wchar_t* fileName) {
    impl_->state.calls.push_back(std::wstring(L"Reconfigure ") + (dfuModeOnly ? L"1 " : L"0 ") +
                                 (checkFile ? L"1 " : L"0 ") + fileName);
    return impl_->state.answer;
}

bool DFUEngine::StartUpload(const wchar_t* fileName) {
    impl_->state.calls.push_back(std::wstring(L"Upload ") + fileName);
    return impl_->state.answer;
}

bool DFUEngine::StartDownload(const wchar_t* fileName) {
    impl_->state.calls.push_back(std::wstring(L"Download ") + fileName);
    return impl_->state.answer;
}

bool DFUEngine::StartManifest() {
    impl_->state.calls.push_back(L"Manifest");
    return impl_->state.answer;
}

void DFUEngine::GetStatus(Status& status) const {
    status = impl_->state.status;
}

bool DFUEngine::GetUSBDeviceNames(CStringListX& names) {
    for (const std::wstring& name : fake::Library().deviceNames) {
        names.AddTail(CStringX(name.c_str()));
    }
    return !fake::Library().deviceNames.empty();
}

bool DFUEngine::IsDFUFileValid(const wchar_t* fileName, CStringX& comment, std::uint32_t& vendor,
                               std::uint32_t& product, std::uint32_t& release) {
    fake::LibraryState& lib = fake::Library();
    lib.checkedFiles.push_back(fileName);
    comment = lib.comment.c_str();
    vendor = lib.vendor;
    product = lib.product;
    release = lib.release;
    return lib.fileValid;
}

void DFUEngine::InitDLL() {
    ++fake::Library().initCalls;
}

namespace fake {

EngineState& StateOf(DFUEngine* engine) {
    return *States().at(engine);
}

LibraryState& Library() {
    static LibraryState state;
    return state;
}

void Reset() {
    const int live = Library().liveEngines;
    Library() = LibraryState{};
    Library().liveEngines = live;
}

}  // namespace fake
