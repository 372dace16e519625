// Resource ids of the setup program.
#pragma once

#define IDR_PAYLOAD 1973
