# Windows builds: XP-compatible headers and PE headers, no runtime DLL beyond Windows' own.
if(WIN32)
  add_compile_definitions(WINVER=0x0501 _WIN32_WINNT=0x0501 WIN32_LEAN_AND_MEAN NOMINMAX)
  add_link_options(-static -static-libgcc -static-libstdc++
                   -Wl,--major-os-version,5 -Wl,--minor-os-version,1)
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    add_link_options(-s)
  endif()
endif()

# Marks a program as a console or GUI program for Windows 5.01 (XP) and later.
function(orvanta_windows_subsystem target subsystem)
  if(WIN32)
    target_link_options(${target} PRIVATE -Wl,--subsystem,${subsystem}:5.01)
    if(subsystem STREQUAL "windows")
      target_link_options(${target} PRIVATE -mwindows)
    endif()
  endif()
endfunction()
