# velt_warnings(target): the warning set every target of the project uses.
function(velt_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(VELT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
