# Cross build of the whole of Kavrel, the Qt program included, for 64-bit
# Windows: the MinGW-w64 toolchain of mingw-w64.cmake plus the static Qt that
# scripts/build-qt-mingw.sh builds once into the cache. Used by the
# `windows-gui` preset:
#   bash scripts/build-qt-mingw.sh && cmake --preset windows-gui && cmake --build --preset windows-gui
# KAVREL_QT_MINGW names another Qt (its install prefix); Qt's host tools (moc,
# uic, rcc) are Debian's, in /usr.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

if(NOT KAVREL_QT_MINGW)
  if(DEFINED ENV{KAVREL_QT_MINGW})
    set(KAVREL_QT_MINGW "$ENV{KAVREL_QT_MINGW}")
  elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(KAVREL_QT_MINGW "$ENV{XDG_CACHE_HOME}/kavrel/qt-mingw")
  else()
    set(KAVREL_QT_MINGW "$ENV{HOME}/.cache/kavrel/qt-mingw")
  endif()
endif()
# The link points at the install of the current cache key; the real path keeps
# a configured build on the Qt it was made with.
get_filename_component(KAVREL_QT_MINGW "${KAVREL_QT_MINGW}" REALPATH)
set(KAVREL_QT_MINGW "${KAVREL_QT_MINGW}" CACHE PATH "The static Qt for MinGW (scripts/build-qt-mingw.sh)")
if(NOT EXISTS "${KAVREL_QT_MINGW}/lib/cmake/Qt6/Qt6Config.cmake")
  message(FATAL_ERROR "No Qt for MinGW in ${KAVREL_QT_MINGW}: run scripts/build-qt-mingw.sh first")
endif()

list(APPEND CMAKE_FIND_ROOT_PATH "${KAVREL_QT_MINGW}")
list(APPEND CMAKE_PREFIX_PATH "${KAVREL_QT_MINGW}")
set(QT_HOST_PATH /usr CACHE PATH "Debian's Qt, whose tools the cross build runs")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
