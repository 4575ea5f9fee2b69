# CTest smoke run: build the fuzz targets with clang++ and fuzz a copy of a
# seed corpus for a few seconds.
#   cmake -DCLANGXX=... -DSOURCE_DIR=<repo>/fuzz -DBINARY_DIR=<dir> [-DQt6_DIR=...]
#         [-DGENERATOR=...] [-DSECONDS=5] [-DTARGET=fuzz_osccodec -DCORPUS=corpus
#         -DDICT=osc.dict] -P smoke.cmake
if(NOT SECONDS)
  set(SECONDS 5)
endif()
if(NOT TARGET)
  set(TARGET fuzz_osccodec)
  set(CORPUS corpus)
  set(DICT osc.dict)
endif()
set(configure_args -S ${SOURCE_DIR} -B ${BINARY_DIR} -DCMAKE_CXX_COMPILER=${CLANGXX})
if(GENERATOR)
  list(APPEND configure_args -G ${GENERATOR})
endif()
if(Qt6_DIR)
  list(APPEND configure_args -DQt6_DIR=${Qt6_DIR})
endif()

execute_process(COMMAND ${CMAKE_COMMAND} ${configure_args} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the fuzz target failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target ${TARGET} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the fuzz target failed")
endif()

# The fuzzer adds new inputs to its corpus directory, so it works on a copy.
set(run_dir ${BINARY_DIR}/run-${TARGET})
file(REMOVE_RECURSE ${run_dir})
file(MAKE_DIRECTORY ${run_dir})
file(COPY ${SOURCE_DIR}/${CORPUS} DESTINATION ${run_dir})
set(dict_argument "")
if(DICT)
  set(dict_argument -dict=${SOURCE_DIR}/${DICT})
endif()
execute_process(
  COMMAND ${BINARY_DIR}/${TARGET} -max_total_time=${SECONDS} ${dict_argument}
          -artifact_prefix=${run_dir}/ -print_final_stats=1 ${run_dir}/${CORPUS}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a fault (exit ${rc}); the input is in ${run_dir}")
endif()
