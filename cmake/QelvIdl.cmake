# Build steps standing in for the Windows IDL and resource compilers on Linux:
#   qelv_compile_idl  IDL -> C++ interface header, identifier definitions, type library
#   qelv_compile_rc   resource script -> C++ source embedding the resources
# Both run Python tools from platform/tools at build time.
#
# The outputs are produced by custom commands, so list them in a target of the same
# directory (or pass TARGET to get a named target that other directories can depend on).
include_guard(GLOBAL)

# Finds the tools next to this file and the interpreter, from wherever the function is called.
macro(_qelv_tools_setup)
  get_filename_component(QELV_TOOLS_DIR "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../platform/tools" ABSOLUTE)
  set(QELV_IDLC_FILES ${QELV_TOOLS_DIR}/idlc.py ${QELV_TOOLS_DIR}/idl_model.py ${QELV_TOOLS_DIR}/idl_parse.py
      ${QELV_TOOLS_DIR}/idl_check.py ${QELV_TOOLS_DIR}/idl_write.py ${QELV_TOOLS_DIR}/token_cursor.py)
  set(QELV_RCC_FILES ${QELV_TOOLS_DIR}/rcc.py ${QELV_TOOLS_DIR}/rc_lex.py ${QELV_TOOLS_DIR}/token_cursor.py)
  if(NOT Python3_EXECUTABLE)
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
  endif()
endmacro()

# qelv_compile_idl(<idl-file> OUTPUT_DIR <dir> HEADER_VAR <var> IID_SOURCE_VAR <var> TLB_VAR <var>
#                  [TARGET <name>])
# Compiles <idl-file> into <dir>/<stem>.h, <dir>/<stem>_i.cpp and <dir>/<stem>.tlb and sets the
# three variables to those paths. OUTPUT_DIR defaults to the current binary directory. TARGET
# adds a custom target that builds the three files.
function(qelv_compile_idl idl)
  _qelv_tools_setup()
  cmake_parse_arguments(ARG "" "OUTPUT_DIR;HEADER_VAR;IID_SOURCE_VAR;TLB_VAR;TARGET" "" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "qelv_compile_idl: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(idl_abs "${idl}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(stem "${idl}" NAME_WE)
  if(NOT ARG_OUTPUT_DIR)
    set(ARG_OUTPUT_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  get_filename_component(out_dir "${ARG_OUTPUT_DIR}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  set(header "${out_dir}/${stem}.h")
  set(iids "${out_dir}/${stem}_i.cpp")
  set(tlb "${out_dir}/${stem}.tlb")
  file(MAKE_DIRECTORY "${out_dir}")
  add_custom_command(
    OUTPUT "${header}" "${iids}" "${tlb}"
    COMMAND "${Python3_EXECUTABLE}" -B "${QELV_TOOLS_DIR}/idlc.py" "${idl_abs}"
            --header "${header}" --iid "${iids}" --tlb "${tlb}"
    DEPENDS "${idl_abs}" ${QELV_IDLC_FILES}
    COMMENT "Compiling ${stem}.idl"
    VERBATIM)
  if(ARG_TARGET)
    add_custom_target(${ARG_TARGET} DEPENDS "${header}" "${iids}" "${tlb}")
  endif()
  if(ARG_HEADER_VAR)
    set(${ARG_HEADER_VAR} "${header}" PARENT_SCOPE)
  endif()
  if(ARG_IID_SOURCE_VAR)
    set(${ARG_IID_SOURCE_VAR} "${iids}" PARENT_SCOPE)
  endif()
  if(ARG_TLB_VAR)
    set(${ARG_TLB_VAR} "${tlb}" PARENT_SCOPE)
  endif()
endfunction()

# qelv_compile_rc(<rc-file> OUTPUT <cpp> [SEARCH_DIRS <dir>...] [DEPENDS <file>...])
# Compiles the resource script into a C++ source that embeds every resource and registers
# them for the module (shared object or executable) the source is linked into. Files named in
# the script are looked up next to the script, then in SEARCH_DIRS (e.g. where a generated
# .tlb is written). DEPENDS lists generated inputs so they are built first; files found in the
# source tree are tracked through a depfile as well.
function(qelv_compile_rc rc)
  _qelv_tools_setup()
  cmake_parse_arguments(ARG "" "OUTPUT" "SEARCH_DIRS;DEPENDS" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS OR NOT ARG_OUTPUT)
    message(FATAL_ERROR "qelv_compile_rc: usage qelv_compile_rc(<rc> OUTPUT <cpp> [SEARCH_DIRS ...] [DEPENDS ...])")
  endif()
  get_filename_component(rc_abs "${rc}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  get_filename_component(out "${ARG_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  set(search_args "")
  foreach(dir IN LISTS ARG_SEARCH_DIRS)
    get_filename_component(dir_abs "${dir}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    list(APPEND search_args --search "${dir_abs}")
  endforeach()
  set(depfile_args "")
  if(CMAKE_GENERATOR MATCHES "Ninja|Makefiles")
    set(depfile_args DEPFILE "${out}.d")
    set(depfile_cmd --depfile "${out}.d")
  else()
    set(depfile_cmd "")
  endif()
  add_custom_command(
    OUTPUT "${out}"
    COMMAND "${Python3_EXECUTABLE}" -B "${QELV_TOOLS_DIR}/rcc.py" "${rc_abs}" --output "${out}"
            ${search_args} ${depfile_cmd}
    DEPENDS "${rc_abs}" ${QELV_RCC_FILES} ${ARG_DEPENDS}
    ${depfile_args}
    COMMENT "Compiling resources ${rc}"
    VERBATIM)
endfunction()
