# The Linux package: a .deb with qvdfu, qv-headset-sim and qvdfufile, the engine library they
# load (in a private folder the programs find through their RUNPATH), the udev rule, the user
# guide, the copyright and the changelog. Its dependencies are computed (dpkg-shlibdeps).
#
#   cmake --build --preset native && (cd build/native && cpack -G DEB)
#
# `cmake --install` puts the same files under any prefix (the rule in lib/udev/rules.d).
# tests/tools/deb_check.sh checks the package's contents and runs lintian on it.
if(WIN32 OR NOT TARGET qvdfu OR NOT TARGET qv-headset-sim OR NOT TARGET qvdfufile)
    return()
endif()

set(QV_DEB_NAME kx-v5-tool)
set(qv_private_lib lib/${QV_DEB_NAME})
set(qv_doc share/doc/${QV_DEB_NAME})

install(TARGETS qvdfu qv-headset-sim qvdfufile RUNTIME DESTINATION bin COMPONENT linux)
install(TARGETS DFUEngine LIBRARY DESTINATION ${qv_private_lib} COMPONENT linux
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# The engine library is the package's own: the program that loads it finds it by its place.
set_target_properties(qvdfu PROPERTIES INSTALL_RPATH "$ORIGIN/../${qv_private_lib}")

# Debian's changelog, compressed as its policy asks (gzip -9n: no name, no time stamp).
set(qv_changelog_gz ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${qv_changelog_gz}
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/cmake/debian/changelog > ${qv_changelog_gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
    COMMENT "changelog.gz"
    VERBATIM)
add_custom_target(deb-changelog ALL DEPENDS ${qv_changelog_gz})
install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
              ${qv_changelog_gz}
        DESTINATION ${qv_doc} COMPONENT linux)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${QV_DEB_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvane)
set(CPACK_PACKAGE_CONTACT "Quorvane Support <support@quorvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service and firmware upgrade tools for the Quorvane KX-V5 headset")
# The long description; CPack puts the summary line before it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "qvdfu lists the KX-V5 headsets attached by USB, shows and backs up their
settings, upgrades their firmware over USB DFU and recovers a headset left
in upgrade mode. The package also holds the headset simulator
qv-headset-sim, the firmware file tool qvdfufile and a udev rule that lets
the user at the seat (and the group plugdev) open the headset.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL linux)
include(CPack)
