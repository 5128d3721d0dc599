# Generated inputs of the platform tests: the Calc test library compiled with the IDL and
# resource compilers into the test program, the component's own IDL (its header must compile),
# and a small shared object with its own resources for the module tests. Its source ends in
# .cc so the *.cpp glob of the test program does not pick it up.
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/QelvIdl.cmake)

function(qelv_add_platform_test_data target)
  set(data "${CMAKE_CURRENT_FUNCTION_LIST_DIR}")
  set(root "${data}/../../..")
  set(gen "${CMAKE_CURRENT_BINARY_DIR}/${target}_gen")

  qelv_compile_idl(${data}/Calc.idl OUTPUT_DIR ${gen}/calc
                   HEADER_VAR calc_h IID_SOURCE_VAR calc_iid TLB_VAR calc_tlb)
  qelv_compile_idl(${root}/module/QelvSonalter2.idl OUTPUT_DIR ${gen}/sonalter
                   HEADER_VAR sonalter_h IID_SOURCE_VAR sonalter_iid TLB_VAR sonalter_tlb)
  qelv_compile_rc(${data}/Calc.rc OUTPUT ${gen}/calc_res.cpp SEARCH_DIRS ${gen}/calc DEPENDS ${calc_tlb})
  qelv_compile_rc(${data}/TestModule.rc OUTPUT ${gen}/testmodule_res.cpp SEARCH_DIRS ${gen}/calc
                  DEPENDS ${calc_tlb})

  add_library(${target}_module SHARED ${data}/testmodule.cc ${gen}/testmodule_res.cpp)
  set_target_properties(${target}_module PROPERTIES CXX_VISIBILITY_PRESET hidden)
  target_link_libraries(${target}_module PRIVATE qelv_platform)

  target_sources(${target} PRIVATE ${calc_iid} ${sonalter_iid} ${gen}/calc_res.cpp ${calc_h} ${sonalter_h})
  target_include_directories(${target} PRIVATE ${gen}/calc ${gen}/sonalter)
  target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
  add_dependencies(${target} ${target}_module)
  target_compile_definitions(${target} PRIVATE
    QELV_PYTHON="${Python3_EXECUTABLE}"
    QELV_IDLC="${root}/platform/tools/idlc.py"
    QELV_RCC="${root}/platform/tools/rcc.py"
    QELV_TEST_DATA="${data}"
    QELV_SONALTER_IDL="${root}/module/QelvSonalter2.idl"
    QELV_CALC_TLB="${calc_tlb}"
    QELV_SONALTER_TLB="${sonalter_tlb}"
    QELV_TEST_MODULE="$<TARGET_FILE:${target}_module>")
endfunction()
