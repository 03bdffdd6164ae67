# Lays the build directory out as the game's installation root, so that the
# "home:" and "bin:" assigns of programs built here find the game's data.
#
# The file server derives home: from the executable's path by dropping the file
# name and two directory levels, and bin: is home: followed by "bin/win32/". Test
# programs sit at <build>/tests/<folder>/ and the game at <build>/bin/win32/, so
# home: is <build>/ for both. data/bin/ is mirrored there: its folders are made for
# real (programs are built into them) and its files are linked one by one. Every
# other top-level folder of data/ reaches <build>/ only as its npk archive (see
# PackData.cmake): a link left from an older layout is removed, since a loose folder
# would win over the archive. "save/" is made for the save games (writes never go to
# an archive).
#
# Run in script mode: cmake -DBW_DATA_DIR=<data> -DBW_HOME_DIR=<build> -P HomeLayout.cmake

if(NOT IS_DIRECTORY "${BW_DATA_DIR}" OR NOT BW_HOME_DIR)
  return()
endif()

# Points `link` at `target` unless something that is not a link stands there.
function(bw_home_link target link)
  if(IS_SYMLINK "${link}")
    file(READ_SYMLINK "${link}" current)
    if(current STREQUAL target)
      return()
    endif()
    file(REMOVE "${link}")
  elseif(EXISTS "${link}")
    message(WARNING "home layout: '${link}' exists and is no link; data/ entry '${target}' not linked")
    return()
  endif()
  file(CREATE_LINK "${target}" "${link}" SYMBOLIC)
endfunction()

# bin/: real folders, linked files.
function(bw_home_mirror src dst)
  file(MAKE_DIRECTORY "${dst}")
  file(GLOB entries RELATIVE "${src}" "${src}/*")
  foreach(e IN LISTS entries)
    if(IS_DIRECTORY "${src}/${e}")
      bw_home_mirror("${src}/${e}" "${dst}/${e}")
    else()
      bw_home_link("${src}/${e}" "${dst}/${e}")
    endif()
  endforeach()
  # Links whose data file has gone.
  file(GLOB links "${dst}/*")
  foreach(l IN LISTS links)
    if(IS_SYMLINK "${l}" AND NOT EXISTS "${l}")
      file(REMOVE "${l}")
    endif()
  endforeach()
endfunction()

file(MAKE_DIRECTORY "${BW_HOME_DIR}/bin/win32")
file(MAKE_DIRECTORY "${BW_HOME_DIR}/save")
if(IS_DIRECTORY "${BW_DATA_DIR}/bin")
  bw_home_mirror("${BW_DATA_DIR}/bin" "${BW_HOME_DIR}/bin")
endif()
# Links into data/ from the older layout, and links whose target is gone.
file(GLOB links "${BW_HOME_DIR}/*")
foreach(l IN LISTS links)
  if(IS_SYMLINK "${l}")
    file(READ_SYMLINK "${l}" target)
    string(FIND "${target}" "${BW_DATA_DIR}/" at)
    if(NOT EXISTS "${l}" OR at EQUAL 0)
      file(REMOVE "${l}")
    endif()
  endif()
endforeach()
