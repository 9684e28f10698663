# sonorix_add_gtest(NAME SOURCES ... LIBS ...)
# One GoogleTest program; every test case runs with a pinned locale and with
# XDG/HOME folders inside the build tree, so no test touches the real home.
function(sonorix_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    find_package(GTest REQUIRED)
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main sonorix_warnings)
    target_compile_definitions(${name} PRIVATE
        SONORIX_CORPUS_DIR="${SONORIX_CORPUS_DIR}"
        SONORIX_BINARY_DIR="${CMAKE_BINARY_DIR}")
    set(sandbox "${CMAKE_BINARY_DIR}/test-sandbox/${name}")
    file(MAKE_DIRECTORY "${sandbox}/home" "${sandbox}/config" "${sandbox}/data")
    include(GoogleTest)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES ENVIRONMENT
        "LC_ALL=C.UTF-8;HOME=${sandbox}/home;XDG_CONFIG_HOME=${sandbox}/config;XDG_DATA_HOME=${sandbox}/data;QT_QPA_PLATFORM=offscreen")
endfunction()
