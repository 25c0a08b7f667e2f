// Internal: the objects behind the HANDLEs this layer gives out. Not for
// plug-ins (they only pass HANDLEs around).
#pragma once
#include "host/core/win32.h"

namespace vorel::host::detail {

struct HandleObject {
  virtual ~HandleObject() = default;
};

// Registers obj (owned from now on) and returns its handle.
HANDLE AddHandle(HandleObject* obj);
// The object of a live handle, null when h is not one of ours.
HandleObject* FindHandle(HANDLE h);
template <class T>
T* HandleAs(HANDLE h) {
  return dynamic_cast<T*>(FindHandle(h));
}

}  // namespace vorel::host::detail
