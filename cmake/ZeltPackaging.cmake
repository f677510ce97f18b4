# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package made by `cpack -G DEB` (scripts/package.sh): name, version, maintainer,
# description, and dependencies found by dpkg-shlibdeps from the libraries the programs link.
# With SOURCE_DATE_EPOCH set (scripts/package.sh sets it to the last commit's time) every file
# in the package has that time, so two builds of one commit give the same files.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Zelt developers")
set(CPACK_PACKAGE_CONTACT "${ZELT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "traverse tables for field cartographers, with OCAD map export")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZELT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_HOMEPAGE_URL "${ZELT_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZELT_HOMEPAGE}")
# The report is laid out for Arial; Liberation Sans has its widths. With another sans font
# (DejaVu Sans is wider) the column headings run into one another.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2 | fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the extended description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Zelt is for mappers who survey a route on foot with a compass, a pace count
and an altimeter. Each walked traverse is a table (a Paradox *.db file) with
one row per leg: azimuth, pace pairs and metres, slope, turn note, mark and
altimeter reading.
.
Zelt keeps every row consistent while it is typed, fills in and corrects the
heights along the route, draws the route into a new or an existing OCAD 7 map,
exports tables as text or spreadsheets and prints a report. The zelt-cli
program does the same work from the command line.")

include(CPack)
