# One frame of every scene drawn by the fixed-function GL (capture) and by
# the GL 1.x layer over ES 3 (capture-es): the pictures must be identical.
# Each frame comes from a -debug run that starts at the scene's first entry.
if(NOT EXISTS brass_tide.zar)
  message("no brass_tide.zar in the working directory: skipped")
  cmake_language(EXIT 77)
endif()
# entry offset and demo time (seconds from that entry) of each scene's frame
# The first entry of a scene runs its setup: each run starts there.
set(frames
  "1 6.0"    # opening: the picture broken into columns
  "3 1.0"    # opening: the closing bars
  "4 5.25"   # mascot
  "7 20.0"   # drum
  "16 10.0"  # wall
  "21 10.0"  # gourd
  "28 1.0"   # marquee
  "29 10.0"  # spikes
  "35 2.0"   # column
  "36 2.0"   # finale: the slide coming in
  "36 40.0") # finale, later
set(failed "")
foreach(frame ${frames})
  separate_arguments(parts UNIX_COMMAND "${frame}")
  list(GET parts 0 offset)
  list(GET parts 1 time)
  set(dir ${OUT}/entry${offset}-${time})
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir}/fixed ${dir}/es)
  foreach(side fixed es)
    if(side STREQUAL "fixed")
      set(program ${CAPTURE})
    else()
      set(program ${CAPTURE_ES})
    endif()
    execute_process(COMMAND ${program} -debug 0 900 ${offset} -fps 5 -shot ${time} -out ${dir}/${side}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${program} failed for entry ${offset} at ${time} s:\n${out}")
    endif()
  endforeach()
  file(GLOB shot RELATIVE ${dir}/fixed ${dir}/fixed/*.png)
  execute_process(COMMAND ${GLCOMPARE} ${dir}/fixed/${shot} ${dir}/es/${shot}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  message("entry ${offset} at ${time} s: ${out}")
  if(NOT rc EQUAL 0)
    list(APPEND failed "entry ${offset}")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "frames that differ between the renderers: ${failed}")
endif()
