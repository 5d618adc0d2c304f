// The English system message texts for the error codes this layer reports, worded and
// terminated ("\r\n") as Windows words them.
#pragma once

#include "serial/CommApi.h"

namespace commapi::posix {

// Null for a code without a text.
const char* SystemMessageText(DWORD code);

}  // namespace commapi::posix
