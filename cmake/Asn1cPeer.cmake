# The asn1c-generated codec of the modules in asn/, the independent peer of
# the interoperability test and the encoding benchmark. Defines the target
# asn1c_peer once, when asn1c is installed.
function(vrcore_asn1c_peer)
  if(TARGET asn1c_peer)
    return()
  endif()
  find_program(ASN1C asn1c)
  if(NOT ASN1C)
    message(STATUS "asn1c not found: no interoperability test, no peer in the encoding benchmark")
    return()
  endif()
  file(GLOB asn_modules ${PROJECT_SOURCE_DIR}/asn/*.asn1)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${asn_modules})
  set(gen ${PROJECT_BINARY_DIR}/asn1c)
  file(REMOVE_RECURSE ${gen})
  file(MAKE_DIRECTORY ${gen})
  execute_process(COMMAND ${ASN1C} -fcompound-names -fwide-types -fno-include-deps ${asn_modules}
    WORKING_DIRECTORY ${gen} RESULT_VARIABLE asn1c_rc OUTPUT_QUIET ERROR_VARIABLE asn1c_err)
  if(NOT asn1c_rc EQUAL 0)
    message(FATAL_ERROR "asn1c failed on asn/: ${asn1c_err}")
  endif()
  file(GLOB gen_src ${gen}/*.c)
  list(FILTER gen_src EXCLUDE REGEX "converter-sample\\.c$")
  add_library(asn1c_peer STATIC ${gen_src})
  target_include_directories(asn1c_peer SYSTEM PUBLIC ${gen})
  # Generated code: its warnings and habits are not ours to judge.
  target_compile_options(asn1c_peer PRIVATE -w -fno-sanitize=all)
endfunction()
