// Rich error information: the error object and the per-thread slot.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <atomic>
#include <thread>

#include "test_objects.h"

using platform_test::Text;

namespace {

// An IErrorInfo that only counts references.
class CountedError : public IErrorInfo {
public:
    ULONG refs() const { return refs_; }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    STDMETHODIMP GetGUID(GUID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSource(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDescription(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetHelpContext(DWORD*) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace

TEST(ErrorInfo, ObjectKeepsCopiesOfWhatItIsTold) {
    EXPECT_EQ(CreateErrorInfo(nullptr), E_INVALIDARG);
    ICreateErrorInfo* writer = nullptr;
    ASSERT_EQ(CreateErrorInfo(&writer), S_OK);
    ASSERT_NE(writer, nullptr);

    OLECHAR source[] = u"Qelv.Source";
    EXPECT_EQ(writer->SetSource(source), S_OK);
    source[0] = u'X';  // the object kept its own copy
    EXPECT_EQ(writer->SetDescription(nullptr), S_OK);
    OLECHAR help[] = u"help.chm";
    EXPECT_EQ(writer->SetHelpFile(help), S_OK);
    EXPECT_EQ(writer->SetHelpContext(77), S_OK);
    EXPECT_EQ(writer->SetGUID(IID_IDispatch), S_OK);

    IErrorInfo* reader = nullptr;
    ASSERT_EQ(writer->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&reader)), S_OK);
    BSTR text = nullptr;
    ASSERT_EQ(reader->GetSource(&text), S_OK);
    EXPECT_EQ(Text(text), u"Qelv.Source");
    SysFreeString(text);
    ASSERT_EQ(reader->GetDescription(&text), S_OK);
    EXPECT_EQ(SysStringLen(text), 0u);
    SysFreeString(text);
    ASSERT_EQ(reader->GetHelpFile(&text), S_OK);
    EXPECT_EQ(Text(text), u"help.chm");
    SysFreeString(text);
    DWORD context = 0;
    ASSERT_EQ(reader->GetHelpContext(&context), S_OK);
    EXPECT_EQ(context, 77u);
    GUID guid = GUID_NULL;
    ASSERT_EQ(reader->GetGUID(&guid), S_OK);
    EXPECT_EQ(guid, IID_IDispatch);

    // One identity, no unrelated interfaces.
    IUnknown* a = nullptr;
    IUnknown* b = nullptr;
    ASSERT_EQ(writer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
    ASSERT_EQ(reader->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
    EXPECT_EQ(a, b);
    a->Release();
    b->Release();
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(reader->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    reader->Release();
    EXPECT_EQ(writer->Release(), 0u);
}

TEST(ErrorInfo, SlotTakesAReferenceAndHandsItOver) {
    IErrorInfo* taken = nullptr;
    EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);
    EXPECT_EQ(taken, nullptr);

    CountedError first;
    CountedError second;
    EXPECT_EQ(SetErrorInfo(1, &first), E_INVALIDARG);
    EXPECT_EQ(first.refs(), 1u);
    ASSERT_EQ(SetErrorInfo(0, &first), S_OK);
    EXPECT_EQ(first.refs(), 2u);
    ASSERT_EQ(SetErrorInfo(0, &second), S_OK);  // replaces and releases the first
    EXPECT_EQ(first.refs(), 1u);
    EXPECT_EQ(second.refs(), 2u);

    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    EXPECT_EQ(taken, &second);
    EXPECT_EQ(second.refs(), 2u);  // the slot's reference moved to the caller
    EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);
    EXPECT_EQ(taken, nullptr);
    second.Release();

    ASSERT_EQ(SetErrorInfo(0, &first), S_OK);
    ASSERT_EQ(SetErrorInfo(0, nullptr), S_OK);  // clears
    EXPECT_EQ(first.refs(), 1u);
    EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);
}

TEST(ErrorInfo, EachThreadHasItsOwnSlotReleasedWhenItEnds) {
    CountedError mine;
    CountedError theirs;
    ASSERT_EQ(SetErrorInfo(0, &mine), S_OK);
    HRESULT seen = E_FAIL;
    std::thread other([&] {
        IErrorInfo* p = nullptr;
        seen = GetErrorInfo(0, &p);
        SetErrorInfo(0, &theirs);  // left behind when the thread ends
    });
    other.join();
    EXPECT_EQ(seen, S_FALSE);
    EXPECT_EQ(theirs.refs(), 1u);
    IErrorInfo* p = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &p), S_OK);
    EXPECT_EQ(p, &mine);
    p->Release();
}
