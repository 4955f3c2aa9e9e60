#include "dragdrop/ole.h"

#include <map>

namespace pelisto {

void ReleaseStgMedium(STGMEDIUM& medium) {
    medium.hGlobal.reset();
    medium.tymed = TYMED_NULL;
}

namespace {
std::map<IUnknown*, int>& ExternalLocks() {
    static std::map<IUnknown*, int> locks;
    return locks;
}
} // namespace

HRESULT CoLockObjectExternal(IUnknown* object, bool lock, bool lastUnlockReleases) {
    if (!object) {
        return E_INVALIDARG;
    }
    auto& locks = ExternalLocks();
    if (lock) {
        ++locks[object];
        object->AddRef();
        return S_OK;
    }
    auto it = locks.find(object);
    if (it == locks.end()) {
        return S_FALSE; // never locked: nothing to let go
    }
    if (--it->second == 0) {
        locks.erase(it);
    }
    // Without lastUnlockReleases the external reference goes but the caller keeps the object
    // alive by its own counted reference; with it, the release may end the object.
    (void)lastUnlockReleases;
    object->Release();
    return S_OK;
}

} // namespace pelisto
