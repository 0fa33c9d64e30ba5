# The engine for a browser page, built with Emscripten (scripts/build-web.sh sets it all up).
# SDL2, SDL2_mixer, libjpeg-turbo and zlib come from OVE_WEB_PREFIX, built for the web by
# scripts/web-libs.sh; GL is WebGL 2 from Emscripten itself.
set(OVE_WEB_PREFIX "" CACHE PATH "The libraries built for the web (scripts/web-libs.sh)")
if(NOT EXISTS "${OVE_WEB_PREFIX}/lib/pkgconfig/sdl2.pc")
  message(FATAL_ERROR "OVE_WEB_PREFIX='${OVE_WEB_PREFIX}' holds no web libraries: run scripts/build-web.sh")
endif()
set(ENV{PKG_CONFIG_LIBDIR} "${OVE_WEB_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(OVE_TESTS OFF CACHE BOOL "" FORCE)
set(OVE_BENCH OFF CACHE BOOL "" FORCE)
set(OVE_FUZZ OFF CACHE BOOL "" FORCE)
set(OVE_SANITIZE OFF CACHE BOOL "" FORCE)
# Ahead of Emscripten's own SDL 1 headers, which it puts on every include path.
include_directories(BEFORE "${OVE_WEB_PREFIX}/include/SDL2")
# The engine reports script and host errors by exceptions: Emscripten must catch them.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)
# Emscripten links GL in by itself.
add_library(OpenGL::GL INTERFACE IMPORTED)
add_library(OpenGL::EGL INTERFACE IMPORTED)

set(OVE_WEB_OUTPUT "${CMAKE_BINARY_DIR}/ove-web" CACHE PATH "Where ove.js and ove.wasm are written")

file(WRITE "${CMAKE_BINARY_DIR}/sdl-js-functions.json" "[\"$autoResumeAudioContext\", \"$dynCall\"]\n")

function(ove_web_engine target)
  set_target_properties(${target} PROPERTIES SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY "${OVE_WEB_OUTPUT}")
  target_link_options(${target} PRIVATE
    # The game's Run() loop blocks; Asyncify lets it hand control to the browser at Wait/Display.
    -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=1048576
    -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=67108864
    # The page starts the engine once the game's files are in place.
    -sINVOKE_RUN=0 -sEXIT_RUNTIME=0
    "-sEXPORTED_RUNTIME_METHODS=['FS','callMain','addRunDependency','removeRunDependency','UTF8ToString']"
    -sFORCE_FILESYSTEM=1 -lidbfs.js
    -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
    -sENVIRONMENT=web
    # SDL's audio and timers call these from its own JavaScript (a file: the names start with $).
    "-sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_BINARY_DIR}/sdl-js-functions.json")
endfunction()
