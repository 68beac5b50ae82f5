/* Umbrella header of libztCommon. */
#ifndef ZT_COMMON_H
#define ZT_COMMON_H

#include "ztErrno.h"
#include "ztHexdump.h"
#include "ztLog.h"
#include "ztMbox.h"
#include "ztMsg.h"
#include "ztTlv.h"
#include "ztUtil.h"

#endif
