# vellora_add_bundle(<name> SOURCES ... [LIBS ...] [DIR <folder>])
# A plug-in bundle: a shared module named <name>.so that exports REALPluginMain
# alone and carries its own copy of the plug-in support code.
function(vellora_add_bundle name)
  cmake_parse_arguments(B "" "DIR" "SOURCES;LIBS" ${ARGN})
  if(NOT B_DIR)
    set(B_DIR ${VELLORA_PLUGIN_DIR})
  endif()
  add_library(${name} MODULE ${B_SOURCES} $<TARGET_OBJECTS:plugin_support_objects>)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${B_LIBS})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${B_DIR}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    INSTALL_RPATH "$ORIGIN/..")
  target_link_options(${name} PRIVATE
    -Wl,-z,defs
    -Wl,--version-script=${CMAKE_SOURCE_DIR}/plugin-support/exports.map)
endfunction()

# vellora_add_test(<name> SOURCES ... LIBS ...)
function(vellora_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  # Headless: the harness, never the program, picks the offscreen display and the silent
  # audio driver. Set through the launcher so test discovery at build time runs headless too.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "/usr/bin/env;QT_QPA_PLATFORM=offscreen;SDL_AUDIODRIVER=dummy")
  # A test that waits on something that never comes fails instead of holding up the run.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
endfunction()
include(GoogleTest)

# vellora_add_subdirs(<folder>...): adds each of the named subfolders of the current folder. A
# folder that is listed but missing, or has lost its CMakeLists.txt, fails the configure, and
# one that is there but not listed fails it too, so no tests drop out of a green run unseen.
function(vellora_add_subdirs)
  file(GLOB found LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  list(TRANSFORM found REPLACE "/CMakeLists.txt$" "")
  list(REMOVE_ITEM found ${ARGN})
  if(found)
    message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}: folders not listed in vellora_add_subdirs: ${found}")
  endif()
  foreach(dir ${ARGN})
    add_subdirectory(${dir})
  endforeach()
endfunction()

# vellora_install_layer(<target>...): a shared platform layer, installed beside the others, where
# it finds its siblings.
function(vellora_install_layer)
  foreach(target ${ARGN})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} LIBRARY DESTINATION ${VELLORA_INSTALL_LIBDIR})
  endforeach()
endfunction()
