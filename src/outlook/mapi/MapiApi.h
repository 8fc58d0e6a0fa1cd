#pragma once
// Everything the Outlook writers use of MAPI, in one include.

#include "outlook/mapi/CompressedRtf.h"
#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiGuids.h"
#include "outlook/mapi/MapiInterfaces.h"
#include "outlook/mapi/MapiSession.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiTypes.h"
#include "outlook/mapi/PropUtil.h"
#include "outlook/mapi/Streams.h"
#include "outlook/mapi/Unknown.h"
