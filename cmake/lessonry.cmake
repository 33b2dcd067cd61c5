# Helpers shared by every folder of the build.

# lessonry_test(NAME SOURCES... LIBS ...): one GoogleTest executable registered with CTest.
# Tests run from the program folder so that libraries are found as in the product.
function(lessonry_test name)
  if(NOT LESSONRY_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(props TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "LESSONRY_REGISTRY=${CMAKE_BINARY_DIR}/tests/registry.ini")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
  # Test binaries live outside the program folder; they find its libraries here.
  set_property(TARGET ${name} APPEND PROPERTY BUILD_RPATH "${LESSONRY_PROGRAM_DIR}")
  set_property(TARGET ${name} PROPERTY BUILD_WITH_INSTALL_RPATH OFF)
endfunction()

# lessonry_shared_library(NAME OUTPUT_NAME ...): a deliverable .so in the program folder.
function(lessonry_shared_library name output)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES OUTPUT_NAME ${output})
endfunction()
