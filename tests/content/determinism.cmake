# Runs the content generator and checks that its output is the same bytes
# every time. MP3=OFF: the archive alone, made twice and compared (and with
# the built one when BUILT names its folder). MP3=ON: archive and soundtrack
# made once and compared with the built ones.
foreach(v GEN ASSETS WORK MP3)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "determinism.cmake needs -D${v}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/a ${WORK}/b)

function(generate dir)
  if(MP3)
    set(flags "")
  else()
    set(flags --no-mp3)
  endif()
  execute_process(COMMAND ${GEN} --assets ${ASSETS} --out ${dir} ${flags}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "contentgen failed (${rc}): ${out}${err}")
  endif()
endfunction()

function(same a b)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${a} ${b} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${a} and ${b} differ: the generator is not deterministic")
  endif()
  message(STATUS "same bytes: ${a} ${b}")
endfunction()

generate(${WORK}/a)
if(MP3)
  same(${WORK}/a/brass_tide.zar ${BUILT}/brass_tide.zar)
  same(${WORK}/a/brass_tide.mp3 ${BUILT}/brass_tide.mp3)
else()
  generate(${WORK}/b)
  same(${WORK}/a/brass_tide.zar ${WORK}/b/brass_tide.zar)
  if(BUILT)
    same(${WORK}/a/brass_tide.zar ${BUILT}/brass_tide.zar)
  endif()
endif()
file(REMOVE_RECURSE ${WORK})
