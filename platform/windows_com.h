// What the Windows side's COM code shares: holders that release what they
// hold whatever happens, and UTF-16 between wchar_t and char16_t.
#pragma once

#include <objbase.h>
#include <propidl.h>

#include <string>

// Holds one reference to a COM object and releases it.
template <class T> class ComRef {
public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() { reset(); }

    void reset() {
        if (pointer_ != nullptr)
            pointer_->Release();
        pointer_ = nullptr;
    }
    // For the out parameter of a call; drops what was held.
    T** receive() {
        reset();
        return &pointer_;
    }
    void** receiveVoid() { return reinterpret_cast<void**>(receive()); }
    T* operator->() const { return pointer_; }
    T* get() const { return pointer_; }

private:
    T* pointer_ = nullptr;
};

// Holds memory the service allocated for the caller and frees it.
template <class T> class TaskMemory {
public:
    TaskMemory() = default;
    TaskMemory(const TaskMemory&) = delete;
    TaskMemory& operator=(const TaskMemory&) = delete;
    ~TaskMemory() { CoTaskMemFree(pointer_); }

    T** receive() {
        CoTaskMemFree(pointer_);
        pointer_ = nullptr;
        return &pointer_;
    }
    T* get() const { return pointer_; }

private:
    T* pointer_ = nullptr;
};

// A property value, cleared whatever happens to it.
class PropertyValue {
public:
    PropertyValue() { PropVariantInit(&value_); }
    PropertyValue(const PropertyValue&) = delete;
    PropertyValue& operator=(const PropertyValue&) = delete;
    ~PropertyValue() { PropVariantClear(&value_); }

    PROPVARIANT* receive() {
        PropVariantClear(&value_);
        return &value_;
    }
    const PROPVARIANT& get() const { return value_; }

private:
    PROPVARIANT value_;
};

inline std::u16string fromWide(const wchar_t* text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
    if (text == nullptr)
        return std::u16string();
    return std::u16string(reinterpret_cast<const char16_t*>(text));
}

inline const wchar_t* toWide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
