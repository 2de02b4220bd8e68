// The OLE document and control interfaces: declared once in the platform layer, where
// the browser control implements them too.
#pragma once

#include "platform/com/oleidl.h"
