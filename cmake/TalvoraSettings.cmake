# Compile settings shared by every target of the project.
add_library(talvora_compile_options INTERFACE)
target_compile_features(talvora_compile_options INTERFACE cxx_std_17)
target_compile_options(talvora_compile_options INTERFACE -Wall -Wextra)
target_compile_definitions(talvora_compile_options INTERFACE
    QT_NO_CAST_TO_ASCII
    QT_DEPRECATED_WARNINGS
    QT_DISABLE_DEPRECATED_BEFORE=0x050F00)

if(TALVORA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# Writes a source file that defines the compiled-in deployment values of
# talvora::config. Tests generate a second one that points at their own service.
function(talvora_generate_config out)
    cmake_parse_arguments(ARG "" "API_HOST;CLOUD_AUTH_URL;CLOUD_API_URL;SDK_WEB_DOMAIN;SUPPORT_URL" "" ${ARGN})
    foreach(key API_HOST CLOUD_AUTH_URL CLOUD_API_URL SDK_WEB_DOMAIN SUPPORT_URL)
        if(NOT ARG_${key})
            set(ARG_${key} "${TALVORA_${key}}")
        endif()
        set(CFG_${key} "${ARG_${key}}")
    endforeach()
    string(REGEX REPLACE "([0-9a-fA-F][0-9a-fA-F])" "0x\\1, " CFG_AES_IV_BYTES "${TALVORA_AES_IV}")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/Config.cpp.in" "${out}" @ONLY)
endfunction()
