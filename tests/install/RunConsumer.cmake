# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DCXX_COMPILER=...
#       -DNM=... -P RunConsumer.cmake
# Installs BUILD_DIR into WORK_DIR/prefix, checks that no installed library carries the
# tests' failure injection, builds the consumer in SOURCE_DIR against the prefix and runs
# it; any failing step fails the test with that step's output.

function(run_step name)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${name} failed (${result}):\n${out}\n${err}")
    endif()
    message(STATUS "${name}: ok")
    set(step_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run_step("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The failing system calls exist only in the tests' build of them; an installed library
# that defines or calls one of these was linked with test code.
file(GLOB_RECURSE installed_libraries ${prefix}/*.a ${prefix}/*.so)
if(NOT installed_libraries)
    message(FATAL_ERROR "no library installed under ${prefix}")
endif()
foreach(library IN LISTS installed_libraries)
    run_step("symbols of ${library}" ${NM} -C ${library})
    foreach(seam IN ITEMS SetAtomicWriteFaults SetAtomicWriteFault InjectedFailure
                          InjectedFaultTarget SetAtomicWriteObserver AtomicWriteCalls)
        string(FIND "${step_output}" "${seam}" at)
        if(NOT at EQUAL -1)
            message(FATAL_ERROR "${library} contains the test symbol ${seam}")
        endif()
    endforeach()
endforeach()
# Only the prefix is searched, so nothing of the source or build tree can leak in.
run_step("configure consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build
         -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release
         -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run_step("build consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step("run consumer" ${WORK_DIR}/build/consumer ${WORK_DIR}/run)
message(STATUS "${step_output}")
