// IDispatch served from the type library (DispInvoke / DispGetIDsOfNames) on the Calc test
// object: argument order and coercion, arrays passed by reference, properties, retvals,
// named arguments, errors and failures.
#include <gtest/gtest.h>

#include "platform/calc_object.h"
#include "test_objects.h"

#include <string>
#include <vector>

namespace {

using platform_test::I4;
using platform_test::R8;
using platform_test::Str;
using platform_test::Var;

// An empty array of n elements of type vt, owned by the variant.
VARIANT Array(VARTYPE vt, ULONG n) { return Var(VT_ARRAY | vt, SafeArrayCreateVector(vt, 0, n)); }

VARIANT Shorts(std::vector<SHORT> values) {
    VARIANT x = Array(VT_I2, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) SafeArrayPutElement(x.parray, &i, &values[i]);
    return x;
}

std::vector<SHORT> Elements(SAFEARRAY* array) {
    std::vector<SHORT> out;
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(array, 1, &lo);
    SafeArrayGetUBound(array, 1, &hi);
    for (LONG i = lo; i <= hi; ++i) {
        SHORT v = 0;
        SafeArrayGetElement(array, &i, &v);
        out.push_back(v);
    }
    return out;
}

std::u16string TextOf(const VARIANT& v) {
    return v.vt == VT_BSTR && v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : u"<not a string>";
}

class Dispatch : public testing::Test {
protected:
    void SetUp() override {
        ITypeInfo* info = LoadCalcTypeInfo(IID_ICalc2);
        ASSERT_NE(nullptr, info);
        calc_ = new CalcObject(info);
        info->Release();
    }
    void TearDown() override {
        for (auto& v : args_) VariantClear(&v);
        VariantClear(&result_);
        EXPECT_EQ(0u, calc_->Release());
    }

    // Invokes with args given in parameter order (stored reversed, as callers must) plus
    // optional named arguments, which go first in rgvarg.
    HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> positional,
                 std::vector<std::pair<DISPID, VARIANT>> named = {}, bool wantResult = true) {
        for (auto& v : args_) VariantClear(&v);
        args_.clear();
        named_.clear();
        for (auto& [dispid, value] : named) {
            named_.push_back(dispid);
            args_.push_back(value);
        }
        for (auto it = positional.rbegin(); it != positional.rend(); ++it) args_.push_back(*it);
        DISPPARAMS params{args_.data(), named_.data(), static_cast<UINT>(args_.size()),
                          static_cast<UINT>(named_.size())};
        VariantClear(&result_);
        argErr_ = 12345;
        return calc_->Invoke(id, IID_NULL, 0, flags, &params, wantResult ? &result_ : nullptr, &excep_, &argErr_);
    }

    CalcObject* calc_ = nullptr;
    std::vector<VARIANT> args_;
    std::vector<DISPID> named_;
    VARIANT result_{};
    EXCEPINFO excep_{};
    UINT argErr_ = 0;
};

TEST_F(Dispatch, MethodsGetTheirArgumentsInOrder) {
    // Mixed integer and floating-point parameters arrive in their declared places.
    ASSERT_EQ(S_OK, Call(2, DISPATCH_METHOD,
                         {I4(-7), R8(2.5), I4(300), R8(0.25), Str(u"abc"), I4(1)}));
    EXPECT_EQ(u"-7|2.5|300|0.25|3|-1|abc", TextOf(result_));  // 1 -> VARIANT_TRUE

    ASSERT_EQ(S_OK, Call(1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {R8(1.25), I4(2)}));
    ASSERT_EQ(VT_R4, result_.vt);
    EXPECT_EQ(3.25f, result_.fltVal);

    // Eight floats and three longs: the register limits of the call.
    ASSERT_EQ(S_OK, Call(8, DISPATCH_METHOD,
                         {R8(1), R8(1), R8(1), R8(1), R8(1), R8(1), R8(1), R8(1), I4(1), I4(2),
                          I4(3)}));
    ASSERT_EQ(VT_R8, result_.vt);
    EXPECT_EQ(36 + 1e3 + 2e5 + 3e7, result_.dblVal);
    EXPECT_EQ(DISP_E_BADCALLEE, Call(9, DISPATCH_METHOD, std::vector<VARIANT>(9, R8(1))));

    ASSERT_EQ(S_OK, Call(11, DISPATCH_METHOD, {I4(21)}));
    ASSERT_EQ(VT_INT, result_.vt);
    EXPECT_EQ(42, result_.intVal);
}

