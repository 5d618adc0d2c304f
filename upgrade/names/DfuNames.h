// Names of the DFU engine's result, operation and sub-operation codes, as shown in the
// upgrade failure message. The texts are fixed and shown untranslated in every language.
#pragma once

#include <cstdint>

namespace upgrade {

// Number of named codes in each table; valid codes are 0 .. count - 1.
constexpr int32_t kResultNameCount = 118;
constexpr int32_t kOperationNameCount = 16;
constexpr int32_t kSubOperationNameCount = 10;

// Each lookup returns the table's constant text for a valid code. A code outside the table
// gives "unknown(N)" with N the code in decimal, held in a small per-thread buffer of that
// lookup: the text stays valid until the same lookup is next given an out-of-range code on
// the same thread, so one message may safely format a result, an operation and a
// sub-operation that are all out of range.
const char* ResultName(int32_t code);
const char* OperationName(int32_t code);
const char* SubOperationName(int32_t code);

}  // namespace upgrade
