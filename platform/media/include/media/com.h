// The component-model pieces the media graph is written against: GUIDs,
// IUnknown, ComPtr and the ComObject implementation of IUnknown.
#pragma once

#include "com/com_object.h"
#include "com/com_ptr.h"
#include "com/guid.h"
#include "com/unknown.h"
