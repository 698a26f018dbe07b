# Compiler settings of the three configurations.
if(MSVC)
  message(FATAL_ERROR "Built with GCC: natively or with mingw-w64")
endif()

add_compile_options(-Wall -Wextra -Wno-unused-parameter)

if(WIN32)
  # One self-contained file: no mingw runtime DLL beside the plugin.
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  set(CDRTHUMB_SANITIZE "-fsanitize=address,undefined" CACHE STRING "Sanitizers of the native build")
  if(CDRTHUMB_SANITIZE)
    add_compile_options(${CDRTHUMB_SANITIZE} -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    add_link_options(${CDRTHUMB_SANITIZE})
  endif()
endif()

# Products that scripts look for (plugin files, tools, the archiver) go to
# out/<configuration>/; test programs stay in the build folder.
function(cdrthumb_product target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CDRTHUMB_OUT}
                                             LIBRARY_OUTPUT_DIRECTORY ${CDRTHUMB_OUT})
endfunction()
