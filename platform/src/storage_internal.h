// Links between the storage (storage.cpp) and its file-backed byte array
// (lockbytes.cpp).
#pragma once

#include <qelvsonalter2/platform.h>

#include <string>

namespace qelv_storage {

enum class FileOpen { Existing, CreateNew, CreateOrTruncate };

// A byte array over the file at path (UTF-8), read-only unless writable.
// Returns S_OK, STG_E_FILENOTFOUND, STG_E_FILEALREADYEXISTS,
// STG_E_ACCESSDENIED, STG_E_PATHNOTFOUND or E_OUTOFMEMORY.
HRESULT OpenFileLockBytes(const std::string& path, FileOpen how, bool writable, bool deleteOnRelease,
                          ILockBytes** bytes);

// A byte array over a new temporary file, removed when the array is released.
HRESULT CreateTemporaryFileLockBytes(ILockBytes** bytes);

}  // namespace qelv_storage
