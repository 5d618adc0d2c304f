# Release packaging of the Windows build: a zip with the program, the console tool qvdfu, the
# two DLLs and the user guide, one per architecture (KX-V5-Tool-<version>-i686.zip,
# ...-x86_64.zip).
#
#   cmake --build --preset windows-x86 --target release-zip   the three files, then the zip
#   cmake --build --preset windows-x86 --target package       everything, then the zip
#
# The zip lands in the build folder. The version in the file names is the project's; the
# version records inside the four binaries must carry the same (checked by package_contents).
if(WIN32 AND TARGET QVDFUUpgrade AND TARGET qvdfu AND TARGET DfuBridge AND TARGET DFUEngine)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(QV_PACKAGE_ARCH x86_64)
    else()
        set(QV_PACKAGE_ARCH i686)
    endif()

    install(PROGRAMS $<TARGET_FILE:QVDFUUpgrade> $<TARGET_FILE:qvdfu> $<TARGET_FILE:DfuBridge>
                     $<TARGET_FILE:DFUEngine>
        DESTINATION . COMPONENT release)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md DESTINATION . COMPONENT release)

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_NAME "KX-V5-Tool")
    set(CPACK_PACKAGE_VENDOR "Quor Vane")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KX-V5 headset configuration and firmware upgrade tool")
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(QV_PACKAGE_NAME "KX-V5-Tool-${PROJECT_VERSION}-${QV_PACKAGE_ARCH}")
    set(CPACK_PACKAGE_FILE_NAME ${QV_PACKAGE_NAME})
    # Unpacks into a folder named like the zip.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_COMPONENTS_ALL release)
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
    include(CPack)

    # The zip without building the tests first.
    add_custom_target(release-zip
        COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
        DEPENDS QVDFUUpgrade qvdfu DfuBridge DFUEngine
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        COMMENT "Packing ${QV_PACKAGE_NAME}.zip"
        VERBATIM)

    # Packs into a folder of its own and checks the zip: the five files, the architecture and
    # the version records.
    add_test(NAME package_contents
        COMMAND sh ${PROJECT_SOURCE_DIR}/tests/wine/package_check.sh
                ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR}/CPackConfig.cmake
                ${CMAKE_BINARY_DIR}/package-check ${QV_PACKAGE_NAME}
                ${CMAKE_RC_COMPILER} ${CMAKE_OBJDUMP} ${QV_PACKAGE_ARCH} ${PROJECT_VERSION})
    set_tests_properties(package_contents PROPERTIES LABELS "package" TIMEOUT 120)
endif()
