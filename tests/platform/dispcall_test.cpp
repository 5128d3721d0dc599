// DispCallFunc: calls through a vtable slot (or to a plain function) with register-passed
// arguments of mixed classes, and refusal of what does not fit in registers.
#include <gtest/gtest.h>

#include <qelvsonalter2/platform.h>

#include <cstring>
#include <vector>

namespace {

struct Recorder {
    virtual HRESULT STDMETHODCALLTYPE First(LONG a) = 0;
    virtual HRESULT STDMETHODCALLTYPE Mixed(SHORT a, FLOAT b, DOUBLE c, BYTE d, VARIANT_BOOL e, LONGLONG f) = 0;
    virtual SHORT STDMETHODCALLTYPE Narrow() = 0;
};

struct RecorderImpl : Recorder {
    LONG first = 0;
    SHORT a = 0;
    FLOAT b = 0;
    DOUBLE c = 0;
    BYTE d = 0;
    VARIANT_BOOL e = 0;
    LONGLONG f = 0;
    HRESULT STDMETHODCALLTYPE First(LONG value) override {
        first = value;
        return value < 0 ? E_FAIL : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Mixed(SHORT a_, FLOAT b_, DOUBLE c_, BYTE d_, VARIANT_BOOL e_, LONGLONG f_) override {
        a = a_, b = b_, c = c_, d = d_, e = e_, f = f_;
        return S_OK;
    }
    SHORT STDMETHODCALLTYPE Narrow() override { return -2; }
};

double STDMETHODCALLTYPE Halve(double x) {
    return x / 2;
}

float STDMETHODCALLTYPE Third(float x, int y) {
    return x / static_cast<float>(y);
}

VARIANTARG Arg(VARTYPE vt) {
    VARIANTARG v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

TEST(DispCallFunc, VirtualMethodsWithMixedArguments) {
    RecorderImpl object;
    Recorder* iface = &object;
    VARIANTARG args[6] = {Arg(VT_I2), Arg(VT_R4), Arg(VT_R8), Arg(VT_UI1), Arg(VT_BOOL), Arg(VT_I8)};
    args[0].iVal = -300;
    args[1].fltVal = 1.5f;
    args[2].dblVal = -0.125;
    args[3].bVal = 200;
    args[4].boolVal = VARIANT_TRUE;
    args[5].llVal = -(1LL << 40);
    VARTYPE types[6];
    VARIANTARG* pointers[6];
    for (int i = 0; i < 6; ++i) {
        types[i] = args[i].vt;
        pointers[i] = &args[i];
    }
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, DispCallFunc(iface, sizeof(void*), CC_STDCALL, VT_HRESULT, 6, types, pointers, &result));
    EXPECT_EQ(VT_HRESULT, result.vt);
    EXPECT_EQ(S_OK, result.lVal);
    EXPECT_EQ(-300, object.a);
    EXPECT_EQ(1.5f, object.b);
    EXPECT_EQ(-0.125, object.c);
    EXPECT_EQ(200, object.d);
    EXPECT_EQ(VARIANT_TRUE, object.e);
    EXPECT_EQ(-(1LL << 40), object.f);

    // The method's own status comes back in the result, the call itself succeeds.
    VARIANTARG value = Arg(VT_I4);
    value.lVal = -1;
    VARIANTARG* one[] = {&value};
    VARTYPE i4[] = {VT_I4};
    ASSERT_EQ(S_OK, DispCallFunc(iface, 0, CC_STDCALL, VT_ERROR, 1, i4, one, &result));
    EXPECT_EQ(VT_ERROR, result.vt);
    EXPECT_EQ(E_FAIL, result.scode);
    EXPECT_EQ(-1, object.first);
    ASSERT_EQ(S_OK, DispCallFunc(iface, 2 * sizeof(void*), CC_CDECL, VT_I2, 0, nullptr, nullptr, &result));
    EXPECT_EQ(-2, result.iVal);
    ASSERT_EQ(S_OK, DispCallFunc(iface, 0, CC_STDCALL, VT_EMPTY, 1, i4, one, &result));
    EXPECT_EQ(VT_EMPTY, result.vt);
}

TEST(DispCallFunc, PlainFunctionsAndFloatingPointResults) {
    VARIANTARG x = Arg(VT_R8);
    x.dblVal = 5;
    VARIANTARG* args[] = {&x};
    VARTYPE types[] = {VT_R8};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(S_OK, DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&Halve), CC_STDCALL, VT_R8, 1, types, args,
                                 &result));
    EXPECT_EQ(VT_R8, result.vt);
    EXPECT_EQ(2.5, result.dblVal);

    VARIANTARG f = Arg(VT_R4), n = Arg(VT_INT);
    f.fltVal = 3;
    n.intVal = 2;
    VARIANTARG* args2[] = {&f, &n};
    VARTYPE types2[] = {VT_R4, VT_INT};
    ASSERT_EQ(S_OK, DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(&Third), CC_STDCALL, VT_R4, 2, types2, args2,
                                 &result));
    EXPECT_EQ(VT_R4, result.vt);
    EXPECT_EQ(1.5f, result.fltVal);
}

TEST(DispCallFunc, RefusesWhatItCannotPass) {
    RecorderImpl object;
    Recorder* iface = &object;
    VARIANT result;
    VariantInit(&result);
    // Calls the first slot with empty arguments of the given types.
    auto call = [&](std::vector<VARTYPE> types) {
        std::vector<VARIANTARG> args;
        for (VARTYPE vt : types) args.push_back(Arg(vt));
        std::vector<VARIANTARG*> pointers;
        for (auto& v : args) pointers.push_back(&v);
        return DispCallFunc(iface, 0, CC_STDCALL, VT_HRESULT, UINT(types.size()), types.data(), pointers.data(),
                            &result);
    };
    // The object pointer takes one of the six integer registers.
    EXPECT_EQ(DISP_E_BADCALLEE, call(std::vector<VARTYPE>(6, VT_I4)));
    EXPECT_EQ(DISP_E_BADCALLEE, call(std::vector<VARTYPE>(9, VT_R8)));
    EXPECT_EQ(DISP_E_BADCALLEE, call({VT_VARIANT}));
    EXPECT_EQ(DISP_E_BADVARTYPE, call({0x0FFF}));
    VARIANTARG variant = Arg(VT_VARIANT);
    VARIANTARG* byValue[] = {&variant};
    VARTYPE variantType[] = {VT_VARIANT};
    EXPECT_EQ(DISP_E_BADVARTYPE, DispCallFunc(iface, 0, CC_STDCALL, VT_RECORD, 0, nullptr, nullptr, &result));
    EXPECT_EQ(DISP_E_BADCALLEE, DispCallFunc(iface, 0, CC_PASCAL, VT_HRESULT, 0, nullptr, nullptr, &result));
    EXPECT_EQ(E_INVALIDARG, DispCallFunc(iface, 3, CC_STDCALL, VT_HRESULT, 0, nullptr, nullptr, &result));
    EXPECT_EQ(E_INVALIDARG, DispCallFunc(iface, 0, CC_STDCALL, VT_HRESULT, 1, nullptr, byValue, &result));
    VARIANTARG* missing[] = {nullptr};
    EXPECT_EQ(E_INVALIDARG, DispCallFunc(iface, 0, CC_STDCALL, VT_HRESULT, 1, variantType, missing, &result));
    EXPECT_EQ(E_INVALIDARG, DispCallFunc(nullptr, 0, CC_STDCALL, VT_HRESULT, 0, nullptr, nullptr, &result));
    EXPECT_EQ(0, object.first);  // nothing was called
}

}  // namespace
