# The sources of a folder, with the other OS's files left out: `*Posix.cpp`
# builds everywhere but Windows, `*Win32.cpp` only on Windows.
function(tagkana_sources out dir)
  file(GLOB found CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(WIN32)
    list(FILTER found EXCLUDE REGEX "Posix\\.cpp$")
  else()
    list(FILTER found EXCLUDE REGEX "Win32\\.cpp$")
  endif()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
