# cmake -DBUILD_DIR=<build> -DPREFIX=<scratch prefix> -P install-refuses-build-tree-ca.cmake
# Installs a build whose CA file lies in its build tree: the installation
# must stop with a message that says how to install the development CA, and
# install nothing.
file(REMOVE_RECURSE "${PREFIX}")
unset(ENV{TALVORA_INSTALL_BUILD_TREE_CA})
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
    message(FATAL_ERROR "the installation went through:\n${output}")
endif()
# CMake wraps the message's lines.
string(REGEX REPLACE "[ \n]+" " " flat "${output}")
foreach(expected "a CA file in a build tree" "-DTALVORA_INSTALL_DEV_CA=ON" "scripts/package.sh")
    string(FIND "${flat}" "${expected}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "the message lacks \"${expected}\":\n${output}")
    endif()
endforeach()
file(GLOB_RECURSE installed "${PREFIX}/*")
if(installed)
    message(FATAL_ERROR "installed before it stopped: ${installed}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
