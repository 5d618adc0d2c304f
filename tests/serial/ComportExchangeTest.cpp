// The port and its event thread exchanging bytes with a far end: natively over a pty, under
// Wine over the real Win32 calls with a pty pair between two COM ports. The test's main
// thread is the window thread.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "serial/Comport.h"
#include "tests/serial/FarEnd.h"
#include "tests/serial/ReceivingPortTest.h"

using namespace std::chrono_literals;

namespace {

class ComPortExchangeTest : public serialtest::ReceivingPortTest {
  protected:
    void SetUp() override {
        std::string whyNot;
        far_ = serialtest::OpenFarEnd(&whyNot);
        // Without the line every test here would pass untried: a missing rig is a failure.
        ASSERT_TRUE(far_) << whyNot;
        UseDevice(far_->PortName());
    }
    void TearDown() override { port_.Close(); }

    std::unique_ptr<serialtest::FarEnd> far_;
};

TEST_F(ComPortExchangeTest, WrittenStringsReachTheFarEnd) {
    port_.Open();
    port_.WriteString("AT+QVCMD1=7\r");
    port_.WriteString("");  // nothing to send, and the next write does not wait for it
    port_.WriteString("AT+QVCMD1=8\r");
    EXPECT_EQ("AT+QVCMD1=7\rAT+QVCMD1=8\r", far_->Receive(25, 300ms));
}

TEST_F(ComPortExchangeTest, OpenOnAnOpenPortAndCloseOnAClosedPortDoNothing) {
    port_.Close();
    port_.Open();
    port_.Open();
    EXPECT_TRUE(port_.Active());
    port_.WriteString("x");
    EXPECT_EQ("x", far_->Receive(1));
    port_.Close();
    port_.Close();
    EXPECT_FALSE(port_.Active());
}

TEST_F(ComPortExchangeTest, ReceivedBytesAreDeliveredToOnRxCharOnTheWindowThread) {
    std::thread::id handlerThread;
    port_.SetOnRxChar([&](TCustomComPort* sender) {
        handlerThread = std::this_thread::get_id();
        EXPECT_EQ(&port_, sender);
        ReadQueued(sender);
    });
    port_.Open();
    far_->Send("+QVSTS1=7,1,0\n");
    ASSERT_TRUE(ReceivedAtLeast(14));
    EXPECT_EQ("+QVSTS1=7,1,0\n", received_);
    EXPECT_EQ(std::this_thread::get_id(), handlerThread);
}

TEST_F(ComPortExchangeTest, BytesArrivingDuringADeliveryAreNotLost) {
    port_.SetOnRxChar([this](TCustomComPort* sender) {
        ReadQueued(sender);
        if (++deliveries_ == 1) {
            // These arrive while this delivery still runs and no event wait is pending.
            far_->Send("OK\n");
            std::this_thread::sleep_for(100ms);
        }
    });
    port_.Open();
    far_->Send("+QVSTS1=1\n");
    ASSERT_TRUE(ReceivedAtLeast(13));
    EXPECT_EQ("+QVSTS1=1\nOK\n", received_);
    EXPECT_GE(deliveries_, 2);
}

TEST_F(ComPortExchangeTest, AnErrorInsideOnRxCharIsShownOnceAndLaterBytesAreStillDelivered) {
    port_.SetOnRxChar([this](TCustomComPort* sender) {
        if (++deliveries_ == 1) throw EComError("reply handler failed", 0);
        ReadQueued(sender);
    });
    port_.Open();
    far_->Send("a");
    ASSERT_TRUE(pump_.Until([&] { return !pump_.Shown().empty(); }));
    far_->Send("b");
    ASSERT_TRUE(ReceivedAtLeast(2));
    EXPECT_EQ("ab", received_);
    EXPECT_EQ(std::vector<std::string>{"reply handler failed"}, pump_.Shown());
}

TEST_F(ComPortExchangeTest, AHandlerMayAssignAnotherHandlerWhileItRuns) {
    std::string tag(64, 'a');  // long enough to live on the heap inside the handler
    port_.SetOnRxChar([this, tag](TCustomComPort* sender) {
        sender->SetOnRxChar([this](TCustomComPort* next) {
            ++deliveries_;
            ReadQueued(next);
        });
        // The handler that runs is the one just replaced: its state must still be there.
        received_ += tag.substr(0, 1);
        ReadQueued(sender);
    });
    port_.Open();
    far_->Send("x");
    ASSERT_TRUE(ReceivedAtLeast(2));
    far_->Send("y");
    ASSERT_TRUE(ReceivedAtLeast(3));
    EXPECT_EQ("axy", received_);
    EXPECT_EQ(1, deliveries_);
}

TEST_F(ComPortExchangeTest, ClosingWhileTheThreadWaitsDeliversNothingAndReleasesThePort) {
    OpenReceiving();
    pump_.For(20ms);
    port_.Close();
    EXPECT_FALSE(port_.Active());
    far_->Send("late");
    pump_.For(100ms);
    EXPECT_EQ(0, deliveries_);
    // The device is free again and a new event thread delivers.
    port_.Open();
    far_->Send("new");
    ASSERT_TRUE(pump_.Until([&] { return received_.find("new") != std::string::npos; }));
}

TEST_F(ComPortExchangeTest, ClosingFromInsideOnRxCharEndsTheDeliveries) {
    port_.SetOnRxChar([this](TCustomComPort* sender) {
        ++deliveries_;
        sender->Close();
    });
    port_.Open();
    far_->Send("x");
    ASSERT_TRUE(pump_.Until([&] { return !port_.Active(); }));
    far_->Send("y");
    pump_.For(100ms);
    EXPECT_EQ(1, deliveries_);
    EXPECT_TRUE(pump_.Shown().empty());
}

TEST_F(ComPortExchangeTest, ADeliveryQueuedBeforeCloseDoesNothingWhenItArrives) {
    OpenReceiving();
    far_->Send("x");
    // The event thread hands the delivery over and waits; the window thread is busy closing.
    std::this_thread::sleep_for(200ms);
    port_.Close();
    pump_.For(50ms);
    EXPECT_EQ(0, deliveries_);
    EXPECT_TRUE(pump_.Shown().empty());
}

TEST_F(ComPortExchangeTest, RemovingAndAssigningTheHandlerWhileOpenStopsAndRestartsTheThread) {
    OpenReceiving();
    port_.SetOnRxChar(nullptr);  // empty event mask: no event thread
    far_->Send("unseen");
    pump_.For(100ms);
    EXPECT_EQ(0, deliveries_);
    port_.SetOnRxChar([this](TCustomComPort* sender) {
        ++deliveries_;
        ReadQueued(sender);
    });
    far_->Send("!");
    // The bytes that came while nobody listened are still queued and are read with the new.
    ASSERT_TRUE(ReceivedAtLeast(7));
    EXPECT_EQ("unseen!", received_);
}

}  // namespace
