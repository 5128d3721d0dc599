# The Windows build (CMAKE_SYSTEM_NAME Windows, cross-compiled with MinGW-w64, see
# cmake/toolchains/mingw-w64-x86_64.cmake): QelvSonalter2.dll from the same module/
# transform/ and display/ sources as the Linux module, against the Windows SDK headers and
# the system DLLs, plus the Windows test hosts, the control container library and the curve viewer.
# Nothing of platform/, the Linux tests, benchmarks or other hosts is built here.
include_guard(GLOBAL)

enable_language(RC)
if(NOT QELV_WIDL)
  find_program(QELV_WIDL NAMES x86_64-w64-mingw32-widl widl REQUIRED)
endif()

# The system IDL files (oaidl.idl, ocidl.idl) and stdole2.tlb that the IDL imports.
find_path(QELV_WINE_IDL_DIR oaidl.idl
  PATHS /usr/include/wine/wine/windows /usr/include/wine/windows /usr/${QELV_MINGW_TRIPLE}/include
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_path(QELV_STDOLE2_DIR stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows /usr/lib64/wine/x86_64-windows
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# One C++ interface header for both targets, from the project's IDL compiler (its
# Linux type library output is not used here).
set(QELV_GENERATED_INCLUDE ${CMAKE_BINARY_DIR}/include)
qelv_compile_idl(module/QelvSonalter2.idl
  OUTPUT_DIR ${QELV_GENERATED_INCLUDE}/qelvsonalter2
  HEADER_VAR QELV_INTERFACE_HEADER
  IID_SOURCE_VAR QELV_IID_SOURCE
  TLB_VAR QELV_LINUX_TYPELIB
  TARGET qelv_idl)

# The binary type library, compiled by the platform's IDL compiler from the same file.
set(QELV_TYPELIB_DIR ${CMAKE_BINARY_DIR}/typelib)
set(QELV_TYPELIB ${QELV_TYPELIB_DIR}/QelvSonalter2.tlb)
file(MAKE_DIRECTORY ${QELV_TYPELIB_DIR})
add_custom_command(
  OUTPUT ${QELV_TYPELIB}
  COMMAND ${QELV_WIDL} -t -o ${QELV_TYPELIB} -I ${QELV_WINE_IDL_DIR} -L ${QELV_STDOLE2_DIR}
          ${CMAKE_SOURCE_DIR}/module/QelvSonalter2.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/module/QelvSonalter2.idl
  COMMENT "Compiling QelvSonalter2.tlb"
  VERBATIM)

# The resources: the same script the Linux module embeds; the type library is found
# on the include path, everything else next to the script. The script includes no
# SDK header; should it name the version resource VS_VERSION_INFO, that must still
# be number 1, the number the version API looks up.
# windres writes into an existing folder only: Ninja makes output folders itself,
# the Makefile generators do not.
set(QELV_RESOURCES ${CMAKE_BINARY_DIR}/module/QelvSonalter2_res.o)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/module)
file(GLOB QELV_RESOURCE_INPUTS ${CMAKE_SOURCE_DIR}/module/*.rgs ${CMAKE_SOURCE_DIR}/module/*.bmp
  ${CMAKE_SOURCE_DIR}/module/*.cur)
add_custom_command(
  OUTPUT ${QELV_RESOURCES}
  COMMAND ${CMAKE_RC_COMPILER} -O coff -DVS_VERSION_INFO=1 -I ${CMAKE_SOURCE_DIR}/module -I ${QELV_TYPELIB_DIR}
          -i ${CMAKE_SOURCE_DIR}/module/QelvSonalter2.rc -o ${QELV_RESOURCES}
  DEPENDS ${CMAKE_SOURCE_DIR}/module/QelvSonalter2.rc ${QELV_TYPELIB} ${QELV_RESOURCE_INPUTS}
  COMMENT "Compiling resources QelvSonalter2.rc"
  VERBATIM)

# The compiled resources alone (type library included), for a quick check of the
# resource tools without compiling the component.
add_custom_target(qelv_windows_resources DEPENDS ${QELV_RESOURCES})

# Everything statically linked apart from the system DLLs, so that regsvr32 loads
# the module without a MinGW runtime beside it.
set(QELV_WINDOWS_LINK_OPTIONS -static -static-libgcc -static-libstdc++)
set(QELV_WINDOWS_SYSTEM_LIBS ole32 oleaut32 advapi32 kernel32 gdi32 user32 uuid)
# SSE2 scalar double arithmetic (the x86-64 default), long double the 80-bit x87
# format (the MinGW default), so results match the Linux module bit for bit.
add_compile_options(-mfpmath=sse -msse2)

file(GLOB_RECURSE QELV_TRANSFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/transform/*.cpp)
file(GLOB_RECURSE QELV_DISPLAY_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/display/*.cpp)
add_library(QelvSonalter2 SHARED
  module/Exports.cpp
  module/DllMain.cpp
  server/ModuleLock.cpp
  server/TypeInfo.cpp
  server/ConnectionPoint.cpp
  server/ClassSupport.cpp
  module/ClassFactory.cpp
  module/Registrar.cpp
  ${QELV_TRANSFORM_SOURCES}
  ${QELV_DISPLAY_SOURCES}
  ${QELV_IID_SOURCE}
  ${QELV_RESOURCES}
  module/QelvSonalter2.def)
add_dependencies(QelvSonalter2 qelv_idl qelv_windows_resources)
target_include_directories(QelvSonalter2 PRIVATE ${CMAKE_SOURCE_DIR} ${QELV_GENERATED_INCLUDE})
target_link_libraries(QelvSonalter2 PRIVATE ${QELV_WINDOWS_SYSTEM_LIBS})
target_link_options(QelvSonalter2 PRIVATE ${QELV_WINDOWS_LINK_OPTIONS})
set_target_properties(QelvSonalter2 PROPERTIES PREFIX "" IMPORT_PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The artefact for Windows users: the DLL, its type library, the IDL and header.
install(TARGETS QelvSonalter2 RUNTIME DESTINATION bin)
install(FILES ${QELV_TYPELIB} ${QELV_INTERFACE_HEADER} ${QELV_IID_SOURCE} module/QelvSonalter2.idl
  DESTINATION include/qelvsonalter2)

# The container library and the curve viewer, which site the DLL's control.
add_subdirectory(hosts/controlsite)
add_subdirectory(hosts/sonalter-draw)

add_subdirectory(tests/windows)
