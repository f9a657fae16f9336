# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... -DCXX_COMPILER=...
#       -DNM=... -DVERSION=... -P RunConsumer.cmake
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
# The programs as a desktop installs them: the desktop entry and the AppStream metadata pass
# their validators, the icon is there, the manual pages format without a warning, and both
# programs tell their version.
set(share ${prefix}/share)
run_step("desktop entry" desktop-file-validate ${share}/applications/org.tavrel.lngedit.desktop)
run_step("AppStream metadata" appstreamcli validate --no-net
         ${share}/metainfo/org.tavrel.lngedit.metainfo.xml)
if(NOT EXISTS ${share}/icons/hicolor/scalable/apps/org.tavrel.lngedit.svg)
    message(FATAL_ERROR "the icon is not installed")
endif()
foreach(program IN ITEMS lngtool lngedit)
    execute_process(COMMAND man -l --warnings ${share}/man/man1/${program}.1
                    RESULT_VARIABLE result OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
    string(FIND "${page}" "${program}" named)
    if(NOT result EQUAL 0 OR NOT warnings STREQUAL "" OR named EQUAL -1)
        message(FATAL_ERROR "manual page of ${program} (${result}):\n${warnings}")
    endif()
    run_step("${program} --version" ${prefix}/bin/${program} --version)
    if(NOT step_output STREQUAL "${program} ${VERSION}\n")
        message(FATAL_ERROR "${program} --version says: ${step_output}")
    endif()
endforeach()

# The Debian package holds the programs, their desktop files, the libraries and headers,
# and depends on the libraries they link.
run_step("package" ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/package)
file(GLOB packages ${WORK_DIR}/package/*.deb)
run_step("package contents" dpkg-deb --contents ${packages})
foreach(path IN ITEMS ./usr/bin/lngedit ./usr/bin/lngtool
                      ./usr/share/applications/org.tavrel.lngedit.desktop
                      ./usr/share/icons/hicolor/scalable/apps/org.tavrel.lngedit.svg
                      ./usr/share/metainfo/org.tavrel.lngedit.metainfo.xml
                      ./usr/share/man/man1/lngedit.1 ./usr/share/man/man1/lngtool.1
                      ./usr/include/tavrel/catalog/CatalogFormats.h
                      ./usr/lib/cmake/TavrelLocalize/TavrelLocalizeConfig.cmake)
    string(FIND "${step_output}" " ${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the package lacks ${path}:\n${step_output}")
    endif()
endforeach()
run_step("package fields" dpkg-deb --field ${packages} Package Version Depends)
foreach(field IN ITEMS "Package: tavrel-localize" "Version: ${VERSION}" "libqt6widgets6"
                       "libgettextpo0" "libxml2" "libqt6svg6")
    string(FIND "${step_output}" "${field}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the package's fields lack ${field}:\n${step_output}")
    endif()
endforeach()

# Only the prefix is searched, so nothing of the source or build tree can leak in.
run_step("configure consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build
         -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release
         -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run_step("build consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step("run consumer" ${WORK_DIR}/build/consumer ${WORK_DIR}/run)
message(STATUS "${step_output}")
