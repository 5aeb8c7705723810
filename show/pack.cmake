# Packs the show's generated files: the paths listed in QOR_MANIFEST (one a line) and in
# QOR_FILES ("|"-separated), all relative to QOR_SHOW_DIR, into QOR_SHOW_DIR/dask243.dat.
# Run from QOR_SHOW_DIR so that the stored names are the relative paths. Entries are stored
# plain: JPEG and MP3 data gain nothing from LZO, and a plain image is decoded straight from the
# pack's stream without being unpacked first.
file(STRINGS ${QOR_SHOW_DIR}/${QOR_MANIFEST} files)
string(REPLACE "|" ";" extra "${QOR_FILES}")
list(APPEND files ${extra})
execute_process(COMMAND ${QOR_PACK} create dask243.dat -- ${files}
  WORKING_DIRECTORY ${QOR_SHOW_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "qor-pack failed (${result})")
endif()
