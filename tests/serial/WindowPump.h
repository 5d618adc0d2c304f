// The test's main thread plays the window thread: it runs the calls that the serial event
// thread hands over, and collects what the standard error display would show.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace serialtest {

class WindowPump {
  public:
    WindowPump();
    ~WindowPump();

    // Runs handed-over calls until done() holds; false if it did not within the limit.
    bool Until(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Runs handed-over calls for a while (to show that nothing more arrives).
    void For(std::chrono::milliseconds duration);
    // The messages shown by the standard error display so far.
    std::vector<std::string> Shown() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> shown_;
};

}  // namespace serialtest
