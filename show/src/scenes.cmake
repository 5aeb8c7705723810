# The show's 3D scenes into the source folder's scenes/, as ready-made scenes that
# qor-build-show copies and packs: the procedural ones written by qor-gen-scenes, and two models
# of Debian's assimp-testmodels imported by qor-import (their textures go to the source folder's
# maps/), each given a camera and lights by qor-import --stage. Sets QOR_SHOW_SCENE_OUTPUTS.
set(QOR_SHOW_SCENE_OUTPUTS "")
foreach(s tentacle blob machine)
  list(APPEND QOR_SHOW_SCENE_OUTPUTS ${QOR_SHOW_SRC_DIR}/scenes/${s}.s3d ${QOR_SHOW_SRC_DIR}/scenes/${s}.s3d.MOT)
endforeach()
add_custom_command(OUTPUT ${QOR_SHOW_SCENE_OUTPUTS}
  COMMAND qor-gen-scenes ${QOR_SHOW_SRC_DIR}/scenes
  DEPENDS qor-gen-scenes
  COMMENT "Writing the show's scenes"
  VERBATIM)

set(QOR_SHOW_MODELS_DIR /usr/share/assimp/models CACHE PATH "Debian's assimp-testmodels")
# name | model file | qor-import scale
set(QOR_SHOW_MODELS
  "spider|OBJ/spider.obj|1"
  "wuson|OBJ/WusonOBJ.obj|60")
if(TARGET qor-import AND EXISTS ${QOR_SHOW_MODELS_DIR}/OBJ/spider.obj)
  foreach(model IN LISTS QOR_SHOW_MODELS)
    string(REPLACE "|" ";" fields "${model}")
    list(GET fields 0 name)
    list(GET fields 1 file)
    list(GET fields 2 scale)
    set(out ${QOR_SHOW_SRC_DIR}/scenes/${name}.s3d)
    add_custom_command(OUTPUT ${out} ${out}.MOT
      COMMAND ${CMAKE_COMMAND} -E make_directory ${QOR_SHOW_SRC_DIR}/scenes ${QOR_SHOW_SRC_DIR}/maps
      COMMAND qor-import ${QOR_SHOW_MODELS_DIR}/${file} -o ${out} --textures ${QOR_SHOW_SRC_DIR}/maps
              --scale ${scale} --name-prefix ${name}_ --stage --orbit 1055
      DEPENDS qor-import ${QOR_SHOW_MODELS_DIR}/${file}
      COMMENT "Importing ${file} for the show"
      VERBATIM)
    list(APPEND QOR_SHOW_SCENE_OUTPUTS ${out} ${out}.MOT)
  endforeach()
else()
  message(WARNING "The show's imported models need qor-import and the package assimp-testmodels")
endif()
