#pragma once
// IUnknown as every MAPI object has it, the reference-counting base that our
// interface objects derive from, and MapiPtr, the owning pointer our own
// callers hold interface objects in.

#include <atomic>
#include <type_traits>
#include <utility>

#include "outlook/mapi/MapiGuids.h"
#include "outlook/mapi/MapiTypes.h"

class IUnknown {
public:
    static const IID& Iid() { return IID_IUnknown; }
    virtual HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

// Releases the object when there is one; gives the remaining count.
inline ULONG UlRelease(LPVOID lpUnknown) {
    return lpUnknown ? static_cast<IUnknown*>(lpUnknown)->Release() : 0;
}
inline ULONG UlAddRef(LPVOID lpUnknown) {
    return lpUnknown ? static_cast<IUnknown*>(lpUnknown)->AddRef() : 0;
}

namespace qb::mapi {

// True when riid names Interface or one of the interfaces it derives from
// (each interface names its parent as ParentInterface).
template <class Interface>
bool ImplementsInterface(REFIID riid) {
    if (riid == Interface::Iid()) return true;
    if constexpr (std::is_same_v<Interface, IUnknown>) {
        return false;
    } else {
        return ImplementsInterface<typename Interface::ParentInterface>(riid);
    }
}

// The reference-counted implementation base of an interface object. The
// object starts with one reference, which the creator hands to its caller;
// the last Release destroys it.
template <class Interface>
class ComObject : public Interface {
public:
    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override {
        if (!ppvObj) return E_POINTER;
        *ppvObj = nullptr;
        if (!ImplementsInterface<Interface>(riid)) return E_NOINTERFACE;
        this->AddRef();
        *ppvObj = static_cast<Interface*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    ~ComObject() override = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    std::atomic<ULONG> refs_{1};
};

// Owning pointer of one reference to an interface object.
template <class T>
class MapiPtr {
public:
    MapiPtr() = default;
    // Takes over the reference the caller holds.
    explicit MapiPtr(T* adopt) : p_(adopt) {}
    // Adds a reference of its own.
    static MapiPtr Retain(T* p) {
        if (p) p->AddRef();
        return MapiPtr(p);
    }
    MapiPtr(const MapiPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    MapiPtr(MapiPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    MapiPtr(MapiPtr<U>&& other) noexcept : p_(other.Detach()) {}
    MapiPtr& operator=(MapiPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~MapiPtr() { Reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // Gives up ownership without releasing.
    T* Detach() { return std::exchange(p_, nullptr); }
    // For out parameters: releases what is held and gives the slot.
    T** Put() {
        Reset();
        return &p_;
    }
    // For out parameters typed LPUNKNOWN* (OpenEntry, OpenProperty); every
    // interface here derives from IUnknown along a single line, so the
    // pointer value is the same.
    IUnknown** PutUnknown() { return reinterpret_cast<IUnknown**>(Put()); }
    LPVOID* PutVoid() { return reinterpret_cast<LPVOID*>(Put()); }

    // QueryInterface into another pointer type.
    template <class U>
    HRESULT As(MapiPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(U::Iid(), out.PutVoid());
    }

private:
    T* p_ = nullptr;
};

// Creates an interface object; the pointer holds the creation reference.
template <class Impl, class... Args>
MapiPtr<Impl> MakeObject(Args&&... args) {
    return MapiPtr<Impl>(new Impl(std::forward<Args>(args)...));
}

}  // namespace qb::mapi
