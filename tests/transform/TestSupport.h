// Helpers for the transform object tests: sample arrays to and from vectors, an
// object holder, and an event sink that records what it receives.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "transform/Sonalter2.h"

namespace qelv::test {

// A one-dimensional safe array of 16-bit samples (lower bound 0), owned.
class SampleArray {
public:
    SampleArray() = default;
    explicit SampleArray(const std::vector<short>& values);
    static SampleArray Filled(std::size_t n, short value);
    ~SampleArray();
    SampleArray(SampleArray&& other) noexcept : array_(other.array_) { other.array_ = nullptr; }
    SampleArray& operator=(SampleArray&& other) noexcept;
    SampleArray(const SampleArray&) = delete;
    SampleArray& operator=(const SampleArray&) = delete;

    SAFEARRAY** operator&() { return &array_; }
    SAFEARRAY* get() const { return array_; }
    std::vector<short> values() const;
    std::size_t size() const;

private:
    SAFEARRAY* array_ = nullptr;
};

std::vector<float> FloatValues(SAFEARRAY* array);

// Creates a transform object and releases it at the end of the test.
class Object {
public:
    Object() : object_(CSonalter2::Create()) {}
    ~Object() {
        if (object_) object_->Release();
    }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    CSonalter2* operator->() const { return object_; }
    CSonalter2& operator*() const { return *object_; }
    CSonalter2* get() const { return object_; }

    // Switches edge smoothing off (most value tests want the raw transform).
    void NoSmoothing() {
        object_->put_SmoothLeftEnabled(VARIANT_FALSE);
        object_->put_SmoothRightEnabled(VARIANT_FALSE);
    }

private:
    CSonalter2* object_;
};

// A dispatch sink for _ISonalter2Events that records every event as text
// ("TB 5", "End") and can run a callback on each TransformBlock.
class RecordingSink final : public IDispatch {
public:
    std::vector<std::string> events;
    std::vector<LONG> percents;
    std::function<void(LONG)> onBlock;
    std::function<void()> onEnd;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override;

    ULONG refs() const { return refs_; }
    int endCount() const;

private:
    ULONG refs_ = 1;
};

// Advises a sink on an object for the scope of a test.
class Connection {
public:
    Connection(CSonalter2* object, IUnknown* sink);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    DWORD cookie() const { return cookie_; }

private:
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
};

// Description of the thread's current error information ("" if none); clears it.
std::u16string TakeErrorDescription();

std::vector<short> Ramp(std::size_t n, int start, int step);

}  // namespace qelv::test
