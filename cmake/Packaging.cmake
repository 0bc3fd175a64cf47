# SPDX-License-Identifier: BSD-2-Clause-Patent
# What `cmake --install` lays out and what CPack packs from it:
#   bin/sio, bin/sio-inspect
#   share/sio-f81216a/SioF81216aPkg/   the completed EDK2 package
#   share/sio-f81216a/*.ffs, *.fv      the module's firmware files and volume
#   share/sio-f81216a/scenarios/       the scenario files
#   share/doc/sio-f81216a/             README, CHANGELOG, LICENSE (and docs/)
#   share/man/man1/sio.1, sio-inspect.1
# An installed `sio` finds its data from its own folder (common/DataPaths.h),
# so the layout is described here once and reaches the code through
# common/BuildPaths.h. `cpack -G DEB` and `cpack -G TGZ` in the build folder
# make the Debian package and the tarball, with file times from the sources'
# commit (cmake/SourceDateEpoch.cmake).
include(GNUInstallDirs)

set(SIO_PACKAGE_NAME sio-f81216a)
set(SIO_INSTALL_DATA ${CMAKE_INSTALL_DATADIR}/${SIO_PACKAGE_NAME})
set(SIO_INSTALL_DOC ${CMAKE_INSTALL_DATAROOTDIR}/doc/${SIO_PACKAGE_NAME})
file(RELATIVE_PATH SIO_INSTALL_DATA_FROM_BIN /${CMAKE_INSTALL_BINDIR} /${SIO_INSTALL_DATA})
cmake_path(GET SIO_EDK2_PACKAGE_DIR FILENAME SIO_INSTALL_EDK2_PACKAGE)
cmake_path(GET SIO_IMAGE_FILE FILENAME SioImageName)
set(SIO_INSTALL_IMAGE_FILE ${SIO_INSTALL_EDK2_PACKAGE}/${SioImageName})
cmake_path(GET SIO_MODULE_FILE FILENAME SIO_INSTALL_MODULE_FILE)
set(SIO_INSTALL_SCENARIO_DIR scenarios)

# Modes fixed here, not taken from the checkout.
set(SioFileModes FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
    DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                          WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS sio sio-inspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${SIO_EDK2_PACKAGE_DIR} DESTINATION ${SIO_INSTALL_DATA} ${SioFileModes})
install(FILES ${SIO_MODULE_FILE} ${SIO_MODULE_TE_FILE} ${SIO_MODULE_VOLUME}
        DESTINATION ${SIO_INSTALL_DATA})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/scenarios/ DESTINATION ${SIO_INSTALL_DATA}/${SIO_INSTALL_SCENARIO_DIR}
        ${SioFileModes})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
              ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${SIO_INSTALL_DOC})
if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/docs)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${SIO_INSTALL_DOC} ${SioFileModes})
endif()

# The manual pages, from the tools' own --help, so they cannot drift from it.
find_program(SIO_HELP2MAN help2man REQUIRED)
set(SioManPages "")
set(SioManTools sio sio-inspect)
set(SioManNames "run the F81216a bring-up module on a simulated board"
                "check a board's F81216a chip through /dev/port")
foreach(Tool Name IN ZIP_LISTS SioManTools SioManNames)
  set(Page ${CMAKE_BINARY_DIR}/man/${Tool}.1)
  add_custom_command(
    OUTPUT ${Page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${SIO_HELP2MAN} -DTOOL=$<TARGET_FILE:${Tool}> "-DNAME=${Name}"
            -DOUTPUT=${Page} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${Tool} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
            ${PROJECT_SOURCE_DIR}/cmake/SourceDateEpoch.cmake
    COMMENT "Writing the manual page ${Tool}(1)"
    VERBATIM)
  list(APPEND SioManPages ${Page})
endforeach()
add_custom_target(sio_manual_pages ALL DEPENDS ${SioManPages})
install(FILES ${SioManPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME ${SIO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the SioF81216aPei authors")
set(CPACK_PACKAGE_CONTACT "the SioF81216aPei authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "F81216a Super I/O PEI module for EDK2 platforms, with its simulator and board checker")
set(CPACK_PACKAGE_DESCRIPTION
    "The SioF81216aPei module as an EDK2 package and as firmware files, the sio tool that runs it \
on a simulated board, under OVMF and QEMU, and packs it, and the static sio-inspect that checks a \
running board's chip.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qemu-system-x86, ovmf-ia32, ovmf, uefitool-cli")
# The tarball unpacks into one folder named for the package, holding bin/ and share/.
set(CPACK_ARCHIVE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_PACKAGE_FILE_NAME ${CPACK_ARCHIVE_FILE_NAME})
# Read by cpack itself, before packing: the commit time as SOURCE_DATE_EPOCH.
configure_file(${PROJECT_SOURCE_DIR}/cmake/CPackProject.cmake.in
               ${CMAKE_BINARY_DIR}/CPackProject.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProject.cmake)
include(CPack)