TEST_F(Dispatch, ArgumentsAreCoercedToTheDeclaredTypes) {
    ASSERT_EQ(S_OK, Call(1, DISPATCH_METHOD, {Str(u" 1.5 "), Str(u"2")}));
    EXPECT_EQ(3.5f, result_.fltVal);
    // Doubles to long round half to even; the enum parameter takes a string too.
    ASSERT_EQ(S_OK, Call(6, DISPATCH_METHOD, {R8(9.5), R8(2.0)}));
    EXPECT_EQ(5, result_.lVal);
    ASSERT_EQ(S_OK, Call(7, DISPATCH_METHOD, {R8(-2.5), Str(u"-1")}));
    ASSERT_EQ(VT_I4, result_.vt);
    EXPECT_EQ(-3, result_.lVal);
    // A by-reference source is read through.
    LONG divisor = 4;
    ASSERT_EQ(S_OK, Call(6, DISPATCH_METHOD, {I4(20), Var(VT_BYREF | VT_I4, &divisor)}));
    EXPECT_EQ(5, result_.lVal);

    // Rejected conversions name the argument (index in rgvarg: the second of two is 0).
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(1, DISPATCH_METHOD, {R8(1), Str(u"one")}));
    EXPECT_EQ(0u, argErr_);
    EXPECT_EQ(DISP_E_OVERFLOW, Call(6, DISPATCH_METHOD, {R8(1e20), I4(1)}));
    EXPECT_EQ(1u, argErr_);
}

TEST_F(Dispatch, ArraysPassedByReferenceCanBeReplaced) {
    // VT_ARRAY|VT_I2 by value: the callee works on (and may replace) the caller's array.
    VARIANT data = Shorts({1, 2, 3});
    ASSERT_EQ(S_OK, Call(3, DISPATCH_METHOD, {data, R8(2)}));
    EXPECT_EQ((std::vector<SHORT>{2, 4, 6}), Elements(args_[1].parray));
    ASSERT_EQ(S_OK, Call(3, DISPATCH_METHOD, {Shorts({5, 6}), R8(-1)}));
    EXPECT_EQ((std::vector<SHORT>{5, 5, 6, 6}), Elements(args_[1].parray));

    // VT_BYREF|VT_ARRAY|VT_I2: the replacement lands in the caller's pointer.
    SAFEARRAY* mine = Shorts({7}).parray;
    ASSERT_EQ(S_OK, Call(3, DISPATCH_METHOD, {Var(VT_BYREF | VT_ARRAY | VT_I2, &mine), R8(-1)}));
    EXPECT_EQ((std::vector<SHORT>{7, 7}), Elements(mine));
    SafeArrayDestroy(mine);

    // A script variable passed as VT_BYREF|VT_VARIANT is followed to the array inside it.
    VARIANT variable = Shorts({9, 8});
    ASSERT_EQ(S_OK, Call(3, DISPATCH_METHOD, {Var(VT_BYREF | VT_VARIANT, &variable), R8(-1)}));
    EXPECT_EQ((std::vector<SHORT>{9, 9, 8, 8}), Elements(variable.parray));
    VariantClear(&variable);

    ASSERT_EQ(S_OK, Call(4, DISPATCH_METHOD, {Shorts({1, 2, 30000, 30000})}));
    EXPECT_EQ(60003, result_.lVal);
}

TEST_F(Dispatch, WrongArraysAreTypeMismatches) {
    // A script array is VT_ARRAY | VT_VARIANT.
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(3, DISPATCH_METHOD, {Array(VT_VARIANT, 2), R8(2)}));
    EXPECT_EQ(1u, argErr_);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(4, DISPATCH_METHOD, {I4(3)}));
    EXPECT_EQ(0u, argErr_);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(4, DISPATCH_METHOD, {Array(VT_R4, 3)}));
}

TEST_F(Dispatch, RetvalArraysAndTheirOwnership) {
    ASSERT_EQ(S_OK, Call(5, DISPATCH_METHOD, {I4(4)}));
    ASSERT_EQ(VT_ARRAY | VT_I2, result_.vt);
    EXPECT_EQ((std::vector<SHORT>{0, 1, 2, 3}), Elements(result_.parray));
    // Without a result variant the returned array is freed (the leak checker would see it).
    EXPECT_EQ(S_OK, Call(5, DISPATCH_METHOD, {I4(4)}, {}, false));

    ASSERT_EQ(S_OK, Call(10, DISPATCH_METHOD, {Array(VT_R4, 2)}));
    ASSERT_EQ(VT_ARRAY | VT_R4, result_.vt);
}

