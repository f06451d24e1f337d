# Run by CPack on the staged files before it packs them: takes out of the
# executables the .comment and .note sections (compiler names only), which
# Debian strips from its packages too.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(program IN LISTS programs)
  execute_process(COMMAND "${CPACK_MORVANE_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
