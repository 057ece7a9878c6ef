# Our own targets call korivan_warnings(); third-party code is left alone.
# KORIVAN_WERROR (on in the test command's builds) makes a new warning fail
# the build instead of scrolling past.
function(korivan_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<BOOL:${KORIVAN_WERROR}>:-Werror>)
endfunction()
