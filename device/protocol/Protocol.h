// The headset's serial command protocol: request lines, reply lines, log lines.
#pragma once

#include "device/protocol/CommandCodes.h"
#include "device/protocol/ReplyAcceptance.h"
#include "device/protocol/ReplyLog.h"
#include "device/protocol/Request.h"
#include "device/protocol/SettingRules.h"
#include "device/protocol/StatusLine.h"
