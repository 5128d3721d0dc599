# Linux side of the Windows tests (label "windows"; `ctest -L windows` runs only
# them). Added only when the MinGW-w64 compiler, widl and Wine are installed:
#   windows.build       cross-builds the Windows tree (fixture setup)
#   windows.exports     the DLL exports exactly the four entry points
#   windows.resources   the DLL's and the Linux module's resources
#   windows.prefix      a fresh Wine prefix for this run (fixture setup/cleanup)
#   windows.register    regsvr32 /s, then the registry entries item by item
#   windows.events, windows.latebound, windows.vbscript, windows.jscript
#   windows.precision   extended precision on a thread at 53 bits (Windows and Linux)
#   windows.outputs     Linux module and Windows DLL give byte-identical results
#   windows.display     the same for the display control, and its streams load across
#   windows.render      the display control's pictures: identical outside text
#   windows.mouse       the display control sited in a window, edited with posted mouse messages
#   windows.draw        the curve viewer driven with xdotool on an Xvfb of its own
#   windows.unregister  regsvr32 /u /s removes the entries, keeps CLSID
find_program(QELV_MINGW_CXX NAMES x86_64-w64-mingw32-g++-win32 x86_64-w64-mingw32-g++)
find_program(QELV_WIDL_FOR_TESTS NAMES x86_64-w64-mingw32-widl widl)
find_program(QELV_WINE NAMES wine)
find_program(QELV_WINEBOOT NAMES wineboot)
find_program(QELV_WINESERVER NAMES wineserver PATHS /usr/lib/wine /usr/lib64/wine)
find_program(QELV_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump)
if(QELV_SANITIZE)
  # The Windows DLL is never built with sanitizers; one run per CI pass is enough.
  message(STATUS "Windows tests not added to the sanitizer build")
  return()
endif()
if(NOT (QELV_MINGW_CXX AND QELV_WIDL_FOR_TESTS AND QELV_WINE AND QELV_WINEBOOT AND QELV_WINESERVER AND QELV_MINGW_OBJDUMP))
  message(STATUS "Windows tests not added: MinGW-w64, widl or Wine not found (QELV_WITH_WINDOWS=1 scripts/setup-debian.sh installs them)")
  return()
endif()
message(STATUS "Windows tests added (ctest -L windows)")

# The same host program for Linux, against the platform layer and the .so module.
set(QELV_HOST_IID_SOURCE ${CMAKE_BINARY_DIR}/include/qelvsonalter2/QelvSonalter2_i.cpp)
set_source_files_properties(${QELV_HOST_IID_SOURCE} PROPERTIES GENERATED ON)
file(GLOB QELV_WIN_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/host/*.cpp)
add_executable(qelv-win-host ${QELV_WIN_HOST_SOURCES} ${QELV_HOST_IID_SOURCE})
add_dependencies(qelv-win-host qelv_idl QelvSonalter2)
target_include_directories(qelv-win-host PRIVATE ${CMAKE_BINARY_DIR}/include)
target_link_libraries(qelv-win-host PRIVATE qelv_platform)

set(QELV_CROSS_DIR ${CMAKE_BINARY_DIR}/windows-cross)
set(QELV_WINE_WORK ${CMAKE_BINARY_DIR}/windows-tests)
set(run ${CMAKE_CURRENT_SOURCE_DIR}/run_wine.sh)
set(env
  QELV_CROSS_DIR=${QELV_CROSS_DIR}
  QELV_WINE_WORK=${QELV_WINE_WORK}
  QELV_SOURCE_DIR=${CMAKE_SOURCE_DIR}
  QELV_TESTS_DIR=${CMAKE_CURRENT_SOURCE_DIR}
  QELV_LINUX_HOST=$<TARGET_FILE:qelv-win-host>
  QELV_LINUX_MODULE=$<TARGET_FILE:QelvSonalter2>
  QELV_CURVE_TOOL=$<TARGET_FILE:sonalter-curve>
  QELV_WINESERVER=${QELV_WINESERVER}
  QELV_OBJDUMP=${QELV_MINGW_OBJDUMP}
  CMAKE_COMMAND=${CMAKE_COMMAND})

function(qelv_wine_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "FIXTURES_SETUP;FIXTURES_REQUIRED;FIXTURES_CLEANUP" ${ARGN})
  add_test(NAME windows.${name} COMMAND bash ${run} ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(windows.${name} PROPERTIES LABELS windows TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}")
  foreach(kind SETUP REQUIRED CLEANUP)
    if(ARG_FIXTURES_${kind})
      set_tests_properties(windows.${name} PROPERTIES FIXTURES_${kind} "${ARG_FIXTURES_${kind}}")
    endif()
  endforeach()
endfunction()

qelv_wine_test(build FIXTURES_SETUP qelv_win_build TIMEOUT 600)
qelv_wine_test(exports FIXTURES_REQUIRED qelv_win_build)
qelv_wine_test(resources FIXTURES_REQUIRED "qelv_win_build;qelv_win_prefix")
qelv_wine_test(prefix FIXTURES_SETUP qelv_win_prefix TIMEOUT 180)
qelv_wine_test(stop-prefix FIXTURES_CLEANUP qelv_win_prefix)
qelv_wine_test(register FIXTURES_SETUP qelv_win_registered FIXTURES_REQUIRED "qelv_win_build;qelv_win_prefix")
qelv_wine_test(unregister FIXTURES_CLEANUP qelv_win_registered FIXTURES_REQUIRED "qelv_win_build;qelv_win_prefix")
foreach(name events latebound precision vbscript jscript)
  qelv_wine_test(${name} FIXTURES_REQUIRED "qelv_win_registered;qelv_win_build;qelv_win_prefix")
endforeach()
qelv_wine_test(outputs FIXTURES_REQUIRED "qelv_win_registered;qelv_win_build;qelv_win_prefix" TIMEOUT 300)
qelv_wine_test(display FIXTURES_REQUIRED "qelv_win_registered;qelv_win_build;qelv_win_prefix" TIMEOUT 120)
qelv_wine_test(render FIXTURES_REQUIRED "qelv_win_registered;qelv_win_build;qelv_win_prefix" TIMEOUT 120)
qelv_wine_test(mouse FIXTURES_REQUIRED "qelv_win_registered;qelv_win_build;qelv_win_prefix" TIMEOUT 120)
qelv_wine_test(draw FIXTURES_REQUIRED "qelv_win_registered;qelv_win_build;qelv_win_prefix" TIMEOUT 180)
# Both end the prefix's Wine session to start one on their own display, which
# would end the session of any Wine test running beside them: they run alone.
set_tests_properties(windows.mouse windows.draw PROPERTIES SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
