# The files a Debian package carries beside the program: the machine-readable
# copyright file, the changelog and the manual page, the last two compressed as
# Debian wants them (gzip -9n: best compression, no file name, no time stamp, so
# the same sources give the same bytes).
find_program(MORVANE_GZIP gzip REQUIRED)

# Sets OUT to noon UTC of DATE (YYYY-MM-DD) in the form changelog entries are dated.
function(morvane_changelog_date out date)
  if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "release date '${date}' is not YYYY-MM-DD")
  endif()
  set(year ${CMAKE_MATCH_1})
  math(EXPR month "${CMAKE_MATCH_2}")
  math(EXPR day "${CMAKE_MATCH_3}")
  if(month LESS 1 OR month GREATER 12 OR day LESS 1 OR day GREATER 31)
    message(FATAL_ERROR "release date '${date}' has no such month or day")
  endif()
  # The day of the week, by Sakamoto's rule.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  set(y ${year})
  if(month LESS 3)
    math(EXPR y "${y} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${day}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  list(GET months ${index} month_name)
  set(${out} "${weekday_name}, ${CMAKE_MATCH_3} ${month_name} ${year} 12:00:00 +0000" PARENT_SCOPE)
endfunction()

# Adds a build step writing OUT (a .gz file) from IN with gzip -9n.
function(morvane_gzip out in)
  string(REGEX REPLACE "\\.gz$" "" plain ${out})
  get_filename_component(dir ${out} DIRECTORY)
  set(copy)
  if(NOT plain STREQUAL in)
    set(copy COMMAND ${CMAKE_COMMAND} -E make_directory ${dir} COMMAND ${CMAKE_COMMAND} -E copy ${in} ${plain})
  endif()
  add_custom_command(OUTPUT ${out}
    ${copy}
    COMMAND ${MORVANE_GZIP} -9nkf ${plain}
    DEPENDS ${in}
    COMMENT "Compressing ${out}"
    VERBATIM)
endfunction()
