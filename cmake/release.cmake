# What a release carries: the version from project(), for the code and in the
# Windows version resource; a stripped executable; the zip a Windows user gets.

# Code includes "app/version.h"; it is made in the build folder, never edited.
set(SNDSCOUT_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/app/version.h.in ${SNDSCOUT_GENERATED_DIR}/app/version.h @ONLY)
target_include_directories(sndscout_core PUBLIC ${SNDSCOUT_GENERATED_DIR})
