# Settings every target of ours shares: warnings as errors, and the
# sanitizers when MORVANE_SANITIZE is on.
function(morvane_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror)
  target_compile_definitions(${target} PRIVATE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_USE_QSTRINGBUILDER)
endfunction()

# Offers the headers of the library target in the current folder to the
# targets that link it, and to no other: they are included by their path in
# the repository ("base/paths.h"), through an include root of the target's
# own that holds only its folder. A header of a library a target does not
# link is then not found.
function(morvane_expose_headers target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${root})
endfunction()

if(MORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
else()
  # Debian's hardening, as its packages are built: the C library's checked
  # string and memory functions (they need the optimiser), and relocations
  # made read-only once done. Not -z now: binding every imported symbol
  # before main costs the window a fifth of its start-up (measured beside a
  # minimal Qt window: about 1.45x with it, 1.25x without).
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_link_options(LINKER:-z,relro)
endif()

if(MORVANE_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# The environment of tests that decode or convert pictures: the C library
# fills fresh and freed heap blocks with a pattern, so a pixel a decoder
# leaves unwritten shows instead of passing for whatever the heap held. (The
# sanitizer build fills through ASAN_OPTIONS, set in its test preset.)
set(MORVANE_PERTURBED_ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MALLOC_PERTURB_=165")
