# Installation and the Debian package.
#
#   bin/                           plecavun, zurprint, zurdata, plecavun-demo
#   share/man/man1/                plecavun, plecavun-demo, zurprint, zurdata (.1.gz)
#   share/plecavun/demo/root/      the demo installation as the programs read it (code
#                                  page 850, CR LF), laid out at build time
#   share/plecavun/demo/data/      its records as CSV, loaded by plecavun-demo
#
# `cpack -G DEB` in the build tree makes plecavun_<version>_<arch>.deb. Nothing
# installed refers to the source or the build tree: plecavun-demo finds the demo files
# and the programs from its own location, and zurprint its fonts in the system's
# font folder.

include(GNUInstallDirs)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(ZUR_GZIP gzip REQUIRED)

# The demo installation, laid out from demo/root once per change of its sources: the
# sources are UTF-8 with symbols for control bytes, the programs read code page 850
# with CR LF line ends and help files of 80-byte records.
set(ZUR_DEMO_LAYOUT ${PROJECT_BINARY_DIR}/demo/root)
set(ZUR_DEMO_STAMP ${PROJECT_BINARY_DIR}/demo/root.stamp)
file(GLOB_RECURSE zur_demo_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/demo/root/*)
add_custom_command(
  OUTPUT ${ZUR_DEMO_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZUR_DEMO_LAYOUT}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/demo/layout.py ${ZUR_DEMO_LAYOUT}
  COMMAND ${CMAKE_COMMAND} -E touch ${ZUR_DEMO_STAMP}
  DEPENDS ${PROJECT_SOURCE_DIR}/demo/layout.py ${zur_demo_sources}
  COMMENT "Laying the demo installation out"
  VERBATIM)
add_custom_target(demo_layout ALL DEPENDS ${ZUR_DEMO_STAMP})

# The manual pages, with the project's version in their title line, compressed as
# Debian keeps them (gzip -9n: no name, no time, so the same page always gives the
# same bytes).
set(ZUR_MAN_PAGES plecavun plecavun-demo zurprint zurdata)
set(zur_man_outputs)
foreach(page ${ZUR_MAN_PAGES})
  set(source ${PROJECT_BINARY_DIR}/man/${page}.1)
  set(output ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
  configure_file(${PROJECT_SOURCE_DIR}/man/${page}.1 ${source} @ONLY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${ZUR_GZIP} -9n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing the manual page ${page}(1)")
  list(APPEND zur_man_outputs ${output})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${zur_man_outputs})

# plecavun-demo reaches the demo files through this path, relative to its own folder,
# so that the installed tree can be moved (or unpacked anywhere) as a whole.
set(ZUR_DEMO_DATADIR ${CMAKE_INSTALL_DATADIR}/plecavun/demo)
file(RELATIVE_PATH ZUR_DEMO_FROM_BINDIR /prefix/${CMAKE_INSTALL_BINDIR}
     /prefix/${ZUR_DEMO_DATADIR})
configure_file(${PROJECT_SOURCE_DIR}/demo/plecavun-demo.in
               ${PROJECT_BINARY_DIR}/demo/plecavun-demo @ONLY)

install(TARGETS plecavun zurprint zurdata RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${PROJECT_BINARY_DIR}/demo/plecavun-demo DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${zur_man_outputs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(DIRECTORY ${ZUR_DEMO_LAYOUT}/ DESTINATION ${ZUR_DEMO_DATADIR}/root)
install(FILES ${PROJECT_SOURCE_DIR}/demo/data/texts.csv
              ${PROJECT_SOURCE_DIR}/demo/data/properties.csv
              ${PROJECT_SOURCE_DIR}/demo/data/owners.csv
              ${PROJECT_SOURCE_DIR}/demo/data/receipts.csv
        DESTINATION ${ZUR_DEMO_DATADIR}/data)

# The Debian package.
set(ZUR_PACKAGE_MAINTAINER "PLECAVUN developers <plecavun@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plecavun)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ZUR_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "circular letters and address labels for the owners of administered buildings")
set(CPACK_PACKAGE_DESCRIPTION
    "The letter module of a property-administration suite. In an 80x25 terminal the
operator chooses a letter template, a range of owners and the receipts that count as
pending; the module merges the template with each selected owner's data, or lays out
address labels, and hands the result to the print program, which makes a PDF, a text
file or a print job.

Programs: plecavun (the module), zurprint (the print program) and zurdata (creates
the record files and moves their records to and from CSV). plecavun-demo lays out a
demo installation and opens the module on it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# zurprint loads DejaVu Sans Mono by path at run time, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-dejavu-core)
# The print program sends a print job with lp when the device names a printer queue.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS cups-client)
include(CPack)