TEST_F(Dispatch, PropertiesGetAndPut) {
    ASSERT_EQ(S_OK, Call(20, DISPATCH_PROPERTYGET, {}));
    EXPECT_EQ(VT_I4, result_.vt);
    EXPECT_EQ(2, result_.lVal);
    ASSERT_EQ(S_OK, Call(20, DISPATCH_PROPERTYPUT, {}, {{DISPID_PROPERTYPUT, Str(u"5")}}));
    EXPECT_EQ(VT_EMPTY, result_.vt);
    ASSERT_EQ(S_OK, Call(20, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}));
    EXPECT_EQ(5, result_.lVal);
    // A put needs its value as the DISPID_PROPERTYPUT named argument.
    EXPECT_EQ(DISP_E_PARAMNOTOPTIONAL, Call(20, DISPATCH_PROPERTYPUT, {I4(6)}));
    // Enum properties travel as VT_I4.
    ASSERT_EQ(S_OK, Call(21, DISPATCH_PROPERTYPUT, {}, {{DISPID_PROPERTYPUT, I4(rmTowardZero)}}));
    ASSERT_EQ(S_OK, Call(21, DISPATCH_PROPERTYGET, {}));
    EXPECT_EQ(VT_I4, result_.vt);
    EXPECT_EQ(rmTowardZero, result_.lVal);
    ASSERT_EQ(S_OK, Call(22, DISPATCH_PROPERTYPUT, {}, {{DISPID_PROPERTYPUT, Str(u"True")}}));
    ASSERT_EQ(S_OK, Call(22, DISPATCH_PROPERTYGET, {}));
    EXPECT_EQ(VT_BOOL, result_.vt);
    EXPECT_EQ(VARIANT_TRUE, result_.boolVal);
    ASSERT_EQ(S_OK, Call(24, DISPATCH_PROPERTYGET, {}));
    EXPECT_EQ(VT_UI4, result_.vt);
    // A property with an index parameter.
    ASSERT_EQ(S_OK, Call(25, DISPATCH_PROPERTYGET, {I4(-9)}));
    EXPECT_EQ(81, result_.lVal);
    // Read-only: no put to find.
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(24, DISPATCH_PROPERTYPUT, {}, {{DISPID_PROPERTYPUT, I4(1)}}));
    // Methods are not properties.
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(1, DISPATCH_PROPERTYGET, {R8(1), R8(2)}));
}

TEST_F(Dispatch, ObjectPropertyByReference) {
    struct Font : IFontDisp {
        ULONG refs = 1;
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IFontDisp) {
                *ppv = this;
                ++refs;
                return S_OK;
            }
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
        STDMETHODIMP_(ULONG) Release() override { return --refs; }
        STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
        STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
        STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
        STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
            return E_NOTIMPL;
        }
    } font;
    VARIANT value = Var(VT_DISPATCH, static_cast<IDispatch*>(&font));
    font.AddRef();  // owned by the argument list from here
    ASSERT_EQ(S_OK, Call(0x17, DISPATCH_PROPERTYPUTREF, {}, {{DISPID_PROPERTYPUT, value}}));
    ASSERT_EQ(S_OK, Call(0x17, DISPATCH_PROPERTYGET, {}));
    ASSERT_EQ(VT_DISPATCH, result_.vt);
    EXPECT_EQ(static_cast<IDispatch*>(&font), result_.pdispVal);
    VariantClear(&result_);
    for (auto& v : args_) VariantClear(&v);
    args_.clear();
    EXPECT_EQ(2u, font.refs);  // ours and the object's
    VARIANT nothing = Var(VT_DISPATCH, nullptr);  // what a script passes for Nothing
    ASSERT_EQ(S_OK, Call(0x17, DISPATCH_PROPERTYPUTREF, {}, {{DISPID_PROPERTYPUT, nothing}}));
    EXPECT_EQ(1u, font.refs);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(0x17, DISPATCH_PROPERTYPUTREF, {}, {{DISPID_PROPERTYPUT, I4(1)}}));
}

