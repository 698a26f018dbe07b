# The document renderer's libraries for this build: libcdr, librevenge and
# librevenge-stream, cairo, and what they need (ICU, lcms2, pixman, zlib), as
# the imported INTERFACE target render_libs. tools/setup.sh leaves them in a
# prefix per build (RENDER_*_PREFIX in paths.env, handed over by ./run);
# the flags are what `pkg-config --static` says for that prefix alone, so a
# program linking render_libs is complete: natively with Debian's ICU, cairo
# and lcms2, on Windows with nothing but system DLLs.
#
#   include(cmake/render_libs.cmake)
#   target_link_libraries(my_target PRIVATE render_libs)
include_guard(GLOBAL)

set(RENDER_PREFIX "" CACHE PATH "Static document renderer libraries for this build (tools/setup_render.sh)")
if(NOT RENDER_PREFIX)
  message(FATAL_ERROR "RENDER_PREFIX must name the prefix tools/setup.sh built the renderer libraries into")
endif()
find_program(RENDER_PKG_CONFIG pkg-config REQUIRED)

set(_render_modules libcdr-0.1 librevenge-stream-0.0 cairo)
# render_pkg_config(VAR ARG...): the words pkg-config prints, as a list.
function(render_pkg_config var)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${RENDER_PREFIX}/lib/pkgconfig PKG_CONFIG_PATH=
            ${RENDER_PKG_CONFIG} --static ${ARGN} ${_render_modules}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config ${ARGN} ${_render_modules} in ${RENDER_PREFIX}: ${err}")
  endif()
  separate_arguments(out UNIX_COMMAND "${out}")
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

render_pkg_config(_render_includes --cflags-only-I)
render_pkg_config(_render_cflags --cflags-only-other)
render_pkg_config(_render_libs --libs)
list(TRANSFORM _render_includes REPLACE "^-I" "")

add_library(render_libs INTERFACE IMPORTED GLOBAL)
# SYSTEM: the warnings of the project's flags are not for these headers.
target_include_directories(render_libs SYSTEM INTERFACE ${_render_includes})
target_compile_options(render_libs INTERFACE ${_render_cflags})
# One ordered link line: static libraries need their users first.
target_link_libraries(render_libs INTERFACE ${_render_libs})

# Configure again when the set-up rebuilds a library (its .pc is rewritten).
file(GLOB _render_pc ${RENDER_PREFIX}/lib/pkgconfig/*.pc)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_render_pc})
