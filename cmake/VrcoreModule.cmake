# Module targets. Every module of the library is an OBJECT library named
# vrcore_<module>, made in its directory's CMakeLists.txt, which lists the
# module's sources and headers and declares the modules it uses:
#
#   add_library(vrcore_btree OBJECT vrbm_cache.cpp vrbm_check.cpp ...)
#   vrcore_module(vrcore_btree INTERNAL vrbm_internal.h)
#   target_link_libraries(vrcore_btree PRIVATE vrcore_system vrcore_log)
#
# INTERNAL headers are seen by the module's own sources only; INTERFACE
# headers also by the modules that link it. A module compiles against the
# public include/ directory and an include root of its own in the build
# tree that holds links to exactly those headers (its own, and the
# INTERFACE headers of the modules it links), so "btree/vrbm_internal.h"
# is found by btree and by nothing else: an include that crosses the
# layering fails to compile. Calls through the public headers are checked
# once the modules are compiled (cmake/check_layers.py): a module may call
# only itself and the modules it links.
#
# Tests, tools, fuzz targets and benchmarks link vrcore_static, whose
# include path is the source root: they may reach every module's internals.

set(VRCORE_LAYER_ROOT ${PROJECT_BINARY_DIR}/layers)
# Links of an earlier configuration may name headers that are gone.
file(REMOVE_RECURSE ${VRCORE_LAYER_ROOT}/include)

# Links `header` (relative to the current source directory) into the
# include root `root` under the directory's path from the source root.
function(vrcore_link_header root header)
  file(RELATIVE_PATH dir ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(link ${root}/${dir}/${header})
  get_filename_component(parent ${link} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${link} SYMBOLIC)
endfunction()

function(vrcore_module target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "INTERNAL;INTERFACE")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vrcore_module(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(own ${VRCORE_LAYER_ROOT}/include/${target}/own)
  set(interface ${VRCORE_LAYER_ROOT}/include/${target}/interface)
  file(MAKE_DIRECTORY ${own} ${interface})
  foreach(h IN LISTS arg_INTERNAL arg_INTERFACE)
    vrcore_link_header(${own} ${h})
  endforeach()
  foreach(h IN LISTS arg_INTERFACE)
    vrcore_link_header(${interface} ${h})
  endforeach()
  target_include_directories(${target}
    PUBLIC ${PROJECT_SOURCE_DIR}/include
    PRIVATE ${own}
    INTERFACE ${interface})
  target_compile_definitions(${target} PRIVATE VRCORE_BUILDING=1
    VRCORE_DEFAULT_ROOT="${VRCORE_DEFAULT_ROOT}" ${VRCORE_DIR_DEFINITIONS})
  vrcore_warnings(${target})
  set_property(GLOBAL APPEND PROPERTY VRCORE_MODULES ${target})
endfunction()
