#include "install/setup_lock.h"

extern const unsigned long kInstallWaitMilliseconds = 120000;
