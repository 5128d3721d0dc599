// Late binding: the object's dispatch side, served from its type library, as a
// scripting host uses it.
#include "TestSupport.h"

namespace qelv::test {
namespace {

DISPID IdOf(IDispatch* d, const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << "name lookup";
    return id;
}

TEST(Dispatch, NamesMapToTheirIdsCaseInsensitively) {
    Object o;
    IDispatch* d = o.get();
    EXPECT_EQ(IdOf(d, u"Amplify"), 23);
    EXPECT_EQ(IdOf(d, u"aMPLIFY"), 23);
    EXPECT_EQ(IdOf(d, u"ArrayFrequency"), 103);
    EXPECT_EQ(IdOf(d, u"LastErrorNum"), 106);
    EXPECT_EQ(IdOf(d, u"DBToPercent"), 72);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Amplifier")};
    DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(d->GetIDsOfNames(IID_IDispatch, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNINTERFACE);
    UINT count = 0;
    EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

TEST(Dispatch, MethodsAndPropertiesThroughInvoke) {
    Object o;
    o.NoSmoothing();
    IDispatch* d = o.get();

    // Amplify(WavArray byref, Amp as a string that automation coerces to float).
    SampleArray a({100, -200, 300});
    VARIANTARG args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = SysAllocString(u"150");
    V_VT(&args[1]) = VT_ARRAY | VT_I2 | VT_BYREF;
    V_ARRAYREF(&args[1]) = &a;
    DISPPARAMS params = {args, nullptr, 2, 0};
    ASSERT_EQ(d->Invoke(23, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(a.values(), (std::vector<short>{150, -300, 450}));
    VariantClear(&args[0]);

    // Property put with the named argument, then get.
    VARIANTARG value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = 22050;
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS put = {&value, &putId, 1, 1};
    ASSERT_EQ(d->Invoke(103, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
              S_OK);
    VARIANT result;
    VariantInit(&result);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    ASSERT_EQ(d->Invoke(103, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, &result,
                        nullptr, nullptr),
              S_OK);
    EXPECT_EQ(V_VT(&result), VT_I4);
    EXPECT_EQ(V_I4(&result), 22050);

    // A returned array arrives as the result.
    SampleArray stereo({1, 2, 3, 4});
    VARIANTARG in;
    VariantInit(&in);
    V_VT(&in) = VT_ARRAY | VT_I2 | VT_BYREF;
    V_ARRAYREF(&in) = &stereo;
    DISPPARAMS one = {&in, nullptr, 1, 0};
    ASSERT_EQ(d->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &one, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(V_VT(&result), VT_ARRAY | VT_I2);
    SampleArray left;
    *(&left) = V_ARRAY(&result);
    EXPECT_EQ(left.values(), (std::vector<short>{1, 3}));

    // A float result.
    VARIANTARG percent;
    VariantInit(&percent);
    V_VT(&percent) = VT_R8;
    V_R8(&percent) = 50;
    DISPPARAMS conv = {&percent, nullptr, 1, 0};
    VariantInit(&result);
    ASSERT_EQ(d->Invoke(71, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &conv, &result, nullptr, nullptr), S_OK);
    EXPECT_EQ(V_VT(&result), VT_R4);
    EXPECT_NEAR(V_R4(&result), -6.0206, 1e-4);
}

TEST(Dispatch, FailuresArriveAsExceptionsWithTheDescription) {
    Object o;
    IDispatch* d = o.get();
    SampleArray one({1});
    VARIANTARG arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_ARRAY | VT_I2 | VT_BYREF;
    V_ARRAYREF(&arg) = &one;
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    EXCEPINFO info{};
    UINT argErr = 0;
    ASSERT_EQ(d->Invoke(22, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &info, &argErr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, static_cast<SCODE>(0x8004030B));
    ASSERT_NE(info.bstrDescription, nullptr);
    EXPECT_EQ(std::u16string(info.bstrDescription), u"Invalid parameter(argument).");
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);

    // Wrong argument count, and a script-style array of variants.
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(d->Invoke(22, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 4);
    V_VT(&arg) = VT_ARRAY | VT_VARIANT | VT_BYREF;
    V_ARRAYREF(&arg) = &variants;
    EXPECT_EQ(d->Invoke(22, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    SafeArrayDestroy(variants);
    EXPECT_EQ(d->Invoke(999, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST(Dispatch, ClassInformationNamesTheEventInterface) {
    Object o;
    GUID source{};
    EXPECT_EQ(o->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_TRUE(IsEqualIID(source, DIID__ISonalter2Events));
    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(o->GetClassInfo(&coclass), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(IsEqualCLSID(attr->guid, CLSID_Sonalter2));
    coclass->ReleaseTypeAttr(attr);
    BSTR help = nullptr;
    ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(help), u"Sonalter2 Class");
    SysFreeString(help);
    coclass->Release();

    ITypeInfo* iface = nullptr;
    ASSERT_EQ(o->GetTypeInfo(0, LOCALE_USER_DEFAULT, &iface), S_OK);
    ASSERT_EQ(iface->GetDocumentation(MEMBERID_NIL, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(help), u"ISonalter2 Interface");
    SysFreeString(help);
    iface->Release();
}

}  // namespace
}  // namespace qelv::test
