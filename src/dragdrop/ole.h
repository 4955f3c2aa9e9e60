#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

// The few COM-style types the drop target is written against. Drops arrive from Qt; this layer
// only gives them the shape (reference-counted interfaces, a file list in a memory block) that
// the drop target reads.
namespace pelisto {

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064u);
inline constexpr HRESULT DV_E_TYMED = static_cast<HRESULT>(0x80040069u);
inline constexpr HRESULT DRAGDROP_E_NOTREGISTERED = static_cast<HRESULT>(0x80040100u);
inline constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = static_cast<HRESULT>(0x80040101u);
inline constexpr HRESULT DRAGDROP_E_INVALIDHWND = static_cast<HRESULT>(0x80040102u);

// Key state bits passed with every drop-target call.
inline constexpr std::uint32_t MK_LBUTTON = 0x01;
inline constexpr std::uint32_t MK_RBUTTON = 0x02;
inline constexpr std::uint32_t MK_SHIFT = 0x04;
inline constexpr std::uint32_t MK_CONTROL = 0x08;
inline constexpr std::uint32_t MK_MBUTTON = 0x10;
inline constexpr std::uint32_t MK_ALT = 0x20;

inline constexpr std::uint32_t DROPEFFECT_NONE = 0;
inline constexpr std::uint32_t DROPEFFECT_COPY = 1;
inline constexpr std::uint32_t DROPEFFECT_MOVE = 2;
inline constexpr std::uint32_t DROPEFFECT_LINK = 4;

inline constexpr std::uint16_t CF_HDROP = 15;
inline constexpr std::uint32_t DVASPECT_CONTENT = 1;
inline constexpr std::uint32_t TYMED_NULL = 0;
inline constexpr std::uint32_t TYMED_HGLOBAL = 1;
inline constexpr std::uint32_t TYMED_ISTREAM = 4;

struct POINTL {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

enum class InterfaceId { IUnknown, IDataObject, IDropTarget };

class IUnknown {
public:
    virtual HRESULT QueryInterface(InterfaceId iid, void** object) = 0;
    virtual std::int32_t AddRef() = 0;
    virtual std::int32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

// A movable memory block: its size is exact, so a reader that steps past the end is caught by
// the bounds it is given (and by the address sanitizer in the checked build).
class GlobalMemory {
public:
    explicit GlobalMemory(std::size_t size) : data_(new std::byte[size]()), size_(size) {}
    std::byte* Lock() { return data_.get(); }
    const std::byte* Lock() const { return data_.get(); }
    void Unlock() const {}
    std::size_t Size() const { return size_; }

private:
    std::unique_ptr<std::byte[]> data_;
    std::size_t size_;
};
using HGLOBAL = std::shared_ptr<GlobalMemory>;

struct FORMATETC {
    std::uint16_t cfFormat = 0;
    const void* ptd = nullptr;
    std::uint32_t dwAspect = DVASPECT_CONTENT;
    std::int32_t lindex = -1;
    std::uint32_t tymed = TYMED_NULL;
};

struct STGMEDIUM {
    std::uint32_t tymed = TYMED_NULL;
    HGLOBAL hGlobal;
};

// Frees what a medium holds and leaves it empty.
void ReleaseStgMedium(STGMEDIUM& medium);

class IDataObject : public virtual IUnknown {
public:
    virtual HRESULT GetData(const FORMATETC& format, STGMEDIUM& medium) = 0;
    virtual HRESULT QueryGetData(const FORMATETC& format) = 0;

protected:
    ~IDataObject() = default;
};

class IDropTarget : public virtual IUnknown {
public:
    virtual HRESULT DragEnter(IDataObject* dataObject, std::uint32_t keyState, POINTL pt,
                              std::uint32_t* effect) = 0;
    virtual HRESULT DragOver(std::uint32_t keyState, POINTL pt, std::uint32_t* effect) = 0;
    virtual HRESULT DragLeave() = 0;
    virtual HRESULT Drop(IDataObject* dataObject, std::uint32_t keyState, POINTL pt,
                         std::uint32_t* effect) = 0;

protected:
    ~IDropTarget() = default;
};

// Holds one counted reference to an interface.
template <typename T> class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : p_(p) { // NOLINT: takes a new reference, as an assignment in COM code does
        if (p_) {
            p_->AddRef();
        }
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) {
            p->Release();
        }
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Adds (lock) or drops (unlock) the external reference that keeps a registered object alive.
// With lastUnlockReleases false the unlock never destroys the object by itself; the object's
// own count then decides.
HRESULT CoLockObjectExternal(IUnknown* object, bool lock, bool lastUnlockReleases);

// A plain reference count for the layer's own objects.
class RefCount {
public:
    std::int32_t Increment() { return ++count_; }
    std::int32_t Decrement() { return --count_; }
    std::int32_t Value() const { return count_.load(); }

private:
    std::atomic<std::int32_t> count_{0};
};

} // namespace pelisto
