// A fixture with a port at 115200 8N1 that receives the way the main window does: every
// delivery reads exactly what is queued. The test's main thread is the window thread.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "serial/Comport.h"
#include "tests/serial/WindowPump.h"

namespace serialtest {

class ReceivingPortTest : public ::testing::Test {
  protected:
    // The device the port opens, with the window's line settings.
    void UseDevice(const std::string& name) {
        port_.SetDeviceName(name);
        port_.SetBaudRate(TBaudRate::br115200);
        port_.SetDataBits(TDataBits::db8);
        port_.SetParity(TParity::paNone);
        port_.SetStopBits(TStopBits::sb1);
    }

    void ReadQueued(TCustomComPort* sender) {
        std::int32_t count = sender->InputCount();
        std::string bytes(static_cast<std::size_t>(count), '\0');
        if (count > 0) sender->Read(&bytes[0], count, true);
        received_ += bytes;
    }

    void OpenReceiving() {
        port_.SetOnRxChar([this](TCustomComPort* sender) {
            ++deliveries_;
            ReadQueued(sender);
        });
        port_.Open();
    }

    bool ReceivedAtLeast(std::size_t count) {
        return pump_.Until([&] { return received_.size() >= count; });
    }

    WindowPump pump_;
    std::string received_;
    int deliveries_ = 0;
    TComPort port_;
};

}  // namespace serialtest
