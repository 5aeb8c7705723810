# The web build (Emscripten): the libraries come from the prefix scripts/web-libs.sh builds from
# Debian's sources (QOR_WEB_PREFIX), under the target names the desktop build gets from
# pkg-config, so the engine's own CMake files stay the same.
set(QOR_WEB_PREFIX "" CACHE PATH "Prefix of the libraries built for WebAssembly")
if(NOT EXISTS "${QOR_WEB_PREFIX}/lib/libSDL2.a")
  message(FATAL_ERROR "QOR_WEB_PREFIX (${QOR_WEB_PREFIX}) holds no libraries: run scripts/web-libs.sh")
endif()

function(qor_web_library NAME)
  add_library(${NAME} INTERFACE IMPORTED)
  set(libs)
  foreach(lib IN LISTS ARGN)
    list(APPEND libs "${QOR_WEB_PREFIX}/lib/${lib}")
  endforeach()
  set_target_properties(${NAME} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${QOR_WEB_PREFIX}/include;${QOR_WEB_PREFIX}/include/SDL2"
    INTERFACE_LINK_LIBRARIES "${libs}")
endfunction()

qor_web_library(PkgConfig::SDL2 libSDL2.a)
qor_web_library(PkgConfig::EPOXY) # WebGL 2 through Emscripten's own GLES3 headers
qor_web_library(PkgConfig::LZO2 liblzo2.a)
qor_web_library(PkgConfig::MPG123 libmpg123.a)
qor_web_library(PkgConfig::PNG libpng16.a libz.a)
qor_web_library(JPEG::JPEG libjpeg.a)
add_library(Threads::Threads INTERFACE IMPORTED) # one thread, no pthreads (they need COOP/COEP)

# The player as a page: qor-player.js and qor-player.wasm, loaded by web/index.html, which
# fetches the show's files into the in-memory file system before main() runs.
function(qor_web_player TARGET)
  set_target_properties(${TARGET} PROPERTIES SUFFIX ".js")
  target_link_options(${TARGET} PRIVATE
    -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
    -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=268435456 -sMAXIMUM_MEMORY=2147483648
    -sFORCE_FILESYSTEM=1 -sEXIT_RUNTIME=0 -sINVOKE_RUN=0
    "-sEXPORTED_RUNTIME_METHODS=['FS','callMain']"
    "-sEXPORTED_FUNCTIONS=['_main']"
    # SDL2's audio and main loop glue call these JavaScript helpers (named in a file: a "$" on
    # the command line does not survive the build tool and the shell).
    "-sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_BINARY_DIR}/qor_web_js_funcs.json")
  file(WRITE ${CMAKE_BINARY_DIR}/qor_web_js_funcs.json "[\"$autoResumeAudioContext\", \"$dynCall\"]\n")
endfunction()
