#include "TestSupport.h"

#include <memory>

namespace qelv::test {

SampleArray::SampleArray(const std::vector<short>& values) {
    SAFEARRAYBOUND bound = {static_cast<ULONG>(values.size()), 0};
    array_ = SafeArrayCreate(VT_I2, 1, &bound);
    short* data = nullptr;
    SafeArrayAccessData(array_, reinterpret_cast<void**>(&data));
    std::copy(values.begin(), values.end(), data);
    SafeArrayUnaccessData(array_);
}

SampleArray SampleArray::Filled(std::size_t n, short value) { return SampleArray(std::vector<short>(n, value)); }

SampleArray::~SampleArray() {
    if (array_) {
        EXPECT_EQ(SafeArrayDestroy(array_), S_OK);
    }
}

SampleArray& SampleArray::operator=(SampleArray&& other) noexcept {
    if (this != std::addressof(other)) {
        if (array_) SafeArrayDestroy(array_);
        array_ = other.array_;
        other.array_ = nullptr;
    }
    return *this;
}

std::size_t SampleArray::size() const {
    LONG upper = -1;
    if (!array_ || FAILED(SafeArrayGetUBound(array_, 1, &upper))) return 0;
    return static_cast<std::size_t>(upper + 1);
}

std::vector<short> SampleArray::values() const {
    std::vector<short> out(size());
    if (out.empty()) return out;
    short* data = nullptr;
    SafeArrayAccessData(array_, reinterpret_cast<void**>(&data));
    std::copy(data, data + out.size(), out.begin());
    SafeArrayUnaccessData(array_);
    return out;
}

std::vector<float> FloatValues(SAFEARRAY* array) {
    LONG upper = -1;
    SafeArrayGetUBound(array, 1, &upper);
    std::vector<float> out(static_cast<std::size_t>(upper + 1));
    float* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::copy(data, data + out.size(), out.begin());
    SafeArrayUnaccessData(array);
    return out;
}

STDMETHODIMP RecordingSink::QueryInterface(REFIID riid, void** ppv) {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, DIID__ISonalter2Events)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP RecordingSink::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) {
    // Events arrive as plain method calls with the user-default locale and no named arguments.
    EXPECT_TRUE(IsEqualIID(riid, IID_NULL));
    EXPECT_EQ(lcid, static_cast<LCID>(LOCALE_USER_DEFAULT));
    EXPECT_EQ(flags, DISPATCH_METHOD);
    EXPECT_EQ(params->cNamedArgs, 0u);
    if (id == 1) {
        EXPECT_EQ(params->cArgs, 1u);
        EXPECT_EQ(V_VT(&params->rgvarg[0]), VT_I4);
        const LONG percent = V_I4(&params->rgvarg[0]);
        events.push_back("TB " + std::to_string(percent));
        percents.push_back(percent);
        if (onBlock) onBlock(percent);
    } else if (id == 2) {
        EXPECT_EQ(params->cArgs, 0u);
        events.push_back("End");
        if (onEnd) onEnd();
    } else {
        ADD_FAILURE() << "unexpected event " << id;
    }
    return S_OK;
}

int RecordingSink::endCount() const {
    int count = 0;
    for (const std::string& e : events) count += e == "End";
    return count;
}

Connection::Connection(CSonalter2* object, IUnknown* sink) {
    EXPECT_EQ(object->FindConnectionPoint(DIID__ISonalter2Events, &point_), S_OK);
    EXPECT_EQ(point_->Advise(sink, &cookie_), S_OK);
}

Connection::~Connection() {
    if (point_) {
        EXPECT_EQ(point_->Unadvise(cookie_), S_OK);
        point_->Release();
    }
}

std::u16string TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return u"";
    BSTR description = nullptr;
    info->GetDescription(&description);
    std::u16string text = description ? std::u16string(description, SysStringLen(description)) : u"";
    SysFreeString(description);
    info->Release();
    return text;
}

std::vector<short> Ramp(std::size_t n, int start, int step) {
    std::vector<short> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<short>(start + static_cast<int>(i) * step);
    return v;
}

}  // namespace qelv::test
