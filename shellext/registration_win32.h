#pragma once
// Self-registration of Vorlink64: the icon handler's class script and the
// context-menu handler's entries, written or removed as one operation.
#include <windows.h>

namespace vellumo {

// Writes (true) or removes (false) the registry entries of both classes. The
// result is that of the context-menu handler's entries: S_OK, or
// SELFREG_E_CLASS at the first key that can't be written or deleted.
HRESULT RegisterUnregister(bool registering);

}  // namespace vellumo
