#include "Component.h"

#include "Errors.h"
#include "Text.h"

namespace sonalter {

namespace {

// Clears what Invoke put into an EXCEPINFO, filling it in first if deferred.
struct ExcepInfoHolder {
    EXCEPINFO info{};
    ~ExcepInfoHolder() {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
    void FillIn() {
        if (info.pfnDeferredFillIn) {
            auto fill = info.pfnDeferredFillIn;
            info.pfnDeferredFillIn = nullptr;
            fill(&info);
        }
    }
};

std::string ArgumentProblem(HRESULT status) {
    switch (status) {
        case DISP_E_TYPEMISMATCH: return "has the wrong type";
        case DISP_E_OVERFLOW: return "is out of range";
        case DISP_E_PARAMNOTFOUND: return "was not recognised";
        case DISP_E_PARAMNOTOPTIONAL: return "is missing";
        default: return "was rejected";
    }
}

// The message for a failed call: everything the component said about it.
std::string DescribeFailure(Component& component, HRESULT status, ExcepInfoHolder& excep, UINT argError,
                            const Member& member, size_t argCount) {
    EXCEPINFO& info = excep.info;
    if (status == DISP_E_EXCEPTION) {
        excep.FillIn();
        const HRESULT code = info.scode != 0 ? info.scode : (info.wCode != 0 ? static_cast<HRESULT>(info.wCode) : status);
        if (code == E_NOTIMPL) return member.name + " is not available in this version of the component";
        std::string description = Utf8(info.bstrDescription);
        while (!description.empty() && (description.back() == '\n' || description.back() == ' ')) description.pop_back();
        std::string text = member.name + " failed: " + (description.empty() ? "no description given" : description);
        const std::string lastError = component.LastError();
        text += " [";
        if (!lastError.empty()) text += "LastErrorNum " + lastError + ", ";
        text += "status " + Hex(code) + "]";
        return text;
    }
    if (status == E_NOTIMPL) return member.name + " is not available in this version of the component";
    if (argError < argCount &&
        (status == DISP_E_TYPEMISMATCH || status == DISP_E_OVERFLOW || status == DISP_E_PARAMNOTFOUND)) {
        const size_t index = argCount - 1 - argError;  // arguments travel in reverse order
        const std::string name = index < member.params.size() ? member.params[index].name : "an argument";
        return member.name + ": the value for " + name + " " + ArgumentProblem(status) + " (status " + Hex(status) + ")";
    }
    if (status == DISP_E_MEMBERNOTFOUND) return member.name + " is not a method of this component (status " + Hex(status) + ")";
    if (status == DISP_E_BADPARAMCOUNT) {
        return member.name + " was called with the wrong number of arguments (status " + Hex(status) + ")";
    }
    return member.name + " failed (status " + Hex(status) + ")";
}

}  // namespace

Component::Component(ActivatedObject activated)
    : object_(std::move(activated.object)), route_(std::move(activated.route)),
      members_(MemberTable::Read(object_.get())) {}

Component::Component(ActivatedObject activated, const MemberTable& members)
    : object_(std::move(activated.object)), route_(std::move(activated.route)), members_(members) {}

Variant Component::Call(const Member& method, std::vector<VARIANTARG>& args) {
    std::vector<VARIANTARG> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    Variant result;
    ExcepInfoHolder excep;
    UINT argError = static_cast<UINT>(-1);
    const HRESULT hr = object_->Invoke(method.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                       result.get(), &excep.info, &argError);
    // By-value arguments may have been changed in place (an array passed as
    // VT_ARRAY can be replaced by the callee); hand them back in declared order.
    for (size_t i = 0; i < args.size(); ++i) args[i] = reversed[args.size() - 1 - i];
    if (FAILED(hr)) throw Failure(DescribeFailure(*this, hr, excep, argError, method, args.size()));
    return result;
}

const Member& Component::Property(std::string_view name) const {
    const Member* p = members_.FindProperty(name);
    if (!p) throw Failure("the component has no property " + std::string(name));
    return *p;
}

Variant Component::Get(std::string_view property) {
    const Member& p = Property(property);
    DISPPARAMS none{};
    Variant value;
    ExcepInfoHolder excep;
    const HRESULT hr = object_->Invoke(p.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                       value.get(), &excep.info, nullptr);
    if (FAILED(hr)) throw Failure("cannot read " + p.name + " (status " + Hex(hr) + ")");
    return value;
}

void Component::Put(std::string_view property, const VARIANT& value) {
    const Member& p = Property(property);
    VARIANTARG arg = value;  // shallow: Invoke only reads it
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    ExcepInfoHolder excep;
    const HRESULT hr =
        object_->Invoke(p.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, &excep.info, nullptr);
    if (FAILED(hr)) {
        excep.FillIn();
        const std::string description = Utf8(excep.info.bstrDescription);
        throw Failure("cannot set " + p.name + (description.empty() ? "" : ": " + description) + " (status " +
                      Hex(hr == DISP_E_EXCEPTION && excep.info.scode ? excep.info.scode : hr) + ")");
    }
}

bool Component::Cancel() {
    const Member* cancel = members_.FindMethod("CancelTransform");
    if (!cancel) return false;
    DISPPARAMS none{};
    return SUCCEEDED(object_->Invoke(cancel->dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                                     nullptr, nullptr));
}

std::string Component::LastError() {
    const Member* p = members_.FindProperty("LastErrorNum");
    if (!p || !p->readable) return {};
    try {
        Variant value = Get("LastErrorNum");
        Variant number;
        if (FAILED(VariantChangeType(number.get(), value.get(), 0, VT_I4))) return {};
        std::string text = std::to_string(number->lVal);
        for (const EnumConstant& c : p->result.constants) {
            if (c.value == number->lVal) return text + " " + c.name;
        }
        return text;
    } catch (const Failure&) {
        return {};
    }
}

}  // namespace sonalter
