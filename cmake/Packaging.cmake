# What `cmake --install` adds beyond the programs, and the packages CPack
# builds from it: on Linux two .deb files, on Windows one .zip.
#
#   ploxwen          bin/ploxwen and the man page; needs libcups2 and libc only
#   ploxwen-window   lib/ploxwen/ploxwen-window.so, the FLTK/X11 window that
#                    shows the failure message on a desktop
#
# The program runs without the window module (the message then goes to stderr
# only), so a till or a label server installs no X11 or FLTK library: the
# module is a separate package that `ploxwen` only recommends.

set(CPACK_PACKAGE_NAME ploxwen)
set(CPACK_PACKAGE_VENDOR "PloxWen")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(PLOXWEN_PACKAGE_MAINTAINER "PloxWen team <ploxwen@example.org>"
    CACHE STRING "Maintainer field of the packages: Name <address>")
set(CPACK_PACKAGE_CONTACT "${PLOXWEN_PACKAGE_MAINTAINER}")
# The descriptions hold quotes.
set(CPACK_VERBATIM_VARIABLES ON)

if(WIN32)
  # PloxWen.exe (installed by platform/win32), a README and the licence for Notepad.
  configure_file(${PROJECT_SOURCE_DIR}/docs/windows-readme.txt
                 ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_PACKAGE_NAME PloxWen)
  set(CPACK_GENERATOR ZIP)
  # No CPACK_STRIP_FILES: the program is stripped when linked; stripping it
  # again would change its header, and the .zip would not hold the exe the
  # tests ran.
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include(GNUInstallDirs)
  # Compressed, as Debian ships manual pages; -n keeps the build reproducible.
  set(man_page ${CMAKE_CURRENT_BINARY_DIR}/ploxwen.1.gz)
  add_custom_command(OUTPUT ${man_page}
    COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/docs/ploxwen.1 > ${man_page}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/ploxwen.1
    VERBATIM)
  add_custom_target(ploxwen_man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ploxwen)

  # Each package's copyright (machine-readable, with the licence of LICENSE)
  # and changelog in /usr/share/doc, as Debian asks of every package; only the
  # packages install them.
  set(PLOXWEN_DEB_VERSION ${PROJECT_VERSION}-1)
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE copyright_line REGEX "^Copyright ")
  string(REGEX REPLACE "^Copyright (\\(c\\) )?" "" PLOXWEN_COPYRIGHT "${copyright_line}")
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(REGEX REPLACE "^.*\n(Permission )" "\\1" licence "${licence}")
  string(STRIP "${licence}" licence)
  string(REPLACE "\n\n" "\n.\n" licence "${licence}")
  string(REPLACE "\n" "\n " PLOXWEN_LICENSE_TEXT " ${licence}")
  set(debian ${CMAKE_CURRENT_BINARY_DIR}/debian)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${debian}/copyright @ONLY)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${debian}/changelog @ONLY)
  add_custom_command(OUTPUT ${debian}/changelog.Debian.gz
    COMMAND gzip -9 -n -c ${debian}/changelog > ${debian}/changelog.Debian.gz
    DEPENDS ${debian}/changelog
    VERBATIM)
  add_custom_target(ploxwen_changelog ALL DEPENDS ${debian}/changelog.Debian.gz)
  # lintian's overrides, each with its reason, beside them.
  set(debian_packages ploxwen)
  set(debian_components ploxwen)
  if(PLOXWEN_WINDOW_MODULE)
    list(APPEND debian_packages ploxwen-window)
    list(APPEND debian_components window)
  endif()
  foreach(package component IN ZIP_LISTS debian_packages debian_components)
    install(FILES ${debian}/copyright ${debian}/changelog.Debian.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/${package}.lintian-overrides
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package}
      COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()

  set(CPACK_GENERATOR DEB)
  # Stripped programs, as Debian ships them.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL ploxwen)
  if(PLOXWEN_WINDOW_MODULE)
    list(APPEND CPACK_COMPONENTS_ALL window)
  endif()
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Built from one source, with a Debian revision of its own.
  set(CPACK_DEBIAN_PACKAGE_SOURCE ploxwen)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLOXWEN_PACKAGE_MAINTAINER}")
  # Library dependencies from the ELF files themselves (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

  set(CPACK_DEBIAN_PLOXWEN_PACKAGE_NAME ploxwen)
  set(CPACK_DEBIAN_PLOXWEN_PACKAGE_SECTION utils)
  # Each description's first line is the package's summary.
  set(CPACK_DEBIAN_PLOXWEN_DESCRIPTION
      "send raw bytes to a printer through the print spooler
ploxwen \"PRINTER¦DATA\" puts DATA on the CUPS queue whose name is exactly
PRINTER, as one raw document named \"Command Print\", byte for byte: ESC/POS
receipt commands, ZPL labels or a cash-drawer kick reach the device
unfiltered. It is silent on success and tells by its exit status what came
of it: 0 accepted (printed, when waiting), 1 no such printer, 2 not reached
or opened, 3 no job, 4 a job may exist, 5 not printed, 6 no verdict yet,
64 call refused.")
  if(PLOXWEN_WINDOW_MODULE)
    set(CPACK_DEBIAN_PLOXWEN_PACKAGE_RECOMMENDS "ploxwen-window (= ${PLOXWEN_DEB_VERSION})")

    set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME ploxwen-window)
    set(CPACK_DEBIAN_WINDOW_PACKAGE_SECTION utils)
    # The module's interface is private to the program of the same build.
    set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "ploxwen (= ${PLOXWEN_DEB_VERSION})")
    set(CPACK_DEBIAN_WINDOW_DESCRIPTION
        "desktop window for ploxwen's failure message
When ploxwen cannot find or open the printer named and a display is there,
this module (FLTK on X11) shows the message in a window as well as on
stderr. Without it, ploxwen reports on stderr only.")
  endif()
endif()

include(CPack)
