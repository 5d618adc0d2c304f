# Release packaging of the Windows build: a zip with the program, the console tool qvdfu, the
# two DLLs and the user guide (Markdown and HTML), one per architecture
# (KX-V5-Tool-<version>-i686.zip, ...-x86_64.zip), with its checksum beside it (<zip>.sha256).
#
#   cmake --build --preset windows-x86 --target release-zip
#
# The zip lands in the build folder. cmake/release_zip.sh stages the release component, signs
# the staged binaries when QV_SIGN_PKCS12 / QV_SIGN_PASSWORD name a certificate, and packs them
# reproducibly. The version in the file names is the project's; the version records inside the
# binaries must carry the same (checked by package_contents).
if(WIN32 AND TARGET QVDFUUpgrade AND TARGET qvdfu AND TARGET DfuBridge AND TARGET DFUEngine)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(QV_PACKAGE_ARCH x86_64)
    else()
        set(QV_PACKAGE_ARCH i686)
    endif()
    set(QV_PACKAGE_NAME "KX-V5-Tool-${PROJECT_VERSION}-${QV_PACKAGE_ARCH}")

    # The user guide as a web page, made from the Markdown at build time.
    set(qv_guide_html ${CMAKE_BINARY_DIR}/user-guide.html)
    add_custom_command(OUTPUT ${qv_guide_html}
        COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/guide_html.sh
                ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${qv_guide_html}
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${PROJECT_SOURCE_DIR}/cmake/guide_html.sh
        COMMENT "User guide as HTML"
        VERBATIM)
    add_custom_target(user-guide-html ALL DEPENDS ${qv_guide_html})

    set(qv_shipped QVDFUUpgrade qvdfu DfuBridge DFUEngine)
    set(qv_shipped_files)
    foreach(target IN LISTS qv_shipped)
        list(APPEND qv_shipped_files $<TARGET_FILE:${target}>)
    endforeach()
    install(PROGRAMS ${qv_shipped_files} DESTINATION . COMPONENT release)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${qv_guide_html}
        DESTINATION . COMPONENT release)

    set(qv_release_zip bash ${PROJECT_SOURCE_DIR}/cmake/release_zip.sh)
    add_custom_target(release-zip
        COMMAND ${qv_release_zip} ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR} ${QV_PACKAGE_NAME}
                ${PROJECT_SOURCE_DIR}
        DEPENDS ${qv_shipped} user-guide-html
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        COMMENT "Packing ${QV_PACKAGE_NAME}.zip"
        VERBATIM)

    # Packs into a folder of its own and checks the zip: the files, the architecture, the
    # version records, the program's icon and the checksum.
    add_test(NAME package_contents
        COMMAND bash ${PROJECT_SOURCE_DIR}/tests/wine/package_check.sh
                ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/package-check ${QV_PACKAGE_NAME}
                ${CMAKE_RC_COMPILER} ${CMAKE_OBJDUMP} ${QV_PACKAGE_ARCH} ${PROJECT_VERSION}
                ${PROJECT_SOURCE_DIR})
    # Defined here, beside the packing it checks, and labelled like the tests of the program
    # under Wine (tests/wine).
    set_tests_properties(package_contents PROPERTIES LABELS "app;wine;package" TIMEOUT 120)
endif()
