// An object of one of the component's classes, made by program identifier,
// whose members are called through IDispatch::Invoke with numpy arrays and
// Python values, and whose events go to a Python handler.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <qelvsonalter2/platform.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "EventSink.h"  // the dispatch sink of controlsite
#include "Members.h"

namespace qelv::python {

namespace py = pybind11;

class Object {
public:
    // Registers the module at modulePath into the user's registry first when
    // progId is not registered and a path is given.
    Object(const std::string& progId, const std::string& modulePath);
    ~Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // The class's members: (name, "method" | "get" | "put", dispid, doc,
    // [(parameter name, kind, in, out, retval)], result kind).
    py::list Members() const;

    // handler(dispid, [arguments as int or None]) for every event, or None.
    void SetHandler(py::object handler) { handler_ = std::move(handler); }

    const Member& MemberAt(std::size_t index) const {
        if (index >= members_->list.size()) throw py::index_error("no such member");
        return members_->list[index];
    }

    // Calls a member by index in Members(). Arguments are the [in] and [in,out]
    // parameters in order. Returns what the method returns to Python: the retval;
    // else the one [in,out] argument; with [in,out] arrays that the component
    // replaced or resized, the new array (or the retval and the new arrays).
    py::object Call(std::size_t index, py::tuple args);

    // The object's picture through its view interface (IViewObject::Draw) into
    // a 32-bit top-down bitmap of width x height: rows of blue, green, red and
    // an unused byte, as a (height, width, 4) uint8 array.
    py::array_t<std::uint8_t> Draw(int width, int height);

private:
    // One call; with zero-copy arrays first, and once more with arrays the
    // component owns when that call was refused (refusals change nothing and
    // fire nothing, so the retry is invisible). A component can then resize an
    // [in,out] array, which it cannot do to numpy's memory.
    py::object Invoke(const Member& m, py::tuple args, bool owned);
    // The object's LastErrorNum, or None when it has none.
    py::object LastErrorNumber();
    // Connects an event sink to the object's (first) connection point.
    void Advise();
    // An event: to the handler; a handler that raises, or Ctrl-C, cancels the
    // running call, and the exception is raised when the call returns.
    void OnEvent(DISPID id, const controlsite::EventArguments& args);

    IDispatch* object_ = nullptr;
    controlsite::EventSink* sink_ = nullptr;
    std::shared_ptr<const ClassMembers> members_;
    py::object handler_ = py::none();  // None while no callback is set
    bool failed_ = false;              // a handler raised, or Ctrl-C arrived, during the call
    py::object pending_;               // the exception to raise when the call returns
};

}  // namespace qelv::python
