# One place for the warnings and sanitizer flags every target of the project gets.
function(pellomar_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(PELLOMAR_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
  if(PELLOMAR_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(PELLOMAR_FUZZ)
    # Coverage for libFuzzer in every library the targets reach, and the sanitizers that turn
    # a silent overrun or undefined result into a finding.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined
                                             -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
