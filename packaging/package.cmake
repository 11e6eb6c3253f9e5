# The Debian package. `cmake --build build --target package` makes
# quillmark_VERSION_ARCH.deb from the install rules: the programs, the desktop
# entry and icon, the AppStream metadata, the man pages, and the copyright
# file and changelog that Debian's policy asks for.

set(QUILLMARK_HOMEPAGE "https://github.com/quillmark/quillmark"
    CACHE STRING "The project's web address, for the package and the AppStream metadata")
set(QUILLMARK_PACKAGE_MAINTAINER "The Quillmark developers <quillmark@users.noreply.github.com>"
    CACHE STRING "The package's Maintainer field")
set(QUILLMARK_APPSTREAM_ID io.github.quillmark.quillmark)
set(QUILLMARK_SCREENSHOTS "https://raw.githubusercontent.com/quillmark/quillmark/main/docs/screenshots")

# The newest changelog entry and AppStream release carry the project version;
# a version bump that forgets them stops here.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^quillmark \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the newest entry is not version ${PROJECT_VERSION}")
endif()
set(metainfo_source ${CMAKE_CURRENT_SOURCE_DIR}/app/${QUILLMARK_APPSTREAM_ID}.metainfo.xml.in)
file(READ ${metainfo_source} metainfo_text)
string(REGEX MATCH "<release version=\"[^\"]*\"" newest_release "${metainfo_text}")
if(NOT newest_release STREQUAL "<release version=\"${PROJECT_VERSION}\"")
  message(FATAL_ERROR "${metainfo_source}: the newest release is not version ${PROJECT_VERSION}")
endif()

set(package_dir ${CMAKE_CURRENT_BINARY_DIR}/package-files)
set(man_pages quillmark)
set(provided_binaries "    <binary>quillmark</binary>")
# The install rules above put quillmark-simkey in bin/ when it is built.
if(TARGET quillmark-simkey)
  list(APPEND man_pages quillmark-simkey)
  string(APPEND provided_binaries "\n    <binary>quillmark-simkey</binary>")
endif()

set(QUILLMARK_PROVIDES_BINARIES "${provided_binaries}")
configure_file(${metainfo_source} ${package_dir}/${QUILLMARK_APPSTREAM_ID}.metainfo.xml @ONLY)

# Man pages and the changelog go in compressed as Debian wants them: gzip -9,
# without name or time stamp, so that the same sources give the same bytes.
# Compressed when CMake configures (again after an edit), so that an install
# needs no build step of its own.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressed_files)
foreach(page ${man_pages})
  list(APPEND compressed_files ${page}.1)
endforeach()
list(APPEND compressed_files changelog)
foreach(file ${compressed_files})
  set(source ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${file})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND ${GZIP_PROGRAM} -9n -c ${source}
                  OUTPUT_FILE ${package_dir}/${file}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()

install(FILES ${package_dir}/${QUILLMARK_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(page ${man_pages})
  install(FILES ${package_dir}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/copyright ${package_dir}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quillmark)

# A stripping install (the package's) also drops the sections that only name
# the compiler, as Debian's own packaging tools do.
install(CODE "set(strip_program \"${CMAKE_STRIP}\")")
install(CODE [[
  if(CMAKE_INSTALL_DO_STRIP AND strip_program)
    foreach(program quillmark quillmark-simkey)
      set(file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/${program}")
      if(EXISTS "${file}")
        execute_process(COMMAND "${strip_program}" --remove-section=.comment
                                --remove-section=.note "${file}" COMMAND_ERROR_IS_FATAL ANY)
      endif()
    endforeach()
  endif()
]])

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VENDOR "The Quillmark developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUILLMARK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "inspection tool for FIDO security keys")
set(package_description
    "Quillmark shows what a FIDO security key says about itself: its identity
(product string, vendor and product id, release), the versions of its
smart-card applets, the decoded CTAP2 authenticatorGetInfo answer and the
maker's hardware record. On request it creates a test credential and shows
the attestation certificates with the checks of their signature and AAGUID.

It talks to keys only through CTAPHID over their HID interface, follows keys
being plugged in and pulled out, and prints the same lists as text or JSON
from the command line.")
if(TARGET quillmark-simkey)
  string(APPEND package_description "

The package also holds quillmark-simkey, which serves a simulated key as a
network authenticator for testing FIDO hosts without a key.")
endif()
set(CPACK_PACKAGE_DESCRIPTION "${package_description}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLMARK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUILLMARK_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Card readers are reached through the pcscd service; USB keys need none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pcscd)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
