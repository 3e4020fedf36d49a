# Compiler settings shared by every target of our own (never by imported ones).
add_library(veltrane_settings INTERFACE)
target_compile_features(veltrane_settings INTERFACE cxx_std_20)
target_compile_definitions(veltrane_settings INTERFACE
    QT_NO_EXCEPTIONS
    VELTRANE_VERSION="${PROJECT_VERSION}")

add_library(veltrane_warnings INTERFACE)
target_compile_options(veltrane_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Wunused -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
if(VELTRANE_WERROR)
    target_compile_options(veltrane_warnings INTERFACE -Werror)
endif()

set(_sanitizers "")
if(ENABLE_SANITIZER_ADDRESS)
    list(APPEND _sanitizers address)
endif()
if(ENABLE_SANITIZER_UNDEFINED_BEHAVIOR)
    list(APPEND _sanitizers undefined)
endif()
if(_sanitizers)
    list(JOIN _sanitizers "," _sanitizer_list)
    target_compile_options(veltrane_settings INTERFACE -fsanitize=${_sanitizer_list} -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(veltrane_settings INTERFACE -fsanitize=${_sanitizer_list})
endif()

# Fuzzing: all of our code carries libFuzzer's coverage hooks; the fuzz targets link its main.
if(VELTRANE_BUILD_FUZZERS)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VELTRANE_BUILD_FUZZERS needs CMAKE_CXX_COMPILER=clang++")
    endif()
    target_compile_options(veltrane_settings INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Every library and program of the suite links these two.
function(veltrane_target_defaults target)
    target_link_libraries(${target} PRIVATE veltrane_settings veltrane_warnings)
endfunction()
