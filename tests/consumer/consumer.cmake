# Installs the built project into a fresh prefix and uses it from outside as
# a user would: examples/embed-c through find_package, the same program
# against the static archive and through pkg-config, and the Python module
# and examples/python from the prefix's Python path.
#   cmake -DBUILD=... -DSOURCE=... -DWORK=... -DPYTHON=... -DPYTHON_DIR=... -DLIBDIR=... -P consumer.cmake
set(expected "0 0\n4 160\n-4 -160\n0 90\n-3 -135\n-5 -170\n")
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect what)
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "${what} printed\n${out}\ninstead of\n${expected}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})

run(${CMAKE_COMMAND} -S ${SOURCE}/examples/embed-c -B ${WORK}/embed
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK}/embed)
run(${WORK}/embed/embed-c)
expect("the find_package consumer")

run(cc -o ${WORK}/embed-static ${SOURCE}/examples/embed-c/main.c -I${prefix}/include
    ${prefix}/${LIBDIR}/libhysteresis.a -lstdc++ -lm)
run(${WORK}/embed-static)
expect("the static consumer")

set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run(pkg-config --cflags --libs hysteresis)
string(STRIP "${out}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run(cc -o ${WORK}/embed-pc ${SOURCE}/examples/embed-c/main.c ${flags} -Wl,-rpath,${prefix}/${LIBDIR})
run(${WORK}/embed-pc)
expect("the pkg-config consumer")

if(PYTHON)
  set(ENV{PYTHONPATH} ${prefix}/${PYTHON_DIR})
  unset(ENV{HYSTERESIS_LIBRARY})
  run(${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/installed_module.py ${prefix})
  expect("the installed Python module")
  execute_process(COMMAND ${PYTHON} ${SOURCE}/examples/python/loops_and_life.py
                  WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out MATCHES "closed loops")
    message(FATAL_ERROR "examples/python failed (${status}):\n${out}\n${err}")
  endif()
endif()
