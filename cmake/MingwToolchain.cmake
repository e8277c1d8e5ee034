# What both mingw-w64 toolchain files share: the compilers of one target triple, found on the
# PATH with a clear error when the package is missing, and Wine as the emulator for tests.
function(mingw_toolchain triple)
  # The posix thread model: GoogleTest needs std::mutex, which the win32 model lacks.
  string(REPLACE "_" "-" package_arch ${CMAKE_SYSTEM_PROCESSOR})
  foreach(tool C:gcc-posix CXX:g++-posix RC:windres)
    string(REPLACE ":" ";" pair ${tool})
    list(GET pair 0 language)
    list(GET pair 1 suffix)
    find_program(MINGW_${language}_${triple} ${triple}-${suffix})
    if(NOT MINGW_${language}_${triple})
      message(FATAL_ERROR "${triple}-${suffix} not found: run scripts/bootstrap (Debian package "
                          "g++-mingw-w64-${package_arch}-posix)")
    endif()
    set(CMAKE_${language}_COMPILER ${MINGW_${language}_${triple}} PARENT_SCOPE)
  endforeach()

  set(CMAKE_FIND_ROOT_PATH /usr/${triple} PARENT_SCOPE)
  set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER PARENT_SCOPE)
  set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY PARENT_SCOPE)
  set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY PARENT_SCOPE)

  # Tests built here are Windows programs: CTest runs them through Wine.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../scripts/wine-run
      PARENT_SCOPE)
endfunction()
