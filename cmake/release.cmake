# What a release carries: the version from project(), for the code and in the
# Windows version resource; a stripped executable; the zip a Windows user gets.

# Code includes "app/version.h"; it is made in the build folder, never edited.
set(SNDSCOUT_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/app/version.h.in ${SNDSCOUT_GENERATED_DIR}/app/version.h @ONLY)
target_include_directories(sndscout_core PUBLIC ${SNDSCOUT_GENERATED_DIR})

if(WIN32)
  # The copyright is the licence's own line, so the year and holder live there.
  file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE SNDSCOUT_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
  if(NOT SNDSCOUT_COPYRIGHT)
    message(FATAL_ERROR "LICENSE has no line starting with \"Copyright \"")
  endif()
  # The resource's version has four numbers; project() usually gives three.
  set(SNDSCOUT_VERSION_TWEAK 0)
  if(PROJECT_VERSION_TWEAK)
    set(SNDSCOUT_VERSION_TWEAK ${PROJECT_VERSION_TWEAK})
  endif()
  enable_language(RC)
  configure_file(${PROJECT_SOURCE_DIR}/app/version.rc.in ${SNDSCOUT_GENERATED_DIR}/version.rc @ONLY)
  target_sources(sndscout PRIVATE ${SNDSCOUT_GENERATED_DIR}/version.rc)

  # The zip a Windows user downloads: the program, the README and the licence.
  # They sit at the zip's top, since Windows unpacks a zip into a folder named
  # after it anyway. The build is static, so no DLL goes with the program.
  install(TARGETS sndscout RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
  # The tests need the name after include(CPack), which reuses CPACK_PACKAGE_FILE_NAME.
  set(SNDSCOUT_PACKAGE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
  set(CPACK_PACKAGE_FILE_NAME ${SNDSCOUT_PACKAGE_NAME})
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  include(CPack)
endif()

# The shipped program carries no symbols: they are most of its size, and a user
# has no use for them. Release is already optimised (-O3).
if(NOT MSVC)
  target_link_options(sndscout PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
endif()
