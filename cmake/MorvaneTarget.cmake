# Settings every target of ours shares: warnings as errors, and the
# sanitizers when MORVANE_SANITIZE is on.
function(morvane_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror)
  target_compile_definitions(${target} PRIVATE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_USE_QSTRINGBUILDER)
endfunction()

if(MORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(MORVANE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# The environment of tests that decode or convert pictures: the C library
# fills fresh and freed heap blocks with a pattern, so a pixel a decoder
# leaves unwritten shows instead of passing for whatever the heap held. (The
# sanitizer build fills through ASAN_OPTIONS, set in its test preset.)
set(MORVANE_PERTURBED_ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MALLOC_PERTURB_=165")
