# pelisto_folder_library(NAME [DEPS targets...])
# Makes the static library pelisto_NAME from every source file of src/NAME. Headers are included
# as "NAME/file.h" from src/.
function(pelisto_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(pelisto_${name} STATIC ${sources})
  target_include_directories(pelisto_${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  if(ARG_DEPS)
    target_link_libraries(pelisto_${name} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# pelisto_folder_tests(NAME [DEPS targets...])
# Makes the GoogleTest executable test_NAME from every source file of tests/NAME and registers
# each of its tests with ctest. Tests run headless and find their fixtures through
# PELISTO_FIXTURES.
function(pelisto_folder_tests name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE pelisto_test_main ${ARG_DEPS})
  target_include_directories(test_${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(test_${name} PRIVATE
    PELISTO_FIXTURES="${CMAKE_SOURCE_DIR}/tests/fixtures"
    PELISTO_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  gtest_discover_tests(test_${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
