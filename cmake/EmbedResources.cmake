# velt_embed_resources(TARGET target DIR dir SYMBOL name)
# Embeds every file under DIR into TARGET. The generated source defines
#   const veltcore::resources::Module& name();
# whose entries are addressed by type (the extension, lower case, without the dot)
# and name (the file name without extension).
set(VELT_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedResourcesScript.cmake)

function(velt_embed_resources)
  cmake_parse_arguments(ARG "" "TARGET;DIR;SYMBOL" "" ${ARGN})
  file(GLOB_RECURSE files CONFIGURE_DEPENDS LIST_DIRECTORIES false ${ARG_DIR}/*)
  list(SORT files)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/generated/${ARG_SYMBOL}.cpp)
  string(REPLACE ";" "|" joined "${files}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DSYMBOL=${ARG_SYMBOL} "-DFILES=${joined}"
            -P ${VELT_EMBED_SCRIPT}
    DEPENDS ${files} ${VELT_EMBED_SCRIPT}
    COMMENT "Embedding resources of ${ARG_DIR}"
    VERBATIM)
  target_sources(${ARG_TARGET} PRIVATE ${out})
endfunction()
