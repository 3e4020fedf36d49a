# The suite ships as one application bundle with the other programs inside it:
#   Veltrane.app/Contents/{Info.plist, MacOS/Veltrane, Resources/...}
set(VELTRANE_BUNDLE "${CMAKE_BINARY_DIR}/Veltrane.app")

# veltrane_bundle(<target> <bundle folder> <identifier> <name>)
# Puts the program at <bundle folder>/Contents/MacOS/<target> and writes the bundle's Info.plist.
function(veltrane_bundle target bundle_dir identifier name)
    set_target_properties(${target} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY "${bundle_dir}/Contents/MacOS")
    set(BUNDLE_IDENTIFIER "${identifier}")
    set(BUNDLE_EXECUTABLE "${target}")
    set(BUNDLE_NAME "${name}")
    set(BUNDLE_VERSION "${PROJECT_VERSION}")
    configure_file("${CMAKE_SOURCE_DIR}/resources/Info.plist.in" "${bundle_dir}/Contents/Info.plist" @ONLY)
endfunction()
