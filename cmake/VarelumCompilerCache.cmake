# Compiles through ccache when it is installed. Paths are taken relative to the
# source folder and the working folder is left out of the hash, so another
# checkout of the same sources (a second work tree, CI's fresh clone) reuses the
# objects. Set VARELUM_COMPILER_CACHE=OFF to compile without it.
option(VARELUM_COMPILER_CACHE "Compile through ccache when it is installed" ON)
if(VARELUM_COMPILER_CACHE)
  find_program(VARELUM_CCACHE_PROGRAM ccache)
  if(VARELUM_CCACHE_PROGRAM)
    set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}
                 CCACHE_NOHASHDIR=true ${VARELUM_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
  endif()
endif()
