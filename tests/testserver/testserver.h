// A tiny in-process server for the activation and registration-tool tests:
// one class with one interface, and the four standard entry points.
#pragma once

#include <qelvsonalter2/platform.h>

// {6B1C8E52-3D41-4F0A-9A77-2E5C0B9F1A01}
inline constexpr CLSID kTestObjectClsid = {0x6B1C8E52, 0x3D41, 0x4F0A, {0x9A, 0x77, 0x2E, 0x5C, 0x0B, 0x9F, 0x1A, 0x01}};
// {6B1C8E52-3D41-4F0A-9A77-2E5C0B9F1A02}
inline constexpr IID kTestObjectIid = {0x6B1C8E52, 0x3D41, 0x4F0A, {0x9A, 0x77, 0x2E, 0x5C, 0x0B, 0x9F, 0x1A, 0x02}};
// A class the server does not serve: {6B1C8E52-3D41-4F0A-9A77-2E5C0B9F1A03}
inline constexpr CLSID kUnservedClsid = {0x6B1C8E52, 0x3D41, 0x4F0A, {0x9A, 0x77, 0x2E, 0x5C, 0x0B, 0x9F, 0x1A, 0x03}};

inline constexpr char16_t kTestClsidText[] = u"{6B1C8E52-3D41-4F0A-9A77-2E5C0B9F1A01}";
inline constexpr char16_t kTestProgId[] = u"QelvTest.Object";        // version-independent
inline constexpr char16_t kTestProgIdVersioned[] = u"QelvTest.Object.1";

struct ITestObject : public IUnknown {
    // Always 42.
    STDMETHOD(GetMagic)(LONG* value) = 0;
    // Address of a variable inside the server: equal for objects from the same loaded copy.
    STDMETHOD(GetModuleMarker)(void** marker) = 0;
};
