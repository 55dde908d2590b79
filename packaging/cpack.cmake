# The Debian package, made by `cpack -G DEB` in a build configured by scripts/package.sh.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  # The launcher and the units name the installed paths.
  message(FATAL_ERROR "SKYLOOM_PACKAGE needs -DCMAKE_INSTALL_PREFIX=/usr (scripts/package.sh sets it)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME skyloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SKYLOOM_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "animated weather forecast viewer for kiosks and displays")
# CPack puts the summary first and indents these lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Skyloom shows a whole forecast of NOAA NCEP's Rapid Refresh Forecast System
(RRFS) for North America as a living picture in one OpenGL window: winds as
drifting streaklets, temperature, pressure with highs, lows and isobar labels,
cloud cover and precipitation, with coast and state outlines, a time bar and
a point read-out.

It is made for displays that run all day. The systemd user units
skyloom.service and skyloom-update.timer start it full screen in the
graphical session, restart it after a crash and once a day, and fetch the
latest forecast four times a day; the viewer reloads it by itself.")
# Depends: the libraries the binaries link (dpkg-shlibdeps), and curl, which update_data.sh fetches
# with. Its flock, timeout and awk come with essential packages, on which Debian packages do not
# declare dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "curl")
# frames_to_video.sh turns recorded frames into a video.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
