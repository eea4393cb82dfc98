# libFLAC and LAME for grooval-split: built from Debian's source packages by scripts/codecs.sh
# into <build>/codecs when the build needs them (fetched once, then kept in the build folder).
set(GROOVAL_CODECS_DIR ${CMAKE_BINARY_DIR}/codecs)
set(GROOVAL_CODECS_PREFIX ${GROOVAL_CODECS_DIR}/prefix)
set(GROOVAL_CODECS_LIBS ${GROOVAL_CODECS_PREFIX}/lib/libFLAC.a ${GROOVAL_CODECS_PREFIX}/lib/libmp3lame.a)
# An imported target's include folder must exist when CMake configures.
file(MAKE_DIRECTORY ${GROOVAL_CODECS_PREFIX}/include)

add_custom_command(OUTPUT ${GROOVAL_CODECS_LIBS}
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/codecs.sh ${GROOVAL_CODECS_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/codecs.sh
  COMMENT "libFLAC and LAME from Debian's source packages (scripts/codecs.sh)"
  VERBATIM)
add_custom_target(grooval_codecs DEPENDS ${GROOVAL_CODECS_LIBS})

add_library(grooval_libflac STATIC IMPORTED GLOBAL)
set_target_properties(grooval_libflac PROPERTIES
  IMPORTED_LOCATION ${GROOVAL_CODECS_PREFIX}/lib/libFLAC.a
  INTERFACE_INCLUDE_DIRECTORIES ${GROOVAL_CODECS_PREFIX}/include
  INTERFACE_COMPILE_DEFINITIONS FLAC__NO_DLL)  # static: no dllimport in its headers
add_dependencies(grooval_libflac grooval_codecs)

add_library(grooval_libmp3lame STATIC IMPORTED GLOBAL)
set_target_properties(grooval_libmp3lame PROPERTIES
  IMPORTED_LOCATION ${GROOVAL_CODECS_PREFIX}/lib/libmp3lame.a
  INTERFACE_INCLUDE_DIRECTORIES ${GROOVAL_CODECS_PREFIX}/include)
add_dependencies(grooval_libmp3lame grooval_codecs)
