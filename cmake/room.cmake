# cdrthumb_room(NAME [LIBS ...] [WIN_LIBS ...]): the sources of the current
# folder into one library, hi_NAME. The file name's suffix picks the build:
# *_win.cpp only for Windows, *_nodevice.cpp only without a window system
# (natively), every other file for all. LIBS are linked in every build,
# WIN_LIBS (and the toolkit) in the Windows builds.
function(cdrthumb_room name)
  cmake_parse_arguments(R "" "" "LIBS;WIN_LIBS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    list(FILTER all EXCLUDE REGEX "_nodevice\\.cpp$")
  else()
    list(FILTER all EXCLUDE REGEX "_win\\.cpp$")
  endif()
  add_library(hi_${name} STATIC ${all})
  target_include_directories(hi_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(hi_${name} PUBLIC hi_framework ${R_LIBS})
  if(WIN32)
    target_link_libraries(hi_${name} PUBLIC hi_toolkit ${R_WIN_LIBS})
  endif()
endfunction()
