# cmake -DSOURCE=<file> -DTARGET=<file> -P copy_if_missing.cmake
# Copies SOURCE to TARGET unless a file is there already: the simulator's firmware image goes
# beside the programs, but never over an image the user put there for a real board.
if(NOT EXISTS "${TARGET}")
  file(COPY_FILE "${SOURCE}" "${TARGET}")
endif()
