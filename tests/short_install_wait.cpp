// The wait of the setup the 1618 case runs, in place of the shipped two
// minutes: given on the compiler's command line (tests/CMakeLists.txt).
#include "install/setup_lock.h"

extern const unsigned long kInstallWaitMilliseconds = PIXELMOOR_TEST_INSTALL_WAIT_MS;
