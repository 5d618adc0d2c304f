#include "tests/serial/FarEnd.h"
#include "tests/serial/PtyPair.h"

namespace serialtest {
namespace {

class PtyFarEnd : public FarEnd {
  public:
    PtyFarEnd() { links_.Link("COM5", pty_.SlavePath()); }
    std::string PortName() const override { return "COM5"; }
    void Send(const std::string& bytes) override { pty_.Send(bytes); }
    std::string Receive(std::size_t count, std::chrono::milliseconds limit) override {
        return pty_.Receive(count, limit);
    }

  private:
    PtyPair pty_;
    ComLinks links_;
};

}  // namespace

std::unique_ptr<FarEnd> OpenFarEnd(std::string*) {
    return std::make_unique<PtyFarEnd>();
}

}  // namespace serialtest
