// Conformance tests for identifiers as text, apartments, program identifiers
// and activation of in-process servers (with the small server in tests/testserver).
#include "temp_registry.h"
#include "testserver/testserver.h"

#include <dlfcn.h>

#include <future>
#include <thread>

namespace {

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Whether the dynamic loader still has the module mapped.
bool IsLoaded(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);
    return true;
}

// {12345678-9ABC-DEF0-0123-456789ABCDEF}
constexpr GUID kSample = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

TEST(GuidText, IsBracedUpperCaseAndParsesBack) {
    WCHAR buf[40];
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(StringFromGUID2(kSample, buf, 39), 39);
    EXPECT_EQ(std::u16string(buf), u"{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    std::fill(std::begin(buf), std::end(buf), u'#');
    EXPECT_EQ(StringFromGUID2(kSample, buf, 38), 0);
    EXPECT_EQ(buf[0], u'#') << "nothing written into a short buffer";
    EXPECT_EQ(StringFromGUID2(kSample, nullptr, 39), 0);
    EXPECT_EQ(StringFromGUID2(kSample, buf, -1), 0);

    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    CoTaskMemFree(text);
    ASSERT_EQ(StringFromIID(IID_IClassFactory, &text), S_OK);
    EXPECT_EQ(std::u16string(text), u"{00000001-0000-0000-C000-000000000046}");
    CoTaskMemFree(text);
    EXPECT_EQ(StringFromCLSID(kSample, nullptr), E_INVALIDARG);

    CLSID clsid;
    ASSERT_EQ(CLSIDFromString(u"{12345678-9abc-def0-0123-456789abcdef}", &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kSample));
    IID iid;
    ASSERT_EQ(IIDFromString(u"{12345678-9ABC-DEF0-0123-456789ABCDEF}", &iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, kSample));

    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_NULL));
    EXPECT_EQ(IIDFromString(nullptr, &iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, IID_NULL));
    EXPECT_EQ(CLSIDFromString(u"{}", nullptr), E_INVALIDARG);
    EXPECT_EQ(IIDFromString(u"{}", nullptr), E_INVALIDARG);

    for (const char16_t* bad : {u"{12345678-9ABC-DEF0-0123-456789ABCDE}", u"{12345678-9ABC-DEF0-0123-456789ABCDEF}x",
                                u"{12345678+9ABC-DEF0-0123-456789ABCDEF}", u"{1234567G-9ABC-DEF0-0123-456789ABCDEF}", u""}) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(bad)));
        clsid = kSample;
        EXPECT_EQ(CLSIDFromString(bad, &clsid), CO_E_CLASSSTRING);
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_NULL));
        EXPECT_EQ(IIDFromString(bad, &iid), E_INVALIDARG);
    }
    EXPECT_EQ(IIDFromString(u"12345678-9ABC-DEF0-0123-456789ABCDEF", &iid), E_INVALIDARG) << "braces are required";
}

TEST(Apartment, CountsCallsAndRefusesAModeChange) {
    EXPECT_EQ(CoInitializeEx(reinterpret_cast<void*>(1), COINIT_APARTMENTTHREADED), E_INVALIDARG);
    EXPECT_EQ(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
    CoUninitialize();  // not initialised: no effect

    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    // Another thread chooses its own apartment.
    auto other = std::async(std::launch::async, [] {
        HRESULT first = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        HRESULT change = CoInitialize(nullptr);
        CoUninitialize();
        return std::make_pair(first, change);
    });
    EXPECT_EQ(other.get(), std::make_pair(S_OK, RPC_E_CHANGED_MODE));
    CoUninitialize();
    CoUninitialize();
    // Fully balanced: the next call starts afresh and may pick the other kind.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
}

TEST(Apartment, ActivationNeedsAnApartment) {
    auto result = std::async(std::launch::async, [] {
        void* object = reinterpret_cast<void*>(1);
        HRESULT create = CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object);
        HRESULT get = CoGetClassObject(kTestObjectClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &object);
        return std::make_tuple(create, get, object);
    });
    auto [create, get, object] = result.get();
    EXPECT_EQ(create, CO_E_NOTINITIALIZED);
    EXPECT_EQ(get, CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
}

// Registers the test server with plain registry calls: the class under
// CLSID, the versioned program identifier with its CLSID, and the
// version-independent one with only CurVer, so that lookups must follow it.
void RegisterTestServer(const std::string& modulePath, const CLSID& clsid = kTestObjectClsid) {
    WCHAR text[39];
    StringFromGUID2(clsid, text, 39);
    const std::u16string key = u"CLSID\\" + std::u16string(text);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, key, nullptr, u"Qelv Test Object"), ERROR_SUCCESS);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, key + u"\\InprocServer32", nullptr, Widen(modulePath)), ERROR_SUCCESS);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, key + u"\\InprocServer32", u"ThreadingModel", u"Apartment"),
              ERROR_SUCCESS);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, key + u"\\ProgID", nullptr, kTestProgIdVersioned), ERROR_SUCCESS);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, std::u16string(kTestProgIdVersioned) + u"\\CLSID", nullptr, text),
              ERROR_SUCCESS);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, std::u16string(kTestProgId) + u"\\CurVer", nullptr, kTestProgIdVersioned),
              ERROR_SUCCESS);
}

class Activation : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        RegisterTestServer(QELV_TEST_SERVER_PATH);
    }
    void TearDown() override {
        CoUninitialize();  // the last one also unloads idle servers
    }
    TempRegistry reg_;
};

