#pragma once
// One reference to a COM object, released when it goes out of scope, so that every
// object opened for a message is released on every path out of the call.

namespace velmo {

template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(Interface* object) : object_(object) {}
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* Get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // Where a call that hands out a new reference stores it; a reference held before is released.
    Interface** Receive() {
        Reset();
        return &object_;
    }

    void Reset(Interface* object = nullptr) {
        if (object_ != nullptr) object_->Release();
        object_ = object;
    }

private:
    Interface* object_ = nullptr;
};

}  // namespace velmo
