# The show's scripts: every show/src/*.sc compiled by qor-sc into build/show/scripts/exe/NAME.o,
# stored in the pack as "scripts\exe\NAME.o" (the path the script host asks for). show.inc and
# the font's width table (qor_font.inc, generated from the font) are included by the layer
# scripts. Sets QOR_SHOW_SCRIPTS (paths relative to QOR_SHOW_DIR) and QOR_SHOW_SCRIPT_OUTPUTS.
set(QOR_SHOW_SRC ${CMAKE_CURRENT_SOURCE_DIR}/src)
add_custom_command(OUTPUT ${QOR_SHOW_DIR}/include/qor_font.inc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QOR_SHOW_DIR}/include
  COMMAND ${CMAKE_COMMAND} -DQOR_FONT=${QOR_SHOW_DIR}/maps/qor/font.dat -DQOR_OUT=${QOR_SHOW_DIR}/include/qor_font.inc
          -P ${QOR_SHOW_SRC}/font_inc.cmake
  DEPENDS ${QOR_SHOW_DIR}/maps/qor/font.dat ${QOR_SHOW_SRC}/font_inc.cmake
  COMMENT "Writing the font's width table for the show's scripts"
  VERBATIM)
file(GLOB QOR_SHOW_SCRIPT_SOURCES CONFIGURE_DEPENDS ${QOR_SHOW_SRC}/*.sc)
set(QOR_SHOW_SCRIPTS "")
set(QOR_SHOW_SCRIPT_OUTPUTS "")
foreach(src IN LISTS QOR_SHOW_SCRIPT_SOURCES)
  get_filename_component(stem ${src} NAME_WE)
  set(out ${QOR_SHOW_DIR}/scripts/exe/${stem}.o)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QOR_SHOW_DIR}/scripts/exe
    COMMAND qor-sc ${src} -I ${CMAKE_SOURCE_DIR}/scripts/include -I ${QOR_SHOW_DIR}/include -o ${out}
    DEPENDS qor-sc ${src} ${QOR_SHOW_SRC}/show.inc ${QOR_SHOW_DIR}/include/qor_font.inc
            ${CMAKE_SOURCE_DIR}/scripts/include/qor.inc
    COMMENT "Compiling the show's script ${stem}.sc"
    VERBATIM)
  list(APPEND QOR_SHOW_SCRIPTS scripts/exe/${stem}.o)
  list(APPEND QOR_SHOW_SCRIPT_OUTPUTS ${out})
endforeach()

# The player reads application.ini from the folder it plays in: the show's folder gets a copy.
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/application.ini ${QOR_SHOW_DIR}/application.ini COPYONLY)
