# Warnings for every target of the project, errors when SNDSCOUT_WERROR is on.
function(sndscout_compiler_options target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive-)
    if(SNDSCOUT_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(SNDSCOUT_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
  if(WIN32 AND NOT MSVC)
    # No runtime libraries to carry beside the programs.
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()

# Sanitizers for every target, fatal at the first finding.
if(SNDSCOUT_SANITIZE OR SNDSCOUT_FUZZ)
  set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  if(SNDSCOUT_FUZZ)
    # Coverage for the fuzzers in every library they link.
    list(APPEND sanitizers -fsanitize=fuzzer-no-link)
  endif()
  add_compile_options(${sanitizers})
  add_link_options(${sanitizers})
endif()
