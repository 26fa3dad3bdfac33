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
  # Tests that need the pseudo-terminal board or the command line find them by these paths.
  target_compile_definitions(${_exe} PRIVATE
    PVRJ_SOURCE_DIR="${PROJECT_SOURCE_DIR}" PVRJ_BINARY_DIR="${PROJECT_BINARY_DIR}"
    PVRJ_BOARD_EXE="${PROJECT_BINARY_DIR}/board/pvrj-board" PVRJ_CLI_EXE="${PROJECT_BINARY_DIR}/cli/pvrj-cli")
  gtest_discover_tests(${_exe}
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS ${label} TIMEOUT 120)
endfunction()
