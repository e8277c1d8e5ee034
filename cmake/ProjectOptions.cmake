# Options shared by every target of the project, as interface libraries to link against.

# Source lists that several targets compile, each with its own flags (the portable cores go
# into the Windows programs, the checked native tests and the fuzz targets): adds files, given
# relative to the calling folder, to the global property LIST.
function(append_sources list)
  set(files ${ARGN})
  list(TRANSFORM files PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  set_property(GLOBAL APPEND PROPERTY ${list} ${files})
endfunction()

# Warnings are errors in every preset.
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE -Wall -Wextra -Werror)

# Sources include each other by their path from the repository root.
add_library(project_includes INTERFACE)
target_include_directories(project_includes INTERFACE ${PROJECT_SOURCE_DIR})

add_library(project_options INTERFACE)
target_link_libraries(project_options INTERFACE project_warnings project_includes)

if(WIN32)
  # The architecture that each program's manifest names: a manifest of the wrong one keeps a
  # program from starting (Server Core without WoW64 refuses x86 side-by-side dependencies).
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(MANIFEST_ARCHITECTURE amd64)
  else()
    set(MANIFEST_ARCHITECTURE x86)
  endif()
  # Static: Wine and bare Windows installations have no mingw runtime DLLs.
  target_link_options(project_options INTERFACE -static)
  # The stub and its core carry no C++ exceptions, RTTI or unwind tables: they cost size and
  # nothing throws. Optimised for size; the decoder's hot files ask for speed themselves. No
  # -fdata-sections: with it mingw's gcc gives each zero-filled global a section of its own
  # that the linker places in .data, where it takes file space (some 6 KB here), instead of
  # .bss, which takes none.
  add_library(lean_code INTERFACE)
  target_compile_options(lean_code INTERFACE
    -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -ffunction-sections -Os)
  target_link_options(lean_code INTERFACE -Wl,--gc-sections)
else()
  # Native tests run under AddressSanitizer and UndefinedBehaviorSanitizer; any report fails.
  add_library(sanitizers INTERFACE)
  set(_sanitize -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(sanitizers INTERFACE ${_sanitize} -g)
  target_link_options(sanitizers INTERFACE ${_sanitize})
endif()
