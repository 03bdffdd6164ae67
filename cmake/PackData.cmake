# Packs the game's data into the npk archives the game reads: each top-level folder of
# data/ except bin/, together with what the generators of tools/datagen/ made for it,
# is staged in <home>/stage/<folder>/ and packed into <home>/<folder>.npk, whose root
# directory carries the folder's name, so "home:<folder>/..." resolves inside it once
# start-up mounts "home:". A loose copy of a packed folder beside its archive would win
# over the archive (the disk comes first), so none is left in <home>.
#
# Run in script mode:
#   cmake -DBW_DATA_DIR=<data> -DBW_GEN_DIR=<generated> -DBW_HOME_DIR=<home>
#         -DBW_NPKPACK=<npkpack> [-DBW_PYTHON3=<python3> -DBW_GENERATORS=<gen_a.py;gen_b.py>]
#         -P PackData.cmake
# BW_GEN_DIR holds one folder per generator (a stage of its own). With BW_GENERATORS
# the generators are run into it first; the build runs them as steps of their own.

cmake_minimum_required(VERSION 3.25)

foreach(v BW_DATA_DIR BW_GEN_DIR BW_HOME_DIR BW_NPKPACK)
  if(NOT ${v})
    message(FATAL_ERROR "PackData.cmake: ${v} is not set")
  endif()
endforeach()

foreach(gen IN LISTS BW_GENERATORS)
  get_filename_component(name "${gen}" NAME_WE)
  file(REMOVE_RECURSE "${BW_GEN_DIR}/${name}")
  execute_process(COMMAND "${BW_PYTHON3}" -B "${gen}" "${BW_GEN_DIR}/${name}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "game data: generator ${gen} failed (${rc})")
  endif()
endforeach()

set(stage "${BW_HOME_DIR}/stage")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}")

# Stages one file, refusing names with capitals (archive lookups compare exactly while
# paths are lower-cased) and a second file of the same name.
function(bw_stage_file from rel origin)
  string(TOLOWER "${rel}" lower)
  if(NOT lower STREQUAL rel)
    message(FATAL_ERROR "game data: '${rel}' (${origin}): data file and folder names are lower case")
  endif()
  if(EXISTS "${stage}/${rel}")
    message(FATAL_ERROR "game data: '${rel}' comes from ${origin} and from another source")
  endif()
  get_filename_component(dir "${stage}/${rel}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  file(COPY_FILE "${from}" "${stage}/${rel}" ONLY_IF_DIFFERENT)
endfunction()

# The committed data, bin/ aside (it stays loose in <home>/bin/).
file(GLOB top RELATIVE "${BW_DATA_DIR}" "${BW_DATA_DIR}/*")
foreach(e IN LISTS top)
  if(e STREQUAL "bin")
    continue()
  elseif(NOT IS_DIRECTORY "${BW_DATA_DIR}/${e}")
    message(WARNING "game data: data/${e} is no folder and is not packed")
    continue()
  endif()
  file(MAKE_DIRECTORY "${stage}/${e}")
  file(GLOB_RECURSE files RELATIVE "${BW_DATA_DIR}" "${BW_DATA_DIR}/${e}/*")
  foreach(f IN LISTS files)
    bw_stage_file("${BW_DATA_DIR}/${f}" "${f}" "data/")
  endforeach()
endforeach()

# What the generators made.
file(GLOB gens RELATIVE "${BW_GEN_DIR}" "${BW_GEN_DIR}/*")
list(SORT gens)
foreach(g IN LISTS gens)
  if(NOT IS_DIRECTORY "${BW_GEN_DIR}/${g}")
    continue()
  endif()
  file(GLOB_RECURSE files RELATIVE "${BW_GEN_DIR}/${g}" "${BW_GEN_DIR}/${g}/*")
  foreach(f IN LISTS files)
    if(NOT f MATCHES "/")
      message(FATAL_ERROR "game data: ${g}.py wrote '${f}' outside any data folder")
    endif()
    if(f MATCHES "^bin/")
      message(FATAL_ERROR "game data: ${g}.py wrote '${f}' into bin/, which is not packed")
    endif()
    bw_stage_file("${BW_GEN_DIR}/${g}/${f}" "${f}" "${g}.py")
  endforeach()
endforeach()

# One archive per staged folder, written beside and renamed into place, so a failed
# pack never leaves a half archive to be mounted.
file(GLOB folders RELATIVE "${stage}" "${stage}/*")
list(SORT folders)
set(made)
foreach(f IN LISTS folders)
  if(NOT IS_DIRECTORY "${stage}/${f}")
    continue()
  endif()
  set(loose "${BW_HOME_DIR}/${f}")
  if(IS_SYMLINK "${loose}")
    file(REMOVE "${loose}")
  elseif(IS_DIRECTORY "${loose}")
    if(EXISTS "${loose}/CMakeFiles" OR EXISTS "${loose}/cmake_install.cmake")
      message(FATAL_ERROR "game data: the data folder '${f}' has the name of a build folder in ${BW_HOME_DIR}")
    endif()
    file(REMOVE_RECURSE "${loose}")
  endif()
  execute_process(COMMAND "${BW_NPKPACK}" -r "${f}" "${stage}/${f}" "${BW_HOME_DIR}/${f}.npk.part"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    file(REMOVE "${BW_HOME_DIR}/${f}.npk.part")
    message(FATAL_ERROR "game data: packing '${f}' failed (${rc})")
  endif()
  file(RENAME "${BW_HOME_DIR}/${f}.npk.part" "${BW_HOME_DIR}/${f}.npk")
  list(APPEND made "${f}")
endforeach()

# Archives of folders that are gone.
set(manifest "${BW_HOME_DIR}/stage.list")
if(EXISTS "${manifest}")
  file(STRINGS "${manifest}" before)
  foreach(f IN LISTS before)
    if(NOT f IN_LIST made)
      file(REMOVE "${BW_HOME_DIR}/${f}.npk")
    endif()
  endforeach()
endif()
list(JOIN made "\n" text)
file(WRITE "${manifest}" "${text}\n")