TEST_F(Dispatch, NamedArguments) {
    // Named arguments map by parameter position, in any order, after the positional ones.
    ASSERT_EQ(S_OK, Call(2, DISPATCH_METHOD, {I4(1), R8(2)},
                         {{5, I4(0)}, {3, R8(4)}, {4, Str(u"x")}, {2, I4(3)}}));
    EXPECT_EQ(u"1|2|3|4|1|0|x", TextOf(result_));
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, Call(1, DISPATCH_METHOD, {R8(1)}, {{7, R8(2)}}));
    EXPECT_EQ(0u, argErr_);
    // A named argument for a parameter already given positionally.
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, Call(1, DISPATCH_METHOD, {R8(1)}, {{0, R8(2)}}));
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, Call(1, DISPATCH_METHOD, {R8(1)}, {{DISPID_PROPERTYPUT, R8(2)}}));
}

TEST_F(Dispatch, CountsMembersAndBadParameters) {
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(1, DISPATCH_METHOD, {R8(1)}));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(1, DISPATCH_METHOD, {R8(1), R8(2), R8(3)}));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(99, DISPATCH_METHOD, {}));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(0x60000000, DISPATCH_METHOD, {}));  // QueryInterface is not callable
    // Members of the base interface are found through the derived one.
    ASSERT_EQ(S_OK, Call(30, DISPATCH_METHOD, {I4(5)}));
    EXPECT_EQ(-5, result_.lVal);

    DISPPARAMS broken{nullptr, nullptr, 2, 0};
    EXPECT_EQ(E_INVALIDARG, calc_->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &broken, &result_, nullptr, nullptr));
    VARIANT one = I4(1);
    DISPPARAMS namedWithoutIds{&one, nullptr, 1, 1};
    EXPECT_EQ(E_INVALIDARG, calc_->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &namedWithoutIds, nullptr, nullptr,
                                          nullptr));
    EXPECT_EQ(E_INVALIDARG, calc_->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));
    ITypeInfo* info = nullptr;
    calc_->GetTypeInfo(0, 0, &info);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(E_INVALIDARG, DispInvoke(nullptr, info, 20, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr));
    EXPECT_EQ(E_INVALIDARG, DispInvoke(calc_, nullptr, 20, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr));
    info->Release();
}

TEST_F(Dispatch, FailuresBecomeExceptionsWithErrorInformation) {
    ASSERT_EQ(DISP_E_EXCEPTION, Call(6, DISPATCH_METHOD, {I4(1), I4(0)}));
    EXPECT_EQ(CalcObject::kDivideByZero, excep_.scode);
    EXPECT_EQ(0, excep_.wCode);
    EXPECT_EQ(std::u16string(u"Calc.Divide"), excep_.bstrSource);
    EXPECT_EQ(std::u16string(u"Division by zero"), excep_.bstrDescription);
    EXPECT_EQ(17u, excep_.dwHelpContext);
    EXPECT_EQ(VT_EMPTY, result_.vt);
    SysFreeString(excep_.bstrSource);
    SysFreeString(excep_.bstrDescription);
    SysFreeString(excep_.bstrHelpFile);
    // The error information was handed over.
    IErrorInfo* left = nullptr;
    EXPECT_EQ(S_FALSE, GetErrorInfo(0, &left));

    // Without error information the status still arrives; without EXCEPINFO the call still fails.
    ASSERT_EQ(DISP_E_EXCEPTION, Call(5, DISPATCH_METHOD, {I4(-1)}));
    EXPECT_EQ(E_INVALIDARG, excep_.scode);
    EXPECT_EQ(nullptr, excep_.bstrDescription);
    DISPPARAMS params{args_.data(), nullptr, 1, 0};
    EXPECT_EQ(DISP_E_EXCEPTION, calc_->Invoke(5, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
}

TEST_F(Dispatch, NamesThroughTheObject) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"NEGATE"), const_cast<LPOLESTR>(u"Value")};
    DISPID ids[2] = {};
    ASSERT_EQ(S_OK, calc_->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
    EXPECT_EQ(30, ids[0]);
    EXPECT_EQ(0, ids[1]);
    LPOLESTR inherited[] = {const_cast<LPOLESTR>(u"precision")};
    ASSERT_EQ(S_OK, calc_->GetIDsOfNames(IID_NULL, inherited, 1, 0, ids));
    EXPECT_EQ(20, ids[0]);
}

}  // namespace
