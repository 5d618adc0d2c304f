// The commands of qvdfu; each returns its exit code.
#pragma once

#include "console/CommandSupport.h"

namespace service {

int RunList(Context& context);
int RunInfo(Context& context);
int RunBackup(Context& context);
int RunRestore(Context& context);
int RunUpgrade(Context& context);
int RunRecover(Context& context);

}  // namespace service
