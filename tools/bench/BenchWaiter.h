// The completion of one engine step, waited for by a benchmark; and the moment the blocks of a
// download start to go out.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "DFUEngine.h"

namespace benchwait {

class Waiter : public DFUEngine::Callback {
  public:
    // Called on the engine's thread when the blocks start to go out (after the file was read).
    std::function<void()> onBlocks;
    void OnActivity(DFUEngine*, const DFUEngine::Status& s) override {
        if (s.activity.GetOperation() == DFUEngine::download_progress && onBlocks) onBlocks();
    }
    void OnComplete(DFUEngine*, const DFUEngine::Status& s) override {
        std::lock_guard<std::mutex> lock(mutex_);
        result_ = s.activity.GetResult().GetCode();
        done_ = true;
        cv_.notify_all();
    }
    int Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return done_; });
        done_ = false;
        return result_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    int result_ = -1;
};

}  // namespace benchwait
