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

# The keyword file lives next to the executable; the build puts the default one beside the
# target whenever the repository's copy changes (not at every relink, which would undo edits made
# to it there).
function(pellomar_default_keywords_beside target)
  get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT dir)
    set(dir ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  set(copy ${dir}/KEYWORD_ARRANGE.CSV)
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/KEYWORD_ARRANGE.CSV ${copy}
    DEPENDS ${PROJECT_SOURCE_DIR}/KEYWORD_ARRANGE.CSV
    VERBATIM)
  add_custom_target(${target}_keywords ALL DEPENDS ${copy})
  add_dependencies(${target} ${target}_keywords)
endfunction()
