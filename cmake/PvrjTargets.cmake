# Helpers that give every layer the same shape: one library per folder, sources found by glob.

# pvrj_core_library(name folder deps...): a static library of every .cpp in folder.
function(pvrj_core_library name)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_src)
    add_library(${name} STATIC ${_src})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# pvrj_test_programs(target programs...): the test finds the sample files under PVRJ_SOURCE_DIR
# and runs the helper programs by the paths the build gives them: PVRJ_BOARD_EXE (pvrj-board),
# PVRJ_CLI_EXE (pvrj-cli), PVRJ_EDITOR_EXE (PVRJ). They are built before the test.
function(pvrj_test_programs target)
  target_compile_definitions(${target} PRIVATE PVRJ_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set(_macro_pvrj-board PVRJ_BOARD_EXE)
  set(_macro_pvrj-cli PVRJ_CLI_EXE)
  set(_macro_PVRJ PVRJ_EDITOR_EXE)
  foreach(_program IN LISTS ARGN)
    target_compile_definitions(${target} PRIVATE
      ${_macro_${_program}}="$<TARGET_FILE:${_program}>")
    add_dependencies(${target} ${_program})
  endforeach()
endfunction()

# pvrj_gtest_folder(folder label libs...): one GoogleTest executable for tests/<folder>.
function(pvrj_gtest_folder folder label)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT _src)
    return()
  endif()
  set(_exe test_${folder})
  add_executable(${_exe} ${_src})
  target_include_directories(${_exe} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${_exe} PRIVATE ${ARGN} GTest::gtest GTest::gmock GTest::gtest_main)
  pvrj_test_programs(${_exe} pvrj-board pvrj-cli)
  # Each test is named "<folder>.<Suite>.<Test>", so a run can pick a folder by name.
  gtest_discover_tests(${_exe}
    TEST_PREFIX ${folder}.
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS ${label} TIMEOUT 120)
endfunction()

# pvrj_window_library(name deps...): a Qt library of every .cpp in the current window folder but
# main.cpp. Each window library is remembered, so the editor links all of them.
function(pvrj_window_library name)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER _src EXCLUDE REGEX ".*/main\\.cpp$")
  add_library(${name} STATIC ${_src})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARGN} Qt6::Widgets)
  set_property(GLOBAL APPEND PROPERTY PVRJ_WINDOW_LIBRARIES ${name})
endfunction()
