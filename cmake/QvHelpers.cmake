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

# ---- Test labels
# Every test carries exactly one subsystem label, the name of its folder under tests/
# (tests/upgrade/enum gives "upgrade", a later tests/qvdfu gives "qvdfu"); the sessions of the
# real program under Wine in tests/wine belong to "app". Kind labels: "unit" (GoogleTest cases),
# "pty" (over pseudo-terminal pairs), "wine" (run under Wine: every test of a Windows build) and
# "e2e" (the whole chain). The filter labels (threads, posix-only, cp950, ...) come from the
# test's own folder.

# The subsystem label of a folder under tests/.
function(qv_subsystem_label out dir)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${dir})
    string(REGEX REPLACE "/.*" "" subsystem "${rel}")
    if(subsystem STREQUAL "" OR subsystem MATCHES "^[.][.]")
        message(FATAL_ERROR "tests belong in a folder under tests/: ${dir}")
    endif()
    if(subsystem STREQUAL "wine")
        set(subsystem app)
    endif()
    set(${out} ${subsystem} PARENT_SCOPE)
endfunction()

# ctest applies a folder's LABELS to the tests of that folder only, not to those of its
# subfolders: each folder of the tree gets the label.
function(qv_label_folder_tree dir label)
    set_property(DIRECTORY ${dir} APPEND PROPERTY LABELS ${label})
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir ${subdirs})
        qv_label_folder_tree(${subdir} ${label})
    endforeach()
endfunction()

# Adds each folder of tests/ that has a CMakeLists.txt and labels all tests defined in it and
# below with its subsystem (through the folder's LABELS property, which ctest applies to every
# test of the folder, the discovered GoogleTest cases included).
function(qv_add_test_folders)
    file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
         ${CMAKE_CURRENT_SOURCE_DIR}/*)
    list(SORT children)
    foreach(dir ${children})
        if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
            add_subdirectory(${dir})
            qv_subsystem_label(subsystem ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
            qv_label_folder_tree(${CMAKE_CURRENT_SOURCE_DIR}/${dir} ${subsystem})
        endif()
    endforeach()
    if(WIN32)
        qv_label_folder_tree(${CMAKE_CURRENT_SOURCE_DIR} wine)
    endif()
endfunction()

# qv_discovered_tests_properties(<test list> LABELS <labels...> [FIXTURES <fixtures...>])
# Labels (and required fixtures) for the GoogleTest cases that one gtest_discover_tests call
# lists in its TEST_LIST variable. gtest_discover_tests keeps only the first value of a list
# handed to its PROPERTIES, so they are set by a script that ctest includes after the
# discovery's. Under Wine every case needs the run's Wine session (tests/wine/session.sh).
# Cases whose names hold square brackets are missing from the list: tests/check_labels.sh
# finds them.
function(qv_discovered_tests_properties test_list)
    cmake_parse_arguments(ARG "" "" "LABELS;FIXTURES" ${ARGN})
    set(fixtures ${ARG_FIXTURES})
    if(WIN32)
        list(APPEND fixtures wine_session)
    endif()
    set(labels "${ARG_LABELS}")
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${test_list}_properties.cmake)
    file(CONFIGURE OUTPUT ${script} CONTENT "if(@test_list@)
    set_tests_properties(\${@test_list@} PROPERTIES LABELS \"@labels@\"
        FIXTURES_REQUIRED \"@fixtures@\")
endif()
" @ONLY)
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# qv_add_gtest(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#              [CP950 <GoogleTest filter>] [LAUNCHER <command...>])
# One GoogleTest program; its cases are discovered when ctest runs (under Wine for
# the Windows builds). LAUNCHER runs the program, for the discovery and each case (as
# tests/engine/umockdev-run.sh does). The cases that CP950 names need code page 950 (Big5) under Windows and
# carry the label cp950: the Windows test stage runs them in a pass of their own under
# LC_ALL=zh_TW.UTF-8.
function(qv_add_gtest name)
    cmake_parse_arguments(ARG "" "CP950" "SOURCES;LIBS;LABELS;LAUNCHER" ${ARGN})
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
    if(ARG_LAUNCHER)
        # gtest_discover_tests reads the property when it is called.
        set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${ARG_LAUNCHER}")
    endif()
    set(labels ${ARG_LABELS} unit)
    set(filter "*")
    if(ARG_CP950)
        set(filter "-${ARG_CP950}")
        gtest_discover_tests(${name}
            TEST_FILTER "${ARG_CP950}"
            TEST_LIST ${name}_cp950_TESTS
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 60
            PROPERTIES TIMEOUT 120)
        qv_discovered_tests_properties(${name}_cp950_TESTS LABELS ${labels} cp950)
    endif()
    gtest_discover_tests(${name}
        TEST_FILTER "${filter}"
        TEST_LIST ${name}_TESTS
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120)
    qv_discovered_tests_properties(${name}_TESTS LABELS ${labels})
endfunction()
