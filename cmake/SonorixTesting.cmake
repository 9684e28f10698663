# sonorix_add_gtest(NAME SOURCES ... LIBS ...)
# One GoogleTest program. Its main (tests/support/TestMain.cpp) gives every
# test case fresh HOME and XDG folders of its own; CTest pins the locale and
# the Qt platform, and points HOME and XDG at the build tree while the
# program lists its tests, so no test ever touches the real home.
# The test frameworks are looked for by tests/CMakeLists.txt, so a build
# without tests needs neither.

function(sonorix_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} sonorix_test_support GTest::gtest
        GTest::gmock sonorix_warnings)
    target_compile_definitions(${name} PRIVATE
        SONORIX_CORPUS_DIR="${SONORIX_CORPUS_DIR}"
        SONORIX_BINARY_DIR="${CMAKE_BINARY_DIR}")
    set(sandbox "${CMAKE_BINARY_DIR}/test-sandbox/${name}")
    file(MAKE_DIRECTORY "${sandbox}/home" "${sandbox}/config" "${sandbox}/data")
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES ENVIRONMENT
        "LC_ALL=C.UTF-8;HOME=${sandbox}/home;XDG_CONFIG_HOME=${sandbox}/config;XDG_DATA_HOME=${sandbox}/data;QT_QPA_PLATFORM=offscreen")
endfunction()

# sonorix_add_qtest(NAME SOURCES ... LIBS ...)
# One Qt Test program for a window, on Qt's offscreen platform with the same
# pinned locale and sandboxed home as the GoogleTest programs; each test
# function makes its own fresh settings sandbox (TestSupport::StoreSandbox).
function(sonorix_add_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} sonorix_test_support Qt6::Test
        Qt6::Widgets sonorix_warnings)
    set(sandbox "${CMAKE_BINARY_DIR}/test-sandbox/${name}")
    file(MAKE_DIRECTORY "${sandbox}/home" "${sandbox}/config" "${sandbox}/data"
        "${sandbox}/runtime")
    file(CHMOD "${sandbox}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "LC_ALL=C.UTF-8;HOME=${sandbox}/home;XDG_CONFIG_HOME=${sandbox}/config;XDG_DATA_HOME=${sandbox}/data;XDG_RUNTIME_DIR=${sandbox}/runtime;QT_QPA_PLATFORM=offscreen")
endfunction()