TEST_F(Activation, ProgIdsResolveThroughCurVer) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(kTestProgIdVersioned, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, kTestObjectClsid));
    clsid = CLSID_NULL;
    ASSERT_EQ(CLSIDFromProgID(kTestProgId, &clsid), S_OK) << "through CurVer";
    EXPECT_TRUE(IsEqualCLSID(clsid, kTestObjectClsid));
    ASSERT_EQ(CLSIDFromString(u"qelvtest.object", &clsid), S_OK) << "a program identifier is accepted, any case";
    EXPECT_TRUE(IsEqualCLSID(clsid, kTestObjectClsid));

    EXPECT_EQ(CLSIDFromProgID(u"QelvTest.Unknown", &clsid), CO_E_CLASSSTRING);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_NULL));
    EXPECT_EQ(CLSIDFromString(u"QelvTest.Unknown", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromProgID(kTestProgId, nullptr), E_INVALIDARG);

    // A CurVer loop or a malformed CLSID entry ends in a failure, not a hang.
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, u"Loop.A\\CurVer", nullptr, u"Loop.B"), ERROR_SUCCESS);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, u"Loop.B\\CurVer", nullptr, u"Loop.A"), ERROR_SUCCESS);
    EXPECT_EQ(CLSIDFromProgID(u"Loop.A", &clsid), CO_E_CLASSSTRING);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, u"Bad.Entry\\CLSID", nullptr, u"not a guid"), ERROR_SUCCESS);
    EXPECT_EQ(CLSIDFromProgID(u"Bad.Entry", &clsid), CO_E_CLASSSTRING);

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kTestObjectClsid, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), kTestProgIdVersioned);
    CoTaskMemFree(progId);
    progId = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(ProgIDFromCLSID(kUnservedClsid, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
    EXPECT_EQ(ProgIDFromCLSID(kTestObjectClsid, nullptr), E_INVALIDARG);
}

TEST_F(Activation, CreatesOnceLoadedObjectsAndUnloadsWhenUnused) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(kTestProgId, &clsid), S_OK);
    ITestObject* first = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kTestObjectIid, reinterpret_cast<void**>(&first)),
              S_OK);
    LONG magic = 0;
    EXPECT_EQ(first->GetMagic(&magic), S_OK);
    EXPECT_EQ(magic, 42);
    ITestObject* second = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, kTestObjectIid, reinterpret_cast<void**>(&second)), S_OK);
    void* marker1 = nullptr;
    void* marker2 = nullptr;
    first->GetModuleMarker(&marker1);
    second->GetModuleMarker(&marker2);
    EXPECT_EQ(marker1, marker2) << "the module is loaded once per process";
    ASSERT_TRUE(IsLoaded(QELV_TEST_SERVER_PATH));

    // Live objects keep the module.
    first->Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(IsLoaded(QELV_TEST_SERVER_PATH));
    EXPECT_EQ(second->GetMagic(&magic), S_OK);
    second->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(QELV_TEST_SERVER_PATH));

    // So does a server lock on its class object, and a reload works.
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    CoFreeUnusedLibraries();
    ASSERT_TRUE(IsLoaded(QELV_TEST_SERVER_PATH));
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_FALSE(IsLoaded(QELV_TEST_SERVER_PATH));
}

TEST_F(Activation, FailuresCarryTheWindowsStatuses) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(CoGetClassObject(kTestObjectClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, nullptr),
              E_INVALIDARG);

    EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG)
        << "only in-process servers are registered";

    // The module's own answers pass through unchanged. (The outer unknown is
    // never called: the factory refuses aggregation first.)
    EXPECT_EQ(CoCreateInstance(kTestObjectClsid, reinterpret_cast<IUnknown*>(&object), CLSCTX_INPROC_SERVER,
                               IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, kSample, &object), E_NOINTERFACE);
    RegisterTestServer(QELV_TEST_SERVER_PATH, kUnservedClsid);
    EXPECT_EQ(CoCreateInstance(kUnservedClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CLASS_E_CLASSNOTAVAILABLE);

    // A registered file that is missing, and a module without the entry points.
    RegisterTestServer(reg_.Dir() + "/missing.so", kSample);
    EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(object, nullptr);
    RegisterTestServer(QELV_TEST_NOENTRY_PATH, kSample);
    EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), CO_E_ERRORINDLL);
    EXPECT_FALSE(IsLoaded(QELV_TEST_NOENTRY_PATH)) << "a module without entry points is not kept";

    // A class key without InprocServer32.
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{12345678-9ABC-DEF0-0123-456789ABCDEF}\\InprocServer32"),
              ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(kSample, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
}

TEST_F(Activation, UninitialisedThreadsJoinTheMultithreadedApartment) {
    std::promise<void> entered, done;
    std::thread mta([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        entered.set_value();
        done.get_future().wait();
        CoUninitialize();
    });
    entered.get_future().wait();
    auto result = std::async(std::launch::async, [] {
        ITestObject* object = nullptr;
        HRESULT hr = CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, kTestObjectIid,
                                      reinterpret_cast<void**>(&object));
        if (object) object->Release();
        return hr;
    });
    EXPECT_EQ(result.get(), S_OK);
    done.set_value();
    mta.join();
}

TEST_F(Activation, UnreadableRegistryIsReportedAsSuch) {
    reg_.UseFile("corrupt");
    reg_.WriteText("not a registry\n");
    ::testing::internal::CaptureStderr();
    void* object = nullptr;
    CLSID clsid;
    EXPECT_EQ(CoCreateInstance(kTestObjectClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_READREGDB);
    EXPECT_EQ(CLSIDFromProgID(kTestProgId, &clsid), REGDB_E_READREGDB);
    EXPECT_EQ(CLSIDFromString(kTestProgId, &clsid), REGDB_E_READREGDB);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(reg_.Path() + ":1: "), std::string::npos) << err;
}

}  // namespace
