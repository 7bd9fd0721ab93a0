# Runs the build's copy of the simulator's image twice: onto an image the user put there
# (kept as it is), and where there is none (copied).
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(target "${WORK_DIR}/TQ5802.hex")
set(maker ":0100000055AA\n:00000001FF\n")
file(WRITE "${target}" "${maker}")

function(copy_image)
  execute_process(COMMAND "${CMAKE_COMMAND}" -DSOURCE=${SOURCE} -DTARGET=${target} -P "${SCRIPT}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the copy failed: ${status}")
  endif()
endfunction()

copy_image()
file(READ "${target}" kept)
if(NOT kept STREQUAL maker)
  message(FATAL_ERROR "the image already there was replaced")
endif()

file(REMOVE "${target}")
copy_image()
file(READ "${target}" copied)
file(READ "${SOURCE}" shipped)
if(NOT copied STREQUAL shipped)
  message(FATAL_ERROR "the simulator's image was not copied where there was none")
endif()
