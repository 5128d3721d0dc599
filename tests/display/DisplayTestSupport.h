// Helpers for the display control tests: a control holder, dispatch calls by
// DISPID, float arrays to and from vectors, and the thread's error description.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/SonalterDisplay2.h"

namespace qelv::test {

class Control {
public:
    Control() : control_(CSonalterDisplay2::Create()) {}
    ~Control() {
        if (control_) control_->Release();
    }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    CSonalterDisplay2* operator->() const { return control_; }
    CSonalterDisplay2* get() const { return control_; }

private:
    CSonalterDisplay2* control_;
};

// A property get through IDispatch::Invoke; the result variant is returned
// (VT_EMPTY when the call failed, with hr set).
VARIANT DispatchGet(IDispatch* object, DISPID id, HRESULT* hr = nullptr);

// A property put through IDispatch::Invoke with one argument.
HRESULT DispatchPut(IDispatch* object, DISPID id, VARIANT value, EXCEPINFO* info = nullptr);

VARIANT MakeR4(float value);

// A new float array (lower bound 0) holding values; the caller destroys it.
SAFEARRAY* MakeFloatArray(const std::vector<float>& values);
std::vector<float> FloatsOf(SAFEARRAY* array);

// The thread's error description ("" if none), cleared.
std::u16string TakeDescription();

std::vector<float> PointArrayOf(CSonalterDisplay2* control);
std::vector<float> LineArrayOf(CSonalterDisplay2* control);

}  // namespace qelv::test
