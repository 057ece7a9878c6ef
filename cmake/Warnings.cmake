# Our own targets call korivan_warnings(); third-party code is left alone.
function(korivan_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
