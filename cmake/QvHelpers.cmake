# Build options shared by every target of the project.

option(QV_WERROR "Treat warnings as errors" ON)
set(QV_SANITIZE "" CACHE STRING "Comma-separated sanitizers for native builds (address,undefined / thread)")

add_library(qv_options INTERFACE)
target_compile_options(qv_options INTERFACE -Wall -Wextra -Wpedantic)
if(QV_WERROR)
    target_compile_options(qv_options INTERFACE -Werror)
endif()
if(WIN32)
    # The system's own code talks to the ANSI ("A") Win32 API throughout.
    target_compile_definitions(qv_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()
if(QV_SANITIZE)
    target_compile_options(qv_options INTERFACE -fsanitize=${QV_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(qv_options INTERFACE -fsanitize=${QV_SANITIZE})
endif()

find_package(Threads REQUIRED)

# GoogleTest: the system package natively, built from Debian's sources for the cross builds.
macro(qv_setup_gtest)
    include(GoogleTest)
    if(CMAKE_CROSSCOMPILING)
        set(QV_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
        set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        add_subdirectory(${QV_GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        set(QV_GTEST_LIBS gmock gtest_main gtest)
    else()
        find_package(GTest REQUIRED)
        set(QV_GTEST_LIBS GTest::gmock GTest::gtest_main GTest::gtest)
    endif()
endmacro()

# qv_add_gtest(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>])
# One GoogleTest program; its cases are discovered when ctest runs (under Wine for
# the Windows builds).
function(qv_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    # The ThreadSanitizer build builds and runs only the tests of threaded code; the others
    # stay defined (other CMake files may refer to them) but out of the build.
    set(skip OFF)
    if(QV_SANITIZE MATCHES "thread" AND NOT "threads" IN_LIST ARG_LABELS)
        set(skip ON)
    endif()
    if(skip)
        add_executable(${name} EXCLUDE_FROM_ALL ${ARG_SOURCES})
    else()
        add_executable(${name} ${ARG_SOURCES})
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${QV_GTEST_LIBS} qv_options Threads::Threads)
    if(skip)
        return()
    endif()
    set(labels ${ARG_LABELS})
    list(APPEND labels unit)
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES LABELS "${labels}" TIMEOUT 120)
endfunction()
