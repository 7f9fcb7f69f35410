# Installation as a desktop application, and its Debian package:
#   cmake --install <build> [--prefix DIR]
#   cpack --config <build>/CPackConfig.cmake      (what scripts/package.sh runs)
# Everything the program needs at run time is compiled in, apart from the CA
# file it trusts (see TALVORA_CA_BUNDLE) and the fonts and Qt translations
# that the package depends on.

# An installed copy that trusts a CA file in a build tree stops working once
# that tree is cleaned, and trusts whatever CA is made there next. Such an
# installation stops before it installs anything, unless the development CA
# is asked for: TALVORA_INSTALL_DEV_CA at configure time (scripts/package.sh),
# or TALVORA_INSTALL_BUILD_TREE_CA=1 in the environment of "cmake --install"
# (the tests, which install their own build to run the copy).
if(NOT TALVORA_INSTALL_DEV_CA AND TALVORA_CA_BUNDLE)
    cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${TALVORA_CA_BUNDLE}" NORMALIZE _caInBuildTree)
    if(_caInBuildTree OR TALVORA_CA_BUNDLE STREQUAL "${TALVORA_DEV_CERT_DIR}/ca.pem")
        install(CODE "if(NOT \"\$ENV{TALVORA_INSTALL_BUILD_TREE_CA}\" STREQUAL \"1\")
    message(FATAL_ERROR \"This build trusts ${TALVORA_CA_BUNDLE}, a CA file in a build tree; \
an installed copy must not depend on it. Configure with -DTALVORA_INSTALL_DEV_CA=ON to install \
the development CA with the program (as scripts/package.sh does), or with \
-DTALVORA_CA_BUNDLE=<CA file> (empty for the system's CA store).\")
endif()")
    endif()
endif()

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(TALVORA_MAINTAINER "Talvora maintainers <maintainers@talvora.org>")
set(_linux ${PROJECT_SOURCE_DIR}/Resources/linux)
set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/talvora)

install(TARGETS Talvora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_linux}/${TALVORA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Resources/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

configure_file(${_linux}/${TALVORA_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/${TALVORA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${TALVORA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants the copyright, and the changelog and manual page compressed
# without a time stamp.
execute_process(COMMAND date -u -R -d "${TALVORA_RELEASE_DATE} 12:00 UTC"
    OUTPUT_VARIABLE TALVORA_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
set(_doc ${CMAKE_BINARY_DIR}/package-doc)
configure_file(${_linux}/changelog.in ${_doc}/changelog @ONLY)
configure_file(${_linux}/Talvora.1 ${_doc}/Talvora.1 COPYONLY)
foreach(file changelog Talvora.1)
    add_custom_command(OUTPUT ${_doc}/${file}.gz
        COMMAND gzip -9 -n -f -k ${_doc}/${file}
        DEPENDS ${_doc}/${file}
        VERBATIM)
endforeach()
add_custom_target(talvora_package_doc ALL DEPENDS ${_doc}/changelog.gz ${_doc}/Talvora.1.gz)
install(FILES ${_linux}/copyright ${_doc}/changelog.gz DESTINATION ${_docdir})
install(FILES ${_doc}/Talvora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TALVORA_INSTALL_DEV_CA)
    install(FILES ${TALVORA_DEV_CERT_DIR}/ca.pem DESTINATION ${CMAKE_INSTALL_DATADIR}/talvora RENAME dev-ca.pem)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talvora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Talvora")
set(CPACK_PACKAGE_CONTACT "${TALVORA_MAINTAINER}")
# scripts/package.sh configures the prefix /usr, which the compiled-in CA path
# shares.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TALVORA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "desktop client for video and voice meetings
Talvora lists the meetings booked on a conferencing service and books,
edits, deletes, starts and joins video and voice meetings. Its interface
is in Simplified Chinese; signing in uses the cloud account.")
# The libraries come from dpkg-shlibdeps; these are loaded at run time: the
# interface's CJK face and Qt's Chinese texts of the standard buttons. The
# HTTPS client sets options of libcurl 7.85, which no symbol version tells
# dpkg-shlibdeps about.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qttranslations5-l10n, libcurl4 (>= 7.85)")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
