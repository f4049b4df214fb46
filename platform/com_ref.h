// One reference to a COM object, released when it goes. Windows only.
#pragma once

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
