// Registration scripts: a readable description of registry keys that the module
// writes on registration and removes on unregistration.
//
//   HKCR
//   {
//       Name = s 'default value'          a key and its default string value
//       {
//           val Named = s 'text'          a named string value (d 123 for a number)
//           'Sub key' { ... }             nested keys; names may be quoted
//       }
//       NoRemove CLSID { ... }            never removed; only its listed subkeys are
//       ForceRemove {GUID} = s '...'      removed with everything below before writing
//   }
//
// Inside quotes '' stands for one quote. %MODULE% is replaced by the module path.
#pragma once

#include <string>

#include "server/Platform.h"

namespace qelv {

// RunRegistrationScript
//   Writes (registering) or removes (unregistering) the keys of a script.
//   [in] script      the script text, UTF-16
//   [in] modulePath  substituted for %MODULE%
//   [in] registering true to write, false to remove
//   RETURNS S_OK; E_INVALIDARG for a script that does not parse; otherwise the
//   registry's failure as HRESULT_FROM_WIN32. Unregistering keys that are already
//   gone succeeds.
HRESULT RunRegistrationScript(const std::u16string& script, const std::u16string& modulePath, bool registering);

// RunRegistrationResource
//   Runs the script held in resource (id, "REGISTRY") of module (UTF-8 text).
HRESULT RunRegistrationResource(HMODULE module, UINT id, const std::u16string& modulePath, bool registering);

}  // namespace qelv
