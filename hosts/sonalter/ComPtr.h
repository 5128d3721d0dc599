// Owners for the platform's reference-counted and allocated objects, so that every
// exit path of the host (errors are C++ exceptions here) gives them back.
#pragma once

#include <qelvsonalter2/platform.h>

#include "../common/ComPtr.h"

#include <utility>

namespace sonalter {

using qelvhost::ComPtr;

// A BSTR freed with SysFreeString.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR adopted) : s_(adopted) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    ~Bstr() { SysFreeString(s_); }
    BSTR get() const { return s_; }
    BSTR* put() {
        SysFreeString(std::exchange(s_, nullptr));
        return &s_;
    }

private:
    BSTR s_ = nullptr;
};

// A VARIANT cleared with VariantClear.
class Variant {
public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            VariantClear(&v_);
            v_ = other.v_;
            VariantInit(&other.v_);
        }
        return *this;
    }
    ~Variant() { VariantClear(&v_); }
    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    const VARIANT* operator->() const { return &v_; }

private:
    VARIANT v_;
};

}  // namespace sonalter
