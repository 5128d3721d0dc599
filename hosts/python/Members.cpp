#include "Members.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include "Strings.h"

namespace qelv::python {

Kind KindOf(const TYPEDESC& t, ITypeInfo* info) {
    const TYPEDESC* d = &t;
    if (d->vt == VT_PTR) d = d->lptdesc;
    switch (d->vt) {
        case VT_R4: return Kind::Float;
        case VT_R8: return Kind::Double;
        case VT_I4: case VT_INT: case VT_UI4: case VT_HRESULT: return Kind::Long;
        case VT_I2: case VT_UI2: return Kind::Short;
        case VT_BOOL: return Kind::Bool;
        case VT_BSTR: return Kind::String;
        case VT_USERDEFINED: {
            // Enumerations travel as 32-bit integers.
            ITypeInfo* ref = nullptr;
            Kind kind = Kind::Other;
            if (SUCCEEDED(info->GetRefTypeInfo(d->hreftype, &ref)) && ref) {
                TYPEATTR* attr = nullptr;
                if (SUCCEEDED(ref->GetTypeAttr(&attr)) && attr) {
                    if (attr->typekind == TKIND_ENUM) kind = Kind::Long;
                    ref->ReleaseTypeAttr(attr);
                }
                ref->Release();
            }
            return kind;
        }
        case VT_SAFEARRAY:
            if (d->lptdesc && d->lptdesc->vt == VT_I2) return Kind::ShortArray;
            if (d->lptdesc && d->lptdesc->vt == VT_R4) return Kind::FloatArray;
            return Kind::Other;
        default: return Kind::Other;
    }
}

const char* KindName(Kind k) {
    switch (k) {
        case Kind::Float: return "float";
        case Kind::Double: return "double";
        case Kind::Long: return "long";
        case Kind::Short: return "short";
        case Kind::Bool: return "bool";
        case Kind::String: return "str";
        case Kind::ShortArray: return "int16[]";
        case Kind::FloatArray: return "float32[]";
        default: return "other";
    }
}

namespace {

std::shared_ptr<const ClassMembers> ReadMembers(IDispatch* object) {
    auto read = std::make_shared<ClassMembers>();
    std::vector<Member>& members = read->list;
    ITypeInfo* info = nullptr;
    HRESULT hr = object->GetTypeInfo(0, 0, &info);
    if (FAILED(hr) || !info) throw std::runtime_error("the object has no type information");
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    for (UINT f = 0; attr && f < attr->cFuncs; ++f) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(f, &desc)) || !desc) continue;
        Member m;
        m.dispid = desc->memid;
        m.invkind = desc->invkind;
        BSTR names[32] = {};
        UINT got = 0;
        info->GetNames(desc->memid, names, 32, &got);
        m.name = got ? TakeBstr(names[0]) : std::string();
        BSTR doc = nullptr;
        info->GetDocumentation(desc->memid, nullptr, &doc, nullptr, nullptr);
        m.doc = TakeBstr(doc);
        for (SHORT i = 0; i < desc->cParams; ++i) {
            Parameter p;
            const ELEMDESC& e = desc->lprgelemdescParam[i];
            const USHORT pf = e.paramdesc.wParamFlags;
            // A property put's value has no name of its own in the type information.
            p.name = static_cast<UINT>(i + 1) < got ? TakeBstr(names[i + 1])
                     : desc->invkind == INVOKE_FUNC ? "arg" + std::to_string(i)
                                                    : std::string("value");
            p.kind = KindOf(e.tdesc, info);
            p.retval = (pf & PARAMFLAG_FRETVAL) != 0;
            p.out = (pf & PARAMFLAG_FOUT) != 0;
            p.in = (pf & PARAMFLAG_FIN) != 0 || !p.out;
            if (p.retval) m.result = p.kind;
            m.params.push_back(p);
        }
        for (UINT i = static_cast<UINT>(desc->cParams) + 1; i < got; ++i) SysFreeString(names[i]);
        if (m.invkind == INVOKE_PROPERTYGET && m.params.empty()) m.result = KindOf(desc->elemdescFunc.tdesc, info);
        if (m.invkind == INVOKE_PROPERTYPUTREF) m.invkind = INVOKE_PROPERTYPUT;
        info->ReleaseFuncDesc(desc);
        // The IDispatch members themselves are not the object's own.
        if (m.dispid >= 0x60000000 || m.name.empty()) continue;
        if (m.name == "CancelTransform") read->cancelId = m.dispid;
        if (m.name == "LastErrorNum" && m.invkind == INVOKE_PROPERTYGET) read->lastErrorId = m.dispid;
        members.push_back(std::move(m));
    }
    // Pointers into params, taken once no member moves any more.
    for (Member& m : members) {
        int inOuts = 0;
        for (const Parameter& p : m.params) {
            if (p.retval) {
                m.hasRetval = true;
                continue;
            }
            if (p.in && p.out) {
                m.soleInOut = static_cast<int>(m.inputs.size());
                ++inOuts;
            }
            m.inputs.push_back(&p);
        }
        if (inOuts != 1) m.soleInOut = -1;
    }
    if (attr) info->ReleaseTypeAttr(attr);
    info->Release();
    return read;
}

}  // namespace

std::shared_ptr<const ClassMembers> MembersOf(REFCLSID clsid, IDispatch* object) {
    static std::mutex lock;
    static std::map<std::string, std::shared_ptr<const ClassMembers>> known;
    const std::string key(reinterpret_cast<const char*>(&clsid), sizeof clsid);
    const std::lock_guard<std::mutex> hold(lock);
    std::shared_ptr<const ClassMembers>& members = known[key];
    if (!members) members = ReadMembers(object);
    return members;
}

}  // namespace qelv::python
