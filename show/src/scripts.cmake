# The show's scripts into the source folder: every show/src/*.sc and *.inc copied to
# build/show-src/scripts/ (qor-build-show compiles them to scripts/exe/NAME.o, stored in the pack
# as "scripts\exe\NAME.o"), and the font's width table, generated from the font, written as
# build/show-src/include/qor_font.inc (the scripts' #include <qor_font>). Sets
# QOR_SHOW_SCRIPT_OUTPUTS.
set(QOR_SHOW_SRC ${CMAKE_CURRENT_SOURCE_DIR}/src)
add_custom_command(OUTPUT ${QOR_SHOW_SRC_DIR}/include/qor_font.inc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QOR_SHOW_SRC_DIR}/include
  COMMAND ${CMAKE_COMMAND} -DQOR_FONT=${QOR_SHOW_SRC_DIR}/maps/qor/font.dat
          -DQOR_OUT=${QOR_SHOW_SRC_DIR}/include/qor_font.inc -P ${QOR_SHOW_SRC}/font_inc.cmake
  DEPENDS ${QOR_SHOW_SRC_DIR}/maps/qor/font.dat ${QOR_SHOW_SRC}/font_inc.cmake
  COMMENT "Writing the font's width table for the show's scripts"
  VERBATIM)
file(GLOB QOR_SHOW_SCRIPT_SOURCES CONFIGURE_DEPENDS ${QOR_SHOW_SRC}/*.sc ${QOR_SHOW_SRC}/*.inc)
set(QOR_SHOW_SCRIPT_OUTPUTS ${QOR_SHOW_SRC_DIR}/include/qor_font.inc)
foreach(src IN LISTS QOR_SHOW_SCRIPT_SOURCES)
  get_filename_component(name ${src} NAME)
  add_custom_command(OUTPUT ${QOR_SHOW_SRC_DIR}/scripts/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${src} ${QOR_SHOW_SRC_DIR}/scripts/${name}
    DEPENDS ${src}
    VERBATIM)
  list(APPEND QOR_SHOW_SCRIPT_OUTPUTS ${QOR_SHOW_SRC_DIR}/scripts/${name})
endforeach()
