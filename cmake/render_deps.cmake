# The rendering libraries (libcdr, librevenge, librevenge-stream, cairo and
# what they need) as one INTERFACE target, render_libs. With RENDER_PREFIX
# (the static builds the set-up leaves for each target) cmake/render_libs.cmake
# defines it; without, natively, Debian's shared libraries through
# pkg-config. Windows builds without RENDER_PREFIX have no renderer.
set(RENDER_PREFIX "" CACHE PATH "Static rendering libraries for this target")
if(NOT TARGET render_libs)
  if(RENDER_PREFIX AND EXISTS ${PROJECT_SOURCE_DIR}/cmake/render_libs.cmake)
    include(${PROJECT_SOURCE_DIR}/cmake/render_libs.cmake)
  elseif(NOT WIN32)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(RENDER_PC REQUIRED IMPORTED_TARGET libcdr-0.1 librevenge-0.0 librevenge-stream-0.0 cairo)
    add_library(render_libs INTERFACE)
    target_link_libraries(render_libs INTERFACE PkgConfig::RENDER_PC)
  endif()
endif()
