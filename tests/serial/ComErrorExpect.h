// Checks that an operation raises EComError with a given code and message.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "serial/ComError.h"

namespace serialtest {

template <typename Operation>
::testing::AssertionResult RaisesComError(Operation operation, int code,
                                          const std::string& message) {
    try {
        operation();
    } catch (const EComError& error) {
        if (error.ErrorCode() == code && message == error.what()) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "EComError " << error.ErrorCode() << " \"" << error.what() << "\"";
    }
    return ::testing::AssertionFailure() << "no EComError raised";
}

}  // namespace serialtest
