# Installation and the Debian package.
#
#   <prefix>/bin/quorrel                      launcher: makes ~/Quorrel on the first start, seeds it, starts the
#                                             program there (Quorrel works in its current directory)
#   <prefix>/<libdir>/quorrel/Quorrel         the program, beside its two run-time libraries sghfs.wfx and
#                                             UnZDll.dll (their own folders install them here), so the loader
#                                             finds them in the executable's folder and never in the working one
#   <prefix>/share/quorrel/                   the seeds: default Quorrel.ini, an empty catalogue, history.txt
#   <prefix>/share/applications/quorrel.desktop, <prefix>/share/icons/hicolor/*/apps/quorrel.*

set(QUORREL_DATADIR ${CMAKE_INSTALL_DATADIR}/quorrel)

# Path of `to` as seen from the folder `from`, both relative to the prefix (or absolute).
function(quorrel_relative_install_path out from to)
  foreach(v from to)
    if(NOT IS_ABSOLUTE "${${v}}")
      set(${v} "/prefix/${${v}}")
    endif()
  endforeach()
  file(RELATIVE_PATH rel "${from}" "${to}")
  set(${out} "${rel}" PARENT_SCOPE)
endfunction()

quorrel_relative_install_path(LAUNCHER_TO_PROGRAM ${CMAKE_INSTALL_BINDIR} ${QUORREL_PRIVATE_LIBDIR}/Quorrel)
quorrel_relative_install_path(LAUNCHER_TO_DATA ${CMAKE_INSTALL_BINDIR} ${QUORREL_DATADIR})
configure_file(${PROJECT_SOURCE_DIR}/data/quorrel.in ${PROJECT_BINARY_DIR}/launcher/quorrel @ONLY)

install(TARGETS Quorrel RUNTIME DESTINATION ${QUORREL_PRIVATE_LIBDIR})
install(PROGRAMS ${PROJECT_BINARY_DIR}/launcher/quorrel DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS quorrel-catalogue RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/Quorrel.ini data/Javadata.xml data/history.txt DESTINATION ${QUORREL_DATADIR})
# What a first start shows before any update: the news (how to add games and set a server) and the pictures
# of the news, of a folder and of a game without a screenshot.
install(DIRECTORY data/seed/Base DESTINATION ${QUORREL_DATADIR})
install(FILES data/quorrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/icons/quorrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 64 128 256)
  install(FILES data/icons/quorrel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quorrel.png)
endforeach()

# ---- Debian package: cpack -G DEB (in the build folder) ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorrel)
set(CPACK_PACKAGE_VENDOR "Quorrel developers")
set(CPACK_PACKAGE_CONTACT "Quorrel developers <dev@quorrel.local>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorrel developers <dev@quorrel.local>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catalogue of Java ME games for Samsung SGH phones")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quorrel keeps a local catalogue of Java ME games, shows each game with its\n"
    "size, contributor, description and animated screenshot, refreshes the\n"
    "catalogue from an HTTP update server, and installs games on Samsung SGH\n"
    "phones through a phone file-system plugin. Its interface is in Russian.\n"
    "Each user's settings, catalogue and downloaded games live in ~/Quorrel.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The launcher needs only the essential tools (sh, coreutils, diffutils); the libraries are found by
# dpkg-shlibdeps where it is installed, else named here for Debian 12.
find_program(QUORREL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUORREL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libqt6core6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6widgets6 (>= 6.2), libcurl4, libzip4")
endif()
# Qt's GIF and X11 plugins come with libqt6gui6; fonts and the tool-button icons are better with these.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, adwaita-icon-theme, qt6-translations-l10n")
include(CPack)
